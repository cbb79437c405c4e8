// The installer's check of its own embedded patch against the digest the build recorded
// (core/PatchDigest.h), made before anything is written to the game folder.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/LoadedPatch.h"

// Whether the parts are exactly those the digest lists, each with its SHA-256. False for a
// digest that does not read, a part embedded but not listed or listed but missing, a
// mismatch, and a hashing provider that cannot be used.
bool PatchBytesMatchDigest(const PatchBytes& bytes, const unsigned char* digest, size_t digestSize);

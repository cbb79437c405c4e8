// The installer's check of its own embedded patch against the digest the build recorded
// (payload/PatchDigest.h), made before anything is written to the game folder.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/LoadedPatch.h"
#include "core/PatchDigest.h"

struct PatchPartBytes {
    const unsigned char* data; // null: the part is not embedded
    size_t size;
};

// Whether the parts are exactly those the digest lists, each with its SHA-256. False for a
// digest that does not read, a part embedded but not listed or listed but missing, a
// mismatch, and a hashing provider that cannot be used.
bool PatchPartsMatchDigest(const PatchPartBytes (&parts)[kPatchPartCount], const unsigned char* digest,
                           size_t digestSize);

// The same for the parts of a patch as the installer loads them.
bool PatchBytesMatchDigest(const PatchBytes& bytes, const unsigned char* digest, size_t digestSize);

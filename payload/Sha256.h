// SHA-256 through the system's cryptography (BCrypt), for the installer's check of its own
// embedded patch. Nothing here is hand-written hashing.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/PatchDigest.h"

// SHA-256 of size bytes (size may be 0). False when the system's provider cannot be used;
// *out is then unspecified.
bool Sha256(const unsigned char* data, size_t size, unsigned char (&out)[kSha256Size]);

// The digest of the embedded patch: which patch files the build embedded and the SHA-256 of
// each, so that the installer can tell, before it writes anything, that its own data arrived
// whole (a download cut short or damaged on its way would otherwise show only as wrong bytes
// in the game). Portable: no <windows.h>; the hashing is the system's (payload/Sha256.h).
//
// Stored form (written by the build, cmake/PatchDigest.cmake): one line per embedded file, in
// the order of PatchPart, each "<64 lowercase hex digits>  <file name>\n", nothing else. The
// manifest and the payload are always listed; the fingerprints and the progress total are
// listed exactly when they are embedded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/PatchParts.h"

constexpr size_t kSha256Size = 32;

struct PatchDigest {
    bool listed[kPatchPartCount];
    unsigned char sha256[kPatchPartCount][kSha256Size];
};

// A SHA-256 as the stored form writes it: 64 lowercase hex digits and a NUL.
void FormatSha256(const unsigned char (&sha256)[kSha256Size], char (&hex)[2 * kSha256Size + 1]);

// Parses a stored digest. False (and *out untouched) on anything but the form above: another
// order, a part twice, an unknown name, a missing manifest or payload, bad hex, a missing
// final newline.
bool ParsePatchDigest(const unsigned char* bytes, size_t size, PatchDigest* out);

// The stored form of a digest: one line for every listed part, in order (the inverse of
// ParsePatchDigest).
std::string FormatPatchDigest(const PatchDigest& digest);

// Whether one embedded part agrees with the digest: listed exactly when present, and with
// this SHA-256 when present.
bool PartMatchesDigest(const PatchDigest& digest, PatchPart part, bool present,
                       const unsigned char (&sha256)[kSha256Size]);

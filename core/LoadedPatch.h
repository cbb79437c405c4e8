// The patch as the installer uses it: manifest, payload, fingerprints and progress total,
// each parsed and checked once, before anything is written. Portable: no <windows.h>; the Win32 side
// (payload/Resources.h) hands it the embedded resources' bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/Fingerprints.h"
#include "core/PatchManifest.h"
#include "core/PatchParts.h"

// One part's stored bytes; null data is a part the build does not carry.
struct PatchPartBytes {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// The stored bytes of every part, indexed by PatchPart (core/PatchParts.h).
struct PatchBytes {
    PatchPartBytes parts[kPatchPartCount];
    PatchPartBytes& operator[](PatchPart part) { return parts[part]; }
    const PatchPartBytes& operator[](PatchPart part) const { return parts[part]; }
};

// The first problem found, in the order of the loading steps; a later step does not run.
enum class PatchLoad {
    Loaded,
    InstallerDamaged,      // the embedded patch differs from its digest (core/PatchDigest.h)
    ManifestUnusable,      // missing, or not a well-formed manifest: nothing is loaded
    PayloadMissing,        // the manifest lists archives but there is no payload
    FingerprintsMalformed, // a fingerprint table is present but not well-formed
    ProgressTotalMalformed, // a progress total is present but not a stored total
};

struct LoadedPatch {
    ArchivePatchSet* sets = nullptr; // owned; each set resolved and with its fingerprint
    uint32_t setCount = 0;
    const unsigned char* payload = nullptr; // not owned: the bytes stay where they lie
    uint32_t payloadSize = 0;
    FingerprintTable fingerprints{};  // owned; empty when the build carries none
    size_t longestNameUnits = 0;      // longest archive name, without the NUL
    // The patched folder's progress total, when the patch carries one (core/ProgressTotal.h);
    // without it the run is measured against the full-size patch's total.
    bool hasProgressTotal = false;
    uint32_t progressTotalUnits = 0;
};

// Loads into an empty *patch. Whatever the result, *patch holds what the steps before the
// failing one loaded and is released with FreeLoadedPatch.
PatchLoad LoadPatch(const PatchBytes& bytes, LoadedPatch* patch);

// Releases the table and the fingerprints; *patch is empty afterwards.
void FreeLoadedPatch(LoadedPatch* patch);

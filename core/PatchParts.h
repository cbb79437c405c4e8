// The parts of a patch: the files a patch folder holds (patchbuild writes them) and the
// raw-data resources setup.exe carries them as. Every place that names a part (the authoring
// tool, the digest, the build, the installer's loading step, the tests) takes it from here.
// Portable: no <windows.h>. The build reads this table from this header
// (cmake/PatchParts.cmake), so no name or id is typed a second time in CMake; keep each row
// on one line in this form.
#pragma once

enum PatchPart { kPartManifest, kPartPayload, kPartFingerprints, kPartProgressTotal, kPatchPartCount };

struct PatchPartInfo {
    const char* fileName; // in a patch folder, and as the digest lists it
    int resourceId;       // raw data (RT_RCDATA) in setup.exe
    bool optional;        // a patch may come without it (then the installer checks no
                          // fingerprints, or measures against the full-size total)
};

// In the order of PatchPart, which is also the order the digest lists them in.
constexpr PatchPartInfo kPatchParts[kPatchPartCount] = {
    {"manifest.bin", 164, false},
    {"payload.bin", 159, false},
    {"fingerprints.bin", 170, true},
    {"progress_total.bin", 171, true},
};

// The digest of the embedded parts (core/PatchDigest.h), itself raw data in setup.exe.
constexpr int kPatchDigestResourceId = 172;
constexpr const char* kPatchDigestFileName = "patch_digest.txt";

constexpr const PatchPartInfo& PatchPartInfoOf(PatchPart part) { return kPatchParts[part]; }

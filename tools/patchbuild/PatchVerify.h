// `patchbuild verify`: what state each archive of a game folder is in with respect to a
// patch, without changing anything; and `patchbuild fingerprint`, which takes the
// fingerprints and the progress total of an existing patch from the original game folder.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Fingerprints.h"
#include "core/PatchManifest.h"
#include "tools/patchbuild/ArchiveImage.h"

enum class VerifyState {
    Original,  // as the release the patch was made for ships it (needs fingerprints)
    Patched,   // every replaced entry carries the patch and nothing else changed
    Unpatched, // no replaced entry carries the patch (without fingerprints to confirm more)
    Neither,   // damaged, another release or otherwise changed
    Missing,
};

const char* VerifyStateName(VerifyState state);

struct ArchiveVerdict {
    VerifyState state = VerifyState::Neither;
    std::string detail; // why, for Neither; empty otherwise
};

// Classifies one archive (null: the file is missing) against its manifest block, the
// payload and, if there is one, its fingerprint.
ArchiveVerdict VerifyArchive(ByteSource* archive, const ArchivePatchSet& set, ByteSource& payload,
                             const ArchiveFingerprint* fingerprint, const ReadProgress& progress);

struct VerifyOptions {
    std::filesystem::path game;
    std::filesystem::path patch;   // manifest.bin, payload.bin, fingerprints.bin (optional)
    std::FILE* progress = nullptr;
};

struct VerifyLine {
    std::string name;
    ArchiveVerdict verdict;
    bool leftoverTemp = false; // the interrupted-rewrite copy (name ending in "tmp") exists
};

struct VerifyReport {
    std::string error;         // the patch could not be read; nothing was checked
    bool haveFingerprints = false;
    std::vector<VerifyLine> lines; // manifest order
};

bool VerifyGameFolder(const VerifyOptions& options, VerifyReport* report);

// Writes PATCH/fingerprints.bin and PATCH/progress_total.bin (the progress total of the
// patched folder) for an existing manifest from the original game folder, both together.
// Refuses (writes nothing) when an archive is missing, damaged, too short for its records
// or already patched.
bool WriteFingerprintsForPatch(const VerifyOptions& options, std::vector<std::string>* problems, size_t* archives,
                               uint32_t* progressUnits);

// `patchbuild build`: from the original game folder and a folder of translated archives
// (same relative paths) to the patch files the installer embeds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/PatchParts.h"

// The file a part of the patch is written to in a patch folder (core/PatchParts.h).
inline const char* PartFile(PatchPart part) { return PatchPartInfoOf(part).fileName; }

// The stored form of a progress total.
std::vector<unsigned char> ProgressTotalBytes(uint32_t units);

struct BuildOptions {
    std::filesystem::path original;
    std::filesystem::path translated;
    std::filesystem::path out;
    std::string first;               // archive name to put first (backslash form), or empty
    std::FILE* progress = nullptr;   // where progress bars go, or null
};

struct BuildReport {
    std::vector<std::string> problems;  // each names the archive (and entry); nothing written
    std::vector<std::string> notes;     // ignored files, unchanged archives
    size_t archives = 0;
    size_t records = 0;
    size_t bit30Records = 0;
    uint64_t payloadBytes = 0;
    uint64_t manifestBytes = 0;
    uint32_t progressUnits = 0;         // the progress total: the patched archives' sizes >> 8, summed
};

// Writes the four files into options.out (created if missing) only when every translated
// archive can be expressed, all together (tools/patchbuild/OutputSet.h); otherwise the folder
// is left as it was and report->problems says why. An --out that cannot take the files is
// refused before any archive is read.
bool BuildPatch(const BuildOptions& options, BuildReport* report);

// `patchbuild build`: from the original game folder and a folder of translated archives
// (same relative paths) to manifest.bin, payload.bin and fingerprints.bin.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
    uint64_t expectedUnits = 0;         // sum of the patched archives' sizes >> 8
};

// Writes the three files into options.out (created if missing) only when every translated
// archive can be expressed; otherwise nothing is written and report->problems says why.
bool BuildPatch(const BuildOptions& options, BuildReport* report);

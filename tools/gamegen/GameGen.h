// The gamegen command: a synthetic game folder, the matching patch and the expected result.
//
//   gamegen --out DIR [--seed N] [--archives N] [--bytes TOTAL | --full] [--quiet]
//
//   DIR/game/...          the original archives (manifest names, '\' turned into '/')
//   DIR/expected/...      every archive as a correct patch run leaves it
//   DIR/patch/manifest.bin, DIR/patch/payload.bin   the patch in its stored formats
//   DIR/archives.txt      per archive in manifest order: name, original size, expected
//                         size, record count (space-separated)
//
// Everything follows from the seed (default 1). Without --bytes or --full all 411 archives
// hold about 6 MB and --archives N writes the first N of those same files. --bytes scales
// the N archives written to about TOTAL original bytes. --full writes about 4.6 GB whose
// rewritten sizes >> 8 sum to exactly 18,077,230 over the 411 archives. game/, expected/
// and patch/ are emptied first.
#pragma once
#include <cstdint>
#include <string>

struct GameGenOptions {
    std::string out;
    uint64_t seed = 1;
    uint32_t archives = 411;
    uint64_t bytes = 0;  // 0: the default small size
    bool full = false;
    bool quiet = false;
};

// Original bytes in all when neither --bytes nor --full is given.
constexpr uint64_t kGameGenDefaultBytes = 6000000;

bool ParseGameGenArgs(int argc, const char* const* argv, GameGenOptions* options, std::string* error);
int RunGameGen(const GameGenOptions& options);
int GameGenMain(int argc, const char* const* argv);

// The gamegen command: a synthetic game folder, the matching patch and the expected result.
//
//   gamegen --out DIR [--seed N] [--archives N] [--bytes TOTAL | --full] [--quiet]
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

#include "tools/gamegen/GameGen.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "tools/gamegen/GameLayout.h"
#include "tools/gamegen/GameWriter.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: gamegen --out DIR [--seed N] [--archives N] [--bytes TOTAL | --full] [--quiet]\n";

bool ParseNumber(const char* text, uint64_t* value) {
    if (!text || !*text || *text == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || end == text || *end) return false;
    *value = v;
    return true;
}

bool WriteArchiveList(const GameLayout& layout, size_t count, const fs::path& path) {
    std::ofstream list(path, std::ios::binary | std::ios::trunc);
    for (size_t p = 0; p < count; ++p) {
        const GenArchive& a = layout.archives[p];
        list << a.name << ' ' << a.originalSize << ' ' << a.expectedSize << ' ' << a.records.size() << '\n';
    }
    list.close();
    return bool(list);
}

} // namespace

bool ParseGameGenArgs(int argc, const char* const* argv, GameGenOptions* options, std::string* error) {
    GameGenOptions o;
    bool haveBytes = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t n = 0;
        if (arg == "--out" && value && *value) {
            o.out = value;
            ++i;
        } else if (arg == "--seed" && ParseNumber(value, &n)) {
            o.seed = n;
            ++i;
        } else if (arg == "--archives" && ParseNumber(value, &n) && n >= 1 && n <= kGenArchiveCount) {
            o.archives = uint32_t(n);
            ++i;
        } else if (arg == "--bytes" && ParseNumber(value, &n) && n > 0) {
            o.bytes = n;
            haveBytes = true;
            ++i;
        } else if (arg == "--full") {
            o.full = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else {
            *error = "bad argument: " + arg;
            return false;
        }
    }
    if (o.out.empty()) {
        *error = "--out DIR is required";
        return false;
    }
    if (haveBytes && o.full) {
        *error = "--bytes and --full exclude each other";
        return false;
    }
    *options = o;
    return true;
}

int RunGameGen(const GameGenOptions& o) {
    GameLayout layout = BuildGameLayout(o.seed);
    const size_t count = o.archives;
    // --full and the default size are set for all 411 blocks, so fewer archives are the
    // same files as the first ones of the whole set; --bytes sizes the archives written.
    bool scaled = o.full ? ScaleToFullFacts(layout)
                : o.bytes ? ScaleToOriginalBytes(layout, count, o.bytes)
                          : ScaleToOriginalBytes(layout, layout.archives.size(), kGameGenDefaultBytes);
    if (!scaled) {
        std::fprintf(stderr, "gamegen: the data does not fit the archive format at this size\n");
        return 1;
    }
    if (AssignPayloadOffsets(layout, count) > 0xFFFFFFFFull) {
        std::fprintf(stderr, "gamegen: the payload would reach 4 GiB\n");
        return 1;
    }

    fs::path out = o.out;
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "gamegen: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }

    uint64_t totalBytes = 0;
    for (size_t p = 0; p < count; ++p)
        totalBytes += layout.archives[p].originalSize + layout.archives[p].expectedSize;
    uint64_t doneBytes = 0;
    int shownPercent = -1;
    GameWriteProgress progress;
    if (o.full && !o.quiet) {
        progress = [&](size_t done) {
            doneBytes += layout.archives[done - 1].originalSize + layout.archives[done - 1].expectedSize;
            int percent = int(doneBytes * 100 / (totalBytes ? totalBytes : 1));
            if (percent != shownPercent) {
                shownPercent = percent;
                std::fprintf(stderr, "\rgamegen: %3d%% (%zu/%zu archives)", percent, done, count);
                std::fflush(stderr);
            }
        };
    }

    GameWriteTotals totals;
    std::string error;
    bool written = WriteGameFolder(layout, count, out, progress, &totals, &error);
    if (progress) std::fprintf(stderr, "\n");
    if (!written) {
        std::fprintf(stderr, "gamegen: %s\n", error.c_str());
        return 1;
    }
    if (!WriteArchiveList(layout, count, out / "archives.txt")) {
        std::fprintf(stderr, "gamegen: cannot write %s\n", (out / "archives.txt").c_str());
        return 1;
    }
    if (!o.quiet)
        std::printf("gamegen: %zu archives, %" PRIu64 " records, payload %" PRIu64 " bytes, game %" PRIu64
                    " bytes, expected %" PRIu64 " bytes, progress units %" PRIu64 "\n",
                    count, totals.records, totals.payloadBytes, totals.gameBytes, totals.expectedBytes,
                    ProgressUnits(layout, count));
    return 0;
}

int GameGenMain(int argc, const char* const* argv) {
    GameGenOptions options;
    std::string error;
    if (!ParseGameGenArgs(argc, argv, &options, &error)) {
        std::fprintf(stderr, "gamegen: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    return RunGameGen(options);
}

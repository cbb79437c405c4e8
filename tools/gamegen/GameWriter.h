// Writes a scaled layout to disk: the original game folder, the patch (manifest and
// payload) and every archive as a correct patch run must leave it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/gamegen/GameLayout.h"

struct GameWriteTotals {
    uint64_t payloadBytes = 0;
    uint64_t gameBytes = 0;
    uint64_t expectedBytes = 0;
    uint64_t records = 0;
};

// Called after each archive with the number of archives written so far.
using GameWriteProgress = std::function<void(size_t done)>;

// Writes the first `count` archives of a layout that ScaleGameLayout and
// AssignPayloadOffsets have prepared. `out` must exist; its game/, expected/ and patch/
// folders are removed first. On failure *error says what went wrong.
bool WriteGameFolder(const GameLayout& layout, size_t count, const std::filesystem::path& out,
                     const GameWriteProgress& progress, GameWriteTotals* totals, std::string* error);

// The original archive's header and entry table (8 + 80 N bytes) of archive p of a scaled
// layout, without writing anything: what a tool reads first from the archive.
std::vector<unsigned char> OriginalHeaderAndTable(const GameLayout& layout, size_t p);

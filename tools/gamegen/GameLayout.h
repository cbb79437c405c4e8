// The generator's model of a game folder and its patch. BuildGameLayout draws every choice
// that does not depend on the data size (names, entry counts, records, the shape of each
// archive, relative sizes); ScaleGameLayout then turns it into byte lengths, size words and
// offsets for one scale. Both are deterministic from the seed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kGenArchiveCount = 411;
constexpr uint32_t kGenRecordCount = 1146;
constexpr uint32_t kGenBit30RecordCount = 194;
constexpr uint32_t kGenSmallerWordRecordCount = 73;
constexpr uint32_t kGenMaxEntryIndex = 718;
// Sum over all archives of (rewritten size >> 8) at the full scale.
constexpr uint64_t kGenFullProgressUnits = 18077230;

enum class Growth { Grow, Shrink, Equal };

struct GenRecord {
    uint32_t entryIndex = 0;
    bool bit30 = false;        // bit 30 set in the stored size word
    bool smallerWord = false;  // the word's other bits hold less than the stored length
    Growth growth = Growth::Grow;
    uint64_t fullLength = 0;   // replacement length at the full scale
    double wordFraction = 0;   // fixes the size word once the length is known
    // At the current scale:
    uint32_t length = 0;
    uint32_t sizeWord = 0;
    uint32_t payloadOffset = 0;
};

struct GenEntry {
    uint64_t fullLength = 0;   // original length at the full scale
    int64_t adjust = 0;        // added after scaling (makes the full total exact)
    int32_t record = -1;       // record that replaces this entry, or -1
    uint32_t sizeWord = 0;     // original size word
    // At the current scale:
    uint32_t length = 0;       // original stored length
    uint32_t offset = 0;       // original data offset
};

struct GenArchive {
    std::string name;                 // backslash-separated, no NUL
    unsigned char headerLead[6] = {}; // header bytes 0-5
    uint64_t fullTarget = 0;          // rough original size at the full scale
    // Shape of the original archive.
    uint32_t gapExtra = 0;            // bytes between the table and the data, before alignment
    uint32_t gapAlign = 1;            // the data region starts at a multiple of this
    bool gapJunk = false;             // the gap holds non-zero bytes
    uint32_t align = 1;               // every entry's data starts at a multiple of this
    bool junkPadding = false;         // alignment padding holds non-zero bytes
    uint32_t trailing = 0;            // bytes after the last entry's data
    std::vector<uint32_t> placement;  // entries in the order their data lies in the file
    std::vector<GenEntry> entries;
    std::vector<GenRecord> records;   // manifest order
    // At the current scale:
    uint64_t originalSize = 0;
    uint64_t expectedSize = 0;

    uint32_t TableEnd() const { return 8 + 80 * uint32_t(entries.size()); }
    // Length of entry i after the patch.
    uint32_t NewLength(uint32_t i) const {
        const GenEntry& e = entries[i];
        return e.record >= 0 ? records[size_t(e.record)].length : e.length;
    }
};

struct GameLayout {
    uint64_t seed = 0;
    std::vector<GenArchive> archives;  // all 411 blocks
};

GameLayout BuildGameLayout(uint64_t seed);

// Scales the first `count` archives. Fails if some length, offset or archive size would
// not fit the format (archives stay below 2 GiB).
bool ScaleGameLayout(GameLayout& layout, size_t count, double scale);

// Chooses the scale at which the first `count` originals total about `totalBytes`, and
// scales to it. Fails if even the smallest scale is too large for the format.
bool ScaleToOriginalBytes(GameLayout& layout, size_t count, uint64_t totalBytes);

// Scales all archives so that the rewritten sizes >> 8 sum to exactly
// kGenFullProgressUnits (about 4.6 GB of data).
bool ScaleToFullFacts(GameLayout& layout);

// Assigns payload offsets to the first `count` archives' records: the bit-30 records' data
// first, in manifest order, then the others in manifest order. Returns the payload size.
uint64_t AssignPayloadOffsets(GameLayout& layout, size_t count);

uint64_t ProgressUnits(const GameLayout& layout, size_t count);

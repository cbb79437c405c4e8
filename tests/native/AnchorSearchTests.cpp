// The switcher's block scan against a literal one-start-at-a-time scan: same anchor, same
// progress positions, for every reader block size.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/AnchorSearch.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The scan the switcher's block reader must agree with: start p = 0, 1, ... while
// p < S - 12, progress at every multiple of 0x40000, first byte then the whole anchor.
struct Outcome {
    AnchorScanResult result = AnchorScanResult::NotFound;
    uint32_t position = 0;
    std::vector<int> progress;
};

Outcome ReferenceScan(const Bytes& file) {
    Outcome out;
    const uint32_t size = static_cast<uint32_t>(file.size());
    for (uint32_t p = 0; p + kAnchorSize < size; ++p) {
        if (p % 0x40000 == 0) out.progress.push_back(static_cast<int>(double(p) / double(size) * 100.0));
        if (file[p] != 0x0F) continue;
        if (std::memcmp(&file[p], kAnchor, kAnchorSize) == 0) {
            out.result = AnchorScanResult::Found;
            out.position = p;
            return out;
        }
    }
    return out;
}

struct MemoryFile {
    explicit MemoryFile(const Bytes* b) : bytes(b) {}
    const Bytes* bytes;
    size_t offset = 0;
    std::vector<int> progress;
    std::vector<uint32_t> reads;
    int failAtRead = -1; // index of the read that fails
};

bool ReadMemory(void* context, unsigned char* buffer, uint32_t count) {
    auto* f = static_cast<MemoryFile*>(context);
    if (static_cast<int>(f->reads.size()) == f->failAtRead) return false;
    f->reads.push_back(count);
    if (f->offset + count > f->bytes->size()) return false;
    std::memcpy(buffer, f->bytes->data() + f->offset, count);
    f->offset += count;
    return true;
}

void RecordProgress(void* context, int position) {
    static_cast<MemoryFile*>(context)->progress.push_back(position);
}

Outcome BlockScan(const Bytes& file, uint32_t bufferSize, MemoryFile* mem = nullptr) {
    MemoryFile local{&file};
    MemoryFile& f = mem ? *mem : local;
    f.bytes = &file;
    Bytes buffer(bufferSize);
    Outcome out;
    out.result = FindAnchor(static_cast<uint32_t>(file.size()), buffer.data(), bufferSize,
                            AnchorScanIo{ReadMemory, RecordProgress, &f}, &out.position);
    out.progress = f.progress;
    if (out.result != AnchorScanResult::Found) out.position = 0;
    return out;
}

// Random bytes without a 0F, so only the bytes a case places can start a match.
Bytes Filler(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) {
        x = static_cast<unsigned char>(rng());
        if (x == 0x0F) x = 0x10;
    }
    return b;
}

void Put(Bytes& file, size_t at, const unsigned char* bytes, size_t count) {
    std::memcpy(&file[at], bytes, count);
}

void PutAnchor(Bytes& file, size_t at) { Put(file, at, kAnchor, kAnchorSize); }

const uint32_t kBufferSizes[] = {kAnchorSize, kAnchorSize + 1, 29, 4096, 0x40000 + 5, kScanBufferSize};

void ExpectSameAsReference(const Bytes& file, const char* name) {
    const Outcome ref = ReferenceScan(file);
    for (uint32_t bufferSize : kBufferSizes) {
        const Outcome got = BlockScan(file, bufferSize);
        EXPECT_EQ(got.result, ref.result) << name << ", buffer " << bufferSize;
        EXPECT_EQ(got.position, ref.position) << name << ", buffer " << bufferSize;
        EXPECT_EQ(got.progress, ref.progress) << name << ", buffer " << bufferSize;
    }
}

} // namespace

TEST(AnchorSearch, TableOfPlacements) {
    struct Case {
        const char* name;
        size_t size;
        std::vector<size_t> anchors;   // where whole anchors are placed
        std::vector<size_t> partials;  // where the anchor's first 8 bytes are placed
        bool found;
        size_t position;
    };
    const size_t S = 5000;
    const Case cases[] = {
        {"anchor at 0", S, {0}, {}, true, 0},
        {"anchor at S - 13", S, {S - 13}, {}, true, S - 13},
        {"anchor at S - 12 is not examined", S, {S - 12}, {}, false, 0},
        {"no anchor", S, {}, {}, false, 0},
        {"two anchors: the first counts", S, {700, 300}, {}, true, 300},
        // 0F 7E 44 24 44 6A 11 66 then the anchor at the partial match's ninth byte (a 0F).
        {"partial match right before an anchor", S, {108}, {100}, true, 108},
        {"partial match then an anchor one byte on", S, {101}, {100}, true, 101},
        {"only partial matches", S, {}, {10, 2000, S - 20}, false, 0},
        {"file of exactly 12 bytes", 12, {0}, {}, false, 0},
        {"file of 13 bytes", 13, {0}, {}, true, 0},
        {"file of 11 bytes", 11, {}, {}, false, 0},
        {"empty file", 0, {}, {}, false, 0},
        {"anchor across the reader's block boundary", kScanBufferSize + 4000, {kScanBufferSize - 11 - 5}, {}, true, kScanBufferSize - 11 - 5},
        {"anchor right after the first block", kScanBufferSize + 4000, {kScanBufferSize - 11}, {}, true, kScanBufferSize - 11},
    };
    for (const Case& c : cases) {
        Bytes file = Filler(c.size, 7);
        for (size_t at : c.partials) Put(file, at, kAnchor, 8);
        for (size_t at : c.anchors) PutAnchor(file, at);
        for (uint32_t bufferSize : kBufferSizes) {
            const Outcome got = BlockScan(file, bufferSize);
            EXPECT_EQ(got.result == AnchorScanResult::Found, c.found) << c.name << ", buffer " << bufferSize;
            EXPECT_EQ(got.position, c.position) << c.name << ", buffer " << bufferSize;
        }
        ExpectSameAsReference(file, c.name);
    }
}

TEST(AnchorSearch, LanguageCodeMustLieInsideTheFile) {
    // The code occupies anchor + 18 .. anchor + 23.
    EXPECT_TRUE(LanguageCodeFits(0, 24));
    EXPECT_FALSE(LanguageCodeFits(0, 23));
    EXPECT_TRUE(LanguageCodeFits(1000 - 24, 1000));
    EXPECT_FALSE(LanguageCodeFits(1000 - 23, 1000));
    EXPECT_FALSE(LanguageCodeFits(1000 - 13, 1000)) << "the last start examined never has room";
    EXPECT_FALSE(LanguageCodeFits(0xFFFFFFF0u, 0xFFFFFFFFu)) << "no wrap-around";
}

TEST(AnchorSearch, ProgressAtEveryStepUntilTheAnchor) {
    const uint32_t size = 0x100000 + 100;
    Bytes file = Filler(size, 3);
    EXPECT_EQ(BlockScan(file, kScanBufferSize).progress, (std::vector<int>{0, 24, 49, 74, 99}));

    // Found at a step's position: that step is shown, later ones are not.
    PutAnchor(file, 0x80000);
    const Outcome got = BlockScan(file, 4096);
    EXPECT_EQ(got.position, 0x80000u);
    EXPECT_EQ(got.progress, (std::vector<int>{0, 24, 49}));
    ExpectSameAsReference(file, "anchor on a progress step");

    // A step at S - 13 is the last start examined and is shown; a step at S - 12 is not.
    Bytes edge = Filler(0x40000 + 13, 4);
    EXPECT_EQ(BlockScan(edge, 4096).progress, (std::vector<int>{0, 99}));
    Bytes past = Filler(0x40000 + 12, 4);
    EXPECT_EQ(BlockScan(past, 4096).progress, (std::vector<int>{0}));
}

TEST(AnchorSearch, ReadsOnlyWhatTheLastStartNeedsAndStopsOnAFailedRead) {
    const Bytes file = Filler(10000, 5);
    MemoryFile mem{&file};
    EXPECT_EQ(BlockScan(file, 4096, &mem).result, AnchorScanResult::NotFound);
    EXPECT_EQ(mem.offset, file.size() - 1) << "the last byte is never part of an examined window";
    for (uint32_t count : mem.reads) EXPECT_LE(count, 4096u);

    MemoryFile failing{&file};
    failing.failAtRead = 1;
    EXPECT_EQ(BlockScan(file, 4096, &failing).result, AnchorScanResult::ReadFailed);

    // A file that turns out shorter than its size said is a failed read, not "not found".
    const Bytes shorter(file.begin(), file.end() - 100);
    MemoryFile truncated{&shorter};
    Bytes buffer(4096);
    uint32_t pos = 0;
    EXPECT_EQ(FindAnchor(10000, buffer.data(), 4096, AnchorScanIo{ReadMemory, RecordProgress, &truncated}, &pos),
              AnchorScanResult::ReadFailed);

    // Small files are not read at all.
    MemoryFile tiny{&file};
    EXPECT_EQ(FindAnchor(12, buffer.data(), 4096, AnchorScanIo{ReadMemory, RecordProgress, &tiny}, &pos),
              AnchorScanResult::NotFound);
    EXPECT_TRUE(tiny.reads.empty());
    EXPECT_TRUE(tiny.progress.empty());
}

TEST(AnchorSearch, AgreesWithTheReferenceOnDenseFiles) {
    // Files full of 0F, anchor prefixes and overlapping near-anchors.
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const size_t size = rng() % 3000;
        Bytes file(size);
        for (auto& x : file) x = kAnchor[rng() % kAnchorSize];
        const int pieces = static_cast<int>(rng() % 6);
        for (int i = 0; i < pieces && size > kAnchorSize; ++i) {
            const size_t at = rng() % (size - kAnchorSize + 1);
            const size_t len = 1 + rng() % kAnchorSize;
            Put(file, at, kAnchor, len);
        }
        const Outcome ref = ReferenceScan(file);
        for (uint32_t bufferSize : {kAnchorSize, kAnchorSize + 1, 17u, 64u, 1000u}) {
            const Outcome got = BlockScan(file, bufferSize);
            ASSERT_EQ(got.result, ref.result) << "round " << round << ", buffer " << bufferSize;
            ASSERT_EQ(got.position, ref.position) << "round " << round << ", buffer " << bufferSize;
        }
    }
}

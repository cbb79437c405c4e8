// Whether an archive already holds what its rewrite would write, judged against the rewrite
// restated from the format (tests/common ReferenceRewrite): the judgement must say "holds"
// exactly when the rewrite gives the file's own bytes back, and read nothing but the gap and
// the replaced entries.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ArchiveSamples.h"
#include "core/ArchiveFormat.h"
#include "core/PatchedState.h"

namespace {

enum class Verdict { Holds, TableDiffers, BytesDiffer, ReadFailed };

// The file in memory, with every read it is asked for (offset, count); failAt makes that
// read (counted from 1) fail.
struct MemoryFile {
    explicit MemoryFile(const Bytes* file, int failingRead = 0) : bytes(file), failAt(failingRead) {}
    const Bytes* bytes;
    int failAt;
    std::vector<std::pair<uint32_t, uint32_t>> reads;

    static bool Read(void* context, uint32_t offset, unsigned char* buffer, uint32_t count) {
        auto* self = static_cast<MemoryFile*>(context);
        self->reads.push_back({offset, count});
        if (static_cast<int>(self->reads.size()) == self->failAt) return false;
        if (uint64_t(offset) + count > self->bytes->size()) return false;
        std::copy(self->bytes->begin() + offset, self->bytes->begin() + offset + count, buffer);
        return true;
    }
};

struct Patch {
    std::vector<SampleRecord> records;
    std::vector<EntryPatch> entries;
    explicit Patch(std::vector<SampleRecord> r) : records(std::move(r)) {
        for (const SampleRecord& s : records)
            entries.push_back({s.index, s.sizeWord, static_cast<uint32_t>(s.data.size()), 0,
                               s.data.empty() ? nullptr : s.data.data()});
    }
    uint32_t Count() const { return static_cast<uint32_t>(entries.size()); }
};

Verdict Judge(const Bytes& file, const Patch& patch, uint32_t bufferSize = 4096, MemoryFile* io = nullptr) {
    MemoryFile own(&file);
    if (!io) io = &own;
    if (file.size() < kArcHeaderSize) return Verdict::TableDiffers;
    const uint16_t n = ArcEntryCount(file.data());
    if (n == 0 || file.size() < kArcHeaderSize + uint64_t(ArcTableSize(n))) return Verdict::TableDiffers;
    Bytes planned(ArcTableSize(n));
    if (!RewriteKeepsTable(file.data(), file.data() + kArcHeaderSize, file.size(), patch.entries.data(), patch.Count(),
                           planned.data()))
        return Verdict::TableDiffers;
    Bytes buffer(bufferSize);
    switch (CompareRewrittenBytes(file.data() + kArcHeaderSize, n, patch.entries.data(), patch.Count(), buffer.data(),
                                  bufferSize, {MemoryFile::Read, io})) {
    case RewrittenBytes::Same: return Verdict::Holds;
    case RewrittenBytes::Differ: return Verdict::BytesDiffer;
    case RewrittenBytes::ReadFailed: return Verdict::ReadFailed;
    }
    return Verdict::ReadFailed;
}

// Whether the rewrite gives these bytes back, restated from the format. Only for files whose
// table the rewrite accepts at all (ReferenceRewrite assumes it).
bool RewriteGivesItBack(const Bytes& file, const Patch& patch) {
    return ReferenceRewrite(file, patch.records) == file;
}

uint32_t Offset(const Bytes& b, uint32_t i) { return GetU32(b, 8 + 80 * i + 76); }
uint32_t Length(const Bytes& b, uint32_t i) { return GetU32(b, 8 + 80 * i + 68); }

class PatchedState : public ::testing::Test {
protected:
    const Bytes original = BuildSample(MakeSample(12, 7, "ui"));
    // Entries 9, 1 and 5 replaced (unsorted, as in the manifest), 2 (empty) stays empty.
    const Patch patch{{{9, 0x00030011, Noise(2500, 91)}, {1, 0x40000002, Noise(17, 92)},
                       {5, 0x00000003, Noise(6000, 93)}, {2, 0x00000004, {}}}};
    const Bytes patched = ReferenceRewrite(original, patch.records);
    const uint32_t tableEnd = 8 + 80 * 12;
};

TEST_F(PatchedState, APatchedArchiveHoldsItsRewriteAndOnlyTheGapAndReplacedEntriesAreRead) {
    ASSERT_TRUE(RewriteGivesItBack(patched, patch)) << "the fixture is not in its patched state";
    EXPECT_EQ(Judge(original, patch), Verdict::TableDiffers);
    // Pieces of one byte, an odd size, one that splits the largest entry, one larger than all.
    for (uint32_t bufferSize : {1u, 7u, 4096u, 1u << 20}) {
        SCOPED_TRACE(bufferSize);
        MemoryFile io(&patched);
        ASSERT_EQ(Judge(patched, patch, bufferSize, &io), Verdict::Holds);
        // What must be read, in ascending order: the gap, then entries 1, 5, 9.
        std::vector<std::pair<uint32_t, uint32_t>> wanted = {{tableEnd, Offset(patched, 0) - tableEnd}};
        for (uint32_t i : {1u, 5u, 9u}) wanted.push_back({Offset(patched, i), Length(patched, i)});
        size_t w = 0;
        uint32_t at = wanted[0].first, left = wanted[0].second;
        for (const auto& read : io.reads) {
            while (left == 0 && ++w < wanted.size()) at = wanted[w].first, left = wanted[w].second;
            ASSERT_LT(w, wanted.size()) << "read past what is needed at " << read.first;
            EXPECT_EQ(read.first, at);
            EXPECT_LE(read.second, std::min(left, bufferSize));
            EXPECT_GT(read.second, 0u) << "an empty read";
            at += read.second;
            left -= read.second;
        }
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(w + 1, wanted.size()) << "not everything needed was read";
    }
}

// One difference at a time from the patched archive. The verdict must agree with the
// restated rewrite in every case (holds exactly when the rewrite gives the bytes back), and
// with the case's expectation, so that agreement is never vacuous.
TEST_F(PatchedState, HoldsExactlyWhenTheRewriteGivesTheBytesBack) {
    auto flipped = [&](size_t at) { return Flipped(patched, at, 0x10); };
    auto withField = [&](uint32_t entry, uint32_t field, uint32_t value) {
        return WithU32(patched, 8 + 80 * entry + field, value);
    };
    const Bytes appended = Appended(patched, 0);
    const struct {
        const char* what;
        Bytes bytes;
        Verdict verdict;
    } cases[] = {
        {"patched", patched, Verdict::Holds},
        {"a header byte the rewrite carries", flipped(3), Verdict::Holds},
        {"an entry's leading bytes", flipped(8 + 80 * 9 + 30), Verdict::Holds},
        {"an unchanged entry's size word", withField(4, 72, 0xDEADBEEF), Verdict::Holds},
        {"a byte of an unchanged entry", flipped(Offset(patched, 6) + 3), Verdict::Holds},
        {"first byte of a replaced entry", flipped(Offset(patched, 9)), Verdict::BytesDiffer},
        {"last byte of a replaced entry", flipped(Offset(patched, 5) + Length(patched, 5) - 1), Verdict::BytesDiffer},
        {"first gap byte", flipped(tableEnd), Verdict::BytesDiffer},
        {"last gap byte", flipped(Offset(patched, 0) - 1), Verdict::BytesDiffer},
        {"a replaced entry's stored length", withField(1, 68, 16), Verdict::TableDiffers},
        {"a replaced entry's size word without bit 30", withField(9, 72, 0x00030011), Verdict::TableDiffers},
        {"a replaced entry's size word, another bit", withField(9, 72, 0x40030013), Verdict::TableDiffers},
        {"the empty replaced entry's size word", withField(2, 72, 0x00000004), Verdict::TableDiffers},
        {"an unchanged entry's stored length", withField(6, 68, Length(patched, 6) - 1), Verdict::TableDiffers},
        {"an unchanged entry's data offset", withField(6, 76, Offset(patched, 6) - 1), Verdict::TableDiffers},
        {"one byte appended", appended, Verdict::TableDiffers},
        {"entry 0 moved back by one (the gap one shorter)", withField(0, 76, Offset(patched, 0) - 1),
         Verdict::TableDiffers},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Verdict verdict = Judge(c.bytes, patch);
        EXPECT_EQ(verdict, c.verdict);
        EXPECT_EQ(verdict == Verdict::Holds, RewriteGivesItBack(c.bytes, patch));
    }
}

// Files the rewrite refuses, or records it refuses, never hold their rewrite.
TEST_F(PatchedState, WhatTheRewriteRefusesDoesNotHold) {
    const Bytes cut(patched.begin(), patched.end() - 1);
    const Bytes dataInTable = WithU32(patched, 8 + 76, tableEnd - 1);
    Patch twice({patch.records[0], patch.records[0]});
    Patch pastTable({{12, 0, Noise(5, 1)}});
    Patch otherData({{9, 0x00030011, Noise(2500, 99)}, patch.records[1], patch.records[2], patch.records[3]});
    Patch fewer({patch.records[0], patch.records[1], patch.records[2]});
    EXPECT_EQ(Judge(cut, patch), Verdict::TableDiffers) << "the last entry cut short";
    EXPECT_EQ(Judge(dataInTable, patch), Verdict::TableDiffers);
    EXPECT_EQ(Judge(patched, twice), Verdict::TableDiffers);
    EXPECT_EQ(Judge(patched, pastTable), Verdict::TableDiffers);
    EXPECT_EQ(Judge(patched, otherData), Verdict::BytesDiffer) << "another patch's data";
    // The empty entry 2 holds the patch's word with bit 30; without its record the rewrite
    // keeps that word, so the archive holds the rewrite of the other three as well.
    EXPECT_EQ(Judge(patched, fewer), Verdict::Holds);
    EXPECT_TRUE(RewriteGivesItBack(patched, fewer));
}

TEST_F(PatchedState, AFailedReadIsNoVerdict) {
    MemoryFile count(&patched);
    ASSERT_EQ(Judge(patched, patch, 1000, &count), Verdict::Holds);
    ASSERT_GT(count.reads.size(), 4u);
    for (int failAt = 1; failAt <= static_cast<int>(count.reads.size()); ++failAt) {
        MemoryFile io(&patched, failAt);
        EXPECT_EQ(Judge(patched, patch, 1000, &io), Verdict::ReadFailed) << "read " << failAt;
        EXPECT_EQ(io.reads.size(), static_cast<size_t>(failAt)) << "read on after a failure";
    }
}

// Every single-byte change anywhere in patched archives of several shapes: the verdict agrees
// with the restated rewrite. (Changes that put entry 0's data inside the table or change the
// entry count are refused by the rewrite, which the restatement does not model.)
TEST(PatchedStateSweep, EveryByteFlipAgreesWithTheRewrite) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        SampleArchive sample = MakeSample(3 + seed, seed, "s");
        sample.gap = seed == 2 ? 0 : 16 * seed;
        const Bytes original = BuildSample(sample);
        const Patch patch({{seed % 3, 0x100 * seed, Noise(40 + seed, seed)}, {2 + seed, 7, Noise(3, seed + 9)}});
        const Bytes patched = ReferenceRewrite(original, patch.records);
        ASSERT_EQ(Judge(patched, patch), Verdict::Holds) << seed;
        const uint32_t n = ArcEntryCount(patched.data());
        int held = 0;
        for (size_t at = 0; at < patched.size(); ++at) {
            const Bytes b = Flipped(patched, at);
            const bool modelled = at != 6 && at != 7 && GetU32(b, 8 + 76) >= 8 + 80 * n;
            const Verdict verdict = Judge(b, patch, 5);
            if (!modelled) {
                EXPECT_NE(verdict, Verdict::Holds) << "seed " << seed << " byte " << at;
                continue;
            }
            ASSERT_EQ(verdict == Verdict::Holds, RewriteGivesItBack(b, patch)) << "seed " << seed << " byte " << at;
            held += verdict == Verdict::Holds;
        }
        EXPECT_GT(held, 0) << "no change the rewrite carries over";
    }
}

} // namespace

// Archive table checks and the rewrite plan (records applied, data packed in table order).
#include <gtest/gtest.h>

#include <vector>

#include "core/ArchiveFormat.h"

namespace {

struct Entry {
    uint32_t storedLength, sizeWord, dataOffset;
};

struct Archive {
    unsigned char header[8] = {'K', 'A', 'R', 'C', 0x07, 0x01, 0, 0};
    std::vector<unsigned char> table;

    explicit Archive(const std::vector<Entry>& entries) : table(entries.size() * kArcEntrySize) {
        header[6] = static_cast<unsigned char>(entries.size());
        header[7] = static_cast<unsigned char>(entries.size() >> 8);
        for (size_t i = 0; i < entries.size(); ++i) {
            for (uint32_t b = 0; b < kArcEntryLeadSize; ++b)
                table[i * kArcEntrySize + b] = static_cast<unsigned char>(i * 7 + b);
            SetArcStoredLength(table.data(), i, entries[i].storedLength);
            SetArcSizeWord(table.data(), i, entries[i].sizeWord);
            SetArcDataOffset(table.data(), i, entries[i].dataOffset);
        }
    }
    uint16_t count() const { return ArcEntryCount(header); }
};

// An archive of n entries packed from the end of its table with the given lengths.
Archive Packed(const std::vector<uint32_t>& lengths, uint32_t gap = 0) {
    std::vector<Entry> entries;
    uint32_t offset = kArcHeaderSize + kArcEntrySize * lengths.size() + gap;
    for (uint32_t len : lengths) {
        entries.push_back({len, len + 0x100, offset});
        offset += len;
    }
    return Archive(entries);
}

uint64_t EndOfData(const Archive& a) {
    uint64_t end = 0;
    for (uint32_t i = 0; i < a.count(); ++i)
        end = std::max<uint64_t>(end, uint64_t(ArcDataOffset(a.table.data(), i)) + ArcStoredLength(a.table.data(), i));
    return end;
}

TEST(ArchivePlan, WorkedExampleOfTitleArchive) {
    std::vector<uint32_t> lengths(20);
    for (uint32_t i = 0; i < 20; ++i) lengths[i] = 1000 + i * 37;
    Archive a = Packed(lengths, 48);
    const std::vector<unsigned char> before = a.table;
    const EntryPatch records[] = {
        {13, 0x4040002C, 521779, 786938, nullptr},
        {17, 0x4000414C, 959, 25108552, nullptr},
        {18, 0x4004002C, 26447, 25109511, nullptr},
    };
    uint32_t newSize = 0;
    ASSERT_EQ(PlanArchiveRewrite(a.table.data(), a.count(), records, 3, &newSize), ArchiveCheck::Ok);

    unsigned char* t = a.table.data();
    EXPECT_EQ(ArcStoredLength(t, 13), 521779u);
    EXPECT_EQ(ArcSizeWord(t, 13), 0x4040002Cu);
    EXPECT_EQ(ArcStoredLength(t, 17), 959u);
    EXPECT_EQ(ArcSizeWord(t, 17), 0x4000414Cu);
    EXPECT_EQ(ArcStoredLength(t, 18), 26447u);
    EXPECT_EQ(ArcSizeWord(t, 18), 0x4004002Cu);

    uint32_t expectOffset = ArcDataOffset(before.data(), 0);
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(ArcDataOffset(t, i), expectOffset) << "entry " << i;
        expectOffset += ArcStoredLength(t, i);
        if (i != 13 && i != 17 && i != 18) {
            EXPECT_EQ(ArcStoredLength(t, i), ArcStoredLength(before.data(), i));
            EXPECT_EQ(ArcSizeWord(t, i), ArcSizeWord(before.data(), i));
        }
        for (uint32_t b = 0; b < kArcEntryLeadSize; ++b)
            ASSERT_EQ(t[i * kArcEntrySize + b], before[i * kArcEntrySize + b]);
    }
    EXPECT_EQ(newSize, expectOffset);
    // Entries before the first replaced one keep their offsets.
    for (uint32_t i = 0; i <= 13; ++i) EXPECT_EQ(ArcDataOffset(t, i), ArcDataOffset(before.data(), i));
}

TEST(ArchivePlan, GapsAndOutOfOrderDataArePackedInTableOrder) {
    // Entry 0 at 400, entry 1 stored before it, entry 2 after a gap; trailing bytes ignored.
    Archive a({{10, 1, 400}, {20, 2, 300}, {5, 3, 900}});
    uint32_t newSize = 0;
    ASSERT_EQ(PlanArchiveRewrite(a.table.data(), 3, nullptr, 0, &newSize), ArchiveCheck::Ok);
    EXPECT_EQ(ArcDataOffset(a.table.data(), 0), 400u);
    EXPECT_EQ(ArcDataOffset(a.table.data(), 1), 410u);
    EXPECT_EQ(ArcDataOffset(a.table.data(), 2), 430u);
    EXPECT_EQ(newSize, 435u);
}

TEST(ArchivePlan, SizeWordBecomesRecordWordWithBit30) {
    Archive a({{4, 0xFFFFFFFF, 248}, {4, 0x00000000, 252}, {4, 0x12345678, 256}});
    const EntryPatch records[] = {
        {0, 0x0000002C, 4, 0, nullptr}, // nothing of the old all-ones word survives
        {1, 0x4000414C, 4, 0, nullptr}, // already has bit 30: stored unchanged
    };
    uint32_t newSize = 0;
    ASSERT_EQ(PlanArchiveRewrite(a.table.data(), 3, records, 2, &newSize), ArchiveCheck::Ok);
    EXPECT_EQ(ArcSizeWord(a.table.data(), 0), 0x4000002Cu);
    EXPECT_EQ(ArcSizeWord(a.table.data(), 1), 0x4000414Cu);
    EXPECT_EQ(ArcSizeWord(a.table.data(), 2), 0x12345678u);
}

TEST(ArchivePlan, GrowingAndShrinkingEntryMovesOnlyLaterOffsets) {
    Archive a = Packed({100, 200, 300, 400});
    const std::vector<unsigned char> before = a.table;
    const EntryPatch grow[] = {{1, 0, 260, 0, nullptr}, {3, 0, 1, 0, nullptr}};
    uint32_t newSize = 0;
    ASSERT_EQ(PlanArchiveRewrite(a.table.data(), 4, grow, 2, &newSize), ArchiveCheck::Ok);
    EXPECT_EQ(ArcDataOffset(a.table.data(), 0), ArcDataOffset(before.data(), 0));
    EXPECT_EQ(ArcDataOffset(a.table.data(), 1), ArcDataOffset(before.data(), 1));
    EXPECT_EQ(ArcDataOffset(a.table.data(), 2), ArcDataOffset(before.data(), 2) + 60);
    EXPECT_EQ(ArcDataOffset(a.table.data(), 3), ArcDataOffset(before.data(), 3) + 60);
    EXPECT_EQ(newSize, ArcDataOffset(before.data(), 0) + 100 + 260 + 300 + 1);
}

TEST(ArchivePlan, LayoutReaching2GiBIsRefused) {
    Archive a({{0x7FFFFF00, 0, 88}, {0x100, 0, 0x7FFFFF58}});
    uint32_t newSize = 0;
    EXPECT_EQ(PlanArchiveRewrite(a.table.data(), 2, nullptr, 0, &newSize), ArchiveCheck::LayoutTooLarge);
    Archive b({{16, 0, 168}, {16, 0, 184}});
    const EntryPatch huge[] = {{0, 0, 0xFFFFFFFF, 0, nullptr}, {1, 0, 0xFFFFFFFF, 0, nullptr}};
    EXPECT_EQ(PlanArchiveRewrite(b.table.data(), 2, huge, 2, &newSize), ArchiveCheck::LayoutTooLarge);
}

TEST(ArchiveCheck, TableChecksAgainstFileSize) {
    Archive ok = Packed({10, 20, 30});
    const uint64_t size = EndOfData(ok);
    EXPECT_EQ(CheckArchiveTable(ok.header, ok.table.data(), size), ArchiveCheck::Ok);
    EXPECT_EQ(CheckArchiveTable(ok.header, ok.table.data(), size + 100), ArchiveCheck::Ok)
        << "trailing bytes are allowed";
    EXPECT_EQ(CheckArchiveTable(ok.header, ok.table.data(), size - 1), ArchiveCheck::EntryBeyondFile);

    Archive inside({{10, 0, 8 + 80 - 1}});
    EXPECT_EQ(CheckArchiveTable(inside.header, inside.table.data(), 1000), ArchiveCheck::DataInsideTable);

    Archive none = Packed({});
    EXPECT_EQ(CheckArchiveHeader(none.header, 100), ArchiveCheck::NoEntries);
    EXPECT_EQ(CheckArchiveHeader(ok.header, 7), ArchiveCheck::TooShortForHeader);
    EXPECT_EQ(CheckArchiveHeader(ok.header, 8 + 80 * 3 - 1), ArchiveCheck::TableBeyondFile);

    // An entry whose offset + length wraps 32 bits is past the end, not before it.
    Archive wraps({{0xFFFFFFF0, 0, 100}});
    EXPECT_EQ(CheckArchiveTable(wraps.header, wraps.table.data(), 1000), ArchiveCheck::EntryBeyondFile);
}

TEST(ArchiveCheck, RecordsAreCheckedBeforeAnythingIsWritten) {
    static const unsigned char data[4] = {};
    struct Case {
        const char* what;
        std::vector<EntryPatch> records;
        ArchiveCheck expected;
    } cases[] = {
        {"no records", {}, ArchiveCheck::Ok},
        {"last index", {{4, 0, 4, 0, data}}, ArchiveCheck::Ok},
        {"index past the table", {{5, 0, 4, 0, data}}, ArchiveCheck::RecordIndexOutOfRange},
        {"index twice", {{1, 0, 4, 0, data}, {2, 0, 4, 0, data}, {1, 0, 4, 0, data}},
         ArchiveCheck::DuplicateRecordIndex},
        {"bytes without data", {{1, 0, 4, 0, nullptr}}, ArchiveCheck::RecordWithoutData},
        {"empty replacement needs no data", {{1, 0, 0, 0, nullptr}}, ArchiveCheck::Ok},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckPatchRecords(5, c.records.data(), c.records.size()), c.expected) << c.what;
}

TEST(ArchivePlan, FindEntryPatchTakesTheFirstRecordOfAnIndex) {
    const EntryPatch records[] = {{7, 1, 0, 0, nullptr}, {3, 2, 0, 0, nullptr}, {7, 3, 0, 0, nullptr}};
    EXPECT_EQ(FindEntryPatch(records, 3, 7), &records[0]);
    EXPECT_EQ(FindEntryPatch(records, 3, 3), &records[1]);
    EXPECT_EQ(FindEntryPatch(records, 3, 4), nullptr);
}

} // namespace

// Manifest reader and writer: round trip, and rejection of manifests that do not hold what
// their counts claim.
#include <gtest/gtest.h>

#include <cstring>

#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"

namespace {

std::vector<ManifestArchive> SampleArchives() {
    return {
        {u"nativePC\\rom\\id\\hdd_install_msg.arc", {{3, 0x4000002C, 100, 0, nullptr}}},
        {u"nativePC\\rom_pc\\id\\title.arc",
         {{13, 0x4040002C, 521779, 786938, nullptr},
          {17, 0x4000414C, 959, 25108552, nullptr},
          {18, 0x4004002C, 26447, 25109511, nullptr}}},
        {u"nativePC\\rom\\demo\\m01_100s.arc", {}},
    };
}

struct ParsedTable {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    ~ParsedTable() { FreePatchSets(sets, count); }
    bool Parse(const std::vector<unsigned char>& bytes) {
        return ParsePatchManifest(bytes.data(), bytes.size(), &sets, &count);
    }
};

TEST(Manifest, RoundTripKeepsNamesRecordsAndOrder) {
    auto archives = SampleArchives();
    auto bytes = SerializeManifest(archives);
    ParsedTable table;
    ASSERT_TRUE(table.Parse(bytes));
    ASSERT_EQ(table.count, 3u);
    EXPECT_EQ(table.sets[1].nameLength, 29u); // "nativePC\rom_pc\id\title.arc" + NUL
    for (uint32_t i = 0; i < table.count; ++i) {
        const ArchivePatchSet& set = table.sets[i];
        EXPECT_EQ(std::u16string(set.name), archives[i].name);
        EXPECT_EQ(set.name[set.nameLength - 1], 0);
        ASSERT_EQ(set.recordCount, archives[i].records.size());
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            EXPECT_EQ(set.records[r].entryIndex, archives[i].records[r].entryIndex);
            EXPECT_EQ(set.records[r].sizeWord, archives[i].records[r].sizeWord);
            EXPECT_EQ(set.records[r].storedLength, archives[i].records[r].storedLength);
            EXPECT_EQ(set.records[r].payloadOffset, archives[i].records[r].payloadOffset);
            EXPECT_EQ(set.records[r].data, nullptr);
        }
    }
}

TEST(Manifest, StoredLayoutIsLittleEndianWithNulCountedInNameLength) {
    auto bytes = SerializeManifest({{u"ab\\c.arc", {{0x01020304, 0x4000002C, 7, 9, nullptr}}}});
    const unsigned char expected[] = {
        1, 0, 0, 0,                                                 // archive count
        9, 0, 0, 0,                                                 // name length incl. NUL
        'a', 0, 'b', 0, '\\', 0, 'c', 0, '.', 0, 'a', 0, 'r', 0, 'c', 0, 0, 0,
        1, 0, 0, 0,                                                 // record count
        4, 3, 2, 1, 0x2C, 0, 0, 0x40, 7, 0, 0, 0, 9, 0, 0, 0,       // record
    };
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(bytes.data(), expected, sizeof expected), 0);
}

TEST(Manifest, EmptyManifestLoadsAsEmptyTable) {
    ParsedTable table;
    ASSERT_TRUE(table.Parse(SerializeManifest({})));
    EXPECT_EQ(table.count, 0u);
    EXPECT_NE(table.sets, nullptr);
}

TEST(Manifest, EveryTruncationIsRejected) {
    auto bytes = SerializeManifest(SampleArchives());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<unsigned char> shorter(bytes.begin(), bytes.begin() + cut);
        ParsedTable table;
        EXPECT_FALSE(table.Parse(shorter)) << "accepted a manifest cut at " << cut;
    }
}

// Each case patches one field of a valid single-archive manifest.
struct Corruption {
    const char* what;
    std::vector<unsigned char> bytes;
};

std::vector<unsigned char> WithU32(std::vector<unsigned char> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    return b;
}

TEST(Manifest, InconsistentOrUnsafeManifestsAreRejected) {
    auto one = SerializeManifest({{u"nativePC\\a.arc", {{1, 2, 3, 4, nullptr}}}});
    const size_t nameAt = 8, recordCountAt = 8 + 15 * 2;
    auto withName = [](const std::u16string& name) {
        return SerializeManifest({{name, {}}});
    };
    std::vector<unsigned char> trailing = one;
    trailing.push_back(0);
    std::vector<unsigned char> noNul = one;
    noNul[nameAt + 14 * 2] = 'x';

    const Corruption cases[] = {
        {"trailing byte after the last record", trailing},
        {"absurd archive count", WithU32(one, 0, 0xFFFFFFFF)},
        {"archive count one too many", WithU32(one, 0, 2)},
        {"absurd name length", WithU32(one, 4, 0x7FFFFFFF)},
        {"name length 0", WithU32(one, 4, 0)},
        {"name without its NUL", noNul},
        {"absurd record count", WithU32(one, recordCountAt, 0x10000000)},
        {"record count one too many", WithU32(one, recordCountAt, 2)},
        {"absolute name", withName(u"\\Windows\\x.arc")},
        {"drive name", withName(u"C:\\x.arc")},
        {"name climbing out of the folder", withName(u"nativePC\\..\\..\\x.arc")},
        {"name whose temporary path is itself", withName(u"nativePC\\x.tmp")},
        {"empty path component", withName(u"nativePC\\\\x.arc")},
    };
    for (const Corruption& c : cases) {
        ParsedTable table;
        EXPECT_FALSE(table.Parse(c.bytes)) << c.what;
        EXPECT_EQ(table.sets, nullptr) << c.what;
    }
}

TEST(Manifest, ResolveChecksEveryRecordAgainstThePayload) {
    std::vector<unsigned char> payload(100, 0xAB);
    EntryPatch records[] = {{0, 0, 10, 0, nullptr}, {1, 0, 90, 10, nullptr}, {2, 0, 0, 100, nullptr}};
    ArchivePatchSet set{2, nullptr, 3, records};
    ASSERT_TRUE(ResolvePatchSet(&set, payload.data(), payload.size()));
    EXPECT_EQ(records[0].data, payload.data());
    EXPECT_EQ(records[1].data, payload.data() + 10);

    EntryPatch past[] = {{0, 0, 10, 0, nullptr}, {1, 0, 91, 10, nullptr}};
    ArchivePatchSet bad{2, nullptr, 2, past};
    EXPECT_FALSE(ResolvePatchSet(&bad, payload.data(), payload.size()));
    EXPECT_EQ(past[0].data, nullptr) << "nothing is resolved when one record is out of range";

    EntryPatch wrap[] = {{0, 0, 0xFFFFFFF0, 0x20, nullptr}};
    ArchivePatchSet wrapping{2, nullptr, 1, wrap};
    EXPECT_FALSE(ResolvePatchSet(&wrapping, payload.data(), payload.size()));
    EXPECT_FALSE(ResolvePatchSet(&set, nullptr, 0));
}

} // namespace

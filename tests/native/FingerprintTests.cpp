// The fingerprint table the installer reads: round trip, rejection of damaged tables, and the
// comparison with an archive's header and table.
#include <gtest/gtest.h>

#include <algorithm>

#include "ArchiveSamples.h"
#include "core/FingerprintWriter.h"
#include "core/Fingerprints.h"

namespace {

std::vector<FingerprintRecord> SampleRecords() {
    return {
        {u"nativePC\\rom\\id\\hdd_install_msg.arc", 12, 0x0123456789ABCDEFull, 1, 2, {'A', 'R', 'C', 0, 7, 1, 12, 0}},
        {u"nativePC\\rom_pc\\id\\title.arc", 719, 0xFEDCBA9876543210ull, 3, 4, {'A', 'R', 'C', 0, 7, 1, 0xCF, 2}},
    };
}

TEST(Fingerprints, RoundTripAndLookupByExactName) {
    Bytes bytes = SerializeFingerprints(SampleRecords());
    // magic, version, count, then name length 36 ("...hdd_install_msg.arc" + NUL).
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 16),
              (Bytes{'K', 'S', 'F', 'P', 2, 0, 0, 0, 2, 0, 0, 0, 36, 0, 0, 0}));
    // After the name and the entry count: the header as it is on disk.
    EXPECT_EQ(Bytes(bytes.begin() + 16 + 72 + 4, bytes.begin() + 16 + 72 + 12), (Bytes{'A', 'R', 'C', 0, 7, 1, 12, 0}));
    FingerprintTable table{0, nullptr, 0};
    ASSERT_TRUE(ParseFingerprints(bytes.data(), bytes.size(), &table));
    ASSERT_EQ(table.count, 2u);
    const ArchiveFingerprint* title = FindFingerprint(table, u"nativePC\\rom_pc\\id\\title.arc");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->nameLength, 29u);
    EXPECT_EQ(title->entryCount, 719u);
    EXPECT_EQ(title->tableHash, 0xFEDCBA9876543210ull);
    EXPECT_EQ(title->keptHash, 3u);
    EXPECT_EQ(title->originalHash, 4u);
    EXPECT_TRUE(title->hasHeader);
    EXPECT_EQ(Bytes(title->header, title->header + 8), (Bytes{'A', 'R', 'C', 0, 7, 1, 0xCF, 2}));
    EXPECT_EQ(table.version, 2u);
    EXPECT_EQ(FindFingerprint(table, u"nativePC\\rom_pc\\id\\title.ar"), nullptr);
    EXPECT_EQ(FindFingerprint(table, u"nativePC\\rom_pc\\id\\title.arcx"), nullptr);
    FreeFingerprintTable(&table);
    EXPECT_EQ(table.items, nullptr);

    FingerprintTable empty{0, nullptr, 0};
    Bytes none = SerializeFingerprints({});
    ASSERT_TRUE(ParseFingerprints(none.data(), none.size(), &empty));
    EXPECT_EQ(empty.count, 0u);
    FreeFingerprintTable(&empty);
}

// Tables written before fingerprints named the header (version 1) still read, without one.
TEST(Fingerprints, VersionOneTablesStillRead) {
    Bytes old = SerializeFingerprints(SampleRecords(), kFingerprintVersionWithoutHeader);
    EXPECT_EQ(old.size(), SerializeFingerprints(SampleRecords()).size() - 2 * 8);
    FingerprintTable table{0, nullptr, 0};
    ASSERT_TRUE(ParseFingerprints(old.data(), old.size(), &table));
    ASSERT_EQ(table.count, 2u);
    EXPECT_EQ(table.version, 1u);
    const ArchiveFingerprint* title = FindFingerprint(table, u"nativePC\\rom_pc\\id\\title.arc");
    ASSERT_NE(title, nullptr);
    EXPECT_FALSE(title->hasHeader);
    EXPECT_EQ(title->entryCount, 719u);
    EXPECT_EQ(title->tableHash, 0xFEDCBA9876543210ull);
    EXPECT_EQ(title->originalHash, 4u);
    FreeFingerprintTable(&table);
    Bytes three = old;
    three[4] = 3;
    EXPECT_FALSE(ParseFingerprints(three.data(), three.size(), &table));
}

TEST(Fingerprints, DamagedTablesAreRejectedWithoutReadingPastThem) {
    for (uint32_t version : {kFingerprintVersion, kFingerprintVersionWithoutHeader}) {
    SCOPED_TRACE(version);
    const Bytes good = SerializeFingerprints(SampleRecords(), version);
    FingerprintTable table{7, nullptr, 0};
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Bytes shorter(good.begin(), good.begin() + cut); // exact size: ASan sees any overread
        EXPECT_FALSE(ParseFingerprints(shorter.data(), shorter.size(), &table)) << "cut at " << cut;
    }
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(ParseFingerprints(longer.data(), longer.size(), &table));

    auto spoiled = [&](size_t at, unsigned char value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const size_t firstName = 16, firstNul = 16 + 2 * 35;
    for (const Bytes& b : {spoiled(0, 'X'), spoiled(4, 3), spoiled(4, 0), spoiled(8, 3), spoiled(8, 0xFF),
                           spoiled(firstNul, 'a'), spoiled(firstName + 4, 0), spoiled(12, 201), spoiled(12, 1)}) {
        EXPECT_FALSE(ParseFingerprints(b.data(), b.size(), &table));
    }
    EXPECT_EQ(table.count, 7u) << "a failed parse leaves the table alone";
    EXPECT_FALSE(ParseFingerprints(nullptr, 0, &table));
    }
}

TEST(Fingerprints, RandomDamageNeverCrashes) {
    const Bytes good = SerializeFingerprints(SampleRecords());
    uint32_t x = 12345;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes b = good;
        for (int k = 1 + int(next() % 4); k; --k) b[next() % b.size()] = static_cast<unsigned char>(next());
        b.resize(next() % (b.size() + 1));
        FingerprintTable table{0, nullptr, 0};
        if (ParseFingerprints(b.data(), b.size(), &table)) {
            for (uint32_t i = 0; i < table.count; ++i) EXPECT_EQ(table.items[i].name[table.items[i].nameLength - 1], 0);
            FreeFingerprintTable(&table);
        }
    }
}

// The fingerprint names what the rewrite never changes: the header, the entry count and the
// records' leading 68 bytes; stored length, size word and data offset may all change.
TEST(Fingerprints, MatchFollowsHeaderEntryCountAndLeadingBytesOnly) {
    SampleArchive a = MakeSample(5, 3, "fp");
    Bytes bytes = BuildSample(a);
    ArchiveFingerprint f{3, nullptr, 5, HashEntryLeads(bytes.data() + 8, 5), 0, 0, true, {}};
    std::copy(bytes.begin(), bytes.begin() + 8, f.header);
    EXPECT_TRUE(MatchesFingerprint(bytes.data(), bytes.data() + 8, f));
    for (size_t at = 0; at < 6; ++at) {
        Bytes header = bytes;
        header[at] ^= 0x01;
        EXPECT_TRUE(FingerprintHeaderDiffers(header.data(), f)) << "header byte " << at;
        EXPECT_FALSE(MatchesFingerprint(header.data(), header.data() + 8, f)) << "header byte " << at;
        ArchiveFingerprint old = f;
        old.hasHeader = false; // a version 1 fingerprint does not see the header
        EXPECT_TRUE(MatchesFingerprint(header.data(), header.data() + 8, old)) << "header byte " << at;
    }

    Bytes rewritten = ReferenceRewrite(bytes, {{2, 0x1234, Noise(77, 1)}});
    EXPECT_TRUE(MatchesFingerprint(rewritten.data(), rewritten.data() + 8, f));

    for (size_t at : {size_t(0), size_t(40), size_t(67)}) {
        Bytes renamed = bytes;
        renamed[8 + 80 * 4 + at] ^= 1;
        EXPECT_FALSE(MatchesFingerprint(renamed.data(), renamed.data() + 8, f)) << "byte " << at;
    }
    // Two entries swapped: same bytes, another order.
    std::swap(a.entries[0], a.entries[1]);
    Bytes swapped = BuildSample(a);
    EXPECT_FALSE(MatchesFingerprint(swapped.data(), swapped.data() + 8, f));

    a.entries.pop_back();
    Bytes fewer = BuildSample(a);
    EXPECT_FALSE(MatchesFingerprint(fewer.data(), fewer.data() + 8, f));
}

} // namespace

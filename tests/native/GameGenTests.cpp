// The synthetic game generator: its patch mirrors the shipped patch's shape, and its
// expected archives follow from the game folder and the patch by the archive rewrite rules
// (checked here independently of the generator's own construction).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/ArchiveFormat.h"
#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"
#include "tools/gamegen/GameGen.h"
#include "tools/gamegen/GameLayout.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path DiskPath(const fs::path& root, const char16_t* name) {
    std::string rel = NarrowAscii(name);
    std::replace(rel.begin(), rel.end(), '\\', '/');
    return root / rel;
}

int Generate(const fs::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"gamegen", "--out", out.string(), "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return GameGenMain(int(argv.size()), argv.data());
}

struct Manifest {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    Bytes payload;
    ~Manifest() { FreePatchSets(sets, count); }
};

// One default-scale data set shared by the suite.
class GameGen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::temp_directory_path() / ("gamegen_test_" + std::to_string(getpid())));
        fs::remove_all(*root_);
        ASSERT_EQ(Generate(*root_ / "a"), 0);
    }
    static void TearDownTestSuite() {
        fs::remove_all(*root_);
        delete root_;
        root_ = nullptr;
    }
    static fs::path Dir() { return *root_ / "a"; }
    static bool Load(const fs::path& dir, Manifest* m) {
        Bytes bytes = ReadAll(dir / "patch" / "manifest.bin");
        m->payload = ReadAll(dir / "patch" / "payload.bin");
        return ParsePatchManifest(bytes.data(), bytes.size(), &m->sets, &m->count);
    }
    static fs::path* root_;
};
fs::path* GameGen::root_ = nullptr;

TEST_F(GameGen, ManifestHasTheShippedShape) {
    Manifest m;
    ASSERT_TRUE(Load(Dir(), &m));
    ASSERT_EQ(m.count, 411u);
    EXPECT_EQ(std::u16string(m.sets[0].name), u"nativePC\\rom\\id\\hdd_install_msg.arc");
    EXPECT_EQ(std::u16string(m.sets[1].name), u"nativePC\\rom\\demo\\m01_100s.arc");

    std::set<std::u16string> names;
    uint32_t records = 0, bit30 = 0, smallerWord = 0, maxIndex = 0, unsortedBlocks = 0, twoRecordBlocks = 0;
    uint32_t minName = 1000, maxName = 0, minRecords = 1000, maxRecords = 0;
    for (uint32_t a = 0; a < m.count; ++a) {
        const ArchivePatchSet& set = m.sets[a];
        std::u16string name(set.name);
        EXPECT_TRUE(names.insert(name).second) << NarrowAscii(name);
        EXPECT_EQ(name.rfind(u"nativePC\\", 0), 0u);
        EXPECT_EQ(name.substr(name.size() - 4), u".arc");
        minName = std::min(minName, set.nameLength);
        maxName = std::max(maxName, set.nameLength);
        minRecords = std::min(minRecords, set.recordCount);
        maxRecords = std::max(maxRecords, set.recordCount);
        twoRecordBlocks += set.recordCount == 2;
        records += set.recordCount;
        std::set<uint32_t> indices;
        bool sorted = true;
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            const EntryPatch& p = set.records[r];
            EXPECT_TRUE(indices.insert(p.entryIndex).second) << "index twice in " << NarrowAscii(name);
            if (r && set.records[r - 1].entryIndex > p.entryIndex) sorted = false;
            maxIndex = std::max(maxIndex, p.entryIndex);
            EXPECT_EQ(p.sizeWord & 0xA0000000u, 0u);
            bit30 += (p.sizeWord >> 30) & 1;
            uint32_t rest = p.sizeWord & ~0x40000000u;
            EXPECT_NE(rest, p.storedLength);
            if (rest < p.storedLength) {
                ++smallerWord;
                EXPECT_LE(p.storedLength, 101u);
            }
        }
        unsortedBlocks += !sorted;
    }
    EXPECT_TRUE(names.count(u"nativePC\\rom_pc\\id\\title.arc"));
    EXPECT_EQ(records, 1146u);
    EXPECT_EQ(bit30, 194u);
    EXPECT_EQ(smallerWord, 73u);
    EXPECT_EQ(maxIndex, 718u);
    EXPECT_EQ(minName, 28u);
    EXPECT_EQ(maxName, 48u);
    EXPECT_EQ(minRecords, 1u);
    EXPECT_EQ(maxRecords, 90u);
    EXPECT_GT(twoRecordBlocks, m.count / 2);
    EXPECT_GT(unsortedBlocks, 50u);
}

TEST_F(GameGen, PayloadIsUsedExactlyOnceBit30DataFirst) {
    Manifest m;
    ASSERT_TRUE(Load(Dir(), &m));
    struct Slice { uint32_t offset, length; bool bit30; };
    std::vector<Slice> order;  // manifest order
    for (uint32_t a = 0; a < m.count; ++a) {
        uint32_t last = 0;
        for (uint32_t r = 0; r < m.sets[a].recordCount; ++r) {
            const EntryPatch& p = m.sets[a].records[r];
            if (r) {
                EXPECT_GT(p.payloadOffset, last) << "offsets ascend within a block";
            }
            last = p.payloadOffset;
            order.push_back({p.payloadOffset, p.storedLength, (p.sizeWord & 0x40000000u) != 0});
        }
    }
    // Bit-30 records in manifest order, then the others: they tile the payload exactly.
    std::stable_partition(order.begin(), order.end(), [](const Slice& s) { return s.bit30; });
    uint64_t next = 0;
    for (const Slice& s : order) {
        ASSERT_EQ(s.offset, next);
        next += s.length;
    }
    EXPECT_EQ(next, m.payload.size());
}

// Every expected archive is what the rewrite rules make of the original and the records.
TEST_F(GameGen, ExpectedArchivesFollowFromGameAndPatch) {
    Manifest m;
    ASSERT_TRUE(Load(Dir(), &m));
    std::ifstream list(Dir() / "archives.txt");
    uint64_t units = 0;
    for (uint32_t a = 0; a < m.count; ++a) {
        ArchivePatchSet& set = m.sets[a];
        SCOPED_TRACE(NarrowAscii(set.name));
        ASSERT_TRUE(ResolvePatchSet(&set, m.payload.data(), m.payload.size()));
        Bytes orig = ReadAll(DiskPath(Dir() / "game", set.name));
        Bytes exp = ReadAll(DiskPath(Dir() / "expected", set.name));
        ASSERT_GE(orig.size(), 8u);
        ASSERT_GE(exp.size(), 8u);
        ASSERT_EQ(CheckArchiveTable(orig.data(), orig.data() + 8, orig.size()), ArchiveCheck::Ok);
        ASSERT_EQ(CheckPatchRecords(ArcEntryCount(orig.data()), set.records, set.recordCount), ArchiveCheck::Ok);

        std::string listName;
        uint64_t listOrig = 0, listExp = 0, listRecords = 0;
        list >> listName >> listOrig >> listExp >> listRecords;
        EXPECT_EQ(listName, NarrowAscii(set.name));
        EXPECT_EQ(listOrig, orig.size());
        EXPECT_EQ(listExp, exp.size());
        EXPECT_EQ(listRecords, set.recordCount);
        units += exp.size() >> 8;

        ASSERT_EQ(std::memcmp(orig.data(), exp.data(), 8), 0) << "header carried through";
        const uint16_t n = ArcEntryCount(orig.data());
        const unsigned char* ot = orig.data() + 8;
        const unsigned char* et = exp.data() + 8;
        uint64_t pos = ArcDataOffset(ot, 0);
        ASSERT_LE(pos, exp.size());
        EXPECT_TRUE(std::all_of(exp.begin() + 8 + 80 * n, exp.begin() + pos, [](unsigned char c) { return c == 0; }))
            << "gap before the data is zeros";
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(std::memcmp(ot + 80 * i, et + 80 * i, 68), 0) << "leading bytes of entry " << i;
            ASSERT_EQ(ArcDataOffset(et, i), pos) << "entry " << i << " packed in table order";
            const EntryPatch* p = nullptr;
            for (uint32_t r = 0; r < set.recordCount; ++r)
                if (set.records[r].entryIndex == i) p = &set.records[r];
            const unsigned char* want;
            uint32_t length;
            if (p) {
                EXPECT_EQ(ArcSizeWord(et, i), p->sizeWord | 0x40000000u);
                length = p->storedLength;
                want = p->data;
            } else {
                EXPECT_EQ(ArcSizeWord(et, i), ArcSizeWord(ot, i));
                length = ArcStoredLength(ot, i);
                want = orig.data() + ArcDataOffset(ot, i);
            }
            ASSERT_EQ(ArcStoredLength(et, i), length);
            ASSERT_LE(pos + length, exp.size());
            ASSERT_TRUE(length == 0 || std::memcmp(exp.data() + pos, want, length) == 0) << "data of entry " << i;
            pos += length;
        }
        EXPECT_EQ(pos, exp.size()) << "ends right after the last entry";

        // The core's rewrite plan agrees with the expected table.
        Bytes table(ot, ot + 80 * n);
        uint32_t newSize = 0;
        ASSERT_EQ(PlanArchiveRewrite(table.data(), n, set.records, set.recordCount, &newSize), ArchiveCheck::Ok);
        EXPECT_EQ(newSize, exp.size());
        EXPECT_EQ(std::memcmp(table.data(), et, table.size()), 0);
    }
    std::string extra;
    EXPECT_FALSE(list >> extra) << "archives.txt has one line per archive";
    EXPECT_GT(units, 0u);
}

// The originals cover the layouts the rewrite must handle.
TEST_F(GameGen, OriginalsVaryInLayout) {
    Manifest m;
    ASSERT_TRUE(Load(Dir(), &m));
    int packed = 0, gaps = 0, outOfOrder = 0, trailing = 0, junkBeforeData = 0, zeroLength = 0,
        grows = 0, shrinks = 0, sameLengthNewWord = 0, bigTable = 0;
    for (uint32_t a = 0; a < m.count; ++a) {
        const ArchivePatchSet& set = m.sets[a];
        Bytes orig = ReadAll(DiskPath(Dir() / "game", set.name));
        const uint16_t n = ArcEntryCount(orig.data());
        const unsigned char* t = orig.data() + 8;
        bigTable += n >= 719;
        bool inOrder = true, backToBack = true;
        uint64_t end = 0;
        for (uint32_t i = 0; i < n; ++i) {
            zeroLength += ArcStoredLength(t, i) == 0;
            if (i && ArcDataOffset(t, i) < ArcDataOffset(t, i - 1)) inOrder = false;
            if (i && ArcDataOffset(t, i) != ArcDataOffset(t, i - 1) + ArcStoredLength(t, i - 1)) backToBack = false;
            end = std::max<uint64_t>(end, uint64_t(ArcDataOffset(t, i)) + ArcStoredLength(t, i));
        }
        uint32_t tableEnd = 8 + 80 * n;
        uint64_t first = ArcDataOffset(t, 0);
        packed += backToBack && first == tableEnd && end == orig.size();
        gaps += inOrder && !backToBack;
        outOfOrder += !inOrder;
        trailing += end < orig.size();
        junkBeforeData += first > tableEnd &&
                          std::any_of(orig.begin() + tableEnd, orig.begin() + first, [](unsigned char c) { return c != 0; });
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            const EntryPatch& p = set.records[r];
            uint32_t old = ArcStoredLength(t, p.entryIndex);
            grows += p.storedLength > old;
            shrinks += p.storedLength < old;
            sameLengthNewWord += p.storedLength == old && (p.sizeWord | 0x40000000u) != ArcSizeWord(t, p.entryIndex);
            EXPECT_FALSE(p.storedLength == old && (p.sizeWord | 0x40000000u) == ArcSizeWord(t, p.entryIndex));
        }
    }
    EXPECT_GT(packed, 50);
    EXPECT_GT(gaps, 20);
    EXPECT_GT(outOfOrder, 20);
    EXPECT_GT(trailing, 20);
    EXPECT_GT(junkBeforeData, 20);
    EXPECT_GT(zeroLength, 10);
    EXPECT_GT(grows, 300);
    EXPECT_GT(shrinks, 300);
    EXPECT_GT(sameLengthNewWord, 5);
    EXPECT_EQ(bigTable, 1);
}

TEST_F(GameGen, SameSeedSameBytesOtherSeedOtherData) {
    fs::path again = *root_ / "again";
    ASSERT_EQ(Generate(again), 0);
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(Dir()))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), Dir()));
    EXPECT_EQ(files.size(), 411u * 2 + 3);
    for (const fs::path& f : files) {
        ASSERT_TRUE(ReadAll(Dir() / f) == ReadAll(again / f)) << f;
    }

    fs::path other = *root_ / "other";
    ASSERT_EQ(Generate(other, {"--seed", "2"}), 0);
    EXPECT_NE(ReadAll(Dir() / "patch" / "payload.bin"), ReadAll(other / "patch" / "payload.bin"));
    fs::remove_all(again);
    fs::remove_all(other);
}

// --archives N writes the first archives of the whole set, the same files; stale files of
// an earlier run do not survive.
TEST_F(GameGen, FewerArchivesAreTheFirstOnesOfTheWholeSet) {
    fs::path dir = *root_ / "first";
    fs::create_directories(dir / "game" / "nativePC");
    std::ofstream(dir / "game" / "nativePC" / "stale.arc") << "old";
    ASSERT_EQ(Generate(dir, {"--archives", "12"}), 0);
    EXPECT_FALSE(fs::exists(dir / "game" / "nativePC" / "stale.arc"));
    Manifest all, few;
    ASSERT_TRUE(Load(Dir(), &all));
    ASSERT_TRUE(Load(dir, &few));
    ASSERT_EQ(few.count, 12u);
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "game")) {
        if (!e.is_regular_file()) continue;
        ++files;
        fs::path rel = fs::relative(e.path(), dir / "game");
        EXPECT_TRUE(ReadAll(e.path()) == ReadAll(Dir() / "game" / rel)) << rel;
        EXPECT_TRUE(ReadAll(dir / "expected" / rel) == ReadAll(Dir() / "expected" / rel)) << rel;
    }
    EXPECT_EQ(files, 12u);
    fs::remove_all(dir);
}

// --bytes sets the size of the archives written, over the same layout.
TEST_F(GameGen, BytesSetsTheSizeOfTheArchivesWritten) {
    fs::path dir = *root_ / "few";
    ASSERT_EQ(Generate(dir, {"--archives", "12", "--bytes", "3000000"}), 0);

    Manifest all, few;
    ASSERT_TRUE(Load(Dir(), &all));
    ASSERT_TRUE(Load(dir, &few));
    ASSERT_EQ(few.count, 12u);
    uint64_t total = 0;
    for (uint32_t a = 0; a < few.count; ++a) {
        EXPECT_EQ(std::u16string(few.sets[a].name), std::u16string(all.sets[a].name));
        ASSERT_EQ(few.sets[a].recordCount, all.sets[a].recordCount);
        for (uint32_t r = 0; r < few.sets[a].recordCount; ++r)
            EXPECT_EQ(few.sets[a].records[r].entryIndex, all.sets[a].records[r].entryIndex);
        total += fs::file_size(DiskPath(dir / "game", few.sets[a].name));
    }
    EXPECT_NEAR(double(total), 3e6, 3e4);
    size_t onDisk = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "expected")) onDisk += e.is_regular_file();
    EXPECT_EQ(onDisk, 12u);
    fs::remove_all(dir);
}

// The full scale is only modelled here (writing it takes gigabytes): its rewritten sizes
// >> 8 sum to the shipped progress total, and every archive stays below 2 GiB.
TEST(GameGenLayout, FullScaleMeetsTheProgressTotalExactly) {
    GameLayout layout = BuildGameLayout(1);
    ASSERT_TRUE(ScaleToFullFacts(layout));
    EXPECT_EQ(ProgressUnits(layout, layout.archives.size()), 18077230u);
    uint64_t total = 0;
    int large = 0;
    for (const GenArchive& a : layout.archives) {
        EXPECT_LT(a.originalSize, 0x80000000ull);
        EXPECT_LT(a.expectedSize, 0x80000000ull);
        total += a.originalSize;
        large += a.originalSize >= 50000000;
    }
    EXPECT_NEAR(double(total), 4.6e9, 0.2e9);
    EXPECT_GT(large, 10);
    uint64_t payload = AssignPayloadOffsets(layout, layout.archives.size());
    EXPECT_GT(payload, 10000000u);
    EXPECT_LT(payload, 60000000u);
}

TEST(GameGenArgs, RejectsBadCommandLines) {
    const std::vector<std::vector<const char*>> bad = {
        {"gamegen"},
        {"gamegen", "--seed", "3"},
        {"gamegen", "--out"},
        {"gamegen", "--out", "d", "--archives", "0"},
        {"gamegen", "--out", "d", "--archives", "412"},
        {"gamegen", "--out", "d", "--seed", "x"},
        {"gamegen", "--out", "d", "--bytes", "-5"},
        {"gamegen", "--out", "d", "--bytes", "100", "--full"},
        {"gamegen", "--out", "d", "--verbose"},
    };
    for (const auto& args : bad) {
        GameGenOptions o;
        std::string error;
        EXPECT_FALSE(ParseGameGenArgs(int(args.size()), args.data(), &o, &error)) << args.size();
        EXPECT_FALSE(error.empty());
    }
    const char* good[] = {"gamegen", "--out", "d", "--seed", "9", "--archives", "411", "--full", "--quiet"};
    GameGenOptions o;
    std::string error;
    ASSERT_TRUE(ParseGameGenArgs(9, good, &o, &error)) << error;
    EXPECT_EQ(o.out, "d");
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.archives, 411u);
    EXPECT_TRUE(o.full);
    EXPECT_TRUE(o.quiet);
}

} // namespace

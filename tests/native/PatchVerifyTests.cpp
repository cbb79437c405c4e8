// patchbuild verify: original, patched or neither, for archives in every state a player's
// folder can be in; and the command's exit status for a release check.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "ArchiveSamples.h"
#include "core/ArchiveFormat.h"
#include "core/FingerprintWriter.h"
#include "core/Fingerprints.h"
#include "core/ManifestWriter.h"
#include "tools/patchbuild/ByteSource.h"
#include "tools/patchbuild/Cli.h"
#include "tools/patchbuild/PatchDiff.h"
#include "tools/patchbuild/PatchVerify.h"

namespace fs = std::filesystem;

namespace {

// One archive of 7 entries; the patch replaces entries 5 and 1 (in that record order).
struct Sample {
    SampleArchive archive = MakeSample(7, 11, "arc");
    std::vector<SampleRecord> records = {{5, 0x40000123, Noise(900, 1)}, {1, 0x00000456, Noise(30, 2)}};
    Bytes original = BuildSample(archive);
    Bytes payload;
    std::vector<EntryPatch> entryPatches;
    ArchivePatchSet set{};
    ArchiveFingerprint fingerprint{};
    char16_t name[8] = u"a.arc";

    Sample() {
        for (const SampleRecord& r : records) {
            entryPatches.push_back({r.index, r.sizeWord, uint32_t(r.data.size()), uint32_t(payload.size()), nullptr});
            payload.insert(payload.end(), r.data.begin(), r.data.end());
        }
        set = {6, name, uint32_t(entryPatches.size()), entryPatches.data()};
        MemorySource source(original);
        ArchiveImage image;
        std::string why;
        EXPECT_TRUE(ReadArchiveImage(source, &image, &why)) << why;
        std::vector<bool> replaced(7, false);
        replaced[5] = replaced[1] = true;
        FingerprintRecord record;
        EXPECT_TRUE(FingerprintArchive(source, image, replaced, &record, nullptr));
        fingerprint = {6, name, record.entryCount, record.tableHash, record.keptHash, record.originalHash, true, {}};
        std::copy(record.header.begin(), record.header.end(), fingerprint.header);
    }
    Bytes Patched() const { return ReferenceRewrite(original, records); }
    ArchiveVerdict Verify(const Bytes& archive, bool withFingerprint) {
        MemorySource file(archive), pay(payload);
        return VerifyArchive(&file, set, pay, withFingerprint ? &fingerprint : nullptr, nullptr);
    }
};

Bytes With(const Bytes& archive, void (*change)(SampleArchive&)) {
    SampleArchive a;
    EXPECT_TRUE(ParseSample(archive, &a));
    change(a);
    return BuildSample(a);
}

TEST(Verify, TellsOriginalPatchedAndNeitherApart) {
    Sample s;
    const Bytes patched = s.Patched();
    struct Case {
        const char* what;
        Bytes archive;
        VerifyState withFingerprint, without;
        const char* detail; // part of the reason given with fingerprints, for Neither
    };
    Bytes truncated(patched.begin(), patched.end() - 1);
    const Case cases[] = {
        {"original", s.original, VerifyState::Original, VerifyState::Unpatched, ""},
        {"original, laid out again", With(s.original, [](SampleArchive&) {}), VerifyState::Original,
         VerifyState::Unpatched, ""},
        {"patched", patched, VerifyState::Patched, VerifyState::Patched, ""},
        {"patched twice", ReferenceRewrite(patched, s.records), VerifyState::Patched, VerifyState::Patched, ""},
        {"one replaced entry patched, the other not", ReferenceRewrite(s.original, {s.records[0]}),
         VerifyState::Neither, VerifyState::Neither, "damaged: entry 1 hold"},
        {"damaged: a patched entry's bytes", With(patched, [](SampleArchive& a) { a.entries[5].data[7] ^= 1; }),
         VerifyState::Neither, VerifyState::Neither, "damaged: entry 5 hold"},
        {"damaged: the header", With(s.original, [](SampleArchive& a) { a.headerLead[2] ^= 1; }),
         VerifyState::Neither, VerifyState::Unpatched, "its header differs"},
        {"damaged: the header of a patched archive", With(patched, [](SampleArchive& a) { a.headerLead[0] ^= 0x80; }),
         VerifyState::Neither, VerifyState::Patched, "its header differs"},
        {"damaged: cut short", truncated, VerifyState::Neither, VerifyState::Neither, "damaged"},
        {"another release: entry renamed", With(patched, [](SampleArchive& a) { a.entries[6].lead[3] ^= 1; }),
         VerifyState::Neither, VerifyState::Patched, "not the release"},
        {"another release: entry added", With(s.original, [](SampleArchive& a) { a.entries.push_back(a.entries[0]); }),
         VerifyState::Neither, VerifyState::Unpatched, "8 entries, the patch expects 7"},
        {"an entry the patch leaves alone changed",
         With(patched, [](SampleArchive& a) { a.entries[3].data[0] ^= 1; }), VerifyState::Neither,
         VerifyState::Patched, "leaves alone"},
        {"a replaced entry changed by something else",
         With(s.original, [](SampleArchive& a) { a.entries[5].data.push_back(0); }), VerifyState::Neither,
         VerifyState::Unpatched, "neither the original nor the patched"},
        {"patched data with the old size word",
         With(patched, [](SampleArchive& a) { a.entries[1].sizeWord = 0x456; }), VerifyState::Neither,
         VerifyState::Neither, "damaged: entry 1 hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveVerdict with = s.Verify(c.archive, true);
        EXPECT_EQ(with.state, c.withFingerprint) << with.detail;
        EXPECT_NE(with.detail.find(c.detail), std::string::npos) << with.detail;
        EXPECT_EQ(with.detail.empty(), with.state != VerifyState::Neither);
        EXPECT_EQ(s.Verify(c.archive, false).state, c.without);
    }
    MemorySource pay(s.payload);
    EXPECT_EQ(VerifyArchive(nullptr, s.set, pay, &s.fingerprint, nullptr).state, VerifyState::Missing);
}

// A fingerprint table written before fingerprints named the header still reads and still
// tells original from patched; only a header change goes unseen with it.
TEST(Verify, FingerprintsWithoutHeaderStillRead) {
    Sample s;
    FingerprintRecord record{u"a.arc", s.fingerprint.entryCount, s.fingerprint.tableHash, s.fingerprint.keptHash,
                             s.fingerprint.originalHash, {}};
    Bytes v1 = SerializeFingerprints({record}, kFingerprintVersionWithoutHeader);
    EXPECT_EQ(Bytes(v1.begin() + 4, v1.begin() + 8), (Bytes{1, 0, 0, 0}));
    FingerprintTable table{0, nullptr, 0};
    ASSERT_TRUE(ParseFingerprints(v1.data(), v1.size(), &table));
    ASSERT_EQ(table.count, 1u);
    EXPECT_EQ(table.version, 1u);
    EXPECT_FALSE(table.items[0].hasHeader);
    s.fingerprint = table.items[0];
    s.fingerprint.name = s.name;
    EXPECT_EQ(s.Verify(s.original, true).state, VerifyState::Original);
    EXPECT_EQ(s.Verify(s.Patched(), true).state, VerifyState::Patched);
    EXPECT_EQ(s.Verify(With(s.original, [](SampleArchive& a) { a.headerLead[2] ^= 1; }), true).state,
              VerifyState::Original);
    FreeFingerprintTable(&table);
}

TEST(Verify, RecordsThatDoNotFitTheArchiveMakeItNeither) {
    Sample s;
    s.entryPatches[0].entryIndex = 7; // past the table
    ArchiveVerdict v = s.Verify(s.original, false);
    EXPECT_EQ(v.state, VerifyState::Neither);
    EXPECT_NE(v.detail.find("only 7 entries"), std::string::npos) << v.detail;
}

// The command on a folder: a release check of the original folder and of a patched one,
// and a player's folder with one damaged archive and an interrupted rewrite's leftover.
TEST(VerifyCommand, ExitStatusFollowsTheStatesAndNothingIsChanged) {
    fs::path root = fs::temp_directory_path() / ("patchverify_" + std::to_string(getpid()));
    fs::remove_all(root);
    const std::string names[] = {"nativePC\\rom\\a.arc", "nativePC\\rom\\b.arc"};
    std::vector<ManifestArchive> manifest;
    std::vector<FingerprintRecord> fingerprints;
    Bytes payload;
    for (int k = 0; k < 2; ++k) {
        SampleArchive a = MakeSample(5, 20 + k, "x" + std::to_string(k));
        Bytes original = BuildSample(a);
        SampleRecord record{3, 0x10, Noise(100 + k, 30 + k)};
        manifest.push_back({WidenAscii(names[k]), {{3, 0x10, uint32_t(record.data.size()), uint32_t(payload.size()), nullptr}}});
        payload.insert(payload.end(), record.data.begin(), record.data.end());
        WriteFileBytes(DiskPathOf(root / "original", names[k]), original);
        WriteFileBytes(DiskPathOf(root / "patched", names[k]), ReferenceRewrite(original, {record}));
        MemorySource source(original);
        ArchiveImage image;
        std::string why;
        ASSERT_TRUE(ReadArchiveImage(source, &image, &why));
        std::vector<bool> replaced(5, false);
        replaced[3] = true;
        FingerprintRecord f;
        ASSERT_TRUE(FingerprintArchive(source, image, replaced, &f, nullptr));
        f.name = WidenAscii(names[k]);
        fingerprints.push_back(f);
    }
    WriteFileBytes(root / "patch" / "manifest.bin", SerializeManifest(manifest));
    WriteFileBytes(root / "patch" / "payload.bin", payload);
    WriteFileBytes(root / "patch" / "fingerprints.bin", SerializeFingerprints(fingerprints));

    auto run = [&](const char* folder, const char* expect) {
        std::string game = (root / folder).string(), patch = (root / "patch").string();
        std::vector<const char*> argv = {"patchbuild", "verify", "--game", game.c_str(), "--patch", patch.c_str(), "--quiet"};
        if (expect) {
            argv.push_back("--expect");
            argv.push_back(expect);
        }
        return PatchBuildMain(int(argv.size()), argv.data());
    };
    EXPECT_EQ(run("original", "original"), 0);
    EXPECT_EQ(run("original", "patched"), 1);
    EXPECT_EQ(run("patched", "patched"), 0);
    EXPECT_EQ(run("patched", nullptr), 0);

    // A player's folder: b.arc cut short by a failed rewrite, its copy beside it.
    fs::path b = DiskPathOf(root / "patched", names[1]);
    Bytes before = ReadFileBytes(b);
    fs::copy_file(DiskPathOf(root / "original", names[1]), DiskPathOf(root / "patched", "nativePC\\rom\\b.tmp"));
    Bytes cut(before.begin(), before.end() - 10);
    WriteFileBytes(b, cut);
    EXPECT_EQ(run("patched", nullptr), 1);
    VerifyReport report;
    ASSERT_TRUE(VerifyGameFolder({root / "patched", root / "patch", nullptr}, &report));
    ASSERT_EQ(report.lines.size(), 2u);
    EXPECT_EQ(report.lines[0].verdict.state, VerifyState::Patched);
    EXPECT_FALSE(report.lines[0].leftoverTemp);
    EXPECT_EQ(report.lines[1].verdict.state, VerifyState::Neither);
    EXPECT_TRUE(report.lines[1].leftoverTemp);
    EXPECT_EQ(ReadFileBytes(b), cut);

    // Missing patch files are a usage error, not a verdict.
    fs::remove(root / "patch" / "payload.bin");
    EXPECT_EQ(run("patched", nullptr), 2);
    fs::remove_all(root);
}

} // namespace

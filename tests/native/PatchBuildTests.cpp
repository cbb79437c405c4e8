// patchbuild build: from original and translated archives to manifest, payload and
// fingerprints. The round trip applies the patch with the installer's rewrite rules
// (restated in ArchiveSamples) and compares every entry with the translated archive.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>

#include "ArchiveSamples.h"
#include "core/Fingerprints.h"
#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"
#include "core/ProgressTotal.h"
#include "tools/gamegen/GameGen.h"
#include "tools/patchbuild/Cli.h"
#include "tools/patchbuild/PatchBuild.h"
#include "tools/patchbuild/FileCalls.h"
#include "tools/patchbuild/OutputSet.h"
#include "tools/patchbuild/PatchDiff.h"
#include "tools/patchbuild/PatchLayout.h"
#include "core/ProgressMath.h"
#include "tools/gamegen/GameLayout.h"
#include "tools/gamegen/GameWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBit30 = 0x40000000;

const std::string kTitle = "nativePC\\rom_pc\\id\\title.arc";
const std::string kMsg = "nativePC\\rom\\id\\hdd_install_msg.arc";
const std::string kDemo = "nativePC\\rom\\demo\\m01_100s.arc";
const std::string kSame = "nativePC\\rom\\sound\\bgm\\unchanged.arc";

struct Loaded {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    Bytes payload;
    FingerprintTable fingerprints{0, nullptr, 0};
    ~Loaded() {
        FreePatchSets(sets, count);
        FreeFingerprintTable(&fingerprints);
    }
};

class PatchBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("patchbuild_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        original = root / "original";
        translated = root / "translated";
        out = root / "out";
        fs::create_directories(original);
        fs::create_directories(translated);
    }
    void TearDown() override { fs::remove_all(root); }

    void PutOriginal(const std::string& name, const SampleArchive& a) {
        originals[name] = a;
        WriteFileBytes(DiskPathOf(original, name), BuildSample(a));
    }
    // The translation is written packed and in table order: a layout unlike the original's.
    void PutTranslated(const std::string& name, SampleArchive a) {
        a.gap = 0;
        a.between = 0;
        a.reversed = false;
        a.trailing = 0;
        translations[name] = a;
        WriteFileBytes(DiskPathOf(translated, name), BuildSample(a));
    }

    bool Build(BuildReport* report, const std::string& first = "") {
        BuildOptions options;
        options.original = original;
        options.translated = translated;
        options.out = out;
        options.first = first;
        return BuildPatch(options, report);
    }

    bool Load(Loaded* patch) {
        Bytes manifest = ReadFileBytes(out / "manifest.bin");
        Bytes fingerprints = ReadFileBytes(out / "fingerprints.bin");
        patch->payload = ReadFileBytes(out / "payload.bin");
        return ParsePatchManifest(manifest.data(), manifest.size(), &patch->sets, &patch->count) &&
               ParseFingerprints(fingerprints.data(), fingerprints.size(), &patch->fingerprints);
    }

    // A translation of `a` with: entry 0 grown, entry 1 shrunk, entry 3's size word changed
    // alone, entry 4 replaced by data of the same length with a bit-30 word; the rest kept.
    static SampleArchive Translate(SampleArchive a, uint32_t seed) {
        Bytes grown = Noise(a.entries[0].data.size() + 1500, seed);
        a.entries[0].data = grown;
        a.entries[0].sizeWord = 0x00400000 | uint32_t(grown.size());
        a.entries[1].data.resize(a.entries[1].data.size() / 3);
        a.entries[3].sizeWord ^= 0x00000100;
        a.entries[4].data = Noise(a.entries[4].data.size(), seed + 1);
        a.entries[4].sizeWord |= kBit30;
        return a;
    }

    fs::path root, original, translated, out;
    std::map<std::string, SampleArchive> originals, translations;
};

// Every translated archive's entries, after the patch is applied to the original, have the
// translated entry's leading 68 bytes, stored length and bytes, and its size word with bit 30
// forced on when the entry was replaced (the rewrite always sets it) or the original word
// when not. The data layout is the rewrite's own (packed in table order).
void ExpectRoundTrip(const Loaded& patch, const fs::path& original,
                     const std::map<std::string, SampleArchive>& translations) {
    for (uint32_t s = 0; s < patch.count; ++s) {
        const ArchivePatchSet& set = patch.sets[s];
        std::string name = NarrowAscii(set.name);
        SCOPED_TRACE(name);
        std::vector<SampleRecord> records;
        for (uint32_t r = 0; r < set.recordCount; ++r) {
            const EntryPatch& p = set.records[r];
            ASSERT_LE(uint64_t(p.payloadOffset) + p.storedLength, patch.payload.size());
            records.push_back({p.entryIndex, p.sizeWord,
                               Bytes(patch.payload.begin() + p.payloadOffset,
                                     patch.payload.begin() + p.payloadOffset + p.storedLength)});
        }
        Bytes before = ReadFileBytes(DiskPathOf(original, name));
        SampleArchive after, want = translations.at(name), was;
        ASSERT_TRUE(ParseSample(ReferenceRewrite(before, records), &after));
        ASSERT_TRUE(ParseSample(before, &was));
        ASSERT_EQ(after.entries.size(), want.entries.size());
        for (size_t i = 0; i < want.entries.size(); ++i) {
            bool replaced = std::any_of(records.begin(), records.end(), [&](const SampleRecord& r) { return r.index == i; });
            EXPECT_EQ(after.entries[i].lead, want.entries[i].lead) << "entry " << i;
            EXPECT_EQ(after.entries[i].data, want.entries[i].data) << "entry " << i;
            EXPECT_EQ(after.entries[i].sizeWord, replaced ? want.entries[i].sizeWord | kBit30 : was.entries[i].sizeWord)
                << "entry " << i;
            // Only entries whose bytes or word differ are replaced.
            bool differs = was.entries[i].data != want.entries[i].data || was.entries[i].sizeWord != want.entries[i].sizeWord;
            EXPECT_EQ(replaced, differs) << "entry " << i;
        }
    }
}

TEST_F(PatchBuildTest, RoundTripGivesTheTranslatedEntriesAndTheLayoutTheInstallerExpects) {
    PutOriginal(kTitle, MakeSample(9, 1, "title"));
    PutOriginal(kDemo, MakeSample(6, 2, "demo"));
    PutOriginal(kSame, MakeSample(4, 3, "same"));
    PutOriginal("nativePC\\rom\\not_translated.arc", MakeSample(3, 4, "nt"));
    PutTranslated(kTitle, Translate(originals[kTitle], 50));
    SampleArchive demo = originals[kDemo];
    demo.entries[5].data = Noise(10, 60); // one plain replacement, no bit 30
    PutTranslated(kDemo, demo);
    PutTranslated(kSame, originals[kSame]);
    WriteFileBytes(translated / "readme.txt", {'h', 'i'});

    BuildReport report;
    ASSERT_TRUE(Build(&report)) << (report.problems.empty() ? "" : report.problems[0]);
    EXPECT_EQ(report.archives, 2u);
    EXPECT_EQ(report.records, 5u);
    EXPECT_EQ(report.bit30Records, 1u);
    // The unchanged archive is left out, and the stray file named, in the notes.
    std::string notes;
    for (const auto& n : report.notes) notes += n + "\n";
    EXPECT_NE(notes.find(kSame), std::string::npos) << notes;
    EXPECT_NE(notes.find("readme.txt"), std::string::npos) << notes;

    Loaded patch;
    ASSERT_TRUE(Load(&patch));
    ASSERT_EQ(patch.count, 2u);
    // Sorted by name: "nativePC\rom\demo..." before "nativePC\rom_pc\...".
    EXPECT_EQ(NarrowAscii(patch.sets[0].name), kDemo);
    EXPECT_EQ(NarrowAscii(patch.sets[1].name), kTitle);
    // Records: bit-30 ones first, then by index. title: 4 (bit 30), then 0, 1, 3.
    const ArchivePatchSet& title = patch.sets[1];
    ASSERT_EQ(title.recordCount, 4u);
    std::vector<uint32_t> order;
    for (uint32_t r = 0; r < title.recordCount; ++r) order.push_back(title.records[r].entryIndex);
    EXPECT_EQ(order, (std::vector<uint32_t>{4, 0, 1, 3}));
    // Payload: the bit-30 record's data first, though its archive comes second.
    EXPECT_EQ(title.records[0].payloadOffset, 0u);
    EXPECT_EQ(patch.sets[0].records[0].payloadOffset, title.records[0].storedLength);
    EXPECT_EQ(report.payloadBytes, patch.payload.size());

    std::vector<ManifestArchive> manifest;
    for (uint32_t s = 0; s < patch.count; ++s) {
        ManifestArchive a{patch.sets[s].name, {}};
        a.records.assign(patch.sets[s].records, patch.sets[s].records + patch.sets[s].recordCount);
        manifest.push_back(a);
    }
    std::string why;
    EXPECT_TRUE(CheckPayloadLayout(manifest, patch.payload.size(), &why)) << why;
    ExpectRoundTrip(patch, original, translations);

    // Fingerprints: one per archive, in manifest order, from the original tables.
    ASSERT_EQ(patch.fingerprints.count, 2u);
    for (uint32_t s = 0; s < patch.count; ++s) {
        const ArchiveFingerprint& f = patch.fingerprints.items[s];
        EXPECT_EQ(std::u16string(f.name), std::u16string(patch.sets[s].name));
        Bytes bytes = ReadFileBytes(DiskPathOf(original, NarrowAscii(f.name)));
        EXPECT_TRUE(MatchesFingerprint(bytes.data(), bytes.data() + 8, f));
    }

    // The progress total is the rewritten archives' sizes, each shifted by 8; it is written
    // with the patch for the installer to measure its run against.
    uint64_t units = 0;
    for (uint32_t s = 0; s < patch.count; ++s) {
        Bytes before = ReadFileBytes(DiskPathOf(original, NarrowAscii(patch.sets[s].name)));
        std::vector<SampleRecord> records;
        for (uint32_t r = 0; r < patch.sets[s].recordCount; ++r) {
            const EntryPatch& p = patch.sets[s].records[r];
            records.push_back({p.entryIndex, p.sizeWord, Bytes(patch.payload.begin() + p.payloadOffset,
                                                               patch.payload.begin() + p.payloadOffset + p.storedLength)});
        }
        units += ReferenceRewrite(before, records).size() >> 8;
    }
    EXPECT_EQ(report.progressUnits, units);
    uint32_t stored = 0;
    Bytes total = ReadFileBytes(out / "progress_total.bin");
    ASSERT_TRUE(ParseProgressTotal(total.data(), total.size(), &stored));
    EXPECT_EQ(stored, units);
}

TEST_F(PatchBuildTest, ChosenFirstArchiveLeadsTheManifest) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    PutOriginal(kMsg, MakeSample(6, 2, "msg"));
    PutTranslated(kTitle, Translate(originals[kTitle], 7));
    PutTranslated(kMsg, Translate(originals[kMsg], 8));
    BuildReport report;
    ASSERT_TRUE(Build(&report, kTitle));
    Loaded patch;
    ASSERT_TRUE(Load(&patch));
    EXPECT_EQ(NarrowAscii(patch.sets[0].name), kTitle);
    EXPECT_EQ(NarrowAscii(patch.sets[1].name), kMsg);
    EXPECT_EQ(NarrowAscii(patch.fingerprints.items[0].name), kTitle);

    BuildReport unknown;
    EXPECT_FALSE(Build(&unknown, "nativePC\\nowhere.arc"));
}

// Each case breaks one translated archive; the build refuses, names the archive (and the
// entry where one is to blame), and writes nothing, leaving an earlier patch as it was.
TEST_F(PatchBuildTest, PairsThePatchCannotExpressAreRefusedByName) {
    struct Case {
        const char* what;
        void (*spoil)(SampleArchive&);
        const char* mustMention;
    };
    const Case cases[] = {
        {"entry added", [](SampleArchive& a) { a.entries.push_back(a.entries[0]); }, "entries"},
        {"entry removed", [](SampleArchive& a) { a.entries.pop_back(); }, "entries"},
        {"entry renamed", [](SampleArchive& a) { a.entries[3].lead[5] ^= 1; }, "entry 3"},
        {"type word changed", [](SampleArchive& a) { a.entries[2].lead[66] ^= 0x10; }, "entry 2"},
        {"header changed", [](SampleArchive& a) { a.headerLead[4] = 10; }, "header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root);
        fs::create_directories(out);
        WriteFileBytes(out / "manifest.bin", {1, 2, 3});
        PutOriginal(kTitle, MakeSample(6, 1, "title"));
        PutOriginal(kDemo, MakeSample(5, 2, "demo"));
        PutTranslated(kDemo, Translate(originals[kDemo], 3)); // a good one beside it
        SampleArchive bad = Translate(originals[kTitle], 4);
        c.spoil(bad);
        PutTranslated(kTitle, bad);

        BuildReport report;
        EXPECT_FALSE(Build(&report));
        ASSERT_EQ(report.problems.size(), 1u);
        EXPECT_NE(report.problems[0].find(kTitle), std::string::npos) << report.problems[0];
        EXPECT_NE(report.problems[0].find(c.mustMention), std::string::npos) << report.problems[0];
        EXPECT_EQ(ReadFileBytes(out / "manifest.bin"), (Bytes{1, 2, 3}));
        EXPECT_FALSE(fs::exists(out / "payload.bin"));
        EXPECT_FALSE(fs::exists(out / "fingerprints.bin"));
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    }
}

TEST_F(PatchBuildTest, EveryProblemIsReportedInOneRun) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    SampleArchive renamed = originals[kTitle];
    renamed.entries[1].lead[0] ^= 1;
    renamed.entries[4].lead[0] ^= 1;
    PutTranslated(kTitle, renamed);
    WriteFileBytes(DiskPathOf(translated, kMsg), BuildSample(MakeSample(3, 9, "m"))); // no original
    WriteFileBytes(DiskPathOf(original, kDemo), {1, 2, 3});                             // not an archive
    PutTranslated(kDemo, MakeSample(3, 9, "d"));

    BuildReport report;
    EXPECT_FALSE(Build(&report));
    std::string all;
    for (const auto& p : report.problems) all += p + "\n";
    EXPECT_NE(all.find(kMsg + ": no original archive"), std::string::npos) << all;
    EXPECT_NE(all.find(kDemo + ": the original is not a readable archive"), std::string::npos) << all;
    EXPECT_NE(all.find(kTitle + ": entry 1:"), std::string::npos) << all;
    EXPECT_NE(all.find(kTitle + ": entry 4:"), std::string::npos) << all;
    EXPECT_FALSE(fs::exists(out / "manifest.bin"));
}

TEST_F(PatchBuildTest, NothingToPatchAndUnusableNamesAreRefused) {
    PutOriginal(kTitle, MakeSample(4, 1, "title"));
    PutTranslated(kTitle, originals[kTitle]);
    BuildReport same;
    EXPECT_FALSE(Build(&same));
    ASSERT_EQ(same.problems.size(), 1u);
    EXPECT_NE(same.problems[0].find("nothing to patch"), std::string::npos);

    // The installer's paths hold 260 units with the game folder: the manifest caps names.
    fs::remove_all(translated);
    const std::string longName = "nativePC\\" + std::string(200, 'a') + ".arc";
    PutOriginal(longName, MakeSample(6, 2, "x"));
    PutTranslated(longName, Translate(originals[longName], 3));
    BuildReport tooLong;
    EXPECT_FALSE(Build(&tooLong));
    ASSERT_EQ(tooLong.problems.size(), 1u);
    EXPECT_NE(tooLong.problems[0].find("cannot carry this name"), std::string::npos);
}

TEST(PatchLayout, CheckRejectsEveryOtherLayout) {
    // Two archives; archive 1's first record has bit 30. Correct layout: 1/0 at 0 (len 5),
    // then 0/0 at 5 (len 3), 0/1 at 8 (len 4), 1/1 at 12 (len 2): 14 bytes.
    auto make = [](uint32_t a0, uint32_t a1, uint32_t b0, uint32_t b1) {
        return std::vector<ManifestArchive>{
            {u"a.arc", {{0, 0x10, 3, a0, nullptr}, {1, 0x20, 4, a1, nullptr}}},
            {u"b.arc", {{7, 0x40000030, 5, b0, nullptr}, {2, 0x40, 2, b1, nullptr}}},
        };
    };
    std::string why;
    EXPECT_TRUE(CheckPayloadLayout(make(5, 8, 0, 12), 14, &why)) << why;
    EXPECT_FALSE(CheckPayloadLayout(make(5, 8, 0, 12), 15, &why)) << "a byte no record uses";
    EXPECT_FALSE(CheckPayloadLayout(make(5, 8, 0, 13), 15, &why)) << "a gap";
    EXPECT_FALSE(CheckPayloadLayout(make(5, 7, 0, 11), 13, &why)) << "overlap";
    EXPECT_FALSE(CheckPayloadLayout(make(0, 3, 7, 12), 14, &why)) << "bit-30 data not first";
    EXPECT_FALSE(CheckPayloadLayout(make(9, 5, 0, 12), 14, &why)) << "descending within a block";
}

// Cross-check with the generator, which builds its patch its own way: building from its
// original and expected folders gives the same records and the same replacement bytes.
TEST(PatchBuildOnGeneratedGame, AgreesWithTheGeneratorsOwnPatch) {
    fs::path dir = fs::temp_directory_path() / ("patchbuild_gen_" + std::to_string(getpid()));
    fs::remove_all(dir);
    const char* args[] = {"gamegen", "--out", nullptr, "--archives", "25", "--bytes", "1500000", "--quiet"};
    std::string out = dir.string();
    args[2] = out.c_str();
    ASSERT_EQ(GameGenMain(8, args), 0);

    BuildOptions options;
    options.original = dir / "game";
    options.translated = dir / "expected";
    options.out = dir / "built";
    BuildReport report;
    ASSERT_TRUE(BuildPatch(options, &report)) << (report.problems.empty() ? "" : report.problems[0]);

    auto load = [](const fs::path& p, ArchivePatchSet** sets, uint32_t* count, Bytes* payload) {
        Bytes m = ReadFileBytes(p / "manifest.bin");
        *payload = ReadFileBytes(p / "payload.bin");
        return ParsePatchManifest(m.data(), m.size(), sets, count);
    };
    ArchivePatchSet *genSets = nullptr, *ourSets = nullptr;
    uint32_t genCount = 0, ourCount = 0;
    Bytes genPayload, ourPayload;
    ASSERT_TRUE(load(dir / "patch", &genSets, &genCount, &genPayload));
    ASSERT_TRUE(load(dir / "built", &ourSets, &ourCount, &ourPayload));
    EXPECT_EQ(ourCount, genCount);
    EXPECT_EQ(ourPayload.size(), genPayload.size());
    // The generator's expected archives carry word | bit 30, which is what the records then hold.
    using Key = std::pair<std::u16string, uint32_t>;
    std::map<Key, std::pair<uint32_t, Bytes>> gen;
    for (uint32_t s = 0; s < genCount; ++s)
        for (uint32_t r = 0; r < genSets[s].recordCount; ++r) {
            const EntryPatch& p = genSets[s].records[r];
            gen[{genSets[s].name, p.entryIndex}] = {p.sizeWord | kBit30,
                                                    Bytes(genPayload.begin() + p.payloadOffset,
                                                          genPayload.begin() + p.payloadOffset + p.storedLength)};
        }
    size_t matched = 0;
    for (uint32_t s = 0; s < ourCount; ++s)
        for (uint32_t r = 0; r < ourSets[s].recordCount; ++r) {
            const EntryPatch& p = ourSets[s].records[r];
            auto it = gen.find({ourSets[s].name, p.entryIndex});
            ASSERT_NE(it, gen.end()) << NarrowAscii(ourSets[s].name) << " entry " << p.entryIndex;
            EXPECT_EQ(p.sizeWord, it->second.first);
            EXPECT_TRUE(Bytes(ourPayload.begin() + p.payloadOffset,
                              ourPayload.begin() + p.payloadOffset + p.storedLength) == it->second.second);
            ++matched;
        }
    EXPECT_EQ(matched, gen.size());
    FreePatchSets(genSets, genCount);
    FreePatchSets(ourSets, ourCount);

    // The fingerprint command on the generator's patch gives the same fingerprints.
    fs::copy(dir / "patch", dir / "genpatch");
    std::string game = (dir / "game").string(), genpatch = (dir / "genpatch").string();
    const char* fp[] = {"patchbuild", "fingerprint", "--game", game.c_str(), "--patch", genpatch.c_str(), "--quiet"};
    ASSERT_EQ(PatchBuildMain(7, fp), 0);
    FingerprintTable a{0, nullptr, 0}, b{0, nullptr, 0};
    Bytes fa = ReadFileBytes(dir / "genpatch" / "fingerprints.bin"), fb = ReadFileBytes(dir / "built" / "fingerprints.bin");
    ASSERT_TRUE(ParseFingerprints(fa.data(), fa.size(), &a));
    ASSERT_TRUE(ParseFingerprints(fb.data(), fb.size(), &b));
    ASSERT_EQ(a.count, b.count);
    for (uint32_t i = 0; i < a.count; ++i) {
        const ArchiveFingerprint* other = FindFingerprint(b, a.items[i].name);
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(a.items[i].entryCount, other->entryCount);
        EXPECT_EQ(a.items[i].tableHash, other->tableHash);
        EXPECT_EQ(a.items[i].keptHash, other->keptHash);
        EXPECT_EQ(a.items[i].originalHash, other->originalHash);
    }
    FreeFingerprintTable(&a);
    FreeFingerprintTable(&b);
    // Both give the progress total of the generator's patched folder.
    uint32_t expectedUnits = 0;
    {
        std::ifstream list(dir / "archives.txt");
        std::string name;
        uint64_t originalSize = 0, expectedSize = 0, records = 0;
        while (list >> name >> originalSize >> expectedSize >> records)
            expectedUnits = AddArchiveUnits(expectedUnits, uint32_t(expectedSize));
    }
    EXPECT_GT(expectedUnits, 0u);
    for (const char* patch : {"genpatch", "built"}) {
        Bytes stored = ReadFileBytes(dir / patch / "progress_total.bin");
        uint32_t units = 0;
        ASSERT_TRUE(ParseProgressTotal(stored.data(), stored.size(), &units)) << patch;
        EXPECT_EQ(units, expectedUnits) << patch;
    }
    // ... and refuses to take them from a patched folder.
    std::string expected = (dir / "expected").string();
    const char* fromPatched[] = {"patchbuild", "fingerprint", "--game", expected.c_str(), "--patch", genpatch.c_str(), "--quiet"};
    EXPECT_EQ(PatchBuildMain(7, fromPatched), 1);
    fs::remove_all(dir);
}

} // namespace

namespace {

int RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "patchbuild");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return PatchBuildMain(int(argv.size()), argv.data());
}

TEST_F(PatchBuildTest, CommandLineExitStatus) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    PutTranslated(kTitle, Translate(originals[kTitle], 2));
    const std::string o = original.string(), t = translated.string(), d = out.string();
    EXPECT_EQ(RunCli({}), 2);
    EXPECT_EQ(RunCli({"frobnicate"}), 2);
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t}), 2) << "--out is required";
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t, "--out", d, "--colour", "x"}), 2);
    EXPECT_EQ(RunCli({"verify", "--game", o, "--patch", d, "--expect", "maybe"}), 2);
    // Each command answers --help with its own usage, exit codes included, on stdout.
    for (const char* command : {"build", "installer", "verify", "fingerprint"}) {
        for (const char* help : {"--help", "-h"}) {
            SCOPED_TRACE(std::string(command) + " " + help);
            ::testing::internal::CaptureStdout();
            EXPECT_EQ(RunCli({command, help}), 0);
            std::string text = ::testing::internal::GetCapturedStdout();
            EXPECT_NE(text.find(std::string("patchbuild ") + command + " --"), std::string::npos) << text;
            EXPECT_NE(text.find("exit status: 0"), std::string::npos) << text;
            EXPECT_EQ(text.find("unknown option"), std::string::npos) << text;
        }
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli({}), 2);
    std::string usage = ::testing::internal::GetCapturedStderr();
    for (const char* part : {"patchbuild build", "patchbuild verify", "patchbuild fingerprint", "exit status: 0",
                             "1 refused", "2 wrong usage", "COMMAND --help"})
        EXPECT_NE(usage.find(part), std::string::npos) << part << " in\n" << usage;
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t, "--out", d, "--quiet"}), 0);
    EXPECT_TRUE(fs::exists(out / "manifest.bin"));
    // --first takes the name with either separator.
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t, "--out", d, "--quiet", "--first",
                   "nativePC/rom_pc/id/title.arc"}), 0);
    EXPECT_EQ(RunCli({"verify", "--game", o, "--patch", d, "--expect", "original", "--quiet"}), 0);
    SampleArchive renamed = originals[kTitle];
    renamed.entries[0].lead[1] ^= 1;
    PutTranslated(kTitle, renamed);
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t, "--out", d, "--quiet"}), 1);
}

// The Linux tool cannot write an installer: asked to, it says how to get one and writes
// nothing (not even the patch files, which the Windows tool would write first).
TEST_F(PatchBuildTest, TheLinuxToolSaysHowToGetAnInstallerAndWritesNothing) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    PutTranslated(kTitle, Translate(originals[kTitle], 2));
    const std::string o = original.string(), t = translated.string(), d = out.string();
    const std::string installer = (out.parent_path() / "setup-new.exe").string();
    EXPECT_EQ(RunCli({"build", "--original", o, "--translated", t, "--out", d, "--template", "setup.exe"}), 2)
        << "--template without --installer";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"build", "--original", o, "--translated", t, "--out", d, "--installer", installer},
          std::vector<std::string>{"installer", "--patch", d, "--out", installer}}) {
        SCOPED_TRACE(args[0]);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCli(args), 1);
        std::string text = ::testing::internal::GetCapturedStderr();
        for (const char* part : {"dist/patchbuild.exe", "scripts/build.sh --patch", "nothing written"})
            EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
        EXPECT_FALSE(fs::exists(out)) << "the patch folder was written";
        EXPECT_FALSE(fs::exists(installer));
    }
}

} // namespace

namespace {

// The rename that puts the files in place fails at the N-th call (counted from 1).
int g_renameCalls = 0, g_failRenameAt = 0;
int CountingRename(const fs::path& from, const fs::path& to) {
    if (++g_renameCalls == g_failRenameAt) {
        errno = EXDEV;
        return -1;
    }
    return RenameFile(from, to);
}

std::map<std::string, Bytes> FolderBytes(const fs::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = ReadFileBytes(e.path());
    return files;
}

// A failure while the four files are put in place, at every step, leaves the previous patch
// exactly as it was and nothing else in the folder.
TEST_F(PatchBuildTest, AFailedCommitLeavesThePreviousSetAsItWas) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    PutOriginal(kDemo, MakeSample(5, 2, "demo"));
    PutTranslated(kTitle, Translate(originals[kTitle], 3));
    BuildReport first;
    ASSERT_TRUE(Build(&first));
    const std::map<std::string, Bytes> before = FolderBytes(out);
    ASSERT_EQ(before.size(), 4u);

    PutTranslated(kDemo, Translate(originals[kDemo], 4)); // the next build differs in every file
    // Two renames per file (the previous one aside, the new one in): eight in all.
    for (int failAt = 1; failAt <= 8; ++failAt) {
        SCOPED_TRACE(failAt);
        g_renameCalls = 0;
        g_failRenameAt = failAt;
        g_outputRename = CountingRename;
        BuildReport report;
        EXPECT_FALSE(Build(&report));
        g_outputRename = RenameFile;
        ASSERT_EQ(report.problems.size(), 1u);
        EXPECT_NE(report.problems[0].find("cannot put in place"), std::string::npos) << report.problems[0];
        EXPECT_TRUE(FolderBytes(out) == before) << "the previous set changed or something was left beside it";
    }
    g_failRenameAt = 0;
    BuildReport last;
    ASSERT_TRUE(Build(&last));
    EXPECT_EQ(FolderBytes(out).size(), 4u);
    EXPECT_FALSE(FolderBytes(out) == before);
}

// An --out that cannot take the files is refused first, before the archives are compared
// (their problems would otherwise come first), naming the folder, not an internal file.
TEST_F(PatchBuildTest, AnUnusableOutIsRefusedBeforeAnyWork) {
    PutOriginal(kTitle, MakeSample(6, 1, "title"));
    PutTranslated(kTitle, Translate(originals[kTitle], 3));
    WriteFileBytes(DiskPathOf(translated, kMsg), BuildSample(MakeSample(3, 9, "m"))); // no original
    struct Case {
        const char* what;
        void (*prepare)(const fs::path& out);
        const char* mustMention;
    };
    const Case cases[] = {
        {"--out is a file", [](const fs::path& o) { WriteFileBytes(o, {1}); }, "names a file, not a folder"},
        {"--out lies below a file", [](const fs::path& o) { WriteFileBytes(o, {1}); }, "cannot create the folder"},
        {"a patch file's name is taken by a folder",
         [](const fs::path& o) { fs::create_directories(o / "manifest.bin"); }, "in the way"},
        {"the progress total's name is taken by a folder",
         [](const fs::path& o) { fs::create_directories(o / "progress_total.bin" / "x"); }, "in the way"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root / "outs");
        fs::create_directories(root / "outs");
        fs::path where = root / "outs" / "patch";
        c.prepare(where);
        BuildOptions options;
        options.original = original;
        options.translated = translated;
        options.out = std::string(c.what) == "--out lies below a file" ? where / "below" : where;
        BuildReport report;
        EXPECT_FALSE(BuildPatch(options, &report));
        ASSERT_EQ(report.problems.size(), 1u) << "refused after the comparison";
        EXPECT_NE(report.problems[0].find(c.mustMention), std::string::npos) << report.problems[0];
        EXPECT_EQ(report.problems[0].find(".part"), std::string::npos) << report.problems[0];
    }
}

// The total the generator's full-size facts give, computed as patchbuild computes it for a
// patch (from each original table and its records, as the installer's rewrite lays the
// archive out): exactly the installer's fixed total, so the full-size patch's bar is as before.
TEST(PatchBuildProgressTotal, TheGeneratorsFullSizeFactsGiveTheFixedTotal) {
    GameLayout layout = BuildGameLayout(1);
    ASSERT_TRUE(ScaleToFullFacts(layout));
    uint32_t units = 0;
    for (size_t p = 0; p < layout.archives.size(); ++p) {
        const GenArchive& a = layout.archives[p];
        Bytes headerAndTable = OriginalHeaderAndTable(layout, p);
        ArchiveImage image;
        std::copy(headerAndTable.begin(), headerAndTable.begin() + 8, image.header);
        image.table.assign(headerAndTable.begin() + 8, headerAndTable.end());
        image.fileSize = a.originalSize;
        std::vector<EntryPatch> records;
        for (const GenRecord& r : a.records) records.push_back({r.entryIndex, r.sizeWord, r.length, 0, nullptr});
        uint32_t size = 0;
        ASSERT_TRUE(PatchedArchiveSize(image, records, &size)) << a.name;
        EXPECT_EQ(size, a.expectedSize) << a.name;
        units = AddArchiveUnits(units, size);
    }
    EXPECT_EQ(units, 18077230u);
    EXPECT_EQ(units, kProgressExpectedUnits);
}

} // namespace

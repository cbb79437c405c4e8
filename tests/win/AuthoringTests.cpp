// The authoring round trip on the Windows side: patchbuild's manifest, payload and
// fingerprints (tests/native/AuthorData.cpp made them from a generated game folder and a few
// translated archives) loaded as the installer's entry loads its resources, and the patching
// run applied to a copy of the game folder. Also the installer's fingerprint check: another
// release's archive is refused and left untouched, an already patched one accepted.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <map>

#include "ArchiveSamples.h"
#include "TestSupport.h"
#include "archive/FingerprintCheck.h"
#include "core/Fingerprints.h"
#include "core/PatchManifest.h"
#include "setup/Globals.h"
#include "setup/PatchRun.h"

namespace {

constexpr uint32_t kBit30 = 0x40000000;

// KSTR_AUTHORDATA names the folder that authordata wrote.
std::wstring DataDir() { return FolderFromEnvironment(L"KSTR_AUTHORDATA"); }

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct Roles {
    std::vector<std::string> translated;
    std::string unchanged, other;
};

Roles ReadRoles(const std::wstring& data) {
    Roles roles;
    std::ifstream in(Narrow(data + L"authordata.txt"));
    std::string role, name;
    while (in >> role >> name) {
        if (role == "translated") roles.translated.push_back(name);
        if (role == "unchanged") roles.unchanged = name;
        if (role == "other") roles.other = name;
    }
    return roles;
}

SampleArchive ParseFile(const std::wstring& path) {
    Bytes bytes;
    SampleArchive a;
    EXPECT_TRUE(ReadWholeFile(path, &bytes)) << Narrow(path);
    EXPECT_TRUE(ParseSample(bytes, &a)) << Narrow(path);
    return a;
}

// manifest.bin, payload.bin and fingerprints.bin loaded as WinMain loads its resources.
struct AuthoredPatch : PatchFiles {
    explicit AuthoredPatch(const std::wstring& data, bool withFingerprints = true)
        : PatchFiles(data + L"patch\\", withFingerprints) {
        EXPECT_EQ(load, PatchLoad::Loaded);
    }
    PatchRunResult Run(unsigned char* failed = nullptr) { return PatchAllArchives(loaded, failed); }
    int IndexOf(const std::string& name) const { return PatchFiles::IndexOf(Wide(name)); }
    const ArchivePatchSet& Set(const std::string& name) const { return loaded.sets[IndexOf(name)]; }
};

class AuthoringTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = DataDir();
        ASSERT_FALSE(data.empty()) << "KSTR_AUTHORDATA is not set";
        roles = ReadRoles(data);
        ASSERT_EQ(roles.translated.size(), 3u);
        ASSERT_TRUE(CopyTree(data + L"game", scratch.Path() + L"game"));
        std::wstring dir = scratch.Path() + L"game\\";
        lstrcpynW(g_gameDir, dir.c_str(), kPathUnits);
    }
    std::wstring InGame(const std::string& name) const { return std::wstring(g_gameDir) + Wide(name); }
    bool SameAsFile(const std::wstring& a, const std::wstring& b) const {
        Bytes x, y;
        return ReadWholeFile(a, &x) && ReadWholeFile(b, &y) && x == y;
    }

    // Every entry of each translated archive, read back from the patched game folder: the
    // same leading 68 bytes, stored length and bytes as the translated entry, and the
    // translated size word with bit 30 set where the entry was replaced (the rewrite forces
    // it), the original word where it was not. The patched archive's layout is the
    // installer's own (packed in table order), not the translated file's.
    void ExpectTranslatedEntries() {
        for (const std::string& name : roles.translated) {
            SCOPED_TRACE(name);
            SampleArchive got = ParseFile(InGame(name));
            SampleArchive want = ParseFile(data + L"translated\\" + Wide(name));
            SampleArchive was = ParseFile(data + L"game\\" + Wide(name));
            ASSERT_EQ(got.entries.size(), want.entries.size());
            EXPECT_TRUE(std::equal(got.headerLead, got.headerLead + 6, want.headerLead));
            for (size_t i = 0; i < want.entries.size(); ++i) {
                bool replaced = want.entries[i].data != was.entries[i].data ||
                                want.entries[i].sizeWord != was.entries[i].sizeWord;
                EXPECT_TRUE(got.entries[i].lead == want.entries[i].lead) << "entry " << i;
                EXPECT_TRUE(got.entries[i].data == want.entries[i].data) << "entry " << i;
                EXPECT_EQ(got.entries[i].sizeWord, replaced ? want.entries[i].sizeWord | kBit30 : was.entries[i].sizeWord)
                    << "entry " << i;
            }
        }
        EXPECT_TRUE(FindTempFiles(scratch.Path()).empty()) << "temporary files left behind";
    }

    std::wstring data;
    Roles roles;
    ScratchDir scratch;
    MessageRecorder messages;
};

TEST_F(AuthoringTest, RoundTripGivesTheTranslatedEntriesAndRepeatsCleanly) {
    AuthoredPatch patch(data);
    ASSERT_EQ(patch.loaded.setCount, 3u);
    PatchRunResult result = patch.Run();
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_TRUE(messages.Messages().empty());
    ExpectTranslatedEntries();
    // Archives the patch does not name are untouched, the unchanged translation among them.
    EXPECT_EQ(patch.IndexOf(roles.unchanged), -1);
    EXPECT_TRUE(SameAsFile(InGame(roles.unchanged), data + L"game\\" + Wide(roles.unchanged)));

    // An already patched folder matches its fingerprints and comes out the same.
    std::map<std::string, Bytes> first;
    for (const std::string& name : roles.translated) ReadWholeFile(InGame(name), &first[name]);
    PatchRunResult again = patch.Run();
    EXPECT_EQ(again.failedCount, 0u);
    EXPECT_TRUE(messages.Messages().empty());
    for (const std::string& name : roles.translated) {
        Bytes now;
        ASSERT_TRUE(ReadWholeFile(InGame(name), &now));
        EXPECT_TRUE(now == first[name]) << name;
    }
}

TEST_F(AuthoringTest, AnotherReleasesArchiveIsRefusedByNameAndLeftUntouched) {
    const std::wstring other = data + L"other\\" + Wide(roles.other);
    ASSERT_TRUE(CopyFileW(other.c_str(), InGame(roles.other).c_str(), FALSE));
    AuthoredPatch patch(data);
    std::vector<unsigned char> failed(patch.loaded.setCount, 0);
    PatchRunResult result = patch.Run(failed.data());
    EXPECT_EQ(result.failedCount, 1u);
    ASSERT_GE(patch.IndexOf(roles.other), 0);
    EXPECT_EQ(failed[size_t(patch.IndexOf(roles.other))], 1);
    ASSERT_EQ(messages.Messages().size(), 1u);
    const RecordedMessage& m = messages.Messages()[0];
    EXPECT_EQ(m.caption, L"错误");
    EXPECT_NE(m.text.find(L"游戏版本不符"), std::wstring::npos);
    EXPECT_NE(m.text.find(Wide(roles.other)), std::wstring::npos) << "the message names the archive";
    EXPECT_TRUE(SameAsFile(InGame(roles.other), other)) << "the refused archive was changed";
    EXPECT_TRUE(FindTempFiles(scratch.Path()).empty());
    // The other archives were patched.
    for (const std::string& name : roles.translated) {
        if (name == roles.other) continue;
        SampleArchive got = ParseFile(InGame(name)), want = ParseFile(data + L"translated\\" + Wide(name));
        for (size_t i = 0; i < want.entries.size(); ++i) EXPECT_TRUE(got.entries[i].data == want.entries[i].data);
    }
}

// A build without fingerprints checks nothing: the other release's archive is rewritten by
// index, which is what the fingerprints exist to prevent.
TEST_F(AuthoringTest, WithoutFingerprintsNothingIsChecked) {
    const std::wstring other = data + L"other\\" + Wide(roles.other);
    ASSERT_TRUE(CopyFileW(other.c_str(), InGame(roles.other).c_str(), FALSE));
    AuthoredPatch patch(data, false);
    ASSERT_EQ(patch.loaded.fingerprints.count, 0u);
    EXPECT_EQ(patch.Run().failedCount, 0u);
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_FALSE(SameAsFile(InGame(roles.other), other));
}

// A rewrite that stopped after truncating the archive: the archive's table is cut short, so
// the check reads the intact copy beside it, and the run completes the rewrite from it. The
// same with another release's copy refuses the archive and touches neither file.
TEST_F(AuthoringTest, AnInterruptedRewriteIsJudgedByItsTemporaryCopy) {
    const std::string name = roles.translated[0];
    std::wstring path = InGame(name), temp = path.substr(0, path.size() - 3) + L"tmp";
    Bytes original;
    ASSERT_TRUE(ReadWholeFile(path, &original));
    ASSERT_TRUE(WriteWholeFile(temp, original));
    ASSERT_TRUE(WriteWholeFile(path, Bytes(original.begin(), original.begin() + 8 + 80)));
    {
        AuthoredPatch patch(data);
        EXPECT_EQ(patch.Run().failedCount, 0u);
        EXPECT_TRUE(messages.Messages().empty());
        ExpectTranslatedEntries();
    }

    Bytes other, cut(original.begin(), original.begin() + 8 + 80);
    ASSERT_TRUE(ReadWholeFile(data + L"other\\" + Wide(roles.other), &other));
    ASSERT_EQ(roles.other, name);
    ASSERT_TRUE(WriteWholeFile(temp, other));
    ASSERT_TRUE(WriteWholeFile(path, cut));
    AuthoredPatch patch(data);
    EXPECT_EQ(patch.Run().failedCount, 1u);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].text.find(L"游戏版本不符"), std::wstring::npos);
    Bytes afterArchive, afterTemp;
    ASSERT_TRUE(ReadWholeFile(path, &afterArchive));
    ASSERT_TRUE(ReadWholeFile(temp, &afterTemp));
    EXPECT_TRUE(afterArchive == cut);
    EXPECT_TRUE(afterTemp == other);
}

TEST_F(AuthoringTest, ComparisonReadsOnlyWhatItNeeds) {
    AuthoredPatch patch(data);
    const std::string name = roles.translated[1];
    ASSERT_GE(patch.IndexOf(name), 0);
    const ArchiveFingerprint* f = patch.Set(name).fingerprint;
    ASSERT_NE(f, nullptr);
    std::wstring path = InGame(name);
    {
        // The header and the table, in two reads from the start: the file's tail is looked
        // at only where the table could reach into a copy's mark (a second run would pay a
        // read at the far end of every archive).
        FaultPlan count(IoOp::Copy, -1);
        EXPECT_EQ(CompareArchiveFingerprint(path.c_str(), *f), FingerprintVerdict::Matches);
        EXPECT_EQ(FaultPlan::Count(IoOp::Read), 2);
        EXPECT_EQ(FaultPlan::Count(IoOp::Seek), 0);
    }
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, &bytes));

    struct Case {
        const char* what;
        size_t keep;           // bytes of the archive kept (0: all)
        size_t flip;           // byte to change (0: none)
        FingerprintVerdict verdict;
        bool marked = false;   // what is kept, as a temporary copy with its mark after it
    };
    const size_t tableEnd = 8 + 80 * f->entryCount;
    const Case cases[] = {
        {"data cut short: the table is all that is read", tableEnd, 0, FingerprintVerdict::Matches},
        {"table cut short", tableEnd - 1, 0, FingerprintVerdict::Unreadable},
        {"header only, entry count changed", 8, 6, FingerprintVerdict::Differs},
        {"header only, a byte before the entry count changed", 8, 2, FingerprintVerdict::Differs},
        {"last entry's leading bytes", 0, tableEnd - 80 + 67, FingerprintVerdict::Differs},
        {"first entry's stored length", 0, 8 + 68, FingerprintVerdict::Matches},
        {"a size word", 0, 8 + 80 + 72, FingerprintVerdict::Matches},
        {"a copy cut after its table", tableEnd, 0, FingerprintVerdict::Matches, true},
        {"a copy cut 16 bytes after its table", tableEnd + 16, 0, FingerprintVerdict::Matches, true},
        // The mark would stand in for the table's last 16 bytes, one entry's leading bytes
        // among them: it is no part of the table.
        {"a copy's table cut short by 16", tableEnd - 16, 0, FingerprintVerdict::Unreadable, true},
        {"a copy's table cut short by 1", tableEnd - 1, 0, FingerprintVerdict::Unreadable, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes changed(bytes.begin(), c.keep ? bytes.begin() + c.keep : bytes.end());
        if (c.flip) changed[c.flip] ^= 1;
        ASSERT_TRUE(WriteWholeFile(path, c.marked ? MarkedCopy(changed) : changed));
        EXPECT_EQ(CompareArchiveFingerprint(path.c_str(), *f), c.verdict);
    }
    DeleteFileW(path.c_str());
    EXPECT_EQ(CompareArchiveFingerprint(path.c_str(), *f), FingerprintVerdict::Unreadable);
    EXPECT_TRUE(ArchiveMayBeRewritten(path.c_str(), patch.Set(name).fingerprint))
        << "a missing archive is left to the patcher, which reports it";
}

} // namespace

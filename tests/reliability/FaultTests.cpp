// Faults of the file system during a patching run: no space left (on a real small file
// system), a read-only archive, an archive held open by another process, an archive that a
// folder has replaced. Each must leave the archive untouched or recoverable by a second run,
// be reported to the user, and keep the closing message from claiming success.
#include <gtest/gtest.h>

#include <cstdio>

#include "ReliabilitySupport.h"
#include "archive/PatchArchive.h"
#include "setup/PatchRun.h"
#include "setup/ClosingMessage.h"

namespace {

const wchar_t kName[] = L"nativePC\\rom\\id\\title.arc";
const wchar_t kTempName[] = L"nativePC\\rom\\id\\title.tmp";

// Three entries of about 1 MB in all; the patch grows the middle one by 500,000 bytes.
FixtureArchive GrowingArchive() {
    FixtureArchive a;
    a.entries = {{Pattern(300000, 31), 0x100}, {Pattern(400000, 32), 0x200}, {Pattern(300000, 33), 0x300}};
    a.gapBeforeData = 100;
    return a;
}
std::vector<FixtureRecord> GrowingPatch() { return {{1, 0x0004002C, Pattern(900000, 34)}}; }
constexpr uint64_t kGrowth = 500000;

struct RunOutcome {
    PatchRunResult result;
    std::vector<RecordedMessage> messages;
    std::wstring closingCaption;
};

// The patching run over a small game folder, followed by the installer's closing message.
RunOutcome RunAll(const std::wstring& folder, const std::vector<MiniArchive>& archives) {
    RunOutcome out{};
    MessageRecorder recorder;
    {
        MiniRun run(folder, archives);
        out.result = PatchAllArchives(run.Patch(), nullptr);
    }
    out.messages = recorder.Messages();
    for (const auto& m : out.messages) std::printf("  message [%s] %s\n", Narrow(m.caption).c_str(), Narrow(m.text).c_str());
    recorder.Clear();
    ShowClosingMessage(InstallOutcome{true, out.result});
    if (!recorder.Messages().empty()) out.closingCaption = recorder.Messages().back().caption;
    return out;
}

void ExpectNotClaimedAsSuccess(const RunOutcome& run, uint32_t failed, const char* what) {
    EXPECT_EQ(run.result.failedCount, failed) << what;
    EXPECT_GE(run.messages.size(), failed) << what << ": a failure went unreported";
    if (failed) EXPECT_NE(run.closingCaption, L"成功安装") << what << ": the closing message claims success";
    else EXPECT_EQ(run.closingCaption, L"成功安装") << what;
}

Bytes ReadBytes(const std::wstring& path) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(path, &b)) << Narrow(path);
    return b;
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        game = scratch.Path();
        archivePath = game + kName;
        tempPath = game + kTempName;
        original = BuildArchive(GrowingArchive());
        expected = ExpectedArchive(GrowingArchive(), GrowingPatch());
        MakeParentFolders(archivePath);
        ASSERT_TRUE(WriteWholeFile(archivePath, original));
    }
    std::vector<MiniArchive> OneArchive() const { return {{kName, original, GrowingPatch()}}; }

    ScratchDir scratch;
    std::wstring game, archivePath, tempPath;
    Bytes original, expected;
};

// ---- No space left, on a real small file system (a tmpfs of 8 MiB mounted by the fixture).

class DiskFullTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = SmallFileSystem();
        if (root.empty())
            GTEST_SKIP() << "no small file system mounted (KSTR_SMALLFS); the I/O seam tests in "
                            "PatchArchiveTests cover a failed copy and failed writes instead";
        game = root + L"game-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        RemoveTree(game.substr(0, game.size() - 1));
        archivePath = game + kName;
        tempPath = game + kTempName;
        filler = root + L"filler-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
        original = BuildArchive(GrowingArchive());
        expected = ExpectedArchive(GrowingArchive(), GrowingPatch());
        MakeParentFolders(archivePath);
        ASSERT_TRUE(WriteWholeFile(archivePath, original));
    }
    void TearDown() override {
        if (root.empty()) return;
        DeleteFileW(filler.c_str());
        RemoveTree(game.substr(0, game.size() - 1));
    }

    std::wstring root, game, archivePath, tempPath, filler;
    Bytes original, expected;
};

TEST_F(DiskFullTest, NoSpaceForTheCopyLeavesTheArchiveUntouched) {
    ASSERT_TRUE(FillVolumeLeaving(filler, original.size() / 2));
    RunOutcome run = RunAll(game, {{kName, original, GrowingPatch()}});
    ExpectNotClaimedAsSuccess(run, 1, "disk full during the copy");
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].caption, L"无法打开");
    EXPECT_EQ(run.messages[0].text, tempPath);
    EXPECT_TRUE(ReadBytes(archivePath) == original) << "the archive was changed";
    EXPECT_FALSE(Exists(tempPath)) << "a partial copy was left behind";
    EXPECT_FALSE(Exists(game + L"nativePC\\rom\\id\\title.tm~")) << "a partial staging copy was left behind";

    // Space made, the second run patches it.
    ASSERT_TRUE(DeleteFileW(filler.c_str()));
    RunOutcome again = RunAll(game, {{kName, original, GrowingPatch()}});
    ExpectNotClaimedAsSuccess(again, 0, "second run");
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
    EXPECT_FALSE(Exists(tempPath));
}

TEST_F(DiskFullTest, NoSpaceDuringTheRewriteIsCompletedByTheSecondRun) {
    // Room for the copy, but the grown archive does not fit beside it.
    ASSERT_TRUE(FillVolumeLeaving(filler, original.size() + kGrowth / 2));
    RunOutcome run = RunAll(game, {{kName, original, GrowingPatch()}});
    ExpectNotClaimedAsSuccess(run, 1, "disk full during the rewrite");
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].caption, L"错误");
    EXPECT_NE(run.messages[0].text.find(tempPath), std::wstring::npos) << "the message names the kept copy";
    ASSERT_TRUE(Exists(tempPath)) << "the only intact source was deleted";
    EXPECT_TRUE(ReadBytes(tempPath) == MarkedCopy(original));
    EXPECT_FALSE(ReadBytes(archivePath) == expected);

    // A second run while the disk is still full loses nothing either.
    RunOutcome full = RunAll(game, {{kName, original, GrowingPatch()}});
    ExpectNotClaimedAsSuccess(full, 1, "second run, disk still full");
    ASSERT_TRUE(Exists(tempPath));
    EXPECT_TRUE(ReadBytes(tempPath) == MarkedCopy(original));

    ASSERT_TRUE(DeleteFileW(filler.c_str()));
    RunOutcome again = RunAll(game, {{kName, original, GrowingPatch()}});
    ExpectNotClaimedAsSuccess(again, 0, "run after space was made");
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
    EXPECT_FALSE(Exists(tempPath));
}

// ---- Read-only archive.

TEST_F(FaultTest, ReadOnlyArchiveIsReportedAndLeftAlone) {
    ASSERT_TRUE(SetFileAttributesW(archivePath.c_str(), FILE_ATTRIBUTE_READONLY));
    RunOutcome run = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(run, 1, "read-only archive");
    EXPECT_TRUE(ReadBytes(archivePath) == original);
    EXPECT_NE(GetFileAttributesW(archivePath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(Exists(tempPath)) << "a copy of the read-only archive was left behind";

    // The same again (nothing left over blocks it), then writable: patched.
    RunOutcome second = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(second, 1, "read-only archive, second run");
    EXPECT_FALSE(Exists(tempPath));
    ASSERT_TRUE(SetFileAttributesW(archivePath.c_str(), FILE_ATTRIBUTE_NORMAL));
    RunOutcome writable = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(writable, 0, "writable again");
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
}

// ---- Held open by another process, as a virus scanner does for a moment.

TEST_F(FaultTest, ArchiveHeldForAMomentIsWaitedFor) {
    const DWORD shares[] = {0, FILE_SHARE_READ};
    for (DWORD share : shares) {
        ASSERT_TRUE(WriteWholeFile(archivePath, original));
        FileHolder holder(archivePath, share, 500);
        ASSERT_TRUE(holder.Holding());
        ULONGLONG start = GetTickCount64();
        RunOutcome run = RunAll(game, OneArchive());
        ULONGLONG elapsed = GetTickCount64() - start;
        ExpectNotClaimedAsSuccess(run, 0, share ? "held with read sharing" : "held without sharing");
        EXPECT_TRUE(ReadBytes(archivePath) == expected) << "share " << share;
        EXPECT_GE(elapsed, 200u) << "the run did not wait for the holder (share " << share << ")";
        EXPECT_FALSE(Exists(tempPath));
    }
}

TEST_F(FaultTest, ArchiveHeldForLongIsReportedAfterABoundedWait) {
    const DWORD shares[] = {0, FILE_SHARE_READ};
    for (DWORD share : shares) {
        const char* what = share ? "held with read sharing" : "held without sharing";
        FileHolder holder(archivePath, share, 60000);
        ASSERT_TRUE(holder.Holding());
        ULONGLONG start = GetTickCount64();
        RunOutcome run = RunAll(game, OneArchive());
        ULONGLONG elapsed = GetTickCount64() - start;
        ExpectNotClaimedAsSuccess(run, 1, what);
        ASSERT_EQ(run.messages.size(), 1u) << what;
        EXPECT_EQ(run.messages[0].caption, L"无法打开") << what;
        // A short back-off (3.1 s in all), not a hang and not an instant give-up.
        EXPECT_GE(elapsed, 1000u) << what << ": gave up without retrying";
        EXPECT_LT(elapsed, 20000u) << what << ": the wait is not bounded";
        holder.Stop();
        EXPECT_TRUE(ReadBytes(archivePath) == original) << what;
        EXPECT_FALSE(Exists(tempPath)) << what;
    }
    RunOutcome released = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(released, 0, "released");
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
}

// A virus scanner also opens files just written: the temporary copy may be held at the
// moment it is to be deleted. The hook starts the holder right before that delete.
std::wstring g_holdAtDelete;
DWORD g_holdAtDeleteMs = 0;
FileHolder* g_deleteHolder = nullptr;
bool HoldCopyBeforeDelete(IoOp op) {
    if (op == IoOp::Delete && !g_deleteHolder && Exists(g_holdAtDelete))
        g_deleteHolder = new FileHolder(g_holdAtDelete, FILE_SHARE_READ, g_holdAtDeleteMs);
    return false;
}

TEST_F(FaultTest, CopyHeldAtItsDeletionIsWaitedFor) {
    g_holdAtDelete = tempPath;
    g_holdAtDeleteMs = 500;
    g_ioFaultHook = HoldCopyBeforeDelete;
    RunOutcome run = RunAll(game, OneArchive());
    g_ioFaultHook = nullptr;
    ASSERT_NE(g_deleteHolder, nullptr);
    EXPECT_TRUE(g_deleteHolder->Holding());
    delete g_deleteHolder;
    g_deleteHolder = nullptr;
    ExpectNotClaimedAsSuccess(run, 0, "copy held at its deletion");
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
    EXPECT_FALSE(Exists(tempPath)) << "the temporary copy was left behind";
}

// ---- A folder where the archive (or its temporary file) should be.

TEST_F(FaultTest, FolderInPlaceOfTheArchiveIsReportedAndLeftAlone) {
    ASSERT_TRUE(DeleteFileW(archivePath.c_str()));
    ASSERT_TRUE(CreateDirectoryW(archivePath.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(archivePath + L"\\inside.bin", Pattern(1000, 5)));
    RunOutcome run = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(run, 1, "folder in place of the archive");
    EXPECT_NE(GetFileAttributesW(archivePath.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(ReadBytes(archivePath + L"\\inside.bin") == Pattern(1000, 5));
    EXPECT_FALSE(Exists(tempPath));
}

TEST_F(FaultTest, FolderInPlaceOfTheTemporaryFileIsReportedAndLeftAlone) {
    ASSERT_TRUE(CreateDirectoryW(tempPath.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(tempPath + L"\\inside.bin", Pattern(1000, 6)));
    RunOutcome run = RunAll(game, OneArchive());
    ExpectNotClaimedAsSuccess(run, 1, "folder in place of the temporary file");
    EXPECT_TRUE(ReadBytes(archivePath) == original);
    EXPECT_TRUE(ReadBytes(tempPath + L"\\inside.bin") == Pattern(1000, 6));
}

// ---- An archive shorter than its table says (a cut-off download, a bad sector).

// Refused, left as it is and named, and the run ends 安装未完成, however few bytes are missing:
// the 16-byte mark at the end of its copy never stands in for them, neither in a normal run
// nor when a marked copy of the short archive lies beside it. Once the archive is whole
// again, the stale copy is removed and the archive patched.
TEST_F(FaultTest, ArchiveShorterThanItsTableIsRefusedAndNamed) {
    // GrowingArchive is packed: its last entry's data ends the file.
    const struct {
        const char* what;
        size_t shortBy;
        bool markedCopyBeside;
    } cases[] = {
        {"short by 1", 1, false},
        {"short by 16", 16, false},
        {"short by 17", 17, false},
        {"short by 1, beside a marked copy of it", 1, true},
        {"short by 16, beside a marked copy of it", 16, true},
        {"short by 17, beside a marked copy of it", 17, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes cut(original.begin(), original.end() - c.shortBy);
        ASSERT_TRUE(WriteWholeFile(archivePath, cut));
        if (c.markedCopyBeside) ASSERT_TRUE(WriteWholeFile(tempPath, MarkedCopy(cut)));

        RunOutcome run = RunAll(game, OneArchive());
        ExpectNotClaimedAsSuccess(run, 1, c.what);
#ifdef KSTR_HAVE_CLOSING_MESSAGE
        EXPECT_EQ(run.closingCaption, L"安装未完成");
#endif
        // Every case runs, so that each one that fails says so.
        EXPECT_EQ(run.messages.size(), 1u);
        const RecordedMessage shown = run.messages.empty() ? RecordedMessage{} : run.messages[0];
        EXPECT_EQ(shown.caption, L"错误");
        EXPECT_EQ(shown.text.rfind(archivePath, 0), 0u) << "the message names the archive";
        EXPECT_TRUE(ReadBytes(archivePath) == cut) << "the archive was changed";
        EXPECT_FALSE(Exists(game + L"nativePC\\rom\\id\\title.tm~"));
        if (!c.markedCopyBeside) {
            EXPECT_FALSE(Exists(tempPath)) << "the copy of a refused archive was left behind";
            continue;
        }
        EXPECT_NE(shown.text.find(tempPath), std::wstring::npos) << "the message names the copy";
        EXPECT_TRUE(ReadBytes(tempPath) == MarkedCopy(cut)) << "the copy was changed";

        ASSERT_TRUE(WriteWholeFile(archivePath, original));
        RunOutcome restored = RunAll(game, OneArchive());
        ExpectNotClaimedAsSuccess(restored, 0, "archive restored");
        EXPECT_TRUE(ReadBytes(archivePath) == expected);
        EXPECT_FALSE(Exists(tempPath));
    }
}

// ---- A second run: an archive already in its patched state counts as patched.

TEST_F(FaultTest, ArchivesAlreadyPatchedCountAsPatched) {
    const std::wstring secondName = L"nativePC\\a\\second.arc";
    const Bytes secondOriginal = BuildArchive(TypicalArchive());
    const std::vector<FixtureRecord> secondRecords = {{1, 7, Pattern(10, 1)}};
    const Bytes secondExpected = ExpectedArchive(TypicalArchive(), secondRecords);
    const std::wstring secondPath = game + secondName;
    MakeParentFolders(secondPath);
    ASSERT_TRUE(WriteWholeFile(secondPath, secondOriginal));
    const std::vector<MiniArchive> archives = {OneArchive()[0], {secondName, secondOriginal, secondRecords}};

    RunOutcome first = RunAll(game, archives);
    ExpectNotClaimedAsSuccess(first, 0, "first run");
    EXPECT_EQ(first.result.alreadyPatchedCount, 0u);

    RunOutcome second = RunAll(game, archives);
    ExpectNotClaimedAsSuccess(second, 0, "second run");
    EXPECT_EQ(second.result.alreadyPatchedCount, 2u);
    EXPECT_TRUE(second.messages.empty());

    // One put back to its original, the other already patched and read-only: nothing needs
    // writing to the read-only one, so the run is a success.
    ASSERT_TRUE(WriteWholeFile(archivePath, original));
    ASSERT_TRUE(SetFileAttributesW(secondPath.c_str(), FILE_ATTRIBUTE_READONLY));
    RunOutcome repair = RunAll(game, archives);
    ExpectNotClaimedAsSuccess(repair, 0, "one restored, one read-only and patched");
    EXPECT_EQ(repair.result.alreadyPatchedCount, 1u);
    EXPECT_TRUE(ReadBytes(archivePath) == expected);
    EXPECT_TRUE(ReadBytes(secondPath) == secondExpected);
    EXPECT_NE(GetFileAttributesW(secondPath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ASSERT_TRUE(SetFileAttributesW(secondPath.c_str(), FILE_ATTRIBUTE_NORMAL));

    // Beside a failure, an archive already patched does not make the run a success.
    ASSERT_TRUE(DeleteFileW(archivePath.c_str()));
    RunOutcome missing = RunAll(game, archives);
    ExpectNotClaimedAsSuccess(missing, 1, "one missing, one already patched");
    EXPECT_EQ(missing.result.alreadyPatchedCount, 1u);
    EXPECT_TRUE(FindTempFiles(game).empty());
}

// ---- All of them in one run: the good archives are patched, each bad one counted once.

TEST_F(FaultTest, OneRunWithEveryFaultCountsEachAndPatchesTheRest) {
    const Bytes other = BuildArchive(TypicalArchive());
    std::vector<MiniArchive> archives = {
        {L"nativePC\\a\\good1.arc", other, {{1, 7, Pattern(10, 1)}}},
        {L"nativePC\\a\\readonly.arc", other, {{1, 7, Pattern(10, 2)}}},
        {L"nativePC\\a\\folder.arc", other, {}},
        {L"nativePC\\a\\missing.arc", other, {}},
        {L"nativePC\\a\\held.arc", other, {}},
        {L"nativePC\\a\\good2.arc", other, {{0, 9, Pattern(20, 3)}}},
    };
    for (const auto& a : archives) {
        MakeParentFolders(game + a.name);
        ASSERT_TRUE(WriteWholeFile(game + a.name, a.bytes));
    }
    SetFileAttributesW((game + archives[1].name).c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFileW((game + archives[2].name).c_str());
    CreateDirectoryW((game + archives[2].name).c_str(), nullptr);
    DeleteFileW((game + archives[3].name).c_str());
    FileHolder holder(game + archives[4].name, 0, 60000);
    ASSERT_TRUE(holder.Holding());

    RunOutcome run = RunAll(game, archives);
    holder.Stop();
    ExpectNotClaimedAsSuccess(run, 4, "every fault in one run");
    EXPECT_EQ(run.messages.size(), 4u);
    EXPECT_TRUE(ReadBytes(game + archives[0].name) == ExpectedArchive(TypicalArchive(), archives[0].records));
    EXPECT_TRUE(ReadBytes(game + archives[5].name) == ExpectedArchive(TypicalArchive(), archives[5].records));
    EXPECT_TRUE(ReadBytes(game + archives[1].name) == other);
    EXPECT_TRUE(ReadBytes(game + archives[4].name) == other);
    EXPECT_TRUE(FindTempFiles(game).empty());
}

} // namespace

// The Win32 patcher on hand-built archives: byte-exact rewrites, archives that must be left
// untouched, and failures after truncation that the next run completes.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/ArchiveFile.h"
#include "archive/PatchArchive.h"
#include "archive/Streaming.h"
#include "win/HeapBuffer.h"
#include "win/WinFile.h"
#include "setup/ArchiveReport.h"

namespace {

class PatchArchiveTest : public ArchiveInScratchTest {};

TEST_F(PatchArchiveTest, RewritesEntriesAndPacksDataInTableOrder) {
    FixtureArchive a = TypicalArchive();
    ASSERT_TRUE(WriteWholeFile(archive, BuildArchive(a)));
    FixturePatch patch = TypicalPatch();
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == ExpectedArchive(a, patch.records));
    EXPECT_FALSE(Exists(temp)) << "the temporary copy is deleted after a completed rewrite";
    EXPECT_TRUE(messages.Messages().empty());

    // A second run over the patched archive gives the same bytes.
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == ExpectedArchive(a, patch.records));
}

TEST_F(PatchArchiveTest, EmptyRecordListStillRepacks) {
    FixtureArchive a = TypicalArchive();
    ASSERT_TRUE(WriteWholeFile(archive, BuildArchive(a)));
    FixturePatch none({});
    EXPECT_EQ(none.Apply(archive), 1);
    Bytes out = Read(archive);
    EXPECT_TRUE(out == ExpectedArchive(a, {}));
    EXPECT_LT(out.size(), BuildArchive(a).size()) << "gaps and trailing bytes are gone";
}

// Archives the patcher cannot rewrite safely are reported and left byte for byte as they were.
TEST_F(PatchArchiveTest, UnrecognisedArchivesAreReportedAndLeftUntouched) {
    Bytes good = BuildArchive(TypicalArchive());
    auto withU32 = [&](size_t at, uint32_t v) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
        return b;
    };
    Bytes noEntries = good;
    noEntries[6] = noEntries[7] = 0;
    Bytes hugeCount = good;
    hugeCount[6] = hugeCount[7] = 0xFF;
    // Packed: the last entry's data ends the file, so a file cut short cuts that entry. Its
    // copy carries a 16-byte mark after it, which must not pass for the missing bytes.
    const Bytes packed = ExpectedArchive(TypicalArchive(), {});
    auto shortBy = [&](size_t n) { return Bytes(packed.begin(), packed.end() - n); };
    const struct {
        const char* what;
        Bytes bytes;
        std::vector<FixtureRecord> records;
    } cases[] = {
        {"zero-length file", {}, {}},
        {"truncated header", Bytes(good.begin(), good.begin() + 5), {}},
        {"entry count larger than the file holds", hugeCount, {}},
        {"no entries", noEntries, {}},
        {"entry 0 data inside the table", withU32(8 + 76, 8 + 80 * 3), {}},
        {"entry data past the end of the file", withU32(8 + 80 * 5 + 68, 0x01000000), {}},
        {"last entry ends 1 byte past the end", shortBy(1), {}},
        {"last entry ends 16 bytes past the end", shortBy(16), {}},
        {"last entry ends 17 bytes past the end", shortBy(17), {}},
        {"table cut short", Bytes(good.begin(), good.begin() + 8 + 80 * 4), {}},
        {"record index past the table", good, {{6, 0, Pattern(4, 1)}}},
        {"record index twice", good, {{1, 0, Pattern(4, 1)}, {1, 0, Pattern(8, 2)}}},
    };
    for (const auto& c : cases) {
        messages.Clear();
        ASSERT_TRUE(WriteWholeFile(archive, c.bytes));
        EXPECT_EQ(FixturePatch(c.records).Apply(archive), 0) << c.what;
        EXPECT_TRUE(Read(archive) == c.bytes) << c.what << ": archive changed";
        EXPECT_FALSE(Exists(temp)) << c.what << ": temporary copy left behind";
        EXPECT_EQ(messages.Messages().size(), 1u) << c.what << ": not reported";
    }
}

TEST_F(PatchArchiveTest, MissingArchiveReportsTheTemporaryPath) {
    EXPECT_EQ(TypicalPatch().Apply(archive), 0);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].caption, L"无法打开");
    EXPECT_EQ(messages.Messages()[0].text, temp);
    EXPECT_FALSE(Exists(archive));
    EXPECT_FALSE(Exists(temp));
}

// The outcome says what happened and which file the user has to look at; the archive and
// its temporary copy are named whatever happened.
TEST_F(PatchArchiveTest, OutcomeNamesWhatHappenedAndWhichFile) {
    const Bytes original = BuildArchive(TypicalArchive());
    const Bytes cut(original.begin(), original.begin() + 100);
    const struct {
        const char* what;
        Bytes archiveBytes, tempBytes; // empty temp: no leftover; empty archive: none
        bool readOnly;
        IoOp op;
        int nth; // 0: no fault
        ArchiveResult result;
        bool aboutTempPath;
    } cases[] = {
        {"patched", original, {}, false, IoOp::Read, 0, ArchiveResult::Patched, false},
        {"missing archive", {}, {}, false, IoOp::Read, 0, ArchiveResult::CannotOpen, true},
        {"not an archive", Pattern(100, 3), {}, false, IoOp::Read, 0, ArchiveResult::Unrecognised, false},
        {"read-only", original, {}, true, IoOp::Read, 0, ArchiveResult::ReadOnly, false},
        {"archive and copy cut short", cut, cut, false, IoOp::Read, 0, ArchiveResult::BothDamaged, false},
        {"truncation refused", original, {}, false, IoOp::Create, 1, ArchiveResult::CannotOpen, false},
        {"table unreadable", original, {}, false, IoOp::Read, 5, ArchiveResult::CannotOpen, true},
        {"marking the copy fails", original, {}, false, IoOp::Write, 1, ArchiveResult::CannotOpen, true},
        {"naming the copy fails", original, {}, false, IoOp::Rename, 1, ArchiveResult::CannotOpen, true},
        {"write fails after truncation", original, {}, false, IoOp::Write, 2, ArchiveResult::RewriteFailed, false},
    };
    for (const auto& c : cases) {
        DeleteFileW(archive.c_str());
        DeleteFileW(temp.c_str());
        if (!c.archiveBytes.empty()) ASSERT_TRUE(WriteWholeFile(archive, c.archiveBytes));
        if (!c.tempBytes.empty()) ASSERT_TRUE(WriteWholeFile(temp, c.tempBytes));
        if (c.readOnly) ASSERT_TRUE(SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
        ArchiveOutcome outcome;
        {
            FaultPlan fail(c.op, c.nth);
            outcome = TypicalPatch().Outcome(archive);
        }
        SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(outcome.Patched(), c.result == ArchiveResult::Patched) << c.what;
        EXPECT_EQ(std::wstring(outcome.path), archive) << c.what;
        EXPECT_EQ(std::wstring(outcome.tempPath), temp) << c.what;
        EXPECT_EQ(std::wstring(outcome.File()), c.aboutTempPath ? temp : archive) << c.what;
        EXPECT_TRUE(messages.Messages().empty()) << c.what << ": the patcher itself shows nothing";
    }
}

// Each outcome's message box, to the character: the texts users saw before the patcher
// reported outcomes instead of showing them.
TEST(ArchiveReport, EachOutcomeShowsItsMessage) {
    MessageRecorder messages;
    ArchiveOutcome outcome;
    lstrcpyW(outcome.path, L"C:\\g\\a.arc");
    lstrcpyW(outcome.tempPath, L"C:\\g\\a.tmp");
    const std::wstring head = L"C:\\g\\a.arc\n\n";
    const struct {
        ArchiveResult result;
        bool aboutTempPath;
        std::wstring text, caption;
    } cases[] = {
        {ArchiveResult::CannotOpen, true, L"C:\\g\\a.tmp", L"无法打开"},
        {ArchiveResult::CannotOpen, false, L"C:\\g\\a.arc", L"无法打开"},
        {ArchiveResult::Unrecognised, false,
         head + L"无法识别此文件的内容（文件可能已损坏，或与本补丁对应的游戏版本不符），已跳过此文件，未做任何修改。",
         L"错误"},
        {ArchiveResult::ReadOnly, false,
         head + L"此文件为只读文件，无法写入，已跳过，未做任何修改。请取消它的只读属性后重新运行本安装程序。", L"错误"},
        {ArchiveResult::RewriteFailed, false,
         head + L"写入此文件时出错（磁盘空间不足，或文件正被其他程序使用）。此文件的完整副本保留在：\nC:\\g\\a.tmp"
                L"\n\n请排除问题后重新运行本安装程序，即可自动完成此文件的安装。在此之前请勿删除该副本。",
         L"错误"},
        {ArchiveResult::BothDamaged, false,
         head + L"此文件与上次安装留下的临时文件都不完整，无法自动修复：\nC:\\g\\a.tmp"
                L"\n\n请从游戏安装盘或备份中恢复此文件，然后重新运行本安装程序。",
         L"错误"},
        {ArchiveResult::ForeignTemp, false,
         head + L"此文件旁有一个不是本安装程序留下的同名临时文件：\nC:\\g\\a.tmp"
                L"\n\n为免误删该文件，已跳过此文件，未做任何修改。请将该文件移走后重新运行本安装程序。",
         L"错误"},
    };
    for (const auto& c : cases) {
        messages.Clear();
        outcome.result = c.result;
        outcome.aboutTempPath = c.aboutTempPath;
        EXPECT_FALSE(ReportArchiveOutcome(outcome));
        ASSERT_EQ(messages.Messages().size(), 1u);
        EXPECT_EQ(messages.Messages()[0].text, c.text) << Narrow(c.text);
        EXPECT_EQ(messages.Messages()[0].caption, c.caption);
    }
    messages.Clear();
    outcome.result = ArchiveResult::Patched;
    EXPECT_TRUE(ReportArchiveOutcome(outcome));
    EXPECT_TRUE(messages.Messages().empty());
}

// A failure at every write of the rewrite (header, table, fill, each chunk of every entry):
// the archive is reported, its copy kept, and a plain second run completes it.
TEST_F(PatchArchiveTest, FailureAfterTruncationIsCompletedByTheNextRun) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    FixturePatch patch = TypicalPatch();
    const Bytes expected = ExpectedArchive(a, patch.records);

    int writes = 0;
    {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        FaultPlan count(IoOp::Write, -1);
        ASSERT_EQ(patch.Apply(archive), 1);
        writes = FaultPlan::Count(IoOp::Write);
    }
    ASSERT_GT(writes, 8);
    // Write 1 marks the copy, before the truncation (FailuresBeforeTruncation... has it).
    for (int nth = 2; nth <= writes; ++nth) {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        messages.Clear();
        {
            FaultPlan fail(IoOp::Write, nth);
            EXPECT_EQ(patch.Apply(archive), 0) << "write " << nth;
        }
        EXPECT_TRUE(Exists(temp)) << "write " << nth << ": the only intact source was deleted";
        EXPECT_TRUE(Read(temp) == MarkedCopy(original)) << "write " << nth;
        ASSERT_EQ(messages.Messages().size(), 1u) << "write " << nth;
        EXPECT_EQ(messages.Messages()[0].caption, L"错误");

        EXPECT_EQ(patch.Apply(archive), 1) << "write " << nth << ": second run";
        EXPECT_TRUE(Read(archive) == expected) << "write " << nth << ": not completed";
        EXPECT_FALSE(Exists(temp)) << "write " << nth;
    }
}

TEST_F(PatchArchiveTest, FailuresBeforeTruncationLeaveTheArchiveUntouched) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    // Before the copy, the look at whether the archive is already patched opens it (open 1),
    // reads its header and table (reads 1 and 2) and allocates the table and its plan
    // (allocations 1 and 2); AlreadyPatchedTests.cpp fails those.
    const struct {
        IoOp op;
        int nth;
        const char* what;
    } cases[] = {
        {IoOp::Copy, 1, "copy to the temporary file"},
        {IoOp::Open, 2, "opening the copy to mark it"},
        {IoOp::Write, 1, "marking the copy"},
        {IoOp::Flush, 1, "flushing the copy"},
        {IoOp::Rename, 1, "giving the copy the temporary name"},
        {IoOp::Read, 3, "reading the copy's mark"},
        {IoOp::Read, 4, "reading the header"},
        {IoOp::Read, 5, "reading the table"},
        {IoOp::Alloc, 3, "allocating the table"},
        {IoOp::Create, 1, "creating the output"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        messages.Clear();
        {
            FaultPlan fail(c.op, c.nth);
            EXPECT_EQ(TypicalPatch().Apply(archive), 0) << c.what;
        }
        EXPECT_TRUE(Read(archive) == original) << c.what;
        EXPECT_FALSE(Exists(temp)) << c.what;
        EXPECT_FALSE(Exists(staging)) << c.what;
        EXPECT_EQ(messages.Messages().size(), 1u) << c.what;
    }
}

TEST_F(PatchArchiveTest, LeftoverTemporaryFiles) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    FixturePatch patch = TypicalPatch();
    const Bytes expected = ExpectedArchive(a, patch.records);
    const Bytes partialCopy(original.begin(), original.begin() + original.size() / 2);
    const Bytes truncatedRewrite(expected.begin(), expected.begin() + expected.size() - 1000);

    // Intact archive + partial copy from an interrupted copy: the copy is never a source.
    ASSERT_TRUE(WriteWholeFile(archive, original));
    ASSERT_TRUE(WriteWholeFile(temp, partialCopy));
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == expected);
    EXPECT_FALSE(Exists(temp));

    // Intact archive + a stale full copy of something else: ignored, removed.
    ASSERT_TRUE(WriteWholeFile(archive, original));
    ASSERT_TRUE(WriteWholeFile(temp, BuildArchive(FixtureArchive{{{Pattern(10, 9), 1}}})));
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == expected);
    EXPECT_FALSE(Exists(temp));

    // Archive cut off mid-rewrite + intact copy: the copy completes it.
    ASSERT_TRUE(WriteWholeFile(archive, truncatedRewrite));
    ASSERT_TRUE(WriteWholeFile(temp, original));
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == expected);
    EXPECT_FALSE(Exists(temp));

    // Archive emptied by the truncation itself + intact copy.
    ASSERT_TRUE(WriteWholeFile(archive, {}));
    ASSERT_TRUE(WriteWholeFile(temp, original));
    EXPECT_EQ(patch.Apply(archive), 1);
    EXPECT_TRUE(Read(archive) == expected);

    // Both damaged: nothing is touched, the user is told.
    messages.Clear();
    ASSERT_TRUE(WriteWholeFile(archive, truncatedRewrite));
    ASSERT_TRUE(WriteWholeFile(temp, partialCopy));
    EXPECT_EQ(patch.Apply(archive), 0);
    EXPECT_TRUE(Read(archive) == truncatedRewrite);
    EXPECT_TRUE(Read(temp) == partialCopy);
    EXPECT_EQ(messages.Messages().size(), 1u);
}

// What a power cut, an older installer or the user may leave under the temporary and staging
// names. A marked copy only ever gets the temporary name once it is on the disk, so it is the
// source whatever the archive looks like; an unmarked one (an older installer's, which a power
// cut may have left short or zero-filled) is never a source beside an intact archive; a file
// the installer did not make is left alone.
TEST_F(PatchArchiveTest, TemporaryFilesAfterAPowerCut) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    FixturePatch patch = TypicalPatch();
    const Bytes expected = ExpectedArchive(a, patch.records);
    const uint32_t tableEnd = 8 + 80 * static_cast<uint32_t>(a.entries.size());
    auto zeroedFrom = [](Bytes b, size_t from) {
        for (size_t i = from; i < b.size(); ++i) b[i] = 0;
        return b;
    };
    auto zeroedSectors = [](Bytes b, size_t from, size_t to) {
        for (size_t i = from; i < to && i < b.size(); ++i) b[i] = 0;
        return b;
    };
    // The rewrite packs the data, so the last entry of `expected` ends the file.
    auto shortBy = [&](size_t n) { return Bytes(expected.begin(), expected.end() - n); };
    const Bytes none;
    const Bytes userFile = {'m', 'y', ' ', 'n', 'o', 't', 'e', 's', '\r', '\n'};
    const struct {
        const char* what;
        Bytes archiveBytes, tempBytes, stagingBytes; // empty temp or staging: no such file
        ArchiveResult result;
        bool tempKept;
    } cases[] = {
        // This installer's copy: the source, whatever the archive looks like.
        {"rewrite torn: full length, second half zeros", zeroedFrom(expected, expected.size() / 2),
         MarkedCopy(original), none, ArchiveResult::Patched, false},
        {"rewrite torn: its table's first sector zeros", zeroedSectors(expected, 0, 512), MarkedCopy(original),
         none, ArchiveResult::Patched, false},
        {"rewrite lost: archive as before", original, MarkedCopy(original), none, ArchiveResult::Patched, false},
        {"rewrite done, delete lost", expected, MarkedCopy(original), none, ArchiveResult::Patched, false},
        {"archive emptied", Bytes{}, MarkedCopy(original), none, ArchiveResult::Patched, false},
        // A staging leftover never is a source and always goes.
        {"staging leftover, half a copy", original, none, Bytes(original.begin(), original.begin() + 700),
         ArchiveResult::Patched, false},
        {"staging leftover, complete and marked", original, none, MarkedCopy(original), ArchiveResult::Patched,
         false},
        {"staging leftover beside a complete copy", zeroedFrom(expected, tableEnd), MarkedCopy(original),
         zeroedFrom(original, 0), ArchiveResult::Patched, false},
        // An older installer's copy beside the untouched archive: never the source.
        {"older copy cut short", original, Bytes(original.begin(), original.begin() + 300), none,
         ArchiveResult::Patched, false},
        {"older copy zero-filled", original, Bytes(original.size(), 0), none, ArchiveResult::Patched, false},
        {"older copy, table whole, data zeros", original, zeroedFrom(original, tableEnd), none,
         ArchiveResult::Patched, false},
        {"older copy empty", original, Bytes{}, none, ArchiveResult::Patched, false},
        {"older copy, marked but cut short", original, MarkedCopy(Bytes(original.begin(), original.begin() + 900)),
         none, ArchiveResult::Patched, false},
        // An older installer's flushed copy beside the archive it had begun to rewrite.
        {"older copy beside a rewrite cut short", Bytes(expected.begin(), expected.begin() + 600), original, none,
         ArchiveResult::Patched, false},
        // A marked copy of an archive that was already short: the mark is not the missing
        // data, so the copy is no source and both stay as they are.
        {"marked copy of an archive short by 1", shortBy(1), MarkedCopy(shortBy(1)), none,
         ArchiveResult::BothDamaged, true},
        {"marked copy of an archive short by 16", shortBy(16), MarkedCopy(shortBy(16)), none,
         ArchiveResult::BothDamaged, true},
        {"marked copy of an archive short by 17", shortBy(17), MarkedCopy(shortBy(17)), none,
         ArchiveResult::BothDamaged, true},
        {"archive emptied, marked copy of one short by 16", Bytes{}, MarkedCopy(shortBy(16)), none,
         ArchiveResult::BothDamaged, true},
        // Not ours: left alone, and the archive with it.
        {"a file the installer did not make", original, userFile, none, ArchiveResult::ForeignTemp, true},
    };
    for (const auto& c : cases) {
        DeleteFileW(archive.c_str());
        DeleteFileW(temp.c_str());
        DeleteFileW(staging.c_str());
        ASSERT_TRUE(WriteWholeFile(archive, c.archiveBytes)) << c.what;
        // An empty leftover is a case of its own for the temporary name only.
        bool haveTemp = !c.tempBytes.empty() || std::string(c.what) == "older copy empty";
        if (haveTemp) ASSERT_TRUE(WriteWholeFile(temp, c.tempBytes)) << c.what;
        if (!c.stagingBytes.empty()) ASSERT_TRUE(WriteWholeFile(staging, c.stagingBytes)) << c.what;
        ArchiveOutcome outcome = patch.Outcome(archive);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        if (c.result == ArchiveResult::Patched) {
            EXPECT_TRUE(Read(archive) == expected) << c.what << ": wrong archive";
        } else {
            EXPECT_TRUE(Read(archive) == c.archiveBytes) << c.what << ": archive touched";
            EXPECT_EQ(std::wstring(outcome.File()), archive) << c.what;
        }
        EXPECT_EQ(Exists(temp), c.tempKept) << c.what;
        if (c.tempKept) EXPECT_TRUE(Read(temp) == c.tempBytes) << c.what << ": the file was changed";
        EXPECT_FALSE(Exists(staging)) << c.what << ": staging leftover";
    }
}

TEST_F(PatchArchiveTest, ReadOnlyArchiveIsReportedAndLeftAsItWas) {
    const Bytes original = BuildArchive(TypicalArchive());
    ASSERT_TRUE(WriteWholeFile(archive, original));
    ASSERT_TRUE(SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(TypicalPatch().Apply(archive), 0);
    EXPECT_TRUE(Read(archive) == original);
    EXPECT_FALSE(Exists(temp)) << "a read-only archive is refused before it is copied";
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text.rfind(archive, 0), 0u) << "the message names the archive";
    SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(StreamingRoutines, ChunkedCopyAndFillWriteExactBytes) {
    ScratchDir dir;
    const Bytes source = Pattern(3 * 0x100000 + 5, 21);
    ASSERT_TRUE(WriteWholeFile(dir / L"src", source));
    const struct {
        uint32_t offset, length;
    } copies[] = {{0, 0}, {7, 0x100000}, {1, 2 * 0x100000 + 3}, {0, static_cast<uint32_t>(source.size())}};
    HeapBuffer buffer(kCopyBufferSize);
    ASSERT_TRUE(buffer);
    for (const auto& c : copies) {
        HANDLE in = CreateFileW((dir / L"src").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE out = CreateFileW((dir / L"dst").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_TRUE(CopyFileRange(in, c.offset, c.length, out, buffer.Get()));
        ASSERT_TRUE(WriteFill(out, 0x20000 * 2, 0xCD));
        ASSERT_TRUE(WriteFill(out, 3, 0));
        CloseHandle(in);
        CloseHandle(out);
        Bytes got;
        ASSERT_TRUE(ReadWholeFile(dir / L"dst", &got));
        Bytes want(source.begin() + c.offset, source.begin() + c.offset + c.length);
        want.insert(want.end(), 0x20000 * 2, 0xCD);
        want.insert(want.end(), 3, 0);
        EXPECT_TRUE(got == want) << c.offset << "+" << c.length;
    }
}

TEST(TempPath, LastThreeUnitsBecomeTmp) {
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(MakeTempPath(L"C:\\g\\nativePC\\rom_pc\\id\\title.arc", out));
    EXPECT_STREQ(out, L"C:\\g\\nativePC\\rom_pc\\id\\title.tmp");
    ASSERT_TRUE(MakeTempPath(L"abc", out));
    EXPECT_STREQ(out, L"tmp");
    EXPECT_FALSE(MakeTempPath(L"ab", out));
}

TEST(TempPath, StagingNameEndsInTmTilde) {
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(MakeStagingPath(L"C:\\g\\nativePC\\rom_pc\\id\\title.arc", out));
    EXPECT_STREQ(out, L"C:\\g\\nativePC\\rom_pc\\id\\title.tm~");
    EXPECT_FALSE(MakeStagingPath(L"ab", out));
}

// The mark holds the size of what it follows; anything else is no mark.
TEST(CopyMark, FitsOnlyTheSizeItFollows) {
    unsigned char mark[kCopyMarkSize];
    MakeCopyMark(123456, mark);
    EXPECT_TRUE(IsCopyMark(mark, 123456 + kCopyMarkSize));
    EXPECT_FALSE(IsCopyMark(mark, 123455 + kCopyMarkSize));
    EXPECT_FALSE(IsCopyMark(mark, 123457 + kCopyMarkSize));
    MakeCopyMark(0x1'0000'0000ull, mark);
    EXPECT_TRUE(IsCopyMark(mark, 0x1'0000'0000ull + kCopyMarkSize));
    EXPECT_FALSE(IsCopyMark(mark, kCopyMarkSize));
    mark[0] ^= 1;
    EXPECT_FALSE(IsCopyMark(mark, 0x1'0000'0000ull + kCopyMarkSize));
    unsigned char zeros[kCopyMarkSize] = {};
    EXPECT_FALSE(IsCopyMark(zeros, kCopyMarkSize));
}

} // namespace

// The Win32 patcher on hand-built archives: byte-exact rewrites, archives that must be left
// untouched, and failures after truncation that the next run completes.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/PatchArchive.h"

namespace {

struct Patch {
    std::vector<FixtureRecord> records;
    std::vector<EntryPatch> entries;

    explicit Patch(std::vector<FixtureRecord> r) : records(std::move(r)) {
        for (const auto& rec : records)
            entries.push_back({rec.index, rec.sizeWord, static_cast<uint32_t>(rec.data.size()), 0, rec.data.data()});
    }
    int Apply(const std::wstring& path) const {
        return PatchArchive(path.c_str(), entries.data(), static_cast<uint32_t>(entries.size()));
    }
};

Patch TypicalPatch() {
    return Patch({
        {3, 0x0040002C, Pattern(200000, 11)},       // shrinks
        {0, 0x4000414C, Pattern(9000, 12)},         // grows, bit 30 already set
        {4, 0x0004002C, Pattern(77, 13)},           // same length, new size word
        {2, 0x00000001, Pattern(5, 14)},            // a zero-length entry gains data
    });
}

class PatchArchiveTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder messages;
    std::wstring archive = dir / L"title.arc";
    std::wstring temp = dir / L"title.tmp";

    Bytes Read(const std::wstring& path) {
        Bytes b;
        EXPECT_TRUE(ReadWholeFile(path, &b));
        return b;
    }
};

TEST_F(PatchArchiveTest, RewritesEntriesAndPacksDataInTableOrder) {
    FixtureArchive a = TypicalArchive();
    ASSERT_TRUE(WriteWholeFile(archive, BuildArchive(a)));
    Patch patch = TypicalPatch();
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
    Patch none({});
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
        {"table cut short", Bytes(good.begin(), good.begin() + 8 + 80 * 4), {}},
        {"record index past the table", good, {{6, 0, Pattern(4, 1)}}},
        {"record index twice", good, {{1, 0, Pattern(4, 1)}, {1, 0, Pattern(8, 2)}}},
    };
    for (const auto& c : cases) {
        messages.Clear();
        ASSERT_TRUE(WriteWholeFile(archive, c.bytes));
        EXPECT_EQ(Patch(c.records).Apply(archive), 0) << c.what;
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

// A failure at every write of the rewrite (header, table, fill, each chunk of every entry):
// the archive is reported, its copy kept, and a plain second run completes it.
TEST_F(PatchArchiveTest, FailureAfterTruncationIsCompletedByTheNextRun) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    Patch patch = TypicalPatch();
    const Bytes expected = ExpectedArchive(a, patch.records);

    int writes = 0;
    {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        FaultPlan count(IoOp::Write, -1);
        ASSERT_EQ(patch.Apply(archive), 1);
        writes = FaultPlan::Count(IoOp::Write);
    }
    ASSERT_GT(writes, 8);
    for (int nth = 1; nth <= writes; ++nth) {
        ASSERT_TRUE(WriteWholeFile(archive, original));
        messages.Clear();
        {
            FaultPlan fail(IoOp::Write, nth);
            EXPECT_EQ(patch.Apply(archive), 0) << "write " << nth;
        }
        EXPECT_TRUE(Exists(temp)) << "write " << nth << ": the only intact source was deleted";
        EXPECT_TRUE(Read(temp) == original) << "write " << nth;
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
    const struct {
        IoOp op;
        int nth;
        const char* what;
    } cases[] = {
        {IoOp::Copy, 1, "copy to the temporary file"},
        {IoOp::Flush, 1, "flushing the copy"},
        {IoOp::Read, 1, "reading the header"},
        {IoOp::Read, 2, "reading the table"},
        {IoOp::Alloc, 1, "allocating the table"},
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
        EXPECT_EQ(messages.Messages().size(), 1u) << c.what;
    }
}

TEST_F(PatchArchiveTest, LeftoverTemporaryFiles) {
    FixtureArchive a = TypicalArchive();
    const Bytes original = BuildArchive(a);
    Patch patch = TypicalPatch();
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

TEST_F(PatchArchiveTest, ReadOnlyArchiveIsReportedAndLeftAsItWas) {
    const Bytes original = BuildArchive(TypicalArchive());
    ASSERT_TRUE(WriteWholeFile(archive, original));
    ASSERT_TRUE(SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(TypicalPatch().Apply(archive), 0);
    EXPECT_TRUE(Read(archive) == original);
    EXPECT_FALSE(Exists(temp)) << "the fresh copy of a read-only archive is removed";
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
    for (const auto& c : copies) {
        HANDLE in = CreateFileW((dir / L"src").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE out = CreateFileW((dir / L"dst").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_EQ(CopyFileRange(in, c.offset, c.length, out), 1);
        ASSERT_EQ(WriteFill(out, 0x20000 * 2, 0xCD), 1);
        ASSERT_EQ(WriteFill(out, 3, 0), 1);
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
    ASSERT_EQ(MakeTempPath(L"C:\\g\\nativePC\\rom_pc\\id\\title.arc", out), 1);
    EXPECT_STREQ(out, L"C:\\g\\nativePC\\rom_pc\\id\\title.tmp");
    ASSERT_EQ(MakeTempPath(L"abc", out), 1);
    EXPECT_STREQ(out, L"tmp");
    EXPECT_EQ(MakeTempPath(L"ab", out), 0);
}

} // namespace

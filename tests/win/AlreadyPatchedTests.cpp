// An archive that already holds what its rewrite would write is left as it is: no temporary
// file, no write, no flush, its modification time unchanged. Any one difference from what the
// rewrite would write, or a file an interrupted run left beside it, sends it through the
// normal rewrite, which gives what it always gave.
#include <gtest/gtest.h>

#include "ArchiveSamples.h"
#include "TestSupport.h"
#include "archive/AlreadyPatched.h"
#include "setup/ArchiveReport.h"

namespace {

int g_changes = 0;
void CountChange(const IoChangeEvent&) { ++g_changes; }

// Every change the patcher makes to the disk (create, write, flush, rename, delete, copy),
// counted through the I/O seam while it lives.
struct ChangeCounter {
    ChangeCounter() {
        g_changes = 0;
        g_ioChangeHook = CountChange;
    }
    ~ChangeCounter() { g_ioChangeHook = nullptr; }
    int Count() const { return g_changes; }
};

class AlreadyPatchedTest : public ArchiveInScratchTest {
protected:
    FixturePatch patch = TypicalPatch();
    const FixtureArchive original = TypicalArchive();
    const Bytes patched = ExpectedArchive(original, patch.records);
    const uint32_t tableEnd = 8 + 80 * static_cast<uint32_t>(original.entries.size());

    // The archive (and what lies beside it) written, and its time set long ago.
    void Lay(const Bytes& bytes, const Bytes* tempBytes = nullptr, const Bytes* stagingBytes = nullptr) {
        DeleteFileW(temp.c_str());
        DeleteFileW(staging.c_str());
        ASSERT_TRUE(WriteWholeFile(archive, bytes));
        ASSERT_TRUE(SetLastWriteTime(archive, kLongAgo));
        if (tempBytes) {
            ASSERT_TRUE(WriteWholeFile(temp, *tempBytes));
        }
        if (stagingBytes) {
            ASSERT_TRUE(WriteWholeFile(staging, *stagingBytes));
        }
    }
    // What the rewrite makes of these bytes, restated from the format (tests/common).
    Bytes Rewritten(const Bytes& bytes) const {
        std::vector<SampleRecord> records;
        for (const FixtureRecord& r : patch.records) records.push_back({r.index, r.sizeWord, r.data});
        return ReferenceRewrite(bytes, records);
    }
    uint32_t Offset(uint32_t entry) const { return GetU32(patched, 8 + 80 * entry + 76); }
    uint32_t Length(uint32_t entry) const { return GetU32(patched, 8 + 80 * entry + 68); }
};

TEST_F(AlreadyPatchedTest, PatchedArchiveIsLeftAsItIs) {
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        Lay(patched);
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        ArchiveOutcome outcome;
        int changes = 0;
        {
            ChangeCounter counter;
            outcome = patch.Outcome(archive);
            changes = counter.Count();
        }
        EXPECT_EQ(outcome.result, ArchiveResult::AlreadyPatched);
        EXPECT_TRUE(outcome.InPatchedState());
        EXPECT_EQ(outcome.patchedSize, patched.size()) << "the progress counts it by its size";
        EXPECT_EQ(changes, 0) << "something was created, written, flushed, renamed or deleted";
        EXPECT_TRUE(Read(archive) == patched);
        EXPECT_EQ(LastWriteTime(archive), kLongAgo) << "the archive was written";
        EXPECT_FALSE(Exists(temp));
        EXPECT_FALSE(Exists(staging));
        EXPECT_TRUE(ReportArchiveOutcome(outcome)) << "it counts as patched";
        EXPECT_TRUE(messages.Messages().empty());
        // A read-only archive in its patched state needs no write: it is not refused.
        EXPECT_EQ((GetFileAttributesW(archive.c_str()) & FILE_ATTRIBUTE_READONLY) != 0, readOnly);
        SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// One difference at a time from the patched archive. Where the rewrite would write other
// bytes, the archive goes through it and comes out as the rewrite makes it; where it would
// write the same bytes (what it carries over as read, or copies onto itself), it is left.
TEST_F(AlreadyPatchedTest, EachDifferenceAndNothingElseSendsItThroughTheRewrite) {
    auto flipped = [&](size_t at) { return Flipped(patched, at); };
    auto withField = [&](uint32_t entry, uint32_t field, uint32_t value) {
        return WithU32(patched, 8 + 80 * entry + field, value);
    };
    const Bytes appended = Appended(patched, 0);
    const Bytes marked = MarkedCopy(patched);
    const Bytes halfCopy(patched.begin(), patched.begin() + patched.size() / 2);
    const Bytes userFile = {'n', 'o', 't', 'e', 's'};
    const struct {
        const char* what;
        Bytes bytes;
        const Bytes* tempBytes;
        const Bytes* stagingBytes;
        ArchiveResult result;
    } cases[] = {
        // Rewritten: the rewrite writes other bytes, or an earlier run left a file beside it.
        {"first byte of a replaced entry", flipped(Offset(3)), nullptr, nullptr, ArchiveResult::Patched},
        {"last byte of a replaced entry", flipped(Offset(0) + Length(0) - 1), nullptr, nullptr,
         ArchiveResult::Patched},
        {"a replaced entry's stored length", withField(4, 68, 76), nullptr, nullptr, ArchiveResult::Patched},
        {"a replaced entry's size word without bit 30", withField(3, 72, 0x0040002C), nullptr, nullptr,
         ArchiveResult::Patched},
        {"an unchanged entry's data offset", withField(5, 76, Offset(5) - 1), nullptr, nullptr,
         ArchiveResult::Patched},
        {"an unchanged entry's stored length", withField(1, 68, Length(1) - 1), nullptr, nullptr,
         ArchiveResult::Patched},
        {"a nonzero byte at the start of the gap", flipped(tableEnd), nullptr, nullptr, ArchiveResult::Patched},
        {"a nonzero byte at the end of the gap", flipped(Offset(0) - 1), nullptr, nullptr, ArchiveResult::Patched},
        {"one byte appended", appended, nullptr, nullptr, ArchiveResult::Patched},
        {"this installer's marked copy beside it", patched, &marked, nullptr, ArchiveResult::Patched},
        {"an older installer's copy beside it", patched, &patched, nullptr, ArchiveResult::Patched},
        {"a staging leftover beside it", patched, nullptr, &halfCopy, ArchiveResult::Patched},
        // The recovery rules keep their order: a file the installer did not make is not destroyed.
        {"a file the installer did not make beside it", patched, &userFile, nullptr, ArchiveResult::ForeignTemp},
        // Left: the rewrite would write exactly these bytes again.
        {"a header byte", flipped(2), nullptr, nullptr, ArchiveResult::AlreadyPatched},
        {"an entry's leading bytes", flipped(8 + 80 * 3 + 10), nullptr, nullptr, ArchiveResult::AlreadyPatched},
        {"an unchanged entry's size word", withField(5, 72, 0x12345678), nullptr, nullptr,
         ArchiveResult::AlreadyPatched},
        {"a byte of an unchanged entry", flipped(Offset(1) + 12345), nullptr, nullptr, ArchiveResult::AlreadyPatched},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Lay(c.bytes, c.tempBytes, c.stagingBytes);
        ArchiveOutcome outcome;
        int changes = 0;
        {
            ChangeCounter counter;
            outcome = patch.Outcome(archive);
            changes = counter.Count();
        }
        EXPECT_EQ(outcome.result, c.result);
        if (c.result == ArchiveResult::Patched) {
            const Bytes want = Rewritten(c.bytes);
            ASSERT_FALSE(want.empty());
            EXPECT_TRUE(Read(archive) == want) << "not what the rewrite makes of it";
            EXPECT_NE(LastWriteTime(archive), kLongAgo) << "not rewritten";
            EXPECT_GT(changes, 0);
            EXPECT_FALSE(Exists(temp));
        } else {
            EXPECT_TRUE(Read(archive) == c.bytes) << "the archive was changed";
            EXPECT_EQ(LastWriteTime(archive), kLongAgo) << "the archive was written";
            EXPECT_EQ(Exists(temp), c.tempBytes != nullptr);
            if (c.tempBytes) {
                EXPECT_TRUE(Read(temp) == *c.tempBytes) << "the file beside it was changed";
            }
            if (c.result == ArchiveResult::AlreadyPatched) {
                EXPECT_EQ(changes, 0);
            }
        }
        EXPECT_FALSE(Exists(staging));
    }
}

// The look is only ever a shortcut: when it cannot open, read or allocate, the rewrite
// decides, on a patched archive and on an original one alike.
TEST_F(AlreadyPatchedTest, FailureWhileLookingLeavesItToTheRewrite) {
    const Bytes unpatched = BuildArchive(original);
    const IoOp kinds[] = {IoOp::Open, IoOp::Seek, IoOp::Read, IoOp::Alloc};
    for (const Bytes* start : {&patched, &unpatched}) {
        const char* what = start == &patched ? "patched" : "original";
        // The look runs before anything else: its own operations, counted alone.
        Lay(*start);
        int counts[4] = {};
        {
            FaultPlan count(IoOp::Copy, -1);
            uint32_t size = 0;
            ASSERT_EQ(ArchiveHoldsItsRewrite(archive.c_str(), patch.entries.data(),
                                             static_cast<uint32_t>(patch.entries.size()), &size),
                      start == &patched);
            for (int k = 0; k < 4; ++k) counts[k] = FaultPlan::Count(kinds[k]);
        }
        EXPECT_EQ(counts[0], 1) << what;
        EXPECT_GE(counts[2], start == &patched ? 6 : 2) << what << ": header, table, gap and three replaced entries";
        for (int k = 0; k < 4; ++k) {
            for (int nth = 1; nth <= counts[k]; ++nth) {
                SCOPED_TRACE(std::string(what) + ", operation kind " + std::to_string(k) + " #" + std::to_string(nth));
                Lay(*start);
                ArchiveOutcome outcome;
                {
                    FaultPlan fail(kinds[k], nth);
                    outcome = patch.Outcome(archive);
                }
                EXPECT_EQ(outcome.result, ArchiveResult::Patched);
                EXPECT_TRUE(Read(archive) == patched);
                EXPECT_NE(LastWriteTime(archive), kLongAgo);
                EXPECT_FALSE(Exists(temp));
            }
        }
    }
    EXPECT_TRUE(messages.Messages().empty());
}

} // namespace

// The rewrite's outcome carries the size the archive now has, which the patching run adds to
// its progress instead of opening the archive again: for archives that grow, shrink or keep
// their size, and for one completed from the intact copy a cut-off rewrite left.
#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "archive/PatchArchive.h"

namespace {

struct Case {
    const char* what;
    std::vector<FixtureRecord> records;
    bool fromLeftoverCopy;
};

TEST(RewriteOutcome, CarriesTheSizeTheArchiveHasOnDisk) {
    const FixtureArchive archive = TypicalArchive();
    const Bytes original = BuildArchive(archive);
    const Case cases[] = {
        {"grows", {{1, 0x00120000, Pattern((1 << 20) + 5000, 21)}}, false},
        {"shrinks", {{3, 0x00200000, Pattern(100, 22)}}, false},
        {"same size, new size word", {{4, 0x40000200, Pattern(77, 23)}}, false},
        {"no records", {}, false},
        {"completed from the leftover copy", {{1, 0x00120000, Pattern((1 << 20) + 5000, 21)}}, true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        MessageRecorder messages;
        const std::wstring path = dir / L"title.arc";
        if (c.fromLeftoverCopy) {
            ASSERT_TRUE(WriteWholeFile(path, Bytes(original.begin(), original.begin() + 40))) << c.what;
            ASSERT_TRUE(WriteWholeFile(dir / L"title.tmp", MarkedCopy(original))) << c.what;
        } else {
            ASSERT_TRUE(WriteWholeFile(path, original)) << c.what;
        }
        std::vector<EntryPatch> entries;
        for (const FixtureRecord& r : c.records)
            entries.push_back({r.index, r.sizeWord, static_cast<uint32_t>(r.data.size()), 0, r.data.data()});
        const ArchiveOutcome outcome = PatchArchive(path.c_str(), entries.data(), static_cast<uint32_t>(entries.size()));
        ASSERT_TRUE(outcome.Patched()) << c.what;
        Bytes now;
        ASSERT_TRUE(ReadWholeFile(path, &now)) << c.what;
        EXPECT_TRUE(now == ExpectedArchive(archive, c.records)) << c.what;
        EXPECT_EQ(outcome.patchedSize, now.size()) << c.what;
        EXPECT_TRUE(messages.Messages().empty()) << c.what;
    }
}

} // namespace

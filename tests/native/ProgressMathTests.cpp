// Progress arithmetic: per-archive shift, division before multiplication, no clamp.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/ProgressMath.h"
#include "core/ProgressTotal.h"

TEST(ProgressMath, PositionsAtTheEdges) {
    const struct {
        uint32_t units;
        int position;
    } cases[] = {
        {0, 0},           {180772, 0},  // 0.99999...: truncated, not rounded
        {180773, 1},      {9038615, 50},
        {18077229, 99},   {18077230, 100},
        {36154460, 200},  // not clamped: a larger folder goes past 100
    };
    for (const auto& c : cases) EXPECT_EQ(ProgressPosition(c.units), c.position) << c.units;
}

TEST(ProgressMath, EachArchiveIsShiftedOnItsOwn) {
    uint32_t total = 0;
    total = AddArchiveUnits(total, 255);
    total = AddArchiveUnits(total, 255);
    EXPECT_EQ(total, 0u) << "two 255-byte archives add 0 units, not 1";
    total = AddArchiveUnits(total, 0xFFFFFFFF);
    EXPECT_EQ(total, 0x00FFFFFFu);
    EXPECT_EQ(AddArchiveUnits(0xFFFFFFFF, 512), 1u) << "the sum wraps as an unsigned 32-bit value";
}

TEST(ProgressMath, FullScaleTotalLandsOnHundred) {
    // 18,077,230 x 256 bytes in 411 archives of whole units ends exactly at 100.
    uint32_t total = 0;
    const uint32_t per = 18077230 / 411, extra = 18077230 % 411;
    for (uint32_t i = 0; i < 411; ++i) total = AddArchiveUnits(total, (per + (i < extra)) * 256 + 255);
    EXPECT_EQ(total, 18077230u);
    EXPECT_EQ(ProgressPosition(total), 100);
}

// A patch carries its own total: whatever the patched folder adds up to, the last position is
// exactly 100, and a patch without one is measured as before.
TEST(ProgressMath, AnyPatchsOwnTotalEndsAtHundred) {
    EXPECT_EQ(ProgressPosition(4000000), 22) << "a 1 GB folder against the fixed total stops at 22";
    for (uint32_t total : {1u, 2u, 3u, 7u, 255u, 4000000u, 4127421u, 18077229u, 18077230u, 18077231u, 99999989u,
                           0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        EXPECT_EQ(ProgressPosition(total, total), 100) << total;
        EXPECT_LT(ProgressPosition(total - 1, total), 100) << total;
        if (total % 2 == 0) {
            EXPECT_EQ(ProgressPosition(total / 2, total), 50) << total;
        }
    }
    for (uint32_t units = 0; units < 40000000; units += 9973)
        EXPECT_EQ(ProgressPosition(units, kProgressExpectedUnits), ProgressPosition(units)) << units;
    EXPECT_EQ(ProgressPosition(0, 0), 100) << "nothing to measure: done";
    EXPECT_EQ(ProgressPosition(0xFFFFFFFF, 1), 2147483647) << "far past the total, still an int";
}

TEST(ProgressTotal, StoredFormRoundTripsAndNothingElseReads) {
    unsigned char stored[kProgressTotalSize];
    StoreProgressTotal(18077230, stored);
    const unsigned char expected[] = {'K', 'S', 'P', 'T', 1, 0, 0, 0, 0x2E, 0xD6, 0x13, 0x01};
    EXPECT_EQ(0, memcmp(stored, expected, sizeof expected));
    uint32_t units = 7;
    ASSERT_TRUE(ParseProgressTotal(stored, sizeof stored, &units));
    EXPECT_EQ(units, 18077230u);
    for (size_t size = 0; size < sizeof stored; ++size) {
        std::vector<unsigned char> cut(stored, stored + size); // exact size: ASan sees an overread
        EXPECT_FALSE(ParseProgressTotal(cut.data(), cut.size(), &units)) << size;
    }
    std::vector<unsigned char> longer(stored, stored + sizeof stored);
    longer.push_back(0);
    EXPECT_FALSE(ParseProgressTotal(longer.data(), longer.size(), &units));
    for (size_t at = 0; at < 8; ++at) {
        unsigned char spoiled[kProgressTotalSize];
        memcpy(spoiled, stored, sizeof stored);
        spoiled[at] ^= 0x10;
        EXPECT_FALSE(ParseProgressTotal(spoiled, sizeof spoiled, &units)) << "byte " << at;
    }
    EXPECT_FALSE(ParseProgressTotal(nullptr, 12, &units));
    EXPECT_EQ(units, 18077230u) << "a failed parse leaves the value alone";
}

// Progress arithmetic: per-archive shift, division before multiplication, no clamp.
#include <gtest/gtest.h>

#include "core/ProgressMath.h"

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

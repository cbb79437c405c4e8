// Which chosen folders can take the patch: the free-space threshold and the room that every
// composed path needs in a 260-unit buffer.
#include <gtest/gtest.h>

#include "core/GameFolderRules.h"

TEST(GameFolderRules, FreeSpaceThresholdIs144000000BytesNot140MiB) {
    EXPECT_TRUE(HasEnoughFreeSpace(144000000));
    EXPECT_FALSE(HasEnoughFreeSpace(143999999));
    EXPECT_FALSE(HasEnoughFreeSpace(0));
    EXPECT_TRUE(HasEnoughFreeSpace(146800640));      // 140 MiB
    EXPECT_TRUE(HasEnoughFreeSpace(UINT64_MAX));
    EXPECT_FALSE(HasEnoughFreeSpace(140000000));     // 140 MB
}

TEST(GameFolderRules, EveryComposedPathMustFitWithItsNul) {
    struct Case {
        size_t folder, longestName;
        bool fits;
    } cases[] = {
        {3, 47, true},      // a drive root, "C:\"
        {212, 47, true},    // 212 + 47 = 259 units: the NUL still fits
        {213, 47, false},   // the longest archive name would overflow
        {229, 0, true},     // the marker's 30 units decide when no manifest could be read
        {230, 0, false},
        {229, 29, true},    // a shorter archive name than the marker changes nothing
        {229, 31, false},
        {259, 0, false},    // a folder of 259 units leaves room for nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(GameFolderPathFits(c.folder, c.longestName), c.fits)
            << "folder " << c.folder << " units, longest name " << c.longestName;
}

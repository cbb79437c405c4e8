// Where a window goes to lie inside the work area: the designed place wherever it fits,
// else the least move; a window larger than the area keeps its top-left corner visible.
#include <gtest/gtest.h>

#include "core/WindowFit.h"

namespace {

bool Same(const ScreenBox& a, const ScreenBox& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(WindowFit, MovesOnlyAsFarAsNeededAndKeepsTheSize) {
    // A 1536 x 1112 work area beside a taskbar on the left (so it does not start at 0).
    const ScreenBox area{40, 0, 1576, 1112};
    struct Case {
        const char* what;
        ScreenBox window, expected;
    } cases[] = {
        {"fits: stays", {300, 200, 900, 700}, {300, 200, 900, 700}},
        {"touches every edge: stays", {40, 0, 1576, 1112}, {40, 0, 1576, 1112}},
        {"past the right edge", {1200, 100, 1700, 400}, {1076, 100, 1576, 400}},
        {"past the bottom (taskbar)", {100, 900, 400, 1200}, {100, 812, 400, 1112}},
        {"past right and bottom", {1500, 1000, 1800, 1300}, {1276, 812, 1576, 1112}},
        {"left of the area", {0, 10, 200, 110}, {40, 10, 240, 110}},
        {"above the screen", {100, -30, 300, 70}, {100, 0, 300, 100}},
        {"wider than the area: left edge shown", {500, 100, 2500, 300}, {40, 100, 2040, 300}},
        {"taller than the area: caption shown", {100, 300, 300, 1700}, {100, 0, 300, 1400}},
    };
    for (const Case& c : cases) {
        const ScreenBox got = FitInside(c.window, area);
        EXPECT_TRUE(Same(got, c.expected))
            << c.what << ": got " << got.left << "," << got.top << " " << got.right << "," << got.bottom;
        EXPECT_EQ(got.right - got.left, c.window.right - c.window.left) << c.what;
        EXPECT_EQ(got.bottom - got.top, c.window.bottom - c.window.top) << c.what;
    }
}

TEST(WindowFit, BannerPartKeepsThePictureUnbentAndCentred) {
    // The 640 x 316 banner in places of several proportions (the dialog's font decides them).
    struct Case {
        const char* what;
        long placeWidth, placeHeight;
        ScreenBox expected;
    } cases[] = {
        {"same proportions, twice the size", 1280, 632, {0, 0, 640, 316}},
        {"taller place (Wine's font at 144 DPI): sides cut evenly", 1007, 606, {57, 0, 582, 316}},
        {"wider place: top and bottom cut evenly", 1000, 316, {0, 57, 640, 259}},
        {"one pixel wider: one row less", 641, 316, {0, 0, 640, 315}},
        {"empty place: the whole picture", 0, 0, {0, 0, 640, 316}},
    };
    for (const Case& c : cases) {
        const ScreenBox part = PartWithProportions(640, 316, c.placeWidth, c.placeHeight);
        EXPECT_TRUE(Same(part, c.expected)) << c.what << ": got " << part.left << "," << part.top << " "
                                            << part.right << "," << part.bottom;
        if (c.placeWidth > 0 && part.bottom > part.top) {
            // The part has the place's proportions to within a pixel of the picture.
            const double scale = double(c.placeWidth) / (part.right - part.left);
            EXPECT_NEAR((part.bottom - part.top) * scale, c.placeHeight, scale + 0.5) << c.what;
        }
    }
}

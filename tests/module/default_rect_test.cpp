// The bookshelf's default rectangle: one pure function of screen size and work area.
#include <gtest/gtest.h>

#include "bookrackwindowimpl.h"

namespace {

struct Size {
    int width;
    int height;
};

Size SizeFor(int screenWidth, int screenHeight) {
    const RECT work = {0, 0, screenWidth, screenHeight};
    const RECT rect = ComputeDefaultBookrackRect(screenWidth, screenHeight, work);
    return Size{rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

TEST(DefaultRect, KnownScreensTakeTheirSizeFromTheTable) {
    const struct {
        int screenWidth, screenHeight, width, height;
    } table[] = {
        {1920, 1200, 1000, 800}, {1920, 1080, 1000, 800}, {1680, 1050, 1000, 800}, {1440, 900, 1000, 800},
        {1366, 768, 1000, 600},  {1280, 1024, 1000, 800}, {1280, 800, 1000, 600},  {1280, 768, 1000, 600},
        {1024, 600, 1000, 600},  {800, 600, 760, 540},    {1024, 768, 1000, 600},
    };
    for (const auto& row : table) {
        const Size size = SizeFor(row.screenWidth, row.screenHeight);
        EXPECT_EQ(size.width, row.width) << row.screenWidth << "x" << row.screenHeight;
        EXPECT_EQ(size.height, row.height) << row.screenWidth << "x" << row.screenHeight;
    }
}

TEST(DefaultRect, OtherScreensAreLargeFrom1920By1200Up) {
    EXPECT_EQ(SizeFor(2560, 1440).height, 800);
    EXPECT_EQ(SizeFor(2560, 1440).width, 1000);
    EXPECT_EQ(SizeFor(1920, 1201).height, 800);
    // Large in one direction only is not enough.
    EXPECT_EQ(SizeFor(2560, 1199).height, 600);
    EXPECT_EQ(SizeFor(1919, 1440).height, 600);
    EXPECT_EQ(SizeFor(1600, 900).width, 1000);
    EXPECT_EQ(SizeFor(1600, 900).height, 600);
    EXPECT_EQ(SizeFor(640, 480).height, 600);
}

TEST(DefaultRect, CentredOnTheWorkAreaSizeFromTheScreenOrigin) {
    // A 40-pixel taskbar at the bottom.
    RECT rect = ComputeDefaultBookrackRect(1920, 1080, RECT{0, 0, 1920, 1040});
    EXPECT_EQ(rect.left, 460);
    EXPECT_EQ(rect.top, 120);
    EXPECT_EQ(rect.right, 1460);
    EXPECT_EQ(rect.bottom, 920);

    // A taskbar at the top: only the work area's size counts, not its origin.
    rect = ComputeDefaultBookrackRect(1920, 1080, RECT{0, 40, 1920, 1080});
    EXPECT_EQ(rect.top, 120);

    // Odd remainders are truncated; a work area smaller than the window truncates toward zero.
    rect = ComputeDefaultBookrackRect(1366, 768, RECT{0, 0, 1365, 767});
    EXPECT_EQ(rect.left, 182);
    EXPECT_EQ(rect.top, 83);
    rect = ComputeDefaultBookrackRect(800, 600, RECT{0, 0, 757, 537});
    EXPECT_EQ(rect.left, -1);
    EXPECT_EQ(rect.top, -1);
    EXPECT_EQ(rect.right, 759);
    EXPECT_EQ(rect.bottom, 539);
}

// The bookshelf's default rectangle: one pure function of screen size and work area.
#include <shelftest/wait.h>

#include <gtest/gtest.h>

#include "bookrackwindowimpl.h"

namespace {

TEST(DefaultRect, SizeAtTheEdgesOfTheTableAndOfTheLargeScreenRule) {
    const struct {
        int screenWidth, screenHeight, width, height;
    } cases[] = {
        {1920, 1200, 1000, 800}, // the largest listed screen, where the large rule starts
        {2560, 1440, 1000, 800}, {1920, 1201, 1000, 800}, // unlisted, large in both directions
        {2560, 1199, 1000, 600}, {1919, 1440, 1000, 600}, // large in one direction only
        {1920, 1080, 1000, 800}, {1440, 900, 1000, 800},  // listed below the large rule, yet tall
        {1366, 768, 1000, 600},  {1600, 900, 1000, 600},  // below them: listed and unlisted
        {1280, 1024, 1000, 800}, {1280, 800, 1000, 600},  // one width, two heights
        {1024, 600, 1000, 600},  {800, 600, 760, 540},    // the smallest listed screens
        {640, 480, 1000, 600},                            // below the table: the small fallback
    };
    for (const auto& c : cases) {
        const RECT rect =
            ComputeDefaultBookrackRect(c.screenWidth, c.screenHeight, {0, 0, c.screenWidth, c.screenHeight});
        EXPECT_EQ(rect.right - rect.left, c.width) << c.screenWidth << "x" << c.screenHeight;
        EXPECT_EQ(rect.bottom - rect.top, c.height) << c.screenWidth << "x" << c.screenHeight;
    }
}

TEST(DefaultRect, CentredOnTheWorkAreaSizeFromTheScreenOrigin) {
    const struct {
        int screenWidth, screenHeight;
        RECT work;
        std::vector<LONG> rect;
    } cases[] = {
        {1920, 1080, {0, 0, 1920, 1040}, {460, 120, 1460, 920}},  // a 40-pixel taskbar at the bottom
        {1920, 1080, {0, 40, 1920, 1080}, {460, 120, 1460, 920}}, // at the top: only the size counts
        {1366, 768, {0, 0, 1365, 767}, {182, 83, 1182, 683}},     // odd remainders are truncated
        {800, 600, {0, 0, 757, 537}, {-1, -1, 759, 539}},         // smaller than the window: toward zero
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shelftest::Edges(ComputeDefaultBookrackRect(c.screenWidth, c.screenHeight, c.work)), c.rect)
            << c.screenWidth << "x" << c.screenHeight;
    }
}

} // namespace

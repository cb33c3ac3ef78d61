// The bookshelf's default rectangle: one pure function of screen size and work area, and where a
// display change leaves the shelf.
#include <shelftest/shelf.h>

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(DefaultRect, CentredInsideTheWorkAreaWhereverItLiesAndReachableWhereItIsTooSmall) {
    const struct {
        const char* what;
        int screenWidth, screenHeight;
        RECT work;
        std::vector<LONG> rect;
    } cases[] = {
        // The work area at the screen origin with room for the window: centred, as always.
        {"taskbar at the bottom", 1920, 1080, {0, 0, 1920, 1040}, {460, 120, 1460, 920}},
        {"odd remainders truncated", 1366, 768, {0, 0, 1365, 767}, {182, 83, 1182, 683}},
        {"taskbar at the top", 1920, 1080, {0, 40, 1920, 1080}, {460, 160, 1460, 960}},
        {"taskbar on the left", 1366, 768, {60, 0, 1366, 768}, {213, 84, 1213, 684}},
        {"a monitor left of the primary", 1920, 1080, {-1920, 0, 0, 1040}, {-1460, 120, -460, 920}},
        {"a monitor above, taskbar on its left",
         1280,
         1024,
         {100, -1024, 1280, -24},
         {190, -924, 1190, -124}},
        // Too small for the window: its caption's corner at the work area's corner, never above it.
        {"1024 x 600, taskbar at the bottom", 1024, 600, {0, 0, 1024, 560}, {12, 0, 1012, 600}},
        {"1024 x 600, taskbar on the left", 1024, 600, {40, 0, 1024, 600}, {40, 0, 1040, 600}},
        {"portrait 768 x 1024", 768, 1024, {0, 0, 768, 984}, {0, 192, 1000, 792}},
        {"800 x 600, smaller than the window", 800, 600, {0, 0, 757, 537}, {0, 0, 760, 540}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shelftest::Edges(ComputeDefaultBookrackRect(c.screenWidth, c.screenHeight, c.work)), c.rect)
            << c.what;
    }
}

TEST(DefaultRect, AtADisplayScaleTheTableSeesTheScreenIn96DpiUnitsAndTheSizeIsScaled) {
    const struct {
        const char* what;
        int screenWidth, screenHeight;
        RECT work;
        UINT dpi;
        std::vector<LONG> rect;
    } cases[] = {
        {"100 %: as ever", 1920, 1080, {0, 0, 1920, 1040}, 96, {460, 120, 1460, 920}},
        // Seen as 1280 x 720, not in the table and below the large rule: 1000 x 600 at 150 %.
        {"150 % on 1920 x 1080", 1920, 1080, {0, 0, 1920, 1040}, 144, {210, 70, 1710, 970}},
        // Seen as 1920 x 1080: 1000 x 800 at 200 %.
        {"200 % on 3840 x 2160", 3840, 2160, {0, 0, 3840, 2120}, 192, {920, 260, 2920, 1860}},
        {"200 % on 2880 x 1800, taskbar on the left",
         2880,
         1800,
         {60, 0, 2880, 1800},
         192,
         {470, 100, 2470, 1700}},
        // Seen as 2048 x 1280, above the large rule: 1000 x 800 at 125 %.
        {"125 % on 2560 x 1600", 2560, 1600, {0, 0, 2560, 1560}, 120, {655, 280, 1905, 1280}},
        // Too small at its scale: the caption's corner at the work area's corner, as at 100 %.
        {"150 % on 1366 x 768", 1366, 768, {0, 0, 1366, 728}, 144, {0, 0, 1500, 900}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shelftest::Edges(ComputeDefaultBookrackRect(c.screenWidth, c.screenHeight, c.work, c.dpi)),
                  c.rect)
            << c.what;
    }
}

using shelftest::ShelfTest;

// A host thread that is not DPI-aware gets the shelf at 96 DPI, which the system scales with the
// rest of the host (this test also runs at 150 %, where an aware host's shelf is larger).
TEST_F(ShelfTest, TheShelfOfAHostThreadThatIsNotDpiAwareIsDrawnAt96Dpi) {
    shelftest::ThreadDpiAwareness unawareHost(DPI_AWARENESS_CONTEXT_UNAWARE);
    ASSERT_TRUE(unawareHost.Active());
    CreateShelf(false);
    ASSERT_NE(Matrix(), nullptr);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(Matrix()->ControlWindow(), WM_GETFONT, 0, 0));
    LOGFONTW text = {};
    ASSERT_NE(GetObjectW(font, sizeof text, &text), 0);
    EXPECT_EQ(text.lfHeight, -12) << "the body text's height at 96 DPI";
}

using DisplayChange = shelftest::ShownShelfTest;

TEST_F(DisplayChange, AMinimisedShelfStaysMinimisedAndItsNextRestoreOpensAtTheDefaultRectangle) {
    const HWND hwnd = Hwnd();
    // At the prefix's scale (the test also runs at 150 %): this host is DPI-aware, as Wine makes it.
    // No window grows past the system's largest tracking size: at 150 % the shelf does not fit Wine's
    // 1024 x 768 screen and stops there.
    RECT expected = CBookrackWindowImpl::GetDefaultRect(nullptr, shelftest::RequestedDpi());
    expected.right = std::min<LONG>(expected.right, expected.left + GetSystemMetrics(SM_CXMAXTRACK));
    expected.bottom = std::min<LONG>(expected.bottom, expected.top + GetSystemMetrics(SM_CYMAXTRACK));
    const std::vector<LONG> defaultRect = shelftest::Edges(expected);
    ASSERT_EQ(shelftest::Edges(shelftest::WindowRect(hwnd)), defaultRect);
    ShowWindow(hwnd, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(hwnd));
    // Where it would come back to had the display not changed: where the old resolution put it.
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    ASSERT_TRUE(GetWindowPlacement(hwnd, &placement));
    OffsetRect(&placement.rcNormalPosition, -37, -23);
    placement.showCmd = SW_SHOWMINNOACTIVE;
    ASSERT_TRUE(SetWindowPlacement(hwnd, &placement));

    Send(WM_DISPLAYCHANGE, 32, MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    Flush();
    EXPECT_TRUE(IsIconic(hwnd)) << "the display change restored the minimised shelf";
    EXPECT_TRUE(Window()->IsShown());

    ASSERT_TRUE(Window()->Show(false, nullptr));
    ASSERT_TRUE(shelftest::WaitUntil([hwnd] { return !IsIconic(hwnd); }));
    Flush();
    EXPECT_EQ(shelftest::Edges(shelftest::WindowRect(hwnd)), defaultRect);
}

} // namespace

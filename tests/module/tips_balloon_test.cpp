// The empty-shelf balloon: its life with a shortened timer (driven directly), and where the bookshelf
// shows it (through the module).
#include <shelftest/shelf.h>

#include "addbooktipsdlg.h"
#include "bookrackprivatemessages.h"

using namespace shelftest;

namespace {

constexpr UINT kShortLifeMs = 400;
// Timers are not exact: the window may go a little early or late.
constexpr ULONGLONG kTimerSlackMs = 60;

// A balloon driven on this thread with the kernel of a bookshelf window (which opened the package).
class BalloonTest : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        if (!HasFatalFailure())
            CreateShelf(false);
        if (!HasFatalFailure())
            kernel = module->SkinWindow()->GetUiKernel();
    }
    void TearDown() override {
        // The balloon's window lives on this thread; it goes before its object and the kernel.
        if (balloon.IsWindow())
            DestroyWindow(balloon.GetWindowHandle());
        ShelfTest::TearDown();
    }
    bool Visible() const { return balloon.IsWindow() && IsWindowVisible(balloon.GetWindowHandle()); }
    // Delivers this thread's messages (the balloon's timer) for a while.
    void PumpFor(DWORD ms) {
        const ULONGLONG until = GetTickCount64() + ms;
        WaitUntil([until] { return GetTickCount64() >= until; }, ms + 1000);
    }
    // Waits until it went away by itself, and tells whether that was a whole life after shownAt.
    bool GoneAfterItsLife(ULONGLONG shownAt) {
        return WaitUntil([this] { return !Visible(); }, kShortLifeMs * 10) &&
               GetTickCount64() - shownAt + kTimerSlackMs >= kShortLifeMs;
    }

    IUiKernel* kernel = nullptr;
    CAddBookTipsDlg balloon{kShortLifeMs};
    const RECT where = {100, 200, 100 + kTipsWidth, 200 + kTipsHeight};
};

TEST_F(BalloonTest, ShowsAtTheRectangleForItsTimeSinceTheLastShowThenStaysAwayUntilAllowedAgain) {
    // Suppressed before its first Show, it is never built.
    balloon.Suppress();
    EXPECT_FALSE(balloon.Show(kernel, nullptr, where));
    EXPECT_FALSE(balloon.IsWindow());
    balloon.ResetSuppress();

    ASSERT_TRUE(balloon.Show(kernel, nullptr, where));
    ASSERT_TRUE(WaitUntil([this] { return Visible(); }));
    EXPECT_EQ(Edges(WindowRect(balloon.GetWindowHandle())), Edges(where));
    EXPECT_EQ(module->FindWindowNamed(L"NoBookBalloon"), balloon.GetWindowHandle());
    PumpFor(kShortLifeMs / 2);
    ASSERT_TRUE(Visible());
    // A second Show restarts its time: past the first Show's end it is still there.
    ASSERT_TRUE(balloon.Show(kernel, nullptr, where));
    const ULONGLONG again = GetTickCount64();
    PumpFor(kShortLifeMs * 3 / 4);
    EXPECT_TRUE(Visible());
    EXPECT_TRUE(GoneAfterItsLife(again));

    // Suppressed once its time was up: Show refuses and neither moves nor shows the window.
    const RECT elsewhere = {300, 300, 300 + kTipsWidth, 300 + kTipsHeight};
    EXPECT_FALSE(balloon.Show(kernel, nullptr, elsewhere));
    PumpFor(100);
    EXPECT_FALSE(Visible());
    EXPECT_EQ(Edges(WindowRect(balloon.GetWindowHandle())), Edges(where));
    // Allowed again: it comes back where it is asked to be.
    balloon.ResetSuppress();
    EXPECT_TRUE(balloon.Show(kernel, nullptr, elsewhere));
    EXPECT_TRUE(Visible());
    EXPECT_EQ(Edges(WindowRect(balloon.GetWindowHandle())), Edges(elsewhere));
}

TEST_F(BalloonTest, HideHidesWithoutSuppressingAlsoBeforeTheKernelReportsReady) {
    // The kernel's ready report is still queued on this thread when Hide comes.
    ASSERT_TRUE(balloon.Show(kernel, nullptr, where));
    balloon.Hide();
    PumpFor(200);
    EXPECT_FALSE(Visible());

    ASSERT_TRUE(balloon.Show(kernel, nullptr, where));
    ASSERT_TRUE(WaitUntil([this] { return Visible(); }));
    balloon.Hide();
    EXPECT_FALSE(Visible());
    // The stopped timer does not suppress it later either.
    PumpFor(kShortLifeMs + 200);
    EXPECT_TRUE(balloon.Show(kernel, nullptr, where));
    EXPECT_TRUE(Visible());
}

TEST_F(ShelfTest, TheBookshelfShowsTheBalloonBelowItsAddBookButtonWhileTheShelfIsEmpty) {
    // Built hidden, so that its first load shows no balloon; then shown by the user.
    CreateShelf(false);
    const HWND shelf = Hwnd();
    Flush();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(IsWindowVisible(shelf));

    // The host asks from its own thread; the balloon is built on the shelf's.
    Window()->ShowNoBookTips();
    HWND balloon = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (balloon = module->FindWindowNamed(L"NoBookBalloon")) != nullptr && IsWindowVisible(balloon);
    }));
    EXPECT_EQ(GetWindowThreadProcessId(balloon, nullptr), GetWindowThreadProcessId(shelf, nullptr));
    EXPECT_EQ(GetWindow(balloon, GW_OWNER), shelf);
    RECT button = {};
    ASSERT_TRUE(module->RawControl("New_FolianBtn")->GetCtrlRect(&button));
    POINT below = {button.left, button.bottom};
    ClientToScreen(shelf, &below);
    // Its design size at the prefix's scale (the test also runs at 150 %).
    const UINT dpi = shelftest::RequestedDpi();
    const std::vector<LONG> placed = {below.x, below.y, below.x + MulDiv(kTipsWidth, dpi, 96),
                                      below.y + MulDiv(kTipsHeight, dpi, 96)};
    EXPECT_EQ(Edges(WindowRect(balloon)), placed);
    // Another program's rectangle, at a wild address or posted, is not read: nothing moves or faults.
    EXPECT_EQ(SendMessageW(balloon, WM_TIPS_SHOW, 0, 0x10), 0);
    RECT elsewhere = {10, 10, 20, 20};
    PostMessageW(balloon, WM_TIPS_SHOW, 0, reinterpret_cast<LPARAM>(&elsewhere));
    Flush();
    EXPECT_EQ(Edges(WindowRect(balloon)), placed);

    // Showing the shelf by the user's wish and hiding it take the balloon away; it is not suppressed.
    ASSERT_TRUE(Window()->Show(true, nullptr));
    EXPECT_FALSE(IsWindowVisible(balloon));
    Window()->RefreshTips();
    EXPECT_TRUE(IsWindowVisible(balloon));
    Window()->HideAll(false);
    EXPECT_FALSE(IsWindowVisible(balloon));
    EXPECT_FALSE(IsWindowVisible(shelf));
    // Hidden, the shelf shows no balloon.
    Window()->RefreshTips();
    EXPECT_FALSE(IsWindowVisible(balloon));
}

TEST_F(ShelfTest, TheBookshelfsOwnBalloonLastsTheShippedTenSeconds) {
    // The module's balloon is made without the shortened life the tests above give theirs.
    constexpr ULONGLONG kShippedLifeMs = 10000;
    CreateShelf(false);
    Flush();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    Window()->ShowNoBookTips();
    HWND balloon = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (balloon = module->FindWindowNamed(L"NoBookBalloon")) != nullptr && IsWindowVisible(balloon);
    }));
    const ULONGLONG shownAt = GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(balloon); }, kShippedLifeMs * 2));
    const ULONGLONG life = GetTickCount64() - shownAt;
    EXPECT_GE(life + kTimerSlackMs, kShippedLifeMs);
    EXPECT_LE(life, kShippedLifeMs + 2000);
}

} // namespace

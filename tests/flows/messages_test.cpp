// The window's own messages: the host's books-changed report, the window snapping back to its
// default size, the balloon following the add-book button, the manager's menu, minimize and restore.
#include <shelftest/shelf.h>

#include <mutex>

using namespace shelftest;
using ::testing::_;
using ::testing::Invoke;

namespace flows {
namespace {

using FlowTest = ShownShelfTest;

RECT WindowRect(HWND hwnd) {
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    return rc;
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

void MoveBy(HWND hwnd, int dx, int dy) {
    const RECT rc = WindowRect(hwnd);
    SetWindowPos(hwnd, nullptr, rc.left + dx, rc.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(FlowTest, BooksChangedReportRefreshesTheNamedBooksFromItsOwnCopyOfTheIds) {
    std::mutex lock;
    std::vector<int> lookedUp;
    store.SetGetItemHook([&](int id) {
        std::lock_guard<std::mutex> guard(lock);
        lookedUp.push_back(id);
    });
    int32_t ids[] = {102, 104};
    BOOKS_CHANGED_REPORT report = {0, 0, ids, 2, BOOKS_CHANGED_CODE_CHANGED};
    std::vector<int> told;
    EXPECT_CALL(sink, OnBooksChanged(_, 2)).WillOnce(Invoke([&](const int* p, int n) {
        told.assign(p, p + n);
    }));
    const int refreshes = Matrix()->UpdateBookInfoCalls();

    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report)), 0);
    // The report is the sender's again once the message returned.
    ids[0] = ids[1] = 999;
    ASSERT_TRUE(WaitUntil([&] { return Matrix()->UpdateBookInfoCalls() == refreshes + 2; }));
    EXPECT_EQ(told, (std::vector<int>{102, 104}));
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(lookedUp, (std::vector<int>{102, 104}));
    }
}

TEST_F(FlowTest, BooksChangedReportIsAnsweredByCodeAndABrokenReportTouchesNothing) {
    EXPECT_CALL(sink, OnBooksChanged(nullptr, 0));
    const int refreshes = Matrix()->UpdateBookInfoCalls();
    int32_t ids[] = {101};
    BOOKS_CHANGED_REPORT report = {0, 0, nullptr, 0, BOOKS_CHANGED_CODE_CHANGED};
    const auto send = [&](const BOOKS_CHANGED_REPORT* r) {
        return SendMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(r));
    };
    EXPECT_EQ(send(&report), 0);
    report.ids = ids;
    report.count = 1;
    report.code = 25;
    EXPECT_EQ(send(&report), 1);
    report.code = BOOKS_CHANGED_CODE_ACK;
    EXPECT_EQ(send(&report), 0);
    report.count = -3;
    EXPECT_EQ(send(&report), 0);
    EXPECT_EQ(send(nullptr), 1);
    report.ids = nullptr;
    report.count = 3;
    report.code = BOOKS_CHANGED_CODE_CHANGED;
    EXPECT_EQ(send(&report), 1);
    // A posted report may be freed by its sender before the window gets to it: it is not read.
    report.ids = ids;
    report.count = 1;
    PostMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
    Flush();
    EXPECT_EQ(Matrix()->UpdateBookInfoCalls(), refreshes);
}

TEST_F(FlowTest, AWindowResizedAwayFromItsDefaultSizeSnapsBackWhileAMoveIsKept) {
    // Show placed the window at its default rectangle.
    const RECT home = WindowRect(Hwnd());
    const int width = home.right - home.left;
    const int height = home.bottom - home.top;
    // Both sides changed, the width only, the height only.
    for (const RECT& resized :
         {RECT{40, 30, 740, 530}, RECT{home.left, home.top, home.right - 60, home.bottom},
          RECT{home.left, home.top, home.right, home.bottom - 40}}) {
        SetWindowPos(Hwnd(), nullptr, resized.left, resized.top, resized.right - resized.left,
                     resized.bottom - resized.top, SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_TRUE(WaitUntil([&] { return SameRect(WindowRect(Hwnd()), home); }))
            << "not snapped back from " << resized.right - resized.left << " x "
            << resized.bottom - resized.top << " to " << width << " x " << height;
    }

    MoveBy(Hwnd(), 15, 10);
    RECT moved = home;
    OffsetRect(&moved, 15, 10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(Hwnd()), moved));
}

TEST_F(FlowTest, TheBalloonFollowsTheAddBookButtonOnlyWhileAnEmptyShelfIsDraggedInShelfMode) {
    ShowModeFileGuard modeFile;
    ASSERT_TRUE(modeFile.Held());
    for (int id : kShelf) {
        store.RemoveItem(id);
        Window()->RemoveItem(id);
    }
    HWND balloon = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        balloon = module->FindWindowNamed(L"NoBookBalloon");
        return balloon && IsWindowVisible(balloon);
    }));
    auto* button = module->Control<IRefButtonInspect>("New_FolianBtn");
    ASSERT_NE(button, nullptr);
    const auto belowButton = [&] {
        const RECT b = WindowRect(button->ControlWindow());
        return RECT{b.left, b.bottom, b.left + 295, b.bottom + 95};
    };

    SendMessageW(Hwnd(), WM_ENTERSIZEMOVE, 0, 0);
    MoveBy(Hwnd(), 20, 10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(balloon), belowButton()));

    // Not while sizing.
    SendMessageW(Hwnd(), WM_EXITSIZEMOVE, 0, 0);
    RECT before = WindowRect(balloon);
    MoveBy(Hwnd(), 20, 10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(balloon), before));

    // Not in compact mode.
    Manager()->UserChooseMode(0);
    SendMessageW(Hwnd(), WM_ENTERSIZEMOVE, 0, 0);
    MoveBy(Hwnd(), -20, -10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(balloon), before));
    SendMessageW(Hwnd(), WM_EXITSIZEMOVE, 0, 0);

    // Not with a book on the shelf.
    store.AddItem(105);
    Window()->NotifyItem1001(105);
    Manager()->UserChooseMode(1);
    SendMessageW(Hwnd(), WM_ENTERSIZEMOVE, 0, 0);
    MoveBy(Hwnd(), -20, -10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(balloon), before));
    SendMessageW(Hwnd(), WM_EXITSIZEMOVE, 0, 0);
}

TEST_F(FlowTest, TheManagerMenuPopsUpAtTheCursorInCompactModeOnly) {
    ShowModeFileGuard modeFile;
    ASSERT_TRUE(modeFile.Held());
    const int before = Manager()->PopupCount();
    SetCursorPos(300, 200);
    POINT cursor = {};
    GetCursorPos(&cursor);

    Window()->PopupManagerAtCursor(0);
    Flush();
    EXPECT_EQ(Manager()->PopupCount(), before);

    Manager()->UserChooseMode(0);
    Window()->PopupManagerAtCursor(0);
    Flush();
    ASSERT_EQ(Manager()->PopupCount(), before + 1);
    EXPECT_EQ(Manager()->LastPopupPoint().x, cursor.x);
    EXPECT_EQ(Manager()->LastPopupPoint().y, cursor.y);

    // A point left of and above the primary screen.
    PostMessageW(Hwnd(), WM_BOOKRACK_MANAGER_POPUP, 0, MAKELPARAM(-20, -10));
    Flush();
    EXPECT_EQ(Manager()->LastPopupPoint().x, -20);
    EXPECT_EQ(Manager()->LastPopupPoint().y, -10);
}

TEST_F(FlowTest, MinimizedFromTheManagerAndRestoredTheShelfIsShownAtItsDefaultPlace) {
    const RECT home = WindowRect(Hwnd());
    Manager()->UserMinimize();
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(Hwnd()) != FALSE; }));
    EXPECT_TRUE(Window()->IsShown());

    PostMessageW(Hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsIconic(Hwnd()); }));
    Flush();
    EXPECT_TRUE(Window()->IsShown());
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_TRUE(SameRect(WindowRect(Hwnd()), home));
}

} // namespace
} // namespace flows

// The window's own messages: the host's books-changed report, the window snapping back to its
// default size, the display mode and the balloon that follows the add-book button, the manager's
// menu, minimize and restore.
#include <shelftest/shelf.h>

#include <mutex>

using namespace shelftest;
using ::testing::_;
using ::testing::Invoke;

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
    EXPECT_EQ(Send(WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report)), 0);
    // The report is the sender's again once the message returned.
    ids[0] = ids[1] = 999;
    ASSERT_TRUE(WaitUntil([&] { return Matrix()->UpdateBookInfoCalls() == refreshes + 2; }));
    EXPECT_EQ(told, (std::vector<int>{102, 104}));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(lookedUp, (std::vector<int>{102, 104}));
}

TEST_F(FlowTest, BooksChangedReportIsAnsweredByCodeAndABrokenReportTouchesNothing) {
    EXPECT_CALL(sink, OnBooksChanged(nullptr, 0));
    const int refreshes = Matrix()->UpdateBookInfoCalls();
    int32_t ids[] = {101};
    const auto send = [this](int32_t* array, int32_t count, int32_t code) {
        BOOKS_CHANGED_REPORT report = {0, 0, array, count, code};
        return Send(WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
    };
    EXPECT_EQ(send(nullptr, 0, BOOKS_CHANGED_CODE_CHANGED), 0);
    EXPECT_EQ(send(ids, 1, 25), 1);
    EXPECT_EQ(send(ids, 1, BOOKS_CHANGED_CODE_ACK), 0);
    EXPECT_EQ(send(ids, -3, BOOKS_CHANGED_CODE_ACK), 0);
    EXPECT_EQ(send(nullptr, 3, BOOKS_CHANGED_CODE_CHANGED), 1);
    EXPECT_EQ(Send(WM_BOOKRACK_BOOKS_CHANGED, 0, 0), 1);
    // A posted report may be freed by its sender before the window gets to it: it is not read.
    BOOKS_CHANGED_REPORT posted = {0, 0, ids, 1, BOOKS_CHANGED_CODE_CHANGED};
    PostMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&posted));
    Flush();
    EXPECT_EQ(Matrix()->UpdateBookInfoCalls(), refreshes);
}

TEST_F(FlowTest, AWindowResizedAwayFromItsDefaultSizeSnapsBackWhileAMoveIsKept) {
    const RECT home = WindowRect(Hwnd()); // Show placed the window at its default rectangle
    // Both sides changed, the width only, the height only.
    for (const RECT& resized :
         {RECT{40, 30, 740, 530}, RECT{home.left, home.top, home.right - 60, home.bottom},
          RECT{home.left, home.top, home.right, home.bottom - 40}}) {
        SetWindowPos(Hwnd(), nullptr, resized.left, resized.top, resized.right - resized.left,
                     resized.bottom - resized.top, SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_TRUE(WaitUntil([&] { return SameRect(WindowRect(Hwnd()), home); }))
            << "not snapped back: " << resized.right - resized.left << "x" << resized.bottom - resized.top;
    }
    MoveBy(Hwnd(), 15, 10);
    RECT moved = home;
    OffsetRect(&moved, 15, 10);
    Flush();
    EXPECT_TRUE(SameRect(WindowRect(Hwnd()), moved));
}

TEST_F(FlowTest, TheBalloonShowsAndFollowsTheAddBookButtonOnlyForAnEmptyShelfInShelfMode) {
    ShowModeFileGuard modeFile;
    ASSERT_TRUE(modeFile.Held());
    Manager()->UserChooseMode(0);
    for (int id : kShelf) {
        store.RemoveItem(id);
        Window()->RemoveItem(id);
    }
    const auto balloon = [&] { return module->FindWindowNamed(L"NoBookBalloon"); };
    const auto balloonShown = [&] { return balloon() && IsWindowVisible(balloon()); };
    Flush();
    EXPECT_FALSE(balloonShown());
    Manager()->UserChooseMode(1);
    ASSERT_TRUE(WaitUntil(balloonShown));
    // A mode the manager does not know changes nothing, so the shelf can still be shown.
    EXPECT_EQ(Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 7, 0), 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    EXPECT_TRUE(balloonShown());
    EXPECT_TRUE(Window()->Show(false, nullptr));

    // Dragged by the user (in a size-move loop) or moved otherwise; where the balloon is afterwards.
    const auto move = [&](bool dragged, int dx) {
        if (dragged)
            SendMessageW(Hwnd(), WM_ENTERSIZEMOVE, 0, 0);
        MoveBy(Hwnd(), dx, dx / 2);
        Flush();
        SendMessageW(Hwnd(), WM_EXITSIZEMOVE, 0, 0);
        return WindowRect(balloon());
    };
    auto* button = module->Control<IRefButtonInspect>("New_FolianBtn");
    ASSERT_NE(button, nullptr);
    const RECT placed = move(true, 20);
    const RECT b = WindowRect(button->ControlWindow());
    EXPECT_TRUE(SameRect(placed, RECT{b.left, b.bottom, b.left + 295, b.bottom + 95}));
    EXPECT_TRUE(SameRect(move(false, 20), placed));
    Manager()->UserChooseMode(0);
    EXPECT_FALSE(balloonShown());
    EXPECT_TRUE(SameRect(move(true, -20), placed));
    store.AddItem(105);
    Window()->NotifyItem1001(105);
    Manager()->UserChooseMode(1);
    EXPECT_TRUE(SameRect(move(true, -20), placed));
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

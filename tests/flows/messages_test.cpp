// The window's own messages: the host's books-changed report, the window snapping back to its
// default size, the display mode and the balloon that follows the add-book button, the manager's
// menu, minimize and restore.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
    EXPECT_EQ(send(nullptr, 3, BOOKS_CHANGED_CODE_ACK), 1);
    EXPECT_EQ(Send(WM_BOOKRACK_BOOKS_CHANGED, 0, 0), 1);
    // Reports that cannot be read in this process (any program may send one): a wild address, ids
    // at a wild address, a count far beyond its one-element array. Broken, and nothing faults.
    EXPECT_EQ(Send(WM_BOOKRACK_BOOKS_CHANGED, 0, 0x10), 1);
    EXPECT_EQ(send(reinterpret_cast<int32_t*>(0x10), 1, BOOKS_CHANGED_CODE_CHANGED), 1);
    EXPECT_EQ(send(ids, 0x40000000, BOOKS_CHANGED_CODE_CHANGED), 1);
    // A posted report may be freed by its sender before the window gets to it: it is not read.
    BOOKS_CHANGED_REPORT posted = {0, 0, ids, 1, BOOKS_CHANGED_CODE_CHANGED};
    PostMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&posted));
    Flush();
    EXPECT_EQ(Matrix()->UpdateBookInfoCalls(), refreshes);
    // Nor is one sent without waiting for the answer: its sender may free it at once.
    SendNotifyMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&posted));
    Flush();
    EXPECT_EQ(Matrix()->UpdateBookInfoCalls(), refreshes);
}

// The messages the window thread's queue holds for hwnd in the module's range, left queued in order.
// Called on that thread.
size_t QueuedModuleMessages(HWND hwnd) {
    std::vector<MSG> taken;
    MSG msg;
    while (PeekMessageW(&msg, hwnd, WM_APP, 0xBFFF, PM_REMOVE))
        taken.push_back(msg);
    for (const MSG& m : taken)
        PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
    return taken.size();
}

TEST_F(FlowTest, AHugeReportSentFromInsideASinkCallbackRefreshesEveryBookInOrderThroughOneQueuedMessage) {
    constexpr int kCount = 20000;
    constexpr size_t kFewMessages = 2;
    std::vector<int32_t> ids(kCount);
    for (int i = 0; i < kCount; ++i)
        ids[i] = 1000 + (i * 7919) % kCount; // every id once, out of numeric order
    const HWND hwnd = Hwnd();
    std::mutex lock;
    std::vector<int> lookedUp;
    size_t mostQueued = 0;
    store.SetGetItemHook([&](int id) {
        size_t seen = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            lookedUp.push_back(id);
            seen = lookedUp.size();
        }
        if (seen % 1000 == 0) {
            const size_t queued = QueuedModuleMessages(hwnd);
            std::lock_guard<std::mutex> guard(lock);
            mostQueued = std::max(mostQueued, queued);
        }
    });
    // The host reports from inside a callback on the window's own thread.
    std::atomic<LRESULT> answer{-1};
    std::atomic<size_t> queuedAfterReport{0};
    EXPECT_CALL(sink, OpenBook(101, 0)).WillOnce(Invoke([&](int, int) {
        const BOOKS_CHANGED_REPORT report = {0, 0, ids.data(), kCount, BOOKS_CHANGED_CODE_CHANGED};
        answer = SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
        queuedAfterReport = QueuedModuleMessages(hwnd);
    }));
    BOOK_INFO book;
    book.strAppId = "101";
    Notify(VEXIL_NOTIFY_OPEN_BOOK, 0, reinterpret_cast<LPARAM>(&book));
    ASSERT_TRUE(WaitUntil([&] { return answer.load() != -1; }));
    ASSERT_EQ(answer.load(), 0) << "a report from the window's own thread was not read";
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(lock);
            return lookedUp.size() >= ids.size();
        },
        30000));
    EXPECT_LE(queuedAfterReport.load(), kFewMessages);
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_LE(mostQueued, kFewMessages);
        EXPECT_TRUE(std::equal(lookedUp.begin(), lookedUp.end(), ids.begin(), ids.end()))
            << "refreshed out of order or more than once";
    }
    store.SetGetItemHook(nullptr);

    // Right after it, signing in twice in a row shows the second account, and Close ends the window.
    Window()->Login("yan@example.com", "", "Yan", 0);
    Window()->Login("zed@example.com", "", "Zed", 0);
    Flush();
    EXPECT_EQ(Manager()->UserName(), "Zed");
    Window()->Close();
    EXPECT_FALSE(Window()->IsWindowAlive());
}

TEST_F(FlowTest, AKernelErrorOrABatchStartThatTheModuleDidNotQueueDoesNothing) {
    EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
    Matrix()->SetSelection({101, 102});
    const struct {
        UINT msg;
        WPARAM wParam;
    } foreign[] = {{WM_VEXIL_CREATE_ERROR, static_cast<WPARAM>(VEXIL_ERR_CONTROL_FAILED)},
                   {WM_BOOKRACK_BATCH_DELETE, 0},
                   {WM_BOOKRACK_BATCH_DELETE, 1}};
    for (const auto& f : foreign) {
        SCOPED_TRACE(f.msg);
        PostMessageW(Hwnd(), f.msg, f.wParam, 0);
        Flush();
        if (!WindowsOfClass(L"#32770").empty()) {
            // Answered, the notice would end this process with exit code 0, as if the test passed.
            ADD_FAILURE() << "the damaged-installation notice was shown";
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        EXPECT_TRUE(Window()->IsWindowAlive());
        EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
        EXPECT_EQ(PatchDelWindow(), nullptr);
    }
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

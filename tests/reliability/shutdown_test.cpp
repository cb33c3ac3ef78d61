// Closing the shelf while it works: while the loader asks a slow host for covers and a batch delete
// paces, while a host callback takes seconds, and from inside the loader's own cover request. Close
// returns, every thread of the module ends well, no window is left, and Show builds a new shelf.
#include <shelftest/shelf.h>
#include <uiassist/scopedhandle.h>

#include <atomic>

using namespace shelftest;
using ::testing::_;

namespace {

// Waits (up to ms) until another thread's message to this thread is waiting to be delivered.
void WaitForSentMessage(DWORD ms) {
    for (const ULONGLONG deadline = GetTickCount64() + ms;
         (GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) == 0 && GetTickCount64() < deadline;)
        Sleep(5);
}

// True when the thread that ran the window has ended, and not by being killed.
bool EndedWell(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) && code == 0;
}

HANDLE OpenWindowThread(HWND hwnd) {
    return OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                      GetWindowThreadProcessId(hwnd, nullptr));
}

class Shutdown : public ShelfTest {
protected:
    // Makes ids the store's shelf and hands sink and store to the window without showing it.
    void Attach(const std::vector<int>& ids) {
        store.SetShelfWithItems(kShelfKey, ids);
        ShelfTest::Attach();
        module->Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    }
    Watchdog watchdog{"a close", 60000};
};

} // namespace

TEST_F(Shutdown, CloseWhileTheLoaderAndABatchDeleteWorkEndsThemAndShowBuildsANewShelf) {
    constexpr int kBooks = 400;
    std::vector<int> ids;
    for (int i = 0; i < kBooks; ++i)
        ids.push_back(8300001 + i);
    Event coverAsked, deleting;
    std::atomic<int> coverRequests{0};
    // A slow host: the loader is still busy when Close comes.
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([&](HWND, const wchar_t*, int) {
        ++coverRequests;
        coverAsked.Set();
        Sleep(10);
    });
    ON_CALL(sink, ToggleBookOption(_)).WillByDefault(::testing::Return(true));
    ON_CALL(sink, DeleteBook(_, _)).WillByDefault([&](int, int) { deleting.Set(); });
    const std::set<DWORD> threadsBefore = ThreadIds();
    ShowShelf(ids);
    ASSERT_TRUE(coverAsked.IsSet(kDefaultWaitMs));
    const std::set<DWORD> windowAndLoader = NewThreads(threadsBefore);

    Matrix()->SetSelection({ids[0], ids[1], ids[2], ids[3], ids[4]});
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(deleting.IsSet(kDefaultWaitMs));
    ASSERT_EQ(Window()->IsBatchDeleteBusy(), 1);
    ASSERT_LT(coverRequests.load(), kBooks) << "the loader finished before Close came";
    const std::set<DWORD> working = NewThreads(threadsBefore);
    ASSERT_GE(working.size(), windowAndLoader.size() + 1) << "no batch-delete worker runs";

    const ULONGLONG start = GetTickCount64();
    Window()->Close();
    EXPECT_LT(GetTickCount64() - start, 3000u) << "Close waited for the loader to finish";
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty()) << "a window of the module outlived Close";
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    // Close waits for the window thread and the loader; the batch worker ends right behind them.
    EXPECT_TRUE(StillRunning(windowAndLoader).empty()) << "the window thread or the loader outlived Close";
    EXPECT_TRUE(WaitForThreadsGone(working)) << "the batch-delete worker outlived Close";
    const int requestsAfterClose = coverRequests.load();

    ShowShelf(ids);
    EXPECT_EQ(WindowsOfClass(L"VexilWindow").size(), 1u);
    EXPECT_EQ(Manager()->BookCount(), kBooks) << "the new shelf does not count its books";
    EXPECT_TRUE(WaitUntil([&] { return coverRequests.load() > requestsAfterClose; }));
    Window()->Close();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
}

TEST_F(Shutdown, CloseWaitsForAHostCallbackHoweverLongItTakesAndNeverKillsTheWindowThread) {
    const std::vector<int> ids = {8300501, 8300502};
    Attach(ids);
    Event holding, slowEntered, slowFinished;
    std::atomic<bool> hold{true};
    std::atomic<bool> slow{false};
    // The first cover request keeps the window thread until a sent message (Close's) waits for it,
    // so that everything Close sends and posts queues up behind two sign-ins posted just before.
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([&](HWND, const wchar_t*, int) {
        if (hold.exchange(false)) {
            holding.Set();
            WaitForSentMessage(kDefaultWaitMs);
        }
    });
    // The first sign-in's host returns once a message is sent to the window thread; the second one
    // takes 8 s over a book it cannot resolve.
    std::atomic<int> slowCalls{0};
    ON_CALL(sink, OnMissingBooks(_)).WillByDefault([&](const std::set<unsigned long>*) {
        if (!slow.load())
            return;
        if (++slowCalls == 1) {
            WaitForSentMessage(500);
            return;
        }
        slowEntered.Set();
        Sleep(8000);
        slowFinished.Set();
    });
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(holding.IsSet(kDefaultWaitMs));
    const vexil::ScopedHandle windowThread(OpenWindowThread(Hwnd()));
    ASSERT_TRUE(windowThread.valid());

    store.RemoveItem(ids[1]);
    slow = true;
    Window()->Login("first@example", "key", "First", 0);
    Window()->Login("second@example", "key", "Second", 0);
    std::thread([&] { Window()->Close(); }).join();
    EXPECT_TRUE(slowEntered.IsSet()) << "the slow callback never ran";
    EXPECT_TRUE(slowFinished.IsSet()) << "Close returned before the callback";
    EXPECT_TRUE(EndedWell(windowThread.get())) << "the window thread outlived Close or was killed";
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(Window()->IsWorkerRunning(), 0);

    slow = false;
    ShowShelf(ids);
    Window()->Close();
}

TEST_F(Shutdown, AStopDeliveredInsideTheLoadersOwnCoverRequestDoesNotHangTheWindowThread) {
    const std::vector<int> ids = {8300601, 8300602, 8300603};
    Attach(ids);
    Event inRequest;
    std::atomic<bool> stopSeen{false};
    // Inside the loader's first cover request, the host pumps its sent messages (as a host that
    // talks to its own windows does) until the Close another of its threads is in has stopped the
    // loader from within this very request.
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([&](HWND, const wchar_t*, int id) {
        if (id != ids[0] || stopSeen.load())
            return;
        inRequest.Set();
        for (const ULONGLONG deadline = GetTickCount64() + kDefaultWaitMs;
             Window()->IsWorkerRunning() != 0 && GetTickCount64() < deadline;) {
            MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        stopSeen = Window()->IsWorkerRunning() == 0;
    });
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(inRequest.IsSet(kDefaultWaitMs));
    const vexil::ScopedHandle windowThread(OpenWindowThread(Hwnd()));
    ASSERT_TRUE(windowThread.valid());
    Window()->Close();
    EXPECT_TRUE(stopSeen.load()) << "the stop did not reach the window inside the request";
    EXPECT_TRUE(EndedWell(windowThread.get()));
    EXPECT_FALSE(Window()->IsWindowAlive());
}

// Closing the shelf while both of its workers are busy: the loader is asking a slow host for covers
// and a batch delete is pacing through the selection. Close returns within a bound, both workers and
// the window thread end, no window of the module is left, and Show builds a new shelf afterwards.
#include <shelftest/shelf.h>

#include <atomic>

using namespace shelftest;

namespace {

constexpr int kShelfKey = 7;
constexpr int kBooks = 400;
constexpr int kFirstId = 8300001;
// A slow host: every cover request takes this long, so the loader is still busy when Close comes.
constexpr DWORD kCoverRequestMs = 10;
constexpr ULONGLONG kCloseBoundMs = 3000;

} // namespace

TEST(Shutdown, CloseWhileTheLoaderAndABatchDeleteWorkEndsThemAndShowBuildsANewShelf) {
    Watchdog watchdog("the shutdown test", 60000);
    FakeShelfStore store;
    std::vector<int> ids;
    for (int i = 0; i < kBooks; ++i)
        ids.push_back(kFirstId + i);
    store.SetShelfWithItems(kShelfKey, ids);

    HostSink sink;
    HANDLE coverAsked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE deleting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> coverRequests{0};
    sink.requestCover = [&](HWND, const wchar_t*, int) {
        ++coverRequests;
        SetEvent(coverAsked);
        WaitForSingleObject(never, kCoverRequestMs);
    };
    sink.deleteBook = [&](int, int) { SetEvent(deleting); };

    const std::set<DWORD> threadsBefore = ThreadIds();
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));
    const HWND hwnd = window->GetHwnd();
    ASSERT_EQ(WaitForSingleObject(coverAsked, kDefaultWaitMs), WAIT_OBJECT_0);
    // The window thread and the loader.
    const std::set<DWORD> windowAndLoader = NewThreads(threadsBefore);

    module.Matrix()->SetSelection({kFirstId, kFirstId + 1, kFirstId + 2, kFirstId + 3, kFirstId + 4});
    module.Manager()->UserAskBatchDelete();
    ASSERT_EQ(WaitForSingleObject(deleting, kDefaultWaitMs), WAIT_OBJECT_0);
    ASSERT_EQ(window->IsBatchDeleteBusy(), 1);
    ASSERT_LT(coverRequests.load(), kBooks) << "the loader finished before Close came";
    const std::set<DWORD> working = NewThreads(threadsBefore);
    ASSERT_GE(working.size(), windowAndLoader.size() + 1) << "no batch-delete worker runs";

    const ULONGLONG start = GetTickCount64();
    window->Close();
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LT(took, kCloseBoundMs) << "Close took " << took << " ms";
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty()) << "a window of the module outlived Close";
    EXPECT_EQ(window->IsBatchDeleteBusy(), 0);
    // Close waits for the window thread and the loader; the batch worker ends right behind them.
    EXPECT_TRUE(StillRunning(windowAndLoader).empty()) << "the window thread or the loader outlived Close";
    EXPECT_TRUE(WaitForThreadsGone(working)) << "the batch-delete worker outlived Close";
    const int requestsAfterClose = coverRequests.load();

    // A new shelf, loaded again from the store.
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));
    EXPECT_TRUE(IsWindowVisible(window->GetHwnd()));
    EXPECT_EQ(WindowsOfClass(L"VexilWindow").size(), 1u);
    EXPECT_EQ(module.Manager()->BookCount(), kBooks) << "the new shelf does not count its books";
    EXPECT_TRUE(WaitUntil([&] { return coverRequests.load() > requestsAfterClose; }));
    window->Close();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
    CloseHandle(coverAsked);
    CloseHandle(deleting);
    CloseHandle(never);
}

namespace {

// A handle to the thread that runs the window, to read how it ended.
HANDLE OpenWindowThread(HWND hwnd) {
    return OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                      GetWindowThreadProcessId(hwnd, nullptr));
}

DWORD ExitCodeOf(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    return code;
}

} // namespace

TEST(Shutdown, CloseWaitsForAHostCallbackHoweverLongItTakesAndNeverKillsTheWindowThread) {
    Watchdog watchdog("the slow-callback close", 60000);
    constexpr DWORD kCallbackMs = 8000;
    const std::vector<int> ids = {8300501, 8300502};
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, ids);
    HostSink sink;
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE slowEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE slowFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> hold{true};
    std::atomic<bool> slow{false};
    // The first cover request keeps the window thread until a sent message (Close's) waits for it,
    // so that everything Close sends and posts queues up behind a sign-in posted just before.
    sink.requestCover = [&](HWND, const wchar_t*, int) {
        if (!hold.exchange(false))
            return;
        SetEvent(holding);
        const ULONGLONG deadline = GetTickCount64() + kDefaultWaitMs;
        while ((GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) == 0 && GetTickCount64() < deadline)
            WaitForSingleObject(never, 5);
    };
    // Two sign-ins queued ahead of the window's WM_CLOSE: the first load's host is quick (it returns
    // as soon as a message is sent to the window thread), the second one takes its time over a book
    // it cannot resolve.
    std::atomic<int> slowCalls{0};
    sink.onMissingBooks = [&](const std::set<unsigned long>*) {
        if (!slow.load())
            return;
        if (++slowCalls == 1) {
            const ULONGLONG deadline = GetTickCount64() + 500;
            while ((GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) == 0 && GetTickCount64() < deadline)
                WaitForSingleObject(never, 5);
            return;
        }
        SetEvent(slowEntered);
        WaitForSingleObject(never, kCallbackMs);
        SetEvent(slowFinished);
    };

    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, kShelfKey);
    ASSERT_TRUE(window->Show(true, nullptr));
    ASSERT_EQ(WaitForSingleObject(holding, kDefaultWaitMs), WAIT_OBJECT_0);
    HANDLE windowThread = OpenWindowThread(window->GetHwnd());
    ASSERT_NE(windowThread, nullptr);

    store.RemoveItem(ids[1]);
    slow = true;
    window->Login("first@example", "key", "First", 0);
    window->Login("second@example", "key", "Second", 0);
    std::thread closer([&] { window->Close(); });
    closer.join();
    EXPECT_EQ(WaitForSingleObject(slowEntered, 0), WAIT_OBJECT_0) << "the slow callback never ran";
    EXPECT_EQ(WaitForSingleObject(slowFinished, 0), WAIT_OBJECT_0) << "Close returned before the callback";
    ASSERT_EQ(WaitForSingleObject(windowThread, 0), WAIT_OBJECT_0) << "the window thread outlived Close";
    EXPECT_EQ(ExitCodeOf(windowThread), 0u) << "the window thread was killed";
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());
    EXPECT_EQ(window->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(window->IsWorkerRunning(), 0);

    slow = false;
    store.AddItem(ids[1]);
    EXPECT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));
    window->Close();
    CloseHandle(windowThread);
    for (HANDLE event : {holding, slowEntered, slowFinished, never})
        CloseHandle(event);
}

TEST(Shutdown, AStopDeliveredInsideTheLoadersOwnCoverRequestDoesNotHangTheWindowThread) {
    Watchdog watchdog("the nested stop", 60000);
    const std::vector<int> ids = {8300601, 8300602, 8300603};
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, ids);
    HostSink sink;
    HANDLE inRequest = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> stopSeen{false};
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    // Inside the loader's first cover request, the host pumps its sent messages (as a host that
    // talks to its own windows does) until the Close another of its threads is in has stopped the
    // loader from within this very request.
    sink.requestCover = [&](HWND, const wchar_t*, int id) {
        if (id != ids[0] || stopSeen.load())
            return;
        SetEvent(inRequest);
        const ULONGLONG deadline = GetTickCount64() + kDefaultWaitMs;
        while (window->IsWorkerRunning() != 0 && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        stopSeen = window->IsWorkerRunning() == 0;
    };
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, kShelfKey);
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    ASSERT_TRUE(window->Show(true, nullptr));
    ASSERT_EQ(WaitForSingleObject(inRequest, kDefaultWaitMs), WAIT_OBJECT_0);
    HANDLE windowThread = OpenWindowThread(window->GetHwnd());
    window->Close();
    EXPECT_TRUE(stopSeen.load()) << "the stop did not reach the window inside the request";
    ASSERT_NE(windowThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(windowThread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(windowThread), 0u);
    EXPECT_FALSE(window->IsWindowAlive());
    CloseHandle(windowThread);
    CloseHandle(inRequest);
}

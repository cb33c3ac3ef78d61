// Closing the shelf while both of its workers are busy: the loader is asking a slow host for covers
// and a batch delete is pacing through the selection. Close returns within a bound, both workers and
// the window thread end, no window of the module is left, and Show builds a new shelf afterwards.
#include "reliability.h"

#include <atomic>

using namespace shelftest;
using namespace reliability;

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

    Matrix(module)->SetSelection({kFirstId, kFirstId + 1, kFirstId + 2, kFirstId + 3, kFirstId + 4});
    Manager(module)->UserAskBatchDelete();
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
    EXPECT_EQ(Manager(module)->BookCount(), kBooks) << "the new shelf does not count its books";
    EXPECT_TRUE(WaitUntil([&] { return coverRequests.load() > requestsAfterClose; }));
    window->Close();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
    CloseHandle(coverAsked);
    CloseHandle(deleting);
    CloseHandle(never);
}

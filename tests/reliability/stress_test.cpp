// Four host threads call the interface at random for a few seconds: once while the host keeps its
// store consistent as a real host does (a book enters the store before the shelf hears of it and
// leaves it before the shelf is told), once while they close the window and build it anew. Afterwards
// nothing hangs, no batch counts as running, no thread of the module is left, and the shelf holds
// exactly the store's books.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <shared_mutex>

using namespace shelftest;

namespace {

constexpr int kShelfKey = 7;

// The host's store and the ids of its shelf, changed by the host threads and, through the sink's
// DeleteBook, by the window thread. Never held while calling the module.
class Host {
public:
    explicit Host(FakeShelfStore& store) : m_store(store) {}
    void Add(int id) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_store.AddItem(id);
        m_ids.push_back(id);
        m_store.SetShelf(kShelfKey, m_ids);
    }
    void Remove(int id) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ids.erase(std::remove(m_ids.begin(), m_ids.end(), id), m_ids.end());
        m_store.RemoveItem(id);
        m_store.SetShelf(kShelfKey, m_ids);
    }
    std::vector<int> Ids() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_ids;
    }

private:
    std::mutex m_lock;
    FakeShelfStore& m_store;
    std::vector<int> m_ids;
};

// Up to count ids picked from ids.
std::vector<int> Pick(std::mt19937& rng, const std::vector<int>& ids, size_t count) {
    std::vector<int> picked;
    for (size_t i = 0; i < count && !ids.empty(); ++i)
        picked.push_back(ids[rng() % ids.size()]);
    return picked;
}

// Calls action on four host threads, each with a random generator of its own, until ms passed.
void Storm(ULONGLONG ms, const std::function<void(std::mt19937& rng)>& action) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    std::vector<std::thread> threads;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        threads.emplace_back([&, seed] {
            std::mt19937 rng(7919u * seed);
            while (GetTickCount64() < deadline)
                action(rng);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

std::vector<int> Sorted(std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

TEST(Stress, FourHostThreadsCallingAtRandomLeaveTheShelfEqualToTheStore) {
    ExpectDiagnosticReports(); // Show is refused (and reported) whenever it meets a running batch delete
    Watchdog watchdog("the stress test", 120000);
    ShowModeFileGuard showModeFile; // display modes chosen during the storm are saved
    ASSERT_TRUE(showModeFile.Held());
    // High ids: the library folder is shared, and no cover file of another test may match "<id>.*".
    constexpr int kFirstId = 8100001;
    HostSink sink;
    FakeShelfStore store;
    Host host(store);
    for (int i = 0; i < 20; ++i)
        host.Add(kFirstId + i);
    std::atomic<int> batchDeletes{0};
    sink.deleteBook = [&](int id, int flag) {
        batchDeletes += flag == 1 ? 1 : 0;
        host.Remove(id);
    };
    const std::set<DWORD> threadsBefore = ThreadIds();
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, host.Ids()));
    const HWND hwnd = window->GetHwnd();
    IRefBookMatrixInspect* matrix = module.Matrix();
    IRefManagerInspect* manager = module.Manager();

    // How often each host call comes, one letter per chance: arrivals, removals, books-changed
    // reports, sign-in/out (rare: each reloads the shelf), show/hide, tips, manager popup, batch
    // delete, reads.
    constexpr char kActions[] = "aaaaaaaarrrrrrrrccccllsssstttpppddxxxx";
    // Sent messages go before posted ones, so four threads that keep sending would hold back the
    // posted start of a batch delete until after the storm. The user's request therefore comes while
    // the host pauses (the gate is taken exclusively) and the window catches up.
    std::shared_mutex gate;
    std::atomic<int> nextId{kFirstId + 100000};
    Storm(6000, [&](std::mt19937& rng) {
        const char action = kActions[rng() % (sizeof(kActions) - 1)];
        if (action == 'd') { // the user deletes a few selected books through the manager
            std::unique_lock<std::shared_mutex> paused(gate);
            if (window->IsBatchDeleteBusy() == 0 && Flush(hwnd)) {
                matrix->SetSelection(Pick(rng, matrix->Ids(), 1 + rng() % 3));
                manager->UserAskBatchDelete();
                Flush(hwnd);
            }
            return;
        }
        std::shared_lock<std::shared_mutex> calling(gate);
        const int open = static_cast<int>(rng() % 2);
        if (action == 'a') { // a new book arrives, by any of the five events
            const int id = nextId++;
            host.Add(id);
            const std::function<void()> arrivals[] = {
                [&] { window->NotifyItem1001(id); }, [&] { window->NotifyItem1002(id); },
                [&] { window->NotifyItem1003(id, open); }, [&] { window->NotifyItem1004(id, open); },
                [&] { window->NotifyItem1005(id, open); }};
            arrivals[rng() % 5]();
        } else if (action == 'r') { // a book goes away
            for (int id : Pick(rng, host.Ids(), 1)) {
                host.Remove(id);
                window->RemoveItem(id);
            }
        } else if (action == 'c') { // books changed
            std::vector<int32_t> ids;
            for (int id : Pick(rng, host.Ids(), 1 + rng() % 4))
                ids.push_back(id);
            BOOKS_CHANGED_REPORT report = {0, 0, ids.data(), static_cast<int32_t>(ids.size()),
                                           BOOKS_CHANGED_CODE_CHANGED};
            SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
        } else if (action == 'l') {
            const char* accounts[] = {"reader.a@example", "reader.b@example", nullptr};
            if (const char* account = accounts[rng() % 3])
                window->Login(account, "key", open ? "Reader" : "KelvoU1234", 0);
            else
                window->Logout(0);
        } else if (action == 's') {
            if (open)
                window->Show(rng() % 2 == 0, nullptr);
            else
                window->Hide();
        } else if (action == 't') {
            open ? window->RefreshTips() : window->ShowNoBookTips();
        } else if (action == 'p') {
            if (rng() % 4 == 0)
                manager->UserChooseMode(open);
            window->PopupManagerAtCursor(0);
        } else {
            window->IsShown();
            window->IsWorkerRunning();
            window->GetSelection();
        }
    });

    // Quiet again: every batch ended, everything posted was handled.
    ASSERT_TRUE(window->IsWindowAlive());
    ASSERT_TRUE(WaitUntil([&] { return window->IsBatchDeleteBusy() == 0 && Flush(hwnd); }, 30000))
        << "a batch delete never ended, or the window stopped taking its messages";
    EXPECT_GT(batchDeletes.load(), 0) << "no batch delete ran during the storm";
    EXPECT_EQ(Sorted(matrix->Ids()), Sorted(host.Ids())) << "the shelf lost or kept books the store did not";

    // A final sign-in reloads the store's shelf, and its loader ends on its own.
    const int loads = matrix->SetBooksCalls();
    window->Logout(0);
    window->Login("final@example", "key", "Final", 0);
    ASSERT_TRUE(WaitUntil([&] { return matrix->SetBooksCalls() >= loads + 2; }));
    ASSERT_TRUE(Flush(hwnd));
    EXPECT_EQ(matrix->Ids(), host.Ids());
    EXPECT_EQ(manager->UserName(), "Final");
    const std::set<DWORD> windowThread = {GetWindowThreadProcessId(hwnd, nullptr)};
    EXPECT_TRUE(WaitUntil([&] { return NewThreads(threadsBefore) == windowThread; }))
        << "still running besides the window thread: " << DescribeThreads(NewThreads(threadsBefore));
    window->Close();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
}

TEST(Stress,
     FourHostThreadsShowingHidingClosingAndSigningInWhileTheWindowIsRebuiltLeaveControlsToTheWindowThread) {
    Watchdog watchdog("the close-and-rebuild storm", 120000);
    // A Show that meets a window on its way out is refused and reported; a thread check never may.
    ExpectDiagnosticReports();
    ShowModeFileGuard showModeFile; // every window the storm closes saves the display mode
    ASSERT_TRUE(showModeFile.Held());
    const std::vector<int> ids = {8100901, 8100902, 8100903, 8100904};
    HostSink sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, ids);
    const std::set<DWORD> threadsBefore = ThreadIds();
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));

    std::mutex shownLock;
    std::set<HWND> shownWindows;
    std::atomic<int> closes{0};
    Storm(4000, [&](std::mt19937& rng) {
        switch (rng() % 5) {
        case 0:
            if (window->Show(rng() % 2 == 0, nullptr)) {
                std::lock_guard<std::mutex> guard(shownLock);
                shownWindows.insert(window->GetHwnd());
            }
            break;
        case 1:
            window->Hide();
            break;
        case 2:
            window->Close();
            ++closes;
            break;
        case 3:
            window->GetSelection();
            break;
        default:
            const std::string account = "reader." + std::to_string(rng() % 3) + "@example";
            window->Login(account.c_str(), "key", "Reader", 0);
            break;
        }
    });
    EXPECT_GT(closes.load(), 0);
    EXPECT_GE(shownWindows.size(), 2u) << "the window was never rebuilt";

    // The shelf still works: shown again, it holds the store's books, and Close ends every thread.
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));
    window->Close();
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)))
        << "still running: " << DescribeThreads(NewThreads(threadsBefore));
}

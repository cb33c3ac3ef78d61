// Four host threads call the interface at random for a few seconds while the host keeps its store
// consistent, as a real host does: a book enters the store before the shelf hears of it and leaves it
// before the shelf is told. Afterwards nothing hangs, no batch counts as running, no loader is left,
// and the shelf holds exactly the store's books.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>

using namespace shelftest;

namespace {

constexpr int kShelfKey = 7;
// High ids: the library folder is shared, and no cover file of another test may match "<id>.*".
constexpr int kFirstId = 8100001;
constexpr int kFirstBooks = 20;
constexpr int kHostThreads = 4;
constexpr ULONGLONG kStormMs = 6000;
// How often each host call comes, one letter per chance: arrivals, removals, books-changed reports,
// sign-in/out, show/hide, tips, manager popup, batch delete, reads. Sign-ins are rare: each reloads
// the whole shelf.
constexpr char kActions[] = "aaaaaaaarrrrrrrrccccllsssstttpppddxxxx";

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

std::vector<int> Sorted(std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Up to count ids picked from ids.
std::vector<int> Pick(std::mt19937& rng, const std::vector<int>& ids, size_t count) {
    std::vector<int> picked;
    for (size_t i = 0; i < count && !ids.empty(); ++i)
        picked.push_back(ids[rng() % ids.size()]);
    return picked;
}

} // namespace

TEST(Stress, FourHostThreadsCallingAtRandomLeaveTheShelfEqualToTheStore) {
    // Show is refused (and reported) whenever it meets a running batch delete.
    shelftest::ExpectDiagnosticReports();
    Watchdog watchdog("the stress test", 120000);
    // Display modes chosen during the storm are saved to the shared display-mode file.
    ShowModeFileGuard showModeFile;
    ASSERT_TRUE(showModeFile.Held());

    HostSink sink;
    FakeShelfStore store;
    Host host(store);
    for (int i = 0; i < kFirstBooks; ++i)
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

    // Sent messages go before posted ones, so four threads that keep sending would hold back the
    // posted start of a batch delete until after the storm. The user's request therefore comes while
    // the host pauses (the gate is taken exclusively) and the window catches up.
    SRWLOCK gate = SRWLOCK_INIT;
    std::atomic<int> nextId{kFirstId + 100000};
    const ULONGLONG deadline = GetTickCount64() + kStormMs;
    const auto hostThread = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (GetTickCount64() < deadline) {
            const char action = kActions[rng() % (sizeof(kActions) - 1)];
            if (action == 'd') { // the user deletes a few selected books through the manager
                AcquireSRWLockExclusive(&gate);
                if (window->IsBatchDeleteBusy() == 0 && Flush(hwnd)) {
                    matrix->SetSelection(Pick(rng, matrix->Ids(), 1 + rng() % 3));
                    manager->UserAskBatchDelete();
                    Flush(hwnd);
                }
                ReleaseSRWLockExclusive(&gate);
                continue;
            }
            AcquireSRWLockShared(&gate);
            switch (action) {
            case 'a': { // a new book arrives
                const int id = nextId++;
                host.Add(id);
                const int open = static_cast<int>(rng() % 2);
                switch (rng() % 5) {
                case 0:
                    window->NotifyItem1001(id);
                    break;
                case 1:
                    window->NotifyItem1002(id);
                    break;
                case 2:
                    window->NotifyItem1003(id, open);
                    break;
                case 3:
                    window->NotifyItem1004(id, open);
                    break;
                default:
                    window->NotifyItem1005(id, open);
                    break;
                }
                break;
            }
            case 'r': { // a book goes away
                const std::vector<int> gone = Pick(rng, host.Ids(), 1);
                if (!gone.empty()) {
                    host.Remove(gone[0]);
                    window->RemoveItem(gone[0]);
                }
                break;
            }
            case 'c': { // books changed
                std::vector<int32_t> ids;
                for (int id : Pick(rng, host.Ids(), 1 + rng() % 4))
                    ids.push_back(id);
                BOOKS_CHANGED_REPORT report = {0, 0, ids.data(), static_cast<int32_t>(ids.size()),
                                               BOOKS_CHANGED_CODE_CHANGED};
                SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
                break;
            }
            case 'l':
                switch (rng() % 3) {
                case 0:
                    window->Login("reader.a@example", "key", "Reader A", 0);
                    break;
                case 1:
                    window->Login("reader.b@example", "key", "KelvoU1234", 0);
                    break;
                default:
                    window->Logout(0);
                    break;
                }
                break;
            case 's':
                if (rng() % 2)
                    window->Show(rng() % 2 == 0, nullptr);
                else
                    window->Hide();
                break;
            case 't':
                if (rng() % 2)
                    window->RefreshTips();
                else
                    window->ShowNoBookTips();
                break;
            case 'p':
                if (rng() % 4 == 0)
                    manager->UserChooseMode(static_cast<int>(rng() % 2));
                window->PopupManagerAtCursor(0);
                break;
            default:
                window->IsShown();
                window->IsWorkerRunning();
                window->GetSelection();
                break;
            }
            ReleaseSRWLockShared(&gate);
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kHostThreads; ++i)
        threads.emplace_back(hostThread, 7919u * static_cast<unsigned>(i + 1));
    for (std::thread& thread : threads)
        thread.join();

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
    EXPECT_EQ(window->IsBatchDeleteBusy(), 0);
    const std::set<DWORD> windowThread = {GetWindowThreadProcessId(hwnd, nullptr)};
    EXPECT_TRUE(WaitUntil([&] { return NewThreads(threadsBefore) == windowThread; }))
        << "still running besides the window thread: " << DescribeThreads(NewThreads(threadsBefore));

    window->Close();
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
    module.Unload();
}

TEST(Stress,
     FourHostThreadsShowingHidingClosingAndSigningInWhileTheWindowIsRebuiltLeaveControlsToTheWindowThread) {
    Watchdog watchdog("the close-and-rebuild storm", 120000);
    // A Show that meets a window on its way out is refused and reported; a thread check never may.
    ExpectDiagnosticReports();
    // Every window the storm closes saves the display mode into the shared file.
    ShowModeFileGuard showModeFile;
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

    const char* const accounts[] = {"reader.a@example", "reader.b@example", "reader.c@example"};
    std::mutex shownLock;
    std::set<HWND> shownWindows;
    std::atomic<int> closes{0};
    const ULONGLONG deadline = GetTickCount64() + 4000;
    const auto hostThread = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (GetTickCount64() < deadline) {
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
                window->Login(accounts[rng() % 3], "key", "Reader", 0);
                break;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kHostThreads; ++i)
        threads.emplace_back(hostThread, 104729u * static_cast<unsigned>(i + 1));
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_GT(closes.load(), 0);
    EXPECT_GE(shownWindows.size(), 2u) << "the window was never rebuilt";

    // The shelf still works: shown again, it holds the store's books, and Close ends every thread.
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, ids));
    window->Close();
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)))
        << "still running: " << DescribeThreads(NewThreads(threadsBefore));
}

// Four host threads call the interface at random for a few seconds: once while the host keeps its
// store consistent as a real host does (a book enters the store before the shelf hears of it and
// leaves it before the shelf is told), once while they close the window and build it anew. Nothing
// hangs, no thread check fires, no batch counts as running afterwards, and the shelf holds exactly
// the store's books.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <shared_mutex>

using namespace shelftest;
using ::testing::_;

namespace {

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

// Up to count ids picked from ids.
std::vector<int> Pick(std::mt19937& rng, const std::vector<int>& ids, size_t count) {
    std::vector<int> picked;
    for (size_t i = 0; i < count && !ids.empty(); ++i)
        picked.push_back(ids[rng() % ids.size()]);
    return picked;
}

class Stress : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        // Show is refused (and reported) when it meets a running batch delete or a closing window.
        ExpectDiagnosticReports();
        ON_CALL(sink, ToggleBookOption(_)).WillByDefault(::testing::Return(true));
    }
    Watchdog watchdog{"a stress storm", 120000};
    ShowModeFileGuard showModeFile; // the storms choose display modes and close windows: both save it
    const std::set<DWORD> threadsBefore = ThreadIds();
};

} // namespace

TEST_F(Stress, FourHostThreadsCallingAtRandomLeaveTheShelfEqualToTheStore) {
    ASSERT_TRUE(showModeFile.Held());
    // The host's shelf, changed by the host threads and (through DeleteBook) the window thread. High
    // ids: the library folder is shared, and no cover file of another test may match "<id>.*".
    std::mutex hostLock;
    std::vector<int> shelf;
    for (int id = 8100001; id <= 8100020; ++id)
        shelf.push_back(id);
    const auto change = [&](int id, bool add) {
        std::lock_guard<std::mutex> guard(hostLock);
        shelf.erase(std::remove(shelf.begin(), shelf.end(), id), shelf.end());
        if (add) {
            store.AddItem(id);
            shelf.push_back(id);
        } else {
            store.RemoveItem(id);
        }
        store.SetShelf(kShelfKey, shelf);
    };
    const auto hostIds = [&] {
        std::lock_guard<std::mutex> guard(hostLock);
        return shelf;
    };
    std::atomic<int> batchDeletes{0};
    ON_CALL(sink, DeleteBook(_, _)).WillByDefault([&](int id, int flag) {
        batchDeletes += flag == 1 ? 1 : 0;
        change(id, false);
    });
    ShowShelf(shelf);
    CBookrackWindow* window = Window();
    const HWND hwnd = Hwnd();

    // How often each host call comes, one letter per chance: arrivals, removals, books-changed
    // reports, sign-in/out (rare: each reloads the shelf), show/hide, tips, manager popup, batch
    // delete, reads.
    constexpr char kActions[] = "aaaaaaaarrrrrrrrccccllsssstttpppddxxxx";
    // Sent messages go before posted ones, so four threads that keep sending would hold back the
    // posted start of a batch delete until after the storm. The user's request therefore comes while
    // the host pauses (the gate is taken exclusively) and the window catches up.
    std::shared_mutex gate;
    std::atomic<int> nextId{8200001};
    Storm(6000, [&](std::mt19937& rng) {
        const char action = kActions[rng() % (sizeof(kActions) - 1)];
        if (action == 'd') { // the user deletes a few selected books through the manager
            std::unique_lock<std::shared_mutex> paused(gate);
            if (window->IsBatchDeleteBusy() == 0 && shelftest::Flush(hwnd)) {
                Matrix()->SetSelection(Pick(rng, Matrix()->Ids(), 1 + rng() % 3));
                Manager()->UserAskBatchDelete();
                shelftest::Flush(hwnd);
            }
            return;
        }
        std::shared_lock<std::shared_mutex> calling(gate);
        const int flag = static_cast<int>(rng() % 2);
        if (action == 'a') { // a new book arrives, by any of the five events
            const int id = nextId++;
            change(id, true);
            const std::function<void()> arrivals[] = {
                [&] { window->NotifyItem1001(id); }, [&] { window->NotifyItem1002(id); },
                [&] { window->NotifyItem1003(id, flag); }, [&] { window->NotifyItem1004(id, flag); },
                [&] { window->NotifyItem1005(id, flag); }};
            arrivals[rng() % 5]();
        } else if (action == 'r') { // a book goes away
            for (int id : Pick(rng, hostIds(), 1)) {
                change(id, false);
                window->RemoveItem(id);
            }
        } else if (action == 'c') { // books changed
            std::vector<int32_t> ids;
            for (int id : Pick(rng, hostIds(), 1 + rng() % 4))
                ids.push_back(id);
            BOOKS_CHANGED_REPORT report = {0, 0, ids.data(), static_cast<int32_t>(ids.size()),
                                           BOOKS_CHANGED_CODE_CHANGED};
            SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
        } else if (action == 'l') {
            const char* accounts[] = {"reader.a@example", "reader.b@example", nullptr};
            if (const char* account = accounts[rng() % 3])
                window->Login(account, "key", flag ? "Reader" : "KelvoU1234", 0);
            else
                window->Logout(0);
        } else if (action == 's') {
            if (flag)
                window->Show(rng() % 2 == 0, nullptr);
            else
                window->Hide();
        } else if (action == 't') {
            if (flag)
                window->RefreshTips();
            else
                window->ShowNoBookTips();
        } else if (action == 'p') {
            if (rng() % 4 == 0)
                Manager()->UserChooseMode(flag);
            window->PopupManagerAtCursor(0);
        } else {
            window->IsShown();
            window->IsWorkerRunning();
            window->GetSelection();
        }
    });

    // Quiet again: every batch ended, everything posted was handled, the shelf is the store's.
    ASSERT_TRUE(WaitUntil([&] { return window->IsBatchDeleteBusy() == 0 && shelftest::Flush(hwnd); }, 30000))
        << "a batch delete never ended, or the window stopped taking its messages";
    EXPECT_GT(batchDeletes.load(), 0) << "no batch delete ran during the storm";
    std::vector<int> onShelf = Matrix()->Ids(), inStore = hostIds();
    std::sort(onShelf.begin(), onShelf.end());
    std::sort(inStore.begin(), inStore.end());
    EXPECT_EQ(onShelf, inStore) << "the shelf lost or kept books the store did not";
    // The last load's loader ended on its own.
    const std::set<DWORD> windowThread = {GetWindowThreadProcessId(hwnd, nullptr)};
    EXPECT_TRUE(WaitUntil([&] { return NewThreads(threadsBefore) == windowThread; }))
        << "still running besides the window thread: " << DescribeThreads(NewThreads(threadsBefore));
}

TEST_F(Stress,
       FourHostThreadsShowingHidingClosingAndSigningInWhileTheWindowIsRebuiltLeaveControlsToTheWindowThread) {
    ASSERT_TRUE(showModeFile.Held());
    const std::vector<int> ids = {8100901, 8100902, 8100903, 8100904};
    ShowShelf(ids);
    CBookrackWindow* window = Window();
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
    ShowShelf(ids);
    window->Close();
    EXPECT_FALSE(window->IsWindowAlive());
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)))
        << "still running: " << DescribeThreads(NewThreads(threadsBefore));
}

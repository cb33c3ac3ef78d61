// Four host threads show, hide, close, read and sign in at random for a few seconds while the window
// is closed and built anew: nothing hangs, no thread check fires, and the shelf works afterwards.
#include <shelftest/shelf.h>

#include <atomic>
#include <mutex>
#include <random>

using namespace shelftest;

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

class Stress : public ShelfTest {
protected:
    Watchdog watchdog{"a stress storm", 120000};
    ShowModeFileGuard showModeFile; // every window the storm closes saves the display mode
    const std::set<DWORD> threadsBefore = ThreadIds();
};

} // namespace

TEST_F(Stress,
       FourHostThreadsShowingHidingClosingAndSigningInWhileTheWindowIsRebuiltLeaveControlsToTheWindowThread) {
    ExpectDiagnosticReports(); // a Show that meets a closing window is refused and reported
    ASSERT_TRUE(showModeFile.Held());
    const std::vector<int> ids = {8100901, 8100902, 8100903, 8100904};
    ShowShelf(ids);
    std::mutex shownLock;
    std::set<HWND> shownWindows;
    std::atomic<int> closes{0};
    Storm(4000, [&](std::mt19937& rng) {
        switch (rng() % 5) {
        case 0:
            if (Window()->Show(rng() % 2 == 0, nullptr)) {
                std::lock_guard<std::mutex> guard(shownLock);
                shownWindows.insert(Window()->GetHwnd());
            }
            break;
        case 1:
            Window()->Hide();
            break;
        case 2:
            Window()->Close();
            ++closes;
            break;
        case 3:
            Window()->GetSelection();
            break;
        default:
            const std::string account = "reader." + std::to_string(rng() % 3) + "@example";
            Window()->Login(account.c_str(), "key", "Reader", 0);
            break;
        }
    });
    EXPECT_GT(closes.load(), 0);
    EXPECT_GE(shownWindows.size(), 2u) << "the window was never rebuilt";

    // The shelf still works: shown again, it holds the store's books, and Close ends every thread.
    ShowShelf(ids);
    Window()->Close();
    EXPECT_FALSE(Window()->IsWindowAlive());
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)))
        << "still running: " << DescribeThreads(NewThreads(threadsBefore));
}

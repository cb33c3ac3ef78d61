// Loading the whole shelf from the item store, and the loader that then finds the covers.
#include <shelftest/shelf.h>

using namespace shelftest;

namespace {

using LoaderTest = ShelfTest;

TEST_F(LoaderTest, PositiveIdsAreShelvedOnceInOrderAndWhatTheStoreCannotResolveIsShelvedEmptyAndReported) {
    UseCovers({3, 4, 8});
    FakeItemData odd;
    odd.textA = std::nullopt;
    odd.textB = L"";
    odd.textC = L"Caf\u00e9 \u4e66 \u0416";
    store.AddItem(4, odd);
    // Ids that are no books, a repeated one, and a count beyond the ids the store fills (the rest stay 0).
    store.SetShelf(kShelfKey, {4, 0, 3, -3, 4, 8});
    store.SetCountOverride(9);
    CreateShelf();

    EXPECT_EQ(Shelved(), (Strings{"4 //" + AnsiPath(L"Caf\u00e9 \u4e66 \u0416") + " ready", "3 //", "8 //"}));
    EXPECT_EQ(Events("missing"), Strings{"missing 3 8"});
    // Covers are asked for in shelf order, unresolved books' too.
    ASSERT_TRUE(WaitForCoverRequests({4, 3, 8}));
    EXPECT_EQ(CoverIds(), (std::vector<int>{4, 3, 8}));

    // A count no id list can be made for empties the shelf, and loading goes on working.
    store.SetCountOverride(0xFFFFFFFFu);
    Window()->Logout(0);
    ASSERT_TRUE(WaitForLoads(2));
    EXPECT_TRUE(Matrix()->Ids().empty());
    store.SetCountOverride(std::nullopt);
    Window()->Login("bob@example.com", "", "Bob", 0);
    ASSERT_TRUE(WaitForLoads(3));
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{4, 3, 8}));
}

TEST_F(LoaderTest, AnEmptyStoreShowsTheTipsAndStillRunsALoader) {
    ShowShelf({});
    EXPECT_TRUE(WaitUntil([&] {
        const HWND balloon = module->FindWindowNamed(L"NoBookBalloon");
        return balloon != nullptr && IsWindowVisible(balloon);
    })) << "no tips for the empty shelf";
    EXPECT_EQ(Window()->IsWorkerRunning(), 1);
    // The next load joins that loader: it must have ended.
    Window()->Login("bob@example.com", "", "Bob", 0);
    EXPECT_TRUE(WaitForLoads(2));
}

TEST_F(LoaderTest, ALoadWithoutAnItemStoreLeavesLaterLoadsPossible) {
    ExpectDiagnosticReports(); // a load without a store is reported
    // Without a host the window binds nothing, so the account messages come straight from the test.
    Window()->SetNotifySink(&sink, module->Module());
    BOOKRACK_CREATE_PARAMS params = {};
    ASSERT_TRUE(Window()->Create(&params));

    Send(WM_BOOKRACK_LOGOUT, 0, 0);
    EXPECT_EQ(Window()->IsWorkerRunning(), 0) << "a load that started no loader kept the run flag";

    store.SetShelfWithItems(kShelfKey, {5});
    Window()->SetHost(&store, kShelfKey);
    Send(WM_BOOKRACK_LOGOUT, 0, 0);
    EXPECT_EQ(store.GetItemCountCalls(), 1) << "the load after it was refused";
    EXPECT_EQ(Window()->IsWorkerRunning(), 1);
}

TEST_F(LoaderTest, SigningInWhileTheLoaderAsksForCoversStopsItBeforeItsNextRequest) {
    UseCovers({51, 52, 53, 54, 55, 61, 62});
    store.SetShelfWithItems(kShelfKey, {51, 52, 53, 54, 55});
    store.AddItem(61);
    store.AddItem(62);
    // Inside the loader's first request the host signs another account in, handled at once.
    onCoverRequest = [&](HWND window, int id) {
        if (id != 51)
            return;
        store.SetShelf(kShelfKey, {61, 62});
        SendMessageW(window, WM_BOOKRACK_LOGIN, 0, 0);
    };
    CreateShelf();

    ASSERT_TRUE(WaitForCoverRequests({61, 62}));
    EXPECT_EQ(CoverIds(), (std::vector<int>{51, 61, 62}));
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{61, 62}));
}

TEST_F(LoaderTest, TwoHundredQuickAccountSwitchesWhileTheLoaderRunsNeverHang) {
    std::vector<int> ids;
    for (int id = 101; id <= 140; ++id)
        ids.push_back(id);
    store.SetShelfWithItems(kShelfKey, ids);
    CreateShelf();
    const int loads = Matrix()->SetBooksCalls();
    const std::set<DWORD> threads = ThreadIds();

    for (int i = 0; i < 200; ++i) {
        if (i % 2 == 0)
            Window()->Login(("user" + std::to_string(i) + "@example.com").c_str(), "", "User", 0);
        else
            Window()->Logout(0);
    }
    ASSERT_TRUE(WaitForLoads(loads + 200, 60000))
        << "stuck after " << Matrix()->SetBooksCalls() - loads << " loads";
    EXPECT_EQ(Matrix()->SetBooksCalls(), loads + 200);
    EXPECT_EQ(Matrix()->Ids(), ids);
    // No loader is left behind.
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threads))) << "left: " << DescribeThreads(NewThreads(threads));
}

} // namespace

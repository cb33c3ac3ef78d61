// Books arriving, changing and going while the shelf is open, and while a batch delete runs.
#include <shelftest/shelf.h>

#include <algorithm>

using ::testing::_;
using ::testing::Return;

using namespace shelftest;

namespace {

using BookTest = ShelfTest;

TEST_F(BookTest, AnArrivingBookIsShelvedOnceLaterArrivalsOnlyAskForItsCoverAndOnlyOpeningEventsOpenOne) {
    FakeItemData dune;
    dune.textA = L"Dune";
    dune.textB = L"Frank Herbert";
    dune.textC = L"Chapter 1";
    store.AddItem(21, dune);
    for (int id : {26, 27, 28})
        store.AddItem(id);
    CreateShelf();
    ClearLog();

    Window()->NotifyItem1001(21);
    EXPECT_EQ(Shelved(), Strings{"21 Dune/Frank Herbert/Chapter 1 ready"});
    EXPECT_EQ(Manager()->BookCount(), 1);
    EXPECT_TRUE(Manager()->AnyBooks());
    EXPECT_EQ(Events(), (Strings{"count 1", "shown 21", "cover 21"}));

    ClearLog();
    const int added = Matrix()->AddBookCalls();
    Window()->NotifyItem1001(21);
    Window()->NotifyItem1004(21, 0);
    EXPECT_EQ(Events(), (Strings{"cover 21", "cover 21"}));
    EXPECT_EQ(Matrix()->AddBookCalls(), added);

    // An id the store does not hold is ignored.
    Window()->NotifyItem1001(99);
    EXPECT_EQ(Matrix()->Ids(), std::vector<int>{21});

    Send(WM_BOOKRACK_ITEM_1002, 26, 1);
    Window()->NotifyItem1003(27, 1);
    Window()->NotifyItem1005(28, 0);
    EXPECT_EQ(Events("open"), Strings{"open 27 0"});
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{21, 26, 27, 28}));

    // Once the last book went, the manager holds none.
    for (int id : {21, 26, 27, 28}) {
        store.RemoveItem(id);
        Window()->RemoveItem(id);
    }
    Flush();
    EXPECT_TRUE(Matrix()->Ids().empty());
    EXPECT_EQ(Manager()->BookCount(), 0);
    EXPECT_FALSE(Manager()->AnyBooks());
}

TEST_F(BookTest, TheReadyFlagComesFromTheItemAndTheSinksAnswerWinsOnRefresh) {
    FakeItemData noAnswer;
    noAnswer.queryResult = 0;
    FakeItemData notReady;
    notReady.readyFlag = 0;
    store.AddItem(23, noAnswer);
    store.AddItem(24, notReady);
    store.AddItem(25);
    ON_CALL(sink, QueryBookFlag(23)).WillByDefault(Return(true));
    CreateShelf();
    for (int id : {23, 24, 25})
        Window()->NotifyItem1001(id);
    EXPECT_EQ(Shelved(),
              (Strings{"23 Title/Author/Text C", "24 Title/Author/Text C", "25 Title/Author/Text C ready"}));

    // A refresh takes the item's new texts, and the sink's yes beats the item's missing answer.
    FakeItemData renamed = noAnswer;
    renamed.textA = L"Second edition";
    store.AddItem(23, renamed);
    Send(WM_BOOKRACK_REFRESH_ITEM, 23, 0);
    Send(WM_BOOKRACK_REFRESH_ITEM, 24, 0);
    EXPECT_EQ(Shelved(), (Strings{"23 Second edition/Author/Text C ready", "24 Title/Author/Text C",
                                  "25 Title/Author/Text C ready"}));
}

TEST_F(BookTest, EventsDuringABatchDeleteAreReplayedInOrderWithOneLayoutUpdate) {
    store.SetShelfWithItems(kShelfKey, {30});
    for (int id : {31, 32, 33, 34})
        store.AddItem(id);
    ON_CALL(sink, ToggleBookOption(_)).WillByDefault(Return(true));
    // The host tells the shelf about other books while it deletes the selected one.
    ON_CALL(sink, DeleteBook(30, _)).WillByDefault([&](int, int) {
        Window()->NotifyItem1001(31);
        SendMessageW(Hwnd(), WM_BOOKRACK_ITEM_1002, 32, 1);
        Window()->RemoveItem(31);
        Window()->NotifyItem1003(33, 1);
        std::string shelf;
        for (int id : Matrix()->Ids())
            shelf += " " + std::to_string(id);
        Log("delete 30, busy " + std::to_string(Window()->IsBatchDeleteBusy()) + ", shelf" + shelf);
    });
    // Book 34 arrives while the queued events are being replayed: it is replayed too.
    ON_CALL(sink, OnBookShown(31)).WillByDefault([&](int) {
        Log("shown 31");
        Window()->NotifyItem1001(34);
    });
    CreateShelf();
    ASSERT_TRUE(WaitForCoverRequests({30}));
    ClearLog();
    const int layouts = Matrix()->UpdateLayoutCalls();

    Matrix()->SetSelection({30});
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitUntil([&] {
        return Matrix()->BatchDeleteEndNotices() >= 1 && Window()->IsBatchDeleteBusy() == 0 &&
               Matrix()->Ids().size() == 3;
    })) << "the batch delete did not end";

    // Nothing was applied while the batch ran, then all in order; the deferred 1002 opens its book.
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{32, 33, 34}));
    Strings events = Events();
    events.erase(std::remove_if(events.begin(), events.end(),
                                [](const std::string& event) { return event.rfind("count ", 0) == 0; }),
                 events.end());
    EXPECT_EQ(events, (Strings{"delete 30, busy 1, shelf 30", "shown 31", "cover 31", "shown 32", "cover 32",
                               "open 32 0", "shown 33", "cover 33", "open 33 0", "shown 34", "cover 34"}));
    EXPECT_EQ(Matrix()->UpdateLayoutCalls() - layouts, 1);
}

} // namespace

// What the skin's controls report: opening and deleting a book by its record, the display mode, and
// the manager's hide and activation requests.
#include <shelftest/shelf.h>

using namespace shelftest;
using ::testing::_;
using ::testing::Mock;

namespace flows {
namespace {

using FlowTest = ShownShelfTest;

TEST_F(FlowTest, ABookIsOpenedAndDeletedByTheNumberAtTheStartOfItsRecordId) {
    const struct {
        const char* text;
        int id;
    } cases[] = {{"42", 42}, {"7x", 7}, {"  -3", -3}, {"+15", 15}, {"abc", 0}, {"", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        BOOK_INFO info;
        info.strAppId = c.text;
        EXPECT_CALL(sink, OpenBook(c.id, 9));
        EXPECT_EQ(Notify(VEXIL_NOTIFY_OPEN_BOOK, 9, reinterpret_cast<LPARAM>(&info)), 0);
        Flush();
        EXPECT_CALL(sink, DeleteBook(c.id, 4));
        EXPECT_EQ(Notify(VEXIL_NOTIFY_DELETE_BOOK, 4, reinterpret_cast<LPARAM>(&info)), 0);
        Mock::VerifyAndClearExpectations(&sink);
    }

    // The user's own gestures on a tile.
    EXPECT_CALL(sink, OpenBook(103, 0));
    Matrix()->UserOpen(103);
    Flush();
    EXPECT_CALL(sink, DeleteBook(104, 0));
    Matrix()->UserDelete(104);
    Mock::VerifyAndClearExpectations(&sink);

    // Without a record, or without a sink, nothing is opened or deleted.
    EXPECT_CALL(sink, OpenBook(_, _)).Times(0);
    EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
    EXPECT_EQ(Notify(VEXIL_NOTIFY_OPEN_BOOK, 0, 0), 0);
    Flush();
    EXPECT_EQ(Notify(VEXIL_NOTIFY_DELETE_BOOK, 0, 0), -1);
    Window()->SetNotifySink(nullptr, nullptr);
    BOOK_INFO info;
    info.strAppId = "101";
    EXPECT_EQ(Notify(VEXIL_NOTIFY_DELETE_BOOK, 0, reinterpret_cast<LPARAM>(&info)), -1);
}

TEST_F(FlowTest, ChoosingADisplayModeSavesItAndShowsTheBalloonOnlyForAnEmptyShelfInShelfMode) {
    ShowModeFileGuard modeFile;
    ASSERT_TRUE(modeFile.Held());
    Manager()->UserChooseMode(0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");
    for (int id : kShelf) {
        store.RemoveItem(id);
        Window()->RemoveItem(id);
    }
    const auto balloonShown = [&] {
        HWND balloon = module->FindWindowNamed(L"NoBookBalloon");
        return balloon && IsWindowVisible(balloon);
    };
    Flush();
    EXPECT_FALSE(balloonShown());

    Manager()->UserChooseMode(1);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    ASSERT_TRUE(WaitUntil(balloonShown));

    // A mode the manager does not know changes nothing, so the shelf can still be shown.
    EXPECT_EQ(Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 7, 0), 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    EXPECT_TRUE(balloonShown());
    EXPECT_TRUE(Window()->Show(false, nullptr));

    Manager()->UserChooseMode(0);
    EXPECT_FALSE(balloonShown());
}

TEST_F(FlowTest, TheManagerHidesTheShelfAndTheSkinActivatesIt) {
    const int hidden = Browser()->ShelfHiddenCalls();
    Manager()->UserHide();
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_FALSE(Window()->IsShown());
    EXPECT_EQ(Browser()->ShelfHiddenCalls(), hidden + 1);

    ASSERT_TRUE(Window()->Show(true, nullptr));
    HWND focus = nullptr;
    OnWindowThread([&] { SetFocus(nullptr); });
    EXPECT_EQ(Notify(VEXIL_NOTIFY_ACTIVATE, 0, 0), 0);
    OnWindowThread([&] { focus = GetFocus(); });
    if (focus != Hwnd()) {
        // Test processes share one desktop: one running beside this may hold the foreground.
        DWORD pid = 0;
        GetWindowThreadProcessId(GetForegroundWindow(), &pid);
        if (pid != 0 && pid != GetCurrentProcessId())
            GTEST_SKIP() << "another process holds the foreground; activation is checked when it runs alone";
    }
    EXPECT_EQ(focus, Hwnd());
}

} // namespace
} // namespace flows

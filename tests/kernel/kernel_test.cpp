// The reference kernel as the bookshelf relies on it: the posted outcome of building a skin window,
// package paths, the batch delete's end, and controls that keep what they are given.
#include <gtest/gtest.h>

#include <algorithm>

#include <shelftest/wait.h>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

int Ends(const std::vector<Notice>& notices) {
    return static_cast<int>(std::count_if(notices.begin(), notices.end(), [](const Notice& n) {
        return n.id == VEXIL_NOTIFY_BATCH_DELETE_END;
    }));
}

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.kernel, nullptr) << "VexilKernel.dll not loaded from the test's folder";
        ASSERT_NE(dll.inspector, nullptr);
    }

    // Builds "W" of ShelfPackage() on the host, which becomes its callback.
    ISkinWindow* BuildShelf(HostWindow& host) {
        ISkinWindow* skin = host.Build(dll.kernel, temp.Write(L"shelf.ufd", ShelfPackage()), L"W");
        EXPECT_EQ(host.WaitCreateResult(), 0);
        return skin;
    }

    KernelModule dll; // loaded per case: each case starts with a fresh kernel and no package open
    TempFolder temp;
};

TEST_F(KernelTest, TheOutcomeIsPostedAfterReturningAndErrorsGoToASkinWindowThatStillExists) {
    const std::string text = "vexilskin 1\n"
                             "window W size=300x200\n control ok class=button rect=0,0,10,10\nend\n"
                             "window Bad size=300x200\n control odd class=slider rect=0,0,10,10\n"
                             " control ok class=button rect=0,0,10,10\nend\n";
    const std::wstring path = temp.Write(L"a.ufd", text), other = temp.Write(L"b.ufd", text);
    struct Case {
        const std::wstring* package;
        const wchar_t* window;
        int code;
        bool okBuilt; // the package's other controls are built all the same
    };
    const Case cases[] = {{&path, L"W", 0, true},
                          {&path, L"NoSuchWindow", VEXIL_ERR_WINDOW_NOT_FOUND, false},
                          {&path, L"Bad", VEXIL_ERR_CONTROL_FAILED, true},
                          {&other, L"W", VEXIL_ERR_SECOND_PACKAGE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        HostWindow host;
        ISkinWindow* skin = nullptr;
        size_t noticesDuringCall = 1;
        host.Run([&] {
            skin = dll.kernel->CreateSkinWindow(host.Hwnd(), c.package->c_str(), c.window);
            noticesDuringCall = host.Notices().size();
        });
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(noticesDuringCall, 0u) << "the outcome must be posted, not sent";
        EXPECT_EQ(host.WaitCreateResult(), c.code);
        EXPECT_EQ(dll.inspector->FindSkinWindow(host.Hwnd()), skin) << "the skin window still exists";
        EXPECT_EQ(As<ICtrlButton>(skin, "ok") != nullptr, c.okBuilt);
    }
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), path.c_str()), 0) << "the first package stays open";
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0) << "skin windows go with their windows";
}

TEST_F(KernelTest, RelativePackagePathIsTakenFromTheKernelFolderNotTheCurrentOne) {
    // A decoy with the same relative path in the current directory holds none of the windows.
    temp.Write(L"DesktopSkin\\KelvoDesktopUi.ufd", "vexilskin 1\nwindow Decoy size=10x10\nend\n");
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));
    HostWindow shelf, balloon;
    ISkinWindow* shelfSkin = shelf.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"BookrackWindow");
    balloon.Build(dll.kernel, L"DesktopSkin/KelvoDesktopUi.ufd", L"NoBookBalloon");
    SetCurrentDirectoryW(previous);

    ASSERT_EQ(shelf.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
    EXPECT_EQ(balloon.WaitCreateResult(), 0) << "the other spelling names the same package";
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), (dll.folder + L"DesktopSkin\\KelvoDesktopUi.ufd").c_str()),
              0);
    EXPECT_NE(As<ICtrlBookMatrix>(shelfSkin, "BMCC_BookMatrix"), nullptr);
}

TEST_F(KernelTest, BookMatrixKeepsBooksInShelfOrderWithTheirImagesAndSelection) {
    HostWindow host;
    ISkinWindow* skin = BuildShelf(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    auto* inspect = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_NE(inspect, nullptr);
    host.Run([&] {
        const BOOK_ITEM five = Book(5, "Five"), three = Book(3, "Three"), again = Book(5, "Other");
        EXPECT_TRUE(matrix->AddBook(&five, 0, 0, 1));
        EXPECT_TRUE(matrix->AddBook(&three, 0, 0, 1));
        EXPECT_FALSE(matrix->AddBook(&again, 0, 0, 1)) << "a shelved id is not added twice";
        BOOK_INFO info = Book(999, "Renamed").bookInfo;
        EXPECT_TRUE(matrix->UpdateBookInfo(&info, 3));
        EXPECT_FALSE(matrix->UpdateBookInfo(&info, 4));
    });
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{5, 3}));
    std::vector<BOOK_INFO> books = inspect->Books();
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[1].strAppId, "3") << "an update keeps the id";
    EXPECT_EQ(books[1].strText2, "Renamed");

    // Cover paths may be handed in from any thread; a book kept on a new shelf keeps its cover.
    EXPECT_TRUE(matrix->SetBookImage(3, "C:\\covers\\3.png"));
    EXPECT_FALSE(matrix->SetBookImage(4, "C:\\covers\\4.png"));
    EXPECT_EQ(inspect->ImagePath(3), "C:\\covers\\3.png");
    host.Run([&] {
        const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4), Book(5)};
        const std::vector<int> ids = {1, 2, 3, 4, 5};
        EXPECT_TRUE(matrix->SetBooks(&items, &ids, 0, 0));
    });
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(inspect->ImagePath(3), "C:\\covers\\3.png");

    // The user's clicks select as in a file list; the window sees the same selection.
    inspect->UserClick(2, false, false);
    inspect->UserClick(5, false, true);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{2, 3, 4, 5})) << "Shift extends from the last click";
    inspect->UserClick(3, true, false);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{2, 4, 5})) << "Ctrl takes one out";
    std::vector<int> seenByWindow;
    host.Run([&] { seenByWindow = *matrix->GetSelectedBooks(); });
    EXPECT_EQ(seenByWindow, inspect->Selection());

    // Open and delete reach the callback on the window's thread with the book's record.
    inspect->UserOpen(3);
    inspect->UserDelete(1);
    std::vector<std::pair<int, std::string>> seen;
    for (const Notice& n : host.Notices())
        if (n.id == VEXIL_NOTIFY_OPEN_BOOK || n.id == VEXIL_NOTIFY_DELETE_BOOK) {
            seen.emplace_back(n.id, n.bookId);
            EXPECT_EQ(n.threadId, host.ThreadId());
        }
    const std::vector<std::pair<int, std::string>> expected = {{VEXIL_NOTIFY_OPEN_BOOK, "3"},
                                                               {VEXIL_NOTIFY_DELETE_BOOK, "1"}};
    EXPECT_EQ(seen, expected);

    host.Run([&] { matrix->ClearBooks(); });
    EXPECT_TRUE(inspect->Ids().empty());
    EXPECT_EQ(inspect->ImagePath(3), "") << "a cleared shelf forgets its covers";
}

TEST_F(KernelTest, RemoveBooksTellsTheEndOfTheBatchOnlyAfterTheCallerReturned) {
    HostWindow host;
    ISkinWindow* skin = BuildShelf(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    auto* inspect = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    auto* manager = As<ICtrlBookrackManager>(skin, "bookrackmanager");
    auto* managerInspect = dynamic_cast<IRefManagerInspect*>(manager);
    ASSERT_TRUE(inspect && managerInspect);
    bool deletingAtEnd = true;
    host.Run([&] {
        const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
        const std::vector<int> ids = {1, 2, 3, 4};
        matrix->SetBooks(&items, &ids, 0, 0);
        manager->SetOptionState(true); // deleting
        host.onNotice = [&](const Notice& notice) {
            if (notice.id == VEXIL_NOTIFY_BATCH_DELETE_END)
                deletingAtEnd = managerInspect->OptionState();
        };
    });
    inspect->SetSelection({2, 4});

    int endsSeenInside = -1;
    host.Run([&] { // as the window's handler of the batch-done message does
        const std::vector<int> removed = {1, 3, 42};
        matrix->RemoveBooks(&removed, 7);
        endsSeenInside = Ends(host.Notices());
        EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
    });
    EXPECT_EQ(endsSeenInside, 0) << "the end was sent from inside the call";
    Notice end;
    ASSERT_TRUE(host.WaitFor(VEXIL_NOTIFY_BATCH_DELETE_END, &end));
    EXPECT_EQ(end.wParam, 7u);
    EXPECT_EQ(end.threadId, host.ThreadId());
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{2, 4}));
    EXPECT_FALSE(deletingAtEnd) << "the manager left its deleting state by the time the window hears";

    // An empty batch still ends, so the window never waits for an end that does not come.
    host.Run([&] { matrix->RemoveBooks(nullptr, 0); });
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(Ends(host.Notices()), 2);
}

TEST_F(KernelTest, AReceiverMayDestroyTheWindowWhileAControlNotifiesIt) {
    HostWindow host;
    host.onNotice = [&](const Notice& notice) {
        if (notice.id == VEXIL_NOTIFY_BATCH_DELETE_END)
            DestroyWindow(host.Hwnd());
    };
    auto* matrix = As<ICtrlBookMatrix>(BuildShelf(host), "bookmatrix");
    ASSERT_NE(matrix, nullptr);
    host.Run([&] { matrix->RemoveBooks(nullptr, 1); });
    ASSERT_TRUE(host.WaitFor(VEXIL_NOTIFY_BATCH_DELETE_END));
    ASSERT_TRUE(shelftest::WaitUntil([&] { return !IsWindow(host.Hwnd()); }));
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0);
}

TEST_F(KernelTest, ManagerKeepsDisplayModeUserNameAndCountAndTellsTheChosenMode) {
    HostWindow host;
    ISkinWindow* skin = BuildShelf(host);
    auto* manager = As<ICtrlBookrackManager>(skin, "bookrackmanager");
    auto* inspect = dynamic_cast<IRefManagerInspect*>(manager);
    ASSERT_NE(inspect, nullptr);
    host.Run([&] {
        EXPECT_TRUE(manager->SetShowMode(1));
        EXPECT_FALSE(manager->SetShowMode(2));
        manager->SetUserName(false, "Alice");
        manager->SetBookCount(true, 3);
    });
    EXPECT_EQ(inspect->ShowMode(), 1);
    EXPECT_EQ(inspect->UserName(), "Alice");
    EXPECT_FALSE(inspect->SignedOut());
    EXPECT_EQ(inspect->BookCount(), 3);
    EXPECT_TRUE(inspect->AnyBooks());
    host.Run([&] {
        manager->SetUserName(true, nullptr);
        manager->SetBookCount(false, 0);
    });
    EXPECT_TRUE(inspect->SignedOut());
    EXPECT_EQ(inspect->UserName(), "");
    EXPECT_FALSE(inspect->AnyBooks());

    // The user's choice from the menu, and from the mode buttons, is told to the window.
    dll.inspector->SetPopupMenuAnswer(REF_MENU_MODE_COMPACT);
    host.Run([&] { manager->PopupMenu(0, nullptr); });
    EXPECT_EQ(inspect->ShowMode(), 0);
    inspect->UserChooseMode(1);
    std::vector<std::pair<int, WPARAM>> seen;
    for (const Notice& n : host.Notices())
        if (n.id == VEXIL_NOTIFY_SHOWMODE_CHOSEN)
            seen.emplace_back(n.id, n.wParam);
    EXPECT_EQ(seen, (std::vector<std::pair<int, WPARAM>>{{VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0},
                                                         {VEXIL_NOTIFY_SHOWMODE_CHOSEN, 1}}));
    EXPECT_EQ(inspect->ShowMode(), 1);
}

} // namespace

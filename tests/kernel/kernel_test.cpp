// The reference kernel as the bookshelf relies on it: the posted outcome of building a skin window,
// package paths, the batch delete's end, and controls that keep what they are given.
#include <gtest/gtest.h>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.kernel, nullptr) << "VexilKernel.dll not loaded from the test's folder";
        ASSERT_NE(dll.inspector, nullptr);
    }

    KernelModule dll; // loaded per case: each case starts with a fresh kernel and no package open
    shelftest::TempFolder temp{L"vexilkernel-test-"};
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
        ISkinWindow* skin = host.Build(dll.kernel, *c.package, c.window);
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(host.createResult, HostWindow::kNoResult) << "the outcome must be posted, not sent";
        EXPECT_EQ(host.WaitCreateResult(), c.code);
        EXPECT_EQ(dll.inspector->FindSkinWindow(host.Hwnd()), skin) << "the skin window still exists";
        EXPECT_EQ(As<ICtrlButton>(skin, "ok") != nullptr, c.okBuilt);
    }
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), path.c_str()), 0) << "the first package stays open";
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0) << "skin windows go with their windows";
}

// The shipped bookshelf window with its book matrix and manager, built as the module builds it: by
// a path relative to the kernel's folder, from a current directory where a decoy package has the same
// relative path and none of the windows.
class ShelfKernelTest : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        temp.Write(kPackage, "vexilskin 1\nwindow Decoy size=10x10\nend\n");
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));
        ISkinWindow* skin = host.Build(dll.kernel, kPackage, L"BookrackWindow");
        SetCurrentDirectoryW(previous);
        ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
        matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
        manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
        shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
        bar = dynamic_cast<IRefManagerInspect*>(manager);
        ASSERT_TRUE(shelf && bar);
    }

    static constexpr wchar_t kPackage[] = L"DesktopSkin\\KelvoDesktopUi.ufd";
    HostWindow host;
    ICtrlBookMatrix* matrix = nullptr;
    ICtrlBookrackManager* manager = nullptr;
    IRefBookMatrixInspect* shelf = nullptr;
    IRefManagerInspect* bar = nullptr;
};

TEST_F(ShelfKernelTest, RelativePackagePathIsTakenFromTheKernelFolderNotTheCurrentOne) {
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), (dll.folder + kPackage).c_str()), 0);
}

TEST_F(ShelfKernelTest, RemoveBooksTellsTheEndOfTheBatchOnlyAfterTheCallerReturned) {
    const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
    const std::vector<int> ids = {1, 2, 3, 4}, removed = {1, 3, 42};
    matrix->SetBooks(&items, &ids, 0, 0);
    manager->SetOptionState(true); // deleting
    shelf->SetSelection({2, 4});
    bool deletingAtEnd = true;
    host.onBatchEnd = [&] { deletingAtEnd = bar->OptionState(); };

    matrix->RemoveBooks(&removed, 7); // as the window's handler of the batch-done message does
    EXPECT_TRUE(host.batchEnds.empty()) << "the end was sent from inside the call";
    EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
    EXPECT_EQ(shelf->Ids(), (std::vector<int>{2, 4}));
    ASSERT_TRUE(shelftest::WaitUntil([&] { return !host.batchEnds.empty(); }));
    EXPECT_EQ(host.batchEnds, std::vector<WPARAM>{7});
    EXPECT_FALSE(deletingAtEnd) << "the manager left its deleting state by the time the window hears";

    // An empty batch still ends, so the window never waits for an end that does not come.
    matrix->RemoveBooks(nullptr, 0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return host.batchEnds.size() == 2; }));
}

TEST_F(ShelfKernelTest, ControlsKeepWhatTheyAreGiven) {
    const BOOK_ITEM five = Book(5, "Five"), three = Book(3, "Three"), again = Book(5, "Other");
    EXPECT_TRUE(matrix->AddBook(&five, 0, 0, 1));
    EXPECT_TRUE(matrix->AddBook(&three, 0, 0, 1));
    EXPECT_FALSE(matrix->AddBook(&again, 0, 0, 1)) << "a shelved id is not added twice";
    const BOOK_INFO renamed = Book(999, "Renamed").bookInfo;
    EXPECT_TRUE(matrix->UpdateBookInfo(&renamed, 3));
    EXPECT_FALSE(matrix->UpdateBookInfo(&renamed, 4));
    EXPECT_EQ(shelf->Ids(), (std::vector<int>{5, 3}));
    EXPECT_EQ(shelf->Books().at(1).strAppId, "3") << "an update keeps the id";
    EXPECT_EQ(shelf->Books().at(1).strText2, "Renamed");

    // A book kept on a new shelf keeps its cover and can be selected; a cleared shelf forgets both.
    EXPECT_TRUE(matrix->SetBookImage(3, "C:\\covers\\3.png"));
    EXPECT_FALSE(matrix->SetBookImage(4, "C:\\covers\\4.png"));
    const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
    const std::vector<int> ids = {1, 2, 3, 4};
    EXPECT_TRUE(matrix->SetBooks(&items, &ids, 0, 0));
    EXPECT_EQ(shelf->Ids(), ids);
    EXPECT_EQ(shelf->ImagePath(3), "C:\\covers\\3.png");
    shelf->SetSelection({4, 3});
    EXPECT_EQ(*matrix->GetSelectedBooks(), (std::vector<int>{4, 3}));
    matrix->ClearBooks();
    EXPECT_TRUE(shelf->Ids().empty());
    EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
    EXPECT_EQ(shelf->ImagePath(3), "");

    EXPECT_TRUE(manager->SetShowMode(1));
    EXPECT_FALSE(manager->SetShowMode(2));
    manager->SetUserName(false, "Alice");
    manager->SetBookCount(true, 3);
    EXPECT_EQ(bar->ShowMode(), 1);
    EXPECT_EQ(bar->UserName(), "Alice");
    EXPECT_FALSE(bar->SignedOut());
    EXPECT_EQ(bar->BookCount(), 3);
    EXPECT_TRUE(bar->AnyBooks());
    manager->SetUserName(true, nullptr);
    manager->SetBookCount(false, 0);
    EXPECT_TRUE(bar->SignedOut());
    EXPECT_EQ(bar->UserName(), "");
    EXPECT_FALSE(bar->AnyBooks());
}

} // namespace

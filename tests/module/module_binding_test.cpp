// Binding the bookshelf's controls: with and without a host, and with skins made for the test that
// lack a control or have one of another type.
#include <shelftest/shelf.h>

using namespace shelftest;

namespace {

using BindingTest = ShelfTest;

TEST_F(BindingTest, WithoutAHostNothingIsBoundAndNothingLoadedAndANullHostLeavesTheEarlierOne) {
    ExpectDiagnosticReports(); // binding without a host is reported
    EXPECT_CALL(sink, OnBookCountChanged).Times(0);
    EXPECT_CALL(sink, RequestCover).Times(0);
    EXPECT_CALL(sink, OnMissingBooks).Times(0);
    Window()->SetNotifySink(&sink, module->Module());
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(Hwnd()) != FALSE; }));
    Flush();
    EXPECT_EQ(Window()->GetUiThreadId(), 0u);
    EXPECT_EQ(Window()->GetSelection(), nullptr);
    ASSERT_NE(Manager(), nullptr);
    ASSERT_NE(Matrix(), nullptr);
    EXPECT_EQ(Manager()->ShowMode(), 0);
    EXPECT_EQ(Matrix()->ClearBooksCalls(), 0);
    EXPECT_EQ(Matrix()->SetBooksCalls(), 0);
    // Showing the existing window has no manager to hand the mode to.
    EXPECT_FALSE(Window()->Show(true, nullptr));
    // A host handed in later does not bind the living window; the next one binds it, a null host after
    // it changing nothing.
    store.SetShelfWithItems(kShelfKey, {21, 22});
    Window()->SetHost(&store, kShelfKey);
    EXPECT_EQ(Window()->GetSelection(), nullptr);
    Window()->SetHost(nullptr, 3);
    ::testing::Mock::VerifyAndClearExpectations(&sink);
    Window()->Close();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    Flush();
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{21, 22}));
}

TEST(ModuleSkinTest, ASkinLackingAShelfControlBindsTheRestSkipsTheAccountAndModeStepsAndKeepsWorking) {
    ExpectDiagnosticReports(); // the missing controls are reported
    const std::string real = ReadRealSkinPackage();
    const struct {
        const char* what;
        std::string package;
        bool matrixBound, browser, stepsRan; // without a browser, WM_COPYDATA gets the default answer
    } cases[] = {
        {"the real skin", real, true, true, true},
        {"no add-book button", SkinWithoutControl(real, "New_FolianBtn"), true, true, false},
        {"the add-book button of another type", SkinWithControlClass(real, "New_FolianBtn", "staticbox"),
         true, true, false},
        {"no manager", SkinWithoutControl(real, "BookrackMgr"), true, true, false},
        {"no matrix", SkinWithoutControl(real, "BMCC_BookMatrix"), false, true, false},
        {"the matrix of another type", SkinWithControlClass(real, "BMCC_BookMatrix", "panel"), false, true,
         false},
        {"no browser", SkinWithoutControl(real, "BMCC_BookrackIeBrowser"), true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.package.empty());
        ::testing::NiceMock<MockShelfSink> sink;
        FakeShelfStore store;
        store.SetShelfWithItems(1, {11, 12});
        ModuleWithSkin loaded(c.package);
        ASSERT_TRUE(loaded.Ok()) << loaded.Error();
        ModuleUnderTest& module = loaded.Module();
        CBookrackWindow* window = module.Window();
        // A new window that shows itself applies the display mode and signs out (it had no block).
        EXPECT_TRUE(ShowShelf(module, sink, store, 1, std::nullopt));
        const HWND hwnd = window->GetHwnd();
        EXPECT_EQ(window->GetSelection() != nullptr, c.matrixBound);
        EXPECT_NE(window->GetUiThreadId(), 0u);
        // The account and display-mode steps ran (the shelf loaded, the manager took mode 1) or not.
        EXPECT_EQ(store.GetItemCountCalls() > 0, c.stepsRan);
        if (module.Manager()) {
            EXPECT_EQ(module.Manager()->ShowMode(), c.stepsRan ? 1 : 0);
        }
        if (module.Matrix()) {
            EXPECT_EQ(module.Matrix()->SetBooksCalls(), c.stepsRan ? 1 : 0);
        }
        COPYDATASTRUCT data = {1, 0, nullptr};
        EXPECT_EQ(SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)),
                  c.browser ? kRefCopyDataResult : FALSE);

        // Every operation works on what is there.
        window->NotifyItem1003(11, 1);
        window->RemoveItem(11);
        const BOOKS_CHANGED_REPORT report = {0, 0, nullptr, 0, BOOKS_CHANGED_CODE_CHANGED};
        SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report));
        SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
        window->Login("skin@example", "key", "Skin", 0);
        window->RefreshTips();
        window->ShowNoBookTips();
        window->PopupManagerAtCursor(0);
        window->SetBookCover(12, "C:\\c.jpg");
        window->HideAll(true);
        EXPECT_TRUE(window->IsWindowAlive() && Flush(hwnd));
    }
}

} // namespace

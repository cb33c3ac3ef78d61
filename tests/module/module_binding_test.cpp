// Binding the bookshelf's controls: with and without a host, and with skins made for the test that
// lack a control or have one of another type.
#include <shelftest/shelftest.h>

using namespace shelftest;

namespace {

constexpr int kShelfKey = 7;

// What a skin made for the test leaves bound, seen through the interface and the kernel.
struct BindingOutcome {
    bool matrixBound;       // GetSelection reaches a matrix
    DWORD uiThread;         // GetUiThreadId
    int managerMode;        // the manager's mode after Show(false) (-1: no manager control in the skin)
    int loads;              // SetBooks calls on the matrix (-1: no matrix control)
    int storeCountCalls;    // the store was asked for the shelf
    LRESULT copyData;       // what WM_COPYDATA was answered
    bool answersAfterCalls; // the window lives and takes its messages after every operation was called
};

BindingOutcome ShowWithSkin(const std::string& package) {
    BindingOutcome outcome = {};
    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, {11, 12});
    ModuleWithSkin loaded(package);
    EXPECT_TRUE(loaded.Ok()) << loaded.Error();
    if (!loaded.Ok())
        return outcome;
    CBookrackWindow* window = loaded.Window();
    loaded.Module().Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    window->SetNotifySink(&sink, loaded.Module().Module());
    window->SetHost(&store, kShelfKey);
    // A new window that shows itself: binding applies the display mode and signs out (no block).
    EXPECT_TRUE(window->Show(false, nullptr));
    const HWND hwnd = window->GetHwnd();
    EXPECT_TRUE(Flush(hwnd));
    outcome.matrixBound = window->GetSelection() != nullptr;
    outcome.uiThread = window->GetUiThreadId();
    IRefManagerInspect* manager = loaded.Module().Manager();
    outcome.managerMode = manager ? manager->ShowMode() : -1;
    IRefBookMatrixInspect* matrix = loaded.Module().Matrix();
    outcome.loads = matrix ? matrix->SetBooksCalls() : -1;
    outcome.storeCountCalls = store.GetItemCountCalls();
    COPYDATASTRUCT data = {1, 0, nullptr};
    outcome.copyData = SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
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
    window->GetSelection();
    window->HideAll(true);
    outcome.answersAfterCalls = window->IsWindowAlive() && Flush(hwnd);
    loaded.Module().Unload();
    return outcome;
}

// The account and display-mode steps ran (the shelf loaded, the manager took mode 1) or were skipped.
void ExpectAccountAndModeSteps(const BindingOutcome& outcome, bool ran) {
    if (outcome.managerMode >= 0) {
        EXPECT_EQ(outcome.managerMode, ran ? 1 : 0);
    }
    EXPECT_EQ(outcome.storeCountCalls > 0, ran);
    if (outcome.loads >= 0) {
        EXPECT_EQ(outcome.loads, ran ? 1 : 0);
    }
}

} // namespace

TEST_F(ModuleTest, BindingWithoutAHostBindsNothing) {
    // Binding without a host is reported.
    shelftest::ExpectDiagnosticReports();
    // Nothing bound means nothing loaded: the host hears nothing.
    EXPECT_CALL(sink, OnBookCountChanged).Times(0);
    EXPECT_CALL(sink, RequestCover).Times(0);
    EXPECT_CALL(sink, OnMissingBooks).Times(0);
    Window()->SetNotifySink(&sink, module->Module());
    ASSERT_TRUE(Window()->Show(true, nullptr));
    const HWND hwnd = Window()->GetHwnd();
    ASSERT_TRUE(WaitUntil([hwnd] { return IsWindowVisible(hwnd) != FALSE; }));
    ASSERT_TRUE(Flush(hwnd));

    EXPECT_EQ(Window()->GetUiThreadId(), 0u);
    EXPECT_EQ(Window()->GetSelection(), nullptr);
    auto* manager = module->Manager();
    auto* matrix = module->Matrix();
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(manager->ShowMode(), 0);
    EXPECT_EQ(matrix->ClearBooksCalls(), 0);
    EXPECT_EQ(matrix->SetBooksCalls(), 0);
    // Nothing is bound, so showing the existing window has no manager to hand the mode to.
    EXPECT_FALSE(Window()->Show(true, nullptr));
    // A host handed in later does not bind the living window.
    Window()->SetHost(&store, kShelfKey);
    EXPECT_EQ(Window()->GetSelection(), nullptr);
}

TEST_F(ModuleTest, ANullHostLeavesTheEarlierHostInPlace) {
    store.SetShelfWithItems(kShelfKey, {21, 22});
    Window()->SetNotifySink(&sink, module->Module());
    Window()->SetHost(&store, kShelfKey);
    Window()->SetHost(nullptr, 3);
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(Flush(Window()->GetHwnd()));
    EXPECT_NE(Window()->GetSelection(), nullptr);
    auto* matrix = module->Matrix();
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(matrix->Ids(), (std::vector<int>{21, 22}));
}

TEST(ModuleSkinTest, TheRealSkinBindsAllFourAndRunsTheAccountAndModeSteps) {
    const BindingOutcome real = ShowWithSkin(ReadRealSkinPackage());
    EXPECT_TRUE(real.matrixBound);
    EXPECT_NE(real.uiThread, 0u);
    ExpectAccountAndModeSteps(real, true);
    EXPECT_EQ(real.copyData, kRefCopyDataResult);
    EXPECT_TRUE(real.answersAfterCalls);
}

TEST(ModuleSkinTest, ASkinLackingAShelfControlBindsTheRestSkipsTheAccountAndModeStepsAndKeepsWorking) {
    // The missing controls are reported.
    ExpectDiagnosticReports();
    const std::string real = ReadRealSkinPackage();
    const struct {
        const char* what;
        std::string package;
        bool matrixBound;
        bool browser;
    } cases[] = {
        {"no add-book button", SkinWithoutControl(real, "New_FolianBtn"), true, true},
        {"the add-book button of another type", SkinWithControlClass(real, "New_FolianBtn", "staticbox"),
         true, true},
        {"no manager", SkinWithoutControl(real, "BookrackMgr"), true, true},
        {"no matrix", SkinWithoutControl(real, "BMCC_BookMatrix"), false, true},
        {"the matrix of another type", SkinWithControlClass(real, "BMCC_BookMatrix", "panel"), false, true},
        // Without the browser, WM_COPYDATA gets the default answer.
        {"no browser", SkinWithoutControl(real, "BMCC_BookrackIeBrowser"), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.package.empty());
        const BindingOutcome outcome = ShowWithSkin(c.package);
        EXPECT_EQ(outcome.matrixBound, c.matrixBound);
        ExpectAccountAndModeSteps(outcome, false);
        EXPECT_EQ(outcome.copyData, c.browser ? kRefCopyDataResult : FALSE);
        EXPECT_TRUE(outcome.answersAfterCalls);
    }
}

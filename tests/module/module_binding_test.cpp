// Binding the bookshelf's controls: with and without a host, and with skins made for the test that
// lack a control or have one of another type.
#include <shelftest/shelftest.h>

using namespace shelftest;

namespace {

constexpr int kShelfKey = 7;

template <class T> T* ControlOf(ModuleUnderTest& module, const char* name) { return module.Control<T>(name); }

// What a skin made for the test leaves bound, seen through the interface and the kernel.
struct BindingOutcome {
    bool matrixBound;    // GetSelection reaches a matrix
    DWORD uiThread;      // GetUiThreadId
    int managerMode;     // the manager's mode after Show(false) (-1: no manager control in the skin)
    int loads;           // SetBooks calls on the matrix (-1: no matrix control)
    int storeCountCalls; // the store was asked for the shelf
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
    window->SetNotifySink(&sink, loaded.Module().Module());
    window->SetHost(&store, kShelfKey);
    // A new window that shows itself: binding applies the display mode and signs out (no block).
    EXPECT_TRUE(window->Show(false, nullptr));
    EXPECT_TRUE(DrainPostedMessages(window->GetHwnd()));
    outcome.matrixBound = window->GetSelection() != nullptr;
    outcome.uiThread = window->GetUiThreadId();
    auto* manager = ControlOf<IRefManagerInspect>(loaded.Module(), "BookrackMgr");
    outcome.managerMode = manager ? manager->ShowMode() : -1;
    auto* matrix = ControlOf<IRefBookMatrixInspect>(loaded.Module(), "BMCC_BookMatrix");
    outcome.loads = matrix ? matrix->SetBooksCalls() : -1;
    outcome.storeCountCalls = store.GetItemCountCalls();
    loaded.Module().Unload();
    return outcome;
}

// The account and display-mode steps ran (the shelf loaded, the manager took mode 1) or were skipped.
void ExpectAccountAndModeSteps(const BindingOutcome& outcome, bool ran) {
    EXPECT_EQ(outcome.managerMode, ran ? 1 : 0);
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
    ASSERT_TRUE(DrainPostedMessages(hwnd));

    EXPECT_EQ(Window()->GetUiThreadId(), 0u);
    EXPECT_EQ(Window()->GetSelection(), nullptr);
    auto* manager = module->Control<IRefManagerInspect>("BookrackMgr");
    auto* matrix = module->Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
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
    ASSERT_TRUE(DrainPostedMessages(Window()->GetHwnd()));
    EXPECT_NE(Window()->GetSelection(), nullptr);
    auto* matrix = module->Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(matrix->Ids(), (std::vector<int>{21, 22}));
}

TEST(ModuleSkinTest, TheRealSkinBindsAllFourAndRunsTheAccountAndModeSteps) {
    const BindingOutcome real = ShowWithSkin(ReadRealSkinPackage());
    EXPECT_TRUE(real.matrixBound);
    EXPECT_NE(real.uiThread, 0u);
    ExpectAccountAndModeSteps(real, true);
}

TEST(ModuleSkinTest, WithoutTheAddBookButtonTheAccountAndModeStepsAreSkipped) {
    // The missing control is reported.
    shelftest::ExpectDiagnosticReports();
    const std::string package = SkinWithoutControl(ReadRealSkinPackage(), "New_FolianBtn");
    ASSERT_FALSE(package.empty());
    const BindingOutcome outcome = ShowWithSkin(package);
    // The controls that were found stay bound.
    EXPECT_TRUE(outcome.matrixBound);
    EXPECT_NE(outcome.uiThread, 0u);
    // Neither the mode nor the account reached the controls or the store.
    ExpectAccountAndModeSteps(outcome, false);
}

TEST(ModuleSkinTest, AControlOfAnotherTypeCountsAsMissing) {
    // The control of another type is reported.
    shelftest::ExpectDiagnosticReports();
    const std::string buttonAsText =
        SkinWithControlClass(ReadRealSkinPackage(), "New_FolianBtn", "staticbox");
    ASSERT_FALSE(buttonAsText.empty());
    const BindingOutcome outcome = ShowWithSkin(buttonAsText);
    EXPECT_TRUE(outcome.matrixBound);
    ExpectAccountAndModeSteps(outcome, false);

    const std::string matrixAsPanel = SkinWithControlClass(ReadRealSkinPackage(), "BMCC_BookMatrix", "panel");
    ASSERT_FALSE(matrixAsPanel.empty());
    const BindingOutcome noMatrix = ShowWithSkin(matrixAsPanel);
    EXPECT_FALSE(noMatrix.matrixBound);
    ExpectAccountAndModeSteps(noMatrix, false);
}

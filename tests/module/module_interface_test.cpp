// The bookshelf module as a host sees it: the one export, the interface before, during and after the
// window's life, creation on the window's own thread, the account operations and the end of it all.
#include <bookrack/bookrackmessages.h>
#include <shelftest/shelftest.h>

#include <cstring>
#include <string>
#include <thread>

using namespace shelftest;
using ::testing::_;

namespace {

BOOKRACK_CREATE_PARAMS Params(const char* accountId, const char* accountInfo, bool loggedIn) {
    BOOKRACK_CREATE_PARAMS params = {};
    std::strncpy(params.szAccountId, accountId, sizeof(params.szAccountId) - 1);
    std::strncpy(params.szAccountInfo, accountInfo, sizeof(params.szAccountInfo) - 1);
    std::strncpy(params.szAccountKey, "key", sizeof(params.szAccountKey) - 1);
    params.bLoggedIn = loggedIn ? 1 : 0;
    return params;
}

// The rectangle the module is expected to pick for this machine's screen (Wine: 1024 x 768, the
// work area the whole screen): 1000 x 600 centred.
RECT ExpectedDefaultRect() {
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int left = (work.right - work.left - 1000) / 2;
    const int top = (work.bottom - work.top - 600) / 2;
    return RECT{left, top, left + 1000, top + 600};
}

using BookshelfTest = ShelfTest;

} // namespace

TEST_F(BookshelfTest, EveryCallHandsOutTheSameObject) {
    CBookrackWindow* first = module->Entry()();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(module->Entry()(), first);
    CBookrackWindow* fromOtherThread = nullptr;
    std::thread([&] { fromOtherThread = module->Entry()(); }).join();
    EXPECT_EQ(fromOtherThread, first);
}

TEST_F(BookshelfTest, WithoutAWindowOrHostEveryOperationIsAQuietNoOp) {
    CBookrackWindow* w = Window();
    EXPECT_TRUE(w->Prepare(1, 2, 3));
    EXPECT_FALSE(w->Create(nullptr));
    EXPECT_FALSE(w->IsShown());
    EXPECT_FALSE(w->IsWindowAlive());
    EXPECT_EQ(w->GetHwnd(), nullptr);
    EXPECT_EQ(w->GetUiThreadId(), 0u);
    EXPECT_EQ(w->GetSelection(), nullptr);
    w->NotifyItem1001(1);
    w->NotifyItem1002(2);
    w->NotifyItem1003(3, 1);
    w->NotifyItem1004(4, 1);
    w->NotifyItem1005(5, 0);
    w->RemoveItem(1);
    w->PostMatrixNotify(1, 0);
    w->SetBookCover(1, "C:\\nothing.jpg");
    w->SetBookCover(1, nullptr);
    w->ForwardItemShown(9); // no sink: nothing to tell
    w->Login(nullptr, nullptr, nullptr, 0);
    w->Login("someone", nullptr, nullptr, 0);
    w->Logout(0);
    w->RefreshTips();
    w->ShowNoBookTips();
    w->PopupManagerAtCursor(0);
    w->Hide();
    w->HideAll(true);
    w->StopBatchDelete(false);
    EXPECT_EQ(w->IsWorkerRunning(), 0);
    EXPECT_EQ(w->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(w->GetHwnd(), nullptr);

    // With a sink, the shown-book notice goes straight to it, on the caller's thread.
    DWORD calledOn = 0;
    EXPECT_CALL(sink, OnBookShown(9)).WillOnce([&](int) { calledOn = GetCurrentThreadId(); });
    w->SetNotifySink(&sink, module->Module());
    w->ForwardItemShown(9);
    EXPECT_EQ(calledOn, GetCurrentThreadId());
}

TEST_F(BookshelfTest, CreateBuildsTheWindowHiddenOnItsOwnThreadAndShowShowsItThere) {
    Attach();
    const BOOKRACK_CREATE_PARAMS params = Params("", "", false);
    ASSERT_TRUE(Window()->Create(&params));
    const HWND hwnd = Hwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    const DWORD windowThread = GetWindowThreadProcessId(hwnd, nullptr);
    EXPECT_NE(windowThread, GetCurrentThreadId());
    EXPECT_EQ(Window()->GetUiThreadId(), windowThread);
    EXPECT_TRUE(Window()->IsWindowAlive());

    // The kernel's report and the first load (signed out) have been handled: still hidden.
    Flush();
    ASSERT_NE(Matrix(), nullptr);
    EXPECT_EQ(Matrix()->SetBooksCalls(), 1);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(Window()->IsShown());
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    const RECT expected = ExpectedDefaultRect();
    EXPECT_EQ(rect.left, expected.left);
    EXPECT_EQ(rect.top, expected.top);
    EXPECT_EQ(rect.right, expected.right);
    EXPECT_EQ(rect.bottom, expected.bottom);
    auto* skin = dynamic_cast<IRefSkinWindowInspect*>(module->SkinWindow());
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->WindowName(), L"BookrackWindow");

    // Shown automatically with an empty store: the compact mode; by the user: the shelf mode.
    ASSERT_TRUE(Window()->Show(false, nullptr));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(Window()->IsShown());
    EXPECT_EQ(Manager()->ShowMode(), 0);
    ASSERT_TRUE(Window()->Show(true, nullptr));
    EXPECT_EQ(Manager()->ShowMode(), 1);
    EXPECT_EQ(Hwnd(), hwnd);

    Window()->Hide();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(Window()->IsShown());
}

TEST_F(BookshelfTest, ShowBuildsTheWindowAndItAppearsOnceTheKernelReportsReady) {
    Attach();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    const HWND hwnd = Hwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_NE(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
    EXPECT_EQ(Window()->GetUiThreadId(), GetWindowThreadProcessId(hwnd, nullptr));
    EXPECT_TRUE(WaitUntil([hwnd] { return IsWindowVisible(hwnd) != FALSE; }));
    EXPECT_TRUE(Window()->IsShown());
    // Binding applied the display mode because the window was to show itself.
    EXPECT_EQ(Manager()->ShowMode(), 1);
    // A second window is not made while this one lives.
    EXPECT_TRUE(Window()->Show(false, nullptr));
    EXPECT_EQ(Hwnd(), hwnd);
}

TEST_F(BookshelfTest, CreateIsRefusedOnALiveWindowAndAfterCloseAndCopiesNothing) {
    Attach();
    const BOOKRACK_CREATE_PARAMS first = Params("first@example", "First Name", true);
    const BOOKRACK_CREATE_PARAMS second = Params("second@example", "Second Name", true);
    ASSERT_TRUE(Window()->Create(&first));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "First Name");
    EXPECT_FALSE(Window()->Create(&second));

    // The user closes the window; showing builds it again from what Create kept: the first block.
    const HWND firstWindow = Hwnd();
    PostMessageW(firstWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return !Window()->IsWindowAlive(); }));
    ASSERT_TRUE(Window()->Show(false, nullptr));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "First Name");
    // The new window loaded its shelf although the account did not change.
    EXPECT_EQ(Matrix()->SetBooksCalls(), 1);

    Window()->Close();
    EXPECT_FALSE(Window()->IsWindowAlive());
    const BOOKRACK_CREATE_PARAMS third = Params("third@example", "Third Name", true);
    EXPECT_FALSE(Window()->Create(&third));
    EXPECT_FALSE(Window()->IsWindowAlive());
    // Show still builds a window after Close, and it is still the first block's account.
    ASSERT_TRUE(Window()->Show(false, nullptr));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "First Name");
}

TEST_F(BookshelfTest, CreateParamsWithoutTerminatorsCountAsEmpty) {
    Attach();
    BOOKRACK_CREATE_PARAMS params = Params("reader@example", "", true);
    // The display name fills its field without a terminator; the key behind it must not leak in.
    std::memset(params.szAccountInfo, 'N', sizeof(params.szAccountInfo));
    ASSERT_TRUE(Window()->Create(&params));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "");
    EXPECT_FALSE(Manager()->SignedOut());

    // An unterminated account id is no account: nothing is signed in, nothing loaded.
    // Create refuses after Close for good: a fresh module for a fresh Create.
    module->Unload();
    module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok());
    Attach();
    std::memset(params.szAccountId, 'A', sizeof(params.szAccountId));
    ASSERT_TRUE(Window()->Create(&params));
    Flush();
    EXPECT_EQ(Matrix()->SetBooksCalls(), 0);
    EXPECT_EQ(Manager()->UserName(), "");
}

// A host written in another language lays the create block and the books-changed report out by
// hand, byte by byte: the block is 781 bytes (account id at 0, display name at 260, key at 520, the
// signed-in flag at 780), the report an id pointer at 8, then the count and the code (on 32-bit
// Windows 20 bytes: 8, 12, 16).
TEST_F(BookshelfTest, ACreateBlockAndAReportLaidOutByteByByteAreReadAtTheirOffsets) {
    static_assert(sizeof(void*) == 8 || (16 + sizeof(void*) == 20), "the 32-bit report is 20 bytes");
    store.SetShelfWithItems(kShelfKey, {301, 302, 303});
    Attach();
    unsigned char block[781] = {};
    std::memcpy(block + 0, "reader@example", 15);
    std::memcpy(block + 260, "Byte Reader", 12);
    std::memcpy(block + 520, "key", 4);
    block[780] = 1;
    ASSERT_TRUE(Window()->Create(reinterpret_cast<const BOOKRACK_CREATE_PARAMS*>(block)));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "Byte Reader");
    EXPECT_FALSE(Manager()->SignedOut());
    ASSERT_TRUE(WaitUntil([this] { return Matrix()->Ids().size() == 3; }));

    const int32_t ids[] = {302, 303};
    const void* idArray = ids;
    const int32_t count = 2, code = BOOKS_CHANGED_CODE_CHANGED;
    alignas(void*) unsigned char report[16 + sizeof(void*)] = {};
    std::memcpy(report + 8, &idArray, sizeof(idArray));
    std::memcpy(report + 8 + sizeof(void*), &count, 4);
    std::memcpy(report + 12 + sizeof(void*), &code, 4);
    std::vector<int> told;
    EXPECT_CALL(sink, OnBooksChanged(_, 2)).WillOnce([&](const int* p, int n) { told.assign(p, p + n); });
    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(report)), 0);
    EXPECT_EQ(told, (std::vector<int>{302, 303}));
}

TEST_F(BookshelfTest, SigningInTwiceWithTheSameAccountLoadsOnce) {
    Attach();
    const BOOKRACK_CREATE_PARAMS params = Params("", "", false);
    ASSERT_TRUE(Window()->Create(&params));
    Flush();
    IRefBookMatrixInspect* matrix = Matrix();
    const int loads = matrix->SetBooksCalls();

    Window()->Login("a@example", "key", "Name A", 0);
    Window()->Login("a@example", "other key", "Name A2", 0);
    Window()->Login("b@example", "key", "Name B", 0);
    Flush();
    EXPECT_EQ(matrix->SetBooksCalls(), loads + 2);
    EXPECT_EQ(Manager()->UserName(), "Name B");

    // No account: nothing at all.
    Window()->Login(nullptr, "key", "Nobody", 0);
    Window()->Login("", "key", "Nobody", 0);
    Flush();
    EXPECT_EQ(matrix->SetBooksCalls(), loads + 2);
    EXPECT_EQ(Manager()->UserName(), "Name B");

    // Null key and display name are empty texts.
    Window()->Login("c@example", nullptr, nullptr, 0);
    Flush();
    EXPECT_EQ(matrix->SetBooksCalls(), loads + 3);
    EXPECT_EQ(Manager()->UserName(), "");
    EXPECT_FALSE(Manager()->SignedOut());

    // Signing out reloads every time, and afterwards the same account signs in again.
    Window()->Logout(0);
    Window()->Logout(0);
    Flush();
    EXPECT_EQ(matrix->SetBooksCalls(), loads + 5);
    EXPECT_TRUE(Manager()->SignedOut());
    Window()->Login("c@example", nullptr, "C", 0);
    Flush();
    EXPECT_EQ(matrix->SetBooksCalls(), loads + 6);
    EXPECT_EQ(Manager()->UserName(), "C");
}

TEST_F(BookshelfTest, AWindowAndItsThreadAndIconAreGoneAfterClose) {
    Attach();
    const std::set<DWORD> threadsBefore = ThreadIds();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    const HWND hwnd = Hwnd();
    ASSERT_TRUE(WaitUntil([hwnd] { return IsWindowVisible(hwnd) != FALSE; }));
    const std::set<DWORD> windowThread = NewThreads(threadsBefore);
    EXPECT_FALSE(windowThread.empty());

    const HICON big = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    const HICON small = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(small, big);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(big, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    Window()->Close();
    // Close returns once the window and its thread have ended.
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(Window()->IsWindowAlive());
    EXPECT_FALSE(Window()->IsShown());
    EXPECT_TRUE(StillRunning(windowThread).empty());
    EXPECT_FALSE(GetIconInfo(big, &info)) << "the window's icon outlived the window";
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());

    // After Close the operations are quiet no-ops.
    Window()->NotifyItem1001(1);
    Window()->Login("late@example", nullptr, nullptr, 0);
    Window()->RefreshTips();
    EXPECT_EQ(Window()->GetHwnd(), nullptr);
}

TEST_F(BookshelfTest, ShowIsRefusedWhileABatchDeleteRunsAndChangesNothing) {
    // The refusal is reported.
    shelftest::ExpectDiagnosticReports();
    store.SetShelfWithItems(kShelfKey, {31, 32, 33});
    Attach();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    Flush();
    ASSERT_EQ(Matrix()->Ids(), (std::vector<int>{31, 32, 33}));

    // The first deletion holds the batch (and the window thread) until the test lets it go.
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_CALL(sink, ToggleBookOption(_)).WillOnce(::testing::Return(true));
    EXPECT_CALL(sink, DeleteBook(_, _)).WillRepeatedly([&](int, int) {
        SetEvent(entered);
        WaitForSingleObject(release, kDefaultWaitMs);
    });
    Matrix()->SetSelection({31, 32, 33});
    Window()->Hide();
    Manager()->UserAskBatchDelete();
    ASSERT_EQ(WaitForSingleObject(entered, kDefaultWaitMs), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 1);

    EXPECT_FALSE(Window()->Show(true, nullptr));
    EXPECT_FALSE(Window()->Show(false, nullptr));
    EXPECT_FALSE(Window()->IsShown());
    EXPECT_FALSE(IsWindowVisible(Hwnd()));

    SetEvent(release);
    EXPECT_TRUE(WaitUntil([this] { return Window()->IsBatchDeleteBusy() == 0; }));
    EXPECT_TRUE(Window()->Show(true, nullptr));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    CloseHandle(entered);
    CloseHandle(release);
}

// The bookshelf module as a host sees it: the one export, the interface before, during and after the
// window's life, creation on the window's own thread, the account operations and the end of it all.
#include <shelftest/shelf.h>

#include <cstring>
#include <thread>

using namespace shelftest;
using ::testing::_;

namespace {

using BookshelfTest = ShelfTest;

TEST_F(BookshelfTest, EveryCallHandsOutTheSameObjectWhoseOperationsAreQuietNoOpsWithoutAWindow) {
    CBookrackWindow* w = Window();
    ASSERT_NE(w, nullptr);
    CBookrackWindow* fromOtherThread = nullptr;
    std::thread([&] { fromOtherThread = Window(); }).join();
    EXPECT_EQ(fromOtherThread, w);
    EXPECT_TRUE(w->Prepare(1, 2, 3));
    EXPECT_FALSE(w->Create(nullptr));
    EXPECT_FALSE(w->IsShown());
    EXPECT_FALSE(w->IsWindowAlive());
    EXPECT_EQ(w->GetSelection(), nullptr);
    // Those that do more than send the window a message.
    w->SetBookCover(1, "C:\\nothing.jpg");
    w->ForwardItemShown(9); // no sink: nothing to tell
    w->ShowNoBookTips();
    w->PopupManagerAtCursor(0);
    w->Hide();
    w->HideAll(true);
    w->StopBatchDelete(false);

    // With a sink, the shown-book notice goes straight to it, on the caller's thread.
    DWORD calledOn = 0;
    EXPECT_CALL(sink, OnBookShown(9)).WillOnce([&](int) { calledOn = GetCurrentThreadId(); });
    w->SetNotifySink(&sink, module->Module());
    w->ForwardItemShown(9);
    EXPECT_EQ(calledOn, GetCurrentThreadId());
}

TEST_F(BookshelfTest, TheHostThreadsComApartmentIsLeftAsItWasAndTheWindowThreadHasOneOfItsOwn) {
    // A host thread makes the object (the module's first call) and the window: one that has not
    // entered COM can still choose the multithreaded apartment afterwards, one already in it stays.
    for (const bool mtaFirst : {false, true}) {
        SCOPED_TRACE(mtaFirst ? "host thread in the multithreaded apartment" : "host thread without COM");
        if (mtaFirst) {
            module->Unload();
            module = std::make_unique<ModuleUnderTest>();
            ASSERT_TRUE(module->Ok()) << module->Error();
        }
        bool created = false;
        HRESULT afterwards = E_FAIL;
        APTTYPE type = APTTYPE_STA;
        std::thread([&] {
            if (mtaFirst)
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            Attach();
            const BOOKRACK_CREATE_PARAMS params = CreateParams("com@example", "Com", true);
            created = Window()->Create(&params);
            if (mtaFirst) {
                APTTYPEQUALIFIER qualifier;
                afterwards = CoGetApartmentType(&type, &qualifier);
            } else {
                afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            }
            if (SUCCEEDED(afterwards) || mtaFirst)
                CoUninitialize();
        }).join();
        ASSERT_TRUE(created);
        EXPECT_EQ(afterwards, S_OK) << "the module changed the host thread's apartment";
        if (mtaFirst) {
            EXPECT_EQ(type, APTTYPE_MTA);
        }
        HRESULT windowThread = E_FAIL;
        APTTYPE windowType = APTTYPE_MTA;
        OnWindowThread([&] {
            APTTYPEQUALIFIER qualifier;
            windowThread = CoGetApartmentType(&windowType, &qualifier);
        });
        EXPECT_EQ(windowThread, S_OK);
        EXPECT_TRUE(windowType == APTTYPE_STA || windowType == APTTYPE_MAINSTA) << windowType;
    }
}

TEST_F(BookshelfTest, CreateBuildsTheWindowHiddenOnItsOwnThreadOnceAndShowShowsItThere) {
    Attach();
    const BOOKRACK_CREATE_PARAMS first = CreateParams("first@example", "First Name", true);
    const BOOKRACK_CREATE_PARAMS second = CreateParams("second@example", "Second Name", true);
    ASSERT_TRUE(Window()->Create(&first));
    const HWND hwnd = Hwnd();
    EXPECT_TRUE(Window()->IsWindowAlive());
    EXPECT_NE(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
    EXPECT_EQ(Window()->GetUiThreadId(), GetWindowThreadProcessId(hwnd, nullptr));
    EXPECT_FALSE(Window()->Create(&second));

    // Still hidden after the first load, 1000 x 600 centred on the work area (Wine's screen: 1024 x 768).
    Flush();
    EXPECT_EQ(Matrix()->SetBooksCalls(), 1);
    EXPECT_EQ(Manager()->UserName(), "First Name");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(Window()->IsShown());
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG left = (work.right - work.left - 1000) / 2, top = (work.bottom - work.top - 600) / 2;
    EXPECT_EQ(Edges(WindowRect(hwnd)), (std::vector<LONG>{left, top, left + 1000, top + 600}));
    EXPECT_EQ(module->FindWindowNamed(L"BookrackWindow"), hwnd);

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

    // Closed by the user, it is built again from the first block and loads its shelf once more.
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return !Window()->IsWindowAlive(); }));
    ASSERT_TRUE(Window()->Show(false, nullptr));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "First Name");
    EXPECT_EQ(Matrix()->SetBooksCalls(), 1);

    // After Close, Create refuses for good; Show still builds a window, still of the first block.
    Window()->Close();
    EXPECT_FALSE(Window()->Create(&second));
    ASSERT_TRUE(Window()->Show(false, nullptr));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "First Name");
}

TEST_F(BookshelfTest, ShowBuildsTheWindowThatAppearsOnceReadyAndCloseEndsItWithItsThreadAndIcon) {
    Attach();
    const std::set<DWORD> threadsBefore = ThreadIds();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    const HWND hwnd = Hwnd();
    ASSERT_TRUE(WaitUntil([hwnd] { return IsWindowVisible(hwnd) != FALSE; }));
    EXPECT_TRUE(Window()->IsShown());
    const std::set<DWORD> windowThread = NewThreads(threadsBefore);
    EXPECT_FALSE(windowThread.empty());
    const HICON big = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0)), big);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(big, &info));
    const vexil::ScopedGdiObject<HBITMAP> colour(info.hbmColor), mask(info.hbmMask);

    // Close returns once the window and its thread have ended.
    Window()->Close();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(Window()->IsWindowAlive());
    EXPECT_FALSE(Window()->IsShown());
    EXPECT_TRUE(StillRunning(windowThread).empty());
    EXPECT_FALSE(GetIconInfo(big, &info)) << "the window's icon outlived the window";
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());
    EXPECT_EQ(Window()->GetHwnd(), nullptr);
}

TEST_F(BookshelfTest, CreateBlockFieldsWithoutTerminatorsCountAsEmpty) {
    Attach();
    BOOKRACK_CREATE_PARAMS params = CreateParams("reader@example", "", true);
    // The display name fills its field; the key behind it must not leak in.
    std::memset(params.szAccountInfo, 'N', sizeof(params.szAccountInfo));
    ASSERT_TRUE(Window()->Create(&params));
    Flush();
    EXPECT_EQ(Manager()->UserName(), "");
    EXPECT_FALSE(Manager()->SignedOut());

    // An unterminated id is no account; Create refuses after Close for good: a fresh module it is.
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
// hand: the block is 781 bytes (account id at 0, display name at 260, key at 520, the signed-in flag
// at 780), the report an id pointer at 8, then the count and the code (on 32-bit Windows 20 bytes:
// 8, 12, 16).
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

TEST_F(BookshelfTest, EachNewAccountAndEachSignOutLoadsTheShelfOnce) {
    CreateShelf(false);
    const int loads = Matrix()->SetBooksCalls();
    const struct {
        const char *account, *key, *name; // account "-": sign out
        int loads;
        const char* shown;
    } steps[] = {
        {"a@example", "key", "Name A", 1, "Name A"},
        {"a@example", "other key", "Name A2", 1, "Name A"}, // the account already signed in
        {"b@example", "key", "Name B", 2, "Name B"},
        {nullptr, "key", "Nobody", 2, "Name B"}, // no account: nothing at all
        {"", "key", "Nobody", 2, "Name B"},
        {"c@example", nullptr, nullptr, 3, ""}, // null key and name are empty texts
        {"-", nullptr, nullptr, 4, ""},
        {"-", nullptr, nullptr, 5, ""},
        {"c@example", nullptr, "C", 6, "C"}, // signed out, the same account signs in again
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.loads);
        const bool signOut = step.account && std::strcmp(step.account, "-") == 0;
        if (signOut)
            Window()->Logout(0);
        else
            Window()->Login(step.account, step.key, step.name, 0);
        Flush();
        EXPECT_EQ(Matrix()->SetBooksCalls(), loads + step.loads);
        EXPECT_EQ(Manager()->SignedOut(), signOut);
        if (!signOut) {
            EXPECT_EQ(Manager()->UserName(), step.shown);
        }
    }
}

TEST_F(BookshelfTest, ShowIsRefusedWhileABatchDeleteRunsAndChangesNothing) {
    ExpectDiagnosticReports(); // the refusal is reported
    ShowShelf({31, 32, 33});
    // The first deletion holds the batch (and the window thread) until the test lets it go.
    const vexil::ScopedHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const vexil::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_CALL(sink, ToggleBookOption(_)).WillOnce(::testing::Return(true));
    EXPECT_CALL(sink, DeleteBook(_, _)).WillRepeatedly([&](int, int) {
        SetEvent(entered.get());
        WaitForSingleObject(release.get(), kDefaultWaitMs);
    });
    Matrix()->SetSelection({31, 32, 33});
    Window()->Hide();
    Manager()->UserAskBatchDelete();
    ASSERT_EQ(WaitForSingleObject(entered.get(), kDefaultWaitMs), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 1);

    EXPECT_FALSE(Window()->Show(true, nullptr));
    EXPECT_FALSE(Window()->IsShown());
    EXPECT_FALSE(IsWindowVisible(Hwnd()));

    SetEvent(release.get());
    EXPECT_TRUE(WaitUntil([this] { return Window()->IsBatchDeleteBusy() == 0; }));
    EXPECT_TRUE(Window()->Show(true, nullptr));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
}

} // namespace

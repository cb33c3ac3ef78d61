// What the skin's controls report (opening and deleting a book by its record, the manager's hide and
// activation requests), and the wheel reaching the embedded page's document window.
#include <shelftest/shelf.h>

using namespace shelftest;
using ::testing::_;
using ::testing::Mock;

namespace {

using FlowTest = ShownShelfTest;

TEST_F(FlowTest, ABookIsOpenedAndDeletedByTheNumberAtTheStartOfItsRecordId) {
    const struct {
        const char* text;
        int id;
    } cases[] = {{"42", 42}, {"7x", 7}, {"  -3", -3}, {"+15", 15}, {"abc", 0}, {"", 0}};
    for (const auto& c : cases) {
        BOOK_INFO info;
        info.strAppId = c.text;
        EXPECT_CALL(sink, OpenBook(c.id, 9));
        EXPECT_EQ(Notify(VEXIL_NOTIFY_OPEN_BOOK, 9, reinterpret_cast<LPARAM>(&info)), 0);
        Flush();
        EXPECT_CALL(sink, DeleteBook(c.id, 4));
        EXPECT_EQ(Notify(VEXIL_NOTIFY_DELETE_BOOK, 4, reinterpret_cast<LPARAM>(&info)), 0);
        Mock::VerifyAndClearExpectations(&sink);
    }
    // Without a record nothing is opened or deleted.
    EXPECT_CALL(sink, OpenBook(_, _)).Times(0);
    EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
    EXPECT_EQ(Notify(VEXIL_NOTIFY_OPEN_BOOK, 0, 0), 0);
    Flush();
    EXPECT_EQ(Notify(VEXIL_NOTIFY_DELETE_BOOK, 0, 0), -1);
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
    DWORD pid = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &pid);
    // Test processes share one desktop: one running beside this may hold the foreground.
    if (focus != Hwnd() && pid != 0 && pid != GetCurrentProcessId())
        GTEST_SKIP() << "another process holds the foreground; activation is checked when it runs alone";
    EXPECT_EQ(focus, Hwnd());
}

WPARAM Wheel(int delta) { return MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))); }

LRESULT SendWheel(HWND hwnd, int delta) {
    return SendMessageW(hwnd, WM_MOUSEWHEEL, Wheel(delta), MAKELPARAM(5, 6));
}

TEST_F(FlowTest, TheWheelReachesTheVisibleDocumentWindowEvenAfterTheBrowserRecreatedIt) {
    IRefBrowserInspect* browser = Browser();
    ASSERT_NE(browser, nullptr);
    const int before = browser->WheelCount();
    EXPECT_EQ(SendWheel(Hwnd(), 120), 0);
    ASSERT_TRUE(WaitUntil([&] { return browser->WheelCount() == before + 1; }));
    EXPECT_EQ(browser->LastWheelWParam(), Wheel(120));

    // A hidden document window gets nothing; the next wheel after it shows again arrives alone.
    browser->SetDocumentVisible(false);
    EXPECT_EQ(SendWheel(Hwnd(), -120), 0);
    browser->SetDocumentVisible(true);
    EXPECT_EQ(SendWheel(Hwnd(), 240), 0);
    ASSERT_TRUE(WaitUntil([&] { return browser->LastWheelWParam() == Wheel(240); }));
    EXPECT_EQ(browser->WheelCount(), before + 2);

    const HWND old = browser->DocumentWindow();
    browser->RecreateDocumentWindow();
    ASSERT_NE(browser->DocumentWindow(), old);
    EXPECT_EQ(SendWheel(Hwnd(), -240), 0);
    ASSERT_TRUE(WaitUntil([&] { return browser->WheelCount() == before + 3; }));
    EXPECT_EQ(browser->LastWheelWParam(), Wheel(-240));
}

int g_ownDocumentWheels = 0;

LRESULT CALLBACK OwnDocumentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_ownDocumentWheels += msg == WM_MOUSEWHEEL ? 1 : 0;
    return msg == WM_MOUSEWHEEL ? 0 : DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(FlowTest, ADocumentWindowWhoseClassIsWrittenInLowerCaseIsFoundToo) {
    const HWND view = GetParent(Browser()->DocumentWindow());
    ASSERT_NE(view, nullptr);
    Browser()->DestroyDocumentWindow();
    EXPECT_EQ(SendWheel(Hwnd(), 120), 0); // nothing at the end of the chain: nothing is posted

    WNDCLASSW wc = {};
    wc.lpfnWndProc = &OwnDocumentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"internet explorer_server";
    ASSERT_NE(RegisterClassW(&wc), 0);
    const HWND own = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, view,
                                     nullptr, wc.hInstance, nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(SendWheel(Hwnd(), 120), 0);
    EXPECT_TRUE(WaitUntil([] { return g_ownDocumentWheels == 1; }));
    DestroyWindow(own);
}

} // namespace

// The embedded page: the wheel reaches the page's document window, WM_COPYDATA goes to the browser
// control, and a skin without the browser leaves both to the rest of the window.
#include <shelftest/shelf.h>

using namespace shelftest;

namespace flows {
namespace {

using FlowTest = ShownShelfTest;

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

// A document window of the test's own, to see what reaches it.
struct OwnDocumentWindow {
    static inline int wheels = 0;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_MOUSEWHEEL) {
            ++wheels;
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

TEST_F(FlowTest, ADocumentWindowWhoseClassIsWrittenInLowerCaseIsFoundToo) {
    IRefBrowserInspect* browser = Browser();
    ASSERT_NE(browser, nullptr);
    const HWND view = GetParent(browser->DocumentWindow());
    ASSERT_NE(view, nullptr);
    browser->DestroyDocumentWindow();
    // Nothing at the end of the chain: nothing is posted.
    EXPECT_EQ(SendWheel(Hwnd(), 120), 0);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = &OwnDocumentWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"internet explorer_server";
    ASSERT_NE(RegisterClassW(&wc), 0);
    const HWND own = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, view,
                                     nullptr, wc.hInstance, nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(SendWheel(Hwnd(), 120), 0);
    EXPECT_TRUE(WaitUntil([] { return OwnDocumentWindow::wheels == 1; }));
    DestroyWindow(own);
}

TEST_F(FlowTest, CopyDataIsAnsweredByTheBrowser) {
    COPYDATASTRUCT data = {1, 0, nullptr};
    const int before = Browser()->CopyDataCalls();
    EXPECT_EQ(SendMessageW(Hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), kRefCopyDataResult);
    EXPECT_EQ(Browser()->CopyDataCalls(), before + 1);
}

} // namespace
} // namespace flows

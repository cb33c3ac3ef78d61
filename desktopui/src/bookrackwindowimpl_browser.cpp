// The embedded web page's duties: wheel scrolling reaches the page's document window although the
// wheel arrives at the shelf, WM_COPYDATA goes to the browser control (see WindowProc), and the
// browser hears when the shelf hides.
#include "bookrackwindowimpl.h"

namespace {

constexpr wchar_t kDocumentWindowClass[] = L"Internet Explorer_Server";
constexpr int kClassNameChars = 260;

bool IsUsableHandle(HWND hwnd) { return hwnd != nullptr && hwnd != reinterpret_cast<HWND>(-1); }

} // namespace

bool CBookrackWindowImpl::IsDocumentWindow(HWND hwnd) {
    if (!::IsWindow(hwnd))
        return false;
    wchar_t className[kClassNameChars + 1] = {};
    if (GetClassNameW(hwnd, className, kClassNameChars + 1) == 0)
        return false;
    return CompareStringOrdinal(className, -1, kDocumentWindowClass, -1, TRUE) == CSTR_EQUAL;
}

HWND CBookrackWindowImpl::FindDocumentWindow(HWND start) {
    // Only the chain of first children: the page's document window is always the first child.
    for (HWND current = start; ::IsWindow(current); current = GetWindow(current, GW_CHILD)) {
        if (IsDocumentWindow(current))
            return current;
    }
    return nullptr;
}

void CBookrackWindowImpl::ForwardMouseWheel(WPARAM wParam, LPARAM lParam) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlIEBrowser* browser = m_pIeBrowser.load();
    if (!browser)
        return;
    // The cache holds until its window is gone (checked by class too, since a dead handle's value
    // may come back as some other window). A hidden document window stays cached and gets nothing.
    if (!IsUsableHandle(m_hIeServer) || !IsDocumentWindow(m_hIeServer)) {
        const HWND host = browser->GetBrowserWindow();
        if (!host || !::IsWindow(host))
            return;
        m_hIeServer = FindDocumentWindow(host);
        if (!m_hIeServer)
            return;
    }
    // Posted, never sent: the page scrolls on its own queue after this window has answered.
    if (::IsWindowVisible(m_hIeServer))
        PostMessageW(m_hIeServer, WM_MOUSEWHEEL, wParam, lParam);
}

void CBookrackWindowImpl::NotifyBrowserHidden() {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (ICtrlIEBrowser* browser = m_pIeBrowser.load())
        browser->OnShelfHidden();
}

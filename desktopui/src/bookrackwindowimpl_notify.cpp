// Control notifications: what the skin's controls report, acted on by notification id alone. The
// kernel calls OnCtrlMessage on the window's thread.
#include "bookrackwindowimpl.h"

#include <cstdlib>

namespace {

// The book id of a record: its decimal text, leading white space and a sign accepted, up to the first
// non-digit; 0 without a number.
int BookIdOf(const BOOK_INFO& info) {
    const long value = std::strtol(info.strAppId.c_str(), nullptr, 10);
    return static_cast<int>(value);
}

} // namespace

LRESULT CBookrackWindowImpl::OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) {
    VEXIL_ASSERT_WINDOW_THREAD();
    CVexilWindow::OnCtrlMessage(control, id, wParam, lParam);
    const HWND hwnd = GetWindowHandle();
    const bool haveWindow = HasWindow(hwnd) && ::IsWindow(hwnd);
    const auto* book = reinterpret_cast<const BOOK_INFO*>(lParam);

    switch (id) {
    case VEXIL_NOTIFY_ACTIVATE:
        if (haveWindow) {
            ::SetActiveWindow(hwnd);
            ::SetFocus(hwnd);
        }
        return 0;
    case VEXIL_NOTIFY_SHOWMODE_CHOSEN:
        OnShowModeChosen(static_cast<int>(wParam));
        return 0;
    case VEXIL_NOTIFY_MINIMIZE:
        m_tipsDlg.Hide();
        m_bShown.store(false);
        if (haveWindow)
            PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
    case VEXIL_NOTIFY_HIDE:
        m_tipsDlg.Hide();
        m_bShown.store(false);
        ShowWindow(SW_HIDE);
        NotifyBrowserHidden();
        return 0;
    case VEXIL_NOTIFY_OPEN_BOOK:
        // Posted: the sink opens the book after the matrix's notification has returned.
        if (book && haveWindow)
            PostMessage(WM_BOOKRACK_OPEN_ITEM, wParam, static_cast<LPARAM>(BookIdOf(*book)));
        return 0;
    case VEXIL_NOTIFY_DELETE_BOOK: {
        IShelfSink* sink = m_pSink.load();
        if (!book || !sink)
            return -1;
        sink->DeleteBook(BookIdOf(*book), static_cast<int>(wParam));
        return 0;
    }
    case VEXIL_NOTIFY_BATCH_DELETE_END:
        OnBatchDeleteEnded();
        return 0;
    case VEXIL_NOTIFY_BATCH_DELETE_ASK:
        return OnBatchDeleteAsked(wParam);
    default:
        return 0;
    }
}

void CBookrackWindowImpl::OnShowModeChosen(int mode) {
    VEXIL_ASSERT_WINDOW_THREAD();
    // The manager knows modes 0 and 1 only; another value would be saved and make every later Show
    // fail, so it changes nothing.
    if (mode != 0 && mode != 1)
        return;
    m_nShowMode.store(mode);
    SaveShowMode(mode);
    if (mode != 1) {
        m_tipsDlg.Hide();
        return;
    }
    if (MatrixHasNoBook() && m_bShown.load())
        ShowTipsBelowButton();
}

// The bookshelf window's message handling: every custom message of the interface, a few standard
// messages, and the window thread's pre-translation.
#include "bookrackwindowimpl.h"

LRESULT CBookrackWindowImpl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE || msg == WM_DESTROY)
        OnDestroy();
    if (msg == WM_COPYDATA) {
        if (ICtrlIEBrowser* browser = m_pIeBrowser.load())
            return browser->HandleCopyData();
    }

    const int id = static_cast<int>(wParam);
    switch (msg) {
    case WM_BOOKRACK_MATRIX_NOTIFY:
        if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
            matrix->HandleNotify(wParam, lParam);
        return 0;
    case WM_BOOKRACK_ITEM_1001:
        ShelveBook(msg, id, false);
        return 0;
    case WM_BOOKRACK_ITEM_1002:
    case WM_BOOKRACK_ITEM_1003:
    case WM_BOOKRACK_ITEM_1004:
    case WM_BOOKRACK_ITEM_1005:
        ShelveBook(msg, id, lParam != 0);
        return 0;
    case WM_BOOKRACK_RESTORED:
        OnRestored();
        return 0;
    case WM_BOOKRACK_OPEN_ITEM:
        if (IShelfSink* sink = m_pSink.load())
            sink->OpenBook(static_cast<int>(lParam), static_cast<int>(wParam));
        return 0;
    case WM_BOOKRACK_REMOVE_ITEM:
        UnshelveBook(id);
        return 0;
    case WM_BOOKRACK_BATCH_DELETE:
        StartBatchDelete();
        return 0;
    case WM_BOOKRACK_BATCH_DELETE_DONE:
        FinishBatchDelete(wParam);
        return 0;
    case WM_BOOKRACK_LOGIN:
        OnAccountLogin();
        return 0;
    case WM_BOOKRACK_LOGOUT:
        OnAccountLogout();
        return 0;
    case WM_BOOKRACK_LOAD_ITEM:
        LocateCover(id);
        return 0;
    case WM_BOOKRACK_REFRESH_ITEM:
        RefreshBook(id);
        return 0;
    case WM_BOOKRACK_TIPS:
        ShowNoBookTips();
        return 0;
    case WM_BOOKRACK_MANAGER_POPUP:
        OnManagerPopup(lParam);
        return 0;
    case WM_BOOKRACK_DELETE_AT:
        DeleteStep(id);
        return 0;
    case WM_BOOKRACK_STOP_WORK:
        StopLoader();
        m_patchDelWindow.Stop(true);
        return 0;
    case WM_MOVE:
        OnMoveWhileSizing();
        break;
    case WM_WINDOWPOSCHANGED:
        if (OnWindowPosChanged())
            return 0;
        break;
    case WM_DISPLAYCHANGE:
        if (m_bShown.load())
            Show(false, nullptr);
        return 0;
    case WM_MOUSEWHEEL:
        ForwardMouseWheel(wParam, lParam);
        return 0;
    case WM_BOOKRACK_COVER_READY:
        SetCoverFromIconUrl(static_cast<int>(lParam));
        break;
    case WM_BOOKRACK_BOOKS_CHANGED:
        return OnBooksChangedReport(lParam);
    default:
        break;
    }
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}

// ---- handlers below: placeholders until the message-handling work lands ----

void CBookrackWindowImpl::StartBatchDelete() {}
void CBookrackWindowImpl::DeleteStep(int) {}
void CBookrackWindowImpl::FinishBatchDelete(WPARAM) {}
LRESULT CBookrackWindowImpl::OnBooksChangedReport(LPARAM) { return 1; }
void CBookrackWindowImpl::OnManagerPopup(LPARAM) {}
void CBookrackWindowImpl::OnRestored() {}
void CBookrackWindowImpl::OnMoveWhileSizing() {}
bool CBookrackWindowImpl::OnWindowPosChanged() { return false; }
void CBookrackWindowImpl::OnEnterSizeMove() { m_bInSizeMove = true; }
void CBookrackWindowImpl::OnExitSizeMove() { m_bInSizeMove = false; }
bool CBookrackWindowImpl::PreTranslateMessage(MSG) { return false; }

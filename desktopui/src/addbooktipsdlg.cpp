// The empty-shelf balloon. Show and Hide take any thread and send to the balloon's own thread, the
// bookshelf's, which runs everything else here.
#include "addbooktipsdlg.h"

#include <uiassist/readablememory.h>

#include "bookrackprivatemessages.h"
#include "damagednotice.h"
#include "product.h"

bool CAddBookTipsDlg::Show(IUiKernel* kernel, HWND parent, RECT rect) {
    if (m_bSuppressed.load())
        return false;
    if (IsWindow() && !CalledOnWindowThread())
        return SendMessage(WM_TIPS_SHOW, 0, reinterpret_cast<LPARAM>(&rect)) != 0;

    m_bWanted = true;
    if (!IsWindow()) {
        if (kernel == nullptr)
            return false;
        // Built on the calling thread (the bookshelf's), hidden until the kernel reports it ready.
        CreateVexilWindowWithKernel(kernel, bookrack::kBalloonWindowName, parent, rect, SW_SHOW, WS_POPUP, 0,
                                    false);
        if (!IsWindow())
            return false;
    } else {
        MoveWindow(rect.left, rect.top, rect.right, rect.bottom, true);
        ShowWindow(SW_SHOW);
        RedrawWindow();
    }
    // Restarts the balloon's life on every Show.
    SetTimer(kTipsTimerId, m_nLifetimeMs);
    return true;
}

void CAddBookTipsDlg::Hide() {
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd))
        return;
    if (!CalledOnWindowThread()) {
        SendMessage(WM_TIPS_HIDE, 0, 0);
        return;
    }
    // Every arrival hides the balloon: one not shown has no timer to stop and nothing to hide.
    if (!m_bWanted.exchange(false) && !::IsWindowVisible(hwnd))
        return;
    KillTimer(kTipsTimerId);
    ShowWindow(SW_HIDE);
}

void CAddBookTipsDlg::Suppress() {
    m_bSuppressed = true;
    Hide();
}

void CAddBookTipsDlg::ResetSuppress() { m_bSuppressed = false; }

void CAddBookTipsDlg::OnTimer(UINT_PTR id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (id == kTipsTimerId)
        Suppress();
}

LRESULT CAddBookTipsDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIPS_HIDE:
        Hide();
        return 0;
    case WM_TIPS_SHOW: {
        // Only Show on another thread of this process sends it, and waits meanwhile; any other
        // sender's rectangle (posted, or not readable here) is not read.
        RECT rect;
        if ((InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) != ISMEX_SEND ||
            !vexil::CopyIfReadable(&rect, reinterpret_cast<const void*>(lParam), sizeof(rect)))
            return 0;
        return Show(nullptr, nullptr, rect) ? 1 : 0;
    }
    default:
        break;
    }
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}

void CAddBookTipsDlg::OnCreateResult(int code) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (ShowNoticeIfSkinDamaged(code))
        return;
    CVexilWindow::OnCreateResult(code);
    // A Hide that came before the kernel's report keeps the balloon hidden.
    if (!m_bWanted.load())
        ShowWindow(SW_HIDE);
}

LRESULT CAddBookTipsDlg::OnCtrlMessage(IControlBase*, int, WPARAM, LPARAM) { return 0; }

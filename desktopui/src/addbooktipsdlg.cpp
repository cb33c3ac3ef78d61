// The empty-shelf balloon and the damaged-installation notice.
#include "addbooktipsdlg.h"

// Placeholders until the balloon work lands.
bool CAddBookTipsDlg::Show(IUiKernel*, HWND, RECT) { return false; }
void CAddBookTipsDlg::Hide() {}
void CAddBookTipsDlg::Suppress() {}
void CAddBookTipsDlg::ResetSuppress() {}
void CAddBookTipsDlg::OnTimer(UINT_PTR) {}
LRESULT CAddBookTipsDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}
LRESULT CAddBookTipsDlg::OnCtrlMessage(IControlBase*, int, WPARAM, LPARAM) { return 0; }
void ShowDamagedInstallNotice(const char*) {}
HINSTANCE OpenUrlInBrowser(const wchar_t*) { return nullptr; }

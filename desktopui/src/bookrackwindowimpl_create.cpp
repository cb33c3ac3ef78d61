// Window creation and control binding.
#include "bookrackwindowimpl.h"

// Placeholders until the creation work lands.
RECT ComputeDefaultBookrackRect(int, int, const RECT&) { return RECT{}; }
RECT CBookrackWindowImpl::GetDefaultRect() { return RECT{}; }
bool CBookrackWindowImpl::CreateBookrackWindow(HWND, int) { return false; }
bool CBookrackWindowImpl::GetNewBookButtonScreenRect(RECT*) { return false; }
void CBookrackWindowImpl::ShowTipsBelowButton() {}
bool CBookrackWindowImpl::MatrixHasNoBook() { return true; }
void CBookrackWindowImpl::OnCreate() {}
void CBookrackWindowImpl::OnDestroy() {}
void CBookrackWindowImpl::OnCreateResult(int code) { CVexilWindow::OnCreateResult(code); }

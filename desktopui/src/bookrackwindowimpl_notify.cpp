// Control notifications.
#include "bookrackwindowimpl.h"

// Placeholders until the notification work lands.
LRESULT CBookrackWindowImpl::OnCtrlMessage(IControlBase*, int, WPARAM, LPARAM) { return 0; }
void CBookrackWindowImpl::OnShowModeChosen(int) {}
void CBookrackWindowImpl::OnBatchDeleteEnded() {}
LRESULT CBookrackWindowImpl::OnBatchDeleteAsked(WPARAM) { return 0; }

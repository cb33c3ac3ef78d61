// The display-mode file and the account switch.
#include "bookrackwindowimpl.h"

// Placeholders until the account work lands.
void CBookrackWindowImpl::SaveShowMode(int) {}
void CBookrackWindowImpl::OnAccountLogin() {}
void CBookrackWindowImpl::OnAccountLogout() {}

// The embedded web page's duties.
#include "bookrackwindowimpl.h"

// Placeholders until the browser work lands.
bool CBookrackWindowImpl::IsDocumentWindow(HWND) { return false; }
HWND CBookrackWindowImpl::FindDocumentWindow(HWND) { return nullptr; }
void CBookrackWindowImpl::ForwardMouseWheel(WPARAM, LPARAM) {}
void CBookrackWindowImpl::NotifyBrowserHidden() {}

// The bookshelf window object: construction, destruction and the interface operations.
#include "bookrackwindowimpl.h"

// Placeholders until the interface work lands.
CBookrackWindowImpl::CBookrackWindowImpl() = default;
CBookrackWindowImpl::~CBookrackWindowImpl() = default;
CBookrackWindowImpl* CBookrackWindowImpl::Instance() {
    static CBookrackWindowImpl instance;
    return &instance;
}
bool CBookrackWindowImpl::Prepare(DWORD, DWORD, DWORD) { return true; }
bool CBookrackWindowImpl::Show(bool, HWND) { return false; }
void CBookrackWindowImpl::Hide() {}
void CBookrackWindowImpl::Close() {}
bool CBookrackWindowImpl::IsShown() { return false; }
bool CBookrackWindowImpl::Create(const BOOKRACK_CREATE_PARAMS*) { return false; }
void CBookrackWindowImpl::PostMatrixNotify(WPARAM, LPARAM) {}
bool CBookrackWindowImpl::IsWindowAlive() { return false; }
void CBookrackWindowImpl::SetNotifySink(IShelfSink*, HINSTANCE) {}
void CBookrackWindowImpl::SetHost(IShelfHost*, int) {}
void CBookrackWindowImpl::NotifyItem1001(int) {}
void CBookrackWindowImpl::NotifyItem1004(int, int) {}
void CBookrackWindowImpl::NotifyItem1003(int, int) {}
void CBookrackWindowImpl::NotifyItem1005(int, int) {}
void CBookrackWindowImpl::SetBookCover(int, const char*) {}
void CBookrackWindowImpl::NotifyItem1002(int) {}
DWORD CBookrackWindowImpl::GetUiThreadId() { return 0; }
void CBookrackWindowImpl::RemoveItem(int) {}
HWND CBookrackWindowImpl::GetHwnd() { return nullptr; }
void CBookrackWindowImpl::ForwardItemShown(int) {}
void CBookrackWindowImpl::HideAll(bool) {}
void CBookrackWindowImpl::StopBatchDelete(bool) {}
void CBookrackWindowImpl::PopupManagerAtCursor(DWORD) {}
void CBookrackWindowImpl::ShowNoBookTips() {}
const std::vector<int>* CBookrackWindowImpl::GetSelection() { return nullptr; }
void CBookrackWindowImpl::Login(const char*, const char*, const char*, DWORD) {}
void CBookrackWindowImpl::Logout(DWORD) {}
void CBookrackWindowImpl::RefreshTips() {}
LONG CBookrackWindowImpl::IsWorkerRunning() { return 0; }
LONG CBookrackWindowImpl::IsBatchDeleteBusy() { return 0; }
void CBookrackWindowImpl::DeleteSelectedAt(int) {}

// The bookshelf window object: construction, destruction and the interface operations. The host's
// threads run this file; what must run on the window thread is sent there (or done directly when the
// caller is the window thread itself, inside a sink callback).
#include "bookrackwindowimpl.h"

#include <uiassist/diag.h>

#include <cstring>
#include <new>

namespace {

// No exception leaves the interface: a throwing operation becomes a no-op with the given result.
template <class R, class F> R Guarded(R failed, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in a bookshelf interface operation");
        return failed;
    }
}

template <class F> void Guarded(F&& body) noexcept {
    try {
        body();
    } catch (...) {
        vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in a bookshelf interface operation");
    }
}

// The one object, built in static storage on first use. Not a function-local static: the static C++
// runtime guards those with a lock that records the calling host thread (a duplicated thread handle
// and an event), and that record is lost each time the host unloads the module. Not destroyed by the
// runtime's exit list either: the module destroys it itself when it is unloaded (ReleaseInstance).
INIT_ONCE g_instanceOnce = INIT_ONCE_STATIC_INIT;
alignas(CBookrackWindowImpl) unsigned char g_instanceStorage[sizeof(CBookrackWindowImpl)];
std::atomic<bool> g_instanceBuilt{false};

BOOL CALLBACK ConstructInstance(PINIT_ONCE, PVOID, PVOID* instance) {
    try {
        *instance = new (g_instanceStorage) CBookrackWindowImpl();
    } catch (...) {
        return FALSE; // not built: the next call tries again
    }
    g_instanceBuilt.store(true);
    return TRUE;
}

} // namespace

CBookrackWindowImpl::CBookrackWindowImpl() {
    m_lWorkerRun.exchange(0);
    m_loadedIds.clear();
    m_pBookrackMgr = nullptr;
    m_pBookMatrix = nullptr;
    m_pIeBrowser = nullptr;
    m_pNewBookBtn = nullptr;
    m_strAccountId.clear();
    m_pendingActions.clear();
    std::memset(&m_createParams, 0, sizeof(m_createParams));
}

// Runs while the module unloads, under the loader lock, once every thread of the module has ended
// (each holds a reference to the module): the display mode was saved and the icon destroyed on the
// window thread as it ended, and the kernel was let go there. Nothing is left to wait for, write or
// free here.
CBookrackWindowImpl::~CBookrackWindowImpl() { m_hIeServer = nullptr; }

void CBookrackWindowImpl::ReleaseInstance() {
    if (g_instanceBuilt.exchange(false))
        std::launder(reinterpret_cast<CBookrackWindowImpl*>(g_instanceStorage))->~CBookrackWindowImpl();
}

CBookrackWindowImpl* CBookrackWindowImpl::Instance() {
    void* instance = nullptr;
    if (!InitOnceExecuteOnce(&g_instanceOnce, ConstructInstance, nullptr, &instance))
        return nullptr;
    return static_cast<CBookrackWindowImpl*>(instance);
}

bool CBookrackWindowImpl::Prepare(DWORD, DWORD, DWORD) { return true; }

bool CBookrackWindowImpl::Show(bool byUser, HWND parent) {
    return Guarded(false, [&] {
        if (m_lBatchBusy.load() != 0) {
            VEXIL_REPORT_IF(true, "Show refused while a batch delete runs");
            return false;
        }
        m_bShowOnBind = true;
        if (!IsWindow()) {
            std::unique_lock<std::mutex> creating(m_createLock);
            // Another host thread may have made it meanwhile.
            if (!IsWindow()) {
                m_bShown = true;
                const bool created = CreateBookrackWindow(parent, SW_SHOW);
                // A window that could not be made is not shown.
                if (!created)
                    m_bShown = false;
                return created;
            }
        }
        // The manager, the matrix, the store and the window's size belong to the window thread.
        if (CalledOnWindowThread())
            return ShowOnWindowThread(byUser);
        return SendMessage(WM_BOOKRACK_SHOW, byUser ? 1 : 0, 0) == kShownResult;
    });
}

void CBookrackWindowImpl::Hide() {
    Guarded([this] {
        m_bShown = false;
        if (CalledOnWindowThread())
            HideOnWindowThread(false);
        else
            SendMessage(WM_BOOKRACK_HIDE, 0, 0);
    });
}

void CBookrackWindowImpl::Close() {
    Guarded([this] {
        m_bClosing = true;
        m_bWindowClosing = true;
        m_bShown = false;
        // From inside a sink callback: the window thread must not wait for itself; it ends on its
        // own once the posted WM_CLOSE has destroyed the window, joining its loader and worker.
        if (CalledOnWindowThread() && IsWindow()) {
            StopWorkAndHide();
            CloseWin32Window(false);
            return;
        }
        vexil::ScopedHandle thread;
        {
            // A window another host thread is making is made before it is closed: otherwise this
            // would wait for a thread whose window nobody closes.
            std::lock_guard<std::mutex> creating(m_createLock);
            SendMessage(WM_BOOKRACK_STOP_WORK, 0, 0);
            CloseWin32Window(false);
            thread = OwnThreadHandle();
        }
        // However long a host callback on the window thread takes: the thread is never killed, and
        // the messages it sends to this thread meanwhile are delivered.
        if (vexil::IsAnotherThread(thread.get()))
            vexil::WaitDeliveringSent(thread.get(), INFINITE);
    });
}

bool CBookrackWindowImpl::IsShown() {
    return Guarded(false, [this] { return m_bShown.load() || vexil::IsMinimizedWindow(GetWindowHandle()); });
}

bool CBookrackWindowImpl::Create(const BOOKRACK_CREATE_PARAMS* params) {
    return Guarded(false, [&] {
        if (params == nullptr || IsWindow() || m_bClosing.load())
            return false;
        std::lock_guard<std::mutex> creating(m_createLock);
        if (IsWindow())
            return false;
        std::memcpy(&m_createParams, params, sizeof(m_createParams));
        m_bShowOnBind = false;
        m_bShown = false;
        return CreateBookrackWindow(nullptr, SW_HIDE);
    });
}

void CBookrackWindowImpl::PostMatrixNotify(WPARAM wParam, LPARAM lParam) {
    Guarded([&] { PostMessage(WM_BOOKRACK_MATRIX_NOTIFY, wParam, lParam); });
}

bool CBookrackWindowImpl::IsWindowAlive() {
    return Guarded(false, [this] { return IsWindow(); });
}

void CBookrackWindowImpl::SetNotifySink(IShelfSink* sink, HINSTANCE instance) {
    m_hInstance = instance;
    m_pSink = sink;
}

void CBookrackWindowImpl::SetHost(IShelfHost* host, int userIndex) {
    if (host == nullptr)
        return;
    // The key first: whoever sees the host sees its key.
    m_nUserIndex = userIndex;
    m_pHost = host;
}

void CBookrackWindowImpl::NotifyItem1001(int id) {
    Guarded([&] { SendMessage(WM_BOOKRACK_ITEM_1001, static_cast<WPARAM>(id), 0); });
}

void CBookrackWindowImpl::NotifyItem1004(int id, int openAfter) {
    Guarded([&] { SendMessage(WM_BOOKRACK_ITEM_1004, static_cast<WPARAM>(id), openAfter); });
}

void CBookrackWindowImpl::NotifyItem1003(int id, int openAfter) {
    Guarded([&] { SendMessage(WM_BOOKRACK_ITEM_1003, static_cast<WPARAM>(id), openAfter); });
}

void CBookrackWindowImpl::NotifyItem1005(int id, int openAfter) {
    Guarded([&] { SendMessage(WM_BOOKRACK_ITEM_1005, static_cast<WPARAM>(id), openAfter); });
}

void CBookrackWindowImpl::SetBookCover(int id, const char* imagePath) {
    Guarded([&] {
        if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
            matrix->SetBookImage(id, imagePath);
    });
}

void CBookrackWindowImpl::NotifyItem1002(int id) {
    Guarded([&] { SendMessage(WM_BOOKRACK_ITEM_1002, static_cast<WPARAM>(id), 0); });
}

DWORD CBookrackWindowImpl::GetUiThreadId() { return m_dwUiThreadId.load(); }

void CBookrackWindowImpl::RemoveItem(int id) {
    Guarded([&] { SendMessage(WM_BOOKRACK_REMOVE_ITEM, static_cast<WPARAM>(id), 0); });
}

HWND CBookrackWindowImpl::GetHwnd() { return GetWindowHandle(); }

void CBookrackWindowImpl::ForwardItemShown(int id) {
    Guarded([&] {
        if (IShelfSink* sink = m_pSink.load())
            sink->OnBookShown(id);
    });
}

void CBookrackWindowImpl::HideAll(bool cancel) {
    Guarded([&] {
        m_patchDelWindow.Stop(cancel);
        m_bShown = false;
        if (CalledOnWindowThread())
            HideOnWindowThread(true);
        else
            SendMessage(WM_BOOKRACK_HIDE, 1, 0);
    });
}

void CBookrackWindowImpl::StopBatchDelete(bool cancel) {
    Guarded([&] { m_patchDelWindow.Stop(cancel); });
}

void CBookrackWindowImpl::PopupManagerAtCursor(DWORD value) {
    Guarded([&] {
        if (m_pBookrackMgr.load() == nullptr || m_nShowMode.load() != 0)
            return;
        POINT cursor = {};
        if (!::GetCursorPos(&cursor))
            return;
        PostMessage(WM_BOOKRACK_MANAGER_POPUP, value, MAKELPARAM(cursor.x, cursor.y));
    });
}

void CBookrackWindowImpl::ShowNoBookTips() {
    Guarded([this] {
        if (!IsWindow())
            return;
        // The balloon is a window of the bookshelf's thread: build and show it there.
        if (!CalledOnWindowThread()) {
            SendMessage(WM_BOOKRACK_TIPS, 0, 0);
            return;
        }
        if (MatrixHasNoBook() && m_nShowMode.load() != 0 && m_bShown.load())
            ShowTipsBelowButton();
    });
}

const std::vector<int>* CBookrackWindowImpl::GetSelection() {
    return Guarded(static_cast<const std::vector<int>*>(nullptr), [this]() -> const std::vector<int>* {
        ICtrlBookMatrix* matrix = m_pBookMatrix.load();
        return matrix != nullptr ? matrix->GetSelectedBooks() : nullptr;
    });
}

void CBookrackWindowImpl::Login(const char* accountId, const char* /*accountKey*/, const char* accountInfo,
                                DWORD) {
    Guarded([&] {
        if (accountId == nullptr || accountId[0] == '\0')
            return;
        // The account travels with the message: the window thread reads nothing this thread writes
        // afterwards.
        UINT ticket = 0;
        {
            std::lock_guard<std::mutex> guard(m_accountLock);
            if (m_strAccountId == accountId)
                return;
            m_strAccountId = accountId;
            if (++m_nLastAccountTicket == 0)
                ++m_nLastAccountTicket;
            ticket = m_nLastAccountTicket;
            m_accountHandovers[ticket] =
                AccountHandover{accountId, accountInfo != nullptr ? accountInfo : ""};
        }
        if (PostMessage(WM_BOOKRACK_LOGIN, ticket, 0))
            return;
        // Not queued (no window, or its queue is full): the handover goes again, and the account does
        // not count as signed in, so that the host's next Login for it is not taken for a repeat.
        {
            std::lock_guard<std::mutex> guard(m_accountLock);
            m_accountHandovers.erase(ticket);
            if (m_strAccountId == accountId)
                m_strAccountId.clear();
        }
        VEXIL_REPORT_IF(IsWindow(), "the account change could not be queued for the window");
    });
}

void CBookrackWindowImpl::Logout(DWORD) {
    Guarded([this] {
        {
            std::lock_guard<std::mutex> guard(m_accountLock);
            m_strAccountId.clear();
        }
        const bool queued = PostMessage(WM_BOOKRACK_LOGOUT, 0, 0);
        VEXIL_REPORT_IF(!queued && IsWindow(), "the sign-out could not be queued for the window");
        (void)queued;
    });
}

void CBookrackWindowImpl::RefreshTips() {
    Guarded([this] { SendMessage(WM_BOOKRACK_TIPS, 0, 0); });
}

LONG CBookrackWindowImpl::IsWorkerRunning() { return m_lWorkerRun.load(); }

LONG CBookrackWindowImpl::IsBatchDeleteBusy() { return m_lBatchBusy.load(); }

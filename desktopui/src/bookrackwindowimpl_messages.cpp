// The bookshelf window's message handling: every custom message of the interface, the window-thread
// halves of Show, Hide and Close, a few standard messages, and the window thread's pre-translation.
// Everything here runs on the window's thread.
#include "bookrackwindowimpl.h"

#include <uiassist/readablememory.h>

#include <optional>

#include "product.h"

namespace {

// The thread that is moving the window back to its default rectangle, so that the move's own
// WM_WINDOWPOSCHANGED cannot start another one (a size the system refuses would recurse forever).
// A thread id, not a thread_local: the static runtime's thread-local storage leaves two semaphores
// behind each time the host unloads the module.
std::atomic<DWORD> g_snappingThread{0};

// Refreshes done per drain message: enough to keep up, few enough that the host's sent messages and
// the user's input get their turn between them.
constexpr size_t kRefreshesPerDrain = 200;

// The bookshelf window whose posted reports the filter drops (one window at a time).
std::atomic<HWND> g_reportWindow{nullptr};

// WH_GETMESSAGE hook of the window thread: a books-changed report taken out of the queue was posted,
// and a posted report may be freed before the window reads it. Turned into WM_NULL here, whichever
// loop took it (the thread's own, a menu's, a message box's or the system's move loop), so that a
// report reaching the window procedure was always sent, from another thread or from this one.
LRESULT CALLBACK DropPostedReports(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        const HWND window = g_reportWindow.load();
        if (msg != nullptr && window != nullptr && msg->hwnd == window &&
            msg->message == WM_BOOKRACK_BOOKS_CHANGED)
            msg->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

LRESULT CBookrackWindowImpl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (msg == WM_CREATE && !m_postedReportFilter)
        InstallPostedReportFilter();
    if (msg == WM_CLOSE || msg == WM_DESTROY)
        OnDestroy();
    if (msg == WM_DESTROY)
        ForgetWindowWork();
    if (msg == WM_COPYDATA) {
        if (ICtrlIEBrowser* browser = m_pIeBrowser.load())
            return browser->HandleCopyData();
    }
    if (const std::optional<LRESULT> result = OnShelfMessage(msg, wParam, lParam))
        return *result;
    if (const std::optional<LRESULT> result = OnSystemMessage(msg, wParam, lParam))
        return *result;
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}

void CBookrackWindowImpl::InstallPostedReportFilter() {
    g_reportWindow.store(GetWindowHandle());
    m_postedReportFilter.reset(
        ::SetWindowsHookExW(WH_GETMESSAGE, DropPostedReports, nullptr, ::GetCurrentThreadId()));
    VEXIL_REPORT_IF(!m_postedReportFilter, "the posted-report filter could not be installed");
}

void CBookrackWindowImpl::ForgetWindowWork() {
    m_postedReportFilter.reset();
    g_reportWindow.store(nullptr);
    m_refreshQueue.clear();
    m_bRefreshDrainQueued = false;
    m_nBatchDeleteTicket = 0;
    // Account changes still queued go with the window.
    {
        std::lock_guard<std::mutex> guard(m_accountLock);
        m_accountHandovers.clear();
    }
    // The batch-delete window and the matrix die with this window, and with them the notices that
    // would end a running batch: end it here, so the busy flag cannot outlive the window (Show
    // would refuse for good). A new window rebuilds the shelf from the store.
    m_patchDelWindow.Stop(true);
    m_lBatchBusy.exchange(0);
    m_pendingActions.clear();
    m_deletedIds.clear();
}

std::optional<LRESULT> CBookrackWindowImpl::OnShelfMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
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
        OnBatchDeleteMessage(static_cast<UINT>(wParam));
        return 0;
    case WM_BOOKRACK_BATCH_DELETE_DONE:
        FinishBatchDelete(wParam);
        return 0;
    case WM_BOOKRACK_LOGIN:
        OnAccountLogin(static_cast<UINT>(wParam));
        return 0;
    case WM_BOOKRACK_LOGOUT:
        OnAccountLogout();
        return 0;
    case WM_BOOKRACK_LOAD_ITEM: {
        // Counted, so that a stop from inside this answer does not wait for the loader asking.
        struct AnsweringLoader {
            int& depth;
            explicit AnsweringLoader(int& d) : depth(d) { ++depth; }
            ~AnsweringLoader() { --depth; }
        } answering(m_nAnsweringLoader);
        LocateCover(id);
        return 0;
    }
    case WM_BOOKRACK_REFRESH_ITEM:
        RefreshBook(id);
        return 0;
    case WM_BOOKRACK_DRAIN_REFRESHES:
        DrainRefreshes();
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
        StopWorkAndHide();
        return 0;
    case WM_BOOKRACK_SHOW:
        return ShowOnWindowThread(wParam != 0) ? kShownResult : 0;
    case WM_BOOKRACK_HIDE:
        HideOnWindowThread(wParam != 0);
        return 0;
    case WM_BOOKRACK_COVER_READY:
        SetCoverFromIconUrl(static_cast<int>(lParam));
        return std::nullopt;
    case WM_BOOKRACK_BOOKS_CHANGED:
        // The report lives only as long as its sender waits for the answer. Posted copies never get
        // here (DropPostedReports); one sent without waiting may already be freed, so it is not read.
        // Sent from this very thread (a host reporting from inside a sink callback) it is read.
        if ((InSendMessageEx(nullptr) & (ISMEX_NOTIFY | ISMEX_CALLBACK)) != 0)
            return 1;
        return OnBooksChangedReport(lParam);
    default:
        return std::nullopt;
    }
}

std::optional<LRESULT> CBookrackWindowImpl::OnSystemMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_MOVE:
        OnMoveWhileSizing();
        return std::nullopt;
    case WM_WINDOWPOSCHANGED:
        if (OnWindowPosChanged())
            return 0;
        return std::nullopt;
    case WM_DISPLAYCHANGE:
        OnDisplayChanged();
        return 0;
    case WM_DPICHANGED: {
        // A per-monitor host's shelf reached a screen of another scale: it takes the rectangle the
        // system suggests (its size at the new DPI, under the mouse); the kernel then rescales the
        // controls. A rectangle that is not readable here (another program's) is not taken.
        RECT suggested;
        if (vexil::CopyIfReadable(&suggested, reinterpret_cast<const void*>(lParam), sizeof(suggested)))
            MoveWindow(suggested.left, suggested.top, suggested.right, suggested.bottom, true);
        return 0;
    }
    case WM_MOUSEWHEEL:
        ForwardMouseWheel(wParam, lParam);
        return 0;
    default:
        return std::nullopt;
    }
}

// ---- The window-thread halves of Show, Hide and Close ----

bool CBookrackWindowImpl::ShowOnWindowThread(bool byUser) {
    VEXIL_ASSERT_WINDOW_THREAD();
    const RECT def = GetDefaultRectForWindow();
    if (byUser)
        m_tipsDlg.Hide();

    ICtrlBookrackManager* manager = m_pBookrackMgr.load();
    if (manager == nullptr) {
        VEXIL_REPORT_IF(true, "Show without a bound bookrack manager");
        return false;
    }
    if (byUser)
        m_nShowMode = 1;

    if (vexil::IsMinimizedWindow(GetWindowHandle())) {
        m_bShown = true;
        if (!manager->SetShowMode(m_nShowMode.load())) {
            VEXIL_REPORT_IF(true, "the bookrack manager refused the display mode");
            return false;
        }
        PostMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        return true;
    }

    const bool wasShown = m_bShown.load();
    if (!wasShown && !byUser) {
        if (MatrixHasNoBook()) {
            IShelfHost* host = m_pHost.load();
            m_nShowMode = (host != nullptr && host->GetItemCount(m_nUserIndex.load(), 1) != 0) ? 1 : 0;
        } else if (m_nShowMode.load() != 0) {
            m_nShowMode = 1;
        }
    }
    if (!manager->SetShowMode(m_nShowMode.load())) {
        VEXIL_REPORT_IF(true, "the bookrack manager refused the display mode");
        return false;
    }

    const int defWidth = def.right - def.left;
    const int defHeight = def.bottom - def.top;
    if (wasShown) {
        const RECT local = GetLocalRect();
        if (local.right != defWidth && local.bottom != defHeight)
            MoveWindow(def.left, def.top, def.right, def.bottom, true);
    } else {
        MoveWindow(def.left, def.top, def.right, def.bottom, true);
    }
    m_bShown = true;
    ShowWindow(SW_SHOW);
    return true;
}

void CBookrackWindowImpl::HideOnWindowThread(bool hideAll) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (hideAll)
        m_tipsDlg.Hide();
    m_bShown = false;
    ShowWindow(SW_HIDE);
    NotifyBrowserHidden();
}

void CBookrackWindowImpl::StopWorkAndHide() {
    VEXIL_ASSERT_WINDOW_THREAD();
    StopLoader();
    m_patchDelWindow.Stop(true);
    HideOnWindowThread(false);
}

LRESULT CBookrackWindowImpl::OnBooksChangedReport(LPARAM lParam) {
    VEXIL_ASSERT_WINDOW_THREAD();
    // Any thread of any process may send the report: only what is readable memory of this process
    // right now is read, and a report that cannot be read whole is a broken one.
    BOOKS_CHANGED_REPORT report;
    if (!vexil::CopyIfReadable(&report, reinterpret_cast<const void*>(lParam), sizeof(report)) ||
        (report.count > 0 && !report.ids))
        return 1;
    switch (report.code) {
    case BOOKS_CHANGED_CODE_CHANGED: {
        // The report lives only for the duration of this call.
        std::vector<int> ids;
        if (report.count > 0) {
            const uint64_t bytes = static_cast<uint64_t>(report.count) * sizeof(int32_t);
            if (vexil::ReadableBytesAt(report.ids, bytes) != bytes)
                return 1;
            ids.assign(report.ids, report.ids + report.count);
        }
        if (IShelfSink* sink = m_pSink.load())
            sink->OnBooksChanged(ids.empty() ? nullptr : ids.data(), static_cast<int>(ids.size()));
        QueueRefreshes(ids);
        return 0;
    }
    case BOOKS_CHANGED_CODE_ACK:
        return 0;
    default:
        return 1;
    }
}

void CBookrackWindowImpl::QueueRefreshes(const std::vector<int>& ids) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (!HasWindow(GetWindowHandle()))
        return;
    m_refreshQueue.insert(m_refreshQueue.end(), ids.begin(), ids.end());
    if (m_refreshQueue.empty() || m_bRefreshDrainQueued)
        return;
    if (PostMessage(WM_BOOKRACK_DRAIN_REFRESHES, 0, 0)) {
        m_bRefreshDrainQueued = true;
        return;
    }
    // The thread's queue takes no more messages: refreshed now rather than lost.
    DrainRefreshes();
}

void CBookrackWindowImpl::DrainRefreshes() {
    VEXIL_ASSERT_WINDOW_THREAD();
    m_bRefreshDrainQueued = false;
    size_t done = 0;
    while (!m_refreshQueue.empty()) {
        if (done == kRefreshesPerDrain) {
            if (PostMessage(WM_BOOKRACK_DRAIN_REFRESHES, 0, 0)) {
                m_bRefreshDrainQueued = true;
                return;
            }
            done = 0; // the queue is full: go on here rather than lose the rest
        }
        // Taken out first: the host may report again from inside the refresh.
        const int id = m_refreshQueue.front();
        m_refreshQueue.pop_front();
        RefreshBook(id);
        ++done;
    }
}

void CBookrackWindowImpl::OnManagerPopup(LPARAM lParam) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookrackManager* manager = m_pBookrackMgr.load();
    if (!manager)
        return;
    // Screen coordinates left of or above the primary monitor are negative.
    const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    manager->PopupMenu(0, &point);
}

void CBookrackWindowImpl::OnRestored() {
    VEXIL_ASSERT_WINDOW_THREAD();
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd))
        return;
    m_bShown.store(true);
    const RECT defaultRect = GetDefaultRectForWindow();
    RECT current;
    if (::GetWindowRect(hwnd, &current) && vexil::RectWidth(current) != vexil::RectWidth(defaultRect) &&
        vexil::RectHeight(current) != vexil::RectHeight(defaultRect))
        MoveWindow(defaultRect.left, defaultRect.top, defaultRect.right, defaultRect.bottom, true);
    ShowNoBookTips();
}

void CBookrackWindowImpl::OnDisplayChanged() {
    VEXIL_ASSERT_WINDOW_THREAD();
    const HWND hwnd = GetWindowHandle();
    if (!m_bShown.load() || !HasWindow(hwnd))
        return;
    if (!::IsIconic(hwnd)) {
        Show(false, nullptr);
        return;
    }
    // Minimised (a monitor waking, a dock, a remote session coming back): it stays so, and its next
    // restore, however it comes, opens at the new default rectangle.
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!::GetWindowPlacement(hwnd, &placement))
        return;
    RECT normal = GetDefaultRectForWindow();
    // The restore position is kept relative to the work area of the window's monitor.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (::GetMonitorInfoW(::MonitorFromRect(&normal, MONITOR_DEFAULTTONEAREST), &monitor))
        ::OffsetRect(&normal, monitor.rcMonitor.left - monitor.rcWork.left,
                     monitor.rcMonitor.top - monitor.rcWork.top);
    placement.rcNormalPosition = normal;
    placement.showCmd = SW_SHOWMINNOACTIVE;
    ::SetWindowPlacement(hwnd, &placement);
}

void CBookrackWindowImpl::OnMoveWhileSizing() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // The balloon follows the add-book button while the user drags the empty shelf.
    if (!m_bInSizeMove || m_nShowMode.load() != 1 || !MatrixHasNoBook() || !m_tipsDlg.IsWindow())
        return;
    RECT button;
    if (!GetNewBookButtonScreenRect(&button))
        return;
    const RECT tips = TipsRectBelow(button);
    m_tipsDlg.MoveWindow(tips.left, tips.top, tips.right, tips.bottom, true);
}

bool CBookrackWindowImpl::OnWindowPosChanged() {
    VEXIL_ASSERT_WINDOW_THREAD();
    const HWND hwnd = GetWindowHandle();
    // A minimized window has the icon's size; moving it would undo the minimizing.
    if (g_snappingThread.load() == ::GetCurrentThreadId() || !HasWindow(hwnd) || ::IsIconic(hwnd))
        return false;
    RECT current;
    if (!::GetWindowRect(hwnd, &current))
        return false;
    // The very rectangle the window opens at, which already lies inside the work area: a snap-back
    // of its own would put the window somewhere else than where it opened.
    const RECT target = GetDefaultRectForWindow();
    if (vexil::RectWidth(current) == vexil::RectWidth(target) &&
        vexil::RectHeight(current) == vexil::RectHeight(target))
        return false;
    g_snappingThread.store(::GetCurrentThreadId());
    MoveWindow(target.left, target.top, target.right, target.bottom, true);
    g_snappingThread.store(0);
    return true;
}

void CBookrackWindowImpl::OnEnterSizeMove() {
    VEXIL_ASSERT_WINDOW_THREAD();
    m_bInSizeMove = true;
}

void CBookrackWindowImpl::OnExitSizeMove() {
    VEXIL_ASSERT_WINDOW_THREAD();
    m_bInSizeMove = false;
}

bool CBookrackWindowImpl::PreTranslateMessage(MSG msg) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (msg.message == WM_SIZE && msg.wParam == SIZE_MINIMIZED)
        return true;
    // Only the shelf's own system commands: the balloon and the batch-delete window share this loop.
    const HWND hwnd = GetWindowHandle();
    if (msg.message != WM_SYSCOMMAND || !HasWindow(hwnd) || msg.hwnd != hwnd)
        return false;
    switch (msg.wParam & 0xFFF0) {
    case SC_CLOSE:
        m_tipsDlg.Hide();
        Hide();
        break;
    case SC_RESTORE:
        PostMessage(WM_BOOKRACK_RESTORED, 0, 0);
        break;
    default:
        break;
    }
    return false;
}

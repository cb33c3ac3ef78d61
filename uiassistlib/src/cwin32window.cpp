#include <uiassist/cwin32window.h>

#include <uiassist/diag.h>
#include <vexil/messages.h>

#include <objbase.h>

#include <cstdio>
#include <map>
#include <memory>
#include <new>

// The window procedure lives in this module, so the class is registered under this module's
// instance: a module that is unloaded and loaded again then registers a class that points at its
// current code.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr DWORD kStartTimeoutMs = 30000;
// The timer that closes a window whose WM_CLOSE could not be posted (no derived window uses it).
constexpr UINT_PTR kCloseTimerId = 0x7E51;
constexpr wchar_t kWindowThreadName[] = L"Vexil window";
constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
// Answer to the non-client painting messages: no system frame or caption is ever drawn.
constexpr LRESULT kNcPaintResult = 15;
// The two undocumented non-client theme-drawing messages.
constexpr UINT WM_NCUAHDRAWCAPTION = 0x00AE;
constexpr UINT WM_NCUAHDRAWFRAME = 0x00AF;

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

// Class registration is guarded by a slim lock, which is safe to take from DllMain.
SRWLOCK g_classLock = SRWLOCK_INIT;
bool g_classRegistered = false; // guarded by g_classLock

// The window table: one entry per live window of this module, from WM_NCCREATE to WM_NCDESTROY.
// Windows of the module run on several threads, so every access holds the table lock.
SRWLOCK g_tableLock = SRWLOCK_INIT;

std::map<HWND, CWin32Window*>& WindowTable() {
    static std::map<HWND, CWin32Window*> table;
    return table;
}

void BindWindow(HWND hwnd, CWin32Window* window) {
    ExclusiveLock lock(g_tableLock);
    auto& table = WindowTable();
    auto it = table.find(hwnd);
    if (it == table.end()) {
        table.emplace(hwnd, window);
        return;
    }
    // A live handle is unique, so an entry already there belongs to a window whose object went
    // away without its WM_NCDESTROY: it is stale and must not receive this window's messages.
    VEXIL_REPORT_IF(it->second != window, "stale window-table entry replaced at WM_NCCREATE");
    it->second = window;
}

CWin32Window* LookupWindow(HWND hwnd) {
    SharedLock lock(g_tableLock);
    const auto& table = WindowTable();
    auto it = table.find(hwnd);
    return it == table.end() ? nullptr : it->second;
}

void UnbindWindow(HWND hwnd) {
    ExclusiveLock lock(g_tableLock);
    WindowTable().erase(hwnd);
}

// Removes every entry that still names window; returns how many there were.
size_t UnbindObject(const CWin32Window* window) {
    ExclusiveLock lock(g_tableLock);
    auto& table = WindowTable();
    size_t removed = 0;
    for (auto it = table.begin(); it != table.end();) {
        if (it->second == window) {
            it = table.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

// Handed to the window thread: the object, and the thread's own copies of the start event and of
// the event it sets once it has left the object, so that a creator that gave up waiting can close
// its handles without the thread signalling closed ones.
struct WindowThreadStart {
    CWin32Window* window;
    vexil::ScopedHandle startEvent;
    vexil::ScopedHandle leftEvent;
};

HANDLE DuplicateOf(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    return copy;
}

// What StartModuleThread hands its thread.
struct ModuleThreadStart {
    LPTHREAD_START_ROUTINE proc;
    void* param;
    HMODULE pin;
    const wchar_t* name;
};

using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

void NameThisThread(const wchar_t* name) {
    static const auto setDescription = reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription != nullptr && name != nullptr)
        setDescription(GetCurrentThread(), name);
}

DWORD WINAPI ModuleThreadProc(void* param) {
    const ModuleThreadStart start = *static_cast<ModuleThreadStart*>(param);
    delete static_cast<ModuleThreadStart*>(param);
    NameThisThread(start.name);
    const DWORD code = start.proc(start.param);
    if (start.pin != nullptr)
        FreeLibraryAndExitThread(start.pin, code);
    return code;
}

} // namespace

namespace vexil {

DWORD WaitAnyDeliveringSent(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= timeoutMs)
                return WaitForMultipleObjects(count, handles, FALSE, 0);
            remaining = static_cast<DWORD>(timeoutMs - elapsed);
        }
        const DWORD result =
            MsgWaitForMultipleObjectsEx(count, handles, remaining, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + count) {
            // Delivers the messages other threads are sending to this one; posted ones stay queued.
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        return result;
    }
}

DWORD WaitDeliveringSent(HANDLE handle, DWORD timeoutMs) {
    return WaitAnyDeliveringSent(1, &handle, timeoutMs);
}

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, void* param, const wchar_t* name) {
    // A reference to the module holding this code; none when that is the program itself, which
    // cannot be unloaded under the thread.
    HMODULE pin = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&ModuleThreadProc), &pin) &&
        pin == GetModuleHandleW(nullptr)) {
        FreeLibrary(pin);
        pin = nullptr;
    }
    auto* start = new (std::nothrow) ModuleThreadStart{proc, param, pin, name};
    HANDLE thread = start ? CreateThread(nullptr, 0, &ModuleThreadProc, start, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        delete start;
        if (pin != nullptr)
            FreeLibrary(pin);
    }
    return thread;
}

} // namespace vexil

// The constructing thread is the host's: its COM apartment is the host's business. A window's own
// thread enters an apartment of its own.
CWin32Window::CWin32Window() : m_strTitle(VEXIL_WINDOW_TITLE) {
    lstrcpynW(m_szClassName, VEXIL_WINDOW_CLASS, MAX_PATH);
}

CWin32Window::~CWin32Window() {
    PostMessage(WM_CLOSE, 0, 0);
    WaitUntilThreadLeft();
    m_dwThreadId.store(0);
    // A window that outlives its object would route its messages to freed memory: cut it loose, so
    // that it falls back to the default procedure (the posted WM_CLOSE then destroys it).
    const size_t stale = UnbindObject(this);
    VEXIL_REPORT_IF(stale != 0, "window object destroyed while its window still exists");
    (void)stale;
}

void CWin32Window::WaitUntilThreadLeft() {
    // Not for the thread's end: when the module is being unloaded, the thread may be ending in
    // FreeLibraryAndExitThread and need the loader lock that this unload holds. A thread that was
    // killed (process exit) counts as gone.
    if (m_bThreadLeft.load())
        return;
    vexil::ScopedHandle left;
    vexil::ScopedHandle thread = OwnThreadHandle(&left);
    if (thread && left && ::GetThreadId(thread.get()) != GetCurrentThreadId()) {
        const HANDLE handles[2] = {left.get(), thread.get()};
        vexil::WaitAnyDeliveringSent(2, handles, INFINITE);
    }
}

void CWin32Window::WaitForPreviousThread() {
    // A thread left from the previous window may still be ending (joining the threads its window
    // started, letting go of its modules).
    vexil::ScopedHandle previous = OwnThreadHandle();
    if (previous && ::GetThreadId(previous.get()) != GetCurrentThreadId())
        vexil::WaitDeliveringSent(previous.get(), INFINITE);
}

bool CWin32Window::RegisterWindowClass() {
    ExclusiveLock lock(g_classLock);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(ThisModule(), VEXIL_WINDOW_CLASS, &existing)) {
        if (existing.lpfnWndProc == &CWin32Window::SharedWindowProc)
            return true;
        // Left behind by an earlier load of this module at the same address: replace it.
        if (!UnregisterClassW(VEXIL_WINDOW_CLASS, ThisModule())) {
            VEXIL_NOTE_FAILURE("a window class left by an earlier load could not be replaced");
            return false;
        }
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = kClassStyle;
    wc.lpfnWndProc = &CWin32Window::SharedWindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = VEXIL_WINDOW_CLASS;
    if (!RegisterClassExW(&wc)) {
        VEXIL_NOTE_FAILURE("the window class could not be registered");
        return false;
    }
    g_classRegistered = true;
    return true;
}

bool CWin32Window::UnregisterWindowClass() {
    ExclusiveLock lock(g_classLock);
    if (!g_classRegistered)
        return false;
    if (!UnregisterClassW(VEXIL_WINDOW_CLASS, ThisModule()))
        return false;
    g_classRegistered = false;
    return true;
}

void CWin32Window::StoreCreateArgs(bool ownThread, HWND parent, const RECT& rect, const wchar_t* title,
                                   int showCmd, DWORD style, LPARAM param) {
    m_bOwnThread.store(ownThread);
    m_hParent = parent;
    m_rect = rect;
    m_nShowCmd = showCmd;
    m_dwStyle = style;
    m_lParam = param;
    if (title)
        m_strTitle = title;
}

bool CWin32Window::CreateInCurrentThread(HWND parent, RECT rect, const wchar_t* title, int showCmd,
                                         DWORD style, LPARAM param) {
    // A second window on one object would leave the first bound to an object that forgot it.
    if (IsWindow())
        return false;
    StoreCreateArgs(false, parent, rect, title, showCmd, style, param);
    if (!RegisterWindowClass())
        return false;
    return CreateWin32Window();
}

bool CWin32Window::CreateInNewThread(HWND parent, RECT rect, const wchar_t* title, int showCmd, DWORD style,
                                     LPARAM param) {
    if (IsWindow())
        return false;
    StoreCreateArgs(true, parent, rect, title, showCmd, style, param);

    GUID guid;
    if (FAILED(CoCreateGuid(&guid))) {
        VEXIL_NOTE_FAILURE("no GUID for the window thread's start event");
        return false;
    }
    char eventName[MAX_PATH];
    snprintf(eventName, sizeof(eventName), "UI_VEXIL_%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    m_hStartEvent.reset(CreateEventA(nullptr, FALSE, FALSE, eventName));
    if (!m_hStartEvent) {
        VEXIL_NOTE_FAILURE("the window thread's start event could not be made");
        return false;
    }

    auto start = std::make_unique<WindowThreadStart>();
    start->window = this;
    start->startEvent.reset(DuplicateOf(m_hStartEvent.get()));
    vexil::ScopedHandle left(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    start->leftEvent.reset(DuplicateOf(left.get()));
    if (!start->startEvent || !start->leftEvent) {
        VEXIL_NOTE_FAILURE("the window thread's events could not be made");
        m_hStartEvent.reset();
        return false;
    }

    WaitForPreviousThread();
    m_dwThreadId.store(0);
    m_startState.store(kStartPending);
    m_bThreadLeft.store(false);
    vexil::ScopedHandle thread(
        vexil::StartModuleThread(&CWin32Window::WindowThreadProc, start.get(), kWindowThreadName));
    if (!thread) {
        VEXIL_NOTE_FAILURE("the window thread could not be started");
        m_bThreadLeft.store(true);
        m_hStartEvent.reset();
        return false;
    }
    start.release(); // the thread owns it now
    AcquireSRWLockExclusive(&m_threadLock);
    m_hThread = std::move(thread);
    m_hThreadLeft = std::move(left);
    ReleaseSRWLockExclusive(&m_threadLock);

    // The creating thread may own the parent window, which the new window sends messages to while
    // it is created: keep delivering them while waiting.
    const DWORD waited = vexil::WaitDeliveringSent(m_hStartEvent.get(), kStartTimeoutMs);
    m_hStartEvent.reset();
    if (waited != WAIT_OBJECT_0) {
        // Giving up: a window finished after this point would have no caller to close it and would
        // keep its thread (and a later close) waiting forever, so the thread destroys it instead.
        int state = kStartPending;
        if (m_startState.compare_exchange_strong(state, kStartAbandoned)) {
            VEXIL_NOTE_FAILURE("the window thread did not make its window within the start limit");
            return false;
        }
        // The thread finished just now: its result stands.
    }
    const bool made = IsWindow();
    // A thread that made no window has noted its failing step where that step can fail for real.
    if (!made && m_startState.load() == kStartMade)
        VEXIL_NOTE_FAILURE("the window its thread made was gone by the time the thread reported it");
    return made;
}

DWORD WINAPI CWin32Window::WindowThreadProc(void* param) {
    std::unique_ptr<WindowThreadStart> start(static_cast<WindowThreadStart*>(param));
    CWin32Window* self = start->window;
    self->m_dwThreadId.store(GetCurrentThreadId());
    // Skin controls such as the embedded web page are COM objects living on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    bool haveWindow = false;
    try {
        if (RegisterWindowClass())
            self->CreateWin32Window();
        haveWindow = self->IsWindow();
    } catch (...) {
        vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception while creating a window on its thread");
        haveWindow = self->IsWindow();
    }
    int state = kStartPending;
    if (!self->m_startState.compare_exchange_strong(state, haveWindow ? kStartMade : kStartFailed) &&
        haveWindow) {
        // The creator stopped waiting for this window: it goes, and its WM_NCDESTROY ends the loop.
        ::DestroyWindow(self->GetWindowHandle());
    }
    SetEvent(start->startEvent.get());
    start->startEvent.reset();

    // Without a window nothing could ever end the loop below.
    if (haveWindow) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            bool consumed = false;
            try {
                consumed = self->PreTranslateMessage(msg);
            } catch (...) {
                vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in PreTranslateMessage");
            }
            if (!consumed) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    try {
        self->OnThreadEnding();
    } catch (...) {
        vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in OnThreadEnding");
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    try {
        self->OnThreadExit();
    } catch (...) {
        vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in OnThreadExit");
    }
    // The last touch of the object.
    self->m_bThreadLeft.store(true);
    SetEvent(start->leftEvent.get());
    return haveWindow ? 0 : 1;
}

bool CWin32Window::CreateBoundWindow() {
    m_dwWindowThread.store(GetCurrentThreadId());
    const int width = m_rect.right - m_rect.left;
    const int height = m_rect.bottom - m_rect.top;
    HWND hwnd = CreateWindowExW(0, m_szClassName, m_strTitle.c_str(), m_dwStyle, m_rect.left, m_rect.top,
                                width, height, m_hParent, nullptr, ThisModule(), this);
    if (!hwnd) {
        VEXIL_NOTE_FAILURE("CreateWindowExW failed");
        SetHwnd(nullptr);
        return false;
    }
    if (LookupWindow(hwnd) != this) {
        // The window exists but its messages would never reach this object: do not hand out a bare
        // window as a working one.
        if (::IsWindow(hwnd)) {
            vexil::ReportBrokenInvariant(__FILE__, __LINE__, "created window is not bound to its object");
            ::DestroyWindow(hwnd);
        }
        SetHwnd(nullptr);
        return false;
    }
    SetHwnd(hwnd);
    SetPropW(hwnd, VEXIL_WINDOW_PARAM_PROP, reinterpret_cast<HANDLE>(m_lParam));
    return true;
}

bool CWin32Window::CreateWin32Window() {
    if (!CreateBoundWindow())
        return false;
    OnCreate();
    ShowWindow(m_nShowCmd);
    return HasWindow(GetWindowHandle());
}

LRESULT CALLBACK CWin32Window::SharedWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // No exception may cross into the system's message dispatch.
    auto callObject = [&](CWin32Window* window) -> LRESULT {
        try {
            return window->WindowProc(msg, wParam, lParam);
        } catch (...) {
            vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception escaped a window's WindowProc");
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
    };

    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* window = cs ? static_cast<CWin32Window*>(cs->lpCreateParams) : nullptr;
        if (!window)
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        BindWindow(hwnd, window);
        window->SetHwnd(hwnd);
        return callObject(window);
    }

    CWin32Window* window = LookupWindow(hwnd);
    if (!window)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg != WM_NCDESTROY)
        return callObject(window);

    UnbindWindow(hwnd);
    const bool ownThread = window->m_bOwnThread.load();
    const LRESULT result = callObject(window);
    RemovePropW(hwnd, VEXIL_WINDOW_PARAM_PROP);
    // Clear the handle only if it still names this window: the object may already be creating its
    // next window on another thread.
    HWND expected = hwnd;
    window->m_hWnd.compare_exchange_strong(expected, nullptr);
    // This is the window thread of an own-thread window: end its message loop.
    if (ownThread)
        PostQuitMessage(0);
    return result;
}

LRESULT CWin32Window::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd) || !::IsWindow(hwnd))
        return 0;
    switch (msg) {
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_SIZE: {
        const LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        OnSize(wParam, LOWORD(lParam), HIWORD(lParam));
        return result;
    }
    case WM_SETFOCUS:
        OnSetFocus();
        break;
    case WM_KILLFOCUS: {
        const LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        OnKillFocus();
        return result;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        struct PaintEnd {
            HWND hwnd;
            PAINTSTRUCT* ps;
            ~PaintEnd() { EndPaint(hwnd, ps); }
        } paintEnd{hwnd, &ps};
        OnPaint(hdc);
        return 1;
    }
    case WM_ERASEBKGND:
        if (OnEraseBkgnd(reinterpret_cast<HDC>(wParam)))
            return 1;
        break;
    case WM_SHOWWINDOW:
        OnShowWindow(wParam != 0, lParam);
        break;
    case WM_NCCALCSIZE:
        return 0; // the whole window is client area
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_NCUAHDRAWCAPTION:
    case WM_NCUAHDRAWFRAME:
        return kNcPaintResult;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        OnKeyDown(wParam, lParam);
        break;
    case WM_TIMER:
        if (wParam == kCloseTimerId) {
            ::KillTimer(hwnd, kCloseTimerId);
            ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        OnTimer(wParam);
        break;
    case WM_ENTERSIZEMOVE:
        OnEnterSizeMove();
        break;
    case WM_EXITSIZEMOVE:
        OnExitSizeMove();
        break;
    case WM_VEXIL_SYSCOMMAND:
        OnSysCommand(wParam, lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void CWin32Window::OnSysCommand(WPARAM wParam, LPARAM) {
    if (wParam == SC_CLOSE)
        OnClose();
}

void CWin32Window::OnDestroy() {
    SetHwnd(nullptr);
    m_hParent = nullptr;
    m_lParam = 0;
}

bool CWin32Window::PreTranslateMessage(MSG) { return false; }

bool CWin32Window::IsWindow() const {
    const HWND hwnd = GetWindowHandle();
    return HasWindow(hwnd) && ::IsWindow(hwnd);
}

RECT CWin32Window::GetLocalRect() const {
    RECT local = {};
    const HWND hwnd = GetWindowHandle();
    RECT rc;
    if (HasWindow(hwnd) && ::GetWindowRect(hwnd, &rc)) {
        local.right = rc.right - rc.left;
        local.bottom = rc.bottom - rc.top;
    }
    return local;
}

RECT CWin32Window::GetWorkArea() {
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

void CWin32Window::CenterWindow(bool repaint) {
    if (!HasWindow(GetWindowHandle()))
        return;
    const RECT local = GetLocalRect();
    const int width = local.right;
    const int height = local.bottom;
    if (width < 1 || height < 1)
        return;
    const RECT work = GetWorkArea();
    const int left = (work.right - work.left - width) / 2 + work.left;
    const int top = (work.bottom - work.top - height) / 2 + work.top;
    MoveWindow(left, top, left + width, top + height, repaint);
}

void CWin32Window::MoveWindow(int left, int top, int right, int bottom, bool repaint) {
    m_rect = RECT{left, top, right, bottom};
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd))
        ::MoveWindow(hwnd, left, top, right - left, bottom - top, repaint ? TRUE : FALSE);
}

void CWin32Window::ShowWindow(int showCmd) {
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd))
        ::ShowWindow(hwnd, showCmd);
}

void CWin32Window::RedrawWindow(const RECT* rect) {
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd))
        ::RedrawWindow(hwnd, rect, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CWin32Window::SetTimer(UINT_PTR id, UINT periodMs) {
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd))
        ::SetTimer(hwnd, id, periodMs, nullptr);
}

void CWin32Window::KillTimer(UINT_PTR id) {
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd))
        ::KillTimer(hwnd, id);
}

LRESULT CWin32Window::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd))
        return -1;
    return ::SendMessageW(hwnd, msg, wParam, lParam);
}

bool CWin32Window::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd))
        return false;
    return ::PostMessageW(hwnd, msg, wParam, lParam) != FALSE;
}

void CWin32Window::CloseWin32Window(bool wait) {
    const HWND hwnd = GetWindowHandle();
    if (!PostMessage(WM_CLOSE, 0, 0) && HasWindow(hwnd) && ::IsWindow(hwnd)) {
        // The thread's queue takes no more posted messages (it holds the system's limit): closed by a
        // sent message, which needs no room there, or on the window's own thread by a timer, which
        // fires once the queue has room to spare, so that the window goes and a wait below ends.
        if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) {
            const bool timed = ::SetTimer(hwnd, kCloseTimerId, 0, nullptr) != 0;
            VEXIL_REPORT_IF(!timed, "a window could not be closed: no message and no timer could be queued");
            (void)timed;
        } else {
            ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
        }
    }
    if (wait && m_bOwnThread.load()) {
        // Compared through the handle: the thread id may already have been cleared by an earlier
        // close, and the window thread itself must never wait for its own end. The handle stays:
        // a later close or the destructor may wait for the same thread.
        vexil::ScopedHandle thread = OwnThreadHandle();
        if (thread && ::GetThreadId(thread.get()) != GetCurrentThreadId())
            vexil::WaitDeliveringSent(thread.get(), INFINITE);
    }
    m_dwThreadId.store(0);
}

vexil::ScopedHandle CWin32Window::OwnThreadHandle(vexil::ScopedHandle* left) const {
    AcquireSRWLockShared(&m_threadLock);
    vexil::ScopedHandle thread(DuplicateOf(m_hThread.get()));
    if (left != nullptr)
        left->reset(DuplicateOf(m_hThreadLeft.get()));
    ReleaseSRWLockShared(&m_threadLock);
    return thread;
}

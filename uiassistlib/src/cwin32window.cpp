// The window base: the window class, creation on the caller's thread or on a thread of its own, and
// the window thread's loop. Each function says which thread runs it.
#include <uiassist/cwin32window.h>

#include <uiassist/diag.h>
#include <uiassist/dpi.h>
#include <uiassist/threadutil.h>
#include <uiassist/winutil.h>
#include <vexil/messages.h>

#include <objbase.h>

#include <cstdio>
#include <memory>
#include <new>

#include "windowtable.h"

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

// Class registration is guarded by a slim lock, which is safe to take from DllMain.
SRWLOCK g_classLock = SRWLOCK_INIT;
bool g_classRegistered = false; // guarded by g_classLock

// Handed to the window thread: the object, and the thread's own copies of the start event and of
// the event it sets once it has left the object, so that a creator that gave up waiting can close
// its handles without the thread signalling closed ones.
struct WindowThreadStart {
    CWin32Window* window;
    vexil::ScopedHandle startEvent;
    vexil::ScopedHandle leftEvent;
    DPI_AWARENESS_CONTEXT dpiContext; // the creating thread's: the host's awareness decides the window's
};

// The event a new window thread sets once its window exists (or could not be made). Named, with a
// name no other program can guess.
vexil::ScopedHandle MakeStartEvent() {
    GUID guid;
    if (FAILED(CoCreateGuid(&guid))) {
        VEXIL_NOTE_FAILURE("no GUID for the window thread's start event");
        return {};
    }
    char eventName[MAX_PATH];
    snprintf(eventName, sizeof(eventName), "UI_VEXIL_%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    vexil::ScopedHandle event(CreateEventA(nullptr, FALSE, FALSE, eventName));
    if (!event)
        VEXIL_NOTE_FAILURE("the window thread's start event could not be made");
    return event;
}

} // namespace

// The constructing thread is the host's: its COM apartment is the host's business. A window's own
// thread enters an apartment of its own.
CWin32Window::CWin32Window() : m_strTitle(VEXIL_WINDOW_TITLE) {
    lstrcpynW(m_szClassName, VEXIL_WINDOW_CLASS, MAX_PATH);
}

CWin32Window::~CWin32Window() {
    PostMessage(WM_CLOSE, 0, 0);
    WaitUntilThreadLeft();
    // A window that outlives its object would route its messages to freed memory: cut it loose, so
    // that it falls back to the default procedure (the posted WM_CLOSE then destroys it).
    const size_t stale = vexil::UnbindObject(this);
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
    if (left && vexil::IsAnotherThread(thread.get())) {
        const HANDLE handles[2] = {left.get(), thread.get()};
        vexil::WaitAnyDeliveringSent(2, handles, INFINITE);
    }
}

void CWin32Window::WaitForPreviousThread() {
    // A thread left from the previous window may still be ending (joining the threads its window
    // started, letting go of its modules).
    vexil::ScopedHandle previous = OwnThreadHandle();
    if (vexil::IsAnotherThread(previous.get()))
        vexil::WaitDeliveringSent(previous.get(), INFINITE);
}

bool CWin32Window::RegisterWindowClass() {
    vexil::ExclusiveLock lock(g_classLock);
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
    vexil::ExclusiveLock lock(g_classLock);
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

    m_hStartEvent = MakeStartEvent();
    if (!m_hStartEvent)
        return false;

    auto start = std::make_unique<WindowThreadStart>();
    start->window = this;
    start->dpiContext = vexil::ThreadDpiContext();
    start->startEvent.reset(vexil::DuplicateOf(m_hStartEvent.get()));
    vexil::ScopedHandle left(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    start->leftEvent.reset(vexil::DuplicateOf(left.get()));
    if (!start->startEvent || !start->leftEvent) {
        VEXIL_NOTE_FAILURE("the window thread's events could not be made");
        m_hStartEvent.reset();
        return false;
    }

    WaitForPreviousThread();
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
    {
        vexil::ExclusiveLock lock(m_threadLock);
        m_hThread = std::move(thread);
        m_hThreadLeft = std::move(left);
    }

    return WaitForWindowThreadStart();
}

bool CWin32Window::WaitForWindowThreadStart() {
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
    // Drawn at the scale of the host that asked for it: scaled by the system for an unaware host,
    // at the screen's DPI for an aware one.
    vexil::UseThreadDpiContext(start->dpiContext);
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

    // Without a window nothing could ever end the loop.
    if (haveWindow)
        self->RunMessageLoop();
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

void CWin32Window::RunMessageLoop() {
    VEXIL_ASSERT_WINDOW_THREAD();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        bool consumed = false;
        try {
            consumed = PreTranslateMessage(msg);
        } catch (...) {
            vexil::ReportBrokenInvariant(__FILE__, __LINE__, "exception in PreTranslateMessage");
        }
        if (!consumed) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
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
    if (vexil::LookupWindow(hwnd) != this) {
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
        // Whatever the derived window, its messages run on the thread that made its window.
        VEXIL_ASSERT_THREAD(window->CalledOnWindowThread());
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
        vexil::BindWindow(hwnd, window);
        window->SetHwnd(hwnd);
        return callObject(window);
    }

    CWin32Window* window = vexil::LookupWindow(hwnd);
    if (!window)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg != WM_NCDESTROY)
        return callObject(window);

    vexil::UnbindWindow(hwnd);
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
        if (vexil::IsWindowOfThisThread(hwnd)) {
            const bool timed = ::SetTimer(hwnd, kCloseTimerId, 0, nullptr) != 0;
            VEXIL_REPORT_IF(!timed, "a window could not be closed: no message and no timer could be queued");
            (void)timed;
        } else {
            ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
        }
    }
    if (wait && m_bOwnThread.load()) {
        // The window thread itself must never wait for its own end. The handle stays:
        // a later close or the destructor may wait for the same thread.
        vexil::ScopedHandle thread = OwnThreadHandle();
        if (vexil::IsAnotherThread(thread.get()))
            vexil::WaitDeliveringSent(thread.get(), INFINITE);
    }
}

vexil::ScopedHandle CWin32Window::OwnThreadHandle(vexil::ScopedHandle* left) const {
    vexil::SharedLock lock(m_threadLock);
    vexil::ScopedHandle thread(vexil::DuplicateOf(m_hThread.get()));
    if (left != nullptr)
        left->reset(vexil::DuplicateOf(m_hThreadLeft.get()));
    return thread;
}

#include "controlwindow.h"

namespace shelfdemo {

namespace {

const wchar_t kClassName[] = L"ShelfDemoControl";

enum Command : int {
    kAddBook = 101,
    kRemoveBook,
    kSignInNext,
    kSignOut,
    kShowShelf,
    kHideShelf,
};

struct ButtonSpec {
    int command;
    const wchar_t* label;
    int width;
};

const ButtonSpec kButtons[] = {
    {kAddBook, L"Add a book", 110},
    {kRemoveBook, L"Remove a book", 120},
    {kSignInNext, L"Sign in another account", 180},
    {kSignOut, L"Sign out", 90},
    {kShowShelf, L"Show shelf", 100},
    {kHideShelf, L"Hide shelf", 100},
};

constexpr UINT_PTR kFirstShowTimer = 1;
constexpr UINT kFirstShowLimitMs = 20000;
constexpr int kMargin = 12, kGap = 6, kButtonHeight = 30, kStatusHeight = 20;

int ButtonRowWidth() {
    int width = 0;
    for (const ButtonSpec& entry : kButtons)
        width += entry.width + kGap;
    return width - kGap;
}

RECT WorkArea() {
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

} // namespace

ControlWindow::ControlWindow(DemoApp& app, bool showShelfOnFirstReport)
    : m_app(app), m_waitingForFirstShow(showShelfOnFirstReport) {}

bool ControlWindow::Create(int nCmdShow) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(101));
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    // A strip of buttons with a status line, at the bottom of the screen, where the shelf (which
    // this window owns, and which therefore stays in front of it) is least likely to cover it.
    RECT frame = {0, 0, ButtonRowWidth() + 2 * kMargin, kButtonHeight + kGap + kStatusHeight + 2 * kMargin};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const RECT area = WorkArea();
    m_hwnd = CreateWindowExW(0, kClassName, L"Shelf demo host", style,
                             area.left + (area.right - area.left - width) / 2, area.bottom - height, width,
                             height, nullptr, nullptr, wc.hInstance, this);
    if (!m_hwnd)
        return false;

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        m_font.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    int x = kMargin;
    for (const ButtonSpec& entry : kButtons) {
        HWND button = CreateWindowExW(
            0, L"BUTTON", entry.label, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, kMargin,
            entry.width, kButtonHeight, m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.command)),
            wc.hInstance, nullptr);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
        x += entry.width + kGap;
    }
    m_status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kMargin,
                               kMargin + kButtonHeight + kGap, ButtonRowWidth(), kStatusHeight, m_hwnd,
                               nullptr, wc.hInstance, nullptr);
    SendMessageW(m_status, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    RefreshStatus();
    if (m_waitingForFirstShow)
        SetTimer(m_hwnd, kFirstShowTimer, kFirstShowLimitMs, nullptr);
    ShowWindow(m_hwnd, nCmdShow);
    UpdateWindow(m_hwnd);
    return true;
}

int ControlWindow::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(m_hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return m_exitCode;
}

LRESULT CALLBACK ControlWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<ControlWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT ControlWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnCommand(LOWORD(wParam));
        return 0;
    case WM_DEMO_SHELF_CHANGED:
        RefreshStatus();
        // The first count report comes from the shelf's first load, after its controls are bound:
        // from then on Show can succeed.
        if (m_waitingForFirstShow && m_app.Sink().CountNotices() > 0)
            TryFirstShow(false);
        return 0;
    case WM_TIMER:
        if (wParam == kFirstShowTimer)
            TryFirstShow(true);
        return 0;
    case WM_DEMO_SCRIPT_DONE:
        m_exitCode = static_cast<int>(wParam);
        // The shelf is owned by this window: close it while this window still exists.
        m_app.Shutdown();
        DestroyWindow(m_hwnd);
        return 0;
    case WM_CLOSE:
        if (m_app.ScriptRunning()) {
            // The session uses the shelf from its own thread: it stops first, then closes us.
            m_app.Log().Line(L"host: closing; the scripted session stops first");
            m_app.RequestCancel();
            return 0;
        }
        m_app.Shutdown();
        DestroyWindow(m_hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(m_hwnd, kFirstShowTimer);
        m_app.Shutdown();
        m_font.reset();
        PostQuitMessage(m_exitCode);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        return 0;
    default:
        return DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
}

void ControlWindow::TryFirstShow(bool lastChance) {
    if (!m_waitingForFirstShow)
        return;
    if (lastChance)
        m_app.Log().Printf(L"host: the shelf did not report within %u ms; showing it anyway",
                           kFirstShowLimitMs);
    if (m_app.ShowShelf(m_hwnd) || lastChance) {
        m_waitingForFirstShow = false;
        KillTimer(m_hwnd, kFirstShowTimer);
        MoveOutOfTheShelf();
    }
}

void ControlWindow::MoveOutOfTheShelf() {
    CBookrackWindow* rack = m_app.Rack();
    RECT shelf, self;
    if (!rack || !GetWindowRect(rack->GetHwnd(), &shelf) || !GetWindowRect(m_hwnd, &self))
        return;
    const RECT area = WorkArea();
    const int height = self.bottom - self.top;
    int top = area.bottom - height; // no room above or below: the bottom of the screen
    if (area.bottom - shelf.bottom >= height)
        top = shelf.bottom;
    else if (shelf.top - area.top >= height)
        top = shelf.top - height;
    SetWindowPos(m_hwnd, nullptr, self.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ControlWindow::OnCommand(int command) {
    switch (command) {
    case kAddBook:
        m_app.AddBook();
        break;
    case kRemoveBook:
        m_app.RemoveBook();
        break;
    case kSignInNext:
        m_app.SignIn(m_app.NextAccount());
        break;
    case kSignOut:
        m_app.SignOut();
        break;
    case kShowShelf:
        m_app.ShowShelf(m_hwnd);
        break;
    case kHideShelf:
        m_app.HideShelf();
        break;
    default:
        return;
    }
    RefreshStatus();
}

void ControlWindow::RefreshStatus() {
    if (m_status)
        SetWindowTextW(m_status, m_app.StatusText().c_str());
}

} // namespace shelfdemo

// Window creation and control binding: the default rectangle (any thread), building the window from
// the skin (the caller's thread starts the window thread), binding the four controls once the skin
// window exists and releasing them when it closes (the window thread).
#include "bookrackwindowimpl.h"

#include <uiassist/diag.h>
#include <uiassist/dpi.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "damagednotice.h"
#include "product.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The window's icon in the module's resources.
constexpr WORD kIconResourceId = 101;

struct ScreenSize {
    int screenWidth;
    int screenHeight;
    int windowWidth;
    int windowHeight;
};

// The window size for each known screen resolution, searched in this order.
constexpr ScreenSize kDefaultSizes[] = {
    {1920, 1200, 1000, 800}, {1920, 1080, 1000, 800}, {1680, 1050, 1000, 800}, {1440, 900, 1000, 800},
    {1366, 768, 1000, 600},  {1280, 1024, 1000, 800}, {1280, 800, 1000, 600},  {1280, 768, 1000, 600},
    {1024, 600, 1000, 600},  {800, 600, 760, 540},    {1024, 768, 1000, 600},
};
// Screens not in the table: the large size from this resolution up, the small one below it.
constexpr int kLargeScreenWidth = 1920;
constexpr int kLargeScreenHeight = 1200;
constexpr int kFallbackWidth = 1000;
constexpr int kLargeFallbackHeight = 800;
constexpr int kSmallFallbackHeight = 600;

// The four controls, bound in this order.
constexpr char kManagerName[] = "BookrackMgr";
constexpr char kMatrixName[] = "BMCC_BookMatrix";
constexpr char kBrowserName[] = "BMCC_BookrackIeBrowser";
constexpr char kNewBookButtonName[] = "New_FolianBtn";

// A field of the create block as text; a field without a terminator inside it counts as empty and is
// never read past its end.
template <size_t N> std::string FieldText(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr ? std::string(field) : std::string();
}

HICON LoadWindowIcon(HINSTANCE instance) {
    if (instance == nullptr)
        return nullptr;
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

} // namespace

RECT ComputeDefaultBookrackRect(int screenWidth, int screenHeight, const RECT& workArea, UINT dpi) {
    // The table knows screens as a DPI-unaware program sees them: a 1920 x 1080 screen at 150 % is
    // looked up as 1280 x 720.
    screenWidth = MulDiv(screenWidth, vexil::kDesignDpi, static_cast<int>(dpi));
    screenHeight = MulDiv(screenHeight, vexil::kDesignDpi, static_cast<int>(dpi));
    int width = kFallbackWidth;
    int height = (screenWidth >= kLargeScreenWidth && screenHeight >= kLargeScreenHeight)
                     ? kLargeFallbackHeight
                     : kSmallFallbackHeight;
    for (const ScreenSize& entry : kDefaultSizes) {
        if (entry.screenWidth == screenWidth && entry.screenHeight == screenHeight) {
            width = entry.windowWidth;
            height = entry.windowHeight;
            break;
        }
    }
    width = vexil::ScaleToDpi(width, dpi);
    height = vexil::ScaleToDpi(height, dpi);
    // Centred on the work area, wherever it starts (a taskbar on the left or at the top, a monitor
    // left of the primary one). Where the work area is smaller than the window, the window starts
    // at the work area's corner, so that its caption is on screen and it can be dragged.
    const int left = workArea.left + std::max<LONG>(0, (workArea.right - workArea.left - width) / 2);
    const int top = workArea.top + std::max<LONG>(0, (workArea.bottom - workArea.top - height) / 2);
    return RECT{left, top, left + width, top + height};
}

RECT CBookrackWindowImpl::GetDefaultRect(HWND owner, UINT dpi) {
    // On the owner's monitor, by that monitor's resolution and work area.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    const HMONITOR ownerMonitor = owner != nullptr && ::IsWindow(owner)
                                      ? ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                                      : nullptr;
    if (ownerMonitor != nullptr && ::GetMonitorInfoW(ownerMonitor, &monitor))
        return ComputeDefaultBookrackRect(monitor.rcMonitor.right - monitor.rcMonitor.left,
                                          monitor.rcMonitor.bottom - monitor.rcMonitor.top, monitor.rcWork,
                                          dpi);
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return ComputeDefaultBookrackRect(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), work,
                                      dpi);
}

RECT CBookrackWindowImpl::GetDefaultRectForWindow() const {
    const HWND hwnd = GetWindowHandle();
    return HasWindow(hwnd) ? GetDefaultRect(::GetWindow(hwnd, GW_OWNER), vexil::WindowDpi(hwnd))
                           : GetDefaultRect(nullptr, vexil::ThreadDpi());
}

bool CBookrackWindowImpl::CreateBookrackWindow(HWND parent, int showCmd) {
    m_bWindowClosing = false;
    return CreateVexilWindow(bookrack::kKernelModule, bookrack::kSkinPackage, bookrack::kBookrackWindowName,
                             parent, GetDefaultRect(parent, vexil::ThreadDpi()), showCmd, kBookrackStyle, 0,
                             true);
}

bool CBookrackWindowImpl::GetNewBookButtonScreenRect(RECT* rect) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlButton* button = m_pNewBookBtn.load();
    const HWND hwnd = GetWindowHandle();
    if (rect == nullptr || button == nullptr || !HasWindow(hwnd))
        return false;
    RECT client = {};
    if (!button->GetCtrlRect(&client))
        return false;
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    if (!::ClientToScreen(hwnd, &corners[0]) || !::ClientToScreen(hwnd, &corners[1]))
        return false;
    *rect = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

RECT CBookrackWindowImpl::TipsRectBelow(const RECT& button) const {
    VEXIL_ASSERT_WINDOW_THREAD();
    const UINT dpi = vexil::WindowDpi(GetWindowHandle());
    return {button.left, button.bottom, button.left + vexil::ScaleToDpi(kTipsWidth, dpi),
            button.bottom + vexil::ScaleToDpi(kTipsHeight, dpi)};
}

void CBookrackWindowImpl::ShowTipsBelowButton() {
    VEXIL_ASSERT_WINDOW_THREAD();
    RECT button = {};
    if (!GetNewBookButtonScreenRect(&button))
        return;
    ISkinWindow* skin = GetSkinWindow();
    IUiKernel* kernel = skin != nullptr ? skin->GetUiKernel() : nullptr;
    if (kernel == nullptr)
        return;
    const RECT tips = TipsRectBelow(button);
    m_tipsDlg.Show(kernel, GetWindowHandle(), tips);
}

bool CBookrackWindowImpl::MatrixHasNoBook() {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (matrix == nullptr)
        return true;
    const std::vector<int>* books = matrix->GetBookList();
    return books == nullptr || books->empty();
}

void CBookrackWindowImpl::OnCreate() {
    VEXIL_ASSERT_WINDOW_THREAD();
    const HWND hwnd = GetWindowHandle();

    // The icon comes from the instance the host named; the module's own resources when that one has
    // none (a host may well pass its own executable's instance).
    m_hIcon.reset(LoadWindowIcon(m_hInstance.load()));
    if (!m_hIcon)
        m_hIcon.reset(LoadWindowIcon(reinterpret_cast<HINSTANCE>(&__ImageBase)));
    if (m_hIcon && HasWindow(hwnd)) {
        ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
        ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.get()));
    }

    if (m_pHost.load() == nullptr) {
        VEXIL_REPORT_IF(true, "bookshelf controls not bound: no host was set");
        return;
    }
    // What the host reads as the thread of the controls: 0 until a window with a host binds them.
    m_dwUiThreadId = WindowThreadId();

    if (GetSkinWindow() == nullptr)
        return;
    m_pBookrackMgr = FindControl<ICtrlBookrackManager>(kManagerName);
    m_pBookMatrix = FindControl<ICtrlBookMatrix>(kMatrixName);
    m_pIeBrowser = FindControl<ICtrlIEBrowser>(kBrowserName);
    m_pNewBookBtn = FindControl<ICtrlButton>(kNewBookButtonName);
    if (!m_pBookrackMgr.load() || !m_pBookMatrix.load() || !m_pIeBrowser.load() || !m_pNewBookBtn.load()) {
        VEXIL_REPORT_IF(true, "a bookshelf control is missing or of another type");
        return;
    }

    if (m_pSink.load() != nullptr) {
        // A new window holds no books yet, whoever was signed in before: its first load must run
        // even for the account that the previous window showed.
        {
            std::lock_guard<std::mutex> guard(m_accountLock);
            m_strAccountId.clear();
        }
        if (m_createParams.bLoggedIn != 0) {
            const std::string accountId = FieldText(m_createParams.szAccountId);
            const std::string accountKey = FieldText(m_createParams.szAccountKey);
            const std::string accountInfo = FieldText(m_createParams.szAccountInfo);
            Login(accountId.c_str(), accountKey.c_str(), accountInfo.c_str(), 1);
        } else {
            Logout(1);
        }
    }

    if (m_bShowOnBind.load()) {
        const bool taken = m_pBookrackMgr.load()->SetShowMode(m_nShowMode.load());
        VEXIL_REPORT_IF(!taken, "the bookrack manager refused the display mode");
        (void)taken;
    }
}

void CBookrackWindowImpl::OnDestroy() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // Runs for WM_CLOSE and again for WM_DESTROY; the second run finds everything released.
    m_pBookrackMgr = nullptr;
    m_pBookMatrix = nullptr;
    m_pIeBrowser = nullptr;
    m_pNewBookBtn = nullptr;
    if (m_hIcon) {
        const HWND hwnd = GetWindowHandle();
        if (HasWindow(hwnd) && ::IsWindow(hwnd)) {
            ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, 0);
            ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, 0);
        }
        m_hIcon.reset();
    }
}

void CBookrackWindowImpl::OnCreateResult(int code) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (ShowNoticeIfSkinDamaged(code))
        return;
    CVexilWindow::OnCreateResult(code);
}

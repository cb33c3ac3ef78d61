// The skin-window base: loads the kernel, builds the skin window and hears its controls. Creation runs
// on the caller's or the window's own thread, as each function says; messages and notifications on
// the window's thread.
#include <uiassist/cvexilwindow.h>

#include <uiassist/diag.h>
#include <uiassist/dpi.h>
#include <uiassist/textconv.h>

#include <cstdio>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Error-box texts, stored in the GBK code page (936). All start "创建Vexil窗口错误，错误码：%d".
// -2: "... (亲，有可能皮肤路径创建的对话框的名字没有写对奥！)" - the window name may be misspelled.
constexpr char kErrWindowNotFoundGbk[] =
    "\xb4\xb4\xbd\xa8Vexil\xb4\xb0\xbf\xda\xb4\xed\xce\xf3\xa3\xac\xb4\xed\xce\xf3\xc2\xeb\xa3\xba%d "
    "(\xc7\xd7\xa3\xac\xd3\xd0\xbf\xc9\xc4\xdc\xc6\xa4\xb7\xf4\xc2\xb7\xbe\xb6\xb4\xb4\xbd\xa8\xb5"
    "\xc4\xb6\xd4\xbb\xb0\xbf\xf2\xb5\xc4\xc3\xfb\xd7\xd6\xc3\xbb\xd3\xd0\xd0\xb4\xb6\xd4\xb0\xc2\xa3"
    "\xa1)";
// -3: "... (亲，创建控件居然失败了，看看控件DLL都在不在！)" - a control could not be created.
constexpr char kErrControlFailedGbk[] =
    "\xb4\xb4\xbd\xa8Vexil\xb4\xb0\xbf\xda\xb4\xed\xce\xf3\xa3\xac\xb4\xed\xce\xf3\xc2\xeb\xa3\xba%d "
    "(\xc7\xd7\xa3\xac\xb4\xb4\xbd\xa8\xbf\xd8\xbc\xfe\xbe\xd3\xc8\xbb\xca\xa7\xb0\xdc\xc1\xcb\xa3"
    "\xac\xbf\xb4\xbf\xb4\xbf\xd8\xbc\xfe"
    "DLL\xb6\xbc\xd4\xda\xb2\xbb\xd4\xda\xa3\xa1)";
// -4: "... (亲，现在还不支持同时载入两个皮肤包！)" - two skin packages at once.
constexpr char kErrSecondPackageGbk[] =
    "\xb4\xb4\xbd\xa8Vexil\xb4\xb0\xbf\xda\xb4\xed\xce\xf3\xa3\xac\xb4\xed\xce\xf3\xc2\xeb\xa3\xba%d "
    "(\xc7\xd7\xa3\xac\xcf\xd6\xd4\xda\xbb\xb9\xb2\xbb\xd6\xa7\xb3\xd6\xcd\xac\xca\xb1\xd4\xd8\xc8"
    "\xeb\xc1\xbd\xb8\xf6\xc6\xa4\xb7\xf4\xb0\xfc\xa3\xa1)";
// Any other code.
constexpr char kErrGenericGbk[] =
    "\xb4\xb4\xbd\xa8Vexil\xb4\xb0\xbf\xda\xb4\xed\xce\xf3\xa3\xac\xb4\xed\xce\xf3\xc2\xeb\xa3\xba%d";
// Caption "内核窗口" (kernel window).
constexpr char kErrCaptionGbk[] = "\xc4\xda\xba\xcb\xb4\xb0\xbf\xda";

constexpr size_t kErrTextBytes = 260;

// The kernel is found beside the module that loads it, or in the places the host trusts; the
// current directory and PATH are never searched, so a planted copy there is never taken.
constexpr DWORD kSearchFullPath = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
constexpr DWORD kSearchBareName =
    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32;

bool IsFullPath(const wchar_t* path) {
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/');
    return drive || unc;
}

bool IsBareName(const wchar_t* path) { return wcspbrk(path, L"\\/:") == nullptr; }

// This module's folder with a trailing backslash, or "" when it cannot be read.
std::wstring ThisModuleFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD len = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), &path[0],
                                             static_cast<DWORD>(path.size()));
        if (len == 0)
            return std::wstring();
        if (len < path.size()) {
            path.resize(len);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

HMODULE LoadKernelModule(const wchar_t* kernelPath) {
    if (kernelPath[0] == L'\0')
        return nullptr;
    if (IsFullPath(kernelPath))
        return LoadLibraryExW(kernelPath, nullptr, kSearchFullPath);
    const std::wstring folder = ThisModuleFolder();
    if (!IsBareName(kernelPath)) {
        // A relative path with folders is taken relative to this module, never to the current
        // directory.
        return folder.empty() ? nullptr
                              : LoadLibraryExW((folder + kernelPath).c_str(), nullptr, kSearchFullPath);
    }
    if (!folder.empty()) {
        const std::wstring beside = folder + kernelPath;
        if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (HMODULE module = LoadLibraryExW(beside.c_str(), nullptr, kSearchFullPath))
                return module;
        }
    }
    return LoadLibraryExW(kernelPath, nullptr, kSearchBareName);
}

} // namespace

CVexilWindow::CVexilWindow() = default;

CVexilWindow::~CVexilWindow() {
    // The kernel's code runs this window until it is gone: end an own-thread window first.
    PostMessage(WM_CLOSE, 0, 0);
    WaitUntilThreadLeft();
    // An own thread let go of its kernel as it ended. A window that still lives (destroyed too
    // early; the base reports it) keeps the kernel loaded rather than have its code pulled from
    // under the skin window.
    if (m_hKernelModule.load() != nullptr && !IsWindow())
        ReleaseKernelModule();
}

void CVexilWindow::ReleaseKernelModule() {
    // Taken by exchange: the own thread as it ends and the creating thread may both try.
    const vexil::ScopedModule released(m_hKernelModule.exchange(nullptr));
}

void CVexilWindow::OnThreadExit() {
    // Every window of this thread is gone, and with them the kernel's skin windows and controls.
    m_pSkinWindow = nullptr;
    if (m_hKernelModule.load() != nullptr) {
        m_pKernel = nullptr;
        m_pKernelObject = nullptr;
        ReleaseKernelModule();
    }
}

bool CVexilWindow::CreateInNewThread(HWND, RECT, const wchar_t*, int, DWORD, LPARAM) { return false; }

bool CVexilWindow::CreateInCurrentThread(HWND, RECT, const wchar_t*, int, DWORD, LPARAM) { return false; }

bool CVexilWindow::CreateVexilWindow(const wchar_t* kernelPath, const wchar_t* skinPath,
                                     const wchar_t* windowName, HWND parent, RECT rect, int showCmd,
                                     DWORD style, LPARAM param, bool ownThread) {
    if (!kernelPath || !skinPath || !windowName)
        return false;
    if (IsWindow())
        return false;
    // The thread of an earlier window lets go of its kernel as it ends: it must be gone before this
    // window takes its own reference. That thread itself cannot wait for its own end.
    if (ownThread) {
        WaitForPreviousThread();
        if (!ThreadHasLeft()) {
            VEXIL_NOTE_FAILURE("a window asked for from the ending thread of the window before it");
            return false;
        }
    }
    m_strKernelPath = kernelPath;
    m_strSkinPath = skinPath;
    m_strWindowName = windowName;

    HMODULE module = LoadKernelModule(kernelPath);
    if (!module) {
        VEXIL_NOTE_FAILURE("the UI kernel could not be loaded");
        return false;
    }
    // A window made again keeps one reference to the kernel, not one per creation.
    const vexil::ScopedModule previous(m_hKernelModule.exchange(module));

    const FARPROC entry = GetProcAddress(module, VEXIL_KERNEL_ENTRY);
    IUiKernel* kernel = nullptr;
    if (entry)
        kernel = reinterpret_cast<PFN_GetUiKernelInterface>(reinterpret_cast<void (*)()>(entry))();
    if (!kernel) {
        VEXIL_NOTE_FAILURE("the UI kernel gave no interface");
        m_pKernel = nullptr;
        ReleaseKernelModule();
        return false;
    }
    m_pKernel = kernel;
    m_pKernelObject = kernel->GetKernelObject();
    if (!m_pKernelObject) {
        VEXIL_NOTE_FAILURE("the UI kernel gave no kernel object");
        m_pKernel = nullptr;
        ReleaseKernelModule();
        return false;
    }
    const bool created =
        kernel->IsSkinOpen()
            ? CreateVexilWindowWithKernel(kernel, windowName, parent, rect, showCmd, style, param, ownThread)
            : CreateOnThread(parent, rect, showCmd, style, param, ownThread);
    // An own thread that never started, or that ended already, leaves the reference to this thread.
    if (!created && ownThread && ThreadHasLeft())
        ReleaseKernelModule();
    return created;
}

bool CVexilWindow::CreateVexilWindowWithKernel(IUiKernel* kernel, const wchar_t* windowName, HWND parent,
                                               RECT rect, int showCmd, DWORD style, LPARAM param,
                                               bool ownThread) {
    if (!kernel || !windowName)
        return false;
    if (IsWindow())
        return false;
    m_strWindowName = windowName;
    m_pKernel = kernel;
    m_pKernelObject = kernel->GetKernelObject();
    if (!m_pKernelObject) {
        m_pKernel = nullptr;
        return false;
    }
    // One package per kernel: build from the one it already has open.
    const wchar_t* openPackage = kernel->GetSkinPath();
    m_strSkinPath = openPackage ? openPackage : L"";
    return CreateOnThread(parent, rect, showCmd, style, param, ownThread);
}

bool CVexilWindow::CreateOnThread(HWND parent, RECT rect, int showCmd, DWORD style, LPARAM param,
                                  bool ownThread) {
    if (ownThread)
        return CWin32Window::CreateInNewThread(parent, rect, VEXIL_WINDOW_TITLE, showCmd, style, param);
    return CWin32Window::CreateInCurrentThread(parent, rect, VEXIL_WINDOW_TITLE, showCmd, style, param);
}

bool CVexilWindow::CreateWin32Window() {
    // Shown only once the kernel reports the skin window ready, whatever the style asks for.
    m_dwStyle &= ~static_cast<DWORD>(WS_VISIBLE);
    m_bAwaitingSkinResult = true;
    if (!m_pKernel || !CreateBoundWindow())
        return false;
    const HWND hwnd = GetWindowHandle();
    ISkinWindow* skinWindow =
        m_pKernel->CreateSkinWindow(hwnd, m_strSkinPath.c_str(), m_strWindowName.c_str());
    if (!skinWindow) {
        VEXIL_NOTE_FAILURE("the UI kernel made no skin window");
        // A bare window without its skin is no working window: take it down again. This runs on
        // the window's own thread, which then ends.
        ::DestroyWindow(hwnd);
        return false;
    }
    m_pSkinWindow = skinWindow;
    skinWindow->SetCtrlMsgCallBack(&m_controlSink);

    if (m_rect.right - m_rect.left > 0 && m_rect.bottom - m_rect.top > 0) {
        MoveWindow(m_rect.left, m_rect.top, m_rect.right, m_rect.bottom, true);
    } else {
        // The skin's size is in 96-DPI units.
        SIZE designed = {};
        skinWindow->GetWindowSize(&designed);
        const UINT dpi = vexil::WindowDpi(hwnd);
        MoveWindow(0, 0, vexil::ScaleToDpi(designed.cx, dpi), vexil::ScaleToDpi(designed.cy, dpi), true);
        CenterWindow(true);
    }
    OnCreate();
    OnWindowBuilt();
    return HasWindow(GetWindowHandle());
}

LRESULT CVexilWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_VEXIL_CREATE_DONE || msg == WM_VEXIL_CREATE_ERROR) {
        // The kernel reports each build once. At any other time the message came from elsewhere
        // (another program can post it to any window) and means nothing.
        if (!m_bAwaitingSkinResult)
            return 0;
        m_bAwaitingSkinResult = false;
        OnCreateResult(msg == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(wParam));
    }
    const LRESULT result = CWin32Window::WindowProc(msg, wParam, lParam);
    // The kernel's skin window and its controls end with the window.
    if (msg == WM_NCDESTROY)
        m_pSkinWindow = nullptr;
    return result;
}

void CVexilWindow::OnCreateResult(int code) {
    if (code == 0) {
        MoveWindow(m_rect.left, m_rect.top, m_rect.right, m_rect.bottom, true);
        ShowWindow(m_nShowCmd);
        return;
    }
    const std::string text = FormatCreateErrorText(code);
    vexil::MessageBoxGbk(nullptr, text.c_str(), kErrCaptionGbk, MB_ICONERROR);
}

void CVexilWindow::OnWindowBuilt() { ShowWindow(SW_HIDE); }

LRESULT CVexilWindow::OnCtrlMessage(IControlBase*, int, WPARAM, LPARAM) { return -1; }

LRESULT CVexilWindow::ControlSink::OnCtrlMessage(IControlBase* control, int id, WPARAM wParam,
                                                 LPARAM lParam) {
    VEXIL_ASSERT_THREAD(m_window.CalledOnWindowThread());
    return m_window.OnCtrlMessage(control, id, wParam, lParam);
}

std::string CVexilWindow::FormatCreateErrorText(int code) {
    const char* format = kErrGenericGbk;
    switch (code) {
    case VEXIL_ERR_WINDOW_NOT_FOUND:
        format = kErrWindowNotFoundGbk;
        break;
    case VEXIL_ERR_CONTROL_FAILED:
        format = kErrControlFailedGbk;
        break;
    case VEXIL_ERR_SECOND_PACKAGE:
        format = kErrSecondPackageGbk;
        break;
    default:
        break;
    }
    char text[kErrTextBytes];
    snprintf(text, sizeof(text), format, code);
    return text;
}

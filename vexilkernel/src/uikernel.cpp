#include "uikernel.h"

#include <vexil/messages.h>

#include <vector>

#include "drawing.h"
#include "iebrowser.h"
#include "refcontrol.h"
#include "skinwindow.h"
#include "strutil.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace vexilref {
namespace {

struct WindowClass {
    const wchar_t* name;
    WNDPROC proc;
    UINT style;
};

std::vector<WindowClass> KernelClasses() {
    std::vector<WindowClass> classes = {
        {CSkinWindow::kRootClass, CSkinWindow::RootWindowProc, 0},
    };
    for (const wchar_t* const* name = CRefControl::kWindowClasses; *name; ++name)
        classes.push_back({*name, CRefControl::WindowProc, CS_DBLCLKS});
    classes.push_back({CRefIEBrowser::kHostClass, CRefIEBrowser::HostWindowProc, 0});
    classes.push_back({CRefIEBrowser::kViewClass, CRefIEBrowser::HostWindowProc, 0});
    classes.push_back({CRefIEBrowser::kDocumentClass, CRefIEBrowser::DocumentWindowProc, 0});
    return classes;
}

// The folder of the kernel module, with a trailing backslash.
std::wstring KernelFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(KernelInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/'))
        return true; // UNC or \\?\ path, or rooted on the current drive
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

// The full, normalised path of a package: relative paths are taken from the kernel's folder.
std::wstring ResolvePackagePath(const std::wstring& path) {
    const std::wstring joined = IsAbsolutePath(path) ? path : KernelFolder() + path;
    const DWORD needed = GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return joined;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(joined.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return joined;
    full.resize(length);
    return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

HINSTANCE KernelInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

CUiKernel& TheKernel() {
    static CUiKernel kernel;
    return kernel;
}

void* CUiKernel::GetKernelObject() { return static_cast<IUiKernel*>(this); }

bool CUiKernel::IsSkinOpen() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_package != nullptr;
}

const wchar_t* CUiKernel::GetSkinPath() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_skinPath;
}

bool CUiKernel::RegisterClasses() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_classesRegistered)
        return true;
    for (const WindowClass& wc : KernelClasses()) {
        WNDCLASSEXW info = {};
        info.cbSize = sizeof info;
        info.style = wc.style;
        info.lpfnWndProc = wc.proc;
        info.hInstance = KernelInstance();
        info.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        info.lpszClassName = wc.name;
        if (!RegisterClassExW(&info) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    m_classesRegistered = true;
    return true;
}

void CUiKernel::UnregisterClasses() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_classesRegistered)
        return;
    for (const WindowClass& wc : KernelClasses())
        UnregisterClassW(wc.name, KernelInstance());
    m_classesRegistered = false;
}

int CUiKernel::UsePackage(const std::wstring& fullPath, std::shared_ptr<const SkinPackage>* package) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_package) {
        if (!SamePath(fullPath, m_skinPath))
            return VEXIL_ERR_SECOND_PACKAGE;
        *package = m_package;
        return 0;
    }
    auto loaded = std::make_shared<SkinPackage>();
    std::string error;
    if (fullPath.empty() || !LoadSkinPackage(fullPath, loaded.get(), &error)) {
        m_lastPackageError = WideToAnsi(fullPath) + ": " + (fullPath.empty() ? "no package path" : error);
        return kErrPackageUnreadable;
    }
    m_package = loaded;
    m_paths.push_back(fullPath);
    m_skinPath = m_paths.back().c_str();
    *package = m_package;
    return 0;
}

ISkinWindow* CUiKernel::CreateSkinWindow(HWND hwnd, const wchar_t* skinPath, const wchar_t* windowName) {
    try {
        ++m_createCalls;
        DWORD processId = 0;
        // Controls are made on the HWND's own thread; a foreign or dead window cannot take a skin.
        if (!IsWindow(hwnd) || GetWindowThreadProcessId(hwnd, &processId) != GetCurrentThreadId() ||
            processId != GetCurrentProcessId())
            return nullptr;
        if (!RegisterClasses())
            return nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_windows.count(hwnd))
                return nullptr; // one skin window per HWND
        }

        std::shared_ptr<const SkinPackage> package;
        const std::wstring name = windowName ? windowName : L"";
        int code =
            UsePackage(skinPath && *skinPath ? ResolvePackagePath(skinPath) : std::wstring(), &package);
        const WindowSpec* design = nullptr;
        if (code == 0) {
            design = package->FindWindow(name);
            if (!design)
                code = VEXIL_ERR_WINDOW_NOT_FOUND;
        }

        auto* skin = new CSkinWindow(this, hwnd, name);
        if (!skin->CreateRoot()) {
            skin->Release();
            return nullptr;
        }
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_windows[hwnd] = skin;
        }
        if (design)
            code = skin->Build(*design);
        // Posted, so the window learns the outcome after this call has returned.
        if (code == 0)
            PostMessageW(hwnd, WM_VEXIL_CREATE_DONE, 0, 0);
        else
            PostMessageW(hwnd, WM_VEXIL_CREATE_ERROR, static_cast<WPARAM>(static_cast<INT_PTR>(code)), 0);
        // The root window (alive as long as the HWND) keeps the skin window; drop the creator's hold.
        const bool alive = IsWindow(hwnd) != FALSE;
        skin->Release();
        return alive ? skin : nullptr;
    } catch (...) {
        return nullptr;
    }
}

ISkinWindow* CUiKernel::FindSkinWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_windows.find(hwnd);
    return found == m_windows.end() ? nullptr : found->second;
}

int CUiKernel::LiveSkinWindowCount() {
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_windows.size());
}

std::wstring CUiKernel::SkinPath() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_skinPath;
}

bool CUiKernel::CloseSkinPackage() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_windows.empty())
        return false;
    m_package.reset();
    m_skinPath = L"";
    return true;
}

std::string CUiKernel::LastPackageError() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastPackageError;
}

bool CUiKernel::GdiplusRunning() { return Drawing().GdiplusRunning(); }

void CUiKernel::ForgetSkinWindow(HWND hwnd, CSkinWindow* skin) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_windows.find(hwnd);
    if (found != m_windows.end() && found->second == skin)
        m_windows.erase(found);
}

} // namespace vexilref

extern "C" IUiKernel* __cdecl GetUiKernelInterface() { return &vexilref::TheKernel(); }

extern "C" IRefInspector* __cdecl GetRefKernelInspector() { return &vexilref::TheKernel(); }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // On FreeLibrary (not at process exit) take the classes away, so that a reload registers them
    // again with window procedures that point into the new image.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        vexilref::TheKernel().UnregisterClasses();
    return TRUE;
}

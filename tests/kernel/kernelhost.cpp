#include "kernelhost.h"

#include <future>
#include <memory>

namespace kerneltest {
namespace {

const wchar_t kHostClass[] = L"KernelTestHost";
constexpr UINT WM_TEST_RUN = WM_APP + 1;        // lParam = const std::function<void()>*
constexpr UINT WM_TEST_RUN_POSTED = WM_APP + 2; // lParam = std::function<void()>*, owned

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

} // namespace

KernelModule::KernelModule() : folder(ExeFolder()) {
    module = LoadLibraryExW((folder + L"VexilKernel.dll").c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module)
        return;
    auto entry = reinterpret_cast<PFN_GetUiKernelInterface>(
        reinterpret_cast<void*>(GetProcAddress(module, VEXIL_KERNEL_ENTRY)));
    auto inspect = reinterpret_cast<PFN_GetRefKernelInspector>(
        reinterpret_cast<void*>(GetProcAddress(module, VEXIL_REF_INSPECTOR_ENTRY)));
    kernel = entry ? entry() : nullptr;
    inspector = inspect ? inspect() : nullptr;
}

KernelModule::~KernelModule() {
    if (module)
        FreeLibrary(module);
}

HostWindow::HostWindow() {
    std::promise<HWND> ready;
    std::future<HWND> created = ready.get_future();
    m_thread = std::thread([this, &ready] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kHostClass;
        RegisterClassExW(&wc); // once per process; later calls fail harmlessly
        HWND hwnd = CreateWindowExW(0, kHostClass, L"kernel test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                    0, 0, 1000, 600, nullptr, nullptr, wc.hInstance, this);
        m_threadId = GetCurrentThreadId();
        ready.set_value(hwnd);
        if (!hwnd)
            return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    });
    m_hwnd = created.get();
}

HostWindow::~HostWindow() {
    Destroy();
    m_thread.join();
}

void HostWindow::Run(const std::function<void()>& fn) {
    SendMessageW(m_hwnd, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(&fn));
}

void HostWindow::Post(std::function<void()> fn) {
    auto* owned = new std::function<void()>(std::move(fn));
    if (!PostMessageW(m_hwnd, WM_TEST_RUN_POSTED, 0, reinterpret_cast<LPARAM>(owned)))
        delete owned;
}

ISkinWindow* HostWindow::Build(IUiKernel* kernel, const std::wstring& path, const std::wstring& name) {
    ISkinWindow* skin = nullptr;
    Run([&] {
        skin = kernel->CreateSkinWindow(m_hwnd, path.c_str(), name.c_str());
        if (skin)
            skin->SetCtrlMsgCallBack(this);
    });
    return skin;
}

bool HostWindow::Flush() {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> flushed = done->get_future();
    Post([done] { done->set_value(); });
    return flushed.wait_for(std::chrono::milliseconds(kWaitMs)) == std::future_status::ready;
}

void HostWindow::Destroy() {
    if (IsWindow(m_hwnd))
        Run([this] { DestroyWindow(m_hwnd); });
}

void HostWindow::Record(const Notice& notice) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_notices.push_back(notice);
    m_changed.notify_all();
}

std::vector<Notice> HostWindow::Notices() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_notices;
}

bool HostWindow::WaitFor(int id, Notice* notice, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    const Notice* found = nullptr;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Notice& n : m_notices)
            if (n.id == id)
                found = &n;
        return found != nullptr;
    });
    if (found && notice)
        *notice = *found;
    return found != nullptr;
}

int HostWindow::WaitCreateResult() {
    std::unique_lock<std::mutex> lock(m_lock);
    int code = 1;
    m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
        for (const Notice& n : m_notices)
            if (n.id == WM_VEXIL_CREATE_DONE || n.id == WM_VEXIL_CREATE_ERROR)
                code = n.id == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(n.wParam);
        return code != 1;
    });
    return code;
}

LRESULT HostWindow::OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) {
    Notice notice;
    notice.id = id;
    notice.wParam = wParam;
    notice.control = control;
    notice.threadId = GetCurrentThreadId();
    if ((id == VEXIL_NOTIFY_OPEN_BOOK || id == VEXIL_NOTIFY_DELETE_BOOK) && lParam)
        notice.bookId = reinterpret_cast<const BOOK_INFO*>(lParam)->strAppId;
    Record(notice);
    if (onNotice)
        onNotice(notice);
    return 0;
}

LRESULT CALLBACK HostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_TEST_RUN:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    case WM_TEST_RUN_POSTED: {
        std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lParam));
        (*fn)();
        return 0;
    }
    case WM_VEXIL_CREATE_DONE:
    case WM_VEXIL_CREATE_ERROR: {
        Notice notice;
        notice.id = static_cast<int>(message);
        notice.wParam = wParam;
        notice.threadId = GetCurrentThreadId();
        host->Record(notice);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"vexilkernel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount()) + L"\\";
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    for (auto file = m_files.rbegin(); file != m_files.rend(); ++file)
        if (!DeleteFileW(file->c_str()))
            RemoveDirectoryW(file->c_str());
    RemoveDirectoryW(m_path.c_str());
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& text) {
    const size_t slash = name.find(L'\\');
    if (slash != std::wstring::npos && CreateDirectoryW((m_path + name.substr(0, slash)).c_str(), nullptr))
        m_files.push_back(m_path + name.substr(0, slash));
    const std::wstring path = m_path + name;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
        m_files.push_back(path);
    }
    return path;
}

std::string OneWindowPackage(const std::string& controlLines) {
    return "vexilskin 1\nwindow W size=600x400 title=\"Test window\"\n" + controlLines + "end\n";
}

std::string AllControlLines() {
    return "control button class=button rect=10,10,90,40 text=\"Go\"\n"
           "control progressbar class=progressbar rect=10,50,200,60\n"
           "control staticbox class=staticbox rect=10,70,200,90 text=\"Hello\"\n"
           "control bookmatrix class=bookmatrix rect=0,100,400,400\n"
           "control bookrackmanager class=bookrackmanager rect=0,0,600,30\n"
           "control iebrowser class=iebrowser rect=400,100,600,400\n"
           "control caption class=caption rect=0,0,600,20\n"
           "control label class=label rect=0,0,600,20 text=\"x\"\n"
           "control panel class=panel rect=0,0,600,20\n";
}

} // namespace kerneltest

#include "kernelhost.h"

#include <shelftest/module.h>
#include <shelftest/wait.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

namespace kerneltest {
namespace {

const wchar_t kHostClass[] = L"KernelTestHost";

} // namespace

KernelModule::KernelModule() : folder(shelftest::ExeFolder() + L"\\") {
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

HostWindow::HostWindow(DWORD style) {
    std::promise<HWND> ready;
    std::future<HWND> created = ready.get_future();
    m_thread = std::thread([this, &ready, style] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kHostClass;
        RegisterClassExW(&wc); // once per process; later calls fail harmlessly
        HWND hwnd = CreateWindowExW(0, kHostClass, L"kernel test host", style, 0, 0, 1000, 600, nullptr,
                                    nullptr, wc.hInstance, this);
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
    shelftest::RunOnWindowThread(m_hwnd, [this] { DestroyWindow(m_hwnd); });
    m_thread.join();
}

void HostWindow::Run(const std::function<void()>& fn) { shelftest::RunOnWindowThread(m_hwnd, fn); }

bool HostWindow::Flush() { return shelftest::DrainPostedMessages(m_hwnd); }

ISkinWindow* HostWindow::Build(IUiKernel* kernel, const std::wstring& path, const std::wstring& name) {
    ISkinWindow* skin = nullptr;
    Run([&] {
        skin = kernel->CreateSkinWindow(m_hwnd, path.c_str(), name.c_str());
        if (skin)
            skin->SetCtrlMsgCallBack(this);
    });
    return skin;
}

void HostWindow::Record(const Notice& notice) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_notices.push_back(notice);
}

std::vector<Notice> HostWindow::Notices() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_notices;
}

bool HostWindow::WaitFor(int id, Notice* notice) {
    return shelftest::WaitUntil([&] {
        for (const Notice& n : Notices())
            if (n.id == id) {
                if (notice)
                    *notice = n;
                return true;
            }
        return false;
    });
}

int HostWindow::WaitCreateResult() {
    int code = 1;
    shelftest::WaitUntil([&] {
        for (const Notice& n : Notices())
            if (n.id == WM_VEXIL_CREATE_DONE || n.id == WM_VEXIL_CREATE_ERROR)
                code = n.id == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(n.wParam);
        return code != 1;
    });
    return code;
}

LRESULT HostWindow::OnCtrlMessage(IControlBase*, int id, WPARAM wParam, LPARAM lParam) {
    Notice notice;
    notice.id = id;
    notice.wParam = wParam;
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
    m_path = (std::filesystem::temp_directory_path() /
              (L"vexilkernel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount())))
                 .wstring() +
             L"\\";
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& text) {
    const std::filesystem::path path = std::filesystem::path(m_path) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path.wstring();
}

BOOK_ITEM Book(int id, const std::string& title, const std::string& author) {
    BOOK_ITEM item;
    item.bookInfo.bValid = true;
    item.bookInfo.strAppId = std::to_string(id);
    item.bookInfo.strText2 = title;
    item.bookInfo.strText6 = author;
    return item;
}

std::string ShelfPackage() {
    return "vexilskin 1\nwindow W size=600x400 title=\"Test window\"\n"
           "control button class=button rect=10,10,90,40 text=\"Go\"\n"
           "control bookmatrix class=bookmatrix rect=0,100,400,400\n"
           "control bookrackmanager class=bookrackmanager rect=0,0,600,30\n"
           "end\n";
}

} // namespace kerneltest

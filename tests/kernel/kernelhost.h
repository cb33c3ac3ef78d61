// What the reference kernel's tests stand on: the kernel DLL loaded from bin/, a host window on the
// test's own thread that records what its skin window tells it (posted messages arrive while the
// test waits), and package files in a temporary folder.
#pragma once

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <shelftest/library.h>
#include <shelftest/module.h>
#include <shelftest/wait.h>
#include <vexil/kernel.h>
#include <vexil/messages.h>
#include <vexilref/refprobe.h>

namespace kerneltest {

// VexilKernel.dll from the test program's own folder, unloaded on destruction.
struct KernelModule {
    template <class Entry> auto Call(const char* name) -> decltype(std::declval<Entry>()()) {
        const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return entry ? entry() : nullptr;
    }
    ~KernelModule() { FreeLibrary(module); }

    const std::wstring folder = shelftest::ExeFolder() + L"\\";
    const HMODULE module =
        LoadLibraryExW((folder + L"VexilKernel.dll").c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    IUiKernel* const kernel = module ? Call<PFN_GetUiKernelInterface>(VEXIL_KERNEL_ENTRY) : nullptr;
    IRefInspector* const inspector =
        module ? Call<PFN_GetRefKernelInspector>(VEXIL_REF_INSPECTOR_ENTRY) : nullptr;
};

// A notification of the skin window, or a WM_VEXIL_CREATE_* message (id = the message).
struct Notice {
    int id;
    WPARAM wParam;
};

// A plain host window of the test's thread; what reaches it lands in notices.
class HostWindow : public IControlMessage {
public:
    explicit HostWindow(DWORD style = WS_OVERLAPPEDWINDOW) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KernelTestHost";
        RegisterClassW(&wc); // once per process; later calls fail harmlessly
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", style, 0, 0, 1000, 600, nullptr, nullptr,
                                 wc.hInstance, this);
    }
    ~HostWindow() { DestroyWindow(m_hwnd); }
    HWND Hwnd() const { return m_hwnd; }

    // Builds a skin window on the host and makes the host its callback.
    ISkinWindow* Build(IUiKernel* kernel, const std::wstring& path, const wchar_t* name) {
        ISkinWindow* skin = kernel->CreateSkinWindow(m_hwnd, path.c_str(), name);
        if (skin)
            skin->SetCtrlMsgCallBack(this);
        return skin;
    }
    int Count(int id) const {
        return static_cast<int>(
            std::count_if(notices.begin(), notices.end(), [id](const Notice& n) { return n.id == id; }));
    }
    // The code of the WM_VEXIL_CREATE_DONE (0) or WM_VEXIL_CREATE_ERROR that arrived, or 1 when none did.
    int WaitCreateResult() {
        shelftest::WaitUntil([&] { return Count(WM_VEXIL_CREATE_DONE) + Count(WM_VEXIL_CREATE_ERROR) > 0; });
        for (const Notice& n : notices)
            if (n.id == WM_VEXIL_CREATE_DONE || n.id == WM_VEXIL_CREATE_ERROR)
                return n.id == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(n.wParam);
        return 1;
    }
    LRESULT OnCtrlMessage(IControlBase*, int id, WPARAM wParam, LPARAM) override {
        notices.push_back({id, wParam});
        if (onNotice)
            onNotice(id);
        return 0;
    }

    std::vector<Notice> notices;
    std::function<void(int id)> onNotice; // runs as each notification arrives

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(
                hwnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (host && (message == WM_VEXIL_CREATE_DONE || message == WM_VEXIL_CREATE_ERROR))
            host->notices.push_back({static_cast<int>(message), wParam});
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
};

// A folder under %TEMP%, removed with its files on destruction.
class TempFolder {
public:
    ~TempFolder() { shelftest::RemoveFolderTree(path); }
    // Writes text into the file (folders created) and returns its full path.
    std::wstring Write(const std::wstring& name, const std::string& text) const {
        const std::filesystem::path file = std::filesystem::path(path) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.wstring();
    }

    const std::wstring path = (std::filesystem::temp_directory_path() /
                               (L"vexilkernel-test-" + std::to_wstring(GetCurrentProcessId())))
                                  .wstring();
};

// A shelved book's tile record: the id as its strAppId, title and author as the matrix shows them.
inline BOOK_ITEM Book(int id, const std::string& title = "", const std::string& author = "") {
    BOOK_ITEM item;
    item.bookInfo.bValid = true;
    item.bookInfo.strAppId = std::to_string(id);
    item.bookInfo.strText2 = title;
    item.bookInfo.strText6 = author;
    return item;
}

template <class T> T* As(ISkinWindow* skin, const char* name) {
    return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
}

} // namespace kerneltest

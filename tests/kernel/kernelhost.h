// What the reference kernel's tests stand on: the kernel DLL loaded from bin/, a host window on the
// test's own thread that records what its skin window tells it (posted messages arrive while the
// test waits), and package files in a temporary folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <shelftest/library.h>
#include <shelftest/module.h>
#include <uiassist/scopedhandle.h>
#include <shelftest/wait.h>
#include <vexil/kernel.h>
#include <vexil/messages.h>
#include <vexilref/refprobe.h>

namespace kerneltest {

// VexilKernel.dll from the test program's own folder, unloaded on destruction.
struct KernelModule {
    template <class Entry> auto Call(const char* name) -> decltype(std::declval<Entry>()()) {
        const auto entry =
            reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
        return entry ? entry() : nullptr;
    }

    const std::wstring folder = shelftest::ExeFolder() + L"\\";
    const vexil::ScopedModule module{
        LoadLibraryExW((folder + L"VexilKernel.dll").c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)};
    IUiKernel* const kernel = module ? Call<PFN_GetUiKernelInterface>(VEXIL_KERNEL_ENTRY) : nullptr;
    IRefInspector* const inspector =
        module ? Call<PFN_GetRefKernelInspector>(VEXIL_REF_INSPECTOR_ENTRY) : nullptr;
};

// A plain host window of the test's thread: the outcome of building its skin window, and the ends of
// batch deletes its controls tell it.
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
    int WaitCreateResult() {
        shelftest::WaitUntil([&] { return createResult != kNoResult; });
        return createResult;
    }
    LRESULT OnCtrlMessage(IControlBase*, int id, WPARAM wParam, LPARAM) override {
        if (id == VEXIL_NOTIFY_BATCH_DELETE_END) {
            if (onBatchEnd)
                onBatchEnd();
            batchEnds.push_back(wParam);
        }
        return 0;
    }

    // 0 once WM_VEXIL_CREATE_DONE arrived, the code of a WM_VEXIL_CREATE_ERROR, kNoResult before.
    static constexpr int kNoResult = 1;
    int createResult = kNoResult;
    std::vector<WPARAM> batchEnds;    // the value of each VEXIL_NOTIFY_BATCH_DELETE_END so far
    std::function<void()> onBatchEnd; // runs as a batch end arrives, before it is counted
    int paints = 0;                   // WM_PAINT messages the host's own procedure got

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(
                hwnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (host && message == WM_VEXIL_CREATE_DONE)
            host->createResult = 0;
        if (host && message == WM_VEXIL_CREATE_ERROR)
            host->createResult = static_cast<int>(wParam);
        if (host && message == WM_PAINT)
            ++host->paints;
        if (message == WM_DPICHANGED) {
            // As a per-monitor host does: the window takes the rectangle the system suggests.
            const RECT& r = *reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
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

// What the reference kernel's tests stand on: the kernel DLL loaded from bin/, a host window on a
// thread of its own with a message loop that records what its skin window tells it, and skin files
// in a temporary folder.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vexil/kernel.h>
#include <vexil/messages.h>
#include <vexilref/refprobe.h>

namespace kerneltest {

// VexilKernel.dll from the test program's own folder, unloaded on destruction.
struct KernelModule {
    KernelModule();
    ~KernelModule();
    HMODULE module = nullptr;
    IUiKernel* kernel = nullptr;
    IRefInspector* inspector = nullptr;
    std::wstring folder; // with a trailing backslash
};

// One notification, or a WM_VEXIL_CREATE_* message (id = message, wParam = its wParam).
struct Notice {
    int id = 0;
    WPARAM wParam = 0;
    std::string bookId; // strAppId of the BOOK_INFO of open and delete notifications
    DWORD threadId = 0;
};

// A plain host window on its own thread; its skin window's notifications land in Notices().
class HostWindow : public IControlMessage {
public:
    explicit HostWindow(DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    ~HostWindow(); // destroys the window and ends the thread

    HWND Hwnd() const { return m_hwnd; }
    DWORD ThreadId() const { return m_threadId; }
    // Runs fn on the window's thread and returns when it has run.
    void Run(const std::function<void()>& fn);
    // Returns once every message posted to the window's thread before this call was handled.
    bool Flush();
    // Builds a skin window on the host (on its thread) and registers this host as its callback.
    ISkinWindow* Build(IUiKernel* kernel, const std::wstring& path, const std::wstring& name);

    std::vector<Notice> Notices();
    // Waits (bounded) until a notice with that id arrived; true when it did.
    bool WaitFor(int id, Notice* notice = nullptr);
    // The code of the WM_VEXIL_CREATE_DONE (0) or WM_VEXIL_CREATE_ERROR that arrived, or 1 after timeout.
    int WaitCreateResult();

    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;
    // Runs on the window's thread after each notification was recorded. Set before building.
    std::function<void(const Notice&)> onNotice;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(const Notice& notice);

    std::thread m_thread;
    HWND m_hwnd = nullptr;
    DWORD m_threadId = 0;
    std::mutex m_lock;
    std::vector<Notice> m_notices;
};

// A folder under %TEMP% removed with its files on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::wstring Write(const std::wstring& name, const std::string& text); // returns the full path
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path; // with a trailing backslash
};

// A shelved book's tile record: the id as its strAppId, title and author as the matrix shows them.
BOOK_ITEM Book(int id, const std::string& title = "", const std::string& author = "");
// A package of one window "W" (600x400) with a book matrix "bookmatrix", a manager "bookrackmanager"
// and a button "button".
std::string ShelfPackage();

template <class T> T* As(ISkinWindow* skin, const char* name) {
    return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
}

} // namespace kerneltest

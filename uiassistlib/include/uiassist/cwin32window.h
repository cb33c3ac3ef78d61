// The plain top-level window every window of a module derives from: one window class per module,
// creation on the calling thread or on a thread of its own that then runs the window's message loop,
// and virtual hooks for the messages the framework cares about.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "scopedhandle.h"

// Property set on every window of the class: the creation parameter.
#define VEXIL_WINDOW_PARAM_PROP L"vexilwindowparam"
// The window class every window of the module uses.
#define VEXIL_WINDOW_CLASS L"VexilWindow"
// Window text of every window of the class (the skin draws whatever caption the user sees).
#define VEXIL_WINDOW_TITLE L"Welcome Vexil"

class CWin32Window {
public:
    CWin32Window();
    // Posts WM_CLOSE and waits (bounded) for an own-thread window's thread; it does not destroy the
    // window synchronously, so an object must not be destroyed while its window still lives. If it
    // is, that is reported (diag.h) and the window is cut loose: its messages then go to the
    // default procedure, never to the freed object.
    virtual ~CWin32Window();
    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // Creates the window on a new thread that runs its message loop; returns once the window exists
    // (or could not be made: the thread then ends). title may be null (keeps the current title).
    // Both create operations return false while the object still has a window.
    virtual bool CreateInNewThread(HWND parent, RECT rect, const wchar_t* title, int showCmd, DWORD style,
                                   LPARAM param);
    // Creates the window on the calling thread, which must run a message loop for it.
    virtual bool CreateInCurrentThread(HWND parent, RECT rect, const wchar_t* title, int showCmd, DWORD style,
                                       LPARAM param);
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnClose() {}
    virtual void OnKeyDown(WPARAM, LPARAM) {}
    virtual void OnSysCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnCreate() {}
    virtual void OnTimer(UINT_PTR) {}
    virtual void OnDestroy();
    virtual void OnKillFocus() {}
    virtual void OnSetFocus() {}
    virtual void OnSize(WPARAM, int, int) {}
    virtual void OnEnterSizeMove() {}
    virtual void OnExitSizeMove() {}
    virtual bool OnEraseBkgnd(HDC) { return true; }
    virtual void OnPaint(HDC) {}
    virtual bool PreTranslateMessage(MSG msg);
    virtual void OnShowWindow(bool, LPARAM) {}
    virtual bool CreateWin32Window();

    HWND GetWindowHandle() const { return m_hWnd.load(); }
    bool IsWindow() const;
    RECT GetLocalRect() const;
    static RECT GetWorkArea();
    void CenterWindow(bool repaint);
    void MoveWindow(int left, int top, int right, int bottom, bool repaint);
    void ShowWindow(int showCmd);
    void RedrawWindow(const RECT* rect = nullptr);
    void SetTimer(UINT_PTR id, UINT periodMs);
    void KillTimer(UINT_PTR id);
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool PostMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void SetHwnd(HWND hwnd) { m_hWnd.store(hwnd); }
    // Posts WM_CLOSE. With wait, for an own-thread window called from another thread: waits for the
    // window thread to end (delivering messages sent to the waiting thread meanwhile), at most 5 s,
    // then terminates it; the thread handle is closed once the thread has ended. Without wait, or on
    // the window thread itself, the handle is kept so that a later close can still wait.
    void CloseWin32Window(bool wait);

    // Id of the thread that runs an own-thread window's loop; 0 otherwise.
    DWORD GetThreadId() const { return m_dwThreadId.load(); }
    // Unregisters the window class this module registered. Call when the module unloads, after its
    // windows are gone; false when nothing was registered or windows of the class still exist.
    static bool UnregisterWindowClass();

protected:
    static bool HasWindow(HWND hwnd) { return hwnd != nullptr && hwnd != INVALID_HANDLE_VALUE; }
    // Registers the window class under this module (at most once per module in effect).
    static bool RegisterWindowClass();
    // CreateWindowExW with the stored arguments under this module, checks that the window is bound
    // to this object and sets the creation-parameter property. No OnCreate, no ShowWindow. False
    // (and no window) on failure.
    bool CreateBoundWindow();

    std::atomic<bool> m_bOwnThread{false};
    std::atomic<HWND> m_hWnd{nullptr};
    std::wstring m_strTitle;
    HWND m_hParent = nullptr;
    LPARAM m_lParam = 0;
    DWORD m_dwStyle = 0;
    vexil::ScopedHandle m_hStartEvent;
    vexil::ScopedHandle m_hThread;
    std::atomic<DWORD> m_dwThreadId{0};
    RECT m_rect = {};
    int m_nShowCmd = SW_SHOW;
    wchar_t m_szClassName[MAX_PATH] = {};

private:
    static LRESULT CALLBACK SharedWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI WindowThreadProc(void* param);
    void StoreCreateArgs(bool ownThread, HWND parent, const RECT& rect, const wchar_t* title, int showCmd,
                         DWORD style, LPARAM param);
};

namespace vexil {
// Waits for handle up to timeoutMs while still delivering messages sent to the calling thread, so a
// thread that is inside SendMessage to this thread can finish. Returns the wait result
// (WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED). Posted messages are left in the queue.
DWORD WaitDeliveringSent(HANDLE handle, DWORD timeoutMs);
} // namespace vexil

// The plain top-level window every window of a module derives from: one window class per module,
// creation on the calling thread or on a thread of its own that then runs the window's message loop,
// and virtual hooks for the messages the framework cares about.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "diag.h"
#include "scopedhandle.h"
#include "threadutil.h"
#include "winutil.h"

// Property set on every window of the class: the creation parameter.
#define VEXIL_WINDOW_PARAM_PROP L"vexilwindowparam"
// The window class every window of the module uses.
#define VEXIL_WINDOW_CLASS L"VexilWindow"
// Window text of every window of the class (the skin draws whatever caption the user sees).
#define VEXIL_WINDOW_TITLE L"Welcome Vexil"

// First line of a member function that belongs to the window's thread (the thread that created the
// object's current window): checked builds report a call from any other thread. The window base
// checks every message and every control notification this way; derived windows add it to the
// members that only their window thread may call.
#define VEXIL_ASSERT_WINDOW_THREAD() VEXIL_ASSERT_THREAD(CalledOnWindowThread())

class CWin32Window {
public:
    CWin32Window();
    // Posts WM_CLOSE and waits until an own-thread window's thread has left this object; it does not
    // destroy the window synchronously, so an object must not be destroyed while its window still
    // lives. If it is, that is reported (diag.h) and the window is cut loose: its messages then go
    // to the default procedure, never to the freed object.
    virtual ~CWin32Window();
    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // Creates the window on a new thread that runs its message loop; returns once the window exists
    // (or could not be made: the thread then ends). title may be null (keeps the current title).
    // The thread of an earlier window is waited for first, however long it takes to end. The new
    // thread holds a reference to this module until its last instruction.
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
    // Own-thread windows: called on the window's thread once its message loop has ended (or when no
    // window could be made), before the thread leaves this object. The place to join the threads the
    // window started.
    virtual void OnThreadEnding() {}
    // Own-thread windows: the thread's last call on this object, after OnThreadEnding and after the
    // thread left its COM apartment. The place to let go of the modules the window's code ran in, so
    // that nothing is left to free when this module is unloaded (under the loader lock).
    virtual void OnThreadExit() {}

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
    // Posts WM_CLOSE; when the thread's queue is full, sends it instead (on the window's own thread,
    // a timer closes the window once the loop comes round), so the window goes either way. With wait, for an
    // own-thread window called from another thread: waits for the window thread to end, however long that
    // takes, delivering the messages sent to the waiting thread meanwhile (the window thread may be sending
    // to it). On the window thread itself it never waits: the thread ends on its own once the window is gone.
    void CloseWin32Window(bool wait);

    // The thread that created the object's current (or latest) window: the one thread that runs its
    // messages and its controls; 0 before the first window.
    DWORD WindowThreadId() const { return m_dwWindowThread.load(); }
    bool CalledOnWindowThread() const { return WindowThreadId() == ::GetCurrentThreadId(); }
    // Unregisters the window class this module registered. Call when the module unloads, after its
    // windows are gone; false when nothing was registered or windows of the class still exist.
    static bool UnregisterWindowClass();

protected:
    static bool HasWindow(HWND hwnd) { return vexil::HasWindow(hwnd); }
    // Registers the window class under this module (at most once per module in effect).
    static bool RegisterWindowClass();
    // CreateWindowExW with the stored arguments under this module, checks that the window is bound
    // to this object and sets the creation-parameter property. No OnCreate, no ShowWindow. False
    // (and no window) on failure.
    bool CreateBoundWindow();
    // A handle of its own to the own thread (empty without one), and optionally to its left event.
    vexil::ScopedHandle OwnThreadHandle(vexil::ScopedHandle* left = nullptr) const;
    // Waits (delivering sent messages) until an own-thread window's thread has left this object or
    // is gone; returns at once on that thread itself, and without any call when the thread has
    // already left (the case of every destructor that runs while the module unloads).
    void WaitUntilThreadLeft();
    // True when no own thread is working on this object: none was started, or it made its last touch.
    bool ThreadHasLeft() const { return m_bThreadLeft.load(); }
    // Waits (delivering sent messages) until the thread of an earlier window of this object has
    // ended; returns at once on that thread itself.
    void WaitForPreviousThread();

    std::atomic<bool> m_bOwnThread{false};
    std::atomic<HWND> m_hWnd{nullptr};
    std::wstring m_strTitle;
    HWND m_hParent = nullptr;
    LPARAM m_lParam = 0;
    DWORD m_dwStyle = 0;
    vexil::ScopedHandle m_hStartEvent;
    // Who settled an own-thread creation first: the new thread with its result (a window made, or
    // none), or the creator that stopped waiting for it.
    enum StartState { kStartPending, kStartMade, kStartFailed, kStartAbandoned };
    std::atomic<int> m_startState{kStartPending};
    // The own thread and the event it sets when it has left this object. Replaced by a creation while
    // other threads may be closing: read and written under m_threadLock.
    vexil::ScopedHandle m_hThread;
    vexil::ScopedHandle m_hThreadLeft;
    // Cleared when an own thread starts; set by that thread as its last touch of this object.
    std::atomic<bool> m_bThreadLeft{true};
    // Set by CreateBoundWindow on the thread that makes the window.
    std::atomic<DWORD> m_dwWindowThread{0};
    RECT m_rect = {};
    int m_nShowCmd = SW_SHOW;
    wchar_t m_szClassName[MAX_PATH] = {};

private:
    static LRESULT CALLBACK SharedWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI WindowThreadProc(void* param);
    // The creator's half of CreateInNewThread once the thread runs: waits (delivering sent messages)
    // until the thread reports its window, for at most the start limit.
    bool WaitForWindowThreadStart();
    // The own thread's message loop, until WM_QUIT.
    void RunMessageLoop();
    void StoreCreateArgs(bool ownThread, HWND parent, const RECT& rect, const wchar_t* title, int showCmd,
                         DWORD style, LPARAM param);
    mutable SRWLOCK m_threadLock = SRWLOCK_INIT;
};

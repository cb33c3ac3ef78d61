// Small helpers every component of the module uses: handle and window checks that are written once.
// Any thread.
#pragma once

#include <windows.h>

namespace vexil {

// True for a handle that names something: neither null nor INVALID_HANDLE_VALUE.
inline bool IsValidHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// True for a window handle that names something (it may have been destroyed since).
inline bool HasWindow(HWND hwnd) { return IsValidHandle(hwnd); }

// True when hwnd is a live window whose messages this thread runs.
inline bool IsWindowOfThisThread(HWND hwnd) {
    return HasWindow(hwnd) && ::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId();
}

// True when hwnd has the WS_MINIMIZE style (a null handle is not minimized).
inline bool IsMinimizedWindow(HWND hwnd) {
    return HasWindow(hwnd) && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_MINIMIZE) != 0;
}

inline int RectWidth(const RECT& rc) { return rc.right - rc.left; }
inline int RectHeight(const RECT& rc) { return rc.bottom - rc.top; }

// Slim reader/writer lock holders.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ::ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace vexil

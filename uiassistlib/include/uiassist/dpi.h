// Display scale: which DPI a window is drawn at, and sizes given in 96-DPI units scaled to it. Any
// thread; header only, so that the kernel and the module share it without another library.
#pragma once

#include <windows.h>

#include "scopedhandle.h"

namespace vexil {

// The DPI that sizes in the design and the skin are given in.
constexpr UINT kDesignDpi = 96;

// A size in 96-DPI units at that DPI, rounded to the nearest pixel.
inline int ScaleToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), kDesignDpi); }

namespace dpidetail {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetWindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
using GetAwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)();
using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

// Windows 10's per-window and per-thread DPI calls, looked up once; null where the system lacks them.
struct Entries {
    GetDpiForWindowFn dpiForWindow;
    GetWindowContextFn windowContext;
    GetAwarenessFn awareness;
    GetThreadContextFn threadContext;
    SetThreadContextFn setThreadContext;
};

inline const Entries& Find() {
    static const Entries entries = [] {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const auto find = [user32](const char* name) {
            return user32 ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : nullptr;
        };
        return Entries{reinterpret_cast<GetDpiForWindowFn>(find("GetDpiForWindow")),
                       reinterpret_cast<GetWindowContextFn>(find("GetWindowDpiAwarenessContext")),
                       reinterpret_cast<GetAwarenessFn>(find("GetAwarenessFromDpiAwarenessContext")),
                       reinterpret_cast<GetThreadContextFn>(find("GetThreadDpiAwarenessContext")),
                       reinterpret_cast<SetThreadContextFn>(find("SetThreadDpiAwarenessContext"))};
    }();
    return entries;
}

// The screen's DPI as the calling thread sees it (96 for an unaware thread on Windows).
inline UINT ScreenDpi() {
    const vexil::ScopedWindowDC screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

} // namespace dpidetail

// The DPI the window is drawn at. A window of a DPI-unaware thread gets 96: the system scales what it
// draws. Without Windows 10's per-window calls the screen's DPI counts for a DPI-aware process, 96 for
// an unaware one.
inline UINT WindowDpi(HWND hwnd) {
    const dpidetail::Entries& entries = dpidetail::Find();
    if (entries.dpiForWindow && entries.windowContext && entries.awareness) {
        const DPI_AWARENESS_CONTEXT context = entries.windowContext(hwnd);
        if (!context || entries.awareness(context) == DPI_AWARENESS_UNAWARE)
            return kDesignDpi;
        const UINT dpi = entries.dpiForWindow(hwnd);
        return dpi ? dpi : kDesignDpi;
    }
    return IsProcessDPIAware() ? dpidetail::ScreenDpi() : kDesignDpi;
}

// The DPI a window the calling thread makes now will be drawn at (on its primary screen).
inline UINT ThreadDpi() {
    const dpidetail::Entries& entries = dpidetail::Find();
    if (entries.threadContext && entries.awareness) {
        const DPI_AWARENESS_CONTEXT context = entries.threadContext();
        if (!context || entries.awareness(context) == DPI_AWARENESS_UNAWARE)
            return kDesignDpi;
        return dpidetail::ScreenDpi();
    }
    return IsProcessDPIAware() ? dpidetail::ScreenDpi() : kDesignDpi;
}

// The calling thread's DPI awareness, to be handed to another thread; null where the system has no
// per-thread awareness.
inline DPI_AWARENESS_CONTEXT ThreadDpiContext() {
    const dpidetail::Entries& entries = dpidetail::Find();
    return entries.threadContext ? entries.threadContext() : nullptr;
}

// Gives the calling thread that awareness (from ThreadDpiContext; null changes nothing).
inline void UseThreadDpiContext(DPI_AWARENESS_CONTEXT context) {
    const dpidetail::Entries& entries = dpidetail::Find();
    if (context && entries.setThreadContext)
        entries.setThreadContext(context);
}

} // namespace vexil

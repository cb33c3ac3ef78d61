// Display scale: which DPI a window is drawn at, and sizes given in 96-DPI units scaled to it. Any
// thread; header only, so that the kernel and the module share it without another library.
#pragma once

#include <windows.h>

namespace vexil {

// The DPI that sizes in the design and the skin are given in.
constexpr UINT kDesignDpi = 96;

// A size in 96-DPI units at that DPI, rounded to the nearest pixel.
inline int ScaleToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), kDesignDpi); }

// The DPI the window is drawn at. A window of a DPI-unaware thread gets 96: the system scales what it
// draws. Windows 10's per-window calls are looked up at run time; without them the screen's DPI
// counts for a DPI-aware process, 96 for an unaware one. Under Wine an unaware window reports the
// screen's DPI, hence the awareness check before the DPI.
inline UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetWindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
    using GetAwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
    struct Entries {
        GetDpiForWindowFn dpiForWindow;
        GetWindowContextFn windowContext;
        GetAwarenessFn awareness;
    };
    static const Entries entries = [] {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const auto find = [user32](const char* name) {
            return user32 ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : nullptr;
        };
        return Entries{reinterpret_cast<GetDpiForWindowFn>(find("GetDpiForWindow")),
                       reinterpret_cast<GetWindowContextFn>(find("GetWindowDpiAwarenessContext")),
                       reinterpret_cast<GetAwarenessFn>(find("GetAwarenessFromDpiAwarenessContext"))};
    }();
    if (entries.dpiForWindow && entries.windowContext && entries.awareness) {
        const DPI_AWARENESS_CONTEXT context = entries.windowContext(hwnd);
        if (!context || entries.awareness(context) == DPI_AWARENESS_UNAWARE)
            return kDesignDpi;
        const UINT dpi = entries.dpiForWindow(hwnd);
        return dpi ? dpi : kDesignDpi;
    }
    if (!IsProcessDPIAware())
        return kDesignDpi;
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

} // namespace vexil

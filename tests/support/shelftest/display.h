// Display scale in tests: the DPI a test was started at, and windows of a DPI-aware thread.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <cstdlib>

namespace shelftest {

// The DPI the test run asks for: KELVO_TEST_DPI (set with the harness's --dpi runs), else 96.
inline UINT RequestedDpi() {
    const char* value = std::getenv("KELVO_TEST_DPI");
    const int dpi = value ? std::atoi(value) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// While it lives, windows the calling thread makes have that DPI awareness (per monitor by default,
// as a host that declares itself so; DPI_AWARENESS_CONTEXT_UNAWARE as a host that does not), then the
// thread's awareness is put back. Active() is false on a system without per-thread awareness. Wine
// makes every process per-monitor aware unless it says otherwise.
class ThreadDpiAwareness {
public:
    explicit ThreadDpiAwareness(DPI_AWARENESS_CONTEXT context = DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE) {
        if (m_set)
            m_previous = m_set(context);
    }
    ~ThreadDpiAwareness() {
        if (m_previous)
            m_set(m_previous);
    }
    ThreadDpiAwareness(const ThreadDpiAwareness&) = delete;
    ThreadDpiAwareness& operator=(const ThreadDpiAwareness&) = delete;
    bool Active() const { return m_previous != nullptr; }

private:
    using SetContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const SetContextFn m_set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    DPI_AWARENESS_CONTEXT m_previous = nullptr;
};

// The screen's DPI as a DPI-aware thread sees it.
inline UINT ScreenDpi() {
    ThreadDpiAwareness aware;
    const vexil::ScopedWindowDC screen(nullptr);
    return static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSY));
}

} // namespace shelftest

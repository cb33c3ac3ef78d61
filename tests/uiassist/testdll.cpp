// uiassist_testdll: a module of its own that links uiassistlib, so that tests can load and unload a
// second module of the process that registers the window class under its own instance.
#include <uiassist/cwin32window.h>

#include "testdll.h"

#include <atomic>

namespace {

class DllWindow : public CWin32Window {
public:
    std::atomic<DWORD> probeThread{0};

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != kTestDllProbeMessage)
            return CWin32Window::WindowProc(msg, wParam, lParam);
        probeThread = GetCurrentThreadId();
        return 1;
    }
};

} // namespace

extern "C" __declspec(dllexport) bool __cdecl UiAssistTestDll_RoundTrip() {
    try {
        DllWindow window;
        if (!window.CreateInNewThread(nullptr, RECT{10, 10, 210, 160}, L"testdll", SW_HIDE, WS_POPUP, 0))
            return false;
        const DWORD windowThread = window.GetThreadId();
        const bool routed = window.SendMessage(kTestDllProbeMessage, 0, 0) == 1 &&
                            window.probeThread.load() == windowThread && windowThread != 0;
        window.CloseWin32Window(true);
        return routed && window.GetWindowHandle() == nullptr;
    } catch (...) {
        return false;
    }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Unloaded by FreeLibrary: the window procedure goes with the module, so its class goes too.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        CWin32Window::UnregisterWindowClass();
    return TRUE;
}

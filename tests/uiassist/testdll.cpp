// uiassist_testdll: a module of its own that links uiassistlib, so that tests can load and unload a
// second module of the process that registers the window class under its own instance.
#include <uiassist/cwin32window.h>
#include <uiassist/diag.h>

#include "testdll.h"

#include <atomic>

namespace {

constexpr LRESULT kProbeAnswer = 0x5151;

class DllWindow : public CWin32Window {
public:
    std::atomic<DWORD> probeThread{0};

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kTestDllProbeMessage) {
            probeThread = GetCurrentThreadId();
            return kProbeAnswer;
        }
        return CWin32Window::WindowProc(msg, wParam, lParam);
    }
};

} // namespace

extern "C" __declspec(dllexport) int __cdecl UiAssistTestDll_RoundTrip() {
    try {
        DllWindow window;
        const RECT rect = {10, 10, 210, 160};
        if (!window.CreateInNewThread(nullptr, rect, L"testdll", SW_HIDE, WS_POPUP, 0))
            return kTestDllNotCreated;
        const DWORD windowThread = window.GetThreadId();
        const LRESULT answer = window.SendMessage(kTestDllProbeMessage, 0, 0);
        window.CloseWin32Window(true);
        if (answer != kProbeAnswer || window.probeThread.load() != windowThread || windowThread == 0)
            return kTestDllNotRouted;
        if (window.GetWindowHandle() != nullptr)
            return kTestDllNotClosed;
        return kTestDllOk;
    } catch (...) {
        return kTestDllNotCreated;
    }
}

extern "C" __declspec(dllexport) void __cdecl UiAssistTestDll_Report() {
    vexil::ReportBrokenInvariant(__FILE__, __LINE__, "reported by the test module");
}

extern "C" __declspec(dllexport) long __cdecl UiAssistTestDll_DiagnosticCount() {
    return vexil::DiagnosticCount();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Unloaded by FreeLibrary: the window procedure goes with the module, so its class goes too.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        CWin32Window::UnregisterWindowClass();
    return TRUE;
}

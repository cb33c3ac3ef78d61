// uiassist_testdll: a module of its own that links uiassistlib, so that tests can load and unload a
// second module of the process that registers the window class under its own instance.
#include <uiassist/cwin32window.h>

// Creates a window on a thread of its own and closes it again, waiting for its thread: true when
// both worked (creation checks that the window reached its object through this module's table).
extern "C" __declspec(dllexport) bool __cdecl UiAssistTestDll_RoundTrip() {
    try {
        CWin32Window window;
        if (!window.CreateInNewThread(nullptr, RECT{10, 10, 210, 160}, L"testdll", SW_HIDE, WS_POPUP, 0))
            return false;
        window.CloseWin32Window(true);
        return window.GetWindowHandle() == nullptr;
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

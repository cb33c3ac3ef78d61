// The module's entry points: the one export and the unload clean-up.
#include <windows.h>

#include "bookrackwindowimpl.h"

extern "C" __declspec(dllexport) CBookrackWindow* __cdecl GetBookrackWindow() {
    try {
        return CBookrackWindowImpl::Instance();
    } catch (...) {
        return nullptr;
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    // Thread notices stay on: the statically linked runtime frees what it keeps per thread when a
    // thread that used the module ends.
    (void)instance;
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary (not process exit): the window procedure goes with the module,
        // so its class must go too.
        CWin32Window::UnregisterWindowClass();
    }
    return TRUE;
}

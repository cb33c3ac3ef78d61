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
    // Unloaded by FreeLibrary (at process exit nothing needs giving back). Every thread of the module
    // has ended by now, since each holds a reference to it: the object has nothing left to wait
    // for, write or free. The window procedure goes with the module, so its class goes too.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        CBookrackWindowImpl::ReleaseInstance();
        CWin32Window::UnregisterWindowClass();
    }
    return TRUE;
}

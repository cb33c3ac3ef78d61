// Thread start, module references and waits that deliver sent messages. Any thread.
#include <uiassist/threadutil.h>

#include <uiassist/scopedhandle.h>
#include <uiassist/winutil.h>

#include <new>

namespace {

// What StartModuleThread hands its thread.
struct ModuleThreadStart {
    LPTHREAD_START_ROUTINE proc;
    void* param;
    HMODULE pin;
    const wchar_t* name;
};

using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

void NameThisThread(const wchar_t* name) {
    static const auto setDescription = reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription != nullptr && name != nullptr)
        setDescription(GetCurrentThread(), name);
}

DWORD WINAPI ModuleThreadProc(void* param) {
    const ModuleThreadStart start = *static_cast<ModuleThreadStart*>(param);
    delete static_cast<ModuleThreadStart*>(param);
    NameThisThread(start.name);
    const DWORD code = start.proc(start.param);
    if (start.pin != nullptr)
        FreeLibraryAndExitThread(start.pin, code);
    return code;
}

} // namespace

namespace vexil {

DWORD WaitAnyDeliveringSent(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= timeoutMs)
                return WaitForMultipleObjects(count, handles, FALSE, 0);
            remaining = static_cast<DWORD>(timeoutMs - elapsed);
        }
        const DWORD result =
            MsgWaitForMultipleObjectsEx(count, handles, remaining, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + count) {
            // Delivers the messages other threads are sending to this one; posted ones stay queued.
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        return result;
    }
}

DWORD WaitDeliveringSent(HANDLE handle, DWORD timeoutMs) {
    return WaitAnyDeliveringSent(1, &handle, timeoutMs);
}

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, void* param, const wchar_t* name) {
    // A reference to the module holding this code; none when that is the program itself, which
    // cannot be unloaded under the thread.
    vexil::ScopedModule pin;
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&ModuleThreadProc), &module))
        pin.reset(module);
    if (pin.get() == GetModuleHandleW(nullptr))
        pin.reset();
    auto* start = new (std::nothrow) ModuleThreadStart{proc, param, pin.get(), name};
    HANDLE thread = start ? CreateThread(nullptr, 0, &ModuleThreadProc, start, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        delete start;
        return nullptr;
    }
    // The thread lets go of the reference with its last instruction.
    pin.release();
    return thread;
}

bool IsAnotherThread(HANDLE thread) {
    return IsValidHandle(thread) && ::GetThreadId(thread) != ::GetCurrentThreadId();
}

HANDLE DuplicateOf(HANDLE handle) {
    HANDLE copy = nullptr;
    if (IsValidHandle(handle) && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0,
                                                  FALSE, DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    return copy;
}

} // namespace vexil

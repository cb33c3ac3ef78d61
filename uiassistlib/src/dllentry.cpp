// The entry point of every DLL the project builds. The DLLs link the C++ runtime and winpthreads
// statically, and that runtime keeps a record per thread that touched it (on i686 the loading
// thread always does: registering the module's unwind tables at load takes a winpthreads lock),
// holding an event and a duplicate of the thread's handle. The runtime frees a thread's record
// when the thread ends, but not when the module is unloaded while the thread lives on, so every
// load and unload by a long-lived host thread left two handles behind. After the runtime's own
// unload clean-up, the unloading thread leaves the module the way an ending thread would.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

namespace {

// Gives this module's thread-local-storage callbacks (the runtime's, winpthreads') the detach
// notice of the current thread. The headers are read through the module handle the loader passed
// (the mapped image), not through the linker's __ImageBase, which C++ sees as a lone 64-byte DOS
// header: the NT headers lie beyond it.
void DetachCurrentThreadFromRuntime(HANDLE instance) {
    auto* base = static_cast<BYTE*>(instance);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (directory.VirtualAddress == 0)
        return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + directory.VirtualAddress);
    for (auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
         callback != nullptr && *callback != nullptr; ++callback)
        (*callback)(base, DLL_THREAD_DETACH, nullptr);
}

} // namespace

// Named as the entry by the link (kelvo_dll in cmake/KelvoBuildFlags.cmake).
extern "C" BOOL WINAPI KelvoDllEntry(HANDLE instance, DWORD reason, LPVOID reserved) {
    const BOOL result = DllMainCRTStartup(instance, reason, reserved);
    // reserved is null when FreeLibrary unloads the module; at process exit nothing is left to free.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        DetachCurrentThreadFromRuntime(instance);
    return result;
}

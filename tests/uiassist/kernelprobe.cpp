// uiassist_kernelprobe: started by the kernel-search tests from a folder of their choosing.
//   uiassist_kernelprobe plain               loads "VexilKernel.dll" the naive way (LoadLibraryW);
//   uiassist_kernelprobe vexil <skin package> builds window "Main" of the package with CVexilWindow.
// Exits with a KernelProbeExit code that tells where the kernel module came from.
#include <uiassist/cvexilwindow.h>

#include <string>

#include "kernelprobe.h"

namespace {

constexpr wchar_t kKernelName[] = L"VexilKernel.dll";

int WhereFrom() {
    const HMODULE kernel = GetModuleHandleW(kKernelName);
    if (!kernel)
        return kProbeNoKernel;
    wchar_t probe[MAX_PATH] = {}, loaded[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, probe, MAX_PATH);
    GetModuleFileNameW(kernel, loaded, MAX_PATH);
    const std::wstring folder(probe, wcsrchr(probe, L'\\') + 1);
    return CompareStringOrdinal((folder + kKernelName).c_str(), -1, loaded, -1, TRUE) == CSTR_EQUAL
               ? kProbeKernelBeside
               : kProbeKernelElsewhere;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"plain") {
        LoadLibraryW(kKernelName);
        return WhereFrom();
    }
    if (mode != L"vexil" || argc < 3)
        return kProbeUsage;
    CVexilWindow window;
    const bool created =
        window.CreateVexilWindow(kKernelName, argv[2], L"Main", nullptr, RECT{}, SW_HIDE, WS_POPUP, 0, true);
    const int from = WhereFrom();
    window.CloseWin32Window(true);
    return from != kProbeNoKernel && !created ? kProbeNotCreated : from;
}

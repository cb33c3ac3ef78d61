// uiassist_kernelprobe: started by the kernel-search tests from a folder of their choosing.
//   uiassist_kernelprobe plain <report file>
//       loads "VexilKernel.dll" the naive way (LoadLibraryW with the bare name);
//   uiassist_kernelprobe vexil <report file> <skin package>
//       builds window "Main" of the package with CVexilWindow and the bare kernel name.
// Writes the full path of the kernel module it ended up with (nothing when none) to the report
// file, and exits with a KernelProbeExit code.
#include <uiassist/cvexilwindow.h>

#include <cstdio>
#include <string>

#include "kernelprobe.h"

namespace {

constexpr wchar_t kKernelName[] = L"VexilKernel.dll";

void WriteReport(const wchar_t* reportPath) {
    std::wstring loaded;
    if (HMODULE kernel = GetModuleHandleW(kKernelName)) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(kernel, path, MAX_PATH);
        loaded = path;
    }
    if (FILE* report = _wfopen(reportPath, L"wb")) {
        fwrite(loaded.data(), sizeof(wchar_t), loaded.size(), report);
        fclose(report);
    }
}

int Run(int argc, wchar_t** argv) {
    if (argc < 3)
        return kProbeUsage;
    const std::wstring mode = argv[1];
    if (mode == L"plain") {
        const HMODULE kernel = LoadLibraryW(kKernelName);
        WriteReport(argv[2]);
        return kernel ? kProbeKernelLoaded : kProbeNoKernel;
    }
    if (mode == L"vexil" && argc >= 4) {
        CVexilWindow window;
        const bool created = window.CreateVexilWindow(kKernelName, argv[3], L"Main", nullptr, RECT{}, SW_HIDE,
                                                      WS_POPUP, 0, true);
        WriteReport(argv[2]);
        const bool loaded = GetModuleHandleW(kKernelName) != nullptr;
        window.CloseWin32Window(true);
        if (!loaded)
            return kProbeNoKernel;
        return created ? kProbeKernelLoaded : kProbeNotCreated;
    }
    return kProbeUsage;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        return kProbeUsage;
    }
}

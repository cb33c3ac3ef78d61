// Exit codes of uiassist_kernelprobe.
#pragma once

enum KernelProbeExit : int {
    kProbeKernelLoaded = 0, // a kernel module was loaded (and, for "vexil", the window was built)
    kProbeNoKernel = 2,     // no kernel module was loaded
    kProbeNotCreated = 3,   // "vexil": the kernel was loaded but the window was not built
    kProbeUsage = 4,
};

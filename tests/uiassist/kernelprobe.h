// Exit codes of uiassist_kernelprobe.
#pragma once

enum KernelProbeExit : int {
    kProbeKernelBeside = 0,    // the kernel module was loaded from the probe's own folder
    kProbeKernelElsewhere = 1, // a kernel module was loaded from another folder
    kProbeNoKernel = 2,        // no kernel module was loaded
    kProbeNotCreated = 3,      // "vexil": the kernel was loaded but the window was not built
    kProbeUsage = 4,
};

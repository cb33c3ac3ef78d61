// Where the framework host window takes the kernel module from: beside the module or from the places
// the system and the host trust, never from the current directory or PATH. Each case runs a probe
// program copied into a folder of its own, once loading the kernel the naive way (which proves a
// planted copy is within reach) and once through CVexilWindow.
#include <gtest/gtest.h>

#include <uiassist/scopedhandle.h>

#include "kernelprobe.h"
#include "uiassisttest.h"

namespace {

using uiassisttest::BesideExe;
using uiassisttest::kKernelName;

// Runs the probe in mode with folder "cwd" of root as its current directory and, when given,
// pathFolder put first on its PATH (this process's own PATH is put back at once). Its exit code, or ~0
// when it did not start or end in time.
DWORD RunProbe(const shelftest::TempFolder& root, const wchar_t* mode, const wchar_t* pathFolder) {
    const std::wstring probe = root.File(L"app\\uiassist_kernelprobe.exe"), cwd = root.File(L"cwd\\");
    std::wstring commandLine = L"\"" + probe + L"\" " + mode + L" \"" + root.File(L"skin\\test.vxs") + L"\"";
    std::wstring oldPath(32768, L'\0');
    oldPath.resize(GetEnvironmentVariableW(L"PATH", &oldPath[0], static_cast<DWORD>(oldPath.size())));
    if (pathFolder)
        SetEnvironmentVariableW(L"PATH", (root.File(pathFolder) + L";" + oldPath).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const bool started = CreateProcessW(probe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        cwd.c_str(), &startup, &info) != FALSE;
    SetEnvironmentVariableW(L"PATH", oldPath.c_str());
    EXPECT_TRUE(started) << "error " << GetLastError();
    DWORD exitCode = ~0u;
    if (!started)
        return exitCode;
    const vexil::ScopedHandle thread(info.hThread), process(info.hProcess);
    if (WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &exitCode);
    else
        TerminateProcess(process.get(), 99);
    return exitCode;
}

TEST(KernelSearch, AKernelPlantedInTheCurrentDirectoryOrOnPathIsNeverLoaded) {
    shelftest::TempFolder root{L"uiassist_"};
    ASSERT_TRUE(CopyFileW(BesideExe(L"uiassist_kernelprobe.exe").c_str(),
                          root.File(L"app\\uiassist_kernelprobe.exe").c_str(), FALSE));
    root.Write(L"skin\\test.vxs", uiassisttest::kTestSkin);
    struct Case {
        const wchar_t* plantedIn;
        const wchar_t* onPath; // folder put first on PATH, or null
        bool besideToo;        // a kernel also beside the program: that one is taken
    };
    const Case cases[] = {{L"cwd", nullptr, false}, {L"onpath", L"onpath", false}, {L"cwd", nullptr, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.plantedIn) + (c.besideToo ? L", one beside the program too" : L""));
        const std::wstring planted = root.File(std::wstring(c.plantedIn) + L"\\" + kKernelName);
        const std::wstring beside = root.File(std::wstring(L"app\\") + kKernelName);
        ASSERT_TRUE(CopyFileW(BesideExe(kKernelName).c_str(), planted.c_str(), FALSE));
        ASSERT_TRUE(!c.besideToo || CopyFileW(BesideExe(kKernelName).c_str(), beside.c_str(), FALSE));
        // The naive way takes the planted copy, or the one beside the program when there is one.
        EXPECT_EQ(RunProbe(root, L"plain", c.onPath),
                  static_cast<DWORD>(c.besideToo ? kProbeKernelBeside : kProbeKernelElsewhere));
        EXPECT_EQ(RunProbe(root, L"vexil", c.onPath),
                  static_cast<DWORD>(c.besideToo ? kProbeKernelBeside : kProbeNoKernel));
        DeleteFileW(planted.c_str());
        DeleteFileW(beside.c_str());
    }
}

} // namespace

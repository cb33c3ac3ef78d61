// Where the framework host window takes the kernel module from: beside the module or from the places
// the system and the host trust, never from the current directory or PATH. Each case runs a probe
// program copied into a folder of its own, once loading the kernel the naive way (which proves a
// planted copy is within reach) and once through CVexilWindow.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "kernelprobe.h"
#include "uiassisttest.h"

namespace {

using uiassisttest::kKernelName;

struct ProbeRun {
    DWORD exitCode = ~0u;      // ~0: did not start or end in time
    std::wstring loadedKernel; // full path of the kernel module the probe had, or ""
};

class KernelSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_probe = m_root.File(L"app\\uiassist_kernelprobe.exe");
        ASSERT_TRUE(
            CopyFileW(uiassisttest::BesideExe(L"uiassist_kernelprobe.exe").c_str(), m_probe.c_str(), FALSE));
        m_skin = m_root.Write(L"skin\\test.vxs", uiassisttest::kTestSkin);
    }

    std::wstring Plant(const wchar_t* folder) {
        const std::wstring target = m_root.File(std::wstring(folder) + L"\\" + kKernelName);
        EXPECT_TRUE(CopyFileW(uiassisttest::BesideExe(kKernelName).c_str(), target.c_str(), FALSE));
        return target;
    }

    // Runs the probe in mode with folder "cwd" as its current directory and, when given, pathFolder
    // put first on its PATH (the child inherits it; this process's own PATH is put back at once).
    ProbeRun Run(const wchar_t* mode, const wchar_t* pathFolder) {
        ProbeRun run;
        const std::wstring report = m_root.File(L"report.txt"), cwd = m_root.File(L"cwd\\");
        DeleteFileW(report.c_str());
        std::wstring commandLine =
            L"\"" + m_probe + L"\" " + mode + L" \"" + report + L"\" \"" + m_skin + L"\"";
        std::wstring oldPath(32768, L'\0');
        oldPath.resize(GetEnvironmentVariableW(L"PATH", &oldPath[0], static_cast<DWORD>(oldPath.size())));
        if (pathFolder)
            SetEnvironmentVariableW(L"PATH", (m_root.File(pathFolder) + L";" + oldPath).c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        const bool started = CreateProcessW(m_probe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                            nullptr, cwd.c_str(), &startup, &info) != FALSE;
        if (pathFolder)
            SetEnvironmentVariableW(L"PATH", oldPath.c_str());
        EXPECT_TRUE(started) << "error " << GetLastError();
        if (!started)
            return run;
        CloseHandle(info.hThread);
        if (WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &run.exitCode);
        else
            TerminateProcess(info.hProcess, 99);
        CloseHandle(info.hProcess);
        std::ifstream in(std::filesystem::path(report), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        run.loadedKernel.assign(reinterpret_cast<const wchar_t*>(bytes.data()),
                                bytes.size() / sizeof(wchar_t));
        return run;
    }

    static bool SameFile(const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
    }

    uiassisttest::TempFolder m_root;
    std::wstring m_probe, m_skin;
};

TEST_F(KernelSearchTest, AKernelPlantedInTheCurrentDirectoryOrOnPathIsNeverLoaded) {
    struct Case {
        const wchar_t* plantedIn;
        const wchar_t* onPath; // folder put first on PATH, or null
        bool besideToo;        // a kernel also beside the program: that one is taken
    };
    const Case cases[] = {{L"cwd", nullptr, false}, {L"onpath", L"onpath", false}, {L"cwd", nullptr, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.plantedIn) + (c.besideToo ? L", one beside the program too" : L""));
        const std::wstring planted = Plant(c.plantedIn);
        const std::wstring beside = c.besideToo ? Plant(L"app") : L"";

        const ProbeRun naive = Run(L"plain", c.onPath);
        ASSERT_EQ(naive.exitCode, static_cast<DWORD>(kProbeKernelLoaded))
            << "the planted copy is out of reach";
        if (!c.besideToo) {
            ASSERT_TRUE(SameFile(naive.loadedKernel, planted));
        }

        const ProbeRun vexil = Run(L"vexil", c.onPath);
        if (c.besideToo) {
            EXPECT_EQ(vexil.exitCode, static_cast<DWORD>(kProbeKernelLoaded));
            EXPECT_TRUE(SameFile(vexil.loadedKernel, beside));
        } else {
            EXPECT_EQ(vexil.exitCode, static_cast<DWORD>(kProbeNoKernel)) << "loaded " << vexil.loadedKernel;
        }
        DeleteFileW(planted.c_str());
        if (!beside.empty())
            DeleteFileW(beside.c_str());
    }
}

} // namespace

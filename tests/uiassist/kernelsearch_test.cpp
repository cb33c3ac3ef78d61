// Where the framework host window takes the kernel module from: beside the module or from the places
// the system and the host trust, never from the current directory or PATH. Each case runs a probe
// program copied into a folder of its own, once loading the kernel the naive way (which proves the
// planted copy is within reach) and once through CVexilWindow.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "kernelprobe.h"
#include "uiassisttest.h"

namespace {

using uiassisttest::kKernelName;

constexpr DWORD kProbeTimeoutMs = 30000;

struct ProbeRun {
    bool started = false;
    DWORD exitCode = ~0u;
    std::wstring loadedKernel; // full path of the kernel module the probe had, or ""
};

class KernelSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_appFolder = m_root.File(L"app\\");
        m_cwdFolder = m_root.File(L"cwd\\");
        m_pathFolder = m_root.File(L"onpath\\");
        m_probe = m_appFolder + L"uiassist_kernelprobe.exe";
        ASSERT_TRUE(
            uiassisttest::CopyFileTo(uiassisttest::ExeFolder() + L"uiassist_kernelprobe.exe", m_probe));
        m_skin = m_root.File(L"skin\\test.vxs");
        ASSERT_TRUE(uiassisttest::WriteTextFile(m_skin, uiassisttest::kTestSkin));
    }

    std::wstring PlantKernel(const std::wstring& folder) {
        const std::wstring target = folder + kKernelName;
        EXPECT_TRUE(uiassisttest::CopyFileTo(uiassisttest::ExeFolder() + kKernelName, target));
        return target;
    }

    // Runs the probe in mode with currentDir as its current directory and, when given, pathFolder
    // put first on its PATH.
    ProbeRun Run(const wchar_t* mode, const std::wstring& currentDir, const std::wstring& pathFolder = L"") {
        ProbeRun run;
        const std::wstring report = m_root.File(L"report.txt");
        DeleteFileW(report.c_str());
        std::wstring commandLine =
            L"\"" + m_probe + L"\" " + mode + L" \"" + report + L"\" \"" + m_skin + L"\"";
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');

        // The child inherits the environment; this process's own PATH is put back at once.
        std::vector<wchar_t> oldPath(32768);
        const DWORD oldLength =
            GetEnvironmentVariableW(L"PATH", oldPath.data(), static_cast<DWORD>(oldPath.size()));
        if (!pathFolder.empty())
            SetEnvironmentVariableW(L"PATH",
                                    (pathFolder + L";" + std::wstring(oldPath.data(), oldLength)).c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        run.started = CreateProcessW(m_probe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     currentDir.c_str(), &startup, &info) != FALSE;
        if (!pathFolder.empty())
            SetEnvironmentVariableW(L"PATH", oldLength ? oldPath.data() : nullptr);
        if (!run.started)
            return run;
        CloseHandle(info.hThread);
        if (WaitForSingleObject(info.hProcess, kProbeTimeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(info.hProcess, &run.exitCode);
        } else {
            TerminateProcess(info.hProcess, 99);
            WaitForSingleObject(info.hProcess, kProbeTimeoutMs);
        }
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
    std::wstring m_appFolder, m_cwdFolder, m_pathFolder, m_probe, m_skin;
};

TEST_F(KernelSearchTest, AKernelPlantedInTheCurrentDirectoryIsNotLoaded) {
    const std::wstring planted = PlantKernel(m_cwdFolder);

    const ProbeRun naive = Run(L"plain", m_cwdFolder);
    ASSERT_TRUE(naive.started);
    ASSERT_EQ(naive.exitCode, static_cast<DWORD>(kProbeKernelLoaded)) << "the planted copy is out of reach";
    ASSERT_TRUE(SameFile(naive.loadedKernel, planted));

    const ProbeRun vexil = Run(L"vexil", m_cwdFolder);
    ASSERT_TRUE(vexil.started);
    EXPECT_EQ(vexil.exitCode, static_cast<DWORD>(kProbeNoKernel)) << "loaded " << vexil.loadedKernel;
}

TEST_F(KernelSearchTest, AKernelPlantedOnPathIsNotLoaded) {
    const std::wstring planted = PlantKernel(m_pathFolder);

    const ProbeRun naive = Run(L"plain", m_cwdFolder, m_pathFolder);
    ASSERT_TRUE(naive.started);
    ASSERT_EQ(naive.exitCode, static_cast<DWORD>(kProbeKernelLoaded)) << "the planted copy is out of reach";
    ASSERT_TRUE(SameFile(naive.loadedKernel, planted));

    const ProbeRun vexil = Run(L"vexil", m_cwdFolder, m_pathFolder);
    ASSERT_TRUE(vexil.started);
    EXPECT_EQ(vexil.exitCode, static_cast<DWORD>(kProbeNoKernel));
}

TEST_F(KernelSearchTest, TheKernelBesideTheModuleWinsOverAPlantedOne) {
    PlantKernel(m_cwdFolder);
    const std::wstring beside = PlantKernel(m_appFolder);

    const ProbeRun vexil = Run(L"vexil", m_cwdFolder);
    ASSERT_TRUE(vexil.started);
    EXPECT_EQ(vexil.exitCode, static_cast<DWORD>(kProbeKernelLoaded));
    EXPECT_TRUE(SameFile(vexil.loadedKernel, beside));
}

} // namespace

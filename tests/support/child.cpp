#include "shelftest/child.h"

namespace shelftest {
namespace {

constexpr wchar_t kChildVariable[] = L"KELVO_CHILD_TEST";

} // namespace

ChildTestProcess::ChildTestProcess(const std::string& gtestFilter) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" +
                               std::wstring(gtestFilter.begin(), gtestFilter.end()) +
                               L" --gtest_also_run_disabled_tests";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // The child inherits the variable that marks it.
    SetEnvironmentVariableW(kChildVariable, L"1");
    const BOOL created =
        CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    if (!created)
        return;
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_pid = info.dwProcessId;
}

ChildTestProcess::~ChildTestProcess() {
    if (m_process == nullptr)
        return;
    if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process, 99);
        WaitForSingleObject(m_process, 5000);
    }
    CloseHandle(m_process);
}

bool ChildTestProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
    return m_process != nullptr && WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(m_process, exitCode);
}

bool IsChildTestProcess() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(kChildVariable, value, 8) > 0 && value[0] == L'1';
}

} // namespace shelftest

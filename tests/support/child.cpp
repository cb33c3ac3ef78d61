#include "shelftest/child.h"

#include <vector>

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
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // The child inherits the variable that marks it; the parent's own value is restored at once.
    SetEnvironmentVariableW(kChildVariable, L"1");
    const BOOL created =
        CreateProcessW(exe, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
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
    if (m_process == nullptr || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    if (exitCode)
        *exitCode = code;
    return true;
}

bool IsChildTestProcess() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(kChildVariable, value, 8) > 0 && value[0] == L'1';
}

} // namespace shelftest

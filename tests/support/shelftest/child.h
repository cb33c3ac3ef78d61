// Cases of this same test program run in a child process, for behaviour that ends the process. Child
// cases are named DISABLED_... so that only a child (--gtest_also_run_disabled_tests) runs them.
#pragma once

#include <windows.h>

#include <string>

namespace shelftest {

class ChildTestProcess {
public:
    explicit ChildTestProcess(const std::string& gtestFilter);
    // Kills the child when it still runs.
    ~ChildTestProcess();
    ChildTestProcess(const ChildTestProcess&) = delete;
    ChildTestProcess& operator=(const ChildTestProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    DWORD Pid() const { return m_pid; }
    // True when the child ended within timeoutMs, with its exit code.
    bool Wait(DWORD timeoutMs, DWORD* exitCode);

private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// True inside a child started by ChildTestProcess (guards child cases run by hand).
bool IsChildTestProcess();

} // namespace shelftest

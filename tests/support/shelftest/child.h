// Running cases of this same test program in a child process, for behaviour that ends the process
// (the damaged-installation notice). Child cases are named DISABLED_..., so that they never run in
// the parent's own run; the child is started with --gtest_also_run_disabled_tests.
#pragma once

#include <windows.h>

#include <string>

namespace shelftest {

class ChildTestProcess {
public:
    // Starts "<this exe> --gtest_filter=<filter> --gtest_also_run_disabled_tests" in the current
    // folder. Check Started().
    explicit ChildTestProcess(const std::string& gtestFilter);
    // Kills the child when it still runs.
    ~ChildTestProcess();
    ChildTestProcess(const ChildTestProcess&) = delete;
    ChildTestProcess& operator=(const ChildTestProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    DWORD Pid() const { return m_pid; }
    // Waits at most timeoutMs for the child to end; true when it ended, with its exit code.
    bool Wait(DWORD timeoutMs, DWORD* exitCode);

private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// True inside a child started by ChildTestProcess (guards child cases run by hand).
bool IsChildTestProcess();

} // namespace shelftest

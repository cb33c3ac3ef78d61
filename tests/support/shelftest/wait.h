// Bounded waits and running code on a window's own thread.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace shelftest {

// How long a test waits for something that normally takes milliseconds.
constexpr DWORD kDefaultWaitMs = 10000;

// Polls predicate until it holds or timeoutMs passed, delivering the calling thread's messages
// (sent and posted) between polls. True when the predicate held.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kDefaultWaitMs);
// Delivers the calling thread's pending messages once.
void PumpMessages();

// Runs fn on the thread that owns hwnd and returns when it has run there (false when hwnd is not a
// window, or the thread did not answer within timeoutMs). Done with a thread-local call-window hook
// and a registered message that the window itself passes to DefWindowProc. The window thread must not
// be blocked waiting for the caller.
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn, DWORD timeoutMs = kDefaultWaitMs);

// Returns once the window's thread has taken every message posted to hwnd before this call out of
// its queue and handled it (a marker is posted behind them and watched for with a get-message hook
// on that thread). False when hwnd is not a window or the marker did not come within timeoutMs.
bool DrainPostedMessages(HWND hwnd, DWORD timeoutMs = kDefaultWaitMs);

// Returns once the window handled everything posted to it before the call (twice: a handled message
// may post more, as a books-changed report posts one refresh per book).
bool Flush(HWND hwnd);

// Ids of this process's threads (toolhelp snapshot).
std::set<DWORD> ThreadIds();
// Threads that run now and did not before, leaving out those the test program itself started (host
// threads, watchdogs, GoogleTest's own).
std::set<DWORD> NewThreads(const std::set<DWORD>& before);
// The threads of the set that still run.
std::set<DWORD> StillRunning(const std::set<DWORD>& threads);
// Waits (bounded) until none of the threads runs any more.
bool WaitForThreadsGone(const std::set<DWORD>& threads, DWORD timeoutMs = kDefaultWaitMs);
// "id (module of its start address)" for each thread, for failure messages.
std::string DescribeThreads(const std::set<DWORD>& threads);

// Ends the process with exit code 3, after saying what hung, unless destroyed within boundMs: a test
// that deadlocks fails in seconds instead of at ctest's time limit.
class Watchdog {
public:
    Watchdog(const char* what, DWORD boundMs);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    HANDLE m_done;
    std::thread m_thread;
};

// Windows of this process with the class name (e.g. L"VexilWindow"), in EnumWindows order.
std::vector<HWND> WindowsOfClass(const wchar_t* className);

} // namespace shelftest

// Bounded waits and running code on a window's own thread.
#pragma once

#include <windows.h>

#include <functional>
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

// Number of threads of this process (toolhelp snapshot), -1 on failure.
int ThreadCount();
// Waits (bounded) until the process has at most count threads; true when it got there.
bool WaitForThreadCountAtMost(int count, DWORD timeoutMs = kDefaultWaitMs);

// Windows of this process with the class name (e.g. L"VexilWindow"), in EnumWindows order.
std::vector<HWND> WindowsOfClass(const wchar_t* className);

} // namespace shelftest

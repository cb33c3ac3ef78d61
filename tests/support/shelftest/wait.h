// Bounded waits, running code on a window's own thread, the process's threads and windows, and
// message boxes ("#32770" dialogs) of this or another process.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace shelftest {

// How long a test waits for something that normally takes milliseconds.
constexpr DWORD kDefaultWaitMs = 10000;

// Polls predicate until it holds or timeoutMs passed, delivering this thread's messages meanwhile.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kDefaultWaitMs);
void PumpMessages();

// Runs fn on the thread that owns hwnd (through a call-window hook); false when it could not.
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn, DWORD timeoutMs = kDefaultWaitMs);
// Returns once the window's thread handled every message posted to hwnd before the call. Flush drains
// twice: a handled message may post more (a books-changed report posts the message that refreshes
// its books, a few hundred at a time).
bool DrainPostedMessages(HWND hwnd, DWORD timeoutMs = kDefaultWaitMs);
bool Flush(HWND hwnd);

std::set<DWORD> ThreadIds();
// Threads that run now and did not before, leaving out those the test program itself started.
std::set<DWORD> NewThreads(const std::set<DWORD>& before);
std::set<DWORD> StillRunning(const std::set<DWORD>& threads);
bool WaitForThreadsGone(const std::set<DWORD>& threads, DWORD timeoutMs = kDefaultWaitMs);
// "id (module of its start address)" for each thread, for failure messages.
std::string DescribeThreads(const std::set<DWORD>& threads);

// A manual-reset event one thread sets and another waits on.
struct Event {
    vexil::ScopedHandle handle{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    void Set() { SetEvent(handle.get()); }
    bool IsSet(DWORD waitMs = 0) const { return WaitForSingleObject(handle.get(), waitMs) == WAIT_OBJECT_0; }
};

// Ends the process with exit code 3, saying what hung, unless destroyed within boundMs.
class Watchdog {
public:
    Watchdog(const char* what, DWORD boundMs);
    ~Watchdog();

private:
    vexil::ScopedHandle m_done;
    std::thread m_thread;
};

// A rectangle as {left, top, right, bottom}, to compare in one expectation.
std::vector<LONG> Edges(const RECT& rect);
RECT WindowRect(HWND hwnd);
// Top-level windows of process pid (0: this one) with that class name, in EnumWindows order.
std::vector<HWND> WindowsOfClass(const wchar_t* className, DWORD pid = 0);

struct FoundMessageBox {
    bool found = false;
    std::wstring caption;
    std::wstring text; // the static text (dialog item 0xFFFF)
    bool hasYes = false, hasNo = false, hasOk = false;
};

// Waits for a visible box of process pid with that caption (any when empty), reads it, then clicks the
// button answer (IDYES, IDNO, IDOK...; 0 leaves it open).
FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs);

} // namespace shelftest

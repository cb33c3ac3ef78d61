// What the reliability suite shares: a watchdog that fails a hung test at once, the resource counters
// that are real under Wine 8, the process's threads, and a shelf shown over the test host's store.
#pragma once

#include <bookrack/bookrackmessages.h>
#include <shelftest/shelftest.h>
#include <vexil/messages.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace reliability {

// Ends the process with exit code 3, after saying what hung, unless it is destroyed within its bound.
// A test that deadlocks then fails in seconds instead of at ctest's time limit.
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

// Holds the library lock and puts "Folian.ini" back as it was when destroyed, for tests whose
// display-mode choices or module unloads save into the library folder that all tests share.
class ShowModeFileKeeper {
public:
    ShowModeFileKeeper();
    ~ShowModeFileKeeper();
    ShowModeFileKeeper(const ShowModeFileKeeper&) = delete;
    ShowModeFileKeeper& operator=(const ShowModeFileKeeper&) = delete;
    bool Held() const { return m_lock.Held(); }

private:
    shelftest::LibraryLock m_lock;
    bool m_existed = false;
    std::string m_content;
};

// Resources of this process, each counted in a way that works under Wine 8 (which stubs
// GetProcessHandleCount, GetGuiResources and GetProcessMemoryInfo).
struct ResourceCounts {
    int handles = 0;         // kernel handles: NtQuerySystemInformation(SystemHandleInformation)
    int windows = 0;         // windows of the process, top-level and children (EnumWindows)
    int gdiObjects = 0;      // live GDI objects: every 16-bit handle index that GetObjectType knows
    SIZE_T privateBytes = 0; // committed private memory (VirtualQuery)
};
ResourceCounts CountResources();
std::string Describe(const ResourceCounts& counts);

// Ids of this process's threads (toolhelp snapshot).
std::set<DWORD> ThreadIds();
// Threads that run now and did not before, leaving out the test program's own (its watchdog, host
// threads, and the threads GoogleTest starts to watch threads it keeps data for).
std::set<DWORD> NewThreads(const std::set<DWORD>& before);
// The threads of the set that still run.
std::set<DWORD> StillRunning(const std::set<DWORD>& threads);
// Waits (bounded) until none of the threads runs any more.
bool WaitForThreadsGone(const std::set<DWORD>& threads, DWORD timeoutMs = shelftest::kDefaultWaitMs);
// "id (module of its start address)" for each thread, for failure messages.
std::string DescribeThreads(const std::set<DWORD>& threads);

// The host's notification sink, as plain code: a test sets the callbacks it needs before the window
// exists (GoogleMock is not used here, since its bookkeeping starts threads of its own for every
// module thread that calls a mock). Unset callbacks do nothing; ToggleBookOption answers true.
class HostSink : public IShelfSink {
public:
    std::function<void(int count)> onBookCountChanged;
    std::function<void(HWND window, const wchar_t* folder, int id)> requestCover;
    std::function<void(int id, int flag)> openBook;
    std::function<void(int id, int flag)> deleteBook;
    std::function<bool(int value)> toggleBookOption;
    std::function<void(const std::set<unsigned long>* ids)> onMissingBooks;

    void OnBookCountChanged(int count, int) override {
        if (onBookCountChanged)
            onBookCountChanged(count);
    }
    void RequestCover(HWND window, const wchar_t* folder, int id) override {
        if (requestCover)
            requestCover(window, folder, id);
    }
    void OpenBook(int id, int flag) override {
        if (openBook)
            openBook(id, flag);
    }
    bool QueryBookFlag(int) override { return false; }
    void OnBookShown(int) override {}
    bool ToggleBookOption(int value) override { return toggleBookOption ? toggleBookOption(value) : true; }
    void DeleteBook(int id, int flag) override {
        if (deleteBook)
            deleteBook(id, flag);
    }
    void OnMissingBooks(const std::set<unsigned long>* ids) override {
        if (onMissingBooks)
            onMissingBooks(ids);
    }
    void OnBooksChanged(const int*, int) override {}
};

IRefBookMatrixInspect* Matrix(const shelftest::ModuleUnderTest& module);
IRefManagerInspect* Manager(const shelftest::ModuleUnderTest& module);

// Hands sink and store (shelf key) to the window, shows it, and waits until the controls are bound,
// the shelf holds the store's books and every message posted so far was handled. Menus of the
// manager are answered "dismissed": a real menu would block the window thread.
bool ShowShelf(shelftest::ModuleUnderTest& module, IShelfSink& sink, shelftest::FakeShelfStore& store,
               int shelfKey, const std::vector<int>& expectedIds);
// Returns once the window handled everything posted to it before the call (twice: a handled message
// may post more, as a books-changed report posts one refresh per book).
bool Flush(HWND hwnd);

} // namespace reliability

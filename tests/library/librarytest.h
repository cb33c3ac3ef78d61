// The book library's tests drive the real desktopui.dll: a window made through the interface, the
// host's sink and store from tests/support, the reference kernel's controls read back through its
// inspector, and real files in the library folder of the Wine prefix.
#pragma once

#include <shelftest/shelftest.h>

#include <bookrack/bookrackmessages.h>
#include <vexil/messages.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace librarytest {

// One RequestCover call as the sink saw it.
struct CoverRequest {
    HWND window;
    std::wstring folder;
    int id;
};

// What the sink was told, in order, as short texts ("shown 7", "open 7 0", "count 2", "cover 7",
// "missing 3 8"). The module calls the sink on its own threads, hence the lock.
class SinkLog {
public:
    void Add(std::string event) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(std::move(event));
    }
    void AddCover(CoverRequest request) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back("cover " + std::to_string(request.id));
        m_covers.push_back(std::move(request));
    }
    // The events, or those that start with prefix.
    std::vector<std::string> Events(const std::string& prefix = "") const {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<std::string> events;
        std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(events),
                     [&](const std::string& event) { return event.rfind(prefix, 0) == 0; });
        return events;
    }
    std::vector<CoverRequest> Covers() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_covers;
    }
    std::vector<int> CoverIds() const {
        std::vector<int> ids;
        for (const CoverRequest& request : Covers())
            ids.push_back(request.id);
        return ids;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.clear();
        m_covers.clear();
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
    std::vector<CoverRequest> m_covers;
};

// The library folder's path in the ANSI code page, as the module hands paths to the book matrix.
std::string AnsiPath(const std::wstring& path);

// Deletes every file of the library folder whose name starts with "<id>." for each id, so that a test
// sees no cover left by an earlier run.
void RemoveCovers(const std::vector<int>& ids);

// Folian.ini as it was when made (bytes and attributes, or its absence), put back when destroyed.
class ShowModeFileBackup {
public:
    ShowModeFileBackup();
    ~ShowModeFileBackup();
    ShowModeFileBackup(const ShowModeFileBackup&) = delete;
    ShowModeFileBackup& operator=(const ShowModeFileBackup&) = delete;

private:
    bool m_existed = false;
    std::string m_bytes;
    DWORD m_attributes = 0;
};

class LibraryTest : public shelftest::ModuleTest {
protected:
    static constexpr char kAccount[] = "alice@example.com";
    static constexpr char kAccountInfo[] = "Alice";

    void SetUp() override;
    void TearDown() override;

    // Holds the library lock for the rest of the test, until the module was unloaded.
    void LockLibrary();
    // Runs fn after the module was unloaded (its destruction saves the display mode into the library
    // folder); the last one added runs first.
    void AtTeardown(std::function<void()> fn);
    // Attaches sink and store, creates the window hidden (signed in as kAccount, or signed out) and
    // waits until its controls are bound and the first load reached the book matrix.
    void CreateShelf(bool signedIn = true);
    // The same with a window shown by the user.
    void ShowShelf();
    // Waits until the loader asked the sink for the covers of all ids (in any order).
    bool WaitForCoverRequests(const std::vector<int>& ids, DWORD timeoutMs = shelftest::kDefaultWaitMs);

    HWND Hwnd() const { return Window()->GetHwnd(); }
    IRefBookMatrixInspect* Matrix() const;
    IRefManagerInspect* Manager() const;
    // A synchronous message to the window, as the host or the loader sends it.
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam);
    // A control notification as the kernel delivers it: on the window's thread, to the skin window's
    // callback.
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam);
    // Waits until the book matrix was handed a whole shelf count times in all.
    bool WaitForLoads(int count, DWORD timeoutMs = shelftest::kDefaultWaitMs);

    SinkLog log;

private:
    void WaitForFirstLoad();

    std::unique_ptr<shelftest::LibraryLock> m_libraryLock;
    std::vector<std::function<void()>> m_atTeardown;
};

} // namespace librarytest

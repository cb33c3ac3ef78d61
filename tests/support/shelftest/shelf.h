// The shelf fixture of the module's suites: the real module with the host's sink and store, a window
// made or shown over the store's books, the reference kernel's controls to act as the user, and what
// the sink was told.
#pragma once

#include "diagnostics.h"
#include "library.h"
#include "module.h"
#include "wait.h"

#include <bookrack/bookrackmessages.h>
#include <vexil/messages.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace shelftest {

// Hands sink and store (shelf key) to the module's window and shows it, with the manager's menus
// answered "dismissed" (a real menu would block the window thread). Waits until the window is
// visible and, unless ids is nullopt, until the controls are bound and the shelf holds exactly ids,
// then until everything posted so far was handled. False when that did not happen.
bool ShowShelf(ModuleUnderTest& module, IShelfSink& sink, FakeShelfStore& store, int shelfKey,
               const std::optional<std::vector<int>>& ids);

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
    void Add(std::string event);
    void AddCover(CoverRequest request);
    // The events, or those that start with prefix.
    std::vector<std::string> Events(const std::string& prefix = "") const;
    std::vector<CoverRequest> Covers() const;
    std::vector<int> CoverIds() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
    std::vector<CoverRequest> m_covers;
};

// The module loaded from bin/ with a nice mock sink whose calls are logged (log) and an item store.
// CreateShelf and ShowShelf bring up the window; the accessors reach it and its controls.
class ShelfTest : public ModuleTest {
protected:
    static constexpr char kAccount[] = "alice@example.com";
    static constexpr char kAccountInfo[] = "Alice";

    void SetUp() override;
    void TearDown() override;

    // Holds the library lock for the rest of the test, until the module was unloaded.
    void LockLibrary();
    // Runs fn after the module was unloaded (its unloading saves the display mode); last added first.
    void AtTeardown(std::function<void()> fn);
    // Creates the window hidden (signed in as kAccount, or signed out) and waits until its controls
    // are bound and the first load reached the matrix.
    void CreateShelf(bool signedIn = true);
    // Makes ids the store's shelf (with default items) and shows the window over it.
    void ShowShelf(const std::vector<int>& ids);

    HWND Hwnd() const { return Window()->GetHwnd(); }
    IRefBookMatrixInspect* Matrix() const { return module->Matrix(); }
    IRefManagerInspect* Manager() const { return module->Manager(); }
    IRefBrowserInspect* Browser() const { return module->Browser(); }
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam) const { return module->Notify(id, wParam, lParam); }
    // A synchronous message to the window, as the host or the loader sends it.
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam) const;
    // Returns once the window handled everything posted to it before the call.
    void Flush() const { ASSERT_TRUE(shelftest::Flush(Hwnd())); }
    void OnWindowThread(const std::function<void()>& fn) const { ASSERT_TRUE(RunOnWindowThread(Hwnd(), fn)); }

    HWND PatchDelWindow() const { return module->FindWindowNamed(L"MsgBox.PatchDel"); }
    template <class T> T* PatchDelControl(const char* name) const {
        ISkinWindow* skin = module->SkinWindowOf(PatchDelWindow());
        return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
    }
    // Waits until the matrix told one more batch end than endNoticesBefore and no batch is busy.
    bool WaitForBatchEnd(int endNoticesBefore) const;
    // Waits until the sink was asked for the covers of all ids (in any order).
    bool WaitForCoverRequests(const std::vector<int>& ids, DWORD timeoutMs = kDefaultWaitMs) const;
    // Waits until the matrix was handed a whole shelf count times in all.
    bool WaitForLoads(int count, DWORD timeoutMs = kDefaultWaitMs) const;

    SinkLog log;

private:
    std::unique_ptr<LibraryLock> m_libraryLock;
    std::vector<std::function<void()>> m_atTeardown;
};

// The shelf ShownShelfTest shows.
inline const std::vector<int> kShelf = {101, 102, 103, 104};

// The shelf fixture with the window shown over kShelf.
class ShownShelfTest : public ShelfTest {
protected:
    void SetUp() override;
};

} // namespace shelftest

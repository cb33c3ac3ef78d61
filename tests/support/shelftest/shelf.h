// The shelf fixture of the module's suites: the real module with the host's sink and store, the
// reference kernel's controls to act as the user, and what the sink was told.
#pragma once

#include "diagnostics.h"
#include "display.h"
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

using Strings = std::vector<std::string>;

// Hands sink and store to the window and shows it, menus answered "dismissed" (a real one would
// block the window thread); waits until it is visible, holds exactly ids (unless nullopt) and
// handled everything posted.
bool ShowShelf(ModuleUnderTest& module, IShelfSink& sink, FakeShelfStore& store, int shelfKey,
               const std::optional<std::vector<int>>& ids);

// A create block signed in (or not) as accountId with that display name.
BOOKRACK_CREATE_PARAMS CreateParams(const char* accountId, const char* displayName, bool signedIn);

// The module loaded from bin/, a nice mock sink whose calls are logged, and an item store, which
// outlive the module.
class ShelfTest : public ::testing::Test {
protected:
    static constexpr int kShelfKey = 7;
    static constexpr char kAccountInfo[] = "Alice";

    void SetUp() override;
    void TearDown() override;

    void Attach(); // SetNotifySink and SetHost(&store, kShelfKey)
    // The library lock, held until the module was unloaded; UseCovers also removes the cover files of
    // ids before and after the test.
    void LockLibrary();
    void UseCovers(const std::vector<int>& ids);
    // Runs fn after the module was unloaded (which saves the display mode); last added first.
    void AtTeardown(std::function<void()> fn);
    // Moves the application-data folder under profile (MovedAppData) until the module was unloaded;
    // call before the module first needs the library folder.
    void MoveAppDataTo(const std::wstring& profile);
    // Creates the window hidden, signed in as kAccountInfo or not, bound and loaded once.
    void CreateShelf(bool signedIn = true);
    // Shows the window over a shelf of ids.
    void ShowShelf(const std::vector<int>& ids);

    CBookrackWindow* Window() const { return module->Window(); }
    HWND Hwnd() const { return Window()->GetHwnd(); }
    IRefBookMatrixInspect* Matrix() const { return module->Matrix(); }
    IRefManagerInspect* Manager() const { return module->Manager(); }
    IRefBrowserInspect* Browser() const { return module->Browser(); }
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam) const { return module->Notify(id, wParam, lParam); }
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam) const;
    void Flush() const { ASSERT_TRUE(shelftest::Flush(Hwnd())); }
    void OnWindowThread(const std::function<void()>& fn) const { ASSERT_TRUE(RunOnWindowThread(Hwnd(), fn)); }

    HWND PatchDelWindow() const { return module->FindWindowNamed(L"MsgBox.PatchDel"); }
    template <class T> T* PatchDelControl(const char* name) const {
        ISkinWindow* skin = module->SkinWindowOf(PatchDelWindow());
        return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
    }
    // What the sink was told, in order ("shown 7", "open 7 0", "count 2", "cover 7", "missing 3 8"):
    // those that start with prefix.
    Strings Events(const std::string& prefix = "") const;
    std::vector<int> CoverIds() const;
    void Log(std::string event);
    void ClearLog();
    // The matrix's books as "<id> <title>/<author>/<third text>[ ready][ invalid]".
    Strings Shelved() const;
    // Until a batch end beyond endNoticesBefore, the covers of all ids asked for, or count loads.
    bool WaitForBatchEnd(int endNoticesBefore) const;
    bool WaitForCoverRequests(const std::vector<int>& ids) const;
    bool WaitForLoads(int count, DWORD timeoutMs = kDefaultWaitMs) const;

    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    std::unique_ptr<ModuleUnderTest> module;
    // Runs after a cover request was logged, on the thread that asked.
    std::function<void(HWND window, int id)> onCoverRequest;

private:
    mutable std::mutex m_logLock; // the module calls the sink on its own threads
    Strings m_events;
    std::unique_ptr<LibraryLock> m_libraryLock;
    std::vector<std::function<void()>> m_atTeardown;
};

inline const std::vector<int> kShelf = {101, 102, 103, 104};

// Shown over kShelf.
class ShownShelfTest : public ShelfTest {
protected:
    void SetUp() override;
};

} // namespace shelftest

// The fixture of the flow tests: the real module shown with a shelf of four books from the store,
// the reference kernel's controls to act as the user, and ways to reach the window thread.
#pragma once

#include <bookrack/bookrackmessages.h>
#include <shelftest/shelftest.h>
#include <vexil/messages.h>

#include <functional>
#include <string>
#include <vector>

namespace flows {

// The shelf every flow test starts with.
const std::vector<int> kShelf = {101, 102, 103, 104};

// The real skin package without the lines that mention text (to make skins that lack a control).
std::string SkinWithout(const std::string& text);

// The numbers of a text, in order ("deleted 2 books, 1 left" gives 2, 1).
std::vector<int> NumbersIn(const std::string& text);

// Holds the library lock and puts the display-mode file back as it was, for tests that choose a
// display mode (which the shelf saves at once).
class ShowModeFileGuard {
public:
    ShowModeFileGuard();
    ~ShowModeFileGuard();
    bool Held() const { return m_lock.Held(); }

private:
    shelftest::LibraryLock m_lock;
    bool m_existed = false;
    std::string m_content;
};

// What the window and its kernel controls offer a test; shared by the fixture and by tests that load
// the module with a skin of their own.
class ShelfDriver {
public:
    ShelfDriver() = default;
    explicit ShelfDriver(shelftest::ModuleUnderTest* module) : m_module(module) {}
    void Drive(shelftest::ModuleUnderTest* module) { m_module = module; }

    CBookrackWindow* Window() const { return m_module->Window(); }
    HWND Hwnd() const { return Window()->GetHwnd(); }
    IRefBookMatrixInspect* Matrix() const;
    IRefManagerInspect* Manager() const;
    IRefBrowserInspect* Browser() const;

    // Runs fn on the window's thread.
    void OnWindowThread(const std::function<void()>& fn) const;
    // Delivers a control notification as the kernel does: to the window's callback, on its thread.
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam) const;
    // Returns once the window has handled everything posted to it before the call.
    void Flush() const;
    // The module's window whose skin window has that name (null when there is none).
    HWND FindModuleWindow(const wchar_t* skinWindowName) const;
    HWND PatchDelWindow() const { return FindModuleWindow(L"MsgBox.PatchDel"); }
    template <class T> T* PatchDelControl(const char* name) const {
        ISkinWindow* skin = m_module->SkinWindowOf(PatchDelWindow());
        return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
    }
    // Waits until the matrix has told one more batch end than before and the busy flag is clear.
    bool WaitForBatchEnd(int endNoticesBefore) const;

private:
    shelftest::ModuleUnderTest* m_module = nullptr;
};

// Hands sink and store to the module's window, shows it over kShelf (the store's shelf) and waits
// until it is visible and, with waitForBooks, until the shelf is loaded. Menus of the manager are
// answered "dismissed" so that none blocks.
void ShowShelf(shelftest::ModuleUnderTest& module, shelftest::MockShelfSink& sink,
               shelftest::FakeShelfStore& store, int shelfKey, bool waitForBooks = true);

class FlowTest : public shelftest::ModuleTest, public ShelfDriver {
protected:
    void SetUp() override;
    using ShelfDriver::Window;
};

} // namespace flows

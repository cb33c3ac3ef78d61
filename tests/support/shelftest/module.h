// The real desktopui.dll under test: loaded with LoadLibrary beside the reference kernel and a skin
// package, either from the test program's own folder (bin/) or from a fresh folder with a skin
// written for the test. Also the reference kernel's inspector for the module's windows.
#pragma once

#include <bookrack/bookrackwindow.h>
#include <vexilref/refprobe.h>

#include "hostfakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace shelftest {

// The folder of the running test program (bin/), without a trailing backslash.
std::wstring ExeFolder();
// The real skin package of bin/DesktopSkin, as bytes ("" when it cannot be read).
std::string ReadRealSkinPackage();

// Edits of a package's text (format: vexilkernel/SKINFORMAT.md). Each returns the edited text, or ""
// when the line to edit is not there, so that a test notices a package that changed under it.
// The package without the "control NAME ..." line (of whatever window holds it).
std::string SkinWithoutControl(const std::string& package, const std::string& control);
// The package with that control's class replaced (e.g. "staticbox" for a button: a control of another
// type; an unknown class would make the kernel report a creation error instead).
std::string SkinWithControlClass(const std::string& package, const std::string& control,
                                 const std::string& newClass);
// The package with a window renamed (so that the module's window name is missing from it).
std::string SkinWithWindowRenamed(const std::string& package, const std::string& window,
                                  const std::string& newName);

// The loaded module. Load order: the folder's VexilKernel.dll first (so the module, which loads the
// kernel by its bare name, gets that very copy and its skin folder), then desktopui.dll.
// On destruction: Close() on the window when one is alive, then the module and the kernel are
// unloaded (the module's object is destroyed with the module).
class ModuleUnderTest {
public:
    // Loads from the test program's folder.
    ModuleUnderTest();
    // Loads from folder (full path).
    explicit ModuleUnderTest(const std::wstring& folder);
    ~ModuleUnderTest();
    ModuleUnderTest(const ModuleUnderTest&) = delete;
    ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

    // Both modules loaded and GetBookrackWindow found; the reason otherwise.
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    HMODULE Module() const { return m_module; }
    HMODULE KernelModule() const { return m_kernel; }
    PFN_GetBookrackWindow Entry() const { return m_entry; }
    // GetBookrackWindow() (null when the module did not load).
    CBookrackWindow* Window() const;
    // The reference kernel's inspector (null when the kernel has no such export).
    IRefInspector* Inspector() const;

    // The reference kernel's skin window built on the module's bookshelf window; null when none.
    ISkinWindow* SkinWindow() const;
    // A control of the bookshelf window, cast to one of the inspection interfaces (null when the
    // window, the control or the interface is missing).
    template <class T> T* Control(const char* name) const { return dynamic_cast<T*>(RawControl(name)); }
    IControlBase* RawControl(const char* name) const;
    IRefBookMatrixInspect* Matrix() const { return Control<IRefBookMatrixInspect>("BMCC_BookMatrix"); }
    IRefManagerInspect* Manager() const { return Control<IRefManagerInspect>("BookrackMgr"); }
    IRefBrowserInspect* Browser() const { return Control<IRefBrowserInspect>("BMCC_BookrackIeBrowser"); }
    // Skin window and control of any other window of the module (e.g. the balloon).
    ISkinWindow* SkinWindowOf(HWND hwnd) const;
    // The module's window whose skin window has that name (e.g. L"NoBookBalloon"); null when none.
    HWND FindWindowNamed(const wchar_t* skinWindowName) const;
    // A control notification as the kernel delivers it: to the skin window's callback, on the window's
    // thread (0x7FFF when there is no callback or the thread did not answer).
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam) const;

    // Closes the window (when alive) and unloads both modules now; the destructor then does nothing.
    void Unload();

private:
    void Load(const std::wstring& folder);

    HMODULE m_kernel = nullptr;
    HMODULE m_module = nullptr;
    PFN_GetBookrackWindow m_entry = nullptr;
    PFN_GetRefKernelInspector m_inspector = nullptr;
    std::string m_error;
};

// A module loaded from a fresh folder under %TEMP% that holds copies of desktopui.dll and
// VexilKernel.dll and DesktopSkin\KelvoDesktopUi.ufd with the given contents. The module is unloaded
// before the folder is removed.
class ModuleWithSkin {
public:
    explicit ModuleWithSkin(const std::string& skinPackage);
    ~ModuleWithSkin();
    ModuleWithSkin(const ModuleWithSkin&) = delete;
    ModuleWithSkin& operator=(const ModuleWithSkin&) = delete;
    bool Ok() const { return m_module && m_module->Ok(); }
    std::string Error() const;
    ModuleUnderTest& Module() { return *m_module; }
    CBookrackWindow* Window() const { return m_module ? m_module->Window() : nullptr; }
    const std::wstring& Folder() const { return m_folder; }

private:
    std::wstring m_folder;
    std::unique_ptr<ModuleUnderTest> m_module;
};

// A GoogleTest fixture with the module loaded from bin/ (module), a nice mock sink (sink) and an item
// store (store). Attach() hands both to the window. TearDown closes the window and unloads the
// module while sink and store still live.
class ModuleTest : public ::testing::Test {
protected:
    static constexpr int kShelfKey = 7;

    void SetUp() override;
    void TearDown() override;
    // SetNotifySink(&sink, module instance) and SetHost(&store, kShelfKey).
    void Attach();
    CBookrackWindow* Window() const { return module->Window(); }

    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    std::unique_ptr<ModuleUnderTest> module;
};

} // namespace shelftest

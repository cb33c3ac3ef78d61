// The real desktopui.dll under test, loaded beside the reference kernel from bin/ or from a fresh
// folder with a skin package written for the test.
#pragma once

#include <bookrack/bookrackwindow.h>
#include <uiassist/scopedhandle.h>
#include <vexilref/refprobe.h>

#include "hostfakes.h"

#include <memory>
#include <string>

namespace shelftest {

// bin/, without a trailing backslash, and its skin package.
std::wstring ExeFolder();
std::string ReadRealSkinPackage();

// Edits of a package's text (vexilkernel/SKINFORMAT.md); "" when the line to edit is missing.
std::string SkinWithoutControl(const std::string& package, const std::string& control);
// newClass must be a known class ("staticbox" for a button): an unknown one fails the creation.
std::string SkinWithControlClass(const std::string& package, const std::string& control,
                                 const std::string& newClass);
std::string SkinWithWindowRenamed(const std::string& package, const std::string& window,
                                  const std::string& newName);

// The folder's VexilKernel.dll is loaded first, so that the module, which asks for the kernel by its
// bare name, gets that very copy. Destruction (or Unload) closes the window and unloads both.
class ModuleUnderTest {
public:
    ModuleUnderTest() : ModuleUnderTest(ExeFolder()) {}
    explicit ModuleUnderTest(const std::wstring& folder);
    ~ModuleUnderTest() { Unload(); }

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    HMODULE Module() const { return m_module.get(); }
    CBookrackWindow* Window() const { return m_entry ? m_entry() : nullptr; }
    IRefInspector* Inspector() const { return m_inspector ? m_inspector() : nullptr; }

    // The skin window of the bookshelf window or of another window of the module.
    ISkinWindow* SkinWindow() const;
    ISkinWindow* SkinWindowOf(HWND hwnd) const;
    // A control of the bookshelf window as one of the inspection interfaces.
    template <class T> T* Control(const char* name) const { return dynamic_cast<T*>(RawControl(name)); }
    IControlBase* RawControl(const char* name) const;
    IRefBookMatrixInspect* Matrix() const { return Control<IRefBookMatrixInspect>("BMCC_BookMatrix"); }
    IRefManagerInspect* Manager() const { return Control<IRefManagerInspect>("BookrackMgr"); }
    IRefBrowserInspect* Browser() const { return Control<IRefBrowserInspect>("BMCC_BookrackIeBrowser"); }
    // The module's window whose skin window has that name (e.g. L"NoBookBalloon").
    HWND FindWindowNamed(const wchar_t* skinWindowName) const;
    // A control notification as the kernel delivers it: to the skin window's callback, on the window's
    // thread (0x7FFF, and a failure, when it cannot be delivered).
    LRESULT Notify(int id, WPARAM wParam, LPARAM lParam) const;
    // Closes the window (unless close is false, as a host that forgets to) and unloads both DLLs.
    void Unload(bool close = true);
    // Lets go of this object's own reference to the kernel: the module then holds it only through
    // its windows, and the inspector is gone.
    void ReleaseKernelReference();

private:
    vexil::ScopedModule m_kernel;
    vexil::ScopedModule m_module;
    PFN_GetBookrackWindow m_entry = nullptr;
    PFN_GetRefKernelInspector m_inspector = nullptr;
    std::string m_error;
};

// A module loaded from a fresh %TEMP% folder holding copies of both DLLs and the given package as
// DesktopSkin\KelvoDesktopUi.ufd; the module is unloaded before the folder is removed.
class ModuleWithSkin {
public:
    explicit ModuleWithSkin(const std::string& skinPackage);
    ~ModuleWithSkin();
    bool Ok() const { return m_module && m_module->Ok(); }
    std::string Error() const { return m_module ? m_module->Error() : "cannot prepare the skin folder"; }
    ModuleUnderTest& Module() { return *m_module; }

private:
    std::wstring m_folder;
    std::unique_ptr<ModuleUnderTest> m_module;
};

} // namespace shelftest

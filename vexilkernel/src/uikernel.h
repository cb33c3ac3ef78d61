// The process's one UI kernel: opens the skin package, builds skin windows on callers' HWNDs and
// answers the inspector.
#pragma once

#include <windows.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <vexil/kernel.h>
#include <vexilref/refprobe.h>

#include "skinpackage.h"

namespace vexilref {

class CSkinWindow;

// Code of WM_VEXIL_CREATE_ERROR when the package cannot be read or parsed (a generic error).
constexpr int kErrPackageUnreadable = -1;

// The kernel module's own instance: its window classes are registered under it.
HINSTANCE KernelInstance();

class CUiKernel final : public IUiKernel, public IRefInspector {
public:
    CUiKernel() = default;
    ~CUiKernel() = default;
    CUiKernel(const CUiKernel&) = delete;
    CUiKernel& operator=(const CUiKernel&) = delete;

    // IUiKernel
    void* GetKernelObject() override;
    bool IsSkinOpen() override;
    ISkinWindow* CreateSkinWindow(HWND hwnd, const wchar_t* skinPath, const wchar_t* windowName) override;
    const wchar_t* GetSkinPath() override;

    // IRefInspector
    ISkinWindow* FindSkinWindow(HWND hwnd) override;
    int LiveSkinWindowCount() override;
    std::wstring SkinPath() override;
    bool CloseSkinPackage() override;
    void SetPopupMenuAnswer(int command) override { m_menuAnswer = command; }
    int CreateSkinWindowCalls() override { return m_createCalls.load(); }
    std::string LastPackageError() override;
    bool GdiplusRunning() override;

    // Called by a skin window whose HWND is going away.
    void ForgetSkinWindow(HWND hwnd, CSkinWindow* skin);
    int PopupMenuAnswer() const { return m_menuAnswer.load(); }

    // Unregisters the window classes (module unload).
    void UnregisterClasses();

private:
    bool RegisterClasses();
    // Opens the package at the full path, or checks that it is the open one. Returns 0 or an error.
    int UsePackage(const std::wstring& fullPath, std::shared_ptr<const SkinPackage>* package);

    std::mutex m_lock; // guards everything below
    std::shared_ptr<const SkinPackage> m_package;
    // Every path GetSkinPath handed out stays valid for the kernel's life, even after a test closed
    // the package; m_skinPath points at the current one.
    std::list<std::wstring> m_paths;
    const wchar_t* m_skinPath = L"";
    std::string m_lastPackageError;
    std::map<HWND, CSkinWindow*> m_windows;
    bool m_classesRegistered = false;

    std::atomic<int> m_menuAnswer{REF_MENU_SHOW_REAL_MENU};
    std::atomic<int> m_createCalls{0};
};

CUiKernel& TheKernel();

} // namespace vexilref

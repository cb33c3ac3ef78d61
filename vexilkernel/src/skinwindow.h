// The kernel's object for one window of the skin, built on a caller's HWND.
//
// It lives as long as the HWND: a hidden child window ("root") and every control window each hold a
// reference, dropped at their WM_NCDESTROY, so the object and its controls go away with the HWND's
// children whatever order the system destroys them in.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <vexil/kernel.h>
#include <vexilref/refprobe.h>

#include "skinpackage.h"

namespace vexilref {

class CRefControl;
class CUiKernel;

class CSkinWindow final : public ISkinWindow, public IRefSkinWindowInspect {
public:
    CSkinWindow(CUiKernel* kernel, HWND hwnd, const std::wstring& name);
    CSkinWindow(const CSkinWindow&) = delete;
    CSkinWindow& operator=(const CSkinWindow&) = delete;

    // Creates the hidden root child of the HWND, which then holds a reference of its own.
    bool CreateRoot();
    // Takes the window's size and title and builds its controls. Returns 0, or
    // VEXIL_ERR_CONTROL_FAILED when a control has an unknown class or its window could not be made
    // (the other controls are built all the same).
    int Build(const WindowSpec& design);

    // A batch delete of the window's book matrix ended: its managers leave the deleting state.
    void EndBatchDelete();
    // A manager was given a display mode: the book matrices show their books that way.
    void SetShowMode(int mode);

    void AddRef() { ++m_refs; }
    void Release();

    // The DPI the window is drawn at: sizes of the package are 96-DPI units scaled to it (any thread).
    UINT Dpi() const { return m_dpi.load(); }

    // Delivers a control's notification to the callback, on the window thread, without a lock held.
    void Notify(IControlBase* control, int id, WPARAM wParam, LPARAM lParam);

    // ISkinWindow
    IControlBase* GetControl(const char* name) override;
    void SetCtrlMsgCallBack(IControlMessage* callback) override;
    void GetWindowSize(SIZE* size) override;
    IUiKernel* GetUiKernel() override;

    // IRefSkinWindowInspect
    HWND Hwnd() override { return m_hWnd; }
    std::wstring WindowName() override { return m_name; }
    std::wstring Title() override;
    std::vector<std::string> ControlNames() override;
    IControlMessage* Callback() override;
    void RepaintAfresh() override;

    static const wchar_t kRootClass[];
    static LRESULT CALLBACK RootWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    ~CSkinWindow();

    // The window's controls of that class, copied under the lock so that the caller may call them
    // without it.
    template <class TControl> std::vector<TControl*> ControlsOfKind();
    // Places every control for a client area of that size, as its anchors say.
    void Layout(SIZE client);
    // True when a shown control covers the whole client area of the HWND, which clips its children:
    // nothing the HWND paints itself can show then. On the HWND's thread (its WM_PAINT).
    bool ControlsCoverClient();
    // The HWND's DPI changed (WM_DPICHANGED, after the window took its new rectangle): every control
    // is placed, measured and drawn again at the new DPI.
    void RescaleTo(UINT dpi);
    // Keeps a user's drag (WM_SIZING) from making the window smaller than the package allows.
    void KeepMinimumSize(WPARAM edge, RECT* dragged);
    // Puts HostWindowProc in front of the HWND's procedure (once per HWND); false if it could not.
    bool HookHost();
    // Takes it out again, or leaves it forwarding only when another procedure came in front of it.
    static void UnhookHost(HWND hwnd, bool windowEnds);
    // Sees the HWND's own messages: the controls follow its size.
    static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    CUiKernel* const m_kernel;
    const HWND m_hWnd;
    const std::wstring m_name;
    // The creator's reference (dropped when CreateSkinWindow returns), the root window's and one per
    // control window. Only touched on the window thread.
    int m_refs = 1;
    bool m_rootBound = false;
    bool m_subclassed = false;
    std::atomic<HWND> m_root{nullptr};
    SIZE m_minSize = {};
    std::atomic<UINT> m_dpi{96}; // written on the window thread

    mutable std::mutex m_lock; // guards the fields below for readers on other threads
    SIZE m_size = {};
    std::wstring m_title;
    IControlMessage* m_callback = nullptr;
    std::vector<std::unique_ptr<CRefControl>> m_controls;
};

// Makes the control of a package class, or null for a class the kernel does not know.
std::unique_ptr<CRefControl> MakeControl(CSkinWindow* skin, const ControlSpec& design);

} // namespace vexilref

// A window whose face is a skin window built by the UI kernel: loads the kernel module (or borrows a
// kernel another window loaded), builds the named skin window on its HWND, receives the notifications
// of its controls, and shows itself only once the kernel reports the skin window ready.
#pragma once

#include "cwin32window.h"

#include <vexil/kernel.h>
#include <vexil/messages.h>

#include <string>

class CVexilWindow : public CWin32Window {
public:
    CVexilWindow();
    // Closes an own-thread window (waiting for its thread). The kernel module an own-thread window
    // loaded was let go by its thread as it ended, so a window destroyed while its module unloads
    // frees nothing; a window on the creator's thread frees the kernel it loaded here, unless its
    // window still lives.
    ~CVexilWindow() override;

    // A skin window is made only through CreateVexilWindow or CreateVexilWindowWithKernel: both
    // return false and create nothing.
    bool CreateInNewThread(HWND parent, RECT rect, const wchar_t* title, int showCmd, DWORD style,
                           LPARAM param) override;
    bool CreateInCurrentThread(HWND parent, RECT rect, const wchar_t* title, int showCmd, DWORD style,
                               LPARAM param) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // On the window's thread: the Win32 window (never visible at first, whatever the style), then the
    // skin window on it. When the kernel returns no skin window, the bare window is destroyed again
    // and false is returned, so creation fails (and an own thread ends) instead of handing out a
    // window without a skin. Kernel errors that still give a skin window (-2, -3, -4) arrive later
    // as WM_VEXIL_CREATE_ERROR on the living window.
    bool CreateWin32Window() override;

    // Loads the kernel module (from the application's folder, this module's folder, the system
    // folders or folders the host added; never from the current directory or PATH) and builds the
    // skin window windowName of package skinPath. With ownThread the window's thread holds the
    // kernel reference and lets go of it when it ends (a new window waits for the old thread first). An empty
    // rect takes the skin's designed size, centred on the work area. A full kernelPath is loaded as given; a
    // bare name is looked for beside this module first. False when the kernel cannot be used or the skin
    // window cannot be built (see CreateWin32Window).
    virtual bool CreateVexilWindow(const wchar_t* kernelPath, const wchar_t* skinPath,
                                   const wchar_t* windowName, HWND parent, RECT rect, int showCmd,
                                   DWORD style, LPARAM param, bool ownThread);
    // Builds the skin window with a kernel another window already loaded; the kernel's open package
    // is used and the kernel module is never freed by this window.
    // Both create operations return false while this object still has a window.
    virtual bool CreateVexilWindowWithKernel(IUiKernel* kernel, const wchar_t* windowName, HWND parent,
                                             RECT rect, int showCmd, DWORD style, LPARAM param,
                                             bool ownThread);
    // WM_VEXIL_CREATE_DONE (code 0) or WM_VEXIL_CREATE_ERROR (the kernel's code): only the first of
    // them after the skin window's build began; any other is ignored.
    virtual void OnCreateResult(int code);
    // Called after OnCreate; hides the window until the kernel reports.
    virtual void OnWindowBuilt();

    // A notification of one of the skin window's controls, on the window's thread (checked before
    // the call). Handles nothing: -1. Derived windows call it first.
    virtual LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam);
    // What the kernel calls with the notifications of this window's controls.
    IControlMessage* ControlCallback() { return &m_controlSink; }
    // The own thread lets go of the kernel module this window loaded.
    void OnThreadExit() override;

    ISkinWindow* GetSkinWindow() const { return m_pSkinWindow; }
    IUiKernel* GetKernel() const { return m_pKernel; }
    HMODULE GetKernelModule() const { return m_hKernelModule.load(); }

    // The text of the error box for a kernel error code (GBK), as OnCreateResult shows it.
    static std::string FormatCreateErrorText(int code);

protected:
    // The skin window's control named name, if it is of kind T; null otherwise. Window thread.
    template <class T> T* FindControl(const char* name) const {
        return m_pSkinWindow ? dynamic_cast<T*>(m_pSkinWindow->GetControl(name)) : nullptr;
    }

    // Whoever takes it by exchange frees it: the own thread as it ends, or the creating thread.
    std::atomic<HMODULE> m_hKernelModule{nullptr};
    IUiKernel* m_pKernel = nullptr;
    void* m_pKernelObject = nullptr;
    ISkinWindow* m_pSkinWindow = nullptr;
    std::wstring m_strSkinPath;
    std::wstring m_strKernelPath;
    std::wstring m_strWindowName;

private:
    // Hands the kernel's notifications to the window once it has checked that they come on the
    // window's thread, whatever the derived window does with them.
    class ControlSink final : public IControlMessage {
    public:
        explicit ControlSink(CVexilWindow& window) : m_window(window) {}
        LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;

    private:
        CVexilWindow& m_window;
    };
    ControlSink m_controlSink{*this};

    // Window thread: from the start of a build until the kernel's one report of its outcome.
    bool m_bAwaitingSkinResult = false;
    void ReleaseKernelModule();
    bool CreateOnThread(HWND parent, RECT rect, int showCmd, DWORD style, LPARAM param, bool ownThread);
};

// The balloon that points at the add-book button while the shelf is empty, and the notice shown when
// the installation's skin cannot be built.
#pragma once

#include <uiassist/cvexilwindow.h>

#include <atomic>

// Size of the balloon below the add-book button.
constexpr int kTipsWidth = 295;
constexpr int kTipsHeight = 95;
// The balloon's timer: it goes away (and stays away) this long after the last Show.
constexpr UINT_PTR kTipsTimerId = 1;
constexpr UINT kTipsLifetimeMs = 10000;

// Private messages of the balloon, so that a caller on another thread never touches its timer (a
// timer belongs to the window's thread). Sent; wParam 0.
constexpr UINT WM_TIPS_HIDE = WM_APP + 1200; // lParam 0
constexpr UINT WM_TIPS_SHOW = WM_APP + 1201; // lParam = const RECT*, valid during the call; result 1 shown

class CAddBookTipsDlg : public CVexilWindow {
public:
    // lifetimeMs: how long a Show keeps the balloon up (tests take a shorter one).
    explicit CAddBookTipsDlg(UINT lifetimeMs = kTipsLifetimeMs) : m_nLifetimeMs(lifetimeMs) {}

    // Shows the balloon at rect (screen coordinates) for kTipsLifetimeMs; false while suppressed.
    bool Show(IUiKernel* kernel, HWND parent, RECT rect);
    // Hides without suppressing.
    void Hide();
    // Hides and keeps the balloon away until ResetSuppress.
    void Suppress();
    void ResetSuppress();

    void OnTimer(UINT_PTR id) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCreateResult(int code) override;
    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;

private:
    std::atomic<bool> m_bSuppressed{false};
    // Show asked for the balloon and no Hide came since: a kernel that reports the window ready
    // after a Hide must not bring it back without its timer.
    std::atomic<bool> m_bWanted{false};
    const UINT m_nLifetimeMs;
};

// Tells the user that the installation is damaged (naming fileName), offers the download page, and
// ends the process with exit code 0 whatever the answer. A null or empty name does nothing.
void ShowDamagedInstallNotice(const char* fileName);
// Opens the web address with the shell's open verb and returns once the launch was handed over; a
// failed launch is reported in a message box with the launch's own error. Returns the launch's
// HINSTANCE-style result (above 32 on success; 0 for a null or overlong address).
HINSTANCE OpenUrlInBrowser(const wchar_t* address);

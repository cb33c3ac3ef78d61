// The balloon that points at the add-book button while the shelf is empty.
#pragma once

#include <uiassist/cvexilwindow.h>

#include <atomic>

// Size of the balloon below the add-book button.
constexpr int kTipsWidth = 295;
constexpr int kTipsHeight = 95;
// The balloon's timer: it goes away (and stays away) this long after the last Show.
constexpr UINT_PTR kTipsTimerId = 1;
constexpr UINT kTipsLifetimeMs = 10000;

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

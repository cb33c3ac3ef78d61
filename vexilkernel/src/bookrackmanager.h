// The bookrack manager: the bar above the shelf with the display mode, the user's name, the book
// count and the manager's menu.
#pragma once

#include "refcontrol.h"

namespace vexilref {

// Geometry of the bar, in pixels.
constexpr int kManagerMargin = 12;
constexpr int kManagerGap = 12;
constexpr int kManagerButtonHeight = 26;
constexpr int kManagerSegmentWidth = 72;
constexpr int kManagerCountWidth = 120;
constexpr int kManagerBadgeSize = 22;

class CRefBookrackManager final : public CControlImpl<ICtrlBookrackManager, IRefManagerInspect> {
public:
    using CControlImpl::CControlImpl;

    // ICtrlBookrackManager
    bool SetShowMode(int mode) override;
    void SetBookCount(bool any, int count) override;
    void PopupMenu(int reserved, const POINT* screenPoint) override;
    void SetOptionState(bool on) override;
    void SetUserName(bool signedOut, const char* name) override;

    // IRefManagerInspect
    int ShowMode() override { return Locked(m_showMode); }
    std::string UserName() override { return Locked(m_userName); }
    bool SignedOut() override { return Locked(m_signedOut); }
    int BookCount() override { return Locked(m_bookCount); }
    bool AnyBooks() override { return Locked(m_anyBooks); }
    bool OptionState() override { return Locked(m_optionState); }
    int PopupCount() override { return Locked(m_popupCount); }
    POINT LastPopupPoint() override { return Locked(m_lastPopupPoint); }
    bool MenuOpen() override { return m_menuOpen.load(); }
    void DismissMenu() override { SendToWindow(WM_REF_DISMISS_MENU); }
    RECT PartRect(RefManagerPart part) override;
    void UserChooseMode(int mode) override;
    void UserAskBatchDelete() override { SendToWindow(WM_REF_MENU_COMMAND, REF_MENU_BATCH_DELETE); }
    void UserMinimize() override { SendToWindow(WM_REF_MENU_COMMAND, REF_MENU_MINIMIZE); }
    void UserHide() override { SendToWindow(WM_REF_MENU_COMMAND, REF_MENU_HIDE); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefBookrackManager"; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Shows the real menu and returns the chosen command (0 when dismissed).
    int TrackMenu(POINT at);
    // Carries out a menu command as the user's choice, notifying the window.
    void RunCommand(int command);
    // The part under a client point, or kNoPart.
    int HitPart(POINT at);
    void SetHotPart(int part);
    // The user released the left button on a part it was pressed on.
    void ClickPart(int part);

    int m_showMode = 0;
    std::string m_userName;
    bool m_signedOut = true;
    int m_bookCount = 0;
    bool m_anyBooks = false;
    bool m_optionState = false;
    int m_popupCount = 0;
    POINT m_lastPopupPoint = {};
    std::atomic<bool> m_menuOpen{false};
    // Mouse state, window thread only.
    int m_hotPart = -1;
    int m_pressedPart = -1;
};

} // namespace vexilref

// Buttons, the progress bar and static text.
#pragma once

#include "refcontrol.h"
#include "strutil.h"

namespace vexilref {

class CRefButton final : public CControlImpl<ICtrlButton, IRefButtonInspect> {
public:
    CRefButton(CSkinWindow* skin, const ControlSpec& design);

    // ICtrlButton
    void SetButtonText(const char* text) override;
    void EnableButton(bool enable) override;

    // IRefButtonInspect
    void UserClick() override { SendToWindow(BM_CLICK); }
    std::string Text() override { return Locked(m_text); }
    bool Enabled() override { return Locked(m_enabled); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefButton"; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void Click();

    std::string m_text;
    bool m_enabled = true;
    bool m_pressed = false; // the left button went down on the button and is still down
    bool m_hot = false;     // the mouse is over the button
};

class CRefProgressBar final : public CControlImpl<ICtrlProgressBar, IRefProgressInspect> {
public:
    using CControlImpl::CControlImpl;

    // ICtrlProgressBar
    void SetProgressBarPos(int percent, bool redraw) override;
    int GetProgressBarPos() override { return Pos(); }

    // IRefProgressInspect
    int Pos() override { return Locked(m_pos); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefProgressBar"; }
    void Paint(HDC dc, const RECT& client) override;

    int m_pos = 0;
};

// "staticbox" and "label": a line of text the window may change.
class CRefStaticBox final : public CControlImpl<ICtrlStaticBox, IRefStaticInspect> {
public:
    CRefStaticBox(CSkinWindow* skin, const ControlSpec& design);

    // ICtrlStaticBox
    void SetText(const char* text) override;
    void SetTextW(const wchar_t* text) override;

    // IRefStaticInspect
    std::wstring Text() override { return Locked(m_text); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefStaticBox"; }
    void Paint(HDC dc, const RECT& client) override;
    void StoreText(std::wstring text);

    std::wstring m_text; // kept wide, so wide text set by the window is drawn as given
};

} // namespace vexilref

// The parts of a skin window that make it look like a window: the caption strip the user drags it
// by, the background panel, the frame around it, and the balloon that gives a tips window its shape.
// The window base under a skin window draws no caption or border of its own.
#pragma once

#include "refcontrol.h"

namespace vexilref {

// Balloon geometry: the pointer sits at the top-left and points up at what the balloon explains.
constexpr int kBalloonPointerHeight = 12;
constexpr int kBalloonPointerLeft = 16;  // where the pointer's base starts
constexpr int kBalloonPointerTip = 28;   // x of the tip
constexpr int kBalloonPointerRight = 40; // where the pointer's base ends
constexpr int kBalloonRadius = 8;
constexpr int kBalloonPadding = 12;

// "caption": the window's title on a dark strip. Pressing the left button on it moves the window.
class CRefCaption final : public CControlImpl<IControlBase, IRefControlInspect> {
public:
    using CControlImpl::CControlImpl;

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefDecor"; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// "panel": a plain area with its text centred; placed last in a window, it is the background.
class CRefPanel final : public CControlImpl<IControlBase, IRefControlInspect> {
public:
    using CControlImpl::CControlImpl;

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefDecor"; }
    void Paint(HDC dc, const RECT& client) override;
    // A fill and a line of text: a window-sized picture would cost more memory than it saves time.
    bool KeepsPicture() const override { return false; }
};

// "frame": a one-pixel border along its rectangle. Its window is only that ring (a window region),
// so what lies inside stays visible and takes the mouse.
class CRefFrame final : public CControlImpl<IControlBase, IRefControlInspect> {
public:
    using CControlImpl::CControlImpl;

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefDecor"; }
    void Paint(HDC dc, const RECT& client) override;
    bool KeepsPicture() const override { return false; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnCreated() override;
    // Makes the window only the ring along its edge, at its present size.
    void ShapeRing();
};

// "balloon": text in a rounded balloon with a pointer at its top-left. A balloon that fills a
// pop-up window gives that window the balloon's shape.
class CRefBalloon final : public CControlImpl<ICtrlStaticBox, IRefStaticInspect> {
public:
    CRefBalloon(CSkinWindow* skin, const ControlSpec& design);

    // ICtrlStaticBox
    void SetText(const char* text) override;
    void SetTextW(const wchar_t* text) override;

    // IRefStaticInspect
    std::wstring Text() override { return Locked(m_text); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefBalloon"; }
    void Paint(HDC dc, const RECT& client) override;
    void OnCreated() override;
    void DpiChanged() override;

    std::wstring m_text; // kept wide: a text the code page cannot hold is still drawn as given
};

// The balloon's outline in a rectangle of that size, as a region (owned by the caller).
HRGN CreateBalloonRegion(int width, int height, UINT dpi);

} // namespace vexilref

#include "decorcontrols.h"

#include <objidl.h>
#include <gdiplus.h>

#include <uiassist/dpi.h>
#include <uiassist/scopedhandle.h>
#include "strutil.h"

namespace vexilref {
namespace {

constexpr int kCaptionTextLeft = 34;

// A closed book seen from the front: the window's sign at the caption's left.
void DrawBookSign(HDC dc, int left, int centerY, UINT dpi) {
    const auto px = [dpi](int value) { return vexil::ScaleToDpi(value, dpi); };
    const RECT cover = {left, centerY - px(8), left + px(13), centerY + px(8)};
    Fill(dc, cover, palette::kTile);
    const RECT spine = {left, centerY - px(8), left + px(3), centerY + px(8)};
    Fill(dc, spine, Blend(palette::kTile, palette::kCaption, 110));
    const RECT label = {left + px(5), centerY - px(4), left + px(11), centerY - px(2)};
    Fill(dc, label, palette::kCaption);
}

// The balloon's outline: the body's rounded rectangle with the pointer rising from its top edge.
void AddBalloonPath(Gdiplus::GraphicsPath* path, float width, float height, UINT dpi) {
    const auto px = [dpi](int value) { return static_cast<float>(vexil::ScaleToDpi(value, dpi)); };
    const float top = px(kBalloonPointerHeight) + 0.5f, left = 0.5f;
    const float right = width - 0.5f, bottom = height - 0.5f, d = px(kBalloonRadius) * 2.0f;
    path->AddArc(left, top, d, d, 180, 90);
    path->AddLine(px(kBalloonPointerLeft), top, px(kBalloonPointerTip), 0.5f);
    path->AddLine(px(kBalloonPointerTip), 0.5f, px(kBalloonPointerRight), top);
    path->AddArc(right - d, top, d, d, 270, 90);
    path->AddArc(right - d, bottom - d, d, d, 0, 90);
    path->AddArc(left, bottom - d, d, d, 90, 90);
    path->CloseFigure();
}

} // namespace

// ---- Caption -----------------------------------------------------------------------------------

void CRefCaption::Paint(HDC dc, const RECT& client) {
    Fill(dc, client, palette::kCaption);
    DrawBookSign(dc, client.left + Scale(12), (client.top + client.bottom) / 2, Dpi());
    RECT text = client;
    text.left += Scale(kCaptionTextLeft);
    text.right -= Scale(8);
    DrawTextIn(dc, Dpi(), m_spec.text.empty() ? WindowTitle() : m_spec.text, text, palette::kCaptionText,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, FontKind::kCaption);
}

bool CRefCaption::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    if (message != WM_LBUTTONDOWN)
        return false;
    // The window is moved as if its own caption had been pressed: the system's move loop runs
    // until the button is released.
    HWND hwnd = Window();
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(hwnd, &at);
    ReleaseCapture();
    SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
    *result = 0;
    return true;
}

// ---- Panel -------------------------------------------------------------------------------------

void CRefPanel::Paint(HDC dc, const RECT& client) {
    Fill(dc, client, palette::kPanel);
    DrawTextIn(dc, Dpi(), m_spec.text, client, palette::kMutedText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- Frame -------------------------------------------------------------------------------------

void CRefFrame::OnCreated() { ShapeRing(); }

bool CRefFrame::OnMessage(UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message == WM_SIZE)
        ShapeRing();
    return false;
}

void CRefFrame::ShapeRing() {
    RECT client = {};
    GetClientRect(Window(), &client);
    const int width = client.right, height = client.bottom;
    if (width <= 2 || height <= 2) {
        SetWindowRgn(Window(), nullptr, TRUE); // all border already
        return;
    }
    vexil::ScopedGdiObject<HRGN> ring(CreateRectRgn(0, 0, width, height));
    const vexil::ScopedGdiObject<HRGN> inside(CreateRectRgn(1, 1, width - 1, height - 1));
    if (ring && inside && CombineRgn(ring.get(), ring.get(), inside.get(), RGN_DIFF) != ERROR &&
        SetWindowRgn(Window(), ring.get(), TRUE))
        ring.release(); // the window owns it now
}

void CRefFrame::Paint(HDC dc, const RECT& client) {
    // Only the ring: what the DC holds inside is left as it is.
    Frame(dc, client, palette::kFrame);
}

// ---- Balloon -----------------------------------------------------------------------------------

HRGN CreateBalloonRegion(int width, int height, UINT dpi) {
    const auto px = [dpi](int value) { return vexil::ScaleToDpi(value, dpi); };
    HRGN body = CreateRoundRectRgn(0, px(kBalloonPointerHeight), width + 1, height + 1,
                                   px(kBalloonRadius) * 2, px(kBalloonRadius) * 2);
    const POINT pointer[] = {{px(kBalloonPointerLeft), px(kBalloonPointerHeight) + 1},
                             {px(kBalloonPointerTip), 0},
                             {px(kBalloonPointerRight), px(kBalloonPointerHeight) + 1}};
    const vexil::ScopedGdiObject<HRGN> tip(CreatePolygonRgn(pointer, 3, WINDING));
    if (body && tip)
        CombineRgn(body, body, tip.get(), RGN_OR);
    return body;
}

CRefBalloon::CRefBalloon(CSkinWindow* skin, const ControlSpec& design)
    : CControlImpl(skin, design), m_text(design.text) {}

void CRefBalloon::SetText(const char* text) { SetTextW(AnsiToWide(OrEmpty(text)).c_str()); }

void CRefBalloon::SetTextW(const wchar_t* text) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_text = text ? text : L"";
    }
    Redraw(false);
}

void CRefBalloon::OnCreated() {
    // A balloon that is the whole of a pop-up window shapes that window; anywhere else it only draws.
    const RECT& r = m_spec.rect;
    const SIZE design = WindowDesignSize();
    HWND window = GetParent(Window());
    if (r.left != 0 || r.top != 0 || r.right != design.cx || r.bottom != design.cy ||
        !(GetWindowLongW(window, GWL_STYLE) & WS_POPUP))
        return;
    RECT client = {};
    GetClientRect(Window(), &client);
    vexil::ScopedGdiObject<HRGN> region(CreateBalloonRegion(client.right, client.bottom, Dpi()));
    if (region && SetWindowRgn(window, region.get(), TRUE))
        region.release(); // the window owns it now
}

void CRefBalloon::DpiChanged() {
    OnCreated(); // the window's shape follows the balloon's new size
    Redraw(false);
}

void CRefBalloon::Paint(HDC dc, const RECT& client) {
    const int width = client.right - client.left, height = client.bottom - client.top;
    Fill(dc, client, palette::kWindow); // outside the balloon: clipped away in a shaped window
    if (Drawing().EnsureGdiplus()) {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        Gdiplus::GraphicsPath path;
        AddBalloonPath(&path, static_cast<float>(width), static_cast<float>(height), Dpi());
        Gdiplus::SolidBrush brush(Gdiplus::Color(255, GetRValue(palette::kBalloon),
                                                 GetGValue(palette::kBalloon), GetBValue(palette::kBalloon)));
        Gdiplus::Pen pen(Gdiplus::Color(255, GetRValue(palette::kBalloonBorder),
                                        GetGValue(palette::kBalloonBorder),
                                        GetBValue(palette::kBalloonBorder)),
                         1.0f);
        graphics.FillPath(&brush, &path);
        graphics.DrawPath(&pen, &path);
    } else {
        const vexil::ScopedGdiObject<HRGN> region(CreateBalloonRegion(width, height, Dpi()));
        const vexil::ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(palette::kBalloon));
        const vexil::ScopedGdiObject<HBRUSH> border(CreateSolidBrush(palette::kBalloonBorder));
        FillRgn(dc, region.get(), brush.get());
        FrameRgn(dc, region.get(), border.get(), 1, 1);
    }
    const int padding = Scale(kBalloonPadding);
    RECT text = {client.left + padding, client.top + Scale(kBalloonPointerHeight) + padding / 2,
                 client.right - padding, client.bottom - padding / 2};
    DrawWrappedTextCentred(dc, Dpi(), Locked(m_text), text, palette::kText);
}

} // namespace vexilref

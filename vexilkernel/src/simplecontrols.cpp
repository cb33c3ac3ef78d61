#include "simplecontrols.h"

#include <vexil/messages.h>

#include "strutil.h"

namespace vexilref {
namespace {

constexpr int kTextPadding = 6;

} // namespace

// ---- Button ------------------------------------------------------------------------------------

CRefButton::CRefButton(CSkinWindow* skin, const ControlSpec& design)
    : CControlImpl(skin, design), m_text(WideToAnsi(design.text)) {}

void CRefButton::SetButtonText(const char* text) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_text = OrEmpty(text);
    }
    Redraw(false);
}

void CRefButton::EnableButton(bool enable) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_enabled = enable;
    }
    // A disabled window gets no mouse input, as a disabled button should.
    if (HWND hwnd = Window())
        EnableWindow(hwnd, enable ? TRUE : FALSE);
    Redraw(false);
}

void CRefButton::Click() {
    if (Enabled())
        Notify(VEXIL_NOTIFY_BUTTON_CLICK, 0, 0);
}

bool CRefButton::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    HWND hwnd = Window();
    const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    RECT client;
    GetClientRect(hwnd, &client);
    switch (message) {
    case WM_LBUTTONDOWN:
        m_pressed = true;
        m_hot = true;
        SetCapture(hwnd);
        Redraw(false);
        return true;
    case WM_LBUTTONUP: {
        if (!m_pressed)
            return true;
        m_pressed = false;
        ReleaseCapture();
        Redraw(false);
        // Like a push button: released inside the button is a click, outside cancels it.
        if (PtInRect(&client, at))
            Click();
        return true;
    }
    case WM_MOUSEMOVE: {
        const bool inside = PtInRect(&client, at) != FALSE;
        if (inside != m_hot) {
            m_hot = inside;
            if (inside)
                TrackMouseLeave();
            Redraw(false);
        }
        return true;
    }
    case WM_MOUSELEAVE:
        if (m_hot && !m_pressed) {
            m_hot = false;
            Redraw(false);
        }
        return true;
    case WM_CAPTURECHANGED:
        if (m_pressed) {
            m_pressed = false;
            Redraw(false);
        }
        return false;
    case BM_CLICK:
        Click();
        *result = 0;
        return true;
    default:
        return false;
    }
}

void CRefButton::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    const bool down = m_enabled && m_pressed && m_hot;
    const COLORREF face =
        !m_enabled ? palette::kPanel
                   : (down ? palette::kButtonPressed : (m_hot ? palette::kButtonHot : palette::kButton));
    Fill(dc, client, face);
    Frame(dc, client, m_enabled ? palette::kFrame : Blend(palette::kFrame, palette::kPanel, 128));
    RECT text = client;
    if (down)
        OffsetRect(&text, 1, 1); // the label sinks with the button
    DrawTextIn(dc, Dpi(), AnsiToWide(m_text), text, m_enabled ? palette::kText : palette::kDisabledText,
               DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

// ---- Progress bar ------------------------------------------------------------------------------

void CRefProgressBar::SetProgressBarPos(int percent, bool redraw) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pos = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
    }
    if (redraw)
        Redraw(true);
}

void CRefProgressBar::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    Fill(dc, client, palette::kProgressTrack);
    RECT bar = client;
    InflateRect(&bar, -Scale(2), -Scale(2));
    bar.right = bar.left + (bar.right - bar.left) * m_pos / 100;
    if (bar.right > bar.left)
        Fill(dc, bar, palette::kProgress);
    Frame(dc, client, palette::kFrame);
}

// ---- Static text -------------------------------------------------------------------------------

CRefStaticBox::CRefStaticBox(CSkinWindow* skin, const ControlSpec& design)
    : CControlImpl(skin, design), m_text(design.text) {}

void CRefStaticBox::SetText(const char* text) { StoreText(AnsiToWide(OrEmpty(text))); }

void CRefStaticBox::SetTextW(const wchar_t* text) { StoreText(text ? text : L""); }

void CRefStaticBox::StoreText(std::wstring text) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_text = std::move(text);
    }
    Redraw(false);
}

void CRefStaticBox::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    Fill(dc, client, palette::kPanel); // text on the window's background
    RECT text = client;
    InflateRect(&text, -Scale(kTextPadding), 0);
    DrawWrappedTextCentred(dc, Dpi(), m_text, text, palette::kText);
}

} // namespace vexilref

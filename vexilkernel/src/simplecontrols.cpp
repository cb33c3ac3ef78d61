#include "simplecontrols.h"

#include <vexil/messages.h>

#include "strutil.h"

namespace vexilref {
namespace {

constexpr int kTextPadding = 6;

} // namespace

// ---- Button ------------------------------------------------------------------------------------

CRefButton::CRefButton(CSkinWindow* skin, const ControlSpec& spec)
    : CControlImpl(skin, spec), m_text(WideToAnsi(spec.text)) {}

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
    switch (message) {
    case WM_LBUTTONDOWN:
        m_pressed = true;
        SetCapture(hwnd);
        Redraw(false);
        return true;
    case WM_LBUTTONUP: {
        if (!m_pressed)
            return true;
        m_pressed = false;
        ReleaseCapture();
        Redraw(false);
        RECT client;
        GetClientRect(hwnd, &client);
        const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        // Like a push button: released inside the button is a click, outside cancels it.
        if (PtInRect(&client, at))
            Click();
        return true;
    }
    case WM_CAPTURECHANGED:
        m_pressed = false;
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
    Fill(dc, client, m_pressed ? palette::kTile : palette::kPanel);
    Frame(dc, client, palette::kFrame);
    DrawTextIn(dc, AnsiToWide(m_text), client, m_enabled ? palette::kText : palette::kDisabledText,
               DT_CENTER | DT_VCENTER | DT_SINGLELINE);
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
    Fill(dc, client, palette::kPanel);
    RECT bar = client;
    bar.right = client.left + (client.right - client.left) * m_pos / 100;
    Fill(dc, bar, palette::kProgress);
    Frame(dc, client, palette::kFrame);
}

// ---- Static text -------------------------------------------------------------------------------

CRefStaticBox::CRefStaticBox(CSkinWindow* skin, const ControlSpec& spec)
    : CControlImpl(skin, spec), m_text(WideToAnsi(spec.text)) {}

void CRefStaticBox::SetText(const char* text) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_text = OrEmpty(text);
    }
    Redraw(false);
}

void CRefStaticBox::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    Fill(dc, client, palette::kWindow);
    RECT text = client;
    InflateRect(&text, -kTextPadding, -kTextPadding);
    DrawTextIn(dc, AnsiToWide(m_text), text, palette::kText, DT_LEFT | DT_WORDBREAK);
}

// ---- Caption strip and panel -------------------------------------------------------------------

void CRefDecor::Paint(HDC dc, const RECT& client) {
    if (m_spec.className != "caption") {
        Fill(dc, client, palette::kPanel);
        DrawTextIn(dc, m_spec.text, client, palette::kText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        return;
    }
    Fill(dc, client, palette::kCaption);
    RECT text = client;
    text.left += 10;
    DrawTextIn(dc, m_spec.text.empty() ? WindowTitle() : m_spec.text, text, palette::kCaptionText,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

} // namespace vexilref

#include "coverart.h"

#include <gdiplus.h>

#include <math.h>

#include <memory>

#include "pngfile.h"

namespace shelfdemo {

namespace {

using namespace Gdiplus;

Rgb FromHsv(double h, double s, double v) {
    const double sector = h * 6.0;
    const int i = static_cast<int>(sector) % 6;
    const double f = sector - floor(sector);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (i) {
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    case 5:
        r = v, g = p, b = q;
        break;
    default:
        break;
    }
    auto byte = [](double x) { return static_cast<uint8_t>(lround(x * 255.0)); };
    return {byte(r), byte(g), byte(b)};
}

Color Mix(Rgb c, double towardWhite, BYTE alpha = 255) {
    auto mix = [towardWhite](uint8_t x) { return static_cast<BYTE>(lround(x + (255 - x) * towardWhite)); };
    return Color(alpha, mix(c.r), mix(c.g), mix(c.b));
}

Color Shade(Rgb c, double factor) {
    auto shade = [factor](uint8_t x) { return static_cast<BYTE>(lround(x * factor)); };
    return Color(255, shade(c.r), shade(c.g), shade(c.b));
}

// The first serif face the system has; Wine always has Tahoma, so the cover never lacks a font.
std::unique_ptr<FontFamily> PickFamily(bool serif) {
    static const wchar_t* const kSerif[] = {L"Georgia", L"Times New Roman", L"DejaVu Serif",
                                            L"Liberation Serif", L"Tahoma"};
    static const wchar_t* const kSans[] = {L"Segoe UI", L"Arial", L"DejaVu Sans", L"Liberation Sans",
                                           L"Tahoma"};
    for (const wchar_t* name : serif ? kSerif : kSans) {
        auto family = std::make_unique<FontFamily>(name);
        if (family->GetLastStatus() == Ok)
            return family;
    }
    return std::unique_ptr<FontFamily>(
        (serif ? FontFamily::GenericSerif() : FontFamily::GenericSansSerif())->Clone());
}

// True when every word fits the width on its own and the wrapped text fits the box.
bool Fits(Graphics& g, const std::wstring& text, const Font& font, const RectF& box,
          const StringFormat& wrapped) {
    StringFormat oneLine(StringFormatFlagsNoWrap);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L' ', start);
        if (end == std::wstring::npos)
            end = text.size();
        RectF word;
        g.MeasureString(text.c_str() + start, static_cast<INT>(end - start), &font, PointF(0, 0), &oneLine,
                        &word);
        if (word.Width > box.Width)
            return false;
        start = end + 1;
    }
    RectF needed;
    g.MeasureString(text.c_str(), static_cast<INT>(text.size()), &font, RectF(0, 0, box.Width, 10000),
                    &wrapped, &needed);
    return needed.Height <= box.Height;
}

// Draws text centred in the box at the largest size from maxSize down that fits without breaking
// a word.
void DrawFitted(Graphics& g, const std::wstring& text, const FontFamily& family, int style, REAL maxSize,
                REAL minSize, const RectF& box, const Brush& brush) {
    StringFormat format;
    format.SetAlignment(StringAlignmentCenter);
    format.SetLineAlignment(StringAlignmentCenter);
    format.SetTrimming(StringTrimmingEllipsisWord);
    REAL size = maxSize;
    for (; size > minSize; size -= 2) {
        Font font(&family, size, style, UnitPixel);
        if (Fits(g, text, font, box, format))
            break;
    }
    Font font(&family, size, style, UnitPixel);
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, box, &format, &brush);
}

void DrawDiamondRule(Graphics& g, REAL y, REAL left, REAL right, const Color& color) {
    Pen pen(color, 2.5f);
    const REAL mid = (left + right) / 2;
    g.DrawLine(&pen, left, y, mid - 16, y);
    g.DrawLine(&pen, mid + 16, y, right, y);
    const PointF diamond[] = {{mid, y - 9}, {mid + 9, y}, {mid, y + 9}, {mid - 9, y}};
    SolidBrush fill(color);
    g.FillPolygon(&fill, diamond, 4);
}

} // namespace

Rgb CoverColour(int id) {
    // Golden-ratio steps around the hue circle keep consecutive ids far apart; two brightness
    // levels separate the few ids whose hues land close together.
    const double hue = fmod(static_cast<double>(static_cast<unsigned>(id)) * 0.6180339887498949, 1.0);
    const double value = (id % 2 == 0) ? 0.80 : 0.86;
    return FromHsv(hue, 0.82, value);
}

bool WriteCoverPng(int id, const std::wstring& title, const std::wstring& author, const std::wstring& path) {
    const Rgb base = CoverColour(id);
    Bitmap bitmap(kCoverWidth, kCoverHeight, PixelFormat32bppARGB);
    if (bitmap.GetLastStatus() != Ok)
        return false;
    {
        Graphics g(&bitmap);
        if (g.GetLastStatus() != Ok)
            return false;
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        g.SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);

        const REAL w = kCoverWidth, h = kCoverHeight;
        SolidBrush background(Color(255, base.r, base.g, base.b));
        g.FillRectangle(&background, 0.0f, 0.0f, w, h);
        // The spine: a darker band along the left edge.
        SolidBrush spine(Shade(base, 0.62));
        g.FillRectangle(&spine, 0.0f, 0.0f, 22.0f, h);
        Pen spineLine(Shade(base, 0.45), 2.0f);
        g.DrawLine(&spineLine, 22.0f, 0.0f, 22.0f, h);

        // A light frame inside the board.
        const Color tint = Mix(base, 0.6);
        Pen frame(tint, 3.0f);
        g.DrawRectangle(&frame, 36.0f, 16.0f, w - 52.0f, h - 32.0f);
        Pen inner(tint, 1.0f);
        g.DrawRectangle(&inner, 42.0f, 22.0f, w - 64.0f, h - 44.0f);

        DrawDiamondRule(g, 68.0f, 62.0f, w - 36.0f, tint);
        DrawDiamondRule(g, 292.0f, 62.0f, w - 36.0f, tint);

        const auto serif = PickFamily(true);
        SolidBrush white(Color(255, 255, 255, 255));
        DrawFitted(g, title, *serif, FontStyleBold, 40.0f, 14.0f, RectF(52.0f, 84.0f, w - 88.0f, 192.0f),
                   white);
        SolidBrush light(Mix(base, 0.8));
        DrawFitted(g, author, *serif, FontStyleItalic, 24.0f, 12.0f, RectF(52.0f, 310.0f, w - 88.0f, 70.0f),
                   light);
    }
    return SaveBitmapPng(bitmap, path);
}

} // namespace shelfdemo

#include "drawing.h"

#include <objidl.h>
#include <gdiplus.h>

#include <uiassist/dpi.h>

#include <algorithm>
#include <vector>

namespace vexilref {
namespace {

// Tahoma is on every Windows; Wine maps it to a metric-compatible face of the system.
constexpr wchar_t kUiFace[] = L"Tahoma";
// Faces with Chinese glyphs, best first: Windows' own, then what Linux systems under Wine carry.
constexpr const wchar_t* kCjkFaces[] = {
    L"Microsoft YaHei UI", L"Microsoft YaHei",     L"SimSun",
    L"Noto Sans CJK SC",   L"WenQuanYi Micro Hei", L"Droid Sans Fallback"};
// "书架": what a face must draw to count as one with CJK glyphs.
constexpr wchar_t kCjkProbe[] = L"\u4e66\u67b6";

struct FontSpec {
    int height; // character height in pixels (negative lfHeight)
    int weight;
};
constexpr FontSpec kFontSpecs[] = {
    {12, FW_NORMAL}, // kBody
    {12, FW_BOLD},   // kBodyBold
    {11, FW_NORMAL}, // kSmall
    {13, FW_BOLD},   // kCaption
    {18, FW_BOLD},   // kHeading
};
static_assert(sizeof kFontSpecs / sizeof kFontSpecs[0] == static_cast<size_t>(FontKind::kCount),
              "one design per font kind");

// The UI face is asked for in the Western character set: under a Chinese code page the default
// set is GB2312, which the UI face lacks, and the font mapper would hand over whatever face claims
// it, on a system without one a face that draws every letter as a box. Chinese text is drawn in the
// CJK face, which is asked for in the default set.
HFONT MakeFont(const wchar_t* face, FontKind kind, UINT dpi, BYTE charset = DEFAULT_CHARSET) {
    const FontSpec& design = kFontSpecs[static_cast<int>(kind)];
    return CreateFontW(-vexil::ScaleToDpi(design.height, dpi), 0, 0, 0, design.weight, FALSE, FALSE, FALSE,
                       charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

// True when the system really has the face (not a substitute) and it draws the probe's glyphs.
bool FaceDrawsCjk(HDC dc, const wchar_t* face) {
    const vexil::ScopedGdiObject<HFONT> font(MakeFont(face, FontKind::kBody, vexil::kDesignDpi));
    if (!font.get())
        return false;
    vexil::ScopedSelectObject select(dc, font.get());
    wchar_t actual[LF_FACESIZE] = {};
    if (!GetTextFaceW(dc, LF_FACESIZE, actual) || _wcsicmp(actual, face) != 0)
        return false;
    WORD glyphs[2] = {};
    if (GetGlyphIndicesW(dc, kCjkProbe, 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS) != 2)
        return false;
    return glyphs[0] != 0xFFFF && glyphs[1] != 0xFFFF;
}

bool IsCjk(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

Gdiplus::Color ToGdiplus(COLORREF color) {
    return Gdiplus::Color(255, GetRValue(color), GetGValue(color), GetBValue(color));
}

void AddRoundRect(Gdiplus::GraphicsPath* path, const Gdiplus::RectF& r, float radius) {
    const float d = radius * 2;
    if (d <= 0 || d > r.Width || d > r.Height) {
        path->AddRectangle(r);
        return;
    }
    path->AddArc(r.X, r.Y, d, d, 180, 90);
    path->AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
    path->AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
    path->AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
    path->CloseFigure();
}

} // namespace

CDrawingResources& Drawing() {
    static CDrawingResources resources;
    return resources;
}

void CDrawingResources::AddUser() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_users;
}

void CDrawingResources::ReleaseUser() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_users > 0 && --m_users == 0)
        ReleaseLocked();
}

void CDrawingResources::ReleaseLocked() {
    m_fontsByDpi.clear();
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
}

bool CDrawingResources::EnsureGdiplus() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_gdiplusToken)
        return true;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return false;
    m_gdiplusToken = token;
    return true;
}

bool CDrawingResources::GdiplusRunning() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_gdiplusToken != 0;
}

const std::wstring& CDrawingResources::CjkFaceLocked() {
    if (!m_cjkResolved) {
        m_cjkResolved = true;
        const vexil::ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
        if (dc) {
            for (const wchar_t* face : kCjkFaces)
                if (FaceDrawsCjk(dc.get(), face)) {
                    m_cjkFace = face;
                    break;
                }
        }
    }
    return m_cjkFace;
}

HFONT CDrawingResources::FontLocked(FontKind kind, bool cjk, UINT dpi) {
    const int index = static_cast<int>(kind);
    if (index < 0 || index >= static_cast<int>(FontKind::kCount) || (cjk && CjkFaceLocked().empty()))
        return nullptr;
    vexil::ScopedGdiObject<HFONT>& font = m_fontsByDpi[dpi].fonts[cjk ? 1 : 0][index];
    if (!font)
        font.reset(cjk ? MakeFont(m_cjkFace.c_str(), kind, dpi) : MakeFont(kUiFace, kind, dpi, ANSI_CHARSET));
    return font.get();
}

HFONT CDrawingResources::UiFont(FontKind kind, UINT dpi) {
    std::lock_guard<std::mutex> lock(m_lock);
    HFONT font = FontLocked(kind, false, dpi);
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT CDrawingResources::CjkFont(FontKind kind, UINT dpi) {
    std::lock_guard<std::mutex> lock(m_lock);
    return FontLocked(kind, true, dpi);
}

bool NeedsCjkFont(const std::wstring& text) { return std::any_of(text.begin(), text.end(), IsCjk); }

void Fill(HDC dc, const RECT& rect, COLORREF color) {
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, COLORREF color, int width) {
    const RECT edges[] = {
        {rect.left, rect.top, rect.right, rect.top + width},
        {rect.left, rect.bottom - width, rect.right, rect.bottom},
        {rect.left, rect.top, rect.left + width, rect.bottom},
        {rect.right - width, rect.top, rect.right, rect.bottom},
    };
    for (const RECT& edge : edges)
        Fill(dc, edge, color);
}

namespace {

// Text whose characters need two faces: laid out by hand in runs of one face each.
class CMixedText {
public:
    CMixedText(HDC dc, const std::wstring& text, HFONT ui, HFONT cjk) : m_dc(dc), m_text(text) {
        m_fonts[0] = ui;
        m_fonts[1] = cjk;
        std::vector<WORD> glyphs(text.size());
        vexil::ScopedSelectObject select(dc, ui);
        GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS);
        m_face.resize(text.size());
        for (size_t i = 0; i < text.size(); ++i)
            m_face[i] = glyphs[i] == 0xFFFF && text[i] > L' ' ? 1 : 0;
        for (HFONT font : m_fonts) {
            vexil::ScopedSelectObject use(dc, font);
            TEXTMETRICW metrics = {};
            GetTextMetricsW(dc, &metrics);
            m_ascent = std::max<int>(m_ascent, metrics.tmAscent);
            m_descent = std::max<int>(m_descent, metrics.tmDescent);
        }
    }

    // Lays the text out in the rectangle; draws it when draw is true. Returns the height used.
    int Layout(const RECT& rect, UINT format, bool draw) {
        const int width = rect.right - rect.left, lineHeight = m_ascent + m_descent;
        std::vector<std::pair<size_t, size_t>> lines;
        if (format & DT_SINGLELINE) {
            lines.emplace_back(0, m_text.size());
        } else {
            size_t lineStart = 0, lastBreak = 0;
            int lineWidth = 0;
            for (size_t i = 0; i < m_text.size();) {
                if (m_text[i] == L'\n') {
                    lines.emplace_back(lineStart, i);
                    lineStart = lastBreak = ++i;
                    lineWidth = 0;
                    continue;
                }
                const size_t end = NextBreak(i);
                const int tokenWidth = Width(i, end);
                if ((format & DT_WORDBREAK) && lineWidth > 0 && lineWidth + tokenWidth > width &&
                    m_text[i] != L' ') {
                    lines.emplace_back(lineStart, lastBreak);
                    lineStart = i;
                    lineWidth = 0;
                }
                lineWidth += tokenWidth;
                lastBreak = i = end;
            }
            lines.emplace_back(lineStart, m_text.size());
        }
        const int height = static_cast<int>(lines.size()) * lineHeight;
        if (!draw)
            return height;
        int y = rect.top;
        if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
            y = rect.top + (rect.bottom - rect.top - lineHeight) / 2;
        else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM))
            y = rect.bottom - lineHeight;
        const UINT oldAlign = SetTextAlign(m_dc, TA_LEFT | TA_BASELINE);
        for (const auto& line : lines) {
            size_t end = line.second;
            while (end > line.first && m_text[end - 1] == L' ')
                --end;
            const int lineWidth = Width(line.first, end);
            int x = rect.left;
            if (format & DT_CENTER)
                x = rect.left + (width - lineWidth) / 2;
            else if (format & DT_RIGHT)
                x = rect.right - lineWidth;
            for (size_t i = line.first; i < end;) {
                size_t runEnd = i;
                while (runEnd < end && m_face[runEnd] == m_face[i])
                    ++runEnd;
                vexil::ScopedSelectObject font(m_dc, m_fonts[m_face[i]]);
                ExtTextOutW(m_dc, x, y + m_ascent, ETO_CLIPPED, &rect, m_text.c_str() + i,
                            static_cast<UINT>(runEnd - i), nullptr);
                x += Width(i, runEnd);
                i = runEnd;
            }
            y += lineHeight;
        }
        SetTextAlign(m_dc, oldAlign);
        return height;
    }

private:
    // Where the token that starts at begin ends: after a run of spaces, a CJK character, or a word.
    size_t NextBreak(size_t begin) const {
        size_t i = begin;
        if (m_text[i] == L' ') {
            while (i < m_text.size() && m_text[i] == L' ')
                ++i;
            return i;
        }
        if (IsCjk(m_text[i]))
            return i + 1;
        while (i < m_text.size() && m_text[i] != L' ' && m_text[i] != L'\n' && !IsCjk(m_text[i]))
            ++i;
        return i;
    }

    int Width(size_t begin, size_t end) const {
        int width = 0;
        for (size_t i = begin; i < end;) {
            size_t runEnd = i;
            while (runEnd < end && m_face[runEnd] == m_face[i])
                ++runEnd;
            vexil::ScopedSelectObject font(m_dc, m_fonts[m_face[i]]);
            SIZE size = {};
            GetTextExtentPoint32W(m_dc, m_text.c_str() + i, static_cast<int>(runEnd - i), &size);
            width += size.cx;
            i = runEnd;
        }
        return width;
    }

    HDC m_dc;
    const std::wstring& m_text;
    HFONT m_fonts[2];
    std::vector<unsigned char> m_face; // per character: 0 the UI face, 1 the CJK face
    int m_ascent = 0, m_descent = 0;
};

// True when the font has a glyph for every character of the text that is not white space.
bool HasAllGlyphs(HDC dc, HFONT font, const std::wstring& text) {
    vexil::ScopedSelectObject select(dc, font);
    std::vector<WORD> glyphs(text.size());
    if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (glyphs[i] == 0xFFFF && text[i] > L' ')
            return false;
    return true;
}

// Draws (or measures, with DT_CALCRECT) the text in the font, or in runs of two fonts.
int TextIn(HDC dc, UINT dpi, const std::wstring& text, RECT* rect, UINT format, FontKind kind) {
    HFONT ui = Drawing().UiFont(kind, dpi);
    HFONT single = ui;
    if (NeedsCjkFont(text)) {
        HFONT cjk = Drawing().CjkFont(kind, dpi);
        if (cjk && HasAllGlyphs(dc, cjk, text))
            single = cjk;
        else if (cjk && !HasAllGlyphs(dc, ui, text)) {
            CMixedText mixed(dc, text, ui, cjk);
            return mixed.Layout(*rect, format, !(format & DT_CALCRECT));
        }
    }
    vexil::ScopedSelectObject font(dc, single);
    return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), rect, format | DT_NOPREFIX);
}

} // namespace

void DrawTextIn(HDC dc, UINT dpi, const std::wstring& text, RECT rect, COLORREF color, UINT format,
                FontKind kind) {
    if (text.empty())
        return;
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    TextIn(dc, dpi, text, &rect, format & ~static_cast<UINT>(DT_CALCRECT), kind);
}

int MeasureTextHeight(HDC dc, UINT dpi, const std::wstring& text, int width, UINT format, FontKind kind) {
    if (text.empty())
        return 0;
    RECT rect = {0, 0, width, 0};
    return TextIn(dc, dpi, text, &rect, format | DT_CALCRECT, kind);
}

void DrawWrappedTextCentred(HDC dc, UINT dpi, const std::wstring& text, RECT rect, COLORREF color) {
    const int height =
        MeasureTextHeight(dc, dpi, text, rect.right - rect.left, DT_LEFT | DT_WORDBREAK, FontKind::kBody);
    if (height < rect.bottom - rect.top)
        rect.top += (rect.bottom - rect.top - height) / 2;
    DrawTextIn(dc, dpi, text, rect, color, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
}

void FillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF border) {
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    if (Drawing().EnsureGdiplus()) {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        // Inset by half a pixel so a one-pixel border lies on the rectangle's outer pixels.
        const Gdiplus::RectF area(rect.left + 0.5f, rect.top + 0.5f, rect.right - rect.left - 1.0f,
                                  rect.bottom - rect.top - 1.0f);
        Gdiplus::GraphicsPath path;
        AddRoundRect(&path, area, static_cast<float>(radius));
        Gdiplus::SolidBrush brush(ToGdiplus(fill));
        graphics.FillPath(&brush, &path);
        if (border != kNoColour) {
            Gdiplus::Pen pen(ToGdiplus(border), 1.0f);
            graphics.DrawPath(&pen, &path);
        }
        return;
    }
    const vexil::ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    const vexil::ScopedGdiObject<HPEN> pen(border == kNoColour ? nullptr : CreatePen(PS_SOLID, 1, border));
    vexil::ScopedSelectObject selectBrush(dc, brush.get());
    vexil::ScopedSelectObject selectPen(dc, pen ? pen.get() : GetStockObject(NULL_PEN));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius * 2, radius * 2);
}

void FillCircle(HDC dc, const RECT& bounds, COLORREF fill) {
    if (Drawing().EnsureGdiplus()) {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        Gdiplus::SolidBrush brush(ToGdiplus(fill));
        graphics.FillEllipse(&brush, static_cast<Gdiplus::REAL>(bounds.left),
                             static_cast<Gdiplus::REAL>(bounds.top),
                             static_cast<Gdiplus::REAL>(bounds.right - bounds.left),
                             static_cast<Gdiplus::REAL>(bounds.bottom - bounds.top));
        return;
    }
    const vexil::ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    vexil::ScopedSelectObject selectBrush(dc, brush.get());
    vexil::ScopedSelectObject selectPen(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, bounds.left, bounds.top, bounds.right + 1, bounds.bottom + 1);
}

void DrawCheck(HDC dc, const RECT& bounds, COLORREF color, float width) {
    const float w = static_cast<float>(bounds.right - bounds.left);
    const float h = static_cast<float>(bounds.bottom - bounds.top);
    const float x = static_cast<float>(bounds.left), y = static_cast<float>(bounds.top);
    if (Drawing().EnsureGdiplus()) {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        Gdiplus::Pen pen(ToGdiplus(color), width);
        pen.SetLineJoin(Gdiplus::LineJoinRound);
        const Gdiplus::PointF points[] = {
            {x + w * 0.22f, y + h * 0.52f}, {x + w * 0.42f, y + h * 0.72f}, {x + w * 0.78f, y + h * 0.30f}};
        graphics.DrawLines(&pen, points, 3);
        return;
    }
    const vexil::ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, static_cast<int>(width), color));
    vexil::ScopedSelectObject selectPen(dc, pen.get());
    MoveToEx(dc, static_cast<int>(x + w * 0.22f), static_cast<int>(y + h * 0.52f), nullptr);
    LineTo(dc, static_cast<int>(x + w * 0.42f), static_cast<int>(y + h * 0.72f));
    LineTo(dc, static_cast<int>(x + w * 0.78f), static_cast<int>(y + h * 0.30f));
}

COLORREF Blend(COLORREF a, COLORREF b, int amount) {
    auto mix = [amount](int x, int y) { return x + (y - x) * amount / 255; };
    return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
               mix(GetBValue(a), GetBValue(b)));
}

} // namespace vexilref

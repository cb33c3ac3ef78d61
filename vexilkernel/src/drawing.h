// What every control draws with: the colours, the fonts, the GDI+ session and a few GDI helpers.
//
// The fonts and the GDI+ session are the kernel's, shared by all its controls. They are made at
// first use and given back when the last skin window of the process goes away (CSkinWindow holds a
// user reference for its lifetime). That happens at WM_NCDESTROY, on a window thread in its normal
// context, never inside DllMain, where GdiplusShutdown must not run. A process that ends with skin
// windows still alive leaves both to the system.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include <uiassist/scopedhandle.h>
#include <vexilref/refprobe.h>

namespace vexilref {

// "No colour": a shape drawn without a border.
constexpr COLORREF kNoColour = 0xFFFFFFFF;

namespace palette {
constexpr COLORREF kWindow = RGB(246, 243, 236);
constexpr COLORREF kCaption = RGB(52, 64, 82);
constexpr COLORREF kCaptionText = RGB(255, 255, 255);
constexpr COLORREF kPanel = RGB(232, 226, 214);
constexpr COLORREF kText = RGB(40, 40, 40);
constexpr COLORREF kMutedText = RGB(110, 104, 96);
constexpr COLORREF kFrame = RGB(150, 140, 120);
constexpr COLORREF kTile = RGB(214, 200, 170);
constexpr COLORREF kTileCaption = RGB(255, 253, 248);
constexpr COLORREF kSelection = kRefSelectionColour;
constexpr COLORREF kSelectionText = RGB(255, 255, 255);
constexpr COLORREF kProgress = RGB(70, 160, 90);
constexpr COLORREF kProgressTrack = RGB(255, 253, 248);
constexpr COLORREF kDisabledText = RGB(150, 150, 150);
constexpr COLORREF kButton = RGB(250, 248, 243);
constexpr COLORREF kButtonHot = RGB(238, 232, 220);
constexpr COLORREF kButtonPressed = RGB(214, 200, 170);
constexpr COLORREF kBalloon = RGB(255, 249, 219);
constexpr COLORREF kBalloonBorder = RGB(196, 170, 100);
constexpr COLORREF kPage = RGB(255, 255, 255);
constexpr COLORREF kPageHeading = RGB(52, 64, 82);
} // namespace palette

enum class FontKind {
    kBody,     // labels, buttons, tile captions
    kBodyBold, // a tile's title, the user's name
    kSmall,    // authors, counts
    kCaption,  // a window's title
    kHeading,  // the heading of the browser's page
    kCount
};

class CDrawingResources {
public:
    CDrawingResources() = default;
    CDrawingResources(const CDrawingResources&) = delete;
    CDrawingResources& operator=(const CDrawingResources&) = delete;

    // A skin window comes and goes. The last one to go releases the fonts and ends GDI+.
    void AddUser();
    void ReleaseUser();

    // Starts GDI+ on first use. False when it cannot be started (drawing then goes on without it).
    bool EnsureGdiplus();
    // The font of that kind in the UI face, made for that DPI (its height is given at 96 DPI). Never
    // null (falls back to the stock GUI font). Valid while a user exists.
    HFONT UiFont(FontKind kind, UINT dpi);
    // The font of that kind in the system's first face with CJK glyphs; null when it has none.
    HFONT CjkFont(FontKind kind, UINT dpi);
    bool GdiplusRunning();

private:
    void ReleaseLocked();
    const std::wstring& CjkFaceLocked();
    HFONT FontLocked(FontKind kind, bool cjk, UINT dpi);

    std::mutex m_lock;
    int m_users = 0;
    ULONG_PTR m_gdiplusToken = 0;
    struct FontSet {
        vexil::ScopedGdiObject<HFONT> fonts[2][static_cast<int>(FontKind::kCount)]; // [needs CJK][kind]
    };
    std::map<UINT, FontSet> m_fontsByDpi; // a set per DPI a window of the process was drawn at
    bool m_cjkResolved = false;
    std::wstring m_cjkFace; // empty: none found, the UI face is used for everything
};

CDrawingResources& Drawing();

// True when the text holds characters of the CJK ranges (radicals, kana, ideographs, Hangul,
// full-width forms), which the UI face may lack.
bool NeedsCjkFont(const std::wstring& text);

void Fill(HDC dc, const RECT& rect, COLORREF color);
void Frame(HDC dc, const RECT& rect, COLORREF color, int width = 1);
// DrawTextW with the kind's font at that DPI, transparent background and no prefix processing. Text with CJK
// characters is drawn in a face that has their glyphs; when no face has all of the text's glyphs
// (Droid Sans Fallback under Wine has no Latin letters or digits), in runs of both faces, wrapped
// at spaces and between CJK characters, clipped instead of ellipsized.
void DrawTextIn(HDC dc, UINT dpi, const std::wstring& text, RECT rect, COLORREF color, UINT format,
                FontKind kind = FontKind::kBody);
// Height DrawTextW needs for the text in a rectangle of that width.
int MeasureTextHeight(HDC dc, UINT dpi, const std::wstring& text, int width, UINT format, FontKind kind);
// Body text wrapped at words in rect: centred vertically while it fits, from the top (and cut with
// an ellipsis) when it does not.
void DrawWrappedTextCentred(HDC dc, UINT dpi, const std::wstring& text, RECT rect, COLORREF color);
// A rounded rectangle, anti-aliased with GDI+ when it runs, else plain GDI. border kNoColour: none.
void FillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF border);
// A filled circle (anti-aliased when GDI+ runs).
void FillCircle(HDC dc, const RECT& bounds, COLORREF fill);
// A check mark inside the rectangle, in a pen of that width.
void DrawCheck(HDC dc, const RECT& bounds, COLORREF color, float width);

// Mixes two colours: amount 0 gives a, 255 gives b.
COLORREF Blend(COLORREF a, COLORREF b, int amount);

} // namespace vexilref

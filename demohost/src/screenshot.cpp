#include "screenshot.h"

#include <gdiplus.h>

#include <uiassist/scopedhandle.h>

#include <optional>

#include "pngfile.h"

namespace shelfdemo {

namespace {

// A top-down 32-bit DIB section with a memory DC selected into it, released in one place.
class Canvas {
public:
    Canvas(int width, int height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc.reset(CreateCompatibleDC(nullptr));
        m_bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0));
        if (m_dc && m_bitmap)
            m_select.emplace(m_dc.get(), m_bitmap.get());
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ok() const { return m_select.has_value() && m_bits != nullptr; }
    HDC Dc() const { return m_dc.get(); }
    const uint32_t* Bits() const { return static_cast<const uint32_t*>(m_bits); }

private:
    // In this order, so that the bitmap is put back before the DC and the bitmap go.
    vexil::ScopedMemoryDC m_dc;
    vexil::ScopedGdiObject<HBITMAP> m_bitmap;
    std::optional<vexil::ScopedSelectObject> m_select;
    void* m_bits = nullptr;
};

} // namespace

bool CaptureWindows(const std::vector<HWND>& bottomToTop, Image* image) {
    RECT area = {};
    bool any = false;
    for (HWND window : bottomToTop) {
        RECT rect;
        if (!IsWindowVisible(window) || !GetWindowRect(window, &rect))
            continue;
        if (!any)
            area = rect;
        else
            UnionRect(&area, &area, &rect);
        any = true;
    }
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (!any || width <= 0 || height <= 0)
        return false;
    Canvas canvas(width, height);
    if (!canvas.Ok())
        return false;
    PatBlt(canvas.Dc(), 0, 0, width, height, BLACKNESS);
    // A window thread paints only when no posted message waits, so parts of a window that is busy
    // (covers arriving) may still wait for their paint; a picture shows the window as it stands
    // once those paints are done, the way the user sees it a moment later.
    for (HWND window : bottomToTop)
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    bool copied = false;
    for (HWND window : bottomToTop) {
        RECT rect;
        if (!IsWindowVisible(window) || !GetWindowRect(window, &rect))
            continue;
        // The window's own DC reads the window's pixels, children included, whatever covers it.
        const vexil::ScopedWindowDC source(window, GetWindowDC(window));
        if (!source.get())
            continue;
        copied |= BitBlt(canvas.Dc(), rect.left - area.left, rect.top - area.top, rect.right - rect.left,
                         rect.bottom - rect.top, source.get(), 0, 0, SRCCOPY) != FALSE;
    }
    if (!copied)
        return false;
    GdiFlush();
    image->width = width;
    image->height = height;
    image->screenRect = area;
    image->pixels.assign(canvas.Bits(), canvas.Bits() + static_cast<size_t>(width) * height);
    for (uint32_t& pixel : image->pixels)
        pixel &= 0x00FFFFFF;
    return true;
}

bool SaveImagePng(const Image& image, const std::wstring& path) {
    if (image.width <= 0 || image.height <= 0)
        return false;
    std::vector<uint32_t> opaque(image.pixels);
    for (uint32_t& pixel : opaque)
        pixel |= 0xFF000000;
    Gdiplus::Bitmap bitmap(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(opaque.data()));
    if (bitmap.GetLastStatus() != Gdiplus::Ok)
        return false;
    return SaveBitmapPng(bitmap, path);
}

bool LoadImageFile(const std::wstring& path, Image* image) {
    Gdiplus::Bitmap bitmap(path.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok)
        return false;
    const int width = static_cast<int>(bitmap.GetWidth()), height = static_cast<int>(bitmap.GetHeight());
    if (width <= 0 || height <= 0)
        return false;
    Gdiplus::Rect whole(0, 0, width, height);
    Gdiplus::BitmapData data = {};
    if (bitmap.LockBits(&whole, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;
    image->width = width;
    image->height = height;
    image->screenRect = RECT{0, 0, width, height};
    image->pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < width; ++x)
            image->pixels[static_cast<size_t>(y) * width + x] = row[x] & 0x00FFFFFF;
    }
    bitmap.UnlockBits(&data);
    return true;
}

ColourSpot FindColour(const Image& image, Rgb colour, int tolerance) {
    ColourSpot spot;
    long long sumX = 0, sumY = 0;
    auto within = [tolerance](uint32_t channel, uint8_t want) {
        return abs(static_cast<int>(channel) - want) <= tolerance;
    };
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.At(x, y);
            if (within((p >> 16) & 0xFF, colour.r) && within((p >> 8) & 0xFF, colour.g) &&
                within(p & 0xFF, colour.b)) {
                ++spot.pixels;
                sumX += x;
                sumY += y;
            }
        }
    }
    if (spot.pixels > 0) {
        spot.centre.x = image.screenRect.left + static_cast<LONG>(sumX / spot.pixels);
        spot.centre.y = image.screenRect.top + static_cast<LONG>(sumY / spot.pixels);
    }
    return spot;
}

} // namespace shelfdemo

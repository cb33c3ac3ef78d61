#include "paintcache.h"

namespace vexilref {

void CPaintCache::Invalidate(const RECT* part) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!part) {
        m_allStale = true;
        return;
    }
    if (part->right > part->left && part->bottom > part->top)
        UnionRect(&m_stale, &m_stale, part);
}

void CPaintCache::Scroll(int dy) {
    if (dy == 0)
        return;
    const int height = m_size.cy, shift = dy > 0 ? dy : -dy;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_dc || m_allStale || shift >= height) {
        m_allStale = true;
        return;
    }
    // What was out of date moves with the picture.
    if (!IsRectEmpty(&m_stale)) {
        OffsetRect(&m_stale, 0, -dy);
        m_stale.top = m_stale.top < 0 ? 0 : m_stale.top;
        m_stale.bottom = m_stale.bottom > height ? height : m_stale.bottom;
    }
    if (dy > 0)
        BitBlt(m_dc.get(), 0, 0, m_size.cx, height - shift, m_dc.get(), 0, shift, SRCCOPY);
    else
        BitBlt(m_dc.get(), 0, shift, m_size.cx, height - shift, m_dc.get(), 0, 0, SRCCOPY);
    const RECT band = dy > 0 ? RECT{0, height - shift, m_size.cx, height} : RECT{0, 0, m_size.cx, shift};
    UnionRect(&m_stale, &m_stale, &band);
}

HDC CPaintCache::Update(SIZE size, const std::function<void(HDC)>& draw) {
    size.cx = size.cx > 0 ? size.cx : 1;
    size.cy = size.cy > 0 ? size.cy : 1;
    if (!m_dc || size.cx != m_size.cx || size.cy != m_size.cy) {
        Release();
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        m_bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_dc.reset(m_bitmap ? CreateCompatibleDC(nullptr) : nullptr);
        if (!m_dc) {
            Release();
            return nullptr;
        }
        m_oldBitmap = SelectObject(m_dc.get(), m_bitmap.get());
        m_size = size;
    }
    RECT stale;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        stale = m_allStale ? RECT{0, 0, size.cx, size.cy} : m_stale;
        m_allStale = false;
        m_stale = {};
    }
    const RECT all = {0, 0, size.cx, size.cy};
    if (IntersectRect(&stale, &stale, &all)) {
        const int saved = SaveDC(m_dc.get());
        IntersectClipRect(m_dc.get(), stale.left, stale.top, stale.right, stale.bottom);
        draw(m_dc.get());
        RestoreDC(m_dc.get(), saved);
        GdiFlush();
    }
    return m_dc.get();
}

void CPaintCache::Release() {
    if (m_dc && m_oldBitmap)
        SelectObject(m_dc.get(), m_oldBitmap);
    m_dc.reset();
    m_bitmap.reset();
    m_oldBitmap = nullptr;
    m_size = {};
    std::lock_guard<std::mutex> lock(m_lock);
    m_allStale = true;
}

} // namespace vexilref

// What a control drew last: its picture, kept between paints in a bitmap of the control's size, and
// the part of it that no longer shows the control's state. A paint that finds nothing out of date
// is a copy of the picture; a change redraws only the part it marked.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <functional>
#include <mutex>

namespace vexilref {

class CPaintCache {
public:
    CPaintCache() = default;
    ~CPaintCache() { Release(); }
    CPaintCache(const CPaintCache&) = delete;
    CPaintCache& operator=(const CPaintCache&) = delete;

    // Marks part of the picture (all of it when part is null) out of date. Any thread.
    void Invalidate(const RECT* part);
    // Moves the picture up by dy pixels (down when negative) and marks the band that moved in out of
    // date: a scrolled view draws only what came into view. Window thread.
    void Scroll(int dy);
    // Brings the picture to size and redraws what is out of date with draw, the DC clipped to that
    // part. Returns the DC that holds the picture, or null when no bitmap could be made (the caller
    // then draws directly). Window thread.
    HDC Update(SIZE size, const std::function<void(HDC)>& draw);
    // Gives the bitmap back; the next Update redraws everything.
    void Release();

private:
    std::mutex m_lock; // guards m_stale, which any thread may widen
    RECT m_stale = {}; // empty: the picture is up to date
    bool m_allStale = true;
    // Window thread only. Declared so that the DC goes first, the bitmap it held back in place.
    vexil::ScopedGdiObject<HBITMAP> m_bitmap;
    vexil::ScopedMemoryDC m_dc;
    HGDIOBJ m_oldBitmap = nullptr;
    SIZE m_size = {};
};

} // namespace vexilref

#include "covercache.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include <uiassist/scopedhandle.h>
#include "strutil.h"

namespace vexilref {
namespace {

// The file's bytes in movable global memory, as CreateStreamOnHGlobal wants them. Reading the file
// ourselves (rather than letting GDI+ open it) keeps the file open only for the read, so the host
// may replace a cover at any time.
IStream* ReadFileStream(const std::wstring& path) {
    vexil::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > kMaxCoverFileBytes)
        return nullptr;
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return nullptr;
    void* data = GlobalLock(memory);
    DWORD read = 0;
    const bool ok = data && ReadFile(file.get(), data, bytes, &read, nullptr) && read == bytes;
    if (data)
        GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (!ok || FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    return stream; // owns the memory now
}

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

} // namespace

bool DecodeCover(const std::wstring& path, SIZE box, COLORREF background, CoverPixels* cover) {
    if (!cover || path.empty() || box.cx <= 0 || box.cy <= 0)
        return false;
    try {
        std::unique_ptr<IStream, StreamRelease> stream(ReadFileStream(path));
        if (!stream)
            return false;
        // Declared after the stream: the image reads from it until it is destroyed.
        std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream.get()));
        if (!image || image->GetLastStatus() != Gdiplus::Ok)
            return false;
        const UINT width = image->GetWidth(), height = image->GetHeight();
        if (width == 0 || height == 0 || static_cast<UINT64>(width) * height > kMaxCoverPixels)
            return false;

        const double scale =
            std::min(static_cast<double>(box.cx) / width, static_cast<double>(box.cy) / height);
        const int outWidth = std::max(1, std::min<int>(box.cx, static_cast<int>(std::lround(width * scale))));
        const int outHeight =
            std::max(1, std::min<int>(box.cy, static_cast<int>(std::lround(height * scale))));
        // Transparent parts of the image show the tile's colour.
        const uint32_t fill =
            (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
        std::vector<uint32_t> pixels(static_cast<size_t>(outWidth) * outHeight, fill);
        {
            Gdiplus::Bitmap target(outWidth, outHeight, outWidth * 4, PixelFormat32bppRGB,
                                   reinterpret_cast<BYTE*>(pixels.data()));
            Gdiplus::Graphics graphics(&target);
            graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
            graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
            // Mirrored edges keep the border pixels from blending with what lies outside the image.
            Gdiplus::ImageAttributes attributes;
            attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
            const Gdiplus::Status status = graphics.DrawImage(
                image.get(), Gdiplus::Rect(0, 0, outWidth, outHeight), 0, 0, static_cast<INT>(width),
                static_cast<INT>(height), Gdiplus::UnitPixel, &attributes);
            if (status != Gdiplus::Ok)
                return false;
        }
        cover->width = outWidth;
        cover->height = outHeight;
        cover->pixels = std::move(pixels);
        return true;
    } catch (...) {
        return false; // out of memory for a large image: the tile keeps its placeholder
    }
}

void DrawCover(HDC dc, const CoverPixels& cover, int x, int y) {
    if (cover.pixels.empty())
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = cover.width;
    info.bmiHeader.biHeight = -cover.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(cover.width), static_cast<DWORD>(cover.height), 0, 0, 0,
                      static_cast<UINT>(cover.height), cover.pixels.data(), &info, DIB_RGB_COLORS);
}

CCoverCache::FileStamp CCoverCache::StampOf(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        stamp.written = data.ftLastWriteTime;
        stamp.sizeLow = data.nFileSizeLow;
    }
    return stamp;
}

const CoverPixels* CCoverCache::Get(int id, unsigned generation, const std::string& ansiPath, SIZE box,
                                    COLORREF background) {
    // Only asked when the tile is drawn afresh, which the kept picture of the matrix makes rare.
    const std::wstring path = AnsiToWide(ansiPath);
    const FileStamp stamp = StampOf(path);
    auto found = m_byId.find(id);
    if (found != m_byId.end()) {
        Entry& entry = *found->second;
        if (entry.generation == generation && entry.box.cx == box.cx && entry.box.cy == box.cy &&
            entry.stamp == stamp) {
            m_entries.splice(m_entries.begin(), m_entries, found->second);
            return entry.decoded ? &entry.cover : nullptr;
        }
        Erase(found->second);
    }
    Entry entry{id, generation, box, stamp, false, {}};
    ++m_decodes;
    entry.decoded = DecodeCover(path, box, background, &entry.cover);
    m_entries.push_front(std::move(entry));
    m_byId[id] = m_entries.begin();
    if (m_entries.front().decoded) {
        ++m_decoded;
        m_bytes += m_entries.front().cover.pixels.size() * sizeof(uint32_t);
    }
    return m_entries.front().decoded ? &m_entries.front().cover : nullptr;
}

bool CCoverCache::Has(int id, unsigned generation, SIZE box) const {
    auto found = m_byId.find(id);
    return found != m_byId.end() && found->second->generation == generation &&
           found->second->box.cx == box.cx && found->second->box.cy == box.cy;
}

void CCoverCache::Erase(std::list<Entry>::iterator entry) {
    if (entry->decoded) {
        --m_decoded;
        m_bytes -= entry->cover.pixels.size() * sizeof(uint32_t);
    }
    m_byId.erase(entry->id);
    m_entries.erase(entry);
}

void CCoverCache::Trim(size_t count) {
    // The entry just drawn stays, however large.
    while (m_entries.size() > count || (m_bytes > kMaxCoverCacheBytes && m_entries.size() > 1))
        Erase(std::prev(m_entries.end()));
}

void CCoverCache::Clear() { Trim(0); }

} // namespace vexilref

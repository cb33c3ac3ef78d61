// Book covers as the matrix draws them: image files decoded with GDI+ and scaled to a tile, and
// the small cache that keeps the decoded covers of the tiles on view.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexilref {

// Files above this size are not read: no cover needs it, and it bounds what one tile can cost.
constexpr DWORD kMaxCoverFileBytes = 32u << 20;
// Images with more pixels than this (4000 x 4000) are not decoded: 64 MB of pixels once decoded.
constexpr UINT64 kMaxCoverPixels = 16u * 1000u * 1000u;

// A cover scaled to fit a tile: top-down 32-bit BGRx pixels, already composited on the tile colour.
struct CoverPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Decodes the file (any format GDI+ reads: PNG, JPEG, BMP, GIF, ...) and scales it to the largest
// size that fits in box with its aspect ratio kept. False when the file is missing, too large or not
// an image. GDI+ must be running.
bool DecodeCover(const std::wstring& path, SIZE box, COLORREF background, CoverPixels* cover);

// Draws the cover with its top-left corner at (x, y).
void DrawCover(HDC dc, const CoverPixels& cover, int x, int y);

// What the decoded pixels of all kept covers may take at most, whatever the view holds.
constexpr size_t kMaxCoverCacheBytes = 24u << 20;

// Decoded covers by book id, most recently drawn first. Used on the window thread only.
class CCoverCache {
public:
    // The cover of the book as named by generation (a new SetBookImage gives a new generation),
    // decoded now unless a decode of that generation for that box is kept and the file was not
    // written since. Null when it does not decode; the failure is kept as well, so a broken file is
    // not read again at every paint.
    const CoverPixels* Get(int id, unsigned generation, const std::string& ansiPath, SIZE box,
                           COLORREF background);
    // True when the cover of that generation is kept for that box, decoded or failed.
    bool Has(int id, unsigned generation, SIZE box) const;
    // Keeps at most the count most recently used entries, within kMaxCoverCacheBytes.
    void Trim(size_t count);
    void Clear();

    size_t DecodedCount() const { return m_decoded; }
    int Decodes() const { return m_decodes; }

private:
    // When and how large the file was when it was decoded.
    struct FileStamp {
        FILETIME written = {};
        DWORD sizeLow = 0;
        bool operator==(const FileStamp& other) const {
            return written.dwLowDateTime == other.written.dwLowDateTime &&
                   written.dwHighDateTime == other.written.dwHighDateTime && sizeLow == other.sizeLow;
        }
    };
    struct Entry {
        int id;
        unsigned generation;
        SIZE box;
        FileStamp stamp;
        bool decoded;
        CoverPixels cover;
    };
    static FileStamp StampOf(const std::wstring& path);
    void Erase(std::list<Entry>::iterator entry);

    std::list<Entry> m_entries; // most recently used first
    std::unordered_map<int, std::list<Entry>::iterator> m_byId;
    size_t m_decoded = 0; // entries that hold pixels
    size_t m_bytes = 0;   // their pixels' size
    int m_decodes = 0;    // decode attempts so far
};

} // namespace vexilref

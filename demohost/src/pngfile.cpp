#include "pngfile.h"

#include <vector>

namespace shelfdemo {

namespace {

// The class id of the GDI+ encoder for a MIME type.
bool GetEncoderClsid(const wchar_t* mimeType, CLSID* clsid) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0 || bytes == 0)
        return false;
    std::vector<BYTE> buffer(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (encoders[i].MimeType && wcscmp(encoders[i].MimeType, mimeType) == 0) {
            *clsid = encoders[i].Clsid;
            return true;
        }
    }
    return false;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

} // namespace

bool SaveBitmapPng(Gdiplus::Bitmap& bitmap, const std::wstring& path) {
    CLSID png;
    if (!GetEncoderClsid(L"image/png", &png))
        return false;
    // A temporary name that no "<id>.*" search can match (it starts with "~" and has no point
    // after the digits), so a reader never sees a half-written cover.
    wchar_t temp[MAX_PATH] = {};
    if (!GetTempFileNameW(FolderOf(path).c_str(), L"~cv", 0, temp))
        return false;
    if (bitmap.Save(temp, &png, nullptr) != Gdiplus::Ok) {
        DeleteFileW(temp);
        return false;
    }
    if (!MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp);
        return false;
    }
    return true;
}

} // namespace shelfdemo

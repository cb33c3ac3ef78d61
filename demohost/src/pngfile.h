// PNG files through GDI+ (Windows' own encoder); GDI+ must be started by the program.
#pragma once

#include <windows.h>

#include <gdiplus.h>

#include <string>

namespace shelfdemo {

// Writes the bitmap as PNG at path, replacing an existing file only once the new one is complete.
bool SaveBitmapPng(Gdiplus::Bitmap& bitmap, const std::wstring& path);

} // namespace shelfdemo

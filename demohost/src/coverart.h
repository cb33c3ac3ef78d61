// The covers the demo host "fetches": drawn with GDI+ for each book and written as PNG files.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>

namespace shelfdemo {

struct Rgb {
    uint8_t r, g, b;
};

// The cover's background colour: saturated, derived from the id alone, and different enough for
// neighbouring ids that each tile on the shelf can be told apart by it.
Rgb CoverColour(int id);

// The size every cover is drawn at (a book's proportions).
constexpr int kCoverWidth = 300;
constexpr int kCoverHeight = 420;

// Draws the cover of (title, author) on the id's colour and writes it as a PNG file at path. The
// file appears complete or not at all: it is written under a temporary name in the same folder
// and then renamed. GDI+ must be started. Returns false (and leaves no file) on any failure.
bool WriteCoverPng(int id, const std::wstring& title, const std::wstring& author, const std::wstring& path);

} // namespace shelfdemo

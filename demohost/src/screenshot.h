// Pictures of the demo's windows: captured from the windows themselves, searched for the covers'
// colours, and saved as PNG.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

#include "coverart.h"

namespace shelfdemo {

// 32-bit pixels, top row first, 0x00RRGGBB.
struct Image {
    int width = 0;
    int height = 0;
    RECT screenRect = {}; // where the picture was on the screen
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Captures the windows into one picture covering all of them, each copied from its own window
// (so other programs' windows in front do not spoil it), painted in the order given: bottom
// first. Windows that are not visible are left out. False when nothing could be captured.
bool CaptureWindows(const std::vector<HWND>& bottomToTop, Image* image);

bool SaveImagePng(const Image& image, const std::wstring& path);
// Reads a PNG (or any format GDI+ decodes) into an image. GDI+ must be started.
bool LoadImageFile(const std::wstring& path, Image* image);

struct ColourSpot {
    int pixels = 0;    // how many pixels have the colour
    POINT centre = {}; // their centre, in screen coordinates
};

// Where the colour appears in the picture (each channel within tolerance).
ColourSpot FindColour(const Image& image, Rgb colour, int tolerance);

// The pixel count from which a cover counts as shown: a cover scaled down to a small tile still
// leaves far more pixels of its background than this, a stray pixel never does.
constexpr int kMinCoverPixels = 150;
constexpr int kColourTolerance = 4;

} // namespace shelfdemo

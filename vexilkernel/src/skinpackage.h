// The skin package: named windows with their designed size, title and controls, read from the text
// format described in SKINFORMAT.md. A package is immutable once read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vexilref {

// The window edges a control keeps its designed distance to when the window is sized. A control
// held by neither side of an axis keeps its size and stays centred on that axis.
enum : unsigned {
    kAnchorLeft = 1,
    kAnchorTop = 2,
    kAnchorRight = 4,
    kAnchorBottom = 8,
    kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

struct ControlSpec {
    std::string name;      // in the thread's ANSI code page, as GetControl receives it
    std::string className; // lower-case ASCII; unknown classes are kept and refused when built
    RECT rect = {};        // client coordinates of the skin window at its designed size
    unsigned anchors = kAnchorLeft | kAnchorTop;
    std::wstring text;
    int line = 0; // where the control is declared, for messages
};

struct WindowSpec {
    std::wstring name;
    SIZE size = {};
    SIZE minSize = {}; // the smallest size the user may drag the window to; 0: no limit
    std::wstring title;
    std::vector<ControlSpec> controls;
};

// Where a control stands when its window's client area is client: its designed rectangle moved
// and stretched as its anchors say, at the window's DPI. Never inverted.
RECT PlaceControl(const ControlSpec& control, SIZE design, SIZE client, UINT dpi);

struct SkinPackage {
    std::vector<WindowSpec> windows;

    // The window of that name (compared exactly), or null.
    const WindowSpec* FindWindow(const std::wstring& name) const;
};

// Limits that keep a malformed or hostile file from costing much.
constexpr size_t kMaxPackageBytes = 1 << 20;
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxNameLength = 128;
constexpr size_t kMaxControlsPerWindow = 512;
constexpr size_t kMaxWindows = 256;
constexpr int kMaxCoordinate = 16384;

// Parses the text of a package. On failure returns false and sets error to "line N: reason".
bool ParseSkinPackage(const std::string& text, SkinPackage* package, std::string* error);
// Reads and parses the file (wide path). On failure returns false and sets error.
bool LoadSkinPackage(const std::wstring& path, SkinPackage* package, std::string* error);

} // namespace vexilref

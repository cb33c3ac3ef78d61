// The skin package: named windows with their designed size, title and controls, read from the text
// format described in SKINFORMAT.md. A package is immutable once read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vexilref {

struct ControlSpec {
    std::string name;      // in the thread's ANSI code page, as GetControl receives it
    std::string className; // lower-case ASCII; unknown classes are kept and refused when built
    RECT rect = {};        // client coordinates of the skin window
    std::wstring text;
    int line = 0; // where the control is declared, for messages
};

struct WindowSpec {
    std::wstring name;
    SIZE size = {};
    std::wstring title;
    std::vector<ControlSpec> controls;
};

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

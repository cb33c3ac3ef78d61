// The window table of the module: which window object each live window of the window class belongs
// to, from WM_NCCREATE to WM_NCDESTROY. Any thread (every access holds the table's lock).
#pragma once

#include <windows.h>

#include <cstddef>

class CWin32Window;

namespace vexil {

// Binds hwnd to window; an entry left for the same handle (a window whose object went away without
// its WM_NCDESTROY) is replaced and reported.
void BindWindow(HWND hwnd, CWin32Window* window);
// The object hwnd is bound to, or null.
CWin32Window* LookupWindow(HWND hwnd);
void UnbindWindow(HWND hwnd);
// Removes every entry that still names window; returns how many there were.
size_t UnbindObject(const CWin32Window* window);

} // namespace vexil

// Acting on the shelf as a user does: real mouse input at a point on the screen, and choosing an
// item of an open popup menu. Used by the scripted session only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace shelfdemo {

enum class MouseButton { Left, Right };

// Moves the pointer to the screen point and clicks there, through the system's input queue, so the
// window under the point gets what a user's click gives it.
bool ClickAt(POINT screen, MouseButton button);
// Gives the window under the screen point the messages of a Ctrl+click there. Posted, not typed:
// under X, Wine takes the modifier keys from the X server's keyboard, where none is ever held,
// whenever a window gets the focus or the pointer, so a Ctrl pressed through the input queue was
// now and then let go again before the click was read.
bool CtrlClickAt(POINT screen);

// The first window below parent (at any depth) of that window class, or null.
HWND FindDescendantByClass(HWND parent, const wchar_t* className);
// Visible top-level windows of this process with that class, in z-order (top first).
std::vector<HWND> FindProcessWindows(const wchar_t* className);
// Visible top-level windows of a thread with that class.
std::vector<HWND> FindThreadWindows(DWORD threadId, const wchar_t* className);
std::wstring ClassNameOf(HWND window);

// The popup menu window that is open in this process, or null.
HWND FindOpenPopupMenu();
// Whether the open menu holds the command and whether it is checked.
bool MenuHasCommand(HWND menuWindow, UINT command, bool* checked);
// Clicks the menu item of the command, as a user picks it. False when the menu has no such item.
bool ClickMenuCommand(HWND menuWindow, UINT command);
// Closes any popup menu left open in this process (Escape, as a user would).
void DismissOpenMenus();

} // namespace shelfdemo

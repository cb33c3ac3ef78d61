// The one place where the framework and the shelf convert between wide and narrow text.
#pragma once

#include <windows.h>

#include <string>

namespace vexil {

// Wide to narrow in the calling thread's ANSI code page (CP_THREAD_ACP, no flags, no default
// character): characters outside the code page become the code page's default character.
// A null text gives "".
std::string WideToAnsi(const wchar_t* text);
std::string WideToAnsi(const std::wstring& text);
// Wide to narrow in the calling thread's ANSI code page, exactly or not at all: false (and "") when
// a character has no form of its own there. Best-fit mapping would make "\u03a9" an "O" and a
// Chinese name "??", a text that names something else.
bool WideToAnsiExact(const std::wstring& text, std::string& narrow);
// A path as a narrow contract can carry it: the path itself when it converts exactly, otherwise its
// short (8.3) form when that one does. A file not written yet keeps its name under its folder's
// short form. False (and "") when neither has an exact form (a volume without short names): a path
// that would name another file is never given.
bool NarrowPath(const std::wstring& path, std::string& narrow);
// Narrow text in the given code page to wide. A null text gives L"".
std::wstring AnsiToWide(const char* text, UINT codePage = CP_THREAD_ACP);
// Shows a message box whose texts are stored in the GBK code page (936), converted so that the user
// reads them on any system. Returns the MessageBoxW result.
int MessageBoxGbk(HWND owner, const char* textGbk, const char* captionGbk, UINT type);

} // namespace vexil

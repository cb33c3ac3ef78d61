// Conversions between the kernel's string encodings: UTF-8 (package files), UTF-16 (Win32 APIs and
// drawing) and the thread's ANSI code page (texts and names the contract passes as narrow strings).
#pragma once

#include <string>

namespace vexilref {

std::wstring Utf8ToWide(const std::string& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
// A narrow string the contract allows to be null.
inline std::string OrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

} // namespace vexilref

#include "strutil.h"

#include <windows.h>

namespace vexilref {
namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), length, &wide[0], needed);
    return wide;
}

} // namespace

std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text); }

std::wstring AnsiToWide(const std::string& text) { return ToWide(CP_THREAD_ACP, 0, text); }

std::string WideToAnsi(const std::wstring& text) {
    if (text.empty() || text.size() > INT_MAX)
        return std::string();
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, &narrow[0], needed, nullptr, nullptr);
    return narrow;
}

} // namespace vexilref

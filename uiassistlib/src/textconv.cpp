// Text and path conversions between code pages. Any thread.
#include <uiassist/textconv.h>

namespace vexil {

namespace {

constexpr UINT kGbkCodePage = 936;

} // namespace

std::string WideToAnsi(const wchar_t* text) {
    if (!text || !*text)
        return std::string();
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return std::string();
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, &result[0], bytes, nullptr, nullptr);
    result.resize(static_cast<size_t>(bytes) - 1);
    return result;
}

std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text.c_str()); }

bool WideToAnsiExact(const std::wstring& text, std::string& narrow) {
    narrow.clear();
    if (text.empty())
        return true;
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    BOOL* usedDefaultFlag = &usedDefault;
    int bytes =
        WideCharToMultiByte(CP_THREAD_ACP, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultFlag);
    if (bytes == 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
        // A system whose ANSI code page is UTF-8 takes neither flag nor default; every valid text
        // converts exactly there, and a broken surrogate fails instead of becoming a replacement.
        flags = WC_ERR_INVALID_CHARS;
        usedDefaultFlag = nullptr;
        bytes = WideCharToMultiByte(CP_THREAD_ACP, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (bytes <= 0)
        return false;
    std::string result(static_cast<size_t>(bytes), '\0');
    const int written = WideCharToMultiByte(CP_THREAD_ACP, flags, text.data(), length, &result[0], bytes,
                                            nullptr, usedDefaultFlag);
    if (written != bytes || usedDefault)
        return false;
    narrow = std::move(result);
    return true;
}

namespace {

// The short form of an existing file or folder; "" when the system has none to give.
std::wstring ShortPathOf(const std::wstring& path) {
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring shortPath(size, L'\0');
    const DWORD length = GetShortPathNameW(path.c_str(), &shortPath[0], size);
    if (length == 0 || length >= size)
        return {};
    shortPath.resize(length);
    return shortPath;
}

} // namespace

bool NarrowPath(const std::wstring& path, std::string& narrow) {
    if (WideToAnsiExact(path, narrow))
        return true;
    std::wstring shortPath = ShortPathOf(path);
    if (shortPath.empty()) {
        // Not on disk yet (a cover the host is still writing): its folder is.
        const size_t slash = path.find_last_of(L"\\/");
        if (slash != std::wstring::npos && slash > 0) {
            const std::wstring folder = ShortPathOf(path.substr(0, slash));
            if (!folder.empty())
                shortPath = folder + path.substr(slash);
        }
    }
    if (!shortPath.empty() && WideToAnsiExact(shortPath, narrow))
        return true;
    narrow.clear();
    return false;
}

std::wstring AnsiToWide(const char* text, UINT codePage) {
    if (!text || !*text)
        return std::wstring();
    const int chars = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (chars <= 1)
        return std::wstring();
    std::wstring result(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &result[0], chars);
    result.resize(static_cast<size_t>(chars) - 1);
    return result;
}

int MessageBoxGbk(HWND owner, const char* textGbk, const char* captionGbk, UINT type) {
    const std::wstring text = AnsiToWide(textGbk, kGbkCodePage);
    const std::wstring caption = AnsiToWide(captionGbk, kGbkCodePage);
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

} // namespace vexil

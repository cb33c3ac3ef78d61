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

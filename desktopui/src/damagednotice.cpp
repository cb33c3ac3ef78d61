// The damaged-installation notice and opening a web address. Any thread.
#include "damagednotice.h"

#include <uiassist/textconv.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "product.h"

namespace {

// ---- The damaged-installation notice, in the GBK code page (936) ----
// "检测到" + product + "的部分文件已被修改或损坏，不是原版文件。" (the product's files were found
// modified or damaged: they are not genuine files)
constexpr char kNoticeLine1Head[] = "\xbc\xec\xb2\xe2\xb5\xbd";
constexpr char kNoticeLine1Tail[] =
    "\xb5\xc4\xb2\xbf\xb7\xd6\xce\xc4\xbc\xfe\xd2\xd1\xb1\xbb\xd0\xde\xb8\xc4\xbb\xf2"
    "\xcb\xf0\xbb\xb5\xa3\xac"
    "\xb2\xbb\xca\xc7\xd4\xad\xb0\xe6\xce\xc4\xbc\xfe\xa1\xa3";
// "请重新安装" + product + "，并进行木马扫描。" (please reinstall the product and run a trojan scan)
constexpr char kNoticeLine2Head[] = "\xc7\xeb\xd6\xd8\xd0\xc2\xb0\xb2\xd7\xb0";
constexpr char kNoticeLine2Tail[] = "\xa3\xac"
                                    "\xb2\xa2\xbd\xf8\xd0\xd0\xc4\xbe\xc2\xed\xc9\xa8\xc3\xe8\xa1\xa3";
// "被破坏的文件:" (damaged file:), followed by the file name and a space.
constexpr char kNoticeFileLabel[] = "\xb1\xbb\xc6\xc6\xbb\xb5\xb5\xc4\xce\xc4\xbc\xfe:";
// " 是否立即下载最新版本？" (download the latest version now?)
constexpr char kNoticeQuestion[] =
    " \xca\xc7\xb7\xf1\xc1\xa2\xbc\xb4\xcf\xc2\xd4\xd8\xd7\xee\xd0\xc2\xb0\xe6\xb1\xbe"
    "\xa3\xbf";
// Caption: product + " 文件校验失败" (file verification failed).
constexpr char kNoticeCaptionTail[] = " \xce\xc4\xbc\xfe\xd0\xa3\xd1\xe9\xca\xa7\xb0\xdc";
constexpr size_t kNoticeBytes = 512;
constexpr UINT kNoticeCodePage = 936;

// Shown when the system has no text for a failed launch.
constexpr wchar_t kNoErrorText[] = L" Sorry, cannot find this error info. ";
// Web addresses this long or longer are not opened.
constexpr size_t kMaxUrlChars = 1024;

// The longest prefix of name that fits into room bytes without splitting a double-byte character.
std::string FitName(const char* name, size_t room) {
    const size_t length = std::strlen(name);
    if (length <= room)
        return std::string(name, length);
    size_t end = 0;
    while (end < room) {
        const size_t step = ::IsDBCSLeadByteEx(kNoticeCodePage, static_cast<BYTE>(name[end])) ? 2 : 1;
        if (end + step > room)
            break;
        end += step;
    }
    return std::string(name, end);
}

} // namespace

void ShowDamagedInstallNotice(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0')
        return;
    // The file name gets whatever room the fixed texts leave, so the question always survives.
    const std::string fixedHead = std::string(kNoticeLine1Head) + bookrack::kProductName + kNoticeLine1Tail +
                                  "\r\n" + kNoticeLine2Head + bookrack::kProductName + kNoticeLine2Tail +
                                  "\r\n\r\n" + kNoticeFileLabel;
    const std::string fixedTail = std::string(" \r\n\r\n\r\n") + kNoticeQuestion;
    const size_t fixed = fixedHead.size() + fixedTail.size();
    const size_t room = fixed < kNoticeBytes - 1 ? kNoticeBytes - 1 - fixed : 0;
    const std::string name = FitName(fileName, room);

    char body[kNoticeBytes];
    std::snprintf(body, sizeof(body), "%s%s%s", fixedHead.c_str(), name.c_str(), fixedTail.c_str());
    const std::string caption = std::string(bookrack::kProductName) + kNoticeCaptionTail;

    const int answer =
        vexil::MessageBoxGbk(nullptr, body, caption.c_str(), MB_YESNO | MB_ICONERROR | MB_TOPMOST);
    if (answer == IDYES)
        OpenUrlInBrowser(bookrack::kDownloadPageUrl);
    ::TerminateProcess(::GetCurrentProcess(), 0);
}

bool ShowNoticeIfSkinDamaged(int createResult) {
    if (createResult == 0)
        return false;
    ShowDamagedInstallNotice(bookrack::kSkinPackageFile);
    return true;
}

HINSTANCE OpenUrlInBrowser(const wchar_t* address) {
    if (address == nullptr || std::wcslen(address) >= kMaxUrlChars)
        return nullptr;
    // The address itself, opened with the shell's open verb: the user's own browser takes it, and no
    // program is looked up by name through the search path (a planted explorer.exe in the current
    // folder would be run). The launch is handed over before the call returns: the process ends
    // right after it when the notice called.
    SHELLEXECUTEINFOW launch = {};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    launch.lpVerb = L"open";
    launch.lpFile = address;
    launch.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&launch)) {
        // The launch's own error, taken before anything else can change it.
        const DWORD error = ::GetLastError();
        wchar_t* text = nullptr;
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        ::MessageBoxW(nullptr, text != nullptr ? text : kNoErrorText, L"Error", MB_OK);
        if (text != nullptr)
            ::LocalFree(text);
        // A failure the shell did not put into its result still reads as one.
        if (reinterpret_cast<INT_PTR>(launch.hInstApp) > 32)
            launch.hInstApp = nullptr;
    }
    return launch.hInstApp;
}

#include "shelftest/msgbox.h"

#include <vector>

namespace shelftest {
namespace {

constexpr int kDialogTextId = 0xFFFF;
constexpr DWORD kPollMs = 20;

std::wstring TextOf(HWND hwnd) {
    if (hwnd == nullptr)
        return {};
    std::vector<wchar_t> buffer(4096);
    const int n = GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), n > 0 ? n : 0);
}

struct BoxSearch {
    DWORD pid;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t className[64] = {};
    if (pid != search->pid || !GetClassNameW(hwnd, className, 64) || lstrcmpW(className, L"#32770") != 0)
        return TRUE;
    if (!search->caption->empty() && TextOf(hwnd) != *search->caption)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

} // namespace

FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs) {
    FoundMessageBox result;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    BoxSearch search{pid, &caption, nullptr};
    for (;;) {
        search.found = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        // A box is built hidden and filled before it shows; take it once it is visible.
        if (search.found != nullptr && IsWindowVisible(search.found))
            break;
        if (GetTickCount64() >= deadline)
            return result;
        Sleep(kPollMs);
    }
    result.found = true;
    result.caption = TextOf(search.found);
    result.text = TextOf(GetDlgItem(search.found, kDialogTextId));
    result.exStyle = static_cast<DWORD>(GetWindowLongW(search.found, GWL_EXSTYLE));
    result.hasYes = GetDlgItem(search.found, IDYES) != nullptr;
    result.hasNo = GetDlgItem(search.found, IDNO) != nullptr;
    result.hasOk = GetDlgItem(search.found, IDOK) != nullptr;
    if (answer != 0)
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, answer)));
    return result;
}

} // namespace shelftest

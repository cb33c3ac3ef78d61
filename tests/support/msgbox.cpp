#include "shelftest/msgbox.h"

#include "shelftest/wait.h"

#include <vector>

namespace shelftest {
namespace {

std::wstring TextOf(HWND hwnd) {
    std::vector<wchar_t> buffer(4096);
    const int n = hwnd ? GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size())) : 0;
    return std::wstring(buffer.data(), n > 0 ? n : 0);
}

// A box is built hidden and filled before it shows: taken once it is visible.
HWND FindBox(DWORD pid, const std::wstring& caption) {
    for (HWND hwnd : WindowsOfClass(L"#32770", pid)) {
        if (IsWindowVisible(hwnd) && (caption.empty() || TextOf(hwnd) == caption))
            return hwnd;
    }
    return nullptr;
}

} // namespace

FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindBox(pid, caption)) != nullptr; }, timeoutMs))
        return {};
    const FoundMessageBox result{true,
                                 TextOf(box),
                                 TextOf(GetDlgItem(box, 0xFFFF)),
                                 GetDlgItem(box, IDYES) != nullptr,
                                 GetDlgItem(box, IDNO) != nullptr,
                                 GetDlgItem(box, IDOK) != nullptr};
    if (answer != 0)
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
    return result;
}

} // namespace shelftest

#include "userinput.h"

namespace shelfdemo {

namespace {

// Asks a popup menu window for its menu (documented for the "#32768" class).
constexpr UINT kMenuGetHMenu = 0x01E1; // MN_GETHMENU

void AddMouse(std::vector<INPUT>& inputs, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    inputs.push_back(input);
}

struct ClassSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindChildProc(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ClassSearch*>(param);
    if (ClassNameOf(window) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct WindowList {
    const wchar_t* className;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindowProc(HWND window, LPARAM param) {
    auto* list = reinterpret_cast<WindowList*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassNameOf(window) == list->className)
        list->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectThreadWindowProc(HWND window, LPARAM param) {
    auto* list = reinterpret_cast<WindowList*>(param);
    if (IsWindowVisible(window) && ClassNameOf(window) == list->className)
        list->windows.push_back(window);
    return TRUE;
}

int MenuPosition(HMENU menu, UINT command) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        if (GetMenuItemID(menu, i) == command)
            return i;
    return -1;
}

HMENU MenuOf(HWND menuWindow) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(menuWindow, kMenuGetHMenu, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
        return nullptr;
    return reinterpret_cast<HMENU>(result);
}

} // namespace

std::wstring ClassNameOf(HWND window) {
    wchar_t name[128] = {};
    const int length = GetClassNameW(window, name, 128);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool ClickAt(POINT screen, MouseButton button) {
    if (!SetCursorPos(screen.x, screen.y))
        return false;
    std::vector<INPUT> inputs;
    AddMouse(inputs, button == MouseButton::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
    AddMouse(inputs, button == MouseButton::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP);
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool CtrlClickAt(POINT screen) {
    const HWND window = WindowFromPoint(screen);
    POINT client = screen;
    if (!window || !ScreenToClient(window, &client))
        return false;
    const LPARAM at = MAKELPARAM(client.x, client.y);
    return PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at) &&
           PostMessageW(window, WM_LBUTTONUP, MK_CONTROL, at);
}

HWND FindDescendantByClass(HWND parent, const wchar_t* className) {
    ClassSearch search = {className, nullptr};
    EnumChildWindows(parent, FindChildProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> FindProcessWindows(const wchar_t* className) {
    WindowList list = {className, {}};
    EnumWindows(CollectProcessWindowProc, reinterpret_cast<LPARAM>(&list));
    return list.windows;
}

std::vector<HWND> FindThreadWindows(DWORD threadId, const wchar_t* className) {
    WindowList list = {className, {}};
    EnumThreadWindows(threadId, CollectThreadWindowProc, reinterpret_cast<LPARAM>(&list));
    return list.windows;
}

HWND FindOpenPopupMenu() {
    const std::vector<HWND> menus = FindProcessWindows(L"#32768");
    return menus.empty() ? nullptr : menus.front();
}

bool MenuHasCommand(HWND menuWindow, UINT command, bool* checked) {
    HMENU menu = MenuOf(menuWindow);
    const int position = menu ? MenuPosition(menu, command) : -1;
    if (position < 0)
        return false;
    if (checked)
        *checked = (GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_CHECKED) != 0;
    return true;
}

bool ClickMenuCommand(HWND menuWindow, UINT command) {
    HMENU menu = MenuOf(menuWindow);
    const int position = menu ? MenuPosition(menu, command) : -1;
    RECT item;
    if (position < 0 || !GetMenuItemRect(nullptr, menu, static_cast<UINT>(position), &item))
        return false;
    const POINT centre = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    return ClickAt(centre, MouseButton::Left);
}

void DismissOpenMenus() {
    for (HWND menu : FindProcessWindows(L"#32768")) {
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(menu, WM_KEYUP, VK_ESCAPE, 0);
    }
}

} // namespace shelfdemo

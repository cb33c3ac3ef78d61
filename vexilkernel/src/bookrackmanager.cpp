#include "bookrackmanager.h"

#include <vexil/messages.h>

#include "strutil.h"
#include "uikernel.h"

namespace vexilref {

bool CRefBookrackManager::SetShowMode(int mode) {
    if (mode != 0 && mode != 1)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_showMode = mode;
    }
    Redraw(false);
    return true;
}

void CRefBookrackManager::SetBookCount(bool any, int count) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_anyBooks = any;
        m_bookCount = count;
    }
    Redraw(false);
}

void CRefBookrackManager::SetOptionState(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_optionState = on;
    }
    Redraw(false);
}

void CRefBookrackManager::SetUserName(bool signedOut, const char* name) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_signedOut = signedOut;
        m_userName = OrEmpty(name);
    }
    Redraw(false);
}

void CRefBookrackManager::PopupMenu(int, const POINT* screenPoint) {
    POINT at = {};
    if (screenPoint)
        at = *screenPoint;
    else
        GetCursorPos(&at);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_popupCount;
        m_lastPopupPoint = at;
    }
    const int answer = TheKernel().PopupMenuAnswer();
    RunCommand(answer == REF_MENU_SHOW_REAL_MENU ? TrackMenu(at) : answer);
}

int CRefBookrackManager::TrackMenu(POINT at) {
    HWND hwnd = Window();
    HMENU menu = CreatePopupMenu();
    if (!hwnd || !menu) {
        if (menu)
            DestroyMenu(menu);
        return REF_MENU_NONE;
    }
    const int mode = ShowMode();
    AppendMenuW(menu, MF_STRING | (mode == 0 ? MF_CHECKED : 0), REF_MENU_MODE_COMPACT, L"Compact view");
    AppendMenuW(menu, MF_STRING | (mode == 1 ? MF_CHECKED : 0), REF_MENU_MODE_SHELF, L"Shelf view");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, REF_MENU_BATCH_DELETE, L"Delete selected books");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, REF_MENU_MINIMIZE, L"Minimize");
    AppendMenuW(menu, MF_STRING, REF_MENU_HIDE, L"Hide");
    // The menu closes properly when clicked outside only if its owner is in the foreground.
    SetForegroundWindow(GetAncestor(hwnd, GA_ROOT));
    m_menuOpen = true;
    const int command =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    m_menuOpen = false;
    PostMessageW(hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return command;
}

void CRefBookrackManager::RunCommand(int command) {
    switch (command) {
    case REF_MENU_MODE_COMPACT:
    case REF_MENU_MODE_SHELF: {
        const int mode = command == REF_MENU_MODE_SHELF ? 1 : 0;
        SetShowMode(mode);
        Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, static_cast<WPARAM>(mode), 0);
        break;
    }
    case REF_MENU_BATCH_DELETE:
        Notify(VEXIL_NOTIFY_BATCH_DELETE_ASK, 0, 0);
        break;
    case REF_MENU_MINIMIZE:
        Notify(VEXIL_NOTIFY_MINIMIZE, 0, 0);
        break;
    case REF_MENU_HIDE:
        Notify(VEXIL_NOTIFY_HIDE, 0, 0);
        break;
    default:
        break; // dismissed
    }
}

void CRefBookrackManager::UserChooseMode(int mode) {
    if (mode == 0 || mode == 1)
        SendToWindow(WM_REF_MENU_COMMAND, mode == 1 ? REF_MENU_MODE_SHELF : REF_MENU_MODE_COMPACT);
}

bool CRefBookrackManager::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    switch (message) {
    case WM_REF_MENU_COMMAND:
        RunCommand(static_cast<int>(wParam));
        return true;
    case WM_REF_DISMISS_MENU:
        if (m_menuOpen)
            EndMenu();
        return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(Window(), &at);
        PopupMenu(0, &at);
        return true;
    }
    default:
        return false;
    }
}

void CRefBookrackManager::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    Fill(dc, client, palette::kPanel);
    RECT area = client;
    area.left += 12;
    area.right -= 12;
    DrawTextIn(dc, m_showMode == 1 ? L"Shelf view" : L"Compact view", area, palette::kText,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    const std::wstring user = m_signedOut ? std::wstring(L"Signed out") : AnsiToWide(m_userName);
    DrawTextIn(dc, user, area, palette::kText, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    std::wstring count = std::to_wstring(m_bookCount) + (m_bookCount == 1 ? L" book" : L" books");
    if (m_optionState)
        count += L"  [deleting]";
    DrawTextIn(dc, count + L"  \x25BE", area, palette::kText, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    RECT line = client;
    line.top = line.bottom - 1;
    Fill(dc, line, palette::kFrame);
}

} // namespace vexilref

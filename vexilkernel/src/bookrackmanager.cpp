#include "bookrackmanager.h"

#include <vexil/messages.h>

#include <algorithm>

#include "strutil.h"
#include "uikernel.h"

namespace vexilref {
namespace {

constexpr int kNoPart = -1;

} // namespace

bool CRefBookrackManager::SetShowMode(int mode) {
    if (mode != 0 && mode != 1)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_showMode = mode;
    }
    Redraw(false);
    // The window's book matrix shows its books the way the bar says.
    ShowModeChanged(mode);
    return true;
}

void CRefBookrackManager::SetBookCount(bool any, int count) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_anyBooks == any && m_bookCount == count)
            return;
        m_anyBooks = any;
        m_bookCount = count;
    }
    // Called at every arrival: only the count is drawn again, and in a burst of arrivals once a frame.
    RedrawPartOncePerFrame(PartRect(REF_PART_COUNT));
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

RECT CRefBookrackManager::PartRect(RefManagerPart part) {
    const RECT placed = Placement();
    const int width = placed.right - placed.left;
    const int height = placed.bottom - placed.top;
    const int margin = Scale(kManagerMargin), gap = Scale(kManagerGap);
    const int segmentWidth = Scale(kManagerSegmentWidth), countWidth = Scale(kManagerCountWidth);
    const int buttonHeight = std::max(0, std::min(Scale(kManagerButtonHeight), height - Scale(8)));
    const int top = (height - buttonHeight) / 2, bottom = top + buttonHeight;
    const int menuLeft = width - margin - buttonHeight;
    const int countLeft = std::max(0, menuLeft - gap - countWidth);
    const int userLeft = margin + 2 * segmentWidth + gap;
    switch (part) {
    case REF_PART_MODE_SHELF:
        return {margin, top, margin + segmentWidth, bottom};
    case REF_PART_MODE_COMPACT:
        return {margin + segmentWidth, top, margin + 2 * segmentWidth, bottom};
    case REF_PART_USER:
        return {userLeft, top, std::max(userLeft, countLeft - gap), bottom};
    case REF_PART_COUNT:
        return {countLeft, top, countLeft + countWidth, bottom};
    case REF_PART_MENU:
        return {menuLeft, top, menuLeft + buttonHeight, bottom};
    }
    return {};
}

int CRefBookrackManager::HitPart(POINT at) {
    for (RefManagerPart part : {REF_PART_MODE_SHELF, REF_PART_MODE_COMPACT, REF_PART_MENU}) {
        const RECT rect = PartRect(part);
        if (PtInRect(&rect, at))
            return part;
    }
    return kNoPart;
}

void CRefBookrackManager::SetHotPart(int part) {
    if (part == m_hotPart)
        return;
    m_hotPart = part;
    if (part != kNoPart)
        TrackMouseLeave();
    Redraw(false);
}

void CRefBookrackManager::ClickPart(int part) {
    switch (part) {
    case REF_PART_MODE_SHELF:
        RunCommand(REF_MENU_MODE_SHELF);
        break;
    case REF_PART_MODE_COMPACT:
        RunCommand(REF_MENU_MODE_COMPACT);
        break;
    case REF_PART_MENU: {
        // The menu opens under its button.
        const RECT button = PartRect(REF_PART_MENU);
        POINT at = {button.left, button.bottom};
        ClientToScreen(Window(), &at);
        PopupMenu(0, &at);
        break;
    }
    default:
        break;
    }
}

bool CRefBookrackManager::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_REF_MENU_COMMAND:
        RunCommand(static_cast<int>(wParam));
        return true;
    case WM_REF_DISMISS_MENU:
        if (m_menuOpen)
            EndMenu();
        return true;
    case WM_LBUTTONDOWN:
        m_pressedPart = HitPart(at);
        if (m_pressedPart != kNoPart) {
            SetCapture(Window());
            Redraw(false);
        }
        return true;
    case WM_LBUTTONUP: {
        const int pressed = m_pressedPart;
        m_pressedPart = kNoPart;
        if (pressed == kNoPart)
            return true;
        ReleaseCapture();
        Redraw(false);
        if (HitPart(at) == pressed)
            ClickPart(pressed);
        return true;
    }
    case WM_CAPTURECHANGED:
        if (m_pressedPart != kNoPart) {
            m_pressedPart = kNoPart;
            Redraw(false);
        }
        return false;
    case WM_MOUSEMOVE:
        SetHotPart(HitPart(at));
        return true;
    case WM_MOUSELEAVE:
        SetHotPart(kNoPart);
        return true;
    case WM_RBUTTONUP: {
        POINT screen = at;
        ClientToScreen(Window(), &screen);
        PopupMenu(0, &screen);
        return true;
    }
    default:
        return false;
    }
}

void CRefBookrackManager::Paint(HDC dc, const RECT& client) {
    int mode, count;
    bool signedOut, any, option;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        mode = m_showMode;
        count = m_bookCount;
        signedOut = m_signedOut;
        any = m_anyBooks;
        option = m_optionState;
        name = m_userName;
    }
    Fill(dc, client, palette::kPanel);
    // A new count redraws only the count: the parts outside what is out of date are skipped.
    RECT area = client;
    GetClipBox(dc, &area);
    const auto outside = [&area](const RECT& part) {
        RECT overlap;
        return !IntersectRect(&overlap, &part, &area);
    };

    // The two display modes as one segmented control.
    const struct {
        RefManagerPart part;
        int mode;
        const wchar_t* label;
    } segments[] = {{REF_PART_MODE_SHELF, 1, L"Shelf"}, {REF_PART_MODE_COMPACT, 0, L"Compact"}};
    for (const auto& segment : segments) {
        const RECT rect = PartRect(segment.part);
        if (outside(rect))
            continue;
        const bool active = mode == segment.mode;
        const COLORREF face =
            active ? palette::kSelection
                   : (m_pressedPart == segment.part
                          ? palette::kButtonPressed
                          : (m_hotPart == segment.part ? palette::kButtonHot : palette::kButton));
        Fill(dc, rect, face);
        Frame(dc, rect, active ? palette::kSelection : palette::kFrame);
        DrawTextIn(dc, Dpi(), segment.label, rect, active ? palette::kSelectionText : palette::kText,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE, active ? FontKind::kBodyBold : FontKind::kBody);
    }

    // Who is signed in: a round badge with the name's first letter, then the name.
    const RECT user = PartRect(REF_PART_USER);
    if (!outside(user)) {
        const int badgeSize = std::min(Scale(kManagerBadgeSize), static_cast<int>(user.bottom - user.top));
        const int badgeTop = (user.top + user.bottom - badgeSize) / 2;
        const RECT badge = {user.left, badgeTop, user.left + badgeSize, badgeTop + badgeSize};
        const std::wstring wideName = signedOut ? std::wstring() : AnsiToWide(name);
        FillCircle(dc, badge, signedOut ? palette::kDisabledText : palette::kCaption);
        DrawTextIn(dc, Dpi(), wideName.empty() ? std::wstring(L"?") : wideName.substr(0, 1), badge,
                   palette::kCaptionText, DT_CENTER | DT_VCENTER | DT_SINGLELINE, FontKind::kBodyBold);
        RECT nameRect = user;
        nameRect.left = badge.right + Scale(8);
        if (signedOut)
            DrawTextIn(dc, Dpi(), L"Not signed in", nameRect, palette::kMutedText,
                       DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        else
            DrawTextIn(dc, Dpi(), wideName, nameRect, palette::kText,
                       DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, FontKind::kBodyBold);
    }

    std::wstring countText = !any || count <= 0
                                 ? std::wstring(L"No books")
                                 : std::to_wstring(count) + (count == 1 ? L" book" : L" books");
    if (option)
        countText += L" \x00B7 deleting";
    DrawTextIn(dc, Dpi(), countText, PartRect(REF_PART_COUNT), palette::kMutedText,
               DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);

    // The menu button: three bars.
    const RECT menu = PartRect(REF_PART_MENU);
    if (outside(menu))
        return;
    const COLORREF menuFace = m_pressedPart == REF_PART_MENU || m_menuOpen
                                  ? palette::kButtonPressed
                                  : (m_hotPart == REF_PART_MENU ? palette::kButtonHot : palette::kButton);
    Fill(dc, menu, menuFace);
    Frame(dc, menu, palette::kFrame);
    const int barLeft = menu.left + (menu.right - menu.left) / 4,
              barRight = menu.right - (menu.right - menu.left) / 4;
    const int middle = (menu.top + menu.bottom) / 2;
    const int thickness = std::max(1, Scale(2));
    for (int offset : {-Scale(5), 0, Scale(5)}) {
        const RECT bar = {barLeft, middle + offset - thickness / 2, barRight,
                          middle + offset - thickness / 2 + thickness};
        Fill(dc, bar, palette::kText);
    }
}

} // namespace vexilref

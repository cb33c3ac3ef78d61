// The window table. Any thread.
#include "windowtable.h"

#include <uiassist/diag.h>
#include <uiassist/winutil.h>

#include <map>

namespace {

// The window table: one entry per live window of this module, from WM_NCCREATE to WM_NCDESTROY.
// Windows of the module run on several threads, so every access holds the table lock.
SRWLOCK g_tableLock = SRWLOCK_INIT;

std::map<HWND, CWin32Window*>& WindowTable() {
    static std::map<HWND, CWin32Window*> table;
    return table;
}

} // namespace

namespace vexil {

void BindWindow(HWND hwnd, CWin32Window* window) {
    ExclusiveLock lock(g_tableLock);
    auto& table = WindowTable();
    auto it = table.find(hwnd);
    if (it == table.end()) {
        table.emplace(hwnd, window);
        return;
    }
    // A live handle is unique, so an entry already there belongs to a window whose object went
    // away without its WM_NCDESTROY: it is stale and must not receive this window's messages.
    VEXIL_REPORT_IF(it->second != window, "stale window-table entry replaced at WM_NCCREATE");
    it->second = window;
}

CWin32Window* LookupWindow(HWND hwnd) {
    SharedLock lock(g_tableLock);
    const auto& table = WindowTable();
    auto it = table.find(hwnd);
    return it == table.end() ? nullptr : it->second;
}

void UnbindWindow(HWND hwnd) {
    ExclusiveLock lock(g_tableLock);
    WindowTable().erase(hwnd);
}

size_t UnbindObject(const CWin32Window* window) {
    ExclusiveLock lock(g_tableLock);
    auto& table = WindowTable();
    size_t removed = 0;
    for (auto it = table.begin(); it != table.end();) {
        if (it->second == window) {
            it = table.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

} // namespace vexil

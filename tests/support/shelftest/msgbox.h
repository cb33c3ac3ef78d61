// Finding and answering message boxes ("#32770" dialogs) of this or another process.
#pragma once

#include <windows.h>

#include <string>

namespace shelftest {

struct FoundMessageBox {
    bool found = false;
    std::wstring caption;
    std::wstring text; // the static text (dialog item 0xFFFF)
    bool hasYes = false, hasNo = false, hasOk = false;
};

// Waits (bounded, polling) for a visible box of process pid with that caption (any when empty), reads
// it, then clicks the button answer (IDYES, IDNO, IDOK...; 0 leaves it open).
FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs);

} // namespace shelftest

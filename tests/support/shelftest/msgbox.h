// Finding and answering message boxes ("#32770" dialogs) of this or another process.
#pragma once

#include <windows.h>

#include <string>

namespace shelftest {

struct FoundMessageBox {
    bool found = false;
    std::wstring caption;
    std::wstring text; // the static text (dialog item 0xFFFF)
    DWORD exStyle = 0; // the box's extended style (WS_EX_TOPMOST for MB_TOPMOST)
    bool hasYes = false, hasNo = false, hasOk = false; // which answer buttons it offers
};

// Waits (bounded, polling) for a "#32770" window of process pid whose caption equals caption (any
// caption when empty), reads its caption and text, then answers it by clicking the button with id
// answer (IDYES, IDNO, IDOK...; 0 leaves it open).
FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs);

} // namespace shelftest

// Finding and answering message boxes ("#32770" dialogs) of this or another process.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

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

// The same on a thread of its own, for boxes that the calling thread itself shows (MessageBox blocks
// it): start the watcher, show the box, then Result() joins and returns what was found.
class MessageBoxWatcher {
public:
    MessageBoxWatcher(const std::wstring& caption, int answer, DWORD timeoutMs = 10000,
                      DWORD pid = GetCurrentProcessId());
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
    FoundMessageBox Result();

private:
    std::thread m_thread;
    FoundMessageBox m_result;
};

} // namespace shelftest

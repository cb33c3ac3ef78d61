// What a host compiles against to use desktopui.dll: the bookshelf window interface and the block
// handed to Create. Load the module with LoadLibrary and look up "GetBookrackWindow".
//
// Host's order of calls: GetBookrackWindow; SetNotifySink and SetHost (before the window is made,
// binding the controls needs the host); Create or Show; the notifications; Close at the end, before
// the module is unloaded.
//
// The interface may be called from any thread. Operations that change the shelf are carried to the
// window's own thread as messages (bookrackmessages.h): sent when the caller needs the work done
// before it continues, posted otherwise; both are skipped while there is no window.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <vector>

#include "shelfhost.h"

#pragma pack(push, 1)
// Narrow strings in the system code page, each NUL-terminated within its 260 bytes; a field without a
// terminator is treated as empty.
struct BOOKRACK_CREATE_PARAMS {
    char szAccountId[260];   // account id
    char szAccountInfo[260]; // the user's display name
    char szAccountKey[260];  // account key
    unsigned char bLoggedIn; // nonzero: an account is signed in at creation
};
#pragma pack(pop)
static_assert(sizeof(BOOKRACK_CREATE_PARAMS) == 781, "BOOKRACK_CREATE_PARAMS is 781 bytes");
static_assert(offsetof(BOOKRACK_CREATE_PARAMS, szAccountInfo) == 260 &&
                  offsetof(BOOKRACK_CREATE_PARAMS, szAccountKey) == 520 &&
                  offsetof(BOOKRACK_CREATE_PARAMS, bLoggedIn) == 780,
              "BOOKRACK_CREATE_PARAMS field offsets");

// The bookshelf window. The object lives as long as the module is loaded; never delete it.
class CBookrackWindow {
public:
    // Does nothing; true.
    virtual bool Prepare(DWORD reserved1, DWORD reserved2, DWORD reserved3) = 0;
    // Creates the window shown, or shows the existing one. byUser: the user asked for it (display
    // mode 1, balloon hidden). False while a batch delete runs or when the window cannot be shown.
    virtual bool Show(bool byUser, HWND parent) = 0;
    virtual void Hide() = 0;
    // Stops the loader and a batch delete, hides the window and closes it; called from a thread other
    // than the window's, returns once the window and its thread have ended. Create refuses afterwards.
    virtual void Close() = 0;
    virtual bool IsShown() = 0;
    // Creates the window hidden, with a copy of *params. False when a window exists, after Close, or
    // for a null params.
    virtual bool Create(const BOOKRACK_CREATE_PARAMS* params) = 0;
    virtual void PostMatrixNotify(WPARAM wParam, LPARAM lParam) = 0;
    virtual bool IsWindowAlive() = 0;
    virtual void SetNotifySink(IShelfSink* sink, HINSTANCE instance) = 0;
    // A null host changes nothing.
    virtual void SetHost(IShelfHost* host, int userIndex) = 0;
    virtual void NotifyItem1001(int id) = 0;
    virtual void NotifyItem1004(int id, int openAfter) = 0;
    virtual void NotifyItem1003(int id, int openAfter) = 0;
    virtual void NotifyItem1005(int id, int openAfter) = 0;
    // Names a book's cover file (ANSI path) to the book matrix, on the caller's thread.
    virtual void SetBookCover(int id, const char* imagePath) = 0;
    virtual void NotifyItem1002(int id) = 0;
    virtual DWORD GetUiThreadId() = 0;
    virtual void RemoveItem(int id) = 0;
    virtual HWND GetHwnd() = 0;
    // Calls the sink's OnBookShown(id) on the caller's thread.
    virtual void ForwardItemShown(int id) = 0;
    virtual void HideAll(bool cancel) = 0;
    virtual void StopBatchDelete(bool cancel) = 0;
    // Display mode 0 only: pops up the manager's menu at the cursor.
    virtual void PopupManagerAtCursor(DWORD value) = 0;
    virtual void ShowNoBookTips() = 0;
    // The selected book ids, owned by the book matrix and valid until the selection next changes;
    // null without a matrix. Read it on the window's thread (GetUiThreadId) to be safe.
    virtual const std::vector<int>* GetSelection() = 0;
    // Signs in accountId (null or empty, or the account already signed in: nothing happens).
    virtual void Login(const char* accountId, const char* accountKey, const char* accountInfo, DWORD reserved) = 0;
    virtual void Logout(DWORD reserved) = 0;
    virtual void RefreshTips() = 0;
    // 1 while a loader may run (stays 1 after it ended on its own, until the next load or Close).
    virtual LONG IsWorkerRunning() = 0;
    // 1 while a batch delete runs.
    virtual LONG IsBatchDeleteBusy() = 0;

protected:
    ~CBookrackWindow() = default;
};

// The module's one export.
typedef CBookrackWindow*(__cdecl* PFN_GetBookrackWindow)();
#define BOOKRACK_ENTRY "GetBookrackWindow"

// The one bookshelf window object. One class with many duties; each duty lives in its own
// translation unit:
//   bookrackwindowimpl.cpp           the interface operations, construction and destruction
//   bookrackwindowimpl_create.cpp    default rectangle, control binding (OnCreate/OnDestroy)
//   bookrackwindowimpl_messages.cpp  WindowProc dispatch, PreTranslateMessage, size and move
//   bookrackwindowimpl_notify.cpp    control notifications (OnCtrlMessage)
//   bookrackwindowimpl_browser.cpp   the embedded web page's duties
//   bookrackwindowimpl_library.cpp   library folder and cover files
//   bookrackwindowimpl_books.cpp     adding, refreshing and removing books; the deferred-event queue
//   bookrackwindowimpl_loader.cpp    loading the whole shelf and the loader thread
//   bookrackwindowimpl_account.cpp   display-mode file and account switch
#pragma once

#include <bookrack/bookrackwindow.h>
#include <bookrack/bookrackmessages.h>
#include <uiassist/cvexilwindow.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "addbooktipsdlg.h"
#include "patchdelwindow.h"
#include "shelflibrary.h"

// A book event deferred while a batch delete runs.
struct _ActionInfo {
    int id;       // book id
    int kind;     // kActionShow or kActionRemove
    UINT msg;     // the message that carried the event
    bool flag;    // open the book afterwards
};
constexpr int kActionShow = 0;
constexpr int kActionRemove = 1;

// Sent by Close to the window thread: stop the loader and the batch delete there, where the loader
// handle and the batch window belong. wParam 0, lParam 0.
#define WM_BOOKRACK_STOP_WORK (WM_APP + 1100)

// The bookshelf window's style: WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | 0x8.
constexpr DWORD kBookrackStyle = 0xE0008;

// The default window rectangle for a screen of screenWidth x screenHeight with the given work area:
// the size from the resolution table (or the fallback rule), centred on the work area's size measured
// from the screen origin.
RECT ComputeDefaultBookrackRect(int screenWidth, int screenHeight, const RECT& workArea);

class CBookrackWindowImpl : public CVexilWindow, public CBookrackWindow {
public:
    CBookrackWindowImpl();
    ~CBookrackWindowImpl() override;

    // The one object of the module, made on first use.
    static CBookrackWindowImpl* Instance();

    // ---- CBookrackWindow ----
    bool Prepare(DWORD, DWORD, DWORD) override;
    bool Show(bool byUser, HWND parent) override;
    void Hide() override;
    void Close() override;
    bool IsShown() override;
    bool Create(const BOOKRACK_CREATE_PARAMS* params) override;
    void PostMatrixNotify(WPARAM wParam, LPARAM lParam) override;
    bool IsWindowAlive() override;
    void SetNotifySink(IShelfSink* sink, HINSTANCE instance) override;
    void SetHost(IShelfHost* host, int userIndex) override;
    void NotifyItem1001(int id) override;
    void NotifyItem1004(int id, int openAfter) override;
    void NotifyItem1003(int id, int openAfter) override;
    void NotifyItem1005(int id, int openAfter) override;
    void SetBookCover(int id, const char* imagePath) override;
    void NotifyItem1002(int id) override;
    DWORD GetUiThreadId() override;
    void RemoveItem(int id) override;
    HWND GetHwnd() override;
    void ForwardItemShown(int id) override;
    void HideAll(bool cancel) override;
    void StopBatchDelete(bool cancel) override;
    void PopupManagerAtCursor(DWORD value) override;
    void ShowNoBookTips() override;
    const std::vector<int>* GetSelection() override;
    void Login(const char* accountId, const char* accountKey, const char* accountInfo, DWORD reserved) override;
    void Logout(DWORD reserved) override;
    void RefreshTips() override;
    LONG IsWorkerRunning() override;
    LONG IsBatchDeleteBusy() override;

    // One step of a batch delete: sends WM_BOOKRACK_DELETE_AT (index).
    virtual void DeleteSelectedAt(int index);

    // ---- CVexilWindow overrides ----
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnKeyDown(WPARAM, LPARAM) override {}
    void OnCreate() override;
    void OnDestroy() override;
    void OnEnterSizeMove() override;
    void OnExitSizeMove() override;
    bool PreTranslateMessage(MSG msg) override;
    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;
    void OnCreateResult(int code) override;

    // The default rectangle for this machine's screen and work area.
    static RECT GetDefaultRect();

private:
    // ---- window creation (bookrackwindowimpl_create.cpp) ----
    bool CreateBookrackWindow(HWND parent, int showCmd);
    // Rectangle of the add-book button in screen coordinates; false without button or window.
    bool GetNewBookButtonScreenRect(RECT* rect);
    // Shows the empty-shelf balloon below the add-book button.
    void ShowTipsBelowButton();
    bool MatrixHasNoBook();

    // ---- message handling (bookrackwindowimpl_messages.cpp) ----
    void StartBatchDelete();
    void DeleteStep(int index);
    void FinishBatchDelete(WPARAM value);
    LRESULT OnBooksChangedReport(LPARAM lParam);
    void OnManagerPopup(LPARAM lParam);
    void OnRestored();
    void OnMoveWhileSizing();
    bool OnWindowPosChanged(); // true: handled (snapped back), false: pass on

    // ---- embedded web page (bookrackwindowimpl_browser.cpp) ----
    static bool IsDocumentWindow(HWND hwnd);
    static HWND FindDocumentWindow(HWND start);
    void ForwardMouseWheel(WPARAM wParam, LPARAM lParam);
    void NotifyBrowserHidden();

    // ---- library folder and covers (bookrackwindowimpl_library.cpp) ----
    bool GetLibraryFolder(std::wstring& path);
    static bool CreateFolderTree(const wchar_t* path);
    void LocateCover(int id);
    LRESULT SetCoverFromIconUrl(int id);

    // ---- books (bookrackwindowimpl_books.cpp) ----
    void AddBookToShelf(IShelfItem* item, bool redraw);
    void ShelveBook(UINT msg, int id, bool flag);
    void RefreshBook(int id);
    void UnshelveBook(int id);
    void ReplayQueuedActions();
    void UpdateBookCount();
    void RequestCoverFromHost(int id);

    // ---- loading (bookrackwindowimpl_loader.cpp) ----
    void LoadShelf();
    void StopLoader();
    static DWORD WINAPI LoaderThread(void* param);

    // ---- display mode and account (bookrackwindowimpl_account.cpp) ----
    void SaveShowMode(int mode);
    void OnAccountLogin();
    void OnAccountLogout();

    // ---- notifications (bookrackwindowimpl_notify.cpp) ----
    void OnShowModeChosen(int mode);
    void OnBatchDeleteEnded();
    LRESULT OnBatchDeleteAsked(WPARAM value);

    // Controls are bound and released on the window thread and read by interface calls on the
    // host's threads, hence atomic.
    std::atomic<ICtrlBookrackManager*> m_pBookrackMgr{nullptr};
    std::atomic<ICtrlBookMatrix*> m_pBookMatrix{nullptr};
    std::atomic<ICtrlIEBrowser*> m_pIeBrowser{nullptr};
    std::atomic<ICtrlButton*> m_pNewBookBtn{nullptr};
    BOOKRACK_CREATE_PARAMS m_createParams = {};
    std::atomic<int> m_nShowMode{1};
    std::atomic<IShelfSink*> m_pSink{nullptr};
    std::atomic<bool> m_bShowOnBind{true};
    CAddBookTipsDlg m_tipsDlg;
    std::atomic<int> m_nUserIndex{-1};
    std::atomic<IShelfHost*> m_pHost{nullptr};
    std::atomic<bool> m_bShown{false};
    bool m_bInSizeMove = false; // window thread only
    std::atomic<DWORD> m_dwUiThreadId{0};
    HWND m_hIeServer = nullptr; // window thread only
    std::vector<int> m_deletedIds; // window thread only
    HICON m_hIcon = nullptr;
    std::atomic<HINSTANCE> m_hInstance{nullptr};
    std::atomic<LONG> m_lBatchBusy{0}; // changed only by exchange
    CPatchDelWindow m_patchDelWindow;
    std::atomic<bool> m_bClosing{false};
    // Set by Close for the window it closes, cleared when a new window is made: a closing window
    // reports no book counts, a window that Show builds after Close does.
    std::atomic<bool> m_bWindowClosing{false};
    std::atomic<LONG> m_lWorkerRun{0}; // changed only by exchange
    std::vector<int> m_loadedIds; // written by the window thread while no loader runs
    vexil::ScopedHandle m_hWorker; // window thread (and Close, after the window is gone)
    bookrack::LoaderCoverOffer m_loaderCover; // the loader's cover for the book it asks about
    // The account strings are written by Login/Logout on the host's threads and read by the window
    // thread when it handles the posted login; m_accountLock guards both.
    std::mutex m_accountLock;
    std::string m_strAccountId;
    std::string m_strAccountInfo;
    std::vector<_ActionInfo> m_pendingActions; // window thread only

    friend class CPatchDelWindow;
};

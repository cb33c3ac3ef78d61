// The one bookshelf window object. One class with many duties; each duty lives in its own
// translation unit:
//   bookrackwindowimpl.cpp           the interface operations, construction and destruction
//   bookrackwindowimpl_create.cpp    default rectangle, control binding (OnCreate/OnDestroy)
//   bookrackwindowimpl_messages.cpp  WindowProc dispatch, Show/Hide/Close on the window thread,
//                                    PreTranslateMessage, size and move
//   bookrackwindowimpl_notify.cpp    control notifications (OnCtrlMessage)
//   bookrackwindowimpl_batchdelete.cpp  the owner's side of a batch delete
//   bookrackwindowimpl_browser.cpp   the embedded web page's duties
//   bookrackwindowimpl_library.cpp   library folder and cover files
//   bookrackwindowimpl_books.cpp     adding, refreshing and removing books; the deferred-event queue
//   bookrackwindowimpl_loader.cpp    loading the whole shelf and the loader thread
//   bookrackwindowimpl_account.cpp   display-mode file and account switch
#pragma once

#include <bookrack/bookrackwindow.h>
#include <uiassist/cvexilwindow.h>
#include <uiassist/scopedhandle.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "addbooktipsdlg.h"
#include "bookrackprivatemessages.h"
#include "patchdelwindow.h"
#include "shelflibrary.h"

// A book event deferred while a batch delete runs.
struct _ActionInfo {
    int id;    // book id
    int kind;  // kActionShow or kActionRemove
    UINT msg;  // the message that carried the event
    bool flag; // open the book afterwards
};
constexpr int kActionShow = 0;
constexpr int kActionRemove = 1;

// The bookshelf window's style: WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | 0x8.
constexpr DWORD kBookrackStyle = 0xE0008;

// The default window rectangle for a screen of screenWidth x screenHeight pixels with the given work
// area (virtual-screen coordinates), for a window drawn at dpi: the size from the resolution table (or
// the fallback rule) for the screen measured in 96-DPI units, scaled to the DPI, centred on the work
// area; a window larger than the work area starts at the work area's top-left corner.
RECT ComputeDefaultBookrackRect(int screenWidth, int screenHeight, const RECT& workArea, UINT dpi = 96);

// Threads. The host calls the interface from any of its threads; the window's own thread runs every
// message, notification, control, store and file operation; the loader (bookrack::ShelfLoader) and
// the batch-delete worker (BatchDeleteRun) have objects of their own and reach the window only by
// sent messages. The declarations below are grouped by the thread that runs them.
class CBookrackWindowImpl : public CVexilWindow, public CBookrackWindow {
public:
    CBookrackWindowImpl();
    ~CBookrackWindowImpl() override;

    // The one object of the module, made on first use.
    static CBookrackWindowImpl* Instance();
    // Destroys the object, if it was made. Called when the module is unloaded by FreeLibrary.
    static void ReleaseInstance();

    // ==== Caller's thread (any host thread) ====
    // Only these act on the caller's thread: reading atomics, SetBookCover (the matrix accepts it
    // from any thread), GetSelection, ForwardItemShown, and making the window (which starts its
    // thread). Everything else is sent or posted to the window thread and done there; called on
    // the window thread itself (from a sink callback), the work is done directly.
    bool Prepare(DWORD, DWORD, DWORD) override;
    bool Show(bool byUser, HWND parent) override; // creates, or sends WM_BOOKRACK_SHOW
    void Hide() override;                         // sends WM_BOOKRACK_HIDE
    void Close() override;                        // sends WM_BOOKRACK_STOP_WORK, waits
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
    void SetBookCover(int id, const char* imagePath) override; // the matrix, on the caller's thread
    void NotifyItem1002(int id) override;
    DWORD GetUiThreadId() override;
    void RemoveItem(int id) override;
    HWND GetHwnd() override;
    void ForwardItemShown(int id) override;     // the sink, on the caller's thread
    void HideAll(bool cancel) override;         // sends WM_BOOKRACK_HIDE
    void StopBatchDelete(bool cancel) override; // flags only
    void PopupManagerAtCursor(DWORD value) override;
    void ShowNoBookTips() override;                  // sends WM_BOOKRACK_TIPS
    const std::vector<int>* GetSelection() override; // the matrix, on the caller's thread
    void Login(const char* accountId, const char* accountKey, const char* accountInfo,
               DWORD reserved) override;
    void Logout(DWORD reserved) override;
    void RefreshTips() override;
    LONG IsWorkerRunning() override;
    LONG IsBatchDeleteBusy() override;

    // ==== Batch-delete worker's thread ====
    // One step of a batch delete: asks the shelf window for the book at index of its selection
    // (sends WM_BOOKRACK_DELETE_AT). Static: the worker knows the window by its handle alone.
    static void DeleteSelectedAt(HWND shelf, int index);

    // ==== Window thread only ====
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnKeyDown(WPARAM, LPARAM) override {}
    void OnCreate() override;
    void OnDestroy() override;
    void OnEnterSizeMove() override;
    void OnExitSizeMove() override;
    bool PreTranslateMessage(MSG msg) override;
    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;
    void OnCreateResult(int code) override;
    // After the message loop: joins the loaders and the batch-delete worker this window started and
    // saves the display mode, so that the module's unloading has nothing left to write.
    void OnThreadEnding() override;

    // Any thread: the default rectangle on the monitor of owner (the primary one without an owner),
    // for a window drawn at dpi.
    static RECT GetDefaultRect(HWND owner, UINT dpi = 96);
    // The default rectangle for the current window, by its owner and at its DPI.
    RECT GetDefaultRectForWindow() const;

private:
    // ---- window creation (bookrackwindowimpl_create.cpp) ----
    // Caller's thread, under m_createLock.
    bool CreateBookrackWindow(HWND parent, int showCmd);
    // Window thread from here on.
    // Rectangle of the add-book button in screen coordinates; false without button or window.
    bool GetNewBookButtonScreenRect(RECT* rect);
    // The balloon's rectangle under the add-book button's screen rectangle, at the window's DPI.
    RECT TipsRectBelow(const RECT& button) const;
    // Shows the empty-shelf balloon below the add-book button.
    void ShowTipsBelowButton();
    bool MatrixHasNoBook();

    // ---- message handling (bookrackwindowimpl_messages.cpp) ----
    // The module's own messages and the standard ones the shelf acts on; nullopt: not handled here,
    // the base window's procedure goes on with it.
    std::optional<LRESULT> OnShelfMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    std::optional<LRESULT> OnSystemMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void InstallPostedReportFilter();
    // WM_DESTROY: the work of this window that must not outlive it.
    void ForgetWindowWork();
    // The window-thread halves of Show, Hide and Close.
    bool ShowOnWindowThread(bool byUser);
    void HideOnWindowThread(bool hideAll);
    void StopWorkAndHide();
    LRESULT OnBooksChangedReport(LPARAM lParam);
    // Appends ids to the refresh queue and makes sure one drain message is on its way.
    void QueueRefreshes(const std::vector<int>& ids);
    void DrainRefreshes();
    void OnManagerPopup(LPARAM lParam);
    void OnRestored();
    void OnDisplayChanged();
    void OnMoveWhileSizing();
    bool OnWindowPosChanged(); // true: handled (snapped back), false: pass on

    // ---- embedded web page (bookrackwindowimpl_browser.cpp) ----
    static bool IsDocumentWindow(HWND hwnd);
    static HWND FindDocumentWindow(HWND start);
    void ForwardMouseWheel(WPARAM wParam, LPARAM lParam);
    void NotifyBrowserHidden();

    // ---- library folder and covers (bookrackwindowimpl_library.cpp) ----
    // Window thread: forms, and creates when missing, the library folder.
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
    // Reads the shelf from the store, hands it to the matrix and starts a loader for its covers.
    void LoadShelf();
    // The shelf as the store has it now: the records and ids in shelf order, and the ids the store
    // has no item for (reported to the sink).
    struct ShelfContents {
        std::vector<BOOK_ITEM> books;
        std::vector<int> ids;
        std::set<unsigned long> missing;
    };
    ShelfContents ReadShelf(IShelfHost& host);
    // Starts the loader for m_loadedIds; false when no loader thread could be started.
    bool StartLoader();
    // Stops the running loader and waits for it, delivering sent messages; from inside the answer
    // to a loader's request it does not wait (that loader may be waiting for this very answer) and
    // leaves the loader to OnThreadEnding.
    void StopLoader();
    // The loader's own thread: works on its ShelfLoader only, never on this object.
    static DWORD WINAPI LoaderThread(void* param);

    // ---- display mode and account (bookrackwindowimpl_account.cpp) ----
    // Window thread (also as it ends).
    void SaveShowMode(int mode);
    // ticket: the account Login handed over with the message; 0 reloads the account shown.
    void OnAccountLogin(UINT ticket);
    void OnAccountLogout();

    // ---- notifications (bookrackwindowimpl_notify.cpp) ----
    void OnShowModeChosen(int mode);

    // ---- batch delete, the owner's side (bookrackwindowimpl_batchdelete.cpp) ----
    // The manager asks; the sink agrees; the start is queued with a ticket.
    LRESULT OnBatchDeleteAsked(WPARAM value);
    // The only batch start that counts: the one this window queued with ticket after the manager's
    // request and the sink's agreement.
    void OnBatchDeleteMessage(UINT ticket);
    void StartBatchDelete();
    // The worker asks for the book at index of the selection.
    void DeleteStep(int index);
    // The worker's end notice, then the matrix's end notification.
    void FinishBatchDelete(WPARAM value);
    void OnBatchDeleteEnded();

    // ==== State shared between threads: atomic, each with its writer ====
    // Bound and released by the window thread; read by SetBookCover and GetSelection on the caller's
    // thread, as the design lets them call the matrix there.
    std::atomic<ICtrlBookrackManager*> m_pBookrackMgr{nullptr};
    std::atomic<ICtrlBookMatrix*> m_pBookMatrix{nullptr};
    std::atomic<ICtrlIEBrowser*> m_pIeBrowser{nullptr};
    std::atomic<ICtrlButton*> m_pNewBookBtn{nullptr};
    // Written by Create on the caller's thread before the window thread starts; read by OnCreate.
    BOOKRACK_CREATE_PARAMS m_createParams = {};
    std::atomic<int> m_nShowMode{1};             // window thread; read by PopupManagerAtCursor
    std::atomic<IShelfSink*> m_pSink{nullptr};   // SetNotifySink
    std::atomic<bool> m_bShowOnBind{true};       // Show and Create, before the window is made
    std::atomic<int> m_nUserIndex{-1};           // SetHost
    std::atomic<IShelfHost*> m_pHost{nullptr};   // SetHost
    std::atomic<bool> m_bShown{false};           // both: the operations and the window thread
    std::atomic<DWORD> m_dwUiThreadId{0};        // OnCreate, once the controls bind: the window thread
    std::atomic<HINSTANCE> m_hInstance{nullptr}; // SetNotifySink
    std::atomic<LONG> m_lBatchBusy{0};           // window thread, by exchange
    std::atomic<bool> m_bClosing{false};         // Close
    // Set by Close for the window it closes, cleared when a new window is made: a closing window
    // reports no book counts, a window that Show builds after Close does.
    std::atomic<bool> m_bWindowClosing{false};
    std::atomic<LONG> m_lWorkerRun{0}; // window thread, by exchange
    // The account Login hands to the window thread: filled by the sender before its
    // WM_BOOKRACK_LOGIN (wParam = the ticket) is posted, taken out whole by the window thread when it
    // arrives, dropped by the sender when the post fails and by the window when it goes (its queued
    // messages go with it). Only the table is shared, never a string both threads use.
    struct AccountHandover {
        std::string accountId;
        std::string accountInfo; // shown as the user's name
    };
    // Guards the three below. m_strAccountId is the account the host signed in last, written by
    // Login, Logout and OnCreate on their threads, so a repeated Login is told apart.
    std::mutex m_accountLock;
    std::string m_strAccountId;
    std::map<UINT, AccountHandover> m_accountHandovers;
    UINT m_nLastAccountTicket = 0;
    // Held by the caller's thread that makes a window, so two host threads never make two.
    std::mutex m_createLock;

    // ==== Window thread only ====
    CAddBookTipsDlg m_tipsDlg;
    bool m_bInSizeMove = false;
    HWND m_hIeServer = nullptr;
    std::vector<int> m_deletedIds;
    vexil::ScopedIcon m_hIcon;
    CPatchDelWindow m_patchDelWindow; // its Stop and IsWorkerAlive are safe from any thread
    std::vector<int> m_loadedIds;
    std::shared_ptr<bookrack::ShelfLoader> m_loader; // the running load's loader
    // Loaders stopped from inside the answer to a request: they end on their own and are joined
    // when the window thread ends.
    std::vector<std::shared_ptr<bookrack::ShelfLoader>> m_stoppedLoaders;
    int m_nAnsweringLoader = 0; // depth of WM_BOOKRACK_LOAD_ITEM answers in progress
    std::vector<_ActionInfo> m_pendingActions;
    // The account the window shows, as last handed over by Login.
    std::string m_strShownAccountId;
    std::string m_strShownAccountInfo;
    // Books a books-changed report named, refreshed in order a few per WM_BOOKRACK_DRAIN_REFRESHES,
    // so that a report of any size puts one message into the thread's queue, not one per book.
    std::deque<int> m_refreshQueue;
    bool m_bRefreshDrainQueued = false;
    // The ticket of the batch start this window queued and has not seen arrive; 0 when none.
    UINT m_nBatchDeleteTicket = 0;
    UINT m_nLastBatchDeleteTicket = 0;
    // Drops posted copies of the books-changed report as this thread's loops take them out of the
    // queue (their report may be gone); installed while the window lives.
    vexil::ScopedHook m_postedReportFilter;
};

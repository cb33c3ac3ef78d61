// Inspection interface of the reference UI kernel (VexilKernel.dll), for tests and tools.
//
// A second export, "GetRefKernelInspector", hands out the process's one IRefInspector. Each control
// of the reference kernel also implements the inspection interface of its kind below; reach it with
// dynamic_cast from the IControlBase* that ISkinWindow::GetControl returned, and likewise
// IRefSkinWindowInspect from an ISkinWindow*.
//
// Threads. State reads may run on any thread: they return copies taken under the control's lock.
// Every "User*" operation and every other operation that changes state is carried to the control's
// own window thread with SendMessageW and returns when it has been done there, exactly as a real user
// action would: notifications it causes reach the IControlMessage callback on that thread, before the
// call returns. A thread that calls them must therefore not block the control's window thread.
//
// Lifetime. The interfaces live as long as the control or skin window that implements them (until
// its HWND is destroyed); IRefInspector lives until the kernel module is unloaded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <vexil/bookrecords.h>
#include <vexil/kernel.h>

// Commands of the bookrack manager's popup menu (the values TrackPopupMenu returns).
enum RefManagerMenuCommand : int {
    REF_MENU_NONE = 0,            // menu dismissed without a choice
    REF_MENU_MODE_COMPACT = 100,  // display mode 0
    REF_MENU_MODE_SHELF = 101,    // display mode 1
    REF_MENU_BATCH_DELETE = 102,  // delete the selected books
    REF_MENU_MINIMIZE = 103,      // minimize the window
    REF_MENU_HIDE = 104,          // hide the window
    REF_MENU_SHOW_REAL_MENU = -1, // SetPopupMenuAnswer: show the real menu (the default)
};

// The colour of a selected tile's border and check badge in the book matrix.
constexpr COLORREF kRefSelectionColour = RGB(30, 110, 220);

// Parts of the bookrack manager's bar that the user can click or read.
enum RefManagerPart : int {
    REF_PART_MODE_SHELF = 0,   // the segment that chooses display mode 1
    REF_PART_MODE_COMPACT = 1, // the segment that chooses display mode 0
    REF_PART_USER = 2,         // the user's name, or "Not signed in"
    REF_PART_COUNT = 3,        // the number of books
    REF_PART_MENU = 4,         // the button that opens the manager's menu
};

// What the book matrix did with covers, as of its last paint.
struct RefCoverStats {
    int decodes = 0; // cover files decoded (or tried) since the control was made
    int kept = 0;    // decoded covers held now
    int drawn = 0;   // tiles the last paint drew (they are on view)
};

// Book matrix HandleNotify(wParam, lParam) notices of the reference kernel.
enum RefMatrixNotice : int {
    REF_MATRIX_SELECT_ALL = 1,      // select every book in shelf order; returns the count
    REF_MATRIX_CLEAR_SELECTION = 2, // clear the selection; returns 0
    REF_MATRIX_SELECT_ID = 3,       // lParam = book id: select only that book; 1 when shelved, else 0
    // any other wParam: nothing, returns 0
};

// The process's reference kernel.
class IRefInspector {
public:
    // The skin window built on hwnd, or null when there is none (never built, or its HWND died).
    virtual ISkinWindow* FindSkinWindow(HWND hwnd) = 0;
    // Skin windows whose HWND is alive (each is freed when its HWND is destroyed).
    virtual int LiveSkinWindowCount() = 0;
    // The full path of the open package; empty when none is open.
    virtual std::wstring SkinPath() = 0;
    // Closes the open package so that a different one can be opened. Refused (false) while a skin
    // window lives. For tests that need several packages in one process.
    virtual bool CloseSkinPackage() = 0;
    // How the bookrack manager's PopupMenu answers, for every manager of the process:
    // REF_MENU_SHOW_REAL_MENU (default) shows a real menu with TrackPopupMenu; any other value skips
    // the menu and acts as if the user had chosen that command (REF_MENU_NONE: dismissed).
    virtual void SetPopupMenuAnswer(int command) = 0;
    // Number of CreateSkinWindow calls so far.
    virtual int CreateSkinWindowCalls() = 0;
    // Why the last package that failed to open was refused ("file:line: reason"); empty when none.
    virtual std::string LastPackageError() = 0;
    // True while the kernel's GDI+ session runs: from the first drawing that needs it until the last
    // skin window of the process is gone.
    virtual bool GdiplusRunning() = 0;

protected:
    ~IRefInspector() = default;
};

extern "C" IRefInspector* __cdecl GetRefKernelInspector();
typedef IRefInspector*(__cdecl* PFN_GetRefKernelInspector)();
#define VEXIL_REF_INSPECTOR_ENTRY "GetRefKernelInspector"

// A skin window of the reference kernel (dynamic_cast from ISkinWindow*).
class IRefSkinWindowInspect {
public:
    virtual HWND Hwnd() = 0;
    virtual std::wstring WindowName() = 0;
    virtual std::wstring Title() = 0;
    // Names of the controls built, in package order.
    virtual std::vector<std::string> ControlNames() = 0;
    // The callback set with SetCtrlMsgCallBack (null when none).
    virtual IControlMessage* Callback() = 0;
    // Every control draws itself afresh and the whole window is painted once, on the window's own
    // thread, as when the window is uncovered; returns when it is painted. Any thread.
    virtual void RepaintAfresh() = 0;

protected:
    ~IRefSkinWindowInspect() = default;
};

// What every control of the reference kernel shows.
class IRefControlInspect {
public:
    // The control's own child window of the skin window's HWND. Sent WM_PRINTCLIENT (wParam = a DC),
    // it draws the whole control into that DC exactly as it paints itself on screen.
    virtual HWND ControlWindow() = 0;
    // The class the package names ("button", "bookmatrix", ...).
    virtual std::string ControlClass() = 0;
    virtual int RedrawCalls() = 0;
    // Times the control drew its picture afresh (in part or whole); a paint that only copies the
    // kept picture does not count.
    virtual int RenderCalls() = 0;

protected:
    ~IRefControlInspect() = default;
};

class IRefBookMatrixInspect : public IRefControlInspect {
public:
    // Copies of the shelved records, in shelf order.
    virtual std::vector<BOOK_INFO> Books() = 0;
    virtual std::vector<int> Ids() = 0;
    // The path given to SetBookImage for the id; empty when none.
    virtual std::string ImagePath(int id) = 0;
    virtual std::vector<int> Selection() = 0;
    // Replaces the selection with the listed ids that are shelved, in the given order.
    virtual void SetSelection(const std::vector<int>& ids) = 0;

    virtual int AddBookCalls() = 0;
    virtual int SetBooksCalls() = 0;
    virtual int UpdateLayoutCalls() = 0;
    virtual int ClearBooksCalls() = 0;
    virtual int RemoveBookCalls() = 0;
    virtual int RemoveBooksCalls() = 0;
    virtual int UpdateBookInfoCalls() = 0;
    virtual int SetBookImageCalls() = 0;
    // When the last SetBookImage call came, as a QueryPerformanceCounter value (0: none yet): a
    // timer can take the end of a burst of covers without watching for it closely.
    virtual LONGLONG LastSetBookImageTime() = 0;
    virtual int HandleNotifyCalls() = 0;
    // The ids and value of the last RemoveBooks call.
    virtual std::vector<int> LastRemoveBooksIds() = 0;
    virtual WPARAM LastRemoveBooksValue() = 0;
    // VEXIL_NOTIFY_BATCH_DELETE_END notifications delivered so far.
    virtual int BatchDeleteEndNotices() = 0;

    // The user double-clicks the book: notifies VEXIL_NOTIFY_OPEN_BOOK (wParam 0). No-op when absent.
    virtual void UserOpen(int id) = 0;
    // The user presses Delete on the book: notifies VEXIL_NOTIFY_DELETE_BOOK (wParam 0).
    virtual void UserDelete(int id) = 0;
    // The user clicks the book's tile, with Ctrl and/or Shift held.
    virtual void UserClick(int id, bool ctrl, bool shift) = 0;

    // How far the tiles are scrolled, in pixels from the top.
    virtual int ScrollPos() = 0;
    // The book's tile and its cover area in the control's client coordinates at the current scroll
    // position. False when the book is not shelved.
    virtual bool TileRect(int id, RECT* tile, RECT* cover) = 0;
    virtual RefCoverStats CoverStats() = 0;

protected:
    ~IRefBookMatrixInspect() = default;
};

class IRefManagerInspect : public IRefControlInspect {
public:
    virtual int ShowMode() = 0;
    virtual std::string UserName() = 0;
    virtual bool SignedOut() = 0;
    virtual int BookCount() = 0;
    virtual bool AnyBooks() = 0;
    virtual bool OptionState() = 0;
    // PopupMenu calls so far, and the screen point of the last one (the cursor when it got null).
    virtual int PopupCount() = 0;
    virtual POINT LastPopupPoint() = 0;
    // True while a real popup menu of this manager is open (TrackPopupMenu has not returned).
    virtual bool MenuOpen() = 0;
    // Closes an open real popup menu as dismissed (EndMenu on the window thread).
    virtual void DismissMenu() = 0;
    // Where a part of the bar is drawn, in the control's client coordinates.
    virtual RECT PartRect(RefManagerPart part) = 0;

    // The user picks a display mode in the menu: the manager takes it and notifies
    // VEXIL_NOTIFY_SHOWMODE_CHOSEN. Modes other than 0 and 1 are ignored.
    virtual void UserChooseMode(int mode) = 0;
    // The user picks "delete selected books": notifies VEXIL_NOTIFY_BATCH_DELETE_ASK with wParam 0.
    virtual void UserAskBatchDelete() = 0;
    virtual void UserMinimize() = 0; // VEXIL_NOTIFY_MINIMIZE
    virtual void UserHide() = 0;     // VEXIL_NOTIFY_HIDE

protected:
    ~IRefManagerInspect() = default;
};

class IRefButtonInspect : public IRefControlInspect {
public:
    // A click as the user makes it (BM_CLICK): notifies VEXIL_NOTIFY_BUTTON_CLICK when enabled.
    virtual void UserClick() = 0;
    virtual std::string Text() = 0;
    virtual bool Enabled() = 0;

protected:
    ~IRefButtonInspect() = default;
};

class IRefProgressInspect : public IRefControlInspect {
public:
    virtual int Pos() = 0;

protected:
    ~IRefProgressInspect() = default;
};

class IRefStaticInspect : public IRefControlInspect {
public:
    // The text as drawn, whatever the thread's code page.
    virtual std::wstring Text() = 0;

protected:
    ~IRefStaticInspect() = default;
};

class IRefBrowserInspect : public IRefControlInspect {
public:
    // WM_MOUSEWHEEL messages received by the "Internet Explorer_Server" window, and the last wParam.
    virtual int WheelCount() = 0;
    virtual WPARAM LastWheelWParam() = 0;
    virtual int CopyDataCalls() = 0;
    virtual int ShelfHiddenCalls() = 0;
    // The current "Internet Explorer_Server" window (null when destroyed).
    virtual HWND DocumentWindow() = 0;
    // Destroys the document window and creates a new one in its place (a new HWND).
    virtual void RecreateDocumentWindow() = 0;
    // Destroys the document window without a replacement: the first-child chain then ends early.
    virtual void DestroyDocumentWindow() = 0;
    virtual void SetDocumentVisible(bool visible) = 0;
    // How far the page in the document window is scrolled, in pixels from its top.
    virtual int PageScroll() = 0;

protected:
    ~IRefBrowserInspect() = default;
};

// The fixed result of ICtrlIEBrowser::HandleCopyData in the reference kernel.
constexpr LRESULT kRefCopyDataResult = 1;

// The contract between a window module and the UI kernel (VexilKernel.dll) with its skin controls.
//
// A kernel written by someone else compiles against this header, messages.h and bookrecords.h alone.
//
// Binary rules. Every interface is a table of virtual operations in the order written here; nobody
// deletes an object through these interfaces. Both sides must be built with the same C++ toolchain
// and C runtime (mingw-w64 GCC, libstdc++, msvcrt), because BOOK_INFO, BOOK_ITEM and the id lists are
// standard-library types and controls are found by run-time type (dynamic_cast from IControlBase).
//
// Ownership and lifetime. The kernel owns everything it hands out. IUiKernel lives until the kernel
// module is unloaded. An ISkinWindow and its controls live until the HWND they were built on is
// destroyed; from WM_DESTROY of that window on, every pointer obtained from them is invalid. Strings
// passed in are copied by the callee before it returns; strings and lists handed out stay valid as
// each operation states.
//
// Threads. GetUiKernelInterface and the IUiKernel calls before CreateSkinWindow may run on any
// thread. CreateSkinWindow runs on the thread that owns the HWND; every later call on an ISkinWindow
// or control, and every notification, runs on that thread, except where an operation says otherwise.
#pragma once

#include <windows.h>

#include <vector>

#include "bookrecords.h"

class IUiKernel;

// Receives the notifications of a skin window's controls (ids in messages.h), on the window's thread.
class IControlMessage {
public:
    virtual LRESULT OnCtrlMessage(class IControlBase* control, int id, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~IControlMessage() = default;
};

// Base of every skin control.
class IControlBase {
public:
    // Repaints the control: at once when now is true, otherwise at the next paint.
    virtual void RedrawControl(bool now) = 0;
    // True for the same object, or for equal object ids compared without regard to case.
    virtual bool CompareControl(IControlBase* other) = 0;
    // The control's object id: 32 hexadecimal digits made from a GUID. Valid while the control lives.
    virtual const char* GetObjectId() = 0;
    // The control's name in the skin. Valid while the control lives.
    virtual const char* GetControlName() = 0;
    // The control's rectangle in its window's client coordinates. False when rect is null.
    virtual bool GetCtrlRect(RECT* rect) = 0;

protected:
    ~IControlBase() = default;
};

class ICtrlButton : public IControlBase {
public:
    virtual void SetButtonText(const char* text) = 0;
    virtual void EnableButton(bool enable) = 0;

protected:
    ~ICtrlButton() = default;
};

class ICtrlProgressBar : public IControlBase {
public:
    // percent is clamped to 0..100.
    virtual void SetProgressBarPos(int percent, bool redraw) = 0;
    virtual int GetProgressBarPos() = 0;

protected:
    ~ICtrlProgressBar() = default;
};

class ICtrlStaticBox : public IControlBase {
public:
    // Text in the thread's ANSI code page, copied. A null text counts as empty.
    virtual void SetText(const char* text) = 0;
    // The same for wide text, which reads right whatever the system's code page.
    virtual void SetTextW(const wchar_t* text) = 0;

protected:
    ~ICtrlStaticBox() = default;
};

// The matrix of book covers. Book ids are positive; tiles are kept in shelf order.
class ICtrlBookMatrix : public IControlBase {
public:
    // Appends a copy of *item (its id is bookInfo.strAppId) unless a book with that id is shelved.
    // redraw nonzero repaints. reserved1/reserved2 are 0. False for a null item or an unusable id.
    virtual bool AddBook(const BOOK_ITEM* item, int reserved1, int reserved2, int redraw) = 0;
    // Replaces the whole shelf with copies of books[i] under ids[i] (both lists of the same length;
    // extra entries of the longer list are ignored). Null lists empty the shelf. reserved are 0.
    virtual bool SetBooks(const std::vector<BOOK_ITEM>* books, const std::vector<int>* ids, int reserved1,
                          int reserved2) = 0;
    // A notice the host passes through the window unchanged; the matrix defines its meaning.
    virtual LRESULT HandleNotify(WPARAM wParam, LPARAM lParam) = 0;
    // Names the image file (ANSI path, copied) shown as the book's cover; null or empty clears it.
    // The image is decoded when the tile is drawn. May be called from any thread. A narrow path is
    // exact or not given: one with no exact form in the caller's code page comes in its short form,
    // and one with neither is never handed on (best-fit would name another file).
    virtual bool SetBookImage(int id, const char* path) = 0;
    // Recomputes the tiles. reserved is 0; redraw nonzero repaints.
    virtual void UpdateLayout(int reserved, int redraw) = 0;
    // Removes every book and the selection.
    virtual void ClearBooks() = 0;
    // Removes one book (and its selection); relayout recomputes the tiles at once. False when absent.
    virtual bool RemoveBook(int id, bool relayout) = 0;
    // The shelved ids in shelf order. Owned by the control; valid until the shelf next changes.
    virtual const std::vector<int>* GetBookList() = 0;
    // The selected ids in selection order. Owned by the control; valid until the selection changes.
    virtual const std::vector<int>* GetSelectedBooks() = 0;
    // Removes the listed books (list copied), clears the selection, and afterwards notifies
    // VEXIL_NOTIFY_BATCH_DELETE_END with value, once the caller has returned to its message loop.
    virtual void RemoveBooks(const std::vector<int>* ids, WPARAM value) = 0;
    // Replaces the texts and the ready flag of a shelved book (its id and bValid are kept).
    virtual bool UpdateBookInfo(const BOOK_INFO* info, int id) = 0;
    virtual bool HasBook(int id) = 0;

protected:
    ~ICtrlBookMatrix() = default;
};

// The bar above the shelf: display mode, user name, book count and the manager's menu.
class ICtrlBookrackManager : public IControlBase {
public:
    // Display modes the manager knows: 0 (compact) and 1 (shelf). False for any other value.
    virtual bool SetShowMode(int mode) = 0;
    virtual void SetBookCount(bool any, int count) = 0;
    // Shows the manager's menu at a point in screen coordinates (null: at the cursor). reserved is 0.
    virtual void PopupMenu(int reserved, const POINT* screenPoint) = 0;
    // Marks the batch-delete option as taken (true) or not.
    virtual void SetOptionState(bool on) = 0;
    // name is copied; null counts as empty.
    virtual void SetUserName(bool signedOut, const char* name) = 0;

protected:
    ~ICtrlBookrackManager() = default;
};

// The embedded web page.
class ICtrlIEBrowser : public IControlBase {
public:
    // Answers WM_COPYDATA that reached the window.
    virtual LRESULT HandleCopyData() = 0;
    // The shelf was hidden.
    virtual void OnShelfHidden() = 0;
    // The window that hosts the page, or null.
    virtual HWND GetBrowserWindow() = 0;

protected:
    ~ICtrlIEBrowser() = default;
};

// The kernel's object for one window of the skin, built on a caller's HWND.
class ISkinWindow {
public:
    // The control of that name (narrow), or null when the window has none.
    virtual IControlBase* GetControl(const char* name) = 0;
    // Later notifications go to callback (null: dropped). The callback must outlive the HWND.
    virtual void SetCtrlMsgCallBack(IControlMessage* callback) = 0;
    // Fills the window's designed size.
    virtual void GetWindowSize(SIZE* size) = 0;
    virtual IUiKernel* GetUiKernel() = 0;

protected:
    ~ISkinWindow() = default;
};

class IUiKernel {
public:
    // Null when the kernel cannot be used.
    virtual void* GetKernelObject() = 0;
    // True once a skin package is open (the first CreateSkinWindow opens it).
    virtual bool IsSkinOpen() = 0;
    // Builds the named window of the package on hwnd (a relative package path is resolved against the
    // kernel module's folder). Afterwards posts WM_VEXIL_CREATE_DONE, or WM_VEXIL_CREATE_ERROR with a
    // VEXIL_ERR_* code, to hwnd. On those errors a skin window without (all) controls is still returned,
    // so that the posted error reaches a living window; null only when hwnd is not a window or the call
    // itself cannot proceed.
    virtual ISkinWindow* CreateSkinWindow(HWND hwnd, const wchar_t* skinPath, const wchar_t* windowName) = 0;
    // The full path of the open package, or "" when none is open. Valid while the kernel lives.
    virtual const wchar_t* GetSkinPath() = 0;

protected:
    ~IUiKernel() = default;
};

// The kernel module's one export: "GetUiKernelInterface". One kernel per process, never released.
typedef IUiKernel*(__cdecl* PFN_GetUiKernelInterface)();
#define VEXIL_KERNEL_ENTRY "GetUiKernelInterface"

// Messages and notification ids shared by the UI kernel and every window built on it.
// A kernel written by someone else compiles against this header alone.
#pragma once

#include <windows.h>

// ---- Window messages the kernel delivers to a skin window's HWND -------------------------------

// Posted by IUiKernel::CreateSkinWindow once the skin window is ready. wParam 0, lParam 0.
#define WM_VEXIL_CREATE_DONE 0x8201
// Posted by IUiKernel::CreateSkinWindow when building failed. wParam = one of the VEXIL_ERR_* codes
// (as a signed int), lParam 0. The window stays hidden.
#define WM_VEXIL_CREATE_ERROR 0x8202
// Sent or posted by the kernel to ask the window for a system command. wParam = SC_* code, lParam 0.
#define WM_VEXIL_SYSCOMMAND 0x8209

// Codes carried by WM_VEXIL_CREATE_ERROR.
enum VexilCreateError : int {
    VEXIL_ERR_WINDOW_NOT_FOUND = -2, // the window name is not in the skin package
    VEXIL_ERR_CONTROL_FAILED = -3,   // a control of the window could not be created
    VEXIL_ERR_SECOND_PACKAGE = -4,   // a second, different skin package was asked for
};

// ---- Control notifications (IControlMessage::OnCtrlMessage ids) --------------------------------

// A button was clicked. wParam 0, lParam 0.
#define VEXIL_NOTIFY_BUTTON_CLICK 0x10004002
// The skin asks its window to become active and take the focus. wParam 0, lParam 0.
#define VEXIL_NOTIFY_ACTIVATE 0x10021002
// Bookrack manager: the user chose a display mode. wParam = new mode, lParam 0.
#define VEXIL_NOTIFY_SHOWMODE_CHOSEN 0x10027001
// Bookrack manager: the user asks to minimize the window. wParam 0, lParam 0.
#define VEXIL_NOTIFY_MINIMIZE 0x10027002
// Bookrack manager: the user asks to hide the window. wParam 0, lParam 0.
#define VEXIL_NOTIFY_HIDE 0x10027003
// Book matrix: open a book. wParam = open argument, lParam = const BOOK_INFO* of the book
// (valid during the call only).
#define VEXIL_NOTIFY_OPEN_BOOK 0x10028003
// Book matrix: delete one book. wParam = delete argument, lParam = const BOOK_INFO* (during the call).
#define VEXIL_NOTIFY_DELETE_BOOK 0x10028004
// Book matrix: the books of a batch delete were removed (sent after RemoveBooks, once the caller of
// RemoveBooks has returned to its message loop). wParam = the value given to RemoveBooks, lParam 0.
#define VEXIL_NOTIFY_BATCH_DELETE_END 0x10028008
// Bookrack manager: the user asks to delete the selected books. wParam = value for the host, lParam 0.
#define VEXIL_NOTIFY_BATCH_DELETE_ASK 0x10028009

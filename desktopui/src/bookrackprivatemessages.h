// The module's private window messages, beside the public ones (bookrack/bookrackmessages.h): each id
// once, with its wParam and lParam. No program but this module sends them; each window checks what
// they carry as it would check a stranger's message.
#pragma once

#include <bookrack/bookrackmessages.h>

// ---- To the bookshelf window, from the interface operations and from itself -------------------
// Sent by Close: stop the loader and the batch delete and hide the window, on the window thread where
// the loader, the batch window and the controls belong. wParam 0, lParam 0.
#define WM_BOOKRACK_STOP_WORK (WM_APP + 1100)
// Sent by Show to a window that exists: wParam 1 when the user asked, lParam 0. Result kShownResult
// when shown.
#define WM_BOOKRACK_SHOW (WM_APP + 1101)
// Sent by Hide (wParam 0) and HideAll (wParam 1, which also hides the balloon); lParam 0.
#define WM_BOOKRACK_HIDE (WM_APP + 1102)
// Posted to itself while books-changed refreshes are queued: refresh the next few. wParam 0,
// lParam 0. At most one is in the queue at a time.
#define WM_BOOKRACK_DRAIN_REFRESHES (WM_APP + 1103)
// The answer to WM_BOOKRACK_SHOW when the window was shown.
constexpr LRESULT kShownResult = 1;

// ---- To the batch-delete window, from its worker ----------------------------------------------
// Posted after each book: wParam = books deleted so far (the worker counts; the window only shows
// the count), lParam 0. It shares its value with WM_BOOKRACK_ITEM_1001, knowingly: the two go to
// different windows, and each window's procedure knows only its own.
#define WM_PATCHDEL_STEP (WM_APP + 1001)

// ---- To the empty-shelf balloon, from callers on other threads --------------------------------
// So that a caller on another thread never touches the balloon's timer (a timer belongs to the
// window's thread). Sent; wParam 0.
// Hide: lParam 0.
#define WM_TIPS_HIDE (WM_APP + 1200)
// Show at the rectangle lParam = const RECT* (screen coordinates), valid during the call. Result 1
// when shown.
#define WM_TIPS_SHOW (WM_APP + 1201)

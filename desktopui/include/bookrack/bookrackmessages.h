// Every window message of the bookshelf window, with its wParam/lParam meaning.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

// ---- Messages the interface operations send (S) or post (P) to the bookshelf window ------------
#define WM_BOOKRACK_MATRIX_NOTIFY (WM_APP + 1000)     // P any, any: handed to the book matrix
#define WM_BOOKRACK_ITEM_1001 (WM_APP + 1001)         // S book id, 0: a book arrived
#define WM_BOOKRACK_ITEM_1002 (WM_APP + 1002)         // S book id, flag (only kept in a queued event)
#define WM_BOOKRACK_ITEM_1003 (WM_APP + 1003)         // S book id, open afterwards when nonzero
#define WM_BOOKRACK_ITEM_1004 (WM_APP + 1004)         // S as 1003
#define WM_BOOKRACK_ITEM_1005 (WM_APP + 1005)         // S as 1003
#define WM_BOOKRACK_RESTORED (WM_APP + 1006)          // P 0, 0: the window was restored
#define WM_BOOKRACK_OPEN_ITEM (WM_APP + 1007)         // P open argument, book id
#define WM_BOOKRACK_REMOVE_ITEM (WM_APP + 1008)       // S book id, 0: a book went away
#define WM_BOOKRACK_BATCH_DELETE (WM_APP + 1009)      // P ticket, 0: start the batch the window queued
#define WM_BOOKRACK_BATCH_DELETE_DONE (WM_APP + 1010) // S 1 (finished/cancelled) or 0 (aborted), 0
#define WM_BOOKRACK_LOGIN (WM_APP + 1011)             // P ticket (0: the shown one), 0: account changed
#define WM_BOOKRACK_LOGOUT (WM_APP + 1012)            // P 0, 0: signed out
#define WM_BOOKRACK_LOAD_ITEM (WM_APP + 1013)         // S book id, 0: locate a book's cover (loader)
#define WM_BOOKRACK_REFRESH_ITEM (WM_APP + 1014)      // P book id, 0: refresh a book's texts
#define WM_BOOKRACK_TIPS (WM_APP + 1015)              // S 0, 0: show the empty-shelf balloon if due
#define WM_BOOKRACK_MANAGER_POPUP (WM_APP + 1016)     // P ignored, MAKELPARAM(x, y) in screen coordinates
#define WM_BOOKRACK_DELETE_AT (WM_APP + 1017)         // S index into the selection, 0: one batch step

// ---- Messages the bookshelf window accepts from the host --------------------------------------
// The host wrote a book's cover: lParam = book id (wParam unused). The cover is named after the
// book's icon address.
#define WM_BOOKRACK_COVER_READY (WM_USER + 103)
// Books-changed report: lParam = const BOOKS_CHANGED_REPORT*, valid for the duration of the call
// (send it; a posted copy is not read). Result 0 for code 24 (handled) and 26 (acknowledged); 1 for
// any other code, for a null report or a null id array with a nonzero count, and for a report or id
// array that is not readable memory of the window's process.
#define WM_BOOKRACK_BOOKS_CHANGED 0x2270
#define BOOKS_CHANGED_CODE_CHANGED 24
#define BOOKS_CHANGED_CODE_ACK 26

// Layout of the report. On 32-bit Windows it is exactly: offset 0 and 4 unused, 8 the id array
// pointer, 12 the count, 16 the code (20 bytes). On 64-bit Windows the pointer is 8 bytes and
// pointer-aligned: 0 and 4 unused, 8 the pointer, 16 the count, 20 the code (24 bytes).
struct BOOKS_CHANGED_REPORT {
    uint32_t reserved0;
    uint32_t reserved1;
    const int32_t* ids; // the changed book ids; copied by the window before the call returns
    int32_t count;      // number of ids
    int32_t code;       // BOOKS_CHANGED_CODE_*
};
#if defined(_WIN64)
static_assert(sizeof(BOOKS_CHANGED_REPORT) == 24 && offsetof(BOOKS_CHANGED_REPORT, ids) == 8 &&
                  offsetof(BOOKS_CHANGED_REPORT, count) == 16 && offsetof(BOOKS_CHANGED_REPORT, code) == 20,
              "64-bit books-changed report layout");
#else
static_assert(sizeof(BOOKS_CHANGED_REPORT) == 20 && offsetof(BOOKS_CHANGED_REPORT, ids) == 8 &&
                  offsetof(BOOKS_CHANGED_REPORT, count) == 12 && offsetof(BOOKS_CHANGED_REPORT, code) == 16,
              "32-bit books-changed report layout");
#endif

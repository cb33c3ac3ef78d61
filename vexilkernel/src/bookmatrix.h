// The book matrix: the books of the shelf as a grid of cover tiles, their cover paths and the
// user's selection. bookmatrix.cpp keeps the shelf; bookmatrix_view.cpp draws it, scrolls it and
// takes the user's mouse and keys.
#pragma once

#include <atomic>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "covercache.h"
#include "refcontrol.h"

namespace vexilref {

// Tile geometry of the shelf mode, in 96-DPI units (scaled to the window's DPI at layout): a cover area above
// a caption strip with the title and author. The cover area has a book cover's usual proportions, 2:3.
constexpr int kTileWidth = 104;
constexpr int kCoverHeight = 156;
constexpr int kTileCaptionHeight = 36;
constexpr int kTileHeight = kCoverHeight + kTileCaptionHeight;
constexpr int kTileGap = 18;
// The compact mode: a list of rows, each a small cover beside the title and author, in as many
// columns of at least kRowMinWidth as the view holds.
constexpr int kRowMinWidth = 200;
constexpr int kRowHeight = 52;
constexpr int kRowGap = 6;
constexpr int kRowCoverWidth = 30; // 2:3 as well
constexpr int kRowCoverHeight = 45;
constexpr int kTileMarkSize = 22;   // the check badge of a selected tile
constexpr int kSelectionBorder = 3; // a selected tile's border
constexpr int kWheelStep = 60;      // pixels per wheel notch
// The timer that draws the scroll bar after a burst of changes, at most once a frame (60 Hz).
constexpr UINT_PTR kScrollBarTimer = 0x56534252;
constexpr UINT kScrollBarFrameMs = 16;

// The manager's display modes as the matrix shows them: covers on a shelf, or a compact list.
enum class MatrixMode { kShelf, kCompact };

class CRefBookMatrix final : public CControlImpl<ICtrlBookMatrix, IRefBookMatrixInspect> {
public:
    CRefBookMatrix(CSkinWindow* skin, const ControlSpec& design);

    // ICtrlBookMatrix
    bool AddBook(const BOOK_ITEM* item, int reserved1, int reserved2, int redraw) override;
    bool SetBooks(const std::vector<BOOK_ITEM>* books, const std::vector<int>* ids, int reserved1,
                  int reserved2) override;
    LRESULT HandleNotify(WPARAM wParam, LPARAM lParam) override;
    bool SetBookImage(int id, const char* path) override;
    void UpdateLayout(int reserved, int redraw) override;
    void ClearBooks() override;
    bool RemoveBook(int id, bool relayout) override;
    const std::vector<int>* GetBookList() override { return &m_ids; }
    const std::vector<int>* GetSelectedBooks() override { return &m_selection; }
    void RemoveBooks(const std::vector<int>* ids, WPARAM value) override;
    bool UpdateBookInfo(const BOOK_INFO* info, int id) override;
    bool HasBook(int id) override;

    // IRefBookMatrixInspect
    std::vector<BOOK_INFO> Books() override;
    std::vector<int> Ids() override { return Locked(m_ids); }
    std::string ImagePath(int id) override;
    std::vector<int> Selection() override { return Locked(m_selection); }
    void SetSelection(const std::vector<int>& ids) override;
    int AddBookCalls() override { return Locked(m_addBookCalls); }
    int SetBooksCalls() override { return Locked(m_setBooksCalls); }
    int UpdateLayoutCalls() override { return Locked(m_updateLayoutCalls); }
    int ClearBooksCalls() override { return Locked(m_clearBooksCalls); }
    int RemoveBookCalls() override { return Locked(m_removeBookCalls); }
    int RemoveBooksCalls() override { return Locked(m_removeBooksCalls); }
    int UpdateBookInfoCalls() override { return Locked(m_updateBookInfoCalls); }
    int SetBookImageCalls() override { return Locked(m_setBookImageCalls); }
    LONGLONG LastSetBookImageTime() override { return Locked(m_lastSetBookImageTime); }
    int HandleNotifyCalls() override { return Locked(m_handleNotifyCalls); }
    std::vector<int> LastRemoveBooksIds() override { return Locked(m_lastRemoveIds); }
    WPARAM LastRemoveBooksValue() override { return Locked(m_lastRemoveValue); }
    int BatchDeleteEndNotices() override { return Locked(m_batchEndNotices); }
    void UserOpen(int id) override { SendToWindow(WM_REF_USER_OPEN, static_cast<WPARAM>(id)); }
    void UserDelete(int id) override { SendToWindow(WM_REF_USER_DELETE, static_cast<WPARAM>(id)); }
    void UserClick(int id, bool ctrl, bool shift) override;
    int ScrollPos() override { return Locked(m_scrollY); }
    bool TileRect(int id, RECT* tile, RECT* cover) override;
    RefCoverStats CoverStats() override;

    // The manager's display mode reached the matrix (any thread).
    void SetDisplayMode(MatrixMode mode);

private:
    // A cover file as SetBookImage named it; a new call gives a new generation, so a cover written
    // again under the same path is decoded again.
    struct CoverRef {
        std::string path;
        unsigned generation = 0;
    };

    const wchar_t* WindowClassName() const override { return L"VexilRefBookMatrix"; }
    DWORD ExtraStyle() const override { return WS_VSCROLL; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // Pieces of OnMessage: the scroll bar's and the prefetch's timers, the keyboard, a new size.
    bool OnTimerFired(UINT_PTR id);
    bool OnKey(WPARAM key);
    void OnSized(int width, int height);
    void OnCreated() override;
    void DpiChanged() override;

    // The grid's measures for the present mode and view width.
    struct Grid {
        int tileWidth = kTileWidth;
        int tileHeight = kTileHeight;
        int gapX = kTileGap;
        int gapY = kTileGap;
        int columns = 1;
        int left = kTileGap;
        int PitchY() const { return tileHeight + gapY; }
        bool operator==(const Grid& other) const {
            return tileWidth == other.tileWidth && tileHeight == other.tileHeight && gapX == other.gapX &&
                   gapY == other.gapY && columns == other.columns && left == other.left;
        }
    };

    // The following run with m_lock held.
    int IndexOf(int id) const;
    void Append(const BOOK_ITEM& item, int id);
    void RebuildIndex();
    void PlaceTile(size_t index);
    // Places the tiles from first on; true when the grid changed and every tile moved.
    bool LayoutFrom(size_t first);
    void ClampScroll();
    // The tile of that index in view coordinates, or an empty rectangle when it is out of view.
    RECT TileInView(size_t index) const;
    void SyncSelectionFlags();
    void ReplaceSelection(const std::vector<int>& ids);
    void ForgetIds(const std::unordered_set<int>& ids);
    int HitTestLocked(POINT clientPoint) const;

    // Brings the scroll bar up to date: at once on the window's thread, posted from any other. With
    // oncePerFrame (a change of the shelf, which may come thousands of times in a burst) the bar
    // takes its new range at once but is drawn again at most once a frame: drawing it costs Wine
    // several times a cross-thread message.
    void SyncScrollBar(bool oncePerFrame = false);
    // Draws the scroll bar again. On the window thread.
    void RedrawScrollBar();
    // Redraws what a change of the shelf touched: all of it when the grid moved, else the tile.
    void RedrawAfterChange(bool gridMoved, const RECT& tile);

    // User actions and view changes, on the window thread (bookmatrix_view.cpp).
    void ClickBook(int id, bool ctrl, bool shift);
    void SelectUser(const std::vector<int>& ids);
    void NotifyBook(int notification, int id);
    int FocusBook();
    int HitTest(POINT clientPoint);
    void ScrollTo(int position);
    void OnScrollBar(int request);
    void MoveFocus(int key, bool shift);
    void EnsureVisible(int id);
    // Decodes a few covers of the page below the view, then of the page above it, that are not
    // kept yet, and asks for another round while some remain: the next Page Down or Page Up finds
    // its covers ready. Runs from posted messages, so the window answers in between.
    void PrefetchCovers();

    // Shelf order. m_ids mirrors m_books and, like m_selection, is handed out by pointer: both are
    // changed only on the window thread (under m_lock, for the inspector's copies).
    std::vector<BOOK_ITEM> m_books;
    std::vector<int> m_ids;
    std::unordered_map<int, size_t> m_indexById;
    std::vector<int> m_selection;
    std::map<int, CoverRef> m_images; // SetBookImage may come from any thread
    unsigned m_nextGeneration = 1;
    int m_anchorId = 0; // where a Shift-click range starts
    int m_focusId = 0;  // the book Enter and Delete act on
    // The grid, in the client area of the control's window (the scroll bar stands beside it).
    MatrixMode m_mode = MatrixMode::kShelf;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    Grid m_grid;
    int m_scrollY = 0;
    int m_contentHeight = 0;

    // Window thread only.
    CCoverCache m_covers;
    bool m_hasFocus = false;
    bool m_prefetchPosted = false;   // a round is posted or waits on its timer
    bool m_scrollBarPending = false; // the bar's new range waits for the frame timer to be drawn
    // When the last cover was handed over (GetTickCount64), from any thread.
    std::atomic<ULONGLONG> m_lastCoverTick{0};
    SCROLLINFO m_shownScroll = {}; // what the scroll bar shows, so an unchanged one is not redrawn
    // What the last paint did with covers, for the inspector on any thread.
    std::atomic<int> m_statDecodes{0};
    std::atomic<int> m_statKept{0};
    std::atomic<int> m_statDrawn{0};

    int m_addBookCalls = 0;
    int m_setBooksCalls = 0;
    int m_updateLayoutCalls = 0;
    int m_clearBooksCalls = 0;
    int m_removeBookCalls = 0;
    int m_removeBooksCalls = 0;
    int m_updateBookInfoCalls = 0;
    int m_setBookImageCalls = 0;
    LONGLONG m_lastSetBookImageTime = 0;
    int m_handleNotifyCalls = 0;
    int m_batchEndNotices = 0;
    std::vector<int> m_lastRemoveIds;
    WPARAM m_lastRemoveValue = 0;
};

// The id a record's strAppId names: a positive decimal number and nothing else, or 0.
int ParseBookId(const std::string& text);

} // namespace vexilref

#include "bookmatrix.h"

#include <vexil/messages.h>

#include <algorithm>

#include "strutil.h"

namespace vexilref {

int ParseBookId(const std::string& text) {
    if (text.empty() || text.size() > 10)
        return 0;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value > 0 && value <= INT_MAX ? static_cast<int>(value) : 0;
}

CRefBookMatrix::CRefBookMatrix(CSkinWindow* skin, const ControlSpec& design) : CControlImpl(skin, design) {
    // Until the window exists: the control's rectangle less the scroll bar, which is always shown.
    m_viewWidth =
        std::max(0, static_cast<int>(design.rect.right - design.rect.left) - GetSystemMetrics(SM_CXVSCROLL));
    m_viewHeight = std::max(0, static_cast<int>(design.rect.bottom - design.rect.top));
    LayoutFrom(0);
}

int CRefBookMatrix::IndexOf(int id) const {
    auto found = m_indexById.find(id);
    return found == m_indexById.end() ? -1 : static_cast<int>(found->second);
}

void CRefBookMatrix::Append(const BOOK_ITEM& item, int id) {
    m_books.push_back(item);
    BOOK_ITEM& copy = m_books.back();
    copy.bSelected = false;
    copy.bImageLoaded = false;
    copy.nImageWidth = copy.nImageHeight = 0;
    m_ids.push_back(id);
    m_indexById[id] = m_ids.size() - 1;
}

void CRefBookMatrix::RebuildIndex() {
    m_indexById.clear();
    for (size_t i = 0; i < m_ids.size(); ++i)
        m_indexById[m_ids[i]] = i;
}

void CRefBookMatrix::PlaceTile(size_t index) {
    BOOK_ITEM& book = m_books[index];
    const Grid& grid = m_grid;
    const int column = static_cast<int>(index % static_cast<size_t>(grid.columns));
    const int row = static_cast<int>(index / static_cast<size_t>(grid.columns));
    const int left = grid.left + column * (grid.tileWidth + grid.gapX);
    const int top = grid.gapY + row * grid.PitchY();
    const int right = left + grid.tileWidth;
    book.nTileIndex = static_cast<int>(index);
    book.rcTile = {left, top, right, top + grid.tileHeight};
    const int mark = Scale(kTileMarkSize);
    if (m_mode == MatrixMode::kShelf) {
        const int coverBottom = top + Scale(kCoverHeight), inset = Scale(5);
        book.rcCover = {left, top, right, coverBottom};
        book.rcCaption = {left, coverBottom, right, top + grid.tileHeight};
        book.rcMark = {right - mark - inset, top + inset, right - inset, top + inset + mark};
        return;
    }
    // A row: the cover at the left, the texts beside it, the badge at the right end.
    const int coverHeight = Scale(kRowCoverHeight);
    const int coverTop = top + (grid.tileHeight - coverHeight) / 2;
    const int markTop = top + (grid.tileHeight - mark) / 2;
    book.rcCover = {left + Scale(8), coverTop, left + Scale(8) + Scale(kRowCoverWidth),
                    coverTop + coverHeight};
    book.rcMark = {right - mark - Scale(10), markTop, right - Scale(10), markTop + mark};
    book.rcCaption = {book.rcCover.right + Scale(10), top,
                      std::max(book.rcCover.right + Scale(10), book.rcMark.left - Scale(6)),
                      top + grid.tileHeight};
}

bool CRefBookMatrix::LayoutFrom(size_t first) {
    Grid grid;
    if (m_mode == MatrixMode::kShelf) {
        grid.tileWidth = Scale(kTileWidth);
        grid.tileHeight = Scale(kCoverHeight) + Scale(kTileCaptionHeight);
        grid.gapX = grid.gapY = Scale(kTileGap);
        grid.columns = std::max(1, (m_viewWidth - grid.gapX) / (grid.tileWidth + grid.gapX));
        // The grid stands in the middle of the view.
        const int gridWidth = grid.columns * (grid.tileWidth + grid.gapX) - grid.gapX;
        grid.left = std::max(grid.gapX, (m_viewWidth - gridWidth) / 2);
    } else {
        // Rows fill the view's width.
        grid.gapX = 2 * Scale(kRowGap);
        grid.gapY = Scale(kRowGap);
        grid.tileHeight = Scale(kRowHeight);
        grid.columns = std::max(1, (m_viewWidth - grid.gapX) / (Scale(kRowMinWidth) + grid.gapX));
        grid.tileWidth = std::max(1, (m_viewWidth - grid.gapX) / grid.columns - grid.gapX);
        grid.left = grid.gapX;
    }
    const bool moved = !(grid == m_grid);
    if (moved) {
        m_grid = grid;
        first = 0; // every tile moves
    }
    for (size_t i = first; i < m_books.size(); ++i)
        PlaceTile(i);
    const size_t columns = static_cast<size_t>(grid.columns);
    const int rows = static_cast<int>((m_books.size() + columns - 1) / columns);
    m_contentHeight = grid.gapY + rows * grid.PitchY();
    ClampScroll();
    return moved;
}

void CRefBookMatrix::ClampScroll() {
    m_scrollY = std::max(0, std::min(m_scrollY, m_contentHeight - m_viewHeight));
}

RECT CRefBookMatrix::TileInView(size_t index) const {
    if (index >= m_books.size())
        return {};
    RECT tile = m_books[index].rcTile;
    OffsetRect(&tile, 0, -m_scrollY);
    return tile.bottom > 0 && tile.top < m_viewHeight ? tile : RECT{};
}

void CRefBookMatrix::SyncSelectionFlags() {
    for (BOOK_ITEM& book : m_books)
        book.bSelected = false;
    for (int id : m_selection) {
        const int index = IndexOf(id);
        if (index >= 0)
            m_books[static_cast<size_t>(index)].bSelected = true;
    }
}

void CRefBookMatrix::ReplaceSelection(const std::vector<int>& ids) {
    m_selection.clear();
    std::unordered_set<int> taken;
    for (int id : ids)
        if (IndexOf(id) >= 0 && taken.insert(id).second)
            m_selection.push_back(id);
    SyncSelectionFlags();
}

void CRefBookMatrix::ForgetIds(const std::unordered_set<int>& ids) {
    if (ids.empty())
        return;
    size_t kept = 0;
    for (size_t i = 0; i < m_ids.size(); ++i) {
        if (ids.count(m_ids[i]))
            continue;
        if (kept != i) {
            m_ids[kept] = m_ids[i];
            m_books[kept] = std::move(m_books[i]);
        }
        ++kept;
    }
    m_ids.resize(kept);
    m_books.resize(kept);
    RebuildIndex();
    m_selection.erase(
        std::remove_if(m_selection.begin(), m_selection.end(), [&](int id) { return ids.count(id) != 0; }),
        m_selection.end());
    for (int id : ids)
        m_images.erase(id);
    if (ids.count(m_anchorId))
        m_anchorId = 0;
    if (ids.count(m_focusId))
        m_focusId = 0;
}

int CRefBookMatrix::HitTestLocked(POINT at) const {
    const Grid& grid = m_grid;
    const int x = at.x - grid.left, y = at.y + m_scrollY - grid.gapY;
    if (x < 0 || y < 0)
        return 0;
    const int pitchX = grid.tileWidth + grid.gapX;
    const int column = x / pitchX, row = y / grid.PitchY();
    if (column >= grid.columns || x % pitchX >= grid.tileWidth || y % grid.PitchY() >= grid.tileHeight)
        return 0; // in a gap
    const size_t index =
        static_cast<size_t>(row) * static_cast<size_t>(grid.columns) + static_cast<size_t>(column);
    return index < m_ids.size() ? m_ids[index] : 0;
}

void CRefBookMatrix::SyncScrollBar(bool oncePerFrame) {
    HWND hwnd = Window();
    if (!hwnd)
        return;
    if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) {
        PostMessageW(hwnd, WM_REF_SYNC_SCROLL, 0, 0);
        return;
    }
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        info.nMin = 0;
        info.nMax = std::max(0, m_contentHeight - 1);
        info.nPage = static_cast<UINT>(std::max(0, m_viewHeight));
        info.nPos = m_scrollY;
    }
    // Most arrivals leave the bar as it is: redrawing it would cost more than the new tile.
    if (info.nMax == m_shownScroll.nMax && info.nPage == m_shownScroll.nPage &&
        info.nPos == m_shownScroll.nPos && m_shownScroll.cbSize != 0)
        return;
    m_shownScroll = info;
    // The bar is drawn again with the next paint, not now: an arrival that starts a new row of
    // tiles does not wait for it.
    SetScrollInfo(hwnd, SB_VERT, &info, FALSE);
    if (!oncePerFrame) {
        RedrawScrollBar();
        return;
    }
    if (!m_scrollBarPending) {
        m_scrollBarPending = SetTimer(hwnd, kScrollBarTimer, kScrollBarFrameMs, nullptr) != 0;
        if (!m_scrollBarPending)
            RedrawScrollBar();
    }
}

void CRefBookMatrix::RedrawScrollBar() {
    HWND hwnd = Window();
    if (!hwnd)
        return;
    RECT client = {};
    GetClientRect(hwnd, &client);
    const RECT bar = {client.right, 0, client.right + GetSystemMetrics(SM_CXVSCROLL), client.bottom};
    RedrawWindow(hwnd, &bar, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

void CRefBookMatrix::RedrawAfterChange(bool gridMoved, const RECT& tile) {
    if (gridMoved)
        Redraw(false);
    else if (!IsRectEmpty(&tile))
        RedrawPart(tile);
}

bool CRefBookMatrix::AddBook(const BOOK_ITEM* item, int, int, int) {
    bool moved;
    RECT tile;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_addBookCalls;
        const int id = item ? ParseBookId(item->bookInfo.strAppId) : 0;
        if (id <= 0 || IndexOf(id) >= 0)
            return false;
        // The first book takes the place of the empty shelf's note.
        const bool wasEmpty = m_books.empty();
        Append(*item, id);
        moved = LayoutFrom(m_books.size() - 1) || wasEmpty;
        tile = TileInView(m_books.size() - 1);
    }
    SyncScrollBar(true);
    // Whether or not the caller asks for a repaint now, the kept picture must not show the shelf
    // without the book: only the new tile is redrawn, and only when it is in view.
    RedrawAfterChange(moved, tile);
    return true;
}

bool CRefBookMatrix::SetBooks(const std::vector<BOOK_ITEM>* books, const std::vector<int>* ids, int, int) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_setBooksCalls;
        m_books.clear();
        m_ids.clear();
        m_indexById.clear();
        m_selection.clear();
        m_anchorId = m_focusId = 0;
        const size_t count = (books && ids) ? std::min(books->size(), ids->size()) : 0;
        m_books.reserve(count);
        m_ids.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const int id = (*ids)[i];
            if (id <= 0 || IndexOf(id) >= 0)
                continue; // not a shelf id, or shelved already: the first entry wins
            Append((*books)[i], id);
            // The record names the id it is shelved under, so a notification's BOOK_INFO leads back to it.
            m_books.back().bookInfo.strAppId = std::to_string(id);
        }
        for (auto image = m_images.begin(); image != m_images.end();)
            image = IndexOf(image->first) >= 0 ? std::next(image) : m_images.erase(image);
        m_books.shrink_to_fit();
        m_ids.shrink_to_fit();
        LayoutFrom(0);
    }
    SyncScrollBar();
    Redraw(false);
    return true;
}

LRESULT CRefBookMatrix::HandleNotify(WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_handleNotifyCalls;
        switch (wParam) {
        case REF_MATRIX_SELECT_ALL:
            ReplaceSelection(m_ids);
            result = static_cast<LRESULT>(m_selection.size());
            break;
        case REF_MATRIX_CLEAR_SELECTION:
            ReplaceSelection({});
            break;
        case REF_MATRIX_SELECT_ID: {
            const int id = static_cast<int>(lParam);
            ReplaceSelection({id});
            result = m_selection.empty() ? 0 : 1;
            break;
        }
        default:
            return 0;
        }
    }
    Redraw(false);
    return result;
}

bool CRefBookMatrix::SetBookImage(int id, const char* path) {
    RECT tile;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_setBookImageCalls;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        m_lastSetBookImageTime = now.QuadPart;
        const int index = IndexOf(id);
        if (index < 0)
            return false;
        m_lastCoverTick = GetTickCount64();
        if (path && *path)
            m_images[id] = CoverRef{path, m_nextGeneration++};
        else
            m_images.erase(id);
        // Decoded when the tile is drawn next.
        m_books[static_cast<size_t>(index)].bImageLoaded = false;
        tile = TileInView(static_cast<size_t>(index));
    }
    // Only the book's own tile, and only when it is in view: a load hands over thousands of covers,
    // and repainting the whole matrix for each would keep the window thread busy drawing.
    RedrawAfterChange(false, tile);
    return true;
}

void CRefBookMatrix::UpdateLayout(int, int) {
    bool moved;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_updateLayoutCalls;
        // Every change of the shelf placed the tiles it moved: only a changed grid moves them all.
        moved = LayoutFrom(m_books.size());
    }
    SyncScrollBar(true);
    // Nor did it leave anything undrawn.
    if (moved)
        Redraw(false);
}

void CRefBookMatrix::SetDisplayMode(MatrixMode mode) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (mode == m_mode)
            return;
        // The book at the top of the view stays there.
        const size_t top =
            static_cast<size_t>(m_scrollY / m_grid.PitchY()) * static_cast<size_t>(m_grid.columns);
        m_mode = mode;
        LayoutFrom(0);
        m_scrollY = static_cast<int>(top / static_cast<size_t>(m_grid.columns)) * m_grid.PitchY();
        ClampScroll();
    }
    SyncScrollBar();
    Redraw(false);
}

void CRefBookMatrix::ClearBooks() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_clearBooksCalls;
        // Swapped out, so the memory of a large shelf goes back at once.
        std::vector<BOOK_ITEM>().swap(m_books);
        std::vector<int>().swap(m_ids);
        std::unordered_map<int, size_t>().swap(m_indexById);
        m_selection.clear();
        m_images.clear();
        m_anchorId = m_focusId = 0;
        LayoutFrom(0);
    }
    SyncScrollBar();
    Redraw(false);
}

bool CRefBookMatrix::RemoveBook(int id, bool) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_removeBookCalls;
        const int index = IndexOf(id);
        if (index < 0)
            return false;
        ForgetIds({id});
        LayoutFrom(static_cast<size_t>(index));
    }
    SyncScrollBar();
    // The tiles always follow the shelf, and the picture with them, whatever the caller asked.
    Redraw(false);
    return true;
}

void CRefBookMatrix::RemoveBooks(const std::vector<int>* ids, WPARAM value) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_removeBooksCalls;
        m_lastRemoveIds = ids ? *ids : std::vector<int>();
        m_lastRemoveValue = value;
        ForgetIds(std::unordered_set<int>(m_lastRemoveIds.begin(), m_lastRemoveIds.end()));
        m_selection.clear();
        SyncSelectionFlags();
        LayoutFrom(0);
    }
    SyncScrollBar();
    Redraw(false);
    // Posted to the matrix's own window: the end of the batch is told once the caller (the window's
    // handler of the batch-done message) has returned to its message loop.
    if (HWND hwnd = Window())
        PostMessageW(hwnd, WM_REF_BATCH_END, value, 0);
}

bool CRefBookMatrix::UpdateBookInfo(const BOOK_INFO* info, int id) {
    RECT tile;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_updateBookInfoCalls;
        const int index = info ? IndexOf(id) : -1;
        if (index < 0)
            return false;
        BOOK_INFO& book = m_books[static_cast<size_t>(index)].bookInfo;
        const std::string appId = book.strAppId;
        const bool valid = book.bValid;
        book = *info;
        book.strAppId = appId;
        book.bValid = valid;
        tile = TileInView(static_cast<size_t>(index));
    }
    RedrawAfterChange(false, tile);
    return true;
}

bool CRefBookMatrix::HasBook(int id) {
    std::lock_guard<std::mutex> lock(m_lock);
    return IndexOf(id) >= 0;
}

std::vector<BOOK_INFO> CRefBookMatrix::Books() {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<BOOK_INFO> books;
    for (const BOOK_ITEM& book : m_books)
        books.push_back(book.bookInfo);
    return books;
}

std::string CRefBookMatrix::ImagePath(int id) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_images.find(id);
    return found == m_images.end() ? std::string() : found->second.path;
}

void CRefBookMatrix::SetSelection(const std::vector<int>& ids) {
    SendToWindow(WM_REF_SET_SELECTION, 0, reinterpret_cast<LPARAM>(&ids));
}

void CRefBookMatrix::UserClick(int id, bool ctrl, bool shift) {
    SendToWindow(WM_REF_USER_CLICK, static_cast<WPARAM>(id),
                 (ctrl ? MK_CONTROL : 0) | (shift ? MK_SHIFT : 0));
}

bool CRefBookMatrix::TileRect(int id, RECT* tile, RECT* cover) {
    std::lock_guard<std::mutex> lock(m_lock);
    const int index = IndexOf(id);
    if (index < 0)
        return false;
    const BOOK_ITEM& book = m_books[static_cast<size_t>(index)];
    if (tile) {
        *tile = book.rcTile;
        OffsetRect(tile, 0, -m_scrollY);
    }
    if (cover) {
        *cover = book.rcCover;
        OffsetRect(cover, 0, -m_scrollY);
    }
    return true;
}

RefCoverStats CRefBookMatrix::CoverStats() {
    RefCoverStats stats;
    stats.decodes = m_statDecodes.load();
    stats.kept = m_statKept.load();
    stats.drawn = m_statDrawn.load();
    return stats;
}

} // namespace vexilref

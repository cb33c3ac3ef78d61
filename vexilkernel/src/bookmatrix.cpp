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
    const int column = static_cast<int>(index % static_cast<size_t>(m_columns));
    const int row = static_cast<int>(index / static_cast<size_t>(m_columns));
    const int left = m_gridLeft + column * (kTileWidth + kTileGap);
    const int top = kTileGap + row * (kTileHeight + kTileGap);
    book.nTileIndex = static_cast<int>(index);
    book.rcTile = {left, top, left + kTileWidth, top + kTileHeight};
    book.rcCover = {left, top, left + kTileWidth, top + kCoverHeight};
    book.rcCaption = {left, top + kCoverHeight, left + kTileWidth, top + kTileHeight};
    book.rcMark = {left + kTileWidth - kTileMarkSize - 5, top + 5, left + kTileWidth - 5,
                   top + 5 + kTileMarkSize};
}

void CRefBookMatrix::LayoutFrom(size_t first) {
    const int columns = std::max(1, (m_viewWidth - kTileGap) / (kTileWidth + kTileGap));
    if (columns != m_columns) {
        m_columns = columns;
        first = 0; // every tile moves
    }
    // The grid stands in the middle of the view.
    const int gridWidth = columns * (kTileWidth + kTileGap) - kTileGap;
    const int gridLeft = std::max(kTileGap, (m_viewWidth - gridWidth) / 2);
    if (gridLeft != m_gridLeft) {
        m_gridLeft = gridLeft;
        first = 0;
    }
    for (size_t i = first; i < m_books.size(); ++i)
        PlaceTile(i);
    const int rows =
        static_cast<int>((m_books.size() + static_cast<size_t>(columns) - 1) / static_cast<size_t>(columns));
    m_contentHeight = kTileGap + rows * (kTileHeight + kTileGap);
    ClampScroll();
}

void CRefBookMatrix::ClampScroll() {
    m_scrollY = std::max(0, std::min(m_scrollY, m_contentHeight - m_viewHeight));
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
    const int x = at.x - m_gridLeft, y = at.y + m_scrollY - kTileGap;
    if (x < 0 || y < 0)
        return 0;
    const int column = x / (kTileWidth + kTileGap), row = y / (kTileHeight + kTileGap);
    if (column >= m_columns || x % (kTileWidth + kTileGap) >= kTileWidth ||
        y % (kTileHeight + kTileGap) >= kTileHeight)
        return 0; // in a gap
    const size_t index =
        static_cast<size_t>(row) * static_cast<size_t>(m_columns) + static_cast<size_t>(column);
    return index < m_ids.size() ? m_ids[index] : 0;
}

void CRefBookMatrix::SyncScrollBar() {
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
    SetScrollInfo(hwnd, SB_VERT, &info, TRUE);
}

bool CRefBookMatrix::AddBook(const BOOK_ITEM* item, int, int, int redraw) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_addBookCalls;
        const int id = item ? ParseBookId(item->bookInfo.strAppId) : 0;
        if (id <= 0 || IndexOf(id) >= 0)
            return false;
        Append(*item, id);
        LayoutFrom(m_books.size() - 1);
    }
    SyncScrollBar();
    if (redraw)
        Redraw(false);
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
    bool inView;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_setBookImageCalls;
        const int index = IndexOf(id);
        if (index < 0)
            return false;
        if (path && *path)
            m_images[id] = CoverRef{path, m_nextGeneration++};
        else
            m_images.erase(id);
        // Decoded when the tile is drawn next.
        BOOK_ITEM& book = m_books[static_cast<size_t>(index)];
        book.bImageLoaded = false;
        tile = book.rcTile;
        OffsetRect(&tile, 0, -m_scrollY);
        inView = tile.bottom > 0 && tile.top < m_viewHeight;
    }
    // Only the book's own tile, and only when it is in view: a load hands over thousands of covers,
    // and repainting the whole matrix for each would keep the window thread busy drawing.
    if (HWND hwnd = Window(); hwnd && inView)
        InvalidateRect(hwnd, &tile, FALSE);
    return true;
}

void CRefBookMatrix::UpdateLayout(int, int redraw) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_updateLayoutCalls;
        LayoutFrom(0);
    }
    SyncScrollBar();
    if (redraw)
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

bool CRefBookMatrix::RemoveBook(int id, bool relayout) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_removeBookCalls;
        const int index = IndexOf(id);
        if (index < 0)
            return false;
        ForgetIds({id});
        // The tiles always follow the shelf; relayout only says whether to repaint now.
        LayoutFrom(static_cast<size_t>(index));
    }
    SyncScrollBar();
    if (relayout)
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
    }
    Redraw(false);
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

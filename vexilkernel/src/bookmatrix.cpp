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

int CRefBookMatrix::IndexOf(int id) const {
    auto found = std::find(m_ids.begin(), m_ids.end(), id);
    return found == m_ids.end() ? -1 : static_cast<int>(found - m_ids.begin());
}

void CRefBookMatrix::Layout() {
    const int width = m_spec.rect.right - m_spec.rect.left;
    const int height = m_spec.rect.bottom - m_spec.rect.top;
    const int columns = std::max(1, (width - kTileGap) / (kTileWidth + kTileGap));
    for (size_t i = 0; i < m_books.size(); ++i) {
        BOOK_ITEM& book = m_books[i];
        const int column = static_cast<int>(i) % columns;
        const int row = static_cast<int>(i) / columns;
        const int left = kTileGap + column * (kTileWidth + kTileGap);
        const int top = kTileGap + row * (kTileHeight + kTileGap);
        book.nTileIndex = static_cast<int>(i);
        book.rcTile = {left, top, left + kTileWidth, top + kTileHeight};
        book.rcCover = {left, top, left + kTileWidth, top + kTileHeight - kTileCaptionHeight};
        book.rcCaption = {left, top + kTileHeight - kTileCaptionHeight, left + kTileWidth, top + kTileHeight};
        book.rcMark = {left + kTileWidth - 18, top + 4, left + kTileWidth - 4, top + 18};
    }
    const int rows = m_books.empty() ? 0 : (static_cast<int>(m_books.size()) + columns - 1) / columns;
    m_contentHeight = kTileGap + rows * (kTileHeight + kTileGap);
    m_scrollY = std::max(0, std::min(m_scrollY, m_contentHeight - height));
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
    for (int id : ids)
        if (IndexOf(id) >= 0 && std::find(m_selection.begin(), m_selection.end(), id) == m_selection.end())
            m_selection.push_back(id);
    SyncSelectionFlags();
}

void CRefBookMatrix::ForgetBook(int id) {
    const int index = IndexOf(id);
    if (index < 0)
        return;
    m_books.erase(m_books.begin() + index);
    m_ids.erase(m_ids.begin() + index);
    m_selection.erase(std::remove(m_selection.begin(), m_selection.end(), id), m_selection.end());
    m_images.erase(id);
    if (m_anchorId == id)
        m_anchorId = 0;
    if (m_focusId == id)
        m_focusId = 0;
}

bool CRefBookMatrix::AddBook(const BOOK_ITEM* item, int, int, int redraw) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_addBookCalls;
        const int id = item ? ParseBookId(item->bookInfo.strAppId) : 0;
        if (id <= 0 || IndexOf(id) >= 0)
            return false;
        BOOK_ITEM copy = *item;
        copy.bSelected = false;
        copy.bImageLoaded = false;
        m_books.push_back(copy);
        m_ids.push_back(id);
        Layout();
    }
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
        m_selection.clear();
        m_anchorId = m_focusId = 0;
        const size_t count = (books && ids) ? std::min(books->size(), ids->size()) : 0;
        for (size_t i = 0; i < count; ++i) {
            const int id = (*ids)[i];
            if (id <= 0 || IndexOf(id) >= 0)
                continue; // not a shelf id, or shelved already: the first entry wins
            BOOK_ITEM copy = (*books)[i];
            // The record names the id it is shelved under, so a notification's BOOK_INFO leads back to it.
            copy.bookInfo.strAppId = std::to_string(id);
            copy.bSelected = false;
            copy.bImageLoaded = false;
            m_books.push_back(copy);
            m_ids.push_back(id);
        }
        for (auto image = m_images.begin(); image != m_images.end();)
            image = IndexOf(image->first) >= 0 ? std::next(image) : m_images.erase(image);
        Layout();
    }
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
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_setBookImageCalls;
        const int index = IndexOf(id);
        if (index < 0)
            return false;
        if (path && *path)
            m_images[id] = path;
        else
            m_images.erase(id);
        // Decoded when the tile is drawn next.
        m_books[static_cast<size_t>(index)].bImageLoaded = false;
    }
    Redraw(false);
    return true;
}

void CRefBookMatrix::UpdateLayout(int, int redraw) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_updateLayoutCalls;
        Layout();
    }
    if (redraw)
        Redraw(false);
}

void CRefBookMatrix::ClearBooks() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_clearBooksCalls;
        m_books.clear();
        m_ids.clear();
        m_selection.clear();
        m_images.clear();
        m_anchorId = m_focusId = 0;
        Layout();
    }
    Redraw(false);
}

bool CRefBookMatrix::RemoveBook(int id, bool relayout) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_removeBookCalls;
        if (IndexOf(id) < 0)
            return false;
        ForgetBook(id);
        // The tiles always follow the shelf; relayout only says whether to repaint now.
        Layout();
    }
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
        for (int id : m_lastRemoveIds)
            ForgetBook(id);
        m_selection.clear();
        SyncSelectionFlags();
        Layout();
    }
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
    return found == m_images.end() ? std::string() : found->second;
}

void CRefBookMatrix::SetSelection(const std::vector<int>& ids) {
    SendToWindow(WM_REF_SET_SELECTION, 0, reinterpret_cast<LPARAM>(&ids));
}

void CRefBookMatrix::UserClick(int id, bool ctrl, bool shift) {
    SendToWindow(WM_REF_USER_CLICK, static_cast<WPARAM>(id),
                 (ctrl ? MK_CONTROL : 0) | (shift ? MK_SHIFT : 0));
}

// ---- User actions (window thread) --------------------------------------------------------------

void CRefBookMatrix::ClickBook(int id, bool ctrl, bool shift) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int index = IndexOf(id);
        if (index < 0)
            return;
        const int anchor = IndexOf(m_anchorId);
        if (shift && anchor >= 0) {
            std::vector<int> range = ctrl ? m_selection : std::vector<int>();
            const int step = index >= anchor ? 1 : -1;
            for (int i = anchor;; i += step) {
                range.push_back(m_ids[static_cast<size_t>(i)]);
                if (i == index)
                    break;
            }
            ReplaceSelection(range);
        } else if (ctrl) {
            std::vector<int> selection = m_selection;
            auto found = std::find(selection.begin(), selection.end(), id);
            if (found == selection.end())
                selection.push_back(id);
            else
                selection.erase(found);
            ReplaceSelection(selection);
            m_anchorId = id;
        } else {
            ReplaceSelection({id});
            m_anchorId = id;
        }
        m_focusId = id;
    }
    Redraw(false);
}

void CRefBookMatrix::SelectUser(const std::vector<int>& ids) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ReplaceSelection(ids);
    }
    Redraw(false);
}

void CRefBookMatrix::NotifyBook(int notification, int id) {
    BOOK_INFO info;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int index = IndexOf(id);
        if (index < 0)
            return;
        // A copy: the receiver may change the shelf while it handles the notification.
        info = m_books[static_cast<size_t>(index)].bookInfo;
    }
    Notify(notification, 0, reinterpret_cast<LPARAM>(&info));
}

int CRefBookMatrix::FocusBook() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (IndexOf(m_focusId) >= 0)
        return m_focusId;
    return m_selection.empty() ? 0 : m_selection.front();
}

int CRefBookMatrix::HitTest(POINT at) {
    std::lock_guard<std::mutex> lock(m_lock);
    at.y += m_scrollY;
    for (const BOOK_ITEM& book : m_books)
        if (PtInRect(&book.rcTile, at))
            return ParseBookId(book.bookInfo.strAppId);
    return 0;
}

bool CRefBookMatrix::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    switch (message) {
    case WM_REF_BATCH_END: {
        Notify(VEXIL_NOTIFY_BATCH_DELETE_END, wParam, 0);
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_batchEndNotices;
        return true;
    }
    case WM_REF_USER_OPEN:
        NotifyBook(VEXIL_NOTIFY_OPEN_BOOK, static_cast<int>(wParam));
        return true;
    case WM_REF_USER_DELETE:
        NotifyBook(VEXIL_NOTIFY_DELETE_BOOK, static_cast<int>(wParam));
        return true;
    case WM_REF_USER_CLICK:
        ClickBook(static_cast<int>(wParam), (lParam & MK_CONTROL) != 0, (lParam & MK_SHIFT) != 0);
        return true;
    case WM_REF_SET_SELECTION:
        SelectUser(*reinterpret_cast<const std::vector<int>*>(lParam));
        return true;
    case WM_LBUTTONDOWN: {
        SetFocus(Window());
        const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const int id = HitTest(at);
        if (id > 0)
            ClickBook(id, (wParam & MK_CONTROL) != 0, (wParam & MK_SHIFT) != 0);
        else if (!(wParam & MK_CONTROL))
            SelectUser({});
        return true;
    }
    case WM_LBUTTONDBLCLK: {
        const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const int id = HitTest(at);
        if (id > 0)
            NotifyBook(VEXIL_NOTIFY_OPEN_BOOK, id);
        return true;
    }
    case WM_GETDLGCODE:
        *result = DLGC_WANTALLKEYS;
        return true;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN)
            NotifyBook(VEXIL_NOTIFY_OPEN_BOOK, FocusBook());
        else if (wParam == VK_DELETE)
            NotifyBook(VEXIL_NOTIFY_DELETE_BOOK, FocusBook());
        else if (wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000))
            SelectUser(Ids());
        else
            return false;
        return true;
    case WM_MOUSEWHEEL: {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            m_scrollY -= delta / WHEEL_DELTA * kWheelStep;
            Layout();
        }
        Redraw(false);
        return true;
    }
    default:
        return false;
    }
}

void CRefBookMatrix::Paint(HDC dc, const RECT& client) {
    std::lock_guard<std::mutex> lock(m_lock);
    Fill(dc, client, palette::kWindow);
    for (const BOOK_ITEM& book : m_books) {
        RECT tile = book.rcTile;
        OffsetRect(&tile, 0, -m_scrollY);
        if (tile.bottom < client.top || tile.top > client.bottom)
            continue;
        RECT cover = book.rcCover;
        OffsetRect(&cover, 0, -m_scrollY);
        RECT caption = book.rcCaption;
        OffsetRect(&caption, 0, -m_scrollY);
        Fill(dc, cover, palette::kTile);
        Fill(dc, caption, palette::kPanel);
        // Until covers are decoded, a tile shows its title in the cover area and the author below.
        RECT title = cover;
        InflateRect(&title, -8, -8);
        DrawTextIn(dc, AnsiToWide(book.bookInfo.strText2), title, palette::kText, DT_CENTER | DT_WORDBREAK);
        DrawTextIn(dc, AnsiToWide(book.bookInfo.strText6), caption, palette::kText,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        Frame(dc, tile, book.bSelected ? palette::kSelection : palette::kFrame, book.bSelected ? 3 : 1);
    }
}

} // namespace vexilref

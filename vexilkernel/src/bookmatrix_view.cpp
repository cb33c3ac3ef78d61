// The book matrix on screen: painting the tiles with their covers, scrolling, and the user's mouse
// and keys. Everything here runs on the control's window thread.
#include "bookmatrix.h"

#include <uiassist/dpi.h>
#include <vexil/messages.h>

#include <algorithm>

#include "strutil.h"

namespace vexilref {
namespace {

// Colours of tiles that have no cover yet, chosen by book id so that neighbours differ.
constexpr COLORREF kPlaceholderColours[] = {RGB(93, 125, 140),  RGB(140, 110, 90),  RGB(104, 128, 96),
                                            RGB(150, 100, 110), RGB(116, 106, 150), RGB(166, 128, 76)};
// What shows around a cover whose proportions differ from the tile's.
constexpr COLORREF kCoverMat = RGB(62, 60, 56);
constexpr COLORREF kPlaceholderText = RGB(255, 255, 255);
constexpr int kPlaceholderSpine = 8;
// A paint decodes covers for at most this long (half a frame), then leaves the other tiles their
// placeholders until the next paint: decoding a cover costs GDI+ under Wine milliseconds, and a
// load may hand over every cover on view between two paints.
constexpr double kDecodeBudgetMs = 8;
// Covers beyond the view are decoded once none has been handed over for this long.
constexpr UINT kPrefetchQuietMs = 100;
constexpr UINT_PTR kPrefetchTimer = 0x56505246;

// What Paint needs of one tile, copied under the lock so that decoding runs without it.
struct TileView {
    int id = 0;
    RECT tile = {}, cover = {}, caption = {}, mark = {};
    std::wstring title, author;
    std::string path; // empty: no cover named
    unsigned generation = 0;
    bool selected = false;
    bool focused = false;
};

double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000 / static_cast<double>(frequency.QuadPart);
}

RECT Shifted(RECT rect, int dy) {
    OffsetRect(&rect, 0, dy);
    return rect;
}

void DrawPlaceholder(HDC dc, const TileView& view, bool withText, UINT dpi) {
    const auto px = [dpi](int value) { return vexil::ScaleToDpi(value, dpi); };
    const COLORREF colour = kPlaceholderColours[static_cast<unsigned>(view.id) %
                                                (sizeof kPlaceholderColours / sizeof kPlaceholderColours[0])];
    Fill(dc, view.cover, colour);
    RECT spine = view.cover;
    spine.right = spine.left + px(withText ? kPlaceholderSpine : kPlaceholderSpine / 2);
    Fill(dc, spine, Blend(colour, RGB(0, 0, 0), 60));
    if (!withText)
        return; // a row's small cover: the title stands beside it
    RECT text = view.cover;
    text.left = spine.right + px(6);
    text.right -= px(8);
    text.top += px(kTileMarkSize + 14); // below where a selected tile's badge sits
    const RECT rule = {text.left, text.top - px(9), text.left + px(24), text.top - px(7)};
    Fill(dc, rule, Blend(colour, kPlaceholderText, 160));
    text.bottom -= px(28);
    DrawTextIn(dc, dpi, view.title.empty() ? std::wstring(L"Untitled") : view.title, text, kPlaceholderText,
               DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS, FontKind::kBodyBold);
    RECT author = view.cover;
    author.left = spine.right + px(6);
    author.right -= px(8);
    author.top = author.bottom - px(26);
    DrawTextIn(dc, dpi, view.author, author, Blend(colour, kPlaceholderText, 210),
               DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS, FontKind::kSmall);
}

void DrawSelectionMark(HDC dc, const RECT& mark, UINT dpi) {
    const int ringWidth = vexil::ScaleToDpi(2, dpi), inset = vexil::ScaleToDpi(3, dpi);
    RECT ring = mark;
    InflateRect(&ring, ringWidth, ringWidth);
    FillCircle(dc, ring, palette::kSelectionText);
    FillCircle(dc, mark, palette::kSelection);
    RECT check = mark;
    InflateRect(&check, -inset, -inset);
    DrawCheck(dc, check, palette::kSelectionText, 2.2f * static_cast<float>(dpi) / vexil::kDesignDpi);
}

// The title and author under a tile's cover (shelf mode) or beside it (compact mode).
void DrawCaption(HDC dc, const TileView& view, bool compact, UINT dpi) {
    const auto px = [dpi](int value) { return vexil::ScaleToDpi(value, dpi); };
    RECT title = view.caption;
    if (compact) {
        // Title and author side by side with the small cover, centred in the row.
        InflateRect(&title, 0, -((title.bottom - title.top) / 2 - px(17)));
        title.bottom = title.top + px(18);
        DrawTextIn(dc, dpi, view.title.empty() ? std::wstring(L"Untitled") : view.title, title,
                   palette::kText, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS, FontKind::kBodyBold);
    } else {
        Fill(dc, view.caption, palette::kTileCaption);
        InflateRect(&title, -px(6), 0);
        title.top += px(3);
        title.bottom = title.top + px(16);
        DrawTextIn(dc, dpi, view.title, title, palette::kText, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    RECT author = title;
    author.top = title.bottom;
    author.bottom = compact ? author.top + px(16) : view.caption.bottom - px(2);
    DrawTextIn(dc, dpi, view.author, author, palette::kMutedText, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS,
               FontKind::kSmall);
}

// A tile's frame: the selection's border and mark, and the keyboard focus.
void DrawTileFrame(HDC dc, const TileView& view, bool focused, UINT dpi) {
    const auto px = [dpi](int value) { return vexil::ScaleToDpi(value, dpi); };
    if (view.selected) {
        Frame(dc, view.tile, palette::kSelection, px(kSelectionBorder));
        DrawSelectionMark(dc, view.mark, dpi);
    } else {
        Frame(dc, view.tile, palette::kFrame);
    }
    if (focused) {
        RECT focus = view.tile;
        InflateRect(&focus, -px(kSelectionBorder + 2), -px(kSelectionBorder + 2));
        SetTextColor(dc, palette::kText);
        SetBkColor(dc, palette::kWindow);
        DrawFocusRect(dc, &focus);
    }
}

} // namespace

void CRefBookMatrix::OnCreated() {
    RECT client = {};
    GetClientRect(Window(), &client);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_viewWidth = client.right;
        m_viewHeight = client.bottom;
        LayoutFrom(0);
    }
    SyncScrollBar();
}

void CRefBookMatrix::DpiChanged() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        LayoutFrom(0); // the tiles take their sizes at the new DPI; covers are decoded for them anew
    }
    SyncScrollBar();
    Redraw(false);
}

void CRefBookMatrix::Paint(HDC dc, const RECT& client) {
    // Only what is out of date is drawn: often a single tile.
    RECT area = client;
    if (GetClipBox(dc, &area) == NULLREGION)
        return;
    std::vector<TileView> views;
    size_t onView, columns;
    bool empty, compact;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        empty = m_books.empty();
        compact = m_mode == MatrixMode::kCompact;
        const int pitch = m_grid.PitchY();
        columns = static_cast<size_t>(m_grid.columns);
        const auto rowAt = [&](int y) {
            return static_cast<size_t>(std::max(0, (m_scrollY + y - m_grid.gapY) / pitch));
        };
        // The rows the view shows, however long the shelf; the cover cache keeps theirs.
        onView = (rowAt(static_cast<int>(client.bottom)) - rowAt(0) + 1) * columns;
        // Of those, the rows in the part to draw.
        const size_t end = std::min(m_books.size(), (rowAt(static_cast<int>(area.bottom)) + 1) * columns);
        for (size_t i = rowAt(static_cast<int>(area.top)) * columns; i < end; ++i) {
            const BOOK_ITEM& book = m_books[i];
            TileView view;
            view.id = m_ids[i];
            view.tile = Shifted(book.rcTile, -m_scrollY);
            RECT overlap;
            if (!IntersectRect(&overlap, &view.tile, &area))
                continue;
            view.cover = Shifted(book.rcCover, -m_scrollY);
            view.caption = Shifted(book.rcCaption, -m_scrollY);
            view.mark = Shifted(book.rcMark, -m_scrollY);
            view.title = AnsiToWide(book.bookInfo.strText2);
            view.author = AnsiToWide(book.bookInfo.strText6);
            auto image = m_images.find(view.id);
            if (image != m_images.end()) {
                view.path = image->second.path;
                view.generation = image->second.generation;
            }
            view.selected = book.bSelected;
            view.focused = view.id == m_focusId;
            views.push_back(std::move(view));
        }
    }

    Fill(dc, area, palette::kWindow);
    if (empty)
        DrawTextIn(dc, Dpi(), L"No books on the shelf yet", client, palette::kMutedText,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const double started = NowMs();
    int decoded = 0;
    std::vector<RECT> later; // tiles whose covers wait for the next paint
    for (const TileView& view : views) {
        const SIZE box = {view.cover.right - view.cover.left, view.cover.bottom - view.cover.top};
        // At least one cover a paint, so that every cover gets its turn.
        bool decode = !view.path.empty();
        if (decode && !m_covers.Has(view.id, view.generation, box)) {
            decode = decoded == 0 || NowMs() - started < kDecodeBudgetMs;
            decoded += decode ? 1 : 0;
            if (!decode)
                later.push_back(view.tile);
        }
        // A cover that does not decode is kept as a failure and the tile keeps its placeholder.
        const CoverPixels* cover = !decode || !Drawing().EnsureGdiplus()
                                       ? nullptr
                                       : m_covers.Get(view.id, view.generation, view.path, box, kCoverMat);
        if (compact)
            Fill(dc, view.tile, palette::kTileCaption);
        if (cover) {
            Fill(dc, view.cover, kCoverMat);
            DrawCover(dc, *cover, view.cover.left + (box.cx - cover->width) / 2,
                      view.cover.top + (box.cy - cover->height) / 2);
        } else {
            DrawPlaceholder(dc, view, !compact, Dpi());
        }

        DrawCaption(dc, view, compact, Dpi());
        DrawTileFrame(dc, view, view.focused && m_hasFocus, Dpi());
    }

    for (const RECT& tile : later)
        RedrawPart(tile);
    // Decoded covers are kept for the tiles on view and a page on either side, nothing more.
    m_covers.Trim(3 * onView + 2 * columns);
    m_statDecodes = m_covers.Decodes();
    m_statKept = static_cast<int>(m_covers.DecodedCount());
    m_statDrawn = static_cast<int>(views.size());
    if (!m_prefetchPosted && !empty)
        m_prefetchPosted = PostMessageW(Window(), WM_REF_PREFETCH, 0, 0) != FALSE;
}

void CRefBookMatrix::PrefetchCovers() {
    // A round decodes about what a tile's drawing costs a few times over: the window stays quick
    // to answer.
    constexpr size_t kCoversPerRound = 3;
    // A load hands covers over one by one, each a message the window answers while its sender
    // waits: decoding now would hold every one of them up. The covers on view are drawn as they
    // come; those beyond wait until the covers have stopped coming for a moment.
    if (GetTickCount64() - m_lastCoverTick.load() < kPrefetchQuietMs) {
        m_prefetchPosted = SetTimer(Window(), kPrefetchTimer, kPrefetchQuietMs, nullptr) != 0;
        return;
    }
    struct Wanted {
        int id;
        unsigned generation;
        std::string path;
        SIZE box;
    };
    std::vector<Wanted> wanted;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const size_t columns = static_cast<size_t>(m_grid.columns), count = m_books.size();
        const int pitch = m_grid.PitchY();
        const size_t rows = static_cast<size_t>(m_viewHeight / pitch + 1);
        const size_t top = static_cast<size_t>(std::max(0, m_scrollY - m_grid.gapY) / pitch) * columns;
        const size_t below = top + rows * columns, above = top >= rows * columns ? top - rows * columns : 0;
        std::vector<size_t> order;
        for (size_t i = below; i < std::min(count, below + rows * columns); ++i)
            order.push_back(i);
        for (size_t i = above; i < top; ++i)
            order.push_back(i);
        for (size_t i : order) {
            auto image = m_images.find(m_ids[i]);
            const RECT& cover = m_books[i].rcCover;
            const SIZE box = {cover.right - cover.left, cover.bottom - cover.top};
            if (image == m_images.end() || m_covers.Has(m_ids[i], image->second.generation, box))
                continue;
            wanted.push_back({m_ids[i], image->second.generation, image->second.path, box});
            if (wanted.size() == kCoversPerRound)
                break;
        }
    }
    if (wanted.empty() || !Drawing().EnsureGdiplus())
        return;
    for (const Wanted& cover : wanted)
        m_covers.Get(cover.id, cover.generation, cover.path, cover.box, kCoverMat);
    if (wanted.size() == kCoversPerRound)
        m_prefetchPosted = PostMessageW(Window(), WM_REF_PREFETCH, 0, 0) != FALSE;
}

// ---- Scrolling ---------------------------------------------------------------------------------

void CRefBookMatrix::ScrollTo(int position) {
    int moved;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int before = m_scrollY;
        m_scrollY = position;
        ClampScroll();
        moved = m_scrollY - before;
    }
    if (moved == 0)
        return;
    SyncScrollBar();
    // What stays in view is moved, not drawn again.
    ScrollPicture(moved);
}

void CRefBookMatrix::OnScrollBar(int request) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(Window(), SB_VERT, &info);
    const int step = Scale(kWheelStep);
    int position, page, end;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        position = m_scrollY;
        page = std::max(step, m_viewHeight - step);
        end = m_contentHeight;
    }
    switch (request) {
    case SB_LINEUP:
        position -= step / 2;
        break;
    case SB_LINEDOWN:
        position += step / 2;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = 0;
        break;
    case SB_BOTTOM:
        position = end;
        break;
    default:
        return;
    }
    ScrollTo(position);
}

void CRefBookMatrix::EnsureVisible(int id) {
    int position;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int index = IndexOf(id);
        if (index < 0)
            return;
        const RECT& tile = m_books[static_cast<size_t>(index)].rcTile;
        const int gap = m_grid.gapY;
        position = m_scrollY;
        if (tile.top - gap < position)
            position = tile.top - gap;
        else if (tile.bottom + gap > position + m_viewHeight)
            position = tile.bottom + gap - m_viewHeight;
    }
    ScrollTo(position);
}

// ---- The user's actions ------------------------------------------------------------------------

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
    return HitTestLocked(at);
}

void CRefBookMatrix::MoveFocus(int key, bool shift) {
    int target;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_ids.empty())
            return;
        int index = IndexOf(m_focusId);
        if (index < 0)
            index = m_selection.empty() ? 0 : std::max(0, IndexOf(m_selection.front()));
        const int last = static_cast<int>(m_ids.size()) - 1;
        const int pageRows = std::max(1, m_viewHeight / m_grid.PitchY());
        const int columns = m_grid.columns;
        switch (key) {
        case VK_LEFT:
            index -= 1;
            break;
        case VK_RIGHT:
            index += 1;
            break;
        case VK_UP:
            index -= columns;
            break;
        case VK_DOWN:
            index += columns;
            break;
        case VK_PRIOR:
            index -= pageRows * columns;
            break;
        case VK_NEXT:
            index += pageRows * columns;
            break;
        case VK_HOME:
            index = 0;
            break;
        case VK_END:
            index = last;
            break;
        default:
            break;
        }
        target = m_ids[static_cast<size_t>(std::max(0, std::min(index, last)))];
    }
    ClickBook(target, false, shift);
    EnsureVisible(target);
}

bool CRefBookMatrix::OnTimerFired(UINT_PTR id) {
    if (id == kScrollBarTimer) {
        KillTimer(Window(), kScrollBarTimer);
        m_scrollBarPending = false;
        RedrawScrollBar();
        return true;
    }
    if (id != kPrefetchTimer)
        return false;
    KillTimer(Window(), kPrefetchTimer);
    m_prefetchPosted = false;
    PrefetchCovers();
    return true;
}

bool CRefBookMatrix::OnKey(WPARAM key) {
    switch (key) {
    case VK_RETURN:
        NotifyBook(VEXIL_NOTIFY_OPEN_BOOK, FocusBook());
        return true;
    case VK_DELETE:
        NotifyBook(VEXIL_NOTIFY_DELETE_BOOK, FocusBook());
        return true;
    case 'A':
        if (!(GetKeyState(VK_CONTROL) & 0x8000))
            return false;
        SelectUser(Ids());
        return true;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
        MoveFocus(static_cast<int>(key), (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    default:
        return false;
    }
}

void CRefBookMatrix::OnSized(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_viewWidth = width;
        m_viewHeight = height;
        LayoutFrom(0);
    }
    SyncScrollBar();
    Redraw(false);
}

bool CRefBookMatrix::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_REF_BATCH_END: {
        // Before the notice, so that a window starting another batch from it keeps its new state.
        EndWindowBatchDelete();
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
    case WM_REF_SYNC_SCROLL:
        SyncScrollBar();
        return true;
    case WM_REF_PREFETCH:
        m_prefetchPosted = false;
        PrefetchCovers();
        return true;
    case WM_TIMER:
        return OnTimerFired(wParam);
    case WM_LBUTTONDOWN: {
        SetFocus(Window());
        const int id = HitTest(at);
        if (id > 0)
            ClickBook(id, (wParam & MK_CONTROL) != 0, (wParam & MK_SHIFT) != 0);
        else if (!(wParam & MK_CONTROL))
            SelectUser({});
        return true;
    }
    case WM_LBUTTONDBLCLK: {
        const int id = HitTest(at);
        if (id > 0)
            NotifyBook(VEXIL_NOTIFY_OPEN_BOOK, id);
        return true;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        m_hasFocus = message == WM_SETFOCUS;
        Redraw(false);
        return false;
    case WM_GETDLGCODE:
        *result = DLGC_WANTALLKEYS;
        return true;
    case WM_KEYDOWN:
        return OnKey(wParam);
    case WM_MOUSEWHEEL:
        ScrollTo(ScrollPos() - GET_WHEEL_DELTA_WPARAM(wParam) * Scale(kWheelStep) / WHEEL_DELTA);
        return true;
    case WM_VSCROLL:
        OnScrollBar(LOWORD(wParam));
        return true;
    case WM_SIZE:
        OnSized(LOWORD(lParam), HIWORD(lParam));
        return false;
    default:
        return false;
    }
}

} // namespace vexilref

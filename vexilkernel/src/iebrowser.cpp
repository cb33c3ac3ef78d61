#include "iebrowser.h"

#include <algorithm>

#include "uikernel.h"

namespace vexilref {
namespace {

constexpr int kPageMargin = 16;
constexpr int kPageParagraphGap = 10;
constexpr int kPageWheelStep = 48; // pixels per wheel notch
constexpr wchar_t kPageHeading[] = L"Reading tips";
constexpr const wchar_t* kPageParagraphs[] = {
    L"Double-click a cover, or pick it and press Enter, to open the book.",
    L"Hold Ctrl while you click to pick several books, or Shift to pick a whole run of them.",
    L"Press Delete to remove the book you picked. To remove several at once, pick them and choose "
    L"\u201cDelete selected books\u201d in the menu at the right of the bar above the shelf.",
    L"Covers appear as soon as they have been fetched. Until then a book shows its title and author.",
    L"Switch between the shelf and the compact view with the two buttons at the left of the bar.",
    L"Drag the window by its title bar; the menu also hides or minimizes it.",
    L"Turn the mouse wheel over this page to read on.",
};

RECT ClientRectOf(HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    return client;
}

constexpr DWORD kInnerStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;

HWND CreateInner(const wchar_t* windowClass, HWND parent, void* param) {
    RECT client = {};
    GetClientRect(parent, &client);
    return CreateWindowExW(0, windowClass, L"", kInnerStyle, 0, 0, client.right, client.bottom, parent,
                           nullptr, KernelInstance(), param);
}

} // namespace

const wchar_t CRefIEBrowser::kHostClass[] = L"Shell Embedding";
const wchar_t CRefIEBrowser::kViewClass[] = L"Shell DocObject View";
const wchar_t CRefIEBrowser::kDocumentClass[] = L"Internet Explorer_Server";

void CRefIEBrowser::OnCreated() {
    HWND embedding = CreateInner(kHostClass, Window(), nullptr);
    HWND view = embedding ? CreateInner(kViewClass, embedding, nullptr) : nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hEmbedding = embedding;
        m_hView = view;
    }
    CreateDocument();
}

void CRefIEBrowser::CreateDocument() {
    HWND view;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        view = m_hView;
    }
    HWND document = view ? CreateInner(kDocumentClass, view, this) : nullptr;
    std::lock_guard<std::mutex> lock(m_lock);
    m_hDocument = document;
}

void CRefIEBrowser::DestroyDocument() {
    HWND document = DocumentWindow();
    if (document)
        DestroyWindow(document); // WM_NCDESTROY clears m_hDocument
}

void CRefIEBrowser::OnDocumentGone(HWND document) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_hDocument == document)
        m_hDocument = nullptr;
}

void CRefIEBrowser::OnWheel(HWND document, WPARAM wParam) {
    RECT client = {};
    GetClientRect(document, &client);
    bool moved;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_wheelCount;
        m_lastWheel = wParam;
        const int limit = std::max(0, m_pageHeight - static_cast<int>(client.bottom));
        const int scroll =
            m_pageScroll - GET_WHEEL_DELTA_WPARAM(wParam) * Scale(kPageWheelStep) / WHEEL_DELTA;
        const int clamped = std::max(0, std::min(scroll, limit));
        moved = clamped != m_pageScroll;
        m_pageScroll = clamped;
    }
    if (moved) {
        m_pagePicture.Invalidate(nullptr);
        InvalidateRect(document, nullptr, FALSE);
    }
}

LRESULT CRefIEBrowser::HandleCopyData() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_copyDataCalls;
    return kRefCopyDataResult;
}

void CRefIEBrowser::OnShelfHidden() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_shelfHiddenCalls;
}

bool CRefIEBrowser::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    switch (message) {
    case WM_REF_RECREATE_DOC:
        DestroyDocument();
        CreateDocument();
        return true;
    case WM_REF_DESTROY_DOC:
        DestroyDocument();
        return true;
    case WM_REF_SHOW_DOC:
        if (HWND document = DocumentWindow())
            ShowWindow(document, wParam ? SW_SHOWNA : SW_HIDE);
        return true;
    case WM_SIZE:
        // The page follows the control's size; the inner windows pass it on to their first child.
        if (HWND embedding = GetBrowserWindow())
            MoveWindow(embedding, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return false;
    default:
        return false;
    }
}

// On screen the document window covers the control; printed, the control shows the page it holds.
void CRefIEBrowser::Paint(HDC dc, const RECT& client) {
    HWND document = DocumentWindow();
    if (document && (GetWindowLongW(document, GWL_STYLE) & WS_VISIBLE))
        PaintPage(dc, ClientRectOf(document));
    else
        Fill(dc, client, palette::kPage);
}

void CRefIEBrowser::DpiChanged() {
    m_pagePicture.Invalidate(nullptr);
    if (HWND document = DocumentWindow())
        InvalidateRect(document, nullptr, FALSE);
    Redraw(false);
}

void CRefIEBrowser::PaintPage(HDC dc, const RECT& client) {
    Fill(dc, client, palette::kPage);
    const int margin = Scale(kPageMargin), gap = Scale(kPageParagraphGap);
    const int width = std::max(1, static_cast<int>(client.right) - 2 * margin);
    int scroll;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        scroll = m_pageScroll;
    }
    int y = margin - scroll;
    const UINT format = DT_LEFT | DT_WORDBREAK;
    const int headingHeight = MeasureTextHeight(dc, Dpi(), kPageHeading, width, format, FontKind::kHeading);
    DrawTextIn(dc, Dpi(), kPageHeading, {margin, y, margin + width, y + headingHeight}, palette::kPageHeading,
               format, FontKind::kHeading);
    y += headingHeight + Scale(4);
    const RECT rule = {margin, y, margin + width, y + Scale(2)};
    Fill(dc, rule, palette::kTile);
    y += Scale(2) + gap;
    for (const wchar_t* paragraph : kPageParagraphs) {
        const int height = MeasureTextHeight(dc, Dpi(), paragraph, width, format, FontKind::kBody);
        DrawTextIn(dc, Dpi(), paragraph, {margin, y, margin + width, y + height}, palette::kText, format);
        y += height + gap;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_pageHeight = y + scroll + margin - gap;
}

void CRefIEBrowser::PaintDocument(HWND document, CRefIEBrowser* browser) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(document, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(document, &client);
    // The page is laid out and drawn again only when it scrolled or changed size: a repaint of the
    // whole shelf window copies it.
    HDC picture = browser->m_pagePicture.Update({client.right, client.bottom},
                                                [&](HDC target) { browser->PaintPage(target, client); });
    const RECT& area = ps.rcPaint;
    if (picture)
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, picture, area.left,
               area.top, SRCCOPY);
    else
        browser->PaintPage(dc, client);
    EndPaint(document, &ps);
}

LRESULT CALLBACK CRefIEBrowser::HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The host and view windows only carry the hierarchy; they size their first child with them.
    if (message == WM_SIZE) {
        if (HWND child = GetWindow(hwnd, GW_CHILD))
            MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CRefIEBrowser::DocumentWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        // The browser outlives its document window: a child is destroyed before its parent.
        auto* browser = reinterpret_cast<CRefIEBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!browser)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        switch (message) {
        case WM_MOUSEWHEEL:
            browser->OnWheel(hwnd, wParam);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDocument(hwnd, browser);
            return 0;
        case WM_PRINTCLIENT: {
            RECT client;
            GetClientRect(hwnd, &client);
            browser->PaintPage(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            browser->m_pagePicture.Release();
            browser->OnDocumentGone(hwnd);
            break;
        default:
            break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

} // namespace vexilref

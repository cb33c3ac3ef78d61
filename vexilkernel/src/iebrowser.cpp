#include "iebrowser.h"

#include "handles.h"
#include "uikernel.h"

namespace vexilref {
namespace {

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

void CRefIEBrowser::OnWheel(WPARAM wParam) {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_wheelCount;
    m_lastWheel = wParam;
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

bool CRefIEBrowser::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
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
    default:
        return false;
    }
}

void CRefIEBrowser::Paint(HDC dc, const RECT& client) { Fill(dc, client, palette::kWindow); }

void CRefIEBrowser::PaintDocument(HWND document) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(document, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(document, &client);
    Fill(dc, client, RGB(255, 255, 255));
    InflateRect(&client, -16, -16);
    DrawTextIn(dc, L"Kelvo bookstore\n\nNew titles and recommendations appear here.", client, palette::kText,
               DT_LEFT | DT_WORDBREAK);
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
            browser->OnWheel(wParam);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDocument(hwnd);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
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

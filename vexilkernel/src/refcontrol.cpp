#include "refcontrol.h"

#include <objbase.h>

#include <cstdio>

#include <uiassist/dpi.h>

#include "skinwindow.h"
#include "uikernel.h"

namespace vexilref {
namespace {

// 32 hexadecimal digits from a fresh GUID.
std::string NewObjectId() {
    GUID guid = {};
    if (FAILED(CoCreateGuid(&guid)))
        return std::string(32, '0');
    char text[33] = {};
    std::snprintf(text, sizeof text, "%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                  guid.Data4[7]);
    return text;
}

// One frame at 60 Hz: a part redrawn once a frame waits at most this long.
constexpr UINT kFrameMs = 16;
constexpr UINT_PTR kFrameTimer = 0x56464D45;

} // namespace

const wchar_t* const CRefControl::kWindowClasses[] = {
    L"VexilRefButton",     L"VexilRefProgressBar",     L"VexilRefStaticBox",
    L"VexilRefBookMatrix", L"VexilRefBookrackManager", L"VexilRefIEBrowser",
    L"VexilRefDecor",      L"VexilRefBalloon",         nullptr,
};

CRefControl::CRefControl(CSkinWindow* skin, const ControlSpec& design)
    : m_spec(design), m_objectId(NewObjectId()), m_skin(skin), m_placement(design.rect) {}

void CRefControl::SetPlacement(const RECT& rect) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_placement = rect;
}

bool CRefControl::Create(HWND parent, int childId, const RECT& r) {
    SetPlacement(r);
    HWND hwnd = CreateWindowExW(
        0, WindowClassName(), m_spec.text.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | ExtraStyle(),
        r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)), KernelInstance(), this);
    if (!hwnd)
        return false;
    // The binding happens in WM_NCCREATE; a window that was made without it is no control of ours.
    if (Window() != hwnd) {
        DestroyWindow(hwnd);
        return false;
    }
    OnCreated();
    return true;
}

HWND CRefControl::Window() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_hWnd;
}

void CRefControl::Redraw(bool now) {
    ++m_redrawCalls;
    HWND hwnd = Window();
    if (!hwnd)
        return;
    m_picture.Invalidate(nullptr);
    InvalidateRect(hwnd, nullptr, FALSE);
    if (now)
        UpdateWindow(hwnd);
}

void CRefControl::RedrawPart(const RECT& part) {
    HWND hwnd = Window();
    if (!hwnd)
        return;
    m_picture.Invalidate(&part);
    InvalidateRect(hwnd, &part, FALSE);
}

void CRefControl::RedrawPartOncePerFrame(const RECT& part) {
    HWND hwnd = Window();
    if (!hwnd)
        return;
    if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) {
        RedrawPart(part);
        return;
    }
    m_picture.Invalidate(&part);
    const bool timerRunning = !IsRectEmpty(&m_framePending);
    UnionRect(&m_framePending, &m_framePending, &part);
    if (!timerRunning && !SetTimer(hwnd, kFrameTimer, kFrameMs, nullptr)) {
        InvalidateRect(hwnd, &m_framePending, FALSE);
        m_framePending = {};
    }
}

void CRefControl::ScrollPicture(int dy) {
    m_picture.Scroll(dy);
    if (HWND hwnd = Window())
        InvalidateRect(hwnd, nullptr, FALSE);
}

void CRefControl::Notify(int id, WPARAM wParam, LPARAM lParam) { m_skin->Notify(Base(), id, wParam, lParam); }

void CRefControl::EndWindowBatchDelete() { m_skin->EndBatchDelete(); }

void CRefControl::ShowModeChanged(int mode) { m_skin->SetShowMode(mode); }

LRESULT CRefControl::SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = Window();
    return hwnd ? SendMessageW(hwnd, message, wParam, lParam) : 0;
}

std::wstring CRefControl::WindowTitle() const { return m_skin->Title(); }

bool CRefControl::SameControl(IControlBase* other) {
    if (!other)
        return false;
    if (other == Base())
        return true;
    const char* id = other->GetObjectId();
    return id && _stricmp(id, m_objectId.c_str()) == 0;
}

SIZE CRefControl::WindowDesignSize() const {
    SIZE size = {};
    m_skin->GetWindowSize(&size);
    return size;
}

UINT CRefControl::Dpi() const { return m_skin->Dpi(); }

int CRefControl::Scale(int value) const { return vexil::ScaleToDpi(value, m_skin->Dpi()); }

void CRefControl::TrackMouseLeave() {
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = Window();
    TrackMouseEvent(&track);
}

bool CRefControl::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

void CRefControl::Show(HDC dc, const RECT& area) {
    RECT client;
    GetClientRect(Window(), &client);
    HDC picture = KeepsPicture() ? m_picture.Update({client.right, client.bottom},
                                                    [&](HDC target) {
                                                        ++m_renders;
                                                        Paint(target, client);
                                                    })
                                 : nullptr;
    if (picture) {
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, picture, area.left,
               area.top, SRCCOPY);
        return;
    }
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    ++m_renders;
    Paint(dc, client);
    RestoreDC(dc, saved);
}

void CRefControl::PaintBuffered(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    Show(dc, ps.rcPaint);
    EndPaint(hwnd, &ps);
}

LRESULT CRefControl::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_TIMER:
        if (wParam != kFrameTimer)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        KillTimer(hwnd, kFrameTimer);
        InvalidateRect(hwnd, &m_framePending, FALSE);
        m_framePending = {};
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETFONT:
        // The text font at the window's DPI, so a host sees the scale the control draws at.
        return reinterpret_cast<LRESULT>(Drawing().UiFont(FontKind::kBody, Dpi()));
    case WM_PAINT:
        PaintBuffered(hwnd);
        return 0;
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(hwnd, &client);
        Show(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK CRefControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            auto* control = static_cast<CRefControl*>(create->lpCreateParams);
            if (control) {
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
                {
                    std::lock_guard<std::mutex> lock(control->m_lock);
                    control->m_hWnd = hwnd;
                }
                // The skin window lives at least as long as each of its control windows.
                control->m_skin->AddRef();
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        auto* control = reinterpret_cast<CRefControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!control)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            {
                std::lock_guard<std::mutex> lock(control->m_lock);
                control->m_hWnd = nullptr;
            }
            control->m_picture.Release();
            control->m_skin->Release(); // may free the control itself: touch nothing afterwards
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        // A notification may lead the receiver to destroy the window, and with it the control: the
        // reference keeps the skin window and its controls alive until this message is handled.
        CSkinWindow* skin = control->m_skin;
        skin->AddRef();
        const LRESULT result = control->Dispatch(hwnd, message, wParam, lParam);
        skin->Release();
        return result;
    } catch (...) {
        return 0;
    }
}

} // namespace vexilref

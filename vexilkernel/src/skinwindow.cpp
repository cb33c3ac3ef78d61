#include "skinwindow.h"

#include <uiassist/dpi.h>
#include <vexil/messages.h>

#include <unordered_map>

#include "bookmatrix.h"
#include "bookrackmanager.h"
#include "decorcontrols.h"
#include "drawing.h"
#include "iebrowser.h"
#include "simplecontrols.h"
#include "uikernel.h"

namespace vexilref {

const wchar_t CSkinWindow::kRootClass[] = L"VexilRefSkinRoot";

namespace {

// The HWNDs whose own messages the kernel sees first: one entry per HWND, from Build to the HWND's
// WM_NCDESTROY. A table of our own rather than comctl32's subclass, which looks its chain up
// through a window property at every message: the host's window is sent a message per book.
struct HostHook {
    CSkinWindow* skin; // null once the skin is gone while the hook must stay in the chain
    WNDPROC previous;
};
std::mutex g_hostHooksLock;
std::unordered_map<HWND, HostHook>& HostHooks() {
    static std::unordered_map<HWND, HostHook> hooks;
    return hooks;
}

bool FindHostHook(HWND hwnd, HostHook* hook) {
    std::lock_guard<std::mutex> lock(g_hostHooksLock);
    const auto it = HostHooks().find(hwnd);
    if (it == HostHooks().end())
        return false;
    *hook = it->second;
    return true;
}

SIZE ClientSize(HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    return {client.right, client.bottom};
}

} // namespace

std::unique_ptr<CRefControl> MakeControl(CSkinWindow* skin, const ControlSpec& design) {
    const std::string& kind = design.className;
    if (kind == "button")
        return std::make_unique<CRefButton>(skin, design);
    if (kind == "progressbar")
        return std::make_unique<CRefProgressBar>(skin, design);
    if (kind == "staticbox" || kind == "label")
        return std::make_unique<CRefStaticBox>(skin, design);
    if (kind == "bookmatrix")
        return std::make_unique<CRefBookMatrix>(skin, design);
    if (kind == "bookrackmanager")
        return std::make_unique<CRefBookrackManager>(skin, design);
    if (kind == "iebrowser")
        return std::make_unique<CRefIEBrowser>(skin, design);
    if (kind == "caption")
        return std::make_unique<CRefCaption>(skin, design);
    if (kind == "panel")
        return std::make_unique<CRefPanel>(skin, design);
    if (kind == "frame")
        return std::make_unique<CRefFrame>(skin, design);
    if (kind == "balloon")
        return std::make_unique<CRefBalloon>(skin, design);
    return nullptr;
}

CSkinWindow::CSkinWindow(CUiKernel* kernel, HWND hwnd, const std::wstring& name)
    : m_kernel(kernel), m_hWnd(hwnd), m_name(name) {
    Drawing().AddUser();
}

// Runs when the last of the HWND's kernel windows is destroyed: no control of this window draws any more.
CSkinWindow::~CSkinWindow() { Drawing().ReleaseUser(); }

bool CSkinWindow::CreateRoot() {
    AddRef(); // handed to the root window at WM_NCCREATE
    HWND root =
        CreateWindowExW(0, kRootClass, L"", WS_CHILD, 0, 0, 0, 0, m_hWnd, nullptr, KernelInstance(), this);
    if (!root && !m_rootBound)
        --m_refs;
    m_root.store(root);
    return root != nullptr;
}

int CSkinWindow::Build(const WindowSpec& design) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_size = design.size;
        m_title = design.title;
    }
    m_minSize = design.minSize;
    m_dpi = vexil::WindowDpi(m_hWnd);
    // The controls stand where the HWND's present size puts them; from now on they follow it.
    SIZE client = ClientSize(m_hWnd);
    if (client.cx <= 0 || client.cy <= 0)
        client = design.size;
    // The controls cover the HWND's client area: a repaint of the HWND is a repaint of the controls
    // whose pictures are out of date, not of the HWND under them and then of every control again.
    SetWindowLongW(m_hWnd, GWL_STYLE, GetWindowLongW(m_hWnd, GWL_STYLE) | WS_CLIPCHILDREN);
    m_subclassed = HookHost();
    int result = 0;
    int childId = 1;
    for (const ControlSpec& controlSpec : design.controls) {
        std::unique_ptr<CRefControl> control = MakeControl(this, controlSpec);
        // Creating the window runs the control's window procedure: no lock may be held here.
        if (!control ||
            !control->Create(m_hWnd, childId++, PlaceControl(controlSpec, design.size, client, m_dpi))) {
            result = VEXIL_ERR_CONTROL_FAILED;
            continue;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_controls.push_back(std::move(control));
    }
    return result;
}

void CSkinWindow::Layout(SIZE client) {
    SIZE design;
    std::vector<std::pair<CRefControl*, RECT>> moves;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        design = m_size;
        for (const auto& control : m_controls) {
            const RECT place = PlaceControl(control->Design(), design, client, m_dpi);
            const RECT now = control->Placement();
            if (!EqualRect(&place, &now))
                moves.emplace_back(control.get(), place);
        }
    }
    if (moves.empty())
        return;
    // Moved together, so the window shows no state between two controls' moves.
    HDWP batch = BeginDeferWindowPos(static_cast<int>(moves.size()));
    for (const auto& move : moves) {
        move.first->SetPlacement(move.second);
        HWND window = move.first->Window();
        const RECT& r = move.second;
        if (batch && window)
            batch = DeferWindowPos(batch, window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        else if (window)
            MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
    if (batch)
        EndDeferWindowPos(batch);
}

bool CSkinWindow::ControlsCoverClient() {
    if ((GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CLIPCHILDREN) == 0)
        return false;
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& control : m_controls) {
        const RECT place = control->Placement();
        if (place.left <= client.left && place.top <= client.top && place.right >= client.right &&
            place.bottom >= client.bottom && IsWindowVisible(control->Window()))
            return true;
    }
    return false;
}

void CSkinWindow::KeepMinimumSize(WPARAM edge, RECT* dragged) {
    if (!dragged || m_minSize.cx <= 0)
        return;
    // The drag rectangle is the whole window: the minimum is for its client area.
    RECT window = {}, client = {};
    GetWindowRect(m_hWnd, &window);
    GetClientRect(m_hWnd, &client);
    const LONG minWidth =
        vexil::ScaleToDpi(m_minSize.cx, m_dpi) + (window.right - window.left) - client.right;
    const LONG minHeight =
        vexil::ScaleToDpi(m_minSize.cy, m_dpi) + (window.bottom - window.top) - client.bottom;
    if (dragged->right - dragged->left < minWidth) {
        if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
            dragged->left = dragged->right - minWidth;
        else
            dragged->right = dragged->left + minWidth;
    }
    if (dragged->bottom - dragged->top < minHeight) {
        if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
            dragged->top = dragged->bottom - minHeight;
        else
            dragged->bottom = dragged->top + minHeight;
    }
}

void CSkinWindow::RescaleTo(UINT dpi) {
    if (dpi == 0 || dpi == m_dpi)
        return;
    m_dpi = dpi;
    Layout(ClientSize(m_hWnd));
    // Without the lock: the controls redraw.
    for (CRefControl* control : ControlsOfKind<CRefControl>())
        control->DpiChanged();
}

bool CSkinWindow::HookHost() {
    std::lock_guard<std::mutex> lock(g_hostHooksLock);
    auto& hooks = HostHooks();
    const auto it = hooks.find(m_hWnd);
    if (it != hooks.end()) {
        // Still in the chain from an earlier skin of this HWND.
        it->second.skin = this;
        return true;
    }
    SetLastError(0);
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSkinWindow::HostWindowProc)));
    if (previous == nullptr && GetLastError() != 0)
        return false;
    hooks.emplace(m_hWnd, HostHook{this, previous});
    return true;
}

void CSkinWindow::UnhookHost(HWND hwnd, bool windowEnds) {
    std::lock_guard<std::mutex> lock(g_hostHooksLock);
    auto& hooks = HostHooks();
    const auto it = hooks.find(hwnd);
    if (it == hooks.end())
        return;
    // Someone who hooked the HWND after us calls our procedure: it stays in the chain as a plain
    // forwarder until the HWND ends.
    const bool ours =
        GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CSkinWindow::HostWindowProc);
    if (!windowEnds && !ours) {
        it->second.skin = nullptr;
        return;
    }
    if (ours)
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.previous));
    hooks.erase(it);
}

LRESULT CALLBACK CSkinWindow::HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HostHook hook = {};
    if (!FindHostHook(hwnd, &hook))
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        // Before the window's own handler, which may ask a control where it stands now.
        if (hook.skin && wParam != SIZE_MINIMIZED)
            hook.skin->Layout({LOWORD(lParam), HIWORD(lParam)});
        break;
    case WM_SIZING: {
        const LRESULT result = CallWindowProcW(hook.previous, hwnd, message, wParam, lParam);
        if (hook.skin)
            hook.skin->KeepMinimumSize(wParam, reinterpret_cast<RECT*>(lParam));
        return result == 0 ? TRUE : result;
    }
    case WM_PAINT:
        // A repaint of the whole HWND (a new book's RedrawWindow) repaints the controls whose
        // pictures changed; the HWND's own paint would draw nothing that shows, at the cost of a
        // BeginPaint and EndPaint, several round trips to the system under Wine.
        if (hook.skin && hook.skin->ControlsCoverClient()) {
            ValidateRect(hwnd, nullptr);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        // The window's own handler takes the suggested rectangle first; the controls follow its DPI.
        const LRESULT result = CallWindowProcW(hook.previous, hwnd, message, wParam, lParam);
        if (hook.skin)
            hook.skin->RescaleTo(HIWORD(wParam));
        return result;
    }
    case WM_NCDESTROY: {
        const LRESULT result = CallWindowProcW(hook.previous, hwnd, message, wParam, lParam);
        UnhookHost(hwnd, true);
        return result;
    }
    default:
        break;
    }
    return CallWindowProcW(hook.previous, hwnd, message, wParam, lParam);
}

template <class TControl> std::vector<TControl*> CSkinWindow::ControlsOfKind() {
    std::vector<TControl*> found;
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& control : m_controls)
        if (auto* kind = dynamic_cast<TControl*>(control.get()))
            found.push_back(kind);
    return found;
}

void CSkinWindow::EndBatchDelete() {
    // Without the lock: the managers redraw.
    for (CRefBookrackManager* manager : ControlsOfKind<CRefBookrackManager>())
        manager->SetOptionState(false);
}

void CSkinWindow::SetShowMode(int mode) {
    for (CRefBookMatrix* matrix : ControlsOfKind<CRefBookMatrix>())
        matrix->SetDisplayMode(mode == 0 ? MatrixMode::kCompact : MatrixMode::kShelf);
}

void CSkinWindow::Release() {
    if (--m_refs == 0)
        delete this;
}

void CSkinWindow::Notify(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) {
    IControlMessage* callback = Callback();
    if (callback)
        callback->OnCtrlMessage(control, id, wParam, lParam);
}

IControlBase* CSkinWindow::GetControl(const char* name) {
    if (!name)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& control : m_controls)
        if (control->Name() == name)
            return control->Base();
    return nullptr;
}

void CSkinWindow::SetCtrlMsgCallBack(IControlMessage* callback) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_callback = callback;
}

void CSkinWindow::GetWindowSize(SIZE* size) {
    if (!size)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    *size = m_size;
}

IUiKernel* CSkinWindow::GetUiKernel() { return m_kernel; }

std::wstring CSkinWindow::Title() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_title;
}

std::vector<std::string> CSkinWindow::ControlNames() {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<std::string> names;
    for (const auto& control : m_controls)
        names.push_back(control->Name());
    return names;
}

IControlMessage* CSkinWindow::Callback() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_callback;
}

void CSkinWindow::RepaintAfresh() {
    if (HWND root = m_root.load())
        SendMessageW(root, WM_REF_REPAINT_NOW, 0, 0);
}

LRESULT CALLBACK CSkinWindow::RootWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_REF_REPAINT_NOW) {
        // The controls' pictures are dropped first, so the one paint below draws every control anew.
        if (auto* skin = reinterpret_cast<CSkinWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            for (CRefControl* control : skin->ControlsOfKind<CRefControl>())
                control->Base()->RedrawControl(false);
            RedrawWindow(skin->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        return 0;
    }
    if (message == WM_NCCREATE) {
        auto* skin = static_cast<CSkinWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(skin));
        if (skin)
            skin->m_rootBound = true;
    } else if (message == WM_NCDESTROY) {
        auto* skin = reinterpret_cast<CSkinWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (skin) {
            // The controls go with the HWND's children; the HWND itself may live on without a skin.
            if (skin->m_subclassed)
                UnhookHost(skin->m_hWnd, false);
            skin->m_subclassed = false;
            skin->m_root.store(nullptr);
            skin->m_kernel->ForgetSkinWindow(skin->m_hWnd, skin);
            skin->Release();
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace vexilref

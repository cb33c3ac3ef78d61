#include "skinwindow.h"

#include <vexil/messages.h>

#include "bookmatrix.h"
#include "bookrackmanager.h"
#include "decorcontrols.h"
#include "drawing.h"
#include "iebrowser.h"
#include "simplecontrols.h"
#include "uikernel.h"

namespace vexilref {

const wchar_t CSkinWindow::kRootClass[] = L"VexilRefSkinRoot";

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
    return root != nullptr;
}

int CSkinWindow::Build(const WindowSpec& design) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_size = design.size;
        m_title = design.title;
    }
    int result = 0;
    int childId = 1;
    for (const ControlSpec& controlSpec : design.controls) {
        std::unique_ptr<CRefControl> control = MakeControl(this, controlSpec);
        // Creating the window runs the control's window procedure: no lock may be held here.
        if (!control || !control->Create(m_hWnd, childId++)) {
            result = VEXIL_ERR_CONTROL_FAILED;
            continue;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_controls.push_back(std::move(control));
    }
    return result;
}

void CSkinWindow::EndBatchDelete() {
    std::vector<CRefBookrackManager*> managers;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const auto& control : m_controls)
            if (auto* manager = dynamic_cast<CRefBookrackManager*>(control.get()))
                managers.push_back(manager);
    }
    // Without the lock: the managers redraw.
    for (CRefBookrackManager* manager : managers)
        manager->SetOptionState(false);
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

LRESULT CALLBACK CSkinWindow::RootWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* skin = static_cast<CSkinWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(skin));
        if (skin)
            skin->m_rootBound = true;
    } else if (message == WM_NCDESTROY) {
        auto* skin = reinterpret_cast<CSkinWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (skin) {
            skin->m_kernel->ForgetSkinWindow(skin->m_hWnd, skin);
            skin->Release();
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace vexilref

// The batch-delete window.
//
// Threads. Start, the step display and the buttons run on the owner's window thread, which also owns
// this window. The worker paces the run: it asks the owner for one book at a time (a sent message,
// handled on the owner's thread) and keeps its own count, so every index 0..total-1 is requested
// exactly once and in order however late the window shows the steps. Stop only sets flags; nobody
// waits for the worker during a run; only the owner's window thread joins it when it ends, after the
// owner's window is gone (so the worker's requests fail at once). The worker keeps the module loaded
// until its last instruction, so a host that unloads the module right after Close is safe.
#include "patchdelwindow.h"

#include <uiassist/diag.h>
#include <uiassist/textconv.h>

#include <cwchar>

#include "bookrackwindowimpl.h"
#include "product.h"

namespace {

constexpr char kCloseBtnName[] = "CloseBtn";
constexpr char kCancelBtnName[] = "CancelBtn";
constexpr char kProgressName[] = "DelProgress";
constexpr char kStateTextName[] = "ClearStateSpec";
// "已删除%d本书，还剩%d本": deleted %d books, %d left. Kept wide and handed to the text control as
// wide text, so it reads as written whatever the system's code page.
constexpr wchar_t kStateFormat[] = L"\u5df2\u5220\u9664%d\u672c\u4e66\uff0c\u8fd8\u5269%d\u672c";
constexpr size_t kStateTextChars = 260;

template <typename T> T* FindControl(ISkinWindow* skin, const char* name) {
    return skin ? dynamic_cast<T*>(skin->GetControl(name)) : nullptr;
}

constexpr wchar_t kWorkerThreadName[] = L"Batch delete";

} // namespace

CPatchDelWindow::~CPatchDelWindow() = default;

bool CPatchDelWindow::Start(IUiKernel* kernel, CBookrackWindowImpl* owner, IShelfSink* sink, int total) {
    if (!kernel || !owner || !sink || total <= 0)
        return false;
    // A worker that has not yet let go of this object still needs its fields.
    if (IsWorkerAlive())
        return false;
    const HWND parent = owner->GetWindowHandle();
    if (!HasWindow(parent) || !::IsWindow(parent))
        return false;

    // The window of the previous run may still wait for its posted WM_CLOSE; it lives on this thread.
    const HWND leftover = GetWindowHandle();
    if (HasWindow(leftover) && ::IsWindow(leftover)) {
        if (GetWindowThreadProcessId(leftover, nullptr) != GetCurrentThreadId())
            return false;
        ::DestroyWindow(leftover);
    }
    m_hWorker.reset();
    ForgetControls();

    m_pOwner = owner;
    m_pSink = sink;
    m_nTotal = total;
    m_nDone = 0;
    m_hParentWnd = parent;
    m_lAborted.exchange(0);
    m_lRunning.exchange(1);

    // The empty rectangle gives the skin's own size, centred on the work area.
    const bool created = CreateVexilWindowWithKernel(kernel, bookrack::kPatchDelWindowName, parent, RECT{},
                                                     SW_SHOW, WS_POPUP, 0, false);
    const bool complete = m_pCloseBtn && m_pCancelBtn && m_pProgress && m_pStateText;
    if (created && complete) {
        // Disabled before the worker exists, so its re-enabling at the end always comes last.
        ::EnableWindow(parent, FALSE);
        m_lWorkerAlive.exchange(1);
        m_hWorker.reset(vexil::StartModuleThread(&CPatchDelWindow::WorkerThread, this, kWorkerThreadName));
        if (m_hWorker)
            return true;
        ::EnableWindow(parent, TRUE);
        m_lWorkerAlive.exchange(0);
    }

    // Without a worker nothing would ever close the window, enable the owner or end the run, so
    // nothing of the run may stay behind. A skin without one of the four controls ends here too.
    VEXIL_REPORT_IF(created && !complete, "batch-delete window lacks one of its controls");
    m_lRunning.exchange(0);
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd) && ::IsWindow(hwnd))
        ::DestroyWindow(hwnd);
    ForgetControls();
    m_pOwner = nullptr;
    m_pSink = nullptr;
    m_nTotal = 0;
    return false;
}

void CPatchDelWindow::WaitForWorker() {
    if (m_hWorker)
        vexil::WaitDeliveringSent(m_hWorker.get(), INFINITE);
    m_hWorker.reset();
}

void CPatchDelWindow::Stop(bool abortedByOwner) {
    if (m_lRunning.load() == 0)
        return;
    if (abortedByOwner)
        m_lAborted.exchange(1);
    m_lRunning.exchange(0);
}

void CPatchDelWindow::OnCreate() {
    // Only binds: Start decides whether a run can go on once the window exists.
    ISkinWindow* skin = GetSkinWindow();
    m_pCloseBtn = FindControl<ICtrlButton>(skin, kCloseBtnName);
    m_pCancelBtn = FindControl<ICtrlButton>(skin, kCancelBtnName);
    m_pProgress = FindControl<ICtrlProgressBar>(skin, kProgressName);
    m_pStateText = FindControl<ICtrlStaticBox>(skin, kStateTextName);
}

void CPatchDelWindow::ForgetControls() {
    m_pCloseBtn = nullptr;
    m_pCancelBtn = nullptr;
    m_pProgress = nullptr;
    m_pStateText = nullptr;
}

LRESULT CPatchDelWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PATCHDEL_STEP) {
        if (m_nTotal <= 0)
            return 0;
        m_nDone = wParam > static_cast<WPARAM>(m_nTotal) ? m_nTotal : static_cast<int>(wParam);
        if (m_pStateText) {
            wchar_t text[kStateTextChars];
            swprintf(text, kStateTextChars, kStateFormat, m_nDone, m_nTotal - m_nDone);
            m_pStateText->SetTextW(text);
            m_pStateText->RedrawControl(false);
        }
        if (m_pProgress)
            m_pProgress->SetProgressBarPos(static_cast<int>(m_nDone * 100LL / m_nTotal), true);
        return 0;
    }
    // The skin window and its controls die with the window.
    if (msg == WM_DESTROY)
        ForgetControls();
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}

LRESULT CPatchDelWindow::OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) {
    CVexilWindow::OnCtrlMessage(control, id, wParam, lParam);
    if (id != VEXIL_NOTIFY_BUTTON_CLICK || !control)
        return 0;
    const bool cancel = m_pCancelBtn && m_pCancelBtn->CompareControl(control);
    const bool close = m_pCloseBtn && m_pCloseBtn->CompareControl(control);
    // The user's stop: the book in progress is finished and the owner still hears 1.
    if (cancel || close)
        m_lRunning.exchange(0);
    return 0;
}

DWORD WINAPI CPatchDelWindow::WorkerThread(void* param) {
    CPatchDelWindow* self = static_cast<CPatchDelWindow*>(param);
    CBookrackWindowImpl* owner = self->m_pOwner;
    const int total = self->m_nTotal;
    const HWND parent = self->m_hParentWnd;

    for (int index = 0; index < total && self->m_lRunning.load() != 0 && ::IsWindow(parent); ++index) {
        owner->DeleteSelectedAt(index);
        self->PostMessage(WM_PATCHDEL_STEP, static_cast<WPARAM>(index) + 1, 0);
        if (self->m_lRunning.load() != 0)
            Sleep(kPatchDelPauseMs);
    }

    self->m_lRunning.exchange(0);
    const WPARAM notice = self->m_lAborted.load() != 0 ? 0 : 1;
    // Same as CloseWin32Window(false) for a window without a thread of its own.
    self->PostMessage(WM_CLOSE, 0, 0);
    if (::IsWindow(parent))
        ::EnableWindow(parent, TRUE);
    // The last touch of the object: from here on the owner may start the next run.
    self->m_lWorkerAlive.exchange(0);
    if (::IsWindow(parent))
        ::SendMessageW(parent, WM_BOOKRACK_BATCH_DELETE_DONE, notice, 0);
    return 0;
}

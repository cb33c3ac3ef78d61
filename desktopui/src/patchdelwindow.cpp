// The batch-delete window: the owner's window thread, and the worker's own thread in WorkerThread.
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

#include "bookrackprivatemessages.h"
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

constexpr wchar_t kWorkerThreadName[] = L"Batch delete";

} // namespace

CPatchDelWindow::~CPatchDelWindow() = default;

bool CPatchDelWindow::Start(IUiKernel* kernel, CBookrackWindowImpl* owner, IShelfSink* sink, int total) {
    if (!kernel || !owner || !sink || total <= 0)
        return false;
    VEXIL_ASSERT_THREAD(owner->CalledOnWindowThread());
    // A worker that has not yet let go of its run still works on it.
    if (IsWorkerAlive())
        return false;
    const HWND parent = owner->GetWindowHandle();
    if (!HasWindow(parent) || !::IsWindow(parent))
        return false;

    // The window of the previous run may still wait for its posted WM_CLOSE; it lives on this thread.
    const HWND leftover = GetWindowHandle();
    if (HasWindow(leftover) && ::IsWindow(leftover)) {
        if (!vexil::IsWindowOfThisThread(leftover))
            return false;
        ::DestroyWindow(leftover);
    }
    m_hWorker.reset();
    ForgetControls();

    m_nTotal = total;
    m_nDone = 0;
    // In place before the window is built: a Stop that comes meanwhile ends this run.
    auto run = std::make_shared<BatchDeleteRun>(parent, total);
    std::atomic_store(&m_run, run);

    // The empty rectangle gives the skin's own size, centred on the work area.
    const bool created = CreateVexilWindowWithKernel(kernel, bookrack::kPatchDelWindowName, parent, RECT{},
                                                     SW_SHOW, WS_POPUP, 0, false);
    const bool complete = m_pCloseBtn && m_pCancelBtn && m_pProgress && m_pStateText;
    if (created && complete) {
        run->progress = GetWindowHandle();
        // Disabled before the worker exists, so its re-enabling at the end always comes last.
        ::EnableWindow(parent, FALSE);
        run->workerAlive = true;
        auto handed = std::make_unique<std::shared_ptr<BatchDeleteRun>>(run);
        m_hWorker.reset(
            vexil::StartModuleThread(&CPatchDelWindow::WorkerThread, handed.get(), kWorkerThreadName));
        if (m_hWorker) {
            handed.release(); // the worker's now
            return true;
        }
        ::EnableWindow(parent, TRUE);
        run->workerAlive = false;
    }

    // Without a worker nothing would ever close the window, enable the owner or end the run, so
    // nothing of the run may stay behind. A skin without one of the four controls ends here too.
    VEXIL_REPORT_IF(created && !complete, "batch-delete window lacks one of its controls");
    run->running = false;
    const HWND hwnd = GetWindowHandle();
    if (HasWindow(hwnd) && ::IsWindow(hwnd))
        ::DestroyWindow(hwnd);
    ForgetControls();
    m_nTotal = 0;
    return false;
}

bool CPatchDelWindow::IsWorkerAlive() const {
    const std::shared_ptr<BatchDeleteRun> run = CurrentRun();
    return run && run->workerAlive.load();
}

void CPatchDelWindow::WaitForWorker() {
    if (m_hWorker)
        vexil::WaitDeliveringSent(m_hWorker.get(), INFINITE);
    m_hWorker.reset();
}

void CPatchDelWindow::Stop(bool abortedByOwner) {
    const std::shared_ptr<BatchDeleteRun> run = CurrentRun();
    if (!run || !run->running.load())
        return;
    if (abortedByOwner)
        run->aborted = true;
    run->running = false;
}

void CPatchDelWindow::OnCreate() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // Only binds: Start decides whether a run can go on once the window exists.
    m_pCloseBtn = FindControl<ICtrlButton>(kCloseBtnName);
    m_pCancelBtn = FindControl<ICtrlButton>(kCancelBtnName);
    m_pProgress = FindControl<ICtrlProgressBar>(kProgressName);
    m_pStateText = FindControl<ICtrlStaticBox>(kStateTextName);
}

void CPatchDelWindow::ForgetControls() {
    m_pCloseBtn = nullptr;
    m_pCancelBtn = nullptr;
    m_pProgress = nullptr;
    m_pStateText = nullptr;
}

void CPatchDelWindow::ShowStep(WPARAM done) {
    if (m_nTotal <= 0)
        return;
    m_nDone = done > static_cast<WPARAM>(m_nTotal) ? m_nTotal : static_cast<int>(done);
    if (m_pStateText) {
        wchar_t text[kStateTextChars];
        swprintf(text, kStateTextChars, kStateFormat, m_nDone, m_nTotal - m_nDone);
        m_pStateText->SetTextW(text);
        m_pStateText->RedrawControl(false);
    }
    if (m_pProgress)
        m_pProgress->SetProgressBarPos(static_cast<int>(m_nDone * 100LL / m_nTotal), true);
}

LRESULT CPatchDelWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PATCHDEL_STEP) {
        ShowStep(wParam);
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
    const std::shared_ptr<BatchDeleteRun> run = CurrentRun();
    if ((cancel || close) && run)
        run->running = false;
    return 0;
}

// The worker's thread: works on its run only.
DWORD WINAPI CPatchDelWindow::WorkerThread(void* param) {
    const std::unique_ptr<std::shared_ptr<BatchDeleteRun>> handed(
        static_cast<std::shared_ptr<BatchDeleteRun>*>(param));
    BatchDeleteRun& run = **handed;
    for (int index = 0; index < run.total && run.running.load() && ::IsWindow(run.owner); ++index) {
        CBookrackWindowImpl::DeleteSelectedAt(run.owner, index);
        ::PostMessageW(run.progress.load(), WM_PATCHDEL_STEP, static_cast<WPARAM>(index) + 1, 0);
        if (run.running.load())
            Sleep(kPatchDelPauseMs);
    }

    run.running = false;
    const WPARAM notice = run.aborted.load() ? 0 : 1;
    // Same as CloseWin32Window(false) for a window without a thread of its own.
    ::PostMessageW(run.progress.load(), WM_CLOSE, 0, 0);
    if (::IsWindow(run.owner))
        ::EnableWindow(run.owner, TRUE);
    // The last touch of the run that the owner looks at: from here on it may start the next one.
    run.workerAlive = false;
    if (::IsWindow(run.owner))
        ::SendMessageW(run.owner, WM_BOOKRACK_BATCH_DELETE_DONE, notice, 0);
    return 0;
}

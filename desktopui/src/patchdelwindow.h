// The batch-delete window: paces the deletion of the selected books from a worker thread, one book at
// a time, shows the progress, lets the user stop, and disables the owner while it runs. The owner's
// window thread runs it; Stop and the two questions take any thread.
#pragma once

#include <uiassist/cvexilwindow.h>
#include <uiassist/scopedhandle.h>

#include <atomic>
#include <memory>

class CBookrackWindowImpl;
class IShelfSink;

// Pause between two books.
constexpr DWORD kPatchDelPauseMs = 50;

// One run of a batch delete: everything its worker works on, so that the worker never reads the
// window's members. The window thread makes it in Start and gives the worker a reference; Stop and
// the buttons clear the running flag from any thread.
struct BatchDeleteRun {
    BatchDeleteRun(HWND owner, int total) : owner(owner), total(total) {}

    const HWND owner; // asked for each book with WM_BOOKRACK_DELETE_AT, told the end with ..._DONE
    const int total;  // books to delete: indexes 0..total-1 of the owner's selection
    std::atomic<HWND> progress{
        nullptr};                     // the batch-delete window: a step after each book, WM_CLOSE at the end
    std::atomic<bool> running{true};  // cleared by Stop, the buttons, and the worker as it ends
    std::atomic<bool> aborted{false}; // set by Stop(true): the end notice says 0
    // Set before the worker starts; cleared by the worker as its last touch before the end notice.
    std::atomic<bool> workerAlive{false};
};

class CPatchDelWindow : public CVexilWindow {
public:
    CPatchDelWindow() = default;
    ~CPatchDelWindow() override;

    // Starts deleting total books of owner's selection. Call on the owner's window thread. False
    // (nothing left open, owner left enabled) for a missing argument, a total of 0, a run still in
    // progress, a window that cannot be made, or a skin window without all four controls.
    bool Start(IUiKernel* kernel, CBookrackWindowImpl* owner, IShelfSink* sink, int total);
    // Asks a running worker to stop after the book in progress; abortedByOwner makes the end notice 0.
    // Only sets flags: safe from any thread, never waits.
    void Stop(bool abortedByOwner);
    // True from a successful Start until the worker is about to send its end notice: while it holds,
    // a delete request or an end notice can only come from this run's worker. Any thread.
    bool IsWorkerAlive() const;
    // Owner's window thread, once the owner's window is gone: waits until the last run's worker has
    // ended (delivering sent messages).
    void WaitForWorker();

    void OnCreate() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;

private:
    static DWORD WINAPI WorkerThread(void* param);
    void ForgetControls();
    // The latest run (null before the first): replaced by Start on the owner's window thread, read by
    // Stop and IsWorkerAlive on any thread, so always copied atomically.
    std::shared_ptr<BatchDeleteRun> CurrentRun() const { return std::atomic_load(&m_run); }
    void ShowStep(WPARAM done);

    std::shared_ptr<BatchDeleteRun> m_run;
    // Owner's window thread only (and the destructor).
    ICtrlButton* m_pCloseBtn = nullptr;
    ICtrlButton* m_pCancelBtn = nullptr;
    ICtrlProgressBar* m_pProgress = nullptr;
    ICtrlStaticBox* m_pStateText = nullptr;
    vexil::ScopedHandle m_hWorker;
    int m_nTotal = 0;
    int m_nDone = 0;
};

// The batch-delete window: paces the deletion of the selected books from a worker thread, one book at
// a time, shows the progress, lets the user stop, and disables the owner while it runs.
#pragma once

#include <uiassist/cvexilwindow.h>

#include <atomic>

class CBookrackWindowImpl;
class IShelfSink;

// Posted by the worker to the batch-delete window after each book. wParam = books deleted so far
// (the worker counts; the window only shows the count), lParam 0.
#define WM_PATCHDEL_STEP (WM_APP + 1001)
// Pause between two books.
constexpr DWORD kPatchDelPauseMs = 50;

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
    bool IsRunning() const { return m_lRunning.load() != 0; }
    // True from a successful Start until the worker is about to send its end notice: while it holds,
    // a delete request or an end notice can only come from this run's worker.
    bool IsWorkerAlive() const { return m_lWorkerAlive.load() != 0; }
    // Owner's window thread, once the owner's window is gone: waits until the last run's worker has
    // ended (delivering sent messages).
    void WaitForWorker();

    void OnCreate() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) override;

private:
    static DWORD WINAPI WorkerThread(void* param);
    void ForgetControls();

    ICtrlButton* m_pCloseBtn = nullptr;
    ICtrlButton* m_pCancelBtn = nullptr;
    ICtrlProgressBar* m_pProgress = nullptr;
    ICtrlStaticBox* m_pStateText = nullptr;
    HWND m_hParentWnd = nullptr;
    vexil::ScopedHandle m_hWorker; // touched on the owner's window thread only (and the destructor)
    CBookrackWindowImpl* m_pOwner = nullptr;
    IShelfSink* m_pSink = nullptr;
    int m_nTotal = 0;
    int m_nDone = 0; // advanced on the window thread only
    std::atomic<LONG> m_lRunning{0};
    std::atomic<LONG> m_lAborted{0};
    std::atomic<LONG> m_lWorkerAlive{0}; // changed only by exchange
};

// The owner's side of a batch delete: the manager's request and the sink's agreement, the start with
// its ticket, each step the worker asks for, and the end. The bookshelf window's thread runs it all;
// the worker (CPatchDelWindow) reaches it only through sent messages.
#include "bookrackwindowimpl.h"

// The worker's thread.
void CBookrackWindowImpl::DeleteSelectedAt(HWND shelf, int index) {
    ::SendMessageW(shelf, WM_BOOKRACK_DELETE_AT, static_cast<WPARAM>(index), 0);
}

void CBookrackWindowImpl::OnBatchDeleteEnded() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // Only the end of a batch that stopped pacing ends it; a stray notice mid-run is ignored.
    if (m_patchDelWindow.IsWorkerAlive())
        return;
    if (!m_pendingActions.empty())
        ReplayQueuedActions();
    m_lBatchBusy.exchange(0);
    if (MatrixHasNoBook() && m_nShowMode.load() != 0 && m_bShown.load()) {
        m_nShowMode.store(1);
        ShowTipsBelowButton();
    }
    UpdateBookCount();
}

LRESULT CBookrackWindowImpl::OnBatchDeleteAsked(WPARAM value) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookrackManager* manager = m_pBookrackMgr.load();
    IShelfSink* sink = m_pSink.load();
    if (!manager || !sink)
        return 0;
    if (!sink->ToggleBookOption(static_cast<int>(value))) {
        manager->SetOptionState(false);
        return 0;
    }
    manager->SetOptionState(true);
    // The start message carries a ticket that only this request knows, so that no other start
    // message (another program's) can begin a batch.
    if (++m_nLastBatchDeleteTicket == 0)
        ++m_nLastBatchDeleteTicket;
    m_nBatchDeleteTicket = m_nLastBatchDeleteTicket;
    if (!PostMessage(WM_BOOKRACK_BATCH_DELETE, m_nBatchDeleteTicket, 0)) {
        // Never queued, so no batch will start: the option the manager took goes back.
        m_nBatchDeleteTicket = 0;
        manager->SetOptionState(false);
    }
    return 0;
}

void CBookrackWindowImpl::StartBatchDelete() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // A batch already runs: a second request must neither restart nor end it.
    if (m_lBatchBusy.exchange(1) != 0)
        return;
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    const std::vector<int>* selection = matrix ? matrix->GetSelectedBooks() : nullptr;
    const int count = selection ? static_cast<int>(selection->size()) : 0;
    ISkinWindow* skin = GetSkinWindow();
    IUiKernel* kernel = skin ? skin->GetUiKernel() : nullptr;
    // Nothing selected, no sink, or no window: no batch runs, so nothing would ever clear the flag,
    // nor release the batch option the manager took when the sink agreed.
    if (!m_patchDelWindow.Start(kernel, this, m_pSink.load(), count)) {
        m_lBatchBusy.exchange(0);
        if (ICtrlBookrackManager* manager = m_pBookrackMgr.load())
            manager->SetOptionState(false);
    }
}

void CBookrackWindowImpl::OnBatchDeleteMessage(UINT ticket) {
    VEXIL_ASSERT_WINDOW_THREAD();
    // A start message this window did not queue (another program's, or a stale one) deletes nothing.
    if (m_nBatchDeleteTicket == 0 || ticket != m_nBatchDeleteTicket)
        return;
    m_nBatchDeleteTicket = 0;
    StartBatchDelete();
}

void CBookrackWindowImpl::DeleteStep(int index) {
    VEXIL_ASSERT_WINDOW_THREAD();
    IShelfSink* sink = m_pSink.load();
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    const std::vector<int>* selection = matrix ? matrix->GetSelectedBooks() : nullptr;
    const bool valid = sink && selection && index >= 0 && index < static_cast<int>(selection->size());
    // Only the running batch's worker asks for books; any other request, or an index the selection
    // no longer holds, ends the batch instead of reading past the list.
    if (!valid || !m_patchDelWindow.IsWorkerAlive()) {
        m_lBatchBusy.exchange(0);
        // Replayed now, so that events arriving from here on keep their order after the queued ones.
        if (!m_pendingActions.empty())
            ReplayQueuedActions();
        m_patchDelWindow.Stop(false);
        return;
    }
    // Copied first: the sink may change the selection while it deletes.
    const int id = (*selection)[index];
    sink->DeleteBook(id, 1);
    m_deletedIds.push_back(id);
}

void CBookrackWindowImpl::FinishBatchDelete(WPARAM value) {
    VEXIL_ASSERT_WINDOW_THREAD();
    // The genuine notice comes after the worker let go; one arriving while it still paces is not.
    if (m_patchDelWindow.IsWorkerAlive())
        return;
    std::vector<int> ids;
    ids.swap(m_deletedIds);
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load()) {
        // The matrix notifies the end of the batch once this handler has returned.
        matrix->RemoveBooks(&ids, value);
        return;
    }
    // Without a matrix no end notification will come: settle the batch here.
    OnBatchDeleteEnded();
}

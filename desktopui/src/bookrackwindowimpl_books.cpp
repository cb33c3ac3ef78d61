// Adding, refreshing and removing books, and the events deferred while a batch delete runs. The
// window thread.
#include "bookrackwindowimpl.h"

#include <uiassist/textconv.h>

#include "shelflibrary.h"

namespace bookrack {

BOOK_INFO MakeBookInfo(IShelfItem& item) {
    BOOK_INFO info;
    info.strText2 = vexil::WideToAnsi(item.GetTextA());
    info.bValid = true;
    info.strAppId = std::to_string(item.GetId());
    info.strText6 = vexil::WideToAnsi(item.GetTextB());
    info.strText5 = vexil::WideToAnsi(item.GetTextC());
    return info;
}

bool ReadReadyFlag(IShelfItem& item) {
    // Only the first byte of the host's install record (the ready flag) is asked for.
    unsigned char installInfo = 0;
    if (item.QueryFlag(&installInfo, sizeof(installInfo), 1) == 0)
        return false;
    return installInfo != 0;
}

} // namespace bookrack

void CBookrackWindowImpl::AddBookToShelf(IShelfItem* item, bool redraw) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (item == nullptr || m_pBookrackMgr.load() == nullptr || matrix == nullptr)
        return;
    m_tipsDlg.Suppress();

    BOOK_ITEM bookItem;
    bookItem.bookInfo = bookrack::MakeBookInfo(*item);
    bookItem.bookInfo.bReady = bookrack::ReadReadyFlag(*item);
    matrix->AddBook(&bookItem, 0, 0, 1);

    const HWND hwnd = m_hWnd.load();
    if (redraw && HasWindow(hwnd))
        ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CBookrackWindowImpl::ShelveBook(UINT msg, int id, bool flag) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (m_lBatchBusy.load() != 0) {
        m_pendingActions.push_back(_ActionInfo{id, kActionShow, msg, flag});
        return;
    }
    IShelfHost* host = m_pHost.load();
    if (host == nullptr)
        return;
    IShelfItem* item = host->GetItem(id);
    if (item == nullptr)
        return;

    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (matrix != nullptr && !matrix->HasBook(id)) {
        AddBookToShelf(item, true);
        matrix->UpdateLayout(0, 1);
        UpdateBookCount();
        if (IShelfSink* sink = m_pSink.load())
            sink->OnBookShown(id);
    }
    // A book already on the shelf may have a new cover.
    RequestCoverFromHost(id);

    // 1001 and 1002 never open the book; 1002's flag only matters once the event was deferred.
    const bool opens =
        msg == WM_BOOKRACK_ITEM_1003 || msg == WM_BOOKRACK_ITEM_1004 || msg == WM_BOOKRACK_ITEM_1005;
    if (opens && flag) {
        if (IShelfSink* sink = m_pSink.load())
            sink->OpenBook(id, 0);
    }
}

void CBookrackWindowImpl::RefreshBook(int id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    IShelfHost* host = m_pHost.load();
    IShelfItem* item = host != nullptr ? host->GetItem(id) : nullptr;
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (item == nullptr || matrix == nullptr)
        return;

    // bValid and strAppId stay empty: the id travels beside the record.
    BOOK_INFO bookInfo;
    bookInfo.strText2 = vexil::WideToAnsi(item->GetTextA());
    bookInfo.strText6 = vexil::WideToAnsi(item->GetTextB());
    bookInfo.strText5 = vexil::WideToAnsi(item->GetTextC());
    IShelfSink* sink = m_pSink.load();
    bookInfo.bReady = (sink != nullptr && sink->QueryBookFlag(id)) || bookrack::ReadReadyFlag(*item);
    matrix->UpdateBookInfo(&bookInfo, id);
}

void CBookrackWindowImpl::UnshelveBook(int id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (m_lBatchBusy.load() != 0) {
        m_pendingActions.push_back(_ActionInfo{id, kActionRemove, WM_BOOKRACK_REMOVE_ITEM, false});
        return;
    }
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
        matrix->RemoveBook(id, true);
    UpdateBookCount();
    SendMessage(WM_BOOKRACK_TIPS, 0, 0);
}

void CBookrackWindowImpl::ReplayQueuedActions() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // The host may deliver new events from inside the calls below while the batch still counts as
    // busy; they join the queue and are replayed in the next round, after the ones before them.
    while (!m_pendingActions.empty()) {
        std::vector<_ActionInfo> actions;
        actions.swap(m_pendingActions);
        for (const _ActionInfo& action : actions) {
            if (action.kind == kActionShow) {
                IShelfHost* host = m_pHost.load();
                IShelfItem* item = host != nullptr ? host->GetItem(action.id) : nullptr;
                if (item == nullptr)
                    continue;
                AddBookToShelf(item, true);
                if (IShelfSink* sink = m_pSink.load())
                    sink->OnBookShown(action.id);
                RequestCoverFromHost(action.id);
                // A deferred event opens the book whatever message carried it.
                if (action.flag) {
                    if (IShelfSink* sink = m_pSink.load())
                        sink->OpenBook(action.id, 0);
                }
            } else if (action.kind == kActionRemove) {
                if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
                    matrix->RemoveBook(action.id, false);
            }
        }
    }
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
        matrix->UpdateLayout(0, 1);
}

void CBookrackWindowImpl::UpdateBookCount() {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (m_bWindowClosing.load() || matrix == nullptr)
        return;
    const std::vector<int>* books = matrix->GetBookList();
    const int count = books != nullptr ? static_cast<int>(books->size()) : 0;
    if (ICtrlBookrackManager* manager = m_pBookrackMgr.load())
        manager->SetBookCount(count > 0, count);
    if (IShelfSink* sink = m_pSink.load())
        sink->OnBookCountChanged(count, 1);
    if (count < 1)
        m_tipsDlg.ResetSuppress();
}

void CBookrackWindowImpl::RequestCoverFromHost(int id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    IShelfSink* sink = m_pSink.load();
    std::wstring folder;
    if (sink != nullptr && GetLibraryFolder(folder))
        sink->RequestCover(m_hWnd.load(), folder.c_str(), id);
}

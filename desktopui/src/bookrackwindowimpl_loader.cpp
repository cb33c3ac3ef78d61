// Loading the whole shelf and the loader thread.
#include "bookrackwindowimpl.h"

#include <uiassist/diag.h>

#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "coverindex.h"
#include "shelflibrary.h"

namespace {

// What a loader thread gets: its window and its own copy of the ids of the load, handed over so that
// the thread never reads the window's vector.
struct LoaderStart {
    CBookrackWindowImpl* window;
    std::vector<int> ids;
};

// The thread answering a loader's cover request, and how deep (one answer may run inside another).
// Only the window thread answers. A thread id, not a thread_local: the static runtime's thread-local
// storage leaves two semaphores behind each time the host unloads the module.
std::atomic<DWORD> g_answeringThread{0};
std::atomic<int> g_answerDepth{0};

} // namespace

namespace bookrack {

LoaderRequestScope::LoaderRequestScope() {
    g_answeringThread.store(GetCurrentThreadId());
    ++g_answerDepth;
}
LoaderRequestScope::~LoaderRequestScope() {
    if (--g_answerDepth == 0)
        g_answeringThread.store(0);
}
bool LoaderRequestScope::Active() {
    return g_answeringThread.load() == GetCurrentThreadId() && g_answerDepth.load() > 0;
}

void LoaderCoverOffer::Offer(int id, std::wstring path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_id = id;
    m_path = std::move(path);
}

void LoaderCoverOffer::Withdraw() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_id = 0;
    m_path.clear();
}

bool LoaderCoverOffer::Take(int id, std::wstring& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (id <= 0 || id != m_id)
        return false;
    path = m_path;
    return true;
}

} // namespace bookrack

void CBookrackWindowImpl::StopLoader() {
    // Taken out of the member first: a load started from a message delivered during the wait below
    // finds no handle to stop twice.
    vexil::ScopedHandle worker(std::move(m_hWorker));
    if (!worker)
        return;
    m_lWorkerRun.exchange(0);
    // Asked from inside the answer to a cover request: the loader waits for that answer, so answer
    // now; it then finds the run flag cleared and ends.
    if (bookrack::LoaderRequestScope::Active())
        ReplyMessage(0);
    // The loader may be inside SendMessage to this very thread: keep delivering sent messages.
    vexil::WaitDeliveringSent(worker.get(), INFINITE);
}

void CBookrackWindowImpl::LoadShelf() {
    StopLoader();
    m_lWorkerRun.exchange(1);
    // Whatever ends this load without a loader (no host, a failed thread start, a failing host call)
    // clears the run flag again, so the next load is not refused.
    bool loaderStarted = false;
    struct RunFlagGuard {
        std::atomic<LONG>& flag;
        const bool& started;
        ~RunFlagGuard() {
            if (!started)
                flag.exchange(0);
        }
    } runFlagGuard{m_lWorkerRun, loaderStarted};

    IShelfHost* host = m_pHost.load();
    VEXIL_REPORT_IF(host == nullptr, "LoadShelf without an item store");
    if (host == nullptr)
        return;

    std::vector<BOOK_ITEM> bookVec;
    std::vector<int> bookIDVec;
    std::set<unsigned long> setIds;
    m_loadedIds.clear();

    const int shelfKey = m_nUserIndex.load();
    const unsigned count = host->GetItemCount(shelfKey, 1);
    if (count == 0) {
        ShowNoBookTips();
    } else {
        m_tipsDlg.Hide();
        // A count no shelf can hold is treated like a failed allocation: the shelf is emptied.
        std::vector<int> ids;
        try {
            // Zeroed: slots the host leaves unfilled are skipped like any id of 0.
            if (count <= bookrack::kMaxShelfBooks)
                ids.assign(count, 0);
        } catch (const std::bad_alloc&) {
            ids.clear();
        } catch (const std::length_error&) {
            ids.clear();
        }
        if (!ids.empty())
            host->GetItemIds(shelfKey, ids.data(), count, 1);

        std::unordered_set<int> shelved;
        for (const int id : ids) {
            // Only positive ids are books; a repeated id stands on the shelf once, at its first place.
            if (id <= 0 || !shelved.insert(id).second)
                continue;
            BOOK_ITEM bookItem;
            if (IShelfItem* item = host->GetItem(id)) {
                bookItem.bookInfo = bookrack::MakeBookInfo(*item);
                bookItem.bookInfo.bReady = true;
            } else {
                setIds.insert(static_cast<unsigned long>(id));
                bookItem.bookInfo.bValid = true;
                bookItem.bookInfo.strAppId = std::to_string(id);
            }
            bookVec.push_back(std::move(bookItem));
            bookIDVec.push_back(id);
            m_loadedIds.push_back(id);
        }
    }

    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load()) {
        matrix->SetBooks(&bookVec, &bookIDVec, 0, 0);
        matrix->UpdateLayout(0, 1);
        matrix->RedrawControl(false);
    }
    UpdateBookCount();
    if (!setIds.empty()) {
        if (IShelfSink* sink = m_pSink.load())
            sink->OnMissingBooks(&setIds);
    }

    // A load started from a message delivered while an earlier loader was being stopped may have
    // left a loader of its own: stop it before this load's loader takes the handle.
    while (m_hWorker)
        StopLoader();
    m_lWorkerRun.exchange(1);
    auto start = std::make_unique<LoaderStart>(LoaderStart{this, m_loadedIds});
    HANDLE thread = CreateThread(nullptr, 0, &CBookrackWindowImpl::LoaderThread, start.get(), 0, nullptr);
    if (thread == nullptr)
        return;
    start.release(); // the thread owns it now
    m_hWorker.reset(thread);
    loaderStarted = true;
}

DWORD WINAPI CBookrackWindowImpl::LoaderThread(void* param) {
    std::unique_ptr<LoaderStart> start(static_cast<LoaderStart*>(param));
    if (!start || start->window == nullptr)
        return 0;
    CBookrackWindowImpl* window = start->window;
    try {
        // The covers of the whole load come from one enumeration of the library folder, made here so
        // that the window thread never waits for it: a search per book costs time that grows with
        // the folder.
        const bookrack::CoverIndex covers = start->ids.empty()
                                                ? bookrack::CoverIndex()
                                                : bookrack::CoverIndex::Build(bookrack::LibraryFolderPath());
        for (const int id : start->ids) {
            // The run flag is checked before every request: a restart or a close waits for at most
            // the request in flight.
            if (window->m_lWorkerRun.load() == 0)
                break;
            const HWND hwnd = window->m_hWnd.load();
            if (!HasWindow(hwnd) || !::IsWindow(hwnd))
                break;
            // A book the index lacks is looked for by the window itself: its cover may have been
            // written since.
            const std::wstring* name = covers.Find(id);
            if (name == nullptr) {
                SendMessageW(hwnd, WM_BOOKRACK_LOAD_ITEM, static_cast<WPARAM>(id), 0);
                continue;
            }
            window->m_loaderCover.Offer(id, covers.PathOf(*name));
            SendMessageW(hwnd, WM_BOOKRACK_LOAD_ITEM, static_cast<WPARAM>(id), 0);
            window->m_loaderCover.Withdraw();
        }
    } catch (const std::exception&) {
        // Out of memory for the index or a path: the books keep the covers found so far.
        window->m_loaderCover.Withdraw();
    }
    return 0;
}

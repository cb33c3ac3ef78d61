// Loading the whole shelf: the window thread starts, stops and joins the loader, and answers its
// requests; the loader's own thread runs LoaderThread on its ShelfLoader alone.
#include "bookrackwindowimpl.h"

#include <uiassist/diag.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "coverindex.h"
#include "shelflibrary.h"

namespace {

constexpr wchar_t kLoaderThreadName[] = L"Shelf loader";

} // namespace

namespace bookrack {

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
    VEXIL_ASSERT_WINDOW_THREAD();
    // Taken out of the member first: a load started from a message delivered during the wait below
    // finds no loader to stop twice.
    std::shared_ptr<bookrack::ShelfLoader> loader = std::move(m_loader);
    // Loaders stopped earlier that have ended since are let go.
    m_stoppedLoaders.erase(std::remove_if(m_stoppedLoaders.begin(), m_stoppedLoaders.end(),
                                          [](const std::shared_ptr<bookrack::ShelfLoader>& stopped) {
                                              return WaitForSingleObject(stopped->thread.get(), 0) !=
                                                     WAIT_TIMEOUT;
                                          }),
                           m_stoppedLoaders.end());
    if (!loader)
        return;
    m_lWorkerRun.exchange(0);
    loader->stop.exchange(1);
    // Inside the answer to a cover request (a host that signs in or closes the shelf from
    // RequestCover): the loader that asked may be waiting for this very answer further down this
    // thread's stack. It sees the stop once the answer returns and ends without asking again.
    if (m_nAnsweringLoader > 0) {
        m_stoppedLoaders.push_back(std::move(loader));
        return;
    }
    // The loader may be inside SendMessage to this very thread: keep delivering sent messages.
    vexil::WaitDeliveringSent(loader->thread.get(), INFINITE);
}

void CBookrackWindowImpl::OnThreadEnding() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // The window is gone, so no loader or worker can be waiting for this thread any more.
    StopLoader();
    for (const std::shared_ptr<bookrack::ShelfLoader>& stopped : m_stoppedLoaders)
        vexil::WaitDeliveringSent(stopped->thread.get(), INFINITE);
    m_stoppedLoaders.clear();
    m_patchDelWindow.WaitForWorker();
    // Saved here rather than when the module unloads, where neither the shell's folder lookup nor a
    // file write may run. Every later change comes with a window of its own, which saves it again.
    SaveShowMode(m_nShowMode.load());
    // The window normally took its icon with it; this is the case of a window never destroyed.
    m_hIcon.reset();
}

void CBookrackWindowImpl::LoadShelf() {
    VEXIL_ASSERT_WINDOW_THREAD();
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

    ShelfContents shelf = ReadShelf(*host);
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load()) {
        matrix->SetBooks(&shelf.books, &shelf.ids, 0, 0);
        matrix->UpdateLayout(0, 1);
        matrix->RedrawControl(false);
    }
    UpdateBookCount();
    if (!shelf.missing.empty()) {
        if (IShelfSink* sink = m_pSink.load())
            sink->OnMissingBooks(&shelf.missing);
    }
    loaderStarted = StartLoader();
}

CBookrackWindowImpl::ShelfContents CBookrackWindowImpl::ReadShelf(IShelfHost& host) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ShelfContents shelf;
    m_loadedIds.clear();
    const int shelfKey = m_nUserIndex.load();
    const unsigned count = host.GetItemCount(shelfKey, 1);
    if (count == 0) {
        ShowNoBookTips();
        return shelf;
    }
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
        host.GetItemIds(shelfKey, ids.data(), count, 1);

    std::unordered_set<int> shelved;
    for (const int id : ids) {
        // Only positive ids are books; a repeated id stands on the shelf once, at its first place.
        if (id <= 0 || !shelved.insert(id).second)
            continue;
        BOOK_ITEM bookItem;
        if (IShelfItem* item = host.GetItem(id)) {
            bookItem.bookInfo = bookrack::MakeBookInfo(*item);
            bookItem.bookInfo.bReady = true;
        } else {
            shelf.missing.insert(static_cast<unsigned long>(id));
            bookItem.bookInfo.bValid = true;
            bookItem.bookInfo.strAppId = std::to_string(id);
        }
        shelf.books.push_back(std::move(bookItem));
        shelf.ids.push_back(id);
        m_loadedIds.push_back(id);
    }
    return shelf;
}

bool CBookrackWindowImpl::StartLoader() {
    VEXIL_ASSERT_WINDOW_THREAD();
    // A load started from a message delivered while an earlier loader was being stopped may have
    // left a loader of its own: stop it before this load's loader takes its place.
    while (m_loader)
        StopLoader();
    const HWND hwnd = GetWindowHandle();
    if (!HasWindow(hwnd))
        return false;
    auto loader = std::make_shared<bookrack::ShelfLoader>(hwnd, m_loadedIds);
    // The thread's own reference to its loader.
    auto threadRef = std::make_unique<std::shared_ptr<bookrack::ShelfLoader>>(loader);
    m_lWorkerRun.exchange(1);
    loader->thread.reset(
        vexil::StartModuleThread(&CBookrackWindowImpl::LoaderThread, threadRef.get(), kLoaderThreadName));
    if (!loader->thread)
        return false;
    threadRef.release(); // the thread owns it now
    m_loader = std::move(loader);
    return true;
}

DWORD WINAPI CBookrackWindowImpl::LoaderThread(void* param) {
    const std::unique_ptr<std::shared_ptr<bookrack::ShelfLoader>> owned(
        static_cast<std::shared_ptr<bookrack::ShelfLoader>*>(param));
    bookrack::ShelfLoader& loader = **owned;
    const auto stopped = [&loader] { return loader.stop.load() != 0; };
    try {
        // The covers of the whole load come from one enumeration of the library folder, made here so
        // that the window thread never waits for it: a search per book costs time that grows with
        // the folder. A stop ends the enumeration too.
        const bookrack::CoverIndex covers =
            loader.ids.empty() ? bookrack::CoverIndex()
                               : bookrack::CoverIndex::Build(bookrack::LibraryFolderPath(), stopped);
        for (const int id : loader.ids) {
            // Checked before every request: a restart or a close waits for at most the request in
            // flight.
            if (stopped() || !::IsWindow(loader.window))
                break;
            // A book the index lacks is looked for by the window itself: its cover may have been
            // written since.
            const std::wstring* name = covers.Find(id);
            if (name == nullptr) {
                SendMessageW(loader.window, WM_BOOKRACK_LOAD_ITEM, static_cast<WPARAM>(id), 0);
                continue;
            }
            loader.cover.Offer(id, covers.PathOf(*name));
            SendMessageW(loader.window, WM_BOOKRACK_LOAD_ITEM, static_cast<WPARAM>(id), 0);
            loader.cover.Withdraw();
        }
    } catch (const std::exception&) {
        // Out of memory for the index or a path: the books keep the covers found so far.
        loader.cover.Withdraw();
    }
    return 0;
}

#include "demosink.h"

namespace shelfdemo {

namespace {

std::wstring JoinIds(const int* ids, size_t count) {
    std::wstring text;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            text += L", ";
        text += std::to_wstring(ids[i]);
    }
    return text;
}

std::wstring TitleOf(int id) {
    const SampleBook* book = FindBook(id);
    return book ? std::wstring(L" \"") + book->title + L"\"" : std::wstring();
}

// Nothing the shelf calls may throw back into it: each call's body runs guarded, and a failure
// gives the call's neutral answer.
template <typename Result, typename Body>
Result Guarded(DemoLog& log, const wchar_t* call, Result failed, Body body) {
    try {
        return body();
    } catch (...) {
        log.Printf(L"sink %ls: failed with an exception", call);
        return failed;
    }
}

template <typename Body> void Guarded(DemoLog& log, const wchar_t* call, Body body) {
    Guarded(log, call, 0, [&] {
        body();
        return 0;
    });
}

} // namespace

DemoSink::DemoSink(DemoLog& log, SampleStore& store, CoverFetcher& fetcher)
    : m_log(log), m_store(store), m_fetcher(fetcher),
      m_changed(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DemoSink::~DemoSink() = default;

void DemoSink::Changed() {
    if (m_changed)
        SetEvent(m_changed.get());
    if (HWND status = m_statusWindow)
        PostMessageW(status, WM_DEMO_SHELF_CHANGED, 0, 0);
}

std::wstring DemoSink::LibraryFolder() {
    std::lock_guard<std::mutex> lock(m_folderLock);
    return m_libraryFolder;
}

void DemoSink::OnBookCountChanged(int count, int reserved) {
    Guarded(m_log, L"OnBookCountChanged", [&] {
        m_log.Printf(L"sink OnBookCountChanged(count=%d, %d)", count, reserved);
        m_lastCount = count;
        ++m_countNotices;
        Changed();
    });
}

void DemoSink::RequestCover(HWND window, const wchar_t* folder, int id) {
    Guarded(m_log, L"RequestCover", [&] {
        const std::wstring where = folder ? folder : L"";
        m_log.Printf(L"sink RequestCover(window=%p, folder=\"%ls\", id=%d)%ls", static_cast<void*>(window),
                     where.c_str(), id, TitleOf(id).c_str());
        {
            std::lock_guard<std::mutex> lock(m_folderLock);
            m_libraryFolder = where;
        }
        ++m_coverRequests;
        if (!where.empty())
            m_fetcher.Enqueue(window, where, id);
        Changed();
    });
}

void DemoSink::OpenBook(int id, int flag) {
    Guarded(m_log, L"OpenBook", [&] {
        m_log.Printf(L"sink OpenBook(id=%d, flag=%d): open %d%ls", id, flag, id, TitleOf(id).c_str());
        Changed();
    });
}

bool DemoSink::QueryBookFlag(int id) {
    return Guarded(m_log, L"QueryBookFlag", false, [&] {
        m_log.Printf(L"sink QueryBookFlag(id=%d) -> true", id);
        return true;
    });
}

void DemoSink::OnBookShown(int id) {
    Guarded(m_log, L"OnBookShown", [&] {
        m_log.Printf(L"sink OnBookShown(id=%d)%ls", id, TitleOf(id).c_str());
        Changed();
    });
}

bool DemoSink::ToggleBookOption(int value) {
    return Guarded(m_log, L"ToggleBookOption", false, [&] {
        // Called on the shelf's window thread, where the selection may be read safely.
        std::wstring selected = L"unknown";
        if (CBookrackWindow* rack = m_rack) {
            const std::vector<int>* selection = rack->GetSelection();
            selected = selection ? JoinIds(selection->data(), selection->size()) : L"none";
        }
        m_log.Printf(L"sink ToggleBookOption(value=%d) -> true (batch delete of: %ls)", value,
                     selected.c_str());
        ++m_batchRequests;
        Changed();
        return true;
    });
}

void DemoSink::DeleteBook(int id, int flag) {
    Guarded(m_log, L"DeleteBook", [&] {
        const int key = m_store.ActiveKey();
        const bool removed = m_store.Remove(key, id);
        m_log.Printf(L"sink DeleteBook(id=%d, flag=%d)%ls: %ls", id, flag, TitleOf(id).c_str(),
                     removed ? L"removed from the store" : L"not in the store");
        ++m_deletions;
        if (SinkObserver* observer = m_observer)
            observer->OnDeleteBook(id);
        Changed();
    });
}

void DemoSink::OnMissingBooks(const std::set<unsigned long>* ids) {
    Guarded(m_log, L"OnMissingBooks", [&] {
        std::wstring list;
        if (ids) {
            for (unsigned long id : *ids)
                list += (list.empty() ? L"" : L", ") + std::to_wstring(id);
        }
        m_log.Printf(L"sink OnMissingBooks({%ls})", list.c_str());
        Changed();
    });
}

void DemoSink::OnBooksChanged(const int* ids, int count) {
    Guarded(m_log, L"OnBooksChanged", [&] {
        const std::wstring list =
            (ids && count > 0) ? JoinIds(ids, static_cast<size_t>(count)) : std::wstring();
        m_log.Printf(L"sink OnBooksChanged({%ls}, count=%d)", list.c_str(), count);
        Changed();
    });
}

} // namespace shelfdemo

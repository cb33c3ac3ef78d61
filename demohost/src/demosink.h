// The demo's notification sink: prints every call, fetches covers, keeps the store in step with
// deletions, and lets the control window and the scripted session follow what the shelf does.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <bookrack/bookrackwindow.h>
#include <bookrack/shelfhost.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "coverfetcher.h"
#include "demolog.h"
#include "samplelibrary.h"

namespace shelfdemo {

// Told about the shelf's calls on the shelf's window thread; must not block it for long.
class SinkObserver {
public:
    virtual void OnDeleteBook(int id) = 0;

protected:
    ~SinkObserver() = default;
};

// Posted to the status window after each sink call that changes what the control window shows.
constexpr UINT WM_DEMO_SHELF_CHANGED = WM_APP + 1;

class DemoSink : public IShelfSink {
public:
    DemoSink(DemoLog& log, SampleStore& store, CoverFetcher& fetcher);
    virtual ~DemoSink();

    // Set before the sink is handed to the shelf.
    void SetRack(CBookrackWindow* rack) { m_rack = rack; }
    void SetStatusWindow(HWND window) { m_statusWindow = window; }
    void SetObserver(SinkObserver* observer) { m_observer = observer; }

    void OnBookCountChanged(int count, int reserved) override;
    void RequestCover(HWND window, const wchar_t* folder, int id) override;
    void OpenBook(int id, int flag) override;
    bool QueryBookFlag(int id) override;
    void OnBookShown(int id) override;
    bool ToggleBookOption(int value) override;
    void DeleteBook(int id, int flag) override;
    void OnMissingBooks(const std::set<unsigned long>* ids) override;
    void OnBooksChanged(const int* ids, int count) override;

    // -1 until the shelf first reported its count.
    int LastCount() const { return m_lastCount; }
    int CountNotices() const { return m_countNotices; }
    int CoverRequests() const { return m_coverRequests; }
    int Deletions() const { return m_deletions; }
    int BatchRequests() const { return m_batchRequests; }
    // The folder of the last cover request; empty before the first.
    std::wstring LibraryFolder();
    // Set (auto-reset) after every call, so a waiter re-checks its condition at once.
    HANDLE ChangedEvent() const { return m_changed.get(); }

private:
    void Changed();

    DemoLog& m_log;
    SampleStore& m_store;
    CoverFetcher& m_fetcher;
    std::atomic<CBookrackWindow*> m_rack{nullptr};
    std::atomic<HWND> m_statusWindow{nullptr};
    std::atomic<SinkObserver*> m_observer{nullptr};
    std::atomic<int> m_lastCount{-1};
    std::atomic<int> m_countNotices{0};
    std::atomic<int> m_coverRequests{0};
    std::atomic<int> m_deletions{0};
    std::atomic<int> m_batchRequests{0};
    std::mutex m_folderLock;
    std::wstring m_libraryFolder;
    vexil::ScopedHandle m_changed;
};

} // namespace shelfdemo

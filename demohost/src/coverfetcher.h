// Fetches covers the way a real host downloads them: asynchronously, on a thread of its own, so
// the bookshelf's window thread never waits for a cover. Here "fetching" is drawing the cover.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "demolog.h"

namespace shelfdemo {

class CoverFetcher {
public:
    explicit CoverFetcher(DemoLog& log);
    ~CoverFetcher();
    CoverFetcher(const CoverFetcher&) = delete;
    CoverFetcher& operator=(const CoverFetcher&) = delete;

    void Start();
    // Drops what is still queued and waits for the cover in hand to be finished.
    void Stop();
    // Queues the book's cover; once "<folder>\<id>.png" is written, WM_BOOKRACK_COVER_READY with
    // the id goes to window. Never blocks on the drawing.
    void Enqueue(HWND window, const std::wstring& folder, int id);
    // Nothing queued and nothing being drawn.
    bool Idle();
    int CoversWritten();
    int CoversFailed();

private:
    struct Job {
        HWND window;
        std::wstring folder;
        int id;
    };
    void Run();
    void Fetch(const Job& job);

    DemoLog& m_log;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stop = false;
    bool m_busy = false;
    int m_written = 0;
    int m_failed = 0;
    std::thread m_thread;
};

} // namespace shelfdemo

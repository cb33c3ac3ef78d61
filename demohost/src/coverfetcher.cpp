#include "coverfetcher.h"

#include <objbase.h>

#include <bookrack/bookrackmessages.h>

#include "coverart.h"
#include "samplelibrary.h"

namespace shelfdemo {

CoverFetcher::CoverFetcher(DemoLog& log) : m_log(log) {}

CoverFetcher::~CoverFetcher() { Stop(); }

void CoverFetcher::Start() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_thread.joinable())
        return;
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void CoverFetcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CoverFetcher::Enqueue(HWND window, const std::wstring& folder, int id) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_stop)
            return;
        m_jobs.push_back(Job{window, folder, id});
    }
    m_wake.notify_one();
}

bool CoverFetcher::Idle() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_jobs.empty() && !m_busy;
}

int CoverFetcher::CoversWritten() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_written;
}

int CoverFetcher::CoversFailed() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failed;
}

void CoverFetcher::Run() {
    // GDI+ writes PNG files through Windows' imaging components, which want COM on the thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                break;
            job = m_jobs.front();
            m_jobs.pop_front();
            m_busy = true;
        }
        try {
            Fetch(job);
        } catch (...) {
            m_log.Printf(L"cover %d: drawing failed with an exception", job.id);
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_busy = false;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

void CoverFetcher::Fetch(const Job& job) {
    const SampleBook* book = FindBook(job.id);
    const std::wstring title = book ? book->title : L"Book " + std::to_wstring(job.id);
    const std::wstring author = book ? book->author : L"Unknown author";
    const std::wstring path = job.folder + L"\\" + std::to_wstring(job.id) + L".png";
    const ULONGLONG start = GetTickCount64();
    if (!WriteCoverPng(job.id, title, author, path)) {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_failed;
        m_log.Printf(L"cover %d: could not write %ls", job.id, path.c_str());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_written;
    }
    // The window may have gone meanwhile (sign-out, exit): then the post simply fails.
    const BOOL posted = PostMessageW(job.window, WM_BOOKRACK_COVER_READY, 0, static_cast<LPARAM>(job.id));
    m_log.Printf(L"cover %d: wrote %ls in %llu ms, %ls WM_USER+103", job.id, path.c_str(),
                 GetTickCount64() - start, posted ? L"posted" : L"could not post");
}

} // namespace shelfdemo

// What the benchmarks measure with: a clock, the process's private bytes, a window with an empty
// window procedure on a thread of its own, and library folders full of covers.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <string>
#include <vector>

namespace bench {

// Microseconds from an arbitrary start (QueryPerformanceCounter).
double NowUs();
// A QueryPerformanceCounter value in the microseconds of NowUs.
double QpcToUs(LONGLONG ticks);

// Processor time (user and kernel) a thread of this process has used so far, in microseconds; 0
// when it cannot be read. Under Wine it moves in steps of the system's clock tick (10 ms): read it
// around a measurement long enough for that. Unlike a wall-clock figure it does not grow with the
// machine's load, so it tells where the time of a busy machine's run went.
double ThreadCpuUs(DWORD threadId);

// Committed private memory of the process in bytes: the MEM_PRIVATE, MEM_COMMIT regions that
// VirtualQuery walks. (Wine 8 answers GetProcessMemoryInfo with zeros.)
size_t PrivateBytes();

// A window whose procedure does nothing, made and pumped on a thread of its own: the round trip of a
// cross-thread SendMessageW to it is the baseline the module's figures are judged against.
class EchoWindow {
public:
    EchoWindow();
    ~EchoWindow();
    EchoWindow(const EchoWindow&) = delete;
    EchoWindow& operator=(const EchoWindow&) = delete;

    HWND Hwnd() const { return m_hwnd; }

private:
    static DWORD WINAPI ThreadProc(void* param);

    vexil::ScopedHandle m_thread;
    vexil::ScopedHandle m_ready;
    DWORD m_threadId = 0;
    HWND m_hwnd = nullptr;
};

// The library folder (%APPDATA%\KelvoDesktop\Folian) swapped with a folder of the bench's own that
// holds a cover for each of its books, kept between runs beside the library folder
// (FolianBench<N>). The user's folder is moved aside while the bench runs and comes back when this
// is destroyed (or at the next run, should the bench have died).
class CoverLibrary {
public:
    // Puts back what an earlier run left swapped. False when the folders are in a state it does not
    // recognise (nothing is moved then).
    static bool RecoverEarlierRun();

    CoverLibrary() = default;
    ~CoverLibrary();
    CoverLibrary(const CoverLibrary&) = delete;
    CoverLibrary& operator=(const CoverLibrary&) = delete;

    // Makes the bench's folder for ids (writing the covers it lacks) the library folder. Another
    // bench folder in place is put back first. Returns the number of cover files written, -1 on failure.
    int UseCoversFor(const std::vector<int>& ids);
    // The cover file's full path of a book in the current bench folder.
    std::wstring CoverPath(int id) const;
    // Puts the bench folder back and the user's library folder in place.
    void Restore();
    // Why UseCoversFor failed.
    const std::string& Error() const { return m_error; }

private:
    int Fail(const std::string& what);

    std::wstring m_current; // the bench folder now in place of the library folder, "" when none
    bool m_movedAside = false;
    std::string m_error;
};

} // namespace bench

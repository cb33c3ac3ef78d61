// The demo's log: every line goes to stdout and, when a file was named, to that file (UTF-8), with
// the time since start and the writing thread, so the order of host and shelf calls can be read
// back.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <mutex>
#include <string>

namespace shelfdemo {

class DemoLog {
public:
    DemoLog();
    ~DemoLog();
    DemoLog(const DemoLog&) = delete;
    DemoLog& operator=(const DemoLog&) = delete;

    // Starts (truncates) the log file. False when it cannot be created; stdout still works.
    bool OpenFile(const std::wstring& path);
    void Line(const std::wstring& text);
    // printf-style convenience for the many one-line records.
    void Printf(const wchar_t* format, ...);

private:
    std::mutex m_lock;
    HANDLE m_stdout = nullptr;
    vexil::ScopedHandle m_file;
    ULONGLONG m_startTicks = 0;
};

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace shelfdemo

#include "demolog.h"

#include <stdarg.h>
#include <stdio.h>

#include <vector>

namespace shelfdemo {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length);
    return out;
}

DemoLog::DemoLog() : m_startTicks(GetTickCount64()) {
    // A GUI program started from a console has no standard output of its own on Windows: borrow
    // the parent's console. Under Wine the Unix standard output is already there.
    m_stdout = GetStdHandle(STD_OUTPUT_HANDLE);
    if (m_stdout == nullptr || m_stdout == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            m_stdout = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    if (m_stdout == INVALID_HANDLE_VALUE)
        m_stdout = nullptr;
}

DemoLog::~DemoLog() = default;

bool DemoLog::OpenFile(const std::wstring& path) {
    vexil::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::lock_guard<std::mutex> lock(m_lock);
    m_file = std::move(file);
    return true;
}

void DemoLog::Line(const std::wstring& text) {
    const ULONGLONG elapsed = GetTickCount64() - m_startTicks;
    wchar_t prefix[48];
    swprintf(prefix, 48, L"[%4llu.%03llu t%05lu] ", elapsed / 1000, elapsed % 1000, GetCurrentThreadId());
    const std::string line = ToUtf8(prefix + text) + "\n";
    std::lock_guard<std::mutex> lock(m_lock);
    DWORD written = 0;
    if (m_stdout)
        WriteFile(m_stdout, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (m_file)
        WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void DemoLog::Printf(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(1024);
    va_list args;
    va_start(args, format);
    const int length = vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (length < 0) {
        // Too long for the buffer: the record is still worth a truncated line.
        buffer.back() = L'\0';
    }
    Line(buffer.data());
}

} // namespace shelfdemo

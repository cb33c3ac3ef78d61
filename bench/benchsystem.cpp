#include "benchsystem.h"

#include <shlobj.h>

#include <cstdint>
#include <cstdio>

namespace bench {
namespace {

constexpr wchar_t kEchoClass[] = L"KelvoBenchEcho";
// Present in every bench cover folder; holds the number of books it was made for.
constexpr wchar_t kMarkerFile[] = L"kelvo-bench.txt";

std::wstring ProductFolder() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return {};
    return std::wstring(appData) + L"\\KelvoDesktop";
}
std::wstring LibraryPath() { return ProductFolder() + L"\\Folian"; }
std::wstring AsidePath() { return ProductFolder() + L"\\Folian.bench-aside"; }
std::wstring BenchFolder(size_t books) { return ProductFolder() + L"\\FolianBench" + std::to_wstring(books); }

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteBytes(const std::wstring& path, const void* bytes, DWORD size) {
    const vexil::ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
}

// The book count a bench folder was made for, read from its marker; 0 when it is none.
size_t MarkedBooks(const std::wstring& folder) {
    const vexil::ScopedHandle file(CreateFileW((folder + L"\\" + kMarkerFile).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return 0;
    char text[32] = {};
    DWORD read = 0;
    ReadFile(file.get(), text, sizeof text - 1, &read, nullptr);
    return static_cast<size_t>(strtoull(text, nullptr, 10));
}

// A 2 x 2 pixel, 24-bit BMP: a cover the kernel can decode, as small as a file gets.
std::vector<uint8_t> TinyCover() {
    std::vector<uint8_t> bmp(70, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 70);  // file size
    put32(10, 54); // pixel data offset
    put32(14, 40); // info header size
    put32(18, 2);  // width
    put32(22, 2);  // height
    bmp[26] = 1;   // planes
    bmp[28] = 24;  // bits per pixel
    put32(34, 16); // image size: two rows of 6 bytes padded to 8
    for (size_t i = 54; i < 70; ++i)
        bmp[i] = static_cast<uint8_t>(0x40 + i);
    return bmp;
}

// Answers the baseline's message at once.
LRESULT CALLBACK EchoWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return msg == WM_USER ? 0 : DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

double QpcToUs(LONGLONG ticks) {
    static const double ticksPerUs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    return static_cast<double>(ticks) / ticksPerUs;
}

double NowUs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return QpcToUs(now.QuadPart);
}

double ThreadCpuUs(DWORD threadId) {
    const vexil::ScopedHandle thread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
    if (!thread)
        return 0;
    FILETIME created, ended, kernel, user;
    const bool ok = GetThreadTimes(thread.get(), &created, &ended, &kernel, &user) != FALSE;
    if (!ok)
        return 0;
    const auto us = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10;
    };
    return us(kernel) + us(user);
}

size_t PrivateBytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* address = nullptr;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

EchoWindow::EchoWindow() {
    m_ready.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread.reset(CreateThread(nullptr, 0, &EchoWindow::ThreadProc, this, 0, &m_threadId));
    if (m_thread && m_ready)
        WaitForSingleObject(m_ready.get(), 10000);
}

EchoWindow::~EchoWindow() {
    if (m_thread) {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread.get(), 10000);
    }
}

DWORD WINAPI EchoWindow::ThreadProc(void* param) {
    auto* self = static_cast<EchoWindow*>(param);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &EchoWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kEchoClass;
    RegisterClassW(&windowClass);
    self->m_hwnd = CreateWindowExW(0, kEchoClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                   windowClass.hInstance, nullptr);
    SetEvent(self->m_ready.get());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    if (self->m_hwnd != nullptr)
        DestroyWindow(self->m_hwnd);
    return 0;
}

bool CoverLibrary::RecoverEarlierRun() {
    const std::wstring library = LibraryPath();
    if (const size_t books = MarkedBooks(library)) {
        if (Exists(BenchFolder(books)) || !MoveFileW(library.c_str(), BenchFolder(books).c_str()))
            return false;
    }
    if (Exists(AsidePath())) {
        if (Exists(library) || !MoveFileW(AsidePath().c_str(), library.c_str()))
            return false;
    }
    return true;
}

CoverLibrary::~CoverLibrary() { Restore(); }

int CoverLibrary::UseCoversFor(const std::vector<int>& ids) {
    const std::wstring library = LibraryPath();
    if (!m_current.empty()) {
        if (!MoveFileW(library.c_str(), m_current.c_str()))
            return Fail("move the library folder back to " + Narrow(m_current));
        m_current.clear();
    } else if (Exists(library)) {
        if (!MoveFileW(library.c_str(), AsidePath().c_str()))
            return Fail("move the library folder aside");
        m_movedAside = true;
    }

    const std::wstring folder = BenchFolder(ids.size());
    CreateDirectoryW(ProductFolder().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::vector<uint8_t> cover = TinyCover();
    int written = 0;
    for (const int id : ids) {
        const std::wstring path = folder + L"\\" + std::to_wstring(id) + L".bmp";
        if (Exists(path))
            continue;
        if (!WriteBytes(path, cover.data(), static_cast<DWORD>(cover.size())))
            return Fail("write " + Narrow(path));
        ++written;
    }
    const std::string marker = std::to_string(ids.size());
    if (!WriteBytes(folder + L"\\" + kMarkerFile, marker.data(), static_cast<DWORD>(marker.size())))
        return Fail("write the marker file");
    if (!MoveFileW(folder.c_str(), library.c_str()))
        return Fail("move " + Narrow(folder) + " in place of the library folder");
    m_current = folder;
    return written;
}

int CoverLibrary::Fail(const std::string& what) {
    const DWORD error = GetLastError();
    m_error = "cannot " + what + " (error " + std::to_string(error) + ")";
    return -1;
}

std::wstring CoverLibrary::CoverPath(int id) const {
    return LibraryPath() + L"\\" + std::to_wstring(id) + L".bmp";
}

void CoverLibrary::Restore() {
    const std::wstring library = LibraryPath();
    if (!m_current.empty() && MoveFileW(library.c_str(), m_current.c_str()))
        m_current.clear();
    if (m_current.empty() && m_movedAside && MoveFileW(AsidePath().c_str(), library.c_str()))
        m_movedAside = false;
}

} // namespace bench

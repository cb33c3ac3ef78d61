#include "shelftest/wait.h"

#include <uiassist/scopedhandle.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>

namespace shelftest {
namespace {

// Sent, it carries a RunRequest to run; posted, a drain ticket to be seen when taken from the queue.
UINT MarkerMessage() {
    static const UINT message = RegisterWindowMessageW(L"shelftest.marker");
    return message;
}

struct RunRequest {
    const std::function<void()>* fn;
    std::atomic<bool> ran{false};
};

std::atomic<LONG> g_drainSeen{0};

LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == MarkerMessage()) {
        auto* request = reinterpret_cast<RunRequest*>(call->lParam);
        (*request->fn)();
        request->ran = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == MarkerMessage())
        g_drainSeen.store(static_cast<LONG>(msg->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

bool DrainPostedMessages(HWND hwnd, DWORD timeoutMs) {
    static std::atomic<LONG> ticket{0};
    vexil::ScopedHook hook(IsWindow(hwnd) ? SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr,
                                                              GetWindowThreadProcessId(hwnd, nullptr))
                                          : nullptr);
    if (!hook)
        return false;
    const LONG mine = ++ticket;
    // The marker is taken out of the queue only after everything posted before it was handled; a
    // sent round trip afterwards makes sure the message before it has returned.
    const bool seen = PostMessageW(hwnd, MarkerMessage(), 0, mine) &&
                      WaitUntil([mine] { return g_drainSeen.load() == mine; }, timeoutMs);
    hook.reset();
    DWORD_PTR result = 0;
    return seen && SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (predicate())
            return true;
        if (GetTickCount64() >= deadline)
            return predicate();
        PumpMessages();
        // Wakes early for any message to this thread; otherwise polls again after a short while.
        MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn, DWORD timeoutMs) {
    if (!IsWindow(hwnd))
        return false;
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (thread == GetCurrentThreadId()) {
        fn();
        return true;
    }
    vexil::ScopedHook hook(SetWindowsHookExW(WH_CALLWNDPROC, CallWndHook, nullptr, thread));
    if (!hook)
        return false;
    // On a timeout the request is leaked: the late message must not find a dead one.
    auto* request = new RunRequest{&fn};
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(hwnd, MarkerMessage(), 0, reinterpret_cast<LPARAM>(request),
                                              SMTO_NORMAL, timeoutMs, &result) != 0;
    hook.reset();
    const bool ran = answered && request->ran.load();
    if (answered)
        delete request;
    return ran;
}

bool Flush(HWND hwnd) { return DrainPostedMessages(hwnd) && DrainPostedMessages(hwnd); }

namespace {
// The module that holds the thread's start address (null when unknown).
HMODULE ThreadModule(DWORD id) {
    using NtQueryInformationThreadFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kThreadQuerySetWin32StartAddress = 9;
    static const auto query = reinterpret_cast<NtQueryInformationThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    void* start = nullptr;
    const vexil::ScopedHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, id));
    if (thread && query != nullptr)
        query(thread.get(), kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr);
    HMODULE module = nullptr;
    if (start == nullptr || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                static_cast<LPCWSTR>(start), &module))
        return nullptr;
    return module;
}
} // namespace

std::set<DWORD> ThreadIds() {
    std::set<DWORD> ids;
    const vexil::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    }
    return ids;
}

std::set<DWORD> NewThreads(const std::set<DWORD>& before) {
    std::set<DWORD> added;
    for (DWORD id : ThreadIds()) {
        if (before.count(id) == 0 && ThreadModule(id) != GetModuleHandleW(nullptr))
            added.insert(id);
    }
    return added;
}

std::set<DWORD> StillRunning(const std::set<DWORD>& threads) {
    std::set<DWORD> running;
    const std::set<DWORD> now = ThreadIds();
    std::set_intersection(now.begin(), now.end(), threads.begin(), threads.end(),
                          std::inserter(running, running.end()));
    return running;
}

bool WaitForThreadsGone(const std::set<DWORD>& threads, DWORD timeoutMs) {
    return WaitUntil([&] { return StillRunning(threads).empty(); }, timeoutMs);
}

std::string DescribeThreads(const std::set<DWORD>& threads) {
    std::string text;
    for (DWORD id : threads) {
        char name[MAX_PATH] = "?";
        if (HMODULE module = ThreadModule(id))
            GetModuleFileNameA(module, name, MAX_PATH);
        text += std::to_string(id) + " (" + name + ") ";
    }
    return text;
}

Watchdog::Watchdog(const char* what, DWORD boundMs) : m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    const std::string text = what;
    m_thread = std::thread([this, text, boundMs] {
        if (WaitForSingleObject(m_done.get(), boundMs) == WAIT_OBJECT_0)
            return;
        std::fprintf(stderr, "watchdog: %s did not finish within %lu ms: the test hangs\n", text.c_str(),
                     static_cast<unsigned long>(boundMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    });
}

Watchdog::~Watchdog() {
    SetEvent(m_done.get());
    m_thread.join();
}

std::vector<LONG> Edges(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

RECT WindowRect(HWND hwnd) {
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

std::vector<HWND> WindowsOfClass(const wchar_t* className, DWORD pid) {
    std::vector<HWND> found;
    for (HWND hwnd = nullptr; (hwnd = FindWindowExW(nullptr, hwnd, className, nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == (pid != 0 ? pid : GetCurrentProcessId()))
            found.push_back(hwnd);
    }
    return found;
}

namespace {

std::wstring TextOf(HWND hwnd) {
    std::vector<wchar_t> buffer(4096);
    const int n = hwnd ? GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size())) : 0;
    return std::wstring(buffer.data(), n > 0 ? n : 0);
}

// A box is built hidden and filled before it shows: taken once it is visible.
HWND FindBox(DWORD pid, const std::wstring& caption) {
    for (HWND hwnd : WindowsOfClass(L"#32770", pid)) {
        if (IsWindowVisible(hwnd) && (caption.empty() || TextOf(hwnd) == caption))
            return hwnd;
    }
    return nullptr;
}

} // namespace

FoundMessageBox FindAndAnswerMessageBox(DWORD pid, const std::wstring& caption, int answer, DWORD timeoutMs) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindBox(pid, caption)) != nullptr; }, timeoutMs))
        return {};
    const auto has = [box](int id) { return GetDlgItem(box, id) != nullptr; };
    const FoundMessageBox result{true,       TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)),
                                 has(IDYES), has(IDNO),   has(IDOK)};
    if (answer != 0)
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
    return result;
}

} // namespace shelftest

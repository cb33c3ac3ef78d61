#include "reliability.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace reliability {
namespace {

// NtQuerySystemInformation(SystemHandleInformation): one entry per handle of the whole system.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR handleAttributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleInformation {
    ULONG count;
    HandleEntry entries[1];
};
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

int CountHandles() {
    static const auto query = reinterpret_cast<NtQuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status = 0;
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kStatusInfoLengthMismatch)
            break;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status != 0)
        return -1;
    const auto* info = reinterpret_cast<const HandleInformation*>(buffer.data());
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    int count = 0;
    for (ULONG i = 0; i < info->count; ++i)
        count += info->entries[i].processId == self ? 1 : 0;
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM counter) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(counter);
        EnumChildWindows(hwnd, CountChild, counter);
    }
    return TRUE;
}

// Wine keeps the GDI objects of a process in a table of 16-bit indexes, and GetObjectType accepts an
// index whatever its generation: every index it knows is one live object.
int CountGdiObjects() {
    int count = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    return count;
}

SIZE_T CountPrivateBytes() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    SIZE_T total = 0;
    auto* address = static_cast<unsigned char*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (address < system.lpMaximumApplicationAddress && VirtualQuery(address, &region, sizeof(region))) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        address = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// The module that holds the thread's start address (null when unknown).
HMODULE ThreadModule(DWORD id) {
    using NtQueryInformationThreadFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kThreadQuerySetWin32StartAddress = 9;
    static const auto query = reinterpret_cast<NtQueryInformationThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    void* start = nullptr;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    if (thread == nullptr)
        return nullptr;
    if (query != nullptr)
        query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr);
    CloseHandle(thread);
    HMODULE module = nullptr;
    if (start == nullptr || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                static_cast<LPCWSTR>(start), &module))
        return nullptr;
    return module;
}

} // namespace

Watchdog::Watchdog(const char* what, DWORD boundMs) : m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    const std::string text = what;
    m_thread = std::thread([this, text, boundMs] {
        if (WaitForSingleObject(m_done, boundMs) == WAIT_OBJECT_0)
            return;
        std::fprintf(stderr, "watchdog: %s did not finish within %lu ms: the test hangs\n", text.c_str(),
                     static_cast<unsigned long>(boundMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    });
}

Watchdog::~Watchdog() {
    SetEvent(m_done);
    m_thread.join();
    CloseHandle(m_done);
}

ShowModeFileKeeper::ShowModeFileKeeper()
    : m_existed(shelftest::LibraryFolder::Exists(L"Folian.ini")),
      m_content(shelftest::LibraryFolder::ReadFile(L"Folian.ini")) {}

ShowModeFileKeeper::~ShowModeFileKeeper() {
    if (!m_lock.Held())
        return;
    if (m_existed)
        shelftest::LibraryFolder::WriteFile(L"Folian.ini", m_content);
    else
        shelftest::LibraryFolder::RemoveFile(L"Folian.ini");
}

ResourceCounts CountResources() {
    ResourceCounts counts;
    counts.handles = CountHandles();
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&counts.windows));
    counts.gdiObjects = CountGdiObjects();
    counts.privateBytes = CountPrivateBytes();
    return counts;
}

std::string Describe(const ResourceCounts& counts) {
    std::ostringstream text;
    text << counts.handles << " handles, " << counts.windows << " windows, " << counts.gdiObjects
         << " GDI objects, " << counts.privateBytes / 1024 << " KiB private";
    return text.str();
}

std::set<DWORD> ThreadIds() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
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
    for (DWORD id : ThreadIds()) {
        if (threads.count(id) != 0)
            running.insert(id);
    }
    return running;
}

bool WaitForThreadsGone(const std::set<DWORD>& threads, DWORD timeoutMs) {
    return shelftest::WaitUntil([&] { return StillRunning(threads).empty(); }, timeoutMs);
}

std::string DescribeThreads(const std::set<DWORD>& threads) {
    std::ostringstream text;
    for (DWORD id : threads) {
        char name[MAX_PATH] = "?";
        if (HMODULE module = ThreadModule(id))
            GetModuleFileNameA(module, name, MAX_PATH);
        text << id << " (" << name << ") ";
    }
    return text.str();
}

IRefBookMatrixInspect* Matrix(const shelftest::ModuleUnderTest& module) {
    return module.Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
}

IRefManagerInspect* Manager(const shelftest::ModuleUnderTest& module) {
    return module.Control<IRefManagerInspect>("BookrackMgr");
}

bool ShowShelf(shelftest::ModuleUnderTest& module, IShelfSink& sink, shelftest::FakeShelfStore& store,
               int shelfKey, const std::vector<int>& expectedIds) {
    CBookrackWindow* window = module.Window();
    if (window == nullptr || module.Inspector() == nullptr)
        return false;
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, shelfKey);
    if (!window->Show(true, nullptr))
        return false;
    const bool loaded = shelftest::WaitUntil([&] {
        IRefBookMatrixInspect* matrix = Matrix(module);
        return matrix != nullptr && Manager(module) != nullptr && matrix->SetBooksCalls() >= 1 &&
               matrix->Ids() == expectedIds;
    });
    return loaded && Flush(window->GetHwnd());
}

bool Flush(HWND hwnd) { return shelftest::DrainPostedMessages(hwnd) && shelftest::DrainPostedMessages(hwnd); }

} // namespace reliability

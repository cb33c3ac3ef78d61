// Many lives of the shelf in one process: 200 windows shown and closed, and 50 times the module
// unloaded and loaded again. Handles, windows, GDI objects and private memory come back to within a
// small bound of where they were after a warm-up.
//
// Under Wine 8 GetProcessHandleCount, GetGuiResources and GetProcessMemoryInfo are stubs; the
// counters used here are real there (below). USER objects other than windows (icons,
// menus) have no counter under Wine; the window's icon is checked by the module's own tests.
#include <shelftest/shelf.h>

#include <algorithm>
#include <sstream>

using namespace shelftest;

namespace {

// Resources of this process, each counted in a way that works under Wine 8.
struct ResourceCounts {
    int handles = 0;         // kernel handles: NtQuerySystemInformation(SystemHandleInformation)
    int windows = 0;         // windows of the process, top-level and children (EnumWindows)
    int gdiObjects = 0;      // live GDI objects: every 16-bit handle index that GetObjectType knows
    SIZE_T privateBytes = 0; // committed private memory (VirtualQuery)
};

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

constexpr int kShelfKey = 7;
const std::vector<int> kBooks = {8400001, 8400002, 8400003};
constexpr int kWarmUpCycles = 3;
constexpr int kShowCloseCycles = 200;
constexpr int kUnloadCycles = 50;
// What may come and go without being a leak: handles of Wine's own caches, GDI objects of the
// caches that fill during the first few dozen windows (about 20, then flat), and heap pages that stay
// committed. One leaked object per cycle, or a few KiB per cycle, goes far beyond.
constexpr int kHandleSlack = 10;
constexpr int kGdiSlack = 32;
constexpr SIZE_T kPrivateSlack = 512 * 1024;

// One life of the window: shown with the store's books, then closed.
void ShowAndClose(ModuleUnderTest& module, IShelfSink& sink, FakeShelfStore& store) {
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, kBooks));
    module.Window()->Close();
    ASSERT_FALSE(module.Window()->IsWindowAlive());
}

// One life of the module: loaded, its window shown and closed, unloaded.
void LoadShowCloseUnload(IShelfSink& sink, FakeShelfStore& store) {
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    ShowAndClose(module, sink, store);
    module.Unload();
    ASSERT_TRUE(WaitUntil([] { return GetModuleHandleW(L"desktopui.dll") == nullptr; }))
        << "the module stayed loaded";
}

// One life of the reference DLL: loaded, called, unloaded.
void LoadCallUnloadReference() {
    const HMODULE reference = LoadLibraryW((ExeFolder() + L"\\reliability_refdll.dll").c_str());
    ASSERT_NE(reference, nullptr);
    using Fn = int(__cdecl*)(const char*);
    const auto length =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(reference, "ReferenceTextLength")));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("shelf"), 5);
    FreeLibrary(reference);
}

// Runs cycle warm-up times, then counts times; the counts before and after the counted cycles.
template <class Cycle>
std::pair<ResourceCounts, ResourceCounts> Measure(int times, const std::set<DWORD>& threads, Cycle cycle) {
    for (int i = 0; i < kWarmUpCycles; ++i)
        cycle();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threads)))
        << "threads left: " << DescribeThreads(NewThreads(threads));
    const ResourceCounts before = CountResources();
    for (int i = 0; i < times && !::testing::Test::HasFatalFailure(); ++i)
        cycle();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threads)))
        << "threads left: " << DescribeThreads(NewThreads(threads));
    return {before, CountResources()};
}

void ExpectBackWithinBounds(const std::pair<ResourceCounts, ResourceCounts>& counts, SIZE_T runtimeBytes,
                            const char* what) {
    const ResourceCounts& before = counts.first;
    const ResourceCounts& after = counts.second;
    SCOPED_TRACE(std::string(what) + ": before " + Describe(before) + "; after " + Describe(after));
    ASSERT_GT(before.handles, 0) << "handles cannot be counted";
    ASSERT_GT(before.gdiObjects, 0) << "GDI objects cannot be counted";
    EXPECT_LE(after.handles, before.handles + kHandleSlack);
    EXPECT_LE(after.windows, before.windows);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + kGdiSlack);
    EXPECT_LE(after.privateBytes, before.privateBytes + runtimeBytes + kPrivateSlack);
}

} // namespace

TEST(Leaks, TwoHundredWindowsShownAndClosedLeaveNothingBehind) {
    Watchdog watchdog("200 show/close cycles", 200000);
    HostSink sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, kBooks);
    const std::set<DWORD> threads = ThreadIds();
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();

    const auto counts = Measure(kShowCloseCycles, threads, [&] { ShowAndClose(module, sink, store); });
    ExpectBackWithinBounds(counts, 0, "200 windows");
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());
}

TEST(Leaks, FiftyTimesUnloadingAndLoadingTheModuleLeavesNothingBehind) {
    Watchdog watchdog("50 unload/load cycles", 200000);
    // Every unload saves the display mode into the shared library folder.
    ShowModeFileGuard showModeFile;
    ASSERT_TRUE(showModeFile.Held());
    HostSink sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, kBooks);
    // The reference kernel stays loaded, so that what is counted is the module's own.
    const HMODULE kernel = LoadLibraryW((ExeFolder() + L"\\VexilKernel.dll").c_str());
    ASSERT_NE(kernel, nullptr);
    const std::set<DWORD> threads = ThreadIds();

    // Any DLL with the statically linked C++ runtime leaves its exception pool behind when unloaded;
    // the module may cost that much per life, and nothing more.
    const auto reference = Measure(kUnloadCycles, threads, [] { LoadCallUnloadReference(); });
    const SIZE_T runtimeBytes =
        reference.second.privateBytes - std::min(reference.second.privateBytes, reference.first.privateBytes);
    ExpectBackWithinBounds(reference, runtimeBytes, "50 lives of the reference DLL");
    const auto counts = Measure(kUnloadCycles, threads, [&] { LoadShowCloseUnload(sink, store); });
    ExpectBackWithinBounds(counts, runtimeBytes, "50 module lives");

    FreeLibrary(kernel);
}

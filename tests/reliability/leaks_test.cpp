// Many lives of the shelf in one process: 50 times the module loaded, four windows shown and closed,
// and the module unloaded again. Handles, windows, GDI objects and private memory come back to within a
// small bound of where they were after a warm-up. Under Wine 8 GetProcessHandleCount, GetGuiResources
// and GetProcessMemoryInfo are stubs, so each resource is counted by probing (below).
#include <shelftest/shelf.h>
#include <uiassist/scopedhandle.h>

#include <algorithm>

using namespace shelftest;

namespace {

struct ResourceCounts {
    int handles = 0;         // every handle value (a multiple of 4) that GetHandleInformation knows
    int windows = 0;         // windows of the process, top-level and children
    int gdiObjects = 0;      // every 16-bit GDI handle index that GetObjectType knows (Wine ignores the rest)
    SIZE_T privateBytes = 0; // committed private memory
};

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

ResourceCounts CountResources() {
    ResourceCounts counts;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        counts.handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&counts.windows));
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
        counts.gdiObjects += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto* address = reinterpret_cast<unsigned char*>(0x10000);
         VirtualQuery(address, &region, sizeof(region)) != 0;
         address = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            counts.privateBytes += region.RegionSize;
    }
    return counts;
}

std::ostream& operator<<(std::ostream& out, const ResourceCounts& counts) {
    return out << counts.handles << " handles, " << counts.windows << " windows, " << counts.gdiObjects
               << " GDI objects, " << counts.privateBytes / 1024 << " KiB private";
}

constexpr int kShelfKey = 7;
const std::vector<int> kBooks = {8400001, 8400002, 8400003};
// What may come and go without being a leak: handles of Wine's own caches, GDI objects of the
// caches that fill during the first few dozen windows (about 20, then flat), and heap pages that stay
// committed. One leaked object per cycle, or a few KiB per cycle, goes far beyond.
constexpr int kHandleSlack = 10;
constexpr int kGdiSlack = 32;
constexpr SIZE_T kPrivateSlack = 512 * 1024;

// Runs cycle 3 times to warm up, then counts times; the resources before and after the counted ones.
template <class Cycle>
std::pair<ResourceCounts, ResourceCounts> Measure(int times, const std::set<DWORD>& threads, Cycle cycle) {
    for (int i = 0; i < 3; ++i)
        cycle();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threads))) << DescribeThreads(NewThreads(threads));
    const ResourceCounts before = CountResources();
    for (int i = 0; i < times && !::testing::Test::HasFatalFailure(); ++i)
        cycle();
    EXPECT_TRUE(WaitForThreadsGone(NewThreads(threads))) << DescribeThreads(NewThreads(threads));
    return {before, CountResources()};
}

void ExpectBackWithinBounds(const std::pair<ResourceCounts, ResourceCounts>& counts, SIZE_T runtimeBytes,
                            const char* what) {
    const auto& [before, after] = counts;
    SCOPED_TRACE(::testing::Message() << what << ": before " << before << "; after " << after);
    ASSERT_GT(before.handles, 0) << "handles cannot be counted";
    ASSERT_GT(before.gdiObjects, 0) << "GDI objects cannot be counted";
    EXPECT_LE(after.handles, before.handles + kHandleSlack);
    EXPECT_LE(after.windows, before.windows);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + kGdiSlack);
    EXPECT_LE(after.privateBytes, before.privateBytes + runtimeBytes + kPrivateSlack);
}

} // namespace

TEST(Leaks, FiftyTimesUnloadingAndLoadingTheModuleLeavesNothingBehind) {
    Watchdog watchdog("50 unload/load cycles", 200000);
    ShowModeFileGuard showModeFile; // every closed window saves the display mode into the library folder
    ASSERT_TRUE(showModeFile.Held());
    HostSink sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, kBooks);
    // The reference kernel stays loaded, so that what is counted is the module's own.
    const vexil::ScopedModule kernel(LoadLibraryW((ExeFolder() + L"\\VexilKernel.dll").c_str()));
    ASSERT_TRUE(kernel.valid());
    const std::set<DWORD> threads = ThreadIds();

    // Any DLL with the statically linked C++ runtime leaves its exception pool behind when unloaded
    // (reliability_refdll, built like the module with nothing in it): the module may cost that much
    // per life, and nothing more.
    const auto reference = Measure(50, threads, [] {
        const vexil::ScopedModule dll(LoadLibraryW((ExeFolder() + L"\\reliability_refdll.dll").c_str()));
        ASSERT_TRUE(dll.valid());
    });
    const SIZE_T runtimeBytes =
        reference.second.privateBytes - std::min(reference.second.privateBytes, reference.first.privateBytes);
    const auto counts = Measure(50, threads, [&] { // 200 windows in all
        ModuleUnderTest module;
        ASSERT_TRUE(module.Ok()) << module.Error();
        for (int window = 0; window < 4; ++window) {
            ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, kBooks));
            module.Window()->Close();
            ASSERT_FALSE(module.Window()->IsWindowAlive());
        }
        module.Unload();
        ASSERT_TRUE(WaitUntil([] { return GetModuleHandleW(L"desktopui.dll") == nullptr; }))
            << "the module stayed loaded";
    });
    ExpectBackWithinBounds(counts, runtimeBytes, "50 module lives");
    EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty());
}

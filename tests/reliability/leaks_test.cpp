// Many lives of the shelf in one process: 200 windows shown and closed, and 50 times the module
// unloaded and loaded again. Handles, windows, GDI objects and private memory come back to within a
// small bound of where they were after a warm-up.
//
// Under Wine 8 GetProcessHandleCount, GetGuiResources and GetProcessMemoryInfo are stubs; the
// counters used here are real there (see reliability.h). USER objects other than windows (icons,
// menus) have no counter under Wine; the window's icon is checked by the module's own tests.
#include "reliability.h"

#include <algorithm>

using namespace shelftest;
using namespace reliability;

namespace {

constexpr int kShelfKey = 7;
const std::vector<int> kShelf = {8400001, 8400002, 8400003};
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
    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, kShelf));
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
    store.SetShelfWithItems(kShelfKey, kShelf);
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
    ShowModeFileKeeper showModeFile;
    ASSERT_TRUE(showModeFile.Held());
    HostSink sink;
    FakeShelfStore store;
    store.SetShelfWithItems(kShelfKey, kShelf);
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

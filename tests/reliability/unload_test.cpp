// A host unloading the module: what it leaves behind, and a host that unloads it while a thread of
// the module still runs. The loader lock itself only shows on Windows (a shell call or a file write
// in the module's unloading can block every other thread's DLL loads); here the tests prove the
// structure: the kernel is let go and the display mode saved on the window thread before the module
// goes, and its unloading writes nothing.
#include <shelftest/shelf.h>

#include <uiassist/cwin32window.h>

using namespace shelftest;
using ::testing::_;

namespace {

constexpr int kUnloadShelfKey = 7;
const std::vector<int> kUnloadBooks = {8500001, 8500002};
constexpr wchar_t kModuleName[] = L"desktopui.dll";
constexpr wchar_t kKernelName[] = L"VexilKernel.dll";
const std::string kUntouchedIni = "[Folian]\r\nShowMode=7\r\n";

bool ClassRegisteredUnder(HMODULE module) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(reinterpret_cast<HINSTANCE>(module), VEXIL_WINDOW_CLASS, &info) != FALSE;
}

class Unload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(showModeFile.Held());
        store.SetShelfWithItems(kUnloadShelfKey, kUnloadBooks);
        module = std::make_unique<ModuleUnderTest>();
        ASSERT_TRUE(module->Ok()) << module->Error();
    }
    // After the module was unloaded and its threads ended: gone, and its window class with it.
    void ExpectModuleGone(HMODULE instance) {
        EXPECT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)))
            << DescribeThreads(NewThreads(threadsBefore));
        EXPECT_EQ(GetModuleHandleW(kModuleName), nullptr) << "the module stayed loaded";
        EXPECT_FALSE(ClassRegisteredUnder(instance)) << "the window class outlived the module it points into";
    }

    Watchdog watchdog{"an unload", 60000};
    ShowModeFileGuard showModeFile; // the window thread saves the display mode as it ends
    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    std::unique_ptr<ModuleUnderTest> module;
    const std::set<DWORD> threadsBefore = ThreadIds();
};

TEST_F(Unload, TheKernelGoesWithTheWindowsThreadAndTheModulesUnloadingWritesNothing) {
    ASSERT_TRUE(ShowShelf(*module, sink, store, kUnloadShelfKey, kUnloadBooks));
    module->ReleaseKernelReference();
    ASSERT_NE(GetModuleHandleW(kKernelName), nullptr);
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", kUntouchedIni));
    const HMODULE instance = module->Module();
    ASSERT_TRUE(ClassRegisteredUnder(instance));
    module->Window()->Close();
    ASSERT_TRUE(WaitForThreadsGone(NewThreads(threadsBefore)));
    EXPECT_EQ(GetModuleHandleW(kKernelName), nullptr) << "the kernel is left for the module's unloading";
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1")
        << "the ending window thread did not save the display mode";

    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", kUntouchedIni));
    module->Unload();
    EXPECT_EQ(LibraryFolder::ReadFile(L"Folian.ini"), kUntouchedIni) << "the module wrote while it unloaded";
    ExpectModuleGone(instance);
}

TEST_F(Unload, AModuleUnloadedWhileItsThreadsRunStaysMappedUntilTheyEnd) {
    struct Case {
        const char* name;
        bool closeInCallback; // Close from inside a sink callback, which cannot wait for its own thread
    } cases[] = {{"closed from a sink callback", true}, {"never closed", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!module)
            module = std::make_unique<ModuleUnderTest>();
        ASSERT_TRUE(module->Ok()) << module->Error();
        ASSERT_TRUE(ShowShelf(*module, sink, store, kUnloadShelfKey, kUnloadBooks));
        CBookrackWindow* window = module->Window();
        const HWND hwnd = window->GetHwnd();
        const HMODULE instance = module->Module();
        Event closed, unloaded;
        std::atomic<bool> armed{c.closeInCallback};
        // The sign-in's count reaches the sink on the window thread, which is held there until the
        // host has unloaded the module.
        ON_CALL(sink, OnBookCountChanged(_, _)).WillByDefault([&](int, int) {
            if (!armed.exchange(false))
                return;
            window->Close();
            closed.Set();
            unloaded.IsSet(kDefaultWaitMs);
        });
        if (c.closeInCallback) {
            window->Login("unload@example", "key", "Unload", 0);
            ASSERT_TRUE(closed.IsSet(kDefaultWaitMs));
        }
        module->Unload(false);
        module.reset();
        EXPECT_NE(GetModuleHandleW(kModuleName), nullptr) << "unmapped under a running thread";
        unloaded.Set();
        if (!c.closeInCallback) {
            // The window still answers; closing it ends its thread, which lets go of the module last.
            EXPECT_EQ(SendMessageW(hwnd, WM_NULL, 0, 0), 0);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        ExpectModuleGone(instance);
        EXPECT_FALSE(IsWindow(hwnd));
        ::testing::Mock::VerifyAndClear(&sink);
    }
}

} // namespace

// Several modules of one process link the window base: each registers the window class under its
// own instance, a module that is unloaded takes its class along and works again when reloaded, and
// all of them count diagnostics into one per-process counter.
#include <uiassist/cwin32window.h>
#include <uiassist/diag.h>

#include <gtest/gtest.h>

#include <shelftest/diagnostics.h>

#include <string>

#include "testdll.h"
#include "uiassisttest.h"

namespace {

constexpr wchar_t kTestDllName[] = L"uiassist_testdll.dll";

template <class Fn> Fn Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

HMODULE LoadTestDll() {
    const std::wstring path = uiassisttest::ExeFolder() + kTestDllName;
    return LoadLibraryExW(path.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

// Whether addr lies inside the loaded image of module.
bool InsideImage(HMODULE module, const void* addr) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto* p = static_cast<const BYTE*>(addr);
    return p >= base && p < base + nt->OptionalHeader.SizeOfImage;
}

bool ClassRegisteredUnder(HMODULE module, WNDCLASSEXW* info) {
    info->cbSize = sizeof(*info);
    return GetClassInfoExW(reinterpret_cast<HINSTANCE>(module), VEXIL_WINDOW_CLASS, info) != FALSE;
}

class ExeWindow : public CWin32Window {};

TEST(WindowClassPerModule, EachModuleRegistersItsOwnClassAndAReloadedModuleRegistersAgain) {
    // This program's own window, open throughout: its class must survive the other module's coming
    // and going.
    ExeWindow exeWindow;
    ASSERT_TRUE(exeWindow.CreateInCurrentThread(nullptr, RECT{0, 0, 200, 150}, L"exe", SW_HIDE, WS_POPUP, 0));
    const HMODULE exe = GetModuleHandleW(nullptr);
    WNDCLASSEXW info = {};
    ASSERT_TRUE(ClassRegisteredUnder(exe, &info));
    EXPECT_TRUE(InsideImage(exe, reinterpret_cast<const void*>(info.lpfnWndProc)));

    for (int load = 1; load <= 2; ++load) {
        SCOPED_TRACE(load == 1 ? "first load" : "after a reload");
        HMODULE dll = LoadTestDll();
        ASSERT_NE(dll, nullptr) << "error " << GetLastError();
        EXPECT_FALSE(ClassRegisteredUnder(dll, &info)) << "registered before the module made a window";

        auto roundTrip = Entry<PFN_UiAssistTestDll_RoundTrip>(dll, "UiAssistTestDll_RoundTrip");
        ASSERT_NE(roundTrip, nullptr);
        EXPECT_EQ(roundTrip(), kTestDllOk);
        ASSERT_TRUE(ClassRegisteredUnder(dll, &info));
        const ATOM atom =
            static_cast<ATOM>(GetClassInfoExW(reinterpret_cast<HINSTANCE>(dll), VEXIL_WINDOW_CLASS, &info));
        EXPECT_TRUE(InsideImage(dll, reinterpret_cast<const void*>(info.lpfnWndProc)))
            << "the module's class must use the module's own window procedure";
        // A second window of the module finds its class and uses it as it is.
        EXPECT_EQ(roundTrip(), kTestDllOk);
        EXPECT_EQ(
            static_cast<ATOM>(GetClassInfoExW(reinterpret_cast<HINSTANCE>(dll), VEXIL_WINDOW_CLASS, &info)),
            atom);

        ASSERT_TRUE(FreeLibrary(dll));
        ASSERT_EQ(GetModuleHandleW(kTestDllName), nullptr) << "the test module stayed loaded";
        EXPECT_FALSE(ClassRegisteredUnder(dll, &info)) << "the class outlived the module it points into";
    }

    ASSERT_TRUE(ClassRegisteredUnder(exe, &info));
    EXPECT_EQ(SendMessageW(exeWindow.GetWindowHandle(), WM_NCCALCSIZE, FALSE, 0), 0)
        << "exe window lost its procedure";
    DestroyWindow(exeWindow.GetWindowHandle());
    // The program's own class stays until the program asks: it still has a window only if it leaked.
    EXPECT_TRUE(CWin32Window::UnregisterWindowClass());
    EXPECT_FALSE(ClassRegisteredUnder(exe, &info));
    EXPECT_FALSE(CWin32Window::UnregisterWindowClass()) << "unregistered twice";
}

TEST(DiagnosticCounter, AllModulesOfTheProcessCountIntoOneCounter) {
    // Reports on purpose, to count them.
    shelftest::ExpectDiagnosticReports();
    HMODULE dll = LoadTestDll();
    ASSERT_NE(dll, nullptr);
    auto report = Entry<PFN_UiAssistTestDll_Report>(dll, "UiAssistTestDll_Report");
    auto dllCount = Entry<PFN_UiAssistTestDll_DiagnosticCount>(dll, "UiAssistTestDll_DiagnosticCount");
    ASSERT_NE(report, nullptr);
    ASSERT_NE(dllCount, nullptr);

    const long before = vexil::DiagnosticCount();
    EXPECT_EQ(dllCount(), before);
    // Any module may read the counter by its name, with or without this library.
    const std::wstring name = L"Local\\vexil_diag_" + std::to_wstring(GetCurrentProcessId());
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    ASSERT_NE(mapping, nullptr);
    const auto* shared = static_cast<const LONG*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(LONG)));
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(*shared, before);
    report();
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1);
    vexil::ReportBrokenInvariant(__FILE__, __LINE__, "reported by the test program");
    EXPECT_EQ(dllCount(), before + 2);
    EXPECT_EQ(*shared, before + 2);
    UnmapViewOfFile(shared);
    CloseHandle(mapping);

    // The count outlives the module that reported.
    ASSERT_TRUE(FreeLibrary(dll));
    EXPECT_EQ(vexil::DiagnosticCount(), before + 2);
}

} // namespace

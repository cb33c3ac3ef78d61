// Several modules of one process link the window base: each registers the window class under its
// own instance, and a module that is unloaded takes its class along and works again when reloaded.
#include <uiassist/cwin32window.h>

#include <gtest/gtest.h>

#include "uiassisttest.h"

namespace {

constexpr wchar_t kTestDllName[] = L"uiassist_testdll.dll";

// Whether the module registered the window class, with a window procedure inside its own image.
bool HasOwnClass(HMODULE module) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    if (!GetClassInfoExW(reinterpret_cast<HINSTANCE>(module), VEXIL_WINDOW_CLASS, &info))
        return false;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto* proc = reinterpret_cast<const BYTE*>(info.lpfnWndProc);
    EXPECT_TRUE(proc >= base && proc < base + nt->OptionalHeader.SizeOfImage)
        << "the class must use the module's own window procedure";
    return true;
}

TEST(WindowClassPerModule, EachModuleRegistersItsOwnClassAndAReloadedModuleRegistersAgain) {
    // This program's own window, open throughout: its class survives the other module's coming and
    // going.
    CWin32Window exeWindow;
    ASSERT_TRUE(exeWindow.CreateInCurrentThread(nullptr, RECT{0, 0, 200, 150}, L"exe", SW_HIDE, WS_POPUP, 0));
    const HMODULE exe = GetModuleHandleW(nullptr);
    ASSERT_TRUE(HasOwnClass(exe));

    for (int load = 1; load <= 2; ++load) {
        SCOPED_TRACE(load == 1 ? "first load" : "after a reload");
        HMODULE dll = LoadLibraryExW(uiassisttest::BesideExe(kTestDllName).c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        ASSERT_NE(dll, nullptr) << "error " << GetLastError();
        EXPECT_FALSE(HasOwnClass(dll)) << "registered before the module made a window";
        using RoundTrip = bool(__cdecl*)();
        const auto roundTrip = reinterpret_cast<RoundTrip>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "UiAssistTestDll_RoundTrip")));
        ASSERT_NE(roundTrip, nullptr);
        EXPECT_TRUE(roundTrip());
        EXPECT_TRUE(HasOwnClass(dll));

        ASSERT_TRUE(FreeLibrary(dll));
        ASSERT_EQ(GetModuleHandleW(kTestDllName), nullptr) << "the test module stayed loaded";
        EXPECT_FALSE(HasOwnClass(dll)) << "the class outlived the module it points into";
    }

    EXPECT_EQ(SendMessageW(exeWindow.GetWindowHandle(), WM_NCCALCSIZE, FALSE, 0), 0)
        << "the program's window lost its procedure";
    DestroyWindow(exeWindow.GetWindowHandle());
    // The program's own class stays until the program asks.
    EXPECT_TRUE(HasOwnClass(exe));
    EXPECT_TRUE(CWin32Window::UnregisterWindowClass());
    EXPECT_FALSE(HasOwnClass(exe));
}

} // namespace

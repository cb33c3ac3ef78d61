// The harness's own check: a test program built by the cross compiler starts under Wine in the
// project's prefix, in its own folder, with windows and the checked build's library assertions
// working.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

constexpr UINT kPingMessage = WM_APP + 1;

LRESULT CALLBACK PingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPingMessage)
        *reinterpret_cast<DWORD*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) = GetCurrentThreadId();
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST(HarnessSmoke, TestsStartInTheFolderOfTheirDlls) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(exe).parent_path(),
                                            std::filesystem::current_path()));
}

TEST(HarnessSmoke, WindowOfARegisteredClassReceivesItsPostedMessage) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PingWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KelvoHarnessSmoke";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    // Fails without a graphics driver: the prefix must use the null driver.
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"smoke", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr) << "CreateWindowExW failed, error " << GetLastError();
    DWORD handledOnThread = 0;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handledOnThread));
    ASSERT_TRUE(PostMessageW(hwnd, kPingMessage, 0, 0));
    MSG msg;
    while (handledOnThread == 0 && PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) // queued already
        DispatchMessageW(&msg);
    EXPECT_EQ(handledOnThread, GetCurrentThreadId());
    EXPECT_TRUE(DestroyWindow(hwnd));
}

#ifdef VEXIL_DIAGNOSTICS
TEST(HarnessSmokeDeathTest, CheckedBuildStopsOnAnOutOfRangeIndex) {
    std::vector<int> values(2);
    volatile size_t index = 2;
    EXPECT_DEATH(values[index] = 1, "__n < this->size");
}
#endif

} // namespace

// The harness's own check: a test program built by the cross compiler starts under Wine in the
// project's prefix, in its own folder, with threads, kernel objects, windows and the checked
// build's library assertions working.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kWaitLimitMs = 5000;
constexpr UINT kPingMessage = WM_APP + 1;

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(path);
}

std::wstring CurrentFolder() {
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    std::wstring folder(path);
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

LRESULT CALLBACK PingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPingMessage) {
        *reinterpret_cast<DWORD*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) = GetCurrentThreadId();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

TEST(HarnessSmoke, TestsStartInTheFolderOfTheirDlls) {
    EXPECT_EQ(_wcsicmp(ExeFolder().c_str(), CurrentFolder().c_str()), 0);
}

TEST(HarnessSmoke, EventSetOnAnotherThreadWakesTheWaiter) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::thread setter([event] { SetEvent(event); });
    EXPECT_EQ(WaitForSingleObject(event, kWaitLimitMs), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(HarnessSmoke, WindowOfARegisteredClassReceivesItsPostedMessage) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PingWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KelvoHarnessSmoke";
    ASSERT_NE(RegisterClassExW(&wc), 0);

    // Fails without a graphics driver: the prefix must use the null driver.
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"smoke", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                                nullptr, instance, nullptr);
    ASSERT_NE(hwnd, nullptr) << "CreateWindowExW failed, error " << GetLastError();
    DWORD handledOnThread = 0;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handledOnThread));

    ASSERT_TRUE(PostMessageW(hwnd, kPingMessage, 0, 0));
    const ULONGLONG deadline = GetTickCount64() + kWaitLimitMs;
    MSG msg;
    while (handledOnThread == 0 && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    EXPECT_EQ(handledOnThread, GetCurrentThreadId());

    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassW(wc.lpszClassName, instance));
}

#ifdef VEXIL_DIAGNOSTICS
TEST(HarnessSmokeDeathTest, CheckedBuildStopsOnAnOutOfRangeIndex) {
    std::vector<int> values(2);
    volatile size_t index = 2;
    EXPECT_DEATH(values[index] = 1, "__n < this->size");
}
#endif

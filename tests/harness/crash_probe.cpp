// A program that fails on purpose, for tests/harness/expect-crash: it proves that a test which
// crashes under Wine ends at once with a failure ctest sees, instead of hanging in a crash dialog.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void Fault() {
    // Not null, so this is a real access violation rather than an undefined-behaviour trap. The
    // address is read at run time: a constant one in page zero is an object of size 0 to the
    // optimiser, which warns of the write and may drop it.
    static volatile uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 1;
}

DWORD WINAPI FaultingThread(LPVOID) {
    Fault();
    return 0;
}

LRESULT CALLBACK FaultingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP)
        Fault();
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

DWORD WINAPI SendingThread(LPVOID window) {
    SendMessageW(static_cast<HWND>(window), WM_APP, 0, 0);
    return 0;
}

// A fault inside a window procedure that another thread reached with SendMessage: Wine's callback
// dispatcher swallows it, the sender gets 0 and the process ends well unless the output says so.
int FaultInSentMessage() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = FaultingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KelvoCrashProbe";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    HANDLE sender = CreateThread(nullptr, 0, SendingThread, window, 0, nullptr);
    // Delivers the sent message while waiting, so the sender's message reaches the window.
    while (MsgWaitForMultipleObjects(1, &sender, FALSE, 10000, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    std::printf("crash_probe: %s\n", mode);
    std::fflush(stdout);
    if (std::strcmp(mode, "ok") == 0)
        return 0;
    if (std::strcmp(mode, "thread-fault") == 0) {
        HANDLE thread = CreateThread(nullptr, 0, FaultingThread, nullptr, 0, nullptr);
        WaitForSingleObject(thread, 10000);
        return 0;
    }
    if (std::strcmp(mode, "ub-overflow") == 0) {
        // Signed overflow: -fsanitize=undefined with traps ends the process here.
        volatile int big = INT_MAX;
        int sum = big + argc;
        std::printf("%d\n", sum);
        return 0;
    }
    if (std::strcmp(mode, "sent-fault") == 0)
        return FaultInSentMessage();
    if (std::strcmp(mode, "trap") == 0)
        __builtin_trap();
    std::fprintf(stderr, "usage: crash_probe ok|thread-fault|sent-fault|ub-overflow|trap\n");
    return 2;
}

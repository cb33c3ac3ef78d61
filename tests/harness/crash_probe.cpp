// A program that fails on purpose, for tests/harness/expect-crash: it proves that a test which
// crashes under Wine ends at once with a failure ctest sees, instead of hanging in a crash dialog.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

DWORD WINAPI FaultingThread(LPVOID) {
    // Not null, so this is a real access violation rather than an undefined-behaviour trap.
    *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1;
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
    if (std::strcmp(mode, "trap") == 0)
        __builtin_trap();
    std::fprintf(stderr, "usage: crash_probe ok|thread-fault|ub-overflow|trap\n");
    return 2;
}

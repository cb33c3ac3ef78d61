#include <uiassist/diag.h>

#include <windows.h>

#include <cstdio>

namespace vexil {

namespace {

// The counter lives in a section named after the process, so that every module of the process
// that links this library counts into the same place. The mapping is never closed: it lasts as
// long as the process, also when a module that opened it is unloaded.
volatile LONG* ProcessCounter() {
    static volatile LONG* const counter = []() -> volatile LONG* {
        wchar_t name[64];
        swprintf(name, sizeof(name) / sizeof(name[0]), L"Local\\vexil_diag_%lu",
                 static_cast<unsigned long>(GetCurrentProcessId()));
        HANDLE mapping =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), name);
        if (mapping) {
            if (void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONG)))
                return static_cast<volatile LONG*>(view);
            CloseHandle(mapping);
        }
        // This module alone then: still counts, just not shared.
        static LONG fallback = 0;
        return &fallback;
    }
    ();
    return counter;
}

} // namespace

void ReportBrokenInvariant(const char* file, int line, const char* what) {
    char text[512];
    snprintf(text, sizeof(text), "%s(%d): broken invariant: %s\n", file ? file : "?", line,
             what ? what : "?");
    OutputDebugStringA(text);
    InterlockedIncrement(ProcessCounter());
}

long DiagnosticCount() { return InterlockedCompareExchange(ProcessCounter(), 0, 0); }

} // namespace vexil

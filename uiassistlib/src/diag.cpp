// Diagnostic reports and failure notes, counted per process. Any thread.
#include <uiassist/diag.h>

#include <uiassist/scopedhandle.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace vexil {

namespace {

// What every module of the process shares: the count and the latest report's text.
struct SharedDiagnostics {
    volatile LONG count;
    volatile LONG wrongThread;
    volatile LONG writing; // 1 while a report or a note writes its text
    char last[504];
    volatile LONG failures;
    char lastFailure[252];
};

// In checked builds the section is named after the process, so that every module of the process
// that links this library counts into the same place and a test can read it. The mapping is never
// closed: it lasts as long as the process, also when a module that opened it is unloaded. Other
// builds count for this module alone and make no section.
SharedDiagnostics* Shared() {
#if defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS
    static SharedDiagnostics* const shared = []() -> SharedDiagnostics* {
        wchar_t name[64];
        swprintf(name, sizeof(name) / sizeof(name[0]), L"Local\\vexil_diag_%lu",
                 static_cast<unsigned long>(GetCurrentProcessId()));
        vexil::ScopedHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                       sizeof(SharedDiagnostics), name));
        if (mapping) {
            if (void* view =
                    MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedDiagnostics))) {
                mapping.release(); // kept for the life of the process
                return static_cast<SharedDiagnostics*>(view);
            }
        }
        // This module alone then: still counts, just not shared.
        static SharedDiagnostics fallback = {};
        return &fallback;
    }();
    return shared;
#else
    static SharedDiagnostics local = {};
    return &local;
#endif
}

// The text is best effort: a writer racing another one keeps whichever got there first.
void StoreText(char* to, const char* text, size_t size) {
    SharedDiagnostics* shared = Shared();
    if (InterlockedExchange(&shared->writing, 1) == 0) {
        std::memcpy(to, text, size);
        InterlockedExchange(&shared->writing, 0);
    }
}

std::string ReadText(const char* from, size_t size) {
    SharedDiagnostics* shared = Shared();
    std::string text;
    if (InterlockedExchange(&shared->writing, 1) == 0) {
        text.assign(from, strnlen(from, size - 1));
        InterlockedExchange(&shared->writing, 0);
    }
    return text;
}

} // namespace

void ReportBrokenInvariant(const char* file, int line, const char* what) {
    char text[sizeof(SharedDiagnostics::last)];
    snprintf(text, sizeof(text), "%s(%d): broken invariant: %s\n", file ? file : "?", line,
             what ? what : "?");
    OutputDebugStringA(text);
    SharedDiagnostics* shared = Shared();
    StoreText(const_cast<char*>(shared->last), text, sizeof(text));
    InterlockedIncrement(&shared->count);
}

void NoteFailure(const char* file, int line, const char* what) {
    char text[sizeof(SharedDiagnostics::lastFailure)];
    snprintf(text, sizeof(text), "%s(%d): %s (last error %lu)", file ? file : "?", line, what ? what : "?",
             static_cast<unsigned long>(GetLastError()));
    SharedDiagnostics* shared = Shared();
    StoreText(const_cast<char*>(shared->lastFailure), text, sizeof(text));
    InterlockedIncrement(&shared->failures);
}

long FailureNoteCount() { return InterlockedCompareExchange(&Shared()->failures, 0, 0); }

std::string LastFailureNote() {
    return ReadText(const_cast<const char*>(Shared()->lastFailure), sizeof(SharedDiagnostics::lastFailure));
}

void ReportWrongThread(const char* file, int line, const char* what) {
    InterlockedIncrement(&Shared()->wrongThread);
    ReportBrokenInvariant(file, line, what);
}

long WrongThreadCount() { return InterlockedCompareExchange(&Shared()->wrongThread, 0, 0); }

long DiagnosticCount() { return InterlockedCompareExchange(&Shared()->count, 0, 0); }

std::string LastDiagnostic() {
    return ReadText(const_cast<const char*>(Shared()->last), sizeof(SharedDiagnostics::last));
}

} // namespace vexil

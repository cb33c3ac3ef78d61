// Diagnostic assertions: in diagnostic builds a broken invariant is reported (OutputDebugString and a
// per-process counter that any module of the process can read) and execution goes on. Release builds
// compile them out.
#pragma once

#include <string>

namespace vexil {

// Reports one broken invariant. Never ends the process.
void ReportBrokenInvariant(const char* file, int line, const char* what);
// Reports a call on a thread its code does not belong to: a broken invariant that is also counted
// apart, so that a test expecting other reports still sees it.
void ReportWrongThread(const char* file, int line, const char* what);
// How many broken invariants the modules of this process have reported so far.
long DiagnosticCount();
// How many of them were calls on the wrong thread.
long WrongThreadCount();
// The text of the latest report of any module of the process ("" before the first).
std::string LastDiagnostic();

// Notes why a creation is about to fail where the failure can be a real one (a kernel or skin that
// is missing, a window the system would not make): not a broken invariant and never counted as
// one, but kept, so that a test whose call failed can tell which step failed.
void NoteFailure(const char* file, int line, const char* what);
// How many failures the modules of this process have noted so far, and the text of the latest.
long FailureNoteCount();
std::string LastFailureNote();

} // namespace vexil

#define VEXIL_NOTE_FAILURE(what) ::vexil::NoteFailure(__FILE__, __LINE__, what)

#if defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS
#define VEXIL_REPORT_IF(cond, what)                                                                          \
    do {                                                                                                     \
        if (cond)                                                                                            \
            ::vexil::ReportBrokenInvariant(__FILE__, __LINE__, what);                                        \
    } while (0)
#else
#define VEXIL_REPORT_IF(cond, what)                                                                          \
    do {                                                                                                     \
    } while (0)
#endif

// Checks that code runs on the thread it belongs to (onThread: a test such as "this is the window's
// thread"): checked builds report a call from any other thread; release builds compile it out.
#if defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS
#define VEXIL_ASSERT_THREAD(onThread)                                                                        \
    do {                                                                                                     \
        if (!(onThread))                                                                                     \
            ::vexil::ReportWrongThread(__FILE__, __LINE__, "code called on a thread it does not belong to"); \
    } while (0)
#else
#define VEXIL_ASSERT_THREAD(onThread)                                                                        \
    do {                                                                                                     \
    } while (0)
#endif

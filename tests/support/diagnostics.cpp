// Compiled into every suite that links the kit (an interface source of shelf_test_support), so that
// its listener is registered before main runs.
#include "shelftest/diagnostics.h"

#include <uiassist/diag.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace shelftest {
namespace {

std::atomic<bool> g_expected{false};
std::atomic<bool> g_wrongThreadExpected{false};

class DiagnosticsListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        g_expected = false;
        g_wrongThreadExpected = false;
        m_before = vexil::DiagnosticCount();
        m_wrongThreadBefore = vexil::WrongThreadCount();
        m_notesBefore = vexil::FailureNoteCount();
    }
    // Runs before the result printer's OnTestEnd (end events go to the listeners in reverse), so
    // the failure is reported as the test's own.
    void OnTestEnd(const ::testing::TestInfo& test) override {
        const long fired = vexil::DiagnosticCount() - m_before;
        const long wrongThread = vexil::WrongThreadCount() - m_wrongThreadBefore;
        if ((wrongThread != 0 && !g_wrongThreadExpected.load()) || (fired != 0 && !g_expected.load()))
            ADD_FAILURE() << fired << " diagnostic assertion(s) fired during this test, " << wrongThread
                          << " of them thread checks; the latest: " << vexil::LastDiagnostic();
        // A window that could not be made fails a test far from the step that failed: name it.
        if (test.result()->Failed() && vexil::FailureNoteCount() != m_notesBefore)
            std::printf("latest failure the window base noted: %s\n", vexil::LastFailureNote().c_str());
    }

    long m_before = 0;
    long m_wrongThreadBefore = 0;
    long m_notesBefore = 0;
};

const bool g_registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new DiagnosticsListener);
    return true;
}();

} // namespace

void ExpectDiagnosticReports() { g_expected = true; }

void ExpectWrongThreadReports() {
    g_expected = true;
    g_wrongThreadExpected = true;
}

} // namespace shelftest

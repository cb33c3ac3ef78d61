// Every test of a suite that links this kit fails when a diagnostic assertion of any module of the
// process (the module's thread checks among them) fired while it ran. A test that provokes one on
// purpose says so first.
#pragma once

namespace shelftest {

// The running test provokes diagnostic reports on purpose: they do not fail it. A thread check that
// fires still does.
void ExpectDiagnosticReports();

} // namespace shelftest

// A test of a suite that links this kit fails when a diagnostic assertion of any module fired while it
// ran, unless it provokes reports on purpose and says so first; a thread check fails it all the same,
// unless the test provokes that very report to prove the check is there.
#pragma once

namespace shelftest {

void ExpectDiagnosticReports();
void ExpectWrongThreadReports();

} // namespace shelftest

// A test of a suite that links this kit fails when a diagnostic assertion of any module fired while it
// ran, unless it provokes reports on purpose and says so first; a thread check fails it all the same.
#pragma once

namespace shelftest {

void ExpectDiagnosticReports();

} // namespace shelftest

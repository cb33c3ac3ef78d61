// What uiassist_testdll exports, for the tests that load it.
#pragma once

#include <windows.h>

// Sent by UiAssistTestDll_RoundTrip to its window; answered on the window's own thread.
constexpr UINT kTestDllProbeMessage = WM_APP + 0x151;

// Results of UiAssistTestDll_RoundTrip: creates a window on a thread of its own, sends it a message
// and closes it (waiting for its thread).
enum TestDllResult : int {
    kTestDllOk = 1,
    kTestDllNotCreated = 2,
    kTestDllNotRouted = 3, // the message did not reach the object on the window thread
    kTestDllNotClosed = 4,
};

typedef int(__cdecl* PFN_UiAssistTestDll_RoundTrip)();
typedef void(__cdecl* PFN_UiAssistTestDll_Report)();
typedef long(__cdecl* PFN_UiAssistTestDll_DiagnosticCount)();

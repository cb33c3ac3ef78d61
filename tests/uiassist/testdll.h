// What uiassist_testdll exports, for the tests that load it.
#pragma once

#include <windows.h>

// Sent by UiAssistTestDll_RoundTrip to its window; answered on the window's own thread.
constexpr UINT kTestDllProbeMessage = WM_APP + 0x151;

// UiAssistTestDll_RoundTrip creates a window on a thread of its own, sends it a message and closes
// it, waiting for its thread: true when the message reached the object on the window's thread and
// the window is gone.
typedef bool(__cdecl* PFN_UiAssistTestDll_RoundTrip)();

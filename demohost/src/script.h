// The scripted session for headless runs: sign in, wait for the covers, select two books, delete
// them in one batch, switch the display mode, and take pictures along the way.
#pragma once

#include <windows.h>

#include <string>

#include "demoapp.h"

namespace shelfdemo {

// Exit codes of the scripted session.
constexpr int kScriptOk = 0;
constexpr int kScriptStartFailed = 1; // module missing, shelf not created, bad arguments
constexpr int kScriptStepFailed = 2;  // a step did not happen within its time limit
constexpr int kScriptCancelled = 3;   // the user closed the demo meanwhile

// Runs on a thread of its own while the control window's thread pumps messages; the shelf must
// have been created. Pictures go to shotsFolder (created when missing).
int RunScript(DemoApp& app, const std::wstring& shotsFolder);

} // namespace shelfdemo

// The notice shown when the installation's skin cannot be built, and opening a web address with the
// user's browser. Any thread: the notice ends the process.
#pragma once

#include <windows.h>

// Tells the user that the installation is damaged (naming fileName), offers the download page, and
// ends the process with exit code 0 whatever the answer. A null or empty name does nothing.
void ShowDamagedInstallNotice(const char* fileName);
// The kernel's report on one of the module's skin windows: a code other than 0 means the
// installation's skin cannot be built, and the notice (naming the skin package) ends the process.
// False, and nothing shown, for 0.
bool ShowNoticeIfSkinDamaged(int createResult);
// Opens the web address with the shell's open verb and returns once the launch was handed over; a
// failed launch is reported in a message box with the launch's own error. Returns the launch's
// HINSTANCE-style result (above 32 on success; 0 for a null or overlong address).
HINSTANCE OpenUrlInBrowser(const wchar_t* address);

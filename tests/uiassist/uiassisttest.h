// What the window-base suites share: the test skin package and temporary folders.
#pragma once

#include <windows.h>

#include <string>

#include <shelftest/library.h>
#include <shelftest/module.h>

namespace uiassisttest {

constexpr wchar_t kKernelName[] = L"VexilKernel.dll";

// The test package: window "Main" of kMainSize with one button "OkBtn", and window "Broken" whose
// control has a class the kernel does not know.
inline constexpr char kTestSkin[] = "vexilskin 1\n"
                                    "window Main size=420x260 title=\"Main\"\n"
                                    "control OkBtn class=button rect=10,10,90,40 text=\"OK\"\n"
                                    "end\n"
                                    "window Broken size=300x200\n"
                                    "control Odd class=nosuchclass rect=0,0,10,10\n"
                                    "end\n";
constexpr SIZE kMainSize = {420, 260};

// Full path of a file beside the test program (bin/).
inline std::wstring BesideExe(const wchar_t* name) { return shelftest::ExeFolder() + L"\\" + name; }

} // namespace uiassisttest

// What the window-base suites share: the test skin package and temporary folders.
#pragma once

#include <windows.h>

#include <string>

namespace uiassisttest {

constexpr wchar_t kKernelName[] = L"VexilKernel.dll";
constexpr DWORD kWaitMs = 10000;

// The test package: window "Main" of kMainSize with one button "OkBtn", and window "Broken" whose
// control has a class the kernel does not know.
extern const char kTestSkin[];
constexpr SIZE kMainSize = {420, 260};

// Full path of a file beside the test program (bin/).
std::wstring BesideExe(const wchar_t* name);

// A fresh folder under %TEMP%, removed with its contents on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Full path of name inside the folder; its folders are created. A name ending in "\" is a folder.
    std::wstring File(const std::wstring& name) const;
    // Writes text to name and returns its full path.
    std::wstring Write(const std::wstring& name, const std::string& text) const;

private:
    std::wstring m_path; // with a trailing backslash
};

} // namespace uiassisttest

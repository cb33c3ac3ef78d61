// What the window-base suites share: temp folders, the test skin package, the reference kernel.
#pragma once

#include <windows.h>

#include <string>

#include <vexil/kernel.h>
#include <vexilref/refprobe.h>

namespace uiassisttest {

constexpr wchar_t kKernelName[] = L"VexilKernel.dll";
// Caption of the kernel-error box: "内核窗口".
constexpr wchar_t kErrorBoxCaption[] = L"\u5185\u6838\u7a97\u53e3";

// The test package: window "Main" of kMainSize with one button "OkBtn", and window "Broken" whose
// control has a class the kernel does not know.
extern const char kTestSkin[];
constexpr SIZE kMainSize = {420, 260};

// Folder of the running test program (with a trailing backslash); the DLLs sit beside it.
std::wstring ExeFolder();

// A fresh folder under %TEMP%, removed with its contents on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }
    // Full path of name inside the folder (name may hold subfolders, which are created).
    std::wstring File(const std::wstring& name) const;

private:
    std::wstring m_path; // with a trailing backslash
};

bool WriteTextFile(const std::wstring& path, const std::string& text);
bool CopyFileTo(const std::wstring& source, const std::wstring& target);

// The reference kernel's inspector, when the kernel is loaded.
IRefInspector* Inspector();

// Destroys hwnd on the thread that owns it (bounded); true when it is gone afterwards.
bool DestroyOnItsThread(HWND hwnd);

} // namespace uiassisttest

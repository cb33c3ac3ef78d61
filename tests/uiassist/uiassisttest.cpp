#include "uiassisttest.h"

#include <shelftest/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace uiassisttest {

const char kTestSkin[] = "vexilskin 1\n"
                         "# Written by the window-base tests.\n"
                         "window Main size=420x260 title=\"Main\"\n"
                         "control OkBtn class=button rect=10,10,90,40 text=\"OK\"\n"
                         "end\n"
                         "window Broken size=300x200\n"
                         "control Odd class=nosuchclass rect=0,0,10,10\n"
                         "end\n";

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"uiassist_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(GetTickCount64()) + L"_" + std::to_wstring(++counter) + L"\\";
    std::error_code error;
    std::filesystem::create_directories(m_path, error);
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::wstring TempFolder::File(const std::wstring& name) const {
    const std::filesystem::path full = std::filesystem::path(m_path) / name;
    std::error_code error;
    std::filesystem::create_directories(full.parent_path(), error);
    return full.wstring();
}

bool WriteTextFile(const std::wstring& path, const std::string& text) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool CopyFileTo(const std::wstring& source, const std::wstring& target) {
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

IRefInspector* Inspector() {
    HMODULE kernel = GetModuleHandleW(kKernelName);
    if (!kernel)
        return nullptr;
    auto entry = reinterpret_cast<PFN_GetRefKernelInspector>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, VEXIL_REF_INSPECTOR_ENTRY)));
    return entry ? entry() : nullptr;
}

bool DestroyOnItsThread(HWND hwnd) {
    if (!IsWindow(hwnd))
        return true;
    shelftest::RunOnWindowThread(hwnd, [hwnd] { DestroyWindow(hwnd); });
    return !IsWindow(hwnd);
}

} // namespace uiassisttest

#include "uiassisttest.h"

#include <shelftest/module.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace uiassisttest {

const char kTestSkin[] = "vexilskin 1\n"
                         "window Main size=420x260 title=\"Main\"\n"
                         "control OkBtn class=button rect=10,10,90,40 text=\"OK\"\n"
                         "end\n"
                         "window Broken size=300x200\n"
                         "control Odd class=nosuchclass rect=0,0,10,10\n"
                         "end\n";

std::wstring BesideExe(const wchar_t* name) { return shelftest::ExeFolder() + L"\\" + name; }

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    m_path = (std::filesystem::temp_directory_path() /
              (L"uiassist_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter)))
                 .wstring() +
             L"\\";
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
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

std::wstring TempFolder::Write(const std::wstring& name, const std::string& text) const {
    const std::wstring path = File(name);
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << text;
    return path;
}

} // namespace uiassisttest

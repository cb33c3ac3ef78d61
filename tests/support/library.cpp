#include "shelftest/library.h"

#include <shlobj.h>
#include <uiassist/scopedhandle.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace shelftest {

std::wstring LibraryFolder::Path() {
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    return std::wstring(appData) + L"\\KelvoDesktop\\Folian";
}

bool LibraryFolder::Ensure() {
    SHCreateDirectoryExW(nullptr, Path().c_str(), nullptr);
    return IsFolder(Path());
}

bool LibraryFolder::RemoveFile(const std::wstring& name) {
    DeleteFileW(FilePath(name).c_str());
    return GetFileAttributesW(FilePath(name).c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::wstring LibraryFolder::ReadIni(const wchar_t* section, const wchar_t* key) {
    wchar_t value[64] = {};
    GetPrivateProfileStringW(section, key, L"", value, 64, FilePath(L"Folian.ini").c_str());
    return value;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    if (in)
        bytes << in.rdbuf();
    return bytes.str();
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring TempPath(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp + name;
}

std::vector<WIN32_FIND_DATAW> FindFiles(const std::wstring& pattern) {
    std::vector<WIN32_FIND_DATAW> found;
    WIN32_FIND_DATAW data;
    const vexil::ScopedFind search(FindFirstFileW(pattern.c_str(), &data));
    for (BOOL more = search.valid(); more; more = FindNextFileW(search.get(), &data)) {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
            found.push_back(data);
    }
    return found;
}

void RemoveFolderTree(const std::wstring& folder) {
    for (const WIN32_FIND_DATAW& data : FindFiles(folder + L"\\*")) {
        const std::wstring path = folder + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveFolderTree(path);
        else if (SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
            DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

TempFolder::TempFolder(const std::wstring& prefix)
    : m_path(TempPath(prefix + std::to_wstring(GetCurrentProcessId()))) {}

std::wstring TempFolder::File(const std::wstring& name) const {
    const std::filesystem::path full = std::filesystem::path(m_path) / name;
    std::filesystem::create_directories(full.parent_path());
    return full.wstring();
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& bytes) const {
    const std::wstring path = File(name);
    WriteBytes(path, bytes);
    return path;
}

LibraryLock::LibraryLock(DWORD timeoutMs)
    : m_mutex(CreateMutexW(nullptr, FALSE, L"Local\\kelvo_test_library")) {
    // An abandoned mutex (a test process that died holding it) is ours all the same.
    const DWORD result = m_mutex ? WaitForSingleObject(m_mutex.get(), timeoutMs) : WAIT_FAILED;
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

LibraryLock::~LibraryLock() {
    if (m_held)
        ReleaseMutex(m_mutex.get());
}

ShowModeFileGuard::ShowModeFileGuard()
    : m_attributes(GetFileAttributesW(LibraryFolder::FilePath(L"Folian.ini").c_str())),
      m_bytes(LibraryFolder::ReadFile(L"Folian.ini")) {}

ShowModeFileGuard::~ShowModeFileGuard() {
    if (!Held())
        return;
    const std::wstring path = LibraryFolder::FilePath(L"Folian.ini");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (m_attributes == INVALID_FILE_ATTRIBUTES) {
        DeleteFileW(path.c_str());
        return;
    }
    LibraryFolder::WriteFile(L"Folian.ini", m_bytes);
    SetFileAttributesW(path.c_str(), m_attributes);
}

namespace {

constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kMovedKey[] = L"Software\\KelvoTests\\AppDataMoved";

struct RegValue {
    DWORD type = REG_NONE; // REG_NONE: absent
    std::wstring text;
};

RegValue ReadValue(const wchar_t* key, const wchar_t* name) {
    RegValue value;
    wchar_t text[1024] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     &value.type, text, &bytes) != ERROR_SUCCESS)
        return {};
    value.text = text;
    return value;
}

void WriteValue(const wchar_t* key, const wchar_t* name, const RegValue& value) {
    if (value.type == REG_NONE) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name);
        return;
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, key, name, value.type, value.text.c_str(),
                    static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
}

} // namespace

void RestoreMovedAppData() {
    const RegValue user = ReadValue(kMovedKey, L"User"), shell = ReadValue(kMovedKey, L"Shell");
    if (user.type == REG_NONE && shell.type == REG_NONE)
        return;
    WriteValue(kUserShellFolders, L"AppData", user);
    WriteValue(kShellFolders, L"AppData", shell);
    RegDeleteTreeW(HKEY_CURRENT_USER, kMovedKey);
}

// A test process that died with the folder moved left the library lock abandoned: the next process
// of the kit puts the folder back before any test runs, unless a living one holds the lock.
const bool g_restoredAtStart = [] {
    LibraryLock lock(0);
    if (lock.Held())
        RestoreMovedAppData();
    return true;
}();

MovedAppData::MovedAppData(const std::wstring& profile) : m_profile(profile) {
    if (!Held())
        return;
    RestoreMovedAppData();
    m_appData = profile + L"\\AppData\\Roaming";
    if (SHCreateDirectoryExW(nullptr, m_appData.c_str(), nullptr) != ERROR_SUCCESS)
        return;
    WriteValue(kMovedKey, L"User", ReadValue(kUserShellFolders, L"AppData"));
    WriteValue(kMovedKey, L"Shell", ReadValue(kShellFolders, L"AppData"));
    WriteValue(kUserShellFolders, L"AppData", {REG_EXPAND_SZ, m_appData});
    WriteValue(kShellFolders, L"AppData", {REG_SZ, m_appData});
    wchar_t now[MAX_PATH] = {};
    m_moved = SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, now)) &&
              m_appData == now;
}

MovedAppData::~MovedAppData() {
    if (!Held())
        return;
    RestoreMovedAppData();
    RemoveFolderTree(m_profile);
}

std::string AnsiPath(const std::wstring& path) {
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 1 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_THREAD_ACP, 0, path.c_str(), -1, &text[0], size, nullptr, nullptr);
    return text;
}

void RemoveCovers(const std::vector<int>& ids) {
    for (const int id : ids) {
        const std::wstring prefix = std::to_wstring(id) + L".";
        for (const WIN32_FIND_DATAW& data : FindFiles(LibraryFolder::FilePath(prefix + L"*"))) {
            const std::wstring name = data.cFileName, path = LibraryFolder::FilePath(name);
            // The pattern matches short names too.
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        }
    }
}

} // namespace shelftest

#include "shelftest/library.h"

#include <shlobj.h>

#include <fstream>
#include <sstream>

namespace shelftest {

std::wstring LibraryFolder::Path() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return {};
    return std::wstring(appData) + L"\\KelvoDesktop\\Folian";
}

std::wstring LibraryFolder::FilePath(const std::wstring& name) { return Path() + L"\\" + name; }

bool LibraryFolder::Ensure() {
    const std::wstring path = Path();
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool LibraryFolder::Exists(const std::wstring& name) {
    return GetFileAttributesW(FilePath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LibraryFolder::WriteFile(const std::wstring& name, const std::string& bytes) {
    if (!Ensure())
        return false;
    std::ofstream out(FilePath(name).c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string LibraryFolder::ReadFile(const std::wstring& name) {
    std::ifstream in(FilePath(name).c_str(), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool LibraryFolder::RemoveFile(const std::wstring& name) {
    DeleteFileW(FilePath(name).c_str());
    return !Exists(name);
}

std::wstring LibraryFolder::ReadShowMode() {
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"Folian", L"ShowMode", L"", value, 64, FilePath(L"Folian.ini").c_str());
    return value;
}

void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(path);
            else if (SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

LibraryLock::LibraryLock(DWORD timeoutMs) {
    m_mutex = CreateMutexW(nullptr, FALSE, L"Local\\kelvo_test_library");
    if (m_mutex == nullptr)
        return;
    const DWORD result = WaitForSingleObject(m_mutex, timeoutMs);
    // An abandoned mutex (a test process that died holding it) is ours now all the same.
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

LibraryLock::~LibraryLock() {
    if (m_held)
        ReleaseMutex(m_mutex);
    if (m_mutex)
        CloseHandle(m_mutex);
}

ShowModeFileGuard::ShowModeFileGuard() {
    m_attributes = GetFileAttributesW(LibraryFolder::FilePath(L"Folian.ini").c_str());
    m_bytes = LibraryFolder::ReadFile(L"Folian.ini");
}

ShowModeFileGuard::~ShowModeFileGuard() {
    if (!m_lock.Held())
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
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(LibraryFolder::FilePath(prefix + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring name = found.cFileName;
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::wstring path = LibraryFolder::FilePath(name);
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

} // namespace shelftest

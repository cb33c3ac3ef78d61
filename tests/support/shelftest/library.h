// The library folder (%APPDATA%\KelvoDesktop\Folian) that every test process of the prefix shares,
// and the lock that tests needing an exact folder state take for their duration.
#pragma once

#include <windows.h>

#include <string>

namespace shelftest {

class LibraryFolder {
public:
    // The folder's full path (it may not exist yet).
    static std::wstring Path();
    // Path() + "\" + name.
    static std::wstring FilePath(const std::wstring& name);
    // Creates the folder and its parents. True when it exists afterwards.
    static bool Ensure();
    static bool Exists(const std::wstring& name);
    // Writes bytes into the file (folder created first). True on success.
    static bool WriteFile(const std::wstring& name, const std::string& bytes);
    // The file's bytes; "" when missing.
    static std::string ReadFile(const std::wstring& name);
    // Deletes the file; true when it is gone afterwards.
    static bool RemoveFile(const std::wstring& name);
    // GetPrivateProfileStringW of Folian.ini's [Folian] ShowMode ("" when missing).
    static std::wstring ReadShowMode();
};

// Deletes folder and everything below it.
void RemoveFolderTree(const std::wstring& folder);

// The process-wide named mutex "Local\kelvo_test_library", held from construction to destruction.
// Waits at most timeoutMs; check Held().
class LibraryLock {
public:
    explicit LibraryLock(DWORD timeoutMs = 30000);
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
    bool Held() const { return m_held; }

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
};

} // namespace shelftest

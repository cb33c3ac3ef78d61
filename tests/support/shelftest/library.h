// The library folder (%APPDATA%\KelvoDesktop\Folian) that every test process of the prefix shares,
// and the lock that tests needing an exact folder state take for their duration.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// Holds the library lock and puts the display-mode file (Folian.ini) back as it was (bytes and
// attributes, or its absence) when destroyed, for tests that choose a display mode or unload the
// module (both save it). Destroy it only after the module was unloaded.
class ShowModeFileGuard {
public:
    ShowModeFileGuard();
    ~ShowModeFileGuard();
    ShowModeFileGuard(const ShowModeFileGuard&) = delete;
    ShowModeFileGuard& operator=(const ShowModeFileGuard&) = delete;
    bool Held() const { return m_lock.Held(); }

private:
    LibraryLock m_lock;
    DWORD m_attributes = INVALID_FILE_ATTRIBUTES;
    std::string m_bytes;
};

// A path in the ANSI code page, as the module hands paths to the book matrix.
std::string AnsiPath(const std::wstring& path);
// Deletes every file of the library folder named "<id>.*" for each id (covers of earlier runs).
void RemoveCovers(const std::vector<int>& ids);

} // namespace shelftest

// The library folder (%APPDATA%\KelvoDesktop\Folian) that every test process of the prefix shares,
// the lock for tests that need an exact folder state, and small file helpers.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <string>
#include <vector>

namespace shelftest {

// A file's bytes ("" when missing); writing replaces the file.
std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool IsFolder(const std::wstring& path);
std::wstring TempPath(const std::wstring& name); // %TEMP%\name
// What FindFirstFileW and FindNextFileW list for pattern, in their order, without "." and "..".
std::vector<WIN32_FIND_DATAW> FindFiles(const std::wstring& pattern);
void RemoveFolderTree(const std::wstring& folder);

// A folder of this process under %TEMP% (prefix plus process id), removed with its contents on
// destruction.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix);
    ~TempFolder() { RemoveFolderTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }
    // Full path of name inside the folder, its folders created. A name ending in "\" is a folder.
    std::wstring File(const std::wstring& name) const;
    // Writes bytes to name and returns its full path.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const;

private:
    const std::wstring m_path;
};

class LibraryFolder {
public:
    static std::wstring Path();
    static std::wstring FilePath(const std::wstring& name) { return Path() + L"\\" + name; }
    // Creates the folder and its parents (WriteFile too); true when it exists afterwards.
    static bool Ensure();
    static bool WriteFile(const std::wstring& name, const std::string& bytes) {
        return Ensure() && WriteBytes(FilePath(name), bytes);
    }
    static std::string ReadFile(const std::wstring& name) { return ReadBytes(FilePath(name)); }
    static bool RemoveFile(const std::wstring& name); // true when the file is gone afterwards
    // A value of Folian.ini ("" when missing).
    static std::wstring ReadIni(const wchar_t* section, const wchar_t* key);
    static std::wstring ReadShowMode() { return ReadIni(L"Folian", L"ShowMode"); }
};

// The named mutex "Local\kelvo_test_library", held from construction (bounded wait) to destruction.
class LibraryLock {
public:
    explicit LibraryLock(DWORD timeoutMs = 30000);
    ~LibraryLock();
    bool Held() const { return m_held; }

private:
    vexil::ScopedHandle m_mutex;
    bool m_held = false;
};

// Holds the library lock and puts Folian.ini back as it was (bytes and attributes, or its absence)
// when destroyed, which must be after the module was unloaded: unloading saves the display mode.
class ShowModeFileGuard : public LibraryLock {
public:
    ShowModeFileGuard();
    ~ShowModeFileGuard();

private:
    DWORD m_attributes = INVALID_FILE_ATTRIBUTES;
    std::string m_bytes;
};

// Moves the user's application-data folder (both registry values that name it) to
// "<profile>\AppData\Roaming", a fresh folder, for modules loaded afterwards; holds the library lock
// and puts the values back (and removes the profile folder) when destroyed. The values as they were
// are kept in the registry meanwhile, so that a test process that died with the folder moved is
// mended by the next one (RestoreMovedAppData).
class MovedAppData : public LibraryLock {
public:
    explicit MovedAppData(const std::wstring& profile);
    ~MovedAppData();
    bool Moved() const { return m_moved; }
    const std::wstring& Path() const { return m_appData; }

private:
    std::wstring m_profile;
    std::wstring m_appData;
    bool m_moved = false;
};
// Puts back an application-data folder a dead test process left moved; the library lock must be held.
void RestoreMovedAppData();

// A path in the ANSI code page, as the module hands paths to the book matrix.
std::string AnsiPath(const std::wstring& path);
// Deletes every "<id>.*" of the library folder for each id (covers of earlier runs).
void RemoveCovers(const std::vector<int>& ids);

} // namespace shelftest

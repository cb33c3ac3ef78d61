// The library folder and the cover files. The window thread.
#include "bookrackwindowimpl.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <uiassist/diag.h>
#include <uiassist/textconv.h>

#include <cstdio>

#include "coverindex.h"
#include "shelflibrary.h"

namespace {

// The application-data folder, asked for once: the call costs more than a cross-thread message, and
// the folder does not move while the process runs. Not kept when the system has no answer. Asked
// on the window thread only, never while the module unloads.
SRWLOCK g_appDataLock = SRWLOCK_INIT;
wchar_t g_appData[MAX_PATH] = {};

std::wstring AppDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    AcquireSRWLockExclusive(&g_appDataLock);
    if (g_appData[0] == L'\0' && FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, g_appData)))
        g_appData[0] = L'\0';
    lstrcpynW(folder, g_appData, MAX_PATH);
    ReleaseSRWLockExclusive(&g_appDataLock);
    return folder;
}

bool IsFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// An extension taken from a web address must stay a file name inside the library folder. It is the
// text after the address's last dot, so it holds no dot: a separator or a drive is all it could add.
bool IsSafeExtension(const std::wstring& extension) {
    return extension.find_first_of(L"\\/:") == std::wstring::npos;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The matrix takes narrow paths: a cover whose path has no exact narrow form, long or short, is not
// handed on (it would name another file), and the book keeps its title tile.
void HandCover(ICtrlBookMatrix& matrix, int id, const std::wstring& path) {
    std::string narrow;
    if (vexil::NarrowPath(path, narrow)) {
        matrix.SetBookImage(id, narrow.c_str());
        return;
    }
    char why[128];
    snprintf(why, sizeof(why), "book %d: its cover path has no exact form in code page %u, long or short", id,
             GetACP());
    VEXIL_NOTE_FAILURE(why);
}

} // namespace

namespace bookrack {

std::wstring LibraryFolderPath() {
    // Empty without an application-data folder: the folder would otherwise land at the root of the
    // current drive.
    const std::wstring appData = AppDataFolder();
    if (appData.empty())
        return {};
    const std::wstring folder = appData + L"\\" + kLibrarySubfolder;
    wchar_t path[MAX_PATH] = {};
    if (folder.size() >= MAX_PATH || !PathAppendW(path, folder.c_str()))
        return {};
    return path;
}

} // namespace bookrack

bool CBookrackWindowImpl::GetLibraryFolder(std::wstring& path) {
    path.clear();
    std::wstring folder = bookrack::LibraryFolderPath();
    if (folder.empty()) {
        VEXIL_NOTE_FAILURE("no library folder: the application-data folder is unknown or the library "
                           "folder's path does not fit MAX_PATH; covers are neither found nor fetched");
        return false;
    }
    // A file standing where the folder should be is not a library folder; CreateFolderTree then
    // fails on it as well.
    if (IsFolder(folder.c_str())) {
        path = std::move(folder);
        return true;
    }
    if (!CreateFolderTree(folder.c_str())) {
        VEXIL_NOTE_FAILURE("no library folder: it cannot be created (a file in its place, or no "
                           "access); covers are neither found nor fetched");
        return false;
    }
    path = std::move(folder);
    return true;
}

bool CBookrackWindowImpl::CreateFolderTree(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0' || lstrlenW(path) >= MAX_PATH)
        return false;
    if (PathIsRootW(path) || PathIsDirectoryW(path))
        return true;

    wchar_t parent[MAX_PATH] = {};
    lstrcpynW(parent, path, MAX_PATH);
    // A relative path runs out of parents without reaching a root: stop there instead of recursing
    // on the same text.
    if (PathAppendW(parent, L"..") && parent[0] != L'\0' && lstrcmpiW(parent, path) != 0 &&
        !PathIsDirectoryW(parent))
        CreateFolderTree(parent);
    return CreateDirectoryW(path, nullptr) != FALSE;
}

void CBookrackWindowImpl::LocateCover(int id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (matrix == nullptr)
        return;

    // The loader names the cover its index of the folder holds for the book; a file that vanished
    // since is not handed over, and the book is looked for again.
    std::wstring image;
    if (m_loader && m_loader->cover.Take(id, image) && IsFile(image)) {
        HandCover(*matrix, id, image);
        return;
    }
    const std::wstring folder = bookrack::LibraryFolderPath();
    const std::wstring name = bookrack::FindCoverFile(folder, id);
    if (!name.empty()) {
        HandCover(*matrix, id, folder + L"\\" + name);
        return;
    }
    RequestCoverFromHost(id);
}

LRESULT CBookrackWindowImpl::SetCoverFromIconUrl(int id) {
    VEXIL_ASSERT_WINDOW_THREAD();
    IShelfHost* host = m_pHost.load();
    if (host == nullptr)
        return 0;
    IShelfItem* item = host->GetItem(id);
    if (item == nullptr)
        return 0;
    const wchar_t* iconUrl = item->GetIconUrl();
    const std::wstring url = iconUrl != nullptr ? iconUrl : L"";

    std::wstring folder;
    if (!GetLibraryFolder(folder))
        return 0;

    const size_t point = url.rfind(L'.');
    const std::wstring extension = point == std::wstring::npos ? url : url.substr(point + 1);
    if (!IsSafeExtension(extension))
        return 0;
    const std::wstring image = folder + L"\\" + std::to_wstring(id) + L"." + extension;
    if (image.size() >= MAX_PATH)
        return 0;

    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
        HandCover(*matrix, id, image);
    return 0;
}

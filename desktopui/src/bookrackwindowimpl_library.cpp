// The library folder and the cover files.
#include "bookrackwindowimpl.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <uiassist/textconv.h>

#include "shelflibrary.h"

namespace {

// The library folder's path, formed but not checked on disk. Empty when the application-data folder
// is unknown (the folder would otherwise land at the root of the current drive) or when the path
// does not fit in MAX_PATH.
std::wstring LibraryFolderPath() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)) || appData[0] == L'\0')
        return {};
    const std::wstring folder = std::wstring(appData) + L"\\" + bookrack::kLibrarySubfolder;
    wchar_t path[MAX_PATH] = {};
    if (folder.size() >= MAX_PATH || !PathAppendW(path, folder.c_str()))
        return {};
    return path;
}

bool IsFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A cover file of the book: "<id>." followed by an extension. The search pattern "<id>.*" also
// matches through 8.3 short names, so the long name is checked again here.
bool IsCoverOf(const WIN32_FIND_DATAW& found, const std::wstring& prefix) {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const std::wstring name = found.cFileName;
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

// An extension taken from a web address must stay a file name inside the library folder.
bool IsSafeExtension(const std::wstring& extension) {
    return extension.find_first_of(L"\\/:") == std::wstring::npos &&
           extension.find(L"..") == std::wstring::npos;
}

} // namespace

bool CBookrackWindowImpl::GetLibraryFolder(std::wstring& path) {
    path.clear();
    std::wstring folder = LibraryFolderPath();
    if (folder.empty())
        return false;
    // A file standing where the folder should be is not a library folder; CreateFolderTree then
    // fails on it as well.
    if (PathFileExistsW(folder.c_str()) && IsFolder(folder.c_str())) {
        path = std::move(folder);
        return true;
    }
    if (!CreateFolderTree(folder.c_str()))
        return false;
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
    ICtrlBookMatrix* matrix = m_pBookMatrix.load();
    if (matrix == nullptr)
        return;
    const bookrack::LoaderRequestScope answeringLoader;

    const std::wstring folder = LibraryFolderPath();
    const std::wstring prefix = std::to_wstring(id) + L".";
    if (!folder.empty()) {
        const std::wstring pattern = folder + L"\\" + prefix + L"*";
        WIN32_FIND_DATAW found = {};
        vexil::ScopedFind search(pattern.size() < MAX_PATH ? FindFirstFileW(pattern.c_str(), &found)
                                                           : INVALID_HANDLE_VALUE);
        if (search.valid()) {
            do {
                if (!IsCoverOf(found, prefix))
                    continue;
                const std::wstring image = folder + L"\\" + found.cFileName;
                if (image.size() >= MAX_PATH)
                    continue;
                matrix->SetBookImage(id, vexil::WideToAnsi(image).c_str());
                return;
            } while (FindNextFileW(search.get(), &found));
        }
    }
    RequestCoverFromHost(id);
}

LRESULT CBookrackWindowImpl::SetCoverFromIconUrl(int id) {
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
        matrix->SetBookImage(id, vexil::WideToAnsi(image).c_str());
    return 0;
}

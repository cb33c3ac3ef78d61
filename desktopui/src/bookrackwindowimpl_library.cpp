// The library folder and the cover files.
#include "bookrackwindowimpl.h"

// Placeholders until the library work lands.
bool CBookrackWindowImpl::GetLibraryFolder(std::wstring& path) {
    path.clear();
    return false;
}
bool CBookrackWindowImpl::CreateFolderTree(const wchar_t*) { return false; }
void CBookrackWindowImpl::LocateCover(int) {}
LRESULT CBookrackWindowImpl::SetCoverFromIconUrl(int) { return 0; }

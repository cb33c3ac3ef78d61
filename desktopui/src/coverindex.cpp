// The books' cover files in the library folder: found one at a time or from one listing. Any thread:
// each caller works on an index of its own.
#include "coverindex.h"

#include <climits>

#include <uiassist/scopedhandle.h>

namespace bookrack {
namespace {

bool IsCoverFile(const WIN32_FIND_DATAW& found, const std::wstring& folder) {
    // A cover's full path must fit the buffers the shelf hands paths in.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           folder.size() + 1 + wcslen(found.cFileName) < MAX_PATH;
}

} // namespace

int CoverFileId(const wchar_t* name) {
    if (name == nullptr || name[0] < L'1' || name[0] > L'9')
        return 0;
    long long id = 0;
    const wchar_t* c = name;
    for (; *c >= L'0' && *c <= L'9'; ++c) {
        id = id * 10 + (*c - L'0');
        if (id > INT_MAX)
            return 0;
    }
    if (c[0] != L'.' || c[1] == L'\0')
        return 0;
    return static_cast<int>(id);
}

std::wstring FindCoverFile(const std::wstring& folder, int id) {
    if (folder.empty() || id <= 0)
        return {};
    const std::wstring pattern = folder + L"\\" + std::to_wstring(id) + L".*";
    if (pattern.size() >= MAX_PATH)
        return {};
    WIN32_FIND_DATAW found = {};
    vexil::ScopedFind search(FindFirstFileW(pattern.c_str(), &found));
    if (!search.valid())
        return {};
    do {
        // The wildcard also matches through 8.3 short names: the long name decides.
        if (CoverFileId(found.cFileName) == id && IsCoverFile(found, folder))
            return found.cFileName;
    } while (FindNextFileW(search.get(), &found));
    return {};
}

CoverIndex CoverIndex::Build(const std::wstring& folder, const std::function<bool()>& stopped) {
    CoverIndex index;
    index.m_folder = folder;
    if (folder.empty() || folder.size() + 2 >= MAX_PATH)
        return index;
    WIN32_FIND_DATAW found = {};
    vexil::ScopedFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search.valid())
        return index;
    do {
        const int id = CoverFileId(found.cFileName);
        // The first cover of a book in enumeration order wins, as with a search for that book alone.
        if (id > 0 && IsCoverFile(found, folder))
            index.m_names.emplace(id, found.cFileName);
        // A large folder takes long to read: a stop must not wait for the rest of it.
        if (stopped && stopped())
            break;
    } while (FindNextFileW(search.get(), &found));
    return index;
}

const std::wstring* CoverIndex::Find(int id) const {
    const auto entry = m_names.find(id);
    return entry != m_names.end() ? &entry->second : nullptr;
}

} // namespace bookrack

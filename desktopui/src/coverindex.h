// The books' cover files in the library folder ("<id>.<extension>"): found one book at a time, or for
// a whole load from one enumeration of the folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>

namespace bookrack {

// The book whose cover a file of the library folder is: "<id>." followed by a non-empty extension,
// with the id written as the shelf writes it (decimal, no sign, no leading zero) and above 0.
// 0 for any other name.
int CoverFileId(const wchar_t* name);

// The name of the book's first cover file in the folder's enumeration order, by a search for
// "<id>.*" (whose cost grows with the folder); empty when there is none. Folders named like a cover
// and names whose full path would not fit in MAX_PATH are passed over.
std::wstring FindCoverFile(const std::wstring& folder, int id);

// The cover files of a folder as one enumeration found them: for each book, the name FindCoverFile
// would have given at that moment.
class CoverIndex {
public:
    // Enumerates folder once; a missing or unreadable folder gives an empty index. stopped, when
    // given, is asked between two entries: once it answers true the scan ends with what it found.
    static CoverIndex Build(const std::wstring& folder, const std::function<bool()>& stopped = nullptr);

    // The book's cover file name, or null when the folder held none of it.
    const std::wstring* Find(int id) const;
    // The full path of a name the index holds.
    std::wstring PathOf(const std::wstring& name) const { return m_folder + L"\\" + name; }
    size_t Size() const { return m_names.size(); }

private:
    std::wstring m_folder;
    std::unordered_map<int, std::wstring> m_names;
};

} // namespace bookrack

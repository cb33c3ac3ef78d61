// Names of the library folder and its files, and the book records the shelf builds from the host's
// items: shared by the library, books, loader and account code of the bookshelf window.
#pragma once

#include <bookrack/shelfhost.h>
#include <vexil/bookrecords.h>

#include <mutex>
#include <string>

namespace bookrack {

// The library folder, below the user's roaming application-data folder. It holds the cover files
// ("<id>.<extension>") and the display-mode file.
constexpr wchar_t kLibrarySubfolder[] = L"KelvoDesktop\\Folian";
// The display-mode file in the library folder: one section, one key.
constexpr wchar_t kShowModeFile[] = L"Folian.ini";
constexpr wchar_t kShowModeSection[] = L"Folian";
constexpr wchar_t kShowModeKey[] = L"ShowMode";
// The most books one load takes from the item store; a larger count is treated as an id list that
// cannot be allocated.
constexpr unsigned kMaxShelfBooks = 1000000;
// An account whose display name holds this text is shown by its account name instead.
constexpr char kGeneratedNameMark[] = "KelvoU";

// The library folder's path, formed but not checked on disk. Empty when the application-data folder
// is unknown or the path does not fit in MAX_PATH.
std::wstring LibraryFolderPath();

// The cover file a loader found in its index of the library folder for the book it is asking about,
// offered to the window thread for the duration of that one request. The request carries only the
// book id, so the offer names the id it is for (a host asking for that book's cover meanwhile gets
// the same file, as a search would give it).
class LoaderCoverOffer {
public:
    // Loader thread: before and after its request for the book.
    void Offer(int id, std::wstring path);
    void Withdraw();
    // Window thread: the path offered for the book; false when none is.
    bool Take(int id, std::wstring& path);

private:
    std::mutex m_lock;
    int m_id = 0; // 0: nothing offered
    std::wstring m_path;
};

// Marks the window thread as answering a loader's cover request, for the scope's lifetime. A loader
// that is stopped from inside that answer (a host that signs in or closes the shelf from
// RequestCover) is waiting for the answer itself, so stopping it releases it first.
class LoaderRequestScope {
public:
    LoaderRequestScope();
    ~LoaderRequestScope();
    LoaderRequestScope(const LoaderRequestScope&) = delete;
    LoaderRequestScope& operator=(const LoaderRequestScope&) = delete;
    // True on a thread inside such a scope.
    static bool Active();
};

// The record of a book as it is first shelved: the item's texts (read in the order the host expects:
// A, id, B, C), bValid set, bReady false.
BOOK_INFO MakeBookInfo(IShelfItem& item);
// The item's own ready flag: the first byte of its install record, false when it has no answer.
bool ReadReadyFlag(IShelfItem& item);

} // namespace bookrack

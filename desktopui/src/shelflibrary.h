// Names of the library folder and its files, and the book records the shelf builds from the host's
// items: shared by the library, books, loader and account code of the bookshelf window.
#pragma once

#include <bookrack/shelfhost.h>
#include <vexil/bookrecords.h>

#include <uiassist/scopedhandle.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

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

// One run of the shelf loader: everything its thread works on, so that it never reads the window's
// members. The window thread makes it, starts, stops and joins its thread, and takes the cover it
// offers; the loader thread reads the ids, makes the offers and watches the stop flag. Each holds a
// reference, so a loader that is stopped and left to end on its own still has its object.
struct ShelfLoader {
    ShelfLoader(HWND window, std::vector<int> ids) : window(window), ids(std::move(ids)) {}

    const HWND window;          // asked for each cover with WM_BOOKRACK_LOAD_ITEM
    const std::vector<int> ids; // the books of the load, in load order
    LoaderCoverOffer cover;     // the loader offers, the window thread takes
    std::atomic<LONG> stop{0};  // set by the window thread; the loader reads it between two steps
    vexil::ScopedHandle thread; // window thread only
};

// The record of a book as it is first shelved: the item's texts (read in the order the host expects:
// A, id, B, C), bValid set, bReady false.
BOOK_INFO MakeBookInfo(IShelfItem& item);
// The item's own ready flag: the first byte of its install record, false when it has no answer.
bool ReadReadyFlag(IShelfItem& item);

} // namespace bookrack

// The demo's sample library: a catalogue of public-domain books, three sample accounts with their
// own shelves, and the item store (IShelfHost) that hands the bookshelf its items.
#pragma once

#include <bookrack/shelfhost.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace shelfdemo {

struct SampleBook {
    int id;
    const wchar_t* title;
    const wchar_t* author;
    const wchar_t* year; // shown as the book's third text
};

// Every book the demo knows, in catalogue order (ids are unique and above 0).
const std::vector<SampleBook>& Catalogue();
// The catalogue entry of an id, or null.
const SampleBook* FindBook(int id);
// "pride-and-prejudice": lower-case ASCII letters and digits, words joined by '-'.
std::wstring SlugOf(const std::wstring& title);

struct SampleAccount {
    int shelfKey; // the key handed to SetHost; selects the account's shelf in the store
    const char* accountId;
    const char* accountKey;
    const char* accountInfo;  // the display name handed to Login
    const wchar_t* shownName; // what the shelf shows for it, for the log
};

// The three sample accounts. Their display names show the shelf's naming rule: "KelvoU<digits>"
// names the account by its id (the part before '@'), any other name is shown as it is.
const std::vector<SampleAccount>& Accounts();
// The shelf key while nobody is signed in: it holds no books, so a sign-out empties the shelf.
constexpr int kSignedOutShelfKey = 0;

class SampleItem : public IShelfItem {
public:
    explicit SampleItem(const SampleBook& book);
    int GetId() override;
    const wchar_t* GetTextA() override;
    const wchar_t* GetTextB() override;
    const wchar_t* GetIconUrl() override;
    const wchar_t* GetTextC() override;
    int QueryFlag(void* buffer, int bufferSize, int reserved) override;

    virtual ~SampleItem() = default;

private:
    const SampleBook& m_book;
    std::wstring m_iconUrl;
};

// The item store. Called by the bookshelf on its window thread and by the demo's own threads, so
// every shelf is kept under one lock; the items themselves never change and live as long as the
// store, so a pointer handed out stays valid whatever happens to the shelves meanwhile.
class SampleStore : public IShelfHost {
public:
    SampleStore();
    virtual ~SampleStore() = default;

    IShelfItem* GetItem(int id) override;
    unsigned GetItemCount(int shelfKey, int reserved) override;
    void GetItemIds(int shelfKey, int* ids, unsigned count, int reserved) override;

    // The shelf of the signed-in account, which DeleteBook and the control window act on.
    void SetActiveKey(int shelfKey);
    int ActiveKey();
    std::vector<int> Ids(int shelfKey);
    // Appends the id to the shelf; false when it is there already or not in the catalogue.
    bool Add(int shelfKey, int id);
    // False when the shelf does not hold the id.
    bool Remove(int shelfKey, int id);
    // The first catalogue book that the shelf does not hold, or 0.
    int NextMissing(int shelfKey);

private:
    std::mutex m_lock;
    std::map<int, std::vector<int>> m_shelves;
    std::map<int, SampleItem> m_items;
    int m_activeKey = kSignedOutShelfKey;
};

} // namespace shelfdemo

#include "samplelibrary.h"

#include <algorithm>

namespace shelfdemo {

namespace {

// Ids start well away from 1 so that the demo's covers are easy to tell apart from other files in
// the library folder.
const std::vector<SampleBook> kCatalogue = {
    {2001, L"Pride and Prejudice", L"Jane Austen", L"1813"},
    {2002, L"Moby-Dick", L"Herman Melville", L"1851"},
    {2003, L"Jane Eyre", L"Charlotte Bront\u00eb", L"1847"},
    {2004, L"Frankenstein", L"Mary Shelley", L"1818"},
    {2005, L"Great Expectations", L"Charles Dickens", L"1861"},
    {2006, L"Dracula", L"Bram Stoker", L"1897"},
    {2007, L"The Adventures of Sherlock Holmes", L"Arthur Conan Doyle", L"1892"},
    {2008, L"Alice's Adventures in Wonderland", L"Lewis Carroll", L"1865"},
    {2009, L"The Picture of Dorian Gray", L"Oscar Wilde", L"1890"},
    {2010, L"Middlemarch", L"George Eliot", L"1871"},
    {2011, L"Little Women", L"Louisa May Alcott", L"1868"},
    {2012, L"Treasure Island", L"Robert Louis Stevenson", L"1883"},
    {2013, L"The Time Machine", L"H. G. Wells", L"1895"},
    {2014, L"Wuthering Heights", L"Emily Bront\u00eb", L"1847"},
    {2015, L"The Count of Monte Cristo", L"Alexandre Dumas", L"1844"},
    {2016, L"Les Mis\u00e9rables", L"Victor Hugo", L"1862"},
    {2017, L"War and Peace", L"Leo Tolstoy", L"1869"},
    {2018, L"Crime and Punishment", L"Fyodor Dostoevsky", L"1866"},
    {2019, L"Anna Karenina", L"Leo Tolstoy", L"1878"},
    {2020, L"Madame Bovary", L"Gustave Flaubert", L"1857"},
    {2021, L"The Adventures of Tom Sawyer", L"Mark Twain", L"1876"},
    {2022, L"Adventures of Huckleberry Finn", L"Mark Twain", L"1884"},
    {2023, L"The War of the Worlds", L"H. G. Wells", L"1898"},
    {2024, L"Twenty Thousand Leagues Under the Seas", L"Jules Verne", L"1870"},
    {2025, L"Around the World in Eighty Days", L"Jules Verne", L"1872"},
    {2026, L"Heart of Darkness", L"Joseph Conrad", L"1899"},
    {2027, L"The Scarlet Letter", L"Nathaniel Hawthorne", L"1850"},
    {2028, L"Sense and Sensibility", L"Jane Austen", L"1811"},
    {2029, L"Emma", L"Jane Austen", L"1815"},
    {2030, L"A Tale of Two Cities", L"Charles Dickens", L"1859"},
    {2031, L"Oliver Twist", L"Charles Dickens", L"1838"},
    {2032, L"Don Quixote", L"Miguel de Cervantes", L"1605"},
    {2033, L"Gulliver's Travels", L"Jonathan Swift", L"1726"},
    {2034, L"Robinson Crusoe", L"Daniel Defoe", L"1719"},
    {2035, L"The Three Musketeers", L"Alexandre Dumas", L"1844"},
    {2036, L"Persuasion", L"Jane Austen", L"1817"},
    {2037, L"The Jungle Book", L"Rudyard Kipling", L"1894"},
    {2038, L"Kidnapped", L"Robert Louis Stevenson", L"1886"},
    {2039, L"The Call of the Wild", L"Jack London", L"1903"},
    {2040, L"The Odyssey", L"Homer", L"c. 700 BC"},
};

const std::vector<SampleAccount> kAccounts = {
    {1, "reader@example.com", "demo-key-reader", "KelvoU1002", L"reader"},
    {2, "mshelley", "demo-key-mshelley", "Mary Godwin", L"Mary Godwin"},
    {3, "bookworm", "demo-key-bookworm", "KelvoU2040", L"bookworm"},
};

// What each account owns at start: different books, and some left over for "Add a book".
const std::map<int, std::vector<int>> kInitialShelves = {
    {1, {2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010, 2011, 2012, 2013, 2014}},
    {2, {2015, 2016, 2017, 2018, 2019, 2020, 2021, 2022, 2023, 2024, 2025}},
    {3, {2026, 2027, 2028, 2029, 2030, 2031, 2032, 2033}},
};

wchar_t AsciiFold(wchar_t c) {
    switch (c) {
    case L'\u00e0':
    case L'\u00e1':
    case L'\u00e2':
    case L'\u00e4':
        return L'a';
    case L'\u00e8':
    case L'\u00e9':
    case L'\u00ea':
    case L'\u00eb':
        return L'e';
    case L'\u00ec':
    case L'\u00ed':
    case L'\u00ee':
    case L'\u00ef':
        return L'i';
    case L'\u00f2':
    case L'\u00f3':
    case L'\u00f4':
    case L'\u00f6':
        return L'o';
    case L'\u00f9':
    case L'\u00fa':
    case L'\u00fb':
    case L'\u00fc':
        return L'u';
    default:
        return c;
    }
}

} // namespace

const std::vector<SampleBook>& Catalogue() { return kCatalogue; }

const SampleBook* FindBook(int id) {
    for (const SampleBook& book : kCatalogue)
        if (book.id == id)
            return &book;
    return nullptr;
}

std::wstring SlugOf(const std::wstring& title) {
    std::wstring slug;
    bool pendingDash = false;
    for (wchar_t c : title) {
        c = AsciiFold(c);
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c == L'\'')
            continue; // "alice's" rather than "alice-s"
        if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9')) {
            if (pendingDash && !slug.empty())
                slug += L'-';
            pendingDash = false;
            slug += c;
        } else {
            pendingDash = true;
        }
    }
    return slug;
}

const std::vector<SampleAccount>& Accounts() { return kAccounts; }

SampleItem::SampleItem(const SampleBook& book)
    : m_book(book), m_iconUrl(L"https://covers.example/" + SlugOf(book.title) + L".png") {}

int SampleItem::GetId() { return m_book.id; }
const wchar_t* SampleItem::GetTextA() { return m_book.title; }
const wchar_t* SampleItem::GetTextB() { return m_book.author; }
const wchar_t* SampleItem::GetIconUrl() { return m_iconUrl.c_str(); }
const wchar_t* SampleItem::GetTextC() { return m_book.year; }

int SampleItem::QueryFlag(void* buffer, int bufferSize, int) {
    if (!buffer || bufferSize < 1)
        return 0;
    // Every sample book is installed, hence ready.
    *static_cast<unsigned char*>(buffer) = 1;
    return 1;
}

SampleStore::SampleStore() : m_shelves(kInitialShelves) {
    for (const SampleBook& book : kCatalogue)
        m_items.emplace(book.id, SampleItem(book));
}

IShelfItem* SampleStore::GetItem(int id) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& shelf : m_shelves) {
        if (std::find(shelf.second.begin(), shelf.second.end(), id) != shelf.second.end()) {
            auto item = m_items.find(id);
            return item == m_items.end() ? nullptr : &item->second;
        }
    }
    return nullptr;
}

unsigned SampleStore::GetItemCount(int shelfKey, int) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    return shelf == m_shelves.end() ? 0 : static_cast<unsigned>(shelf->second.size());
}

void SampleStore::GetItemIds(int shelfKey, int* ids, unsigned count, int) {
    if (!ids)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    if (shelf == m_shelves.end())
        return;
    // The shelf may have shrunk since the caller asked for the count: fill what there is.
    const size_t n = std::min<size_t>(count, shelf->second.size());
    std::copy_n(shelf->second.begin(), n, ids);
}

void SampleStore::SetActiveKey(int shelfKey) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_activeKey = shelfKey;
}

int SampleStore::ActiveKey() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_activeKey;
}

std::vector<int> SampleStore::Ids(int shelfKey) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    return shelf == m_shelves.end() ? std::vector<int>() : shelf->second;
}

bool SampleStore::Add(int shelfKey, int id) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (shelfKey == kSignedOutShelfKey || m_items.find(id) == m_items.end())
        return false;
    std::vector<int>& shelf = m_shelves[shelfKey];
    if (std::find(shelf.begin(), shelf.end(), id) != shelf.end())
        return false;
    shelf.push_back(id);
    return true;
}

bool SampleStore::Remove(int shelfKey, int id) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    if (shelf == m_shelves.end())
        return false;
    auto found = std::find(shelf->second.begin(), shelf->second.end(), id);
    if (found == shelf->second.end())
        return false;
    shelf->second.erase(found);
    return true;
}

int SampleStore::NextMissing(int shelfKey) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    for (const SampleBook& book : kCatalogue) {
        if (shelf == m_shelves.end() ||
            std::find(shelf->second.begin(), shelf->second.end(), book.id) == shelf->second.end())
            return book.id;
    }
    return 0;
}

} // namespace shelfdemo

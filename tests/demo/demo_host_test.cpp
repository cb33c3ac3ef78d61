// The demo host's own parts that the scripted session and its picture checks rely on: the covers it
// writes, the colours that tell the books apart on screen, and the item store the shelf reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "coverart.h"
#include "gdiplustest.h"
#include "samplelibrary.h"
#include "screenshot.h"

namespace {

using namespace shelfdemo;

int ChannelDistance(Rgb a, Rgb b) { return std::max({abs(a.r - b.r), abs(a.g - b.g), abs(a.b - b.b)}); }

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

class DemoHost : public GdiplusTest {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"shelfdemo_test_" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::wstring& name : FilesIn(m_folder))
            DeleteFileW((m_folder + L"\\" + name).c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    std::wstring m_folder;
};

TEST_F(DemoHost, ACoverIsAPngOfTheBooksColourUnderItsIdAndNothingElse) {
    const SampleBook* book = FindBook(2003);
    ASSERT_NE(book, nullptr);
    const std::wstring path = m_folder + L"\\2003.png";
    ASSERT_TRUE(WriteCoverPng(book->id, book->title, book->author, path));
    // Written under a temporary name and renamed: only the cover is left.
    EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"2003.png"});

    Image cover;
    ASSERT_TRUE(LoadImageFile(path, &cover));
    EXPECT_EQ(cover.width, kCoverWidth);
    EXPECT_EQ(cover.height, kCoverHeight);
    // The book's colour fills most of the board; another book's colour is nowhere.
    EXPECT_GT(FindColour(cover, CoverColour(2003), 0).pixels, kCoverWidth * kCoverHeight / 3);
    EXPECT_EQ(FindColour(cover, CoverColour(2004), kColourTolerance).pixels, 0);

    // A second fetch of the same cover replaces it.
    ASSERT_TRUE(WriteCoverPng(book->id, L"Another title", book->author, path));
    EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"2003.png"});
}

TEST_F(DemoHost, ACoverThatCannotBeWrittenLeavesNoFile) {
    const std::wstring missing = m_folder + L"\\no such folder\\7.png";
    EXPECT_FALSE(WriteCoverPng(7, L"Title", L"Author", missing));
    EXPECT_TRUE(FilesIn(m_folder).empty());
}

TEST_F(DemoHost, EveryCatalogueBookHasAColourNoOtherBookIsTakenFor) {
    const std::vector<SampleBook>& books = Catalogue();
    ASSERT_GE(books.size(), 30u);
    for (size_t i = 0; i < books.size(); ++i)
        for (size_t j = i + 1; j < books.size(); ++j)
            EXPECT_GT(ChannelDistance(CoverColour(books[i].id), CoverColour(books[j].id)),
                      2 * kColourTolerance)
                << books[i].id << " and " << books[j].id;
}

TEST_F(DemoHost, TheStoreHandsOutOnlyWhatAShelfHolds) {
    SampleStore store;
    const SampleAccount& reader = Accounts().at(0);
    const std::vector<int> ids = store.Ids(reader.shelfKey);
    ASSERT_GE(ids.size(), 6u);
    EXPECT_EQ(store.GetItemCount(reader.shelfKey, 1), ids.size());
    EXPECT_EQ(store.GetItemCount(kSignedOutShelfKey, 1), 0u);

    // Never past the count the caller gives; slots it gets nothing for keep their value.
    std::vector<int> buffer(ids.size() + 2, -7);
    store.GetItemIds(reader.shelfKey, buffer.data(), 3, 1);
    EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + 3),
              std::vector<int>(ids.begin(), ids.begin() + 3));
    EXPECT_EQ(buffer[3], -7);
    store.GetItemIds(reader.shelfKey, buffer.data(), static_cast<unsigned>(buffer.size()), 1);
    EXPECT_EQ(buffer[ids.size()], -7);

    IShelfItem* item = store.GetItem(ids[0]);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetId(), ids[0]);
    EXPECT_EQ(std::wstring(item->GetIconUrl()),
              L"https://covers.example/" + SlugOf(FindBook(ids[0])->title) + L".png");
    unsigned char ready = 0;
    EXPECT_EQ(item->QueryFlag(&ready, 1, 1), 1);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(item->QueryFlag(&ready, 0, 1), 0);

    // A removed book is no longer handed out, and is the next one to add again.
    ASSERT_TRUE(store.Remove(reader.shelfKey, ids[0]));
    EXPECT_EQ(store.GetItem(ids[0]), nullptr);
    EXPECT_FALSE(store.Remove(reader.shelfKey, ids[0]));
    EXPECT_EQ(store.NextMissing(reader.shelfKey), ids[0]);
    EXPECT_TRUE(store.Add(reader.shelfKey, ids[0]));
    EXPECT_FALSE(store.Add(reader.shelfKey, ids[0]));
    EXPECT_FALSE(store.Add(kSignedOutShelfKey, ids[1]));
    EXPECT_EQ(store.GetItem(999999), nullptr);
}

TEST_F(DemoHost, TheSlugOfATitleIsPlainAscii) {
    EXPECT_EQ(SlugOf(L"Pride and Prejudice"), L"pride-and-prejudice");
    EXPECT_EQ(SlugOf(L"Alice's Adventures in Wonderland"), L"alices-adventures-in-wonderland");
    EXPECT_EQ(SlugOf(L"Les Mis\u00e9rables"), L"les-miserables");
    EXPECT_EQ(SlugOf(L"  H. G. Wells -- 1895 "), L"h-g-wells-1895");
}

} // namespace

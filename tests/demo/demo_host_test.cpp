// The demo host's own parts that the scripted session and its picture checks rely on: the covers it
// writes, the colours that tell the books apart on screen, and the item store the shelf reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "coverart.h"
#include "gdiplustest.h"
#include "samplelibrary.h"
#include "screenshot.h"

namespace {

using namespace shelfdemo;
namespace fs = std::filesystem;

class DemoHost : public GdiplusTest {
protected:
    void SetUp() override { fs::create_directories(m_folder); }
    void TearDown() override { fs::remove_all(m_folder); }
    std::vector<fs::path> Files() const {
        return {fs::directory_iterator(m_folder), fs::directory_iterator()};
    }

    const fs::path m_folder =
        fs::temp_directory_path() / ("shelfdemo_test_" + std::to_string(GetCurrentProcessId()));
};

TEST_F(DemoHost, ACoverIsAPngOfTheBooksColourUnderItsIdAndNothingElse) {
    const SampleBook* book = FindBook(2003);
    ASSERT_NE(book, nullptr);
    const std::wstring path = (m_folder / L"2003.png").wstring();
    // Written twice: a second fetch replaces the cover, and the temporary file goes.
    for (const wchar_t* title : {book->title, L"Another title"}) {
        ASSERT_TRUE(WriteCoverPng(book->id, title, book->author, path));
        EXPECT_EQ(Files(), std::vector<fs::path>{path});
    }
    Image cover;
    ASSERT_TRUE(LoadImageFile(path, &cover));
    EXPECT_EQ(cover.width, kCoverWidth);
    EXPECT_EQ(cover.height, kCoverHeight);
    // The book's colour fills most of the board; another book's colour is nowhere.
    EXPECT_GT(FindColour(cover, CoverColour(2003), 0).pixels, kCoverWidth * kCoverHeight / 3);
    EXPECT_EQ(FindColour(cover, CoverColour(2004), kColourTolerance).pixels, 0);

    // One that cannot be written leaves no file.
    EXPECT_FALSE(WriteCoverPng(7, L"Title", L"Author", (m_folder / L"no such folder" / L"7.png").wstring()));
    EXPECT_EQ(Files().size(), 1u);
}

TEST_F(DemoHost, EveryCatalogueBookHasAColourNoOtherBookIsTakenFor) {
    const std::vector<SampleBook>& books = Catalogue();
    ASSERT_GE(books.size(), 30u);
    for (size_t i = 0; i < books.size(); ++i)
        for (size_t j = i + 1; j < books.size(); ++j) {
            const Rgb a = CoverColour(books[i].id), b = CoverColour(books[j].id);
            EXPECT_GT(std::max({abs(a.r - b.r), abs(a.g - b.g), abs(a.b - b.b)}), 2 * kColourTolerance)
                << books[i].id << " and " << books[j].id;
        }
}

TEST_F(DemoHost, TheStoreHandsOutOnlyWhatAShelfHolds) {
    SampleStore store;
    const int shelf = Accounts().at(0).shelfKey;
    const std::vector<int> ids = store.Ids(shelf);
    ASSERT_GE(ids.size(), 6u);
    EXPECT_EQ(store.GetItemCount(shelf, 1), ids.size());
    EXPECT_EQ(store.GetItemCount(kSignedOutShelfKey, 1), 0u);
    // Never past the count the caller gives.
    std::vector<int> buffer(ids.size() + 1, -7);
    store.GetItemIds(shelf, buffer.data(), 3, 1);
    EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + 3),
              std::vector<int>(ids.begin(), ids.begin() + 3));
    EXPECT_EQ(buffer[3], -7);

    // A removed book is no longer handed out, and is the next one to add again.
    ASSERT_NE(store.GetItem(ids[0]), nullptr);
    ASSERT_TRUE(store.Remove(shelf, ids[0]));
    EXPECT_EQ(store.GetItem(ids[0]), nullptr);
    EXPECT_EQ(store.NextMissing(shelf), ids[0]);
    EXPECT_TRUE(store.Add(shelf, ids[0]));
    EXPECT_FALSE(store.Add(shelf, ids[0]));
}

} // namespace

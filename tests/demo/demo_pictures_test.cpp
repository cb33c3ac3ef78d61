// What the demo's scripted session must show in its pictures: the generated covers on the tiles,
// the manager's text, the batch-delete window while the batch runs, and two books fewer afterwards.
// run-demo-session plays the session headless and then runs this program on its pictures folder
// (KELVO_DEMO_PICTURES).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "coverart.h"
#include "gdiplustest.h"
#include "screenshot.h"

namespace {

using shelfdemo::CoverColour;
using shelfdemo::FindColour;
using shelfdemo::Image;
using shelfdemo::kColourTolerance;

class DemoPictures : public GdiplusTest {
protected:
    // Reads the session's own account of what it did (session.txt, "key=value" lines).
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"KELVO_DEMO_PICTURES", folder, MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH)
            << "KELVO_DEMO_PICTURES names the session's pictures folder";
        m_folder = folder;
        std::ifstream notes((m_folder + L"\\session.txt").c_str());
        ASSERT_TRUE(notes.good()) << "the session wrote session.txt";
        std::string line;
        while (std::getline(notes, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                m_notes[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }

    std::vector<int> Ids(const std::string& key) {
        std::vector<int> ids;
        std::stringstream text(m_notes[key]);
        for (std::string item; std::getline(text, item, ',');)
            ids.push_back(std::stoi(item));
        return ids;
    }
    RECT Rect(const std::string& key) {
        const std::vector<int> v = Ids(key);
        return v.size() == 4 ? RECT{v[0], v[1], v[2], v[3]} : RECT{};
    }
    Image Picture(const wchar_t* name) {
        Image image;
        EXPECT_TRUE(shelfdemo::LoadImageFile(m_folder + L"\\" + name, &image)) << "cannot read the picture";
        return image;
    }

    static int CoverPixels(const Image& image, int id) {
        return FindColour(image, CoverColour(id), kColourTolerance).pixels;
    }
    // Pixels in the rectangle that differ from its most common colour in a (what is drawn on a plain
    // background: text, lines), and pixels where a and b differ.
    static std::pair<int, int> InkAndChange(const Image& a, const Image& b, const RECT& rect) {
        std::map<uint32_t, int> counts;
        int total = 0, changed = 0;
        for (int y = std::max<int>(rect.top, 0); y < std::min<int>({rect.bottom, a.height, b.height}); ++y)
            for (int x = std::max<int>(rect.left, 0); x < std::min<int>({rect.right, a.width, b.width});
                 ++x) {
                ++counts[a.At(x, y)];
                ++total;
                changed += a.At(x, y) != b.At(x, y);
            }
        int most = 0;
        for (const auto& count : counts)
            most = std::max(most, count.second);
        return {total - most, changed};
    }

    std::wstring m_folder;
    std::map<std::string, std::string> m_notes;
};

TEST_F(DemoPictures, TheTilesShowTheGeneratedCovers) {
    const Image shelf = Picture(L"shelf-before.png");
    const std::vector<int> books = Ids("books_before");
    ASSERT_GE(books.size(), 4u);
    std::vector<POINT> centres;
    for (size_t i = 0; i < 4; ++i) {
        const auto spot = FindColour(shelf, CoverColour(books[i]), kColourTolerance);
        EXPECT_GE(spot.pixels, shelfdemo::kMinCoverPixels) << "cover of book " << books[i] << " on the shelf";
        // A tile, not the background: the colour covers a small part of the window only.
        EXPECT_LT(spot.pixels, shelf.width * shelf.height / 10) << "book " << books[i];
        for (const POINT& other : centres)
            EXPECT_GT(abs(spot.centre.x - other.x) + abs(spot.centre.y - other.y), 20)
                << "book " << books[i] << " shares a place with another";
        centres.push_back(spot.centre);
    }
}

TEST_F(DemoPictures, AfterTheBatchDeleteTheShelfShowsTwoBooksFewerAndTheManagerTheNewCount) {
    const std::vector<int> before = Ids("books_before"), deleted = Ids("deleted"), after = Ids("books_after");
    ASSERT_EQ(deleted.size(), 2u);
    std::vector<int> expected;
    for (int id : before)
        if (std::find(deleted.begin(), deleted.end(), id) == deleted.end())
            expected.push_back(id);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(expected.size() + 2, before.size());
    const Image picture = Picture(L"after-delete.png");
    for (int id : deleted)
        EXPECT_LT(CoverPixels(picture, id), shelfdemo::kMinCoverPixels)
            << "deleted book " << id << " is still shown";
    for (size_t i = 0; i < 4 && i < after.size(); ++i)
        EXPECT_GE(CoverPixels(picture, after[i]), shelfdemo::kMinCoverPixels)
            << "book " << after[i] << " went missing";

    const RECT manager = Rect("manager_rect");
    ASSERT_GT(manager.right - manager.left, 0) << "the session noted where the manager is";
    const auto [ink, changed] = InkAndChange(Picture(L"shelf-before.png"), picture, manager);
    EXPECT_GT(ink, 100) << "the user name and the count are drawn";
    EXPECT_GT(changed, 0) << "the count changed from " << m_notes["count_before"] << " to "
                          << m_notes["count_after"];
}

TEST_F(DemoPictures, TheBatchWindowIsUpWhileTheBooksAreDeletedAndGoesWithinTwoSeconds) {
    const RECT batch = Rect("batch_rect");
    const int area = (batch.right - batch.left) * (batch.bottom - batch.top);
    ASSERT_GT(area, 0) << "the session noted where the batch-delete window was";
    // The window has content and stands where the shelf's own picture was.
    const auto [ink, changed] =
        InkAndChange(Picture(L"during-delete.png"), Picture(L"shelf-before.png"), batch);
    EXPECT_GT(ink, area / 20) << "the batch-delete window has content";
    EXPECT_GT(changed, area / 2);
    // Two books take a few hundred milliseconds, pictures included; 2 s or more waited for something
    // that never came, such as a window manager to withdraw the batch-delete window.
    ASSERT_TRUE(m_notes.count("batch_ms")) << "the session noted how long the batch delete took";
    EXPECT_LT(std::stoi(m_notes["batch_ms"]), 1800);
}

TEST_F(DemoPictures, TheOtherDisplayModeShowsTheBooksSmaller) {
    const Image deleted = Picture(L"after-delete.png"), switched = Picture(L"shelf-after.png");
    // The same books in both pictures: shelf covers against a compact list's small ones (either
    // way round, as the saved mode had it). Every book is on view in both.
    long long shelfMode = 0, otherMode = 0;
    for (const int id : Ids("books_after")) {
        shelfMode += CoverPixels(deleted, id);
        otherMode += CoverPixels(switched, id);
    }
    ASSERT_GT(std::min(shelfMode, otherMode), 0);
    EXPECT_GT(std::max(shelfMode, otherMode), 3 * std::min(shelfMode, otherMode));
}

TEST_F(DemoPictures, EveryPictureOfTheShelfIsPaintedWhole) {
    // Unpainted parts of a window come out black: no 8x8 block of black anywhere in a picture.
    constexpr int kBlock = 8;
    for (const wchar_t* name : {L"shelf-before.png", L"after-delete.png", L"shelf-after.png"}) {
        const Image image = Picture(name);
        int blackBlocks = 0;
        for (int top = 0; top + kBlock <= image.height; top += kBlock / 2)
            for (int left = 0; left + kBlock <= image.width; left += kBlock / 2) {
                bool black = true;
                for (int y = top; black && y < top + kBlock; ++y)
                    for (int x = left; black && x < left + kBlock; ++x)
                        black = (image.At(x, y) & 0xFFFFFF) == 0;
                blackBlocks += black;
            }
        EXPECT_EQ(blackBlocks, 0) << std::string(name, name + wcslen(name)) << " (" << image.width << "x"
                                  << image.height << ")";
    }
}

} // namespace

// What the demo's scripted session must show in its pictures: the generated covers on the tiles,
// the manager's text, the batch-delete window while the batch runs, and two books fewer afterwards.
// run-demo-session plays the session headless and then runs this program on its pictures folder
// (KELVO_DEMO_PICTURES).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
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
using shelfdemo::kMinCoverPixels;

// The session's own account of what it did (session.txt, "key=value" lines).
struct SessionNotes {
    std::map<std::string, std::string> values;

    std::vector<int> Ids(const std::string& key) const {
        std::vector<int> ids;
        auto found = values.find(key);
        if (found == values.end())
            return ids;
        std::stringstream text(found->second);
        std::string item;
        while (std::getline(text, item, ','))
            ids.push_back(std::stoi(item));
        return ids;
    }
    RECT Rect(const std::string& key) const {
        const std::vector<int> v = Ids(key);
        return v.size() == 4 ? RECT{v[0], v[1], v[2], v[3]} : RECT{};
    }
};

class DemoPictures : public GdiplusTest {
protected:
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
                m_notes.values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }

    Image Picture(const wchar_t* name) {
        Image image;
        EXPECT_TRUE(shelfdemo::LoadImageFile(m_folder + L"\\" + name, &image)) << "cannot read the picture";
        return image;
    }

    static bool Shows(const Image& image, int id) {
        return FindColour(image, CoverColour(id), kColourTolerance).pixels >= kMinCoverPixels;
    }

    // Pixels in the rectangle that differ from its most common colour: what is drawn on a plain
    // background (text, lines).
    static int InkPixels(const Image& image, const RECT& rect) {
        std::map<uint32_t, int> counts;
        for (int y = std::max<LONG>(rect.top, 0); y < std::min<LONG>(rect.bottom, image.height); ++y)
            for (int x = std::max<LONG>(rect.left, 0); x < std::min<LONG>(rect.right, image.width); ++x)
                ++counts[image.At(x, y)];
        int total = 0, most = 0;
        for (const auto& count : counts) {
            total += count.second;
            most = std::max(most, count.second);
        }
        return total - most;
    }

    static int DifferingPixels(const Image& a, const Image& b, const RECT& rect) {
        int differing = 0;
        for (int y = std::max<LONG>(rect.top, 0); y < std::min({rect.bottom, LONG(a.height), LONG(b.height)});
             ++y)
            for (int x = std::max<LONG>(rect.left, 0);
                 x < std::min({rect.right, LONG(a.width), LONG(b.width)}); ++x)
                differing += a.At(x, y) != b.At(x, y);
        return differing;
    }

    std::wstring m_folder;
    SessionNotes m_notes;
};

TEST_F(DemoPictures, TheTilesShowTheGeneratedCovers) {
    const Image shelf = Picture(L"shelf-before.png");
    const std::vector<int> books = m_notes.Ids("books_before");
    ASSERT_GE(books.size(), 4u);
    std::vector<POINT> centres;
    for (size_t i = 0; i < 4; ++i) {
        const auto spot = FindColour(shelf, CoverColour(books[i]), kColourTolerance);
        EXPECT_GE(spot.pixels, kMinCoverPixels) << "cover of book " << books[i] << " on the shelf";
        // A tile, not the background: the colour covers a small part of the window only.
        EXPECT_LT(spot.pixels, shelf.width * shelf.height / 10) << "book " << books[i];
        centres.push_back(spot.centre);
    }
    // Each cover on a tile of its own.
    for (size_t i = 0; i < centres.size(); ++i)
        for (size_t j = i + 1; j < centres.size(); ++j)
            EXPECT_GT(abs(centres[i].x - centres[j].x) + abs(centres[i].y - centres[j].y), 20)
                << "books " << books[i] << " and " << books[j] << " share a place";
}

TEST_F(DemoPictures, TheManagerShowsTextThatFollowsTheCount) {
    const Image before = Picture(L"shelf-before.png"), after = Picture(L"after-delete.png");
    const RECT manager = m_notes.Rect("manager_rect");
    ASSERT_GT(manager.right - manager.left, 0) << "the session noted where the manager is";
    EXPECT_GT(InkPixels(before, manager), 100) << "the user name and the count are drawn";
    EXPECT_GT(DifferingPixels(before, after, manager), 0)
        << "the count changed from " << m_notes.values["count_before"] << " to "
        << m_notes.values["count_after"];
}

TEST_F(DemoPictures, TheBatchWindowIsUpWhileTheBooksAreDeletedAndGoesWithinTwoSeconds) {
    const Image during = Picture(L"during-delete.png"), before = Picture(L"shelf-before.png");
    const RECT batch = m_notes.Rect("batch_rect");
    const int area = (batch.right - batch.left) * (batch.bottom - batch.top);
    ASSERT_GT(area, 0) << "the session noted where the batch-delete window was";
    // The window stands where the shelf's own picture was.
    EXPECT_GT(DifferingPixels(during, before, batch), area / 2);
    EXPECT_GT(InkPixels(during, batch), area / 20) << "the batch-delete window has content";
    // Two books take a few hundred milliseconds, pictures included; 2 s or more waited for something
    // that never came, such as a window manager to withdraw the batch-delete window.
    ASSERT_TRUE(m_notes.values.count("batch_ms")) << "the session noted how long the batch delete took";
    EXPECT_LT(std::stoi(m_notes.values["batch_ms"]), 1800);
}

TEST_F(DemoPictures, TheShelfShowsTwoBooksFewerAfterwards) {
    const std::vector<int> before = m_notes.Ids("books_before"), deleted = m_notes.Ids("deleted"),
                           after = m_notes.Ids("books_after");
    ASSERT_EQ(deleted.size(), 2u);
    std::vector<int> expected;
    std::copy_if(before.begin(), before.end(), std::back_inserter(expected),
                 [&](int id) { return std::find(deleted.begin(), deleted.end(), id) == deleted.end(); });
    EXPECT_EQ(after, expected);
    EXPECT_EQ(expected.size() + 2, before.size());
    const Image picture = Picture(L"after-delete.png");
    for (int id : deleted)
        EXPECT_FALSE(Shows(picture, id)) << "deleted book " << id << " is still on the shelf";
    for (size_t i = 0; i < 4 && i < after.size(); ++i)
        EXPECT_TRUE(Shows(picture, after[i])) << "book " << after[i] << " went missing";
}

TEST_F(DemoPictures, TheOtherDisplayModeShowsTheBooksSmaller) {
    const Image deleted = Picture(L"after-delete.png"), switched = Picture(L"shelf-after.png");
    // The same books in both pictures: shelf covers against a compact list's small ones (either
    // way round, as the saved mode had it). Every book is on view in both.
    long long shelfMode = 0, otherMode = 0;
    for (const int id : m_notes.Ids("books_after")) {
        shelfMode += FindColour(deleted, CoverColour(id), kColourTolerance).pixels;
        otherMode += FindColour(switched, CoverColour(id), kColourTolerance).pixels;
    }
    ASSERT_GT(shelfMode, 0);
    ASSERT_GT(otherMode, 0);
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

// What the reference kernel's controls show: each control drawn into a memory bitmap (WM_PRINTCLIENT)
// and read back pixel by pixel, and what they do when the user clicks, drags, scrolls and types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

// Colours of the test covers: none of them occurs anywhere else in the kernel's drawing.
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kSky = RGB(0, 160, 255);
constexpr COLORREF kOrange = RGB(255, 140, 0);
constexpr COLORREF kGreen = RGB(30, 200, 60);
constexpr COLORREF kBrick = RGB(200, 40, 40);
constexpr COLORREF kUnpainted = RGB(1, 2, 3); // what Render() fills the canvas with
constexpr int kJpegTolerance = 12;

// A window with a large matrix (4 columns, 3 rows on view) and every other kind of control.
std::string RenderPackage() {
    return OneWindowPackage(
        "control frame class=frame rect=0,0,600,400\n"
        "control caption class=caption rect=0,0,600,28 text=\"书架 Shelf 列表 已删除3本书，还剩2本\"\n"
        "control matrix class=bookmatrix rect=0,0,600,640\n"
        "control manager class=bookrackmanager rect=0,0,600,48\n"
        "control button class=button rect=10,10,110,40 text=\"Add books\"\n"
        "control progress class=progressbar rect=10,50,210,70\n"
        "control text class=staticbox rect=10,80,210,110 text=\"Hello\"\n"
        "control browser class=iebrowser rect=0,0,200,300\n");
}

BOOK_ITEM Book(int id, const std::string& title, const std::string& author) {
    BOOK_ITEM item;
    item.bookInfo.bValid = true;
    item.bookInfo.strAppId = std::to_string(id);
    item.bookInfo.strText2 = title;
    item.bookInfo.strText6 = author;
    return item;
}

// Pixels of the rectangle whose channels add up to a sum in [low, high].
int PixelsBetween(const Canvas& canvas, const RECT& rect, int low, int high) {
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) {
            const COLORREF c = canvas.At(x, y);
            const int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
            count += sum >= low && sum <= high;
        }
    return count;
}
// White text of a placeholder tile or a caption; dark text of a control.
int BrightPixels(const Canvas& canvas, const RECT& rect) { return PixelsBetween(canvas, rect, 641, 765); }
int DarkPixels(const Canvas& canvas, const RECT& rect) { return PixelsBetween(canvas, rect, 0, 299); }

// Pixels of rows [top, bottom) of after that equal the pixels dy rows lower in before.
int ShiftMismatches(const Canvas& before, const Canvas& after, int top, int bottom, int dy) {
    int mismatches = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < after.Width(); ++x)
            if (after.At(x, y) != before.At(x, y + dy))
                ++mismatches;
    return mismatches;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.kernel, nullptr) << "VexilKernel.dll not loaded from the test's folder";
        skin = host.Build(dll.kernel, temp.Write(L"render.ufd", RenderPackage()), L"W");
        ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
        matrix = As<ICtrlBookMatrix>(skin, "matrix");
        shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
        ASSERT_NE(shelf, nullptr);
    }

    void Shelve(const std::vector<BOOK_ITEM>& books) {
        std::vector<int> ids;
        for (const BOOK_ITEM& book : books)
            ids.push_back(std::stoi(book.bookInfo.strAppId));
        host.Run([&] { matrix->SetBooks(&books, &ids, 0, 0); });
    }

    RECT Cover(int id) {
        RECT cover = {};
        EXPECT_TRUE(shelf->TileRect(id, nullptr, &cover)) << id;
        return cover;
    }
    RECT Tile(int id) {
        RECT tile = {};
        EXPECT_TRUE(shelf->TileRect(id, &tile, nullptr)) << id;
        return tile;
    }
    HWND MatrixWindow() { return shelf->ControlWindow(); }

    KernelModule dll;
    TempFolder temp;
    HostWindow host;
    ISkinWindow* skin = nullptr;
    ICtrlBookMatrix* matrix = nullptr;
    IRefBookMatrixInspect* shelf = nullptr;
};

TEST_F(RenderTest, CoversOfEveryFormatFillTheirTilesAndBooksWithoutOneShowTitleAndAuthor) {
    const std::wstring png = temp.Own(L"1.png"), jpeg = temp.Own(L"2.jpg"), bmp = temp.Own(L"3.bmp"),
                       gif = temp.Own(L"4.gif"), wide = temp.Own(L"5.png");
    ASSERT_TRUE(WriteSolidImage(png, L"image/png", kMagenta, 60, 90));
    ASSERT_TRUE(WriteSolidImage(jpeg, L"image/jpeg", kSky, 300, 450));
    ASSERT_TRUE(WriteSolidImage(bmp, L"image/bmp", kOrange, 40, 60));
    ASSERT_TRUE(WriteSolidImage(gif, L"image/gif", kGreen, 80, 120));
    ASSERT_TRUE(WriteSolidImage(wide, L"image/png", kBrick, 200, 50));
    const std::wstring notImage = temp.Write(L"7.png", "this is text, not a picture");
    std::string pngBytes;
    {
        FILE* file = _wfopen(png.c_str(), L"rb");
        ASSERT_NE(file, nullptr);
        char buffer[4096];
        pngBytes.assign(buffer, fread(buffer, 1, sizeof buffer, file));
        fclose(file);
    }
    const std::wstring truncated = temp.Write(L"10.png", pngBytes.substr(0, pngBytes.size() / 2));

    std::vector<BOOK_ITEM> books;
    for (int id = 1; id <= 10; ++id)
        books.push_back(Book(id, "Title " + std::to_string(id), "Author " + std::to_string(id)));
    books[5].bookInfo.strText2 = "Placeholder Title";
    Shelve(books);
    const auto path = [](const std::wstring& wide) { return std::string(wide.begin(), wide.end()); };
    EXPECT_FALSE(dll.inspector->GdiplusRunning()) << "nothing drawn yet";
    EXPECT_TRUE(matrix->SetBookImage(1, path(png).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(2, path(jpeg).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(3, path(bmp).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(4, path(gif).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(5, path(wide).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(7, path(notImage).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(8, path(temp.Path() + L"absent.png").c_str()));
    EXPECT_TRUE(matrix->SetBookImage(9, path(png).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(10, path(truncated).c_str()));
    EXPECT_EQ(shelf->CoverStats().decodes, 0) << "a cover is decoded only when its tile is drawn";

    std::unique_ptr<Canvas> canvas = Render(MatrixWindow());
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(1))), kMagenta, 2));
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(2))), kSky, kJpegTolerance));
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(3))), kOrange, 2));
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(4))), kGreen, 2));
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(9))), kMagenta, 2)) << "a broken file before it stops nothing";
    // The cover fills the tile: its edges as well as its centre (60x90 scales up to the 2:3 tile).
    const RECT first = Cover(1);
    EXPECT_GT(canvas->Count(first, kMagenta, 2),
              (first.right - first.left) * (first.bottom - first.top) * 8 / 10);
    // A wide cover keeps its shape: a band across the middle, the mat above and below it.
    const RECT fifth = Cover(5);
    EXPECT_TRUE(Near(canvas->At(Centre(fifth)), kBrick, 2));
    EXPECT_FALSE(Near(canvas->At(Centre(fifth).x, fifth.top + 10), kBrick, 40));
    EXPECT_FALSE(Near(canvas->At(Centre(fifth).x, fifth.bottom - 10), kBrick, 40));

    // Without a cover, and with one that does not decode: a placeholder with the title in white,
    // unlike the background and unlike any cover; the caption under it names title and author.
    const RECT placeholder = Cover(6);
    const COLORREF fill = canvas->At(placeholder.right - 4, placeholder.top + 4);
    EXPECT_FALSE(Near(fill, canvas->At(2, 2), 8)) << "the shelf's background";
    for (COLORREF cover : {kMagenta, kSky, kOrange, kGreen, kBrick})
        EXPECT_FALSE(Near(fill, cover, 40));
    for (int id : {6, 7, 8, 10}) {
        EXPECT_GT(BrightPixels(*canvas, Cover(id)), 20) << "title text on tile " << id;
        EXPECT_EQ(canvas->Count(Cover(id), kMagenta, 40), 0) << id;
        RECT caption = Tile(id);
        caption.top = Cover(id).bottom;
        EXPECT_GT(DarkPixels(*canvas, caption), 20) << "caption of tile " << id;
    }

    // Decoded once each, failures included; a second paint decodes nothing.
    RefCoverStats stats = shelf->CoverStats();
    EXPECT_EQ(stats.decodes, 9);
    EXPECT_EQ(stats.kept, 6);
    EXPECT_EQ(stats.drawn, 10);
    Render(MatrixWindow());
    EXPECT_EQ(shelf->CoverStats().decodes, 9);
    EXPECT_TRUE(dll.inspector->GdiplusRunning());

    // A new image for a book is decoded at its next paint; clearing it brings the placeholder back.
    EXPECT_TRUE(matrix->SetBookImage(1, path(gif).c_str()));
    EXPECT_TRUE(matrix->SetBookImage(2, nullptr));
    canvas = Render(MatrixWindow());
    EXPECT_TRUE(Near(canvas->At(Centre(Cover(1))), kGreen, 2));
    EXPECT_GT(BrightPixels(*canvas, Cover(2)), 20);
    EXPECT_EQ(shelf->CoverStats().decodes, 10);

    // The session ends with the last skin window and starts again with the next cover drawn.
    host.Destroy();
    EXPECT_FALSE(dll.inspector->GdiplusRunning());
    HostWindow again;
    ISkinWindow* other = again.Build(dll.kernel, dll.inspector->SkinPath(), L"W");
    ASSERT_EQ(again.WaitCreateResult(), 0);
    auto* otherMatrix = As<ICtrlBookMatrix>(other, "matrix");
    const BOOK_ITEM book = Book(1, "One", "Someone");
    again.Run([&] { otherMatrix->AddBook(&book, 0, 0, 1); });
    otherMatrix->SetBookImage(1, path(png).c_str());
    auto* otherShelf = dynamic_cast<IRefBookMatrixInspect*>(otherMatrix);
    RECT cover = {};
    ASSERT_TRUE(otherShelf->TileRect(1, nullptr, &cover));
    EXPECT_TRUE(Near(Render(otherShelf->ControlWindow())->At(Centre(cover)), kMagenta, 2));
    EXPECT_TRUE(dll.inspector->GdiplusRunning());
}

TEST_F(RenderTest, SelectedTilesCarryTheSelectionBorderAndCheckBadgeAndClicksSelectThem) {
    std::vector<BOOK_ITEM> books;
    for (int id = 1; id <= 6; ++id)
        books.push_back(Book(id, "Book " + std::to_string(id), "Writer"));
    Shelve(books);
    const auto border = [&](const Canvas& canvas, int id) {
        const RECT tile = Tile(id);
        return canvas.At(tile.left + 1, Centre(tile).y);
    };
    const auto badgePixels = [&](const Canvas& canvas, int id) {
        RECT corner = Tile(id);
        corner.left = corner.right - 32;
        corner.bottom = corner.top + 32;
        return canvas.Count(corner, kRefSelectionColour, 8);
    };

    // The user's clicks, as the mouse makes them, at the tiles' places.
    const POINT second = Centre(Tile(2)), fourth = Centre(Tile(4)), fifth = Centre(Tile(5));
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(second.x, second.y));
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(fourth.x, fourth.y));
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{2, 4}));
    bool focused = false;
    host.Run([&] { focused = GetFocus() == MatrixWindow(); });
    EXPECT_TRUE(focused) << "a click gives the matrix the keyboard";

    std::unique_ptr<Canvas> canvas = Render(MatrixWindow());
    for (int id : {2, 4}) {
        EXPECT_EQ(border(*canvas, id), kRefSelectionColour) << id;
        EXPECT_GT(badgePixels(*canvas, id), 100) << id;
    }
    for (int id : {1, 3, 5}) {
        EXPECT_NE(border(*canvas, id), kRefSelectionColour) << id;
        EXPECT_EQ(badgePixels(*canvas, id), 0) << id;
    }

    // Shift extends from the last click; a click in a gap between tiles clears the selection.
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(fifth.x, fifth.y));
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{4, 5}));
    const RECT firstTile = Tile(1);
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON,
                 MAKELPARAM(firstTile.right + 4, firstTile.top + 20));
    EXPECT_TRUE(shelf->Selection().empty());
    EXPECT_NE(border(*Render(MatrixWindow()), 4), kRefSelectionColour);

    // A double click opens the book under it, Enter the focused one, Delete deletes it.
    SendMessageW(MatrixWindow(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(second.x, second.y));
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fifth.x, fifth.y));
    SendMessageW(MatrixWindow(), WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageW(MatrixWindow(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(MatrixWindow(), WM_KEYDOWN, VK_DELETE, 0);
    std::vector<std::pair<int, std::string>> seen;
    for (const Notice& n : host.Notices())
        if (n.id == VEXIL_NOTIFY_OPEN_BOOK || n.id == VEXIL_NOTIFY_DELETE_BOOK)
            seen.emplace_back(n.id, n.bookId);
    const std::vector<std::pair<int, std::string>> expected = {
        {VEXIL_NOTIFY_OPEN_BOOK, "2"}, {VEXIL_NOTIFY_OPEN_BOOK, "6"}, {VEXIL_NOTIFY_DELETE_BOOK, "6"}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{6})) << "the arrow key moved the selection";
}

TEST_F(RenderTest, ScrollingMovesTheTilesAndClicksFollowThem) {
    std::vector<BOOK_ITEM> books;
    for (int id = 1; id <= 40; ++id)
        books.push_back(Book(id, "Book " + std::to_string(id), "Writer"));
    Shelve(books);
    const RECT view = ClientRectOf(MatrixWindow());
    std::unique_ptr<Canvas> top = Render(MatrixWindow());
    const RECT firstBefore = Tile(1);

    SendMessageW(MatrixWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    const int step = shelf->ScrollPos();
    ASSERT_GT(step, 0);
    EXPECT_EQ(Tile(1).top, firstBefore.top - step);
    std::unique_ptr<Canvas> scrolled = Render(MatrixWindow());
    EXPECT_EQ(ShiftMismatches(*top, *scrolled, 0, view.bottom - step, step), 0)
        << "the picture moved up by " << step;

    // A click lands on the book now under the mouse.
    const POINT ninth = Centre(Tile(9));
    SendMessageW(MatrixWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ninth.x, ninth.y));
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{9}));

    // The scroll bar's ends, and the wheel stops there.
    SendMessageW(MatrixWindow(), WM_VSCROLL, SB_BOTTOM, 0);
    const int end = shelf->ScrollPos();
    EXPECT_GT(end, step);
    EXPECT_LE(Tile(40).bottom, view.bottom);
    EXPECT_GT(Tile(40).bottom, view.bottom - 2 * 18);
    SendMessageW(MatrixWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(shelf->ScrollPos(), end);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(MatrixWindow(), SB_VERT, &info);
    EXPECT_EQ(info.nPos, end) << "the scroll bar shows where the shelf is";
    SendMessageW(MatrixWindow(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(shelf->ScrollPos(), 0);

    // Keys move the selection and bring it into view.
    SendMessageW(MatrixWindow(), WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{40}));
    EXPECT_EQ(shelf->ScrollPos(), end);
    SendMessageW(MatrixWindow(), WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(shelf->Selection(), (std::vector<int>{1}));
    EXPECT_EQ(shelf->ScrollPos(), 0);

    // Fewer books than fit: nothing to scroll.
    host.Run([&] {
        const std::vector<int> removed = {5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                          29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40};
        matrix->RemoveBooks(&removed, 0);
    });
    SendMessageW(MatrixWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(shelf->ScrollPos(), 0);
}

TEST_F(RenderTest, TenThousandBooksWithCoversKeepOnlyTheCoversOnViewAndCostLittleMemory) {
    constexpr int kBooks = 10000, kCoverFiles = 16;
    for (int i = 0; i < kCoverFiles; ++i)
        ASSERT_TRUE(WriteSolidImage(temp.Own(L"c" + std::to_wstring(i) + L".png"), L"image/png",
                                    RGB(i * 15, 255 - i * 15, 128), 90, 135));
    Render(MatrixWindow()); // the empty shelf: fonts and GDI+ made before the first measurement
    const size_t before = PrivateBytes();

    host.Run([&] {
        std::vector<BOOK_ITEM> books;
        std::vector<int> ids;
        for (int id = 1; id <= kBooks; ++id) {
            books.push_back(Book(id, "The title of book number " + std::to_string(id),
                                 "An author's name " + std::to_string(id)));
            ids.push_back(id);
        }
        matrix->SetBooks(&books, &ids, 0, 0);
    });
    // Covers of the library folder, one path per book, as the window hands them over.
    const std::string folder(temp.Path().begin(), temp.Path().end());
    for (int id = 1; id <= kBooks; ++id)
        ASSERT_TRUE(
            matrix->SetBookImage(id, (folder + "c" + std::to_string(id % kCoverFiles) + ".png").c_str()));
    EXPECT_EQ(shelf->CoverStats().decodes, 0);

    Render(MatrixWindow());
    RefCoverStats stats = shelf->CoverStats();
    EXPECT_GT(stats.drawn, 0);
    EXPECT_LE(stats.drawn, 16) << "4 columns and 3 or 4 rows on view";
    EXPECT_EQ(stats.decodes, stats.drawn);
    EXPECT_EQ(stats.kept, stats.drawn);

    // Far down the shelf: the covers now on view are decoded, those left behind are dropped.
    for (int page = 0; page < 3; ++page) {
        SendMessageW(MatrixWindow(), WM_VSCROLL, SB_PAGEDOWN, 0);
        Render(MatrixWindow());
    }
    SendMessageW(MatrixWindow(), WM_VSCROLL, SB_BOTTOM, 0);
    std::unique_ptr<Canvas> bottom = Render(MatrixWindow());
    EXPECT_TRUE(Near(bottom->At(Centre(Cover(kBooks))),
                     RGB((kBooks % kCoverFiles) * 15, 255 - (kBooks % kCoverFiles) * 15, 128), 2));
    stats = shelf->CoverStats();
    EXPECT_LE(stats.kept, stats.drawn + 2 * 4) << "on view, and a row above and below";

    const size_t after = PrivateBytes();
    const double perBook = (static_cast<double>(after) - static_cast<double>(before)) / kBooks;
    std::printf(
        "[ memory   ] %d books with cover paths, on-view tiles drawn: %.0f bytes private memory per book "
        "(%zu KiB before, %zu KiB after)\n",
        kBooks, perBook, before / 1024, after / 1024);
    RecordProperty("private_bytes_per_book", static_cast<int>(perBook));
    EXPECT_LT(perBook, 16 * 1024);
}

TEST_F(RenderTest, ManagerShowsModeUserAndCountAndTakesTheUsersClicks) {
    auto* manager = As<ICtrlBookrackManager>(skin, "manager");
    auto* bar = dynamic_cast<IRefManagerInspect*>(manager);
    ASSERT_NE(bar, nullptr);
    HWND window = bar->ControlWindow();
    const RECT shelfPart = bar->PartRect(REF_PART_MODE_SHELF),
               compactPart = bar->PartRect(REF_PART_MODE_COMPACT);
    const RECT userPart = bar->PartRect(REF_PART_USER), countPart = bar->PartRect(REF_PART_COUNT);
    const RECT menuPart = bar->PartRect(REF_PART_MENU);
    const RECT parts[] = {shelfPart, compactPart, userPart, countPart, menuPart};
    const RECT client = ClientRectOf(window);
    for (const RECT& part : parts) {
        RECT overlap;
        for (const RECT& other : parts) {
            if (&other != &part) {
                EXPECT_FALSE(IntersectRect(&overlap, &part, &other)) << "parts do not overlap";
            }
        }
        EXPECT_TRUE(IntersectRect(&overlap, &part, &client) && EqualRect(&overlap, &part))
            << "inside the bar";
    }

    host.Run([&] {
        manager->SetShowMode(1);
        manager->SetUserName(false, "Alice");
        manager->SetBookCount(true, 3);
    });
    std::unique_ptr<Canvas> alice = Render(window);
    host.Run([&] { manager->SetUserName(false, "Bob"); });
    std::unique_ptr<Canvas> bob = Render(window);
    host.Run([&] { manager->SetBookCount(true, 12); });
    std::unique_ptr<Canvas> twelve = Render(window);
    host.Run([&] { manager->SetUserName(true, "Bob"); });
    std::unique_ptr<Canvas> signedOut = Render(window);
    EXPECT_GT(DarkPixels(*alice, userPart), 20) << "the name is drawn";
    EXPECT_GT(alice->Differences(*bob, userPart), 20);
    EXPECT_EQ(alice->Differences(*bob, countPart), 0);
    EXPECT_GT(bob->Differences(*twelve, countPart), 10);
    EXPECT_EQ(bob->Differences(*twelve, userPart), 0);
    EXPECT_GT(twelve->Differences(*signedOut, userPart), 20);

    // The segment of the current mode is the highlighted one.
    const auto highlighted = [](const Canvas& canvas, const RECT& part) {
        return canvas.At(part.left + 3, part.top + 3) == kRefSelectionColour;
    };
    EXPECT_TRUE(highlighted(*alice, shelfPart));
    EXPECT_FALSE(highlighted(*alice, compactPart));

    // Clicking a segment chooses its mode; pressing one and releasing elsewhere chooses nothing.
    const auto click = [&](const RECT& down, const RECT& up) {
        const POINT a = Centre(down), b = Centre(up);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(a.x, a.y));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
    };
    click(compactPart, compactPart);
    EXPECT_EQ(bar->ShowMode(), 0);
    std::unique_ptr<Canvas> compact = Render(window);
    EXPECT_TRUE(highlighted(*compact, compactPart));
    EXPECT_FALSE(highlighted(*compact, shelfPart));
    click(shelfPart, userPart);
    EXPECT_EQ(bar->ShowMode(), 0);

    // The menu button opens the menu under itself; its choice is carried out.
    dll.inspector->SetPopupMenuAnswer(REF_MENU_BATCH_DELETE);
    click(menuPart, menuPart);
    POINT below = {menuPart.left, menuPart.bottom};
    ClientToScreen(window, &below);
    EXPECT_EQ(bar->PopupCount(), 1);
    EXPECT_EQ(bar->LastPopupPoint().x, below.x);
    EXPECT_EQ(bar->LastPopupPoint().y, below.y);
    dll.inspector->SetPopupMenuAnswer(REF_MENU_HIDE);
    SendMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(userPart.left + 2, userPart.top + 2));
    EXPECT_EQ(bar->PopupCount(), 2);

    std::vector<std::pair<int, WPARAM>> seen;
    for (const Notice& n : host.Notices())
        if (n.id != WM_VEXIL_CREATE_DONE)
            seen.emplace_back(n.id, n.wParam);
    const std::vector<std::pair<int, WPARAM>> expected = {
        {VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0}, {VEXIL_NOTIFY_BATCH_DELETE_ASK, 0}, {VEXIL_NOTIFY_HIDE, 0}};
    EXPECT_EQ(seen, expected);
}

TEST_F(RenderTest, ButtonsProgressAndTextShowTheirState) {
    auto* button = As<ICtrlButton>(skin, "button");
    HWND buttonWindow = dynamic_cast<IRefControlInspect*>(button)->ControlWindow();
    std::unique_ptr<Canvas> normal = Render(buttonWindow);
    const RECT all = ClientRectOf(buttonWindow);
    EXPECT_GT(DarkPixels(*normal, all), 30) << "the label";
    SendMessageW(buttonWindow, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    std::unique_ptr<Canvas> hot = Render(buttonWindow);
    SendMessageW(buttonWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    std::unique_ptr<Canvas> pressed = Render(buttonWindow);
    SendMessageW(buttonWindow, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(buttonWindow, WM_MOUSELEAVE, 0, 0);
    std::unique_ptr<Canvas> left = Render(buttonWindow);
    EXPECT_GT(normal->Differences(*hot, all), 100) << "the mouse over it";
    EXPECT_GT(hot->Differences(*pressed, all), 100) << "pressed";
    EXPECT_EQ(normal->Differences(*left, all), 0) << "and back";
    EXPECT_TRUE(host.WaitFor(VEXIL_NOTIFY_BUTTON_CLICK));
    host.Run([&] { button->EnableButton(false); });
    EXPECT_GT(normal->Differences(*Render(buttonWindow), all), 30) << "disabled";

    auto* progress = As<ICtrlProgressBar>(skin, "progress");
    HWND progressWindow = dynamic_cast<IRefControlInspect*>(progress)->ControlWindow();
    std::unique_ptr<Canvas> empty = Render(progressWindow);
    host.Run([&] { progress->SetProgressBarPos(60, true); });
    std::unique_ptr<Canvas> sixty = Render(progressWindow);
    const RECT bar = ClientRectOf(progressWindow);
    const int middle = bar.bottom / 2;
    EXPECT_NE(empty->At(bar.right * 3 / 10, middle), sixty->At(bar.right * 3 / 10, middle))
        << "filled to 60%";
    EXPECT_NE(empty->At(bar.right * 55 / 100, middle), sixty->At(bar.right * 55 / 100, middle));
    EXPECT_EQ(empty->At(bar.right * 65 / 100, middle), sixty->At(bar.right * 65 / 100, middle))
        << "not beyond";

    auto* text = As<ICtrlStaticBox>(skin, "text");
    HWND textWindow = dynamic_cast<IRefControlInspect*>(text)->ControlWindow();
    std::unique_ptr<Canvas> hello = Render(textWindow);
    host.Run([&] { text->SetText(""); });
    std::unique_ptr<Canvas> blank = Render(textWindow);
    EXPECT_GT(DarkPixels(*hello, ClientRectOf(textWindow)), 20);
    EXPECT_EQ(DarkPixels(*blank, ClientRectOf(textWindow)), 0);
    // Wide text is drawn as given, whatever the code page: Chinese with its numbers.
    host.Run([&] { text->SetTextW(L"\u5df2\u5220\u9664 1 \u672c"); });
    std::unique_ptr<Canvas> wide = Render(textWindow);
    EXPECT_GT(DarkPixels(*wide, ClientRectOf(textWindow)), 20);
}

TEST_F(RenderTest, TheWindowDrawsItsOwnCaptionAndFrameAndMovesByItsCaption) {
    HWND caption = dynamic_cast<IRefControlInspect*>(skin->GetControl("caption"))->ControlWindow();
    std::unique_ptr<Canvas> strip = Render(caption);
    EXPECT_GT(BrightPixels(*strip, ClientRectOf(caption)), 30) << "the title, light on the dark strip";
    EXPECT_EQ(strip->Count(ClientRectOf(caption), kUnpainted), 0);

    SendMessageW(caption, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 10));
    Notice press;
    ASSERT_TRUE(host.WaitFor(WM_NCLBUTTONDOWN, &press)) << "the caption hands the press to the window";
    EXPECT_EQ(press.wParam, static_cast<WPARAM>(HTCAPTION));
    POINT screen = {200, 10};
    ClientToScreen(caption, &screen);
    EXPECT_EQ(press.point.x, screen.x);
    EXPECT_EQ(press.point.y, screen.y);
    EXPECT_EQ(press.threadId, host.ThreadId());

    // The frame is a one-pixel ring: it draws only that, and only that is its window.
    HWND frame = dynamic_cast<IRefControlInspect*>(skin->GetControl("frame"))->ControlWindow();
    std::unique_ptr<Canvas> ring = Render(frame);
    const RECT client = ClientRectOf(frame);
    const COLORREF edge = ring->At(0, client.bottom / 2);
    EXPECT_NE(edge, kUnpainted);
    EXPECT_EQ(ring->At(client.right - 1, 7), edge);
    EXPECT_EQ(ring->At(client.right / 2, client.bottom - 1), edge);
    RECT inside = client;
    InflateRect(&inside, -1, -1);
    EXPECT_EQ(ring->Count(inside, kUnpainted), (inside.right - inside.left) * (inside.bottom - inside.top));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(frame, region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 0, 50));
    EXPECT_FALSE(PtInRegion(region, 5, 50));
    DeleteObject(region);
}

TEST_F(RenderTest, BrowserPageShowsReadingTipsAndScrollsWithTheWheel) {
    auto* browser = dynamic_cast<IRefBrowserInspect*>(skin->GetControl("browser"));
    ASSERT_NE(browser, nullptr);
    HWND document = browser->DocumentWindow();
    std::unique_ptr<Canvas> top = Render(document);
    const RECT page = ClientRectOf(document);
    EXPECT_GT(DarkPixels(*top, {0, 0, page.right, 40}), 100) << "the heading";
    EXPECT_EQ(top->Count(page, kUnpainted), 0);

    PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(browser->WheelCount(), 2);
    const int scroll = browser->PageScroll();
    ASSERT_GT(scroll, 0);
    std::unique_ptr<Canvas> down = Render(document);
    EXPECT_EQ(ShiftMismatches(*top, *down, 0, page.bottom - scroll, scroll), 0);

    for (int i = 0; i < 50; ++i)
        PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    ASSERT_TRUE(host.Flush());
    Render(document);
    const int end = browser->PageScroll();
    EXPECT_GT(end, scroll);
    EXPECT_LT(end, 50 * scroll / 2) << "the page ends";
    for (int i = 0; i < 60; ++i)
        PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(browser->PageScroll(), 0);
}

// The shipped package, window by window, as the bookshelf shows it. Set KELVO_RENDER_DIR to a folder
// to keep the pictures.
TEST(ShippedSkinRenderTest, BalloonPointsUpAndEveryWindowOfTheShippedSkinIsDrawn) {
    KernelModule dll;
    ASSERT_NE(dll.kernel, nullptr);
    wchar_t keep[MAX_PATH] = {};
    const bool save = GetEnvironmentVariableW(L"KELVO_RENDER_DIR", keep, MAX_PATH) > 0;
    const wchar_t* const windows[] = {L"BookrackWindow", L"MsgBox.PatchDel", L"NoBookBalloon"};
    for (const wchar_t* name : windows) {
        HostWindow host(WS_POPUP | WS_CLIPCHILDREN);
        ISkinWindow* skin = host.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", name);
        ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
        if (std::wstring(name) == L"BookrackWindow") {
            // A shelf in use: covers, books without one, a selection, someone signed in.
            TempFolder covers;
            const std::wstring cover = covers.Own(L"cover.png");
            ASSERT_TRUE(WriteSolidImage(cover, L"image/png", kSky, 90, 135));
            auto* matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
            auto* manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
            host.Run([&] {
                for (int id = 1; id <= 14; ++id) {
                    const BOOK_ITEM book =
                        Book(id, "Book number " + std::to_string(id), "Writer " + std::to_string(id));
                    matrix->AddBook(&book, 0, 0, 1);
                    if (id % 3 != 0)
                        matrix->SetBookImage(id, std::string(cover.begin(), cover.end()).c_str());
                }
                manager->SetUserName(false, "Alice");
                manager->SetBookCount(true, 14);
                manager->SetShowMode(1);
            });
            dynamic_cast<IRefBookMatrixInspect*>(matrix)->SetSelection({2, 3});
            std::unique_ptr<Canvas> shelf = RenderSkinWindow(skin);
            RECT cover2 = {};
            dynamic_cast<IRefBookMatrixInspect*>(matrix)->TileRect(2, nullptr, &cover2);
            RECT matrixRect = {};
            matrix->GetCtrlRect(&matrixRect);
            OffsetRect(&cover2, matrixRect.left, matrixRect.top);
            EXPECT_TRUE(Near(shelf->At(Centre(cover2)), kSky, 2)) << "the cover, in the window";
            if (save)
                shelf->SavePng(std::wstring(keep) + L"\\BookrackWindow-shelf.png");
        }
        auto* inspect = dynamic_cast<IRefSkinWindowInspect*>(skin);
        for (const std::string& control : inspect->ControlNames()) {
            HWND window =
                dynamic_cast<IRefControlInspect*>(skin->GetControl(control.c_str()))->ControlWindow();
            std::unique_ptr<Canvas> drawn = Render(window);
            const RECT all = ClientRectOf(window);
            EXPECT_LT(drawn->Count(all, kUnpainted), (all.right - all.left) * (all.bottom - all.top))
                << "something drawn by " << control;
        }
        std::unique_ptr<Canvas> picture = RenderSkinWindow(skin);
        if (save)
            picture->SavePng(std::wstring(keep) + L"\\" + name + L".png");
        if (std::wstring(name) != L"NoBookBalloon") {
            // Every window has a border of one colour.
            const COLORREF border = picture->At(0, picture->Height() / 2);
            EXPECT_EQ(picture->At(picture->Width() - 1, picture->Height() / 2), border) << "frame";
            EXPECT_NE(picture->At(5, picture->Height() - 5), border) << "inside";
            continue;
        }
        // The balloon's pointer rises from its top-left; the window has the balloon's shape.
        const COLORREF body = picture->At(6, picture->Height() / 2);
        EXPECT_EQ(picture->At(28, 8), body) << "the pointer";
        EXPECT_NE(picture->At(6, 4), body) << "beside the pointer";
        EXPECT_NE(picture->At(picture->Width() - 6, 4), body);
        EXPECT_GT(DarkPixels(*picture, {12, 20, picture->Width() - 12, picture->Height() - 6}), 100)
            << "its text";
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(host.Hwnd(), region), ERROR);
        EXPECT_TRUE(PtInRegion(region, 28, 3));
        EXPECT_FALSE(PtInRegion(region, 4, 3));
        EXPECT_TRUE(PtInRegion(region, 150, 50));
        DeleteObject(region);
    }
}

} // namespace

// The bookshelf window as the user sees it: the shipped skin drawn into a bitmap at every size the
// window opens at and at sizes a user drags it to, in both display modes, and at the display scale
// of a DPI-aware host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <shelftest/display.h>

#include <uiassist/scopedhandle.h>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

constexpr uint32_t kUnpainted = 0x010203; // what a canvas holds where nothing was drawn
constexpr int kBooks = 40;
// The shelf's size at 96 DPI in these tests, and the design's tile width and text height there.
constexpr SIZE kShelfSize = {1000, 800};
constexpr int kDesignTileWidth = 104;
constexpr int kDesignTextHeight = 12;

// Draws the skin window as it looks on its HWND: each control at its rectangle (WM_PRINTCLIENT), the
// bottom one first, into a 32-bit bitmap of the HWND's client size that holds kUnpainted before.
std::vector<uint32_t> Render(ISkinWindow* skin, HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const vexil::ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    const vexil::ScopedGdiObject<HBITMAP> bitmap(
        CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const auto pixels = static_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(client.right) * client.bottom;
    std::fill(pixels, pixels + count, kUnpainted);
    vexil::ScopedSelectObject select(dc.get(), bitmap.get());
    const std::vector<std::string> names = dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        IControlBase* control = skin->GetControl(name->c_str());
        RECT rect = {};
        control->GetCtrlRect(&rect);
        SetViewportOrgEx(dc.get(), rect.left, rect.top, nullptr);
        SendMessageW(dynamic_cast<IRefControlInspect*>(control)->ControlWindow(), WM_PRINTCLIENT,
                     reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
    }
    GdiFlush();
    return std::vector<uint32_t>(pixels, pixels + count);
}

TEST(ShelfWindowPicture, EverySizeAndModeIsPaintedWholeWithNothingCutOff) {
    KernelModule dll;
    ASSERT_NE(dll.kernel, nullptr);
    HostWindow host(WS_POPUP);
    ISkinWindow* skin = host.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"BookrackWindow");
    ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
    auto* matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
    auto* manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
    auto* shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_TRUE(shelf && manager);
    for (int id = 1; id <= kBooks; ++id) {
        const BOOK_ITEM book = Book(id, "Book number " + std::to_string(id), "Writer " + std::to_string(id));
        matrix->AddBook(&book, 0, 0, 1);
    }
    manager->SetUserName(false, "Alice");
    manager->SetBookCount(true, kBooks);
    shelf->SetSelection({2, 3});

    // The default sizes (the fallback for screens not in the table takes the first or the second),
    // then sizes a user drags the window to.
    const SIZE sizes[] = {{1000, 800}, {1000, 600}, {760, 540}, {1366, 728}, {1920, 1040}};
    for (const SIZE& size : sizes) {
        for (int mode : {1, 0}) {
            SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy) + ", mode " +
                         std::to_string(mode));
            manager->SetShowMode(mode);
            SetWindowPos(host.Hwnd(), nullptr, 0, 0, size.cx, size.cy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            RECT client = {};
            GetClientRect(host.Hwnd(), &client);
            ASSERT_TRUE(client.right == size.cx && client.bottom == size.cy) << "the window refused the size";

            RECT view = {}, tile = {};
            GetClientRect(shelf->ControlWindow(), &view);
            for (int id = 1; id <= kBooks; ++id) {
                ASSERT_TRUE(shelf->TileRect(id, &tile, nullptr));
                EXPECT_LE(tile.right, view.right) << "book " << id << " is cut off";
            }
            SendMessageW(shelf->ControlWindow(), WM_VSCROLL, SB_BOTTOM, 0);
            shelf->TileRect(kBooks, &tile, nullptr);
            EXPECT_LE(tile.bottom, view.bottom) << "the last book can be scrolled fully into view";
            SendMessageW(shelf->ControlWindow(), WM_VSCROLL, SB_TOP, 0);

            Render(skin, host.Hwnd());                                         // draws what changed
            const std::vector<uint32_t> repainted = Render(skin, host.Hwnd()); // nothing changed
            EXPECT_EQ(std::count(repainted.begin(), repainted.end(), kUnpainted), 0)
                << "every pixel is painted";
            for (const std::string& name : dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames())
                skin->GetControl(name.c_str())->RedrawControl(false);
            EXPECT_TRUE(Render(skin, host.Hwnd()) == repainted) << "differs from a drawing from scratch";
        }
    }
}

int Scaled(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

// A shelf of kBooks books, two of them selected, on a pop-up host of the calling thread.
struct TestShelf {
    TestShelf(KernelModule& dll, SIZE size) {
        skin = host.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"BookrackWindow");
        created = host.WaitCreateResult() == 0;
        matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
        manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
        shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
        if (!created || !shelf || !manager)
            return;
        for (int id = 1; id <= kBooks; ++id) {
            const BOOK_ITEM book =
                Book(id, "Book number " + std::to_string(id), "Writer " + std::to_string(id));
            matrix->AddBook(&book, 0, 0, 1);
        }
        manager->SetUserName(false, "Alice");
        manager->SetBookCount(true, kBooks);
        shelf->SetSelection({2, 3});
        SetWindowPos(host.Hwnd(), nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    bool Ready() const { return created && shelf && manager; }
    SIZE Tile(int id) const {
        RECT tile = {};
        shelf->TileRect(id, &tile, nullptr);
        return {tile.right - tile.left, tile.bottom - tile.top};
    }
    // The text font a control answers WM_GETFONT with: its requested height and its real cell height.
    std::pair<int, int> TextHeights(const char* control) const {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(
            dynamic_cast<IRefControlInspect*>(skin->GetControl(control))->ControlWindow(), WM_GETFONT, 0, 0));
        LOGFONTW design = {};
        GetObjectW(font, sizeof design, &design);
        const vexil::ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
        vexil::ScopedSelectObject select(dc.get(), font);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc.get(), &metrics);
        return {std::abs(design.lfHeight), static_cast<int>(metrics.tmHeight)};
    }
    size_t UnpaintedPixels() {
        Render(skin, host.Hwnd());
        const std::vector<uint32_t> pixels = Render(skin, host.Hwnd());
        return static_cast<size_t>(std::count(pixels.begin(), pixels.end(), kUnpainted));
    }

    HostWindow host{WS_POPUP};
    ISkinWindow* skin = nullptr;
    bool created = false;
    ICtrlBookMatrix* matrix = nullptr;
    ICtrlBookrackManager* manager = nullptr;
    IRefBookMatrixInspect* shelf = nullptr;
};

// Every control of the scaled shelf stands where the 96-DPI one does, at the scale (each edge within
// the rounding of its designed place and of the window's growth).
void ExpectLaidOutAlike(const TestShelf& base, const TestShelf& scaled, UINT dpi) {
    for (const std::string& name : dynamic_cast<IRefSkinWindowInspect*>(base.skin)->ControlNames()) {
        RECT want = {}, got = {};
        base.skin->GetControl(name.c_str())->GetCtrlRect(&want);
        scaled.skin->GetControl(name.c_str())->GetCtrlRect(&got);
        const LONG edges[][2] = {{Scaled(want.left, dpi), got.left},
                                 {Scaled(want.top, dpi), got.top},
                                 {Scaled(want.right, dpi), got.right},
                                 {Scaled(want.bottom, dpi), got.bottom}};
        for (const auto& edge : edges)
            EXPECT_LE(std::abs(edge[0] - edge[1]), 2) << name << " stands elsewhere at " << dpi << " DPI";
    }
}

void ExpectScaledSizes(const TestShelf& base, const TestShelf& scaled, UINT dpi) {
    const SIZE baseTile = base.Tile(1), tile = scaled.Tile(1);
    EXPECT_LE(std::abs(tile.cx - Scaled(baseTile.cx, dpi)), 1) << "tile width at " << dpi << " DPI";
    EXPECT_LE(std::abs(tile.cy - Scaled(baseTile.cy, dpi)), 1) << "tile height at " << dpi << " DPI";
    for (const char* control : {"BMCC_BookMatrix", "BookrackMgr"}) {
        const auto baseText = base.TextHeights(control), text = scaled.TextHeights(control);
        EXPECT_LE(std::abs(text.first - Scaled(baseText.first, dpi)), 1) << control << ": font for " << dpi;
        EXPECT_LE(std::abs(text.second - Scaled(baseText.second, dpi)), 1)
            << control << ": text cell at " << dpi;
    }
}

// Run at 96, 144 and 192 DPI (the harness's --dpi runs): an unaware host's shelf keeps its 96-DPI
// pixels, an aware host's is the same shelf at the screen's scale, painted whole in both modes.
TEST(ShelfWindowPicture, DrawnAtTheDpiOfAnAwareHost) {
    const UINT dpi = shelftest::RequestedDpi();
    ASSERT_EQ(shelftest::ScreenDpi(), dpi) << "the prefix does not run at the scale the test was started for";
    KernelModule dll;
    ASSERT_NE(dll.kernel, nullptr);
    std::unique_ptr<TestShelf> unaware;
    {
        shelftest::ThreadDpiAwareness unawareHost(DPI_AWARENESS_CONTEXT_UNAWARE);
        ASSERT_TRUE(unawareHost.Active());
        unaware = std::make_unique<TestShelf>(dll, kShelfSize);
    }
    ASSERT_TRUE(unaware->Ready()) << dll.inspector->LastPackageError();
    shelftest::ThreadDpiAwareness awareHost;
    ASSERT_TRUE(awareHost.Active());
    TestShelf aware(dll, {Scaled(kShelfSize.cx, dpi), Scaled(kShelfSize.cy, dpi)});
    ASSERT_TRUE(aware.Ready());

    EXPECT_EQ(unaware->Tile(1).cx, kDesignTileWidth) << "an unaware host's shelf is scaled by the system";
    EXPECT_EQ(unaware->TextHeights("BMCC_BookMatrix").first, kDesignTextHeight);
    for (int mode : {1, 0}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        unaware->manager->SetShowMode(mode);
        aware.manager->SetShowMode(mode);
        ExpectLaidOutAlike(*unaware, aware, dpi);
        ExpectScaledSizes(*unaware, aware, dpi);
        EXPECT_EQ(aware.UnpaintedPixels(), 0u) << "every pixel is painted at " << dpi << " DPI";
    }
}

// A per-monitor host moved to a screen of another scale: the window takes the suggested rectangle and
// the shelf follows the new DPI, and back.
TEST(ShelfWindowPicture, FollowsTheDpiOfItsWindowWhenItChanges) {
    const UINT dpi = shelftest::RequestedDpi();
    KernelModule dll;
    ASSERT_NE(dll.kernel, nullptr);
    shelftest::ThreadDpiAwareness awareHost;
    ASSERT_TRUE(awareHost.Active());
    TestShelf before(dll, {Scaled(kShelfSize.cx, dpi), Scaled(kShelfSize.cy, dpi)});
    TestShelf moved(dll, {Scaled(kShelfSize.cx, dpi), Scaled(kShelfSize.cy, dpi)});
    ASSERT_TRUE(before.Ready() && moved.Ready());
    for (const UINT next : {dpi * 2, dpi}) {
        SCOPED_TRACE("to " + std::to_string(next) + " DPI");
        RECT suggested = {0, 0, Scaled(kShelfSize.cx, next), Scaled(kShelfSize.cy, next)};
        SendMessageW(moved.host.Hwnd(), WM_DPICHANGED, MAKEWPARAM(next, next),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT now = {};
        GetWindowRect(moved.host.Hwnd(), &now);
        ASSERT_TRUE(EqualRect(&now, &suggested)) << "the host took the suggested rectangle";
        const UINT scale = next * 96 / dpi; // the change, as a DPI against the shelf before it
        ExpectLaidOutAlike(before, moved, scale);
        ExpectScaledSizes(before, moved, scale);
        EXPECT_EQ(moved.UnpaintedPixels(), 0u);
    }
}

} // namespace

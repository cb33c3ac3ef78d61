// The bookshelf window as the user sees it: the shipped skin drawn into a bitmap at every size the
// window opens at (the default-size table and its fallback rule) and at sizes a user drags it to, in
// both display modes.
#include <gtest/gtest.h>

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "pngfile.h"

#include "kernelhost.h"

using namespace kerneltest;

namespace {

constexpr COLORREF kCoverColour = RGB(0, 160, 255);
constexpr COLORREF kRewrittenColour = RGB(255, 0, 255);
constexpr uint32_t kUnpainted = 0x010203; // what a canvas holds where nothing was drawn
constexpr int kBooks = 40;

bool GdiplusStarted() { // for the life of the test program
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

// A 32-bit top-down bitmap to draw into and read pixels from; starts kUnpainted.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<uint32_t*>(bits);
        std::fill(m_bits, m_bits + Pixels(), kUnpainted);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    HDC Dc() const { return m_dc; }
    int Width() const { return m_width; }
    size_t Pixels() const { return static_cast<size_t>(m_width) * m_height; }
    COLORREF At(int x, int y) const {
        const uint32_t pixel = m_bits[static_cast<size_t>(y) * m_width + x];
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    COLORREF At(POINT at) const { return At(at.x, at.y); }
    long Unpainted() const { return std::count(m_bits, m_bits + Pixels(), kUnpainted); }
    bool Same(const Canvas& other) const {
        return Pixels() == other.Pixels() && std::equal(m_bits, m_bits + Pixels(), other.m_bits);
    }
    bool SavePng(const std::wstring& path) const {
        GdiFlush();
        Gdiplus::Bitmap image(m_width, m_height, m_width * 4, PixelFormat32bppRGB,
                              reinterpret_cast<BYTE*>(m_bits));
        return GdiplusStarted() && shelfdemo::SaveBitmapPng(image, path);
    }

private:
    int m_width, m_height;
    HDC m_dc = CreateCompatibleDC(nullptr);
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
};

// Draws a whole skin window as it looks on the HWND it was built on: each control at its present
// rectangle (WM_PRINTCLIENT, handled on its thread), the bottom one first, on a canvas of the HWND's
// client size.
std::unique_ptr<Canvas> RenderSkinWindow(ISkinWindow* skin, HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    auto canvas = std::make_unique<Canvas>(std::max(1L, client.right), std::max(1L, client.bottom));
    const std::vector<std::string> names = dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        IControlBase* control = skin->GetControl(name->c_str());
        RECT rect = {};
        control->GetCtrlRect(&rect);
        POINT origin = {};
        SetViewportOrgEx(canvas->Dc(), rect.left, rect.top, &origin);
        SendMessageW(dynamic_cast<IRefControlInspect*>(control)->ControlWindow(), WM_PRINTCLIENT,
                     reinterpret_cast<WPARAM>(canvas->Dc()), PRF_CLIENT);
        SetViewportOrgEx(canvas->Dc(), origin.x, origin.y, nullptr);
    }
    GdiFlush();
    return canvas;
}

// Writes a PNG of one colour.
bool WriteSolidImage(const std::wstring& path, COLORREF colour, int width, int height) {
    if (!GdiplusStarted())
        return false;
    Gdiplus::Bitmap image(width, height, PixelFormat32bppRGB);
    Gdiplus::Graphics(&image).Clear(
        Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour)));
    return shelfdemo::SaveBitmapPng(image, path);
}

// Each channel within 2.
bool Near(COLORREF a, COLORREF b) {
    return abs(GetRValue(a) - GetRValue(b)) <= 2 && abs(GetGValue(a) - GetGValue(b)) <= 2 &&
           abs(GetBValue(a) - GetBValue(b)) <= 2;
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

struct WindowSize {
    int width, height;
    const char* why;
};
const WindowSize kSizes[] = {
    {1000, 800, "1920x1200, 1920x1080, 1680x1050, 1440x900, 1280x1024 and large unknown screens"},
    {1000, 600, "1366x768, 1280x800, 1280x768, 1024x600, 1024x768 and other unknown screens"},
    {760, 540, "800x600, and the smallest a user can drag it to"},
    {1366, 728, "dragged wider"},
    {1920, 1040, "maximized on 1920x1080"},
};

RECT Offset(RECT rect, const RECT& by) {
    OffsetRect(&rect, by.left, by.top);
    return rect;
}

RECT RectOf(IControlBase* control) {
    RECT rect = {};
    control->GetCtrlRect(&rect);
    return rect;
}

int RenderCalls(ISkinWindow* skin) {
    int calls = 0;
    for (const std::string& name : dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames())
        calls += dynamic_cast<IRefControlInspect*>(skin->GetControl(name.c_str()))->RenderCalls();
    return calls;
}

TEST(ShelfWindowPictureTest, EverySizeAndModeIsPaintedWholeWithNothingCutOff) {
    KernelModule dll;
    ASSERT_NE(dll.kernel, nullptr);
    TempFolder temp;
    const std::wstring coverPath = temp.Path() + L"cover.png";
    ASSERT_TRUE(WriteSolidImage(coverPath, kCoverColour, 90, 135));
    const std::string cover(coverPath.begin(), coverPath.end());
    wchar_t keep[MAX_PATH] = {};
    const bool save = GetEnvironmentVariableW(L"KELVO_RENDER_DIR", keep, MAX_PATH) > 0;

    HostWindow host(WS_POPUP);
    ISkinWindow* skin = host.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"BookrackWindow");
    ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
    auto* matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
    auto* manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
    auto* shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_NE(shelf, nullptr);
    host.Run([&] {
        for (int id = 1; id <= kBooks; ++id) {
            const BOOK_ITEM book =
                Book(id, "Book number " + std::to_string(id), "Writer " + std::to_string(id));
            matrix->AddBook(&book, 0, 0, 1);
            matrix->SetBookImage(id, cover.c_str());
        }
        manager->SetUserName(false, "Alice");
        manager->SetBookCount(true, kBooks);
    });
    shelf->SetSelection({2, 3});

    int onViewInShelfMode = 0;
    for (const WindowSize& size : kSizes) {
        for (int mode : {1, 0}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " (" + size.why +
                         "), mode " + std::to_string(mode));
            host.Run([&] {
                manager->SetShowMode(mode);
                SetWindowPos(host.Hwnd(), nullptr, 0, 0, size.width, size.height,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            });
            std::unique_ptr<Canvas> picture = RenderSkinWindow(skin, host.Hwnd());
            ASSERT_EQ(picture->Width(), size.width);
            EXPECT_EQ(picture->Unpainted(), 0) << "every pixel is painted";

            // The bars span the width, the button stays at the right end, the page column keeps its
            // width, the matrix takes the rest.
            const RECT bar = RectOf(manager), button = RectOf(skin->GetControl("New_FolianBtn"));
            const RECT page = RectOf(skin->GetControl("BMCC_BookrackIeBrowser")), grid = RectOf(matrix);
            EXPECT_EQ(button.right, size.width - 10);
            EXPECT_EQ(bar.right, button.left - 10);
            EXPECT_EQ(page.right - page.left, 300);
            EXPECT_EQ(page.right, size.width);
            EXPECT_EQ(grid.right, page.left);
            EXPECT_EQ(grid.bottom, size.height);
            EXPECT_EQ(page.bottom, size.height);
            const COLORREF edge = picture->At(0, size.height / 2);
            EXPECT_EQ(picture->At(size.width - 1, size.height / 2), edge) << "the frame on the right";
            EXPECT_EQ(picture->At(size.width / 2, size.height - 1), edge) << "and at the bottom";

            // The tiles fill the matrix's width without one cut off, and the covers show.
            RECT view = {};
            GetClientRect(shelf->ControlWindow(), &view);
            RECT first = {}, second = {}, cover1 = {};
            ASSERT_TRUE(shelf->TileRect(1, &first, &cover1));
            ASSERT_TRUE(shelf->TileRect(2, &second, nullptr));
            EXPECT_TRUE(Near(picture->At(Centre(Offset(cover1, grid))), kCoverColour));
            int columns = 0, onView = 0;
            for (int id = 1; id <= kBooks; ++id) {
                RECT tile = {};
                shelf->TileRect(id, &tile, nullptr);
                columns += tile.top == first.top;
                onView += tile.top < view.bottom;
                EXPECT_LE(tile.right, view.right) << "book " << id;
            }
            const int pitch = second.left == first.left ? view.right : second.left - first.left;
            EXPECT_LT(view.right - (first.left + (columns - 1) * pitch + (first.right - first.left)),
                      pitch + first.left)
                << "no room left for another column";
            SendMessageW(shelf->ControlWindow(), WM_VSCROLL, SB_BOTTOM, 0);
            RECT last = {};
            shelf->TileRect(kBooks, &last, nullptr);
            EXPECT_LE(last.bottom, view.bottom) << "the last book can be scrolled fully into view";
            SendMessageW(shelf->ControlWindow(), WM_VSCROLL, SB_TOP, 0);
            if (mode == 1)
                onViewInShelfMode = onView;
            else
                EXPECT_TRUE(onView > onViewInShelfMode || onView == kBooks)
                    << "the compact mode shows more books";

            // Drawn again with nothing changed, each control copies what it drew; drawn afresh
            // from scratch, it is the same picture.
            picture = RenderSkinWindow(skin, host.Hwnd());
            const int renders = RenderCalls(skin);
            std::unique_ptr<Canvas> copied = RenderSkinWindow(skin, host.Hwnd());
            EXPECT_EQ(RenderCalls(skin), renders + 2) << "only the frame and the panel draw every time";
            EXPECT_TRUE(copied->Same(*picture));
            for (const std::string& name : dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames())
                skin->GetControl(name.c_str())->RedrawControl(false);
            EXPECT_TRUE(RenderSkinWindow(skin, host.Hwnd())->Same(*picture));
            if (save)
                picture->SavePng(std::wstring(keep) + L"\\shelf-" + std::to_wstring(size.width) + L"x" +
                                 std::to_wstring(size.height) + (mode ? L"-shelf.png" : L"-compact.png"));
        }
    }

    // A user's drag stops at the smallest size the skin allows.
    RECT dragged = {100, 100, 400, 300};
    SendMessageW(host.Hwnd(), WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&dragged));
    EXPECT_EQ(dragged.right - dragged.left, 760);
    EXPECT_EQ(dragged.bottom - dragged.top, 540);

    // A cover file written again is decoded again at the tile's next drawing.
    ASSERT_TRUE(WriteSolidImage(coverPath, kRewrittenColour, 60, 90));
    matrix->RedrawControl(false);
    RECT cover1 = {};
    shelf->TileRect(1, nullptr, &cover1);
    EXPECT_TRUE(Near(RenderSkinWindow(skin, host.Hwnd())->At(Centre(Offset(cover1, RectOf(matrix)))),
                     kRewrittenColour));
}

} // namespace

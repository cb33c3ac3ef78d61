// The bookshelf window as the user sees it: the shipped skin drawn into a bitmap at every size the
// window opens at and at sizes a user drags it to, in both display modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

constexpr uint32_t kUnpainted = 0x010203; // what a canvas holds where nothing was drawn
constexpr int kBooks = 40;

// A 32-bit bitmap to draw into, kUnpainted until drawn on.
class Canvas {
public:
    Canvas(int width, int height) : m_pixels(static_cast<size_t>(width) * height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<uint32_t*>(bits);
        std::fill(m_bits, m_bits + m_pixels, kUnpainted);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    HDC Dc() const { return m_dc; }
    long Unpainted() const { return std::count(m_bits, m_bits + m_pixels, kUnpainted); }
    bool Same(const Canvas& other) const {
        return m_pixels == other.m_pixels && std::equal(m_bits, m_bits + m_pixels, other.m_bits);
    }

private:
    size_t m_pixels;
    HDC m_dc = CreateCompatibleDC(nullptr);
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
};

// Draws the skin window as it looks on its HWND: each control at its rectangle (WM_PRINTCLIENT), the
// bottom one first, on a canvas of the HWND's client size.
std::unique_ptr<Canvas> Render(ISkinWindow* skin, HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    auto canvas = std::make_unique<Canvas>(client.right, client.bottom);
    const std::vector<std::string> names = dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        IControlBase* control = skin->GetControl(name->c_str());
        RECT rect = {};
        control->GetCtrlRect(&rect);
        SetViewportOrgEx(canvas->Dc(), rect.left, rect.top, nullptr);
        SendMessageW(dynamic_cast<IRefControlInspect*>(control)->ControlWindow(), WM_PRINTCLIENT,
                     reinterpret_cast<WPARAM>(canvas->Dc()), PRF_CLIENT);
    }
    GdiFlush();
    return canvas;
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

            Render(skin, host.Hwnd());                                           // draws what changed
            const std::unique_ptr<Canvas> repainted = Render(skin, host.Hwnd()); // nothing changed
            EXPECT_EQ(repainted->Unpainted(), 0) << "every pixel is painted";
            for (const std::string& name : dynamic_cast<IRefSkinWindowInspect*>(skin)->ControlNames())
                skin->GetControl(name.c_str())->RedrawControl(false);
            EXPECT_TRUE(Render(skin, host.Hwnd())->Same(*repainted)) << "differs from a drawing from scratch";
        }
    }
}

} // namespace

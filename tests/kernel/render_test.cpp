// The bookshelf window as the user sees it: the shipped skin drawn into a bitmap at every size the
// window opens at and at sizes a user drags it to, in both display modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include <uiassist/scopedhandle.h>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

constexpr uint32_t kUnpainted = 0x010203; // what a canvas holds where nothing was drawn
constexpr int kBooks = 40;

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

} // namespace

// The reference kernel as the bookshelf relies on it: the posted outcome of building a skin window,
// package paths, the batch delete's end, controls that keep what they are given, and repaints that
// draw what changed.
#include <gtest/gtest.h>

#include <cstdint>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.kernel, nullptr) << "VexilKernel.dll not loaded from the test's folder";
        ASSERT_NE(dll.inspector, nullptr);
    }

    KernelModule dll; // loaded per case: each case starts with a fresh kernel and no package open
    shelftest::TempFolder temp{L"vexilkernel-test-"};
};

TEST_F(KernelTest, TheOutcomeIsPostedAfterReturningAndErrorsGoToASkinWindowThatStillExists) {
    const std::string text = "vexilskin 1\n"
                             "window W size=300x200\n control ok class=button rect=0,0,10,10\nend\n"
                             "window Bad size=300x200\n control odd class=slider rect=0,0,10,10\n"
                             " control ok class=button rect=0,0,10,10\nend\n";
    const std::wstring path = temp.Write(L"a.ufd", text), other = temp.Write(L"b.ufd", text);
    struct Case {
        const std::wstring* package;
        const wchar_t* window;
        int code;
        bool okBuilt; // the package's other controls are built all the same
    };
    const Case cases[] = {{&path, L"W", 0, true},
                          {&path, L"NoSuchWindow", VEXIL_ERR_WINDOW_NOT_FOUND, false},
                          {&path, L"Bad", VEXIL_ERR_CONTROL_FAILED, true},
                          {&other, L"W", VEXIL_ERR_SECOND_PACKAGE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        HostWindow host;
        ISkinWindow* skin = host.Build(dll.kernel, *c.package, c.window);
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(host.createResult, HostWindow::kNoResult) << "the outcome must be posted, not sent";
        EXPECT_EQ(host.WaitCreateResult(), c.code);
        EXPECT_EQ(dll.inspector->FindSkinWindow(host.Hwnd()), skin) << "the skin window still exists";
        EXPECT_EQ(As<ICtrlButton>(skin, "ok") != nullptr, c.okBuilt);
    }
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), path.c_str()), 0) << "the first package stays open";
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0) << "skin windows go with their windows";
}

// The shipped bookshelf window with its book matrix and manager, built as the module builds it: by
// a path relative to the kernel's folder, from a current directory where a decoy package has the same
// relative path and none of the windows.
class ShelfKernelTest : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        temp.Write(kPackage, "vexilskin 1\nwindow Decoy size=10x10\nend\n");
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));
        skin = host.Build(dll.kernel, kPackage, L"BookrackWindow");
        SetCurrentDirectoryW(previous);
        ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
        matrix = As<ICtrlBookMatrix>(skin, "BMCC_BookMatrix");
        manager = As<ICtrlBookrackManager>(skin, "BookrackMgr");
        shelf = dynamic_cast<IRefBookMatrixInspect*>(matrix);
        bar = dynamic_cast<IRefManagerInspect*>(manager);
        ASSERT_TRUE(shelf && bar);
    }

    static constexpr wchar_t kPackage[] = L"DesktopSkin\\KelvoDesktopUi.ufd";
    HostWindow host;
    ISkinWindow* skin = nullptr;
    ICtrlBookMatrix* matrix = nullptr;
    ICtrlBookrackManager* manager = nullptr;
    IRefBookMatrixInspect* shelf = nullptr;
    IRefManagerInspect* bar = nullptr;
};

TEST_F(ShelfKernelTest, RelativePackagePathIsTakenFromTheKernelFolderNotTheCurrentOne) {
    EXPECT_EQ(_wcsicmp(dll.kernel->GetSkinPath(), (dll.folder + kPackage).c_str()), 0);
}

TEST_F(ShelfKernelTest, RemoveBooksTellsTheEndOfTheBatchOnlyAfterTheCallerReturned) {
    const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
    const std::vector<int> ids = {1, 2, 3, 4}, removed = {1, 3, 42};
    matrix->SetBooks(&items, &ids, 0, 0);
    manager->SetOptionState(true); // deleting
    shelf->SetSelection({2, 4});
    bool deletingAtEnd = true;
    host.onBatchEnd = [&] { deletingAtEnd = bar->OptionState(); };

    matrix->RemoveBooks(&removed, 7); // as the window's handler of the batch-done message does
    EXPECT_TRUE(host.batchEnds.empty()) << "the end was sent from inside the call";
    EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
    EXPECT_EQ(shelf->Ids(), (std::vector<int>{2, 4}));
    ASSERT_TRUE(shelftest::WaitUntil([&] { return !host.batchEnds.empty(); }));
    EXPECT_EQ(host.batchEnds, std::vector<WPARAM>{7});
    EXPECT_FALSE(deletingAtEnd) << "the manager left its deleting state by the time the window hears";

    // An empty batch still ends, so the window never waits for an end that does not come.
    matrix->RemoveBooks(nullptr, 0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return host.batchEnds.size() == 2; }));
}

TEST_F(ShelfKernelTest, ControlsKeepWhatTheyAreGiven) {
    const BOOK_ITEM five = Book(5, "Five"), three = Book(3, "Three"), again = Book(5, "Other");
    EXPECT_TRUE(matrix->AddBook(&five, 0, 0, 1));
    EXPECT_TRUE(matrix->AddBook(&three, 0, 0, 1));
    EXPECT_FALSE(matrix->AddBook(&again, 0, 0, 1)) << "a shelved id is not added twice";
    const BOOK_INFO renamed = Book(999, "Renamed").bookInfo;
    EXPECT_TRUE(matrix->UpdateBookInfo(&renamed, 3));
    EXPECT_FALSE(matrix->UpdateBookInfo(&renamed, 4));
    EXPECT_EQ(shelf->Ids(), (std::vector<int>{5, 3}));
    EXPECT_EQ(shelf->Books().at(1).strAppId, "3") << "an update keeps the id";
    EXPECT_EQ(shelf->Books().at(1).strText2, "Renamed");

    // A book kept on a new shelf keeps its cover and can be selected; a cleared shelf forgets both.
    EXPECT_TRUE(matrix->SetBookImage(3, "C:\\covers\\3.png"));
    EXPECT_FALSE(matrix->SetBookImage(4, "C:\\covers\\4.png"));
    const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
    const std::vector<int> ids = {1, 2, 3, 4};
    EXPECT_TRUE(matrix->SetBooks(&items, &ids, 0, 0));
    EXPECT_EQ(shelf->Ids(), ids);
    EXPECT_EQ(shelf->ImagePath(3), "C:\\covers\\3.png");
    shelf->SetSelection({4, 3});
    EXPECT_EQ(*matrix->GetSelectedBooks(), (std::vector<int>{4, 3}));
    matrix->ClearBooks();
    EXPECT_TRUE(shelf->Ids().empty());
    EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
    EXPECT_EQ(shelf->ImagePath(3), "");

    EXPECT_TRUE(manager->SetShowMode(1));
    EXPECT_FALSE(manager->SetShowMode(2));
    manager->SetUserName(false, "Alice");
    manager->SetBookCount(true, 3);
    EXPECT_EQ(bar->ShowMode(), 1);
    EXPECT_EQ(bar->UserName(), "Alice");
    EXPECT_FALSE(bar->SignedOut());
    EXPECT_EQ(bar->BookCount(), 3);
    EXPECT_TRUE(bar->AnyBooks());
    manager->SetUserName(true, nullptr);
    manager->SetBookCount(false, 0);
    EXPECT_TRUE(bar->SignedOut());
    EXPECT_EQ(bar->UserName(), "");
    EXPECT_FALSE(bar->AnyBooks());
}

// Counts the WM_NCPAINT messages of a control's window (where its scroll bar is drawn) while it lives.
class NcPaintCounter {
public:
    explicit NcPaintCounter(HWND hwnd) : m_hwnd(hwnd) {
        SetPropW(hwnd, kProp, this);
        m_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NcPaintCounter::Proc)));
    }
    ~NcPaintCounter() {
        SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        RemovePropW(m_hwnd, kProp);
    }
    int count = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<NcPaintCounter*>(GetPropW(hwnd, kProp));
        if (message == WM_NCPAINT)
            ++self->count;
        return CallWindowProcW(self->m_previous, hwnd, message, wParam, lParam);
    }

    static constexpr wchar_t kProp[] = L"KernelTestNcPaints";
    HWND m_hwnd;
    WNDPROC m_previous = nullptr;
};

TEST_F(KernelTest, ARepaintOfTheWholeWindowPaintsTheHostOnlyWhereNoControlCoversIt) {
    const std::wstring path = temp.Write(L"paint.ufd", "vexilskin 1\n"
                                                       "window Covered size=1000x600\n"
                                                       " control back class=panel rect=0,0,1000,600\nend\n"
                                                       "window Open size=1000x600\n"
                                                       " control back class=panel rect=0,0,500,600\nend\n");
    struct Case {
        const wchar_t* window;
        bool hostPaints;
    };
    for (const Case& c : {Case{L"Covered", false}, Case{L"Open", true}}) {
        SCOPED_TRACE(std::string(c.window, c.window + wcslen(c.window)));
        HostWindow host(WS_POPUP); // its client area is the package's window size
        ASSERT_NE(host.Build(dll.kernel, path, c.window), nullptr);
        ASSERT_EQ(host.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
        ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(host.Hwnd());
        host.paints = 0;
        RedrawWindow(host.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_EQ(host.paints > 0, c.hostPaints);
        EXPECT_FALSE(GetUpdateRect(host.Hwnd(), nullptr, FALSE))
            << "a paint is left pending: it would come again";
        ShowWindow(host.Hwnd(), SW_HIDE); // a hidden window goes without handing activation on
    }
}

TEST_F(ShelfKernelTest, AScrollBarTakesABurstOfBooksAtOnceAndIsDrawnAgainSoonAfter) {
    ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
    const HWND view = shelf->ControlWindow();
    NcPaintCounter ncPaints(view);
    int nextId = 1;
    // Twice: a bar drawn once must be drawn again after the next burst too.
    for (int burst = 0; burst < 2; ++burst) {
        SCOPED_TRACE(burst);
        shelftest::PumpMessages();
        const int drawn = ncPaints.count;
        for (int i = 0; i < 60; ++i, ++nextId) {
            const BOOK_ITEM book = Book(nextId);
            ASSERT_TRUE(matrix->AddBook(&book, 0, 0, 1));
        }
        matrix->UpdateLayout(0, 1);
        RECT last = {};
        ASSERT_TRUE(shelf->TileRect(nextId - 1, &last, nullptr));
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE;
        ASSERT_TRUE(GetScrollInfo(view, SB_VERT, &info));
        EXPECT_GE(info.nMax + shelf->ScrollPos(), last.bottom) << "the range lags behind the shelf";
        EXPECT_TRUE(shelftest::WaitUntil([&] { return ncPaints.count > drawn; }))
            << "the bar was not drawn again";
    }
    ShowWindow(host.Hwnd(), SW_HIDE);
}

// A 24-bit BMP of one colour: a large one takes GDI+ longer to decode than a paint's share of a frame.
std::string SolidBmp(int width, int height, uint8_t shade) {
    const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u,
                   pixels = row * static_cast<uint32_t>(height);
    std::string bmp(54, '\0');
    const auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<char>(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + pixels);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixels);
    bmp.append(pixels, static_cast<char>(shade));
    return bmp;
}

TEST_F(ShelfKernelTest, CoversLeftForTheNextPaintAreDrawnThen) {
    ShowWindow(host.Hwnd(), SW_SHOWNOACTIVATE);
    constexpr int kCovers = 4;
    for (int id = 1; id <= kCovers; ++id) {
        const BOOK_ITEM book = Book(id);
        matrix->AddBook(&book, 0, 0, 1);
    }
    UpdateWindow(shelf->ControlWindow());
    // Handed over together, as a load does between two paints: a paint decodes what half a frame
    // allows and leaves the rest for the next.
    for (int id = 1; id <= kCovers; ++id) {
        const std::wstring path =
            temp.Write(std::to_wstring(id) + L".bmp", SolidBmp(1600, 2400, static_cast<uint8_t>(40 * id)));
        ASSERT_TRUE(matrix->SetBookImage(id, std::string(path.begin(), path.end()).c_str()));
    }
    EXPECT_TRUE(shelftest::WaitUntil([&] { return shelf->CoverStats().kept == kCovers; }))
        << shelf->CoverStats().kept << " of " << kCovers << " covers drawn";
    ShowWindow(host.Hwnd(), SW_HIDE);
}

} // namespace

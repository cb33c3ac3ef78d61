// The reference kernel as a window module sees it: skin windows built on a host HWND, the posted
// outcome, typed controls, and the controls' behaviour that the bookshelf relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <shelftest/wait.h>

#include "kernelhost.h"

using namespace kerneltest;

namespace {

const char* const kAllControlNames[] = {"button",     "progressbar",     "staticbox",
                                        "bookmatrix", "bookrackmanager", "iebrowser",
                                        "caption",    "label",           "panel"};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[260] = {};
    GetClassNameW(hwnd, name, 260);
    return name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// A record whose strAppId is text, shelf id or not.
BOOK_ITEM Named(const std::string& text, const std::string& title = "") {
    BOOK_ITEM item = Book(0, title);
    item.bookInfo.strAppId = text;
    return item;
}

int Count(const std::vector<Notice>& notices, int id) {
    return static_cast<int>(
        std::count_if(notices.begin(), notices.end(), [id](const Notice& n) { return n.id == id; }));
}

using shelftest::WaitUntil;

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.kernel, nullptr) << "VexilKernel.dll not loaded from the test's folder";
        ASSERT_NE(dll.inspector, nullptr);
    }

    // Builds "W" of a package with every control class on a new host; the callback is the host.
    ISkinWindow* BuildAll(HostWindow& host) {
        const std::wstring path = temp.Write(L"all.ufd", OneWindowPackage(AllControlLines()));
        ISkinWindow* skin = host.Build(dll.kernel, path, L"W");
        EXPECT_EQ(host.WaitCreateResult(), 0);
        return skin;
    }

    // Builds on a fresh child of the host and reads the posted outcome at once (on the host's thread,
    // where it was posted); the child and its skin window are destroyed again. 99: no skin window.
    int BuildOnChild(HostWindow& host, const std::wstring& path, const std::wstring& name) {
        int code = 99;
        host.Run([&] {
            HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.Hwnd(), nullptr,
                                         nullptr, nullptr);
            if (dll.kernel->CreateSkinWindow(child, path.c_str(), name.c_str())) {
                MSG msg;
                code = 98;
                if (PeekMessageW(&msg, child, WM_VEXIL_CREATE_DONE, WM_VEXIL_CREATE_ERROR, PM_REMOVE))
                    code = msg.message == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(msg.wParam);
            }
            DestroyWindow(child);
        });
        return code;
    }

    KernelModule dll; // loaded per case: each case starts with a fresh kernel and no package open
    TempFolder temp;
};

TEST_F(KernelTest, BuildsEveryControlClassAsAChildWindowAndPostsDoneAfterReturning) {
    const std::wstring path = temp.Write(L"all.ufd", OneWindowPackage(AllControlLines()));
    HostWindow host;
    ISkinWindow* skin = nullptr;
    size_t noticesDuringCall = 1;
    host.Run([&] {
        skin = dll.kernel->CreateSkinWindow(host.Hwnd(), path.c_str(), L"W");
        noticesDuringCall = host.Notices().size();
    });
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(noticesDuringCall, 0u) << "the outcome must be posted, not sent";
    EXPECT_EQ(host.WaitCreateResult(), 0);
    EXPECT_NE(dll.kernel->GetKernelObject(), nullptr);
    EXPECT_TRUE(dll.kernel->IsSkinOpen());
    EXPECT_TRUE(SamePath(dll.kernel->GetSkinPath(), path));
    EXPECT_EQ(skin->GetUiKernel(), dll.kernel);
    SIZE size = {};
    skin->GetWindowSize(&size);
    EXPECT_EQ(size.cx, 600);
    EXPECT_EQ(size.cy, 400);

    EXPECT_NE(As<ICtrlButton>(skin, "button"), nullptr);
    EXPECT_NE(As<ICtrlProgressBar>(skin, "progressbar"), nullptr);
    EXPECT_NE(As<ICtrlStaticBox>(skin, "staticbox"), nullptr);
    EXPECT_NE(As<ICtrlStaticBox>(skin, "label"), nullptr);
    EXPECT_NE(As<ICtrlBookMatrix>(skin, "bookmatrix"), nullptr);
    EXPECT_NE(As<ICtrlBookrackManager>(skin, "bookrackmanager"), nullptr);
    EXPECT_NE(As<ICtrlIEBrowser>(skin, "iebrowser"), nullptr);
    EXPECT_EQ(As<ICtrlButton>(skin, "staticbox"), nullptr);
    EXPECT_EQ(As<ICtrlStaticBox>(skin, "caption"), nullptr);
    EXPECT_EQ(skin->GetControl("Button"), nullptr) << "names are exact";
    EXPECT_EQ(skin->GetControl(nullptr), nullptr);

    std::vector<std::string> ids;
    for (const char* name : kAllControlNames) {
        IControlBase* control = skin->GetControl(name);
        ASSERT_NE(control, nullptr) << name;
        auto* inspect = dynamic_cast<IRefControlInspect*>(control);
        ASSERT_NE(inspect, nullptr) << name;
        HWND window = inspect->ControlWindow();
        EXPECT_EQ(GetParent(window), host.Hwnd()) << name;
        EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), host.ThreadId()) << name;
        EXPECT_STREQ(control->GetControlName(), name);
        const std::string id = control->GetObjectId();
        EXPECT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos) << id;
        ids.push_back(id);
        EXPECT_TRUE(control->CompareControl(control));
        EXPECT_FALSE(control->CompareControl(nullptr));
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end()) << "object ids are unique";
    EXPECT_FALSE(skin->GetControl("button")->CompareControl(skin->GetControl("panel")));
    RECT rect = {};
    EXPECT_TRUE(skin->GetControl("progressbar")->GetCtrlRect(&rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right, 200);
    EXPECT_EQ(rect.bottom, 60);
}

TEST_F(KernelTest, CreationErrorsArePostedToASkinWindowThatStillExists) {
    const std::string text = "vexilskin 1\n"
                             "window W size=300x200\n control ok class=button rect=0,0,10,10\nend\n"
                             "window Bad size=300x200\n control odd class=slider rect=0,0,10,10\n"
                             " control ok class=button rect=0,0,10,10\nend\n";
    const std::wstring path = temp.Write(L"a.ufd", text);
    const std::wstring other = temp.Write(L"b.ufd", text);

    HostWindow missing;
    ISkinWindow* skin = missing.Build(dll.kernel, path, L"NoSuchWindow");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(missing.WaitCreateResult(), VEXIL_ERR_WINDOW_NOT_FOUND);
    EXPECT_EQ(dll.inspector->FindSkinWindow(missing.Hwnd()), skin);
    EXPECT_EQ(skin->GetControl("ok"), nullptr);

    HostWindow unknownClass;
    skin = unknownClass.Build(dll.kernel, path, L"Bad");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(unknownClass.WaitCreateResult(), VEXIL_ERR_CONTROL_FAILED);
    EXPECT_EQ(skin->GetControl("odd"), nullptr);
    EXPECT_NE(As<ICtrlButton>(skin, "ok"), nullptr) << "the other controls are built";

    // The open package spelled differently is the same package; another file is a second package.
    std::wstring spelled = path;
    spelled.insert(spelled.find_last_of(L'\\') + 1, L".\\");
    std::transform(spelled.begin(), spelled.end(), spelled.begin(), ::towupper);
    HostWindow same;
    EXPECT_NE(same.Build(dll.kernel, spelled, L"W"), nullptr);
    EXPECT_EQ(same.WaitCreateResult(), 0);
    HostWindow second;
    EXPECT_NE(second.Build(dll.kernel, other, L"W"), nullptr);
    EXPECT_EQ(second.WaitCreateResult(), VEXIL_ERR_SECOND_PACKAGE);
    EXPECT_TRUE(SamePath(dll.inspector->SkinPath(), path));

    // No skin window for a window that is not one, or that belongs to another thread.
    EXPECT_EQ(dll.kernel->CreateSkinWindow(nullptr, path.c_str(), L"W"), nullptr);
    EXPECT_EQ(dll.kernel->CreateSkinWindow(same.Hwnd(), path.c_str(), L"W"), nullptr);
}

TEST_F(KernelTest, MalformedPackagesAreRefusedAndLeaveNoPackageOpen) {
    const std::string valid =
        OneWindowPackage("control b class=button rect=1,2,30,40 text=\"a \\\"b\\\"\"\n");
    const std::string broken[] = {
        "",
        "window W size=10x10\nend\n",
        "vexilskin 2\n",
        "vexilskin 1\nwindow W size=10x10\n",
        "vexilskin 1\nwindow W size=0x10\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=5,0,4,10\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=1,2,3\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=0,0,1,1 text=\"open\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=0,0,1,1\ncontrol b class=label "
        "rect=0,0,1,1\nend\n",
        "vexilskin 1\nwindow W size=10x10 colour=red\nend\n",
        "vexilskin 1\nwindow W size=10x10 minsize=20x5\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=0,0,1,1 anchor=left,middle\nend\n",
        "vexilskin 1\nwindow W size=10x10\ncontrol b class=button rect=0,0,1,1 anchor=top,top\nend\n",
        "vexilskin 1\ncontrol b class=button rect=0,0,1,1\n",
        "vexilskin 1\nwindow \xC3\x28 size=10x10\nend\n",
        std::string("vexilskin 1\nwindow W") + '\0' + " size=10x10\nend\n",
        "vexilskin 1\n" + std::string(5000, 'x') + "\n",
    };
    HostWindow host;
    int index = 0;
    for (const std::string& text : broken) {
        const std::wstring path = temp.Write(L"broken" + std::to_wstring(index++) + L".ufd", text);
        EXPECT_EQ(BuildOnChild(host, path, L"W"), -1) << "case " << index;
        EXPECT_FALSE(dll.kernel->IsSkinOpen()) << "case " << index;
        EXPECT_NE(dll.inspector->LastPackageError().find("line"), std::string::npos) << "case " << index;
    }
    EXPECT_EQ(BuildOnChild(host, temp.Path() + L"absent.ufd", L"W"), -1);

    // Random damage to a valid package: every outcome is a code, never a crash.
    const std::wstring path = temp.Write(L"mutated.ufd", valid);
    EXPECT_EQ(BuildOnChild(host, path, L"W"), 0);
    std::mt19937 random(20261206);
    const char alphabet[] = "\"=#\\ \n\r,x0-9\xFF";
    for (int round = 0; round < 150; ++round) {
        ASSERT_TRUE(dll.inspector->CloseSkinPackage());
        std::string text = valid;
        for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
            case 0:
                text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
                break;
            case 1:
                text.erase(at, 1 + random() % 8);
                break;
            default:
                text.resize(at);
            }
        }
        temp.Write(L"mutated.ufd", text);
        const int code = BuildOnChild(host, path, L"W");
        EXPECT_TRUE(code == 0 || code == -1 || code == -2 || code == -3) << "round " << round << ": " << code;
    }
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0);
}

TEST_F(KernelTest, RelativePackagePathIsTakenFromTheKernelFolderNotTheCurrentOne) {
    // A decoy with the same relative path in the current directory holds none of the windows.
    temp.Write(L"DesktopSkin\\KelvoDesktopUi.ufd", "vexilskin 1\nwindow Decoy size=10x10\nend\n");
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));
    HostWindow shelf, progress, balloon;
    ISkinWindow* shelfSkin = shelf.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"BookrackWindow");
    ISkinWindow* progressSkin =
        progress.Build(dll.kernel, L"DesktopSkin\\KelvoDesktopUi.ufd", L"MsgBox.PatchDel");
    ISkinWindow* balloonSkin = balloon.Build(dll.kernel, L"DesktopSkin/KelvoDesktopUi.ufd", L"NoBookBalloon");
    SetCurrentDirectoryW(previous);

    ASSERT_EQ(shelf.WaitCreateResult(), 0) << dll.inspector->LastPackageError();
    EXPECT_EQ(progress.WaitCreateResult(), 0);
    EXPECT_EQ(balloon.WaitCreateResult(), 0);
    EXPECT_TRUE(SamePath(dll.kernel->GetSkinPath(), dll.folder + L"DesktopSkin\\KelvoDesktopUi.ufd"));

    // The shipped package has what the bookshelf binds.
    SIZE size = {};
    shelfSkin->GetWindowSize(&size);
    EXPECT_EQ(size.cx, 1000);
    EXPECT_EQ(size.cy, 600);
    EXPECT_NE(As<ICtrlBookrackManager>(shelfSkin, "BookrackMgr"), nullptr);
    EXPECT_NE(As<ICtrlBookMatrix>(shelfSkin, "BMCC_BookMatrix"), nullptr);
    EXPECT_NE(As<ICtrlIEBrowser>(shelfSkin, "BMCC_BookrackIeBrowser"), nullptr);
    EXPECT_NE(As<ICtrlButton>(shelfSkin, "New_FolianBtn"), nullptr);
    EXPECT_NE(As<ICtrlButton>(progressSkin, "CloseBtn"), nullptr);
    EXPECT_NE(As<ICtrlButton>(progressSkin, "CancelBtn"), nullptr);
    EXPECT_NE(As<ICtrlProgressBar>(progressSkin, "DelProgress"), nullptr);
    EXPECT_NE(As<ICtrlStaticBox>(progressSkin, "ClearStateSpec"), nullptr);
    balloonSkin->GetWindowSize(&size);
    EXPECT_EQ(size.cx, 295);
    EXPECT_EQ(size.cy, 95);
}

TEST_F(KernelTest, BookMatrixKeepsBooksInShelfOrderWithTheirImages) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    auto* inspect = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_NE(inspect, nullptr);

    host.Run([&] {
        const BOOK_ITEM five = Book(5, "Five"), three = Book(3, "Three");
        EXPECT_TRUE(matrix->AddBook(&five, 0, 0, 1));
        EXPECT_TRUE(matrix->AddBook(&three, 0, 0, 1));
        const BOOK_ITEM again = Book(5, "Other"), zero = Book(0), text = Named("x5"), negative = Named("-2");
        EXPECT_FALSE(matrix->AddBook(&again, 0, 0, 1)) << "a shelved id is not added twice";
        EXPECT_FALSE(matrix->AddBook(&zero, 0, 0, 1));
        EXPECT_FALSE(matrix->AddBook(&text, 0, 0, 1));
        EXPECT_FALSE(matrix->AddBook(&negative, 0, 0, 1));
        EXPECT_FALSE(matrix->AddBook(nullptr, 0, 0, 1));
        EXPECT_EQ(*matrix->GetBookList(), (std::vector<int>{5, 3}));
        EXPECT_TRUE(matrix->HasBook(3));
        EXPECT_FALSE(matrix->HasBook(4));
        BOOK_INFO info = Book(999, "Renamed").bookInfo;
        info.bValid = false;
        info.bReady = true;
        EXPECT_TRUE(matrix->UpdateBookInfo(&info, 3));
        EXPECT_FALSE(matrix->UpdateBookInfo(&info, 4));
        EXPECT_FALSE(matrix->UpdateBookInfo(nullptr, 3));
    });
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{5, 3}));
    std::vector<BOOK_INFO> books = inspect->Books();
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[0].strText2, "Five");
    EXPECT_EQ(books[1].strAppId, "3") << "UpdateBookInfo keeps the id";
    EXPECT_TRUE(books[1].bValid) << "and the valid flag";
    EXPECT_TRUE(books[1].bReady);
    EXPECT_EQ(books[1].strText2, "Renamed");
    EXPECT_EQ(inspect->AddBookCalls(), 7);
    EXPECT_EQ(inspect->UpdateBookInfoCalls(), 3);

    // Cover paths may be handed in from any thread.
    EXPECT_TRUE(matrix->SetBookImage(5, "C:\\covers\\5.png"));
    EXPECT_FALSE(matrix->SetBookImage(4, "C:\\covers\\4.png"));
    EXPECT_EQ(inspect->ImagePath(5), "C:\\covers\\5.png");
    EXPECT_EQ(inspect->ImagePath(4), "");
    EXPECT_TRUE(matrix->SetBookImage(5, nullptr));
    EXPECT_EQ(inspect->ImagePath(5), "");

    host.Run([&] {
        EXPECT_TRUE(matrix->SetBookImage(3, "C:\\covers\\3.jpg"));
        // The shelf is replaced; ids come from the id list, the shorter list wins, duplicates drop.
        const std::vector<BOOK_ITEM> items = {Book(1, "A"), Book(77, "B"), Book(2, "C"), Book(4, "D")};
        const std::vector<int> ids = {10, 3, 10};
        EXPECT_TRUE(matrix->SetBooks(&items, &ids, 0, 0));
        EXPECT_FALSE(matrix->RemoveBook(99, true));
        EXPECT_TRUE(matrix->RemoveBook(10, true));
    });
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{3}));
    books = inspect->Books();
    ASSERT_EQ(books.size(), 1u);
    EXPECT_EQ(books[0].strAppId, "3") << "the record names the id it is shelved under";
    EXPECT_EQ(books[0].strText2, "B");
    EXPECT_EQ(inspect->ImagePath(3), "C:\\covers\\3.jpg") << "a book kept on the shelf keeps its cover";

    host.Run([&] {
        matrix->ClearBooks();
        EXPECT_TRUE(matrix->GetBookList()->empty());
        EXPECT_TRUE(matrix->SetBooks(nullptr, nullptr, 0, 0));
        matrix->UpdateLayout(0, 1);
    });
    EXPECT_EQ(inspect->ImagePath(3), "");
    EXPECT_EQ(inspect->SetBooksCalls(), 2);
    EXPECT_EQ(inspect->ClearBooksCalls(), 1);
    EXPECT_EQ(inspect->RemoveBookCalls(), 2);
    EXPECT_EQ(inspect->UpdateLayoutCalls(), 1);
}

TEST_F(KernelTest, BookMatrixSelectsOpensAndDeletesAsTheUserDoes) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    auto* inspect = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_NE(inspect, nullptr);
    host.Run([&] {
        const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4), Book(5)};
        const std::vector<int> ids = {1, 2, 3, 4, 5};
        matrix->SetBooks(&items, &ids, 0, 0);
    });

    inspect->UserClick(2, false, false);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{2}));
    inspect->UserClick(4, true, false);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{2, 4}));
    inspect->UserClick(2, true, false);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{4}));
    inspect->UserClick(5, false, true);
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{2, 3, 4, 5})) << "Shift extends from the last click";
    std::vector<int> seenByWindow;
    host.Run([&] { seenByWindow = *matrix->GetSelectedBooks(); });
    EXPECT_EQ(seenByWindow, inspect->Selection());

    host.Run([&] {
        EXPECT_EQ(matrix->HandleNotify(REF_MATRIX_SELECT_ALL, 0), 5);
        EXPECT_EQ(matrix->GetSelectedBooks()->size(), 5u);
        EXPECT_EQ(matrix->HandleNotify(REF_MATRIX_SELECT_ID, 99), 0);
        EXPECT_TRUE(matrix->GetSelectedBooks()->empty());
        EXPECT_EQ(matrix->HandleNotify(REF_MATRIX_SELECT_ID, 4), 1);
        EXPECT_EQ(matrix->HandleNotify(12345, 0), 0);
    });
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{4}));
    inspect->SetSelection({3, 99, 1, 3});
    EXPECT_EQ(inspect->Selection(), (std::vector<int>{3, 1}));

    // Open and delete reach the callback on the window's thread with the book's record.
    inspect->UserOpen(99);
    inspect->UserOpen(3);
    inspect->UserDelete(1);
    SendMessageW(inspect->ControlWindow(), WM_KEYDOWN, VK_DELETE, 0); // the last clicked book: 5
    SendMessageW(inspect->ControlWindow(), WM_KEYDOWN, VK_RETURN, 0);
    const std::vector<Notice> notices = host.Notices();
    std::vector<std::pair<int, std::string>> books;
    for (const Notice& n : notices) {
        if (n.id == VEXIL_NOTIFY_OPEN_BOOK || n.id == VEXIL_NOTIFY_DELETE_BOOK) {
            books.emplace_back(n.id, n.bookId);
            EXPECT_EQ(n.threadId, host.ThreadId());
            EXPECT_EQ(n.wParam, 0u);
            EXPECT_TRUE(n.control->CompareControl(matrix));
        }
    }
    const std::vector<std::pair<int, std::string>> expected = {{VEXIL_NOTIFY_OPEN_BOOK, "3"},
                                                               {VEXIL_NOTIFY_DELETE_BOOK, "1"},
                                                               {VEXIL_NOTIFY_DELETE_BOOK, "5"},
                                                               {VEXIL_NOTIFY_OPEN_BOOK, "5"}};
    EXPECT_EQ(books, expected);
}

TEST_F(KernelTest, RemoveBooksTellsTheEndOfTheBatchOnlyAfterTheCallerReturned) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    auto* inspect = dynamic_cast<IRefBookMatrixInspect*>(matrix);
    ASSERT_NE(inspect, nullptr);
    host.Run([&] {
        const std::vector<BOOK_ITEM> items = {Book(1), Book(2), Book(3), Book(4)};
        const std::vector<int> ids = {1, 2, 3, 4};
        matrix->SetBooks(&items, &ids, 0, 0);
    });
    inspect->SetSelection({2, 4});

    int endsSeenInside = -1;
    size_t selectionInside = 99;
    host.Run([&] { // as the window's handler of the batch-done message does
        const std::vector<int> removed = {1, 3, 42};
        matrix->RemoveBooks(&removed, 7);
        endsSeenInside = Count(host.Notices(), VEXIL_NOTIFY_BATCH_DELETE_END);
        selectionInside = matrix->GetSelectedBooks()->size();
    });
    EXPECT_EQ(endsSeenInside, 0);
    EXPECT_EQ(selectionInside, 0u);
    Notice end;
    ASSERT_TRUE(host.WaitFor(VEXIL_NOTIFY_BATCH_DELETE_END, &end));
    EXPECT_EQ(end.wParam, 7u);
    EXPECT_EQ(end.threadId, host.ThreadId());
    host.Run([] {}); // the notice's message has been handled completely
    EXPECT_EQ(inspect->BatchDeleteEndNotices(), 1);
    EXPECT_EQ(inspect->Ids(), (std::vector<int>{2, 4}));
    EXPECT_EQ(inspect->LastRemoveBooksIds(), (std::vector<int>{1, 3, 42}));
    EXPECT_EQ(inspect->LastRemoveBooksValue(), 7u);

    // The manager leaves its deleting state by the time the window hears of the end.
    auto* manager = As<ICtrlBookrackManager>(skin, "bookrackmanager");
    auto* managerInspect = dynamic_cast<IRefManagerInspect*>(manager);
    bool deletingAtEnd = true;
    host.Run([&] { // on the window's thread, where notices are handled
        host.onNotice = [&](const Notice& notice) {
            if (notice.id == VEXIL_NOTIFY_BATCH_DELETE_END)
                deletingAtEnd = managerInspect->OptionState();
        };
        manager->SetOptionState(true);
    });
    EXPECT_TRUE(managerInspect->OptionState());

    // An empty batch still ends, so the window never waits for an end that does not come.
    host.Run([&] { matrix->RemoveBooks(nullptr, 0); });
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(Count(host.Notices(), VEXIL_NOTIFY_BATCH_DELETE_END), 2);
    EXPECT_FALSE(deletingAtEnd);
    EXPECT_FALSE(managerInspect->OptionState());
    EXPECT_EQ(inspect->RemoveBooksCalls(), 2);
}

TEST_F(KernelTest, BrowserFirstChildChainEndsInTheDocumentWindow) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* browser = As<ICtrlIEBrowser>(skin, "iebrowser");
    auto* inspect = dynamic_cast<IRefBrowserInspect*>(browser);
    ASSERT_NE(inspect, nullptr);
    auto chainEnd = [&] {
        std::vector<std::wstring> classes;
        HWND last = nullptr;
        for (HWND hwnd = browser->GetBrowserWindow(); hwnd; hwnd = GetWindow(hwnd, GW_CHILD)) {
            classes.push_back(ClassOf(hwnd));
            last = hwnd;
        }
        if (classes.size() < 2 || classes[0] != L"Shell Embedding" || classes[1] != L"Shell DocObject View") {
            ADD_FAILURE() << "the browser host chain is broken";
            return static_cast<HWND>(nullptr);
        }
        return classes.size() == 3 && classes[2] == L"Internet Explorer_Server" ? last : nullptr;
    };
    EXPECT_EQ(GetParent(browser->GetBrowserWindow()), inspect->ControlWindow());
    HWND document = chainEnd();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document, inspect->DocumentWindow());

    PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    PostMessageW(document, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), 0);
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(inspect->WheelCount(), 2);
    EXPECT_EQ(inspect->LastWheelWParam(), MAKEWPARAM(0, static_cast<WORD>(-240)));

    host.Run([&] {
        EXPECT_EQ(browser->HandleCopyData(), kRefCopyDataResult);
        browser->OnShelfHidden();
    });
    EXPECT_EQ(inspect->CopyDataCalls(), 1);
    EXPECT_EQ(inspect->ShelfHiddenCalls(), 1);

    EXPECT_TRUE(GetWindowLongW(document, GWL_STYLE) & WS_VISIBLE);
    inspect->SetDocumentVisible(false);
    EXPECT_FALSE(GetWindowLongW(document, GWL_STYLE) & WS_VISIBLE);
    inspect->RecreateDocumentWindow();
    HWND recreated = chainEnd();
    EXPECT_FALSE(IsWindow(document));
    ASSERT_NE(recreated, nullptr);
    EXPECT_EQ(recreated, inspect->DocumentWindow());
    inspect->DestroyDocumentWindow();
    EXPECT_EQ(chainEnd(), nullptr);
    EXPECT_EQ(inspect->DocumentWindow(), nullptr);
}

TEST_F(KernelTest, ManagerKeepsItsStateAndCarriesOutItsMenu) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* manager = As<ICtrlBookrackManager>(skin, "bookrackmanager");
    auto* inspect = dynamic_cast<IRefManagerInspect*>(manager);
    ASSERT_NE(inspect, nullptr);
    host.Run([&] {
        EXPECT_TRUE(manager->SetShowMode(1));
        EXPECT_FALSE(manager->SetShowMode(2));
        EXPECT_FALSE(manager->SetShowMode(-1));
        manager->SetUserName(false, "Alice");
        manager->SetBookCount(true, 3);
        manager->SetOptionState(true);
    });
    EXPECT_EQ(inspect->ShowMode(), 1);
    EXPECT_EQ(inspect->UserName(), "Alice");
    EXPECT_FALSE(inspect->SignedOut());
    EXPECT_EQ(inspect->BookCount(), 3);
    EXPECT_TRUE(inspect->AnyBooks());
    EXPECT_TRUE(inspect->OptionState());
    host.Run([&] { manager->SetUserName(true, nullptr); });
    EXPECT_TRUE(inspect->SignedOut());
    EXPECT_EQ(inspect->UserName(), "");

    // A menu answered for the test, then the user's menu commands.
    dll.inspector->SetPopupMenuAnswer(REF_MENU_MODE_COMPACT);
    host.Run([&] {
        const POINT at = {120, 340};
        manager->PopupMenu(0, &at);
    });
    EXPECT_EQ(inspect->PopupCount(), 1);
    EXPECT_EQ(inspect->LastPopupPoint().x, 120);
    EXPECT_EQ(inspect->LastPopupPoint().y, 340);
    EXPECT_EQ(inspect->ShowMode(), 0);
    dll.inspector->SetPopupMenuAnswer(REF_MENU_NONE);
    host.Run([&] { manager->PopupMenu(0, nullptr); });
    inspect->UserAskBatchDelete();
    inspect->UserChooseMode(7);
    inspect->UserChooseMode(1);
    inspect->UserMinimize();
    inspect->UserHide();
    std::vector<std::pair<int, WPARAM>> seen;
    for (const Notice& n : host.Notices())
        if (n.id != WM_VEXIL_CREATE_DONE)
            seen.emplace_back(n.id, n.wParam);
    const std::vector<std::pair<int, WPARAM>> expected = {{VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0},
                                                          {VEXIL_NOTIFY_BATCH_DELETE_ASK, 0},
                                                          {VEXIL_NOTIFY_SHOWMODE_CHOSEN, 1},
                                                          {VEXIL_NOTIFY_MINIMIZE, 0},
                                                          {VEXIL_NOTIFY_HIDE, 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(inspect->ShowMode(), 1);

    // The real menu stays open on the window thread until it is dismissed, which chooses nothing.
    dll.inspector->SetPopupMenuAnswer(REF_MENU_SHOW_REAL_MENU);
    host.Post([&] { manager->PopupMenu(0, nullptr); });
    ASSERT_TRUE(WaitUntil([&] { return inspect->MenuOpen(); }));
    inspect->DismissMenu();
    ASSERT_TRUE(WaitUntil([&] { return !inspect->MenuOpen(); }));
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(inspect->PopupCount(), 3);
    EXPECT_EQ(host.Notices().size(), expected.size() + 1);
}

TEST_F(KernelTest, ButtonsNotifyClicksWhileEnabledAndControlsKeepTheirValues) {
    HostWindow host;
    ISkinWindow* skin = BuildAll(host);
    auto* button = As<ICtrlButton>(skin, "button");
    auto* inspect = dynamic_cast<IRefButtonInspect*>(button);
    ASSERT_NE(inspect, nullptr);
    EXPECT_EQ(inspect->Text(), "Go");
    HWND hwnd = inspect->ControlWindow();

    inspect->UserClick();
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(500, 5)); // released outside: no click
    host.Run([&] {
        button->EnableButton(false);
        button->SetButtonText("Stop");
    });
    inspect->UserClick();
    EXPECT_FALSE(inspect->Enabled());
    EXPECT_FALSE(IsWindowEnabled(hwnd));
    EXPECT_EQ(inspect->Text(), "Stop");
    const std::vector<Notice> notices = host.Notices();
    EXPECT_EQ(Count(notices, VEXIL_NOTIFY_BUTTON_CLICK), 2);
    for (const Notice& n : notices) {
        if (n.id == VEXIL_NOTIFY_BUTTON_CLICK) {
            EXPECT_TRUE(n.control->CompareControl(button));
        }
    }

    auto* progress = As<ICtrlProgressBar>(skin, "progressbar");
    auto* text = As<ICtrlStaticBox>(skin, "staticbox");
    EXPECT_EQ(dynamic_cast<IRefStaticInspect*>(text)->Text(), "Hello");
    host.Run([&] {
        progress->SetProgressBarPos(150, true);
        EXPECT_EQ(progress->GetProgressBarPos(), 100);
        progress->SetProgressBarPos(-5, false);
        EXPECT_EQ(progress->GetProgressBarPos(), 0);
        progress->SetProgressBarPos(42, true);
        text->SetText("2 of 3");
        text->RedrawControl(true);
    });
    EXPECT_EQ(dynamic_cast<IRefProgressInspect*>(progress)->Pos(), 42);
    EXPECT_EQ(dynamic_cast<IRefStaticInspect*>(text)->Text(), "2 of 3");
    host.Run([&] { text->SetText(nullptr); });
    EXPECT_EQ(dynamic_cast<IRefStaticInspect*>(text)->Text(), "");
}

TEST_F(KernelTest, AReceiverMayDestroyTheWindowWhileAControlNotifiesIt) {
    HostWindow host;
    host.onNotice = [&](const Notice& notice) {
        if (notice.id == VEXIL_NOTIFY_BATCH_DELETE_END)
            DestroyWindow(host.Hwnd());
    };
    ISkinWindow* skin = BuildAll(host);
    auto* matrix = As<ICtrlBookMatrix>(skin, "bookmatrix");
    ASSERT_NE(matrix, nullptr);
    host.Run([&] { matrix->RemoveBooks(nullptr, 1); });
    ASSERT_TRUE(host.WaitFor(VEXIL_NOTIFY_BATCH_DELETE_END));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(host.Hwnd()); }));
    EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0);
}

TEST_F(KernelTest, SkinWindowGoesWithItsWindowAndTheKernelReloadsCleanly) {
    {
        HostWindow host, failed;
        ISkinWindow* skin = BuildAll(host);
        ASSERT_NE(skin, nullptr);
        failed.Build(dll.kernel, dll.inspector->SkinPath(), L"NoSuchWindow");
        EXPECT_EQ(failed.WaitCreateResult(), VEXIL_ERR_WINDOW_NOT_FOUND);
        EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 2);
        EXPECT_FALSE(dll.inspector->CloseSkinPackage()) << "refused while skin windows live";
        std::vector<HWND> controls;
        for (const char* name : kAllControlNames)
            controls.push_back(dynamic_cast<IRefControlInspect*>(skin->GetControl(name))->ControlWindow());

        host.Destroy();
        EXPECT_EQ(dll.inspector->FindSkinWindow(host.Hwnd()), nullptr);
        EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 1);
        for (HWND control : controls)
            EXPECT_FALSE(IsWindow(control));
        failed.Destroy();
        EXPECT_EQ(dll.inspector->LiveSkinWindowCount(), 0);
    }

    // Unloaded, the kernel takes its window classes along; loaded again it starts afresh.
    ASSERT_TRUE(FreeLibrary(dll.module));
    dll.module = nullptr;
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetModuleHandleW(L"VexilKernel.dll"));
    KernelModule again;
    ASSERT_NE(again.kernel, nullptr);
    EXPECT_FALSE(again.kernel->IsSkinOpen());
    HostWindow host;
    const std::wstring path = temp.Write(L"again.ufd", OneWindowPackage(AllControlLines()));
    ISkinWindow* skin = host.Build(again.kernel, path, L"W");
    EXPECT_EQ(host.WaitCreateResult(), 0);
    ASSERT_NE(skin, nullptr);
    EXPECT_TRUE(GetClassInfoExW(again.module, L"VexilRefBookMatrix", &info));
    host.Destroy();
}

} // namespace

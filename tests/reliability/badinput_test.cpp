// Bad input of every kind, as one table: null pointers for every pointer argument, strings at their
// limit and one past it, texts outside the code page, reports that cannot be read, a library folder
// that cannot be written, and skins that lack a control. Each case has a defined outcome, and after
// each one the user's display-mode file holds either its old or its new full content, never a part.
#include "reliability.h"

#include <climits>
#include <functional>

using namespace shelftest;
using namespace reliability;

namespace {

constexpr int kShelfKey = 7;
const std::vector<int> kShelf = {8500001, 8500002, 8500003, 8500004};
constexpr wchar_t kIni[] = L"Folian.ini";

std::string Ansi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 1 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    return out;
}

// What the system's ini writer makes of the user's file with the given display mode: the only two
// contents the file may have after any case.
std::string IniWithMode(const std::string& userContent, const wchar_t* mode) {
    const std::wstring scratch =
        LibraryFolder::FilePath(L"reliability_ini_" + std::to_wstring(GetCurrentProcessId()));
    LibraryFolder::WriteFile(scratch.substr(scratch.rfind(L'\\') + 1), userContent);
    WritePrivateProfileStringW(L"Folian", L"ShowMode", mode, scratch.c_str());
    const std::string content = LibraryFolder::ReadFile(scratch.substr(scratch.rfind(L'\\') + 1));
    DeleteFileW(scratch.c_str());
    return content;
}

// Names of files the display-mode save writes first ("fol*.tmp") still lying in the library folder.
int LeftoverSaveFiles() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(LibraryFolder::FilePath(L"fol*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

LRESULT SendReport(HWND hwnd, const BOOKS_CHANGED_REPORT* report) {
    return SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(report));
}

const BOOK_INFO* RecordOf(const std::vector<BOOK_INFO>& books, int id) {
    for (const BOOK_INFO& book : books) {
        if (book.strAppId == std::to_string(id))
            return &book;
    }
    return nullptr;
}

struct Case {
    std::string name;
    bool onSharedShelf; // false: the case loads a module of its own (the shared one is gone by then)
    std::function<void()> run;
};

} // namespace

TEST(BadInput, EveryKindOfBadInputHasADefinedOutcomeAndTheDisplayModeFileStaysWhole) {
    // Several kinds of bad input are reported as they are refused.
    shelftest::ExpectDiagnosticReports();
    Watchdog watchdog("the bad-input table", 200000);
    ShowModeFileKeeper showModeFile;
    ASSERT_TRUE(showModeFile.Held());
    ASSERT_TRUE(LibraryFolder::Ensure());
    const std::string userIni = "[Other]\r\nkeep=yes\r\n[Folian]\r\nShowMode=1\r\n";
    const std::string iniMode1 = IniWithMode(userIni, L"1");
    const std::string iniMode0 = IniWithMode(userIni, L"0");
    ASSERT_NE(iniMode0, iniMode1);
    ASSERT_TRUE(LibraryFolder::WriteFile(kIni, iniMode1));

    HostSink sink;
    std::atomic<int> coverRequests{0};
    std::atomic<int> deletes{0};
    std::atomic<int> opens{0};
    sink.requestCover = [&](HWND, const wchar_t*, int) { ++coverRequests; };
    sink.deleteBook = [&](int, int) { ++deletes; };
    sink.openBook = [&](int, int) { ++opens; };
    FakeShelfStore store;
    std::vector<int> shelf = kShelf;
    store.SetShelfWithItems(kShelfKey, shelf);
    const auto addBook = [&](int id, FakeItemData data) {
        store.AddItem(id, std::move(data));
        shelf.push_back(id);
        store.SetShelf(kShelfKey, shelf);
    };

    auto module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok()) << module->Error();
    CBookrackWindow* window = module->Window();
    ASSERT_TRUE(ShowShelf(*module, sink, store, kShelfKey, shelf));
    HWND hwnd = window->GetHwnd();
    IRefBookMatrixInspect* matrix = Matrix(*module);
    IRefManagerInspect* manager = Manager(*module);
    const auto flush = [&] { ASSERT_TRUE(Flush(hwnd)); };
    const auto reload = [&] {
        const int loads = matrix->SetBooksCalls();
        window->Logout(0);
        ASSERT_TRUE(WaitUntil([&] { return matrix->SetBooksCalls() > loads; }));
        flush();
    };
    // Runs body on a module loaded for the case alone, with a skin of the case's own ("" for the
    // real one), shown over the store.
    const auto withOwnModule = [&](const std::string& skin,
                                   const std::function<void(ModuleUnderTest&)>& body) {
        std::unique_ptr<ModuleWithSkin> custom;
        std::unique_ptr<ModuleUnderTest> plain;
        if (!skin.empty()) {
            custom = std::make_unique<ModuleWithSkin>(skin);
            ASSERT_TRUE(custom->Ok()) << custom->Error();
        } else {
            plain = std::make_unique<ModuleUnderTest>();
            ASSERT_TRUE(plain->Ok()) << plain->Error();
        }
        ModuleUnderTest& own = custom ? custom->Module() : *plain;
        own.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
        own.Window()->SetNotifySink(&sink, own.Module());
        own.Window()->SetHost(&store, kShelfKey);
        body(own);
        own.Window()->Close();
        EXPECT_FALSE(own.Window()->IsWindowAlive());
        EXPECT_TRUE(WindowsOfClass(L"VexilWindow").empty()) << "a window outlived Close";
    };
    const std::string realSkin = ReadRealSkinPackage();
    ASSERT_FALSE(realSkin.empty());

    std::vector<Case> cases = {
        {"a null sink disables what needs it and nothing else", true,
         [&] {
             window->SetNotifySink(nullptr, nullptr);
             const int requests = coverRequests;
             addBook(8500010, {});
             window->NotifyItem1003(8500010, 1);
             window->ForwardItemShown(8500010);
             matrix->UserDelete(8500001);
             matrix->SetSelection({8500002});
             manager->UserAskBatchDelete();
             flush();
             EXPECT_EQ(matrix->Ids(), shelf);
             EXPECT_EQ(window->IsBatchDeleteBusy(), 0);
             EXPECT_EQ(coverRequests.load(), requests);
             EXPECT_EQ(deletes.load() + opens.load(), 0);
             window->SetNotifySink(&sink, module->Module());
         }},
        {"a null host leaves the store in place", true,
         [&] {
             window->SetHost(nullptr, 99);
             reload();
             EXPECT_EQ(matrix->Ids(), shelf);
         }},
        {"cover paths: null clears, any length is handed on, an unknown book gets none", true,
         [&] {
             for (size_t length : {259u, 260u, 5000u}) {
                 const std::string path = "C:\\" + std::string(length - 7, 'c') + ".jpg";
                 window->SetBookCover(8500001, path.c_str());
                 EXPECT_EQ(matrix->ImagePath(8500001), path) << length << " characters";
             }
             window->SetBookCover(8500001, nullptr);
             EXPECT_EQ(matrix->ImagePath(8500001), "");
             window->SetBookCover(12345, "C:\\x.jpg");
             EXPECT_EQ(matrix->ImagePath(12345), "");
             EXPECT_EQ(matrix->Ids(), shelf);
         }},
        {"sign-in without an account does nothing; without key and name it signs in nameless", true,
         [&] {
             const int loads = matrix->SetBooksCalls();
             window->Login(nullptr, "key", "Name", 0);
             window->Login("", nullptr, nullptr, 0);
             flush();
             EXPECT_EQ(matrix->SetBooksCalls(), loads);
             window->Login("solo@example", nullptr, nullptr, 0);
             flush();
             EXPECT_EQ(matrix->SetBooksCalls(), loads + 1);
             EXPECT_EQ(manager->UserName(), "");
             EXPECT_FALSE(manager->SignedOut());
         }},
        {"very long account names are kept whole", true,
         [&] {
             const std::string user(99990, 'u');
             const std::string account = user + "@example";
             const std::string name(100000, 'n');
             window->Login(account.c_str(), "key", name.c_str(), 0);
             flush();
             EXPECT_EQ(manager->UserName(), name);
             const int loads = matrix->SetBooksCalls();
             window->Login(account.c_str(), "key", "KelvoU1", 0);
             flush();
             EXPECT_EQ(matrix->SetBooksCalls(), loads) << "the same account signed in again";
             window->Login((std::string(259, 'v') + "@x").c_str(), "key", "KelvoU2", 0);
             flush();
             EXPECT_EQ(manager->UserName(), std::string(259, 'v'));
         }},
        {"account names in UTF-8 and GBK bytes pass through unchanged", true,
         [&] {
             window->Login("\xE4\xB9\xA6\xE8\x99\xAB@example.cn", "key", "KelvoU7", 0);
             flush();
             EXPECT_EQ(manager->UserName(), "\xE4\xB9\xA6\xE8\x99\xAB");
             window->Login("gbk@example.cn", "\xC3\xDC\xD4\xBF", "\xC0\xEE\xCB\xC4", 0);
             flush();
             EXPECT_EQ(manager->UserName(), "\xC0\xEE\xCB\xC4");
         }},
        {"item texts outside the code page are shelved as the code page can show them", true,
         [&] {
             FakeItemData data;
             data.textA = L"\u4e66\u540d \u2603 \U0001D11E";
             data.textB = L"\u00dcn\u00efc\u00f8d\u00e9";
             data.textC = std::wstring(L"\xD800") + L" half a pair";
             data.iconUrl = L"http://covers.example/\u5c01\u9762.jpg";
             addBook(8500011, data);
             window->NotifyItem1001(8500011);
             flush();
             const std::vector<BOOK_INFO> books = matrix->Books();
             const BOOK_INFO* book = RecordOf(books, 8500011);
             ASSERT_NE(book, nullptr);
             EXPECT_EQ(book->strText2, Ansi(*data.textA));
             EXPECT_EQ(book->strText6, Ansi(*data.textB));
             EXPECT_EQ(book->strText5, Ansi(*data.textC));
         }},
        {"books-changed reports that cannot be read are refused", true,
         [&] {
             const int refreshes = matrix->UpdateBookInfoCalls();
             const int32_t one[] = {8500001};
             const BOOKS_CHANGED_REPORT nullIdsHugeCount = {0, 0, nullptr, INT_MAX,
                                                            BOOKS_CHANGED_CODE_CHANGED};
             const BOOKS_CHANGED_REPORT nullIdsAck = {0, 0, nullptr, 5, BOOKS_CHANGED_CODE_ACK};
             const BOOKS_CHANGED_REPORT negative = {0, 0, one, -3, BOOKS_CHANGED_CODE_CHANGED};
             const BOOKS_CHANGED_REPORT empty = {0, 0, nullptr, 0, BOOKS_CHANGED_CODE_CHANGED};
             EXPECT_EQ(SendReport(hwnd, nullptr), 1);
             EXPECT_EQ(SendReport(hwnd, &nullIdsHugeCount), 1);
             EXPECT_EQ(SendReport(hwnd, &nullIdsAck), 1);
             EXPECT_EQ(SendReport(hwnd, &negative), 0);
             EXPECT_EQ(SendReport(hwnd, &empty), 0);
             // A report whose sender does not wait for the answer may be gone when it is handled.
             const BOOKS_CHANGED_REPORT unwaited = {0, 0, one, 1, BOOKS_CHANGED_CODE_CHANGED};
             PostMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&unwaited));
             SendNotifyMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&unwaited));
             flush();
             EXPECT_EQ(matrix->UpdateBookInfoCalls(), refreshes);
         }},
        {"ids the store does not hold change nothing", true,
         [&] {
             for (int id : {0, -1, INT_MIN, INT_MAX}) {
                 window->RemoveItem(id);
                 window->NotifyItem1001(id);
                 window->NotifyItem1004(id, 1);
                 SendMessageW(hwnd, WM_BOOKRACK_COVER_READY, 0, id);
             }
             flush();
             EXPECT_EQ(matrix->Ids(), shelf);
             EXPECT_EQ(opens.load(), 0);
         }},
        {"a cover named after the icon address is taken up to the path limit", true,
         [&] {
             const int id = 8500012;
             const std::wstring prefix = LibraryFolder::Path() + L"\\" + std::to_wstring(id) + L".";
             const auto iconFor = [&](size_t pathLength) {
                 FakeItemData data;
                 data.iconUrl = L"http://covers.example/c." + std::wstring(pathLength - prefix.size(), L'e');
                 return data;
             };
             addBook(id, iconFor(259));
             window->NotifyItem1001(id);
             SendMessageW(hwnd, WM_BOOKRACK_COVER_READY, 0, id);
             const std::string atLimit = Ansi(prefix + std::wstring(259 - prefix.size(), L'e'));
             EXPECT_EQ(matrix->ImagePath(id), atLimit);
             store.AddItem(id, iconFor(260));
             SendMessageW(hwnd, WM_BOOKRACK_COVER_READY, 0, id);
             EXPECT_EQ(matrix->ImagePath(id), atLimit) << "a path past the limit was handed on";
         }},
        {"a file where the library folder should be: books still come, nothing is written", true,
         [&] {
             const std::wstring folder = LibraryFolder::Path();
             const std::wstring aside = folder + L".reliability" + std::to_wstring(GetCurrentProcessId());
             ASSERT_TRUE(MoveFileW(folder.c_str(), aside.c_str()));
             {
                 HANDLE file = CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
                 EXPECT_NE(file, INVALID_HANDLE_VALUE);
                 CloseHandle(file);
                 const int requests = coverRequests;
                 addBook(8500013, {});
                 window->NotifyItem1001(8500013);
                 SendMessageW(hwnd, WM_BOOKRACK_COVER_READY, 0, 8500013);
                 manager->UserChooseMode(0);
                 flush();
                 EXPECT_EQ(matrix->Ids(), shelf);
                 EXPECT_EQ(coverRequests.load(), requests);
                 EXPECT_EQ(matrix->ImagePath(8500013), "");
                 EXPECT_EQ(manager->ShowMode(), 0);
                 const DWORD attributes = GetFileAttributesW(folder.c_str());
                 EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                             !(attributes & FILE_ATTRIBUTE_DIRECTORY));
                 manager->UserChooseMode(1);
             }
             EXPECT_TRUE(DeleteFileW(folder.c_str()));
             ASSERT_TRUE(MoveFileW(aside.c_str(), folder.c_str()))
                 << "the library folder could not be put back";
         }},
        {"a display-mode file another program holds open is left as it was", true,
         [&] {
             HANDLE held = CreateFileW(LibraryFolder::FilePath(kIni).c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
             ASSERT_NE(held, INVALID_HANDLE_VALUE);
             manager->UserChooseMode(0);
             flush();
             CloseHandle(held);
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode1);
             manager->UserChooseMode(0);
             flush();
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode0) << "the new mode was not saved with the rest";
             manager->UserChooseMode(1);
             flush();
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode1);
         }},
        {"a null create block is refused and marks nothing", false,
         [&] {
             withOwnModule("", [&](ModuleUnderTest& own) {
                 EXPECT_FALSE(own.Window()->Create(nullptr));
                 EXPECT_FALSE(own.Window()->IsWindowAlive());
                 BOOKRACK_CREATE_PARAMS params = {};
                 EXPECT_TRUE(own.Window()->Create(&params));
             });
         }},
        {"create block fields at their limit are taken whole", false,
         [&] {
             withOwnModule("", [&](ModuleUnderTest& own) {
                 BOOKRACK_CREATE_PARAMS params = {};
                 memset(params.szAccountId, 'a', 259);
                 memset(params.szAccountInfo, 'i', 259);
                 memset(params.szAccountKey, 'k', 259);
                 params.bLoggedIn = 1;
                 ASSERT_TRUE(own.Window()->Create(&params));
                 EXPECT_TRUE(WaitUntil(
                     [&] { return Manager(own) && Manager(own)->UserName() == std::string(259, 'i'); }));
                 EXPECT_TRUE(WaitUntil([&] { return Matrix(own) && Matrix(own)->Ids() == shelf; }));
             });
         }},
        {"create block fields one past their limit count as empty and nothing is read beyond them", false,
         [&] {
             withOwnModule("", [&](ModuleUnderTest& own) {
                 BOOKRACK_CREATE_PARAMS params = {};
                 strcpy(params.szAccountId, "edge@example");
                 memset(params.szAccountInfo, 'i', sizeof(params.szAccountInfo));
                 memset(params.szAccountKey, 'k', sizeof(params.szAccountKey));
                 params.bLoggedIn = 1;
                 ASSERT_TRUE(own.Window()->Create(&params));
                 ASSERT_TRUE(WaitUntil([&] { return Matrix(own) && Matrix(own)->Ids() == shelf; }));
                 ASSERT_TRUE(Flush(own.Window()->GetHwnd()));
                 EXPECT_EQ(Manager(own)->UserName(), "");
             });
         }},
    };

    // A skin without one of the shelf's controls: the window is made, the controls it has stay
    // bound, nothing is loaded, and every call works on what is there.
    for (const char* control :
         {"BookrackMgr", "BMCC_BookMatrix", "BMCC_BookrackIeBrowser", "New_FolianBtn"}) {
        cases.push_back(
            {std::string("a bookshelf skin without ") + control, false, [&, control] {
                 const std::string skin = SkinWithoutControl(realSkin, control);
                 ASSERT_FALSE(skin.empty());
                 withOwnModule(skin, [&](ModuleUnderTest& own) {
                     CBookrackWindow* bare = own.Window();
                     ASSERT_TRUE(bare->Show(true, nullptr));
                     ASSERT_TRUE(WaitUntil(
                         [&] { return bare->IsWindowAlive() && IsWindowVisible(bare->GetHwnd()); }));
                     const HWND bareHwnd = bare->GetHwnd();
                     // A book is shelved only with both the matrix and the manager; the sign-in below
                     // loads the store's shelf into any matrix there is.
                     const bool canShelve = Matrix(own) != nullptr && Manager(own) != nullptr;
                     bare->NotifyItem1003(8500001, 1);
                     ASSERT_TRUE(Flush(bareHwnd));
                     if (IRefBookMatrixInspect* bareMatrix = Matrix(own)) {
                         EXPECT_EQ(bareMatrix->Ids(),
                                   canShelve ? std::vector<int>{8500001} : std::vector<int>{});
                     }
                     bare->RemoveItem(8500001);
                     const BOOKS_CHANGED_REPORT report = {0, 0, nullptr, 0, BOOKS_CHANGED_CODE_CHANGED};
                     SendReport(bareHwnd, &report);
                     bare->Login("skin@example", "key", "Skin", 0);
                     bare->RefreshTips();
                     bare->ShowNoBookTips();
                     bare->PopupManagerAtCursor(0);
                     bare->SetBookCover(8500001, "C:\\c.jpg");
                     bare->GetSelection();
                     bare->Show(false, nullptr);
                     bare->HideAll(true);
                     ASSERT_TRUE(Flush(bareHwnd));
                     if (IRefBookMatrixInspect* bareMatrix = Matrix(own)) {
                         EXPECT_EQ(bareMatrix->Ids(), shelf);
                     }
                     EXPECT_EQ(bare->IsBatchDeleteBusy(), 0);
                 });
             }});
    }
    // A batch-delete window without one of its controls: no batch starts, nothing is deleted, and the
    // shelf is left usable.
    for (const char* control : {"CloseBtn", "CancelBtn", "DelProgress", "ClearStateSpec"}) {
        cases.push_back({std::string("a batch-delete skin without ") + control, false, [&, control] {
                             const std::string skin = SkinWithoutControl(realSkin, control);
                             ASSERT_FALSE(skin.empty());
                             withOwnModule(skin, [&](ModuleUnderTest& own) {
                                 ASSERT_TRUE(ShowShelf(own, sink, store, kShelfKey, shelf));
                                 const int deletesBefore = deletes;
                                 Matrix(own)->SetSelection({shelf[0], shelf[1]});
                                 Manager(own)->UserAskBatchDelete();
                                 ASSERT_TRUE(Flush(own.Window()->GetHwnd()));
                                 EXPECT_EQ(own.Window()->IsBatchDeleteBusy(), 0);
                                 EXPECT_EQ(deletes.load(), deletesBefore);
                                 EXPECT_EQ(Matrix(own)->Ids(), shelf);
                                 EXPECT_TRUE(IsWindowEnabled(own.Window()->GetHwnd()));
                                 EXPECT_EQ(WindowsOfClass(L"VexilWindow").size(), 1u)
                                     << "a batch-delete window was left open";
                                 EXPECT_TRUE(own.Window()->Show(true, nullptr));
                             });
                         }});
    }

    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.name);
        if (!entry.onSharedShelf && module) {
            module.reset();
            matrix = nullptr;
            manager = nullptr;
        }
        entry.run();
        if (module) {
            EXPECT_TRUE(window->IsWindowAlive() && Flush(hwnd)) << "the shelf stopped answering";
        }
        const std::string ini = LibraryFolder::ReadFile(kIni);
        EXPECT_TRUE(ini == iniMode1 || ini == iniMode0) << "Folian.ini was left as:\n" << ini;
        EXPECT_EQ(LeftoverSaveFiles(), 0);
    }

    module.reset();
}

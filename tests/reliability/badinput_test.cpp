// Bad input that no other suite gives, as one table: a null sink, account names of any length or code
// page, ids the store does not hold, a cover path at the path limit, and a display-mode file another
// program holds open. Each case has a defined outcome, and after each one the user's display-mode
// file holds either its old or its new full content, never a part.
#include <shelftest/shelf.h>
#include <uiassist/scopedhandle.h>

#include <climits>
#include <functional>

using namespace shelftest;
using ::testing::_;

namespace {

constexpr wchar_t kIni[] = L"Folian.ini";

// What the system's ini writer makes of the user's file with the given display mode: the only two
// contents the file may have after any case.
std::string IniWithMode(const std::string& userContent, const wchar_t* mode) {
    const std::wstring name = L"reliability_ini_" + std::to_wstring(GetCurrentProcessId());
    LibraryFolder::WriteFile(name, userContent);
    WritePrivateProfileStringW(L"Folian", L"ShowMode", mode, LibraryFolder::FilePath(name).c_str());
    const std::string content = LibraryFolder::ReadFile(name);
    DeleteFileW(LibraryFolder::FilePath(name).c_str());
    return content;
}

// Whether a file the display-mode save writes first ("fol*.tmp") still lies in the library folder.
bool LeftoverSaveFile() {
    WIN32_FIND_DATAW found;
    return vexil::ScopedFind(FindFirstFileW(LibraryFolder::FilePath(L"fol*.tmp").c_str(), &found)).valid();
}

class BadInput : public ShelfTest {
protected:
    ShowModeFileGuard showModeFile; // put back after the module's unloading saved the display mode
};

} // namespace

TEST_F(BadInput, EveryKindOfBadInputHasADefinedOutcomeAndTheDisplayModeFileStaysWhole) {
    ExpectDiagnosticReports(); // several kinds of bad input are reported as they are refused
    Watchdog watchdog("the bad-input table", 200000);
    ASSERT_TRUE(showModeFile.Held());
    ASSERT_TRUE(LibraryFolder::Ensure());
    const std::string userIni = "[Other]\r\nkeep=yes\r\n[Folian]\r\nShowMode=1\r\n";
    const std::string iniMode1 = IniWithMode(userIni, L"1");
    const std::string iniMode0 = IniWithMode(userIni, L"0");
    ASSERT_NE(iniMode0, iniMode1);
    ASSERT_TRUE(LibraryFolder::WriteFile(kIni, iniMode1));

    std::atomic<int> coverRequests{0}, deletesAndOpens{0};
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([&](HWND, const wchar_t*, int) { ++coverRequests; });
    ON_CALL(sink, DeleteBook(_, _)).WillByDefault([&](int, int) { ++deletesAndOpens; });
    ON_CALL(sink, OpenBook(_, _)).WillByDefault([&](int, int) { ++deletesAndOpens; });
    std::vector<int> shelf = {8500001, 8500002, 8500003, 8500004};
    const auto addBook = [&](int id, FakeItemData data) {
        store.AddItem(id, std::move(data));
        shelf.push_back(id);
        store.SetShelf(kShelfKey, shelf);
    };
    ShowShelf(shelf);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a null sink disables what needs it and nothing else",
         [&] {
             Window()->SetNotifySink(nullptr, nullptr);
             const int requests = coverRequests;
             addBook(8500010, {});
             Window()->NotifyItem1003(8500010, 1);
             Window()->ForwardItemShown(8500010);
             Matrix()->UserDelete(8500001);
             Matrix()->SetSelection({8500002});
             Manager()->UserAskBatchDelete();
             Flush();
             EXPECT_EQ(Matrix()->Ids(), shelf);
             EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
             EXPECT_EQ(coverRequests.load(), requests);
             EXPECT_EQ(deletesAndOpens.load(), 0);
             Attach();
         }},
        {"account names of any length, in UTF-8 or GBK bytes, pass whole",
         [&] {
             const struct {
                 std::string account, info, shown;
             } logins[] = {
                 {std::string(99990, 'u') + "@example", std::string(100000, 'n'), std::string(100000, 'n')},
                 {std::string(259, 'v') + "@x", "KelvoU2", std::string(259, 'v')},
                 {"\xE4\xB9\xA6\xE8\x99\xAB@example.cn", "KelvoU7", "\xE4\xB9\xA6\xE8\x99\xAB"},
                 {"gbk@example.cn", "\xC0\xEE\xCB\xC4", "\xC0\xEE\xCB\xC4"}};
             for (const auto& login : logins) {
                 Window()->Login(login.account.c_str(), "key", login.info.c_str(), 0);
                 Flush();
                 EXPECT_EQ(Manager()->UserName(), login.shown) << login.account.substr(0, 20);
             }
         }},
        {"ids the store does not hold change nothing",
         [&] {
             for (int id : {0, -1, INT_MIN, INT_MAX}) {
                 Window()->RemoveItem(id);
                 Window()->NotifyItem1001(id);
                 Window()->NotifyItem1004(id, 1);
                 SendMessageW(Hwnd(), WM_BOOKRACK_COVER_READY, 0, id);
             }
             Flush();
             EXPECT_EQ(Matrix()->Ids(), shelf);
             EXPECT_EQ(deletesAndOpens.load(), 0);
         }},
        {"a cover named after the icon address is taken up to the path limit",
         [&] {
             const int id = 8500012;
             const std::wstring prefix = LibraryFolder::Path() + L"\\" + std::to_wstring(id) + L".";
             const auto iconFor = [&](size_t pathLength) {
                 FakeItemData data;
                 data.iconUrl = L"http://covers.example/c." + std::wstring(pathLength - prefix.size(), L'e');
                 return data;
             };
             addBook(id, iconFor(259));
             Window()->NotifyItem1001(id);
             SendMessageW(Hwnd(), WM_BOOKRACK_COVER_READY, 0, id);
             const std::string atLimit = AnsiPath(prefix + std::wstring(259 - prefix.size(), L'e'));
             EXPECT_EQ(Matrix()->ImagePath(id), atLimit);
             store.AddItem(id, iconFor(260));
             SendMessageW(Hwnd(), WM_BOOKRACK_COVER_READY, 0, id);
             EXPECT_EQ(Matrix()->ImagePath(id), atLimit) << "a path past the limit was handed on";
         }},
        {"a display-mode file another program holds open is left as it was",
         [&] {
             vexil::ScopedHandle held(CreateFileW(LibraryFolder::FilePath(kIni).c_str(), GENERIC_READ, 0,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
             ASSERT_TRUE(held.valid());
             Manager()->UserChooseMode(0);
             Flush();
             held.reset();
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode1);
             Manager()->UserChooseMode(0);
             Flush();
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode0) << "the new mode was not saved with the rest";
             Manager()->UserChooseMode(1);
             Flush();
             EXPECT_EQ(LibraryFolder::ReadFile(kIni), iniMode1);
         }},
    };

    for (const auto& [name, run] : cases) {
        SCOPED_TRACE(name);
        run();
        EXPECT_TRUE(Window()->IsWindowAlive() && shelftest::Flush(Hwnd())) << "the shelf stopped answering";
        const std::string ini = LibraryFolder::ReadFile(kIni);
        EXPECT_TRUE(ini == iniMode1 || ini == iniMode0) << "Folian.ini was left as:\n" << ini;
        EXPECT_FALSE(LeftoverSaveFile());
    }
}

// The display-mode file and the account switch.
#include <shelftest/shelf.h>

namespace librarytest {
using namespace shelftest;
namespace {

std::wstring IniValue(const wchar_t* section, const wchar_t* key) {
    wchar_t value[64] = {};
    GetPrivateProfileStringW(section, key, L"<none>", value, 64,
                             LibraryFolder::FilePath(L"Folian.ini").c_str());
    return value;
}

// Files the display-mode save may have left beside the ini file.
std::vector<std::wstring> LeftoverTempFiles() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(LibraryFolder::FilePath(L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

class AccountTest : public ShelfTest {
protected:
    // The test owns Folian.ini: it is put back as it was once the module is gone.
    void OwnShowModeFile() {
        auto guard = std::make_shared<ShowModeFileGuard>();
        ASSERT_TRUE(guard->Held());
        ASSERT_TRUE(LibraryFolder::Ensure());
        AtTeardown([guard]() mutable { guard.reset(); });
    }

    bool WaitForUserName(const std::string& name) {
        return WaitUntil([&] { return Manager()->UserName() == name && !Manager()->SignedOut(); });
    }
};

TEST_F(AccountTest, TheChosenDisplayModeIsSavedAtOnceAndAgainWhenTheModuleGoes) {
    OwnShowModeFile();
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", "[Folian]\r\nShowMode=7\r\n"));
    CreateShelf();

    Manager()->UserChooseMode(0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");
    Manager()->UserChooseMode(1);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");

    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", "[Folian]\r\nShowMode=1\r\n"));
    module->Unload();
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");
}

TEST_F(AccountTest, SavingTheDisplayModeKeepsEverythingElseInTheFile) {
    OwnShowModeFile();
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini",
                                         "[Other]\r\nkey=value\r\n[Folian]\r\nShowMode=1\r\nExtra=5\r\n"));
    CreateShelf();

    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);
    EXPECT_EQ(IniValue(L"Folian", L"ShowMode"), L"0");
    EXPECT_EQ(IniValue(L"Folian", L"Extra"), L"5");
    EXPECT_EQ(IniValue(L"Other", L"key"), L"value");
    EXPECT_TRUE(LeftoverTempFiles().empty());

    // A new file is made when there is none.
    ASSERT_TRUE(LibraryFolder::RemoveFile(L"Folian.ini"));
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 1, 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
}

TEST_F(AccountTest, AReadOnlyDisplayModeFileIsLeftUntouched) {
    OwnShowModeFile();
    const std::string bytes = "[Folian]\r\nShowMode=1\r\n; kept by the user\r\n";
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", bytes));
    const std::wstring ini = LibraryFolder::FilePath(L"Folian.ini");
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    CreateShelf();
    // Every test process saves the display mode when it unloads the module, without the library lock.
    ASSERT_EQ(LibraryFolder::ReadFile(L"Folian.ini"), bytes) << "another process replaced the file meanwhile";

    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);
    EXPECT_EQ(LibraryFolder::ReadFile(L"Folian.ini"), bytes);
    EXPECT_NE(GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(LeftoverTempFiles().empty());
}

TEST_F(AccountTest, ANewWindowStartsInModeOneWhateverTheFileSays) {
    OwnShowModeFile();
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", "[Folian]\r\nShowMode=0\r\n"));
    store.SetShelfWithItems(kShelfKey, {71});
    Attach();
    ASSERT_TRUE(Window()->Show(false, nullptr));
    ASSERT_TRUE(WaitForLoads(1));
    EXPECT_EQ(Manager()->ShowMode(), 1);
}

TEST_F(AccountTest, TheManagerShowsTheDisplayNameOrForGeneratedNamesTheAccountsUserPart) {
    CreateShelf();
    EXPECT_TRUE(WaitForUserName(kAccountInfo));

    struct Case {
        const char* account;
        const char* displayName;
        const char* shown;
    };
    const Case cases[] = {
        {"bob@example.com", "KelvoU10001", "bob"},     {"carol", "KelvoU10002", "carol"},
        {"dave@example.com", "Reader KelvoU", "dave"}, // the mark anywhere in the name
        {"erin@example.com", "kelvou5", "kelvou5"},    // the mark is case-sensitive
        {"frank@example.com", "Frank", "Frank"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.account);
        Window()->Login(c.account, "key", c.displayName, 0);
        EXPECT_TRUE(WaitForUserName(c.shown)) << "shown: " << Manager()->UserName();
    }

    Window()->Logout(0);
    EXPECT_TRUE(WaitUntil([&] { return Manager()->SignedOut(); }));
    EXPECT_EQ(Manager()->UserName(), "");
}

} // namespace
} // namespace librarytest

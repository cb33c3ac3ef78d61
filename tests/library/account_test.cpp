// The display-mode file and the account switch.
#include <shelftest/shelf.h>

using namespace shelftest;

namespace {

// Files the display-mode save may have left beside the ini file.
bool LeftoverTempFiles() { return !FindFiles(LibraryFolder::FilePath(L"*.tmp")).empty(); }

class AccountTest : public ShelfTest {
protected:
    // The test owns Folian.ini: it is put back as it was once the module is gone.
    void OwnShowModeFile() {
        auto guard = std::make_shared<ShowModeFileGuard>();
        ASSERT_TRUE(guard->Held());
        ASSERT_TRUE(LibraryFolder::Ensure());
        AtTeardown([guard]() mutable { guard.reset(); });
    }
};

TEST_F(AccountTest, TheChosenDisplayModeIsSavedAtOnceWithTheRestOfTheFileAndAgainWhenTheWindowCloses) {
    OwnShowModeFile();
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini",
                                         "[Other]\r\nkey=value\r\n[Folian]\r\nShowMode=7\r\nExtra=5\r\n"));
    CreateShelf();

    Manager()->UserChooseMode(0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");
    EXPECT_EQ(LibraryFolder::ReadIni(L"Folian", L"Extra"), L"5");
    EXPECT_EQ(LibraryFolder::ReadIni(L"Other", L"key"), L"value");
    EXPECT_FALSE(LeftoverTempFiles());
    Manager()->UserChooseMode(1);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"0");

    // A new file is made when there is none; the window's thread saves the mode once more as it ends.
    ASSERT_TRUE(LibraryFolder::RemoveFile(L"Folian.ini"));
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 1, 0);
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", "[Folian]\r\nShowMode=0\r\n"));
    module->Unload();
    EXPECT_EQ(LibraryFolder::ReadShowMode(), L"1");
}

TEST_F(AccountTest, AReadOnlyDisplayModeFileIsLeftUntouched) {
    OwnShowModeFile();
    const std::string bytes = "[Folian]\r\nShowMode=1\r\n; kept by the user\r\n";
    ASSERT_TRUE(LibraryFolder::WriteFile(L"Folian.ini", bytes));
    const std::wstring ini = LibraryFolder::FilePath(L"Folian.ini");
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    CreateShelf();
    // Every test process saves the display mode when its window closes, without the library lock.
    ASSERT_EQ(LibraryFolder::ReadFile(L"Folian.ini"), bytes) << "another process replaced the file meanwhile";

    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);
    EXPECT_EQ(LibraryFolder::ReadFile(L"Folian.ini"), bytes);
    EXPECT_NE(GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(LeftoverTempFiles());
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
    const struct {
        const char *account, *displayName, *shown;
    } cases[] = {
        {"bob@example.com", "KelvoU10001", "bob"},     {"carol", "KelvoU10002", "carol"},
        {"dave@example.com", "Reader KelvoU", "dave"}, // the mark anywhere in the name
        {"erin@example.com", "kelvou5", "kelvou5"},    // the mark is case-sensitive
        {"frank@example.com", "Frank", "Frank"},
    };
    for (const auto& c : cases) {
        Window()->Login(c.account, "key", c.displayName, 0);
        Flush();
        EXPECT_EQ(Manager()->UserName(), c.shown) << c.account;
    }
    Window()->Logout(0);
    Flush();
    EXPECT_TRUE(Manager()->SignedOut());
    EXPECT_EQ(Manager()->UserName(), "");
}

} // namespace

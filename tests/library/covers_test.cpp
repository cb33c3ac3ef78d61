// The library folder and the books' cover files.
#include <shelftest/shelf.h>

using namespace shelftest;

namespace {

// The folder above the library folder (...\AppData\Roaming\KelvoDesktop).
std::wstring ProductFolder() { return LibraryFolder::Path().substr(0, LibraryFolder::Path().rfind(L'\\')); }

class CoverTest : public ShelfTest {
protected:
    // Moves path aside for the test; afterwards what the test left there goes and the original returns.
    void MoveAside(const std::wstring& path) {
        LockLibrary();
        const std::wstring aside = path + L".aside" + std::to_wstring(GetCurrentProcessId());
        const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (existed) {
            ASSERT_TRUE(MoveFileW(path.c_str(), aside.c_str())) << "cannot move the folder aside";
        }
        AtTeardown([path, aside, existed] {
            RemoveFolderTree(path);
            DeleteFileW(path.c_str());
            if (existed)
                MoveFileW(aside.c_str(), path.c_str());
        });
    }
};

TEST_F(CoverTest, TheLibraryFolderAndItsParentsAreCreatedWhenFirstNeededAndKeptAfterwards) {
    MoveAside(ProductFolder());
    store.AddItem(41);
    EXPECT_CALL(sink, RequestCover(::testing::_, ::testing::StrEq(LibraryFolder::Path()), 41)).Times(2);
    CreateShelf(); // an empty shelf needs no folder yet

    Window()->NotifyItem1001(41);
    EXPECT_TRUE(IsFolder(LibraryFolder::Path()));
    ASSERT_TRUE(LibraryFolder::WriteFile(L"41.png", "cover"));
    Window()->NotifyItem1001(41);
    EXPECT_EQ(LibraryFolder::ReadFile(L"41.png"), "cover") << "the existing folder was made anew";
}

TEST_F(CoverTest, TheHostsCoverIsNamedAfterTheIconAddressOnlyWhenThatStaysInTheLibraryFolder) {
    UseCovers({7});
    store.SetShelfWithItems(kShelfKey, {7});
    CreateShelf();
    ASSERT_TRUE(WaitForCoverRequests({7}));

    const struct {
        std::wstring iconUrl;
        std::wstring coverFile; // empty: no cover path is formed
    } cases[] = {
        {L"http://covers.example/books/cover.large.png", L"7.png"},
        {L"jpeg", L"7.jpeg"}, // no point: the whole address is the extension
        {L"http://covers.example/cover", L""},
        {L"http://covers.example/a.b/..\\..\\evil", L""},
        {L"http://covers.example/cover.png:stream", L""},
        {L"http://covers.example/c.d/../../../Windows/x", L""},
        {L"http://covers.example/cover." + std::wstring(300, L'p'), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(AnsiPath(c.iconUrl.substr(0, 60)));
        FakeItemData data;
        data.iconUrl = c.iconUrl;
        store.AddItem(7, data);
        Window()->SetBookCover(7, "");
        const int imageCalls = Matrix()->SetBookImageCalls();
        Send(WM_BOOKRACK_COVER_READY, 0, 7);
        if (c.coverFile.empty()) {
            EXPECT_EQ(Matrix()->SetBookImageCalls(), imageCalls);
        }
        EXPECT_EQ(Matrix()->ImagePath(7),
                  c.coverFile.empty() ? "" : AnsiPath(LibraryFolder::FilePath(c.coverFile)));
    }

    // A book the store does not hold gets nothing.
    const int imageCalls = Matrix()->SetBookImageCalls();
    Send(WM_BOOKRACK_COVER_READY, 0, 8);
    EXPECT_EQ(Matrix()->SetBookImageCalls(), imageCalls);
}

TEST_F(CoverTest, AFileWhereTheLibraryFolderShouldBeGetsNoCoverAndNoRequest) {
    MoveAside(LibraryFolder::Path());
    ASSERT_TRUE(CreateDirectoryW(ProductFolder().c_str(), nullptr) || IsFolder(ProductFolder()));
    const std::string blocker = "a file, not the library folder";
    ASSERT_TRUE(WriteBytes(LibraryFolder::Path(), blocker));

    store.SetShelfWithItems(kShelfKey, {7});
    CreateShelf();
    // A reload from an empty store joins the first loader, whose request for book 7 is then over.
    store.SetShelf(kShelfKey, {});
    Send(WM_BOOKRACK_LOGOUT, 0, 0);
    store.SetShelf(kShelfKey, {7});
    Window()->NotifyItem1001(7);
    Send(WM_BOOKRACK_LOAD_ITEM, 7, 0);
    Send(WM_BOOKRACK_COVER_READY, 0, 7);
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);

    EXPECT_TRUE(CoverIds().empty());
    EXPECT_EQ(Matrix()->ImagePath(7), "");
    EXPECT_EQ(ReadBytes(LibraryFolder::Path()), blocker);
}

} // namespace

// The library folder and the books' cover files.
#include <shelftest/shelf.h>

#include <uiassist/diag.h>
#include <uiassist/textconv.h>

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

// A library folder that cannot be had: a file stands in its place, or a profile folder so deep that
// its path no longer fits MAX_PATH.
enum class NoLibrary { kFileInItsPlace, kPathTooLong };
class NoLibraryTest : public CoverTest, public ::testing::WithParamInterface<NoLibrary> {};

TEST_P(NoLibraryTest, TheBooksStayShelvedWithoutCoversOrRequestsAndTheNoteSaysWhy) {
    const std::string blocker = "a file, not the library folder";
    if (GetParam() == NoLibrary::kFileInItsPlace) {
        MoveAside(LibraryFolder::Path());
        ASSERT_TRUE(CreateDirectoryW(ProductFolder().c_str(), nullptr) || IsFolder(ProductFolder()));
        ASSERT_TRUE(WriteBytes(LibraryFolder::Path(), blocker));
    } else {
        // C:\users\ (9) + 215 + \AppData\Roaming (16) + \KelvoDesktop\Folian (20) = 260 characters.
        ASSERT_NO_FATAL_FAILURE(MoveAppDataTo(L"C:\\users\\" + std::wstring(215, L'p')));
    }

    store.SetShelfWithItems(kShelfKey, {7});
    CreateShelf();
    // A reload from an empty store joins the first loader, whose request for book 7 is then over.
    store.SetShelf(kShelfKey, {});
    Send(WM_BOOKRACK_LOGOUT, 0, 0);
    store.SetShelf(kShelfKey, {7});
    const long notes = vexil::FailureNoteCount();
    Window()->NotifyItem1001(7);
    Send(WM_BOOKRACK_LOAD_ITEM, 7, 0);
    Send(WM_BOOKRACK_COVER_READY, 0, 7);
    Notify(VEXIL_NOTIFY_SHOWMODE_CHOSEN, 0, 0);

    EXPECT_EQ(Shelved(), Strings{"7 Title/Author/Text C ready"});
    EXPECT_TRUE(CoverIds().empty());
    EXPECT_EQ(Matrix()->ImagePath(7), "");
    if (GetParam() == NoLibrary::kFileInItsPlace) {
        EXPECT_EQ(ReadBytes(LibraryFolder::Path()), blocker);
    }
#if defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS // a release module keeps its notes to itself
    EXPECT_GT(vexil::FailureNoteCount(), notes);
    EXPECT_NE(vexil::LastFailureNote().find("no library folder"), std::string::npos)
        << vexil::LastFailureNote();
#else
    (void)notes;
#endif
}

INSTANTIATE_TEST_SUITE_P(Cases, NoLibraryTest,
                         ::testing::Values(NoLibrary::kFileInItsPlace, NoLibrary::kPathTooLong),
                         [](const auto& info) {
                             return info.param == NoLibrary::kFileInItsPlace ? "FileInItsPlace"
                                                                             : "PathTooLong";
                         });

// A profile folder named with characters the code page may not hold: Greek and Chinese (held by
// code page 936, not by 1252), and Devanagari (held by neither).
class ForeignProfileTest : public ShelfTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(ForeignProfileTest, EveryCoverPathHandedToTheMatrixOpensTheCoverAndNoneNamesAnotherFile) {
    ASSERT_NO_FATAL_FAILURE(MoveAppDataTo(std::wstring(L"C:\\users\\") + GetParam()));
    ASSERT_TRUE(LibraryFolder::WriteFile(L"7.jpg", "cover 7"));
    const auto withIcon = [](const wchar_t* iconUrl) {
        FakeItemData data;
        data.iconUrl = iconUrl;
        return data;
    };
    store.AddItem(7);
    store.AddItem(8, withIcon(L"http://covers.example/8.png"));
    store.AddItem(9, withIcon(L"http://covers.example/9.gif"));
    // An extension the code page may not hold names a file nobody wrote yet: no short name either.
    store.AddItem(10, withIcon(L"http://covers.example/10.\u091c\u092a"));
    store.SetShelf(kShelfKey, {7, 8, 9, 10});
    const auto opens = [&](int id, const std::string& bytes) {
        const std::string path = Matrix()->ImagePath(id);
        return !path.empty() && ReadBytes(vexil::AnsiToWide(path.c_str())) == bytes;
    };

    // The loader hands over the cover lying in the folder, and asks the host for the others.
    CreateShelf();
    ASSERT_TRUE(WaitForCoverRequests({8, 9, 10})) << "the loader stalled";
    EXPECT_TRUE(opens(7, "cover 7")) << Matrix()->ImagePath(7);

    // The host's own covers: one written before its message, one after.
    ASSERT_TRUE(LibraryFolder::WriteFile(L"8.png", "cover 8"));
    Send(WM_BOOKRACK_COVER_READY, 0, 8);
    EXPECT_TRUE(opens(8, "cover 8")) << Matrix()->ImagePath(8);
    Send(WM_BOOKRACK_COVER_READY, 0, 9);
    ASSERT_TRUE(LibraryFolder::WriteFile(L"9.gif", "cover 9"));
    EXPECT_TRUE(opens(9, "cover 9")) << Matrix()->ImagePath(9);

    // A path with no exact form at all is not handed on, and the note says which book.
    const long notes = vexil::FailureNoteCount();
    Send(WM_BOOKRACK_COVER_READY, 0, 10);
    EXPECT_EQ(Matrix()->ImagePath(10), "");
#if defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS // a release module keeps its notes to itself
    EXPECT_GT(vexil::FailureNoteCount(), notes);
    EXPECT_NE(vexil::LastFailureNote().find("book 10:"), std::string::npos) << vexil::LastFailureNote();
#else
    (void)notes;
#endif
}

INSTANTIATE_TEST_SUITE_P(Profiles, ForeignProfileTest,
                         ::testing::Values(L"\u03a9mega \u5f20\u4f1f",
                                           L"\u03a9mega \u5f20\u4f1f \u0926\u0940\u092a"),
                         [](const auto& info) {
                             return info.index == 0 ? "GreekAndChinese" : "AlsoDevanagari";
                         });

} // namespace

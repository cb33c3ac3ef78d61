// A load finds its covers from one look at the library folder: each book gets what a search for
// that book alone finds when the loader asks for it.
#include <shelftest/shelf.h>

#include <coverindex.h>

#include <atomic>
#include <thread>

using namespace shelftest;
using ::testing::_;
using ::testing::AnyNumber;
using ::testing::Truly;

namespace {

// The test's own lookup of a book's cover, one book at a time: the first "<id>.<extension>" file
// (no folder) in the folder's enumeration order; "" when there is none.
std::wstring CoverBySearch(int id) {
    const std::wstring prefix = std::to_wstring(id) + L".";
    for (const WIN32_FIND_DATAW& found : FindFiles(LibraryFolder::FilePath(prefix + L"*"))) {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name.size() > prefix.size() &&
            name.compare(0, prefix.size(), prefix) == 0)
            return name;
    }
    return L"";
}

using CoverIndexTest = ShelfTest;

TEST_F(CoverIndexTest, EachBookOfALoadGetsTheCoverASearchForItAloneWouldFind) {
    const std::vector<int> shelf = {6, 1, 7, 8, 9, 17, 18, 21, 22, 23, 70};
    UseCovers(shelf);
    AtTeardown([] {
        for (const wchar_t* name : {L"018.png", L"18x.png", L"9"})
            LibraryFolder::RemoveFile(name);
    });
    // "018.png" and "18x.png" are no covers of book 18, nor a file "9" without extension of book 9.
    for (const wchar_t* name : {L"7.jpg", L"7.png", L"7.txt.bak", L"17.png", L"70.png", L"018.png",
                                L"18x.png", L"9", L"9.jpg", L"22.gif", L"22.jpg", L"23.png"}) {
        ASSERT_TRUE(LibraryFolder::WriteFile(name, "cover")) << AnsiPath(name);
    }
    // Folders named like covers are not covers.
    ASSERT_TRUE(CreateDirectoryW(LibraryFolder::FilePath(L"8.d").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(LibraryFolder::FilePath(L"9.a").c_str(), nullptr));

    // Every request names the window. The host, asked for book 6's cover while the loader waits,
    // changes the folder the loader looked at.
    EXPECT_CALL(sink, RequestCover(_, _, _)).Times(0);
    EXPECT_CALL(sink, RequestCover(Truly([this](HWND window) { return window == Hwnd(); }), _, _))
        .Times(AnyNumber());
    onCoverRequest = [](HWND, int id) {
        if (id != 6)
            return;
        LibraryFolder::WriteFile(L"21.png", "written since");
        LibraryFolder::RemoveFile(L"22.gif");
        LibraryFolder::RemoveFile(L"23.png");
    };
    store.SetShelfWithItems(kShelfKey, shelf);
    CreateShelf();
    // Book 70 is the loader's last request.
    ASSERT_TRUE(WaitUntil([&] { return !Matrix()->ImagePath(70).empty(); }));

    std::vector<int> withoutCover;
    for (const int id : shelf) {
        SCOPED_TRACE(id);
        const std::wstring cover = CoverBySearch(id);
        EXPECT_EQ(Matrix()->ImagePath(id), cover.empty() ? "" : AnsiPath(LibraryFolder::FilePath(cover)));
        if (cover.empty())
            withoutCover.push_back(id);
    }
    EXPECT_EQ(CoverIds(), withoutCover);
    EXPECT_TRUE(Events("missing").empty()) << "every book resolved";
    EXPECT_EQ(withoutCover, (std::vector<int>{6, 1, 8, 18, 23}));

    // A host that asks for a book's cover itself gets the search's answer too, after the load.
    ASSERT_TRUE(LibraryFolder::RemoveFile(L"9.jpg"));
    ASSERT_TRUE(LibraryFolder::WriteFile(L"9.png", "cover"));
    Send(WM_BOOKRACK_LOAD_ITEM, 9, 0);
    EXPECT_EQ(Matrix()->ImagePath(9), AnsiPath(LibraryFolder::FilePath(L"9.png")));
}

// A folder of covers "1.jpg" ... under %TEMP%, of the scan test's own: the library folder is shared
// with other test processes. Wine creates each file in time that grows with the folder, so the
// folder is kept for later runs.
std::wstring FolderOfCovers(int files) {
    const std::wstring folder = TempPath(L"kelvo_scan_" + std::to_wstring(files));
    if (bookrack::CoverIndex::Build(folder).Size() != static_cast<size_t>(files)) {
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int id = 1; id <= files; ++id)
            WriteBytes(folder + L"\\" + std::to_wstring(id) + L".jpg", "");
    }
    return folder;
}

TEST(CoverIndexScan, AStopEndsTheScanOfAFolderOfTwentyThousandFilesWithinFiftyMilliseconds) {
    constexpr int kFiles = 20000;
    constexpr int kStopAt = 1000;
    constexpr ULONGLONG kStopBoundMs = 50;
    const std::wstring folder = FolderOfCovers(kFiles);
    ASSERT_EQ(bookrack::CoverIndex::Build(folder).Size(), static_cast<size_t>(kFiles));

    // The loader's stop comes while the scan is held at entry kStopAt: the scan ends at that entry.
    const vexil::ScopedHandle reached(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const vexil::ScopedHandle resume(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> stop{false};
    std::atomic<int> entries{0};
    ULONGLONG returnedAt = 0;
    size_t found = 0;
    std::thread loader([&] {
        const bookrack::CoverIndex index = bookrack::CoverIndex::Build(folder, [&] {
            if (++entries == kStopAt) {
                SetEvent(reached.get());
                WaitForSingleObject(resume.get(), kDefaultWaitMs);
            }
            return stop.load();
        });
        returnedAt = GetTickCount64();
        found = index.Size();
    });
    const bool scanning = WaitForSingleObject(reached.get(), kDefaultWaitMs) == WAIT_OBJECT_0;
    stop = true;
    const ULONGLONG stoppedAt = GetTickCount64();
    SetEvent(resume.get());
    loader.join();
    ASSERT_TRUE(scanning);
    EXPECT_LT(returnedAt - stoppedAt, kStopBoundMs);
    EXPECT_EQ(entries.load(), kStopAt) << "the scan went on after the stop";
    EXPECT_LE(found, static_cast<size_t>(kStopAt));
}

} // namespace

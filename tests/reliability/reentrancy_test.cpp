// A host whose sink calls straight back into the interface from inside the shelf's callbacks, on the
// window thread: the removal it reports from DeleteBook, the cover it names from RequestCover, the
// shelf it hides from OpenBook and the account it signs in from OnBookCountChanged all take effect,
// without a deadlock and without leaving the shelf out of step with the store.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <mutex>

using namespace shelftest;

namespace {

std::string CoverPath(int id) { return "C:\\covers\\" + std::to_string(id) + ".jpg"; }

bool EveryCoverNamed(IRefBookMatrixInspect* matrix) {
    const std::vector<int> ids = matrix->Ids();
    return std::all_of(ids.begin(), ids.end(),
                       [&](int id) { return matrix->ImagePath(id) == CoverPath(id); });
}

} // namespace

TEST(Reentrancy, ASinkCallingBackIntoTheShelfFromItsCallbacksNeitherDeadlocksNorCorruptsIt) {
    Watchdog watchdog("the re-entrancy test", 60000);
    constexpr int kShelfKey = 7;
    FakeShelfStore store;
    std::vector<int> shelf = {8200001, 8200002, 8200003, 8200004, 8200005, 8200006};
    std::mutex shelfLock;
    store.SetShelfWithItems(kShelfKey, shelf);
    ModuleUnderTest module;
    ASSERT_TRUE(module.Ok()) << module.Error();
    CBookrackWindow* window = module.Window();
    HostSink sink;
    std::atomic<int> wrongThread{0};
    std::vector<int> opened;
    sink.deleteBook = [&](int id, int) {
        wrongThread += GetCurrentThreadId() == window->GetUiThreadId() ? 0 : 1;
        {
            std::lock_guard<std::mutex> guard(shelfLock);
            shelf.erase(std::remove(shelf.begin(), shelf.end(), id), shelf.end());
            store.RemoveItem(id);
            store.SetShelf(kShelfKey, shelf);
        }
        window->RemoveItem(id);
    };
    sink.requestCover = [&](HWND, const wchar_t*, int id) {
        window->SetBookCover(id, CoverPath(id).c_str());
    };
    sink.openBook = [&](int id, int) {
        opened.push_back(id);
        window->Hide();
    };
    sink.onBookCountChanged = [&](int count) {
        const std::string n = std::to_string(count);
        window->Login(("reader" + n + "@example").c_str(), "key", ("Reader " + n).c_str(), 0);
    };

    ASSERT_TRUE(ShowShelf(module, sink, store, kShelfKey, shelf));
    const HWND hwnd = window->GetHwnd();
    IRefBookMatrixInspect* matrix = module.Matrix();
    IRefManagerInspect* manager = module.Manager();
    // The count of the first load signed in "reader6", whose load asked for every cover again.
    EXPECT_EQ(manager->UserName(), "Reader 6");
    EXPECT_TRUE(WaitUntil([&] { return EveryCoverNamed(matrix); }))
        << "a cover named from RequestCover was lost";

    // An arrival: its count signs in another account, whose reload keeps the new book.
    {
        std::lock_guard<std::mutex> guard(shelfLock);
        store.AddItem(8200007);
        shelf.push_back(8200007);
        store.SetShelf(kShelfKey, shelf);
    }
    window->NotifyItem1001(8200007);
    ASSERT_TRUE(Flush(hwnd));
    EXPECT_EQ(matrix->Ids(), shelf);
    EXPECT_EQ(manager->UserName(), "Reader 7");

    // The user deletes one book: the sink reports its removal from inside the matrix's notification.
    matrix->UserDelete(8200002);
    ASSERT_TRUE(Flush(hwnd));
    EXPECT_EQ(matrix->Ids(), shelf);
    EXPECT_EQ(manager->UserName(), "Reader 6");

    // A batch delete: the removals the sink reports from DeleteBook arrive while the batch runs.
    const int endNotices = matrix->BatchDeleteEndNotices();
    matrix->SetSelection({8200003, 8200004});
    manager->UserAskBatchDelete();
    ASSERT_TRUE(WaitUntil([&] {
        return matrix->BatchDeleteEndNotices() > endNotices && window->IsBatchDeleteBusy() == 0;
    })) << "the batch delete never ended";
    ASSERT_TRUE(Flush(hwnd));
    EXPECT_EQ(matrix->Ids(), (std::vector<int>{8200001, 8200005, 8200006, 8200007}));
    EXPECT_EQ(matrix->Ids(), shelf);
    EXPECT_EQ(manager->UserName(), "Reader 4");
    EXPECT_EQ(wrongThread.load(), 0) << "DeleteBook ran on a thread other than the window's";

    // Opening a book hides the shelf from inside OpenBook, whether the host or the user opens it.
    window->NotifyItem1003(8200005, 1);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(window->IsShown());
    ASSERT_TRUE(window->Show(true, nullptr));
    matrix->UserOpen(8200006);
    ASSERT_TRUE(Flush(hwnd));
    EXPECT_EQ(opened, (std::vector<int>{8200005, 8200006}));
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // Nothing was left half done: the shelf answers, its covers are named, no batch counts as running.
    EXPECT_TRUE(WaitUntil([&] { return EveryCoverNamed(matrix); }));
    EXPECT_EQ(matrix->Ids(), shelf);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
    window->Close();
    EXPECT_FALSE(window->IsWindowAlive());
}

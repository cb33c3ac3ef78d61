// A host whose sink calls straight back into the interface from inside the shelf's callbacks, on the
// window thread: the removal it reports from DeleteBook, the cover it names from RequestCover, the
// shelf it hides from OpenBook and the account it signs in from OnBookCountChanged all take effect,
// without a deadlock and without leaving the shelf out of step with the store.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <mutex>

using namespace shelftest;
using ::testing::_;

namespace {

using Reentrancy = ShelfTest;

std::string CoverPath(int id) { return "C:\\covers\\" + std::to_string(id) + ".jpg"; }

} // namespace

TEST_F(Reentrancy, ASinkCallingBackIntoTheShelfFromItsCallbacksNeitherDeadlocksNorCorruptsIt) {
    Watchdog watchdog("the re-entrancy test", 60000);
    std::vector<int> shelf = {8200001, 8200002, 8200003, 8200004, 8200005, 8200006};
    std::mutex shelfLock;
    std::atomic<bool> wrongThread{false};
    std::vector<int> opened;
    ON_CALL(sink, DeleteBook(_, _)).WillByDefault([&](int id, int) {
        if (GetCurrentThreadId() != Window()->GetUiThreadId())
            wrongThread = true;
        {
            std::lock_guard<std::mutex> guard(shelfLock);
            shelf.erase(std::remove(shelf.begin(), shelf.end(), id), shelf.end());
            store.RemoveItem(id);
            store.SetShelf(kShelfKey, shelf);
        }
        Window()->RemoveItem(id);
    });
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([&](HWND, const wchar_t*, int id) {
        Window()->SetBookCover(id, CoverPath(id).c_str());
    });
    ON_CALL(sink, OpenBook(_, _)).WillByDefault([&](int id, int) {
        opened.push_back(id);
        Window()->Hide();
    });
    ON_CALL(sink, OnBookCountChanged(_, _)).WillByDefault([&](int count, int) {
        const std::string n = std::to_string(count);
        Window()->Login(("reader" + n + "@example").c_str(), "key", ("Reader " + n).c_str(), 0);
    });
    ON_CALL(sink, ToggleBookOption(_)).WillByDefault(::testing::Return(true));
    const auto everyCoverNamed = [&] {
        const std::vector<int> ids = Matrix()->Ids();
        return std::all_of(ids.begin(), ids.end(),
                           [&](int id) { return Matrix()->ImagePath(id) == CoverPath(id); });
    };

    ShowShelf(shelf);
    // The count of the first load signed in "reader6", whose load asked for every cover again.
    EXPECT_EQ(Manager()->UserName(), "Reader 6");
    EXPECT_TRUE(WaitUntil(everyCoverNamed)) << "a cover named from RequestCover was lost";

    // The user deletes one book: the sink reports its removal from inside the matrix's notification.
    Matrix()->UserDelete(8200002);
    Flush();
    EXPECT_EQ(Matrix()->Ids(), shelf);
    EXPECT_EQ(Manager()->UserName(), "Reader 5");

    // A batch delete: the removals the sink reports from DeleteBook arrive while the batch runs.
    const int endNotices = Matrix()->BatchDeleteEndNotices();
    Matrix()->SetSelection({8200003, 8200004});
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices)) << "the batch delete never ended";
    Flush();
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{8200001, 8200005, 8200006}));
    EXPECT_EQ(Matrix()->Ids(), shelf);
    EXPECT_EQ(Manager()->UserName(), "Reader 3");
    EXPECT_FALSE(wrongThread) << "DeleteBook ran on a thread other than the window's";

    // Opening a book hides the shelf from inside OpenBook, whether the host or the user opens it.
    Window()->NotifyItem1003(8200005, 1);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_FALSE(Window()->IsShown());
    ASSERT_TRUE(Window()->Show(true, nullptr));
    Matrix()->UserOpen(8200006);
    Flush();
    EXPECT_EQ(opened, (std::vector<int>{8200005, 8200006}));
    EXPECT_FALSE(IsWindowVisible(Hwnd()));

    // Nothing was left half done: the shelf answers, its covers are named, no batch counts as running.
    EXPECT_TRUE(WaitUntil(everyCoverNamed));
    EXPECT_EQ(Matrix()->Ids(), shelf);
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    Window()->Close();
    EXPECT_FALSE(Window()->IsWindowAlive());
}

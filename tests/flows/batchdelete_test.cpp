// Deleting the selected books in one batch: the user asks on the manager, the sink agrees, the
// progress window paces one request per book, the matrix drops the deleted books, and the events
// that arrived meanwhile are replayed at the end.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>

using namespace shelftest;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;

namespace {

class BatchTest : public ShownShelfTest {
protected:
    // Selects ids, asks for a batch delete as the user does and waits for the batch's end.
    void RunBatch(const std::vector<int>& ids) {
        Matrix()->SetSelection(ids);
        const int endNotices = Matrix()->BatchDeleteEndNotices();
        Manager()->UserAskBatchDelete();
        ASSERT_TRUE(WaitForBatchEnd(endNotices));
    }
};

// The numbers of a text, in order ("deleted 2 books, 1 left" gives 2, 1).
// The progress text as the user reads it: "<done> books deleted, <left> to go", in Chinese.
std::wstring ProgressText(int done, int left) {
    return L"\u5df2\u5220\u9664" + std::to_wstring(done) + L"\u672c\u4e66\uff0c\u8fd8\u5269" +
           std::to_wstring(left) + L"\u672c";
}

TEST_F(BatchTest, RemovesTheSelectedBooksInOrderShowingProgressAndReplaysEventsQueuedMeanwhile) {
    EXPECT_CALL(sink, ToggleBookOption(0)).WillOnce(Return(true));
    EXPECT_CALL(sink, OnBookShown(105));
    std::vector<int> deleted;
    bool duringRun = true; // owner disabled, batch busy, the manager's option taken
    bool arrivalWaited = false;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(3).WillRepeatedly(Invoke([&](int id, int) {
        const int index = static_cast<int>(deleted.size());
        deleted.push_back(id);
        duringRun &=
            Manager()->OptionState() && !IsWindowEnabled(Hwnd()) && Window()->IsBatchDeleteBusy() == 1;
        // The steps posted so far, handled: the window shows exactly the books requested before.
        PumpMessages();
        auto* text = PatchDelControl<IRefStaticInspect>("ClearStateSpec");
        auto* bar = PatchDelControl<IRefProgressInspect>("DelProgress");
        ASSERT_TRUE(text && bar);
        if (index > 0) {
            EXPECT_EQ(text->Text(), ProgressText(index, 3 - index));
            EXPECT_EQ(bar->Pos(), index * 100 / 3);
        }
        // A host takes the book out of its store and says so; another book arrives meanwhile.
        store.RemoveItem(id);
        Window()->RemoveItem(id);
        if (index == 0) {
            store.AddItem(105);
            Window()->NotifyItem1001(105);
            const std::vector<int> ids = Matrix()->Ids();
            arrivalWaited = std::find(ids.begin(), ids.end(), 105) == ids.end();
        }
    }));

    RunBatch({101, 103, 104});
    EXPECT_EQ(deleted, (std::vector<int>{101, 103, 104}));
    EXPECT_TRUE(duringRun);
    EXPECT_TRUE(arrivalWaited) << "an arrival during the batch must wait for its end";
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), (std::vector<int>{101, 103, 104}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 105}));
    EXPECT_EQ(Manager()->BookCount(), 2);
    EXPECT_FALSE(Manager()->OptionState());
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    EXPECT_TRUE(WaitUntil([&] { return PatchDelWindow() == nullptr; }));
}

TEST_F(BatchTest, CancelOrCloseDuringARunFinishesTheBookInProgressThenEndsWithNotice1) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    std::vector<int> deleted;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(2).WillRepeatedly(Invoke([&](int id, int) {
        deleted.push_back(id);
        auto* button = PatchDelControl<IRefButtonInspect>(deleted.size() == 1 ? "CancelBtn" : "CloseBtn");
        ASSERT_NE(button, nullptr);
        button->UserClick();
    }));
    for (const std::vector<int>& selection : {std::vector<int>{101, 102}, std::vector<int>{103, 104}}) {
        RunBatch(selection);
        EXPECT_EQ(deleted.back(), selection.front());
        EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{selection.front()});
        EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
        EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    }
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 104}));
}

TEST_F(BatchTest, StopByTheOwnerEndsTheRunWithNotice0AndAnIdleStopChangesNothing) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    // Nothing runs: this must not mark the next run as aborted.
    Window()->StopBatchDelete(true);
    std::vector<int> deleted;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(3).WillRepeatedly(Invoke([&](int id, int) {
        deleted.push_back(id);
        if (id == 101) // the host stops the batch from another thread
            std::thread([&] { Window()->StopBatchDelete(true); }).join();
        else if (id == 102) // the host hides everything from inside its delete handler
            Window()->HideAll(true);
    }));

    RunBatch({101, 103});
    EXPECT_EQ(deleted, std::vector<int>{101});
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 0u);
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));

    ASSERT_TRUE(Window()->Show(true, nullptr));
    RunBatch({102, 103});
    EXPECT_EQ(deleted, (std::vector<int>{101, 102}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 0u);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));

    // The next run that nobody stops reports 1 again.
    ASSERT_TRUE(Window()->Show(true, nullptr));
    RunBatch({103});
    EXPECT_EQ(deleted, (std::vector<int>{101, 102, 103}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
}

TEST_F(BatchTest, ASelectionEmptiedDuringARunEndsItAndAStrayStepDeletesNothing) {
    EXPECT_CALL(sink, ToggleBookOption(_)).Times(2).WillRepeatedly(Return(true));
    EXPECT_CALL(sink, DeleteBook(101, 1)).WillOnce(Invoke([&](int, int) { Matrix()->SetSelection({}); }));
    // A step one past the selection, asked while the run deletes its first book, ends that run too.
    EXPECT_CALL(sink, DeleteBook(102, 1)).WillOnce(Invoke([&](int, int) {
        SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 2, 0);
    }));
    RunBatch({101, 102, 103});
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{101});
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 103, 104}));
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    RunBatch({102, 103});
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{102});
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{103, 104}));

    // A step that no running batch asked for, and one past the selection.
    Matrix()->SetSelection({103});
    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 5, 0), 0);
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(Matrix()->Selection(), std::vector<int>{103});
}

TEST_F(BatchTest, ARefusingSinkOrNothingSelectedStartsNoBatchAndMessagesThatNoRunSentLeaveARunningOneAlone) {
    // The sink refuses; the sink agrees but no run can start: the batch option is released again.
    EXPECT_CALL(sink, ToggleBookOption(_)).WillOnce(Return(false)).WillRepeatedly(Return(true));
    for (const std::vector<int>& selection : {std::vector<int>{101, 102}, std::vector<int>{}}) {
        Matrix()->SetSelection(selection);
        Manager()->UserAskBatchDelete();
        Flush();
        EXPECT_FALSE(Manager()->OptionState());
        EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
        EXPECT_EQ(PatchDelWindow(), nullptr);
    }

    int calls = 0;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(3).WillRepeatedly(Invoke([&](int, int) {
        if (++calls != 1)
            return;
        // A second start, a done notice and the matrix's end notice, none of them from this run.
        SendMessageW(Hwnd(), WM_BOOKRACK_BATCH_DELETE, 0, 0);
        SendMessageW(Hwnd(), WM_BOOKRACK_BATCH_DELETE_DONE, 1, 0);
        Notify(VEXIL_NOTIFY_BATCH_DELETE_END, 1, 0);
        EXPECT_EQ(Window()->IsBatchDeleteBusy(), 1);
    }));
    RunBatch({102, 103, 104});
    EXPECT_EQ(Matrix()->RemoveBooksCalls(), 1);
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), (std::vector<int>{102, 103, 104}));
    EXPECT_EQ(Matrix()->Ids(), std::vector<int>{101});
}

TEST_F(BatchTest, ClosingDuringARunEndsItAndTheModuleMayBeUnloadedRightAway) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    std::atomic<int> calls{0};
    EXPECT_CALL(sink, DeleteBook(_, 1)).WillRepeatedly(Invoke([&](int, int) { ++calls; }));
    Matrix()->SetSelection(kShelf);
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitUntil([&] { return calls == 1; }));
    Window()->Close();
    EXPECT_FALSE(Window()->IsWindowAlive());
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    // No batch counts as running any more, so the shelf can be shown again.
    ASSERT_TRUE(Window()->Show(true, nullptr));
    ASSERT_TRUE(WaitUntil([&] { return Matrix() && Matrix()->Ids().size() > 1; }));

    // Unloaded right after Close ended a second run: Close has waited for every thread the module
    // started, so the module goes at once, and loading it again gives a fresh object.
    Matrix()->SetSelection(Matrix()->Ids());
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitUntil([&] { return calls == 2; }));
    module->Unload();
    EXPECT_EQ(GetModuleHandleW(L"desktopui.dll"), nullptr);
    module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok()) << module->Error();
    Attach();
    BOOKRACK_CREATE_PARAMS params = {};
    EXPECT_TRUE(module->Window()->Create(&params));
}

TEST(BatchDeleteSkin, AProgressWindowLackingAControlStartsNoRun) {
    ExpectDiagnosticReports(); // the incomplete batch-delete window is reported
    for (const char* control : {"CloseBtn", "CancelBtn", "DelProgress", "ClearStateSpec"}) {
        SCOPED_TRACE(control);
        ::testing::NiceMock<MockShelfSink> sink;
        FakeShelfStore store;
        ModuleWithSkin withSkin(SkinWithoutControl(ReadRealSkinPackage(), control));
        ASSERT_TRUE(withSkin.Ok()) << withSkin.Error();
        store.SetShelfWithItems(7, kShelf);
        ASSERT_TRUE(ShowShelf(withSkin.Module(), sink, store, 7, kShelf));
        ON_CALL(sink, ToggleBookOption(_)).WillByDefault(Return(true));
        EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
        withSkin.Module().Matrix()->SetSelection({101, 102});
        withSkin.Module().Manager()->UserAskBatchDelete();
        ASSERT_TRUE(Flush(withSkin.Module().Window()->GetHwnd()));
        EXPECT_EQ(withSkin.Module().Window()->IsBatchDeleteBusy(), 0);
        EXPECT_EQ(withSkin.Module().FindWindowNamed(L"MsgBox.PatchDel"), nullptr);
        EXPECT_TRUE(IsWindowEnabled(withSkin.Module().Window()->GetHwnd()));
        withSkin.Module().Unload();
    }
}

} // namespace

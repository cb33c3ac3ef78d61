// Deleting the selected books in one batch: the user asks on the manager, the sink agrees, the
// progress window paces one request per book, the matrix drops the deleted books, and the events
// that arrived meanwhile are replayed at the end.
#include <shelftest/shelf.h>

#include <algorithm>
#include <atomic>
#include <cctype>

using namespace shelftest;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;

namespace flows {
namespace {

using FlowTest = ShownShelfTest;

// The numbers of a text, in order ("deleted 2 books, 1 left" gives 2, 1).
std::vector<int> NumbersIn(const std::string& text) {
    std::vector<int> numbers;
    for (size_t i = 0; i < text.size();) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        int value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            value = value * 10 + (text[i++] - '0');
        numbers.push_back(value);
    }
    return numbers;
}

// Reads what the progress window shows at the moment it is destroyed: its last state.
class FinalProgressWatch {
public:
    explicit FinalProgressWatch(ModuleUnderTest& module) : m_module(module) {
        s_current = this;
        const DWORD thread = GetWindowThreadProcessId(module.Window()->GetHwnd(), nullptr);
        m_hook = SetWindowsHookExW(WH_CBT, &FinalProgressWatch::Hook, nullptr, thread);
    }
    ~FinalProgressWatch() {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        s_current = nullptr;
    }
    bool Installed() const { return m_hook != nullptr; }
    bool Seen() const { return m_seen.load(); }
    std::string Text() const { return m_text; }
    int Pos() const { return m_pos; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        FinalProgressWatch* self = s_current;
        if (code == HCBT_DESTROYWND && self)
            self->Record(reinterpret_cast<HWND>(wParam));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Record(HWND hwnd) {
        ISkinWindow* skin = m_module.SkinWindowOf(hwnd);
        auto* named = dynamic_cast<IRefSkinWindowInspect*>(skin);
        if (!named || named->WindowName() != L"MsgBox.PatchDel")
            return;
        auto* text = dynamic_cast<IRefStaticInspect*>(skin->GetControl("ClearStateSpec"));
        auto* bar = dynamic_cast<IRefProgressInspect*>(skin->GetControl("DelProgress"));
        m_text = text ? text->Text() : "";
        m_pos = bar ? bar->Pos() : -1;
        m_seen = true;
    }

    static inline FinalProgressWatch* s_current = nullptr;
    ModuleUnderTest& m_module;
    HHOOK m_hook = nullptr;
    std::string m_text;
    int m_pos = -1;
    std::atomic<bool> m_seen{false};
};

// An event that a test thread and the window thread hand each other, with a bound on every wait.
class Signal {
public:
    Signal() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Signal() { CloseHandle(m_event); }
    void Set() { SetEvent(m_event); }
    bool Wait() { return WaitForSingleObject(m_event, kDefaultWaitMs) == WAIT_OBJECT_0; }

private:
    HANDLE m_event;
};

TEST_F(FlowTest, BatchDeleteRemovesTheSelectedBooksInOrderAndReplaysEventsQueuedMeanwhile) {
    FinalProgressWatch watch(*module);
    ASSERT_TRUE(watch.Installed());
    Matrix()->SetSelection({101, 103, 104});
    EXPECT_CALL(sink, ToggleBookOption(0)).WillOnce(Return(true));
    EXPECT_CALL(sink, OnBookShown(105));

    std::vector<int> deleted;
    bool ownerDisabledThroughout = true;
    bool busyThroughout = true;
    bool arrivalWaited = false;
    bool optionOnThroughout = true;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(3).WillRepeatedly(Invoke([&](int id, int) {
        const int index = static_cast<int>(deleted.size());
        deleted.push_back(id);
        optionOnThroughout &= Manager()->OptionState();
        ownerDisabledThroughout &= !IsWindowEnabled(Hwnd());
        busyThroughout &= Window()->IsBatchDeleteBusy() == 1;
        // What the progress window shows lags at most behind the books requested so far.
        auto* text = PatchDelControl<IRefStaticInspect>("ClearStateSpec");
        auto* bar = PatchDelControl<IRefProgressInspect>("DelProgress");
        ASSERT_TRUE(text && bar);
        const std::vector<int> shown = NumbersIn(text->Text());
        if (!shown.empty()) {
            ASSERT_EQ(shown.size(), 2u) << text->Text();
            EXPECT_LE(shown[0], index);
            EXPECT_EQ(shown[0] + shown[1], 3);
            EXPECT_EQ(bar->Pos(), shown[0] * 100 / 3);
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

    const int endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));

    EXPECT_EQ(deleted, (std::vector<int>{101, 103, 104}));
    EXPECT_TRUE(ownerDisabledThroughout);
    EXPECT_TRUE(busyThroughout);
    EXPECT_TRUE(arrivalWaited) << "an arrival during the batch must wait for its end";
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), (std::vector<int>{101, 103, 104}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 105}));
    EXPECT_EQ(Manager()->BookCount(), 2);
    // The manager shows the batch option taken while the batch runs and releases it at its end.
    EXPECT_TRUE(optionOnThroughout);
    EXPECT_FALSE(Manager()->OptionState());
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    EXPECT_TRUE(WaitUntil([&] { return PatchDelWindow() == nullptr; }));
    ASSERT_TRUE(watch.Seen());
    EXPECT_EQ(NumbersIn(watch.Text()), (std::vector<int>{3, 0})) << watch.Text();
    EXPECT_EQ(watch.Pos(), 100);
}

TEST_F(FlowTest, CancelOrCloseDuringARunFinishesTheBookInProgressThenEndsWithNotice1) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    const struct {
        const char* button;
        std::vector<int> selection;
    } rounds[] = {{"CancelBtn", {101, 102}}, {"CloseBtn", {103, 104}}};
    std::vector<int> deleted;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(2).WillRepeatedly(Invoke([&](int id, int) {
        deleted.push_back(id);
        auto* button = PatchDelControl<IRefButtonInspect>(deleted.size() == 1 ? "CancelBtn" : "CloseBtn");
        ASSERT_NE(button, nullptr);
        button->UserClick();
    }));

    for (const auto& round : rounds) {
        SCOPED_TRACE(round.button);
        Matrix()->SetSelection(round.selection);
        const int endNotices = Matrix()->BatchDeleteEndNotices();
        Manager()->UserAskBatchDelete();
        ASSERT_TRUE(WaitForBatchEnd(endNotices));
        EXPECT_EQ(deleted.back(), round.selection.front());
        EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{round.selection.front()});
        EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
        EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    }
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 104}));
}

TEST_F(FlowTest, StopByTheOwnerEndsTheRunWithNotice0AndAnIdleStopChangesNothing) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    // Nothing runs: this must not mark the next run as aborted.
    Window()->StopBatchDelete(true);

    Signal reached;
    Signal release;
    std::vector<int> deleted;
    EXPECT_CALL(sink, DeleteBook(_, 1)).Times(3).WillRepeatedly(Invoke([&](int id, int) {
        deleted.push_back(id);
        if (id == 101) {
            // The host stops the batch from its own thread while this book is being deleted.
            reached.Set();
            EXPECT_TRUE(release.Wait());
        } else if (id == 102) {
            // The host hides everything from inside its delete handler.
            Window()->HideAll(true);
        }
    }));

    Matrix()->SetSelection({101, 103});
    int endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(reached.Wait());
    Window()->StopBatchDelete(true);
    release.Set();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));
    EXPECT_EQ(deleted, std::vector<int>{101});
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 0u);
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));

    ASSERT_TRUE(Window()->Show(true, nullptr));
    Matrix()->SetSelection({102, 103});
    endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));
    EXPECT_EQ(deleted, (std::vector<int>{101, 102}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 0u);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));

    // The next run that nobody stops reports 1 again.
    ASSERT_TRUE(Window()->Show(true, nullptr));
    Matrix()->SetSelection({103});
    endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));
    EXPECT_EQ(deleted, (std::vector<int>{101, 102, 103}));
    EXPECT_EQ(Matrix()->LastRemoveBooksValue(), 1u);
}

TEST_F(FlowTest, ASelectionEmptiedDuringARunEndsItAndAStrayStepDeletesNothing) {
    EXPECT_CALL(sink, ToggleBookOption(_)).Times(2).WillRepeatedly(Return(true));
    EXPECT_CALL(sink, DeleteBook(101, 1)).WillOnce(Invoke([&](int, int) { Matrix()->SetSelection({}); }));
    // A step one past the selection, asked while the run deletes its first book, ends that run too.
    EXPECT_CALL(sink, DeleteBook(102, 1)).WillOnce(Invoke([&](int, int) {
        SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 2, 0);
    }));
    Matrix()->SetSelection({101, 102, 103});
    const int endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{101});
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{102, 103, 104}));
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
    Matrix()->SetSelection({102, 103});
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices + 1));
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), std::vector<int>{102});
    EXPECT_EQ(Matrix()->Ids(), (std::vector<int>{103, 104}));

    // A step that no running batch asked for, and one past the selection.
    Matrix()->SetSelection({103});
    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(Hwnd(), WM_BOOKRACK_DELETE_AT, 5, 0), 0);
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(Matrix()->Selection(), std::vector<int>{103});
}

TEST_F(FlowTest, RequestsAndNoticesThatNoRunSentLeaveARunningBatchAlone) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillOnce(Return(true));
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
    Matrix()->SetSelection({102, 103, 104});
    const int endNotices = Matrix()->BatchDeleteEndNotices();
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(WaitForBatchEnd(endNotices));
    EXPECT_EQ(Matrix()->RemoveBooksCalls(), 1);
    EXPECT_EQ(Matrix()->LastRemoveBooksIds(), (std::vector<int>{102, 103, 104}));
    EXPECT_EQ(Matrix()->Ids(), std::vector<int>{101});
}

TEST_F(FlowTest, ClosingDuringARunEndsItAndTheModuleMayBeUnloadedRightAway) {
    EXPECT_CALL(sink, ToggleBookOption(_)).WillRepeatedly(Return(true));
    Signal firstRun;
    Signal secondRun;
    std::atomic<int> calls{0};
    EXPECT_CALL(sink, DeleteBook(_, 1)).WillRepeatedly(Invoke([&](int, int) {
        if (++calls == 1)
            firstRun.Set();
        else
            secondRun.Set();
    }));

    Matrix()->SetSelection(kShelf);
    Manager()->UserAskBatchDelete();
    ASSERT_TRUE(firstRun.Wait());
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
    ASSERT_TRUE(secondRun.Wait());
    module->Unload();
    EXPECT_EQ(GetModuleHandleW(L"desktopui.dll"), nullptr);
    module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok()) << module->Error();
    Attach();
    BOOKRACK_CREATE_PARAMS params = {};
    EXPECT_TRUE(module->Window()->Create(&params));
}

TEST_F(FlowTest, ASinkThatRefusesStartsNoBatch) {
    EXPECT_CALL(sink, ToggleBookOption(0)).WillOnce(Return(false));
    EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
    Matrix()->SetSelection({101, 102});
    Manager()->UserAskBatchDelete();
    Flush();
    EXPECT_FALSE(Manager()->OptionState());
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    EXPECT_EQ(PatchDelWindow(), nullptr);
    EXPECT_EQ(Matrix()->Selection(), (std::vector<int>{101, 102}));
}

TEST(BatchDeleteSkin, AProgressWindowLackingAControlStartsNoRunAndLeavesTheShelfUsable) {
    // The incomplete batch-delete window is reported.
    ExpectDiagnosticReports();
    for (const char* control : {"CloseBtn", "CancelBtn", "DelProgress", "ClearStateSpec"}) {
        SCOPED_TRACE(control);
        ::testing::NiceMock<MockShelfSink> sink;
        FakeShelfStore store;
        store.SetShelfWithItems(7, kShelf);
        ModuleWithSkin withSkin(SkinWithoutControl(ReadRealSkinPackage(), control));
        ASSERT_TRUE(withSkin.Ok()) << withSkin.Error();
        ModuleUnderTest& module = withSkin.Module();
        ASSERT_TRUE(ShowShelf(module, sink, store, 7, kShelf));
        EXPECT_CALL(sink, ToggleBookOption(_)).Times(2).WillRepeatedly(Return(true));
        EXPECT_CALL(sink, DeleteBook(_, _)).Times(0);
        for (int attempt = 0; attempt < 2; ++attempt) {
            module.Matrix()->SetSelection({101, 102});
            module.Manager()->UserAskBatchDelete();
            ASSERT_TRUE(Flush(module.Window()->GetHwnd()));
            EXPECT_EQ(module.Window()->IsBatchDeleteBusy(), 0);
            EXPECT_TRUE(IsWindowEnabled(module.Window()->GetHwnd()));
            EXPECT_EQ(module.FindWindowNamed(L"MsgBox.PatchDel"), nullptr);
            EXPECT_FALSE(module.Manager()->OptionState()) << "the batch option stayed taken";
        }
        EXPECT_EQ(module.Matrix()->Ids(), kShelf);
        // Show refuses while a batch counts as running.
        EXPECT_TRUE(module.Window()->Show(true, nullptr));
        module.Unload();
    }
}

} // namespace
} // namespace flows

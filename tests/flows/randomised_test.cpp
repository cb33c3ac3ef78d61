// A seeded storm of the window's messages, control notifications, user gestures and interface calls,
// with edge values, while a host keeps its store and tells the shelf about every change. Afterwards
// the window must live, no batch may count as running, and the shelf must hold what the store holds.
#include "flowtest.h"

#include <uiassist/cwin32window.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>

using namespace shelftest;
using ::testing::_;
using ::testing::Invoke;

namespace flows {
namespace {

constexpr int kSteps = 2500;
constexpr unsigned kDefaultSeed = 20240611;

// The host: its store's shelf and the ids it holds, changed by the test thread and, through the
// sink's DeleteBook, by the window thread.
class Host {
public:
    Host(FakeShelfStore& store, int shelfKey) : m_store(store), m_shelfKey(shelfKey), m_ids(kShelf) {}

    void Add(int id) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end())
            return;
        m_store.AddItem(id);
        m_ids.push_back(id);
        m_store.SetShelf(m_shelfKey, m_ids);
    }
    void Remove(int id) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_ids.erase(std::remove(m_ids.begin(), m_ids.end(), id), m_ids.end());
        m_store.RemoveItem(id);
        m_store.SetShelf(m_shelfKey, m_ids);
    }
    std::vector<int> Ids() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_ids;
    }

private:
    std::mutex m_lock;
    FakeShelfStore& m_store;
    const int m_shelfKey;
    std::vector<int> m_ids;
};

unsigned Seed() {
    const char* text = std::getenv("KELVO_FLOW_SEED");
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : kDefaultSeed;
}

TEST_F(FlowTest, ASeededStormOfMessagesAndNotificationsLeavesTheShelfMatchingTheStore) {
    // Show is refused (and reported) whenever it meets a running batch delete.
    shelftest::ExpectDiagnosticReports();
    ShowModeFileGuard modeFile;
    ASSERT_TRUE(modeFile.Held());
    const unsigned seed = Seed();
    RecordProperty("seed", static_cast<int>(seed));
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KELVO_FLOW_SEED repeats a run)");
    std::mt19937 rng(seed);
    Host host(store, kShelfKey);
    const HWND hwnd = Hwnd();

    // The host's answers: a batch may start every other time; a deleted book leaves the store and the
    // host says so, as it does for any removal.
    std::atomic<int> toggles{0};
    std::atomic<int> batchDeletes{0};
    ON_CALL(sink, ToggleBookOption(_)).WillByDefault(Invoke([&](int) { return ++toggles % 2 == 1; }));
    ON_CALL(sink, DeleteBook(_, _)).WillByDefault(Invoke([&](int id, int flag) {
        if (flag == 1)
            ++batchDeletes;
        host.Remove(id);
        Window()->RemoveItem(id);
    }));

    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int nextNewId = 200;
    const auto anyId = [&]() -> int {
        const std::vector<int> ids = host.Ids();
        switch (pick(4)) {
        case 0:
        case 1:
            return ids.empty() ? 0 : ids[pick(static_cast<int>(ids.size()))];
        case 2: {
            const int edges[] = {0, -1, 1, INT_MAX, INT_MIN, 999999};
            return edges[pick(6)];
        }
        default:
            return static_cast<int>(rng());
        }
    };
    const auto anyValue = [&]() -> WPARAM {
        const WPARAM edges[] = {0, 1, static_cast<WPARAM>(-1), INT_MAX, static_cast<WPARAM>(INT_MIN), 2, 7};
        return pick(3) == 0 ? static_cast<WPARAM>(rng()) : edges[pick(7)];
    };
    // Delivered now or later, as interface calls and other threads do.
    const auto deliver = [&](UINT msg, WPARAM wParam, LPARAM lParam) {
        if (pick(2) == 0)
            SendMessageW(hwnd, msg, wParam, lParam);
        else
            PostMessageW(hwnd, msg, wParam, lParam);
    };
    const UINT customFirst = WM_BOOKRACK_MATRIX_NOTIFY;
    const UINT customLast = WM_BOOKRACK_DELETE_AT;

    for (int step = 0; step < kSteps && !HasFatalFailure(); ++step) {
        switch (pick(12)) {
        case 0: { // a book event from the host: a new book enters the store first
            int id = anyId();
            if (pick(2) == 0) {
                id = nextNewId++;
                host.Add(id);
            }
            const UINT events[] = {WM_BOOKRACK_ITEM_1001, WM_BOOKRACK_ITEM_1002, WM_BOOKRACK_ITEM_1003,
                                   WM_BOOKRACK_ITEM_1004, WM_BOOKRACK_ITEM_1005};
            deliver(events[pick(5)], static_cast<WPARAM>(id), static_cast<LPARAM>(anyValue()));
            break;
        }
        case 1: {
            const int id = anyId();
            host.Remove(id);
            deliver(WM_BOOKRACK_REMOVE_ITEM, static_cast<WPARAM>(id), 0);
            break;
        }
        case 2: { // any custom message that does not change the store, with edge values
            UINT msg = customFirst + static_cast<UINT>(pick(static_cast<int>(customLast - customFirst + 1)));
            if (msg == WM_BOOKRACK_REMOVE_ITEM ||
                (msg >= WM_BOOKRACK_ITEM_1001 && msg <= WM_BOOKRACK_ITEM_1005))
                msg = WM_BOOKRACK_LOAD_ITEM;
            deliver(msg, anyValue(), static_cast<LPARAM>(anyValue()));
            break;
        }
        case 3: { // the standard messages the window acts on, pointers only where they belong
            switch (pick(9)) {
            case 0:
                deliver(WM_MOVE, 0, static_cast<LPARAM>(rng()));
                break;
            case 1: {
                WINDOWPOS pos = {hwnd, nullptr, pick(300), pick(300), 0, 0, SWP_NOSIZE | SWP_NOMOVE};
                SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
                break;
            }
            case 2:
                deliver(WM_DISPLAYCHANGE, anyValue(), static_cast<LPARAM>(rng()));
                break;
            case 3:
                deliver(WM_MOUSEWHEEL, anyValue(), static_cast<LPARAM>(rng()));
                break;
            case 4: {
                COPYDATASTRUCT data = {static_cast<ULONG_PTR>(rng()), 0, nullptr};
                SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
                break;
            }
            case 5:
                deliver(WM_BOOKRACK_COVER_READY, anyValue(), static_cast<LPARAM>(anyId()));
                break;
            case 6: {
                int32_t ids[6];
                const int count = pick(7);
                for (int i = 0; i < count; ++i)
                    ids[i] = anyId();
                const int codes[] = {BOOKS_CHANGED_CODE_CHANGED, BOOKS_CHANGED_CODE_ACK, 25, 0, -1};
                BOOKS_CHANGED_REPORT report = {0, 0, pick(5) == 0 ? nullptr : ids, count, codes[pick(5)]};
                SendMessageW(hwnd, WM_BOOKRACK_BOOKS_CHANGED, 0,
                             pick(8) == 0 ? 0 : reinterpret_cast<LPARAM>(&report));
                break;
            }
            case 7: {
                const WPARAM commands[] = {SC_MINIMIZE, SC_RESTORE, SC_MAXIMIZE};
                PostMessageW(hwnd, WM_SYSCOMMAND, commands[pick(3)], 0);
                break;
            }
            default:
                SendMessageW(hwnd, pick(2) ? WM_ENTERSIZEMOVE : WM_EXITSIZEMOVE, 0, 0);
                break;
            }
            break;
        }
        case 4: { // messages the window does not know
            const UINT unknown[] = {WM_APP + 1018 + static_cast<UINT>(pick(100)),
                                    WM_USER + static_cast<UINT>(pick(1000)), WM_VEXIL_SYSCOMMAND,
                                    WM_VEXIL_CREATE_DONE};
            deliver(unknown[pick(4)], anyValue(), static_cast<LPARAM>(anyValue()));
            break;
        }
        case 5:
        case 6: { // control notifications, with a record or none where one belongs
            const int ids[] = {VEXIL_NOTIFY_ACTIVATE,         VEXIL_NOTIFY_SHOWMODE_CHOSEN,
                               VEXIL_NOTIFY_MINIMIZE,         VEXIL_NOTIFY_HIDE,
                               VEXIL_NOTIFY_OPEN_BOOK,        VEXIL_NOTIFY_DELETE_BOOK,
                               VEXIL_NOTIFY_BATCH_DELETE_END, VEXIL_NOTIFY_BATCH_DELETE_ASK,
                               VEXIL_NOTIFY_BUTTON_CLICK,     static_cast<int>(rng())};
            const int id = ids[pick(10)];
            BOOK_INFO info;
            info.strAppId = std::to_string(anyId());
            const bool takesRecord = id == VEXIL_NOTIFY_OPEN_BOOK || id == VEXIL_NOTIFY_DELETE_BOOK;
            const LPARAM record = takesRecord && pick(4) != 0 ? reinterpret_cast<LPARAM>(&info) : 0;
            Notify(id, anyValue(), takesRecord ? record : static_cast<LPARAM>(pick(2) ? 0 : rng()));
            break;
        }
        case 7: { // the user on the matrix and the manager
            const std::vector<int> shelved = Matrix()->Ids();
            switch (pick(5)) {
            case 0:
                Window()->PostMatrixNotify(REF_MATRIX_SELECT_ALL, 0);
                break;
            case 1:
                if (!shelved.empty())
                    Matrix()->UserClick(shelved[pick(static_cast<int>(shelved.size()))], pick(2), pick(2));
                break;
            case 2:
                Manager()->UserAskBatchDelete();
                break;
            case 3:
                if (!shelved.empty())
                    Matrix()->UserDelete(shelved[pick(static_cast<int>(shelved.size()))]);
                break;
            default:
                Manager()->UserChooseMode(pick(2));
                break;
            }
            break;
        }
        case 8: { // the progress window's buttons while a batch runs
            if (auto* button = PatchDelControl<IRefButtonInspect>(pick(2) ? "CancelBtn" : "CloseBtn"))
                button->UserClick();
            break;
        }
        case 9: // the host's interface calls
            switch (pick(6)) {
            case 0:
                Window()->Show(pick(2), nullptr);
                break;
            case 1:
                Window()->HideAll(pick(2));
                break;
            case 2:
                Window()->StopBatchDelete(pick(2));
                break;
            case 3:
                Window()->PopupManagerAtCursor(static_cast<DWORD>(rng()));
                break;
            case 4:
                Window()->RefreshTips();
                break;
            default:
                Window()->Hide();
                break;
            }
            break;
        default: // selections keep batches coming
            Window()->PostMatrixNotify(REF_MATRIX_SELECT_ALL, 0);
            Manager()->UserAskBatchDelete();
            break;
        }
    }

    // Let everything posted run out (it may start one more batch), then the last batch.
    Flush();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Window()->IsBatchDeleteBusy() == 0 && PatchDelWindow() == nullptr && IsWindowEnabled(hwnd);
        },
        30000));
    Flush();

    EXPECT_TRUE(Window()->IsWindowAlive());
    EXPECT_EQ(Window()->IsBatchDeleteBusy(), 0);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
    std::vector<int> shelf = Matrix()->Ids();
    std::vector<int> held = host.Ids();
    std::sort(shelf.begin(), shelf.end());
    std::sort(held.begin(), held.end());
    EXPECT_EQ(shelf, held);
    // The storm did reach the batch delete.
    EXPECT_GT(batchDeletes.load(), 0);
    EXPECT_GT(Matrix()->BatchDeleteEndNotices(), 0);
}

} // namespace
} // namespace flows

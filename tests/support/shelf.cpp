#include "shelftest/shelf.h"

#include <algorithm>
#include <cstring>
#include <iterator>

using ::testing::_;

namespace shelftest {

bool ShowShelf(ModuleUnderTest& module, IShelfSink& sink, FakeShelfStore& store, int shelfKey,
               const std::optional<std::vector<int>>& ids) {
    CBookrackWindow* window = module.Window();
    if (window == nullptr || module.Inspector() == nullptr)
        return false;
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, shelfKey);
    if (!window->Show(true, nullptr))
        return false;
    const bool shown = WaitUntil([&] {
        if (!IsWindowVisible(window->GetHwnd()))
            return false;
        IRefBookMatrixInspect* matrix = module.Matrix();
        return !ids || (matrix != nullptr && module.Manager() != nullptr && matrix->SetBooksCalls() >= 1 &&
                        matrix->Ids() == *ids);
    });
    return shown && Flush(window->GetHwnd());
}

void SinkLog::Add(std::string event) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back(std::move(event));
}

void SinkLog::AddCover(CoverRequest request) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back("cover " + std::to_string(request.id));
    m_covers.push_back(std::move(request));
}

std::vector<std::string> SinkLog::Events(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> events;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(events),
                 [&](const std::string& event) { return event.rfind(prefix, 0) == 0; });
    return events;
}

std::vector<CoverRequest> SinkLog::Covers() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_covers;
}

std::vector<int> SinkLog::CoverIds() const {
    std::vector<int> ids;
    for (const CoverRequest& request : Covers())
        ids.push_back(request.id);
    return ids;
}

void SinkLog::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.clear();
    m_covers.clear();
}

void ShelfTest::SetUp() {
    ModuleTest::SetUp();
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([this](HWND window, const wchar_t* folder, int id) {
        log.AddCover(CoverRequest{window, folder != nullptr ? folder : L"<null>", id});
    });
    ON_CALL(sink, OnBookShown(_)).WillByDefault([this](int id) { log.Add("shown " + std::to_string(id)); });
    ON_CALL(sink, OpenBook(_, _)).WillByDefault([this](int id, int flag) {
        log.Add("open " + std::to_string(id) + " " + std::to_string(flag));
    });
    ON_CALL(sink, OnBookCountChanged(_, _)).WillByDefault([this](int count, int) {
        log.Add("count " + std::to_string(count));
    });
    ON_CALL(sink, OnMissingBooks(_)).WillByDefault([this](const std::set<unsigned long>* ids) {
        std::string event = "missing";
        for (unsigned long id : ids != nullptr ? *ids : std::set<unsigned long>{})
            event += " " + std::to_string(id);
        log.Add(event);
    });
}

void ShelfTest::TearDown() {
    ModuleTest::TearDown();
    // The module's unloading saved the display mode: only now may files be put back.
    while (!m_atTeardown.empty()) {
        m_atTeardown.back()();
        m_atTeardown.pop_back();
    }
    m_libraryLock.reset();
}

void ShelfTest::LockLibrary() {
    m_libraryLock = std::make_unique<LibraryLock>();
    ASSERT_TRUE(m_libraryLock->Held()) << "the library folder stayed locked by another test";
}

void ShelfTest::AtTeardown(std::function<void()> fn) { m_atTeardown.push_back(std::move(fn)); }

void ShelfTest::CreateShelf(bool signedIn) {
    Attach();
    BOOKRACK_CREATE_PARAMS params = {};
    std::strcpy(params.szAccountId, kAccount);
    std::strcpy(params.szAccountInfo, kAccountInfo);
    std::strcpy(params.szAccountKey, "key");
    params.bLoggedIn = signedIn ? 1 : 0;
    ASSERT_TRUE(Window()->Create(&params));
    ASSERT_TRUE(WaitUntil([this] { return Matrix() && Matrix()->SetBooksCalls() >= 1 && Manager(); }))
        << "the window was not bound or never loaded its shelf";
    // Answered only once the window thread finished handling the account message of that load.
    Send(WM_NULL, 0, 0);
}

void ShelfTest::ShowShelf(const std::vector<int>& ids) {
    store.SetShelfWithItems(kShelfKey, ids);
    ASSERT_TRUE(shelftest::ShowShelf(*module, sink, store, kShelfKey, ids)) << "the shelf did not load";
}

LRESULT ShelfTest::Send(UINT msg, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(Hwnd(), msg, wParam, lParam, SMTO_NORMAL, kDefaultWaitMs, &result), 0)
        << "the window did not answer message 0x" << std::hex << msg;
    return static_cast<LRESULT>(result);
}

bool ShelfTest::WaitForBatchEnd(int endNoticesBefore) const {
    IRefBookMatrixInspect* matrix = Matrix();
    return matrix && WaitUntil([&] {
               return matrix->BatchDeleteEndNotices() > endNoticesBefore &&
                      Window()->IsBatchDeleteBusy() == 0;
           });
}

bool ShelfTest::WaitForCoverRequests(const std::vector<int>& ids, DWORD timeoutMs) const {
    return WaitUntil(
        [&] {
            const std::vector<int> requested = log.CoverIds();
            return std::all_of(ids.begin(), ids.end(), [&](int id) {
                return std::find(requested.begin(), requested.end(), id) != requested.end();
            });
        },
        timeoutMs);
}

bool ShelfTest::WaitForLoads(int count, DWORD timeoutMs) const {
    return WaitUntil([&] { return Matrix() != nullptr && Matrix()->SetBooksCalls() >= count; }, timeoutMs);
}

void ShownShelfTest::SetUp() {
    ShelfTest::SetUp();
    if (!HasFatalFailure())
        ShowShelf(kShelf);
}

} // namespace shelftest

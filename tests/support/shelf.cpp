#include "shelftest/shelf.h"

#include <algorithm>
#include <cstring>
#include <iterator>

using ::testing::_;

namespace shelftest {

bool ShowShelf(ModuleUnderTest& module, IShelfSink& sink, FakeShelfStore& store, int shelfKey,
               const std::optional<std::vector<int>>& ids) {
    CBookrackWindow* window = module.Window();
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, shelfKey);
    return window->Show(true, nullptr) && WaitUntil([&] {
               IRefBookMatrixInspect* matrix = module.Matrix();
               return IsWindowVisible(window->GetHwnd()) &&
                      (!ids ||
                       (matrix && module.Manager() && matrix->SetBooksCalls() >= 1 && matrix->Ids() == *ids));
           }) &&
           Flush(window->GetHwnd());
}

BOOKRACK_CREATE_PARAMS CreateParams(const char* accountId, const char* displayName, bool signedIn) {
    BOOKRACK_CREATE_PARAMS params = {};
    std::strncpy(params.szAccountId, accountId, sizeof(params.szAccountId) - 1);
    std::strncpy(params.szAccountInfo, displayName, sizeof(params.szAccountInfo) - 1);
    std::strcpy(params.szAccountKey, "key");
    params.bLoggedIn = signedIn ? 1 : 0;
    return params;
}

void ShelfTest::Log(std::string event) {
    std::lock_guard<std::mutex> guard(m_logLock);
    m_events.push_back(std::move(event));
}

Strings ShelfTest::Events(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(m_logLock);
    Strings events;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(events),
                 [&](const std::string& event) { return event.rfind(prefix, 0) == 0; });
    return events;
}

std::vector<int> ShelfTest::CoverIds() const {
    std::vector<int> ids;
    for (const std::string& event : Events("cover "))
        ids.push_back(std::stoi(event.substr(6)));
    return ids;
}

void ShelfTest::ClearLog() {
    std::lock_guard<std::mutex> guard(m_logLock);
    m_events.clear();
}

void ShelfTest::SetUp() {
    module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok()) << module->Error();
    ON_CALL(sink, RequestCover(_, _, _)).WillByDefault([this](HWND window, const wchar_t*, int id) {
        Log("cover " + std::to_string(id));
        if (onCoverRequest)
            onCoverRequest(window, id);
    });
    ON_CALL(sink, OnBookShown(_)).WillByDefault([this](int id) { Log("shown " + std::to_string(id)); });
    ON_CALL(sink, OpenBook(_, _)).WillByDefault([this](int id, int flag) {
        Log("open " + std::to_string(id) + " " + std::to_string(flag));
    });
    ON_CALL(sink, OnBookCountChanged(_, _)).WillByDefault([this](int count, int) {
        Log("count " + std::to_string(count));
    });
    ON_CALL(sink, OnMissingBooks(_)).WillByDefault([this](const std::set<unsigned long>* ids) {
        std::string event = "missing";
        for (unsigned long id : *ids)
            event += " " + std::to_string(id);
        Log(event);
    });
}

void ShelfTest::TearDown() {
    module.reset();
    // Closing the window (the unloading closes it) saved the display mode: only now may files be put
    // back.
    for (auto fn = m_atTeardown.rbegin(); fn != m_atTeardown.rend(); ++fn)
        (*fn)();
    m_atTeardown.clear();
    m_libraryLock.reset();
}

void ShelfTest::LockLibrary() {
    m_libraryLock = std::make_unique<LibraryLock>();
    ASSERT_TRUE(m_libraryLock->Held()) << "the library folder stayed locked by another test";
}

void ShelfTest::UseCovers(const std::vector<int>& ids) {
    if (!m_libraryLock)
        LockLibrary();
    RemoveCovers(ids);
    AtTeardown([ids] { RemoveCovers(ids); });
}

void ShelfTest::AtTeardown(std::function<void()> fn) { m_atTeardown.push_back(std::move(fn)); }

void ShelfTest::MoveAppDataTo(const std::wstring& profile) {
    auto moved = std::make_shared<MovedAppData>(profile);
    AtTeardown([moved]() mutable { moved.reset(); });
    ASSERT_TRUE(moved->Moved()) << "the application-data folder could not be moved";
}

void ShelfTest::Attach() {
    Window()->SetNotifySink(&sink, module->Module());
    Window()->SetHost(&store, kShelfKey);
}

void ShelfTest::CreateShelf(bool signedIn) {
    Attach();
    const BOOKRACK_CREATE_PARAMS params = CreateParams("alice@example.com", kAccountInfo, signedIn);
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

Strings ShelfTest::Shelved() const {
    Strings books;
    for (const BOOK_INFO& book : Matrix()->Books())
        books.push_back(book.strAppId + " " + book.strText2 + "/" + book.strText6 + "/" + book.strText5 +
                        (book.bReady ? " ready" : "") + (book.bValid ? "" : " invalid"));
    return books;
}

bool ShelfTest::WaitForBatchEnd(int endNoticesBefore) const {
    return WaitUntil([&] {
        return Matrix()->BatchDeleteEndNotices() > endNoticesBefore && Window()->IsBatchDeleteBusy() == 0;
    });
}

bool ShelfTest::WaitForCoverRequests(const std::vector<int>& ids) const {
    return WaitUntil([&] {
        const std::vector<int> requested = CoverIds();
        return std::all_of(ids.begin(), ids.end(), [&](int id) {
            return std::find(requested.begin(), requested.end(), id) != requested.end();
        });
    });
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

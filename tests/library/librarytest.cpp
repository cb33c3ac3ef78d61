#include "librarytest.h"

#include <cstring>

using ::testing::_;

namespace librarytest {

std::string AnsiPath(const std::wstring& path) {
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_THREAD_ACP, 0, path.c_str(), -1, &text[0], size, nullptr, nullptr);
    return text;
}

void RemoveCovers(const std::vector<int>& ids) {
    const std::wstring folder = shelftest::LibraryFolder::Path();
    for (const int id : ids) {
        const std::wstring prefix = std::to_wstring(id) + L".";
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring name = found.cFileName;
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(path.c_str());
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

ShowModeFileBackup::ShowModeFileBackup() {
    const std::wstring path = shelftest::LibraryFolder::FilePath(L"Folian.ini");
    m_attributes = GetFileAttributesW(path.c_str());
    m_existed = m_attributes != INVALID_FILE_ATTRIBUTES;
    if (m_existed)
        m_bytes = shelftest::LibraryFolder::ReadFile(L"Folian.ini");
}

ShowModeFileBackup::~ShowModeFileBackup() {
    const std::wstring path = shelftest::LibraryFolder::FilePath(L"Folian.ini");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!m_existed) {
        DeleteFileW(path.c_str());
        return;
    }
    shelftest::LibraryFolder::WriteFile(L"Folian.ini", m_bytes);
    SetFileAttributesW(path.c_str(), m_attributes);
}

void LibraryTest::SetUp() {
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

void LibraryTest::TearDown() {
    ModuleTest::TearDown();
    // The module's destruction saved the display mode: only now may files be put back.
    while (!m_atTeardown.empty()) {
        m_atTeardown.back()();
        m_atTeardown.pop_back();
    }
    m_libraryLock.reset();
}

void LibraryTest::LockLibrary() {
    m_libraryLock = std::make_unique<shelftest::LibraryLock>();
    ASSERT_TRUE(m_libraryLock->Held()) << "the library folder stayed locked by another test";
}

void LibraryTest::AtTeardown(std::function<void()> fn) { m_atTeardown.push_back(std::move(fn)); }

void LibraryTest::CreateShelf(bool signedIn) {
    Attach();
    BOOKRACK_CREATE_PARAMS params = {};
    strcpy(params.szAccountId, kAccount);
    strcpy(params.szAccountInfo, kAccountInfo);
    strcpy(params.szAccountKey, "key");
    params.bLoggedIn = signedIn ? 1 : 0;
    ASSERT_TRUE(Window()->Create(&params));
    WaitForFirstLoad();
}

void LibraryTest::ShowShelf() {
    Attach();
    ASSERT_TRUE(Window()->Show(true, nullptr));
    WaitForFirstLoad();
}

void LibraryTest::WaitForFirstLoad() {
    ASSERT_TRUE(shelftest::WaitUntil([this] {
        IRefBookMatrixInspect* matrix = Matrix();
        return matrix != nullptr && matrix->SetBooksCalls() >= 1 && Manager() != nullptr;
    })) << "the window was not bound or never loaded its shelf";
    // Answered only once the window thread finished handling the account message of that load.
    Send(WM_NULL, 0, 0);
}

bool LibraryTest::WaitForCoverRequests(const std::vector<int>& ids, DWORD timeoutMs) {
    return shelftest::WaitUntil(
        [&] {
            const std::vector<int> requested = log.CoverIds();
            for (const int id : ids) {
                if (std::find(requested.begin(), requested.end(), id) == requested.end())
                    return false;
            }
            return true;
        },
        timeoutMs);
}

bool LibraryTest::WaitForLoads(int count, DWORD timeoutMs) {
    return shelftest::WaitUntil([&] { return Matrix() != nullptr && Matrix()->SetBooksCalls() >= count; },
                                timeoutMs);
}

IRefBookMatrixInspect* LibraryTest::Matrix() const {
    return module->Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
}

IRefManagerInspect* LibraryTest::Manager() const {
    return module->Control<IRefManagerInspect>("BookrackMgr");
}

LRESULT LibraryTest::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(Hwnd(), msg, wParam, lParam, SMTO_NORMAL,
                                              shelftest::kDefaultWaitMs, &result) != 0;
    EXPECT_TRUE(answered) << "the window did not answer message 0x" << std::hex << msg;
    return static_cast<LRESULT>(result);
}

LRESULT LibraryTest::Notify(int id, WPARAM wParam, LPARAM lParam) {
    auto* skin = dynamic_cast<IRefSkinWindowInspect*>(module->SkinWindow());
    IControlMessage* callback = skin != nullptr ? skin->Callback() : nullptr;
    EXPECT_NE(callback, nullptr) << "the skin window has no notification callback";
    if (callback == nullptr)
        return -1;
    LRESULT result = 0;
    EXPECT_TRUE(shelftest::RunOnWindowThread(
        Hwnd(), [&] { result = callback->OnCtrlMessage(nullptr, id, wParam, lParam); }));
    return result;
}

} // namespace librarytest

#include "demoapp.h"

#include <shlobj.h>
#include <string.h>

namespace shelfdemo {

namespace {

void CopyField(char (&field)[260], const char* text) {
    strncpy(field, text ? text : "", sizeof field - 1);
    field[sizeof field - 1] = '\0';
}

} // namespace

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}

std::wstring ExpectedLibraryFolder() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)))
        return std::wstring();
    return std::wstring(appData) + L"\\KelvoDesktop\\Folian";
}

DemoApp::DemoApp() : m_fetcher(m_log), m_sink(m_log, m_store, m_fetcher) {}

DemoApp::~DemoApp() { Shutdown(); }

bool DemoApp::LoadModule() {
    // From the program's own folder by full path, and the module's own dependencies (the UI
    // kernel) from the module's folder, never from the current directory.
    const std::wstring path = ProgramFolder() + L"\\desktopui.dll";
    m_module.reset(LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    if (!m_module) {
        m_log.Printf(L"cannot load %ls (error %lu)", path.c_str(), GetLastError());
        return false;
    }
    // Through void (*)(): the one cast between function pointer types that is meant for this.
    auto entry = reinterpret_cast<PFN_GetBookrackWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_module.get(), BOOKRACK_ENTRY)));
    m_rack = entry ? entry() : nullptr;
    if (!m_rack) {
        m_log.Printf(L"%ls has no usable GetBookrackWindow", path.c_str());
        m_module.reset();
        return false;
    }
    m_log.Printf(L"loaded %ls", path.c_str());
    return true;
}

bool DemoApp::CreateShelf(int accountIndex, HWND statusWindow) {
    if (!m_rack)
        return false;
    const SampleAccount& account = Accounts().at(static_cast<size_t>(accountIndex));
    m_sink.SetRack(m_rack);
    m_sink.SetStatusWindow(statusWindow);
    m_fetcher.Start();
    // The host's order: sink and store first (binding the controls needs the store), then Create.
    m_rack->SetNotifySink(&m_sink, GetModuleHandleW(nullptr));
    m_store.SetActiveKey(account.shelfKey);
    m_rack->SetHost(&m_store, account.shelfKey);
    m_account = accountIndex;

    BOOKRACK_CREATE_PARAMS params = {};
    CopyField(params.szAccountId, account.accountId);
    CopyField(params.szAccountInfo, account.accountInfo);
    CopyField(params.szAccountKey, account.accountKey);
    params.bLoggedIn = 1;
    const bool created = m_rack->Create(&params);
    m_log.Printf(L"host Create(signed in as %ls, shown as \"%ls\", shelf key %d) -> %ls",
                 FromUtf8(account.accountId).c_str(), account.shownName, account.shelfKey,
                 created ? L"true" : L"false");
    return created;
}

void DemoApp::ClearSampleCovers() {
    const std::wstring folder = ExpectedLibraryFolder();
    if (folder.empty())
        return;
    int cleared = 0;
    for (const SampleBook& book : Catalogue())
        cleared += DeleteFileW((folder + L"\\" + std::to_wstring(book.id) + L".png").c_str()) ? 1 : 0;
    m_log.Printf(L"host: cleared %d covers of earlier runs from %ls", cleared, folder.c_str());
}

void DemoApp::Shutdown() {
    if (m_closed.exchange(true))
        return;
    if (m_rack) {
        m_log.Line(L"host Close()");
        m_rack->Close();
    }
    // After Close the shelf makes no more requests; only then may the fetcher and the objects the
    // shelf borrowed go.
    m_fetcher.Stop();
    m_rack = nullptr;
    if (m_module) {
        m_module.reset();
        m_log.Line(L"host unloaded desktopui.dll");
    }
}

void DemoApp::SignIn(int accountIndex) {
    if (!m_rack || accountIndex < 0 || static_cast<size_t>(accountIndex) >= Accounts().size())
        return;
    const SampleAccount& account = Accounts()[static_cast<size_t>(accountIndex)];
    // The store's key first: the shelf loads the new account's books with it.
    m_store.SetActiveKey(account.shelfKey);
    m_rack->SetHost(&m_store, account.shelfKey);
    m_rack->Login(account.accountId, account.accountKey, account.accountInfo, 0);
    m_account = accountIndex;
    m_log.Printf(L"host Login(\"%ls\", \"%ls\", \"%ls\") with shelf key %d: the shelf should show \"%ls\"",
                 FromUtf8(account.accountId).c_str(), FromUtf8(account.accountKey).c_str(),
                 FromUtf8(account.accountInfo).c_str(), account.shelfKey, account.shownName);
}

void DemoApp::SignOut() {
    if (!m_rack)
        return;
    // The shelf reloads on sign-out too: with the signed-out key it finds no books.
    m_store.SetActiveKey(kSignedOutShelfKey);
    m_rack->SetHost(&m_store, kSignedOutShelfKey);
    m_rack->Logout(0);
    m_account = -1;
    m_log.Line(L"host Logout()");
}

int DemoApp::NextAccount() const {
    const int current = m_account;
    return current < 0 ? 0 : (current + 1) % static_cast<int>(Accounts().size());
}

int DemoApp::AddBook() {
    const int key = m_store.ActiveKey();
    if (!m_rack || key == kSignedOutShelfKey) {
        m_log.Line(L"host: sign in before adding a book");
        return 0;
    }
    const int id = m_store.NextMissing(key);
    if (id == 0 || !m_store.Add(key, id)) {
        m_log.Line(L"host: every sample book is on the shelf already");
        return 0;
    }
    const SampleBook* book = FindBook(id);
    m_log.Printf(L"host added %d \"%ls\" to the store; NotifyItem1001(%d)", id, book ? book->title : L"", id);
    m_rack->NotifyItem1001(id);
    return id;
}

int DemoApp::RemoveBook() {
    const int key = m_store.ActiveKey();
    const std::vector<int> ids = m_store.Ids(key);
    if (!m_rack || ids.empty()) {
        m_log.Line(L"host: the shelf holds no book to remove");
        return 0;
    }
    const int id = ids.back();
    m_store.Remove(key, id);
    m_log.Printf(L"host removed %d from the store; RemoveItem(%d)", id, id);
    m_rack->RemoveItem(id);
    return id;
}

bool DemoApp::ShowShelf(HWND parent) {
    if (!m_rack)
        return false;
    const bool shown = m_rack->Show(true, parent);
    m_log.Printf(L"host Show(true) -> %ls", shown ? L"true" : L"false");
    return shown;
}

void DemoApp::HideShelf() {
    if (!m_rack)
        return;
    m_rack->Hide();
    m_log.Line(L"host Hide()");
}

std::wstring DemoApp::StatusText() {
    const int account = m_account;
    std::wstring text = account < 0
                            ? std::wstring(L"Signed out")
                            : L"Signed in: " + FromUtf8(Accounts()[static_cast<size_t>(account)].accountId);
    text += L"    Books in the store: " + std::to_wstring(m_store.Ids(m_store.ActiveKey()).size());
    const int count = m_sink.LastCount();
    text += L"    The shelf reports: " + (count < 0 ? std::wstring(L"-") : std::to_wstring(count));
    text += L"    Covers fetched: " + std::to_wstring(m_fetcher.CoversWritten());
    return text;
}

} // namespace shelfdemo

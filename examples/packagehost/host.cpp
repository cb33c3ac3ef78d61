// A host of desktopui.dll built from the package alone, run from the package's bin/ folder: it
// loads the module, hands it a sink and a store, creates the shelf, shelves two books, answers a
// cover request and a books-changed report, closes the shelf and unloads the module. Exits 0 when
// the module did all of it as the host guide says. The main thread is the host's; the sink and
// the store are called on the shelf's window thread.
#include <bookrack/bookrackmessages.h>
#include <bookrack/bookrackwindow.h>
// The kernel contract ships too; it must compile from the package alone as well.
#include <vexil/kernel.h>

#include <shlobj.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kShelfKey = 1;
constexpr int kBookIds[] = {70001, 70002};
constexpr auto kWait = std::chrono::seconds(30);

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    g_failures += ok ? 0 : 1;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

class Book : public IShelfItem {
public:
    explicit Book(int id)
        : m_id(id), m_title(L"Book " + std::to_wstring(id)),
          m_coverUrl(L"https://covers.example/" + std::to_wstring(id) + L".bmp") {}
    int GetId() override { return m_id; }
    const wchar_t* GetTextA() override { return m_title.c_str(); }
    const wchar_t* GetTextB() override { return L"A. Writer"; }
    const wchar_t* GetIconUrl() override { return m_coverUrl.c_str(); }
    const wchar_t* GetTextC() override { return L""; }
    int QueryFlag(void* buffer, int size, int) override {
        if (size < 1)
            return 0;
        *static_cast<unsigned char*>(buffer) = 1; // ready
        return 1;
    }

private:
    int m_id;
    std::wstring m_title, m_coverUrl;
};

// The host's item store: the books shelved so far, in order. The host thread adds, the shelf's
// window thread reads.
class Store : public IShelfHost {
public:
    void Add(int id) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_books.emplace_back(id);
    }
    IShelfItem* GetItem(int id) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Book& book : m_books)
            if (book.GetId() == id)
                return &book; // stays valid: books are never removed while the shelf runs
        return nullptr;
    }
    unsigned GetItemCount(int shelfKey, int) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return shelfKey == kShelfKey ? static_cast<unsigned>(m_books.size()) : 0;
    }
    void GetItemIds(int shelfKey, int* ids, unsigned count, int) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (unsigned i = 0; shelfKey == kShelfKey && i < count && i < m_books.size(); ++i)
            ids[i] = m_books[i].GetId();
    }

private:
    std::mutex m_mutex;
    std::vector<Book> m_books;
};

// The host's sink: remembers what the shelf told it, for the host thread to wait on.
class Sink : public IShelfSink {
public:
    struct CoverRequest {
        HWND window;
        std::wstring folder;
        int id;
    };
    int count = -1; // the latest book count, -1 before the first
    std::vector<int> shown, changed;
    std::vector<CoverRequest> coverRequests;

    template <class Pred> bool WaitFor(Pred pred) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changedState.wait_for(lock, kWait, pred);
    }
    void OnBookCountChanged(int newCount, int) override {
        Update([&] { count = newCount; });
    }
    void RequestCover(HWND window, const wchar_t* folder, int id) override {
        Update([&] { coverRequests.push_back({window, folder, id}); });
    }
    void OpenBook(int, int) override {}
    bool QueryBookFlag(int) override { return true; }
    void OnBookShown(int id) override {
        Update([&] { shown.push_back(id); });
    }
    bool ToggleBookOption(int) override { return false; }
    void DeleteBook(int, int) override {}
    void OnMissingBooks(const std::set<unsigned long>*) override {}
    void OnBooksChanged(const int* ids, int n) override {
        Update([&] { changed.assign(ids, ids + (ids ? n : 0)); });
    }

private:
    template <class Fn> void Update(Fn fn) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fn();
        }
        m_changedState.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changedState;
};

// A 1 x 1 pixel bitmap: the cover the host "fetched".
bool WriteCover(const std::wstring& path) {
    const unsigned char bmp[58] = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0,    0,    54,   0, 0, 0,        // file header: size 58, pixels at 54
        40,  0,   0,  0, 1, 0, 0, 0, 1,    0,    0,    0, 1, 0, 24, 0, // 1 x 1, one plane, 24 bits
        0,   0,   0,  0, 4, 0, 0, 0, 0,    0,    0,    0, 0, 0, 0,  0, // no compression, 4 bytes of pixels
        0,   0,   0,  0, 0, 0, 0, 0, 0x40, 0x80, 0xC0, 0};             // the pixel, padded to 4 bytes
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bmp, sizeof bmp, &written, nullptr) && written == sizeof bmp;
    CloseHandle(file);
    return ok;
}

std::wstring CoverPath(const std::wstring& folder, int id) {
    return folder + L"\\" + std::to_wstring(id) + L".bmp";
}

} // namespace

int main() {
    Store store;
    Sink sink;
    // The library folder the shelf keeps its covers in: remove covers of an earlier run, or the
    // shelf would not ask for them.
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    const std::wstring library = std::wstring(appData) + L"\\KelvoDesktop\\Folian";
    for (int id : kBookIds)
        DeleteFileW(CoverPath(library, id).c_str());

    // Load the module by full path; the kernel beside it is found from the module's own folder.
    const std::wstring modulePath = ProgramFolder() + L"\\desktopui.dll";
    HMODULE module = LoadLibraryExW(modulePath.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    Check(module != nullptr, "desktopui.dll loads from the program's folder");
    if (!module)
        return 1;
    auto entry = reinterpret_cast<PFN_GetBookrackWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, BOOKRACK_ENTRY)));
    CBookrackWindow* rack = entry ? entry() : nullptr;
    Check(rack != nullptr, "GetBookrackWindow returns the shelf");
    if (!rack)
        return 1;

    rack->SetNotifySink(&sink, GetModuleHandleW(nullptr));
    rack->SetHost(&store, kShelfKey);
    BOOKRACK_CREATE_PARAMS params = {};
    lstrcpynA(params.szAccountId, "reader@example.com", sizeof params.szAccountId);
    lstrcpynA(params.szAccountInfo, "Reader", sizeof params.szAccountInfo);
    params.bLoggedIn = 1;
    Check(rack->Create(&params), "Create");
    // The shelf is ready once it reported its first count (its load of the empty store).
    Check(sink.WaitFor([&] { return sink.count == 0; }), "the shelf reports an empty shelf");

    for (int id : kBookIds) {
        store.Add(id);
        rack->NotifyItem1001(id); // sent: the book is on the shelf when it returns
    }
    Check(sink.WaitFor(
              [&] { return sink.count == 2 && sink.shown.size() == 2 && sink.coverRequests.size() == 2; }),
          "both books shelved, shown, and their covers asked for");

    Sink::CoverRequest request = sink.coverRequests.front();
    Check(request.folder == library, "covers go to the library folder");
    Check(WriteCover(CoverPath(request.folder, request.id)), "the host writes the cover");
    DWORD_PTR result = 0;
    Check(SendMessageTimeoutW(request.window, WM_BOOKRACK_COVER_READY, 0, request.id, SMTO_NORMAL, 30000,
                              &result) != 0,
          "the shelf takes the cover-ready message");

    const int32_t ids[] = {kBookIds[0], kBookIds[1]};
    BOOKS_CHANGED_REPORT report = {};
    report.ids = ids;
    report.count = 2;
    report.code = BOOKS_CHANGED_CODE_CHANGED;
    result = 1;
    SendMessageTimeoutW(rack->GetHwnd(), WM_BOOKRACK_BOOKS_CHANGED, 0, reinterpret_cast<LPARAM>(&report),
                        SMTO_NORMAL, 30000, &result);
    Check(result == 0 && sink.WaitFor([&] { return sink.changed.size() == 2; }),
          "a books-changed report reaches the sink");

    rack->Close(); // returns once the window and its thread have ended
    Check(!rack->IsWindowAlive(), "Close ends the window");
    Check(FreeLibrary(module) != FALSE, "FreeLibrary");
    for (int id : kBookIds)
        DeleteFileW(CoverPath(library, id).c_str());
    std::printf("%s\n", g_failures == 0 ? "consumer host: passed" : "consumer host: FAILED");
    return g_failures == 0 ? 0 : 1;
}

#include "script.h"

#include <shlobj.h>

#include <bookrack/bookrackwindow.h>
#include <uiassist/scopedhandle.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "screenshot.h"
#include "userinput.h"

namespace shelfdemo {

namespace {

// ---- What the demo knows of the reference UI kernel ------------------------------------------
// The host sees the shelf through the public interface only. These few facts of the reference
// kernel (VexilKernel.dll) let the script act as a user would; another kernel would need its own.

// Book matrix notice (CBookrackWindow::PostMatrixNotify): lParam = book id, select only that book.
constexpr WPARAM kRefMatrixSelectId = 3;
// Window class of the reference kernel's bookrack manager; a click on it opens its menu.
constexpr wchar_t kRefManagerClass[] = L"VexilRefBookrackManager";
// Commands of the manager's popup menu.
constexpr UINT kRefMenuCompactMode = 100;
constexpr UINT kRefMenuShelfMode = 101;
constexpr UINT kRefMenuBatchDelete = 102;

// Every window of the bookshelf module has this class (the shelf, the batch-delete window, ...).
constexpr wchar_t kShelfWindowClass[] = L"VexilWindow";

// Everything a session writes into the pictures folder.
const wchar_t* const kPictureNames[] = {L"shelf-before.png", L"during-delete.png", L"after-delete.png",
                                        L"shelf-after.png",  L"failed-covers.png", L"failed-after-delete.png",
                                        L"failed-mode.png",  L"session.txt"};

// ---- Time limits --------------------------------------------------------------------------------
constexpr DWORD kShelfShownLimitMs = 30000;
constexpr DWORD kCoversWrittenLimitMs = 30000;
constexpr DWORD kCoversShownLimitMs = 20000;
constexpr DWORD kInputLimitMs = 5000;
constexpr DWORD kBatchLimitMs = 20000;
constexpr DWORD kRedrawLimitMs = 10000;
constexpr DWORD kPollMs = 100;

// How many books from the start of the shelf must show their covers before the pictures count:
// the two to delete (the second and third) and their neighbours.
constexpr size_t kBooksChecked = 4;

std::wstring IdList(const std::vector<int>& ids) {
    std::wstring text;
    for (int id : ids)
        text += (text.empty() ? L"" : L", ") + std::to_wstring(id);
    return text;
}

// ---- Reading the selection on the shelf's own thread ------------------------------------------
// The selection list belongs to the shelf's window thread. A message hook on that thread reads it
// there, when a marked WM_NULL is sent to the shelf. Should the send time out, the hook may still
// run later: the request is shared, and its result counts only once marked done.
constexpr WPARAM kReadSelectionMark = 0x5E1EC7;

struct SelectionRead {
    CBookrackWindow* rack = nullptr;
    std::vector<int> ids;
    std::atomic<bool> done{false};
};
std::mutex g_selectionLock; // one reader at a time
std::shared_ptr<SelectionRead> g_selectionRead;

LRESULT CALLBACK SelectionHookProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message == WM_NULL && call->wParam == kReadSelectionMark) {
        const std::shared_ptr<SelectionRead> read = std::atomic_load(&g_selectionRead);
        if (read && !read->done) {
            const std::vector<int>* selection = read->rack->GetSelection();
            read->ids = selection ? *selection : std::vector<int>();
            read->done = true;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool ReadSelection(CBookrackWindow* rack, std::vector<int>* ids) {
    std::lock_guard<std::mutex> lock(g_selectionLock);
    auto read = std::make_shared<SelectionRead>();
    read->rack = rack;
    vexil::ScopedHook hook(
        SetWindowsHookExW(WH_CALLWNDPROC, SelectionHookProc, nullptr, rack->GetUiThreadId()));
    if (!hook)
        return false;
    std::atomic_store(&g_selectionRead, read);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(rack->GetHwnd(), WM_NULL, kReadSelectionMark, 0, SMTO_NORMAL, 2000, &result);
    std::atomic_store(&g_selectionRead, std::shared_ptr<SelectionRead>());
    hook.reset();
    if (!read->done)
        return false;
    *ids = read->ids;
    return true;
}

// ---- The picture of the batch-delete window ------------------------------------------------------
// The batch runs for a fraction of a second. The shelf asks the host to delete each book on its own
// window thread, while the batch window is certainly up: that is when the picture is taken, after
// the window has been painted.
class BatchCapture : public SinkObserver {
public:
    // The shelf may be inside OnDeleteBook on its thread while a failed session gives up, so the
    // observer lives as long as the program.
    static BatchCapture& Instance() {
        static BatchCapture capture;
        return capture;
    }
    void Attach(DemoApp* app) { m_app = app; }

    void OnDeleteBook(int id) override {
        DemoApp* app = m_app;
        if (!app)
            return;
        CBookrackWindow* rack = app->Rack();
        HWND shelf = rack ? rack->GetHwnd() : nullptr;
        HWND batch = nullptr;
        for (HWND window : FindThreadWindows(GetCurrentThreadId(), kShelfWindowClass))
            if (window != shelf)
                batch = window;
        if (!batch) {
            app->Log().Printf(L"script: deleting %d, but no batch-delete window is up", id);
            return;
        }
        RedrawWindow(batch, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RedrawWindow(shelf, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        auto image = std::make_unique<Image>();
        if (!CaptureWindows({shelf, batch}, image.get())) {
            app->Log().Printf(L"script: deleting %d, could not capture the batch-delete window", id);
            return;
        }
        RECT rect = {};
        GetWindowRect(batch, &rect);
        app->Log().Printf(
            L"script: captured the batch-delete window %p (%ld,%ld)-(%ld,%ld) while deleting %d",
            static_cast<void*>(batch), rect.left, rect.top, rect.right, rect.bottom, id);
        std::lock_guard<std::mutex> lock(m_lock);
        m_image = std::move(image);
        m_batchRect = rect;
    }

    bool Take(Image* image, RECT* batchRect) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_image)
            return false;
        *image = *m_image;
        *batchRect = m_batchRect;
        return true;
    }

private:
    BatchCapture() = default;

    std::atomic<DemoApp*> m_app{nullptr};
    std::mutex m_lock;
    std::unique_ptr<Image> m_image;
    RECT m_batchRect = {};
};

// ---- The session ----------------------------------------------------------------------------------

class Session {
public:
    Session(DemoApp& app, const std::wstring& shotsFolder)
        : m_app(app), m_rack(app.Rack()), m_shots(shotsFolder), m_capture(BatchCapture::Instance()) {
        m_capture.Attach(&app);
    }

    int Run();

private:
    // Waits until the condition holds, re-checking whenever the shelf calls the sink and at least
    // every kPollMs. False (logged) on timeout or when the demo is closed.
    bool WaitFor(const wchar_t* what, DWORD limitMs, const std::function<bool()>& condition);
    bool Fail(const wchar_t* what);
    int FailWith(int code, const std::wstring& what) {
        Fail(what.c_str());
        return code;
    }

    bool CaptureShelf(Image* image);
    bool SavePicture(const Image& image, const wchar_t* name);
    bool CoversShown(const Image& image, const std::vector<int>& shown, const std::vector<int>& gone);
    bool SelectionIs(const std::vector<int>& want);
    HWND OpenManagerMenu();
    std::wstring ReadShowMode(FILETIME* written);
    void WriteSessionNotes();

    // The session's steps, in order; each returns kScriptOk to go on.
    int Prepare();
    int ShelfComesUp();
    int SelectTwoBooks();
    int DeleteSelected();
    int SwitchDisplayMode();

    DemoApp& m_app;
    CBookrackWindow* m_rack;
    std::wstring m_shots;
    BatchCapture& m_capture;
    std::wstring m_library;
    std::vector<std::wstring> m_pictures;
    std::vector<std::wstring> m_notes;
    // What the steps found, for the steps after them and the notes.
    int m_account = -1;
    std::vector<int> m_books;
    int m_first = 0, m_second = 0;
    Image m_before, m_during, m_afterDelete;
    RECT m_batchRect = {};
    ULONGLONG m_batchMs = 0;
    std::vector<int> m_remaining, m_nowFirst;
};

bool Session::Fail(const wchar_t* what) {
    m_app.Log().Printf(L"script FAILED: %ls", what);
    return false;
}

bool Session::WaitFor(const wchar_t* what, DWORD limitMs, const std::function<bool()>& condition) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (m_app.Cancelled())
            return Fail(L"the demo was closed");
        if (condition()) {
            m_app.Log().Printf(L"script: %ls (after %llu ms)", what, GetTickCount64() - start);
            return true;
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limitMs) {
            m_app.Log().Printf(L"script TIMEOUT after %lu ms, still waiting for: %ls", limitMs, what);
            return false;
        }
        WaitForSingleObject(m_app.Sink().ChangedEvent(),
                            static_cast<DWORD>(std::min<ULONGLONG>(kPollMs, limitMs - elapsed)));
    }
}

bool Session::CaptureShelf(Image* image) {
    HWND shelf = m_rack->GetHwnd();
    return shelf && CaptureWindows({shelf}, image);
}

bool Session::SavePicture(const Image& image, const wchar_t* name) {
    const std::wstring path = m_shots + L"\\" + name;
    if (!SaveImagePng(image, path))
        return Fail((L"could not write " + path).c_str());
    m_pictures.push_back(path);
    m_app.Log().Printf(L"script: picture %ls (%dx%d)", path.c_str(), image.width, image.height);
    return true;
}

bool Session::CoversShown(const Image& image, const std::vector<int>& shown, const std::vector<int>& gone) {
    for (int id : shown)
        if (FindColour(image, CoverColour(id), kColourTolerance).pixels < kMinCoverPixels)
            return false;
    for (int id : gone)
        if (FindColour(image, CoverColour(id), kColourTolerance).pixels >= kMinCoverPixels)
            return false;
    return true;
}

bool Session::SelectionIs(const std::vector<int>& want) {
    std::vector<int> ids;
    if (!ReadSelection(m_rack, &ids))
        return false;
    std::sort(ids.begin(), ids.end());
    std::vector<int> sorted(want);
    std::sort(sorted.begin(), sorted.end());
    return ids == sorted;
}

HWND Session::OpenManagerMenu() {
    HWND manager = FindDescendantByClass(m_rack->GetHwnd(), kRefManagerClass);
    RECT rect;
    if (!manager || !GetWindowRect(manager, &rect)) {
        Fail(L"the bookrack manager's window was not found");
        return nullptr;
    }
    // A right click on the manager opens its menu, as it does for a user. Under a loaded X server a
    // click is now and then lost: the user clicks once more.
    const POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    HWND menu = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ClickAt(centre, MouseButton::Right)) {
            Fail(L"the click on the manager could not be sent");
            return nullptr;
        }
        if (WaitFor(L"the manager's menu is open", kInputLimitMs / 2,
                    [&] { return (menu = FindOpenPopupMenu()) != nullptr; }))
            return menu;
    }
    return nullptr;
}

std::wstring Session::ReadShowMode(FILETIME* written) {
    const std::wstring ini = m_library + L"\\Folian.ini";
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    *written = FILETIME{};
    if (GetFileAttributesExW(ini.c_str(), GetFileExInfoStandard, &data))
        *written = data.ftLastWriteTime;
    wchar_t value[16] = {};
    GetPrivateProfileStringW(L"Folian", L"ShowMode", L"", value, 16, ini.c_str());
    return value;
}

void Session::WriteSessionNotes() {
    std::string text;
    for (const std::wstring& line : m_notes)
        text += ToUtf8(line) + "\r\n";
    const std::wstring path = m_shots + L"\\session.txt";
    const vexil::ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        m_app.Log().Printf(L"script: could not write %ls", path.c_str());
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring RectText(const RECT& rect, const RECT& origin) {
    return std::to_wstring(rect.left - origin.left) + L"," + std::to_wstring(rect.top - origin.top) + L"," +
           std::to_wstring(rect.right - origin.left) + L"," + std::to_wstring(rect.bottom - origin.top);
}

int Session::Run() {
    // Each step leaves what the next ones check in the session's members.
    using Step = int (Session::*)();
    for (const Step step : {&Session::Prepare, &Session::ShelfComesUp, &Session::SelectTwoBooks,
                            &Session::DeleteSelected, &Session::SwitchDisplayMode}) {
        const int code = (this->*step)();
        if (code != kScriptOk)
            return code;
    }
    WriteSessionNotes();
    DemoLog& log = m_app.Log();
    log.Line(L"script: done. Pictures:");
    for (const std::wstring& picture : m_pictures)
        log.Printf(L"  %ls", picture.c_str());
    return kScriptOk;
}

int Session::Prepare() {
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameW(m_shots.c_str(), MAX_PATH, full, nullptr);
    if (length > 0 && length < MAX_PATH)
        m_shots = full;
    SHCreateDirectoryExW(nullptr, m_shots.c_str(), nullptr);
    if (GetFileAttributesW(m_shots.c_str()) == INVALID_FILE_ATTRIBUTES)
        return FailWith(kScriptStartFailed, L"cannot create the pictures folder " + m_shots);
    // Pictures of an earlier session would read as this one's.
    for (const wchar_t* name : kPictureNames)
        DeleteFileW((m_shots + L"\\" + name).c_str());
    m_library = ExpectedLibraryFolder();
    m_account = m_app.SignedInAccount();
    if (m_account < 0 || !m_rack)
        return FailWith(kScriptStartFailed, L"no signed-in shelf to work on");
    m_books = m_app.Store().Ids(m_app.Store().ActiveKey());
    if (m_books.size() < kBooksChecked + 2)
        return FailWith(kScriptStartFailed, L"the sample shelf is too small for the session");
    m_app.Log().Printf(L"script: signed in as %ls with %zu books: %ls",
                       FromUtf8(Accounts()[m_account].accountId).c_str(), m_books.size(),
                       IdList(m_books).c_str());
    return kScriptOk;
}

// 1. The shelf comes up and every cover arrives (the covers of earlier runs were cleared before the
//    shelf was created, see ClearSampleCovers).
int Session::ShelfComesUp() {
    const std::vector<int>& books = m_books;
    if (!WaitFor(L"the shelf is shown", kShelfShownLimitMs,
                 [&] { return m_rack->IsShown() && IsWindowVisible(m_rack->GetHwnd()); }))
        return kScriptStepFailed;
    if (!WaitFor(L"the shelf reported its books", kCoversWrittenLimitMs,
                 [&] { return m_app.Sink().LastCount() == static_cast<int>(books.size()); }))
        return kScriptStepFailed;
    const std::wstring named = m_app.Sink().LibraryFolder();
    if (!named.empty() && _wcsicmp(named.c_str(), m_library.c_str()) != 0) {
        m_app.Log().Printf(L"script: the shelf names %ls as its library folder", named.c_str());
        m_library = named;
    }
    if (!WaitFor(L"every cover is in the library folder", kCoversWrittenLimitMs, [&] {
            if (!m_app.Fetcher().Idle())
                return false;
            for (int id : books)
                if (GetFileAttributesW((m_library + L"\\" + std::to_wstring(id) + L".png").c_str()) ==
                    INVALID_FILE_ATTRIBUTES)
                    return false;
            return true;
        }))
        return kScriptStepFailed;

    const std::vector<int> firstBooks(books.begin(), books.begin() + kBooksChecked);
    if (!WaitFor(L"the first covers are drawn on the shelf", kCoversShownLimitMs,
                 [&] { return CaptureShelf(&m_before) && CoversShown(m_before, firstBooks, {}); })) {
        SavePicture(m_before, L"failed-covers.png");
        return kScriptStepFailed;
    }
    return SavePicture(m_before, L"shelf-before.png") ? kScriptOk : kScriptStepFailed;
}

// 2. Two books selected: the second through the matrix notice, the third by a Ctrl+click on its tile,
//    where its cover's colour is.
int Session::SelectTwoBooks() {
    m_first = m_books[1];
    m_second = m_books[2];
    const int first = m_first, second = m_second;
    m_rack->PostMatrixNotify(kRefMatrixSelectId, first);
    if (!WaitFor(L"the first book is selected", kInputLimitMs, [&] { return SelectionIs({first}); }))
        return kScriptStepFailed;
    const ColourSpot tile = FindColour(m_before, CoverColour(second), kColourTolerance);
    if (!CtrlClickAt(tile.centre))
        return FailWith(kScriptStepFailed, L"the Ctrl+click could not be sent");
    if (!WaitFor(L"both books are selected", kInputLimitMs, [&] { return SelectionIs({first, second}); }))
        return kScriptStepFailed;
    return kScriptOk;
}

// 3. The batch delete, chosen in the manager's menu.
int Session::DeleteSelected() {
    m_app.Sink().SetObserver(&m_capture);
    HWND menu = OpenManagerMenu();
    if (!menu)
        return kScriptStepFailed;
    const ULONGLONG batchStart = GetTickCount64();
    if (!ClickMenuCommand(menu, kRefMenuBatchDelete))
        return FailWith(kScriptStepFailed, L"the menu has no batch-delete item");
    const int deletionsBefore = m_app.Sink().Deletions();
    if (!WaitFor(L"the batch delete ran", kBatchLimitMs, [&] {
            return m_app.Sink().Deletions() >= deletionsBefore + 2 && m_rack->IsBatchDeleteBusy() == 0 &&
                   m_app.Sink().LastCount() == static_cast<int>(m_books.size()) - 2;
        }))
        return kScriptStepFailed;
    // From the menu command to the count reported after the run.
    m_batchMs = GetTickCount64() - batchStart;
    m_app.Sink().SetObserver(nullptr);
    if (!m_capture.Take(&m_during, &m_batchRect))
        return FailWith(kScriptStepFailed, L"the batch-delete window was never seen");
    if (!SavePicture(m_during, L"during-delete.png"))
        return kScriptStepFailed;

    for (int id : m_books)
        if (id != m_first && id != m_second)
            m_remaining.push_back(id);
    m_nowFirst.assign(m_remaining.begin(), m_remaining.begin() + kBooksChecked);
    if (!WaitFor(L"the shelf shows two books fewer", kRedrawLimitMs, [&] {
            return CaptureShelf(&m_afterDelete) &&
                   CoversShown(m_afterDelete, m_nowFirst, {m_first, m_second});
        })) {
        SavePicture(m_afterDelete, L"failed-after-delete.png");
        return kScriptStepFailed;
    }
    return SavePicture(m_afterDelete, L"after-delete.png") ? kScriptOk : kScriptStepFailed;
}

// 4. The other display mode, chosen in the manager's menu.
int Session::SwitchDisplayMode() {
    FILETIME modeWrittenBefore;
    ReadShowMode(&modeWrittenBefore);
    RECT managerRect = {};
    GetWindowRect(FindDescendantByClass(m_rack->GetHwnd(), kRefManagerClass), &managerRect);
    RECT shelfRect = {};
    GetWindowRect(m_rack->GetHwnd(), &shelfRect);
    HWND menu = OpenManagerMenu();
    if (!menu)
        return kScriptStepFailed;
    bool compactChecked = false;
    MenuHasCommand(menu, kRefMenuCompactMode, &compactChecked);
    const UINT modeCommand = compactChecked ? kRefMenuShelfMode : kRefMenuCompactMode;
    const std::wstring wantMode = compactChecked ? L"1" : L"0";
    if (!ClickMenuCommand(menu, modeCommand))
        return FailWith(kScriptStepFailed, L"the menu has no display-mode item");
    if (!WaitFor(L"the shelf saved the new display mode", kInputLimitMs, [&] {
            FILETIME written;
            const std::wstring mode = ReadShowMode(&written);
            return mode == wantMode && CompareFileTime(&written, &modeWrittenBefore) != 0;
        }))
        return kScriptStepFailed;
    // The bar's buttons change at once; the covers are the proof that the shelf itself was redrawn:
    // the same books, drawn several times smaller or larger.
    const auto coverPixels = [&](const Image& image) {
        long long pixels = 0;
        for (const int id : m_nowFirst)
            pixels += FindColour(image, CoverColour(id), kColourTolerance).pixels;
        return pixels;
    };
    const long long coversBefore = coverPixels(m_afterDelete);
    Image after;
    if (!WaitFor(L"the shelf is redrawn in the new mode", kRedrawLimitMs, [&] {
            if (!CaptureShelf(&after))
                return false;
            const long long covers = coverPixels(after);
            return covers > 0 && std::max(covers, coversBefore) > 3 * std::min(covers, coversBefore);
        })) {
        SavePicture(after, L"failed-mode.png");
        return kScriptStepFailed;
    }
    if (!SavePicture(after, L"shelf-after.png"))
        return kScriptStepFailed;

    // What the pictures should show, for whoever checks them.
    const SampleAccount& signedIn = Accounts()[m_account];
    m_notes = {
        L"account=" + FromUtf8(signedIn.accountId),
        std::wstring(L"shown_name=") + signedIn.shownName,
        L"books_before=" + IdList(m_books),
        L"deleted=" + IdList({m_first, m_second}),
        L"books_after=" + IdList(m_remaining),
        L"count_before=" + std::to_wstring(m_books.size()),
        L"count_after=" + std::to_wstring(m_remaining.size()),
        L"manager_rect=" + RectText(managerRect, shelfRect),
        L"batch_rect=" + RectText(m_batchRect, m_during.screenRect),
        L"batch_ms=" + std::to_wstring(m_batchMs),
        L"mode_after=" + wantMode,
    };
    return kScriptOk;
}

} // namespace

int RunScript(DemoApp& app, const std::wstring& shotsFolder) {
    try {
        Session session(app, shotsFolder);
        const int code = session.Run();
        app.Sink().SetObserver(nullptr);
        if (code != kScriptOk)
            DismissOpenMenus();
        if (code != kScriptOk && app.Cancelled())
            return kScriptCancelled;
        return code;
    } catch (...) {
        app.Sink().SetObserver(nullptr);
        app.Log().Line(L"script FAILED: an exception");
        return kScriptStepFailed;
    }
}

} // namespace shelfdemo

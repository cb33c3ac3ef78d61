// kelvo_bench: how quick and how large the bookshelf is, measured in one run under Wine on the real
// desktopui.dll with the reference kernel and the test host's item store. Every figure stands beside
// the baseline it is judged against: B, one cross-thread SendMessageW round trip, measured just
// before and after each measurement (the mean of both medians), so that the machine's load cancels.
//
//   kelvo_bench.exe [--out=<json path>] [--hidden]
//
// The shelf is shown while it is measured, as a user sees it, and for comparison the arrivals and
// loads are measured once more with it hidden (nothing drawn). --hidden keeps it hidden throughout.
// The JSON goes to --out, else to %KELVO_OUT_DIR%\bench.json, else to out\bench.json of the source
// tree the program was built in (bin\..\..\..). Exits 0 whether or not the targets are met.
//
// Memory is the sum of the process's committed private regions (VirtualQuery): Wine 8 answers
// GetProcessMemoryInfo with zeros.
#include <shelftest/library.h>
#include <shelftest/module.h>
#include <shelftest/wait.h>

#include <bookrack/bookrackwindow.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "benchreport.h"
#include "benchsystem.h"

namespace {

using bench::Figure;
using bench::NowUs;

constexpr int kShelfKey = 7;
constexpr int kBaselineRounds = 2000;
constexpr int kPhaseBaselineRounds = 500;
constexpr int kArrivals = 400;
constexpr int kHiddenArrivals = 200;
constexpr int kFirstArrivalId = 900001;
constexpr int kFirstLoadId = 100001;
constexpr int kSmallLoad = 1000;
constexpr int kLargeLoad = 10000;
constexpr DWORD kProbeIntervalMs = 5;
constexpr DWORD kProbeTimeoutMs = 5000;
constexpr DWORD kPollMs = 2;
constexpr DWORD kLoadTimeoutMs = 600000;
constexpr int kRepaintBooks = 40;
constexpr int kRepaints = 20;
constexpr int kPageScrolls = 20;
constexpr DWORD kPageIntervalMs = 150; // between two Page Down presses: a user reading the page
constexpr double kFrameMs = 16;        // one frame at 60 Hz
// The controls of the shelf's skin window, for a repaint of all of it.
constexpr const char* kShelfControls[] = {"Frame",         "Caption",         "BookrackMgr",
                                          "New_FolianBtn", "BMCC_BookMatrix", "BMCC_BookrackIeBrowser",
                                          "Background"};

// The host's sink: notes when the shelf reported the count it was waiting for, and counts the
// covers it was asked to fetch.
class BenchSink : public IShelfSink {
public:
    void ExpectCount(int count) {
        m_countAtUs = 0;
        m_expectedCount = count;
    }
    double CountAtUs() const { return m_countAtUs.load(); }
    int CoverRequests() const { return m_coverRequests.load(); }

    void OnBookCountChanged(int count, int) override {
        if (count == m_expectedCount.load() && m_countAtUs.load() == 0)
            m_countAtUs = NowUs();
    }
    void RequestCover(HWND, const wchar_t*, int) override { ++m_coverRequests; }
    void OpenBook(int, int) override {}
    bool QueryBookFlag(int) override { return false; }
    void OnBookShown(int) override {}
    bool ToggleBookOption(int) override { return false; }
    void DeleteBook(int, int) override {}
    void OnMissingBooks(const std::set<unsigned long>*) override {}
    void OnBooksChanged(const int*, int) override {}

private:
    std::atomic<int> m_expectedCount{-1};
    std::atomic<double> m_countAtUs{0};
    std::atomic<int> m_coverRequests{0};
};

// A thread that sends the shelf window a harmless message every few milliseconds and records how
// long each one waited for its answer.
class Probe {
public:
    struct Sample {
        double startUs;
        double waitUs;
        bool answered;
    };

    explicit Probe(HWND shelf) : m_thread([this, shelf] { Run(shelf); }) {}
    ~Probe() { Stop(); }

    std::vector<Sample> Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_samples;
    }

private:
    void Run(HWND shelf) {
        while (!m_stop.load()) {
            DWORD_PTR result = 0;
            const double start = NowUs();
            const bool answered =
                SendMessageTimeoutW(shelf, WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs, &result) != 0;
            m_samples.push_back(Sample{start, NowUs() - start, answered});
            Sleep(kProbeIntervalMs); // the probe's own pace, not a synchronisation
        }
    }

    std::atomic<bool> m_stop{false};
    std::vector<Sample> m_samples;
    std::thread m_thread;
};

// Polls predicate every few milliseconds until it holds or timeoutMs passed; the time it held, or 0.
double WaitFor(const std::function<bool()>& predicate, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (predicate())
            return NowUs();
        if (GetTickCount64() >= deadline)
            return 0;
        shelftest::PumpMessages();
        // Seldom enough to leave the wineserver to the threads measured.
        MsgWaitForMultipleObjectsEx(0, nullptr, kPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

std::vector<int> IdRange(int first, int count) {
    std::vector<int> ids(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        ids[static_cast<size_t>(i)] = first + i;
    return ids;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring JsonPath(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--out=", 6) == 0) {
            const std::string path = argv[i] + 6;
            return std::wstring(path.begin(), path.end());
        }
    }
    wchar_t outDir[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"KELVO_OUT_DIR", outDir, MAX_PATH) > 0)
        return std::wstring(outDir) + L"\\bench.json";
    const std::wstring out = shelftest::ExeFolder() + L"\\..\\..\\..\\out";
    CreateDirectoryW(out.c_str(), nullptr);
    return out + L"\\bench.json";
}

// How long a load's cover pass took, in milliseconds and in units of the B measured around it (both
// 0 when the load failed).
struct CoverPass {
    double ms = 0;
    double inB = 0;
};

class ShelfBench {
public:
    bool Start(bool hidden, std::string& error);
    // B: the median of count back-to-back round trips to the echo window.
    double Baseline(int count = kBaselineRounds);
    void Arrivals(std::vector<Figure>& figures);
    // Loads count books whose covers are all in the library folder and adds its figures. With the
    // shelf hidden nothing is drawn: the cover pass without the drawing is reported, without target.
    CoverPass Load(int count, std::vector<Figure>& figures, bool hidden = false);
    // Private bytes per book of a shelf of count books with their covers, against an empty shelf.
    void Memory(int count, std::vector<Figure>& figures);
    // One repaint of the whole shown window with every control drawing itself afresh, on a shelf of
    // kRepaintBooks books with covers.
    void FullRepaint(std::vector<Figure>& figures);
    // The same shelf's full repaint at 100 % and at 200 %, a window of four times the pixels: the
    // kernel's shelf skin on a pop-up window of the bench's thread, moved to 192 DPI as a
    // per-monitor host's window is (Wine's one screen cannot hold the module's own window at 200 %).
    void FullRepaintScaled(std::vector<Figure>& figures);
    // Page Down on the shown shelf as it stands (the last load's books), pressed at a reader's pace, until
    // the picture shows the new page.
    void PageScroll(std::vector<Figure>& figures);
    void Finish() {
        if (m_module)
            m_module->Unload();
        m_covers.Restore();
    }

private:
    // Signs a new account in (which reloads the shelf) and waits until the shelf reported count
    // books; the time of the report, or 0.
    double Reload(int count);

    BenchSink m_sink;
    shelftest::FakeShelfStore m_store;
    bench::CoverLibrary m_covers;
    bench::EchoWindow m_echo;
    std::unique_ptr<shelftest::ModuleUnderTest> m_module;
    CBookrackWindow* m_window = nullptr;
    IRefBookMatrixInspect* m_matrix = nullptr;
    int m_accounts = 0;
};

bool ShelfBench::Start(bool hidden, std::string& error) {
    if (!bench::CoverLibrary::RecoverEarlierRun()) {
        error = "the library folder is in a state an earlier run did not leave; look at "
                "%APPDATA%\\KelvoDesktop (Folian, Folian.bench-aside, FolianBench*)";
        return false;
    }
    if (m_echo.Hwnd() == nullptr) {
        error = "cannot make the echo window";
        return false;
    }
    // Every book any measurement shelves is in the store before anything is measured: the host's
    // memory is not the shelf's.
    for (const int id : IdRange(kFirstLoadId, kLargeLoad))
        m_store.AddItem(id);
    for (const int id : IdRange(kFirstArrivalId, kArrivals + kHiddenArrivals))
        m_store.AddItem(id);
    m_store.SetShelf(kShelfKey, {});

    m_module = std::make_unique<shelftest::ModuleUnderTest>();
    if (!m_module->Ok()) {
        error = "cannot load the module: " + m_module->Error();
        return false;
    }
    m_window = m_module->Window();
    m_window->SetNotifySink(&m_sink, m_module->Module());
    m_window->SetHost(&m_store, kShelfKey);
    BOOKRACK_CREATE_PARAMS params = {};
    if (hidden ? !m_window->Create(&params) : !m_window->Show(true, nullptr)) {
        error = "the shelf window did not open";
        return false;
    }
    const double bound = WaitFor(
        [&] {
            m_matrix = m_module->Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
            return m_matrix != nullptr && m_matrix->SetBooksCalls() >= 1;
        },
        30000);
    if (bound == 0) {
        error = "the shelf window never bound its book matrix or loaded";
        return false;
    }
    return true;
}

double ShelfBench::Baseline(int count) {
    std::vector<double> rounds;
    for (int i = 0; i < count + 100; ++i) {
        const double start = NowUs();
        SendMessageW(m_echo.Hwnd(), WM_USER, 0, 0);
        if (i >= 100) // the first rounds warm the path up
            rounds.push_back(NowUs() - start);
    }
    return bench::Percentile(rounds, 50);
}

void ShelfBench::Arrivals(std::vector<Figure>& figures) {
    auto arrive = [&](int firstId, int count, std::vector<double>& times) {
        for (const int id : IdRange(firstId, count)) {
            const double start = NowUs();
            m_window->NotifyItem1001(id);
            times.push_back(NowUs() - start);
        }
    };
    std::vector<double> times;
    double b = Baseline(kPhaseBaselineRounds);
    arrive(kFirstArrivalId, kArrivals, times);
    b = (b + Baseline(kPhaseBaselineRounds)) / 2;
    figures.push_back({"arrival (NotifyItem1001), median", bench::Percentile(times, 50), "us",
                       "B around arrivals", b, "us", 3 * b, "<= 3 B"});
    figures.push_back({"arrival (NotifyItem1001), p99", bench::Percentile(times, 99), "us",
                       "B around arrivals", b, "us", std::nullopt, ""});

    // The same with the shelf hidden: what is left without the window's synchronous repaint.
    size_t expected = kArrivals;
    if (IsWindowVisible(m_window->GetHwnd())) {
        m_window->Hide();
        std::vector<double> hiddenTimes;
        double hiddenB = Baseline(kPhaseBaselineRounds);
        arrive(kFirstArrivalId + kArrivals, kHiddenArrivals, hiddenTimes);
        hiddenB = (hiddenB + Baseline(kPhaseBaselineRounds)) / 2;
        figures.push_back({"arrival, shelf hidden (no drawing), median", bench::Percentile(hiddenTimes, 50),
                           "us", "B around arrivals", hiddenB, "us", std::nullopt, ""});
        m_window->Show(true, nullptr);
        expected += kHiddenArrivals;
    }
    if (m_matrix->Ids().size() != expected)
        printf("warning: %zu of %zu arriving books were shelved\n", m_matrix->Ids().size(), expected);
}

double ShelfBench::Reload(int count) {
    m_sink.ExpectCount(count);
    const std::string account = "bench" + std::to_string(++m_accounts) + "@example.com";
    m_window->Login(account.c_str(), "", "Bench", 0);
    return WaitFor([&] { return m_sink.CountAtUs() != 0; }, kLoadTimeoutMs) != 0 ? m_sink.CountAtUs() : 0;
}

CoverPass ShelfBench::Load(int count, std::vector<Figure>& figures, bool hidden) {
    const std::vector<int> ids = IdRange(kFirstLoadId, count);
    const double prepareStart = NowUs();
    const int written = m_covers.UseCoversFor(ids);
    if (written < 0) {
        printf("error: %s\n", m_covers.Error().c_str());
        return {};
    }
    if (written > 0)
        printf("wrote %d cover files for the %d-book shelf in %.1f s (kept for later runs)\n", written, count,
               (NowUs() - prepareStart) / 1e6);

    const bool wasShown = IsWindowVisible(m_window->GetHwnd()) != FALSE;
    if (hidden && wasShown)
        m_window->Hide();
    m_store.SetShelf(kShelfKey, ids);
    const int imageCalls = m_matrix->SetBookImageCalls();
    const int coverRequests = m_sink.CoverRequests();
    const double baselineBefore = Baseline(kPhaseBaselineRounds);
    Probe probe(m_window->GetHwnd());
    const double start = NowUs();
    const double setBooksAt = Reload(count);
    const double coversAt =
        setBooksAt == 0
            ? 0
            : WaitFor([&] { return m_matrix->SetBookImageCalls() - imageCalls >= count; }, kLoadTimeoutMs);
    const std::vector<Probe::Sample> samples = probe.Stop();
    // Before and after, so that B stands for the same minutes as the load.
    const double b = (baselineBefore + Baseline(kPhaseBaselineRounds)) / 2;
    if (hidden && wasShown)
        m_window->Show(true, nullptr);
    if (setBooksAt == 0 || coversAt == 0) {
        printf("error: the %d-book load did not finish (%d covers handed over)\n", count,
               m_matrix->SetBookImageCalls() - imageCalls);
        return {};
    }

    // Every book got its own cover file, and the host was asked for none.
    const std::string first = m_matrix->ImagePath(ids.front());
    const std::string last = m_matrix->ImagePath(ids.back());
    if (first != Narrow(m_covers.CoverPath(ids.front())) || last != Narrow(m_covers.CoverPath(ids.back())) ||
        m_sink.CoverRequests() != coverRequests)
        printf("warning: the %d-book load handed over unexpected covers (first \"%s\", last \"%s\", %d "
               "requests)\n",
               count, first.c_str(), last.c_str(), m_sink.CoverRequests() - coverRequests);

    double longestWait = 0;
    int probes = 0, unanswered = 0;
    for (const Probe::Sample& sample : samples) {
        if (sample.startUs < setBooksAt || sample.startUs > coversAt)
            continue;
        ++probes;
        unanswered += sample.answered ? 0 : 1;
        longestWait = std::max(longestWait, sample.waitUs);
    }
    if (unanswered > 0)
        printf("warning: %d probe(s) during the %d-book cover pass got no answer within %lu ms\n", unanswered,
               count, kProbeTimeoutMs);
    const double coverPassMs = (coversAt - setBooksAt) / 1000;
    printf("%d-book load%s: B around it %.1f us, %d probes in the cover pass\n", count,
           hidden ? " (shelf hidden)" : "", b, probes);

    const std::string books = std::to_string(count);
    if (hidden) {
        figures.push_back({"load " + books + ", shelf hidden: cover pass", coverPassMs, "ms", "B around load",
                           b / 1000, "ms", std::nullopt, ""});
        return CoverPass{coverPassMs, coverPassMs * 1000 / b};
    }
    figures.push_back({"load " + books + ": login to SetBooks", (setBooksAt - start) / 1000, "ms",
                       "B around load", b / 1000, "ms", std::nullopt, ""});
    figures.push_back({"load " + books + ": cover pass (SetBooks to last cover)", coverPassMs, "ms",
                       "B around load", b / 1000, "ms", 2.0 * count * b / 1000, "<= 2 x N x B"});
    figures.push_back({"load " + books + ": longest probe wait in cover pass", longestWait / 1000, "ms",
                       "B around load", b / 1000, "ms", 50.0, "<= 50 ms"});
    return CoverPass{coverPassMs, coverPassMs * 1000 / b};
}

void ShelfBench::Memory(int count, std::vector<Figure>& figures) {
    m_store.SetShelf(kShelfKey, {});
    if (Reload(0) == 0) {
        printf("error: the shelf did not empty\n");
        return;
    }
    const std::vector<int> ids = IdRange(kFirstLoadId, count);
    if (m_covers.UseCoversFor(ids) < 0) {
        printf("error: %s\n", m_covers.Error().c_str());
        return;
    }
    const size_t empty = bench::PrivateBytes();

    m_store.SetShelf(kShelfKey, ids);
    const int imageCalls = m_matrix->SetBookImageCalls();
    const std::set<DWORD> threads = shelftest::ThreadIds();
    if (Reload(count) == 0 ||
        WaitFor([&] { return m_matrix->SetBookImageCalls() - imageCalls >= count; }, kLoadTimeoutMs) == 0) {
        printf("error: the %d-book load for the memory figure did not finish\n", count);
        return;
    }
    // Measured once the loader has ended and the window has answered everything sent to it.
    shelftest::WaitForThreadsGone(shelftest::NewThreads(threads));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(m_window->GetHwnd(), WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs, &result);
    const size_t full = bench::PrivateBytes();

    const double perBook = (static_cast<double>(full) - static_cast<double>(empty)) / count / 1024;
    figures.push_back({"memory: private bytes per book, " + std::to_string(count) + " books", perBook, "KiB",
                       "empty shelf", static_cast<double>(empty) / (1024 * 1024), "MiB", 16.0,
                       "<= 16 KiB per book"});
}

void ShelfBench::FullRepaint(std::vector<Figure>& figures) {
    const std::vector<int> ids = IdRange(kFirstLoadId, kRepaintBooks);
    if (m_covers.UseCoversFor(ids) < 0) {
        printf("error: %s\n", m_covers.Error().c_str());
        return;
    }
    m_store.SetShelf(kShelfKey, ids);
    const int imageCalls = m_matrix->SetBookImageCalls();
    if (Reload(kRepaintBooks) == 0 ||
        WaitFor([&] { return m_matrix->SetBookImageCalls() - imageCalls >= kRepaintBooks; },
                kLoadTimeoutMs) == 0) {
        printf("error: the %d-book shelf did not load\n", kRepaintBooks);
        return;
    }
    const HWND hwnd = m_window->GetHwnd();
    const auto repaint = [&] {
        for (const char* name : kShelfControls)
            if (IControlBase* control = m_module->RawControl(name))
                control->RedrawControl(false);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    };
    repaint(); // the covers decoded once: a repaint draws, it does not read files
    std::vector<double> times;
    double b = Baseline(kPhaseBaselineRounds);
    for (int i = 0; i < kRepaints; ++i) {
        const double start = NowUs();
        repaint();
        times.push_back(NowUs() - start);
    }
    b = (b + Baseline(kPhaseBaselineRounds)) / 2;
    const int drawn = m_matrix->CoverStats().drawn;
    figures.push_back({"full repaint, " + std::to_string(kRepaintBooks) + " books with covers (" +
                           std::to_string(drawn) + " tiles on view), median",
                       bench::Percentile(times, 50) / 1000, "ms", "B around repaints", b / 1000, "ms",
                       kFrameMs, "<= 16 ms"});
}

void ShelfBench::FullRepaintScaled(std::vector<Figure>& figures) {
    const auto entry = reinterpret_cast<PFN_GetUiKernelInterface>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"VexilKernel.dll"), VEXIL_KERNEL_ENTRY)));
    IUiKernel* kernel = entry ? entry() : nullptr;
    IRefInspector* inspector = m_module->Inspector();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KelvoBenchScaledShelf";
    RegisterClassW(&wc);
    const HWND host = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 600,
                                      nullptr, nullptr, wc.hInstance, nullptr);
    ISkinWindow* skin = kernel && inspector && host
                            ? kernel->CreateSkinWindow(host, inspector->SkinPath().c_str(), L"BookrackWindow")
                            : nullptr;
    auto* matrix = skin ? dynamic_cast<ICtrlBookMatrix*>(skin->GetControl("BMCC_BookMatrix")) : nullptr;
    if (!matrix) {
        printf("error: no shelf skin window for the scaled repaint\n");
        if (host)
            DestroyWindow(host);
        return;
    }
    // The books and covers of FullRepaint's shelf.
    for (const int id : IdRange(kFirstLoadId, kRepaintBooks)) {
        BOOK_ITEM book;
        book.bookInfo.bValid = true;
        book.bookInfo.strAppId = std::to_string(id);
        book.bookInfo.strText2 = "Book " + std::to_string(id);
        matrix->AddBook(&book, 0, 0, 0);
        matrix->SetBookImage(id, m_matrix->ImagePath(id).c_str());
    }
    const auto measure = [&](UINT dpi) {
        const int scale = static_cast<int>(dpi / 96);
        SetWindowPos(host, nullptr, 0, 0, 1000 * scale, 600 * scale, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT suggested = {0, 0, 1000 * scale, 600 * scale};
        SendMessageW(host, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        const auto repaint = [&] {
            for (const char* name : kShelfControls)
                if (IControlBase* control = skin->GetControl(name))
                    control->RedrawControl(false);
            RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        };
        repaint(); // covers decoded for this scale's tiles once
        std::vector<double> times;
        for (int i = 0; i < kRepaints; ++i) {
            const double start = NowUs();
            repaint();
            times.push_back(NowUs() - start);
        }
        return bench::Percentile(times, 50) / 1000;
    };
    const double atBase = measure(96);
    const double atDouble = measure(192);
    figures.push_back({"full repaint at 200 % (2000 x 1200 at 192 DPI), " + std::to_string(kRepaintBooks) +
                           " books with covers, median",
                       atDouble, "ms", "the same at 100 % (1000 x 600)", atBase, "ms", kFrameMs, "<= 16 ms"});
    DestroyWindow(host);
}

void ShelfBench::PageScroll(std::vector<Figure>& figures) {
    auto* matrix = m_module->Control<IRefControlInspect>("BMCC_BookMatrix");
    const HWND view = matrix ? matrix->ControlWindow() : nullptr;
    if (!view)
        return;
    const size_t books = m_matrix->Ids().size();
    RedrawWindow(view, nullptr, nullptr, RDW_UPDATENOW);
    std::vector<double> times;
    double b = Baseline(kPhaseBaselineRounds);
    for (int i = 0; i < kPageScrolls; ++i) {
        Sleep(kPageIntervalMs); // the user's pace, not a synchronisation
        const double start = NowUs();
        SendMessageW(view, WM_VSCROLL, SB_PAGEDOWN, 0);
        RedrawWindow(view, nullptr, nullptr, RDW_UPDATENOW);
        times.push_back(NowUs() - start);
    }
    b = (b + Baseline(kPhaseBaselineRounds)) / 2;
    SendMessageW(view, WM_VSCROLL, SB_TOP, 0);
    figures.push_back({"page down, " + std::to_string(books) + " books with covers, median",
                       bench::Percentile(times, 50) / 1000, "ms", "B around scrolls", b / 1000, "ms",
                       kFrameMs, "<= 16 ms"});
    figures.push_back({"page down, " + std::to_string(books) + " books with covers, slowest",
                       bench::Percentile(times, 100) / 1000, "ms", "B around scrolls", b / 1000, "ms",
                       std::nullopt, ""});
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring jsonPath = JsonPath(argc, argv);

    // Tests that need the library folder as they left it wait while the bench has it swapped.
    shelftest::LibraryLock lock(120000);
    if (!lock.Held())
        printf("warning: a test holds the library folder; figures may suffer and tests may fail\n");

    std::vector<Figure> figures;
    ShelfBench shelf;
    std::string error;
    bool hidden = false;
    for (int i = 1; i < argc; ++i)
        hidden = hidden || strcmp(argv[i], "--hidden") == 0;
    if (!shelf.Start(hidden, error)) {
        printf("error: %s\n", error.c_str());
        shelf.Finish();
        return 0;
    }

    const double b = shelf.Baseline();
    figures.push_back(
        {"B: cross-thread SendMessageW round trip, median", b, "us", "", 0, "", std::nullopt, ""});
    shelf.Arrivals(figures);
    const CoverPass small = shelf.Load(kSmallLoad, figures);
    const CoverPass large = shelf.Load(kLargeLoad, figures);
    if (!hidden)
        shelf.PageScroll(figures);
    if (small.inB > 0 && large.inB > 0) {
        printf("cover pass 10,000 / 1,000 in milliseconds: %.2f\n", large.ms / small.ms);
        figures.push_back({"load: cover pass 10,000 / 1,000, each in its B", large.inB / small.inB, "x",
                           "cover pass of 1,000 in B", small.inB, "B", 12.0, "<= 12 x"});
    }
    shelf.Memory(kLargeLoad, figures);
    if (!hidden) {
        shelf.FullRepaint(figures);
        shelf.FullRepaintScaled(figures);
        shelf.Load(kSmallLoad, figures, true);
        shelf.Load(kLargeLoad, figures, true);
    }
    shelf.Finish();

    bench::PrintTable(figures);
    if (bench::WriteJson(figures, jsonPath))
        printf("JSON: %s\n", Narrow(jsonPath).c_str());
    else
        printf("error: cannot write %s\n", Narrow(jsonPath).c_str());
    return 0;
}

// The plain window base through real windows: its own thread and message loop, the window table that
// routes messages to the object, closing, and what happens when things go wrong.
#include <uiassist/cwin32window.h>
#include <uiassist/diag.h>

#include <gtest/gtest.h>

#include <shelftest/diagnostics.h>
#include <shelftest/wait.h>

#include <atomic>
#include <functional>
#include <stdexcept>

namespace {

constexpr UINT kProbeMessage = WM_APP + 1;     // answered with kProbeAnswer; records the thread
constexpr UINT kThrowMessage = WM_APP + 2;     // the handler throws
constexpr UINT kCloseSelfMessage = WM_APP + 3; // the handler closes its own window, waiting
constexpr LRESULT kProbeAnswer = 0x7E57;
const RECT kRect = {100, 120, 500, 420};

class ProbeWindow : public CWin32Window {
public:
    std::atomic<DWORD> probeThread{0};
    std::atomic<ULONGLONG> selfCloseMs{~0ULL};
    std::function<void()> onCreate, onDestroy; // run on the window's thread
    bool failWmCreate = false;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE && failWmCreate)
            return -1;
        if (msg == kProbeMessage) {
            probeThread = GetCurrentThreadId();
            return kProbeAnswer;
        }
        if (msg == kThrowMessage)
            throw std::runtime_error("handler failed");
        if (msg == kCloseSelfMessage) {
            const ULONGLONG start = GetTickCount64();
            CloseWin32Window(true);
            selfCloseMs = GetTickCount64() - start;
            return 0;
        }
        return CWin32Window::WindowProc(msg, wParam, lParam);
    }
    void OnCreate() override {
        if (onCreate)
            onCreate();
    }
    void OnDestroy() override {
        if (onDestroy)
            onDestroy();
        CWin32Window::OnDestroy();
    }
};

TEST(Win32WindowThread, RunsItsLoopOnItsOwnThreadUntilTheWindowIsDestroyed) {
    // The same object twice: closed from outside, then by CloseWin32Window from its own thread. Each
    // window leaves the window table with its WM_NCDESTROY, so the object goes without a report.
    ProbeWindow window;
    for (const bool fromItsOwnThread : {false, true}) {
        SCOPED_TRACE(fromItsOwnThread ? "closed from its own thread" : "destroyed from outside");
        ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP, 0x1234));
        const HWND hwnd = window.GetWindowHandle();
        const DWORD windowThread = window.WindowThreadId();
        EXPECT_NE(windowThread, GetCurrentThreadId());
        EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), windowThread);
        EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
        EXPECT_EQ(window.probeThread.load(), windowThread) << "routed to the object on its thread";
        EXPECT_EQ(reinterpret_cast<LPARAM>(GetPropW(hwnd, VEXIL_WINDOW_PARAM_PROP)), 0x1234);

        // From outside, without CloseWin32Window: WM_NCDESTROY alone ends the loop. From its own
        // thread, the close must not wait for itself.
        DWORD_PTR answer = 0;
        if (fromItsOwnThread) {
            EXPECT_NE(SendMessageTimeoutW(hwnd, kCloseSelfMessage, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
            EXPECT_LT(window.selfCloseMs.load(), 1000u) << "the window thread waited for its own end";
        } else {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        EXPECT_TRUE(shelftest::WaitForThreadsGone({windowThread}));
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(window.GetWindowHandle(), nullptr);
        EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), -1);
        EXPECT_FALSE(window.PostMessage(kProbeMessage, 0, 0));
    }
}

TEST(Win32WindowThread, EndsWhenItsWindowCannotBeCreated) {
    // A parent that is gone makes CreateWindowExW fail before the window sees a message; a window
    // that refuses WM_CREATE is destroyed inside it. A thread that waited on would hold the object's
    // destructor for ever: the watchdog ends that at once.
    shelftest::Watchdog watchdog("a window thread whose window failed", 30000);
    HWND deadParent =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(deadParent);
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "WM_CREATE refused" : "parent gone");
        ProbeWindow window;
        window.failWmCreate = refuse;
        EXPECT_FALSE(
            window.CreateInNewThread(refuse ? nullptr : deadParent, kRect, L"probe", SW_SHOW, WS_POPUP, 0));
        EXPECT_EQ(window.GetWindowHandle(), nullptr);
        // Nothing could ever post WM_QUIT to a loop without a window: the thread ends by itself.
        ASSERT_TRUE(shelftest::WaitForThreadsGone({window.WindowThreadId()}));
        EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty());
    }
}

TEST(Win32WindowThread, CreatorDeliversMessagesTheWindowThreadSendsItWhileWaiting) {
    // The creating thread owns the parent; the new window talks to it while it is created and while
    // it is closed. A creator that does not deliver waits for ever: the watchdog ends that at once.
    shelftest::Watchdog watchdog("a creator waiting for its window thread", 20000);
    ProbeWindow parent, child;
    ASSERT_TRUE(parent.CreateInCurrentThread(nullptr, kRect, L"parent", SW_HIDE, WS_POPUP, 0));
    std::atomic<LRESULT> parentAnswer{0};
    child.onCreate = [&] { parentAnswer = parent.SendMessage(kProbeMessage, 0, 0); };
    child.onDestroy = [&] { parent.SendMessage(kProbeMessage, 0, 0); };

    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(child.CreateInNewThread(parent.GetWindowHandle(), kRect, L"child", SW_HIDE, WS_POPUP, 0));
    EXPECT_LT(GetTickCount64() - start, 10000u) << "the creator sat out its start timeout";
    EXPECT_EQ(parentAnswer.load(), kProbeAnswer);
    EXPECT_EQ(parent.probeThread.load(), GetCurrentThreadId());

    const ULONGLONG closeStart = GetTickCount64();
    child.CloseWin32Window(true);
    EXPECT_LT(GetTickCount64() - closeStart, 4000u) << "the close waited for its time limit";
    DestroyWindow(parent.GetWindowHandle());
}

TEST(Win32WindowMessages, AnExceptionInAHandlerStaysInsideTheWindowProcedure) {
    shelftest::ExpectDiagnosticReports();
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    const long before = vexil::DiagnosticCount();
    EXPECT_EQ(window.SendMessage(kThrowMessage, 0, 0), 0); // the default procedure's answer
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1) << "reported";
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer) << "the window thread carries on";
}

TEST(Win32WindowMessages, ItsProcedureCalledFromAnotherThreadIsReportedAndItsOwnThreadIsNot) {
    shelftest::ExpectWrongThreadReports();
#if !(defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS)
    GTEST_SKIP() << "diagnostic assertions are compiled out of this build";
#endif
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    const HWND hwnd = window.GetWindowHandle();
    const long before = vexil::WrongThreadCount();
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
    EXPECT_EQ(vexil::WrongThreadCount(), before) << "a message on the window's own thread was reported";
    // A subclass further up the chain that hands a message on from the wrong thread.
    const auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    EXPECT_EQ(CallWindowProcW(procedure, hwnd, kProbeMessage, 0, 0), kProbeAnswer);
    EXPECT_EQ(vexil::WrongThreadCount(), before + 1) << "the call from this thread went unreported";
}

TEST(Win32WindowTable, AnObjectDestroyedBeforeItsWindowIsReportedAndCutLoose) {
    shelftest::ExpectDiagnosticReports();
#if !(defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS)
    GTEST_SKIP() << "diagnostic assertions are compiled out of this build";
#endif
    auto* window = new ProbeWindow;
    ASSERT_TRUE(window->CreateInCurrentThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    const HWND hwnd = window->GetWindowHandle();
    const long before = vexil::DiagnosticCount();
    delete window;
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1) << "reported";
    // The orphaned window no longer reaches the freed object, and the posted WM_CLOSE ends it.
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(SendMessageW(hwnd, kProbeMessage, 0, 0), 0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return !IsWindow(hwnd); }));
}

} // namespace

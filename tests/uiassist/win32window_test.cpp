// The plain window base through real windows: its own thread and message loop, the window table that
// routes messages to the object, closing, and what happens when things go wrong.
#include <uiassist/cwin32window.h>
#include <uiassist/diag.h>
#include <vexil/messages.h>

#include <gtest/gtest.h>

#include <shelftest/diagnostics.h>
#include <shelftest/wait.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

#include "uiassisttest.h"

namespace {

using uiassisttest::kWaitMs;

constexpr UINT kProbeMessage = WM_APP + 1;     // answered with kProbeAnswer; records the thread
constexpr UINT kThrowMessage = WM_APP + 2;     // the handler throws
constexpr UINT kCloseSelfMessage = WM_APP + 3; // the handler closes its own window, waiting
constexpr LRESULT kProbeAnswer = 0x7E57;
const RECT kRect = {100, 120, 500, 420};

class ProbeWindow : public CWin32Window {
public:
    std::atomic<DWORD> probeThread{0};
    std::atomic<int> closeCalls{0};
    std::atomic<ULONGLONG> selfCloseMs{~0ULL};
    std::function<void()> onCreate, onDestroy; // run on the window's thread
    bool failWmCreate = false;

    // The window thread, to wait for its end; closed by the caller.
    HANDLE ThreadHandle() const {
        HANDLE copy = nullptr;
        if (m_hThread)
            DuplicateHandle(GetCurrentProcess(), m_hThread.get(), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        return copy;
    }

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
    void OnClose() override { ++closeCalls; }
};

// Waits (bounded) for the thread to end; its exit code, or ~0 when it did not end.
DWORD ThreadEnd(HANDLE thread) {
    DWORD code = ~0u;
    if (thread && WaitForSingleObject(thread, kWaitMs) == WAIT_OBJECT_0)
        GetExitCodeThread(thread, &code);
    if (thread)
        CloseHandle(thread);
    return code;
}

TEST(Win32WindowThread, RunsItsLoopOnItsOwnThreadUntilTheWindowIsDestroyed) {
    const long reportsBefore = vexil::DiagnosticCount();
    auto window = std::make_unique<ProbeWindow>();
    // The same object twice: closed from outside, then by CloseWin32Window from its own thread.
    for (const bool fromItsOwnThread : {false, true}) {
        SCOPED_TRACE(fromItsOwnThread ? "closed from its own thread" : "destroyed from outside");
        ASSERT_TRUE(window->CreateInNewThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP, 0x1234));
        const HWND hwnd = window->GetWindowHandle();
        const DWORD windowThread = window->GetThreadId();
        EXPECT_NE(windowThread, GetCurrentThreadId());
        EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), windowThread);
        EXPECT_EQ(window->SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
        EXPECT_EQ(window->probeThread.load(), windowThread) << "routed to the object on its thread";
        EXPECT_EQ(reinterpret_cast<LPARAM>(GetPropW(hwnd, VEXIL_WINDOW_PARAM_PROP)), 0x1234);
        RECT rc = {};
        GetWindowRect(hwnd, &rc);
        EXPECT_TRUE(EqualRect(&rc, &kRect));
        EXPECT_TRUE(IsWindowVisible(hwnd));

        // From outside, without CloseWin32Window: WM_NCDESTROY alone ends the loop. From its own
        // thread, the close must not wait for itself.
        HANDLE thread = window->ThreadHandle();
        DWORD_PTR answer = 0;
        if (fromItsOwnThread) {
            EXPECT_NE(SendMessageTimeoutW(hwnd, kCloseSelfMessage, 0, 0, SMTO_NORMAL, kWaitMs, &answer), 0);
            EXPECT_LT(window->selfCloseMs.load(), 1000u) << "the window thread waited for its own end";
        } else {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        EXPECT_EQ(ThreadEnd(thread), 0u);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(window->GetWindowHandle(), nullptr);
        EXPECT_EQ(window->SendMessage(kProbeMessage, 0, 0), -1);
        EXPECT_FALSE(window->PostMessage(kProbeMessage, 0, 0));
    }
    // Each window left the window table with its WM_NCDESTROY: the object goes without a report.
    window.reset();
    EXPECT_EQ(vexil::DiagnosticCount(), reportsBefore);
}

TEST(Win32WindowThread, EndsWhenItsWindowCannotBeCreated) {
    // A parent that is gone makes CreateWindowExW fail before the window sees a message; a window
    // that refuses WM_CREATE is destroyed inside it.
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
        EXPECT_NE(ThreadEnd(window.ThreadHandle()), ~0u);
        EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty());
    }
}

TEST(Win32WindowThread, CreatorDeliversMessagesTheWindowThreadSendsItWhileWaiting) {
    // The creating thread owns the parent; the new window talks to it while it is created and while
    // it is closed.
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

    HANDLE thread = child.ThreadHandle();
    const ULONGLONG closeStart = GetTickCount64();
    child.CloseWin32Window(true);
    EXPECT_LT(GetTickCount64() - closeStart, 4000u) << "the close waited for its time limit";
    EXPECT_EQ(ThreadEnd(thread), 0u) << "the window thread was terminated instead of ending";
    DestroyWindow(parent.GetWindowHandle());
}

TEST(Win32WindowMessages, TheWholeWindowIsClientAreaAndTheKernelsCloseRequestReachesOnClose) {
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInCurrentThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP | WS_CAPTION, 0));
    const HWND hwnd = window.GetWindowHandle();
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
    RECT client = {};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, kRect.right - kRect.left) << "no caption or frame is taken off";
    EXPECT_EQ(client.bottom, kRect.bottom - kRect.top);

    // The kernel's system-command request: only SC_CLOSE reaches OnClose, which decides.
    SendMessageW(hwnd, WM_VEXIL_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageW(hwnd, WM_VEXIL_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(window.closeCalls.load(), 1);
    EXPECT_TRUE(IsWindow(hwnd));
    DestroyWindow(hwnd);
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
}

TEST(Win32WindowMessages, AnExceptionInAHandlerStaysInsideTheWindowProcedure) {
    // The exception is reported on purpose.
    shelftest::ExpectDiagnosticReports();
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    const long before = vexil::DiagnosticCount();
    EXPECT_EQ(window.SendMessage(kThrowMessage, 0, 0), 0); // the default procedure's answer
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1) << "reported on purpose";
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer) << "the window thread carries on";
    window.CloseWin32Window(true);
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
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1) << "reported on purpose";
    // The orphaned window no longer reaches the freed object, and the posted WM_CLOSE ends it.
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(SendMessageW(hwnd, kProbeMessage, 0, 0), 0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return !IsWindow(hwnd); }, kWaitMs));
}

} // namespace

// The plain window base through real windows: its own thread and message loop, creation on the
// calling thread, message routing, closing, and what happens when things go wrong.
#include <uiassist/cwin32window.h>
#include <uiassist/diag.h>
#include <vexil/messages.h>

#include <gtest/gtest.h>

#include <shelftest/diagnostics.h>
#include <shelftest/wait.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "uiassisttest.h"

namespace {

constexpr UINT kProbeMessage = WM_APP + 1;     // answered with kProbeAnswer; records the thread
constexpr UINT kThrowMessage = WM_APP + 2;     // the handler throws
constexpr UINT kCloseSelfMessage = WM_APP + 3; // the handler closes its own window, waiting
constexpr LRESULT kProbeAnswer = 0x7E57;
constexpr DWORD kWaitMs = 10000;

class ProbeWindow : public CWin32Window {
public:
    std::atomic<DWORD> probeThread{0};
    std::atomic<int> closeCalls{0};
    std::atomic<int> paintCalls{0};
    std::atomic<int> keyDownCalls{0};
    std::atomic<UINT_PTR> lastTimer{0};
    std::atomic<ULONGLONG> selfCloseMs{~0ULL};
    std::function<void(ProbeWindow&)> onCreate;  // runs on the window's thread
    std::function<void(ProbeWindow&)> onDestroy; // runs on the window's thread
    bool failWmCreate = false;

    HANDLE DuplicateThreadHandle() const {
        HANDLE copy = nullptr;
        if (m_hThread)
            DuplicateHandle(GetCurrentProcess(), m_hThread.get(), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        return copy;
    }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_CREATE:
            if (failWmCreate)
                return -1;
            break;
        case kProbeMessage:
            probeThread = GetCurrentThreadId();
            return kProbeAnswer;
        case kThrowMessage:
            throw std::runtime_error("handler failed");
        case kCloseSelfMessage: {
            const ULONGLONG start = GetTickCount64();
            CloseWin32Window(true);
            selfCloseMs = GetTickCount64() - start;
            return 0;
        }
        default:
            break;
        }
        return CWin32Window::WindowProc(msg, wParam, lParam);
    }
    void OnCreate() override {
        if (onCreate)
            onCreate(*this);
    }
    void OnDestroy() override {
        if (onDestroy)
            onDestroy(*this);
        CWin32Window::OnDestroy();
    }
    void OnClose() override { ++closeCalls; }
    void OnPaint(HDC) override { ++paintCalls; }
    void OnKeyDown(WPARAM, LPARAM) override { ++keyDownCalls; }
    void OnTimer(UINT_PTR id) override { lastTimer = id; }
};

const RECT kRect = {100, 120, 500, 420};

struct ThreadHandle {
    HANDLE h;
    ~ThreadHandle() {
        if (h)
            CloseHandle(h);
    }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeThread(h, &code);
        return code;
    }
};

TEST(Win32WindowThread, RunsItsLoopOnItsOwnThreadUntilTheWindowIsDestroyed) {
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP, 0x1234));
    const HWND hwnd = window.GetWindowHandle();
    ASSERT_TRUE(IsWindow(hwnd));
    ThreadHandle thread{window.DuplicateThreadHandle()};
    ASSERT_NE(thread.h, nullptr);

    const DWORD windowThread = window.GetThreadId();
    EXPECT_NE(windowThread, 0u);
    EXPECT_NE(windowThread, GetCurrentThreadId());
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), windowThread);
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
    EXPECT_EQ(window.probeThread.load(), windowThread);

    EXPECT_EQ(reinterpret_cast<LPARAM>(GetPropW(hwnd, VEXIL_WINDOW_PARAM_PROP)), 0x1234);
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    EXPECT_TRUE(EqualRect(&rc, &kRect));
    EXPECT_TRUE(IsWindowVisible(hwnd));

    // Destroyed from outside, without CloseWin32Window: WM_NCDESTROY alone ends the loop.
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(thread.h, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), -1);
    EXPECT_FALSE(window.PostMessage(kProbeMessage, 0, 0));

    // The object can be created again once its window is gone.
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, nullptr, SW_HIDE, WS_POPUP, 0));
    EXPECT_NE(window.GetThreadId(), windowThread);
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
    window.CloseWin32Window(true);
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
}

TEST(Win32WindowThread, EndsWhenItsWindowCannotBeCreated) {
    // A parent that is gone: CreateWindowExW fails before the window sees a single message.
    HWND deadParent =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(deadParent, nullptr);
    DestroyWindow(deadParent);
    ProbeWindow orphan;
    EXPECT_FALSE(orphan.CreateInNewThread(deadParent, kRect, L"probe", SW_SHOW, WS_POPUP, 0));
    EXPECT_EQ(orphan.GetWindowHandle(), nullptr);
    ThreadHandle orphanThread{orphan.DuplicateThreadHandle()};
    ASSERT_NE(orphanThread.h, nullptr);
    // Nothing could ever post WM_QUIT to a loop without a window: the thread must end by itself.
    EXPECT_EQ(WaitForSingleObject(orphanThread.h, kWaitMs), WAIT_OBJECT_0);

    // A window that refuses WM_CREATE is destroyed inside CreateWindowExW.
    ProbeWindow refused;
    refused.failWmCreate = true;
    EXPECT_FALSE(refused.CreateInNewThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP, 0));
    EXPECT_EQ(refused.GetWindowHandle(), nullptr);
    ThreadHandle refusedThread{refused.DuplicateThreadHandle()};
    ASSERT_NE(refusedThread.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(refusedThread.h, kWaitMs), WAIT_OBJECT_0);
    EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty());
}

TEST(Win32WindowThread, CreatorDeliversMessagesTheStartingWindowSendsIt) {
    // The creating thread owns the parent; the new window talks to it while it is being created.
    ProbeWindow parent;
    ASSERT_TRUE(parent.CreateInCurrentThread(nullptr, kRect, L"parent", SW_HIDE, WS_POPUP, 0));
    ProbeWindow child;
    std::atomic<LRESULT> parentAnswer{0};
    child.onCreate = [&](ProbeWindow&) { parentAnswer = parent.SendMessage(kProbeMessage, 0, 0); };

    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(child.CreateInNewThread(parent.GetWindowHandle(), kRect, L"child", SW_HIDE, WS_POPUP, 0));
    EXPECT_LT(GetTickCount64() - start, 10000u) << "the creator sat out its start timeout";
    EXPECT_EQ(parentAnswer.load(), kProbeAnswer);
    EXPECT_EQ(parent.probeThread.load(), GetCurrentThreadId());

    // Closing waits for the window thread, which again sends to this thread while it goes.
    child.onDestroy = [&](ProbeWindow&) { parent.SendMessage(kProbeMessage, 0, 0); };
    ThreadHandle thread{child.DuplicateThreadHandle()};
    const ULONGLONG closeStart = GetTickCount64();
    child.CloseWin32Window(true);
    EXPECT_LT(GetTickCount64() - closeStart, 4000u) << "the close waited for its time limit";
    ASSERT_EQ(WaitForSingleObject(thread.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(thread.ExitCode(), 0u) << "the window thread was terminated instead of ending";

    DestroyWindow(parent.GetWindowHandle());
}

TEST(Win32WindowThread, ClosingFromItsOwnThreadDoesNotWaitForItself) {
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInNewThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    ThreadHandle thread{window.DuplicateThreadHandle()};
    DWORD_PTR answer = 0;
    ASSERT_NE(
        SendMessageTimeoutW(window.GetWindowHandle(), kCloseSelfMessage, 0, 0, SMTO_NORMAL, kWaitMs, &answer),
        0)
        << "the window thread is stuck in its own close";
    EXPECT_LT(window.selfCloseMs.load(), 1000u);
    ASSERT_EQ(WaitForSingleObject(thread.h, kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
}

TEST(Win32WindowMessages, FrameIsNeverDrawnAndHooksGetTheirMessages) {
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInCurrentThread(nullptr, kRect, L"probe", SW_SHOW, WS_POPUP | WS_CAPTION, 0));
    const HWND hwnd = window.GetWindowHandle();
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
    EXPECT_EQ(window.GetThreadId(), 0u);

    // The whole window is client area, and no frame or caption is painted.
    RECT rc = {0, 0, 400, 300};
    EXPECT_EQ(SendMessageW(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&rc)), 0);
    RECT client = {};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, kRect.right - kRect.left);
    EXPECT_EQ(client.bottom, kRect.bottom - kRect.top);
    for (UINT msg : {UINT{WM_NCPAINT}, UINT{WM_NCACTIVATE}, 0x00AEu, 0x00AFu})
        EXPECT_EQ(SendMessageW(hwnd, msg, 1, 0), 15) << "message " << msg;

    EXPECT_EQ(SendMessageW(hwnd, WM_PAINT, 0, 0), 1);
    EXPECT_GE(window.paintCalls.load(), 1);

    // The kernel's system-command request: only SC_CLOSE reaches OnClose.
    SendMessageW(hwnd, WM_VEXIL_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(window.closeCalls.load(), 0);
    SendMessageW(hwnd, WM_VEXIL_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(window.closeCalls.load(), 1);
    EXPECT_TRUE(IsWindow(hwnd));

    SendMessageW(hwnd, WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(window.keyDownCalls.load(), 1);
    window.SetTimer(77, 10);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return window.lastTimer.load() == 77; }, kWaitMs));
    window.KillTimer(77);

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
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1);
    // The window and its thread carry on.
    EXPECT_EQ(window.SendMessage(kProbeMessage, 0, 0), kProbeAnswer);
    window.CloseWin32Window(true);
}

TEST(Win32WindowGeometry, EmptyRectangleStaysEmptyUntilSizedThenCentres) {
    ProbeWindow window;
    ASSERT_TRUE(window.CreateInCurrentThread(nullptr, RECT{}, L"probe", SW_HIDE, WS_POPUP, 0));
    RECT local = window.GetLocalRect();
    EXPECT_EQ(local.right, 0);
    EXPECT_EQ(local.bottom, 0);
    window.CenterWindow(true); // a 0 x 0 window is not moved
    RECT rc = {};
    GetWindowRect(window.GetWindowHandle(), &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);

    window.MoveWindow(5, 5, 305, 205, true);
    window.CenterWindow(true);
    const RECT work = CWin32Window::GetWorkArea();
    GetWindowRect(window.GetWindowHandle(), &rc);
    EXPECT_EQ(rc.left, work.left + (work.right - work.left - 300) / 2);
    EXPECT_EQ(rc.top, work.top + (work.bottom - work.top - 200) / 2);
    EXPECT_EQ(rc.right - rc.left, 300);
    EXPECT_EQ(rc.bottom - rc.top, 200);
    DestroyWindow(window.GetWindowHandle());
}

TEST(Win32WindowDiagnostics, DestroyingAnObjectWhoseWindowLivesIsReportedAndCutLoose) {
    shelftest::ExpectDiagnosticReports();
#if !(defined(VEXIL_DIAGNOSTICS) && VEXIL_DIAGNOSTICS)
    GTEST_SKIP() << "diagnostic assertions are compiled out of this build";
#endif
    auto* window = new ProbeWindow;
    ASSERT_TRUE(window->CreateInCurrentThread(nullptr, kRect, L"probe", SW_HIDE, WS_POPUP, 0));
    const HWND hwnd = window->GetWindowHandle();
    const long before = vexil::DiagnosticCount();
    delete window;
    EXPECT_EQ(vexil::DiagnosticCount(), before + 1);
    // The orphaned window no longer reaches the freed object, and the posted WM_CLOSE ends it.
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(SendMessageW(hwnd, kProbeMessage, 0, 0), 0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return !IsWindow(hwnd); }, kWaitMs));
}

} // namespace

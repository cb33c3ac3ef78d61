// The framework host window with the reference kernel: staying hidden until the kernel reports, the
// kernel's error boxes, the kernel's module reference, and what creation refuses.
#include <uiassist/cvexilwindow.h>
#include <uiassist/scopedhandle.h>
#include <vexilref/refprobe.h>

#include <gtest/gtest.h>

#include <shelftest/wait.h>

#include <atomic>
#include <climits>
#include <functional>

#include "uiassisttest.h"

namespace {

using uiassisttest::kKernelName;

class SkinTestWindow : public CVexilWindow {
public:
    std::atomic<int> createResults{0}, lastCode{INT_MIN}, onCreateCalls{0};
    std::atomic<bool> buttonAtOnCreate{false}, visibleAtOnCreate{true};
    std::function<void(SkinTestWindow&, HWND)> onWmCreate; // inside CreateWindowExW

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE && onWmCreate)
            onWmCreate(*this, GetWindowHandle());
        return CVexilWindow::WindowProc(msg, wParam, lParam);
    }
    void OnCreate() override {
        ++onCreateCalls;
        buttonAtOnCreate = dynamic_cast<ICtrlButton*>(GetSkinWindow()->GetControl("OkBtn")) != nullptr;
        visibleAtOnCreate = IsWindowVisible(GetWindowHandle()) != FALSE;
    }
    void OnCreateResult(int code) override {
        lastCode = code;
        CVexilWindow::OnCreateResult(code); // an error box blocks here until it is answered
        ++createResults;
    }
    bool WaitForResults(int count = 1) {
        return shelftest::WaitUntil([&] { return createResults.load() >= count; });
    }
};

class VexilWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test's own reference keeps the kernel loaded for the inspector; released at the end, so
        // that each test can count the references its windows take.
        m_kernel.reset(LoadLibraryExW(uiassisttest::BesideExe(kKernelName).c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
        ASSERT_TRUE(m_kernel.valid());
        auto inspector = reinterpret_cast<PFN_GetRefKernelInspector>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_kernel.get(), VEXIL_REF_INSPECTOR_ENTRY)));
        ASSERT_NE(inspector, nullptr);
        m_inspector = inspector();
        ASSERT_TRUE(m_inspector->CloseSkinPackage()) << "skin windows left over from an earlier test";
        m_skinPath = m_folder.Write(L"skin\\test.vxs", uiassisttest::kTestSkin);
    }

    // Creates windowName of a package (the test package unless given) on a thread of its own.
    bool CreateOwnThread(SkinTestWindow& window, const wchar_t* windowName,
                         const std::wstring& skinPath = L"") {
        return window.CreateVexilWindow(kKernelName, (skinPath.empty() ? m_skinPath : skinPath).c_str(),
                                        windowName, nullptr, RECT{}, SW_SHOW, WS_POPUP, 0, true);
    }

    vexil::ScopedModule m_kernel;
    IRefInspector* m_inspector = nullptr;
    shelftest::TempFolder m_folder{L"uiassist_"};
    std::wstring m_skinPath;
};

TEST_F(VexilWindowTest, StaysHiddenUntilTheKernelReportsTheSkinWindowReadyThenShowsCentredAtTheSkinsSize) {
    SkinTestWindow window;
    // Created on this thread, so the kernel's posted report waits for this thread's loop.
    ASSERT_TRUE(window.CreateVexilWindow(kKernelName, m_skinPath.c_str(), L"Main", nullptr, RECT{}, SW_SHOW,
                                         WS_POPUP | WS_VISIBLE, 0, false));
    const HWND hwnd = window.GetWindowHandle();
    EXPECT_EQ(window.onCreateCalls.load(), 1);
    EXPECT_TRUE(window.buttonAtOnCreate.load()) << "OnCreate ran before the skin's controls existed";
    EXPECT_FALSE(window.visibleAtOnCreate.load());
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(window.createResults.load(), 0);
    auto* inspect = dynamic_cast<IRefSkinWindowInspect*>(window.GetSkinWindow());
    ASSERT_NE(inspect, nullptr);
    EXPECT_EQ(inspect->Callback(), window.ControlCallback()) << "the window hears its controls";

    ASSERT_TRUE(window.WaitForResults());
    EXPECT_EQ(window.lastCode.load(), 0);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const RECT work = CWin32Window::GetWorkArea();
    const LONG left = work.left + (work.right - work.left - uiassisttest::kMainSize.cx) / 2;
    const LONG top = work.top + (work.bottom - work.top - uiassisttest::kMainSize.cy) / 2;
    const RECT expected = {left, top, left + uiassisttest::kMainSize.cx, top + uiassisttest::kMainSize.cy};
    RECT shown = {};
    GetWindowRect(hwnd, &shown);
    EXPECT_TRUE(EqualRect(&shown, &expected));
    DestroyWindow(hwnd);
    EXPECT_EQ(window.GetSkinWindow(), nullptr);
}

TEST_F(VexilWindowTest, EachKernelErrorShowsItsMessageBoxAndTheWindowStaysHidden) {
    // Every text starts "创建Vexil窗口错误，错误码：<code>"; the caption is "内核窗口".
    const std::wstring prefix = L"\u521b\u5efaVexil\u7a97\u53e3\u9519\u8bef\uff0c\u9519\u8bef\u7801\uff1a";
    struct Case {
        int code;
        const wchar_t* windowName;
        const wchar_t* package; // "": the test package
        bool posted;            // posted while the window is being built, before the kernel's report
        std::wstring text;
    };
    // The generic case first: it needs a kernel without an open package.
    const Case cases[] = {
        {-1, L"Main", L"absent.vxs", false, prefix + L"-1"},
        {-2, L"NoSuchWindow", L"", false,
         prefix + L"-2 (\u4eb2\uff0c\u6709\u53ef\u80fd\u76ae\u80a4\u8def\u5f84\u521b\u5efa\u7684\u5bf9\u8bdd"
                  L"\u6846\u7684\u540d\u5b57\u6ca1\u6709\u5199\u5bf9\u5965\uff01)"},
        {-3, L"Broken", L"", false,
         prefix + L"-3 (\u4eb2\uff0c\u521b\u5efa\u63a7\u4ef6\u5c45\u7136\u5931\u8d25\u4e86\uff0c\u770b\u770b"
                  L"\u63a7\u4ef6DLL\u90fd\u5728\u4e0d\u5728\uff01)"},
        {-4, L"Main", L"", true,
         prefix + L"-4 (\u4eb2\uff0c\u73b0\u5728\u8fd8\u4e0d\u652f\u6301\u540c\u65f6\u8f7d\u5165\u4e24\u4e2a"
                  L"\u76ae\u80a4\u5305\uff01)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SkinTestWindow window;
        if (c.posted)
            window.onWmCreate = [&c](SkinTestWindow&, HWND hwnd) {
                PostMessageW(hwnd, WM_VEXIL_CREATE_ERROR, static_cast<WPARAM>(c.code), 0);
            };
        ASSERT_TRUE(CreateOwnThread(window, c.windowName, *c.package ? m_folder.File(c.package) : L""));
        const shelftest::FoundMessageBox box = shelftest::FindAndAnswerMessageBox(
            GetCurrentProcessId(), L"\u5185\u6838\u7a97\u53e3", IDOK, shelftest::kDefaultWaitMs);
        ASSERT_TRUE(box.found);
        EXPECT_EQ(box.text, c.text);
        ASSERT_TRUE(window.WaitForResults());
        EXPECT_EQ(window.lastCode.load(), c.code);
        // Only the first report of a build counts: the kernel's own, after the error, and one that
        // comes later from elsewhere are ignored, so the window stays hidden and no box shows.
        window.PostMessage(WM_VEXIL_CREATE_ERROR, 77, 0);
        ASSERT_TRUE(shelftest::Flush(window.GetWindowHandle()));
        EXPECT_EQ(window.lastCode.load(), c.code);
        EXPECT_FALSE(IsWindowVisible(window.GetWindowHandle()));
        window.CloseWin32Window(true);
    }
}

TEST_F(VexilWindowTest, WindowsReleaseOnlyTheKernelReferenceTheyTook) {
    IUiKernel* kernel = nullptr;
    {
        SkinTestWindow loader;
        ASSERT_TRUE(CreateOwnThread(loader, L"Main"));
        ASSERT_TRUE(loader.WaitForResults());
        EXPECT_EQ(loader.GetKernelModule(), m_kernel.get());
        kernel = loader.GetKernel();
    }
    ASSERT_EQ(GetModuleHandleW(kKernelName), m_kernel.get());
    {
        // A window given the kernel borrows it: it takes no reference and frees none.
        SkinTestWindow borrower;
        ASSERT_TRUE(borrower.CreateVexilWindowWithKernel(kernel, L"Main", nullptr, RECT{}, SW_SHOW, WS_POPUP,
                                                         0, true));
        ASSERT_TRUE(borrower.WaitForResults());
        EXPECT_EQ(borrower.lastCode.load(), 0);
        EXPECT_EQ(borrower.GetKernelModule(), nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(kKernelName), m_kernel.get())
        << "the borrowing window freed the kernel module";
    // Dropping this test's reference unloads the kernel: neither window kept one.
    m_kernel.reset();
    EXPECT_EQ(GetModuleHandleW(kKernelName), nullptr) << "a window leaked a kernel reference";
}

TEST_F(VexilWindowTest, AWindowWhoseSkinCannotBeBuiltIsTakenDownAndItsThreadEnds) {
    // The kernel builds one skin window per HWND: one built behind the window's back during
    // WM_CREATE makes the window's own request fail.
    SkinTestWindow window;
    window.onWmCreate = [this](SkinTestWindow& self, HWND hwnd) {
        self.GetKernel()->CreateSkinWindow(hwnd, m_skinPath.c_str(), L"Main");
    };
    EXPECT_FALSE(CreateOwnThread(window, L"Main"));
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
    EXPECT_EQ(window.onCreateCalls.load(), 0);
    EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty()) << "a bare window was left behind";
    EXPECT_TRUE(shelftest::WaitForThreadsGone({window.WindowThreadId()}));
    EXPECT_TRUE(shelftest::WaitUntil([&] { return m_inspector->LiveSkinWindowCount() == 0; }));
}

TEST_F(VexilWindowTest, CreationIsRefusedWithoutAUsableKernelAndLeavesNothingLoaded) {
    const int callsBefore = m_inspector->CreateSkinWindowCalls();
    const std::wstring notAKernel = uiassisttest::BesideExe(L"uiassist_testdll.dll"); // no kernel entry
    struct Case {
        const wchar_t *kernel, *skin, *window;
    };
    const wchar_t* skin = m_skinPath.c_str();
    const Case cases[] = {{nullptr, skin, L"Main"},
                          {kKernelName, nullptr, L"Main"},
                          {kKernelName, skin, nullptr},
                          {L"NoSuchKernel.dll", skin, L"Main"},
                          {notAKernel.c_str(), skin, L"Main"}};
    const RECT rect = {0, 0, 300, 200};
    for (const Case& c : cases) {
        SkinTestWindow window;
        EXPECT_FALSE(
            window.CreateVexilWindow(c.kernel, c.skin, c.window, nullptr, rect, SW_SHOW, 0, 0, true));
        EXPECT_EQ(window.GetKernelModule(), nullptr);
        EXPECT_EQ(GetModuleHandleW(L"uiassist_testdll.dll"), nullptr) << "a module that is no kernel stayed";
    }
    // Without a kernel, and through the plain window base, which would make a window without a skin.
    SkinTestWindow window;
    EXPECT_FALSE(window.CreateVexilWindowWithKernel(nullptr, L"Main", nullptr, rect, SW_SHOW, 0, 0, true));
    EXPECT_FALSE(window.CreateInNewThread(nullptr, rect, L"x", SW_SHOW, WS_POPUP, 0));
    EXPECT_FALSE(window.CreateInCurrentThread(nullptr, rect, L"x", SW_SHOW, WS_POPUP, 0));
    EXPECT_EQ(m_inspector->CreateSkinWindowCalls(), callsBefore);
    EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty());
}

} // namespace

// The framework host window with the reference kernel: sizing from the skin, staying hidden until
// the kernel reports, the kernel's error boxes, borrowing the kernel, and what creation refuses.
#include <uiassist/cvexilwindow.h>
#include <uiassist/textconv.h>

#include <gtest/gtest.h>

#include <shelftest/msgbox.h>
#include <shelftest/wait.h>

#include <atomic>
#include <climits>
#include <functional>
#include <memory>

#include "uiassisttest.h"

namespace {

using uiassisttest::kErrorBoxCaption;
using uiassisttest::kKernelName;
using uiassisttest::kMainSize;

constexpr DWORD kWaitMs = 10000;

class SkinTestWindow : public CVexilWindow {
public:
    std::atomic<int> createResults{0};
    std::atomic<int> lastCode{INT_MIN};
    std::atomic<int> onCreateCalls{0};
    std::atomic<bool> buttonAtOnCreate{false};
    std::atomic<bool> visibleAtOnCreate{true};
    std::function<void(SkinTestWindow&, HWND)> onWmCreate; // inside CreateWindowExW

    const std::wstring& SkinPath() const { return m_strSkinPath; }
    HANDLE ThreadHandle() const { return m_hThread.get(); }
    IUiKernel* Kernel() const { return m_pKernel; }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE && onWmCreate)
            onWmCreate(*this, GetWindowHandle());
        return CVexilWindow::WindowProc(msg, wParam, lParam);
    }
    void OnCreate() override {
        ++onCreateCalls;
        ISkinWindow* skin = GetSkinWindow();
        buttonAtOnCreate = skin && dynamic_cast<ICtrlButton*>(skin->GetControl("OkBtn")) != nullptr;
        visibleAtOnCreate = IsWindowVisible(GetWindowHandle()) != FALSE;
    }
    void OnCreateResult(int code) override {
        lastCode = code;
        CVexilWindow::OnCreateResult(code); // an error box blocks here until it is answered
        ++createResults;
    }
    bool WaitForResult() {
        return shelftest::WaitUntil([this] { return createResults.load() > 0; }, kWaitMs);
    }
};

RECT WindowRect(HWND hwnd) {
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    return rc;
}

class VexilWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test's own reference keeps the kernel loaded for the inspector; it is released again
        // at the end, so that each test can count the references its windows take.
        m_kernel = LoadLibraryExW((uiassisttest::ExeFolder() + kKernelName).c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        ASSERT_NE(m_kernel, nullptr);
        m_inspector = uiassisttest::Inspector();
        ASSERT_NE(m_inspector, nullptr);
        ASSERT_TRUE(m_inspector->CloseSkinPackage()) << "skin windows left over from an earlier test";
        m_skinPath = m_folder.File(L"skin\\test.vxs");
        ASSERT_TRUE(uiassisttest::WriteTextFile(m_skinPath, uiassisttest::kTestSkin));
    }
    void TearDown() override {
        if (m_kernel)
            FreeLibrary(m_kernel);
    }

    // Creates windowName of the test package on a thread of its own.
    bool CreateOwnThread(SkinTestWindow& window, const wchar_t* windowName, RECT rect = RECT{},
                         const wchar_t* skinPath = nullptr) {
        return window.CreateVexilWindow(kKernelName, skinPath ? skinPath : m_skinPath.c_str(), windowName,
                                        nullptr, rect, SW_SHOW, WS_POPUP, 0, true);
    }

    HMODULE m_kernel = nullptr;
    IRefInspector* m_inspector = nullptr;
    uiassisttest::TempFolder m_folder;
    std::wstring m_skinPath;
};

TEST_F(VexilWindowTest, EmptyRectangleTakesTheSkinSizeCentredOnTheWorkAreaAndAGivenOneIsKept) {
    SkinTestWindow centred;
    ASSERT_TRUE(CreateOwnThread(centred, L"Main"));
    ASSERT_TRUE(centred.WaitForResult());
    EXPECT_EQ(centred.lastCode.load(), 0);
    const RECT work = CWin32Window::GetWorkArea();
    const RECT rc = WindowRect(centred.GetWindowHandle());
    EXPECT_EQ(rc.right - rc.left, kMainSize.cx);
    EXPECT_EQ(rc.bottom - rc.top, kMainSize.cy);
    EXPECT_EQ(rc.left, work.left + (work.right - work.left - kMainSize.cx) / 2);
    EXPECT_EQ(rc.top, work.top + (work.bottom - work.top - kMainSize.cy) / 2);
    EXPECT_TRUE(IsWindowVisible(centred.GetWindowHandle()));

    SkinTestWindow placed;
    const RECT given = {40, 50, 640, 450};
    ASSERT_TRUE(CreateOwnThread(placed, L"Main", given));
    ASSERT_TRUE(placed.WaitForResult());
    const RECT kept = WindowRect(placed.GetWindowHandle());
    EXPECT_TRUE(EqualRect(&kept, &given));

    centred.CloseWin32Window(true);
    placed.CloseWin32Window(true);
    EXPECT_EQ(m_inspector->LiveSkinWindowCount(), 0);
}

TEST_F(VexilWindowTest, StaysHiddenUntilTheKernelReportsTheSkinWindowReady) {
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
    EXPECT_EQ(inspect->Callback(), static_cast<IControlMessage*>(&window));

    ASSERT_TRUE(window.WaitForResult());
    EXPECT_EQ(window.lastCode.load(), 0);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    DestroyWindow(hwnd);
    EXPECT_EQ(window.GetSkinWindow(), nullptr);
}

TEST_F(VexilWindowTest, EachKernelErrorShowsItsMessageBoxAndTheWindowStaysHidden) {
    struct Case {
        int code;
        const wchar_t* windowName;
        bool missingPackage;
        const wchar_t* text;
    };
    // The generic case first: it needs a kernel without an open package.
    const Case cases[] = {
        {-1, L"Main", true, L"\u521b\u5efaVexil\u7a97\u53e3\u9519\u8bef\uff0c\u9519\u8bef\u7801\uff1a-1"},
        {-2, L"NoSuchWindow", false,
         L"\u521b\u5efaVexil\u7a97\u53e3\u9519\u8bef\uff0c\u9519\u8bef\u7801\uff1a-2 "
         L"(\u4eb2\uff0c\u6709\u53ef\u80fd\u76ae\u80a4\u8def\u5f84\u521b\u5efa\u7684\u5bf9\u8bdd\u6846\u7684"
         L"\u540d\u5b57\u6ca1\u6709\u5199\u5bf9\u5965\uff01)"},
        {-3, L"Broken", false,
         L"\u521b\u5efaVexil\u7a97\u53e3\u9519\u8bef\uff0c\u9519\u8bef\u7801\uff1a-3 "
         L"(\u4eb2\uff0c\u521b\u5efa\u63a7\u4ef6\u5c45\u7136\u5931\u8d25\u4e86\uff0c\u770b\u770b\u63a7\u4ef6"
         L"DLL\u90fd\u5728\u4e0d\u5728\uff01)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const std::wstring missing = m_folder.File(L"absent.vxs");
        SkinTestWindow window;
        ASSERT_TRUE(
            CreateOwnThread(window, c.windowName, RECT{}, c.missingPackage ? missing.c_str() : nullptr));
        const shelftest::FoundMessageBox box =
            shelftest::FindAndAnswerMessageBox(GetCurrentProcessId(), kErrorBoxCaption, IDOK, kWaitMs);
        ASSERT_TRUE(box.found);
        EXPECT_EQ(box.text, c.text);
        ASSERT_TRUE(window.WaitForResult());
        EXPECT_EQ(window.lastCode.load(), c.code);
        EXPECT_FALSE(IsWindowVisible(window.GetWindowHandle()));
        EXPECT_EQ(vexil::AnsiToWide(CVexilWindow::FormatCreateErrorText(c.code).c_str(), 936), c.text);
        window.CloseWin32Window(true);
    }

    // A second package arrives the same way as the kernel posts the others.
    const wchar_t* secondPackageText =
        L"\u521b\u5efaVexil\u7a97\u53e3\u9519\u8bef\uff0c\u9519\u8bef\u7801\uff1a-4 "
        L"(\u4eb2\uff0c\u73b0\u5728\u8fd8\u4e0d\u652f\u6301\u540c\u65f6\u8f7d\u5165\u4e24\u4e2a\u76ae\u80a4"
        L"\u5305"
        L"\uff01)";
    SkinTestWindow window;
    ASSERT_TRUE(CreateOwnThread(window, L"Main"));
    ASSERT_TRUE(window.WaitForResult());
    window.PostMessage(WM_VEXIL_CREATE_ERROR, static_cast<WPARAM>(VEXIL_ERR_SECOND_PACKAGE), 0);
    const shelftest::FoundMessageBox box =
        shelftest::FindAndAnswerMessageBox(GetCurrentProcessId(), kErrorBoxCaption, IDOK, kWaitMs);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, secondPackageText);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return window.createResults.load() == 2; }, kWaitMs));
    EXPECT_EQ(window.lastCode.load(), VEXIL_ERR_SECOND_PACKAGE);
    window.CloseWin32Window(true);
}

TEST_F(VexilWindowTest, PlainCreateOperationsCreateNothing) {
    const int callsBefore = m_inspector->CreateSkinWindowCalls();
    SkinTestWindow window;
    EXPECT_FALSE(window.CreateInNewThread(nullptr, RECT{0, 0, 300, 200}, L"x", SW_SHOW, WS_POPUP, 0));
    EXPECT_FALSE(window.CreateInCurrentThread(nullptr, RECT{0, 0, 300, 200}, L"x", SW_SHOW, WS_POPUP, 0));
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
    EXPECT_EQ(window.ThreadHandle(), nullptr);
    EXPECT_EQ(m_inspector->CreateSkinWindowCalls(), callsBefore);
    EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty());
}

TEST_F(VexilWindowTest, WindowsReleaseOnlyTheKernelReferenceTheyTook) {
    IUiKernel* kernel = nullptr;
    {
        SkinTestWindow loader;
        ASSERT_TRUE(CreateOwnThread(loader, L"Main"));
        ASSERT_TRUE(loader.WaitForResult());
        EXPECT_EQ(loader.GetKernelModule(), m_kernel);
        kernel = loader.GetSkinWindow()->GetUiKernel();
        loader.CloseWin32Window(true);
    }
    // Only this test's reference is left; the package stays open in the kernel.
    ASSERT_EQ(GetModuleHandleW(kKernelName), m_kernel);
    {
        SkinTestWindow borrower;
        ASSERT_TRUE(borrower.CreateVexilWindowWithKernel(kernel, L"Main", nullptr, RECT{}, SW_SHOW, WS_POPUP,
                                                         0, true));
        ASSERT_TRUE(borrower.WaitForResult());
        EXPECT_EQ(borrower.lastCode.load(), 0);
        EXPECT_EQ(borrower.GetKernelModule(), nullptr);
        borrower.CloseWin32Window(true);
    }
    EXPECT_EQ(GetModuleHandleW(kKernelName), m_kernel) << "the borrowing window freed the kernel module";

    // Dropping this test's reference unloads the kernel: neither window kept one.
    FreeLibrary(m_kernel);
    m_kernel = nullptr;
    EXPECT_EQ(GetModuleHandleW(kKernelName), nullptr) << "a window leaked a kernel reference";
}

TEST_F(VexilWindowTest, ASecondWindowUsesThePackageTheKernelHasOpen) {
    SkinTestWindow first;
    ASSERT_TRUE(CreateOwnThread(first, L"Main"));
    ASSERT_TRUE(first.WaitForResult());

    // Another package whose "Main" has another size.
    const std::wstring otherPath = m_folder.File(L"other\\other.vxs");
    ASSERT_TRUE(uiassisttest::WriteTextFile(otherPath, "vexilskin 1\nwindow Main size=300x200\nend\n"));
    SkinTestWindow second;
    ASSERT_TRUE(CreateOwnThread(second, L"Main", RECT{}, otherPath.c_str()));
    ASSERT_TRUE(second.WaitForResult());
    EXPECT_EQ(second.lastCode.load(), 0) << "the second package reached the kernel";
    EXPECT_EQ(second.SkinPath(), m_inspector->SkinPath());
    EXPECT_EQ(CompareStringOrdinal(second.SkinPath().c_str(), -1, m_skinPath.c_str(), -1, TRUE), CSTR_EQUAL);
    const RECT rc = WindowRect(second.GetWindowHandle());
    EXPECT_EQ(rc.right - rc.left, kMainSize.cx);

    second.CloseWin32Window(true);
    first.CloseWin32Window(true);
}

TEST_F(VexilWindowTest, AWindowWhoseSkinCannotBeBuiltIsTakenDownAndCreationFails) {
    // The kernel builds one skin window per HWND: one built behind the window's back during
    // WM_CREATE makes the window's own request fail.
    SkinTestWindow window;
    window.onWmCreate = [this](SkinTestWindow& self, HWND hwnd) {
        self.Kernel()->CreateSkinWindow(hwnd, m_skinPath.c_str(), L"Main");
    };
    EXPECT_FALSE(CreateOwnThread(window, L"Main"));
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
    EXPECT_EQ(window.onCreateCalls.load(), 0);
    EXPECT_TRUE(shelftest::WindowsOfClass(VEXIL_WINDOW_CLASS).empty()) << "a bare window was left behind";
    ASSERT_NE(window.ThreadHandle(), nullptr);
    EXPECT_EQ(WaitForSingleObject(window.ThreadHandle(), kWaitMs), WAIT_OBJECT_0);
    EXPECT_TRUE(shelftest::WaitUntil([&] { return m_inspector->LiveSkinWindowCount() == 0; }, kWaitMs));
}

TEST_F(VexilWindowTest, KernelsThatCannotBeUsedAreRefusedAndReleased) {
    SkinTestWindow window;
    const RECT none = {};
    EXPECT_FALSE(
        window.CreateVexilWindow(nullptr, m_skinPath.c_str(), L"Main", nullptr, none, SW_SHOW, 0, 0, true));
    EXPECT_FALSE(window.CreateVexilWindow(kKernelName, nullptr, L"Main", nullptr, none, SW_SHOW, 0, 0, true));
    EXPECT_FALSE(window.CreateVexilWindow(kKernelName, m_skinPath.c_str(), nullptr, nullptr, none, SW_SHOW, 0,
                                          0, true));
    EXPECT_FALSE(window.CreateVexilWindowWithKernel(nullptr, L"Main", nullptr, none, SW_SHOW, 0, 0, true));
    EXPECT_FALSE(window.CreateVexilWindow(L"NoSuchKernel.dll", m_skinPath.c_str(), L"Main", nullptr, none,
                                          SW_SHOW, 0, 0, true));

    // A module without the kernel's entry is loaded, found wanting and freed again.
    const std::wstring notAKernel = uiassisttest::ExeFolder() + L"uiassist_testdll.dll";
    EXPECT_FALSE(window.CreateVexilWindow(notAKernel.c_str(), m_skinPath.c_str(), L"Main", nullptr, none,
                                          SW_SHOW, 0, 0, true));
    EXPECT_EQ(window.GetKernelModule(), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"uiassist_testdll.dll"), nullptr);
    EXPECT_EQ(window.GetWindowHandle(), nullptr);
}

} // namespace

// The damaged-installation notice ends the process, so each case that shows it runs in a child
// process (the DISABLED_ cases below, started by the parent case); the parent reads and answers the box.
#include <shelftest/shelf.h>
#include <uiassist/scopedhandle.h>

#include "damagednotice.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <thread>

using namespace shelftest;

namespace {

// What a child case ends with when the notice let it go on (the notice itself ends with 0).
constexpr UINT kWentOnExitCode = 7;
constexpr DWORD kChildTimeoutMs = 60000;
// Set in a child's environment only: the child cases run there and nowhere else.
constexpr wchar_t kChildVariable[] = L"KELVO_NOTICE_CHILD";

const wchar_t kCaption[] = L"KelvoDesktop 文件校验失败";
const std::wstring kQuestion = L" 是否立即下载最新版本？";
const std::wstring kBody = L"检测到KelvoDesktop的部分文件已被修改或损坏，不是原版文件。\r\n"
                           L"请重新安装KelvoDesktop，并进行木马扫描。\r\n"
                           L"\r\n"
                           L"被破坏的文件:KelvoDesktopUi.ufd \r\n"
                           L"\r\n"
                           L"\r\n" +
                           kQuestion;

// A child ends with kWentOnExitCode when it gets past its notice.
class DamagedNoticeChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0)
            GTEST_SKIP();
    }
    void TearDown() override {
        if (!IsSkipped())
            TerminateProcess(GetCurrentProcess(), kWentOnExitCode);
    }
};

// Builds the bookshelf (and its balloon) from a package that lacks the named window, and waits for
// the notice to end the process.
void BuildWithoutWindow(const char* window) {
    ModuleWithSkin loaded(SkinWithWindowRenamed(ReadRealSkinPackage(), window, "RenamedAway"));
    if (!loaded.Ok())
        return;
    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    // Shown on an empty store; the balloon is asked for as well.
    ShowShelf(loaded.Module(), sink, store, 1, std::nullopt);
    loaded.Module().Window()->RefreshTips();
    WaitUntil([] { return false; }, 20000);
}

TEST_F(DamagedNoticeChild, DISABLED_ShowsTheNotice) { ShowDamagedInstallNotice("KelvoDesktopUi.ufd"); }

TEST_F(DamagedNoticeChild, DISABLED_LongName) { ShowDamagedInstallNotice(std::string(600, 'x').c_str()); }

TEST_F(DamagedNoticeChild, DISABLED_BookshelfWindowMissing) { BuildWithoutWindow("BookrackWindow"); }

TEST_F(DamagedNoticeChild, DISABLED_BalloonWindowMissing) { BuildWithoutWindow("NoBookBalloon"); }

TEST(DamagedNotice, ShowsItsTextAndEndsTheProcessWithCodeZeroWhenTheAnswerIsNo) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    for (const std::wstring childCase :
         {L"ShowsTheNotice", L"LongName", L"BookshelfWindowMissing", L"BalloonWindowMissing"}) {
        SCOPED_TRACE(AnsiPath(childCase));
        std::wstring commandLine = L"\"" + std::wstring(exe) +
                                   L"\" --gtest_also_run_disabled_tests --gtest_filter=*.DISABLED_" +
                                   childCase;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child = {};
        SetEnvironmentVariableW(kChildVariable, L"1");
        const BOOL started = CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                            nullptr, &startup, &child);
        SetEnvironmentVariableW(kChildVariable, nullptr);
        ASSERT_TRUE(started);
        const vexil::ScopedHandle childThread(child.hThread);
        // A child that still runs when the case ends (it failed) is ended with it.
        const std::unique_ptr<void, void (*)(HANDLE)> process(child.hProcess, [](HANDLE handle) {
            TerminateProcess(handle, 99);
            CloseHandle(handle);
        });
        const FoundMessageBox box =
            FindAndAnswerMessageBox(child.dwProcessId, kCaption, IDNO, kChildTimeoutMs);
        ASSERT_TRUE(box.found);
        if (childCase == L"LongName") {
            // A name too long for the notice is cut short; the question at its end survives.
            EXPECT_THAT(box.text, ::testing::HasSubstr(L"被破坏的文件:xxxx"));
            EXPECT_THAT(box.text, ::testing::EndsWith(kQuestion));
        } else {
            EXPECT_EQ(box.text, kBody);
        }
        EXPECT_TRUE(box.hasYes && box.hasNo && !box.hasOk);
        DWORD exitCode = 99;
        ASSERT_EQ(WaitForSingleObject(child.hProcess, kChildTimeoutMs), WAIT_OBJECT_0);
        GetExitCodeProcess(child.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }
}

TEST(DamagedNotice, AnEmptyNameShowsNothing) {
    // A notice would end this process, or hold it until the watchdog does.
    Watchdog watchdog("the notice for an empty name", kDefaultWaitMs);
    ShowDamagedInstallNotice("");
    ShowDamagedInstallNotice(nullptr);
}

TEST(OpenUrlInBrowser, NoAddressOrOneTooLongOpensNothing) {
    EXPECT_EQ(OpenUrlInBrowser(nullptr), nullptr);
    // Cut short it would open another page: nothing is launched, and no failure box is shown.
    EXPECT_EQ(OpenUrlInBrowser((L"https://example.com/" + std::wstring(1100, L'a')).c_str()), nullptr);
}

TEST(OpenUrlInBrowser, OpensTheAddressItselfNeverAPlantedProgramAndReportsTheLaunchsOwnError) {
    // An explorer.exe in the current folder, as a download may leave one beside the host. (Wine's
    // own search takes its explorer.exe first; Windows' may take this one.)
    TempFolder folder(L"kelvo_planted");
    const std::wstring planted = folder.File(L"explorer.exe");
    ASSERT_TRUE(CopyFileW((ExeFolder() + L"\\module_markerprobe.exe").c_str(), planted.c_str(), FALSE));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    // An address that nothing on this machine opens, so no browser is started: the launch fails, and
    // the failure is reported with the shell's own error for it (not a launch of some program).
    const wchar_t address[] = L"kelvo-test-nothing-opens-this:page";
    SHELLEXECUTEINFOW direct = {};
    direct.cbSize = sizeof(direct);
    direct.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    direct.lpVerb = L"open";
    direct.lpFile = address;
    ASSERT_FALSE(ShellExecuteExW(&direct)) << "something on this machine opens the test's address";
    const DWORD error = GetLastError();
    wchar_t* expected = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&expected), 0, nullptr);
    ASSERT_NE(expected, nullptr) << "no system text for error " << error;
    const std::wstring expectedText = expected;
    LocalFree(expected);

    HINSTANCE result = reinterpret_cast<HINSTANCE>(INT_PTR{99});
    std::thread launch([&] { result = OpenUrlInBrowser(address); });
    const FoundMessageBox box =
        FindAndAnswerMessageBox(GetCurrentProcessId(), L"Error", IDOK, kDefaultWaitMs);
    launch.join();
    SetCurrentDirectoryW(current);
    EXPECT_TRUE(box.found) << "a failed launch was not reported";
    EXPECT_EQ(box.text, expectedText);
    EXPECT_LE(reinterpret_cast<INT_PTR>(result), 32);
    EXPECT_EQ(GetFileAttributesW((planted + L".ran").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the explorer.exe planted in the current folder was run";
}

} // namespace

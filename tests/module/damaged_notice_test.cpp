// The damaged-installation notice ends the process, so each case that shows it runs in a child
// process (the DISABLED_ cases below, started by the parent case); the parent reads and answers the box.
#include <shelftest/shelftest.h>

#include "addbooktipsdlg.h"

#include <string>

using namespace shelftest;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

// What a child case ends with when the notice let it go on (the notice itself ends with 0).
constexpr UINT kWentOnExitCode = 7;
constexpr DWORD kChildTimeoutMs = 60000;

const wchar_t kCaption[] = L"KelvoDesktop 文件校验失败";
const std::wstring kQuestion = L" 是否立即下载最新版本？";
const std::wstring kBody = L"检测到KelvoDesktop的部分文件已被修改或损坏，不是原版文件。\r\n"
                           L"请重新安装KelvoDesktop，并进行木马扫描。\r\n"
                           L"\r\n"
                           L"被破坏的文件:KelvoDesktopUi.ufd \r\n"
                           L"\r\n"
                           L"\r\n" +
                           kQuestion;

// Runs only as a child, which ends with kWentOnExitCode when it gets past its notice.
class DamagedNoticeChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsChildTestProcess())
            GTEST_SKIP();
    }
    void TearDown() override {
        if (IsChildTestProcess())
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
    CBookrackWindow* shelf = loaded.Module().Window();
    shelf->SetNotifySink(&sink, loaded.Module().Module());
    shelf->SetHost(&store, 1);
    // Shown by the user on an empty store; the balloon is asked for as well.
    shelf->Show(true, nullptr);
    shelf->RefreshTips();
    WaitUntil([] { return false; }, 20000);
}

TEST_F(DamagedNoticeChild, DISABLED_ShowsTheNotice) { ShowDamagedInstallNotice("KelvoDesktopUi.ufd"); }

TEST_F(DamagedNoticeChild, DISABLED_LongName) { ShowDamagedInstallNotice(std::string(600, 'x').c_str()); }

TEST_F(DamagedNoticeChild, DISABLED_BookshelfWindowMissing) { BuildWithoutWindow("BookrackWindow"); }

TEST_F(DamagedNoticeChild, DISABLED_BalloonWindowMissing) { BuildWithoutWindow("NoBookBalloon"); }

TEST(DamagedNotice, ShowsItsTextAndEndsTheProcessWithCodeZeroWhenTheAnswerIsNo) {
    for (const char* childCase :
         {"ShowsTheNotice", "LongName", "BookshelfWindowMissing", "BalloonWindowMissing"}) {
        SCOPED_TRACE(childCase);
        ChildTestProcess child(std::string("*.DISABLED_") + childCase);
        ASSERT_TRUE(child.Started());
        const FoundMessageBox box = FindAndAnswerMessageBox(child.Pid(), kCaption, IDNO, kChildTimeoutMs);
        ASSERT_TRUE(box.found);
        if (std::string(childCase) == "LongName") {
            // A name too long for the notice is cut short; the question at its end survives.
            EXPECT_THAT(box.text, HasSubstr(L"被破坏的文件:xxxx"));
            EXPECT_THAT(box.text, EndsWith(kQuestion));
        } else {
            EXPECT_EQ(box.text, kBody);
        }
        EXPECT_TRUE(box.hasYes && box.hasNo && !box.hasOk);
        DWORD exitCode = 99;
        ASSERT_TRUE(child.Wait(kChildTimeoutMs, &exitCode));
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

} // namespace

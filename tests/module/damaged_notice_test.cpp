// The damaged-installation notice ends the process, so each case runs in a child process (the
// DISABLED_ cases below, started by the parent cases); the parent reads and answers the box.
#include <shelftest/shelftest.h>

#include "addbooktipsdlg.h"

#include <cwchar>
#include <string>

using namespace shelftest;

namespace {

// What a child case ends with when the notice let it go on (the notice itself ends with 0).
constexpr UINT kWentOnExitCode = 7;
constexpr DWORD kChildTimeoutMs = 60000;

const wchar_t kCaption[] = L"KelvoDesktop 文件校验失败";
const wchar_t kBody[] = L"检测到KelvoDesktop的部分文件已被修改或损坏，不是原版文件。\r\n"
                        L"请重新安装KelvoDesktop，并进行木马扫描。\r\n"
                        L"\r\n"
                        L"被破坏的文件:KelvoDesktopUi.ufd \r\n"
                        L"\r\n"
                        L"\r\n"
                        L" 是否立即下载最新版本？";

void WentOn() { TerminateProcess(GetCurrentProcess(), kWentOnExitCode); }

const wchar_t kQuestion[] = L" 是否立即下载最新版本？";

// Runs a child case, answers its notice with No, and checks the box and the exit code.
void ExpectNoticeEndsChild(const char* childCase, const wchar_t* body = kBody) {
    ChildTestProcess child(std::string("*.") + childCase);
    ASSERT_TRUE(child.Started());
    const FoundMessageBox box = FindAndAnswerMessageBox(child.Pid(), kCaption, IDNO, kChildTimeoutMs);
    ASSERT_TRUE(box.found) << "no notice from " << childCase;
    EXPECT_EQ(box.caption, kCaption);
    if (body != nullptr) {
        EXPECT_EQ(box.text, body);
    } else {
        // A name too long for the notice is cut short; the question at its end survives.
        ASSERT_GT(box.text.size(), wcslen(kQuestion));
        EXPECT_EQ(box.text.substr(box.text.size() - wcslen(kQuestion)), kQuestion);
        EXPECT_NE(box.text.find(L"被破坏的文件:xxxx"), std::wstring::npos);
    }
    EXPECT_TRUE(box.hasYes && box.hasNo);
    EXPECT_FALSE(box.hasOk);
    DWORD exitCode = 99;
    ASSERT_TRUE(child.Wait(kChildTimeoutMs, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

// Builds the bookshelf (or its balloon) from a package that lacks the named window.
void BuildWithoutWindow(const char* window, bool showBalloon) {
    const std::string package = SkinWithWindowRenamed(ReadRealSkinPackage(), window, "RenamedAway");
    ModuleWithSkin loaded(package);
    if (!loaded.Ok())
        return WentOn();
    ::testing::NiceMock<MockShelfSink> sink;
    FakeShelfStore store;
    CBookrackWindow* shelf = loaded.Window();
    shelf->SetNotifySink(&sink, loaded.Module().Module());
    shelf->SetHost(&store, 1);
    // Shown by the user on an empty store: the first load asks for the balloon.
    shelf->Show(true, nullptr);
    if (showBalloon)
        shelf->RefreshTips();
    // The notice ends the process while this waits; otherwise the case reports that it went on.
    WaitUntil([] { return false; }, 20000);
    WentOn();
}

} // namespace

// ---- child cases ----

TEST(DamagedNoticeChild, DISABLED_ShowsTheNotice) {
    if (!IsChildTestProcess())
        GTEST_SKIP();
    ShowDamagedInstallNotice("KelvoDesktopUi.ufd");
    WentOn();
}

TEST(DamagedNoticeChild, DISABLED_LongName) {
    if (!IsChildTestProcess())
        GTEST_SKIP();
    ShowDamagedInstallNotice(std::string(600, 'x').c_str());
    WentOn();
}

TEST(DamagedNoticeChild, DISABLED_EmptyNameGoesOn) {
    if (!IsChildTestProcess())
        GTEST_SKIP();
    ShowDamagedInstallNotice("");
    ShowDamagedInstallNotice(nullptr);
    WentOn();
}

TEST(DamagedNoticeChild, DISABLED_BookshelfWindowMissing) {
    if (!IsChildTestProcess())
        GTEST_SKIP();
    BuildWithoutWindow("BookrackWindow", false);
}

TEST(DamagedNoticeChild, DISABLED_BalloonWindowMissing) {
    if (!IsChildTestProcess())
        GTEST_SKIP();
    BuildWithoutWindow("NoBookBalloon", true);
}

// ---- parent cases ----

TEST(DamagedNotice, ShowsItsTextAndEndsTheProcessWithCodeZeroWhenTheAnswerIsNo) {
    ExpectNoticeEndsChild("DISABLED_ShowsTheNotice");
}

TEST(DamagedNotice, ALongFileNameIsCutShortAndTheQuestionSurvives) {
    ExpectNoticeEndsChild("DISABLED_LongName", nullptr);
}

TEST(DamagedNotice, AnEmptyNameDoesNothingAndTheProcessGoesOn) {
    ChildTestProcess child("*.DISABLED_EmptyNameGoesOn");
    ASSERT_TRUE(child.Started());
    DWORD exitCode = 0;
    // A notice would hold the child until its box is answered.
    ASSERT_TRUE(child.Wait(kChildTimeoutMs, &exitCode));
    EXPECT_EQ(exitCode, kWentOnExitCode);
}

TEST(DamagedNotice, ASkinWithoutTheBookshelfWindowEndsTheProcessThroughTheNotice) {
    ExpectNoticeEndsChild("DISABLED_BookshelfWindowMissing");
}

TEST(DamagedNotice, ASkinWithoutTheBalloonEndsTheProcessThroughTheNotice) {
    ExpectNoticeEndsChild("DISABLED_BalloonWindowMissing");
}

TEST(OpenUrlInBrowser, NoAddressOrOneTooLongOpensNothing) {
    EXPECT_EQ(OpenUrlInBrowser(nullptr), nullptr);
    // Cut short it would open another page: nothing is launched, and no failure box is shown.
    EXPECT_EQ(OpenUrlInBrowser((L"https://example.com/" + std::wstring(1100, L'a')).c_str()), nullptr);
}

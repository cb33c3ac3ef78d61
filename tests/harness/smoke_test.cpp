// The harness's own check: a test program built by the cross compiler starts under Wine in the
// project's prefix, in its own folder, with the checked build's library assertions working.
// That the prefix makes windows needs no check of its own: every suite makes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

TEST(HarnessSmoke, TestsStartInTheFolderOfTheirDlls) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(exe).parent_path(),
                                            std::filesystem::current_path()));
}

// Wine keeps file names as UTF-8 on the Unix side only when the locale it starts in is installed:
// without it, every name outside ASCII is unreachable and a profile folder named after its user
// looks empty.
TEST(HarnessSmoke, ProgramsRunInTheCodePageAskedForAndReachFilesOfAnyName) {
    char asked[16] = {};
    if (GetEnvironmentVariableA("KELVO_CODEPAGE", asked, sizeof(asked)) > 0) {
        EXPECT_EQ(GetACP(), std::stoul(asked));
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (L"\u03a9mega \u5f20\u4f1f \u0926\u0940\u092a " + std::to_wstring(GetCurrentProcessId()));
    std::error_code error;
    EXPECT_TRUE(std::filesystem::create_directory(folder, error)) << error.message();
    std::ofstream(folder / L"\u4e66.txt") << "cover";
    EXPECT_EQ(std::filesystem::file_size(folder / L"\u4e66.txt", error), 5u) << error.message();
    std::filesystem::remove_all(folder, error);
}

#ifdef VEXIL_DIAGNOSTICS
TEST(HarnessSmokeDeathTest, CheckedBuildStopsOnAnOutOfRangeIndex) {
    std::vector<int> values(2);
    volatile size_t index = 2;
    EXPECT_DEATH(values[index] = 1, "__n < this->size");
}
#endif

} // namespace

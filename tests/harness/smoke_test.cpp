// The harness's own check: a test program built by the cross compiler starts under Wine in the
// project's prefix, in its own folder, with the checked build's library assertions working.
// That the prefix makes windows needs no check of its own: every suite makes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

TEST(HarnessSmoke, TestsStartInTheFolderOfTheirDlls) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(exe).parent_path(),
                                            std::filesystem::current_path()));
}

#ifdef VEXIL_DIAGNOSTICS
TEST(HarnessSmokeDeathTest, CheckedBuildStopsOnAnOutOfRangeIndex) {
    std::vector<int> values(2);
    volatile size_t index = 2;
    EXPECT_DEATH(values[index] = 1, "__n < this->size");
}
#endif

} // namespace

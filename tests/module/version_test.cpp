// The version a host sees in the Properties of each shipped DLL: the project's one version, in the
// fixed part and in the texts of the version resource, read from the DLLs as built.
#include <shelftest/module.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace shelftest;

namespace {

// The version CMake's project() declares, passed to this test by the build.
constexpr char kExpectedVersion[] = KELVO_EXPECTED_VERSION;

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

TEST(VersionResource, EachShippedDllCarriesTheProjectVersion) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(sscanf(kExpectedVersion, "%u.%u.%u", &major, &minor, &patch), 3) << kExpectedVersion;
    for (const wchar_t* dll : {L"desktopui.dll", L"VexilKernel.dll"}) {
        SCOPED_TRACE(::testing::Message() << "in " << ::testing::PrintToString(std::wstring(dll)));
        const std::wstring path = ExeFolder() + L"\\" + dll;
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, patch));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

        for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
            const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
            wchar_t* text = nullptr;
            ASSERT_TRUE(VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length))
                << "no " << ::testing::PrintToString(std::wstring(name));
            EXPECT_EQ(std::wstring(text), Widen(kExpectedVersion));
        }
        wchar_t* original = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                                   reinterpret_cast<void**>(&original), &length));
        EXPECT_EQ(std::wstring(original), dll);
    }
}

} // namespace

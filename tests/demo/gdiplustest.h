// A test fixture base for suites that draw or read pictures: GDI+ runs for the suite's duration.
#pragma once

#include <windows.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

class GdiplusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&s_token, &input, nullptr), Gdiplus::Ok);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(s_token); }

private:
    static inline ULONG_PTR s_token = 0;
};

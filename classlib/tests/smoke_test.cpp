#include <gtest/gtest.h>
#include <windows.h>

TEST(Platform, ReportsWindows98)
{
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof(vi);
    ASSERT_TRUE(GetVersionExA(&vi));
    EXPECT_EQ(1u, vi.dwPlatformId);
    EXPECT_EQ(4u, vi.dwMajorVersion);
    EXPECT_EQ(10u, vi.dwMinorVersion);
}

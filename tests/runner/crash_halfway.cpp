// Three tests; the second ends the process as a crash would, before any result file is written.
#include <gtest/gtest.h>

#include <windows.h>

TEST(CrashHalfway, First)
{
    EXPECT_EQ(2, 1 + 1);
}

TEST(CrashHalfway, Second)
{
    if (GetEnvironmentVariableA("VGL_CRASH_HALFWAY", NULL, 0) > 0)
        TerminateProcess(GetCurrentProcess(), 0);
}

TEST(CrashHalfway, Third)
{
    EXPECT_TRUE(true);
}

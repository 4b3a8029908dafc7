#include <gtest/gtest.h>

#include "IOTLib.h"

TEST(IOTLib, DriverErrorsMapToLibraryCodes)
{
    struct { int nDriver; DWORD dwError; } cases[] = {
        {-1, 0xF02F}, {-4, 0xF032}, {-76, 0xF034}, {-78, 0xF016}, {-90, 0xF022}, {-99, 0xF02B},
        {-101, 0xF039}, {-1005, 0xF00D}, {-1009, 0xF015}, {-1100, 0xF051}, {-1020, 0xF112},
        {-5, 0xF105}, {-77, 0xF100 + 77},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.dwError, IOT_MapDriverError(c.nDriver)) << c.nDriver;
}

TEST(IOTLib, MultiStringIsSentWithOneSpareByte)
{
    EXPECT_EQ(6u, IOT_MultiStringLength("A\0B\0"));
    EXPECT_EQ(2u, IOT_MultiStringLength(""));
    EXPECT_EQ(14u, IOT_MultiStringLength("a.com\0b.exe\0"));
}

TEST(IOTLib, RequestsOnAClosedDevice)
{
    SetLastError(0);
    EXPECT_EQ(1, IOT_ScanFile("C:\\x.com"));
    EXPECT_EQ((DWORD)IOT_ERR_NOT_OPEN, GetLastError());

    SetLastError(0);
    EXPECT_FALSE(IOT_SetFirstAction(2, "C:\\Quarantine", IOT_TYPE_MANUAL));
    EXPECT_EQ((DWORD)IOT_ERR_NOT_OPEN, GetLastError());

    SetLastError(0);
    EXPECT_FALSE(IOT_EncodeFile("C:\\a", "C:\\b"));
    EXPECT_EQ((DWORD)ERROR_NOT_READY, GetLastError());

    SetLastError(0);
    EXPECT_EQ(0, IOT_GetZipCleanFlag(IOT_TYPE_MANUAL));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(-1, IOT_GetMaxExtractFileSize(IOT_TYPE_MANUAL));
    EXPECT_EQ(1, IOT_ScanBootSector('c', NULL));
    EXPECT_EQ(0, IOT_ScanMemory(NULL));
    EXPECT_FALSE(IOT_AddExceptionProcess(42));

    SetLastError(0);
    EXPECT_FALSE(IOT_Stop());
    EXPECT_EQ((DWORD)IOT_ERR_NOT_OPEN, GetLastError());

    SetLastError(0);
    EXPECT_FALSE(IOT_FreeEvent(NULL));
    EXPECT_EQ((DWORD)IOT_ERR_INVALID_ARG, GetLastError());
}

// The hidden placeholder file in a scratch folder under the test folder.
#include <gtest/gtest.h>

#include "ReserveSpace.h"
#include "VglTestSupport.h"

#include <string>
#include <vector>

namespace
{
class DiskReserve : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = ScratchFile("reserve_scratch");
        CreateDirectoryA(m_strDir.c_str(), NULL);
        m_strFile = m_strDir + "\\Reserve";
        Remove(m_strFile);
    }
    void TearDown() override
    {
        Remove(m_strFile);
        RemoveDirectoryA(m_strDir.c_str());
    }

    static void Remove(const std::string& strPath)
    {
        SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(strPath.c_str());
    }

    // Size, or -1 when missing; bAllZero tells whether every byte is zero.
    static long long FileSize(const std::string& strPath, bool* pfAllZero = NULL)
    {
        HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return -1;
        long long nSize = 0;
        bool fZero = true;
        std::vector<char> buf(65536);
        DWORD cb = 0;
        while (ReadFile(h, &buf[0], (DWORD)buf.size(), &cb, NULL) && cb)
        {
            for (DWORD i = 0; i < cb; ++i)
                fZero = fZero && buf[i] == 0;
            nSize += cb;
        }
        CloseHandle(h);
        if (pfAllZero)
            *pfAllZero = fZero;
        return nSize;
    }

    std::string m_strDir;
    std::string m_strFile;
};
}

TEST_F(DiskReserve, ReservesAHiddenZeroFilledFileOfTheRequestedSize)
{
    const DWORD sizes[] = {1048576 + 100, 4096, 10};
    for (DWORD dwSize : sizes)
    {
        char szError[64] = "stale";
        DWORD dwReserved = 0;
        ASSERT_EQ(0u, ReserveSpace(m_strFile.c_str(), dwSize, &dwReserved, szError, sizeof(szError))) << szError;
        EXPECT_STREQ("", szError);
        EXPECT_EQ(dwSize, dwReserved);
        bool fZero = false;
        EXPECT_EQ((long long)dwSize, FileSize(m_strFile, &fZero));
        EXPECT_TRUE(fZero);
        EXPECT_TRUE(GetFileAttributesA(m_strFile.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    }
}

TEST_F(DiskReserve, RemoveSpaceLeavesAnEmptyHiddenFile)
{
    DWORD dwReserved = 0;
    char szError[64];
    ASSERT_EQ(0u, ReserveSpace(m_strFile.c_str(), 200000, &dwReserved, szError, sizeof(szError)));
    strcpy(szError, "stale");
    EXPECT_EQ(0u, RemoveSpace(m_strFile.c_str(), szError, sizeof(szError)));
    EXPECT_STREQ("", szError);
    EXPECT_EQ(0, FileSize(m_strFile));
    EXPECT_TRUE(GetFileAttributesA(m_strFile.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(DiskReserve, PathWithoutBackslashReservesInTheCurrentFolder)
{
    char szOld[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, szOld);
    ASSERT_TRUE(SetCurrentDirectoryA(m_strDir.c_str()));
    DWORD dwReserved = 0;
    char szError[64];
    DWORD dwResult = ReserveSpace("Reserve", 8192, &dwReserved, szError, sizeof(szError));
    SetCurrentDirectoryA(szOld);
    EXPECT_EQ(0u, dwResult) << szError;
    EXPECT_EQ(8192, FileSize(m_strFile));
}

TEST_F(DiskReserve, FailingStepIsNamedInTheErrorText)
{
    std::string strPath = m_strDir + "\\missing\\Reserve";
    const struct { int cch; const char* expected; } cases[] = {{64, "CreateFile"}, {5, "Crea"}, {1, ""}};
    for (const auto& c : cases)
    {
        char szError[80];
        memset(szError, 'x', sizeof(szError));
        DWORD dwReserved = 1;
        EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, ReserveSpace(strPath.c_str(), 4096, &dwReserved, szError, c.cch));
        EXPECT_STREQ(c.expected, szError);
        EXPECT_EQ('x', szError[c.cch]);
    }
}

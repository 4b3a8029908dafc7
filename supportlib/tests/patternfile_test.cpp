#include <gtest/gtest.h>
#include <stdio.h>
#include <algorithm>
#include <string.h>
#include <string>
#include <vector>
#include "GoldenBytes.h"
#include "PatternFile.h"
#include "vxptool_run.h"

using vxptest::Quote;
using vxptest::RunTool;

namespace {

// A scratch folder named after the running test.
class PatternFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* pszTest = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = FreshScratchFolder(std::string("pattern_") + pszTest);
    }

    // Writes VXP$SIG.<number> with the tool's options.
    void Make(const std::string& args)
    {
        ASSERT_EQ(0, RunTool("pattern " + Quote(m_folder) + " " + args)) << args;
    }

    std::string Path(const char* pszName) const { return m_folder + "\\" + pszName; }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(Path("*.*").c_str(), &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(fd.cFileName);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
        return names;
    }

    std::string m_folder;
};

} // namespace

TEST(PatternNameTest, NumbersAndExtensions)
{
    static const struct { int nNumber; int cbBuf; int nResult; const char* pszExt; } toExt[] = {
        { 1, 4, 0, "001" },   { 999, 4, 0, "999" }, { 1000, 4, 0, "A00" }, { 3599, 4, 0, "Z99" },
        { 1005, 8, 0, "A05" }, { 0, 4, -99, "" },   { 3600, 4, -99, "" },  { -5, 4, -99, "" },
        { 578, 3, -85, "" },  { 578, 0, -99, "" },
    };
    for (const auto& c : toExt) {
        char szBuf[8] = "";
        EXPECT_EQ(c.nResult, patternNumberToExtension(c.nNumber, szBuf, c.cbBuf)) << c.nNumber;
        if (c.nResult == 0) {
            EXPECT_STREQ(c.pszExt, szBuf);
        }
    }
    EXPECT_EQ(-99, patternNumberToExtension(5, NULL, 4));

    static const struct { const char* pszExt; int nNumber; } toNumber[] = {
        { "a05", 1005 }, { "A05", 1005 }, { "Z99", 3599 }, { "z99", 3599 }, { "001", 1 },
        { "578", 578 },  { "5", -1 },     { "5788", -1 },  { "0A5", -1 },   { "05A", -1 },
        { "[00", -1 },   { " 05", -1 },   { "", -1 },
    };
    for (const auto& c : toNumber)
        EXPECT_EQ(c.nNumber, patternExtensionToNumber(c.pszExt)) << c.pszExt;
    EXPECT_EQ(-99, patternExtensionToNumber(NULL));

    static const struct { const char* pszName; int nNumber; } ofFile[] = {
        { "VXP$SIG.578", 578 }, { "C:\\VGL.95\\VXP$SIG.b12", 1112 }, { "VXP$SIG", -1 },
        { "VXP$SIG.578.BAK", -1 }, { "C:\\A.B\\VXPSIG", -1 },
    };
    for (const auto& c : ofFile)
        EXPECT_EQ(c.nNumber, patternNumberOfFile(c.pszName)) << c.pszName;
}

TEST(PatternNameTest, FormatVersion)
{
    static const struct { int nNumber; BOOL fResult; const char* pszText; } cases[] = {
        { 157800, TRUE, " 1.578.00" }, { 100500, TRUE, " 1.005.00" }, { 1000, TRUE, " 0.010.00" },
        { 4235917, TRUE, "42.359.17" }, { 999, FALSE, "999" },        { 0, FALSE, "0" },
    };
    for (const auto& c : cases) {
        char szOut[16] = "";
        EXPECT_EQ(c.fResult, formatPatternVersion(c.nNumber, szOut)) << c.nNumber;
        EXPECT_STREQ(c.pszText, szOut);
    }
}

TEST(PatternNameTest, ChecksumIsPlainCrc32WithoutInversion)
{
    EXPECT_EQ(0x2DFD2D88UL, patternCrc32(0, "123456789", 9));
    EXPECT_EQ(0x2DFD2D88UL, patternCrc32(patternCrc32(0, "1234", 4), "56789", 5));
}

TEST(PatternNameTest, CandidatesStayNewestFirstWithinCapacity)
{
    PatternCandidate a[3];
    int n = 0;
    const struct { int nNumber; DWORD dwVersion; } order[] = {
        { 101, 110100 }, { 103, 110300 }, { 102, 110200 }, { 100, 110000 }, { 104, 110400 },
    };
    for (const auto& o : order) {
        PatternCandidate c = { o.nNumber, o.dwVersion, "" };
        n = insertPatternCandidate(a, n, 3, c);
    }
    ASSERT_EQ(3, n);
    EXPECT_EQ(104, a[0].nNumber);
    EXPECT_EQ(103, a[1].nNumber);
    EXPECT_EQ(102, a[2].nNumber);

    static const struct { int n1; DWORD v1; int n2; DWORD v2; int nResult; } cmp[] = {
        { 5, 200, 9, 100, 1 }, { 9, 100, 5, 200, -1 }, { 5, 300, 9, 300, 0 },
        { 9, 0, 5, 0, 1 },     { 5, 0, 9, 0, -1 },     { 5, 0, 5, 0, 0 },
    };
    for (const auto& c : cmp)
        EXPECT_EQ(c.nResult, comparePatternVersions(c.n1, c.v1, c.n2, c.v2)) << c.n1 << " " << c.v1;
}

TEST_F(PatternFolderTest, ChecksAndVersionsOfIntactAndDamagedFiles)
{
    static const struct {
        const char* pszArgs;    // tool arguments after the folder
        const char* pszName;
        int nCheck;             // VSCheckPatternFile
        int nVersionResult;     // readPatternVersion
        DWORD dwVersion;
    } cases[] = {
        { "578", "VXP$SIG.578", 578, 0, 157800 },
        { "579 --table", "VXP$SIG.579", 579, 0, 157900 },
        { "580 --no-info", "VXP$SIG.580", 580, -1, 58000 },
        { "581 --version 158200", "VXP$SIG.581", 581, -2, 158200 },
        { "1005", "VXP$SIG.A05", 1005, -2, 200500 },
        { "1006 --no-info", "VXP$SIG.A06", 1006, -1, 100600 },
        { "582 --extra 5000", "VXP$SIG.582", 582, 0, 158200 },
        { "583 --damage crc", "VXP$SIG.583", -1, 0, 158300 },
        { "584 --table --damage crc", "VXP$SIG.584", -1, 0, 158400 },
        { "585 --damage short", "VXP$SIG.585", -96, 0, 158500 },
        { "586 --damage negsize", "VXP$SIG.586", -1, -3, 58600 },
        { "587 --no-info --table --damage negsize", "VXP$SIG.587", -1, -1, 58700 },
        { "588 --no-info --damage negsize", "VXP$SIG.588", -1, -1, 58800 },
        { "589 --damage number", "VXP$SIG.589", -3, 0, 158900 },
        { "590 --damage refused", "VXP$SIG.590", -4, 0, 159000 },
    };
    for (const auto& c : cases) {
        Make(c.pszArgs);
        std::string path = Path(c.pszName);
        EXPECT_EQ(c.nCheck, VSCheckPatternFile(path.c_str())) << c.pszArgs;
        DWORD dwVersion = 1;
        int nNumber = 0;
        EXPECT_EQ(c.nVersionResult, readPatternVersion(path.c_str(), &dwVersion, &nNumber))
            << c.pszArgs;
        EXPECT_EQ(c.dwVersion, dwVersion) << c.pszArgs;
        EXPECT_EQ(patternNumberOfFile(c.pszName), nNumber) << c.pszArgs;
    }

    // An empty file, a missing one, and an intact file under a malformed extension.
    fclose(fopen(Path("VXP$SIG.591").c_str(), "wb"));
    ASSERT_TRUE(CopyFileA(Path("VXP$SIG.578").c_str(), Path("VXP$SIG.5X8").c_str(), FALSE));
    static const struct { const char* pszName; int nCheck; int nVersionResult; } others[] = {
        { "VXP$SIG.591", -96, -96 },
        { "VXP$SIG.592", -94, -94 },
        { "VXP$SIG.5X8", -1, -1 },
    };
    for (const auto& c : others) {
        DWORD dwVersion;
        int nNumber;
        EXPECT_EQ(c.nCheck, VSCheckPatternFile(Path(c.pszName).c_str())) << c.pszName;
        std::string path = Path(c.pszName);
        EXPECT_EQ(c.nVersionResult, readPatternVersion(path.c_str(), &dwVersion, &nNumber))
            << c.pszName;
    }
}

// A pattern file as the engine writes it on either target (outside/vxpformat's golden bytes):
// the information record and one signature entry. The client reads its number and version.
TEST_F(PatternFolderTest, GoldenPatternBytesAreRead)
{
    std::string strEntry = Unhex("56676c2e476f6c64656e000000000000 05 01 0400 e2af5712") + std::string(104, '\0');
    const struct { const char* pszWhat; std::string bytes; } cases[] = {
        { "information record only", Unhex("1ad1bd1a 0100 0602332d 4202 0c00 | 01000000 04000000 69680200") },
        { "with a signature record", Unhex("1ad1bd1a 0100 0602332d 4202 0c00 | 01000000 04000000 69680200"
                                           "1ac5bd1a 0100 28976f6f 4202 8000") + strEntry },
    };
    for (const auto& c : cases) {
        std::string path = Path("VXP$SIG.578");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes)) << c.pszWhat;
        EXPECT_EQ(578, VSCheckPatternFile(path.c_str())) << c.pszWhat;
        DWORD dwVersion = 0;
        int nNumber = 0;
        EXPECT_EQ(0, readPatternVersion(path.c_str(), &dwVersion, &nNumber)) << c.pszWhat;
        EXPECT_EQ(157801u, dwVersion) << c.pszWhat;
        EXPECT_EQ(578, nNumber) << c.pszWhat;
    }
}

TEST_F(PatternFolderTest, ListReportsEachKindOfDamage)
{
    const char* apszArgs[] = {
        "600", "601 --damage crc", "602 --damage short", "603 --damage negsize",
        "604 --damage number", "605 --damage refused", "606 --table",
    };
    for (const char* pszArgs : apszArgs)
        Make(pszArgs);

    int nCount = 0;
    EXPECT_EQ(7, VSGetPatternList(m_folder.c_str(), NULL, NULL, &nCount, TRUE));

    // Newest first by internal version: 603 has none readable, so it counts as 60300.
    static const struct { short nNumber; const char* pszName; int nCheck; } expected[] = {
        { 606, "VXP$SIG.606", 0 },  { 605, "VXP$SIG.605", -4 }, { 604, "VXP$SIG.604", -3 },
        { 602, "VXP$SIG.602", -96 }, { 601, "VXP$SIG.601", -1 }, { 600, "VXP$SIG.600", 0 },
        { 603, "VXP$SIG.603", -1 },
    };
    PatternFileInfo list[10];
    memset(list, 0x55, sizeof(list));
    nCount = 10;
    ASSERT_EQ(0, VSGetPatternList(m_folder.c_str(), NULL, list, &nCount, TRUE));
    ASSERT_EQ(7, nCount);
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(expected[i].nNumber, list[i].nPatternNumber) << i;
        EXPECT_STREQ(expected[i].pszName, list[i].szFileName) << i;
        EXPECT_EQ(expected[i].nCheck, list[i].nCheckResult) << i;
    }

    // Unchecked, and cut to the caller's capacity.
    nCount = 2;
    ASSERT_EQ(0, VSGetPatternList(m_folder.c_str(), NULL, list, &nCount, FALSE));
    ASSERT_EQ(2, nCount);
    EXPECT_EQ(606, list[0].nPatternNumber);
    EXPECT_EQ(605, list[1].nPatternNumber);
    EXPECT_EQ(0, list[1].nCheckResult);
}

TEST_F(PatternFolderTest, NewestIntactPatternIsFoundAndKept)
{
    Make("100");
    Make("101");
    Make("102 --damage crc");

    PatternFileInfo info;
    ASSERT_EQ(0, VSGetLastPattern(m_folder.c_str(), NULL, &info, TRUE));
    EXPECT_EQ(101, info.nPatternNumber);
    EXPECT_STREQ("VXP$SIG.101", info.szFileName);
    ASSERT_EQ(0, VSGetLastPattern((m_folder + "\\").c_str(), "VXP$SIG", &info, FALSE));
    EXPECT_EQ(102, info.nPatternNumber);
    EXPECT_STREQ("VXP$SIG.102", info.szFileName);
    EXPECT_EQ(0, info.nCheckResult);

    ASSERT_EQ(0, VSDeleteUnusedPattern(m_folder.c_str(), NULL, 1));
    EXPECT_EQ(std::vector<std::string>(1, "VXP$SIG.101"), Files());
}

TEST_F(PatternFolderTest, SearchLooksPastMoreDamagedFilesThanItHoldsAtOnce)
{
    Make("701");
    for (int n = 702; n <= 708; n++)
        Make(std::to_string(n) + " --damage crc");
    // An intact newer pattern under a name longer than 8.3 does not count.
    Make("900");
    ASSERT_TRUE(MoveFileA(Path("VXP$SIG.900").c_str(), Path("VXP$SIG.708.900").c_str()));

    PatternFileInfo info;
    ASSERT_EQ(0, VSGetLastPattern(m_folder.c_str(), NULL, &info, TRUE));
    EXPECT_EQ(701, info.nPatternNumber);
    ASSERT_EQ(0, VSGetLastPattern(m_folder.c_str(), NULL, &info, FALSE));
    EXPECT_EQ(708, info.nPatternNumber);

    // Keeping two: only one file is intact; every other pattern goes.
    ASSERT_EQ(0, VSDeleteUnusedPattern(m_folder.c_str(), NULL, 2));
    std::vector<std::string> files = Files();
    std::sort(files.begin(), files.end());
    const char* apszLeft[] = { "VXP$SIG.701", "VXP$SIG.708.900" };
    EXPECT_EQ(std::vector<std::string>(apszLeft, apszLeft + 2), files);
}

TEST_F(PatternFolderTest, InternalVersionDecidesWhichIsNewest)
{
    Make("300 --version 230000");
    Make("301");
    Make("302 --no-info");
    PatternFileInfo info;
    ASSERT_EQ(0, VSGetLastPattern(m_folder.c_str(), NULL, &info, TRUE));
    EXPECT_EQ(300, info.nPatternNumber);

    // A read-only file is removed as well; a file held open cannot be.
    ASSERT_TRUE(SetFileAttributesA(Path("VXP$SIG.301").c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE hHeld = CreateFileA(Path("VXP$SIG.302").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                               0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    EXPECT_EQ(-5, VSDeleteUnusedPattern(m_folder.c_str(), NULL, 1));
    CloseHandle(hHeld);
    ASSERT_EQ(0, VSDeleteUnusedPattern(m_folder.c_str(), NULL, 1));
    EXPECT_EQ(std::vector<std::string>(1, "VXP$SIG.300"), Files());
}

TEST_F(PatternFolderTest, SearchErrors)
{
    std::string longFolder = m_folder + "\\" + std::string(250 - m_folder.size(), 'x');
    PatternFileInfo info, list[2];
    int nCount = 2, nZero = 0;
    EXPECT_EQ(-2, VSGetLastPattern(m_folder.c_str(), NULL, &info, TRUE));
    EXPECT_EQ(-2, VSGetPatternList(m_folder.c_str(), NULL, list, &nCount, TRUE));
    EXPECT_EQ(-2, VSGetPatternList(m_folder.c_str(), NULL, NULL, &nZero, TRUE));
    EXPECT_EQ(-2, VSDeleteUnusedPattern(m_folder.c_str(), NULL, 1));
    EXPECT_EQ(-99, VSGetLastPattern(NULL, NULL, &info, TRUE));
    EXPECT_EQ(-99, VSGetLastPattern(m_folder.c_str(), NULL, NULL, TRUE));
    EXPECT_EQ(-99, VSGetLastPattern(longFolder.c_str(), NULL, &info, TRUE));
    EXPECT_EQ(-99, VSGetPatternList(m_folder.c_str(), NULL, NULL, &nCount, TRUE));
    EXPECT_EQ(-99, VSGetPatternList(longFolder.c_str(), NULL, list, &nCount, TRUE));
    EXPECT_EQ(-99, VSDeleteUnusedPattern(NULL, NULL, 1));
    EXPECT_EQ(-99, VSDeleteUnusedPattern(longFolder.c_str(), NULL, 1));
}

// The program folder holds the default pattern written at build time.
TEST(PatternProgramFolderTest, VersionOfNewestIntactPattern)
{
    DWORD dwVersion = 0;
    int nNumber = 0;
    ASSERT_TRUE(GetPatternVersion(&dwVersion, &nNumber));
    EXPECT_GT(nNumber, 0);
    EXPECT_EQ((DWORD)nNumber, dwVersion % 100000 / 100);
    EXPECT_FALSE(GetPatternVersion(NULL, &nNumber));
}

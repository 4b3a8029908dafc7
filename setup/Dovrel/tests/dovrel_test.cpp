// The memory check for the CIH virus: its answer from the kernel's code, where it writes
// it, and what it does where the kernel's code cannot be read.
#include <windows.h>

#include <gtest/gtest.h>

#include "CihCheck.h"
#include "VglTestSupport.h"

#include <string>

namespace
{
int s_nPlatform;
std::string s_strCode;          // "": the code cannot be read
std::string s_strWindows;
int s_nReads;

int FakePlatform()
{
    return s_nPlatform;
}

BOOL FakeReadHookCode(BYTE abCode[CIH_CODE_SIZE])
{
    ++s_nReads;
    for (int i = 0; i < CIH_CODE_SIZE; ++i)
        if (abCode[i] != 0)
            return FALSE;       // the buffer must come zeroed
    if (s_strCode.size() != CIH_CODE_SIZE)
        return FALSE;
    memcpy(abCode, s_strCode.data(), CIH_CODE_SIZE);
    return TRUE;
}

UINT WINAPI FakeWindowsDirectory(LPSTR pszBuffer, UINT cchBuffer)
{
    lstrcpynA(pszBuffer, s_strWindows.c_str(), (int)cchBuffer);
    return (UINT)s_strWindows.size();
}

const SDovrelHost FAKE_HOST = {FakePlatform, FakeReadHookCode, FakeWindowsDirectory};

class DovrelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        s_strWindows = FreshScratchFolder("windows");
        s_nPlatform = VER_PLATFORM_WIN32_WINDOWS;
        s_strCode = ReadWholeFile(TestDataFile("ifs_clean.bin"));
        s_nReads = 0;
        ASSERT_EQ((size_t)CIH_CODE_SIZE, s_strCode.size());
    }
    static std::string ResultFile() { return s_strWindows + "\\Dovrel.INI"; }
};
} // namespace

TEST_F(DovrelTest, AnswerFromTheKernelCode)
{
    const std::string strClean = s_strCode;
    const std::string strMarked = ReadWholeFile(TestDataFile("ifs_marked.bin"));
    std::string strShifted = strClean;      // the marker one byte early
    strShifted.replace(CIH_MARKER_OFFSET - 1, CIH_MARKER_SIZE, strMarked, CIH_MARKER_OFFSET, CIH_MARKER_SIZE);
    std::string strPartial = strClean;      // all but its last byte
    strPartial.replace(CIH_MARKER_OFFSET, CIH_MARKER_SIZE - 1, strMarked, CIH_MARKER_OFFSET, CIH_MARKER_SIZE - 1);

    // Each run overwrites the answer of the one before.
    const struct
    {
        const char* pszName;
        const std::string* pCode;
        int nExit;
    } cases[] = {
        {"marked", &strMarked, 1},
        {"clean", &strClean, 0},
        {"marked again", &strMarked, 1},
        {"shifted", &strShifted, 0},
        {"partial", &strPartial, 0},
    };
    for (const auto& c : cases)
    {
        s_strCode = *c.pCode;
        EXPECT_EQ(c.nExit, DovrelRun(FAKE_HOST)) << c.pszName;
        EXPECT_EQ(std::to_string(c.nExit), ReadIni(ResultFile(), "SCAN_CIH_RESULT", "Result")) << c.pszName;
    }
}

TEST_F(DovrelTest, KeepsTheRestOfAnExistingResultFile)
{
    WriteWholeFile(ResultFile(), "[Setup]\r\nStep=4\r\n[SCAN_CIH_RESULT]\r\nResult=1\r\nWhen=today\r\n");
    EXPECT_EQ(0, DovrelRun(FAKE_HOST));
    EXPECT_EQ("0", ReadIni(ResultFile(), "SCAN_CIH_RESULT", "Result"));
    EXPECT_EQ("today", ReadIni(ResultFile(), "SCAN_CIH_RESULT", "When"));
    EXPECT_EQ("4", ReadIni(ResultFile(), "Setup", "Step"));
}

TEST_F(DovrelTest, NothingIsWrittenOnNtOrWhereTheCodeCannotBeRead)
{
    s_nPlatform = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(0, DovrelRun(FAKE_HOST));
    EXPECT_EQ(0, s_nReads);

    s_nPlatform = VER_PLATFORM_WIN32_WINDOWS;
    s_strCode.clear();
    EXPECT_EQ(0, DovrelRun(FAKE_HOST));
    EXPECT_EQ(1, s_nReads);
    EXPECT_FALSE(FileExists(ResultFile()));
}

TEST(DovrelProgramTest, UnderThisSystemTakesTheFailurePath)
{
    // The ring-0 look is refused here; the guard brings it back.
    BYTE abCode[CIH_CODE_SIZE] = {};
    EXPECT_FALSE(ReadIfsHookCodeRing0(abCode));

    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    std::string strResult = std::string(szWindows) + "\\Dovrel.INI";
    DeleteFileA(strResult.c_str());

    std::string strCommand = "\"" + BinFile("Dovrel.exe") + "\"";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 30000));
    DWORD dwExit = 99;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(0u, dwExit);
    EXPECT_FALSE(FileExists(strResult));
}

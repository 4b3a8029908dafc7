// Unpacking zip files through Unzip.dll, and its command-line front end.
#include <gtest/gtest.h>

#include "SystemError.h"
#include "Utils_Unzip.h"
#include "childprocess.h"
#include "VglTestSupport.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace
{
std::string ReadFileBytes(const std::string& strPath) { return ReadWholeFile(strPath, "(missing)"); }

std::string ProgramFolder()
{
    char sz[MAX_PATH];
    GetModuleFileNameA(NULL, sz, MAX_PATH);
    *strrchr(sz, '\\') = '\0';
    return sz;
}

// The 100,000 bytes of sub/deep/data.bin in good.zip.
std::string ExpectedData()
{
    std::string strData(100000, '\0');
    for (int i = 0; i < 100000; ++i)
        strData[i] = (char)((i * 7 + i / 251) % 256);
    return strData;
}

// A scratch tree: <test folder>\unzip\<name>\target, so that "..\" from the target
// lands in <name>.
class Unzip : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strBase = CurrentFolder() + "\\unzip\\" + testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTree(m_strBase);
        CreateDirectoryA((CurrentFolder() + "\\unzip").c_str(), NULL);
        CreateDirectoryA(m_strBase.c_str(), NULL);
        m_strTarget = m_strBase + "\\target";
    }
    void TearDown() override { RemoveTree(m_strBase); }

    std::string m_strBase;
    std::string m_strTarget;
};
} // namespace

TEST_F(Unzip, ExtractsStoredAndDeflatedEntriesIntoNewFolders)
{
    // The target and its parent do not exist yet.
    std::string strTarget = m_strBase + "\\new\\Vigilon_PatternUpdate";
    ASSERT_TRUE(decompress(TestDataFile("good.zip").c_str(), strTarget.c_str()));

    EXPECT_EQ("Vigilon pattern package\r\n", ReadFileBytes(strTarget + "\\readme.txt"));
    EXPECT_TRUE(ExpectedData() == ReadFileBytes(strTarget + "\\sub\\deep\\data.bin"));
    EXPECT_EQ("", ReadFileBytes(strTarget + "\\sub\\zero.txt"));
    EXPECT_TRUE(IsFolder(strTarget + "\\empty"));

    // The entry's time (2024-05-17 12:30 local) becomes the file's last-write time.
    WIN32_FILE_ATTRIBUTE_DATA fad;
    ASSERT_TRUE(GetFileAttributesExA((strTarget + "\\readme.txt").c_str(), GetFileExInfoStandard, &fad));
    FILETIME ftLocal;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&fad.ftLastWriteTime, &ftLocal);
    FileTimeToSystemTime(&ftLocal, &st);
    EXPECT_EQ(2024, st.wYear);
    EXPECT_EQ(17, st.wDay);
    EXPECT_EQ(30, st.wMinute);

    // A second run replaces the files, a read-only one included.
    SetFileAttributesA((strTarget + "\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(decompress(TestDataFile("good.zip").c_str(), (strTarget + "\\").c_str()));
    EXPECT_EQ("Vigilon pattern package\r\n", ReadFileBytes(strTarget + "\\readme.txt"));
}

TEST_F(Unzip, RefusesEntriesOutsideTheTargetAndWritesNothing)
{
    const char* fixtures[] = {
        "unsafe_dotdot.zip",   "unsafe_nested.zip", "unsafe_backslash.zip",
        "unsafe_absolute.zip", "unsafe_drive.zip",  "unsafe_dots.zip",
    };
    for (const char* pszFixture : fixtures)
    {
        SCOPED_TRACE(pszFixture);
        EXPECT_FALSE(decompress(TestDataFile(pszFixture).c_str(), m_strTarget.c_str()));
        // Not even the harmless first entry, and nothing beside or above the target.
        EXPECT_TRUE(FolderEntries(m_strTarget).empty());
        std::vector<std::string> base = FolderEntries(m_strBase);
        EXPECT_TRUE(base.empty() || (base.size() == 1 && base[0] == "target"));
        EXPECT_EQ("(missing)", ReadFileBytes(CurrentFolder() + "\\unzip\\evil.txt"));
        EXPECT_EQ("(missing)", ReadFileBytes("C:\\evil.txt"));
        EXPECT_EQ("(missing)", ReadFileBytes("Z:\\evil.txt"));
    }
}

TEST_F(Unzip, DamagedOrMissingArchivesFail)
{
    const char* fixtures[] = {
        "damaged_truncated.zip", "damaged_notzip.zip", "damaged_crc.zip",
        "damaged_stream.zip",    "no_such_file.zip",
    };
    for (const char* pszFixture : fixtures)
    {
        SCOPED_TRACE(pszFixture);
        EXPECT_FALSE(decompress(TestDataFile(pszFixture).c_str(), m_strTarget.c_str()));
        // An entry that fails its check leaves no file behind.
        EXPECT_EQ("(missing)", ReadFileBytes(m_strTarget + "\\readme.txt"));
        EXPECT_EQ("(missing)", ReadFileBytes(m_strTarget + "\\data.bin"));
    }
    // Files of the same names already in the target keep their content, and no
    // temporary file stays.
    for (const char* pszFixture : {"damaged_crc.zip", "damaged_stream.zip"})
    {
        SCOPED_TRACE(pszFixture);
        CreateDirectoryA(m_strTarget.c_str(), NULL);
        WriteWholeFile(m_strTarget + "\\readme.txt", "old readme");
        WriteWholeFile(m_strTarget + "\\data.bin", "old data");
        EXPECT_FALSE(decompress(TestDataFile(pszFixture).c_str(), m_strTarget.c_str()));
        EXPECT_EQ("old data", ReadFileBytes(m_strTarget + "\\data.bin"));
        std::vector<std::string> entries = FolderEntries(m_strTarget);
        EXPECT_EQ(std::vector<std::string>({"data.bin", "readme.txt"}), entries);
    }
}

// Runs decompress in a program folder without Unzip.dll; writes what happened.
VGL_CHILD_MODE(decompressnodll)
{
    if (argv.size() != 3)
        return 2;
    std::string strResult;
    try
    {
        strResult = decompress(argv[0].c_str(), argv[1].c_str()) ? "TRUE" : "FALSE";
    }
    catch (CSystemError& e)
    {
        char sz[64];
        sprintf(sz, "CSystemError %lu", e.GetErrorCode());
        strResult = sz;
    }
    FILE* pFile = fopen(argv[2].c_str(), "wb");
    if (pFile == NULL)
        return 3;
    fputs(strResult.c_str(), pFile);
    fclose(pFile);
    return 0;
}

TEST_F(Unzip, MissingLibraryThrows)
{
    // A copy of this program in a folder of its own has no Unzip.dll beside it.
    std::string strCopy = m_strBase + "\\nolib.exe";
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    ASSERT_TRUE(CopyFileA(szSelf, strCopy.c_str(), FALSE));
    std::string strResult = m_strBase + "\\result.txt";
    ASSERT_EQ(0, NS_ChildProcess::Run("decompressnodll",
                                      "\"" + TestDataFile("good.zip") + "\" \"" + m_strTarget + "\" \"" + strResult + "\"",
                                      strCopy, m_strBase));
    std::string strText = ReadFileBytes(strResult);
    EXPECT_EQ(0u, strText.find("CSystemError ")) << strText;
    EXPECT_NE("CSystemError 0", strText);
    EXPECT_FALSE(IsFolder(m_strTarget));
}

TEST_F(Unzip, CommandLineFrontEnd)
{
    std::string strExe = ProgramFolder() + "\\vglunzip.exe";
    struct SCase
    {
        std::string strArgs;
        int nExit;
    } cases[] = {
        {"\"" + TestDataFile("good.zip") + "\" \"" + m_strTarget + "\"", 0},
        {"\"" + TestDataFile("unsafe_dotdot.zip") + "\" \"" + m_strBase + "\\t2\"", 3},
        {"\"" + TestDataFile("damaged_truncated.zip") + "\" \"" + m_strBase + "\\t3\"", 2},
        {"\"" + TestDataFile("good.zip") + "\"", 1},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.strArgs);
        std::string strCmd = "\"" + strExe + "\" " + c.strArgs;
        // Its messages go to a file rather than into this program's output.
        SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
        HANDLE hOut = CreateFileA((m_strBase + "\\vglunzip.out").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
        STARTUPINFOA si = {sizeof(si)};
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = hOut;
        PROCESS_INFORMATION pi;
        std::vector<char> cmd(strCmd.begin(), strCmd.end());
        cmd.push_back('\0');
        BOOL fStarted = CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
        CloseHandle(hOut);
        ASSERT_TRUE(fStarted);
        DWORD dwExit = 99;
        if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &dwExit);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ((DWORD)c.nExit, dwExit);
    }
    EXPECT_TRUE(ExpectedData() == ReadFileBytes(m_strTarget + "\\sub\\deep\\data.bin"));
    EXPECT_TRUE(FolderEntries(m_strBase + "\\t2").empty());
    EXPECT_EQ("(missing)", ReadFileBytes(m_strBase + "\\evil.txt"));
}

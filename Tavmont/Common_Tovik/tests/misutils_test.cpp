// File and path utilities, on real files in a scratch folder under the test folder.
#include <gtest/gtest.h>

#include "Misutils.h"
#include "MisutilsString.h"
#include "VglTestSupport.h"

#include <algorithm>
#include <mbctype.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

namespace
{
FILETIME MakeTime(WORD wYear, WORD wMonth, WORD wDay)
{
    SYSTEMTIME st = {wYear, wMonth, 0, wDay, 10, 20, 30, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

void SetTimes(const std::string& strPath, const FILETIME& ftWrite)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << strPath;
    FILETIME ftCreation = MakeTime(2001, 1, 2);
    ASSERT_TRUE(SetFileTime(h, &ftCreation, &ftWrite, &ftWrite));
    CloseHandle(h);
}

FILETIME LastWrite(const std::string& strPath)
{
    FILETIME ft = {0, 0};
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(strPath.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        ft = fd.ftLastWriteTime;
        FindClose(h);
    }
    return ft;
}

std::string Joined(const std::vector<std::string>& arr)
{
    std::string s;
    for (size_t i = 0; i < arr.size(); ++i)
        s += (i ? "|" : "") + arr[i];
    return s;
}

// A fresh scratch folder per test.
class FileUtils : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = CurrentFolder() + "\\misutils_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTree(m_strDir);
        ASSERT_TRUE(CreateDirectoryA(m_strDir.c_str(), NULL));
    }
    void TearDown() override { RemoveTree(m_strDir); }

    std::string Path(const std::string& strName) const { return m_strDir + "\\" + strName; }

    std::string m_strDir;
};

// Double-byte cases with the Japanese code page's lead-byte table: 0x95 0x5C is one
// character whose trail byte is a backslash.
class MisutilsDoubleByte : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(0, _setmbcp(932)); }
    void TearDown() override { _setmbcp(_MB_CP_ANSI); }
};

struct PathCase
{
    const char* path;
    const char* expected;
};
}

TEST_F(MisutilsDoubleByte, FileNameKeepsDoubleByteCharactersWhole)
{
    const PathCase cases[] = {
        {"C:\\dir\\file.txt", "file.txt"},
        {"C:\\dir\\\x95\x5C.txt", "\x95\x5C.txt"},
        {"C:\\\x95\x5C\\\x83\x5C\x95\x5C", "\x83\x5C\x95\x5C"},
        {"dir/name", "name"},
        {"C:name.ext", "name.ext"},
        {"C:\\dir\\", ""},
        {"", ""},
    };
    for (const PathCase& c : cases)
        EXPECT_STREQ(c.expected, getFileName(c.path)) << c.path;
}

TEST_F(MisutilsDoubleByte, ParentDirectoryJoinsTheDriveWithAllFolderPiecesButTheLast)
{
    const PathCase cases[] = {
        {"C:\\a\\b\\", "C:\\a"},
        {"C:\\a\\b\\c.txt", "C:\\a"},
        {"C:\\a\\\\b\\\\", "C:\\a"},
        {"C:\\a\\", "C:"},
        {"C:\\\x95\x5C\\sub\\x.txt", "C:\\\x95\x5C"},
        {"C:\\a\\\x95\x5C\\", "C:\\a"},
        {"C:\\\x95\x5C\\\x83\x5C\\", "C:\\\x95\x5C"},
    };
    for (const PathCase& c : cases)
        EXPECT_STREQ(c.expected, getParentDirectory(c.path)) << c.path;
}

TEST_F(MisutilsDoubleByte, MakeAbsolutePathJoinsRelativePathsToTheProgramFolder)
{
    CString strProgram = getModulePath();
    const PathCase unchanged[] = {
        {"", ""}, {"x", "x"}, {"\\\\srv\\share\\f", "\\\\srv\\share\\f"}, {"C:\\x", "C:\\x"}, {"D:x", "D:x"},
    };
    for (const PathCase& c : unchanged)
        EXPECT_STREQ(c.expected, makeAbsolutePath(c.path)) << c.path;
    EXPECT_STREQ(strProgram + "Log\\x.log", makeAbsolutePath("Log\\x.log"));
    EXPECT_STREQ(strProgram + "\x95\x5C\\x.log", makeAbsolutePath("\x95\x5C\\x.log"));
}

TEST(Misutils, ProgramAndSystemFolders)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(NULL, szExe, MAX_PATH);
    std::string strExe = szExe;
    size_t nSlash = strExe.rfind('\\');

    EXPECT_STREQ(strExe.substr(0, nSlash + 1).c_str(), getModulePath());
    EXPECT_EQ(strExe.substr(0, nSlash + 1), getModuleDirectory(NULL));
    EXPECT_STREQ("Common_Tovik_tests.exe", getModuleName());
    EXPECT_STREQ("Common_Tovik_tests", getModuleBaseName());

    CString strWindows = getWindowsDirectoryPath();
    ASSERT_FALSE(strWindows.IsEmpty());
    EXPECT_NE('\\', strWindows[strWindows.GetLength() - 1]);
    EXPECT_TRUE(isDirectoryExist(strWindows));
    EXPECT_STREQ(strWindows + "\\SYSTEM", getSystemDirectoryPath()); // Windows 98

    CString strTemp = getTempDirectory(), strTempOut;
    getTempDirectory(strTempOut);
    ASSERT_FALSE(strTemp.IsEmpty());
    EXPECT_EQ('\\', strTemp[strTemp.GetLength() - 1]);
    EXPECT_STREQ(strTemp, strTempOut);
}

TEST(Misutils, SuspectFolderIsCreatedUnderTheProgramFolder)
{
    CString strExpected = getModulePath() + "SUSPECT";
    BOOL fExisted = isDirectoryExist(strExpected);
    EXPECT_STREQ(strExpected, getSuspectFolder());
    EXPECT_TRUE(isDirectoryExist(strExpected));
    if (!fExisted)
        RemoveDirectoryA(strExpected);
}

TEST_F(FileUtils, ExistenceTestsAcceptFilesAndFolders)
{
    WriteWholeFile(Path("f.txt"), "x");
    for (auto pfn : {isFileExist, isDirectoryExist, isPathExist})
    {
        EXPECT_TRUE(pfn(Path("f.txt").c_str()));
        EXPECT_TRUE(pfn(m_strDir.c_str()));
        EXPECT_FALSE(pfn(Path("missing").c_str()));
    }
}

TEST_F(FileUtils, FileStatusAndTimes)
{
    std::string strFile = Path("status.bin");
    WriteWholeFile(strFile, std::string(1234, 'z'));
    FILETIME ftWrite = MakeTime(2003, 4, 5);
    SetTimes(strFile, ftWrite);
    SetFileAttributesA(strFile.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

    CFileStatus status;
    ASSERT_TRUE(getFileStatus(strFile.c_str(), status));
    EXPECT_EQ(1234, status.m_size);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, status.m_attribute);
    EXPECT_TRUE(status.m_mtime == CTime(ftWrite));
    EXPECT_TRUE(status.m_atime == CTime(ftWrite));
    EXPECT_FALSE(getFileStatus(Path("missing").c_str(), status));

    FILETIME ftOut = {0, 0};
    EXPECT_TRUE(getFileTimes(strFile.c_str(), NULL, NULL, &ftOut));
    EXPECT_EQ(0, CompareFileTime(&ftWrite, &ftOut));
    EXPECT_FALSE(getFileTimes(Path("missing").c_str(), NULL, NULL, &ftOut));
}

TEST_F(FileUtils, FileIsNewerOnlyWhenTheSecondWasWrittenStrictlyLater)
{
    WriteWholeFile(Path("old"), "1");
    WriteWholeFile(Path("same"), "2");
    WriteWholeFile(Path("new"), "3");
    SetTimes(Path("old"), MakeTime(2004, 1, 1));
    SetTimes(Path("same"), MakeTime(2004, 1, 1));
    SetTimes(Path("new"), MakeTime(2004, 1, 2));
    const struct { const char* first; const char* second; BOOL expected; } cases[] = {
        {"old", "new", TRUE}, {"new", "old", FALSE}, {"old", "same", FALSE},
        {"old", "missing", FALSE}, {"missing", "new", FALSE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, isFileNewer(Path(c.first).c_str(), Path(c.second).c_str()))
            << c.first << " " << c.second;
}

TEST_F(FileUtils, LatestFileIsTheLastWrittenMatchingFile)
{
    EXPECT_STREQ("", findLatestFile(m_strDir.c_str(), "*.pat"));
    const struct { const char* name; WORD day; } files[] = {
        {"a.pat", 3}, {"b.pat", 9}, {"c.pat", 5}, {"d.txt", 20},
    };
    for (const auto& f : files)
    {
        WriteWholeFile(Path(f.name), f.name);
        SetTimes(Path(f.name), MakeTime(2004, 6, f.day));
    }
    EXPECT_STREQ("b.pat", findLatestFile(m_strDir.c_str(), "*.pat"));
    EXPECT_STREQ("d.txt", findLatestFile(m_strDir.c_str(), "*.*"));
}

TEST_F(FileUtils, DeleteFileForceDeletesReadOnlyFiles)
{
    WriteWholeFile(Path("ro.txt"), "x");
    SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(deleteFileForce(Path("ro.txt").c_str()));
    EXPECT_FALSE(isFileExist(Path("ro.txt").c_str()));
    EXPECT_FALSE(deleteFileForce(Path("ro.txt").c_str()));
}

TEST_F(FileUtils, CollectFilesListsSubfolderFilesFirst)
{
    CreateDirectoryA(Path("sub").c_str(), NULL);
    CreateDirectoryA(Path("sub\\deep").c_str(), NULL);
    CreateDirectoryA(Path("dir.txt").c_str(), NULL);
    WriteWholeFile(Path("a.txt"), "");
    WriteWholeFile(Path("b.log"), "");
    WriteWholeFile(Path("sub\\c.txt"), "");
    WriteWholeFile(Path("sub\\deep\\d.txt"), "");

    CStringArray arr;
    ASSERT_EQ(3, collectFiles(arr, m_strDir.c_str(), "*.txt", TRUE));
    ASSERT_EQ(3, arr.GetSize());
    EXPECT_STREQ(Path("sub\\deep\\d.txt").c_str(), arr[0]);
    EXPECT_STREQ(Path("sub\\c.txt").c_str(), arr[1]);
    EXPECT_STREQ(Path("a.txt").c_str(), arr[2]);

    CStringArray arrFlat;
    arrFlat.Add("kept");
    EXPECT_EQ(2, collectFiles(arrFlat, m_strDir.c_str(), "*.*", 0x27, FALSE, 0, ""));
    EXPECT_EQ(3, arrFlat.GetSize());
    EXPECT_EQ(0, collectFiles(arrFlat, Path("missing").c_str(), "*.*", TRUE));
}

TEST_F(FileUtils, CountFilesSkipsListedExtensionsAndFilesWithoutOne)
{
    CreateDirectoryA(Path("sub").c_str(), NULL);
    CreateDirectoryA(Path(".hidden").c_str(), NULL);
    for (const char* name : {"a.txt", "b.BIN", "noext", "sub\\d.txt", "sub\\e.bat", ".hidden\\f.txt"})
        WriteWholeFile(Path(name), "");

    LONG lCounter = 10;
    EXPECT_EQ(3, countFiles(m_strDir.c_str(), "*.*", 0, &lCounter, TRUE, ".BIN,.BAT"));
    EXPECT_EQ(13, lCounter);
    EXPECT_EQ(2, countFiles(m_strDir.c_str(), "*.*", 0, NULL, FALSE, CString()));
    EXPECT_EQ(0, countFiles(Path("missing").c_str(), "*.*", 0, NULL, TRUE, CString()));
}

TEST_F(FileUtils, CountFilesThrowsForAnInvalidSearchName)
{
    CFileException* pCaught = NULL;
    try
    {
        countFiles(Path("bad|name").c_str(), "*.*", 0, NULL, FALSE, CString());
    }
    catch (CFileException* e)
    {
        pCaught = e;
    }
    ASSERT_TRUE(pCaught != NULL);
    EXPECT_EQ((LONG)ERROR_INVALID_NAME, pCaught->m_lOsError);
    pCaught->Delete();
}

namespace
{
void RecordDeletion(LPCSTR pszPath, BOOL fDeleted, LPVOID pvContext)
{
    std::string strPath = pszPath;
    std::string strName = strPath.substr(strPath.rfind('\\') + 1);
    static_cast<std::vector<std::string>*>(pvContext)->push_back(strName + (fDeleted ? "+" : "-"));
}
}

TEST_F(FileUtils, DeleteTreeWithoutRecursionReportsFolderEntriesAsFailures)
{
    CreateDirectoryA(Path("root").c_str(), NULL);
    CreateDirectoryA(Path("root\\sub").c_str(), NULL);
    WriteWholeFile(Path("root\\a.txt"), "");
    WriteWholeFile(Path("root\\h.txt"), "");
    WriteWholeFile(Path("root\\sub\\b.txt"), "");
    SetFileAttributesA(Path("root\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

    std::vector<std::string> arrCalls;
    deleteTree(Path("root").c_str(), RecordDeletion, &arrCalls, TRUE, FALSE, "*.*");
    std::sort(arrCalls.begin(), arrCalls.end());
    EXPECT_EQ(".-|..-|a.txt+|h.txt+|sub-", Joined(arrCalls));
    // Not empty, so the folder stays.
    EXPECT_EQ("sub", Joined(FolderEntries(Path("root"))));
}

TEST_F(FileUtils, DeleteTreeRemovesAWholeTreeOrOnlyMatchingFiles)
{
    CreateDirectoryA(Path("root").c_str(), NULL);
    CreateDirectoryA(Path("root\\sub").c_str(), NULL);
    CreateDirectoryA(Path("root\\sub\\deep").c_str(), NULL);
    for (const char* name : {"root\\a.log", "root\\b.txt", "root\\sub\\c.log", "root\\sub\\deep\\d.txt"})
        WriteWholeFile(Path(name), "");
    SetFileAttributesA(Path("root\\sub\\c.log").c_str(), FILE_ATTRIBUTE_SYSTEM);

    deleteTree(Path("root").c_str(), NULL, NULL, FALSE, FALSE, "*.log");
    EXPECT_EQ("b.txt|sub", Joined(FolderEntries(Path("root"))));
    EXPECT_EQ("c.log|deep", Joined(FolderEntries(Path("root\\sub"))));

    deleteTree(Path("root").c_str(), NULL, NULL, TRUE, TRUE, "*.*");
    EXPECT_FALSE(isPathExist(Path("root").c_str()));
}

TEST_F(FileUtils, CollapseSubFoldersMovesEveryFileUpIntoTheTarget)
{
    CreateDirectoryA(Path("s1").c_str(), NULL);
    CreateDirectoryA(Path("s1\\s2").c_str(), NULL);
    WriteWholeFile(Path("own.txt"), "own");
    WriteWholeFile(Path("a.txt"), "old a");
    WriteWholeFile(Path("s1\\a.txt"), "new a");
    WriteWholeFile(Path("s1\\s2\\b.txt"), "b");

    EXPECT_EQ(2, collapseSubFolders(m_strDir.c_str(), m_strDir.c_str(), 0));
    EXPECT_EQ("a.txt|b.txt|own.txt|s1", Joined(FolderEntries(m_strDir)));
    EXPECT_EQ("s2", Joined(FolderEntries(Path("s1"))));
    EXPECT_EQ("new a", ReadWholeFile(Path("a.txt")));
    EXPECT_EQ("own", ReadWholeFile(Path("own.txt")));
}

TEST_F(FileUtils, MoveFileReplacesTheTargetAndRemovesTheSource)
{
    WriteWholeFile(Path("new.exe"), "new build");
    WriteWholeFile(Path("cur.exe"), "old build");
    SetFileAttributesA(Path("cur.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    SetTimes(Path("new.exe"), MakeTime(2004, 2, 3));

    EXPECT_TRUE(moveFileEx(Path("new.exe").c_str(), Path("cur.exe").c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ("cur.exe", Joined(FolderEntries(m_strDir)));
    EXPECT_EQ("new build", ReadWholeFile(Path("cur.exe")));
    FILETIME ftExpected = MakeTime(2004, 2, 3), ftWrite = LastWrite(Path("cur.exe"));
    EXPECT_EQ(0, CompareFileTime(&ftExpected, &ftWrite));

    EXPECT_TRUE(moveFileEx(Path("cur.exe").c_str(), Path("fresh.exe").c_str(), 0));
    EXPECT_EQ("fresh.exe", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, FailedMoveKeepsTheOldTarget)
{
    WriteWholeFile(Path("VigilonUpdate.exe"), "installed");
    // A missing source, and a file moved onto itself.
    EXPECT_FALSE(moveFileEx(Path("95did.exe").c_str(), Path("VigilonUpdate.exe").c_str(), 3));
    EXPECT_FALSE(moveFileEx(Path("VigilonUpdate.exe").c_str(), Path("VIGILONUPDATE.EXE").c_str(), 3));
    EXPECT_EQ("installed", ReadWholeFile(Path("VigilonUpdate.exe")));
    // A folder that does not exist.
    WriteWholeFile(Path("95did.exe"), "new");
    EXPECT_FALSE(moveFileEx(Path("95did.exe").c_str(), Path("none\\VigilonUpdate.exe").c_str(), 3));
    EXPECT_EQ("95did.exe|VigilonUpdate.exe", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, MoveOntoALockedTargetGivesUpAfterFiveTriesASecondApart)
{
    WriteWholeFile(Path("src.dat"), "new");
    WriteWholeFile(Path("locked.dat"), "old");
    HANDLE hLock = CreateFileA(Path("locked.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                               OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLock);
    DWORD dwStart = GetTickCount();
    BOOL fMoved = moveFileEx(Path("src.dat").c_str(), Path("locked.dat").c_str(), 3);
    DWORD dwElapsed = GetTickCount() - dwStart;
    CloseHandle(hLock);

    EXPECT_FALSE(fMoved);
    EXPECT_GE(dwElapsed, 3500u);
    EXPECT_LT(dwElapsed, 7000u);
    EXPECT_EQ("old", ReadWholeFile(Path("locked.dat")));
    EXPECT_EQ("locked.dat|src.dat", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, CopyFileCarriesTimesAndAttributesOverAReadOnlyTarget)
{
    std::string strData;
    for (int i = 0; i < 40000; ++i)
        strData += (char)('a' + i % 26);
    WriteWholeFile(Path("src.ini"), strData);
    SetTimes(Path("src.ini"), MakeTime(2002, 8, 9));
    SetFileAttributesA(Path("src.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    WriteWholeFile(Path("dst.ini"), "old");
    SetFileAttributesA(Path("dst.ini").c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(copyFileEx(Path("src.ini").c_str(), Path("dst.ini").c_str()));
    EXPECT_TRUE(strData == ReadWholeFile(Path("dst.ini")));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(Path("dst.ini").c_str()));
    FILETIME ftExpected = MakeTime(2002, 8, 9), ftWrite = LastWrite(Path("dst.ini"));
    EXPECT_EQ(0, CompareFileTime(&ftExpected, &ftWrite));
    EXPECT_EQ("dst.ini|src.ini", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, FailedCopyKeepsTheOldTarget)
{
    WriteWholeFile(Path("dst.ini"), "old");
    EXPECT_FALSE(copyFileEx(Path("missing.ini").c_str(), Path("dst.ini").c_str()));
    EXPECT_EQ("old", ReadWholeFile(Path("dst.ini")));

    // A target that cannot be deleted.
    WriteWholeFile(Path("src.ini"), "new");
    HANDLE hLock = CreateFileA(Path("dst.ini").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLock);
    EXPECT_FALSE(copyFileEx(Path("src.ini").c_str(), Path("dst.ini").c_str()));
    CloseHandle(hLock);
    EXPECT_EQ("old", ReadWholeFile(Path("dst.ini")));
    EXPECT_EQ("dst.ini|src.ini", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, CopyCutShortByAReadErrorFailsAndLeavesNoPartialFile)
{
    // The source is a pipe whose writer goes away after 20000 bytes: the next read fails.
    const char* pszPipe = "\\\\.\\pipe\\vgl_copy_source";
    HANDLE hPipe = CreateNamedPipeA(pszPipe, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536,
                                    65536, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hPipe);
    std::thread writer([hPipe] {
        ConnectNamedPipe(hPipe, NULL);
        std::string strData(20000, 's');
        DWORD cb = 0;
        WriteFile(hPipe, strData.data(), (DWORD)strData.size(), &cb, NULL);
        FlushFileBuffers(hPipe);
        DisconnectNamedPipe(hPipe);
        CloseHandle(hPipe);
    });
    WriteWholeFile(Path("dst.bin"), "old");
    BOOL fCopied = copyFileEx(pszPipe, Path("dst.bin").c_str());
    writer.join();

    EXPECT_FALSE(fCopied);
    EXPECT_EQ("old", ReadWholeFile(Path("dst.bin")).substr(0, 20));
    EXPECT_EQ("dst.bin", Joined(FolderEntries(m_strDir)));
}

TEST_F(FileUtils, CreateDirectoryBuildsTheMissingLevels)
{
    CreateDirectoryA(Path("one").c_str(), NULL);
    EXPECT_TRUE(createDirectory(Path("one\\two\\three").c_str(), FALSE));
    EXPECT_TRUE(isDirectoryExist(Path("one\\two\\three").c_str()));
    EXPECT_TRUE(createDirectory(Path("one\\two\\three").c_str(), FALSE));

    EXPECT_TRUE(createDirectory(Path("a\\b\\file.txt").c_str(), TRUE));
    EXPECT_TRUE(isDirectoryExist(Path("a\\b").c_str()));
    EXPECT_FALSE(isPathExist(Path("a\\b\\file.txt").c_str()));
    EXPECT_TRUE(createDirectory(Path("c\\d\\").c_str(), FALSE));
    EXPECT_TRUE(isDirectoryExist(Path("c\\d").c_str()));

    // A file is in the way.
    WriteWholeFile(Path("file"), "");
    EXPECT_FALSE(createDirectory(Path("file\\x\\y").c_str(), FALSE));
    EXPECT_FALSE(createDirectory("", FALSE));

    // A network path never turns into folders at the root of the current drive.
    EXPECT_FALSE(createDirectory("\\\\vglnosuchserver\\share\\x\\y", FALSE));
    EXPECT_FALSE(isPathExist("\\vglnosuchserver"));
}

namespace
{
std::vector<int> g_arrPercents;
BOOL s_fProgressResult = TRUE;

BOOL RecordProgress(int nPercent, LPCSTR pszText)
{
    EXPECT_STREQ("Writing", pszText);
    g_arrPercents.push_back(nPercent);
    return s_fProgressResult;
}
}

TEST_F(FileUtils, WriteFileWithProgressReportsPercentages)
{
    const struct { DWORD length; std::vector<int> percents; } cases[] = {
        {100, {100}},
        {0x8000, {100}},
        {100000, {33, 66, 99, 100}},
    };
    for (const auto& c : cases)
    {
        std::string strData(c.length, '\0');
        for (DWORD i = 0; i < c.length; ++i)
            strData[i] = (char)(i * 7);
        g_arrPercents.clear();
        CFile file;
        ASSERT_TRUE(file.Open(Path("out.bin").c_str(), CFile::modeCreate | CFile::modeWrite));
        EXPECT_TRUE(writeFileWithProgress(file, strData.data(), c.length, RecordProgress));
        file.Close();
        EXPECT_EQ(c.percents, g_arrPercents) << c.length;
        EXPECT_TRUE(strData == ReadWholeFile(Path("out.bin"))) << c.length;
    }

    // The last callback's result; a failed write stops at once.
    s_fProgressResult = FALSE;
    CFile file;
    ASSERT_TRUE(file.Open(Path("out.bin").c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_FALSE(writeFileWithProgress(file, "abc", 3, RecordProgress));
    file.Close();
    s_fProgressResult = TRUE;

    std::string strData(100000, 'r');
    g_arrPercents.clear();
    ASSERT_TRUE(file.Open(Path("out.bin").c_str(), CFile::modeRead));
    EXPECT_FALSE(writeFileWithProgress(file, strData.data(), 100000, RecordProgress));
    file.Close();
    EXPECT_TRUE(g_arrPercents.empty());
}

// Windows 98: lines "NUL=<short path>" go to the "Rename" section of the real wininit.ini;
// the file as it was is put back afterwards.
class RestartDeletion : public FileUtils
{
protected:
    void SetUp() override
    {
        FileUtils::SetUp();
        m_strIni = std::string(getWindowsDirectoryPath()) + "\\wininit.ini";
        m_fHadIni = FileExists(m_strIni);
        if (m_fHadIni)
            m_strSaved = ReadWholeFile(m_strIni);
        DeleteFileA(m_strIni.c_str());
    }
    void TearDown() override
    {
        WritePrivateProfileStringA(NULL, NULL, NULL, m_strIni.c_str()); // flush the profile cache
        DeleteFileA(m_strIni.c_str());
        if (m_fHadIni)
            WriteWholeFile(m_strIni, m_strSaved);
        FileUtils::TearDown();
    }

    std::vector<std::string> Section()
    {
        std::vector<char> buf(0x8000);
        DWORD n = GetPrivateProfileSectionA("Rename", &buf[0], (DWORD)buf.size(), m_strIni.c_str());
        std::vector<std::string> arr;
        for (DWORD i = 0; i < n; i += (DWORD)strlen(&buf[i]) + 1)
            arr.push_back(&buf[i]);
        return arr;
    }

    std::string m_strIni;
    std::string m_strSaved;
    bool m_fHadIni = false;
};

TEST_F(RestartDeletion, LinesAreAddedAfterTheExistingOnes)
{
    OSVERSIONINFOA vi = {sizeof(vi)};
    ASSERT_TRUE(GetVersionExA(&vi));
    ASSERT_EQ((DWORD)VER_PLATFORM_WIN32_WINDOWS, vi.dwPlatformId);

    ASSERT_TRUE(WritePrivateProfileSectionA("Rename", "NUL=C:\\OLD.TXT\0C:\\A.EXE=C:\\B.EXE\0", m_strIni.c_str()));
    WriteWholeFile(Path("a long file name.dat"), "");
    char szShort[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(Path("a long file name.dat").c_str(), szShort, MAX_PATH));

    CStringArray arr;
    arr.Add(Path("a long file name.dat").c_str());
    arr.Add("C:\\NOWHERE\\missing file.txt");
    deleteFilesAtRestart(arr);

    std::vector<std::string> expected = {"NUL=C:\\OLD.TXT", "C:\\A.EXE=C:\\B.EXE", std::string("NUL=") + szShort,
                                         "NUL=C:\\NOWHERE\\missing file.txt"};
    EXPECT_EQ(expected, Section());
}

TEST_F(RestartDeletion, PathsThatDoNotFitAreDropped)
{
    // Existing lines of 99 bytes each, 0x7000 - 30 bytes in all: room for one more line.
    std::string strSection;
    const size_t cbTarget = 0x7000 - 30;
    int n = 0;
    while (strSection.size() + 100 <= cbTarget)
    {
        char szLine[128];
        snprintf(szLine, sizeof(szLine), "NUL=C:\\F%05d.TXT", n++);
        std::string strLine = szLine;
        strLine.resize(99 - 1, 'X');
        strSection += strLine + '\0';
    }
    std::string strPad = "NUL=C:\\PAD";
    strPad.resize(cbTarget - strSection.size() - 1, 'P');
    strSection += strPad + '\0';
    ASSERT_EQ(cbTarget, strSection.size());
    strSection += '\0';
    ASSERT_TRUE(WritePrivateProfileSectionA("Rename", strSection.data(), m_strIni.c_str()));
    size_t nBefore = Section().size();

    CStringArray arr;
    arr.Add("C:\\X\\FIRST.TXT");   // 19 bytes with its zero: fits
    arr.Add("C:\\X\\SECOND.TXT");  // does not fit any more
    arr.Add("C:\\T");            // would fit, but the list stops at the first misfit
    deleteFilesAtRestart(arr);

    std::vector<std::string> lines = Section();
    ASSERT_EQ(nBefore + 1, lines.size());
    EXPECT_EQ("NUL=C:\\X\\FIRST.TXT", lines.back());
}

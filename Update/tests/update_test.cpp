#include <gtest/gtest.h>

#include "HotFixDlg.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "UpdateApp.h"
#include "UpdateCommon.h"
#include "VglTestSupport.h"
#include "atlbase.h"

#include <string>

namespace
{
struct SwitchCase
{
    std::vector<const char*> params;    // each as the class library hands it: without '/' or '-'
    const char* flags;                  // U update, H hot fix, X hot fix Ex, I internet, R restart
    BOOL action;
    const char* text;
};

std::string Flags(const CAppCommandLineInfo& info)
{
    std::string s;
    if (info.m_bAllowUpdate) s += 'U';
    if (info.m_bAllowHotFix) s += 'H';
    if (info.m_bAllowHotFixEx) s += 'X';
    if (info.m_bInternet) s += 'I';
    if (info.m_bSimpRestart) s += 'R';
    return s;
}

// The product key's program folder, a scratch folder, and the staging folders of the
// temporary folder, all emptied before and after each test.
class HotFixFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The dialogs' pictures come from the program's language library.
        m_hLibrary = LoadLibraryA(BinFile("VigilonUpdate.dll").c_str());
        ASSERT_TRUE(m_hLibrary != NULL);
        m_hOld = AfxGetResourceHandle();
        AfxSetResourceHandle(m_hLibrary);
        m_program = FreshScratchFolder("program");
        RemoveStaging();
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue((m_program + "\\").c_str(), "Application Path"));
    }

    void TearDown() override
    {
        if (m_hLibrary != NULL)
        {
            AfxSetResourceHandle(m_hOld);
            FreeLibrary(m_hLibrary);
        }
        RemoveStaging();
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetProductKeyName()) == ERROR_SUCCESS)
            key.RecurseDeleteKey("CurrentVersion");
    }

    static std::string Staging(const char* pszFolder)
    {
        return std::string((LPCSTR)getTempDirectory()) + pszFolder;
    }

    static void RemoveStaging()
    {
        for (const char* pszFolder : {g_pszPatternUpdateFolder, g_pszEngineUpdateFolder, g_pszProgramUpdateFolder,
                                      g_pszHotFixFolder})
            RemoveTree(Staging(pszFolder));
    }

    // A file written at the UTC time; the folder is made when missing.
    static void Put(const std::string& strFolder, const char* pszName, time_t tWritten)
    {
        CreateDirectoryA(strFolder.c_str(), NULL);
        std::string strPath = strFolder + "\\" + pszName;
        ASSERT_TRUE(WriteWholeFile(strPath, "data"));
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(strPath.c_str(), status));
        status.m_mtime = CTime(tWritten);
        CFile::SetStatus(strPath.c_str(), status);
    }

    std::string m_program;
    HMODULE m_hLibrary = NULL;
    HINSTANCE m_hOld = NULL;
};

const time_t SERVER_TIME = 1768473000;          // 20260115103000 UTC
const char* const LIST = "HotFix/Ksxwin97.exe=20260115103000\n";
}

TEST(UpdateCommandLine, SwitchesInAnyCaseAndTheirTextForTheCopy)
{
    const SwitchCase cases[] = {
        {{"AllowUpdate"}, "U", TRUE, "\"/AllowUpdate\""},
        {{"allowupdate"}, "U", TRUE, "\"/AllowUpdate\""},
        {{"ALLOWUPDATE"}, "U", TRUE, "\"/AllowUpdate\""},
        {{"AllowUpdateX"}, "", FALSE, ""},
        {{"Internet"}, "I", FALSE, "\"/Internet\""},
        {{"simprestart"}, "R", TRUE, "\"/SimpRestart\""},
        {{"allowhotfixex"}, "X", TRUE, "\"/AllowHotFixEx\""},
        {{"Internet", "AllowUpdate"}, "UI", TRUE, "\"/AllowUpdate\" \"/Internet\""},
        {{"SimpRestart", "AllowHotFix", "AllowUpdate"}, "UHR", TRUE,
         "\"/AllowUpdate\" \"/AllowHotFix\" \"/SimpRestart\""},
        {{"AllowUpdate", "AllowHotFix", "AllowHotFixEx", "Internet", "SimpRestart"}, "UHXIR", TRUE,
         "\"/AllowUpdate\" \"/AllowHotFix\" \"/AllowHotFixEx\" \"/Internet\" \"/SimpRestart\""},
        {{}, "", FALSE, ""},
    };
    for (const SwitchCase& c : cases)
    {
        CAppCommandLineInfo info;
        for (size_t i = 0; i < c.params.size(); ++i)
            info.ParseParam(c.params[i], TRUE, i + 1 == c.params.size());
        std::string where = c.params.empty() ? "(none)" : c.params[0];
        EXPECT_EQ(c.flags, Flags(info)) << where;
        EXPECT_EQ(c.action, info.HasAction()) << where;
        EXPECT_STREQ(c.text, info.GetSwitchText()) << where;
    }

    // A parameter without '/' or '-' is no switch.
    CAppCommandLineInfo plain;
    plain.ParseParam("AllowUpdate", FALSE, TRUE);
    EXPECT_FALSE(plain.HasAction());
}

TEST(UpdateFiles, ShellExtensionLibraryAndDestinationNames)
{
    EXPECT_TRUE(isShellExtensionFile("C:\\Program Files\\Vigilon\\KvdShell.dll"));
    EXPECT_TRUE(isShellExtensionFile("kvdshellx.DLL"));
    EXPECT_TRUE(isShellExtensionFile("C:\\x\\KvdShell.dllold"));
    EXPECT_FALSE(isShellExtensionFile("C:\\x\\KvdShel.dll"));
    EXPECT_FALSE(isShellExtensionFile("C:\\KvdShell.dll\\KvdShell.exe"));
    EXPECT_STREQ("C:\\Prog\\Ksxwin97.exe",
                 destinationPath("C:\\Prog\\", "C:\\Temp\\Vigilon_ProgramUpdate\\Common\\Ksxwin97.exe"));
}

TEST_F(HotFixFiles, NeededWhenMissingOrStrictlyOlderThanTheServersCopy)
{
    struct Case
    {
        time_t tLocal;      // 0: no local copy
        BOOL fNeeded;
    } cases[] = {{0, TRUE}, {SERVER_TIME - 1, TRUE}, {SERVER_TIME, FALSE}, {SERVER_TIME + 60, FALSE}};
    for (const Case& c : cases)
    {
        DeleteFileA((m_program + "\\Ksxwin97.exe").c_str());
        if (c.tLocal != 0)
            Put(m_program, "Ksxwin97.exe", c.tLocal);
        EXPECT_EQ(c.fNeeded, CHotFixDlg::IsHotFixNecessary(LIST)) << c.tLocal;
    }
}

TEST_F(HotFixFiles, StagedCopyDecidesBeforeTheProgramFolder)
{
    Put(m_program, "Ksxwin97.exe", SERVER_TIME - 3600);
    Put(Staging(g_pszEngineUpdateFolder), "Ksxwin97.exe", SERVER_TIME + 3600);
    EXPECT_FALSE(CHotFixDlg::IsHotFixNecessary(LIST));
    // The pattern folder comes before the engine folder.
    Put(Staging(g_pszPatternUpdateFolder), "Ksxwin97.exe", SERVER_TIME - 60);
    EXPECT_TRUE(CHotFixDlg::IsHotFixNecessary(LIST));
}

TEST_F(HotFixFiles, AlertMessageAndListsWithoutFilesNeedNothing)
{
    const char* lists[] = {
        "HotFix/Alert.Msg=20260115103000\n",                       // missing, but never a reason
        "HotFix=\nHotFix/=20260115103000\n",                        // no file named
        "Update/Ksxwin97.exe=20260115103000\n",                     // not a hot-fix list
        "HotFix/Ksxwin97.exe=20260015103000\n",                     // month 00: an invalid stamp
        "",
    };
    for (const char* pszList : lists)
        EXPECT_FALSE(CHotFixDlg::IsHotFixNecessary(pszList)) << pszList;
    EXPECT_FALSE(CHotFixDlg::IsHotFixNecessary(NULL));
}

TEST_F(HotFixFiles, MovedFilesKeepTheAttributesTheyShouldHave)
{
    // A read-only, hidden destination is replaced and stays read-only and hidden; a new file
    // keeps the attributes it had in the temporary folder.
    std::string strSource = FreshScratchFolder("source");
    ASSERT_TRUE(WriteWholeFile(strSource + "\\old.dll", "new bytes"));
    ASSERT_TRUE(WriteWholeFile(m_program + "\\old.dll", "old bytes"));
    SetFileAttributesA((m_program + "\\old.dll").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    DWORD dwOld = GetFileAttributesA((m_program + "\\old.dll").c_str());
    ASSERT_TRUE(dwOld & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteWholeFile(strSource + "\\new.dll", "fresh"));
    SetFileAttributesA((strSource + "\\new.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD dwNew = GetFileAttributesA((strSource + "\\new.dll").c_str());

    CStringArray arrFiles;
    arrFiles.Add((strSource + "\\old.dll").c_str());
    arrFiles.Add((strSource + "\\new.dll").c_str());
    CHotFixDlg dlg(FALSE, NULL, FALSE);
    EXPECT_TRUE(dlg.MoveFiles(arrFiles, m_program.c_str(), FALSE));

    EXPECT_EQ("new bytes", ReadWholeFile(m_program + "\\old.dll"));
    EXPECT_EQ(dwOld, GetFileAttributesA((m_program + "\\old.dll").c_str()));
    EXPECT_EQ("fresh", ReadWholeFile(m_program + "\\new.dll"));
    EXPECT_EQ(dwNew, GetFileAttributesA((m_program + "\\new.dll").c_str()));
    EXPECT_EQ(std::vector<std::string>(), FolderEntries(strSource));
}

TEST_F(HotFixFiles, AFileThatCannotBeReplacedStopsTheList)
{
    std::string strSource = FreshScratchFolder("source");
    for (const char* pszName : {"a.dll", "b.dll", "c.dll"})
        ASSERT_TRUE(WriteWholeFile(strSource + "\\" + pszName, std::string("new ") + pszName));
    ASSERT_TRUE(WriteWholeFile(m_program + "\\b.dll", "old b"));
    SetFileAttributesA((m_program + "\\b.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD dwLocked = GetFileAttributesA((m_program + "\\b.dll").c_str());
    ASSERT_TRUE(dwLocked & FILE_ATTRIBUTE_READONLY);
    HANDLE hLock = CreateFileA((m_program + "\\b.dll").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLock);

    CStringArray arrFiles;
    for (const char* pszName : {"a.dll", "b.dll", "c.dll"})
        arrFiles.Add((strSource + "\\" + pszName).c_str());
    CHotFixDlg dlg(FALSE, NULL, FALSE);
    BOOL fMoved = dlg.MoveFiles(arrFiles, m_program.c_str(), FALSE);
    CloseHandle(hLock);

    EXPECT_FALSE(fMoved);
    EXPECT_EQ("new a.dll", ReadWholeFile(m_program + "\\a.dll"));
    EXPECT_EQ("old b", ReadWholeFile(m_program + "\\b.dll"));
    EXPECT_EQ(dwLocked, GetFileAttributesA((m_program + "\\b.dll").c_str()));
    EXPECT_FALSE(FileExists(m_program + "\\c.dll"));
    EXPECT_EQ((std::vector<std::string>{"b.dll", "c.dll"}), FolderEntries(strSource));
}

TEST(UpdateHttpStatus, EachStatusHasItsText)
{
    HMODULE hLibrary = LoadLibraryA(BinFile("VigilonUpdate.dll").c_str());
    ASSERT_TRUE(hLibrary != NULL);
    HINSTANCE hOld = AfxGetResourceHandle();
    AfxSetResourceHandle(hLibrary);
    const struct
    {
        int nStatus;
        const char* text;
    } cases[] = {
        {404, "(404) The hot-fix file was not found on the server."},
        {400, "(400) The server could not understand the request."},
        {410, "(410) The hot-fix file no longer exists on the server."},
        {411, "(411) The server requires the length of the request."},
        {415, "(415) The server does not support the form of the request."},
        {500, "(500) The server had an internal error."},
        {504, "(504) The gateway or proxy timed out waiting for the server."},
        {505, "(505) The server does not support this HTTP version."},
        {305, "(305) The server must be reached through a proxy."},
        {301, "(301) The requested file has moved to another address."},
        {302, "(302) "},
        {416, "(416) "},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.text, CHotFixDlg::FormatHttpStatus(c.nStatus)) << c.nStatus;
    AfxSetResourceHandle(hOld);
    FreeLibrary(hLibrary);
}

// The removal steps on their own: the extra tools' uninstallers, the program folder, the
// registry entries and the mail-scan keys, the shell extension's countdown, the error texts.
#include "DelKvdShell.h"
#include "UninstallDlg.h"
#include "SystemInfo.h"
#include "UninstallErrors.h"
#include "uninstall_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace
{
const char RUN[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char RUNSERVICES[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char UNINSTALL[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::string> Lines(const std::string& strText)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart < strText.size())
    {
        size_t nEnd = strText.find("\r\n", nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        lines.push_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    return lines;
}

// The journal lines of the tools' uninstallers without their time stamps.
std::vector<std::string> ToolCalls(const std::string& strJournal)
{
    std::vector<std::string> calls;
    for (const std::string& strLine : Lines(ReadWholeFile(strJournal)))
        if (strLine.size() > 13)
            calls.push_back(strLine.substr(13));
    return calls;
}

class RemovalTest : public UninstallTest
{
protected:
    // A program folder (with blanks in its path) named by the product key.
    std::string MakeProgramFolder(const char* pszParent = "Pro gram Files", bool fClient = true)
    {
        std::string strParent = FreshScratchFolder(pszParent);
        std::string strFolder = strParent + "\\Vigilon Client";
        CreateDirectoryA(strFolder.c_str(), NULL);
        if (fClient)
            WriteWholeFile(strFolder + "\\Ksxwin97.exe", "MZ");
        RegSetText(PRODUCT_KEY, "Application Path", strFolder + "\\");
        return strFolder;
    }
};
}

TEST_F(RemovalTest, EachToolUninstallerRunsQuotedWithItsSwitchOneAfterTheOther)
{
    std::string strFolder = MakeProgramFolder();
    CreateDirectoryA((strFolder + "\\uninstall").c_str(), NULL);
    CopyFileA(BinFile("VglToolUninst.exe").c_str(), (strFolder + "\\uninstall\\First Tool.exe").c_str(), FALSE);
    CopyFileA(BinFile("VglToolUninst.exe").c_str(), (strFolder + "\\uninstall\\second.exe").c_str(), FALSE);
    std::string strJournal = ScratchFile("tools.log");
    DeleteFileA(strJournal.c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_JOURNAL", strJournal.c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_MS", "300");
    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    dlg.RemoveTools();
    SetEnvironmentVariableA("VGL_TOOL_UNINST_MS", NULL);

    std::vector<std::string> calls = ToolCalls(strJournal);
    ASSERT_EQ(4u, calls.size()) << ReadWholeFile(strJournal);
    std::string strFirst = calls[0].substr(6, calls[0].find(" args=") - 6);
    std::string strSecond = calls[2].substr(6, calls[2].find(" args=") - 6);
    EXPECT_EQ((std::vector<std::string>{"start " + strFirst + " args=/LOCALRUN", "end " + strFirst,
                                        "start " + strSecond + " args=/LOCALRUN", "end " + strSecond}),
              calls);
    std::vector<std::string> started = {strFirst, strSecond};
    std::sort(started.begin(), started.end());
    EXPECT_EQ((std::vector<std::string>{strFolder + "\\uninstall\\First Tool.exe", strFolder + "\\uninstall\\second.exe"}),
              started);
}

TEST_F(RemovalTest, AToolThatDoesNotEndInTimeIsLeftRunning)
{
    std::string strFolder = MakeProgramFolder();
    CreateDirectoryA((strFolder + "\\uninstall").c_str(), NULL);
    CopyFileA(BinFile("VglToolUninst.exe").c_str(), (strFolder + "\\uninstall\\slow.exe").c_str(), FALSE);
    std::string strJournal = ScratchFile("slow.log");
    DeleteFileA(strJournal.c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_JOURNAL", strJournal.c_str());
    // It works until told to stop; 121 waits of a second, a hundred times shorter, are about 1.2 s.
    std::string strRelease = ScratchFile("slow.release");
    DeleteFileA(strRelease.c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_UNTIL", strRelease.c_str());
    std::string strCommand = "\"" + strFolder + "\\uninstall\\slow.exe\" /LOCALRUN";
    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(LaunchProgAndWait(strCommand.c_str()));
    DWORD dwMs = GetTickCount() - dwStart;
    SetEnvironmentVariableA("VGL_TOOL_UNINST_UNTIL", NULL);
    EXPECT_GE(dwMs, 1100u);
    EXPECT_EQ(1u, ToolCalls(strJournal).size());
    // It was left running.
    WriteWholeFile(strRelease, "go");
    for (int i = 0; i < 200 && ToolCalls(strJournal).size() < 2; ++i)
        Sleep(50);
    EXPECT_EQ(2u, ToolCalls(strJournal).size());
}

TEST_F(RemovalTest, WithoutAnUninstallFolderNothingRuns)
{
    MakeProgramFolder();
    std::string strJournal = ScratchFile("none.log");
    DeleteFileA(strJournal.c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_JOURNAL", strJournal.c_str());
    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    dlg.RemoveTools();
    EXPECT_FALSE(FileExists(strJournal));
}

TEST_F(RemovalTest, TheProgramFolderAndItsEmptyParentGo)
{
    std::string strFolder = MakeProgramFolder();
    CreateDirectoryA((strFolder + "\\Log").c_str(), NULL);
    WriteWholeFile(strFolder + "\\Log\\2026_12_10.log", "x");
    WriteWholeFile(strFolder + "\\readonly.dat", "x");
    SetFileAttributesA((strFolder + "\\readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    dlg.DeleteProgramDir();
    EXPECT_FALSE(FileExists(strFolder));
    EXPECT_FALSE(FileExists(ScratchFile("Pro gram Files")));

    // A parent that holds something else stays.
    strFolder = MakeProgramFolder("Shared Parent");
    WriteWholeFile(ScratchFile("Shared Parent\\other.txt"), "x");
    dlg.LoadSettings();
    dlg.DeleteProgramDir();
    EXPECT_FALSE(FileExists(strFolder));
    EXPECT_TRUE(FileExists(ScratchFile("Shared Parent\\other.txt")));
}

TEST_F(RemovalTest, AFolderWithoutTheClientOrARootFolderIsNotDeleted)
{
    std::string strFolder = MakeProgramFolder("No Client", false);
    WriteWholeFile(strFolder + "\\data.txt", "x");
    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    dlg.DeleteProgramDir();
    EXPECT_TRUE(FileExists(strFolder + "\\data.txt"));

    // Directly below a drive's root, given without its backslash, counts as a root folder.
    CreateDirectoryA("C:\\VglRootTest", NULL);
    WriteWholeFile("C:\\VglRootTest\\Ksxwin97.exe", "MZ");
    RegSetText(PRODUCT_KEY, "Application Path", "C:\\VglRootTest");
    dlg.LoadSettings();
    dlg.DeleteProgramDir();
    EXPECT_TRUE(FileExists("C:\\VglRootTest\\Ksxwin97.exe"));
    RemoveTree("C:\\VglRootTest");
}

TEST_F(RemovalTest, TheEntriesNamedByTheSettingsFileGoAfterTheFileIsDeleted)
{
    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SETUP_SECTION]\r\n95_RUN_KEY=VglTest95\r\n");
    RegSetText(PRODUCT_KEY, "GUID", "x");
    RegSetText(RUN, "VglTest95", "\"C:\\Vigilon\\Ksxwin97.exe\" -HideWindow");
    RegSetText(RUNSERVICES, "VglTest95", "\"C:\\Vigilon\\Ksxwin97.exe\"");
    RegSetText(RUN, "Kavrel Vigilon Win95", "x");
    RegSetText(RUN, "PGX", "x");
    RegSetText(RUN, "VglOtherProgram", "x");
    RegSetText(std::string(UNINSTALL) + "\\Vigilon95", "DisplayName", "x");
    RegSetText(std::string(UNINSTALL) + "\\Vigilon 95", "DisplayName", "x");
    RegSetText(std::string(UNINSTALL) + "\\VglOtherProduct", "DisplayName", "x");
    RegSetText("Software\\Kavrel\\OtherProduct", "Keep", "1");

    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    // The folder step deletes the settings file before the registry step runs.
    RemoveSettingsFile();
    dlg.UninstallRegistries();

    EXPECT_FALSE(RegValueExists(RUN, "VglTest95"));
    EXPECT_FALSE(RegValueExists(RUNSERVICES, "VglTest95"));
    EXPECT_FALSE(RegValueExists(RUN, "Kavrel Vigilon Win95"));
    EXPECT_FALSE(RegValueExists(RUN, "PGX"));
    // The uninstall key the client writes when the file names none, and the old one.
    EXPECT_FALSE(RegKeyExists(std::string(UNINSTALL) + "\\Vigilon95"));
    EXPECT_FALSE(RegKeyExists(std::string(UNINSTALL) + "\\Vigilon 95"));
    EXPECT_FALSE(RegKeyExists("Software\\Kavrel\\VigilonCorp"));
    // Another product's entries stay, and with them the maker's key.
    EXPECT_TRUE(RegValueExists(RUN, "VglOtherProgram"));
    EXPECT_TRUE(RegKeyExists(std::string(UNINSTALL) + "\\VglOtherProduct"));
    EXPECT_TRUE(RegKeyExists("Software\\Kavrel\\OtherProduct"));

    // Without another product the maker's key goes too.
    deleteKey(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\OtherProduct");
    RegSetText(PRODUCT_KEY, "GUID", "x");
    dlg.UninstallRegistries();
    EXPECT_FALSE(RegKeyExists("Software\\Kavrel"));
    deleteRegistryRunKey("VglOtherProgram");
    deleteKey(HKEY_LOCAL_MACHINE, (std::string(UNINSTALL) + "\\VglOtherProduct").c_str());
}

TEST_F(RemovalTest, OnlyTheProductsMailScanKeysGo)
{
    const std::string strKestrix = "Software\\Kavrel\\Kestrix";
    RegSetNumber(strKestrix + "\\MailScan\\Sub", "OnOff", 1);
    RegSetText(strKestrix + "\\VUV3Ador", "ConfigKey", "x");
    RegSetNumber(strKestrix + "\\OtherMail", "Keep", 1);
    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.RemoveMailScanKeys();
    EXPECT_FALSE(RegKeyExists(strKestrix + "\\MailScan"));
    EXPECT_FALSE(RegKeyExists(strKestrix + "\\VUV3Ador"));
    EXPECT_TRUE(RegValueExists(strKestrix + "\\OtherMail", "Keep"));

    // A value of another product in the parent keeps it too; an empty parent goes.
    deleteKey(HKEY_LOCAL_MACHINE, (strKestrix + "\\OtherMail").c_str());
    RegSetNumber(strKestrix, "OtherSetting", 1);
    dlg.RemoveMailScanKeys();
    EXPECT_TRUE(RegValueExists(strKestrix, "OtherSetting"));
    deleteKey(HKEY_LOCAL_MACHINE, strKestrix.c_str());
    RegSetNumber(strKestrix + "\\MailScan", "OnOff", 1);
    dlg.RemoveMailScanKeys();
    EXPECT_FALSE(RegKeyExists(strKestrix));
}

TEST_F(RemovalTest, TheCountdownTriesEveryThreeSecondsUntilTheFileGoes)
{
    std::string strFile = ScratchFile("kvdshell.dll");
    WriteWholeFile(strFile, "MZ");
    HANDLE hHeld = CreateFileA(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    CDelKvdShell dlg(NULL);
    dlg.m_strFile = strFile.c_str();
    // Attempts at 0, 3 and 6 seconds; released after the fifth second.
    for (int nSecond = 0; nSecond < 5; ++nSecond)
        ASSERT_EQ(-1, dlg.Tick()) << nSecond;
    CloseHandle(hHeld);
    EXPECT_EQ(-1, dlg.Tick());
    EXPECT_TRUE(FileExists(strFile));
    EXPECT_EQ(1, dlg.Tick());
    EXPECT_FALSE(FileExists(strFile));
    EXPECT_EQ(6, dlg.m_nElapsed);

    // A file someone else deleted ends it at the next attempt.
    CDelKvdShell gone(NULL);
    gone.m_strFile = strFile.c_str();
    EXPECT_EQ(1, gone.Tick());
}

TEST_F(RemovalTest, TheCountdownEndsAfterTwelveMinutes)
{
    CDelKvdShell dlg(NULL);
    dlg.m_strFile = "C:\\windows";      // can never be deleted as a file
    int nResult = -1, nTicks = 0;
    while (nResult < 0 && nTicks < 1000)
    {
        nResult = dlg.Tick();
        ++nTicks;
    }
    EXPECT_EQ(0, nResult);
    EXPECT_EQ(720, nTicks);
    EXPECT_STREQ("Time left: 12 min 00 s", CDelKvdShell::FormatTimeLeft(0));
    EXPECT_STREQ("Time left: 11 min 00 s", CDelKvdShell::FormatTimeLeft(60));
    EXPECT_STREQ("Time left: 0 min 01 s", CDelKvdShell::FormatTimeLeft(719));
}

TEST_F(RemovalTest, TheShellExtensionLibraryThatCanGoIsDeletedAtOnce)
{
    std::string strFolder = FreshScratchFolder("shell");
    WriteWholeFile(strFolder + "\\KvdShell.dll", "MZ");
    EXPECT_TRUE(MoveKvdshellToTemp(strFolder.c_str()));
    EXPECT_FALSE(FileExists(strFolder + "\\KvdShell.dll"));
    EXPECT_FALSE(MoveKvdshellToTemp(""));
}

TEST_F(RemovalTest, ErrorTextsOfTheServerNotice)
{
    const struct
    {
        int nCode;
        const char* pszText;
    } cases[] = {{-4, "The server could not update its client list."},
                 {-3, "The server could not find this computer among its clients."},
                 {-2, "The server could not read the removal notice of this computer."},
                 {0, "The server did not confirm the removal of this computer."},
                 {10, "The server did not confirm the removal of this computer."}};
    for (const auto& c : cases)
        EXPECT_STREQ(c.pszText, CCgiUninstallException(c.nCode).GetText()) << c.nCode;
    EXPECT_STREQ("(404) The requested page was not found on the server.", getInternetStatusText(404));
    EXPECT_STREQ("(415) The server does not support the form of the request.", getInternetStatusText(415));
    EXPECT_STREQ("(503) The server is busy or unavailable; try again later.", getInternetStatusText(503));
    EXPECT_STREQ("(301) The requested page has moved.", getInternetStatusText(301));
    EXPECT_STREQ("(499) ", getInternetStatusText(499));
}

TEST_F(RemovalTest, OnlyTheClientsStartMenuFolderAndShortcutsGo)
{
    CString strPrograms = getProgramsFolder();
    ASSERT_FALSE(strPrograms.IsEmpty());
    std::string strMenu = std::string(strPrograms) + "\\Vgl Uninstall Test";
    std::string strCanary = std::string(strPrograms) + "\\Vgl Uninstall Canary.lnk";
    CreateDirectoryA(strMenu.c_str(), NULL);
    WriteWholeFile(strMenu + "\\Vigilon.lnk", "L");
    WriteWholeFile(strCanary, "L");
    std::string strDesktopShortcut = ScratchFile("Vigilon on the desktop.lnk");
    WriteWholeFile(strDesktopShortcut, "L");
    RegSetText(PRODUCT_KEY, "FolderName", "Vgl Uninstall Test");
    RegSetText(PRODUCT_KEY, "DesktopShortcutFile", strDesktopShortcut);

    CUninstallDlg dlg(TRUE, FALSE, NULL);
    dlg.LoadSettings();
    dlg.UninstallFolderAndShortcut();
    EXPECT_FALSE(FileExists(strMenu));
    EXPECT_FALSE(FileExists(strDesktopShortcut));
    EXPECT_TRUE(FileExists(strCanary));

    // Without a folder name nothing of the Programs folder itself is touched.
    RegSetText(PRODUCT_KEY, "FolderName", "");
    dlg.LoadSettings();
    dlg.UninstallFolderAndShortcut();
    EXPECT_TRUE(FileExists(strCanary));
    DeleteFileA(strCanary.c_str());
    RemoveTree(strMenu);
}

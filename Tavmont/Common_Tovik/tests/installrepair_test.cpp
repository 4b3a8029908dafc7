// Installation repair at start-up: the component installer an update left behind, and
// the read-me shortcut of an older version.
#include "productkey_fixture.h"

#include "InstallRepair.h"
#include "childprocess.h"

#include <objbase.h>
#include <shlobj.h>

// The installer: records that it ran, a little after its start.
VGL_CHILD_MODE(installer)
{
    Sleep(300);
    char szMarker[MAX_PATH] = "", szSelf[MAX_PATH] = "";
    GetEnvironmentVariableA("VGL_CHILD_MARKER", szMarker, sizeof(szMarker));
    GetModuleFileNameA(NULL, szSelf, sizeof(szSelf));
    return WriteWholeFile(szMarker, szSelf) ? 7 : 3;
}

// The start-up step, run from the folder of a copy of this program.
VGL_CHILD_MODE(prepare)
{
    NS_RegistryKey::PrepareProgramCopies();
    return 0;
}

TEST_F(ProductKeyTest, ComponentInstallerRunsToItsEndWhenItsIniIsThere)
{
    std::string strFolder = FreshScratchFolder("componentinstaller");
    std::string strInstaller = strFolder + "\\Vglupd.exe", strMarker = strFolder + "\\ran.txt";
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    ASSERT_TRUE(CopyFileA(szSelf, strInstaller.c_str(), FALSE));
    SetEnvironmentVariableA("VGL_CHILD_MODE", "installer");
    SetEnvironmentVariableA("VGL_CHILD_MARKER", strMarker.c_str());

    // The copy stands for the program: "Vglupd.exe" beside it runs only with "Vglupd.ini".
    EXPECT_EQ(0, NS_ChildProcess::Run("prepare", "", strInstaller, strFolder));
    EXPECT_EQ("(none)", ReadWholeFile(strMarker, "(none)"));
    ASSERT_TRUE(WriteWholeFile(strFolder + "\\Vglupd.ini", "[Update]\r\n"));
    EXPECT_EQ(0, NS_ChildProcess::Run("prepare", "", strInstaller, strFolder));
    EXPECT_EQ(strInstaller, ReadWholeFile(strMarker, "(none)"));

    SetEnvironmentVariableA("VGL_CHILD_MODE", NULL);
    SetEnvironmentVariableA("VGL_CHILD_MARKER", NULL);
}

namespace
{
std::string ProgramsFolder()
{
    char sz[MAX_PATH] = "";
    DWORD cb = sizeof(sz);
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      0, KEY_READ, &hKey) == ERROR_SUCCESS)
    {
        RegQueryValueExA(hKey, "Programs", NULL, NULL, (LPBYTE)sz, &cb);
        RegCloseKey(hKey);
    }
    return sz;
}

std::string LinkTarget(const std::string& strLink)
{
    std::string strTarget;
    IShellLinkA* pLink = NULL;
    IPersistFile* pFile = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&pLink)) &&
        SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile)))
    {
        WCHAR wsz[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, strLink.c_str(), -1, wsz, MAX_PATH);
        char sz[MAX_PATH] = "";
        if (SUCCEEDED(pFile->Load(wsz, STGM_READ)) && SUCCEEDED(pLink->GetPath(sz, MAX_PATH, NULL, 0)))
            strTarget = sz;
    }
    if (pFile)
        pFile->Release();
    if (pLink)
        pLink->Release();
    return strTarget;
}
}

TEST_F(ProductKeyTest, OldReadmeShortcutMovesToTheCurrentStartMenuNames)
{
    CoInitialize(NULL);
    std::string strPrograms = ProgramsFolder();
    ASSERT_FALSE(strPrograms.empty());
    std::string strOldFolder = strPrograms + "\\VglTest Old", strNewFolder = strPrograms + "\\VglTest New";
    CreateDirectoryA(strOldFolder.c_str(), NULL);
    CreateDirectoryA(strNewFolder.c_str(), NULL);
    std::string strOldLink = strOldFolder + "\\Old Readme.lnk", strNewLink = strNewFolder + "\\Read Me.lnk";
    ASSERT_TRUE(WriteWholeFile(strOldLink, "an old shortcut"));
    DeleteFileA(strNewLink.c_str());

    std::string strIni = SettingsFilePath();
    WritePrivateProfileStringA("INI_CLIENT_SETUP_31X_SECTION", "95_MENU_FOLDER", "VglTest Old", strIni.c_str());
    WritePrivateProfileStringA("INI_CLIENT_SETUP_31X_SECTION", "95_MENU_README_ITEM", "Old Readme", strIni.c_str());
    WritePrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_FOLDER", "VglTest New", strIni.c_str());
    WritePrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_README_ITEM", "Read Me", strIni.c_str());
    WritePrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_README_ITEM_FILENAME", "readme.txt",
                               strIni.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, strIni.c_str());
    WriteString(NULL, "Application Path", "C:\\Program Files\\Vigilon\\");

    // Only a client without all four configuration subkeys is an older version.
    NS_RegistryKey::RecoverOldRegistry();
    EXPECT_EQ("(missing)", ReadWholeFile(strOldLink, "(missing)"));
    EXPECT_EQ("C:\\Program Files\\Vigilon\\readme.txt", LinkTarget(strNewLink));

    ASSERT_TRUE(WriteWholeFile(strOldLink, "an old shortcut"));
    for (const char* pszSubKey : {"Exclusion File Configuration", "Real Time Scan Configuration",
                                  "Manual Scan Configuration", "Prescheduled Scan Configuration"})
        CreateKey(pszSubKey);
    NS_RegistryKey::RecoverOldRegistry();
    EXPECT_EQ("an old shortcut", ReadWholeFile(strOldLink, "(missing)"));

    // The older version's repair also made the uninstall entry.
    CRegKey uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall") == ERROR_SUCCESS)
        uninstall.RecurseDeleteKey("Vigilon95");
    DeleteFileA(strOldLink.c_str());
    DeleteFileA(strNewLink.c_str());
    RemoveDirectoryA(strOldFolder.c_str());
    RemoveDirectoryA(strNewFolder.c_str());
    CoUninitialize();
}

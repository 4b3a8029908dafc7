// Installation repair run by the configuration store's start-up.
#include "InstallRepair.h"

#include "Configuration.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "ShellUtils.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "atlbase.h"

#include <shlobj.h>
#include <stdlib.h>

namespace
{
enum { INSTALLER_TIMEOUT = 180000, SETUP_TEXT = 260 };

const char s_szUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char s_szOldUninstallKey[] = "Vigilon 95";

const char* const s_apszObsoleteValues[] = {
    "CgiOnExclusionScanConfiguration", "CgiOnInstall", "CgiOnRequestEncyclopedia", "CgiOnRequestEngine",
    "CgiOnRequestPattern", "CgiOnRequestProgram", "CgiOnRequestUID", "VirtualPath"};

const char* const s_apszFileBasedValues[] = {"MasterDirectory", "Filebase Polling Range"};

const char* const s_apszHttpValues[] = {
    "HotFix DateTime", "CgiOnStart", "CgiOnClose", "CgiOnScan", "CgiOnUpdate", "CgiOnUninstall", "CgiOnLog",
    "CgiOnRequestIni", "CgiOnRequestUpdate", "CgiOnRequestHotFix", "CgiOnRequestAlertMessage",
    "CgiOnRequestConfiguration", "CgiOnExclusionFileConfiguration", "CgiOnManualScanConfiguration",
    "CgiOnRealtimeScanConfiguration", "CgiOnScheduleScanConfiguration", "Server", "ServerIP", "ServerPort",
    "UseProxy", "ProxyServer", "ProxyPort", "ProxyLogin", "ProxyPassword", "LocalServerPort", "CgiCheckIP",
    "Check IP Change Interval", "PatternTooOldPopupMessage", "PatternTooOldDays", "PatternTooOldWarningOnOff",
    "WatchDogOnOff", "FqdnFirstOnOff", "AllowStopScheduleScan"};

CString SetupText(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault, LPCSTR pszIniFile)
{
    char szText[SETUP_TEXT] = "";
    GetPrivateProfileStringA(pszSection, pszKey, pszDefault, szText, sizeof(szText), pszIniFile);
    return CString(szText);
}

void RunComponentInstaller(const CString& strFolder)
{
    CString strInstaller = joinPath(strFolder, "Vglupd.exe");
    STARTUPINFOA startupInfo;
    GetStartupInfoA(&startupInfo);
    PROCESS_INFORMATION processInfo = {};
    CString strCommandLine = strInstaller;
    if (!CreateProcessA(strInstaller, strCommandLine.GetBuffer(0), NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE,
                        NULL, NULL, &startupInfo, &processInfo))
    {
        CSystemError error(GetLastError(), __FILE__, __LINE__);
        VGLTRACE(12, "CSystemError = %s", (LPCSTR)error.GetErrorMessage());
        return;
    }
    DWORD dwRetCode = WaitForSingleObject(processInfo.hProcess, INSTALLER_TIMEOUT);
    VGLTRACE(3, "dwRetCode(0x%X) = ::WaitForSingleObject(processInfo.hProcess, uDefaultTimeout = %d)",
             (unsigned)dwRetCode, INSTALLER_TIMEOUT);
    if (dwRetCode == WAIT_OBJECT_0)
    {
        DWORD dwExitCode = 0;
        GetExitCodeProcess(processInfo.hProcess, &dwExitCode);
        VGLTRACE(3, "    dwExitCode = %d", (int)dwExitCode);
    }
    CloseHandle(processInfo.hThread);
    CloseHandle(processInfo.hProcess);
}

// Every "<name>.*" below the folder is replaced by the "<short name>" file of the same
// folder and extension; one without such a file is left as it is.
void RefreshProgramCopies(const CString& strAppPath, LPCSTR pszName, LPCSTR pszShortName)
{
    CString strCollectSpec = CString(pszName) + ".*";
    CStringArray strCollectedFiles;
    collectFiles(strCollectedFiles, strAppPath, strCollectSpec, TRUE);
    VGLTRACE(3, "::collectFiles(strCollectedFiles, strAppPath = %s, strCollectSpec = %s)", (LPCSTR)strAppPath,
             (LPCSTR)strCollectSpec);
    int iTotalCollected = (int)strCollectedFiles.GetSize();
    VGLTRACE(3, "iTotalCollected(%d) = strCollectedFiles.GetSize())", iTotalCollected);
    for (int i = 0; i < iTotalCollected; ++i)
    {
        const CString& strOldFile = strCollectedFiles[i];
        int nSlash = strOldFile.ReverseFind('\\');
        CString strFolder = strOldFile.Left(nSlash + 1);
        CString strName = strOldFile.Mid(nSlash + 1);
        int nDot = strName.ReverseFind('.');
        CString strExtension = nDot >= 0 ? strName.Mid(nDot) : CString();
        CString strNewFile = strFolder + pszShortName + strExtension;
        if (!isFileExist(strNewFile))
        {
            VGLTRACE(3, "no %s beside %s; left as it is", (LPCSTR)strNewFile, (LPCSTR)strOldFile);
            continue;
        }
        BOOL fSuccess = copyFileEx(strNewFile, strOldFile);
        VGLTRACE(3, "fSuccess(%d) = ::copyFileEx(strNewFile = %s, strOldFile = %s)", fSuccess,
                 (LPCSTR)strNewFile, (LPCSTR)strOldFile);
    }
}

// The read-me shortcut of an older version moves to the current Start-menu names.
void ReplaceOldReadmeShortcut(LPCSTR pszIniFile)
{
    CString strOldFolder = SetupText(NS_RegistryKey::g_pszIniClientSetup31xSection, "95_MENU_FOLDER", "", pszIniFile);
    CString strOldItem = SetupText(NS_RegistryKey::g_pszIniClientSetup31xSection, "95_MENU_README_ITEM", "", pszIniFile);
    CString strPrograms = getProgramsFolder();
    CString str31X_ShortcutFullPathname = joinPath(joinPath(strPrograms, strOldFolder), strOldItem + ".lnk");
    BOOL fFileExist = isFileExist(str31X_ShortcutFullPathname);
    VGLTRACE(3, "fFileExist(%d) = ::isFileExist(str31X_ShortcutFullPathname = %s)", fFileExist,
             (LPCSTR)str31X_ShortcutFullPathname);
    if (!fFileExist)
        return;
    DeleteFileA(str31X_ShortcutFullPathname);
    LPCSTR pszSetup = NS_RegistryKey::g_pszIniClientSetupSection;
    CString strMENU_FOLDER = SetupText(pszSetup, "95_MENU_FOLDER", "", pszIniFile);
    CString strItem = SetupText(pszSetup, "95_MENU_README_ITEM", "", pszIniFile);
    CString strReadme = SetupText(pszSetup, "95_MENU_README_ITEM_FILENAME", "", pszIniFile);
    CString strShortcutFullPathname = joinPath(joinPath(strPrograms, strMENU_FOLDER), strItem + ".lnk");
    CString strFile = joinPath(NS_RegistryKey::GetApplicationPath(), strReadme);
    try
    {
        createLink(strFile, strShortcutFullPathname, strMENU_FOLDER);
    }
    catch (...)
    {
        VGLTRACE(13, "(...), the shortcut %s cannot be created", (LPCSTR)strShortcutFullPathname);
    }
    VGLTRACE(3, "::createLink(strFile = %s, strShortcutFullPathname = %s, strMENU_FOLDER = %s)", (LPCSTR)strFile,
             (LPCSTR)strShortcutFullPathname, (LPCSTR)strMENU_FOLDER);
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHA, (LPCSTR)strShortcutFullPathname, NULL);
}

// A "ProxyPort" stored as text becomes the DWORD of its decimal value.
void RepairProxyPort(HKEY hKey)
{
    DWORD dwType = 0, cb = 0;
    if (RegQueryValueExA(hKey, "ProxyPort", NULL, &dwType, NULL, &cb) != ERROR_SUCCESS)
        return;
    if (dwType != REG_SZ && dwType != REG_EXPAND_SZ && dwType != REG_MULTI_SZ)
        return;
    CString strPort;
    LPSTR pszPort = strPort.GetBuffer((int)cb + 1);
    if (RegQueryValueExA(hKey, "ProxyPort", NULL, NULL, (LPBYTE)pszPort, &cb) != ERROR_SUCCESS)
        cb = 0;
    pszPort[cb] = '\0';
    strPort.ReleaseBuffer();
    DWORD dwPort = (DWORD)atol(strPort);
    RegDeleteValueA(hKey, "ProxyPort");
    RegSetValueExA(hKey, "ProxyPort", 0, REG_DWORD, (const BYTE*)&dwPort, sizeof(dwPort));
}

void DeleteValues(HKEY hKey, const char* const* ppszNames, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i)
        RegDeleteValueA(hKey, ppszNames[i]);
}

void CreateUninstallEntry(LPCSTR pszIniFile)
{
    LPCSTR pszSetup = NS_RegistryKey::g_pszIniClientSetupSection;
    CString strDisplayName = SetupText(pszSetup, "95_UNINSTALL_DISPLAY_NAME", "Kavrel Vigilon Win95", pszIniFile);
    CString strKeyName = SetupText(pszSetup, "95_UNINSTALL_KEY_NAME", "Vigilon95", pszIniFile);
    CString strFileName = SetupText(pszSetup, "95_UNINSTALL_FILENAME", "95roraze.exe", pszIniFile);
    if (strDisplayName.IsEmpty() || strKeyName.IsEmpty() || strFileName.IsEmpty())
        return;

    CRegKey uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, s_szUninstallRoot, KEY_ALL_ACCESS) == ERROR_SUCCESS)
    {
        CRegKey oldEntry;
        if (oldEntry.Open(uninstall, s_szOldUninstallKey, KEY_READ) == ERROR_SUCCESS)
        {
            oldEntry.Close();
            uninstall.RecurseDeleteKey(s_szOldUninstallKey);
        }
        uninstall.Close();
    }

    CString strEntry = joinPath(s_szUninstallRoot, strKeyName);
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, strEntry, KEY_READ) == ERROR_SUCCESS)
        return;
    LONG lResult = key.Create(HKEY_LOCAL_MACHINE, strEntry);
    if (lResult != ERROR_SUCCESS)
    {
        CSystemError error((DWORD)lResult, __FILE__, __LINE__);
        VGLTRACE(12, "    ERROR_SUCCESS != key.Open(HKEY_LOCAL_MACHINE, g_psz95RorazeallKey)), Error Message = %s",
                 (LPCSTR)error.GetErrorMessage());
        return;
    }
    CRegKey product;
    if (product.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), KEY_READ) != ERROR_SUCCESS)
        return;
    char szAppPath[MAX_PATH] = "";
    DWORD cb = sizeof(szAppPath);
    if (product.QueryValue(szAppPath, "Application Path", &cb) != ERROR_SUCCESS)
        return;
    CString strUninstallString = "\"" + joinPath(szAppPath, strFileName) + "\"";
    key.SetValue(strUninstallString, "UninstallString");
    key.SetValue(strDisplayName, "DisplayName");
}
}

namespace NS_RegistryKey
{
void PrepareProgramCopies()
{
    VGLTRACE(1, "--> NS_RegistryKey::PrepareProgramCopies()");
    CString strModuleFolder = getModulePath();
    if (isFileExist(joinPath(strModuleFolder, "Vglupd.ini")))
        RunComponentInstaller(strModuleFolder);
    CString strAppPath = GetApplicationPath();
    if (!strAppPath.IsEmpty())
    {
        RefreshProgramCopies(strAppPath, "VigilonUpdate", "95did");
        RefreshProgramCopies(strAppPath, "VigilonUninstall", "95roraze");
    }
    VGLTRACE(2, "<-- NS_RegistryKey::PrepareProgramCopies()");
}

void RecoverOldRegistry()
{
    VGLTRACE(1, "--> NS_RegistryKey::RecoverOldRegistry()");
    BOOL fHasAllSubKey = HasAllConfigurationSubKey();
    VGLTRACE(3, "fHasAllSubKey(%d) = NS_RegistryKey::HasAllConfigurationSubKey()", fHasAllSubKey);
    if (!fHasAllSubKey)
    {
        CString strIniFile = GetVglscanIniPath();
        ReplaceOldReadmeShortcut(strIniFile);

        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS)
        {
            RepairProxyPort(key);
            DeleteValues(key, s_apszObsoleteValues, sizeof(s_apszObsoleteValues) / sizeof(s_apszObsoleteValues[0]));
            if (IsHttpBasedEx())
                DeleteValues(key, s_apszFileBasedValues,
                             sizeof(s_apszFileBasedValues) / sizeof(s_apszFileBasedValues[0]));
            else
                DeleteValues(key, s_apszHttpValues, sizeof(s_apszHttpValues) / sizeof(s_apszHttpValues[0]));
            key.Close();
        }
        CreateUninstallEntry(strIniFile);
    }
    VGLTRACE(2, "<-- NS_RegistryKey::RecoverOldRegistry()");
}

void CheckShortCutChange()
{
    CString strIniFile;
    strIniFile.Format("%s\\VGLSCAN.INI", (LPCSTR)getWindowsDirectoryPath());
    VGLTRACE(1, "--> NS_RegistryKey::CheckShortCutChange() through vglscan.ini");
    LPCSTR pszSetup = g_pszIniClientSetupSection;
    CString strFolder = SetupText(pszSetup, "95_MENU_FOLDER", "", strIniFile);
    CString strOldFolder = SetupText(pszSetup, "OLD_95_MENU_FOLDER", "", strIniFile);
    renameStartMenuItem(strFolder, strOldFolder, START_MENU_GROUP, NULL);
    static const char* const s_apszItems[][2] = {{"95_MENU_MAIN_ITEM", "OLD_95_MENU_MAIN_ITEM"},
                                                 {"95_MENU_UNINSTALL_ITEM", "OLD_95_MENU_UNINSTALL_ITEM"},
                                                 {"95_MENU_README_ITEM", "OLD_95_MENU_README_ITEM"}};
    for (const auto& item : s_apszItems)
    {
        CString strItem = SetupText(pszSetup, item[0], "", strIniFile);
        CString strOldItem = SetupText(pszSetup, item[1], "", strIniFile);
        renameStartMenuItem(strItem, strOldItem, START_MENU_SHORTCUT, strFolder);
    }
    CString strKeyName = SetupText(pszSetup, "95_UNINSTALL_KEY_NAME", "", strIniFile);
    CString strDisplayName = SetupText(pszSetup, "95_UNINSTALL_DISPLAY_NAME", "", strIniFile);
    // Without a key name the display name would land on the uninstall root itself.
    if (!strKeyName.IsEmpty())
        updateUninstallDisplayName(strKeyName, strDisplayName);
    VGLTRACE(2, "<-- NS_RegistryKey::CheckShortCutChange()");
}
}

// Start-up of the configuration store over the product key and the settings file.
#include "Configuration.h"

#include "InstallRepair.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegKeyEx.h"
#include "RegistryKey.h"
#include "ShellUtils.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "HostLookup.h"
#include "atlbase.h"

#include <objbase.h>
#include <stdlib.h>
#include <string.h>

namespace
{
enum
{
    PRESENCE_TEXT = 128,
    MIGRATION_TEXT = 256,
    INI_TEXT = 260,
    YEAR_SECONDS = 31536000,
    MAX_SCHEDULE_HOURS = 8761,
    MAX_SCHEDULE_MINUTES = 525601
};

const char s_szProgramVersion[] = "5.58";
const char s_szInternetSettings[] = "Internet Settings";
const char s_szScheduleUpdate[] = "Schedule Update";
const char s_szRealTimeScanSubKey[] = "Real Time Scan Configuration";
const REGSAM KEY_READ_CREATE = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;

// Writes the default scan configuration: the client's scan setting classes (ConstructWith).
PFN_DEFAULT_CONFIGURATION s_pfnDefaultConfiguration = NULL;

void WriteDefaultConfiguration(BOOL fHttpBased, LPCSTR pszIniFile)
{
    if (s_pfnDefaultConfiguration != NULL)
        s_pfnDefaultConfiguration(fHttpBased, pszIniFile);
}

// The CGI programs whose paths are built from "Master_URL".
const char* const s_apszCgiPrograms[][2] = {
    {"CgiCheckIP", "cgiCheckIP.dll"},
    {"CgiOnStart", "cgiOnStart.exe"},
    {"CgiOnClose", "cgiOnClose.exe"},
    {"CgiOnScan", "cgiOnScan.exe"},
    {"CgiOnScanResult", "cgiOnScanResult.dll"},
    {"CgiOnSpecialLog", "cgiOnSpecialLog.exe"},
    {"CgiOnUpdate", "cgiOnUpdate.exe"},
    {"CgiOnUninstall", "cgiOnUnst.exe"},
    {"CgiOnLog", "cgiLog.exe"},
    {"CgiOnRequestIni", "cgiRqIni.exe"},
    {"CgiOnRequestUpdate", "cgiRqUpd.exe"},
    {"CgiOnRequestHotFix", "cgiRqHotFix.exe"},
    {"CgiOnRequestAlertMessage", "cgiRqAlertMsg.exe"},
    {"CgiOnRequestConfiguration", "cgiRqCfg.exe"},
    {"CgiOnExclusionFileConfiguration", "cgiOnEFCfg.exe"},
    {"CgiOnManualScanConfiguration", "cgiOnMSCfg.exe"},
    {"CgiOnRealtimeScanConfiguration", "cgiOnRTCfg.exe"},
    {"CgiOnScheduleScanConfiguration", "cgiOnPSCfg.exe"}};

// The values whose absence in HTTP mode calls for a migration.
const char* const s_apszHttpMigrationValues[] = {
    "Server", "CgiOnClose", "CgiOnScan", "CgiOnUpdate", "CgiOnUninstall", "CgiOnLog", "CgiOnRequestIni",
    "CgiOnRequestUpdate", "CgiOnRequestHotFix", "CgiOnRequestAlertMessage", "CgiOnRequestConfiguration",
    "CgiOnExclusionFileConfiguration", "CgiOnManualScanConfiguration", "CgiOnRealtimeScanConfiguration",
    "CgiOnScheduleScanConfiguration", "CgiCheckIP", "Check IP Change Interval", "PatternTooOldPopupMessage",
    "PatternTooOldDays", "PatternTooOldWarningOnOff", "WatchDogOnOff", "FqdnFirstOnOff", "AllowStopScheduleScan"};

const char* const s_apszConfigurationSubKeys[] = {"Exclusion File Configuration", "Real Time Scan Configuration",
                                                  "Manual Scan Configuration", "Prescheduled Scan Configuration"};

const char* const s_apszGlobalSwitches[] = {"MailScanPageOnOff", "ToolPageOnOff", "QuelmailOnOff",
                                            "OutlookScanOnOff", "AerlumeOnOff", "CheckPointSecureClientOnOff",
                                            "ProxySettingOnOff"};

// ---- the settings file ----

DWORD IniNumber(LPCSTR pszSection, LPCSTR pszKey, int nDefault)
{
    return GetPrivateProfileIntA(pszSection, pszKey, nDefault, NS_RegistryKey::GetVglscanIniPath());
}

CString IniText(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault = "")
{
    char szText[INI_TEXT] = "";
    GetPrivateProfileStringA(pszSection, pszKey, pszDefault, szText, sizeof(szText),
                             NS_RegistryKey::GetVglscanIniPath());
    return CString(szText);
}

// ---- registry ----

void SetDword(HKEY hKey, LPCSTR pszName, DWORD dwValue)
{
    RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
}

void SetText(HKEY hKey, LPCSTR pszName, LPCSTR pszText)
{
    RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszText, lstrlenA(pszText) + 1);
}

// The value reads into a buffer of cbBuffer bytes (a longer value counts as present).
BOOL HasValue(HKEY hKey, LPCSTR pszName, DWORD cbBuffer)
{
    char szBuffer[MIGRATION_TEXT];
    DWORD cb = cbBuffer < sizeof(szBuffer) ? cbBuffer : sizeof(szBuffer);
    LONG lResult = RegQueryValueExA(hKey, pszName, NULL, NULL, (LPBYTE)szBuffer, &cb);
    return lResult == ERROR_SUCCESS || lResult == ERROR_MORE_DATA;
}

void SetDwordFromIni(HKEY hKey, LPCSTR pszName, LPCSTR pszSection, LPCSTR pszKey, int nDefault)
{
    SetDword(hKey, pszName, IniNumber(pszSection, pszKey, nDefault));
}

void SetTextFromIni(HKEY hKey, LPCSTR pszName, LPCSTR pszSection, LPCSTR pszKey)
{
    SetText(hKey, pszName, IniText(pszSection, pszKey));
}

CString FormatDate(const SYSTEMTIME& st)
{
    CString str;
    str.Format("%04d%02d%02d", st.wYear, st.wMonth, st.wDay);
    return str;
}

CString FormatTime(const SYSTEMTIME& st)
{
    CString str;
    str.Format("%02d%02d%02d", st.wHour, st.wMinute, st.wSecond);
    return str;
}

CString CurrentDomain()
{
    CString strDomain = getDomainName();
    capitalizeFirstLetter(strDomain);
    return strDomain;
}

CString CgiPath(const CString& strMasterUrl, LPCSTR pszProgram)
{
    return joinUrlPath(joinUrlPath(strMasterUrl, "/Cgi"), pszProgram);
}

// "HotFix DateTime", the CGI paths, the server's global settings and the address-change
// interval of HTTP mode.
void WriteHttpServerValues(HKEY hKey)
{
    using namespace NS_RegistryKey;
    SetText(hKey, "HotFix DateTime", "");
    CString strMasterUrl = IniText(g_pszIniServerSection, "Master_URL");
    SetTextFromIni(hKey, "PatternTooOldPopupMessage", g_pszGlobalSetting, "PatternTooOldPopupMessage");
    SetDwordFromIni(hKey, "PatternTooOldDays", g_pszGlobalSetting, "PatternTooOldDays", 13);
    SetDwordFromIni(hKey, "PatternTooOldWarningOnOff", g_pszGlobalSetting, "PatternTooOldWarningOnOff", 0);
    SetDwordFromIni(hKey, "WatchDogOnOff", g_pszGlobalSetting, "WatchDogOnOff", 1);
    SetDwordFromIni(hKey, "FqdnFirstOnOff", g_pszGlobalSetting, "FqdnFirstOnOff", 0);
    SetDwordFromIni(hKey, "Check IP Change Interval", g_pszIniClientSection, "Check_IP_Change_Interval", 180);
    for (const auto& program : s_apszCgiPrograms)
        SetText(hKey, program[0], CgiPath(strMasterUrl, program[1]));
}

void WriteServerAndProxy(HKEY hKey)
{
    using namespace NS_RegistryKey;
    SetTextFromIni(hKey, "Server", g_pszIniServerSection, "Master_DomainName");
    SetDwordFromIni(hKey, "ServerPort", g_pszIniServerSection, "Master_DomainPort", 80);
    SetDwordFromIni(hKey, "UseProxy", g_pszIniServerSection, "UseProxy", 0);
    SetTextFromIni(hKey, "ProxyServer", g_pszIniServerSection, "Proxy_IP");
    SetDwordFromIni(hKey, "ProxyPort", g_pszIniServerSection, "Proxy_Port", 80);
    SetTextFromIni(hKey, "ProxyLogin", g_pszIniServerSection, "Proxy_Login");
    SetTextFromIni(hKey, "ProxyPassword", g_pszIniServerSection, "Proxy_Pwd");
}

void WriteFileBasedValues(HKEY hKey)
{
    using namespace NS_RegistryKey;
    SetTextFromIni(hKey, "MasterDirectory", g_pszIniServerSection, "MasterDirectory");
    SetDwordFromIni(hKey, "Filebase Polling Range", g_pszIniClientSection, "Filebase_Polling_Range", 360);
}

// This computer's addresses become the saved list.
void SaveLocalAddresses()
{
    using namespace NS_RegistryKey;
    Destruct();
    char** ppList = NULL;
    if (!getHostIPList(NULL, &ppList) || ppList == NULL)
        return;
    int nCount = 0;
    while (ppList[nCount] != NULL)
        ++nCount;
    g_ppszLocalIPList = ppList;
    g_nLocalIPCount = nCount;
}

void ReadShowVirusFoundDlg()
{
    using namespace NS_RegistryKey;
    g_fShowRealTimeVirusFoundDlg = TRUE;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, joinPath(GetCurrentVersionKeyName(), s_szRealTimeScanSubKey), KEY_READ) ==
        ERROR_SUCCESS)
    {
        DWORD dwShow = 0;
        if (key.QueryValue(dwShow, "ShowVirusFoundDlg") == ERROR_SUCCESS)
            g_fShowRealTimeVirusFoundDlg = dwShow;
    }
    VGLTRACE(3, "    g_fShowRealTimeVirusFoundDlg = %d", g_fShowRealTimeVirusFoundDlg);
}

// The values refreshed or seeded at every start.
void RefreshStartValues()
{
    using namespace NS_RegistryKey;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ_CREATE) != ERROR_SUCCESS)
    {
        VGLTRACE(3, "the product key cannot be opened; start values not refreshed");
        return;
    }
    SetText(key, "Application Filename", getModuleName());

    DWORD dwMobile = 0;
    if (key.QueryValue(dwMobile, "Mobile") != ERROR_SUCCESS)
        dwMobile = 0;
    g_dwMobile = dwMobile;
    VGLTRACE(3, "    dwMobile = %d", (int)g_dwMobile);
    RegDeleteValueA(key, "Mobile");

    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!HasValue(key, "Install Date", PRESENCE_TEXT))
        SetText(key, "Install Date", FormatDate(now));
    if (!HasValue(key, "Install Time", PRESENCE_TEXT))
        SetText(key, "Install Time", FormatTime(now));
    SetText(key, "Domain", CurrentDomain());
    if (g_fHttpBased && !HasValue(key, "HotFix DateTime", PRESENCE_TEXT))
        SetText(key, "HotFix DateTime", "");
    if (!HasValue(key, "Show Window On Multiple Instances", PRESENCE_TEXT))
        SetDwordFromIni(key, "Show Window On Multiple Instances", g_pszIniClientSection,
                        "Show_Window_On_Multiple_Instances", 1);
    SetText(key, "Program Version", s_szProgramVersion);
    static const char* const s_apszPermissions[][2] = {{"Allow Unload", "Client_Allow_Unload"},
                                                       {"Allow Uninstall", "Client_Allow_Uninstall"},
                                                       {"Allow Mobile", "Client_Allow_Mobile"}};
    for (const auto& permission : s_apszPermissions)
    {
        if (!HasValue(key, permission[0], PRESENCE_TEXT))
            SetDwordFromIni(key, permission[0], g_pszIniClientSection, permission[1], 0);
    }
    if (!HasValue(key, "Unload_Pwd", PRESENCE_TEXT))
        SetTextFromIni(key, "Unload_Pwd", g_pszIniClientSection, "Unload_Pwd");
    if (!HasValue(key, "NFCacheOnOff", PRESENCE_TEXT))
        SetDwordFromIni(key, "NFCacheOnOff", g_pszGlobalSetting, "NFCacheOnOff", 0);
    if (!HasValue(key, "Uninstall_Pwd", PRESENCE_TEXT))
        SetTextFromIni(key, "Uninstall_Pwd", g_pszIniClientSection, "Uninstall_Pwd");
    if (g_fHttpBased)
    {
        if (!HasValue(key, "CgiOnRequestHotFix", PRESENCE_TEXT))
            SetText(key, "CgiOnRequestHotFix",
                    CgiPath(IniText(g_pszIniServerSection, "Master_URL"), "cgiRqHotFix.exe"));
    }
    else
    {
        SetDwordFromIni(key, "Filebase Polling Range", g_pszIniClientSection, "Filebase_Polling_Range", 360);
    }
}
}

namespace NS_RegistryKey
{
void ConstructWith(PFN_DEFAULT_CONFIGURATION pfnDefaults)
{
    VGLTRACE(1, "--> NS_RegistryKey::Construct()");
    s_pfnDefaultConfiguration = pfnDefaults;
    if (!IsRegistryInitialized())
        CreateRegistry();
    PrepareProgramCopies();
    RecoverOldRegistry();
    g_fHttpBased = IsHttpBasedEx();
    if (IsMigrationNeeded())
    {
        CreateMigrationValue(g_fHttpBased);
        CheckShortCutChange();
        VglUpdINI_Sec_GlobalSetting();
    }
    ReadFQDNFirst();
    if (g_fHttpBased)
        SaveLocalAddresses();
    ReadShowVirusFoundDlg();
    RefreshStartValues();
    ApplyShowInTaskManager(NULL);
    VGLTRACE(2, "<-- NS_RegistryKey::Construct()");
}

BOOL IsRegistryInitialized()
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ) != ERROR_SUCCESS)
        return FALSE;
    char szGUID[PRESENCE_TEXT] = "";
    DWORD cb = sizeof(szGUID);
    if (RegQueryValueExA(key, "GUID", NULL, NULL, (LPBYTE)szGUID, &cb) != ERROR_SUCCESS)
        return FALSE;
    return RegQueryValueExA(key, "Mode", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

void CreateRegistry()
{
    VGLTRACE(1, "--> NS_RegistryKey::CreateRegistry()");
    CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName()) != ERROR_SUCCESS)
    {
        VGLTRACE(12, "the product key can be neither opened nor created");
        return;
    }
    GUID guid;
    HRESULT hr = CoCreateGuid(&guid);
    if (FAILED(hr))
    {
        CSystemError error((DWORD)hr, __FILE__, __LINE__);
        VGLTRACE(12, "CoCreateGuid failed: %s", (LPCSTR)error.GetErrorMessage());
    }
    else
    {
        SetText(key, "GUID", formatGuid(guid));
    }
    SetText(key, "Application Path", getModulePath());
    SetText(key, "Application Filename", getModuleName());
    SYSTEMTIME now;
    GetLocalTime(&now);
    SetText(key, "Install Date", FormatDate(now));
    SetText(key, "Install Time", FormatTime(now));
    SetText(key, "Domain", CurrentDomain());
    SetDword(key, "EndSessionTimeout", 12000);

    DWORD dwMode = IniNumber(g_pszIniServerSection, "SetupType", 0);
    BOOL fHttpBased = dwMode != 0;
    SetDword(key, "Mode", dwMode);
    SetTextFromIni(key, "Program Version", g_pszIniProgramVersionSection, "Ksx95_Version");
    if (fHttpBased)
    {
        WriteHttpServerValues(key);
        WriteServerAndProxy(key);
    }
    else
    {
        WriteFileBasedValues(key);
    }
    SetDwordFromIni(key, "NFCacheOnOff", g_pszGlobalSetting, "NFCacheOnOff", 0);
    if (fHttpBased)
        SetDwordFromIni(key, "Allow Mobile", g_pszIniClientSection, "Client_Allow_Mobile", 0);
    SetDwordFromIni(key, "AllowStopScheduleScan", g_pszIniClientSection, "Client_Allow_Stop_Schedule_Scan", 0);
    SetDwordFromIni(key, "DiskReserved", g_pszGlobalSetting, "DiskReserved", 20);
    if (fHttpBased)
        SetDwordFromIni(key, "LocalServerPort", g_pszIniClientSection, "CLIENT_LOCALSERVER_PORT", 12345);
    SetDwordFromIni(key, "Allow Unload", g_pszIniClientSection, "Client_Allow_Unload", 0);
    SetDwordFromIni(key, "Allow Uninstall", g_pszIniClientSection, "Client_Allow_Uninstall", 0);
    SetTextFromIni(key, "Unload_Pwd", g_pszIniClientSection, "Unload_Pwd");
    SetTextFromIni(key, "Uninstall_Pwd", g_pszIniClientSection, "Uninstall_Pwd");
    SetDwordFromIni(key, "AllowUpdateFromKVNF", g_pszIniClientSection, "Client_Allow_Update_From_KVNF", 0);
    SetDwordFromIni(key, "AllowUpdateFromOtherNF", g_pszIniClientSection, "Client_Allow_Update_From_OtherNF", 0);
    key.Close();

    if (fHttpBased)
        CreateInternetSettings();
    WriteDefaultConfiguration(fHttpBased, GetVglscanIniPath());
    CreateScheduleUpdateSettings();
    VglUpdINI_Sec_GlobalSetting();
    VGLTRACE(2, "<-- NS_RegistryKey::CreateRegistry()");
}

BOOL HasAllConfigurationSubKey()
{
    for (LPCSTR pszSubKey : s_apszConfigurationSubKeys)
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, joinPath(GetCurrentVersionKeyName(), pszSubKey), KEY_READ) != ERROR_SUCCESS)
            return FALSE;
    }
    return TRUE;
}

BOOL IsMigrationNeeded()
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwMode = 0;
    if (key.QueryValue(dwMode, "Mode") != ERROR_SUCCESS)
        return FALSE;
    if (dwMode != 0)
    {
        for (LPCSTR pszName : s_apszHttpMigrationValues)
        {
            if (!HasValue(key, pszName, MIGRATION_TEXT))
                return TRUE;
        }
    }
    else if (!HasValue(key, "MasterDirectory", MIGRATION_TEXT))
    {
        return TRUE;
    }
    return !HasAllConfigurationSubKey();
}

void CreateMigrationValue(BOOL fHttpBased)
{
    VGLTRACE(1, "--> NS_RegistryKey::CreateMigrationValue()");
    CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName()) == ERROR_SUCCESS)
    {
        if (fHttpBased)
        {
            WriteHttpServerValues(key);
            SetDwordFromIni(key, "AllowStopScheduleScan", g_pszIniClientSection, "Client_Allow_Stop_Schedule_Scan",
                            0);
            WriteServerAndProxy(key);
            SetDwordFromIni(key, "LocalServerPort", g_pszIniClientSection, "CLIENT_LOCALSERVER_PORT", 12345);
            key.Close();
            CreateInternetSettings();
        }
        else
        {
            WriteFileBasedValues(key);
            key.Close();
        }
    }
    CString strLastSettings = joinPath(getWindowsDirectoryPath(), "Vigilon.ini");
    if (isFileExist(strLastSettings))
    {
        WriteDefaultConfiguration(fHttpBased, strLastSettings);
        DeleteFileA(strLastSettings);
    }
    VGLTRACE(2, "<-- NS_RegistryKey::CreateMigrationValue()");
}

void CreateInternetSettings()
{
    CString strSubKey = joinPath(GetCurrentVersionKeyName(), s_szInternetSettings);
    CRegKeyEx settings;
    if (settings.Open(HKEY_LOCAL_MACHINE, strSubKey) == ERROR_SUCCESS)
        return;
    if (settings.Create(HKEY_LOCAL_MACHINE, strSubKey) != ERROR_SUCCESS)
        return;
    CRegKey product;
    if (product.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ) != ERROR_SUCCESS)
        return;
    SetDword(settings, "Use Anonymous", 1);
    settings.CopyStringValue(product, "Server");
    settings.CopyDwordValue(product, "ServerPort");
    SetText(settings, "User name", "");
    SetText(settings, "Password", "");
    SetDword(settings, "UseProxy", 0);
    SetText(settings, "ProxyServer", "");
    SetDword(settings, "ProxyPort", 80);
    SetText(settings, "ProxyLogin", "");
    SetText(settings, "ProxyPassword", "");
}

BOOL CopyGlobalSettingSwitch(LPCSTR pszIniFile, LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszValueName)
{
    DWORD dwValue = GetPrivateProfileIntA(pszSection, pszKey, 1, pszIniFile);
    CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName()) != ERROR_SUCCESS)
        return FALSE;
    return key.SetValue(dwValue, pszValueName) == ERROR_SUCCESS;
}

void VglUpdINI_Sec_GlobalSetting()
{
    CString strIniFile;
    strIniFile.Format("%s\\VGLSCAN.INI", (LPCSTR)getWindowsDirectoryPath());
    VGLTRACE(1, "--> NS_RegistryKey::VglUpdINI_Sec_GlobalSetting()");
    UINT nInserted = 0;
    for (LPCSTR pszSwitch : s_apszGlobalSwitches)
    {
        if (CopyGlobalSettingSwitch(strIniFile, g_pszGlobalSetting, pszSwitch, pszSwitch))
            ++nInserted;
    }
    VGLTRACE(3, "    insert %u keys.", nInserted);
    VGLTRACE(2, "<-- NS_RegistryKey::VglUpdINI_Sec_GlobalSetting()");
}

void ApplyShowInTaskManager(const BOOL* pfShow)
{
    BOOL fShowInTaskManager = pfShow != NULL ? *pfShow : GetShowInTaskManager();
    try
    {
        BOOL fSuccess = hideUnderTaskManager(!fShowInTaskManager);
        VGLTRACE(3, "fSuccess(%d) = ::hideUnderTaskManager(fShowInTaskManager = %d)", fSuccess,
                 fShowInTaskManager);
    }
    catch (const CSystemError& error)
    {
        VGLTRACE(11, "CSystemError = %s", (LPCSTR)error.GetErrorMessage());
    }
}

BOOL ReadFQDNFirst()
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, GetCurrentVersionKeyName(), KEY_READ) != ERROR_SUCCESS)
    {
        VGLTRACE(3, "the product key cannot be opened; g_fFQDNFirst stays %d", g_fFQDNFirst);
        return g_fFQDNFirst;
    }
    DWORD dwFirst = 0;
    if (key.QueryValue(dwFirst, "FqdnFirstOnOff") != ERROR_SUCCESS)
        dwFirst = 0;
    g_fFQDNFirst = dwFirst;
    VGLTRACE(3, "    g_fFQDNFirst = %d", g_fFQDNFirst);
    return g_fFQDNFirst;
}
}

void CreateScheduleUpdateSettings()
{
    using namespace NS_RegistryKey;
    CString strVglScanIni = GetVglscanIniPath();
    VGLTRACE(1, "--> CreateScheduleUpdateSettings");
    VGLTRACE(3, "strVglScanIni=%s", (LPCSTR)strVglScanIni);
    CString strSubKey = joinPath(GetCurrentVersionKeyName(), s_szScheduleUpdate);
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, strSubKey, KEY_READ) != ERROR_SUCCESS &&
        key.Create(HKEY_LOCAL_MACHINE, strSubKey) == ERROR_SUCCESS)
    {
        VGLTRACE(3, "g_pszGlobalSetting=%s", g_pszGlobalSetting);
        UINT nHours = IniNumber(g_pszGlobalSetting, "ScheduleCheckGlobalSetting", 0);
        VGLTRACE(3, "%s=%d", "ScheduleCheckGlobalSetting", (int)nHours);
        SetDword(key, "ScheduleCheckGlobalSetting", nHours < MAX_SCHEDULE_HOURS ? nHours * 3600 : YEAR_SECONDS);
        UINT nMinutes = IniNumber(g_pszGlobalSetting, "ScheduleUpdateInterval", 1440);
        VGLTRACE(3, "%s=%d", "ScheduleUpdateInterval", (int)nMinutes);
        SetDword(key, "ScheduleUpdateInterval", nMinutes < MAX_SCHEDULE_MINUTES ? nMinutes * 60 : YEAR_SECONDS);
        SetDword(key, "TimeStamp", 0);
        UINT nAllow = IniNumber(g_pszIniClientSection, "Client_Allow_Schedule_Update", 0);
        VGLTRACE(3, "%s=%d", "Client_Allow_Schedule_Update", (int)nAllow);
        SetDword(key, "AllowScheduleUpdate", nAllow);
    }
    VGLTRACE(2, "<-- CreateScheduleUpdateSettings");
}

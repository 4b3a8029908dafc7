// The product key's values, their names and defaults, and the "Internet Settings" subkey.
#include "RegistryKey.h"

#include "HostLookup.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKeyAccess.h"
#include "StringUtils.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

using namespace NS_RegistryKeyAccess;

namespace
{
const char s_szCompanyKey[] = "Software\\Kavrel";
const char s_szProductKey[] = "Software\\Kavrel\\VigilonCorp";
const char s_szCurrentVersionKey[] = "Software\\Kavrel\\VigilonCorp\\CurrentVersion";
const char s_szWatchDogKey[] = "Software\\Kavrel\\VglWatchDog";
const char s_szInternetSettings[] = "Internet Settings";
const char s_szScheduleUpdate[] = "Schedule Update";
const char s_szRealTimeScanConfiguration[] = "Real Time Scan Configuration";

// "AllowCfg" subkeys by configuration kind.
const char* const s_apszConfigurationKeys[] = {
    "Manual Scan Configuration",
    "Real Time Scan Configuration",
    "Prescheduled Scan Configuration",
    "Exclusion File Configuration",
};

const char s_szDebugLogSwitchFile[] = "vgl95dbg.ini";

enum
{
    GUID_BUFFER_SIZE = 100,
    INTERNET_SETTINGS_BUFFER_SIZE = 128,
    DEFAULT_END_SESSION_TIMEOUT = 12000,
    DEFAULT_PORT = 80,
    DEFAULT_LOCAL_SERVER_PORT = 12345,
    DEFAULT_CHECK_IP_INTERVAL_NO_KEY = 180,
    DEFAULT_DISK_RESERVED = 20,
    DEFAULT_PATTERN_TOO_OLD_DAYS = 13,
    DEFAULT_LOG_REMAINING_DAYS = 15
};

inline LPCSTR ProductKey()
{
    return s_szCurrentVersionKey;
}

CString SubKeyPath(LPCSTR pszSubKey)
{
    return joinPath(s_szCurrentVersionKey, pszSubKey);
}

// Flags and numbers of the product key.
inline BOOL Flag(LPCSTR pszName, BOOL fDefault)
{
    return getFlag(ProductKey(), pszName, fDefault, fDefault);
}

inline DWORD Number(LPCSTR pszName, DWORD dwDefault)
{
    return getDword(ProductKey(), pszName, dwDefault, dwDefault);
}

inline CString Text(LPCSTR pszName)
{
    return getString(ProductKey(), pszName);
}

BOOL IsHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}
}

namespace NS_RegistryKey
{
BOOL g_fHttpBased = TRUE;
BOOL g_fShowRealTimeVirusFoundDlg = TRUE;
DWORD g_dwMobile = 0;
BOOL g_fForceMobile = FALSE;
BOOL g_fFQDNFirst = FALSE;
char** g_ppszLocalIPList = NULL;
int g_nLocalIPCount = 0;

void Destruct()
{
    freeHostIPList(g_ppszLocalIPList);
    g_ppszLocalIPList = NULL;
    g_nLocalIPCount = 0;
}

// ---- key paths and value names ----

LPCSTR GetCompanyKeyName() { return s_szCompanyKey; }
LPCSTR GetProductKeyName() { return s_szProductKey; }
LPCSTR GetCurrentVersionKeyName() { return s_szCurrentVersionKey; }
LPCSTR GetWatchDogKeyName() { return s_szWatchDogKey; }
LPCSTR GetDefaultRetryIntervalValueName() { return "Default Retry Interval"; }
LPCSTR GetDefaultRetryCountValueName() { return "Default Retry Count"; }
LPCSTR GetScheduleUpdateKeyName() { return s_szScheduleUpdate; }
LPCSTR GetTimeStampValueName() { return "TimeStamp"; }
LPCSTR GetScheduleCheckGlobalSettingValueName() { return "ScheduleCheckGlobalSetting"; }
LPCSTR GetScheduleUpdateIntervalValueName() { return "ScheduleUpdateInterval"; }
LPCSTR GetAllowScheduleUpdateValueName() { return "AllowScheduleUpdate"; }
LPCSTR GetManualDisableValueName() { return "ManualDisable"; }
LPCSTR GetMasterDirectoryValueName() { return "MasterDirectory"; }
LPCSTR GetAllowUninstallValueName() { return "Allow Uninstall"; }
LPCSTR GetAllowUnloadValueName() { return "Allow Unload"; }
LPCSTR GetAllowMobileValueName() { return "Allow Mobile"; }
LPCSTR GetAllowUpdateFromKVNFValueName() { return "AllowUpdateFromKVNF"; }
LPCSTR GetAllowUpdateFromOtherNFValueName() { return "AllowUpdateFromOtherNF"; }
LPCSTR GetForceMobileValueName() { return "ForceMobile"; }
LPCSTR GetAllowStopScheduleScanValueName() { return "AllowStopScheduleScan"; }
LPCSTR GetUninstallPwdValueName() { return "Uninstall_Pwd"; }
LPCSTR GetUnloadPwdValueName() { return "Unload_Pwd"; }
LPCSTR GetServerValueName() { return "Server"; }
LPCSTR GetServerIPValueName() { return "ServerIP"; }
LPCSTR GetServerPortValueName() { return "ServerPort"; }
LPCSTR GetUseProxyValueName() { return "UseProxy"; }
LPCSTR GetProxyServerValueName() { return "ProxyServer"; }
LPCSTR GetProxyServerIPValueName() { return "ProxyServerIP"; }
LPCSTR GetProxyPortValueName() { return "ProxyPort"; }
LPCSTR GetProxyLoginValueName() { return "ProxyLogin"; }
LPCSTR GetProxyPasswordValueName() { return "ProxyPassword"; }
LPCSTR GetShowSplashValueName() { return "ShowSplash"; }
LPCSTR GetPatternTooOldPopupMessageValueName() { return "PatternTooOldPopupMessage"; }
LPCSTR GetPatternTooOldDaysValueName() { return "PatternTooOldDays"; }
LPCSTR GetNFCacheOnOffValueName() { return "NFCacheOnOff"; }
LPCSTR GetPatternTooOldWarningOnOffValueName() { return "PatternTooOldWarningOnOff"; }
LPCSTR GetDiskReservedValueName() { return "DiskReserved"; }
LPCSTR GetWatchDogOnOffValueName() { return "WatchDogOnOff"; }
LPCSTR GetFqdnFirstOnOffValueName() { return "FqdnFirstOnOff"; }

// ---- identity and installation ----

CString GetGUID()
{
    CRegKey key;
    CString strGuid;
    if (openKey(key, ProductKey(), KEY_READ) == ERROR_SUCCESS)
        queryStringLimited(key, "GUID", GUID_BUFFER_SIZE, strGuid);
    return strGuid;
}

DWORD GetGUIDDigitSum()
{
    CString strGuid = GetGUID();
    DWORD dwSum = 0;
    for (int i = 0; i < strGuid.GetLength(); ++i)
    {
        if (IsHexDigit(strGuid[i]))
            dwSum += (BYTE)strGuid[i];
    }
    return dwSum;
}

CString GetApplicationGUIDString() { return Text("GUID"); }

CString GetApplicationPath() { return Text("Application Path"); }
CString GetApplicationFilename() { return Text("Application Filename"); }
void GetApplicationPath(CString& strOut) { strOut = GetApplicationPath(); }
void GetApplicationFilename(CString& strOut) { strOut = GetApplicationFilename(); }
CString GetDomain() { return Text("Domain"); }
CString GetInstallDate() { return Text("Install Date"); }
CString GetInstallTime() { return Text("Install Time"); }
CString GetFolderName() { return Text("FolderName"); }
CString GetDesktopShortcutFile() { return Text("DesktopShortcutFile"); }

CString GetHotFixDateTime() { return Text("HotFix DateTime"); }

BOOL SetHotFixDateTime(const char* pszDateTime)
{
    return setString(ProductKey(), "HotFix DateTime", pszDateTime);
}

CString GetProgramVersion() { return Text("Program Version"); }

LONG SetProgramVersion(const char* pszVersion)
{
    CRegKey key;
    LONG lResult = openKey(key, ProductKey(), KEY_WRITE);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    return key.SetValue(pszVersion != NULL ? pszVersion : "", "Program Version");
}

BOOL GetProgramVersionNumbers(DWORD* pdwMajor, DWORD* pdwMinor)
{
    CString strVersion = GetProgramVersion();
    if (strVersion.IsEmpty())
        return FALSE;
    double dVersion = strtod(strVersion, NULL);
    if (dVersion < 0)
        dVersion = 0;
    double dMajor = floor(dVersion);
    *pdwMajor = (DWORD)dMajor;
    *pdwMinor = (DWORD)floor((dVersion - dMajor) * 100.0 + 0.5);
    return TRUE;
}

DWORD GetEndSessionTimeout()
{
    return getDwordWrittenBack(ProductKey(), "EndSessionTimeout", DEFAULT_END_SESSION_TIMEOUT);
}

// ---- server, proxy and listener ----

BOOL IsHttpBased() { return g_fHttpBased; }

BOOL IsHttpBasedEx()
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_READ) != ERROR_SUCCESS)
        return TRUE;
    DWORD dwMode = 0;
    if (!queryDword(key, "Mode", dwMode))
        return FALSE;
    return dwMode != 0;
}

CString GetServerIP() { return Text("ServerIP"); }
DWORD GetServerPort() { return Number("ServerPort", DEFAULT_PORT); }
BOOL GetUseProxy() { return Flag("UseProxy", FALSE); }
CString GetProxyServer() { return Text("ProxyServer"); }
CString GetProxyServerIP() { return Text("ProxyServerIP"); }
WORD GetProxyPort() { return (WORD)Number("ProxyPort", DEFAULT_PORT); }
CString GetProxyLogin() { return Text("ProxyLogin"); }

void GetProxyServerAndPort(CString& strProxyServer, WORD* pwProxyPort, BOOL fUseProxy)
{
    if (!fUseProxy)
        return;
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_READ) != ERROR_SUCCESS)
        return;
    strProxyServer.Empty();
    queryString(key, "ProxyServer", strProxyServer);
    DWORD dwPort = 0;
    queryDword(key, "ProxyPort", dwPort);
    if (pwProxyPort != NULL)
        *pwProxyPort = (WORD)dwPort;
}

DWORD GetLocalServerPort() { return Number("LocalServerPort", DEFAULT_LOCAL_SERVER_PORT); }

BOOL SetLocalServerPort(DWORD dwPort)
{
    return setDword(ProductKey(), "LocalServerPort", dwPort);
}

DWORD GetCheckIPChangeInterval()
{
    return getDword(ProductKey(), "Check IP Change Interval", 0, DEFAULT_CHECK_IP_INTERVAL_NO_KEY);
}

BOOL IsFQDNFirst() { return g_fFQDNFirst; }

CString GetClientString() { return Text("ClientString"); }

BOOL SetClientString(const char* pszClientString)
{
    return setString(ProductKey(), "ClientString", pszClientString);
}

BOOL GetEncryptNotificationMsg() { return Flag("Encrypt_Notification_Msg", TRUE); }

DWORD GetRefreshAllSetting() { return Number("RefreshAllSetting", 0); }
void SetRefreshAllSetting(DWORD dwValue) { setDword(ProductKey(), "RefreshAllSetting", dwValue); }
DWORD GetFindNewServer() { return Number("FindNewServer", 0); }
void SetFindNewServer(DWORD dwValue) { setDword(ProductKey(), "FindNewServer", dwValue); }

// ---- file-based mode ----

CString GetMasterDirectory() { return Text("MasterDirectory"); }

DWORD GetFilebaseSkipFirstUpdate() { return Number("Filebase Skip First Update", 0); }

BOOL SetFilebaseSkipFirstUpdate(DWORD dwValue)
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    writeDword(key, "Filebase Skip First Update", dwValue);
    return TRUE;
}

// ---- permissions and mobile use ----

BOOL GetAllowUnload() { return Flag("Allow Unload", FALSE); }
BOOL GetAllowUninstall() { return Flag("Allow Uninstall", FALSE); }
BOOL IsAllowedMobile() { return Flag("Allow Mobile", FALSE); }
BOOL GetAllowStopScheduleScan() { return Flag("AllowStopScheduleScan", FALSE); }
BOOL IsForceMobileEx() { return Flag("ForceMobile", FALSE); }

BOOL SetForceMobile(BOOL fForce)
{
    if (!setDword(ProductKey(), "ForceMobile", fForce ? 1 : 0))
        return FALSE;
    g_fForceMobile = fForce;
    return TRUE;
}

BOOL IsForceMobile() { return g_fForceMobile; }

BOOL IsMobileMode()
{
    VGLTRACE(3, "    %d = NS_RegistryKey::IsMobileMode()", (int)g_dwMobile);
    return (BOOL)g_dwMobile;
}

BOOL GetAllowUpdateNow(DWORD* pdwAllow)
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_READ) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwValue = 0;
    if (queryDword(key, "AllowUpdateNow", dwValue) && pdwAllow != NULL)
        *pdwAllow = dwValue;
    return TRUE;
}

BOOL GetAllowUpdateFromKVNF() { return Flag("AllowUpdateFromKVNF", FALSE); }
BOOL GetAllowUpdateFromOtherNF() { return Flag("AllowUpdateFromOtherNF", FALSE); }

// ---- global settings from the server ----

DWORD GetDiskReserved()
{
    CRegKey key;
    LONG lResult = openKey(key, ProductKey(), KEY_READ);
    if (lResult != ERROR_SUCCESS)
    {
        VGLTRACE(3, "key.Open \"%s\" failed! error=%d", ProductKey(), (int)lResult);
        return DEFAULT_DISK_RESERVED;
    }
    DWORD dwValue = 0;
    DWORD dwType = 0;
    DWORD cb = sizeof(dwValue);
    lResult = RegQueryValueExA(key, "DiskReserved", NULL, &dwType, (LPBYTE)&dwValue, &cb);
    if (lResult == ERROR_SUCCESS && dwType != REG_DWORD)
        lResult = ERROR_INVALID_DATA;
    if (lResult != ERROR_SUCCESS)
    {
        VGLTRACE(3, "key.QueryValue \"%s\" failed! error=%d", "DiskReserved", (int)lResult);
        return DEFAULT_DISK_RESERVED;
    }
    return dwValue;
}

DWORD GetPatternTooOldDays() { return Number("PatternTooOldDays", DEFAULT_PATTERN_TOO_OLD_DAYS); }
BOOL GetPatternTooOldWarningOnOff() { return Flag("PatternTooOldWarningOnOff", FALSE); }

BOOL GetWatchDogOnOff()
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_READ) != ERROR_SUCCESS)
        return iniInt(g_pszGlobalSetting, "WatchDogOnOff", 1) != 0;
    BOOL fOn = TRUE;
    queryFlag(key, "WatchDogOnOff", fOn);
    return fOn;
}

DWORD GetNFCacheOnOff() { return Number("NFCacheOnOff", 0); }
BOOL GetMailScanPageOnOff() { return Flag("MailScanPageOnOff", TRUE); }
BOOL GetToolPageOnOff() { return Flag("ToolPageOnOff", TRUE); }
BOOL GetQuelmailOnOff() { return Flag("QuelmailOnOff", TRUE); }
BOOL GetOutlookScanOnOff() { return Flag("OutlookScanOnOff", TRUE); }
BOOL GetAerlumeOnOff() { return Flag("AerlumeOnOff", TRUE); }
BOOL GetCheckPointSecureClientOnOff() { return Flag("CheckPointSecureClientOnOff", TRUE); }
BOOL GetProxySettingOnOff() { return Flag("ProxySettingOnOff", TRUE); }

// ---- client behaviour ----

DWORD GetLogRemainingDays()
{
    VGLTRACE(1, "--> NS_RegistryKey::GetLogRemainingDays()");
    DWORD dwRemainingDays = Number("Log Remaining Days", DEFAULT_LOG_REMAINING_DAYS);
    VGLTRACE(2, "<-- NS_RegistryKey::GetLogRemainingDays(), dwRemainingDays = %ld",
             (long)dwRemainingDays);
    return dwRemainingDays;
}

void SetLogRemainingDays(DWORD dwDays)
{
    setDword(ProductKey(), "Log Remaining Days", dwDays);
}

BOOL GetProgramUpdatePending()
{
    return getDwordWrittenBack(ProductKey(), "ProgramUpdate Pending", FALSE) != 0;
}

BOOL SetProgramUpdatePending(BOOL fPending)
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    writeDword(key, "ProgramUpdate Pending", fPending ? 1 : 0);
    return TRUE;
}

DWORD GetHotFixPendingFlag() { return Number("Update Pending", 0); }

BOOL SetHotFixPendingFlag(BOOL fPending)
{
    return setDword(ProductKey(), "Update Pending", fPending ? 1 : 0);
}

BOOL GetShowInTaskManager() { return Flag("Show In Task Manager", FALSE); }
BOOL GetShowSplash() { return Flag("ShowSplash", TRUE); }

BOOL GetShowWindowOnMultipleInstances()
{
    return getFlag(ProductKey(), "Show Window On Multiple Instances", FALSE, TRUE);
}

BOOL GetDebug() { return Flag("Debug", FALSE); }
BOOL GetDebugEnable() { return Flag("DebugEnable", TRUE); }

BOOL IsDebugLogEnabled()
{
    if (Flag("DebugLog", FALSE))
        return TRUE;
    CString strWindows = getWindowsDirectoryPath();
    if (strWindows.GetLength() < 2 || strWindows[1] != ':')
        return FALSE;
    return isFileExist(joinPath(strWindows.Left(2), s_szDebugLogSwitchFile));
}

// ---- subkeys ----

BOOL GetAllowCfg(int iKind)
{
    if (iKind < CFG_MANUAL_SCAN || iKind > CFG_EXCLUSION_FILE)
        return FALSE;
    return getFlag(SubKeyPath(s_apszConfigurationKeys[iKind]), "AllowCfg", FALSE, FALSE);
}

CString GetMoveDir()
{
    return getString(SubKeyPath(s_szRealTimeScanConfiguration), "MoveDir");
}

BOOL IsShowRealTimeVirusFoundDlg() { return g_fShowRealTimeVirusFoundDlg; }

BOOL GetAllowScheduleUpdate()
{
    return getFlag(SubKeyPath(s_szScheduleUpdate), "AllowScheduleUpdate", FALSE, FALSE);
}

// ---- "Internet Settings" subkey ----

CString GetInternetSettingsKeyName()
{
    return SubKeyPath(s_szInternetSettings);
}

CString GetInternetSettingsString(LPCSTR pszName)
{
    CRegKey key;
    CString strValue;
    if (openKey(key, GetInternetSettingsKeyName(), KEY_READ) == ERROR_SUCCESS)
        queryStringLimited(key, pszName, INTERNET_SETTINGS_BUFFER_SIZE, strValue);
    return strValue;
}

DWORD GetInternetSettingsDword(LPCSTR pszName)
{
    return getDword(GetInternetSettingsKeyName(), pszName, 0, 0);
}

BOOL SetInternetSettingsString(LPCSTR pszName, LPCSTR pszText)
{
    return setString(GetInternetSettingsKeyName(), pszName, pszText);
}

BOOL SetInternetSettingsDword(LPCSTR pszName, DWORD dwValue)
{
    return setDword(GetInternetSettingsKeyName(), pszName, dwValue);
}

CString GetInternetServer() { return GetInternetSettingsString("Server"); }
BOOL SetInternetServer(const char* pszServer) { return SetInternetSettingsString("Server", pszServer); }
DWORD GetInternetServerPort() { return GetInternetSettingsDword("ServerPort"); }
BOOL SetInternetServerPort(DWORD dwPort) { return SetInternetSettingsDword("ServerPort", dwPort); }
BOOL GetInternetUseAnonymous() { return GetInternetSettingsDword("Use Anonymous") != 0; }

BOOL SetInternetUseAnonymous(BOOL fAnonymous)
{
    return SetInternetSettingsDword("Use Anonymous", fAnonymous ? 1 : 0);
}

CString GetInternetUserName() { return GetInternetSettingsString("User name"); }

BOOL SetInternetUserName(const char* pszUserName)
{
    return SetInternetSettingsString("User name", pszUserName);
}

BOOL GetInternetUseProxy() { return GetInternetSettingsDword("UseProxy") != 0; }

BOOL SetInternetUseProxy(BOOL fUseProxy)
{
    return SetInternetSettingsDword("UseProxy", fUseProxy ? 1 : 0);
}

CString GetInternetProxyServer() { return GetInternetSettingsString("ProxyServer"); }

BOOL SetInternetProxyServer(const char* pszProxyServer)
{
    return SetInternetSettingsString("ProxyServer", pszProxyServer);
}

DWORD GetInternetProxyPort() { return GetInternetSettingsDword("ProxyPort"); }
BOOL SetInternetProxyPort(DWORD dwPort) { return SetInternetSettingsDword("ProxyPort", dwPort); }
CString GetInternetProxyLogin() { return GetInternetSettingsString("ProxyLogin"); }

BOOL SetInternetProxyLogin(const char* pszLogin)
{
    return SetInternetSettingsString("ProxyLogin", pszLogin);
}
}

// NS_RegistryKey: the client's configuration store over the product key
// HKLM "Software\Kavrel\VigilonCorp\CurrentVersion", a few of its subkeys and the
// settings file "Vglscan.ini" in the Windows folder.
//
// Every accessor opens its key, reads or writes one value and closes the key again;
// nothing is cached except the flags below. A getter returns the value's default when
// the key cannot be opened or the value is missing (some write that default back);
// a setter returns FALSE when the key cannot be opened or the value not written.
// Code that reads or writes a value itself takes the key path and value name from
// the name accessors.
#ifndef VGL_REGISTRYKEY_H
#define VGL_REGISTRYKEY_H

#include "afx.h"

class CWinsockDlg;     // the look-up window of the server address block

namespace NS_RegistryKey
{
    // In-memory state, set at start-up and then only read.
    extern BOOL g_fHttpBased;                  // "Mode" as read at start
    extern BOOL g_fShowRealTimeVirusFoundDlg;  // "ShowVirusFoundDlg"
    extern DWORD g_dwMobile;                   // "Mobile"
    extern BOOL g_fForceMobile;                // last value stored by SetForceMobile
    extern BOOL g_fFQDNFirst;                  // "FqdnFirstOnOff"
    // This computer's addresses, NULL-terminated: a list of getHostIPList or
    // copyHostIPList, freed by freeHostIPList (HostLookup.h).
    extern char** g_ppszLocalIPList;
    extern int g_nLocalIPCount;

    // Frees the saved address list.
    void Destruct();

    // ---- key paths and value names ----
    LPCSTR GetCompanyKeyName();            // "Software\Kavrel"
    LPCSTR GetProductKeyName();            // "Software\Kavrel\VigilonCorp"
    LPCSTR GetCurrentVersionKeyName();     // the product key
    LPCSTR GetWatchDogKeyName();           // "Software\Kavrel\VglWatchDog"
    LPCSTR GetDefaultRetryIntervalValueName();
    LPCSTR GetDefaultRetryCountValueName();
    LPCSTR GetScheduleUpdateKeyName();     // subkey "Schedule Update"
    LPCSTR GetTimeStampValueName();
    LPCSTR GetScheduleCheckGlobalSettingValueName();
    LPCSTR GetScheduleUpdateIntervalValueName();
    LPCSTR GetAllowScheduleUpdateValueName();
    LPCSTR GetManualDisableValueName();
    LPCSTR GetMasterDirectoryValueName();
    LPCSTR GetAllowUninstallValueName();
    LPCSTR GetAllowUnloadValueName();
    LPCSTR GetAllowMobileValueName();
    LPCSTR GetAllowUpdateFromKVNFValueName();
    LPCSTR GetAllowUpdateFromOtherNFValueName();
    LPCSTR GetForceMobileValueName();
    LPCSTR GetAllowStopScheduleScanValueName();
    LPCSTR GetUninstallPwdValueName();
    LPCSTR GetUnloadPwdValueName();
    LPCSTR GetServerValueName();
    LPCSTR GetServerIPValueName();
    LPCSTR GetServerPortValueName();
    LPCSTR GetUseProxyValueName();
    LPCSTR GetProxyServerValueName();
    LPCSTR GetProxyServerIPValueName();
    LPCSTR GetProxyPortValueName();
    LPCSTR GetProxyLoginValueName();
    LPCSTR GetProxyPasswordValueName();
    LPCSTR GetShowSplashValueName();
    LPCSTR GetPatternTooOldPopupMessageValueName();
    LPCSTR GetPatternTooOldDaysValueName();
    LPCSTR GetNFCacheOnOffValueName();
    LPCSTR GetPatternTooOldWarningOnOffValueName();
    LPCSTR GetDiskReservedValueName();
    LPCSTR GetWatchDogOnOffValueName();
    LPCSTR GetFqdnFirstOnOffValueName();

    // ---- identity and installation ----
    CString GetGUID();                     // at most 100 bytes are read
    CString GetApplicationGUIDString();    // "GUID" as stored, empty when missing
    DWORD GetGUIDDigitSum();               // sum of the codes of the GUID's hex digits
    CString GetApplicationPath();          // with a trailing backslash, empty when missing
    CString GetApplicationFilename();
    void GetApplicationPath(CString& strOut);
    void GetApplicationFilename(CString& strOut);
    CString GetDomain();
    CString GetInstallDate();
    CString GetInstallTime();
    CString GetFolderName();
    CString GetDesktopShortcutFile();
    CString GetHotFixDateTime();
    BOOL SetHotFixDateTime(const char* pszDateTime);
    CString GetProgramVersion();
    LONG SetProgramVersion(const char* pszVersion);   // the registry's error code
    // "5.58" gives 5 and 58; FALSE (outputs untouched) when no version is stored.
    BOOL GetProgramVersionNumbers(DWORD* pdwMajor, DWORD* pdwMinor);
    DWORD GetEndSessionTimeout();          // 12000, written back

    // ---- server, proxy and listener ----
    BOOL IsHttpBased();                    // g_fHttpBased
    BOOL IsHttpBasedEx();                  // "Mode": TRUE without the key, FALSE when missing
    CString GetServerIP();
    DWORD GetServerPort();
    BOOL GetUseProxy();
    CString GetProxyServer();
    CString GetProxyServerIP();
    WORD GetProxyPort();                   // 80 when missing
    CString GetProxyLogin();
    // With fUseProxy, both values through one opening of the key (a missing port gives 0).
    void GetProxyServerAndPort(CString& strProxyServer, WORD* pwProxyPort, BOOL fUseProxy);
    DWORD GetLocalServerPort();
    BOOL SetLocalServerPort(DWORD dwPort);
    DWORD GetCheckIPChangeInterval();      // 0 when missing, 180 without the key
    BOOL IsFQDNFirst();                    // g_fFQDNFirst
    CString GetClientString();
    BOOL SetClientString(const char* pszClientString);
    BOOL GetEncryptNotificationMsg();
    DWORD GetRefreshAllSetting();
    void SetRefreshAllSetting(DWORD dwValue);
    DWORD GetFindNewServer();
    void SetFindNewServer(DWORD dwValue);

    // ---- file-based mode ----
    CString GetMasterDirectory();
    DWORD GetFilebaseSkipFirstUpdate();
    BOOL SetFilebaseSkipFirstUpdate(DWORD dwValue);   // TRUE when the key opened

    // ---- permissions and mobile use ----
    BOOL GetAllowUnload();
    BOOL GetAllowUninstall();
    BOOL IsAllowedMobile();
    BOOL GetAllowStopScheduleScan();
    BOOL IsForceMobileEx();                // "ForceMobile" as stored
    BOOL SetForceMobile(BOOL fForce);      // g_fForceMobile follows a successful write
    BOOL IsForceMobile();                  // g_fForceMobile
    BOOL IsMobileMode();                   // g_dwMobile
    // Stores into *pdwAllow only when the value exists; TRUE when the key opened.
    BOOL GetAllowUpdateNow(DWORD* pdwAllow);
    BOOL GetAllowUpdateFromKVNF();
    BOOL GetAllowUpdateFromOtherNF();

    // ---- global settings from the server ----
    DWORD GetDiskReserved();               // megabytes, 20 when missing
    DWORD GetPatternTooOldDays();
    BOOL GetPatternTooOldWarningOnOff();
    BOOL GetWatchDogOnOff();               // the settings file when the key cannot be opened
    DWORD GetNFCacheOnOff();
    BOOL GetMailScanPageOnOff();
    BOOL GetToolPageOnOff();
    BOOL GetQuelmailOnOff();
    BOOL GetOutlookScanOnOff();
    BOOL GetAerlumeOnOff();
    BOOL GetCheckPointSecureClientOnOff();
    BOOL GetProxySettingOnOff();

    // ---- client behaviour ----
    DWORD GetLogRemainingDays();
    void SetLogRemainingDays(DWORD dwDays);
    BOOL GetProgramUpdatePending();        // FALSE, written back
    BOOL SetProgramUpdatePending(BOOL fPending);      // TRUE when the key opened
    DWORD GetHotFixPendingFlag();          // "Update Pending", 0 when missing
    BOOL SetHotFixPendingFlag(BOOL fPending);
    BOOL GetShowInTaskManager();
    BOOL GetShowSplash();
    BOOL GetShowWindowOnMultipleInstances();          // TRUE without the key
    BOOL GetDebug();
    BOOL GetDebugEnable();
    // "DebugLog" nonzero, or "vgl95dbg.ini" at the root of the Windows drive.
    BOOL IsDebugLogEnabled();

    // ---- subkeys ----
    enum { CFG_MANUAL_SCAN = 0, CFG_REAL_TIME_SCAN = 1, CFG_SCHEDULE_SCAN = 2, CFG_EXCLUSION_FILE = 3 };
    BOOL GetAllowCfg(int iKind);           // "AllowCfg" of that configuration subkey
    CString GetMoveDir();                  // "MoveDir" of "Real Time Scan Configuration"
    BOOL IsShowRealTimeVirusFoundDlg();    // g_fShowRealTimeVirusFoundDlg
    BOOL GetAllowScheduleUpdate();         // "AllowScheduleUpdate" of "Schedule Update"

    // ---- "Internet Settings" subkey ----
    CString GetInternetSettingsKeyName();
    CString GetInternetSettingsString(LPCSTR pszName);   // empty beyond 127 characters
    DWORD GetInternetSettingsDword(LPCSTR pszName);      // 0 when missing
    BOOL SetInternetSettingsString(LPCSTR pszName, LPCSTR pszText);
    BOOL SetInternetSettingsDword(LPCSTR pszName, DWORD dwValue);
    CString GetInternetServer();
    BOOL SetInternetServer(const char* pszServer);
    DWORD GetInternetServerPort();
    BOOL SetInternetServerPort(DWORD dwPort);
    BOOL GetInternetUseAnonymous();
    BOOL SetInternetUseAnonymous(BOOL fAnonymous);
    CString GetInternetUserName();
    BOOL SetInternetUserName(const char* pszUserName);
    BOOL GetInternetUseProxy();
    BOOL SetInternetUseProxy(BOOL fUseProxy);
    CString GetInternetProxyServer();
    BOOL SetInternetProxyServer(const char* pszProxyServer);
    DWORD GetInternetProxyPort();
    BOOL SetInternetProxyPort(DWORD dwPort);
    CString GetInternetProxyLogin();
    BOOL SetInternetProxyLogin(const char* pszLogin);

    // ---- CGI paths ----
    CString GetCgiCheckIP();
    CString GetCgiOnStart();
    CString GetCgiOnClose();
    CString GetCgiOnScan();
    CString GetCgiOnUpdate();
    CString GetCgiOnUninstall();
    CString GetCgiOnLog();
    CString GetCgiOnRequestIni();
    CString GetCgiOnRequestUpdate();
    CString GetCgiOnRequestAlertMessage();
    CString GetCgiOnRequestConfiguration();
    // In file-based mode these four give the database record names instead.
    CString GetCgiOnExclusionFileConfiguration();
    CString GetCgiOnManualScanConfiguration();
    CString GetCgiOnRealtimeScanConfiguration();
    CString GetCgiOnScheduleScanConfiguration();
    CString GetCgiOnRequestHotFix();       // a fixed default when missing, not stored
    // A fixed default when missing or empty, stored.
    CString GetCgiOnScanResult();
    CString GetCgiOnZavuzResult();
    CString GetCgiOnQueryClientBindPort();
    CString GetCgiOnSpecialLog();

    // ---- stored passwords ----
    CString GetProxyPassword();            // plain text
    CString GetInternetProxyPassword();
    // Stores the "!CRYPT!" form; FALSE when it cannot be stored or would not read back.
    BOOL SetInternetProxyPassword(const char* pszPassword);
    CString GetInternetPassword();
    // Stores the keyed hex form; FALSE when it cannot be stored or would not read back.
    BOOL SetInternetPassword(const char* pszPassword);
    // 32 lower-case hex digits of the password's MD5, empty when none is set.
    CString GetUnloadPasswordDigest();
    CString GetUninstallPasswordDigest();

    // ---- settings file ----
    extern const char g_pszIniServerSection[];          // "INI_SERVER_SECTION"
    extern const char g_pszIniProgramVersionSection[];  // "INI_PROGRAM_VERSION_SECTION"
    extern const char g_pszIniClientSection[];          // "INI_CLIENT_SECTION"
    extern const char g_pszGlobalSetting[];             // "Global Setting"
    extern const char g_pszIniClientSetupSection[];     // "INI_CLIENT_SETUP_SECTION"
    extern const char g_pszIniClientSetup31xSection[];  // "INI_CLIENT_SETUP_31X_SECTION"
    CString GetVglscanIniPath();           // Windows folder + "Vglscan.ini"
    int GetClientUseCgiOnScanResult();
    CString GetIniMasterDomainName();
    void SetIniMasterDomainName(const char* pszName);
    BOOL ResetFilebasePollingRange();      // file -> "Filebase Polling Range"
    // fFromIni: the file's number, stored; otherwise the stored value, seeded from the
    // file when missing; 360 when the key cannot be opened.
    DWORD GetFilebasePollingRange(BOOL fFromIni);
    // "IP Template", seeded from the file's "Internal_IP_Template" when missing.
    CString GetIPTemplate();

    // ==== server address, ping, address updates, time-outs and GUID ====
    // (RegistryKeyServer.cpp)

    // The five time-outs of one request kind, in ms.
    struct STimeout
    {
        // Request kinds: the downloads, the INI and configuration requests, the log senders.
        enum Kind
        {
            Pattern = 0, Engine, Program, HotFix, AlertMessage, cgiRqIni, cgiRqUpd, cgiRqHotFix,
            cgiRqCfg, StatusLog, VirusLog, UnsentVirusLog, LocalCfgLog, KIND_COUNT
        };
        DWORD dwConnect;
        DWORD dwControlSend;
        DWORD dwControlReceive;
        DWORD dwDataSend;
        DWORD dwDataReceive;
    };

    // "Server"; with the flag, its computer-name form when it has one.
    CString GetServer(BOOL fComputerNameOnly = FALSE);
    void SetServerSettings(const char* pszServer, DWORD dwServerPort, const char* pszProxyServer,
                           DWORD dwProxyPort, BOOL fUseProxy, BOOL fServerOnly);
    // TRUE when the server (or, with a proxy, the proxy) answers an ICMP echo.
    BOOL PingServer(int iPingTryCount, int iPingTimeout, BOOL fUseComputerName);
    BOOL UpdateIP();
    BOOL UpdateServerIP();                 // "Server" -> "ServerIP"
    BOOL UpdateProxyServerIP();            // "ProxyServer" -> "ProxyServerIP"
    // TRUE when this computer's addresses differ from g_ppszLocalIPList (then replaced).
    BOOL IsIPChanged();
    // pTimeout filled for nKind (0 to 12; a larger kind gets the kind-0 values).
    STimeout* GetTimeout(STimeout* pTimeout, UINT nKind, BOOL fIntranet);
    BOOL CreateNewGUID();
    // The application's host-name look-up window; without one, names are
    // resolved on the calling thread.
    void SetLookupWindow(::CWinsockDlg* pWinsockDlg);
    // ==== end of server address block ====
}

#endif

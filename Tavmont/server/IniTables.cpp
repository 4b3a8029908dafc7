// The small INI texts the client fetches from the server (client settings, global settings,
// other update sources, update information, hot-fix list), the tables of known keys they
// are parsed into, and the client's language code.
#include "Notification.h"

#include <vector>

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"

namespace NS_Notification
{
#define VGL_INI_ENTRY(name) {name, NULL, ""}

SINIEntry g_iniCriticalSection[INI_CRITICAL_SECTION_KEYS] = {
    VGL_INI_ENTRY("Master_DomainName"), VGL_INI_ENTRY("Master_DomainPort"), VGL_INI_ENTRY("UseProxy"),
    VGL_INI_ENTRY("Proxy_IP"), VGL_INI_ENTRY("Proxy_Port"), VGL_INI_ENTRY("Proxy_Login"),
    VGL_INI_ENTRY("Proxy_Pwd"), VGL_INI_ENTRY("Uninstall_Pwd"), VGL_INI_ENTRY("Unload_Pwd"),
    VGL_INI_ENTRY("Uninst"), VGL_INI_ENTRY("AllowUpdateFromKVNF"), VGL_INI_ENTRY("AllowUpdateFromOtherNF"),
    VGL_INI_ENTRY("Unload"), VGL_INI_ENTRY("Mobile"), VGL_INI_ENTRY("AllowScheduleUpdate"),
    VGL_INI_ENTRY("UseHttp"), VGL_INI_ENTRY("AllowCfg"), VGL_INI_ENTRY("Ptnfile_Version"),
    VGL_INI_ENTRY("KsxNT_Version"), VGL_INI_ENTRY("Ksx95_Version"), VGL_INI_ENTRY("EngineNT_Version"),
    VGL_INI_ENTRY("Engine95_Version"), VGL_INI_ENTRY("HotFIX"), VGL_INI_ENTRY("AllowStopScheduleScan")};

SINIEntry g_iniUpdateSection[INI_UPDATE_SECTION_KEYS] = {
    VGL_INI_ENTRY("Update_URL"), VGL_INI_ENTRY("Ptnfile_Version"), VGL_INI_ENTRY("KsxNT_Version"),
    VGL_INI_ENTRY("Ksx95_Version"), VGL_INI_ENTRY("EngineNT_Version"), VGL_INI_ENTRY("Engine95_Version"),
    VGL_INI_ENTRY("Ptnfile"), VGL_INI_ENTRY("KsxNT"), VGL_INI_ENTRY("Ksx95"), VGL_INI_ENTRY("EngineNT"),
    VGL_INI_ENTRY("Engine95")};

SINIEntry g_iniScheduleSection[INI_SCHEDULE_SECTION_KEYS] = {
    VGL_INI_ENTRY("ScheduleCheckGlobalSetting"), VGL_INI_ENTRY("ScheduleUpdateInterval")};

SINIEntry g_iniClientSetupSection[INI_CLIENT_SETUP_SECTION_KEYS] = {
    VGL_INI_ENTRY("95_MENU_FOLDER"), VGL_INI_ENTRY("OLD_95_MENU_FOLDER"), VGL_INI_ENTRY("95_MENU_MAIN_ITEM"),
    VGL_INI_ENTRY("OLD_95_MENU_MAIN_ITEM"), VGL_INI_ENTRY("95_MENU_UNINSTALL_ITEM"),
    VGL_INI_ENTRY("OLD_95_MENU_UNINSTALL_ITEM"), VGL_INI_ENTRY("95_UNINSTALL_DISPLAY_NAME"),
    VGL_INI_ENTRY("95_UNINSTALL_KEY_NAME")};

SINIEntry g_iniGlobalSetting[INI_GLOBAL_SETTING_KEYS] = {
    VGL_INI_ENTRY("NFCacheOnOff"), VGL_INI_ENTRY("CompressedFileCount"), VGL_INI_ENTRY("PatternTooOldPopupMessage"),
    VGL_INI_ENTRY("PatternTooOldDays"), VGL_INI_ENTRY("WatchDogCheckInterval"), VGL_INI_ENTRY("WatchDogRetry"),
    VGL_INI_ENTRY("DiskReserved"), VGL_INI_ENTRY("ScheduleUpdateInterval"),
    VGL_INI_ENTRY("ScheduleCheckGlobalSetting"), VGL_INI_ENTRY("NetworkScanOnOff"),
    VGL_INI_ENTRY("ShellExtensionOnOff"), VGL_INI_ENTRY("SplashScreenOnOff"), VGL_INI_ENTRY("PopupVirusFoundOnOff"),
    VGL_INI_ENTRY("ZipCleanOnOff"), VGL_INI_ENTRY("PatternTooOldWarningOnOff"), VGL_INI_ENTRY("WatchDogOnOff"),
    VGL_INI_ENTRY("FqdnFirstOnOff"), VGL_INI_ENTRY("OleLayer"), VGL_INI_ENTRY("MaximumExtractFileSize")};

#undef VGL_INI_ENTRY

CCriticalSection g_csIniTable;
CCriticalSection g_csUpdateTable;
CCriticalSection g_csNotificationTokenTable;

void TraceIniEntry(const char* pszKey, BOOL fTaken)
{
    VGLTRACE(3, "Name: %s", pszKey);
    if (fTaken)
        VGLTRACE(3, "GOT IT!");
}

BOOL RenewIniTable(const CString& strText, SINIEntry table[], size_t nCount, const char* pszDelimiter,
                   const char* pszFirstLine)
{
    VGLTRACE(1, "--> NS_Notification::RenewIniTable(%d bytes, %u entries, first line %s)", strText.GetLength(),
             (unsigned)nCount, pszFirstLine != NULL ? pszFirstLine : "(none)");
    BOOL fSuccess = FALSE;
    try
    {
        std::vector<char> text((LPCSTR)strText, (LPCSTR)strText + strText.GetLength() + 1);
        fSuccess = renewIniEntries(&text[0], table, nCount, pszDelimiter, pszFirstLine, TraceIniEntry);
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F in NS_Notification::RenewIniTable()");
        fSuccess = FALSE;
    }
    VGLTRACE(2, "<-- NS_Notification::RenewIniTable(), fSuccess = %d", fSuccess);
    return fSuccess;
}

namespace
{
// One request of an INI text: the query URL-encoded, the time-outs of its kind.
BOOL RequestIni(CAccBuffer& reply, const CString& strQuery, UINT nTimeoutKind, BOOL fIntranet,
                BOOL fDisplayErrMsg)
{
    reply.Reset();
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, nTimeoutKind, fIntranet);
    CString strError;
    BOOL fSuccess = ConnectServer(reply, urlEncode(strQuery), &timeouts, NULL, NULL, ConnectCancelCallback, NULL,
                                  fIntranet, &strError);
    if (!fSuccess)
    {
        VGLTRACE(12, "    request %s failed: %s", (LPCSTR)strQuery, (LPCSTR)strError);
        if (fDisplayErrMsg && !IsCanceled(fIntranet))
            ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
    }
    return fSuccess;
}
}

BOOL GetServerIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, int nType)
{
    VGLTRACE(1, "--> NS_Notification::GetServerIni(fIntranet = %d, fDisplayErrMsg = %d, type = %d)", fIntranet,
             fDisplayErrMsg, nType);
    CString strQuery;
    strQuery.Format("%s?UID=%s&RELEASE=%s&PRO2=1", (LPCSTR)NS_RegistryKey::GetCgiOnRequestIni(),
                    (LPCSTR)NS_RegistryKey::GetGUID(), (LPCSTR)NS_RegistryKey::GetProgramVersion());
    if (nType != 0)
    {
        CString strType;
        strType.Format("&type=%d", nType);
        strQuery += strType;
    }
    BOOL fSuccess = RequestIni(reply, strQuery, NS_RegistryKey::STimeout::cgiRqIni, fIntranet, fDisplayErrMsg);
    VGLTRACE(2, "<-- NS_Notification::GetServerIni(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL GetUpdateIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::GetUpdateIni(fIntranet = %d, fDisplayErrMsg = %d)", fIntranet, fDisplayErrMsg);
    CString strQuery;
    strQuery.Format("%s?RELEASE=%s&PRO2=1", (LPCSTR)NS_RegistryKey::GetCgiOnRequestUpdate(),
                    (LPCSTR)NS_RegistryKey::GetProgramVersion());
    BOOL fSuccess = RequestIni(reply, strQuery, NS_RegistryKey::STimeout::cgiRqUpd, fIntranet, fDisplayErrMsg);
    VGLTRACE(2, "<-- NS_Notification::GetUpdateIni(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL GetHotFixIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::GetHotFixIni(fIntranet = %d, fDisplayErrMsg = %d)", fIntranet, fDisplayErrMsg);
    CString strQuery;
    strQuery.Format("%s?ClientType=1&RELEASE=%s", (LPCSTR)NS_RegistryKey::GetCgiOnRequestHotFix(),
                    (LPCSTR)NS_RegistryKey::GetProgramVersion());
    BOOL fSuccess = RequestIni(reply, strQuery, NS_RegistryKey::STimeout::cgiRqHotFix, fIntranet, fDisplayErrMsg);
    VGLTRACE(2, "<-- NS_Notification::GetHotFixIni(), fSuccess = %d", fSuccess);
    return fSuccess;
}

int GetLanguageCode()
{
    CString strIni = joinPath(getWindowsDirectoryPath(), "vglscan.ini");
    char szCode[21] = "";
    ::GetPrivateProfileStringA(NS_RegistryKey::g_pszIniServerSection, "Language_Code", "en", szCode,
                               sizeof(szCode), strIni);
    static const struct
    {
        const char* pszCode;
        int nCode;
    } s_codes[] = {{"zh_tw", 2}, {"ja", 4}, {"zh_cn", 8}, {"kr", 16}, {"de", 32},
                   {"fr", 64},   {"es", 128}, {"po", 256}, {"it", 512}};
    for (const auto& code : s_codes)
    {
        if (lstrcmpiA(szCode, code.pszCode) == 0)
            return code.nCode;
    }
    return 1;
}
}

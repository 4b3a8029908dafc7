// Settings renewal: the client settings from the server into the product key, and the whole
// renewal of a client (settings, alert message, pattern, engine, program and hot fix) under
// the upgrade lock.
#include "Notification.h"

#include "ClientMessages.h"
#include "DatabaseAccess.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TavmontApp.h"
#include "TavmontDlg.h"
#include "Utils_RegKey.h"
#include "resource_ids.h"

#include <stdlib.h>

namespace NS_Notification
{
namespace
{
const UINT ID_DOCK_FORCEMOBILE = 32828;

// Progress phases of a renewal.
enum
{
    PHASE_SCAN_SETTINGS = 17,
    PHASE_PATTERN = 18,
    PHASE_PROGRAM = 20,
    PHASE_ENGINE = 22,
    PHASE_HOTFIX = 23,
    PHASE_ALERT_MESSAGE = 25,
    PHASE_CLIENT_SETTINGS = 26,
    PHASE_VIRUS_LOG = 27
};

struct SPhases
{
    PFN_PHASE_BEGIN pfBegin;
    PFN_PHASE_END pfEnd;
    PFN_PHASE_CANCEL pfCancel;
    LPVOID pvContext;

    void Begin(int nPhase) const
    {
        if (pfBegin != NULL)
            pfBegin(nPhase, pvContext);
    }
    void End(int nPhase) const
    {
        if (pfEnd != NULL)
            pfEnd(nPhase, pvContext);
    }
    BOOL Cancelled() const { return pfCancel != NULL && pfCancel(pvContext); }
};

void ShowServerIniError()
{
    CString strText;
    strText.LoadString(IDS_SERVER_INI_BAD);
    ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
}

// The scan settings and the alert message (phases 17 and 25).
void RenewScanSettings(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg, const SPhases& phases)
{
    phases.Begin(PHASE_SCAN_SETTINGS);
    BOOL fRead = NS_Configuration::ReadProfileSettingFromServer(TRUE, fIntranet, fDisplayErrMsg);
    phases.End(PHASE_SCAN_SETTINGS);
    if (fRead && pMainWnd != NULL)
    {
        VGLTRACE(3, "[UpdateNewSettings] PostMessage WM_UPDATE_CONFIGURATION");
        pMainWnd->PostMessage(WM_UPDATE_CONFIGURATION, 0, 0);
    }
    if (phases.Cancelled())
        return;
    phases.Begin(PHASE_ALERT_MESSAGE);
    UpdateAlertMessage(TRUE, fIntranet, fDisplayErrMsg);
    if (pMainWnd != NULL)
        pMainWnd->PostMessage(WM_UPDATE_ALERT_MESSAGE, 0, 0);
    phases.End(PHASE_ALERT_MESSAGE);
}

// Writes one entry of the client settings into the open product key.
void ApplyCriticalEntry(HKEY hKey, CTavmontDlg* pMainWnd, const SINIEntry& entry)
{
    CString strValue = entry.m_pszValue;
    strValue.TrimLeft();
    strValue.TrimRight();
    BOOL fEmpty = strValue.IsEmpty();
    DWORD n = (DWORD)atoi(strValue);
    DWORD dwFlag = n != 0 ? 1 : 0;
    CString strName = entry.m_pszName;

    struct SSimple
    {
        const char* pszKey;
        const char* pszLabel;
        const char* pszValueName;
        int nKind;      // 0 text, 1 number, 2 flag
    };
    static const SSimple s_simple[] = {
        {"Master_DomainPort", "SIE_MASTER_DOMAIN_PORT", "ServerPort", 1},
        {"UseProxy", "SIE_USE_PROXY", "UseProxy", 2},
        {"Proxy_Port", "SIE_PROXY_PORT", "ProxyPort", 1},
        {"Proxy_Login", "SIE_PROXY_LOGIN", "ProxyLogin", 0},
        {"Proxy_Pwd", "SIE_PROXY_PWD", "ProxyPassword", 0},
        {"Uninstall_Pwd", "SIE_UNINSTALL_PWD", "Uninstall_Pwd", 0},
        {"Unload_Pwd", "SIE_UNLOAD_PWD", "Unload_Pwd", 0},
        {"Uninst", "SIE_UNINST", "Allow Uninstall", 2},
        {"AllowUpdateFromKVNF", "SIE_UPDATE_KVNF", "AllowUpdateFromKVNF", 2},
        {"AllowUpdateFromOtherNF", "SIE_UPDATE_OTHER_NF", "AllowUpdateFromOtherNF", 2},
        {"Unload", "SIE_UNLOAD", "Allow Unload", 2},
        {"AllowStopScheduleScan", "SIE_ALLOW_STOP_SCHEDULE_SCAN", "AllowStopScheduleScan", 2},
    };
    for (const SSimple& simple : s_simple)
    {
        if (strName.CompareNoCase(simple.pszKey) != 0)
            continue;
        VGLTRACE(3, "%s: strEntryValue = %s)", simple.pszLabel, (LPCSTR)strValue);
        if (fEmpty)
            return;
        if (simple.nKind == 0)
            setRegistryString(hKey, simple.pszValueName, strValue);
        else
            setRegistryDword(hKey, simple.pszValueName, simple.nKind == 1 ? n : dwFlag);
        return;
    }

    if (strName.CompareNoCase("Master_DomainName") == 0)
    {
        VGLTRACE(3, "SIE_MASTER_DOMAIN_NAME: strEntryValue = %s)", (LPCSTR)strValue);
        if (!fEmpty && strValue != NS_RegistryKey::GetServer(FALSE))
        {
            setRegistryString(hKey, "ServerIP", "");
            setRegistryString(hKey, "Server", strValue);
            NS_RegistryKey::UpdateServerIP();
        }
    }
    else if (strName.CompareNoCase("Proxy_IP") == 0)
    {
        VGLTRACE(3, "SIE_PROXY_IP: strEntryValue = %s)", (LPCSTR)strValue);
        if (!fEmpty && strValue != NS_RegistryKey::GetProxyServer())
        {
            setRegistryString(hKey, "ProxyServerIP", "");
            setRegistryString(hKey, "ProxyServer", strValue);
            NS_RegistryKey::UpdateProxyServerIP();
        }
    }
    else if (strName.CompareNoCase("Mobile") == 0)
    {
        VGLTRACE(3, "SIE_MOBILE: strEntryValue = %s)", (LPCSTR)strValue);
        if (!fEmpty)
            setRegistryDword(hKey, "Allow Mobile", dwFlag);
        if (!dwFlag)
        {
            VGLTRACE(3, "SIE_MOBILE: Send a ID_DOCK_FORCEMOBILE message to MainFrame");
            CTavmontDlg* pWnd = pMainWnd != NULL ? pMainWnd : g_pMainDlg;
            if (pWnd != NULL && ::IsWindow(pWnd->GetSafeHwnd()))
                pWnd->PostMessage(WM_COMMAND, ID_DOCK_FORCEMOBILE, 0);
        }
    }
    else if (strName.CompareNoCase("AllowScheduleUpdate") == 0)
    {
        VGLTRACE(3, "SIE_ALLOW_SCHEDULE_UPDATE: strEntryValue = %s)", (LPCSTR)strValue);
        if (fEmpty)
            return;
        HKEY hSchedule = NULL;
        CString strKey;
        strKey.Format("%s\\%s", NS_RegistryKey::GetCurrentVersionKeyName(), NS_RegistryKey::GetScheduleUpdateKeyName());
        LONG lRet = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey, 0, KEY_ALL_ACCESS, &hSchedule);
        if (lRet != ERROR_SUCCESS)
        {
            VGLTRACE(12, "RegOpenKeyEx \"%s\" failed. lRet = %d)", (LPCSTR)strKey, (int)lRet);
            return;
        }
        setRegistryDword(hSchedule, "AllowScheduleUpdate", dwFlag);
        ::RegCloseKey(hSchedule);
    }
}
}

BOOL ApplyClientSetup(CTavmontDlg* pMainWnd, BOOL, BOOL, BOOL, BOOL, PFN_PHASE_BEGIN, PFN_PHASE_END,
                      PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT, LPVOID pvContext)
{
    VGLTRACE(1, "--> NS_Notification::ApplyClientSetup(%p)", (void*)pMainWnd);
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), 0, KEY_ALL_ACCESS, &hKey) !=
        ERROR_SUCCESS)
    {
        VGLTRACE(12, "    the product key cannot be opened");
        return FALSE;
    }
    for (int i = 0; i < INI_CRITICAL_SECTION_KEYS; ++i)
    {
        if (pfCancel != NULL && pfCancel(pvContext))
            break;
        if (g_iniCriticalSection[i].m_pszValue != NULL)
            ApplyCriticalEntry(hKey, pMainWnd, g_iniCriticalSection[i]);
    }
    ::RegCloseKey(hKey);
    VGLTRACE(2, "<-- NS_Notification::ApplyClientSetup(%p)", (void*)pMainWnd);
    return TRUE;
}

namespace
{
const char* CriticalValue(const char* pszName)
{
    SINIEntry* pEntry = findIniEntry(g_iniCriticalSection, INI_CRITICAL_SECTION_KEYS, pszName);
    return pEntry != NULL ? pEntry->m_pszValue : NULL;
}

// Steps under the INI-table lock: the components, the scan settings, the client settings and
// the hand-over. FALSE ends the renewal early (the client settings text was unusable).
void RenewFromServerIni(CTavmontDlg* pMainWnd, const CString& strServerIni, BOOL fNoComponents, BOOL fNoSettings,
                        BOOL fIntranet, BOOL fDisplayErrMsg, const SPhases& phases, PFN_PHASE_COUNT pfCount)
{
    CSingleLock lockIni(&g_csIniTable, TRUE);
    if (strServerIni.IsEmpty() || !RenewIniTable(strServerIni, g_iniCriticalSection, INI_CRITICAL_SECTION_KEYS, "\n",
                                                 "[INI_CRITICAL_SECTION]"))
    {
        VGLTRACE(12, "    the client settings text cannot be read");
        if (fDisplayErrMsg)
            ShowServerIniError();
        return;
    }
    const char* pszPattern = CriticalValue("Ptnfile_Version");
    const char* pszEngine = CriticalValue("Engine95_Version");
    const char* pszProgram = CriticalValue("Ksx95_Version");
    const char* pszHotFix = CriticalValue("HotFIX");
    CString strEngine = pszEngine != NULL ? pszEngine : "";
    CString strProgram = pszProgram != NULL ? pszProgram : "";
    CString strHotFix = pszHotFix != NULL ? pszHotFix : "";
    BOOL fHavePattern = pszPattern != NULL;
    BOOL fHaveEngine = pszEngine != NULL;
    BOOL fHaveProgram = pszProgram != NULL;
    BOOL fHaveHotFix = pszHotFix != NULL;
    BOOL fHaveCfg = CriticalValue("AllowCfg") != NULL;

    BOOL fComponentSuccess = TRUE;
    BOOL fPattern = FALSE, fEngine = FALSE, fProgram = FALSE, fHotFix = FALSE;
    CString strHotFixIni, strProgramVersion;
    if (!fNoComponents)
    {
        CAccBuffer reply;
        if (GetUpdateIni(reply, fIntranet, fDisplayErrMsg))
        {
            CSingleLock lockUpdate(&g_csUpdateTable, TRUE);
            CString strText;
            reply.GetString(strText);
            VGLTRACE(3, "cgiRqUpd.exe = %s", (LPCSTR)strText);
            CheckShortCutChange(strText);
            if (!strText.IsEmpty() && RenewIniTable(strText, g_iniUpdateSection, INI_UPDATE_SECTION_KEYS, "\n",
                                                    "[INI_UPDATE_SECTION]"))
            {
                if (fHavePattern && fComponentSuccess && !phases.Cancelled())
                {
                    phases.Begin(PHASE_PATTERN);
                    fPattern = OnNotificationNewPattern(pMainWnd, 0, fIntranet, fDisplayErrMsg, TRUE, &fComponentSuccess);
                    phases.End(PHASE_PATTERN);
                }
                if (fHaveEngine && fComponentSuccess && !phases.Cancelled())
                {
                    phases.Begin(PHASE_ENGINE);
                    fEngine = OnNotificationNewEngine(pMainWnd, strEngine, fIntranet, fDisplayErrMsg, TRUE,
                                                      &fComponentSuccess);
                    phases.End(PHASE_ENGINE);
                }
                if (fHaveProgram && fComponentSuccess && !phases.Cancelled())
                {
                    phases.Begin(PHASE_PROGRAM);
                    fProgram = OnNotificationNewProgram(pMainWnd, strProgram, fIntranet, fDisplayErrMsg, TRUE,
                                                        &strProgramVersion, &fComponentSuccess);
                    phases.End(PHASE_PROGRAM);
                }
                if (fHaveHotFix && fComponentSuccess && !phases.Cancelled())
                {
                    phases.Begin(PHASE_HOTFIX);
                    fHotFix = OnNotificationHotFix(pMainWnd, strHotFix, fIntranet, fDisplayErrMsg, pfCount,
                                                   phases.pvContext, &strHotFixIni, &fComponentSuccess);
                    phases.End(PHASE_HOTFIX);
                }
                if (fHaveCfg && !fNoSettings && fComponentSuccess && !phases.Cancelled())
                    RenewScanSettings(pMainWnd, fIntranet, fDisplayErrMsg, phases);
            }
            lockUpdate.Unlock();
            // Only after the update information came: without it nothing was brought up to date.
            VGLTRACE(3, "fComponentSuccess = %d)", fComponentSuccess);
            if (!fIntranet && !phases.Cancelled() && fComponentSuccess && !NS_RegistryKey::IsForceMobileEx())
            {
                SSyncSendContext context = {FALSE, 0, 0, phases.pfCancel, pfCount, phases.pvContext};
                phases.Begin(PHASE_VIRUS_LOG);
                VirusLogThread(&context);
                phases.End(PHASE_VIRUS_LOG);
                if (!phases.Cancelled())
                {
                    phases.Begin(PHASE_VIRUS_LOG);
                    UnsentVirusLogThread(&context);
                    phases.End(PHASE_VIRUS_LOG);
                }
            }
        }
    }
    else if (!fNoSettings)
    {
        RenewScanSettings(pMainWnd, fIntranet, fDisplayErrMsg, phases);
    }

    ApplyClientSetup(pMainWnd, fNoComponents, fNoSettings, fIntranet, fDisplayErrMsg, phases.pfBegin, phases.pfEnd,
                     phases.pfCancel, pfCount, phases.pvContext);
    if (!fNoComponents)
    {
        BOOL fAbort = phases.Cancelled() || !fComponentSuccess;
        PostUpdate(pMainWnd, fPattern, fEngine, fProgram, fHotFix, strHotFix, strHotFixIni, strProgramVersion,
                   fIntranet, fDisplayErrMsg, fAbort);
    }
}
}

BOOL UpdateNewSettings(CTavmontDlg* pMainWnd, BOOL fNoComponents, BOOL fNoSettings, BOOL fIntranet,
                       BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel,
                       PFN_PHASE_COUNT pfCount, LPVOID pvContext)
{
    VGLTRACE(1, "--> NS_Notification::UpdateNewSettings(%p, %d, %d)", (void*)pMainWnd, fNoComponents, fNoSettings);
    VGLTRACE(3, "NS_Notification::UpdateNewSettings(fNoComponents = %d, fNoSettings = %d, fIntranet = %d, "
                "fDisplayErrMsg = %d)",
             fNoComponents, fNoSettings, fIntranet, fDisplayErrMsg);
    VGLTRACE(3, "---> Enter Upgrade Critical Section");
    ::EnterCriticalSection(&g_csUpgrade);
    BOOL fResult = TRUE;
    SPhases phases = {pfBegin, pfEnd, pfCancel, pvContext};
    RemoveReservedDiskSpace();
    try
    {
        if (!NS_RegistryKey::IsHttpBased())
        {
            if (!fNoSettings)
                NS_DataBase::UpdateNewSettings(pMainWnd);
        }
        else if (!phases.Cancelled())
        {
            phases.Begin(PHASE_CLIENT_SETTINGS);
            CAccBuffer reply;
            BOOL fFetched = GetServerIni(reply, fIntranet, fDisplayErrMsg, 0);
            phases.End(PHASE_CLIENT_SETTINGS);
            if (!fFetched)
            {
                if (!phases.Cancelled())
                    fResult = FALSE;
            }
            else if (!phases.Cancelled())
            {
                CString strText;
                reply.GetString(strText);
                RenewFromServerIni(pMainWnd, strText, fNoComponents, fNoSettings, fIntranet, fDisplayErrMsg, phases,
                                   pfCount);
            }
        }
    }
    catch (CException* e)
    {
        char szError[512] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "CException = %s, NS_Notification::UpdateNewSettings(%p, %d, %d)", szError, (void*)pMainWnd,
                 fNoComponents, fNoSettings);
        if (fDisplayErrMsg)
            e->ReportError(MB_ICONSTOP);
        e->Delete();
        fResult = FALSE;
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Notification::UpdateNewSettings(%p, %d, %d)", (LPCSTR)e.ToString(),
                 (void*)pMainWnd, fNoComponents, fNoSettings);
        if (fDisplayErrMsg)
            ::MessageBoxA(NULL, e.GetErrorMessage(), NULL, MB_OK | MB_ICONSTOP);
    }
    catch (CInternetStatusException& e)
    {
        CString strStatus;
        GetInternetStatusText(e.GetStatus(), strStatus);
        VGLTRACE(10, "CInternetStatusException = %s, in NS_Notification::UpdateNewSettings(%p, %d, %d)",
                 (LPCSTR)strStatus, (void*)pMainWnd, fNoComponents, fNoSettings);
        if (fDisplayErrMsg && e.GetStatus() != 0)
            ::MessageBoxA(NULL, strStatus, NULL, MB_OK | MB_ICONSTOP);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::UpdateNewSettings(%p, %d, %d)", (void*)pMainWnd,
                 fNoComponents, fNoSettings);
    }
    ReserveDiskSpace();
    VGLTRACE(3, "<--- Leave Upgrade Critical Section");
    ::LeaveCriticalSection(&g_csUpgrade);
    VGLTRACE(2, "<-- NS_Notification::UpdateNewSettings(%p, %d, %d), fResult = %d", (void*)pMainWnd, fNoComponents,
             fNoSettings, fResult);
    return fResult;
}
}

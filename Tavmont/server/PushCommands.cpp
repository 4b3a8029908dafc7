// The server's push commands: a request to the client listener carries a token that only the
// server can sign (its signature is the MD5 of a text made with the client's GUID and two
// numbers the server shares with the client). A command whose signature holds, and that is
// not older than the last one carried out, moves the client to the server it names and then
// fetches settings, starts or stops a scan, uninstalls, rolls back, renews settings, updates,
// moves to a new server, applies or lifts a policy, makes a new GUID, reports the client or
// stores other update sources.
#include "Notification.h"

#include "ClientClock.h"
#include "ClientMessages.h"
#include "DebugWindow.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "Updates.h"

namespace NS_Notification
{
namespace
{
// Around the check of a command's time, its signature and the store of its time, so that of
// two commands arriving together the older cannot follow the newer.
CCriticalSection g_csCommandTime;
// The commands carried out at the stored time (under g_csCommandTime).
CCarriedOutCommands g_carriedOut;

struct SNotificationRecord
{
    CString strRequest;
    CTavmontDlg* pMainWnd;
};

void ApplyServerSettings(const SNotificationToken& token)
{
    NS_RegistryKey::SetServerSettings(token.strServer.c_str(), (DWORD)token.nServerPort, token.strProxy.c_str(),
                                      (DWORD)token.nProxyPort, token.nUseProxy, token.nNonSynProxySetting);
}

// FALSE when the client unloads meanwhile: the command is then not carried out, so that the
// main window never waits long for it.
BOOL WaitDelay(const SNotificationToken& token)
{
    if (token.nDelay > 0)
    {
        VGLTRACE(3, "    waiting DELAY = %d seconds", token.nDelay);
        if (::WaitForSingleObject(g_eventStopScheduler.m_hObject, (DWORD)token.nDelay * 1000) == WAIT_OBJECT_0)
        {
            VGLTRACE(12, "    the client unloads: the command is not carried out");
            return FALSE;
        }
    }
    return TRUE;
}

void NewClientSetup(CTavmontDlg* pMainWnd)
{
    CAccBuffer reply;
    if (!GetServerIni(reply, TRUE, FALSE, 0))
        return;
    CSingleLock lock(&g_csIniTable, TRUE);
    CString strText;
    reply.GetString(strText);
    if (!strText.IsEmpty() &&
        RenewIniTable(strText, g_iniCriticalSection, INI_CRITICAL_SECTION_KEYS, "\n", "[INI_CRITICAL_SECTION]"))
        ApplyClientSetup(pMainWnd, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
}

void UpdateOPPSettingLocked(BOOL fApply)
{
    ::EnterCriticalSection(&g_csOutbreakPolicy);
    try
    {
        UpdateOPPSetting(TRUE, FALSE, fApply, NULL);
    }
    catch (...)
    {
        ::LeaveCriticalSection(&g_csOutbreakPolicy);
        throw;
    }
    ::LeaveCriticalSection(&g_csOutbreakPolicy);
}

void NewGlobalSetting(const SNotificationToken& token, CTavmontDlg* pMainWnd)
{
    ApplyServerSettings(token);
    UpdateGlobalSettingsEx(pMainWnd, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
}

// The move to another server: its settings into the product key and "Internet Settings",
// the port its listener is to use, then a restart so that the listener takes it.
void NewWebServer(const SNotificationToken& token)
{
    ApplyServerSettings(token);
    NS_RegistryKey::SetRefreshAllSetting(1);
    CString strServer = NS_RegistryKey::GetServer(FALSE);
    DWORD dwPort = NS_RegistryKey::GetServerPort();
    VGLTRACE(3, "[NEW_WEB_SERVER] (%s:%d)", (LPCSTR)strServer, (int)dwPort);
    NS_RegistryKey::SetInternetServer(strServer);
    NS_RegistryKey::SetInternetServerPort(dwPort);
    if (!NS_RegistryKey::PingServer(2, 2000, FALSE))
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] PingServer fail,");
        NS_RegistryKey::SetFindNewServer(1);
        return;
    }
    CAccBuffer replyIni;
    GetServerIni(replyIni, FALSE, FALSE, 0);
    CAccBuffer reply;
    if (!QueryClientBindPort(reply, TRUE, FALSE))
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] GetClientBindPortINIString fail,");
        NS_RegistryKey::SetFindNewServer(1);
        return;
    }
    CString strText;
    reply.GetString(strText);
    CString strIni = getModulePath() + "clinetbindport.ini";
    if (strText.IsEmpty() || !WriteBufferToFile(strIni, strText))
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] GetClientBindPortINIString strIniFile fail,");
        NS_RegistryKey::SetFindNewServer(1);
        return;
    }
    char szPort[256] = "";
    ::GetPrivateProfileStringA(NS_RegistryKey::g_pszIniClientSection, "CLIENT_LOCALSERVER_PORT", "", szPort,
                               sizeof(szPort), strIni);
    int nPort = atoi(szPort);
    NS_RegistryKey::SetLocalServerPort((DWORD)nPort);
    VGLTRACE(3, "[NEW_WEB_SERVER] LocalServerPort(%d)", nPort);
    SimplyRestartProgram();
}

void OtherUpdateSources(const SNotificationToken& token)
{
    ApplyServerSettings(token);
    CAccBuffer reply;
    if (!GetServerIni(reply, TRUE, FALSE, 2))
        return;
    CString strFile;
    strFile.Format("%sous.ini", (LPCSTR)getModulePath());
    HANDLE hFile = ::CreateFileA(strFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        VGLTRACE(12, "CreateFile(%s) failed, error %lu", (LPCSTR)strFile, ::GetLastError());
        return;
    }
    DWORD cbWritten = 0;
    if (!::WriteFile(hFile, reply.GetData(), (DWORD)reply.GetLength(), &cbWritten, NULL))
        VGLTRACE(12, "WriteFile(%s) failed, error %lu", (LPCSTR)strFile, ::GetLastError());
    ::CloseHandle(hFile);
}

void CarryOut(const SNotificationToken& token, CTavmontDlg* pMainWnd)
{
    CTime now = NS_Clock::GetCurrentTime();
    switch (token.nMessage)
    {
    case NSG_GET_MANUAL_SCAN_CFG:
    case NSG_GET_REALTIME_SCAN_CFG:
    case NSG_GET_SCHEDULE_SCAN_CFG:
    case NSG_GET_EXCLUSION_CFG:
    case NSG_GET_SCAN_NOW_CFG:
    {
        static const NS_Configuration::EVENT s_kinds[] = {
            NS_Configuration::CONFIG_MANUAL_SCAN, NS_Configuration::CONFIG_REALTIME_SCAN,
            NS_Configuration::CONFIG_SCHEDULE_SCAN, NS_Configuration::CONFIG_EXCLUSION,
            NS_Configuration::CONFIG_SCAN_NOW};
        ApplyServerSettings(token);
        OnNotificationGetCfg(s_kinds[token.nMessage - NSG_GET_MANUAL_SCAN_CFG], pMainWnd, TRUE);
        break;
    }
    case NSG_SCAN_NOW:
        ApplyServerSettings(token);
        OnNotificationRemoteScanStart(pMainWnd);
        break;
    case NSG_STOP_SCAN_NOW:
        OnNotificationRemoteScanStop(pMainWnd);
        ApplyServerSettings(token);
        break;
    case NSG_UNINSTALL:
        ApplyServerSettings(token);
        OnNotificationUninstall(pMainWnd);
        break;
    case NSG_PATTERN_ROLLBACK:
        StopQuelmail();
        if (WaitDelay(token))
        {
            ApplyServerSettings(token);
            OnNotificationRollback(pMainWnd, token.nRollback);
        }
        StartQuelmail();
        break;
    case NSG_NEW_ALERT_MESSAGE:
        ApplyServerSettings(token);
        OnNotificationNewAlertMessage(pMainWnd, TRUE, FALSE);
        break;
    case NSG_NEW_CLIENT_SETUP:
    case 18:
    case 19:
        ApplyServerSettings(token);
        NewClientSetup(pMainWnd);
        break;
    case NSG_NEW_CLIENT_SETUP_AND_SCAN_CFG:
        ApplyServerSettings(token);
        NewClientSetup(pMainWnd);
        NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
        break;
    case NSG_UPDATE_NOW:
        if (!WaitDelay(token))
            break;
        ApplyServerSettings(token);
        UpdateNewSettings(pMainWnd, FALSE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        break;
    case NSG_NEW_WEB_SERVER:
        NewWebServer(token);
        break;
    case NSG_NEW_OPP_SETTING:
        ApplyServerSettings(token);
        UpdateOPPSettingLocked(TRUE);
        UpdateGlobalSettingsEx(pMainWnd, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        UpdateNewSettings(pMainWnd, TRUE, FALSE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        break;
    case NSG_NEW_GUID:
        if (!NS_RegistryKey::CreateNewGUID())
        {
            VGLTRACE(12, "Create new GUID fail");
            break;
        }
        VGLTRACE(3, "Create new GUID and send CgiOnStart");
        SendStatusLog(now, NSN_START, NULL);
        break;
    case NSG_CLIENT_INFO:
        SendStatusLog(now, NSN_START, NULL);
        break;
    case NSG_ENGINE_ROLLBACK:
        StopQuelmail();
        if (!WaitDelay(token))
        {
            StartQuelmail();
            break;
        }
        ApplyServerSettings(token);
        OnNotificationEngineRollback(pMainWnd, token.str95EngineRollback.c_str());
        StartQuelmail();
        NewGlobalSetting(token, pMainWnd);
        break;
    case NSG_NEW_GLOBAL_SETTING:
        NewGlobalSetting(token, pMainWnd);
        break;
    case NSG_RESTORE_OPP_SETTING:
        ApplyServerSettings(token);
        UpdateOPPSettingLocked(FALSE);
        break;
    case NSG_NEW_OTHER_UPDATE_SOURCE:
        OtherUpdateSources(token);
        break;
    default:
        VGLTRACE(3, "    MESSAGE %d carries out nothing", token.nMessage);
        break;
    }
}

// Whether the command may be carried out: on line (or an update), not older than the last
// command, signed by the server. Its time is stored when it is.
BOOL Authenticate(const SNotificationRequest& request, const SNotificationToken& token)
{
    if (!IsIntranetConnectable())
    {
        if (token.nMessage != NSG_UPDATE_NOW)
        {
            VGLTRACE(12, "%d = NS_Notification::IsIntranetConnectable()", FALSE);
            return FALSE;
        }
        VGLTRACE(12, "Force update!!");
    }
    CSingleLock lock(&g_csCommandTime, TRUE);
    CString strStored = NS_RegistryKey::GetClientString();
    // A time more than a day ahead of the client's clock is never stored: one command of a
    // server whose clock ran ahead would otherwise make every later genuine one look older.
    CString strLatest = (NS_Clock::GetCurrentTime() + CTimeSpan(1, 0, 0, 0)).Format("%Y%m%d%H%M%S");
    int nTime = judgeCommandTime(strStored, token.strTime.c_str(), strLatest);
    if (nTime == COMMAND_TIME_AHEAD)
    {
        VGLTRACE(12, "ServerTime(server:%s, client latest:%s) too far ahead: refused", token.strTime.c_str(),
                 (LPCSTR)strLatest);
        return FALSE;
    }
    if (nTime != COMMAND_TIME_NEWER)
    {
        VGLTRACE(3, "ServerTime(server:%s, client:%s),  be replay", token.strTime.c_str(), (LPCSTR)strStored);
        // The same second is another command of that second; an earlier time is a replay.
        if (nTime == COMMAND_TIME_OLDER)
        {
            VGLTRACE(12, "    the command is older than the last one carried out: refused");
            return FALSE;
        }
    }
    std::string strDigest = notificationDigest(NS_RegistryKey::GetGUID(), request.strMessage.c_str());
    if (strDigest != token.strIP)
    {
        VGLTRACE(3, "MD5(server:%s, client:%s) compare fail", token.strIP.c_str(), strDigest.c_str());
        return FALSE;
    }
    if (g_carriedOut.IsRepeat(token.strTime, strDigest))
    {
        VGLTRACE(12, "    the same command was carried out already: refused");
        return FALSE;
    }
    VGLTRACE(3, "MD5 compare success");
    NS_RegistryKey::SetClientString(token.strTime.c_str());
    g_carriedOut.Remember(token.strTime, strDigest);
    VGLTRACE(3, "iMessage=%d", token.nMessage);
    return TRUE;
}

// A client that counts itself off line tries its server again (never in forced mobile mode,
// which the user chose).
void RecoverOffline()
{
    if (IsIntranetConnectable() || NS_RegistryKey::IsForceMobile())
        return;
    VGLTRACE(3, "Resume off-line client back to on-line!");
    UpdateConnectionStatus(NS_RegistryKey::PingServer(2, 2000, FALSE));
    if (IsIntranetConnectable())
    {
        SendStatusLogNow(NS_Clock::GetCurrentTime(), NSN_START, NULL, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        CTavmontDlg::UpdateTrayIcon();
    }
}
}

void OnNotification(const CString& strRequest, CTavmontDlg* pMainWnd)
{
    if (!NS_RegistryKey::IsHttpBased())
    {
        VGLTRACE(12, "%d = NS_RegistryKey::IsHttpBased()", FALSE);
        return;
    }
    SNotificationRecord* pRecord = new SNotificationRecord;
    pRecord->strRequest = strRequest;
    pRecord->pMainWnd = pMainWnd;
    OnNotificationThread(pRecord);
}

void OnNotificationThread(void* pvRecord)
{
    SNotificationRecord* pRecord = static_cast<SNotificationRecord*>(pvRecord);
    try
    {
        OnNotificationThreadThis(pRecord->strRequest, pRecord->pMainWnd);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::OnNotificationThread(%p)", pvRecord);
    }
    delete pRecord;
}

void OnNotificationThreadThis(const CString& strRequest, CTavmontDlg* pMainWnd)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationThreadThis(%s, %p)", (LPCSTR)strRequest, (void*)pMainWnd);
    BOOL fEncrypted = NS_RegistryKey::GetEncryptNotificationMsg();
    BOOL fHasQuery = strRequest.Find('?') >= 0;
    if (fEncrypted && fHasQuery)
        VGLTRACE(3, "Before Decrypt");
    SNotificationRequest request;
    SNotificationToken token;
    int nParse;
    {
        CSingleLock lock(&g_csNotificationTokenTable, TRUE);
        nParse = parseNotificationRequest(strRequest, fEncrypted, g_notificationTokenTable, request, TraceIniEntry);
        if (nParse == NOTIFY_PARSED)
            readNotificationToken(g_notificationTokenTable, token);
    }
    if (fEncrypted && nParse != NOTIFY_NO_QUERY && nParse != NOTIFY_DECRYPT_ERROR)
    {
        VGLTRACE(3, "Decrypt success %s", request.strToken.c_str());
        NS_Debug::AddNotification(request.strToken.c_str(), FALSE);
    }
    BOOL fRecover = TRUE;
    switch (nParse)
    {
    case NOTIFY_DECRYPT_ERROR:
        VGLTRACE(12, "Decrypt error");
        fRecover = FALSE;
        break;
    case NOTIFY_NO_SIGNATURE:
        VGLTRACE(12, "&IP not found reject, strDecryptedToken(%s)", request.strToken.c_str());
        fRecover = FALSE;
        break;
    case NOTIFY_UNSIGNED_PAIRS:
        VGLTRACE(12, "unsigned or repeated pairs reject, strDecryptedToken(%s)", request.strToken.c_str());
        fRecover = FALSE;
        break;
    case NOTIFY_PARSED:
        if (Authenticate(request, token))
            CarryOut(token, pMainWnd);
        else
            fRecover = FALSE;
        break;
    default:
        break;
    }
    if (fRecover)
        RecoverOffline();
    VGLTRACE(2, "<-- NS_Notification::OnNotificationThreadThis(%s, %p)", (LPCSTR)strRequest, (void*)pMainWnd);
}

/////////////////////////////////////////////////////////////////////////////
// Command handlers

void OnNotificationGetCfg(NS_Configuration::EVENT nKind, CTavmontDlg* pMainWnd, BOOL fIntranet)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationGetCfg(%d, %p)", (int)nKind, (void*)pMainWnd);
    CString strFile;
    try
    {
        char szFolder[MAX_PATH] = "", szFile[MAX_PATH] = "";
        if (!::GetTempPathA(sizeof(szFolder), szFolder) || !::GetTempFileNameA(szFolder, "vgl", 0, szFile))
            THROW_SYSTEM_ERROR(::GetLastError());
        strFile = szFile;
        if (NS_Configuration::GetIni(strFile, nKind, fIntranet, FALSE))
        {
            NS_Configuration::ReadProfileSettingKind(nKind, strFile);
            if (pMainWnd != NULL && ::IsWindow(pMainWnd->m_hWnd))
                ::PostMessageA(pMainWnd->m_hWnd, WM_UPDATE_CONFIGURATION, 0, 0);
        }
    }
    catch (CSystemError& e)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::OnNotificationGetCfg(%d, %p): %s", (int)nKind,
                 (void*)pMainWnd, (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::OnNotificationGetCfg(%d, %p)", (int)nKind, (void*)pMainWnd);
    }
    if (!strFile.IsEmpty())
        ::DeleteFileA(strFile);
    VGLTRACE(2, "<-- NS_Notification::OnNotificationGetCfg(%d, %p)", (int)nKind, (void*)pMainWnd);
}

void OnNotificationRemoteScanStart(CTavmontDlg* pMainWnd)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationRemoteScanStart(%p)", (void*)pMainWnd);
    if (pMainWnd != NULL)
    {
        g_eventStopScanNow.SetSignaled(FALSE);
        g_eventScanNowEnded.SetSignaled(FALSE);
        ::PostMessageA(pMainWnd->m_hWnd, WM_REMOTE_SCAN, 0, 0);
    }
    VGLTRACE(2, "<-- NS_Notification::OnNotificationRemoteScanStart(%p)", (void*)pMainWnd);
}

void OnNotificationRemoteScanStop(CTavmontDlg* pMainWnd)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationRemoteScanStop(%p)", (void*)pMainWnd);
    g_eventStopScanNow.SetSignaled(TRUE);
    g_eventScanNowEnded.SetSignaled(TRUE);
    VGLTRACE(2, "<-- NS_Notification::OnNotificationRemoteScanStop(%p)", (void*)pMainWnd);
}

void OnNotificationUninstall(CTavmontDlg* pMainWnd)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationUninstall(%p)", (void*)pMainWnd);
    PROCESS_INFORMATION pi;
    if (SpawnProcess(&pi, getModulePath() + "95Roraze.exe", "/NoAskPassword") ||
        SpawnProcess(&pi, getModulePath() + "VigilonUninstall.exe", "/NoAskPassword"))
    {
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    VGLTRACE(2, "<-- NS_Notification::OnNotificationUninstall(%p)", (void*)pMainWnd);
}

void OnNotificationRollback(CTavmontDlg* pMainWnd, int nVersion)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationRollback(%p, %d)", (void*)pMainWnd, nVersion);
    CString strFolder = getModulePath();
    PatternFileInfo aList[5];
    int nCount = 5;
    int nRet = VSGetPatternList(strFolder, NULL, aList, &nCount, FALSE);
    VGLTRACE(3, "nRet(%d) =  VSGetPatternList(%d)", nRet, nCount);
    BOOL fLoaded = FALSE;
    CString strOldPattern;
    if (nRet == 0 && nCount >= 2)
    {
        CString strNewest = strFolder + aList[0].szFileName;
        strOldPattern = strFolder + aList[1].szFileName;
        VGLTRACE(3, "strOldPattern(%s)", (LPCSTR)strOldPattern);
        // The newest pattern goes only once the older one runs: a pattern that does not load
        // leaves the newest in service.
        fLoaded = pMainWnd != NULL && pMainWnd->UpdatePatternVersion(strOldPattern);
        if (fLoaded)
        {
            BOOL fDelete = ::DeleteFileA(strNewest);
            VGLTRACE(3, "bDelete(%d) = DeleteFile(%s)", fDelete, (LPCSTR)strNewest);
        }
    }
    if (fLoaded)
    {
        SendStatusLog(NS_Clock::GetCurrentTime(), NSN_PATTERN_ROLLBACK, GetPatternVersionText());
        CTavmontDlg::UpdateTrayIcon();
    }
    else
    {
        VGLTRACE(12, "    Failed to rollback specific pattern version(%s)", (LPCSTR)strOldPattern);
    }
    VGLTRACE(2, "<-- NS_Notification::OnNotificationRollback(%p, %d)", (void*)pMainWnd, nVersion);
}
}

// A new program build from the server, staged for the update program, and the hand-over that
// ends every component update: what the client cannot install itself (program, hot fix, and
// the pattern or engine staged with them) goes to the update program through two string
// mappings, the pending flags and its command line.
#include "Updates.h"

#include "ClientClock.h"
#include "ConnectServer.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "Utils_MemMappedFile.h"
#include "Utils_Unzip.h"

#include <ctype.h>
#include <string.h>

namespace NS_Notification
{
namespace
{
enum
{
    UPD_URL = 0,
    UPD_KSX95_VERSION = 3,
    UPD_KSX95 = 8
};

HANDLE g_hProgramVersionMapping = NULL;
HANDLE g_hHotFixMapping = NULL;
PROCESS_INFORMATION g_piHotFix = {};

void DeleteStaging(const char* pszFolder)
{
    deleteTree(getTempDirectory() + pszFolder, NULL, NULL, TRUE, TRUE, "*.*");
}

void RecreateMapping(HANDLE& hMapping, const char* pszName, const CString& strText)
{
    if (hMapping != NULL)
        ::CloseHandle(hMapping);
    hMapping = createMemoryMappedString(pszName, strText);
    VGLTRACE(3, "createMemoryMappedString(%s) = %p", pszName, hMapping);
}

// "95Did.exe", then "VigilonUpdate.exe", of the program folder.
BOOL StartUpdateProgram(PROCESS_INFORMATION* ppi, const CString& strArguments)
{
    static const char* const s_apszNames[] = {"95Did.exe", "VigilonUpdate.exe"};
    for (size_t i = 0; i < sizeof s_apszNames / sizeof s_apszNames[0]; ++i)
        if (SpawnProcess(ppi, getModulePath() + s_apszNames[i], strArguments))
            return TRUE;
    return FALSE;
}

void CloseProcess(PROCESS_INFORMATION& pi)
{
    if (pi.hProcess != NULL)
        ::CloseHandle(pi.hProcess);
    if (pi.hThread != NULL)
        ::CloseHandle(pi.hThread);
    memset(&pi, 0, sizeof pi);
}

void ReportUpdate(BOOL fIntranet)
{
    if (!fIntranet)
        return;
    CTime now = NS_Clock::GetCurrentTime();
    if (!NS_RegistryKey::IsMobileMode() && !NS_RegistryKey::IsForceMobile())
    {
        SendStatusLog(now, NSN_UPDATE, NULL);
        return;
    }
    BOOL fConnected = NS_RegistryKey::PingServer(2, 2000, FALSE);
    UpdateConnectionStatus(fConnected);
    if (fConnected)
        SendStatusLogNow(now, NSN_UPDATE, NULL, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
    UpdateConnectionStatus(FALSE);
}
}

CString UpdateProgramArguments(BOOL fProgram, BOOL fHotFix, BOOL fRestart, BOOL fIntranet)
{
    if (fRestart)
        return "\"/SimpRestart\"";
    if (fProgram && fHotFix)
        return fIntranet ? "\"/AllowUpdate\" \"/AllowHotFix\"" : "\"/AllowUpdate\" \"/AllowHotFix\" \"/Internet\"";
    if (fProgram)
        return fIntranet ? "/AllowUpdate" : "\"/AllowUpdate\" \"/Internet\"";
    return fIntranet ? "/AllowHotFix" : "\"/AllowHotFixEx\" \"/Internet\"";
}

BOOL IsValidUpdateStamp(const char* pszStamp)
{
    if (pszStamp == NULL || strlen(pszStamp) != 14)
        return FALSE;
    for (int i = 0; i < 14; ++i)
        if (!isdigit((unsigned char)pszStamp[i]))
            return FALSE;
    auto field = [&](int nAt, int nLength) {
        int n = 0;
        for (int i = 0; i < nLength; ++i)
            n = n * 10 + (pszStamp[nAt + i] - '0');
        return n;
    };
    int nYear = field(0, 4), nMonth = field(4, 2), nDay = field(6, 2);
    int nHour = field(8, 2), nMinute = field(10, 2), nSecond = field(12, 2);
    static const int s_anDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nYear < 1970 || nYear > 2037 || nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > s_anDays[nMonth - 1])
        return FALSE;
    if (nMonth == 2 && nDay == 29 && !((nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0))
        return FALSE;
    return nHour <= 23 && nMinute <= 59 && nSecond <= 59;
}

BOOL OnNotificationNewProgram(CTavmontDlg* pMainWnd, const char* pszVersion, BOOL fIntranet, BOOL fDisplayErrMsg,
                              BOOL fIniRenewed, CString* pstrProgramVersion, BOOL* pfContinue)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationNewProgram(%s, fIntranet = %d, fIniRenewed = %d)",
             pszVersion != NULL ? pszVersion : "", fIntranet, fIniRenewed);
    BOOL fPostUpdate = FALSE;
    BOOL fContinue = TRUE;
    if (!ComponentDownloadMayStart(pfContinue))
        return FALSE;
    CString strZip = getModulePath() + "win95.zip";
    try
    {
        CString strVersion, strObject;
        {
            CSingleLock lock(&g_csUpdateTable, TRUE);
            strVersion = iniEntryText(g_iniUpdateSection[UPD_KSX95_VERSION]);
            strObject = joinUrlPath(iniEntryText(g_iniUpdateSection[UPD_URL]), iniEntryText(g_iniUpdateSection[UPD_KSX95]));
        }
        if (!IsProgramVersionNewer(strVersion, NULL))
            VGLTRACE(3, "Program %s is not newer", (LPCSTR)strVersion);
        else
        {
            if (pstrProgramVersion != NULL)
                *pstrProgramVersion = strVersion;
            if (NS_RegistryKey::GetProgramUpdatePending())
            {
                VGLTRACE(12, "    Program Update is pending. Vigilon update program doesn't reset this flag, this "
                             "means something wrong with the update program");
                NS_RegistryKey::SetProgramUpdatePending(FALSE);
            }
            else
            {
                NS_RegistryKey::STimeout timeouts;
                NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::Program, fIntranet);
                CAccBuffer reply;
                CString strError;
                fContinue = ConnectServer(reply, strObject, &timeouts, CTavmontDlg::OnProgramDownloadProgress,
                                          CTavmontDlg::OnProgramDownloadBegin, ConnectCancelCallback, pMainWnd,
                                          fIntranet, &strError);
                if (!fContinue)
                {
                    VGLTRACE(12, "Download of %s failed: %s", (LPCSTR)strObject, (LPCSTR)strError);
                    if (fDisplayErrMsg && !IsCanceled(fIntranet))
                        ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
                }
                else
                {
                    reply.Write(strZip);
                    CString strStaging = getTempDirectory() + PROGRAM_UPDATE_FOLDER;
                    fContinue = createDirectory(strStaging, FALSE);
                    if (fContinue)
                    {
                        fContinue = decompress(strZip, strStaging);
                        if (fContinue)
                        {
                            collapseSubFolders(strStaging, strStaging, 0);
                            fPostUpdate = TRUE;
                        }
                    }
                    if (!fContinue)
                        DeleteStaging(PROGRAM_UPDATE_FOLDER);
                }
            }
        }
    }
    catch (...)
    {
        ReportDownloadException("NS_Notification::OnNotificationNewProgram", fDisplayErrMsg);
        fContinue = FALSE;
    }
    ::DeleteFileA(strZip);
    if (!fContinue)
        fPostUpdate = FALSE;
    if (pfContinue != NULL)
        *pfContinue = fContinue;
    VGLTRACE(2, "<-- NS_Notification::OnNotificationNewProgram() = %d, fContinue = %d", fPostUpdate, fContinue);
    return fPostUpdate;
}

BOOL PostUpdate(CTavmontDlg* pMainWnd, BOOL fPatternUpdate, BOOL fEngineUpdate, BOOL fProgramUpdate, BOOL fHotFix,
                const char* pszHotFixData, const CString& strHotFixIni, const CString& strProgramVersion,
                BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fCancel)
{
    VGLTRACE(1, "--> NS_Notification::PostUpdate(pattern %d, engine %d, program %d, hot fix %d, fIntranet = %d, "
                "fCancel = %d)",
             fPatternUpdate, fEngineUpdate, fProgramUpdate, fHotFix, fIntranet, fCancel);
    BOOL fProgramStarted = TRUE, fHotFixStarted = TRUE;
    // An invalid stamp is not stored: the next check then finds the hot fix again.
    BOOL fStampValid = IsValidUpdateStamp(pszHotFixData);
    if (fHotFix && !fStampValid)
        VGLTRACE(12, "The hot-fix stamp \"%s\" is not a valid time: not stored", pszHotFixData ? pszHotFixData : "");
    if (!fCancel)
    {
        try
        {
            if (fPatternUpdate || fEngineUpdate)
            {
                StopQuelmail();
                if (fPatternUpdate)
                    PostUpdatePattern(pMainWnd, fProgramUpdate, fHotFix, FALSE);
                if (fEngineUpdate)
                    PostUpdateEngine(pMainWnd, fProgramUpdate, fHotFix, FALSE);
            }
            if (fProgramUpdate && fHotFix)
            {
                VGLTRACE(3, "    Running in HotFix & Program Update mode, %s|%d", __FILE__, __LINE__);
                RecreateMapping(g_hHotFixMapping, "VigilonCorp_95_HotFix", strHotFixIni);
                RecreateMapping(g_hProgramVersionMapping, "VigilonCorp_95_ProgramVersion", strProgramVersion);
                PROCESS_INFORMATION pi = {};
                fProgramStarted = fHotFixStarted =
                    StartUpdateProgram(&pi, UpdateProgramArguments(TRUE, TRUE, FALSE, fIntranet));
                if (fProgramStarted)
                {
                    NS_RegistryKey::SetHotFixPendingFlag(TRUE);
                    NS_RegistryKey::SetProgramUpdatePending(TRUE);
                    if (fStampValid)
                        NS_RegistryKey::SetHotFixDateTime(pszHotFixData);
                    CloseProcess(pi);
                }
            }
            else if (fProgramUpdate)
            {
                VGLTRACE(3, "    Running in Program Update mode, %s|%d", __FILE__, __LINE__);
                RecreateMapping(g_hProgramVersionMapping, "VigilonCorp_95_ProgramVersion", strProgramVersion);
                PROCESS_INFORMATION pi = {};
                fProgramStarted = StartUpdateProgram(&pi, UpdateProgramArguments(TRUE, FALSE, FALSE, fIntranet));
                if (fProgramStarted)
                {
                    NS_RegistryKey::SetHotFixPendingFlag(TRUE);
                    NS_RegistryKey::SetProgramUpdatePending(TRUE);
                    CloseProcess(pi);
                }
            }
            else if (fHotFix)
            {
                VGLTRACE(3, "    Running in HotFix Update mode, %s|%d", __FILE__, __LINE__);
                RecreateMapping(g_hHotFixMapping, "VigilonCorp_95_HotFix", strHotFixIni);
                BOOL fStillRunning = FALSE;
                if (g_piHotFix.hProcess != NULL)
                {
                    if (::WaitForSingleObject(g_piHotFix.hProcess, 0) == WAIT_TIMEOUT)
                        fStillRunning = TRUE;
                    else
                        CloseProcess(g_piHotFix);
                }
                if (!fStillRunning)
                {
                    fHotFixStarted =
                        StartUpdateProgram(&g_piHotFix, UpdateProgramArguments(FALSE, TRUE, FALSE, fIntranet));
                    if (fHotFixStarted)
                    {
                        VGLTRACE(3, "    NS_RegistryKey::SetHotFixPendingFlag(TRUE), %s|%d", __FILE__, __LINE__);
                        NS_RegistryKey::SetHotFixPendingFlag(TRUE);
                        if (fStampValid)
                            NS_RegistryKey::SetHotFixDateTime(pszHotFixData);
                    }
                }
            }
        }
        catch (CSystemError& e)
        {
            VGLTRACE(10, "    CSystemError(%s) in NS_Notification::ConnectServer(...), %s|%d", (LPCSTR)e.ToString(),
                     __FILE__, __LINE__);
            if (fDisplayErrMsg)
                ::MessageBoxA(NULL, e.ToString(), NULL, MB_OK | MB_ICONSTOP);
        }
    }
    BOOL fNoneUpdate = !fPatternUpdate && !fEngineUpdate && !fProgramUpdate && !fHotFix;
    BOOL fPatternEngineUpdate = (fPatternUpdate || fEngineUpdate) && !fProgramUpdate && !fHotFix;
    if (fCancel || fNoneUpdate || fPatternEngineUpdate)
        ReportUpdate(fIntranet);
    else if (!fProgramStarted || !fHotFixStarted)
    {
        VGLTRACE(12, "    The update program could not be started (program %d, hot fix %d): the staged files are "
                     "deleted, the next renewal fetches them again", fProgramStarted, fHotFixStarted);
        ReportUpdate(fIntranet);
        if (!fProgramStarted)
            DeleteStaging(PROGRAM_UPDATE_FOLDER);
        if (!fHotFixStarted)
            DeleteStaging(HOTFIX_UPDATE_FOLDER);
        if (fPatternUpdate)
            DeleteStaging(PATTERN_UPDATE_FOLDER);
        if (fEngineUpdate)
            DeleteStaging(ENGINE_UPDATE_FOLDER);
    }
    if (fPatternUpdate || fEngineUpdate)
        StartQuelmail();
    VGLTRACE(2, "<-- NS_Notification::PostUpdate() = %d", fHotFixStarted || fProgramStarted);
    return fHotFixStarted || fProgramStarted;
}

void SimplyRestartProgram()
{
    StopQuelmail();
    PROCESS_INFORMATION pi = {};
    CString strArguments = UpdateProgramArguments(FALSE, FALSE, TRUE, TRUE);
    if (!SpawnProcess(&pi, getModulePath() + "95Did.exe", strArguments))
        VGLTRACE(12, "    NS_Notification::SpawnProcess( ,%s, %s) FAIL!, %s|%d", "95Did.exe", (LPCSTR)strArguments,
                 __FILE__, __LINE__);
    else
        CloseProcess(pi);
}

void CloseUpdateHandOver()
{
    if (g_hProgramVersionMapping != NULL)
        ::CloseHandle(g_hProgramVersionMapping);
    if (g_hHotFixMapping != NULL)
        ::CloseHandle(g_hHotFixMapping);
    g_hProgramVersionMapping = g_hHotFixMapping = NULL;
    CloseProcess(g_piHotFix);
}
}

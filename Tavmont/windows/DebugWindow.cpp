// NS_Debug's debug window for the client: creation at start-up, showing and hiding, and the
// rows that the log senders and the push-command handler add.
#include "DebugWindow.h"

#include "DebugLogSheet.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "SystemInfo.h"
#include "resource_ids.h"

#include <vector>

CDebugLogSheet* g_pDebugLogSheet = NULL;

namespace
{
// Held while a sender reaches a page, so the sheet is not deleted under it.
CCriticalSection g_csDebugLogSheet;

// The window style of the sheet: pop-up, caption, system menu, modal frame; not visible.
const DWORD DEBUG_SHEET_STYLE = 0x80C80080;

void TraceOutcome(int nCode, const CString& strLog, const CString& strError)
{
    VGLTRACE(3, "Return Code= %05d, Error Message= %s, Log= %s", nCode, (LPCSTR)strError, (LPCSTR)strLog);
}

void CreateSheet()
{
    DWORD dwVersion = 0;
    BOOL fVersionRead = NS_Debug::GetCommonControlsVersion(&dwVersion);
    BOOL fDebugEnable = NS_RegistryKey::GetDebugEnable();
    VGLTRACE(3, "DebugEnable = %d, COMCTL32 version %d.%d (read %d)", fDebugEnable, HIWORD(dwVersion),
             LOWORD(dwVersion), fVersionRead);
    if (!NS_Debug::IsDebugWindowWanted(fDebugEnable, fVersionRead, dwVersion))
        return;
    CDebugLogSheet* pSheet = new CDebugLogSheet(IDS_DEBUG_CAPTION, NULL, 0);
    if (!pSheet->Create(NULL, DEBUG_SHEET_STYLE, 0))
    {
        VGLTRACE(12, "The debug window cannot be created, error %lu", ::GetLastError());
        delete pSheet;
        return;
    }
    CSingleLock lock(&g_csDebugLogSheet, TRUE);
    g_pDebugLogSheet = pSheet;
}

void DestroySheet()
{
    CDebugLogSheet* pSheet;
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        pSheet = g_pDebugLogSheet;
        g_pDebugLogSheet = NULL;
    }
    if (pSheet == NULL)
        return;
    pSheet->DestroyWindow();
    delete pSheet;
}

void ToggleSheet()
{
    CDebugLogSheet* pSheet = g_pDebugLogSheet;
    if (pSheet == NULL || pSheet->GetSafeHwnd() == NULL)
        return;
    pSheet->ShowWindow(pSheet->IsWindowVisible() ? SW_HIDE : SW_SHOW);
}
}

namespace NS_Debug
{
void InstallDebugWindow()
{
    SDebugWindowHooks hooks = {CreateSheet, DestroySheet, ToggleSheet};
    SetDebugWindowHooks(hooks);
}

BOOL IsDebugWindowWanted(BOOL fDebugEnable, BOOL fVersionRead, DWORD dwVersion)
{
    return fDebugEnable && fVersionRead && dwVersion != MAKELONG(0, 4);
}

BOOL GetCommonControlsVersion(DWORD* pdwVersion)
{
    char szPath[MAX_PATH] = "";
    UINT cch = ::GetSystemDirectoryA(szPath, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH - 14)
        return FALSE;
    lstrcatA(szPath, "\\COMCTL32.DLL");
    VS_FIXEDFILEINFO info;
    if (!getFixedFileVersion(szPath, &info))
        return FALSE;
    *pdwVersion = MAKELONG(LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionMS));
    return TRUE;
}

void AddStatusLog(int nCode, const NS_Notification::StatusLogType& record, const CString& strLog,
                  const CString& strError)
{
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        if (g_pDebugLogSheet != NULL)
            g_pDebugLogSheet->m_pageStatusLog.AddEntry(nCode, record, strLog, strError);
    }
    TraceOutcome(nCode, strLog, strError);
}

void AddVirusLog(int nCode, const CLogReportItem& item, const CString& strLog, const CString& strError)
{
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        if (g_pDebugLogSheet != NULL)
            g_pDebugLogSheet->m_pageVirusLog.AddEntry(nCode, item, strLog, strError);
    }
    TraceOutcome(nCode, strLog, strError);
}

void AddUnsentVirusLog(int nCode, const CLogReportItem& item, const CString& strLog, const CString& strError)
{
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        if (g_pDebugLogSheet != NULL)
            g_pDebugLogSheet->m_pageUnsentVirusLog.AddEntry(nCode, item, strLog, strError);
    }
    TraceOutcome(nCode, strLog, strError);
}

void AddLocalCfgLog(int nCode, const SLocalCfgLog& record, const CString& strLog, const CString& strError)
{
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        if (g_pDebugLogSheet != NULL)
            g_pDebugLogSheet->m_pageClientSettings.AddEntry(nCode, record, strLog, strError);
    }
    TraceOutcome(nCode, strLog, strError);
}

void AddNotification(const CString& strText, BOOL fTrace)
{
    {
        CSingleLock lock(&g_csDebugLogSheet, TRUE);
        if (g_pDebugLogSheet != NULL)
            g_pDebugLogSheet->m_pageNotification.AddEntry(strText);
    }
    if (fTrace)
        TraceOutcome(0, strText, CString());
}
}

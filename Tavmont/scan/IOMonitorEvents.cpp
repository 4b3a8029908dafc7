// Real-time virus events: the engine has taken its actions when it reports a finding; the
// client makes a file the engine left in place harmless, hands a moved file on to quarantine,
// logs and reports the finding and shows it. Each finding is handled on a worker thread of its
// own, one at a time; the windows are updated on the monitor's own thread.
#include "IOMonitorDlg.h"

#include <errno.h>
#include <process.h>

#include "Globals.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "Quarantine.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "TavmontDlg.h"
#include "resource_ids.h"

HANDLE g_hCallBackSemaphore = NULL;

namespace
{
const char s_szSemaphore[] = "CallBackSemaphore_IOMointor";
const DWORD SEMAPHORE_WAIT_MS = 60000;

// Worker threads still running: the monitor's window ends only after them.
volatile LONG g_nWorkers = 0;

BOOL IsCompressedMember(int nLayerCount)
{
    return nLayerCount != 0 && nLayerCount != -1;
}

CString FileNamePart(LPCSTR pszPath)
{
    CString strPath = pszPath ? pszPath : "";
    int nSlash = strPath.ReverseFind('\\');
    int nAltSlash = strPath.ReverseFind('/');
    if (nAltSlash > nSlash)
        nSlash = nAltSlash;
    return nSlash >= 0 ? strPath.Mid(nSlash + 1) : strPath;
}
}

// Waits (at most a while) for the worker threads: the monitor and its windows go next.
void WaitForRealTimeWorkers(DWORD dwTimeout)
{
    DWORD dwStart = ::GetTickCount();
    while (g_nWorkers > 0 && ::GetTickCount() - dwStart < dwTimeout)
        ::Sleep(10);
    if (g_nWorkers > 0)
        VGLTRACE(12, "%ld real-time virus workers still run", (long)g_nWorkers);
}

void RealTimeScanVirusCallBack(LPVOID pvEvent)
{
    IOT_EVENT* pEvent = (IOT_EVENT*)pvEvent;
    if (pEvent == NULL)
        return;
    CIOMonitorDlg* pMonitor = g_pIOMonitorDlg;
    if (pMonitor == NULL)
    {
        g_vexor.ReleaseEvent(pEvent);
        return;
    }
    if (pEvent->nKind == IOT_EVENT_PROGRESS)
    {
        pMonitor->ShowScanProgress(pEvent);
        g_vexor.ReleaseEvent(pEvent);
        return;
    }
    if (pEvent->nKind != IOT_EVENT_VIRUS)
    {
        g_vexor.ReleaseEvent(pEvent);
        return;
    }
    VGLTRACE(3, "==> RealTimeScanVirusCallBack (%s)", pEvent->pszFile ? pEvent->pszFile : "");
    if (g_hCallBackSemaphore == NULL)
    {
        g_hCallBackSemaphore = ::CreateSemaphoreA(NULL, 1, 1, s_szSemaphore);
        if (g_hCallBackSemaphore == NULL)
            VGLTRACE(12, "CallBackSemaphore_IOMointor error=%d", (int)::GetLastError());
    }
    // One worker at a time; after the time-out the next one goes all the same.
    if (g_hCallBackSemaphore != NULL)
        ::WaitForSingleObject(g_hCallBackSemaphore, SEMAPHORE_WAIT_MS);
    VGLTRACE(3, "[RealTimeScanVirusCallBack] Granted 'CallBackSemaphore_IOMointor'!");
    InterlockedIncrement(&g_nWorkers);
    if (_beginthread(RealTimeScanVirusCallBackThread, 0, pEvent) == (uintptr_t)-1)
    {
        VGLTRACE(12, "[RealTimeScanVirusCallBack] _beginthread failed! errno=%d", errno);
        g_vexor.ReleaseEvent(pEvent);
        if (g_hCallBackSemaphore != NULL)
            ::ReleaseSemaphore(g_hCallBackSemaphore, 1, NULL);
        InterlockedDecrement(&g_nWorkers);
    }
    VGLTRACE(3, "<== RealTimeScanVirusCallBack");
}

void __cdecl RealTimeScanVirusCallBackThread(void* pvEvent)
{
    try
    {
        CIOMonitorDlg* pMonitor = g_pIOMonitorDlg;
        if (pMonitor != NULL)
            pMonitor->OnRealTimeVirus((IOT_EVENT*)pvEvent);
        else
            g_vexor.ReleaseEvent(pvEvent);
    }
    catch (...)
    {
        VGLTRACE(13, "G.P.F in RealTimeScanVirusCallBackThread");
    }
    if (g_hCallBackSemaphore != NULL)
        ::ReleaseSemaphore(g_hCallBackSemaphore, 1, NULL);
    VGLTRACE(3, "[RealTimeScanVirusCallBackThread] ReleaseSemaphore 'CallBackSemaphore_IOMointor'!");
    InterlockedDecrement(&g_nWorkers);
}

void CIOMonitorDlg::ShowScanProgress(IOT_EVENT* pEvent)
{
    InterlockedIncrement(&m_lFilesScanned);
    if (m_hWnd == NULL)
        return;
    if (pEvent != NULL && pEvent->pszFile != NULL)
    {
        CSingleLock lock(&m_csProgress, TRUE);
        m_strScanning = escapeAmpersands(pEvent->pszFile);
    }
    // One refresh waits at a time; it shows the newest path and count.
    if (InterlockedExchange(&m_fProgressPosted, 1) == 0 && !PostMessage(WM_MONITOR_SHOW_PROGRESS, 0, 0))
        InterlockedExchange(&m_fProgressPosted, 0);
}

LRESULT CIOMonitorDlg::OnShowProgress(WPARAM, LPARAM)
{
    InterlockedExchange(&m_fProgressPosted, 0);
    CString strScanning;
    {
        CSingleLock lock(&m_csProgress, TRUE);
        strScanning = m_strScanning;
    }
    SetDlgItemText(IDC_MONITOR_FILE, strScanning);
    ShowCounts();
    return 0;
}

BOOL CIOMonitorDlg::NeedsEncoding(int nFirstAction, int nFirstResult, int nSecondAction, int nSecondResult)
{
    if (nFirstResult)
        return FALSE;
    if (nFirstAction == VEXOR_ACTION_MOVE || nFirstAction == VEXOR_ACTION_DELETE)
        return TRUE;
    return nFirstAction == VEXOR_ACTION_CLEAN && !nSecondResult &&
           (nSecondAction == VEXOR_ACTION_MOVE || nSecondAction == VEXOR_ACTION_DELETE ||
            nSecondAction == VEXOR_ACTION_RENAME);
}

void CIOMonitorDlg::EncodeLeftFile(const IOT_EVENT* pEvent, CVexorVXD* pVexor)
{
    if (!NeedsEncoding(pEvent->nFirstAction, pEvent->nFirstResult, pEvent->nSecondAction, pEvent->nSecondResult))
        return;
    CString strFile = pEvent->pszFile ? pEvent->pszFile : "";
    if (IsCompressedMember(pEvent->nLayerCount))
    {
        VGLTRACE(3, "Skip encode content of compressed file (%s) !", (LPCSTR)strFile);
        return;
    }
    if (pVexor == NULL)
        return;
    VGLTRACE(3, "Move fail encode virus (%s) !", (LPCSTR)strFile);
    CString strEncoded = strFile + ".bak";
    BOOL fEncode = pVexor->EncodeFile(strFile, strEncoded);
    VGLTRACE(3, "bEncode(%d) = EncodeFile(%s, %s) !", fEncode, (LPCSTR)strFile, (LPCSTR)strEncoded);
    // Without an encoded copy the file stays as it is: it is the only evidence.
    if (!fEncode)
        return;
    if (deleteFileForce(strFile))
        VGLTRACE(3, "DeleteFile(%s) success!", (LPCSTR)strFile);
    else
        VGLTRACE(12, "DeleteFile(%s) fail, ID = %d !", (LPCSTR)strFile, (int)::GetLastError());
    if (::CopyFileA(strEncoded, strFile, FALSE))
    {
        ::DeleteFileA(strEncoded);
        VGLTRACE(3, "MoveFile(%s, %s) success !", (LPCSTR)strEncoded, (LPCSTR)strFile);
    }
    else
    {
        VGLTRACE(12, "MoveFile(%s, %s) fail, ID = %d!", (LPCSTR)strEncoded, (LPCSTR)strFile, (int)::GetLastError());
    }
}

void CIOMonitorDlg::DescribeEvent(const IOT_EVENT* pEvent, const CString& strResult, SMonitorFinding* pFinding)
{
    pFinding->strResult = strResult;
    if (pEvent->nLayerCount == -1)
        pFinding->strVirus.LoadString(IDS_COMPRESSED_TOO_DEEP);
    else
        pFinding->strVirus = pEvent->pszVirus ? pEvent->pszVirus : "";
    pFinding->strFile = pEvent->pszFile ? pEvent->pszFile : "";
    if (pEvent->nLayerCount >= 1 && pEvent->nLayerCount <= IOT_MAX_LAYERS && pEvent->apszLayers[0] != NULL)
    {
        pFinding->strFile.Format("%s(%s)", pEvent->apszLayers[0], pEvent->pszFile ? pEvent->pszFile : "");
        BOOL fFirstFailed = !pEvent->nFirstResult && (pEvent->nFirstAction == VEXOR_ACTION_MOVE ||
                                                      pEvent->nFirstAction == VEXOR_ACTION_DELETE);
        BOOL fCleanThenMoveFailed = !pEvent->nFirstResult && pEvent->nFirstAction == VEXOR_ACTION_CLEAN &&
                                    pEvent->nSecondAction == VEXOR_ACTION_MOVE && !pEvent->nSecondResult;
        if (fFirstFailed || fCleanThenMoveFailed)
            pFinding->strResult.Format(IDS_ZIP_MEMBER_LEFT, (LPCSTR)FileNamePart(pEvent->apszLayers[0]));
    }
}

void CIOMonitorDlg::OnRealTimeVirus(IOT_EVENT* pEvent)
{
    VGLTRACE(3, "pEvent->pVirusName = %s, Layer=%d", pEvent->pszVirus ? pEvent->pszVirus : "", pEvent->nLayerCount);
    ShowScanProgress(pEvent);
    NS_Notification::SendStatusLog(CTime::GetCurrentTime(), NSN_REALTIME_SCAN, NULL);

    EncodeLeftFile(pEvent, &g_vexor);

    // A file the engine moved into the suspect folder goes on to the quarantine destination.
    CString strMoved = pEvent->pszMovedFile ? pEvent->pszMovedFile : "";
    if (pEvent->nFirstAction == VEXOR_ACTION_MOVE && pEvent->nFirstResult)
    {
        VGLTRACE(3, "Virus first action move to SUSPECT folder:%s", (LPCSTR)strMoved);
        CRealTimeScanINI settings;
        CopySettings(g_RealTimeScanINI, settings);
        CString strDestination = settings.IsActiveAction() ? settings.m_strCleanFailedMoveDir : settings.m_strMoveDir;
        pEvent->nFirstResult = QuarantineFile(strMoved, strDestination);
    }
    else if (pEvent->nFirstAction == VEXOR_ACTION_CLEAN && !pEvent->nFirstResult &&
             pEvent->nSecondAction == VEXOR_ACTION_MOVE && pEvent->nSecondResult)
    {
        VGLTRACE(3, "Virus second action move to SUSPECT folder:%s", (LPCSTR)strMoved);
        CRealTimeScanINI settings;
        CopySettings(g_RealTimeScanINI, settings);
        pEvent->nSecondResult = QuarantineFile(strMoved, settings.m_strCleanFailedMoveDir);
    }

    // The virus log, and the record's place queued for the server (neither waits for it).
    CLogReportItem item(pEvent, FALSE, TRUE, FALSE, FALSE);
    {
        CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
        SLogItemPos pos =
            NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(), NS_Notification::GetVirusLogQueueLock());
        NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
    }

    SMonitorFinding* pFinding = new SMonitorFinding;
    DescribeEvent(pEvent, item.GetResultText(), pFinding);
    InterlockedIncrement(&m_lVirusesFound);
    VGLTRACE(3, "Realtime Virus (%s) found!", (LPCSTR)pFinding->strVirus);
    if (m_hWnd == NULL || !g_postedMonitorObjects.Post(m_hWnd, WM_MONITOR_SHOW_FINDING, 0, pFinding))
        delete pFinding;

    if (!IsCompressedMember(pEvent->nLayerCount))
        StartSaveVirusLogNow();
    g_vexor.ReleaseEvent(pEvent);
}

LRESULT CIOMonitorDlg::OnShowFinding(WPARAM, LPARAM lParam)
{
    if (!g_postedMonitorObjects.Take(lParam))
        return 0;
    SMonitorFinding* pFinding = (SMonitorFinding*)lParam;
    if (m_dlgVirusFound.m_hWnd != NULL)
    {
        m_dlgVirusFound.AddRow(pFinding->strVirus, pFinding->strFile, pFinding->strResult, "");
        if (g_RealTimeScanINI.IsPopupVirusFound())
            m_dlgVirusFound.ShowFoundList();
    }
    ShowCounts();
    CString strStatus;
    strStatus.Format(IDS_RT_VIRUS_FOUND, (LPCSTR)pFinding->strVirus, (LPCSTR)pFinding->strFile);
    SetDlgItemText(IDC_MONITOR_LAST_VIRUS, escapeAmpersands(strStatus));
    delete pFinding;
    return 0;
}

void CIOMonitorDlg::StartSaveVirusLogNow()
{
    // The days kept as the console's log page has them; the save itself touches no window.
    CTavmontDlg* pMain = m_pMainDlg;
    if (pMain == NULL || pMain->m_hWnd == NULL)
        return;
    int nDays = pMain->m_sheetFake.m_dlgLogReport.m_iKeepingDays;
    CSingleLock lock(&m_csSaveThread, TRUE);
    BOOL fStarted = m_saver.Start(TRUE, nDays, FALSE);
    VGLTRACE(3, "%d = m_saver.Start(TRUE, %d, FALSE)", fStarted, nDays);
}

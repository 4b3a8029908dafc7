// The main window's messages: the outside cleaning program's record, dropped files, power
// events, a second start of the client, the server's scan and settings, and the forwarders
// through which the update code reaches the real-time monitor.
#include "TavmontDlg.h"

#include "ClientClock.h"
#include "DroppedFiles.h"
#include "Globals.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "ShellUtils.h"
#include "resource_ids.h"

/////////////////////////////////////////////////////////////////////////////
// The outside cleaning program's record

BOOL CTavmontDlg::OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct)
{
    // Files dropped in another program (the shell extension): a copy of the list, handled
    // as a drop on this window.
    if (pCopyDataStruct != NULL && pCopyDataStruct->dwData == DROP_CARRIED)
        return takeCarriedDropList(m_hWnd, pCopyDataStruct);
    if (pCopyDataStruct != NULL && pCopyDataStruct->dwData == COPYDATA_PGX_LOG &&
        pCopyDataStruct->lpData != NULL)
    {
        AddPGXLog(pCopyDataStruct->lpData, pCopyDataStruct->cbData);
    }
    return (BOOL)Default();
}

BOOL CTavmontDlg::AddPGXLog(const void* pvRecord, DWORD cbRecord)
{
    VGLTRACE(1, "--> CTavmontDlg::AddPGXLog(%p)", pvRecord);
    // A block too short for the record's fields is not a record.
    if (pvRecord == NULL || cbRecord < PGX_RECORD_MIN_SIZE)
    {
        VGLTRACE(12, "CTavmontDlg::AddPGXLog(): no record (%lu bytes)", cbRecord);
        return FALSE;
    }
    const BYTE* pbRecord = static_cast<const BYTE*>(pvRecord);
    DWORD dwOutcome = *reinterpret_cast<const DWORD*>(pbRecord + PGX_RECORD_OUTCOME);
    int nActionType = dwOutcome == PGX_OUTCOME_CLEANED ? LOG_ACTION_CLEAN : LOG_ACTION_NONE;
    BOOL fActionStatus = TRUE;
    if (nActionType == LOG_ACTION_CLEAN)
        fActionStatus = *reinterpret_cast<const DWORD*>(pbRecord + PGX_RECORD_STATUS) != PGX_STATUS_FAILED;

    CString strInfectedFilename;
    strInfectedFilename.LoadString(IDS_PGX_LOG_FILE_NAME);
    // The name ends at its NUL or at the end of the block.
    const char* pszVirus = reinterpret_cast<const char*>(pbRecord + PGX_RECORD_VIRUS);
    int cchVirus = 0;
    int cchMax = (int)(cbRecord - PGX_RECORD_VIRUS);
    while (cchVirus < cchMax && pszVirus[cchVirus] != '\0')
        cchVirus++;
    CString strVirusName(pszVirus, cchVirus);

    VGLTRACE(3, "strInfectedFilename = %s, strVirusName = %s", (LPCSTR)strInfectedFilename,
             (LPCSTR)strVirusName);
    VGLTRACE(3, "nActionType = %d, fActionStatus = %d", nActionType, fActionStatus);
    VGLTRACE(3, "nSecondActionType = %d, fSecondActionStatus = %d", LOG_ACTION_NONE, TRUE);

    CLogReportItem item(LOG_EVENT_MANUAL, NS_Clock::GetCurrentTime(), strInfectedFilename, strVirusName,
                        nActionType, fActionStatus, LOG_ACTION_NONE, TRUE);
    {
        // The position stays valid only while no other finding inserts a day: the lock is held
        // until it is queued.
        CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
        SLogItemPos pos = NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(),
                                                NS_Notification::GetVirusLogQueueLock());
        NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
    }
    VGLTRACE(2, "<-- CTavmontDlg::AddPGXLog(%p)", pvRecord);
    return TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// Dropped files, second start, hiding

void CTavmontDlg::OnDropFiles(HDROP hDropInfo)
{
    // Only a drop list of this process's own memory is read (and freed): anything else any
    // program may post is left alone.
    const MSG* pMsg = GetCurrentMessage();
    HDROP hDrop = receiveDroppedFiles((WPARAM)hDropInfo, pMsg->lParam);
    if (hDrop == NULL)
    {
        VGLTRACE(12, "CTavmontDlg::OnDropFiles(): the dropped files cannot be read");
        return;
    }
    if (NS_RegistryKey::GetShowWindowOnMultipleInstances())
    {
        switchToThisWindow(m_hWnd);
        ShowWindow(SW_SHOWNORMAL);
        BringWindowToTop();
        UpdateWindow();
        SetActiveWindow();
    }
    if (m_nDropState == 0)
        m_nDropState = 1;
    m_sheetFake.SendMessage(WM_DROPFILES, (WPARAM)hDrop, 0);
}

LRESULT CTavmontDlg::OnSecondInstance(WPARAM wParam, LPARAM)
{
    VGLTRACE(3, "CTavmontDlg::OnSecondInstance(fHideWindow = %d)", (int)wParam);
    if (!NS_RegistryKey::GetShowWindowOnMultipleInstances())
        return 0;
    if (!IsScanning() && wParam == 0)
    {
        BringWindowToTop();
        ShowWindow(SW_RESTORE);
    }
    else if (!m_fTrayIconAdded)
    {
        m_fTrayIconAdded = AddTrayIcon();
    }
    return 0;
}

LRESULT CTavmontDlg::OnHideToTray(WPARAM, LPARAM)
{
    m_fHidden = TRUE;
    ShowWindow(SW_HIDE);
    return 0;
}

/////////////////////////////////////////////////////////////////////////////
// Server commands, settings, alert text

BOOL CTavmontDlg::PostServerCommand(const CString& strQuery)
{
    CString* pQuery = new CString(strQuery);
    {
        CSingleLock lock(&m_csServerCommands, TRUE);
        m_arrServerCommands.Add(pQuery);
    }
    if (PostMessage(WM_SERVER_COMMAND, 0, (LPARAM)pQuery))
        return TRUE;
    CSingleLock lock(&m_csServerCommands, TRUE);
    for (int i = 0; i < m_arrServerCommands.GetSize(); i++)
    {
        if (m_arrServerCommands[i] == pQuery)
        {
            m_arrServerCommands.RemoveAt(i);
            break;
        }
    }
    delete pQuery;
    return FALSE;
}

LRESULT CTavmontDlg::OnServerCommand(WPARAM, LPARAM lParam)
{
    if (lParam == 0)
        return 0;
    // Only a query this process posted is taken (and freed); any other value is ignored.
    CString* pQuery = NULL;
    {
        CSingleLock lock(&m_csServerCommands, TRUE);
        for (int i = 0; i < m_arrServerCommands.GetSize(); i++)
        {
            if (m_arrServerCommands[i] == (void*)lParam)
            {
                pQuery = static_cast<CString*>(m_arrServerCommands[i]);
                m_arrServerCommands.RemoveAt(i);
                break;
            }
        }
    }
    if (pQuery == NULL)
    {
        VGLTRACE(12, "WM_SERVER_COMMAND with an unknown query (0x%" PRIXPTR ") ignored", (INT_PTR)lParam);
        return 0;
    }
    try
    {
        NS_Notification::OnNotification(*pQuery, this);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::OnServerCommand");
    }
    delete pQuery;
    return 0;
}

LRESULT CTavmontDlg::OnUpdateAlertMessage(WPARAM, LPARAM)
{
    m_dlgIOMonitor.RefreshAlertMessage();
    return 0;
}

LRESULT CTavmontDlg::OnRemoteScan(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CTavmontDlg::OnRemoteScan(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR ")",
             wParam, (INT_PTR)lParam);
    if (!g_eventStopScanNow.IsSignaled())
    {
        BOOL fVisible = IsWindowVisible();
        if (fVisible)
        {
            if (m_sheetOptions.m_hWnd != NULL)
                m_sheetOptions.ShowWindow(SW_HIDE);
            ShowWindow(SW_HIDE);
        }
        m_sheetFake.RemoteScan();
        if (fVisible)
        {
            if (m_sheetOptions.m_hWnd != NULL)
                m_sheetOptions.ShowWindow(SW_SHOW);
            ShowWindow(SW_SHOW);
        }
    }
    VGLTRACE(2, "<-- CTavmontDlg::OnRemoteScan(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR ")",
             wParam, (INT_PTR)lParam);
    return 0;
}

LRESULT CTavmontDlg::OnUpdateConfiguration(WPARAM, LPARAM)
{
    VGLTRACE(1, "--> CTavmontDlg::OnUpdateConfiguration(WPARAM wParam, LPARAM lParam)");
    UpdateConfigurationStatus(g_ManualScanINI);
    UpdateConfigurationStatus(g_RealTimeScanINI);
    UpdateConfigurationStatus(g_ScheduleScanINI);
    UpdateConfigurationStatus(g_RemoteScanINI);
    UpdateExclusionStatus(g_ExclusionFileINI);
    UpdateTrayIcon();
    VGLTRACE(2, "<-- CTavmontDlg::OnUpdateConfiguration(WPARAM wParam, LPARAM lParam)");
    return 0;
}

void CTavmontDlg::UpdateConfigurationStatus(CCommonScanINI& settings)
{
    VGLTRACE(1, "--> CTavmontDlg::UpdateConfigurationStatus");
    BOOL fManual = dynamic_cast<CManualScanINI*>(&settings) != NULL;
    BOOL fRealTime = dynamic_cast<CRealTimeScanINI*>(&settings) != NULL;
    BOOL fSchedule = dynamic_cast<CScheduleScanINI*>(&settings) != NULL;
    if (fManual && m_sheetFake.m_hWnd != NULL)
    {
        VGLTRACE(3, "call m_sheetFake.UpdateStatus()");
        m_sheetFake.UpdateStatus();
    }
    if ((fRealTime || fSchedule) && m_dlgIOMonitor.m_hWnd != NULL)
    {
        VGLTRACE(3, "call m_dlgIOMonitor.UpdateStatus()");
        m_dlgIOMonitor.UpdateStatus();
    }
    int nPage = -1;
    if (fManual)
    {
        VGLTRACE(3, "Read ManualScan Profile Setting");
        nPage = COptionsPropertySheet::PAGE_MANUAL_SCAN;
    }
    else if (fRealTime)
    {
        VGLTRACE(3, "Read RealtimeScan Profile Setting");
        nPage = COptionsPropertySheet::PAGE_REAL_TIME_SCAN;
    }
    else if (fSchedule)
    {
        nPage = COptionsPropertySheet::PAGE_SCHEDULED_SCAN;
    }
    if (nPage >= 0)
    {
        m_sheetOptions.ReloadPageSettings(nPage);
        if (m_sheetOptions.m_hWnd != NULL)
        {
            VGLTRACE(3, "need to update %s Page.", fManual ? "ManualScan" : fRealTime ? "RealTimeScan" : "ScheduleScan");
            m_sheetOptions.UpdatePageControls(nPage);
        }
    }
    VGLTRACE(2, "<-- CTavmontDlg::UpdateConfigurationStatus");
}

void CTavmontDlg::UpdateExclusionStatus(CExclusionFileINI&)
{
    m_sheetFake.UpdateStatus();
    m_dlgIOMonitor.UpdateStatus();
    if (m_sheetOptions.m_hWnd != NULL)
        m_sheetOptions.RefreshExceptionList();
}

BOOL CTavmontDlg::UpdatePatternVersion(const CString& strPatternFile)
{
    return m_dlgIOMonitor.UpdatePatternVersion(strPatternFile);
}

BOOL CTavmontDlg::UpdateEngineVersion(const CStringArray& arrFiles)
{
    return m_dlgIOMonitor.UpdateEngineVersion(arrFiles);
}

BOOL CTavmontDlg::ProcessEngineRollback(const CStringArray& arrFiles, BOOL fRollback)
{
    return m_dlgIOMonitor.ProcessEngineRollback(arrFiles, fRollback);
}

void CTavmontDlg::UpdateAlertMessage()
{
    m_dlgIOMonitor.RefreshAlertMessage();
}

/////////////////////////////////////////////////////////////////////////////
// Power, devices, activation

LRESULT CTavmontDlg::OnPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CTavmontDlg::OnPowerBroadCast(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR ")",
             wParam, (INT_PTR)lParam);
    if (wParam == PBT_APMQUERYSUSPEND)
    {
        VGLTRACE(3, "PBT_APMQUERYSUSPEND");
        BOOL fScanning = IsScanning();
        BOOL fAnimating = m_flagAnimating.IsSignaled();
        BOOL fUpdating = FALSE;
        BOOL fAllowSuspend = !(fScanning && m_fUnloading && fAnimating && fUpdating);
        VGLTRACE(3, "fAllowSuspend(%d) = !(fScanning(%d) && fUnloading(%d) && fAnimating(%d) && fUpdating(%d))",
                 fAllowSuspend, fScanning, m_fUnloading, fAnimating, fUpdating);
    }
    else if (wParam == PBT_APMRESUMESUSPEND)
    {
        VGLTRACE(3, "PBT_APMRESUMESUSPEND");
        CreateHttpServerThread();
    }
    LRESULT lRet = TRUE;
    VGLTRACE(2, "<-- CTavmontDlg::OnPowerBroadCast(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR
                "), lRet = %" PRIdPTR, wParam, (INT_PTR)lParam, (INT_PTR)lRet);
    return lRet;
}

BOOL CTavmontDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
{
    return (BOOL)m_sheetFake.SendMessage(WM_DEVICECHANGE, nEventType, dwData);
}

void CTavmontDlg::OnActivateApp(BOOL bActive, DWORD dwThreadID)
{
    CDialog::OnActivateApp(bActive, dwThreadID);
    // The mail trap's settings may have changed while another program was active.
    if (bActive && m_sheetFake.m_PageMailScan.m_hWnd != NULL)
        m_sheetFake.m_PageMailScan.Refresh();
}

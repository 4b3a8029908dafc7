// Boot areas, memory and removable drives: scanned when a drive is connected, when the monitor
// starts (memory), when Windows shuts down (removable drives) and on request. A boot-area
// virus is cleaned where the settings ask for it and the drive allows it, logged, reported and
// shown in an alert window.
#include "IOMonitorDlg.h"

#include "Globals.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Notification.h"
#include "ServerSettings.h"
#include "SplashDlg.h"
#include "TavmontDlg.h"
#include "resource_ids.h"

namespace
{
CString VirusNameOf(const BPMINFO* pInfo)
{
    char szName[sizeof pInfo->szVirusName + 1];
    memcpy(szName, pInfo->szVirusName, sizeof pInfo->szVirusName);
    szName[sizeof pInfo->szVirusName] = '\0';
    return szName;
}

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

// Queues the record's log and reports: the virus log, a status log and the record for the server.
void LogFinding(CLogReportItem& item)
{
    NS_Notification::SendStatusLog(CTime::GetCurrentTime(), NSN_REALTIME_SCAN, NULL);
    CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
    SLogItemPos pos =
        NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(), NS_Notification::GetVirusLogQueueLock());
    NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
}
}

LRESULT CIOMonitorDlg::OnConnectNotify(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnConnectNotify(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR ")",
             wParam, (INT_PTR)lParam);
    if (g_RealTimeScanINI.m_fScanBoot && wParam >= 1 && wParam <= 26)
    {
        char szRoot[4] = {char('A' + wParam - 1), ':', '\\', 0};
        UINT uType = ::GetDriveTypeA(szRoot);
        if (uType == DRIVE_NO_ROOT_DIR || uType == DRIVE_REMOVABLE || uType == DRIVE_FIXED)
            ScanDrive(szRoot[0]);
        else
            VGLTRACE(3, "OnConnectNotify: skip to scan boot area: %s(%d)", szRoot, (int)uType);
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::OnConnectNotify(WPARAM wParam = %" PRIuPTR ", LPARAM lParam = %" PRIdPTR ")",
             wParam, (INT_PTR)lParam);
    return 0;
}

LRESULT CIOMonitorDlg::OnScanMemoryBoot(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnScanMemoryBoot()");
    OnScanMemory(wParam, lParam);
    OnScanBoot(wParam, lParam);
    VGLTRACE(2, "<-- CIOMonitorDlg::OnScanMemoryBoot()");
    return 0;
}

LRESULT CIOMonitorDlg::OnScanBoot(WPARAM, LPARAM lParam)
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnScanBoot(LPARAM lParam = %" PRIdPTR ")", (INT_PTR)lParam);
    if (g_RealTimeScanINI.m_fScanBoot)
    {
        DWORD dwDrives = ::GetLogicalDrives();
        for (char ch = 'A'; ch <= 'Z'; ++ch, dwDrives >>= 1)
        {
            if (!(dwDrives & 1))
                continue;
            char szRoot[4] = {ch, ':', '\\', 0};
            UINT uType = ::GetDriveTypeA(szRoot);
            if (uType == DRIVE_FIXED || uType == DRIVE_CDROM || uType == DRIVE_RAMDISK ||
                (uType == DRIVE_REMOVABLE && lParam == 0))
                ScanDrive(ch);
        }
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::OnScanBoot()");
    return 0;
}

LRESULT CIOMonitorDlg::OnScanMemory(WPARAM, LPARAM)
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnScanMemory()");
    if (g_RealTimeScanINI.m_fScanMemory)
    {
        BPMINFO bpm;
        memset(&bpm, 0, sizeof bpm);
        int nFound = g_vexor.DoScanMemory(&bpm);
        if (nFound == 0)
        {
            VGLTRACE(3, " %d = g_vexor.ScanMemory(&BPMInfo)", 0);
        }
        else
        {
            CString strVirus = VirusNameOf(&bpm);
            VGLTRACE(3, " %d = g_vexor.ScanMemory(&BPMInfo), strVirus = %s", 1, (LPCSTR)strVirus);
            CString strMemory = LoadText(IDS_MEMORY);
            CLogReportItem item(LOG_EVENT_REALTIME, CTime::GetCurrentTime(), strMemory, strVirus, LOG_ACTION_NONE, 1,
                                LOG_ACTION_NONE, 1);
            LogFinding(item);
            if (m_dlgVirusFound.m_hWnd != NULL)
            {
                m_dlgVirusFound.AddRow(strVirus, strMemory, g_RealTimeScanINI.GetActionSettingText(0, TRUE), "");
                if (g_RealTimeScanINI.IsPopupVirusFound())
                    m_dlgVirusFound.ShowFoundList();
            }
        }
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::OnScanMemory()");
    return 0;
}

BOOL CIOMonitorDlg::ScanDrive(char chDrive)
{
    VGLTRACE(1, "--> CIOMonitorDlg::ScanDrive(TCHAR chDrive = %c)", chDrive);
    BPMINFO bpmBoot, bpmPart;
    memset(&bpmBoot, 0, sizeof bpmBoot);
    memset(&bpmPart, 0, sizeof bpmPart);
    BOOL fBoot = g_vexor.DoScanBootSector(chDrive, &bpmBoot);
    char szRoot[4] = {chDrive, ':', '\\', 0};
    BOOL fPart = ::GetDriveTypeA(szRoot) == DRIVE_FIXED && g_vexor.DoScanPartition(chDrive, &bpmPart);
    if (fBoot)
        ActOnBPVirus(chDrive, TRUE, &bpmBoot);
    if (fPart)
        ActOnBPVirus(chDrive, FALSE, &bpmPart);
    BOOL fVirusFound = fBoot || fPart;
    VGLTRACE(2, "<-- CIOMonitorDlg::ScanDrive(TCHAR chDrive = %c), fVirusFound = %d", chDrive, fVirusFound);
    return fVirusFound;
}

BOOL CIOMonitorDlg::ScanFloppy()
{
    BOOL fFound = FALSE;
    DWORD dwDrives = ::GetLogicalDrives();
    for (char ch = 'A'; ch <= 'Z'; ++ch, dwDrives >>= 1)
    {
        char szRoot[4] = {ch, ':', '\\', 0};
        if ((dwDrives & 1) && ::GetDriveTypeA(szRoot) == DRIVE_REMOVABLE)
            fFound |= ScanDrive(ch);
    }
    return fFound;
}

BOOL CIOMonitorDlg::ScanFloppyAtShutdown()
{
    VGLTRACE(1, "--> CIOMonitorDlg::ScanFloppyAtShutdown()");
    BOOL fFoundVirus = FALSE;
    if (g_RealTimeScanINI.m_fEnable && g_RealTimeScanINI.m_fScanShutdown)
        fFoundVirus = ScanFloppy();
    VGLTRACE(2, "<-- CIOMonitorDlg::ScanFloppyAtShutdown(), fFoundVirus = %d", fFoundVirus);
    return fFoundVirus;
}

int CIOMonitorDlg::BootFirstStatus(int nDriveALayout, BOOL fBootSectorVirus, BOOL fClean, int nCleanResult)
{
    if (!fClean)
        return 1;
    // A partition table is never cleaned; nor is a boot sector where drive A: is a fixed disk.
    if (!fBootSectorVirus || nDriveALayout == 1 || nDriveALayout == 2)
        return 0;
    return nCleanResult == 0 ? 1 : 0;
}

void CIOMonitorDlg::ActOnBPVirus(char chDrive, BOOL fBootSectorVirus, BPMINFO* pBPMInfo)
{
    VGLTRACE(1, "--> CIOMonitorDlg::ActOnBPVirus(TCHAR chDrive = %c, BOOL fBootSectorVirus = %d)", chDrive,
             fBootSectorVirus);
    BOOL fClean = g_RealTimeScanINI.GetVirusFoundEngineAction() == VEXOR_ACTION_CLEAN;
    int nCleanResult = 1;
    BOOL fCleanable = fClean && fBootSectorVirus && g_nDriveALayout != 1 && g_nDriveALayout != 2;
    if (fCleanable)
        nCleanResult = g_vexor.DoCleanBPVirus(chDrive, pBPMInfo);
    int nStatus = BootFirstStatus(g_nDriveALayout, fBootSectorVirus, fClean, nCleanResult);

    CString strLocation, strPath;
    strLocation.Format(IDS_BOOT_DRIVE, chDrive);
    strPath.Format("%s (%s)", (LPCSTR)strLocation,
                   (LPCSTR)LoadText(fBootSectorVirus ? IDS_BOOT_SECTOR : IDS_PARTITION_TABLE));
    CLogReportItem item(LOG_EVENT_REALTIME, CTime::GetCurrentTime(), strPath, VirusNameOf(pBPMInfo),
                        fClean ? LOG_ACTION_CLEAN : LOG_ACTION_NONE, nStatus, LOG_ACTION_NONE, 1);
    LogFinding(item);

    // The alert shows whatever the pop-up setting says; windows are made on the window's thread.
    if (g_pIOMonitorDlg != NULL && m_hWnd != NULL)
    {
        if (::GetWindowThreadProcessId(m_hWnd, NULL) == ::GetCurrentThreadId())
            ShowVirusAlert(item);
        else
        {
            CLogReportItem* pCopy = new CLogReportItem(item);
            if (!g_postedMonitorObjects.Post(m_hWnd, WM_MONITOR_SHOW_ALERT, 0, pCopy))
                delete pCopy;
        }
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::ActOnBPVirus(), status = %d", nStatus);
}

void CIOMonitorDlg::ShowVirusAlert(const CLogReportItem& item)
{
    CVirusAlertDlg* pAlert = new CVirusAlertDlg(m_pDIB, m_pPalette, &item, (CWnd*)m_pMainDlg);
    if (!pAlert->Create((CWnd*)m_pMainDlg))
    {
        VGLTRACE(12, "The virus alert window could not be created");
        delete pAlert;
        return;
    }
    ::SetWindowPos(pAlert->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    pAlert->ShowWindow(SW_SHOW);
}

LRESULT CIOMonitorDlg::OnShowAlert(WPARAM, LPARAM lParam)
{
    CLogReportItem* pItem = (CLogReportItem*)lParam;
    if (g_postedMonitorObjects.Take(lParam))
    {
        ShowVirusAlert(*pItem);
        delete pItem;
    }
    return 0;
}

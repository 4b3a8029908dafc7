// The manual-scan page and the entries of the on-demand scans.
#include "ManualScanDlg.h"

#include <process.h>
#include <shellapi.h>

#include "FakePropertySheet.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ScanFilesDlg.h"
#include "ServerSettings.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "TreeDirCtrl.h"
#include "resource_ids.h"
#include "threadutils.h"

#define WM_REFRESH_TREE (WM_USER + 100)


namespace
{
CString LoadText(UINT nID, LPCSTR pszDefault)
{
    CString str;
    if (!str.LoadString(nID))
        str = pszDefault;
    return str;
}

// Clears a running flag on every way out of a scan entry.
class CRunningFlag
{
public:
    explicit CRunningFlag(CFlagEvent& flag) : m_flag(flag) {}
    ~CRunningFlag() { m_flag.SetSignaled(FALSE); }

private:
    CFlagEvent& m_flag;
};

}

BEGIN_MESSAGE_MAP(CManualScanDlg, CDialog)
    ON_BN_CLICKED(IDC_SCAN_NOW, OnButtonScanNow)
    ON_WM_DROPFILES()
    ON_WM_DEVICECHANGE()
    ON_WM_DESTROY()
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_WM_ERASEBKGND()
    ON_NOTIFY(NM_CLICK, IDC_DIR_TREE, OnTreeNotify)
    ON_NOTIFY(TVN_KEYDOWN, IDC_DIR_TREE, OnTreeNotify)
    ON_MESSAGE(WM_REFRESH_TREE, OnRefreshTree)
END_MESSAGE_MAP()

CManualScanDlg::CManualScanDlg(CDIB* pDIB, CPalette* pPalette, CFakePropertySheet* pSheet)
    : CDialog(IDD, NULL), m_tree(*new CTreeDirCtrl(FALSE, FALSE)), m_pDIB(pDIB), m_pPalette(pPalette), m_pSheet(pSheet),
      m_hDirNotificationThread(NULL), m_hStopWatch(NULL), m_uTimer(0),
      m_fVirusFound(FALSE), m_fRefreshPending(FALSE)
{
    m_hStopWatch = ::CreateEventA(NULL, FALSE, FALSE, NULL);
}

CManualScanDlg::~CManualScanDlg()
{
    delete &m_tree;
    if (m_hStopWatch != NULL)
        ::CloseHandle(m_hStopWatch);
}

BOOL CManualScanDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    try
    {
        m_tree.SubclassDlgItem(IDC_DIR_TREE, this);
        m_tree.SetSystemImageList();
        m_tree.SetStateImageList(IDB_TREE_CHECKBOXES);
        m_tree.PopulateTree();
        if (m_tree.GetRootItem() != NULL)
            m_tree.Expand(m_tree.GetRootItem(), TVE_EXPAND);
    }
    catch (CSystemError& e)
    {
        ::MessageBoxA(m_hWnd, e.ToString(), LoadText(IDS_MESSAGE_CAPTION, "Vigilon"), MB_OK | MB_ICONSTOP);
    }
    catch (...)
    {
    }
    ::SetFocus(::GetDlgItem(m_hWnd, IDC_SCAN_NOW));
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_NOW), FALSE);
    unsigned uID = 0;
    m_hDirNotificationThread = (HANDLE)_beginthreadex(NULL, 0, DirNotificationThread, this, 0, &uID);
    VGLTRACE(3, "m_hDirNotificationThread(0x%p)", m_hDirNotificationThread);
    if (m_hDirNotificationThread != NULL)
        VGLTRACE(3, "%d = SetThreadPriority(m_hDirNotificationThread, THREAD_PRIORITY_LOWEST)",
                 ::SetThreadPriority(m_hDirNotificationThread, THREAD_PRIORITY_LOWEST));
    m_uTimer = SetTimer(1, 1000, NULL);
    // The tree's ticks change without telling the page: Scan Now follows them.
    SetTimer(2, 300, NULL);
    return FALSE;
}

void CManualScanDlg::UpdateScanNowButton()
{
    if (m_hWnd == NULL || m_tree.m_hWnd == NULL)
        return;
    BOOL fEnable = m_tree.HasCheckedItem() && ::IsWindowEnabled(m_tree.m_hWnd);
    HWND hButton = ::GetDlgItem(m_hWnd, IDC_SCAN_NOW);
    if (!::IsWindowEnabled(hButton) != !fEnable)
        ::EnableWindow(hButton, fEnable);
}

void CManualScanDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == 1)
    {
        KillTimer(1);
        m_uTimer = 0;
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_NOW), FALSE);
        UpdateScanNowButton();
    }
    else if (nIDEvent == 2)
    {
        UpdateScanNowButton();
    }
    else
    {
        CDialog::OnTimer(nIDEvent);
    }
}

void CManualScanDlg::OnTreeNotify(NMHDR*, LRESULT* pResult)
{
    UpdateScanNowButton();
    *pResult = 0;
}

unsigned __stdcall CManualScanDlg::DirNotificationThread(void* pv)
{
    CManualScanDlg* pDlg = (CManualScanDlg*)pv;
    HANDLE ahWait[MAXIMUM_WAIT_OBJECTS];
    int nHandles = 0;
    ahWait[nHandles++] = pDlg->m_hStopWatch;
    DWORD dwDrives = ::GetLogicalDrives();
    for (int i = 0; i < 26 && nHandles < MAXIMUM_WAIT_OBJECTS; ++i)
    {
        if (!(dwDrives & (1u << i)))
            continue;
        char szRoot[4] = {(char)('A' + i), ':', '\\', 0};
        if (::GetDriveTypeA(szRoot) == DRIVE_REMOVABLE || NS_ScanWalk::IsHostRootDrive(szRoot[0]))
            continue;
        HANDLE h = ::FindFirstChangeNotificationA(szRoot, TRUE, FILE_NOTIFY_CHANGE_DIR_NAME);
        if (h != INVALID_HANDLE_VALUE)
            ahWait[nHandles++] = h;
    }
    for (;;)
    {
        DWORD dw = ::WaitForMultipleObjects(nHandles, ahWait, FALSE, INFINITE);
        if (dw == WAIT_OBJECT_0 || dw == WAIT_FAILED || dw >= WAIT_OBJECT_0 + (DWORD)nHandles)
            break;
        ::FindNextChangeNotification(ahWait[dw - WAIT_OBJECT_0]);
        if (pDlg->m_hWnd != NULL && ::IsWindowVisible(pDlg->m_hWnd))
        {
            ::PostMessageA(pDlg->m_hWnd, WM_REFRESH_TREE, 0, 0);
        }
        else
        {
            pDlg->m_fRefreshPending = TRUE;
            VGLTRACE(3, "Hold on the Refresh because the window is invisible now ..");
        }
    }
    for (int i = 1; i < nHandles; ++i)
        ::FindCloseChangeNotification(ahWait[i]);
    return 0;
}

LRESULT CManualScanDlg::OnRefreshTree(WPARAM, LPARAM)
{
    // Not while a scan reads the tree's ticks.
    if (g_eventScanning.IsSignaled() || g_eventScheduleScanning.IsSignaled() || g_eventRemoteScanning.IsSignaled())
        m_fRefreshPending = TRUE;
    else
        RefreshDirectoryTree();
    return 0;
}

void CManualScanDlg::RefreshDirectoryTree()
{
    if (m_tree.m_hWnd == NULL)
        return;
    m_tree.DeleteAllItems();
    m_tree.PopulateTree();
    if (m_tree.GetRootItem() != NULL)
        m_tree.Expand(m_tree.GetRootItem(), TVE_EXPAND);
    UpdateScanNowButton();
}

void CManualScanDlg::OnPaint()
{
    if (m_fRefreshPending && !g_eventScanning.IsSignaled() && !g_eventScheduleScanning.IsSignaled() &&
        !g_eventRemoteScanning.IsSignaled())
    {
        m_fRefreshPending = FALSE;
        RefreshDirectoryTree();
        VGLTRACE(3, "Refresh the Directory Tree");
    }
    if (m_tree.m_hWnd != NULL)
        m_tree.Invalidate();
    CPaintDC dc(this);
}

BOOL CManualScanDlg::OnEraseBkgnd(CDC* pDC)
{
    BOOL f = CDialog::OnEraseBkgnd(pDC);
    if (m_tree.m_hWnd != NULL)
        m_tree.Invalidate();
    return f;
}

BOOL CManualScanDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
{
    if (m_tree.m_hWnd == NULL)
        return TRUE;
    return (BOOL)m_tree.SendMessage(WM_DEVICECHANGE, nEventType, dwData);
}

void CManualScanDlg::EnableControls(BOOL fEnable)
{
    if (m_tree.m_hWnd != NULL)
        m_tree.EnableWindow(fEnable);
    HWND hButton = m_hWnd != NULL ? ::GetDlgItem(m_hWnd, IDC_SCAN_NOW) : NULL;
    if (hButton != NULL)
        ::EnableWindow(hButton, fEnable && m_tree.HasCheckedItem());
}

int CManualScanDlg::ShowScanProgress()
{
    return ShowScanFilesDlg(SW_SHOWNORMAL);
}

int CManualScanDlg::HideScanProgress()
{
    return ShowScanFilesDlg(SW_HIDE);
}

int CManualScanDlg::RunScan(CCommonScanINI& settings, const SScanCallbacks& callbacks, const CStringArray* pFolders,
                            const CStringArray* pFiles, CFlagEvent& stop, CFlagEvent& ended, BOOL fInteractive,
                            int* pnVirusTotal, BOOL* pfSuccess, BOOL* pfEngineLost)
{
    CWaitCursor wait;
    stop.SetSignaled(FALSE);
    ended.SetSignaled(FALSE);
    CString strExtList = settings.GetScanExtensionList();
    settings.SetVexorOptions(g_vexor);
    CStringArray arrNames, arrFolders;
    g_ExclusionFileINI.GetExcludedFileNames(arrNames);
    g_ExclusionFileINI.GetExcludedPaths(arrFolders);
    int nResult;
    if (pFolders != NULL)
    {
        CScanFilesDlg dlg(m_pDIB, m_pPalette, &settings, &m_tree, &g_vexor, callbacks, *pFolders, *pFiles, arrNames,
                          arrFolders, &stop, &ended, fInteractive ? &g_csManualScan : NULL, fInteractive, this);
        nResult = (int)dlg.DoModal();
        *pnVirusTotal = dlg.m_nVirusTotal;
        *pfSuccess = dlg.m_fScanSuccess;
        if (pfEngineLost != NULL)
            *pfEngineLost = dlg.m_fEngineLost;
    }
    else
    {
        CScanFilesDlg dlg(m_pDIB, m_pPalette, &settings, &m_tree, &g_vexor, callbacks, strExtList, arrNames,
                          arrFolders, &stop, &ended, fInteractive ? &g_csManualScan : NULL, fInteractive, this);
        nResult = (int)dlg.DoModal();
        *pnVirusTotal = dlg.m_nVirusTotal;
        *pfSuccess = dlg.m_fScanSuccess;
        if (pfEngineLost != NULL)
            *pfEngineLost = dlg.m_fEngineLost;
    }
    VGLTRACE(3, "TotalVirusFound = %d", *pnVirusTotal);
    return nResult;
}

void CManualScanDlg::ShowOutcome(int nResult, int nVirusTotal, BOOL fEngineLost)
{
    UINT nID = 0;
    if (fEngineLost)
        nID = IDS_SCAN_ENGINE_LOST;
    else if (nResult == IDCANCEL)
        nID = nVirusTotal > 0 ? IDS_SCAN_STOPPED_FOUND : IDS_SCAN_STOPPED_CLEAN;
    else if (nResult == IDOK)
        nID = nVirusTotal > 0 ? IDS_SCAN_DONE_FOUND : IDS_SCAN_DONE_CLEAN;
    if (nID == 0)
        return;
    VGLTRACE(3, "Scan outcome: string %u", nID);
    ::MessageBoxA(m_hWnd, LoadText(nID, "The scan has ended."), GetAppTitle(), 0x1040);
}

void CManualScanDlg::OnButtonScanNow()
{
    if (!TryEnterScan(g_eventScanning))
        return;
    CRunningFlag running(g_eventScanning);
    try
    {
        NS_Notification::StartPGX(TRUE);
        SScanCallbacks callbacks = {CFakePropertySheet::scanVirusFoundCallback, CFakePropertySheet::scanStartTimeCallback,
                                    CFakePropertySheet::scanResetCallback, CFakePropertySheet::scanFileCountCallback,
                                    NULL, NULL};
        int nTotal = 0;
        BOOL fSuccess = FALSE, fEngineLost = FALSE;
        int nResult = RunScan(g_ManualScanINI, callbacks, NULL, NULL, g_eventStopManualScan, g_eventManualScanEnded,
                              TRUE, &nTotal, &fSuccess, &fEngineLost);
        NS_Notification::SendStatusLog(CTime::GetCurrentTime(), NSN_MANUAL_SCAN, NULL);
        SetVirusFound(nTotal > 0);
        ShowOutcome(nResult, nTotal, fEngineLost);
    }
    catch (...)
    {
        VGLTRACE(10, "Exception(...) in OnButtonScanNow()");
    }
}

void CManualScanDlg::SplitDrop(HDROP hDrop, CStringArray& arrFolders, CStringArray& arrFiles)
{
    UINT nCount = ::DragQueryFileA(hDrop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < nCount; ++i)
    {
        char szPath[261] = "";
        if (::DragQueryFileA(hDrop, i, szPath, sizeof szPath) == 0)
            continue;
        DWORD dwAttr = ::GetFileAttributesA(szPath);
        if (dwAttr == INVALID_FILE_ATTRIBUTES)
            continue;
        if (dwAttr & FILE_ATTRIBUTE_DIRECTORY)
            arrFolders.Add(szPath);
        else
            arrFiles.Add(szPath);
    }
}

void CManualScanDlg::OnDropFiles(HDROP hDropInfo)
{
    CStringArray arrFolders, arrFiles;
    SplitDrop(hDropInfo, arrFolders, arrFiles);
    ::DragFinish(hDropInfo);
    VGLTRACE(3, "Dropped: %d folders, %d files", (int)arrFolders.GetSize(), (int)arrFiles.GetSize());
    if (!TryEnterScan(g_eventScanning))
        return;
    CRunningFlag running(g_eventScanning);
    try
    {
        SScanCallbacks callbacks = {CFakePropertySheet::scanVirusFoundCallback, CFakePropertySheet::scanStartTimeCallback,
                                    CFakePropertySheet::scanResetCallback, CFakePropertySheet::scanFileCountCallback,
                                    NULL, NULL};
        int nTotal = 0;
        BOOL fSuccess = FALSE, fEngineLost = FALSE;
        int nResult = RunScan(g_ManualScanINI, callbacks, &arrFolders, &arrFiles, g_eventStopManualScan,
                              g_eventManualScanEnded, TRUE, &nTotal, &fSuccess, &fEngineLost);
        NS_Notification::SendStatusLog(CTime::GetCurrentTime(), NSN_MANUAL_SCAN, NULL);
        SetVirusFound(nTotal > 0);
        ShowOutcome(nResult, nTotal, fEngineLost);
    }
    catch (...)
    {
        VGLTRACE(10, "Exception(...) in CManualScanDlg::OnDropFiles(HDROP hDropInfo)");
    }
}

int CManualScanDlg::ScheduleScan()
{
    if (g_ScheduleScanINI.m_nFrequency == 0)
        return 2;
    return ScheduleScanThreadThis();
}

int CManualScanDlg::ScheduleScanThreadThis()
{
    int uRetID = 2;
    if (!TryEnterScan(g_eventScheduleScanning))
        return uRetID;
    CRunningFlag running(g_eventScheduleScanning);
    BOOL fStarted = FALSE;
    try
    {
        CTime timeStart = CTime::GetCurrentTime();
        m_tree.CheckAllDrives(FALSE);
        EnableControls(FALSE);
        if (!g_ScheduleScanINI.m_fSomeDrives)
        {
            m_tree.CheckAllDrives(TRUE);
        }
        else
        {
            if (g_ScheduleScanINI.m_fScanRemovable)
                m_tree.CheckRemovableDrives(TRUE);
            if (g_ScheduleScanINI.m_fScanFixedDisk)
                m_tree.CheckFixedDrives(TRUE);
        }
        fStarted = TRUE;
        uRetID = RunDriveScan(g_ScheduleScanINI, g_eventStopScheduleScan, g_eventScheduleScanEnded, NSN_SCHEDULE_SCAN,
                              timeStart);
    }
    catch (...)
    {
        VGLTRACE(10, "Exception(...) in ScheduleScanThreadThis()");
    }
    EnableControls(TRUE);
    if (fStarted)
        CTavmontDlg::ScanEndCallback();
    VGLTRACE(3, "<-- CManualScanDlg::ScheduleScanThreadThis(), uRetID = %d", uRetID);
    return uRetID;
}

int CManualScanDlg::RunDriveScan(CCommonScanINI& settings, CFlagEvent& stop, CFlagEvent& ended, int nEvent,
                                 const CTime& timeStart)
{
    SScanCallbacks callbacks = {CFakePropertySheet::scanVirusFoundCallback, CFakePropertySheet::scanStartTimeCallback,
                                CFakePropertySheet::scanResetCallback, CFakePropertySheet::scanFileCountCallback,
                                CTavmontDlg::ScanProgressCallback, CTavmontDlg::ScanEndCallback};
    int nTotal = 0;
    BOOL fSuccess = FALSE;
    int nResult = RunScan(settings, callbacks, NULL, NULL, stop, ended, FALSE, &nTotal, &fSuccess);
    NS_Notification::SendStatusLog(CTime::GetCurrentTime(), nEvent, NULL);
    SetVirusFound(nTotal > 0);
    BOOL fSendResult = NS_RegistryKey::GetClientUseCgiOnScanResult();
    VGLTRACE(3, "Add OnScanResult log, bSendCgiOnScanResult(%d)", fSendResult);
    if (fSendResult)
        NS_Notification::SendScanResultLog(timeStart, CTime::GetCurrentTime(), fSuccess, nTotal > 0, nTotal,
                                           NSN_SCAN_RESULT, nEvent, NULL);
    return nResult;
}

int CManualScanDlg::RemoteScan()
{
    if (g_eventRemoteScanning.IsSignaled())
    {
        VGLTRACE(1, "g_eventRemoteScanning.IsSignaled() = TRUE");
        return 0;
    }
    VGLTRACE(1, "g_eventRemoteScanning.IsSignaled() = FALSE");
    VGLTRACE(1, "g_eventScanning.IsSignaled=(%d),g_eventScheduleScanning.IsSignaled=(%d)",
             g_eventScanning.IsSignaled(), g_eventScheduleScanning.IsSignaled());
    VGLTRACE(1, "g_eventStopScanNow.IsSignaled()=(%d)", g_eventStopScanNow.IsSignaled());
    VGLTRACE(1, "rScanINI.IsEnable()=(%d)", g_RemoteScanINI.m_fEnable);
    if (g_eventStopScanNow.IsSignaled() || !g_RemoteScanINI.m_fEnable)
        return 0;
    if (!TryEnterScan(g_eventRemoteScanning))
        return 0;
    CRunningFlag running(g_eventRemoteScanning);
    int nResult = 2;
    BOOL fStarted = FALSE;
    try
    {
        NS_Notification::StartPGX(FALSE);
        CTime timeStart = CTime::GetCurrentTime();
        m_tree.CheckAllDrives(FALSE);
        EnableControls(FALSE);
        if (g_RemoteScanINI.m_fScanRemovable)
            m_tree.CheckRemovableDrives(TRUE);
        if (g_RemoteScanINI.m_fScanCDRom)
            m_tree.CheckCdRomDrives(TRUE);
        if (g_RemoteScanINI.m_fScanFixedDisk)
            m_tree.CheckFixedDrives(TRUE);
        fStarted = TRUE;
        nResult = RunDriveScan(g_RemoteScanINI, g_eventStopScanNow, g_eventScanNowEnded, NSN_SCAN_NOW, timeStart);
    }
    catch (...)
    {
        VGLTRACE(10, "Exception(...) in CManualScanDlg::RemoteScan()");
    }
    EnableControls(TRUE);
    if (fStarted)
        CTavmontDlg::ScanEndCallback();
    return nResult;
}

void CManualScanDlg::SetVirusFound(BOOL fFound)
{
    if (fFound && m_pSheet != NULL)
    {
        CSingleLock lock(&m_csSaver, TRUE);
        m_saver.Start(TRUE, m_pSheet->m_dlgLogReport.m_iKeepingDays, FALSE);
    }
    m_fVirusFound = fFound;
}

void CManualScanDlg::OnDestroy()
{
    CDialog::OnDestroy();
    if (m_hStopWatch != NULL)
        ::SetEvent(m_hStopWatch);
    CLogFileWorker saver;
    {
        CSingleLock lock(&m_csSaver, TRUE);
        saver.Swap(m_saver);
    }
    saver.Stop(3000);
    if (m_hDirNotificationThread != NULL)
    {
        waitForThread(m_hDirNotificationThread, 3000);
        m_hDirNotificationThread = NULL;
    }
    NS_Notification::StopPGXWatchThread();
}

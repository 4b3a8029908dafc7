// The real-time monitor window: engine start with the newest usable pattern and every setting,
// the window's display, keeping real-time scanning in line with the settings, and shut-down.
#include "IOMonitorDlg.h"

#include <process.h>

#include "ClientMessages.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "PatternFile.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "ShutdownUIThread.h"
#include "TavmontDlg.h"
#include "threadutils.h"
#include "resource_ids.h"

CIOMonitorDlg* g_pIOMonitorDlg = NULL;
HWND g_hIOMonitorWnd = NULL;
CPostedObjects g_postedMonitorObjects;
CCriticalSection g_csSaveVirusLog;

namespace
{
const UINT HELP_MONITOR = 6;
const int EXCEL_LIST_SIZE = 2600;

void EnableItem(CWnd* pDlg, int nID, BOOL fEnable)
{
    CWnd* pItem = pDlg->GetDlgItem(nID);
    if (pItem != NULL)
        pItem->EnableWindow(fEnable);
}
}

BEGIN_MESSAGE_MAP(CIOMonitorDlg, CDialog)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_QUERYNEWPALETTE()
    ON_WM_PALETTECHANGED()
    ON_WM_DEVICECHANGE()
    ON_WM_TIMER()
    ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
    ON_MESSAGE(WM_SCAN_MEMORY_BOOT, OnScanMemoryBoot)
    ON_MESSAGE(WM_MONITOR_UPDATE_STATUS, OnUpdateStatusMessage)
    ON_MESSAGE(WM_SCAN_BOOT, OnScanBoot)
    ON_MESSAGE(WM_SCAN_MEMORY, OnScanMemory)
    ON_MESSAGE(WM_CONNECT_NOTIFY, OnConnectNotify)
    ON_MESSAGE(WM_MONITOR_SHOW_PROGRESS, OnShowProgress)
    ON_MESSAGE(WM_MONITOR_SHOW_FINDING, OnShowFinding)
    ON_MESSAGE(WM_MONITOR_SHOW_ALERT, OnShowAlert)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CIOMonitorDlg::CIOMonitorDlg(CDIB* pDIB, CPalette* pPalette, CWnd* pParent)
    : CDialog(IDD, pParent),
      m_pMainDlg((CTavmontDlg*)pParent),
      m_dlgVirusFound(NS_Notification::GetAlertMessageText(), pDIB, pPalette, pParent),
      m_pDIB(pDIB),
      m_pPalette(pPalette),
      m_staticBitmap(pDIB, pPalette, 1),
      m_lFilesScanned(0),
      m_lVirusesFound(0),
      m_fProgressPosted(0)
{
    g_pIOMonitorDlg = this;
}

CIOMonitorDlg::~CIOMonitorDlg()
{
    if (g_pIOMonitorDlg == this)
        g_pIOMonitorDlg = NULL;
}

int CIOMonitorDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnCreate()");
    g_hIOMonitorWnd = m_hWnd;
    if (CDialog::OnCreate(lpCreateStruct) == -1 || !InitializeVexor())
    {
        VGLTRACE(12, "    CIOMonitorDlg::OnCreate(): the engine did not start");
        return -1;
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::OnCreate()");
    return 0;
}

BOOL CIOMonitorDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    VGLTRACE(1, "--> CIOMonitorDlg::OnInitDialog()");
    CenterWindow(CWnd::GetDesktopWindow());
    if (m_pDIB != NULL && GetDlgItem(IDC_MONITOR_BITMAP) != NULL)
        m_staticBitmap.SubclassDlgItem(IDC_MONITOR_BITMAP, this);
    CWnd* pActivity = GetDlgItem(IDC_MONITOR_ACTIVITY);
    if (pActivity != NULL)
    {
        pActivity->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        pActivity->SendMessage(PBM_SETPOS, 0);
    }
    ShowCounts();
    // Hidden, a child of the main window.
    if (!m_dlgVirusFound.Create(CRealtimeDriveVirusFoundDlg::IDD, m_dlgVirusFound.m_pParentWnd))
        VGLTRACE(12, "the virus-found list could not be created");
    PostMessage(WM_SCAN_MEMORY, 0, 0);
    UpdateStatus();
    VGLTRACE(2, "<-- CIOMonitorDlg::OnInitDialog()");
    return TRUE;
}

void CIOMonitorDlg::OnOK()
{
    ShowWindow(SW_HIDE);
}

void CIOMonitorDlg::OnCancel()
{
    // The monitor is closed to the tray, never ended.
    ShowWindow(SW_HIDE);
}

BOOL CIOMonitorDlg::InitializeVexor()
{
    VGLTRACE(1, "--> CIOMonitorDlg::InitializeVexor()");
    char szFolder[260] = "";
    if (!::GetShortPathNameA(getModulePath(), szFolder, sizeof szFolder))
        lstrcpynA(szFolder, getModulePath(), sizeof szFolder);
    CString strCaption;
    strCaption.LoadString(IDS_MESSAGE_CAPTION);
    BOOL fStarted = FALSE;
    for (;;)
    {
        int nResult = 0;
        if (g_vexor.Initialize(g_hIOMonitorWnd, RealTimeScanVirusCallBack, szFolder, &nResult))
        {
            SetGlobalVexorSettings();
            SetExclusionLists();
            // A reload runs on a worker: the settings are copied under their lock.
            CRealTimeScanINI realTime;
            CopySettings(g_RealTimeScanINI, realTime);
            realTime.SetVexorOptions(g_vexor);
            CString strTypes = realTime.GetFileTypeList(FALSE);
            if (g_vexor.Hook(strTypes))
            {
                g_vexor.SetReady(1);
                fStarted = TRUE;
            }
            else
            {
                CString strText;
                strText.Format(IDS_RT_HOOK_FAILED, (LPCSTR)strTypes);
                ::MessageBoxA(NULL, strText, strCaption, MB_OK | MB_ICONSTOP);
            }
            HandExceptionProcesses();
            break;
        }
        PatternFileInfo info;
        memset(&info, 0, sizeof info);
        VSGetLastPattern(getModulePath(), NULL, &info, FALSE);
        if (CheckAndDeleteCorruptPattern())
        {
            VGLTRACE(12, "Pattern corrupt, error code = %d, filename = %s, retry again!", g_vexor.GetInitError(),
                     info.szFileName);
            continue;
        }
        VGLTRACE(12, "Pattern corrupt, error code = %d, filename = %s", g_vexor.GetInitError(), info.szFileName);
        ShowInitError(nResult);
        break;
    }
    DeleteOldPattern();
    VGLTRACE(2, "<-- CIOMonitorDlg::InitializeVexor() = %d", fStarted);
    return fStarted;
}

void CIOMonitorDlg::HandExceptionProcesses()
{
    // A reload on another thread holds the engine lock, which the window's thread may be
    // waiting for: never send from there.
    CWnd* pMain = (CWnd*)m_pMainDlg;
    if (pMain == NULL || !::IsWindow(pMain->m_hWnd))
        return;
    if (::GetWindowThreadProcessId(pMain->m_hWnd, NULL) == ::GetCurrentThreadId())
        pMain->SendMessage(WM_SET_EXCEPTION_PROCESS, 0, 0);
    else
        pMain->PostMessage(WM_SET_EXCEPTION_PROCESS, 0, 0);
}

void CIOMonitorDlg::SetGlobalVexorSettings()
{
    BOOL f = g_vexor.AddExceptionProcess(::GetCurrentProcessId());
    VGLTRACE(3, "%d = g_vexor.AddExceptionProcess(%lu)", f, ::GetCurrentProcessId());
    f = g_vexor.SetIOFilter(IOT_IOF_ALL);
    VGLTRACE(3, "%d = g_vexor.SetIOFilter(IOT_IOF_ALL)", f);
    f = g_vexor.RegisterConnectNotify(g_hIOMonitorWnd, WM_CONNECT_NOTIFY);
    VGLTRACE(3, "%d = g_vexor.RegisterConnectNotify(0x%p, WM_CONNECT_NOTIFY)", f, g_hIOMonitorWnd);
    int nType = g_vexor.GetEnviromentType();
    int n = g_vexor.SetEnviromentType(nType);
    VGLTRACE(3, "%d = g_vexor.SetEnviromentType(%d)", n, nType);
    char szList[EXCEL_LIST_SIZE];
    memset(szList, 0, sizeof szList);
    getExcelStartupFolder(szList, sizeof szList);
    f = g_vexor.SetForbiddenList(szList);
    VGLTRACE(3, "%d = g_vexor.SetForbiddenList()", f);
}

void CIOMonitorDlg::SetExclusionLists()
{
    CExclusionFileINI exclusion;
    CopySettings(g_ExclusionFileINI, exclusion);
    CStringArray arrNames, arrPaths;
    exclusion.GetExcludedFileNames(arrNames);
    exclusion.GetExcludedPaths(arrPaths);
    g_vexor.SetExcludedFileNames(arrNames);
    g_vexor.SetExcludedPaths(arrPaths);
}

CString CIOMonitorDlg::GetInitErrorText(int nCode)
{
    UINT nID = 0;
    switch (nCode)
    {
    case 1: nID = IDS_RT_THREAD_FAILED; break;
    case 2: nID = IDS_RT_NO_RESOURCES; break;
    case 3: nID = IDS_RT_OPEN_FAILED; break;
    case 4: nID = IDS_RT_NOT_READY; break;
    case 5: nID = IDS_RT_ENGINE_FAILED; break;
    case 6: nID = IDS_RT_TIMEOUT; break;
    case 8: nID = IDS_RT_PATTERN_MISMATCH; break;
    case 9: nID = IDS_RT_INIT_FAILED; break;
    }
    CString strText;
    if (nID != 0)
    {
        strText.LoadString(nID);
    }
    else
    {
        CString strFailed;
        strFailed.LoadString(IDS_RT_START_FAILED);
        strText.Format(IDS_RT_START_FAILED_CODE, (LPCSTR)strFailed, nCode);
    }
    return strText;
}

void CIOMonitorDlg::ShowInitError(int nCode)
{
    CString strCaption;
    strCaption.LoadString(IDS_MESSAGE_CAPTION);
    VGLTRACE(12, "CIOMonitorDlg::ShowInitError(%d)", nCode);
    ::MessageBoxA(NULL, GetInitErrorText(nCode), strCaption, MB_OK | MB_ICONSTOP);
}

BOOL CIOMonitorDlg::CheckAndDeleteCorruptPattern()
{
    PatternFileInfo info;
    memset(&info, 0, sizeof info);
    if (VSGetLastPattern(getModulePath(), NULL, &info, FALSE) != 0)
        return FALSE;
    CString strPath = getModulePath() + info.szFileName;
    if (VSCheckPatternFile(strPath) >= 0)
        return FALSE;
    BOOL fDeleted = deleteFileForce(strPath);
    VGLTRACE(12, "CIOMonitorDlg::CheckAndDeleteCorruptPattern(): %s %s", (LPCSTR)strPath,
             fDeleted ? "deleted" : "could not be deleted");
    return fDeleted;
}

void CIOMonitorDlg::DeleteOldPattern()
{
    int nResult = VSDeleteUnusedPattern(getModulePath(), NULL, 2);
    VGLTRACE(3, "%d = VSDeleteUnusedPattern(%s, NULL, 2)", nResult, (LPCSTR)getModulePath());
    CStringArray arrBackups;
    collectFiles(arrBackups, getModulePath(), "kv???.bak", FALSE);
    for (int i = 0; i < arrBackups.GetSize(); ++i)
    {
        DWORD dwAttributes = ::GetFileAttributesA(arrBackups[i]);
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesA(arrBackups[i], dwAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (::DeleteFileA(arrBackups[i]))
            VGLTRACE(3, "    CIOMonitorDlg::DeleteOldPattern(), Delete Filename = %s", (LPCSTR)arrBackups[i]);
        else
            VGLTRACE(12, "    CIOMonitorDlg::DeleteOldPattern(), Fail to delete %s,error = %d",
                     (LPCSTR)arrBackups[i], (int)::GetLastError());
    }
}

void CIOMonitorDlg::UpdateStatus()
{
    VGLTRACE(1, "--> CIOMonitorDlg::UpdateStatus()");
    BOOL fRealTime = g_RealTimeScanINI.m_fEnable;
    BOOL fSchedule = g_ScheduleScanINI.m_fEnable;
    // Windows are touched on their own thread: another thread hands the whole update to it.
    if (m_hWnd != NULL && ::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
    {
        PostMessage(WM_MONITOR_UPDATE_STATUS, 0, 0);
        VGLTRACE(2, "<-- CIOMonitorDlg::UpdateStatus(), posted to the window's thread");
        return;
    }
    if (m_hWnd != NULL)
    {
        static const int s_anRealTime[] = {IDC_MONITOR_FILE, IDC_MONITOR_LAST_VIRUS, IDC_MONITOR_FILES_COUNT,
                                           IDC_MONITOR_VIRUS_COUNT, IDC_MONITOR_FILE_CAPTION,
                                           IDC_MONITOR_LAST_VIRUS_CAPTION, IDC_MONITOR_FILES_COUNT_CAPTION,
                                           IDC_MONITOR_VIRUS_COUNT_CAPTION};
        for (int nID : s_anRealTime)
            EnableItem(this, nID, fRealTime);
        SetDlgItemText(IDC_MONITOR_FREQUENCY, g_ScheduleScanINI.GetFrequencyText());
        SetDlgItemText(IDC_MONITOR_TIME, g_ScheduleScanINI.GetTimeText());
        SetDlgItemText(IDC_MONITOR_DAY_OF_WEEK, g_ScheduleScanINI.GetDayOfWeekText());
        SetDlgItemText(IDC_MONITOR_DAY_OF_MONTH, g_ScheduleScanINI.GetDayOfMonthText());
        int nFrequency = g_ScheduleScanINI.GetFrequencyCode();
        BOOL fKnown = nFrequency == SCHEDULE_MONTHLY || nFrequency == SCHEDULE_WEEKLY || nFrequency == SCHEDULE_DAILY;
        BOOL fGroup = fSchedule && fKnown;
        for (int nID : {IDC_MONITOR_FREQUENCY_CAPTION, IDC_MONITOR_TIME_CAPTION, IDC_MONITOR_FREQUENCY, IDC_MONITOR_TIME})
            EnableItem(this, nID, fGroup);
        BOOL fMonth = fGroup && nFrequency == SCHEDULE_MONTHLY;
        BOOL fWeek = fGroup && nFrequency == SCHEDULE_WEEKLY;
        EnableItem(this, IDC_MONITOR_DAY_OF_MONTH_CAPTION, fMonth);
        EnableItem(this, IDC_MONITOR_DAY_OF_MONTH, fMonth);
        EnableItem(this, IDC_MONITOR_DAY_OF_WEEK_CAPTION, fWeek);
        EnableItem(this, IDC_MONITOR_DAY_OF_WEEK, fWeek);
    }
    if (fRealTime)
    {
        BOOL f = g_vexor.TurnOnRealTimeScan();
        VGLTRACE(3, "CIOMonitorDlg::UpdateStatus@1 Try to turn on real-time scan(%d)", f);
    }
    else
    {
        BOOL f = g_vexor.TurnOffRealTimeScan();
        VGLTRACE(3, "CIOMonitorDlg::UpdateStatus@1 Try to turn off real-time scan(%d)", f);
    }
    SetExclusionLists();
    g_RealTimeScanINI.SetVexorOptions(g_vexor);
    CTavmontDlg::UpdateTrayIcon();
    VGLTRACE(2, "<-- CIOMonitorDlg::UpdateStatus()");
}

LRESULT CIOMonitorDlg::OnUpdateStatusMessage(WPARAM, LPARAM)
{
    UpdateStatus();
    return 0;
}

void CIOMonitorDlg::ShowCounts()
{
    CString strCount;
    strCount.Format("%ld", (long)m_lFilesScanned);
    SetDlgItemText(IDC_MONITOR_FILES_COUNT, strCount);
    strCount.Format("%ld", (long)m_lVirusesFound);
    SetDlgItemText(IDC_MONITOR_VIRUS_COUNT, strCount);
}

void CIOMonitorDlg::RefreshAlertMessage()
{
    if (m_dlgVirusFound.m_hWnd != NULL)
        m_dlgVirusFound.SetAlertText(NS_Notification::GetAlertMessageText());
}

void CIOMonitorDlg::HideVirusFoundDialog()
{
    if (m_hWnd != NULL && m_dlgVirusFound.m_hWnd != NULL)
        m_dlgVirusFound.ShowWindow(SW_HIDE);
}

void CIOMonitorDlg::OnDestroy()
{
    VGLTRACE(1, "--> CIOMonitorDlg::OnDestroy()");
    StartShutdownNotice();
    if (!NS_Notification::SendStatusLogNow(CTime::GetCurrentTime(), NSN_CLOSE, NULL, TRUE, FALSE, NULL, NULL, NULL,
                                           NULL, NULL))
        VGLTRACE(12, "The closing status log was not sent");
    CLogFileWorker saver;
    {
        CSingleLock lock(&m_csSaveThread, TRUE);
        saver.Swap(m_saver);
    }
    BOOL fEnded = saver.Stop(3000);
    VGLTRACE(3, "%d = saver.Stop(3000)", fEnded);
    g_vexor.Unhook();
    g_vexor.Uninitialize();
    // No event comes any more; the workers still running end before the monitor does.
    WaitForRealTimeWorkers(10000);
    MSG msg;
    while (::PeekMessageA(&msg, m_hWnd, WM_MONITOR_SHOW_FINDING, WM_MONITOR_SHOW_ALERT, PM_REMOVE))
    {
        if (!g_postedMonitorObjects.Take(msg.lParam))
            continue;
        if (msg.message == WM_MONITOR_SHOW_FINDING)
            delete (SMonitorFinding*)msg.lParam;
        else
            delete (CLogReportItem*)msg.lParam;
    }
    if (m_dlgVirusFound.m_hWnd != NULL)
        m_dlgVirusFound.DestroyWindow();
    if (g_pIOMonitorDlg == this)
        g_pIOMonitorDlg = NULL;
    g_hIOMonitorWnd = NULL;
    CDialog::OnDestroy();
    VGLTRACE(2, "<-- CIOMonitorDlg::OnDestroy()");
}

BOOL CIOMonitorDlg::OnQueryNewPalette()
{
    if (m_pPalette == NULL || m_pPalette->GetSafeHandle() == NULL)
        return FALSE;
    HDC hDC = ::GetDC(m_hWnd);
    HPALETTE hOld = ::SelectPalette(hDC, (HPALETTE)m_pPalette->GetSafeHandle(), FALSE);
    UINT nChanged = ::RealizePalette(hDC);
    if (hOld != NULL)
        ::SelectPalette(hDC, hOld, TRUE);
    ::ReleaseDC(m_hWnd, hDC);
    if (nChanged != 0)
        Invalidate(TRUE);
    return TRUE;
}

void CIOMonitorDlg::OnPaletteChanged(CWnd* pFocusWnd)
{
    if (pFocusWnd != this)
        OnQueryNewPalette();
}

LRESULT CIOMonitorDlg::OnPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(3, "CIOMonitorDlg::OnPowerBroadcast(%" PRIuPTR ", %" PRIdPTR ")", wParam, (INT_PTR)lParam);
    return 0;
}

BOOL CIOMonitorDlg::OnDeviceChange(UINT, DWORD_PTR)
{
    return FALSE;
}

void CIOMonitorDlg::OnTimer(UINT_PTR)
{
}

void CIOMonitorDlg::OnHelp()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp != NULL)
        pApp->WinHelp(HELP_MONITOR);
}

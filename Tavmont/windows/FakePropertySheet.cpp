// The console window: its pages, the main window's scan requests and the on-demand scans'
// callbacks.
#include "FakePropertySheet.h"

#include "CommonScanINI.h"
#include "Globals.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "PostedObjects.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ScheduleScan.h"
#include "ServerSettings.h"
#include "TavmontDlg.h"
#include "VirusFoundDlg.h"
#include "resource_ids.h"

CFakePropertySheet* volatile g_pFakePropertySheet = NULL;
// The alerts on their way to the sheet's thread.
static CPostedObjects g_postedAlerts;
BOOL g_fMailScanPage = TRUE;
BOOL g_fToolPage = TRUE;

BEGIN_MESSAGE_MAP(CFakePropertySheet, CDialog)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_DROPFILES()
    ON_WM_DEVICECHANGE()
    ON_NOTIFY(TCN_SELCHANGING, IDC_CONSOLE_TAB, OnTabChanging)
    ON_NOTIFY(TCN_SELCHANGE, IDC_CONSOLE_TAB, OnTabChanged)
    ON_MESSAGE(WM_SHOW_VIRUS_ALERT, OnShowVirusAlert)
END_MESSAGE_MAP()

CFakePropertySheet::CFakePropertySheet(CDIB* pDIB, CPalette* pPalette, CWnd* pParent)
    : CDialog(IDD, pParent), m_dlgManualScan(NULL, pPalette, this), m_dlgScanResult(NULL),
      m_PageMailScan(NULL), m_dlgLogReport(NULL), m_WirelessSupp(NULL), m_pDIB(pDIB),
      m_pBitmap2(NULL), m_pPalette(pPalette), m_hAccel(NULL)
{
    for (int i = 0; i < MAX_PAGES; ++i)
        m_apPages[i] = NULL;
    m_hAccel = ::LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_CONSOLE_ACCELERATORS));
    g_fMailScanPage = NS_RegistryKey::GetMailScanPageOnOff();
    g_fToolPage = NS_RegistryKey::GetToolPageOnOff();
}

CFakePropertySheet::~CFakePropertySheet()
{
    if (m_dlgLogReport.m_hWnd != NULL)
        m_dlgLogReport.DestroyWindow();
    if (m_WirelessSupp.m_hWnd != NULL)
        m_WirelessSupp.DestroyWindow();
    if (m_PageMailScan.m_hWnd != NULL)
        m_PageMailScan.DestroyWindow();
    if (m_dlgScanResult.m_hWnd != NULL)
        m_dlgScanResult.DestroyWindow();
    if (m_dlgManualScan.m_hWnd != NULL)
        m_dlgManualScan.DestroyWindow();
}

int CFakePropertySheet::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CDialog::OnCreate(lpCreateStruct) == -1)
        return -1;
    if (!m_dlgManualScan.Create(CManualScanDlg::IDD, this))
    {
        VGLTRACE(12, "!m_dlgManualScan.Create(CManualScanDlg::IDD)");
        return -1;
    }
    m_dlgManualScan.ShowWindow(SW_HIDE);
    if (!m_dlgScanResult.Create(CScanResultDlg::IDD, this))
    {
        VGLTRACE(12, "!m_dlgScanResult.Create(CScanResultDlg::IDD, this)");
        return -1;
    }
    m_dlgScanResult.ShowWindow(SW_HIDE);
    if (g_fMailScanPage)
    {
        if (!m_PageMailScan.Create(IDD_CONSOLE_MAIL_SCAN, this))
        {
            VGLTRACE(12, "!m_PageMailScan.Create(CPageMailScan::IDD, this)");
            return -1;
        }
        m_PageMailScan.ShowWindow(SW_HIDE);
    }
    // The virus-log page comes with its own template; a language library without it has no
    // such page.
    if (::FindResourceA(AfxGetResourceHandle(), MAKEINTRESOURCEA(CLogReportDlg::IDD), (LPCSTR)RT_DIALOG) == NULL)
    {
        VGLTRACE(12, "The virus-log page's template is missing: the console has no virus-log page");
    }
    else
    {
        if (!m_dlgLogReport.Create(CLogReportDlg::IDD, this))
        {
            VGLTRACE(12, "!m_dlgLogReport.Create(CLogReportDlg::IDD, this)");
            return -1;
        }
        m_dlgLogReport.ShowWindow(SW_HIDE);
    }
    if (g_fToolPage)
    {
        if (!m_WirelessSupp.Create(IDD_CONSOLE_TOOLS, this))
        {
            VGLTRACE(12, "!m_WirelessSupp.Create(CWirelessSupp::IDD, this)");
            return -1;
        }
        m_WirelessSupp.ShowWindow(SW_HIDE);
    }
    int n = 0;
    m_apPages[n++] = &m_dlgManualScan;
    m_apPages[n++] = &m_dlgScanResult;
    if (g_fMailScanPage)
        m_apPages[n++] = &m_PageMailScan;
    if (m_dlgLogReport.m_hWnd != NULL)
        m_apPages[n++] = &m_dlgLogReport;
    if (g_fToolPage)
        m_apPages[n++] = &m_WirelessSupp;
    g_pFakePropertySheet = this;
    return 0;
}

BOOL CFakePropertySheet::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_tab.Attach(::GetDlgItem(m_hWnd, IDC_CONSOLE_TAB));
    CString str;
    str.LoadString(IDS_TAB_MANUAL_SCAN);
    m_tab.InsertItem(0, str);
    str.LoadString(IDS_TAB_SCAN_RESULT);
    m_tab.InsertItem(1, str);
    if (g_fMailScanPage)
    {
        str.LoadString(IDS_TAB_MAIL_SCAN);
        m_tab.InsertItem(2, str);
    }
    if (m_dlgLogReport.m_hWnd != NULL)
    {
        str.LoadString(IDS_TAB_VIRUS_LOG);
        m_tab.InsertItem(3, str);
    }
    if (g_fToolPage)
    {
        str.LoadString(IDS_TAB_TOOLS);
        m_tab.InsertItem(4, str);
    }
    CRect rcItem, rcTab;
    m_tab.GetItemRect(0, &rcItem);
    int h = rcItem.Height();
    m_tab.GetWindowRect(&rcTab);
    ScreenToClient(&rcTab);
    int x = rcTab.left + h / 2, y = rcTab.top + 4 * h / 3;
    for (int i = 0; i < MAX_PAGES; ++i)
        if (m_apPages[i] != NULL && m_apPages[i]->m_hWnd != NULL)
            m_apPages[i]->SetWindowPos(NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_tab.SetCurSel(0);
    m_dlgManualScan.EnableWindow(TRUE);
    m_dlgManualScan.ShowWindow(SW_SHOW);
    return TRUE;
}

void CFakePropertySheet::OnDestroy()
{
    g_pFakePropertySheet = NULL;
    if (m_tab.m_hWnd != NULL)
        m_tab.Detach();
    CDialog::OnDestroy();
}

int CFakePropertySheet::GetCurrentPage() const
{
    return m_tab.m_hWnd != NULL ? m_tab.GetCurSel() : -1;
}

void CFakePropertySheet::SelectPage(int iPos)
{
    if (iPos < 0 || iPos >= MAX_PAGES || m_apPages[iPos] == NULL || m_tab.m_hWnd == NULL)
        return;
    int c = m_tab.GetCurSel();
    if (c == iPos)
        return;
    if (c >= 0 && c < MAX_PAGES && m_apPages[c] != NULL)
    {
        m_apPages[c]->ShowWindow(SW_HIDE);
        m_apPages[c]->EnableWindow(FALSE);
    }
    m_apPages[iPos]->EnableWindow(TRUE);
    m_apPages[iPos]->ShowWindow(SW_SHOW);
    m_tab.SetCurSel(iPos);
    m_apPages[iPos]->SetFocus();
}

void CFakePropertySheet::OnTabChanging(NMHDR*, LRESULT* pResult)
{
    int c = m_tab.GetCurSel();
    if (c >= 0 && c < MAX_PAGES && m_apPages[c] != NULL)
    {
        m_apPages[c]->ShowWindow(SW_HIDE);
        m_apPages[c]->EnableWindow(FALSE);
    }
    *pResult = 0;
}

void CFakePropertySheet::OnTabChanged(NMHDR*, LRESULT* pResult)
{
    int c = m_tab.GetCurSel();
    if (c >= 0 && c < MAX_PAGES && m_apPages[c] != NULL)
    {
        m_apPages[c]->ShowWindow(SW_SHOW);
        m_apPages[c]->EnableWindow(TRUE);
        m_apPages[c]->SetFocus();
    }
    *pResult = 0;
}

BOOL CFakePropertySheet::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE)
        return TRUE;
    if (m_hAccel != NULL && ::TranslateAcceleratorA(m_hWnd, m_hAccel, pMsg))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CFakePropertySheet::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    switch (nID)
    {
    case ID_CONSOLE_MANUAL_SCAN:
        SelectPage(0);
        return TRUE;
    case ID_CONSOLE_SCAN_RESULT:
        SelectPage(1);
        return TRUE;
    case ID_CONSOLE_MAIL_SCAN:
        SelectPage(2);
        return TRUE;
    case ID_CONSOLE_VIRUS_LOG:
        SelectPage(3);
        return TRUE;
    case ID_CONSOLE_TOOLS:
        SelectPage(4);
        return TRUE;
    case IDC_CONSOLE_HIDE:
        if (GetParent() != NULL)
            GetParent()->SendMessage(WM_COMMAND, ID_HIDE_MAIN_WINDOW, 0);
        return TRUE;
    case IDC_CONSOLE_HELP:
    {
        static const DWORD s_adwTopics[] = {11, 20, 44, 29, 45};
        int c = GetCurrentPage();
        CWnd* pPage = c >= 0 && c < MAX_PAGES ? m_apPages[c] : NULL;
        DWORD dwTopic = 11;
        if (pPage == &m_dlgScanResult)
            dwTopic = s_adwTopics[1];
        else if (pPage == &m_PageMailScan)
            dwTopic = s_adwTopics[2];
        else if (pPage == &m_dlgLogReport)
            dwTopic = s_adwTopics[3];
        else if (pPage == &m_WirelessSupp)
            dwTopic = s_adwTopics[4];
        AfxGetApp()->WinHelp(dwTopic, HELP_CONTEXT);
        return TRUE;
    }
    case ID_UPDATE_NOW:
        ::Beep(0, 0);
        NS_Notification::UpdateNewSettings(g_pMainDlg, 0, 0, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        return TRUE;
    case IDC_CONSOLE_RELOAD_SETTINGS:
        ::Beep(0, 0);
        NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
        return TRUE;
    case IDC_CONSOLE_DEBUG_WINDOW:
        ::Beep(0, 0);
        NS_Debug::ToggleDebugWindow();
        SetFocus();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void CFakePropertySheet::UpdateStatus()
{
}

int CFakePropertySheet::RemoteScan()
{
    return m_dlgManualScan.RemoteScan();
}

int CFakePropertySheet::ScheduleScan()
{
    return m_dlgManualScan.ScheduleScan();
}

int CFakePropertySheet::ShowScanProgress()
{
    return m_dlgManualScan.ShowScanProgress();
}

int CFakePropertySheet::HideScanProgress()
{
    return m_dlgManualScan.HideScanProgress();
}

void CFakePropertySheet::RefreshDirectoryTree()
{
    m_dlgManualScan.RefreshDirectoryTree();
}

void CFakePropertySheet::OnDropFiles(HDROP hDropInfo)
{
    if (m_dlgManualScan.m_hWnd != NULL)
        m_dlgManualScan.SendMessage(WM_DROPFILES, (WPARAM)hDropInfo, 0);
    else
        ::DragFinish(hDropInfo);
}

BOOL CFakePropertySheet::OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
{
    if (m_dlgManualScan.m_hWnd == NULL)
        return TRUE;
    return (BOOL)m_dlgManualScan.SendMessage(WM_DEVICECHANGE, nEventType, dwData);
}

LRESULT CFakePropertySheet::OnShowVirusAlert(WPARAM, LPARAM lParam)
{
    if (!g_postedAlerts.Take(lParam))
        return 0;
    CVirusAlertDlg* pAlert = (CVirusAlertDlg*)lParam;
    if (!pAlert->Create(g_pMainDlg))
    {
        delete pAlert;
        return 0;
    }
    pAlert->SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    pAlert->ShowWindow(SW_SHOW);
    return 0;
}

void CFakePropertySheet::scanVirusFoundCallback(IOT_EVENT* pEvent, CCommonScanINI* pSettings, BOOL fRelease,
                                                BOOL fInScanWindow)
{
    CFakePropertySheet* pSheet = g_pFakePropertySheet;
    if (pSheet == NULL)
    {
        if (fRelease && pEvent != NULL)
            g_vexor.ReleaseEvent(pEvent);
        return;
    }
    BOOL fManual = dynamic_cast<CManualScanINI*>(pSettings) != NULL;
    BOOL fRealTime = dynamic_cast<CRealTimeScanINI*>(pSettings) != NULL;
    BOOL fScheduled = dynamic_cast<CScheduleScanINI*>(pSettings) != NULL;
    BOOL fRemote = dynamic_cast<CRemoteScanINI*>(pSettings) != NULL;
    if (pEvent != NULL && pEvent->nKind == IOT_EVENT_VIRUS)
    {
        CLogReportItem item(pEvent, fManual, fRealTime, fScheduled, fRemote);
        {
            // Held until the place is queued: another finding could move the record meanwhile.
            CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
            SLogItemPos pos = NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(),
                                                    NS_Notification::GetVirusLogQueueLock());
            NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
        }
        if (!fInScanWindow)
        {
            CVirusAlertDlg* pAlert = new CVirusAlertDlg(pSheet->m_pDIB, pSheet->m_pPalette, &item, g_pMainDlg);
            if (!g_postedAlerts.Post(pSheet->m_hWnd, WM_SHOW_VIRUS_ALERT, 0, pAlert))
                delete pAlert;
        }
    }
    if (fManual || (fScheduled && NS_Configuration::GetScheduleScanINI().IsPopupVirusFound()))
    {
        if (pEvent != NULL && pEvent->nKind == IOT_EVENT_VIRUS)
            pSheet->SelectPage(1);
        pSheet->m_dlgScanResult.AddVirusEvent(pEvent, pSettings, fRelease, fInScanWindow);
        return;
    }
    if (fRelease && pEvent != NULL)
        g_vexor.ReleaseEvent(pEvent);
}

void CFakePropertySheet::scanStartTimeCallback(const CTimeSpan* pSpan)
{
    if (CFakePropertySheet* pSheet = g_pFakePropertySheet)
        pSheet->m_dlgScanResult.SetScanTime(*pSpan);
}

void CFakePropertySheet::scanResetCallback()
{
    if (CFakePropertySheet* pSheet = g_pFakePropertySheet)
        pSheet->m_dlgScanResult.ResetResults();
}

void CFakePropertySheet::scanFileCountCallback()
{
    if (CFakePropertySheet* pSheet = g_pFakePropertySheet)
        pSheet->m_dlgScanResult.IncrementScannedCount();
}

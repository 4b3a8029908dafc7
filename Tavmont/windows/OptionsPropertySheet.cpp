// The options sheet: four pages over the global scan settings and the exclusion list.
#include "OptionsPropertySheet.h"

#include "Globals.h"
#include "LogTracker.h"
#include "Notification.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "resource_ids.h"

namespace
{
const UINT ID_APPLY_NOW_BUTTON = 12321;
}

IMPLEMENT_DYNAMIC(COptionsPropertySheet, CPropertySheet)

BEGIN_MESSAGE_MAP(COptionsPropertySheet, CPropertySheet)
    ON_COMMAND(ID_APPLY_NOW_BUTTON, OnApplyNow)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

BOOL COptionsPropertySheet::CDisableTabCtrl::IsTabEnabled(int nTab)
{
    switch (nTab)
    {
    case PAGE_MANUAL_SCAN: return NS_Configuration::GetManualScanINI().m_fAllowCfg;
    case PAGE_REAL_TIME_SCAN: return NS_Configuration::GetRealTimeScanINI().m_fAllowCfg;
    case PAGE_SCHEDULED_SCAN: return NS_Configuration::GetScheduleScanINI().m_fAllowCfg;
    case PAGE_EXCLUSION_LIST: return NS_Configuration::GetExclusionFileINI().m_fAllowCfg;
    default: return FALSE;
    }
}

COptionsPropertySheet::COptionsPropertySheet(UINT nIDCaption, PFN_OPTIONS_CHANGED pfnChanged, LPVOID pvContext,
                                             CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(nIDCaption, pParentWnd, iSelectPage),
      m_pageManualScan(&NS_Configuration::GetManualScanINIBase()),
      m_pageRealtimeScan(&NS_Configuration::GetRealTimeScanINIBase()),
      m_pageScheduleScan(&NS_Configuration::GetScheduleScanINIBase()),
      m_pageExceptionList(&NS_Configuration::GetExclusionFileINI()),
      m_pfnApplyCallback(pfnChanged),
      m_pCallbackData(pvContext)
{
    AddPages();
}

COptionsPropertySheet::COptionsPropertySheet(LPCSTR pszCaption, PFN_OPTIONS_CHANGED pfnChanged, LPVOID pvContext,
                                             CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage),
      m_pageManualScan(&NS_Configuration::GetManualScanINIBase()),
      m_pageRealtimeScan(&NS_Configuration::GetRealTimeScanINIBase()),
      m_pageScheduleScan(&NS_Configuration::GetScheduleScanINIBase()),
      m_pageExceptionList(&NS_Configuration::GetExclusionFileINI()),
      m_pfnApplyCallback(pfnChanged),
      m_pCallbackData(pvContext)
{
    AddPages();
}

COptionsPropertySheet::~COptionsPropertySheet()
{
    if (m_tab.m_hWnd != NULL)
        m_tab.UnsubclassWindow();
}

void COptionsPropertySheet::AddPages()
{
    AddPage(&m_pageManualScan);
    AddPage(&m_pageRealtimeScan);
    AddPage(&m_pageScheduleScan);
    AddPage(&m_pageExceptionList);
}

void COptionsPropertySheet::SetStartPage(int nPage)
{
    m_psh.nStartPage = (UINT)nPage;
}

COptionScanPage* COptionsPropertySheet::ScanPage(int nPage)
{
    switch (nPage)
    {
    case PAGE_MANUAL_SCAN: return &m_pageManualScan;
    case PAGE_REAL_TIME_SCAN: return &m_pageRealtimeScan;
    case PAGE_SCHEDULED_SCAN: return &m_pageScheduleScan;
    default: return NULL;
    }
}

void COptionsPropertySheet::ReloadPageSettings(int nPage)
{
    if (COptionScanPage* pPage = ScanPage(nPage))
        pPage->ReloadSettings();
}

void COptionsPropertySheet::UpdatePageControls(int nPage)
{
    COptionScanPage* pPage = ScanPage(nPage);
    if (pPage != NULL && pPage->m_hWnd != NULL)
        pPage->UpdateControls();
}

void COptionsPropertySheet::RefreshExceptionList()
{
    if (m_pageExceptionList.m_hWnd != NULL)
        m_pageExceptionList.RefreshList();
}

BOOL COptionsPropertySheet::OnInitDialog()
{
    BOOL fResult = CPropertySheet::OnInitDialog();
    HWND hApply = ::GetDlgItem(m_hWnd, ID_APPLY_NOW_BUTTON);
    if (hApply != NULL)
        ::EnableWindow(hApply, TRUE);
    CTabCtrl* pTab = GetTabControl();
    if (pTab != NULL && m_tab.m_hWnd == NULL)
        m_tab.SubclassTabCtrl(pTab->GetDlgCtrlID(), this);
    // Every page window is made now, so each has its working copy before Apply Now or OK.
    int nActive = GetActiveIndex();
    SetActivePage(PAGE_EXCLUSION_LIST);
    SetActivePage(PAGE_SCHEDULED_SCAN);
    SetActivePage(PAGE_REAL_TIME_SCAN);
    SetActivePage(PAGE_MANUAL_SCAN);
    SetActivePage(nActive);
    return fResult;
}

BOOL COptionsPropertySheet::PreTranslateMessage(MSG* pMsg)
{
    if (m_tab.m_hWnd != NULL && m_hWnd != NULL && (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd)) &&
        m_tab.TranslateSheetKey(pMsg))
        return TRUE;
    return CPropertySheet::PreTranslateMessage(pMsg);
}

BOOL COptionsPropertySheet::ApplyNow()
{
    VGLTRACE(1, "--> COptionsPropertySheet::ApplyNow(), %s|%d", __FILE__, __LINE__);
    BOOL fResult = FALSE;
    COptionScanPage* apPages[] = { &m_pageManualScan, &m_pageRealtimeScan, &m_pageScheduleScan };
    for (COptionScanPage* pPage : apPages)
    {
        if (!pPage->Validate())
        {
            if (m_hWnd != NULL)
                SetActivePage(pPage);
            VGLTRACE(2, "<-- COptionsPropertySheet::ApplyNow(), %s|%d", __FILE__, __LINE__);
            return FALSE;
        }
    }
    VGLTRACE(3, "ApplyNow(1), %s|%d", __FILE__, __LINE__);
    for (COptionScanPage* pPage : apPages)
        pPage->SaveSettings();
    m_pageExceptionList.SaveSettings();
    VGLTRACE(3, "ApplyNow(2), %s|%d", __FILE__, __LINE__);
    VGLTRACE(3, "ApplyNow(4), %s|%d", __FILE__, __LINE__);

    // The engine is called on a copy: no engine call under a settings lock.
    CRealTimeScanINI realTime;
    CopySettings(NS_Configuration::GetRealTimeScanINI(), realTime);
    realTime.SetVexorOptions(g_vexor);
    VGLTRACE(3, "ApplyNow(5), %s|%d", __FILE__, __LINE__);
    CExclusionFileINI exclusion;
    CopySettings(NS_Configuration::GetExclusionFileINI(), exclusion);
    CStringArray arrNames, arrPaths;
    exclusion.GetExcludedFileNames(arrNames);
    g_vexor.SetExcludedFileNames(arrNames);
    exclusion.GetExcludedPaths(arrPaths);
    g_vexor.SetExcludedPaths(arrPaths);

    VGLTRACE(3, "ApplyNow(6), %s|%d", __FILE__, __LINE__);
    CCommonScanINI* apGlobals[] = { &NS_Configuration::GetManualScanINIBase(), &NS_Configuration::GetRealTimeScanINIBase(),
                                    &NS_Configuration::GetScheduleScanINIBase() };
    for (CCommonScanINI* pIni : apGlobals)
    {
        CSettingsLock lock(pIni);
        NS_Notification::AddScanCfgLog(*pIni);
    }
    NS_Notification::AddExclusionCfgLog(exclusion);

    if (m_pfnApplyCallback != NULL)
        m_pfnApplyCallback(m_pCallbackData);
    VGLTRACE(3, "ApplyNow(7), %s|%d", __FILE__, __LINE__);
    fResult = TRUE;
    VGLTRACE(2, "<-- COptionsPropertySheet::ApplyNow(), %s|%d", __FILE__, __LINE__);
    return fResult;
}

void COptionsPropertySheet::OnApplyNow()
{
    CWaitCursor wait;
    ApplyNow();
}

void COptionsPropertySheet::OnOK()
{
    CWaitCursor wait;
    if (ApplyNow())
        EndDialog(IDOK);
}

void COptionsPropertySheet::OnHelp()
{
    static const DWORD s_adwTopics[] = { HID_OPTIONS_MANUAL_SCAN, HID_OPTIONS_REALTIME_SCAN, HID_OPTIONS_SCHEDULE_SCAN,
                                         HID_OPTIONS_EXCEPTION_LIST };
    int nTab = m_tab.m_hWnd != NULL ? m_tab.GetCurSel() : GetActiveIndex();
    if (nTab >= 0 && nTab < 4)
        AfxGetApp()->WinHelp(s_adwTopics[nTab], HELP_CONTEXT);
}

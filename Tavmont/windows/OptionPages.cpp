// The scan option pages and the exception list page of the options sheet.
#include "OptionPages.h"

#include "FileExtensionDlg.h"
#include "FolderDialog.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "SettingsLock.h"
#include "resource_ids.h"

#include <ctype.h>

namespace NS_OptionPages
{
int FirstActionIndex(int nEngineAction)
{
    switch (nEngineAction)
    {
    case 3: return 0;   // clean
    case 2: return 1;   // move
    case 4: return 2;   // delete
    case 1: return 3;   // rename
    default: return 4;  // leave the file
    }
}

int FirstActionSetting(int nIndex)
{
    static const int s_anCodes[] = { SCAN_ACTION_CLEAN, SCAN_ACTION_MOVE, SCAN_ACTION_DELETE, SCAN_ACTION_RENAME };
    return nIndex >= 0 && nIndex < 4 ? s_anCodes[nIndex] : SCAN_ACTION_LEAVE;
}

int SecondActionIndex(int nEngineAction)
{
    switch (nEngineAction)
    {
    case 2: return 0;   // move
    case 4: return 1;   // delete
    case 1: return 2;   // rename
    case 0: return 3;   // leave the file
    default: return -1; // clean: no row
    }
}

int SecondActionSetting(int nIndex)
{
    static const int s_anCodes[] = { SCAN_ACTION_MOVE, SCAN_ACTION_DELETE, SCAN_ACTION_RENAME };
    return nIndex >= 0 && nIndex < 3 ? s_anCodes[nIndex] : SCAN_ACTION_LEAVE;
}

int FrequencyIndex(BOOL fEnable, int nFrequency)
{
    if (!fEnable)
        return 0;
    switch (nFrequency)
    {
    case SCHEDULE_DAILY: return 1;
    case SCHEDULE_WEEKLY: return 2;
    case SCHEDULE_MONTHLY: return 3;
    default: return 0;
    }
}

int FrequencyCode(int nIndex)
{
    switch (nIndex)
    {
    case 1: return SCHEDULE_DAILY;
    case 2: return SCHEDULE_WEEKLY;
    case 3: return SCHEDULE_MONTHLY;
    default: return SCHEDULE_NONE;
    }
}

int LeadingNumber(LPCSTR pszText)
{
    int n = 0;
    for (const char* p = pszText; p != NULL && isdigit((unsigned char)*p); ++p)
    {
        if (n < 100000)
            n = n * 10 + (*p - '0');
    }
    return n;
}

void FillList(HWND hCombo, UINT nIdsItems, const DWORD* pdwData, int nData)
{
    if (hCombo == NULL)
        return;
    CString strItems;
    strItems.LoadString(nIdsItems);
    ::SendMessageA(hCombo, CB_RESETCONTENT, 0, 0);
    int nStart = 0;
    while (nStart <= strItems.GetLength() && !strItems.IsEmpty())
    {
        int nEnd = strItems.Find('\n', nStart);
        if (nEnd < 0)
            nEnd = strItems.GetLength();
        CString strItem = strItems.Mid(nStart, nEnd - nStart);
        int nRow = (int)::SendMessageA(hCombo, CB_ADDSTRING, 0, (LPARAM)(LPCSTR)strItem);
        if (nRow >= 0 && nRow < nData)
            ::SendMessageA(hCombo, CB_SETITEMDATA, nRow, pdwData[nRow]);
        nStart = nEnd + 1;
    }
}
}

using namespace NS_OptionPages;

/////////////////////////////////////////////////////////////////////////////
// The design the three scan pages share

BEGIN_MESSAGE_MAP(COptionScanPage, CPropertyPage)
    ON_BN_CLICKED(IDC_OPT_COMPRESSED, OnCompressed)
    ON_BN_CLICKED(IDC_OPT_ALL_FILES, OnFileTypeAll)
    ON_BN_CLICKED(IDC_OPT_INTELLISCAN, OnFileTypeAll)
    ON_BN_CLICKED(IDC_OPT_LISTED_FILES, OnFileTypeListed)
    ON_CBN_SELENDOK(IDC_OPT_FIRST_ACTION, OnFirstAction)
    ON_CBN_SELENDOK(IDC_OPT_SECOND_ACTION, OnSecondAction)
    ON_BN_CLICKED(IDC_OPT_ACTIVE_ACTION, OnActiveAction)
    ON_BN_CLICKED(IDC_OPT_CUSTOM_ACTION, OnCustomAction)
    ON_EN_KILLFOCUS(IDC_OPT_MOVE_FOLDER, OnFolderKillFocus)
    ON_BN_CLICKED(IDC_OPT_BROWSE, OnBrowse)
    ON_BN_CLICKED(IDC_OPT_EXTENSIONS, OnExtensions)
    ON_WM_HSCROLL()
END_MESSAGE_MAP()

COptionScanPage::COptionScanPage(UINT nIDTemplate, CCommonScanINI* pScanINI, int nAllowCfgKind,
                                 BOOL fAllowWildcards, UINT nValidateStyle)
    : CPropertyPage(nIDTemplate),
      m_pScanINI(pScanINI),
      m_nAllowCfgKind(nAllowCfgKind),
      m_fAllowWildcards(fAllowWildcards),
      m_nValidateStyle(nValidateStyle),
      m_fHasMemory(TRUE)
{
}

COptionScanPage::~COptionScanPage()
{
}

void COptionScanPage::DoDataExchange(CDataExchange* pDX)
{
    CPropertyPage::DoDataExchange(pDX);
}

BOOL COptionScanPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    FillList(::GetDlgItem(m_hWnd, IDC_OPT_FIRST_ACTION), IDS_OPT_FIRST_ACTIONS);
    FillList(::GetDlgItem(m_hWnd, IDC_OPT_SECOND_ACTION), IDS_OPT_SECOND_ACTIONS);
    CopyFromGlobal();
    UpdateControls();
    return TRUE;
}

BOOL COptionScanPage::IsChecked(UINT nID) const
{
    HWND hCtrl = ::GetDlgItem(m_hWnd, nID);
    return hCtrl != NULL && ::SendMessageA(hCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void COptionScanPage::Check(UINT nID, BOOL fCheck)
{
    HWND hCtrl = ::GetDlgItem(m_hWnd, nID);
    if (hCtrl != NULL)
        ::SendMessageA(hCtrl, BM_SETCHECK, fCheck ? BST_CHECKED : BST_UNCHECKED, 0);
}

void COptionScanPage::Enable(UINT nID, BOOL fEnable)
{
    HWND hCtrl = ::GetDlgItem(m_hWnd, nID);
    if (hCtrl != NULL)
        ::EnableWindow(hCtrl, fEnable);
}

BOOL COptionScanPage::IsEnabled(UINT nID) const
{
    HWND hCtrl = ::GetDlgItem(m_hWnd, nID);
    return hCtrl != NULL && ::IsWindowEnabled(hCtrl);
}

int COptionScanPage::ListSel(UINT nID) const
{
    HWND hCtrl = ::GetDlgItem(m_hWnd, nID);
    return hCtrl != NULL ? (int)::SendMessageA(hCtrl, CB_GETCURSEL, 0, 0) : -1;
}

void COptionScanPage::UpdateControls()
{
    if (m_hWnd == NULL)
        return;
    CCommonScanINI& ini = WorkingCopy();
    UINT nFileType = ini.m_fIntelliScan ? IDC_OPT_INTELLISCAN : ini.m_fScanAllFiles ? IDC_OPT_ALL_FILES : IDC_OPT_LISTED_FILES;
    Check(IDC_OPT_INTELLISCAN, nFileType == IDC_OPT_INTELLISCAN);
    Check(IDC_OPT_ALL_FILES, nFileType == IDC_OPT_ALL_FILES);
    Check(IDC_OPT_LISTED_FILES, nFileType == IDC_OPT_LISTED_FILES);
    Enable(IDC_OPT_EXTENSIONS, nFileType == IDC_OPT_LISTED_FILES);

    Check(IDC_OPT_ACTIVE_ACTION, ini.m_fActiveAction);
    Check(IDC_OPT_CUSTOM_ACTION, !ini.m_fActiveAction);
    if (ini.m_fActiveAction)
        ActiveActionRule();
    else
        CustomActionRule();

    Check(IDC_OPT_BACKUP, ini.m_fBkUpIfClean);
    if (m_fHasMemory)
        Check(IDC_OPT_MEMORY, ini.m_fScanMemory);
    Check(IDC_OPT_COMPRESSED, ini.m_fScanCompressed);
    CompressedRule();
    Check(IDC_OPT_BOOT, ini.m_fScanBoot);

    SetDlgItemInt(IDC_OPT_LAYER_VALUE, ini.m_nCompressedLayer, TRUE);
    HWND hSlider = ::GetDlgItem(m_hWnd, IDC_OPT_LAYER_SLIDER);
    if (hSlider != NULL)
    {
        ::SendMessageA(hSlider, TBM_SETRANGE, FALSE, MAKELPARAM(1, 20));
        ::SendMessageA(hSlider, TBM_SETLINESIZE, 0, 1);
        ::SendMessageA(hSlider, TBM_SETPAGESIZE, 0, 1);
        ::SendMessageA(hSlider, TBM_SETPOS, TRUE, ini.m_nCompressedLayer);
    }

    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_FIRST_ACTION, CB_SETCURSEL, FirstActionIndex(ini.GetVirusFoundEngineAction()), 0);
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_SECOND_ACTION, CB_SETCURSEL,
                          (WPARAM)SecondActionIndex(ini.GetCleanFailedEngineAction()), 0);
    FirstActionRule();
    SetDlgItemText(IDC_OPT_MOVE_FOLDER, ini.m_strMoveDir);
}

void COptionScanPage::ReloadSettings()
{
    WorkingCopy().ReadRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
}

void COptionScanPage::CompressedRule()
{
    BOOL fOn = IsChecked(IDC_OPT_COMPRESSED);
    Enable(IDC_OPT_LAYER_CAPTION, fOn);
    Enable(IDC_OPT_LAYER_VALUE, fOn);
    Enable(IDC_OPT_LAYER_SLIDER, fOn);
}

void COptionScanPage::FirstActionRule()
{
    int a = ListSel(IDC_OPT_FIRST_ACTION);
    Enable(IDC_OPT_BACKUP, a == 0);
    Enable(IDC_OPT_SECOND_ACTION, a == 0);
    SecondActionRule();
    BOOL fFolder = a == 1 || (IsEnabled(IDC_OPT_SECOND_ACTION) && ListSel(IDC_OPT_SECOND_ACTION) == 0);
    Enable(IDC_OPT_MOVE_FOLDER, fFolder);
    Enable(IDC_OPT_BROWSE, fFolder);
    if (IsChecked(IDC_OPT_ACTIVE_ACTION))
        ActiveActionRule();
}

void COptionScanPage::SecondActionRule()
{
    BOOL fList = IsEnabled(IDC_OPT_SECOND_ACTION);
    Enable(IDC_OPT_SECOND_CAPTION, fList);
    BOOL fFolder = fList && ListSel(IDC_OPT_SECOND_ACTION) == 0;
    Enable(IDC_OPT_MOVE_FOLDER, fFolder);
    Enable(IDC_OPT_FOLDER_CAPTION, fFolder);
}

void COptionScanPage::ActiveActionRule()
{
    Enable(IDC_OPT_FIRST_CAPTION, FALSE);
    Enable(IDC_OPT_SECOND_CAPTION, FALSE);
    Enable(IDC_OPT_FIRST_ACTION, FALSE);
    Enable(IDC_OPT_SECOND_ACTION, FALSE);
    Enable(IDC_OPT_BACKUP, FALSE);
    Enable(IDC_OPT_MOVE_FOLDER, TRUE);
    Enable(IDC_OPT_BROWSE, TRUE);
}

void COptionScanPage::CustomActionRule()
{
    Enable(IDC_OPT_FIRST_CAPTION, TRUE);
    Enable(IDC_OPT_FIRST_ACTION, TRUE);
    FirstActionRule();
}

void COptionScanPage::OnCompressed() { CompressedRule(); }
void COptionScanPage::OnFileTypeAll() { Enable(IDC_OPT_EXTENSIONS, FALSE); }
void COptionScanPage::OnFileTypeListed() { Enable(IDC_OPT_EXTENSIONS, TRUE); }
void COptionScanPage::OnFirstAction() { FirstActionRule(); }
void COptionScanPage::OnSecondAction() { SecondActionRule(); }
void COptionScanPage::OnActiveAction() { ActiveActionRule(); }
void COptionScanPage::OnCustomAction() { CustomActionRule(); }

void COptionScanPage::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)
{
    HWND hSlider = ::GetDlgItem(m_hWnd, IDC_OPT_LAYER_SLIDER);
    if (hSlider != NULL && pScrollBar != NULL && pScrollBar->m_hWnd == hSlider && nSBCode <= TB_ENDTRACK)
        SetDlgItemInt(IDC_OPT_LAYER_VALUE, (int)::SendMessageA(hSlider, TBM_GETPOS, 0, 0), TRUE);
    CPropertyPage::OnHScroll(nSBCode, nPos, pScrollBar);
}

void COptionScanPage::OnFolderKillFocus()
{
    HWND hEdit = ::GetDlgItem(m_hWnd, IDC_OPT_MOVE_FOLDER);
    if (hEdit == NULL)
        return;
    CString strText;
    GetDlgItemText(IDC_OPT_MOVE_FOLDER, strText);
    CString strAbsolute = makeAbsolutePath(strText);
    if (strAbsolute != strText)
        SetDlgItemText(IDC_OPT_MOVE_FOLDER, strAbsolute);
}

void COptionScanPage::OnBrowse()
{
    CString strOk, strTitle, strFolder;
    strOk.LoadString(IDS_FOLDER_OK);
    strTitle.LoadString(IDS_FOLDER_TITLE);
    GetDlgItemText(IDC_OPT_MOVE_FOLDER, strFolder);
    CFolderDialog dlg(strOk, strTitle, strFolder);
    if (dlg.DoModal() == IDOK)
        SetDlgItemText(IDC_OPT_MOVE_FOLDER, dlg.m_szSelectedPath);
}

void COptionScanPage::OnExtensions()
{
    CWaitCursor wait;
    CFileExtensionDlg dlg(WorkingCopy().m_strExtList, g_pszDefaultExtList, this, m_fAllowWildcards);
    if (dlg.DoModal() == IDOK)
        WorkingCopy().m_strExtList = dlg.GetExtensionList();
}

BOOL COptionScanPage::Validate()
{
    if (m_hWnd == NULL)
        return TRUE;
    BOOL fNeedFolder = (IsEnabled(IDC_OPT_FIRST_ACTION) && ListSel(IDC_OPT_FIRST_ACTION) == 1) ||
                       (IsEnabled(IDC_OPT_SECOND_ACTION) && ListSel(IDC_OPT_SECOND_ACTION) == 0);
    CString strFolder;
    GetDlgItemText(IDC_OPT_MOVE_FOLDER, strFolder);
    if (fNeedFolder && strFolder.IsEmpty())
    {
        AfxMessageBox(IDS_OPT_MOVE_FOLDER_NEEDED, m_nValidateStyle);
        return FALSE;
    }
    return TRUE;
}

void COptionScanPage::ReadControls()
{
    CCommonScanINI& ini = WorkingCopy();
    ini.m_fIntelliScan = IsChecked(IDC_OPT_INTELLISCAN);
    ini.m_fActiveAction = IsChecked(IDC_OPT_ACTIVE_ACTION);
    ini.m_fScanBoot = IsChecked(IDC_OPT_BOOT);
    if (m_fHasMemory)
        ini.m_fScanMemory = IsChecked(IDC_OPT_MEMORY);
    ini.m_fScanCompressed = IsChecked(IDC_OPT_COMPRESSED);
    ini.m_fBkUpIfClean = IsChecked(IDC_OPT_BACKUP);
    ini.m_fScanAllFiles = IsChecked(IDC_OPT_ALL_FILES) || IsChecked(IDC_OPT_INTELLISCAN);
    ini.m_nCompressedLayer = (int)::SendDlgItemMessageA(m_hWnd, IDC_OPT_LAYER_SLIDER, TBM_GETPOS, 0, 0);
    CString strFolder;
    GetDlgItemText(IDC_OPT_MOVE_FOLDER, strFolder);
    ini.m_strMoveDir = strFolder;
    ini.m_strCleanFailedMoveDir = strFolder;
    ini.m_nVirusFoundAction = FirstActionSetting(ListSel(IDC_OPT_FIRST_ACTION));
    ini.m_nCleanFailedAction = SecondActionSetting(ListSel(IDC_OPT_SECOND_ACTION));
}

void COptionScanPage::SaveSettings()
{
    if (!NS_RegistryKey::GetAllowCfg(m_nAllowCfgKind))
    {
        VGLTRACE(3, "[%s] may not be changed here: not saved", m_pScanINI->GetSection());
        return;
    }
    if (m_hWnd != NULL)
        ReadControls();
    WorkingCopy().WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    StoreToGlobal();
}

/////////////////////////////////////////////////////////////////////////////
// Manual scan

COptionManualScanPage::COptionManualScanPage(CCommonScanINI* pScanINI)
    : COptionScanPage(IDD_OPTION_MANUAL_SCAN, pScanINI, NS_RegistryKey::CFG_MANUAL_SCAN, FALSE,
                      MB_SYSTEMMODAL | MB_ICONINFORMATION)
{
}

void COptionManualScanPage::CopyFromGlobal()
{
    CopySettings(*static_cast<CManualScanINI*>(m_pScanINI), m_ScanINI);
}

void COptionManualScanPage::StoreToGlobal()
{
    StoreSettings(*static_cast<CManualScanINI*>(m_pScanINI), m_ScanINI);
}

/////////////////////////////////////////////////////////////////////////////
// Real-time scan: scan at shut-down instead of scan memory; wildcards in the extensions

COptionRealtimeScanPage::COptionRealtimeScanPage(CCommonScanINI* pScanINI)
    : COptionScanPage(IDD_OPTION_REALTIME_SCAN, pScanINI, NS_RegistryKey::CFG_REAL_TIME_SCAN, TRUE,
                      MB_SYSTEMMODAL | MB_ICONINFORMATION)
{
    m_fHasMemory = FALSE;
}

void COptionRealtimeScanPage::CopyFromGlobal()
{
    CopySettings(*static_cast<CRealTimeScanINI*>(m_pScanINI), m_ScanINI);
}

void COptionRealtimeScanPage::StoreToGlobal()
{
    StoreSettings(*static_cast<CRealTimeScanINI*>(m_pScanINI), m_ScanINI);
}

void COptionRealtimeScanPage::UpdateControls()
{
    COptionScanPage::UpdateControls();
    if (m_hWnd != NULL)
        Check(IDC_OPT_SHUTDOWN, m_ScanINI.m_fScanShutdown);
}

void COptionRealtimeScanPage::ReadControls()
{
    COptionScanPage::ReadControls();
    m_ScanINI.m_fScanShutdown = IsChecked(IDC_OPT_SHUTDOWN);
}

/////////////////////////////////////////////////////////////////////////////
// Scheduled scan: the schedule fields

BEGIN_MESSAGE_MAP(COptionScheduleScanPage, COptionScanPage)
    ON_CBN_SELENDOK(IDC_OPT_FREQUENCY, OnFrequency)
    ON_EN_KILLFOCUS(IDC_OPT_DAY_OF_MONTH, OnDayOfMonthKillFocus)
    ON_EN_KILLFOCUS(IDC_OPT_HOUR, OnHourKillFocus)
    ON_EN_KILLFOCUS(IDC_OPT_MINUTE, OnMinuteKillFocus)
END_MESSAGE_MAP()

COptionScheduleScanPage::COptionScheduleScanPage(CCommonScanINI* pScanINI)
    : COptionScanPage(IDD_OPTION_SCHEDULE_SCAN, pScanINI, NS_RegistryKey::CFG_SCHEDULE_SCAN, FALSE, MB_OK),
      m_fInitialized(FALSE)
{
}

void COptionScheduleScanPage::CopyFromGlobal()
{
    CopySettings(*static_cast<CScheduleScanINI*>(m_pScanINI), m_ScanINI);
}

void COptionScheduleScanPage::StoreToGlobal()
{
    StoreSettings(*static_cast<CScheduleScanINI*>(m_pScanINI), m_ScanINI);
}

BOOL COptionScheduleScanPage::OnInitDialog()
{
    m_fInitialized = FALSE;
    FillList(::GetDlgItem(m_hWnd, IDC_OPT_FREQUENCY), IDS_OPT_FREQUENCIES);
    FillList(::GetDlgItem(m_hWnd, IDC_OPT_DAY_OF_WEEK), IDS_OPT_DAYS_OF_WEEK);
    COptionScanPage::OnInitDialog();
    m_fInitialized = TRUE;
    static const UINT s_anEdits[] = { IDC_OPT_DAY_OF_MONTH, IDC_OPT_MINUTE, IDC_OPT_HOUR };
    for (UINT nEdit : s_anEdits)
        ::SendDlgItemMessageA(m_hWnd, nEdit, EM_LIMITTEXT, 2, 0);
    return TRUE;
}

void COptionScheduleScanPage::UpdateControls()
{
    COptionScanPage::UpdateControls();
    if (m_hWnd == NULL)
        return;
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_MINUTE_SPIN, UDM_SETRANGE, 0, MAKELPARAM(59, 0));
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_HOUR_SPIN, UDM_SETRANGE, 0, MAKELPARAM(12, 1));
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_DAY_OF_MONTH_SPIN, UDM_SETRANGE, 0, MAKELPARAM(31, 1));
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_FREQUENCY, CB_SETCURSEL,
                          FrequencyIndex(m_ScanINI.m_fEnable, m_ScanINI.m_nFrequency), 0);
    ::SendDlgItemMessageA(m_hWnd, IDC_OPT_DAY_OF_WEEK, CB_SETCURSEL, DayOfWeekToCTime(m_ScanINI.m_nDayOfWeek) - 1, 0);
    CString str;
    str.Format("%d", m_ScanINI.m_nDayOfMonth);
    SetDlgItemText(IDC_OPT_DAY_OF_MONTH, str);
    str.Format("%d", m_ScanINI.m_nHour);
    SetDlgItemText(IDC_OPT_HOUR, str);
    str.Format("%d", m_ScanINI.m_nMinute);
    SetDlgItemText(IDC_OPT_MINUTE, str);
    Check(IDC_OPT_AM, m_ScanINI.m_nAmPm == 1);
    Check(IDC_OPT_PM, m_ScanINI.m_nAmPm != 1);
    FrequencyRule();
}

void COptionScheduleScanPage::FrequencyRule()
{
    int n = ListSel(IDC_OPT_FREQUENCY);
    Enable(IDC_OPT_DAY_OF_WEEK_CAPTION, n == 2);
    Enable(IDC_OPT_DAY_OF_WEEK, n == 2);
    Enable(IDC_OPT_DAY_OF_MONTH_CAPTION, n == 3);
    Enable(IDC_OPT_DAY_OF_MONTH, n == 3);
    Enable(IDC_OPT_DAY_OF_MONTH_SPIN, n == 3);
    static const UINT s_anTime[] = { IDC_OPT_TIME_CAPTION, IDC_OPT_TIME_CAPTION2, IDC_OPT_HOUR, IDC_OPT_HOUR_SPIN,
                                     IDC_OPT_MINUTE, IDC_OPT_MINUTE_SPIN, IDC_OPT_AM, IDC_OPT_PM };
    for (UINT nID : s_anTime)
        Enable(nID, n != 0);
}

void COptionScheduleScanPage::OnFrequency() { FrequencyRule(); }

BOOL COptionScheduleScanPage::NumberInRange(UINT nEdit, UINT nSpin, int* pnLow, int* pnHigh) const
{
    HWND hSpin = ::GetDlgItem(m_hWnd, nSpin);
    DWORD dwRange = (DWORD)::SendMessageA(hSpin, UDM_GETRANGE, 0, 0);
    *pnHigh = (short)LOWORD(dwRange);
    *pnLow = (short)HIWORD(dwRange);
    char szText[16] = "";
    ::GetDlgItemTextA(m_hWnd, nEdit, szText, sizeof(szText));
    int n = LeadingNumber(szText);
    return n >= *pnLow && n <= *pnHigh;
}

void COptionScheduleScanPage::CheckNumber(UINT nEdit, UINT nSpin)
{
    if (!m_fInitialized || m_hWnd == NULL)
        return;
    HWND hEdit = ::GetDlgItem(m_hWnd, nEdit);
    if (hEdit == NULL || ::GetDlgItem(m_hWnd, nSpin) == NULL)
        return;
    int nLow, nHigh;
    if (NumberInRange(nEdit, nSpin, &nLow, &nHigh))
        return;
    CString strFormat, strText, strCaption;
    strFormat.LoadString(IDS_VALUE_RANGE);
    strText.Format(strFormat, nLow, nHigh);
    strCaption.LoadString(IDS_MESSAGE_CAPTION);
    ::MessageBoxA(m_hWnd, strText, strCaption, MB_ICONEXCLAMATION);
    ::SendMessageA(hEdit, EM_SETSEL, 0, -1);
    ::SendMessageA(hEdit, EM_SCROLLCARET, 0, 0);
    ::SetFocus(hEdit);
}

void COptionScheduleScanPage::OnDayOfMonthKillFocus() { CheckNumber(IDC_OPT_DAY_OF_MONTH, IDC_OPT_DAY_OF_MONTH_SPIN); }
void COptionScheduleScanPage::OnHourKillFocus() { CheckNumber(IDC_OPT_HOUR, IDC_OPT_HOUR_SPIN); }
void COptionScheduleScanPage::OnMinuteKillFocus() { CheckNumber(IDC_OPT_MINUTE, IDC_OPT_MINUTE_SPIN); }

BOOL COptionScheduleScanPage::Validate()
{
    if (!COptionScanPage::Validate())
        return FALSE;
    if (m_hWnd == NULL)
        return TRUE;
    static const UINT s_anFields[][2] = { { IDC_OPT_DAY_OF_MONTH, IDC_OPT_DAY_OF_MONTH_SPIN },
                                          { IDC_OPT_MINUTE, IDC_OPT_MINUTE_SPIN },
                                          { IDC_OPT_HOUR, IDC_OPT_HOUR_SPIN } };
    for (const UINT* pField : s_anFields)
    {
        if (::GetDlgItem(m_hWnd, pField[0]) == NULL || ::GetDlgItem(m_hWnd, pField[1]) == NULL)
            continue;
        int nLow, nHigh;
        if (!NumberInRange(pField[0], pField[1], &nLow, &nHigh))
            return FALSE;
    }
    return TRUE;
}

void COptionScheduleScanPage::ReadControls()
{
    COptionScanPage::ReadControls();
    int nCode = FrequencyCode(ListSel(IDC_OPT_FREQUENCY));
    if (nCode != SCHEDULE_NONE)
    {
        m_ScanINI.m_fEnable = TRUE;
        m_ScanINI.m_nFrequency = nCode;
    }
    else
    {
        m_ScanINI.m_fEnable = FALSE;
    }
    m_ScanINI.m_nDayOfWeek = CTimeToDayOfWeek(ListSel(IDC_OPT_DAY_OF_WEEK) + 1);
    char szText[16] = "";
    ::GetDlgItemTextA(m_hWnd, IDC_OPT_DAY_OF_MONTH, szText, sizeof(szText));
    m_ScanINI.m_nDayOfMonth = atoi(szText);
    ::GetDlgItemTextA(m_hWnd, IDC_OPT_HOUR, szText, sizeof(szText));
    m_ScanINI.m_nHour = LeadingNumber(szText);
    ::GetDlgItemTextA(m_hWnd, IDC_OPT_MINUTE, szText, sizeof(szText));
    m_ScanINI.m_nMinute = LeadingNumber(szText);
    if (::GetDlgItem(m_hWnd, IDC_OPT_AM) != NULL)
        m_ScanINI.m_nAmPm = IsChecked(IDC_OPT_AM) ? 1 : 2;
}

/////////////////////////////////////////////////////////////////////////////
// Exception list

void CExceptionListBoxEditor::FinishEdit()
{
    SECListBoxEditor::FinishEdit();
}

void CExceptionListBoxEditor::NewItemCommitted(int nIndex, CString strText)
{
    SECListBoxEditor::NewItemCommitted(nIndex, strText);
    if (nIndex > CExclusionFileINI::MAX_ENTRIES - 1)
        DeleteSelectedItem();
}

COptionExceptionListPage::COptionExceptionListPage(CExclusionFileINI* pExclusionINI)
    : CPropertyPage(IDD_OPTION_EXCEPTION_LIST), m_pExclusionINI(pExclusionINI)
{
}

COptionExceptionListPage::~COptionExceptionListPage()
{
}

void COptionExceptionListPage::DoDataExchange(CDataExchange*)
{
}

BOOL COptionExceptionListPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_editor.AttachToListBox(this, IDC_OPT_EXCEPTION_LIST, 0x033C);
    CString strCaption;
    strCaption.LoadString(IDS_EXCEPTION_LIST_CAPTION);
    if (m_editor.m_hWnd != NULL)
        m_editor.SetWindowText(strCaption);
    RefreshList();
    return TRUE;
}

BOOL COptionExceptionListPage::OnSetActive()
{
    return TRUE;
}

BOOL COptionExceptionListPage::OnKillActive()
{
    // The edit's text reaches its row only as Enter ends the edit: end it that way.
    if (m_editor.m_pEdit != NULL && m_editor.m_pEdit->m_hWnd != NULL)
        ::SendMessageA(m_editor.m_pEdit->m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
    m_editor.FinishEdit();
    return TRUE;
}

void COptionExceptionListPage::RefreshList()
{
    // The list is rebuilt from the settings in force: the rows shown are replaced, never
    // added to.
    CopySettings(*m_pExclusionINI, m_ExclusionINI);
    CListBox* pList = m_editor.GetListBox();
    if (pList == NULL || pList->m_hWnd == NULL)
        return;
    pList->ResetContent();
    int nRow = 0;
    for (int i = 0; i < m_ExclusionINI.m_arrEntries.GetSize() && nRow < CExclusionFileINI::MAX_ENTRIES; i++)
    {
        if (m_ExclusionINI.m_arrEntries[i].IsEmpty())
            continue;
        pList->InsertString(nRow++, m_ExclusionINI.m_arrEntries[i]);
    }
    pList->AddString("");
}

void COptionExceptionListPage::SaveSettings()
{
    if (!NS_RegistryKey::GetAllowCfg(NS_RegistryKey::CFG_EXCLUSION_FILE))
    {
        VGLTRACE(3, "[%s] may not be changed here: not saved", m_ExclusionINI.m_pszSection);
        return;
    }
    CListBox* pList = m_editor.GetListBox();
    if (pList != NULL && pList->m_hWnd != NULL)
    {
        OnKillActive();
        m_ExclusionINI.m_arrEntries.RemoveAll();
        for (int i = 0; i < pList->GetCount() && m_ExclusionINI.m_arrEntries.GetSize() < CExclusionFileINI::MAX_ENTRIES; i++)
        {
            CString strRow;
            pList->GetText(i, strRow);
            if (!strRow.IsEmpty())
                m_ExclusionINI.m_arrEntries.Add(strRow);
        }
        m_ExclusionINI.WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    }
    StoreSettings(*m_pExclusionINI, m_ExclusionINI);
}

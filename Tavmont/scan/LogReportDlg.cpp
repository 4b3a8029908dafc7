// The virus-log page, the keeping-days dialog and the log viewer.
#include "LogReportDlg.h"

#include <process.h>
#include <string.h>

#include "FlagEventGuard.h"
#include "Globals.h"
#include "IOMonitorDlg.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "resource_ids.h"
#include "threadutils.h"

CViewLogDlg* g_pViewLogDlg = NULL;

namespace
{
const DWORD LOADING_THREAD_WAIT = 3000;

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

// A message box with the caption of the program's messages.
void ShowMessage(CWnd* pWnd, const CString& strText, UINT nType)
{
    pWnd->MessageBox(strText, LoadText(IDS_MESSAGE_CAPTION), nType);
}

// The box that names a field's range.
void ShowRangeMessage(CWnd* pWnd, int nLower, int nUpper)
{
    CString str;
    str.Format(LoadText(IDS_VALUE_RANGE), nLower, nUpper);
    ShowMessage(pWnd, str, MB_OK | MB_ICONEXCLAMATION);
}

// Selects all of an edit's text, scrolls it into view and gives it the focus.
void ReturnToEdit(CWnd* pEdit)
{
    if (pEdit == NULL)
        return;
    pEdit->SendMessage(EM_SETSEL, 0, -1);
    pEdit->SendMessage(EM_SCROLLCARET, 0, 0);
    pEdit->SetFocus();
}

// The integer an edit's text starts with (0 when it holds none).
int EditValue(CWnd* pParent, UINT nID)
{
    CString str;
    pParent->GetDlgItemText(nID, str);
    return atoi(str);
}

struct SDateField
{
    UINT nEdit, nSpin;
    int nLower, nUpper, nLimit;
};

const SDateField s_fields[] = {
    {IDC_LOG_FROM_MONTH, IDC_LOG_FROM_MONTH_SPIN, 1, 12, 2},
    {IDC_LOG_FROM_DAY, IDC_LOG_FROM_DAY_SPIN, 1, 31, 2},
    {IDC_LOG_FROM_YEAR, IDC_LOG_FROM_YEAR_SPIN, 1996, 2037, 4},
    {IDC_LOG_TO_MONTH, IDC_LOG_TO_MONTH_SPIN, 1, 12, 2},
    {IDC_LOG_TO_DAY, IDC_LOG_TO_DAY_SPIN, 1, 31, 2},
    {IDC_LOG_TO_YEAR, IDC_LOG_TO_YEAR_SPIN, 1996, 2037, 4},
};

BOOL InRange(int nValue, UINT nID)
{
    int nLower, nUpper;
    return CLogReportDlg::GetFieldRange(nID, &nLower, &nUpper) && nValue >= nLower && nValue <= nUpper;
}

void TraceFailure(LPCSTR pszOperation, const CString& strText, BOOL fDisplayErrMsg)
{
    VGLTRACE(10, "%s: %s", pszOperation, (LPCSTR)strText);
    if (fDisplayErrMsg)
        ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
}

// Runs a load or a save of the kept range; every failure is traced and, when asked, shown
// (not once a stop is asked for).
void RunLogOperation(LPCSTR pszOperation, int nDays, BOOL fSave, BOOL fDisplayErrMsg, const volatile LONG* pfStop)
{
    fDisplayErrMsg = fDisplayErrMsg && (pfStop == NULL || *pfStop == 0);
    try
    {
        CTime from, to;
        CLogReportDlg::GetKeptRange(nDays, CTime::GetCurrentTime(), &from, &to);
        if (fSave)
            NS_LogReport::SaveLogs(from, to, pfStop);
        else
            NS_LogReport::LoadLogs(from, to, pfStop);
    }
    catch (CException* e)
    {
        char sz[512] = "";
        e->GetErrorMessage(sz, sizeof sz);
        CString str;
        str.Format("(0x%X) %s", (unsigned)::GetLastError(), sz);
        e->Delete();
        TraceFailure(pszOperation, str, fDisplayErrMsg);
    }
    catch (CSystemError& e)
    {
        TraceFailure(pszOperation, e.ToString(), fDisplayErrMsg);
    }
    catch (...)
    {
        TraceFailure(pszOperation, LoadText(IDS_UNKNOWN_EXCEPTION), fDisplayErrMsg);
    }
}

// The whole-date part of t at 00:00.
CTime StartOfDay(const CTime& t)
{
    return CTime(t.GetYear(), t.GetMonth(), t.GetDay(), 0, 0, 0);
}
}

/////////////////////////////////////////////////////////////////////////////
// CLogFileWorker

struct CLogFileWorker::SJob : CStopFlag
{
    BOOL fSave;
    int nDays;
    BOOL fDisplayErrMsg;
};

BOOL CLogFileWorker::Start(BOOL fSave, int nDays, BOOL fDisplayErrMsg)
{
    if (m_pJob != NULL)
        m_pJob->Stop();
    LetGo();
    SJob* pJob = new SJob;
    pJob->fSave = fSave;
    pJob->nDays = nDays;
    pJob->fDisplayErrMsg = fDisplayErrMsg;
    pJob->AddRef();  // the thread's reference
    unsigned uThreadID = 0;
    HANDLE hThread = reinterpret_cast<HANDLE>(::_beginthreadex(NULL, 0, Run, pJob, 0, &uThreadID));
    VGLTRACE(3, "CLogFileWorker(%s, %d days): thread 0x%p, id 0x%X", fSave ? "save" : "load", nDays, hThread,
             uThreadID);
    if (hThread == NULL)
    {
        pJob->Release();
        pJob->Release();
        return FALSE;
    }
    ::SetThreadPriority(hThread, THREAD_PRIORITY_LOWEST);
    m_hThread = hThread;
    m_pJob = pJob;
    return TRUE;
}

BOOL CLogFileWorker::Wait(DWORD dwTimeout)
{
    if (m_hThread == NULL)
        return TRUE;
    if (::WaitForSingleObject(m_hThread, dwTimeout) != WAIT_OBJECT_0)
        return FALSE;
    LetGo();
    return TRUE;
}

BOOL CLogFileWorker::Stop(DWORD dwTimeout)
{
    if (m_hThread == NULL)
        return TRUE;
    m_pJob->Stop();
    HANDLE hThread = m_hThread;
    m_hThread = NULL;
    BOOL fEnded = waitForThread(hThread, dwTimeout);
    LetGo();
    return fEnded;
}

void CLogFileWorker::Swap(CLogFileWorker& other)
{
    HANDLE hThread = m_hThread;
    SJob* pJob = m_pJob;
    m_hThread = other.m_hThread;
    m_pJob = other.m_pJob;
    other.m_hThread = hThread;
    other.m_pJob = pJob;
}

void CLogFileWorker::LetGo()
{
    if (m_hThread != NULL)
        ::CloseHandle(m_hThread);
    m_hThread = NULL;
    if (m_pJob != NULL)
        m_pJob->Release();
    m_pJob = NULL;
}

unsigned __stdcall CLogFileWorker::Run(void* pvJob)
{
    SJob* pJob = static_cast<SJob*>(pvJob);
    VGLTRACE(1, "--> CLogFileWorker::Run(%s)", pJob->fSave ? "save" : "load");
    try
    {
        if (pJob->fSave)
        {
            // One save of the log at a time.
            CSingleLock lock(&g_csSaveVirusLog, TRUE);
            CLogReportDlg::SaveKeptLog(pJob->nDays, pJob->fDisplayErrMsg, pJob->Flag());
        }
        else
        {
            CLogReportDlg::LoadKeptLog(pJob->nDays, pJob->fDisplayErrMsg, pJob->Flag());
        }
    }
    catch (...)
    {
        VGLTRACE(13, "G.P.F in CLogFileWorker::Run");
    }
    VGLTRACE(2, "<-- CLogFileWorker::Run(), stopped %d", pJob->IsStopped());
    pJob->Release();
    return 0;
}

/////////////////////////////////////////////////////////////////////////////
// CLogReportDlg

BEGIN_MESSAGE_MAP(CLogReportDlg, CDialog)
    ON_WM_DESTROY()
    ON_BN_CLICKED(IDC_LOG_VIEW_BUTTON, OnButtonViewLog)
    ON_BN_CLICKED(IDC_LOG_KEEPING_DAYS_BUTTON, OnButtonKeepingDays)
    ON_CONTROL_RANGE(EN_KILLFOCUS, IDC_LOG_FROM_MONTH, IDC_LOG_TO_YEAR_SPIN, OnKillFocusDateField)
END_MESSAGE_MAP()

CLogReportDlg::CLogReportDlg(CWnd* pParent)
    : CDialog(IDD, pParent),
      m_iKeepingDays((int)NS_RegistryKey::GetLogRemainingDays()),
      m_fInitialized(FALSE),
      m_fCheckingField(FALSE)
{
}

CLogReportDlg::~CLogReportDlg()
{
    // A page whose window never ended saves here what the store holds of the kept days.
    if (!m_fInitialized)
        SavingLog(FALSE);
}

void CLogReportDlg::GetDisplayRange(int nDays, const CTime& now, CTime* pFrom, CTime* pTo)
{
    *pTo = now;
    *pFrom = nDays < 1 ? now : now - CTimeSpan((LONG)(nDays - 1), 0, 0, 0);
}

void CLogReportDlg::GetKeptRange(int nDays, const CTime& now, CTime* pFrom, CTime* pTo)
{
    *pTo = now;
    *pFrom = StartOfDay(now - CTimeSpan((LONG)nDays, 0, 0, 0));
}

BOOL CLogReportDlg::GetFieldRange(UINT nID, int* pnLower, int* pnUpper)
{
    for (const SDateField& field : s_fields)
    {
        if (field.nEdit == nID || field.nSpin == nID)
        {
            *pnLower = field.nLower;
            *pnUpper = field.nUpper;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CLogReportDlg::ValidateDates(const CTime& from, const CTime& to)
{
    if (to.GetYear() == 2038 && to.GetMonth() == 1 && to.GetDay() == 19)
        return FALSE;
    return InRange(from.GetYear(), IDC_LOG_FROM_YEAR) && InRange(from.GetMonth(), IDC_LOG_FROM_MONTH) &&
           InRange(from.GetDay(), IDC_LOG_FROM_DAY) && InRange(to.GetYear(), IDC_LOG_TO_YEAR) &&
           InRange(to.GetMonth(), IDC_LOG_TO_MONTH) && InRange(to.GetDay(), IDC_LOG_TO_DAY);
}

BOOL CLogReportDlg::OnInitDialog()
{
    VGLTRACE(1, "--> CLogReportDlg::OnInitDialog()");
    CDialog::OnInitDialog();
    m_buttonViewLog.SubclassDlgItem(IDC_LOG_VIEW_BUTTON, this);
    m_buttonViewLog.LoadBitmaps(IDB_VIEWLOG_UP, IDB_VIEWLOG_DOWN, IDB_VIEWLOG_FOCUS, IDB_VIEWLOG_DISABLED);
    // The spins' ranges first: a spin given its range moves to it and writes its buddy.
    for (const SDateField& field : s_fields)
        SendDlgItemMessage(field.nSpin, UDM_SETRANGE32, field.nLower, field.nUpper);
    ReadProfileSetting();
    m_fInitialized = TRUE;

    m_loader.Start(FALSE, m_iKeepingDays, TRUE);
    VGLTRACE(2, "<-- CLogReportDlg::OnInitDialog()");
    return TRUE;
}

void CLogReportDlg::ReadProfileSetting()
{
    m_iKeepingDays = static_cast<int>(NS_RegistryKey::GetLogRemainingDays());
    VGLTRACE(3, "m_iKeepingDays(%d) = static_cast<int>(NS_RegistryKey::GetLogRemainingDays())", m_iKeepingDays);
    if (m_hWnd == NULL)
        return;
    try
    {
        CString str;
        str.Format("%d", m_iKeepingDays);
        SetDlgItemText(IDC_LOG_KEEPING_DAYS, str);
        CTime from, to;
        GetDisplayRange(m_iKeepingDays, CTime::GetCurrentTime(), &from, &to);
        SetDlgItemText(IDC_LOG_FROM_MONTH, intToString(from.GetMonth()));
        SetDlgItemText(IDC_LOG_FROM_DAY, intToString(from.GetDay()));
        SetDlgItemText(IDC_LOG_FROM_YEAR, intToString(from.GetYear()));
        SetDlgItemText(IDC_LOG_TO_MONTH, intToString(to.GetMonth()));
        SetDlgItemText(IDC_LOG_TO_DAY, intToString(to.GetDay()));
        SetDlgItemText(IDC_LOG_TO_YEAR, intToString(to.GetYear()));
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F");
    }
    for (const SDateField& field : s_fields)
        SendDlgItemMessage(field.nEdit, EM_LIMITTEXT, field.nLimit, 0);
}

void CLogReportDlg::LoadingLog(BOOL fDisplayErrMsg)
{
    LoadKeptLog(m_iKeepingDays, fDisplayErrMsg, NULL);
}

void CLogReportDlg::SavingLog(BOOL fDisplayErrMsg)
{
    SaveKeptLog(m_iKeepingDays, fDisplayErrMsg, NULL);
}

void CLogReportDlg::LoadKeptLog(int nDays, BOOL fDisplayErrMsg, const volatile LONG* pfStop)
{
    RunLogOperation("CLogReportDlg::LoadingLog", nDays, FALSE, fDisplayErrMsg, pfStop);
}

void CLogReportDlg::SaveKeptLog(int nDays, BOOL fDisplayErrMsg, const volatile LONG* pfStop)
{
    // The log is saved into the folder it was loaded from: load it first when that never happened.
    if (NS_LogReport::GetLogReport().GetFolder().IsEmpty())
        LoadKeptLog(nDays, fDisplayErrMsg, pfStop);
    RunLogOperation("CLogReportDlg::SavingLog", nDays, TRUE, fDisplayErrMsg, pfStop);
}

void CLogReportDlg::OnDestroy()
{
    VGLTRACE(1, "--> CLogReportDlg::OnDestroy()");
    // A load still running is asked to stop; the save below waits for the store's lock.
    BOOL fEnded = m_loader.Stop(LOADING_THREAD_WAIT);
    VGLTRACE(3, "%d = m_loader.Stop(%lu)", fEnded, LOADING_THREAD_WAIT);
    SavingLog(FALSE);
    CDialog::OnDestroy();
    VGLTRACE(2, "<-- CLogReportDlg::OnDestroy()");
}

BOOL CLogReportDlg::ReadDate(UINT nMonth, UINT nDay, UINT nYear, CTime* pDate)
{
    int nM = EditValue(this, nMonth), nD = EditValue(this, nDay), nY = EditValue(this, nYear);
    if (nY < 1970 || nY > 2037 || nM < 1 || nM > 12 || nD < 1 || nD > 31)
        return FALSE;
    *pDate = CTime(nY, nM, nD, 0, 0, 0);
    // A day the month does not have (31 April) is no date of the calendar.
    return pDate->GetDay() == nD && pDate->GetMonth() == nM;
}

void CLogReportDlg::OnButtonViewLog()
{
    VGLTRACE(1, "--> CLogReportDlg::OnButtonViewLog()");
    CTime from, to;
    if (ReadDate(IDC_LOG_FROM_MONTH, IDC_LOG_FROM_DAY, IDC_LOG_FROM_YEAR, &from) &&
        ReadDate(IDC_LOG_TO_MONTH, IDC_LOG_TO_DAY, IDC_LOG_TO_YEAR, &to) && from <= to && ValidateDates(from, to))
    {
        to += CTimeSpan(0, 23, 59, 59);
        CWaitCursor wait;
        m_loader.Wait(LOADING_THREAD_WAIT);
        CFlagEventGuard scanning(g_eventScanning);
        VGLTRACE(3, "CViewLogDlg(%s, %s)", (LPCSTR)from.Format("%Y/%m/%d %H:%M:%S"),
                 (LPCSTR)to.Format("%Y/%m/%d %H:%M:%S"));
        CViewLogDlg dlg(from, to, this);
        dlg.DoModal();
    }
    else
    {
        ShowMessage(this, LoadText(IDS_LOG_BAD_RANGE), MB_OK | MB_ICONSTOP);
    }
    VGLTRACE(2, "<-- CLogReportDlg::OnButtonViewLog()");
}

void CLogReportDlg::OnButtonKeepingDays()
{
    CFlagEventGuard scanning(g_eventScanning);
    CKeepingDaysDlg dlg(m_iKeepingDays, this);
    if (dlg.DoModal() != IDOK)
        return;
    m_iKeepingDays = dlg.m_nDays;
    CString str;
    str.Format("%d", m_iKeepingDays);
    SetDlgItemText(IDC_LOG_KEEPING_DAYS, str);
    NS_RegistryKey::SetLogRemainingDays((DWORD)m_iKeepingDays);
    VGLTRACE(3, "NS_RegistryKey::SetLogRemainingDays(m_iKeepingDays = %d)", m_iKeepingDays);
}

void CLogReportDlg::OnKillFocusDateField(UINT nID)
{
    int nLower, nUpper;
    if (!m_fInitialized || m_fCheckingField || !GetFieldRange(nID, &nLower, &nUpper))
        return;
    int nValue = EditValue(this, nID);
    if (nValue >= nLower && nValue <= nUpper)
        return;
    // The box takes the focus from the edit: that loss is not checked again.
    m_fCheckingField = TRUE;
    ShowRangeMessage(this, nLower, nUpper);
    ReturnToEdit(GetDlgItem(nID));
    m_fCheckingField = FALSE;
}

/////////////////////////////////////////////////////////////////////////////
// CKeepingDaysEdit, CKeepingDaysDlg

BEGIN_MESSAGE_MAP(CKeepingDaysEdit, CEdit)
    ON_WM_KILLFOCUS()
END_MESSAGE_MAP()

void CKeepingDaysEdit::OnKillFocus(CWnd* pNewWnd)
{
    if (pNewWnd != NULL && pNewWnd->GetDlgCtrlID() == IDCANCEL && pNewWnd->GetParent() == GetParent())
        return;
    CEdit::OnKillFocus(pNewWnd);
}

CKeepingDaysDlg::CKeepingDaysDlg(int nDays, CWnd* pParent) : CDialog(IDD, pParent), m_nDays(nDays), m_fInitialized(FALSE)
{
}

BOOL CKeepingDaysDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_edit.SubclassDlgItem(IDC_KEEPING_DAYS_EDIT, this);
    SendDlgItemMessage(IDC_KEEPING_DAYS_SPIN, UDM_SETRANGE32, MIN_DAYS, MAX_DAYS);
    CString str;
    str.Format("%d", m_nDays);
    m_edit.SetWindowText(str);
    m_fInitialized = TRUE;
    m_edit.SendMessage(EM_LIMITTEXT, 2, 0);
    return TRUE;
}

void CKeepingDaysDlg::OnOK()
{
    int nValue = EditValue(this, IDC_KEEPING_DAYS_EDIT);
    if (nValue < MIN_DAYS || nValue > MAX_DAYS)
    {
        ShowRangeMessage(this, MIN_DAYS, MAX_DAYS);
        CString str;
        str.Format("%d", m_nDays);
        m_edit.SetWindowText(str);
        ReturnToEdit(&m_edit);
        return;
    }
    m_nDays = nValue;
    EndDialog(IDOK);
}

/////////////////////////////////////////////////////////////////////////////
// CViewLogDlg

BEGIN_MESSAGE_MAP(CViewLogDlg, CDialog)
    ON_WM_DESTROY()
    ON_NOTIFY(LVN_GETDISPINFOA, IDC_VIEWLOG_LIST, OnGetDispInfo)
    ON_NOTIFY(LVN_COLUMNCLICK, IDC_VIEWLOG_LIST, OnColumnClick)
    ON_BN_CLICKED(IDC_VIEWLOG_HELP, OnHelpButton)
END_MESSAGE_MAP()

CViewLogDlg::CViewLogDlg(const CTime& from, const CTime& to, CWnd* pParent)
    : CDialog(IDD, pParent), m_logReport(NS_LogReport::GetLogReport(), from, to)
{
}

CViewLogDlg::~CViewLogDlg()
{
    if (g_pViewLogDlg == this)
        g_pViewLogDlg = NULL;
}

CString CViewLogDlg::GetColumnText(const CLogReportItem& item, int nColumn, int cchMax)
{
    CString str;
    switch (nColumn)
    {
    case 0:
        return item.GetEventKindText();
    case 1:
        return item.GetDateTimeText();
    case 2:
        if (item.m_strCompressedFile.IsEmpty())
            return item.m_strPath;
        str.Format("%s (%s)", (LPCSTR)item.m_strPath, (LPCSTR)item.m_strCompressedFile);
        return str;
    case 3:
        return item.m_strVirus.IsEmpty() ? LoadText(IDS_COMPRESSED_TOO_DEEP) : item.m_strVirus;
    case 4:
    {
        str = item.GetResultText();
        BOOL fFailedMove = item.m_nFirstAction == LOG_ACTION_MOVE && item.m_nFirstStatus == 0;
        BOOL fFailedDelete = item.m_nFirstAction == LOG_ACTION_DELETE && item.m_nFirstStatus == 0;
        BOOL fFailedCleanAndMove = item.m_nFirstAction == LOG_ACTION_CLEAN && item.m_nFirstStatus == 0 &&
                                   item.m_nSecondAction == LOG_ACTION_MOVE && item.m_nSecondStatus == 0;
        if (!item.m_strCompressedFile.IsEmpty() && !item.m_strPath.IsEmpty() &&
            (fFailedMove || fFailedDelete || fFailedCleanAndMove))
        {
            CString strNote;
            strNote.Format(LoadText(IDS_ZIP_MEMBER_LEFT), (LPCSTR)item.GetFileName());
            str += " " + strNote;
        }
        if (cchMax > 0 && str.GetLength() > cchMax - 1)
            str = str.Left(cchMax - 1);
        return str;
    }
    default:
        return str;
    }
}

int CViewLogDlg::CompareItems(const CLogReportItem* p1, const CLogReportItem* p2, int nColumn)
{
    switch (nColumn)
    {
    case 0:
        return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, p1->GetEventKindText(), -1, p2->GetEventKindText(), -1) - 2;
    case 1:
        return p1->m_time < p2->m_time ? -1 : (p1->m_time == p2->m_time ? 0 : 1);
    case 2:
        return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, GetColumnText(*p1, 2), -1, GetColumnText(*p2, 2), -1) - 2;
    case 3:
        return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, p1->m_strVirus, -1, p2->m_strVirus, -1) - 2;
    case 4:
        return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, p1->GetResultText(), -1, p2->GetResultText(), -1) - 2;
    default:
        return 0;
    }
}

namespace
{
int CALLBACK compareLogRows(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    int nResult = CViewLogDlg::CompareItems(reinterpret_cast<const CLogReportItem*>(lParam1),
                                            reinterpret_cast<const CLogReportItem*>(lParam2), (int)lParamSort);
    BOOL fAscending = g_pViewLogDlg == NULL || g_pViewLogDlg->m_header.m_bSortAscending;
    return fAscending ? nResult : -nResult;
}
}

BOOL CViewLogDlg::OnInitDialog()
{
    VGLTRACE(1, "--> CViewLogDlg::OnInitDialog()");
    CDialog::OnInitDialog();
    g_pViewLogDlg = this;
    m_list.SubclassDlgItem(IDC_VIEWLOG_LIST, this);
    CHeaderCtrl* pHeader = m_list.GetHeaderCtrl();
    if (pHeader != NULL)
        m_header.SubclassWindow(pHeader->m_hWnd);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    CWaitCursor wait;

    CRect rc;
    m_list.GetClientRect(&rc);
    int cx = rc.Width() - 2 * (2 + ::GetSystemMetrics(SM_CXVSCROLL) / 2);
    const struct { UINT nText; int nParts; } columns[] = {
        {IDS_LOGCOL_KIND, 3}, {IDS_LOGCOL_DATETIME, 5}, {IDS_LOGCOL_FILE, 5}, {IDS_LOGCOL_VIRUS, 4}, {IDS_LOGCOL_RESULT, 3}};
    for (int i = 0; i < 5; i++)
        m_list.InsertColumn(i, LoadText(columns[i].nText), LVCFMT_LEFT, cx * columns[i].nParts / 20, i);
    FillList();
    VGLTRACE(2, "<-- CViewLogDlg::OnInitDialog(), %d rows", m_list.GetItemCount());
    return TRUE;
}

void CViewLogDlg::FillList()
{
    int nRow = 0;
    for (int nDay = 0; nDay < m_logReport.GetDayCount(); nDay++)
    {
        CLogReportArray* pDay = m_logReport.GetDayArray(nDay);
        for (int i = 0; pDay != NULL && i < pDay->GetSize(); i++)
        {
            CLogReportItem* pItem = pDay->GetItem(i);
            if (pItem == NULL)
                continue;
            LVITEMA lvi = {};
            lvi.mask = LVIF_TEXT | LVIF_PARAM;
            lvi.iItem = nRow;
            lvi.pszText = LPSTR_TEXTCALLBACKA;
            lvi.lParam = reinterpret_cast<LPARAM>(pItem);
            int nIndex = m_list.InsertItem(&lvi);
            if (nIndex >= 0)
            {
                m_list.EnsureVisible(nIndex, FALSE);
                nRow++;
            }
        }
    }
    CString str;
    str.Format(LoadText(IDS_VIEWLOG_COUNT), nRow);
    SetDlgItemText(IDC_VIEWLOG_COUNT, str);
}

void CViewLogDlg::OnDestroy()
{
    if (g_pViewLogDlg == this)
        g_pViewLogDlg = NULL;
    CDialog::OnDestroy();
}

void CViewLogDlg::OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVDISPINFOA* pInfo = reinterpret_cast<NMLVDISPINFOA*>(pNMHDR);
    const CLogReportItem* pItem = reinterpret_cast<const CLogReportItem*>(pInfo->item.lParam);
    if ((pInfo->item.mask & LVIF_TEXT) && pItem != NULL && pInfo->item.pszText != NULL && pInfo->item.cchTextMax > 0)
        lstrcpynA(pInfo->item.pszText, GetColumnText(*pItem, pInfo->item.iSubItem, pInfo->item.cchTextMax),
                  pInfo->item.cchTextMax);
    *pResult = 0;
}

void CViewLogDlg::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLISTVIEW* pView = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    CWaitCursor wait;
    m_header.SetSortImage(pView->iSubItem, !m_header.m_bSortAscending);
    m_list.SortItems(compareLogRows, (DWORD_PTR)pView->iSubItem);
    VGLTRACE(3, "CViewLogDlg sorted by column %d, %s", pView->iSubItem,
             m_header.m_bSortAscending ? "ascending" : "descending");
    *pResult = 0;
}

void CViewLogDlg::OnHelpButton()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp != NULL)
        pApp->WinHelp(HELP_VIEW_LOG, HELP_CONTEXT);
}

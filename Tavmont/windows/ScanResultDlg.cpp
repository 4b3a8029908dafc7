// The scan-result page. Its callbacks arrive on the scan's threads; the list is a window of the
// UI thread, which serves those calls while it runs the scan's dialog.
#include "ScanResultDlg.h"

#include "CommonScanINI.h"
#include "Globals.h"
#include "LogTracker.h"
#include "ServerSettings.h"
#include "Vexor.h"
#include "VirusFoundDlg.h"
#include "resource_ids.h"

namespace
{
const int MAX_ROWS = 5000;
const UINT WM_SHOW_COUNTS = WM_USER + 10;
const UINT WM_PAGE_UPDATE = WM_USER + 11;

CString LoadText(UINT nID, LPCSTR pszDefault)
{
    CString str;
    if (!str.LoadString(nID))
        str = pszDefault;
    return str;
}

CString FileNamePart(LPCSTR pszPath)
{
    CString strPath = pszPath ? pszPath : "";
    int nSlash = strPath.ReverseFind('\\');
    return nSlash >= 0 ? strPath.Mid(nSlash + 1) : strPath;
}

BOOL IsActionable(DWORD dwData)
{
    return LOWORD(dwData) != 0;
}

int FirstActionOf(DWORD dwData)
{
    return HIWORD(dwData);
}

// A row's data is the DWORD it was added with (its first action and whether it can be acted
// on), never an address: it fits.
DWORD RowDataOf(const CListCtrl& list, int nRow)
{
    return (DWORD)list.GetItemData(nRow);
}

// The last extension of a row's file, upper-cased, with its dot.
CString ExtensionOf(const CString& strFile)
{
    int nDot = strFile.ReverseFind('.');
    int nSlash = strFile.ReverseFind('\\');
    if (nDot < 0 || nDot < nSlash)
        return "";
    CString str = strFile.Mid(nDot);
    str.MakeUpper();
    return str;
}
}

BOOL isStillInfected(int nFirstAction, int nFirstResult, int nSecondAction, int nSecondResult)
{
    switch (nFirstAction)
    {
    case VEXOR_ACTION_RENAME:
    case VEXOR_ACTION_MOVE:
    case VEXOR_ACTION_DELETE:
        return !nFirstResult;
    case VEXOR_ACTION_CLEAN:
        if (nFirstResult)
            return FALSE;
        if (nSecondAction == VEXOR_ACTION_RENAME || nSecondAction == VEXOR_ACTION_MOVE ||
            nSecondAction == VEXOR_ACTION_DELETE)
            return !nSecondResult;
        return TRUE;
    default:
        return TRUE;
    }
}

BEGIN_MESSAGE_MAP(CScanResultDlg, CDialog)
    ON_BN_CLICKED(IDC_RESULT_CLEAN, OnButtonClean)
    ON_BN_CLICKED(IDC_RESULT_DELETE, OnButtonDelete)
    ON_BN_CLICKED(IDC_RESULT_RENAME, OnButtonRename)
    ON_BN_CLICKED(IDC_RESULT_CLEAR, OnButtonClear)
    ON_BN_CLICKED(IDC_RESULT_INFO, OnButtonVirusInfo)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULT_LIST, OnListChanged)
    ON_NOTIFY(NM_CLICK, IDC_RESULT_LIST, OnListClick)
    ON_NOTIFY(LVN_KEYDOWN, IDC_RESULT_LIST, OnListKeyDown)
    ON_MESSAGE(WM_SHOW_COUNTS, OnShowCounts)
    ON_MESSAGE(WM_PAGE_UPDATE, OnPageUpdate)
END_MESSAGE_MAP()

CScanResultDlg::CScanResultDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_fResetPending(FALSE), m_fUpdatePosted(0), m_pSettings(NULL), m_nVirusCount(0),
      m_nScannedCount(0), m_nCleanedCount(0), m_fCountsPosted(0)
{
    m_szEncyclopediaUrl[0] = '\0';
    for (int i = 0; i < TEXT_COUNT; i++)
        m_afTextPending[i] = FALSE;
}

CScanResultDlg::~CScanResultDlg()
{
}

BOOL CScanResultDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    readVirusEncyclopediaUrl(m_szEncyclopediaUrl);
    m_list.Attach(::GetDlgItem(m_hWnd, IDC_RESULT_LIST));
    CRect rc;
    m_list.GetClientRect(&rc);
    int nWidth = rc.Width() - 2 * (2 + ::GetSystemMetrics(SM_CXVSCROLL) / 2);
    m_list.InsertColumn(0, LoadText(IDS_RESULT_COLUMN_FILE, "File"), LVCFMT_LEFT, nWidth * 4 / 10);
    m_list.InsertColumn(1, LoadText(IDS_RESULT_COLUMN_VIRUS, "Virus"), LVCFMT_LEFT, nWidth * 2 / 10);
    m_list.InsertColumn(2, LoadText(IDS_RESULT_COLUMN_RESULT, "Result"), LVCFMT_LEFT, nWidth * 4 / 10);
    m_list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE |
                            LVS_EX_UNDERLINEHOT);
    ResetResults();
    return TRUE;
}

BOOL CScanResultDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

void CScanResultDlg::ShowCount(int nID, int n)
{
    if (m_hWnd == NULL)
        return;
    // From a scan's thread the counts are shown by the page's own thread, one refresh at a time.
    if (::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
    {
        if (InterlockedExchange(&m_fCountsPosted, 1) == 0 && !PostMessage(WM_SHOW_COUNTS, 0, 0))
            InterlockedExchange(&m_fCountsPosted, 0);
        return;
    }
    CString str;
    str.Format("%ld", (long)n);
    SetDlgItemText(nID, str);
}

LRESULT CScanResultDlg::OnShowCounts(WPARAM, LPARAM)
{
    InterlockedExchange(&m_fCountsPosted, 0);
    ShowCount(IDC_RESULT_VIRUS_COUNT, m_nVirusCount);
    ShowCount(IDC_RESULT_SCANNED, m_nScannedCount);
    ShowCount(IDC_RESULT_CLEANED, m_nCleanedCount);
    return 0;
}

void CScanResultDlg::SetScanTime(const CTimeSpan& span)
{
    if (m_hWnd == NULL)
        return;
    SetPageText(TEXT_TIME, span.Format(LoadText(IDS_RESULT_TIME_FORMAT, "%H:%M:%S")));
}

void CScanResultDlg::SetVirusCount(int n)
{
    m_nVirusCount = n;
    ShowCount(IDC_RESULT_VIRUS_COUNT, n);
}

void CScanResultDlg::SetScannedCount(int n)
{
    m_nScannedCount = n;
    ShowCount(IDC_RESULT_SCANNED, n);
}

void CScanResultDlg::SetCleanedCount(int n)
{
    m_nCleanedCount = n;
    ShowCount(IDC_RESULT_CLEANED, n);
}

void CScanResultDlg::IncrementScannedCount()
{
    SetScannedCount(InterlockedIncrement((LONG*)&m_nScannedCount));
}

void CScanResultDlg::ResetResults()
{
    SetScanTime(CTimeSpan(0));
    SetVirusCount(0);
    SetScannedCount(0);
    SetCleanedCount(0);
    {
        CSingleLock lock(&m_cs, TRUE);
        m_arrPending.RemoveAll();
        m_fResetPending = TRUE;
    }
    SetPageText(TEXT_LAST_VIRUS, "");
    if (m_hWnd != NULL && ::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
        PostPageUpdate();
    else
        OnPageUpdate(0, 0);
}

void CScanResultDlg::AddVirusEvent(IOT_EVENT* pEvent, CCommonScanINI* pSettings, BOOL fRelease, BOOL fAddRow)
{
    m_pSettings = pSettings;
    if (pEvent != NULL && pEvent->nKind == IOT_EVENT_VIRUS && pSettings != NULL)
    {
        if (pEvent->nFirstAction == VEXOR_ACTION_CLEAN && pEvent->nFirstResult)
            SetCleanedCount(m_nCleanedCount + 1);
        if (m_hWnd != NULL)
            SetPageText(TEXT_LAST_ACTION, pSettings->GetLogActionText(pEvent->nFirstAction));
        if (fAddRow)
        {
            CString strPath = pEvent->pszFile ? pEvent->pszFile : "";
            CString strFile = strPath;
            CString strVirus = pEvent->pszVirus ? pEvent->pszVirus : "";
            CString strResult = pSettings->FormatActionResult(pEvent->nFirstAction, pEvent->nFirstResult,
                                                              pEvent->nSecondAction, pEvent->nSecondResult);
            BOOL fMember = pEvent->nLayerCount != 0 && pEvent->nLayerCount != -1;
            if (pEvent->nLayerCount == -1)
                strVirus = LoadText(IDS_COMPRESSED_TOO_DEEP, "(compressed too deep)");
            if (fMember)
            {
                CString strMember = pEvent->apszLayers[0] ? pEvent->apszLayers[0] : "";
                strFile.Format("%s (%s)", (LPCSTR)strMember, (LPCSTR)strPath);
                BOOL fFirstFailed = !pEvent->nFirstResult && (pEvent->nFirstAction == VEXOR_ACTION_MOVE ||
                                                              pEvent->nFirstAction == VEXOR_ACTION_DELETE);
                BOOL fCleanThenMoveFailed = !pEvent->nFirstResult && pEvent->nFirstAction == VEXOR_ACTION_CLEAN &&
                                            pEvent->nSecondAction == VEXOR_ACTION_MOVE && !pEvent->nSecondResult;
                if (fFirstFailed || fCleanThenMoveFailed)
                    strResult.Format(LoadText(IDS_ZIP_MEMBER_LEFT, "%s left in the compressed file"),
                                     (LPCSTR)FileNamePart(strMember));
            }
            SetVirusCount(m_nVirusCount + 1);
            if (!strVirus.IsEmpty() && m_hWnd != NULL)
                SetPageText(TEXT_LAST_VIRUS, strVirus);
            BOOL fActionable = pSettings->m_fAllowCfg && !fMember &&
                               isStillInfected(pEvent->nFirstAction, pEvent->nFirstResult, pEvent->nSecondAction,
                                               pEvent->nSecondResult);
            AddRow(strFile, strPath, strVirus, strResult, MAKELONG(fActionable ? 1 : 0, pEvent->nFirstAction));
        }
    }
    if (fRelease && pEvent != NULL)
        g_vexor.ReleaseEvent(pEvent);
}

void CScanResultDlg::AddRow(const CString& strFile, const CString& strPath, const CString& strVirus,
                            const CString& strResult, DWORD dwData)
{
    VGLTRACE(3, "Scan result row: %s|%s|%s|%d", (LPCSTR)strFile, (LPCSTR)strVirus, (LPCSTR)strResult,
             (int)LOWORD(dwData));
    if (m_list.m_hWnd == NULL)
        return;
    {
        CSingleLock lock(&m_cs, TRUE);
        SPendingRow row = {strFile, strPath, strVirus, strResult, dwData};
        m_arrPending.Add(row);
    }
    if (::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
        PostPageUpdate();
    else
        OnPageUpdate(0, 0);
}

void CScanResultDlg::SetPageText(int nText, const CString& strText)
{
    static const int s_anIds[TEXT_COUNT] = {IDC_RESULT_TIME, IDC_RESULT_LAST_ACTION, IDC_RESULT_LAST_VIRUS};
    if (m_hWnd == NULL)
        return;
    BOOL fOwnThread = ::GetWindowThreadProcessId(m_hWnd, NULL) == ::GetCurrentThreadId();
    {
        CSingleLock lock(&m_cs, TRUE);
        m_astrPendingTexts[nText] = strText;
        m_afTextPending[nText] = !fOwnThread;
    }
    if (fOwnThread)
        SetDlgItemText(s_anIds[nText], strText);
    else
        PostPageUpdate();
}

void CScanResultDlg::PostPageUpdate()
{
    if (InterlockedExchange(&m_fUpdatePosted, 1) == 0 && !PostMessage(WM_PAGE_UPDATE, 0, 0))
        InterlockedExchange(&m_fUpdatePosted, 0);
}

LRESULT CScanResultDlg::OnPageUpdate(WPARAM, LPARAM)
{
    InterlockedExchange(&m_fUpdatePosted, 0);
    CArray<SPendingRow, const SPendingRow&> arrRows;
    BOOL fReset;
    CString astrTexts[TEXT_COUNT];
    BOOL afTexts[TEXT_COUNT];
    {
        CSingleLock lock(&m_cs, TRUE);
        arrRows.Copy(m_arrPending);
        m_arrPending.RemoveAll();
        fReset = m_fResetPending;
        m_fResetPending = FALSE;
        for (int i = 0; i < TEXT_COUNT; i++)
        {
            afTexts[i] = m_afTextPending[i];
            astrTexts[i] = m_astrPendingTexts[i];
            m_afTextPending[i] = FALSE;
        }
    }
    for (int i = 0; i < TEXT_COUNT; i++)
        if (afTexts[i])
            SetPageText(i, astrTexts[i]);
    if (fReset)
    {
        m_arrRowPaths.RemoveAll();
        if (m_list.m_hWnd != NULL)
            m_list.DeleteAllItems();
        if (m_hWnd != NULL)
            ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_CLEAR), FALSE);
    }
    for (int i = 0; i < arrRows.GetSize(); i++)
    {
        const SPendingRow& row = arrRows.ElementAt(i);
        InsertRow(row.strFile, row.strPath, row.strVirus, row.strResult, row.dwData);
    }
    if (fReset)
        UpdateButtons();
    return 0;
}

void CScanResultDlg::InsertRow(const CString& strFile, const CString& strPath, const CString& strVirus,
                               const CString& strResult, DWORD dwData)
{
    if (m_list.m_hWnd == NULL)
        return;
    if (m_list.GetItemCount() > MAX_ROWS - 1)
    {
        m_list.DeleteItem(0);
        if (m_arrRowPaths.GetSize() > 0)
            m_arrRowPaths.RemoveAt(0);
    }
    int nRow = m_list.InsertItem(m_list.GetItemCount(), strFile);
    m_list.SetItemText(nRow, 1, strVirus);
    m_list.SetItemText(nRow, 2, strResult);
    m_list.SetItemData(nRow, dwData);
    m_arrRowPaths.SetAtGrow(nRow, strPath);
    m_list.EnsureVisible(nRow, FALSE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_CLEAR), TRUE);
}

int CScanResultDlg::ActOnSelected(int nAction)
{
    int nSuccesses = 0;
    for (int nRow = m_list.GetNextItem(-1, LVNI_SELECTED); nRow >= 0; nRow = m_list.GetNextItem(nRow, LVNI_SELECTED))
    {
        DWORD dwData = RowDataOf(m_list, nRow);
        if (!IsActionable(dwData))
            continue;
        // The row's own file, whatever its name holds: never a file its name only resembles.
        CString strPath = nRow < m_arrRowPaths.GetSize() ? m_arrRowPaths[nRow] : CString();
        DWORD dwResult = 0;
        if (!strPath.IsEmpty())
        {
            g_ManualScanINI.SetVexorOptions(g_vexor);
            dwResult = g_vexor.ActOnFile(strPath, nAction);
            VGLTRACE(3, "ActOnFile(%s, %d) = %lu", (LPCSTR)strPath, nAction, (unsigned long)dwResult);
            if (dwResult != 0)
            {
                ++nSuccesses;
                if (nAction == VEXOR_ACTION_CLEAN)
                    SetCleanedCount(m_nCleanedCount + 1);
            }
        }
        m_list.SetItemText(nRow, 2, m_pSettings ? m_pSettings->GetActionSettingText(nAction, dwResult != 0) : CString());
        m_list.SetItemData(nRow, MAKELONG(0, FirstActionOf(dwData)));
    }
    return nSuccesses;
}

void CScanResultDlg::UpdateButtons()
{
    if (m_hWnd == NULL || m_list.m_hWnd == NULL)
        return;
    int nSelected = 0;
    BOOL fAllActionable = TRUE, fNoCleaned = TRUE, fNoRB = TRUE, fNoVir = TRUE;
    int nFirst = -1;
    for (int nRow = m_list.GetNextItem(-1, LVNI_SELECTED); nRow >= 0; nRow = m_list.GetNextItem(nRow, LVNI_SELECTED))
    {
        if (nFirst < 0)
            nFirst = nRow;
        ++nSelected;
        DWORD dwData = RowDataOf(m_list, nRow);
        if (!IsActionable(dwData))
            fAllActionable = FALSE;
        if (FirstActionOf(dwData) == VEXOR_ACTION_CLEAN)
            fNoCleaned = FALSE;
        CString strExt = ExtensionOf(m_list.GetItemText(nRow, 0));
        if (strExt.Find(".RB") >= 0)
            fNoRB = FALSE;
        if (strExt.Find(".VR") >= 0 || strExt.Find(".VIR") >= 0)
            fNoVir = FALSE;
    }
    BOOL fAny = nSelected > 0;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_CLEAN), fAny && fAllActionable && fNoCleaned && fNoRB);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_DELETE), fAny && fAllActionable);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_RENAME), fAny && fAllActionable && fNoVir);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RESULT_INFO), fAny && !m_list.GetItemText(nFirst, 1).IsEmpty());
}

void CScanResultDlg::OnActionButton(UINT nConfirmID, UINT nDoneID, int nAction, UINT uDefault)
{
    int nSelected = m_list.GetSelectedCount();
    CString strConfirm;
    strConfirm.Format(LoadText(nConfirmID, "%d"), nSelected);
    VGLTRACE(3, "Scan result action %d on %d rows: asking", nAction, nSelected);
    if (::MessageBoxA(m_hWnd, strConfirm, GetAppTitle(), MB_OKCANCEL | MB_ICONQUESTION | uDefault) == IDOK)
    {
        int nDone = ActOnSelected(nAction);
        UpdateButtons();
        CString strDone;
        strDone.Format(LoadText(nDoneID, "%d"), nDone);
        VGLTRACE(3, "Scan result action %d: %d done", nAction, nDone);
        ::MessageBoxA(m_hWnd, strDone, GetAppTitle(), MB_OK | MB_ICONINFORMATION);
    }
    if (nSelected > 0)
        m_list.SetFocus();
}

void CScanResultDlg::OnButtonClean()
{
    OnActionButton(IDS_CONFIRM_CLEAN, IDS_DONE_CLEAN, VEXOR_ACTION_CLEAN, MB_DEFBUTTON1);
}

void CScanResultDlg::OnButtonDelete()
{
    OnActionButton(IDS_CONFIRM_DELETE, IDS_DONE_DELETE, VEXOR_ACTION_DELETE, MB_DEFBUTTON2);
}

void CScanResultDlg::OnButtonRename()
{
    OnActionButton(IDS_CONFIRM_RENAME, IDS_DONE_RENAME, VEXOR_ACTION_RENAME, MB_DEFBUTTON1);
}

void CScanResultDlg::OnButtonClear()
{
    ResetResults();
}

void CScanResultDlg::OpenEncyclopedia(int nRow)
{
    openVirusEncyclopedia(m_szEncyclopediaUrl, &m_list, nRow, 1);
}

void CScanResultDlg::OnButtonVirusInfo()
{
    int nRow = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (nRow >= 0)
        OpenEncyclopedia(nRow);
}

void CScanResultDlg::OnListChanged(NMHDR*, LRESULT* pResult)
{
    UpdateButtons();
    *pResult = 0;
}

void CScanResultDlg::OnListClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMITEMACTIVATE* pItem = (NMITEMACTIVATE*)pNMHDR;
    UpdateButtons();
    if (pItem->iItem >= 0 && pItem->iSubItem == 1)
        OpenEncyclopedia(pItem->iItem);
    *pResult = 0;
}

void CScanResultDlg::OnListKeyDown(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
}

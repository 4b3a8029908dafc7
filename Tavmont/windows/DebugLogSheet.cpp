// The debug log viewer's sheet and pages.
#include "DebugLogSheet.h"

#include "LogReport.h"
#include "PostedObjects.h"
#include "ServerSettings.h"
#include "resource_ids.h"

namespace
{
// A row on its way to a page: lParam of the message, freed by the page (or by the sender
// when it cannot be posted).
const UINT WM_DEBUG_ADD_ROW = WM_USER + 100;
// The rows on their way to a page.
CPostedObjects g_postedRows;

struct SDebugRow
{
    CString astrTexts[4];
};

CString CodeText(int nCode)
{
    CString str;
    str.Format("%d", nCode);
    return str;
}
}

CString FormatDebugTime(const CTime& time)
{
    CString str;
    str.Format("%d/%d/%d %d:%d:%d", time.GetYear(), time.GetMonth(), time.GetDay(), time.GetHour(),
               time.GetMinute(), time.GetSecond());
    return str;
}

// ---- CDebugPage ----

BEGIN_MESSAGE_MAP(CDebugPage, CPropertyPage)
    ON_MESSAGE(WM_DEBUG_ADD_ROW, OnAddRow)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CDebugPage::CDebugPage(UINT nIDTemplate, int nColumns)
    : CPropertyPage(nIDTemplate), m_nColumns(nColumns), m_nCount(0)
{
}

CDebugPage::~CDebugPage()
{
}

BOOL CDebugPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_list.SubclassDlgItem(IDC_DEBUG_LIST, this);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    CWaitCursor wait;
    CRect rc;
    m_list.GetClientRect(&rc);
    int w = rc.Width() - ::GetSystemMetrics(SM_CXVSCROLL) / 2 - 2 * 2;
    CString strHeader;
    if (m_nColumns == 2)
    {
        strHeader.LoadString(IDS_DEBUG_COLUMN_TIME);
        m_list.InsertColumn(0, strHeader, LVCFMT_LEFT, w * 2 / 10);
        strHeader.LoadString(IDS_DEBUG_COLUMN_LOG);
        m_list.InsertColumn(1, strHeader, LVCFMT_LEFT, (w * 8 / 10) * 10);
    }
    else
    {
        // The text columns are ten times their share: long texts are read by scrolling.
        static const UINT s_anHeaders[4] = {IDS_DEBUG_COLUMN_CODE, IDS_DEBUG_COLUMN_TIME, IDS_DEBUG_COLUMN_LOG,
                                            IDS_DEBUG_COLUMN_ERROR};
        const int anWidths[4] = {w * 2 / 10, w * 2 / 10, (w * 4 / 10) * 10, (w * 2 / 10) * 10};
        for (int i = 0; i < 4; i++)
        {
            strHeader.LoadString(s_anHeaders[i]);
            m_list.InsertColumn(i, strHeader, LVCFMT_LEFT, anWidths[i]);
        }
    }
    return TRUE;
}

void CDebugPage::PostRow(const CString* pTexts)
{
    HWND hWnd = m_hWnd;
    if (hWnd == NULL)
        return;
    SDebugRow* pRow = new SDebugRow;
    for (int i = 0; i < m_nColumns; i++)
        pRow->astrTexts[i] = pTexts[i];
    if (!g_postedRows.Post(hWnd, WM_DEBUG_ADD_ROW, 0, pRow))
        delete pRow;
}

LRESULT CDebugPage::OnAddRow(WPARAM, LPARAM lParam)
{
    if (!g_postedRows.Take(lParam))
        return 0;
    SDebugRow* pRow = (SDebugRow*)lParam;
    if (m_list.GetSafeHwnd() != NULL)
    {
        if (m_list.GetItemCount() > MAX_ROWS)
            m_list.DeleteItem(0);
        int nItem = m_list.InsertItem(m_list.GetItemCount(), pRow->astrTexts[0]);
        for (int i = 1; i < m_nColumns; i++)
            m_list.SetItemText(nItem, i, pRow->astrTexts[i]);
        m_list.EnsureVisible(nItem, FALSE);
        m_nCount++;
        CString strFormat, strCount;
        strFormat.LoadString(IDS_DEBUG_COUNT);
        strCount.Format(strFormat, m_nCount);
        SetDlgItemText(IDC_DEBUG_COUNT, strCount);
    }
    delete pRow;
    return 0;
}

void CDebugPage::OnDestroy()
{
    // Rows still on their way die with the window.
    MSG msg;
    while (::PeekMessageA(&msg, m_hWnd, WM_DEBUG_ADD_ROW, WM_DEBUG_ADD_ROW, PM_REMOVE))
    {
        if (g_postedRows.Take(msg.lParam))
            delete (SDebugRow*)msg.lParam;
    }
    CPropertyPage::OnDestroy();
}

// ---- the five pages ----

CDebugNotificationPage::CDebugNotificationPage() : CDebugPage(IDD_DEBUG_NOTIFICATION, 2) {}

void CDebugNotificationPage::AddEntry(const CString& strText)
{
    CString astr[2] = {FormatDebugTime(CTime::GetCurrentTime()), strText};
    PostRow(astr);
}

CDebugStatusLogPage::CDebugStatusLogPage() : CDebugPage(IDD_DEBUG_STATUS_LOG, 4) {}

void CDebugStatusLogPage::AddEntry(int nCode, const NS_Notification::StatusLogType& record, const CString& strLog,
                                   const CString& strError)
{
    CString astr[4] = {CodeText(nCode), FormatDebugTime(record.m_time), strLog, strError};
    PostRow(astr);
}

CDebugVirusLogPage::CDebugVirusLogPage() : CDebugPage(IDD_DEBUG_VIRUS_LOG, 4) {}

CDebugVirusLogPage::CDebugVirusLogPage(UINT nIDTemplate) : CDebugPage(nIDTemplate, 4) {}

void CDebugVirusLogPage::AddEntry(int nCode, const CLogReportItem& item, const CString& strLog,
                                  const CString& strError)
{
    CString astr[4] = {CodeText(nCode), item.GetDateTimeText(), strLog, strError};
    PostRow(astr);
}

CDebugUnsentVirusLogPage::CDebugUnsentVirusLogPage() : CDebugVirusLogPage(IDD_DEBUG_UNSENT_VIRUS_LOG) {}

CDebugClientSettingsPage::CDebugClientSettingsPage() : CDebugPage(IDD_DEBUG_CLIENT_SETTINGS, 4) {}

void CDebugClientSettingsPage::AddEntry(int nCode, const SLocalCfgLog& record, const CString& strLog,
                                        const CString& strError)
{
    CString astr[4] = {CodeText(nCode), FormatDebugTime(record.m_time), strLog, strError};
    PostRow(astr);
}

// ---- CDebugLogSheet ----

BEGIN_MESSAGE_MAP(CDebugLogSheet, CPropertySheet)
    ON_WM_SYSCOMMAND()
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CDebugLogSheet::CDebugLogSheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(nIDCaption, pParentWnd, iSelectPage)
{
    AddPages();
}

CDebugLogSheet::CDebugLogSheet(LPCTSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage)
{
    AddPages();
}

CDebugLogSheet::~CDebugLogSheet()
{
}

void CDebugLogSheet::AddPages()
{
    AddPage(&m_pageNotification);
    AddPage(&m_pageStatusLog);
    AddPage(&m_pageVirusLog);
    AddPage(&m_pageUnsentVirusLog);
    AddPage(&m_pageClientSettings);
}

BOOL CDebugLogSheet::PreCreateWindow(CREATESTRUCT& cs)
{
    // Never shown by its creation: the user shows it.
    cs.style &= ~WS_VISIBLE;
    return CPropertySheet::PreCreateWindow(cs);
}

BOOL CDebugLogSheet::OnInitDialog()
{
    BOOL fResult = CPropertySheet::OnInitDialog();
    CenterWindow();
    // Every page and its list exist before the first row arrives.
    int nActive = GetActiveIndex();
    for (int i = 0; i < GetPageCount(); i++)
        SetActivePage(i);
    SetActivePage(nActive);
    return fResult;
}

void CDebugLogSheet::OnSysCommand(UINT nID, LPARAM lParam)
{
    switch (nID & 0xFFF0)
    {
    case SC_MINIMIZE:
    case SC_CLOSE:
        ShowWindow(SW_HIDE);
        return;
    case SC_MAXIMIZE:
        return;
    }
    CPropertySheet::OnSysCommand(nID, lParam);
}

BOOL CDebugLogSheet::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
    {
        ShowWindow(SW_HIDE);
        return TRUE;
    }
    return CPropertySheet::OnCommand(wParam, lParam);
}

void CDebugLogSheet::OnClose()
{
    ShowWindow(SW_HIDE);
}

#include "VirusFoundDlg.h"

#include <shellapi.h>
#include <string.h>

#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "TavmontDlg.h"
#include "resource_ids.h"

namespace
{
const char s_szDefaultEncyclopedia[] = "http://www.vigilon.example/vinfo/virusencyclo/default5.asp";
const int ALERT_LINES_BEFORE_SCROLL = 4;
const UINT HELP_FOUND_LIST = 43;

void RealizePalette(CWnd* pWnd, CPalette* pPalette, BOOL fRedraw)
{
    if (pPalette == NULL || pPalette->GetSafeHandle() == NULL || pWnd->m_hWnd == NULL)
        return;
    HDC hDC = ::GetDC(pWnd->m_hWnd);
    HPALETTE hOld = ::SelectPalette(hDC, (HPALETTE)pPalette->GetSafeHandle(), FALSE);
    UINT nChanged = ::RealizePalette(hDC);
    if (hOld != NULL)
        ::SelectPalette(hDC, hOld, TRUE);
    ::ReleaseDC(pWnd->m_hWnd, hDC);
    if (nChanged != 0 || fRedraw)
        pWnd->Invalidate(TRUE);
}
}

CString escapeAmpersands(const CString& strText)
{
    CString strOut;
    for (int i = 0; i < strText.GetLength(); ++i)
    {
        if (strText[i] == '&')
            strOut += '&';
        strOut += strText[i];
    }
    return strOut;
}

void fitAlertTextScrollBar(CWnd* pEdit)
{
    if (pEdit == NULL || pEdit->m_hWnd == NULL)
        return;
    int nLines = (int)pEdit->SendMessage(EM_GETLINECOUNT);
    pEdit->ShowScrollBar(SB_VERT, nLines > ALERT_LINES_BEFORE_SCROLL);
}

void readVirusEncyclopediaUrl(char* pszUrl)
{
    CString strIni;
    strIni.Format("%s\\%s", (LPCSTR)getWindowsDirectoryPath(), "VglScan.ini");
    GetPrivateProfileStringA("INI_HELP_FILE_SECTION", "Virus_Encyclopedia_URL", s_szDefaultEncyclopedia, pszUrl, 260,
                             strIni);
}

void openVirusEncyclopedia(LPCSTR pszUrl, CListCtrl* pList, int nRow, int nColumn)
{
    if (nRow < 0 || pList == NULL)
        return;
    char szText[260] = "";
    pList->GetItemText(nRow, nColumn, szText, 259);
    if (szText[0] == '\0')
        return;
    CString strAddress;
    strAddress.Format("%s?VName=%s", pszUrl, szText);
    if (strAddress.GetLength() >= 260)
        return;
    VGLTRACE(3, "openVirusEncyclopedia(%s)", (LPCSTR)strAddress);
    ::ShellExecuteA(NULL, "open", strAddress, NULL, NULL, SW_SHOWNORMAL);
}

/////////////////////////////////////////////////////////////////////////////
// The list of real-time findings

BEGIN_MESSAGE_MAP(CRealtimeDriveVirusFoundDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYNEWPALETTE()
    ON_WM_PALETTECHANGED()
    ON_NOTIFY(NM_CLICK, IDC_FOUND_LIST, OnClickList)
    ON_NOTIFY(NM_DBLCLK, IDC_FOUND_LIST, OnClickList)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CRealtimeDriveVirusFoundDlg::CRealtimeDriveVirusFoundDlg(const CString& strAlertText, CDIB* pDIB, CPalette* pPalette,
                                                         CWnd* pParent)
    : CDialog(IDD, pParent), m_strAlertText(strAlertText), m_lCount(0), m_fTopMost(FALSE), m_pDIB(pDIB),
      m_pPalette(pPalette), m_staticBitmap(pDIB, pPalette, 1)
{
    m_szEncyclopediaUrl[0] = '\0';
}

CRealtimeDriveVirusFoundDlg::~CRealtimeDriveVirusFoundDlg()
{
}

BOOL CRealtimeDriveVirusFoundDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    VGLTRACE(1, "--> CRealtimeDriveVirusFoundDlg::OnInitDialog()");
    readVirusEncyclopediaUrl(m_szEncyclopediaUrl);
    if (m_pDIB != NULL && GetDlgItem(IDC_FOUND_BITMAP) != NULL)
        m_staticBitmap.SubclassDlgItem(IDC_FOUND_BITMAP, this);
    m_list.SubclassDlgItem(IDC_FOUND_LIST, this);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE |
                            LVS_EX_UNDERLINEHOT | LVS_EX_HEADERDRAGDROP);
    CRect rect;
    m_list.GetWindowRect(&rect);
    int nWidth = rect.Width() - 2 * (::GetSystemMetrics(SM_CXVSCROLL) / 2 + 2);
    CString strVirus, strFile, strResult;
    strVirus.LoadString(IDS_FOUND_COLUMN_VIRUS);
    strFile.LoadString(IDS_FOUND_COLUMN_FILE);
    strResult.LoadString(IDS_FOUND_COLUMN_RESULT);
    m_list.InsertColumn(0, strVirus, LVCFMT_LEFT, nWidth * 20 / 100);
    m_list.InsertColumn(1, strFile, LVCFMT_LEFT, nWidth * 50 / 100);
    m_list.InsertColumn(2, strResult, LVCFMT_LEFT, nWidth * 30 / 100);
    ShowAlertText();
    ShowCount();
    VGLTRACE(2, "<-- CRealtimeDriveVirusFoundDlg::OnInitDialog()");
    return TRUE;
}

void CRealtimeDriveVirusFoundDlg::ShowAlertText()
{
    if (m_hWnd == NULL)
        return;
    SetDlgItemText(IDC_FOUND_ALERT_TEXT, m_strAlertText);
    fitAlertTextScrollBar(GetDlgItem(IDC_FOUND_ALERT_TEXT));
}

void CRealtimeDriveVirusFoundDlg::ShowCount()
{
    if (m_hWnd == NULL)
        return;
    CString strCount;
    strCount.Format("%ld", (long)m_lCount);
    SetDlgItemText(IDC_FOUND_COUNT, strCount);
}

void CRealtimeDriveVirusFoundDlg::AddRow(LPCSTR pszVirus, LPCSTR pszFile, LPCSTR pszResult, LPCSTR)
{
    if (m_list.m_hWnd == NULL)
        return;
    if (m_list.GetItemCount() >= MAX_ROWS)
        m_list.DeleteItem(0);
    int nRow = m_list.InsertItem(m_list.GetItemCount(), pszVirus);
    m_list.SetItemText(nRow, 1, pszFile);
    m_list.SetItemText(nRow, 2, pszResult);
    m_list.EnsureVisible(nRow, FALSE);
    LONG lCount = InterlockedIncrement(&m_lCount);
    ShowCount();
    VGLTRACE(3, "CRealtimeDriveVirusFoundDlg::AddRow(%s | %s | %s), count %ld", pszVirus, pszFile, pszResult,
             (long)lCount);
}

void CRealtimeDriveVirusFoundDlg::SetAlertText(const CString& strText)
{
    m_strAlertText = strText;
    ShowAlertText();
}

void CRealtimeDriveVirusFoundDlg::ShowFoundList()
{
    if (!NS_RegistryKey::IsShowRealTimeVirusFoundDlg() || m_hWnd == NULL)
        return;
    CWnd* pMain = AfxGetMainWnd();
    if (pMain != NULL && pMain->m_hWnd != NULL && pMain->IsWindowVisible())
        pMain->BringWindowToTop();
    SetTopMost(TRUE);
    BringWindowToTop();
    ShowWindow(SW_SHOWNOACTIVATE);
}

void CRealtimeDriveVirusFoundDlg::SetTopMost(BOOL fTopMost)
{
    m_fTopMost = fTopMost;
    if (m_hWnd != NULL)
        ::SetWindowPos(m_hWnd, fTopMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CRealtimeDriveVirusFoundDlg::CloseList()
{
    InterlockedExchange(&m_lCount, 0);
    if (m_list.m_hWnd != NULL)
        m_list.DeleteAllItems();
    ShowCount();
    ShowWindow(SW_HIDE);
    SetTopMost(FALSE);
}

void CRealtimeDriveVirusFoundDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    UINT nCommand = nID & 0xFFF0;
    if (nCommand == SC_MINIMIZE || nCommand == SC_CLOSE)
    {
        CloseList();
        return;
    }
    CDialog::OnSysCommand(nID, lParam);
}

void CRealtimeDriveVirusFoundDlg::OnCancel()
{
    // Esc closes the list like its close box; the window itself stays for the next finding.
    CloseList();
}

void CRealtimeDriveVirusFoundDlg::OnPaint()
{
    CDialog::OnPaint();
    if (m_list.m_hWnd != NULL)
        m_list.Invalidate(FALSE);
}

BOOL CRealtimeDriveVirusFoundDlg::OnQueryNewPalette()
{
    RealizePalette(this, m_pPalette, TRUE);
    return TRUE;
}

void CRealtimeDriveVirusFoundDlg::OnPaletteChanged(CWnd* pFocusWnd)
{
    if (pFocusWnd != this)
        RealizePalette(this, m_pPalette, FALSE);
}

void CRealtimeDriveVirusFoundDlg::OnClickList(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMITEMACTIVATE* pItem = (NMITEMACTIVATE*)pNMHDR;
    openVirusEncyclopedia(m_szEncyclopediaUrl, &m_list, pItem->iItem, 0);
    *pResult = 0;
}

void CRealtimeDriveVirusFoundDlg::OnHelp()
{
    SetTopMost(FALSE);
    CWinApp* pApp = AfxGetApp();
    if (pApp != NULL)
        pApp->WinHelp(HELP_FOUND_LIST);
}

/////////////////////////////////////////////////////////////////////////////
// The alert for a boot-area virus

BEGIN_MESSAGE_MAP(CVirusAlertDlg, CDialog)
    ON_WM_QUERYNEWPALETTE()
    ON_WM_PALETTECHANGED()
END_MESSAGE_MAP()

CVirusAlertDlg::CVirusAlertDlg(CDIB* pDIB, CPalette* pPalette, const CLogReportItem* pItem, CWnd* pParent)
    : CDialog(IDD, pParent), m_pDIB(pDIB), m_pPalette(pPalette), m_staticBitmap(pDIB, pPalette, 1)
{
    if (pItem != NULL)
        m_item = *pItem;
}

CVirusAlertDlg::~CVirusAlertDlg()
{
}

BOOL CVirusAlertDlg::Create(CWnd* pParent)
{
    return CDialog::Create(IDD, pParent);
}

BOOL CVirusAlertDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CenterWindow(CWnd::GetDesktopWindow());
    if (m_pDIB != NULL && GetDlgItem(IDC_ALERT_BITMAP) != NULL)
        m_staticBitmap.SubclassDlgItem(IDC_ALERT_BITMAP, this);
    SetDlgItemText(IDC_ALERT_TEXT, NS_Notification::GetAlertMessageText());
    char szUser[128] = "";
    DWORD cch = sizeof szUser;
    if (!GetUserNameA(szUser, &cch))
        szUser[0] = '\0';
    SetDlgItemText(IDC_ALERT_USER, szUser);
    SetDlgItemText(IDC_ALERT_VIRUS, m_item.m_strVirus);
    SetDlgItemText(IDC_ALERT_FILE, m_item.m_strPath);
    SetDlgItemText(IDC_ALERT_RESULT, m_item.GetResultText());
    fitAlertTextScrollBar(GetDlgItem(IDC_ALERT_TEXT));
    return TRUE;
}

void CVirusAlertDlg::OnOK()
{
    DestroyWindow();
}

void CVirusAlertDlg::OnCancel()
{
    DestroyWindow();
}

void CVirusAlertDlg::PostNcDestroy()
{
    delete this;
}

BOOL CVirusAlertDlg::OnQueryNewPalette()
{
    RealizePalette(this, m_pPalette, TRUE);
    return TRUE;
}

void CVirusAlertDlg::OnPaletteChanged(CWnd* pFocusWnd)
{
    if (pFocusWnd != this)
        RealizePalette(this, m_pPalette, FALSE);
}

// File extension list and add dialogs.
#include "FileExtensionDlg.h"
#include "StringUtils.h"
#include "resource_ids.h"
#include <mbstring.h>

namespace {
const char kRefused[] = "\\/:\"<>|,.";
}

BEGIN_MESSAGE_MAP(CFileExtensionDlg, CDialog)
  ON_BN_CLICKED(IDC_EXT_ADD, OnAdd)
  ON_BN_CLICKED(IDC_EXT_REMOVE, OnRemove)
  ON_BN_CLICKED(IDC_EXT_DEFAULT, OnDefault)
  ON_BN_CLICKED(IDC_EXT_HELP, OnHelpButton)
  ON_NOTIFY(NM_CLICK, IDC_EXT_LIST, OnListClick)
END_MESSAGE_MAP()

CFileExtensionDlg::CFileExtensionDlg(const CString& strList, const CString& strDefaults, CWnd* pParent,
                                     BOOL fAllowWildcards)
    : CDialog(IDD_FILE_EXTENSIONS, pParent), m_strExtList(strList), m_strDefault(strDefaults),
      m_fAllowWildcards(fAllowWildcards) {}

void CFileExtensionDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_EXT_REMOVE, m_btnRemove);
  DDX_Control(pDX, IDC_EXT_LIST, m_listExt);
}

void CFileExtensionDlg::SplitIntoRows(const CString& strList) {
  CStringArray pieces;
  SFileExtensionAdapter adapter;
  splitString('.', strList, pieces, adapter);
  for (int i = 0; i < pieces.GetSize(); i++)
    m_listExt.InsertItem(m_listExt.GetItemCount(), CString(".") + pieces[i]);
}

CString CFileExtensionDlg::JoinRows() {
  CString strList;
  for (int i = 0; i < m_listExt.GetItemCount(); i++) {
    if (i)
      strList += ",";
    strList += m_listExt.GetItemText(i, 0);
  }
  return strList;
}

void CFileExtensionDlg::UpdateRemove() {
  m_btnRemove.EnableWindow(m_listExt.GetNextItem(-1, LVNI_SELECTED) >= 0);
}

BOOL CFileExtensionDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SplitIntoRows(m_strExtList);
  UpdateRemove();
  return TRUE;
}

void CFileExtensionDlg::AddExtension(const CString& strExt) {
  if (strExt.GetLength() + JoinRows().GetLength() + 2 > 256) {
    AfxMessageBox(IDS_EXT_LIST_TOO_LONG, MB_ICONHAND);
    return;
  }
  CString strRefused = kRefused;
  if (!m_fAllowWildcards)
    strRefused += "*?";
  if (strExt.FindOneOf(strRefused) >= 0) {
    AfxMessageBox(IDS_EXT_BAD_CHARACTER, MB_ICONHAND);
    return;
  }
  if (strExt.IsEmpty())
    return;
  SFileExtensionAdapter adapter;
  CString strRow = CString(".") + adapter.Adapt(strExt);
  for (int i = 0; i < m_listExt.GetItemCount(); i++)
    if (_mbsicmp((const unsigned char*)(LPCSTR)m_listExt.GetItemText(i, 0), (const unsigned char*)(LPCSTR)strRow) == 0)
      return;
  m_listExt.InsertItem(m_listExt.GetItemCount(), strRow);
  UpdateRemove();
}

void CFileExtensionDlg::OnAdd() {
  CAddExtensionDlg dlg(NULL);
  if (dlg.DoModal() != IDOK)
    return;
  AddExtension(dlg.m_strExt);
}

void CFileExtensionDlg::OnRemove() {
  if (m_listExt.GetItemCount() < 2)
    return;
  int nSel = m_listExt.GetNextItem(-1, LVNI_SELECTED);
  if (nSel >= 0)
    m_listExt.DeleteItem(nSel);
  UpdateRemove();
}

void CFileExtensionDlg::OnDefault() {
  m_listExt.DeleteAllItems();
  SplitIntoRows(m_strDefault);
  UpdateRemove();
}

void CFileExtensionDlg::OnHelpButton() {
  if (CWinApp* pApp = AfxGetApp())
    pApp->WinHelp(34, HELP_CONTEXT);
}

void CFileExtensionDlg::OnListClick(NMHDR*, LRESULT* pResult) {
  UpdateRemove();
  *pResult = 0;
}

void CFileExtensionDlg::OnOK() {
  CString strList = JoinRows();
  EndDialog(IDOK);
  m_strExtList = strList;
}

/////////////////////////////////////////////////////////////////////////////

BEGIN_MESSAGE_MAP(CAddExtensionDlg, CDialog)
  ON_BN_CLICKED(IDC_ADD_EXT_HELP, OnHelpButton)
END_MESSAGE_MAP()

CAddExtensionDlg::CAddExtensionDlg(CWnd* pParent) : CDialog(IDD_ADD_EXTENSION, pParent) {}

void CAddExtensionDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_ADD_EXT_EDIT, m_strExt);
}

void CAddExtensionDlg::OnHelpButton() {
  if (CWinApp* pApp = AfxGetApp())
    pApp->WinHelp(35, HELP_CONTEXT);
}

void CAddExtensionDlg::OnOK() {
  UpdateData(TRUE);
  m_strExt.MakeUpper();
  m_strExt.TrimLeft();
  m_strExt.TrimRight();
  for (int i = 0; i < m_strExt.GetLength(); i++) {
    BYTE b = (BYTE)m_strExt[i];
    if (b >= 0x80 || ::IsDBCSLeadByte(b)) {
      CString strMsg;
      strMsg.LoadString(IDS_EXT_NOT_ASCII);
      MessageBox(strMsg, NULL, MB_OK);
      return;
    }
  }
  EndDialog(IDOK);
}

// The Open and Save As dialogs with an Explorer-style hook.
#include "afxdlgs.h"

IMPLEMENT_DYNAMIC(CFileDialog, CDialog)

UINT_PTR CALLBACK VglFileDialogHook(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const OPENFILENAMEA* pofn = (const OPENFILENAMEA*)lParam;
    CFileDialog* pDlg = pofn ? (CFileDialog*)pofn->lCustData : NULL;
    if (pDlg && !CWnd::FromHandlePermanent(hWnd))
      pDlg->SubclassWindow(hWnd);
    return TRUE;
  }
  return 0;
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt, LPCTSTR lpszFileName, DWORD dwFlags,
                         LPCTSTR lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog) {
  memset(&m_ofn, 0, sizeof(m_ofn));
  m_szFileName[0] = 0;
  m_szFileTitle[0] = 0;
  m_pParentWnd = pParentWnd;
  m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof(m_szFileName);
  m_ofn.lpstrDefExt = lpszDefExt;
  m_ofn.lpstrFileTitle = m_szFileTitle;
  m_ofn.nMaxFileTitle = sizeof(m_szFileTitle);
  m_ofn.Flags = dwFlags | OFN_ENABLEHOOK | OFN_EXPLORER;
  m_ofn.lpfnHook = VglFileDialogHook;
  m_ofn.lCustData = (LPARAM)this;
  if (lpszFileName)
    lstrcpynA(m_szFileName, lpszFileName, sizeof(m_szFileName));
  if (lpszFilter) {
    // "Text|*.txt|All|*.*||" becomes a double-zero-ended list.
    m_strFilter = lpszFilter;
    LPSTR p = m_strFilter.GetBuffer(0);
    for (; *p; p = CharNextA(p))
      if (*p == '|')
        *p = 0;
    m_strFilter.ReleaseBuffer(m_strFilter.GetLength());
    m_ofn.lpstrFilter = m_strFilter;
  }
}

CFileDialog::~CFileDialog() {}

INT_PTR CFileDialog::DoModal() {
  CWnd* pParent = m_pParentWnd;
  if (!pParent) {
    CWinThread* pThread = AfxGetThread();
    pParent = pThread ? pThread->GetMainWnd() : NULL;
  }
  m_ofn.hwndOwner = pParent->GetSafeHwnd();
  if (m_ofn.hwndOwner && !::IsWindow(m_ofn.hwndOwner))
    m_ofn.hwndOwner = NULL;
  m_ofn.hInstance = AfxGetResourceHandle();
  BOOL bResult = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
    Detach();
  return bResult ? IDOK : IDCANCEL;
}

BOOL CFileDialog::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  OFNOTIFYA* pNotify = (OFNOTIFYA*)lParam;
  switch (pNotify->hdr.code) {
  case CDN_INITDONE:
    OnInitDone();
    return TRUE;
  case CDN_SELCHANGE:
    OnFileNameChange();
    return TRUE;
  case CDN_FOLDERCHANGE:
    OnFolderChange();
    return TRUE;
  case CDN_TYPECHANGE:
    OnTypeChange();
    return TRUE;
  case CDN_FILEOK:
    *pResult = OnFileNameOK();
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, *pResult);
    return TRUE;
  }
  return CDialog::OnNotify(wParam, lParam, pResult);
}

void CFileDialog::OnInitDone() {}
void CFileDialog::OnFileNameChange() {}
void CFileDialog::OnFolderChange() {}
void CFileDialog::OnTypeChange() {}
BOOL CFileDialog::OnFileNameOK() { return FALSE; }

CString CFileDialog::GetPathName() const { return CString(m_szFileName); }
CString CFileDialog::GetFileName() const { return CString(m_szFileTitle); }
CString CFileDialog::GetFileExt() const {
  LPCSTR pDot = strrchr(m_szFileName, '.');
  LPCSTR pSlash = strrchr(m_szFileName, '\\');
  return pDot && (!pSlash || pDot > pSlash) ? CString(pDot + 1) : CString();
}
CString CFileDialog::GetFileTitle() const {
  CString s(m_szFileTitle);
  int n = s.ReverseFind('.');
  return n >= 0 ? s.Left(n) : s;
}

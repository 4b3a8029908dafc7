// Property sheets and pages over the common-control property sheet.
#include "afxdlgs.h"
#include "afxcmn.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

namespace {
thread_local CPropertySheet* t_pSheetInit = NULL;
}

/////////////////////////////////////////////////////////////////////////////
// Pages

INT_PTR CALLBACK VglPropPageProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG)
    return FALSE;
  if (CWnd::FromHandlePermanent(hWnd))
    return FALSE;   // reached through our own procedure: the dialog manager's default
  // First message for the page's window: attach the page object.
  const PROPSHEETPAGEA* psp = (const PROPSHEETPAGEA*)lParam;
  CPropertyPage* pPage = psp ? (CPropertyPage*)psp->lParam : NULL;
  if (!pPage)
    return TRUE;
  pPage->SubclassWindow(hWnd);
  return AfxCallWndProc(pPage, hWnd, message, wParam, lParam);
}

CPropertyPage::CPropertyPage() : m_bFirstSetActive(TRUE) { memset(&m_psp, 0, sizeof(m_psp)); }

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption) : CPropertyPage() {
  Construct(nIDTemplate, nIDCaption);
}

CPropertyPage::CPropertyPage(LPCTSTR lpszTemplateName, UINT nIDCaption) : CPropertyPage() {
  Construct(lpszTemplateName, nIDCaption);
}

void CPropertyPage::Construct(UINT nIDTemplate, UINT nIDCaption) {
  Construct(MAKEINTRESOURCEA(nIDTemplate), nIDCaption);
  m_nIDHelp = nIDTemplate;
}

void CPropertyPage::Construct(LPCTSTR lpszTemplateName, UINT nIDCaption) {
  memset(&m_psp, 0, sizeof(m_psp));
  m_psp.dwSize = sizeof(m_psp);
  m_psp.pszTemplate = lpszTemplateName;
  m_lpszTemplateName = lpszTemplateName;
  m_psp.pfnDlgProc = VglPropPageProc;
  m_psp.lParam = (LPARAM)this;
  if (nIDCaption && m_strCaption.LoadString(nIDCaption)) {
    m_psp.pszTitle = m_strCaption;
    m_psp.dwFlags |= PSP_USETITLE;
  }
}

CPropertyPage::~CPropertyPage() {}

LRESULT CPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = CDialog::WindowProc(message, wParam, lParam);
  if (message == WM_NOTIFY)
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, lResult);
  return lResult;
}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  NMHDR* pNMHDR = (NMHDR*)lParam;
  if (pNMHDR->hwndFrom != ::GetParent(m_hWnd))
    return CDialog::OnNotify(wParam, lParam, pResult);
  switch (pNMHDR->code) {
  case PSN_SETACTIVE:
    *pResult = OnSetActive() ? 0 : -1;
    return TRUE;
  case PSN_KILLACTIVE:
    *pResult = OnKillActive() ? FALSE : TRUE;
    return TRUE;
  case PSN_APPLY:
    if (((PSHNOTIFY*)pNMHDR)->lParam) {
      // OK (not Apply Now) was pressed.
      CPropertySheet* pSheet = dynamic_cast<CPropertySheet*>(CWnd::FromHandlePermanent(pNMHDR->hwndFrom));
      if (pSheet)
        pSheet->m_nResultPending = IDOK;
    }
    *pResult = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
    return TRUE;
  case PSN_RESET:
    OnReset();
    *pResult = 0;
    return TRUE;
  case PSN_QUERYCANCEL:
    *pResult = !OnQueryCancel();
    return TRUE;
  case PSN_HELP:
    OnPageHelp();
    *pResult = 0;
    return TRUE;
  case PSN_WIZBACK:
    *pResult = OnWizardBack();
    return TRUE;
  case PSN_WIZNEXT:
    *pResult = OnWizardNext();
    return TRUE;
  case PSN_WIZFINISH:
    *pResult = !OnWizardFinish();
    return TRUE;
  }
  return CDialog::OnNotify(wParam, lParam, pResult);
}

BOOL CPropertyPage::PreTranslateMessage(MSG* pMsg) { return CWnd::PreTranslateMessage(pMsg); }

void CPropertyPage::OnPageHelp() { SendMessage(WM_COMMAND, ID_HELP); }

BOOL CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive)
    m_bFirstSetActive = FALSE;
  else
    UpdateData(FALSE);
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }
BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}
void CPropertyPage::OnReset() { OnCancel(); }
void CPropertyPage::OnOK() {}
void CPropertyPage::OnCancel() {}
BOOL CPropertyPage::OnQueryCancel() { return TRUE; }
LRESULT CPropertyPage::OnWizardBack() { return 0; }
LRESULT CPropertyPage::OnWizardNext() { return 0; }
BOOL CPropertyPage::OnWizardFinish() { return TRUE; }

void CPropertyPage::CancelToClose() { ::SendMessageA(::GetParent(m_hWnd), PSM_CANCELTOCLOSE, 0, 0); }

void CPropertyPage::SetModified(BOOL bChanged) {
  ::SendMessageA(::GetParent(m_hWnd), bChanged ? PSM_CHANGED : PSM_UNCHANGED, (WPARAM)m_hWnd, 0);
}

LRESULT CPropertyPage::QuerySiblings(WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(::GetParent(m_hWnd), PSM_QUERYSIBLINGS, wParam, lParam);
}

/////////////////////////////////////////////////////////////////////////////
// Sheets

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet()
    : m_pParentWnd(NULL), m_bModeless(FALSE), m_nResultPending(IDCANCEL), m_dwCreateStyle((DWORD)-1),
      m_dwCreateExStyle(0) {
  memset(&m_psh, 0, sizeof(m_psh));
  m_psh.dwSize = sizeof(m_psh);
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage) : CPropertySheet() {
  Construct(nIDCaption, pParentWnd, iSelectPage);
}

CPropertySheet::CPropertySheet(LPCTSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) : CPropertySheet() {
  Construct(pszCaption, pParentWnd, iSelectPage);
}

void CPropertySheet::Construct(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage) {
  m_strCaption.LoadString(nIDCaption);
  m_pParentWnd = pParentWnd;
  m_psh.nStartPage = iSelectPage;
}

void CPropertySheet::Construct(LPCTSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
  m_strCaption = pszCaption;
  m_pParentWnd = pParentWnd;
  m_psh.nStartPage = iSelectPage;
}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
    DestroyWindow();
  delete[] (PROPSHEETPAGEA*)m_psh.ppsp;
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
  m_pages.Add(pPage);
  if (m_hWnd) {
    HPROPSHEETPAGE h = ::CreatePropertySheetPageA(&pPage->m_psp);
    if (h)
      ::SendMessageA(m_hWnd, PSM_ADDPAGE, 0, (LPARAM)h);
  }
}

void CPropertySheet::RemovePage(int nPage) {
  if (m_hWnd)
    ::SendMessageA(m_hWnd, PSM_REMOVEPAGE, nPage, 0);
  m_pages.RemoveAt(nPage);
}

void CPropertySheet::RemovePage(CPropertyPage* pPage) {
  int n = GetPageIndex(pPage);
  if (n >= 0)
    RemovePage(n);
}

int CPropertySheet::GetPageCount() const {
  if (m_hWnd) {
    CTabCtrl* pTab = GetTabControl();
    if (pTab)
      return pTab->GetItemCount();
  }
  return (int)m_pages.GetSize();
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const { return (CPropertyPage*)m_pages.GetAt(nPage); }

int CPropertySheet::GetPageIndex(CPropertyPage* pPage) {
  for (int i = 0; i < (int)m_pages.GetSize(); i++)
    if (m_pages.GetAt(i) == pPage)
      return i;
  return -1;
}

int CPropertySheet::GetActiveIndex() const {
  if (!m_hWnd)
    return (int)m_psh.nStartPage;
  CTabCtrl* pTab = GetTabControl();
  return pTab ? pTab->GetCurSel() : -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
  if (m_hWnd) {
    HWND hPage = (HWND)::SendMessageA(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0);
    if (hPage)
      return (CPropertyPage*)CWnd::FromHandlePermanent(hPage);
  }
  int n = GetActiveIndex();
  return n >= 0 && n < (int)m_pages.GetSize() ? GetPage(n) : NULL;
}

BOOL CPropertySheet::SetActivePage(int nPage) {
  if (!m_hWnd) {
    m_psh.nStartPage = nPage;
    return TRUE;
  }
  return (BOOL)SendMessage(PSM_SETCURSEL, nPage, 0);
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* pPage) {
  int n = GetPageIndex(pPage);
  return n >= 0 && SetActivePage(n);
}

CTabCtrl* CPropertySheet::GetTabControl() const {
  return (CTabCtrl*)CWnd::FromHandle((HWND)::SendMessageA(m_hWnd, PSM_GETTABCONTROL, 0, 0));
}

void CPropertySheet::SetTitle(LPCTSTR lpszText, UINT nStyle) {
  m_strCaption = lpszText;
  if (m_hWnd)
    SendMessage(PSM_SETTITLEA, nStyle, (LPARAM)lpszText);
  else
    m_psh.dwFlags = (m_psh.dwFlags & ~PSH_PROPTITLE) | (nStyle & PSH_PROPTITLE);
}

PROPSHEETPAGEA* CPropertySheet::BuildPages() {
  delete[] (PROPSHEETPAGEA*)m_psh.ppsp;
  int n = (int)m_pages.GetSize();
  PROPSHEETPAGEA* ppsp = new PROPSHEETPAGEA[n ? n : 1];
  for (int i = 0; i < n; i++) {
    CPropertyPage* pPage = GetPage(i);
    pPage->m_bFirstSetActive = TRUE;
    if (!(pPage->m_psp.dwFlags & PSP_DLGINDIRECT))
      pPage->m_psp.hInstance = AfxFindResourceHandle(pPage->m_psp.pszTemplate, (LPCTSTR)RT_DIALOG);
    ppsp[i] = pPage->m_psp;
  }
  m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_MODELESS;
  m_psh.nPages = n;
  m_psh.ppsp = ppsp;
  m_psh.pszCaption = m_strCaption;
  m_psh.hInstance = AfxGetResourceHandle();
  m_psh.pfnCallback = SheetCallback;
  return ppsp;
}

int CALLBACK CPropertySheet::SheetCallback(HWND, UINT message, LPARAM lParam) {
  if (message == PSCB_PRECREATE && lParam && t_pSheetInit) {
    // The window's style may be changed before it exists.
    DLGTEMPLATE* pTemplate = (DLGTEMPLATE*)lParam;
    BOOL bEx = *(WORD*)((BYTE*)pTemplate + 2) == 0xFFFF;
    DWORD* pStyle = bEx ? (DWORD*)((BYTE*)pTemplate + 12) : &pTemplate->style;
    DWORD* pExStyle = bEx ? (DWORD*)((BYTE*)pTemplate + 8) : &pTemplate->dwExtendedStyle;
    // A modeless sheet takes the styles Create was given.
    if (t_pSheetInit->m_bModeless && t_pSheetInit->m_dwCreateStyle != (DWORD)-1) {
      // DS_SETFONT says whether the template carries a font: it stays as the template has it.
      *pStyle = (t_pSheetInit->m_dwCreateStyle & ~DS_SETFONT) | (*pStyle & DS_SETFONT);
      *pExStyle = t_pSheetInit->m_dwCreateExStyle;
    }
    CREATESTRUCTA cs;
    memset(&cs, 0, sizeof(cs));
    cs.style = *pStyle;
    cs.dwExStyle = *pExStyle;
    t_pSheetInit->PreCreateWindow(cs);
    *pStyle = cs.style;
    *pExStyle = cs.dwExStyle;
  }
  return 0;
}

BOOL CPropertySheet::Create(CWnd* pParentWnd, DWORD dwStyle, DWORD dwExStyle) {
  m_dwCreateStyle = dwStyle;
  m_dwCreateExStyle = dwExStyle;
  if (pParentWnd)
    m_pParentWnd = pParentWnd;
  BuildPages();
  m_psh.hwndParent = m_pParentWnd->GetSafeHwnd();
  m_bModeless = TRUE;
  t_pSheetInit = this;
  AfxHookWindowCreate(this);
  HWND hWnd = (HWND)::PropertySheetA(&m_psh);
  AfxUnhookWindowCreate();
  t_pSheetInit = NULL;
  if (!hWnd || hWnd == (HWND)-1) {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
      Detach();
    return FALSE;
  }
  return TRUE;
}

INT_PTR CPropertySheet::DoModal() {
  BuildPages();
  // The owner: the parent's top-level window, else the main window.
  CWnd* pParent = m_pParentWnd;
  if (!pParent) {
    CWinThread* pThread = AfxGetThread();
    pParent = pThread ? pThread->GetMainWnd() : NULL;
  }
  HWND hWndParent = pParent->GetSafeHwnd();
  while (hWndParent && (::GetWindowLongA(hWndParent, GWL_STYLE) & WS_CHILD))
    hWndParent = ::GetParent(hWndParent);
  m_psh.hwndParent = hWndParent;
  BOOL bEnableParent = FALSE;
  if (hWndParent && ::IsWindowEnabled(hWndParent)) {
    ::EnableWindow(hWndParent, FALSE);
    bEnableParent = TRUE;
  }
  m_bModeless = FALSE;
  m_nModalResult = -1;
  m_nResultPending = IDCANCEL;
  m_nFlags |= WF_CONTINUEMODAL;
  t_pSheetInit = this;
  AfxHookWindowCreate(this);
  HWND hWnd = (HWND)::PropertySheetA(&m_psh);
  AfxUnhookWindowCreate();
  t_pSheetInit = NULL;
  if (hWnd && hWnd != (HWND)-1 && m_hWnd) {
    if (m_nFlags & WF_CONTINUEMODAL)
      RunModalLoop(MLF_SHOWONIDLE);
  } else if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
    Detach();
  }
  m_nFlags &= ~(WF_CONTINUEMODAL | WF_MODALLOOP);
  if (bEnableParent)
    ::EnableWindow(hWndParent, TRUE);
  if (hWndParent && m_hWnd && ::GetActiveWindow() == m_hWnd)
    ::SetActiveWindow(hWndParent);
  if (m_hWnd)
    DestroyWindow();
  return m_nModalResult;
}

BOOL CPropertySheet::ContinueModal() {
  if (!CWnd::ContinueModal())
    return FALSE;
  // The sheet has ended itself (OK, Cancel, Close) when it has no current page.
  if (!m_hWnd || !::SendMessageA(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0)) {
    m_nModalResult = m_nResultPending;
    return FALSE;
  }
  return TRUE;
}

void CPropertySheet::EndDialog(int nEndID) {
  CWnd::EndModalLoop(nEndID);
  if (m_bModeless)
    DestroyWindow();
}

LRESULT CPropertySheet::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CPropertySheet::OnInitDialog() {
  BOOL bResult = (BOOL)Default();
  if (m_bModeless && !(m_psh.dwFlags & PSH_WIZARD)) {
    // A modeless sheet has no OK, Cancel, Apply or Help buttons: they go, and the sheet
    // shrinks to end below its tabs.
    static const int s_anButtons[] = { IDOK, IDCANCEL, 0x3021 /* Apply */, IDHELP };
    for (int nID : s_anButtons) {
      HWND hButton = ::GetDlgItem(m_hWnd, nID);
      if (hButton) {
        ::ShowWindow(hButton, SW_HIDE);
        ::EnableWindow(hButton, FALSE);
      }
    }
    HWND hTab = (HWND)::SendMessageA(m_hWnd, PSM_GETTABCONTROL, 0, 0);
    if (hTab) {
      RECT rcTab, rcWindow, rcClient;
      ::GetWindowRect(hTab, &rcTab);
      ::GetWindowRect(m_hWnd, &rcWindow);
      ::GetClientRect(m_hWnd, &rcClient);
      POINT ptTabBottom = { rcTab.left, rcTab.bottom };
      ::ScreenToClient(m_hWnd, &ptTabBottom);
      int nMargin = ptTabBottom.x > 0 ? ptTabBottom.x : 7;
      int nShrink = rcClient.bottom - (ptTabBottom.y + nMargin);
      if (nShrink > 0)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top - nShrink,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return bResult;
}

BOOL CPropertySheet::PreTranslateMessage(MSG* pMsg) {
  if (!m_hWnd)
    return FALSE;
  if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
    return FALSE;
  // The sheet does keyboard navigation of its pages and buttons.
  return (BOOL)::SendMessageA(m_hWnd, PSM_ISDIALOGMESSAGE, 0, (LPARAM)pMsg);
}

BOOL CPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  if (HIWORD(wParam) == BN_CLICKED) {
    if (nID == IDOK)
      m_nResultPending = IDOK;
    else if (nID == IDCANCEL)
      m_nResultPending = IDCANCEL;
    // The sheet's Help button arrives as IDHELP; our maps know it as ID_HELP.
    if (nID == IDHELP && OnCmdMsg(ID_HELP, CN_COMMAND, NULL, NULL))
      return TRUE;
  }
  return CWnd::OnCommand(wParam, lParam);
}

BOOL CPropertySheet::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
    return TRUE;
  if ((nCode != CN_COMMAND && nCode != (int)CN_UPDATE_COMMAND_UI) || !IS_COMMAND_ID(nID) || nID >= 0xF000)
    return FALSE;
  // Then the thread; the sheet's buttons are not routed to the pages.
  CWinThread* pThread = AfxGetThread();
  if (pThread && pThread->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
    return TRUE;
  return FALSE;
}

void CPropertySheet::PostNcDestroy() {}

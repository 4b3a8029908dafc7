// Dialogs: modal and modeless, initial control data and data exchange.
#include "afxwin.h"

#define RT_DLGINIT_ID 240
#define WIN16_LB_ADDSTRING 0x0401
#define WIN16_CB_ADDSTRING 0x0403

IMPLEMENT_DYNAMIC(CDialog, CWnd)
IMPLEMENT_DYNAMIC(CUserException, CException)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
  ON_MESSAGE(WM_SETFONT, HandleSetFont)
  ON_MESSAGE(0x0365 /* command help */, OnCommandHelp)
  ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CDialog::CDialog()
    : m_lpszTemplateName(NULL), m_nIDHelp(0), m_pParentWnd(NULL), m_lpDialogTemplate(NULL),
      m_hDialogTemplate(NULL) {}

CDialog::CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd) : CDialog() {
  m_lpszTemplateName = lpszTemplateName;
  m_pParentWnd = pParentWnd;
  if (IS_INTRESOURCE(lpszTemplateName))
    m_nIDHelp = LOWORD((DWORD_PTR)lpszTemplateName);
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog() {
  m_lpszTemplateName = MAKEINTRESOURCEA(nIDTemplate);
  m_nIDHelp = nIDTemplate;
  m_pParentWnd = pParentWnd;
}

CDialog::~CDialog() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
    DestroyWindow();
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
  // Our window procedure already handled the message; the dialog manager
  // does its default work when we return FALSE.
  if (message == WM_INITDIALOG) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    return pWnd == NULL;
  }
  return FALSE;
}

BOOL CDialog::CreateDlgIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, HINSTANCE hInst) {
  if (!hInst)
    hInst = AfxGetResourceHandle();
  m_nModalResult = -1;
  AfxHookWindowCreate(this);
  HWND hWnd = ::CreateDialogIndirectParamA(hInst, lpDialogTemplate, pParentWnd->GetSafeHwnd(),
                                           AfxDlgProc, 0);
  AfxUnhookWindowCreate();
  if (!hWnd) {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
      Detach();
    return FALSE;
  }
  return TRUE;
}

static LPCDLGTEMPLATE LoadTemplate(LPCTSTR lpszName, HINSTANCE* phInst) {
  HINSTANCE hInst = AfxFindResourceHandle(lpszName, (LPCTSTR)RT_DIALOG);
  HRSRC hRes = ::FindResourceA(hInst, lpszName, (LPCTSTR)RT_DIALOG);
  if (!hRes)
    return NULL;
  HGLOBAL h = ::LoadResource(hInst, hRes);
  *phInst = hInst;
  return h ? (LPCDLGTEMPLATE)::LockResource(h) : NULL;
}

BOOL CDialog::Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd) {
  m_lpszTemplateName = lpszTemplateName;
  if (IS_INTRESOURCE(lpszTemplateName) && m_nIDHelp == 0)
    m_nIDHelp = LOWORD((DWORD_PTR)lpszTemplateName);
  HINSTANCE hInst = NULL;
  LPCDLGTEMPLATE lpTemplate = LoadTemplate(lpszTemplateName, &hInst);
  if (!lpTemplate)
    return FALSE;
  if (!pParentWnd)
    pParentWnd = m_pParentWnd;
  return CreateDlgIndirect(lpTemplate, pParentWnd, hInst);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  return Create(MAKEINTRESOURCEA(nIDTemplate), pParentWnd);
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
  return CreateDlgIndirect(lpDialogTemplate, pParentWnd, NULL);
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
  m_lpDialogTemplate = lpDialogTemplate;
  m_pParentWnd = pParentWnd;
  return TRUE;
}

HWND CDialog::PreModal() {
  // The owner: the given parent's top-level window, else the main window.
  CWnd* pWnd = m_pParentWnd;
  if (!pWnd) {
    CWinThread* pThread = AfxGetThread();
    pWnd = pThread ? pThread->GetMainWnd() : NULL;
    if (pWnd == this)
      pWnd = NULL;
  }
  HWND hWnd = pWnd->GetSafeHwnd();
  if (hWnd && !::IsWindow(hWnd))
    hWnd = NULL;
  while (hWnd && (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD))
    hWnd = ::GetParent(hWnd);
  return hWnd;
}

void CDialog::PostModal() {}

INT_PTR CDialog::DoModal() {
  LPCDLGTEMPLATE lpTemplate = m_lpDialogTemplate;
  HINSTANCE hInst = AfxGetResourceHandle();
  if (m_lpszTemplateName)
    lpTemplate = LoadTemplate(m_lpszTemplateName, &hInst);
  if (!lpTemplate)
    return -1;

  HWND hWndParent = PreModal();
  BOOL bEnableParent = FALSE;
  if (hWndParent && ::IsWindowEnabled(hWndParent)) {
    ::EnableWindow(hWndParent, FALSE);
    bEnableParent = TRUE;
  }
  m_nModalResult = -1;
  m_nFlags |= WF_CONTINUEMODAL;
  auto endModal = [&]() {
    m_nFlags &= ~(WF_CONTINUEMODAL | WF_MODALLOOP);
    if (bEnableParent)
      ::EnableWindow(hWndParent, TRUE);
    if (hWndParent && m_hWnd && ::GetActiveWindow() == m_hWnd)
      ::SetActiveWindow(hWndParent);
    if (m_hWnd)
      DestroyWindow();
    PostModal();
  };
  try {
    if (CreateDlgIndirect(lpTemplate, CWnd::FromHandle(hWndParent), hInst)) {
      if (m_nFlags & WF_CONTINUEMODAL) {
        DWORD dwFlags = MLF_SHOWONIDLE;
        if (GetStyle() & DS_NOIDLEMSG)
          dwFlags |= MLF_NOIDLEMSG;
        RunModalLoop(dwFlags);
      }
      if (m_hWnd)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
  } catch (CException* e) {
    // A class-library exception ends the dialog with -1; it is deleted here.
    e->Delete();
    m_nModalResult = -1;
  } catch (...) {
    // Anything else is the caller's, after the dialog is gone.
    endModal();
    throw;
  }
  endModal();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL))
    EndModalLoop(nResult);
  ::EndDialog(m_hWnd, nResult);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
  if (m_lpszTemplateName)
    ExecuteDlgInit(m_lpszTemplateName);
  BOOL bResult = OnInitDialog();
  return bResult;
}

LRESULT CDialog::HandleSetFont(WPARAM wParam, LPARAM) {
  OnSetFont(CFont::FromHandle((HFONT)wParam));
  return Default();
}

void CDialog::OnSetFont(CFont*) {}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE))
    return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::OnCommandHelp(WPARAM, LPARAM lParam) {
  if (lParam == 0 && m_nIDHelp != 0)
    lParam = 0x20000 + m_nIDHelp;
  if (lParam != 0) {
    if (CWinApp* pApp = AfxGetApp())
      pApp->WinHelp(lParam);
    return TRUE;
  }
  return FALSE;
}

void CDialog::OnHelp() {
  if (CWinApp* pApp = AfxGetApp())
    pApp->WinHelp(0x20000 + m_nIDHelp);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (!m_hWnd)
    return FALSE;
  if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) {
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))
      return FALSE;
    return ::IsDialogMessageA(m_hWnd, pMsg);
  }
  return FALSE;
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
    return TRUE;
  // Commands go on to the owner and the thread; control notifications, the clicks of
  // buttons whose ids are not command ids (below 0x8000) and system commands do not.
  if ((nCode != CN_COMMAND && nCode != (int)CN_UPDATE_COMMAND_UI) || !IS_COMMAND_ID(nID) || nID >= 0xF000)
    return FALSE;
  CWnd* pOwner = GetParent();
  if (pOwner && pOwner != this && pOwner->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
    return TRUE;
  CWinThread* pThread = AfxGetThread();
  if (pThread && pThread->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
    return TRUE;
  return FALSE;
}

/////////////////////////////////////////////////////////////////////////////
// Initial control data: records of (control id, message, length, data).

BOOL CWnd::ExecuteDlgInit(LPCTSTR lpszResourceName) {
  HINSTANCE hInst = AfxFindResourceHandle(lpszResourceName, MAKEINTRESOURCEA(RT_DLGINIT_ID));
  HRSRC hRes = ::FindResourceA(hInst, lpszResourceName, MAKEINTRESOURCEA(RT_DLGINIT_ID));
  if (!hRes)
    return TRUE;
  HGLOBAL h = ::LoadResource(hInst, hRes);
  DWORD cb = ::SizeofResource(hInst, hRes);
  const BYTE* p = h ? (const BYTE*)::LockResource(h) : NULL;
  if (!p)
    return FALSE;
  return ExecuteDlgInitData(p, cb);
}

BOOL CWnd::ExecuteDlgInit(LPVOID lpResource) {
  return lpResource ? ExecuteDlgInitData((const BYTE*)lpResource, 0xFFFFFFFF) : TRUE;
}

BOOL CWnd::ExecuteDlgInitData(const BYTE* p, DWORD cb) {
  const BYTE* pEnd = cb == 0xFFFFFFFF ? (const BYTE*)~(UINT_PTR)0 : p + cb;
  while ((size_t)(pEnd - p) >= 2) {
    WORD nIDC = *(const WORD*)p;
    if (nIDC == 0)
      break;
    if ((size_t)(pEnd - p) < 8)
      return FALSE;
    WORD nMsg = *(const WORD*)(p + 2);
    DWORD dwLen = *(const DWORD*)(p + 4);
    p += 8;
    if (dwLen > (DWORD)(pEnd - p))
      return FALSE;
    // The text need not end in a zero inside the record.
    CString str;
    memcpy(str.GetBufferSetLength((int)dwLen), p, dwLen);
    str.ReleaseBuffer((int)strnlen((const char*)p, dwLen));
    if (nMsg == WIN16_LB_ADDSTRING)
      nMsg = LB_ADDSTRING;
    else if (nMsg == WIN16_CB_ADDSTRING)
      nMsg = CB_ADDSTRING;
    if (nMsg == LB_ADDSTRING || nMsg == CB_ADDSTRING) {
      if (::SendDlgItemMessageA(m_hWnd, nIDC, nMsg, 0, (LPARAM)(LPCTSTR)str) < 0)
        return FALSE;
    }
    p += dwLen;
  }
  return TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// Data exchange

void AFXAPI AfxThrowUserException() { throw new CUserException; }

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND hWndCtrl = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
  m_hWndLastControl = hWndCtrl;
  m_bEditLastControl = FALSE;
  return hWndCtrl;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND hWndCtrl = PrepareCtrl(nIDC);
  m_bEditLastControl = TRUE;
  return hWndCtrl;
}

void CDataExchange::Fail() {
  if (m_bSaveAndValidate && m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    if (m_bEditLastControl)
      ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
  AfxThrowUserException();
}

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd == NULL) {
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (!hWndCtrl || !rControl.SubclassWindow(hWndCtrl))
      AfxThrowUserException();
  }
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate) {
    int n = ::GetWindowTextLengthA(hWndCtrl);
    ::GetWindowTextA(hWndCtrl, value.GetBufferSetLength(n), n + 1);
    value.ReleaseBuffer();
  } else {
    ::SetWindowTextA(hWndCtrl, value);
  }
}

static BOOL ParseNumber(LPCTSTR s, BOOL bSigned, long long* pValue) {
  while (*s == ' ' || *s == '\t')
    s++;
  BOOL bNeg = FALSE;
  if (*s == '-' || *s == '+') {
    bNeg = *s == '-';
    if (bNeg && !bSigned)
      return FALSE;
    s++;
  }
  if (*s < '0' || *s > '9')
    return FALSE;
  long long v = 0;
  while (*s >= '0' && *s <= '9') {
    v = v * 10 + (*s++ - '0');
    if (v > 0xFFFFFFFFLL)
      return FALSE;
  }
  while (*s == ' ' || *s == '\t')
    s++;
  if (*s)
    return FALSE;
  *pValue = bNeg ? -v : v;
  return TRUE;
}

static void DDXNumber(CDataExchange* pDX, int nIDC, long long* pValue, BOOL bSigned, long long lo, long long hi) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!hWndCtrl)
    return;
  char sz[64];
  if (pDX->m_bSaveAndValidate) {
    ::GetWindowTextA(hWndCtrl, sz, sizeof(sz));
    long long v;
    if (!ParseNumber(sz, bSigned, &v) || v < lo || v > hi) {
      AfxMessageBox(bSigned ? "Please enter an integer." : "Please enter a positive integer.",
                    MB_OK | MB_ICONEXCLAMATION);
      pDX->Fail();
    }
    *pValue = v;
  } else {
    wsprintfA(sz, bSigned ? "%ld" : "%lu", (long)*pValue);
    ::SetWindowTextA(hWndCtrl, sz);
  }
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  long long v = value;
  DDXNumber(pDX, nIDC, &v, TRUE, INT_MIN, INT_MAX);
  value = (int)v;
}
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, long& value) {
  long long v = value;
  DDXNumber(pDX, nIDC, &v, TRUE, LONG_MIN, LONG_MAX);
  value = (long)v;
}
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
  long long v = value;
  DDXNumber(pDX, nIDC, &v, FALSE, 0, UINT_MAX);
  value = (UINT)v;
}
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
  long long v = value;
  DDXNumber(pDX, nIDC, &v, FALSE, 0, ULONG_MAX);
  value = (DWORD)v;
}

void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate)
    value = (int)::SendMessageA(hWndCtrl, BM_GETCHECK, 0, 0);
  else
    ::SendMessageA(hWndCtrl, BM_SETCHECK, (WPARAM)value, 0);
}

void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
  // nIDC is the first button of a group; value is the index of the checked one or -1.
  HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate)
    value = -1;
  int iButton = 0;
  do {
    if (::SendMessageA(hWndCtrl, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
      if (pDX->m_bSaveAndValidate) {
        if (::SendMessageA(hWndCtrl, BM_GETCHECK, 0, 0) != 0)
          value = iButton;
      } else {
        ::SendMessageA(hWndCtrl, BM_SETCHECK, iButton == value, 0);
      }
      iButton++;
    }
    hWndCtrl = ::GetWindow(hWndCtrl, GW_HWNDNEXT);
  } while (hWndCtrl && !(::GetWindowLongA(hWndCtrl, GWL_STYLE) & WS_GROUP));
}

void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate)
    index = (int)::SendMessageA(hWndCtrl, CB_GETCURSEL, 0, 0);
  else
    ::SendMessageA(hWndCtrl, CB_SETCURSEL, (WPARAM)index, 0);
}

void AFXAPI DDX_CBString(CDataExchange* pDX, int nIDC, CString& value) {
  HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate) {
    int n = ::GetWindowTextLengthA(hWndCtrl);
    if (n > 0) {
      ::GetWindowTextA(hWndCtrl, value.GetBufferSetLength(n), n + 1);
      value.ReleaseBuffer();
    } else {
      // A drop-down list has no edit text: take the selected item.
      int i = (int)::SendMessageA(hWndCtrl, CB_GETCURSEL, 0, 0);
      if (i >= 0) {
        int len = (int)::SendMessageA(hWndCtrl, CB_GETLBTEXTLEN, i, 0);
        ::SendMessageA(hWndCtrl, CB_GETLBTEXT, i, (LPARAM)value.GetBufferSetLength(len));
        value.ReleaseBuffer();
      } else {
        value.Empty();
      }
    }
  } else {
    if (::SendMessageA(hWndCtrl, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)(LPCTSTR)value) == CB_ERR)
      ::SetWindowTextA(hWndCtrl, value);
  }
}

void AFXAPI DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
  if (!hWndCtrl)
    return;
  if (pDX->m_bSaveAndValidate)
    index = (int)::SendMessageA(hWndCtrl, LB_GETCURSEL, 0, 0);
  else
    ::SendMessageA(hWndCtrl, LB_SETCURSEL, (WPARAM)index, 0);
}

void AFXAPI DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars) {
  if (pDX->m_bSaveAndValidate && value.GetLength() > nChars) {
    char sz[96];
    wsprintfA(sz, "Enter no more than %d characters.", nChars);
    AfxMessageBox(sz, MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
  } else if (!pDX->m_bSaveAndValidate && pDX->m_hWndLastControl && pDX->m_bEditLastControl) {
    ::SendMessageA(pDX->m_hWndLastControl, EM_LIMITTEXT, nChars, 0);
  }
}

void AFXAPI DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
  if (pDX->m_bSaveAndValidate && (value < minVal || value > maxVal)) {
    char sz[96];
    wsprintfA(sz, "Enter an integer between %d and %d.", minVal, maxVal);
    AfxMessageBox(sz, MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

void AFXAPI DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal) {
  if (pDX->m_bSaveAndValidate && (value < minVal || value > maxVal)) {
    char sz[96];
    wsprintfA(sz, "Enter an integer between %u and %u.", minVal, maxVal);
    AfxMessageBox(sz, MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

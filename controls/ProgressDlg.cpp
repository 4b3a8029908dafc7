// Modeless progress window.
#include "ProgressDlg.h"
#include "resource_ids.h"

CProgressDlg::CProgressDlg(UINT nCaptionId)
    : m_nCaptionId(nCaptionId ? nCaptionId : IDS_PROGRESS_CAPTION), m_nLower(0), m_nUpper(100), m_nStep(10),
      m_bCancel(FALSE), m_hOwner(NULL), m_bOwnerDisabled(FALSE) {}

CProgressDlg::~CProgressDlg() {
  if (m_hWnd)
    DestroyWindow();
}

BOOL CProgressDlg::Create(CWnd* pParent) {
  // The owner: the parent's top-level window, else the main window.
  HWND hOwner = pParent->GetSafeHwnd();
  if (!hOwner) {
    CWnd* pMain = AfxGetMainWnd();
    hOwner = pMain->GetSafeHwnd();
  }
  while (hOwner && (::GetWindowLongA(hOwner, GWL_STYLE) & WS_CHILD))
    hOwner = ::GetParent(hOwner);
  m_hOwner = hOwner;
  if (m_hOwner && ::IsWindowEnabled(m_hOwner)) {
    ::EnableWindow(m_hOwner, FALSE);
    m_bOwnerDisabled = TRUE;
  }
  if (!CDialog::Create(IDD_PROGRESS, pParent)) {
    if (m_bOwnerDisabled)
      ::EnableWindow(m_hOwner, TRUE);
    m_bOwnerDisabled = FALSE;
    return FALSE;
  }
  return TRUE;
}

BOOL CProgressDlg::DestroyWindow() {
  if (m_bOwnerDisabled && m_hOwner)
    ::EnableWindow(m_hOwner, TRUE);
  m_bOwnerDisabled = FALSE;
  return CDialog::DestroyWindow();
}

BOOL CProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETRANGE32, m_nLower, m_nUpper);
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETSTEP, m_nStep);
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETPOS, m_nLower);
  CString strCaption;
  strCaption.LoadString(m_nCaptionId);
  SetWindowText(strCaption);
  return TRUE;
}

void CProgressDlg::OnOK() {}
void CProgressDlg::OnCancel() { m_bCancel = TRUE; }

void CProgressDlg::PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    if (!m_hWnd || !::IsDialogMessageA(m_hWnd, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

void CProgressDlg::UpdatePercent(int nPos) {
  int nSpan = m_nUpper - m_nLower;
  int nPercent = nSpan ? (nPos - m_nLower) * 100 / nSpan : 0;
  if (nPercent != 100)
    nPercent %= 100;
  char sz[16];
  wsprintfA(sz, "%d%c", nPercent, '%');
  CString strOld;
  GetDlgItemText(IDC_PROGRESS_PERCENT, strOld);
  if (strOld != sz)
    SetDlgItemText(IDC_PROGRESS_PERCENT, sz);
}

void CProgressDlg::SetStatusText(LPCTSTR lpszText) { SetDlgItemText(IDC_PROGRESS_STATUS, lpszText); }

void CProgressDlg::SetRange(int nLower, int nUpper) {
  m_nLower = nLower;
  m_nUpper = nUpper;
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETRANGE32, nLower, nUpper);
}

int CProgressDlg::SetStep(int nStep) {
  m_nStep = nStep;
  return (int)SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETSTEP, nStep);
}

int CProgressDlg::SetPos(int nPos) {
  PumpMessages();
  int nPrev = (int)SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETPOS, nPos);
  UpdatePercent(nPos);
  return nPrev;
}

int CProgressDlg::OffsetPos(int nDelta) {
  PumpMessages();
  int nPrev = (int)SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_DELTAPOS, nDelta);
  UpdatePercent(nPrev + nDelta);
  return nPrev;
}

int CProgressDlg::StepIt() {
  PumpMessages();
  int nPrev = (int)SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_STEPIT);
  UpdatePercent(nPrev + m_nStep);
  return nPrev;
}

BOOL CProgressDlg::IsCancelPressed() {
  PumpMessages();
  BOOL b = m_bCancel;
  m_bCancel = FALSE;
  return b;
}

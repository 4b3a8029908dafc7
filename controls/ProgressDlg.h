// Modeless progress window for work running on the user-interface thread.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

class CProgressDlg : public CDialog {
public:
  explicit CProgressDlg(UINT nCaptionId = 0);
  virtual ~CProgressDlg();

  BOOL Create(CWnd* pParent = NULL);
  void SetStatusText(LPCTSTR lpszText);
  void SetRange(int nLower, int nUpper);
  int SetStep(int nStep);
  int SetPos(int nPos);
  int OffsetPos(int nDelta);
  int StepIt();
  BOOL IsCancelPressed();
  virtual BOOL DestroyWindow();

protected:
  UINT m_nCaptionId;
  int m_nLower;
  int m_nUpper;
  int m_nStep;
  BOOL m_bCancel;
  HWND m_hOwner;
  BOOL m_bOwnerDisabled;

  void PumpMessages();
  void UpdatePercent(int nPos);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
};

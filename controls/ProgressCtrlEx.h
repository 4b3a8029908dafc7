// Self-painted progress bar, solid or segmented, horizontal or vertical.
#pragma once

#include <afxcmn.h>

class CProgressCtrlEx : public CProgressCtrl {
public:
  CProgressCtrlEx(COLORREF crBar, COLORREF crSecond, BOOL bHorizontal, BOOL bSegmented, int nSegment);
  virtual ~CProgressCtrlEx();
  void SetRange(int nLower, int nUpper);
  int SetPos(int nPos);

  COLORREF m_crBar;
  COLORREF m_crSecond;
  BOOL m_bHorizontal;
  BOOL m_bSegmented;
  int m_nLower;
  int m_nUpper;
  int m_nPos;
  int m_nSegment;

protected:
  afx_msg void OnPaint();
  DECLARE_MESSAGE_MAP()
};

// Text label with its own font weight and colours and an optional shadow.
#pragma once

#include <afxwin.h>

class CFocusStatic : public CStatic {
public:
  CFocusStatic(UINT nFormat, int nWeight, BOOL bFitFont, BOOL bFocus, COLORREF crFocus, COLORREF crNormal);
  virtual ~CFocusStatic();

  UINT m_nFormat;
  BOOL m_bFitFont;
  BOOL m_bFocus;
  COLORREF m_crFocus;
  COLORREF m_crNormal;
  COLORREF m_crDisabled;
  int m_nWeight;

protected:
  afx_msg void OnPaint();
  DECLARE_MESSAGE_MAP()
};

// Static controls that paint a device-independent bitmap: plain, with a line of
// text, and with an icon animation.
#pragma once

#include <afxwin.h>
#include "DIB.h"

class CBitmapStatic : public CStatic {
  DECLARE_DYNCREATE(CBitmapStatic)
public:
  CBitmapStatic();
  // nDrawMode: 0 tiled, 1 stretched (halftone), 2 unscaled from the top-left corner.
  CBitmapStatic(CDIB* pDIB, CPalette* pPalette, int nDrawMode);
  virtual ~CBitmapStatic();
  void SizeToDIB();

  int m_nDrawMode;
  CDIB* m_pDIB;
  CPalette* m_pPalette;

protected:
  // Paints the picture into the paint DC; FALSE when there is none.
  BOOL PaintPicture(CDC* pDC);
  afx_msg void OnPaint();
  DECLARE_MESSAGE_MAP()
};

class CTextBitmapStatic : public CBitmapStatic {
public:
  CTextBitmapStatic(CDIB* pDIB, CPalette* pPalette, int nDrawMode, BOOL bUnderline, int nWeight,
                    COLORREF crText, UINT nFormat);
  virtual ~CTextBitmapStatic();
  void SetText(LPCTSTR lpszText);

  COLORREF m_crDisabled;
  COLORREF m_crText;
  BOOL m_bUnderline;
  int m_nWeight;
  UINT m_nFormat;
  CString m_strText;

protected:
  afx_msg void OnPaint();
  DECLARE_MESSAGE_MAP()
};

class CAnimationIcon : public CBitmapStatic {
  DECLARE_DYNCREATE(CAnimationIcon)
public:
  CAnimationIcon();
  CAnimationIcon(CDIB* pDIB, CPalette* pPalette, int nDrawMode, UINT nFirstIconId, UINT nIcons, UINT nIntervalMs);
  virtual ~CAnimationIcon();
  void StartAnimation();
  void StopAnimation();

  UINT m_nIcons;
  UINT m_nInterval;
  HICON m_hIcons[20];
  int m_nCurrent;
  UINT_PTR m_nTimerId;

protected:
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnPaint();
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

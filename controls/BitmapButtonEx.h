// Push button drawn from four bitmaps, with an optional caption.
#pragma once

#include <afxwin.h>

class CBitmapButtonEx : public CButton {
  DECLARE_DYNAMIC(CBitmapButtonEx)
public:
  explicit CBitmapButtonEx(int nStyle = 0);
  virtual ~CBitmapButtonEx();
  BOOL LoadBitmaps(UINT nIDUp, UINT nIDDown = 0, UINT nIDFocus = 0, UINT nIDDisabled = 0, BOOL bShowText = TRUE);
  BOOL LoadBitmaps(LPCTSTR lpszUp, LPCTSTR lpszDown = NULL, LPCTSTR lpszFocus = NULL, LPCTSTR lpszDisabled = NULL,
                   BOOL bShowText = TRUE);
  void SizeToContent();
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDIS);

  BOOL m_bTransparent;
  COLORREF m_crTransparent;
  CBitmap m_bmpUp, m_bmpDown, m_bmpFocus, m_bmpDisabled;
  int m_nTextLeft;
  int m_nTextExtra;
  int m_nTextLines;
  int m_nStyle;
  BOOL m_bShowText;
};

// Stretches hBitmap's rcSource into rcDest of pDC; pixels of crTransparent take
// the DC's background colour.
void drawTransparent(CDC* pDC, const CRect& rcDest, HBITMAP hBitmap, const CRect& rcSource, COLORREF crTransparent);

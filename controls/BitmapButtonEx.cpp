// Bitmap push button.
#include "BitmapButtonEx.h"

IMPLEMENT_DYNAMIC(CBitmapButtonEx, CButton)

CBitmapButtonEx::CBitmapButtonEx(int nStyle)
    : m_bTransparent(TRUE), m_crTransparent(0xC0C0C0), m_nTextLeft(0), m_nTextExtra(10), m_nTextLines(1),
      m_nStyle(nStyle), m_bShowText(TRUE) {}

CBitmapButtonEx::~CBitmapButtonEx() {}

BOOL CBitmapButtonEx::LoadBitmaps(LPCTSTR lpszUp, LPCTSTR lpszDown, LPCTSTR lpszFocus, LPCTSTR lpszDisabled,
                                  BOOL bShowText) {
  m_bShowText = bShowText;
  m_bmpUp.DeleteObject();
  m_bmpDown.DeleteObject();
  m_bmpFocus.DeleteObject();
  m_bmpDisabled.DeleteObject();
  if (!m_bmpUp.LoadBitmap(lpszUp))
    return FALSE;
  BOOL bAll = TRUE;
  if (lpszDown && !m_bmpDown.LoadBitmap(lpszDown))
    bAll = FALSE;
  if (lpszFocus && !m_bmpFocus.LoadBitmap(lpszFocus))
    bAll = FALSE;
  if (lpszDisabled && !m_bmpDisabled.LoadBitmap(lpszDisabled))
    bAll = FALSE;
  return bAll;
}

BOOL CBitmapButtonEx::LoadBitmaps(UINT nIDUp, UINT nIDDown, UINT nIDFocus, UINT nIDDisabled, BOOL bShowText) {
  return LoadBitmaps(MAKEINTRESOURCEA(nIDUp), nIDDown ? MAKEINTRESOURCEA(nIDDown) : NULL,
                     nIDFocus ? MAKEINTRESOURCEA(nIDFocus) : NULL, nIDDisabled ? MAKEINTRESOURCEA(nIDDisabled) : NULL,
                     bShowText);
}

void CBitmapButtonEx::SizeToContent() {
  if (!m_bmpUp.m_hObject)
    return;
  BITMAP bm;
  m_bmpUp.GetBitmap(&bm);
  SetWindowPos(NULL, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void drawTransparent(CDC* pDC, const CRect& rcDest, HBITMAP hBitmap, const CRect& rcSource, COLORREF crTransparent) {
  if (!hBitmap)
    return;
  int w = rcSource.Width(), h = rcSource.Height();
  HDC hDC = pDC->m_hDC;
  HDC hImage = ::CreateCompatibleDC(hDC), hMask = ::CreateCompatibleDC(hDC), hWork = ::CreateCompatibleDC(hDC);
  HGDIOBJ hOldImage = ::SelectObject(hImage, hBitmap);
  // Monochrome mask: the transparent colour becomes white.
  HBITMAP hbmMask = ::CreateBitmap(w, h, 1, 1, NULL);
  HGDIOBJ hOldMask = ::SelectObject(hMask, hbmMask);
  COLORREF crOldBk = ::SetBkColor(hImage, crTransparent);
  ::BitBlt(hMask, 0, 0, w, h, hImage, rcSource.left, rcSource.top, SRCCOPY);
  ::SetBkColor(hImage, crOldBk);
  // The picture in a memory bitmap, its transparent pixels painted with the background brush.
  HBITMAP hbmWork = ::CreateCompatibleBitmap(hDC, w, h);
  HGDIOBJ hOldWork = ::SelectObject(hWork, hbmWork);
  ::BitBlt(hWork, 0, 0, w, h, hImage, rcSource.left, rcSource.top, SRCCOPY);
  HBRUSH hBrush = ::CreateSolidBrush(::GetBkColor(hDC));
  HGDIOBJ hOldBrush = ::SelectObject(hWork, hBrush);
  ::SetTextColor(hWork, RGB(0, 0, 0));
  ::SetBkColor(hWork, RGB(255, 255, 255));
  ::BitBlt(hWork, 0, 0, w, h, hMask, 0, 0, 0xE20746);
  ::SelectObject(hWork, hOldBrush);
  ::DeleteObject(hBrush);
  ::StretchBlt(hDC, rcDest.left, rcDest.top, rcDest.Width(), rcDest.Height(), hWork, 0, 0, w, h, SRCCOPY);
  ::SelectObject(hWork, hOldWork);
  ::DeleteObject(hbmWork);
  ::SelectObject(hMask, hOldMask);
  ::DeleteObject(hbmMask);
  ::SelectObject(hImage, hOldImage);
  ::DeleteDC(hImage);
  ::DeleteDC(hMask);
  ::DeleteDC(hWork);
}

void CBitmapButtonEx::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  if (!m_bmpUp.m_hObject)
    return;
  CBitmap* pBitmap = &m_bmpUp;
  UINT state = lpDIS->itemState;
  if ((state & ODS_SELECTED) && m_bmpDown.m_hObject)
    pBitmap = &m_bmpDown;
  else if ((state & ODS_FOCUS) && m_bmpFocus.m_hObject)
    pBitmap = &m_bmpFocus;
  else if ((state & ODS_DISABLED) && m_bmpDisabled.m_hObject)
    pBitmap = &m_bmpDisabled;
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  // The parent's static background colour.
  HWND hParent = ::GetParent(m_hWnd);
  HDC hParentDC = ::GetDC(hParent);
  HBRUSH hbr = (HBRUSH)::SendMessageA(hParent, WM_CTLCOLORSTATIC, (WPARAM)hParentDC, (LPARAM)m_hWnd);
  ::ReleaseDC(hParent, hParentDC);
  LOGBRUSH lb = {};
  if (hbr && ::GetObjectA(hbr, sizeof(lb), &lb))
    pDC->SetBkColor(lb.lbColor);
  pDC->SetStretchBltMode(COLORONCOLOR);
  BITMAP bm;
  pBitmap->GetBitmap(&bm);
  CRect rc;
  GetClientRect(&rc);
  CRect rcDest(rc.left, rc.top, rc.right, rc.bottom - 1);
  if (m_bTransparent) {
    drawTransparent(pDC, rcDest, (HBITMAP)pBitmap->m_hObject, CRect(0, 0, bm.bmWidth, bm.bmHeight), m_crTransparent);
  } else {
    CDC dcMem;
    dcMem.CreateCompatibleDC(pDC);
    CBitmap* pOld = dcMem.SelectObject(pBitmap);
    pDC->StretchBlt(rcDest.left, rcDest.top, rcDest.Width(), rcDest.Height(), &dcMem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    dcMem.SelectObject(pOld);
  }
  if (m_bShowText) {
    CString strText;
    GetWindowText(strText);
    CFont* pOldFont = pDC->SelectObject(GetFont());
    TEXTMETRICA tm;
    pDC->GetTextMetrics(&tm);
    CRect rcText(rc.left + m_nTextLeft, rc.bottom - (m_nTextLines * tm.tmHeight + m_nTextExtra), rc.right, rc.bottom);
    pDC->SetTextColor((state & ODS_DISABLED) ? RGB(0x60, 0x60, 0x60) : RGB(0, 0, 0));
    pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(strText, &rcText, DT_CENTER | DT_VCENTER);
    if (pOldFont)
      pDC->SelectObject(pOldFont);
  }
}

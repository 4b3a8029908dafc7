// Header with a sort arrow.
#include "SortedHeaderCtrl.h"

CSortedHeaderCtrl::CSortedHeaderCtrl() : m_nSortColumn(-1), m_bSortAscending(TRUE) {}
CSortedHeaderCtrl::~CSortedHeaderCtrl() {}

int CSortedHeaderCtrl::SetSortImage(int nColumn, BOOL bAscending) {
  int nPrev = m_nSortColumn;
  m_nSortColumn = nColumn;
  m_bSortAscending = bAscending;
  HDITEMA hdi = {};
  hdi.mask = HDI_FORMAT;
  GetItem(nColumn, &hdi);
  hdi.fmt |= HDF_OWNERDRAW;
  SetItem(nColumn, &hdi);
  Invalidate();
  return nPrev;
}

void CSortedHeaderCtrl::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  CRect rcItem(lpDIS->rcItem);
  int nSaved = pDC->SaveDC();
  pDC->IntersectClipRect(&rcItem);
  pDC->FillRect(&rcItem, CBrush::FromHandle(::GetSysColorBrush(COLOR_BTNFACE)));
  int nMargin = 2 * pDC->GetTextExtent(" ", 1).cx;
  char szText[256] = "";
  HDITEMA hdi = {};
  hdi.mask = HDI_TEXT | HDI_FORMAT;
  hdi.pszText = szText;
  hdi.cchTextMax = 255;
  GetItem(lpDIS->itemID, &hdi);
  UINT uFormat = DT_SINGLELINE | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (hdi.fmt & HDF_CENTER)
    uFormat |= DT_CENTER;
  else if (hdi.fmt & HDF_RIGHT)
    uFormat |= DT_RIGHT;
  if (lpDIS->itemState == ODS_SELECTED) {
    rcItem.left++;
    rcItem.top += 2;
    rcItem.right++;
  }
  BOOL bSortColumn = (int)lpDIS->itemID == m_nSortColumn;
  CRect rcText = rcItem;
  rcText.left += nMargin;
  rcText.right -= nMargin;
  if (bSortColumn)
    rcText.right -= 3 * nMargin;
  if (rcText.left < rcText.right) {
    pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(szText, -1, &rcText, uFormat);
  }
  if (bSortColumn) {
    CRect rc(lpDIS->rcItem);
    int R = rc.right, B = rc.bottom, d = rc.Height() / 4;
    CPen penLight(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    CPen penShadow(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    CPen* pOld = pDC->SelectObject(&penLight);
    if (m_bSortAscending) {
      pDC->MoveTo(R - 2 * d, d);
      pDC->LineTo(R - d, B - d - 1);
      pDC->LineTo(R - 3 * d - 2, B - d - 1);
      pDC->SelectObject(&penShadow);
      pDC->MoveTo(R - 3 * d - 1, B - d - 1);
      pDC->LineTo(R - 2 * d, d - 1);
    } else {
      pDC->MoveTo(R - d - 1, d);
      pDC->LineTo(R - 2 * d - 1, B - d);
      pDC->SelectObject(&penShadow);
      pDC->MoveTo(R - 2 * d - 2, B - d);
      pDC->LineTo(R - 3 * d - 1, d);
      pDC->LineTo(R - d - 1, d);
    }
    pDC->SelectObject(pOld);
  }
  pDC->RestoreDC(nSaved);
}

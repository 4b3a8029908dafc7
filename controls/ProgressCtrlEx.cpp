// Self-painted progress bar.
#include "ProgressCtrlEx.h"

BEGIN_MESSAGE_MAP(CProgressCtrlEx, CProgressCtrl)
  ON_WM_PAINT()
END_MESSAGE_MAP()

CProgressCtrlEx::CProgressCtrlEx(COLORREF crBar, COLORREF crSecond, BOOL bHorizontal, BOOL bSegmented, int nSegment)
    : m_crBar(crBar), m_crSecond(crSecond), m_bHorizontal(bHorizontal), m_bSegmented(bSegmented), m_nLower(0),
      m_nUpper(0), m_nPos(0), m_nSegment(nSegment) {}

CProgressCtrlEx::~CProgressCtrlEx() {}

void CProgressCtrlEx::SetRange(int nLower, int nUpper) {
  m_nLower = nLower < nUpper ? nLower : nUpper;
  m_nUpper = nLower < nUpper ? nUpper : nLower;
}

int CProgressCtrlEx::SetPos(int nPos) {
  int nOld = m_nPos;
  if (nPos < m_nLower)
    nPos = m_nLower;
  if (nPos > m_nUpper)
    nPos = m_nUpper;
  m_nPos = nPos;
  if (m_hWnd)
    Invalidate(TRUE);
  return nOld;
}

void CProgressCtrlEx::OnPaint() {
  CPaintDC dc(this);
  if (m_nPos == m_nLower)
    return;
  CRect rc;
  GetClientRect(&rc);
  dc.FillRect(&rc, CBrush::FromHandle(::GetSysColorBrush(COLOR_BTNFACE)));
  COLORREF cr = IsWindowEnabled() ? m_crBar : ::GetSysColor(COLOR_BTNSHADOW);
  int nSpan = m_nUpper - m_nLower;
  CRect rcBar = rc;
  if (m_bHorizontal)
    rcBar.right = (int)((long long)rc.right * (m_nPos - m_nLower) / nSpan);
  else
    rcBar.top = rc.bottom - (int)((long long)rc.bottom * (m_nPos - m_nLower) / nSpan);
  rcBar.DeflateRect(2, 2);
  if (!m_bSegmented) {
    dc.FillSolidRect(&rcBar, cr);
    return;
  }
  int nSeg = m_nSegment > 0 ? m_nSegment : 1;
  if (m_bHorizontal) {
    int nLimit = rcBar.right;   // the bar's inset right end
    for (int x = rcBar.left; x < nLimit + 2; x += nSeg + 2) {
      int xEnd = x + nSeg;
      if (xEnd > nLimit)
        xEnd = nLimit;
      if (xEnd > x)
        dc.FillSolidRect(x, rcBar.top, xEnd - x, rcBar.Height(), cr);
    }
  } else {
    for (int y = rcBar.bottom; y > rcBar.top - 2; y -= nSeg + 2) {
      int yTop = y - nSeg;
      if (yTop < rc.top + 2)
        yTop = rc.top + 2;
      if (y > yTop)
        dc.FillSolidRect(rcBar.left, yTop, rcBar.Width(), y - yTop, cr);
    }
  }
}

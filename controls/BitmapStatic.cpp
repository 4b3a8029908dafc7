// Static controls painting a device-independent bitmap.
#include "BitmapStatic.h"

IMPLEMENT_DYNCREATE(CBitmapStatic, CStatic)
IMPLEMENT_DYNCREATE(CAnimationIcon, CBitmapStatic)

BEGIN_MESSAGE_MAP(CBitmapStatic, CStatic)
  ON_WM_PAINT()
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CTextBitmapStatic, CBitmapStatic)
  ON_WM_PAINT()
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CAnimationIcon, CBitmapStatic)
  ON_WM_TIMER()
  ON_WM_PAINT()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CBitmapStatic::CBitmapStatic() : m_nDrawMode(2), m_pDIB(NULL), m_pPalette(NULL) {}

CBitmapStatic::CBitmapStatic(CDIB* pDIB, CPalette* pPalette, int nDrawMode)
    : m_nDrawMode(nDrawMode), m_pDIB(pDIB), m_pPalette(pPalette) {}

CBitmapStatic::~CBitmapStatic() {}

void CBitmapStatic::SizeToDIB() {
  if (!m_pDIB)
    return;
  CSize size = m_pDIB->GetSize();
  SetWindowPos(NULL, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
}

BOOL CBitmapStatic::PaintPicture(CDC* pDC) {
  if (!m_pDIB)
    return FALSE;
  CPalette* pOld = NULL;
  if (m_pPalette) {
    pOld = pDC->SelectPalette(m_pPalette, FALSE);
    pDC->RealizePalette();
  }
  switch (m_nDrawMode) {
  case 0:
    m_pDIB->PaintTiled(pDC);
    break;
  case 1:
    pDC->SetStretchBltMode(HALFTONE);
    m_pDIB->PaintStretched(pDC);
    break;
  default: {
    CRect rc;
    GetClientRect(&rc);
    m_pDIB->DrawAt(pDC, CPoint(0, 0), CPoint(0, m_pDIB->GetSize().cy - rc.Height()), rc.Width(), rc.Height());
    break;
  }
  }
  if (m_pPalette) {
    pDC->SelectPalette(pOld, FALSE);
    pDC->RealizePalette();
  }
  return TRUE;
}

void CBitmapStatic::OnPaint() {
  if (!m_pDIB) {
    Default();
    return;
  }
  CPaintDC dc(this);
  PaintPicture(&dc);
}

/////////////////////////////////////////////////////////////////////////////

CTextBitmapStatic::CTextBitmapStatic(CDIB* pDIB, CPalette* pPalette, int nDrawMode, BOOL bUnderline, int nWeight,
                                     COLORREF crText, UINT nFormat)
    : CBitmapStatic(pDIB, pPalette, nDrawMode), m_crDisabled(0xC0C0C0), m_crText(crText), m_bUnderline(bUnderline),
      m_nWeight(nWeight), m_nFormat(nFormat) {}

CTextBitmapStatic::~CTextBitmapStatic() {}

void CTextBitmapStatic::SetText(LPCTSTR lpszText) {
  m_strText = lpszText;
  if (m_hWnd) {
    Invalidate(TRUE);
    UpdateWindow();
  }
}

void CTextBitmapStatic::OnPaint() {
  CBitmapStatic::OnPaint();
  CClientDC dc(this);
  LOGFONTA lf;
  memset(&lf, 0, sizeof(lf));
  HFONT hFont = (HFONT)SendMessage(WM_GETFONT);
  ::GetObjectA(hFont ? (HGDIOBJ)hFont : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  lf.lfUnderline = (BYTE)m_bUnderline;
  lf.lfWeight = m_nWeight;
  CFont font;
  font.CreateFontIndirect(&lf);
  CFont* pOld = dc.SelectObject(&font);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(IsWindowEnabled() ? m_crText : m_crDisabled);
  CRect rc;
  GetClientRect(&rc);
  dc.DrawText(m_strText, &rc, m_nFormat);
  dc.SelectObject(pOld);
}

/////////////////////////////////////////////////////////////////////////////

CAnimationIcon::CAnimationIcon() : m_nIcons(0), m_nInterval(0), m_nCurrent(-1), m_nTimerId(0) {
  memset(m_hIcons, 0, sizeof(m_hIcons));
}

CAnimationIcon::CAnimationIcon(CDIB* pDIB, CPalette* pPalette, int nDrawMode, UINT nFirstIconId, UINT nIcons,
                               UINT nIntervalMs)
    : CBitmapStatic(pDIB, pPalette, nDrawMode), m_nIcons(nIcons > 20 ? 20 : nIcons), m_nInterval(nIntervalMs),
      m_nCurrent(-1), m_nTimerId(0) {
  memset(m_hIcons, 0, sizeof(m_hIcons));
  for (UINT i = 0; i < m_nIcons; i++)
    m_hIcons[i] = (HICON)::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nFirstIconId + i), IMAGE_ICON, 32, 32, 0);
}

CAnimationIcon::~CAnimationIcon() {
  for (UINT i = 0; i < 20; i++)
    if (m_hIcons[i])
      ::DestroyIcon(m_hIcons[i]);
}

void CAnimationIcon::StartAnimation() { m_nTimerId = SetTimer(1, m_nInterval, NULL); }

void CAnimationIcon::StopAnimation() {
  if (m_nTimerId && ::IsWindow(m_hWnd))
    KillTimer(m_nTimerId);
  m_nTimerId = 0;
}

void CAnimationIcon::OnTimer(UINT_PTR) {
  if (m_nIcons == 0)
    return;
  m_nCurrent = (m_nCurrent + 1) % (int)m_nIcons;
  Invalidate(FALSE);
  UpdateWindow();
  ::SendMessageA(::GetParent(m_hWnd), WM_TIMER, (WPARAM)-1, 0);
}

void CAnimationIcon::OnPaint() {
  CBitmapStatic::OnPaint();
  if (m_nCurrent < 0 || !m_hIcons[m_nCurrent])
    return;
  CClientDC dc(this);
  ::DrawIconEx(dc.m_hDC, 0, 0, m_hIcons[m_nCurrent], 32, 32, 0, NULL, DI_NORMAL);
}

void CAnimationIcon::OnDestroy() {
  StopAnimation();
  CBitmapStatic::OnDestroy();
}

// Text label with shadow.
#include "FocusStatic.h"

BEGIN_MESSAGE_MAP(CFocusStatic, CStatic)
  ON_WM_PAINT()
END_MESSAGE_MAP()

CFocusStatic::CFocusStatic(UINT nFormat, int nWeight, BOOL bFitFont, BOOL bFocus, COLORREF crFocus, COLORREF crNormal)
    : m_nFormat(nFormat), m_bFitFont(bFitFont), m_bFocus(bFocus), m_crFocus(crFocus), m_crNormal(crNormal),
      m_crDisabled(0x6E6E6E), m_nWeight(nWeight) {}

CFocusStatic::~CFocusStatic() {}

void CFocusStatic::OnPaint() {
  CPaintDC dc(this);
  CRect rc;
  GetClientRect(&rc);
  CString strText;
  GetWindowText(strText);
  LOGFONTA lf;
  memset(&lf, 0, sizeof(lf));
  HFONT hFont = (HFONT)SendMessage(WM_GETFONT);
  ::GetObjectA(hFont ? (HGDIOBJ)hFont : ::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  if (m_bFitFont) {
    lf.lfHeight = -MulDiv(rc.Height() / 2, dc.GetDeviceCaps(LOGPIXELSY), 72);
    lf.lfWidth = strText.IsEmpty() ? rc.Width() : rc.Width() / strText.GetLength();
  }
  lf.lfWeight = m_nWeight;
  CFont font;
  font.CreateFontIndirect(&lf);
  CFont* pOld = dc.SelectObject(&font);
  COLORREF cr = !IsWindowEnabled() ? m_crDisabled : (m_bFocus ? m_crFocus : m_crNormal);
  dc.SetBkMode(TRANSPARENT);
  if (m_bFocus) {
    CRect rcShadow = rc;
    rcShadow.OffsetRect(1, 1);
    dc.SetTextColor(::GetSysColor(COLOR_BTNSHADOW));
    dc.DrawText(strText, &rcShadow, m_nFormat);
  }
  dc.SetTextColor(cr);
  dc.DrawText(strText, &rc, m_nFormat);
  dc.SelectObject(pOld);
}

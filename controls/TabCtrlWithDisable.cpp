// Tab control with disabled tabs; list control with cell tooltips.
#include "TabCtrlWithDisable.h"

IMPLEMENT_DYNAMIC(CTabCtrlWithDisable, CTabCtrl)

BEGIN_MESSAGE_MAP(CTabCtrlWithDisable, CTabCtrl)
  ON_NOTIFY_REFLECT_EX(TCN_SELCHANGING, OnSelChanging)
END_MESSAGE_MAP()

namespace {
// Set while SelectTab asks the parent, so that our own selection is not
// judged by where the mouse pointer happens to be.
BOOL g_bSelectingByKey = FALSE;
}

CTabCtrlWithDisable::CTabCtrlWithDisable() {}
CTabCtrlWithDisable::~CTabCtrlWithDisable() {}

BOOL CTabCtrlWithDisable::IsTabEnabled(int) { return TRUE; }

BOOL CTabCtrlWithDisable::SubclassTabCtrl(UINT nID, CWnd* pParent) {
  if (!SubclassDlgItem(nID, pParent))
    return FALSE;
  ModifyStyle(0, TCS_OWNERDRAWFIXED);
  int nSel = GetCurSel();
  if (nSel >= 0 && !IsTabEnabled(nSel)) {
    int nNext = NextEnabledTab(nSel, TRUE);
    if (nNext >= 0)
      SelectTab(nNext);
  }
  return TRUE;
}

// Each tab is looked at once at most: with no tab selected (-1) and none enabled the
// walk ends too.
int CTabCtrlWithDisable::NextEnabledTab(int nTab, BOOL bWrap) {
  int nCount = GetItemCount();
  int i = nTab;
  for (int nStep = 0; nStep < nCount; nStep++) {
    if (++i >= nCount) {
      if (!bWrap)
        return -1;
      i = 0;
    }
    if (i == nTab)
      return -1;
    if (IsTabEnabled(i))
      return i;
  }
  return -1;
}

int CTabCtrlWithDisable::PrevEnabledTab(int nTab, BOOL bWrap) {
  int nCount = GetItemCount();
  int i = nTab;
  for (int nStep = 0; nStep < nCount; nStep++) {
    if (--i < 0) {
      if (!bWrap)
        return -1;
      i = nCount - 1;
    }
    if (i == nTab)
      return -1;
    if (IsTabEnabled(i))
      return i;
  }
  return -1;
}

BOOL CTabCtrlWithDisable::SelectTab(int nTab) {
  HWND hParent = ::GetParent(m_hWnd);
  NMHDR nm = { m_hWnd, (UINT_PTR)GetDlgCtrlID(), (UINT)TCN_SELCHANGING };
  g_bSelectingByKey = TRUE;
  LRESULT lRefused = ::SendMessageA(hParent, WM_NOTIFY, nm.idFrom, (LPARAM)&nm);
  g_bSelectingByKey = FALSE;
  if (lRefused)
    return FALSE;
  SetCurSel(nTab);
  nm.code = (UINT)TCN_SELCHANGE;
  ::SendMessageA(hParent, WM_NOTIFY, nm.idFrom, (LPARAM)&nm);
  return TRUE;
}

BOOL CTabCtrlWithDisable::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN && pMsg->hwnd == m_hWnd && (pMsg->wParam == VK_LEFT || pMsg->wParam == VK_RIGHT)) {
    int nCur = GetCurSel();
    int nTab = pMsg->wParam == VK_LEFT ? PrevEnabledTab(nCur, FALSE) : NextEnabledTab(nCur, FALSE);
    if (nTab >= 0)
      SelectTab(nTab);
    return TRUE;
  }
  return CTabCtrl::PreTranslateMessage(pMsg);
}

BOOL CTabCtrlWithDisable::TranslateSheetKey(MSG* pMsg) {
  if (pMsg->message != WM_KEYDOWN || !(::GetAsyncKeyState(VK_CONTROL) & 0x8000))
    return FALSE;
  BOOL bShift = (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  int nCur = GetCurSel();
  int nTab;
  if ((pMsg->wParam == VK_TAB && !bShift) || pMsg->wParam == VK_NEXT)
    nTab = NextEnabledTab(nCur, TRUE);
  else if ((pMsg->wParam == VK_TAB && bShift) || pMsg->wParam == VK_PRIOR)
    nTab = PrevEnabledTab(nCur, TRUE);
  else
    return FALSE;
  if (nTab >= 0)
    SelectTab(nTab);
  return TRUE;
}

BOOL CTabCtrlWithDisable::OnSelChanging(NMHDR*, LRESULT* pResult) {
  if (g_bSelectingByKey)
    return FALSE;
  TCHITTESTINFO hti = {};
  ::GetCursorPos(&hti.pt);
  ScreenToClient(&hti.pt);
  int nTab = HitTest(&hti);
  if (nTab >= 0 && !IsTabEnabled(nTab)) {
    *pResult = 1;
    return TRUE;   // refused; the parent is not asked
  }
  return FALSE;
}

void CTabCtrlWithDisable::DrawTabText(CDC* pDC, CRect rc, CString strText, BOOL bDisabled) {
  pDC->SetBkMode(TRANSPARENT);
  UINT uFormat = DT_CENTER | DT_VCENTER;
  if (!bDisabled) {
    pDC->SetTextColor(::GetSysColor(COLOR_BTNTEXT));
    pDC->DrawText(strText, &rc, uFormat);
    return;
  }
  pDC->SetTextColor(::GetSysColor(COLOR_BTNHIGHLIGHT));
  pDC->DrawText(strText, &rc, uFormat);
  rc.OffsetRect(-1, -1);
  pDC->SetTextColor(::GetSysColor(COLOR_GRAYTEXT));
  pDC->DrawText(strText, &rc, uFormat);
}

void CTabCtrlWithDisable::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  char szText[129] = "";
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = szText;
  item.cchTextMax = 128;
  GetItem(lpDIS->itemID, &item);
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  CRect rc(lpDIS->rcItem);
  if ((int)lpDIS->itemID == GetCurSel())
    pDC->FillRect(&rc, CBrush::FromHandle(::GetSysColorBrush(COLOR_BTNFACE)));
  rc.OffsetRect(1, 4);
  CFont* pOld = pDC->SelectObject(GetFont());
  DrawTabText(pDC, rc, szText, !IsTabEnabled(lpDIS->itemID));
  if (pOld)
    pDC->SelectObject(pOld);
}

/////////////////////////////////////////////////////////////////////////////

BEGIN_MESSAGE_MAP(CToolTipsListCtrl, CListCtrl)
  ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTA, 0, 0xFFFF, OnToolTipText)
  ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTW, 0, 0xFFFF, OnToolTipText)
END_MESSAGE_MAP()

CToolTipsListCtrl::CToolTipsListCtrl() {}
CToolTipsListCtrl::~CToolTipsListCtrl() {}

void CToolTipsListCtrl::PreSubclassWindow() {
  CListCtrl::PreSubclassWindow();
  EnableToolTips(TRUE);
}

int CToolTipsListCtrl::CellFromPoint(CPoint point, RECT* pCell, int* pColumn) const {
  if ((GetStyle() & LVS_TYPEMASK) != LVS_REPORT)
    return -1;
  int nTop = GetTopIndex();
  int nBottom = nTop + GetCountPerPage() + 1;
  int nCount = GetItemCount();
  if (nBottom > nCount)
    nBottom = nCount;
  CHeaderCtrl* pHeader = GetHeaderCtrl();
  int nColumns = pHeader ? pHeader->GetItemCount() : 0;
  for (int row = nTop; row < nBottom; row++) {
    CRect rcRow;
    GetItemRect(row, &rcRow, LVIR_BOUNDS);
    if (!rcRow.PtInRect(point))
      continue;
    int x = rcRow.left;
    for (int col = 0; col < nColumns; col++) {
      int w = GetColumnWidth(col);
      if (point.x >= x && point.x <= x + w) {
        CRect rcClient;
        GetClientRect(&rcClient);
        CRect rcCell(x, rcRow.top, x + w, rcRow.bottom);
        if (rcCell.right > rcClient.right)
          rcCell.right = rcClient.right;
        if (pCell)
          *pCell = rcCell;
        if (pColumn)
          *pColumn = col;
        return row;
      }
      x += w;
    }
    return -1;
  }
  return -1;
}

INT_PTR CToolTipsListCtrl::OnToolHitTest(CPoint point, TOOLINFOA* pTI) const {
  RECT rcCell;
  int nColumn = 0;
  int nRow = CellFromPoint(point, &rcCell, &nColumn);
  if (nRow == -1)
    return -1;
  pTI->hwnd = m_hWnd;
  pTI->uId = (UINT_PTR)(nRow * 1024 + nColumn + 1);
  pTI->lpszText = LPSTR_TEXTCALLBACKA;
  pTI->rect = rcCell;
  return (INT_PTR)pTI->uId;
}

BOOL CToolTipsListCtrl::OnToolTipText(UINT, NMHDR* pNMHDR, LRESULT* pResult) {
  UINT_PTR nID = pNMHDR->idFrom;
  if (nID == 0)
    return FALSE;
  int nRow = (int)((nID - 1) / 1024);
  int nColumn = (int)((nID - 1) % 1024);
  CString strText = GetItemText(nRow, nColumn);
  if (pNMHDR->code == TTN_NEEDTEXTA) {
    NMTTDISPINFOA* p = (NMTTDISPINFOA*)pNMHDR;
    lstrcpynA(p->szText, strText, 80);
  } else {
    NMTTDISPINFOW* p = (NMTTDISPINFOW*)pNMHDR;
    char sz[80];
    lstrcpynA(sz, strText, 80);
    ::MultiByteToWideChar(CP_ACP, 0, sz, -1, p->szText, 80);
  }
  *pResult = 0;
  return TRUE;
}

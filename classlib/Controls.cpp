// The standard controls: creation and owner-draw reflection.
#include "afxwin.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)

BOOL CStatic::Create(LPCTSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, "STATIC", lpszText, dwStyle, rect, pParentWnd, nID);
}

BOOL CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_DRAWITEM) {
    DrawItem((LPDRAWITEMSTRUCT)lParam);
    if (pResult)
      *pResult = TRUE;
    return TRUE;
  }
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CButton::Create(LPCTSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, "BUTTON", lpszCaption, dwStyle, rect, pParentWnd, nID);
}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_DRAWITEM) {
    DrawItem((LPDRAWITEMSTRUCT)lParam);
    if (pResult)
      *pResult = TRUE;
    return TRUE;
  }
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CEdit::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, "EDIT", NULL, dwStyle, rect, pParentWnd, nID);
}

BOOL CListBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, "LISTBOX", NULL, dwStyle, rect, pParentWnd, nID);
}

void CListBox::GetText(int nIndex, CString& rString) const {
  int n = GetTextLen(nIndex);
  if (n < 0) {
    rString.Empty();
    return;
  }
  ::SendMessageA(m_hWnd, LB_GETTEXT, nIndex, (LPARAM)rString.GetBufferSetLength(n));
  rString.ReleaseBuffer();
}

UINT CListBox::ItemFromPoint(CPoint pt, BOOL& bOutside) const {
  DWORD dw = (DWORD)::SendMessageA(m_hWnd, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
  bOutside = HIWORD(dw) != 0;
  return LOWORD(dw);
}

// Owner-draw messages reflected to a list box or combo box: its own virtuals draw,
// measure, compare and delete items.
template <class TControl>
static BOOL ReflectOwnerDraw(TControl* pControl, UINT message, LPARAM lParam, LRESULT* pResult,
                             BOOL* pHandled) {
  *pHandled = TRUE;
  switch (message) {
  case WM_DRAWITEM:
    pControl->DrawItem((LPDRAWITEMSTRUCT)lParam);
    break;
  case WM_MEASUREITEM:
    pControl->MeasureItem((LPMEASUREITEMSTRUCT)lParam);
    break;
  case WM_COMPAREITEM:
    if (pResult)
      *pResult = pControl->CompareItem((LPCOMPAREITEMSTRUCT)lParam);
    return TRUE;
  case WM_DELETEITEM:
    pControl->DeleteItem((LPDELETEITEMSTRUCT)lParam);
    break;
  default:
    *pHandled = FALSE;
    return FALSE;
  }
  if (pResult)
    *pResult = TRUE;
  return TRUE;
}

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  BOOL fHandled;
  BOOL fResult = ReflectOwnerDraw(this, message, lParam, pResult, &fHandled);
  return fHandled ? fResult : CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CComboBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, "COMBOBOX", NULL, dwStyle, rect, pParentWnd, nID);
}

void CComboBox::GetLBText(int nIndex, CString& rString) const {
  int n = GetLBTextLen(nIndex);
  if (n < 0) {
    rString.Empty();
    return;
  }
  ::SendMessageA(m_hWnd, CB_GETLBTEXT, nIndex, (LPARAM)rString.GetBufferSetLength(n));
  rString.ReleaseBuffer();
}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  BOOL fHandled;
  BOOL fResult = ReflectOwnerDraw(this, message, lParam, pResult, &fHandled);
  return fHandled ? fResult : CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

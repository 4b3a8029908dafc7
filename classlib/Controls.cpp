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

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  switch (message) {
  case WM_DRAWITEM:
    DrawItem((LPDRAWITEMSTRUCT)lParam);
    break;
  case WM_MEASUREITEM:
    MeasureItem((LPMEASUREITEMSTRUCT)lParam);
    break;
  case WM_COMPAREITEM:
    if (pResult)
      *pResult = CompareItem((LPCOMPAREITEMSTRUCT)lParam);
    return TRUE;
  case WM_DELETEITEM:
    DeleteItem((LPDELETEITEMSTRUCT)lParam);
    break;
  default:
    return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  }
  if (pResult)
    *pResult = TRUE;
  return TRUE;
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
  switch (message) {
  case WM_DRAWITEM:
    DrawItem((LPDRAWITEMSTRUCT)lParam);
    break;
  case WM_MEASUREITEM:
    MeasureItem((LPMEASUREITEMSTRUCT)lParam);
    break;
  case WM_COMPAREITEM:
    if (pResult)
      *pResult = CompareItem((LPCOMPAREITEMSTRUCT)lParam);
    return TRUE;
  case WM_DELETEITEM:
    DeleteItem((LPDELETEITEMSTRUCT)lParam);
    break;
  default:
    return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  }
  if (pResult)
    *pResult = TRUE;
  return TRUE;
}

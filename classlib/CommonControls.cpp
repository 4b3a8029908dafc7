// Common control wrappers.
#include "afxcmn.h"
#include <map>

IMPLEMENT_DYNAMIC(CImageList, CObject)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTabCtrl, CWnd)
IMPLEMENT_DYNAMIC(CHeaderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CSliderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)

namespace {
thread_local std::map<HIMAGELIST, CImageList*>* t_pImageLists = NULL;

// Owner-drawn controls: the reflected draw messages reach DrawItem.
BOOL ReflectOwnerDraw(CWnd* pWnd, UINT message, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_DRAWITEM) {
    pWnd->DrawItem((LPDRAWITEMSTRUCT)lParam);
  } else if (message == WM_MEASUREITEM) {
    pWnd->MeasureItem((LPMEASUREITEMSTRUCT)lParam);
  } else {
    return FALSE;
  }
  if (pResult)
    *pResult = TRUE;
  return TRUE;
}
}

CImageList* CImageList::FromHandle(HIMAGELIST h) {
  if (!h)
    return NULL;
  if (!t_pImageLists)
    t_pImageLists = new std::map<HIMAGELIST, CImageList*>;
  CImageList*& p = (*t_pImageLists)[h];
  if (!p)
    p = new CImageList;
  p->m_hImageList = h;
  return p;
}

BOOL CImageList::Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask) {
  LPCTSTR lpsz = MAKEINTRESOURCEA(nBitmapID);
  return Attach(ImageList_LoadImageA(AfxFindResourceHandle(lpsz, (LPCTSTR)RT_BITMAP), lpsz, cx, nGrow,
                                     crMask, IMAGE_BITMAP, LR_CREATEDIBSECTION));
}

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
  return CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd->GetSafeHwnd(), NULL, NULL);
}

void CToolTipCtrl::FillInToolInfo(TOOLINFOA& ti, CWnd* pWnd, UINT_PTR nIDTool) const {
  memset(&ti, 0, sizeof(ti));
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  HWND hWnd = pWnd->GetSafeHwnd();
  if (nIDTool == 0) {
    ti.hwnd = ::GetParent(hWnd);
    ti.uFlags = TTF_IDISHWND;
    ti.uId = (UINT_PTR)hWnd;
  } else {
    ti.hwnd = hWnd;
    ti.uId = nIDTool;
  }
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCTSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  TOOLINFOA ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  if (lpRectTool)
    ti.rect = *lpRectTool;
  ti.lpszText = (LPSTR)lpszText;
  return (BOOL)SendMessage(TTM_ADDTOOLA, 0, (LPARAM)&ti);
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  CString str;
  str.LoadString(nIDText);
  return AddTool(pWnd, (LPCTSTR)str, lpRectTool, nIDTool);
}

void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFOA ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  SendMessage(TTM_DELTOOLA, 0, (LPARAM)&ti);
}

void CToolTipCtrl::UpdateTipText(LPCTSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFOA ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  ti.lpszText = (LPSTR)lpszText;
  SendMessage(TTM_UPDATETIPTEXTA, 0, (LPARAM)&ti);
}

BOOL CTabCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, WC_TABCONTROLA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CTabCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectOwnerDraw(this, message, lParam, pResult) || CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CHeaderCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, WC_HEADERA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CHeaderCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectOwnerDraw(this, message, lParam, pResult) || CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CListCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, WC_LISTVIEWA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CListCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectOwnerDraw(this, message, lParam, pResult) || CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

int CListCtrl::InsertItem(int nItem, LPCTSTR lpszItem) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = nItem;
  item.pszText = (LPSTR)lpszItem;
  return InsertItem(&item);
}

int CListCtrl::InsertItem(int nItem, LPCTSTR lpszItem, int nImage) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = nItem;
  item.pszText = (LPSTR)lpszItem;
  item.iImage = nImage;
  return InsertItem(&item);
}

int CListCtrl::InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem) {
  LVCOLUMNA col = {};
  col.mask = LVCF_TEXT | LVCF_FMT;
  col.pszText = (LPSTR)lpszColumnHeading;
  col.fmt = nFormat;
  if (nWidth != -1) {
    col.mask |= LVCF_WIDTH;
    col.cx = nWidth;
  }
  if (nSubItem != -1) {
    col.mask |= LVCF_SUBITEM;
    col.iSubItem = nSubItem;
  }
  return InsertColumn(nCol, &col);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCTSTR lpszText) {
  LVITEMA item = {};
  item.iSubItem = nSubItem;
  item.pszText = (LPSTR)lpszText;
  return (BOOL)SendMessage(LVM_SETITEMTEXTA, nItem, (LPARAM)&item);
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPTSTR lpszText, int nLen) const {
  LVITEMA item = {};
  item.iSubItem = nSubItem;
  item.pszText = lpszText;
  item.cchTextMax = nLen;
  return (int)::SendMessageA(m_hWnd, LVM_GETITEMTEXTA, nItem, (LPARAM)&item);
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
  CString str;
  int nLen = 128;
  for (;;) {
    int n = GetItemText(nItem, nSubItem, str.GetBuffer(nLen), nLen);
    str.ReleaseBuffer();
    if (n < nLen - 1)
      break;
    nLen *= 2;
  }
  return str;
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  GetItem(&item);
  return (DWORD_PTR)item.lParam;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  item.lParam = (LPARAM)dwData;
  return SetItem(&item);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
  LVITEMA item = {};
  item.state = nState;
  item.stateMask = nMask;
  return (BOOL)SendMessage(LVM_SETITEMSTATE, nItem, (LPARAM)&item);
}

int CListCtrl::HitTest(CPoint pt, UINT* pFlags) const {
  LVHITTESTINFO hti = {};
  hti.pt = pt;
  int n = HitTest(&hti);
  if (pFlags)
    *pFlags = hti.flags;
  return n;
}

BOOL CTreeCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, WC_TREEVIEWA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CTreeCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  TVINSERTSTRUCTA tvis = {};
  tvis.hParent = hParent;
  tvis.hInsertAfter = hInsertAfter;
  tvis.item.mask = TVIF_TEXT;
  tvis.item.pszText = (LPSTR)lpszItem;
  return InsertItem(&tvis);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  TVINSERTSTRUCTA tvis = {};
  tvis.hParent = hParent;
  tvis.hInsertAfter = hInsertAfter;
  tvis.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  tvis.item.pszText = (LPSTR)lpszItem;
  tvis.item.iImage = nImage;
  tvis.item.iSelectedImage = nSelectedImage;
  return InsertItem(&tvis);
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  char sz[1024] = "";
  TVITEMA item = {};
  item.mask = TVIF_TEXT;
  item.hItem = hItem;
  item.pszText = sz;
  item.cchTextMax = sizeof(sz);
  GetItem(&item);
  return CString(sz);
}

BOOL CTreeCtrl::SetItemText(HTREEITEM hItem, LPCTSTR lpszItem) {
  TVITEMA item = {};
  item.mask = TVIF_TEXT;
  item.hItem = hItem;
  item.pszText = (LPSTR)lpszItem;
  return SetItem(&item);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
  TVITEMA item = {};
  item.mask = TVIF_PARAM;
  item.hItem = hItem;
  GetItem(&item);
  return (DWORD_PTR)item.lParam;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
  TVITEMA item = {};
  item.mask = TVIF_PARAM;
  item.hItem = hItem;
  item.lParam = (LPARAM)dwData;
  return SetItem(&item);
}

UINT CTreeCtrl::GetItemState(HTREEITEM hItem, UINT nStateMask) const {
  TVITEMA item = {};
  item.mask = TVIF_STATE;
  item.hItem = hItem;
  item.stateMask = nStateMask;
  GetItem(&item);
  return item.state & nStateMask;
}

BOOL CTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  TVITEMA item = {};
  item.mask = TVIF_STATE;
  item.hItem = hItem;
  item.state = nState;
  item.stateMask = nStateMask;
  return SetItem(&item);
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const {
  *(HTREEITEM*)lpRect = hItem;
  return (BOOL)::SendMessageA(m_hWnd, TVM_GETITEMRECT, bTextOnly, (LPARAM)lpRect);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  TVITEMA item = {};
  item.mask = TVIF_CHILDREN;
  item.hItem = hItem;
  GetItem(&item);
  return item.cChildren;
}

HTREEITEM CTreeCtrl::HitTest(CPoint pt, UINT* pFlags) const {
  TVHITTESTINFO hti = {};
  hti.pt = pt;
  HTREEITEM h = HitTest(&hti);
  if (pFlags)
    *pFlags = hti.flags;
  return h;
}

BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, PROGRESS_CLASSA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CSliderCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, TRACKBAR_CLASSA, NULL, dwStyle, rect, pParentWnd, nID);
}
BOOL CSpinButtonCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CreateEx(0, UPDOWN_CLASSA, NULL, dwStyle, rect, pParentWnd, nID);
}

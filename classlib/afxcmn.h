// Wrappers of the common controls.
#pragma once

#include "afxwin.h"
#include <commctrl.h>

class CImageList : public CObject {
  DECLARE_DYNAMIC(CImageList)
public:
  HIMAGELIST m_hImageList;
  CImageList() : m_hImageList(NULL) {}
  virtual ~CImageList() { DeleteImageList(); }
  operator HIMAGELIST() const { return VglNotNull(this) ? m_hImageList : NULL; }
  HIMAGELIST GetSafeHandle() const { return VglNotNull(this) ? m_hImageList : NULL; }
  BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) { return Attach(ImageList_Create(cx, cy, nFlags, nInitial, nGrow)); }
  BOOL Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask);
  BOOL Attach(HIMAGELIST h) { m_hImageList = h; return h != NULL; }
  HIMAGELIST Detach() { HIMAGELIST h = m_hImageList; m_hImageList = NULL; return h; }
  BOOL DeleteImageList() { if (!m_hImageList) return FALSE; return ImageList_Destroy(Detach()); }
  int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
  int Add(CBitmap* pbmImage, CBitmap* pbmMask) { return ImageList_Add(m_hImageList, (HBITMAP)pbmImage->GetSafeHandle(), (HBITMAP)pbmMask->GetSafeHandle()); }
  int Add(CBitmap* pbmImage, COLORREF crMask) { return ImageList_AddMasked(m_hImageList, (HBITMAP)pbmImage->GetSafeHandle(), crMask); }
  int Add(HICON hIcon) { return ImageList_AddIcon(m_hImageList, hIcon); }
  BOOL Draw(CDC* pDC, int nImage, POINT pt, UINT nStyle) { return ImageList_Draw(m_hImageList, nImage, pDC->GetSafeHdc(), pt.x, pt.y, nStyle); }
  static CImageList* FromHandle(HIMAGELIST h);
};

class CToolTipCtrl : public CWnd {
  DECLARE_DYNAMIC(CToolTipCtrl)
public:
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
  void Activate(BOOL bActivate) { SendMessage(TTM_ACTIVATE, bActivate); }
  BOOL AddTool(CWnd* pWnd, LPCTSTR lpszText = LPSTR_TEXTCALLBACK, LPCRECT lpRectTool = NULL, UINT_PTR nIDTool = 0);
  BOOL AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool = NULL, UINT_PTR nIDTool = 0);
  void DelTool(CWnd* pWnd, UINT_PTR nIDTool = 0);
  void RelayEvent(LPMSG lpMsg) { SendMessage(TTM_RELAYEVENT, 0, (LPARAM)lpMsg); }
  void SetDelayTime(UINT nDelay) { SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, nDelay); }
  void UpdateTipText(LPCTSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool = 0);
  int GetToolCount() const { return (int)::SendMessageA(m_hWnd, TTM_GETTOOLCOUNT, 0, 0); }
  void SetMaxTipWidth(int n) { SendMessage(TTM_SETMAXTIPWIDTH, 0, n); }
  void Pop() { SendMessage(TTM_POP); }
protected:
  void FillInToolInfo(TOOLINFOA& ti, CWnd* pWnd, UINT_PTR nIDTool) const;
};

class CTabCtrl : public CWnd {
  DECLARE_DYNAMIC(CTabCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetItemCount() const { return (int)::SendMessageA(m_hWnd, TCM_GETITEMCOUNT, 0, 0); }
  BOOL GetItem(int nItem, TCITEMA* pTabCtrlItem) const { return (BOOL)::SendMessageA(m_hWnd, TCM_GETITEMA, nItem, (LPARAM)pTabCtrlItem); }
  BOOL SetItem(int nItem, TCITEMA* pTabCtrlItem) { return (BOOL)SendMessage(TCM_SETITEMA, nItem, (LPARAM)pTabCtrlItem); }
  LONG InsertItem(int nItem, TCITEMA* pTabCtrlItem) { return (LONG)SendMessage(TCM_INSERTITEMA, nItem, (LPARAM)pTabCtrlItem); }
  LONG InsertItem(int nItem, LPCTSTR lpszItem) { TCITEMA ti = {}; ti.mask = TCIF_TEXT; ti.pszText = (LPSTR)lpszItem; return InsertItem(nItem, &ti); }
  BOOL DeleteItem(int nItem) { return (BOOL)SendMessage(TCM_DELETEITEM, nItem); }
  BOOL DeleteAllItems() { return (BOOL)SendMessage(TCM_DELETEALLITEMS); }
  BOOL GetItemRect(int nItem, LPRECT lpRect) const { return (BOOL)::SendMessageA(m_hWnd, TCM_GETITEMRECT, nItem, (LPARAM)lpRect); }
  int GetCurSel() const { return (int)::SendMessageA(m_hWnd, TCM_GETCURSEL, 0, 0); }
  int SetCurSel(int nItem) { return (int)SendMessage(TCM_SETCURSEL, nItem); }
  int GetCurFocus() const { return (int)::SendMessageA(m_hWnd, TCM_GETCURFOCUS, 0, 0); }
  int HitTest(TCHITTESTINFO* pHitTestInfo) const { return (int)::SendMessageA(m_hWnd, TCM_HITTEST, 0, (LPARAM)pHitTestInfo); }
  void AdjustRect(BOOL bLarger, LPRECT lpRect) { SendMessage(TCM_ADJUSTRECT, bLarger, (LPARAM)lpRect); }
  CImageList* GetImageList() const { return CImageList::FromHandle((HIMAGELIST)::SendMessageA(m_hWnd, TCM_GETIMAGELIST, 0, 0)); }
  CImageList* SetImageList(CImageList* pImageList) { return CImageList::FromHandle((HIMAGELIST)SendMessage(TCM_SETIMAGELIST, 0, (LPARAM)pImageList->GetSafeHandle())); }
  CToolTipCtrl* GetToolTips() const { return (CToolTipCtrl*)CWnd::FromHandle((HWND)::SendMessageA(m_hWnd, TCM_GETTOOLTIPS, 0, 0)); }
  int GetRowCount() const { return (int)::SendMessageA(m_hWnd, TCM_GETROWCOUNT, 0, 0); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CHeaderCtrl : public CWnd {
  DECLARE_DYNAMIC(CHeaderCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetItemCount() const { return (int)::SendMessageA(m_hWnd, HDM_GETITEMCOUNT, 0, 0); }
  BOOL GetItem(int nPos, HDITEMA* pHeaderItem) const { return (BOOL)::SendMessageA(m_hWnd, HDM_GETITEMA, nPos, (LPARAM)pHeaderItem); }
  BOOL SetItem(int nPos, HDITEMA* pHeaderItem) { return (BOOL)SendMessage(HDM_SETITEMA, nPos, (LPARAM)pHeaderItem); }
  int InsertItem(int nPos, HDITEMA* phdi) { return (int)SendMessage(HDM_INSERTITEMA, nPos, (LPARAM)phdi); }
  BOOL DeleteItem(int nPos) { return (BOOL)SendMessage(HDM_DELETEITEM, nPos); }
  BOOL GetItemRect(int nIndex, LPRECT lpRect) const { return (BOOL)::SendMessageA(m_hWnd, HDM_GETITEMRECT, nIndex, (LPARAM)lpRect); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CListCtrl : public CWnd {
  DECLARE_DYNAMIC(CListCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetItemCount() const { return (int)::SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0); }
  BOOL GetItem(LVITEMA* pItem) const { return (BOOL)::SendMessageA(m_hWnd, LVM_GETITEMA, 0, (LPARAM)pItem); }
  BOOL SetItem(const LVITEMA* pItem) { return (BOOL)SendMessage(LVM_SETITEMA, 0, (LPARAM)pItem); }
  int InsertItem(const LVITEMA* pItem) { return (int)SendMessage(LVM_INSERTITEMA, 0, (LPARAM)pItem); }
  int InsertItem(int nItem, LPCTSTR lpszItem);
  int InsertItem(int nItem, LPCTSTR lpszItem, int nImage);
  BOOL DeleteItem(int nItem) { return (BOOL)SendMessage(LVM_DELETEITEM, nItem); }
  BOOL DeleteAllItems() { return (BOOL)SendMessage(LVM_DELETEALLITEMS); }
  int InsertColumn(int nCol, const LVCOLUMNA* pColumn) { return (int)SendMessage(LVM_INSERTCOLUMNA, nCol, (LPARAM)pColumn); }
  int InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1, int nSubItem = -1);
  BOOL DeleteColumn(int nCol) { return (BOOL)SendMessage(LVM_DELETECOLUMN, nCol); }
  int GetColumnWidth(int nCol) const { return (int)::SendMessageA(m_hWnd, LVM_GETCOLUMNWIDTH, nCol, 0); }
  BOOL SetColumnWidth(int nCol, int cx) { return (BOOL)SendMessage(LVM_SETCOLUMNWIDTH, nCol, MAKELPARAM(cx, 0)); }
  BOOL SetItemText(int nItem, int nSubItem, LPCTSTR lpszText);
  CString GetItemText(int nItem, int nSubItem) const;
  int GetItemText(int nItem, int nSubItem, LPTSTR lpszText, int nLen) const;
  DWORD_PTR GetItemData(int nItem) const;
  BOOL SetItemData(int nItem, DWORD_PTR dwData);
  UINT GetItemState(int nItem, UINT nMask) const { return (UINT)::SendMessageA(m_hWnd, LVM_GETITEMSTATE, nItem, nMask); }
  BOOL SetItemState(int nItem, UINT nState, UINT nMask);
  int GetNextItem(int nItem, int nFlags) const { return (int)::SendMessageA(m_hWnd, LVM_GETNEXTITEM, nItem, MAKELPARAM(nFlags, 0)); }
  // A position is an item's index + 1 (an int), never an address.
  POSITION GetFirstSelectedItemPosition() const { return (POSITION)(INT_PTR)(1 + GetNextItem(-1, LVIS_SELECTED)); }
  int GetNextSelectedItem(POSITION& pos) const { int n = (int)(INT_PTR)pos - 1; pos = (POSITION)(INT_PTR)(1 + GetNextItem(n, LVIS_SELECTED)); return n; }
  UINT GetSelectedCount() const { return (UINT)::SendMessageA(m_hWnd, LVM_GETSELECTEDCOUNT, 0, 0); }
  BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const { lpRect->left = nCode; return (BOOL)::SendMessageA(m_hWnd, LVM_GETITEMRECT, nItem, (LPARAM)lpRect); }
  int GetTopIndex() const { return (int)::SendMessageA(m_hWnd, LVM_GETTOPINDEX, 0, 0); }
  int GetCountPerPage() const { return (int)::SendMessageA(m_hWnd, LVM_GETCOUNTPERPAGE, 0, 0); }
  BOOL EnsureVisible(int nItem, BOOL bPartialOK) { return (BOOL)SendMessage(LVM_ENSUREVISIBLE, nItem, bPartialOK); }
  int HitTest(LVHITTESTINFO* pHitTestInfo) const { return (int)::SendMessageA(m_hWnd, LVM_HITTEST, 0, (LPARAM)pHitTestInfo); }
  int HitTest(CPoint pt, UINT* pFlags = NULL) const;
  DWORD GetExtendedStyle() const { return (DWORD)::SendMessageA(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0); }
  DWORD SetExtendedStyle(DWORD dwNewStyle) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwNewStyle); }
  CImageList* SetImageList(CImageList* pImageList, int nImageListType) { return CImageList::FromHandle((HIMAGELIST)SendMessage(LVM_SETIMAGELIST, nImageListType, (LPARAM)pImageList->GetSafeHandle())); }
  CHeaderCtrl* GetHeaderCtrl() const { return (CHeaderCtrl*)CWnd::FromHandle((HWND)::SendMessageA(m_hWnd, LVM_GETHEADER, 0, 0)); }
  BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) { return (BOOL)SendMessage(LVM_SORTITEMS, dwData, (LPARAM)pfnCompare); }
  BOOL SetBkColor(COLORREF cr) { return (BOOL)SendMessage(LVM_SETBKCOLOR, 0, cr); }
  BOOL SetTextBkColor(COLORREF cr) { return (BOOL)SendMessage(LVM_SETTEXTBKCOLOR, 0, cr); }
  BOOL SetTextColor(COLORREF cr) { return (BOOL)SendMessage(LVM_SETTEXTCOLOR, 0, cr); }
  BOOL Scroll(CSize size) { return (BOOL)SendMessage(LVM_SCROLL, size.cx, size.cy); }
  BOOL RedrawItems(int nFirst, int nLast) { return (BOOL)SendMessage(LVM_REDRAWITEMS, nFirst, nLast); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CTreeCtrl : public CWnd {
  DECLARE_DYNAMIC(CTreeCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  UINT GetCount() const { return (UINT)::SendMessageA(m_hWnd, TVM_GETCOUNT, 0, 0); }
  HTREEITEM InsertItem(LPTVINSERTSTRUCTA lpInsertStruct) { return (HTREEITEM)SendMessage(TVM_INSERTITEMA, 0, (LPARAM)lpInsertStruct); }
  HTREEITEM InsertItem(LPCTSTR lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  HTREEITEM InsertItem(LPCTSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  BOOL DeleteItem(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_DELETEITEM, 0, (LPARAM)hItem); }
  BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
  BOOL Expand(HTREEITEM hItem, UINT nCode) { return (BOOL)SendMessage(TVM_EXPAND, nCode, (LPARAM)hItem); }
  HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const { return (HTREEITEM)::SendMessageA(m_hWnd, TVM_GETNEXTITEM, nCode, (LPARAM)hItem); }
  HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
  HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
  HTREEITEM GetFirstVisibleItem() const { return GetNextItem(NULL, TVGN_FIRSTVISIBLE); }
  HTREEITEM GetNextVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXTVISIBLE); }
  HTREEITEM GetPrevVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUSVISIBLE); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(NULL, TVGN_CARET); }
  HTREEITEM GetRootItem() const { return GetNextItem(NULL, TVGN_ROOT); }
  BOOL SelectItem(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_SELECTITEM, TVGN_CARET, (LPARAM)hItem); }
  BOOL GetItem(TVITEMA* pItem) const { return (BOOL)::SendMessageA(m_hWnd, TVM_GETITEMA, 0, (LPARAM)pItem); }
  BOOL SetItem(TVITEMA* pItem) { return (BOOL)SendMessage(TVM_SETITEMA, 0, (LPARAM)pItem); }
  CString GetItemText(HTREEITEM hItem) const;
  BOOL SetItemText(HTREEITEM hItem, LPCTSTR lpszItem);
  DWORD_PTR GetItemData(HTREEITEM hItem) const;
  BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData);
  UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const;
  BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask);
  BOOL GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const;
  BOOL ItemHasChildren(HTREEITEM hItem) const;
  HTREEITEM HitTest(CPoint pt, UINT* pFlags = NULL) const;
  HTREEITEM HitTest(TVHITTESTINFO* pHitTestInfo) const { return (HTREEITEM)::SendMessageA(m_hWnd, TVM_HITTEST, 0, (LPARAM)pHitTestInfo); }
  CImageList* SetImageList(CImageList* pImageList, int nImageListType) { return CImageList::FromHandle((HIMAGELIST)SendMessage(TVM_SETIMAGELIST, nImageListType, (LPARAM)pImageList->GetSafeHandle())); }
  BOOL SortChildren(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_SORTCHILDREN, 0, (LPARAM)hItem); }
  BOOL SortChildrenCB(LPTVSORTCB pSort) { return (BOOL)SendMessage(TVM_SORTCHILDRENCB, 0, (LPARAM)pSort); }
  BOOL EnsureVisible(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_ENSUREVISIBLE, 0, (LPARAM)hItem); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CProgressCtrl : public CWnd {
  DECLARE_DYNAMIC(CProgressCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
  void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, nLower, nUpper); }
  void GetRange(int& nLower, int& nUpper) { PBRANGE r; SendMessage(PBM_GETRANGE, FALSE, (LPARAM)&r); nLower = r.iLow; nUpper = r.iHigh; }
  int GetPos() { return (int)SendMessage(PBM_GETPOS); }
  int OffsetPos(int nPos) { return (int)SendMessage(PBM_DELTAPOS, nPos); }
  int SetStep(int nStep) { return (int)SendMessage(PBM_SETSTEP, nStep); }
  int SetPos(int nPos) { return (int)SendMessage(PBM_SETPOS, nPos); }
  int StepIt() { return (int)SendMessage(PBM_STEPIT); }
};

class CSliderCtrl : public CWnd {
  DECLARE_DYNAMIC(CSliderCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetPos() const { return (int)::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0); }
  void SetPos(int nPos) { SendMessage(TBM_SETPOS, TRUE, nPos); }
  void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE) { SendMessage(TBM_SETRANGE, bRedraw, MAKELPARAM(nMin, nMax)); }
  int GetRangeMin() const { return (int)::SendMessageA(m_hWnd, TBM_GETRANGEMIN, 0, 0); }
  int GetRangeMax() const { return (int)::SendMessageA(m_hWnd, TBM_GETRANGEMAX, 0, 0); }
  void SetTicFreq(int nFreq) { SendMessage(TBM_SETTICFREQ, nFreq); }
  int SetPageSize(int nSize) { return (int)SendMessage(TBM_SETPAGESIZE, 0, nSize); }
  int SetLineSize(int nSize) { return (int)SendMessage(TBM_SETLINESIZE, 0, nSize); }
};

class CSpinButtonCtrl : public CWnd {
  DECLARE_DYNAMIC(CSpinButtonCtrl)
public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetPos() const { return (int)(short)LOWORD(::SendMessageA(m_hWnd, UDM_GETPOS, 0, 0)); }
  int SetPos(int nPos) { return (int)(short)LOWORD(SendMessage(UDM_SETPOS, 0, MAKELPARAM(nPos, 0))); }
  void SetRange(int nLower, int nUpper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(nUpper, nLower)); }
  void SetRange32(int nLower, int nUpper) { SendMessage(UDM_SETRANGE32, nLower, nUpper); }
  CWnd* SetBuddy(CWnd* pWndBuddy) { return CWnd::FromHandle((HWND)SendMessage(UDM_SETBUDDY, (WPARAM)pWndBuddy->GetSafeHwnd())); }
  CWnd* GetBuddy() const { return CWnd::FromHandle((HWND)::SendMessageA(m_hWnd, UDM_GETBUDDY, 0, 0)); }
  UINT SetBase(int nBase) { return (UINT)SendMessage(UDM_SETBASE, nBase); }
};

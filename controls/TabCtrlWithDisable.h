// Tab control whose tabs can be disabled, and a report list that shows the
// full text of the cell under the mouse as a tooltip.
#pragma once

#include <afxcmn.h>

class CTabCtrlWithDisable : public CTabCtrl {
  DECLARE_DYNAMIC(CTabCtrlWithDisable)
public:
  CTabCtrlWithDisable();
  virtual ~CTabCtrlWithDisable();
  BOOL SubclassTabCtrl(UINT nID, CWnd* pParent);
  virtual BOOL IsTabEnabled(int nTab);
  virtual void DrawTabText(CDC* pDC, CRect rc, CString strText, BOOL bDisabled);
  int NextEnabledTab(int nTab, BOOL bWrap);
  int PrevEnabledTab(int nTab, BOOL bWrap);
  BOOL SelectTab(int nTab);
  BOOL TranslateSheetKey(MSG* pMsg);
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDIS);

protected:
  afx_msg BOOL OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

class CToolTipsListCtrl : public CListCtrl {
public:
  CToolTipsListCtrl();
  virtual ~CToolTipsListCtrl();
  // The row of the cell holding point (-1: none), its rectangle and its column.
  int CellFromPoint(CPoint point, RECT* pCell, int* pColumn) const;
  virtual INT_PTR OnToolHitTest(CPoint point, TOOLINFOA* pTI) const;

protected:
  virtual void PreSubclassWindow();
  afx_msg BOOL OnToolTipText(UINT nID, NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

// Editable list of strings over a dialog's list box: a header strip with
// buttons, in-place editing, keyboard shortcuts and drag reordering.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

#define LBEDIT_BROWSE_BUTTON 0x0001
#define LBEDIT_TYPE_TO_EDIT 0x0002
#define LBEDIT_SHOW_BUTTONS 0x0004
#define LBEDIT_SHOW_TIPS 0x0008
#define LBEDIT_KEYBOARD 0x0010
#define LBEDIT_DRAG_REORDER 0x0020
#define LBEDIT_NO_BLANK_ROW 0x0040
#define LBEDIT_HAS_NEW 0x0100
#define LBEDIT_HAS_DELETE 0x0200
#define LBEDIT_HAS_UP 0x0400
#define LBEDIT_HAS_DOWN 0x0800

#define LBEDIT_NOTIFY_DELETED 10
#define LBEDIT_NOTIFY_MOVED 11
#define LBEDIT_NOTIFY_EDITDONE 1000
#define WM_LBEDIT_SETCANCEL (WM_USER + 256)

#define LBEDIT_EDIT_ID 100
#define LBEDIT_BROWSE_ID 101

class SECListBoxEditor;

// The in-place edit laid over a row.
class SECListBoxEdit : public CEdit {
public:
  SECListBoxEdit(BOOL bNew, int nIndex, int nBrowseId, BOOL bSpaceEndsEdit, int nSpaceEndCount);
  virtual ~SECListBoxEdit();
  // Creates the edit over row nIndex of the list box (initial text, or the row's when NULL).
  BOOL CreateOver(CListBox* pListBox, LPCTSTR pszInitial);

  BOOL m_bNew;
  int m_nIndex;
  int m_nPrevSel;
  int m_nBrowseId;
  BOOL m_bSpaceEndsEdit;
  int m_nSpaceEndCount;

protected:
  BOOL m_bEnding;
  void EndAsEnter();
  void MoveFocusFromList(BOOL bPrevious);
  BOOL HandleKey(UINT nChar);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg UINT OnGetDlgCode();
  DECLARE_MESSAGE_MAP()
};

// The dialog's list box, subclassed.
class SECListBoxEditorHelper : public CListBox {
public:
  explicit SECListBoxEditorHelper(SECListBoxEditor* pEditor) : m_pEditor(pEditor) {}
  virtual ~SECListBoxEditorHelper();
  SECListBoxEditor* m_pEditor;

protected:
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnBrowse();
  afx_msg void OnEditDone(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg LRESULT OnSetCancel(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

class SECListBoxEditor : public CWnd {
public:
  SECListBoxEditor();
  virtual ~SECListBoxEditor();

  SECListBoxEditorHelper* GetListBox() const { return m_pListBox; }

  virtual BOOL AttachToListBox(CWnd* pParent, UINT nListBoxId, DWORD dwOptions);
  virtual void SetSpaceEndsEdit(BOOL bOn);
  virtual void FinishEdit();
  virtual void NotifySelChange();
  virtual void EnsureSelection();
  virtual void ItemTextChanged(int nIndex, CString strOld, CString strNew);
  virtual void NewItemCommitted(int nIndex, CString strText);
  virtual void ItemReordered(int nFrom, int nTo, CString strText);
  virtual BOOL QueryDeleteItem(int nIndex, CString strText);
  virtual BOOL AddNewItem();
  virtual BOOL DeleteSelectedItem();
  virtual BOOL MoveSelectedDown();
  virtual BOOL MoveSelectedUp();
  virtual BOOL EditSelectedItem(char ch);
  virtual int CalcHeaderHeight();
  virtual void LayoutButtons();
  virtual void RefreshButtonTips();
  virtual void RepositionParts();
  virtual BOOL SetButtonMask(DWORD dwOptions);
  virtual BOOL StartItemEdit(int nIndex, BOOL bNew, LPCTSTR pszInitial);
  virtual void ShiftItemUp(int nIndex);
  virtual BOOL RemoveItemAt(int nIndex);
  virtual void SetSpaceEndCount(int nCount);
  virtual void BrowseForItem();

  virtual BOOL PreTranslateMessage(MSG* pMsg);

  CButton m_wndBrowse;
  CToolTipCtrl m_wndTips;
  SECListBoxEdit* m_pEdit;
  SECListBoxEditorHelper* m_pListBox;
  RECT m_rcButtons[4];
  BOOL m_bShowButton[4];
  DWORD m_dwOptions;
  BOOL m_bAttached;
  int m_nHeaderHeight;
  BOOL m_bNewItem;
  CString m_strBeforeEdit;
  BOOL m_bEditCancelled;
  int m_nLastIndex;
  int m_nLastMoveTarget;
  BOOL m_bSpaceEndsEdit;
  int m_nSpaceEndCount;

  // Header button bitmaps (normal look), from the resource module.
  static HBITMAP LoadButtonBitmap(int nButton);

protected:
  BOOL UsesBlankRow() const { return !(m_dwOptions & LBEDIT_NO_BLANK_ROW); }
  void SendParentCommand(UINT nCode, BOOL bPost);
  afx_msg void OnPaint();
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg LRESULT OnNcHitTest(CPoint point);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnMove(int x, int y);
  friend class SECListBoxEditorHelper;
  friend class SECListBoxEdit;
  DECLARE_MESSAGE_MAP()
};

// Trims trailing blanks (spaces and tabs).
CString lbeditTrimRight(const CString& s);

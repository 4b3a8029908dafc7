// Dialogs that edit the list of scanned file extensions.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

class CFileExtensionDlg : public CDialog {
public:
  CFileExtensionDlg(const CString& strList, const CString& strDefaults, CWnd* pParent, BOOL fAllowWildcards);
  CString GetExtensionList() const { return m_strExtList; }

  CString m_strExtList;
  CString m_strDefault;
  CButton m_btnRemove;
  CListCtrl m_listExt;
  BOOL m_fAllowWildcards;

  // Adds one extension as typed (the Add dialog's result) with the checks of the Add button.
  void AddExtension(const CString& strExt);

protected:
  void SplitIntoRows(const CString& strList);
  CString JoinRows();
  void UpdateRemove();
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  afx_msg void OnAdd();
  afx_msg void OnRemove();
  afx_msg void OnDefault();
  afx_msg void OnHelpButton();
  afx_msg void OnListClick(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

class CAddExtensionDlg : public CDialog {
public:
  explicit CAddExtensionDlg(CWnd* pParent = NULL);
  CString m_strExt;

protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  afx_msg void OnHelpButton();
  DECLARE_MESSAGE_MAP()
};

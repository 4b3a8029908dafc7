// Standard dialogs: file dialogs and property sheets.
#pragma once

#include "afxwin.h"
#include "afxcmn.h"
#include <commdlg.h>
#include <prsht.h>

class CFileDialog : public CDialog {
  DECLARE_DYNAMIC(CFileDialog)
public:
  CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt = NULL, LPCTSTR lpszFileName = NULL,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR lpszFilter = NULL,
              CWnd* pParentWnd = NULL);
  virtual ~CFileDialog();

  OPENFILENAMEA m_ofn;
  virtual INT_PTR DoModal();

  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;
  CString GetFileTitle() const;

protected:
  BOOL m_bOpenFileDialog;
  CString m_strFilter;
  char m_szFileTitle[64];
  char m_szFileName[MAX_PATH];

  // Explorer-style notifications, through the hook.
  virtual void OnInitDone();
  virtual void OnFileNameChange();
  virtual void OnFolderChange();
  virtual void OnTypeChange();
  virtual BOOL OnFileNameOK();
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  friend UINT_PTR CALLBACK VglFileDialogHook(HWND, UINT, WPARAM, LPARAM);
};

class CPropertySheet;
INT_PTR CALLBACK VglPropPageProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CPropertyPage : public CDialog {
  DECLARE_DYNAMIC(CPropertyPage)
public:
  CPropertyPage();
  explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0);
  explicit CPropertyPage(LPCTSTR lpszTemplateName, UINT nIDCaption = 0);
  void Construct(UINT nIDTemplate, UINT nIDCaption = 0);
  void Construct(LPCTSTR lpszTemplateName, UINT nIDCaption = 0);
  virtual ~CPropertyPage();

  PROPSHEETPAGEA m_psp;

  void CancelToClose();
  void SetModified(BOOL bChanged = TRUE);
  LRESULT QuerySiblings(WPARAM wParam, LPARAM lParam);

  virtual BOOL OnSetActive();
  virtual BOOL OnKillActive();
  virtual BOOL OnApply();
  virtual void OnReset();
  virtual void OnOK();
  virtual void OnCancel();
  virtual BOOL OnQueryCancel();
  virtual LRESULT OnWizardBack();
  virtual LRESULT OnWizardNext();
  virtual BOOL OnWizardFinish();
  // Keys of a page are the sheet's to translate, not the page's own dialog manager's.
  virtual BOOL PreTranslateMessage(MSG* pMsg);

protected:
  CString m_strCaption;
  BOOL m_bFirstSetActive;
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  afx_msg void OnPageHelp();
  friend class CPropertySheet;
  friend INT_PTR CALLBACK VglPropPageProc(HWND, UINT, WPARAM, LPARAM);
};

class CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
public:
  CPropertySheet();
  explicit CPropertySheet(UINT nIDCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
  explicit CPropertySheet(LPCTSTR pszCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
  void Construct(UINT nIDCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
  void Construct(LPCTSTR pszCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
  virtual ~CPropertySheet();

  PROPSHEETHEADERA m_psh;

  virtual INT_PTR DoModal();
  virtual BOOL Create(CWnd* pParentWnd = NULL, DWORD dwStyle = (DWORD)-1, DWORD dwExStyle = 0);
  void AddPage(CPropertyPage* pPage);
  void RemovePage(CPropertyPage* pPage);
  void RemovePage(int nPage);
  int GetPageCount() const;
  CPropertyPage* GetPage(int nPage) const;
  int GetPageIndex(CPropertyPage* pPage);
  CPropertyPage* GetActivePage() const;
  int GetActiveIndex() const;
  BOOL SetActivePage(int nPage);
  BOOL SetActivePage(CPropertyPage* pPage);
  CTabCtrl* GetTabControl() const;
  void SetTitle(LPCTSTR lpszText, UINT nStyle = 0);
  void PressButton(int nButton) { SendMessage(PSM_PRESSBUTTON, nButton); }
  void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }
  void SetWizardButtons(DWORD dwFlags) { PostMessage(PSM_SETWIZBUTTONS, 0, dwFlags); }
  void EndDialog(int nEndID);

  virtual BOOL OnInitDialog();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL ContinueModal();
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
  virtual void PostNcDestroy();

  afx_msg LRESULT HandleInitDialog(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
protected:
  CPtrArray m_pages;
  CString m_strCaption;
  CWnd* m_pParentWnd;
  BOOL m_bModeless;
  int m_nResultPending;
  DWORD m_dwCreateStyle;     // Create's window styles; (DWORD)-1: the template's
  DWORD m_dwCreateExStyle;
  friend class CPropertyPage;
  PROPSHEETPAGEA* BuildPages();
  static int CALLBACK SheetCallback(HWND hWnd, UINT message, LPARAM lParam);
};

// Picks a folder with the system's Open dialog reduced to its folder list.
#pragma once

#include <afxdlgs.h>

class CFolderDialog : public CFileDialog {
  DECLARE_DYNAMIC(CFolderDialog)
public:
  CFolderDialog(LPCSTR pszOkText, LPCSTR pszTitle, LPCSTR pszInitialFolder);
  virtual ~CFolderDialog();

  CString m_strOkText;
  CString m_strTitle;
  char m_szSelectedPath[260];
  char m_szSavedCurrentDir[260];

protected:
  virtual void OnInitDone();
  virtual BOOL OnFileNameOK();
  friend LRESULT CALLBACK folderDialogWndProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK folderDialogWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

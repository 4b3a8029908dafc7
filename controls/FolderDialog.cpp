// Folder picker over the Open dialog.
#include "FolderDialog.h"
#include <initializer_list>

IMPLEMENT_DYNAMIC(CFolderDialog, CFileDialog)

namespace {
// The replaced procedure of the common dialog window; one folder dialog at a time.
WNDPROC g_pfnFolderDialogProc = NULL;
CFolderDialog* g_pFolderDialog = NULL;

enum { kFileNameEdit = 1152, kFileNameLabel = 1090, kTypeList = 1136, kTypeLabel = 1089, kFolderList = 1120 };
}

// The file name "*..*" matches no file. Some Open dialogs list every file unless a
// filter is given, so the same pattern is the filter too.
CFolderDialog::CFolderDialog(LPCSTR pszOkText, LPCSTR pszTitle, LPCSTR pszInitialFolder)
    : CFileDialog(TRUE, NULL, "*..*", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*..*|*..*||", NULL),
      m_strOkText(pszOkText), m_strTitle(pszTitle) {
  memset(m_szSelectedPath, 0, sizeof(m_szSelectedPath));
  memset(m_szSavedCurrentDir, 0, sizeof(m_szSavedCurrentDir));
  if (pszInitialFolder) {
    ::GetCurrentDirectoryA(sizeof(m_szSavedCurrentDir), m_szSavedCurrentDir);
    ::SetCurrentDirectoryA(pszInitialFolder);
  }
}

CFolderDialog::~CFolderDialog() {
  if (m_szSavedCurrentDir[0])
    ::SetCurrentDirectoryA(m_szSavedCurrentDir);
  if (g_pFolderDialog == this)
    g_pFolderDialog = NULL;
}

void CFolderDialog::OnInitDone() {
  HWND hDlg = ::GetParent(m_hWnd);
  for (int nID : { kFileNameEdit, kFileNameLabel, kTypeList, kTypeLabel })
    ::ShowWindow(::GetDlgItem(hDlg, nID), SW_HIDE);
  HWND hOK = ::GetDlgItem(hDlg, IDOK), hCancel = ::GetDlgItem(hDlg, IDCANCEL);
  RECT rcOK, rcCancel;
  ::GetWindowRect(hOK, &rcOK);
  ::GetWindowRect(hCancel, &rcCancel);
  ::ScreenToClient(hDlg, (LPPOINT)&rcOK);
  ::ScreenToClient(hDlg, ((LPPOINT)&rcOK) + 1);
  ::ScreenToClient(hDlg, (LPPOINT)&rcCancel);
  ::ScreenToClient(hDlg, ((LPPOINT)&rcCancel) + 1);
  int w = rcOK.right - rcOK.left;
  ::SetWindowPos(hOK, NULL, rcCancel.left - 4 - w, rcCancel.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  HWND hList = ::GetDlgItem(hDlg, kFolderList);
  if (hList) {
    RECT rcList;
    ::GetWindowRect(hList, &rcList);
    ::ScreenToClient(hDlg, (LPPOINT)&rcList);
    ::ScreenToClient(hDlg, ((LPPOINT)&rcList) + 1);
    int h = abs(rcList.top - rcCancel.top + 4);
    ::SetWindowPos(hList, NULL, 0, 0, rcList.right - rcList.left, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::SetWindowTextA(hOK, m_strOkText);
  ::SetWindowTextA(hDlg, m_strTitle);
  g_pFolderDialog = this;
  g_pfnFolderDialogProc = (WNDPROC)::SetWindowLongPtrA(hDlg, GWLP_WNDPROC, (LONG_PTR)folderDialogWndProc);
}

// The dialog ends only through OK or Cancel: a file opened from the list (a double
// click on a shortcut, for example) is refused, and the dialog stays.
BOOL CFolderDialog::OnFileNameOK() { return TRUE; }

LRESULT CALLBACK folderDialogWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDOK && g_pFolderDialog &&
      g_pFolderDialog->m_hWnd && ::GetParent(g_pFolderDialog->m_hWnd) == hWnd) {
    // The OK button (clicked, or Enter) names itself; an IDOK without a sender is the
    // list's default command for a file, which must not end the dialog.
    if ((HWND)lParam != ::GetDlgItem(hWnd, IDOK))
      return 0;
    ::GetCurrentDirectoryA(sizeof(g_pFolderDialog->m_szSelectedPath), g_pFolderDialog->m_szSelectedPath);
    ::EndDialog(hWnd, IDOK);
    return 0;
  }
  return ::CallWindowProcA(g_pfnFolderDialogProc, hWnd, message, wParam, lParam);
}

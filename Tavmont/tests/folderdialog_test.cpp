// Folder dialog: OK returns the folder shown, Cancel nothing; the current folder comes back.
#include <gtest/gtest.h>
#include "FolderDialog.h"
#include "VglTestSupport.h"
#include <string>

namespace {

CFolderDialog* g_pDlg = NULL;
UINT g_nPress = IDOK;
BOOL g_bHiddenSeen = FALSE;
CString g_strOkText;

void CALLBACK Press(HWND, UINT, UINT_PTR id, DWORD) {
  if (!g_pDlg || !g_pDlg->m_hWnd)
    return;   // not up yet
  ::KillTimer(NULL, id);
  HWND hDlg = ::GetParent(g_pDlg->m_hWnd);
  g_bHiddenSeen = !::IsWindowVisible(::GetDlgItem(hDlg, 1152)) && !::IsWindowVisible(::GetDlgItem(hDlg, 1136));
  char sz[64] = "";
  ::GetDlgItemTextA(hDlg, IDOK, sz, sizeof(sz));
  g_strOkText = sz;
  ::PostMessageA(hDlg, WM_COMMAND, g_nPress, 0);
}

TEST(FolderDialog, OkReturnsTheStartingFolderAndCancelReturnsNothing) {
  char szTemp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, szTemp);
  std::string start = std::string(szTemp) + "vgl_folder";
  ::CreateDirectoryA(start.c_str(), NULL);
  std::string before = CurrentFolder();
  struct Case { UINT nPress; INT_PTR nResult; bool bPath; };
  for (Case c : { Case{ IDOK, IDOK, true }, Case{ IDCANCEL, IDCANCEL, false } }) {
    {
      CFolderDialog dlg("Select", "Pick a folder", start.c_str());
      EXPECT_EQ(CurrentFolder(), start);
      g_pDlg = &dlg;
      g_nPress = c.nPress;
      UINT_PTR nTimer = ::SetTimer(NULL, 0, 200, Press);
      EXPECT_EQ(dlg.DoModal(), c.nResult);
      ::KillTimer(NULL, nTimer);
      g_pDlg = NULL;
      EXPECT_TRUE(g_bHiddenSeen);
      EXPECT_STREQ(g_strOkText, "Select");
      EXPECT_EQ(std::string(dlg.m_szSelectedPath), c.bPath ? start : std::string());
    }
    EXPECT_EQ(CurrentFolder(), before);   // restored by the destructor
  }
  ::RemoveDirectoryA(start.c_str());
}

} // namespace

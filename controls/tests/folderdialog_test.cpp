// Folder dialog: OK returns the folder shown, Cancel nothing; the current folder comes back;
// only folders are listed, and opening a file from the list does not end the dialog.
#include <gtest/gtest.h>
#include "FolderDialog.h"
#include "VglTestSupport.h"
#include "WindowTree.h"
#include <objbase.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

CFolderDialog* g_pDlg = NULL;
UINT g_nPress = IDOK;
std::vector<SWindowInfo> g_tree;
std::vector<std::string> g_listed;
bool g_fOpenAfterFileCommand = false;

std::vector<std::string> ListedNames(HWND hDlg) {
  std::vector<std::string> names;
  const SWindowInfo* pList = FindInTree(WindowTree(hDlg), "SysListView32");
  if (!pList)
    return names;
  int n = (int)::SendMessageA(pList->hWnd, LVM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < n; i++) {
    char sz[MAX_PATH] = "";
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = sz;
    item.cchTextMax = sizeof(sz);
    ::SendMessageA(pList->hWnd, LVM_GETITEMTEXTA, i, (LPARAM)&item);
    names.push_back(sz);
  }
  return names;
}

void CALLBACK Press(HWND, UINT, UINT_PTR id, DWORD) {
  if (!g_pDlg || !g_pDlg->m_hWnd)
    return;   // not up yet
  ::KillTimer(NULL, id);
  HWND hDlg = ::GetParent(g_pDlg->m_hWnd);
  g_tree = WindowTree(hDlg);
  g_listed = ListedNames(hDlg);
  // What the list posts for a file's default command (a double click): IDOK without a sender.
  ::SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
  g_fOpenAfterFileCommand = ::IsWindow(hDlg) && ::IsWindowVisible(hDlg);
  ::PostMessageA(::GetDlgItem(hDlg, g_nPress), BM_CLICK, 0, 0);
}

TEST(FolderDialog, OkReturnsTheFolderShownCancelNothingAndOnlyFoldersAreListed) {
  char szTemp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, szTemp);
  std::string start = std::string(szTemp) + "vgl_folder";
  ::CreateDirectoryA(start.c_str(), NULL);
  ::CreateDirectoryA((start + "\\Sub folder").c_str(), NULL);
  WriteWholeFile(start + "\\report.txt", "a file");
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
      EXPECT_EQ(std::string(dlg.m_szSelectedPath), c.bPath ? start : std::string());
    }
    EXPECT_EQ(CurrentFolder(), before);   // restored by the destructor

    // The window tree: caption, the OK text, the file name and type fields hidden, OK on
    // the row of Cancel and left of it.
    ASSERT_FALSE(g_tree.empty());
    EXPECT_EQ(g_tree[0].strText, "Pick a folder");
    const SWindowInfo* pOk = FindInTree(g_tree, "Button", IDOK);
    const SWindowInfo* pCancel = FindInTree(g_tree, "Button", IDCANCEL);
    ASSERT_TRUE(pOk && pCancel);
    EXPECT_EQ(pOk->strText, "Select");
    EXPECT_TRUE(pOk->fVisible && pOk->fEnabled);
    EXPECT_EQ(pOk->rc.top, pCancel->rc.top);
    EXPECT_EQ(pOk->rc.right, pCancel->rc.left - 4);
    for (const SWindowInfo& info : g_tree) {
      for (int nId : { 1152, 1090, 1136, 1089 }) {
        if (info.nId == nId && info.nDepth > 0) {
          EXPECT_FALSE(info.fVisible) << nId;
        }
      }
    }
    EXPECT_EQ(g_listed, std::vector<std::string>{ "Sub folder" });
    EXPECT_TRUE(g_fOpenAfterFileCommand);
  }
  ::DeleteFileA((start + "\\report.txt").c_str());
  ::RemoveDirectoryA((start + "\\Sub folder").c_str());
  ::RemoveDirectoryA(start.c_str());
}

} // namespace

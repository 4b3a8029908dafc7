// Directory tree: tri-state ticks, paths of ticked items, drive classes and the
// shell's own folders.
#include <gtest/gtest.h>
#include "TreeDirCtrl.h"
#include <dbt.h>
#include <string>
#include <vector>

namespace {

class CTestTree : public CTreeDirCtrl {
public:
  CTestTree() : CTreeDirCtrl(FALSE, FALSE) {}
  void SetMyComputer(HTREEITEM h) { m_hMyComputer = h; }
  void SetRecycleBin(const char* name) { m_strRecycleBin = name; }
  HTREEITEM MyComputer() const { return m_hMyComputer; }
  HTREEITEM Add(const char* text, HTREEITEM hParent = TVI_ROOT) {
    TVINSERTSTRUCTA tvis = {};
    tvis.hParent = hParent;
    tvis.hInsertAfter = TVI_LAST;
    tvis.item.mask = TVIF_TEXT | TVIF_STATE;
    tvis.item.pszText = (LPSTR)text;
    tvis.item.state = TREEDIR_UNCHECKED;
    tvis.item.stateMask = TREEDIR_STATE_MASK;
    return InsertItem(&tvis);
  }
};

class TreeDir : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_parent.CreateEx(0, AfxRegisterWndClass(0), "tree", WS_POPUP | WS_VISIBLE, 0, 0, 300, 400, NULL, NULL));
    ASSERT_TRUE(m_tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT,
                              CRect(0, 0, 300, 400), &m_parent, 100));
    mc = m_tree.Add("My Computer");
    m_tree.SetMyComputer(mc);
    c = m_tree.Add("Local Disk (C:)", mc);
    windows = m_tree.Add("WINDOWS", c);
    system = m_tree.Add("SYSTEM", windows);
    fonts = m_tree.Add("FONTS", windows);
    z = m_tree.Add("Root (Z:)", mc);
    tmp = m_tree.Add("tmp", z);
    q = m_tree.Add("Gone (Q:)", mc);
  }
  void TearDown() override {
    m_tree.DestroyWindow();
    m_parent.DestroyWindow();
  }
  std::string States() {
    std::string s;
    for (HTREEITEM h : { mc, c, windows, system, fonts, z, tmp, q })
      s += "?.xp"[m_tree.GetCheckState(h) >> 12];
    return s;
  }
  std::vector<std::string> Paths() {
    CStringArray arr;
    m_tree.GetCheckedPaths(arr);
    std::vector<std::string> v;
    for (int i = 0; i < arr.GetSize(); i++)
      v.push_back((LPCSTR)arr[i]);
    return v;
  }
  CWnd m_parent;
  CTestTree m_tree;
  HTREEITEM mc, c, windows, system, fonts, z, tmp, q;
};

TEST_F(TreeDir, TicksPropagateDownAndAncestorsFollow) {
  // States of: My Computer, C, WINDOWS, SYSTEM, FONTS, Z, tmp, Q (. unticked, x ticked, p partly).
  m_tree.ToggleCheck(system);
  EXPECT_EQ(States(), "pppx....");
  EXPECT_TRUE(m_tree.HasCheckedItem());
  EXPECT_EQ(Paths(), (std::vector<std::string>{ "C:\\WINDOWS\\SYSTEM\\" }));
  m_tree.ToggleCheck(fonts);
  EXPECT_EQ(States(), "pxxxx...");
  EXPECT_EQ(Paths(), (std::vector<std::string>{ "C:\\" }));   // a ticked drive yields nothing below it
  m_tree.ToggleCheck(c);   // ticked -> unticked with all loaded descendants
  EXPECT_EQ(States(), "........");
  EXPECT_FALSE(m_tree.HasCheckedItem());
  m_tree.ToggleCheck(system);
  m_tree.ToggleCheck(windows);   // partly ticked -> ticked
  EXPECT_EQ(States(), "pxxxx...");
  m_tree.ToggleCheck(z);
  m_tree.ToggleCheck(q);
  EXPECT_EQ(States(), "xxxxxxxx");
  EXPECT_EQ(Paths(), (std::vector<std::string>{ "C:\\", "Z:\\", "Q:\\" }));
}

TEST_F(TreeDir, DriveClassesTickMatchingDrivesOnly) {
  m_tree.CheckAllDrives(TRUE);
  EXPECT_EQ(States(), "xxxxxxxx");
  m_tree.CheckAllDrives(FALSE);
  EXPECT_EQ(States(), "........");
  m_tree.CheckFixedDrives(TRUE);   // C: and Z: are fixed; Q: does not exist
  EXPECT_EQ(States(), "xxxxxxx.");
  m_tree.CheckAllDrives(FALSE);
  m_tree.CheckRemovableDrives(TRUE);
  EXPECT_EQ(States(), "x.......");   // My Computer shows ticked all the same
  EXPECT_TRUE(m_tree.HasCheckedItem());
}

TEST_F(TreeDir, PathsOfOtherTopLevelItemsAreNetworkPaths) {
  HTREEITEM net = m_tree.Add("Network");
  HTREEITEM server = m_tree.Add("SERVER", net);
  HTREEITEM share = m_tree.Add("share", server);
  m_tree.SetCheckState(share, TREEDIR_CHECKED);
  EXPECT_TRUE(m_tree.HasCheckedItem());
  EXPECT_EQ(Paths(), (std::vector<std::string>{ "\\\\SERVER\\share\\" }));
}

TEST(TreeDirText, ItemTextGivesThePathPiece) {
  CTreeDirCtrl tree(FALSE, FALSE);
  struct Case { const char* text; BOOL bAppend; const char* path; };
  const Case cases[] = {
    { "Local Disk (C:)", TRUE, "C:\\" },
    { "Local Disk (C:)", FALSE, "C:" },
    { "Removable Disk (A:)", TRUE, "A:\\" },
    { "Windows", TRUE, "Windows\\" },
    { "Program Files", FALSE, "Program Files" },
  };
  // No Recycle Bin name (the tree not filled yet): no text is taken for it.
  for (const Case& t : cases)
    EXPECT_STREQ(tree.GetPathFromItemText(t.text, t.bAppend, '\\'), t.path) << t.text;
  CTestTree named;
  named.SetRecycleBin("Recycle Bin");
  char szSystem[MAX_PATH] = "";
  ::GetSystemDirectoryA(szSystem, sizeof szSystem);
  std::string recycled = std::string(1, szSystem[0]) + ":\\RECYCLED";
  EXPECT_STREQ(named.GetPathFromItemText("Recycle Bin", TRUE, '\\'), recycled.c_str());
  EXPECT_STREQ(named.GetPathFromItemText("Local Disk (C:)", TRUE, '\\'), "C:\\");
  struct Mask { ULONG mask; char drive; };
  for (Mask m : { Mask{ 1, 'A' }, Mask{ 4, 'C' }, Mask{ 6, 'B' }, Mask{ 1u << 25, 'Z' } })
    EXPECT_EQ(firstDriveFromMask(m.mask), m.drive);
}

TEST(TreeDirShell, FillsMyComputerWithLocalDrivesAndLoadsFoldersOnExpansion) {
  ::CoInitialize(NULL);
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "tree", WS_POPUP | WS_VISIBLE, 0, 0, 300, 400, NULL, NULL));
  CTreeDirCtrl* pTree = new CTreeDirCtrl(FALSE, FALSE);
  ASSERT_TRUE(pTree->Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, CRect(0, 0, 300, 400), &parent, 100));
  EXPECT_TRUE(pTree->SetSystemImageList());
  pTree->PopulateTree(0);
  HTREEITEM hTop = pTree->GetRootItem();
  ASSERT_NE(hTop, nullptr);
  EXPECT_EQ(pTree->GetNextSiblingItem(hTop), nullptr);   // My Computer only
  EXPECT_EQ(pTree->GetCheckState(hTop), (UINT)TREEDIR_UNCHECKED);
  pTree->Expand(hTop, TVE_EXPAND);
  HTREEITEM hDrive = pTree->FindDriveChild(hTop, 'C');
  ASSERT_NE(hDrive, nullptr);
  EXPECT_EQ(pTree->GetChildItem(hDrive), nullptr);   // not loaded yet
  pTree->ToggleCheck(hDrive);
  pTree->Expand(hDrive, TVE_EXPAND);
  HTREEITEM hFolder = pTree->GetChildItem(hDrive);
  ASSERT_NE(hFolder, nullptr);
  EXPECT_EQ(pTree->GetCheckState(hFolder), (UINT)TREEDIR_CHECKED);   // loaded ticked under a ticked drive
  pTree->DestroyWindow();   // frees every item's record
  delete pTree;
  parent.DestroyWindow();
  ::CoUninitialize();
}

} // namespace

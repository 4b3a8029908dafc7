// Progress dialog and file extension dialogs, from the language library's templates.
#include <gtest/gtest.h>
#include "langlibrary.h"
#include "ProgressDlg.h"
#include "FileExtensionDlg.h"
#include "resource_ids.h"
#include "WindowTree.h"
#include <string>
#include <vector>

namespace {

// Answers message boxes of this thread (captioned with the program's name) with OK and keeps
// the text each one showed, read from its window tree.
struct BoxAnswerer {
  static std::vector<std::string> s_texts;
  static BOOL CALLBACK Find(HWND hWnd, LPARAM) {
    std::vector<SWindowInfo> tree = WindowTree(hWnd);
    if (tree[0].strClass == "#32770" && tree[0].strText == AfxGetAppName() && tree[0].fVisible) {
      std::string strText;
      for (const std::string& str : VisibleTexts(tree, "Static"))
        strText += str;
      s_texts.push_back(strText);
      ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { ::EnumThreadWindows(::GetCurrentThreadId(), Find, 0); }
  BoxAnswerer() { s_texts.clear(); m_nTimer = ::SetTimer(NULL, 0, 100, OnTimer); }
  ~BoxAnswerer() { ::KillTimer(NULL, m_nTimer); }
  UINT_PTR m_nTimer;
};
std::vector<std::string> BoxAnswerer::s_texts;

// The message boxes a step should show: none, or the resource string nId.
std::vector<std::string> Messages(UINT nId) {
  if (nId == 0)
    return {};
  CString str;
  str.LoadString(nId);
  return { (LPCSTR)str };
}

class LanguageDialogs : public ::testing::Test {
protected:
  void SetUp() override {
    m_hLang = m_lang.Load();
    ASSERT_NE(m_hLang, nullptr);
    ASSERT_TRUE(m_owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, NULL, NULL));
  }
  void TearDown() override {
    m_owner.DestroyWindow();
    m_lang.Free();
  }
  CLanguageLibrary m_lang;
  HINSTANCE m_hLang = NULL;
  CWnd m_owner;
};

TEST_F(LanguageDialogs, ProgressShowsPercentagesAndReportsCancelOnce) {
  CProgressDlg dlg;
  ASSERT_TRUE(dlg.Create(&m_owner));
  EXPECT_FALSE(m_owner.IsWindowEnabled());
  CString s;
  dlg.GetWindowText(s);
  EXPECT_STREQ(s, "Progress");
  struct Case { int lower, upper, pos; const char* text; };
  const Case cases[] = { { 0, 100, 0, "0%" }, { 0, 100, 37, "37%" }, { 0, 100, 100, "100%" }, { 0, 200, 150, "75%" } };
  for (const Case& c : cases) {
    dlg.SetRange(c.lower, c.upper);
    dlg.SetPos(c.pos);
    dlg.GetDlgItemText(IDC_PROGRESS_PERCENT, s);
    EXPECT_STREQ(s, c.text);
  }
  dlg.SetRange(0, 100);
  dlg.SetPos(30);
  dlg.SetStep(10);
  EXPECT_EQ(dlg.StepIt(), 30);
  EXPECT_EQ(dlg.OffsetPos(5), 40);
  dlg.GetDlgItemText(IDC_PROGRESS_PERCENT, s);
  EXPECT_STREQ(s, "45%");

  EXPECT_FALSE(dlg.IsCancelPressed());
  ::PostMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)::GetDlgItem(dlg.m_hWnd, IDCANCEL));
  EXPECT_TRUE(dlg.IsCancelPressed());
  EXPECT_FALSE(dlg.IsCancelPressed());
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));   // Cancel leaves the window open
  dlg.DestroyWindow();
  EXPECT_TRUE(m_owner.IsWindowEnabled());

  // An owner disabled beforehand stays disabled.
  m_owner.EnableWindow(FALSE);
  CProgressDlg dlg2(IDS_PROGRESS_CAPTION);
  ASSERT_TRUE(dlg2.Create(&m_owner));
  dlg2.DestroyWindow();
  EXPECT_FALSE(m_owner.IsWindowEnabled());
}

std::vector<std::string> Rows(CFileExtensionDlg& dlg) {
  std::vector<std::string> v;
  for (int i = 0; i < dlg.m_listExt.GetItemCount(); i++)
    v.push_back((LPCSTR)dlg.m_listExt.GetItemText(i, 0));
  return v;
}

TEST_F(LanguageDialogs, ExtensionListSplitsChecksAndJoins) {
  static const std::string longExt(260, 'A');
  struct Case { const char* list; BOOL bWild; const char* add; UINT nMessage; const char* result; };
  const Case cases[] = {
    { ".BIN,.BAT", FALSE, NULL, 0, ".BIN,.BAT" },
    { "BIN,BAT", FALSE, NULL, 0, ".BINBAT" },
    { ".BIN,.EXE", FALSE, "EXE", 0, ".BIN,.EXE" },
    { ".BIN,.EXE", FALSE, "exe", 0, ".BIN,.EXE" },
    { ".BIN,.EXE", FALSE, "VBE", 0, ".BIN,.EXE,.VBE" },
    { ".BIN", FALSE, "V B S", 0, ".BIN,.VBS" },
    { ".BIN", FALSE, ".DOC", IDS_EXT_BAD_CHARACTER, ".BIN" },
    { ".BIN", FALSE, "D*C", IDS_EXT_BAD_CHARACTER, ".BIN" },
    { ".BIN", TRUE, "D*C", 0, ".BIN,.D*C" },
    { ".BIN", FALSE, "", 0, ".BIN" },
    { ".BIN", FALSE, longExt.c_str(), IDS_EXT_LIST_TOO_LONG, ".BIN" },   // the list would pass 256 characters
  };
  for (const Case& c : cases) {
    CFileExtensionDlg dlg(c.list, ".COM", NULL, c.bWild);
    ASSERT_TRUE(dlg.Create(IDD_FILE_EXTENSIONS, NULL));
    if (c.add) {
      BoxAnswerer answer;
      dlg.AddExtension(c.add);
      EXPECT_EQ(BoxAnswerer::s_texts, Messages(c.nMessage)) << c.add;
    }
    dlg.SendMessage(WM_COMMAND, IDOK);
    EXPECT_STREQ(dlg.GetExtensionList(), c.result) << c.list << " + " << (c.add ? c.add : "");
    dlg.DestroyWindow();
  }
}

TEST_F(LanguageDialogs, RemoveKeepsTheLastRowAndDefaultRefills) {
  CFileExtensionDlg dlg(".BIN,.BAT", ".COM,.EXE,.DLL", NULL, FALSE);
  ASSERT_TRUE(dlg.Create(IDD_FILE_EXTENSIONS, NULL));
  EXPECT_FALSE(dlg.m_btnRemove.IsWindowEnabled());   // nothing selected
  dlg.m_listExt.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  dlg.SendMessage(WM_COMMAND, IDC_EXT_REMOVE);
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{ ".BIN" }));
  dlg.m_listExt.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  dlg.SendMessage(WM_COMMAND, IDC_EXT_REMOVE);
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{ ".BIN" }));   // the last one stays
  dlg.SendMessage(WM_COMMAND, IDC_EXT_DEFAULT);
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{ ".COM", ".EXE", ".DLL" }));
  EXPECT_FALSE(dlg.m_btnRemove.IsWindowEnabled());
  dlg.SendMessage(WM_COMMAND, IDCANCEL);
  EXPECT_STREQ(dlg.GetExtensionList(), ".BIN,.BAT");   // Cancel keeps the given list
  dlg.DestroyWindow();
}

TEST_F(LanguageDialogs, AddDialogTakesOnlySevenBitText) {
  struct Case { const char* text; BOOL bEnds; const char* ext; };
  const Case cases[] = { { " vbs ", TRUE, "VBS" }, { "d\xE9j", FALSE, "" } };
  for (const Case& c : cases) {
    CAddExtensionDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_ADD_EXTENSION, NULL));
    dlg.SetDlgItemText(IDC_ADD_EXT_EDIT, c.text);
    BoxAnswerer answer;
    dlg.SendMessage(WM_COMMAND, IDOK);
    EXPECT_EQ(BoxAnswerer::s_texts, Messages(c.bEnds ? 0 : IDS_EXT_NOT_ASCII));
    EXPECT_EQ(dlg.IsWindowVisible(), !c.bEnds);   // refused: the dialog stays open
    if (c.bEnds) {
      EXPECT_STREQ(dlg.m_strExt, c.ext);
    }
    dlg.DestroyWindow();
  }
}

} // namespace

// Property sheets: page notifications in order, Apply Now and OK, and the
// sheet's own command handlers for OK, Apply Now and Help.
#include <gtest/gtest.h>
#include "afxdlgs.h"
#include "test_dialogs.h"
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_events;

class CProbePage : public CPropertyPage {
public:
  CProbePage(const char* pszName, LPCDLGTEMPLATE pTemplate) : m_strName(pszName) {
    Construct((LPCTSTR)NULL);
    m_psp.dwFlags |= PSP_DLGINDIRECT;
    m_psp.pResource = pTemplate;
  }
  std::string m_strName;
  BOOL m_bRefuseKill = FALSE;
  BOOL OnInitDialog() override { g_events.push_back(m_strName + ":init"); return CPropertyPage::OnInitDialog(); }
  BOOL OnSetActive() override { g_events.push_back(m_strName + ":set"); return CPropertyPage::OnSetActive(); }
  BOOL OnKillActive() override { g_events.push_back(m_strName + ":kill"); return !m_bRefuseKill; }
  void OnOK() override { g_events.push_back(m_strName + ":ok"); }
  BOOL OnApply() override { g_events.push_back(m_strName + ":apply"); return CPropertyPage::OnApply(); }
  void OnCancel() override { g_events.push_back(m_strName + ":cancel"); }
};

const int kEscapeInPage = -100000;

// Drives the sheet from timer steps, as a user would press its buttons.
class CScriptSheet : public CPropertySheet {
public:
  std::vector<int> m_buttons;   // one step per tick: PSBTN_* pressed, or -id: that button clicked
  size_t m_nNext = 0;
  BOOL OnInitDialog() override {
    BOOL b = CPropertySheet::OnInitDialog();
    g_events.push_back("sheet:init");
    SetTimer(77, 60, NULL);
    return b;
  }
  afx_msg void OnTimer(UINT_PTR nID) {
    if (nID != 77)
      return;
    if (m_nNext < m_buttons.size()) {
      int n = m_buttons[m_nNext++];
      if (n == kEscapeInPage) {
        HWND hEdit = ::GetDlgItem((HWND)SendMessage(PSM_GETCURRENTPAGEHWND), 100);
        ::SetFocus(hEdit);
        ::PostMessageA(hEdit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      } else if (n >= 0) {
        PressButton(n);
      } else {
        ::EnableWindow(::GetDlgItem(m_hWnd, -n), TRUE);
        ::SendDlgItemMessageA(m_hWnd, -n, BM_CLICK, 0, 0);
      }
    }
    else
      KillTimer(77);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CScriptSheet, CPropertySheet)
  ON_WM_TIMER()
END_MESSAGE_MAP()

DlgTemplate PageTemplate(const char* title) {
  DlgTemplate t(WS_CHILD | WS_CAPTION | DS_CONTROL, 160, 80, title);
  t.Add(kEdit, 100, WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 12);
  return t;
}

TEST(PropSheet, ApplyThenOkNotifyPagesInOrder) {
  DlgTemplate t1 = PageTemplate("One"), t2 = PageTemplate("Two");
  CProbePage p1("p1", t1.Get()), p2("p2", t2.Get());
  CScriptSheet sheet;
  sheet.Construct("Options");
  sheet.AddPage(&p1);
  sheet.AddPage(&p2);
  sheet.m_buttons = { -ID_APPLY_NOW, PSBTN_OK };
  g_events.clear();
  EXPECT_EQ(sheet.DoModal(), IDOK);
  // Only the page that was shown exists; it is left and applied on each button,
  // and made active again after Apply Now.
  const std::vector<std::string> expected = {
    "p1:init", "p1:set", "sheet:init",
    "p1:kill", "p1:apply", "p1:ok", "p1:set",
    "p1:kill", "p1:apply", "p1:ok",
  };
  EXPECT_EQ(g_events, expected);
  EXPECT_EQ(sheet.m_hWnd, nullptr);
}

TEST(PropSheet, CancelEndsWithoutApplying) {
  DlgTemplate t1 = PageTemplate("One");
  CProbePage p1("p1", t1.Get());
  CScriptSheet sheet;
  sheet.Construct("Options");
  sheet.AddPage(&p1);
  sheet.m_buttons = { PSBTN_CANCEL };
  g_events.clear();
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "p1:apply"), 0);
  EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "p1:cancel"), 1);
}

TEST(PropSheet, EscapeInAPageIsTheSheetsCancel) {
  DlgTemplate t1 = PageTemplate("One");
  CProbePage p1("p1", t1.Get());
  CScriptSheet sheet;
  sheet.Construct("Options");
  sheet.AddPage(&p1);
  sheet.m_buttons = { kEscapeInPage };
  g_events.clear();
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "p1:cancel"), 1);   // through the sheet's reset
}

TEST(PropSheet, PageRefusingToLoseFocusKeepsTheSheetOpen) {
  DlgTemplate t1 = PageTemplate("One");
  CProbePage p1("p1", t1.Get());
  p1.m_bRefuseKill = TRUE;
  CScriptSheet sheet;
  sheet.Construct("Options");
  sheet.AddPage(&p1);
  sheet.m_buttons = { PSBTN_OK, PSBTN_CANCEL };
  g_events.clear();
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "p1:apply"), 0);
}

// A sheet that takes OK, Apply Now and Help itself, as the options sheet does.
class COwnButtonsSheet : public CScriptSheet {
public:
  afx_msg void OnOwnOK() { g_events.push_back("own:ok"); EndDialog(IDOK); }
  afx_msg void OnOwnApply() { g_events.push_back("own:apply"); }
  afx_msg void OnOwnHelp() { g_events.push_back("own:help"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(COwnButtonsSheet, CScriptSheet)
  ON_COMMAND(IDOK, OnOwnOK)
  ON_COMMAND(ID_APPLY_NOW, OnOwnApply)
  ON_COMMAND(ID_HELP, OnOwnHelp)
END_MESSAGE_MAP()

TEST(PropSheet, SheetHandlersReceiveOkApplyAndHelp) {
  DlgTemplate t1 = PageTemplate("One");
  CProbePage p1("p1", t1.Get());
  p1.m_psp.dwFlags |= PSP_HASHELP;
  COwnButtonsSheet sheet;
  sheet.Construct("Options");
  sheet.m_psh.dwFlags |= PSH_HASHELP;
  sheet.AddPage(&p1);
  sheet.m_buttons = { -IDHELP, -ID_APPLY_NOW, -IDOK };
  g_events.clear();
  EXPECT_EQ(sheet.DoModal(), IDOK);
  std::vector<std::string> own;
  for (const std::string& e : g_events)
    if (e.rfind("own:", 0) == 0 || e == "p1:apply")
      own.push_back(e);
  EXPECT_EQ(own, (std::vector<std::string>{ "own:help", "own:apply", "own:ok" }));
}

TEST(PropSheet, ModelessSheetCreatesStartPageAndSwitches) {
  DlgTemplate t1 = PageTemplate("One"), t2 = PageTemplate("Two");
  CProbePage p1("p1", t1.Get()), p2("p2", t2.Get());
  CPropertySheet sheet("Modeless", NULL, 1);
  sheet.AddPage(&p1);
  sheet.AddPage(&p2);
  g_events.clear();
  ASSERT_TRUE(sheet.Create());
  EXPECT_EQ(sheet.GetActiveIndex(), 1);
  EXPECT_EQ(sheet.GetActivePage(), &p2);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  EXPECT_TRUE(sheet.SetActivePage(0));
  EXPECT_EQ(sheet.GetActivePage(), &p1);
  EXPECT_EQ(g_events, (std::vector<std::string>{ "p2:init", "p2:set", "p2:kill", "p1:init", "p1:set" }));
  sheet.DestroyWindow();
  EXPECT_EQ(p1.m_hWnd, nullptr);
}

} // namespace

// Tab control with disabled tabs, and cell tooltips of a report list.
#include <gtest/gtest.h>
#include "TabCtrlWithDisable.h"
#include <string>

namespace {

class CTwoOfThree : public CTabCtrlWithDisable {
public:
  BOOL m_bNoneEnabled = FALSE;
  BOOL IsTabEnabled(int nTab) override { return !m_bNoneEnabled && nTab != 1; }
};

class CTabParent : public CWnd {
public:
  BOOL m_bRefuse = FALSE;
  int m_nChanges = 0;
  afx_msg void OnChanging(NMHDR*, LRESULT* pResult) { *pResult = m_bRefuse; }
  afx_msg void OnChange(NMHDR*, LRESULT* pResult) { m_nChanges++; *pResult = 0; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CTabParent, CWnd)
  ON_NOTIFY(TCN_SELCHANGING, 300, OnChanging)
  ON_NOTIFY(TCN_SELCHANGE, 300, OnChange)
END_MESSAGE_MAP()

class TabWithDisable : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_parent.CreateEx(0, AfxRegisterWndClass(0), "tabs", WS_POPUP | WS_VISIBLE, 50, 50, 300, 100, NULL, NULL));
    m_hTab = ::CreateWindowA(WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 100, m_parent.m_hWnd,
                             (HMENU)300, NULL, NULL);
    for (int i = 0; i < 3; i++) {
      TCITEMA ti = {};
      ti.mask = TCIF_TEXT;
      ti.pszText = (LPSTR)(i == 0 ? "Manual" : i == 1 ? "Real-time" : "Scheduled");
      ::SendMessageA(m_hTab, TCM_INSERTITEMA, i, (LPARAM)&ti);
    }
  }
  void TearDown() override { m_parent.DestroyWindow(); }
  BOOL Key(UINT vk) {
    MSG msg = { m_tab.m_hWnd, WM_KEYDOWN, vk, 0 };
    return m_tab.PreTranslateMessage(&msg);
  }
  CTabParent m_parent;
  CTwoOfThree m_tab;
  HWND m_hTab = NULL;
};

TEST_F(TabWithDisable, SubclassingLeavesADisabledSelectedTab) {
  ::SendMessageA(m_hTab, TCM_SETCURSEL, 1, 0);
  ASSERT_TRUE(m_tab.SubclassTabCtrl(300, &m_parent));
  EXPECT_EQ(m_tab.GetCurSel(), 2);
  EXPECT_EQ(m_parent.m_nChanges, 1);
  EXPECT_TRUE(m_tab.GetStyle() & TCS_OWNERDRAWFIXED);
}

TEST_F(TabWithDisable, ArrowKeysSkipDisabledTabsWithoutWrapping) {
  ASSERT_TRUE(m_tab.SubclassTabCtrl(300, &m_parent));
  struct Step { UINT vk; int nSel; };
  for (Step s : { Step{ VK_RIGHT, 2 }, Step{ VK_RIGHT, 2 }, Step{ VK_LEFT, 0 }, Step{ VK_LEFT, 0 } }) {
    EXPECT_TRUE(Key(s.vk));   // consumed even when nothing moves
    EXPECT_EQ(m_tab.GetCurSel(), s.nSel);
  }
  MSG other = { m_tab.m_hWnd, WM_KEYDOWN, VK_UP, 0 };
  EXPECT_FALSE(m_tab.PreTranslateMessage(&other));

  struct Case { int nFrom; BOOL bWrap; int nNext, nPrev; };
  for (Case c : { Case{ 0, FALSE, 2, -1 }, Case{ 2, FALSE, -1, 0 }, Case{ 2, TRUE, 0, 0 }, Case{ 0, TRUE, 2, 2 },
                  Case{ -1, FALSE, 0, -1 }, Case{ -1, TRUE, 0, 2 } }) {
    EXPECT_EQ(m_tab.NextEnabledTab(c.nFrom, c.bWrap), c.nNext) << c.nFrom;
    EXPECT_EQ(m_tab.PrevEnabledTab(c.nFrom, c.bWrap), c.nPrev) << c.nFrom;
  }
  // Nothing selected and no tab enabled: no tab, and the walk ends.
  m_tab.m_bNoneEnabled = TRUE;
  for (int nFrom : { -1, 0, 2 })
    for (BOOL bWrap : { FALSE, TRUE }) {
      EXPECT_EQ(m_tab.NextEnabledTab(nFrom, bWrap), -1);
      EXPECT_EQ(m_tab.PrevEnabledTab(nFrom, bWrap), -1);
    }
}

TEST_F(TabWithDisable, ParentOrDisabledTabRefusesTheChange) {
  ASSERT_TRUE(m_tab.SubclassTabCtrl(300, &m_parent));
  m_parent.m_bRefuse = TRUE;
  EXPECT_FALSE(m_tab.SelectTab(2));
  EXPECT_EQ(m_tab.GetCurSel(), 0);
  m_parent.m_bRefuse = FALSE;

  // Clicks: a disabled tab keeps the selection, an enabled one takes it. The
  // control judges a click by the pointer position, which other programs on the
  // same display may move: a click is counted only when the pointer stayed put.
  for (int nTab : { 1, 2 }) {
    CRect rc;
    m_tab.GetItemRect(nTab, &rc);
    CPoint pt = rc.CenterPoint();
    CPoint ptScreen = pt;
    m_tab.ClientToScreen(&ptScreen);
    for (int nTry = 0; nTry < 20; nTry++) {
      m_tab.SetCurSel(0);
      ::SetCursorPos(ptScreen.x, ptScreen.y);
      POINT before, after;
      ::GetCursorPos(&before);
      m_tab.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
      m_tab.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
      ::GetCursorPos(&after);
      if (CPoint(before) == ptScreen && CPoint(after) == ptScreen) {
        EXPECT_EQ(m_tab.GetCurSel(), nTab == 1 ? 0 : 2);
        break;
      }
      ::Sleep(50);
    }
  }
}

TEST(CellToolTips, CellsAreFoundInReportViewAndTextsCut) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "list", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, NULL, NULL));
  HWND hList = ::CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300, 200, parent.m_hWnd,
                               (HMENU)400, NULL, NULL);
  CToolTipsListCtrl list;
  ASSERT_TRUE(list.SubclassWindow(hList));
  EXPECT_TRUE(list.m_nFlags & WF_TOOLTIPS);
  list.InsertColumn(0, "Name", LVCFMT_LEFT, 100);
  list.InsertColumn(1, "Folder", LVCFMT_LEFT, 50);
  std::string longText(100, 'x');
  for (int i = 0; i < 3; i++) {
    list.InsertItem(i, "file");
    list.SetItemText(i, 1, longText.c_str());
  }
  CRect rcRow;
  list.GetItemRect(1, &rcRow, LVIR_BOUNDS);
  int y = rcRow.CenterPoint().y;
  struct Case { int x; int nRow; int nColumn; };
  for (Case c : { Case{ 10, 1, 0 }, Case{ 120, 1, 1 }, Case{ 250, -1, -1 } }) {
    int nColumn = -1;
    RECT rc;
    EXPECT_EQ(list.CellFromPoint(CPoint(c.x, y), &rc, &nColumn), c.nRow) << c.x;
    if (c.nRow >= 0) {
      EXPECT_EQ(nColumn, c.nColumn);
    }
  }
  TOOLINFOA ti = {};
  EXPECT_EQ(list.OnToolHitTest(CPoint(120, y), &ti), 1 * 1024 + 1 + 1);
  EXPECT_EQ(ti.hwnd, list.m_hWnd);

  // The tooltip asks the list for the text of the tool it shows.
  NMTTDISPINFOA di = {};
  di.hdr.hwndFrom = parent.m_hWnd;
  di.hdr.idFrom = 1026;
  di.hdr.code = TTN_NEEDTEXTA;
  list.SendMessage(WM_NOTIFY, 0, (LPARAM)&di);
  EXPECT_EQ(std::string(di.szText), std::string(79, 'x'));
  NMTTDISPINFOW dw = {};
  dw.hdr = { parent.m_hWnd, 1, (UINT)TTN_NEEDTEXTW };
  list.SendMessage(WM_NOTIFY, 0, (LPARAM)&dw);
  EXPECT_EQ(dw.szText[0], L'f');

  list.ModifyStyle(LVS_TYPEMASK, LVS_ICON);
  EXPECT_EQ(list.CellFromPoint(CPoint(10, y), NULL, NULL), -1);
  parent.DestroyWindow();
}

} // namespace

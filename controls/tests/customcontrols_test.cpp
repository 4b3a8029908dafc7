// Self-drawing controls: icon animation, progress bar, sort header, bitmap button.
#include <gtest/gtest.h>
#include "langlibrary.h"
#include "BitmapStatic.h"
#include "BitmapButtonEx.h"
#include "ProgressCtrlEx.h"
#include "SortedHeaderCtrl.h"
#include "resource_ids.h"
#include <string>
#include <vector>

namespace {

class CYellowParent : public CWnd {
public:
  CBrush m_brush{ RGB(255, 255, 0) };
  int m_nTicks = 0;
  afx_msg HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return (HBRUSH)m_brush.m_hObject; }
  afx_msg void OnTimer(UINT_PTR nID) { if (nID == (UINT_PTR)-1) m_nTicks++; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CYellowParent, CWnd)
  ON_WM_CTLCOLOR()
  ON_WM_TIMER()
END_MESSAGE_MAP()

class CustomControls : public ::testing::Test {
protected:
  void SetUp() override {
    m_hLang = m_lang.Load();
    ASSERT_NE(m_hLang, nullptr);
    ASSERT_TRUE(m_parent.CreateEx(WS_EX_TOPMOST, AfxRegisterWndClass(0, NULL, (HBRUSH)::GetStockObject(BLACK_BRUSH)),
                                  "controls", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200, NULL, NULL));
  }
  void TearDown() override {
    m_parent.DestroyWindow();
    m_lang.Free();
  }
  COLORREF Pixel(CWnd* p, int x, int y) {
    p->RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC hDC = ::GetDC(p->m_hWnd);
    COLORREF cr = ::GetPixel(hDC, x, y);
    ::ReleaseDC(p->m_hWnd, hDC);
    return cr;
  }
  CLanguageLibrary m_lang;
  HINSTANCE m_hLang = NULL;
  CYellowParent m_parent;
};

TEST_F(CustomControls, AnimationStepsThroughItsIconsAndTicksTheParent) {
  CAnimationIcon anim(NULL, NULL, 2, IDI_SCAN_FIRST, IDI_SCAN_COUNT, 200);
  ASSERT_TRUE(anim.Create("", WS_CHILD | WS_VISIBLE, CRect(0, 0, 32, 32), &m_parent, 10));
  for (int i = 0; i < IDI_SCAN_COUNT; i++)
    EXPECT_NE(anim.m_hIcons[i], nullptr) << i;
  EXPECT_EQ(anim.m_nCurrent, -1);
  std::vector<int> frames;
  for (int i = 0; i < 11; i++) {
    anim.SendMessage(WM_TIMER, 1);
    frames.push_back(anim.m_nCurrent);
  }
  EXPECT_EQ(frames, (std::vector<int>{ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0 }));
  EXPECT_EQ(m_parent.m_nTicks, 11);
  anim.StartAnimation();
  EXPECT_NE(anim.m_nTimerId, 0u);
  anim.DestroyWindow();   // stops the timer
  EXPECT_EQ(anim.m_nTimerId, 0u);
}

TEST_F(CustomControls, ProgressBarCoversItsShareOfTheWidth) {
  const COLORREF red = RGB(255, 0, 0), black = RGB(0, 0, 0), face = ::GetSysColor(COLOR_BTNFACE);
  CProgressCtrlEx bar(red, 0, TRUE, FALSE, 1);
  ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 20), &m_parent, 11));
  bar.SetRange(100, 0);
  EXPECT_EQ(bar.m_nLower, 0);
  EXPECT_EQ(bar.m_nUpper, 100);
  EXPECT_EQ(Pixel(&bar, 100, 10), black);   // at the lower bound nothing is drawn
  struct Case { int lower, upper, pos; int nPrev; COLORREF at25, at75; };
  const Case cases[] = {
    { 0, 100, 50, 0, red, face },
    { 50, 150, 100, 50, red, face },
    { 0, 100, 150, 100, red, red },   // clamped to a full bar
  };
  for (const Case& c : cases) {
    bar.SetRange(c.lower, c.upper);
    EXPECT_EQ(bar.SetPos(c.pos), c.nPrev);
    EXPECT_EQ(Pixel(&bar, 50, 10), c.at25) << c.pos;
    EXPECT_EQ(Pixel(&bar, 150, 10), c.at75) << c.pos;
    EXPECT_EQ(Pixel(&bar, 50, 0), face);   // inset by 2
  }
  bar.DestroyWindow();
}

TEST_F(CustomControls, SortImageMarksTheColumnOwnerDrawn) {
  CSortedHeaderCtrl header;
  ASSERT_TRUE(header.Create(WS_CHILD | WS_VISIBLE | HDS_HORZ, CRect(0, 0, 300, 20), &m_parent, 12));
  for (int i = 0; i < 3; i++) {
    HDITEMA hdi = {};
    hdi.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    hdi.pszText = (LPSTR)"Column";
    hdi.cxy = 100;
    hdi.fmt = HDF_LEFT | HDF_STRING;
    header.InsertItem(i, &hdi);
  }
  EXPECT_EQ(header.SetSortImage(2, FALSE), -1);
  EXPECT_EQ(header.SetSortImage(2, TRUE), 2);
  HDITEMA hdi = {};
  hdi.mask = HDI_FORMAT;
  header.GetItem(2, &hdi);
  EXPECT_TRUE(hdi.fmt & HDF_OWNERDRAW);
  EXPECT_EQ(Pixel(&header, 250, 1), ::GetSysColor(COLOR_BTNFACE));   // filled by our drawing
  EXPECT_EQ(Pixel(&header, 288, 14), ::GetSysColor(COLOR_BTNHIGHLIGHT));   // the arrow's bottom line
  header.DestroyWindow();
}

TEST_F(CustomControls, BitmapButtonShowsTheParentColourForItsTransparentColour) {
  CBitmapButtonEx button;
  ASSERT_TRUE(button.Create("", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(10, 10, 26, 26), &m_parent, 13));
  EXPECT_TRUE(button.LoadBitmaps(IDB_LBEDIT_DELETE, 0, 0, 0, FALSE));
  EXPECT_FALSE(button.LoadBitmaps(IDB_LBEDIT_DELETE, 9999, 0, 0, FALSE));   // a missing picture reports FALSE
  button.SizeToContent();
  CRect rc;
  button.GetClientRect(&rc);
  EXPECT_EQ(rc.Size(), CSize(16, 15));
  EXPECT_EQ(Pixel(&button, 0, 0), RGB(255, 255, 0));     // silver border shows the parent's yellow
  EXPECT_EQ(Pixel(&button, 4, 3), RGB(255, 0, 0));       // the red cross stays
  button.DestroyWindow();
}

} // namespace

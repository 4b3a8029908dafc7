// List-box editor: attaching, adding, editing, deleting, moving and dragging rows.
#include <gtest/gtest.h>
#include "langlibrary.h"
#include "ListBoxEditor.h"
#include "ListBoxDragWnd.h"
#include "resource_ids.h"
#include <string>
#include <vector>

namespace {

const UINT IDC_LIST = 200, IDC_AFTER = 201;

class CNotifyParent : public CWnd {
public:
  std::vector<int> m_codes;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == IDC_LIST && (HIWORD(wParam) == LBEDIT_NOTIFY_DELETED || HIWORD(wParam) == LBEDIT_NOTIFY_MOVED))
      m_codes.push_back(HIWORD(wParam));
    return CWnd::OnCommand(wParam, lParam);
  }
};

class ListBoxEditor : public ::testing::Test {
protected:
  void SetUp() override {
    m_hLang = m_lang.Load();
    ASSERT_NE(m_hLang, nullptr);
    ASSERT_TRUE(m_parent.CreateEx(0, AfxRegisterWndClass(0, ::LoadCursorA(NULL, IDC_ARROW), (HBRUSH)(COLOR_BTNFACE + 1)),
                                  "editor", WS_POPUP | WS_VISIBLE, 100, 100, 300, 300, NULL, NULL));
    m_hList = ::CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP,
                              10, 10, 200, 200, m_parent.m_hWnd, (HMENU)(UINT_PTR)IDC_LIST, NULL, NULL);
    ::CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, 10, 220, 200, 20, m_parent.m_hWnd,
                    (HMENU)(UINT_PTR)IDC_AFTER, NULL, NULL);
    for (const char* s : { "a", "b", "c" })
      ::SendMessageA(m_hList, LB_ADDSTRING, 0, (LPARAM)s);
  }
  void TearDown() override {
    delete m_pEditor;
    m_parent.DestroyWindow();
    m_lang.Free();
  }
  void Attach(DWORD dwOptions) {
    m_pEditor = new SECListBoxEditor;
    ASSERT_TRUE(m_pEditor->AttachToListBox(&m_parent, IDC_LIST, dwOptions));
    m_pEditor->SetWindowText("Entries");
  }
  std::vector<std::string> Rows() {
    std::vector<std::string> v;
    CListBox* p = m_pEditor->GetListBox();
    for (int i = 0; i < p->GetCount(); i++) {
      CString s;
      p->GetText(i, s);
      v.push_back((LPCSTR)s);
    }
    return v;
  }
  int Sel() { return m_pEditor->GetListBox()->GetCurSel(); }
  void Key(HWND h, UINT vk, BOOL bAlt = FALSE) { ::SendMessageA(h, bAlt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, bAlt ? (1 << 29) : 0); }
  void Type(const char* text) {
    ASSERT_NE(m_pEditor->m_pEdit, nullptr);
    for (const char* p = text; *p; p++)
      ::SendMessageA(m_pEditor->m_pEdit->m_hWnd, WM_CHAR, (BYTE)*p, 0);
  }
  HWND List() { return m_pEditor->GetListBox()->m_hWnd; }

  CLanguageLibrary m_lang;
  HINSTANCE m_hLang = NULL;
  CNotifyParent m_parent;
  HWND m_hList = NULL;
  SECListBoxEditor* m_pEditor = nullptr;
  typedef std::vector<std::string> Rows_t;
};

const DWORD kPageOptions = 0x033C;   // buttons with tips, keys, dragging, new and delete

TEST_F(ListBoxEditor, AttachingAddsHeaderAndBlankRow) {
  CRect rcBefore;
  ::GetWindowRect(m_hList, &rcBefore);
  Attach(kPageOptions);
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "" }));
  CRect rcHeader, rcList;
  m_pEditor->GetWindowRect(&rcHeader);
  ::GetWindowRect(m_hList, &rcList);
  EXPECT_EQ(rcHeader.top, rcBefore.top);
  EXPECT_GE(rcHeader.Height(), 15 + 2);                 // the tallest button bitmap plus 2
  EXPECT_EQ(rcList.top, rcHeader.bottom + 2 * ::GetSystemMetrics(SM_CYBORDER));
  EXPECT_EQ(rcList.bottom, rcBefore.bottom);
  EXPECT_TRUE(m_pEditor->m_bShowButton[0] && m_pEditor->m_bShowButton[1]);
  EXPECT_FALSE(m_pEditor->m_bShowButton[2] || m_pEditor->m_bShowButton[3]);
  EXPECT_EQ(CWnd::FromHandlePermanent(m_hList), m_pEditor->GetListBox());
}

TEST_F(ListBoxEditor, InsertAddsEntryAboveTheBlankRowAndEscapeTakesItBack) {
  Attach(kPageOptions);
  m_pEditor->GetListBox()->SetCurSel(1);
  Key(List(), VK_INSERT);
  ASSERT_NE(m_pEditor->m_pEdit, nullptr);
  EXPECT_EQ(Sel(), 3);
  Type("d");
  Key(m_pEditor->m_pEdit->m_hWnd, VK_RETURN);
  EXPECT_EQ(m_pEditor->m_pEdit, nullptr);
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "d", "" }));
  EXPECT_EQ(Sel(), 3);

  m_pEditor->GetListBox()->SetCurSel(1);
  Key(List(), VK_INSERT);
  Type("zz");
  Key(m_pEditor->m_pEdit->m_hWnd, VK_ESCAPE);
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "d", "" }));
  EXPECT_EQ(Sel(), 1);

  Key(List(), VK_INSERT);
  Type("   ");
  Key(m_pEditor->m_pEdit->m_hWnd, VK_RETURN);   // blanks only: removed again
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "d", "" }));
}

TEST_F(ListBoxEditor, DeleteAndMoveKeysChangeRowsAndTellTheParent) {
  Attach(kPageOptions);
  struct Step { int nSel; UINT vk; BOOL bAlt; Rows_t rows; int nSelAfter; std::vector<int> codes; };
  const Step steps[] = {
    { 1, VK_DELETE, FALSE, { "a", "c", "" }, 1, { LBEDIT_NOTIFY_DELETED } },
    { 2, VK_DELETE, FALSE, { "a", "c", "" }, 2, {} },                       // the blank row stays
    { 0, VK_UP, TRUE, { "a", "c", "" }, 0, {} },                            // first entry
    { 1, VK_DOWN, TRUE, { "a", "c", "" }, 1, {} },                          // just above the blank row
    { 0, VK_DOWN, TRUE, { "c", "a", "" }, 1, { LBEDIT_NOTIFY_MOVED } },
    { 1, VK_UP, TRUE, { "a", "c", "" }, 0, { LBEDIT_NOTIFY_MOVED } },
  };
  for (const Step& s : steps) {
    m_parent.m_codes.clear();
    m_pEditor->GetListBox()->SetCurSel(s.nSel);
    Key(List(), s.vk, s.bAlt);
    EXPECT_EQ(Rows(), s.rows);
    EXPECT_EQ(Sel(), s.nSelAfter);
    EXPECT_EQ(m_parent.m_codes, s.codes);
  }
  EXPECT_EQ(m_pEditor->m_nLastIndex, 1);
  EXPECT_EQ(m_pEditor->m_nLastMoveTarget, 0);
}

TEST_F(ListBoxEditor, ClickingAnotherRowCommitsOrCancelsTheEdit) {
  Attach(kPageOptions & ~LBEDIT_DRAG_REORDER);
  CRect rc;
  m_pEditor->GetListBox()->GetItemRect(0, &rc);
  LPARAM lRow0 = MAKELPARAM(rc.left + 5, rc.top + 2);
  m_pEditor->AddNewItem();
  Type("e");
  ::SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, lRow0);
  ::SendMessageA(List(), WM_LBUTTONUP, 0, lRow0);
  EXPECT_EQ(m_pEditor->m_pEdit, nullptr);
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "e", "" }));
  m_pEditor->AddNewItem();   // empty: cancelled
  ::SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, lRow0);
  ::SendMessageA(List(), WM_LBUTTONUP, 0, lRow0);
  EXPECT_EQ(Rows(), (Rows_t{ "a", "b", "c", "e", "" }));
}

// A drag: the mouse moves to a point (screen coordinates) and is released after nUpMs.
struct DragScript {
  static POINT s_ptTarget;
  static BOOL s_bEscape;
  static void CALLBACK Move(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(NULL, id);
    HWND hCapture = ::GetCapture();
    if (hCapture)
      ::PostMessageA(hCapture, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(s_ptTarget.x, s_ptTarget.y));
    if (s_bEscape)
      ::PostMessageA(hCapture, WM_KEYDOWN, VK_ESCAPE, 0);
  }
  static void CALLBACK Up(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(NULL, id);
    HWND hCapture = ::GetCapture();
    if (hCapture)
      ::PostMessageA(hCapture, WM_LBUTTONUP, 0, MAKELPARAM(s_ptTarget.x, s_ptTarget.y));
  }
};
POINT DragScript::s_ptTarget;
BOOL DragScript::s_bEscape;

TEST_F(ListBoxEditor, DraggingMovesARowWhenHeldLongEnough) {
  Attach(kPageOptions);
  struct Case { int nTargetRow; UINT nUpMs; BOOL bEscape; Rows_t rows; std::vector<int> codes; };
  const Case cases[] = {
    { 2, 400, FALSE, { "b", "c", "a", "" }, { LBEDIT_NOTIFY_MOVED } },   // below c: last entry
    { 3, 400, FALSE, { "b", "c", "a", "" }, { LBEDIT_NOTIFY_MOVED } },   // onto the blank row: still last entry
    { 2, 120, FALSE, { "a", "b", "c", "" }, {} },                        // too short
    { 2, 400, TRUE, { "a", "b", "c", "" }, {} },                         // Escape cancels
  };
  ::SetCursorPos(1000, 740);
  for (const Case& c : cases) {
    // Start from a, b, c each time.
    CListBox* p = m_pEditor->GetListBox();
    p->ResetContent();
    for (const char* s : { "a", "b", "c", "" })
      p->AddString(s);
    m_parent.m_codes.clear();
    CRect rcFrom, rcTo;
    p->GetItemRect(0, &rcFrom);
    p->GetItemRect(c.nTargetRow, &rcTo);
    CPoint pt(rcTo.left + 10, rcTo.bottom - 2);
    p->ClientToScreen(&pt);
    DragScript::s_ptTarget = pt;
    DragScript::s_bEscape = c.bEscape;
    UINT_PTR nMove = ::SetTimer(NULL, 0, 60, DragScript::Move);
    UINT_PTR nUp = ::SetTimer(NULL, 0, c.nUpMs, DragScript::Up);
    ::SendMessageA(p->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rcFrom.left + 5, rcFrom.top + 2));
    // A drag cancelled early leaves its release pending: it must not reach a later drag.
    ::KillTimer(NULL, nMove);
    ::KillTimer(NULL, nUp);
    EXPECT_EQ(Rows(), c.rows) << c.nTargetRow << " " << c.nUpMs;
    EXPECT_EQ(m_parent.m_codes, c.codes);
    EXPECT_EQ(::GetCapture(), nullptr);
    MSG msg;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
      ::DispatchMessageA(&msg);
  }
}

// The drag's clock, moved by the script: scrolling starts a start delay (300 ms) after the
// pointer left the list, not at once.
DWORD g_dwNow = 0;
DWORD WINAPI ScriptTicks() { return g_dwNow; }

struct ScrollScript {
  static int s_nStep;
  static POINT s_ptInside, s_ptBelow;
  static HWND s_hList;
  static std::vector<int> s_tops;
  static void Move(POINT pt) {
    if (HWND hCapture = ::GetCapture())
      ::PostMessageA(hCapture, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
  }
  static int Top() { return (int)::SendMessageA(s_hList, LB_GETTOPINDEX, 0, 0); }
  static void CALLBACK Step(HWND, UINT, UINT_PTR id, DWORD) {
    switch (s_nStep++) {
    case 0: g_dwNow = 260; Move(s_ptInside); break;     // the drag has started
    case 1: g_dwNow = 1000; Move(s_ptBelow); break;     // the pointer leaves the list
    case 2: s_tops.push_back(Top()); g_dwNow = 1299; break;
    case 3: s_tops.push_back(Top()); g_dwNow = 1301; break;
    default:
      s_tops.push_back(Top());
      ::KillTimer(NULL, id);
      if (HWND hCapture = ::GetCapture())
        ::PostMessageA(hCapture, WM_KEYDOWN, VK_ESCAPE, 0);
    }
  }
};
int ScrollScript::s_nStep;
POINT ScrollScript::s_ptInside, ScrollScript::s_ptBelow;
HWND ScrollScript::s_hList;
std::vector<int> ScrollScript::s_tops;

TEST_F(ListBoxEditor, DragScrollsBelowTheListOnlyAfterTheStartDelay) {
  Attach(kPageOptions);
  CListBox* p = m_pEditor->GetListBox();
  for (int i = 0; i < 30; i++)
    p->InsertString(p->GetCount() - 1, ("r" + std::to_string(i)).c_str());
  CRect rcFrom, rcInside, rcClient;
  p->GetItemRect(0, &rcFrom);
  p->GetItemRect(3, &rcInside);
  p->GetClientRect(&rcClient);
  CPoint ptInside(rcInside.left + 10, rcInside.top + 2), ptBelow(rcClient.left + 10, rcClient.bottom + 20);
  p->ClientToScreen(&ptInside);
  p->ClientToScreen(&ptBelow);
  ScrollScript::s_ptInside = ptInside;
  ScrollScript::s_ptBelow = ptBelow;
  ScrollScript::s_hList = p->m_hWnd;
  ScrollScript::s_nStep = 0;
  ScrollScript::s_tops.clear();
  g_dwNow = 0;
  SECListBoxDragWnd::m_pfnTickCount = ScriptTicks;
  ::SetTimer(NULL, 0, 80, ScrollScript::Step);
  ::SendMessageA(p->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rcFrom.left + 5, rcFrom.top + 2));
  SECListBoxDragWnd::m_pfnTickCount = ::GetTickCount;
  EXPECT_EQ(ScrollScript::s_tops, (std::vector<int>{ 0, 0, 1 }));
  EXPECT_EQ(::GetCapture(), nullptr);
}

} // namespace

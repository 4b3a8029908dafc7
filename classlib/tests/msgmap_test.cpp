// Message maps: chaining to the base class, command routing, notifications,
// reflection to subclassed controls and update-command UI.
#include <gtest/gtest.h>
#include "afxwin.h"
#include "afxcmn.h"
#include "test_dialogs.h"
#include <dbt.h>
#include <string>

namespace {

std::string g_log;

const UINT WM_BOTH = WM_APP + 1;   // handled by base and derived
const UINT WM_BASE = WM_APP + 2;   // handled by the base only
const UINT g_nRegistered = ::RegisterWindowMessageA("VglMsgMapTest");

class CBaseWnd : public CWnd {
public:
  afx_msg LRESULT OnBoth(WPARAM w, LPARAM) { g_log += "base-both" + std::to_string(w) + ";"; return 1; }
  afx_msg LRESULT OnBase(WPARAM, LPARAM) { g_log += "base-only;"; return 2; }
  afx_msg void OnTimer(UINT_PTR nID) { g_log += "timer" + std::to_string(nID) + ";"; }
  afx_msg void OnSize(UINT, int cx, int cy) { g_log += "size" + std::to_string(cx) + "x" + std::to_string(cy) + ";"; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
  ON_MESSAGE(WM_BOTH, OnBoth)
  ON_MESSAGE(WM_BASE, OnBase)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
public:
  afx_msg LRESULT OnBoth(WPARAM w, LPARAM l) {
    g_log += "derived-both;";
    return 10 + CBaseWnd::OnBoth(w, l);
  }
  afx_msg LRESULT OnRegistered(WPARAM, LPARAM l) { g_log += "registered" + std::to_string(l) + ";"; return 5; }
  afx_msg int OnCreate(LPCREATESTRUCT cs) {
    g_log += std::string("create:") + cs->lpszName + ";";
    return CWnd::OnCreate(cs);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
  ON_WM_CREATE()
  ON_MESSAGE(WM_BOTH, OnBoth)
  ON_REGISTERED_MESSAGE(g_nRegistered, OnRegistered)
END_MESSAGE_MAP()

TEST(MessageMap, DerivedMapChainsToBase) {
  g_log.clear();
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), "probe", WS_POPUP, 0, 0, 50, 50, NULL, NULL));
  EXPECT_EQ(g_log, "create:probe;");   // WM_CREATE reached the object
  EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);

  struct Case { UINT msg; WPARAM w; LPARAM l; LRESULT result; const char* log; };
  const Case cases[] = {
    { WM_BOTH, 3, 0, 11, "derived-both;base-both3;" },
    { WM_BASE, 0, 0, 2, "base-only;" },
    { g_nRegistered, 0, 9, 5, "registered9;" },
    { WM_TIMER, 4, 0, 0, "timer4;" },
    { WM_APP + 9, 0, 0, 0, "" },          // no entry: default processing
  };
  for (const Case& c : cases) {
    g_log.clear();
    EXPECT_EQ(wnd.SendMessage(c.msg, c.w, c.l), c.result) << c.log;
    EXPECT_EQ(g_log, c.log);
  }
  HWND h = wnd.m_hWnd;
  wnd.DestroyWindow();
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

// Commands: the dialog's own map, then its owner, then the thread (the application). Only
// command ids (0x8000 and above) go past the dialog.
const UINT ID_CMD_DIALOG = 0x8101, ID_CMD_OWNER = 0x8102, ID_CMD_APP = 0x8103, ID_CMD_NONE = 0x8104;
const UINT IDC_PUSH = 1001, IDC_TREE = 1002, IDC_OTHER = 1003;

class CRoutingApp : public CWinApp {
public:
  afx_msg void OnAppCmd() { g_log += "app;"; }
  afx_msg void OnUpdateAppCmd(CCmdUI* p) { p->Enable(FALSE); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CRoutingApp, CWinApp)
  ON_COMMAND(ID_CMD_APP, OnAppCmd)
  ON_UPDATE_COMMAND_UI(ID_CMD_APP, OnUpdateAppCmd)
END_MESSAGE_MAP()

class COwnerWnd : public CWnd {
public:
  afx_msg void OnOwnerCmd() { g_log += "owner;"; }
  afx_msg void OnDialogCmd() { g_log += "owner-shadowed;"; }
  afx_msg void OnOwnControl() { g_log += "owner-control;"; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(COwnerWnd, CWnd)
  ON_COMMAND(ID_CMD_OWNER, OnOwnerCmd)
  ON_COMMAND(ID_CMD_DIALOG, OnDialogCmd)
  ON_COMMAND(IDC_OTHER, OnOwnControl)
END_MESSAGE_MAP()

class CRoutingDlg : public CDialog {
public:
  afx_msg void OnDialogCmd() { g_log += "dialog;"; }
  afx_msg void OnPush() { g_log += "clicked;"; }
  afx_msg void OnTreeSel(NMHDR* p, LRESULT* pResult) { g_log += "notify" + std::to_string(p->idFrom) + ";"; *pResult = 3; }
  afx_msg BOOL OnAnyTip(UINT id, NMHDR*, LRESULT* pResult) { g_log += "range" + std::to_string(id) + ";"; *pResult = 4; return TRUE; }
  afx_msg void OnUpdatePush(CCmdUI* p) { p->Enable(m_bPushEnabled); }
  BOOL m_bPushEnabled = TRUE;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CRoutingDlg, CDialog)
  ON_COMMAND(ID_CMD_DIALOG, OnDialogCmd)
  ON_BN_CLICKED(IDC_PUSH, OnPush)
  ON_UPDATE_COMMAND_UI(IDC_PUSH, OnUpdatePush)
  ON_NOTIFY(TVN_SELCHANGEDA, IDC_TREE, OnTreeSel)
  ON_NOTIFY_EX_RANGE(NM_RCLICK, 2000, 2999, OnAnyTip)
END_MESSAGE_MAP()

TEST(MessageMap, CommandsRouteThroughDialogOwnerAndApplication) {
  CRoutingApp app;
  COwnerWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP, 0, 0, 50, 50, NULL, NULL));
  DlgTemplate t(WS_POPUP | WS_CAPTION, 100, 60, "routing");
  t.Add(kButton, IDC_PUSH, BS_PUSHBUTTON, 5, 5, 40, 14, "Push").Add(kButton, IDC_OTHER, BS_PUSHBUTTON, 50, 5, 40, 14, "Other");
  CRoutingDlg dlg;
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), &owner));

  struct Case { WPARAM wParam; bool fromButton; const char* log; };
  const Case cases[] = {
    { ID_CMD_DIALOG, false, "dialog;" },     // the dialog shadows the owner
    { ID_CMD_OWNER, false, "owner;" },
    { ID_CMD_APP, false, "app;" },
    { ID_CMD_NONE, false, "" },
    { MAKEWPARAM(IDC_PUSH, BN_CLICKED), true, "clicked;" },
    { MAKEWPARAM(IDC_PUSH, BN_SETFOCUS), true, "" },   // other notification codes do not match
    // A click of the dialog's own button is no command of the owner's with that number.
    { MAKEWPARAM(IDC_OTHER, BN_CLICKED), true, "" },
  };
  for (const Case& c : cases) {
    g_log.clear();
    LPARAM l = c.fromButton ? (LPARAM)::GetDlgItem(dlg.m_hWnd, LOWORD(c.wParam)) : 0;
    dlg.SendMessage(WM_COMMAND, c.wParam, l);
    EXPECT_EQ(g_log, c.log) << c.wParam;
  }

  // WM_NOTIFY by id and code, and by range.
  struct NCase { UINT id; UINT code; LRESULT result; const char* log; };
  const NCase ncases[] = {
    { IDC_TREE, (UINT)TVN_SELCHANGEDA, 3, "notify1002;" },
    { IDC_TREE, (UINT)NM_CLICK, 0, "" },
    { 2500, (UINT)NM_RCLICK, 4, "range2500;" },
    { 3000, (UINT)NM_RCLICK, 0, "" },
  };
  for (const NCase& c : ncases) {
    g_log.clear();
    HWND hCtl = ::CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 1, 1, dlg.m_hWnd, (HMENU)(UINT_PTR)c.id, NULL, NULL);
    NMHDR nm = { hCtl, c.id, c.code };
    EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, c.id, (LPARAM)&nm), c.result);
    EXPECT_EQ(g_log, c.log);
    ::DestroyWindow(hCtl);
  }

  // Update UI: a handler decides; without one, controls are disabled on request.
  dlg.m_bPushEnabled = FALSE;
  dlg.UpdateDialogControls(&dlg, TRUE);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_PUSH)));
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_OTHER)));   // no handler of the dialog
  dlg.m_bPushEnabled = TRUE;
  dlg.UpdateDialogControls(&dlg, FALSE);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_PUSH)));

  // The application's update handler answers for its command.
  CCmdUI state;
  state.m_nID = ID_CMD_APP;
  CButton probe;
  ASSERT_TRUE(probe.Create("probe", WS_CHILD | BS_PUSHBUTTON, CRect(0, 0, 10, 10), &dlg, ID_CMD_APP));
  state.m_pOther = &probe;
  EXPECT_TRUE(state.DoUpdate(&dlg, FALSE));
  EXPECT_FALSE(probe.IsWindowEnabled());
  probe.DestroyWindow();
  dlg.DestroyWindow();
  owner.DestroyWindow();
}

// Reflection: a subclassed control handles its own notifications first.
class CReflectButton : public CButton {
public:
  int m_nDraws = 0;
  BOOL m_bPassOn = FALSE;
  void DrawItem(LPDRAWITEMSTRUCT) override { m_nDraws++; }
  afx_msg BOOL OnReflectedClick(NMHDR*, LRESULT* pResult) { g_log += "reflected;"; *pResult = 7; return !m_bPassOn; }
  afx_msg void OnReflectedCommand() { g_log += "reflected-cmd;"; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CReflectButton, CButton)
  ON_NOTIFY_REFLECT_EX(NM_CLICK, OnReflectedClick)
  ON_CONTROL_REFLECT(BN_DOUBLECLICKED, OnReflectedCommand)
END_MESSAGE_MAP()

class CParentDlg : public CDialog {
public:
  afx_msg void OnClick(NMHDR*, LRESULT* pResult) { g_log += "parent;"; *pResult = 8; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CParentDlg, CDialog)
  ON_NOTIFY(NM_CLICK, IDC_PUSH, OnClick)
END_MESSAGE_MAP()

TEST(MessageMap, NotificationsAndDrawingReflectToSubclassedControls) {
  DlgTemplate t(WS_POPUP | WS_CAPTION, 100, 60, "reflect");
  t.Add(kButton, IDC_PUSH, BS_OWNERDRAW, 5, 5, 40, 14, "Owner");
  CParentDlg dlg;
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));
  CReflectButton btn;
  ASSERT_TRUE(btn.SubclassDlgItem(IDC_PUSH, &dlg));
  EXPECT_EQ(CWnd::FromHandle(btn.m_hWnd), &btn);

  NMHDR nm = { btn.m_hWnd, IDC_PUSH, (UINT)NM_CLICK };
  g_log.clear();
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_PUSH, (LPARAM)&nm), 7);
  EXPECT_EQ(g_log, "reflected;");
  btn.m_bPassOn = TRUE;   // the _EX handler may pass the notification on
  g_log.clear();
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_PUSH, (LPARAM)&nm), 8);
  EXPECT_EQ(g_log, "reflected;parent;");

  g_log.clear();
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PUSH, BN_DOUBLECLICKED), (LPARAM)btn.m_hWnd);
  EXPECT_EQ(g_log, "reflected-cmd;");

  DRAWITEMSTRUCT dis = {};
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = IDC_PUSH;
  dis.hwndItem = btn.m_hWnd;
  dis.hDC = ::GetDC(btn.m_hWnd);
  int nBefore = btn.m_nDraws;
  EXPECT_EQ(dlg.SendMessage(WM_DRAWITEM, IDC_PUSH, (LPARAM)&dis), TRUE);
  EXPECT_EQ(btn.m_nDraws, nBefore + 1);
  ::ReleaseDC(btn.m_hWnd, dis.hDC);

  HWND hBtn = btn.UnsubclassWindow();
  EXPECT_EQ(CWnd::FromHandlePermanent(hBtn), nullptr);
  dlg.DestroyWindow();
}

// Pointer-sized message parameters and results arrive whole: timer ids, device-change data,
// a brush from a colour handler, a handler's result and list item data.
#ifdef _WIN64
const UINT_PTR kWide = 0x0000123487654321ull;   // a value that needs more than 32 bits
#else
const UINT_PTR kWide = 0x87654321u;
#endif
const UINT WM_WIDE = WM_APP + 3;
const UINT IDC_LIST = 1004, IDC_COMBO = 1005;

class CWideDlg : public CDialog {
public:
  UINT_PTR m_nTimer = 0;
  DWORD_PTR m_dwDeviceData = 0;
  afx_msg void OnTimer(UINT_PTR nID) { m_nTimer = nID; }
  afx_msg BOOL OnDeviceChange(UINT, DWORD_PTR dwData) { m_dwDeviceData = dwData; return TRUE; }
  afx_msg HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return (HBRUSH)kWide; }
  afx_msg LRESULT OnWide(WPARAM wParam, LPARAM) { return (LRESULT)wParam; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CWideDlg, CDialog)
  ON_WM_TIMER()
  ON_WM_DEVICECHANGE()
  ON_WM_CTLCOLOR()
  ON_MESSAGE(WM_WIDE, OnWide)
END_MESSAGE_MAP()

TEST(MessageMap, PointerSizedParametersAndResultsArriveWhole) {
  DlgTemplate t(WS_POPUP | WS_CAPTION, 120, 80, "wide");
  t.Add(kListBox, IDC_LIST, LBS_NOTIFY, 5, 5, 50, 40).Add(kComboBox, IDC_COMBO, CBS_DROPDOWNLIST, 60, 5, 50, 60);
  CWideDlg dlg;
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));

  dlg.SendMessage(WM_TIMER, kWide, 0);
  EXPECT_EQ(dlg.m_nTimer, kWide);
  EXPECT_EQ(dlg.SendMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)kWide), TRUE);
  EXPECT_EQ(dlg.m_dwDeviceData, kWide);
  EXPECT_EQ((UINT_PTR)dlg.SendMessage(WM_CTLCOLORSTATIC, 0, 0), kWide);
  EXPECT_EQ((UINT_PTR)dlg.SendMessage(WM_WIDE, kWide, 0), kWide);

  CListBox list;
  CComboBox combo;
  ASSERT_TRUE(list.SubclassDlgItem(IDC_LIST, &dlg));
  ASSERT_TRUE(combo.SubclassDlgItem(IDC_COMBO, &dlg));
  ASSERT_EQ(list.AddString("one"), 0);
  ASSERT_EQ(combo.AddString("one"), 0);
  list.SetItemData(0, kWide);
  combo.SetItemData(0, kWide);
  EXPECT_EQ(list.GetItemData(0), kWide);
  EXPECT_EQ(combo.GetItemData(0), kWide);
  EXPECT_EQ(list.GetItemDataPtr(0), (void*)kWide);
  dlg.DestroyWindow();
}

} // namespace

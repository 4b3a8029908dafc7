// Dialogs: the modal loop (owner disabled, shown on first idle, timers, nested
// dialogs, WM_QUIT), message pre-translation, modeless dialogs and initial data.
#include <gtest/gtest.h>
#include "afxwin.h"
#include "test_dialogs.h"
#include <string>
#include <vector>

namespace {

// A modal dialog that runs a script of timer steps.
class CScriptDlg : public CDialog {
public:
  std::vector<std::string>* m_pLog = nullptr;
  int m_nEndWith = 1;
  int m_nInnerResult = 0;
  BOOL m_bNested = FALSE;
  BOOL m_bEndInInit = FALSE;
  BOOL m_bOwnerEnabledSeen = TRUE;
  BOOL m_bVisibleSeen = FALSE;
  HWND m_hOwner = NULL;
  LPCDLGTEMPLATE m_pInnerTemplate = nullptr;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (m_bEndInInit) {
      EndDialog(m_nEndWith);
      return TRUE;
    }
    SetTimer(1, 50, NULL);
    return TRUE;
  }
  afx_msg void OnTimer(UINT_PTR nID) {
    KillTimer(nID);
    m_bVisibleSeen = IsWindowVisible();
    if (m_hOwner)
      m_bOwnerEnabledSeen = ::IsWindowEnabled(m_hOwner);
    if (m_bNested) {
      CScriptDlg inner;
      inner.m_nEndWith = 7;
      inner.m_hOwner = m_hWnd;
      inner.InitModalIndirect(m_pInnerTemplate, this);
      m_nInnerResult = (int)inner.DoModal();
      m_bOwnerEnabledSeen = inner.m_bOwnerEnabledSeen;
      if (m_pLog)
        m_pLog->push_back("inner-ended");
    }
    if (m_pLog)
      m_pLog->push_back("end");
    EndDialog(m_nEndWith);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CScriptDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(Dialog, ModalLoopEndsFromTimerWithOwnerDisabledMeanwhile) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, NULL, NULL));
  // Without WS_VISIBLE the loop shows the dialog when it first idles.
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU, 120, 60, "modal");
  CScriptDlg dlg;
  dlg.m_nEndWith = 42;
  dlg.m_hOwner = owner.m_hWnd;
  dlg.InitModalIndirect(t.Get(), &owner);
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_FALSE(dlg.m_bOwnerEnabledSeen);
  EXPECT_TRUE(dlg.m_bVisibleSeen);
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  owner.DestroyWindow();
}

TEST(Dialog, NestedModalLoopsEndInOrder) {
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 60, "outer");
  DlgTemplate ti(WS_POPUP | WS_CAPTION | WS_VISIBLE, 80, 40, "inner");
  std::vector<std::string> log;
  CScriptDlg outer;
  outer.m_pLog = &log;
  outer.m_bNested = TRUE;
  outer.m_nEndWith = 8;
  outer.m_pInnerTemplate = ti.Get();
  outer.InitModalIndirect(t.Get(), NULL);
  EXPECT_EQ(outer.DoModal(), 8);
  EXPECT_EQ(outer.m_nInnerResult, 7);
  EXPECT_FALSE(outer.m_bOwnerEnabledSeen);   // the outer dialog was disabled under the inner one
  EXPECT_EQ(log, (std::vector<std::string>{ "inner-ended", "end" }));
}

TEST(Dialog, EndDialogDuringInitSkipsTheLoop) {
  DlgTemplate t(WS_POPUP | WS_CAPTION, 120, 60, "quick");
  CScriptDlg dlg;
  dlg.m_bEndInInit = TRUE;
  dlg.m_nEndWith = IDCANCEL;
  dlg.InitModalIndirect(t.Get(), NULL);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST(Dialog, QuitMessageEndsTheLoopAndIsPostedAgain) {
  class CQuitDlg : public CDialog {
  public:
    BOOL OnInitDialog() override {
      ::PostQuitMessage(3);
      return TRUE;
    }
  };
  DlgTemplate t(WS_POPUP | WS_CAPTION, 120, 60, "quit");
  CQuitDlg dlg;
  dlg.InitModalIndirect(t.Get(), NULL);
  EXPECT_EQ(dlg.DoModal(), -1);
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
}

// Keys go first to the application's PreTranslateMessage, then up the window chain.
std::vector<std::string> g_order;

class COrderApp : public CWinApp {
public:
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN)
      g_order.push_back("app");
    return CWinApp::PreTranslateMessage(pMsg);
  }
};

class CEditProbe : public CEdit {
public:
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN)
      g_order.push_back("edit");
    return FALSE;
  }
};

class COrderDlg : public CDialog {
public:
  CEditProbe m_edit;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_edit.SubclassDlgItem(100, this);
    ::PostMessageA(m_edit.m_hWnd, WM_KEYDOWN, 'A', 0);
    SetTimer(1, 100, NULL);
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN)
      g_order.push_back("dialog");
    return CDialog::PreTranslateMessage(pMsg);
  }
  afx_msg void OnTimer(UINT_PTR) { EndDialog(IDOK); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(COrderDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(Dialog, PreTranslateRunsFromApplicationUpTheWindowChain) {
  COrderApp app;
  g_order.clear();
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 60, "keys");
  t.Add(kEdit, 100, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 5, 80, 12);
  COrderDlg dlg;
  dlg.InitModalIndirect(t.Get(), NULL);
  app.m_pMainWnd = &dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  app.m_pMainWnd = NULL;
  EXPECT_EQ(g_order, (std::vector<std::string>{ "app", "edit", "dialog" }));
}

TEST(Dialog, ModelessDialogDeletesItselfAfterDestruction) {
  static int s_nDeleted = 0;
  class CSelfDeleting : public CDialog {
  public:
    void PostNcDestroy() override {
      s_nDeleted++;
      delete this;
    }
  };
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 60, "modeless");
  CSelfDeleting* p = new CSelfDeleting;
  ASSERT_TRUE(p->CreateIndirect(t.Get(), NULL));
  HWND h = p->m_hWnd;
  EXPECT_TRUE(::IsWindowVisible(h));
  ::DestroyWindow(h);
  EXPECT_EQ(s_nDeleted, 1);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

TEST(Dialog, InitialDataFillsComboAndListBoxes) {
  DlgTemplate t(WS_POPUP | WS_CAPTION, 120, 80, "init");
  t.Add(kComboBox, 200, CBS_DROPDOWNLIST | WS_VSCROLL, 5, 5, 80, 60)
   .Add(kListBox, 201, WS_BORDER, 5, 25, 80, 40);
  CDialog dlg;
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));
  // Records: id, message (16-bit add-string codes as resource compilers write them), length, text.
  std::vector<BYTE> data;
  auto rec = [&](WORD id, WORD msg, const char* text) {
    DWORD n = (DWORD)strlen(text) + 1;
    data.insert(data.end(), { LOBYTE(id), HIBYTE(id), LOBYTE(msg), HIBYTE(msg),
                              (BYTE)n, (BYTE)(n >> 8), (BYTE)(n >> 16), (BYTE)(n >> 24) });
    data.insert(data.end(), text, text + n);
  };
  rec(200, 0x0403, "Daily");
  rec(200, 0x0403, "Weekly");
  rec(201, 0x0401, "One");
  data.push_back(0);
  data.push_back(0);
  EXPECT_TRUE(dlg.ExecuteDlgInit(data.data()));
  CComboBox* pCombo = (CComboBox*)dlg.GetDlgItem(200);
  ASSERT_EQ(pCombo->GetCount(), 2);
  CString s;
  pCombo->GetLBText(1, s);
  EXPECT_STREQ(s, "Weekly");
  EXPECT_EQ(((CListBox*)dlg.GetDlgItem(201))->GetCount(), 1);
  dlg.DestroyWindow();
}

} // namespace

namespace {

// A dialog-based application: InitInstance runs the main dialog and returns FALSE.
class CDialogApp : public CWinApp {
public:
  int m_nQuitCode = -1;   // -1: end the dialog normally
  int m_nExitCalls = 0;
  INT_PTR m_nDialogResult = 0;
  BOOL InitInstance() override {
    DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 60, "main");
    CScriptDlg dlg;
    dlg.m_nEndWith = IDOK;
    if (m_nQuitCode >= 0)
      ::PostQuitMessage(m_nQuitCode);   // ends the main dialog's loop at once
    dlg.InitModalIndirect(t.Get(), NULL);
    m_pMainWnd = &dlg;
    m_nDialogResult = dlg.DoModal();
    m_pMainWnd = NULL;
    return FALSE;
  }
  int ExitInstance() override {
    m_nExitCalls++;
    return CWinApp::ExitInstance();
  }
};

TEST(Application, ExitInstanceRunsAfterAFailedInitInstanceWithTheQuitCode) {
  struct Case { int nQuit; INT_PTR nDialog; int nExit; };
  for (Case c : { Case{ -1, IDOK, 0 }, Case{ 5, -1, 5 } }) {
    CDialogApp app;
    app.m_nQuitCode = c.nQuit;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxWinMain(::GetModuleHandleA(NULL), NULL, (LPSTR)"", SW_SHOWNORMAL), c.nExit);
    EXPECT_EQ(app.m_nExitCalls, 1);
    EXPECT_EQ(app.m_nDialogResult, c.nDialog);
    char szExe[MAX_PATH];
    ::GetModuleFileNameA(NULL, szExe, MAX_PATH);
    std::string strName = strrchr(szExe, '\\') + 1;
    strName.resize(strName.rfind('.'));
    EXPECT_EQ(std::string(app.m_pszAppName), strName);   // the program's name captions message boxes
    MSG msg;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
      ;
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

} // namespace

// The window layer's help, the modal loop's exceptions, system-colour brushes, the Z-order
// places of SetWindowPos and the resource exception.
#include <gtest/gtest.h>
#include "afxwin.h"
#include "test_dialogs.h"
#include "WindowTree.h"
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---- help

class CHelpRecorder : public CWinApp {
public:
  std::vector<std::pair<DWORD_PTR, UINT>> m_calls;
  void WinHelp(DWORD_PTR dwData, UINT nCmd) override { m_calls.push_back({ dwData, nCmd }); }
};

TEST(Help, HelpFileIsTheProgramsPathWithHlp) {
  CWinApp app;
  ASSERT_TRUE(AfxWinInit(::GetModuleHandleA(NULL), NULL, (LPSTR)"", SW_SHOWNORMAL));
  char szExe[MAX_PATH];
  ::GetModuleFileNameA(NULL, szExe, MAX_PATH);
  std::string strExpected = szExe;
  strExpected = strExpected.substr(0, strExpected.rfind('.')) + ".HLP";
  ASSERT_NE(app.m_pszHelpFilePath, nullptr);
  EXPECT_EQ(std::string(app.m_pszHelpFilePath), strExpected);
}

TEST(Help, IdHelpAsksTheActiveWindowForItsTopicElseShowsTheContents) {
  CHelpRecorder app;
  // No window of ours is active: the help file's contents.
  EXPECT_TRUE(app.OnCmdMsg(ID_HELP, CN_COMMAND, NULL, NULL));
  ASSERT_EQ(app.m_calls.size(), 1u);
  EXPECT_EQ(app.m_calls[0], (std::pair<DWORD_PTR, UINT>{ 0, HELP_CONTENTS }));

  // An active dialog with a help id gives its own topic.
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 40, "help");
  CDialog dlg;
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));
  dlg.m_nIDHelp = 43;
  dlg.SetActiveWindow();
  app.m_calls.clear();
  EXPECT_TRUE(app.OnCmdMsg(ID_HELP, CN_COMMAND, NULL, NULL));
  ASSERT_EQ(app.m_calls.size(), 1u);
  EXPECT_EQ(app.m_calls[0], (std::pair<DWORD_PTR, UINT>{ 0x20000 + 43, HELP_CONTEXT }));
  // The dialog's own Help command does the same.
  app.m_calls.clear();
  dlg.SendMessage(WM_COMMAND, ID_HELP);
  ASSERT_EQ(app.m_calls.size(), 1u);
  EXPECT_EQ(app.m_calls[0].first, (DWORD_PTR)(0x20000 + 43));
  dlg.DestroyWindow();
}

// Finds the help program's message box, keeps its window tree and answers No.
struct SHelpBoxWatcher {
  std::string strFile;
  std::vector<SWindowInfo> tree;
  static BOOL CALLBACK Find(HWND hWnd, LPARAM lParam) {
    SHelpBoxWatcher* p = (SHelpBoxWatcher*)lParam;
    std::vector<SWindowInfo> tree = WindowTree(hWnd);
    if (tree[0].fVisible && tree[0].strClass == "#32770")
      for (const std::string& str : VisibleTexts(tree, "Static"))
        if (str.find(p->strFile) != std::string::npos) {
          p->tree = tree;
          ::PostMessageA(hWnd, WM_COMMAND, IDNO, 0);
          return FALSE;
        }
    return TRUE;
  }
  static DWORD WINAPI Run(LPVOID pv) {
    SHelpBoxWatcher* p = (SHelpBoxWatcher*)pv;
    for (int i = 0; i < 200 && p->tree.empty(); i++) {
      ::EnumWindows(Find, (LPARAM)p);
      ::Sleep(100);
    }
    return 0;
  }
};

TEST(Help, AMissingHelpFileGivesTheSystemsOwnMessage) {
  CWinApp app;
  const char* pszFile = "C:\\nowhere\\Ksxwin97.HLP";
  app.m_pszHelpFilePath = pszFile;
  SHelpBoxWatcher watcher;
  watcher.strFile = pszFile;
  HANDLE hThread = ::CreateThread(NULL, 0, SHelpBoxWatcher::Run, &watcher, 0, NULL);
  app.WinHelp(43, HELP_CONTEXT);
  ::WaitForSingleObject(hThread, 30000);
  ::CloseHandle(hThread);
  ASSERT_FALSE(watcher.tree.empty()) << "no message of the help program about " << pszFile;
  EXPECT_NE(watcher.tree[0].hWnd, nullptr);
  // The help program ends.
  app.WinHelp(0, HELP_QUIT);
  for (int i = 0; i < 50 && ::FindWindowA("MS_WINHELP", NULL); i++)
    ::Sleep(100);
  EXPECT_EQ(::FindWindowA("MS_WINHELP", NULL), nullptr);
}

// ---- the modal loop and exceptions

int g_nLiveExceptions = 0;

class CCountedException : public CException {
public:
  CCountedException() { g_nLiveExceptions++; }
  ~CCountedException() override { g_nLiveExceptions--; }
};

class CThrowingApp : public CWinApp {
public:
  int m_nKind = 0;   // 0 nothing, 1 a class-library exception, 2 another exception
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_APP + 1) {
      if (m_nKind == 1)
        throw new CCountedException;
      if (m_nKind == 2)
        throw std::runtime_error("not the dialog's");
    }
    return CWinApp::PreTranslateMessage(pMsg);
  }
};

class CPostingDlg : public CDialog {
public:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    PostMessage(WM_APP + 1);
    return TRUE;
  }
};

TEST(Dialog, ModalLoopDeletesClassLibraryExceptionsAndPassesOthersOn) {
  CThrowingApp app;
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL));
  DlgTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 40, "modal");

  app.m_nKind = 1;
  CPostingDlg dlg1;
  dlg1.InitModalIndirect(t.Get(), &owner);
  EXPECT_EQ(dlg1.DoModal(), -1);
  EXPECT_EQ(g_nLiveExceptions, 0);     // deleted, not leaked
  EXPECT_EQ(dlg1.m_hWnd, nullptr);
  EXPECT_TRUE(owner.IsWindowEnabled());

  app.m_nKind = 2;
  CPostingDlg dlg2;
  dlg2.InitModalIndirect(t.Get(), &owner);
  bool fPassedOn = false;
  try {
    dlg2.DoModal();
  } catch (const std::runtime_error&) {
    fPassedOn = true;
  }
  EXPECT_TRUE(fPassedOn);
  // The dialog is gone and its owner usable again all the same.
  EXPECT_EQ(dlg2.m_hWnd, nullptr);
  EXPECT_TRUE(owner.IsWindowEnabled());
  owner.DestroyWindow();
}

// ---- GDI and window positions

TEST(Brush, SystemColourBrushIsTheObjectsOwn) {
  HBRUSH hShared = ::GetSysColorBrush(COLOR_BTNFACE);
  {
    CBrush brush;
    ASSERT_TRUE(brush.CreateSysColorBrush(COLOR_BTNFACE));
    EXPECT_NE((HBRUSH)brush.m_hObject, hShared);
    LOGBRUSH lb;
    ASSERT_TRUE(::GetObjectA(brush.m_hObject, sizeof(lb), &lb));
    EXPECT_EQ(lb.lbColor, ::GetSysColor(COLOR_BTNFACE));
  }
  // The shared brush is still alive after the object deleted its own.
  LOGBRUSH lb;
  EXPECT_TRUE(::GetObjectA(hShared, sizeof(lb), &lb));
  EXPECT_EQ(lb.lbColor, ::GetSysColor(COLOR_BTNFACE));
}

TEST(Window, ZOrderPlacesAreSafeEitherWay) {
  CWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), "z", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL));
  const UINT nFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  auto topmost = [&]() { return (wnd.GetExStyle() & WS_EX_TOPMOST) != 0; };
  EXPECT_TRUE(wnd.SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, nFlags));
  EXPECT_TRUE(topmost());
  EXPECT_TRUE(wnd.SetWindowPos(&CWnd::wndNoTopMost, 0, 0, 0, 0, nFlags));
  EXPECT_FALSE(topmost());
  // The special handles themselves, as older code passes them.
  EXPECT_TRUE(wnd.SetWindowPos((const CWnd*)HWND_TOPMOST, 0, 0, 0, 0, nFlags));
  EXPECT_TRUE(topmost());
  EXPECT_TRUE(wnd.SetWindowPos((const CWnd*)HWND_NOTOPMOST, 0, 0, 0, 0, nFlags));
  EXPECT_FALSE(topmost());
  EXPECT_TRUE(wnd.SetWindowPos((const CWnd*)HWND_BOTTOM, 0, 0, 0, 0, nFlags));
  EXPECT_TRUE(wnd.SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, nFlags));
  wnd.DestroyWindow();
}

TEST(ResourceException, IsAClassLibraryExceptionWithItsMessage) {
  bool fCaught = false;
  try {
    AfxThrowResourceException();
  } catch (CException* e) {
    fCaught = e->IsKindOf(RUNTIME_CLASS(CResourceException));
    char sz[128] = "";
    e->GetErrorMessage(sz, sizeof(sz));
    EXPECT_STREQ(sz, "A required resource was unavailable.");
    e->Delete();
  }
  EXPECT_TRUE(fCaught);
}

} // namespace

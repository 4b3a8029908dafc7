// The application object, its start-up and message boxes.
#include <winsock.h>
#include "afxwin.h"
#include <ole2.h>
#include <stdlib.h>
#include <inttypes.h>
#include <stdio.h>

extern CWinApp* g_vglApp;

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
  ON_COMMAND(ID_HELP, OnHelp)
  ON_COMMAND(ID_DEFAULT_HELP, OnHelpIndex)
END_MESSAGE_MAP()

namespace {
char g_szAppName[MAX_PATH];
char g_szExeName[MAX_PATH];
char g_szHelpFilePath[MAX_PATH];
}

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(NULL), m_hPrevInstance(NULL), m_lpCmdLine(NULL),
      m_nCmdShow(SW_SHOWNORMAL), m_pszExeName(NULL), m_pszHelpFilePath(NULL),
      m_pszProfileName(NULL), m_pszRegistryKey(NULL), m_nWaitCursorCount(0),
      m_hcurWaitCursorRestore(NULL) {
  g_vglApp = this;
  m_hThread = NULL;
  m_nThreadID = ::GetCurrentThreadId();
  m_bAutoDelete = FALSE;
}

CWinApp::~CWinApp() {
  if (g_vglApp == this)
    g_vglApp = NULL;
}

BOOL CWinApp::InitApplication() { return TRUE; }
BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return CWinThread::ExitInstance(); }

int CWinApp::Run() {
  if (m_pMainWnd == NULL)
    ::PostQuitMessage(0);
  return CWinThread::Run();
}

BOOL CWinApp::OnIdle(LONG lCount) { return CWinThread::OnIdle(lCount); }

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) { return CWinThread::PreTranslateMessage(pMsg); }

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT) {
  // Owner: the active window of this thread, else the main window.
  HWND hOwner = ::GetActiveWindow();
  if (!hOwner) {
    CWnd* pMain = GetMainWnd();
    hOwner = pMain->GetSafeHwnd();
    if (hOwner && !::IsWindowVisible(hOwner))
      hOwner = NULL;
  }
  if ((nType & MB_ICONMASK) == 0) {
    switch (nType & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
      nType |= MB_ICONEXCLAMATION;
      break;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      nType |= MB_ICONQUESTION;
      break;
    }
  }
  return ::MessageBoxA(hOwner, lpszPrompt, AfxGetAppName(), nType);
}

// The system's help for the program's help file: its own window shows the topic, or
// its own message when the file is missing.
void CWinApp::WinHelp(DWORD_PTR dwData, UINT nCmd) {
  CWnd* pMain = GetMainWnd();
  HWND hWnd = pMain ? pMain->GetSafeHwnd() : NULL;
  if (hWnd) {
    CWnd* pTop = CWnd::FromHandle(hWnd)->GetTopLevelParent();
    hWnd = pTop ? pTop->m_hWnd : hWnd;
  }
  BOOL fRunning = ::FindWindowA("MS_WINHELP", NULL) != NULL;
  BOOL fDone = ::WinHelpA(hWnd, m_pszHelpFilePath, nCmd, dwData);
  if (!fDone && !fRunning && nCmd != HELP_QUIT) {
    // The help program was started but its window came up too late for the request
    // (some systems do not wait for it): wait for the window and ask once more.
    for (int i = 0; i < 50 && !::FindWindowA("MS_WINHELP", NULL); i++)
      ::Sleep(100);
    fDone = ::WinHelpA(hWnd, m_pszHelpFilePath, nCmd, dwData);
  }
  if (!fDone) {
    char sz[MAX_PATH + 64];
    snprintf(sz, sizeof(sz), "WinHelp(%s, %u, %" PRIuPTR ") failed (%lu)\r\n",
             m_pszHelpFilePath ? m_pszHelpFilePath : "", nCmd, (UINT_PTR)dwData, ::GetLastError());
    ::OutputDebugStringA(sz);
  }
}

// ID_HELP: the active window, or one of its parents, may answer with its own topic
// (WM_COMMANDHELP); otherwise the help file's contents.
void CWinApp::OnHelp() {
  for (HWND h = ::GetActiveWindow(); h != NULL; h = ::GetParent(h))
    if (::SendMessageA(h, 0x0365 /* WM_COMMANDHELP */, 0, 0))
      return;
  OnHelpIndex();
}

void CWinApp::OnHelpIndex() { WinHelp(0, HELP_CONTENTS); }

void CWinApp::SetRegistryKey(LPCTSTR lpszRegistryKey) { m_pszRegistryKey = lpszRegistryKey; }

HICON CWinApp::LoadIcon(LPCTSTR lpszResourceName) const {
  return ::LoadIconA(AfxFindResourceHandle(lpszResourceName, (LPCTSTR)RT_GROUP_ICON), lpszResourceName);
}
HICON CWinApp::LoadIcon(UINT nIDResource) const { return LoadIcon(MAKEINTRESOURCEA(nIDResource)); }
HCURSOR CWinApp::LoadCursor(UINT nIDResource) const {
  LPCTSTR lpsz = MAKEINTRESOURCEA(nIDResource);
  return ::LoadCursorA(AfxFindResourceHandle(lpsz, (LPCTSTR)RT_GROUP_CURSOR), lpsz);
}

void CWinApp::DoWaitCursor(int nCode) {
  m_nWaitCursorCount += nCode;
  if (m_nWaitCursorCount > 0) {
    HCURSOR hcurPrev = ::SetCursor(::LoadCursorA(NULL, IDC_WAIT));
    if (nCode > 0 && m_nWaitCursorCount == 1)
      m_hcurWaitCursorRestore = hcurPrev;
  } else {
    m_nWaitCursorCount = 0;
    ::SetCursor(m_hcurWaitCursorRestore ? m_hcurWaitCursorRestore : ::LoadCursorA(NULL, IDC_ARROW));
  }
}

CWaitCursor::CWaitCursor() { if (CWinApp* p = AfxGetApp()) p->DoWaitCursor(1); else ::SetCursor(::LoadCursorA(NULL, IDC_WAIT)); }
CWaitCursor::~CWaitCursor() { if (CWinApp* p = AfxGetApp()) p->DoWaitCursor(-1); else ::SetCursor(::LoadCursorA(NULL, IDC_ARROW)); }
void CWaitCursor::Restore() { if (CWinApp* p = AfxGetApp()) p->DoWaitCursor(0); }

/////////////////////////////////////////////////////////////////////////////
// Command line

CCommandLineInfo::CCommandLineInfo()
    : m_bShowSplash(TRUE), m_bRunEmbedded(FALSE), m_bRunAutomated(FALSE), m_nShellCommand(FileNew) {}
CCommandLineInfo::~CCommandLineInfo() {}

void CCommandLineInfo::ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL) {
  if (bFlag) {
    if (lstrcmpiA(lpszParam, "nologo") == 0)
      m_bShowSplash = FALSE;
    else if (lstrcmpiA(lpszParam, "Embedding") == 0)
      m_bRunEmbedded = TRUE, m_bShowSplash = FALSE;
    else if (lstrcmpiA(lpszParam, "Automation") == 0)
      m_bRunAutomated = TRUE, m_bShowSplash = FALSE;
  } else if (m_strFileName.IsEmpty()) {
    m_strFileName = lpszParam;
    m_nShellCommand = FileOpen;
  }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
  for (int i = 1; i < __argc; i++) {
    LPCTSTR pszParam = __argv[i];
    BOOL bFlag = FALSE;
    if (pszParam[0] == '-' || pszParam[0] == '/') {
      bFlag = TRUE;
      ++pszParam;
    }
    rCmdInfo.ParseParam(pszParam, bFlag, i == __argc - 1);
  }
}

/////////////////////////////////////////////////////////////////////////////
// Start-up

HINSTANCE AFXAPI AfxGetInstanceHandle() {
  CWinApp* pApp = AfxGetApp();
  return pApp && pApp->m_hInstance ? pApp->m_hInstance : ::GetModuleHandleA(NULL);
}

LPCTSTR AFXAPI AfxGetAppName() {
  CWinApp* pApp = AfxGetApp();
  if (pApp && pApp->m_pszAppName)
    return pApp->m_pszAppName;
  if (!g_szAppName[0]) {
    char szPath[MAX_PATH];
    ::GetModuleFileNameA(NULL, szPath, MAX_PATH);
    LPSTR pName = strrchr(szPath, '\\');
    lstrcpynA(g_szAppName, pName ? pName + 1 : szPath, MAX_PATH);
    if (LPSTR pDot = strrchr(g_szAppName, '.'))
      *pDot = 0;
  }
  return g_szAppName;
}

CWnd* AFXAPI AfxGetMainWnd() {
  CWinThread* pThread = AfxGetThread();
  return pThread ? pThread->GetMainWnd() : NULL;
}

HINSTANCE AFXAPI AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType) {
  HINSTANCE hRes = AfxGetResourceHandle();
  if (hRes && ::FindResourceA(hRes, lpszName, lpszType))
    return hRes;
  HINSTANCE hInst = AfxGetInstanceHandle();
  if (::FindResourceA(hInst, lpszName, lpszType))
    return hInst;
  return hRes ? hRes : hInst;
}

BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp* pApp = AfxGetApp();
  INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES };
  ::InitCommonControlsEx(&icc);
  if (!pApp)
    return TRUE;
  pApp->m_hInstance = hInstance;
  pApp->m_hPrevInstance = hPrevInstance;
  pApp->m_lpCmdLine = lpCmdLine;
  pApp->m_nCmdShow = nCmdShow;
  char szPath[MAX_PATH];
  ::GetModuleFileNameA(hInstance, szPath, MAX_PATH);
  LPSTR pName = strrchr(szPath, '\\');
  lstrcpynA(g_szExeName, pName ? pName + 1 : szPath, MAX_PATH);
  if (LPSTR pDot = strrchr(g_szExeName, '.'))
    *pDot = 0;
  if (!pApp->m_pszExeName)
    pApp->m_pszExeName = g_szExeName;
  if (!pApp->m_pszHelpFilePath) {
    // The program's path with the extension ".HLP".
    lstrcpynA(g_szHelpFilePath, szPath, MAX_PATH - 4);
    LPSTR pDot = strrchr(g_szHelpFilePath, '.');
    if (pDot && pDot > strrchr(g_szHelpFilePath, '\\'))
      *pDot = 0;
    lstrcatA(g_szHelpFilePath, ".HLP");
    pApp->m_pszHelpFilePath = g_szHelpFilePath;
  }
  if (!pApp->m_pszAppName) {
    // The title string of the resources, else the program's name.
    if (::LoadStringA(AfxGetResourceHandle(), AFX_IDS_APP_TITLE, g_szAppName, MAX_PATH) <= 0)
      lstrcpynA(g_szAppName, g_szExeName, MAX_PATH);
    pApp->m_pszAppName = g_szAppName;
  }
  pApp->m_nThreadID = ::GetCurrentThreadId();
  return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  int nReturnCode = -1;
  CWinThread* pThread = AfxGetThread();
  CWinApp* pApp = AfxGetApp();
  if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow) || !pThread)
    return nReturnCode;
  try {
    if (pApp && !pApp->InitApplication())
      return nReturnCode;
    if (!pThread->InitInstance()) {
      if (pThread->m_pMainWnd && pThread->m_pMainWnd->m_hWnd)
        pThread->m_pMainWnd->DestroyWindow();
      nReturnCode = pThread->ExitInstance();
    } else {
      nReturnCode = pThread->Run();
    }
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
    ::OutputDebugStringA("Unhandled exception in the application\r\n");
  }
  CWnd::DeleteTempMap();
  return nReturnCode;
}

/////////////////////////////////////////////////////////////////////////////
// Message boxes and resource strings

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp* pApp = AfxGetApp())
    return pApp->DoMessageBox(lpszText, nType, nIDHelp);
  return ::MessageBoxA(::GetActiveWindow(), lpszText, AfxGetAppName(), nType);
}

int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString str;
  str.LoadString(nIDPrompt);
  if (nIDHelp == (UINT)-1)
    nIDHelp = nIDPrompt;
  return AfxMessageBox(str, nType, nIDHelp);
}

BOOL AFXAPI AfxExtractSubString(CString& rString, LPCTSTR lpszFullString, int iSubString, TCHAR chSep) {
  rString.Empty();
  if (!lpszFullString)
    return FALSE;
  while (iSubString--) {
    lpszFullString = strchr(lpszFullString, chSep);
    if (!lpszFullString)
      return FALSE;
    lpszFullString++;
  }
  LPCTSTR pEnd = strchr(lpszFullString, chSep);
  int n = pEnd ? (int)(pEnd - lpszFullString) : lstrlenA(lpszFullString);
  memcpy(rString.GetBufferSetLength(n), lpszFullString, n);
  rString.ReleaseBuffer(n);
  return TRUE;
}

static void FormatStrings(CString& rString, UINT nIDS, LPCTSTR const* rglpsz, int nString) {
  CString strFormat;
  strFormat.LoadString(nIDS);
  CString strOut;
  for (LPCTSTR p = strFormat; *p; p++) {
    if (*p == '%' && p[1] >= '1' && p[1] <= '9' && (p[1] - '1') < nString) {
      strOut += rglpsz[p[1] - '1'] ? rglpsz[p[1] - '1'] : "";
      p++;
    } else {
      char c[2] = { *p, 0 };
      strOut += c;
    }
  }
  rString = strOut;
}

void AFXAPI AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1) {
  FormatStrings(rString, nIDS, &lpsz1, 1);
}

void AFXAPI AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2) {
  LPCTSTR rg[2] = { lpsz1, lpsz2 };
  FormatStrings(rString, nIDS, rg, 2);
}

/////////////////////////////////////////////////////////////////////////////
// Sockets and OLE

namespace {
typedef int (WINAPI* PFN_WSASTARTUP)(WORD, WSADATA*);
typedef int (WINAPI* PFN_WSACLEANUP)();
PFN_WSACLEANUP g_pfnWSACleanup = NULL;
void SocketTerm() {
  if (g_pfnWSACleanup)
    g_pfnWSACleanup();
}
}

BOOL AFXAPI AfxSocketInit(WSADATA* lpwsaData) {
  if (g_pfnWSACleanup)
    return TRUE;
  HMODULE hSock = ::LoadLibraryA("WSOCK32.DLL");
  PFN_WSASTARTUP pfnStartup = hSock ? (PFN_WSASTARTUP)::GetProcAddress(hSock, "WSAStartup") : NULL;
  if (!pfnStartup)
    return FALSE;
  WSADATA data;
  if (pfnStartup(MAKEWORD(1, 1), lpwsaData ? lpwsaData : &data) != 0)
    return FALSE;
  g_pfnWSACleanup = (PFN_WSACLEANUP)::GetProcAddress(hSock, "WSACleanup");
  atexit(SocketTerm);
  return TRUE;
}

BOOL AFXAPI AfxOleInit() { return SUCCEEDED(::OleInitialize(NULL)); }

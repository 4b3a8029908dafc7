// Threads: CWinThread as a worker or user-interface thread, AfxBeginThread.
#include "afxwin.h"
#include <process.h>

namespace {
thread_local CWinThread* t_pThread = NULL;
}

CWinApp* g_vglApp = NULL;   // set by the CWinApp constructor

CWinThread* AFXAPI AfxGetThread() {
  if (t_pThread)
    return t_pThread;
  if (g_vglApp && g_vglApp->m_nThreadID == ::GetCurrentThreadId())
    return g_vglApp;
  return NULL;
}

CWinApp* AFXAPI AfxGetApp() { return g_vglApp; }

void VglSetCurrentThread(CWinThread* p) { t_pThread = p; }

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinThread, CCmdTarget)
END_MESSAGE_MAP()

CWinThread::CWinThread()
    : m_pMainWnd(NULL), m_pActiveWnd(NULL), m_bAutoDelete(TRUE), m_hThread(NULL),
      m_nThreadID(0), m_pfnThreadProc(NULL), m_pThreadParams(NULL), m_nMsgLast(0) {
  memset(&m_msgCur, 0, sizeof(m_msgCur));
  m_ptCursorLast.x = m_ptCursorLast.y = -1;
}

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam) : CWinThread() {
  m_pfnThreadProc = pfnThreadProc;
  m_pThreadParams = pParam;
}

CWinThread::~CWinThread() {
  if (m_hThread)
    ::CloseHandle(m_hThread);
  if (t_pThread == this)
    t_pThread = NULL;
}

unsigned __stdcall CWinThread::ThreadEntry(void* p) {
  CWinThread* pThread = static_cast<CWinThread*>(p);
  t_pThread = pThread;
  UINT nResult;
  try {
    if (pThread->m_pfnThreadProc) {
      nResult = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
    } else if (!pThread->InitInstance()) {
      nResult = pThread->ExitInstance();
    } else {
      nResult = pThread->Run();
    }
  } catch (CException* e) {
    e->Delete();
    nResult = (UINT)-1;
  } catch (...) {
    nResult = (UINT)-1;
  }
  AfxEndThread(nResult);
  return nResult;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  unsigned id = 0;
  // Always start suspended so the handle and id are stored before the thread runs.
  uintptr_t h = _beginthreadex(lpSecurityAttrs, nStackSize, &CWinThread::ThreadEntry, this,
                               CREATE_SUSPENDED, &id);
  if (h == 0)
    return FALSE;
  m_hThread = (HANDLE)h;
  m_nThreadID = id;
  if (!(dwCreateFlags & CREATE_SUSPENDED))
    ::ResumeThread(m_hThread);
  return TRUE;
}

int CWinThread::GetThreadPriority() { return ::GetThreadPriority(m_hThread); }
BOOL CWinThread::SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }
DWORD CWinThread::SuspendThread() { return ::SuspendThread(m_hThread); }
DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }
BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessageA(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::ExitInstance() {
  // The code of the quit message that ended the thread's loop; 0 without one.
  return m_msgCur.message == WM_QUIT ? (int)m_msgCur.wParam : 0;
}

CWnd* CWinThread::GetMainWnd() {
  if (m_pActiveWnd)
    return m_pActiveWnd;
  return m_pMainWnd;
}

void CWinThread::Delete() {
  if (m_bAutoDelete)
    delete this;
}

BOOL CWinThread::IsIdleMessage(MSG* pMsg) {
  // Mouse moves to the same place and caret blinks do not restart idle processing.
  if (pMsg->message == WM_MOUSEMOVE || pMsg->message == WM_NCMOUSEMOVE) {
    if (m_ptCursorLast.x == pMsg->pt.x && m_ptCursorLast.y == pMsg->pt.y && pMsg->message == m_nMsgLast)
      return FALSE;
    m_ptCursorLast = pMsg->pt;
    m_nMsgLast = pMsg->message;
    return TRUE;
  }
  return pMsg->message != WM_PAINT && pMsg->message != 0x0118 /* caret blink */;
}

BOOL CWinThread::OnIdle(LONG lCount) {
  if (lCount <= 0)
    return TRUE;
  // Temporary objects made by FromHandle live until the thread is idle.
  AfxUnlockTempMaps(TRUE);
  AfxLockTempMaps();
  return FALSE;
}

BOOL CWinThread::DispatchThreadMessageEx(MSG* pMsg) {
  const VglMsgMap* pMap = GetMessageMap();
  for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : NULL) {
    for (const VglMsgEntry* e = pMap->pEntries; e && e->nSig != VglSig_end; ++e) {
      UINT nMsg = e->pRegMsg ? *e->pRegMsg : e->nMessage;
      if (e->nSig == VglSig_vwl && nMsg == pMsg->message) {
        (this->*reinterpret_cast<void (CWinThread::*)(WPARAM, LPARAM)>(e->pfn))(pMsg->wParam, pMsg->lParam);
        return TRUE;
      }
    }
    if (!pMap->pfnGetBaseMap)
      break;
  }
  return FALSE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->hwnd == NULL && DispatchThreadMessageEx(pMsg))
    return TRUE;
  CWnd* pMainWnd = GetMainWnd();
  if (CWnd::WalkPreTranslateTree(pMainWnd->GetSafeHwnd(), pMsg))
    return TRUE;
  if (pMainWnd && pMsg->hwnd) {
    // A window outside the main window's tree: let the main window see it too.
    HWND hTop = ::GetAncestor(pMsg->hwnd, GA_ROOT);
    if (hTop != pMainWnd->m_hWnd && ::IsWindow(pMainWnd->m_hWnd))
      return pMainWnd->PreTranslateMessage(pMsg);
  }
  return FALSE;
}

BOOL CWinThread::PumpMessage() {
  if (!::GetMessageA(&m_msgCur, NULL, 0, 0))
    return FALSE;
  if (!PreTranslateMessage(&m_msgCur)) {
    ::TranslateMessage(&m_msgCur);
    ::DispatchMessageA(&m_msgCur);
  }
  return TRUE;
}

int CWinThread::Run() {
  BOOL bIdle = TRUE;
  LONG lIdleCount = 0;
  for (;;) {
    while (bIdle && !::PeekMessageA(&m_msgCur, NULL, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(lIdleCount++))
        bIdle = FALSE;
    }
    do {
      if (!PumpMessage())
        return ExitInstance();
      if (IsIdleMessage(&m_msgCur)) {
        bIdle = TRUE;
        lIdleCount = 0;
      }
    } while (::PeekMessageA(&m_msgCur, NULL, 0, 0, PM_NOREMOVE));
  }
}

LRESULT CWinThread::ProcessWndProcException(CException* e, const MSG* pMsg) {
  if (e)
    e->Delete();
  // A failing WM_CREATE / WM_INITDIALOG fails the window.
  if (pMsg && pMsg->message == WM_CREATE)
    return -1;
  return 0;
}

CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                                  UINT nStackSize, DWORD dwCreateFlags,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  CWinThread* pThread = new CWinThread(pfnThreadProc, pParam);
  if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    pThread->Delete();
    return NULL;
  }
  pThread->SetThreadPriority(nPriority);
  if (!(dwCreateFlags & CREATE_SUSPENDED))
    pThread->ResumeThread();
  return pThread;
}

CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass, int nPriority, UINT nStackSize,
                                  DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  CObject* pObject = pThreadClass ? pThreadClass->CreateObject() : NULL;
  CWinThread* pThread = dynamic_cast<CWinThread*>(pObject);
  if (!pThread) {
    delete pObject;
    return NULL;
  }
  if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    pThread->Delete();
    return NULL;
  }
  pThread->SetThreadPriority(nPriority);
  if (!(dwCreateFlags & CREATE_SUSPENDED))
    pThread->ResumeThread();
  return pThread;
}

void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete) {
  CWinThread* pThread = t_pThread;
  AfxUnlockTempMaps(TRUE);
  if (pThread && bDelete)
    pThread->Delete();
  t_pThread = NULL;
  _endthreadex(nExitCode);
}

// Worker and user-interface threads started with AfxBeginThread.
#include <gtest/gtest.h>
#include "afxwin.h"

namespace {

struct WorkerProbe {
  DWORD dwThreadId = 0;
  int nPriority = 0;
  CWinThread* pSelf = NULL;
  LONG nRuns = 0;
};

UINT __cdecl ProbeProc(LPVOID p) {
  WorkerProbe* probe = static_cast<WorkerProbe*>(p);
  probe->dwThreadId = ::GetCurrentThreadId();
  probe->nPriority = ::GetThreadPriority(::GetCurrentThread());
  probe->pSelf = AfxGetThread();
  ::InterlockedIncrement(&probe->nRuns);
  return 42;
}

TEST(Thread, WorkerRunsWithPriorityIdAndExitCode) {
  struct Case { int nPriority; };
  for (Case c : { Case{THREAD_PRIORITY_BELOW_NORMAL}, Case{THREAD_PRIORITY_HIGHEST}, Case{THREAD_PRIORITY_NORMAL} }) {
    WorkerProbe probe;
    CWinThread* pThread = AfxBeginThread(ProbeProc, &probe, c.nPriority, 64 * 1024, CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    pThread->m_bAutoDelete = FALSE;
    EXPECT_NE(pThread->m_hThread, nullptr);
    EXPECT_EQ(pThread->ResumeThread(), 1u);
    ASSERT_EQ(::WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    ::GetExitCodeThread(pThread->m_hThread, &dwExit);
    EXPECT_EQ(dwExit, 42u);
    EXPECT_EQ(probe.dwThreadId, pThread->m_nThreadID);
    EXPECT_EQ(probe.nPriority, c.nPriority);
    EXPECT_EQ(probe.pSelf, pThread);
    delete pThread;
  }
}

TEST(Thread, SuspendedWorkerWaitsForResume) {
  WorkerProbe probe;
  CWinThread* pThread = AfxBeginThread(ProbeProc, &probe, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(pThread, nullptr);
  pThread->m_bAutoDelete = FALSE;
  ::Sleep(100);
  EXPECT_EQ(probe.nRuns, 0);
  EXPECT_EQ(pThread->SuspendThread(), 1u);   // now suspended twice
  EXPECT_EQ(pThread->ResumeThread(), 2u);
  EXPECT_EQ(pThread->ResumeThread(), 1u);
  ASSERT_EQ(::WaitForSingleObject(*pThread, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(probe.nRuns, 1);
  delete pThread;
}

// A user-interface thread: thread messages reach its map; the object is deleted at the end.
struct UiProbe {
  HANDLE hReady = NULL;
  LONG nInit = 0, nExit = 0, nDestroyed = 0;
  WPARAM wParamSeen = 0;
  LPARAM lParamSeen = 0;
  BOOL bInitResult = TRUE;
};
UiProbe g_ui;

const UINT WM_PROBE = WM_USER + 25;

class CProbeThread : public CWinThread {
  DECLARE_DYNCREATE(CProbeThread)
public:
  BOOL InitInstance() override {
    MSG msg;
    ::PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);   // make the queue
    ::InterlockedIncrement(&g_ui.nInit);
    ::SetEvent(g_ui.hReady);
    return g_ui.bInitResult;
  }
  int ExitInstance() override {
    ::InterlockedIncrement(&g_ui.nExit);
    return 7;
  }
  ~CProbeThread() override { ::InterlockedIncrement(&g_ui.nDestroyed); }
  afx_msg void OnProbe(WPARAM wParam, LPARAM lParam) {
    g_ui.wParamSeen = wParam;
    g_ui.lParamSeen = lParam;
    ::PostQuitMessage(0);
  }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(CProbeThread, CWinThread)
BEGIN_MESSAGE_MAP(CProbeThread, CWinThread)
  ON_THREAD_MESSAGE(WM_PROBE, OnProbe)
END_MESSAGE_MAP()

TEST(Thread, UserInterfaceThreadDispatchesThreadMessages) {
  g_ui = UiProbe();
  g_ui.hReady = ::CreateEventA(NULL, TRUE, FALSE, NULL);
  CWinThread* pThread = AfxBeginThread(RUNTIME_CLASS(CProbeThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(pThread, nullptr);
  HANDLE hThread = NULL;
  ::DuplicateHandle(::GetCurrentProcess(), pThread->m_hThread, ::GetCurrentProcess(), &hThread, 0, FALSE, DUPLICATE_SAME_ACCESS);
  pThread->ResumeThread();
  ASSERT_EQ(::WaitForSingleObject(g_ui.hReady, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(pThread->PostThreadMessage(WM_PROBE, 11, 22));
  ASSERT_EQ(::WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
  DWORD dwExit = 0;
  ::GetExitCodeThread(hThread, &dwExit);
  EXPECT_EQ(dwExit, 7u);
  EXPECT_EQ(g_ui.wParamSeen, 11u);
  EXPECT_EQ(g_ui.lParamSeen, 22);
  EXPECT_EQ(g_ui.nExit, 1);
  EXPECT_EQ(g_ui.nDestroyed, 1);   // auto-deleted
  ::CloseHandle(hThread);
  ::CloseHandle(g_ui.hReady);
}

TEST(Thread, FailedInitInstanceStillExits) {
  g_ui = UiProbe();
  g_ui.bInitResult = FALSE;
  g_ui.hReady = ::CreateEventA(NULL, TRUE, FALSE, NULL);
  CWinThread* pThread = AfxBeginThread(RUNTIME_CLASS(CProbeThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(pThread, nullptr);
  pThread->m_bAutoDelete = FALSE;
  pThread->ResumeThread();
  ASSERT_EQ(::WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
  DWORD dwExit = 0;
  ::GetExitCodeThread(pThread->m_hThread, &dwExit);
  EXPECT_EQ(dwExit, 7u);
  EXPECT_EQ(g_ui.nInit, 1);
  EXPECT_EQ(g_ui.nExit, 1);
  EXPECT_EQ(g_ui.nDestroyed, 0);
  delete pThread;
  EXPECT_EQ(g_ui.nDestroyed, 1);
  ::CloseHandle(g_ui.hReady);
}

} // namespace

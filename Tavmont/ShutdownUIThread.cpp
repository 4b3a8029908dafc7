// The shut-down notice thread and its window.
#include "ShutdownUIThread.h"

#include "ClientMessages.h"
#include "LogTracker.h"

CShutdownUIThread* g_pShutdownUIThread = NULL;
CShutdownDlg* g_pShutdownDlg = NULL;

BEGIN_MESSAGE_MAP(CShutdownDlg, CDialog)
    ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CShutdownDlg::CShutdownDlg(CWnd* pParent) : CDialog(IDD, pParent)
{
}

CShutdownDlg::~CShutdownDlg()
{
}

BOOL CShutdownDlg::Create(CWnd* pParent)
{
    return CDialog::Create(IDD, pParent);
}

BOOL CShutdownDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CenterWindow(CWnd::GetDesktopWindow());
    return TRUE;
}

void CShutdownDlg::OnNcDestroy()
{
    CDialog::OnNcDestroy();
    if (g_pShutdownDlg == this)
        g_pShutdownDlg = NULL;
    delete this;
}

IMPLEMENT_DYNCREATE(CShutdownUIThread, CWinThread)

BEGIN_MESSAGE_MAP(CShutdownUIThread, CWinThread)
    ON_THREAD_MESSAGE(WM_SHUTDOWN_UI_END, OnShutdownUIEnd)
END_MESSAGE_MAP()

CShutdownUIThread::CShutdownUIThread()
{
    m_bAutoDelete = FALSE;
}

CShutdownUIThread::~CShutdownUIThread()
{
}

BOOL CShutdownUIThread::InitInstance()
{
    VGLTRACE(1, "--> CShutdownUIThread::InitInstance()");
    try
    {
        CWnd* pDesktop = CWnd::GetDesktopWindow();
        g_pShutdownDlg = new CShutdownDlg(pDesktop);
        if (g_pShutdownDlg->Create(pDesktop))
        {
            m_pMainWnd = g_pShutdownDlg;
            g_pShutdownDlg->Invalidate(TRUE);
            g_pShutdownDlg->UpdateWindow();
        }
        else
        {
            delete g_pShutdownDlg;
            g_pShutdownDlg = NULL;
        }
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CShutdownUIThread::InitInstance()");
    }
    VGLTRACE(2, "<-- CShutdownUIThread::InitInstance(), g_pShutdownDlg = %p", g_pShutdownDlg);
    return TRUE;
}

int CShutdownUIThread::ExitInstance()
{
    try
    {
        if (g_pShutdownDlg != NULL)
            g_pShutdownDlg->DestroyWindow();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CShutdownUIThread::ExitInstance()");
    }
    m_pMainWnd = NULL;
    return CWinThread::ExitInstance();
}

void CShutdownUIThread::OnShutdownUIEnd(WPARAM, LPARAM)
{
    ::PostQuitMessage(0);
}

void StartShutdownNotice()
{
    if (g_pShutdownUIThread != NULL)
        return;
    g_pShutdownUIThread = static_cast<CShutdownUIThread*>(
        AfxBeginThread(RUNTIME_CLASS(CShutdownUIThread), THREAD_PRIORITY_NORMAL, 0, 0, NULL));
    VGLTRACE(3, "g_pShutdownUIThread(%p) = AfxBeginThread(RUNTIME_CLASS(CShutdownUIThread))",
             g_pShutdownUIThread);
}

void StopShutdownNotice(DWORD dwTimeout)
{
    CShutdownUIThread* pThread = g_pShutdownUIThread;
    if (pThread == NULL)
        return;
    HANDLE hThread = pThread->m_hThread;
    // The thread may not have its message queue yet: post until it takes the message or
    // ends, within the same time limit.
    DWORD dwStart = ::GetTickCount();
    UINT uRet = WAIT_TIMEOUT;
    while (!::PostThreadMessageA(pThread->m_nThreadID, WM_SHUTDOWN_UI_END, 0, 0))
    {
        uRet = ::WaitForSingleObject(hThread, 20);
        if (uRet != WAIT_TIMEOUT || ::GetTickCount() - dwStart >= dwTimeout)
            break;
    }
    if (uRet == WAIT_TIMEOUT)
    {
        DWORD dwSpent = ::GetTickCount() - dwStart;
        uRet = ::WaitForSingleObject(hThread, dwSpent < dwTimeout ? dwTimeout - dwSpent : 0);
    }
    VGLTRACE(3, "uRet(%d) = ::WaitForSingleObject(hThread = 0x%p, dwSHUTDOWN_THREAD_TIMEOUT = %lu)",
             uRet, hThread, dwTimeout);
    g_pShutdownUIThread = NULL;
    if (uRet != WAIT_OBJECT_0)
    {
        // Never killed (it may be inside a trace call): it ends on its own at the message
        // posted, and its thread object and window are left to it and to the process end.
        VGLTRACE(12, "The shut-down notice thread 0x%p still runs: left to end on its own", hThread);
        return;
    }
    delete pThread;
}

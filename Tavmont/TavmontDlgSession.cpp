// The end of a Windows session: a log-off is survived, a shut-down sends the closing status log
// and saves the unsent logs on two threads within "EndSessionTimeout".
#include "TavmontDlg.h"

#include <process.h>

#include "ClientClock.h"
#include "Configuration.h"
#include "LogTracker.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "resource_ids.h"

namespace
{
// Set when the end-of-session work outlives its time-out: the closing status log's request
// is cancelled (the saving thread's requests are cancelled by the stop of the log threads).
volatile LONG s_lEndSessionGivenUp = 0;

// The most a cancelled shut-down waits for the work given up on before the services start again.
const DWORD END_SESSION_LEFTOVER_WAIT = 30000;
}

LRESULT CTavmontDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION || message == WM_QUERYENDSESSION)
    {
        if (lParam != 0)
        {
            VGLTRACE(3, "User log out");
            ShowWindow(SW_HIDE);
            if (m_dlgIOMonitor.m_hWnd != NULL)
            {
                m_dlgIOMonitor.ShowWindow(SW_HIDE);
                m_dlgIOMonitor.HideVirusFoundDialog();
            }
            m_fLoggedOff = TRUE;
            m_fTrayIconAdded = FALSE;
        }
        else
        {
            VGLTRACE(3, "User shutdown");
            m_fLoggedOff = FALSE;
        }
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CTavmontDlg::PreTranslateMessage(MSG* pMsg)
{
    if ((pMsg->message == WM_QUERYENDSESSION || pMsg->message == WM_ENDSESSION) &&
        (pMsg->lParam & ENDSESSION_LOGOFF) != 0)
    {
        VGLTRACE(3, "User log out");
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CTavmontDlg::OnQueryEndSession()
{
    VGLTRACE(1, "--> CTavmontDlg::OnQueryEndSession()");
    if (m_fLoggedOff)
    {
        Default();
        VGLTRACE(3, "User log off, just return");
        return TRUE;
    }
    if (!CDialog::OnQueryEndSession())
    {
        VGLTRACE(2, "<-- CTavmontDlg::OnQueryEndSession()");
        return FALSE;
    }
    if (m_dlgIOMonitor.ScanFloppyAtShutdown())
    {
        PostMessage(WM_DISPLAY_FLOPPY_WARNING, 0, 0);
        VGLTRACE(2, "<-- CTavmontDlg::OnQueryEndSession()");
        return FALSE;
    }
    BOOL fShow = TRUE;
    NS_RegistryKey::ApplyShowInTaskManager(&fShow);
    BOOL fSendMessage = NS_RegistryKey::IsHttpBased() ? NS_Notification::IsIntranetConnectable() : TRUE;
    VGLTRACE(3, "fSendMessage(%d) = (NS_RegistryKey::IsHttpBased() ? NS_Notification::IsIntranetConnectable() : TRUE)",
             fSendMessage);
    StartEndSessionWork(fSendMessage);
    VGLTRACE(2, "<-- CTavmontDlg::OnQueryEndSession()");
    return TRUE;
}

BOOL CTavmontDlg::IsEndSessionGivenUp(LPVOID)
{
    return s_lEndSessionGivenUp != 0;
}

BOOL CTavmontDlg::WaitEndSessionWork(DWORD dwTimeout)
{
    BOOL fNone = TRUE;
    DWORD dwStart = ::GetTickCount();
    for (int i = 0; i < 2; i++)
    {
        if (m_ahEndSessionThreads[i] == NULL)
            continue;
        DWORD dwSpent = ::GetTickCount() - dwStart;
        DWORD dwWait = ::WaitForSingleObject(m_ahEndSessionThreads[i], dwSpent < dwTimeout ? dwTimeout - dwSpent : 0);
        VGLTRACE(3, "end-of-session thread %d (0x%p): ended %d", i, m_ahEndSessionThreads[i], dwWait == WAIT_OBJECT_0);
        if (dwWait == WAIT_OBJECT_0)
        {
            ::CloseHandle(m_ahEndSessionThreads[i]);
            m_ahEndSessionThreads[i] = NULL;
        }
        else
        {
            fNone = FALSE;
        }
    }
    return fNone;
}

void CTavmontDlg::StartEndSessionWork(BOOL fSendMessage)
{
    // Work of an earlier shut-down given up on ends first (its requests are cancelled).
    if (!WaitEndSessionWork(END_SESSION_LEFTOVER_WAIT))
        VGLTRACE(12, "The work of an earlier end of session still runs");
    ::InterlockedExchange(&s_lEndSessionGivenUp, 0);
    void* pvSend = reinterpret_cast<void*>((UINT_PTR)fSendMessage);
    unsigned uThreadID = 0, uThreadID2 = 0;
    HANDLE hThreads[2];
    hThreads[0] = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, QueryEndSessionThread, pvSend, 0, &uThreadID));
    VGLTRACE(3, "hThread(0x%p) = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, QueryEndSessionThread, this, "
                "THREAD_PRIORITY_HIGHEST, uThreadID = 0x%X))",
             hThreads[0], uThreadID);
    if (hThreads[0] != NULL)
    {
        BOOL fSuccess = ::SetThreadPriority(hThreads[0], THREAD_PRIORITY_HIGHEST);
        VGLTRACE(3, "fSuccess(%d) = ::SetThreadPriority(hThread(0x%p), THREAD_PRIORITY_HIGHEST)", fSuccess,
                 hThreads[0]);
    }
    m_fServicesStopped = TRUE;
    hThreads[1] = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, QueryEndSessionThread2, this, 0, &uThreadID2));
    VGLTRACE(3, "hThreads2(0x%p) = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, QueryEndSessionThread2, this, "
                "THREAD_PRIORITY_HIGHEST, uThreadID2 = 0x%X))",
             hThreads[1], uThreadID2);
    if (hThreads[1] != NULL)
    {
        BOOL fSuccess = ::SetThreadPriority(hThreads[1], THREAD_PRIORITY_HIGHEST);
        VGLTRACE(3, "fSuccess(%d) = ::SetThreadPriority(hThread2(0x%p), THREAD_PRIORITY_HIGHEST)", fSuccess,
                 hThreads[1]);
    }

    if (hThreads[0] == NULL)
    {
        QueryEndSessionThread(pvSend);
        if (hThreads[1] == NULL)
            QueryEndSessionThread2(this);
    }
    else if (hThreads[1] == NULL)
    {
        QueryEndSessionThread2(this);
    }
    if (hThreads[0] != NULL && hThreads[1] != NULL)
    {
        DWORD dwTimeout = NS_RegistryKey::GetEndSessionTimeout();
        DWORD dwRet = ::WaitForMultipleObjects(2, hThreads, TRUE, dwTimeout);
        VGLTRACE(3, "WAIT_TIMEOUT = %ld, dwRet(0x%X) = ::WaitForMultipleObjects(2, hThreads, TRUE, dwTimeout = %lu)",
                 WAIT_TIMEOUT, (unsigned)dwRet, dwTimeout);
        if (dwRet == WAIT_TIMEOUT)
        {
            // Never killed: one may hold the connection lock or be writing the unsent store.
            // The closing request is cancelled, and the threads are kept to be waited for
            // before the services start again.
            ::InterlockedExchange(&s_lEndSessionGivenUp, 1);
            m_ahEndSessionThreads[0] = hThreads[0];
            m_ahEndSessionThreads[1] = hThreads[1];
            VGLTRACE(12, "The end-of-session work outlived %lu ms: its request is cancelled", dwTimeout);
            return;
        }
    }
    // The handles of threads that started are always closed.
    for (int i = 0; i < 2; i++)
    {
        if (hThreads[i] != NULL)
        {
            BOOL fSuccess = ::CloseHandle(hThreads[i]);
            VGLTRACE(3, i == 0 ? "fSuccess(%d) = ::CloseHandle(hThread = 0x%p)"
                               : "fSuccess2(%d) = ::CloseHandle(hThread2 = 0x%p)",
                     fSuccess, hThreads[i]);
        }
    }
}

unsigned __stdcall CTavmontDlg::QueryEndSessionThread(void* pvParam)
{
    VGLTRACE(1, "--> CTavmontDlg::QueryEndSessionThread(LPVOID pvParam = %p)", pvParam);
    try
    {
        BOOL fSendMessage = static_cast<BOOL>(reinterpret_cast<UINT_PTR>(pvParam));
        VGLTRACE(3, "fSendMessage(%d) = static_cast<BOOL>(pvParam = %p)", fSendMessage, pvParam);
        if (fSendMessage)
            NS_Notification::SendStatusLogNow(NS_Clock::GetCurrentTime(), NSN_CLOSE, NULL, TRUE, FALSE, NULL,
                                              NULL, IsEndSessionGivenUp, NULL, NULL);
        BOOL fPendingVirusLog = NS_Notification::HasPendingVirusLog();
        VGLTRACE(3, "fPendingVirusLog(%d) = NS_Notification::HasPendingVirusLog()", fPendingVirusLog);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::QueryEndSessionThread");
    }
    VGLTRACE(2, "<-- CTavmontDlg::QueryEndSessionThread(LPVOID pvParam = %p)", pvParam);
    return 0;
}

unsigned __stdcall CTavmontDlg::QueryEndSessionThread2(void* pvParam)
{
    VGLTRACE(1, "--> CTavmontDlg::QueryEndSessionThread2(LPVOID pvParam = %p)", pvParam);
    try
    {
        NS_Notification::Destruct(TRUE);
        NS_Configuration::Destruct();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::QueryEndSessionThread2");
    }
    VGLTRACE(2, "<-- CTavmontDlg::QueryEndSessionThread2(LPVOID pvParam = %p)", pvParam);
    return 0;
}

void CTavmontDlg::OnEndSession(BOOL bEnding)
{
    VGLTRACE(1, "--> CTavmontDlg::OnEndSession(BOOL bEnding = %d)", bEnding);
    if (!bEnding)
    {
        // Another program cancelled the shut-down: the services stopped for it start again.
        // Started again only from a known state: once the work of the shut-down has ended.
        if (m_fServicesStopped && !WaitEndSessionWork(END_SESSION_LEFTOVER_WAIT))
        {
            VGLTRACE(12, "The end-of-session work still runs: the services stay stopped");
        }
        else if (m_fServicesStopped)
        {
            m_fServicesStopped = FALSE;
            NS_Notification::AllowConnect(TRUE);
            NS_Configuration::Construct(NULL);
            NS_Notification::Construct(FALSE);
        }
        NS_Notification::SendStatusLog(NS_Clock::GetCurrentTime(), NSN_START, NULL);
    }
    CDialog::OnEndSession(bEnding);
    VGLTRACE(2, "<-- CTavmontDlg::OnEndSession(BOOL bEnding = %d)", bEnding);
}

LRESULT CTavmontDlg::OnDisplayFloppyWarning(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CTavmontDlg::OnDisplayFloppyWarning(WPARAM wParam = %" PRIXPTR ", LPARAM lParam = %" PRIxPTR ")",
             wParam, (INT_PTR)lParam);
    CString strText, strCaption;
    if (!strText.LoadString(IDS_FLOPPY_WARNING))
        strText = "Please remove floppy disk!";
    strCaption.LoadString(IDS_MESSAGE_CAPTION);
    MessageBox(strText, strCaption, MB_ICONEXCLAMATION);
    VGLTRACE(2, "<-- CTavmontDlg::OnDisplayFloppyWarning(WPARAM wParam = %" PRIXPTR ", LPARAM lParam = %" PRIxPTR ")",
             wParam, (INT_PTR)lParam);
    return 0;
}

LRESULT CTavmontDlg::OnPendingVirusLog(WPARAM wParam, LPARAM lParam)
{
    VGLTRACE(1, "--> CTavmontDlg::OnPendingVirusLog(WPARAM wParam = %" PRIXPTR ", LPARAM lParam = %" PRIxPTR ")",
             wParam, (INT_PTR)lParam);
    CString strText;
    if (!strText.LoadString(IDS_PENDING_VIRUS_LOG))
        strText = "There are pending virus log to be saved, please shutdown the program manually. \n"
                  "Note: You have to connect to server for reporting these log.";
    AfxMessageBox(strText, MB_ICONEXCLAMATION);
    VGLTRACE(2, "<-- CTavmontDlg::OnPendingVirusLog(WPARAM wParam = %" PRIXPTR ", LPARAM lParam = %" PRIxPTR ")",
             wParam, (INT_PTR)lParam);
    return 0;
}

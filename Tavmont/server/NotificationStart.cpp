// NS_Notification's start and stop: the log threads, the unsent virus logs, the connection
// state at start-up and the alert text, and the scheduler's wake-up of the log threads.
#include "Notification.h"
#include "Updates.h"
#include "NotificationThreads.h"

#include "DatabaseAccess.h"
#include "Globals.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "SystemError.h"

#include <process.h>

namespace NS_Notification
{
volatile BOOL g_fLogThreadsStopped = FALSE;

// The outbreak-policy lock: initialised by the first Construct and kept until the process
// ends (Destruct may run twice and the client may go on after the first).
CRITICAL_SECTION g_csOutbreakPolicy;
namespace
{
BOOL g_fOutbreakPolicyReady = FALSE;
BOOL g_fConstructed = FALSE;
}
}

// ---- CLogThread ----

CLogThread::CLogThread(const char* pszName, PFN_THREAD pfnThread, DWORD dwStopTimeout)
    : m_pszName(pszName), m_pfnThread(pfnThread), m_dwStopTimeout(dwStopTimeout), m_hThread(NULL),
      m_eventWake(FALSE, FALSE), m_eventStop(FALSE, TRUE)
{
}

BOOL CLogThread::Start()
{
    CSingleLock lock(&m_lock, TRUE);
    if (NS_Notification::g_fLogThreadsStopped)
        return FALSE;
    if (m_hThread != NULL)
    {
        // A thread that outlived its stop and has not ended yet goes on as this one.
        if (::WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
            return TRUE;
        ::CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    unsigned uThreadID = 0;
    m_hThread = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, m_pfnThread, 0, 0, &uThreadID));
    VGLTRACE(3, "%s(0x%p) = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, ..., 0, THREAD_PRIORITY_LOWEST, "
                "uThreadID = 0x%X))",
             m_pszName, m_hThread, uThreadID);
    if (m_hThread == NULL)
        return FALSE;
    BOOL fPriority = ::SetThreadPriority(m_hThread, THREAD_PRIORITY_LOWEST);
    VGLTRACE(3, "fSuccess(%d) = ::SetThreadPriority(%s, THREAD_PRIORITY_LOWEST)", fPriority, m_pszName);
    return TRUE;
}

BOOL CLogThread::IsStarted() const
{
    return m_hThread != NULL && !NS_Notification::g_fLogThreadsStopped;
}

void CLogThread::WaitStopped()
{
    HANDLE hThread;
    {
        CSingleLock lock(&m_lock, TRUE);
        hThread = m_hThread;
    }
    if (hThread == NULL)
        return;
    // Its request is cancelled by the stop; a thread that still runs is never killed (it may
    // hold the connection lock) but kept, so that a new start does not run a second one.
    DWORD dwWait = ::WaitForSingleObject(hThread, m_dwStopTimeout);
    VGLTRACE(3, "    %d = ended(%s = 0x%p, timeout = %lu)", dwWait == WAIT_OBJECT_0, m_pszName, hThread,
             m_dwStopTimeout);
    CSingleLock lock(&m_lock, TRUE);
    if (dwWait == WAIT_OBJECT_0 && m_hThread == hThread)
    {
        ::CloseHandle(hThread);
        m_hThread = NULL;
    }
}

BOOL CLogThread::CancelRequest(LPVOID)
{
    return NS_Notification::g_fLogThreadsStopped;
}

BOOL CLogThread::WaitForWork()
{
    HANDLE handles[2] = {m_eventStop.m_hObject, m_eventWake.m_hObject};
    for (;;)
    {
        if (IsStopping())
            return FALSE;
        DWORD dw = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (dw == WAIT_OBJECT_0)
            return FALSE;
        if (dw == WAIT_OBJECT_0 + 1)
            return TRUE;
    }
}

// ---- NS_Notification ----

namespace NS_Notification
{
void Construct(BOOL fFirstTimeStartUp)
{
    VGLTRACE(1, "--> NS_Notification::Construct(BOOL fFirstTimeStartUp = %d)", fFirstTimeStartUp);
    // The trace facility and the database glue reach back into this unit.
    NS_DataBase::SClientLinks links = NS_DataBase::GetClientLinks();
    links.pfnGetPlatformName = GetPlatformName;
    links.pfnGetPatternVersionNumber = GetPatternVersionNumber;
    links.pfnWakeUpLogThreads = WakeUpLogThreads;
    NS_DataBase::SetClientLinks(links);

    if (g_fConstructed)
    {
        // A start after a stop (the end of a Windows session was cancelled): what is still
        // pending in memory joins the unsent store, which is then read anew.
        SaveUnsentVirusLog();
        ResetVirusLogState();
        // The stop set for a scan the server had started belongs to that stop.
        g_eventStopScanNow.SetSignaled(FALSE);
    }
    g_fConstructed = TRUE;
    g_statusLogThread.Reset();
    g_virusLogThread.Reset();
    g_unsentVirusLogThread.Reset();
    g_localCfgLogThread.Reset();
    g_fLogThreadsStopped = FALSE;

    try
    {
        RestoreUnsentVirusLog();
        if (NS_RegistryKey::IsHttpBased())
        {
            if (fFirstTimeStartUp)
                NS_RegistryKey::UpdateIP();
            NS_RegistryKey::SetForceMobile(NS_RegistryKey::IsForceMobileEx());
            BOOL fConnected = FALSE;
            if (!NS_RegistryKey::IsMobileMode() && !NS_RegistryKey::IsForceMobile())
                fConnected = NS_RegistryKey::PingServer(2, 2000, FALSE);
            UpdateConnectionStatus(fConnected);
            UpdateAlertMessage(FALSE, TRUE, FALSE);
        }
        else
        {
            UpdateAlertMessage(fFirstTimeStartUp, TRUE, FALSE);
        }
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "CException = %s, NS_Notification::Construct()", szError);
        e->Delete();
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Notification::Construct()", (LPCSTR)e.ToString());
    }
    catch (CInternetStatusException& e)
    {
        CString strStatus;
        GetInternetStatusText(e.GetStatus(), strStatus);
        VGLTRACE(10, "CInternetStatusException = %s, in NS_Notification::Construct()", (LPCSTR)strStatus);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::Construct()");
    }

    g_statusLogThread.Start();
    if (HasQueuedStatusLog())
        g_statusLogThread.Wake();
    if (g_vUnsentVirusLogStore.GetDayCount() > 0)
    {
        g_unsentVirusLogThread.Start();
        g_unsentVirusLogThread.Wake();
    }
    if (!g_fOutbreakPolicyReady)
    {
        ::InitializeCriticalSection(&g_csOutbreakPolicy);
        g_fOutbreakPolicyReady = TRUE;
    }
    VGLTRACE(2, "<-- NS_Notification::Construct(BOOL fFirstTimeStartUp = %d)", fFirstTimeStartUp);
}

void Destruct(BOOL fSaveUnsent)
{
    VGLTRACE(1, "--> NS_Notification::Destruct(%d)", fSaveUnsent);
    try
    {
        g_fLogThreadsStopped = TRUE;
        g_eventCancelConnect.SetSignaled(TRUE);
        g_virusLogThread.SignalStop();
        g_unsentVirusLogThread.SignalStop();
        g_statusLogThread.SignalStop();
        g_localCfgLogThread.SignalStop();
        g_eventStopScanNow.SetSignaled(TRUE);

        // A handle is forgotten once waited for: a second Destruct waits for nothing.
        g_virusLogThread.WaitStopped();
        g_unsentVirusLogThread.WaitStopped();
        g_statusLogThread.WaitStopped();
        g_localCfgLogThread.WaitStopped();

        if (fSaveUnsent)
        {
            VGLTRACE(3, "    >> SaveUnsentVirusLog() START)");
            SaveUnsentVirusLog();
            VGLTRACE(3, "    << SaveUnsentVirusLog() END)");
        }
        CloseUpdateHandOver();
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Notification::Destruct(%d)", (LPCSTR)e.ToString(), fSaveUnsent);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::Destruct(%d)", fSaveUnsent);
    }
    VGLTRACE(2, "<-- NS_Notification::Destruct(%d)", fSaveUnsent);
}

void WakeUpLogThreads(BOOL fRecover)
{
    VGLTRACE(1, "--> NS_Notification::WakeUpLogThreads(BOOL fRecover = %d)", fRecover);
    if (HasQueuedLocalCfgLog())
        g_localCfgLogThread.Wake();
    if (HasQueuedStatusLog())
        g_statusLogThread.Wake();
    if (fRecover)
    {
        RecoverVirusLog();
        RecoverUnsentVirusLog();
    }
    if (HasQueuedVirusLog())
        g_virusLogThread.Wake();
    if (HasQueuedUnsentVirusLog())
        g_unsentVirusLogThread.Wake();
    VGLTRACE(2, "<-- NS_Notification::WakeUpLogThreads(BOOL fRecover = %d)", fRecover);
}
}

// The four log threads of NS_Notification (status, virus, unsent virus and local
// configuration logs): each has a wake event (auto-reset), a stop event (manual) and a
// handle, and runs at the lowest priority. Construct and Destruct bring them up and down.
#ifndef VGL_NOTIFICATIONTHREADS_H
#define VGL_NOTIFICATIONTHREADS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"

#include "LogReport.h"

// The unsent store: the records that could not be sent before the last stop.
extern CLogReport g_vUnsentVirusLogStore;

class CLogThread
{
public:
    typedef unsigned(__stdcall* PFN_THREAD)(void*);

    CLogThread(const char* pszName, PFN_THREAD pfnThread, DWORD dwStopTimeout);

    // Creates the thread when it does not run and the threads are not stopped; TRUE when it
    // runs.
    BOOL Start();
    // A thread runs and the threads are not stopped.
    BOOL IsStarted() const;
    void Wake() { m_eventWake.SetEvent(); }
    void SignalStop() { m_eventStop.SetEvent(); }
    // Waits up to the stop time-out for the thread and forgets it once ended; one that still
    // runs is never killed and is taken up again by the next Start.
    void WaitStopped();
    // The cancel callback of the log threads' requests: TRUE once the threads are stopped.
    static BOOL CancelRequest(LPVOID);
    // Ready for a new start after a stop.
    void Reset() { m_eventStop.ResetEvent(); }

    // The thread's wait for work: FALSE when it is to end.
    BOOL WaitForWork();
    BOOL IsStopping() const { return ::WaitForSingleObject(m_eventStop.m_hObject, 0) == WAIT_OBJECT_0; }
    HANDLE GetStopEvent() const { return m_eventStop.m_hObject; }

private:
    CLogThread(const CLogThread&);
    CLogThread& operator=(const CLogThread&);

    const char* m_pszName;
    PFN_THREAD m_pfnThread;
    DWORD m_dwStopTimeout;
    HANDLE m_hThread;
    CEvent m_eventWake;
    CEvent m_eventStop;
    CCriticalSection m_lock;          // around the start, which many threads may ask for
};

namespace NS_Notification
{
    extern CLogThread g_statusLogThread;
    extern CLogThread g_virusLogThread;
    extern CLogThread g_unsentVirusLogThread;
    extern CLogThread g_localCfgLogThread;
    // Between Destruct and the next Construct no log thread starts: records queued then stay
    // in memory.
    extern volatile BOOL g_fLogThreadsStopped;

    // Queue sizes, read without their locks (a wake-up that finds nothing is harmless).
    BOOL HasQueuedStatusLog();
    BOOL HasQueuedLocalCfgLog();
    BOOL HasQueuedVirusLog();
    BOOL HasQueuedUnsentVirusLog();
    // Forgets the virus-log lists and the unsent store before a new start restores them.
    void ResetVirusLogState();
}

#endif

// The bookkeeping of the client listener's chain of threads: the handles of the threads it
// started (only those are ever closed by WM_DELETE_THREAD), the stop signal of a listener
// that is being stopped, and the limit on connections served at once.
#ifndef VGL_LISTENERTHREADS_H
#define VGL_LISTENERTHREADS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"
#include "afxtempl.h"

class CListenerThreads
{
public:
    // Connections served at once (a request being read and answered, or its command being
    // carried out). The next connection waits in the listening socket's queue meanwhile.
    enum { MAX_CONNECTIONS = 16 };

    CListenerThreads();
    ~CListenerThreads();

    // Around the store of the waiting thread's handle and the start of its successor.
    CCriticalSection m_lock;

    void Record(HANDLE hThread);
    // TRUE when the handle was recorded; it is forgotten.
    BOOL Forget(HANDLE hThread);
    int GetRecordedCount();

    void SignalStop();
    void ResetStop();
    BOOL IsStopping() const;

    // Waits until fewer than MAX_CONNECTIONS connections are served; FALSE when the listener
    // is stopped meanwhile.
    BOOL WaitForSlot();
    void EnterConnection();
    void LeaveConnection();
    LONG GetConnectionCount() const { return m_nConnections; }

private:
    CListenerThreads(const CListenerThreads&);
    CListenerThreads& operator=(const CListenerThreads&);

    CArray<HANDLE, HANDLE> m_arrThreads;
    HANDLE m_hStop;                 // manual reset: a listener is being stopped
    HANDLE m_hSlotFree;             // auto reset: a connection ended
    volatile LONG m_nConnections;
};

#endif

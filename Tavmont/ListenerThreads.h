// The bookkeeping of the client listener's chain of threads: the handles of the threads it
// started (only those are ever closed by WM_DELETE_THREAD), the stop signal of a listener
// that is being stopped, and the limit on connections served at once.
#ifndef VGL_LISTENERTHREADS_H
#define VGL_LISTENERTHREADS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"
#include "afxtempl.h"

#include <winsock.h>

class CListenerThreads
{
public:
    // Connections served at once (a request being read and answered; a command carried out
    // after its connection closed no longer counts). The next connection waits in the
    // listening socket's queue meanwhile.
    enum { MAX_CONNECTIONS = 16 };

    CListenerThreads();
    ~CListenerThreads();

    // Around the store of the waiting thread's handle and the start of its successor.
    CCriticalSection m_lock;

    void Record(HANDLE hThread);
    // TRUE when the handle was recorded; it is forgotten.
    BOOL Forget(HANDLE hThread);
    // Every recorded handle, all forgotten.
    void TakeAll(CArray<HANDLE, HANDLE>& arrThreads);
    int GetRecordedCount();

    void SignalStop();
    void ResetStop();
    BOOL IsStopping() const;

    // Waits until fewer than MAX_CONNECTIONS connections are served; FALSE when the listener
    // is stopped meanwhile.
    BOOL WaitForSlot();
    void EnterConnection();
    void LeaveConnection();

    // The sockets of connections being served: registered after accept, unregistered before
    // they are closed. ShutdownConnections ends every read and write on them (at unload).
    void AddConnectionSocket(SOCKET s);
    void RemoveConnectionSocket(SOCKET s);
    void ShutdownConnections();
    LONG GetConnectionCount() const { return m_nConnections; }

private:
    CListenerThreads(const CListenerThreads&);
    CListenerThreads& operator=(const CListenerThreads&);

    CArray<HANDLE, HANDLE> m_arrThreads;
    CArray<SOCKET, SOCKET> m_arrSockets;
    HANDLE m_hStop;                 // manual reset: a listener is being stopped
    HANDLE m_hSlotFree;             // auto reset: a connection ended
    volatile LONG m_nConnections;
};

#endif

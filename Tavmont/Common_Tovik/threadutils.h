// Waiting for worker threads and for objects while the caller's window messages keep
// flowing. No thread is ever killed: one may hold a lock or have a file half written. A
// worker is asked to stop (a stop flag or event it checks) and, when it does not end in
// time, left to finish on its own.
#ifndef VGL_THREADUTILS_H
#define VGL_THREADUTILS_H

#include <windows.h>

// Waits up to dwTimeout ms for the thread, then closes the handle in every case; a thread
// still running goes on to its own end. TRUE only when the thread ended within the
// time-out; FALSE for NULL.
BOOL waitForThread(HANDLE hThread, DWORD dwTimeout);

// Polls the handle every 10 ms (dwTimeout / 10 times, for at most dwTimeout ms),
// removing and dispatching up to nMessages queued messages of the calling thread
// between polls. TRUE when signalled; FALSE at once for a time-out below 10 ms.
BOOL waitForObjectPumpingMessages(HANDLE hObject, int nMessages, DWORD dwTimeout);

// A worker's stop request and whatever the worker needs, shared by the worker and its
// owner: each holds a reference, and the last to let go frees it, so an owner that gives
// up waiting may go away while the worker finishes.
class CStopFlag
{
public:
    CStopFlag() : m_lRefs(1), m_lStop(0) {}
    void AddRef() { ::InterlockedIncrement(&m_lRefs); }
    void Release()
    {
        if (::InterlockedDecrement(&m_lRefs) == 0)
            delete this;
    }
    void Stop() { ::InterlockedExchange(&m_lStop, 1); }
    BOOL IsStopped() const { return m_lStop != 0; }
    // For code that checks a plain flag (non-zero: stop).
    const volatile LONG* Flag() const { return &m_lStop; }

protected:
    virtual ~CStopFlag() {}

private:
    CStopFlag(const CStopFlag&);
    CStopFlag& operator=(const CStopFlag&);

    volatile LONG m_lRefs;
    volatile LONG m_lStop;
};

#endif

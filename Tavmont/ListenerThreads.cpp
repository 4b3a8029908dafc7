#include "ListenerThreads.h"

namespace
{
// shutdown's "both directions" (winsock.h names none).
const int SHUTDOWN_BOTH = 2;
}

CListenerThreads::CListenerThreads()
    : m_hStop(::CreateEventA(NULL, TRUE, FALSE, NULL)),
      m_hSlotFree(::CreateEventA(NULL, FALSE, FALSE, NULL)),
      m_nConnections(0)
{
}

CListenerThreads::~CListenerThreads()
{
    if (m_hStop != NULL)
        ::CloseHandle(m_hStop);
    if (m_hSlotFree != NULL)
        ::CloseHandle(m_hSlotFree);
}

void CListenerThreads::Record(HANDLE hThread)
{
    CSingleLock lock(&m_lock, TRUE);
    m_arrThreads.Add(hThread);
}

BOOL CListenerThreads::Forget(HANDLE hThread)
{
    CSingleLock lock(&m_lock, TRUE);
    for (int i = 0; i < m_arrThreads.GetSize(); i++)
    {
        if (m_arrThreads[i] == hThread)
        {
            m_arrThreads.RemoveAt(i);
            return TRUE;
        }
    }
    return FALSE;
}

void CListenerThreads::TakeAll(CArray<HANDLE, HANDLE>& arrThreads)
{
    CSingleLock lock(&m_lock, TRUE);
    arrThreads.RemoveAll();
    for (int i = 0; i < m_arrThreads.GetSize(); i++)
        arrThreads.Add(m_arrThreads[i]);
    m_arrThreads.RemoveAll();
}

int CListenerThreads::GetRecordedCount()
{
    CSingleLock lock(&m_lock, TRUE);
    return (int)m_arrThreads.GetSize();
}

void CListenerThreads::SignalStop()
{
    ::SetEvent(m_hStop);
}

void CListenerThreads::ResetStop()
{
    ::ResetEvent(m_hStop);
}

BOOL CListenerThreads::IsStopping() const
{
    return ::WaitForSingleObject(m_hStop, 0) == WAIT_OBJECT_0;
}

BOOL CListenerThreads::WaitForSlot()
{
    HANDLE ahWait[2] = {m_hStop, m_hSlotFree};
    // Only the thread that waits to accept counts a connection in, so the room it finds stays.
    while (m_nConnections >= MAX_CONNECTIONS)
    {
        if (::WaitForMultipleObjects(2, ahWait, FALSE, 1000) == WAIT_OBJECT_0)
            return FALSE;
    }
    return !IsStopping();
}

void CListenerThreads::EnterConnection()
{
    ::InterlockedIncrement(&m_nConnections);
}

void CListenerThreads::LeaveConnection()
{
    ::InterlockedDecrement(&m_nConnections);
    ::SetEvent(m_hSlotFree);
}

void CListenerThreads::AddConnectionSocket(SOCKET s)
{
    CSingleLock lock(&m_lock, TRUE);
    m_arrSockets.Add(s);
}

void CListenerThreads::RemoveConnectionSocket(SOCKET s)
{
    CSingleLock lock(&m_lock, TRUE);
    for (int i = 0; i < m_arrSockets.GetSize(); i++)
    {
        if (m_arrSockets[i] == s)
        {
            m_arrSockets.RemoveAt(i);
            return;
        }
    }
}

void CListenerThreads::ShutdownConnections()
{
    // Under the lock: a socket is unregistered before it is closed, so none named here can
    // have been closed and its number reused.
    CSingleLock lock(&m_lock, TRUE);
    for (int i = 0; i < m_arrSockets.GetSize(); i++)
        ::shutdown(m_arrSockets[i], SHUTDOWN_BOTH);
}

// Waiting for worker threads and for objects while the caller's window messages keep
// flowing.
#ifndef VGL_THREADUTILS_H
#define VGL_THREADUTILS_H

#include <windows.h>

// Waits up to dwTimeout ms for the thread. On time-out or abandonment, with fTerminate
// set, the thread is suspended and terminated with exit code 0. The handle is closed in
// every case. TRUE only when the thread ended within the time-out; FALSE for NULL.
BOOL waitForThread(HANDLE hThread, DWORD dwTimeout, BOOL fTerminate);

// Polls the handle every 10 ms (dwTimeout / 10 times, for at most dwTimeout ms),
// removing and dispatching up to nMessages queued messages of the calling thread
// between polls. TRUE when signalled; FALSE at once for a time-out below 10 ms.
BOOL waitForObjectPumpingMessages(HANDLE hObject, int nMessages, DWORD dwTimeout);

#endif

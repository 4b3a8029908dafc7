#include "threadutils.h"

#include "LogTracker.h"


BOOL waitForThread(HANDLE hThread, DWORD dwTimeout)
{
    VGLTRACE(1, "-->::waitForThread(hThread = 0x%p, dwTimeout = %lu)", hThread, dwTimeout);
    if (hThread == NULL)
        return FALSE;

    DWORD dwWait = WaitForSingleObject(hThread, dwTimeout);
    BOOL fEnded = (dwWait == WAIT_OBJECT_0);
    if (!fEnded)
        VGLTRACE(12, "    thread 0x%p still running after %lu ms: left to end on its own", hThread, dwTimeout);
    CloseHandle(hThread);
    VGLTRACE(2, "<--::waitForThread(), dwWait = 0x%lX", dwWait);
    return fEnded;
}

BOOL waitForObjectPumpingMessages(HANDLE hObject, int nMessages, DWORD dwTimeout)
{
    DWORD dwCycles = dwTimeout / 10;
    if (dwCycles == 0)
        return FALSE;

    // Elapsed time in milliseconds: in whole seconds a time-out below one second could
    // end at the clock's next tick.
    DWORD dwStart = GetTickCount();
    for (DWORD i = 0; i < dwCycles; ++i)
    {
        if (WaitForSingleObject(hObject, 0) == WAIT_OBJECT_0)
            return TRUE;
        if (GetTickCount() - dwStart > dwTimeout)
            return FALSE;

        MSG msg;
        for (int n = 0; n < nMessages; ++n)
        {
            if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (GetTickCount() - dwStart > dwTimeout)
                break;
        }
        Sleep(10);
    }
    return FALSE;
}

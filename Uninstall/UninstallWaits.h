// The uninstall program's long waits (stopping the client and the support tool, the extra
// tools' uninstallers). Tests shorten them through the environment variable
// VGL_TEST_WAIT_DIVISOR (every wait divided by it, at least 1 ms; read once):
// the number of tries stays the same, only each try is shorter.
#ifndef VGL_UNINSTALLWAITS_H
#define VGL_UNINSTALLWAITS_H

#include <windows.h>

namespace NS_UninstallWait
{
    // 1 normally.
    DWORD GetDivisor();
    // The wait of dwMs milliseconds as it is really taken.
    DWORD Scaled(DWORD dwMs);
    void Sleep(DWORD dwMs);
    DWORD WaitForObject(HANDLE hObject, DWORD dwMs);
}

#endif

#include "UninstallWaits.h"

#include <stdlib.h>

namespace NS_UninstallWait
{
DWORD GetDivisor()
{
    static LONG s_nDivisor = 0;
    if (s_nDivisor == 0)
    {
        char szValue[32] = "";
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_WAIT_DIVISOR", szValue, sizeof(szValue));
        long nDivisor = (cch > 0 && cch < sizeof(szValue)) ? strtol(szValue, NULL, 10) : 1;
        ::InterlockedExchange(&s_nDivisor, nDivisor >= 1 ? nDivisor : 1);
    }
    return (DWORD)s_nDivisor;
}

DWORD Scaled(DWORD dwMs)
{
    if (dwMs == 0 || dwMs == INFINITE)
        return dwMs;
    DWORD dwScaled = dwMs / GetDivisor();
    return dwScaled ? dwScaled : 1;
}

void Sleep(DWORD dwMs)
{
    ::Sleep(Scaled(dwMs));
}

DWORD WaitForObject(HANDLE hObject, DWORD dwMs)
{
    return ::WaitForSingleObject(hObject, Scaled(dwMs));
}
}

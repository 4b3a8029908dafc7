// The client's clock and its test offset.
#include "ClientClock.h"

#include <stdlib.h>

namespace NS_Clock
{
namespace
{
// The offset the file names now; FALSE while it cannot be read.
BOOL ReadOffsetFile(LPCSTR pszFile, LONGLONG* pllOffset)
{
    HANDLE hFile = ::CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    char szText[32] = "";
    DWORD cbRead = 0;
    BOOL fRead = ::ReadFile(hFile, szText, sizeof(szText) - 1, &cbRead, NULL);
    ::CloseHandle(hFile);
    if (!fRead || cbRead == 0)
        return FALSE;
    szText[cbRead] = '\0';
    *pllOffset = _atoi64(szText);
    return TRUE;
}
}

LONGLONG GetOffset()
{
    static LONGLONG s_llOffset = []() -> LONGLONG {
        char szValue[32];
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_CLOCK_OFFSET", szValue, sizeof(szValue));
        return (cch > 0 && cch < sizeof(szValue)) ? _atoi64(szValue) : 0;
    }();
    static char s_szFile[MAX_PATH] = "";
    static BOOL s_fFileRead = FALSE;
    if (!s_fFileRead)
    {
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_CLOCK_FILE", s_szFile, sizeof(s_szFile));
        if (cch == 0 || cch >= sizeof(s_szFile))
            s_szFile[0] = '\0';
        s_fFileRead = TRUE;
    }
    LONGLONG llOffset;
    if (s_szFile[0] != '\0' && ReadOffsetFile(s_szFile, &llOffset))
        return llOffset;
    return s_llOffset;
}

void GetSystemTime(SYSTEMTIME* pst)
{
    ::GetSystemTime(pst);
    LONGLONG llOffset = GetOffset();
    if (llOffset == 0)
        return;
    FILETIME ft;
    ::SystemTimeToFileTime(pst, &ft);
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    u.QuadPart += llOffset * 10000000LL;
    ft.dwLowDateTime = u.LowPart;
    ft.dwHighDateTime = u.HighPart;
    ::FileTimeToSystemTime(&ft, pst);
}

CTime GetCurrentTime()
{
    return CTime(CTime::GetCurrentTime().GetTime() + (time_t)GetOffset());
}

DWORD GetWaitMilliseconds(DWORD dwSeconds)
{
    static DWORD s_dwMsPerSecond = []() -> DWORD {
        char szValue[32];
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_MS_PER_SECOND", szValue, sizeof(szValue));
        return (cch > 0 && cch < sizeof(szValue)) ? (DWORD)strtoul(szValue, NULL, 10) : 1000;
    }();
    return dwSeconds * s_dwMsPerSecond;
}

DWORD GetPassMilliseconds(DWORD dwMilliseconds)
{
    static DWORD s_dwDivisor = []() -> DWORD {
        char szValue[32];
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_WAIT_DIVISOR", szValue, sizeof(szValue));
        DWORD dw = (cch > 0 && cch < sizeof(szValue)) ? (DWORD)strtoul(szValue, NULL, 10) : 1;
        return dw == 0 ? 1 : dw;
    }();
    DWORD dw = dwMilliseconds / s_dwDivisor;
    return dw == 0 ? 1 : dw;
}
}

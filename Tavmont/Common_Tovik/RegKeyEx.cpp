#include "RegKeyEx.h"

#include <string.h>

LONG CRegKeyEx::QueryBoolValue(BOOL& bOut, LPCSTR pszValueName)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    LONG lResult = RegQueryValueExA(m_hKey, pszValueName, NULL, NULL, (LPBYTE)&dwValue, &cbValue);
    bOut = (lResult == ERROR_SUCCESS && dwValue != 0) ? TRUE : FALSE;
    return lResult;
}

LONG CRegKeyEx::CopyStringValue(HKEY hSourceKey, LPCSTR pszValueName, LPCSTR pszTargetName)
{
    char szValue[COPY_BUFFER_SIZE + 1];
    DWORD cbValue = COPY_BUFFER_SIZE;
    LONG lResult = RegQueryValueExA(hSourceKey, pszValueName, NULL, NULL, (LPBYTE)szValue, &cbValue);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    // A stored text need not carry its terminator.
    szValue[cbValue < COPY_BUFFER_SIZE ? cbValue : COPY_BUFFER_SIZE] = '\0';
    return RegSetValueExA(m_hKey, pszTargetName ? pszTargetName : pszValueName, 0, REG_SZ,
                          (const BYTE*)szValue, (DWORD)strlen(szValue) + 1);
}

LONG CRegKeyEx::CopyDwordValue(HKEY hSourceKey, LPCSTR pszValueName, LPCSTR pszTargetName)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    LONG lResult = RegQueryValueExA(hSourceKey, pszValueName, NULL, NULL, (LPBYTE)&dwValue, &cbValue);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    return RegSetValueExA(m_hKey, pszTargetName ? pszTargetName : pszValueName, 0, REG_DWORD,
                          (const BYTE*)&dwValue, sizeof(dwValue));
}

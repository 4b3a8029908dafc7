#include "atlbase.h"

CRegKey::CRegKey() : m_hKey(NULL)
{
}

CRegKey::~CRegKey()
{
    Close();
}

LONG CRegKey::Create(HKEY hKeyParent, LPCSTR lpszKeyName, LPSTR lpszClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecAttr, LPDWORD lpdwDisposition)
{
    DWORD dw = 0;
    HKEY hKey = NULL;
    LONG lRes = RegCreateKeyExA(hKeyParent, lpszKeyName, 0, lpszClass, dwOptions, samDesired,
                                lpSecAttr, &hKey, &dw);
    if (lpdwDisposition != NULL)
        *lpdwDisposition = dw;
    if (lRes == ERROR_SUCCESS) {
        lRes = Close();
        m_hKey = hKey;
    }
    return lRes;
}

LONG CRegKey::Open(HKEY hKeyParent, LPCSTR lpszKeyName, REGSAM samDesired)
{
    HKEY hKey = NULL;
    LONG lRes = RegOpenKeyExA(hKeyParent, lpszKeyName, 0, samDesired, &hKey);
    if (lRes == ERROR_SUCCESS) {
        lRes = Close();
        m_hKey = hKey;
    }
    return lRes;
}

LONG CRegKey::Close()
{
    LONG lRes = ERROR_SUCCESS;
    if (m_hKey != NULL) {
        lRes = RegCloseKey(m_hKey);
        m_hKey = NULL;
    }
    return lRes;
}

HKEY CRegKey::Detach()
{
    HKEY hKey = m_hKey;
    m_hKey = NULL;
    return hKey;
}

void CRegKey::Attach(HKEY hKey)
{
    Close();
    m_hKey = hKey;
}

LONG CRegKey::SetValue(DWORD dwValue, LPCSTR lpszValueName)
{
    return RegSetValueExA(m_hKey, lpszValueName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(DWORD));
}

LONG CRegKey::SetValue(LPCSTR lpszValue, LPCSTR lpszValueName)
{
    if (lpszValue == NULL)
        return ERROR_INVALID_PARAMETER;
    return RegSetValueExA(m_hKey, lpszValueName, 0, REG_SZ, (const BYTE*)lpszValue,
                          (DWORD)lstrlenA(lpszValue) + 1);
}

LONG CRegKey::SetKeyValue(LPCSTR lpszKeyName, LPCSTR lpszValue, LPCSTR lpszValueName)
{
    CRegKey key;
    LONG lRes = key.Create(m_hKey, lpszKeyName);
    if (lRes != ERROR_SUCCESS)
        return lRes;
    return key.SetValue(lpszValue, lpszValueName);
}

LONG WINAPI CRegKey::SetValue(HKEY hKeyParent, LPCSTR lpszKeyName, LPCSTR lpszValue,
                              LPCSTR lpszValueName)
{
    CRegKey key;
    LONG lRes = key.Create(hKeyParent, lpszKeyName);
    if (lRes != ERROR_SUCCESS)
        return lRes;
    return key.SetValue(lpszValue, lpszValueName);
}

LONG CRegKey::QueryValue(DWORD& dwValue, LPCSTR lpszValueName)
{
    DWORD dwType = 0;
    DWORD dwCount = sizeof(DWORD);
    DWORD dw = 0;
    LONG lRes = RegQueryValueExA(m_hKey, lpszValueName, NULL, &dwType, (LPBYTE)&dw, &dwCount);
    if (lRes == ERROR_SUCCESS)
        dwValue = dw;
    return lRes;
}

LONG CRegKey::QueryValue(LPSTR szValue, LPCSTR lpszValueName, DWORD* pdwCount)
{
    DWORD dwType = 0;
    return RegQueryValueExA(m_hKey, lpszValueName, NULL, &dwType, (LPBYTE)szValue, pdwCount);
}

LONG CRegKey::DeleteValue(LPCSTR lpszValue)
{
    return RegDeleteValueA(m_hKey, lpszValue);
}

LONG CRegKey::DeleteSubKey(LPCSTR lpszSubKey)
{
    return RegDeleteKeyA(m_hKey, lpszSubKey);
}

LONG CRegKey::RecurseDeleteKey(LPCSTR lpszKey)
{
    CRegKey key;
    LONG lRes = key.Open(m_hKey, lpszKey, KEY_READ | KEY_WRITE);
    if (lRes != ERROR_SUCCESS)
        return lRes;
    char szBuffer[256];
    DWORD dwSize = sizeof(szBuffer);
    FILETIME time;
    // Always take the first subkey: each pass removes it.
    while (RegEnumKeyExA(key.m_hKey, 0, szBuffer, &dwSize, NULL, NULL, NULL, &time) == ERROR_SUCCESS) {
        lRes = key.RecurseDeleteKey(szBuffer);
        if (lRes != ERROR_SUCCESS)
            return lRes;
        dwSize = sizeof(szBuffer);
    }
    key.Close();
    return DeleteSubKey(lpszKey);
}

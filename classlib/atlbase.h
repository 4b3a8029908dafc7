// CRegKey: one open registry key.
#ifndef VGL_ATLBASE_H
#define VGL_ATLBASE_H

#include <windows.h>

class CRegKey
{
public:
    CRegKey();
    ~CRegKey();

    operator HKEY() const { return m_hKey; }

    LONG Create(HKEY hKeyParent, LPCSTR lpszKeyName, LPSTR lpszClass = NULL,
                DWORD dwOptions = REG_OPTION_NON_VOLATILE, REGSAM samDesired = KEY_ALL_ACCESS,
                LPSECURITY_ATTRIBUTES lpSecAttr = NULL, LPDWORD lpdwDisposition = NULL);
    LONG Open(HKEY hKeyParent, LPCSTR lpszKeyName, REGSAM samDesired = KEY_ALL_ACCESS);
    LONG Close();
    HKEY Detach();
    void Attach(HKEY hKey);

    LONG SetValue(DWORD dwValue, LPCSTR lpszValueName);
    LONG SetValue(LPCSTR lpszValue, LPCSTR lpszValueName = NULL);
    // Creates the subkey and sets its value.
    LONG SetKeyValue(LPCSTR lpszKeyName, LPCSTR lpszValue, LPCSTR lpszValueName = NULL);
    static LONG WINAPI SetValue(HKEY hKeyParent, LPCSTR lpszKeyName, LPCSTR lpszValue,
                                LPCSTR lpszValueName = NULL);

    LONG QueryValue(DWORD& dwValue, LPCSTR lpszValueName);
    // *pdwCount: the buffer's size in, the bytes stored (with the terminator) out.
    LONG QueryValue(LPSTR szValue, LPCSTR lpszValueName, DWORD* pdwCount);

    LONG DeleteValue(LPCSTR lpszValue);
    LONG DeleteSubKey(LPCSTR lpszSubKey);
    // Deletes the subkey with everything below it.
    LONG RecurseDeleteKey(LPCSTR lpszKey);

    HKEY m_hKey;

private:
    CRegKey(const CRegKey&);
    void operator=(const CRegKey&);
};

#endif

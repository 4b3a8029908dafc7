// The configuration store's own registry reads and writes under HKEY_LOCAL_MACHINE;
// shared by its source files, not used elsewhere.
#ifndef VGL_REGISTRYKEYACCESS_H
#define VGL_REGISTRYKEYACCESS_H

#include "afx.h"
#include "atlbase.h"

namespace NS_RegistryKeyAccess
{
    const REGSAM KEY_READ_WRITE = KEY_READ | KEY_WRITE;

    // HKLM\pszPath; the registry's error code.
    LONG openKey(CRegKey& key, LPCSTR pszPath, REGSAM samDesired);

    // Reads on an open key: TRUE when the value was read.
    BOOL queryDword(HKEY hKey, LPCSTR pszName, DWORD& dwOut);         // REG_DWORD only
    BOOL queryFlag(HKEY hKey, LPCSTR pszName, BOOL& fOut);            // up to 4 bytes, nonzero
    BOOL queryString(HKEY hKey, LPCSTR pszName, CString& strOut);     // any length
    // FALSE (strOut empty) when the text with its terminator exceeds cbBuffer bytes.
    BOOL queryStringLimited(HKEY hKey, LPCSTR pszName, DWORD cbBuffer, CString& strOut);
    BOOL hasValue(HKEY hKey, LPCSTR pszName);
    BOOL writeDword(HKEY hKey, LPCSTR pszName, DWORD dwValue);
    BOOL writeString(HKEY hKey, LPCSTR pszName, LPCSTR pszText);

    // One value of HKLM\pszPath: the first default when the value is missing, the
    // second when the key cannot be opened.
    DWORD getDword(LPCSTR pszPath, LPCSTR pszName, DWORD dwMissing, DWORD dwNoKey);
    BOOL getFlag(LPCSTR pszPath, LPCSTR pszName, BOOL fMissing, BOOL fNoKey);
    CString getString(LPCSTR pszPath, LPCSTR pszName);
    // The default is stored when the value is missing.
    DWORD getDwordWrittenBack(LPCSTR pszPath, LPCSTR pszName, DWORD dwDefault);
    BOOL setDword(LPCSTR pszPath, LPCSTR pszName, DWORD dwValue);
    BOOL setString(LPCSTR pszPath, LPCSTR pszName, LPCSTR pszText);

    // Settings file reads (the default when the file, section or key is missing).
    int iniInt(LPCSTR pszSection, LPCSTR pszKey, int nDefault);
    CString iniString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault);
}

#endif

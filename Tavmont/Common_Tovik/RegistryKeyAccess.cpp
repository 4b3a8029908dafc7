#include "RegistryKeyAccess.h"

#include "RegKeyEx.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "Utils_RegKey.h"

#include <string.h>
#include <vector>

namespace NS_RegistryKeyAccess
{

LONG openKey(CRegKey& key, LPCSTR pszPath, REGSAM samDesired)
{
    return key.Open(HKEY_LOCAL_MACHINE, pszPath, samDesired);
}

BOOL queryDword(HKEY hKey, LPCSTR pszName, DWORD& dwOut)
{
    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    if (RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)&dwValue, &cb) != ERROR_SUCCESS ||
        dwType != REG_DWORD)
        return FALSE;
    dwOut = dwValue;
    return TRUE;
}

BOOL queryFlag(HKEY hKey, LPCSTR pszName, BOOL& fOut)
{
    CRegKeyEx key;
    key.Attach(hKey);
    BOOL fValue = FALSE;
    LONG lResult = key.QueryBoolValue(fValue, pszName);
    key.Detach();
    if (lResult != ERROR_SUCCESS)
        return FALSE;
    fOut = fValue;
    return TRUE;
}

BOOL hasValue(HKEY hKey, LPCSTR pszName)
{
    return RegQueryValueExA(hKey, pszName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

BOOL queryString(HKEY hKey, LPCSTR pszName, CString& strOut)
{
    if (!hasValue(hKey, pszName))
        return FALSE;
    strOut = readRegistryString(hKey, pszName);
    return TRUE;
}

BOOL queryStringLimited(HKEY hKey, LPCSTR pszName, DWORD cbBuffer, CString& strOut)
{
    strOut.Empty();
    std::vector<char> buffer(cbBuffer + 1, '\0');
    DWORD cb = cbBuffer;
    if (RegQueryValueExA(hKey, pszName, NULL, NULL, (LPBYTE)&buffer[0], &cb) != ERROR_SUCCESS)
        return FALSE;
    buffer[cb < cbBuffer ? cb : cbBuffer] = '\0';
    strOut = &buffer[0];
    return TRUE;
}

BOOL writeDword(HKEY hKey, LPCSTR pszName, DWORD dwValue)
{
    return setRegistryDword(hKey, pszName, dwValue);
}

BOOL writeString(HKEY hKey, LPCSTR pszName, LPCSTR pszText)
{
    return setRegistryString(hKey, pszName, pszText != NULL ? pszText : "");
}

DWORD getDword(LPCSTR pszPath, LPCSTR pszName, DWORD dwMissing, DWORD dwNoKey)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_READ) != ERROR_SUCCESS)
        return dwNoKey;
    DWORD dwValue = dwMissing;
    queryDword(key, pszName, dwValue);
    return dwValue;
}

BOOL getFlag(LPCSTR pszPath, LPCSTR pszName, BOOL fMissing, BOOL fNoKey)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_READ) != ERROR_SUCCESS)
        return fNoKey;
    BOOL fValue = fMissing;
    queryFlag(key, pszName, fValue);
    return fValue;
}

CString getString(LPCSTR pszPath, LPCSTR pszName)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_READ) != ERROR_SUCCESS)
        return CString();
    return readRegistryString(key, pszName);
}

DWORD getDwordWrittenBack(LPCSTR pszPath, LPCSTR pszName, DWORD dwDefault)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_READ_WRITE) != ERROR_SUCCESS)
        return dwDefault;
    DWORD dwValue = 0;
    if (queryDword(key, pszName, dwValue))
        return dwValue;
    writeDword(key, pszName, dwDefault);
    return dwDefault;
}

BOOL setDword(LPCSTR pszPath, LPCSTR pszName, DWORD dwValue)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    return writeDword(key, pszName, dwValue);
}

BOOL setString(LPCSTR pszPath, LPCSTR pszName, LPCSTR pszText)
{
    CRegKey key;
    if (openKey(key, pszPath, KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    return writeString(key, pszName, pszText);
}

int iniInt(LPCSTR pszSection, LPCSTR pszKey, int nDefault)
{
    return (int)GetPrivateProfileIntA(pszSection, pszKey, nDefault,
                                      NS_RegistryKey::GetVglscanIniPath());
}

CString iniString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault)
{
    return getProfileString(pszSection, pszKey, pszDefault, NS_RegistryKey::GetVglscanIniPath());
}

}

#include "Utils_RegKey.h"

#include "LogTracker.h"
#include "SystemError.h"

#include <string.h>

namespace
{
inline BOOL IsEmptyText(LPCSTR psz)
{
    return psz == NULL || *psz == '\0';
}

// Position of the last backslash (a lead byte and the byte after it are one character);
// -1 when there is none.
int FindLastBackslash(LPCSTR psz)
{
    int nLast = -1;
    for (int i = 0; psz[i] != '\0'; ++i)
    {
        if (IsDBCSLeadByte((BYTE)psz[i]) && psz[i + 1] != '\0')
            ++i;
        else if (psz[i] == '\\')
            nLast = i;
    }
    return nLast;
}

// Opens HKLM\subkey with full access: 3 tries, 1 second apart.
HKEY OpenRunKeyWithRetries(LPCSTR pszSubKey)
{
    for (int nTry = 0; nTry < 3; ++nTry)
    {
        if (nTry > 0)
            Sleep(1000);
        HKEY hKey = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS)
            return hKey;
    }
    return NULL;
}

BOOL WriteStartupValue(LPCSTR pszSubKey, LPCSTR pszValueName, LPCSTR pszData)
{
    HKEY hKey = NULL;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &hKey, &dwDisposition) != ERROR_SUCCESS)
        return FALSE;
    LONG lResult = RegSetValueExA(hKey, pszValueName, 0, REG_SZ, (const BYTE*)pszData,
                                  (DWORD)strlen(pszData) + 1);
    VGLTRACE(3, "    %ld = ::RegSetValueEx(%s, %s, %s)", lResult, pszSubKey, pszValueName, pszData);
    RegCloseKey(hKey);
    return TRUE;
}

BOOL IsStartupValueExist(LPCSTR pszSubKey, LPCSTR pszValueName)
{
    if (IsEmptyText(pszValueName))
        return FALSE;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return FALSE;
    LONG lResult = RegQueryValueExA(hKey, pszValueName, NULL, NULL, NULL, NULL);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL DeleteStartupValue(LPCSTR pszSubKey, LPCSTR pszValueName)
{
    if (IsEmptyText(pszValueName))
        return FALSE;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return FALSE;
    RegDeleteValueA(hKey, pszValueName);
    RegCloseKey(hKey);
    return TRUE;
}

// The default value of the key into the buffer, always zero-terminated.
BOOL ReadDefaultValue(HKEY hRoot, LPCSTR pszSubKey, LPSTR pszBuffer, DWORD cbBuffer)
{
    if (pszBuffer == NULL || cbBuffer == 0)
        return FALSE;
    pszBuffer[0] = '\0';
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD cb = cbBuffer;
    LONG lResult = RegQueryValueExA(hKey, NULL, NULL, NULL, (BYTE*)pszBuffer, &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
    {
        pszBuffer[0] = '\0';
        return FALSE;
    }
    pszBuffer[cb < cbBuffer ? cb : cbBuffer - 1] = '\0';
    return TRUE;
}

BOOL IsKeyExist(HKEY hRoot, LPCSTR pszSubKey)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(hKey);
    return TRUE;
}

// Deletes parent\name with everything below it when it exists.
void DeleteExistingKey(HKEY hRoot, LPCSTR pszParent, LPCSTR pszName)
{
    if (IsEmptyText(pszName))
        return;
    CString strPath = CString(pszParent) + pszName;
    if (!IsKeyExist(hRoot, strPath))
        return;
    deleteKeyByPath(hRoot, strPath);
}

// "<folder and name>.inf" of a file path.
CString InfPathOf(LPCSTR pszPath)
{
    int nDot = -1;
    int i = 0;
    for (; pszPath[i] != '\0'; ++i)
    {
        if (IsDBCSLeadByte((BYTE)pszPath[i]) && pszPath[i + 1] != '\0')
            ++i;
        else if (pszPath[i] == '\\' || pszPath[i] == '/')
            nDot = -1;
        else if (pszPath[i] == '.')
            nDot = i;
    }
    return CString(pszPath, nDot >= 0 ? nDot : i) + ".inf";
}
} // namespace

// ---------------------------------------------------------------------------
// Values

CString readRegistryString(HKEY hKey, LPCSTR pszValueName)
{
    CString strValue;
    DWORD dwType = 0;
    DWORD cb = 0;
    if (RegQueryValueExA(hKey, pszValueName, NULL, &dwType, NULL, &cb) != ERROR_SUCCESS || cb == 0)
        return strValue;
    LPSTR pszBuffer = strValue.GetBuffer((int)cb);
    DWORD cbRead = cb;
    LONG lResult = RegQueryValueExA(hKey, pszValueName, NULL, &dwType, (BYTE*)pszBuffer, &cbRead);
    if (lResult != ERROR_SUCCESS)
        cbRead = 0;
    // The data need not carry its zero.
    pszBuffer[cbRead < cb ? cbRead : cb] = '\0';
    strValue.ReleaseBuffer();
    return strValue;
}

DWORD readRegistryDword(HKEY hKey, LPCSTR pszValueName)
{
    BYTE data[sizeof(DWORD)] = {0};
    DWORD cb = sizeof(data);
    LONG lResult = RegQueryValueExA(hKey, pszValueName, NULL, NULL, data, &cb);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA)
        return 0;
    if (lResult == ERROR_MORE_DATA)
    {
        // Longer data: its first 32 bits.
        BYTE* pData = new BYTE[cb];
        DWORD cbAll = cb;
        lResult = RegQueryValueExA(hKey, pszValueName, NULL, NULL, pData, &cbAll);
        if (lResult == ERROR_SUCCESS)
            memcpy(data, pData, sizeof(data));
        delete[] pData;
        if (lResult != ERROR_SUCCESS)
            return 0;
    }
    DWORD dwValue;
    memcpy(&dwValue, data, sizeof(dwValue));
    return dwValue;
}

BOOL setRegistryString(HKEY hKey, LPCSTR pszValueName, LPCSTR pszText)
{
    if (pszText == NULL)
        pszText = "";
    return RegSetValueExA(hKey, pszValueName, 0, REG_SZ, (const BYTE*)pszText,
                          (DWORD)strlen(pszText) + 1) == ERROR_SUCCESS;
}

BOOL setRegistryDword(HKEY hKey, LPCSTR pszValueName, DWORD dwValue)
{
    return RegSetValueExA(hKey, pszValueName, 0, REG_DWORD, (const BYTE*)&dwValue,
                          sizeof(dwValue)) == ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Start-up entries

BOOL setRegistryRunKey(LPCSTR pszCommand, LPCSTR pszValueName)
{
    VGLTRACE(1, "-->::setRegistryRunKey(pszCommand = %s, pszValueName = %s)",
             pszCommand ? pszCommand : "", pszValueName ? pszValueName : "");
    if (IsEmptyText(pszValueName))
        return FALSE;
    if (pszCommand == NULL)
        pszCommand = "";

    char szData[RUN_COMMAND_BUFFER_SIZE];
    size_t cchCommand = strlen(pszCommand);
    BOOL fAppend = strstr(pszCommand, "-HideWindow") == NULL;
    size_t cchTotal = cchCommand + (fAppend ? strlen(RUN_HIDE_WINDOW_SWITCH) : 0);
    if (cchTotal >= sizeof(szData))
    {
        VGLTRACE(12, "::setRegistryRunKey(), command of %u bytes does not fit", (unsigned)cchTotal);
        return FALSE;
    }
    memcpy(szData, pszCommand, cchCommand + 1);
    if (fAppend)
        strcat(szData, RUN_HIDE_WINDOW_SWITCH);

    BOOL fResult = WriteStartupValue(REGSTR_RUN_KEY, pszValueName, szData);
    VGLTRACE(2, "<--::setRegistryRunKey(), %d", fResult);
    return fResult;
}

BOOL repairRegistryRunKey(LPCSTR pszCommand, LPCSTR pszValueName)
{
    VGLTRACE(1, "-->::repairRegistryRunKey(pszCommand = %s, pszValueName = %s)",
             pszCommand ? pszCommand : "", pszValueName ? pszValueName : "");
    if (IsEmptyText(pszValueName))
        return FALSE;
    if (pszCommand == NULL)
        pszCommand = "";

    HKEY hKey = OpenRunKeyWithRetries(REGSTR_RUN_KEY);
    if (hKey == NULL)
    {
        VGLTRACE(12, "::repairRegistryRunKey(), the Run key does not open");
        return FALSE;
    }

    const size_t cchSwitch = strlen(RUN_HIDE_WINDOW_SWITCH);
    char szData[RUN_COMMAND_BUFFER_SIZE];
    DWORD cbData = sizeof(szData) - 1;
    DWORD dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, pszValueName, NULL, &dwType, (BYTE*)szData, &cbData);
    BOOL fExist = (lResult == ERROR_SUCCESS || lResult == ERROR_MORE_DATA);
    if (!fExist)
    {
        size_t cchCommand = strlen(pszCommand);
        if (cchCommand + cchSwitch < sizeof(szData))
        {
            memcpy(szData, pszCommand, cchCommand);
            memcpy(szData + cchCommand, RUN_HIDE_WINDOW_SWITCH, cchSwitch + 1);
            setRegistryString(hKey, pszValueName, szData);
        }
        else
            VGLTRACE(12, "::repairRegistryRunKey(), command of %u bytes does not fit",
                     (unsigned)cchCommand);
    }
    else if (lResult == ERROR_SUCCESS)
    {
        szData[cbData] = '\0';
        size_t cchData = strlen(szData);
        if (strstr(szData, RUN_HIDE_WINDOW_SWITCH) == NULL)
        {
            if (cchData + cchSwitch < sizeof(szData))
            {
                memcpy(szData + cchData, RUN_HIDE_WINDOW_SWITCH, cchSwitch + 1);
                setRegistryString(hKey, pszValueName, szData);
            }
            else
                VGLTRACE(12, "::repairRegistryRunKey(), value of %u bytes left as it is",
                         (unsigned)cchData);
        }
    }
    // A value too long for the buffer is left as it is.
    RegCloseKey(hKey);
    VGLTRACE(2, "<--::repairRegistryRunKey(), %d", fExist);
    return fExist;
}

BOOL isRegistryRunKeyExist(LPCSTR pszValueName)
{
    return IsStartupValueExist(REGSTR_RUN_KEY, pszValueName);
}

BOOL deleteRegistryRunKey(LPCSTR pszValueName)
{
    return DeleteStartupValue(REGSTR_RUN_KEY, pszValueName);
}

BOOL setRegistryRunServicesKey(LPCSTR pszCommand, LPCSTR pszValueName)
{
    if (IsEmptyText(pszValueName))
        return FALSE;
    return WriteStartupValue(REGSTR_RUNSERVICES_KEY, pszValueName, pszCommand ? pszCommand : "");
}

BOOL isRegistryRunServicesKeyExist(LPCSTR pszValueName)
{
    return IsStartupValueExist(REGSTR_RUNSERVICES_KEY, pszValueName);
}

BOOL deleteRegistryRunServicesKey(LPCSTR pszValueName)
{
    return DeleteStartupValue(REGSTR_RUNSERVICES_KEY, pszValueName);
}

BOOL removeDuplicateValues(HKEY hRoot, LPCSTR pszSubKey, LPCSTR pszOwnValueName, LPCSTR pszText)
{
    VGLTRACE(1, "-->::removeDuplicateValues(pszSubKey = %s, pszOwnValueName = %s, pszText = %s)",
             pszSubKey ? pszSubKey : "", pszOwnValueName ? pszOwnValueName : "",
             pszText ? pszText : "");
    if (hRoot == NULL || IsEmptyText(pszSubKey) || IsEmptyText(pszOwnValueName) ||
        IsEmptyText(pszText))
        return FALSE;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return FALSE;

    CString strText(pszText);
    strText.MakeLower();
    BOOL fResult = TRUE;
    for (DWORD dwIndex = 0;;)
    {
        char szName[256];
        DWORD cchName = sizeof(szName);
        LONG lResult = RegEnumValueA(hKey, dwIndex, szName, &cchName, NULL, NULL, NULL, NULL);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS)
        {
            fResult = FALSE;
            break;
        }
        if (_stricmp(szName, pszOwnValueName) == 0)
        {
            ++dwIndex;
            continue;
        }
        char szData[257];
        DWORD cbData = sizeof(szData) - 1;
        if (RegQueryValueExA(hKey, szName, NULL, NULL, (BYTE*)szData, &cbData) != ERROR_SUCCESS)
        {
            fResult = FALSE;
            break;
        }
        szData[cbData] = '\0';
        CString strData(szData);
        strData.MakeLower();
        if (strData.Find(strText) >= 0)
        {
            LONG lDeleted = RegDeleteValueA(hKey, szName);
            VGLTRACE(3, "    %ld = ::RegDeleteValue(%s = %s)", lDeleted, szName, szData);
            if (lDeleted == ERROR_SUCCESS)
                continue;   // the next value now has this index
        }
        ++dwIndex;
    }
    RegCloseKey(hKey);
    VGLTRACE(2, "<--::removeDuplicateValues(), %d", fResult);
    return fResult;
}

BOOL removeDuplicateRunValues(LPCSTR pszOwnValueName, LPCSTR pszText)
{
    return removeDuplicateValues(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, pszOwnValueName, pszText);
}

BOOL removeDuplicateRunServicesValues(LPCSTR pszOwnValueName, LPCSTR pszText)
{
    return removeDuplicateValues(HKEY_LOCAL_MACHINE, REGSTR_RUNSERVICES_KEY, pszOwnValueName,
                                 pszText);
}

// ---------------------------------------------------------------------------
// Key deletion

LONG deleteKeyTree(HKEY hParent, LPCSTR pszSubKey)
{
    if (IsEmptyText(pszSubKey))
        return 0;
    HKEY hKey = NULL;
    LONG lResult = RegOpenKeyExA(hParent, pszSubKey, 0, KEY_ALL_ACCESS, &hKey);
    if (lResult != ERROR_SUCCESS)
        return lResult;

    char szChild[MAX_PATH + 1];
    for (;;)
    {
        DWORD cchChild = sizeof(szChild);
        FILETIME ft;
        if (RegEnumKeyExA(hKey, 0, szChild, &cchChild, NULL, NULL, NULL, &ft) != ERROR_SUCCESS)
            break;
        // A child that cannot go would be found first again and again.
        if (deleteKeyTree(hKey, szChild) != TRUE)
            break;
    }
    RegCloseKey(hKey);
    return RegDeleteKeyA(hParent, pszSubKey) == ERROR_SUCCESS ? TRUE : FALSE;
}

void deleteKeyByPath(HKEY hRoot, LPCSTR pszPath)
{
    if (IsEmptyText(pszPath))
        return;
    int nSlash = FindLastBackslash(pszPath);
    if (nSlash < 0)
        return;
    CString strParent(pszPath, nSlash);
    HKEY hParent = NULL;
    if (RegOpenKeyExA(hRoot, strParent, 0, KEY_ALL_ACCESS, &hParent) != ERROR_SUCCESS)
        return;
    deleteKeyTree(hParent, pszPath + nSlash + 1);
    RegCloseKey(hParent);
}

BOOL deleteKey(HKEY hRoot, LPCSTR pszSubKey)
{
    if (IsEmptyText(pszSubKey) || !IsKeyExist(hRoot, pszSubKey))
        return FALSE;
    deleteKeyTree(hRoot, pszSubKey);
    return TRUE;
}

BOOL deleteKeyIfEmpty(HKEY hRoot, LPCSTR pszSubKey)
{
    if (IsEmptyText(pszSubKey))
        return FALSE;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwSubKeys = 0;
    LONG lResult = RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &dwSubKeys, NULL, NULL, NULL, NULL,
                                    NULL, NULL, NULL);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwSubKeys != 0)
        return FALSE;
    return RegDeleteKeyA(hRoot, pszSubKey) == ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// COM classes

BOOL getInprocServer32Path(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer)
{
    CString strKey;
    strKey.Format("CLSID\\%s\\InprocServer32", pszClsid ? pszClsid : "");
    return ReadDefaultValue(HKEY_CLASSES_ROOT, strKey, pszBuffer, cbBuffer);
}

BOOL getProgIdOfClass(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer)
{
    CString strKey;
    strKey.Format("CLSID\\%s\\ProgID", pszClsid ? pszClsid : "");
    return ReadDefaultValue(HKEY_CLASSES_ROOT, strKey, pszBuffer, cbBuffer);
}

BOOL getVersionIndependentProgId(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer)
{
    CString strKey;
    strKey.Format("CLSID\\%s\\VersionIndependentProgID", pszClsid ? pszClsid : "");
    return ReadDefaultValue(HKEY_CLASSES_ROOT, strKey, pszBuffer, cbBuffer);
}

void deleteClsidKey(LPCSTR pszClsid)
{
    DeleteExistingKey(HKEY_CLASSES_ROOT, "CLSID\\", pszClsid);
}

void deleteClassesRootKey(LPCSTR pszName)
{
    if (IsEmptyText(pszName) || !IsKeyExist(HKEY_CLASSES_ROOT, pszName))
        return;
    deleteKeyTree(HKEY_CLASSES_ROOT, pszName);
}

void deleteLocalMachineClsidKey(LPCSTR pszClsid)
{
    DeleteExistingKey(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\CLSID\\", pszClsid);
}

void deleteLocalMachineClassesKey(LPCSTR pszName)
{
    DeleteExistingKey(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\", pszName);
}

BOOL unregisterComServer(LPCSTR pszLibraryPath)
{
    VGLTRACE(1, "-->::unregisterComServer(pszLibraryPath = %s)", pszLibraryPath ? pszLibraryPath : "");
    if (IsEmptyText(pszLibraryPath))
        return FALSE;
    HMODULE hLibrary = LoadLibraryExA(pszLibraryPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hLibrary == NULL)
    {
        VGLTRACE(12, "::unregisterComServer(), LoadLibraryEx failed, %lu", GetLastError());
        return FALSE;
    }
    typedef HRESULT(__stdcall * PFN_UNREGISTER)(void);
    PFN_UNREGISTER pfnUnregister = (PFN_UNREGISTER)GetProcAddress(hLibrary, "DllUnregisterServer");
    HRESULT hr = E_FAIL;
    if (pfnUnregister != NULL)
        hr = pfnUnregister();
    FreeLibrary(hLibrary);
    VGLTRACE(2, "<--::unregisterComServer(), 0x%lX", (unsigned long)hr);
    return SUCCEEDED(hr);
}

BOOL deleteFileAndInf(LPCSTR pszPath)
{
    if (IsEmptyText(pszPath))
        return FALSE;
    if (!DeleteFileA(pszPath))
    {
        DWORD dwError = GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND)
            return FALSE;
        THROW_SYSTEM_ERROR(dwError);
    }
    CString strInf = InfPathOf(pszPath);
    if (!DeleteFileA(strInf))
    {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
            THROW_SYSTEM_ERROR(dwError);
    }
    return TRUE;
}

BOOL deleteDistributionUnit(LPCSTR pszClsid)
{
    CString strKey;
    strKey.Format("Software\\Microsoft\\Code Store Database\\Distribution Units\\%s",
                  pszClsid ? pszClsid : "");
    return deleteKey(HKEY_LOCAL_MACHINE, strKey);
}

BOOL removeActiveXControl(LPCSTR pszClsid)
{
    VGLTRACE(1, "-->::removeActiveXControl(pszClsid = %s)", pszClsid ? pszClsid : "");
    char szProgId[512];
    char szIndependentProgId[512];
    char szServer[MAX_PATH];
    getProgIdOfClass(pszClsid, szProgId, sizeof(szProgId));
    getVersionIndependentProgId(pszClsid, szIndependentProgId, sizeof(szIndependentProgId));
    BOOL fServer = getInprocServer32Path(pszClsid, szServer, sizeof(szServer));

    if (fServer && szServer[0] != '\0' && GetFileAttributesA(szServer) != INVALID_FILE_ATTRIBUTES)
    {
        unregisterComServer(szServer);
        deleteFileAndInf(szServer);
    }

    if (!IsEmptyText(pszClsid))
    {
        CString strClassKey;
        strClassKey.Format("CLSID\\%s", pszClsid);
        if (IsKeyExist(HKEY_CLASSES_ROOT, strClassKey))
        {
            deleteClsidKey(pszClsid);
            deleteClassesRootKey(szProgId);
            deleteClassesRootKey(szIndependentProgId);
            deleteLocalMachineClsidKey(pszClsid);
            deleteLocalMachineClassesKey(szProgId);
            deleteLocalMachineClassesKey(szIndependentProgId);
        }
    }
    BOOL fResult = deleteDistributionUnit(pszClsid);
    VGLTRACE(2, "<--::removeActiveXControl(), %d", fResult);
    return fResult;
}

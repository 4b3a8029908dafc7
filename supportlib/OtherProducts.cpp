#include "OtherProducts.h"

#include <winsock.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{
struct SProductRow
{
    const char* pszName;
    const char* pszKey;             // root name, backslash, subkey
};

const SProductRow s_serverProducts[] = {
    { "Bastionel", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Bastionel\\CurrentVersion" },
};

const SProductRow s_consumerProducts[] = {
    { "Kestrix 2002 for Windows 95/98", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2002\\Win9x" },
    { "Kestrix 2002 for Windows NT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2002\\WinNT" },
    { "Kestrix 2001 for Windows 95/98", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2001\\Win9x" },
    { "Kestrix 2001 for Windows NT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2001\\WinNT" },
    { "Kestrix 2000 for Windows 95/98", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2000\\Win9x" },
    { "Kestrix 2000 for Windows NT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\2000\\WinNT" },
    { "Kestrix 6 for Windows 95/98", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\6.0\\Win9x" },
    { "Kestrix 6 for Windows NT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\6.0\\WinNT" },
    { "Kestrix 5 for Windows 95/98", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\5.0\\Win9x" },
    { "Kestrix 5 for Windows NT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavrel\\Kestrix\\5.0\\WinNT" },
};

const char s_szServerProductKey[] = "SOFTWARE\\Kavrel\\Bastionel\\CurrentVersion";
const char s_szOusSection[] = "Other Update Source";
const int OUS_VALUE_SIZE = 1024;
const int CONSOLE_DIRECTORY_SIZE = 1024;

HKEY rootKey(const char* pszName, size_t cch)
{
    static const struct { const char* pszName; HKEY hKey; } s_roots[] = {
        { "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT },
        { "HKEY_CURRENT_USER", HKEY_CURRENT_USER },
        { "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE },
        { "HKEY_USERS", HKEY_USERS },
    };
    for (size_t i = 0; i < sizeof(s_roots) / sizeof(s_roots[0]); ++i)
        if (strlen(s_roots[i].pszName) == cch && strncmp(s_roots[i].pszName, pszName, cch) == 0)
            return s_roots[i].hKey;
    return NULL;
}

BOOL keyExists(const char* pszKeyPath)
{
    const char* pszSlash = strchr(pszKeyPath, '\\');
    if (pszSlash == NULL)
        return FALSE;
    HKEY hRoot = rootKey(pszKeyPath, pszSlash - pszKeyPath);
    HKEY hKey;
    if (hRoot == NULL || RegOpenKeyExA(hRoot, pszSlash + 1, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(hKey);
    return TRUE;
}

// The server product counts only when its console folder exists.
BOOL serverConsoleExists()
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_szServerProductKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szFolder[CONSOLE_DIRECTORY_SIZE];
    DWORD cb = sizeof(szFolder), dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, "ConsoleDirectory", NULL, &dwType, (BYTE*)szFolder, &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ)
        return FALSE;
    szFolder[sizeof(szFolder) - 1] = '\0';
    DWORD dwAttributes = GetFileAttributesA(szFolder);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "a.b.c.d", each 0 to 255; network byte order.
BOOL parseDotted(const char* pszText, DWORD* pdwAddress)
{
    unsigned anPart[4];
    int nCount = 0;
    const char* p = pszText;
    for (;;)
    {
        if (*p < '0' || *p > '9' || nCount == 4)
            return FALSE;
        unsigned n = 0;
        int nDigits = 0;
        while (*p >= '0' && *p <= '9')
        {
            n = n * 10 + (*p++ - '0');
            if (++nDigits > 3)
                return FALSE;
        }
        if (n > 255)
            return FALSE;
        anPart[nCount++] = n;
        if (*p == '\0')
            break;
        if (*p++ != '.')
            return FALSE;
    }
    if (nCount != 4)
        return FALSE;
    BYTE* pb = (BYTE*)pdwAddress;
    for (int i = 0; i < 4; ++i)
        pb[i] = (BYTE)anPart[i];
    return TRUE;
}

std::vector<char*> tokens(char* pszValue)
{
    std::vector<char*> result;
    for (char* psz = strtok(pszValue, ",\r\n"); psz != NULL; psz = strtok(NULL, ",\r\n"))
        result.push_back(psz);
    return result;
}
}

BOOL FindOtherProduct(int nKind, char* pszName, int nSize)
{
    if (pszName == NULL || nSize <= 0)
        return FALSE;
    pszName[0] = '\0';
    const SProductRow* pRows = nKind == OTHER_PRODUCT_SERVER ? s_serverProducts : s_consumerProducts;
    size_t nRows = nKind == OTHER_PRODUCT_SERVER
                       ? sizeof(s_serverProducts) / sizeof(s_serverProducts[0])
                       : sizeof(s_consumerProducts) / sizeof(s_consumerProducts[0]);
    if (nKind != OTHER_PRODUCT_SERVER && nKind != OTHER_PRODUCT_CONSUMER)
        return FALSE;
    for (size_t i = 0; i < nRows; ++i)
    {
        if (!keyExists(pRows[i].pszKey))
            continue;
        if (nKind == OTHER_PRODUCT_SERVER && !serverConsoleExists())
            return FALSE;
        lstrcpynA(pszName, pRows[i].pszName, nSize);
        return TRUE;
    }
    return FALSE;
}

int readOtherUpdateSources(const char* pszIniFile, OtherUpdateSource** ppSources)
{
    std::vector<OtherUpdateSource> sources;
    char szValue[OUS_VALUE_SIZE];
    for (int i = 0;; ++i)
    {
        char szKey[32];
        wsprintfA(szKey, "OUS%d", i);
        if (GetPrivateProfileStringA(s_szOusSection, szKey, "", szValue, sizeof(szValue),
                                     pszIniFile) == 0)
            break;
        std::vector<char*> parts = tokens(szValue);
        if (parts.size() < 3)
            continue;
        OtherUpdateSource source;
        DWORD dwFirst = INADDR_NONE, dwLast = INADDR_NONE;
        parseDotted(parts[0], &dwFirst);
        parseDotted(parts[1], &dwLast);
        source.dwFirst = ntohl(dwFirst);
        source.dwLast = ntohl(dwLast);
        const char* pszSource = parts[2];
        source.dwAddress = INADDR_NONE;
        if (parseDotted(parts[2], &source.dwAddress))
        {
            if (parts.size() < 4)
                continue;
            pszSource = parts[3];
        }
        lstrcpynA(source.szSource, pszSource, sizeof(source.szSource));
        sources.push_back(source);
    }
    *ppSources = NULL;
    if (!sources.empty())
    {
        *ppSources = new OtherUpdateSource[sources.size()];
        memcpy(*ppSources, &sources[0], sources.size() * sizeof(OtherUpdateSource));
    }
    return (int)sources.size();
}

BOOL getLocalIpAddress(DWORD* pdwAddress, int* pnError)
{
    WSADATA data;
    int nStartup = WSAStartup(MAKEWORD(1, 0), &data);
    if (nStartup != 0)
    {
        *pnError = nStartup;
        return FALSE;
    }
    BOOL fResult = FALSE;
    char szHost[256];
    hostent* pHost = NULL;
    if (gethostname(szHost, sizeof(szHost)) != 0 || (pHost = gethostbyname(szHost)) == NULL ||
        pHost->h_addr_list[0] == NULL)
        *pnError = WSAGetLastError();
    else
    {
        DWORD dwAddress;
        memcpy(&dwAddress, pHost->h_addr_list[0], sizeof(dwAddress));
        *pdwAddress = ntohl(dwAddress);
        fResult = TRUE;
    }
    WSACleanup();
    return fResult;
}

BOOL GetServerURL(const char* pszIniFile, char* pszSource, int nSize, int* pnError)
{
    if (pszSource == NULL || nSize <= 0)
        return FALSE;
    pszSource[0] = '\0';
    OtherUpdateSource* pSources = NULL;
    int nSources = readOtherUpdateSources(pszIniFile, &pSources);
    DWORD dwLocal = 0;
    BOOL fFound = FALSE;
    if (getLocalIpAddress(&dwLocal, pnError))
    {
        for (int i = 0; i < nSources && !fFound; ++i)
        {
            if (pSources[i].dwFirst <= dwLocal && dwLocal <= pSources[i].dwLast)
            {
                lstrcpynA(pszSource, pSources[i].szSource, nSize);
                fFound = TRUE;
            }
        }
    }
    delete[] pSources;
    return fFound;
}

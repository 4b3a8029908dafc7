#include "Quarantine.h"

#include <stdio.h>
#include <string.h>
#include <string>

#include "LogTracker.h"
#include "Misutils.h"
#include "QuarantineUpload.h"
#include "RegistryKey.h"

namespace
{
const char s_szReceiveProgram[] = "/vigilon/cgi/cgiRecvFile.exe";
const int TEXT_MAX = 1023;
const DWORD DOWNLOAD_TAG = 19;

void CopyLimited(char* pszTo, const char* pszFrom, size_t cbTo)
{
    pszTo[0] = '\0';
    if (pszFrom != NULL)
        lstrcpynA(pszTo, pszFrom, (int)cbTo);
}
}

BOOL isIsolatedMode()
{
    HKEY hKey = NULL;
    LONG lError = RegOpenKeyExA(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), 0, KEY_READ, &hKey);
    if (lError != ERROR_SUCCESS)
    {
        VGLTRACE(12, "RegOpenKeyEx %s failed. Can not detect Isolated mode. error=%d",
                 NS_RegistryKey::GetCurrentVersionKeyName(), (int)lError);
        return FALSE;
    }
    DWORD dwValue = 0, cb = sizeof dwValue, dwType = 0;
    lError = RegQueryValueExA(hKey, NS_RegistryKey::GetForceMobileValueName(), NULL, &dwType, (BYTE*)&dwValue, &cb);
    RegCloseKey(hKey);
    if (lError != ERROR_SUCCESS)
    {
        VGLTRACE(12, "RegQueryValueEx failed. Can not detect Isolated mode");
        return FALSE;
    }
    return dwValue != 0;
}

BOOL QuarantineFile(const char* pszLocalFile, const char* pszDestination)
{
    VGLTRACE(1, "--> QuarantineFile(%s, %s)", pszLocalFile, pszDestination ? pszDestination : "");
    BOOL fResult = FALSE;
    // No destination is set: the file stays in the suspect folder (an empty folder name would
    // put the infected file at the root of the drive).
    if (pszDestination == NULL || *pszDestination == '\0')
        VGLTRACE(12, "QuarantineFile: no quarantine destination, %s stays", pszLocalFile);
    else if (!isIsolatedMode())
    {
        BOOL fCopied = _strnicmp(pszDestination, "HTTP://", 7) == 0 ? HTTP_CopyFile(pszLocalFile, pszDestination)
                                                                  : UNC_CopyFile(pszLocalFile, pszDestination);
        if (fCopied)
        {
            if (deleteFileForce(pszLocalFile))
            {
                fResult = TRUE;
                VGLTRACE(3, "DeleteFileEx \"%s\" Success", pszLocalFile);
            }
            else
            {
                VGLTRACE(12, "DeleteFileEx \"%s\" Failed err=%d", pszLocalFile, (int)GetLastError());
            }
        }
    }
    VGLTRACE(2, "<-- QuarantineFile()");
    return fResult;
}

BOOL HTTP_CopyFile(const char* pszLocalFile, const char* pszDestination)
{
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD cch = sizeof szComputer;
    if (!GetComputerNameA(szComputer, &cch))
        szComputer[0] = '\0';

    char szServer[TEXT_MAX + 1];
    CopyLimited(szServer, strlen(pszDestination) > 7 ? pszDestination + 7 : "", sizeof szServer);
    char* pSlash = strchr(szServer, '/');
    if (pSlash != NULL)
        *pSlash = '\0';
    VGLTRACE(3, "Server = %s", szServer);

    DWORD dwPort = NS_RegistryKey::GetServerPort();
    BOOL fUseProxy = NS_RegistryKey::GetUseProxy();
    char szProxy[TEXT_MAX + 1], szLogin[TEXT_MAX + 1], szPassword[TEXT_MAX + 1];
    CopyLimited(szProxy, NS_RegistryKey::GetProxyServer(), sizeof szProxy);
    DWORD dwProxyPort = NS_RegistryKey::GetProxyPort();
    CopyLimited(szLogin, NS_RegistryKey::GetProxyLogin(), sizeof szLogin);
    CopyLimited(szPassword, fUseProxy ? (LPCSTR)NS_RegistryKey::GetProxyPassword() : "", sizeof szPassword);
    VGLTRACE(3, "ServerPort = %d", (int)dwPort);
    VGLTRACE(3, "UseProxy = %d", fUseProxy);
    VGLTRACE(3, "ProxyServer = %s", szProxy);
    VGLTRACE(3, "ProxyPort = %d", (int)dwProxyPort);
    VGLTRACE(3, "ProxyLogin = %s", szLogin);

    int nResult, nDetail = 0;
    try
    {
        nResult = UploadQuarantineFile(pszLocalFile, szComputer, szServer, dwPort, s_szReceiveProgram, &nDetail,
                                       fUseProxy, szProxy, dwProxyPort, szLogin, szPassword);
    }
    catch (...)
    {
        VGLTRACE(13, "HTTPUpload Exception!!!");
        nResult = 6;
    }
    if (nResult == QU_OK)
    {
        VGLTRACE(3, "HTTPUpload Success error=%d", nDetail);
        return TRUE;
    }
    VGLTRACE(12, "HTTPUpload Failed. error=%d:%d", nResult, nDetail);
    return FALSE;
}

BOOL UNC_CopyFile(const char* pszLocalFile, const char* pszFolder)
{
    const char* pszName = strrchr(pszLocalFile, '\\');
    pszName = pszName != NULL ? pszName + 1 : pszLocalFile;
    char szName[MAX_PATH];
    CopyLimited(szName, pszName, MAX_PATH - 1);
    // The stem: the name without its extension (from its last '.').
    char szStem[MAX_PATH];
    strcpy(szStem, szName);
    char* pDot = strrchr(szStem, '.');
    if (pDot != NULL)
        *pDot = '\0';

    // A target that does not fit in MAX_PATH is no name to copy to: never a cut one.
    std::string strTarget = std::string(pszFolder) + "\\" + szName;
    VGLTRACE(3, "CopyFile: szLocalPath=%s, szRemotePath=%s", pszLocalFile, strTarget.c_str());
    // The file's own name, then ".VIR", ".VI0".."VI9", ".V10".."V99" (102 names): never over
    // a file the folder holds, so that an earlier quarantined file of that name is kept.
    for (int nTry = 0; nTry < 102; ++nTry)
    {
        if (nTry > 0)
        {
            char szExt[8];
            if (nTry == 1)
                strcpy(szExt, ".VIR");
            else if (nTry < 12)
                sprintf(szExt, ".VI%d", nTry - 2);
            else
                sprintf(szExt, ".V%02d", nTry - 2);
            strTarget = std::string(pszFolder) + "\\" + szStem + szExt;
        }
        if (strTarget.size() > MAX_PATH - 1)
        {
            VGLTRACE(12, "CopyFile Failed: the target is longer than %d characters: %s", MAX_PATH - 1,
                     strTarget.c_str());
            // The other names are all of one length.
            if (nTry > 0)
                break;
            continue;
        }
        if (CopyFileA(pszLocalFile, strTarget.c_str(), TRUE))
        {
            VGLTRACE(2, "<-- UNC_CopyFile()");
            return TRUE;
        }
        VGLTRACE(12, "CopyFile Failed err=%d", (int)GetLastError());
    }
    VGLTRACE(12, "Copy file failed. (Error = %d), Src = %s, Dest = %s", (int)GetLastError(), pszLocalFile,
             strTarget.c_str());
    return FALSE;
}

int HTTP_GetFile(const char* pszOutFile, PFN_HTTP_PROGRESS pfnProgress, void* pContext, const char* pszServer,
                 DWORD dwPort, const char* pszObject, BOOL fUseProxy, const char* pszProxyServer, DWORD dwProxyPort,
                 const char* pszProxyLogin, const char* pszProxyPassword)
{
    typedef int(__stdcall * PFN_GET)(LoadHttpRequest*, PFN_HTTP_PROGRESS, void*);
    HMODULE hLibrary = LoadLibraryA("loadhttp.dll");
    if (hLibrary == NULL)
        return -1;
    PFN_GET pfnGet = (PFN_GET)GetProcAddress(hLibrary, "Get");
    if (pfnGet == NULL)
    {
        FreeLibrary(hLibrary);
        return -1;
    }
    char szUrl[1024];
    _snprintf(szUrl, sizeof szUrl - 1, "http://%s%s", pszServer ? pszServer : "", pszObject ? pszObject : "");
    szUrl[sizeof szUrl - 1] = '\0';
    LoadHttpRequest request;
    memset(&request, 0, sizeof request);
    request.pszUrl = szUrl;
    request.dwServerPort = dwPort;
    request.pszProxyHost = "";
    if (fUseProxy)
    {
        request.pszProxyHost = pszProxyServer ? pszProxyServer : "";
        request.dwProxyPort = dwProxyPort;
        request.dwUseProxy = 1;
        if (pszProxyLogin != NULL && *pszProxyLogin)
            CopyLimited(request.szProxyUser, pszProxyLogin, sizeof request.szProxyUser);
        if (pszProxyPassword != NULL && *pszProxyPassword)
            CopyLimited(request.szProxyPassword, pszProxyPassword, sizeof request.szProxyPassword);
    }
    request.get.pszLocalFile = pszOutFile;
    request.dwTag = DOWNLOAD_TAG;
    int nResult = pfnGet(&request, pfnProgress, pContext);
    FreeLibrary(hLibrary);
    return nResult;
}

#include "QuarantineUpload.h"

#include "KeyedCipher.h"
#include "MessageDigest5.h"

#include <errno.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <string>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static_assert(sizeof(void*) != 4 || sizeof(LoadHttpRequest) == 540, "request record layout");
static_assert(sizeof(void*) != 4 || offsetof(LoadHttpRequest, szProxyUser) == 280,
              "request record layout");
static_assert((int)LOAD_HTTP_REPLY_EVENT == (int)LOADHTTP_EVENT_REPLY, "reply event");

const char g_szQuarantineBoundary[] = "---------------------------7d21673b802fc\r\n";

namespace
{
const char s_szPartHeader[] =
    "Content-Disposition: form-data; name=\"newfile\"\r\n"
    "Content-Type: text/plain; ComputerName=\"%s\"; Verify=\"%s\"\r\n\r\n";
const char s_szAcknowledgement[] = "cgiRecvFile_OK";
const int BACKUP_PATH_UNITS = 1024;
const int BACKUP_INFO_BYTES = 8192;     // room for the engine's whole record
const int KEYED_TEXT_SIZE = 1024;
const int URL_SIZE = 2048;
const int PROXY_TEXT_MAX = 127;

typedef int (WINAPI* PFN_VSGETBACKUPFILEINFO)(const char* pszBackup, void* pInfo);
typedef int (WINAPI* PFN_VSGETBACKUPFILEINFOW)(const WCHAR* pszBackup, void* pInfo);

// The path the infected file had, from the backup file through the engine.
int readOriginalPath(const char* pszBackupFile, char* pszPath, int* pnError)
{
    pszPath[0] = '\0';
    HMODULE hEngine = LoadLibraryA("vexor32.dll");
    if (hEngine == NULL)
    {
        *pnError = (int)GetLastError();
        return QU_NO_ENGINE;
    }
    int nResult = QU_OK;
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(version);
    BYTE* pInfo = (BYTE*)calloc(1, BACKUP_INFO_BYTES);
    if (!GetVersionExA(&version) || pInfo == NULL)
    {
        *pnError = (int)GetLastError();
        nResult = QU_NO_ENGINE;
    }
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
    {
        PFN_VSGETBACKUPFILEINFO pfn =
            (PFN_VSGETBACKUPFILEINFO)GetProcAddress(hEngine, "VSGetBackupFileInfo");
        if (pfn == NULL)
        {
            *pnError = (int)GetLastError();
            nResult = QU_NO_ENGINE;
        }
        else
        {
            pfn(pszBackupFile, pInfo);
            lstrcpynA(pszPath, (const char*)pInfo, BACKUP_PATH_UNITS);
        }
    }
    else
    {
        PFN_VSGETBACKUPFILEINFOW pfn =
            (PFN_VSGETBACKUPFILEINFOW)GetProcAddress(hEngine, "VSGetBackupFileInfoW");
        if (pfn == NULL)
        {
            *pnError = (int)GetLastError();
            nResult = QU_NO_ENGINE;
        }
        else
        {
            WCHAR wszBackup[MAX_PATH * 2];
            if (!MultiByteToWideChar(CP_ACP, 0, pszBackupFile, -1, wszBackup, MAX_PATH * 2))
                wszBackup[0] = 0;
            pfn(wszBackup, pInfo);
            WCHAR* pwsz = (WCHAR*)pInfo;
            pwsz[BACKUP_PATH_UNITS - 1] = 0;
            if (!WideCharToMultiByte(CP_ACP, 0, pwsz, -1, pszPath, BACKUP_PATH_UNITS, NULL, NULL))
                pszPath[0] = '\0';
        }
    }
    free(pInfo);
    FreeLibrary(hEngine);
    return nResult;
}

// At most nMax characters of the text into a zero-filled field.
void copyField(char* pszField, const char* pszText, int nMax)
{
    if (pszText != NULL)
        lstrcpynA(pszField, pszText, nMax + 1);
}
}

BOOL computeQuarantineVerify(const char* pszOriginalPath, const char* pszComputerName,
                             char* pszDigest, UINT cbDigest)
{
    if (cbDigest > 0)
        pszDigest[0] = '\0';
    // Private to the call: uploads may run on several threads at once.
    size_t cchPath = strlen(pszOriginalPath), cchName = strlen(pszComputerName);
    char* pszText = (char*)malloc(cchPath + cchName + 1);
    if (pszText == NULL)
        return FALSE;
    memcpy(pszText, pszOriginalPath, cchPath);
    memcpy(pszText + cchPath, pszComputerName, cchName + 1);
    char szKeyed[KEYED_TEXT_SIZE] = "";
    int nSize = sizeof(szKeyed);
    int nResult = PWDEncrypt(szKeyed, pszText, &nSize);
    free(pszText);
    if (nResult != 0)
        return FALSE;
    CMessageDigest5 md5;
    return md5.GetHexDigest(szKeyed, (UINT)strlen(szKeyed), pszDigest, cbDigest);
}

int buildQuarantineUploadBody(const char* pszBackupFile, const char* pszComputerName,
                              char** ppBody, int* pcbBody, int* pnError)
{
    *ppBody = NULL;
    *pcbBody = 0;
    char szOriginal[BACKUP_PATH_UNITS];
    int nResult = readOriginalPath(pszBackupFile, szOriginal, pnError);
    if (nResult != QU_OK)
        return nResult;

    char szDigest[33];
    if (!computeQuarantineVerify(szOriginal, pszComputerName, szDigest, sizeof(szDigest)))
        return QU_NO_VERIFY;
    int cchHeader = _scprintf(s_szPartHeader, pszComputerName, szDigest);
    char* pszHeader = (char*)malloc(cchHeader + 1);
    if (pszHeader == NULL)
        return QU_CANNOT_OPEN;
    sprintf(pszHeader, s_szPartHeader, pszComputerName, szDigest);

    struct _stat st;
    if (_stat(pszBackupFile, &st) != 0)
    {
        *pnError = errno;
        free(pszHeader);
        return QU_CANNOT_SIZE;
    }
    const size_t cbBoundary = sizeof(g_szQuarantineBoundary) - 1;
    const size_t cbFile = (size_t)st.st_size;
    const size_t cbBody = cbBoundary + cchHeader + cbFile + 2 + cbBoundary;
    // Post takes the body's length as an int.
    if (st.st_size < 0 || cbBody > (size_t)INT_MAX)
    {
        *pnError = EFBIG;
        free(pszHeader);
        return QU_CANNOT_SIZE;
    }
    char* pBody = (char*)malloc(cbBody + 1);
    FILE* pFile = pBody ? fopen(pszBackupFile, "rb") : NULL;
    if (pFile == NULL)
    {
        free(pBody);
        free(pszHeader);
        return QU_CANNOT_OPEN;
    }
    char* p = pBody;
    memcpy(p, g_szQuarantineBoundary, cbBoundary);
    p += cbBoundary;
    memcpy(p, pszHeader, cchHeader);
    p += cchHeader;
    free(pszHeader);
    size_t cbRead = cbFile ? fread(p, 1, cbFile, pFile) : 0;
    fclose(pFile);
    if (cbRead != cbFile)
    {
        free(pBody);
        return QU_SHORT_READ;
    }
    p += cbFile;
    memcpy(p, "\r\n", 2);
    p += 2;
    memcpy(p, g_szQuarantineBoundary, cbBoundary);
    p += cbBoundary;
    *p = '\0';
    *ppBody = pBody;
    *pcbBody = (int)cbBody;
    return QU_OK;
}

int onUploadReply(int nEvent, const char* pszText, void* pContext)
{
    SUploadReply* pReply = (SUploadReply*)pContext;
    if (nEvent != LOAD_HTTP_REPLY_EVENT || pszText == NULL)
        return 1;
    if (*pszText == '\0')
    {
        pReply->szTail[0] = '\0';      // a zero byte: nothing before it joins what follows
        return 1;
    }
    std::string strSeen = std::string(pReply->szTail) + pszText;
    if (strSeen.find(s_szAcknowledgement) != std::string::npos)
        pReply->fAcknowledged = 1;
    // Enough of the end to complete a split acknowledgement.
    const size_t cchKeep = sizeof(s_szAcknowledgement) - 2;
    lstrcpynA(pReply->szTail, strSeen.c_str() + (strSeen.size() > cchKeep ? strSeen.size() - cchKeep : 0),
              sizeof(pReply->szTail));
    return 1;
}

int UploadQuarantineFile(const char* pszBackupFile, const char* pszComputerName,
                         const char* pszServer, DWORD dwServerPort, const char* pszCgiPath,
                         int* pnError, BOOL fUseProxy, const char* pszProxyServer,
                         DWORD dwProxyPort, const char* pszProxyUser, const char* pszProxyPassword)
{
    *pnError = 0;
    char* pBody = NULL;
    int cbBody = 0;
    int nResult = buildQuarantineUploadBody(pszBackupFile, pszComputerName, &pBody, &cbBody, pnError);
    if (nResult != QU_OK)
        return nResult;

    LoadHttpRequest request;
    memset(&request, 0, sizeof(request));
    char szUrl[URL_SIZE];
    _snprintf(szUrl, sizeof(szUrl) - 1, "http://%s%s", pszServer ? pszServer : "",
              pszCgiPath ? pszCgiPath : "");
    szUrl[sizeof(szUrl) - 1] = '\0';
    request.pszUrl = szUrl;
    request.dwServerPort = dwServerPort;
    request.dwUseProxy = fUseProxy ? 1 : 0;
    if (fUseProxy)
    {
        request.pszProxyHost = pszProxyServer;
        request.dwProxyPort = dwProxyPort;
        copyField(request.szProxyUser, pszProxyUser, PROXY_TEXT_MAX);
        copyField(request.szProxyPassword, pszProxyPassword, PROXY_TEXT_MAX);
    }
    request.dwTag = LOAD_HTTP_REQUEST_TAG;

    SUploadReply reply;
    memset(&reply, 0, sizeof(reply));
    int nStatus = Post(&request, onUploadReply, &reply, pBody, cbBody);
    free(pBody);
    if (nStatus != 200)
    {
        *pnError = nStatus;
        return QU_HTTP_STATUS;
    }
    return reply.fAcknowledged ? QU_OK : QU_NOT_ACKNOWLEDGED;
}

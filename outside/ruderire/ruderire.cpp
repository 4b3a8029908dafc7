// Ruderire.DLL: downloads components (pattern, engine, program) from an update
// server and unpacks them into the caller's target folder. A run is described by
// an array of component entries, a source record (the server's URL, port, user and
// proxy) and update flags.
//
// The server describes what it offers in "components.ini" of the update folder:
//   [Pattern] Version=<number>  File=<zip>  PatchFrom=<number>  PatchFile=<zip>
//   [Engine]  Version=<X.XXX>   File=<zip>
//   [Program] Version=<X.XX>    File=<zip>
// A component whose entry value is 0 is asked for; it is fetched when the server's
// version is newer than the entry's current one. A pattern patch (the update from
// exactly PatchFrom) is used unless the flags ask for the full pattern; applying it
// needs "Patch.EXE", and unpacking needs "Unzip.DLL", both beside this library.
//
// Every call is written to the journal: the file named by VGL_RUDERIRE_JOURNAL,
// else "Ruderire.log" beside the library.
#include <windows.h>
#include <wininet.h>

#include "journal.h"
#include "ruderire.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

typedef void* (__cdecl* PFN_UNZOPEN)(const char*);
typedef int (__cdecl* PFN_DO_EXTRACT)(void*, int, const char*, int, void*);
typedef int (__cdecl* PFN_UNZCLOSE)(void*);

namespace
{
enum
{
    KVU_OK = 0,
    KVU_E_ARGUMENT = 1,
    KVU_E_CONTEXT = 2,
    KVU_NOTHING_NEW = 4,
    KVU_E_PATCH = 7,
    KVU_E_CANCELLED = 10,
    KVU_E_CONNECT = 11,
    KVU_E_NOT_FOUND = 12,
    KVU_E_LIST = 13,
    KVU_E_DAMAGED = 14,
    KVU_E_WRITE = 15,
    KVU_E_UNZIP_MISSING = 16,
    KVU_E_PROXY = 27,
    KVU_E_PATCH_APPLY = 46,
};

const DWORD NO_MERGE_PATTERN = 0x40;

CRITICAL_SECTION g_lock;
std::map<std::string, std::string> g_properties;

struct SContext
{
    DWORD dwMagic;
    std::map<std::string, std::string> properties;
    std::string strPatchInfo;
};
const DWORD CONTEXT_MAGIC = 0x5556554B;

CJournal g_journal("Ruderire.log", "VGL_RUDERIRE_JOURNAL");

const char* text(const char* psz)
{
    return psz ? psz : "(null)";
}

SContext* context(void* pv)
{
    SContext* p = (SContext*)pv;
    return p != NULL && p->dwMagic == CONTEXT_MAGIC ? p : NULL;
}

std::string libraryFolder()
{
    HMODULE hSelf = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)&libraryFolder, &hSelf);
    char sz[MAX_PATH] = "";
    GetModuleFileNameA(hSelf, sz, sizeof sz);
    char* pszSlash = strrchr(sz, '\\');
    if (pszSlash != NULL)
        pszSlash[1] = '\0';
    return sz;
}

DWORD makeVersion(const char* pszVersion)
{
    DWORD dwMajor = 0, dwMinor = 0;
    if (pszVersion != NULL)
    {
        dwMajor = strtoul(pszVersion, NULL, 10);
        const char* pszDot = strchr(pszVersion, '.');
        if (pszDot != NULL)
            dwMinor = strtoul(pszDot + 1, NULL, 10);
    }
    return (dwMajor << 16) | (dwMinor & 0xFFFF);
}

std::string base64(const std::string& strIn)
{
    static const char s_szAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut;
    for (size_t i = 0; i < strIn.size(); i += 3)
    {
        unsigned long n = (unsigned char)strIn[i] << 16;
        if (i + 1 < strIn.size())
            n |= (unsigned char)strIn[i + 1] << 8;
        if (i + 2 < strIn.size())
            n |= (unsigned char)strIn[i + 2];
        strOut += s_szAlphabet[(n >> 18) & 63];
        strOut += s_szAlphabet[(n >> 12) & 63];
        strOut += i + 1 < strIn.size() ? s_szAlphabet[(n >> 6) & 63] : '=';
        strOut += i + 2 < strIn.size() ? s_szAlphabet[n & 63] : '=';
    }
    return strOut;
}

// One open session to the source; the proxy of the source record when it asks for one.
class CSession
{
public:
    CSession(const KvuServer& server) : m_server(server), m_hInternet(NULL)
    {
        if (server.fUseProxy && server.pszProxyServer != NULL && server.pszProxyServer[0])
        {
            char szProxy[600];
            _snprintf(szProxy, sizeof szProxy, "http=http://%s:%lu", server.pszProxyServer,
                      (unsigned long)(server.nProxyPort ? server.nProxyPort : 80));
            szProxy[sizeof szProxy - 1] = '\0';
            m_hInternet = InternetOpenA("Ruderire", INTERNET_OPEN_TYPE_PROXY, szProxy, NULL, 0);
            // Also for a proxy's challenge the system answers itself.
            if (m_hInternet != NULL && server.pszProxyLogin != NULL && server.pszProxyLogin[0])
            {
                InternetSetOptionA(m_hInternet, INTERNET_OPTION_PROXY_USERNAME, (void*)server.pszProxyLogin,
                                   (DWORD)strlen(server.pszProxyLogin));
                if (server.pszProxyPassword != NULL)
                    InternetSetOptionA(m_hInternet, INTERNET_OPTION_PROXY_PASSWORD, (void*)server.pszProxyPassword,
                                       (DWORD)strlen(server.pszProxyPassword));
            }
        }
        else
            m_hInternet = InternetOpenA("Ruderire", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    }
    ~CSession()
    {
        if (m_hInternet != NULL)
            InternetCloseHandle(m_hInternet);
    }
    bool ViaProxy() const { return m_server.fUseProxy && m_server.pszProxyServer && m_server.pszProxyServer[0]; }

    // "Proxy-Authorization: Basic ..." for a proxy with a login, else empty.
    std::string ProxyAuthorization() const
    {
        if (!ViaProxy() || m_server.pszProxyLogin == NULL || !m_server.pszProxyLogin[0])
            return std::string();
        std::string strPlain = m_server.pszProxyLogin;
        strPlain += ':';
        if (m_server.pszProxyPassword != NULL)
            strPlain += m_server.pszProxyPassword;
        return "Proxy-Authorization: Basic " + base64(strPlain) + "\r\n";
    }

    // A GET of the URL through the session: its request handle once sent, else NULL. The
    // proxy's login goes with the request itself: set after the request it would only reach a
    // proxy that has already refused it.
    HINTERNET SendGet(const std::string& strUrl, HINTERNET* phConnect)
    {
        char szHost[256] = "", szPath[2048] = "";
        URL_COMPONENTSA parts = {};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = szHost;
        parts.dwHostNameLength = sizeof szHost;
        parts.lpszUrlPath = szPath;
        parts.dwUrlPathLength = sizeof szPath;
        if (!InternetCrackUrlA(strUrl.c_str(), 0, 0, &parts))
            return NULL;
        *phConnect = InternetConnectA(m_hInternet, szHost, parts.nPort, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
        if (*phConnect == NULL)
            return NULL;
        HINTERNET hRequest = HttpOpenRequestA(*phConnect, "GET", szPath[0] ? szPath : "/", NULL, NULL, NULL,
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                  INTERNET_FLAG_PRAGMA_NOCACHE,
                                              0);
        if (hRequest == NULL)
            return NULL;
        std::string strHeaders = ProxyAuthorization();
        if (!HttpSendRequestA(hRequest, strHeaders.empty() ? NULL : strHeaders.c_str(), (DWORD)strHeaders.size(),
                              NULL, 0))
        {
            DWORD dwError = GetLastError();
            InternetCloseHandle(hRequest);
            SetLastError(dwError);
            return NULL;
        }
        return hRequest;
    }

    static void CloseRequest(HINTERNET hRequest, HINTERNET hConnect)
    {
        if (hRequest != NULL)
            InternetCloseHandle(hRequest);
        if (hConnect != NULL)
            InternetCloseHandle(hConnect);
    }

    // GET of url/name into the file, or into strBody when pszFile is NULL. A progress
    // callback that answers FALSE cancels.
    int Fetch(const std::string& strName, const char* pszFile, std::string* pstrBody, DWORD dwKind,
              KVU_PROGRESS_CALLBACK pfnProgress, void* pCallbackContext)
    {
        std::string strUrl = m_server.pszUrl;
        if (strUrl.empty() || strUrl[strUrl.size() - 1] != '/')
            strUrl += '/';
        strUrl += strName;
        if (m_hInternet == NULL)
            return KVU_E_CONNECT;
        HINTERNET hConnect = NULL;
        HINTERNET hUrl = SendGet(strUrl, &hConnect);
        if (hUrl == NULL)
        {
            g_journal.Write("  GET %s failed (%lu)", strUrl.c_str(), GetLastError());
            CloseRequest(hUrl, hConnect);
            return ViaProxy() ? KVU_E_PROXY : KVU_E_CONNECT;
        }
        DWORD dwStatus = 0, cb = sizeof dwStatus;
        HttpQueryInfoA(hUrl, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus, &cb, NULL);
        g_journal.Write("  GET %s -> %lu", strUrl.c_str(), (unsigned long)dwStatus);
        if (dwStatus != 200)
        {
            CloseRequest(hUrl, hConnect);
            if (dwStatus == 407)
                return KVU_E_PROXY;
            return dwStatus == 404 ? KVU_E_NOT_FOUND : KVU_E_CONNECT;
        }
        DWORD dwLength = 0;
        cb = sizeof dwLength;
        HttpQueryInfoA(hUrl, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &dwLength, &cb, NULL);
        if (pfnProgress != NULL && pszFile != NULL && !pfnProgress(4, dwLength, pCallbackContext))
        {
            CloseRequest(hUrl, hConnect);
            return KVU_E_CANCELLED;
        }
        HANDLE hFile = INVALID_HANDLE_VALUE;
        if (pszFile != NULL)
        {
            hFile = CreateFileA(pszFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (hFile == INVALID_HANDLE_VALUE)
            {
                CloseRequest(hUrl, hConnect);
                return KVU_E_WRITE;
            }
        }
        int nResult = KVU_OK;
        DWORD dwTotal = 0;
        char buffer[8192];
        for (;;)
        {
            DWORD dwRead = 0;
            if (!InternetReadFile(hUrl, buffer, sizeof buffer, &dwRead))
            {
                nResult = KVU_E_CONNECT;
                break;
            }
            if (dwRead == 0)
                break;
            dwTotal += dwRead;
            if (pszFile != NULL)
            {
                DWORD dwWritten = 0;
                if (!WriteFile(hFile, buffer, dwRead, &dwWritten, NULL) || dwWritten != dwRead)
                {
                    nResult = KVU_E_WRITE;
                    break;
                }
                if (pfnProgress != NULL && !pfnProgress(5, dwTotal, pCallbackContext))
                {
                    nResult = KVU_E_CANCELLED;
                    break;
                }
            }
            else
                pstrBody->append(buffer, dwRead);
        }
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        CloseRequest(hUrl, hConnect);
        (void)dwKind;
        return nResult;
    }

private:
    const KvuServer& m_server;
    HINTERNET m_hInternet;
};

// The value of key in [section] of an INI text.
std::string iniValue(const std::string& strText, const char* pszSection, const char* pszKey)
{
    std::string strSection;
    size_t pos = 0;
    while (pos < strText.size())
    {
        size_t end = strText.find('\n', pos);
        if (end == std::string::npos)
            end = strText.size();
        std::string line = strText.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line[line.size() - 1] == '\r' || line[line.size() - 1] == ' '))
            line.erase(line.size() - 1);
        if (!line.empty() && line[0] == '[')
        {
            strSection = line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || lstrcmpiA(strSection.c_str(), pszSection) != 0)
            continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key[key.size() - 1] == ' ')
            key.erase(key.size() - 1);
        if (lstrcmpiA(key.c_str(), pszKey) == 0)
        {
            std::string value = line.substr(eq + 1);
            while (!value.empty() && value[0] == ' ')
                value.erase(0, 1);
            return value;
        }
    }
    return "";
}

// Unpacks the archive into the folder through "Unzip.DLL" beside this library.
int unpack(const std::string& strZip, const char* pszTarget)
{
    std::string strUnzip = libraryFolder() + "Unzip.DLL";
    HMODULE hUnzip = LoadLibraryExA(strUnzip.c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hUnzip == NULL)
    {
        g_journal.Write("  %s cannot be loaded (%lu)", strUnzip.c_str(), GetLastError());
        return KVU_E_UNZIP_MISSING;
    }
    PFN_UNZOPEN pfnOpen = (PFN_UNZOPEN)GetProcAddress(hUnzip, "unzOpen");
    PFN_DO_EXTRACT pfnExtract = (PFN_DO_EXTRACT)GetProcAddress(hUnzip, "do_extract");
    PFN_UNZCLOSE pfnClose = (PFN_UNZCLOSE)GetProcAddress(hUnzip, "unzClose");
    int nResult = KVU_E_UNZIP_MISSING;
    if (pfnOpen != NULL && pfnExtract != NULL && pfnClose != NULL)
    {
        void* hZip = pfnOpen(strZip.c_str());
        if (hZip == NULL)
            nResult = KVU_E_DAMAGED;
        else
        {
            int n = pfnExtract(hZip, 0, pszTarget, 0, NULL);
            pfnClose(hZip);
            nResult = n == 0 ? KVU_OK : (n == -5 ? KVU_E_WRITE : KVU_E_DAMAGED);
        }
    }
    FreeLibrary(hUnzip);
    g_journal.Write("  unpack %s into %s -> %d", strZip.c_str(), pszTarget, nResult);
    return nResult;
}

const char* componentSection(DWORD dwKind)
{
    switch (dwKind)
    {
    case 3: return "Pattern";
    case 2: return "Engine";
    case 1: return "Program";
    }
    return NULL;
}

// One component of a run: compares the server's version with the entry's, downloads the
// package (the patch when it fits) into the target folder and unpacks it there.
int updateComponent(const KvuComponentEntry& entry, CSession& session, const std::string& strList,
                    DWORD dwFlags, KVU_PROGRESS_CALLBACK pfnProgress, void* pCallbackContext,
                    SContext* pContext)
{
    const char* pszSection = componentSection(entry.dwKind);
    const KvuDestination* pDest = (const KvuDestination*)entry.pSource;
    if (pszSection == NULL || pDest == NULL || pDest->pszTarget == NULL || pDest->pszTarget[0] == '\0')
        return KVU_E_ARGUMENT;
    std::string strVersion = iniValue(strList, pszSection, "Version");
    std::string strFile = iniValue(strList, pszSection, "File");
    if (strVersion.empty() || strFile.empty())
        return KVU_NOTHING_NEW;
    DWORD dwServer = entry.dwKind == 3 ? strtoul(strVersion.c_str(), NULL, 10) : makeVersion(strVersion.c_str());
    g_journal.Write("  %s: current %lu, server %s (%lu)", pszSection, (unsigned long)entry.dwOptions2,
                    strVersion.c_str(), (unsigned long)dwServer);
    if (dwServer <= entry.dwOptions2)
        return KVU_NOTHING_NEW;
    if (pfnProgress != NULL && !pfnProgress(1, entry.dwKind, pCallbackContext))
        return KVU_E_CANCELLED;

    bool fPatch = false;
    if (entry.dwKind == 3 && !(dwFlags & NO_MERGE_PATTERN))
    {
        std::string strFrom = iniValue(strList, pszSection, "PatchFrom");
        std::string strPatch = iniValue(strList, pszSection, "PatchFile");
        if (!strFrom.empty() && !strPatch.empty() && strtoul(strFrom.c_str(), NULL, 10) == entry.dwOptions2)
        {
            // The patch is applied by the patch program over the current pattern's copy.
            if (GetFileAttributesA((libraryFolder() + "Patch.EXE").c_str()) == INVALID_FILE_ATTRIBUTES)
            {
                g_journal.Write("  patch %s: Patch.EXE is missing", strPatch.c_str());
                return KVU_E_PATCH_APPLY;
            }
            strFile = strPatch;
            fPatch = true;
        }
    }

    std::string strZip = std::string(pDest->pszTarget);
    if (strZip[strZip.size() - 1] != '\\')
        strZip += '\\';
    strZip += "~kvu.zip";
    int nResult = session.Fetch(strFile, strZip.c_str(), NULL, entry.dwKind, pfnProgress, pCallbackContext);
    if (nResult == KVU_OK)
        nResult = unpack(strZip, pDest->pszTarget);
    DeleteFileA(strZip.c_str());
    if (nResult == KVU_OK && pfnProgress != NULL)
        pfnProgress(6, entry.dwKind, pCallbackContext);
    if (fPatch && nResult == KVU_E_DAMAGED)
        nResult = KVU_E_PATCH;
    if (nResult == KVU_OK)
    {
        char szInfo[160];
        _snprintf(szInfo, sizeof szInfo, "%s %lu -> %s %s", pszSection, (unsigned long)entry.dwOptions2,
                  strVersion.c_str(), fPatch ? "patch" : "full");
        szInfo[sizeof szInfo - 1] = '\0';
        pContext->strPatchInfo = szInfo;
    }
    return nResult;
}
}

extern "C" void* __stdcall KvuCreateContext(int nReserved)
{
    SContext* p = new SContext;
    p->dwMagic = CONTEXT_MAGIC;
    g_journal.Write("KvuCreateContext %d -> %p", nReserved, (void*)p);
    return p;
}

extern "C" int __stdcall KvuReleaseContext(void* pvContext)
{
    SContext* p = context(pvContext);
    g_journal.Write("KvuReleaseContext %p%s", pvContext, p ? "" : " (unknown)");
    if (p == NULL)
        return KVU_E_CONTEXT;
    p->dwMagic = 0;
    delete p;
    return KVU_OK;
}

extern "C" int __stdcall KvuSetProperty(const char* pszName, const char* pszValue)
{
    g_journal.Write("KvuSetProperty %s=%s", text(pszName), text(pszValue));
    if (pszName == NULL || pszValue == NULL)
        return 0;
    EnterCriticalSection(&g_lock);
    g_properties[pszName] = pszValue;
    LeaveCriticalSection(&g_lock);
    return 1;
}

extern "C" int __stdcall KvuSetPropertyEx(void* pvContext, const char* pszName,
                                          const char* pszValue)
{
    SContext* p = context(pvContext);
    g_journal.Write("KvuSetPropertyEx %p %s=%s", pvContext, text(pszName), text(pszValue));
    if (p == NULL || pszName == NULL || pszValue == NULL)
        return 0;
    p->properties[pszName] = pszValue;
    return 1;
}

extern "C" int __stdcall KvuUpdateEx(const KvuComponentEntry* pEntries, int nCount,
                                     const KvuServer* pServer, DWORD dwFlags,
                                     KVU_PROGRESS_CALLBACK pfnProgress, void* pCallbackContext,
                                     void* pvContext)
{
    SContext* pContext = context(pvContext);
    if (pEntries == NULL || nCount <= 0 || pServer == NULL || pServer->pszUrl == NULL || pContext == NULL)
    {
        g_journal.Write("KvuUpdateEx bad argument");
        return KVU_E_ARGUMENT;
    }
    g_journal.Write("KvuUpdateEx url=%s port=%d flags=0x%lX count=%d proxy=%s", text(pServer->pszUrl),
                    pServer->nPort, (unsigned long)dwFlags, nCount,
                    pServer->fUseProxy ? text(pServer->pszProxyServer) : "none");
    pContext->strPatchInfo.clear();
    bool fAsked = false;
    for (int i = 0; i < nCount; ++i)
    {
        const KvuComponentEntry& e = pEntries[i];
        const KvuDestination* pDest = (const KvuDestination*)e.pSource;
        g_journal.Write("  entry %d kind=%lu options=%lu value=%lu target=%s options2=%lu value2=%lu "
                        "options3=%lu options4=%lu",
                        i, (unsigned long)e.dwKind, (unsigned long)e.dwOptions, (unsigned long)e.dwValue,
                        pDest != NULL && (const void*)pDest != (const void*)pServer ? text(pDest->pszTarget) : "(none)",
                        (unsigned long)e.dwOptions2, (unsigned long)e.dwValue2,
                        (unsigned long)e.dwOptions3, (unsigned long)e.dwOptions4);
        if (e.dwValue == 0)
            fAsked = true;
    }
    int nResult = KVU_NOTHING_NEW;
    if (fAsked)
    {
        CSession session(*pServer);
        std::string strList;
        nResult = session.Fetch("components.ini", NULL, &strList, 0, NULL, NULL);
        if (nResult == KVU_E_NOT_FOUND)
            nResult = KVU_E_LIST;
        bool fAnyNew = false;
        for (int i = 0; nResult == KVU_OK && i < nCount; ++i)
        {
            if (pEntries[i].dwValue != 0)
                continue;
            int nComponent = updateComponent(pEntries[i], session, strList, dwFlags, pfnProgress,
                                             pCallbackContext, pContext);
            if (nComponent == KVU_OK)
                fAnyNew = true;
            else if (nComponent != KVU_NOTHING_NEW)
                nResult = nComponent;
        }
        if (nResult == KVU_OK && !fAnyNew)
            nResult = KVU_NOTHING_NEW;
    }
    g_journal.Write("KvuUpdateEx -> %d", nResult);
    return nResult;
}

extern "C" int __stdcall KvuUpdate(const KvuComponentEntry* pEntries, int nCount,
                                   const KvuServer* pServer, DWORD dwFlags)
{
    g_journal.Write("KvuUpdate");
    void* pv = KvuCreateContext(0);
    int nResult = KvuUpdateEx(pEntries, nCount, pServer, dwFlags, NULL, NULL, pv);
    KvuReleaseContext(pv);
    return nResult;
}

extern "C" int __stdcall KvuGetPatchInfoEx(void* pvContext, char* pszInfo, int cbInfo)
{
    SContext* p = context(pvContext);
    g_journal.Write("KvuGetPatchInfoEx %p", pvContext);
    if (pszInfo != NULL && cbInfo > 0)
        lstrcpynA(pszInfo, p != NULL ? p->strPatchInfo.c_str() : "", cbInfo);
    return p != NULL ? KVU_OK : KVU_E_CONTEXT;
}

extern "C" int __stdcall KvuGetErrorString(int nResult, char* pszText, int cbText)
{
    static const struct { int nCode; const char* pszText; } s_texts[] = {
        { KVU_OK, "The update completed." },
        { KVU_E_ARGUMENT, "Invalid argument." },
        { KVU_E_CONTEXT, "Invalid update context." },
        { KVU_NOTHING_NEW, "The components are up to date." },
        { KVU_E_PATCH, "The pattern patch does not fit the current pattern." },
        { KVU_E_CANCELLED, "The update was cancelled." },
        { KVU_E_CONNECT, "The update server cannot be reached." },
        { KVU_E_NOT_FOUND, "A component is missing on the update server." },
        { KVU_E_LIST, "The update server offers no component list." },
        { KVU_E_DAMAGED, "A downloaded component is damaged." },
        { KVU_E_WRITE, "A component cannot be written to the target folder." },
        { KVU_E_UNZIP_MISSING, "Unzip.DLL is missing." },
        { KVU_E_PROXY, "The connection through the proxy failed." },
        { KVU_E_PATCH_APPLY, "The pattern patch cannot be applied." },
    };
    g_journal.Write("KvuGetErrorString %d", nResult);
    if (pszText == NULL || cbText <= 0)
        return 0;
    char szUnknown[64];
    const char* psz = NULL;
    for (size_t i = 0; i < sizeof(s_texts) / sizeof(s_texts[0]); ++i)
        if (s_texts[i].nCode == nResult)
            psz = s_texts[i].pszText;
    if (psz == NULL)
    {
        sprintf(szUnknown, "Update error %d.", nResult);
        psz = szUnknown;
    }
    lstrcpynA(pszText, psz, cbText);
    return 1;
}

// "X.XXX" -> major << 16 | minor.
extern "C" DWORD __stdcall KvuMakeVersion(const char* pszVersion)
{
    DWORD dwVersion = makeVersion(pszVersion);
    g_journal.Write("KvuMakeVersion %s -> 0x%lX", text(pszVersion), (unsigned long)dwVersion);
    return dwVersion;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&g_lock);
    else if (dwReason == DLL_PROCESS_DETACH)
        DeleteCriticalSection(&g_lock);
    return TRUE;
}

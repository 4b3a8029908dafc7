// ICMP echo, host addresses and the TCP/IP test.
#include "HostLookup.h"

#include "LogTracker.h"

namespace
{
const BYTE ECHO_BYTE = 'E';
const int HOST_TEXT = 128;
}

// ---------------------------------------------------------------------------

CLibraryHandle::~CLibraryHandle()
{
    Free();
}

void CLibraryHandle::Load(LPCSTR pszPath, DWORD dwFlags)
{
    Free();
    m_hModule = LoadLibraryExA(pszPath, NULL, dwFlags);
    if (m_hModule == NULL)
        throw new CLibraryHandleException((int)GetLastError(), pszPath);
}

void CLibraryHandle::Free()
{
    if (m_hModule != NULL)
    {
        FreeLibrary(m_hModule);
        m_hModule = NULL;
    }
}

// ---------------------------------------------------------------------------

CIcmpPing::CIcmpPing() : m_pfnCreateFile(NULL), m_pfnSendEcho(NULL), m_pfnCloseHandle(NULL)
{
}

BOOL CIcmpPing::Init()
{
    m_library.Load("ICMP.DLL", LOAD_WITH_ALTERED_SEARCH_PATH);
    m_pfnCreateFile = (PFN_ICMP_CREATE_FILE)GetProcAddress(m_library, "IcmpCreateFile");
    m_pfnSendEcho = (PFN_ICMP_SEND_ECHO)GetProcAddress(m_library, "IcmpSendEcho");
    m_pfnCloseHandle = (PFN_ICMP_CLOSE_HANDLE)GetProcAddress(m_library, "IcmpCloseHandle");
    return m_pfnCreateFile != NULL && m_pfnSendEcho != NULL && m_pfnCloseHandle != NULL;
}

BOOL CIcmpPing::CheckEchoReply(const ICMP_ECHO_REPLY* pReply, int nSize)
{
    if (pReply->Status != 0)
    {
        SetLastError(pReply->Status);
        return FALSE;
    }
    BOOL fSame = pReply->DataSize == nSize;
    for (int i = 0; fSame && i < nSize; ++i)
        fSame = ((const BYTE*)pReply->Data)[i] == ECHO_BYTE;
    if (!fSame)
    {
        SetLastError(ERROR_UNEXP_NET_ERR);
        return FALSE;
    }
    return TRUE;
}

BOOL CIcmpPing::Ping(LPCSTR pszHost, SReply* pReply, int nTtl, DWORD dwTimeout, int nSize)
{
    if (!Init())
        return FALSE;

    // A dotted address is used as it is; anything else is resolved.
    IPAddr address = inet_addr(pszHost);
    if (address == INADDR_NONE)
    {
        hostent* pHost = gethostbyname(pszHost);
        if (pHost == NULL || pHost->h_addr_list[0] == NULL)
            return FALSE;
        address = *(const IPAddr*)pHost->h_addr_list[0];
    }

    HANDLE hIcmp = m_pfnCreateFile();
    if (hIcmp == INVALID_HANDLE_VALUE)
        return FALSE;

    if (nSize < 0)
        nSize = 0;
    BYTE* pRequest = new BYTE[nSize + 1];
    memset(pRequest, ECHO_BYTE, nSize);
    IP_OPTION_INFORMATION options;
    memset(&options, 0, sizeof(options));
    options.Ttl = (UCHAR)nTtl;
    DWORD dwReplySize = (DWORD)(nSize > 8 ? nSize : 8) + sizeof(ICMP_ECHO_REPLY);
    BYTE* pReplyBuffer = new BYTE[dwReplySize];
    memset(pReplyBuffer, 0, dwReplySize);

    BOOL fResult = m_pfnSendEcho(hIcmp, address, pRequest, (WORD)nSize, &options, pReplyBuffer,
                                 dwReplySize, dwTimeout) == 1;
    const ICMP_ECHO_REPLY* pEcho = (const ICMP_ECHO_REPLY*)pReplyBuffer;
    if (fResult)
        fResult = CheckEchoReply(pEcho, nSize);

    DWORD dwError = GetLastError();
    m_pfnCloseHandle(hIcmp);
    if (fResult && pReply != NULL)
    {
        pReply->dwAddress = pEcho->Address;
        pReply->dwRoundTrip = pEcho->RoundTripTime;
    }
    delete[] pRequest;
    delete[] pReplyBuffer;
    SetLastError(dwError);
    return fResult;
}

BOOL pingHost(LPCSTR pszHost, DWORD /*dwTimeout*/, int /*nSize*/)
{
    VGLTRACE(1, "-->pingHost(%s)", pszHost != NULL ? pszHost : "");
    BOOL fResult = FALSE;
    try
    {
        CIcmpPing ping;
        CIcmpPing::SReply reply;
        fResult = ping.Ping(pszHost, &reply, 128, 5000, 32);
    }
    catch (CLibraryHandleException* e)
    {
        e->Delete();
    }
    VGLTRACE(2, "<--pingHost(%s) = %d", pszHost != NULL ? pszHost : "", fResult);
    return fResult;
}

// ---------------------------------------------------------------------------

BOOL getHostIPList(LPCSTR pszHost, char*** pppList)
{
    *pppList = NULL;
    char szHost[HOST_TEXT];
    if (pszHost != NULL && *pszHost != '\0')
    {
        if (lstrlenA(pszHost) >= (int)sizeof(szHost))
        {
            VGLTRACE(12, "getHostIPList: host name of %d characters refused", lstrlenA(pszHost));
            return FALSE;
        }
        lstrcpyA(szHost, pszHost);
    }
    else if (gethostname(szHost, sizeof(szHost)) != 0)
        return FALSE;

    hostent* pHost = gethostbyname(szHost);
    if (pHost == NULL)
        return FALSE;
    int nCount = 0;
    while (pHost->h_addr_list[nCount] != NULL)
        ++nCount;
    char** ppList = newHostIPList(nCount);
    for (int i = 0; i < nCount; ++i)
    {
        in_addr addr;
        memcpy(&addr, pHost->h_addr_list[i], sizeof(addr));
        lstrcpynA(ppList[i], inet_ntoa(addr), HOST_TEXT);
    }
    *pppList = ppList;
    return TRUE;
}

char** newHostIPList(int nCount)
{
    char** ppList = new char*[nCount + 1];
    for (int i = 0; i <= nCount; ++i)
        ppList[i] = NULL;
    try
    {
        for (int i = 0; i < nCount; ++i)
        {
            ppList[i] = new char[HOST_TEXT];
            ppList[i][0] = '\0';
        }
    }
    catch (...)
    {
        freeHostIPList(ppList);
        throw;
    }
    return ppList;
}

char** copyHostIPList(char* const* ppList)
{
    int nCount = 0;
    while (ppList != NULL && ppList[nCount] != NULL)
        ++nCount;
    char** ppCopy = newHostIPList(nCount);
    for (int i = 0; i < nCount; ++i)
        lstrcpynA(ppCopy[i], ppList[i], HOST_TEXT);
    return ppCopy;
}

void freeHostIPList(char** ppList)
{
    if (ppList == NULL)
        return;
    for (char** pp = ppList; *pp != NULL; ++pp)
        delete[] *pp;
    delete[] ppList;
}

BOOL isTcpIpAvailable()
{
    char szHost[HOST_TEXT];
    if (gethostname(szHost, sizeof(szHost)) != 0)
        return FALSE;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return FALSE;
    closesocket(s);
    return TRUE;
}

#include "transport.h"

#include <winsock.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

CJournal g_journal("loadhttp.log", "VGL_LOADHTTP_JOURNAL");

namespace
{
const int IO_TIMEOUT_MS = 60000;
const int DEFAULT_PORT = 80;

struct SUrl
{
    std::string strHost;
    int nPort;
    std::string strPath;
};

// "http://host[:port][/path]"; FALSE for anything else.
bool parseUrl(const char* pszUrl, int nDefaultPort, SUrl& url)
{
    if (pszUrl == NULL || _strnicmp(pszUrl, "http://", 7) != 0)
        return false;
    const char* pszHost = pszUrl + 7;
    const char* pszSlash = strchr(pszHost, '/');
    std::string strAuthority = pszSlash ? std::string(pszHost, pszSlash - pszHost) : pszHost;
    url.strPath = pszSlash ? pszSlash : "/";
    size_t nColon = strAuthority.find(':');
    url.nPort = nDefaultPort > 0 ? nDefaultPort : DEFAULT_PORT;
    if (nColon != std::string::npos)
    {
        url.nPort = atoi(strAuthority.c_str() + nColon + 1);
        strAuthority.erase(nColon);
    }
    url.strHost = strAuthority;
    return !url.strHost.empty() && url.nPort > 0 && url.nPort < 65536;
}

bool resolve(const std::string& strHost, in_addr& addr)
{
    addr.s_addr = inet_addr(strHost.c_str());
    if (addr.s_addr != INADDR_NONE)
        return true;
    hostent* pHost = gethostbyname(strHost.c_str());
    if (pHost == NULL || pHost->h_addr_list[0] == NULL)
        return false;
    memcpy(&addr, pHost->h_addr_list[0], sizeof(addr));
    return true;
}

bool sendAll(SOCKET s, const char* p, int cb)
{
    while (cb > 0)
    {
        int n = send(s, p, cb, 0);
        if (n <= 0)
            return false;
        p += n;
        cb -= n;
    }
    return true;
}

class CWinsock
{
public:
    CWinsock() { WSADATA data; m_fOk = WSAStartup(MAKEWORD(1, 1), &data) == 0; }
    ~CWinsock() { if (m_fOk) WSACleanup(); }
    bool m_fOk;
};

class CSocket
{
public:
    CSocket() : m_s(INVALID_SOCKET) {}
    ~CSocket() { if (m_s != INVALID_SOCKET) closesocket(m_s); }
    SOCKET m_s;
};
}

std::string base64(const std::string& strText)
{
    static const char s_szAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut;
    size_t i = 0;
    const unsigned char* p = (const unsigned char*)strText.data();
    for (; i + 2 < strText.size(); i += 3)
    {
        unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        strOut += s_szAlphabet[v >> 18];
        strOut += s_szAlphabet[(v >> 12) & 63];
        strOut += s_szAlphabet[(v >> 6) & 63];
        strOut += s_szAlphabet[v & 63];
    }
    if (i < strText.size())
    {
        unsigned v = p[i] << 16;
        if (i + 1 < strText.size())
            v |= p[i + 1] << 8;
        strOut += s_szAlphabet[v >> 18];
        strOut += s_szAlphabet[(v >> 12) & 63];
        strOut += i + 1 < strText.size() ? s_szAlphabet[(v >> 6) & 63] : '=';
        strOut += '=';
    }
    return strOut;
}

int runHttpExchange(const SHttpExchange& exchange, CHttpSink& sink, std::string& strRoute)
{
    const LoadHttpRequest* pRequest = exchange.pRequest;
    SUrl url;
    if (!parseUrl(pRequest->pszUrl, (int)pRequest->dwServerPort, url))
    {
        strRoute = pRequest->pszUrl ? pRequest->pszUrl : "(no URL)";
        return LOADHTTP_E_ARGUMENT;
    }
    char szPort[16];
    sprintf(szPort, ":%d", url.nPort);
    strRoute = url.strHost + szPort + url.strPath;

    bool fProxy = pRequest->dwUseProxy != 0 && pRequest->pszProxyHost != NULL &&
                  pRequest->pszProxyHost[0] != '\0';
    std::string strConnectHost = url.strHost;
    int nConnectPort = url.nPort;
    if (fProxy)
    {
        strConnectHost = pRequest->pszProxyHost;
        nConnectPort = pRequest->dwProxyPort ? (int)pRequest->dwProxyPort : DEFAULT_PORT;
        sprintf(szPort, ":%d", nConnectPort);
        strRoute += " via proxy " + strConnectHost + szPort;
    }

    CWinsock winsock;
    if (!winsock.m_fOk)
        return LOADHTTP_E_WINSOCK;
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_port = htons((u_short)nConnectPort);
    if (!resolve(strConnectHost, addr.sin_addr))
        return LOADHTTP_E_RESOLVE;

    CSocket sock;
    sock.m_s = socket(AF_INET, SOCK_STREAM, 0);
    if (sock.m_s == INVALID_SOCKET)
        return LOADHTTP_E_WINSOCK;
    int nTimeout = IO_TIMEOUT_MS;
    setsockopt(sock.m_s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&nTimeout, sizeof(nTimeout));
    setsockopt(sock.m_s, SOL_SOCKET, SO_SNDTIMEO, (const char*)&nTimeout, sizeof(nTimeout));
    if (connect(sock.m_s, (sockaddr*)&addr, sizeof(addr)) != 0)
        return LOADHTTP_E_CONNECT;
    sink.OnConnected();

    // The request: a proxy gets the full URL.
    std::string strHostHeader = url.strHost;
    if (url.nPort != DEFAULT_PORT)
    {
        sprintf(szPort, ":%d", url.nPort);
        strHostHeader += szPort;
    }
    std::string strRequest = std::string(exchange.pszMethod) + " ";
    strRequest += fProxy ? "http://" + strHostHeader + url.strPath : url.strPath;
    strRequest += " HTTP/1.0\r\nHost: " + strHostHeader + "\r\n";
    strRequest += "User-Agent: loadhttp\r\nConnection: close\r\n";
    if (fProxy && pRequest->szProxyUser[0] != '\0')
    {
        char szUser[129], szPassword[129];
        lstrcpynA(szUser, pRequest->szProxyUser, sizeof(szUser));
        lstrcpynA(szPassword, pRequest->szProxyPassword, sizeof(szPassword));
        strRequest += "Proxy-Authorization: Basic " +
                      base64(std::string(szUser) + ":" + szPassword) + "\r\n";
    }
    strRequest += exchange.strHeaders;
    if (exchange.pBody != NULL)
    {
        char szLength[48];
        sprintf(szLength, "Content-Length: %d\r\n", exchange.cbBody);
        strRequest += szLength;
    }
    strRequest += "\r\n";
    if (!sendAll(sock.m_s, strRequest.data(), (int)strRequest.size()) ||
        (exchange.pBody != NULL && !sendAll(sock.m_s, exchange.pBody, exchange.cbBody)))
        return LOADHTTP_E_SEND;
    sink.OnSent();

    // Status line and headers.
    std::string strHead;
    char buf[4096];
    size_t nHeadEnd;
    while ((nHeadEnd = strHead.find("\r\n\r\n")) == std::string::npos)
    {
        int n = recv(sock.m_s, buf, sizeof(buf), 0);
        if (n < 0)
            return LOADHTTP_E_RECEIVE;
        if (n == 0)
            return LOADHTTP_E_REPLY;
        strHead.append(buf, n);
        if (strHead.size() > 65536)
            return LOADHTTP_E_REPLY;
    }
    std::string strRest = strHead.substr(nHeadEnd + 4);
    strHead.erase(nHeadEnd + 2);
    std::string strStatusLine = strHead.substr(0, strHead.find("\r\n"));
    int nStatus = 0;
    if (strncmp(strStatusLine.c_str(), "HTTP/", 5) != 0 ||
        sscanf(strStatusLine.c_str(), "HTTP/%*s %d", &nStatus) != 1)
        return LOADHTTP_E_REPLY;
    long nContentLength = -1;
    for (size_t nPos = 0; nPos < strHead.size();)
    {
        size_t nEnd = strHead.find("\r\n", nPos);
        std::string strLine = strHead.substr(nPos, nEnd - nPos);
        if (_strnicmp(strLine.c_str(), "Content-Length:", 15) == 0)
            nContentLength = atol(strLine.c_str() + 15);
        nPos = nEnd + 2;
    }
    sink.OnStatus(nStatus, strStatusLine, nContentLength);

    // The body, to the end of the stream.
    if (!strRest.empty() && !sink.OnData(strRest.data(), (int)strRest.size()))
        return nStatus;
    for (;;)
    {
        int n = recv(sock.m_s, buf, sizeof(buf), 0);
        if (n < 0)
            return LOADHTTP_E_RECEIVE;
        if (n == 0)
            break;
        if (!sink.OnData(buf, n))
            break;
    }
    return nStatus;
}

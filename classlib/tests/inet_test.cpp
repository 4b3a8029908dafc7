// The Internet classes against a one-connection-at-a-time loopback server.
#include <gtest/gtest.h>

#include <winsock.h>
#include "afxinet.h"

#include <process.h>
#include <set>
#include <string>

namespace
{
// Answers every request with one fixed reply and keeps the last request head.
class MiniServer
{
public:
    explicit MiniServer(const std::string& strReply) : m_strReply(strReply)
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(m_listener, (sockaddr*)&addr, sizeof(addr));
        listen(m_listener, 4);
        int cb = sizeof(addr);
        getsockname(m_listener, (sockaddr*)&addr, &cb);
        m_nPort = ntohs(addr.sin_port);
        m_hThread = (HANDLE)_beginthreadex(NULL, 0, Run, this, 0, NULL);
    }
    ~MiniServer()
    {
        closesocket(m_listener);
        WaitForSingleObject(m_hThread, 5000);
        CloseHandle(m_hThread);
        WSACleanup();
    }

    INTERNET_PORT Port() const { return m_nPort; }
    std::string m_strHead;      // read after the request has been answered
    std::string m_strBody;

private:
    static unsigned __stdcall Run(void* pv)
    {
        MiniServer* p = (MiniServer*)pv;
        SOCKET s;
        while ((s = accept(p->m_listener, NULL, NULL)) != INVALID_SOCKET)
        {
            std::string strIn;
            char buf[4096];
            int n;
            size_t nEnd;
            while ((nEnd = strIn.find("\r\n\r\n")) == std::string::npos &&
                   (n = recv(s, buf, sizeof(buf), 0)) > 0)
                strIn.append(buf, n);
            size_t nLength = 0;
            size_t nAt = strIn.find("Content-Length: ");
            if (nAt != std::string::npos)
                nLength = atoi(strIn.c_str() + nAt + 16);
            while (nEnd != std::string::npos && strIn.size() < nEnd + 4 + nLength &&
                   (n = recv(s, buf, sizeof(buf), 0)) > 0)
                strIn.append(buf, n);
            if (nEnd != std::string::npos)
            {
                p->m_strHead = strIn.substr(0, nEnd + 2);
                p->m_strBody = strIn.substr(nEnd + 4);
            }
            send(s, p->m_strReply.data(), (int)p->m_strReply.size(), 0);
            closesocket(s);
        }
        return 0;
    }

    std::string m_strReply;
    SOCKET m_listener;
    INTERNET_PORT m_nPort;
    HANDLE m_hThread;
};

class CRecordingSession : public CInternetSession
{
public:
    CRecordingSession() : CInternetSession("inet-test", 7, INTERNET_OPEN_TYPE_DIRECT) {}
    void OnStatusCallback(DWORD_PTR dwContext, DWORD dwStatus, LPVOID, DWORD) override
    {
        m_statuses.insert(dwStatus);
        m_contexts.insert(dwContext);
    }
    std::set<DWORD> m_statuses;
    std::set<DWORD_PTR> m_contexts;
};

DWORD InternetError(void (*pfn)(INTERNET_PORT), INTERNET_PORT nPort, DWORD* pdwContext)
{
    try
    {
        pfn(nPort);
    }
    catch (CInternetException* e)
    {
        DWORD dwError = e->m_dwError;
        *pdwContext = e->m_dwContext;
        e->Delete();
        return dwError;
    }
    return 0;
}
} // namespace

TEST(Inet, GetWithHeadersStatusLengthAndBody)
{
    MiniServer server("HTTP/1.0 200 OK\r\nContent-Length: 11\r\n\r\nhello world");
    CRecordingSession session;
    session.EnableStatusCallback(TRUE);
    CHttpConnection* pConnection = session.GetHttpConnection("127.0.0.1", server.Port());
    EXPECT_EQ(&session, pConnection->GetSession());
    EXPECT_EQ(&session, CInternetSession::FromHandle(*pConnection));
    CHttpFile* pFile = pConnection->OpenRequest(CHttpConnection::HTTP_VERB_GET, "/Vigilon/Cgi/x.exe?A=1", NULL, 9,
                                                NULL, NULL, INTERNET_FLAG_RELOAD);
    EXPECT_STREQ("GET", pFile->GetVerb());
    EXPECT_TRUE(pFile->AddRequestHeaders("Accept: */*\r\n"));
    EXPECT_TRUE(pFile->SendRequest());

    DWORD dwStatus = 0, dwLength = 0;
    EXPECT_TRUE(pFile->QueryInfoStatusCode(dwStatus));
    EXPECT_EQ(200u, dwStatus);
    EXPECT_TRUE(pFile->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, dwLength));
    EXPECT_EQ(11u, dwLength);
    CString strText;
    EXPECT_TRUE(pFile->QueryInfo(HTTP_QUERY_STATUS_TEXT, strText));
    EXPECT_STREQ("OK", strText);
    std::string strBody;
    char buf[4];
    UINT nRead;
    while ((nRead = pFile->Read(buf, sizeof(buf))) > 0)
        strBody.append(buf, nRead);
    EXPECT_EQ("hello world", strBody);

    pFile->Close();
    delete pFile;
    delete pConnection;
    EXPECT_EQ(0u, server.m_strHead.find("GET /Vigilon/Cgi/x.exe?A=1 HTTP/1.1\r\n"));
    EXPECT_NE(std::string::npos, server.m_strHead.find("\r\nAccept: */*\r\n"));
    EXPECT_NE(std::string::npos, server.m_strHead.find("\r\nUser-Agent: inet-test\r\n"));

    // Notifications came through the override, with the request's context.
    EXPECT_TRUE(session.m_statuses.count(INTERNET_STATUS_REQUEST_SENT));
    EXPECT_TRUE(session.m_statuses.count(INTERNET_STATUS_RESPONSE_RECEIVED));
    EXPECT_TRUE(session.m_contexts.count(9));
    HINTERNET hSession = session;
    session.Close();
    EXPECT_EQ(NULL, (HINTERNET)session);
    EXPECT_EQ(NULL, CInternetSession::FromHandle(hSession));
}

TEST(Inet, PostSendsItsBody)
{
    MiniServer server("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    CInternetSession session(NULL, 1, INTERNET_OPEN_TYPE_DIRECT);
    CHttpConnection connection(&session, "127.0.0.1", server.Port());
    CHttpFile* pFile = connection.OpenRequest(CHttpConnection::HTTP_VERB_POST, "/up");
    char body[] = "a=1&b=2";
    const char* pszHeaders = "Content-Type: application/x-www-form-urlencoded\r\n";
    EXPECT_TRUE(pFile->SendRequest(pszHeaders, 0, body, 7));
    DWORD dwStatus = 0;
    pFile->QueryInfoStatusCode(dwStatus);
    EXPECT_EQ(404u, dwStatus);
    delete pFile;
    EXPECT_EQ(0u, server.m_strHead.find("POST /up HTTP/1.1\r\n"));
    EXPECT_EQ("a=1&b=2", server.m_strBody);
}

TEST(Inet, FailuresThrowInternetExceptions)
{
    INTERNET_PORT nClosedPort;
    {
        MiniServer server("");
        nClosedPort = server.Port();
    }
    DWORD dwContext = 0;
    EXPECT_EQ((DWORD)ERROR_INTERNET_CANNOT_CONNECT, InternetError([](INTERNET_PORT nPort) {
        CInternetSession session(NULL, 1, INTERNET_OPEN_TYPE_DIRECT);
        CHttpConnection* pConnection = session.GetHttpConnection("127.0.0.1", nPort);
        CHttpFile* pFile = pConnection->OpenRequest(CHttpConnection::HTTP_VERB_GET, "/", NULL, 5);
        try
        {
            pFile->SendRequest();
        }
        catch (...)
        {
            delete pFile;
            delete pConnection;
            throw;
        }
    }, nClosedPort, &dwContext));
    EXPECT_EQ(5u, dwContext);

    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, InternetError([](INTERNET_PORT nPort) {
        CInternetSession session(NULL, 1, INTERNET_OPEN_TYPE_DIRECT);
        CHttpConnection connection(&session, "127.0.0.1", nPort);
        connection.OpenRequest(99, "/", NULL, 6);
    }, nClosedPort, &dwContext));
    EXPECT_EQ(6u, dwContext);
}

// The Internet classes against a loopback server.
#include <gtest/gtest.h>

#include <winsock.h>
#include "afxinet.h"
#include "LoopbackHttpServer.h"

#include <set>
#include <string>

namespace
{
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
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    server.Reply(200, "hello world");
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
    EXPECT_EQ(0u, server.LastRequest().strHead.find("GET /Vigilon/Cgi/x.exe?A=1 HTTP/1.1\r\n"));
    EXPECT_NE(std::string::npos, server.LastRequest().strHead.find("\r\nAccept: */*\r\n"));
    EXPECT_NE(std::string::npos, server.LastRequest().strHead.find("\r\nUser-Agent: inet-test\r\n"));

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
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    server.Reply(404, "");
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
    EXPECT_EQ(0u, server.LastRequest().strHead.find("POST /up HTTP/1.1\r\n"));
    EXPECT_EQ("a=1&b=2", server.LastRequest().strBody);
}

TEST(Inet, FailuresThrowInternetExceptions)
{
    INTERNET_PORT nClosedPort;
    {
        CLoopbackHttpServer server;
        ASSERT_TRUE(server.Start());
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

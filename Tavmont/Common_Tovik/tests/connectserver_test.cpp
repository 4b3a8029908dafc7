// The server connection: proxy modes and their order, the two forms of the
// server name, errors that end the fall-back, cancel and the one-at-a-time lock.
#include "ConnectServer.h"

#include "LoopbackHttpServer.h"
#include "productkey_fixture.h"

#include <process.h>

#include <string>
#include <vector>

namespace
{
const char OBJECT[] = "/Vigilon/Cgi/cgiOnStart.exe?UID=abc";
const char BROWSER_SETTINGS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

BOOL AlwaysCancel(LPVOID)
{
    return TRUE;
}

void SetBrowserProxy(int nPort)
{
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, BROWSER_SETTINGS));
    key.DeleteValue("AutoConfigURL");
    if (nPort == 0)
    {
        key.SetValue((DWORD)0, "ProxyEnable");
        key.DeleteValue("ProxyServer");
        return;
    }
    char sz[64];
    sprintf(sz, "127.0.0.1:%d", nPort);
    key.SetValue((DWORD)1, "ProxyEnable");
    key.SetValue(sz, "ProxyServer");
}

class ConnectServerTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        SetBrowserProxy(0);
        ASSERT_TRUE(m_server.Start());
        CreateKey();
        UseServer("127.0.0.1");
        WriteDword(NULL, "UseProxy", 0);
        NS_RegistryKey::g_fFQDNFirst = FALSE;
        NS_Notification::AllowConnect(TRUE);
    }
    void TearDown() override
    {
        SetBrowserProxy(0);
        NS_RegistryKey::g_fFQDNFirst = FALSE;
        ProductKeyTest::TearDown();
    }

    void UseServer(const char* pszName)
    {
        WriteString(NULL, "Server", pszName);
        WriteDword(NULL, "ServerPort", m_server.Port());
    }

    BOOL Connect(CAccBuffer& reply, CString* pstrError, PFN_HTTP_CANCEL_CALLBACK pfCancel = NULL,
                 const NS_RegistryKey::STimeout* pTimeouts = NULL, BOOL fIntranet = TRUE)
    {
        return NS_Notification::ConnectServer(reply, OBJECT, pTimeouts, NULL, NULL, pfCancel, NULL,
                                              fIntranet, pstrError);
    }

    static std::string Host(const CLoopbackHttpServer::Request& r)
    {
        size_t n = r.strHead.find("\r\nHost: ");
        return n == std::string::npos ? "" : r.strHead.substr(n + 8, r.strHead.find("\r\n", n + 2) - n - 8);
    }

    CLoopbackHttpServer m_server;
};
}

TEST_F(ConnectServerTest, ReplyBodyOfTheFirstAttempt)
{
    m_server.Reply(200, "1\r\nsettings");
    CAccBuffer reply;
    CString strError = "untouched";
    ASSERT_TRUE(Connect(reply, &strError));
    EXPECT_EQ(1, reply.GetReturnCode(0, 3));
    EXPECT_EQ(std::string("1\r\nsettings"), std::string((const char*)reply.GetData(), reply.GetLength()));
    EXPECT_STREQ("untouched", strError);
    ASSERT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ(std::string("GET ") + OBJECT + " HTTP/1.1", m_server.Requests()[0].RequestLine());
}

TEST_F(ConnectServerTest, StatusErrorsWalkEveryModeAndBothNames)
{
    struct Case
    {
        const char* pszServer;
        BOOL fFqdnFirst;
        size_t nAttempts;
    } cases[] = {
        { "127.0.0.1", FALSE, 3 },      // an address has no computer-name form
        { "localhost", FALSE, 6 },
        { "localhost", TRUE, 6 },
    };
    m_server.Reply(404, "");
    for (const Case& c : cases)
    {
        size_t nBefore = m_server.Requests().size();
        UseServer(c.pszServer);
        NS_RegistryKey::g_fFQDNFirst = c.fFqdnFirst;
        CAccBuffer reply;
        CString strError;
        EXPECT_FALSE(Connect(reply, &strError));
        EXPECT_EQ(c.nAttempts, m_server.Requests().size() - nBefore) << c.pszServer;
        EXPECT_EQ(0, strError.Find("(404) ")) << (LPCSTR)strError;
    }
}

TEST_F(ConnectServerTest, NameFormOrderFollowsFqdnFirst)
{
    // The full name does not resolve, its first label does; a name that does
    // not resolve ends the request at once.
    m_server.Reply(200, "0");
    UseServer("localhost.no-such-domain.invalid");
    char szHost[64];
    sprintf(szHost, "localhost:%d", m_server.Port());

    NS_RegistryKey::g_fFQDNFirst = FALSE;
    CAccBuffer reply;
    CString strError;
    ASSERT_TRUE(Connect(reply, &strError));
    ASSERT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ(szHost, Host(m_server.Requests()[0]));

    NS_RegistryKey::g_fFQDNFirst = TRUE;
    EXPECT_FALSE(Connect(reply, &strError));
    EXPECT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ(0, strError.Find("(0x2EE7) ")) << (LPCSTR)strError;
}

TEST_F(ConnectServerTest, ProxyModesInTheirOrder)
{
    CLoopbackHttpServer profileProxy, browserProxy;
    ASSERT_TRUE(profileProxy.Start());
    ASSERT_TRUE(browserProxy.Start());
    WriteDword(NULL, "UseProxy", 1);
    WriteString(NULL, "ProxyServer", "127.0.0.1");
    WriteDword(NULL, "ProxyPort", profileProxy.Port());
    SetBrowserProxy(browserProxy.Port());

    // The profile's proxy fails, direct fails, the browser's proxy answers. The
    // server closes its connection: Wine's WinInet would otherwise send the
    // proxied request over the direct connection it keeps alive.
    profileProxy.Reply(502, "");
    m_server.Reply(404, "", 0, false);
    browserProxy.Reply(200, "1");
    CAccBuffer reply;
    CString strError;
    ASSERT_TRUE(Connect(reply, &strError)) << (LPCSTR)strError;
    char szUrl[128];
    sprintf(szUrl, "GET http://127.0.0.1:%d%s HTTP/1.1", m_server.Port(), OBJECT);
    ASSERT_EQ(1u, profileProxy.Requests().size());
    EXPECT_EQ(szUrl, profileProxy.Requests()[0].RequestLine());
    ASSERT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ(std::string("GET ") + OBJECT + " HTTP/1.1", m_server.Requests()[0].RequestLine());
    ASSERT_EQ(1u, browserProxy.Requests().size());
    EXPECT_EQ(szUrl, browserProxy.Requests()[0].RequestLine());

    // A proxy that answers ends the walk.
    profileProxy.Reply(200, "1");
    ASSERT_TRUE(Connect(reply, &strError));
    EXPECT_EQ(2u, profileProxy.Requests().size());
    EXPECT_EQ(1u, m_server.Requests().size());

    // Use proxy without a proxy server: no request at all.
    WriteString(NULL, "ProxyServer", "");
    EXPECT_FALSE(Connect(reply, &strError));
    EXPECT_EQ(2u, profileProxy.Requests().size());
    EXPECT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ(1u, browserProxy.Requests().size());
}

TEST_F(ConnectServerTest, TimeOutEndsTheWholeRequest)
{
    m_server.SetMode(CLoopbackHttpServer::SILENT);
    UseServer("localhost");
    // The overall wait, or the receive's own time-out when it comes first (which some
    // WinInet versions report as a broken connection).
    const NS_RegistryKey::STimeout cases[] = {
        { 1000, 1000, 1000, 1000, 1000 },
        { 6000, 1000, 800, 1000, 800 },
    };
    for (const NS_RegistryKey::STimeout& timeouts : cases)
    {
        size_t nBefore = m_server.Requests().size();
        CAccBuffer reply;
        CString strError;
        DWORD dwStart = GetTickCount();
        EXPECT_FALSE(Connect(reply, &strError, NULL, &timeouts));
        EXPECT_LT(GetTickCount() - dwStart, timeouts.dwConnect + 8000u);
        EXPECT_EQ(1u, m_server.Requests().size() - nBefore) << timeouts.dwConnect;
        EXPECT_EQ(0, strError.Find("(0x2EE2) ")) << (LPCSTR)strError;
    }
    m_server.Stop();
}

TEST_F(ConnectServerTest, CancelledOrNotConnectableMakesNoRequest)
{
    m_server.Reply(200, "1");
    CAccBuffer reply;
    CString strError = "untouched";
    EXPECT_FALSE(Connect(reply, &strError, AlwaysCancel));
    EXPECT_STREQ("untouched", strError);

    // The internet settings hold no server.
    EXPECT_FALSE(Connect(reply, &strError, NULL, NULL, FALSE));
    EXPECT_EQ(0, reply.GetLength());
    EXPECT_TRUE(m_server.Requests().empty());

    // The shut-down switch cancels through the request's own cancel test.
    NS_Notification::AllowConnect(FALSE);
    EXPECT_TRUE(NS_Notification::ConnectCancelCallback(NULL));
    EXPECT_FALSE(Connect(reply, &strError, NS_Notification::ConnectCancelCallback));
    EXPECT_TRUE(m_server.Requests().empty());
    NS_Notification::AllowConnect(TRUE);
    EXPECT_TRUE(Connect(reply, &strError, NS_Notification::ConnectCancelCallback));
}

namespace
{
unsigned __stdcall Request(void* pv)
{
    CAccBuffer reply;
    *(BOOL*)pv = NS_Notification::ConnectServer(reply, OBJECT, NULL, NULL, NULL, NULL, NULL, TRUE, NULL);
    return 0;
}
}

TEST_F(ConnectServerTest, RequestsRunOneAtATime)
{
    // Each reply takes 300 ms: two requests at once would end after 300 ms.
    m_server.Reply(200, "1", 300);
    BOOL afResult[2] = { FALSE, FALSE };
    HANDLE ahThreads[2] = {
        (HANDLE)_beginthreadex(NULL, 0, Request, &afResult[0], 0, NULL),
        (HANDLE)_beginthreadex(NULL, 0, Request, &afResult[1], 0, NULL),
    };
    DWORD dwStart = GetTickCount();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, ahThreads, TRUE, 20000));
    EXPECT_GE(GetTickCount() - dwStart, 600u);
    EXPECT_TRUE(afResult[0]);
    EXPECT_TRUE(afResult[1]);
    CloseHandle(ahThreads[0]);
    CloseHandle(ahThreads[1]);
    EXPECT_EQ(2u, m_server.Requests().size());
}

namespace
{
struct SCallbackLog
{
    int nContentLength;     // content-length calls
    BOOL fCancel;           // what the cancel callback answers
};

void OnContentLength(DWORD, LPVOID pv)
{
    ++((SCallbackLog*)pv)->nContentLength;
}

BOOL OnCancel(LPVOID pv)
{
    return ((SCallbackLog*)pv)->fCancel;
}

std::string Authorization(const CLoopbackHttpServer::Request& r)
{
    size_t n = r.strHead.find("\r\nAuthorization: ");
    return n == std::string::npos ? "" : r.strHead.substr(n + 17, r.strHead.find("\r\n", n + 2) - n - 17);
}
}

TEST_F(ConnectServerTest, InternetProfileComesFromInternetSettings)
{
    const char* INTERNET = "Internet Settings";
    WriteString(INTERNET, "Server", "mobile.example");
    WriteDword(INTERNET, "ServerPort", 8081);
    WriteString(INTERNET, "User name", "av");
    ASSERT_TRUE(NS_RegistryKey::SetInternetPassword("s3cret"));
    WriteString(INTERNET, "ProxyServer", "proxy.example");
    WriteDword(INTERNET, "ProxyPort", 3128);
    WriteString(INTERNET, "ProxyLogin", "pu");
    ASSERT_TRUE(NS_RegistryKey::SetInternetProxyPassword("pp"));
    const struct { DWORD dwUseProxy, dwAnonymous; const char *pszUser, *pszPassword, *pszProxyUser, *pszProxyPassword; } cases[] = {
        {0, 0, "av", "s3cret", "", ""},
        {1, 0, "av", "s3cret", "pu", "pp"},
        {1, 1, "", "", "pu", "pp"},
    };
    for (const auto& c : cases)
    {
        WriteDword(INTERNET, "UseProxy", c.dwUseProxy);
        WriteDword(INTERNET, "Use Anonymous", c.dwAnonymous);
        NS_Notification::SConnectProfile profile;
        profile.LoadInternet();
        SCOPED_TRACE(testing::Message() << c.dwUseProxy << c.dwAnonymous);
        EXPECT_STREQ("mobile.example", profile.m_strServerName);
        EXPECT_EQ(8081, profile.m_nServerPort);
        EXPECT_STREQ("proxy.example", profile.m_strProxyServer);
        EXPECT_EQ(3128, profile.m_nProxyPort);
        EXPECT_EQ((BOOL)c.dwUseProxy, profile.m_fUseProxy);
        EXPECT_STREQ(c.pszUser, profile.m_strUsername);
        EXPECT_STREQ(c.pszPassword, profile.m_strUserPassword);
        EXPECT_STREQ(c.pszProxyUser, profile.m_strProxyUsername);
        EXPECT_STREQ(c.pszProxyPassword, profile.m_strProxyPassword);
        // Three retries, half an hour to connect, five minutes for the rest.
        EXPECT_EQ(0x80000000u, profile.m_dwFlags);
        EXPECT_EQ(3u, profile.m_dwRetries);
        EXPECT_EQ(1800000u, profile.m_dwConnectTimeout);
        for (DWORD dw : {profile.m_dwControlSendTimeout, profile.m_dwControlReceiveTimeout,
                         profile.m_dwDataSendTimeout, profile.m_dwDataReceiveTimeout})
            EXPECT_EQ(300000u, dw);
        EXPECT_EQ(1u, profile.m_dwProxyAuthenticationRetryCount);
    }
}

TEST_F(ConnectServerTest, InternetRequestsTakeTheRegisteredCallbacks)
{
    const char* INTERNET = "Internet Settings";
    WriteString(INTERNET, "Server", "127.0.0.1");
    WriteDword(INTERNET, "ServerPort", m_server.Port());
    WriteDword(INTERNET, "UseProxy", 0);
    WriteString(INTERNET, "User name", "av");
    ASSERT_TRUE(NS_RegistryKey::SetInternetPassword("s3cret"));
    m_server.Reply(200, "1");
    SCallbackLog registered = {0, FALSE}, callers = {0, FALSE};
    NS_Notification::SetConnectCallbacks(NULL, OnContentLength, OnCancel, &registered);

    // An internet request: the registered callbacks, the server's credentials.
    CAccBuffer reply;
    CString strError;
    ASSERT_TRUE(NS_Notification::ConnectServer(reply, OBJECT, NULL, NULL, OnContentLength, OnCancel,
                                               &callers, FALSE, &strError)) << (LPCSTR)strError;
    EXPECT_EQ(1, registered.nContentLength);
    EXPECT_EQ(0, callers.nContentLength);
    ASSERT_EQ(1u, m_server.Requests().size());
    EXPECT_EQ("Basic YXY6czNjcmV0", Authorization(m_server.Requests()[0]));

    // An intranet request keeps the caller's; "Use Anonymous" sends no credentials.
    WriteDword(INTERNET, "Use Anonymous", 1);
    ASSERT_TRUE(NS_Notification::ConnectServer(reply, OBJECT, NULL, NULL, OnContentLength, OnCancel,
                                               &callers, TRUE, &strError));
    EXPECT_EQ(1, callers.nContentLength);
    ASSERT_TRUE(NS_Notification::ConnectServer(reply, OBJECT, NULL, NULL, NULL, NULL, NULL, FALSE, &strError));
    EXPECT_EQ(2, registered.nContentLength);
    ASSERT_EQ(3u, m_server.Requests().size());
    EXPECT_EQ("", Authorization(m_server.Requests()[2]));

    // The registered cancel callback cancels internet requests only, with one attempt.
    registered.fCancel = TRUE;
    EXPECT_TRUE(NS_Notification::IsCanceled(FALSE));
    EXPECT_FALSE(NS_Notification::IsCanceled(TRUE));
    m_server.Reply(200, "1", 3000);
    EXPECT_FALSE(NS_Notification::ConnectServer(reply, OBJECT, NULL, NULL, NULL, NULL, NULL, FALSE, &strError));
    EXPECT_EQ(0, strError.Find("(0x2EF1) ")) << (LPCSTR)strError;
    EXPECT_LE(m_server.Requests().size(), 4u);
    NS_Notification::SetConnectCallbacks(NULL, NULL, NULL, NULL);
    EXPECT_FALSE(NS_Notification::IsCanceled(FALSE));
}

TEST(InternetStatusText, UnknownStatusHasAnEmptyMessage)
{
    CString str;
    NS_Notification::GetInternetStatusText(299, str);
    EXPECT_STREQ("(299) ", str);
    CAccBuffer empty, reply;
    reply.Append("0123", 4);
    EXPECT_EQ(-7, NS_Configuration::GetIniReturnCode(empty, -7));
    EXPECT_EQ(1, NS_Configuration::GetIniReturnCode(reply, -7));
}

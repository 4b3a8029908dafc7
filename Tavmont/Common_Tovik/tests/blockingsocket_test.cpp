// Blocking sockets: header lines, time-outs, errors and the listener's end.
#include <gtest/gtest.h>

#include "BlockingSocket.h"

#include <process.h>
#include <string>

namespace
{
std::string Message(CException* e)
{
    char sz[256];
    e->GetErrorMessage(sz, sizeof(sz));
    return sz;
}

// A listening CBlockingSocket on 127.0.0.1 and one raw client connected to it.
class SocketPair : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &wsa));
        m_listener.Create();
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr("127.0.0.1");
        m_listener.Bind((sockaddr*)&addr);
        m_listener.Listen();
        int cb = sizeof(addr);
        getsockname(m_listener, (sockaddr*)&addr, &cb);
        m_addr = addr;

        m_client = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(0, connect(m_client, (sockaddr*)&m_addr, sizeof(m_addr)));
        sockaddr_in peer = {};
        ASSERT_TRUE(m_listener.Accept(m_server, (sockaddr*)&peer));
        EXPECT_EQ(inet_addr("127.0.0.1"), peer.sin_addr.s_addr);
    }

    void TearDown() override
    {
        if (m_client != INVALID_SOCKET)
            closesocket(m_client);
        m_server.CloseIfOpen();
        m_listener.CloseIfOpen();
        WSACleanup();
    }

    void ClientSends(const std::string& str)
    {
        ASSERT_EQ((int)str.size(), send(m_client, str.data(), (int)str.size(), 0));
        Sleep(50);
    }

    // The operation name and code of the exception ReadHeaderLine throws.
    std::string ReadFails(int nSecs, int* pnCode = NULL)
    {
        char sz[64];
        try
        {
            m_server.ReadHeaderLine(sz, sizeof(sz), nSecs);
        }
        catch (CBlockingSocketException* e)
        {
            std::string str = Message(e);
            if (pnCode != NULL)
                *pnCode = e->GetErrorCode();
            e->Delete();
            return str;
        }
        return "no exception";
    }

    CBlockingSocket m_listener;
    CHttpBlockingSocket m_server;
    SOCKET m_client = INVALID_SOCKET;
    sockaddr_in m_addr = {};
};
} // namespace

TEST_F(SocketPair, HeaderLinesComeOneByOneFromOnePacket)
{
    ClientSends("GET /?CAVIT HTTP/1.0\r\nHost: x\r\n\r\nbody");
    char sz[64];
    EXPECT_EQ(22, m_server.ReadHeaderLine(sz, sizeof(sz), 1));
    EXPECT_STREQ("GET /?CAVIT HTTP/1.0\r\n", sz);
    // No more data arrives: these are answered from the held bytes.
    EXPECT_EQ(9, m_server.ReadHeaderLine(sz, sizeof(sz), 1));
    EXPECT_STREQ("Host: x\r\n", sz);
    EXPECT_EQ(2, m_server.ReadHeaderLine(sz, sizeof(sz), 1));
    EXPECT_STREQ("\r\n", sz);

    // A line longer than the caller's buffer is cut; the next call starts
    // with the following line.
    ClientSends("\nABCDEFGHIJ\nnext\n");
    EXPECT_EQ(5, m_server.ReadHeaderLine(sz, sizeof(sz), 1));
    EXPECT_STREQ("body\n", sz);
    char szSmall[5];
    EXPECT_EQ(4, m_server.ReadHeaderLine(szSmall, sizeof(szSmall), 1));
    EXPECT_STREQ("ABCD", szSmall);
    EXPECT_EQ(5, m_server.ReadHeaderLine(sz, sizeof(sz), 1));
    EXPECT_STREQ("next\n", sz);
}

TEST_F(SocketPair, ReadHeaderLineFailures)
{
    // Nothing arrives.
    DWORD dwStart = GetTickCount();
    EXPECT_EQ("Receive timeout error", ReadFails(1));
    EXPECT_GE(GetTickCount() - dwStart, 900u);

    // 3000 bytes without a line feed: the 2000-byte block fills up.
    ClientSends(std::string(3000, 'x'));
    EXPECT_EQ("ReadHeaderLine error", ReadFails(1));

    // The peer closes.
    closesocket(m_client);
    m_client = INVALID_SOCKET;
    EXPECT_EQ(0, std::string(ReadFails(1)).find("ReadHeaderLine error"));
}

TEST_F(SocketPair, WriteSendsEverythingAndReceiveSeesTheClose)
{
    std::string strData(300000, '\0');
    for (size_t i = 0; i < strData.size(); ++i)
        strData[i] = (char)(i % 251);
    struct Reader
    {
        SOCKET s;
        std::string strGot;
        static unsigned __stdcall Run(void* pv)
        {
            Reader* p = (Reader*)pv;
            char buf[8192];
            int n;
            while ((n = recv(p->s, buf, sizeof(buf), 0)) > 0)
                p->strGot.append(buf, n);
            return 0;
        }
    } reader = {m_client, ""};
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, Reader::Run, &reader, 0, NULL);
    EXPECT_EQ((int)strData.size(), m_server.Write(strData.data(), (int)strData.size(), 5));
    m_server.Close();
    EXPECT_EQ(0u, (unsigned)m_server.GetSocket());
    EXPECT_EQ(0, m_server.CloseIfOpen());
    WaitForSingleObject(hThread, 10000);
    CloseHandle(hThread);
    EXPECT_TRUE(reader.strGot == strData);

    // The other way: Receive returns 0 once the peer has closed.
    CHttpBlockingSocket other;
    SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, connect(c, (sockaddr*)&m_addr, sizeof(m_addr)));
    ASSERT_TRUE(m_listener.Accept(other, NULL));
    closesocket(c);
    char buf[16];
    EXPECT_EQ(0, other.Receive(buf, sizeof(buf), 2));
    other.Close();
}

TEST_F(SocketPair, AcceptEndsWhenAnotherThreadClosesTheListener)
{
    struct Closer
    {
        CBlockingSocket* pListener;
        static unsigned __stdcall Run(void* pv)
        {
            Sleep(300);
            ((Closer*)pv)->pListener->Close();
            return 0;
        }
    } closer = {&m_listener};
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, Closer::Run, &closer, 0, NULL);
    CBlockingSocket connected;
    BOOL fAccepted = TRUE;
    std::string strError;
    try
    {
        fAccepted = m_listener.Accept(connected, NULL);
    }
    catch (CBlockingSocketException* e)
    {
        strError = Message(e);
        e->Delete();
    }
    WaitForSingleObject(hThread, 5000);
    CloseHandle(hThread);
    EXPECT_EQ("", strError);
    EXPECT_FALSE(fAccepted);
}

TEST_F(SocketPair, ErrorTexts)
{
    // A second socket cannot bind the address the listener holds.
    CBlockingSocket second;
    second.Create();
    int nCode = 0;
    std::string strText;
    try
    {
        second.Bind((sockaddr*)&m_addr);
    }
    catch (CBlockingSocketException* e)
    {
        nCode = e->GetErrorCode();
        strText = Message(e);
        e->Delete();
    }
    second.Close();
    EXPECT_EQ(WSAEADDRINUSE, nCode);
    EXPECT_EQ("Bind error #10048", strText);

    static const struct
    {
        UINT nMax;
        const char* pszExpected;
    } cases[] = {
        {100, "Send timeout error"},
        {6, "Send "},
        {1, ""},
    };
    WSASetLastError(0);
    CBlockingSocketException e("Send timeout");
    for (const auto& c : cases)
    {
        char sz[100];
        memset(sz, '#', sizeof(sz));
        EXPECT_TRUE(e.GetErrorMessage(sz, c.nMax));
        EXPECT_STREQ(c.pszExpected, sz);
    }
}

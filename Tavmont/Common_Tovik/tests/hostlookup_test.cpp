// Ping, host addresses, the TCP/IP test and the asynchronous look-up.
#include <gtest/gtest.h>

#include "HostLookup.h"
#include "WinsockDlg.h"

#include <process.h>
#include <string>
#include <vector>

namespace
{
class WinsockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &wsa));
    }
    void TearDown() override { WSACleanup(); }
};

std::vector<std::string> HostIPList(LPCSTR pszHost, BOOL* pfResult)
{
    char** ppList = (char**)1;
    *pfResult = getHostIPList(pszHost, &ppList);
    std::vector<std::string> list;
    if (*pfResult)
    {
        for (char** pp = ppList; *pp != NULL; ++pp)
            list.push_back(*pp);
        freeHostIPList(ppList);
    }
    else
        EXPECT_EQ(NULL, ppList);
    return list;
}
} // namespace

TEST_F(WinsockTest, PingLoopbackAndUnknownHost)
{
    EXPECT_TRUE(pingHost("127.0.0.1", 5000, 32));
    // The library is released again.
    EXPECT_EQ(NULL, GetModuleHandleA("ICMP.DLL"));

    CIcmpPing ping;
    CIcmpPing::SReply reply = {0, 0xFFFFFFFF};
    ASSERT_TRUE(ping.Ping("127.0.0.1", &reply, 128, 5000, 32));
    EXPECT_EQ(inet_addr("127.0.0.1"), reply.dwAddress);
    EXPECT_LT(reply.dwRoundTrip, 5000u);

    EXPECT_FALSE(pingHost("no-such-host.invalid"));
}

TEST(IcmpReply, Check)
{
    struct
    {
        ICMP_ECHO_REPLY reply;
        BYTE data[40];
    } echo;
    static const struct
    {
        ULONG ulStatus;
        int nDataSize;
        int nBadByte;       // index of a byte that is not "E", or -1
        BOOL fExpected;
        DWORD dwError;
    } cases[] = {
        {0, 32, -1, TRUE, 0},
        {11010, 32, -1, FALSE, 11010},      // timed out
        {0, 31, -1, FALSE, ERROR_UNEXP_NET_ERR},
        {0, 32, 17, FALSE, ERROR_UNEXP_NET_ERR},
    };
    for (const auto& c : cases)
    {
        memset(&echo, 0, sizeof(echo));
        echo.reply.Status = c.ulStatus;
        echo.reply.DataSize = (USHORT)c.nDataSize;
        echo.reply.Data = echo.data;
        memset(echo.data, 'E', sizeof(echo.data));
        if (c.nBadByte >= 0)
            echo.data[c.nBadByte] = 'F';
        SetLastError(0);
        EXPECT_EQ(c.fExpected, CIcmpPing::CheckEchoReply(&echo.reply, 32)) << c.ulStatus << " " << c.nDataSize;
        EXPECT_EQ(c.dwError, GetLastError());
    }
}

TEST(LibraryHandle, LoadFailureAndRelease)
{
    CLibraryHandle library;
    try
    {
        library.Load("Z:\\no\\such\\library.dll", LOAD_WITH_ALTERED_SEARCH_PATH);
        ADD_FAILURE() << "no exception";
    }
    catch (CLibraryHandleException* e)
    {
        EXPECT_STREQ("Z:\\no\\such\\library.dll", e->GetPath());
        EXPECT_NE(0, e->GetErrorCode());
        e->Delete();
    }
    EXPECT_EQ(NULL, library.GetHandle());

    ASSERT_EQ(NULL, GetModuleHandleA("ICMP.DLL"));
    {
        CLibraryHandle icmp;
        icmp.Load("ICMP.DLL", LOAD_WITH_ALTERED_SEARCH_PATH);
        EXPECT_EQ(icmp.GetHandle(), GetModuleHandleA("ICMP.DLL"));
        icmp.Load("ICMP.DLL", LOAD_WITH_ALTERED_SEARCH_PATH);     // the first is freed
    }
    EXPECT_EQ(NULL, GetModuleHandleA("ICMP.DLL"));
}

TEST_F(WinsockTest, HostIPList)
{
    BOOL fResult = FALSE;
    std::vector<std::string> list = HostIPList(NULL, &fResult);
    EXPECT_TRUE(fResult);
    EXPECT_FALSE(list.empty());
    EXPECT_EQ(list, HostIPList("", &fResult));

    list = HostIPList("127.0.0.1", &fResult);
    EXPECT_TRUE(fResult);
    EXPECT_EQ(std::vector<std::string>{"127.0.0.1"}, list);

    HostIPList("no-such-host.invalid", &fResult);
    EXPECT_FALSE(fResult);
    // A name too long for the 128-byte buffer is refused, not copied.
    HostIPList(std::string(4000, 'a').c_str(), &fResult);
    EXPECT_FALSE(fResult);

    EXPECT_TRUE(isTcpIpAvailable());
}

namespace
{

class LookupTest : public WinsockTest
{
protected:
    void SetUp() override
    {
        WinsockTest::SetUp();
        // A minimal template for the hidden dialog (the program's own comes
        // from its language resources): a pop-up without items, menu, class
        // or title.
        alignas(4) static const WORD s_template[] = {
            LOWORD(WS_POPUP), HIWORD(WS_POPUP), 0, 0, 0, 0, 0, 10, 10, 0, 0, 0, 0};
        ASSERT_TRUE(m_dlg.CreateIndirect((LPCDLGTEMPLATE)s_template));
        EXPECT_FALSE(m_dlg.IsWindowVisible());
    }

    // Keeps this (the dialog's) thread's messages flowing until the threads end.
    bool PumpUntilEnded(const std::vector<HANDLE>& threads, DWORD dwTimeout)
    {
        DWORD dwStart = GetTickCount();
        while (GetTickCount() - dwStart < dwTimeout)
        {
            if (WaitForMultipleObjects((DWORD)threads.size(), threads.data(), TRUE, 0) == WAIT_OBJECT_0)
                return true;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        return false;
    }

    CWinsockDlg m_dlg;
};

struct SLookupWorker
{
    CWinsockDlg* pDlg;
    std::string strHost;
    int nRounds;
    int nWrong;
    static unsigned __stdcall Run(void* pv)
    {
        SLookupWorker* p = (SLookupWorker*)pv;
        for (int i = 0; i < p->nRounds; ++i)
        {
            char sz[32] = "";
            if (!p->pDlg->AsyncGetHostByName(p->strHost.c_str(), sz, sizeof(sz)) || p->strHost != sz)
                ++p->nWrong;
        }
        return 0;
    }
};
} // namespace

TEST_F(LookupTest, ResolvesOnItsOwnThread)
{
    char sz[32] = "";
    EXPECT_TRUE(m_dlg.AsyncGetHostByName("127.0.0.1", sz, sizeof(sz)));
    EXPECT_STREQ("127.0.0.1", sz);
    EXPECT_TRUE(m_dlg.AsyncGetHostByName("localhost", sz, sizeof(sz)));
    EXPECT_STREQ("127.0.0.1", sz);
    // Cut to the caller's size.
    EXPECT_TRUE(m_dlg.AsyncGetHostByName("127.0.0.1", sz, 5));
    EXPECT_STREQ("127.", sz);
    EXPECT_FALSE(m_dlg.AsyncGetHostByName("no-such-host.invalid", sz, sizeof(sz)));
}

TEST_F(LookupTest, ConcurrentCallersEachGetTheirOwnAddress)
{
    // Worker threads and the dialog's own thread look up at the same time:
    // every caller must get its own answer and the dialog's thread, which
    // delivers the workers' answers while it waits, must not deadlock.
    std::vector<SLookupWorker> workers;
    for (int i = 0; i < 4; ++i)
        workers.push_back(SLookupWorker{&m_dlg, "127.0.0." + std::to_string(10 + i), 15, 0});
    std::vector<HANDLE> threads;
    for (SLookupWorker& w : workers)
        threads.push_back((HANDLE)_beginthreadex(NULL, 0, SLookupWorker::Run, &w, 0, NULL));

    int nWrongHere = 0;
    for (int i = 0; i < 15; ++i)
    {
        char sz[32] = "";
        if (!m_dlg.AsyncGetHostByName("127.0.0.99", sz, sizeof(sz)) || strcmp(sz, "127.0.0.99") != 0)
            ++nWrongHere;
    }
    EXPECT_TRUE(PumpUntilEnded(threads, 60000));
    for (HANDLE h : threads)
        CloseHandle(h);
    EXPECT_EQ(0, nWrongHere);
    for (const SLookupWorker& w : workers)
        EXPECT_EQ(0, w.nWrong) << w.strHost;
}

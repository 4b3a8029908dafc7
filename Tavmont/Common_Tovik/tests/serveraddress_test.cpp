// Server address, ping, address changes, time-outs and the client GUID.
#include "RegistryKey.h"

#include "HostLookup.h"
#include "productkey_fixture.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

// Array allocations of one thread, counted while a test asks for it: a list
// freed another way than it was made leaves the count unbalanced.
namespace
{
DWORD g_dwCountingThread = 0;
LONG g_nLiveArrays = 0;

void CountArray(void* p, LONG nDelta)
{
    if (p != NULL && g_dwCountingThread == GetCurrentThreadId())
        g_nLiveArrays += nDelta;
}
}

void* operator new[](std::size_t n)
{
    void* p = malloc(n ? n : 1);
    if (p == NULL)
        throw std::bad_alloc();
    CountArray(p, 1);
    return p;
}

void operator delete[](void* p) noexcept
{
    CountArray(p, -1);
    free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    operator delete[](p);
}

namespace
{
class ServerAddressTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        CreateKey();
    }
    void TearDown() override
    {
        NS_RegistryKey::Destruct();
        NS_RegistryKey::g_fFQDNFirst = FALSE;
        WSACleanup();
        ProductKeyTest::TearDown();
    }

    static std::vector<std::string> LocalAddresses()
    {
        std::vector<std::string> list;
        char** ppList = NULL;
        if (getHostIPList(NULL, &ppList))
        {
            for (char** pp = ppList; *pp != NULL; ++pp)
                list.push_back(*pp);
            freeHostIPList(ppList);
        }
        return list;
    }

    // Replaces the saved address list.
    static void SaveList(const std::vector<std::string>& list)
    {
        NS_RegistryKey::Destruct();
        std::vector<char*> texts;
        for (const std::string& s : list)
            texts.push_back(const_cast<char*>(s.c_str()));
        texts.push_back(NULL);
        NS_RegistryKey::g_ppszLocalIPList = copyHostIPList(&texts[0]);
        NS_RegistryKey::g_nLocalIPCount = (int)list.size();
    }
};
}

TEST_F(ServerAddressTest, UpdateServerIPResolvesTheNameOrItsComputerName)
{
    struct Case
    {
        const char* pszServer;
        BOOL fResult;
        const char* pszServerIP;      // after a previous "10.1.1.1"
    } cases[] = {
        { "127.0.0.1", TRUE, "" },                       // an address needs no look-up
        { "", TRUE, "" },
        { "localhost", TRUE, "127.0.0.1" },
        { "localhost.no-such-domain.invalid", TRUE, "127.0.0.1" },  // by its computer name
        { "no-such-host.invalid", FALSE, "10.1.1.1" },  // kept
    };
    for (const Case& c : cases)
    {
        WriteString(NULL, "Server", c.pszServer);
        WriteString(NULL, "ServerIP", "10.1.1.1");
        EXPECT_EQ(c.fResult, NS_RegistryKey::UpdateServerIP()) << c.pszServer;
        EXPECT_EQ(c.pszServerIP, ReadString(NULL, "ServerIP")) << c.pszServer;
    }

    WriteString(NULL, "ProxyServer", "localhost.no-such-domain.invalid");
    EXPECT_TRUE(NS_RegistryKey::UpdateProxyServerIP());
    EXPECT_EQ("127.0.0.1", ReadString(NULL, "ProxyServerIP"));
}

TEST_F(ServerAddressTest, SetServerSettingsStoresAndResolves)
{
    WriteString(NULL, "ProxyServer", "old-proxy");
    NS_RegistryKey::SetServerSettings("localhost", 8080, "localhost", 3128, TRUE, TRUE);
    EXPECT_EQ("localhost", ReadString(NULL, "Server"));
    EXPECT_EQ(8080u, ReadDword(NULL, "ServerPort"));
    EXPECT_EQ("old-proxy", ReadString(NULL, "ProxyServer"));     // server only
    EXPECT_FALSE(HasValue(NULL, "UseProxy"));
    EXPECT_EQ("127.0.0.1", ReadString(NULL, "ServerIP"));

    NS_RegistryKey::SetServerSettings("srv", 0, "localhost", 3128, TRUE, FALSE);
    EXPECT_EQ("srv", ReadString(NULL, "Server"));
    EXPECT_EQ(8080u, ReadDword(NULL, "ServerPort"));               // 0 leaves it
    EXPECT_EQ("localhost", ReadString(NULL, "ProxyServer"));
    EXPECT_EQ(3128u, ReadDword(NULL, "ProxyPort"));
    EXPECT_EQ(1u, ReadDword(NULL, "UseProxy"));
    EXPECT_EQ("127.0.0.1", ReadString(NULL, "ProxyServerIP"));

    // No server name: nothing is written.
    NS_RegistryKey::SetServerSettings("", 9090, "other", 1, FALSE, FALSE);
    EXPECT_EQ("srv", ReadString(NULL, "Server"));
    EXPECT_EQ(1u, ReadDword(NULL, "UseProxy"));
}

TEST_F(ServerAddressTest, PingServerAndProxy)
{
    WriteString(NULL, "Server", "127.0.0.1");
    EXPECT_TRUE(NS_RegistryKey::PingServer(2, 2000, FALSE));
    EXPECT_TRUE(HasValue(NULL, "ServerIP"));
    EXPECT_EQ("", ReadString(NULL, "ServerIP"));

    // A stale address: the name is looked up again and answers.
    WriteString(NULL, "Server", "localhost");
    WriteString(NULL, "ServerIP", "no-such-host.invalid");
    EXPECT_TRUE(NS_RegistryKey::PingServer(2, 2000, FALSE));
    EXPECT_EQ("127.0.0.1", ReadString(NULL, "ServerIP"));

    WriteString(NULL, "Server", "no-such-host.invalid");
    WriteString(NULL, "ServerIP", "");
    EXPECT_FALSE(NS_RegistryKey::PingServer(2, 2000, FALSE));

    // With a proxy, the proxy is what must answer.
    WriteDword(NULL, "UseProxy", 1);
    WriteString(NULL, "ProxyServer", "localhost");
    EXPECT_TRUE(NS_RegistryKey::PingServer(2, 2000, FALSE));
    EXPECT_EQ("127.0.0.1", ReadString(NULL, "ProxyServerIP"));
}

TEST_F(ServerAddressTest, GetServerComputerNameForm)
{
    struct Case
    {
        const char* pszServer;
        const char* pszFull;
        const char* pszComputer;
    } cases[] = {
        { "av1.sales.corp", "av1.sales.corp", "av1" },
        { "10.1.2.3", "10.1.2.3", "10.1.2.3" },
        { "server", "server", "server" },
        { "", "", "" },
    };
    for (const Case& c : cases)
    {
        WriteString(NULL, "Server", c.pszServer);
        EXPECT_STREQ(c.pszFull, NS_RegistryKey::GetServer(FALSE)) << c.pszServer;
        EXPECT_STREQ(c.pszComputer, NS_RegistryKey::GetServer(TRUE)) << c.pszServer;
    }
}

TEST_F(ServerAddressTest, IsIPChangedComparesAsSets)
{
    std::vector<std::string> current = LocalAddresses();
    ASSERT_FALSE(current.empty());
    EXPECT_TRUE(NS_RegistryKey::IsIPChanged());          // against an empty list
    EXPECT_EQ((int)current.size(), NS_RegistryKey::g_nLocalIPCount);
    EXPECT_FALSE(NS_RegistryKey::IsIPChanged());

    std::vector<std::string> reversed(current.rbegin(), current.rend());
    SaveList(reversed);
    EXPECT_FALSE(NS_RegistryKey::IsIPChanged());

    std::vector<std::string> added = current;
    added.push_back("10.99.99.99");
    SaveList(added);
    EXPECT_TRUE(NS_RegistryKey::IsIPChanged());
    EXPECT_FALSE(NS_RegistryKey::IsIPChanged());

    std::vector<std::string> other(current.size(), "10.99.99.99");
    SaveList(other);
    EXPECT_TRUE(NS_RegistryKey::IsIPChanged());
    EXPECT_STREQ(current[0].c_str(), NS_RegistryKey::g_ppszLocalIPList[0]);
}

TEST(ServerTimeout, TableByKindAndNetwork)
{
    struct Case
    {
        UINT nKind;
        BOOL fIntranet;
        DWORD dwConnect;
        DWORD dwOthers;
    } cases[] = {
        { NS_RegistryKey::STimeout::Pattern, TRUE, 720000, 180000 },
        { NS_RegistryKey::STimeout::Pattern, FALSE, 1380000, 300000 },
        { NS_RegistryKey::STimeout::Engine, FALSE, 720000, 300000 },
        { NS_RegistryKey::STimeout::Program, TRUE, 4020000, 180000 },
        { NS_RegistryKey::STimeout::Program, FALSE, 7980000, 300000 },
        { NS_RegistryKey::STimeout::HotFix, TRUE, 1500000, 180000 },
        { NS_RegistryKey::STimeout::cgiRqIni, FALSE, 300000, 300000 },
        { NS_RegistryKey::STimeout::LocalCfgLog, TRUE, 300000, 180000 },
    };
    for (const Case& c : cases)
    {
        NS_RegistryKey::STimeout t;
        ASSERT_EQ(&t, NS_RegistryKey::GetTimeout(&t, c.nKind, c.fIntranet));
        EXPECT_EQ(c.dwConnect, t.dwConnect) << c.nKind;
        EXPECT_EQ(c.dwOthers, t.dwControlSend) << c.nKind;
        EXPECT_EQ(c.dwOthers, t.dwControlReceive) << c.nKind;
        EXPECT_EQ(c.dwOthers, t.dwDataSend) << c.nKind;
        EXPECT_EQ(c.dwOthers, t.dwDataReceive) << c.nKind;
    }
}

TEST_F(ServerAddressTest, CreateNewGUIDGivesANewLowerCaseIdentity)
{
    ASSERT_TRUE(NS_RegistryKey::CreateNewGUID());
    std::string first = ReadString(NULL, "GUID");
    ASSERT_EQ(36u, first.size());
    for (size_t i = 0; i < first.size(); ++i)
    {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ('-', first[i]);
        else
            EXPECT_TRUE(isdigit(first[i]) || (first[i] >= 'a' && first[i] <= 'f')) << first;
    }
    EXPECT_STREQ(first.c_str(), NS_RegistryKey::GetGUID());
    ASSERT_TRUE(NS_RegistryKey::CreateNewGUID());
    EXPECT_NE(first, ReadString(NULL, "GUID"));

    DeleteProductKey();
    EXPECT_FALSE(NS_RegistryKey::CreateNewGUID());
}

TEST_F(ServerAddressTest, SavedListIsFreedAsItWasMade)
{
    NS_RegistryKey::Destruct();
    g_nLiveArrays = 0;
    g_dwCountingThread = GetCurrentThreadId();

    // Made by the look-up, replaced by a changed list, freed by Destruct.
    char** ppList = NULL;
    ASSERT_TRUE(getHostIPList(NULL, &ppList));
    EXPECT_LT(0, g_nLiveArrays);
    NS_RegistryKey::g_ppszLocalIPList = ppList;
    NS_RegistryKey::g_nLocalIPCount = 0;
    EXPECT_TRUE(NS_RegistryKey::IsIPChanged());
    NS_RegistryKey::Destruct();
    EXPECT_EQ(0, g_nLiveArrays);

    // A copy, then an unchanged list, both freed the same way.
    char* texts[] = { const_cast<char*>("10.99.99.99"), NULL };
    NS_RegistryKey::g_ppszLocalIPList = copyHostIPList(texts);
    NS_RegistryKey::g_nLocalIPCount = 1;
    EXPECT_EQ(2, g_nLiveArrays);
    EXPECT_STREQ("10.99.99.99", NS_RegistryKey::g_ppszLocalIPList[0]);
    EXPECT_TRUE(NS_RegistryKey::IsIPChanged());
    EXPECT_FALSE(NS_RegistryKey::IsIPChanged());
    NS_RegistryKey::Destruct();
    EXPECT_EQ(0, g_nLiveArrays);

    g_dwCountingThread = 0;
}

#include <gtest/gtest.h>

#include "NetSessions.h"

#include <stdexcept>
#include <string.h>
#include <string>
#include <vector>

namespace
{
struct SFakeSession
{
    std::string strClient;
    std::string strUser;
    DWORD dwIdle;
};

// What the fake server service answers.
struct SFakeService
{
    UINT uResult;
    std::vector<SFakeSession> sessions;
};
SFakeService g_service;

// Fills the answer as the service does: the entries first, their names after them.
UINT WINAPI fakeNetSessionEnum(const char* pszServer, short sLevel, char* pbBuffer, unsigned short cbBuffer,
                               unsigned short* pcRead, unsigned short* pcTotal)
{
    if (pszServer != NULL || sLevel != SESSION_LEVEL || cbBuffer != SESSION_BUFFER_SIZE)
        return 87;
    size_t nEntries = g_service.sessions.size();
    SSessionInfo50* pEntries = (SSessionInfo50*)pbBuffer;
    char* pText = pbBuffer + nEntries * sizeof(SSessionInfo50);
    for (size_t i = 0; i < nEntries; ++i)
    {
        const SFakeSession& s = g_service.sessions[i];
        memset(&pEntries[i], 0, sizeof(pEntries[i]));
        pEntries[i].pszClientName = strcpy(pText, s.strClient.c_str());
        pText += s.strClient.size() + 1;
        pEntries[i].pszUserName = strcpy(pText, s.strUser.c_str());
        pText += s.strUser.size() + 1;
        pEntries[i].dwConnectedTime = 600;
        pEntries[i].dwIdleTime = s.dwIdle;
    }
    *pcRead = (unsigned short)nEntries;
    *pcTotal = (unsigned short)nEntries;
    return g_service.uResult;
}

UINT WINAPI faultingNetSessionEnum(const char*, short, char*, unsigned short, unsigned short*, unsigned short*)
{
    *(volatile int*)NULL = 1;
    return 0;
}

UINT WINAPI raisingNetSessionEnum(const char*, short, char*, unsigned short, unsigned short*, unsigned short*)
{
    RaiseException(0x80000100, EXCEPTION_NONCONTINUABLE, 0, NULL);
    return 0;
}

std::string sourceOf(UINT uResult, const std::vector<SFakeSession>& sessions, int cbBuffer = 128)
{
    g_service.uResult = uResult;
    g_service.sessions = sessions;
    std::vector<char> buffer(cbBuffer, '#');
    int nLength = GetInfectionSourceWith(fakeNetSessionEnum, &buffer[0], cbBuffer);
    EXPECT_EQ((int)strlen(&buffer[0]), nLength);
    return &buffer[0];
}

TEST(NetSessions, ActiveSessionsLeastIdleFirst)
{
    const struct { const char* pszCase; UINT uResult; std::vector<SFakeSession> sessions; const char* pszText; } cases[] = {
        { "none", 0, {}, "" },
        { "idle order", 0, { { "PC7", "ann", 7 }, { "PC0", "bob", 0 }, { "PC3", "cid", 3 } }, "PC0\\bob;PC3\\cid" },
        { "equal idle keeps order", 0, { { "B", "x", 2 }, { "A", "y", 2 }, { "C", "z", 1 } }, "C\\z;B\\x;A\\y" },
        { "no user", 0, { { "KIOSK", "", 1 } }, "KIOSK\\" },
        { "no client", 0, { { "", "eve", 0 }, { "PC1", "dan", 4 } }, "PC1\\dan" },
        { "all idle", 0, { { "PC5", "fay", 5 }, { "PC9", "gus", 9 } }, "" },
        { "more data", 234, { { "PC1", "hal", 1 } }, "PC1\\hal" },
        { "service error", 2102, { { "PC1", "hal", 1 } }, "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pszText, sourceOf(c.uResult, c.sessions)) << c.pszCase;
}

TEST(NetSessions, NamesAreCutToTheirFields)
{
    std::string strText = sourceOf(0, { { std::string(200, 'C'), std::string(100, 'u'), 0 } }, 256);
    EXPECT_EQ(std::string(127, 'C') + "\\" + std::string(63, 'u'), strText);
}

TEST(NetSessions, TextHoldsOnlyWholeItemsWithinTheBuffer)
{
    std::vector<SFakeSession> sessions;
    for (int i = 0; i < 40; ++i)
        sessions.push_back({ "WORKSTATION" + std::to_string(i), "user" + std::to_string(i), 0 });
    for (int cbBuffer : { 128, 30, 21, 2, 1 })
    {
        std::string strText = sourceOf(0, sessions, cbBuffer);
        EXPECT_LE((int)strText.size(), cbBuffer - 1);
        // Every item is complete; a separator may close the text.
        size_t nStart = 0;
        for (int i = 0; nStart < strText.size(); ++i)
        {
            size_t nEnd = strText.find(';', nStart);
            std::string strItem = strText.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
            EXPECT_EQ("WORKSTATION" + std::to_string(i) + "\\user" + std::to_string(i), strItem) << cbBuffer;
            if (nEnd == std::string::npos)
                break;
            nStart = nEnd + 1;
        }
    }
}

TEST(NetSessions, FaultInTheServiceGivesNothing)
{
    for (PFN_NETSESSIONENUM pfn : { faultingNetSessionEnum, raisingNetSessionEnum })
    {
        char szText[128] = "old";
        EXPECT_EQ(0, GetInfectionSourceWith(pfn, szText, sizeof(szText)));
        EXPECT_STREQ("", szText);
    }
    // The thread's exception handling still works afterwards.
    EXPECT_THROW(throw std::runtime_error("after"), std::runtime_error);
    EXPECT_EQ("PC1\\ida", sourceOf(0, { { "PC1", "ida", 0 } }));
}

TEST(NetSessions, ServiceOfThisSystem)
{
    // This system has no working server service for shares: nothing is found.
    char szText[128] = "old";
    EXPECT_EQ(0, GetInfectionSource(NULL, szText, sizeof(szText)));
    EXPECT_STREQ("", szText);
    EXPECT_EQ(0, GetInfectionSource(NULL, NULL, 128));
    EXPECT_EQ(0, GetInfectionSource(NULL, szText, 0));
    EXPECT_EQ(0, GetInfectionSourceWith(NULL, szText, sizeof(szText)));
}
}

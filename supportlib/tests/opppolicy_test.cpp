// Outbreak-policy binding over the real ZaVuz.dll: application, lifting,
// expiry at application and by the expiry thread.
#include "OppPolicy.h"

#include "VglTestSupport.h"
#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <string>
#include <string.h>
#include <vector>

namespace
{
const char SECTION[] = "SLF_PRODUCT_VIGILON_CE";
const char ISSUE[] = "2026-01-10 10:00";

CRITICAL_SECTION g_statusLock;
std::vector<long> g_statuses;
volatile long g_nNow = 0;

void OnStatus(DWORD* pdwStatus)
{
    EnterCriticalSection(&g_statusLock);
    g_statuses.push_back((long)*pdwStatus);
    LeaveCriticalSection(&g_statusLock);
}

std::vector<long> Statuses()
{
    EnterCriticalSection(&g_statusLock);
    std::vector<long> v = g_statuses;
    LeaveCriticalSection(&g_statusLock);
    return v;
}

// What the policy library asked of the filter driver: each operation, with the text of 3 to 5
// and the texts of 6 and 7 joined with '|'.
std::vector<std::string> g_engineCalls;
volatile int g_nEngineResult = 1;

int OnEngine(int nOperation, void* pvArgument)
{
    std::string strCall = std::to_string(nOperation);
    const char* psz = (const char*)pvArgument;
    if (nOperation >= 3 && nOperation <= 5)
        strCall += " " + std::string(psz);
    if (nOperation == 6 || nOperation == 7)
    {
        strCall += " ";
        for (const char* p = psz; *p != '\0'; p += strlen(p) + 1)
            strCall += std::string(p) + "|";
    }
    EnterCriticalSection(&g_statusLock);
    g_engineCalls.push_back(strCall);
    LeaveCriticalSection(&g_statusLock);
    return g_nEngineResult;
}

long FakeClock()
{
    return g_nNow;
}

class OppPolicyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitializeCriticalSection(&g_statusLock);
        g_statuses.clear();
        g_engineCalls.clear();
        g_nEngineResult = 1;
        folder = FreshScratchFolder("opp");
        policy = folder + "\\zavuz.ini";
        restore = folder + "\\ZavuzRestore.ini";
        journal = folder + "\\ZaVuz.log";
        SetEnvironmentVariableA("VGL_ZAVUZ_JOURNAL", journal.c_str());
        g_pfnOppClock = FakeClock;
        g_dwOppExpiryCheckMs = 50;
        g_nNow = oppMinutesOf(ISSUE) + 30;
    }
    void TearDown() override
    {
        // Lift whatever is left so no expiry thread outlives the test.
        WritePolicy(0, "1");
        ApplyOppPolicy(policy.c_str(), SECTION, folder.c_str(), NULL, NULL, NULL);
        EXPECT_TRUE(waitOppExpiryThreadEnded(5000));
        g_pfnOppClock = oppCurrentMinute;
        g_dwOppExpiryCheckMs = 60000;
        SetEnvironmentVariableA("VGL_ZAVUZ_JOURNAL", NULL);
        DeleteCriticalSection(&g_statusLock);
    }

    void WritePolicy(int nEnable, const char* pszHours)
    {
        WritePrivateProfileStringA(SECTION, "Enable", nEnable ? "1" : "0", policy.c_str());
        WritePrivateProfileStringA(SECTION, "MaxOutbreakDuration", pszHours, policy.c_str());
        WritePrivateProfileStringA(SECTION, "IssueTime", ISSUE, policy.c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, policy.c_str());
    }

    int Apply(const char* pszPorts = "12345,80", const std::string& pattern = "")
    {
        return ApplyOppPolicy(policy.c_str(), SECTION, pattern.empty() ? folder.c_str() : pattern.c_str(),
                              pszPorts, OnStatus, OnEngine);
    }

    UINT Enable() { return GetPrivateProfileIntA(SECTION, "Enable", -1, policy.c_str()); }

    std::string folder, policy, restore, journal;
};
}

TEST_F(OppPolicyTest, AppliesThenLiftsAndStopsTheExpiryThread)
{
    WritePolicy(1, "1");
    EXPECT_EQ(OPP_APPLIED, Apply());
    EXPECT_TRUE(FileExists(restore));
    std::string log = ReadWholeFile(journal);
    EXPECT_NE(std::string::npos, log.find("SetOppEngFun set"));
    EXPECT_NE(std::string::npos, log.find("SetDWPatternPath " + folder + " -> 1"));
    EXPECT_NE(std::string::npos, log.find("ports=12345,80 enable=1 -> 1"));
    EXPECT_FALSE(waitOppExpiryThreadEnded(200));

    WritePolicy(0, "1");
    DWORD dwStart = GetTickCount();
    EXPECT_EQ(OPP_APPLIED, Apply());
    EXPECT_LT(GetTickCount() - dwStart, 5000u);
    EXPECT_FALSE(FileExists(restore));
    EXPECT_TRUE(waitOppExpiryThreadEnded(0));
    EXPECT_TRUE(Statuses().empty());
}

TEST_F(OppPolicyTest, PolicyExpiredAtApplicationIsLifted)
{
    WritePolicy(1, "1");
    g_nNow = oppMinutesOf(ISSUE) + 60;
    EXPECT_EQ(OPP_E_EXPIRED, Apply());
    EXPECT_EQ(0u, Enable());
    EXPECT_FALSE(FileExists(restore));
    EXPECT_NE(std::string::npos, ReadWholeFile(journal).find("enable=0 -> 1"));
    EXPECT_TRUE(waitOppExpiryThreadEnded(0));
}

TEST_F(OppPolicyTest, FailuresAndTheirReports)
{
    // The library refuses the port list: the policy is switched off and restored.
    WritePolicy(1, "1");
    EXPECT_EQ(-3, Apply("12345,notaport"));
    EXPECT_EQ(0u, Enable());
    EXPECT_NE(std::string::npos, ReadWholeFile(journal).find("enable=0 -> 1"));
    EXPECT_TRUE(waitOppExpiryThreadEnded(0));

    // A pattern path the library refuses is reported, the apply result stands.
    WritePolicy(1, "1");
    EXPECT_EQ(OPP_APPLIED, Apply("12345", folder + "\\no-such-folder"));
    EXPECT_EQ(std::vector<long>({ OPP_E_PATTERN_PATH }), Statuses());

    // Times that are missing count as 0: the policy has expired at once.
    DeleteFileA(policy.c_str());
    WritePrivateProfileStringA(SECTION, "Enable", "1", policy.c_str());
    EXPECT_EQ(OPP_E_EXPIRED, Apply());
}

TEST_F(OppPolicyTest, ExpiryThreadLiftsThePolicyUnderThePolicyLock)
{
    WritePolicy(1, "1");
    ASSERT_EQ(OPP_APPLIED, Apply());

    LockOppPolicy();
    g_nNow = oppMinutesOf(ISSUE) + 61;
    Sleep(400);
    // Waits for the lock: nothing lifted yet.
    EXPECT_TRUE(FileExists(restore));
    EXPECT_EQ(1u, Enable());
    UnlockOppPolicy();

    ASSERT_TRUE(waitOppExpiryThreadEnded(5000));
    EXPECT_FALSE(FileExists(restore));
    EXPECT_EQ(0u, Enable());
    EXPECT_EQ(std::vector<long>({ OPP_STATUS_EXPIRED }), Statuses());
}

TEST(OppPolicyTime, IssueTimeToMinutes)
{
    long n = oppMinutesOf("2026-03-01 08:30");
    EXPECT_EQ(n, oppMinutesOf("2026 03 01 08 30"));
    EXPECT_EQ(n + 60 * 24, oppMinutesOf("2026-3-2 8:30"));
    EXPECT_EQ(0, oppMinutesOf(""));
    EXPECT_EQ(0, oppMinutesOf("2026-03-01"));
}

TEST_F(OppPolicyTest, ThePolicyReachesTheFilterDriver)
{
    WritePolicy(1, "1");
    WritePrivateProfileStringA(SECTION, "BlockPorts", "135, 80,445", policy.c_str());
    WritePrivateProfileStringA(SECTION, "BlockShares", "C$,ADMIN$", policy.c_str());
    WritePrivateProfileStringA(SECTION, "DenyFileTypes", "VBS", policy.c_str());
    EXPECT_EQ(OPP_APPLIED, Apply());
    // The trusted port 80 stays open; the driver is started and stopped around the requests.
    EXPECT_EQ((std::vector<std::string>{"1", "3 outbreak", "4 135,445", "5 " + folder, "6 C$|ADMIN$|", "7 VBS|",
                                        "2"}),
              g_engineCalls);

    g_engineCalls.clear();
    WritePolicy(0, "1");
    EXPECT_EQ(OPP_APPLIED, Apply());
    EXPECT_EQ((std::vector<std::string>{"1", "3 normal", "4 ", "5 " + folder, "6 ", "7 ", "2"}), g_engineCalls);

    // A driver that refuses the policy: not applied, no mark of a policy in force.
    g_nEngineResult = 0;
    WritePolicy(1, "1");
    EXPECT_GE(0, Apply());
    EXPECT_FALSE(FileExists(restore));
}

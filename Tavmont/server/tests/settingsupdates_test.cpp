// Hot-fix stamps and files, a renewal without the update information, the schedule values, the schedule-update thread's decision and the
// outbreak-policy message's line breaks.
#include "Notification.h"

#include "ScheduleUpdate.h"
#include "Updates.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "LoopbackHttpServer.h"
#include "Misutils.h"
#include "upgradelock_fixture.h"

#include <stdlib.h>
#include <string>

using namespace NS_Notification;

class HotFixTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        CreateKey();
    }
};

TEST_F(HotFixTest, ServerStampAgainstTheOneLastHandled)
{
    struct Case
    {
        const char* pszStored;      // NULL: none stored
        const char* pszServer;
        BOOL fNewer;
    } cases[] = {
        {NULL, "20260115103000", TRUE},
        {"20260115103000", "20260115103000", FALSE},
        {"20260115103000", "20260115103001", TRUE},
        {"20260115103001", "20260115103000", FALSE},
        // Padded to 14 digits these name no real time: never newer, never a crash.
        {NULL, "202601", FALSE},                // day 00
        {NULL, "2026", FALSE},                  // month 00
        {NULL, "20261301000000", FALSE},
        {NULL, "20260230000000", FALSE},
        {NULL, "20260115246000", FALSE},
        {NULL, "19691231235959", FALSE},
        {NULL, "20380101000000", FALSE},
        {NULL, "2026011510300x", FALSE},
        {NULL, "", FALSE},
        // A stored stamp that names no time counts as none.
        {"20260000000000", "20260115103000", TRUE},
    };
    for (const Case& c : cases)
    {
        if (c.pszStored != NULL)
            NS_RegistryKey::SetHotFixDateTime(c.pszStored);
        else
            NS_RegistryKey::SetHotFixDateTime("");
        EXPECT_EQ(c.fNewer, HasNewerHotFix(c.pszServer)) << (c.pszStored ? c.pszStored : "-") << " " << c.pszServer;
    }
}

TEST_F(HotFixTest, FilesNeededAreTheMissingAndOlderOnes)
{
    std::string strRoot = FreshScratchFolder("hotfix");
    std::string strApp = strRoot + "\\app\\";
    std::string strStaged = strRoot + "\\staged";
    CreateDirectoryA(strApp.c_str(), NULL);
    CreateDirectoryA(strStaged.c_str(), NULL);
    WriteString(NULL, "Application Path", strApp.c_str());
    // Copies here written now: later than 2000, earlier than 2030.
    for (const char* psz : {"Old.dll", "New.dll", "Alert.Msg"})
        ASSERT_TRUE(WriteWholeFile(strApp + psz, "here"));
    ASSERT_TRUE(WriteWholeFile(strStaged + "\\Staged.exe", "staged now"));
    ASSERT_TRUE(WriteWholeFile(strApp + "Staged.exe", "old copy"));
    FILETIME ft = {0, 0};   // 1601: older than any stamp
    HANDLE h = CreateFileA((strApp + "Staged.exe").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetFileTime(h, NULL, NULL, &ft);
    CloseHandle(h);

    const char* pszList = "HotFix/Old.dll=20300101000000\n"
                          "HotFix/New.dll=20000101000000\n"
                          "HotFix/Alert.Msg=20300101000000\n"
                          "HotFix/sub/Missing.dll=20000101000000\n"
                          "HotFix/Bad.dll=20300100000000\n"
                          "HotFix/Staged.exe=20200101000000\n"
                          "Other/Skipped.dll=20300101000000\n";
    VECTOR_HOTFIX result;
    BOOL fFormat = FALSE;
    EXPECT_TRUE(IsHotFixNecessary(pszList, strApp.c_str(), "C:\\staging", strStaged.c_str(), NULL, FALSE, &fFormat,
                                  NULL, &result));
    EXPECT_TRUE(fFormat);
    std::vector<std::string> keys;
    for (const SHotFix& r : result)
        keys.push_back((LPCSTR)r.m_strKey);
    // The staged program's copy is newer than the stamp, however old the installed one is.
    EXPECT_EQ((std::vector<std::string>{"HotFix/Old.dll", "HotFix/sub/Missing.dll"}), keys);

    result.clear();
    EXPECT_FALSE(IsHotFixNecessary("Other=1\nHotFix/Old.dll=20300101000000\n", strApp.c_str(), "C:\\staging", NULL,
                                   NULL, FALSE, &fFormat, NULL, &result));
    EXPECT_FALSE(fFormat);
    EXPECT_TRUE(result.empty());
}

namespace
{
std::vector<std::string> g_counts;

void OnFileCount(int nCode, int nDone, int nTotal, LPVOID)
{
    g_counts.push_back(std::to_string(nCode) + ":" + std::to_string(nDone) + "/" + std::to_string(nTotal));
}
}

TEST_F(HotFixTest, DownloadedFilesCarryTheServersTime)
{
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    WriteString(NULL, "Server", "127.0.0.1");
    WriteDword(NULL, "ServerPort", server.Port());
    WriteDword(NULL, "UseProxy", 0);
    AllowConnect(TRUE);
    std::string strStaging = FreshScratchFolder("hotfix-staging");
    SYSTEMTIME st = {2026, 1, 4, 15, 10, 30, 0, 0};
    CTime timeServer(st);
    VECTOR_HOTFIX files(2);
    files[0].m_strKey = "HotFix/VglFix.dll";
    files[1].m_strKey = "/HotFix/sub/Other.dll";
    for (SHotFix& f : files)
    {
        f.m_timeServer = timeServer;
        f.m_nChosen = 1;
        f.m_strHotFixDir = strStaging.c_str();
    }
    server.QueueReplies({"first file", "second file"});
    g_counts.clear();
    EXPECT_TRUE(DownloadHotFixFiles(files, NULL, NULL, NULL, NULL, TRUE, FALSE, OnFileCount, NULL));
    EXPECT_EQ((std::vector<std::string>{"23:1/2", "23:2/2"}), g_counts);
    ASSERT_EQ(2u, server.Requests().size());
    EXPECT_EQ("GET /HotFix/VglFix.dll HTTP/1.1", server.Requests()[0].RequestLine());
    EXPECT_EQ("GET /HotFix/sub/Other.dll HTTP/1.1", server.Requests()[1].RequestLine());
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus((strStaging + "\\VglFix.dll").c_str(), status));
    EXPECT_EQ(timeServer.GetTime(), status.m_mtime.GetTime());
    EXPECT_EQ(timeServer.GetTime(), status.m_atime.GetTime());
    EXPECT_EQ(timeServer.GetTime(), status.m_ctime.GetTime());
    EXPECT_EQ("first file", ReadWholeFile(strStaging + "\\VglFix.dll"));
    EXPECT_EQ("second file", ReadWholeFile(strStaging + "\\Other.dll"));

    // A file the server does not have ends the download with failure.
    server.Reply(404, "Not Found");
    EXPECT_FALSE(DownloadHotFixFiles(files, NULL, NULL, NULL, NULL, TRUE, FALSE, NULL, NULL));
    server.Stop();
}

class RenewalTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        CreateKey();
        InitializeUpgradeLockOnce();
    }
};

namespace
{
std::vector<int> g_phases;

void OnPhaseBegin(int nCode, LPVOID)
{
    g_phases.push_back(nCode);
}

void OnPhaseEnd(int, LPVOID)
{
}
}

TEST_F(RenewalTest, WithoutTheUpdateInformationNoVirusLogIsSent)
{
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    WriteString("Internet Settings", "Server", "127.0.0.1");
    WriteDword("Internet Settings", "ServerPort", server.Port());
    WriteDword("Internet Settings", "UseProxy", 0);
    WriteDword(NULL, "DiskReserved", 0);
    AllowConnect(TRUE);
    // The client settings come; the update information does not.
    server.QueueReplies({"[INI_CRITICAL_SECTION]\nMaster_DomainPort=8080\n"});
    server.Reply(404, "Not Found");
    g_phases.clear();
    // A synchronisation over the Internet, which alone sends the virus logs itself.
    EXPECT_TRUE(UpdateNewSettings(NULL, FALSE, TRUE, FALSE, FALSE, OnPhaseBegin, OnPhaseEnd, NULL, NULL, NULL));
    EXPECT_EQ(std::vector<int>{26}, g_phases);
    EXPECT_EQ(8080u, ReadDword(NULL, "ServerPort"));        // the client settings still apply
    server.Stop();
    ::DeleteFileA(getModulePath() + "Reserve");
}

TEST(ScheduleValuesTest, ServerHoursAndMinutesAsSeconds)
{
    EXPECT_EQ(CString("31536000"), scheduleHoursToSeconds("10000"));
    EXPECT_EQ(CString("7200"), scheduleHoursToSeconds(" 2 "));
    EXPECT_EQ(CString("3600"), scheduleMinutesToSeconds("60"));
    EXPECT_EQ(CString("31536000"), scheduleMinutesToSeconds("600000"));
    EXPECT_EQ(CString(""), scheduleMinutesToSeconds(""));
    EXPECT_EQ(CString(""), scheduleHoursToSeconds(NULL));
    EXPECT_EQ(NULL, GetServerIniValue(25));
    EXPECT_EQ(-1, GetScheduleUpdateIniValue(2));
    EXPECT_EQ(-1, GetScheduleUpdateIniValue(-1));
}

TEST(ScheduleUpdateTest, WhenAPassAsksTheServer)
{
    const DWORD NOW = 1800000000;
    struct Case
    {
        SScheduleUpdateState state;     // force, interval, allow, asking
        DWORD dwLast;
        BOOL fDue;
        BOOL fForced;
    } cases[] = {
        {{0, 0, 1, FALSE}, 0, FALSE, TRUE},                     // no period at all
        {{86400, 0, 0, FALSE}, NOW - 86401, TRUE, TRUE},        // the global period, whatever the permission
        {{86400, 0, 0, FALSE}, NOW - 86400, FALSE, TRUE},
        {{0, 3600, 0, FALSE}, 0, FALSE, FALSE},                 // own interval without permission
        {{0, 3600, 1, FALSE}, NOW - 3601, TRUE, FALSE},
        {{0, 3600, 1, FALSE}, NOW - 60, FALSE, FALSE},
        // The command waits for the server's answer: asked at once, whatever the interval says
        // (also 1, or an interval the server never sends).
        {{0, 1440 * 60, 0, TRUE}, NOW, TRUE, FALSE},
        {{0, 1, 1, TRUE}, NOW, TRUE, FALSE},
        {{0, 1, 1, FALSE}, NOW - 1, FALSE, FALSE},
    };
    for (const Case& c : cases)
    {
        BOOL fForced = -1;
        EXPECT_EQ(c.fDue, IsScheduleUpdateDue(c.state, NOW, c.dwLast, &fForced))
            << c.state.dwForce << " " << c.state.dwInterval << " " << c.state.dwAllow << " " << c.state.fAsking;
        if (c.fDue)
            EXPECT_EQ(c.fForced, fForced);
    }
}

TEST(OppPopupTest, EscapedLineBreaks)
{
    char* pszOut = (char*)"untouched";
    convertEscapedLineBreaks(&pszOut, "no escapes");
    EXPECT_STREQ("untouched", pszOut);
    convertEscapedLineBreaks(&pszOut, "Outbreak\\nports closed\\r\\n\\t\\");
    EXPECT_STREQ("Outbreak\nports closed\r\n\\t\\", pszOut);
    free(pszOut);
}

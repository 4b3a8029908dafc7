// Reporting to the server against a loopback server: the status-log queries and the status
// thread's reply rule, retries and give-up, the synchronous status log, the virus-log lock
// that a slow server never holds, off-line records and their recovery, the unsent store
// across a restart and across crashes of its save, the second stop, the local configuration
// reports, the alert text and the settings from the server.
#include "Notification.h"
#include "NotificationThreads.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "UnsentStore.h"
#include "Updates.h"

#include "CommonScanINI.h"
#include "ExclusionFileINI.h"
#include "Globals.h"
#include "LogReport.h"
#include "Misutils.h"
#include "StringUtils.h"
#include "SystemInfo.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "LoopbackHttpServer.h"
#include "langlibrary.h"

#include <process.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
// The retry waits last a millisecond a second here.
const int s_nFastWaits = (SetEnvironmentVariableA("VGL_TEST_MS_PER_SECOND", "1"), 0);

const char CLIENT_GUID[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
const char CGI[] = "/Vigilon/Cgi/";

std::string BinPath(const char* pszName)
{
    return (LPCSTR)joinPath(getModulePath(), pszName);
}

class ReportingTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(m_lang.Load());
        ASSERT_TRUE(m_server.Start());
        WriteString(NULL, "Server", "127.0.0.1");
        WriteDword(NULL, "ServerPort", m_server.Port());
        WriteDword(NULL, "UseProxy", 0);
        WriteString(NULL, "GUID", CLIENT_GUID);
        WriteString(NULL, "Program Version", "5.60");
        WriteString(NULL, "HotFix DateTime", "20240101120000");
        static const char* const s_apszCgi[][2] = {
            {"CgiOnStart", "cgiOnStart.exe"},         {"CgiOnClose", "cgiOnClose.exe"},
            {"CgiOnScan", "cgiOnScan.exe"},           {"CgiOnUpdate", "cgiOnUpdate.exe"},
            {"CgiOnLog", "cgiLog.exe"},               {"CgiOnScanResult", "cgiOnScanResult.dll"},
            {"CgiOnSpecialLog", "cgiOnSpecialLog.exe"}, {"CgiOnRequestAlertMessage", "cgiRqAlertMsg.exe"},
            {"CgiOnRequestConfiguration", "cgiRqCfg.exe"}, {"CgiOnManualScanConfiguration", "cgiOnMSCfg.exe"},
            {"CgiOnRealtimeScanConfiguration", "cgiOnRTCfg.exe"},
            {"CgiOnScheduleScanConfiguration", "cgiOnPSCfg.exe"},
            {"CgiOnExclusionFileConfiguration", "cgiOnEFCfg.exe"}};
        for (const auto& cgi : s_apszCgi)
            WriteString(NULL, cgi[0], (std::string(CGI) + cgi[1]).c_str());
        NS_RegistryKey::g_fHttpBased = TRUE;
        NS_Notification::AllowConnect(TRUE);
        NS_Notification::UpdateConnectionStatus(TRUE);
        RemoveTree(BinPath("UnsentVirus"));
        DeleteFileA(BinPath("Alert.msg").c_str());
        g_logReport.RemoveAll();
    }

    void TearDown() override
    {
        if (m_fStarted)
            NS_Notification::Destruct(FALSE);
        NS_Notification::ResetVirusLogState();
        g_logReport.RemoveAll();
        RemoveTree(BinPath("UnsentVirus"));
        DeleteFileA(BinPath("Alert.msg").c_str());
        m_server.Stop();
        m_lang.Free();
        NS_Notification::UpdateConnectionStatus(TRUE);
        g_eventStopScanNow.SetSignaled(FALSE);
        ProductKeyTest::TearDown();
    }

    void Start()
    {
        NS_Notification::Construct(FALSE);
        NS_Notification::UpdateConnectionStatus(TRUE);
        m_fStarted = true;
    }

    // The request lines (without "GET " and " HTTP/1.1") once there are at least n.
    std::vector<std::string> WaitRequests(size_t n, DWORD dwTimeout = 15000)
    {
        DWORD dwStart = GetTickCount();
        std::vector<CLoopbackHttpServer::Request> requests;
        while ((requests = m_server.Requests()).size() < n && GetTickCount() - dwStart < dwTimeout)
            Sleep(10);
        std::vector<std::string> lines;
        for (const auto& r : requests)
        {
            std::string strLine = r.RequestLine();
            lines.push_back(strLine.substr(4, strLine.rfind(" HTTP/") - 4));
        }
        return lines;
    }

    // Waits until the condition holds (or gives up after the time-out).
    template <class F>
    static bool WaitFor(F condition, DWORD dwTimeout = 15000)
    {
        DWORD dwStart = GetTickCount();
        while (!condition())
        {
            if (GetTickCount() - dwStart > dwTimeout)
                return false;
            Sleep(10);
        }
        return true;
    }

    // A virus-log record of today named after its file, queued as a finder queues it.
    static void Find(const char* pszFile)
    {
        CLogReportItem item(LOG_EVENT_REALTIME, CTime::GetCurrentTime(), CString("C:\\Data\\") + pszFile, "EICAR",
                            LOG_ACTION_DELETE, 1, LOG_ACTION_NONE, 1);
        CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
        SLogItemPos pos = NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(),
                                                NS_Notification::GetVirusLogQueueLock());
        NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
    }

    // The file names of the virus logs among the requests, in order.
    static std::vector<std::string> LoggedFiles(const std::vector<std::string>& lines)
    {
        std::vector<std::string> files;
        for (const std::string& strLine : lines)
        {
            size_t n = strLine.find("&FILE=");
            if (strLine.find("cgiLog.exe") != std::string::npos && n != std::string::npos)
                files.push_back((LPCSTR)urlDecode(strLine.substr(n + 6, strLine.find('&', n + 6) - n - 6).c_str()));
        }
        return files;
    }

    // The records of the unsent folder as a fresh store reads them.
    static std::vector<std::string> UnsentFiles()
    {
        CLogReport store;
        store.LoadFolder(BinPath("UnsentVirus").c_str());
        std::vector<std::string> files;
        for (int d = 0; d < store.GetDayCount(); d++)
            for (int i = 0; i < store.GetDayArray(d)->GetSize(); i++)
                files.push_back((LPCSTR)store.GetItem(d, i)->GetFileName());
        return files;
    }

    CLanguageLibrary m_lang;
    CLoopbackHttpServer m_server;
    bool m_fStarted = false;
};
}

TEST_F(ReportingTest, StatusLogQueriesOfEveryType)
{
    CTime t(2024, 3, 5, 7, 8, 9);
    CTime stop(2024, 3, 5, 7, 10, 11);
    const std::string when = "DATE=20240305&TIME=070809";
    const std::string versions = "&PATTERN=578&ENGINE=6.150&PROGRAM=5.60&HOTFIX=20240101120000&" + when + "&RELEASE=5.60";
    std::string computer = (LPCSTR)getLocalComputerName();
    struct Case
    {
        int nType;
        const char* pszText;
        std::string strQuery;
    } cases[] = {
        {1, NULL, "/Vigilon/Cgi/cgiOnScan.exe?UID=" + std::string(CLIENT_GUID) + "&" + when + "&EVENT=1&RELEASE=5.60"},
        {4, NULL, "/Vigilon/Cgi/cgiOnScan.exe?UID=" + std::string(CLIENT_GUID) + "&" + when + "&EVENT=4&RELEASE=5.60"},
        {7, NULL, "/Vigilon/Cgi/cgiOnClose.exe?UID=" + std::string(CLIENT_GUID) + "&" + when + "&RELEASE=5.60"},
        {8, "9.999", "/Vigilon/Cgi/cgiOnUpdate.exe?UID=" + std::string(CLIENT_GUID) + versions},
        {9, "7.000", "/Vigilon/Cgi/cgiOnUpdate.exe?UID=" + std::string(CLIENT_GUID) +
                         "&PATTERN=578&ENGINE=7.000&PROGRAM=5.60&HOTFIX=20240101120000&" + when + "&RELEASE=5.60"},
        {13, "20240202", "/Vigilon/Cgi/cgiOnUpdate.exe?UID=" + std::string(CLIENT_GUID) +
                             "&PATTERN=578&ENGINE=6.150&PROGRAM=5.60&HOTFIX=20240202&" + when + "&RELEASE=5.60"},
        {14, "x", "/Vigilon/Cgi/cgiOnUpdate.exe?UID=" + std::string(CLIENT_GUID) + versions},
        {15, NULL, "/Vigilon/Cgi/cgiOnUpdate.exe?UID=" + std::string(CLIENT_GUID) + versions},
        // The special logs are not encoded.
        {17, NULL, "/Vigilon/Cgi/cgiOnSpecialLog.exe?COMPUTER=" + computer + "&desc=Espace disque inf\xE9rieur \xE0 20M"},
        {0, NULL, ""}, {5, NULL, ""}, {10, NULL, ""}, {11, NULL, ""}, {12, NULL, ""}, {20, NULL, ""},
    };
    for (const Case& c : cases)
    {
        CString strQuery;
        NS_Notification::GetStatusLogQuery(strQuery, CLIENT_GUID, NS_Notification::StatusLogType(t, c.nType, c.pszText),
                                           TRUE, TRUE);
        EXPECT_EQ(c.strQuery, (LPCSTR)strQuery) << c.nType;
    }

    CString strQuery;
    NS_Notification::GetStatusLogQuery(strQuery, CLIENT_GUID,
                                       NS_Notification::StatusLogType(t, stop, 10, 2, 1, 16, 3, NULL), TRUE, TRUE);
    EXPECT_EQ("/Vigilon/Cgi/cgiOnScanResult.dll?UID=" + std::string(CLIENT_GUID) +
                  "&STARTDATE=20240305&STARTTIME=070809&STOPDATE=20240305&STOPTIME=071011&SUCCESS=10&INFECT=2"
                  "&INFECTFILES=1&EVENT=3&RELEASE=5.60",
              (LPCSTR)strQuery);

    // The client information: encoded fields, and MOBILE by the connection asked for.
    NS_Notification::GetStatusLogQuery(strQuery, CLIENT_GUID, NS_Notification::StatusLogType(t, 6, NULL), TRUE, FALSE);
    std::string strInfo = (LPCSTR)strQuery;
    EXPECT_EQ(0u, strInfo.find("/Vigilon/Cgi/cgiOnStart.exe?UID=" + std::string(CLIENT_GUID) + "&" + when + "&COMPUTER="));
    EXPECT_NE(std::string::npos, strInfo.find("&PLATFORM=Windows%2098%204%2e10%2e2222&IP="));
    EXPECT_NE(std::string::npos, strInfo.find("&PTNFILE=578&PROGRAM=5.60&ENGINE=6.150&ENCY=1&DOMAIN="));
    EXPECT_NE(std::string::npos, strInfo.find("&HOTFIX=20240101120000&INSTDATE="));
    EXPECT_EQ(strInfo.size() - strlen("&MOBILE=1&RELEASE=5.60&OPPSTATUS=0"), strInfo.find("&MOBILE=1&RELEASE=5.60&OPPSTATUS=0"));
    NS_RegistryKey::g_fForceMobile = TRUE;
    NS_Notification::GetStatusLogQuery(strQuery, CLIENT_GUID, NS_Notification::StatusLogType(t, 6, NULL), FALSE, TRUE);
    EXPECT_NE(-1, strQuery.Find("&PLATFORM=Windows 98 4.10.2222&"));
    EXPECT_NE(-1, strQuery.Find("&MOBILE=2&"));

    // A text is cut to 14 characters.
    NS_Notification::StatusLogType record(t, 9, "12345678901234567890");
    EXPECT_STREQ("12345678901234", record.m_szText);
}

TEST_F(ReportingTest, RetryWaitsGrowWithTheTries)
{
    struct Case
    {
        int iRandom, iRetry, iRange;
    } cases[] = {{0, 0, 1}, {32767, 0, 9}, {16384, 2, 17}, {32767, 7, 1025}, {0, 7, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(c.iRange, NS_Notification::RetryRange(c.iRandom, c.iRetry, 3)) << c.iRandom << " " << c.iRetry;
}

TEST_F(ReportingTest, VersionComparisons)
{
    EXPECT_FALSE(NS_Notification::IsProgramVersionNewer("5.58", "6.10"));
    EXPECT_TRUE(NS_Notification::IsProgramVersionNewer("5.58", "5.50"));
    EXPECT_FALSE(NS_Notification::IsProgramVersionNewer("5.58", "5.58"));
    EXPECT_TRUE(NS_Notification::IsProgramVersionNewer("5.61", NULL));     // "Program Version" 5.60
    // The engine in the program folder is 6.150.
    DWORD dwMajor = 0, dwMinor = 0;
    ASSERT_TRUE(NS_Notification::GetLastEngineUpdateVersion(&dwMajor, &dwMinor));
    EXPECT_EQ(6u, dwMajor);
    EXPECT_EQ(150u, dwMinor);
    EXPECT_TRUE(NS_Notification::IsLastEngineUpdateVersionNewer("6.151"));
    EXPECT_FALSE(NS_Notification::IsLastEngineUpdateVersionNewer("6.150"));
    EXPECT_FALSE(NS_Notification::IsLastEngineUpdateVersionNewer("6.1"));
    EXPECT_TRUE(NS_Notification::IsLastEngineUpdateVersionNewer("7.0"));
}

TEST_F(ReportingTest, StatusThreadDeliversRetriesAndGivesUp)
{
    Start();
    CTime t(2024, 3, 5, 7, 8, 9);
    // A code below 0 is a failure: tried again; 0, 5 and an empty reply are delivered.
    m_server.QueueReplies({"-1", "0", "", "5\r\n", "-5", "-5", "-5", "-5", "-5", "-5", "-5", "-5"});
    m_server.Reply(200, "1");
    NS_Notification::SendStatusLog(t, 1, NULL);
    NS_Notification::SendStatusLog(t, 2, NULL);
    NS_Notification::SendStatusLog(t, 3, NULL);
    NS_Notification::SendStatusLog(t, 4, NULL);
    NS_Notification::SendStatusLog(t, 7, NULL);
    std::vector<std::string> lines = WaitRequests(13);
    ASSERT_EQ(13u, lines.size());
    std::vector<std::string> events;
    for (const std::string& strLine : lines)
        events.push_back(strLine.substr(strLine.find(".exe?") - 5, 5) +
                         (strLine.find("EVENT=") != std::string::npos ? strLine.substr(strLine.find("EVENT=") + 6, 1) : ""));
    EXPECT_EQ((std::vector<std::string>{"nScan1", "nScan1", "nScan2", "nScan3", "nScan4", "nScan4", "nScan4",
                                        "nScan4", "nScan4", "nScan4", "nScan4", "nScan4", "Close"}),
              events);

    // Off line: the queued logs go without a request.
    NS_Notification::UpdateConnectionStatus(FALSE);
    NS_Notification::SendStatusLog(t, 1, NULL);
    EXPECT_TRUE(WaitFor([] { return !NS_Notification::HasQueuedStatusLog(); }));
    Sleep(100);
    EXPECT_EQ(13u, m_server.Requests().size());
}

TEST_F(ReportingTest, SendStatusLogNowAcceptsOnlyTheCodeOne)
{
    struct Case
    {
        const char* pszBody;
        BOOL fSuccess;
    } cases[] = {{"1", TRUE}, {"1x", TRUE}, {"1\r\n", TRUE}, {"0", FALSE}, {"5", FALSE}, {"", FALSE}, {"-1", FALSE}};
    for (const Case& c : cases)
    {
        m_server.Reply(200, c.pszBody);
        EXPECT_EQ(c.fSuccess, NS_Notification::SendStatusLogNow(CTime::GetCurrentTime(), 7, NULL, TRUE, FALSE, NULL,
                                                                NULL, NULL, NULL, NULL))
            << c.pszBody;
    }
    size_t nRequests = m_server.Requests().size();
    NS_Notification::UpdateConnectionStatus(FALSE);
    EXPECT_FALSE(NS_Notification::SendStatusLogNow(CTime::GetCurrentTime(), 7, NULL, TRUE, FALSE, NULL, NULL, NULL,
                                                   NULL, NULL));
    EXPECT_EQ(nRequests, m_server.Requests().size());
}

TEST_F(ReportingTest, AFindingIsNotHeldUpByASlowServer)
{
    Start();
    m_server.Reply(200, "1", 2000);
    Find("first.com");
    ASSERT_EQ(1u, WaitRequests(1).size());
    // The first record's request is in flight: the next finding is stored and queued at once.
    DWORD dwStart = GetTickCount();
    Find("second.com");
    EXPECT_GT(500u, GetTickCount() - dwStart);
    std::vector<std::string> lines = WaitRequests(2);
    EXPECT_EQ((std::vector<std::string>{"first.com", "second.com"}), LoggedFiles(lines));
    EXPECT_TRUE(WaitFor([] { return !NS_Notification::HasPendingVirusLog(); }));
}

TEST_F(ReportingTest, OffLineFindingsWaitAndComeBackInTheirOrder)
{
    Start();
    m_server.Reply(200, "1");
    NS_Notification::UpdateConnectionStatus(FALSE);
    const char* const apszFiles[] = {"a.com", "b.com", "c.com", "d.com", "e.com"};
    for (const char* pszFile : apszFiles)
        Find(pszFile);
    // Nothing is tried; every record waits in the unsent folder.
    std::vector<std::string> expected(apszFiles, apszFiles + 5);
    EXPECT_TRUE(WaitFor([&] { return UnsentFiles().size() == 5; }));
    EXPECT_EQ(expected, UnsentFiles());
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_TRUE(NS_Notification::HasPendingVirusLog());

    NS_Notification::UpdateConnectionStatus(TRUE);
    NS_Notification::WakeUpLogThreads(TRUE);
    EXPECT_EQ(expected, LoggedFiles(WaitRequests(5)));
    EXPECT_TRUE(WaitFor([] { return UnsentFiles().empty(); }))
        << UnsentFiles().size() << " still unsent after " << m_server.Requests().size() << " requests";
    EXPECT_FALSE(NS_Notification::HasPendingVirusLog());
}

namespace
{
struct SSyncProbe
{
    std::vector<std::string> progress;
    int nCancelAfter;
};

void Progress(int nPhase, int nDone, int nTotal, LPVOID pv)
{
    char sz[32];
    sprintf(sz, "%d:%d/%d", nPhase, nDone, nTotal);
    ((SSyncProbe*)pv)->progress.push_back(sz);
}

BOOL CancelAfter(LPVOID pv)
{
    SSyncProbe* p = (SSyncProbe*)pv;
    return p->progress.size() > (size_t)p->nCancelAfter;
}
}

TEST_F(ReportingTest, ASynchronousPassRecoversReportsProgressAndStopsOnCancel)
{
    Start();
    m_server.Reply(200, "1");
    NS_Notification::UpdateConnectionStatus(FALSE);
    for (const char* pszFile : {"a.com", "b.com", "c.com"})
        Find(pszFile);
    EXPECT_TRUE(WaitFor([] { return UnsentFiles().size() == 3; }));
    // The pass takes the failed records back, sends the first, and the user cancels: the other
    // two go back to the failed list without a request.
    SSyncProbe probe = {{}, 1};
    NS_Notification::SSyncSendContext context = {TRUE, 0, 0, CancelAfter, Progress, &probe};
    NS_Notification::VirusLogThread(&context);
    EXPECT_EQ((std::vector<std::string>{"27:0/3", "27:1/3"}), probe.progress);
    EXPECT_EQ((std::vector<std::string>{"a.com"}), LoggedFiles(WaitRequests(1)));
    EXPECT_EQ((std::vector<std::string>{"b.com", "c.com"}), UnsentFiles());
    EXPECT_TRUE(NS_Notification::HasPendingVirusLog());
}

TEST_F(ReportingTest, UnsentRecordsOutliveAStopAndAreSentOnceAtTheNextStart)
{
    Start();
    m_server.Reply(200, "1");
    NS_Notification::UpdateConnectionStatus(FALSE);
    Find("a.com");
    Find("b.com");
    EXPECT_TRUE(WaitFor([] { return UnsentFiles().size() == 2; }));
    NS_Notification::Destruct(TRUE);
    EXPECT_EQ((std::vector<std::string>{"a.com", "b.com"}), UnsentFiles());

    // A new start (the end of a Windows session was cancelled) takes them from the unsent
    // store: they are sent once, not by both senders.
    NS_Notification::AllowConnect(TRUE);
    Start();
    EXPECT_EQ((std::vector<std::string>{"a.com", "b.com"}), LoggedFiles(WaitRequests(2)));
    EXPECT_TRUE(WaitFor([] { return UnsentFiles().empty(); }));
    Sleep(200);
    EXPECT_EQ(2u, m_server.Requests().size());
}

TEST_F(ReportingTest, ASecondStopWaitsForNothing)
{
    Start();
    NS_Notification::Destruct(TRUE);
    // Handles closed by the first stop may be given to new objects: the second stop must not
    // wait for them.
    std::vector<HANDLE> events;
    for (int i = 0; i < 32; i++)
        events.push_back(CreateEventA(NULL, TRUE, FALSE, NULL));
    DWORD dwStart = GetTickCount();
    NS_Notification::Destruct(TRUE);
    EXPECT_GT(1000u, GetTickCount() - dwStart);
    for (HANDLE h : events)
    {
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(h, 0));
        CloseHandle(h);
    }
    // Records queued after the stop stay in memory; a new start sends them.
    m_server.Reply(200, "1");
    Find("late.com");
    Sleep(200);
    EXPECT_TRUE(m_server.Requests().empty());
    NS_Notification::AllowConnect(TRUE);
    Start();
    EXPECT_EQ((std::vector<std::string>{"late.com"}), LoggedFiles(WaitRequests(1)));
}

namespace
{
DWORD WINAPI SendNow(LPVOID)
{
    return NS_Notification::SendStatusLogNow(CTime::GetCurrentTime(), 7, NULL, TRUE, FALSE, NULL, NULL, NULL, NULL,
                                             NULL);
}
} // namespace

TEST_F(ReportingTest, AStopCancelsARequestWithoutAnswerAndLeavesTheConnectionFree)
{
    Start();
    m_server.Reply(200, "1", 120000);
    NS_Notification::SendStatusLog(CTime::GetCurrentTime(), 1, NULL);
    ASSERT_EQ(1u, WaitRequests(1).size());
    // The status thread waits for the answer, holding the connection lock: the stop cancels its
    // request and the thread ends by itself.
    NS_Notification::Destruct(FALSE);
    m_fStarted = false;

    // A new start (the end of a Windows session was cancelled): requests get through again.
    m_server.Reply(200, "1");
    NS_Notification::AllowConnect(TRUE);
    Start();
    HANDLE hSend = CreateThread(NULL, 0, SendNow, NULL, 0, NULL);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hSend, 20000)) << "the connection lock is still held";
    DWORD dwSent = 0;
    GetExitCodeThread(hSend, &dwSent);
    CloseHandle(hSend);
    EXPECT_TRUE(dwSent);
}

TEST_F(ReportingTest, ConfigurationReportsKeepTheirOrderAndTheirValues)
{
    Start();
    m_server.Reply(200, "1");
    CManualScanINI manual;
    manual.m_nVirusFoundAction = SCAN_ACTION_DELETE;
    NS_Notification::AddScanCfgLog(manual);
    manual.m_nVirusFoundAction = SCAN_ACTION_CLEAN;
    NS_Notification::AddScanCfgLog(manual);
    CExclusionFileINI exclusion;
    exclusion.m_arrEntries.Add("C:\\Temp");
    NS_Notification::AddExclusionCfgLog(exclusion);
    std::vector<std::string> lines = WaitRequests(3);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].find("/Vigilon/Cgi/cgiOnMSCfg.exe?UID=" + std::string(CLIENT_GUID)));
    EXPECT_NE(std::string::npos, lines[0].find("&VIRUSFOUNDACTION=2&"));
    EXPECT_NE(std::string::npos, lines[1].find("&VIRUSFOUNDACTION=5&"));
    EXPECT_EQ(0u, lines[2].find("/Vigilon/Cgi/cgiOnEFCfg.exe?UID=" + std::string(CLIENT_GUID)));

    // A scan-now copy has no program of its own.
    SLocalCfgLog record((CCommonScanINI&)g_RemoteScanINI);
    CString strQuery;
    record.GetQuery(strQuery, CLIENT_GUID, NULL);
    EXPECT_EQ(0, strQuery.Find("?UID="));
}

TEST_F(ReportingTest, AlertTextIsKeptByteForByte)
{
    const std::string strAlert("Call the help desk\0(x)\r\n", 25);
    m_server.Reply(200, strAlert);
    NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE);
    EXPECT_STREQ("Call the help desk", NS_Notification::GetAlertMessageText());
    EXPECT_EQ(strAlert, ReadWholeFile(BinPath("Alert.msg")));
    EXPECT_EQ("GET /Vigilon/Cgi/cgiRqAlertMsg.exe? HTTP/1.1", m_server.LastRequest().RequestLine());

    // An empty reply empties the text but not the file, whose text the next start shows.
    m_server.Reply(200, "");
    NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE);
    EXPECT_STREQ("", NS_Notification::GetAlertMessageText());
    EXPECT_EQ(strAlert, ReadWholeFile(BinPath("Alert.msg")));
    size_t nRequests = m_server.Requests().size();
    NS_Notification::UpdateAlertMessage(FALSE, TRUE, FALSE);
    EXPECT_STREQ("Call the help desk", NS_Notification::GetAlertMessageText());
    EXPECT_EQ(nRequests, m_server.Requests().size());
}

TEST_F(ReportingTest, AFailedDownloadWithoutALocalFileKeepsTheText)
{
    m_server.Reply(200, "Old text");
    NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE);
    ASSERT_STREQ("Old text", NS_Notification::GetAlertMessageText());
    DeleteFileA(BinPath("Alert.msg").c_str());
    // The request fails and the local file cannot be read, twice: nothing escapes.
    m_server.Reply(500, "");
    EXPECT_NO_THROW(NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE));
    EXPECT_STREQ("Old text", NS_Notification::GetAlertMessageText());
    EXPECT_FALSE(FileExists(BinPath("Alert.msg")));
}

TEST_F(ReportingTest, SettingsFromTheServerSectionBySection)
{
    NS_Configuration::ReadProfileSettingFromServer(FALSE, TRUE, FALSE);
    EXPECT_TRUE(m_server.Requests().empty());
    EXPECT_TRUE(NS_Configuration::GetTempSettingsFile().IsEmpty());

    // Every section at once is refused; one by one they come.
    m_server.QueueReplies({"-1",
                           "0\r\n[Manual Scan Configuration]\r\nVirusFoundAction=Delete\r\n",
                           "0\r\n[Real Time Scan Configuration]\r\nVirusFoundAction=Rename\r\nScanShutdown=NO\r\n",
                           "0\r\n[Prescheduled Scan Configuration]\r\nVirusFoundAction=Move\r\nFrequency=Daily\r\n",
                           "0\r\n[Exclusion File Configuration]\r\nExclude1=C:\\Temp\r\n",
                           "0\r\n[Scan Now Configuration]\r\nVirusFoundAction=Leave\r\n"});
    EXPECT_TRUE(NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE));
    std::vector<std::string> lines = WaitRequests(6);
    ASSERT_EQ(6u, lines.size());
    for (int i = 0; i < 6; i++)
        EXPECT_EQ("/Vigilon/Cgi/cgiRqCfg.exe?UID=" + std::string(CLIENT_GUID) + "&EVENT=" + "012354"[i], lines[i]);
    EXPECT_EQ(SCAN_ACTION_DELETE, g_ManualScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_RENAME, g_RealTimeScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_MOVE, g_ScheduleScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_LEAVE, g_RemoteScanINI.m_nVirusFoundAction);
    ASSERT_EQ(1, g_ExclusionFileINI.m_arrEntries.GetSize());
    // And they are the product key's now.
    NS_Configuration::ReadProfileSettings();
    EXPECT_EQ(SCAN_ACTION_DELETE, g_ManualScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_RENAME, g_RealTimeScanINI.m_nVirusFoundAction);
    EXPECT_FALSE(g_RealTimeScanINI.m_fScanShutdown);
    EXPECT_EQ(SCAN_ACTION_LEAVE, g_RemoteScanINI.m_nVirusFoundAction);
    EXPECT_TRUE(FileExists((LPCSTR)NS_Configuration::GetTempSettingsFile()));

    // The manual section comes, the real-time one does not: the product key's settings stay.
    m_server.QueueReplies({"-1", "0\r\n[Manual Scan Configuration]\r\nVirusFoundAction=Clean\r\n", "-3"});
    EXPECT_FALSE(NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE));
    EXPECT_EQ(SCAN_ACTION_DELETE, g_ManualScanINI.m_nVirusFoundAction);

    // All sections at once, but the reply carries only one: the others keep their values.
    m_server.QueueReplies({"0\r\n[Manual Scan Configuration]\r\nVirusFoundAction=Rename\r\n"});
    EXPECT_TRUE(NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE));
    NS_Configuration::ReadProfileSettings();
    EXPECT_EQ(SCAN_ACTION_RENAME, g_ManualScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_RENAME, g_RealTimeScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_MOVE, g_ScheduleScanINI.m_nVirusFoundAction);
    EXPECT_EQ(1, g_ExclusionFileINI.m_arrEntries.GetSize());
    NS_Configuration::Destruct();
}

// ---- the unsent folder's save, cut short at every step ----

namespace
{
CLogReportItem Record(const char* pszFile, int nDay)
{
    return CLogReportItem(LOG_EVENT_MANUAL, CTime(2024, 3, nDay, 10, 0, 0), CString("C:\\") + pszFile, "EICAR",
                          LOG_ACTION_DELETE, 1, LOG_ACTION_NONE, 1);
}

std::vector<std::string> FolderRecords(const std::string& strFolder)
{
    CLogReport store;
    store.LoadFolder(strFolder.c_str());
    std::vector<std::string> files;
    for (int d = 0; d < store.GetDayCount(); d++)
        for (int i = 0; i < store.GetDayArray(d)->GetSize(); i++)
            files.push_back((LPCSTR)store.GetItem(d, i)->GetFileName());
    std::sort(files.begin(), files.end());
    return files;
}
}

TEST(UnsentStoreTest, ASaveCutShortIsUndoneOrFinished)
{
    std::string strFolder = FreshScratchFolder("unsent");
    CLogReport before, after;
    before.AddItem(Record("a.com", 1), NULL, NULL);
    before.AddItem(Record("b.com", 2), NULL, NULL);
    after.AddItem(Record("b.com", 2), NULL, NULL);
    after.AddItem(Record("c.com", 2), NULL, NULL);
    after.AddItem(Record("d.com", 3), NULL, NULL);
    const std::vector<std::string> old = {"a.com", "b.com"}, saved = {"b.com", "c.com", "d.com"};

    // The files of each moment of a save: the old day files, then the new ones beside them, the
    // list, each replacement, the deletion of the day no record is left in.
    struct Stage
    {
        const char* pszName;
        std::vector<std::string> expected;
        void (*pfnCut)(const std::string&);
    } stages[] = {
        {"new files half written", old,
         [](const std::string& f) { WriteWholeFile(f + "\\2024_03_02.new", "torn"); }},
        {"list being written", old,
         [](const std::string& f) { WriteWholeFile(f + "\\Replace.tmp", "2024_03_02.log\r\n"); }},
        {"list in place", saved, [](const std::string&) {}},
        {"one day replaced", saved,
         [](const std::string& f) {
             MoveFileExA((f + "\\2024_03_02.new").c_str(), (f + "\\2024_03_02.log").c_str(), MOVEFILE_REPLACE_EXISTING);
         }},
        {"all replaced, old day still there", saved,
         [](const std::string& f) {
             MoveFileExA((f + "\\2024_03_02.new").c_str(), (f + "\\2024_03_02.log").c_str(), MOVEFILE_REPLACE_EXISTING);
             MoveFileA((f + "\\2024_03_03.new").c_str(), (f + "\\2024_03_03.log").c_str());
         }},
    };
    for (const Stage& stage : stages)
    {
        RemoveTree(strFolder);
        CreateDirectoryA(strFolder.c_str(), NULL);
        ASSERT_TRUE(SaveStoreToFolder(before, strFolder.c_str()));
        ASSERT_EQ(old, FolderRecords(strFolder));
        bool fListed = stage.expected == saved;
        if (fListed)
        {
            // What a save has written when its list is put in place.
            for (int d = 0; d < after.GetDayCount(); d++)
            {
                CLogReportItem* pFirst = after.GetItem(d, 0);
                CString strName;
                strName.Format("%s\\2024_03_%02d.new", strFolder.c_str(), pFirst->m_time.GetDay());
                after.GetDayArray(d)->SaveToFile(strName);
            }
            WriteWholeFile(strFolder + "\\Replace.lst", "2024_03_02.log\r\n2024_03_03.log\r\n");
        }
        stage.pfnCut(strFolder);
        // The next start finishes or undoes it; what it reads is one whole save.
        FinishInterruptedSave(strFolder.c_str());
        EXPECT_EQ(stage.expected, FolderRecords(strFolder)) << stage.pszName;
        EXPECT_FALSE(FileExists(strFolder + "\\Replace.lst")) << stage.pszName;
        EXPECT_FALSE(FileExists(strFolder + "\\2024_03_02.new")) << stage.pszName;
    }

    // A day file that cannot be written leaves the folder as it was.
    RemoveTree(strFolder);
    CreateDirectoryA(strFolder.c_str(), NULL);
    ASSERT_TRUE(SaveStoreToFolder(before, strFolder.c_str()));
    CreateDirectoryA((strFolder + "\\2024_03_03.new").c_str(), NULL);
    EXPECT_FALSE(SaveStoreToFolder(after, strFolder.c_str()));
    RemoveDirectoryA((strFolder + "\\2024_03_03.new").c_str());
    EXPECT_EQ(old, FolderRecords(strFolder));
    ASSERT_TRUE(SaveStoreToFolder(after, strFolder.c_str()));
    EXPECT_EQ(saved, FolderRecords(strFolder));
    // Nothing left to save: the folder is emptied.
    ASSERT_TRUE(SaveStoreToFolder(CLogReport(), strFolder.c_str()));
    EXPECT_TRUE(FolderRecords(strFolder).empty());
}

static DWORD WINAPI CloseAfterAMoment(LPVOID pvHandle)
{
    Sleep(200);
    CloseHandle((HANDLE)pvHandle);
    return 0;
}

TEST(UnsentStoreTest, ADayFileHeldByAReaderIsReplacedOnceReleased)
{
    std::string strFolder = FreshScratchFolder("unsent-held");
    CLogReport before, after;
    before.AddItem(Record("a.com", 1), NULL, NULL);
    before.AddItem(Record("b.com", 2), NULL, NULL);
    after.AddItem(Record("b.com", 2), NULL, NULL);
    const std::vector<std::string> saved = {"b.com"};
    std::string strHeld = strFolder + "\\2024_03_01.log";
    auto hold = [&] {
        return CreateFileA(strHeld.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    };

    // Held for a moment: the save waits for it.
    ASSERT_TRUE(SaveStoreToFolder(before, strFolder.c_str()));
    HANDLE hReader = hold();
    ASSERT_NE(INVALID_HANDLE_VALUE, hReader);
    HANDLE hRelease = CreateThread(NULL, 0, CloseAfterAMoment, hReader, 0, NULL);
    EXPECT_TRUE(SaveStoreToFolder(after, strFolder.c_str()));
    WaitForSingleObject(hRelease, INFINITE);
    CloseHandle(hRelease);
    EXPECT_EQ(saved, FolderRecords(strFolder));
    EXPECT_FALSE(FileExists(strFolder + "\\Replace.lst"));

    // Held throughout: the save is not finished, and the next one finishes it.
    ASSERT_TRUE(SaveStoreToFolder(before, strFolder.c_str()));
    hReader = hold();
    ASSERT_NE(INVALID_HANDLE_VALUE, hReader);
    EXPECT_FALSE(SaveStoreToFolder(after, strFolder.c_str()));
    EXPECT_TRUE(FileExists(strFolder + "\\Replace.lst"));
    EXPECT_FALSE(FinishInterruptedSave(strFolder.c_str()));
    CloseHandle(hReader);
    EXPECT_TRUE(FinishInterruptedSave(strFolder.c_str()));
    EXPECT_EQ(saved, FolderRecords(strFolder));
    EXPECT_FALSE(FileExists(strFolder + "\\Replace.lst"));
}

namespace
{
unsigned __stdcall SettingsFromServer(void*)
{
    return NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
}
unsigned __stdcall SettingsFromProductKey(void*)
{
    NS_Configuration::ReadProfileSettingFromServer(FALSE, TRUE, FALSE);
    return TRUE;
}
unsigned __stdcall GlobalSettingsFromServer(void*)
{
    return UpdateGlobalSettingsEx(NULL, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
}
}

// Other threads copy the global settings under their lock: every writer waits for a reader
// holding it, and the reader sees the old settings until it lets go.
TEST_F(ReportingTest, SettingsWritersWaitForAReaderHoldingTheLock)
{
    struct
    {
        const char* pszName;
        unsigned(__stdcall* pfnWriter)(void*);
        std::vector<std::string> replies;
        int nOleLayer;
    } cases[] = {
        {"all sections", SettingsFromServer,
         {"0\r\n[Global Setting]\r\nOleLayer=4\r\n[Real Time Scan Configuration]\r\nOleLayer=4\r\n"}, 4},
        {"product key", SettingsFromProductKey, {}, 4},
        {"global settings", GlobalSettingsFromServer, {"[Global Setting]\nOleLayer=6\n"}, 6},
    };
    g_RealTimeScanINI.m_nOleLayer = 1;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        if (!c.replies.empty())
            m_server.QueueReplies(c.replies);
        if (c.pfnWriter == SettingsFromProductKey)
            g_RealTimeScanINI.m_nOleLayer = 1;   // the product key still holds the value last fetched
        HANDLE hWriter;
        {
            CSettingsLock lock(&g_RealTimeScanINI);
            hWriter = (HANDLE)_beginthreadex(NULL, 0, c.pfnWriter, NULL, 0, NULL);
            EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(hWriter, 500));
            EXPECT_EQ(1, g_RealTimeScanINI.m_nOleLayer);
        }
        ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(hWriter, 20000));
        DWORD dwResult = 0;
        GetExitCodeThread(hWriter, &dwResult);
        CloseHandle(hWriter);
        EXPECT_TRUE(dwResult);
        CRealTimeScanINI copy;
        CopySettings(g_RealTimeScanINI, copy);
        EXPECT_EQ(c.nOleLayer, copy.m_nOleLayer);
        g_RealTimeScanINI.m_nOleLayer = 1;
    }
}

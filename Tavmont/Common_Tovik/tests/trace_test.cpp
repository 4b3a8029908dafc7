// The trace logger with kvdbg20.dll from the program folder and a switch file
// in the test folder.
#include <gtest/gtest.h>

#include "LogTracker.h"
#include "childprocess.h"
#include "VglTestSupport.h"

#include <string>
#include <vector>

namespace
{
struct LogLine
{
    int nSinkLevel;
    std::string strText;   // after "##"
};

// A switch file "<name>.ini" that sends the log to "<name>.log"; returns its path.
std::string MakeSwitchFile(const std::string& strName, const std::string& strExtra = "")
{
    std::string strIni = CurrentFolder() + "\\" + strName + ".ini";
    DeleteFileA((CurrentFolder() + "\\" + strName + ".log").c_str());
    WriteWholeFile(strIni, "[Trace]\r\nLogFile=" + strName + ".log\r\n" + strExtra);
    return strIni;
}

// The trace lines of "<name>.log" (the header line left out).
std::vector<LogLine> ReadLog(const std::string& strName)
{
    std::vector<LogLine> lines;
    std::string strLog = ReadWholeFile(CurrentFolder() + "\\" + strName + ".log");
    size_t pos = 0;
    while (pos < strLog.size())
    {
        size_t end = strLog.find("\r\n", pos);
        if (end == std::string::npos)
            end = strLog.size();
        std::string strLine = strLog.substr(pos, end - pos);
        pos = end + 2;
        // "YYYY/MM/DD hh:mm:ss.mmm TTTTTTTT L ##text"
        size_t mark = strLine.find(" ##");
        if (mark == std::string::npos)
            continue;
        size_t level = strLine.rfind(' ', mark - 1);
        LogLine line;
        line.nSinkLevel = atoi(strLine.substr(level + 1, mark - level - 1).c_str());
        line.strText = strLine.substr(mark + 3);
        lines.push_back(line);
    }
    return lines;
}
} // namespace

TEST(TraceLog, WithoutSwitchFileNothingIsLoaded)
{
    std::string strIni = CurrentFolder() + "\\no_such_switch.ini";
    DeleteFileA(strIni.c_str());
    {
        CBrisaLogTracker tracker;
        EXPECT_FALSE(tracker.Open(strIni.c_str(), 0));
        EXPECT_FALSE(tracker.IsOpen());
        EXPECT_TRUE(tracker.Trace(3, "value %d", 1));
        EXPECT_TRUE(tracker.Write(12, "text"));
        if (!g_logTracker.IsOpen())
        {
            EXPECT_EQ(NULL, GetModuleHandleA("kvdbg20.dll"));
        }
    }
}

TEST(TraceLog, WithSwitchFileLinesReachTheLog)
{
    std::string strIni = MakeSwitchFile("trace_on");
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(strIni.c_str(), 0));
        EXPECT_TRUE(tracker.IsOpen());
        EXPECT_TRUE(tracker.Trace(1, "-->CFoo::Bar(n = %d, s = %s), %s|%d", 7, "abc", "foo.cpp", 12));
    }
    std::vector<LogLine> lines = ReadLog("trace_on");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(8, lines[0].nSinkLevel);
    EXPECT_EQ("-->CFoo::Bar(n = 7, s = abc), foo.cpp|12", lines[0].strText);
}

TEST(TraceLog, LevelsMapToSinkLevels)
{
    static const struct { int nLevel; int nSinkLevel; } cases[] = {
        {-1, 2}, {0, 8}, {1, 8}, {2, 8}, {3, 5}, {4, 2}, {9, 2},
        {10, 2}, {11, 2}, {12, 4}, {13, 2}, {14, 2},
    };
    std::string strIni = MakeSwitchFile("trace_levels");
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(strIni.c_str(), 0));
        for (const auto& c : cases)
            tracker.Trace(c.nLevel, "level %d", c.nLevel);
    }
    std::vector<LogLine> lines = ReadLog("trace_levels");
    ASSERT_EQ(sizeof(cases) / sizeof(cases[0]), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        EXPECT_EQ("level " + std::to_string(cases[i].nLevel), lines[i].strText);
        EXPECT_EQ(cases[i].nSinkLevel, lines[i].nSinkLevel) << "level " << cases[i].nLevel;
    }
}

TEST(TraceLog, LongTextsAreCutNotDropped)
{
    static const size_t lengths[] = {4092, 4093, 4094, 10000};
    std::string strIni = MakeSwitchFile("trace_long");
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(strIni.c_str(), 0));
        for (size_t cch : lengths)
            tracker.Trace(3, "%s", std::string(cch, 'a' + cch % 26).c_str());
        tracker.Trace(3, "%5000d|", 42);
    }
    std::vector<LogLine> lines = ReadLog("trace_long");
    ASSERT_EQ(5u, lines.size());
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::string(std::min<size_t>(lengths[i], 4093), 'a' + lengths[i] % 26),
                  lines[i].strText);
    EXPECT_EQ(std::string(4093, ' '), lines[4].strText);
}

TEST(TraceLog, PlainTextKeepsPercentSigns)
{
    std::string strIni = MakeSwitchFile("trace_percent");
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(strIni.c_str(), 0));
        tracker.Write(12, "100% done %s %d %n");
        tracker << "50%% of %s" << "%x";
    }
    std::vector<LogLine> lines = ReadLog("trace_percent");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("100% done %s %d %n", lines[0].strText);
    EXPECT_EQ(4, lines[0].nSinkLevel);
    EXPECT_EQ("50%% of %s", lines[1].strText);
    EXPECT_EQ(5, lines[1].nSinkLevel);
    EXPECT_EQ("%x", lines[2].strText);
}

TEST(TraceLog, SinkLevelLimitFromSwitchFile)
{
    std::string strIni = MakeSwitchFile("trace_limit", "Level=4\r\n");
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(strIni.c_str(), 0));
        for (int nLevel : {1, 3, 12, 13})
            tracker.Trace(nLevel, "level %d", nLevel);
    }
    std::vector<LogLine> lines = ReadLog("trace_limit");
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("level 12", lines[0].strText);
    EXPECT_EQ("level 13", lines[1].strText);
}

namespace
{
DWORD WINAPI TraceManyLines(LPVOID pvTracker)
{
    CLogTracker* pTracker = (CLogTracker*)pvTracker;
    for (int i = 0; i < 200; ++i)
        pTracker->Trace(3, "thread %lu line %03d %s", GetCurrentThreadId(), i,
                        std::string(300, 'x').c_str());
    return 0;
}

// Another process writing the same log once the start event is set: argv[0] is the
// switch file, argv[1] the event's name.
VGL_CHILD_MODE(tracelines)
{
    CBrisaLogTracker tracker;
    HANDLE hStart = argv.size() == 2 ? OpenEventA(SYNCHRONIZE, FALSE, argv[1].c_str()) : NULL;
    if (hStart == NULL || !tracker.Open(argv[0].c_str(), 0))
        return 2;
    WaitForSingleObject(hStart, 30000);
    CloseHandle(hStart);
    TraceManyLines(&tracker);
    return 0;
}

std::string g_strThreadsIni, g_strStartEvent;

DWORD WINAPI RunTracingChild(LPVOID)
{
    return (DWORD)NS_ChildProcess::Run("tracelines", "\"" + g_strThreadsIni + "\" " + g_strStartEvent);
}
} // namespace

// Two threads here and three other processes append to one log at once.
TEST(TraceLog, LinesFromManyThreadsAndProcessesStayWhole)
{
    g_strThreadsIni = MakeSwitchFile("trace_threads");
    g_strStartEvent = "VglTraceStart" + std::to_string(GetCurrentProcessId());
    HANDLE hStart = CreateEventA(NULL, TRUE, FALSE, g_strStartEvent.c_str());
    ASSERT_TRUE(hStart != NULL);
    {
        CBrisaLogTracker tracker;
        ASSERT_TRUE(tracker.Open(g_strThreadsIni.c_str(), 0));
        HANDLE threads[5];
        for (int i = 2; i < 5; ++i)
            threads[i] = CreateThread(NULL, 0, RunTracingChild, NULL, 0, NULL);
        Sleep(1000); // the children are waiting
        SetEvent(hStart);
        for (int i = 0; i < 2; ++i)
            threads[i] = CreateThread(NULL, 0, TraceManyLines, &tracker, 0, NULL);
        WaitForMultipleObjects(5, threads, TRUE, 60000);
        for (int i = 0; i < 5; ++i)
        {
            DWORD dwExit = 1;
            GetExitCodeThread(threads[i], &dwExit);
            EXPECT_EQ(0u, dwExit) << "thread " << i;
            CloseHandle(threads[i]);
        }
    }
    CloseHandle(hStart);
    std::vector<LogLine> lines = ReadLog("trace_threads");
    ASSERT_EQ(1000u, lines.size());
    for (const LogLine& line : lines)
    {
        ASSERT_EQ(0u, line.strText.find("thread "));
        ASSERT_EQ(std::string(300, 'x'), line.strText.substr(line.strText.size() - 300));
    }
}

// Opens the global tracker for the rest of the program: keep it last here.
TEST(TraceLog, ConstructOpensGlobalTrackerAndMacroAddsPosition)
{
    char szWindows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(szWindows, MAX_PATH), 2u);
    std::string strSwitch = std::string(szWindows, 2) + "\\VglDebug.ini";
    std::string strLog = CurrentFolder() + "\\trace_construct.log";
    DeleteFileA(strLog.c_str());
    WriteWholeFile(strSwitch, "[Trace]\r\nLogFile=" + strLog + "\r\n");
    NS_Debug::Construct();
    DeleteFileA(strSwitch.c_str());
    ASSERT_TRUE(g_logTracker.IsOpen());
    EXPECT_EQ(&g_logTracker, &NS_Debug::GetLogTracker());

    int nLine = __LINE__ + 1;
    VGLTRACE(3, "-->CFoo::Bar(n = %d)", 5);
    VGLTRACE(12, "no arguments");
    std::vector<LogLine> lines = ReadLog("trace_construct");
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(std::string("-->CFoo::Bar(n = 5), ") + __FILE__ + "|" + std::to_string(nLine),
              lines[0].strText);
    EXPECT_EQ(std::string("no arguments, ") + __FILE__ + "|" + std::to_string(nLine + 1),
              lines[1].strText);
}

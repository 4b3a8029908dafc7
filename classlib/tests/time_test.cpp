#include <gtest/gtest.h>
#include "afx.h"
#include "afxtime.h"

#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

// Daylight-saving tests need a zone with daylight saving, fixed before the C library first
// reads it: each runs in a child copy of this program started with TZ=EST5EDT (US Eastern).
bool InEasternTime()
{
    const char* tz = getenv("TZ");
    return tz != NULL && strcmp(tz, "EST5EDT") == 0;
}

void RunInEasternTime(const char* testName)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, MAX_PATH);
    std::string cmd = std::string("\"") + exe + "\" --gtest_filter=" + testName;
    SetEnvironmentVariableA("TZ", "EST5EDT");
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA("TZ", NULL);
    ASSERT_TRUE(started) << GetLastError();
    DWORD wait = WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    if (wait != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ((DWORD)WAIT_OBJECT_0, wait) << "child timed out";
    EXPECT_EQ(0u, code) << testName << " failed in US Eastern time (see its output above)";
}

#define EASTERN_TEST(name)                              \
    static void name##Body();                           \
    TEST(EasternTime, name)                             \
    {                                                   \
        if (InEasternTime())                            \
            name##Body();                               \
        else                                            \
            RunInEasternTime("EasternTime." #name);     \
    }                                                   \
    static void name##Body()

const time_t k20010915 = 1000555445; // 2001-09-15 12:04:05 UTC, a Saturday

} // namespace

TEST(Time, HoldsA32BitTime)
{
    EXPECT_EQ(4u, sizeof(CTime));
    EXPECT_EQ(4u, sizeof(CTimeSpan));
}

TEST(Time, FormatGmtFollowsStrftime)
{
    struct Case { const char* format; const char* expected; };
    const Case cases[] = {
        { "%Y-%m-%d %H:%M:%S", "2001-09-15 12:04:05" },
        { "%A,%B %d %Y, %H:%M:%S", "Saturday,September 15 2001, 12:04:05" },
        { "%a %b %y %I%p %j %w", "Sat Sep 01 12PM 258 6" },
        { "100%%", "100%" },
        { "", "" },
    };
    CTime t(k20010915);
    for (const Case& c : cases)
        EXPECT_STREQ(c.expected, (LPCSTR)t.FormatGmt(c.format)) << c.format;

    // Results that do not fit the 128-character buffer come back empty.
    CString longFormat('x', 127);
    EXPECT_EQ(127, t.FormatGmt(longFormat).GetLength());
    longFormat += "%Y";
    EXPECT_TRUE(t.FormatGmt(longFormat).IsEmpty());
}

EASTERN_TEST(FieldsAndFormatAreLocal)
{
    CTime t(k20010915); // 08:04:05 EDT
    EXPECT_STREQ("2001-09-15 08:04:05", (LPCSTR)t.Format("%Y-%m-%d %H:%M:%S"));
    EXPECT_EQ(2001, t.GetYear());
    EXPECT_EQ(9, t.GetMonth());
    EXPECT_EQ(15, t.GetDay());
    EXPECT_EQ(8, t.GetHour());
    EXPECT_EQ(4, t.GetMinute());
    EXPECT_EQ(5, t.GetSecond());
    EXPECT_EQ(7, t.GetDayOfWeek()); // Saturday, counted from Sunday = 1
    EXPECT_EQ(k20010915, CTime(2001, 9, 15, 8, 4, 5).GetTime());

    SYSTEMTIME st;
    ASSERT_TRUE(t.GetAsSystemTime(st));
    EXPECT_EQ(8, st.wHour);
    EXPECT_EQ(k20010915, CTime(st).GetTime());
}

EASTERN_TEST(ConstructionAcrossDaylightSavingStart)
{
    // Clocks jump from 02:00 EST to 03:00 EDT on 2001-04-01.
    CTime before(2001, 4, 1, 1, 59, 59);
    CTime after(2001, 4, 1, 3, 0, 0);
    EXPECT_EQ(986108399, before.GetTime());
    EXPECT_EQ(1, (after - before).GetTotalSeconds());
    EXPECT_EQ(3, after.GetHour());

    // A day across the change is 23 hours long.
    EXPECT_EQ(23, (CTime(2001, 4, 2, 0, 0, 0) - CTime(2001, 4, 1, 0, 0, 0)).GetTotalHours());

    // nDST forces the interpretation; -1 lets the library decide.
    CTime summer(2001, 7, 1, 12, 0, 0);
    EXPECT_EQ(994003200, summer.GetTime());
    EXPECT_EQ(summer.GetTime(), CTime(2001, 7, 1, 12, 0, 0, 1).GetTime());
    EXPECT_EQ(summer.GetTime() + 3600, CTime(2001, 7, 1, 12, 0, 0, 0).GetTime());
}

TEST(Time, FromFileTimeAndDosTime)
{
    // FILETIME is UTC: 2001-09-15 12:04:05.
    SYSTEMTIME utc = { 2001, 9, 6, 15, 12, 4, 5, 0 };
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    // Converted with the bias in force now (as FileTimeToLocalFileTime does), so a time in
    // the other half of the year may be an hour off; never more.
    LONG diff = (LONG)(CTime(ft).GetTime() - k20010915);
    EXPECT_TRUE(diff == 0 || diff == -3600 || diff == 3600) << diff;

    FILETIME zero = { 0, 0 };
    EXPECT_EQ(0, CTime(zero).GetTime());

    // DOS date and time are local, seconds in steps of two.
    WORD dosDate = (WORD)(((2001 - 1980) << 9) | (9 << 5) | 15);
    WORD dosTime = (WORD)((8 << 11) | (4 << 5) | (5 / 2));
    EXPECT_EQ(CTime(2001, 9, 15, 8, 4, 4), CTime(dosDate, dosTime));
}

TEST(Time, RangeOf32Bits)
{
    struct Case { int y, mo, d, h, mi, s; bool valid; };
    const Case cases[] = {
        { 1970, 1, 2, 0, 0, 0, true },
        { 2037, 12, 31, 23, 59, 59, true },
        { 2038, 1, 18, 0, 0, 0, true },
        { 2038, 1, 20, 0, 0, 0, false },
        { 2040, 6, 1, 0, 0, 0, false },
        { 1969, 12, 30, 0, 0, 0, false },
        { 1900, 1, 1, 0, 0, 0, false },
    };
    for (const Case& c : cases) {
        CTime t(c.y, c.mo, c.d, c.h, c.mi, c.s);
        if (c.valid) {
            EXPECT_GT(t.GetTime(), 0) << c.y;
            EXPECT_EQ(c.y, t.GetYear());
        } else {
            EXPECT_EQ(-1, t.GetTime()) << c.y;
        }
    }
    // An invalid time breaks down to nothing instead of crashing.
    CTime bad(2040, 6, 1, 0, 0, 0);
    EXPECT_EQ(nullptr, bad.GetLocalTm());
    EXPECT_EQ(0, bad.GetYear());
    EXPECT_TRUE(bad.Format("%Y").IsEmpty());
}

TEST(Time, FieldsOutOfRangeAreNormalised)
{
    // Month or day zero: the month or day before.
    struct Case { int y, mo, d; const char* expected; };
    const Case cases[] = {
        { 2001, 0, 10, "2000-12-10" },
        { 2001, 3, 0, "2001-02-28" },
        { 2001, 0, 0, "2000-11-30" },
        { 2000, 2, 30, "2000-03-01" },
        { 2001, 13, 1, "2002-01-01" },
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.expected, (LPCSTR)CTime(c.y, c.mo, c.d, 12, 0, 0).Format("%Y-%m-%d"))
            << c.y << "/" << c.mo << "/" << c.d;
}

TEST(Time, Arithmetic)
{
    CTime a(k20010915);
    CTime b = a + CTimeSpan(1, 2, 3, 4);
    EXPECT_EQ(k20010915 + 93784, b.GetTime());
    EXPECT_TRUE(b > a && a < b && a != b && a <= a && b >= a);
    EXPECT_EQ(93784, (b - a).GetTotalSeconds());
    EXPECT_EQ(-93784, (a - b).GetTotalSeconds());
    b -= CTimeSpan(93784);
    EXPECT_TRUE(a == b);
    EXPECT_NEAR((double)time(NULL), (double)CTime::GetCurrentTime().GetTime(), 5.0);
}

TEST(TimeSpan, PartsAndFormat)
{
    CTimeSpan span(3, 4, 5, 6);
    EXPECT_EQ(3, span.GetDays());
    EXPECT_EQ(4, span.GetHours());
    EXPECT_EQ(76, span.GetTotalHours());
    EXPECT_EQ(5, span.GetMinutes());
    EXPECT_EQ(76 * 60 + 5, span.GetTotalMinutes());
    EXPECT_EQ(6, span.GetSeconds());

    struct Case { LONG seconds; const char* format; const char* expected; };
    const Case cases[] = {
        { 3 * 86400 + 4 * 3600 + 5 * 60 + 6, "%D days %H:%M:%S", "3 days 04:05:06" },
        { 59, "%H:%M:%S", "00:00:59" },
        { 45 * 86400, "%D", "45" },
        { 3600, "100%% %H", "100% 01" },
        { 61, "%M%", "01" },       // a lone '%' at the end is dropped
        { 61, "%X%M", "X01" },     // an unknown letter is copied
        { 0, "", "" },
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.expected, (LPCSTR)CTimeSpan((time_t)c.seconds).Format(c.format)) << c.format;
}

// The scheduler's decisions driven with a clock of the test's own: when the scheduled scan
// starts (daily, weekly, monthly; missed moments; the clock moved back and forth), the count
// toward the file-based poll, and what the main window does after a scheduled scan.
#include <gtest/gtest.h>

#include "ScheduleCheck.h"
#include "ScheduleScan.h"
#include "TavmontDlg.h"

#include <vector>

namespace
{
CScheduleScanINI Schedule(int nFrequency, int nHour, int nMinute, int nAmPm, int nDayOfWeek = 7,
                          int nDayOfMonth = 1, BOOL fEnable = TRUE)
{
    CScheduleScanINI s;
    s.m_fEnable = fEnable;
    s.m_nFrequency = nFrequency;
    s.m_nHour = nHour;
    s.m_nMinute = nMinute;
    s.m_nAmPm = nAmPm;
    s.m_nDayOfWeek = nDayOfWeek;
    s.m_nDayOfMonth = nDayOfMonth;
    return s;
}

CTime Dec(int nDay, int nHour, int nMinute, int nSecond)
{
    return CTime(2026, 12, nDay, nHour, nMinute, nSecond);
}

struct Tick
{
    int year, month, day, hour, minute, second;
    bool started;
};

struct Case
{
    const char* name;
    CScheduleScanINI settings;
    std::vector<Tick> ticks;
};
}

// 6 December 2026 is a Sunday.
TEST(Scheduler, StartsEachScheduledMomentOnce)
{
    const Case cases[] = {
        {"daily 11 PM, tested every 10 s", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 22, 59, 55, false}, {2026, 12, 6, 23, 0, 5, true}, {2026, 12, 6, 23, 0, 15, false},
          {2026, 12, 6, 23, 0, 55, false}, {2026, 12, 6, 23, 1, 5, false}, {2026, 12, 7, 23, 0, 3, true}}},
        {"weekly on Monday 9:30 AM", Schedule(SCHEDULE_WEEKLY, 9, 30, 1, 1),
         {{2026, 12, 6, 9, 30, 0, false}, {2026, 12, 7, 9, 30, 10, true}, {2026, 12, 8, 9, 30, 10, false},
          {2026, 12, 14, 9, 30, 40, true}}},
        {"weekly on Sunday (7)", Schedule(SCHEDULE_WEEKLY, 6, 15, 2, 7),
         {{2026, 12, 5, 18, 15, 0, false}, {2026, 12, 6, 18, 15, 0, true}}},
        {"monthly on the 15th at 12 AM", Schedule(SCHEDULE_MONTHLY, 12, 0, 1, 7, 15),
         {{2026, 12, 14, 23, 59, 58, false}, {2026, 12, 15, 0, 0, 8, true}, {2026, 12, 16, 0, 0, 8, false},
          {2027, 1, 15, 0, 0, 30, true}}},
        {"monthly on the 31st skips a month of 30 days", Schedule(SCHEDULE_MONTHLY, 1, 0, 1, 7, 31),
         {{2026, 11, 30, 0, 59, 0, false}, {2026, 11, 30, 1, 0, 0, false}, {2026, 12, 1, 1, 0, 0, false},
          {2026, 12, 31, 1, 0, 30, true}}},
        {"a minute the thread missed is caught up", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 22, 59, 50, false}, {2026, 12, 6, 23, 2, 0, true}, {2026, 12, 6, 23, 3, 0, false}}},
        {"suspended for days: one scan at resume", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 22, 0, 0, false}, {2026, 12, 9, 10, 0, 0, true}, {2026, 12, 9, 10, 1, 0, false},
          {2026, 12, 9, 23, 0, 0, true}}},
        {"weekly moment missed across the week's end", Schedule(SCHEDULE_WEEKLY, 11, 0, 2, 7),
         {{2026, 12, 6, 22, 0, 0, false}, {2026, 12, 7, 8, 0, 0, true}}},
        {"clock moved forward over the moment", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 22, 50, 0, false}, {2026, 12, 6, 23, 30, 0, true}}},
        {"clock moved back over a moment started already", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 23, 0, 5, true}, {2026, 12, 6, 22, 55, 0, false}, {2026, 12, 6, 23, 0, 10, false},
          {2026, 12, 6, 23, 5, 0, false}, {2026, 12, 7, 23, 0, 0, true}}},
        {"moments before the first test are not caught up", Schedule(SCHEDULE_DAILY, 11, 0, 2),
         {{2026, 12, 6, 23, 30, 0, false}, {2026, 12, 6, 23, 31, 0, false}}},
        {"disabled", Schedule(SCHEDULE_DAILY, 11, 0, 2, 7, 1, FALSE),
         {{2026, 12, 6, 22, 0, 0, false}, {2026, 12, 6, 23, 0, 0, false}, {2026, 12, 7, 23, 0, 0, false}}},
        {"no frequency", Schedule(SCHEDULE_NONE, 11, 0, 2),
         {{2026, 12, 6, 22, 0, 0, false}, {2026, 12, 6, 23, 0, 0, false}}},
    };
    for (const Case& c : cases)
    {
        CScheduleCheck check;
        SCOPED_TRACE(c.name);
        for (const Tick& t : c.ticks)
        {
            CTime now(t.year, t.month, t.day, t.hour, t.minute, t.second);
            EXPECT_EQ(t.started, check.Check(c.settings, now, now) != FALSE)
                << c.name << " at " << (LPCSTR)now.Format("%Y/%m/%d %H:%M:%S");
        }
    }
}

TEST(Scheduler, TimeTheScheduleWasOffIsNotCaughtUp)
{
    CScheduleScanINI on = Schedule(SCHEDULE_DAILY, 11, 0, 2);
    CScheduleScanINI off = Schedule(SCHEDULE_DAILY, 11, 0, 2, 7, 1, FALSE);
    CScheduleCheck check;
    EXPECT_FALSE(check.Check(on, Dec(6, 22, 0, 0), Dec(6, 22, 0, 0)));
    EXPECT_FALSE(check.Check(off, Dec(6, 22, 30, 0), Dec(6, 22, 30, 0)));
    EXPECT_FALSE(check.Check(off, Dec(6, 23, 0, 0), Dec(6, 23, 0, 0)));
    EXPECT_FALSE(check.Check(on, Dec(6, 23, 10, 0), Dec(6, 23, 10, 0)));
    EXPECT_TRUE(check.Check(on, Dec(7, 23, 0, 0), Dec(7, 23, 0, 0)));
}

TEST(Scheduler, TheTwoReadingsOfOneTestCoverTheMinuteBetweenThem)
{
    CScheduleScanINI s = Schedule(SCHEDULE_DAILY, 11, 0, 2);
    CScheduleCheck check;
    EXPECT_FALSE(check.Check(s, CTime(2026, 12, 6, 22, 58, 0), CTime(2026, 12, 6, 22, 58, 1)));
    EXPECT_TRUE(check.Check(s, CTime(2026, 12, 6, 22, 59, 59), CTime(2026, 12, 6, 23, 0, 0)));
    // The minute of the second reading was tested: nothing more in it.
    EXPECT_FALSE(check.Check(s, CTime(2026, 12, 6, 23, 0, 30), CTime(2026, 12, 6, 23, 0, 30)));
    EXPECT_EQ(CTime(2026, 12, 6, 23, 0, 0), check.m_tLastStarted);
}

TEST(Scheduler, LatestScheduledMoment)
{
    struct
    {
        CScheduleScanINI settings;
        CTime at, expected;
    } cases[] = {
        {Schedule(SCHEDULE_DAILY, 11, 0, 2), CTime(2026, 12, 6, 23, 0, 0), CTime(2026, 12, 6, 23, 0, 0)},
        {Schedule(SCHEDULE_DAILY, 11, 0, 2), CTime(2026, 12, 6, 22, 59, 59), CTime(2026, 12, 5, 23, 0, 0)},
        {Schedule(SCHEDULE_WEEKLY, 12, 5, 2, 3), CTime(2026, 12, 6, 0, 0, 0), CTime(2026, 12, 2, 12, 5, 0)},
        {Schedule(SCHEDULE_MONTHLY, 12, 0, 1, 7, 31), CTime(2026, 12, 1, 0, 0, 0), CTime(2026, 10, 31, 0, 0, 0)},
        {Schedule(SCHEDULE_MONTHLY, 3, 0, 1, 7, 29), CTime(2027, 3, 1, 0, 0, 0), CTime(2027, 1, 29, 3, 0, 0)},
        {Schedule(SCHEDULE_NONE, 3, 0, 1), CTime(2027, 3, 1, 0, 0, 0), CTime()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, latestScheduledMoment(c.settings, c.at))
            << (LPCSTR)c.at.Format("%Y/%m/%d %H:%M:%S");
}

TEST(Scheduler, PollingCountAndBoundedInterval)
{
    struct { DWORD range, interval; } bounds[] = {
        {0, 60000}, {1, 60000}, {360, 21600000}, {32767, 1966020000}, {32768, 1966020000}, {0xFFFFFFFF, 1966020000}};
    for (auto b : bounds)
        EXPECT_EQ(b.interval, pollingIntervalOf(b.range)) << b.range;

    // A range of 0: one poll a minute (12 passes of 5 s), not one every pass.
    DWORD dwElapsed = 0, dwInterval = pollingIntervalOf(0);
    int nPolls = 0, nPasses = 0;
    for (int i = 0; i < 36; i++)
    {
        nPasses++;
        if (addPollingTime(dwElapsed, dwInterval, 5000))
        {
            EXPECT_EQ(12, nPasses);
            nPasses = 0;
            dwElapsed = 0;
            nPolls++;
        }
    }
    EXPECT_EQ(3, nPolls);
}

TEST(Scheduler, WhatTheMainWindowDoesAfterAScheduledScan)
{
    struct { BOOL visible, popup, found; int action; } cases[] = {
        {TRUE, FALSE, FALSE, CTavmontDlg::SCHEDULED_SCAN_RESTORE},
        {TRUE, TRUE, TRUE, CTavmontDlg::SCHEDULED_SCAN_RESTORE},
        {FALSE, TRUE, TRUE, CTavmontDlg::SCHEDULED_SCAN_POPUP},
        {FALSE, TRUE, FALSE, CTavmontDlg::SCHEDULED_SCAN_STAY_HIDDEN},
        {FALSE, FALSE, TRUE, CTavmontDlg::SCHEDULED_SCAN_STAY_HIDDEN},
    };
    for (auto c : cases)
        EXPECT_EQ(c.action, CTavmontDlg::AfterScheduledScan(c.visible, c.popup, c.found))
            << c.visible << c.popup << c.found;

}

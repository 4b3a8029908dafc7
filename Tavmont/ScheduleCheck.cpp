// The scheduler's due test and its polling count.
#include "ScheduleCheck.h"

#include "ScheduleScan.h"

namespace
{
// The minute of t, as a number that orders minutes.
LONGLONG MinuteOf(const CTime& t)
{
    return (LONGLONG)t.GetTime() / 60;
}

BOOL SameMinuteOfDay(const CTime& a, const CTime& b)
{
    return a.GetDay() == b.GetDay() && a.GetHour() == b.GetHour() && a.GetMinute() == b.GetMinute();
}
}

CTime latestScheduledMoment(const CScheduleScanINI& settings, const CTime& t)
{
    int nFrequency = settings.GetFrequencyCode();
    if (nFrequency == SCHEDULE_NONE || t.GetTime() <= 0)
        return CTime();
    int nHour = settings.GetHour24();
    // Day by day back from the day of t, at most a year: the first day of the schedule whose
    // moment is not after t. Noon of each day steps safely over a day of 23 or 25 hours.
    CTime day(t.GetYear(), t.GetMonth(), t.GetDay(), 12, 0, 0);
    for (int i = 0; i <= 366; i++, day -= CTimeSpan(1, 0, 0, 0))
    {
        if (day.GetTime() <= 0)
            break;
        if (nFrequency == SCHEDULE_WEEKLY && day.GetDayOfWeek() != DayOfWeekToCTime(settings.m_nDayOfWeek))
            continue;
        if (nFrequency == SCHEDULE_MONTHLY && day.GetDay() != settings.m_nDayOfMonth)
            continue;
        CTime moment(day.GetYear(), day.GetMonth(), day.GetDay(), nHour, settings.m_nMinute, 0);
        if (moment.GetTime() > 0 && moment <= t)
            return moment;
    }
    return CTime();
}

CScheduleCheck::CScheduleCheck() {}

BOOL CScheduleCheck::Check(const CScheduleScanINI& settings, const CTime& now, const CTime& nowAfter)
{
    if (!settings.m_fEnable || settings.GetFrequencyCode() == SCHEDULE_NONE)
    {
        // The time the schedule was off is not caught up when it is switched on.
        m_tLastCheck = nowAfter > now ? nowAfter : now;
        return FALSE;
    }
    if (m_tLastCheck.GetTime() != 0 && SameMinuteOfDay(m_tLastCheck, now))
        return FALSE;

    BOOL fDue = settings.IsScheduledTime(now) || settings.IsScheduleMissed(now, nowAfter);
    CTime moment = latestScheduledMoment(settings, nowAfter > now ? nowAfter : now);
    if (!fDue && m_tLastCheck.GetTime() != 0 && moment.GetTime() != 0 &&
        MinuteOf(moment) > MinuteOf(m_tLastCheck) && moment <= now)
        fDue = TRUE;    // a moment passed between two tests
    if (fDue && moment.GetTime() != 0 && m_tLastStarted == moment)
        fDue = FALSE;   // started already: the clock went back over it
    if (fDue && moment.GetTime() != 0)
        m_tLastStarted = moment;
    m_tLastCheck = nowAfter > now ? nowAfter : now;
    return fDue;
}

BOOL addPollingTime(DWORD& dwElapsed, DWORD dwInterval, DWORD dwMilliseconds)
{
    dwElapsed += dwMilliseconds;
    return dwElapsed >= dwInterval;
}

DWORD pollingIntervalOf(DWORD dwRangeMinutes)
{
    if (dwRangeMinutes < 1)
        dwRangeMinutes = 1;
    if (dwRangeMinutes > 32767)
        dwRangeMinutes = 32767;
    return dwRangeMinutes * 60000;
}

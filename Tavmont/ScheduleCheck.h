// The scheduler's two counters, kept apart from its thread so they can be driven with any
// clock: the due test of the scheduled scan and the count toward the next file-based poll.
#ifndef VGL_SCHEDULECHECK_H
#define VGL_SCHEDULECHECK_H

#include "afx.h"
#include "afxtime.h"

class CScheduleScanINI;

// The latest scheduled moment (seconds 0) at or before t; a zero time when the schedule has
// none (no frequency, or none within the year before t).
CTime latestScheduledMoment(const CScheduleScanINI& settings, const CTime& t);

// Whether a test of the schedule starts the scheduled scan. The schedule is tested at most once
// a minute. It is due in its scheduled minute; a scheduled moment that fell between two tests
// (the PC suspended, the clock moved forward) is caught up once at the next test; a moment
// that was started already never starts again (the clock moved back). Moments before the
// first test, and while the schedule was off, are not caught up.
class CScheduleCheck
{
public:
    CScheduleCheck();

    // now: the clock read before the test; nowAfter: read again right after it.
    BOOL Check(const CScheduleScanINI& settings, const CTime& now, const CTime& nowAfter);

    CTime m_tLastCheck;       // zero before the first test
    CTime m_tLastStarted;     // the scheduled moment last started; zero before
};

// The count toward the next file-based poll, in nominal milliseconds: adds one pass and
// answers TRUE when the interval is reached.
BOOL addPollingTime(DWORD& dwElapsed, DWORD dwInterval, DWORD dwMilliseconds);
// The interval after a poll: the range in minutes, bounded to 1..32767, in milliseconds.
DWORD pollingIntervalOf(DWORD dwRangeMinutes);

#endif

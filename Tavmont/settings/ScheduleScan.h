// The scheduled scan's settings: the common scan settings plus the schedule (how often, which
// day, what time) and the kinds of drive to scan, with the scheduler's two questions: is this
// minute the scheduled moment, and did a scheduled moment pass between two times.
#ifndef VGL_SCHEDULESCAN_H
#define VGL_SCHEDULESCAN_H

#include "CommonScanINI.h"

// Frequencies.
enum
{
    SCHEDULE_NONE = 0,
    SCHEDULE_MONTHLY = 1,
    SCHEDULE_WEEKLY = 2,
    SCHEDULE_DAILY = 3
};

// Setting day of week (1 Monday .. 7 Sunday) to the calendar's (1 Sunday .. 7 Saturday);
// outside 1..7 gives 1.
int DayOfWeekToCTime(int nDayOfWeek);
// Calendar day of week to the setting's; outside 1..7 gives 6.
int CTimeToDayOfWeek(int nCTimeDayOfWeek);

class CScheduleScanINI : public CCommonScanINI
{
public:
    CScheduleScanINI(LPCSTR pszSection = g_pszScheduleScanSection, BOOL fEnable = TRUE,
                     LPCSTR pszExtList = ".*");

    virtual void ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void ReadIniFile(LPCSTR pszIniFile);
    virtual void WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void WriteIniFile(LPCSTR pszIniFile);
    virtual CString BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease);
    virtual CString GetTitle();
    virtual CCommonScanINI* Clone() const;

    // 0..23 from Hour and AmPm.
    int GetHour24() const;
    // Frequency when it is 1, 2 or 3, else 0.
    int GetFrequencyCode() const;
    // Index in the schedule page's combo box: daily 1, weekly 2, monthly 3, other 0.
    int GetFrequencyIndex() const;

    CString GetFrequencyText() const;
    CString GetDayOfWeekText() const;    // the day name as written to INI files
    CString GetDayOfMonthText() const;
    CString GetTimeText() const;

    // Whether now (local time) falls in the scheduled minute.
    BOOL IsScheduledTime(CTime now) const;
    // Whether the scheduled moment lies within last..now inside one period (day, week or
    // month); the minute indexes do not wrap across periods.
    BOOL IsScheduleMissed(CTime last, CTime now) const;

    int m_nFrequency;     // SCHEDULE_*
    int m_nDayOfWeek;     // 1 Monday .. 7 Sunday
    int m_nDayOfMonth;    // 1..31
    int m_nHour;          // 1..12
    int m_nMinute;        // 0..59
    int m_nAmPm;          // 1 AM, 2 PM
    BOOL m_fSomeDrives;   // "Level": 0 all drives, 1 some drives
    BOOL m_fScanRemovable;
    BOOL m_fScanFixedDisk;
    BOOL m_fScanCDRom;

private:
    void CorrectRanges();
};

#endif

// CTime and CTimeSpan: seconds since 1970-01-01 UTC held in 32 bits.
// afx.h includes this file at its end: include it first, outside the guard.
#include "afx.h"

#ifndef VGL_AFXTIME_H
#define VGL_AFXTIME_H

#include <windows.h>
#include <time.h>

class CTimeSpan
{
public:
    CTimeSpan() : m_timeSpan(0) {}
    CTimeSpan(time_t time) : m_timeSpan((LONG)time) {}
    CTimeSpan(LONG lDays, int nHours, int nMins, int nSecs);
    CTimeSpan(const CTimeSpan& other) : m_timeSpan(other.m_timeSpan) {}
    const CTimeSpan& operator=(const CTimeSpan& other) { m_timeSpan = other.m_timeSpan; return *this; }

    LONG GetDays() const { return m_timeSpan / (24 * 3600L); }
    LONG GetTotalHours() const { return m_timeSpan / 3600; }
    int GetHours() const { return (int)(GetTotalHours() - GetDays() * 24); }
    LONG GetTotalMinutes() const { return m_timeSpan / 60; }
    int GetMinutes() const { return (int)(GetTotalMinutes() - GetTotalHours() * 60); }
    LONG GetTotalSeconds() const { return m_timeSpan; }
    int GetSeconds() const { return (int)(GetTotalSeconds() - GetTotalMinutes() * 60); }

    CTimeSpan operator-(CTimeSpan other) const { return CTimeSpan((time_t)(m_timeSpan - other.m_timeSpan)); }
    CTimeSpan operator+(CTimeSpan other) const { return CTimeSpan((time_t)(m_timeSpan + other.m_timeSpan)); }
    const CTimeSpan& operator+=(CTimeSpan other) { m_timeSpan += other.m_timeSpan; return *this; }
    const CTimeSpan& operator-=(CTimeSpan other) { m_timeSpan -= other.m_timeSpan; return *this; }
    BOOL operator==(CTimeSpan other) const { return m_timeSpan == other.m_timeSpan; }
    BOOL operator!=(CTimeSpan other) const { return m_timeSpan != other.m_timeSpan; }
    BOOL operator<(CTimeSpan other) const { return m_timeSpan < other.m_timeSpan; }
    BOOL operator>(CTimeSpan other) const { return m_timeSpan > other.m_timeSpan; }
    BOOL operator<=(CTimeSpan other) const { return m_timeSpan <= other.m_timeSpan; }
    BOOL operator>=(CTimeSpan other) const { return m_timeSpan >= other.m_timeSpan; }

    // %D days, %H hours, %M minutes, %S seconds (two digits each but days), %% percent.
    CString Format(LPCSTR pFormat) const;
    CString Format(UINT nFormatID) const;

private:
    LONG m_timeSpan;
    friend class CTime;
};

class CTime
{
public:
    static CTime PASCAL GetCurrentTime();

    CTime() : m_time(0) {}
    CTime(time_t time) : m_time((__time32_t)time) {}
    // Local time; nDST < 0 lets the C library decide whether daylight saving applies.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);
    CTime(WORD wDosDate, WORD wDosTime, int nDST = -1);
    CTime(const SYSTEMTIME& sysTime, int nDST = -1);
    CTime(const FILETIME& fileTime, int nDST = -1);
    CTime(const CTime& other) : m_time(other.m_time) {}
    const CTime& operator=(const CTime& other) { m_time = other.m_time; return *this; }
    const CTime& operator=(time_t t) { m_time = (__time32_t)t; return *this; }

    // NULL when the time cannot be broken down (outside the 32-bit range).
    struct tm* GetGmtTm(struct tm* ptm = NULL) const;
    struct tm* GetLocalTm(struct tm* ptm = NULL) const;
    BOOL GetAsSystemTime(SYSTEMTIME& timeDest) const;

    time_t GetTime() const { return (time_t)m_time; }
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const; // 1 = Sunday

    CTimeSpan operator-(CTime other) const { return CTimeSpan((time_t)((LONG)m_time - (LONG)other.m_time)); }
    CTime operator-(CTimeSpan span) const { return CTime((time_t)(m_time - span.m_timeSpan)); }
    CTime operator+(CTimeSpan span) const { return CTime((time_t)(m_time + span.m_timeSpan)); }
    const CTime& operator+=(CTimeSpan span) { m_time += span.m_timeSpan; return *this; }
    const CTime& operator-=(CTimeSpan span) { m_time -= span.m_timeSpan; return *this; }
    BOOL operator==(CTime other) const { return m_time == other.m_time; }
    BOOL operator!=(CTime other) const { return m_time != other.m_time; }
    BOOL operator<(CTime other) const { return m_time < other.m_time; }
    BOOL operator>(CTime other) const { return m_time > other.m_time; }
    BOOL operator<=(CTime other) const { return m_time <= other.m_time; }
    BOOL operator>=(CTime other) const { return m_time >= other.m_time; }

    // strftime of the local (Format) or UTC (FormatGmt) time; empty when it does not fit 128 chars.
    CString Format(LPCSTR pFormat) const;
    CString FormatGmt(LPCSTR pFormat) const;
    CString Format(UINT nFormatID) const;
    CString FormatGmt(UINT nFormatID) const;

private:
    __time32_t m_time;
};

#endif

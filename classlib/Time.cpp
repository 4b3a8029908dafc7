#include "afxtime.h"

#include <limits.h>
#include <string.h>

namespace {

const size_t kMaxTimeBuffer = 128;

// The C library's 32-bit time functions. The 32-bit runtime has them (its plain time,
// mktime, localtime and gmtime); the 64-bit runtime has only the 64-bit ones, kept here to
// the same range: -1 from mktime outside 1970..2038, no broken-down time for a negative one.
#ifdef _WIN64
__time32_t Time32()
{
    __time64_t t = _time64(NULL);
    return t < 0 || t > INT_MAX ? -1 : (__time32_t)t;
}

__time32_t MkTime32(struct tm* ptm)
{
    __time64_t t = _mktime64(ptm);
    return t < 0 || t > INT_MAX ? -1 : (__time32_t)t;
}

struct tm* LocalTime32(const __time32_t* pt)
{
    __time64_t t = *pt;
    return t < 0 ? NULL : _localtime64(&t);
}

struct tm* GmTime32(const __time32_t* pt)
{
    __time64_t t = *pt;
    return t < 0 ? NULL : _gmtime64(&t);
}
#else
__time32_t Time32() { return _time32(NULL); }
__time32_t MkTime32(struct tm* ptm) { return _mktime32(ptm); }
struct tm* LocalTime32(const __time32_t* pt) { return _localtime32(pt); }
struct tm* GmTime32(const __time32_t* pt) { return _gmtime32(pt); }
#endif

__time32_t MakeLocal(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST)
{
    struct tm atm;
    memset(&atm, 0, sizeof(atm));
    atm.tm_sec = nSec;
    atm.tm_min = nMin;
    atm.tm_hour = nHour;
    atm.tm_mday = nDay;
    atm.tm_mon = nMonth - 1;
    atm.tm_year = nYear - 1900;
    atm.tm_isdst = nDST;
    return MkTime32(&atm); // -1 outside 1970..2038
}

CString FormatTm(const struct tm* ptm, LPCSTR pFormat)
{
    char szBuffer[kMaxTimeBuffer];
    if (ptm == NULL || pFormat == NULL || strftime(szBuffer, sizeof(szBuffer), pFormat, ptm) == 0)
        szBuffer[0] = '\0';
    return CString(szBuffer);
}

} // namespace

CTimeSpan::CTimeSpan(LONG lDays, int nHours, int nMins, int nSecs)
{
    m_timeSpan = nSecs + 60 * (nMins + 60 * (nHours + 24 * lDays));
}

CString CTimeSpan::Format(LPCSTR pFormat) const
{
    CString result;
    if (pFormat == NULL)
        return result;
    char num[16];
    for (const char* p = pFormat; *p != '\0'; ++p) {
        if (*p != '%') {
            result += *p;
            continue;
        }
        char ch = *++p;
        if (ch == '\0')
            break;
        switch (ch) {
        case 'D': wsprintfA(num, "%ld", GetDays()); result += num; break;
        case 'H': wsprintfA(num, "%02d", GetHours()); result += num; break;
        case 'M': wsprintfA(num, "%02d", GetMinutes()); result += num; break;
        case 'S': wsprintfA(num, "%02d", GetSeconds()); result += num; break;
        default: result += ch; break; // "%%" and unknown letters copy the letter
        }
    }
    return result;
}

CString CTimeSpan::Format(UINT nFormatID) const
{
    CString fmt;
    fmt.LoadString(nFormatID);
    return Format((LPCSTR)fmt);
}

CTime PASCAL CTime::GetCurrentTime()
{
    return CTime((time_t)Time32());
}

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST)
{
    m_time = MakeLocal(nYear, nMonth, nDay, nHour, nMin, nSec, nDST);
}

CTime::CTime(WORD wDosDate, WORD wDosTime, int nDST)
{
    m_time = MakeLocal((wDosDate >> 9) + 1980, (wDosDate >> 5) & 0xF, wDosDate & 0x1F,
                       wDosTime >> 11, (wDosTime >> 5) & 0x3F, (wDosTime & 0x1F) * 2, nDST);
}

CTime::CTime(const SYSTEMTIME& st, int nDST)
{
    m_time = MakeLocal(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST);
}

CTime::CTime(const FILETIME& ft, int nDST)
{
    m_time = 0;
    if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0)
        return; // "no time" stays zero
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) {
        m_time = -1;
        return;
    }
    m_time = MakeLocal(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST);
}

struct tm* CTime::GetGmtTm(struct tm* ptm) const
{
    struct tm* p = GmTime32(&m_time);
    if (ptm != NULL && p != NULL) {
        *ptm = *p;
        return ptm;
    }
    return p;
}

struct tm* CTime::GetLocalTm(struct tm* ptm) const
{
    struct tm* p = LocalTime32(&m_time);
    if (ptm != NULL && p != NULL) {
        *ptm = *p;
        return ptm;
    }
    return p;
}

BOOL CTime::GetAsSystemTime(SYSTEMTIME& st) const
{
    struct tm t;
    if (GetLocalTm(&t) == NULL)
        return FALSE;
    st.wYear = (WORD)(t.tm_year + 1900);
    st.wMonth = (WORD)(t.tm_mon + 1);
    st.wDay = (WORD)t.tm_mday;
    st.wHour = (WORD)t.tm_hour;
    st.wMinute = (WORD)t.tm_min;
    st.wSecond = (WORD)t.tm_sec;
    st.wDayOfWeek = (WORD)t.tm_wday;
    st.wMilliseconds = 0;
    return TRUE;
}

// A time that cannot be broken down reads as zero fields instead of crashing.
int CTime::GetYear() const { struct tm t; return GetLocalTm(&t) ? t.tm_year + 1900 : 0; }
int CTime::GetMonth() const { struct tm t; return GetLocalTm(&t) ? t.tm_mon + 1 : 0; }
int CTime::GetDay() const { struct tm t; return GetLocalTm(&t) ? t.tm_mday : 0; }
int CTime::GetHour() const { struct tm t; return GetLocalTm(&t) ? t.tm_hour : 0; }
int CTime::GetMinute() const { struct tm t; return GetLocalTm(&t) ? t.tm_min : 0; }
int CTime::GetSecond() const { struct tm t; return GetLocalTm(&t) ? t.tm_sec : 0; }
int CTime::GetDayOfWeek() const { struct tm t; return GetLocalTm(&t) ? t.tm_wday + 1 : 0; }

CString CTime::Format(LPCSTR pFormat) const
{
    return FormatTm(LocalTime32(&m_time), pFormat);
}

CString CTime::FormatGmt(LPCSTR pFormat) const
{
    return FormatTm(GmTime32(&m_time), pFormat);
}

CString CTime::Format(UINT nFormatID) const
{
    CString fmt;
    fmt.LoadString(nFormatID);
    return Format((LPCSTR)fmt);
}

CString CTime::FormatGmt(UINT nFormatID) const
{
    CString fmt;
    fmt.LoadString(nFormatID);
    return FormatGmt((LPCSTR)fmt);
}

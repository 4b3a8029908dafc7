// The scheduled scan's settings and its due tests.
#include "ScheduleScan.h"

#include "LogTracker.h"
#include "StringUtils.h"

#include "resource_ids.h"

#include <stdlib.h>

namespace
{
    CString LoadText(UINT nID)
    {
        CString str;
        str.LoadString(nID);
        return str;
    }

    // A decimal number as written, or -1 when the text is not one.
    int NumberOf(const CString& str)
    {
        if (str.IsEmpty() || !isAllDigits(str))
            return -1;
        return atoi(str);
    }

    BOOL QueryDword(HKEY hKey, LPCSTR pszName, DWORD& dwOut)
    {
        DWORD dwType = 0, dwValue = 0, cb = sizeof dwValue;
        if (RegQueryValueExA(hKey, pszName, NULL, &dwType, (BYTE*)&dwValue, &cb) != ERROR_SUCCESS ||
            dwType != REG_DWORD || cb != sizeof dwValue)
            return FALSE;
        dwOut = dwValue;
        return TRUE;
    }

    void QueryInt(HKEY hKey, LPCSTR pszName, int& nValue)
    {
        DWORD dw;
        if (QueryDword(hKey, pszName, dw))
            nValue = (int)dw;
    }

    BOOL QueryFlag(HKEY hKey, LPCSTR pszName)
    {
        DWORD dw = 0;
        return QueryDword(hKey, pszName, dw) && dw != 0;
    }

    void SetDword(HKEY hKey, LPCSTR pszName, DWORD dwValue)
    {
        RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof dwValue);
    }

    void WriteInt(LPCSTR pszSection, LPCSTR pszKey, int nValue, LPCSTR pszIniFile)
    {
        CString str;
        str.Format("%d", nValue);
        WritePrivateProfileStringA(pszSection, pszKey, str, pszIniFile);
    }
}

int DayOfWeekToCTime(int nDayOfWeek)
{
    if (nDayOfWeek < 1 || nDayOfWeek > 7)
        return 1;
    return nDayOfWeek == 7 ? 1 : nDayOfWeek + 1;
}

int CTimeToDayOfWeek(int nCTimeDayOfWeek)
{
    if (nCTimeDayOfWeek < 1 || nCTimeDayOfWeek > 7)
        return 6;
    return nCTimeDayOfWeek == 1 ? 7 : nCTimeDayOfWeek - 1;
}

CScheduleScanINI::CScheduleScanINI(LPCSTR pszSection, BOOL fEnable, LPCSTR pszExtList)
    : CCommonScanINI(pszSection, fEnable, pszExtList),
      m_nFrequency(SCHEDULE_DAILY),
      m_nDayOfWeek(7),
      m_nDayOfMonth(7),
      m_nHour(11),
      m_nMinute(0),
      m_nAmPm(2),
      m_fSomeDrives(FALSE),
      m_fScanRemovable(TRUE),
      m_fScanFixedDisk(TRUE),
      m_fScanCDRom(TRUE)
{
}

void CScheduleScanINI::CorrectRanges()
{
    if (m_nDayOfMonth < 1 || m_nDayOfMonth > 31)
        m_nDayOfMonth = 1;
    if (m_nHour < 1 || m_nHour > 12)
        m_nHour = 1;
    if (m_nMinute < 0 || m_nMinute > 59)
        m_nMinute = 0;
}

void CScheduleScanINI::ReadIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CScheduleScanINI::ReadIniFile(%s)", pszIniFile);
    CCommonScanINI::ReadIniFile(pszIniFile);
    LPCSTR s = m_pszSection;

    CString str = getProfileString(s, "Frequency", "Monthly", pszIniFile);
    int n = NumberOf(str);
    if (str.CompareNoCase("Daily") == 0 || n == 3)
        m_nFrequency = SCHEDULE_DAILY;
    else if (str.CompareNoCase("Weekly") == 0 || n == 2)
        m_nFrequency = SCHEDULE_WEEKLY;
    else if (str.CompareNoCase("Monthly") == 0 || n == 1)
        m_nFrequency = SCHEDULE_MONTHLY;
    else
        m_nFrequency = SCHEDULE_NONE;

    str = getProfileString(s, "AmPm", "AM", pszIniFile);
    m_nAmPm = (str.CompareNoCase("AM") == 0 || NumberOf(str) == 1) ? 1 : 2;

    // The day names of this client's language (Sunday first), or the numbers 1..7.
    str = getProfileString(s, "DayOfWeek", "7", pszIniFile);
    n = NumberOf(str);
    m_nDayOfWeek = 7;
    for (int i = 0; i < 7; i++)
    {
        int nDay = i == 0 ? 7 : i;
        CString strName = LoadText(IDS_DAY_SUNDAY + i);
        if (n == nDay || (!strName.IsEmpty() && str.CompareNoCase(strName) == 0))
        {
            m_nDayOfWeek = nDay;
            break;
        }
    }

    m_nDayOfMonth = atoi(getProfileString(s, "DayOfMonth", "1", pszIniFile));
    m_nHour = atoi(getProfileString(s, "Hour", "12", pszIniFile));
    m_nMinute = atoi(getProfileString(s, "Minute", "0", pszIniFile));
    CorrectRanges();

    // The INI form does not carry the drives.
    m_fSomeDrives = FALSE;
    m_fScanRemovable = TRUE;
    m_fScanFixedDisk = TRUE;
    m_fScanCDRom = TRUE;
    VGLTRACE(2, "<-- CScheduleScanINI::ReadIniFile(%s)", pszIniFile);
}

void CScheduleScanINI::WriteIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CScheduleScanINI::WriteIniFile(%s)", pszIniFile);
    CCommonScanINI::WriteIniFile(pszIniFile);
    LPCSTR s = m_pszSection;
    LPCSTR pszFrequency;
    switch (m_nFrequency)
    {
    case SCHEDULE_MONTHLY: pszFrequency = "Monthly"; break;
    case SCHEDULE_WEEKLY: pszFrequency = "Weekly"; break;
    case SCHEDULE_DAILY: pszFrequency = "Daily"; break;
    default: pszFrequency = "NoAction"; break;
    }
    WritePrivateProfileStringA(s, "Frequency", pszFrequency, pszIniFile);
    WritePrivateProfileStringA(s, "DayOfWeek", GetDayOfWeekText(), pszIniFile);
    WriteInt(s, "DayOfMonth", m_nDayOfMonth, pszIniFile);
    WriteInt(s, "Hour", m_nHour, pszIniFile);
    WriteInt(s, "Minute", m_nMinute, pszIniFile);
    WritePrivateProfileStringA(s, "AmPm", m_nAmPm == 1 ? "AM" : "PM", pszIniFile);
    WritePrivateProfileStringA(s, "Level", m_fSomeDrives == 1 ? "ScanSomeDrive" : "ScanAllDrive", pszIniFile);
    WritePrivateProfileStringA(s, "ScanRemovable", YesNo(m_fScanRemovable), pszIniFile);
    WritePrivateProfileStringA(s, "ScanFixedDisk", YesNo(m_fScanFixedDisk), pszIniFile);
    WritePrivateProfileStringA(s, "ScanCDRom", YesNo(m_fScanCDRom), pszIniFile);
    VGLTRACE(2, "<-- CScheduleScanINI::WriteIniFile(%s)", pszIniFile);
}

void CScheduleScanINI::ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CScheduleScanINI::ReadRegistry(%s)", pszKeyPath);
    CCommonScanINI::ReadRegistry(pszKeyPath, hRoot);
    HKEY hKey;
    if (!OpenSectionKey(hRoot, pszKeyPath, FALSE, &hKey))
        return;
    QueryInt(hKey, "Frequency", m_nFrequency);
    QueryInt(hKey, "DayOfWeek", m_nDayOfWeek);
    QueryInt(hKey, "DayOfMonth", m_nDayOfMonth);
    QueryInt(hKey, "Hour", m_nHour);
    QueryInt(hKey, "Minute", m_nMinute);
    QueryInt(hKey, "AmPm", m_nAmPm);
    DWORD dwLevel = 0;
    m_fSomeDrives = QueryDword(hKey, "Level", dwLevel) ? (BOOL)dwLevel : FALSE;
    CorrectRanges();
    m_fScanRemovable = QueryFlag(hKey, "ScanRemovable");
    m_fScanFixedDisk = QueryFlag(hKey, "ScanFixedDisk");
    m_fScanCDRom = QueryFlag(hKey, "ScanCDRom");
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CScheduleScanINI::ReadRegistry(%s)", pszKeyPath);
}

void CScheduleScanINI::WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CScheduleScanINI::WriteRegistry(%s)", pszKeyPath);
    CCommonScanINI::WriteRegistry(pszKeyPath, hRoot);
    HKEY hKey;
    if (!OpenSectionKey(hRoot, pszKeyPath, FALSE, &hKey))
        return;
    SetDword(hKey, "Frequency", (DWORD)m_nFrequency);
    SetDword(hKey, "DayOfWeek", (DWORD)m_nDayOfWeek);
    SetDword(hKey, "DayOfMonth", (DWORD)m_nDayOfMonth);
    SetDword(hKey, "Hour", (DWORD)m_nHour);
    SetDword(hKey, "Minute", (DWORD)m_nMinute);
    SetDword(hKey, "AmPm", (DWORD)m_nAmPm);
    SetDword(hKey, "ScanRemovable", (DWORD)m_fScanRemovable);
    SetDword(hKey, "ScanFixedDisk", (DWORD)m_fScanFixedDisk);
    SetDword(hKey, "ScanCDRom", (DWORD)m_fScanCDRom);
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CScheduleScanINI::WriteRegistry(%s)", pszKeyPath);
}

CString CScheduleScanINI::BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease)
{
    CString strQuery;
    strQuery.Format("%s?UID=%s&ENABLE=%d&ALLOWCFG=%d&SCANMEMORY=%d&SCANBOOT=%d&SCANCOMPRESSED=%d"
                    "&COMPRESSEDLAYER=%d&SCANALLFILES=%d&EXTLIST=%s&SCANREMOVEABLE=%d&SCANFIXEDDISK=%d"
                    "&SCANCDROM=%d&FREQUENCY=%d&HOUR=%d&MINUTE=%d&AMPM=%d&DAYOFMONTH=%d&DAYOFWEEK=%d"
                    "&VIRUSFOUNDACTION=%d&BKUPIFCLEAN=%d&MOVEDIR=%s&CLEANFAILEDACTION=%d&CLEANFAILEDMOVEDIR=%s",
                    pszCgiPath, pszGUID, m_fEnable != FALSE, m_fAllowCfg != FALSE, m_fScanMemory != FALSE,
                    m_fScanBoot != FALSE, m_fScanCompressed != FALSE, m_nCompressedLayer, m_fScanAllFiles != FALSE,
                    (LPCSTR)GetNormalizedExtList(), m_fScanRemovable != FALSE, m_fScanFixedDisk != FALSE,
                    m_fScanCDRom != FALSE, GetFrequencyCode(), m_nHour, m_nMinute, m_nAmPm == 1 ? 1 : 2,
                    m_nDayOfMonth, m_nDayOfWeek, m_nVirusFoundAction, m_fBkUpIfClean != FALSE,
                    (LPCSTR)urlEncodeUtf8(m_strMoveDir), m_nCleanFailedAction,
                    (LPCSTR)urlEncodeUtf8(m_strCleanFailedMoveDir));
    return AppendQuerySuffix(strQuery, pszRelease);
}

CString CScheduleScanINI::GetTitle()
{
    return LoadText(IDS_TITLE_SCHEDULE);
}

CCommonScanINI* CScheduleScanINI::Clone() const
{
    return new CScheduleScanINI(*this);
}

int CScheduleScanINI::GetHour24() const
{
    if (m_nAmPm == 1)
        return m_nHour == 12 ? 0 : m_nHour;
    return m_nHour == 12 ? 12 : m_nHour + 12;
}

int CScheduleScanINI::GetFrequencyCode() const
{
    return (m_nFrequency >= SCHEDULE_MONTHLY && m_nFrequency <= SCHEDULE_DAILY) ? m_nFrequency : 0;
}

int CScheduleScanINI::GetFrequencyIndex() const
{
    switch (m_nFrequency)
    {
    case SCHEDULE_MONTHLY: return 3;
    case SCHEDULE_WEEKLY: return 2;
    case SCHEDULE_DAILY: return 1;
    default: return 0;
    }
}

CString CScheduleScanINI::GetFrequencyText() const
{
    switch (m_nFrequency)
    {
    case SCHEDULE_NONE: return LoadText(IDS_FREQUENCY_NONE);
    case SCHEDULE_MONTHLY: return LoadText(IDS_FREQUENCY_MONTHLY);
    case SCHEDULE_WEEKLY: return LoadText(IDS_FREQUENCY_WEEKLY);
    case SCHEDULE_DAILY: return LoadText(IDS_FREQUENCY_DAILY);
    default: return CString();
    }
}

CString CScheduleScanINI::GetDayOfWeekText() const
{
    if (m_nDayOfWeek == 0 || m_nDayOfWeek == 7)
        return LoadText(IDS_DAY_SUNDAY);
    if (m_nDayOfWeek >= 1 && m_nDayOfWeek <= 6)
        return LoadText(IDS_DAY_SUNDAY + m_nDayOfWeek);
    return CString();
}

CString CScheduleScanINI::GetDayOfMonthText() const
{
    CString str;
    str.Format("%d", m_nDayOfMonth);
    return str;
}

CString CScheduleScanINI::GetTimeText() const
{
    int nHour = GetHour24();
    CString strFormat, str;
    if (nHour < 12)
    {
        strFormat = LoadText(IDS_TIME_AM);
        if (!strFormat.IsEmpty())
            str.Format(strFormat, nHour == 0 ? 12 : nHour, m_nMinute);
    }
    else
    {
        strFormat = LoadText(IDS_TIME_PM);
        if (!strFormat.IsEmpty())
            str.Format(strFormat, nHour == 12 ? 12 : nHour - 12, m_nMinute);
    }
    return str;
}

BOOL CScheduleScanINI::IsScheduledTime(CTime now) const
{
    struct tm t;
    if (now.GetLocalTm(&t) == NULL)
        return FALSE;
    BOOL fTime = t.tm_hour == GetHour24() && t.tm_min == m_nMinute;
    switch (m_nFrequency)
    {
    case SCHEDULE_DAILY: return fTime;
    case SCHEDULE_WEEKLY: return fTime && t.tm_wday + 1 == DayOfWeekToCTime(m_nDayOfWeek);
    case SCHEDULE_MONTHLY: return fTime && t.tm_mday == m_nDayOfMonth;
    default: return FALSE;
    }
}

BOOL CScheduleScanINI::IsScheduleMissed(CTime last, CTime now) const
{
    struct tm tLast, tNow;
    if (last.GetLocalTm(&tLast) == NULL || now.GetLocalTm(&tNow) == NULL)
        return FALSE;
    int nDayLast, nDayNow, nDaySchedule;
    switch (m_nFrequency)
    {
    case SCHEDULE_DAILY:
        nDayLast = nDayNow = nDaySchedule = 0;
        break;
    case SCHEDULE_WEEKLY:
        nDayLast = tLast.tm_wday + 1;
        nDayNow = tNow.tm_wday + 1;
        nDaySchedule = DayOfWeekToCTime(m_nDayOfWeek);
        break;
    case SCHEDULE_MONTHLY:
        nDayLast = tLast.tm_mday;
        nDayNow = tNow.tm_mday;
        nDaySchedule = m_nDayOfMonth;
        break;
    default:
        return FALSE;
    }
    int nLast = (nDayLast * 24 + tLast.tm_hour) * 60 + tLast.tm_min;
    int nNow = (nDayNow * 24 + tNow.tm_hour) * 60 + tNow.tm_min;
    int nSchedule = (nDaySchedule * 24 + GetHour24()) * 60 + m_nMinute;
    return nLast <= nSchedule && nSchedule <= nNow;
}

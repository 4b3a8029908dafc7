// The scheduled scan's settings: the schedule's INI, registry and query forms, its texts,
// and the due tests over days, weeks, months and the hour boundary.
#include <gtest/gtest.h>

#include "ScheduleScan.h"
#include "langstrings.h"
#include "VglTestSupport.h"

#include <map>
#include <memory>
#include <stdio.h>
#include <string>

namespace {

const char* const kKeyPath = "Software\\VglTest\\Schedule";

void DeleteTestKey()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VglTest\\Schedule\\Prescheduled Scan Configuration");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VglTest\\Schedule");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VglTest");
}

std::string IniValue(const std::string& ini, const char* pszKey)
{
    char sz[260] = "";
    GetPrivateProfileStringA("Prescheduled Scan Configuration", pszKey, "<none>", sz, sizeof sz, ini.c_str());
    return sz;
}

// Day names of a client in one language: 160 Sunday, 161..166 Monday..Saturday.
std::map<UINT, std::string> Texts()
{
    return {{156, "Scheduled Scan"}, {157, "Daily"},    {158, "Weekly"},   {159, "Monthly"},
            {160, "Sunday"},         {161, "Monday"},   {162, "Tuesday"},  {163, "Wednesday"},
            {164, "Thursday"},       {165, "Friday"},   {166, "Saturday"}, {167, "%d:%02d PM"},
            {168, "%d:%02d AM"},     {270, "None"}};
}

CScheduleScanINI Schedule(int nFrequency, int nHour, int nMinute, int nAmPm, int nDayOfWeek = 7, int nDayOfMonth = 1)
{
    CScheduleScanINI s;
    s.m_nFrequency = nFrequency;
    s.m_nHour = nHour;
    s.m_nMinute = nMinute;
    s.m_nAmPm = nAmPm;
    s.m_nDayOfWeek = nDayOfWeek;
    s.m_nDayOfMonth = nDayOfMonth;
    return s;
}

// 6 December 2026 is a Sunday.
CTime Dec(int nDay, int nHour, int nMinute, int nSecond = 0) { return CTime(2026, 12, nDay, nHour, nMinute, nSecond); }

TEST(ScheduleScan, DefaultsHoursAndDayNumbering)
{
    CScheduleScanINI s;
    EXPECT_EQ(3, s.m_nFrequency);
    EXPECT_EQ(23, s.GetHour24());
    EXPECT_STREQ("Prescheduled Scan Configuration", s.GetSection());
    EXPECT_TRUE(s.m_fScanRemovable && s.m_fScanFixedDisk && s.m_fScanCDRom);
    EXPECT_FALSE(s.m_fSomeDrives);

    struct { int hour, ampm, h24; } hours[] = {{12, 1, 0}, {12, 2, 12}, {1, 1, 1}, {11, 1, 11}, {1, 2, 13}, {11, 2, 23}, {5, 0, 17}};
    for (auto c : hours)
        EXPECT_EQ(c.h24, Schedule(3, c.hour, 0, c.ampm).GetHour24()) << c.hour << " " << c.ampm;

    int toCTime[] = {1, 2, 3, 4, 5, 6, 7, 1, 1};   // setting 0..8
    int fromCTime[] = {6, 7, 1, 2, 3, 4, 5, 6, 6};  // calendar 0..8
    for (int i = 0; i <= 8; ++i)
    {
        EXPECT_EQ(toCTime[i], DayOfWeekToCTime(i)) << i;
        EXPECT_EQ(fromCTime[i], CTimeToDayOfWeek(i)) << i;
    }
    EXPECT_EQ(1, DayOfWeekToCTime(7));
    EXPECT_EQ(7, CTimeToDayOfWeek(Dec(6, 12, 0).GetDayOfWeek()));

    struct { int freq, code, index; } codes[] = {{0, 0, 0}, {1, 1, 3}, {2, 2, 2}, {3, 3, 1}, {4, 0, 0}, {-1, 0, 0}};
    for (auto c : codes)
    {
        CScheduleScanINI f = Schedule(c.freq, 1, 0, 1);
        EXPECT_EQ(c.code, f.GetFrequencyCode()) << c.freq;
        EXPECT_EQ(c.index, f.GetFrequencyIndex()) << c.freq;
    }

    CScheduleScanINI copy(Schedule(2, 4, 5, 1, 3, 9));
    std::unique_ptr<CCommonScanINI> clone(copy.Clone());
    CScheduleScanINI* p = dynamic_cast<CScheduleScanINI*>(clone.get());
    ASSERT_TRUE(p);
    EXPECT_EQ(4 * 100 + 5, p->GetHour24() * 100 + p->m_nMinute);
    EXPECT_EQ(3, p->m_nDayOfWeek);
    EXPECT_EQ(9, p->m_nDayOfMonth);
}

TEST(ScheduleScan, IniFormParsesWordsNumbersAndRanges)
{
    CTestStrings strings("schedule_strings.dll", Texts());
    ASSERT_TRUE(strings.IsLoaded());
    std::string ini = ScratchFile("schedule_read.ini");
    struct Case
    {
        const char *freq, *ampm, *dow, *dom, *hour, *minute;
        int nFreq, nAmPm, nDow, nDom, nHour, nMinute;
    } cases[] = {
        {NULL, NULL, NULL, NULL, NULL, NULL, 1, 1, 7, 1, 12, 0},  // nothing written: the defaults
        {"daily", "am", "monday", "31", "12", "59", 3, 1, 1, 31, 12, 59},
        {"3", "1", "3", "15", "1", "0", 3, 1, 3, 15, 1, 0},
        {"WEEKLY", "PM", "Saturday", "0", "13", "60", 2, 2, 6, 1, 1, 0},
        {"2", "2", "0", "32", "0", "-1", 2, 2, 7, 1, 1, 0},
        {"Monthly", "x", "Lundi", "7", "7", "30", 1, 2, 7, 7, 7, 30},
        {"1", "", "7", "abc", "5x", "15", 1, 2, 7, 1, 5, 15},
        {"NoAction", "AM", "sunday", "2", "11", "5", 0, 1, 7, 2, 11, 5},
        {"4", "AM", "8", "2", "11", "5", 0, 1, 7, 2, 11, 5},
    };
    for (const Case& c : cases)
    {
        DeleteFileA(ini.c_str());
        const char* s = "Prescheduled Scan Configuration";
        WritePrivateProfileStringA(s, "Enable", "NO", ini.c_str());
        WritePrivateProfileStringA(s, "Frequency", c.freq, ini.c_str());
        WritePrivateProfileStringA(s, "AmPm", c.ampm, ini.c_str());
        WritePrivateProfileStringA(s, "DayOfWeek", c.dow, ini.c_str());
        WritePrivateProfileStringA(s, "DayOfMonth", c.dom, ini.c_str());
        WritePrivateProfileStringA(s, "Hour", c.hour, ini.c_str());
        WritePrivateProfileStringA(s, "Minute", c.minute, ini.c_str());
        CScheduleScanINI r;
        r.m_fSomeDrives = TRUE;
        r.m_fScanCDRom = FALSE;
        r.ReadIniFile(ini.c_str());
        std::string label = std::string(c.freq ? c.freq : "-") + "/" + (c.dow ? c.dow : "-");
        EXPECT_EQ(c.nFreq, r.m_nFrequency) << label;
        EXPECT_EQ(c.nAmPm, r.m_nAmPm) << label;
        EXPECT_EQ(c.nDow, r.m_nDayOfWeek) << label;
        EXPECT_EQ(c.nDom, r.m_nDayOfMonth) << label;
        EXPECT_EQ(c.nHour, r.m_nHour) << label;
        EXPECT_EQ(c.nMinute, r.m_nMinute) << label;
        EXPECT_FALSE(r.m_fEnable) << label;  // the common keys are read too
        EXPECT_FALSE(r.m_fSomeDrives) << label;
        EXPECT_TRUE(r.m_fScanCDRom) << label;
    }
    DeleteFileA(ini.c_str());
}

TEST(ScheduleScan, IniWriteCarriesTheDayNameAndReadsBack)
{
    CTestStrings strings("schedule_write.dll", Texts());
    ASSERT_TRUE(strings.IsLoaded());
    std::string ini = ScratchFile("schedule_write.ini");
    struct { int freq; const char* word; int dow; const char* name; } cases[] = {
        {1, "Monthly", 1, "Monday"}, {2, "Weekly", 6, "Saturday"}, {3, "Daily", 7, "Sunday"},
        {0, "NoAction", 0, "Sunday"}, {9, "NoAction", 8, ""}};
    for (auto c : cases)
    {
        DeleteFileA(ini.c_str());
        CScheduleScanINI w = Schedule(c.freq, 12, 7, 2, c.dow, 31);
        w.m_fSomeDrives = TRUE;
        w.m_fScanCDRom = FALSE;
        w.WriteIniFile(ini.c_str());
        EXPECT_EQ(c.word, IniValue(ini, "Frequency"));
        EXPECT_EQ(c.name, IniValue(ini, "DayOfWeek"));
        EXPECT_EQ("31", IniValue(ini, "DayOfMonth"));
        EXPECT_EQ("12", IniValue(ini, "Hour"));
        EXPECT_EQ("7", IniValue(ini, "Minute"));
        EXPECT_EQ("PM", IniValue(ini, "AmPm"));
        EXPECT_EQ("ScanSomeDrive", IniValue(ini, "Level"));
        EXPECT_EQ("YES", IniValue(ini, "ScanRemovable"));
        EXPECT_EQ("NO", IniValue(ini, "ScanCDRom"));
        EXPECT_EQ("Clean", IniValue(ini, "VirusFoundAction"));  // the common keys come first

        CScheduleScanINI r = Schedule(3, 1, 1, 1, 3, 3);
        r.ReadIniFile(ini.c_str());
        EXPECT_EQ(c.freq >= 1 && c.freq <= 3 ? c.freq : 0, r.m_nFrequency);
        EXPECT_EQ(c.dow >= 1 && c.dow <= 6 ? c.dow : 7, r.m_nDayOfWeek);
        EXPECT_EQ(12 * 100 + 7, r.GetHour24() * 100 + r.m_nMinute);
    }
    DeleteFileA(ini.c_str());
}

TEST(ScheduleScan, RegistryFormKeepsMissingValuesAndResetsTheDriveScope)
{
    DeleteTestKey();
    CScheduleScanINI w = Schedule(1, 12, 45, 1, 5, 20);
    w.m_fScanRemovable = FALSE;
    w.m_fSomeDrives = TRUE;
    w.WriteRegistry(kKeyPath, HKEY_CURRENT_USER);

    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VglTest\\Schedule\\Prescheduled Scan Configuration",
                                           0, KEY_ALL_ACCESS, &hKey));
    DWORD dwType, dw, cb = sizeof dw;
    EXPECT_NE(ERROR_SUCCESS, RegQueryValueExA(hKey, "Level", NULL, &dwType, (BYTE*)&dw, &cb));  // not written
    struct { const char* name; DWORD value; } values[] = {{"Frequency", 1}, {"DayOfWeek", 5}, {"DayOfMonth", 20},
        {"Hour", 12}, {"Minute", 45}, {"AmPm", 1}, {"ScanRemovable", 0}, {"ScanFixedDisk", 1}, {"ScanCDRom", 1}};
    for (auto v : values)
    {
        cb = sizeof dw;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, v.name, NULL, &dwType, (BYTE*)&dw, &cb)) << v.name;
        EXPECT_EQ((DWORD)REG_DWORD, dwType) << v.name;
        EXPECT_EQ(v.value, dw) << v.name;
    }

    CScheduleScanINI r;
    r.m_fSomeDrives = TRUE;
    r.ReadRegistry(kKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ(1, r.m_nFrequency);
    EXPECT_EQ(0, r.GetHour24());
    EXPECT_EQ(45, r.m_nMinute);
    EXPECT_EQ(5, r.m_nDayOfWeek);
    EXPECT_EQ(20, r.m_nDayOfMonth);
    EXPECT_FALSE(r.m_fScanRemovable);
    EXPECT_TRUE(r.m_fScanFixedDisk);
    EXPECT_FALSE(r.m_fSomeDrives);

    // Out-of-range values are corrected; absent ones keep the member (or read FALSE for drives).
    dw = 60;
    RegSetValueExA(hKey, "Minute", 0, REG_DWORD, (BYTE*)&dw, sizeof dw);
    dw = 13;
    RegSetValueExA(hKey, "Hour", 0, REG_DWORD, (BYTE*)&dw, sizeof dw);
    dw = 1;
    RegSetValueExA(hKey, "Level", 0, REG_DWORD, (BYTE*)&dw, sizeof dw);
    for (const char* name : {"Frequency", "DayOfWeek", "DayOfMonth", "AmPm", "ScanCDRom"})
        RegDeleteValueA(hKey, name);
    RegCloseKey(hKey);
    CScheduleScanINI k = Schedule(2, 3, 3, 2, 2, 0);
    k.ReadRegistry(kKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ(2, k.m_nFrequency);
    EXPECT_EQ(2, k.m_nDayOfWeek);
    EXPECT_EQ(1, k.m_nDayOfMonth);
    EXPECT_EQ(1, k.m_nHour);
    EXPECT_EQ(0, k.m_nMinute);
    EXPECT_EQ(2, k.m_nAmPm);
    EXPECT_TRUE(k.m_fSomeDrives);
    EXPECT_FALSE(k.m_fScanCDRom);

    // A missing key changes nothing.
    DeleteTestKey();
    CScheduleScanINI n = Schedule(2, 3, 3, 2, 2, 9);
    n.m_fSomeDrives = TRUE;
    n.ReadRegistry(kKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ(2, n.m_nFrequency);
    EXPECT_EQ(9, n.m_nDayOfMonth);
    EXPECT_TRUE(n.m_fSomeDrives);
    EXPECT_TRUE(n.m_fEnable);
}

TEST(ScheduleScan, QueryCarriesTheSchedule)
{
    CScheduleScanINI s = Schedule(2, 9, 5, 1, 6, 14);
    s.m_fScanCDRom = FALSE;
    s.m_strExtList = ".exe,.com";
    s.m_fScanAllFiles = FALSE;
    s.m_strMoveDir = "C:\\Q Dir";
    EXPECT_STREQ("/cgi/ps.exe?UID=G&ENABLE=1&ALLOWCFG=1&SCANMEMORY=1&SCANBOOT=1&SCANCOMPRESSED=1&COMPRESSEDLAYER=20"
                 "&SCANALLFILES=0&EXTLIST=.exe,.com&SCANREMOVEABLE=1&SCANFIXEDDISK=1&SCANCDROM=0&FREQUENCY=2"
                 "&HOUR=9&MINUTE=5&AMPM=1&DAYOFMONTH=14&DAYOFWEEK=6&VIRUSFOUNDACTION=5&BKUPIFCLEAN=1"
                 "&MOVEDIR=C%3a%5cQ%20Dir&CLEANFAILEDACTION=1&CLEANFAILEDMOVEDIR=&RELEASE=5.1"
                 "&IntelliScan=0&ActiveAction=0",
                 s.BuildCgiQuery("/cgi/ps.exe", "G", "5.1"));
    s.m_nFrequency = 7;
    s.m_nAmPm = 0;
    std::string q = (LPCSTR)s.BuildCgiQuery("/cgi/ps.exe", "G", NULL);
    EXPECT_NE(std::string::npos, q.find("&FREQUENCY=0&HOUR=9&MINUTE=5&AMPM=2&"));
    EXPECT_EQ(std::string::npos, q.find("RELEASE"));
}

TEST(ScheduleScan, DisplayTexts)
{
    CTestStrings strings("schedule_texts.dll", Texts());
    ASSERT_TRUE(strings.IsLoaded());
    struct { int freq; const char* text; } freqs[] = {{0, "None"}, {1, "Monthly"}, {2, "Weekly"}, {3, "Daily"}, {4, ""}};
    for (auto c : freqs)
        EXPECT_STREQ(c.text, Schedule(c.freq, 1, 0, 1).GetFrequencyText()) << c.freq;
    struct { int hour, minute, ampm; const char* text; } times[] = {
        {12, 0, 1, "12:00 AM"}, {1, 5, 1, "1:05 AM"}, {11, 59, 1, "11:59 AM"},
        {12, 30, 2, "12:30 PM"}, {1, 0, 2, "1:00 PM"}, {11, 0, 2, "11:00 PM"}};
    for (auto c : times)
        EXPECT_STREQ(c.text, Schedule(3, c.hour, c.minute, c.ampm).GetTimeText()) << c.text;
    EXPECT_STREQ("Wednesday", Schedule(2, 1, 0, 1, 3).GetDayOfWeekText());
    EXPECT_STREQ("17", Schedule(1, 1, 0, 1, 3, 17).GetDayOfMonthText());
    CScheduleScanINI s;
    EXPECT_STREQ("Scheduled Scan", s.GetTitle());
}

TEST(ScheduleScan, DueAndMissedSchedules)
{
    struct Due { CScheduleScanINI s; CTime now; bool due; const char* what; } due[] = {
        {Schedule(3, 10, 30, 1), Dec(9, 10, 30, 59), true, "daily, any second of the minute"},
        {Schedule(3, 10, 30, 1), Dec(9, 10, 31), false, "daily, a minute late"},
        {Schedule(3, 10, 30, 1), Dec(9, 22, 30), false, "daily, PM instead of AM"},
        {Schedule(3, 12, 0, 1), Dec(9, 0, 0), true, "daily at midnight"},
        {Schedule(3, 12, 0, 2), Dec(9, 12, 0), true, "daily at noon"},
        {Schedule(3, 11, 0, 2), Dec(9, 23, 0), true, "daily at 11 PM"},
        {Schedule(2, 9, 0, 1, 7), Dec(6, 9, 0), true, "weekly on Sunday"},
        {Schedule(2, 9, 0, 1, 7), Dec(7, 9, 0), false, "weekly, Monday is not Sunday"},
        {Schedule(2, 9, 0, 1, 1), Dec(7, 9, 0), true, "weekly on Monday"},
        {Schedule(2, 9, 0, 1, 6), Dec(5, 9, 0), true, "weekly on Saturday"},
        {Schedule(1, 9, 0, 1, 7, 15), Dec(15, 9, 0), true, "monthly on the 15th"},
        {Schedule(1, 9, 0, 1, 7, 15), Dec(14, 9, 0), false, "monthly, the 14th"},
        {Schedule(1, 9, 0, 1, 7, 31), CTime(2026, 11, 30, 9, 0, 0), false, "the 31st in a 30-day month"},
        {Schedule(0, 9, 0, 1), Dec(9, 9, 0), false, "no schedule"},
        {Schedule(5, 9, 0, 1), Dec(9, 9, 0), false, "unknown frequency"},
    };
    for (const Due& c : due)
        EXPECT_EQ(c.due, c.s.IsScheduledTime(c.now) != FALSE) << c.what;

    struct Missed { CScheduleScanINI s; CTime last, now; bool missed; const char* what; } missed[] = {
        {Schedule(3, 10, 30, 1), Dec(9, 10, 29), Dec(9, 10, 31), true, "daily, passed between"},
        {Schedule(3, 10, 30, 1), Dec(9, 10, 31), Dec(9, 10, 40), false, "daily, already past"},
        {Schedule(3, 10, 30, 1), Dec(9, 10, 30), Dec(9, 10, 30), true, "daily, both ends included"},
        {Schedule(3, 10, 30, 1), Dec(8, 11, 0), Dec(9, 9, 0), false, "daily, across midnight without wrap"},
        {Schedule(3, 11, 0, 2), Dec(9, 22, 59), Dec(9, 23, 0), true, "hour boundary, up to the hour"},
        {Schedule(3, 11, 0, 2), Dec(9, 23, 1), Dec(9, 23, 59), false, "hour boundary, after the hour"},
        {Schedule(3, 12, 0, 1), Dec(8, 23, 59), Dec(9, 0, 1), false, "midnight schedule is not wrapped to"},
        {Schedule(2, 9, 0, 1, 3), Dec(8, 8, 0), Dec(10, 8, 0), true, "weekly Wednesday, Tuesday to Thursday"},
        {Schedule(2, 9, 0, 1, 3), Dec(9, 9, 1), Dec(10, 8, 0), false, "weekly, already past"},
        {Schedule(2, 9, 0, 1, 7), Dec(5, 9, 0), Dec(7, 9, 0), false, "weekly Sunday, Saturday to Monday"},
        {Schedule(1, 10, 0, 1, 7, 15), Dec(15, 9, 0), Dec(15, 11, 0), true, "monthly 15th"},
        {Schedule(1, 10, 0, 1, 7, 15), CTime(2026, 11, 15, 9, 0, 0), CTime(2026, 11, 15, 11, 0, 0), true,
         "monthly 15th, any month"},
        {Schedule(1, 10, 0, 1, 7, 15), Dec(1, 0, 0), Dec(14, 23, 59), false, "monthly, not yet"},
        {Schedule(0, 10, 0, 1), Dec(1, 0, 0), Dec(31, 23, 59), false, "no schedule"},
    };
    for (const Missed& c : missed)
        EXPECT_EQ(c.missed, c.s.IsScheduleMissed(c.last, c.now) != FALSE) << c.what;
}

}  // namespace

// The virus log: record texts and queries, the daily file format, and the store's
// positions, loads, purges and saves.
#include <gtest/gtest.h>

#include "GoldenBytes.h"
#include "IOTLib.h"
#include "LogReport.h"
#include "VglTestSupport.h"
#include "langstrings.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// The names of the files of the folder that match, sorted.
std::vector<std::string> FilesIn(const std::string& folder, const char* pszPattern = "*")
{
    std::vector<std::string> v;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\" + pszPattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return v;
    do
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            v.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(v.begin(), v.end());
    return v;
}

// The archive layout, written out by hand.
void Put16(std::string& s, unsigned v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string& s, unsigned v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
void PutText(std::string& s, const std::string& t)
{
    if (t.size() < 255)
        s.push_back(char(t.size()));
    else
    {
        s.push_back(char(0xFF));
        Put16(s, unsigned(t.size()));
    }
    s += t;
}
std::string Body(const CLogReportItem& r)
{
    std::string s;
    for (int v : {r.m_nEventKind, r.m_nFirstAction, r.m_nSecondAction, r.m_nFirstStatus, r.m_nSecondStatus})
        Put32(s, unsigned(v));
    Put32(s, unsigned(r.m_time.GetTime()));
    for (const CString* p : {&r.m_strPath, &r.m_strVirus, &r.m_strLogin, &r.m_strCompressedFile})
        PutText(s, std::string(*p, p->GetLength()));
    return s;
}
std::string ClassTag(unsigned schema = 1, const std::string& name = "CLogReportItem")
{
    std::string s;
    Put16(s, 0xFFFF);
    Put16(s, schema);
    Put16(s, unsigned(name.size()));
    return s + name;
}

CLogReportItem Item(int y, int m, int d, int h, const char* pszPath, const char* pszVirus = "EICAR-Test-File")
{
    CLogReportItem item(LOG_EVENT_MANUAL, CTime(y, m, d, h, 0, 0), pszPath, pszVirus, LOG_ACTION_CLEAN, 1, 1, 0);
    item.m_strLogin = "PC1\\USER1";
    return item;
}

std::vector<std::string> Paths(const CLogReportArray* pDay)
{
    std::vector<std::string> v;
    for (int i = 0; pDay && i < pDay->GetSize(); ++i)
        v.push_back((LPCSTR)pDay->GetItem(i)->m_strPath);
    return v;
}

// A scratch folder of its own for each test.
class LogFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int s_n = 0;
        char name[64];
        sprintf(name, "\\vlog%lu_%d", GetCurrentProcessId(), ++s_n);
        m_dir = CurrentFolder() + name;
        CreateDirectoryA(m_dir.c_str(), NULL);
        Clear();
    }
    void TearDown() override
    {
        Clear();
        RemoveDirectoryA(m_dir.c_str());
    }
    // Process ids come round again under Wine: a folder may hold an earlier run's files.
    void Clear()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(File("*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do
        {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(File(fd.cFileName).c_str());
            else
                DeleteFileA(File(fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::string File(const char* pszName) const { return m_dir + "\\" + pszName; }
    void SaveDay(const char* pszName, const std::vector<CLogReportItem>& items)
    {
        CLogReportArray day;
        for (const CLogReportItem& i : items)
            day.AddCopy(i);
        day.SaveToFile(File(pszName).c_str());
    }
    std::vector<std::string> Files() const { return FilesIn(m_dir, "*.log"); }
    std::string m_dir;
};

TEST(LogReportItem, ActionCodesAndEventRecords)
{
    struct { int engine, log; } actions[] = {{4, 2}, {1, 3}, {2, 4}, {3, 5}, {0, 1}, {99, 1}, {5, 1}, {-1, 1}};
    for (auto c : actions)
        EXPECT_EQ(c.log, engineActionToLogAction(c.engine)) << c.engine;

    char szFile[] = "C:\\DATA\\PACK.ZIP", szVirus[] = "EICAR-Test-File", szMember[] = "inner\\a.com";
    IOT_EVENT ev = {};
    ev.nKind = IOT_EVENT_VIRUS;
    ev.pszFile = szFile;
    ev.pszVirus = szVirus;
    ev.apszLayers[0] = szMember;
    ev.nFirstAction = IOT_ACTION_CLEAN;
    ev.nFirstResult = 0;
    ev.nSecondAction = IOT_ACTION_DELETE;
    ev.nSecondResult = 7;

    // Kind: manual wins, then real-time, then scheduled; anything else is remote.
    struct { BOOL m, r, s, x; int kind; } kinds[] = {
        {1, 1, 1, 1, 1}, {0, 1, 1, 0, 2}, {0, 0, 1, 0, 3}, {0, 0, 0, 1, 4}, {0, 0, 0, 0, 4}};
    for (auto k : kinds)
    {
        ev.nLayerCount = 0;
        EXPECT_EQ(k.kind, CLogReportItem(&ev, k.m, k.r, k.s, k.x).m_nEventKind);
    }

    CTime before = CTime::GetCurrentTime();
    ev.nLayerCount = 1;
    CLogReportItem zipped(&ev, TRUE, FALSE, FALSE, FALSE);
    EXPECT_EQ(5, zipped.m_nFirstAction);
    EXPECT_EQ(0, zipped.m_nFirstStatus);
    EXPECT_EQ(2, zipped.m_nSecondAction);
    EXPECT_EQ(7, zipped.m_nSecondStatus);
    EXPECT_STREQ("inner\\a.com", zipped.m_strPath);
    EXPECT_STREQ("C:\\DATA\\PACK.ZIP", zipped.m_strCompressedFile);
    EXPECT_STREQ("EICAR-Test-File", zipped.m_strVirus);
    EXPECT_GE(zipped.m_time, before);

    char szUser[128] = "";
    DWORD cb = sizeof szUser;
    GetUserNameA(szUser, &cb);
    EXPECT_STREQ(szUser, zipped.m_strLogin);

    // The marker -1 is treated as a plain file.
    ev.nLayerCount = -1;
    CLogReportItem marked(&ev, TRUE, FALSE, FALSE, FALSE);
    EXPECT_STREQ("C:\\DATA\\PACK.ZIP", marked.m_strPath);
    EXPECT_STREQ("", marked.m_strCompressedFile);

    CLogReportItem blank;
    for (int v : {blank.m_nEventKind, blank.m_nFirstAction, blank.m_nSecondAction, blank.m_nFirstStatus,
                  blank.m_nSecondStatus})
        EXPECT_EQ(1, v);
}

TEST(LogReportItem, TextsAndQuery)
{
    CLogReportItem item(LOG_EVENT_REALTIME, CTime(2026, 3, 7, 8, 5, 9), "C:\\My Files\\a b.com", "Vgl.Test",
                        LOG_ACTION_CLEAN, 0, LOG_ACTION_MOVE, 1);
    item.m_strLogin = "PC1\\USER1";
    EXPECT_STREQ("2026/3/7 08:05:09", item.GetDateTimeText());
    EXPECT_STREQ("20260307", item.GetDateText());
    EXPECT_STREQ("080509", item.GetTimeText());
    EXPECT_STREQ("a b.com", item.GetFileName());
    EXPECT_STREQ("C:\\My Files\\", item.GetDirectory());

    EXPECT_STREQ("/Vigilon/Cgi/cgiLog.exe?UID=G1&DATE=20260307&TIME=080509&EVENT=2&LOGIN=PC1%5cUSER1"
                 "&VIRUS=Vgl%2eTest&FILE=a%20b%2ecom&COMPRESSEDFILE=&DIRECTORY=C%3a%5cMy%20Files%5c"
                 "&FIRSTACTION=5&FIRSTSTATUS=-1&SECONDACTION=4&SECONDSTATUS=1&RELEASE=5.0",
                 item.BuildCgiQuery("/Vigilon/Cgi/cgiLog.exe", "G1", TRUE, "5.0"));
    EXPECT_STREQ("log?UID=G1&DATE=20260307&TIME=080509&EVENT=2&LOGIN=PC1\\USER1&VIRUS=Vgl.Test"
                 "&FILE=a b.com&COMPRESSEDFILE=&DIRECTORY=C:\\My Files\\"
                 "&FIRSTACTION=5&FIRSTSTATUS=-1&SECONDACTION=4&SECONDSTATUS=1",
                 item.BuildCgiQuery("log", "G1", FALSE, NULL));

    // The second action is reported only after a failed clean.
    struct { int a1, s1, a2, s2; const char* tail; } cases[] = {
        {5, 0, 4, 0, "FIRSTACTION=5&FIRSTSTATUS=-1&SECONDACTION=4&SECONDSTATUS=-1"},
        {5, 1, 4, 1, "FIRSTACTION=5&FIRSTSTATUS=1&SECONDACTION=0&SECONDSTATUS=0"},
        {2, 0, 4, 1, "FIRSTACTION=2&FIRSTSTATUS=-1&SECONDACTION=0&SECONDSTATUS=0"},
        {3, 9, 3, 0, "FIRSTACTION=3&FIRSTSTATUS=1&SECONDACTION=0&SECONDSTATUS=0"},
    };
    for (auto c : cases)
    {
        item.m_nFirstAction = c.a1;
        item.m_nFirstStatus = c.s1;
        item.m_nSecondAction = c.a2;
        item.m_nSecondStatus = c.s2;
        std::string q = (LPCSTR)item.BuildCgiQuery("log", "G1", FALSE, NULL);
        EXPECT_EQ(c.tail, q.substr(q.find("FIRSTACTION"))) << c.a1 << c.s1;
    }

    // Long folders are shortened around "...".
    std::string folder = "C:\\";
    while (folder.size() < 290)
        folder += "folder\\";
    item.m_strPath = (folder + "virus.exe").c_str();
    std::string q = (LPCSTR)item.BuildCgiQuery("log", "G1", FALSE, NULL);
    size_t at = q.find("&DIRECTORY=") + 11;
    std::string dir = q.substr(at, q.find("&FIRSTACTION") - at);
    EXPECT_EQ(folder.substr(0, 254 / 3 + 1) + "..." + folder.substr(folder.size() - (2 * 254 / 3 - 1)), dir);
    EXPECT_NE(std::string::npos, q.find("&FILE=virus.exe&"));
}

TEST(LogReportItem, EventAndResultTexts)
{
    std::map<UINT, std::string> texts = {
        {228, "Manual scan"}, {229, "Scheduled scan"}, {230, "Real-time scan"}, {257, "Scan Now"},
        {231, "None"}, {232, "Delete"}, {233, "Rename"}, {234, "Move"}, {235, "Clean"}, {240, "Unable to "},
        {363, "Deleted"}, {364, "Renamed"}, {365, "Moved"}, {366, "Cleaned"}, {368, " the file"}};
    {
        CTestStrings strings("log_texts.dll", texts);
        ASSERT_TRUE(strings.IsLoaded());
        const char* kinds[] = {"", "Manual scan", "Real-time scan", "Scheduled scan", "Scan Now", ""};
        for (int k = 0; k <= 5; ++k)
        {
            CLogReportItem item;
            item.m_nEventKind = k;
            EXPECT_STREQ(kinds[k], item.GetEventKindText()) << k;
        }
        struct { int a1, s1, a2, s2; const char* text; } results[] = {
            {5, 0, 4, 1, "Unable to Clean the file (Moved)"},
            {5, 0, 2, 0, "Unable to Clean the file (Unable to Delete the file)"},
            {5, 1, 4, 0, "Cleaned"},
            {1, 1, 4, 0, "None"},
            {2, 1, 0, 0, "Deleted"},
            {3, 1, 0, 0, "Renamed"},
            {4, 7, 0, 0, "Moved"},
            {9, 1, 0, 0, "Cleaned"},
            {4, 0, 5, 0, "Unable to Move the file"},
            {9, 0, 5, 0, "Unable to Clean the file"},
        };
        for (auto c : results)
        {
            CLogReportItem item(LOG_EVENT_MANUAL, CTime(2026, 1, 1, 0, 0, 0), "a", "v", c.a1, c.s1, c.a2, c.s2);
            EXPECT_STREQ(c.text, item.GetResultText()) << c.text;
        }
    }
    texts[368] = "";        // an empty text does not load
    CTestStrings strings("log_texts_short.dll", texts);
    ASSERT_TRUE(strings.IsLoaded());
    EXPECT_STREQ("Unable to Delete", getActionResultText(2, 0));
}

TEST_F(LogFolder, DailyFileHasTheArchiveLayout)
{
    CLogReportItem first = Item(2026, 6, 1, 9, "C:\\A.COM");
    CLogReportItem second(LOG_EVENT_SCHEDULE, CTime(2026, 6, 1, 10, 30, 0), CString('x', 300), "Vgl.Test.Clean",
                          LOG_ACTION_CLEAN, 0, LOG_ACTION_RENAME, 1);
    second.m_strLogin = "";
    second.m_strCompressedFile = "C:\\P.ZIP";
    CLogReport store;
    ASSERT_TRUE(store.LoadFolder(m_dir.c_str()));
    store.AddItem(first, NULL, NULL);
    store.AddItem(second, NULL, NULL);
    ASSERT_TRUE(store.SaveFolder());
    const char* day = "2026_06_01.log";

    std::string expected;
    Put16(expected, 2);
    expected += ClassTag() + Body(first);
    Put16(expected, 0x8001);
    expected += Body(second);
    std::string actual = ReadWholeFile(File(day));
    ASSERT_EQ(expected.size(), actual.size());
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(std::string("\x02\x00\xFF\xFF\x01\x00\x0E\x00" "CLogReportItem", 22), actual.substr(0, 22));
    // Second action before first status.
    EXPECT_EQ(std::string("\x03\x00\x00\x00\x05\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00", 16),
              actual.substr(22 + Body(first).size() + 2, 16));

    CLogReportArray loaded;
    loaded.LoadFromFile(File(day).c_str());
    ASSERT_EQ(2, loaded.GetSize());
    const CLogReportItem* p = loaded.GetItem(1);
    EXPECT_EQ(3, p->m_nEventKind);
    EXPECT_EQ(5, p->m_nFirstAction);
    EXPECT_EQ(3, p->m_nSecondAction);
    EXPECT_EQ(0, p->m_nFirstStatus);
    EXPECT_EQ(1, p->m_nSecondStatus);
    EXPECT_EQ(second.m_time, p->m_time);
    EXPECT_EQ(300, p->m_strPath.GetLength());
    EXPECT_STREQ("Vgl.Test.Clean", p->m_strVirus);
    EXPECT_STREQ("C:\\P.ZIP", p->m_strCompressedFile);
    EXPECT_STREQ("PC1\\USER1", loaded.GetItem(0)->m_strLogin);
}

// Day files (the virus log and the unsent store) as either target writes and reads them:
// count | class tag, schema, name | record (event, actions and statuses as 32-bit values, the
// time as 32-bit seconds, four texts with a byte length) | class reference 0x8001 | record.
TEST_F(LogFolder, DayFileBytesAreTheSameOnBothTargets)
{
    CLogReportItem first(LOG_EVENT_REALTIME, CTime((time_t)0x6A3B2C1D), "C:\\A.COM", "EICAR", LOG_ACTION_CLEAN, 1,
                         LOG_ACTION_NONE, 0);
    first.m_strLogin = "PC1\\U";
    first.m_strCompressedFile = "";
    CLogReportItem second(LOG_EVENT_SCHEDULE, CTime((time_t)0x6A3B2C1E), "B", "V", LOG_ACTION_RENAME, 0,
                          LOG_ACTION_MOVE, 1);
    second.m_strLogin = "";
    second.m_strCompressedFile = "C:\\P.ZIP";
    const char* pszFirst = "02000000 05000000 01000000 01000000 00000000 | 1d2c3b6a |"
                           " 08 433a5c412e434f4d | 05 4549434152 | 05 5043315c55 | 00";
    const char* pszSecond = "03000000 03000000 04000000 00000000 01000000 | 1e2c3b6a | 01 42 | 01 56 | 00 |"
                            " 08 433a5c502e5a4950";
    const char* pszClass = "ffff 0100 0e00 434c6f675265706f72744974656d";
    struct { const char* pszWhat; std::vector<CLogReportItem> items; std::string golden; } cases[] = {
        { "one record", {first}, Unhex("0100") + Unhex(pszClass) + Unhex(pszFirst) },
        { "two records", {first, second}, Unhex("0200") + Unhex(pszClass) + Unhex(pszFirst) + Unhex("0180") +
                                              Unhex(pszSecond) },
    };
    for (const auto& c : cases)
    {
        SaveDay("golden.log", c.items);
        EXPECT_EQ(Hex(c.golden), Hex(ReadWholeFile(File("golden.log")))) << c.pszWhat;

        WriteWholeFile(File("golden.log"), c.golden);
        CLogReportArray day;
        day.LoadFromFile(File("golden.log").c_str());
        ASSERT_EQ((int)c.items.size(), day.GetSize()) << c.pszWhat;
        for (int i = 0; i < day.GetSize(); ++i)
        {
            const CLogReportItem& want = c.items[i];
            const CLogReportItem* p = day.GetItem(i);
            EXPECT_EQ(want.m_nEventKind, p->m_nEventKind) << c.pszWhat << i;
            EXPECT_EQ(want.m_nFirstAction, p->m_nFirstAction) << c.pszWhat << i;
            EXPECT_EQ(want.m_nSecondAction, p->m_nSecondAction) << c.pszWhat << i;
            EXPECT_EQ(want.m_nFirstStatus, p->m_nFirstStatus) << c.pszWhat << i;
            EXPECT_EQ(want.m_nSecondStatus, p->m_nSecondStatus) << c.pszWhat << i;
            EXPECT_EQ(want.m_time.GetTime(), p->m_time.GetTime()) << c.pszWhat << i;
            EXPECT_STREQ(want.m_strPath, p->m_strPath) << c.pszWhat << i;
            EXPECT_STREQ(want.m_strVirus, p->m_strVirus) << c.pszWhat << i;
            EXPECT_STREQ(want.m_strLogin, p->m_strLogin) << c.pszWhat << i;
            EXPECT_STREQ(want.m_strCompressedFile, p->m_strCompressedFile) << c.pszWhat << i;
        }
    }
}

TEST_F(LogFolder, DamagedFilesKeepWhatWasReadBeforeTheDamage)
{
    CLogReportItem a = Item(2026, 6, 1, 9, "C:\\A.COM"), b = Item(2026, 6, 1, 10, "C:\\B.COM");
    std::string good;
    Put16(good, 2);
    good += ClassTag() + Body(a);
    Put16(good, 0x8001);
    good += Body(b);

    std::string nullEntry;
    Put16(nullEntry, 3);
    nullEntry += ClassTag() + Body(a);
    Put16(nullEntry, 0);
    Put16(nullEntry, 0x8001);
    nullEntry += Body(b);

    struct { const char* name; std::string bytes; size_t count; } cases[] = {
        {"cut in the second record", good.substr(0, good.size() - 5), 1},
        {"cut in the count", good.substr(0, 1), 0},
        {"schema 2", [&] { std::string s; Put16(s, 1); return s + ClassTag(2) + Body(a); }(), 0},
        {"foreign class", [&] { std::string s; Put16(s, 1); return s + ClassTag(1, "CObArray") + Body(a); }(), 0},
        {"unknown class", [&] { std::string s; Put16(s, 1); return s + ClassTag(1, "CLogReportIten") + Body(a); }(), 0},
        {"null entry dropped", nullEntry, 2},
    };
    for (auto& c : cases)
    {
        WriteWholeFile(File("bad.log"), c.bytes);
        CLogReportArray day;
        day.AddCopy(b);  // replaced by the file's records
        day.LoadFromFile(File("bad.log").c_str());
        ASSERT_EQ(c.count, (size_t)day.GetSize()) << c.name;
        if (c.count)
        {
            EXPECT_STREQ("C:\\A.COM", day.GetItem(0)->m_strPath) << c.name;
        }
    }

    CLogReportArray day;
    EXPECT_THROW(
        {
            try { day.LoadFromFile(File("missing.log").c_str()); }
            catch (CFileException* e) { e->Delete(); throw 1; }
        },
        int);
}

TEST(LogReportStore, AddItemPositionsAndPendingPairs)
{
    CLogReport store;
    CLogItemPosArray pending;
    CCriticalSection lock;
    auto add = [&](const CLogReportItem& item) {
        SLogItemPos p = store.AddItem(item, &pending, &lock);
        pending.Add(p);
        return std::make_pair(p.nDay, p.nItem);
    };
    using P = std::pair<int, int>;
    EXPECT_EQ(P(0, 0), add(Item(2026, 6, 2, 9, "a")));
    EXPECT_EQ(P(0, 1), add(Item(2026, 6, 2, 23, "b")));
    EXPECT_EQ(P(0, 0), add(Item(2026, 6, 1, 12, "c")));  // earlier: a new head day
    EXPECT_EQ(P(1, 0), P(pending[0].nDay, pending[0].nItem));
    EXPECT_EQ(P(1, 1), P(pending[1].nDay, pending[1].nItem));
    EXPECT_EQ(P(0, 0), P(pending[2].nDay, pending[2].nItem));
    EXPECT_EQ(P(1, 0), add(Item(2026, 6, 3, 1, "d")));  // later: directly after the first day
    EXPECT_EQ(P(2, 2), add(Item(2026, 6, 2, 10, "e")));
    ASSERT_EQ(5, pending.GetSize());

    // Every pending pair still names the record it was given for.
    const char* names[] = {"a", "b", "c", "d", "e"};
    for (int i = 0; i < pending.GetSize(); ++i)
    {
        CLogReportItem* p = store.GetItem(pending[i].nDay, pending[i].nItem);
        ASSERT_TRUE(p);
        EXPECT_STREQ(names[i], p->m_strPath);
    }
    EXPECT_EQ(NULL, store.GetItem(3, 0));
    EXPECT_EQ(NULL, store.GetItem(0, 1));
    EXPECT_EQ(NULL, store.GetItem(-1, 0));
    EXPECT_EQ(NULL, store.GetDayArray(3));

    CLogItemPosArray all;
    all.Add(SLogItemPos{9, 9});
    store.GetAllItemIndexes(all);
    ASSERT_EQ(5, all.GetSize());
    EXPECT_EQ(P(2, 2), P(all[4].nDay, all[4].nItem));

    // Copies by range (both ends included) and by position.
    CLogReport range(store, CTime(2026, 6, 2, 9, 0, 0), CTime(2026, 6, 3, 1, 0, 0));
    EXPECT_EQ(2, range.GetDayCount());
    EXPECT_EQ((std::vector<std::string>{"a", "b", "e"}), Paths(range.GetDayArray(0)));
    CLogItemPosArray picks;
    picks.Add(SLogItemPos{2, 1});
    picks.Add(SLogItemPos{7, 0});
    picks.Add(SLogItemPos{0, 0});
    CLogReport picked(store, picks);
    EXPECT_EQ(2, picked.GetDayCount());
    EXPECT_EQ((std::vector<std::string>{"c"}), Paths(picked.GetDayArray(0)));
    EXPECT_EQ((std::vector<std::string>{"b"}), Paths(picked.GetDayArray(1)));
}

TEST_F(LogFolder, LoadMergesWithDaysHeldAndPurgesOutsideTheRange)
{
    CTime now = CTime::GetCurrentTime();
    CTime today(now.GetYear(), now.GetMonth(), now.GetDay(), 0, 0, 0);
    CTime yesterday = today - CTimeSpan(1, 0, 0, 0);
    CTime old = today - CTimeSpan(5, 0, 0, 0);
    auto name = [](const CTime& t) {
        char sz[32];
        sprintf(sz, "%04d_%02d_%02d.log", t.GetYear(), t.GetMonth(), t.GetDay());
        return std::string(sz);
    };
    auto at = [](const CTime& day, int h, const char* path) {
        return Item(day.GetYear(), day.GetMonth(), day.GetDay(), h, path);
    };
    SaveDay(name(today).c_str(), {at(today, 0, "t1"), at(today, 0, "t2")});
    SaveDay(name(yesterday).c_str(), {at(yesterday, 8, "y1")});
    SaveDay(name(old).c_str(), {at(old, 8, "o1")});
    SaveDay("other.log", {at(yesterday, 9, "x1")});
    WriteWholeFile(File("keep.txt"), "x");

    // A detection at start-up, before the log is loaded.
    CLogReport store;
    CLogItemPosArray pending;
    SLogItemPos p = store.AddItem(at(today, 0, "new"), &pending, NULL);
    store.LoadAndPurge(m_dir.c_str(), yesterday, now);

    ASSERT_EQ(2, store.GetDayCount());
    EXPECT_EQ((std::vector<std::string>{"new", "t1", "t2"}), Paths(store.GetDayArray(0)));
    EXPECT_EQ((std::vector<std::string>{"y1"}), Paths(store.GetDayArray(1)));
    EXPECT_STREQ("new", store.GetItem(p.nDay, p.nItem)->m_strPath);
    EXPECT_EQ((std::vector<std::string>{name(yesterday), name(today)}), Files());
    EXPECT_TRUE(FileExists(File("keep.txt")));

    CLogReportArray saved;
    saved.LoadFromFile(File(name(today).c_str()).c_str());
    EXPECT_EQ((std::vector<std::string>{"new", "t1", "t2"}), Paths(&saved));

    // A record added later reaches today's file on the next save.
    store.AddItem(at(today, 1, "later"), NULL, NULL);
    store.SaveRange(yesterday, now);
    saved.LoadFromFile(File(name(today).c_str()).c_str());
    EXPECT_EQ((std::vector<std::string>{"new", "t1", "t2", "later"}), Paths(&saved));
    EXPECT_STREQ(m_dir.c_str(), store.GetFolder());

    // Keeping no day before today removes yesterday's file; an empty range only purges.
    CLogReport second;
    second.LoadAndPurge(m_dir.c_str(), today, now);
    EXPECT_EQ((std::vector<std::string>{name(today)}), Files());
    CLogReport third;
    third.LoadAndPurge(m_dir.c_str(), now, today);
    EXPECT_EQ(0, third.GetDayCount());
    EXPECT_TRUE(Files().empty());
}

TEST_F(LogFolder, RangeLoadStepsByCalendarDate)
{
    // Days around the autumn clock change (a 25-hour day where the zone has one): each file
    // is read once. The C library reads a Unix zone name in TZ as a zone of its own: drop
    // it, so that the system's zone (from TZ=Europe/Berlin on the host, say) applies.
    if (getenv("TZ") && *getenv("TZ"))
    {
        _putenv("TZ=");
        _tzset();
    }
    if ((CTime(2026, 10, 26, 0, 0, 0) - CTime(2026, 10, 25, 0, 0, 0)).GetTotalSeconds() == 86400)
        printf("note: no clock change on 25 October 2026 in this zone\n");
    SaveDay("2026_10_24.log", {Item(2026, 10, 24, 12, "d24")});
    SaveDay("2026_10_25.log", {Item(2026, 10, 25, 12, "d25")});
    SaveDay("2026_10_26.log", {Item(2026, 10, 26, 12, "d26")});
    SaveDay("2026_10_27.log", {Item(2026, 10, 27, 12, "d27")});
    CLogReport store;
    store.LoadAndPurge(m_dir.c_str(), CTime(2026, 10, 24, 0, 0, 0), CTime(2026, 10, 26, 23, 0, 0));
    ASSERT_EQ(3, store.GetDayCount());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(1, store.GetDayArray(i)->GetSize()) << i;
    EXPECT_EQ((std::vector<std::string>{"2026_10_24.log", "2026_10_25.log", "2026_10_26.log"}), Files());
}

TEST_F(LogFolder, UnsentStoreFolderLoadAndSave)
{
    CLogReport store;
    EXPECT_FALSE(store.LoadFolder((m_dir + "\\missing").c_str()));
    EXPECT_FALSE(store.SaveFolder());
    EXPECT_FALSE(store.LoadFolder(""));

    SaveDay("2026_06_01.log", {Item(2026, 6, 1, 9, "a")});
    SaveDay("stray.log", {Item(2026, 6, 1, 10, "b"), Item(2026, 6, 1, 11, "c")});
    WriteWholeFile(File("junk.log"), std::string("\x01\x00\xFF\xFF\x07\x00", 6));
    CreateDirectoryA(File("dir.log").c_str(), NULL);
    EXPECT_TRUE(store.LoadFolder(m_dir.c_str()));
    ASSERT_GE(store.GetDayCount(), 1);
    CLogItemPosArray all;
    store.GetAllItemIndexes(all);
    EXPECT_EQ(3, all.GetSize());

    CLogReport more;
    more.AddItem(Item(2026, 6, 3, 9, "d"), NULL, NULL);
    store.Append(more);
    EXPECT_TRUE(store.SaveFolder());
    EXPECT_EQ((std::vector<std::string>{"2026_06_01.log", "2026_06_03.log"}), Files());
    CLogReportArray day;
    day.LoadFromFile(File("2026_06_01.log").c_str());
    EXPECT_EQ(3, day.GetSize());
}

TEST(LogReportStore, GlobalStoreLivesInTheProgramLogFolder)
{
    char sz[MAX_PATH];
    GetModuleFileNameA(NULL, sz, sizeof sz);
    std::string folder = sz;
    folder = folder.substr(0, folder.rfind('\\')) + "\\Log";
    CTime now = CTime::GetCurrentTime();
    CTime today(now.GetYear(), now.GetMonth(), now.GetDay(), 0, 0, 0);

    NS_LogReport::SaveLogs(today, now);  // nothing loaded yet: nothing written
    CLogReportItem item = Item(now.GetYear(), now.GetMonth(), now.GetDay(), 0, "g");
    NS_LogReport::AddItem(item, NULL, NULL);
    NS_LogReport::LoadLogs(today, now);
    EXPECT_TRUE(FileExists(folder));
    EXPECT_STREQ(folder.c_str(), NS_LogReport::GetLogReport().GetFolder());
    char name[32];
    sprintf(name, "\\%04d_%02d_%02d.log", now.GetYear(), now.GetMonth(), now.GetDay());
    EXPECT_TRUE(FileExists(folder + name));
    NS_LogReport::FinalDestruct();
    EXPECT_EQ(0, NS_LogReport::GetLogReport().GetDayCount());
    DeleteFileA((folder + name).c_str());
}

}  // namespace

namespace
{
// What the day-file seam saw: each file's records at the moment its new content was complete,
// and the day files then in the folder; it asks for a stop after the first.
std::string g_strSeamFolder;
std::vector<std::vector<std::string>> g_seenRecords;
std::vector<std::vector<std::string>> g_seenFiles;
volatile LONG g_lStop = 0;
bool g_fStopAtFirst = false;

void SeeDayFile(LPCSTR pszDayFile)
{
    CLogReportArray day;
    if (FileExists(pszDayFile))
        day.LoadFromFile(pszDayFile);
    g_seenRecords.push_back(Paths(&day));
    g_seenFiles.push_back(FilesIn(g_strSeamFolder));
    if (g_fStopAtFirst)
        g_lStop = 1;
}

class DayFileSeam : public LogFolder
{
protected:
    void SetUp() override
    {
        LogFolder::SetUp();
        g_strSeamFolder = m_dir;
        g_seenRecords.clear();
        g_seenFiles.clear();
        g_lStop = 0;
        g_fStopAtFirst = false;
        g_pfnLogDayWritten = SeeDayFile;
    }
    void TearDown() override
    {
        g_pfnLogDayWritten = NULL;
        LogFolder::TearDown();
    }
    std::vector<std::string> DayOnDisk(const char* pszName)
    {
        CLogReportArray day;
        day.LoadFromFile(File(pszName).c_str());
        return Paths(&day);
    }
};
} // namespace

TEST_F(DayFileSeam, ADayFileIsReplacedOnlyWhenCompleteAndAStopEndsTheSaveBetweenDays)
{
    SaveDay("2026_06_01.log", {Item(2026, 6, 1, 9, "a1")});
    SaveDay("2026_06_02.log", {Item(2026, 6, 2, 9, "b1")});
    CLogReport store;
    CTime from(2026, 6, 1, 0, 0, 0), to(2026, 6, 2, 23, 0, 0);
    g_pfnLogDayWritten = NULL;
    store.LoadAndPurge(m_dir.c_str(), from, to);
    g_pfnLogDayWritten = SeeDayFile;
    store.AddItem(Item(2026, 6, 1, 10, "a2"), NULL, NULL);
    store.AddItem(Item(2026, 6, 2, 10, "b2"), NULL, NULL);

    // While the new content is written the day file still holds every old record: a thread
    // stopped or lost there loses none. The stop then ends the save before the next day.
    g_fStopAtFirst = true;
    store.SaveRange(from, to, &g_lStop);
    ASSERT_EQ(1u, g_seenRecords.size());
    EXPECT_EQ((std::vector<std::string>{"a1"}), g_seenRecords[0]);
    EXPECT_EQ((std::vector<std::string>{"2026_06_01.log", "2026_06_01.new", "2026_06_02.log"}), g_seenFiles[0]);
    EXPECT_EQ((std::vector<std::string>{"a1", "a2"}), DayOnDisk("2026_06_01.log"));
    EXPECT_EQ((std::vector<std::string>{"b1"}), DayOnDisk("2026_06_02.log"));
    EXPECT_EQ((std::vector<std::string>{"2026_06_01.log", "2026_06_02.log"}), FilesIn(m_dir));

    // Without a stop every day is saved.
    g_lStop = 0;
    g_fStopAtFirst = false;
    store.SaveRange(from, to, &g_lStop);
    EXPECT_EQ((std::vector<std::string>{"b1", "b2"}), DayOnDisk("2026_06_02.log"));
}

TEST_F(DayFileSeam, APurgeDeletesOnlyOnceTheKeptDaysAreSavedAndAStoppedLoadLeavesTheFolder)
{
    SaveDay("2026_05_20.log", {Item(2026, 5, 20, 9, "old")});
    SaveDay("2026_06_01.log", {Item(2026, 6, 1, 9, "a1")});
    SaveDay("2026_06_02.log", {Item(2026, 6, 2, 9, "b1")});
    WriteWholeFile(File("2026_06_02.new"), "left by a save that never finished");
    const std::vector<std::string> all = {"2026_05_20.log", "2026_06_01.log", "2026_06_02.log", "2026_06_02.new"};
    CTime from(2026, 6, 1, 0, 0, 0), to(2026, 6, 2, 23, 0, 0);

    // Stopped after its files are read: the records are held, the folder stays as it was.
    g_fStopAtFirst = true;
    CLogReport stopped;
    stopped.LoadAndPurge(m_dir.c_str(), from, to, &g_lStop);
    EXPECT_EQ(2, stopped.GetDayCount());
    EXPECT_EQ(1u, g_seenRecords.size());
    EXPECT_EQ((std::vector<std::string>{"a1"}), DayOnDisk("2026_06_01.log"));
    EXPECT_EQ((std::vector<std::string>{"b1"}), DayOnDisk("2026_06_02.log"));
    EXPECT_EQ(all, FilesIn(m_dir));
    // Stopped before it reads anything: no folder is taken, so no later save writes a day over
    // a file it never read.
    CLogReport never;
    never.LoadAndPurge(m_dir.c_str(), from, to, &g_lStop);
    EXPECT_EQ(0, never.GetDayCount());
    EXPECT_STREQ("", never.GetFolder());

    // A whole load: each kept day is replaced while every old file is still there; the
    // purge comes last.
    g_lStop = 0;
    g_fStopAtFirst = false;
    g_seenFiles.clear();
    CLogReport store;
    store.LoadAndPurge(m_dir.c_str(), from, to, &g_lStop);
    ASSERT_EQ(2u, g_seenFiles.size());
    for (const auto& files : g_seenFiles)
        EXPECT_EQ(3u, std::count_if(files.begin(), files.end(),
                                    [](const std::string& f) { return f.find(".log") != std::string::npos; }));
    EXPECT_EQ((std::vector<std::string>{"2026_06_01.log", "2026_06_02.log"}), FilesIn(m_dir));
}

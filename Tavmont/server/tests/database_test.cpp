#include "DatabaseAccess.h"
#include "DatabaseClientRecords.h"
#include "DatabaseScanCfg.h"

#include "CommonScanINI.h"
#include "ExclusionFileINI.h"
#include "Globals.h"
#include "Misutils.h"
#include "Notification.h"
#include "NotificationThreads.h"
#include "ServerSettings.h"
#include "LogReport.h"
#include "ScheduleScan.h"
#include "StringUtils.h"
#include "SystemInfo.h"
#include "Utils_RegKey.h"
#include "c4dll.h"
#include "ledra.h"
#include "resource_ids.h"
#include "sqlite3.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "langlibrary.h"

#include <string.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char GUID[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

typedef std::map<std::string, std::string> Fields;

std::string LoadResourceText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return (LPCSTR)str;
}

int C4API collect(void* pv, long long, const void* pRecord);

struct SCollected
{
    const C4TABLE* pTable;
    std::vector<Fields> records;
};

// Every record of a table, as field name -> text.
std::vector<Fields> readTable(int nTable, const std::string& strMaster)
{
    SCollected collected = {c4GetTable(nTable), {}};
    std::string strFolder = strMaster + "\\FILEDB\\" + collected.pTable->pszFolder;
    EXPECT_LE(0, c4Enumerate(nTable, strFolder.c_str(), NULL, collect, &collected));
    return collected.records;
}

int C4API collect(void* pv, long long, const void* pRecord)
{
    SCollected* p = (SCollected*)pv;
    Fields fields;
    for (int i = 0; i < p->pTable->nFields; i++)
    {
        const C4FIELD& field = p->pTable->pFields[i];
        const char* pValue = (const char*)pRecord + field.nOffset;
        if (field.nKind == C4_TEXT)
            fields[field.pszName] = *(char* const*)pValue;
        else if (field.nKind == C4_INT)
            fields[field.pszName] = std::to_string(*(const int*)pValue);
        else
            fields[field.pszName] = std::to_string((int)(*(const float*)pValue * 100 + 0.5f));
    }
    p->records.push_back(fields);
    return 0;
}

// A lock on one table's file held by another opening, as another client would hold it.
class CTableLock
{
public:
    CTableLock(const std::string& strFile, const char* pszBegin) : m_db(NULL)
    {
        EXPECT_EQ(SQLITE_OK, sqlite3_open(strFile.c_str(), &m_db));
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(m_db, pszBegin, NULL, NULL, NULL)) << sqlite3_errmsg(m_db);
    }
    ~CTableLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", NULL, NULL, NULL);
        sqlite3_close(m_db);
    }

private:
    sqlite3* m_db;
};

CString s_strWokenWith;
void wakeUp(BOOL fRecover)
{
    s_strWokenWith.Format("%d", fRecover);
}

class DatabaseTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(language.Load());
        master = FreshScratchFolder("master");
        journal = ScratchFile("ledra.log");
        DeleteFileA(journal.c_str());
        SetEnvironmentVariableA("VGL_LEDRA_JOURNAL", journal.c_str());
        for (const char* pszFolder : {"\\FILEDB", "\\FILEDB\\Config", "\\FILEDB\\Data", "\\FILEDB\\Log"})
            CreateDirectoryA((master + pszFolder).c_str(), NULL);
        WriteString(NULL, "MasterDirectory", master.c_str());
        WriteString(NULL, "GUID", GUID);
        NS_RegistryKey::g_fHttpBased = FALSE;
        NS_DataBase::SetClientLinks(NS_DataBase::SClientLinks());
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("VGL_LEDRA_JOURNAL", NULL);
        SetEnvironmentVariableA("VGL_LEDRA_BUSY_MS", NULL);
        NS_DataBase::SetClientLinks(NS_DataBase::SClientLinks());
        language.Free();
        ProductKeyTest::TearDown();
    }

    std::string File(const char* pszFolder, const char* pszTable) const
    {
        return master + "\\FILEDB\\" + pszFolder + "\\" + pszTable + ".db";
    }

    std::string Journal() const { return ReadWholeFile(journal); }

    // The client's one record of a keyed table (empty fields when it has none).
    Fields Record(int nTable)
    {
        std::vector<Fields> records = readTable(nTable, master);
        EXPECT_GE(1u, records.size());
        return records.empty() ? Fields() : records[0];
    }

    // Sets fields of the client's record the way the server's console would.
    void ServerSets(int nTable, const Fields& changes)
    {
        std::string strFolder = master + "\\FILEDB\\" + c4GetTable(nTable)->pszFolder;
        const C4TABLE& table = *c4GetTable(nTable);
        std::vector<char> record(table.cbRecord, 0);
        std::vector<std::vector<char> > texts;
        texts.reserve(table.nFields);
        for (int i = 0; i < table.nFields; i++)
            if (table.pFields[i].nKind == C4_TEXT)
            {
                texts.push_back(std::vector<char>(table.pFields[i].cbText, 0));
                *(char**)(&record[0] + table.pFields[i].nOffset) = &texts.back()[0];
            }
        strcpy(*(char**)&record[0], GUID);
        c4Retrieve("test", nTable, strFolder.c_str(), &record[0]);
        for (int i = 1; i < table.nFields; i++)
        {
            auto it = changes.find(table.pFields[i].pszName);
            if (it == changes.end())
                continue;
            char* p = &record[0] + table.pFields[i].nOffset;
            if (table.pFields[i].nKind == C4_TEXT)
                strcpy(*(char**)p, it->second.c_str());
            else
                *(int*)p = atoi(it->second.c_str());
        }
        ASSERT_EQ(1, c4Update("test", nTable, strFolder.c_str(), &record[0]));
    }

    CLanguageLibrary language;
    std::string master;
    std::string journal;
};

TEST_F(DatabaseTest, FoldersLieBelowTheMasterFolder)
{
    EXPECT_EQ(master + "\\FILEDB", (LPCSTR)NS_DataBase::GetFileDbFolder());
    EXPECT_EQ(master + "\\FILEDB\\Config", (LPCSTR)NS_DataBase::GetConfigFolder());
    EXPECT_EQ(master + "\\FILEDB\\Data", (LPCSTR)NS_DataBase::GetDataFolder());
    EXPECT_EQ(master + "\\FILEDB\\Log", (LPCSTR)NS_DataBase::GetLogFolder());
    // The named mutex every access takes exists under its name.
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, "CodeBaseDatabaseAccessMutex");
    EXPECT_TRUE(hMutex != NULL);
    CloseHandle(hMutex);
}

TEST_F(DatabaseTest, ErrorTextsFollowTheCodes)
{
    EXPECT_EQ(LoadResourceText(IDS_DATABASE_ERROR_0), (LPCSTR)NS_DataBase::GetErrorText(0));
    EXPECT_EQ(LoadResourceText(341), (LPCSTR)NS_DataBase::GetErrorText(LEDRA_E_NOT_FOUND));
    EXPECT_EQ(LoadResourceText(350), (LPCSTR)NS_DataBase::GetErrorText(-17));
    EXPECT_FALSE(NS_DataBase::GetErrorText(-8).IsEmpty());
    EXPECT_EQ("", std::string(NS_DataBase::GetErrorText(-18)));
    EXPECT_EQ("", std::string(NS_DataBase::GetErrorText(5)));
}

// A new client asking for its settings gets a record made from its own settings; later
// it receives what the server set.
TEST_F(DatabaseTest, SettingsComeFromTheClientsRecordMadeFromItsOwnWhenNew)
{
    CManualScanINI manual;
    manual.m_nVirusFoundAction = SCAN_ACTION_MOVE;
    manual.m_strExtList = ".EXE,.COM";
    manual.m_strMoveDir = "C:\\Quarantine";
    manual.m_fScanMemory = FALSE;
    manual.WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    std::string strIni = ScratchFile("manual.ini");
    DeleteFileA(strIni.c_str());

    ASSERT_TRUE(NS_DataBase::GetIni(strIni.c_str(), NS_DataBase::CONFIG_MANUAL_SCAN));
    Fields record = Record(C4T_MANUAL_SCAN_CFG);
    EXPECT_EQ("4", record["VIRUSFOUNDACTION"]);
    EXPECT_EQ(".EXE,.COM", record["EXTLIST"]);
    EXPECT_EQ("C:\\Quarantine", record["MOVEDIR"]);
    EXPECT_EQ("0", record["SCANMEMORY"]);
    CManualScanINI read;
    read.ReadIniFile(strIni.c_str());
    EXPECT_EQ(SCAN_ACTION_MOVE, read.m_nVirusFoundAction);
    EXPECT_STREQ(".EXE,.COM", read.m_strExtList);
    EXPECT_FALSE(read.m_fScanMemory);
    // Members the record does not carry are written with the class defaults.
    EXPECT_EQ("NO", ReadIni(strIni, g_pszManualScanSection, "IntelliScan"));

    ServerSets(C4T_MANUAL_SCAN_CFG, {{"VIRUSFOUNDACTION", "2"}, {"EXTLIST", ".DOC"}});
    ASSERT_TRUE(NS_DataBase::GetIni(strIni.c_str(), NS_DataBase::CONFIG_MANUAL_SCAN));
    read.ReadIniFile(strIni.c_str());
    EXPECT_EQ(SCAN_ACTION_DELETE, read.m_nVirusFoundAction);
    EXPECT_STREQ(".DOC", read.m_strExtList);
    EXPECT_EQ(1u, readTable(C4T_MANUAL_SCAN_CFG, master).size());

    // Every settings kind but "all" has its record.
    DeleteFileA(strIni.c_str());
    EXPECT_FALSE(NS_DataBase::GetIni(strIni.c_str(), NS_DataBase::CONFIG_ALL));
    EXPECT_FALSE(NS_DataBase::GetIni(strIni.c_str(), 6));
    EXPECT_FALSE(FileExists(strIni));
    for (int nEvent : {NS_DataBase::CONFIG_REALTIME_SCAN, NS_DataBase::CONFIG_SCHEDULE_SCAN,
                       NS_DataBase::CONFIG_SCAN_NOW, NS_DataBase::CONFIG_EXCLUSION})
        EXPECT_TRUE(NS_DataBase::GetIni(strIni.c_str(), nEvent)) << nEvent;
    EXPECT_EQ(1u, readTable(C4T_SCAN_NOW_CFG, master).size());
}

TEST_F(DatabaseTest, ANewClientsExclusionListIsEmptyAndSchedulesKeepTheirCodes)
{
    CExclusionFileINI exclusion;
    exclusion.m_arrEntries.Add("C:\\Temp");
    exclusion.WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    std::string strIni = ScratchFile("exclusion.ini");
    DeleteFileA(strIni.c_str());
    ASSERT_TRUE(NS_DataBase::GetIni(strIni.c_str(), NS_DataBase::CONFIG_EXCLUSION));
    CExclusionFileINI read;
    read.ReadIniFile(strIni.c_str());
    EXPECT_FALSE(read.m_fAllowCfg);
    EXPECT_EQ(0, read.m_arrEntries.GetSize());

    // Frequency 7 is written as "NoAction" and read back as none.
    ServerSets(C4T_PRESCHEDULE_SCAN_CFG, {{"FREQUENCY", "7"}, {"HOUR", "9"}, {"AMPM", "1"}, {"DAYOFWEEK", "3"}});
    std::string strSchedule = ScratchFile("schedule.ini");
    ASSERT_TRUE(NS_DataBase::GetIni(strSchedule.c_str(), NS_DataBase::CONFIG_SCHEDULE_SCAN));
    EXPECT_EQ("NoAction", ReadIni(strSchedule, g_pszScheduleScanSection, "Frequency"));
    CScheduleScanINI schedule;
    schedule.ReadIniFile(strSchedule.c_str());
    EXPECT_EQ(0, schedule.m_nFrequency);
    EXPECT_EQ(9, schedule.m_nHour);
    EXPECT_EQ(1, schedule.m_nAmPm);
    EXPECT_EQ(3, schedule.m_nDayOfWeek);
}

// A local configuration report writes the client's record of the settings' kind.
TEST_F(DatabaseTest, LocalConfigurationReportsWriteTheirKindsRecord)
{
    CScheduleScanINI schedule;
    schedule.m_nFrequency = SCHEDULE_WEEKLY;
    schedule.m_nHour = 12;
    schedule.m_nAmPm = 0;   // anything but 1 is stored as PM
    ASSERT_TRUE(NS_DataBase::SendLocalCfgLog(GUID, schedule));
    Fields record = Record(C4T_PRESCHEDULE_SCAN_CFG);
    EXPECT_EQ("2", record["FREQUENCY"]);
    EXPECT_EQ("12", record["HOUR"]);
    EXPECT_EQ("2", record["AMPM"]);
    EXPECT_TRUE(readTable(C4T_MANUAL_SCAN_CFG, master).empty());

    CRealTimeScanINI realtime;
    realtime.m_fScanShutdown = FALSE;
    realtime.m_strExtList = std::string(300, 'E').c_str();
    ASSERT_TRUE(NS_DataBase::SendLocalCfgLog(GUID, realtime));
    record = Record(C4T_REALTIME_SCAN_CFG);
    EXPECT_EQ("0", record["SCANSHUTDOWN"]);
    EXPECT_EQ(std::string(LEDRA_CB_CFG_TEXT - 1, 'E'), record["EXTLIST"]);

    CExclusionFileINI exclusion;
    for (int i = 1; i <= 25; i++)
    {
        CString strEntry;
        strEntry.Format("C:\\Excluded%02d", i);
        exclusion.m_arrEntries.Add(strEntry);
    }
    ASSERT_TRUE(NS_DataBase::SendLocalCfgLog(GUID, exclusion));
    record = Record(C4T_EXCLUSION_FILE_CFG);
    EXPECT_EQ("C:\\Excluded01", record["EXCLUSIONFILE1"]);
    EXPECT_EQ("C:\\Excluded20", record["EXCLUSIONFILE20"]);
    std::string strIni = ScratchFile("exclusion.ini");
    DeleteFileA(strIni.c_str());
    ASSERT_TRUE(NS_DataBase::GetIni(strIni.c_str(), NS_DataBase::CONFIG_EXCLUSION));
    CExclusionFileINI read;
    read.ReadIniFile(strIni.c_str());
    EXPECT_EQ(20, read.m_arrEntries.GetSize());
}

// The slot and online flag of each status type.
TEST_F(DatabaseTest, StatusLogsFillTheSlotOfTheirType)
{
    const struct
    {
        int nType;
        int nSlot;      // -1: none
        int nOnline;    // -1: unchanged
    } cases[] = {{8, 0, -1}, {9, 1, -1}, {10, 2, -1}, {11, 3, -1}, {1, 4, -1}, {2, 5, -1},
                 {3, 6, -1}, {4, 7, -1}, {5, 8, 1},   {7, 9, 0},   {16, -1, -1}};
    ServerSets(C4T_CLIENT_EVENT, {{"ONLINE", "5"}});
    int nOnline = 5;
    int nSecond = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nType);
        CTime time(2024, 3, 9, 14, 5, ++nSecond);
        Fields before = Record(C4T_CLIENT_EVENT);
        ASSERT_TRUE(NS_DataBase::SendStatusLog(GUID, c.nType, time));
        Fields after = Record(C4T_CLIENT_EVENT);
        if (c.nSlot >= 0)
        {
            std::string strSlot = std::to_string(c.nSlot);
            EXPECT_EQ("20240309", after["DATE" + strSlot]);
            char szTime[8];
            sprintf(szTime, "1405%02d", nSecond);
            EXPECT_EQ(szTime, after["TIME" + strSlot]);
            before["DATE" + strSlot] = after["DATE" + strSlot];
            before["TIME" + strSlot] = after["TIME" + strSlot];
        }
        if (c.nOnline >= 0)
            nOnline = c.nOnline;
        before["ONLINE"] = std::to_string(nOnline);
        EXPECT_EQ(before, after);
    }
    // A close log leaves the information record alone.
    EXPECT_TRUE(readTable(C4T_CLIENT_INFO, master).empty());
}

// The first start of a new client: its information record, its configuration records from its
// own settings and its event record with the start and the first-settings slots.
TEST_F(DatabaseTest, TheFirstStartOfANewClientCreatesItsRecords)
{
    WriteDword(NULL, "Allow Uninstall", 1);
    WriteString(NULL, "Program Version", "5.58");
    CRealTimeScanINI realtime;
    realtime.m_nVirusFoundAction = SCAN_ACTION_RENAME;
    realtime.WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    NS_DataBase::SClientLinks links = {};
    links.pfnGetPlatformName = []() { return CString("Windows 98 4.10.2222"); };
    links.pfnGetPatternVersionNumber = [](int* pn) -> BOOL {
        *pn = 1234;
        return TRUE;
    };
    CScheduleScanINI schedule;
    schedule.m_nDayOfMonth = 17;
    links.pScheduleScanINI = &schedule;
    NS_DataBase::SetClientLinks(links);

    ASSERT_TRUE(NS_DataBase::SendStatusLog(GUID, EVENT_TYPE_START, CTime(2024, 5, 6, 7, 8, 9)));
    Fields info = Record(C4T_CLIENT_INFO);
    EXPECT_EQ(GUID, info["GUID"]);
    EXPECT_EQ("1", info["ALLOWUNINSTALL"]);
    EXPECT_EQ("0", info["ALLOWUNLOAD"]);
    EXPECT_EQ("0", info["HTTPMODE"]);
    EXPECT_EQ("Windows 98 4.10.2222", info["PLATFORM"]);
    EXPECT_EQ("1234", info["PATTERNVERSION"]);
    EXPECT_EQ("558", info["PROGRAMVERSION"]);
    EXPECT_EQ((LPCSTR)getLocalComputerName(), info["COMPUTERNAME"]);
    CString strDomain = getDomainName();
    capitalizeFirstLetter(strDomain);
    EXPECT_EQ((LPCSTR)strDomain, info["DOMAIN"]);

    EXPECT_EQ("3", Record(C4T_REALTIME_SCAN_CFG)["VIRUSFOUNDACTION"]);
    EXPECT_EQ("17", Record(C4T_PRESCHEDULE_SCAN_CFG)["DAYOFMONTH"]);
    EXPECT_EQ(1u, readTable(C4T_MANUAL_SCAN_CFG, master).size());
    EXPECT_EQ(1u, readTable(C4T_EXCLUSION_FILE_CFG, master).size());
    EXPECT_TRUE(readTable(C4T_SCAN_NOW_CFG, master).empty());

    Fields event = Record(C4T_CLIENT_EVENT);
    EXPECT_EQ("20240506", event["DATE10"]);
    EXPECT_EQ("070809", event["TIME10"]);
    EXPECT_EQ(8u, event["DATE8"].size());
    EXPECT_EQ("1", event["ONLINE"]);

    // The next start keeps what the server set and renews the rest.
    ServerSets(C4T_CLIENT_INFO, {{"ALLOWUNINSTALL", "0"}, {"ALLOWUNLOAD", "1"}, {"PATTERNVERSION", "1"}});
    ServerSets(C4T_REALTIME_SCAN_CFG, {{"VIRUSFOUNDACTION", "1"}});
    ASSERT_TRUE(NS_DataBase::SendStatusLog(GUID, EVENT_TYPE_START, CTime(2024, 5, 7, 7, 8, 9)));
    info = Record(C4T_CLIENT_INFO);
    EXPECT_EQ("0", info["ALLOWUNINSTALL"]);
    EXPECT_EQ("1", info["ALLOWUNLOAD"]);
    EXPECT_EQ("1234", info["PATTERNVERSION"]);
    EXPECT_EQ("1", Record(C4T_REALTIME_SCAN_CFG)["VIRUSFOUNDACTION"]);
}

// A status log whose event record cannot be written is reported as failed, so it stays
// queued; one whose record cannot be read does not replace it with an empty one.
TEST_F(DatabaseTest, AFailedEventWriteIsAFailure)
{
    ASSERT_TRUE(NS_DataBase::SendStatusLog(GUID, 1, CTime(2024, 1, 2, 3, 4, 5)));
    SetEnvironmentVariableA("VGL_LEDRA_BUSY_MS", "200");
    {
        // Another client is writing: reading works, writing does not.
        CTableLock lock(File("Data", "ClientEvent"), "BEGIN IMMEDIATE");
        EXPECT_FALSE(NS_DataBase::SendStatusLog(GUID, 2, CTime(2024, 1, 2, 3, 4, 6)));
    }
    {
        // Another client holds the file whole: not even reading works.
        CTableLock lock(File("Data", "ClientEvent"), "BEGIN EXCLUSIVE");
        DeleteFileA(journal.c_str());
        EXPECT_FALSE(NS_DataBase::SendStatusLog(GUID, 3, CTime(2024, 1, 2, 3, 4, 7)));
        EXPECT_EQ(std::string::npos, Journal().find("DatabaseCEUpdateRecord"));
    }
    Fields event = Record(C4T_CLIENT_EVENT);
    EXPECT_EQ("030405", event["TIME4"]);
    EXPECT_EQ("", event["TIME5"]);
    EXPECT_EQ("", event["TIME6"]);

    // Settings that cannot be read are not replaced by the client's own.
    ServerSets(C4T_MANUAL_SCAN_CFG, {{"VIRUSFOUNDACTION", "2"}});
    {
        CTableLock lock(File("Config", "ManualScanCfg"), "BEGIN EXCLUSIVE");
        DeleteFileA(journal.c_str());
        EXPECT_FALSE(NS_DataBase::GetIni(ScratchFile("manual.ini").c_str(), NS_DataBase::CONFIG_MANUAL_SCAN));
        EXPECT_EQ(std::string::npos, Journal().find("DatabaseMSUpdateRecord"));
    }
    EXPECT_EQ("2", Record(C4T_MANUAL_SCAN_CFG)["VIRUSFOUNDACTION"]);
}

TEST_F(DatabaseTest, AMissingDataFolderFailsWithoutTheLibrary)
{
    RemoveTree(master + "\\FILEDB\\Data");
    EXPECT_FALSE(NS_DataBase::SendStatusLog(GUID, EVENT_TYPE_START, CTime::GetCurrentTime()));
    SClientInfo info;
    EXPECT_EQ(0, info.UpdateStatus(NS_DataBase::GetDataFolder(), GUID));
    EXPECT_EQ("", Journal());
}

// Each scan kind's findings go to its own log; the second action counts only after a failed
// cleaning.
TEST_F(DatabaseTest, VirusLogsGoToTheirScanKindsLog)
{
    const struct
    {
        int nKind;
        int nTable;
        int nFirst, nFirstStatus, nSecond, nSecondStatus;
        const char* pszStored;   // first action, result, second action, result
    } cases[] = {
        {LOG_EVENT_MANUAL, C4T_MANUAL_SCAN_LOG, LOG_ACTION_CLEAN, 0, LOG_ACTION_DELETE, 1, "5 -1 2 1"},
        {LOG_EVENT_REALTIME, C4T_REALTIME_SCAN_LOG, LOG_ACTION_CLEAN, 1, LOG_ACTION_DELETE, 1, "5 1 0 0"},
        {LOG_EVENT_SCHEDULE, C4T_PRESCHEDULE_SCAN_LOG, LOG_ACTION_MOVE, 0, LOG_ACTION_DELETE, 0, "4 -1 0 0"},
        {LOG_EVENT_REMOTE, C4T_SCAN_NOW_LOG, LOG_ACTION_CLEAN, 0, LOG_ACTION_RENAME, 0, "5 -1 3 -1"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nKind);
        CLogReportItem item(c.nKind, CTime(2023, 12, 31, 23, 59, 58), "C:\\Data\\Sub\\bad.exe", "EICAR-Test",
                            c.nFirst, c.nFirstStatus, c.nSecond, c.nSecondStatus);
        item.m_strCompressedFile = "inner.com";
        ASSERT_TRUE(NS_DataBase::SendVirusLog(GUID, item));
        std::vector<Fields> records = readTable(c.nTable, master);
        ASSERT_EQ(1u, records.size());
        Fields& r = records[0];
        EXPECT_EQ(c.pszStored, r["FIRSTACTION"] + " " + r["FIRSTRESULT"] + " " + r["SECONDACTION"] + " " +
                                   r["SECONDRESULT"]);
        EXPECT_EQ("20231231", r["DATE"]);
        EXPECT_EQ("235958", r["TIME"]);
        EXPECT_EQ("EICAR-Test", r["VIRUS"]);
        EXPECT_EQ("bad.exe", r["FILE"]);
        EXPECT_EQ((LPCSTR)item.GetDirectory(), r["DIRECTORY"]);
        EXPECT_EQ("inner.com", r["COMPRESSEDFILE"]);
        EXPECT_EQ((LPCSTR)item.m_strLogin, r["LOGIN"]);
    }
    // Any other kind is refused without touching the database.
    DeleteFileA(journal.c_str());
    CLogReportItem other(9, CTime::GetCurrentTime(), "C:\\x.exe", "V", 1, 1, 1, 1);
    EXPECT_FALSE(NS_DataBase::SendVirusLog(GUID, other));
    EXPECT_EQ("", Journal());
    // A name longer than its field is cut to it.
    CLogReportItem longName(LOG_EVENT_MANUAL, CTime::GetCurrentTime(), "C:\\x.exe", std::string(200, 'N').c_str(),
                            1, 1, 1, 1);
    ASSERT_TRUE(NS_DataBase::SendVirusLog(GUID, longName));
    EXPECT_EQ(std::string(LEDRA_CB_VIRUS - 1, 'N'), readTable(C4T_MANUAL_SCAN_LOG, master)[1]["VIRUS"]);
}

// Another holder of the mutex (another thread here; the uninstall program in life) makes every
// access wait.
TEST_F(DatabaseTest, EveryAccessWaitsForTheMutex)
{
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "CodeBaseDatabaseAccessMutex");
    ASSERT_TRUE(hMutex != NULL);
    HANDLE hHeld = CreateEventA(NULL, TRUE, FALSE, NULL), hRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread holder([&] {
        WaitForSingleObject(hMutex, INFINITE);
        SetEvent(hHeld);
        WaitForSingleObject(hRelease, INFINITE);
        ReleaseMutex(hMutex);
    });
    WaitForSingleObject(hHeld, INFINITE);
    volatile LONG fDone = 0;
    std::thread sender([&] {
        NS_DataBase::SendStatusLog(GUID, 1, CTime::GetCurrentTime());
        InterlockedExchange((LONG*)&fDone, 1);
    });
    Sleep(300);
    EXPECT_EQ(0, fDone);
    SetEvent(hRelease);
    sender.join();
    holder.join();
    EXPECT_EQ(1, fDone);
    CloseHandle(hHeld);
    CloseHandle(hRelease);
    CloseHandle(hMutex);
}

// The settings renewal: the server's settings file, the values it names and the permissions of
// the client's record reach the product key; the log threads are woken with recovery, and a
// client that counted itself off line is on line again.
TEST_F(DatabaseTest, SettingsRenewalTakesTheServersFileAndPermissions)
{
    WriteString(NULL, "Unload_Pwd", "old-unload");
    WriteWholeFile(master + "\\Vglscan.ini",
                   "[INI_SERVER_SECTION]\r\nMasterDirectory=" + master + "\r\n"
                   "[INI_CLIENT_SECTION]\r\nUninstall_Pwd=!CRYPT!ABCD\r\nFilebase_Polling_Range=90\r\n");
    ServerSets(C4T_CLIENT_INFO, {{"ALLOWUNINSTALL", "1"}, {"ALLOWUNLOAD", "0"}});
    WriteDword(NULL, "Allow Unload", 1);
    NS_DataBase::SClientLinks links = {};
    links.pfnWakeUpLogThreads = wakeUp;
    NS_DataBase::SetClientLinks(links);
    s_strWokenWith.Empty();
    // A failed start-up log left the client off line.
    NS_Notification::UpdateConnectionStatus(FALSE);

    NS_DataBase::UpdateNewSettings(NULL);
    EXPECT_TRUE(NS_Notification::IsIntranetConnectable());
    EXPECT_EQ(ReadWholeFile(master + "\\Vglscan.ini"), ReadWholeFile(SettingsFilePath()));
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, KeyPath(NULL).c_str(), KEY_READ));
    EXPECT_EQ("!CRYPT!ABCD", std::string(readRegistryString(key, "Uninstall_Pwd")));
    EXPECT_EQ("old-unload", std::string(readRegistryString(key, "Unload_Pwd")));
    EXPECT_EQ(1u, readRegistryDword(key, "Allow Uninstall"));
    EXPECT_EQ(0u, readRegistryDword(key, "Allow Unload"));
    EXPECT_EQ("1", std::string(s_strWokenWith));

    // Without the server's file nothing changes.
    DeleteFileA((master + "\\Vglscan.ini").c_str());
    ServerSets(C4T_CLIENT_INFO, {{"ALLOWUNINSTALL", "0"}});
    s_strWokenWith.Empty();
    NS_Notification::UpdateConnectionStatus(FALSE);
    NS_DataBase::UpdateNewSettings(NULL);
    EXPECT_EQ(1u, readRegistryDword(key, "Allow Uninstall"));
    EXPECT_EQ("", std::string(s_strWokenWith));
    EXPECT_FALSE(NS_Notification::IsIntranetConnectable());
    NS_Notification::UpdateConnectionStatus(TRUE);
}
}

// ---- the client's log threads and settings fetch in file-based mode ----

namespace
{
template <class F>
bool WaitFor(F condition, DWORD dwTimeout = 15000)
{
    DWORD dwStart = GetTickCount();
    while (!condition())
    {
        if (GetTickCount() - dwStart > dwTimeout)
            return false;
        Sleep(10);
    }
    return true;
}

std::string ProgramFolderFile(const char* pszName)
{
    return (LPCSTR)joinPath(getModulePath(), pszName);
}
}

// The sender threads write their records; a status log that finds the event table busy is
// tried again until it is written.
TEST_F(DatabaseTest, TheLogThreadsWriteTheirRecordsAndRetryABusyTable)
{
    SetEnvironmentVariableA("VGL_TEST_MS_PER_SECOND", "1");
    RemoveTree(ProgramFolderFile("UnsentVirus"));
    NS_Notification::Construct(FALSE);
    NS_Notification::UpdateConnectionStatus(TRUE);
    ASSERT_TRUE(NS_DataBase::SendStatusLog(NS_RegistryKey::GetGUID(), 1, CTime(2024, 1, 2, 3, 4, 5)));
    SetEnvironmentVariableA("VGL_LEDRA_BUSY_MS", "100");
    {
        CTableLock lock(File("Data", "ClientEvent"), "BEGIN IMMEDIATE");
        NS_Notification::SendStatusLog(CTime(2024, 1, 2, 3, 4, 6), 2, NULL);
        Sleep(500);
        EXPECT_TRUE(NS_Notification::HasQueuedStatusLog());
    }
    EXPECT_TRUE(WaitFor([] { return !NS_Notification::HasQueuedStatusLog(); }));
    EXPECT_EQ("030406", Record(C4T_CLIENT_EVENT)["TIME5"]);

    CLogReportItem item(LOG_EVENT_REALTIME, CTime(2024, 1, 2, 3, 4, 7), "C:\\Data\\bad.exe", "EICAR", LOG_ACTION_DELETE,
                        1, LOG_ACTION_NONE, 1);
    {
        CSingleLock lock(NS_Notification::GetVirusLogQueueLock(), TRUE);
        SLogItemPos pos = NS_LogReport::AddItem(item, NS_Notification::GetVirusLogQueue(),
                                                NS_Notification::GetVirusLogQueueLock());
        NS_Notification::QueueVirusLog(pos.nDay, pos.nItem);
    }
    CManualScanINI manual;
    manual.m_nVirusFoundAction = SCAN_ACTION_DELETE;
    NS_Notification::AddScanCfgLog(manual);
    EXPECT_TRUE(WaitFor([&] { return readTable(C4T_REALTIME_SCAN_LOG, master).size() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return Record(C4T_MANUAL_SCAN_CFG)["VIRUSFOUNDACTION"] == "2"; }));
    EXPECT_FALSE(NS_Notification::HasPendingVirusLog());
    NS_Notification::Destruct(FALSE);
    NS_Notification::ResetVirusLogState();
    g_logReport.RemoveAll();
    RemoveTree(ProgramFolderFile("UnsentVirus"));
    NS_Notification::AllowConnect(TRUE);
    g_eventStopScanNow.SetSignaled(FALSE);
}

// Settings come section by section from the client's records (never all at once, never the
// scan-now settings); the alert text is copied from the master folder.
TEST_F(DatabaseTest, SettingsAndAlertTextFromTheMasterFolder)
{
    ASSERT_TRUE(NS_DataBase::GetIni(ScratchFile("first.ini").c_str(), NS_DataBase::CONFIG_MANUAL_SCAN));
    ServerSets(C4T_MANUAL_SCAN_CFG, {{"VIRUSFOUNDACTION", "2"}});
    ServerSets(C4T_REALTIME_SCAN_CFG, {{"VIRUSFOUNDACTION", "3"}});
    g_RemoteScanINI.m_nVirusFoundAction = SCAN_ACTION_CLEAN;
    EXPECT_TRUE(NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE));
    EXPECT_EQ(SCAN_ACTION_DELETE, g_ManualScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_RENAME, g_RealTimeScanINI.m_nVirusFoundAction);
    EXPECT_EQ(SCAN_ACTION_CLEAN, g_RemoteScanINI.m_nVirusFoundAction);
    NS_Configuration::Destruct();

    std::string strLocal = ProgramFolderFile("Alert.msg");
    ASSERT_TRUE(WriteWholeFile(master + "\\Alert.msg", "Master text"));
    NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE);
    EXPECT_STREQ("Master text", NS_Notification::GetAlertMessageText());
    EXPECT_EQ("Master text", ReadWholeFile(strLocal));
    // Without the master's file the copy fails and leaves the local one: the text stays.
    DeleteFileA((master + "\\Alert.msg").c_str());
    NS_Notification::UpdateAlertMessage(TRUE, TRUE, FALSE);
    EXPECT_STREQ("Master text", NS_Notification::GetAlertMessageText());
    EXPECT_EQ("Master text", ReadWholeFile(strLocal));
    DeleteFileA(strLocal.c_str());
}

#include "c4dll.h"
#include "ledra.h"
#include "sqlite3.h"

#include "VglTestSupport.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
const char GUID_A[] = "11111111-2222-3333-4444-555555555555";
const char GUID_B[] = "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE";

int C4API ignoreRecord(void*, long long, const void*)
{
    return 0;
}

// The number of records of the table (of the GUID only, unless NULL); -1 on failure.
int countRecords(int nTable, const std::string& strFolder, const char* pszGuid = NULL)
{
    return c4Enumerate(nTable, strFolder.c_str(), pszGuid, ignoreRecord, NULL);
}

// The virus and folder texts of the last log record passed.
int C4API readTexts(void* pvOut, long long, const void* pRecord)
{
    const SCAN_LOG_TAG* p = (const SCAN_LOG_TAG*)pRecord;
    std::string* pOut = (std::string*)pvOut;
    pOut[0] = p->m_pszVIRUS_F;
    pOut[1] = p->m_pszDIRECTORY_F;
    return 0;
}

// A record of any table with its own text buffers, filled field by field through the
// table's description.
class CRecord
{
public:
    explicit CRecord(int nTable) : m_pTable(c4GetTable(nTable)), m_record(m_pTable->cbRecord, 0)
    {
        m_texts.reserve(m_pTable->nFields);
        for (int i = 0; i < m_pTable->nFields; i++)
        {
            const C4FIELD& field = m_pTable->pFields[i];
            if (field.nKind != C4_TEXT)
                continue;
            m_texts.push_back(std::vector<char>(field.cbText, 0));
            *(char**)(&m_record[0] + field.nOffset) = &m_texts.back()[0];
        }
    }

    void* Get() { return &m_record[0]; }
    const C4TABLE& Table() const { return *m_pTable; }

    // Every field a value of its own: texts "<seed>-<column>" cut to the buffer, numbers
    // seed + column index.
    void Fill(const char* pszGuid, int nSeed)
    {
        for (int i = 0; i < m_pTable->nFields; i++)
        {
            const C4FIELD& field = m_pTable->pFields[i];
            char* p = &m_record[0] + field.nOffset;
            if (field.nKind == C4_TEXT)
            {
                std::string str = i == 0 ? pszGuid : std::to_string(nSeed) + "-" + field.pszName;
                str = str.substr(0, field.cbText - 1);
                strcpy(*(char**)p, str.c_str());
            }
            else if (field.nKind == C4_INT)
                *(int*)p = nSeed + i;
            else
                *(float*)p = nSeed + i / 100.0f;
        }
    }

    // The fields as text, one "NAME=value" each.
    std::string Dump() const
    {
        std::string str;
        for (int i = 0; i < m_pTable->nFields; i++)
        {
            const C4FIELD& field = m_pTable->pFields[i];
            const char* p = &m_record[0] + field.nOffset;
            str += field.pszName;
            str += "=";
            if (field.nKind == C4_TEXT)
                str += *(char* const*)p;
            else if (field.nKind == C4_INT)
                str += std::to_string(*(const int*)p);
            else
                str += std::to_string(*(const float*)p);
            str += ";";
        }
        return str;
    }

    void SetText(const char* pszName, const std::string& str)
    {
        for (int i = 0; i < m_pTable->nFields; i++)
            if (strcmp(m_pTable->pFields[i].pszName, pszName) == 0)
                strcpy(*(char**)(&m_record[0] + m_pTable->pFields[i].nOffset), str.c_str());
    }

private:
    const C4TABLE* m_pTable;
    std::vector<char> m_record;
    std::vector<std::vector<char> > m_texts;
};

class LedraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        master = FreshScratchFolder("master");
        CreateDirectoryA((master + "\\FILEDB").c_str(), NULL);
        for (const char* pszName : {"Config", "Data", "Log"})
            CreateDirectoryA(Folder(pszName).c_str(), NULL);
    }

    std::string Folder(const char* pszName) const { return master + "\\FILEDB\\" + pszName; }
    char* FolderOf(int nTable)
    {
        folder = Folder(c4GetTable(nTable)->pszFolder);
        return &folder[0];
    }

    std::string master;
    std::string folder;
};

// Every keyed table: a record written is read back field for field by a fresh record
// holding only the GUID (in another case), and replaced whole by the next write.
TEST_F(LedraTest, KeyedRecordsRoundTripAndAreReplacedWhole)
{
    for (int nTable = 0; nTable < C4T_COUNT; nTable++)
    {
        if (c4GetTable(nTable)->nKind != C4_KEYED)
            continue;
        SCOPED_TRACE(c4GetTable(nTable)->pszName);
        CRecord written(nTable);
        written.Fill(GUID_B, 7);
        ASSERT_EQ(1, c4Update("test", nTable, FolderOf(nTable), written.Get()));
        CRecord other(nTable);
        other.Fill(GUID_A, 100);
        ASSERT_EQ(1, c4Update("test", nTable, FolderOf(nTable), other.Get()));

        CRecord read(nTable);
        read.Fill("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee", 0);
        for (int i = 1; i < read.Table().nFields; i++)
            if (read.Table().pFields[i].nKind == C4_TEXT)
                read.SetText(read.Table().pFields[i].pszName, "stale");
        ASSERT_EQ(1, c4Retrieve("test", nTable, FolderOf(nTable), read.Get()));
        CRecord expected(nTable);
        expected.Fill("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee", 7);
        EXPECT_EQ(expected.Dump(), read.Dump());

        written.Fill(GUID_B, 9);
        ASSERT_EQ(1, c4Update("test", nTable, FolderOf(nTable), written.Get()));
        ASSERT_EQ(1, c4Retrieve("test", nTable, FolderOf(nTable), read.Get()));
        expected.Fill("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee", 9);
        EXPECT_EQ(expected.Dump(), read.Dump());
        EXPECT_EQ(2, countRecords(nTable, FolderOf(nTable)));
    }
}

TEST_F(LedraTest, TheExportsReachTheirTables)
{
    char szGuid[LEDRA_CB_GUID] = "";
    strcpy(szGuid, GUID_A);
    char szExt[LEDRA_CB_CFG_TEXT] = ".EXE,.COM", szMove[LEDRA_CB_CFG_TEXT] = "", szFailed[LEDRA_CB_CFG_TEXT] = "";
    MAMUAL_SCAN_CFG_TAG manual = {};
    manual.m_pszGUID_F = szGuid;
    manual.m_pszEXTLIST_F = szExt;
    manual.m_pszMOVEDIR_F = szMove;
    manual.m_pszCLEANFAILEDMOVEDIR_F = szFailed;
    manual.m_nVIRUSFOUNDACTION_F = 4;
    std::string strConfig = Folder("Config");
    ASSERT_EQ(1, DatabaseMSUpdateRecord(&strConfig[0], &manual));
    // The same client's real-time record is another table: still missing.
    REALTIME_SCAN_CFG_TAG realtime = {};
    realtime.m_pszGUID_F = szGuid;
    EXPECT_EQ(0, DatabaseRTRetrieveRecord(&strConfig[0], &realtime));
    EXPECT_EQ(LEDRA_E_NOT_FOUND, DatabaseDataGetLastError());
    manual.m_nVIRUSFOUNDACTION_F = 0;
    szExt[0] = '\0';
    ASSERT_EQ(1, DatabaseMSRetrieveRecord(&strConfig[0], &manual));
    EXPECT_EQ(0, DatabaseDataGetLastError());
    EXPECT_EQ(4, manual.m_nVIRUSFOUNDACTION_F);
    EXPECT_STREQ(".EXE,.COM", szExt);

    // Two log records of one client and one of another; RemoveAll takes the client's only.
    std::string strLog = Folder("Log");
    char szVirus[LEDRA_CB_VIRUS] = "EICAR", szEmpty[LEDRA_CB_DIRECTORY] = "";
    SCAN_LOG_TAG log = {szGuid, szEmpty, szEmpty, szEmpty, szVirus, szEmpty, szEmpty, szEmpty, 5, -1, 2, 1};
    ASSERT_EQ(1, DatabaseRTLAddNewRecord(&strLog[0], &log));
    ASSERT_EQ(1, DatabaseRTLAddNewRecord(&strLog[0], &log));
    char szOther[LEDRA_CB_GUID] = "";
    strcpy(szOther, GUID_B);
    log.m_pszGUID_F = szOther;
    ASSERT_EQ(1, DatabaseRTLAddNewRecord(&strLog[0], &log));
    EXPECT_EQ(3, countRecords(C4T_REALTIME_SCAN_LOG, strLog));
    log.m_pszGUID_F = szGuid;
    EXPECT_EQ(1, DatabaseRTLRemoveAll(&strLog[0], &log, 0));
    EXPECT_EQ(1, DatabaseRTLRemoveAll(&strLog[0], &log, 0));   // none left: still done
    EXPECT_EQ(0, countRecords(C4T_REALTIME_SCAN_LOG, strLog, GUID_A));
    EXPECT_EQ(1, countRecords(C4T_REALTIME_SCAN_LOG, strLog, GUID_B));
    // The manual log is a table of its own.
    EXPECT_EQ(0, countRecords(C4T_MANUAL_SCAN_LOG, strLog));

    // Removing a keyed record: done once, then not found.
    std::string strData = Folder("Data");
    CLIENT_INFO_TAG info = {};
    char szTexts[8][LEDRA_CB_COMPUTER] = {};
    info.m_pszGUID_F = szGuid;
    info.m_pszCOMPUTERNAME_F = szTexts[0];
    info.m_pszPLATFORM_F = szTexts[1];
    info.m_pszFIELD4_F = szTexts[2];
    info.m_pszDOMAIN_F = szTexts[3];
    info.m_pszDRIVERVERSION_F = szTexts[4];
    info.m_pszFIELD9_F = szTexts[5];
    info.m_fPROGRAMVERSION_F = 5.58f;
    ASSERT_EQ(1, DatabaseCIUpdateRecord(&strData[0], &info));
    info.m_fPROGRAMVERSION_F = 0;
    ASSERT_EQ(1, DatabaseCIRetrieveRecord(&strData[0], &info, 0));
    EXPECT_FLOAT_EQ(5.58f, info.m_fPROGRAMVERSION_F);
    EXPECT_EQ(1, DatabaseCIRemoveRecord(&strData[0], &info, 0));
    EXPECT_EQ(0, DatabaseCIRemoveRecord(&strData[0], &info, 0));
    EXPECT_EQ(LEDRA_E_NOT_FOUND, DatabaseDataGetLastError());
}

TEST_F(LedraTest, FailuresGiveTheirCodes)
{
    CRecord record(C4T_CLIENT_EVENT);
    record.Fill(GUID_A, 1);
    std::string strMissing = master + "\\FILEDB\\Nowhere";
    EXPECT_EQ(0, c4Update("test", C4T_CLIENT_EVENT, strMissing.c_str(), record.Get()));
    EXPECT_EQ(LEDRA_E_FOLDER, c4GetLastError());
    EXPECT_FALSE(FileExists(strMissing));

    EXPECT_EQ(0, c4Update("test", C4T_CLIENT_EVENT, NULL, record.Get()));
    EXPECT_EQ(LEDRA_E_ARGUMENT, c4GetLastError());
    record.SetText("GUID", "");
    EXPECT_EQ(0, c4Update("test", C4T_CLIENT_EVENT, FolderOf(C4T_CLIENT_EVENT), record.Get()));
    EXPECT_EQ(LEDRA_E_ARGUMENT, c4GetLastError());
    EXPECT_EQ(0, c4Update("test", C4T_COUNT, FolderOf(C4T_CLIENT_EVENT), record.Get()));
    EXPECT_EQ(LEDRA_E_TABLE, c4GetLastError());
    // A log table has no single record to update, a keyed one no log to append to.
    record.SetText("GUID", GUID_A);
    EXPECT_EQ(0, c4Append("test", C4T_CLIENT_EVENT, FolderOf(C4T_CLIENT_EVENT), record.Get()));
    EXPECT_EQ(LEDRA_E_TABLE, c4GetLastError());

    // A file that is no database; a table of another layout.
    std::string strData = Folder("Data");
    WriteWholeFile(strData + "\\ClientEvent.db", std::string(4096, 'x'));
    EXPECT_EQ(0, c4Retrieve("test", C4T_CLIENT_EVENT, strData.c_str(), record.Get()));
    EXPECT_EQ(LEDRA_E_DAMAGED, c4GetLastError());
    EXPECT_EQ(0, c4Check(C4T_CLIENT_EVENT, strData.c_str()));

    // A file of an older layout: the table lacks most columns.
    std::string strInfoFile = strData + "\\ClientInfo.db";
    sqlite3* db = NULL;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(strInfoFile.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE ClientInfo (GUID TEXT PRIMARY KEY)", NULL, NULL, NULL));
    sqlite3_close(db);
    CRecord info(C4T_CLIENT_INFO);
    info.Fill(GUID_A, 1);
    EXPECT_EQ(0, c4Update("test", C4T_CLIENT_INFO, strData.c_str(), info.Get()));
    EXPECT_EQ(LEDRA_E_LAYOUT, c4GetLastError());
    EXPECT_EQ(1, c4Check(C4T_CLIENT_INFO, strData.c_str()));

    // The last failure belongs to the thread that had it.
    EXPECT_EQ(0, c4Retrieve("test", C4T_CLIENT_INFO, strMissing.c_str(), info.Get()));
    int nOtherThread = 99;
    std::thread([&] { nOtherThread = DatabaseDataGetLastError(); }).join();
    EXPECT_EQ(0, nOtherThread);
    EXPECT_EQ(LEDRA_E_FOLDER, DatabaseDataGetLastError());
}

TEST_F(LedraTest, TextsAreCutToTheirBuffersAndKeepTheirCharacters)
{
    CRecord log(C4T_MANUAL_SCAN_LOG);
    log.Fill(GUID_A, 1);
    // Texts are read within their buffers even when the caller's text runs on.
    std::vector<char> longVirus(400, 'V');
    longVirus.back() = '\0';
    char* pszSaved = ((SCAN_LOG_TAG*)log.Get())->m_pszVIRUS_F;
    ((SCAN_LOG_TAG*)log.Get())->m_pszVIRUS_F = &longVirus[0];
    log.SetText("DIRECTORY", "C:\\Donn\xE9"
                             "es\\Caf\xE9");
    ASSERT_EQ(1, c4Append("test", C4T_MANUAL_SCAN_LOG, FolderOf(C4T_MANUAL_SCAN_LOG), log.Get()));
    ((SCAN_LOG_TAG*)log.Get())->m_pszVIRUS_F = pszSaved;

    std::string texts[2];
    ASSERT_EQ(1, c4Enumerate(C4T_MANUAL_SCAN_LOG, FolderOf(C4T_MANUAL_SCAN_LOG), NULL, readTexts, texts));
    EXPECT_EQ(std::string(LEDRA_CB_VIRUS - 1, 'V'), texts[0]);
    EXPECT_EQ("C:\\Donn\xE9"
              "es\\Caf\xE9",
              texts[1]);
}

// Each table's description places every field inside the record, aligned to its kind and
// clear of every other field, on the target built for.
TEST_F(LedraTest, FieldTablesFollowTheRecordLayout)
{
    for (int nTable = 0; nTable < C4T_COUNT; nTable++)
    {
        const C4TABLE& table = *c4GetTable(nTable);
        SCOPED_TRACE(table.pszName);
        std::vector<int> owner(table.cbRecord, -1);
        for (int i = 0; i < table.nFields; i++)
        {
            const C4FIELD& field = table.pFields[i];
            int cb = field.nKind == C4_TEXT ? (int)sizeof(char*) : 4;
            EXPECT_EQ(0, field.nOffset % cb) << field.pszName;
            ASSERT_GE(field.nOffset, 0) << field.pszName;
            ASSERT_LE(field.nOffset + cb, table.cbRecord) << field.pszName;
            for (int b = field.nOffset; b < field.nOffset + cb; b++)
            {
                if (owner[b] >= 0)
                {
                    ADD_FAILURE() << field.pszName << " overlaps " << table.pFields[owner[b]].pszName;
                    break;
                }
                owner[b] = i;
            }
        }
    }
}

// The list and slot records through their own members: each entry lands in its own column
// of the file (the file holds values by column, the same whatever the target) and comes back
// into its own member.
TEST_F(LedraTest, ArrayMembersKeepTheirColumns)
{
    char szGuid[LEDRA_CB_GUID] = "";
    strcpy(szGuid, GUID_A);
    char aszEntries[LEDRA_EXCLUSION_COUNT][LEDRA_CB_EXCLUSION] = {};
    EXCLUSION_FILE_LIST_TAG list = {};
    list.m_pszGUID_F = szGuid;
    list.m_nALLOWCFG_F = 1;
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
    {
        sprintf(aszEntries[i], "C:\\Skip\\%d", i + 1);
        list.m_ppszEXCLUSIONFILE_F[i] = aszEntries[i];
    }
    char aszDates[LEDRA_EVENT_SLOTS][LEDRA_CB_DATE] = {}, aszTimes[LEDRA_EVENT_SLOTS][LEDRA_CB_TIME] = {};
    CLIENT_EVENT_TAG event = {};
    event.m_pszGUID_F = szGuid;
    event.m_nONLINE_F = 1;
    for (int i = 0; i < LEDRA_EVENT_SLOTS; i++)
    {
        sprintf(aszDates[i], "200001%02d", i + 1);
        sprintf(aszTimes[i], "1200%02d", i);
        event.m_aSLOT_F[i].m_pszDATE_F = aszDates[i];
        event.m_aSLOT_F[i].m_pszTIME_F = aszTimes[i];
    }
    std::string strConfig = Folder("Config"), strData = Folder("Data");
    ASSERT_EQ(1, DatabaseEFUpdateRecord(&strConfig[0], &list));
    ASSERT_EQ(1, DatabaseCEUpdateRecord(&strData[0], &event));

    // The files' rows, column by column.
    struct
    {
        std::string strFile;
        const char* pszSql;
        const char* pszExpected;
    } rows[] = {
        {strConfig + "\\ExclusionFileCfg.db",
         "SELECT ALLOWCFG, EXCLUSIONFILE1, EXCLUSIONFILE2, EXCLUSIONFILE11, EXCLUSIONFILE20 FROM ExclusionFileCfg",
         "1|C:\\Skip\\1|C:\\Skip\\2|C:\\Skip\\11|C:\\Skip\\20|"},
        {strData + "\\ClientEvent.db",
         "SELECT DATE0, TIME0, DATE1, TIME1, DATE10, TIME10, ONLINE FROM ClientEvent",
         "20000101|120000|20000102|120001|20000111|120010|1|"},
    };
    for (const auto& row : rows)
    {
        sqlite3* db = NULL;
        ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(row.strFile.c_str(), &db, SQLITE_OPEN_READONLY, NULL));
        sqlite3_stmt* pStmt = NULL;
        ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, row.pszSql, -1, &pStmt, NULL)) << sqlite3_errmsg(db);
        std::string strRow;
        ASSERT_EQ(SQLITE_ROW, sqlite3_step(pStmt));
        for (int i = 0; i < sqlite3_column_count(pStmt); i++)
            strRow += std::string((const char*)sqlite3_column_text(pStmt, i)) + "|";
        EXPECT_EQ(SQLITE_DONE, sqlite3_step(pStmt));
        EXPECT_EQ(row.pszExpected, strRow);
        sqlite3_finalize(pStmt);
        sqlite3_close(db);
    }

    memset(aszEntries, 0, sizeof(aszEntries));
    memset(aszDates, 0, sizeof(aszDates));
    memset(aszTimes, 0, sizeof(aszTimes));
    list.m_nALLOWCFG_F = 0;
    event.m_nONLINE_F = 0;
    ASSERT_EQ(1, DatabaseEFRetrieveRecord(&strConfig[0], &list));
    ASSERT_EQ(1, DatabaseCERetrieveRecord(&strData[0], &event));
    EXPECT_EQ(1, list.m_nALLOWCFG_F);
    EXPECT_EQ(1, event.m_nONLINE_F);
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
        EXPECT_EQ("C:\\Skip\\" + std::to_string(i + 1), aszEntries[i]);
    for (int i = 0; i < LEDRA_EVENT_SLOTS; i++)
    {
        EXPECT_EQ("200001" + std::string(i + 1 < 10 ? "0" : "") + std::to_string(i + 1), aszDates[i]);
        EXPECT_EQ("1200" + std::string(i < 10 ? "0" : "") + std::to_string(i), aszTimes[i]);
    }
}

// Several threads of one process writing at once, each through its own opening of the
// files, lose nothing.
TEST_F(LedraTest, ConcurrentWritersLoseNothing)
{
    const int THREADS = 4, WRITES = 25;
    std::vector<std::thread> threads;
    volatile LONG nFailures = 0;
    std::string strLog = Folder("Log"), strData = Folder("Data");
    for (int t = 0; t < THREADS; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < WRITES; i++)
            {
                CRecord log(C4T_REALTIME_SCAN_LOG);
                log.Fill(GUID_A, t * 1000 + i);
                if (!c4Append("test", C4T_REALTIME_SCAN_LOG, strLog.c_str(), log.Get()))
                    InterlockedIncrement((LONG*)&nFailures);
                CRecord event(C4T_CLIENT_EVENT);
                event.Fill(t % 2 ? GUID_A : GUID_B, i);
                if (!c4Update("test", C4T_CLIENT_EVENT, strData.c_str(), event.Get()))
                    InterlockedIncrement((LONG*)&nFailures);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, nFailures);
    EXPECT_EQ(THREADS * WRITES, countRecords(C4T_REALTIME_SCAN_LOG, strLog));
    EXPECT_EQ(2, countRecords(C4T_CLIENT_EVENT, strData));
}
}

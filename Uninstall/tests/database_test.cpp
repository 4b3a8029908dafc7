// File-based mode: every record of the client goes, in its order, and a failure does not
// stop the removals after it; the texts of the libraries' error codes.
#include "UninstallDatabase.h"
#include "c4dll.h"
#include "uninstall_fixture.h"

#include <string.h>

namespace
{
const char CLIENT_GUID[] = "0b1e2c3d-4f50-6172-8394-a5b6c7d8e9f0";
const char OTHER_GUID[] = "9a8b7c6d-5e4f-3a2b-1c0d-efdcba987654";

int C4API CountOne(void*, long long, const void*)
{
    return 0;
}

struct SMaster
{
    std::string strConfig, strData, strLog;

    SMaster()
    {
        std::string strRoot = FreshScratchFolder("master");
        CreateDirectoryA((strRoot + "\\FILEDB").c_str(), NULL);
        strConfig = strRoot + "\\FILEDB\\Config";
        strData = strRoot + "\\FILEDB\\Data";
        strLog = strRoot + "\\FILEDB\\Log";
        for (const std::string* p : {&strConfig, &strData, &strLog})
            CreateDirectoryA(p->c_str(), NULL);
    }

    int Records(int nTable, const char* pszGuid) const
    {
        const std::string& strFolder = nTable <= C4T_EXCLUSION_FILE_CFG ? strConfig
                                       : nTable <= C4T_CLIENT_EVENT      ? strData
                                                                         : strLog;
        return c4Enumerate(nTable, strFolder.c_str(), pszGuid, CountOne, NULL);
    }
};

char* Folder(const std::string& str)
{
    return const_cast<char*>(str.c_str());
}

// Every record kind for the client, two records in each log; fAll FALSE leaves out the
// real-time configuration and the client information.
void AddRecords(const SMaster& master, const char* pszGuid, bool fAll = true)
{
    char szGuid[LEDRA_CB_GUID];
    strcpy(szGuid, pszGuid);
    SManualScanCfg manual;
    SRealtimeScanCfg realtime;
    SRemoteScanCfg remote;
    SScheduleScanCfg schedule;
    SExclusionFileCfg exclusion;
    SClientInfo info;
    SClientEvent event;
    manual.m_record.m_pszGUID_F = realtime.m_record.m_pszGUID_F = remote.m_record.m_pszGUID_F = szGuid;
    schedule.m_record.m_pszGUID_F = exclusion.m_record.m_pszGUID_F = info.m_record.m_pszGUID_F = szGuid;
    event.m_record.m_pszGUID_F = szGuid;
    ASSERT_TRUE(DatabaseMSUpdateRecord(Folder(master.strConfig), &manual.m_record));
    if (fAll)
        ASSERT_TRUE(DatabaseRTUpdateRecord(Folder(master.strConfig), &realtime.m_record));
    ASSERT_TRUE(DatabaseSNUpdateRecord(Folder(master.strConfig), &remote.m_record));
    ASSERT_TRUE(DatabasePSUpdateRecord(Folder(master.strConfig), &schedule.m_record));
    ASSERT_TRUE(DatabaseEFUpdateRecord(Folder(master.strConfig), &exclusion.m_record));
    if (fAll)
        ASSERT_TRUE(DatabaseCIUpdateRecord(Folder(master.strData), &info.m_record));
    ASSERT_TRUE(DatabaseCEUpdateRecord(Folder(master.strData), &event.m_record));
    for (int i = 0; i < 2; ++i)
    {
        SScanLogRecord log;
        log.m_record.m_pszGUID_F = szGuid;
        ASSERT_TRUE(DatabaseMSLAddNewRecord(Folder(master.strLog), &log.m_record));
        ASSERT_TRUE(DatabaseRTLAddNewRecord(Folder(master.strLog), &log.m_record));
        ASSERT_TRUE(DatabasePSLAddNewRecord(Folder(master.strLog), &log.m_record));
        ASSERT_TRUE(DatabaseSNLAddNewRecord(Folder(master.strLog), &log.m_record));
    }
}
}

class DatabaseRemovalTest : public UninstallTest
{
};

TEST_F(DatabaseRemovalTest, EveryRecordOfTheClientGoesAndOnlyThose)
{
    SMaster master;
    AddRecords(master, CLIENT_GUID);
    AddRecords(master, OTHER_GUID);
    EXPECT_TRUE(removeClientInfoRecord(master.strData.c_str(), CLIENT_GUID));
    EXPECT_TRUE(removeClientEventRecord(master.strData.c_str(), CLIENT_GUID));
    EXPECT_TRUE(removeCfgRecord(master.strConfig.c_str(), CLIENT_GUID));
    EXPECT_TRUE(removeAllLog(master.strLog.c_str(), CLIENT_GUID));
    for (int nTable = 0; nTable < C4T_COUNT; ++nTable)
    {
        bool fLog = nTable >= C4T_MANUAL_SCAN_LOG;
        EXPECT_EQ(0, master.Records(nTable, CLIENT_GUID)) << "table " << nTable;
        EXPECT_EQ(fLog ? 2 : 1, master.Records(nTable, OTHER_GUID)) << "table " << nTable;
    }
}

TEST_F(DatabaseRemovalTest, AFailureDoesNotStopTheRemovalsAfterIt)
{
    SMaster master;
    AddRecords(master, CLIENT_GUID, false);
    EXPECT_FALSE(removeClientInfoRecord(master.strData.c_str(), CLIENT_GUID));
    EXPECT_EQ(LEDRA_E_NOT_FOUND, DatabaseDataGetLastError());
    EXPECT_TRUE(removeClientEventRecord(master.strData.c_str(), CLIENT_GUID));
    // The real-time configuration is missing: the scheduled, scan-now and exclusion-list
    // records after it still go.
    EXPECT_FALSE(removeCfgRecord(master.strConfig.c_str(), CLIENT_GUID));
    EXPECT_TRUE(removeAllLog(master.strLog.c_str(), CLIENT_GUID));
    for (int nTable = 0; nTable < C4T_COUNT; ++nTable)
        EXPECT_EQ(0, master.Records(nTable, CLIENT_GUID)) << "table " << nTable;
    // Logs without a record of the client are no failure.
    EXPECT_TRUE(removeAllLog(master.strLog.c_str(), CLIENT_GUID));
}

TEST_F(DatabaseRemovalTest, AMissingMasterFolderFailsEveryRemoval)
{
    std::string strNowhere = ScratchFile("nowhere\\FILEDB\\Data");
    EXPECT_FALSE(removeClientInfoRecord(strNowhere.c_str(), CLIENT_GUID));
    EXPECT_FALSE(removeClientEventRecord(strNowhere.c_str(), CLIENT_GUID));
    EXPECT_FALSE(removeCfgRecord(strNowhere.c_str(), CLIENT_GUID));
    EXPECT_FALSE(removeAllLog(strNowhere.c_str(), CLIENT_GUID));
    EXPECT_EQ(LEDRA_E_FOLDER, DatabaseDataGetLastError());
}

TEST_F(DatabaseRemovalTest, ErrorTextsOfTheLibraryCodes)
{
    EXPECT_STREQ("No error.", getDatabaseErrorText(0));
    EXPECT_STREQ("The record was not found.", getDatabaseErrorText(-8));
    EXPECT_STREQ("An unknown database error occurred.", getDatabaseErrorText(-17));
    EXPECT_STREQ("", getDatabaseErrorText(-18));
    EXPECT_STREQ("", getDatabaseErrorText(5));
}

TEST_F(DatabaseRemovalTest, TheFoldersBelowTheMasterFolder)
{
    RegSetText(PRODUCT_KEY, "MasterDirectory", "\\\\server\\share\\master\\");
    EXPECT_STREQ("\\\\server\\share\\master\\FILEDB", getFileDbFolder());
    EXPECT_STREQ("\\\\server\\share\\master\\FILEDB\\Config", getFileDbConfigFolder());
    EXPECT_STREQ("\\\\server\\share\\master\\FILEDB\\Data", getFileDbDataFolder());
    EXPECT_STREQ("\\\\server\\share\\master\\FILEDB\\Log", getFileDbLogFolder());
}

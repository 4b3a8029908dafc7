#include "UninstallDatabase.h"

#include "LogTracker.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "UninstallErrors.h"
#include "resource_ids.h"

#include <string.h>

namespace
{
void CopyGuidText(char* pszBuffer, const CString& strGuid)
{
    lstrcpynA(pszBuffer, strGuid, LEDRA_CB_GUID);
}

char* Folder(const CString& strFolder)
{
    return const_cast<char*>((LPCSTR)strFolder);
}

// The library's result; a failure is traced with the library's error text.
int Checked(int nResult, LPCSTR pszErrorFormat)
{
    if (nResult == 0)
        NS_Debug::GetLogTracker().Trace(12, pszErrorFormat, (LPCSTR)getDatabaseErrorText(), __FILE__, __LINE__);
    return nResult;
}
}

CString getFileDbFolder()
{
    CString strFolder;
    concatPath(strFolder, NS_RegistryKey::GetMasterDirectory(), "FILEDB");
    return strFolder;
}

CString getFileDbConfigFolder()
{
    CString strFolder;
    concatPath(strFolder, getFileDbFolder(), "Config");
    return strFolder;
}

CString getFileDbDataFolder()
{
    CString strFolder;
    concatPath(strFolder, getFileDbFolder(), "Data");
    return strFolder;
}

CString getFileDbLogFolder()
{
    CString strFolder;
    concatPath(strFolder, getFileDbFolder(), "Log");
    return strFolder;
}

CString getDatabaseErrorText(int nCode)
{
    if (nCode > 0 || nCode < -17)
        return CString();
    return loadUninstallString(IDS_DATABASE_ERROR_0 - nCode);
}

CString getDatabaseErrorText()
{
    return getDatabaseErrorText(DatabaseDataGetLastError());
}

// ---- configuration records ----

SCommonScanCfg::SCommonScanCfg()
{
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_szExtList, 0, sizeof(m_szExtList));
    memset(m_szMoveDir, 0, sizeof(m_szMoveDir));
    memset(m_szCleanFailedMoveDir, 0, sizeof(m_szCleanFailedMoveDir));
}

SCommonScanCfg::~SCommonScanCfg() {}
int SCommonScanCfg::RetrieveRecord(const CString&, const CString&) { return 0; }
int SCommonScanCfg::RemoveRecord(const CString&, const CString&) { return 0; }
int SCommonScanCfg::UpdateRecord(const CString&, const CString&) { return 0; }

void SCommonScanCfg::CopyGuid(const CString& strGuid)
{
    CopyGuidText(m_szGUID, strGuid);
}

// Zeroes the record and points its four text fields at the wrapper's buffers.
#define VGL_INIT_CFG_RECORD(record)                          \
    memset(&(record), 0, sizeof(record));                    \
    (record).m_pszGUID_F = m_szGUID;                         \
    (record).m_pszEXTLIST_F = m_szExtList;                   \
    (record).m_pszMOVEDIR_F = m_szMoveDir;                   \
    (record).m_pszCLEANFAILEDMOVEDIR_F = m_szCleanFailedMoveDir

SManualScanCfg::SManualScanCfg() { VGL_INIT_CFG_RECORD(m_record); }
SRealtimeScanCfg::SRealtimeScanCfg() { VGL_INIT_CFG_RECORD(m_record); }
SRemoteScanCfg::SRemoteScanCfg() { VGL_INIT_CFG_RECORD(m_record); }
SScheduleScanCfg::SScheduleScanCfg() { VGL_INIT_CFG_RECORD(m_record); }

int SManualScanCfg::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    CopyGuid(strGuid);
    return Checked(DatabaseMSRemoveRecord(Folder(strMasterDir), &m_record),
                   "    DatabaseMSRemoveRecord(Error = %s), %s|%d");
}

int SRealtimeScanCfg::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    CopyGuid(strGuid);
    return Checked(DatabaseRTRemoveRecord(Folder(strMasterDir), &m_record),
                   "    DatabaseRTRemoveRecord(Error = %s), %s|%d");
}

int SScheduleScanCfg::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    CopyGuid(strGuid);
    return Checked(DatabasePSRemoveRecord(Folder(strMasterDir), &m_record),
                   "    DatabasePSRemoveRecord(Error = %s), %s|%d");
}

int SRemoteScanCfg::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    CopyGuid(strGuid);
    return Checked(DatabaseSNRemoveRecord(Folder(strMasterDir), &m_record),
                   "    DatabaseSNRemoveRecord(Error = %s), %s|%d");
}

SExclusionFileCfg::SExclusionFileCfg()
{
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_aszEntries, 0, sizeof(m_aszEntries));
    memset(&m_record, 0, sizeof(m_record));
    m_record.m_pszGUID_F = m_szGUID;
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; ++i)
        m_record.m_ppszEXCLUSIONFILE_F[i] = m_aszEntries[i];
}

SExclusionFileCfg::~SExclusionFileCfg() {}
int SExclusionFileCfg::RetrieveRecord(const CString&, const CString&) { return 0; }
int SExclusionFileCfg::UpdateRecord(const CString&, const CString&) { return 0; }

int SExclusionFileCfg::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    VGLTRACE(1, "--> SExclusionFileCfg::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s)",
             (LPCSTR)strMasterDir, (LPCSTR)strGuid);
    CopyGuidText(m_szGUID, strGuid);
    int fSuccess = Checked(DatabaseEFRemoveRecord(Folder(strMasterDir), &m_record),
                           "    DatabaseEFRemoveRecord(Error = %s), %s|%d");
    VGLTRACE(2, "<-- SExclusionFileCfg::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s), "
                "fSuccess = %d",
             (LPCSTR)strMasterDir, (LPCSTR)strGuid, fSuccess);
    return fSuccess;
}

// ---- client records ----

SClientInfo::SClientInfo()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_szComputer, 0, sizeof(m_szComputer));
    memset(m_szPlatform, 0, sizeof(m_szPlatform));
    memset(m_szField4, 0, sizeof(m_szField4));
    memset(m_szDomain, 0, sizeof(m_szDomain));
    memset(m_szDriverVersion, 0, sizeof(m_szDriverVersion));
    memset(m_szField9, 0, sizeof(m_szField9));
    m_record.m_pszGUID_F = m_szGUID;
    m_record.m_pszCOMPUTERNAME_F = m_szComputer;
    m_record.m_pszPLATFORM_F = m_szPlatform;
    m_record.m_pszFIELD4_F = m_szField4;
    m_record.m_pszDOMAIN_F = m_szDomain;
    m_record.m_pszDRIVERVERSION_F = m_szDriverVersion;
    m_record.m_pszFIELD9_F = m_szField9;
}

int SClientInfo::RemoveRecord(const CString& strMasterDir, const CString& strGuid)
{
    VGLTRACE(1, "--> SClientInfo::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s)",
             (LPCSTR)strMasterDir, (LPCSTR)strGuid);
    CopyGuidText(m_szGUID, strGuid);
    int fSuccess = Checked(DatabaseCIRemoveRecord(Folder(strMasterDir), &m_record, 0),
                           "    DatabaseCIRemoveRecord(Error = %s), %s|%d");
    VGLTRACE(2, "<-- SClientInfo::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s), "
                "fSuccess = %d",
             (LPCSTR)strMasterDir, (LPCSTR)strGuid, fSuccess);
    return fSuccess;
}

SClientEvent::SClientEvent()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_aszDate, 0, sizeof(m_aszDate));
    memset(m_aszTime, 0, sizeof(m_aszTime));
    m_record.m_pszGUID_F = m_szGUID;
    for (int i = 0; i < LEDRA_EVENT_SLOTS; ++i)
    {
        m_record.m_aSLOT_F[i].m_pszDATE_F = m_aszDate[i];
        m_record.m_aSLOT_F[i].m_pszTIME_F = m_aszTime[i];
    }
}

void SClientEvent::SetGuid(const CString& strGuid)
{
    CopyGuidText(m_szGUID, strGuid);
}

// ---- scan logs ----

SScanLogRecord::SScanLogRecord()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_szLogin, 0, sizeof(m_szLogin));
    memset(m_szDate, 0, sizeof(m_szDate));
    memset(m_szTime, 0, sizeof(m_szTime));
    memset(m_szVirus, 0, sizeof(m_szVirus));
    memset(m_szFile, 0, sizeof(m_szFile));
    memset(m_szCompressedFile, 0, sizeof(m_szCompressedFile));
    memset(m_szDirectory, 0, sizeof(m_szDirectory));
    m_record.m_pszGUID_F = m_szGUID;
    m_record.m_pszLOGIN_F = m_szLogin;
    m_record.m_pszDATE_F = m_szDate;
    m_record.m_pszTIME_F = m_szTime;
    m_record.m_pszVIRUS_F = m_szVirus;
    m_record.m_pszFILE_F = m_szFile;
    m_record.m_pszCOMPRESSEDFILE_F = m_szCompressedFile;
    m_record.m_pszDIRECTORY_F = m_szDirectory;
}

void SScanLogRecord::SetGuid(const CString& strGuid)
{
    CopyGuidText(m_szGUID, strGuid);
}

#define VGL_REMOVE_ALL_LOG(Class, Function)                                                                 \
    int Class::RemoveAllRecord(const CString& strMasterDir, const CString& strGuid)                          \
    {                                                                                                       \
        VGLTRACE(1, "--> " #Class "::RemoveAllRecord(const CString& strMasterDir = %s, "                    \
                    "const CString& strGuid = %s)",                                                         \
                 (LPCSTR)strMasterDir, (LPCSTR)strGuid);                                                    \
        SetGuid(strGuid);                                                                                   \
        int fSuccess = Checked(Function(Folder(strMasterDir), &m_record, 0),                                \
                               "    " #Function "(Error = %s), %s|%d");                                    \
        VGLTRACE(2, "<-- " #Class "::RemoveAllRecord(const CString& strMasterDir = %s, "                    \
                    "const CString& strGuid = %s), fSuccess = %d",                                          \
                 (LPCSTR)strMasterDir, (LPCSTR)strGuid, fSuccess);                                          \
        return fSuccess;                                                                                    \
    }

VGL_REMOVE_ALL_LOG(SManualScanLog, DatabaseMSLRemoveAll)
VGL_REMOVE_ALL_LOG(SRealtimeScanLog, DatabaseRTLRemoveAll)
VGL_REMOVE_ALL_LOG(SScheduleScanLog, DatabasePSLRemoveAll)
VGL_REMOVE_ALL_LOG(SRemoteScanLog, DatabaseSNLRemoveAll)

// ---- the four removals ----

BOOL removeClientInfoRecord(const CString& strDataFolder, const CString& strGuid)
{
    SClientInfo record;
    return record.RemoveRecord(strDataFolder, strGuid) != 0;
}

BOOL removeClientEventRecord(const CString& strDataFolder, const CString& strGuid)
{
    SClientEvent record;
    record.SetGuid(strGuid);
    return DatabaseCERemoveRecord(Folder(strDataFolder), &record.m_record) != 0;
}

BOOL removeCfgRecord(const CString& strConfigFolder, const CString& strGuid)
{
    SManualScanCfg manual;
    SRealtimeScanCfg realtime;
    SScheduleScanCfg schedule;
    SRemoteScanCfg remote;
    SExclusionFileCfg exclusion;
    SCommonScanCfg* apRecords[] = {&manual, &realtime, &schedule, &remote};
    BOOL fAll = TRUE;
    for (SCommonScanCfg* pRecord : apRecords)
        fAll = (pRecord->RemoveRecord(strConfigFolder, strGuid) != 0) && fAll;
    fAll = (exclusion.RemoveRecord(strConfigFolder, strGuid) != 0) && fAll;
    return fAll;
}

BOOL removeAllLog(const CString& strLogFolder, const CString& strGuid)
{
    VGLTRACE(1, "--> removeAllLog(const CString& strMasterDir = %s, const CString& strGuid = %s))",
             (LPCSTR)strLogFolder, (LPCSTR)strGuid);
    SManualScanLog manual;
    SRealtimeScanLog realtime;
    SScheduleScanLog schedule;
    SRemoteScanLog remote;
    BOOL fAll = manual.RemoveAllRecord(strLogFolder, strGuid) != 0;
    fAll = (realtime.RemoveAllRecord(strLogFolder, strGuid) != 0) && fAll;
    fAll = (schedule.RemoveAllRecord(strLogFolder, strGuid) != 0) && fAll;
    fAll = (remote.RemoveAllRecord(strLogFolder, strGuid) != 0) && fAll;
    VGLTRACE(2, "<-- removeAllLog(const CString& strMasterDir = %s, const CString& strGuid = %s)), fSuccess = %d",
             (LPCSTR)strLogFolder, (LPCSTR)strGuid, fAll);
    return fAll;
}

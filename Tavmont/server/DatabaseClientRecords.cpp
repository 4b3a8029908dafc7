// The client's information, event and virus-log records.
#include "DatabaseClientRecords.h"

#include "CommonScanINI.h"
#include "DatabaseAccess.h"
#include "DatabaseScanCfg.h"
#include "ExclusionFileINI.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "ScheduleScan.h"
#include "StringUtils.h"
#include "SystemInfo.h"

#include <string.h>

namespace
{
void traceFailure(const char* pszFunction)
{
    VGLTRACE(12, "    %s(Error = %s)", pszFunction, (LPCSTR)NS_DataBase::GetErrorText());
}

BOOL folderExists(const CString& strFolder)
{
    BOOL fDirExist = isDirectoryExist(strFolder);
    if (!fDirExist)
        VGLTRACE(12, "fDirExist(%d) = ::isDirectoryExist(strMasterDir = %s)", fDirExist, (LPCSTR)strFolder);
    return fDirExist;
}

// The library wants a writable folder text.
class CFolderText
{
public:
    explicit CFolderText(const CString& strFolder) : m_strFolder(strFolder) {}
    operator char*() { return m_strFolder.GetBuffer(0); }

private:
    CString m_strFolder;
};

// The engine driver's file version, cut to "X.XXX".
CString driverVersion()
{
    char szVersion[128] = "";
    if (!getFileVersionString(joinPath(getModulePath(), "VEXOR32.VXD"), szVersion, sizeof(szVersion)))
        return CString();
    szVersion[5] = '\0';
    return szVersion;
}
}

// ---- SClientInfo ----

SClientInfo::SClientInfo()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_szComputerName, 0, sizeof(m_szComputerName));
    memset(m_szPlatform, 0, sizeof(m_szPlatform));
    memset(m_szField4, 0, sizeof(m_szField4));
    memset(m_szDomain, 0, sizeof(m_szDomain));
    memset(m_szDriverVersion, 0, sizeof(m_szDriverVersion));
    memset(m_szField9, 0, sizeof(m_szField9));
    m_record.m_pszGUID_F = m_szGUID;
    m_record.m_pszCOMPUTERNAME_F = m_szComputerName;
    m_record.m_pszPLATFORM_F = m_szPlatform;
    m_record.m_pszFIELD4_F = m_szField4;
    m_record.m_pszDOMAIN_F = m_szDomain;
    m_record.m_pszDRIVERVERSION_F = m_szDriverVersion;
    m_record.m_pszFIELD9_F = m_szField9;
}

int SClientInfo::UpdateStatus(const CString& strFolder, const CString& strGuid)
{
    if (!folderExists(strFolder))
        return 0;
    CFolderText folder(strFolder);
    copyRecordText(m_szGUID, sizeof(m_szGUID), strGuid);
    BOOL fSuccess = DatabaseCIRetrieveRecord(folder, &m_record, 0);
    BOOL fRecordNotFound = FALSE;
    if (!fSuccess)
    {
        traceFailure("DatabaseCIRetrieveRecord");
        fRecordNotFound = DatabaseDataGetLastError() == LEDRA_E_NOT_FOUND;
    }
    if (fRecordNotFound)
    {
        // A client new to the database: the permissions are the client's own until the
        // server sets them.
        m_record.m_nALLOWUNINSTALL_F = NS_RegistryKey::GetAllowUninstall();
        m_record.m_nALLOWUNLOAD_F = NS_RegistryKey::GetAllowUnload();
        m_record.m_nUSEPROXY_F = NS_RegistryKey::GetUseProxy();
        m_record.m_nHTTPMODE_F = NS_RegistryKey::IsHttpBased();
        CString strDomain = getDomainName();
        capitalizeFirstLetter(strDomain);
        copyRecordText(m_szDomain, sizeof(m_szDomain), strDomain);
    }
    VGLTRACE(3, "fSuccess(%d) || (!fSuccess && fRecordNotFound = %d)", fSuccess, fRecordNotFound);
    if (!fSuccess && !fRecordNotFound)
        return 0;

    copyRecordText(m_szComputerName, sizeof(m_szComputerName), getLocalComputerName());
    copyRecordText(m_szPlatform, sizeof(m_szPlatform), NS_DataBase::GetPlatformName());
    int nPattern = 0;
    if (NS_DataBase::GetPatternVersionNumber(&nPattern))
        m_record.m_nPATTERNVERSION_F = nPattern;
    DWORD dwMajor = 0, dwMinor = 0;
    if (NS_RegistryKey::GetProgramVersionNumbers(&dwMajor, &dwMinor))
        m_record.m_fPROGRAMVERSION_F = (float)dwMajor + (float)dwMinor / 100.0f;
    copyRecordText(m_szDriverVersion, sizeof(m_szDriverVersion), driverVersion());

    int nResult = DatabaseCIUpdateRecord(folder, &m_record);
    if (!nResult)
        traceFailure("DatabaseCIUpdateRecord");

    if (fRecordNotFound)
    {
        VGLTRACE(3, "    fRecordNotFound = %d", fRecordNotFound);
        // Its configuration records from its current settings (no server-started scan record).
        CString strConfig = NS_DataBase::GetConfigFolder();
        CManualScanINI manualScratch;
        SManualScanCfg manual;
        manual.CopyFrom(NS_DataBase::CurrentManualScan(manualScratch));
        manual.UpdateRecord(strConfig, strGuid);
        CRealTimeScanINI realtimeScratch;
        SRealtimeScanCfg realtime;
        realtime.CopyFrom(NS_DataBase::CurrentRealTimeScan(realtimeScratch));
        realtime.UpdateRecord(strConfig, strGuid);
        CScheduleScanINI scheduleScratch;
        SScheduleScanCfg schedule;
        schedule.CopyFrom(NS_DataBase::CurrentScheduleScan(scheduleScratch));
        schedule.UpdateRecord(strConfig, strGuid);
        CExclusionFileINI exclusionScratch;
        SExclusionFileCfg exclusion;
        exclusion.CopyFrom(NS_DataBase::CurrentExclusionFile(exclusionScratch));
        exclusion.UpdateRecord(strConfig, strGuid);
        SStatusLog status;
        status.UpdateStatus(strFolder, strGuid, EVENT_TYPE_SETTINGS, CTime::GetCurrentTime());
    }
    return nResult;
}

// ---- SStatusLog ----

SStatusLog::SStatusLog()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_aszDate, 0, sizeof(m_aszDate));
    memset(m_aszTime, 0, sizeof(m_aszTime));
    m_record.m_pszGUID_F = m_szGUID;
    for (int i = 0; i < LEDRA_EVENT_SLOTS; i++)
    {
        m_record.m_aSLOT_F[i].m_pszDATE_F = m_aszDate[i];
        m_record.m_aSLOT_F[i].m_pszTIME_F = m_aszTime[i];
    }
}

int SStatusLog::SlotOfType(int nType)
{
    switch (nType)
    {
    case 8: return 0;     // pattern rollback
    case 9: return 1;     // engine rollback
    case 10: return 2;
    case 11: return 3;
    case 1: return 4;     // manual scan
    case 2: return 5;     // real-time scan
    case 3: return 6;     // scheduled scan
    case 4: return 7;     // scan now
    case EVENT_TYPE_SETTINGS: return 8;
    case EVENT_TYPE_CLOSE: return 9;
    case EVENT_TYPE_START: return 10;
    default: return -1;
    }
}

int SStatusLog::OnlineOfType(int nType)
{
    switch (nType)
    {
    case EVENT_TYPE_SETTINGS:
    case EVENT_TYPE_START:
        return 1;
    case EVENT_TYPE_CLOSE:
        return 0;
    default:
        return -1;
    }
}

int SStatusLog::UpdateStatus(const CString& strFolder, const CString& strGuid, int nType, const CTime& time)
{
    copyRecordText(m_szGUID, sizeof(m_szGUID), strGuid);
    if (!folderExists(strFolder))
        return 0;
    CFolderText folder(strFolder);
    if (!DatabaseCERetrieveRecord(folder, &m_record))
    {
        traceFailure("DatabaseCERetrieveRecord");
        // Only a missing record is made anew: a record that could not be read for another
        // reason keeps its other slots, and the log is tried again later.
        if (DatabaseDataGetLastError() != LEDRA_E_NOT_FOUND)
            return 0;
        if (!DatabaseCEUpdateRecord(folder, &m_record))
        {
            traceFailure("DatabaseCEUpdateRecord");
            return 0;
        }
    }

    int nSlot = SlotOfType(nType);
    if (nSlot >= 0)
    {
        sprintf(m_aszDate[nSlot], "%04d%02d%02d", time.GetYear() % 10000, time.GetMonth(), time.GetDay());
        sprintf(m_aszTime[nSlot], "%02d%02d%02d", time.GetHour(), time.GetMinute(), time.GetSecond());
    }
    int nOnline = OnlineOfType(nType);
    if (nOnline >= 0)
        m_record.m_nONLINE_F = nOnline;

    int nResult = DatabaseCEUpdateRecord(folder, &m_record);
    if (!nResult)
        traceFailure("DatabaseCEUpdateRecord");
    else if (nType == EVENT_TYPE_START)
    {
        SClientInfo info;
        info.UpdateStatus(strFolder, strGuid);
    }
    // The write's own result: a log whose write failed stays queued.
    return nResult;
}

// ---- the scan logs ----

SScanLog::SScanLog()
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

SScanLog::~SScanLog()
{
}

int SScanLog::Add(PFN_ADD pfnAdd, const char* pszName, const CString& strFolder, const CString& strGuid,
                  const CLogReportItem& item)
{
    copyRecordText(m_szGUID, sizeof(m_szGUID), strGuid);
    copyRecordText(m_szLogin, sizeof(m_szLogin), item.m_strLogin);
    copyRecordText(m_szDate, sizeof(m_szDate), item.GetDateText());
    copyRecordText(m_szTime, sizeof(m_szTime), item.GetTimeText());
    copyRecordText(m_szVirus, sizeof(m_szVirus), item.m_strVirus);
    copyRecordText(m_szFile, sizeof(m_szFile), item.GetFileName());
    copyRecordText(m_szCompressedFile, sizeof(m_szCompressedFile), item.m_strCompressedFile);
    copyRecordText(m_szDirectory, sizeof(m_szDirectory), item.GetDirectory());
    m_record.m_nFIRSTACTION_F = item.m_nFirstAction;
    m_record.m_nFIRSTRESULT_F = item.m_nFirstStatus ? 1 : -1;
    // The second action counts only after a failed cleaning.
    if (item.m_nFirstAction == LOG_ACTION_CLEAN && item.m_nFirstStatus == 0)
    {
        m_record.m_nSECONDACTION_F = item.m_nSecondAction;
        m_record.m_nSECONDRESULT_F = item.m_nSecondStatus ? 1 : -1;
    }
    else
    {
        m_record.m_nSECONDACTION_F = 0;
        m_record.m_nSECONDRESULT_F = 0;
    }
    CFolderText folder(strFolder);
    int nResult = pfnAdd(folder, &m_record);
    if (!nResult)
        traceFailure(pszName);
    return nResult;
}

int SManualScanLog::AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item)
{
    return Add(DatabaseMSLAddNewRecord, "DatabaseMSLAddNewRecord", strFolder, strGuid, item);
}

int SRealtimeScanLog::AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item)
{
    return Add(DatabaseRTLAddNewRecord, "DatabaseRTLAddNewRecord", strFolder, strGuid, item);
}

int SScheduleScanLog::AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item)
{
    return Add(DatabasePSLAddNewRecord, "DatabasePSLAddNewRecord", strFolder, strGuid, item);
}

int SRemoteScanLog::AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item)
{
    return Add(DatabaseSNLAddNewRecord, "DatabaseSNLAddNewRecord", strFolder, strGuid, item);
}

// Scan-configuration records: settings objects to and from the configuration library.
#include "DatabaseScanCfg.h"

#include "CommonScanINI.h"
#include "DatabaseAccess.h"
#include "ExclusionFileINI.h"
#include "LogTracker.h"
#include "ScheduleScan.h"

#include <string.h>

void copyRecordText(char* pszBuffer, int cb, LPCSTR pszText)
{
    if (pszBuffer == NULL || cb <= 0)
        return;
    int nKeep = 0;
    if (pszText != NULL)
    {
        while (pszText[nKeep] != '\0')
        {
            int nNext = nKeep + (IsDBCSLeadByte((BYTE)pszText[nKeep]) && pszText[nKeep + 1] != '\0' ? 2 : 1);
            if (nNext > cb - 1)
                break;
            nKeep = nNext;
        }
        memcpy(pszBuffer, pszText, nKeep);
    }
    pszBuffer[nKeep] = '\0';
}

namespace
{
template <class TRecord>
void pointCommon(TRecord& record, char* pszGuid, char* pszExtList, char* pszMoveDir, char* pszFailedDir)
{
    record.m_pszGUID_F = pszGuid;
    record.m_pszEXTLIST_F = pszExtList;
    record.m_pszMOVEDIR_F = pszMoveDir;
    record.m_pszCLEANFAILEDMOVEDIR_F = pszFailedDir;
}

void traceFailure(const char* pszFunction)
{
    VGLTRACE(12, "    %s(Error = %s)", pszFunction, (LPCSTR)NS_DataBase::GetErrorText());
}
}

// ---- SCommonScanCfg ----

SCommonScanCfg::SCommonScanCfg()
{
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_szExtList, 0, sizeof(m_szExtList));
    memset(m_szMoveDir, 0, sizeof(m_szMoveDir));
    memset(m_szCleanFailedMoveDir, 0, sizeof(m_szCleanFailedMoveDir));
}

SCommonScanCfg::~SCommonScanCfg()
{
}

int SCommonScanCfg::RetrieveRecord(const CString&, const CString&)
{
    return 0;
}

int SCommonScanCfg::RemoveRecord(const CString&, const CString&)
{
    return 0;
}

int SCommonScanCfg::UpdateRecord(const CString&, const CString&)
{
    return 0;
}

void SCommonScanCfg::WriteIniFile(const CString&)
{
}

template <class TRecord>
int SCommonScanCfg::Call(const SLibrary<TRecord>& library, CallKind call, TRecord& record,
                         const CString& strFolder, const CString& strGuid)
{
    copyRecordText(m_szGUID, sizeof(m_szGUID), strGuid);
    CString strPath = strFolder;
    char* pszFolder = strPath.GetBuffer(0);
    int nResult = 0;
    const char* pszName = NULL;
    switch (call)
    {
    case CALL_RETRIEVE:
        nResult = library.pfnRetrieve(pszFolder, &record);
        pszName = library.pszRetrieve;
        break;
    case CALL_UPDATE:
        nResult = library.pfnUpdate(pszFolder, &record);
        pszName = library.pszUpdate;
        break;
    case CALL_REMOVE:
        nResult = library.pfnRemove(pszFolder, &record);
        pszName = library.pszRemove;
        break;
    }
    strPath.ReleaseBuffer();
    if (!nResult)
        traceFailure(pszName);
    return nResult;
}

template <class TRecord>
int SCommonScanCfg::Retrieve(const SLibrary<TRecord>& library, TRecord& record, const CString& strFolder,
                             const CString& strGuid, BOOL fFromSettings)
{
    int nResult = Call(library, CALL_RETRIEVE, record, strFolder, strGuid);
    if (nResult)
        return nResult;
    // Only a client new to the database gets a record made from its own settings: a record
    // that could not be read for another reason is never written over.
    if (DatabaseDataGetLastError() != LEDRA_E_NOT_FOUND)
        return 0;
    if (fFromSettings)
        FillFromCurrentSettings();
    Call(library, CALL_UPDATE, record, strFolder, strGuid);
    return Call(library, CALL_RETRIEVE, record, strFolder, strGuid);
}

template <class TRecord>
void SCommonScanCfg::CopyCommon(TRecord& record, const CCommonScanINI& ini)
{
    record.m_nSCANBOOT_F = ini.m_fScanBoot;
    record.m_nSCANCOMPRESSED_F = ini.m_fScanCompressed;
    record.m_nCOMPRESSEDLAYER_F = ini.m_nCompressedLayer;
    record.m_nSCANALLFILES_F = ini.m_fScanAllFiles;
    copyRecordText(m_szExtList, sizeof(m_szExtList), ini.m_strExtList);
    record.m_nVIRUSFOUNDACTION_F = ini.m_nVirusFoundAction;
    record.m_nBKUPIFCLEAN_F = ini.m_fBkUpIfClean;
    copyRecordText(m_szMoveDir, sizeof(m_szMoveDir), ini.m_strMoveDir);
    record.m_nCLEANFAILEDACTION_F = ini.m_nCleanFailedAction;
    copyRecordText(m_szCleanFailedMoveDir, sizeof(m_szCleanFailedMoveDir), ini.m_strCleanFailedMoveDir);
}

template <class TRecord>
void SCommonScanCfg::CopyCommonTo(const TRecord& record, CCommonScanINI& ini) const
{
    ini.m_fScanBoot = record.m_nSCANBOOT_F;
    ini.m_fScanCompressed = record.m_nSCANCOMPRESSED_F;
    ini.m_nCompressedLayer = record.m_nCOMPRESSEDLAYER_F;
    ini.m_fScanAllFiles = record.m_nSCANALLFILES_F;
    ini.m_strExtList = m_szExtList;
    ini.m_nVirusFoundAction = record.m_nVIRUSFOUNDACTION_F;
    ini.m_fBkUpIfClean = record.m_nBKUPIFCLEAN_F;
    ini.m_strMoveDir = m_szMoveDir;
    ini.m_nCleanFailedAction = record.m_nCLEANFAILEDACTION_F;
    ini.m_strCleanFailedMoveDir = m_szCleanFailedMoveDir;
}

#define LIBRARY_OF(T, prefix)                                                              \
    static const SLibrary<T> s_library = {                                                 \
        Database##prefix##RetrieveRecord, Database##prefix##UpdateRecord,                   \
        Database##prefix##RemoveRecord,   "Database" #prefix "RetrieveRecord",              \
        "Database" #prefix "UpdateRecord", "Database" #prefix "RemoveRecord"}

// ---- SManualScanCfg ----

SManualScanCfg::SManualScanCfg()
{
    memset(&m_record, 0, sizeof(m_record));
    pointCommon(m_record, m_szGUID, m_szExtList, m_szMoveDir, m_szCleanFailedMoveDir);
}

void SManualScanCfg::CopyFrom(const CManualScanINI& ini)
{
    m_record.m_nENABLE_F = ini.m_fEnable;
    m_record.m_nALLOWCFG_F = ini.m_fAllowCfg;
    m_record.m_nSCANMEMORY_F = ini.m_fScanMemory;
    CopyCommon(m_record, ini);
}

void SManualScanCfg::FillFromCurrentSettings()
{
    CManualScanINI scratch;
    CopyFrom(NS_DataBase::CurrentManualScan(scratch));
}

int SManualScanCfg::RetrieveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(MAMUAL_SCAN_CFG_TAG, MS);
    return Retrieve(s_library, m_record, strFolder, strGuid, TRUE);
}

int SManualScanCfg::RemoveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(MAMUAL_SCAN_CFG_TAG, MS);
    return Call(s_library, CALL_REMOVE, m_record, strFolder, strGuid);
}

int SManualScanCfg::UpdateRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(MAMUAL_SCAN_CFG_TAG, MS);
    return Call(s_library, CALL_UPDATE, m_record, strFolder, strGuid);
}

void SManualScanCfg::WriteIniFile(const CString& strIniFile)
{
    CManualScanINI ini;
    ini.m_fEnable = m_record.m_nENABLE_F;
    ini.m_fAllowCfg = m_record.m_nALLOWCFG_F;
    ini.m_fScanMemory = m_record.m_nSCANMEMORY_F;
    CopyCommonTo(m_record, ini);
    ini.WriteIniFile(strIniFile);
}

// ---- SRealtimeScanCfg ----

SRealtimeScanCfg::SRealtimeScanCfg()
{
    memset(&m_record, 0, sizeof(m_record));
    pointCommon(m_record, m_szGUID, m_szExtList, m_szMoveDir, m_szCleanFailedMoveDir);
}

void SRealtimeScanCfg::CopyFrom(const CRealTimeScanINI& ini)
{
    m_record.m_nENABLE_F = ini.m_fEnable;
    m_record.m_nALLOWCFG_F = ini.m_fAllowCfg;
    m_record.m_nSCANSHUTDOWN_F = ini.m_fScanShutdown;
    CopyCommon(m_record, ini);
}

void SRealtimeScanCfg::FillFromCurrentSettings()
{
    CRealTimeScanINI scratch;
    CopyFrom(NS_DataBase::CurrentRealTimeScan(scratch));
}

int SRealtimeScanCfg::RetrieveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(REALTIME_SCAN_CFG_TAG, RT);
    return Retrieve(s_library, m_record, strFolder, strGuid, TRUE);
}

int SRealtimeScanCfg::RemoveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(REALTIME_SCAN_CFG_TAG, RT);
    return Call(s_library, CALL_REMOVE, m_record, strFolder, strGuid);
}

int SRealtimeScanCfg::UpdateRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(REALTIME_SCAN_CFG_TAG, RT);
    return Call(s_library, CALL_UPDATE, m_record, strFolder, strGuid);
}

void SRealtimeScanCfg::WriteIniFile(const CString& strIniFile)
{
    CRealTimeScanINI ini;
    ini.m_fEnable = m_record.m_nENABLE_F;
    ini.m_fAllowCfg = m_record.m_nALLOWCFG_F;
    ini.m_fScanShutdown = m_record.m_nSCANSHUTDOWN_F;
    CopyCommonTo(m_record, ini);
    ini.WriteIniFile(strIniFile);
}

// ---- SRemoteScanCfg ----

SRemoteScanCfg::SRemoteScanCfg()
{
    memset(&m_record, 0, sizeof(m_record));
    pointCommon(m_record, m_szGUID, m_szExtList, m_szMoveDir, m_szCleanFailedMoveDir);
}

void SRemoteScanCfg::CopyFrom(const CRemoteScanINI& ini)
{
    m_record.m_nSCANMEMORY_F = ini.m_fScanMemory;
    m_record.m_nRESERVED1_F = 0;
    m_record.m_nRESERVED2_F = 0;
    m_record.m_nRESERVED3_F = 0;
    CopyCommon(m_record, ini);
}

void SRemoteScanCfg::FillFromCurrentSettings()
{
    CRemoteScanINI scratch;
    CopyFrom(NS_DataBase::CurrentRemoteScan(scratch));
}

int SRemoteScanCfg::RetrieveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(SCAN_NOW_CFG_TAG, SN);
    return Retrieve(s_library, m_record, strFolder, strGuid, TRUE);
}

int SRemoteScanCfg::RemoveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(SCAN_NOW_CFG_TAG, SN);
    return Call(s_library, CALL_REMOVE, m_record, strFolder, strGuid);
}

int SRemoteScanCfg::UpdateRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(SCAN_NOW_CFG_TAG, SN);
    return Call(s_library, CALL_UPDATE, m_record, strFolder, strGuid);
}

void SRemoteScanCfg::WriteIniFile(const CString& strIniFile)
{
    // Enable and AllowCfg are not in the record: the class defaults stand.
    CRemoteScanINI ini;
    ini.m_fScanMemory = m_record.m_nSCANMEMORY_F;
    CopyCommonTo(m_record, ini);
    ini.WriteIniFile(strIniFile);
}

// ---- SScheduleScanCfg ----

SScheduleScanCfg::SScheduleScanCfg()
{
    memset(&m_record, 0, sizeof(m_record));
    pointCommon(m_record, m_szGUID, m_szExtList, m_szMoveDir, m_szCleanFailedMoveDir);
}

void SScheduleScanCfg::CopyFrom(const CScheduleScanINI& ini)
{
    m_record.m_nENABLE_F = ini.m_fEnable;
    m_record.m_nALLOWCFG_F = ini.m_fAllowCfg;
    m_record.m_nSCANMEMORY_F = ini.m_fScanMemory;
    CopyCommon(m_record, ini);
    m_record.m_nFREQUENCY_F = ini.GetFrequencyCode();
    m_record.m_nHOUR_F = ini.m_nHour;
    m_record.m_nMINUTE_F = ini.m_nMinute;
    m_record.m_nAMPM_F = ini.m_nAmPm == 1 ? 1 : 2;
    m_record.m_nDAYOFMONTH_F = ini.m_nDayOfMonth;
    m_record.m_nDAYOFWEEK_F = ini.m_nDayOfWeek;
}

void SScheduleScanCfg::FillFromCurrentSettings()
{
    CScheduleScanINI scratch;
    CopyFrom(NS_DataBase::CurrentScheduleScan(scratch));
}

int SScheduleScanCfg::RetrieveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(PRESCHEDULE_SCAN_CFG_TAG, PS);
    return Retrieve(s_library, m_record, strFolder, strGuid, TRUE);
}

int SScheduleScanCfg::RemoveRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(PRESCHEDULE_SCAN_CFG_TAG, PS);
    return Call(s_library, CALL_REMOVE, m_record, strFolder, strGuid);
}

int SScheduleScanCfg::UpdateRecord(const CString& strFolder, const CString& strGuid)
{
    LIBRARY_OF(PRESCHEDULE_SCAN_CFG_TAG, PS);
    return Call(s_library, CALL_UPDATE, m_record, strFolder, strGuid);
}

void SScheduleScanCfg::WriteIniFile(const CString& strIniFile)
{
    // The drive kinds and scope are not in the record: the class defaults stand.
    CScheduleScanINI ini;
    ini.m_fEnable = m_record.m_nENABLE_F;
    ini.m_fAllowCfg = m_record.m_nALLOWCFG_F;
    ini.m_fScanMemory = m_record.m_nSCANMEMORY_F;
    CopyCommonTo(m_record, ini);
    ini.m_nFrequency = m_record.m_nFREQUENCY_F;
    ini.m_nHour = m_record.m_nHOUR_F;
    ini.m_nMinute = m_record.m_nMINUTE_F;
    ini.m_nAmPm = m_record.m_nAMPM_F;
    ini.m_nDayOfMonth = m_record.m_nDAYOFMONTH_F;
    ini.m_nDayOfWeek = m_record.m_nDAYOFWEEK_F;
    ini.WriteIniFile(strIniFile);
}

// ---- SExclusionFileCfg ----

SExclusionFileCfg::SExclusionFileCfg()
{
    memset(&m_record, 0, sizeof(m_record));
    memset(m_szGUID, 0, sizeof(m_szGUID));
    memset(m_aszEntries, 0, sizeof(m_aszEntries));
    m_record.m_pszGUID_F = m_szGUID;
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
        m_record.m_ppszEXCLUSIONFILE_F[i] = m_aszEntries[i];
}

void SExclusionFileCfg::CopyFrom(const CExclusionFileINI& ini)
{
    m_record.m_nALLOWCFG_F = ini.m_fAllowCfg;
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
    {
        if (i < ini.m_arrEntries.GetSize())
        {
            const CString& strExcludeFile = ini.m_arrEntries[i];
            VGLTRACE(3, "i(%d), strExcludeFile = %s", i, (LPCSTR)strExcludeFile);
            copyRecordText(m_aszEntries[i], LEDRA_CB_EXCLUSION, strExcludeFile);
        }
        else
            m_aszEntries[i][0] = '\0';
    }
}

int SExclusionFileCfg::Call(int nCall, const CString& strFolder, const CString& strGuid)
{
    copyRecordText(m_szGUID, sizeof(m_szGUID), strGuid);
    CString strPath = strFolder;
    char* pszFolder = strPath.GetBuffer(0);
    int nResult = 0;
    const char* pszName = NULL;
    switch (nCall)
    {
    case 0:
        nResult = DatabaseEFRetrieveRecord(pszFolder, &m_record);
        pszName = "DatabaseEFRetrieveRecord";
        break;
    case 1:
        nResult = DatabaseEFUpdateRecord(pszFolder, &m_record);
        pszName = "DatabaseEFUpdateRecord";
        break;
    default:
        nResult = DatabaseEFRemoveRecord(pszFolder, &m_record);
        pszName = "DatabaseEFRemoveRecord";
        break;
    }
    strPath.ReleaseBuffer();
    if (!nResult)
        traceFailure(pszName);
    return nResult;
}

int SExclusionFileCfg::RetrieveRecord(const CString& strFolder, const CString& strGuid)
{
    int nResult = Call(0, strFolder, strGuid);
    if (nResult)
        return nResult;
    if (DatabaseDataGetLastError() != LEDRA_E_NOT_FOUND)
        return 0;
    // A client without a list gets an empty one.
    Call(1, strFolder, strGuid);
    return Call(0, strFolder, strGuid);
}

int SExclusionFileCfg::RemoveRecord(const CString& strFolder, const CString& strGuid)
{
    VGLTRACE(1, "--> SExclusionFileCfg::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s)",
             (LPCSTR)strFolder, (LPCSTR)strGuid);
    int nResult = Call(2, strFolder, strGuid);
    VGLTRACE(2, "<-- SExclusionFileCfg::RemoveRecord(const CString& strMasterDir = %s, const CString& strGuid = %s), fSuccess = %d",
             (LPCSTR)strFolder, (LPCSTR)strGuid, nResult);
    return nResult;
}

int SExclusionFileCfg::UpdateRecord(const CString& strFolder, const CString& strGuid)
{
    VGLTRACE(3, "Dump exclusion file before UpdateRecord()");
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
        VGLTRACE(3, "    [%d] %s", i, m_aszEntries[i]);
    return Call(1, strFolder, strGuid);
}

void SExclusionFileCfg::WriteIniFile(const CString& strIniFile)
{
    CExclusionFileINI ini;
    ini.m_fAllowCfg = m_record.m_nALLOWCFG_F;
    ini.m_arrEntries.RemoveAll();
    for (int i = 0; i < LEDRA_EXCLUSION_COUNT; i++)
        if (m_aszEntries[i][0] != '\0')
            ini.m_arrEntries.Add(m_aszEntries[i]);
    ini.WriteIniFile(strIniFile);
}

// NS_DataBase: every access of the client to the file-based database.
#include "DatabaseAccess.h"

#include "CommonScanINI.h"
#include "ConnectServer.h"
#include "DatabaseClientRecords.h"
#include "DatabaseScanCfg.h"
#include "ExclusionFileINI.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "ScheduleScan.h"
#include "StringUtils.h"
#include "Utils_RegKey.h"
#include "atlbase.h"
#include "ledra.h"
#include "resource_ids.h"

#include <memory>

CMutex g_mutexCodeBase(FALSE, "CodeBaseDatabaseAccessMutex");

namespace
{
NS_DataBase::SClientLinks g_links = {};

// Holds the database mutex for its scope, waiting without limit.
class CDatabaseLock
{
public:
    CDatabaseLock() { g_mutexCodeBase.Lock(INFINITE); }
    ~CDatabaseLock() { g_mutexCodeBase.Unlock(); }

private:
    CDatabaseLock(const CDatabaseLock&);
    CDatabaseLock& operator=(const CDatabaseLock&);
};

template <class TIni>
const TIni& current(TIni* pLinked, TIni& scratch)
{
    if (pLinked)
        return *pLinked;
    scratch.ReadRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    return scratch;
}

// One configuration record of the asked kind; NULL for any other kind.
SCommonScanCfg* newScanCfg(int nEvent)
{
    switch (nEvent)
    {
    case NS_DataBase::CONFIG_MANUAL_SCAN: return new SManualScanCfg;
    case NS_DataBase::CONFIG_REALTIME_SCAN: return new SRealtimeScanCfg;
    case NS_DataBase::CONFIG_SCHEDULE_SCAN: return new SScheduleScanCfg;
    case NS_DataBase::CONFIG_SCAN_NOW: return new SRemoteScanCfg;
    default: return NULL;
    }
}

// The text the settings file holds, "" when missing.
CString iniText(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszFile)
{
    return getProfileString(pszSection, pszKey, "", pszFile);
}
}

namespace NS_DataBase
{
void SetClientLinks(const SClientLinks& links)
{
    g_links = links;
}

const SClientLinks& GetClientLinks()
{
    return g_links;
}

const CManualScanINI& CurrentManualScan(CManualScanINI& scratch)
{
    return current(g_links.pManualScanINI, scratch);
}

const CRealTimeScanINI& CurrentRealTimeScan(CRealTimeScanINI& scratch)
{
    return current(g_links.pRealTimeScanINI, scratch);
}

const CScheduleScanINI& CurrentScheduleScan(CScheduleScanINI& scratch)
{
    return current(g_links.pScheduleScanINI, scratch);
}

const CRemoteScanINI& CurrentRemoteScan(CRemoteScanINI& scratch)
{
    return current(g_links.pRemoteScanINI, scratch);
}

const CExclusionFileINI& CurrentExclusionFile(CExclusionFileINI& scratch)
{
    return current(g_links.pExclusionFileINI, scratch);
}

CString GetPlatformName()
{
    if (g_links.pfnGetPlatformName)
        return g_links.pfnGetPlatformName();
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
        return CString();
    CString str;
    str.Format("Windows %lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber & 0xFFFF);
    return str;
}

BOOL GetPatternVersionNumber(int* pnNumber)
{
    if (g_links.pfnGetPatternVersionNumber)
        return g_links.pfnGetPatternVersionNumber(pnNumber);
    DWORD dwVersion = 0;
    int nNumber = 0;
    BOOL fOk = GetPatternVersion(&dwVersion, &nNumber);
    *pnNumber = fOk ? nNumber : 0;
    return fOk;
}

CString GetFileDbFolder()
{
    return joinPath(NS_RegistryKey::GetMasterDirectory(), "FILEDB");
}

CString GetConfigFolder()
{
    return joinPath(GetFileDbFolder(), "Config");
}

CString GetDataFolder()
{
    return joinPath(GetFileDbFolder(), "Data");
}

CString GetLogFolder()
{
    return joinPath(GetFileDbFolder(), "Log");
}

CString GetErrorText(int nCode)
{
    CString str;
    if (nCode <= 0 && nCode >= -17)
        str.LoadString(IDS_DATABASE_ERROR_0 - nCode);
    return str;
}

CString GetErrorText()
{
    return GetErrorText(DatabaseDataGetLastError());
}

BOOL GetIni(const CString& strINIFile, int nEvent)
{
    VGLTRACE(1, "--> NS_DataBase::GetIni(const CString& strINIFile = %s, NS_Configuration::EVENT nEvent = %d)",
             (LPCSTR)strINIFile, nEvent);
    CDatabaseLock lock;
    BOOL fRetrieveRecord = FALSE;
    CString strFolder = GetConfigFolder(), strGuid = NS_RegistryKey::GetGUID();
    if (nEvent == CONFIG_EXCLUSION)
    {
        SExclusionFileCfg record;
        fRetrieveRecord = record.RetrieveRecord(strFolder, strGuid);
        if (fRetrieveRecord)
            record.WriteIniFile(strINIFile);
    }
    else
    {
        std::unique_ptr<SCommonScanCfg> pRecord(newScanCfg(nEvent));
        if (pRecord)
        {
            fRetrieveRecord = pRecord->RetrieveRecord(strFolder, strGuid);
            if (fRetrieveRecord)
                pRecord->WriteIniFile(strINIFile);
        }
    }
    VGLTRACE(2, "<-- NS_DataBase::GetIni(const CString& strINIFile = %s, NS_Configuration::EVENT nEvent = %d) - fRetrieveRecord = %d",
             (LPCSTR)strINIFile, nEvent, fRetrieveRecord);
    return fRetrieveRecord;
}

BOOL SendStatusLog(const CString& strGuid, int nType, const CTime& time)
{
    VGLTRACE(1, "--> NS_DataBase::SendStatusLog(const CString& strGuid = %s, NS_Notification::StatusLogType& statusLog = %d)",
             (LPCSTR)strGuid, nType);
    CDatabaseLock lock;
    SStatusLog record;
    BOOL fSuccess = record.UpdateStatus(GetDataFolder(), strGuid, nType, time) != 0;
    VGLTRACE(2, "<-- NS_DataBase::SendStatusLog(const CString& strGuid = %s, NS_Notification::StatusLogType& statusLog = %d) - fSuccess = %d",
             (LPCSTR)strGuid, nType, fSuccess);
    return fSuccess;
}

BOOL SendVirusLog(const CString& strGuid, const CLogReportItem& item)
{
    VGLTRACE(1, "--> NS_DataBase::SendVirusLog(const CString& strGuid = %s, const CLogReportItem& item = %d)",
             (LPCSTR)strGuid, item.m_nEventKind);
    CDatabaseLock lock;
    std::unique_ptr<SScanLog> pRecord;
    switch (item.m_nEventKind)
    {
    case LOG_EVENT_MANUAL: pRecord.reset(new SManualScanLog); break;
    case LOG_EVENT_REALTIME: pRecord.reset(new SRealtimeScanLog); break;
    case LOG_EVENT_SCHEDULE: pRecord.reset(new SScheduleScanLog); break;
    case LOG_EVENT_REMOTE: pRecord.reset(new SRemoteScanLog); break;
    }
    BOOL fSuccess = pRecord ? pRecord->AddRecord(GetLogFolder(), strGuid, item) != 0 : FALSE;
    VGLTRACE(2, "<-- NS_DataBase::SendVirusLog(const CString& strGuid = %s, const CLogReportItem& item = %d) - fSuccess = %d",
             (LPCSTR)strGuid, item.m_nEventKind, fSuccess);
    return fSuccess;
}

int UpdateCfgRecord(const CString& strFolder, const CString& strGuid, const CCommonScanINI& ini)
{
    // The most derived kinds first: a local variant of a kind counts as that kind.
    if (const CScheduleScanINI* p = dynamic_cast<const CScheduleScanINI*>(&ini))
    {
        SScheduleScanCfg record;
        record.CopyFrom(*p);
        return record.UpdateRecord(strFolder, strGuid);
    }
    if (const CRealTimeScanINI* p = dynamic_cast<const CRealTimeScanINI*>(&ini))
    {
        SRealtimeScanCfg record;
        record.CopyFrom(*p);
        return record.UpdateRecord(strFolder, strGuid);
    }
    if (const CRemoteScanINI* p = dynamic_cast<const CRemoteScanINI*>(&ini))
    {
        SRemoteScanCfg record;
        record.CopyFrom(*p);
        return record.UpdateRecord(strFolder, strGuid);
    }
    if (const CManualScanINI* p = dynamic_cast<const CManualScanINI*>(&ini))
    {
        SManualScanCfg record;
        record.CopyFrom(*p);
        return record.UpdateRecord(strFolder, strGuid);
    }
    return 0;
}

int UpdateCfgRecord(const CString& strFolder, const CString& strGuid, const CExclusionFileINI& ini)
{
    SExclusionFileCfg record;
    record.CopyFrom(ini);
    return record.UpdateRecord(strFolder, strGuid);
}

BOOL SendLocalCfgLog(const CString& strGuid, const CCommonScanINI& ini)
{
    VGLTRACE(1, "--> NS_DataBase::SendLocalCfgLog(const CString& strGuid = %s, SLocalCfgLog& localCfgLog = %s)",
             (LPCSTR)strGuid, ini.GetSection());
    CDatabaseLock lock;
    BOOL fSuccess = UpdateCfgRecord(GetConfigFolder(), strGuid, ini) != 0;
    VGLTRACE(2, "<-- NS_DataBase::SendLocalCfgLog(const CString& strGuid = %s, SLocalCfgLog& localCfgLog = %s) - fSuccess = %d",
             (LPCSTR)strGuid, ini.GetSection(), fSuccess);
    return fSuccess;
}

BOOL SendLocalCfgLog(const CString& strGuid, const CExclusionFileINI& ini)
{
    VGLTRACE(1, "--> NS_DataBase::SendLocalCfgLog(const CString& strGuid = %s, SLocalCfgLog& localCfgLog = %s)",
             (LPCSTR)strGuid, ini.m_pszSection);
    CDatabaseLock lock;
    BOOL fSuccess = UpdateCfgRecord(GetConfigFolder(), strGuid, ini) != 0;
    VGLTRACE(2, "<-- NS_DataBase::SendLocalCfgLog(const CString& strGuid = %s, SLocalCfgLog& localCfgLog = %s) - fSuccess = %d",
             (LPCSTR)strGuid, ini.m_pszSection, fSuccess);
    return fSuccess;
}

void UpdateNewSettings(CTavmontDlg* pMainWnd)
{
    VGLTRACE(1, "--> NS_DataBase::UpdateNewSettings(CTavmontDlg* pMainWnd = %p)", (void*)pMainWnd);
    CString strServerVovScanIni = joinPath(NS_RegistryKey::GetMasterDirectory(), "Vglscan.ini");
    CString strLocalVovScanIni = NS_RegistryKey::GetVglscanIniPath();
    BOOL fSuccess = copyFileEx(strServerVovScanIni, strLocalVovScanIni);
    VGLTRACE(3, "fSuccess(%d) = ::copyFileEx(strServerVovScanIni = %s, strLocalVovScanIni = %s)", fSuccess,
             (LPCSTR)strServerVovScanIni, (LPCSTR)strLocalVovScanIni);
    if (fSuccess)
    {
        NS_RegistryKey::ResetFilebasePollingRange();

        // The master folder and the passwords the server's file names (as it holds them).
        struct SCopiedValue
        {
            LPCSTR pszSection;
            LPCSTR pszName;
        };
        const SCopiedValue values[] = {
            {NS_RegistryKey::g_pszIniServerSection, "MasterDirectory"},
            {NS_RegistryKey::g_pszIniClientSection, "Uninstall_Pwd"},
            {NS_RegistryKey::g_pszIniClientSection, "Unload_Pwd"},
        };
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), KEY_ALL_ACCESS) ==
            ERROR_SUCCESS)
        {
            for (const SCopiedValue& value : values)
            {
                CString strValue = iniText(value.pszSection, value.pszName, strLocalVovScanIni);
                if (!strValue.IsEmpty())
                    setRegistryString(key, value.pszName, strValue);
            }
            key.Close();
        }

        CDatabaseLock lock;
        SClientInfo record;
        if (record.UpdateStatus(GetDataFolder(), NS_RegistryKey::GetGUID()))
        {
            if (key.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), KEY_ALL_ACCESS) ==
                ERROR_SUCCESS)
            {
                setRegistryDword(key, NS_RegistryKey::GetAllowUninstallValueName(),
                                 record.m_record.m_nALLOWUNINSTALL_F);
                setRegistryDword(key, NS_RegistryKey::GetAllowUnloadValueName(), record.m_record.m_nALLOWUNLOAD_F);
                key.Close();
            }
            // The database answered: a client that counts itself off line since a failed
            // start-up log is on line again, so the woken threads write instead of dropping.
            NS_Notification::UpdateConnectionStatus(TRUE);
            if (g_links.pfnWakeUpLogThreads)
                g_links.pfnWakeUpLogThreads(TRUE);
        }
    }
    VGLTRACE(2, "<-- NS_DataBase::UpdateNewSettings(CTavmontDlg* pMainWnd = %p)", (void*)pMainWnd);
}
}

// File-based mode: the client reads and writes the server's database in the master folder
// through the database libraries instead of talking to the server's CGIs. Every access goes
// through NS_DataBase, which picks the folder and the record and holds the named mutex
// "CodeBaseDatabaseAccessMutex" for the whole call, so the client's threads (and the
// uninstall program) never touch the files at the same time.
#ifndef VGL_DATABASEACCESS_H
#define VGL_DATABASEACCESS_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"

class CCommonScanINI;
class CManualScanINI;
class CRealTimeScanINI;
class CScheduleScanINI;
class CRemoteScanINI;
class CExclusionFileINI;
class CLogReportItem;
class CTavmontDlg;

// Created not owned at program start, closed at exit.
extern CMutex g_mutexCodeBase;

namespace NS_DataBase
{
    // Kinds of settings GetIni fetches (the server's EVENT numbers).
    enum
    {
        CONFIG_ALL = 0,
        CONFIG_MANUAL_SCAN = 1,
        CONFIG_REALTIME_SCAN = 2,
        CONFIG_SCHEDULE_SCAN = 3,
        CONFIG_SCAN_NOW = 4,
        CONFIG_EXCLUSION = 5
    };

    // What the records take from the rest of the client. The settings and notification code
    // sets it once at start-up; a member left NULL is served by the glue itself: the settings
    // objects as the product key holds them, the number of the newest pattern in the program
    // folder, the platform from the system's version, and no wake-up.
    struct SClientLinks
    {
        CManualScanINI* pManualScanINI;          // NS_Configuration::GetManualScanINI()
        CRealTimeScanINI* pRealTimeScanINI;      // ...GetRealTimeScanINI()
        CScheduleScanINI* pScheduleScanINI;      // ...GetScheduleScanINI()
        CRemoteScanINI* pRemoteScanINI;          // ...GetRemoteScanINI()
        CExclusionFileINI* pExclusionFileINI;    // ...GetExclusionFileINI()
        CString (*pfnGetPlatformName)();                  // NS_Notification::GetPlatformName
        BOOL (*pfnGetPatternVersionNumber)(int* pnNumber);  // NS_Notification::GetPatternVersionNumber
        void (*pfnWakeUpLogThreads)(BOOL fRecover);        // NS_Notification::WakeUpLogThreads
    };
    void SetClientLinks(const SClientLinks& links);
    const SClientLinks& GetClientLinks();

    // The client's current settings of each kind: the linked object, else a fresh one read
    // from the product key into the caller's object (pScratch).
    const CManualScanINI& CurrentManualScan(CManualScanINI& scratch);
    const CRealTimeScanINI& CurrentRealTimeScan(CRealTimeScanINI& scratch);
    const CScheduleScanINI& CurrentScheduleScan(CScheduleScanINI& scratch);
    const CRemoteScanINI& CurrentRemoteScan(CRemoteScanINI& scratch);
    const CExclusionFileINI& CurrentExclusionFile(CExclusionFileINI& scratch);
    CString GetPlatformName();
    BOOL GetPatternVersionNumber(int* pnNumber);

    // The folders below the master folder.
    CString GetFileDbFolder();     // master + "FILEDB"
    CString GetConfigFolder();     // + "Config": scan-configuration records
    CString GetDataFolder();       // + "Data": client information and events
    CString GetLogFolder();        // + "Log": virus logs

    // The text of DatabaseDataGetLastError's code: resource strings 333 (code 0) to 350
    // (code -17); empty for any other code.
    CString GetErrorText();
    CString GetErrorText(int nCode);

    // One kind of settings from the client's record into the INI file (a missing record is
    // made from the client's settings first). CONFIG_ALL and unknown kinds: FALSE, nothing
    // written.
    BOOL GetIni(const CString& strINIFile, int nEvent);
    // A status log of that type and time into the client's event record (type 6 also renews
    // the client-information record).
    BOOL SendStatusLog(const CString& strGuid, int nType, const CTime& time);
    // A virus-log record into the log of its scan kind; FALSE for any other kind.
    BOOL SendVirusLog(const CString& strGuid, const CLogReportItem& item);
    // A local configuration report: the settings object into the client's record of its
    // kind (the run-time class decides; any other class gives FALSE).
    BOOL SendLocalCfgLog(const CString& strGuid, const CCommonScanINI& ini);
    BOOL SendLocalCfgLog(const CString& strGuid, const CExclusionFileINI& ini);
    // The same writes without the mutex, for a caller that holds it.
    int UpdateCfgRecord(const CString& strFolder, const CString& strGuid, const CCommonScanINI& ini);
    int UpdateCfgRecord(const CString& strFolder, const CString& strGuid, const CExclusionFileINI& ini);

    // The file-based half of the settings renewal: the server's "Vglscan.ini" over the
    // client's, the polling range, the master folder and passwords it names into the product
    // key, then the client-information record and its two permissions; wakes the log threads.
    void UpdateNewSettings(CTavmontDlg* pMainWnd);
}

#endif

// NS_Notification: the client's reporting to the server (status, virus and local
// configuration logs with their threads), settings and component updates from the server,
// the server's push commands and the outside programs around updates. The server
// connection itself (ConnectServer, AllowConnect, the connection state) is in
// ConnectServer.h; this header adds the services the client's windows call.
#ifndef VGL_NOTIFICATION_H
#define VGL_NOTIFICATION_H

#include "LockOrder.h"
#include "afx.h"
#include "afxmt.h"
#include "afxtempl.h"

#include "AccBuffer.h"
#include "ConnectServer.h"
#include "LogReport.h"
#include "NotificationToken.h"
#include "ServerSettings.h"

class CTavmontDlg;
class CCommonScanINI;
class CExclusionFileINI;

// Status-log types.
enum
{
    NSN_MANUAL_SCAN = 1,
    NSN_REALTIME_SCAN = 2,
    NSN_SCHEDULE_SCAN = 3,
    NSN_SCAN_NOW = 4,
    NSN_START = 6,                  // client start, or client information
    NSN_CLOSE = 7,
    NSN_PATTERN_ROLLBACK = 8,
    NSN_ENGINE_ROLLBACK = 9,
    NSN_HOTFIX = 13,
    NSN_UPDATE = 14,
    NSN_SYNC = 15,                  // versions after a synchronisation
    NSN_SCAN_RESULT = 16,
    NSN_DISK_SPACE_LOW = 17,
    NSN_OTHER_PRODUCT = 18,
    NSN_OTHER_SERVER_PRODUCT = 19
};

// The server's push commands (MESSAGE of the token).
enum
{
    NSG_GET_MANUAL_SCAN_CFG = 5,
    NSG_GET_REALTIME_SCAN_CFG = 6,
    NSG_GET_SCHEDULE_SCAN_CFG = 7,
    NSG_GET_EXCLUSION_CFG = 8,
    NSG_GET_SCAN_NOW_CFG = 9,
    NSG_SCAN_NOW = 10,
    NSG_STOP_SCAN_NOW = 11,
    NSG_UNINSTALL = 12,
    NSG_PATTERN_ROLLBACK = 14,
    NSG_NEW_ALERT_MESSAGE = 15,
    NSG_NEW_CLIENT_SETUP = 16,                  // also 18 and 19
    NSG_NEW_CLIENT_SETUP_AND_SCAN_CFG = 17,
    NSG_UPDATE_NOW = 21,
    NSG_NEW_WEB_SERVER = 22,
    NSG_NEW_OPP_SETTING = 24,
    NSG_NEW_GUID = 28,
    NSG_CLIENT_INFO = 29,
    NSG_ENGINE_ROLLBACK = 31,
    NSG_NEW_GLOBAL_SETTING = 32,
    NSG_RESTORE_OPP_SETTING = 33,
    NSG_NEW_OTHER_UPDATE_SOURCE = 34
};

// Progress callbacks of the update operations; each may be NULL.
typedef void (*PFN_PHASE_BEGIN)(int nCode, LPVOID pvContext);
typedef void (*PFN_PHASE_END)(int nCode, LPVOID pvContext);
typedef BOOL (*PFN_PHASE_CANCEL)(LPVOID pvContext);            // TRUE stops
typedef void (*PFN_PHASE_COUNT)(int nCode, int nDone, int nTotal, LPVOID pvContext);

// Phase codes of those callbacks.
enum
{
    PHASE_SEND_VIRUS_LOG = 27,
    PHASE_SEND_STATUS = 28
};

namespace NS_Notification
{
    // ---- start and stop ----
    // Restores the unsent virus logs, pings the server (HTTP mode, unless mobile), loads the
    // alert text and starts the log threads. Once at start-up; again after a Destruct when
    // the end of a Windows session was cancelled.
    void Construct(BOOL fFirstTimeStartUp);
    // Cancels transfers, stops the log threads, saves the unsent virus logs when asked.
    // May be called twice (end of session, then exit): the second run waits for nothing.
    void Destruct(BOOL fSaveUnsent);
    // Wakes every log thread whose queue holds work; with fRecover, failed virus logs go
    // back into their queues first. Starts no thread.
    void WakeUpLogThreads(BOOL fRecover);

    // ---- status logs ----
    struct StatusLogType
    {
        CTime m_time;               // when it happened (the start of a scan result)
        int m_nType;
        char m_szText[15];          // at most 14 characters of the caller's text
        int m_nReserved;
        CTime m_timeStop;           // scan result only
        int m_nSuccess;             // scan result only: SUCCESS
        int m_nInfect;              // INFECT
        int m_nInfectFiles;         // INFECTFILES
        int m_nEvent;               // EVENT

        StatusLogType();
        StatusLogType(const CTime& time, int nType, const char* pszText);
        StatusLogType(const CTime& start, const CTime& stop, int nSuccess, int nInfect,
                      int nInfectFiles, int nType, int nEvent, const char* pszText);
        CString GetDateText() const;        // "%04d%02d%02d" of the time
        CString GetTimeText() const;        // "%02d%02d%02d"
    };

    // Queues one status log and wakes its thread.
    void SendStatusLog(const CTime& time, int nType, const char* pszText);
    // Queues the totals of a finished scan (type NSN_SCAN_RESULT).
    void SendScanResultLog(const CTime& start, const CTime& stop, int nSuccess, int nInfect,
                           int nInfectFiles, int nType, int nEvent, const char* pszText);
    // Sends one status log at once on the calling thread; TRUE only when the server answered
    // with the return code 1 (file-based mode: when the record was written).
    BOOL SendStatusLogNow(const CTime& time, int nType, const char* pszText, BOOL fIntranet,
                          BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                          PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT pfReserved,
                          LPVOID pvContext, const SServerAddress* pServer = NULL);

    // The query of a status log: CGI path and parameters of its type; empty for a type that
    // has none. fEncode and fIntranet matter only for the client information (type 6).
    void GetStatusLogQuery(CString& strOut, const CString& strGuid, const StatusLogType& record,
                           BOOL fEncode, BOOL fIntranet);
    void GetScanEventQuery(CString& strOut, const CString& strGuid, const StatusLogType& record);
    void GetCloseQuery(CString& strOut, const CString& strGuid, const StatusLogType& record);
    // nVariant: 0 and 1 the versions as installed; 2 the record's text as ENGINE, 4 as
    // PROGRAM, 8 as HOTFIX.
    void GetUpdateStatusQuery(CString& strOut, const CString& strGuid, const StatusLogType& record,
                              int nVariant);
    void GetScanResultQuery(CString& strOut, const CString& strGuid, const StatusLogType& record);
    void GetSpecialLogQuery(CString& strOut, int nType);
    void GetClientInfoQuery(CString& strOut, const CString& strGuid, const StatusLogType& record,
                            BOOL fEncode, BOOL fIntranet);

    // The randomised wait before a retry of every log thread: 1 .. 2^(iRetry+iShift)+1
    // seconds; TRUE when the stop event was set meanwhile.
    BOOL WaitBeforeRetry(int iSeed, int iRetry, int iShift, HANDLE hStop);
    // The number of seconds that wait lasts for a random value r (0..32767).
    int RetryRange(int iRandom, int iRetry, int iShift);

    // ---- versions ----
    // The file version of "VEXOR32.VXD" in the folder (the program folder when empty), cut
    // to the length of "X.XXX"; empty when it has none.
    CString GetEngineVersion(const CString& strFolder);
    BOOL GetLastEngineUpdateVersion(DWORD* pdwMajor, DWORD* pdwMinor);
    BOOL IsLastEngineUpdateVersionNewer(const char* pszVersion);
    // pszInstalled NULL: the product key's "Program Version".
    BOOL IsProgramVersionNewer(const char* pszVersion, const char* pszInstalled);
    BOOL GetModuleVersion(DWORD* pdwMajor, DWORD* pdwMinor);
    BOOL GetFilterVersion(DWORD* pdwMajor, DWORD* pdwMinor);
    BOOL GetRunningEngineVersion(DWORD* pdwMajor, DWORD* pdwMinor);
    // The newest pattern's number; 0 and FALSE when there is none.
    BOOL GetPatternVersionNumber(int* pnNumber);
    // The operating system's name and version, as the client information reports it.
    CString GetPlatformName();
    // The address the client reports as its own (HTTP mode).
    CString GetClientIPAddress();
    // The index of the address the server chooses from the list (NULL-terminated); 0 when
    // the list is empty, in forced mobile mode, or when the server gives no usable answer.
    int CheckIP(char** ppszAddresses);
    // The first address whose four parts match the template ("X" matches any number, an
    // empty part matches), else the first address; empty for an empty list.
    CString ChooseAddressByTemplate(char** ppszAddresses, const CString& strTemplate);
    // The Start-menu names and the uninstall display name of the client-setup section of the
    // INI text, applied and stored in the settings file.
    void CheckShortCutChange(CString strIni);

    // ---- virus logs ----
    // The record of a synchronous sending pass (settings renewal, upgrade check).
    struct SSyncSendContext
    {
        BOOL fIntranet;
        int nReserved1;
        int nReserved2;
        PFN_PHASE_CANCEL pfCancel;
        PFN_PHASE_COUNT pfProgress;
        LPVOID pvContext;
    };

    // The pairs (day, item) of virus-log records still to send, and the lock over them and
    // the virus-log store. A finder adds its record with NS_LogReport::AddItem (both handed
    // over), holding the lock until it has queued the pair with QueueVirusLog. The lock is
    // only ever held while the lists are touched, never across a request to the server.
    CLogItemPosArray* GetVirusLogQueue();
    CCriticalSection* GetVirusLogQueueLock();
    // Appends a pair and wakes (or starts) the virus-log thread.
    void QueueVirusLog(int nDay, int nItem);
    BOOL InvokeVirusLogThread();
    // The thread procedures; with a context they make one pass on the caller's thread.
    unsigned __stdcall VirusLogThread(void* pvContext);
    unsigned __stdcall UnsentVirusLogThread(void* pvContext);
    // The failed records become pending again, in their order.
    void RecoverVirusLog();
    void RecoverUnsentVirusLog();
    // The unsent store: loaded from the folder "UnsentVirus" (every record pending), and
    // saved with every record still pending or failed of both stores.
    void RestoreUnsentVirusLog();
    void SaveUnsentVirusLog();
    // TRUE when any record waits to be sent.
    BOOL HasPendingVirusLog();
    // The folder of the unsent store.
    CString GetUnsentVirusLogFolder();

    // ---- local configuration logs ----
    // Queue a copy of changed settings for the server and wake (or start) their thread.
    void AddScanCfgLog(CCommonScanINI& ini);
    void AddExclusionCfgLog(CExclusionFileINI& ini);
    void StartLocalCfgLogThread();

    // ---- alert message ----
    // Fetches the alert text (fDownload) or reloads the local file, and makes it current.
    void UpdateAlertMessage(BOOL fDownload, BOOL fIntranet, BOOL fDisplayErrMsg);
    // One request for the text; TRUE with the reply body in the buffer.
    BOOL GetAlertMessage(CAccBuffer& bufResult, BOOL fIntranet, BOOL fDisplayErrMsg);
    // Makes a reply (stored in the local file) or the local file current.
    void LoadAlertMessage(CAccBuffer& buffer, BOOL fFromReply);
    // A copy of the current text (readers on other threads always get one whole text).
    CString GetAlertMessageText();
    // The server's push command: a new alert text for the real-time monitor.
    void OnNotificationNewAlertMessage(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg);
    // The local file "Alert.msg" of the program folder.
    CString GetAlertMessageFile();

    // ---- settings and updates from the server ----
    // Under the upgrade lock: the server's INI reply, and with fForced (or when the server
    // grants scheduled updates) the components, pending logs and settings. FALSE when the
    // INI reply could not be had.
    BOOL TryUpgrade(CTavmontDlg* pMainWnd, BOOL fForced, BOOL fIniOnly);
    // Under the upgrade lock: client settings, scan settings and update information, applied;
    // FALSE only when the client settings could not be fetched.
    BOOL UpdateNewSettings(CTavmontDlg* pMainWnd, BOOL fNoComponents, BOOL fNoSettings,
                           BOOL fIntranet, BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin,
                           PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel,
                           PFN_PHASE_COUNT pfCount, LPVOID pvContext);
    // Pattern and then engine straight from the update source (the internet profile's server,
    // or with fIntranet the maker's update service), phases 18 and 22; TRUE only when both
    // were fetched.
    BOOL DirectUpdatePatternEngine(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg,
                                   PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                                   PFN_PHASE_CANCEL pfCancel, void* pvThis);
    // The client settings (type 0), global settings (1) or other update sources (2).
    BOOL GetServerIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, int nType);
    // The server's reply with the client's listener port.
    BOOL QueryClientBindPort(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg);

    // Under the INI-table lock: the client settings, and the work that applies them (the
    // Start-menu names, passwords, permissions, mobile flag, listener port).
    BOOL ApplyClientSetup(CTavmontDlg* pMainWnd, BOOL fNoComponents, BOOL fNoSettings, BOOL fIntranet,
                          BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                          PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT pfCount, LPVOID pvContext);
    // The engine back to the one kept before the last engine update.
    BOOL OnNotificationEngineRollback(CTavmontDlg* pMainWnd, const char* pszRollbackEngineVersion);
    // Stops the mail trap and has the update program restart the client.
    void SimplyRestartProgram();
    // ---- component updates ----
    // The pattern, engine and program of the update table fetched into staging folders;
    // TRUE when something waits for PostUpdate. *pfContinue: go on with later components.
    BOOL OnNotificationNewPattern(CTavmontDlg* pMainWnd, int iNextVersion, BOOL fIntranet, BOOL fDisplayErrMsg,
                                  BOOL fIniRenewed, BOOL* pfContinue);
    BOOL OnNotificationNewEngine(CTavmontDlg* pMainWnd, const char* pszVersion, BOOL fIntranet,
                                 BOOL fDisplayErrMsg, BOOL fIniRenewed, BOOL* pfContinue);
    BOOL OnNotificationNewProgram(CTavmontDlg* pMainWnd, const char* pszVersion, BOOL fIntranet,
                                  BOOL fDisplayErrMsg, BOOL fIniRenewed, CString* pstrProgramVersion,
                                  BOOL* pfContinue);
    // Installs what was fetched and hands the rest to the update program.
    BOOL PostUpdate(CTavmontDlg* pMainWnd, BOOL fPatternUpdate, BOOL fEngineUpdate, BOOL fProgramUpdate,
                    BOOL fHotFix, const char* pszHotFixData, const CString& strHotFixIni,
                    const CString& strProgramVersion, BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fCancel);

    // ---- hot fixes ----
    // The server's hot-fix stamp (14 digits, UTC) against "HotFix DateTime": TRUE when the
    // server's hot fix is later than the one last handled and needs files here; the hot-fix
    // list in *pstrHotFixIni for PostUpdate.
    BOOL OnNotificationHotFix(CTavmontDlg* pMainWnd, const char* pszHotFixData, BOOL fIntranet,
                              BOOL fDisplayErrMsg, PFN_PHASE_COUNT pfFileCountCallback, LPVOID pvFileCountThis,
                              CString* pstrHotFixIni, BOOL* pfContinue);
    // An invalid stamp (see parseHotFixStamp) is never newer.
    BOOL HasNewerHotFix(const char* pszServerHotFixDateTime);

    // ---- periodic upgrade check ----
    // flags[0]: 0x01 pattern, 0x10 engine newer; flags[1]: 0x01 program, 0x10 hot fix newer.
    void CheckUpgrade(BYTE flags[2]);

    // ---- outbreak-prevention policy ----
    BOOL GetOppSetting(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fChkDatabase);
    BOOL ReportOppResult(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, BOOL, int nOppActivate);
    // TRUE once: the product key exists and "OppFirstTimeReportCheck" was absent (now 0).
    BOOL IsOppFirstTimeReport();

    // The update information and the hot-fix list.
    BOOL GetUpdateIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg);
    BOOL GetHotFixIni(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg);
    // The language of "Language_Code" in the settings file as the update library's bit.
    int GetLanguageCode();

    // ---- server INI tables ----
    enum
    {
        INI_CRITICAL_SECTION_KEYS = 24,
        INI_UPDATE_SECTION_KEYS = 11,
        INI_SCHEDULE_SECTION_KEYS = 2,
        INI_CLIENT_SETUP_SECTION_KEYS = 8,
        INI_GLOBAL_SETTING_KEYS = 19
    };
    extern SINIEntry g_iniCriticalSection[INI_CRITICAL_SECTION_KEYS];     // "[INI_CRITICAL_SECTION]"
    extern SINIEntry g_iniUpdateSection[INI_UPDATE_SECTION_KEYS];         // "[INI_UPDATE_SECTION]"
    extern SINIEntry g_iniScheduleSection[INI_SCHEDULE_SECTION_KEYS];     // "[INI_SCHEDULE_SECTION]"
    extern SINIEntry g_iniClientSetupSection[INI_CLIENT_SETUP_SECTION_KEYS];  // "[INI_CLIENT_SETUP_SECTION]"
    extern SINIEntry g_iniGlobalSetting[INI_GLOBAL_SETTING_KEYS];         // "[Global Setting]"
    // The INI-table lock (g_iniCriticalSection while it is parsed and applied), the
    // update-table lock (g_iniUpdateSection) and the token table's lock.
    extern CCriticalSection g_csIniTable;
    extern CCriticalSection g_csUpdateTable;
    extern CCriticalSection g_csNotificationTokenTable;
    // The outbreak-policy lock (initialised by Construct).
    extern CRITICAL_SECTION g_csOutbreakPolicy;
    // Parses the text into the table (see renewIniEntries), tracing each key; FALSE also
    // when the parse fails unexpectedly.
    BOOL RenewIniTable(const CString& strText, SINIEntry table[], size_t nCount, const char* pszDelimiter,
                       const char* pszFirstLine);
    // The trace of each key a table parse meets.
    void TraceIniEntry(const char* pszKey, BOOL fTaken);

    // ---- server push commands ----
    // Runs the command carried by a request to the client's listener (HTTP mode) on the
    // calling thread; throws nothing.
    void OnNotification(const CString& strRequest, CTavmontDlg* pMainWnd);
    // The record OnNotification makes: the command inside a catch-all, then the record freed.
    void OnNotificationThread(void* pvRecord);
    void OnNotificationThreadThis(const CString& strRequest, CTavmontDlg* pMainWnd);
    // One kind of scan settings from the server into its settings object and the product key.
    void OnNotificationGetCfg(NS_Configuration::EVENT nKind, CTavmontDlg* pMainWnd, BOOL fIntranet);
    void OnNotificationRemoteScanStart(CTavmontDlg* pMainWnd);
    void OnNotificationRemoteScanStop(CTavmontDlg* pMainWnd);
    void OnNotificationUninstall(CTavmontDlg* pMainWnd);
    // Back exactly one pattern file (the version asked for is only traced).
    void OnNotificationRollback(CTavmontDlg* pMainWnd, int nVersion);

    // ---- outside programs and disk reserve ----
    void StartQuelmail();
    void StopQuelmail();
    // Starts the cleaning program, when its file carries a valid signature, hidden; a watcher
    // relays the program's error windows to the user.
    void StartPGX(BOOL fShowVirusMessages);
    void StopPGXWatchThread();
    // The hidden file "Reserve" of DiskReserved MB in the program folder (HTTP mode).
    void ReserveDiskSpace();
    void RemoveReservedDiskSpace();
    // At least 20 MB free on the Windows folder's drive.
    BOOL HasEnoughDiskSpace();
    // CreateProcess of the quoted program path (plus the arguments); a failure is shown (string
    // 324, stop icon) and traced.
    BOOL SpawnProcess(PROCESS_INFORMATION* ppi, const char* pszProgram, const char* pszArguments);
    // String 324 for a program that could not be started, with the system's text of the error.
    CString LaunchFailureText(const char* pszPath, DWORD dwError);

    // ---- small helpers ----
    // Creates or replaces the file with the whole text; FALSE when it cannot be written.
    BOOL WriteBufferToFile(const CString& strPath, const CString& strText);
}

// Another product of the maker is installed: TRUE and its name in the buffer.
BOOL FindOtherConsumerProduct(char* pszName, int nSize);
BOOL FindOtherServerProduct(char* pszName, int nSize);

#endif

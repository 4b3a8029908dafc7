// The client's main window: a dialog run modally for the whole life of the program, hidden in
// the tray. It owns the console, the real-time monitor and the options sheet, starts and
// stops the client's worker threads, publishes its handle for the other programs and handles
// the tray icon, the commands and the messages other threads and programs send it.
#ifndef VGL_TAVMONTDLG_H
#define VGL_TAVMONTDLG_H

#include "LockOrder.h"
#include <afxwin.h>
#include <wininet.h>
#include "afxmt.h"
#include "afxtempl.h"

#include "BitmapStatic.h"
#include "BlockingSocket.h"
#include "ClientMessages.h"
#include "DIB.h"
#include "FakePropertySheet.h"
#include "FlagEvent.h"
#include "IOMonitorDlg.h"
#include "OptionsPropertySheet.h"

class CAboutDlg;
class CCommonScanINI;
class CExclusionFileINI;
class CInternetSettingsDlg;
class CProxySettingDlg;

// The record the outside cleaning program sends with WM_COPYDATA (tag 2004).
enum
{
    PGX_RECORD_OUTCOME = 4,             // DWORD: 0x10001 the program cleaned something
    PGX_RECORD_STATUS = 48,             // DWORD: 0x20003 the cleaning failed
    PGX_RECORD_VIRUS = 56,              // NUL-terminated virus name
    PGX_RECORD_MIN_SIZE = 57            // a shorter block is not a record
};
#define PGX_OUTCOME_CLEANED 0x10001
#define PGX_STATUS_FAILED 0x20003

// One download's progress in the tray tip.
struct SDownloadProgress
{
    DWORD dwTotal;
    DWORD dwDone;
    BOOL fActive;
};

class CTavmontDlg : public CDialog
{
public:
    enum { IDD = 246 };
    enum
    {
        TRAY_ICON_ID = 108,
        ANIMATION_ICON_COUNT = 10,
        HIDE_TIMER = 2,
        CHECK_RUN_KEY_TIMER = 4,
        CHECK_RUN_KEY_PERIOD = 600000,
        KILL_THREAD_TIME_OUT = 3000
    };

    explicit CTavmontDlg(CWnd* pParent = NULL);
    virtual ~CTavmontDlg();

    virtual BOOL Create(UINT nIDTemplate, CWnd* pParent = NULL);
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual void PreSubclassWindow();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // ---- life cycle ----
    BOOL CheckRunKey();
    void TryGetClientBindPort();
    static void OptionsChangedCallback(LPVOID pvContext);
    // Which hot area of the banner holds the point (client coordinates of this window):
    // 0 outside the banner, 1 elsewhere on it, 2, 3 or 4 for the three hot areas.
    int HitTestBanner(CPoint point);

    // ---- tray icon ----
    BOOL SendTrayIconMessage(HWND hWnd, DWORD dwMessage, UINT uID, HICON hIcon, LPCSTR pszTip);
    BOOL AddTrayIcon();
    BOOL DeleteTrayIcon();
    // Recomputes the tip and the status icon; any thread may call it (through g_pMainDlg).
    static void UpdateTrayIcon();
    HICON ChooseStatusIcon();
    // The index of the status icon for the current state (connected, pattern old, mobile,
    // real-time off as bits 0 to 3).
    int GetStatusIndex();
    // The index of a status icon (0..15), 100 + n for animation frame n, -1 for another.
    int GetStatusIndexOf(HICON hIcon);
    BOOL IsPatternTooOld();
    CString FormatStatusTip();
    CString FormatTrayTip(int nPercent);
    void AnimateTrayIcon(int nPercent);
    void StopTrayAnimation();
    static void ScanProgressCallback(int nPercent);
    static int ScanEndCallback();
    static BOOL IsScanning();

    // ---- commands ----
    void AdjustTrayMenu(CMenu* pMenu);
    BOOL SetFileMenuVisible();
    void HideToTray();
    void ShowMonitor();
    void OnUnloadCommand();
    BOOL CheckUnloadPassword();
    void CloseChildDialogs();
    static unsigned __stdcall ShowMessageThread(void* pvText);
    static unsigned __stdcall ShowErrorMessageThread(void* pvText);
    // Shows a resource string through ShowMessageThread.
    void ShowMessageOnThread(UINT nIDString);

    // ---- forwarders for the update and server-command code ----
    BOOL UpdatePatternVersion(const CString& strPatternFile);
    BOOL UpdateEngineVersion(const CStringArray& arrFiles);
    BOOL ProcessEngineRollback(const CStringArray& arrFiles, BOOL fRollback);
    void UpdateAlertMessage();
    void UpdateConfigurationStatus(CCommonScanINI& settings);
    void UpdateExclusionStatus(CExclusionFileINI& settings);
    BOOL AddPGXLog(const void* pvRecord, DWORD cbRecord);
    // Hands a server command to the UI thread (WM_SERVER_COMMAND); only queries posted here
    // are carried out.
    BOOL PostServerCommand(const CString& strQuery);

    // ---- download progress (content-length and status callbacks of HTTP requests) ----
    static void OnPatternDownloadBegin(DWORD dwTotal, LPVOID pvContext);
    static void OnProgramDownloadBegin(DWORD dwTotal, LPVOID pvContext);
    static void OnEngineDownloadBegin(DWORD dwTotal, LPVOID pvContext);
    static void OnPatternDownloadProgress(HINTERNET hSession, DWORD_PTR dwContext, DWORD dwStatus,
                                          LPVOID pvInfo, DWORD dwInfoLength, LPVOID pvContext);
    static void OnProgramDownloadProgress(HINTERNET hSession, DWORD_PTR dwContext, DWORD dwStatus,
                                          LPVOID pvInfo, DWORD dwInfoLength, LPVOID pvContext);
    static void OnEngineDownloadProgress(HINTERNET hSession, DWORD_PTR dwContext, DWORD dwStatus,
                                         LPVOID pvInfo, DWORD dwInfoLength, LPVOID pvContext);

    // ---- worker threads (their bodies belong to the scheduler, listener, update, address
    // and exception-process areas) ----
    static unsigned __stdcall SchedulerThread(void* pvParam);
    // The scheduler's body: every pass of 5 s either the schedule's due test or the log
    // threads' wake-up, in turn, then the count toward the file-based poll.
    static unsigned SchedulerThreadThis(CTavmontDlg* pThis);
    void CheckScheduleScan();
    void CheckPollingTime(DWORD dwMilliseconds);
    // What the main window does after a scheduled scan.
    enum { SCHEDULED_SCAN_STAY_HIDDEN, SCHEDULED_SCAN_RESTORE, SCHEDULED_SCAN_POPUP };
    static int AfterScheduledScan(BOOL fWasVisible, BOOL fPopup, BOOL fVirusFound);
    BOOL CreateHttpServerThread();
    // The listener's threads: each accepts one connection, starts its successor, answers and
    // hands a command to the dispatcher.
    static unsigned __stdcall HttpServerThread(void* pvParam);
    static unsigned HttpServerThreadEx(void* pvParam);
    void HttpServerThreadThis();
    // Closes the listening socket and waits for the thread waiting to accept.
    void StopHttpServerThread();
    // At destruction: waits until every listener thread has ended.
    void WaitForListenerThreads();
    static unsigned __stdcall CheckIPChangeThread(void* pvParam);
    void CheckIPChangeThreadThis();
    BOOL CreateScheduleUpdateThread();
    static unsigned __stdcall ScheduleUpdateThread(void* pvParam);
    void ScheduleUpdateThreadThis();
    BOOL CreateCheckIPChangeThread();
    static void __cdecl CleanSuspectFolderThread(void* pvParam);
    static unsigned __stdcall QueryEndSessionThread(void* pvParam);
    static unsigned __stdcall QueryEndSessionThread2(void* pvParam);

    // ---- members ----
    BOOL m_fMailScanPage;
    CProxySettingDlg* m_pProxyDlg;
    CAboutDlg* m_pAboutDlg;
    CInternetSettingsDlg* m_pInternetSettingsDlg;
    COptionsPropertySheet* m_pOptionsSheet;
    CDIB m_dib;
    CPalette* m_pPalette;
    CBitmapStatic m_staticBanner;
    CMenu m_menuTray;
    CMenu m_menuMain;
    CFakePropertySheet m_sheetFake;
    CIOMonitorDlg m_dlgIOMonitor;
    COptionsPropertySheet m_sheetOptions;
    CFlagEvent m_flagModalBusy;
    CFlagEvent m_flagAnimating;
    HICON m_hIcon;
    HICON m_hStatusIcon;
    HANDLE m_hmmfMainHwnd;
    UINT_PTR m_nHideTimer;
    UINT_PTR m_nCheckRunKeyTimer;
    int m_nAnimIcons;
    HICON m_hAnimIcons[ANIMATION_ICON_COUNT];
    int m_nAnimIndex;
    BOOL m_fHidden;
    BOOL m_fUnloading;
    HANDLE m_hScheduleScanThread;
    HANDLE m_hScheduleUpdateThread;
    HANDLE m_hHttpServerThread;
    HANDLE m_hCheckIPChangeThread;
    CBlockingSocket m_sockListen;
    UINT m_nLocalServerPort;
    SDownloadProgress m_patternDownload;
    SDownloadProgress m_programDownload;
    SDownloadProgress m_engineDownload;
    BOOL m_fTrayIconAdded;
    int m_nDropState;
    DWORD m_dwPollingElapsed;
    DWORD m_dwPollingInterval;
    int m_nPollingMinutes;
    int m_nPollingRange;
    PROCESS_INFORMATION m_piSupportProcess;
    BOOL m_fLoggedOff;
    // The last call of SendTrayIconMessage, kept for a new task bar; guarded by m_csTrayData.
    HWND m_hwndTray;
    DWORD m_dwTrayMessage;
    UINT m_uTrayIconId;
    HICON m_hTrayIcon;
    CString m_strTrayTip;
    CCriticalSection m_csTrayData;
    CString m_strScheduleScanTip;
    CString m_strRemoteScanTip;
    CString m_strManualScanTip;
    CString m_strPatternDownloadTip;
    CString m_strProgramDownloadTip;
    CString m_strEngineDownloadTip;
    CArray<HICON, HICON> m_arrayStatusIcons;
    // The end-of-session threads stopped the notification and settings services.
    BOOL m_fServicesStopped;
    // End-of-session threads given up on at the time-out (never killed), or NULL.
    HANDLE m_ahEndSessionThreads[2];
    // Server commands posted with WM_SERVER_COMMAND and not yet handled; guarded.
    CPtrArray m_arrServerCommands;
    CCriticalSection m_csServerCommands;

    // The file-based polling range as used: "Filebase Polling Range" bounded to 1..32767.
    static int BoundPollingRange(DWORD dwRange);
    // A thread handle that stands for a running thread (neither 0 nor INVALID_HANDLE_VALUE).
    static BOOL IsThreadHandle(HANDLE hThread);

protected:
    virtual BOOL OnInitDialog();
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange* pDX);

    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnDestroy();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
    afx_msg BOOL OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct);
    afx_msg void OnDropFiles(HDROP hDropInfo);
    afx_msg LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    afx_msg void OnActivateApp(BOOL bActive, DWORD dwThreadID);
    afx_msg BOOL OnQueryEndSession();
    afx_msg void OnEndSession(BOOL bEnding);

    afx_msg LRESULT OnDeleteThread(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnServerCommand(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnTrayContextMenu(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnHideToTray(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnScheduleScan(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDisplayFloppyWarning(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUpdateAlertMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnPendingVirusLog(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSecondInstance(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUpdateTrayIcon(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnAnimateTrayIcon(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnStopTrayAnimation(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnUpdateConfiguration(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRemoteScan(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT SetExceptionProcess(WPARAM wParam, LPARAM lParam);
    // Hands one open list's process ids to the engine (added, or deleted and their values
    // removed); ends at the list's end or at any error (the key deleted meanwhile).
    static void ApplyExceptionList(HKEY hKey, BOOL fDelete);
    afx_msg LRESULT OnUnload(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);

    // Command handlers
    void OnShowMainWindow();
    void OnOptionsPage(int nPage);
    void OnAbout();
    void OnProxySettings();
    void OnInternetSettings();
    void OnSupportTool();
    void OnUpdateNewSettings();
    void OnVirusEncyclopedia();
    void OnForceMobile();
    void OnStopScheduleScan();
    void OnScheduleUpdateOnOff();
    // Update handlers
    afx_msg void OnUpdateOptionsManualScan(CCmdUI* pCmdUI);
    afx_msg void OnUpdateOptionsRealTimeScan(CCmdUI* pCmdUI);
    afx_msg void OnUpdateOptionsScheduledScan(CCmdUI* pCmdUI);
    afx_msg void OnUpdateOptionsExclusionList(CCmdUI* pCmdUI);
    afx_msg void OnUpdateUnload(CCmdUI* pCmdUI);
    afx_msg void OnUpdateWhenIdle(CCmdUI* pCmdUI);
    afx_msg void OnUpdateAbout(CCmdUI* pCmdUI);
    DECLARE_MESSAGE_MAP()

private:
    void RealizeBannerPalette(CWnd* pFocusWnd);
    // Starts the next listener thread; the caller holds the listener threads' lock.
    HANDLE StartNextListenerThread();
    // Waits for a free connection and accepts one; FALSE when the listener stops.
    BOOL AcceptListenerConnection(CBlockingSocket& sConnect);
    // Ping the server and, when it answers, queue the client-information status log.
    void Reconnect();
    void StartEndSessionWork(BOOL fSend);
    // Waits up to dwTimeout ms for end-of-session threads that outlived their time-out:
    // TRUE when none runs any more.
    BOOL WaitEndSessionWork(DWORD dwTimeout);
    static BOOL IsEndSessionGivenUp(LPVOID);
public:
    // The scheduled-update thread has been created and has not ended (it uses g_csUpgrade).
    static BOOL IsScheduleUpdateRunning() { return s_lScheduleUpdateRunning != 0; }
private:
    static volatile LONG s_lScheduleUpdateRunning;
    static void DownloadBegin(SDownloadProgress CTavmontDlg::*pProgress, DWORD dwTotal,
                              LPVOID pvContext);
    static void DownloadProgress(SDownloadProgress CTavmontDlg::*pProgress, DWORD dwStatus,
                                 LPVOID pvInfo, LPVOID pvContext);
};

// The one main window, set by its constructor and cleared by its destructor.
extern CTavmontDlg* g_pMainDlg;
// Set once by the main window's destruction: the scheduler, schedule-update and IP-change
// threads end on it.
extern CEvent g_eventStopScheduler;
// The message Explorer broadcasts when a new task bar starts.
extern UINT g_uTaskbarCreated;
// Set by a listener thread that answered the status query while the client counted itself
// off line; the address-change watcher tests the server again and clears it.
extern volatile BOOL g_fReconnect;

#endif

// The real-time monitor window: its creation starts the engine for real-time scanning with every
// setting, its destruction reports the client's closing and stops the engine. In between it keeps
// real-time scanning in line with the settings, shows what the engine does, handles the engine's
// virus events (worker threads act on the files, log and report them) and scans boot areas,
// memory and removable drives.
#ifndef VGL_IOMONITORDLG_H
#define VGL_IOMONITORDLG_H

#include "LockOrder.h"
#include <afxwin.h>
#include "afxcoll.h"
#include "afxmt.h"

#include "BitmapStatic.h"
#include "DIB.h"
#include "IOTLib.h"
#include "LogReportDlg.h"
#include "PostedObjects.h"
#include "VirusFoundDlg.h"

class CTavmontDlg;
class CVexorVXD;

// Messages of the monitor window.
#define WM_SCAN_MEMORY_BOOT (WM_USER + 1)       // memory, then boot areas (wParam, lParam as 0x403)
#define WM_MONITOR_UPDATE_STATUS (WM_USER + 2)  // CIOMonitorDlg::UpdateStatus
#define WM_SCAN_BOOT (WM_USER + 3)              // lParam non-zero: no removable drives
#define WM_SCAN_MEMORY (WM_USER + 4)
#define WM_CONNECT_NOTIFY (WM_USER + 53)        // from the driver: wParam the drive, 1 = A:
// Posted by the event threads to the window's own thread, the only one that touches windows.
#define WM_MONITOR_SHOW_PROGRESS (WM_USER + 100)
#define WM_MONITOR_SHOW_FINDING (WM_USER + 101) // lParam: SMonitorFinding*, owned by the receiver
#define WM_MONITOR_SHOW_ALERT (WM_USER + 102)   // lParam: CLogReportItem*, owned by the receiver

// A finding as the found list and the status line show it.
struct SMonitorFinding
{
    CString strVirus;
    CString strFile;
    CString strResult;
};

class CIOMonitorDlg : public CDialog
{
public:
    enum { IDD = 233 };

    // The picture and palette are the main window's, shared, not owned.
    CIOMonitorDlg(CDIB* pDIB, CPalette* pPalette, CWnd* pParent);
    virtual ~CIOMonitorDlg();

    // Hides the embedded virus-found list when the window exists.
    void HideVirusFoundDialog();
    // Starts the engine for real-time scanning, then hands the exception processes over.
    BOOL InitializeVexor();
    // Has the main window hand the registry's exception processes to the engine (after every
    // engine start): sent on the window's thread, posted from any other.
    void HandExceptionProcesses();
    // Hands the server's current alert text to the virus-found list.
    void RefreshAlertMessage();
    // With real-time scanning and its "ScanShutdown" switch on, scans the removable drives;
    // TRUE when a virus was found.
    BOOL ScanFloppyAtShutdown();
    // Re-initialise the engine with a new pattern, new engine files, or the previous ones.
    BOOL UpdatePatternVersion(const CString& strPatternFile);
    BOOL UpdateEngineVersion(const CStringArray& arrFiles);
    BOOL ProcessEngineRollback(const CStringArray& arrFiles, BOOL fRollback);
    // Re-reads the real-time and scheduled settings and applies them to the window, the
    // engine and the tray icon.
    void UpdateStatus();

    // ---- engine start ----
    void SetGlobalVexorSettings();
    void SetExclusionLists();
    void ShowInitError(int nCode);
    // The text of the error box for an engine start result.
    static CString GetInitErrorText(int nCode);
    BOOL CheckAndDeleteCorruptPattern();
    void DeleteOldPattern();

    // ---- virus events ----
    // One virus event on its worker thread: finishes the engine's work on the file, logs and
    // reports it; frees the record.
    void OnRealTimeVirus(IOT_EVENT* pEvent);
    // Counts a scanned file and shows its path (any thread).
    void ShowScanProgress(IOT_EVENT* pEvent);
    // A save of the virus log on a thread of its own (any thread).
    void StartSaveVirusLogNow();
    // The engine left the file in place (the action table of a failed first action).
    static BOOL NeedsEncoding(int nFirstAction, int nFirstResult, int nSecondAction, int nSecondResult);
    // When the engine left the infected file in place, an encoded, harmless copy takes its
    // place (not for a member of a compressed file; nothing without an engine).
    static void EncodeLeftFile(const IOT_EVENT* pEvent, CVexorVXD* pVexor);
    // The found list's texts of an event (its result already recorded in the log record).
    static void DescribeEvent(const IOT_EVENT* pEvent, const CString& strResult, SMonitorFinding* pFinding);

    // ---- boot areas, memory, removable drives ----
    BOOL ScanDrive(char chDrive);
    BOOL ScanFloppy();
    void ActOnBPVirus(char chDrive, BOOL fBootSectorVirus, BPMINFO* pBPMInfo);
    // The first status of a boot-area record: cleaning (when asked) happens only where the
    // drive can be cleaned; a cleaning that was skipped or failed counts as not done (0).
    static int BootFirstStatus(int nDriveALayout, BOOL fBootSectorVirus, BOOL fClean, int nCleanResult);

    afx_msg LRESULT OnConnectNotify(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnScanMemoryBoot(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnScanBoot(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnScanMemory(WPARAM wParam, LPARAM lParam);

    LONG GetFilesScanned() const { return m_lFilesScanned; }
    LONG GetVirusesFound() const { return m_lVirusesFound; }

    CTavmontDlg* m_pMainDlg;
    CRealtimeDriveVirusFoundDlg m_dlgVirusFound;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    // Starts the shut-down notice, reports the close and stops the engine.
    afx_msg void OnDestroy();
    afx_msg LRESULT OnUpdateStatusMessage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowProgress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowFinding(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowAlert(WPARAM wParam, LPARAM lParam);
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
    afx_msg LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnHelp();
    DECLARE_MESSAGE_MAP()

    void ShowCounts();
    // Creates and shows the alert window for a boot-area record (user-interface thread).
    void ShowVirusAlert(const CLogReportItem& item);

    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CBitmapStatic m_staticBitmap;
    volatile LONG m_lFilesScanned;
    volatile LONG m_lVirusesFound;
    CLogFileWorker m_saver;
    CCriticalSection m_csSaveThread;   // around m_saver
    // The file being scanned, shown by the window's thread; a refresh is posted once.
    CCriticalSection m_csProgress;
    CString m_strScanning;
    volatile LONG m_fProgressPosted;
};

// The one monitor: set by its constructor, cleared when its window is destroyed.
extern CIOMonitorDlg* g_pIOMonitorDlg;
// The monitor's window: the engine's context value and the target of WM_CONNECT_NOTIFY.
extern HWND g_hIOMonitorWnd;
// The findings and alerts the event threads post to the window (only these are taken).
extern CPostedObjects g_postedMonitorObjects;
// Around each save of the virus log the monitor starts.
extern CCriticalSection g_csSaveVirusLog;
// "CallBackSemaphore_IOMointor": one real-time virus worker at a time.
extern HANDLE g_hCallBackSemaphore;

// The engine's real-time event callback (on the driver library's master thread).
void RealTimeScanVirusCallBack(LPVOID pEvent);
// The worker thread of one virus event.
void __cdecl RealTimeScanVirusCallBackThread(void* pEvent);
// Ends the program on the thread of the window (a user-interface window): that thread's
// message loop gets WM_QUIT, whichever thread calls.
void PostProgramEnd(HWND hUIWindow);
// Waits, at most the time given, until no virus worker runs.
void WaitForRealTimeWorkers(DWORD dwTimeout);

#endif

// One on-demand scan: the progress dialog with its counting and scanning threads, the walk of
// the chosen folders and the per-finding worker that completes the engine's actions.
#ifndef VGL_SCANFILESDLG_H
#define VGL_SCANFILESDLG_H

#include "LockOrder.h"
#include <afxwin.h>
#include <afxcmn.h>
#include <afxmt.h>

#include "BitmapStatic.h"
#include "FlagEvent.h"
#include "IOTLib.h"
#include "PostedObjects.h"

class CDIB;
class CCommonScanINI;
class CTreeDirCtrl;
class CVexorVXD;

#define WM_SCAN_THREAD (WM_USER + 1)
#define WM_SCAN_SHOW_TEXTS (WM_USER + 2)
// lParam: a CString* the dialog shows in a message box and deletes.
#define WM_SCAN_SHOW_ERROR (WM_USER + 3)

typedef void (*PFN_SCAN_VIRUS_FOUND)(IOT_EVENT* pEvent, CCommonScanINI* pSettings, BOOL fRelease, BOOL fInScanWindow);
typedef void (*PFN_SCAN_ELAPSED)(const CTimeSpan* pSpan);
typedef void (*PFN_SCAN_RESET)();
typedef void (*PFN_SCAN_FILE_SCANNED)();
typedef void (*PFN_SCAN_PROGRESS)(int nPercent);
typedef int (*PFN_SCAN_ENDED)();

// The callbacks a scan calls; any may be NULL.
struct SScanCallbacks
{
    PFN_SCAN_VIRUS_FOUND pfnVirusFound;
    PFN_SCAN_ELAPSED pfnElapsed;
    PFN_SCAN_RESET pfnReset;
    PFN_SCAN_FILE_SCANNED pfnFileScanned;
    PFN_SCAN_PROGRESS pfnProgress;
    PFN_SCAN_ENDED pfnEnded;
};

// The texts the walk tests names against (upper-cased, each entry closed by a blank).
namespace NS_ScanWalk
{
// ".COM.EXE" -> " COM  EXE " and the array {COM, EXE}; a list holding ".*" gives none.
CString BuildExtensionText(LPCSTR pszExtList, CStringArray* pExtensions);
CString BuildExcludedNamesText(const CStringArray& arrNames);
// Every non-empty folder with a closing backslash and a blank.
CString BuildExcludedFoldersText(const CStringArray& arrFolders);
// Whether the folder or a folder above it (drive root included) is excluded.
BOOL IsInExcludedFolder(const CString& strExcludedFolders, LPCSTR pszFolder);
// Whether the walk scans a file of this name.
BOOL IsFileToScan(LPCSTR pszName, BOOL fExtensionFilter, const CString& strExtensions,
                  const CString& strExcludedNames);

// Whether the drive is one of Wine's that shows the host's whole file system (its /proc and /dev
// hold files that never end or block whoever opens them): such a drive's root is not walked.
BOOL IsHostRootDrive(char chDrive);

// The engine's answer to a scan request: a negative result is a finding, 1 a failed call (a
// file that cannot be read, an engine reloading or stopped), 0 a clean file.
enum { SCAN_CLEAN = 0, SCAN_INFECTED = 1, SCAN_ERROR = 2 };
int ClassifyScanResult(int nResult);

// The worker's part of a finding: a file the engine left in place is encoded (and only then
// replaced by its encoded copy), a moved file goes on to quarantine.
void CompleteVirusActions(IOT_EVENT* pEvent, CCommonScanINI* pSettings, CVexorVXD* pVexor);

// Waits (at most dwTimeout ms) for the finding workers, so a scan's results are complete at its
// end, dispatching this thread's messages meanwhile; a program end met there is posted again.
void WaitForScanWorkers(DWORD dwTimeout);
}

// How long a finding waits for the worker of the one before it (tests shorten it).
extern DWORD g_dwScanVirusWaitMs;
// How long a scan whose engine went away waits for it to run again (tests shorten it).
extern DWORD g_dwScanEngineWaitMs;
extern HWND g_hwndScanFiles;
extern volatile LONG g_nCountingDone, g_nProgressTicks, g_nProgressGuess;
// The finding workers still running.
extern volatile LONG g_nScanWorkers;

// The engine's scan callback of on-demand scans.
void FoundFileVirusCallBack(LPVOID pvEvent);
// SW_HIDE parks the scan window off screen, SW_SHOW / SW_SHOWNORMAL show it; 0: no scan window.
int ShowScanFilesDlg(int nCmdShow);

class CScanFilesDlg : public CDialog
{
public:
    enum { IDD = 133 };

    // Tree form: the ticked paths of the tree, filtered by the extension list.
    CScanFilesDlg(CDIB* pDIB, CPalette* pPalette, CCommonScanINI* pSettings, CTreeDirCtrl* pTree,
                  CVexorVXD* pVexor, const SScanCallbacks& callbacks, LPCSTR pszExtList,
                  const CStringArray& arrExcludedNames, const CStringArray& arrExcludedFolders,
                  CFlagEvent* pStopEvent, CFlagEvent* pEndedEvent, CCriticalSection* pInteractive,
                  BOOL fVisible, CWnd* pParent);
    // Dropped-items form: the dropped folders and files, every file scanned.
    CScanFilesDlg(CDIB* pDIB, CPalette* pPalette, CCommonScanINI* pSettings, CTreeDirCtrl* pTree,
                  CVexorVXD* pVexor, const SScanCallbacks& callbacks, const CStringArray& arrFolders,
                  const CStringArray& arrFiles, const CStringArray& arrExcludedNames,
                  const CStringArray& arrExcludedFolders, CFlagEvent* pStopEvent, CFlagEvent* pEndedEvent,
                  CCriticalSection* pInteractive, BOOL fVisible, CWnd* pParent);
    virtual ~CScanFilesDlg();

    // The recursive walk: fScanFile FALSE counts, TRUE scans.
    void FindFilesWithAction(BOOL& rfTerminated, const CString& strDir, BOOL fExtensionScan, BOOL fScanFile);
    void ScanningFolderIfNecessary(BOOL& rfTerminated, const char* pszCurrentPath, BOOL fExtensionScan);
    // The scanning thread's work without a thread (the walk of every path, then the dropped files).
    BOOL ScanAll();
    // The counting thread's work: the same walk, counting.
    void CountAll();
    // A boot-area finding of a drive of that type: cleaned when asked and allowed, then reported.
    void ReportBootVirus(char chDrive, UINT uDriveType, BOOL fBootSector, const BPMINFO& info);

    volatile LONG m_nVirusTotal;
    volatile LONG m_nScanErrors;
    BOOL m_fScanSuccess;
    // The engine stopped under the scan and did not come back: the scan was not completed.
    BOOL m_fEngineLost;
    volatile LONG m_nFilesCounted, m_nFilesScanned;
    int m_nState;               // 0 running, 1 paused, 2 stopping
    CStringArray m_arrPaths;    // the ticked paths (tree form)

protected:
    virtual BOOL OnInitDialog();
    virtual void OnCancel();
    virtual void OnOK();
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnDestroy();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnButtonStop();
    afx_msg void OnButtonPause();
    afx_msg LRESULT OnScanThreadStop(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowTexts(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShowError(WPARAM wParam, LPARAM lParam);
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    void Init(CCommonScanINI* pSettings, CVexorVXD* pVexor, const SScanCallbacks& callbacks,
              const CStringArray& arrExcludedNames, const CStringArray& arrExcludedFolders);
    BOOL IsStopRequested() const;
    void Cleanup();
    // FALSE when the walk must end: the engine is gone for good, or the scan is stopped.
    BOOL ScanOneFile(const CString& strPath);
    BOOL WaitForEngine();
    void ScanBootArea(const CString& strFolder);
    void ScanMemoryIfAsked();
    void ShowText(int nID, LPCSTR pszText);
    // From a walker thread: the text goes to the window's thread, which shows it.
    void ShowThreadError(LPCSTR pszText);
    // The walker threads' bodies with their exception handling.
    void RunCounting();
    void RunScanning();
    static unsigned __stdcall CountingFilesThread(void* pv);
    static unsigned __stdcall ScanningFilesThread(void* pv);

    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CCommonScanINI* m_pSettings;
    CTreeDirCtrl* m_pTree;
    CVexorVXD* m_pVexor;
    SScanCallbacks m_callbacks;
    BOOL m_fDroppedForm;
    CStringArray m_arrDroppedFolders, m_arrDroppedFiles;
    CStringArray m_arrExtensions;
    CString m_strExtensions, m_strExcludedNames, m_strExcludedFolders;
    CFlagEvent* m_pExternalStopEvent;
    CFlagEvent* m_pEndedEvent;
    CCriticalSection* m_pInteractive;
    BOOL m_fVisible;
    BOOL m_fScanning;
    BOOL m_fCleanedUp;
    CFlagEvent m_eventKillThread;
    HANDLE m_hCountingThread, m_hScanningThread;
    CTime m_timeStart, m_timeEnd;
    UINT_PTR m_uTimer;
    CProgressCtrl m_progress;
    // The folder and file the walk is at, shown by the window's own thread.
    CCriticalSection m_csTexts;
    CString m_strFolderText, m_strFileText;
    volatile LONG m_fTextsPosted;
    // Error texts of the scan threads, shown by the window's own thread.
    CPostedObjects m_postedErrors;

public:
    // The animation beside the texts: m_nAnimFrame icons from icon 256, one every 200 ms,
    // running while the scan runs. Made when the dialog starts.
    int m_nAnimFrame;
    CAnimationIcon* m_pAnimation;
};

#endif

// The console's manual-scan page: the directory tree and Scan Now, and the entry of every
// on-demand scan (dropped files, the scheduled scan, the server's scan now).
#ifndef VGL_MANUALSCANDLG_H
#define VGL_MANUALSCANDLG_H

#include "LockOrder.h"
#include <afxwin.h>
#include <afxmt.h>

#include "LogReportDlg.h"

class CDIB;
class CTreeDirCtrl;
class CCommonScanINI;
class CFakePropertySheet;
class CFlagEvent;
struct SScanCallbacks;

class CManualScanDlg : public CDialog
{
public:
    enum { IDD = 451 };

    CManualScanDlg(CDIB* pDIB, CPalette* pPalette, CFakePropertySheet* pSheet);
    virtual ~CManualScanDlg();

    int ScheduleScan();
    int ScheduleScanThreadThis();
    int RemoteScan();
    void RefreshDirectoryTree();
    BOOL IsVirusFound() const { return m_fVirusFound; }
    void SetVirusFound(BOOL fFound);
    int ShowScanProgress();
    int HideScanProgress();
    void EnableControls(BOOL fEnable);
    // The drop: folders and files (paths whose status cannot be read are left out).
    static void SplitDrop(HDROP hDrop, CStringArray& arrFolders, CStringArray& arrFiles);

    afx_msg void OnDropFiles(HDROP hDropInfo);
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);

    // The page's tree (its header brings the shell's names along, so it is kept out of this one).
    CTreeDirCtrl& m_tree;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK() {}
    virtual void OnCancel() {}
    afx_msg void OnButtonScanNow();
    afx_msg void OnDestroy();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg void OnTreeNotify(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg LRESULT OnRefreshTree(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

    // One run of the progress dialog with the entry's settings; returns its result (2 when it
    // did not run) and the virus total and success flag through the pointers.
    int RunScan(CCommonScanINI& settings, const SScanCallbacks& callbacks, const CStringArray* pFolders,
                const CStringArray* pFiles, CFlagEvent& stop, CFlagEvent& ended, BOOL fInteractive,
                int* pnVirusTotal, BOOL* pfSuccess, BOOL* pfEngineLost = NULL);
    // A scan of the drives the settings tick, not interactive (the scheduled scan, the server's
    // scan now): its status log, the page's finding and, when the server asks for it, the
    // scan-result log under nEvent.
    int RunDriveScan(CCommonScanINI& settings, CFlagEvent& stop, CFlagEvent& ended, int nEvent,
                     const CTime& timeStart);
    // fEngineLost: the scan ended not completed because the engine stopped under it.
    void ShowOutcome(int nResult, int nVirusTotal, BOOL fEngineLost);
    void UpdateScanNowButton();
    static unsigned __stdcall DirNotificationThread(void* pv);

    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CFakePropertySheet* m_pSheet;
    HANDLE m_hDirNotificationThread;
    CLogFileWorker m_saver;
    CCriticalSection m_csSaver;   // around m_saver: scans end on several threads
    HANDLE m_hStopWatch;
    UINT_PTR m_uTimer;
    BOOL m_fVirusFound;
    volatile BOOL m_fRefreshPending;
};

#endif

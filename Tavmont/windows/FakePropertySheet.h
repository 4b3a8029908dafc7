// The console window: a dialog drawn as a tab sheet holding the manual-scan, scan-result,
// mail-scan, virus-log and tool pages.
#ifndef VGL_FAKEPROPERTYSHEET_H
#define VGL_FAKEPROPERTYSHEET_H

#include <afxwin.h>
#include <afxcmn.h>

#include "DIB.h"
#include "IOTLib.h"
#include "LogReportDlg.h"
#include "ManualScanDlg.h"
#include "PageMailScan.h"
#include "ScanResultDlg.h"
#include "WirelessSupp.h"

class CCommonScanINI;

#define WM_SHOW_VIRUS_ALERT (WM_USER + 1)

class CFakePropertySheet : public CDialog
{
public:
    enum { IDD = 224 };
    enum { MAX_PAGES = 5 };

    // The picture and palette are shared with the main window, not owned.
    CFakePropertySheet(CDIB* pDIB, CPalette* pPalette, CWnd* pParent);
    virtual ~CFakePropertySheet();

    // Re-reads the settings the pages show.
    void UpdateStatus();
    // The manual-scan page's scans: the server's "Scan Now" and the scheduled scan, run on
    // the calling (UI) thread until they end.
    int RemoteScan();
    int ScheduleScan();
    // Shows or hides a running scan's progress window; 0 when no scan runs.
    int ShowScanProgress();
    int HideScanProgress();
    void RefreshDirectoryTree();
    void SelectPage(int iPos);
    int GetCurrentPage() const;

    // The callbacks of the on-demand scans (on the scan's threads).
    static void scanVirusFoundCallback(IOT_EVENT* pEvent, CCommonScanINI* pSettings, BOOL fRelease, BOOL fInScanWindow);
    static void scanStartTimeCallback(const CTimeSpan* pSpan);
    static void scanResetCallback();
    static void scanFileCountCallback();

    CManualScanDlg m_dlgManualScan;
    CScanResultDlg m_dlgScanResult;
    CPageMailScan m_PageMailScan;
    CLogReportDlg m_dlgLogReport;          // the virus-log page
    CWirelessSupp m_WirelessSupp;
    CWnd* m_apPages[MAX_PAGES];

protected:
    virtual BOOL OnInitDialog();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnOK() {}
    virtual void OnCancel() {}
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnDestroy();
    // Sent on by the main window: files dropped on the client, drives that come and go.
    afx_msg void OnDropFiles(HDROP hDropInfo);
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    afx_msg void OnTabChanging(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnTabChanged(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg LRESULT OnShowVirusAlert(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    CDIB* m_pDIB;
    CDIB* m_pBitmap2;
    CPalette* m_pPalette;
    CTabCtrl m_tab;
    HACCEL m_hAccel;
};

extern CFakePropertySheet* volatile g_pFakePropertySheet;
extern BOOL g_fMailScanPage;
extern BOOL g_fToolPage;

#endif

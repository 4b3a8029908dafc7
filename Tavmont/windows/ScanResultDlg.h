// The console's scan-result page: counters of the on-demand scans, one row per infected file,
// and the actions the user can still take on the files that stay infected.
#ifndef VGL_SCANRESULTDLG_H
#define VGL_SCANRESULTDLG_H

#include "LockOrder.h"
#include <afxwin.h>
#include <afxcmn.h>
#include <afxmt.h>

#include "IOTLib.h"

class CCommonScanINI;

// Whether a file is still infected after the engine's actions (engine codes 1 rename, 2 move,
// 3 clean, 4 delete; a result is non-zero on success).
BOOL isStillInfected(int nFirstAction, int nFirstResult, int nSecondAction, int nSecondResult);

class CScanResultDlg : public CDialog
{
public:
    enum { IDD = 230 };

    explicit CScanResultDlg(CWnd* pParent = NULL);
    virtual ~CScanResultDlg();

    void AddVirusEvent(IOT_EVENT* pEvent, CCommonScanINI* pSettings, BOOL fRelease, BOOL fAddRow);
    void SetScanTime(const CTimeSpan& span);
    void SetVirusCount(int n);
    void SetScannedCount(int n);
    void SetCleanedCount(int n);
    void IncrementScannedCount();
    void ResetResults();
    // Acts on every selected actionable row; returns the number of successes.
    int ActOnSelected(int nAction);
    void UpdateButtons();

    int GetVirusCount() const { return m_nVirusCount; }
    int GetScannedCount() const { return m_nScannedCount; }
    int GetCleanedCount() const { return m_nCleanedCount; }

    CListCtrl m_list;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK() {}
    virtual void OnCancel() {}
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    afx_msg void OnButtonClean();
    afx_msg void OnButtonDelete();
    afx_msg void OnButtonRename();
    afx_msg void OnButtonClear();
    afx_msg void OnButtonVirusInfo();
    afx_msg void OnListChanged(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnListClick(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnListKeyDown(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg LRESULT OnShowCounts(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnPageUpdate(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    // The list and texts are the page thread's alone: another thread (a scan's) queues its
    // rows, texts and resets under m_cs and posts, so it never waits for the page's thread.
    enum { TEXT_TIME, TEXT_LAST_ACTION, TEXT_LAST_VIRUS, TEXT_COUNT };
    void AddRow(const CString& strFile, const CString& strPath, const CString& strVirus, const CString& strResult,
                DWORD dwData);
    void SetPageText(int nText, const CString& strText);
    void PostPageUpdate();
    void InsertRow(const CString& strFile, const CString& strPath, const CString& strVirus, const CString& strResult,
                   DWORD dwData);
    void OnActionButton(UINT nConfirmID, UINT nDoneID, int nAction, UINT uDefault);
    void ShowCount(int nID, int n);
    void OpenEncyclopedia(int nRow);

    struct SPendingRow
    {
        CString strFile, strPath, strVirus, strResult;
        DWORD dwData;
    };
    CCriticalSection m_cs;               // guards the pending members below; never held across a window call
    CArray<SPendingRow, const SPendingRow&> m_arrPending;
    BOOL m_fResetPending;                // the list is emptied before the pending rows go in
    CString m_astrPendingTexts[TEXT_COUNT];
    BOOL m_afTextPending[TEXT_COUNT];
    volatile LONG m_fUpdatePosted;
    CCommonScanINI* m_pSettings;
    int m_nVirusCount, m_nScannedCount, m_nCleanedCount;
    volatile LONG m_fCountsPosted;
    // The file each row stands for, in row order (the text of column 0 may differ from it).
    CStringArray m_arrRowPaths;
    char m_szEncyclopediaUrl[260];       // read when the page starts
};

#endif

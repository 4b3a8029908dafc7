// The virus-log windows: the console's virus-log page (CLogReportDlg), which loads the log
// when the console starts, keeps the number of days the log is retained and saves the log;
// the keeping-days dialog (CKeepingDaysDlg); and the viewer of one date range (CViewLogDlg).
#ifndef VGL_LOGREPORTDLG_H
#define VGL_LOGREPORTDLG_H

#include <afxwin.h>
#include <afxcmn.h>

#include "BitmapButtonEx.h"
#include "LogReport.h"
#include "SortedHeaderCtrl.h"
#include "TabCtrlWithDisable.h"

class CLogReportDlg : public CDialog
{
public:
    enum { IDD = 234 };

    explicit CLogReportDlg(CWnd* pParent = NULL);
    virtual ~CLogReportDlg();

    // The page's date range: the configured number of days to keep, ending today.
    void ReadProfileSetting();
    // The virus log of the kept days, loaded into the store or saved from it; failures are
    // traced and, when asked, shown.
    void LoadingLog(BOOL fDisplayErrMsg);
    void SavingLog(BOOL fDisplayErrMsg);
    static unsigned __stdcall LoadingLogThread(void* pvParam);

    // The date fields' range: today and the date days - 1 before it (today when days < 1).
    static void GetDisplayRange(int nDays, const CTime& now, CTime* pFrom, CTime* pTo);
    // The range loaded and saved: from 00:00 of the date days x 86400 s before now, to now.
    static void GetKeptRange(int nDays, const CTime& now, CTime* pFrom, CTime* pTo);
    // Whether the two dates lie in the ranges of the date fields (the to-date never on the
    // calendar's last day, 19 January 2038).
    static BOOL ValidateDates(const CTime& from, const CTime& to);
    // The range of a date field (FALSE for another control).
    static BOOL GetFieldRange(UINT nID, int* pnLower, int* pnUpper);

    int m_iKeepingDays;
    HANDLE m_hLoadingLogThread;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK() {}
    virtual void OnCancel() {}
    afx_msg void OnDestroy();
    afx_msg void OnButtonViewLog();
    afx_msg void OnButtonKeepingDays();
    afx_msg void OnKillFocusDateField(UINT nID);
    DECLARE_MESSAGE_MAP()

    // The date of three fields at 00:00; FALSE when a field holds no number.
    BOOL ReadDate(UINT nMonth, UINT nDay, UINT nYear, CTime* pDate);

    CBitmapButtonEx m_buttonViewLog;
    BOOL m_fInitialized;
    BOOL m_fCheckingField;
};

// The keeping-days edit: losing the focus to the dialog's Cancel button is not reported.
class CKeepingDaysEdit : public CEdit
{
protected:
    afx_msg void OnKillFocus(CWnd* pNewWnd);
    DECLARE_MESSAGE_MAP()
};

class CKeepingDaysDlg : public CDialog
{
public:
    enum { IDD = 241, MIN_DAYS = 1, MAX_DAYS = 15 };

    CKeepingDaysDlg(int nDays, CWnd* pParent = NULL);

    int m_nDays;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();

    CKeepingDaysEdit m_edit;
    BOOL m_fInitialized;
};

class CViewLogDlg : public CDialog
{
public:
    enum { IDD = 240 };

    CViewLogDlg(const CTime& from, const CTime& to, CWnd* pParent = NULL);
    virtual ~CViewLogDlg();

    // The texts of a row's columns as the list shows them (column 4 with the note on a member
    // left in its compressed file, as far as cchMax allows).
    static CString GetColumnText(const CLogReportItem& item, int nColumn, int cchMax = 1024);
    // The order of two records by a column, ascending (the viewer's sort turns it round when
    // its header shows descending order).
    static int CompareItems(const CLogReportItem* p1, const CLogReportItem* p2, int nColumn);

    CLogReport m_logReport;
    CToolTipsListCtrl m_list;
    CSortedHeaderCtrl m_header;

protected:
    virtual BOOL OnInitDialog();
    afx_msg void OnDestroy();
    afx_msg void OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnHelpButton();
    DECLARE_MESSAGE_MAP()

    void FillList();
};

// The viewer whose header gives the sort direction while it is open.
extern CViewLogDlg* g_pViewLogDlg;

#endif

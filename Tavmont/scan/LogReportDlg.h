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

// A load or a save of the kept days of the virus log on a thread of its own. The thread
// touches no window and may hold the store's locks, so it is never killed: Stop asks it to end
// (it looks between day files) and waits a while; one that does not end in time is let go and
// finishes on its own. One owner thread calls the members.
class CLogFileWorker
{
public:
    CLogFileWorker() : m_hThread(NULL), m_pJob(NULL) {}
    ~CLogFileWorker() { Stop(0); }

    // A save (fSave) or a load of nDays kept; a worker still running is asked to stop and let go.
    BOOL Start(BOOL fSave, int nDays, BOOL fDisplayErrMsg);
    // Waits up to dwTimeout ms for the worker to end by itself: TRUE when it has ended.
    BOOL Wait(DWORD dwTimeout);
    // Asks the worker to stop and waits up to dwTimeout ms; it is let go either way. TRUE
    // when it ended.
    BOOL Stop(DWORD dwTimeout);
    BOOL IsRunning() const { return m_hThread != NULL; }
    // Trades workers with another owner (to wait outside the owner's lock).
    void Swap(CLogFileWorker& other);

private:
    CLogFileWorker(const CLogFileWorker&);
    CLogFileWorker& operator=(const CLogFileWorker&);

    struct SJob;
    static unsigned __stdcall Run(void* pvJob);
    void LetGo();

    HANDLE m_hThread;
    SJob* m_pJob;
};

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
    // The same for nDays kept, without the page; pfStop (non-zero: stop) is looked at between
    // day files. A save loads first when the log was never loaded.
    static void LoadKeptLog(int nDays, BOOL fDisplayErrMsg, const volatile LONG* pfStop);
    static void SaveKeptLog(int nDays, BOOL fDisplayErrMsg, const volatile LONG* pfStop);

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
    CLogFileWorker m_loader;

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

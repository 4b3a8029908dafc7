// The debug log viewer: a modeless property sheet of five list pages (server commands,
// status logs, virus logs, unsent virus logs, client settings) that shows what the client
// exchanges with its server as it happens. Any thread may add a row: the row travels to the
// page as a posted message (a heap copy), so a sender never waits for the UI thread.
#ifndef VGL_DEBUGLOGSHEET_H
#define VGL_DEBUGLOGSHEET_H

#include "afxcmn.h"
#include "afxdlgs.h"

#include "Notification.h"

class CLogReportItem;
class SLocalCfgLog;

// A page: the count text (1180) and the report list (1193).
class CDebugPage : public CPropertyPage
{
public:
    enum { MAX_ROWS = 100 };    // one more row than this is never kept

    CDebugPage(UINT nIDTemplate, int nColumns);
    virtual ~CDebugPage();

    // Rows added since the start (the count text shows it).
    int GetCount() const { return m_nCount; }
    CListCtrl& GetList() { return m_list; }

protected:
    virtual BOOL OnInitDialog();
    // Posts one row (texts in column order) to the page's window; dropped when it has none.
    void PostRow(const CString* pTexts);
    afx_msg LRESULT OnAddRow(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

    CListCtrl m_list;
    int m_nColumns;
    int m_nCount;
};

class CDebugNotificationPage : public CDebugPage
{
public:
    CDebugNotificationPage();
    void AddEntry(const CString& strText);
};

class CDebugStatusLogPage : public CDebugPage
{
public:
    CDebugStatusLogPage();
    void AddEntry(int nCode, const NS_Notification::StatusLogType& record, const CString& strLog,
                  const CString& strError);
};

class CDebugVirusLogPage : public CDebugPage
{
public:
    CDebugVirusLogPage();
    explicit CDebugVirusLogPage(UINT nIDTemplate);
    void AddEntry(int nCode, const CLogReportItem& item, const CString& strLog, const CString& strError);
};

class CDebugUnsentVirusLogPage : public CDebugVirusLogPage
{
public:
    CDebugUnsentVirusLogPage();
};

class CDebugClientSettingsPage : public CDebugPage
{
public:
    CDebugClientSettingsPage();
    void AddEntry(int nCode, const SLocalCfgLog& record, const CString& strLog, const CString& strError);
};

class CDebugLogSheet : public CPropertySheet
{
public:
    CDebugLogSheet(UINT nIDCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
    CDebugLogSheet(LPCTSTR pszCaption, CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
    virtual ~CDebugLogSheet();

    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL OnInitDialog();
    // OK and Cancel (the Escape key) hide the sheet too: it is never ended by the user.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    CDebugNotificationPage m_pageNotification;
    CDebugStatusLogPage m_pageStatusLog;
    CDebugVirusLogPage m_pageVirusLog;
    CDebugUnsentVirusLogPage m_pageUnsentVirusLog;
    CDebugClientSettingsPage m_pageClientSettings;

protected:
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnClose();
    DECLARE_MESSAGE_MAP()

private:
    void AddPages();
};

// The time of a row: "%d/%d/%d %d:%d:%d" (year, month, day, hour, minute, second).
CString FormatDebugTime(const CTime& time);

#endif

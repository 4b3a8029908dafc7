// The countdown shown while the shell extension's library cannot be deleted: a deletion
// attempt every 3 seconds for up to 12 minutes, the time left on show; it ends with 1 as soon
// as the file is gone, with 0 when the time is up or the user gives up waiting.
#ifndef VGL_DELKVDSHELL_H
#define VGL_DELKVDSHELL_H

#include <afxwin.h>
#include <afxcmn.h>

class CDelKvdShell : public CDialog
{
public:
    enum { IDD = 459 };
    enum
    {
        TIMER_ID = 100,
        TIMER_PERIOD_MS = 1000,
        TIME_LIMIT_SECONDS = 720,
        ATTEMPT_EVERY_SECONDS = 3
    };

    explicit CDelKvdShell(CWnd* pParent = NULL);

    CString m_strFile;      // the file to delete; set before the dialog runs
    int m_nElapsed;         // seconds since the dialog started, 0..720

    // One second of the countdown: 1 when the file is gone, 0 when the time is up, -1 to go on.
    int Tick();
    // String 353 with the minutes and seconds left after nElapsed seconds.
    static CString FormatTimeLeft(int nElapsed);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnCancel();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    DECLARE_MESSAGE_MAP()
};

#endif

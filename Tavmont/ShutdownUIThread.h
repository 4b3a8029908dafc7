// The notice that the client is shutting down: a window on a user-interface thread of its
// own, shown from the moment the real-time monitor's window is destroyed until the
// application has finished its teardown.
#ifndef VGL_SHUTDOWNUITHREAD_H
#define VGL_SHUTDOWNUITHREAD_H

#include <afxwin.h>

class CShutdownDlg : public CDialog
{
public:
    enum { IDD = 293 };

    CShutdownDlg(CWnd* pParent = NULL);
    virtual ~CShutdownDlg();
    virtual BOOL Create(CWnd* pParent);

protected:
    virtual BOOL OnInitDialog();
    afx_msg void OnNcDestroy();
    DECLARE_MESSAGE_MAP()
};

// The thread object stays alive when its thread ends (no auto-delete), so that its handle
// stays valid for the application's wait; the application deletes it.
class CShutdownUIThread : public CWinThread
{
    DECLARE_DYNCREATE(CShutdownUIThread)
public:
    CShutdownUIThread();
    virtual ~CShutdownUIThread();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

protected:
    afx_msg void OnShutdownUIEnd(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()
};

extern CShutdownUIThread* g_pShutdownUIThread;
extern CShutdownDlg* g_pShutdownDlg;

// Starts the notice thread (normal priority) and stores it in g_pShutdownUIThread; called
// by the real-time monitor as its window is destroyed. Does nothing when it runs already.
void StartShutdownNotice();
// Ends the notice thread: WM_SHUTDOWN_UI_END, at most dwTimeout ms, then terminated; the
// thread object is deleted and g_pShutdownUIThread cleared.
void StopShutdownNotice(DWORD dwTimeout);

#endif

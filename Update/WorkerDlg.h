// The base of the update program's dialogs: a banner, a one-shot timer that starts a worker
// thread one second after the dialog is shown, and the end of the dialog when the worker
// posts WM_WORKER_FINISHED. The user cannot end the dialog while it works: Enter, Esc, the
// close command and minimising are ignored.
#ifndef VGL_WORKERDLG_H
#define VGL_WORKERDLG_H

#include <afxwin.h>
#include <afxcmn.h>

#include "BitmapStatic.h"
#include "DIB.h"
#include "UpdateCommon.h"

class CWorkerDlg : public CDialog
{
public:
    CWorkerDlg(UINT nIDTemplate, CWnd* pParent);
    virtual ~CWorkerDlg();

protected:
    // The work, on the worker thread.
    virtual void DoWork() = 0;

    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg LRESULT OnWorkerFinished(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    static unsigned __stdcall WorkerThread(void* pParam);

    UINT_PTR m_nStartTimer;
    CDIB m_dibBanner;
    CPalette* m_pPalette;
    CBitmapStatic m_staticBanner;
};

#endif

// The restart dialog: stops the client and starts it again.
#ifndef VGL_RESTARTDLG_H
#define VGL_RESTARTDLG_H

#include "WorkerDlg.h"

class CRestartDlg : public CWorkerDlg
{
public:
    explicit CRestartDlg(CWnd* pParent = NULL);
    virtual ~CRestartDlg();

    BOOL UnloadClient();
    void RestartClient();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void DoWork();

    CStatic m_textStep;
};

#endif

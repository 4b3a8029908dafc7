// The restart dialog.
#include "RestartDlg.h"

#include "LogTracker.h"
#include "UpdateCommon.h"
#include "resource_ids.h"

namespace
{
const int RESTART_TRIES = 20;
}

CRestartDlg::CRestartDlg(CWnd* pParent) : CWorkerDlg(IDD_UPD_RESTART, pParent)
{
}

CRestartDlg::~CRestartDlg()
{
}

void CRestartDlg::DoDataExchange(CDataExchange* pDX)
{
    CWorkerDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UPD_STEP_TEXT, m_textStep);
}

void CRestartDlg::DoWork()
{
    UPDTRACE(1, "--> CRestartDlg::DoWork()");
    if (UnloadClient())
        RestartClient();
    UPDTRACE(2, "<-- CRestartDlg::DoWork()");
}

BOOL CRestartDlg::UnloadClient()
{
    return NS_Client::Unload(NULL, &m_textStep);
}

void CRestartDlg::RestartClient()
{
    CString strText;
    strText.LoadString(IDS_UPD_RESTARTING);
    showTextNow(m_textStep, strText);
    if (!NS_Client::Start())
        return;
    Invalidate(TRUE);
    UpdateWindow();
    NS_Client::WaitForMainWindow(RESTART_TRIES, NULL);
}

#include "DelKvdShell.h"

#include "LogTracker.h"
#include "UninstallErrors.h"
#include "resource_ids.h"

#include <io.h>

BEGIN_MESSAGE_MAP(CDelKvdShell, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

CDelKvdShell::CDelKvdShell(CWnd* pParent) : CDialog(IDD, pParent), m_nElapsed(0)
{
}

void CDelKvdShell::DoDataExchange(CDataExchange*)
{
}

BOOL CDelKvdShell::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_strFile.IsEmpty())
    {
        EndDialog(0);
        return FALSE;
    }
    CString strCaption = loadUninstallString(IDS_UNINST_DEL_KVDSHELL_CAPTION);
    if (!strCaption.IsEmpty())
        SetWindowText(strCaption);
    CProgressCtrl* pBar = (CProgressCtrl*)GetDlgItem(IDC_DEL_KVDSHELL_BAR);
    if (pBar != NULL)
    {
        pBar->SetRange(0, TIME_LIMIT_SECONDS);
        pBar->SetStep(1);
    }
    m_nElapsed = 0;
    SetTimer(TIMER_ID, TIMER_PERIOD_MS, NULL);
    return TRUE;
}

CString CDelKvdShell::FormatTimeLeft(int nElapsed)
{
    int nLeft = TIME_LIMIT_SECONDS - nElapsed;
    CString strFormat = loadUninstallString(IDS_UNINST_TIME_LEFT);
    CString strText;
    strText.Format(strFormat, nLeft / 60, nLeft % 60);
    return strText;
}

int CDelKvdShell::Tick()
{
    if (m_nElapsed % ATTEMPT_EVERY_SECONDS == 0 &&
        (_access(m_strFile, 0) != 0 || ::DeleteFileA(m_strFile)))
        return 1;
    if (++m_nElapsed >= TIME_LIMIT_SECONDS)
        return 0;
    return -1;
}

void CDelKvdShell::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == TIMER_ID)
    {
        int nResult = Tick();
        if (nResult >= 0)
        {
            VGLTRACE(3, "CDelKvdShell::OnTimer(): %s after %d s, result %d", (LPCSTR)m_strFile, m_nElapsed, nResult);
            EndDialog(nResult);
        }
        else
        {
            SetDlgItemText(IDC_DEL_KVDSHELL_TIME, FormatTimeLeft(m_nElapsed));
            CProgressCtrl* pBar = (CProgressCtrl*)GetDlgItem(IDC_DEL_KVDSHELL_BAR);
            if (pBar != NULL)
                pBar->SetPos(m_nElapsed);
        }
    }
    CDialog::OnTimer(nIDEvent);
}

void CDelKvdShell::OnCancel()
{
    CString strQuestion = loadUninstallString(IDS_UNINST_DEL_KVDSHELL_CANCEL);
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES)
        EndDialog(0);
}

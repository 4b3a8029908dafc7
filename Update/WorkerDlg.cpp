// The base of the update program's dialogs.
#include "WorkerDlg.h"

#include "LogTracker.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "UpdateCommon.h"
#include "resource_ids.h"

#include <process.h>

namespace
{
const UINT_PTR START_TIMER = 1;
const UINT START_DELAY = 1000;

UINT BannerId() { return isLowColorDisplay() ? IDR_DIB_BANNER16 : IDR_DIB_BANNER; }
}

BEGIN_MESSAGE_MAP(CWorkerDlg, CDialog)
    ON_WM_TIMER()
    ON_WM_SYSCOMMAND()
    ON_MESSAGE(WM_WORKER_FINISHED, OnWorkerFinished)
END_MESSAGE_MAP()

CWorkerDlg::CWorkerDlg(UINT nIDTemplate, CWnd* pParent)
    : CDialog(nIDTemplate, pParent), m_nStartTimer(0), m_dibBanner(BannerId()), m_pPalette(NULL),
      m_staticBanner(&m_dibBanner, NULL, 1)
{
    m_pPalette = m_dibBanner.CreatePalette();
    m_staticBanner.m_pPalette = m_pPalette;
}

CWorkerDlg::~CWorkerDlg()
{
    delete m_pPalette;
}

BOOL CWorkerDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CWorkerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_staticBanner.m_nDrawMode = 2;
    m_staticBanner.SubclassDlgItem(IDC_UPD_BANNER, this);
    m_nStartTimer = SetTimer(START_TIMER, NS_UpdateWait::Scale(START_DELAY));
    return TRUE;
}

// The dialog ends only through its worker.
void CWorkerDlg::OnOK()
{
}

void CWorkerDlg::OnCancel()
{
}

void CWorkerDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == START_TIMER)
    {
        KillTimer(START_TIMER);
        unsigned nThreadId = 0;
        HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, WorkerThread, this, 0, &nThreadId);
        if (hThread == NULL)
        {
            UPDTRACE(12, "CWorkerDlg::OnTimer(): the worker thread cannot be started, error = %lu",
                     ::GetLastError());
            EndDialog(IDOK);
        }
        else
        {
            ::CloseHandle(hThread);
        }
    }
    CDialog::OnTimer(nIDEvent);
}

void CWorkerDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if (nID == SC_MINIMIZE || nID == SC_CLOSE)
        return;
    CDialog::OnSysCommand(nID, lParam);
}

LRESULT CWorkerDlg::OnWorkerFinished(WPARAM, LPARAM)
{
    EndDialog(IDOK);
    return 0;
}

unsigned __stdcall CWorkerDlg::WorkerThread(void* pParam)
{
    CWorkerDlg* pDlg = static_cast<CWorkerDlg*>(pParam);
    if (pDlg == NULL)
        return 0;
    try
    {
        pDlg->DoWork();
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        UPDTRACE(10, "CException = %s, in CWorkerDlg::WorkerThread()", szError);
        e->Delete();
    }
    catch (CSystemError& e)
    {
        UPDTRACE(10, "CSystemError = %s, in CWorkerDlg::WorkerThread()", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        UPDTRACE(13, "Exception(...) in CWorkerDlg::WorkerThread()");
    }
    pDlg->PostMessage(WM_WORKER_FINISHED, 0, 0);
    return 0;
}

// Brings the client up to date with the server (or the Internet source) under a progress
// display. The worker and the HTTP transfers reach the dialog only through a shared context:
// once the dialog has let go of it (Cancel of a worker that does not end, or the dialog's
// end), their callbacks do nothing, and the worker is never stopped by force.
#include "SynchronizeDlg.h"

#include "ClientClock.h"
#include "ConnectServer.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "TavmontApp.h"
#include "TavmontDlg.h"
#include "Updates.h"
#include "threadutils.h"

#include "resource_ids.h"

// What the worker and the dialog share. The worker holds one reference, the dialog another;
// the dialog pointer is read and cleared only under the mutex.
class CSynchronizeContext
{
public:
    CSynchronizeContext(CSynchronizeDlg* pDlg, HANDLE hCancel) : m_cRef(1), m_pDlg(pDlg), m_hWnd(pDlg->m_hWnd)
    {
        m_hMutex = ::CreateMutexA(NULL, FALSE, NULL);
        m_hCancel = NULL;
        ::DuplicateHandle(::GetCurrentProcess(), hCancel, ::GetCurrentProcess(), &m_hCancel, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
    }

    void AddRef() { ::InterlockedIncrement(&m_cRef); }
    void Release()
    {
        if (::InterlockedDecrement(&m_cRef) == 0)
            delete this;
    }

    // The dialog while it is attached (NULL after Detach); Leave follows every Enter.
    CSynchronizeDlg* Enter()
    {
        ::WaitForSingleObject(m_hMutex, INFINITE);
        return m_pDlg;
    }
    void Leave() { ::ReleaseMutex(m_hMutex); }

    // Called on the dialog's thread: waits for a callback in progress, which may be sending
    // to the dialog's windows, while delivering what is sent to this thread.
    void Detach()
    {
        for (;;)
        {
            DWORD dwRet = ::MsgWaitForMultipleObjects(1, &m_hMutex, FALSE, INFINITE, QS_SENDMESSAGE);
            if (dwRet == WAIT_OBJECT_0 || dwRet == WAIT_ABANDONED_0 || dwRet == WAIT_FAILED)
                break;
            MSG msg;
            ::PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
        }
        m_pDlg = NULL;
        m_hWnd = NULL;
        // The worker gives up at its next check.
        if (m_hCancel != NULL)
            ::SetEvent(m_hCancel);
        ::ReleaseMutex(m_hMutex);
    }

    BOOL IsCancelSet() const
    {
        if (m_hCancel == NULL)
            return FALSE;
        DWORD dwRet = ::WaitForSingleObject(m_hCancel, 0);
        VGLTRACE(3, "(WAIT_OBJECT_0 = %d), dwRet(0x%X) = ::WaitForSingleObject(m_eventCancel, 0), %s|%d",
                 (int)WAIT_OBJECT_0, (unsigned)dwRet, __FILE__, __LINE__);
        return dwRet == WAIT_OBJECT_0;
    }
    void ResetCancel()
    {
        if (m_hCancel != NULL)
            ::ResetEvent(m_hCancel);
    }

    // Posts the worker's result while the dialog is attached.
    void PostResult(BOOL fResult)
    {
        CSynchronizeDlg* pDlg = Enter();
        if (pDlg != NULL && ::IsWindow(m_hWnd))
            ::PostMessageA(m_hWnd, CSynchronizeDlg::WM_SYNCHRONIZE_COMPLETE, 0, (LPARAM)fResult);
        Leave();
    }

    // The HTTP callbacks registered for this run go when the run's context goes.
    void UnregisterConnectCallbacks()
    {
        NS_Notification::SConnectSettings& settings = NS_Notification::GetConnectSettings();
        if (settings.m_pvContext == this)
            NS_Notification::SetConnectCallbacks(NULL, NULL, NULL, NULL);
    }

private:
    ~CSynchronizeContext()
    {
        if (m_hCancel != NULL)
            ::CloseHandle(m_hCancel);
        if (m_hMutex != NULL)
            ::CloseHandle(m_hMutex);
    }

    LONG m_cRef;
    HANDLE m_hMutex;
    HANDLE m_hCancel;
    CSynchronizeDlg* m_pDlg;
    HWND m_hWnd;
};

namespace
{
SSynchronizeOperations s_operations;

struct SPhaseStrings
{
    int nCode;
    UINT nBegin;
    UINT nEnd;
    BOOL fDownload;
};

const SPhaseStrings s_phases[] = {
    { 17, IDS_SYNC_SETTINGS_BEGIN, IDS_SYNC_SETTINGS_END, TRUE },
    { 18, IDS_SYNC_PATTERN_BEGIN, IDS_SYNC_PATTERN_END, TRUE },
    { 20, IDS_SYNC_PROGRAM_BEGIN, IDS_SYNC_PROGRAM_END, TRUE },
    { 22, IDS_SYNC_ENGINE_BEGIN, IDS_SYNC_ENGINE_END, TRUE },
    { 23, IDS_SYNC_COMPONENTS_BEGIN, IDS_SYNC_COMPONENTS_END, TRUE },
    { 25, IDS_SYNC_GLOBAL_BEGIN, IDS_SYNC_GLOBAL_END, TRUE },
    { 26, IDS_SYNC_POLICY_BEGIN, IDS_SYNC_POLICY_END, TRUE },
    { 27, IDS_SYNC_VIRUS_LOGS_BEGIN, IDS_SYNC_VIRUS_LOGS_END, FALSE },
    { 28, IDS_SYNC_STATUS_BEGIN, IDS_SYNC_STATUS_END, FALSE },
};

const SPhaseStrings* FindPhase(int nCode)
{
    for (size_t i = 0; i < sizeof(s_phases) / sizeof(s_phases[0]); ++i)
        if (s_phases[i].nCode == nCode)
            return &s_phases[i];
    return NULL;
}

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

// A resource string as a format: the arguments are this code's own numbers.
CString FormatText(UINT nID, ...)
{
    CString strFormat = LoadText(nID);
    char szText[512];
    va_list args;
    va_start(args, nID);
    _vsnprintf(szText, sizeof(szText) - 1, strFormat, args);
    va_end(args);
    szText[sizeof(szText) - 1] = '\0';
    return szText;
}

BOOL SendStatusLogNowReal(const CTime& time, int nType, const char* pszText, BOOL fIntranet, BOOL fDisplayErrMsg,
                          PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel,
                          PFN_PHASE_COUNT pfCount, LPVOID pvContext, const NS_Notification::SServerAddress* pServer)
{
    return NS_Notification::SendStatusLogNow(time, nType, pszText, fIntranet, fDisplayErrMsg, pfBegin, pfEnd,
                                             pfCancel, pfCount, pvContext, pServer);
}
}

SSynchronizeOperations::SSynchronizeOperations()
    : pfnUpdateOPPSetting(UpdateOPPSetting), pfnUpdateGlobalSettingsEx(UpdateGlobalSettingsEx),
      pfnUpdateNewSettings(NS_Notification::UpdateNewSettings),
      pfnDirectUpdatePatternEngine(NS_Notification::DirectUpdatePatternEngine),
      pfnSendStatusLogNow(SendStatusLogNowReal)
{
}

BEGIN_MESSAGE_MAP(CSynchronizeDlg, CDialog)
    ON_MESSAGE(CSynchronizeDlg::WM_SYNCHRONIZE_COMPLETE, OnSynchronizeComplete)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CSynchronizeDlg::CSynchronizeDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_eventCancel(FALSE, TRUE), m_fSuccess(FALSE), m_fHasEnded(FALSE),
      m_fCancelled(FALSE), m_pThread(NULL), m_hThread(NULL), m_nPhase(0), m_dwTotal(0), m_dwReceived(0),
      m_fDownloading(FALSE), m_fCancelling(FALSE), m_pContext(NULL)
{
}

CSynchronizeDlg::~CSynchronizeDlg()
{
    Detach();
    if (m_hThread != NULL)
        ::CloseHandle(m_hThread);
}

void CSynchronizeDlg::SetOperations(const SSynchronizeOperations* pOperations)
{
    s_operations = pOperations != NULL ? *pOperations : SSynchronizeOperations();
}

void CSynchronizeDlg::Detach()
{
    if (m_pContext == NULL)
        return;
    m_pContext->Detach();
    m_pContext->UnregisterConnectCallbacks();
    m_pContext->Release();
    m_pContext = NULL;
}

BOOL CSynchronizeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CProgressCtrl* pProgress = (CProgressCtrl*)GetDlgItem(IDC_SYNC_PROGRESS);
    if (pProgress != NULL)
    {
        pProgress->SetRange(0, 100);
        pProgress->SetPos(0);
    }
    SetDlgItemText(IDC_SYNC_PHASE, LoadText(IDS_SYNC_PREPARING));
    SetDlgItemText(IDC_SYNC_RATE, "");
    SetDlgItemText(IDC_SYNC_REMAINING, "");
    SetDlgItemText(IDC_SYNC_STATE, "");

    m_pContext = new CSynchronizeContext(this, m_eventCancel.m_hObject);
    m_pContext->AddRef();           // the worker's reference
    m_pThread = AfxBeginThread(SynchronizeThread, m_pContext, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    if (m_pThread == NULL)
    {
        m_pContext->Release();
        VGLTRACE(12, "The synchronisation worker could not be started, %s|%d", __FILE__, __LINE__);
        PostMessage(WM_SYNCHRONIZE_COMPLETE, 0, 0);
        return TRUE;
    }
    ::DuplicateHandle(::GetCurrentProcess(), m_pThread->m_hThread, ::GetCurrentProcess(), &m_hThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    m_pThread->ResumeThread();
    return TRUE;
}

UINT CSynchronizeDlg::SynchronizeThread(LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    BOOL fResult = FALSE;
    try
    {
        fResult = SynchronizeThreadThis(pContext);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CSynchronizeDlg::SynchronizeThread, %s|%d", __FILE__, __LINE__);
    }
    pContext->PostResult(fResult);
    pContext->UnregisterConnectCallbacks();
    pContext->Release();
    return 0;
}

BOOL CSynchronizeDlg::SynchronizeThreadThis(CSynchronizeContext* pContext)
{
    CTavmontDlg* pMainWnd = g_pMainDlg;
    pContext->ResetCancel();

    ::EnterCriticalSection(&g_csUpgrade);
    VGLTRACE(3, "[SynchronizeThreadThis] ---> Enter Upgrade Critical Section, %s|%d", __FILE__, __LINE__);
    BOOL fResult = FALSE;
    try
    {
        CSynchronizeDlg* pDlg = pContext->Enter();
        if (pDlg != NULL)
            pDlg->SetDlgItemText(IDC_SYNC_PHASE, "");
        pContext->Leave();
        CTime now = NS_Clock::GetCurrentTime();

        CString strVGCE_Server = NS_RegistryKey::GetServer(FALSE);
        CString strUpdateNow_Server = NS_RegistryKey::GetInternetServer();
        VGLTRACE(3, "[SynchronizeThreadThis] strVGCE_Server=%s strUpdateNow_Server=%s, %s|%d",
                 (LPCSTR)strVGCE_Server, (LPCSTR)strUpdateNow_Server, __FILE__, __LINE__);
        const SSynchronizeOperations ops = s_operations;
        if (strVGCE_Server.CompareNoCase(strUpdateNow_Server) == 0)
        {
            BOOL fPolicy = FALSE;
            ops.pfnUpdateOPPSetting(0, 0, TRUE, &fPolicy);
            BOOL fGlobal = FALSE;
            BOOL fSettings = FALSE;
            if (fPolicy)
            {
                fGlobal = ops.pfnUpdateGlobalSettingsEx(pMainWnd, FALSE, FALSE, FALSE, FALSE, OnPhaseBegin, OnPhaseEnd,
                                                        IsCancelled, OnPhaseCount, pContext);
                fSettings = ops.pfnUpdateNewSettings(pMainWnd, FALSE, FALSE, FALSE, FALSE, OnPhaseBegin, OnPhaseEnd,
                                                     IsCancelled, OnPhaseCount, pContext);
                ops.pfnSendStatusLogNow(now, NSN_SYNC, NULL, FALSE, FALSE, NULL, NULL, NULL, NULL, NULL, NULL);
            }
            VGLTRACE(3, "[SynchronizeThreadThis] policy=%d global=%d settings=%d, %s|%d", fPolicy, fGlobal, fSettings,
                     __FILE__, __LINE__);
            fResult = fPolicy && fGlobal && fSettings;
        }
        else
        {
            fResult = ops.pfnDirectUpdatePatternEngine(pMainWnd, FALSE, FALSE, OnPhaseBegin, OnPhaseEnd, IsCancelled,
                                                       pContext);
            // The server still hears of it: the request goes to the server itself, the
            // user's Internet settings stay as they are.
            NS_Notification::SServerAddress server;
            server.m_strServer = strVGCE_Server;
            server.m_nPort = (WORD)NS_RegistryKey::GetServerPort();
            ops.pfnSendStatusLogNow(now, NSN_SYNC, NULL, FALSE, FALSE, NULL, NULL, NULL, NULL, NULL, &server);
        }
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CSynchronizeDlg::SynchronizeThreadThis, %s|%d", __FILE__, __LINE__);
        fResult = FALSE;
    }
    VGLTRACE(3, "[SynchronizeThreadThis] <--- Leave Upgrade Critical Section, %s|%d", __FILE__, __LINE__);
    ::LeaveCriticalSection(&g_csUpgrade);
    return fResult;
}

LRESULT CSynchronizeDlg::OnSynchronizeComplete(WPARAM, LPARAM lParam)
{
    if (!m_fHasEnded)
    {
        m_fHasEnded = TRUE;
        m_fSuccess = lParam != 0 && ::WaitForSingleObject(m_eventCancel.m_hObject, 0) != WAIT_OBJECT_0;
        VGLTRACE(3, "CSynchronizeDlg::OnSynchronizeComplete(lParam = %" PRIdPTR "), m_fSuccess = %d", (INT_PTR)lParam,
                 m_fSuccess);
        EndDialog(IDOK);
    }
    m_eventCancel.ResetEvent();
    return 0;
}

void CSynchronizeDlg::OnOK()
{
    // Enter does not end the dialog: only the worker's result or Cancel does.
}

void CSynchronizeDlg::OnCancel()
{
    // Escape again while the first Cancel waits: that one ends the dialog.
    if (m_fCancelling)
        return;
    m_fCancelling = TRUE;
    VGLTRACE(1, "--> CSynchronizeDlg::OnCancel()");
    CWaitCursor wait;
    CWnd* pButton = GetDlgItem(IDCANCEL);
    if (pButton != NULL)
    {
        pButton->SetWindowText(LoadText(IDS_SYNC_CANCELLING));
        pButton->EnableWindow(FALSE);
        pButton->UpdateWindow();
    }
    m_eventCancel.SetEvent();
    if (m_hThread != NULL)
    {
        if (!waitForObjectPumpingMessages(m_hThread, 100, CANCEL_WAIT_MS))
            VGLTRACE(12, "The synchronisation worker did not end within %d ms: left to end by itself, %s|%d",
                     (int)CANCEL_WAIT_MS, __FILE__, __LINE__);
        ::CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    // Whether or not the worker has ended, it reaches this dialog no more.
    Detach();
    m_fCancelled = TRUE;
    PostMessage(WM_SYNCHRONIZE_COMPLETE, 0, 0);
    VGLTRACE(2, "<-- CSynchronizeDlg::OnCancel()");
}

void CSynchronizeDlg::OnDestroy()
{
    VGLTRACE(3, "CSynchronizeDlg::OnDestroy()");
    CDialog::OnDestroy();
}

// ---- callbacks (worker and transfer threads) ----

void CSynchronizeDlg::OnPhaseBegin(int nCode, LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    CSynchronizeDlg* pDlg = pContext->Enter();
    if (pDlg != NULL)
    {
        pDlg->PhaseBegin(nCode);
        NS_Notification::SetConnectCallbacks(OnInternetStatus, OnContentLength, IsCancelled, pContext);
    }
    pContext->Leave();
}

void CSynchronizeDlg::OnPhaseEnd(int nCode, LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    if (pContext->IsCancelSet())
    {
        CSynchronizeDlg* pDlg = pContext->Enter();
        if (pDlg != NULL)
            pDlg->SetDlgItemText(IDC_SYNC_PHASE, LoadText(IDS_SYNC_CANCELLED));
        pContext->Leave();
        if (pDlg != NULL)
            ::Sleep(1000);
        return;
    }
    CSynchronizeDlg* pDlg = pContext->Enter();
    if (pDlg != NULL)
        pDlg->PhaseEnd(nCode);
    pContext->Leave();
}

void CSynchronizeDlg::OnPhaseCount(int nCode, int nDone, int nTotal, LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    CSynchronizeDlg* pDlg = pContext->Enter();
    if (pDlg != NULL)
        pDlg->PhaseCount(nCode, nDone, nTotal);
    pContext->Leave();
}

BOOL CSynchronizeDlg::IsCancelled(LPVOID pvContext)
{
    return ((CSynchronizeContext*)pvContext)->IsCancelSet();
}

void CSynchronizeDlg::OnContentLength(DWORD dwSize, LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    CSynchronizeDlg* pDlg = pContext->Enter();
    if (pDlg != NULL)
        pDlg->ContentLength(dwSize);
    pContext->Leave();
}

void CSynchronizeDlg::OnInternetStatus(HINTERNET hSession, DWORD_PTR, DWORD dwStatus, LPVOID pvInformation,
                                       DWORD dwLength, LPVOID pvContext)
{
    CSynchronizeContext* pContext = (CSynchronizeContext*)pvContext;
    CSynchronizeDlg* pDlg = pContext->Enter();
    if (pDlg != NULL)
        pDlg->InternetStatus(hSession != NULL, dwStatus, pvInformation, dwLength);
    pContext->Leave();
}

// ---- the display ----

BOOL CSynchronizeDlg::IsDownloadPhase() const
{
    const SPhaseStrings* pPhase = FindPhase(m_nPhase);
    return pPhase != NULL && pPhase->fDownload;
}

void CSynchronizeDlg::PhaseBegin(int nCode)
{
    const SPhaseStrings* pPhase = FindPhase(nCode);
    if (pPhase == NULL)
        return;
    m_nPhase = nCode;
    SetDlgItemText(IDC_SYNC_PHASE, LoadText(pPhase->nBegin));
}

void CSynchronizeDlg::PhaseEnd(int nCode)
{
    const SPhaseStrings* pPhase = FindPhase(nCode);
    if (pPhase != NULL)
        SetDlgItemText(IDC_SYNC_PHASE, LoadText(pPhase->nEnd));
}

void CSynchronizeDlg::PhaseCount(int nCode, int nDone, int nTotal)
{
    UINT nID = nCode == 23 ? IDS_SYNC_COMPONENTS_BEGIN : nCode == 27 ? IDS_SYNC_VIRUS_LOGS_BEGIN : 0;
    if (nID == 0)
        return;
    CString strCount;
    strCount.Format(" (%d/%d)", nDone, nTotal);
    SetDlgItemText(IDC_SYNC_PHASE, LoadText(nID) + strCount);
}

void CSynchronizeDlg::ContentLength(DWORD dwSize)
{
    m_dwReceived = 0;
    m_dwTotal = dwSize;
    m_fDownloading = TRUE;
    m_tStart = NS_Clock::GetCurrentTime();
    if (IsDownloadPhase())
        UpdateProgress();
}

void CSynchronizeDlg::InternetStatus(BOOL fAdd, DWORD dwStatus, LPVOID pvInformation, DWORD dwLength)
{
    UINT nState = 0;
    switch (dwStatus)
    {
    case INTERNET_STATUS_RESOLVING_NAME: nState = IDS_SYNC_RESOLVING; break;
    case INTERNET_STATUS_NAME_RESOLVED: nState = IDS_SYNC_RESOLVED; break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER: nState = IDS_SYNC_CONNECTING; break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER: nState = IDS_SYNC_CONNECTED; break;
    case INTERNET_STATUS_SENDING_REQUEST: nState = IDS_SYNC_SENDING; break;
    case INTERNET_STATUS_REQUEST_SENT:
        if (IsDownloadPhase())
            nState = IDS_SYNC_REQUEST_SENT;
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        if (IsDownloadPhase() && m_fDownloading)
        {
            DWORD dwBytes = 0;
            if (pvInformation != NULL && dwLength >= sizeof(DWORD))
                dwBytes = *(const DWORD*)pvInformation;
            m_dwReceived = fAdd ? m_dwReceived + dwBytes : dwBytes;
            UpdateProgress();
        }
        return;
    case INTERNET_STATUS_CLOSING_CONNECTION:
    case INTERNET_STATUS_HANDLE_CLOSING:
        if (IsDownloadPhase())
        {
            SetDlgItemText(IDC_SYNC_STATE, LoadText(IDS_SYNC_CLOSED));
            m_dwTotal = 0;
            m_dwReceived = 0;
            m_fDownloading = FALSE;
            UpdateProgress();
        }
        return;
    default:
        return;
    }
    if (nState != 0)
        SetDlgItemText(IDC_SYNC_STATE, LoadText(nState));
}

void CSynchronizeDlg::UpdateProgress()
{
    int nPos = m_dwTotal != 0 ? (int)((double)m_dwReceived / (double)m_dwTotal * 100.0) : 0;
    CProgressCtrl* pProgress = (CProgressCtrl*)GetDlgItem(IDC_SYNC_PROGRESS);
    if (pProgress != NULL)
        pProgress->SetPos(nPos);
    if (!m_fDownloading)
    {
        SetDlgItemText(IDC_SYNC_RATE, "");
        SetDlgItemText(IDC_SYNC_REMAINING, "");
        SetDlgItemText(IDC_SYNC_STATE, "");
        return;
    }
    LONGLONG llElapsed = (NS_Clock::GetCurrentTime() - m_tStart).GetTotalSeconds();
    double dRate = llElapsed > 0 ? (double)m_dwReceived / (double)llElapsed : 0.0;
    if (dRate > 1024.0)
        SetDlgItemText(IDC_SYNC_RATE, FormatText(IDS_SYNC_RATE_KB, dRate / 1024.0));
    else
        SetDlgItemText(IDC_SYNC_RATE, FormatText(IDS_SYNC_RATE_BYTES, dRate));
    DWORD dwRemaining = 0;
    if ((DWORD)dRate != 0 && m_dwTotal > m_dwReceived)
        dwRemaining = (DWORD)((double)(m_dwTotal - m_dwReceived) / dRate);
    CString strSize = m_dwReceived > 1024
                          ? FormatText(IDS_SYNC_SIZE_KB, (unsigned long)(m_dwTotal / 1024), (unsigned long)(m_dwReceived / 1024))
                          : FormatText(IDS_SYNC_SIZE_BYTES, (unsigned long)m_dwTotal, (unsigned long)m_dwReceived);
    CString strTime = FormatText(IDS_SYNC_TIME_LEFT, (int)(dwRemaining / 60), (int)(dwRemaining % 60));
    SetDlgItemText(IDC_SYNC_REMAINING, strTime + strSize);
}

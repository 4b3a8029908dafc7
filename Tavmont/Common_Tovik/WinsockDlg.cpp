// Asynchronous host-name look-up through a hidden dialog.
#include "WinsockDlg.h"

#include "LogTracker.h"

#include "resource_ids.h"

static_assert(CWinsockDlg::IDD == IDD_WINSOCK, "the look-up window's template");

namespace
{
// Takes, translates and dispatches one message of the calling thread.
void DispatchOneMessage()
{
    MSG msg;
    if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}

BEGIN_MESSAGE_MAP(CWinsockDlg, CDialog)
    ON_MESSAGE(CWinsockDlg::WM_ASYNC_GETHOSTBYNAME, OnAsyncGetHostByName)
END_MESSAGE_MAP()

CWinsockDlg::CWinsockDlg()
    : m_fBusy(FALSE), m_nError(0), m_hRequest(NULL), m_hLookupLock(CreateSemaphoreA(NULL, 1, 1, NULL)),
      m_dwLockOwner(0)
{
    memset(m_hostEntry, 0, sizeof(m_hostEntry));
}

CWinsockDlg::~CWinsockDlg()
{
    if (m_hWnd != NULL)
        DestroyWindow();
    CloseHandle(m_hLookupLock);
}

BOOL CWinsockDlg::Create(CWnd* pParentWnd)
{
    return CDialog::Create(IDD, pParentWnd);
}

void CWinsockDlg::LockLookup()
{
    while (MsgWaitForMultipleObjects(1, &m_hLookupLock, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_dwLockOwner = GetCurrentThreadId();
}

void CWinsockDlg::UnlockLookup()
{
    m_dwLockOwner = 0;
    ReleaseSemaphore(m_hLookupLock, 1, NULL);
}

BOOL CWinsockDlg::AsyncGetHostByName(LPCSTR pszHost, LPSTR pszOut, int nSize)
{
    VGLTRACE(1, "CWinsockDlg::AsyncGetHostByName");
    // A look-up started from a message dispatched while this thread waits for
    // its own would wait for itself.
    if (m_dwLockOwner == GetCurrentThreadId())
    {
        VGLTRACE(12, "CWinsockDlg::AsyncGetHostByName(%s) nested on one thread", pszHost);
        return FALSE;
    }
    LockLookup();

    m_fBusy = TRUE;
    m_nError = 0;
    m_hRequest = WSAAsyncGetHostByName(m_hWnd, WM_ASYNC_GETHOSTBYNAME, pszHost, m_hostEntry,
                                       sizeof(m_hostEntry));
    if (m_hRequest == NULL)
    {
        m_fBusy = FALSE;
        VGLTRACE(3, "CWinsockDlg::AsyncGetHostByName WSAAsyncGetHostByName failed:%d", WSAGetLastError());
        UnlockLookup();
        return FALSE;
    }
    // Winsock always answers.
    while (m_fBusy)
    {
        DispatchOneMessage();
        Sleep(10);
    }

    BOOL fResult = FALSE;
    if (m_nError != 0)
        VGLTRACE(3, "CWinsockDlg::AsyncGetHostByName get host name failed:%d", m_nError);
    else
    {
        const hostent* pHost = (const hostent*)m_hostEntry;
        if (pHost->h_addr_list != NULL && pHost->h_addr_list[0] != NULL && nSize > 0)
        {
            in_addr addr;
            memcpy(&addr, pHost->h_addr_list[0], sizeof(addr));
            lstrcpynA(pszOut, inet_ntoa(addr), nSize);
            fResult = TRUE;
        }
    }
    UnlockLookup();
    return fResult;
}

LRESULT CWinsockDlg::OnAsyncGetHostByName(WPARAM /*wParam*/, LPARAM lParam)
{
    // One look-up at a time: this is the answer to the pending one.
    m_nError = WSAGETASYNCERROR(lParam);
    m_fBusy = FALSE;
    return 0;
}

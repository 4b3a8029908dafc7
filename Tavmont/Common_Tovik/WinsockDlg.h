// The hidden dialog that carries Winsock's asynchronous host-name look-ups,
// so that the waiting thread can keep its messages flowing.
#pragma once

#include <afxwin.h>
#include <winsock.h>

class CWinsockDlg : public CDialog
{
public:
    enum { IDD = 300 };                 // IDD_WINSOCK of the language library
    // The reply of WSAAsyncGetHostByName.
    enum { WM_ASYNC_GETHOSTBYNAME = WM_USER + 1 };

    CWinsockDlg();
    virtual ~CWinsockDlg();

    // Creates the modeless, never shown dialog from template IDD.
    BOOL Create(CWnd* pParentWnd = NULL);

    // The first IPv4 address of the host as dotted text, at most nSize - 1
    // characters. Callable from any thread; look-ups run one at a time, and a
    // caller keeps its own messages flowing while it waits for its turn and
    // for Winsock's answer. FALSE when the name does not resolve.
    BOOL AsyncGetHostByName(LPCSTR pszHost, LPSTR pszOut, int nSize);

protected:
    afx_msg LRESULT OnAsyncGetHostByName(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    // Waits for the look-up lock, dispatching the calling thread's messages.
    void LockLookup();
    void UnlockLookup();

    volatile BOOL m_fBusy;
    volatile int m_nError;
    char m_hostEntry[MAXGETHOSTSTRUCT];
    volatile HANDLE m_hRequest;
    HANDLE m_hLookupLock;               // a semaphore of one
    volatile DWORD m_dwLockOwner;       // thread holding it, 0 none
};

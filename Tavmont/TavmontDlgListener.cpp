// The client listener (HTTP mode): a chain of threads serving the local port, each accepting
// one connection, starting its successor, answering the server's status query or
// acknowledging its command, and then handing the command to the dispatcher. Also the
// address-change watcher, which tests the server again when the PC's addresses change or
// when the server asked for the status of a client that counts itself off line.
#include "TavmontDlg.h"

#include <errno.h>
#include <process.h>
#include <string.h>

#include <string>
#include <vector>

#include "CryptString.h"
#include "ListenerRequest.h"
#include "ListenerThreads.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "threadutils.h"
#include "ClientClock.h"

volatile BOOL g_fReconnect = FALSE;

namespace
{
// Outlives the main window: threads still serving a connection at its destruction touch it.
CListenerThreads g_listenerThreads;

// Seconds each arrival of request data and each send may take.
const int READ_TIMEOUT_SECONDS = 20;
const int SEND_TIMEOUT_SECONDS = 10;
const int HEADER_LINE_SIZE = 2048;

std::string CurrentHttpDate()
{
    SYSTEMTIME st;
    NS_Clock::GetSystemTime(&st);
    return formatHttpDate(st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond);
}

// The status of the client as the server reads it, scrambled.
std::string FormatStatusBody()
{
    int nPattern = 0;
    if (!NS_Notification::GetPatternVersionNumber(&nPattern))
        nPattern = 0;
    CString strServer = NS_RegistryKey::GetServer(FALSE);
    CString strPlatform = NS_Notification::GetPlatformName();
    CString strProgram = NS_RegistryKey::GetProgramVersion();
    CString strEngine = NS_Notification::GetEngineVersion(CString());
    CString strGuid = NS_RegistryKey::GetApplicationGUIDString();
    BOOL fZavuz = isFileExist(getModulePath() + "ZavuzRestore.ini");
    char szText[1025];
    _snprintf(szText, sizeof(szText) - 1,
              "SERVER=%s&PLATFORM=%s&PTNFILE=%d&PROGRAM=%s&ENGINE=%s&GUID=%s&MOBILE=%s&ISCONNECT=%d&ZAVUZ=%s&",
              (LPCSTR)strServer, (LPCSTR)strPlatform, nPattern, (LPCSTR)strProgram, (LPCSTR)strEngine,
              (LPCSTR)strGuid, NS_RegistryKey::IsForceMobileEx() ? "1" : "0",
              NS_Notification::IsIntranetConnectable() ? 1 : 0, fZavuz ? "1" : "0");
    szText[sizeof(szText) - 1] = '\0';
    std::vector<char> scrambled(NewEncryptStrSize(strlen(szText)));
    if (!NewEncryptStr(szText, &scrambled[0], scrambled.size()))
        scrambled[0] = '\0';
    return &scrambled[0];
}
}

/////////////////////////////////////////////////////////////////////////////
// Start and stop

BOOL CTavmontDlg::CreateHttpServerThread()
{
    VGLTRACE(1, "--> CTavmontDlg::CreateHttpServerThread()");
    if (!NS_RegistryKey::IsHttpBased())
    {
        VGLTRACE(2, "<-- CTavmontDlg::CreateHttpServerThread(): file-based mode, no listener");
        return TRUE;
    }
    BOOL fResult = FALSE;
    try
    {
        if (m_hHttpServerThread != INVALID_HANDLE_VALUE)
            StopHttpServerThread();
        sockaddr_in sa;
        memset(&sa, 0, sizeof(sa));
        sa.sin_family = AF_INET;
        sa.sin_port = htons((u_short)m_nLocalServerPort);
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        m_sockListen.Create(SOCK_STREAM);
        m_sockListen.Bind((const sockaddr*)&sa);
        m_sockListen.Listen();
        {
            CSingleLock lock(&g_listenerThreads.m_lock, TRUE);
            StartNextListenerThread();
        }
        fResult = TRUE;
    }
    catch (CBlockingSocketException* e)
    {
        char szError[128] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "CBlockingSocketException in CTavmontDlg::CreateHttpServerThread() (port %u: %s)",
                 m_nLocalServerPort, szError);
        m_sockListen.CloseIfOpen();
        e->Delete();
    }
    VGLTRACE(2, "<-- CTavmontDlg::CreateHttpServerThread(), port %u, fResult = %d", m_nLocalServerPort, fResult);
    return fResult;
}

HANDLE CTavmontDlg::StartNextListenerThread()
{
    // Started suspended: the thread reads its own handle from m_hHttpServerThread once it has
    // accepted a connection, so the handle is stored (and recorded) before it runs.
    unsigned uThreadID = 0;
    HANDLE hThread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(NULL, 0, HttpServerThread, this, CREATE_SUSPENDED, &uThreadID));
    if (hThread == NULL)
    {
        VGLTRACE(12, "_beginthreadex(HttpServerThread) failed, errno %d", errno);
        return NULL;
    }
    m_hHttpServerThread = hThread;
    g_listenerThreads.Record(hThread);
    ::SetThreadPriority(hThread, THREAD_PRIORITY_HIGHEST);
    ::ResumeThread(hThread);
    return hThread;
}

void CTavmontDlg::StopHttpServerThread()
{
    g_listenerThreads.SignalStop();
    m_sockListen.CloseIfOpen();
    HANDLE hThread;
    {
        CSingleLock lock(&g_listenerThreads.m_lock, TRUE);
        hThread = m_hHttpServerThread;
        m_hHttpServerThread = INVALID_HANDLE_VALUE;
    }
    if (IsThreadHandle(hThread))
    {
        // Closed here: a later WM_DELETE_THREAD for it is ignored.
        g_listenerThreads.Forget(hThread);
        BOOL fSuccess = waitForThread(hThread, KILL_THREAD_TIME_OUT);
        VGLTRACE(3, "fSuccess(%d) = ::waitForThread(m_hHttpServerThread = 0x%p, dwKILL_THREAD_TIME_OUT = %d);",
                 fSuccess, hThread, KILL_THREAD_TIME_OUT);
    }
    g_listenerThreads.ResetStop();
}

LRESULT CTavmontDlg::OnDeleteThread(WPARAM, LPARAM lParam)
{
    HANDLE hThread = reinterpret_cast<HANDLE>(lParam);
    BOOL fOwn;
    {
        // The thread waiting to accept is closed by the stop of the listener, never here.
        CSingleLock lock(&g_listenerThreads.m_lock, TRUE);
        fOwn = hThread != m_hHttpServerThread && g_listenerThreads.Forget(hThread);
    }
    if (!fOwn)
    {
        VGLTRACE(12, "WM_DELETE_THREAD (0x%p) ignored: not a finished listener thread of this client",
                 hThread);
        return 0;
    }
    BOOL fSuccess = ::CloseHandle(hThread);
    VGLTRACE(3, "fSuccess(%d) = ::CloseHandle(hThread = 0x%p)", fSuccess, hThread);
    return 0;
}

/////////////////////////////////////////////////////////////////////////////
// One connection

unsigned __stdcall CTavmontDlg::HttpServerThread(void* pvParam)
{
    return HttpServerThreadEx(pvParam);
}

unsigned CTavmontDlg::HttpServerThreadEx(void* pvParam)
{
    try
    {
        if (pvParam != NULL)
            static_cast<CTavmontDlg*>(pvParam)->HttpServerThreadThis();
    }
    catch (...)
    {
        VGLTRACE(1, "G.P.F in CTavmontDlg::HttpServerThreadEx(LPVOID pParam)");
    }
    return 0;
}

BOOL CTavmontDlg::AcceptListenerConnection(CBlockingSocket& sConnect)
{
    for (;;)
    {
        if (!g_listenerThreads.WaitForSlot())
            return FALSE;
        try
        {
            sockaddr_in saClient;
            return m_sockListen.Accept(sConnect, (sockaddr*)&saClient);
        }
        catch (CBlockingSocketException* e)
        {
            char szError[128] = "";
            e->GetErrorMessage(szError, sizeof(szError));
            e->Delete();
            if (g_listenerThreads.IsStopping())
                return FALSE;
            // A connection that went away before it was taken does not end the listener.
            VGLTRACE(10, "    CBlockingSocketException = %s (accept, tried again)", szError);
            ::Sleep(100);
        }
    }
}

void CTavmontDlg::HttpServerThreadThis()
{
    HWND hWndMain = m_hWnd;
    CHttpBlockingSocket sConnect;
    HANDLE hOwn = NULL;
    BOOL fOwnTaken = FALSE;
    BOOL fCounted = FALSE;
    BOOL fUrlTaken = FALSE;
    CString strUrl;
    try
    {
        if (!AcceptListenerConnection(sConnect))
        {
            VGLTRACE(3, "CTavmontDlg::HttpServerThreadThis(): the listener stopped");
        }
        else
        {
            g_listenerThreads.EnterConnection();
            fCounted = TRUE;
            {
                CSingleLock lock(&g_listenerThreads.m_lock, TRUE);
                hOwn = m_hHttpServerThread;
                fOwnTaken = TRUE;
                if (!g_listenerThreads.IsStopping())
                    StartNextListenerThread();
            }

            char szLine[HEADER_LINE_SIZE];
            sConnect.ReadHeaderLine(szLine, sizeof(szLine), READ_TIMEOUT_SECONDS);
            char* pszUrl = NULL;
            BOOL fGet = parseListenerRequestLine(szLine, &pszUrl);
            if (pszUrl != NULL)
            {
                strUrl = pszUrl;
                fUrlTaken = TRUE;
            }
            int nReply = LISTENER_REFUSAL;
            if (fGet)
            {
                char szHeader[HEADER_LINE_SIZE];
                do
                {
                    sConnect.ReadHeaderLine(szHeader, sizeof(szHeader), READ_TIMEOUT_SECONDS);
                } while (strcmp(szHeader, "\r\n") != 0);
                nReply = chooseListenerReply(strUrl);
            }

            std::string strReply;
            if (nReply == LISTENER_STATUS)
            {
                std::string strBody = FormatStatusBody();
                strReply = formatListenerReplyHead(CurrentHttpDate().c_str(), strBody.size()) + strBody;
            }
            else if (nReply == LISTENER_ACKNOWLEDGE)
            {
                strReply = formatListenerReplyHead(CurrentHttpDate().c_str(), 2) + "OK";
            }
            else
            {
                strReply = g_szListenerRefusal;
            }
            sConnect.Write(strReply.data(), (int)strReply.size(), SEND_TIMEOUT_SECONDS);
            VGLTRACE(3, "CTavmontDlg::HttpServerThreadThis(): reply %d to %s", nReply,
                     fUrlTaken ? (LPCSTR)strUrl : "(no URL)");
            if (nReply == LISTENER_STATUS && !NS_Notification::IsIntranetConnectable())
                g_fReconnect = TRUE;
        }
    }
    catch (CBlockingSocketException* e)
    {
        char szError[128] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "    CBlockingSocketException = %s", szError);
        e->Delete();
        fUrlTaken = FALSE;
    }
    sConnect.CloseIfOpen();

    if (fUrlTaken && isListenerCommandUrl(strUrl))
        NS_Notification::OnNotification(strUrl, this);
    if (fCounted)
        g_listenerThreads.LeaveConnection();
    if (fOwnTaken)
        ::PostMessageA(hWndMain, WM_DELETE_THREAD, 0, reinterpret_cast<LPARAM>(hOwn));
}

/////////////////////////////////////////////////////////////////////////////
// Address-change watcher

BOOL CTavmontDlg::CreateCheckIPChangeThread()
{
    if (!NS_RegistryKey::IsHttpBased())
        return TRUE;
    unsigned uThreadID = 0;
    m_hCheckIPChangeThread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(NULL, 0, CheckIPChangeThread, this, 0, &uThreadID));
    if (!IsThreadHandle(m_hCheckIPChangeThread))
    {
        m_hCheckIPChangeThread = INVALID_HANDLE_VALUE;
        VGLTRACE(12, "Create CheckIPChangeThread failed.");
        return FALSE;
    }
    return TRUE;
}

unsigned __stdcall CTavmontDlg::CheckIPChangeThread(void* pvParam)
{
    try
    {
        if (pvParam != NULL)
            static_cast<CTavmontDlg*>(pvParam)->CheckIPChangeThreadThis();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::CheckIPChangeThread");
    }
    return 0;
}

void CTavmontDlg::CheckIPChangeThreadThis()
{
    VGLTRACE(1, "--> CTavmontDlg::CheckIPChangeThreadThis()");
    HANDLE hStop = g_eventStopScheduler.m_hObject;
    while (::WaitForSingleObject(hStop, 0) != WAIT_OBJECT_0)
    {
        DWORD dwInterval = NS_RegistryKey::GetCheckIPChangeInterval() * 1000;
        if (dwInterval == 0 || NS_RegistryKey::IsForceMobile())
        {
            // A change of either setting is noticed within five seconds.
            if (::WaitForSingleObject(hStop, 5000) == WAIT_OBJECT_0)
                break;
            continue;
        }
        if (NS_RegistryKey::IsIPChanged())
        {
            VGLTRACE(3, " IP is changed");
            Reconnect();
            UpdateTrayIcon();
        }
        else if (g_fReconnect)
        {
            VGLTRACE(3, "[CheckIPChange] re-connect");
            g_fReconnect = FALSE;
            Reconnect();
            UpdateTrayIcon();
        }
        DWORD dwRet = ::WaitForSingleObject(hStop, dwInterval);
        if (dwRet == WAIT_OBJECT_0)
        {
            VGLTRACE(3, "    WAIT_OBJECT_0 == (dwRet(0x%X) = ::WaitForSingleObject(g_eventStopScheduler, "
                        "dwInterval = %d)))",
                     (unsigned)dwRet, (int)dwInterval);
            break;
        }
    }
    VGLTRACE(2, "<-- CTavmontDlg::CheckIPChangeThreadThis()");
}

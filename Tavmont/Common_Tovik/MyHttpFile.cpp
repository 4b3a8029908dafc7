// HTTP request runner.
#include "MyHttpFile.h"

#include <process.h>

#include "Base64Coder.h"
#include "LogTracker.h"

namespace
{
const DWORD WAIT_STEP = 500;            // ms between two cancel tests
const DWORD WORKER_GRACE = 5000;        // ms for a worker whose connection was closed

// Forwarders that the worker's copy of the options holds: they call the
// caller's callbacks only while the caller still waits. The lock is not held
// during the call, so a callback that blocks cannot hold up the caller.
BOOL StillWanted(SHttpConnectData* pData)
{
    pData->Lock();
    BOOL fWanted = !pData->m_fAbandoned;
    pData->Unlock();
    return fWanted;
}

void ForwardStatus(HINTERNET hSession, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo,
                   DWORD dwInfoLength, LPVOID pvThis)
{
    SHttpConnectData* pData = (SHttpConnectData*)pvThis;
    if (StillWanted(pData))
        pData->m_pfStatus(hSession, dwContext, dwStatus, pvInfo, dwInfoLength, pData->m_pvThis);
}

void ForwardContentLength(DWORD dwContentLength, LPVOID pvThis)
{
    SHttpConnectData* pData = (SHttpConnectData*)pvThis;
    if (StillWanted(pData))
        pData->m_pfContentLength(dwContentLength, pData->m_pvThis);
}

BOOL ForwardCancel(LPVOID pvThis)
{
    SHttpConnectData* pData = (SHttpConnectData*)pvThis;
    return !StillWanted(pData) || pData->m_pfCancel(pData->m_pvThis);
}

BOOL IsEmptyText(LPCSTR psz)
{
    return psz == NULL || *psz == '\0';
}

// Closes the request and the connection unless the waiting thread already
// closed the connection, which closed the request with it.
void CloseHandles(SHttpConnectData* pData, CHttpConnection*& pConnection, CHttpFile*& pFile)
{
    if (pData != NULL)
        pData->Lock();
    if (pData != NULL && pData->m_fConnectionClosed)
    {
        if (pFile != NULL)
            pFile->Detach();
        if (pConnection != NULL)
            pConnection->Detach();
    }
    else
    {
        if (pData != NULL)
            pData->m_hConnection = NULL;
        if (pFile != NULL)
            pFile->Close();
        if (pConnection != NULL)
            pConnection->Close();
    }
    if (pData != NULL)
        pData->Unlock();
    delete pFile;
    pFile = NULL;
    delete pConnection;
    pConnection = NULL;
}

// Once the caller has given up (and closed the connection, whose handle value
// WinInet may hand out again), the worker makes no further WinInet call.
void StopIfAbandoned(SHttpConnectData* pData)
{
    if (pData != NULL && !StillWanted(pData))
        AfxThrowInternetException(pData->m_dwContext, ERROR_INTERNET_OPERATION_CANCELLED);
}

unsigned __stdcall WorkerEntry(void* pv)
{
    return httpConnectThread((SHttpConnectData*)pv);
}
} // namespace

// ---------------------------------------------------------------------------

SHttpRequestOption::SHttpRequestOption()
{
    Init();
}

void SHttpRequestOption::Init()
{
    m_nVerb = CHttpConnection::HTTP_VERB_GET;
    m_pszServerName = NULL;
    m_pszObjectName = NULL;
    m_pszReferer = NULL;
    m_pszVersion = NULL;
    m_pszHeaders = "Accept: */*\r\n";
    m_pszProxyServer = NULL;
    m_pszProxyBypass = NULL;
    m_pszProxyUsername = NULL;
    m_pszProxyPassword = NULL;
    m_pszUsername = NULL;
    m_pszUserPassword = NULL;
    m_nServerPort = 80;
    m_nProxyPort = 80;
    m_fOverrideAccessType = FALSE;
    m_dwAccessType = 0;
    m_dwFlags = INTERNET_FLAG_EXISTING_CONNECT;
    m_dwContext = 1;
    m_dwRetries = 0;
    m_dwConnectTimeout = 10000;
    m_dwControlSendTimeout = 10000;
    m_dwControlReceiveTimeout = 10000;
    m_dwDataSendTimeout = 10000;
    m_dwDataReceiveTimeout = 10000;
    m_dwConnectBackoff = 0;
    m_dwProxyAuthenticationRetryCount = 3;
    m_pfInternetStatusCallback = NULL;
    m_pfContentLengthCallback = NULL;
    m_pfConnectCancelCallback = NULL;
    m_pvThis = NULL;
}

// ---------------------------------------------------------------------------

SHttpConnectData::SHttpConnectData(const SHttpRequestOption& option)
    : m_pOption(&m_option), m_pBuffer(&m_buffer), m_dwContext(0), m_hConnection(NULL),
      m_nKind(KIND_NONE), m_nStatus(0), m_pException(NULL), m_pSystemError(NULL),
      m_fAbandoned(FALSE), m_fConnectionClosed(FALSE),
      m_pfStatus(option.m_pfInternetStatusCallback),
      m_pfContentLength(option.m_pfContentLengthCallback),
      m_pfCancel(option.m_pfConnectCancelCallback), m_pvThis(option.m_pvThis),
      m_option(option), m_nRefs(1)
{
    InitializeCriticalSection(&m_lock);

    LPCSTR* texts[] = {
        &m_option.m_pszServerName, &m_option.m_pszObjectName, &m_option.m_pszReferer,
        &m_option.m_pszVersion, &m_option.m_pszHeaders, &m_option.m_pszProxyServer,
        &m_option.m_pszProxyBypass, &m_option.m_pszProxyUsername, &m_option.m_pszProxyPassword,
        &m_option.m_pszUsername, &m_option.m_pszUserPassword,
    };
    for (int i = 0; i < (int)(sizeof(texts) / sizeof(texts[0])); ++i)
    {
        if (*texts[i] != NULL)
        {
            m_strTexts[i] = *texts[i];
            *texts[i] = m_strTexts[i];
        }
    }
    m_option.m_pfInternetStatusCallback = m_pfStatus != NULL ? ForwardStatus : NULL;
    m_option.m_pfContentLengthCallback = m_pfContentLength != NULL ? ForwardContentLength : NULL;
    m_option.m_pfConnectCancelCallback = m_pfCancel != NULL ? ForwardCancel : NULL;
    m_option.m_pvThis = this;
}

SHttpConnectData::~SHttpConnectData()
{
    if (m_pException != NULL)
        m_pException->Delete();
    delete m_pSystemError;
    DeleteCriticalSection(&m_lock);
}

void SHttpConnectData::AddRef()
{
    InterlockedIncrement(&m_nRefs);
}

void SHttpConnectData::Release()
{
    if (InterlockedDecrement(&m_nRefs) == 0)
        delete this;
}

void SHttpConnectData::ThrowSavedException()
{
    switch (m_nKind)
    {
    case KIND_INTERNET_STATUS:
        throw CInternetStatusException(m_nStatus);
    case KIND_CLASSLIB:
    {
        // The same object, thrown again as its own class (CInternetException*,
        // CFileException*, ...), so that the caller's handlers match as on the worker.
        std::exception_ptr thrown = m_thrown;
        m_thrown = std::exception_ptr();
        m_pException = NULL;
        std::rethrow_exception(thrown);
    }
    case KIND_SYSTEM_ERROR:
        throw CSystemError(*m_pSystemError);
    case KIND_OTHER:
        throw HCD_OTHER_EXCEPTION;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------

CStatusCallbackInternetSession::CStatusCallbackInternetSession(
    LPCSTR pstrAgent, DWORD dwContext, DWORD dwAccessType, LPCSTR pstrProxyName,
    LPCSTR pstrProxyBypass, DWORD dwFlags, PFN_HTTP_STATUS_CALLBACK pfCallback, LPVOID pvThis)
    : CInternetSession(pstrAgent, dwContext, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags),
      m_pfCallback(pfCallback), m_pvThis(pvThis)
{
    if (m_pfCallback != NULL)
    {
        try
        {
            EnableStatusCallback(TRUE);
        }
        catch (...)
        {
            Close();
            throw;
        }
    }
}

CStatusCallbackInternetSession::~CStatusCallbackInternetSession()
{
    Close();
}

void CStatusCallbackInternetSession::OnStatusCallback(DWORD_PTR dwContext, DWORD dwInternetStatus,
                                                      LPVOID lpvStatusInformation,
                                                      DWORD dwStatusInformationLength)
{
    if (m_bCallbackEnabled && m_pfCallback != NULL)
        m_pfCallback(m_hSession, dwContext, dwInternetStatus, lpvStatusInformation,
                     dwStatusInformationLength, m_pvThis);
}

// ---------------------------------------------------------------------------

CString buildBasicAuthHeader(BOOL fProxy, LPCSTR pszUser, LPCSTR pszPassword)
{
    CString strPair;
    strPair.Format("%s:%s", pszUser != NULL ? pszUser : "", pszPassword != NULL ? pszPassword : "");
    Base64Coder coder;
    coder.Encode((LPCSTR)strPair);
    CString strHeader;
    strHeader.Format(fProxy ? "Proxy-Authorization: Basic %s\r\n" : "Authorization: Basic %s\r\n",
                     coder.GetEncoded());
    return strHeader;
}

BOOL hasAutoConfigURL()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                      0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szUrl[128] = "";
    DWORD cbUrl = sizeof(szUrl);
    DWORD dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, "AutoConfigURL", NULL, &dwType, (LPBYTE)szUrl, &cbUrl);
    RegCloseKey(hKey);
    szUrl[sizeof(szUrl) - 1] = '\0';
    return lResult == ERROR_SUCCESS && szUrl[0] != '\0';
}

// ---------------------------------------------------------------------------

// Some WinInet versions report a receive that ran into its time-out as a broken
// connection (12030): a wait as long as the time-out is the time-out (12002), which
// ends the request rather than trying the next way to the server.
static void ReportTimeoutAsTimeout(CInternetException* e, DWORD dwStart, DWORD dwTimeout)
{
    const DWORD dwSlack = 100;
    if (e->m_dwError == ERROR_INTERNET_CONNECTION_ABORTED && dwTimeout != 0 &&
        GetTickCount() - dwStart + dwSlack >= dwTimeout)
    {
        VGLTRACE(10, "httpConnect: the connection broke after %lu ms: the receive timed out",
                 GetTickCount() - dwStart);
        e->m_dwError = ERROR_INTERNET_TIMEOUT;
    }
}

void httpConnectThreadThis(SHttpRequestOption& option, CAccBuffer& buffer, SHttpConnectData* pData)
{
    VGLTRACE(1, "-->httpConnectThreadThis(%s, %u, %s)", option.m_pszServerName != NULL ? option.m_pszServerName : "",
             (UINT)option.m_nServerPort, option.m_pszObjectName != NULL ? option.m_pszObjectName : "");

    // 1. Access type and proxy of the session.
    DWORD dwAccessType;
    CString strProxy;
    BOOL fAutoConfig = FALSE;
    if (option.m_fOverrideAccessType)
        dwAccessType = option.m_dwAccessType;
    else if (hasAutoConfigURL())
    {
        dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
        fAutoConfig = TRUE;
    }
    else
    {
        dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
        if (!IsEmptyText(option.m_pszProxyServer))
        {
            dwAccessType = INTERNET_OPEN_TYPE_PROXY;
            strProxy.Format("http=http://%s:%ld", option.m_pszProxyServer, (long)option.m_nProxyPort);
        }
    }

    // 2. The session.
    CStatusCallbackInternetSession session(NULL, option.m_dwContext, dwAccessType,
                                           strProxy.IsEmpty() ? NULL : (LPCSTR)strProxy,
                                           option.m_pszProxyBypass, 0,
                                           option.m_pfInternetStatusCallback, option.m_pvThis);
    CHttpConnection* pConnection = NULL;
    CHttpFile* pFile = NULL;
    try
    {
        // 3. The connection, published to the waiting thread.
        pConnection = session.GetHttpConnection(option.m_pszServerName, option.m_nServerPort, NULL, NULL);
        if (pData != NULL)
        {
            pData->Lock();
            BOOL fAbandoned = pData->m_fAbandoned;
            if (!fAbandoned)
            {
                pData->m_dwContext = pConnection->GetContext();
                pData->m_hConnection = *pConnection;
            }
            pData->Unlock();
            if (fAbandoned)
                AfxThrowInternetException(pConnection->GetContext(), ERROR_INTERNET_OPERATION_CANCELLED);
        }

        // 4. Time-outs and credentials, unless the browser's configuration rules.
        if (!fAutoConfig)
        {
            pConnection->SetOption(INTERNET_OPTION_CONNECT_RETRIES, option.m_dwRetries);
            pConnection->SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, option.m_dwConnectTimeout);
            pConnection->SetOption(INTERNET_OPTION_CONTROL_SEND_TIMEOUT, option.m_dwControlSendTimeout);
            pConnection->SetOption(INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT, option.m_dwControlReceiveTimeout);
            pConnection->SetOption(INTERNET_OPTION_DATA_SEND_TIMEOUT, option.m_dwDataSendTimeout);
            pConnection->SetOption(INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, option.m_dwDataReceiveTimeout);
            pConnection->SetOption(INTERNET_OPTION_CONNECT_BACKOFF, option.m_dwConnectBackoff);
            if (!IsEmptyText(option.m_pszProxyServer))
            {
                if (!IsEmptyText(option.m_pszProxyUsername))
                    pConnection->SetOption(INTERNET_OPTION_USERNAME, (LPVOID)option.m_pszProxyUsername,
                                           (DWORD)lstrlenA(option.m_pszProxyUsername));
                if (!IsEmptyText(option.m_pszProxyPassword))
                    pConnection->SetOption(INTERNET_OPTION_PASSWORD, (LPVOID)option.m_pszProxyPassword,
                                           (DWORD)lstrlenA(option.m_pszProxyPassword));
            }
            if (!IsEmptyText(option.m_pszUsername))
                pConnection->SetOption(INTERNET_OPTION_USERNAME, (LPVOID)option.m_pszUsername,
                                       (DWORD)lstrlenA(option.m_pszUsername));
            if (!IsEmptyText(option.m_pszUserPassword))
                pConnection->SetOption(INTERNET_OPTION_PASSWORD, (LPVOID)option.m_pszUserPassword,
                                       (DWORD)lstrlenA(option.m_pszUserPassword));
        }

        // 5.-6. The request and its headers.
        StopIfAbandoned(pData);
        pFile = pConnection->OpenRequest(option.m_nVerb, option.m_pszObjectName, option.m_pszReferer,
                                         option.m_dwContext, NULL, option.m_pszVersion, option.m_dwFlags);
        if (option.m_pszHeaders != NULL)
            pFile->AddRequestHeaders(option.m_pszHeaders, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        // Proxy credentials go only to a proxy: without one the request reaches the server itself.
        if (!IsEmptyText(option.m_pszProxyUsername) && !IsEmptyText(option.m_pszProxyServer))
            pFile->AddRequestHeaders(buildBasicAuthHeader(TRUE, option.m_pszProxyUsername,
                                                          option.m_pszProxyPassword),
                                     HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        if (!IsEmptyText(option.m_pszUsername))
            pFile->AddRequestHeaders(buildBasicAuthHeader(FALSE, option.m_pszUsername,
                                                          option.m_pszUserPassword),
                                     HTTP_ADDREQ_FLAG_ADD_IF_NEW);

        // 7.-8. Send and check the status.
        StopIfAbandoned(pData);
        DWORD dwSent = GetTickCount();
        try
        {
            pFile->SendRequest();
        }
        catch (CInternetException* e)
        {
            ReportTimeoutAsTimeout(e, dwSent, option.m_dwControlReceiveTimeout);
            throw;
        }
        DWORD dwStatus = 0;
        StopIfAbandoned(pData);
        pFile->QueryInfoStatusCode(dwStatus);
        VGLTRACE(3, "httpConnectThreadThis: status = %lu", dwStatus);
        if (dwStatus != HTTP_STATUS_OK)
            throw CInternetStatusException((int)dwStatus);

        // 9.-10. Content length, then one cancel test.
        if (option.m_pfContentLengthCallback != NULL)
        {
            DWORD dwLength = 0;
            StopIfAbandoned(pData);
            if (!pFile->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, dwLength))
                dwLength = 0;
            option.m_pfContentLengthCallback(dwLength, option.m_pvThis);
        }
        if (option.m_pfConnectCancelCallback != NULL && option.m_pfConnectCancelCallback(option.m_pvThis))
            throw CInternetStatusException(0);

        // 11. The body, 1024 bytes at a time.
        char piece[1024];
        for (;;)
        {
            StopIfAbandoned(pData);
            DWORD dwAsked = GetTickCount();
            UINT nRead = 0;
            try
            {
                nRead = pFile->Read(piece, sizeof(piece));
            }
            catch (CInternetException* e)
            {
                ReportTimeoutAsTimeout(e, dwAsked, option.m_dwDataReceiveTimeout);
                throw;
            }
            if (nRead == 0)
                break;
            if (option.m_pfConnectCancelCallback != NULL &&
                option.m_pfConnectCancelCallback(option.m_pvThis))
                throw CInternetStatusException(0);
            if (pData != NULL)
            {
                pData->Lock();
                buffer.Append(piece, (int)nRead);
                pData->Unlock();
            }
            else
                buffer.Append(piece, (int)nRead);
        }
    }
    catch (...)
    {
        CloseHandles(pData, pConnection, pFile);
        throw;
    }
    // 12. Close everything.
    CloseHandles(pData, pConnection, pFile);
    VGLTRACE(2, "<--httpConnectThreadThis()");
}

UINT httpConnectThread(SHttpConnectData* pData)
{
    int nKind = SHttpConnectData::KIND_NONE;
    int nStatus = 0;
    CException* pException = NULL;
    std::exception_ptr thrown;
    CSystemError* pSystemError = NULL;
    try
    {
        httpConnectThreadThis(*pData->m_pOption, *pData->m_pBuffer, pData);
    }
    catch (CInternetStatusException& e)
    {
        nKind = SHttpConnectData::KIND_INTERNET_STATUS;
        nStatus = e.GetStatus();
    }
    catch (CException* e)
    {
        nKind = SHttpConnectData::KIND_CLASSLIB;
        pException = e;
        thrown = std::current_exception();
    }
    catch (CSystemError& e)
    {
        nKind = SHttpConnectData::KIND_SYSTEM_ERROR;
        try
        {
            pSystemError = new CSystemError(e);
        }
        catch (...)
        {
            nKind = SHttpConnectData::KIND_OTHER;
        }
    }
    catch (...)
    {
        nKind = SHttpConnectData::KIND_OTHER;
    }
    pData->Lock();
    pData->m_nKind = nKind;
    pData->m_nStatus = nStatus;
    pData->m_pException = pException;
    pData->m_thrown = thrown;
    pData->m_pSystemError = pSystemError;
    pData->Unlock();
    pData->Release();
    return 0;
}

void httpConnect(SHttpRequestOption& option, CAccBuffer& buffer)
{
    VGLTRACE(1, "-->httpConnect(%s, %u, %s)", option.m_pszServerName != NULL ? option.m_pszServerName : "",
             (UINT)option.m_nServerPort, option.m_pszObjectName != NULL ? option.m_pszObjectName : "");

    SHttpConnectData* pData = new SHttpConnectData(option);
    pData->AddRef();    // the worker's reference
    unsigned nThreadId = 0;
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, WorkerEntry, pData, CREATE_SUSPENDED, &nThreadId);
    if (hThread == NULL)
    {
        pData->Release();
        pData->Release();
        VGLTRACE(12, "httpConnect: no worker thread, error = %lu", GetLastError());
        httpConnectThreadThis(option, buffer, NULL);
        return;
    }
    int nPriority = GetThreadPriority(GetCurrentThread());
    if (nPriority != THREAD_PRIORITY_ERROR_RETURN)
        SetThreadPriority(hThread, nPriority);
    ResumeThread(hThread);

    // Wait for the worker, testing the cancel callback every half second.
    BOOL fEnded = FALSE;
    BOOL fCancelled = FALSE;
    if (option.m_pfConnectCancelCallback == NULL)
        fEnded = WaitForSingleObject(hThread, option.m_dwConnectTimeout) == WAIT_OBJECT_0;
    else
    {
        DWORD dwElapsed = 0;
        while (dwElapsed < option.m_dwConnectTimeout)
        {
            if (WaitForSingleObject(hThread, WAIT_STEP) == WAIT_OBJECT_0)
            {
                fEnded = TRUE;
                break;
            }
            if (option.m_pfConnectCancelCallback(option.m_pvThis))
            {
                fCancelled = TRUE;
                break;
            }
            dwElapsed += WAIT_STEP;
        }
    }

    if (fEnded)
    {
        CloseHandle(hThread);
        if (pData->m_pBuffer->GetLength() > 0)
            buffer.Append(pData->m_pBuffer->GetData(), pData->m_pBuffer->GetLength());
        try
        {
            pData->ThrowSavedException();
        }
        catch (...)
        {
            pData->Release();
            throw;
        }
        pData->Release();
        VGLTRACE(2, "<--httpConnect()");
        return;
    }

    // Time-out or cancel: give up the request. Closing the connection makes
    // the worker's blocked WinInet call fail; a worker that still does not
    // end is left to finish on its own record.
    pData->Lock();
    pData->m_fAbandoned = TRUE;
    DWORD_PTR dwContext = pData->m_dwContext;
    if (pData->m_hConnection != NULL)
    {
        InternetCloseHandle(pData->m_hConnection);
        pData->m_hConnection = NULL;
        pData->m_fConnectionClosed = TRUE;
    }
    if (pData->m_pBuffer->GetLength() > 0)
        buffer.Append(pData->m_pBuffer->GetData(), pData->m_pBuffer->GetLength());
    pData->Unlock();
    if (WaitForSingleObject(hThread, WORKER_GRACE) != WAIT_OBJECT_0)
        VGLTRACE(12, "httpConnect: worker %u still running, left to end on its own", nThreadId);
    CloseHandle(hThread);
    pData->Release();
    VGLTRACE(10, "httpConnect: %s", fCancelled ? "cancelled" : "timed out");
    AfxThrowInternetException(dwContext, fCancelled ? ERROR_INTERNET_OPERATION_CANCELLED
                                                    : ERROR_INTERNET_TIMEOUT);
}

// WinInet classes: session, connection and request handles.
#include "afx.h"
#include "afxinet.h"
#include "afxwin.h"

#include <map>

IMPLEMENT_DYNAMIC(CInternetSession, CObject)
IMPLEMENT_DYNAMIC(CInternetConnection, CObject)
IMPLEMENT_DYNAMIC(CHttpConnection, CInternetConnection)
IMPLEMENT_DYNAMIC(CInternetFile, CObject)
IMPLEMENT_DYNAMIC(CHttpFile, CInternetFile)

namespace
{
// Which session each open WinInet handle belongs to, for the status callback
// (WinInet calls it with the handle of the session, connection or request).
struct HandleMap
{
    CRITICAL_SECTION lock;
    std::map<HINTERNET, CInternetSession*> sessions;
    HandleMap() { InitializeCriticalSection(&lock); }
};

HandleMap& Handles()
{
    static HandleMap s_map;
    return s_map;
}

void CALLBACK SessionStatusCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                    LPVOID lpvStatusInformation, DWORD dwStatusInformationLength)
{
    CInternetSession* pSession = CInternetSession::FromHandle(hInternet);
    if (pSession != NULL)
        pSession->OnStatusCallback(dwContext, dwInternetStatus, lpvStatusInformation,
                                   dwStatusInformationLength);
}

const char* const s_verbs[] = {"POST", "GET", "HEAD", "PUT", "LINK", "DELETE", "UNLINK"};
}

// ---------------------------------------------------------------------------

CInternetSession::CInternetSession(LPCSTR pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   LPCSTR pstrProxyName, LPCSTR pstrProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext), m_hSession(NULL), m_bCallbackEnabled(FALSE)
{
    if (pstrAgent == NULL)
        pstrAgent = AfxGetAppName();
    m_hSession = ::InternetOpenA(pstrAgent, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags);
    if (m_hSession == NULL)
        AfxThrowInternetException(m_dwContext);
    RegisterHandle(m_hSession, this);
}

CInternetSession::~CInternetSession()
{
    Close();
}

void CInternetSession::Close()
{
    if (m_hSession == NULL)
        return;
    if (m_bCallbackEnabled)
    {
        ::InternetSetStatusCallbackA(m_hSession, NULL);
        m_bCallbackEnabled = FALSE;
    }
    HINTERNET hSession = m_hSession;
    m_hSession = NULL;
    ::InternetCloseHandle(hSession);
    UnregisterHandle(hSession, this);
}

CHttpConnection* CInternetSession::GetHttpConnection(LPCSTR pstrServer, INTERNET_PORT nPort,
                                                     LPCSTR pstrUserName, LPCSTR pstrPassword)
{
    return new CHttpConnection(this, pstrServer, nPort, pstrUserName, pstrPassword, m_dwContext);
}

BOOL CInternetSession::EnableStatusCallback(BOOL bEnable)
{
    INTERNET_STATUS_CALLBACK pfn = bEnable ? SessionStatusCallback : NULL;
    if (::InternetSetStatusCallbackA(m_hSession, pfn) == INTERNET_INVALID_STATUS_CALLBACK)
        AfxThrowInternetException(m_dwContext);
    m_bCallbackEnabled = bEnable;
    return TRUE;
}

void CInternetSession::OnStatusCallback(DWORD_PTR, DWORD, LPVOID, DWORD)
{
}

BOOL CInternetSession::SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags)
{
    (void)dwFlags;
    return ::InternetSetOptionA(m_hSession, dwOption, &dwValue, sizeof(dwValue));
}

BOOL CInternetSession::QueryOption(DWORD dwOption, DWORD& dwValue) const
{
    DWORD dwLen = sizeof(dwValue);
    return ::InternetQueryOptionA(m_hSession, dwOption, &dwValue, &dwLen);
}

CInternetSession* PASCAL CInternetSession::FromHandle(HINTERNET hInternet)
{
    HandleMap& map = Handles();
    EnterCriticalSection(&map.lock);
    std::map<HINTERNET, CInternetSession*>::iterator it = map.sessions.find(hInternet);
    CInternetSession* pSession = it != map.sessions.end() ? it->second : NULL;
    LeaveCriticalSection(&map.lock);
    return pSession;
}

void PASCAL CInternetSession::RegisterHandle(HINTERNET hInternet, CInternetSession* pSession)
{
    HandleMap& map = Handles();
    EnterCriticalSection(&map.lock);
    map.sessions[hInternet] = pSession;
    LeaveCriticalSection(&map.lock);
}

void PASCAL CInternetSession::UnregisterHandle(HINTERNET hInternet, CInternetSession* pSession)
{
    HandleMap& map = Handles();
    EnterCriticalSection(&map.lock);
    std::map<HINTERNET, CInternetSession*>::iterator it = map.sessions.find(hInternet);
    if (it != map.sessions.end() && it->second == pSession)
        map.sessions.erase(it);
    LeaveCriticalSection(&map.lock);
}

// ---------------------------------------------------------------------------

CInternetConnection::CInternetConnection(CInternetSession* pSession, LPCSTR pstrServer,
                                         INTERNET_PORT nPort, DWORD_PTR dwContext)
    : m_hConnection(NULL), m_dwContext(dwContext), m_pSession(pSession),
      m_strServerName(pstrServer), m_nPort(nPort)
{
}

CInternetConnection::~CInternetConnection()
{
    Close();
}

void CInternetConnection::Close()
{
    if (m_hConnection == NULL)
        return;
    HINTERNET hConnection = m_hConnection;
    m_hConnection = NULL;
    ::InternetCloseHandle(hConnection);
    CInternetSession::UnregisterHandle(hConnection, m_pSession);
}

HINTERNET CInternetConnection::Detach()
{
    HINTERNET hConnection = m_hConnection;
    m_hConnection = NULL;
    if (hConnection != NULL)
        CInternetSession::UnregisterHandle(hConnection, m_pSession);
    return hConnection;
}

BOOL CInternetConnection::SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags)
{
    (void)dwFlags;
    return ::InternetSetOptionA(m_hConnection, dwOption, &dwValue, sizeof(dwValue));
}

BOOL CInternetConnection::SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength, DWORD dwFlags)
{
    (void)dwFlags;
    return ::InternetSetOptionA(m_hConnection, dwOption, lpBuffer, dwBufferLength);
}

BOOL CInternetConnection::QueryOption(DWORD dwOption, DWORD& dwValue) const
{
    DWORD dwLen = sizeof(dwValue);
    return ::InternetQueryOptionA(m_hConnection, dwOption, &dwValue, &dwLen);
}

// ---------------------------------------------------------------------------

CHttpConnection::CHttpConnection(CInternetSession* pSession, LPCSTR pstrServer, INTERNET_PORT nPort,
                                 LPCSTR pstrUserName, LPCSTR pstrPassword, DWORD_PTR dwContext)
    : CInternetConnection(pSession, pstrServer, nPort, dwContext)
{
    m_hConnection = ::InternetConnectA(*pSession, pstrServer, nPort, pstrUserName, pstrPassword,
                                       INTERNET_SERVICE_HTTP, 0, dwContext);
    if (m_hConnection == NULL)
        AfxThrowInternetException(dwContext);
    CInternetSession::RegisterHandle(m_hConnection, pSession);
}

CHttpConnection::~CHttpConnection()
{
}

CHttpFile* CHttpConnection::OpenRequest(int nVerb, LPCSTR pstrObjectName, LPCSTR pstrReferer,
                                        DWORD_PTR dwContext, LPCSTR* ppstrAcceptTypes,
                                        LPCSTR pstrVersion, DWORD dwFlags)
{
    if (nVerb < _HTTP_VERB_MIN || nVerb > _HTTP_VERB_MAX)
        AfxThrowInternetException(dwContext, ERROR_INVALID_PARAMETER);
    HINTERNET hFile = ::HttpOpenRequestA(m_hConnection, s_verbs[nVerb], pstrObjectName, pstrVersion,
                                         pstrReferer, ppstrAcceptTypes, dwFlags, dwContext);
    if (hFile == NULL)
        AfxThrowInternetException(dwContext);
    return new CHttpFile(hFile, this, pstrObjectName, s_verbs[nVerb], dwContext);
}

// ---------------------------------------------------------------------------

CInternetFile::CInternetFile(HINTERNET hFile, CInternetConnection* pConnection, LPCSTR pstrObject,
                             DWORD_PTR dwContext)
    : m_hFile(hFile), m_pConnection(pConnection), m_strObject(pstrObject), m_dwContext(dwContext)
{
    if (pConnection != NULL && pConnection->GetSession() != NULL)
        CInternetSession::RegisterHandle(hFile, pConnection->GetSession());
}

CInternetFile::~CInternetFile()
{
    Close();
}

void CInternetFile::Close()
{
    if (m_hFile == NULL)
        return;
    HINTERNET hFile = m_hFile;
    m_hFile = NULL;
    ::InternetCloseHandle(hFile);
    CInternetSession::UnregisterHandle(hFile, m_pConnection != NULL ? m_pConnection->GetSession() : NULL);
}

HINTERNET CInternetFile::Detach()
{
    HINTERNET hFile = m_hFile;
    m_hFile = NULL;
    if (hFile != NULL)
        CInternetSession::UnregisterHandle(hFile, m_pConnection != NULL ? m_pConnection->GetSession() : NULL);
    return hFile;
}

UINT CInternetFile::Read(void* lpBuf, UINT nCount)
{
    DWORD dwRead = 0;
    if (!::InternetReadFile(m_hFile, lpBuf, nCount, &dwRead))
        AfxThrowInternetException(m_dwContext);
    return dwRead;
}

void CInternetFile::Write(const void* lpBuf, UINT nCount)
{
    DWORD dwWritten = 0;
    if (!::InternetWriteFile(m_hFile, lpBuf, nCount, &dwWritten))
        AfxThrowInternetException(m_dwContext);
    if (dwWritten != nCount)
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_CONNECTION_ABORTED);
}

BOOL CInternetFile::SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags)
{
    (void)dwFlags;
    return ::InternetSetOptionA(m_hFile, dwOption, &dwValue, sizeof(dwValue));
}

BOOL CInternetFile::SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength, DWORD dwFlags)
{
    (void)dwFlags;
    return ::InternetSetOptionA(m_hFile, dwOption, lpBuffer, dwBufferLength);
}

// ---------------------------------------------------------------------------

CHttpFile::CHttpFile(HINTERNET hFile, CHttpConnection* pConnection, LPCSTR pstrObject,
                     LPCSTR pstrVerb, DWORD_PTR dwContext)
    : CInternetFile(hFile, pConnection, pstrObject, dwContext), m_strVerb(pstrVerb)
{
}

CHttpFile::~CHttpFile()
{
}

BOOL CHttpFile::AddRequestHeaders(LPCSTR pstrHeaders, DWORD dwFlags, int dwHeadersLen)
{
    if (dwHeadersLen < 0)
        dwHeadersLen = (int)lstrlenA(pstrHeaders);
    return ::HttpAddRequestHeadersA(m_hFile, pstrHeaders, (DWORD)dwHeadersLen, dwFlags);
}

BOOL CHttpFile::SendRequest(LPCSTR pstrHeaders, DWORD dwHeadersLen, LPVOID lpOptional,
                            DWORD dwOptionalLen)
{
    if (pstrHeaders != NULL && dwHeadersLen == 0)
        dwHeadersLen = (DWORD)lstrlenA(pstrHeaders);
    if (!::HttpSendRequestA(m_hFile, pstrHeaders, dwHeadersLen, lpOptional, dwOptionalLen))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, CString& str, LPDWORD lpdwIndex) const
{
    DWORD dwLen = 0;
    str.Empty();
    ::HttpQueryInfoA(m_hFile, dwInfoLevel, NULL, &dwLen, lpdwIndex);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwLen == 0)
        return FALSE;
    LPSTR psz = str.GetBuffer((int)dwLen + 1);
    BOOL bResult = ::HttpQueryInfoA(m_hFile, dwInfoLevel, psz, &dwLen, lpdwIndex);
    str.ReleaseBuffer(bResult ? (int)dwLen : 0);
    return bResult;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, DWORD& dwResult, LPDWORD lpdwIndex) const
{
    DWORD dwLen = sizeof(dwResult);
    return ::HttpQueryInfoA(m_hFile, dwInfoLevel | HTTP_QUERY_FLAG_NUMBER, &dwResult, &dwLen, lpdwIndex);
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const
{
    dwStatusCode = 0;
    if (!QueryInfo(HTTP_QUERY_STATUS_CODE, dwStatusCode))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

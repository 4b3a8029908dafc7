// Internet classes.
#include "afx.h"

#ifndef VGL_AFXINET_H
#define VGL_AFXINET_H

#include <wininet.h>

// A WinInet failure: m_dwError is the WinInet or Win32 error code.
class CInternetException : public CException
{
    DECLARE_DYNAMIC(CInternetException)
public:
    explicit CInternetException(DWORD dwError);
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Throws a CInternetException; dwError 0 takes GetLastError().
AFX_NORETURN void AFXAPI AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError = 0);

class CInternetConnection;
class CHttpConnection;
class CInternetFile;
class CHttpFile;

// Default ports of INTERNET_INVALID_PORT_NUMBER's services.
#ifndef INTERNET_INVALID_PORT_NUMBER
#define INTERNET_INVALID_PORT_NUMBER 0
#endif

// One WinInet session (InternetOpen). Failures throw CInternetException*.
class CInternetSession : public CObject
{
    DECLARE_DYNAMIC(CInternetSession)
public:
    // A NULL agent takes the application's name.
    CInternetSession(LPCSTR pstrAgent = NULL, DWORD_PTR dwContext = 1,
                     DWORD dwAccessType = PRE_CONFIG_INTERNET_ACCESS,
                     LPCSTR pstrProxyName = NULL, LPCSTR pstrProxyBypass = NULL,
                     DWORD dwFlags = 0);
    virtual ~CInternetSession();

    virtual void Close();

    // The connection is owned by the caller (delete it, which closes it).
    CHttpConnection* GetHttpConnection(LPCSTR pstrServer,
                                       INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                                       LPCSTR pstrUserName = NULL, LPCSTR pstrPassword = NULL);

    // Turns the status notifications to OnStatusCallback on or off; throws
    // CInternetException* when WinInet refuses.
    BOOL EnableStatusCallback(BOOL bEnable = TRUE);
    virtual void OnStatusCallback(DWORD_PTR dwContext, DWORD dwInternetStatus,
                                  LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);

    BOOL SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags = 0);
    BOOL QueryOption(DWORD dwOption, DWORD& dwValue) const;

    DWORD_PTR GetContext() const { return m_dwContext; }
    operator HINTERNET() const { return m_hSession; }

    // The session a WinInet handle (session, connection or request) belongs to.
    static CInternetSession* PASCAL FromHandle(HINTERNET hInternet);

protected:
    friend class CInternetConnection;
    friend class CHttpConnection;
    friend class CInternetFile;
    static void PASCAL RegisterHandle(HINTERNET hInternet, CInternetSession* pSession);
    // Forgets the handle unless it now belongs to another session (WinInet
    // reuses the values of closed handles).
    static void PASCAL UnregisterHandle(HINTERNET hInternet, CInternetSession* pSession);

    DWORD_PTR m_dwContext;
    HINTERNET m_hSession;
    BOOL m_bCallbackEnabled;

private:
    CInternetSession(const CInternetSession&);
    void operator=(const CInternetSession&);
};

// A connection to one server, made by a session.
class CInternetConnection : public CObject
{
    DECLARE_DYNAMIC(CInternetConnection)
public:
    CInternetConnection(CInternetSession* pSession, LPCSTR pstrServer,
                        INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                        DWORD_PTR dwContext = 1);
    virtual ~CInternetConnection();

    virtual void Close();

    BOOL SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags = 0);
    BOOL SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength, DWORD dwFlags = 0);
    BOOL QueryOption(DWORD dwOption, DWORD& dwValue) const;

    CInternetSession* GetSession() const { return m_pSession; }
    CString GetServerName() const { return m_strServerName; }
    DWORD_PTR GetContext() const { return m_dwContext; }
    operator HINTERNET() const { return m_hConnection; }

    // Forgets the handle without closing it (someone else closed it).
    HINTERNET Detach();

protected:
    HINTERNET m_hConnection;
    DWORD_PTR m_dwContext;
    CInternetSession* m_pSession;
    CString m_strServerName;
    INTERNET_PORT m_nPort;

private:
    CInternetConnection(const CInternetConnection&);
    void operator=(const CInternetConnection&);
};

class CHttpConnection : public CInternetConnection
{
    DECLARE_DYNAMIC(CHttpConnection)
public:
    enum
    {
        _HTTP_VERB_MIN = 0,
        HTTP_VERB_POST = 0,
        HTTP_VERB_GET = 1,
        HTTP_VERB_HEAD = 2,
        HTTP_VERB_PUT = 3,
        HTTP_VERB_LINK = 4,
        HTTP_VERB_DELETE = 5,
        HTTP_VERB_UNLINK = 6,
        _HTTP_VERB_MAX = 6,
    };

    CHttpConnection(CInternetSession* pSession, LPCSTR pstrServer,
                    INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                    LPCSTR pstrUserName = NULL, LPCSTR pstrPassword = NULL,
                    DWORD_PTR dwContext = 1);
    virtual ~CHttpConnection();

    // The request is owned by the caller.
    CHttpFile* OpenRequest(int nVerb, LPCSTR pstrObjectName, LPCSTR pstrReferer = NULL,
                           DWORD_PTR dwContext = 1, LPCSTR* ppstrAcceptTypes = NULL,
                           LPCSTR pstrVersion = NULL, DWORD dwFlags = INTERNET_FLAG_EXISTING_CONNECT);
};

// An open WinInet file or request handle.
class CInternetFile : public CObject
{
    DECLARE_DYNAMIC(CInternetFile)
public:
    virtual ~CInternetFile();

    // Bytes read, 0 at the end; throws CInternetException* on failure.
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Close();

    BOOL SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags = 0);
    BOOL SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength, DWORD dwFlags = 0);

    CInternetConnection* GetConnection() const { return m_pConnection; }
    DWORD_PTR GetContext() const { return m_dwContext; }
    operator HINTERNET() const { return m_hFile; }

    // Forgets the handle without closing it (someone else closed it).
    HINTERNET Detach();

protected:
    CInternetFile(HINTERNET hFile, CInternetConnection* pConnection, LPCSTR pstrObject,
                  DWORD_PTR dwContext);

    HINTERNET m_hFile;
    CInternetConnection* m_pConnection;
    CString m_strObject;
    DWORD_PTR m_dwContext;

private:
    CInternetFile(const CInternetFile&);
    void operator=(const CInternetFile&);
};

class CHttpFile : public CInternetFile
{
    DECLARE_DYNAMIC(CHttpFile)
public:
    CHttpFile(HINTERNET hFile, CHttpConnection* pConnection, LPCSTR pstrObject,
              LPCSTR pstrVerb, DWORD_PTR dwContext);
    virtual ~CHttpFile();

    // HttpAddRequestHeaders; -1 takes the text's length.
    BOOL AddRequestHeaders(LPCSTR pstrHeaders, DWORD dwFlags = HTTP_ADDREQ_FLAG_ADD_IF_NEW,
                           int dwHeadersLen = -1);
    // HttpSendRequest; throws CInternetException* on failure.
    BOOL SendRequest(LPCSTR pstrHeaders = NULL, DWORD dwHeadersLen = 0,
                     LPVOID lpOptional = NULL, DWORD dwOptionalLen = 0);

    BOOL QueryInfo(DWORD dwInfoLevel, CString& str, LPDWORD lpdwIndex = NULL) const;
    BOOL QueryInfo(DWORD dwInfoLevel, DWORD& dwResult, LPDWORD lpdwIndex = NULL) const;
    // HTTP_QUERY_STATUS_CODE; throws CInternetException* on failure.
    BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;

    CString GetVerb() const { return m_strVerb; }

protected:
    CString m_strVerb;
};

#endif // VGL_AFXINET_H

// HTTP request runner: one GET over WinInet on a worker thread, so that the
// caller can enforce an overall time limit and a cancel test.
#pragma once

#include "LockOrder.h"
#include <afx.h>
#include <afxinet.h>

#include "AccBuffer.h"
#include "SystemError.h"

#include <exception>

// Every WinInet status notification of the request's session.
typedef void (*PFN_HTTP_STATUS_CALLBACK)(HINTERNET hSession, DWORD_PTR dwContext, DWORD dwStatus,
                                         LPVOID pvStatusInformation, DWORD dwStatusInformationLength,
                                         LPVOID pvThis);
// The reply's content length (0 when it has none), once the reply is accepted.
typedef void (*PFN_HTTP_CONTENT_LENGTH_CALLBACK)(DWORD dwContentLength, LPVOID pvThis);
// Non-zero cancels the request.
typedef BOOL (*PFN_HTTP_CANCEL_CALLBACK)(LPVOID pvThis);

// The options of one request. It only points at the caller's texts, which
// must live until httpConnect returns.
struct SHttpRequestOption
{
    SHttpRequestOption();
    void Init();

    int m_nVerb;                        // 1: GET
    LPCSTR m_pszServerName;
    LPCSTR m_pszObjectName;             // path and query
    LPCSTR m_pszReferer;
    LPCSTR m_pszVersion;
    LPCSTR m_pszHeaders;                // "Accept: */*\r\n"
    LPCSTR m_pszProxyServer;            // NULL or empty: no proxy of our own
    LPCSTR m_pszProxyBypass;
    LPCSTR m_pszProxyUsername;
    LPCSTR m_pszProxyPassword;
    LPCSTR m_pszUsername;
    LPCSTR m_pszUserPassword;
    INTERNET_PORT m_nServerPort;        // 80
    INTERNET_PORT m_nProxyPort;         // 80
    BOOL m_fOverrideAccessType;         // TRUE: m_dwAccessType as it is
    DWORD m_dwAccessType;               // 0 preconfigured, 1 direct, 3 named proxy
    DWORD m_dwFlags;                    // INTERNET_FLAG_EXISTING_CONNECT
    DWORD m_dwContext;                  // 1
    DWORD m_dwRetries;
    DWORD m_dwConnectTimeout;           // ms; also the overall time limit
    DWORD m_dwControlSendTimeout;
    DWORD m_dwControlReceiveTimeout;
    DWORD m_dwDataSendTimeout;
    DWORD m_dwDataReceiveTimeout;
    DWORD m_dwConnectBackoff;
    DWORD m_dwProxyAuthenticationRetryCount;    // carried, not consulted
    PFN_HTTP_STATUS_CALLBACK m_pfInternetStatusCallback;
    PFN_HTTP_CONTENT_LENGTH_CALLBACK m_pfContentLengthCallback;
    PFN_HTTP_CANCEL_CALLBACK m_pfConnectCancelCallback;
    LPVOID m_pvThis;                    // handed to the three callbacks
};

// One request shared by the waiting thread and the worker. It lives on the
// heap and is reference counted, so a worker that does not end in time is
// left to finish on its own: it then works on its own copy of the options
// and its own reply buffer, and calls none of the caller's callbacks.
struct SHttpConnectData
{
    // Thrown (value 4) when the worker caught an exception of any other type.
    enum HCD_EXCEPTION { HCD_OTHER_EXCEPTION = 4 };
    enum
    {
        KIND_NONE = 0,
        KIND_INTERNET_STATUS = 1,
        KIND_CLASSLIB = 2,
        KIND_SYSTEM_ERROR = 3,
        KIND_OTHER = 4,
    };

    // Copies the caller's options (texts included) into the record.
    explicit SHttpConnectData(const SHttpRequestOption& option);

    void AddRef();
    void Release();
    void Lock() { EnterCriticalSection(&m_lock); }
    void Unlock() { LeaveCriticalSection(&m_lock); }

    // Raises in the calling thread what the worker recorded.
    void ThrowSavedException();

    SHttpRequestOption* m_pOption;      // the worker's copy
    CAccBuffer* m_pBuffer;              // the worker's reply buffer
    DWORD_PTR m_dwContext;              // the connection's, once connected
    HINTERNET m_hConnection;            // once connected, until the worker closes it
    int m_nKind;
    int m_nStatus;                      // KIND_INTERNET_STATUS
    CException* m_pException;           // KIND_CLASSLIB, until raised again
    std::exception_ptr m_thrown;        // KIND_CLASSLIB: as thrown, with its own class
    CSystemError* m_pSystemError;       // KIND_SYSTEM_ERROR

    // The caller gave up: the worker stops calling back and stops reading.
    BOOL m_fAbandoned;
    // The caller closed m_hConnection (and with it the request): the worker
    // must not close either again.
    BOOL m_fConnectionClosed;

    // The caller's callbacks and value; the copy of the options holds the
    // record's own forwarders instead.
    PFN_HTTP_STATUS_CALLBACK m_pfStatus;
    PFN_HTTP_CONTENT_LENGTH_CALLBACK m_pfContentLength;
    PFN_HTTP_CANCEL_CALLBACK m_pfCancel;
    LPVOID m_pvThis;

private:
    ~SHttpConnectData();
    SHttpConnectData(const SHttpConnectData&);
    SHttpConnectData& operator=(const SHttpConnectData&);

    SHttpRequestOption m_option;
    CString m_strTexts[11];
    CAccBuffer m_buffer;
    LONG m_nRefs;
    CRITICAL_SECTION m_lock;
};

// A session that hands every WinInet status notification to a callback.
class CStatusCallbackInternetSession : public CInternetSession
{
public:
    // With a callback, status notifications are turned on (CInternetException*
    // when WinInet refuses).
    CStatusCallbackInternetSession(LPCSTR pstrAgent, DWORD dwContext, DWORD dwAccessType,
                                   LPCSTR pstrProxyName, LPCSTR pstrProxyBypass, DWORD dwFlags,
                                   PFN_HTTP_STATUS_CALLBACK pfCallback, LPVOID pvThis);
    virtual ~CStatusCallbackInternetSession();

    virtual void OnStatusCallback(DWORD_PTR dwContext, DWORD dwInternetStatus,
                                  LPVOID lpvStatusInformation, DWORD dwStatusInformationLength);

private:
    PFN_HTTP_STATUS_CALLBACK m_pfCallback;
    LPVOID m_pvThis;
};

// Runs one request. Returns when the server answered 200 and the whole body
// was appended to the buffer; otherwise throws:
//   status other than 200            CInternetStatusException (status)
//   cancelled while reading the body CInternetStatusException (0)
//   overall time limit passed        CInternetException* 12002
//   cancel callback while waiting    CInternetException* 12017
//   WinInet failure                  its CInternetException*, unchanged
//   CSystemError                     a copy of it
//   anything else                    SHttpConnectData::HCD_EXCEPTION (4)
void httpConnect(SHttpRequestOption& option, CAccBuffer& buffer);

// The worker thread's procedure.
UINT httpConnectThread(SHttpConnectData* pData);

// The request itself, on the calling thread; throws on failure. pData, when
// given, receives the connection's context and handle and is asked whether
// the caller gave up.
void httpConnectThreadThis(SHttpRequestOption& option, CAccBuffer& buffer, SHttpConnectData* pData);

// "Proxy-Authorization: Basic %s\r\n" or "Authorization: Basic %s\r\n" with
// the Base64 form of "user:password".
CString buildBasicAuthHeader(BOOL fProxy, LPCSTR pszUser, LPCSTR pszPassword);

// TRUE when the user's "AutoConfigURL" of the Internet settings fits 128 bytes
// and is not empty.
BOOL hasAutoConfigURL();

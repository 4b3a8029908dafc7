// The server connection: every HTTP request of the client, the update program
// and the uninstall program goes through NS_Notification::ConnectServer, which
// chooses the intranet or the internet settings, walks the proxy modes and the
// two forms of the server name, and runs one request at a time.
#pragma once

#include "LockOrder.h"
#include <afx.h>

#include "AccBuffer.h"
#include "FlagEvent.h"
#include "MyHttpFile.h"
#include "RegistryKey.h"

class CCriticalSection;

namespace NS_Notification
{
    // One way of reaching the server.
    struct SConnectProfile
    {
        CString m_strServerName;
        CString m_strProxyServer;
        CString m_strProxyBypass;           // always empty
        CString m_strUsername;
        CString m_strUserPassword;
        CString m_strProxyUsername;
        CString m_strProxyPassword;
        WORD m_nServerPort;
        WORD m_nProxyPort;
        BOOL m_fUseProxy;
        DWORD m_dwFlags;                    // 0x80000000: reload from the server
        DWORD m_dwRetries;
        DWORD m_dwConnectTimeout;
        DWORD m_dwControlSendTimeout;
        DWORD m_dwControlReceiveTimeout;
        DWORD m_dwDataSendTimeout;
        DWORD m_dwDataReceiveTimeout;
        DWORD m_dwProxyAuthenticationRetryCount;

        SConnectProfile();
        // The product key's server and proxy.
        void LoadIntranet();
        // The "Internet Settings" subkey.
        void LoadInternet();
        // FALSE when not wanted, when the name is empty or an address; otherwise
        // the name's first dot-separated piece.
        BOOL GetComputerName(BOOL fWanted, CString& strOut) const;
    };

    // A server that one request goes to in place of its profile's; the profile's proxy and
    // logins stay.
    struct SServerAddress
    {
        CString m_strServer;
        WORD m_nPort;
    };

    struct SConnectSettings
    {
        SConnectProfile m_intranet;
        SConnectProfile m_internet;
        // Registered by SetConnectCallbacks for internet requests.
        PFN_HTTP_STATUS_CALLBACK m_pfStatus;
        PFN_HTTP_CONTENT_LENGTH_CALLBACK m_pfContentLength;
        PFN_HTTP_CANCEL_CALLBACK m_pfCancel;
        LPVOID m_pvContext;

        SConnectSettings();
        SConnectProfile& Profile(BOOL fIntranet) { return fIntranet ? m_intranet : m_internet; }
        // With a proxy: proxy server and port given; else server name and port given.
        BOOL IsConnectable(BOOL fIntranet);
    };

    // The process's one settings object, loaded on first use.
    SConnectSettings& GetConnectSettings();

    enum EProxyMode { PROXY_PROFILE = 0, PROXY_NONE = 1, PROXY_BROWSER = 2 };

    extern CCriticalSection g_connectServerLock;
    extern CFlagEvent g_eventCancelConnect;     // TRUE cancels transfers in progress
    extern BOOL g_fIntranetConnected;           // the server answered last time

    // Sends one request (object: CGI path and query) and puts the reply body
    // into the buffer; never throws. pTimeouts NULL: the profile's time-outs.
    // pstrError receives the error text of the last failed attempt.
    BOOL ConnectServer(CAccBuffer& reply, const CString& strObject,
                       const NS_RegistryKey::STimeout* pTimeouts,
                       PFN_HTTP_STATUS_CALLBACK pfStatus,
                       PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                       PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext, BOOL fIntranet,
                       CString* pstrError, const SServerAddress* pServer = NULL);

    // One attempt; *pfContinue becomes FALSE when trying on is useless.
    BOOL ConnectServer_Try(CAccBuffer& reply, const CString& strObject,
                           const NS_RegistryKey::STimeout* pTimeouts,
                           PFN_HTTP_STATUS_CALLBACK pfStatus,
                           PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                           PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext, BOOL fIntranet,
                           int nProxyMode, BOOL fUseComputerName, BOOL* pfContinue,
                           CString* pstrError, const SServerAddress* pServer = NULL);

    void SetConnectCallbacks(PFN_HTTP_STATUS_CALLBACK pfStatus,
                             PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                             PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext);
    void AllowConnect(BOOL fAllow);
    BOOL ConnectCancelCallback(LPVOID pvContext);
    BOOL IsCanceled(BOOL fIntranet);
    BOOL IsIntranetConnectable();
    void UpdateConnectionStatus(BOOL fConnected);
    // "(%d) %s": the status and its resource string (empty when it has none).
    void GetInternetStatusText(int nStatus, CString& strOut);
}

namespace NS_Configuration
{
    // nDefault for an empty reply, else atoi of its first two bytes at most.
    int GetIniReturnCode(CAccBuffer& reply, int nDefault);
}

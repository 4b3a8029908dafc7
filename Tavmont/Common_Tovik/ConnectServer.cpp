#include "ConnectServer.h"

#include "LogTracker.h"
#include "StringUtils.h"
#include "SystemError.h"

#include <afxinet.h>
#include <afxmt.h>

#include <string>
#include <vector>

#include "resource_ids.h"

namespace
{
const DWORD FLAG_RELOAD = 0x80000000;
const int ERROR_TEXT_SIZE = 260;

// WinInet errors after which no other attempt can succeed.
const DWORD s_adwFinalErrors[] = { 12001, 12002, 12005, 12007, 12023, 12028, 12029 };

const struct
{
    int nStatus;
    UINT nStringId;
} s_statusTexts[] = {
    { 0, IDS_HTTP_CANCELLED }, { 301, IDS_HTTP_301 }, { 305, IDS_HTTP_305 }, { 400, IDS_HTTP_400 },
    { 401, IDS_HTTP_401 }, { 402, IDS_HTTP_402 }, { 403, IDS_HTTP_403 }, { 404, IDS_HTTP_404 },
    { 405, IDS_HTTP_405 }, { 406, IDS_HTTP_406 }, { 407, IDS_HTTP_407 }, { 408, IDS_HTTP_408 },
    { 409, IDS_HTTP_409 }, { 410, IDS_HTTP_410 }, { 411, IDS_HTTP_411 }, { 412, IDS_HTTP_412 },
    { 413, IDS_HTTP_413 }, { 414, IDS_HTTP_414 }, { 415, IDS_HTTP_415 }, { 500, IDS_HTTP_500 },
    { 501, IDS_HTTP_501 }, { 502, IDS_HTTP_502 }, { 503, IDS_HTTP_503 }, { 504, IDS_HTTP_504 },
    { 505, IDS_HTTP_505 },
};

LPCSTR TextOrNull(const CString& str, BOOL fUse)
{
    return fUse ? (LPCSTR)str : NULL;
}

BOOL IsFinalInternetError(DWORD dwError)
{
    for (size_t i = 0; i < sizeof(s_adwFinalErrors) / sizeof(s_adwFinalErrors[0]); ++i)
        if (s_adwFinalErrors[i] == dwError)
            return TRUE;
    return FALSE;
}

CString ExceptionMessage(CException* e)
{
    char szMessage[ERROR_TEXT_SIZE + 1] = "";
    e->GetErrorMessage(szMessage, sizeof(szMessage));
    return szMessage;
}
}

namespace NS_Notification
{
CCriticalSection g_connectServerLock;
CFlagEvent g_eventCancelConnect(FALSE);
BOOL g_fIntranetConnected = TRUE;

// ---- profiles ----

SConnectProfile::SConnectProfile()
    : m_nServerPort(0), m_nProxyPort(0), m_fUseProxy(FALSE), m_dwFlags(FLAG_RELOAD), m_dwRetries(0),
      m_dwConnectTimeout(300000), m_dwControlSendTimeout(180000), m_dwControlReceiveTimeout(180000),
      m_dwDataSendTimeout(180000), m_dwDataReceiveTimeout(180000), m_dwProxyAuthenticationRetryCount(0)
{
}

void SConnectProfile::LoadIntranet()
{
    m_strServerName = NS_RegistryKey::GetServer(FALSE);
    m_nServerPort = (WORD)NS_RegistryKey::GetServerPort();
    m_strProxyServer = NS_RegistryKey::GetProxyServer();
    m_nProxyPort = (WORD)NS_RegistryKey::GetProxyPort();
    m_strProxyUsername = NS_RegistryKey::GetProxyLogin();
    m_strProxyPassword = NS_RegistryKey::GetProxyPassword();
    m_strProxyBypass.Empty();
    // The intranet server is authenticated with the proxy credentials.
    m_strUsername = m_strProxyUsername;
    m_strUserPassword = m_strProxyPassword;
    m_fUseProxy = NS_RegistryKey::GetUseProxy();
    if (!m_fUseProxy)
    {
        m_strProxyUsername.Empty();
        m_strProxyPassword.Empty();
    }
    m_dwFlags = FLAG_RELOAD;
    m_dwRetries = 0;
    m_dwConnectTimeout = 300000;
    m_dwControlSendTimeout = m_dwControlReceiveTimeout = 180000;
    m_dwDataSendTimeout = m_dwDataReceiveTimeout = 180000;
    m_dwProxyAuthenticationRetryCount = 0;
}

void SConnectProfile::LoadInternet()
{
    m_strServerName = NS_RegistryKey::GetInternetServer();
    m_strProxyServer = NS_RegistryKey::GetInternetProxyServer();
    m_strUsername = NS_RegistryKey::GetInternetUserName();
    m_strUserPassword = NS_RegistryKey::GetInternetPassword();
    m_strProxyUsername = NS_RegistryKey::GetInternetProxyLogin();
    m_strProxyPassword = NS_RegistryKey::GetInternetProxyPassword();
    m_nServerPort = (WORD)NS_RegistryKey::GetInternetServerPort();
    m_nProxyPort = (WORD)NS_RegistryKey::GetInternetProxyPort();
    m_fUseProxy = NS_RegistryKey::GetInternetUseProxy();
    m_strProxyBypass.Empty();
    if (!m_fUseProxy)
    {
        m_strProxyUsername.Empty();
        m_strProxyPassword.Empty();
    }
    if (NS_RegistryKey::GetInternetUseAnonymous())
    {
        m_strUsername.Empty();
        m_strUserPassword.Empty();
    }
    m_dwFlags = FLAG_RELOAD;
    m_dwRetries = 3;
    m_dwConnectTimeout = 1800000;
    m_dwControlSendTimeout = m_dwControlReceiveTimeout = 300000;
    m_dwDataSendTimeout = m_dwDataReceiveTimeout = 300000;
    m_dwProxyAuthenticationRetryCount = 1;
}

BOOL SConnectProfile::GetComputerName(BOOL fWanted, CString& strOut) const
{
    if (!fWanted || m_strServerName.IsEmpty() ||
        (m_strServerName[0] >= '0' && m_strServerName[0] <= '9'))
        return FALSE;
    CStringArray pieces;
    splitString('.', m_strServerName, pieces, SCharAdapter());
    if (pieces.GetSize() == 0)
        return FALSE;
    strOut = pieces[0];
    return TRUE;
}

SConnectSettings::SConnectSettings()
    : m_pfStatus(NULL), m_pfContentLength(NULL), m_pfCancel(NULL), m_pvContext(NULL)
{
    m_intranet.LoadIntranet();
    m_internet.LoadIntranet();
}

BOOL SConnectSettings::IsConnectable(BOOL fIntranet)
{
    const SConnectProfile& profile = Profile(fIntranet);
    if (profile.m_fUseProxy)
        return !profile.m_strProxyServer.IsEmpty() && profile.m_nProxyPort != 0;
    return !profile.m_strServerName.IsEmpty() && profile.m_nServerPort != 0;
}

SConnectSettings& GetConnectSettings()
{
    static SConnectSettings s_settings;
    return s_settings;
}

// ---- switches ----

void SetConnectCallbacks(PFN_HTTP_STATUS_CALLBACK pfStatus,
                         PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                         PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext)
{
    SConnectSettings& settings = GetConnectSettings();
    settings.m_pfStatus = pfStatus;
    settings.m_pfContentLength = pfContentLength;
    settings.m_pfCancel = pfCancel;
    settings.m_pvContext = pvContext;
}

void AllowConnect(BOOL fAllow)
{
    g_eventCancelConnect.SetSignaled(!fAllow);
}

BOOL ConnectCancelCallback(LPVOID)
{
    BOOL fCancel = g_eventCancelConnect.IsSignaled();
    VGLTRACE(3, "fCancel(%d) = g_eventCancelConnect.IsSignaled()", fCancel);
    return fCancel;
}

BOOL IsCanceled(BOOL fIntranet)
{
    if (fIntranet)
        return FALSE;
    SConnectSettings& settings = GetConnectSettings();
    return settings.m_pfCancel != NULL && settings.m_pfCancel(settings.m_pvContext);
}

BOOL IsIntranetConnectable()
{
    return g_fIntranetConnected;
}

void UpdateConnectionStatus(BOOL fConnected)
{
    g_fIntranetConnected = fConnected;
}

void GetInternetStatusText(int nStatus, CString& strOut)
{
    CString strMessage;
    for (size_t i = 0; i < sizeof(s_statusTexts) / sizeof(s_statusTexts[0]); ++i)
    {
        if (s_statusTexts[i].nStatus == nStatus)
        {
            if (!strMessage.LoadString(s_statusTexts[i].nStringId))
                strMessage.Empty();
            break;
        }
    }
    strOut.Format("(%d) %s", nStatus, (LPCSTR)strMessage);
}

// ---- requests ----

BOOL ConnectServer_Try(CAccBuffer& reply, const CString& strObject,
                       const NS_RegistryKey::STimeout* pTimeouts, PFN_HTTP_STATUS_CALLBACK pfStatus,
                       PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                       PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext, BOOL fIntranet,
                       int nProxyMode, BOOL fUseComputerName, BOOL* pfContinue, CString* pstrError,
                       const SServerAddress* pServer)
{
    switch (nProxyMode)
    {
    case PROXY_PROFILE: VGLTRACE(3, "    Try normal proxy setting"); break;
    case PROXY_NONE: VGLTRACE(3, "    Try no proxy setting"); break;
    case PROXY_BROWSER: VGLTRACE(3, "    Try default browser proxy setting"); break;
    default: VGLTRACE(3, "    Try unknown setting(%d)", nProxyMode); break;
    }
    BOOL fSuccess = FALSE;
    SConnectSettings& settings = GetConnectSettings();
    SConnectProfile& profile = settings.Profile(fIntranet);
    if (fIntranet)
        profile.LoadIntranet();
    else
        profile.LoadInternet();
    if (pServer != NULL)
    {
        VGLTRACE(3, "    Server given: %s:%u", (LPCSTR)pServer->m_strServer, (unsigned)pServer->m_nPort);
        profile.m_strServerName = pServer->m_strServer;
        profile.m_nServerPort = pServer->m_nPort;
    }
    if (settings.IsConnectable(fIntranet))
    {
        if (!fIntranet)
        {
            pfStatus = settings.m_pfStatus;
            pfContentLength = settings.m_pfContentLength;
            pfCancel = settings.m_pfCancel;
            pvContext = settings.m_pvContext;
        }
        CString strComputerName;
        BOOL fComputerName = fUseComputerName && profile.GetComputerName(TRUE, strComputerName);
        if (fComputerName)
            VGLTRACE(3, "    Use Computer Name(%d)", fComputerName);

        SHttpRequestOption option;
        option.m_pszServerName = fComputerName ? (LPCSTR)strComputerName : (LPCSTR)profile.m_strServerName;
        option.m_pszObjectName = strObject;
        option.m_pszProxyServer = TextOrNull(profile.m_strProxyServer, profile.m_fUseProxy);
        option.m_pszProxyBypass = TextOrNull(profile.m_strProxyBypass, profile.m_fUseProxy);
        option.m_pszProxyUsername = profile.m_strProxyUsername;
        option.m_pszProxyPassword = profile.m_strProxyPassword;
        option.m_pszUsername = profile.m_strUsername;
        option.m_pszUserPassword = profile.m_strUserPassword;
        option.m_nServerPort = profile.m_nServerPort;
        option.m_nProxyPort = profile.m_nProxyPort;
        option.m_dwFlags = profile.m_dwFlags;
        option.m_dwRetries = profile.m_dwRetries;
        option.m_dwProxyAuthenticationRetryCount = profile.m_dwProxyAuthenticationRetryCount;
        if (pTimeouts != NULL)
        {
            option.m_dwConnectTimeout = pTimeouts->dwConnect;
            option.m_dwControlSendTimeout = pTimeouts->dwControlSend;
            option.m_dwControlReceiveTimeout = pTimeouts->dwControlReceive;
            option.m_dwDataSendTimeout = pTimeouts->dwDataSend;
            option.m_dwDataReceiveTimeout = pTimeouts->dwDataReceive;
        }
        else
        {
            option.m_dwConnectTimeout = profile.m_dwConnectTimeout;
            option.m_dwControlSendTimeout = profile.m_dwControlSendTimeout;
            option.m_dwControlReceiveTimeout = profile.m_dwControlReceiveTimeout;
            option.m_dwDataSendTimeout = profile.m_dwDataSendTimeout;
            option.m_dwDataReceiveTimeout = profile.m_dwDataReceiveTimeout;
        }
        option.m_pfInternetStatusCallback = pfStatus;
        option.m_pfContentLengthCallback = pfContentLength;
        option.m_pfConnectCancelCallback = pfCancel;
        option.m_pvThis = pvContext;
        if (nProxyMode == PROXY_NONE)
        {
            option.m_fOverrideAccessType = TRUE;
            option.m_dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
        }
        else if (nProxyMode == PROXY_BROWSER)
        {
            option.m_fOverrideAccessType = TRUE;
            option.m_dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
        }

        VGLTRACE(3, "    option.m_pszServerName    = %s", option.m_pszServerName);
        VGLTRACE(3, "    option.m_pszObjectName    = %s", option.m_pszObjectName);
        VGLTRACE(3, "    option.m_pszProxyServer   = %s", option.m_pszProxyServer ? option.m_pszProxyServer : "(null)");
        VGLTRACE(3, "    option.m_pszProxyUsername = %s", option.m_pszProxyUsername);
        VGLTRACE(3, "    option.m_pszUsername      = %s", option.m_pszUsername);
        VGLTRACE(3, "    option.m_pszUserPassword  = ???");
        VGLTRACE(3, "    option.m_nServerPort      = %d", option.m_nServerPort);
        VGLTRACE(3, "    option.m_nProxyPort       = %d", option.m_nProxyPort);
        VGLTRACE(3, "    option.m_fOverrideAccessType = %d, m_dwAccessType = %lu",
                 option.m_fOverrideAccessType, option.m_dwAccessType);
        VGLTRACE(3, "    option.m_dwConnectTimeout = %lu", option.m_dwConnectTimeout);

        CString strError;
        try
        {
            httpConnect(option, reply);
            fSuccess = TRUE;
        }
        catch (CInternetStatusException& e)
        {
            GetInternetStatusText(e.GetStatus(), strError);
            VGLTRACE(10, "    CInternetStatusException (%s) in NS_Notification::ConnectServer(...)", (LPCSTR)strError);
        }
        catch (CInternetException* e)
        {
            strError.Format("(0x%X) %s", (unsigned)e->m_dwError, (LPCSTR)ExceptionMessage(e));
            if (strError.GetLength() > ERROR_TEXT_SIZE)
                strError = strError.Left(ERROR_TEXT_SIZE);
            VGLTRACE(10, "    CInternetException(%s) in NS_Notification::ConnectServer(...)", (LPCSTR)strError);
            if (IsFinalInternetError(e->m_dwError))
                *pfContinue = FALSE;
            e->Delete();
        }
        catch (CException* e)
        {
            DWORD dwLastError = GetLastError();
            strError.Format("(0x%X) %s", (unsigned)dwLastError, (LPCSTR)ExceptionMessage(e));
            VGLTRACE(10, "    CException(%s) in NS_Notification::ConnectServer(...)", (LPCSTR)strError);
            e->Delete();
        }
        catch (CSystemError& e)
        {
            strError = e.ToString();
            VGLTRACE(10, "    CSystemError(%s) in NS_Notification::ConnectServer(...)", (LPCSTR)strError);
            *pfContinue = FALSE;
        }
        catch (...)
        {
            if (!strError.LoadString(IDS_UNKNOWN_ERROR))
                strError = "Unknown";
            VGLTRACE(10, "    Exceptin(...) in NS_Notification::ConnectServer(...)");
        }
        if (!fSuccess)
            *pstrError = strError;
    }
    VGLTRACE(2, "<-- NS_Notification::ConnectServer_Try(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL ConnectServer(CAccBuffer& reply, const CString& strObject,
                   const NS_RegistryKey::STimeout* pTimeouts, PFN_HTTP_STATUS_CALLBACK pfStatus,
                   PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength,
                   PFN_HTTP_CANCEL_CALLBACK pfCancel, LPVOID pvContext, BOOL fIntranet,
                   CString* pstrError, const SServerAddress* pServer)
{
    VGLTRACE(1, "-->NS_Notification::ConnectServer(object = %s, fIntranet = %d)", (LPCSTR)strObject,
             fIntranet);
    CString strLocalError;
    if (pstrError == NULL)
        pstrError = &strLocalError;
    BOOL fSuccess = FALSE;
    CSingleLock lock(&g_connectServerLock, TRUE);
    try
    {
        BOOL fContinue = TRUE;
        if (!fIntranet)
        {
            VGLTRACE(3, "[ConnectServer] fIntranet=FALSE");
            fSuccess = ConnectServer_Try(reply, strObject, pTimeouts, pfStatus, pfContentLength,
                                         pfCancel, pvContext, FALSE, PROXY_PROFILE, FALSE, &fContinue,
                                         pstrError, pServer);
        }
        else
        {
            VGLTRACE(3, "[ConnectServer] fIntranet=TRUE");
            SConnectSettings& settings = GetConnectSettings();
            // The name is judged on the settings of this request, not the last one's.
            settings.m_intranet.LoadIntranet();
            CString strComputerName;
            BOOL fHasComputerName = settings.m_intranet.GetComputerName(TRUE, strComputerName);
            if (settings.IsConnectable(TRUE))
            {
                BOOL fFqdnFirst = NS_RegistryKey::IsFQDNFirst();
                BOOL fUseComputerName = fHasComputerName && !fFqdnFirst;
                for (int nMode = PROXY_PROFILE; nMode <= PROXY_BROWSER && !fSuccess && fContinue; ++nMode)
                {
                    if (pfCancel != NULL && pfCancel(pvContext))
                        continue;
                    fSuccess = ConnectServer_Try(reply, strObject, pTimeouts, pfStatus, pfContentLength,
                                                 pfCancel, pvContext, TRUE, nMode, fUseComputerName,
                                                 &fContinue, pstrError, pServer);
                }
                BOOL fCancelled = pfCancel != NULL && pfCancel(pvContext);
                if (!fCancelled && !fSuccess && fHasComputerName && fContinue)
                {
                    fUseComputerName = fFqdnFirst;
                    for (int nMode = PROXY_PROFILE; nMode <= PROXY_BROWSER && !fSuccess && fContinue; ++nMode)
                        fSuccess = ConnectServer_Try(reply, strObject, pTimeouts, pfStatus,
                                                     pfContentLength, pfCancel, pvContext, TRUE, nMode,
                                                     fUseComputerName, &fContinue, pstrError, pServer);
                }
            }
        }
    }
    catch (...)
    {
        // Never throws: a failure here is a failed request.
        fSuccess = FALSE;
    }
    VGLTRACE(2, "<-- NS_Notification::ConnectServer(...), fSuccess = %d", fSuccess);
    return fSuccess;
}
}

namespace NS_Configuration
{
int GetIniReturnCode(CAccBuffer& reply, int nDefault)
{
    return reply.GetReturnCode(nDefault, 2);
}
}

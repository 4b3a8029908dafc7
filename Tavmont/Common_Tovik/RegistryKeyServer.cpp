// NS_RegistryKey: the server's address and reachability, this computer's
// address changes, the request time-outs and the client GUID.
#include "RegistryKey.h"

#include "HostLookup.h"
#include "LogTracker.h"
#include "RegistryKeyAccess.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "WinsockDlg.h"

#include <objbase.h>
#include <stdlib.h>
#include <string.h>

using namespace NS_RegistryKeyAccess;

namespace
{
const int ADDRESS_SIZE = 128;

CWinsockDlg* g_pWinsockDlg = NULL;

// Connect time-outs by kind: intranet, Internet.
const DWORD s_adwConnectTimeout[NS_RegistryKey::STimeout::KIND_COUNT][2] = {
    { 720000, 1380000 },    // Pattern
    { 360000, 720000 },     // Engine
    { 4020000, 7980000 },   // Program
    { 1500000, 3000000 },   // HotFix
    { 300000, 300000 },     // AlertMessage
    { 300000, 300000 },     // cgiRqIni
    { 300000, 300000 },     // cgiRqUpd
    { 300000, 300000 },     // cgiRqHotFix
    { 300000, 300000 },     // cgiRqCfg
    { 300000, 300000 },     // StatusLog
    { 300000, 300000 },     // VirusLog
    { 300000, 300000 },     // UnsentVirusLog
    { 300000, 300000 },     // LocalCfgLog
};
const DWORD INTRANET_TRANSFER_TIMEOUT = 180000;
const DWORD INTERNET_TRANSFER_TIMEOUT = 300000;

LPCSTR ProductKey()
{
    return NS_RegistryKey::GetCurrentVersionKeyName();
}

// The first address of a host name, through the application's look-up window.
BOOL resolveHost(LPCSTR pszHost, char* pszAddress, int cbAddress)
{
    pszAddress[0] = '\0';
    if (g_pWinsockDlg != NULL)
        return g_pWinsockDlg->AsyncGetHostByName(pszHost, pszAddress, cbAddress);
    char** ppList = NULL;
    if (!getHostIPList(pszHost, &ppList))
        return FALSE;
    BOOL fFound = ppList[0] != NULL;
    if (fFound)
        lstrcpynA(pszAddress, ppList[0], cbAddress);
    freeHostIPList(ppList);
    return fFound;
}

BOOL valueMissing(LPCSTR pszName)
{
    CRegKey key;
    return openKey(key, ProductKey(), KEY_READ) == ERROR_SUCCESS && !hasValue(key, pszName);
}

BOOL storeText(LPCSTR pszName, LPCSTR pszText)
{
    CRegKey key;
    return openKey(key, ProductKey(), KEY_WRITE) == ERROR_SUCCESS && writeString(key, pszName, pszText);
}

// A text that is empty or begins with a byte not above '9' cannot be a host name.
BOOL isNotHostName(const CString& str)
{
    return str.IsEmpty() || (signed char)((LPCSTR)str)[0] <= '9';
}

BOOL inList(char** ppList, LPCSTR pszText)
{
    for (char** pp = ppList; pp != NULL && *pp != NULL; ++pp)
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, *pp, -1, pszText, -1) == CSTR_EQUAL)
            return TRUE;
    return FALSE;
}
}

namespace NS_RegistryKey
{
void SetLookupWindow(::CWinsockDlg* pWinsockDlg)
{
    g_pWinsockDlg = pWinsockDlg;
}

CString GetServer(BOOL fComputerNameOnly)
{
    CString strServer = getString(ProductKey(), GetServerValueName());
    CString strComputerName;
    if (fComputerNameOnly && !strServer.IsEmpty() &&
        getComputerNameInServerName(strServer, strComputerName))
    {
        VGLTRACE(3, "Get computer name(%s) from server name(%s)", (LPCSTR)strComputerName,
                 (LPCSTR)strServer);
        return strComputerName;
    }
    return strServer;
}

void SetServerSettings(const char* pszServer, DWORD dwServerPort, const char* pszProxyServer,
                       DWORD dwProxyPort, BOOL fUseProxy, BOOL fServerOnly)
{
    {
        CRegKey key;
        if (openKey(key, ProductKey(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
            return;
        if (pszServer != NULL && pszServer[0] != '\0')
        {
            writeString(key, GetServerValueName(), pszServer);
            if (dwServerPort != 0)
                writeDword(key, GetServerPortValueName(), dwServerPort);
            if (!fServerOnly)
            {
                if (pszProxyServer != NULL && pszProxyServer[0] != '\0')
                    writeString(key, GetProxyServerValueName(), pszProxyServer);
                if (dwProxyPort != 0)
                    writeDword(key, GetProxyPortValueName(), dwProxyPort);
                writeDword(key, GetUseProxyValueName(), fUseProxy);
            }
        }
    }
    if (fServerOnly || !fUseProxy)
        UpdateServerIP();
    else
        UpdateProxyServerIP();
}

BOOL PingServer(int iPingTryCount, int iPingTimeout, BOOL fUseComputerName)
{
    VGLTRACE(1, "--> NS_RegistryKey::PingServer(int iPingTryCount = %d, int iPingTimeout= %d, BOOL fUseComputerName = %d)",
             iPingTryCount, iPingTimeout, fUseComputerName);
    BOOL fDetected = FALSE;
    try
    {
        if (GetUseProxy())
        {
            if (valueMissing(GetProxyServerIPValueName()))
                UpdateProxyServerIP();
            CString strTarget = GetProxyServerIP();
            BOOL fStoredAddress = !strTarget.IsEmpty();
            if (!fStoredAddress)
                strTarget = GetProxyServer();
            VGLTRACE(3, "Ping Proxy Server = %s", (LPCSTR)strTarget);
            fDetected = pingHost(strTarget);
            if (fDetected)
                UpdateProxyServerIP();
            else if (fStoredAddress)
            {
                VGLTRACE(3, "Ping ProxyServer = %s fail, try server name again", (LPCSTR)strTarget);
                strTarget = GetProxyServer();
                VGLTRACE(3, "Ping ProxyServer = %s", (LPCSTR)strTarget);
                fDetected = pingHost(strTarget);
                if (fDetected)
                    UpdateProxyServerIP();
                else
                    VGLTRACE(3, "Ping ProxyServer = %s fail", (LPCSTR)strTarget);
            }
        }
        else
        {
            if (valueMissing(GetServerIPValueName()))
                UpdateServerIP();
            CString strTarget = GetServerIP();
            BOOL fStoredAddress = !strTarget.IsEmpty();
            if (!fStoredAddress)
                strTarget = GetServer(FALSE);
            VGLTRACE(3, "Ping Server = %s", (LPCSTR)strTarget);
            fDetected = pingHost(strTarget);
            if (fDetected)
                UpdateServerIP();
            else if (fStoredAddress)
            {
                VGLTRACE(3, "Ping Server = %s fail, try server name again", (LPCSTR)strTarget);
                CString strName = GetServer(!g_fFQDNFirst);
                VGLTRACE(3, "Ping Server = %s, use FQDN(%d)", (LPCSTR)strName, g_fFQDNFirst);
                char szAddress[ADDRESS_SIZE];
                if (resolveHost(strName, szAddress, sizeof(szAddress)))
                {
                    VGLTRACE(3, "Ping %s ", szAddress);
                    fDetected = pingHost(szAddress);
                }
                else
                    VGLTRACE(3, "AsyncGetHostByName %s Failed", (LPCSTR)strName);
                if (fDetected)
                    UpdateServerIP();
                else
                    VGLTRACE(3, "Ping Server = %s fail", (LPCSTR)strName);
            }
        }
    }
    catch (CException* e)
    {
        e->Delete();
        VGLTRACE(10, "G.P.F in NS_RegistryKey::PingServer(int iPingTryCount = %d, int iPingTimeout = %d)",
                 iPingTryCount, iPingTimeout);
        fDetected = TRUE;
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F in NS_RegistryKey::PingServer(int iPingTryCount = %d, int iPingTimeout = %d)",
                 iPingTryCount, iPingTimeout);
        fDetected = TRUE;
    }
    VGLTRACE(2, "<-- NS_RegistryKey::PingServer(int iPingTryCount = %d, int iPingTimeout= %d, BOOL fUseComputerName = %d), fDetected = %d",
             iPingTryCount, iPingTimeout, fUseComputerName, fDetected);
    return fDetected;
}

BOOL UpdateIP()
{
    VGLTRACE(1, "--> NS_RegistryKey::UpdateIP()");
    BOOL fResult = GetUseProxy() ? UpdateProxyServerIP() : UpdateServerIP();
    VGLTRACE(2, "<-- NS_RegistryKey::UpdateIP()");
    return fResult;
}

BOOL UpdateServerIP()
{
    VGLTRACE(1, "--> NS_RegistryKey::UpdateServerIP()");
    BOOL fResult = FALSE;
    char szAddress[ADDRESS_SIZE] = "";
    try
    {
        CString strServer = GetServer(FALSE);
        if (isNotHostName(strServer))
        {
            storeText(GetServerIPValueName(), "");
            fResult = TRUE;
        }
        else
        {
            BOOL fResolved = resolveHost(strServer, szAddress, sizeof(szAddress));
            VGLTRACE(3, "fResolvedIP(%d) = AsyncGetHostByName(strServer = %s, pszServerIP = %s, sizeof(pszServerIP))",
                     fResolved, (LPCSTR)strServer, szAddress);
            if (!fResolved)
            {
                CString strComputerName;
                BOOL fComputerName = getComputerNameInServerName(strServer, strComputerName);
                VGLTRACE(3, "fGetComputerName(%d) = ::getComputerNameInServerName(strServer = %s, strComputerName = %s)",
                         fComputerName, (LPCSTR)strServer, (LPCSTR)strComputerName);
                if (fComputerName)
                {
                    fResolved = resolveHost(strComputerName, szAddress, sizeof(szAddress));
                    VGLTRACE(3, "fResolvedIP(%d) = AsyncGetHostByName(strComputerName = %s, pszServerIP = %s, sizeof(pszServerIP))",
                             fResolved, (LPCSTR)strComputerName, szAddress);
                }
            }
            if (fResolved)
            {
                storeText(GetServerIPValueName(), szAddress);
                fResult = TRUE;
            }
        }
    }
    catch (CException* e)
    {
        e->Delete();
        VGLTRACE(10, "G.P.F in NS_RegistryKey::UpdateServerIP(ServerIP = %s)", szAddress);
        fResult = FALSE;
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F in NS_RegistryKey::UpdateServerIP(ServerIP = %s)", szAddress);
        fResult = FALSE;
    }
    VGLTRACE(2, "<-- NS_RegistryKey::UpdateServerIP()");
    return fResult;
}

BOOL UpdateProxyServerIP()
{
    VGLTRACE(1, "--> NS_RegistryKey::UpdateProxyServerIP()");
    BOOL fResult = FALSE;
    char szAddress[ADDRESS_SIZE] = "";
    try
    {
        CString strProxyServer = GetProxyServer();
        if (isNotHostName(strProxyServer))
        {
            storeText(GetProxyServerIPValueName(), "");
            fResult = TRUE;
        }
        else
        {
            BOOL fResolved = resolveHost(strProxyServer, szAddress, sizeof(szAddress));
            VGLTRACE(3, "fResolvedIP(%d) = pWinsockDlg->AsyncGetHostByName(strProxyServer = %s, strProxyServer, pszProxyServerIP = %s, sizeof(pszProxyServerIP))",
                     fResolved, (LPCSTR)strProxyServer, szAddress);
            if (!fResolved)
            {
                CString strComputerName;
                BOOL fComputerName = getComputerNameInServerName(strProxyServer, strComputerName);
                VGLTRACE(3, "fGetComputerName(%d) = ::getComputerNameInServerName(strProxyServer = %s, strComputerName = %s)",
                         fComputerName, (LPCSTR)strProxyServer, (LPCSTR)strComputerName);
                if (fComputerName)
                {
                    fResolved = resolveHost(strComputerName, szAddress, sizeof(szAddress));
                    VGLTRACE(3, "fResolvedIP(%d) = pWinsockDlg->AsyncGetHostByName(strComputerName = %s, pszProxyServerIP = %s, sizeof(pszProxyServerIP))",
                             fResolved, (LPCSTR)strComputerName, szAddress);
                }
            }
            if (fResolved)
            {
                storeText(GetProxyServerIPValueName(), szAddress);
                fResult = TRUE;
            }
        }
    }
    catch (CException* e)
    {
        e->Delete();
        VGLTRACE(10, "G.P.F in NS_RegistryKey::UpdateProxyServerIP(ProxyServerIP = %s)", szAddress);
        fResult = FALSE;
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F in NS_RegistryKey::UpdateProxyServerIP(ProxyServerIP = %s)", szAddress);
        fResult = FALSE;
    }
    VGLTRACE(2, "<-- NS_RegistryKey::UpdateProxyServerIP()");
    return fResult;
}

BOOL IsIPChanged()
{
    char** ppNew = NULL;
    if (!getHostIPList(NULL, &ppNew))
        return FALSE;
    int nNew = 0;
    while (ppNew[nNew] != NULL)
        ++nNew;
    BOOL fChanged = nNew != g_nLocalIPCount;
    for (int i = 0; !fChanged && i < nNew; ++i)
        fChanged = !inList(g_ppszLocalIPList, ppNew[i]);
    if (!fChanged)
    {
        freeHostIPList(ppNew);
        return FALSE;
    }
    Destruct();
    g_ppszLocalIPList = ppNew;
    g_nLocalIPCount = nNew;
    return TRUE;
}

STimeout* GetTimeout(STimeout* pTimeout, UINT nKind, BOOL fIntranet)
{
    if (nKind >= STimeout::KIND_COUNT)
        nKind = STimeout::Pattern;
    pTimeout->dwConnect = s_adwConnectTimeout[nKind][fIntranet ? 0 : 1];
    DWORD dwTransfer = fIntranet ? INTRANET_TRANSFER_TIMEOUT : INTERNET_TRANSFER_TIMEOUT;
    pTimeout->dwControlSend = dwTransfer;
    pTimeout->dwControlReceive = dwTransfer;
    pTimeout->dwDataSend = dwTransfer;
    pTimeout->dwDataReceive = dwTransfer;
    return pTimeout;
}

BOOL CreateNewGUID()
{
    CRegKey key;
    if (openKey(key, ProductKey(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return FALSE;
    GUID guid;
    HRESULT hr = CoCreateGuid(&guid);
    if (FAILED(hr))
    {
        CSystemError error((DWORD)hr, __FILE__, __LINE__);
        VGLTRACE(12, "::CoCreateGuid() failed, %s", (LPCSTR)error.ToString());
        return FALSE;
    }
    CString strGuid = formatGuid(guid);
    writeString(key, "GUID", strGuid);
    VGLTRACE(3, "   ::CoCreateGuid(%s)", (LPCSTR)strGuid);
    RegFlushKey(key);
    return TRUE;
}
}

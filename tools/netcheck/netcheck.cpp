// netcheck: the client's server connection and address checks from the command line.
//   netcheck [settings...] COMMAND [ARGS]
// Settings, applied first, in order:
//   -set NAME=TEXT        a text value of the product key
//   -setdw NAME=NUMBER    a DWORD value of the product key
//   -del NAME             remove a value of the product key
//   -browserproxy HOST:PORT | off   the browser's proxy (the current user's settings)
//   -fqdnfirst 0|1        try the full server name first
// Commands:
//   connect OBJECT [-internet] [-timeout MS]   one request through ConnectServer
//        prints "OK <return code> <bytes>" or "FAIL <error text>"
//   ping                  PingServer (2, 2000, FALSE): "PING <0|1> ServerIP=<text>"
//   updateip              UpdateIP: "UPDATEIP <0|1> ServerIP=<text> ProxyServerIP=<text>"
//   newguid               CreateNewGUID: "GUID <0|1> <text>"
//   guid                  "GUID <text>"
//   upload BACKUP COMPUTER HOST PORT [-proxy HOST:PORT]   the quarantine upload:
//        "UPLOAD <result> <error>"
// Then "ELAPSED <ms>". Exit code 0 on success, 1 on failure, 2 for usage.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ConnectServer.h"
#include "QuarantineUpload.h"
#include "RegistryKey.h"
#include "atlbase.h"

namespace
{
const char BROWSER_SETTINGS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

int Usage()
{
    fprintf(stderr, "usage: netcheck [-set N=T] [-setdw N=D] [-del N] [-browserproxy H:P|off] [-fqdnfirst 0|1]\n"
                    "                connect OBJECT [-internet] [-timeout MS] | ping | updateip | newguid | guid |\n"
                    "                upload BACKUP COMPUTER HOST PORT [-proxy HOST:PORT]\n");
    return 2;
}

bool SplitAssignment(const char* pszArg, std::string& strName, std::string& strValue)
{
    const char* pszEq = strchr(pszArg, '=');
    if (pszEq == NULL)
        return false;
    strName.assign(pszArg, pszEq - pszArg);
    strValue = pszEq + 1;
    return true;
}

bool ProductKey(CRegKey& key)
{
    return key.Create(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName()) == ERROR_SUCCESS;
}

void SetBrowserProxy(const char* pszProxy)
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, BROWSER_SETTINGS) != ERROR_SUCCESS)
        return;
    key.DeleteValue("AutoConfigURL");
    if (strcmp(pszProxy, "off") == 0)
    {
        key.SetValue((DWORD)0, "ProxyEnable");
        key.DeleteValue("ProxyServer");
    }
    else
    {
        key.SetValue((DWORD)1, "ProxyEnable");
        key.SetValue(pszProxy, "ProxyServer");
    }
}

int Connect(int argc, char** argv, int i)
{
    if (i >= argc)
        return Usage();
    CString strObject = argv[i++];
    BOOL fIntranet = TRUE;
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::STimeout* pTimeouts = NULL;
    for (; i < argc; ++i)
    {
        if (strcmp(argv[i], "-internet") == 0)
            fIntranet = FALSE;
        else if (strcmp(argv[i], "-timeout") == 0 && i + 1 < argc)
        {
            DWORD dw = strtoul(argv[++i], NULL, 10);
            timeouts.dwConnect = timeouts.dwControlSend = timeouts.dwControlReceive = dw;
            timeouts.dwDataSend = timeouts.dwDataReceive = dw;
            pTimeouts = &timeouts;
        }
        else
            return Usage();
    }
    CAccBuffer reply;
    CString strError;
    BOOL fSuccess = NS_Notification::ConnectServer(reply, strObject, pTimeouts, NULL, NULL,
                                                   NS_Notification::ConnectCancelCallback, NULL,
                                                   fIntranet, &strError);
    if (fSuccess)
        printf("OK %d %d\n", reply.GetReturnCode(0, 3), reply.GetLength());
    else
        printf("FAIL %s\n", (LPCSTR)strError);
    return fSuccess ? 0 : 1;
}

int Upload(int argc, char** argv, int i)
{
    if (i + 4 > argc)
        return Usage();
    const char* pszBackup = argv[i];
    const char* pszComputer = argv[i + 1];
    const char* pszHost = argv[i + 2];
    DWORD dwPort = strtoul(argv[i + 3], NULL, 10);
    i += 4;
    BOOL fProxy = FALSE;
    std::string strProxyHost;
    DWORD dwProxyPort = 0;
    if (i + 1 < argc && strcmp(argv[i], "-proxy") == 0)
    {
        std::string strProxy = argv[i + 1];
        size_t nColon = strProxy.find(':');
        strProxyHost = strProxy.substr(0, nColon);
        dwProxyPort = nColon == std::string::npos ? 80 : strtoul(strProxy.c_str() + nColon + 1, NULL, 10);
        fProxy = TRUE;
    }
    int nError = 0;
    int nResult = UploadQuarantineFile(pszBackup, pszComputer, pszHost, dwPort,
                                       "/vigilon/cgi/cgiRecvFile.exe", &nError, fProxy,
                                       strProxyHost.c_str(), dwProxyPort, "", "");
    printf("UPLOAD %d %d\n", nResult, nError);
    return nResult == QU_OK ? 0 : 1;
}
}

int main(int argc, char** argv)
{
    DWORD dwStart = GetTickCount();
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i)
    {
        std::string strName, strValue;
        CRegKey key;
        if (i + 1 >= argc)
            return Usage();
        const char* pszArg = argv[++i];
        if (strcmp(argv[i - 1], "-set") == 0 && SplitAssignment(pszArg, strName, strValue) && ProductKey(key))
            key.SetValue(strValue.c_str(), strName.c_str());
        else if (strcmp(argv[i - 1], "-setdw") == 0 && SplitAssignment(pszArg, strName, strValue) &&
                 ProductKey(key))
            key.SetValue((DWORD)strtoul(strValue.c_str(), NULL, 10), strName.c_str());
        else if (strcmp(argv[i - 1], "-del") == 0 && ProductKey(key))
            key.DeleteValue(pszArg);
        else if (strcmp(argv[i - 1], "-browserproxy") == 0)
            SetBrowserProxy(pszArg);
        else if (strcmp(argv[i - 1], "-fqdnfirst") == 0)
            NS_RegistryKey::g_fFQDNFirst = atoi(pszArg) != 0;
        else
            return Usage();
    }
    if (i >= argc)
        return Usage();

    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    CoInitialize(NULL);
    const char* pszCommand = argv[i++];
    int nExit = 0;
    if (strcmp(pszCommand, "connect") == 0)
        nExit = Connect(argc, argv, i);
    else if (strcmp(pszCommand, "upload") == 0)
        nExit = Upload(argc, argv, i);
    else if (strcmp(pszCommand, "ping") == 0)
    {
        BOOL f = NS_RegistryKey::PingServer(2, 2000, FALSE);
        printf("PING %d ServerIP=%s\n", f, (LPCSTR)NS_RegistryKey::GetServerIP());
        nExit = f ? 0 : 1;
    }
    else if (strcmp(pszCommand, "updateip") == 0)
    {
        BOOL f = NS_RegistryKey::UpdateIP();
        printf("UPDATEIP %d ServerIP=%s ProxyServerIP=%s\n", f, (LPCSTR)NS_RegistryKey::GetServerIP(),
               (LPCSTR)NS_RegistryKey::GetProxyServerIP());
        nExit = f ? 0 : 1;
    }
    else if (strcmp(pszCommand, "newguid") == 0)
    {
        BOOL f = NS_RegistryKey::CreateNewGUID();
        printf("GUID %d %s\n", f, (LPCSTR)NS_RegistryKey::GetGUID());
        nExit = f ? 0 : 1;
    }
    else if (strcmp(pszCommand, "guid") == 0)
        printf("GUID %s\n", (LPCSTR)NS_RegistryKey::GetGUID());
    else
        nExit = Usage();
    printf("ELAPSED %lu\n", (unsigned long)(GetTickCount() - dwStart));
    CoUninitialize();
    WSACleanup();
    return nExit;
}

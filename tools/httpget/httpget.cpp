// httpget: one GET through httpConnect, as the client sends it.
//   httpget [options] SERVER PORT OBJECT
//     -proxy HOST:PORT   a proxy of our own
//     -access N          override the access type (0 preconfigured, 1 direct, 3 proxy)
//     -puser U -ppass P  proxy credentials
//     -user U -pass P    server credentials
//     -timeout MS        the five time-outs (and the overall limit)
//     -cancel-after MS   the cancel callback answers TRUE from then on
//     -o FILE            write the reply body there
// Prints one line: "OK <bytes>", "STATUS <status>", "INET <error>", "SYSERR <code>"
// or "OTHER", then "ELAPSED <ms>". Exit code 0 for OK, 1 for a failure, 2 for usage.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MyHttpFile.h"

namespace
{
DWORD g_dwStart;
DWORD g_dwCancelAfter = 0xFFFFFFFF;

BOOL CancelAfter(LPVOID)
{
    return GetTickCount() - g_dwStart >= g_dwCancelAfter;
}

int Usage()
{
    fprintf(stderr, "usage: httpget [-proxy HOST:PORT] [-access N] [-puser U] [-ppass P] [-user U] [-pass P]\n"
                    "               [-timeout MS] [-cancel-after MS] [-o FILE] SERVER PORT OBJECT\n");
    return 2;
}
}

int main(int argc, char** argv)
{
    SHttpRequestOption option;
    CString strProxyHost;
    const char* pszOut = NULL;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i += 2)
    {
        if (i + 1 >= argc)
            return Usage();
        const char* pszName = argv[i];
        const char* pszValue = argv[i + 1];
        if (strcmp(pszName, "-proxy") == 0)
        {
            const char* pszColon = strrchr(pszValue, ':');
            if (pszColon == NULL)
                return Usage();
            strProxyHost = CString(pszValue, (int)(pszColon - pszValue));
            option.m_pszProxyServer = strProxyHost;
            option.m_nProxyPort = (INTERNET_PORT)atoi(pszColon + 1);
        }
        else if (strcmp(pszName, "-access") == 0)
        {
            option.m_fOverrideAccessType = TRUE;
            option.m_dwAccessType = (DWORD)atoi(pszValue);
        }
        else if (strcmp(pszName, "-puser") == 0)
            option.m_pszProxyUsername = pszValue;
        else if (strcmp(pszName, "-ppass") == 0)
            option.m_pszProxyPassword = pszValue;
        else if (strcmp(pszName, "-user") == 0)
            option.m_pszUsername = pszValue;
        else if (strcmp(pszName, "-pass") == 0)
            option.m_pszUserPassword = pszValue;
        else if (strcmp(pszName, "-timeout") == 0)
        {
            DWORD dw = (DWORD)atol(pszValue);
            option.m_dwConnectTimeout = option.m_dwControlSendTimeout = option.m_dwControlReceiveTimeout =
                option.m_dwDataSendTimeout = option.m_dwDataReceiveTimeout = dw;
        }
        else if (strcmp(pszName, "-cancel-after") == 0)
        {
            g_dwCancelAfter = (DWORD)atol(pszValue);
            option.m_pfConnectCancelCallback = CancelAfter;
        }
        else if (strcmp(pszName, "-o") == 0)
            pszOut = pszValue;
        else
            return Usage();
    }
    if (argc - i != 3)
        return Usage();
    option.m_pszServerName = argv[i];
    option.m_nServerPort = (INTERNET_PORT)atoi(argv[i + 1]);
    option.m_pszObjectName = argv[i + 2];

    CAccBuffer buffer;
    int nExit = 1;
    g_dwStart = GetTickCount();
    try
    {
        httpConnect(option, buffer);
        printf("OK %d\n", buffer.GetLength());
        if (pszOut != NULL)
        {
            FILE* f = fopen(pszOut, "wb");
            if (f != NULL)
            {
                fwrite(buffer.GetData(), 1, buffer.GetLength(), f);
                fclose(f);
            }
        }
        nExit = 0;
    }
    catch (CInternetStatusException& e)
    {
        printf("STATUS %d\n", e.GetStatus());
    }
    catch (CException* e)
    {
        printf("INET %lu\n", e->IsKindOf(RUNTIME_CLASS(CInternetException)) ? ((CInternetException*)e)->m_dwError : 0);
        e->Delete();
    }
    catch (CSystemError& e)
    {
        printf("SYSERR %lu\n", e.GetErrorCode());
    }
    catch (...)
    {
        printf("OTHER\n");
    }
    printf("ELAPSED %lu\n", GetTickCount() - g_dwStart);
    fflush(stdout);
    return nExit;
}

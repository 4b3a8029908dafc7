// connbench: requests per second through NS_Notification::ConnectServer.
//   connbench PORT [COUNT] [OBJECT]
// Points the product key's server at 127.0.0.1:PORT (no proxy), sends COUNT
// requests (default 200) one after another and prints, after a line naming the target,
//   "requests=N ok=N seconds=S rps=R".
#include <stdio.h>
#include <stdlib.h>

#include "BenchTarget.h"
#include "ConnectServer.h"
#include "RegistryKey.h"
#include "atlbase.h"

int main(int argc, char** argv)
{
    bench::PrintTarget();
    if (argc < 2)
    {
        fprintf(stderr, "usage: connbench PORT [COUNT] [OBJECT]\n");
        return 2;
    }
    DWORD dwPort = strtoul(argv[1], NULL, 10);
    int nCount = argc > 2 ? atoi(argv[2]) : 200;
    CString strObject = argc > 3 ? argv[3] : "/Vigilon/Cgi/cgiOnStart.exe?UID=bench&RELEASE=5.1";

    CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName()) != ERROR_SUCCESS)
    {
        fprintf(stderr, "connbench: cannot open the product key\n");
        return 1;
    }
    key.SetValue("127.0.0.1", "Server");
    key.SetValue(dwPort, "ServerPort");
    key.SetValue((DWORD)0, "UseProxy");
    key.Close();

    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::StatusLog, TRUE);
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    int nOk = 0;
    for (int i = 0; i < nCount; ++i)
    {
        CAccBuffer reply;
        if (NS_Notification::ConnectServer(reply, strObject, &timeouts, NULL, NULL,
                                           NS_Notification::ConnectCancelCallback, NULL, TRUE, NULL) &&
            reply.GetReturnCode(-1, 3) == 1)
            ++nOk;
    }
    QueryPerformanceCounter(&end);
    double dSeconds = (double)(end.QuadPart - start.QuadPart) / (double)freq.QuadPart;
    printf("requests=%d ok=%d seconds=%.2f rps=%.1f\n", nCount, nOk, dSeconds,
           dSeconds > 0 ? nOk / dSeconds : 0.0);
    return nOk == nCount ? 0 : 1;
}

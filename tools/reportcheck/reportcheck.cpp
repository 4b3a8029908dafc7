// reportcheck: the client's status logs and its scan settings from the server, driven from the
// command line through the client's own code. Run it from a client's program folder: it
// reads the settings file and the product key as the client does, loads the client's
// language library from its own folder and traces through "VglDebug.ini".
//   reportcheck status STAMP TYPE[:TEXT] ...   queues each status log, dated STAMP
//        (YYYYMMDDhhmmss, local time; type 16 is a scan result ending 62 seconds later with
//        the totals 10, 2, 1 and the event 3), and waits until each was sent or given up:
//        "STATUS DONE" (or "STATUS TIMEOUT")
//   reportcheck settings                       fetches the scan settings from the server:
//        "SETTINGS <1|0>" and the values "<section>: <first action> <second action>"
//   reportcheck alert [get]                    the alert text: fetched from the server with
//        "get", else read from the program folder's "Alert.msg": "ALERT <text>"
//   reportcheck scan FILE                      what a manual scan does with the product key's
//        settings: into the engine (the program folder's driver), then FILE is scanned:
//        "SCAN <result>"
// Exit code 0 on success, 1 on failure, 2 for usage.
#include "CommonScanINI.h"
#include "Configuration.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "NotificationThreads.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "StringUtils.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
int Usage()
{
    fprintf(stderr, "usage: reportcheck status STAMP TYPE[:TEXT]... | settings | alert [get] | scan FILE\n");
    return 2;
}

BOOL ParseStamp(const char* psz, CTime& time)
{
    int y, mo, d, h, mi, s;
    if (strlen(psz) != 14 || sscanf(psz, "%4d%2d%2d%2d%2d%2d", &y, &mo, &d, &h, &mi, &s) != 6)
        return FALSE;
    time = CTime(y, mo, d, h, mi, s);
    return TRUE;
}

int Status(int argc, char** argv, int i)
{
    CTime time;
    if (i >= argc || !ParseStamp(argv[i++], time))
        return Usage();
    NS_Notification::Construct(FALSE);
    for (; i < argc; i++)
    {
        CString strArg = argv[i];
        int nColon = strArg.Find(':');
        int nType = atoi(nColon < 0 ? strArg : strArg.Left(nColon));
        CString strText = nColon < 0 ? CString() : strArg.Mid(nColon + 1);
        if (nType == NSN_SCAN_RESULT)
            NS_Notification::SendScanResultLog(time, time + CTimeSpan(62), 10, 2, 1, nType, 3,
                                               nColon < 0 ? NULL : (LPCSTR)strText);
        else
            NS_Notification::SendStatusLog(time, nType, nColon < 0 ? NULL : (LPCSTR)strText);
    }
    BOOL fDone = FALSE;
    for (int n = 0; n < 6000 && !fDone; n++)
    {
        ::Sleep(10);
        fDone = !NS_Notification::HasQueuedStatusLog();
    }
    NS_Notification::Destruct(FALSE);
    printf("STATUS %s\n", fDone ? "DONE" : "TIMEOUT");
    return fDone ? 0 : 1;
}

int Settings()
{
    BOOL fResult = NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
    printf("SETTINGS %d\n", fResult);
    CCommonScanINI* apIni[] = {&g_ManualScanINI, &g_RealTimeScanINI, &g_ScheduleScanINI, &g_RemoteScanINI};
    for (CCommonScanINI* pIni : apIni)
        printf("%s: %d %d\n", pIni->GetSection(), pIni->m_nVirusFoundAction, pIni->m_nCleanFailedAction);
    printf("%s: %d entries\n", g_ExclusionFileINI.m_pszSection, (int)g_ExclusionFileINI.m_arrEntries.GetSize());
    NS_Configuration::Destruct();
    return fResult ? 0 : 1;
}

int Alert(int argc, char** argv, int i)
{
    BOOL fDownload = i < argc && strcmp(argv[i], "get") == 0;
    NS_Notification::UpdateAlertMessage(fDownload, TRUE, FALSE);
    printf("ALERT %s\n", (LPCSTR)NS_Notification::GetAlertMessageText());
    return 0;
}

void ReleaseEvent(LPVOID pEvent)
{
    g_vexor.ReleaseEvent(pEvent);
}

volatile LONG g_nFound = 0;

void CountEvent(LPVOID pEvent)
{
    ::InterlockedIncrement(&g_nFound);
    g_vexor.ReleaseEvent(pEvent);
}

int Scan(int argc, char** argv, int i)
{
    if (i >= argc)
        return Usage();
    int nResult = -1;
    if (!g_vexor.Initialize(NULL, ReleaseEvent, getModulePath(), &nResult))
    {
        printf("SCAN engine %d\n", nResult);
        return 1;
    }
    g_vexor.RegisterScanCallback(CountEvent, NULL);
    g_ManualScanINI.SetVexorOptions(g_vexor);
    int nScan = g_vexor.ScanFile(argv[i], 0);
    // The engine reports a finding on its own thread.
    for (int n = 0; n < 300 && nScan != 0 && g_nFound == 0; n++)
        ::Sleep(10);
    g_vexor.Uninitialize();
    printf("SCAN %d, %ld found\n", nScan, g_nFound);
    return 0;
}
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    HINSTANCE hLanguage = ::LoadLibraryA(joinPath(getModulePath(), "Ksxwin97.dll"));
    if (hLanguage != NULL)
        AfxSetResourceHandle(hLanguage);
    ::CoInitialize(NULL);
    NS_Debug::Construct();
    NS_RegistryKey::Construct();
    NS_Configuration::Construct(NULL);

    int nExit;
    CString strCommand = argv[1];
    if (strCommand == "status")
        nExit = Status(argc, argv, 2);
    else if (strCommand == "settings")
        nExit = Settings();
    else if (strCommand == "alert")
        nExit = Alert(argc, argv, 2);
    else if (strCommand == "scan")
        nExit = Scan(argc, argv, 2);
    else
        nExit = Usage();
    fflush(stdout);
    NS_Configuration::Destruct();
    NS_RegistryKey::Destruct();
    return nExit;
}

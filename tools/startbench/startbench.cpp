// startbench: how long the client program takes from its process start to its tray icon, and
// its working set once it has started.
//
//   startbench [RUNS] [--splash]
//
// Installs the client from the benchmark's own folder into C:\VigilonBench (the program, its
// language library and the libraries it loads), then RUNS times (default 20): starts it, waits
// for its icon to appear in the tray (a new tool of the task bar's tooltip; the main window's
// mapping is timed too), reads its working set one second later, and unloads it as the update
// program does (WM_USER+1000, then WM_QUIT). Without --splash the product key's "ShowSplash" is
// 0 for the runs (the splash stays for one second by design). Prints each run and the medians.
#include <windows.h>
#include <psapi.h>

#include "BenchClient.h"
#include "BenchTarget.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
const char s_szInstall[] = "C:\\VigilonBench\\";

double Now()
{
    static LARGE_INTEGER s_freq = {};
    if (s_freq.QuadPart == 0)
        QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)s_freq.QuadPart;
}

struct ToolCount
{
    DWORD dwPid;
    int nCount;
};

BOOL CALLBACK CountTooltips(HWND hWnd, LPARAM lParam)
{
    ToolCount* pCount = (ToolCount*)lParam;
    char szClass[64];
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if (dwPid == pCount->dwPid && GetClassNameA(hWnd, szClass, sizeof(szClass)) &&
        strcmp(szClass, "tooltips_class32") == 0)
        pCount->nCount++;
    return TRUE;
}

// The tooltips of the task bar's process: each tray icon has one.
int TrayTooltips()
{
    HWND hTray = FindWindowA("Shell_TrayWnd", NULL);
    if (hTray == NULL)
        return -1;
    ToolCount count = { 0, 0 };
    GetWindowThreadProcessId(hTray, &count.dwPid);
    EnumWindows(CountTooltips, (LPARAM)&count);
    return count.nCount;
}

void SetShowSplash(DWORD dwShow)
{
    HKEY hKey;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\VigilonCorp\\CurrentVersion", &hKey) == ERROR_SUCCESS)
    {
        RegSetValueExA(hKey, "ShowSplash", 0, REG_DWORD, (const BYTE*)&dwShow, sizeof(dwShow));
        RegCloseKey(hKey);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}
}

int main(int argc, char** argv)
{
    bench::PrintTarget();
    int nRuns = 20;
    bool fSplash = false;
    for (int i = 1; i < argc; i++)
    {
        if (strcmp(argv[i], "--splash") == 0)
            fSplash = true;
        else
            nRuns = atoi(argv[i]);
    }
    if (nRuns < 1 || bench::ClientMainWindow() != NULL)
    {
        fprintf(stderr, "startbench: usage: startbench [RUNS] [--splash], with no client running\n");
        return 2;
    }
    if (!bench::CopyClientFiles(s_szInstall, "startbench"))
        return 1;
    SetShowSplash(fSplash ? 1 : 0);

    std::vector<double> trayTimes, windowTimes, workingSets;
    std::string strProgram = std::string(s_szInstall) + "Ksxwin97.exe";
    for (int nRun = 1; nRun <= nRuns; nRun++)
    {
        int nBefore = TrayTooltips();
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        std::string strCommand = "\"" + strProgram + "\"";
        double t0 = Now();
        if (!CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, 0, NULL, s_szInstall, &si, &pi))
        {
            fprintf(stderr, "startbench: cannot start the client (%lu)\n", GetLastError());
            return 1;
        }
        double tTray = -1, tWindow = -1;
        HWND hMain = NULL;
        while (Now() - t0 < 60 && (tTray < 0 || tWindow < 0))
        {
            if (tTray < 0 && TrayTooltips() > nBefore)
                tTray = Now() - t0;
            if (tWindow < 0 && (hMain = bench::ClientMainWindow()) != NULL)
                tWindow = Now() - t0;
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
                break;
            Sleep(1);
        }
        Sleep(1000);
        PROCESS_MEMORY_COUNTERS pmc = {};
        pmc.cb = sizeof(pmc);
        GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc));
        if (hMain != NULL)
        {
            PostMessageA(hMain, WM_USER + 1000, 0, 0);
            PostMessageA(hMain, WM_QUIT, 0, 0);
        }
        if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        printf("run %2d: tray icon %.3f s, main window %.3f s, working set %.1f MB\n", nRun, tTray, tWindow,
               pmc.WorkingSetSize / 1048576.0);
        fflush(stdout);
        if (tTray < 0 || tWindow < 0)
        {
            fprintf(stderr, "startbench: the client did not reach its tray icon\n");
            bench::RemoveStartupEntries("vigilonbench");
            return 1;
        }
        trayTimes.push_back(tTray);
        windowTimes.push_back(tWindow);
        workingSets.push_back(pmc.WorkingSetSize / 1048576.0);
    }
    bench::RemoveStartupEntries("vigilonbench");
    printf("median of %d runs: tray icon %.3f s (min %.3f, max %.3f), main window %.3f s, working set %.1f MB%s\n",
           nRuns, Median(trayTimes), *std::min_element(trayTimes.begin(), trayTimes.end()),
           *std::max_element(trayTimes.begin(), trayTimes.end()), Median(windowTimes), Median(workingSets),
           fSplash ? " (with the splash)" : "");
    return 0;
}

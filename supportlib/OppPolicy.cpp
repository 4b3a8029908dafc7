#include "OppPolicy.h"

#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

DWORD g_dwOppExpiryCheckMs = 60000;
long (*g_pfnOppClock)() = oppCurrentMinute;

namespace
{
typedef int (__stdcall* PFN_SETOPPENGFUN)(PFN_OPP_ENGINE_CALLBACK pfn);
typedef int (__stdcall* PFN_SETDWPATTERNPATH)(const char* pszPath);
typedef int (__stdcall* PFN_APPLYZAVUZ)(const char* pszFile, const char* pszSection,
                                        const char* pszTrustedPorts);

const char s_szLibrary[] = "ZaVuz.dll";
const DWORD STOP_WAIT_MS = 180000;
const int TIME_TEXT_SIZE = 32;

// The binding's state; touched only under the policy lock, except where the
// expiry thread and a stopping caller hand over through the two events.
struct SOppBinding
{
    PFN_OPP_ENGINE_CALLBACK pfnEngine;
    PFN_OPP_ERROR_CALLBACK pfnError;
    char szFile[1024];
    char szSection[255];
    char szPattern[1024];
    HANDLE hThread;
    HANDLE hStop;           // manual reset
    HANDLE hDone;           // manual reset
    volatile BOOL fExpired;
} g_opp;

struct SExpiryArgs
{
    long nDuration;
    long nIssue;
};

HANDLE policyMutex()
{
    static HANDLE s_hMutex = CreateMutexA(NULL, FALSE, NULL);
    return s_hMutex;
}

void reportStatus(PFN_OPP_ERROR_CALLBACK pfn, DWORD dwStatus)
{
    if (pfn != NULL)
        pfn(&dwStatus);
}

void copyText(char* pszOut, size_t cbOut, const char* pszText)
{
    lstrcpynA(pszOut, pszText ? pszText : "", (int)cbOut);
}

// Stops a running expiry thread: set its stop event, wait for its done event.
void signalAndWaitExpiryThread()
{
    if (g_opp.hStop != NULL)
        SetEvent(g_opp.hStop);
    if (g_opp.hDone != NULL)
        WaitForSingleObject(g_opp.hDone, STOP_WAIT_MS);
}

int applyLocked(const char* pszFile, const char* pszSection, const char* pszPattern,
                const char* pszPorts, PFN_OPP_ERROR_CALLBACK pfnError,
                PFN_OPP_ENGINE_CALLBACK pfnEngine);

unsigned __stdcall oppExpiryThread(void* pv)
{
    SExpiryArgs args = *(SExpiryArgs*)pv;
    delete (SExpiryArgs*)pv;
    ResetEvent(g_opp.hDone);
    HANDLE hStop = g_opp.hStop;
    BOOL fEnded = FALSE;
    while (WaitForSingleObject(hStop, g_dwOppExpiryCheckMs) == WAIT_TIMEOUT)
    {
        if (g_pfnOppClock() - args.nIssue < args.nDuration)
        {
            g_opp.fExpired = FALSE;
            continue;
        }
        // The policy lock, unless the thread is stopped meanwhile: a stopping
        // caller holds the lock while it waits for this thread.
        HANDLE ahWait[2] = { hStop, policyMutex() };
        DWORD dwWait = WaitForMultipleObjects(2, ahWait, FALSE, INFINITE);
        if (dwWait != WAIT_OBJECT_0 + 1 && dwWait != WAIT_ABANDONED_0 + 1)
            break;
        g_opp.fExpired = TRUE;
        int nResult = 0;
        PFN_OPP_ERROR_CALLBACK pfnError = g_opp.pfnError;
        if (GetFileAttributesA(g_opp.szFile) != INVALID_FILE_ATTRIBUTES)
        {
            char szFile[sizeof(g_opp.szFile)], szSection[sizeof(g_opp.szSection)];
            char szPattern[sizeof(g_opp.szPattern)];
            strcpy(szFile, g_opp.szFile);
            strcpy(szSection, g_opp.szSection);
            strcpy(szPattern, g_opp.szPattern);
            WritePrivateProfileStringA(szSection, "Enable", "0", szFile);
            nResult = applyLocked(szFile, szSection, szPattern, NULL, pfnError, g_opp.pfnEngine);
        }
        CloseHandle(hStop);
        g_opp.hStop = NULL;
        fEnded = TRUE;
        SetEvent(g_opp.hDone);
        ReleaseMutex(policyMutex());
        if (nResult == OPP_APPLIED)
            reportStatus(pfnError, OPP_STATUS_EXPIRED);
        return 1;
    }
    if (!fEnded)
    {
        CloseHandle(hStop);
        g_opp.hStop = NULL;
        SetEvent(g_opp.hDone);
    }
    return 1;
}

int applyLocked(const char* pszFile, const char* pszSection, const char* pszPattern,
                const char* pszPorts, PFN_OPP_ERROR_CALLBACK pfnError,
                PFN_OPP_ENGINE_CALLBACK pfnEngine)
{
    char szText[TIME_TEXT_SIZE];
    GetPrivateProfileStringA(pszSection, "MaxOutbreakDuration", "", szText, sizeof(szText), pszFile);
    long nDuration = atol(szText) * 60;
    GetPrivateProfileStringA(pszSection, "IssueTime", "", szText, sizeof(szText), pszFile);
    long nIssue = oppMinutesOf(szText);
    long nNow = g_pfnOppClock();

    WritePrivateProfileStringA(NULL, NULL, NULL, pszFile);
    UINT nEnable = GetPrivateProfileIntA(pszSection, "Enable", 0, pszFile);

    char szLibrary[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, szLibrary, MAX_PATH);
    char* pszSlash = cch && cch < MAX_PATH ? strrchr(szLibrary, '\\') : NULL;
    HMODULE hLibrary = NULL;
    if (pszSlash != NULL && (size_t)(pszSlash + 1 - szLibrary) + sizeof(s_szLibrary) <= MAX_PATH)
    {
        strcpy(pszSlash + 1, s_szLibrary);
        hLibrary = LoadLibraryA(szLibrary);
    }
    if (hLibrary == NULL)
    {
        DWORD dwError = GetLastError();
        reportStatus(pfnError, dwError);
        return (int)dwError;
    }

    PFN_SETOPPENGFUN pfnSetEngine = (PFN_SETOPPENGFUN)GetProcAddress(hLibrary, "SetOppEngFun");
    if (pfnEngine != NULL && pfnSetEngine != NULL)
    {
        g_opp.pfnEngine = pfnEngine;
        pfnSetEngine(pfnEngine);
    }
    PFN_APPLYZAVUZ pfnApply = (PFN_APPLYZAVUZ)GetProcAddress(hLibrary, "ApplyZaVuz");
    if (pfnApply == NULL)
    {
        DWORD dwError = GetLastError();
        reportStatus(pfnError, dwError);
        FreeLibrary(hLibrary);
        return (int)dwError;
    }
    int nResult = 0;
    PFN_SETDWPATTERNPATH pfnPattern =
        (PFN_SETDWPATTERNPATH)GetProcAddress(hLibrary, "SetDWPatternPath");
    if (pfnPattern == NULL)
        reportStatus(pfnError, GetLastError());
    else if (pfnPattern(pszPattern) == 0)
    {
        reportStatus(pfnError, (DWORD)OPP_E_PATTERN_PATH);
        nResult = OPP_E_PATTERN_PATH;
    }

    if (nEnable && nNow - nIssue >= nDuration)
    {
        WritePrivateProfileStringA(pszSection, "Enable", "0", pszFile);
        pfnApply(pszFile, pszSection, pszPorts);
        FreeLibrary(hLibrary);
        return OPP_E_EXPIRED;
    }

    nResult = pfnApply(pszFile, pszSection, pszPorts);
    if (nResult != OPP_APPLIED && nResult <= 0 && nEnable == 1)
    {
        WritePrivateProfileStringA(pszSection, "Enable", "0", pszFile);
        pfnApply(pszFile, pszSection, pszPorts);
    }
    else if (nResult == OPP_APPLIED && nEnable == 1)
    {
        copyText(g_opp.szFile, sizeof(g_opp.szFile), pszFile);
        copyText(g_opp.szSection, sizeof(g_opp.szSection), pszSection);
        copyText(g_opp.szPattern, sizeof(g_opp.szPattern), pszPattern);
        g_opp.pfnError = pfnError;
        if (g_opp.hThread != NULL)
        {
            signalAndWaitExpiryThread();
            CloseHandle(g_opp.hThread);
            g_opp.hThread = NULL;
            if (g_opp.hDone != NULL)
                CloseHandle(g_opp.hDone);
            g_opp.hDone = CreateEventA(NULL, TRUE, FALSE, NULL);
        }
        else if (g_opp.hDone == NULL)
            g_opp.hDone = CreateEventA(NULL, TRUE, FALSE, NULL);
        if (g_opp.hStop == NULL && (g_opp.hStop = CreateEventA(NULL, TRUE, FALSE, NULL)) == NULL)
            reportStatus(pfnError, OPP_STATUS_THREAD_FAILED);
        else
        {
            g_opp.fExpired = FALSE;
            SExpiryArgs* pArgs = new SExpiryArgs;
            pArgs->nDuration = nDuration;
            pArgs->nIssue = nIssue;
            unsigned nThreadId = 0;
            g_opp.hThread = (HANDLE)_beginthreadex(NULL, 0, oppExpiryThread, pArgs, 0, &nThreadId);
            if (g_opp.hThread == NULL)
            {
                delete pArgs;
                reportStatus(pfnError, OPP_STATUS_THREAD_FAILED);
            }
        }
    }
    else if (nEnable == 0 && !g_opp.fExpired && g_opp.hThread != NULL)
    {
        signalAndWaitExpiryThread();
        CloseHandle(g_opp.hThread);
        g_opp.hThread = NULL;
        if (g_opp.hDone != NULL)
            CloseHandle(g_opp.hDone);
        g_opp.hDone = NULL;
    }
    FreeLibrary(hLibrary);
    return nResult;
}
}

void LockOppPolicy()
{
    WaitForSingleObject(policyMutex(), INFINITE);
}

void UnlockOppPolicy()
{
    ReleaseMutex(policyMutex());
}

long oppMinutesOf(const char* pszText)
{
    char szCopy[TIME_TEXT_SIZE];
    copyText(szCopy, sizeof(szCopy), pszText);
    int anField[5] = { 0 };
    int nFields = 0;
    for (char* psz = strtok(szCopy, " -:"); psz != NULL && nFields < 5; psz = strtok(NULL, " -:"))
        anField[nFields++] = atoi(psz);
    if (nFields < 5)
        return 0;
    struct tm t;
    memset(&t, 0, sizeof(t));
    t.tm_year = anField[0] - 1900;
    t.tm_mon = anField[1] - 1;
    t.tm_mday = anField[2];
    t.tm_hour = anField[3];
    t.tm_min = anField[4];
    t.tm_isdst = 0;
    time_t tt = mktime(&t);
    return tt == (time_t)-1 ? 0 : (long)(tt / 60);
}

long oppCurrentMinute()
{
    time_t now = time(NULL);
    struct tm t = *localtime(&now);
    t.tm_sec = 0;
    t.tm_isdst = 0;
    return (long)(mktime(&t) / 60);
}

int ApplyOppPolicy(const char* pszPolicyFile, const char* pszSection, const char* pszPatternPath,
                   const char* pszTrustedPorts, PFN_OPP_ERROR_CALLBACK pfnError,
                   PFN_OPP_ENGINE_CALLBACK pfnEngine)
{
    LockOppPolicy();
    int nResult = applyLocked(pszPolicyFile, pszSection, pszPatternPath, pszTrustedPorts,
                              pfnError, pfnEngine);
    UnlockOppPolicy();
    return nResult;
}

BOOL waitOppExpiryThreadEnded(DWORD dwTimeout)
{
    LockOppPolicy();
    HANDLE hThread = NULL;
    if (g_opp.hThread != NULL)
        DuplicateHandle(GetCurrentProcess(), g_opp.hThread, GetCurrentProcess(), &hThread, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    UnlockOppPolicy();
    if (hThread == NULL)
        return TRUE;
    BOOL fEnded = WaitForSingleObject(hThread, dwTimeout) == WAIT_OBJECT_0;
    CloseHandle(hThread);
    return fEnded;
}

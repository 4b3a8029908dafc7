// Outbreak-prevention policy binding: applies or lifts the policy of a policy
// file section through ZaVuz.dll (loaded from the program's folder for each
// operation), and ends a policy by itself when its maximum duration has passed.
#ifndef VGL_OPPPOLICY_H
#define VGL_OPPPOLICY_H

#include <windows.h>

// Hears of failures (a system error code, OPP_E_PATTERN_PATH, 1) and of a
// policy ended by expiry (OPP_STATUS_EXPIRED).
typedef void (*PFN_OPP_ERROR_CALLBACK)(DWORD* pdwStatus);
// Through it the policy library drives the filter driver.
typedef int (*PFN_OPP_ENGINE_CALLBACK)(int nOperation, void* pvArgument);

enum
{
    OPP_APPLIED = 1,
    OPP_E_PATTERN_PATH = -2016,
    OPP_E_EXPIRED = -2018,
    OPP_STATUS_THREAD_FAILED = 1,
    OPP_STATUS_EXPIRED = 5
};

// Applies the section (or lifts it when its "Enable" is 0). Result: 1 applied;
// 0 or a negative value of the library on failure; OPP_E_EXPIRED when the
// policy had already expired (it is then lifted); the system error code when
// the library or "ApplyZaVuz" is missing. Either callback may be NULL.
// Holds the policy lock for its whole run.
int ApplyOppPolicy(const char* pszPolicyFile, const char* pszSection, const char* pszPatternPath,
                   const char* pszTrustedPorts, PFN_OPP_ERROR_CALLBACK pfnError,
                   PFN_OPP_ENGINE_CALLBACK pfnEngine);

// The outbreak-policy lock, shared by every policy update and by the expiry
// thread. It may be taken again by the thread that holds it.
void LockOppPolicy();
void UnlockOppPolicy();

// The time in whole minutes of local time from "year-month-day hour:minute"
// (separators blank, '-' or ':'); 0 when the text is empty or incomplete.
long oppMinutesOf(const char* pszIssueTime);
long oppCurrentMinute();

// How often the expiry thread looks at the clock (60000 ms), and the clock.
extern DWORD g_dwOppExpiryCheckMs;
extern long (*g_pfnOppClock)();     // oppCurrentMinute
// Waits up to dwTimeout ms for a running expiry thread to end; TRUE when none runs.
BOOL waitOppExpiryThreadEnded(DWORD dwTimeout);

#endif

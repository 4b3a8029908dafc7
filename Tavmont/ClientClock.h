// The client's clock. Tests move it through the environment variable
// VGL_TEST_CLOCK_OFFSET (signed seconds added to the system's clock, read once) or, while the
// client runs, through the file that VGL_TEST_CLOCK_FILE names (its text is the offset in
// seconds, read at every look at the clock; the variable's offset while the file is missing).
// They shorten the retry waits of the log threads through VGL_TEST_MS_PER_SECOND (how many
// milliseconds one second of those waits lasts, read once; 1000 without it) and the
// scheduler's passes through VGL_TEST_WAIT_DIVISOR (a pass lasts its length divided by it;
// a pass still counts its full length toward the file-based poll).
#ifndef VGL_CLIENTCLOCK_H
#define VGL_CLIENTCLOCK_H

#include "afx.h"
#include "afxtime.h"

namespace NS_Clock
{
    // Seconds the client's clock is ahead of the system's (0 normally).
    LONGLONG GetOffset();
    // GetSystemTime (UTC) and the current local time, moved by the offset.
    void GetSystemTime(SYSTEMTIME* pst);
    CTime GetCurrentTime();
    // The milliseconds a wait of that many seconds lasts.
    DWORD GetWaitMilliseconds(DWORD dwSeconds);
    // The milliseconds a periodic pass of that nominal length lasts (at least 1).
    DWORD GetPassMilliseconds(DWORD dwMilliseconds);
}

#endif

// The schedule-update thread's decision: whether a pass asks the server now.
#ifndef VGL_SCHEDULEUPDATE_H
#define VGL_SCHEDULEUPDATE_H

#include "afx.h"

// The registry value with which command 32830 asks the thread to fetch the server's answer at
// once (1), and which the thread clears (0) once the server answered.
extern const char g_szScheduleUpdateAsking[];   // "ScheduleUpdateAsking"

struct SScheduleUpdateState
{
    DWORD dwForce;      // "ScheduleCheckGlobalSetting", seconds
    DWORD dwInterval;   // "ScheduleUpdateInterval", seconds
    DWORD dwAllow;      // "AllowScheduleUpdate"
    BOOL fAsking;       // the command waits for the server's answer
};

// TRUE when a pass at dwNow (seconds since 1970) asks the server, last asked at dwLast;
// *pfForced: the global period applies (the client's interval is 0).
BOOL IsScheduleUpdateDue(const SScheduleUpdateState& state, DWORD dwNow, DWORD dwLast, BOOL* pfForced);

#endif

// VglDogLib.dll: stands in for the outside watchdog library, with which the client registers
// at start and unregisters at unload.
//
//   BOOL RegWatchDog_Vgl()     the calling process is watched from now on
//   BOOL UnRegWatchDog_Vgl()   it is no longer watched
//
// Each call is written to the journal (the file named by VGL_WATCHDOG_JOURNAL, else
// "VglDogLib.log" beside the library) with the caller's process id and the retry settings of
// the watchdog key "Software\Kavrel\VglWatchDog". Both return TRUE.
#include <windows.h>

#include "journal.h"

namespace
{
CJournal g_journal("VglDogLib.log", "VGL_WATCHDOG_JOURNAL", CJournal::STAMP);

DWORD ReadSetting(const char* pszName, DWORD dwDefault)
{
    HKEY hKey;
    DWORD dwValue = dwDefault, cb = sizeof(dwValue), dwType = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\VglWatchDog", 0, KEY_READ, &hKey) ==
        ERROR_SUCCESS)
    {
        if (RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)&dwValue, &cb) != ERROR_SUCCESS ||
            dwType != REG_DWORD)
            dwValue = dwDefault;
        RegCloseKey(hKey);
    }
    return dwValue;
}
}

extern "C" BOOL WINAPI RegWatchDog_Vgl()
{
    g_journal.Write("RegWatchDog_Vgl pid=%lu interval=%lu retries=%lu", GetCurrentProcessId(),
                    ReadSetting("Default Retry Interval", 0), ReadSetting("Default Retry Count", 0));
    return TRUE;
}

extern "C" BOOL WINAPI UnRegWatchDog_Vgl()
{
    g_journal.Write("UnRegWatchDog_Vgl pid=%lu", GetCurrentProcessId());
    return TRUE;
}

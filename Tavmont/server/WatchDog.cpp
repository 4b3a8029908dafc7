// Calls into the outside watchdog library.
#include "WatchDog.h"

#include "LogTracker.h"
#include "Misutils.h"

namespace
{
BOOL CallWatchDog(LPCSTR pszExport)
{
    // Loaded once and kept: the library may watch the process from threads of its own.
    static HMODULE s_hLibrary = NULL;
    CString strLibrary = getModulePath() + "VglDogLib.dll";
    if (s_hLibrary == NULL)
        s_hLibrary = ::LoadLibraryA(strLibrary);
    HMODULE hLibrary = s_hLibrary;
    if (hLibrary == NULL)
    {
        VGLTRACE(12, "LoadLibrary(%s) failed, error %lu", (LPCSTR)strLibrary, ::GetLastError());
        return FALSE;
    }
    typedef BOOL (WINAPI* PFN_WATCHDOG)();
    PFN_WATCHDOG pfn = (PFN_WATCHDOG)::GetProcAddress(hLibrary, pszExport);
    BOOL fResult = FALSE;
    if (pfn != NULL)
        fResult = pfn();
    else
        VGLTRACE(12, "GetProcAddress(%s) failed, error %lu", pszExport, ::GetLastError());
    VGLTRACE(3, "fResult(%d) = %s()", fResult, pszExport);
    return fResult;
}
}

BOOL RegWatchDog_Vgl() { return CallWatchDog("RegWatchDog_Vgl"); }
BOOL UnRegWatchDog_Vgl() { return CallWatchDog("UnRegWatchDog_Vgl"); }

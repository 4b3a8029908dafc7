// The upgrade critical section that the application creates at its start, created once for
// the tests that run what takes it.
#ifndef VGL_TESTS_UPGRADELOCK_FIXTURE_H
#define VGL_TESTS_UPGRADELOCK_FIXTURE_H

#include "TavmontApp.h"

inline void InitializeUpgradeLockOnce()
{
    static bool s_fInitialized = false;
    if (!s_fInitialized)
    {
        ::InitializeCriticalSection(&g_csUpgrade);
        s_fInitialized = true;
    }
}

#endif

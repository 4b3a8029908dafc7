#include "SettingsLock.h"

namespace
{
enum { LOCK_COUNT = 16 };

struct SLocks
{
    CRITICAL_SECTION acs[LOCK_COUNT];
    SLocks()
    {
        for (int i = 0; i < LOCK_COUNT; i++)
            ::InitializeCriticalSection(&acs[i]);
    }
};
}

CRITICAL_SECTION* GetSettingsLock(const void* pSettings)
{
    static SLocks s_locks;
    UINT_PTR n = (UINT_PTR)pSettings;
    return &s_locks.acs[(n >> 4 ^ n >> 9) % LOCK_COUNT];
}

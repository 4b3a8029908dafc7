// The global settings objects are replaced on the UI thread (the options sheet, settings from
// the server) while scans on other threads read them. Whoever replaces one holds its lock;
// readers on other threads take a copy under it.
#ifndef VGL_SETTINGSLOCK_H
#define VGL_SETTINGSLOCK_H

#include "LockOrder.h"
#include <windows.h>

// The lock of one settings object (objects share a small set of locks by address; the locks
// may be taken again on the same thread).
CRITICAL_SECTION* GetSettingsLock(const void* pSettings);

class CSettingsLock
{
public:
    explicit CSettingsLock(const void* pSettings) : m_pcs(GetSettingsLock(pSettings))
    {
        ::EnterCriticalSection(m_pcs);
    }
    ~CSettingsLock() { ::LeaveCriticalSection(m_pcs); }

private:
    CSettingsLock(const CSettingsLock&);
    CSettingsLock& operator=(const CSettingsLock&);
    CRITICAL_SECTION* m_pcs;
};

// global = value under the global's lock.
template <class T> void StoreSettings(T& global, const T& value)
{
    CSettingsLock lock(&global);
    global = value;
}

// A copy of the global taken under its lock.
template <class T> void CopySettings(const T& global, T& out)
{
    CSettingsLock lock(&global);
    out = global;
}

#endif

// A boolean guarded by a lock, used like a manual event: the scan-state
// flags and the busy flags of dialogs. Writers take the lock; readers do not.
#ifndef VGL_FLAGEVENT_H
#define VGL_FLAGEVENT_H

#include "LockOrder.h"
#include "afxmt.h"

class CFlagEvent
{
public:
    explicit CFlagEvent(BOOL fInitial = FALSE);

    // The flag, read without taking the lock.
    BOOL IsSignaled() const { return m_fSignaled; }
    // Stores the flag under the lock.
    void SetSignaled(BOOL fSignaled);

private:
    CFlagEvent(const CFlagEvent&);
    CFlagEvent& operator=(const CFlagEvent&);

    CCriticalSection m_cs;
    volatile BOOL m_fSignaled;
};

#endif

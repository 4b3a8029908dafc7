#include "FlagEvent.h"

CFlagEvent::CFlagEvent(BOOL fInitial)
    : m_fSignaled(fInitial)
{
}

void CFlagEvent::SetSignaled(BOOL fSignaled)
{
    m_cs.Lock();
    m_fSignaled = fSignaled;
    m_cs.Unlock();
}

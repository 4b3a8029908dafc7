// Holds a scan-state or busy flag set for the life of a scope.
#ifndef VGL_FLAGEVENTGUARD_H
#define VGL_FLAGEVENTGUARD_H

#include "FlagEvent.h"

class CFlagEventGuard
{
public:
    explicit CFlagEventGuard(CFlagEvent& flag) : m_flag(flag) { m_flag.SetSignaled(TRUE); }
    ~CFlagEventGuard() { m_flag.SetSignaled(FALSE); }

private:
    CFlagEventGuard(const CFlagEventGuard&);
    CFlagEventGuard& operator=(const CFlagEventGuard&);

    CFlagEvent& m_flag;
};

#endif

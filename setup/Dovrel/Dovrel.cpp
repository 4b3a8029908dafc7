// Dovrel: tells the product's installation program whether the CIH virus is active in the
// memory of this Windows 95/98 PC ("Dovrel.INI" in the Windows folder and the exit code).
#include "CihCheck.h"

int main()
{
    return DovrelRun(g_dovrelSystem);
}

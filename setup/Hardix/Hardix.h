// Machine type and boot drive, for the product's installation program.
#ifndef VGL_HARDIX_H
#define VGL_HARDIX_H

#include <windows.h>

// Machine types
#define HW_MACHINE_UNKNOWN 0
#define HW_MACHINE_NEC98 1
#define HW_MACHINE_FMR 2
#define HW_MACHINE_IBMPC 3

// Platforms
#define HW_PLATFORM_9X 1
#define HW_PLATFORM_NT 2

extern "C" {
int WINAPI HWGetBootDrive();
int WINAPI HardixFMR();
int WINAPI HardixNEC98();
int WINAPI HardixIBMPC();
int WINAPI HWGetMachineType();
int WINAPI HWGetMachineTypeW();
}

// What the library asks of the system; tests put their own in its place.
struct SHardixHost
{
    int (*pfnPlatformId)();                             // 1, 2, another value; -1: no answer
    HKEY hkeyMachine;                                   // where the machine's keys are
    UINT(WINAPI* pfnWindowsDirectory)(LPSTR, UINT);
    BOOL (*pfnRealModeVector)(BYTE nInterrupt, DWORD* pdwVector);   // FALSE: cannot be read
};
extern SHardixHost g_hardixHost;
extern const SHardixHost g_hardixSystem;               // the real system

int HWGetPlatformId();
int HWReadBootDir9x();
int HWGetWindowsDriveIndex();
int HWIsNec98By9xRegistry();
int HWIsIbmPcBy9xRegistry();
int HWIsNec98ByNtRegistry();
int HWIsIbmPcByNtRegistry();
int HWIsFmr9x();
int HWGetMachineType9x();
// Segment in the upper 16 bits, offset in the lower; 0 when it cannot be read.
DWORD HWGetRealModeVector(int nInterrupt);

// The real-mode vector through DPMI (Windows 95/98 only; FALSE elsewhere).
BOOL HWReadRealModeVectorByDpmi(BYTE nInterrupt, DWORD* pdwVector);

#endif

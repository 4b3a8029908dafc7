#include "Hardix.h"

#include <ctype.h>
#include <string.h>

namespace
{
int SystemPlatformId()
{
    OSVERSIONINFOA osvi = {sizeof(osvi)};
    if (!GetVersionExA(&osvi))
        return -1;
    return (int)osvi.dwPlatformId;
}

// 0 = A:, 1 = B:, 2 = C:, ... of a path's first character, in either case.
int DriveNumber(char chDrive)
{
    return (signed char)(toupper((unsigned char)chDrive) - 'A');
}

// TRUE when the value below the machine's key begins, ignoring case, with the same four
// characters as the text. The value is read into 128 bytes.
BOOL ValueBeginsLike(LPCSTR pszKey, LPCSTR pszValue, LPCSTR pszText)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(g_hardixHost.hkeyMachine, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szData[128];
    DWORD cb = sizeof(szData);
    LONG lResult = RegQueryValueExA(hKey, pszValue, NULL, NULL, (LPBYTE)szData, &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
        return FALSE;
    szData[cb < sizeof(szData) ? cb : sizeof(szData) - 1] = '\0';
    return _strnicmp(szData, pszText, 4) == 0;
}

const char KEY_9X_MACHINE[] = "Enum\\Root\\*PNP0C01\\0000";
const char KEY_NT_SYSTEM[] = "HARDWARE\\DESCRIPTION\\System";
const char KEY_9X_SETUP[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";

// The pairs of interrupts whose vectors an FMR keeps apart.
const BYTE FMR_VECTOR_PAIRS[10][2] = {
    {0x91, 0x90}, {0x93, 0x91}, {0x94, 0x93}, {0x96, 0x94}, {0x97, 0x96},
    {0x97, 0x98}, {0x9B, 0x98}, {0x9E, 0x9B}, {0xAF, 0x9E}, {0xAF, 0x00},
};
} // namespace

const SHardixHost g_hardixSystem = {SystemPlatformId, HKEY_LOCAL_MACHINE, GetWindowsDirectoryA,
                                    HWReadRealModeVectorByDpmi};
SHardixHost g_hardixHost = g_hardixSystem;

int HWGetPlatformId()
{
    return g_hardixHost.pfnPlatformId();
}

int HWGetWindowsDriveIndex()
{
    char szWindows[MAX_PATH];
    if (g_hardixHost.pfnWindowsDirectory(szWindows, sizeof(szWindows)) == 0)
        return 0;
    return DriveNumber(szWindows[0]);
}

int HWReadBootDir9x()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(g_hardixHost.hkeyMachine, KEY_9X_SETUP, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return HWGetWindowsDriveIndex();
    char szBootDir[MAX_PATH];
    DWORD cb = sizeof(szBootDir);
    LONG lResult = RegQueryValueExA(hKey, "BootDir", NULL, NULL, (LPBYTE)szBootDir, &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || cb == 0 || szBootDir[0] == '\0')
        return HWGetWindowsDriveIndex();
    return DriveNumber(szBootDir[0]);
}

int HWIsNec98By9xRegistry()
{
    return ValueBeginsLike(KEY_9X_MACHINE, "ComputerName", "NEC PC-9801/9821");
}

int HWIsIbmPcBy9xRegistry()
{
    return ValueBeginsLike(KEY_9X_MACHINE, "MachineType", "IBM PC/AT");
}

int HWIsNec98ByNtRegistry()
{
    return ValueBeginsLike(KEY_NT_SYSTEM, "Identifier", "NEC PC-98") && HWGetWindowsDriveIndex() < 2;
}

int HWIsIbmPcByNtRegistry()
{
    return ValueBeginsLike(KEY_NT_SYSTEM, "Identifier", "AT/AT COMPATIBLE");
}

DWORD HWGetRealModeVector(int nInterrupt)
{
    DWORD dwVector = 0;
    if (!g_hardixHost.pfnRealModeVector((BYTE)nInterrupt, &dwVector))
        return 0;
    return dwVector;
}

int HWIsFmr9x()
{
    for (const BYTE* pPair : FMR_VECTOR_PAIRS)
    {
        if (HWGetRealModeVector(pPair[0]) == HWGetRealModeVector(pPair[1]))
            return 0;
    }
    return 1;
}

int HWGetMachineType9x()
{
    if (HWIsNec98By9xRegistry())
        return HW_MACHINE_NEC98;
    if (HWIsIbmPcBy9xRegistry())
        return HW_MACHINE_IBMPC;
    if (HWIsFmr9x())
        return HW_MACHINE_FMR;
    return HW_MACHINE_UNKNOWN;
}

// ---------------------------------------------------------------------------------------
// Exports

extern "C" int WINAPI HWGetBootDrive()
{
    switch (HWGetPlatformId())
    {
    case HW_PLATFORM_9X:
        return HWReadBootDir9x();
    case HW_PLATFORM_NT:
        return HWGetWindowsDriveIndex();
    }
    return -1;
}

extern "C" int WINAPI HardixFMR()
{
    return HWGetPlatformId() == HW_PLATFORM_9X ? HWIsFmr9x() : 0;
}

extern "C" int WINAPI HardixNEC98()
{
    switch (HWGetPlatformId())
    {
    case HW_PLATFORM_9X:
        return HWIsNec98By9xRegistry();
    case HW_PLATFORM_NT:
        return HWIsNec98ByNtRegistry();
    }
    return 0;
}

extern "C" int WINAPI HardixIBMPC()
{
    switch (HWGetPlatformId())
    {
    case HW_PLATFORM_9X:
        return HWIsIbmPcBy9xRegistry();
    case HW_PLATFORM_NT:
        return HWIsIbmPcByNtRegistry();
    }
    return 0;
}

extern "C" int WINAPI HWGetMachineTypeW()
{
    return HWIsNec98ByNtRegistry() ? HW_MACHINE_NEC98 : HW_MACHINE_IBMPC;
}

extern "C" int WINAPI HWGetMachineType()
{
    switch (HWGetPlatformId())
    {
    case HW_PLATFORM_9X:
        return HWGetMachineType9x();
    case HW_PLATFORM_NT:
        return HWGetMachineTypeW();
    }
    return HW_MACHINE_UNKNOWN;
}

#include "CihCheck.h"

#include <stdio.h>
#include <string.h>

namespace
{
// The marker with every bit inverted, so that this program's own image does not hold it.
const BYTE INVERTED_MARKER[CIH_MARKER_SIZE] = {
    0xAA, 0x74, 0x13, 0xAC, 0xA9, 0xA8, 0x17, 0xFF,
    0xFF, 0xFF, 0xFF, 0xA1, 0x7E, 0x11, 0xBC, 0xB6,
};

int SystemPlatformId()
{
    OSVERSIONINFOA osvi = {sizeof(osvi)};
    if (!GetVersionExA(&osvi))
        return -1;
    return (int)osvi.dwPlatformId;
}
} // namespace

const SDovrelHost g_dovrelSystem = {SystemPlatformId, ReadIfsHookCodeRing0, GetWindowsDirectoryA};

BOOL HasCihMarker(const BYTE abCode[CIH_CODE_SIZE])
{
    BYTE abMarker[CIH_MARKER_SIZE];
    for (int i = 0; i < CIH_MARKER_SIZE; ++i)
        abMarker[i] = (BYTE)~INVERTED_MARKER[i];
    BOOL fFound = memcmp(abCode + CIH_MARKER_OFFSET, abMarker, sizeof(abMarker)) == 0;
    SecureZeroMemory(abMarker, sizeof(abMarker));
    return fFound;
}

int DovrelRun(const SDovrelHost& host)
{
    if (host.pfnPlatformId() == VER_PLATFORM_WIN32_NT)
        return 0;

    // Where the kernel's code cannot be read (not a Windows 95/98 kernel), nothing is
    // known: the same answer as on Windows NT.
    BYTE abCode[CIH_CODE_SIZE];
    memset(abCode, 0, sizeof(abCode));
    if (!host.pfnReadHookCode(abCode))
        return 0;

    char szWindows[MAX_PATH] = "";
    host.pfnWindowsDirectory(szWindows, sizeof(szWindows));
    char szResultFile[MAX_PATH + 16];
    _snprintf(szResultFile, sizeof(szResultFile), "%s\\%s", szWindows, DOVREL_RESULT_FILE);
    szResultFile[sizeof(szResultFile) - 1] = '\0';

    BOOL fFound = HasCihMarker(abCode);
    WritePrivateProfileStringA(DOVREL_RESULT_SECTION, DOVREL_RESULT_KEY, fFound ? "1" : "0", szResultFile);
    return fFound ? 1 : 0;
}

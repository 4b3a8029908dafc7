// The memory check for the CIH virus: the 128 bytes at the entry of the file-system
// manager's hook-install service, and the 16 bytes looked for at offset 0x50.
#ifndef VGL_CIHCHECK_H
#define VGL_CIHCHECK_H

#include <windows.h>

#define CIH_CODE_SIZE 128
#define CIH_MARKER_OFFSET 0x50
#define CIH_MARKER_SIZE 16

#define DOVREL_RESULT_FILE "Dovrel.INI"
#define DOVREL_RESULT_SECTION "SCAN_CIH_RESULT"
#define DOVREL_RESULT_KEY "Result"

// What the check asks of the system; tests put their own in its place.
struct SDovrelHost
{
    int (*pfnPlatformId)();                                 // -1: no answer
    BOOL (*pfnReadHookCode)(BYTE abCode[CIH_CODE_SIZE]);    // FALSE: cannot be read here
    UINT(WINAPI* pfnWindowsDirectory)(LPSTR, UINT);
};
extern const SDovrelHost g_dovrelSystem;

// Runs the check and writes its result; the program's exit code (1: found).
int DovrelRun(const SDovrelHost& host);

// TRUE when the code holds the marker at its place.
BOOL HasCihMarker(const BYTE abCode[CIH_CODE_SIZE]);

// Windows 95/98: copies the code at the entry point of IFSMgr's hook-install service,
// from ring 0 (under the fault guard; FALSE where that cannot be done).
BOOL ReadIfsHookCodeRing0(BYTE abCode[CIH_CODE_SIZE]);

#endif

// Client library of the real-time filter driver filter32.vxd: one device per process, a
// master thread that receives the driver's events, and one function per driver request. The
// records exchanged with the driver are in IOTWire.h.
// Errors are reported through the thread's last-error value (IOT_ERR_* codes).
#pragma once

#include <windows.h>

#include "IOTWire.h"

#define IOT_TYPE_REALTIME 100
#define IOT_TYPE_MANUAL   200
#define IOT_IOF_ALL       15

// Library error codes (last-error values).
#define IOT_ERR_ALREADY_OPEN     0xF000
#define IOT_ERR_START_FAILED     0xF004
#define IOT_ERR_NOT_OPEN         0xF005
#define IOT_ERR_NO_PATTERN       0xF006
#define IOT_ERR_LAYER            0xF016
#define IOT_ERR_RESOURCES        0xF02A
#define IOT_ERR_INVALID_ARG      0xF02B
#define IOT_ERR_ENVIRONMENT      0xF02E
#define IOT_ERR_INIT_STATUS      0xF032
#define IOT_ERR_UNREGISTER       0xF050
#define IOT_ERR_SCAN_FILE        0xF051
#define IOT_ERR_DRIVER_STATE     0xF052
#define IOT_ERR_OPEN_DEVICE      0xF053
#define IOT_ERR_NOT_READY        0xF054
#define IOT_ERR_INIT_STATUS_9    0xF055
#define IOT_ERR_TIMEOUT          0xF056
#define IOT_ERR_THREAD           0xF057

// Engine action codes.
enum { IOT_ACTION_NONE = 0, IOT_ACTION_RENAME = 1, IOT_ACTION_MOVE = 2, IOT_ACTION_CLEAN = 3,
       IOT_ACTION_DELETE = 4, IOT_ACTION_NONE_99 = 99 };

// Called on the library's master thread with an IOT_EVENT, which the callee releases with
// IOT_FreeEvent (at once or later, from any thread).
typedef void (*IOT_EventCallback)(LPVOID pEvent);

// Start and stop.
BOOL IOT_Start(int* pnResult, LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
               LPCSTR pszPatternName, int* pnNameMatches, int nMode);
BOOL IOT_StartMode(int* pnResult, LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
                   int nMode);
BOOL IOT_Stop();
int IOT_GetInitError();
BOOL IOT_SetScanCallback(LPVOID pContext, IOT_EventCallback pfnCallback);
BOOL IOT_FreeEvent(LPVOID pEvent);
BOOL IOT_Hook(LPCSTR pszFileTypes);
BOOL IOT_Unhook();

// Requests.
BOOL IOT_TurnOffRealTimeScan();
BOOL IOT_TurnOnRealTimeScan();
BOOL IOT_SetFilterString(LPCSTR pszFileTypes);
BOOL IOT_RegisterConnectNotify(HWND hWnd, UINT uMessage);
BOOL IOT_AddExceptionProcess(DWORD dwProcessId);
BOOL IOT_DeleteExceptionProcess(DWORD dwProcessId);
BOOL IOT_SetIOFilter(DWORD dwMask);
BOOL IOT_SetExcludedPaths(LPCSTR pszMultiString);
BOOL IOT_SetFirstAction(int nAction, LPCSTR pszText, int nType);
BOOL IOT_SetSecondAction(int nAction, LPCSTR pszText, int nType);
BOOL IOT_SetBackupIfClean(BOOL fBackup, int nType);
int IOT_ScanFile(LPCSTR pszPath);
BOOL IOT_SetCompressedLayer(int nLayer, int nType);
BOOL IOT_SetMoveFolder(LPCSTR pszFolder, int nType);
BOOL IOT_SetRenameExtension(LPCSTR pszExtension, int nType);
BOOL IOT_SetSecondMoveFolder(LPCSTR pszFolder, int nType);
BOOL IOT_SetSecondRenameExtension(LPCSTR pszExtension, int nType);
BOOL IOT_SetScanNetworkFileFlag(BOOL fScan);
BOOL IOT_SetOption33(DWORD dwValue);
BOOL IOT_SetOption34(DWORD dwValue);
BOOL IOT_GetEngineVersion(DWORD* pdwVersion);
BOOL IOT_GetDefaultPatternFile(LPSTR pszPath);  // 260 bytes
BOOL IOT_GetValue39(DWORD* pdwValue);
DWORD IOT_ActOnFile(int nAction, LPCSTR pszPath);
BOOL IOT_StopScan();
int IOT_ScanBootSector(char cDrive, BPMINFO* pInfo);
int IOT_ScanPartition(char cDrive, BPMINFO* pInfo);
int IOT_CleanBPVirus(char cDrive, BPMINFO* pInfo);
BOOL IOT_GetVirusCount(DWORD* pdwCount);
int IOT_GetVirusNameList(LPVOID pBuffer);
BOOL IOT_GetFilterVersion(DWORD* pdwVersion);
int IOT_SetEnviromentType(int nType);
BOOL IOT_SetDirectory49(LPCSTR pszFolder);
BOOL IOT_SetPathPair51(LPCSTR pszName, LPCSTR pszFolder);
int IOT_ScanMemory(BPMINFO* pInfo);
BOOL IOT_SetExcludedFileNames(LPCSTR pszMultiString);
int IOT_QueryInitStatus();
BOOL IOT_SetForbiddenList(LPCSTR pszMultiString);
BOOL IOT_SetBackupDirectory(LPCSTR pszFolder, int nType);
int IOT_SetZipCleanFlag(BOOL fClean, int nType);
int IOT_GetZipCleanFlag(int nType);
BOOL IOT_SetMaxExtractFileSize(DWORD dwBytes, int nType);
int IOT_GetMaxExtractFileSize(int nType);
int IOT_GetOleLayer(int nType);
BOOL IOT_SetOleLayer(int nLayer, int nType);
int IOT_GetBackupEncodeFlag();
BOOL IOT_SetBackupEncodeFlag(BOOL fEncode);
BOOL IOT_EncodeFile(LPCSTR pszSource, LPCSTR pszDestination);
BOOL IOT_OppCommand5(LPCSTR pszText);
BOOL IOT_OppCommand7(LPCSTR pszMultiString);
BOOL IOT_OppCommand3(LPCSTR pszText);
int IOT_GetIntelliScanFlag(int nType);
BOOL IOT_SetIntelliScanFlag(int nType, BOOL fFlag);
int IOT_GetActiveActionFlag(int nType);
BOOL IOT_SetActiveActionFlag(int nType, BOOL fFlag);
BOOL IOT_SetMaxCompressedFileCount(int nCount, int nType);
int IOT_GetMaxCompressedFileCount(int nType);
BOOL IOT_OppCommand4(LPCSTR pszText);
BOOL IOT_OppCommand6(LPCSTR pszMultiString);

// Last-error value for a driver error code returned in a flag block.
DWORD IOT_MapDriverError(int nDriverError);
// Length a multi-string is sent with: the texts with their NULs, plus 2.
DWORD IOT_MultiStringLength(LPCSTR pszMultiString);
// Test seam: the next nCount event copies find no memory (the spare buffer's path).
void IOT_TestFailAllocations(int nCount);

#include "IOTLib.h"
#include "IOTDevice.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <io.h>

namespace {

// Control codes.
enum
{
    CTL_REALTIME_EVENTS = 1, CTL_UNREGISTER = 2, CTL_NEXT_EVENT = 4, CTL_TURN_OFF = 6, CTL_TURN_ON = 7,
    CTL_FILTER_STRING = 9, CTL_CONNECT_NOTIFY = 13, CTL_ADD_EXCEPTION = 14, CTL_DELETE_EXCEPTION = 15,
    CTL_IO_FILTER = 18, CTL_EXCLUDED_PATHS = 19, CTL_FIRST_ACTION = 21, CTL_SECOND_ACTION = 22,
    CTL_BACKUP_IF_CLEAN = 23, CTL_SCAN_EVENTS = 24, CTL_SCAN_FILE = 25, CTL_COMPRESSED_LAYER = 26,
    CTL_MOVE_FOLDER = 27, CTL_RENAME_EXTENSION = 28, CTL_SECOND_MOVE_FOLDER = 29,
    CTL_SECOND_RENAME_EXTENSION = 30, CTL_NETWORK_FLAG = 31, CTL_OPTION33 = 33, CTL_OPTION34 = 34,
    CTL_ENGINE_VERSION = 35, CTL_DRIVER_STATE = 36, CTL_START_ENGINE = 37, CTL_PATTERN_FILE = 38,
    CTL_VALUE39 = 39, CTL_ACT_ON_FILE = 40, CTL_STOP_SCAN = 41, CTL_SCAN_BOOT = 42, CTL_SCAN_PARTITION = 43,
    CTL_CLEAN_BP = 44, CTL_VIRUS_COUNT = 45, CTL_VIRUS_NAMES = 46, CTL_FILTER_VERSION = 47,
    CTL_ENVIRONMENT = 48, CTL_DIRECTORY49 = 49, CTL_PATH_PAIR51 = 51, CTL_SCAN_MEMORY = 52,
    CTL_EXCLUDED_NAMES = 55, CTL_INIT_STATUS = 56, CTL_FORBIDDEN_LIST = 57, CTL_BACKUP_DIRECTORY = 58,
    CTL_SET_ZIP_CLEAN = 60, CTL_GET_ZIP_CLEAN = 61, CTL_SET_MAX_EXTRACT = 67, CTL_GET_MAX_EXTRACT = 68,
    CTL_GET_OLE_LAYER = 73, CTL_SET_OLE_LAYER = 74, CTL_GET_BACKUP_ENCODE = 81, CTL_SET_BACKUP_ENCODE = 82,
    CTL_ENCODE_FILE = 83, CTL_OPP5 = 88, CTL_OPP7 = 99, CTL_OPP3 = 105, CTL_GET_INTELLI = 150,
    CTL_SET_INTELLI = 151, CTL_GET_ACTIVE = 152, CTL_SET_ACTIVE = 153, CTL_SET_MAX_COUNT = 155,
    CTL_GET_MAX_COUNT = 156, CTL_OPP4 = 159, CTL_OPP6 = 160
};

// The spare buffer carries an event whose record is at most 4100 bytes long.
const DWORD SPARE_SIZE = sizeof(IOT_EVENT) + 4100 - IOT_WIRE_EVENT_HEADER;
const int DRIVER_STATE_READY = 3;

struct START_BLOCK
{
    char szPatternName[260];
};

// A channel of events: the driver's records name it by its registration id, and the library
// hands each one to the channel's callback with the channel's context.
struct SChannel
{
    LPVOID volatile pContext;
    IOT_EventCallback volatile pfnCallback;
};

// Library state: one device and one pair of event channels per process.
CIOTDevice* volatile g_pDevice = NULL;
char g_szDriverFolder[260];
char g_szPatternPath[260];
BYTE g_bMode;
HANDLE g_hStopEvent;
HANDLE g_hStartedEvent;
HANDLE g_hMasterThread;
BYTE* g_pSpare;
BYTE* g_pReceive;  // the master thread's buffer for the driver's records
// A master thread still inside a callback when the library stopped: never killed (the callback
// may hold its program's locks), it ends once the callback returns, the device being gone. Its
// buffer and events are left to it; no new start while it runs.
HANDLE g_hLeftMaster = NULL;
SChannel g_channels[2];  // by registration id: real-time, on-demand scans
int g_nInitStatus;

// Threads inside a request: the device is closed only once none is left (IOT_Stop), so that a
// request never runs on a closed (or unloaded) driver.
volatile LONG g_nCallers = 0;
// The spare buffer holds an event that a callback has not freed yet.
volatile LONG g_fSpareBusy = 0;
// Test seam: the next n event copies find no memory.
volatile LONG g_nFailAllocations = 0;

CIOTDevice* Device() { return g_pDevice; }

SChannel* ChannelOf(UINT32 dwRegistration)
{
    if (dwRegistration == IOT_REGISTRATION_REALTIME)
        return &g_channels[0];
    if (dwRegistration == IOT_REGISTRATION_SCAN)
        return &g_channels[1];
    return NULL;
}

void ClearChannel(SChannel* pChannel)
{
    pChannel->pfnCallback = NULL;
    pChannel->pContext = NULL;
}

BOOL Call(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut = NULL, DWORD cbOut = 0, LPDWORD pcb = NULL)
{
    InterlockedIncrement(&g_nCallers);
    CIOTDevice* pDevice = g_pDevice;
    if (!pDevice)
    {
        InterlockedDecrement(&g_nCallers);
        SetLastError(IOT_ERR_NOT_OPEN);
        return FALSE;
    }
    DWORD cb = 0;
    BOOL f = pDevice->Control(dwCode, pIn, cbIn, pOut, cbOut, pcb ? pcb : &cb);
    DWORD dwError = GetLastError();
    InterlockedDecrement(&g_nCallers);
    SetLastError(dwError);
    return f;
}

// Waits until no thread is inside a request on the device taken out of service.
void WaitForCallers()
{
    while (g_nCallers > 0)
        Sleep(1);
}

BYTE* AllocateCopy(DWORD dwLength)
{
    if (g_nFailAllocations > 0 && InterlockedDecrement(&g_nFailAllocations) >= 0)
        return NULL;
    return (BYTE*)malloc(dwLength);
}

BOOL NotOpen()
{
    if (Device())
        return FALSE;
    SetLastError(IOT_ERR_NOT_OPEN);
    return TRUE;
}

int SendType(int nType) { return nType == IOT_TYPE_MANUAL ? IOT_TYPE_MANUAL : IOT_TYPE_REALTIME; }

BOOL Fits(LPCSTR psz, size_t cbMax) { return psz && strlen(psz) < cbMax; }

void CopyText(char* pszTo, LPCSTR pszFrom, size_t cb)
{
    memset(pszTo, 0, cb);
    if (pszFrom)
        lstrcpynA(pszTo, pszFrom, int(cb));
}

// Appends a backslash unless the text already ends in one (double-byte aware).
void AddBackslash(char* psz, size_t cb)
{
    size_t n = strlen(psz);
    if (n == 0)
        return;
    const char* pLast = NULL;
    for (const char* p = psz; *p; p = CharNextA(p))
        pLast = p;
    if (pLast && *pLast == '\\' && pLast == psz + n - 1)
        return;
    if (n + 1 < cb)
    {
        psz[n] = '\\';
        psz[n + 1] = 0;
    }
}

BOOL SendTyped(DWORD dwCode, int nValue, LPCSTR pszText, int nType, LPVOID pOut = NULL, DWORD cbOut = 0)
{
    IOT_TYPED_BLOCK block;
    memset(&block, 0, sizeof block);
    block.nValue = nValue;
    CopyText(block.szText, pszText, sizeof block.szText);
    block.nType = SendType(nType);
    return Call(dwCode, &block, sizeof block, pOut, cbOut);
}

BOOL SendFolder(DWORD dwCode, LPCSTR pszFolder, int nType)
{
    char sz[260] = "";
    if (pszFolder && *pszFolder)
    {
        CopyText(sz, pszFolder, sizeof sz - 1);
        AddBackslash(sz, sizeof sz);
    }
    return SendTyped(dwCode, 0, sz, nType);
}

char UpperDrive(char c)
{
    // A character in the low word of the pointer is converted in place.
    return (char)(BYTE)(UINT_PTR)CharUpperA((LPSTR)(UINT_PTR)(BYTE)c);
}

BOOL IsExtension(LPCSTR psz) { return psz && strlen(psz) == 4 && psz[0] == '.'; }

BOOL SendText(DWORD dwCode, LPCSTR pszText, BOOL fRefuseEmpty)
{
    if (NotOpen())
        return FALSE;
    if (!pszText || (fRefuseEmpty && !*pszText))
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    return Call(dwCode, (LPVOID)pszText, DWORD(strlen(pszText) + 1));
}

BOOL SendMultiString(DWORD dwCode, LPCSTR pszMulti)
{
    if (NotOpen())
        return FALSE;
    if (!pszMulti)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    return Call(dwCode, (LPVOID)pszMulti, IOT_MultiStringLength(pszMulti));
}

BOOL SendDword(DWORD dwCode, DWORD dwValue)
{
    if (NotOpen())
        return FALSE;
    return Call(dwCode, &dwValue, sizeof dwValue);
}

// DWORD requests whose reply starts as -1: the reply, or -1 while the device is closed.
int QueryByType(DWORD dwCode, int nType)
{
    if (NotOpen())
        return -1;
    DWORD dwType = DWORD(nType);
    int nReply = -1;
    Call(dwCode, &dwType, sizeof dwType, &nReply, sizeof nReply);
    return nReply;
}

int FlagRequest(DWORD dwCode, int nType, int nFlag, BOOL fSet)
{
    if (NotOpen())
        return 0;
    IOT_FLAG_BLOCK block;
    memset(&block, 0, sizeof block);
    block.bFlag = BYTE(nFlag ? 1 : 0);
    block.nType = nType;
    if (!Call(dwCode, &block, sizeof block, &block, sizeof block))
        return 0;
    if (block.nError)
    {
        SetLastError(IOT_MapDriverError(block.nError));
        return 0;
    }
    return fSet ? 1 : (block.bFlag ? 1 : 0);
}

int BpmRequest(DWORD dwCode, DWORD dwUnit, BPMINFO* pInfo, int nFailure)
{
    if (NotOpen())
        return nFailure;
    IOT_BPM_REPLY reply;
    memset(&reply, 0, sizeof reply);
    DWORD* pIn = dwCode == CTL_SCAN_MEMORY ? NULL : &dwUnit;
    if (!Call(dwCode, pIn, pIn ? sizeof dwUnit : 0, &reply, sizeof reply))
        return nFailure;
    if (pInfo)
        memcpy(pInfo, &reply.info, sizeof *pInfo);
    return reply.nResult;
}

// Hands a record received from the driver to its channel's callback, as an event in memory of
// its own. A record that does not check out is dropped.
void Deliver(const BYTE* pRecord, DWORD cbRecord)
{
    DWORD cbData = 0;
    UINT32 dwRegistration = 0;
    SChannel* pChannel = NULL;
    if (!IOT_CheckWireEvent(pRecord, cbRecord, &cbData, &dwRegistration) ||
        !(pChannel = ChannelOf(dwRegistration)))
    {
        OutputDebugStringA("IOTLib: a malformed event record was dropped\n");
        return;
    }
    LPVOID pContext = pChannel->pContext;
    IOT_EventCallback pfn = pChannel->pfnCallback;
    if (!pfn)
        return;
    INT32 nKind;
    memcpy(&nKind, pRecord + offsetof(IOT_WIRE_EVENT, nKind), sizeof nKind);
    BOOL fVirus = nKind == IOT_EVENT_VIRUS;
    DWORD cbEvent = DWORD(sizeof(IOT_EVENT)) + cbData;
    BYTE* pCopy = AllocateCopy(cbEvent);
    // Without memory the spare buffer takes the event, but only while no callback still holds
    // an earlier one: a progress event is then dropped, a virus event waits for memory or for
    // the spare buffer to come back (or for the library to stop).
    while (!pCopy && cbEvent <= SPARE_SIZE && g_pSpare)
    {
        if (InterlockedCompareExchange(&g_fSpareBusy, 1, 0) == 0)
            pCopy = g_pSpare;
        else if (!fVirus || WaitForSingleObject(g_hStopEvent, 10) == WAIT_OBJECT_0)
            break;
        else
            pCopy = AllocateCopy(cbEvent);
    }
    if (!pCopy)
        return;
    IOT_EVENT* pEvent = (IOT_EVENT*)pCopy;
    if (!IOT_UnpackEvent(pRecord, cbRecord, pEvent, (char*)(pCopy + sizeof(IOT_EVENT)), cbData))
    {
        IOT_FreeEvent(pCopy);
        return;
    }
    pEvent->pContext = pContext;
    pfn(pEvent);
}

// Takes the records the driver holds for this process's channels, one at a time, and delivers them.
void DeliverWaitingEvents()
{
    while (WaitForSingleObject(g_hStopEvent, 0) != WAIT_OBJECT_0)
    {
        DWORD cb = 0;
        if (!Call(CTL_NEXT_EVENT, NULL, 0, g_pReceive, IOT_WIRE_EVENT_MAX, &cb))
        {
            // A record too long for the buffer is dropped by the driver: the next one follows.
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                continue;
            return;
        }
        Deliver(g_pReceive, cb);
    }
}

void FillRequest(IOT_EVENT_REQUEST* pRequest, UINT32 dwRegistration, LPCSTR pszFolder, LPCSTR pszPattern)
{
    memset(pRequest, 0, sizeof *pRequest);
    pRequest->dwRegistration = dwRegistration;
    CopyText(pRequest->szDriverFolder, pszFolder, sizeof pRequest->szDriverFolder);
    CopyText(pRequest->szPatternName, pszPattern, sizeof pRequest->szPatternName);
    pRequest->bMode = g_bMode;
}

DWORD WINAPI MasterThread(LPVOID pParam)
{
    START_BLOCK* pStart = (START_BLOCK*)pParam;
    IOT_EVENT_REQUEST request;
    FillRequest(&request, IOT_REGISTRATION_REALTIME, g_szDriverFolder, pStart->szPatternName);
    delete pStart;
    Call(CTL_REALTIME_EVENTS, &request, sizeof request);
    FillRequest(&request, IOT_REGISTRATION_SCAN, "", "");
    Call(CTL_SCAN_EVENTS, &request, sizeof request);
    SetEvent(g_hStartedEvent);
    // The driver ends the wait with an asynchronous procedure call when records wait.
    while (WaitForSingleObjectEx(g_hStopEvent, INFINITE, TRUE) == WAIT_IO_COMPLETION)
        DeliverWaitingEvents();
    OutputDebugStringA("MasterThrad is existing \n");
    SetEvent(g_hStartedEvent);
    return 0;
}

// Stops the master thread; one that does not end in time is left to end on its own. Returns 1.
BOOL StopMasterThread()
{
    if (g_hStopEvent)
        SetEvent(g_hStopEvent);
    if (g_hMasterThread)
    {
        if (WaitForSingleObject(g_hMasterThread, 10000) == WAIT_OBJECT_0)
            CloseHandle(g_hMasterThread);
        else
            g_hLeftMaster = g_hMasterThread;
        g_hMasterThread = NULL;
    }
    return TRUE;
}

void ReleaseResources()
{
    // A spare buffer that a callback still holds is freed by its IOT_FreeEvent, which no longer
    // takes it for the spare.
    BYTE* pSpare = (BYTE*)InterlockedExchangePointer((PVOID volatile*)&g_pSpare, NULL);
    if (InterlockedCompareExchange(&g_fSpareBusy, 1, 0) == 0)
        free(pSpare);
    g_fSpareBusy = 0;
    if (!g_hLeftMaster)
    {
        free(g_pReceive);
        if (g_hStopEvent)
            CloseHandle(g_hStopEvent);
        if (g_hStartedEvent)
            CloseHandle(g_hStartedEvent);
    }
    g_pReceive = NULL;
    g_hStopEvent = g_hStartedEvent = NULL;
}

// Unregisters from the driver and closes the device; FALSE when unregistering failed.
BOOL CloseDevice(CIOTDevice* pDevice)
{
    IOT_PROCESS_PAIR pair = {GetCurrentProcessId(), GetCurrentProcessId()};
    DWORD cb = 0;
    pDevice->Control(CTL_DELETE_EXCEPTION, &pair, sizeof pair, NULL, 0, &cb);
    BOOL fUnregistered = pDevice->Control(CTL_UNREGISTER, NULL, 0, NULL, 0, &cb);
    pDevice->Close();
    delete pDevice;
    return fUnregistered;
}

void BuildDriverFolder(LPCSTR pszFolder)
{
    char szLong[MAX_PATH] = "";
    if (pszFolder && *pszFolder)
    {
        CopyText(szLong, pszFolder, sizeof szLong);
    }
    else
    {
        GetModuleFileNameA(NULL, szLong, sizeof szLong);
        char* pSlash = NULL;
        for (char* p = szLong; *p; p = CharNextA(p))
            if (*p == '\\')
                pSlash = p;
        if (pSlash)
            *pSlash = 0;
    }
    if (!GetShortPathNameA(szLong, g_szDriverFolder, sizeof g_szDriverFolder))
        CopyText(g_szDriverFolder, szLong, sizeof g_szDriverFolder);
    AddBackslash(g_szDriverFolder, sizeof g_szDriverFolder);
}

CIOTDevice* OpenDevice()
{
    char szPath[264];
    size_t n = strlen(g_szDriverFolder);
    if (n)
    {
        if (4 + n - 1 + sizeof("\\filter32.vxd") > sizeof szPath)
            return NULL;
        sprintf(szPath, "\\\\.\\%.*s\\filter32.vxd", int(n - 1), g_szDriverFolder);
    }
    else
    {
        strcpy(szPath, "\\\\.\\filter32.vxd");
    }
    return CIOTDevice::Open(szPath, g_szDriverFolder);
}

BOOL PrefixMatches(LPCSTR pszPath, LPCSTR pszName)
{
    int n = lstrlenA(pszName);
    if (lstrlenA(pszPath) < n)
        return FALSE;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, pszPath, n, pszName, n) == CSTR_EQUAL;
}

struct ErrorPair
{
    int nDriver;
    DWORD dwError;
};

const ErrorPair s_errors[] = {
    {-1, 0xF02F}, {-2, 0xF030}, {-3, 0xF031}, {-4, 0xF032}, {-76, 0xF034}, {-101, 0xF039},
    {-1013, 0xF03A}, {-1014, 0xF035}, {-1015, 0xF036}, {-1016, 0xF037}, {-1017, 0xF038}, {-1018, 0xF03B},
    {-1020, 0xF112}, {-1000, 0xF00F}, {-1001, 0xF010}, {-1002, 0xF008}, {-1003, 0xF009}, {-1004, 0xF011},
    {-1005, 0xF00D}, {-1006, 0xF012}, {-1007, 0xF013}, {-1008, 0xF014}, {-1009, 0xF015}, {-1010, 0xF02C},
    {-1011, 0xF02D}, {-1100, 0xF051},
};

}  // namespace

void IOT_TestFailAllocations(int nCount) { InterlockedExchange(&g_nFailAllocations, nCount); }

DWORD IOT_MapDriverError(int nDriverError)
{
    if (nDriverError <= -78 && nDriverError >= -99)
        return 0xF016 + DWORD(-78 - nDriverError);
    for (size_t i = 0; i < sizeof s_errors / sizeof s_errors[0]; ++i)
        if (s_errors[i].nDriver == nDriverError)
            return s_errors[i].dwError;
    return DWORD(0xF100 - nDriverError);
}

DWORD IOT_MultiStringLength(LPCSTR pszMulti)
{
    DWORD cb = 0;
    if (!pszMulti)
        return 0;
    for (LPCSTR p = pszMulti; *p; p += strlen(p) + 1)
        cb += DWORD(strlen(p) + 1);
    return cb + 2;
}

BOOL IOT_Start(int* pnResult, LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
               LPCSTR pszPatternName, int* pnNameMatches, int nMode)
{
    int nDummy;
    int& nResult = pnResult ? *pnResult : nDummy;
    if (Device())
    {
        nResult = 0;
        SetLastError(IOT_ERR_ALREADY_OPEN);
        return TRUE;
    }
    // A master thread left running by the last stop must be gone: it reads the library's state.
    if (g_hLeftMaster)
    {
        if (WaitForSingleObject(g_hLeftMaster, 10000) != WAIT_OBJECT_0)
        {
            nResult = 1;
            SetLastError(IOT_ERR_THREAD);
            return FALSE;
        }
        CloseHandle(g_hLeftMaster);
        g_hLeftMaster = NULL;
    }
    DWORD dwError = 0;
    g_bMode = BYTE(nMode);
    g_hStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_hStartedEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_pSpare = (BYTE*)malloc(SPARE_SIZE);
    g_pReceive = (BYTE*)malloc(IOT_WIRE_EVENT_MAX);
    CIOTDevice* pDevice = NULL;
    if (!g_hStopEvent || !g_hStartedEvent || !g_pSpare || !g_pReceive)
    {
        nResult = 2;
        dwError = IOT_ERR_RESOURCES;
    }
    else
    {
        BuildDriverFolder(pszDriverFolder);
        pDevice = OpenDevice();
        if (!pDevice)
        {
            nResult = 3;
            dwError = IOT_ERR_OPEN_DEVICE;
        }
    }
    if (pDevice)
    {
        g_pDevice = pDevice;
        g_channels[0].pContext = pContext;
        g_channels[0].pfnCallback = pfnCallback;
        START_BLOCK* pStart = new START_BLOCK;
        CopyText(pStart->szPatternName, pszPatternName, sizeof pStart->szPatternName);
        DWORD dwThreadId = 0;
        g_hMasterThread = CreateThread(NULL, 0, MasterThread, pStart, 0, &dwThreadId);
        if (!g_hMasterThread)
        {
            delete pStart;
            nResult = 1;
            dwError = IOT_ERR_THREAD;
        }
        else
        {
            SetThreadPriority(g_hMasterThread, THREAD_PRIORITY_TIME_CRITICAL);
            DWORD dwWait = WaitForSingleObject(g_hStartedEvent, 60000);
            SetThreadPriority(g_hMasterThread, THREAD_PRIORITY_NORMAL);
            if (dwWait != WAIT_OBJECT_0)
            {
                nResult = 6;
                dwError = IOT_ERR_TIMEOUT;
            }
        }
    }
    if (!dwError)
    {
        int nState = 0;
        if (!Call(CTL_DRIVER_STATE, NULL, 0, &nState, sizeof nState))
        {
            nState = 4;
            SetLastError(IOT_ERR_DRIVER_STATE);
        }
        else if (nState == DRIVER_STATE_READY)
        {
            nState = 0;
        }
        if (nState)
        {
            nResult = nState;
            dwError = IOT_ERR_NOT_READY;
        }
    }
    if (!dwError)
    {
        memset(g_szPatternPath, 0, sizeof g_szPatternPath);
        if (!Call(CTL_PATTERN_FILE, NULL, 0, g_szPatternPath, sizeof g_szPatternPath))
            SetLastError(IOT_ERR_NO_PATTERN);
        BOOL fStarted = Call(CTL_START_ENGINE, NULL, 0);
        g_nInitStatus = IOT_QueryInitStatus();
        if (!fStarted || g_nInitStatus != 0)
        {
            if (g_nInitStatus == 9)
            {
                nResult = 9;
                dwError = IOT_ERR_INIT_STATUS_9;
            }
            else
            {
                nResult = 5;
                dwError = IOT_ERR_NO_PATTERN;
            }
        }
    }
    if (!dwError)
    {
        nResult = 0;
        IOT_AddExceptionProcess(GetCurrentProcessId());
        if (pnNameMatches)
        {
            char szPath[260] = "";
            *pnNameMatches = pszPatternName && Call(CTL_PATTERN_FILE, NULL, 0, szPath, sizeof szPath) &&
                             PrefixMatches(szPath, pszPatternName);
        }
        SetLastError(0);
        return TRUE;
    }
    CIOTDevice* pOpen = (CIOTDevice*)InterlockedExchangePointer((PVOID volatile*)&g_pDevice, NULL);
    WaitForCallers();
    StopMasterThread();
    if (pOpen)
        CloseDevice(pOpen);
    ReleaseResources();
    ClearChannel(&g_channels[0]);
    (void)dwError;
    SetLastError(IOT_ERR_START_FAILED);
    return FALSE;
}

BOOL IOT_StartMode(int* pnResult, LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
                   int nMode)
{
    return IOT_Start(pnResult, pContext, pfnCallback, pszDriverFolder, NULL, NULL, nMode);
}

BOOL IOT_Stop()
{
    CIOTDevice* pDevice = (CIOTDevice*)InterlockedExchangePointer((PVOID volatile*)&g_pDevice, NULL);
    if (!pDevice)
    {
        SetLastError(IOT_ERR_NOT_OPEN);
        return FALSE;
    }
    // A request still running goes on with the device; the driver goes once every one is out,
    // and after the master thread: a call the driver queued to that thread runs the driver's code.
    WaitForCallers();
    BOOL fThread = StopMasterThread();
    BOOL fUnregistered = CloseDevice(pDevice);
    ReleaseResources();
    ClearChannel(&g_channels[0]);
    ClearChannel(&g_channels[1]);
    memset(g_szDriverFolder, 0, sizeof g_szDriverFolder);
    memset(g_szPatternPath, 0, sizeof g_szPatternPath);
    if (!fUnregistered)
    {
        SetLastError(IOT_ERR_UNREGISTER);
        return FALSE;
    }
    return fThread;
}

int IOT_GetInitError() { return g_nInitStatus; }

BOOL IOT_SetScanCallback(LPVOID pContext, IOT_EventCallback pfnCallback)
{
    if (NotOpen())
        return FALSE;
    g_channels[1].pContext = pContext;
    g_channels[1].pfnCallback = pfnCallback;
    // A new scan begins: a stop request of the one before no longer holds.
    int nClear = 0;
    Call(CTL_STOP_SCAN, &nClear, sizeof nClear);
    return TRUE;
}

BOOL IOT_FreeEvent(LPVOID pEvent)
{
    if (pEvent && pEvent == g_pSpare)
    {
        // Not freed, but handed back: the next event may use it.
        InterlockedExchange(&g_fSpareBusy, 0);
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    if (!pEvent)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    free(pEvent);
    return TRUE;
}

BOOL IOT_Hook(LPCSTR pszFileTypes)
{
    if (NotOpen())
        return FALSE;
    IOT_SetFilterString(pszFileTypes);
    Call(CTL_TURN_ON, NULL, 0);
    return TRUE;
}

BOOL IOT_Unhook()
{
    if (NotOpen())
        return FALSE;
    Call(CTL_TURN_OFF, NULL, 0);
    return TRUE;
}

BOOL IOT_TurnOffRealTimeScan() { return Call(CTL_TURN_OFF, NULL, 0); }
BOOL IOT_TurnOnRealTimeScan() { return Call(CTL_TURN_ON, NULL, 0); }
BOOL IOT_SetFilterString(LPCSTR pszFileTypes) { return SendText(CTL_FILTER_STRING, pszFileTypes, FALSE); }

BOOL IOT_RegisterConnectNotify(HWND hWnd, UINT uMessage)
{
    IOT_CONNECT_NOTIFY request;
    request.nWindow = HandleToLong(hWnd);
    request.uMessage = uMessage;
    return Call(CTL_CONNECT_NOTIFY, &request, sizeof request);
}

BOOL IOT_AddExceptionProcess(DWORD dwProcessId)
{
    if (!Device())
        return FALSE;
    IOT_PROCESS_PAIR pair = {GetCurrentProcessId(), dwProcessId};
    return Call(CTL_ADD_EXCEPTION, &pair, sizeof pair);
}

BOOL IOT_DeleteExceptionProcess(DWORD dwProcessId)
{
    IOT_PROCESS_PAIR pair = {GetCurrentProcessId(), dwProcessId};
    return Call(CTL_DELETE_EXCEPTION, &pair, sizeof pair);
}

BOOL IOT_SetIOFilter(DWORD dwMask) { return SendDword(CTL_IO_FILTER, dwMask); }
BOOL IOT_SetExcludedPaths(LPCSTR pszMulti) { return SendMultiString(CTL_EXCLUDED_PATHS, pszMulti); }

static BOOL SendAction(DWORD dwCode, int nAction, LPCSTR pszText, int nType, BOOL fFirst)
{
    if (NotOpen())
        return FALSE;
    BOOL fValid = fFirst ? ((nAction >= 0 && nAction <= 4) || nAction == 99)
                         : (nAction == 0 || nAction == 1 || nAction == 2 || nAction == 4);
    if (!fValid)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    char sz[260] = "";
    if (pszText && *pszText)
    {
        if (nAction == IOT_ACTION_MOVE)
        {
            CopyText(sz, pszText, sizeof sz - 1);
            AddBackslash(sz, sizeof sz);
        }
        else if (nAction == IOT_ACTION_RENAME)
        {
            if (!IsExtension(pszText))
            {
                SetLastError(IOT_ERR_INVALID_ARG);
                return FALSE;
            }
            CopyText(sz, pszText, sizeof sz);
        }
    }
    return SendTyped(dwCode, nAction, sz, nType);
}

BOOL IOT_SetFirstAction(int nAction, LPCSTR pszText, int nType)
{
    return SendAction(CTL_FIRST_ACTION, nAction, pszText, nType, TRUE);
}

BOOL IOT_SetSecondAction(int nAction, LPCSTR pszText, int nType)
{
    return SendAction(CTL_SECOND_ACTION, nAction, pszText, nType, FALSE);
}

BOOL IOT_SetBackupIfClean(BOOL fBackup, int nType) { return SendTyped(CTL_BACKUP_IF_CLEAN, fBackup, NULL, nType); }

int IOT_ScanFile(LPCSTR pszPath)
{
    if (!Device() || !g_channels[1].pfnCallback)
    {
        SetLastError(IOT_ERR_NOT_OPEN);
        return 1;
    }
    if (!pszPath || !*pszPath)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return 1;
    }
    int nReply = 0;
    if (!Call(CTL_SCAN_FILE, (LPVOID)pszPath, DWORD(strlen(pszPath) + 1), &nReply, sizeof nReply))
    {
        SetLastError(IOT_ERR_SCAN_FILE);
        return 1;
    }
    return nReply;
}

BOOL IOT_SetCompressedLayer(int nLayer, int nType)
{
    if (NotOpen())
        return FALSE;
    if (nLayer < 0 || nLayer > 20)
    {
        SetLastError(IOT_ERR_LAYER);
        return FALSE;
    }
    return SendTyped(CTL_COMPRESSED_LAYER, nLayer, NULL, nType);
}

BOOL IOT_SetMoveFolder(LPCSTR pszFolder, int nType) { return SendFolder(CTL_MOVE_FOLDER, pszFolder, nType); }

static BOOL SendExtension(DWORD dwCode, LPCSTR pszExtension, int nType)
{
    if (NotOpen())
        return FALSE;
    if (!IsExtension(pszExtension))
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    return SendTyped(dwCode, 0, pszExtension, nType);
}

BOOL IOT_SetRenameExtension(LPCSTR pszExtension, int nType)
{
    return SendExtension(CTL_RENAME_EXTENSION, pszExtension, nType);
}

BOOL IOT_SetSecondMoveFolder(LPCSTR pszFolder, int nType)
{
    return SendFolder(CTL_SECOND_MOVE_FOLDER, pszFolder && *pszFolder ? pszFolder : g_szDriverFolder, nType);
}

BOOL IOT_SetSecondRenameExtension(LPCSTR pszExtension, int nType)
{
    return SendExtension(CTL_SECOND_RENAME_EXTENSION, pszExtension, nType);
}

BOOL IOT_SetScanNetworkFileFlag(BOOL fScan) { return SendDword(CTL_NETWORK_FLAG, DWORD(fScan)); }
BOOL IOT_SetOption33(DWORD dwValue) { return SendDword(CTL_OPTION33, dwValue); }
BOOL IOT_SetOption34(DWORD dwValue) { return SendDword(CTL_OPTION34, dwValue); }

BOOL IOT_GetEngineVersion(DWORD* pdwVersion)
{
    DWORD dw = 0;
    BOOL f = Call(CTL_ENGINE_VERSION, NULL, 0, &dw, sizeof dw);
    if (f && pdwVersion)
        *pdwVersion = dw;
    return f;
}

BOOL IOT_GetDefaultPatternFile(LPSTR pszPath)
{
    if (!pszPath)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    return Call(CTL_PATTERN_FILE, NULL, 0, pszPath, 260);
}

BOOL IOT_GetValue39(DWORD* pdwValue)
{
    DWORD dw = 0;
    BOOL f = Call(CTL_VALUE39, NULL, 0, &dw, sizeof dw);
    if (f && pdwValue)
        *pdwValue = dw;
    return f;
}

DWORD IOT_ActOnFile(int nAction, LPCSTR pszPath)
{
    if (NotOpen())
        return 0;
    if (nAction < 1 || nAction > 4 || !pszPath || !*pszPath || !Fits(pszPath, 260))
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return 0;
    }
    DWORD dwReply = 0;
    if (!SendTyped(CTL_ACT_ON_FILE, nAction, pszPath, 0, &dwReply, sizeof dwReply))
        return 0;
    return dwReply;
}

BOOL IOT_StopScan() { return Call(CTL_STOP_SCAN, NULL, 0); }

int IOT_ScanBootSector(char cDrive, BPMINFO* pInfo)
{
    return BpmRequest(CTL_SCAN_BOOT, DWORD(UpperDrive(cDrive) - 'A'), pInfo, 1);
}

int IOT_ScanPartition(char cDrive, BPMINFO* pInfo)
{
    return BpmRequest(CTL_SCAN_PARTITION, DWORD((UpperDrive(cDrive) - 'C') | 0x80),
                      pInfo, 1);
}

int IOT_CleanBPVirus(char cDrive, BPMINFO* pInfo)
{
    // Upper-cased as for the scans, so that "c" and "C" name the same drive.
    int nDrive = UpperDrive(cDrive) - 'A';
    char szDebug[64];
    sprintf(szDebug, "cDrive = %c iDrive=%d", cDrive, nDrive);
    OutputDebugStringA(szDebug);
    if (NotOpen())
        return 1;
    IOT_BPM_REPLY block;
    memset(&block, 0, sizeof block);
    if (pInfo)
        memcpy(&block.info, pInfo, sizeof block.info);
    block.nResult = nDrive;
    if (!Call(CTL_CLEAN_BP, &block, sizeof block, &block, sizeof block))
        return 1;
    return block.nResult;
}

BOOL IOT_GetVirusCount(DWORD* pdwCount)
{
    DWORD dw = 0;
    BOOL f = Call(CTL_VIRUS_COUNT, NULL, 0, &dw, sizeof dw);
    if (f && pdwCount)
        *pdwCount = dw;
    return f;
}

int IOT_GetVirusNameList(LPVOID pBuffer)
{
    if (!pBuffer)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return 0;
    }
    IOT_NAME_LIST header;
    memcpy(&header, pBuffer, sizeof header);
    if (header.nCapacity < 0 || DWORD(header.nCapacity) > (0x7FFFFFFFu - sizeof header) / sizeof(IOT_NAME_RECORD))
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return 0;
    }
    DWORD cbOut = DWORD(sizeof header + sizeof(IOT_NAME_RECORD) * header.nCapacity);
    DWORD cb = 0;
    if (!Call(CTL_VIRUS_NAMES, pBuffer, sizeof header, pBuffer, cbOut, &cb) || cb < sizeof header)
        return 0;
    return int((cb - sizeof header) / sizeof(IOT_NAME_RECORD));
}

BOOL IOT_GetFilterVersion(DWORD* pdwVersion)
{
    DWORD dw = 0;
    BOOL f = Call(CTL_FILTER_VERSION, NULL, 0, &dw, sizeof dw);
    if (f && pdwVersion)
        *pdwVersion = dw;
    return f;
}

int IOT_SetEnviromentType(int nType)
{
    if (NotOpen())
        return 0;
    if (nType < 0 || nType > 2)
    {
        SetLastError(IOT_ERR_ENVIRONMENT);
        return -1;
    }
    DWORD dw = DWORD(nType);
    int nReply = -1;
    if (!Call(CTL_ENVIRONMENT, &dw, sizeof dw, &nReply, sizeof nReply))
        return -1;
    return nReply;
}

BOOL IOT_SetDirectory49(LPCSTR pszFolder)
{
    if (NotOpen())
        return FALSE;
    if (!pszFolder || !*pszFolder || _access(pszFolder, 6) != 0)
        return FALSE;
    char sz[260];
    CopyText(sz, pszFolder, sizeof sz - 1);
    AddBackslash(sz, sizeof sz);
    return Call(CTL_DIRECTORY49, sz, DWORD(strlen(sz) + 1));
}

BOOL IOT_SetPathPair51(LPCSTR pszName, LPCSTR pszFolder)
{
    if (NotOpen())
        return FALSE;
    if (!pszName || !*pszName || !pszFolder || !*pszFolder)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    char ab[520];
    memset(ab, 0, sizeof ab);
    CopyText(ab, pszName, 260);
    CopyText(ab + 260, pszFolder, 260);
    size_t n = strlen(ab + 260);
    if (n > 1 && ab[260 + n - 1] == '\\' && ab[260 + n - 2] != ':')
        ab[260 + n - 1] = 0;
    return Call(CTL_PATH_PAIR51, ab, sizeof ab);
}

int IOT_ScanMemory(BPMINFO* pInfo) { return BpmRequest(CTL_SCAN_MEMORY, 0, pInfo, 0); }

BOOL IOT_SetExcludedFileNames(LPCSTR pszMulti) { return SendMultiString(CTL_EXCLUDED_NAMES, pszMulti); }

int IOT_QueryInitStatus()
{
    int nStatus = 0;
    if (!Call(CTL_INIT_STATUS, NULL, 0, &nStatus, sizeof nStatus))
    {
        SetLastError(IOT_ERR_INIT_STATUS);
        return -4;
    }
    return nStatus;
}

BOOL IOT_SetForbiddenList(LPCSTR pszMulti) { return SendMultiString(CTL_FORBIDDEN_LIST, pszMulti); }

BOOL IOT_SetBackupDirectory(LPCSTR pszFolder, int nType) { return SendFolder(CTL_BACKUP_DIRECTORY, pszFolder, nType); }

int IOT_SetZipCleanFlag(BOOL fClean, int nType)
{
    if (NotOpen())
        return 0;
    DWORD dwReply = 0;
    if (!SendTyped(CTL_SET_ZIP_CLEAN, fClean ? 1 : 0, NULL, nType, &dwReply, sizeof dwReply))
        return 0;
    return dwReply ? 1 : 0;
}

int IOT_GetZipCleanFlag(int nType)
{
    if (!Device())
        return 0;
    DWORD dwReply = 0;
    if (!SendTyped(CTL_GET_ZIP_CLEAN, 0, NULL, nType, &dwReply, sizeof dwReply))
        return 0;
    return dwReply ? 1 : 0;
}

BOOL IOT_SetMaxExtractFileSize(DWORD dwBytes, int nType)
{
    return SendTyped(CTL_SET_MAX_EXTRACT, int(dwBytes), NULL, nType);
}

int IOT_GetMaxExtractFileSize(int nType) { return QueryByType(CTL_GET_MAX_EXTRACT, nType); }
int IOT_GetOleLayer(int nType) { return QueryByType(CTL_GET_OLE_LAYER, nType); }
BOOL IOT_SetOleLayer(int nLayer, int nType) { return SendTyped(CTL_SET_OLE_LAYER, nLayer, NULL, nType); }

int IOT_GetBackupEncodeFlag()
{
    int nReply = 0;
    Call(CTL_GET_BACKUP_ENCODE, NULL, 0, &nReply, sizeof nReply);
    return nReply;
}

BOOL IOT_SetBackupEncodeFlag(BOOL fEncode) { return SendDword(CTL_SET_BACKUP_ENCODE, DWORD(fEncode)); }

BOOL IOT_EncodeFile(LPCSTR pszSource, LPCSTR pszDestination)
{
    if (!Device())
    {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    if (!Fits(pszSource, 260) || !Fits(pszDestination, 260) || !*pszSource || !*pszDestination)
    {
        SetLastError(IOT_ERR_INVALID_ARG);
        return FALSE;
    }
    IOT_TWO_PATH_BLOCK block;
    memset(&block, 0, sizeof block);
    block.dwStatus = ERROR_GEN_FAILURE;
    CopyText(block.szSource, pszSource, sizeof block.szSource);
    CopyText(block.szDestination, pszDestination, sizeof block.szDestination);
    if (!Call(CTL_ENCODE_FILE, &block, sizeof block, &block, sizeof block))
        return FALSE;
    if (block.dwStatus)
    {
        SetLastError(block.dwStatus);
        return FALSE;
    }
    return TRUE;
}

BOOL IOT_OppCommand5(LPCSTR pszText) { return SendText(CTL_OPP5, pszText, TRUE); }
BOOL IOT_OppCommand7(LPCSTR pszMulti) { return SendMultiString(CTL_OPP7, pszMulti); }
BOOL IOT_OppCommand3(LPCSTR pszText) { return SendText(CTL_OPP3, pszText, TRUE); }
int IOT_GetIntelliScanFlag(int nType) { return FlagRequest(CTL_GET_INTELLI, nType, 0, FALSE); }
BOOL IOT_SetIntelliScanFlag(int nType, BOOL fFlag) { return FlagRequest(CTL_SET_INTELLI, nType, fFlag, TRUE); }
int IOT_GetActiveActionFlag(int nType) { return FlagRequest(CTL_GET_ACTIVE, nType, 0, FALSE); }
BOOL IOT_SetActiveActionFlag(int nType, BOOL fFlag) { return FlagRequest(CTL_SET_ACTIVE, nType, fFlag, TRUE); }

BOOL IOT_SetMaxCompressedFileCount(int nCount, int nType)
{
    return SendTyped(CTL_SET_MAX_COUNT, nCount, NULL, nType);
}

int IOT_GetMaxCompressedFileCount(int nType) { return QueryByType(CTL_GET_MAX_COUNT, nType); }
BOOL IOT_OppCommand4(LPCSTR pszText) { return SendText(CTL_OPP4, pszText, TRUE); }
BOOL IOT_OppCommand6(LPCSTR pszMulti) { return SendMultiString(CTL_OPP6, pszMulti); }

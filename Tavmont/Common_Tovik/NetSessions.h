// The computers and users connected to this PC's shares: the infection source of a
// virus-log record. Read from the server service of Windows 95/98 file and printer
// sharing ("NetSessionEnum" of "Svrapi.dll").
#ifndef VGL_NETSESSIONS_H
#define VGL_NETSESSIONS_H

#include <windows.h>

// The client's copy of one session.
struct SessionRecord
{
    char szClientName[128];
    char szUserName[64];
    DWORD dwConnectedTime;   // seconds
    DWORD dwIdleTime;        // seconds
};

enum
{
    SESSION_LEVEL = 50,              // the level of the entries asked for
    SESSION_BUFFER_SIZE = 2600,      // bytes of the answer
    MAX_SESSION_RECORDS = 100,
    ACTIVE_SESSION_IDLE_LIMIT = 5    // sessions idle this many seconds or more are left out
};

#pragma pack(push, 1)
// One level-50 entry of the server service's answer.
struct SSessionInfo50
{
    char* pszClientName;
    char* pszUserName;
    DWORD dwKey;
    WORD wConnections;
    WORD wOpenFiles;
    DWORD dwConnectedTime;
    DWORD dwIdleTime;
    BYTE bProtocol;
    BYTE abPadding[3];
};
#pragma pack(pop)

typedef UINT (WINAPI *PFN_NETSESSIONENUM)(const char* pszServer, short sLevel, char* pbBuffer,
                                          unsigned short cbBuffer, unsigned short* pcEntriesRead,
                                          unsigned short* pcTotalAvailable);

// "client\user;client\user..." of the sessions active in the last 5 seconds, least idle
// first, cut to whole items within cbSource - 1 characters. Returns the length written;
// 0 when nothing was found or the service is not available. pvUnused is not read.
int GetInfectionSource(LPVOID pvUnused, LPSTR pszSource, int cbSource);
// The same over the given enumerator (NULL: nothing found). A fault inside the
// enumerator counts as a failure.
int GetInfectionSourceWith(PFN_NETSESSIONENUM pfnEnum, LPSTR pszSource, int cbSource);

#endif

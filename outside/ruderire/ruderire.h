// Ruderire.DLL's records: the one declaration that the library and its callers share.
// They are passed within one process, between a program and the library built for the
// same target, so their pointers follow the target: 4-byte packing as on i686, where every
// field is 4 bytes; on x86_64 each pointer takes 8.
#ifndef VGL_OUTSIDE_RUDERIRE_H
#define VGL_OUTSIDE_RUDERIRE_H

#include <windows.h>

#define KVU_ENTRY_REST 2356     // the entry's bytes after its fields

#pragma pack(push, 4)
// One component of a run; the caller passes an array of them.
typedef struct KvuComponentEntry
{
    DWORD dwKind;           // 1 program, 2 engine, 3 pattern
    DWORD dwOptions;
    DWORD dwValue;          // 0: fetch this component
    const void* pSource;    // the destination record (KvuDestination)
    DWORD dwOptions2;       // the current version (pattern number, engine or program version)
    DWORD dwValue2;
    DWORD adwReserved[4];
    DWORD dwOptions3;
    DWORD dwOptions4;
    BYTE abRest[KVU_ENTRY_REST];
} KvuComponentEntry;

// The source record: where to fetch from and through which proxy.
typedef struct KvuServer
{
    char* pszUrl;           // the caller's buffer: the caller may put the port into it
    int nPort;
    const char* pszUser;
    const char* pszPassword;
    const char* pszProxyLogin;
    const char* pszProxyPassword;
    const char* pszProxyServer;
    DWORD fUseProxy;
    DWORD nProxyPort;
    DWORD adwReserved[2];
} KvuServer;

// The destination record: where the unpacked files go.
typedef struct KvuDestination
{
    const char* pszTarget;
    const char* pszUser;
    const char* pszPassword;
    DWORD adwReserved[2];
} KvuDestination;
#pragma pack(pop)

// The progress callback: nEvent 1 a component starts (dwValue its kind), 4 its download's
// length is known, 5 bytes received so far, 6 the component is unpacked. FALSE cancels.
typedef int (*KVU_PROGRESS_CALLBACK)(int nEvent, DWORD dwValue, void* pContext);

// The layouts on both targets: i686 2404, 44 and 20 bytes.
#ifdef __cplusplus
#define KVU_CHECK(expr, text) static_assert(expr, text)
#else
#define KVU_CHECK(expr, text) _Static_assert(expr, text)
#endif
KVU_CHECK(__builtin_offsetof(KvuComponentEntry, dwOptions2) == 12 + sizeof(void*), "component entry");
KVU_CHECK(__builtin_offsetof(KvuComponentEntry, dwOptions3) == 36 + sizeof(void*), "component entry");
KVU_CHECK(__builtin_offsetof(KvuComponentEntry, abRest) == 44 + sizeof(void*), "component entry");
KVU_CHECK(sizeof(KvuComponentEntry) == 44 + sizeof(void*) + KVU_ENTRY_REST, "component entry");
KVU_CHECK(__builtin_offsetof(KvuServer, pszProxyServer) == 4 + 5 * sizeof(void*), "source record");
KVU_CHECK(__builtin_offsetof(KvuServer, fUseProxy) == 4 + 6 * sizeof(void*), "source record");
KVU_CHECK(sizeof(KvuServer) == 20 + 6 * sizeof(void*), "source record");
KVU_CHECK(sizeof(KvuDestination) == 8 + 3 * sizeof(void*), "destination record");

#endif

// Ruderire.DLL: downloads components (pattern, engine, program) from an update
// server. A run is described by an array of component entries, a source record
// (the server's URL and port) and update flags; each entry is handled by the
// component handler of its kind.
//
// Every call is written to the journal: the file named by VGL_RUDERIRE_JOURNAL,
// else "Ruderire.log" beside the library.
#include <windows.h>

#include "journal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#pragma pack(push, 4)
struct KvuComponentEntry
{
    DWORD dwKind;           // 1 program, 2 engine, 3 pattern
    DWORD dwOptions;
    DWORD dwValue;
    const void* pSource;
    DWORD dwOptions2;
    DWORD dwValue2;
    DWORD adwReserved[4];
    DWORD dwOptions3;       // offset 40
    DWORD dwOptions4;       // offset 44
    BYTE abRest[2404 - 48];
};

struct KvuServer
{
    const char* pszUrl;
    int nPort;
};
#pragma pack(pop)

typedef int (*KVU_PROGRESS_CALLBACK)(int nEvent, DWORD dwValue, void* pContext);

namespace
{
enum
{
    KVU_OK = 0,
    KVU_E_ARGUMENT = 1,
    KVU_NOTHING_NEW = 4,
    KVU_E_CANCELLED = 10,
    KVU_E_CONTEXT = 2,
};

CRITICAL_SECTION g_lock;
std::map<std::string, std::string> g_properties;

struct SContext
{
    DWORD dwMagic;
    std::map<std::string, std::string> properties;
};
const DWORD CONTEXT_MAGIC = 0x5556554B;

CJournal g_journal("Ruderire.log", "VGL_RUDERIRE_JOURNAL");

const char* text(const char* psz)
{
    return psz ? psz : "(null)";
}

SContext* context(void* pv)
{
    SContext* p = (SContext*)pv;
    return p != NULL && p->dwMagic == CONTEXT_MAGIC ? p : NULL;
}

// One component of a run. The download of each kind is done by its handler;
// a component for which the server offers nothing newer is left as it is.
int updateComponent(const KvuComponentEntry& entry, const KvuServer& server, DWORD dwFlags,
                    KVU_PROGRESS_CALLBACK pfnProgress, void* pCallbackContext)
{
    if (pfnProgress != NULL && !pfnProgress(1, entry.dwKind, pCallbackContext))
        return KVU_E_CANCELLED;
    return KVU_NOTHING_NEW;
}
}

extern "C" void* __stdcall KvuCreateContext(int nReserved)
{
    SContext* p = new SContext;
    p->dwMagic = CONTEXT_MAGIC;
    g_journal.Write("KvuCreateContext %d -> %p", nReserved, (void*)p);
    return p;
}

extern "C" int __stdcall KvuReleaseContext(void* pvContext)
{
    SContext* p = context(pvContext);
    g_journal.Write("KvuReleaseContext %p%s", pvContext, p ? "" : " (unknown)");
    if (p == NULL)
        return KVU_E_CONTEXT;
    p->dwMagic = 0;
    delete p;
    return KVU_OK;
}

extern "C" int __stdcall KvuSetProperty(const char* pszName, const char* pszValue)
{
    g_journal.Write("KvuSetProperty %s=%s", text(pszName), text(pszValue));
    if (pszName == NULL || pszValue == NULL)
        return 0;
    EnterCriticalSection(&g_lock);
    g_properties[pszName] = pszValue;
    LeaveCriticalSection(&g_lock);
    return 1;
}

extern "C" int __stdcall KvuSetPropertyEx(void* pvContext, const char* pszName,
                                          const char* pszValue)
{
    SContext* p = context(pvContext);
    g_journal.Write("KvuSetPropertyEx %p %s=%s", pvContext, text(pszName), text(pszValue));
    if (p == NULL || pszName == NULL || pszValue == NULL)
        return 0;
    p->properties[pszName] = pszValue;
    return 1;
}

extern "C" int __stdcall KvuUpdateEx(const KvuComponentEntry* pEntries, int nCount,
                                     const KvuServer* pServer, DWORD dwFlags,
                                     KVU_PROGRESS_CALLBACK pfnProgress, void* pCallbackContext,
                                     void* pvContext)
{
    if (pEntries == NULL || nCount <= 0 || pServer == NULL || context(pvContext) == NULL)
    {
        g_journal.Write("KvuUpdateEx bad argument");
        return KVU_E_ARGUMENT;
    }
    g_journal.Write("KvuUpdateEx url=%s port=%d flags=0x%lX count=%d", text(pServer->pszUrl),
                    pServer->nPort, (unsigned long)dwFlags, nCount);
    int nResult = KVU_OK;
    bool fAnyNew = false;
    for (int i = 0; i < nCount; ++i)
    {
        const KvuComponentEntry& e = pEntries[i];
        g_journal.Write("  entry %d kind=%lu options=%lu value=%lu source=%s options2=%lu value2=%lu "
                        "options3=%lu options4=%lu",
                        i, (unsigned long)e.dwKind, (unsigned long)e.dwOptions, (unsigned long)e.dwValue,
                        e.pSource == pServer ? "server" : (e.pSource ? "other" : "null"),
                        (unsigned long)e.dwOptions2, (unsigned long)e.dwValue2,
                        (unsigned long)e.dwOptions3, (unsigned long)e.dwOptions4);
        int nComponent = updateComponent(e, *pServer, dwFlags, pfnProgress, pCallbackContext);
        if (nComponent == KVU_OK)
            fAnyNew = true;
        else if (nComponent != KVU_NOTHING_NEW)
        {
            nResult = nComponent;
            break;
        }
    }
    if (nResult == KVU_OK && !fAnyNew)
        nResult = KVU_NOTHING_NEW;
    g_journal.Write("KvuUpdateEx -> %d", nResult);
    return nResult;
}

extern "C" int __stdcall KvuUpdate(const KvuComponentEntry* pEntries, int nCount,
                                   const KvuServer* pServer, DWORD dwFlags)
{
    g_journal.Write("KvuUpdate");
    void* pv = KvuCreateContext(0);
    int nResult = KvuUpdateEx(pEntries, nCount, pServer, dwFlags, NULL, NULL, pv);
    KvuReleaseContext(pv);
    return nResult;
}

extern "C" int __stdcall KvuGetPatchInfoEx(void* pvContext, char* pszInfo, int cbInfo)
{
    g_journal.Write("KvuGetPatchInfoEx %p", pvContext);
    if (pszInfo != NULL && cbInfo > 0)
        pszInfo[0] = '\0';
    return context(pvContext) ? KVU_OK : KVU_E_CONTEXT;
}

extern "C" int __stdcall KvuGetErrorString(int nResult, char* pszText, int cbText)
{
    static const struct { int nCode; const char* pszText; } s_texts[] = {
        { KVU_OK, "The update completed." },
        { KVU_E_ARGUMENT, "Invalid argument." },
        { KVU_E_CONTEXT, "Invalid update context." },
        { KVU_NOTHING_NEW, "The components are up to date." },
        { KVU_E_CANCELLED, "The update was cancelled." },
    };
    g_journal.Write("KvuGetErrorString %d", nResult);
    if (pszText == NULL || cbText <= 0)
        return 0;
    char szUnknown[64];
    const char* psz = NULL;
    for (size_t i = 0; i < sizeof(s_texts) / sizeof(s_texts[0]); ++i)
        if (s_texts[i].nCode == nResult)
            psz = s_texts[i].pszText;
    if (psz == NULL)
    {
        sprintf(szUnknown, "Update error %d.", nResult);
        psz = szUnknown;
    }
    lstrcpynA(pszText, psz, cbText);
    return 1;
}

// "X.XXX" -> major << 16 | minor.
extern "C" DWORD __stdcall KvuMakeVersion(const char* pszVersion)
{
    DWORD dwMajor = 0, dwMinor = 0;
    if (pszVersion != NULL)
    {
        dwMajor = strtoul(pszVersion, NULL, 10);
        const char* pszDot = strchr(pszVersion, '.');
        if (pszDot != NULL)
            dwMinor = strtoul(pszDot + 1, NULL, 10);
    }
    DWORD dwVersion = (dwMajor << 16) | (dwMinor & 0xFFFF);
    g_journal.Write("KvuMakeVersion %s -> 0x%lX", text(pszVersion), (unsigned long)dwVersion);
    return dwVersion;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&g_lock);
    else if (dwReason == DLL_PROCESS_DETACH)
        DeleteCriticalSection(&g_lock);
    return TRUE;
}

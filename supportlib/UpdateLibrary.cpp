#include "UpdateLibrary.h"

#include <stdio.h>
#include <string.h>

#include <string>

static_assert(sizeof(SKvuOptions) == 40, "options record");

namespace
{
struct SUpdateBinding
{
    HMODULE hLibrary;
    PFN_KVUCREATECONTEXT pfnCreateContext;
    PFN_KVURELEASECONTEXT pfnReleaseContext;
    PFN_KVUGETERRORSTRING pfnGetErrorString;
    PFN_KVUUPDATEEX pfnUpdateEx;
    PFN_KVUGETPATCHINFOEX pfnGetPatchInfoEx;
    PFN_KVUSETPROPERTYEX pfnSetPropertyEx;
    PFN_KVUSETPROPERTY pfnSetProperty;
} g_kvu;

const DWORD DEFAULT_VALUE = 2;

// One operation at a time holds the binding.
CRITICAL_SECTION* bindingLock()
{
    static CRITICAL_SECTION* s_pLock = [] {
        static CRITICAL_SECTION lock;
        InitializeCriticalSection(&lock);
        return &lock;
    }();
    return s_pLock;
}

template <typename T>
bool resolve(T& pfn, const char* pszName)
{
    pfn = (T)GetProcAddress(g_kvu.hLibrary, pszName);
    return pfn != NULL;
}
}

BOOL bindUpdateLibrary(const char* pszLibraryPath)
{
    unbindUpdateLibrary();
    if (pszLibraryPath == NULL || (g_kvu.hLibrary = LoadLibraryA(pszLibraryPath)) == NULL)
        return FALSE;
    bool fAll = resolve(g_kvu.pfnCreateContext, "KvuCreateContext");
    fAll = resolve(g_kvu.pfnReleaseContext, "KvuReleaseContext") && fAll;
    fAll = resolve(g_kvu.pfnGetErrorString, "KvuGetErrorString") && fAll;
    fAll = resolve(g_kvu.pfnUpdateEx, "KvuUpdateEx") && fAll;
    fAll = resolve(g_kvu.pfnGetPatchInfoEx, "KvuGetPatchInfoEx") && fAll;
    fAll = resolve(g_kvu.pfnSetPropertyEx, "KvuSetPropertyEx") && fAll;
    fAll = resolve(g_kvu.pfnSetProperty, "KvuSetProperty") && fAll;
    if (!fAll)
    {
        unbindUpdateLibrary();
        return FALSE;
    }
    return TRUE;
}

void unbindUpdateLibrary()
{
    if (g_kvu.hLibrary != NULL)
        FreeLibrary(g_kvu.hLibrary);
    memset(&g_kvu, 0, sizeof(g_kvu));
}

void insertPortIntoUrl(char* pszUrl, int nPort, size_t cbUrl)
{
    if (pszUrl == NULL || nPort == 0 || nPort == 80)
        return;
    CharLowerBuffA(pszUrl, (DWORD)strlen(pszUrl));
    char* pszAfter = strstr(pszUrl, "http://");
    if (pszAfter == NULL)
        return;
    pszAfter += 7;
    char* pszSlash = strchr(pszAfter, '/');
    char* pszColon = strchr(pszAfter, ':');
    char szPort[16];
    sprintf(szPort, ":%d", nPort);
    std::string strResult;
    if (pszSlash != NULL && (pszColon == NULL || pszColon > pszSlash))
        strResult = std::string(pszUrl, pszSlash - pszUrl) + szPort + pszSlash;
    else if (pszSlash == NULL && pszColon == NULL)
        strResult = std::string(pszUrl) + szPort;
    else
        return;
    if (strResult.size() < cbUrl)
        memcpy(pszUrl, strResult.c_str(), strResult.size() + 1);
}

int DoKvuUpdate(const SKvuOptions* pOptions, SKvuServer* pServer, const void* pSource,
                DWORD dwFlags, void* pvUnused, PFN_KVU_PROGRESS pfnProgress,
                void* pCallbackContext, DWORD dwValueD, DWORD dwValueE, DWORD dwValueA,
                DWORD dwValueB, DWORD dwValueC, char* pszError, int cbError,
                const char* pszLibraryPath)
{
    if (pOptions == NULL || pServer == NULL || pSource == NULL || pszLibraryPath == NULL)
        return KVU_E_ARGUMENT;
    EnterCriticalSection(bindingLock());
    if (!bindUpdateLibrary(pszLibraryPath))
    {
        LeaveCriticalSection(bindingLock());
        return KVU_E_BIND;
    }
    void* pvContext = g_kvu.pfnCreateContext(0);

    const DWORD* f = pOptions->adwField;   // options fields 1 to 8 are f[0] to f[7]
    WORD wBits = pOptions->wOptionBits;
    UpdateComponentEntry entries[KVU_ENTRY_COUNT];
    memset(entries, 0, sizeof(entries));
    entries[0].dwKind = 3;
    entries[0].dwOptions = f[0];
    entries[0].dwValue = (wBits & 1) ? dwValueA : DEFAULT_VALUE;
    entries[0].dwOptions2 = f[1] ? f[1] : 1;
    entries[1].dwKind = 2;
    entries[1].dwOptions = f[2];
    entries[1].dwValue = (wBits & 2) ? dwValueB : DEFAULT_VALUE;
    entries[1].dwOptions2 = f[3] ? f[3] : 1;
    entries[1].dwValue2 = dwValueD;
    entries[2].dwKind = 1;
    entries[2].dwOptions = f[4];
    entries[2].dwValue = (wBits & 4) ? dwValueC : DEFAULT_VALUE;
    entries[2].dwOptions2 = f[5];
    entries[2].dwValue2 = dwValueE;
    entries[2].dwOptions3 = f[6];
    entries[2].dwOptions4 = f[7];
    for (int i = 0; i < KVU_ENTRY_COUNT; ++i)
        entries[i].pSource = pSource;

    insertPortIntoUrl(pServer->pszUrl, pServer->nPort);
    int nResult = g_kvu.pfnUpdateEx(entries, KVU_ENTRY_COUNT, pServer, dwFlags, pfnProgress,
                                    pCallbackContext, pvContext);
    if (pszError != NULL)
        g_kvu.pfnGetErrorString(nResult, pszError, cbError);
    g_kvu.pfnReleaseContext(pvContext);
    unbindUpdateLibrary();
    LeaveCriticalSection(bindingLock());
    return nResult;
}

int DoKvuSetProperty(const char* pszName, const char* pszValue, const char* pszLibraryPath)
{
    if (pszName == NULL || pszValue == NULL || pszLibraryPath == NULL)
        return 0;
    EnterCriticalSection(bindingLock());
    int nResult = 0;
    if (bindUpdateLibrary(pszLibraryPath))
    {
        nResult = g_kvu.pfnSetProperty(pszName, pszValue);
        unbindUpdateLibrary();
    }
    LeaveCriticalSection(bindingLock());
    return nResult;
}

// Update-library binding: Ruderire.DLL, bound by path for each operation.
#ifndef VGL_UPDATELIBRARY_H
#define VGL_UPDATELIBRARY_H

#include <windows.h>

#include "ruderire.h"

enum
{
    KVU_URL_BUFFER_SIZE = 1024,     // the server record's URL text lives in such a buffer
    KVU_ENTRY_COUNT = 3,
    KVU_E_ARGUMENT = -1,
    KVU_E_BIND = -2
};

#pragma pack(push, 4)
// The caller's options: a leading field, options fields 1 to 8, then the
// option word whose bits 0 to 2 select the values A, B and C.
struct SKvuOptions
{
    DWORD dwLeading;
    DWORD adwField[8];
    WORD wOptionBits;
};
#pragma pack(pop)

// The library's records (ruderire.h): the source record, whose URL lives in a buffer of
// KVU_URL_BUFFER_SIZE bytes, and one component entry.
typedef KvuServer SKvuServer;
typedef KvuComponentEntry UpdateComponentEntry;

typedef KVU_PROGRESS_CALLBACK PFN_KVU_PROGRESS;

// The library's entry points while bound.
typedef void* (__stdcall* PFN_KVUCREATECONTEXT)(int nReserved);
typedef int (__stdcall* PFN_KVURELEASECONTEXT)(void* pvContext);
typedef int (__stdcall* PFN_KVUGETERRORSTRING)(int nResult, char* pszText, int cbText);
typedef int (__stdcall* PFN_KVUUPDATEEX)(UpdateComponentEntry* pEntries, int nCount,
                                         SKvuServer* pServer, DWORD dwFlags,
                                         PFN_KVU_PROGRESS pfnProgress, void* pCallbackContext,
                                         void* pvContext);
typedef int (__stdcall* PFN_KVUSETPROPERTY)(const char* pszName, const char* pszValue);
typedef int (__stdcall* PFN_KVUGETPATCHINFOEX)(void* pvContext, char* pszInfo, int cbInfo);
typedef int (__stdcall* PFN_KVUSETPROPERTYEX)(void* pvContext, const char* pszName,
                                              const char* pszValue);
typedef DWORD (__stdcall* PFN_KVUMAKEVERSION)(const char* pszVersion);

// TRUE when the library was loaded and all seven entry points were found.
BOOL bindUpdateLibrary(const char* pszLibraryPath);
void unbindUpdateLibrary();

// One update run of the three components; the library's result, KVU_E_ARGUMENT
// or KVU_E_BIND. pvUnused is not read.
int DoKvuUpdate(const SKvuOptions* pOptions, SKvuServer* pServer, const void* pSource,
                DWORD dwFlags, void* pvUnused, PFN_KVU_PROGRESS pfnProgress,
                void* pCallbackContext, DWORD dwValueD, DWORD dwValueE, DWORD dwValueA,
                DWORD dwValueB, DWORD dwValueC, char* pszError, int cbError,
                const char* pszLibraryPath);

// Sets one library property; its result, or 0 when an argument is missing or
// the library cannot be bound.
int DoKvuSetProperty(const char* pszName, const char* pszValue, const char* pszLibraryPath);

// Puts a port other than 0 and 80 after the host of an "http://" URL (the URL
// is lower-cased); a URL that names a port keeps it. cbUrl: the buffer's size;
// a result that would not fit leaves the URL lower-cased only.
void insertPortIntoUrl(char* pszUrl, int nPort, size_t cbUrl = KVU_URL_BUFFER_SIZE);

#endif

#include "NetSessions.h"

#include "LogTracker.h"

#include <intrin.h>
#include <string.h>
#include <algorithm>

namespace
{
    // The server service stays loaded for the rest of the process.
    HMODULE volatile g_hSvrapi = NULL;

#if defined(__i386__)
    // A structured exception frame on the thread's chain: a fault inside the outside
    // call unwinds to the frame's jump buffer instead of ending the process.
    struct SGuardFrame
    {
        SGuardFrame* pPrevious;
        void* pHandler;
        void* aJump[5];
    };

    EXCEPTION_DISPOSITION __cdecl guardHandler(EXCEPTION_RECORD* pRecord, void* pFrame, CONTEXT*, void*)
    {
        if (pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
            return ExceptionContinueSearch;
        RtlUnwind(pFrame, NULL, pRecord, NULL);
        __builtin_longjmp(((SGuardFrame*)pFrame)->aJump, 1);
    }

    __attribute__((noinline)) BOOL enumSessionsGuarded(PFN_NETSESSIONENUM pfnEnum, char* pbBuffer,
                                                       unsigned short* pcRead, unsigned short* pcTotal,
                                                       UINT* puResult)
    {
        SGuardFrame frame;
        frame.pHandler = (void*)guardHandler;
        frame.pPrevious = (SGuardFrame*)__readfsdword(0);
        if (__builtin_setjmp(frame.aJump))
        {
            // The unwind left this frame on top of the chain.
            __writefsdword(0, (DWORD)((SGuardFrame* volatile)frame.pPrevious));
            return FALSE;
        }
        __writefsdword(0, (DWORD)&frame);
        *puResult = pfnEnum(NULL, SESSION_LEVEL, pbBuffer, SESSION_BUFFER_SIZE, pcRead, pcTotal);
        __writefsdword(0, (DWORD)frame.pPrevious);
        return TRUE;
    }
#else
    // On 64-bit Windows a handler is found by unwinding, which needs unwind data for every
    // frame between the fault and the handler; Wine's stand-ins for the entries its libraries
    // lack have none, so a frame handler around the call is missed or not, by chance. A
    // vectored handler is asked first: a fault (an exception of error or warning severity)
    // inside this thread's guarded call puts the thread back where the call began. C++
    // exceptions (of success severity) and notices pass on.
    thread_local CONTEXT* t_pResume = NULL;
    thread_local volatile BOOL t_fFaulted = FALSE;

    LONG CALLBACK resumeGuardedCall(EXCEPTION_POINTERS* pPointers)
    {
        CONTEXT* pResume = t_pResume;
        if (pResume == NULL || (pPointers->ExceptionRecord->ExceptionCode & 0x80000000) == 0)
            return EXCEPTION_CONTINUE_SEARCH;
        t_pResume = NULL;
        t_fFaulted = TRUE;
        *pPointers->ContextRecord = *pResume;
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    __attribute__((noinline)) BOOL enumSessionsGuarded(PFN_NETSESSIONENUM pfnEnum, char* pbBuffer,
                                                       unsigned short* pcRead, unsigned short* pcTotal,
                                                       UINT* puResult)
    {
        // Registered once, for the rest of the process; it acts only inside a guarded call.
        static PVOID s_pHandler = AddVectoredExceptionHandler(TRUE, resumeGuardedCall);
        if (s_pHandler == NULL)
            return FALSE;
        CONTEXT resume;
        t_fFaulted = FALSE;
        RtlCaptureContext(&resume);
        // A fault comes back here with the registers of the capture, t_fFaulted set.
        if (t_fFaulted)
        {
            t_fFaulted = FALSE;
            return FALSE;
        }
        t_pResume = &resume;
        *puResult = pfnEnum(NULL, SESSION_LEVEL, pbBuffer, SESSION_BUFFER_SIZE, pcRead, pcTotal);
        t_pResume = NULL;
        return TRUE;
    }
#endif

    // A name of the answer, read only inside the answer and cut to the field.
    void copyName(char* pszField, size_t cbField, const char* pszName, const char* pbBegin, const char* pbEnd)
    {
        pszField[0] = '\0';
        if (!pszName || pszName < pbBegin || pszName >= pbEnd)
            return;
        size_t cch = strnlen(pszName, pbEnd - pszName);
        if (cch > cbField - 1)
            cch = cbField - 1;
        memcpy(pszField, pszName, cch);
        pszField[cch] = '\0';
    }

    bool lessIdle(const SessionRecord& a, const SessionRecord& b)
    {
        return a.dwIdleTime < b.dwIdleTime;
    }

    PFN_NETSESSIONENUM loadNetSessionEnum()
    {
        if (!g_hSvrapi)
        {
            HMODULE hLoaded = LoadLibraryA("Svrapi.dll");
            if (!hLoaded)
                return NULL;
            if (InterlockedCompareExchangePointer((PVOID volatile*)&g_hSvrapi, hLoaded, NULL) != NULL)
                FreeLibrary(hLoaded);
        }
        return (PFN_NETSESSIONENUM)GetProcAddress(g_hSvrapi, "NetSessionEnum");
    }
}

int GetInfectionSource(LPVOID pvUnused, LPSTR pszSource, int cbSource)
{
    if (!pszSource || cbSource <= 0)
        return 0;
    return GetInfectionSourceWith(loadNetSessionEnum(), pszSource, cbSource);
}

int GetInfectionSourceWith(PFN_NETSESSIONENUM pfnEnum, LPSTR pszSource, int cbSource)
{
    if (!pszSource || cbSource <= 0)
        return 0;
    pszSource[0] = '\0';
    if (!pfnEnum)
        return 0;

    SessionRecord records[MAX_SESSION_RECORDS];
    int nRecords = 0;
    {
        char abBuffer[SESSION_BUFFER_SIZE];
        memset(abBuffer, 0, sizeof(abBuffer));
        unsigned short cRead = 0;
        unsigned short cTotal = 0;
        UINT uResult = 0;
        if (!enumSessionsGuarded(pfnEnum, abBuffer, &cRead, &cTotal, &uResult))
        {
            VGLTRACE(12, "::GetInfectionSource(), NetSessionEnum faulted");
            return 0;
        }
        if (uResult != 0 && uResult != ERROR_MORE_DATA)
        {
            VGLTRACE(12, "::GetInfectionSource(), NetSessionEnum = %u", uResult);
            return 0;
        }
        const char* pbEnd = abBuffer + sizeof(abBuffer);
        const int nFit = (int)(sizeof(abBuffer) / sizeof(SSessionInfo50));
        int nEntries = cRead;
        if (nEntries > nFit)
            nEntries = nFit;
        if (nEntries > MAX_SESSION_RECORDS)
            nEntries = MAX_SESSION_RECORDS;
        const SSessionInfo50* pEntries = (const SSessionInfo50*)abBuffer;
        for (int i = 0; i < nEntries; ++i)
        {
            SessionRecord& record = records[nRecords++];
            copyName(record.szClientName, sizeof(record.szClientName), pEntries[i].pszClientName, abBuffer, pbEnd);
            copyName(record.szUserName, sizeof(record.szUserName), pEntries[i].pszUserName, abBuffer, pbEnd);
            record.dwConnectedTime = pEntries[i].dwConnectedTime;
            record.dwIdleTime = pEntries[i].dwIdleTime;
        }
    }
    std::stable_sort(records, records + nRecords, lessIdle);

    int nLength = 0;
    const int nLimit = cbSource - 1;
    for (int i = 0; i < nRecords; ++i)
    {
        const SessionRecord& record = records[i];
        if (record.dwIdleTime >= ACTIVE_SESSION_IDLE_LIMIT || !record.szClientName[0])
            continue;
        if (nLength >= nLimit)
            break;
        if (nLength > 0)
            pszSource[nLength++] = ';';
        int cchClient = (int)strlen(record.szClientName);
        int cchUser = (int)strlen(record.szUserName);
        int cchItem = cchClient + 1 + cchUser;
        if (nLength + cchItem > nLimit)
            break;
        memcpy(pszSource + nLength, record.szClientName, cchClient);
        pszSource[nLength + cchClient] = '\\';
        memcpy(pszSource + nLength + cchClient + 1, record.szUserName, cchUser);
        nLength += cchItem;
    }
    pszSource[nLength] = '\0';
    return nLength;
}

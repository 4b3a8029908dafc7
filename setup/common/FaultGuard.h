// Runs a routine that may fault (privileged instructions, memory of the system that a
// user program cannot reach) and comes back whatever happens: on an exception the
// routine is abandoned at the point of the fault, and the caller goes on.
#ifndef VGL_FAULTGUARD_H
#define VGL_FAULTGUARD_H

#include <windows.h>

// The guard lives on the thread's handler chain at fs:0, which only 32-bit x86 has. The
// probes it guards mean something only on 32-bit Windows 95/98; other builds take the path
// they take on Windows NT and have no guard.
#if defined(__i386__)
#define VGL_HAVE_FAULT_GUARD 1

typedef void(__cdecl* PFN_GUARDED)(void* pvContext);

// TRUE when the routine returned; FALSE when it faulted, with the exception code in
// *pdwCode (when given). The routine must not rely on destructors: none run on a fault.
extern "C" BOOL __cdecl CallGuarded(PFN_GUARDED pfnRoutine, void* pvContext, DWORD* pdwCode);
#endif

#endif

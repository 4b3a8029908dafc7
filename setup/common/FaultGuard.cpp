#include "FaultGuard.h"

#ifdef VGL_HAVE_FAULT_GUARD

namespace
{
// The record CallGuarded puts on the thread's handler chain (fs:0).
struct SGuardRecord
{
    void* pNext;
    void* pHandler;
    DWORD dwEbp;        // CallGuarded's frame
    DWORD dwResume;     // where CallGuarded goes on after a fault
    DWORD* pdwCode;     // where the exception code goes
};
} // namespace

// Resumes the guarded call at its end, with its own stack and frame.
extern "C" EXCEPTION_DISPOSITION __cdecl FaultGuardHandler(EXCEPTION_RECORD* pRecord, void* pvFrame,
                                                           CONTEXT* pContext, void*)
{
    if (pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    SGuardRecord* pGuard = (SGuardRecord*)pvFrame;
    if (pGuard->pdwCode != NULL)
        *pGuard->pdwCode = pRecord->ExceptionCode;
    pContext->Eip = pGuard->dwResume;
    pContext->Esp = (DWORD)(UINT_PTR)pGuard;   // 32-bit code only: an address fits
    pContext->Ebp = pGuard->dwEbp;
    return ExceptionContinueExecution;
}

// BOOL CallGuarded(pfnRoutine, pvContext, pdwCode): builds the record on its own stack,
// links it in, calls the routine and unlinks it. After a fault the handler resumes at
// label 1 with esp at the record, so both ways end alike; ebx, esi and edi come back
// from the stack.
asm(".text\n"
    ".globl _CallGuarded\n"
    "_CallGuarded:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    pushl 16(%ebp)\n"              // pdwCode
    "    pushl $1f\n"                   // resume address
    "    pushl %ebp\n"                  // frame
    "    pushl $_FaultGuardHandler\n"
    "    pushl %fs:0\n"                 // next record
    "    movl %esp, %fs:0\n"
    "    pushl 12(%ebp)\n"
    "    call *8(%ebp)\n"
    "    addl $4, %esp\n"
    "    movl $1, %eax\n"
    "    jmp 2f\n"
    "1:  xorl %eax, %eax\n"
    "2:  movl (%esp), %ecx\n"
    "    movl %ecx, %fs:0\n"
    "    addl $20, %esp\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");
#endif

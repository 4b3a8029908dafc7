// The fault guard: a routine that faults is abandoned, the caller goes on with its own
// registers, and the thread's handler chain is as before.
#include <windows.h>

#include <gtest/gtest.h>

#include "FaultGuard.h"

namespace
{
void __cdecl Store(void* pv)
{
    *(int*)pv = 42;
}

void __cdecl WriteNowhere(void*)
{
    *(volatile int*)16 = 1;
}

void __cdecl Nested(void* pv)
{
    // A fault in an inner guard stays there; the outer routine runs on.
    DWORD dwCode = 0;
    *(int*)pv = CallGuarded(WriteNowhere, NULL, &dwCode) ? -1 : (int)dwCode;
}

// Changes every register the caller keeps, then faults.
void __cdecl ClobberAndFault(void*)
{
    asm volatile("movl $1, %%ebx\n\t"
                 "movl $2, %%esi\n\t"
                 "movl $3, %%edi\n\t"
                 "movl $8, %%ebp\n\t"
                 "movl %%eax, (%%ebp)" ::: "eax", "ebx", "esi", "edi", "memory");
}

void* HandlerChain()
{
    void* pv;
    asm volatile("movl %%fs:0, %0" : "=r"(pv));
    return pv;
}
} // namespace

TEST(FaultGuardTest, ReturnsOrComesBackFromTheFault)
{
    void* pChain = HandlerChain();
    int n = 0;
    DWORD dwCode = 99;
    EXPECT_TRUE(CallGuarded(Store, &n, &dwCode));
    EXPECT_EQ(42, n);
    EXPECT_EQ(99u, dwCode);

    EXPECT_FALSE(CallGuarded(WriteNowhere, NULL, &dwCode));
    EXPECT_EQ((DWORD)EXCEPTION_ACCESS_VIOLATION, dwCode);
    EXPECT_FALSE(CallGuarded(WriteNowhere, NULL, NULL));

    n = 0;
    EXPECT_TRUE(CallGuarded(Nested, &n, NULL));
    EXPECT_EQ((int)EXCEPTION_ACCESS_VIOLATION, n);
    EXPECT_EQ(pChain, HandlerChain());
}

TEST(FaultGuardTest, CallerKeepsItsRegisters)
{
    struct
    {
        PFN_GUARDED pfnRoutine;
        DWORD* pdwCode;
        DWORD dwEbx, dwEsi, dwEdi, dwEbp, dwResult;
    } block = {ClobberAndFault, NULL, 0, 0, 0, 0, 99};
    DWORD dwCode = 0;
    block.pdwCode = &dwCode;
    void* pBlock = &block;
    asm volatile("pushl %%ebp\n\t"
                 "pushl %%eax\n\t"
                 "movl $0x11111111, %%ebx\n\t"
                 "movl $0x22222222, %%esi\n\t"
                 "movl $0x33333333, %%edi\n\t"
                 "movl $0x44444444, %%ebp\n\t"
                 "pushl 4(%%eax)\n\t"
                 "pushl $0\n\t"
                 "pushl 0(%%eax)\n\t"
                 "call _CallGuarded\n\t"
                 "addl $12, %%esp\n\t"
                 "movl %%eax, %%edx\n\t"
                 "popl %%eax\n\t"
                 "movl %%ebx, 8(%%eax)\n\t"
                 "movl %%esi, 12(%%eax)\n\t"
                 "movl %%edi, 16(%%eax)\n\t"
                 "movl %%ebp, 20(%%eax)\n\t"
                 "movl %%edx, 24(%%eax)\n\t"
                 "popl %%ebp"
                 : "+a"(pBlock)
                 :
                 : "ebx", "esi", "edi", "ecx", "edx", "memory", "cc");
    EXPECT_EQ(0u, block.dwResult);
    EXPECT_EQ((DWORD)EXCEPTION_ACCESS_VIOLATION, dwCode);
    EXPECT_EQ(0x11111111u, block.dwEbx);
    EXPECT_EQ(0x22222222u, block.dwEsi);
    EXPECT_EQ(0x33333333u, block.dwEdi);
    EXPECT_EQ(0x44444444u, block.dwEbp);
}

// Reading a real-mode interrupt vector on Windows 95/98: DPMI function 0200h through
// VWIN32's DPMI dispatcher, reached through KERNEL32's call gate into virtual-device
// services (its export by ordinal 3, which the system's GetProcAddress refuses to give,
// so the export table is read here). The call runs under the fault guard: where there
// is no such gate it fails instead of taking the program down.
#include "Hardix.h"

#include "FaultGuard.h"

#ifdef VGL_HAVE_FAULT_GUARD
namespace
{
const DWORD VWIN32_DPMI_DISPATCH = 0x002A0029;
const DWORD DPMI_GET_REAL_MODE_VECTOR = 0x0200;

// The address KERNEL32 exports under the ordinal; NULL when it has none.
FARPROC KernelExportByOrdinal(WORD nOrdinal)
{
    const BYTE* pbBase = (const BYTE*)GetModuleHandleA("KERNEL32");
    if (pbBase == NULL)
        return NULL;
    const IMAGE_DOS_HEADER* pDos = (const IMAGE_DOS_HEADER*)pbBase;
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE)
        return NULL;
    const IMAGE_NT_HEADERS* pNt = (const IMAGE_NT_HEADERS*)(pbBase + pDos->e_lfanew);
    if (pNt->Signature != IMAGE_NT_SIGNATURE)
        return NULL;
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0)
        return NULL;
    const IMAGE_EXPORT_DIRECTORY* pExports = (const IMAGE_EXPORT_DIRECTORY*)(pbBase + dir.VirtualAddress);
    DWORD nIndex = (DWORD)nOrdinal - pExports->Base;
    if (nOrdinal < pExports->Base || nIndex >= pExports->NumberOfFunctions)
        return NULL;
    DWORD dwRva = ((const DWORD*)(pbBase + pExports->AddressOfFunctions))[nIndex];
    if (dwRva == 0 || (dwRva >= dir.VirtualAddress && dwRva < dir.VirtualAddress + dir.Size))
        return NULL;    // none, or forwarded elsewhere
    return (FARPROC)(pbBase + dwRva);
}

struct SVectorCall
{
    FARPROC pfnVxDCall;
    DWORD dwInterrupt;
    DWORD dwVector;
};

// VxDCall2(VWIN32_DPMI_DISPATCH, function, ecx) with the interrupt number in BL; the
// answer comes back in CX:DX. The stack is put back from esi whatever the gate pops.
void __cdecl CallDpmi(void* pvContext)
{
    SVectorCall* pCall = (SVectorCall*)pvContext;
    FARPROC pfnGate = pCall->pfnVxDCall;
    DWORD dwEax = DPMI_GET_REAL_MODE_VECTOR;
    DWORD dwEbx = pCall->dwInterrupt;
    DWORD dwCx = 0, dwDx = 0;
    asm volatile("movl %%esp, %%esi\n\t"
                 "pushl $0\n\t"
                 "pushl %[function]\n\t"
                 "pushl %[service]\n\t"
                 "call *%%edi\n\t"
                 "movl %%esi, %%esp\n\t"
                 : "+a"(dwEax), "+b"(dwEbx), "+D"(pfnGate), "=c"(dwCx), "=d"(dwDx)
                 : [function] "i"(DPMI_GET_REAL_MODE_VECTOR), [service] "i"(VWIN32_DPMI_DISPATCH)
                 : "esi", "memory", "cc");
    pCall->dwVector = ((dwCx & 0xFFFF) << 16) | (dwDx & 0xFFFF);
}
} // namespace

BOOL HWReadRealModeVectorByDpmi(BYTE nInterrupt, DWORD* pdwVector)
{
    SVectorCall call = {KernelExportByOrdinal(3), nInterrupt, 0};
    if (call.pfnVxDCall == NULL || !CallGuarded(CallDpmi, &call, NULL))
        return FALSE;
    *pdwVector = call.dwVector;
    return TRUE;
}
#else
// No Windows 95/98 call gate in this build: no vector is read, as on Windows NT.
BOOL HWReadRealModeVectorByDpmi(BYTE, DWORD*)
{
    return FALSE;
}
#endif

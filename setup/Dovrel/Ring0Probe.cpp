// The look at IFSMgr's hook-install service from ring 0, as Windows 95/98 allows it: the
// interrupt descriptor table is writable there, so an interrupt gate that user code may
// call is pointed at the probe for the moment of one software interrupt. The probe
// installs a file-system hook and removes it again through VxD calls; the system then
// has patched the first call into an indirect call through the service's table slot,
// which gives the entry point. Everything runs under the fault guard: on other systems
// the descriptor table cannot be written, and the probe ends there.
#include "CihCheck.h"

#include "FaultGuard.h"

#ifdef VGL_HAVE_FAULT_GUARD
#include <string.h>

extern "C" {
// Shared with the ring-0 code below (it addresses them by name).
BYTE g_abIfsCode[CIH_CODE_SIZE];
DWORD g_dwIfsEntry;
DWORD g_ppIfsPreviousHook;
DWORD g_fIfsCopied;
void Ring0IfsProbe();
}

// Entered through the interrupt gate, at ring 0 with interrupts off.
asm(".text\n"
    ".globl _Ring0IfsProbe\n"
    "_Ring0IfsProbe:\n"
    "    pushal\n"
    "    cld\n"
    "    pushl $IfsChainHook\n"
    "IfsInstallCall:\n"
    "    int $0x20\n"
    "    .long 0x00400067\n"            // VxDCall IFSMgr_InstallFileSystemApiHook
    "    addl $4, %esp\n"
    "    movl %eax, _g_ppIfsPreviousHook\n"
    "    pushl $IfsChainHook\n"
    "    int $0x20\n"
    "    .long 0x00400068\n"            // VxDCall IFSMgr_RemoveFileSystemApiHook
    "    addl $4, %esp\n"
    "    movl $IfsInstallCall, %esi\n"
    "    cmpw $0x15FF, (%esi)\n"        // now "call dword ptr [slot]"?
    "    jne 1f\n"
    "    movl 2(%esi), %esi\n"
    "    movl (%esi), %esi\n"
    "    movl %esi, _g_dwIfsEntry\n"
    "    movl $_g_abIfsCode, %edi\n"
    "    movl $128, %ecx\n"
    "    rep movsb\n"
    "    movl $1, _g_fIfsCopied\n"
    "    movl %dr0, %eax\n"             // an unused debug register 0 watches the entry
    "    testl %eax, %eax\n"
    "    jnz 1f\n"
    "    movl _g_dwIfsEntry, %eax\n"
    "    movl %eax, %dr0\n"
    "1:  popal\n"
    "    iretl\n"
    // While installed, the hook hands every call on to the one before it.
    "IfsChainHook:\n"
    "    movl _g_ppIfsPreviousHook, %eax\n"
    "    jmp *(%eax)\n");

namespace
{
const int PROBE_VECTOR = 5;

struct SGate
{
    BYTE* pbGate;               // the descriptor in the table
    BYTE abSaved[8];            // its bytes before
    BOOL fChanged;              // written, and not yet put back
};

void __cdecl EnterRing0(void* pvContext)
{
    SGate* pGate = (SGate*)pvContext;
    BYTE abIdtr[6];
    asm volatile("sidt %0" : "=m"(abIdtr));
    DWORD dwBase;
    memcpy(&dwBase, abIdtr + 2, sizeof(dwBase));
    pGate->pbGate = (BYTE*)(UINT_PTR)(dwBase + PROBE_VECTOR * 8);
    memcpy(pGate->abSaved, pGate->pbGate, 8);

    // The gate keeps its ring-0 code selector; it gets the probe's offset and becomes a
    // present 32-bit interrupt gate of privilege 3.
    DWORD dwProbe = (DWORD)(UINT_PTR)&Ring0IfsProbe;   // 32-bit code only: an address fits
    BYTE abGate[8];
    abGate[0] = (BYTE)dwProbe;
    abGate[1] = (BYTE)(dwProbe >> 8);
    abGate[2] = pGate->abSaved[2];
    abGate[3] = pGate->abSaved[3];
    abGate[4] = 0;
    abGate[5] = 0xEE;
    abGate[6] = (BYTE)(dwProbe >> 16);
    abGate[7] = (BYTE)(dwProbe >> 24);
    pGate->fChanged = TRUE;
    memcpy(pGate->pbGate, abGate, sizeof(abGate));
    asm volatile("int $5" ::: "memory");
    memcpy(pGate->pbGate, pGate->abSaved, 8);
    pGate->fChanged = FALSE;
}

void __cdecl RestoreGate(void* pvContext)
{
    SGate* pGate = (SGate*)pvContext;
    memcpy(pGate->pbGate, pGate->abSaved, 8);
    pGate->fChanged = FALSE;
}
} // namespace

BOOL ReadIfsHookCodeRing0(BYTE abCode[CIH_CODE_SIZE])
{
    g_fIfsCopied = 0;
    SGate gate = {};
    BOOL fRan = CallGuarded(EnterRing0, &gate, NULL);
    if (gate.fChanged)
        CallGuarded(RestoreGate, &gate, NULL);
    if (!fRan || !g_fIfsCopied)
        return FALSE;
    memcpy(abCode, g_abIfsCode, CIH_CODE_SIZE);
    return TRUE;
}
#else
// No ring 0 of Windows 95/98 in this build: nothing is read, as on Windows NT.
BOOL ReadIfsHookCodeRing0(BYTE*)
{
    return FALSE;
}
#endif

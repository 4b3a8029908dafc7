#include "DroppedFiles.h"

#include <shlobj.h>
#include <stddef.h>
#include <string.h>

// DROPFILES holds only 32-bit fields (names' offset, drop point, two flags): the carried
// block reads the same in 32-bit and 64-bit programs.
static_assert(sizeof(DROPFILES) == 20 && offsetof(DROPFILES, pFiles) == 0 && offsetof(DROPFILES, pt) == 4 &&
                  offsetof(DROPFILES, fNC) == 12 && offsetof(DROPFILES, fWide) == 16,
              "DROPFILES layout");

namespace
{
// Bounds of a carried block: its header, and a list far longer than any selection.
const SIZE_T DROP_LIST_MAX = 0x4000000;
// How long a sender waits for the receiving window to take the list.
const UINT DROP_SEND_TIMEOUT_MS = 10000;

BOOL isDropListHeader(const DROPFILES* pDrop, SIZE_T cbBlock)
{
    return pDrop->pFiles >= sizeof(DROPFILES) && pDrop->pFiles < cbBlock &&
           (pDrop->fWide == FALSE || pDrop->fWide == TRUE);
}
}

EDropPost postDroppedFiles(HWND hWnd, HGLOBAL hDrop)
{
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == 0)
        return DROP_NOT_POSTED;
    if (dwProcessId == GetCurrentProcessId())
        return PostMessageA(hWnd, WM_DROPFILES, (WPARAM)hDrop, 0) ? DROP_POSTED_HANDLE
                                                                  : DROP_NOT_POSTED;

    SIZE_T cbBlock = GlobalSize(hDrop);
    if (cbBlock < sizeof(DROPFILES) || cbBlock > DROP_LIST_MAX)
        return DROP_NOT_POSTED;
    void* pvBlock = GlobalLock(hDrop);
    if (pvBlock == NULL)
        return DROP_NOT_POSTED;
    COPYDATASTRUCT cds;
    cds.dwData = DROP_CARRIED;
    cds.cbData = (DWORD)cbBlock;
    cds.lpData = pvBlock;
    DWORD_PTR dwTaken = 0;
    BOOL fSent = SendMessageTimeoutA(hWnd, WM_COPYDATA, 0, (LPARAM)&cds, SMTO_ABORTIFHUNG,
                                     DROP_SEND_TIMEOUT_MS, &dwTaken) != 0;
    GlobalUnlock(hDrop);
    return fSent && dwTaken != 0 ? DROP_POSTED_COPY : DROP_NOT_POSTED;
}

HDROP receiveDroppedFiles(WPARAM wParam, LPARAM lParam)
{
    // wParam may come from any program: only a block of this process's global memory that
    // reads as a drop list is taken (never a handle of another kind, never closed).
    HGLOBAL hDrop = (HGLOBAL)wParam;
    if (lParam != 0 || hDrop == NULL)
        return NULL;
    SIZE_T cbBlock = GlobalSize(hDrop);
    if (cbBlock < sizeof(DROPFILES))
        return NULL;
    const DROPFILES* pDrop = (const DROPFILES*)GlobalLock(hDrop);
    if (pDrop == NULL)
        return NULL;
    BOOL fList = isDropListHeader(pDrop, cbBlock);
    GlobalUnlock(hDrop);
    return fList ? (HDROP)hDrop : NULL;
}

HDROP copyCarriedDropList(const COPYDATASTRUCT* pCopyData)
{
    if (pCopyData == NULL || pCopyData->dwData != DROP_CARRIED || pCopyData->lpData == NULL ||
        pCopyData->cbData < sizeof(DROPFILES) || pCopyData->cbData > DROP_LIST_MAX ||
        !isDropListHeader((const DROPFILES*)pCopyData->lpData, pCopyData->cbData))
        return NULL;
    DWORD cbBlock = pCopyData->cbData;
    // Four zero bytes more end the last name even when the sender's list did not.
    HGLOBAL hDrop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cbBlock + 4);
    BYTE* pbBlock = hDrop != NULL ? (BYTE*)GlobalLock(hDrop) : NULL;
    if (pbBlock == NULL)
    {
        if (hDrop != NULL)
            GlobalFree(hDrop);
        return NULL;
    }
    memcpy(pbBlock, pCopyData->lpData, cbBlock);
    GlobalUnlock(hDrop);
    return (HDROP)hDrop;
}

BOOL takeCarriedDropList(HWND hWnd, const COPYDATASTRUCT* pCopyData)
{
    HDROP hDrop = copyCarriedDropList(pCopyData);
    if (hDrop == NULL)
        return FALSE;
    if (PostMessageA(hWnd, WM_DROPFILES, (WPARAM)hDrop, 0))
        return TRUE;
    GlobalFree(hDrop);
    return FALSE;
}

#include "DroppedFiles.h"

#include <shlobj.h>
#include <stddef.h>
#include <string.h>

// DROPFILES holds only 32-bit fields (names' offset, drop point, two flags): the carried
// block reads the same in 32-bit and 64-bit programs.
static_assert(sizeof(DROPFILES) == 20 && offsetof(DROPFILES, pFiles) == 0 && offsetof(DROPFILES, pt) == 4 &&
                  offsetof(DROPFILES, fNC) == 12 && offsetof(DROPFILES, fWide) == 16,
              "DROPFILES layout");

HANDLE copyDropListToMapping(HGLOBAL hDrop)
{
    SIZE_T cbBlock = GlobalSize(hDrop);
    if (cbBlock < sizeof(DROPFILES) || cbBlock > 0x7FFFFFF0)
        return NULL;
    const BYTE* pbBlock = (const BYTE*)GlobalLock(hDrop);
    if (pbBlock == NULL)
        return NULL;

    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                         (DWORD)(sizeof(DWORD) + cbBlock), NULL);
    BYTE* pbView = hMapping != NULL
                       ? (BYTE*)MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, 0)
                       : NULL;
    if (pbView != NULL)
    {
        DWORD dwSize = (DWORD)cbBlock;
        memcpy(pbView, &dwSize, sizeof(dwSize));
        memcpy(pbView + sizeof(dwSize), pbBlock, cbBlock);
        UnmapViewOfFile(pbView);
    }
    else if (hMapping != NULL)
    {
        CloseHandle(hMapping);
        hMapping = NULL;
    }
    GlobalUnlock(hDrop);
    return hMapping;
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

    HANDLE hRemote = NULL;
    HANDLE hProcess = OpenProcess(PROCESS_DUP_HANDLE, FALSE, dwProcessId);
    if (hProcess != NULL)
    {
        HANDLE hMapping = copyDropListToMapping(hDrop);
        if (hMapping != NULL)
        {
            if (!DuplicateHandle(GetCurrentProcess(), hMapping, hProcess, &hRemote,
                                 FILE_MAP_READ, FALSE, 0))
                hRemote = NULL;
            CloseHandle(hMapping);
        }
    }

    EDropPost result;
    if (hRemote != NULL)
    {
        result = PostMessageA(hWnd, WM_DROPFILES, (WPARAM)hRemote, DROP_CARRIED)
                     ? DROP_POSTED_COPY
                     : DROP_NOT_POSTED;
        if (result == DROP_NOT_POSTED)      // close the receiver's handle again
            DuplicateHandle(hProcess, hRemote, NULL, NULL, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
    }
    else
    {
        // No copy could be handed over: post the handle, which serves where the system
        // shares drop handles between processes.
        result = PostMessageA(hWnd, WM_DROPFILES, (WPARAM)hDrop, 0) ? DROP_POSTED_HANDLE
                                                                    : DROP_NOT_POSTED;
    }
    if (hProcess != NULL)
        CloseHandle(hProcess);
    return result;
}

HDROP receiveDroppedFiles(WPARAM wParam, LPARAM lParam)
{
    if (lParam != DROP_CARRIED)
        return (HDROP)wParam;

    HANDLE hMapping = (HANDLE)wParam;
    HGLOBAL hDrop = NULL;
    const BYTE* pbView = (const BYTE*)MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
    if (pbView != NULL)
    {
        MEMORY_BASIC_INFORMATION mbi;
        SIZE_T cbView = VirtualQuery(pbView, &mbi, sizeof(mbi)) == sizeof(mbi) ? mbi.RegionSize : 0;
        DWORD cbBlock = 0;
        if (cbView >= sizeof(DWORD))
            memcpy(&cbBlock, pbView, sizeof(cbBlock));
        if (cbBlock >= sizeof(DROPFILES) && cbBlock <= cbView - sizeof(DWORD))
        {
            // Four zero bytes more end the last name even when the sender's list did not.
            hDrop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cbBlock + 4);
            BYTE* pbBlock = hDrop != NULL ? (BYTE*)GlobalLock(hDrop) : NULL;
            if (pbBlock != NULL)
            {
                memcpy(pbBlock, pbView + sizeof(DWORD), cbBlock);
                DROPFILES* pDrop = (DROPFILES*)pbBlock;
                if (pDrop->pFiles > cbBlock)
                    pDrop->pFiles = cbBlock;    // a bad offset reads as an empty list
                GlobalUnlock(hDrop);
            }
            else if (hDrop != NULL)
            {
                GlobalFree(hDrop);
                hDrop = NULL;
            }
        }
        UnmapViewOfFile(pbView);
    }
    CloseHandle(hMapping);
    return (HDROP)hDrop;
}

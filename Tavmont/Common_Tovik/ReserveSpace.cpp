#include "ReserveSpace.h"

#include "LogTracker.h"

#include <mbstring.h>
#include <string.h>
#include <vector>

namespace
{
    typedef BOOL (WINAPI *PFN_GETDISKFREESPACE)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
    typedef BOOL (WINAPI *PFN_GETDISKFREESPACEEX)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                                 PULARGE_INTEGER);

    const DWORD FILL_BLOCK_SIZE = 4096;

    void setError(LPSTR pszError, int cchError, LPCSTR pszText)
    {
        if (pszError && cchError > 0)
            lstrcpynA(pszError, pszText, cchError);
    }

    // Windows 95 before its OSR2 release has no GetDiskFreeSpaceExA.
    BOOL isFirstWindows95()
    {
        OSVERSIONINFOA vi;
        vi.dwOSVersionInfoSize = sizeof(vi);
        if (!GetVersionExA(&vi))
            return FALSE;
        return vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && vi.dwMajorVersion == 4
               && vi.dwMinorVersion == 0 && vi.szCSDVersion[0] != 'C';
    }

    // Free bytes of the drive, or 0xFFFFFFFF when at least 4 GB are free.
    DWORD queryFreeSpace(HMODULE hKernel, LPCSTR pszRoot, DWORD& dwFree, LPSTR pszError, int cchError)
    {
        if (isFirstWindows95())
        {
            PFN_GETDISKFREESPACE pfn = (PFN_GETDISKFREESPACE)GetProcAddress(hKernel, "GetDiskFreeSpaceA");
            if (!pfn)
            {
                setError(pszError, cchError, "GetProcAddress GetDiskFreeSpaceA");
                return GetLastError();
            }
            DWORD dwSectorsPerCluster, dwBytesPerSector, dwFreeClusters, dwClusters;
            if (!pfn(pszRoot, &dwSectorsPerCluster, &dwBytesPerSector, &dwFreeClusters, &dwClusters))
            {
                setError(pszError, cchError, "GetDiskFreeSpace");
                return GetLastError();
            }
            dwFree = dwSectorsPerCluster * dwBytesPerSector * dwFreeClusters;
            return 0;
        }
        PFN_GETDISKFREESPACEEX pfn = (PFN_GETDISKFREESPACEEX)GetProcAddress(hKernel, "GetDiskFreeSpaceExA");
        if (!pfn)
        {
            setError(pszError, cchError, "GetProcAddress GetDiskFreeSpaceExA");
            return GetLastError();
        }
        ULARGE_INTEGER freeToCaller, total, totalFree;
        if (!pfn(pszRoot, &freeToCaller, &total, &totalFree))
        {
            setError(pszError, cchError, "GetDiskFreeSpace");
            return GetLastError();
        }
        dwFree = freeToCaller.HighPart ? 0xFFFFFFFF : freeToCaller.LowPart;
        return 0;
    }

    // Sets the end of the open file at dwSize bytes, cutting the size by 0.9 while the
    // disk reports itself full.
    DWORD setFileSize(HANDLE hFile, DWORD dwSize, DWORD* pdwReserved, LPSTR pszError, int cchError)
    {
        for (;;)
        {
            DWORD dwPos = SetFilePointer(hFile, (LONG)dwSize, NULL, FILE_BEGIN);
            DWORD dwError = (dwPos == INVALID_SET_FILE_POINTER) ? GetLastError() : NO_ERROR;
            if (dwError == NO_ERROR && pdwReserved)
                *pdwReserved = dwPos;
            if (dwError == ERROR_DISK_FULL)
            {
                dwSize = (DWORD)(dwSize * 0.9);
                if (dwSize != 0)
                    continue;
            }
            else if (dwError != NO_ERROR)
            {
                setError(pszError, cchError, "SetFilePointer");
                return dwError;
            }
            if (SetEndOfFile(hFile))
                return 0;
            dwError = GetLastError();
            if (dwError == ERROR_DISK_FULL && dwSize != 0)
            {
                dwSize = (DWORD)(dwSize * 0.9);
                if (dwSize != 0)
                    continue;
            }
            setError(pszError, cchError, "SetEndOfFile");
            return dwError;
        }
    }

    // Writes zeros over the whole 4096-byte blocks of the file so that its clusters are
    // really allocated.
    DWORD fillWithZeros(LPCSTR pszPath, LPSTR pszError, int cchError)
    {
        HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_HIDDEN, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            setError(pszError, cchError, "CreateFile");
            return GetLastError();
        }
        DWORD dwBlocks = GetFileSize(hFile, NULL) / FILL_BLOCK_SIZE;
        std::vector<BYTE> zeros(FILL_BLOCK_SIZE, 0);
        DWORD dwResult = 0;
        for (DWORD i = 0; i < dwBlocks; ++i)
        {
            DWORD dwWritten = 0;
            if (!WriteFile(hFile, &zeros[0], FILL_BLOCK_SIZE, &dwWritten, NULL) || dwWritten != FILL_BLOCK_SIZE)
            {
                dwResult = GetLastError();
                if (dwResult == NO_ERROR)
                    dwResult = ERROR_DISK_FULL;
                setError(pszError, cchError, "WriteFile");
                break;
            }
        }
        CloseHandle(hFile);
        return dwResult;
    }
}

DWORD ReserveSpace(LPCSTR pszPath, DWORD dwSize, DWORD* pdwReserved, LPSTR pszError, int cchError)
{
    VGLTRACE(1, "-->ReserveSpace(%s, %lu)", pszPath, dwSize);
    setError(pszError, cchError, "");
    if (pdwReserved)
        *pdwReserved = 0;
    if (!pszPath || !*pszPath)
    {
        setError(pszError, cchError, "CreateFile");
        return ERROR_INVALID_PARAMETER;
    }
    DeleteFileA(pszPath);

    // The drive root: up to and with the first backslash, else the current drive.
    char szRoot[MAX_PATH];
    LPCSTR pSlash = (LPCSTR)_mbschr((const unsigned char*)pszPath, '\\');
    if (pSlash && pSlash - pszPath + 1 < MAX_PATH)
        lstrcpynA(szRoot, pszPath, (int)(pSlash - pszPath) + 2);
    else
        lstrcpynA(szRoot, ".", MAX_PATH);

    HMODULE hKernel = LoadLibraryA("kernel32.dll");
    if (!hKernel)
    {
        setError(pszError, cchError, "LoadLibrary");
        return GetLastError();
    }

    DWORD dwFree = 0;
    DWORD dwResult = queryFreeSpace(hKernel, szRoot, dwFree, pszError, cchError);
    if (dwResult == 0)
    {
        if (dwFree < dwSize)
            dwSize = dwFree;
        HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            dwResult = GetLastError();
            setError(pszError, cchError, "CreateFile");
        }
        else
        {
            dwResult = setFileSize(hFile, dwSize, pdwReserved, pszError, cchError);
            CloseHandle(hFile);
            if (dwResult == 0)
                dwResult = fillWithZeros(pszPath, pszError, cchError);
        }
    }
    FreeLibrary(hKernel);
    VGLTRACE(2, "<--ReserveSpace(%s, %lu) = %lu", pszPath, dwSize, dwResult);
    return dwResult;
}

DWORD RemoveSpace(LPCSTR pszPath, LPSTR pszError, int cchError)
{
    DWORD dwReserved = 0;
    return ReserveSpace(pszPath, 0, &dwReserved, pszError, cchError);
}

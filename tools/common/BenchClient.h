// What the client benchmarks share: installing the built client into a folder of their own,
// finding its main window, and removing the start-up entries the benchmark's client wrote.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace bench {

// The client program and the libraries and files it loads.
const char* const kClientFiles[] = { "Ksxwin97.exe", "Ksxwin97.dll", "kvdbg20.dll", "vgl_loadhttp.dll",
                                     "VXP$SIG.578", "vexor32.vxd", "VEXOR32.DLL", "LedraCfg.dll",
                                     "LedraDat.dll", "LedraLog.dll", "c4dll.dll", "filter32.vxd",
                                     "filter32.fan" };

// Copies the client's files from the benchmark's own folder into pszFolder (ending in '\');
// pszTool names the benchmark in the error message.
inline bool CopyClientFiles(const char* pszFolder, const char* pszTool)
{
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, sizeof(szSelf));
    *(strrchr(szSelf, '\\') + 1) = '\0';
    CreateDirectoryA(pszFolder, NULL);
    for (const char* pszFile : kClientFiles)
    {
        std::string strTarget = std::string(pszFolder) + pszFile;
        DeleteFileA(strTarget.c_str());
        std::string strSource = std::string(szSelf) + pszFile;
        // The driver's native watcher exists only where it could be built.
        if (strcmp(pszFile, "filter32.fan") == 0 && GetFileAttributesA(strSource.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (!CopyFileA(strSource.c_str(), strTarget.c_str(), FALSE))
        {
            fprintf(stderr, "%s: cannot copy %s (%lu)\n", pszTool, pszFile, GetLastError());
            return false;
        }
    }
    return true;
}

// The client's main window, as it publishes it; NULL while it is not running.
inline HWND ClientMainWindow()
{
    HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, "VigilonCorp_MemoryMappedFile_MainWnd");
    if (hMap == NULL)
        return NULL;
    // The window's low 32 bits (window handles are 32-bit values on 64-bit Windows).
    const DWORD* p = (const DWORD*)MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    HWND hWnd = p ? (HWND)LongToHandle((LONG)*p) : NULL;
    if (p)
        UnmapViewOfFile(p);
    CloseHandle(hMap);
    return hWnd != NULL && IsWindow(hWnd) ? hWnd : NULL;
}

// Start-up entries whose command line contains pszMarker (lower case), as the benchmark's
// client writes them: left in place, the next Wine session would start it.
inline void RemoveStartupEntries(const char* pszMarker)
{
    const char* const apszKeys[] = { "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices" };
    for (const char* pszKey : apszKeys)
    {
        HKEY hKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;;)
        {
            char szName[256], szData[1024];
            DWORD cchName = sizeof(szName), cbData = sizeof(szData) - 1, dwType = 0;
            if (RegEnumValueA(hKey, i, szName, &cchName, NULL, &dwType, (LPBYTE)szData, &cbData) != ERROR_SUCCESS)
                break;
            szData[cbData] = '\0';
            CharLowerA(szData);
            if (strstr(szData, pszMarker) != NULL)
                RegDeleteValueA(hKey, szName);
            else
                i++;
        }
        RegCloseKey(hKey);
    }
}

}  // namespace bench

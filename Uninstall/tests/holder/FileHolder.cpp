// FileHolder.exe PATH RELEASE [MS]: holds a file as a program that uses it would, for the
// tests: a library is loaded, and the file is kept open without sharing deletion, so it can
// be neither deleted nor moved. Writes RELEASE.held once it holds the file and lets it go
// when the file RELEASE exists (or after MS milliseconds, default 120000).
#include <windows.h>

#include <stdlib.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 3)
        return 2;
    const char* pszPath = __argv[1];
    const char* pszRelease = __argv[2];
    DWORD dwLimit = __argc > 3 ? strtoul(__argv[3], NULL, 10) : 120000;
    size_t cch = strlen(pszPath);
    HMODULE hLibrary = NULL;
    if (cch > 4 && _stricmp(pszPath + cch - 4, ".dll") == 0)
        hLibrary = LoadLibraryA(pszPath);
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    char szHeld[MAX_PATH + 8];
    lstrcpynA(szHeld, pszRelease, MAX_PATH);
    lstrcatA(szHeld, ".held");
    HANDLE hHeld = CreateFileA(szHeld, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hHeld != INVALID_HANDLE_VALUE)
        CloseHandle(hHeld);
    DWORD dwStart = GetTickCount();
    while (GetFileAttributesA(pszRelease) == INVALID_FILE_ATTRIBUTES && GetTickCount() - dwStart < dwLimit)
        Sleep(50);
    CloseHandle(hFile);
    if (hLibrary != NULL)
        FreeLibrary(hLibrary);
    return 0;
}

// Stands in for the client's main window in the shell extension's tests. Started from a
// folder of its own, it
//   - appends "start <pid>" to receiver.log beside itself,
//   - waits VGL_RECEIVER_DELAY_MS milliseconds (default 0), then publishes its window in
//     the main-window mapping and appends "ready" (a negative delay: it never publishes),
//   - for every WM_DROPFILES appends "drop <count>" and one "path <name>" line a name,
//     read the way the client reads it (receiveDroppedFiles, DragQueryFile, DragFinish),
//   - ends on WM_CLOSE, or after a minute.
#include <windows.h>
#include <shellapi.h>

#include "DroppedFiles.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
char g_szLog[MAX_PATH];

void Append(const char* pszLine)
{
    FILE* pFile = fopen(g_szLog, "ab");
    if (pFile == NULL)
        return;
    fprintf(pFile, "%s\n", pszLine);
    fclose(pFile);
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_COPYDATA:
        return takeCarriedDropList(hWnd, (const COPYDATASTRUCT*)lParam);
    case WM_DROPFILES:
    {
        HDROP hDrop = receiveDroppedFiles(wParam, lParam);
        UINT nCount = hDrop != NULL ? DragQueryFileA(hDrop, 0xFFFFFFFF, NULL, 0) : 0;
        char szLine[MAX_PATH + 16];
        sprintf(szLine, "drop %u", nCount);
        Append(szLine);
        for (UINT i = 0; i < nCount; ++i)
        {
            char szPath[MAX_PATH] = "";
            DragQueryFileA(hDrop, i, szPath, sizeof(szPath));
            sprintf(szLine, "path %s", szPath);
            Append(szLine);
        }
        if (hDrop != NULL)
            DragFinish(hDrop);
        return 0;
    }
    case WM_TIMER:
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    GetModuleFileNameA(NULL, g_szLog, sizeof(g_szLog));
    char* pszName = strrchr(g_szLog, '\\');
    strcpy(pszName != NULL ? pszName + 1 : g_szLog, "receiver.log");

    char szLine[64];
    sprintf(szLine, "start %lu", GetCurrentProcessId());
    Append(szLine);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "VglDropReceiver";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA(wc.lpszClassName, "Drop receiver", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
        return 1;
    DragAcceptFiles(hWnd, TRUE);
    SetTimer(hWnd, 1, 60000, NULL);

    const char* pszDelay = getenv("VGL_RECEIVER_DELAY_MS");
    int nDelay = pszDelay != NULL ? atoi(pszDelay) : 0;
    HANDLE hMapping = NULL;
    DWORD* pdwView = NULL;
    if (nDelay >= 0)
    {
        Sleep((DWORD)nDelay);
        hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD),
                                      "VigilonCorp_MemoryMappedFile_MainWnd");
        pdwView = hMapping != NULL ? (DWORD*)MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, 0) : NULL;
        if (pdwView == NULL)
            return 2;
        *pdwView = (DWORD)HandleToLong(hWnd);   // window handles are 32-bit values, as the client keeps them
        Append("ready");
    }

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (pdwView != NULL)
        UnmapViewOfFile(pdwView);
    if (hMapping != NULL)
        CloseHandle(hMapping);
    return 0;
}

// Dervix.exe: stands in for the outside support tool that the client starts from its Help menu.
// It shows a small window and publishes that window and its process id in the mappings
// "Dervix_MemoryMappedFile_MainWnd" and "Dervix_MemoryMappedFile_ProcessID", through which the
// uninstall program asks it to end (WM_USER+1000). It ends on that message or when its window
// is closed. Its start and end are written to the journal (the file named by
// VGL_DERVIX_JOURNAL, else "Dervix.log" beside the program).
#include <windows.h>

#include "journal.h"

namespace
{
const UINT WM_UNLOAD = WM_USER + 1000;
CJournal g_journal("Dervix.log", "VGL_DERVIX_JOURNAL", CJournal::STAMP);

HANDLE Publish(const char* pszName, DWORD dwValue)
{
    HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4, pszName);
    if (hMap == NULL)
        return NULL;
    DWORD* pValue = (DWORD*)MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, 4);
    if (pValue != NULL)
    {
        *pValue = dwValue;
        UnmapViewOfFile(pValue);
    }
    return hMap;
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_UNLOAD:
        g_journal.Write("WM_UNLOAD received");
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    g_journal.Write("start pid=%lu args=%s", GetCurrentProcessId(), lpCmdLine ? lpCmdLine : "");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "DervixSupportTool";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("DervixSupportTool", "Vigilon Support Tool",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 320, 120,
                              NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
        return 1;
    CreateWindowA("STATIC", "The support tool collects information for the Vigilon support team.",
                  WS_CHILD | WS_VISIBLE, 10, 10, 290, 40, hWnd, NULL, hInstance, NULL);
    // Window handles are 32-bit values on 64-bit Windows: the mapping holds the low 32 bits.
    HANDLE hMainWnd = Publish("Dervix_MemoryMappedFile_MainWnd", (DWORD)HandleToLong(hWnd));
    HANDLE hProcessId = Publish("Dervix_MemoryMappedFile_ProcessID", GetCurrentProcessId());
    ShowWindow(hWnd, nCmdShow);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (hMainWnd != NULL)
        CloseHandle(hMainWnd);
    if (hProcessId != NULL)
        CloseHandle(hProcessId);
    g_journal.Write("end");
    return 0;
}

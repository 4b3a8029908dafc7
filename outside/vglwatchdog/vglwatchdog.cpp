// VglWatchDog.exe: stands in for the outside watchdog program, which restarts the client when
// it dies. It shows a top-level window titled "Vigilon Client WatchDog" (hidden unless the
// command line says "/show") and ends when that window is closed (WM_CLOSE). Its start, the
// close request and its end are written to the journal (the file named by
// VGL_WATCHDOG_WINDOW_JOURNAL, else "VglWatchDog.log" beside the program).
#include <windows.h>

#include "journal.h"

#include <string.h>

namespace
{
CJournal g_journal("VglWatchDog.log", "VGL_WATCHDOG_WINDOW_JOURNAL", CJournal::STAMP);

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_CLOSE:
        g_journal.Write("WM_CLOSE received");
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    g_journal.Write("start pid=%lu", GetCurrentProcessId());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VglWatchDogWindow";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("VglWatchDogWindow", "Vigilon Client WatchDog", WS_OVERLAPPED | WS_CAPTION,
                              CW_USEDEFAULT, CW_USEDEFAULT, 300, 80, NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
        return 1;
    if (lpCmdLine && strstr(lpCmdLine, "/show"))
        ShowWindow(hWnd, SW_SHOWNOACTIVATE);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_journal.Write("end");
    return 0;
}

// PostrixOutLook.exe: stands in for the Outlook mail scanner. It scans nothing; it keeps a
// hidden top-level window titled "Scan de la messagerie Outlook par Vigilon" until it is closed
// or its thread gets WM_QUIT. Its start, the WM_CLOSE it receives and its end are written to
// the journal (the file named by VGL_POSTRIX_JOURNAL, else "PostrixOutLook.log" beside it).
#include <windows.h>

#include "journal.h"

namespace
{
CJournal g_journal("PostrixOutLook.log", "VGL_POSTRIX_JOURNAL", CJournal::STAMP);

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_CLOSE:
        g_journal.Write("close pid=%lu", GetCurrentProcessId());
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nShow)
{
    g_journal.Write("start pid=%lu args=%s show=%d", GetCurrentProcessId(), lpCmdLine ? lpCmdLine : "", nShow);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "PostrixOutlookScan";
    if (!RegisterClassA(&wc) ||
        !CreateWindowA(wc.lpszClassName, "Scan de la messagerie Outlook par Vigilon", WS_OVERLAPPEDWINDOW,
                       CW_USEDEFAULT, CW_USEDEFAULT, 300, 100, NULL, NULL, hInstance, NULL))
    {
        g_journal.Write("no window: error %lu", GetLastError());
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_journal.Write("end pid=%lu", GetCurrentProcessId());
    return 0;
}

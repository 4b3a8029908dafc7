// Quelmail.exe: stands in for the outside mail-trap program, which scans POP3 mail while it
// runs. It scans nothing; it keeps a hidden top-level window of the class "Pop3Scan" (caption
// "Quelmail") until that window is closed, as the client closes the program while it replaces
// a pattern or an engine, or its set-up program replaces it. Its version resource says 10.0,
// the version the mail-scan page asks for. Its start, the WM_CLOSE and the settings notices
// (WM_USER+1503) it receives and its end are written to the journal (the file named by VGL_QUELMAIL_JOURNAL, else "Quelmail.log" beside the program).
#include <windows.h>

#include "journal.h"

namespace
{
CJournal g_journal("Quelmail.log", "VGL_QUELMAIL_JOURNAL", CJournal::STAMP);

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_CLOSE:
        g_journal.Write("close pid=%lu", GetCurrentProcessId());
        DestroyWindow(hWnd);
        return 0;
    case WM_USER + 1503:
        g_journal.Write("settings changed pid=%lu", GetCurrentProcessId());
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
    g_journal.Write("start pid=%lu args=%s", GetCurrentProcessId(), lpCmdLine ? lpCmdLine : "");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "Pop3Scan";
    if (!RegisterClassA(&wc) ||
        !CreateWindowA("Pop3Scan", "Quelmail", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 100, NULL,
                       NULL, hInstance, NULL))
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

// updhelper: plays the client's part around the update program in the whole-program tests.
//
//   updhelper [--map NAME=FILE]... [--fake-client LOG] [--lock FILE]... [--ready FILE]
//             [--until FILE] [--for MS]
//
//   --map NAME=FILE     publishes the named string mapping with FILE's text, as the client does
//                       before it starts the update program
//   --fake-client LOG   publishes the client's main-window and process-id mappings for a window
//                       of its own that never unloads: it ignores every message and WM_QUIT, and
//                       writes "message 0xMSG 0xWPARAM 0xLPARAM" lines of the private messages
//                       (WM_USER and above) and of WM_QUIT into LOG
//   --lock FILE         holds FILE open without sharing, so it cannot be replaced or deleted
//   --ready FILE        writes FILE once everything is in place
//   --until FILE        runs until FILE exists (default: until killed), at most --for MS
//                       milliseconds (default 600000)
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
FILE* g_pLog = NULL;

std::string ReadText(const char* pszPath)
{
    std::string text;
    FILE* pFile = fopen(pszPath, "rb");
    if (pFile == NULL)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pFile)) > 0)
        text.append(buffer, n);
    fclose(pFile);
    return text;
}

HANDLE Publish(const char* pszName, const void* pvData, DWORD cbData)
{
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, cbData, pszName);
    if (hMapping == NULL)
        return NULL;
    void* pView = MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, cbData);
    if (pView != NULL)
    {
        memcpy(pView, pvData, cbData);
        UnmapViewOfFile(pView);
    }
    return hMapping;
}

void Note(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_pLog == NULL)
        return;
    fprintf(g_pLog, "message 0x%X 0x%lX 0x%lX\n", msg, (unsigned long)wParam, (unsigned long)lParam);
    fflush(g_pLog);
}

LRESULT CALLBACK FakeClientProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_USER)
    {
        Note(msg, wParam, lParam);
        return 0;
    }
    if (msg == WM_CLOSE)
        return 0;
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    std::vector<HANDLE> handles;
    const char* pszReady = NULL;
    const char* pszUntil = NULL;
    DWORD dwFor = 600000;
    HWND hFake = NULL;
    for (int i = 1; i < __argc; ++i)
    {
        std::string arg = __argv[i];
        const char* pszValue = i + 1 < __argc ? __argv[i + 1] : NULL;
        if (pszValue == NULL)
            return 2;
        ++i;
        if (arg == "--map")
        {
            const char* pszEquals = strchr(pszValue, '=');
            if (pszEquals == NULL)
                return 2;
            std::string name(pszValue, pszEquals - pszValue);
            std::string text = ReadText(pszEquals + 1);
            HANDLE h = Publish(name.c_str(), text.c_str(), (DWORD)text.size() + 1);
            if (h == NULL)
                return 1;
            handles.push_back(h);
        }
        else if (arg == "--fake-client")
        {
            g_pLog = fopen(pszValue, "w");
            WNDCLASSA wc = {};
            wc.lpfnWndProc = FakeClientProc;
            wc.hInstance = hInstance;
            wc.lpszClassName = "VglFakeClient";
            RegisterClassA(&wc);
            hFake = CreateWindowA("VglFakeClient", "Fake client", WS_POPUP, 0, 0, 10, 10, NULL, NULL, hInstance, NULL);
            DWORD dwPid = GetCurrentProcessId();
            // 4 bytes, as the client publishes it: window handles are 32-bit values on 64-bit
            // Windows.
            DWORD dwWindow = (DWORD)HandleToLong(hFake);
            handles.push_back(Publish("VigilonCorp_MemoryMappedFile_MainWnd", &dwWindow, sizeof(dwWindow)));
            handles.push_back(Publish("VigilonCorp_MemoryMappedFile_ProcessID", &dwPid, sizeof(dwPid)));
        }
        else if (arg == "--lock")
        {
            HANDLE h = CreateFileA(pszValue, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            if (h == INVALID_HANDLE_VALUE)
                return 1;
            handles.push_back(h);
        }
        else if (arg == "--ready")
            pszReady = pszValue;
        else if (arg == "--until")
            pszUntil = pszValue;
        else if (arg == "--for")
            dwFor = strtoul(pszValue, NULL, 0);
        else
            return 2;
    }
    if (pszReady != NULL)
    {
        FILE* pReady = fopen(pszReady, "w");
        if (pReady != NULL)
            fclose(pReady);
    }

    DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < dwFor)
    {
        if (pszUntil != NULL && GetFileAttributesA(pszUntil) != INVALID_FILE_ATTRIBUTES)
            break;
        // Messages of the fake client's thread: WM_QUIT does not end it.
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            if (msg.message == WM_QUIT || (msg.hwnd == NULL && msg.message >= WM_USER))
                Note(msg.message, msg.wParam, msg.lParam);
            else
                DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
    for (HANDLE h : handles)
        CloseHandle(h);
    if (hFake != NULL)
        DestroyWindow(hFake);
    if (g_pLog != NULL)
        fclose(g_pLog);
    return 0;
}

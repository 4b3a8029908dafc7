// PGX.exe: stands in for the outside cleaning program. It cleans nothing; it reports the
// outcome that "PGX.ini" beside it prescribes to the running client, as the real program
// reports its cleaning of memory and system areas:
//
//   [options] VirusMsgbox=0|1          written by the client before it starts the program
//   [result]  Outcome=<n>              0x10001: something was cleaned; anything else: no action
//             Status=<n>               read with Outcome 0x10001: 0x20003 the cleaning failed
//             Virus=<name>             the virus named in the record
//             Error=<text>             an error window to show first (see below)
//   [message] MsgTitle=<caption>       the caption of its windows (default "Kavrel Purgex")
//
// With an error text the program first shows its error window, as the real program does when
// its cleaning fails: a top-level window with the caption, an icon and, as the icon's next
// sibling, the text. It waits until the window is closed (at most 60 seconds) and journals how
// it ended.
//
// The record goes to the client's main window (the mapping
// "VigilonCorp_MemoryMappedFile_MainWnd") with WM_COPYDATA, tag 2004: the outcome at byte 4,
// the status at byte 48 and the NUL-terminated virus name from byte 56. Every start, the options
// read and the record sent are written to the journal (the file named by VGL_PGX_JOURNAL, else
// "PGX.log" beside the program), with how the program was asked to show its window (the
// start-up information's show flag, or -1 when none was given).
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "journal.h"

namespace
{
CJournal g_journal("PGX.log", "VGL_PGX_JOURNAL", CJournal::STAMP);

void ProgramFolderFile(const char* pszName, char* pszPath, DWORD cbPath)
{
    DWORD cch = GetModuleFileNameA(NULL, pszPath, cbPath);
    char* pszSlash = strrchr(pszPath, '\\');
    if (cch == 0 || pszSlash == NULL)
        pszPath[0] = '\0';
    else
        lstrcpynA(pszSlash + 1, pszName, (int)(cbPath - (pszSlash + 1 - pszPath)));
}

LRESULT CALLBACK ErrorWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_CLOSE)
    {
        g_journal.Write("error window closed by WM_CLOSE");
        DestroyWindow(hWnd);
        return 0;
    }
    if (uMsg == WM_DESTROY)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// The error window with its icon and text; returns once it is closed or after 60 seconds.
void ShowErrorWindow(HINSTANCE hInstance, const char* pszCaption, const char* pszText)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ErrorWindowProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "PGXError";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("PGXError", pszCaption, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                              100, 100, 360, 120, NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
    {
        g_journal.Write("no error window: error %lu", GetLastError());
        return;
    }
    HWND hIcon = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_ICON, 10, 10, 32, 32, hWnd, NULL, hInstance,
                               NULL);
    SendMessageA(hIcon, STM_SETICON, (WPARAM)LoadIconA(NULL, IDI_HAND), 0);
    CreateWindowA("STATIC", pszText, WS_CHILD | WS_VISIBLE, 52, 10, 290, 60, hWnd, NULL, hInstance, NULL);
    g_journal.Write("error window shown: %s", pszText);
    UINT_PTR uTimer = SetTimer(NULL, 0, 60000, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
    {
        if (msg.message == WM_TIMER && msg.hwnd == NULL)
        {
            g_journal.Write("error window not closed within 60 seconds");
            DestroyWindow(hWnd);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    KillTimer(NULL, uTimer);
}

DWORD IniNumber(const char* pszIni, const char* pszSection, const char* pszKey, DWORD dwDefault)
{
    char szValue[64];
    GetPrivateProfileStringA(pszSection, pszKey, "", szValue, sizeof(szValue), pszIni);
    return szValue[0] ? strtoul(szValue, NULL, 0) : dwDefault;
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    char szIni[MAX_PATH];
    ProgramFolderFile("PGX.ini", szIni, sizeof(szIni));
    DWORD dwMsgbox = IniNumber(szIni, "options", "VirusMsgbox", 1);
    DWORD dwOutcome = IniNumber(szIni, "result", "Outcome", 0);
    DWORD dwStatus = IniNumber(szIni, "result", "Status", 0);
    char szVirus[200] = "";
    GetPrivateProfileStringA("result", "Virus", "", szVirus, sizeof(szVirus), szIni);
    STARTUPINFOA si;
    GetStartupInfoA(&si);
    int nShow = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
    g_journal.Write("start pid=%lu args=%s VirusMsgbox=%lu show=%d", GetCurrentProcessId(),
                    lpCmdLine ? lpCmdLine : "", dwMsgbox, nShow);
    char szError[200] = "";
    GetPrivateProfileStringA("result", "Error", "", szError, sizeof(szError), szIni);
    if (szError[0] != '\0')
    {
        char szCaption[128];
        GetPrivateProfileStringA("message", "MsgTitle", "Kavrel Purgex", szCaption, sizeof(szCaption), szIni);
        ShowErrorWindow(hInstance, szCaption, szError);
    }

    HWND hClient = NULL;
    HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, "VigilonCorp_MemoryMappedFile_MainWnd");
    if (hMap != NULL)
    {
        // The mapping holds the window's low 32 bits (4 bytes for 32-bit and 64-bit programs
        // alike); window handles are 32-bit values on 64-bit Windows, read sign-extended.
        const DWORD* pValue = (const DWORD*)MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, sizeof(DWORD));
        if (pValue != NULL)
        {
            hClient = (HWND)LongToHandle((LONG)*pValue);
            UnmapViewOfFile(pValue);
        }
        CloseHandle(hMap);
    }
    if (hClient == NULL || !IsWindow(hClient))
    {
        g_journal.Write("no client window: nothing reported");
        return 0;
    }

    BYTE record[56 + sizeof(szVirus)] = {};
    memcpy(record + 4, &dwOutcome, 4);
    memcpy(record + 48, &dwStatus, 4);
    size_t cchVirus = strlen(szVirus);
    memcpy(record + 56, szVirus, cchVirus + 1);
    COPYDATASTRUCT cds;
    cds.dwData = 2004;
    cds.cbData = (DWORD)(56 + cchVirus + 1);
    cds.lpData = record;
    DWORD_PTR dwResult = 0;
    BOOL fSent = SendMessageTimeoutA(hClient, WM_COPYDATA, 0, (LPARAM)&cds, SMTO_NORMAL, 30000, &dwResult) != 0;
    g_journal.Write("reported outcome=0x%lX status=0x%lX virus=%s sent=%d", dwOutcome, dwStatus, szVirus,
                    fSent);
    return 0;
}

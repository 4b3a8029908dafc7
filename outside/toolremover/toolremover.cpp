// VglToolUninst.exe: stands in for the uninstaller of an extra tool installed with the client
// (its copies live in the "uninstall" folder of the program folder, under any name). Started
// with "/LOCALRUN" it removes its tool; it writes its own path and command line to the journal
// (the file named by VGL_TOOL_UNINST_JOURNAL, else "VglToolUninst.log" beside the program) when
// it starts and when it ends. VGL_TOOL_UNINST_MS, when set, is how long its work takes (ms);
// with VGL_TOOL_UNINST_UNTIL naming a file, it works until that file exists (at most that long,
// a minute by default).
#include <windows.h>

#include "journal.h"

#include <stdlib.h>

namespace
{
CJournal g_journal("VglToolUninst.log", "VGL_TOOL_UNINST_JOURNAL", CJournal::STAMP);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    char szPath[MAX_PATH] = "";
    GetModuleFileNameA(NULL, szPath, sizeof(szPath));
    g_journal.Write("start %s args=%s", szPath, lpCmdLine ? lpCmdLine : "");
    char szMs[32] = "", szUntil[MAX_PATH] = "";
    DWORD dwMs = 0;
    if (GetEnvironmentVariableA("VGL_TOOL_UNINST_MS", szMs, sizeof(szMs)) > 0)
        dwMs = (DWORD)strtoul(szMs, NULL, 10);
    if (GetEnvironmentVariableA("VGL_TOOL_UNINST_UNTIL", szUntil, sizeof(szUntil)) > 0)
    {
        DWORD dwStart = GetTickCount(), dwLimit = dwMs ? dwMs : 60000;
        while (GetFileAttributesA(szUntil) == INVALID_FILE_ATTRIBUTES && GetTickCount() - dwStart < dwLimit)
            Sleep(20);
    }
    else
    {
        Sleep(dwMs);
    }
    g_journal.Write("end %s", szPath);
    return 0;
}

// A program the client only starts (a set-up program, an installer, a tool): it writes its
// start (command line and current folder) to its journal and ends. VGL_PROGRAM_JOURNAL names
// the journal file beside the program, VGL_PROGRAM_VARIABLE the environment variable that may
// name another path.
#include <windows.h>

#include "journal.h"

namespace
{
CJournal g_journal(VGL_PROGRAM_JOURNAL, VGL_PROGRAM_VARIABLE, CJournal::STAMP);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int nShow)
{
    char szFolder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(szFolder), szFolder);
    g_journal.Write("start pid=%lu args=%s show=%d folder=%s", GetCurrentProcessId(), lpCmdLine ? lpCmdLine : "", nShow,
                    szFolder);
    return 0;
}

// What the update program's dialogs share: the names of the client's mappings and of the
// staging folders, the messages, the waits and the procedures that stop and start the client.
#ifndef VGL_UPDATECOMMON_H
#define VGL_UPDATECOMMON_H

#include <afxwin.h>
#include <afxcmn.h>

#include "LogTracker.h"
#include "Misutils.h"

// A trace line ending with the source file's name and the line.
#define UPDTRACE(level, fmt, ...) \
    NS_Debug::GetLogTracker().Trace((level), fmt ", %s|%d", ##__VA_ARGS__, (LPCSTR)getFileName(__FILE__), \
                                    __LINE__)

// Posted by a dialog's worker thread when it has finished.
#define WM_WORKER_FINISHED (WM_USER + 1)
// Asks the client's main window to unload.
#define WM_UNLOAD (WM_USER + 1000)

// The string mappings the client fills before it starts this program.
extern const char g_pszMMF_HotFix[];           // "VigilonCorp_95_HotFix"
extern const char g_pszMMF_ProgramVersion[];   // "VigilonCorp_95_ProgramVersion"
// The mappings the running client publishes.
extern const char g_pszMMF_MainWnd[];          // "VigilonCorp_MemoryMappedFile_MainWnd": HWND
extern const char g_pszMMF_ProcessID[];        // "VigilonCorp_MemoryMappedFile_ProcessID": DWORD

// Staging folders under the temporary folder.
extern const char g_pszPatternUpdateFolder[];  // "Vigilon_PatternUpdate"
extern const char g_pszEngineUpdateFolder[];   // "Vigilon_EngineUpdate"
extern const char g_pszProgramUpdateFolder[];  // "Vigilon_ProgramUpdate"
extern const char g_pszCommonFolder[];         // "Common", inside the program folder's
extern const char g_pszHotFixFolder[];         // "Vigilon_HotFix"
extern const char g_pszHotFixWindowsFolder[];  // "Windows", inside the hot-fix folder

// The fixed waits of the program. Tests shorten them through the environment variable
// VGL_TEST_WAIT_DIVISOR (every wait is divided by it; read once).
namespace NS_UpdateWait
{
    DWORD Scale(DWORD dwMilliseconds);
    void Sleep(DWORD dwMilliseconds);
}

// The file's name begins with "KvdShell" and its extension with ".dll" (any case).
BOOL isShellExtensionFile(LPCSTR pszPath);
// The file's name and extension joined to the folder.
CString destinationPath(LPCSTR pszFolder, LPCSTR pszSource);
// The named mapping exists.
BOOL isMappingPresent(LPCSTR pszName);
// Shows a text now: sets it and repaints the control at once.
void showTextNow(CWnd& wnd, LPCSTR pszText);
// A message box captioned with the program's title.
int updateMessageBox(LPCSTR pszText, UINT nType);

// Stopping and starting the client, as every dialog of the program does it.
namespace NS_Client
{
    // Asks the running client to unload (WM_UNLOAD, then WM_QUIT to its main window) and waits
    // for it: up to 20 s for its process, else up to 20 s for its main-window mapping to go,
    // then 10 s more. TRUE when no client runs (at once when none did). pBar (range 0-20) and
    // pStepText (string 167 before the messages go) are optional.
    BOOL Unload(CProgressCtrl* pBar, CWnd* pStepText);

    // Starts the client program ("Application Path" + "Application Filename") without a command
    // line; a failure is shown in a message box. TRUE when it started.
    BOOL Start();

    // Waits until the client's main-window mapping exists: up to nTries seconds; pBar, when
    // given, advances by one a second.
    void WaitForMainWindow(int nTries, CProgressCtrl* pBar);

    // This run unloaded a client that no dialog has tried to start again yet. The program
    // starts it once at its end, so that it is never left unloaded.
    BOOL IsLeftUnloaded();
}

#endif

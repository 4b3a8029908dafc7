// kvdbg20.dll: the trace sink.
//
// SD_InitDebug_with_Ini_0200 (ini path, build date, build time) reads the
// section [Trace] of the switch file:
//     LogFile=<path>   the log; relative paths are taken from the INI's folder
//                      (default "VglDebug.log" beside the INI)
//     Level=<n>        write only lines whose sink level is n or less
//                      (2 exceptions, 4 errors, 5 information, 8 entry/exit;
//                      default 8: everything)
//     HoldOn=<text>    a debugging aid: the thread that writes a line holding this text
//     HoldFile=<path>  waits after writing it until this file exists (other threads go on
//     HoldTime=<ms>    tracing), at most HoldTime ms (default 30000)
// and starts the log with a header line. Calling it again rereads the INI.
//
// SD_TraceA_0200 (component, n, sink level, format, ...) appends one line:
//     "YYYY/MM/DD hh:mm:ss.mmm TTTTTTTT L [component ]text" CR LF
// with the local time, the thread id in hex and the sink level. Line ends
// inside the text become blanks, so every call is one line. Lines are
// serialised by a mutex named after the log and appended at the file's
// current end, so several processes may share one log without losing lines.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace
{
const int LINE_SIZE = 8192;

CRITICAL_SECTION g_lock;
HANDLE g_hLog = INVALID_HANDLE_VALUE;
HANDLE g_hLogMutex = NULL; // shared by every process that writes this log
const DWORD LOG_MUTEX_WAIT = 5000;
int g_nMaxLevel = 8;
char g_szHoldOn[256] = "";
char g_szHoldFile[MAX_PATH] = "";
DWORD g_dwHoldTime = 30000;

// Waits until the hold file exists or the hold time has passed.
void Hold()
{
    DWORD dwStart = GetTickCount();
    while (GetFileAttributesA(g_szHoldFile) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - dwStart < g_dwHoldTime)
        Sleep(20);
}

// Folder part of a path, with its trailing backslash ("" when none).
void GetFolder(const char* pszPath, char* pszFolder, size_t cbFolder)
{
    const char* pszEnd = pszPath;
    for (const char* p = pszPath; *p != '\0'; p = CharNextA(p))
    {
        if (*p == '\\' || *p == '/' || *p == ':')
            pszEnd = p + 1;
    }
    size_t cb = (size_t)(pszEnd - pszPath);
    if (cb >= cbFolder)
        cb = 0;
    memcpy(pszFolder, pszPath, cb);
    pszFolder[cb] = '\0';
}

bool IsAbsolute(const char* pszPath)
{
    return pszPath[0] == '\\' || pszPath[0] == '/' || (pszPath[0] != '\0' && pszPath[1] == ':');
}

// The mutex for one log: its path, case folded, with the backslashes
// that a kernel object's name may not hold replaced.
HANDLE OpenLogMutex(const char* pszLogPath)
{
    char szName[2 * MAX_PATH + 32] = "kvdbg20 log ";
    size_t cchPrefix = strlen(szName);
    size_t i = 0;
    for (; pszLogPath[i] != '\0' && cchPrefix + i < sizeof(szName) - 1; ++i)
    {
        char ch = pszLogPath[i];
        szName[cchPrefix + i] = ch == '\\' ? '/' : (ch >= 'A' && ch <= 'Z' ? (char)(ch - 'A' + 'a') : ch);
    }
    szName[cchPrefix + i] = '\0';
    return CreateMutexA(NULL, FALSE, szName);
}

// Another process may append between a seek to the end and the write, so
// both happen under the log's mutex. An abandoned mutex is ours all the
// same; a timed-out wait still writes rather than drop the line.
void AppendLine(char* pszLine, int cch)
{
    DWORD dwWait = g_hLogMutex != NULL ? WaitForSingleObject(g_hLogMutex, LOG_MUTEX_WAIT) : WAIT_FAILED;
    DWORD cbWritten = 0;
    SetFilePointer(g_hLog, 0, NULL, FILE_END);
    WriteFile(g_hLog, pszLine, (DWORD)cch, &cbWritten, NULL);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(g_hLogMutex);
}

// Formats the prefix and the text into pszLine; returns the line's length
// with its CR LF, or -1 when the format is bad. Long texts are cut.
int FormatLine(char* pszLine, LPCSTR pszComponent, int nSinkLevel, LPCSTR pszFormat, va_list args)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    int cchPrefix = _snprintf(pszLine, 128, "%04u/%02u/%02u %02u:%02u:%02u.%03u %08lX %d ",
                              st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                              st.wMilliseconds, GetCurrentThreadId(), nSinkLevel);
    if (cchPrefix < 0)
        return -1;
    if (pszComponent != NULL && pszComponent[0] != '\0')
    {
        int cch = _snprintf(pszLine + cchPrefix, 128, "%.100s ", pszComponent);
        if (cch > 0)
            cchPrefix += cch;
    }

    char* pszText = pszLine + cchPrefix;
    size_t cchRoom = (size_t)(LINE_SIZE - cchPrefix - 3);
    va_list copy;
    va_copy(copy, args);
    int cchText = _vsnprintf(pszText, cchRoom, pszFormat, args);
    if (cchText < 0 || (size_t)cchText > cchRoom)
    {
        if (_vscprintf(pszFormat, copy) < 0)
        {
            va_end(copy);
            return -1;
        }
        cchText = (int)cchRoom;
    }
    va_end(copy);

    for (int i = 0; i < cchText; ++i)
    {
        if (pszText[i] == '\r' || pszText[i] == '\n')
            pszText[i] = ' ';
    }
    char* pszEnd = pszText + cchText;
    pszEnd[0] = '\r';
    pszEnd[1] = '\n';
    pszEnd[2] = '\0';
    return (int)(pszEnd + 2 - pszLine);
}

void WriteRaw(LPCSTR pszFormat, ...)
{
    char szLine[LINE_SIZE];
    va_list args;
    va_start(args, pszFormat);
    int cch = FormatLine(szLine, NULL, 0, pszFormat, args);
    va_end(args);
    if (cch > 0)
        AppendLine(szLine, cch);
}
} // namespace

extern "C" int __cdecl SD_InitDebug_with_Ini_0200(LPCSTR pszIniPath, LPCSTR pszBuildDate,
                                                   LPCSTR pszBuildTime)
{
    if (pszIniPath == NULL || pszIniPath[0] == '\0')
        return 0;

    char szFolder[MAX_PATH];
    GetFolder(pszIniPath, szFolder, sizeof(szFolder));

    char szLogFile[MAX_PATH];
    GetPrivateProfileStringA("Trace", "LogFile", "VglDebug.log", szLogFile, sizeof(szLogFile),
                             pszIniPath);
    char szLogPath[2 * MAX_PATH];
    if (IsAbsolute(szLogFile))
        _snprintf(szLogPath, sizeof(szLogPath), "%s", szLogFile);
    else
        _snprintf(szLogPath, sizeof(szLogPath), "%s%s", szFolder, szLogFile);
    szLogPath[sizeof(szLogPath) - 1] = '\0';

    int nMaxLevel = (int)GetPrivateProfileIntA("Trace", "Level", 8, pszIniPath);
    char szHoldOn[sizeof(g_szHoldOn)], szHoldFile[sizeof(g_szHoldFile)];
    GetPrivateProfileStringA("Trace", "HoldOn", "", szHoldOn, sizeof(szHoldOn), pszIniPath);
    GetPrivateProfileStringA("Trace", "HoldFile", "", szHoldFile, sizeof(szHoldFile), pszIniPath);
    DWORD dwHoldTime = GetPrivateProfileIntA("Trace", "HoldTime", 30000, pszIniPath);

    EnterCriticalSection(&g_lock);
    if (g_hLog != INVALID_HANDLE_VALUE)
        CloseHandle(g_hLog);
    if (g_hLogMutex != NULL)
        CloseHandle(g_hLogMutex);
    g_hLogMutex = OpenLogMutex(szLogPath);
    g_nMaxLevel = nMaxLevel;
    strcpy(g_szHoldOn, szHoldOn);
    strcpy(g_szHoldFile, szHoldFile);
    g_dwHoldTime = dwHoldTime;
    g_hLog = CreateFileA(szLogPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (g_hLog != INVALID_HANDLE_VALUE)
    {
        char szModule[MAX_PATH];
        DWORD cch = GetModuleFileNameA(NULL, szModule, sizeof(szModule));
        szModule[cch < sizeof(szModule) ? cch : sizeof(szModule) - 1] = '\0';
        WriteRaw("---- %s, built %s %s, level %d ----", szModule,
                 pszBuildDate != NULL ? pszBuildDate : "", pszBuildTime != NULL ? pszBuildTime : "",
                 nMaxLevel);
    }
    int nResult = g_hLog != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&g_lock);
    return nResult;
}

extern "C" int __cdecl SD_TraceA_0200(LPCSTR pszComponent, int /*nOne*/, int nSinkLevel,
                                      LPCSTR pszFormat, ...)
{
    if (pszFormat == NULL)
        return 0;

    int nWritten = 0;
    bool fHold = false;
    EnterCriticalSection(&g_lock);
    if (g_hLog != INVALID_HANDLE_VALUE && nSinkLevel <= g_nMaxLevel)
    {
        char szLine[LINE_SIZE];
        va_list args;
        va_start(args, pszFormat);
        int cch = FormatLine(szLine, pszComponent, nSinkLevel, pszFormat, args);
        va_end(args);
        if (cch > 0)
        {
            AppendLine(szLine, cch);
            nWritten = 1;
            fHold = g_szHoldOn[0] != '\0' && g_szHoldFile[0] != '\0' && strstr(szLine, g_szHoldOn) != NULL;
        }
    }
    LeaveCriticalSection(&g_lock);
    if (fHold)
        Hold();
    return nWritten;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE /*hInstance*/, DWORD dwReason, LPVOID /*pvReserved*/)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        InitializeCriticalSection(&g_lock);
    }
    else if (dwReason == DLL_PROCESS_DETACH)
    {
        if (g_hLog != INVALID_HANDLE_VALUE)
        {
            CloseHandle(g_hLog);
            g_hLog = INVALID_HANDLE_VALUE;
        }
        if (g_hLogMutex != NULL)
        {
            CloseHandle(g_hLogMutex);
            g_hLogMutex = NULL;
        }
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

#include "LogTracker.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// Constant-initialised (the vtable is in place before any static constructor
// runs) and destroyed after every object of default priority, so traces from
// other static constructors and destructors are safe.
CBrisaLogTracker g_logTracker __attribute__((init_priority(101)));

CBrisaLogTracker::~CBrisaLogTracker()
{
    HMODULE hLibrary = m_hLibrary;
    m_pfnTrace = NULL;
    m_pfnInitDebug = NULL;
    m_hLibrary = NULL;
    if (hLibrary != NULL)
        FreeLibrary(hLibrary);
}

BOOL CBrisaLogTracker::Open(LPCSTR pszIniPath, int /*nFlag*/)
{
    if (pszIniPath == NULL || GetFileAttributesA(pszIniPath) == INVALID_FILE_ATTRIBUTES)
        return FALSE;

    if (m_hLibrary == NULL)
    {
        // "kvdbg20.dll" from the program's own folder.
        char szPath[MAX_PATH + 16];
        DWORD cch = GetModuleFileNameA(NULL, szPath, MAX_PATH);
        if (cch == 0 || cch >= MAX_PATH)
            return FALSE;
        szPath[cch] = '\0';
        char* pszName = szPath;
        for (char* p = szPath; *p != '\0'; p = CharNextA(p))
        {
            if (*p == '\\' || *p == '/' || *p == ':')
                pszName = p + 1;
        }
        strcpy(pszName, "kvdbg20.dll");

        m_hLibrary = LoadLibraryExA(szPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (m_hLibrary == NULL)
            return FALSE;
    }

    m_pfnInitDebug = (PFN_SD_INITDEBUG)(void*)GetProcAddress(m_hLibrary, "SD_InitDebug_with_Ini_0200");
    m_pfnTrace = (PFN_SD_TRACE)(void*)GetProcAddress(m_hLibrary, "SD_TraceA_0200");
    if (m_pfnInitDebug == NULL)
        return FALSE;

    m_pfnInitDebug(pszIniPath, __DATE__, __TIME__);
    return TRUE;
}

BOOL CBrisaLogTracker::Close()
{
    return FALSE;
}

void CBrisaLogTracker::SetOwnerName(LPCSTR /*pszName*/)
{
}

CLogTracker& CBrisaLogTracker::operator<<(LPCSTR pszText)
{
    Write(3, pszText);
    return *this;
}

BOOL CBrisaLogTracker::Write(int nLevel, LPCSTR pszText)
{
    return Trace(nLevel, "%s", pszText);
}

BOOL CBrisaLogTracker::IsOpen()
{
    return m_hLibrary != NULL && m_pfnInitDebug != NULL && m_pfnTrace != NULL;
}

int CBrisaLogTracker::GetSinkLevel(int nLevel)
{
    switch (nLevel)
    {
    case 0:
    case 1:
    case 2:
        return 8;
    case 3:
        return 5;
    case 12:
        return 4;
    default:
        return 2;
    }
}

BOOL CBrisaLogTracker::Trace(int nLevel, LPCSTR pszFormat, ...)
{
    if (!IsOpen())
        return TRUE;

    // "##" + text + terminator in one stack buffer.
    char szLine[TRACE_BUFFER_SIZE];
    const size_t cchText = TRACE_BUFFER_SIZE - 3;
    szLine[0] = '#';
    szLine[1] = '#';

    va_list args;
    va_start(args, pszFormat);
    int cch = _vsnprintf(szLine + 2, cchText, pszFormat, args);
    va_end(args);
    if (cch < 0)
    {
        // msvcrt answers -1 both for a cut text and for a bad format: only
        // the latter is dropped; a long line is written cut.
        va_start(args, pszFormat);
        int cchNeeded = _vscprintf(pszFormat, args);
        va_end(args);
        if (cchNeeded < 0)
            return TRUE;
    }
    szLine[2 + cchText] = '\0';

    m_pfnTrace("", 1, GetSinkLevel(nLevel), "%s", szLine);
    return TRUE;
}

CLogTracker& NS_Debug::GetLogTracker()
{
    return g_logTracker;
}

void NS_Debug::Construct()
{
    char szWindows[MAX_PATH];
    UINT cch = GetWindowsDirectoryA(szWindows, MAX_PATH);
    if (cch >= 2 && cch < MAX_PATH && szWindows[1] == ':')
    {
        char szIni[MAX_PATH];
        _snprintf(szIni, sizeof(szIni), "%c:\\VglDebug.ini", szWindows[0]);
        szIni[sizeof(szIni) - 1] = '\0';
        g_logTracker.Open(szIni, 0);
    }
    CreateDebugWindow();
}

namespace
{
NS_Debug::SDebugWindowHooks g_debugWindowHooks = {NULL, NULL, NULL};
}

void NS_Debug::SetDebugWindowHooks(const SDebugWindowHooks& hooks)
{
    g_debugWindowHooks = hooks;
}

void NS_Debug::CreateDebugWindow()
{
    if (g_debugWindowHooks.pfnCreate != NULL)
        g_debugWindowHooks.pfnCreate();
}

void NS_Debug::Destruct()
{
    if (g_debugWindowHooks.pfnDestroy != NULL)
        g_debugWindowHooks.pfnDestroy();
}

void NS_Debug::ToggleDebugWindow()
{
    if (g_debugWindowHooks.pfnToggle != NULL)
        g_debugWindowHooks.pfnToggle();
}

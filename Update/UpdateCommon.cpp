// What the update program's dialogs share.
#include "UpdateCommon.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "Utils_MemMappedFile.h"
#include "resource_ids.h"

#include <stdlib.h>

const char g_pszMMF_HotFix[] = "VigilonCorp_95_HotFix";
const char g_pszMMF_ProgramVersion[] = "VigilonCorp_95_ProgramVersion";
const char g_pszMMF_MainWnd[] = "VigilonCorp_MemoryMappedFile_MainWnd";
const char g_pszMMF_ProcessID[] = "VigilonCorp_MemoryMappedFile_ProcessID";

const char g_pszPatternUpdateFolder[] = "Vigilon_PatternUpdate";
const char g_pszEngineUpdateFolder[] = "Vigilon_EngineUpdate";
const char g_pszProgramUpdateFolder[] = "Vigilon_ProgramUpdate";
const char g_pszCommonFolder[] = "Common";
const char g_pszHotFixFolder[] = "Vigilon_HotFix";
const char g_pszHotFixWindowsFolder[] = "Windows";

namespace
{
const int UNLOAD_STEPS = 20;
const DWORD UNLOAD_WAIT = 1000;
const DWORD UNLOAD_AFTER_END = 1000;
const DWORD UNLOAD_AFTER_MAPPING = 2000;
const DWORD UNLOAD_LAST_WAIT = 10000;

// A run unloaded the client and has not tried to start it yet.
BOOL g_fLeftUnloaded = FALSE;
}

namespace NS_UpdateWait
{
DWORD Scale(DWORD dwMilliseconds)
{
    static const DWORD s_dwDivisor = []() -> DWORD {
        char szValue[32];
        DWORD cch = ::GetEnvironmentVariableA("VGL_TEST_WAIT_DIVISOR", szValue, sizeof(szValue));
        long n = (cch > 0 && cch < sizeof(szValue)) ? atol(szValue) : 0;
        return n > 1 ? (DWORD)n : 1;
    }();
    if (dwMilliseconds == INFINITE)
        return dwMilliseconds;
    return dwMilliseconds / s_dwDivisor;
}

void Sleep(DWORD dwMilliseconds)
{
    ::Sleep(Scale(dwMilliseconds));
}
}

BOOL isShellExtensionFile(LPCSTR pszPath)
{
    char szName[_MAX_FNAME], szExt[_MAX_EXT];
    _splitpath(pszPath, NULL, NULL, szName, szExt);
    return _strnicmp(szName, "KvdShell", 8) == 0 && _strnicmp(szExt, ".dll", 4) == 0;
}

CString destinationPath(LPCSTR pszFolder, LPCSTR pszSource)
{
    char szName[_MAX_FNAME], szExt[_MAX_EXT];
    _splitpath(pszSource, NULL, NULL, szName, szExt);
    CString strPath;
    concatPath(strPath, pszFolder, CString(szName) + szExt);
    return strPath;
}

BOOL isMappingPresent(LPCSTR pszName)
{
    HANDLE hMapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, pszName);
    if (hMapping == NULL)
        return FALSE;
    ::CloseHandle(hMapping);
    return TRUE;
}

void showTextNow(CWnd& wnd, LPCSTR pszText)
{
    if (wnd.m_hWnd == NULL)
        return;
    wnd.SetWindowText(pszText);
    wnd.InvalidateRect(NULL, TRUE);
    wnd.UpdateWindow();
}

int updateMessageBox(LPCSTR pszText, UINT nType)
{
    return ::MessageBoxA(NULL, pszText, AfxGetAppName(), nType | MB_SETFOREGROUND);
}

namespace NS_Client
{
BOOL Unload(CProgressCtrl* pBar, CWnd* pStepText)
{
    UPDTRACE(1, "--> NS_Client::Unload()");
    if (pBar != NULL)
        pBar->SetRange(0, UNLOAD_STEPS);
    HWND hMainWnd = getMemoryMappedHwnd(g_pszMMF_MainWnd);
    if (hMainWnd == NULL)
    {
        if (pBar != NULL)
            pBar->SetPos(UNLOAD_STEPS);
        UPDTRACE(2, "<-- NS_Client::Unload(), the client is not running");
        return TRUE;
    }
    if (pStepText != NULL)
    {
        CString strText;
        strText.LoadString(IDS_UPD_UNLOADING);
        showTextNow(*pStepText, strText);
    }
    DWORD dwProcessId = getMemoryMappedDword(g_pszMMF_ProcessID);
    BOOL fUnload = ::PostMessageA(hMainWnd, WM_UNLOAD, 0, 0);
    BOOL fQuit = ::PostMessageA(hMainWnd, WM_QUIT, 0, 0);
    UPDTRACE(3, "    %d, %d = ::PostMessage(hMainWnd = 0x%p, WM_UNLOAD, WM_QUIT), dwProcessId = %lu", fUnload,
             fQuit, hMainWnd, dwProcessId);

    // The process is waited for only while a wait can tell that it ended: a handle without
    // the right to wait, or a wait that fails, says nothing.
    BOOL fEnded = FALSE;
    HANDLE hProcess = dwProcessId != 0 ? ::OpenProcess(SYNCHRONIZE, TRUE, dwProcessId) : NULL;
    if (hProcess != NULL)
    {
        for (int i = 0; i < UNLOAD_STEPS; ++i)
        {
            DWORD dwWait = ::WaitForSingleObject(hProcess, NS_UpdateWait::Scale(UNLOAD_WAIT));
            if (dwWait == WAIT_OBJECT_0)
            {
                NS_UpdateWait::Sleep(UNLOAD_AFTER_END);
                fEnded = TRUE;
                break;
            }
            if (dwWait != WAIT_TIMEOUT)
            {
                UPDTRACE(12, "    ::WaitForSingleObject(hProcess) = %lu, error = %lu: not known to have ended",
                         dwWait, ::GetLastError());
                break;
            }
            if (pBar != NULL)
                pBar->OffsetPos(1);
        }
        ::CloseHandle(hProcess);
    }
    else if (dwProcessId != 0)
    {
        UPDTRACE(12, "    ::OpenProcess(%lu) failed, error = %lu", dwProcessId, ::GetLastError());
    }
    if (fEnded)
    {
        if (pBar != NULL)
            pBar->SetPos(UNLOAD_STEPS);
        g_fLeftUnloaded = TRUE;
        UPDTRACE(2, "<-- NS_Client::Unload(), the client's process ended");
        return TRUE;
    }

    for (int i = 0; i < UNLOAD_STEPS; ++i)
    {
        if (pBar != NULL)
            pBar->OffsetPos(1);
        if (!isMappingPresent(g_pszMMF_MainWnd))
        {
            NS_UpdateWait::Sleep(UNLOAD_AFTER_MAPPING);
            break;
        }
        NS_UpdateWait::Sleep(UNLOAD_WAIT);
    }
    if (pBar != NULL)
        pBar->SetPos(UNLOAD_STEPS);
    NS_UpdateWait::Sleep(UNLOAD_LAST_WAIT);
    if (isMappingPresent(g_pszMMF_MainWnd))
    {
        UPDTRACE(12, "<-- NS_Client::Unload(), the client did not unload");
        return FALSE;
    }
    if (pBar != NULL)
        pBar->SetPos(UNLOAD_STEPS);
    g_fLeftUnloaded = TRUE;
    UPDTRACE(2, "<-- NS_Client::Unload(), the client's main window is gone");
    return TRUE;
}

BOOL Start()
{
    g_fLeftUnloaded = FALSE;
    STARTUPINFOA si;
    ::GetStartupInfoA(&si);
    CString strProgram;
    concatPath(strProgram, NS_RegistryKey::GetApplicationPath(), NS_RegistryKey::GetApplicationFilename());
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(strProgram, NULL, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL, NULL, &si, &pi))
    {
        CSystemError error(::GetLastError(), NULL, 0);
        UPDTRACE(12, "    ::CreateProcess(%s) failed: %s", (LPCSTR)strProgram, (LPCSTR)error.ToString());
        updateMessageBox(error.ToString(), MB_ICONHAND);
        return FALSE;
    }
    UPDTRACE(3, "    ::CreateProcess(%s), dwProcessId = %lu", (LPCSTR)strProgram, pi.dwProcessId);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return TRUE;
}

void WaitForMainWindow(int nTries, CProgressCtrl* pBar)
{
    if (isMappingPresent(g_pszMMF_MainWnd))
        return;
    for (int i = 0; i < nTries; ++i)
    {
        if (pBar != NULL)
            pBar->OffsetPos(1);
        if (isMappingPresent(g_pszMMF_MainWnd))
            return;
        NS_UpdateWait::Sleep(1000);
    }
}

BOOL IsLeftUnloaded()
{
    return g_fLeftUnloaded;
}
}

// Programs of the program folder that the client starts and stops around its work: the mail
// trap "Quelmail.exe" (closed while a pattern or engine is replaced) and the cleaning program
// "PGX.exe" (run only when its signature holds; its error windows are relayed to the user);
// and the disk reserve, a hidden file that keeps room for updates.
#include "Notification.h"

#include <process.h>

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "ReserveSpace.h"
#include "SignedFile.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "resource_ids.h"

namespace NS_Notification
{
namespace
{
// The mail trap this client started (NULL when it did not start one).
HANDLE g_hQuelmail = NULL;
CCriticalSection g_csQuelmail;

// The cleaning program's window caption (from "PGX.ini") and the thread that watches for it.
const char s_szDefaultPGXCaption[] = "Kavrel Purgex";
char g_szPGXCaption[128] = "Kavrel Purgex";
HANDLE g_hPGXWatchThread = NULL;
CCriticalSection g_csPGX;
// Set to end the watcher (manual reset); the watcher looks at it between its checks.
HANDLE g_hPGXWatchStop = ::CreateEventA(NULL, TRUE, FALSE, NULL);
const DWORD PGX_WATCH_STOP_WAIT = 3000;

const DWORD QUELMAIL_CLOSE_TIMEOUT = 30000;
const DWORD PGX_WATCH_PERIOD = 3000;

CString LaunchFailure(const CString& strPath)
{
    return LaunchFailureText(strPath, ::GetLastError());
}

unsigned __stdcall PGXWatchThread(void*)
{
    HWND hOwner = g_pMainDlg != NULL ? g_pMainDlg->m_hWnd : NULL;
    while (::WaitForSingleObject(g_hPGXWatchStop, PGX_WATCH_PERIOD) == WAIT_TIMEOUT)
    {
        char szCaption[sizeof(g_szPGXCaption)];
        lstrcpynA(szCaption, g_szPGXCaption, sizeof(szCaption));
        HWND hCleaner = ::FindWindowA(NULL, szCaption);
        if (hCleaner == NULL)
            continue;
        ::MessageBeep(MB_ICONSTOP);
        char szText[128] = "";
        HWND hFirst = ::GetWindow(hCleaner, GW_CHILD);
        HWND hSecond = hFirst != NULL ? ::GetWindow(hFirst, GW_HWNDNEXT) : NULL;
        if (hSecond != NULL)
            ::GetWindowTextA(hSecond, szText, sizeof(szText));
        VGLTRACE(3, "The cleaning program's window (%s): %s", szCaption, szText);
        if (szText[0] != '\0')
            ::MessageBoxA(hOwner, szText, szCaption, MB_OK | MB_ICONSTOP);
        ::SendMessageA(hCleaner, WM_CLOSE, 0, 0);
    }
    VGLTRACE(3, "The cleaning program's watcher ends");
    return 0;
}
}

void StopQuelmail()
{
    HWND hWnd = ::FindWindowA("Pop3Scan", NULL);
    if (hWnd == NULL)
        return;
    DWORD_PTR dwResult = 0;
    BOOL fSent = ::SendMessageTimeoutA(hWnd, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, QUELMAIL_CLOSE_TIMEOUT, &dwResult) != 0;
    VGLTRACE(3, "SendMessage(Pop3Scan 0x%p, WM_CLOSE) = %d", hWnd, fSent);
    CSingleLock lock(&g_csQuelmail, TRUE);
    if (g_hQuelmail == NULL)
        return;
    if (::WaitForSingleObject(g_hQuelmail, QUELMAIL_CLOSE_TIMEOUT) != WAIT_OBJECT_0)
    {
        if (::TerminateProcess(g_hQuelmail, 0))
        {
            VGLTRACE(3, "TerminateProcess(Quelmail.exe) succeeded");
        }
        else
        {
            CSystemError error(::GetLastError(), __FILE__, __LINE__);
            VGLTRACE(12, "TerminateProcess(Quelmail.exe) failed: %s", (LPCSTR)error.GetErrorMessage());
        }
    }
    ::CloseHandle(g_hQuelmail);
    g_hQuelmail = NULL;
}

void StartQuelmail()
{
    CString strPath = getModulePath() + "Quelmail.exe";
    CSingleLock lock(&g_csQuelmail, TRUE);
    if (g_hQuelmail != NULL)
        ::CloseHandle(g_hQuelmail);
    g_hQuelmail = NULL;
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (::CreateProcessA(strPath, NULL, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi))
    {
        g_hQuelmail = pi.hProcess;
        ::CloseHandle(pi.hThread);
        VGLTRACE(3, "Launch Quelmail.exe(%s)", (LPCSTR)strPath);
    }
    else
    {
        VGLTRACE(12, "ErrMsg = %s, NS_Notification::StartQuelmail()", (LPCSTR)LaunchFailure(strPath));
    }
}

void StartPGX(BOOL fShowVirusMessages)
{
    VGLTRACE(1, "--> NS_Notification::StartPGX(fShowVirusMessages = %d)", fShowVirusMessages);
    CString strPath = getModulePath() + "PGX.exe";
    int nAuth = kvAuthMD5(strPath);
    VGLTRACE(3, "(%d) = kvAuthMD5", nAuth);
    if (nAuth != 1)
        return;
    CSingleLock lock(&g_csPGX, TRUE);
    CString strIni = getModulePath() + "PGX.ini";
    ::WritePrivateProfileStringA("options", "VirusMsgbox", fShowVirusMessages ? "1" : "0", strIni);
    ::GetPrivateProfileStringA("message", "MsgTitle", s_szDefaultPGXCaption, g_szPGXCaption,
                               sizeof(g_szPGXCaption), strIni);
    ::ResetEvent(g_hPGXWatchStop);
    // A watcher that outlived its stop (inside a message box) and still runs goes on watching.
    if (g_hPGXWatchThread != NULL && ::WaitForSingleObject(g_hPGXWatchThread, 0) == WAIT_OBJECT_0)
    {
        ::CloseHandle(g_hPGXWatchThread);
        g_hPGXWatchThread = NULL;
    }
    if (g_hPGXWatchThread == NULL)
    {
        unsigned uThreadID = 0;
        g_hPGXWatchThread = reinterpret_cast<HANDLE>(::_beginthreadex(NULL, 0, PGXWatchThread, NULL, 0, &uThreadID));
    }
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    if (::CreateProcessA(strPath, NULL, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi))
    {
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        VGLTRACE(3, "Launch PGX.exe(%s), dwProcessId = %lu", (LPCSTR)strPath, pi.dwProcessId);
    }
    else
    {
        VGLTRACE(12, "ErrMsg = %s, NS_Notification::StartQuelmail()", (LPCSTR)LaunchFailure(strPath));
    }
}

void StopPGXWatchThread()
{
    HANDLE hThread;
    {
        CSingleLock lock(&g_csPGX, TRUE);
        if (g_hPGXWatchThread == NULL)
            return;
        ::SetEvent(g_hPGXWatchStop);
        hThread = g_hPGXWatchThread;
    }
    // Never killed: it may be inside a message box or a trace call. One that does not end in
    // time ends when its box is closed (the next start finds it and lets it go on).
    DWORD dwWait = ::WaitForSingleObject(hThread, PGX_WATCH_STOP_WAIT);
    VGLTRACE(3, "The cleaning program's watcher ended: %d", dwWait == WAIT_OBJECT_0);
    CSingleLock lock(&g_csPGX, TRUE);
    if (dwWait == WAIT_OBJECT_0 && g_hPGXWatchThread == hThread)
    {
        ::CloseHandle(hThread);
        g_hPGXWatchThread = NULL;
    }
}

namespace
{
CString ReserveFile()
{
    CString strPath;
    strPath.Format("%sReserve", (LPCSTR)getModulePath());
    return strPath;
}
}

void ReserveDiskSpace()
{
    if (!NS_RegistryKey::IsHttpBased())
    {
        VGLTRACE(3, "FILE-BASE do not need to reserve disk space");
        return;
    }
    CString strPath = ReserveFile();
    // A file of 4 GB or more is not possible here: the size is kept below it.
    DWORD dwMegabytes = NS_RegistryKey::GetDiskReserved();
    if (dwMegabytes > 4095)
        dwMegabytes = 4095;
    VGLTRACE(3, "Reserve FileName:\"%s\" size:%d MB", (LPCSTR)strPath, (int)dwMegabytes);
    DWORD dwReserved = 0;
    char szError[1024] = "";
    DWORD dwError = ReserveSpace(strPath, dwMegabytes * 1048576, &dwReserved, szError, sizeof(szError));
    if (dwError != 0)
        VGLTRACE(12, "ReserveSpace failed. ErrMsg:%s error:%lu", szError, dwError);
    else
        VGLTRACE(3, "Successful reserved %.2f MB.", dwReserved / 1048576.0);
}

void RemoveReservedDiskSpace()
{
    if (!NS_RegistryKey::IsHttpBased())
    {
        VGLTRACE(3, "FILE-BASE do not need to reserve disk space");
        return;
    }
    CString strPath = ReserveFile();
    char szError[1024] = "";
    DWORD dwError = RemoveSpace(strPath, szError, sizeof(szError));
    if (dwError != 0)
        VGLTRACE(12, "RemoveSpace \"%s\" Failed. msg:%s error:%lu", (LPCSTR)strPath, szError, dwError);
    else
        VGLTRACE(3, "Successful remove %s", (LPCSTR)strPath);
}
}

// Small services of NS_Notification that the client's windows use directly: starting a
// program, the free space check, the engine's version text, writing a reply to a file and
// the search for the maker's other products.
#include "Notification.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "OtherProducts.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "resource_ids.h"

namespace NS_Notification
{
CString LaunchFailureText(const char* pszPath, DWORD dwError)
{
    CSystemError error(dwError, __FILE__, __LINE__);
    CString strFormat, strMessage;
    if (!strFormat.LoadString(IDS_LAUNCH_FAILED))
        strFormat = "%s: %s";
    strMessage.Format(strFormat, pszPath, (LPCSTR)error.GetErrorMessage());
    return strMessage;
}

BOOL SpawnProcess(PROCESS_INFORMATION* ppi, const char* pszProgram, const char* pszArguments)
{
    CString strCommand;
    strCommand.Format("\"%s\"", pszProgram);
    if (pszArguments != NULL && pszArguments[0] != '\0')
    {
        strCommand += " ";
        strCommand += pszArguments;
    }
    VGLTRACE(3, "NS_Notification::SpawnProcess: %s", (LPCSTR)strCommand);
    STARTUPINFOA si;
    ::GetStartupInfoA(&si);
    si.cb = sizeof(si);
    si.lpReserved = NULL;
    PROCESS_INFORMATION pi = {};
    char* pszCommand = strCommand.GetBuffer(0);
    BOOL fSuccess = ::CreateProcessA(NULL, pszCommand, NULL, NULL, FALSE,
                                     CREATE_DEFAULT_ERROR_MODE, NULL, NULL, &si, &pi);
    DWORD dwError = fSuccess ? 0 : ::GetLastError();
    strCommand.ReleaseBuffer();
    if (ppi != NULL)
        *ppi = pi;
    if (!fSuccess)
    {
        // Shown every time: a program that does not start is never passed over unnoticed.
        CString strMessage = LaunchFailureText(pszProgram, dwError);
        ::MessageBoxA(NULL, strMessage, NULL, MB_OK | MB_ICONSTOP);
        VGLTRACE(12, "ErrMsg = %s, NS_Notification::SpawnProcess(%s, %s), %s|%d", (LPCSTR)strMessage, pszProgram,
                 pszArguments != NULL ? pszArguments : "(null)", __FILE__, __LINE__);
        return FALSE;
    }
    VGLTRACE(3, "fSuccess(%d) = CreateProcess(%s), dwProcessId = %lu", fSuccess, (LPCSTR)strCommand, pi.dwProcessId);
    return TRUE;
}

BOOL HasEnoughDiskSpace()
{
    char szWindows[MAX_PATH];
    if (::GetWindowsDirectoryA(szWindows, sizeof(szWindows)) == 0)
    {
        VGLTRACE(12, "GetWindowsDirectory fail, ID = %lu", ::GetLastError());
        return FALSE;
    }
    char szRoot[4] = { szWindows[0], szWindows[1], szWindows[2], '\0' };
    ULARGE_INTEGER free = {}, total = {}, totalFree = {};
    typedef BOOL (WINAPI* PFN_GETDISKFREESPACEEX)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                                   PULARGE_INTEGER);
    PFN_GETDISKFREESPACEEX pfn = (PFN_GETDISKFREESPACEEX)::GetProcAddress(
        ::GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA");
    if (pfn != NULL)
    {
        if (!pfn(szRoot, &free, &total, &totalFree))
        {
            VGLTRACE(12, "GetDiskFreeSpaceEx(%s) fail, ID = %lu", szRoot, ::GetLastError());
            free.QuadPart = 0;
        }
    }
    else
    {
        DWORD dwSectors = 0, dwBytes = 0, dwFree = 0, dwClusters = 0;
        if (::GetDiskFreeSpaceA(szRoot, &dwSectors, &dwBytes, &dwFree, &dwClusters))
        {
            free.QuadPart = (ULONGLONG)dwSectors * dwBytes * dwFree;
            total.QuadPart = (ULONGLONG)dwSectors * dwBytes * dwClusters;
        }
        else
        {
            VGLTRACE(12, "GetDiskFreeSpace(%s) fail, ID = %lu", szRoot, ::GetLastError());
        }
    }
    VGLTRACE(3, "i64FreeBytes(%I64u), i64TotalBytes(%I64u) ", free.QuadPart, total.QuadPart);
    return free.QuadPart >= 20971520;
}

CString GetEngineVersion(const CString& strFolder)
{
    CString strFile = strFolder.IsEmpty() ? getModulePath() : strFolder;
    if (strFile.Right(1) != "\\")
        strFile += "\\";
    strFile += "VEXOR32.VXD";
    char szVersion[128] = "";
    if (!getFileVersionString(strFile, szVersion, sizeof(szVersion)))
        return CString();
    return CString(szVersion).Left(5);
}

BOOL WriteBufferToFile(const CString& strPath, const CString& strText)
{
    HANDLE hFile = ::CreateFileA(strPath, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        VGLTRACE(12, "CreateFile(%s) failed, error %lu", (LPCSTR)strPath, ::GetLastError());
        return FALSE;
    }
    DWORD cbWritten = 0;
    BOOL fSuccess = ::WriteFile(hFile, (LPCSTR)strText, (DWORD)strText.GetLength(), &cbWritten, NULL) &&
                    cbWritten == (DWORD)strText.GetLength();
    ::CloseHandle(hFile);
    return fSuccess;
}
}

BOOL FindOtherConsumerProduct(char* pszName, int nSize)
{
    return FindOtherProduct(OTHER_PRODUCT_CONSUMER, pszName, nSize);
}

BOOL FindOtherServerProduct(char* pszName, int nSize)
{
    return FindOtherProduct(OTHER_PRODUCT_SERVER, pszName, nSize);
}

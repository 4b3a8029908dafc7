// The removal of the components and of the program folder.
#include "UninstallDlg.h"

#include "DelKvdShell.h"
#include "IniChecksum.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "OppPolicy.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "UninstallErrors.h"
#include "UninstallWaits.h"
#include "Utils_RegKey.h"
#include "resource_ids.h"

#include <stdlib.h>

namespace
{
const char s_szOppSection[] = "SLF_PRODUCT_VIGILON_CE";
const char s_szWatchDogTitle[] = "Vigilon Client WatchDog";
const char s_szWatchDogKey[] = "Software\\Kavrel\\VglWatchDog";
const char g_pszGUID1[] = "{08D75BB0-D2B5-11D1-88FC-0080C859833B}";
const char g_pszGUID2[] = "{08D75BC1-D2B5-11D1-88FC-0080C859833B}";
const char g_pszGUID3[] = "{5EFE8CB1-D095-11D1-88FC-0080C859833B}";
const char g_pszShellExtCLSID[] = "{853EF640-C260-11d1-88FB-0080C859833B}";
const DWORD LAUNCH_WAIT_MS = 1000;
const int LAUNCH_WAITS = 121;

// Trace lines of the policy and plug-in steps carry no source position.
#define VGLTRACE_PLAIN(level, ...) NS_Debug::GetLogTracker().Trace((level), __VA_ARGS__)
}

void CUninstallDlg::RemoveOPP()
{
    VGLTRACE_PLAIN(1, "[Uniinstal]RemoveOPP: Enter RemoveOPP!!");
    CString strFolder = NS_RegistryKey::GetApplicationPath();
    CString strIni;
    strIni.Format("%s%s", (LPCSTR)strFolder, "zavuz.ini");
    ::WritePrivateProfileStringA(s_szOppSection, "Enable", "0", strIni);
    int nResult = writeIniSectionChecksum(strIni, s_szOppSection, "CheckSum");
    if (nResult == INI_CHECKSUM_WRITTEN)
    {
        VGLTRACE_PLAIN(3, "[Uniinstal]RemoveOPP: Ini=%s; pattern=%s", (LPCSTR)strIni, (LPCSTR)strFolder);
        int nApplied = ApplyOppPolicy(strIni, s_szOppSection, strFolder, NULL, NULL, NULL);
        VGLTRACE_PLAIN(2, "[Uniinstal]RemoveOPP: Leave RemoveOPP!! result=%d", nApplied);
    }
    else
    {
        VGLTRACE_PLAIN(12, "[Uniinstal]RemoveOPP: OPP make checksum error!!");
    }
}

void CUninstallDlg::RemoveVGLESCV()
{
    VGLTRACE_PLAIN(1, "[Uniinstal]RemoveVGLESCV: Enter RemoveVGLESCV!!");
    CString strFolder = NS_RegistryKey::GetApplicationPath();
    CString strPlugIn, strTool;
    strPlugIn.Format("%s%s", (LPCSTR)strFolder, "VgleSCV.dll");
    strTool.Format("%s%s", (LPCSTR)strFolder, "pireg.exe");
    if (isFileExist(strPlugIn) && isFileExist(strTool))
    {
        CString strCommand;
        strCommand.Format("\"%s\" -d %s", (LPCSTR)strTool, "VgleSCV.dll");
        VGLTRACE_PLAIN(3, "[Uniinstal]RemoveVGLESCV:laguch (%s)!!", (LPCSTR)strCommand);
        ::WinExec(strCommand, SW_HIDE);
    }
    VGLTRACE_PLAIN(2, "[Uniinstal]RemoveVGLESCV: Leave RemoveVGLESCV!!");
}

void CUninstallDlg::RemoveWatchDog()
{
    HWND hWatchDog = ::FindWindowA(NULL, s_szWatchDogTitle);
    VGLTRACE(3, "    hWatchDog(0x%p) = ::FindWindow(NULL, %s)", hWatchDog, s_szWatchDogTitle);
    if (hWatchDog != NULL)
        ::SendMessageA(hWatchDog, WM_CLOSE, 0, 0);
    deleteKey(HKEY_LOCAL_MACHINE, s_szWatchDogKey);
}

BOOL LaunchProgAndWait(LPCTSTR pszCommandLine)
{
    VGLTRACE(1, "--> LaunchProgAndWait(%s)", pszCommandLine);
    STARTUPINFOA startupInfo;
    ::GetStartupInfoA(&startupInfo);
    PROCESS_INFORMATION processInfo = {};
    CString strCommandLine = pszCommandLine;
    if (!::CreateProcessA(NULL, strCommandLine.GetBuffer(0), NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                          &startupInfo, &processInfo))
    {
        VGLTRACE(12, "[RemoveTools] CreateProcess error = %lu", ::GetLastError());
        return FALSE;
    }
    ::ResumeThread(processInfo.hThread);
    BOOL fEnded = FALSE;
    for (int nTimedOut = 0; nTimedOut < LAUNCH_WAITS;)
    {
        DWORD dwWait = NS_UninstallWait::WaitForObject(processInfo.hProcess, LAUNCH_WAIT_MS);
        if (dwWait == WAIT_TIMEOUT)
        {
            ++nTimedOut;
            continue;
        }
        fEnded = dwWait == WAIT_OBJECT_0;
        break;
    }
    ::CloseHandle(processInfo.hProcess);
    ::CloseHandle(processInfo.hThread);
    if (!fEnded)
    {
        VGLTRACE(3, "[LaunchProgAndWait] Expired.");
        return FALSE;
    }
    VGLTRACE(2, "<-- LaunchProgAndWait(%s)", pszCommandLine);
    return TRUE;
}

void CUninstallDlg::RemoveTools()
{
    VGLTRACE(1, "--> CUninstallDlg::RemoveTools()");
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_strCurrentVersionKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
    {
        VGLTRACE(12, "[RemoveTools] RegOpenKeyEx error = %lu", ::GetLastError());
        return;
    }
    char szFolder[MAX_PATH] = "";
    DWORD cbFolder = sizeof(szFolder);
    LONG lResult = ::RegQueryValueExA(hKey, "Application Path", NULL, NULL, (LPBYTE)szFolder, &cbFolder);
    ::RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
    {
        ::SetLastError(lResult);
        VGLTRACE(12, "[RemoveTools] RegQueryValueEx error = %ld", lResult);
        return;
    }
    szFolder[sizeof(szFolder) - 1] = '\0';

    CString strSpec, strToolFolder;
    concatPath(strSpec, szFolder, "uninstall\\*.exe");
    concatPath(strToolFolder, szFolder, "uninstall");
    WIN32_FIND_DATAA findData;
    HANDLE hFind = ::FindFirstFileA(strSpec, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        VGLTRACE(12, "[RemoveTools] FindFirstFile error = %lu", ::GetLastError());
        return;
    }
    do
    {
        CString strTool;
        concatPath(strTool, strToolFolder, findData.cFileName);
        // Quoted: the program folder may hold blanks ("Program Files").
        CString strCommandLine;
        strCommandLine.Format("\"%s\" /LOCALRUN", (LPCSTR)strTool);
        VGLTRACE(3, "[RemoveTools] Launch %s", (LPCSTR)strCommandLine);
        if (!LaunchProgAndWait(strCommandLine))
            VGLTRACE(12, "[RemoveTools] LaunchProgAndWait error = %lu", ::GetLastError());
    } while (::FindNextFileA(hFind, &findData));
    DWORD dwError = ::GetLastError();
    if (dwError == ERROR_NO_MORE_FILES)
        VGLTRACE(3, "[RemoveTools] Search completed.");
    else
        VGLTRACE(12, "[RemoveTools] FindNextFile error = %lu", dwError);
    ::FindClose(hFind);
    VGLTRACE(2, "<-- CUninstallDlg::RemoveTools()");
}

void CUninstallDlg::UninstallActiveXContorls()
{
    VGLTRACE(1, "--> CUninstallDlg::UninstallActiveXContorls()");
    m_barComponents.SetRange(0, 4);
    m_barComponents.SetPos(0);
    static const struct
    {
        const char* pszName;
        const char* pszClsid;
    } s_controls[] = {{"g_pszGUID1", g_pszGUID1}, {"g_pszGUID2", g_pszGUID2}, {"g_pszGUID3", g_pszGUID3}};
    for (const auto& control : s_controls)
    {
        try
        {
            removeControl(control.pszClsid);
            VGLTRACE(10, "    ::removeControl(%s = %s)", control.pszName, control.pszClsid);
            m_barComponents.StepIt();
        }
        catch (CSystemError& e)
        {
            VGLTRACE(10, "    CUninstallDlg::UninstallActiveXContorls(), CSystemError = %s", (LPCSTR)e.ToString());
        }
        catch (CException* e)
        {
            VGLTRACE(10, "    G.P.F in CUninstallDlg::UninstallActiveXContorls()");
            e->Delete();
        }
        catch (...)
        {
            VGLTRACE(10, "    G.P.F in CUninstallDlg::UninstallActiveXContorls()");
        }
    }
    VGLTRACE(2, "<-- CUninstallDlg::UninstallActiveXContorls()");
    m_barComponents.StepIt();
}

void CUninstallDlg::UninstallShellExtension()
{
    VGLTRACE(1, "--> CUninstallDlg::UninstallShellExtension()");
    removeControl(g_pszShellExtCLSID);
    VGLTRACE(3, "    ::removeControl(g_pszShellExtCLSID = %s);", g_pszShellExtCLSID);
    VGLTRACE(2, "<-- CUninstallDlg::UninstallShellExtension()");
}

BOOL MoveKvdshellToTemp(LPCTSTR pszFolder)
{
    if (pszFolder == NULL || pszFolder[0] == '\0')
        return FALSE;
    CString strFolder(pszFolder);
    if (strFolder.GetLength() > MAX_PATH - 1)
        strFolder = strFolder.Left(MAX_PATH - 1);
    CString strLibrary;
    concatPath(strLibrary, strFolder, "kvdshell.dll");
    ::DeleteFileA(strLibrary);
    if (!isFileExist(strLibrary))
        return TRUE;

    CString strTempFolder = "C:\\Temp";
    strTempFolder.SetAt(0, pszFolder[0]);
    ::CreateDirectoryA(strTempFolder, NULL);
    char szTempFile[MAX_PATH] = "";
    if (::GetTempFileNameA(strTempFolder, "KvdShell", 0, szTempFile) == 0)
    {
        VGLTRACE(2, "[MoveKvdshellToTemp] Unable to get unique temporary file...");
        return FALSE;
    }
    ::DeleteFileA(szTempFile);
    BOOL fMoved = ::MoveFileA(strLibrary, szTempFile);
    if (fMoved)
        VGLTRACE(2, "[MoveKvdshellToTemp] Move kvdshell.dll to temp folder OK..");
    else
        VGLTRACE(2, "[MoveKvdshellToTemp] Move kvdshell.dll to temp folder Fail..");
    ::DeleteFileA(szTempFile);
    if (!isFileExist(strLibrary))
        return TRUE;

    CDelKvdShell dlg(NULL);
    dlg.m_strFile = strLibrary;
    INT_PTR nResult = dlg.DoModal();
    VGLTRACE(3, "[MoveKvdshellToTemp] CDelKvdShell(%s) = %d", (LPCSTR)strLibrary, (int)nResult);
    return !fMoved;
}

void CUninstallDlg::DeleteProgramDir()
{
    VGLTRACE(1, "--> CUninstallDlg::DeleteProgramDir()");
    CString strClient;
    concatPath(strClient, m_strApplicationPath, "Ksxwin97.exe");
    if (!isFileExist(strClient))
    {
        CString strFormat = loadUninstallString(IDS_UNINST_NO_CLIENT_PROGRAM);
        CString strErrMsg;
        strErrMsg.Format(strFormat, (LPCSTR)m_strApplicationPath);
        VGLTRACE(12, "   CUninstallDlg::DeleteProgramDir(strErrMsg = %s)", (LPCSTR)strErrMsg);
        VGLTRACE(2, "<-- CUninstallDlg::DeleteProgramDir()");
        return;
    }

    char szDrive[_MAX_DRIVE], szDir[_MAX_DIR], szName[_MAX_FNAME], szExt[_MAX_EXT];
    _splitpath(m_strApplicationPath, szDrive, szDir, szName, szExt);
    VGLTRACE(12, "pszDir = %s", szDir);
    if (szDir[0] == '\0' || strcmp(szDir, "\\") == 0)
    {
        VGLTRACE(12, "This is the root folder(%s), Uninstall won't delete program file", (LPCSTR)m_strApplicationPath);
    }
    else
    {
        const char* pszFileSpec = "*.*";
        CString strExceptionList;
        long lTotalFiles = countFiles(m_strApplicationPath, pszFileSpec, 0, NULL, TRUE, strExceptionList);
        VGLTRACE(3, "   ::countFiles(m_strApplicationPath = %s, pszFileSpec = %s, 0, 0, TRUE, strExceptionList = %s), "
                    "lTotalFiles = %ld",
                 (LPCSTR)m_strApplicationPath, pszFileSpec, (LPCSTR)strExceptionList, lTotalFiles);
        if (lTotalFiles > 0)
        {
            m_barFolder.SetRange(0, (short)(lTotalFiles & 0xFFFF));
            deleteTree(m_strApplicationPath, (PFN_DELETE_NOTIFY)DeleteNotifiedCallBack, this, TRUE, TRUE, pszFileSpec);
            VGLTRACE(3, "   deleteTree(m_strApplicationPath = %s, DeleteNotifiedCallBack, this, fRemoveVirtualRoot = %d, "
                        "fSubDir = %d, pszFileSpec = %s)",
                     (LPCSTR)m_strApplicationPath, 1, 1, pszFileSpec);
        }
        // The folder above goes too when nothing else is in it.
        CString strParent = m_strApplicationPath;
        if (strParent.Right(1) != "\\")
            strParent += "\\";
        ::RemoveDirectoryA(strParent + "..\\");
    }
    m_barFolder.SetRange(0, 1);
    m_barFolder.SetPos(1);
    VGLTRACE(2, "<-- CUninstallDlg::DeleteProgramDir()");
}

void CUninstallDlg::DeleteNotifiedCallBack(const TCHAR* pszDeleteFilename, BOOL fActionResult, LPVOID pvThis)
{
    if (pvThis == NULL)
        return;
    VGLTRACE(3, "--> CUninstallDlg::DeleteNotifiedCallBack(const TCHAR* pszDeleteFilename = %s, BOOL fActionResult = %d, "
                "LPVOID pvThis = %p)",
             pszDeleteFilename, fActionResult, pvThis);
    static_cast<CUninstallDlg*>(pvThis)->m_barFolder.StepIt();
}

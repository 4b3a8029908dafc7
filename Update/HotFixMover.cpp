// The hot-fix dialog: moving the files into place, the clean-up, the restart and the
// cleaning program.
#include "HotFixDlg.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "SignedFile.h"
#include "StringUtils.h"
#include "UpdateCommon.h"
#include "resource_ids.h"

namespace
{
const DWORD KEEP_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const int RESTART_TRIES = 20;
}

BOOL CHotFixDlg::StartMoveFile(const TCHAR* pszHotFixFolder)
{
    UPDTRACE(1, "--> CHotFixDlg::StartMoveFile(%s)", pszHotFixFolder != NULL ? pszHotFixFolder : "NULL");
    CString strTemp = getTempDirectory();
    CString strHotFixDir;
    if (pszHotFixFolder != NULL)
        strHotFixDir = pszHotFixFolder;
    else
        concatPath(strHotFixDir, strTemp, g_pszHotFixFolder);
    if (!isDirectoryExist(strHotFixDir))
    {
        CString strFormat, strMessage;
        strFormat.LoadString(IDS_UPD_NO_FOLDER);
        strMessage.Format(strFormat, (LPCSTR)strHotFixDir);
        UPDTRACE(12, "<-- CHotFixDlg::StartMoveFile(), %s does not exist", (LPCSTR)strHotFixDir);
        updateMessageBox(strMessage, MB_ICONHAND);
        return FALSE;
    }

    CStringArray arrFiles;
    const char* staged[] = {g_pszPatternUpdateFolder, g_pszEngineUpdateFolder, g_pszProgramUpdateFolder};
    for (const char* pszFolder : staged)
    {
        CString strFolder;
        concatPath(strFolder, strTemp, pszFolder);
        collectFiles(arrFiles, strFolder, "*.*", FALSE);
    }
    collectFiles(arrFiles, strHotFixDir, "*.*", FALSE);
    BOOL fFirst = MoveFiles(arrFiles, NS_RegistryKey::GetApplicationPath(), TRUE);

    CStringArray arrWindowsFiles;
    CString strWindowsDir;
    concatPath(strWindowsDir, strHotFixDir, g_pszHotFixWindowsFolder);
    collectFiles(arrWindowsFiles, strWindowsDir, "*.*", FALSE);
    BOOL fSecond = MoveFiles(arrWindowsFiles, getWindowsDirectoryPath(), TRUE);
    UPDTRACE(2, "<-- CHotFixDlg::StartMoveFile(), %d, %d", fFirst, fSecond);
    return fFirst && fSecond;
}

BOOL CHotFixDlg::MoveFiles(CStringArray& strCollectedFiles, const TCHAR* pszDestDir, BOOL fDisplayProgress)
{
    int nFiles = (int)strCollectedFiles.GetSize();
    if (fDisplayProgress)
    {
        m_barFiles.SetRange(0, (short)nFiles);
        m_barFiles.SetPos(0);
        m_barBytes.SetRange(0, (short)nFiles);
        m_barBytes.SetPos(0);
    }
    BOOL fResult = TRUE;
    for (int i = 0; i < nFiles; ++i)
    {
        CString strSource = strCollectedFiles.GetAt(i);
        CString strDest = destinationPath(pszDestDir, strSource);
        // A destination that is read-only, hidden or system is replaced and gets those
        // attributes back; a new file keeps the ones it had in the temporary folder (the copy
        // does not carry them everywhere).
        DWORD dwAttributes = ::GetFileAttributesA(strDest);
        BOOL fExisted = dwAttributes != INVALID_FILE_ATTRIBUTES;
        BOOL fKeep = fExisted && (dwAttributes & KEEP_ATTRIBUTES) != 0;
        DWORD dwSourceAttributes = ::GetFileAttributesA(strSource);
        if (fKeep)
            ::SetFileAttributesA(strDest, FILE_ATTRIBUTE_NORMAL);
        BOOL fMoved = moveFileEx(strSource, strDest, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
        UPDTRACE(3, "    fResult(%d) = ::moveFileEx(strSource = %s, strDest = %s)", fMoved, (LPCSTR)strSource,
                 (LPCSTR)strDest);
        fResult = fMoved || IsShellExtensionFile(strDest);
        if (fKeep)
            ::SetFileAttributesA(strDest, dwAttributes);
        else if (!fExisted && fMoved && dwSourceAttributes != INVALID_FILE_ATTRIBUTES &&
                 (dwSourceAttributes & KEEP_ATTRIBUTES) != 0)
            ::SetFileAttributesA(strDest, dwSourceAttributes);
        if (!fResult)
            break;
        if (fDisplayProgress)
        {
            m_barFiles.OffsetPos(1);
            m_barBytes.OffsetPos(1);
        }
    }
    if (fDisplayProgress)
    {
        m_barFiles.SetPos(nFiles);
        m_barBytes.SetPos(nFiles);
    }
    return fResult;
}

void CHotFixDlg::RemoveTempFolders()
{
    CString strTemp = getTempDirectory();
    const char* folders[] = {g_pszHotFixFolder, g_pszPatternUpdateFolder, g_pszEngineUpdateFolder,
                             g_pszProgramUpdateFolder};
    for (const char* pszFolder : folders)
    {
        CString strFolder;
        concatPath(strFolder, strTemp, pszFolder);
        deleteTree(strFolder, NULL, NULL, TRUE, TRUE, "*.*");
    }
}

void CHotFixDlg::RestartClient()
{
    UPDTRACE(1, "--> CHotFixDlg::RestartClient()");
    SetStepText(IDS_UPD_RESTARTING);
    if (!NS_Client::Start())
    {
        UPDTRACE(2, "<-- CHotFixDlg::RestartClient(), the client did not start");
        return;
    }
    Invalidate(TRUE);
    UpdateWindow();
    NS_Client::WaitForMainWindow(RESTART_TRIES, NULL);
    StartPGX();
    UPDTRACE(2, "<-- CHotFixDlg::RestartClient()");
}

void CHotFixDlg::StartPGX()
{
    CString strFolder = NS_RegistryKey::GetApplicationPath();
    CString strProgram, strIni;
    concatPath(strProgram, strFolder, "PGX.exe");
    concatPath(strIni, strFolder, "PGX.ini");
    int nAuth = kvAuthMD5(strProgram);
    if (nAuth != 1)
    {
        UPDTRACE(12, "    %d = kvAuthMD5(%s): the cleaning program is not run", nAuth, (LPCSTR)strProgram);
        return;
    }
    ::WritePrivateProfileStringA("options", "VirusMsgbox", "0", strIni);

    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(strProgram, NULL, NULL, NULL, FALSE, CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS,
                          NULL, NULL, &si, &pi))
    {
        UPDTRACE(12, "    ::CreateProcess(%s) failed, error = %lu", (LPCSTR)strProgram, ::GetLastError());
        return;
    }
    UPDTRACE(3, "    ::CreateProcess(%s), dwProcessId = %lu: waiting for it", (LPCSTR)strProgram, pi.dwProcessId);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
}

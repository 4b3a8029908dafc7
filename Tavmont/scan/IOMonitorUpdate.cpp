// Putting a new pattern, a new engine or the previous engine into service while the client
// runs: the monitor stops real-time scanning, unloads the engine under the engine lock, swaps
// files and starts the engine again with every setting. When the engine cannot be started at
// all, the program is ended on its user-interface thread.
#include "IOMonitorDlg.h"

#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "PatternFile.h"
#include "SettingsLock.h"
#include "StringUtils.h"
#include "TavmontDlg.h"
#include "Updates.h"

void PostProgramEnd(HWND hUIWindow)
{
    DWORD dwUIThread = hUIWindow != NULL ? ::GetWindowThreadProcessId(hUIWindow, NULL) : 0;
    VGLTRACE(12, "The engine cannot be started: the program ends");
    if (dwUIThread == 0 || dwUIThread == ::GetCurrentThreadId())
        ::PostQuitMessage(0);
    else
        ::PostThreadMessageA(dwUIThread, WM_QUIT, 0, 0);
}

namespace
{
CIOMonitorDlg* Monitor(CIOMonitorDlg* pThis)
{
    return g_pIOMonitorDlg != NULL ? g_pIOMonitorDlg : pThis;
}

CString ShortProgramFolder()
{
    char szFolder[260] = "";
    if (!::GetShortPathNameA(getModulePath(), szFolder, sizeof szFolder))
        lstrcpynA(szFolder, getModulePath(), sizeof szFolder);
    return szFolder;
}

void EndProgram()
{
    PostProgramEnd(g_hIOMonitorWnd);
}

BOOL IsNewestPattern(const CString& strPatternFile)
{
    PatternFileInfo info;
    memset(&info, 0, sizeof info);
    return VSGetLastPattern(getModulePath(), NULL, &info, FALSE) == 0 &&
           getFileName(strPatternFile).CompareNoCase(info.szFileName) == 0;
}
}

BOOL CIOMonitorDlg::UpdatePatternVersion(const CString& strPatternFile)
{
    VGLTRACE(1, "--> CIOMonitorDlg::UpdatePatternVersion(%s)", (LPCSTR)strPatternFile);
    CIOMonitorDlg* pMonitor = Monitor(this);
    BOOL fResult = FALSE;
    CSingleLock lock(&g_vexor.GetLock(), TRUE);
    try
    {
        g_vexor.Unhook();
        g_vexor.Uninitialize();
        g_vexor.SetReady(0);
        int nResult = 0, nNameMatches = 0;
        if (g_vexor.InitializeWithPattern(g_hIOMonitorWnd, RealTimeScanVirusCallBack, ShortProgramFolder(), &nResult,
                                          strPatternFile, &nNameMatches))
        {
            g_vexor.SetReady(1);
            fResult = nNameMatches;
            CRealTimeScanINI realTime;
            CopySettings(g_RealTimeScanINI, realTime);
            pMonitor->DeleteOldPattern();
            pMonitor->SetGlobalVexorSettings();
            if (!g_vexor.Hook(realTime.GetFileTypeList(FALSE)))
                VGLTRACE(12, "    CIOMonitorDlg::UpdatePatternVersion(const CString& strUnzippedPatternFilename = %s), "
                             "!::IOT_Hook(rScanINI.GetFileTypeList()",
                         (LPCSTR)strPatternFile);
            pMonitor->SetExclusionLists();
            pMonitor->HandExceptionProcesses();
            realTime.SetVexorOptions(g_vexor);
            if (realTime.m_fEnable)
            {
                BOOL f = g_vexor.TurnOnRealTimeScan();
                StartUpOPPSetting();
                VGLTRACE(3, "CIOMonitorDlg::UpdatePatternVersion: Try to turn on real-time scan(%d) errno(%d), %s|%d", f,
                         (int)::GetLastError(), __FILE__, __LINE__);
            }
            else
            {
                BOOL f = g_vexor.TurnOffRealTimeScan();
                VGLTRACE(3, "CIOMonitorDlg::UpdatePatternVersion: Try to turn off real-time scan(%d) errno(%d), %s|%d", f,
                         (int)::GetLastError(), __FILE__, __LINE__);
            }
        }
        else if (!IsNewestPattern(strPatternFile) ||
                 (g_vexor.IsPatternError() && pMonitor->CheckAndDeleteCorruptPattern()))
        {
            // An older pattern (a rollback) or a corrupt newest one: the newest sound pattern runs again.
            VGLTRACE(12, "    CIOMonitorDlg::UpdatePatternVersion(%s) failed: the newest pattern is loaded again",
                     (LPCSTR)strPatternFile);
            if (!pMonitor->InitializeVexor())
                EndProgram();
        }
        else
        {
            pMonitor->ShowInitError(nResult);
            EndProgram();
        }
    }
    catch (...)
    {
        VGLTRACE(13, "CException(...) in CIOMonitorDlg::UpdatePatternVersion(const CString& strUnzippedPatternFilename "
                     "= %s)",
                 (LPCSTR)strPatternFile);
        g_vexor.SetReady(0);
        fResult = FALSE;
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::UpdatePatternVersion() = %d", fResult);
    return fResult;
}

BOOL CIOMonitorDlg::UpdateEngineVersion(const CStringArray& arrFiles)
{
    VGLTRACE(1, "--> CIOMonitorDlg::UpdateEngineVersion(%d files)", (int)arrFiles.GetSize());
    CIOMonitorDlg* pMonitor = Monitor(this);
    CSingleLock lock(&g_vexor.GetLock(), TRUE);
    BOOL fReplaced = FALSE;
    CString strFolder = getModulePath();
    try
    {
        g_vexor.SetReady(0);
        g_vexor.Unhook();
        g_vexor.Uninitialize();
        for (int i = 0; i < arrFiles.GetSize(); ++i)
        {
            CString strName = getFileName(arrFiles[i]);
            CString strCurrent = strFolder + strName;
            int nDot = strName.ReverseFind('.');
            CString strBackup = strFolder + (nDot >= 0 ? strName.Left(nDot) : strName) + ".BAK";
            BOOL fMove1 = moveFileEx(strCurrent, strBackup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            VGLTRACE(3, "fMove1(%d) = ::moveFileEx(strCurEngine = %s, strCurEngineBackup = %s, MOVEFILE_REPLACE_EXISTING "
                        "| MOVEFILE_COPY_ALLOWED) err=%d, %s|%d",
                     fMove1, (LPCSTR)strCurrent, (LPCSTR)strBackup, (int)::GetLastError(), __FILE__, __LINE__);
            if (!fMove1)
                break;
            BOOL fMove2 = moveFileEx(arrFiles[i], strCurrent, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            VGLTRACE(3, "fMove2(%d) = ::moveFileEx(strNewEngine = %s, strCurEngine = %s, MOVEFILE_REPLACE_EXISTING | "
                        "MOVEFILE_COPY_ALLOWED) err=%d, %s|%d",
                     fMove2, (LPCSTR)arrFiles[i], (LPCSTR)strCurrent, (int)::GetLastError(), __FILE__, __LINE__);
            if (!fMove2)
                break;
            fReplaced = TRUE;
        }
        auto backupOf = [&](int i) {
            CString strName = getFileName(arrFiles[i]);
            int nDot = strName.ReverseFind('.');
            return strFolder + (nDot >= 0 ? strName.Left(nDot) : strName) + ".BAK";
        };
        if (fReplaced && pMonitor->InitializeVexor())
        {
            for (int i = 0; i < arrFiles.GetSize(); ++i)
                ::DeleteFileA(backupOf(i));
        }
        else
        {
            for (int i = 0; i < arrFiles.GetSize(); ++i)
                if (isFileExist(backupOf(i)))
                    ::CopyFileA(backupOf(i), strFolder + getFileName(arrFiles[i]), FALSE);
            if (!pMonitor->InitializeVexor())
                EndProgram();
        }
        pMonitor->UpdateStatus();
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F, %s|%d", __FILE__, __LINE__);
        g_vexor.SetReady(0);
        if (!pMonitor->InitializeVexor())
            EndProgram();
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::UpdateEngineVersion() = %d", fReplaced);
    return fReplaced;
}

BOOL CIOMonitorDlg::ProcessEngineRollback(const CStringArray& arrFiles, BOOL fRollback)
{
    VGLTRACE(1, "--> CIOMonitorDlg::ProcessEngineRollback(%d files, fRollback = %d)", (int)arrFiles.GetSize(), fRollback);
    CIOMonitorDlg* pMonitor = Monitor(this);
    CString strProgram = getModulePath();
    CString strRollback = strProgram + "Rollback\\";
    CString strCurrent = NS_Notification::GetEngineVersion("");
    CString strPrevious = NS_Notification::GetEngineVersion(strRollback);
    if (fRollback && strPrevious.IsEmpty())
    {
        VGLTRACE(3, "There is no previous version of engine, %s|%d", __FILE__, __LINE__);
        return FALSE;
    }
    if (strCurrent == strPrevious)
    {
        VGLTRACE(3, "strCurEngVer = %s, strPrevEngVer = %s, %s|%d", (LPCSTR)strCurrent, (LPCSTR)strPrevious, __FILE__,
                 __LINE__);
        return TRUE;
    }
    BOOL fCopied = FALSE;
    CString strSource, strTarget;
    try
    {
        if (fRollback)
        {
            CSingleLock lock(&g_vexor.GetLock(), TRUE);
            g_vexor.SetReady(0);
            g_vexor.Unhook();
            g_vexor.Uninitialize();
            strSource = strRollback;
            strTarget = strProgram;
        }
        else
        {
            strSource = strProgram;
            strTarget = strRollback;
            createDirectory(strRollback, FALSE);
        }
        auto backupOf = [&](int i) {
            CString strName = getFileName(arrFiles[i]);
            int nDot = strName.ReverseFind('.');
            return strTarget + (nDot >= 0 ? strName.Left(nDot) : strName) + ".BAK";
        };
        for (int i = 0; i < arrFiles.GetSize(); ++i)
        {
            CString strName = getFileName(arrFiles[i]);
            CString strTargetFile = strTarget + strName;
            if (isFileExist(strTargetFile))
            {
                BOOL fBackup = ::CopyFileA(strTargetFile, backupOf(i), FALSE);
                VGLTRACE(3, "fCopy1(%d) = CopyFile(%s, %s) err=%d", fBackup, (LPCSTR)strTargetFile,
                         (LPCSTR)backupOf(i), (int)::GetLastError());
                if (!fBackup)
                    break;
            }
            BOOL fCopy = ::CopyFileA(strSource + strName, strTargetFile, FALSE);
            VGLTRACE(3, "fCopy2(%d) = CopyFile(%s, %s) err=%d", fCopy, (LPCSTR)(strSource + strName),
                     (LPCSTR)strTargetFile, (int)::GetLastError());
            if (!fCopy)
                break;
            fCopied = TRUE;
        }
        BOOL fStarted = !fRollback || pMonitor->InitializeVexor();
        if (fCopied && fStarted)
        {
            for (int i = 0; i < arrFiles.GetSize(); ++i)
                ::DeleteFileA(backupOf(i));
        }
        else
        {
            if (fCopied)
            {
                // The previous engine does not start: the current one is put back, and the
                // rollback is not reported as done.
                VGLTRACE(12, "    The previous engine (%s) cannot be started: engine %s is put back, %s|%d",
                         (LPCSTR)strPrevious, (LPCSTR)strCurrent, __FILE__, __LINE__);
                CSingleLock lock(&g_vexor.GetLock(), TRUE);
                g_vexor.SetReady(0);
                g_vexor.Unhook();
                g_vexor.Uninitialize();
                fCopied = FALSE;
            }
            for (int i = 0; i < arrFiles.GetSize(); ++i)
                if (isFileExist(backupOf(i)))
                    ::CopyFileA(backupOf(i), strTarget + getFileName(arrFiles[i]), FALSE);
            if (fRollback && !pMonitor->InitializeVexor())
                EndProgram();
        }
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F, %s|%d", __FILE__, __LINE__);
        if (fRollback)
        {
            g_vexor.SetReady(0);
            if (!pMonitor->InitializeVexor())
                EndProgram();
        }
    }
    VGLTRACE(2, "<-- CIOMonitorDlg::ProcessEngineRollback() = %d", fCopied);
    return fCopied;
}

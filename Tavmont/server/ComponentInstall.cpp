// Pattern and engine from the server: staged in the temporary folder (through the update
// library, else as a zip from the client's own server), then installed in the running client
// through the real-time monitor; and the engine rollback the server asks for.
#include "Updates.h"

#include "ClientClock.h"
#include "ClientMessages.h"
#include "ConnectServer.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "Utils_Unzip.h"

#include <stdlib.h>

namespace NS_Notification
{
namespace
{
enum
{
    UPD_URL = 0,
    UPD_PTNFILE_VERSION = 1,
    UPD_ENGINE95_VERSION = 5,
    UPD_PTNFILE = 6,
    UPD_ENGINE95 = 10
};

void DeleteStaging(const CString& strFolder)
{
    deleteTree(strFolder, NULL, NULL, TRUE, TRUE, "*.*");
}

// Downloads the zip below the update folder into the program folder, unpacks it into the
// staging folder and flattens it; the archive is deleted on every way out.
BOOL DownloadAndUnpack(const char* pszZipName, int nFileEntry, UINT nTimeoutKind, PFN_HTTP_STATUS_CALLBACK pfStatus,
                       PFN_HTTP_CONTENT_LENGTH_CALLBACK pfLength, CTavmontDlg* pMainWnd, BOOL fIntranet,
                       BOOL fDisplayErrMsg, const CString& strStaging, BOOL* pfUnpacked)
{
    *pfUnpacked = FALSE;
    CString strObject;
    {
        CSingleLock lock(&g_csUpdateTable, TRUE);
        strObject = joinUrlPath(iniEntryText(g_iniUpdateSection[UPD_URL]), iniEntryText(g_iniUpdateSection[nFileEntry]));
    }
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, nTimeoutKind, fIntranet);
    CAccBuffer reply;
    CString strError;
    BOOL fContinue = ConnectServer(reply, strObject, &timeouts, pfStatus, pfLength, ConnectCancelCallback, pMainWnd,
                                   fIntranet, &strError);
    if (!fContinue)
    {
        VGLTRACE(12, "Download of %s failed: %s", (LPCSTR)strObject, (LPCSTR)strError);
        if (fDisplayErrMsg && !IsCanceled(fIntranet))
            ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    CString strZip = getModulePath() + pszZipName;
    try
    {
        reply.Write(strZip);
        fContinue = decompress(strZip, strStaging);
        VGLTRACE(12, "%d = decompress(%s, %s)", fContinue, (LPCSTR)strZip, (LPCSTR)strStaging);
        if (fContinue)
        {
            collapseSubFolders(strStaging, strStaging, 0);
            *pfUnpacked = TRUE;
        }
    }
    catch (...)
    {
        ::DeleteFileA(strZip);
        throw;
    }
    ::DeleteFileA(strZip);
    return fContinue;
}
}

BOOL ComponentDownloadMayStart(BOOL* pfContinue)
{
    BOOL fHttp = NS_RegistryKey::IsHttpBased();
    BOOL fReady = fHttp && g_vexor.IsReady();
    if (pfContinue != NULL)
        *pfContinue = !fHttp || fReady;
    return fReady;
}

void ReportDownloadException(const char* pszWhere, BOOL fDisplayErrMsg)
{
    const char* pszKind = "CException";
    CString strText;
    int nLevel = 10;
    BOOL fShow = fDisplayErrMsg;
    try
    {
        throw;
    }
    catch (CException* e)
    {
        char sz[512] = "";
        e->GetErrorMessage(sz, sizeof sz);
        e->Delete();
        strText = sz;
    }
    catch (CSystemError& e)
    {
        pszKind = "CSystemError";
        strText = e.ToString();
        nLevel = 11;
    }
    catch (CInternetStatusException& e)
    {
        pszKind = "CInternetStatusException";
        GetInternetStatusText(e.GetStatus(), strText);
        fShow = fDisplayErrMsg && e.GetStatus() != 0;
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in %s", pszWhere);
        return;
    }
    VGLTRACE(nLevel, "%s = %s in %s", pszKind, (LPCSTR)strText, pszWhere);
    if (fShow)
        ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
}

BOOL CopyOriginalPatternFile(const CString& strDir, CString& strCopy)
{
    CString strPattern;
    if (!g_vexor.GetDefaultPatternFile(strPattern) || strPattern.IsEmpty())
    {
        VGLTRACE(12, "CopyOriginalPatternFile: the loaded pattern is not known");
        return FALSE;
    }
    CString strTarget = strDir;
    if (strTarget.Right(1) != "\\")
        strTarget += "\\";
    strTarget += getFileName(strPattern);
    if (!::CopyFileA(strPattern, strTarget, FALSE))
    {
        VGLTRACE(12, "CopyFile(%s, %s) failed, error %lu", (LPCSTR)strPattern, (LPCSTR)strTarget, ::GetLastError());
        return FALSE;
    }
    strCopy = strTarget;
    return TRUE;
}

void DeleteUnchangedPatternCopy(const CString& strCopy)
{
    if (strCopy.IsEmpty())
        return;
    CString strOriginal = getModulePath() + getFileName(strCopy);
    if (isFileExist(strCopy) && isFileExist(strOriginal) && !isFileNewer(strOriginal, strCopy))
    {
        FILETIME ftCopy = {}, ftOriginal = {};
        getFileTimes(strCopy, NULL, NULL, &ftCopy);
        getFileTimes(strOriginal, NULL, NULL, &ftOriginal);
        if (::CompareFileTime(&ftCopy, &ftOriginal) == 0)
            ::DeleteFileA(strCopy);
    }
}

BOOL OnNotificationNewPattern(CTavmontDlg* pMainWnd, int iNextVersion, BOOL fIntranet, BOOL fDisplayErrMsg,
                              BOOL fIniRenewed, BOOL* pfContinue)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationNewPattern(%d, fIntranet = %d, fIniRenewed = %d)", iNextVersion,
             fIntranet, fIniRenewed);
    BOOL fPostUpdate = FALSE;
    BOOL fContinue = TRUE;
    if (!ComponentDownloadMayStart(pfContinue))
        return FALSE;
    CString strStaging = getTempDirectory() + PATTERN_UPDATE_FOLDER;
    try
    {
        DWORD dwVersion = 0;
        int nCurrent = 0;
        CString strLoaded;
        if (!GetPatternVersion(&dwVersion, &nCurrent) || !g_vexor.GetDefaultPatternFile(strLoaded))
        {
            VGLTRACE(12, "OnNotificationNewPattern: the current pattern cannot be read");
        }
        else
        {
            int nNext = 0;
            {
                CSingleLock lock(&g_csUpdateTable, TRUE);
                nNext = atoi(iniEntryText(g_iniUpdateSection[UPD_PTNFILE_VERSION]));
            }
            VGLTRACE(3, "Pattern: current %d, server %d", nCurrent, nNext);
            if (nNext > nCurrent)
            {
                if (!createDirectory(strStaging, FALSE))
                {
                    VGLTRACE(12, "createDirectory(%s) failed, error %lu", (LPCSTR)strStaging, ::GetLastError());
                }
                else
                {
                    CString strCopy;
                    int nResult = -1;
                    if (CopyOriginalPatternFile(strStaging, strCopy))
                    {
                        BOOL fDeleteCopy = nNext / 100 != nCurrent / 100;
                        nResult = Novafetch(NOVAFETCH_PATTERN, g_iniUpdateSection, pMainWnd, fIntranet, fDisplayErrMsg,
                                            strStaging);
                        if (nResult == 10)
                            fPostUpdate = fContinue = FALSE;
                        else
                            fPostUpdate = fContinue = nResult == 0;
                        if (fDeleteCopy)
                            ::DeleteFileA(strCopy);
                        else
                            DeleteUnchangedPatternCopy(strCopy);
                    }
                    if (nResult != 0 && nResult != 10)
                    {
                        BOOL fUnpacked = FALSE;
                        fContinue = DownloadAndUnpack("pattern.zip", UPD_PTNFILE, NS_RegistryKey::STimeout::Pattern,
                                                      CTavmontDlg::OnPatternDownloadProgress,
                                                      CTavmontDlg::OnPatternDownloadBegin, pMainWnd, fIntranet,
                                                      fDisplayErrMsg, strStaging, &fUnpacked);
                        if (fUnpacked)
                            fPostUpdate = TRUE;
                    }
                }
            }
        }
    }
    catch (...)
    {
        ReportDownloadException("NS_Notification::OnNotificationNewPattern", fDisplayErrMsg);
        fContinue = FALSE;
    }
    if (!fContinue)
    {
        fPostUpdate = FALSE;
        DeleteStaging(strStaging);
    }
    if (pfContinue != NULL)
        *pfContinue = fContinue;
    VGLTRACE(2, "<-- NS_Notification::OnNotificationNewPattern() = %d, fContinue = %d", fPostUpdate, fContinue);
    return fPostUpdate;
}

BOOL OnNotificationNewEngine(CTavmontDlg* pMainWnd, const char* pszVersion, BOOL fIntranet, BOOL fDisplayErrMsg,
                             BOOL fIniRenewed, BOOL* pfContinue)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationNewEngine(%s, fIntranet = %d, fIniRenewed = %d)",
             pszVersion != NULL ? pszVersion : "", fIntranet, fIniRenewed);
    BOOL fPostUpdate = FALSE;
    BOOL fContinue = TRUE;
    if (!ComponentDownloadMayStart(pfContinue))
        return FALSE;
    try
    {
        CString strServerVersion;
        {
            CSingleLock lock(&g_csUpdateTable, TRUE);
            strServerVersion = iniEntryText(g_iniUpdateSection[UPD_ENGINE95_VERSION]);
        }
        CString strStaging = getTempDirectory() + ENGINE_UPDATE_FOLDER;
        if (!IsLastEngineUpdateVersionNewer(strServerVersion))
            VGLTRACE(3, "Engine %s is not newer", (LPCSTR)strServerVersion);
        else if (!createDirectory(strStaging, FALSE))
            VGLTRACE(12, "createDirectory(%s) failed, error %lu", (LPCSTR)strStaging, ::GetLastError());
        else
        {
            int nResult = Novafetch(NOVAFETCH_ENGINE, g_iniUpdateSection, pMainWnd, fIntranet, fDisplayErrMsg,
                                    strStaging);
            if (nResult == 10)
            {
                VGLTRACE(3, "User Cancel Novafetch Engine, %s|%d", __FILE__, __LINE__);
                fPostUpdate = fContinue = FALSE;
            }
            else if (nResult == 0)
                fPostUpdate = fContinue = TRUE;
            else
            {
                BOOL fUnpacked = FALSE;
                fContinue = DownloadAndUnpack("engine.zip", UPD_ENGINE95, NS_RegistryKey::STimeout::Engine,
                                              CTavmontDlg::OnEngineDownloadProgress, CTavmontDlg::OnEngineDownloadBegin,
                                              pMainWnd, fIntranet, fDisplayErrMsg, strStaging, &fUnpacked);
                fPostUpdate = fUnpacked;
            }
        }
    }
    catch (...)
    {
        ReportDownloadException("NS_Notification::OnNotificationNewEngine", fDisplayErrMsg);
        fContinue = FALSE;
    }
    if (pfContinue != NULL)
        *pfContinue = fContinue;
    VGLTRACE(2, "<-- NS_Notification::OnNotificationNewEngine() = %d, fContinue = %d", fPostUpdate, fContinue);
    return fPostUpdate;
}

BOOL PostUpdatePattern(CTavmontDlg* pMainWnd, BOOL fProgramUpdate, BOOL fHotFix, BOOL fCancel)
{
    VGLTRACE(1, "--> NS_Notification::PostUpdatePattern(fProgramUpdate = %d, fHotFix = %d, fCancel = %d)",
             fProgramUpdate, fHotFix, fCancel);
    CString strStaging = getTempDirectory() + PATTERN_UPDATE_FOLDER;
    if (fCancel)
    {
        DeleteStaging(strStaging);
        return FALSE;
    }
    if (fProgramUpdate || fHotFix)
        return TRUE;
    BOOL fSuccess = FALSE;
    try
    {
        CStringArray arrFiles;
        int nTotal = collectFiles(arrFiles, strStaging, "*.*", TRUE);
        if (nTotal == 0)
            VGLTRACE(12, "strTempPatternUpdateDir(*.*) = %s, iTotalPattern = %d), %s|%d", (LPCSTR)strStaging, nTotal,
                     __FILE__, __LINE__);
        CString strTarget;
        for (int i = 0; i < arrFiles.GetSize(); ++i)
        {
            CString strName = getFileName(arrFiles[i]);
            int nDot = strName.ReverseFind('.');
            CString strBase = nDot >= 0 ? strName.Left(nDot) : strName;
            if (strBase.Find('$') >= 0)
            {
                CString strPath = getModulePath() + strName;
                moveFileEx(arrFiles[i], strPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
                strTarget = strPath;
            }
            else
                ::DeleteFileA(arrFiles[i]);
        }
        if (pMainWnd != NULL && !strTarget.IsEmpty() && pMainWnd->UpdatePatternVersion(strTarget))
        {
            ::PostMessageA(((CWnd*)pMainWnd)->m_hWnd, WM_UPDATE_TRAY_ICON, 0, 0);
            fSuccess = TRUE;
        }
        else
            VGLTRACE(12, "UpdatePatternVersion(%s) failed", (LPCSTR)strTarget);
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s in NS_Notification::PostUpdatePattern", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::PostUpdatePattern");
    }
    DeleteStaging(strStaging);
    VGLTRACE(2, "<-- NS_Notification::PostUpdatePattern() = %d", fSuccess);
    return fSuccess;
}

BOOL PostUpdateEngine(CTavmontDlg* pMainWnd, BOOL fProgramUpdate, BOOL fHotFix, BOOL fCancel)
{
    VGLTRACE(1, "--> NS_Notification::PostUpdateEngine(fProgramUpdate = %d, fHotFix = %d, fCancel = %d)",
             fProgramUpdate, fHotFix, fCancel);
    CString strStaging = getTempDirectory() + ENGINE_UPDATE_FOLDER;
    if (fCancel)
    {
        DeleteStaging(strStaging);
        return FALSE;
    }
    BOOL fSuccess = FALSE;
    try
    {
        CStringArray arrFiles;
        collectFiles(arrFiles, strStaging, "*.vxd", TRUE);
        if (arrFiles.GetSize() > 0 && pMainWnd != NULL)
            pMainWnd->ProcessEngineRollback(arrFiles, FALSE);
        if (fProgramUpdate || fHotFix)
            return TRUE;
        if (arrFiles.GetSize() > 0 && pMainWnd != NULL && pMainWnd->UpdateEngineVersion(arrFiles))
        {
            ::PostMessageA(((CWnd*)pMainWnd)->m_hWnd, WM_UPDATE_TRAY_ICON, 0, 0);
            fSuccess = TRUE;
        }
        else
            VGLTRACE(12, "--> NS_Notification::OnNotificationNewEngine(%p) : FAIL = %s, %s|%d", (void*)pMainWnd,
                     arrFiles.GetSize() > 0 ? "Failed to update engine version" : "No engine file in the staging folder",
                     __FILE__, __LINE__);
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s in NS_Notification::PostUpdateEngine", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::PostUpdateEngine");
    }
    DeleteStaging(strStaging);
    VGLTRACE(2, "<-- NS_Notification::PostUpdateEngine() = %d", fSuccess);
    return fSuccess;
}

BOOL OnNotificationEngineRollback(CTavmontDlg* pMainWnd, const char* pszRollbackEngineVersion)
{
    VGLTRACE(3, "NS_Notification::OnNotificationEngineRollback(%s)",
             pszRollbackEngineVersion != NULL ? pszRollbackEngineVersion : "");
    BOOL fSuccess = FALSE;
    try
    {
        CString strRollback = getModulePath() + "Rollback";
        double dCurrent = atof(GetEngineVersion(""));
        double dPrevious = atof(GetEngineVersion(strRollback + "\\"));
        double dServer = pszRollbackEngineVersion != NULL ? atof(pszRollbackEngineVersion) : 0.0;
        VGLTRACE(3, " fEngineVersion = %f, fLocalRollbackEngineVersion = %f, fRollbackEngineVersion = %f , %s|%d",
                 dCurrent, dPrevious, dServer, __FILE__, __LINE__);
        if (dPrevious == 0.0)
        {
            VGLTRACE(3, " Error : There is no previous version of engine, %s|%d", __FILE__, __LINE__);
            return FALSE;
        }
        CStringArray arrFiles;
        if (collectFiles(arrFiles, strRollback, "*.vxd", TRUE) == 0)
            return FALSE;
        if (pMainWnd != NULL && pMainWnd->ProcessEngineRollback(arrFiles, TRUE))
        {
            ::PostMessageA(((CWnd*)pMainWnd)->m_hWnd, WM_UPDATE_TRAY_ICON, 0, 0);
            SendStatusLog(NS_Clock::GetCurrentTime(), NSN_ENGINE_ROLLBACK, GetEngineVersion(""));
            fSuccess = TRUE;
        }
        else
            VGLTRACE(12, "--> NS_Notification::OnNotificationEngineRollback(%p) : FAIL = %s, %s|%d", (void*)pMainWnd,
                     "Failed to rollback engine version", __FILE__, __LINE__);
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s in NS_Notification::OnNotificationEngineRollback", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::OnNotificationEngineRollback");
    }
    return fSuccess;
}
}

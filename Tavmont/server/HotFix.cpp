// Hot fixes: the server's hot-fix stamp against the one last handled, the hot-fix list, the
// files this client needs, and (outside the intranet) their download into "Vigilon_HotFix".
#include "Notification.h"

#include "HotFixList.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "Updates.h"
#include "resource_ids.h"

#include <string.h>

namespace NS_Notification
{
namespace
{
CCriticalSection g_csHotFix;

const char s_szHotFixDir[] = "Vigilon_HotFix";
const char s_szProgramUpdateDir[] = "Vigilon_ProgramUpdate";
const char s_szEngineUpdateDir[] = "Vigilon_EngineUpdate";

BOOL FileExists(const CString& strPath)
{
    return ::GetFileAttributesA(strPath) != INVALID_FILE_ATTRIBUTES;
}

CString FormatTime(const CTime& t)
{
    return t.Format("%A,%B %d %Y, %H:%M:%S");
}

void ShowStop(UINT nId)
{
    CString strText;
    strText.LoadString(nId);
    ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
}
}

BOOL HasNewerHotFix(const char* pszServerHotFixDateTime)
{
    CTime timeServer;
    if (pszServerHotFixDateTime == NULL || *pszServerHotFixDateTime == '\0')
        return FALSE;
    if (!parseHotFixStamp(pszServerHotFixDateTime, timeServer))
    {
        VGLTRACE(12, "NS_Notification::HasNewerHotFix(%s): not a valid time stamp, no hot fix needed",
                 pszServerHotFixDateTime);
        return FALSE;
    }
    CString strLocal = NS_RegistryKey::GetHotFixDateTime();
    if (strLocal.IsEmpty())
        return TRUE;
    CTime timeLocal;
    if (!parseHotFixStamp(strLocal, timeLocal))
    {
        VGLTRACE(12, "NS_Notification::HasNewerHotFix(): the stored stamp %s is not valid, taken as none",
                 (LPCSTR)strLocal);
        return TRUE;
    }
    return timeServer > timeLocal;
}

BOOL IsHotFixNecessary(const char* pszHotFixData, const char* pszProgramDir, const char* pszHotFixDir,
                       const char* pszProgramUpdateDir, const char* pszEngineUpdateDir, BOOL fDisplayErrMsg,
                       BOOL* pfHotFixFormat, VECTOR_HOTFIX* pvExisting, VECTOR_HOTFIX* pvResult)
{
    VGLTRACE(1, "--> NS_Notification::IsHotFixNecessary()");
    VECTOR_HOTFIXFILE files;
    BOOL fFormat = parseHotFixList(pszHotFixData, files);
    if (pfHotFixFormat != NULL)
        *pfHotFixFormat = fFormat;
    if (!fFormat && fDisplayErrMsg)
        ShowStop(IDS_HOTFIX_BAD_LIST);

    CString strApplication = NS_RegistryKey::GetApplicationPath();
    BOOL fNeeded = FALSE;
    for (const SHotFixFile& file : files)
    {
        if (file.m_strFileName.CompareNoCase("Alert.Msg") == 0)
        {
            VGLTRACE(3, "    NS_Notification::IsHotFixNecessary(pszHotFixData) --> Skip HotFixFile = %s",
                     (LPCSTR)file.m_strFileName);
            continue;
        }
        CString strLocal = joinPath(strApplication, file.m_strFileName);
        if (pszProgramUpdateDir != NULL && FileExists(joinPath(pszProgramUpdateDir, file.m_strFileName)))
            strLocal = joinPath(pszProgramUpdateDir, file.m_strFileName);
        else if (pszEngineUpdateDir != NULL && FileExists(joinPath(pszEngineUpdateDir, file.m_strFileName)))
            strLocal = joinPath(pszEngineUpdateDir, file.m_strFileName);

        CTime timeServer = convertToLocalTime(file.m_timeServer);
        BOOL fFileNeeded = FALSE;
        CFileStatus status;
        if (CFile::GetStatus(strLocal, status))
        {
            CTime timeLocal(status.m_mtime.GetTime());
            fFileNeeded = timeServer > timeLocal;
            VGLTRACE(3, "    %s: server %s, here %s -> %s", (LPCSTR)strLocal, (LPCSTR)FormatTime(timeServer),
                     (LPCSTR)FormatTime(timeLocal), fFileNeeded ? "needed" : "not needed");
        }
        else
        {
            fFileNeeded = !FileExists(strLocal);
            VGLTRACE(3, "    %s: no status -> %s", (LPCSTR)strLocal, fFileNeeded ? "needed" : "not needed");
        }
        if (!fFileNeeded)
            continue;
        SHotFix record;
        record.m_strKey = file.m_strVirtualPath;
        record.m_timeServer = timeServer;
        record.m_nChosen = 1;
        record.m_strProgramDir = pszProgramDir != NULL ? pszProgramDir : "";
        record.m_strHotFixDir = pszHotFixDir != NULL ? pszHotFixDir : "";
        if (pvExisting != NULL)
        {
            for (SHotFix& existing : *pvExisting)
            {
                if (getHotFixFileName(existing.m_strKey).CompareNoCase(file.m_strFileName) == 0)
                {
                    existing.m_strKey = file.m_strVirtualPath;
                    existing.m_timeServer = timeServer;
                    existing.m_nChosen = 1;
                    fNeeded = TRUE;
                    break;
                }
            }
        }
        else
        {
            if (pvResult != NULL)
                pvResult->push_back(record);
            fNeeded = TRUE;
        }
    }
    VGLTRACE(2, "<-- NS_Notification::IsHotFixNecessary(), fNeeded = %d", fNeeded);
    return fNeeded;
}

BOOL DownloadHotFixFiles(VECTOR_HOTFIX& vHotFixes, PFN_HTTP_STATUS_CALLBACK pfStatus,
                         PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength, PFN_HTTP_CANCEL_CALLBACK pfCancel,
                         LPVOID pvThis, BOOL fIntranet, BOOL fDisplayErrMsg, PFN_PHASE_COUNT pfFileCountCallback,
                         LPVOID pvFileCountThis)
{
    VGLTRACE(1, "--> NS_Notification::DownloadHotFixFiles(%u files)", (unsigned)vHotFixes.size());
    BOOL fSuccess = FALSE;
    try
    {
        NS_RegistryKey::STimeout timeouts;
        NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::HotFix, fIntranet);
        BOOL fLast = TRUE;
        int nFile = 0;
        for (SHotFix& record : vHotFixes)
        {
            if (pfCancel != NULL && pfCancel(pvThis))
                break;
            ++nFile;
            if (pfFileCountCallback != NULL)
                pfFileCountCallback(23, nFile, (int)vHotFixes.size(), pvFileCountThis);
            CAccBuffer reply;
            CString strError;
            fLast = ConnectServer(reply, record.m_strKey, &timeouts, pfStatus, pfContentLength, pfCancel, pvThis,
                                  fIntranet, &strError);
            if (!fLast)
            {
                VGLTRACE(12, "    %s cannot be downloaded: %s", (LPCSTR)record.m_strKey, (LPCSTR)strError);
                if (fDisplayErrMsg && !IsCanceled(fIntranet))
                    ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
                break;
            }
            CString strFile = joinPath(record.m_strHotFixDir, getHotFixFileName(record.m_strKey));
            VGLTRACE(3, "     Write HotfixFile = %s)", (LPCSTR)strFile);
            reply.Write(strFile);
            ::SetFileAttributesA(strFile, FILE_ATTRIBUTE_NORMAL);
            CFileStatus status;
            if (CFile::GetStatus(strFile, status))
            {
                status.m_ctime = status.m_mtime = status.m_atime = record.m_timeServer;
                CFile::SetStatus(strFile, status);
            }
            else
            {
                VGLTRACE(12, "     Failed to CFile::GetStatus(%s, in NS_Notification::DownloadHotFixFiles(strHotFixFile = %s)",
                         (LPCSTR)strFile, (LPCSTR)strFile);
            }
        }
        fSuccess = fLast && !(pfCancel != NULL && pfCancel(pvThis));
    }
    catch (CException* e)
    {
        char szError[512] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "CException = %s, in NS_Notification::DownloadHotFixFiles()", szError);
        e->ReportError(MB_ICONSTOP);
        e->Delete();
        fSuccess = FALSE;
    }
    catch (CInternetStatusException& e)
    {
        CString strStatus;
        GetInternetStatusText(e.GetStatus(), strStatus);
        VGLTRACE(10, "CInternetStatusException = %s, in NS_Notification::DownloadHotFixFiles()", (LPCSTR)strStatus);
        if (e.GetStatus() != 0)
            ::MessageBoxA(NULL, strStatus, NULL, MB_OK | MB_ICONSTOP);
        fSuccess = FALSE;
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, in NS_Notification::DownloadHotFixFiles()", (LPCSTR)e.ToString());
        ::MessageBoxA(NULL, e.GetErrorMessage(), NULL, MB_OK | MB_ICONSTOP);
        fSuccess = FALSE;
    }
    catch (...)
    {
        VGLTRACE(13, "Unknown error in NS_Notification::DownloadHotFixFiles()");
        ShowStop(IDS_UNKNOWN_EXCEPTION);
        fSuccess = FALSE;
    }
    VGLTRACE(2, "<-- NS_Notification::DownloadHotFixFiles(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL OnNotificationHotFix(CTavmontDlg* pMainWnd, const char* pszHotFixData, BOOL fIntranet, BOOL fDisplayErrMsg,
                          PFN_PHASE_COUNT pfFileCountCallback, LPVOID pvFileCountThis, CString* pstrHotFixIni,
                          BOOL* pfContinue)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationHotFix(%p, %s)", (void*)pMainWnd,
             pszHotFixData != NULL ? pszHotFixData : "(null)");
    BOOL fPostHotFix = FALSE;
    BOOL fContinue = TRUE;
    if (pszHotFixData != NULL && strlen(pszHotFixData) >= 14 && isAllDigits(pszHotFixData) &&
        NS_RegistryKey::IsHttpBased())
    {
        CSingleLock lock(&g_csHotFix, TRUE);
        CAccBuffer reply;
        if (HasNewerHotFix(pszHotFixData) && (fContinue = GetHotFixIni(reply, fIntranet, fDisplayErrMsg)) != FALSE)
        {
            CString strIni;
            reply.GetString(strIni);
            VGLTRACE(3, "    hot-fix list: %s", (LPCSTR)strIni);
            PFN_HTTP_STATUS_CALLBACK pfStatus = NULL;
            PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength = NULL;
            PFN_HTTP_CANCEL_CALLBACK pfCancel = ConnectCancelCallback;
            LPVOID pvContext = NULL;
            if (!fIntranet)
            {
                SConnectSettings& settings = GetConnectSettings();
                pfStatus = settings.m_pfStatus;
                pfContentLength = settings.m_pfContentLength;
                pfCancel = settings.m_pfCancel;
                pvContext = settings.m_pvContext;
            }
            CString strTemp = getTempDirectory();
            CString strHotFixDir = joinPath(strTemp, s_szHotFixDir);
            VECTOR_HOTFIX files;
            if (!IsHotFixNecessary(strIni, NS_RegistryKey::GetApplicationPath(), strHotFixDir,
                                   joinPath(strTemp, s_szProgramUpdateDir), joinPath(strTemp, s_szEngineUpdateDir),
                                   fDisplayErrMsg, &fContinue, NULL, &files))
            {
                VGLTRACE(3, "No need --> NS_Notification::OnNotificationHotFix(%p, %s)", (void*)pMainWnd,
                         pszHotFixData);
                NS_RegistryKey::SetHotFixDateTime(pszHotFixData);
            }
            else
            {
                fContinue = createDirectory(strHotFixDir, FALSE) || isDirectoryExist(strHotFixDir);
                if (fContinue && !fIntranet)
                    fContinue = DownloadHotFixFiles(files, pfStatus, pfContentLength, pfCancel, pvContext, FALSE,
                                                    fDisplayErrMsg, pfFileCountCallback, pvFileCountThis);
                if (fContinue)
                {
                    VGLTRACE(3, "Starting --> NS_Notification::OnNotificationHotFix(%p, %s)", (void*)pMainWnd,
                             pszHotFixData);
                    if (pstrHotFixIni != NULL)
                        *pstrHotFixIni = strIni;
                    fPostHotFix = TRUE;
                }
                else
                {
                    deleteTree(strHotFixDir, NULL, NULL, TRUE, TRUE, "*.*");
                }
            }
        }
    }
    if (pfContinue != NULL)
        *pfContinue = fContinue;
    VGLTRACE(2, "<-- NS_Notification::OnNotificationHotFix(), fPostHotFix = %d, fContinue = %d", fPostHotFix,
             fContinue);
    return fPostHotFix;
}
}

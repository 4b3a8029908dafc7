// The alert message: the administrator's text shown beside each virus warning, fetched from
// the server (HTTP mode) or copied from the master folder (file-based mode), kept in memory
// and in "Alert.msg" of the program folder.
#include "Notification.h"

#include "ClientMessages.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TavmontDlg.h"

namespace
{
// The current text and the local file change only under this lock; readers get copies.
CString g_strAlertMessage;
CCriticalSection g_csAlertMessage;

CString ErrorText(CException* e)
{
    char szError[260] = "";
    e->GetErrorMessage(szError, sizeof(szError));
    return szError;
}

// The whole reply into the local file: written beside it, then put in its place, so the
// file never holds half a text. An empty reply leaves the file as it was.
void WriteLocalFile(const CAccBuffer& buffer, const CString& strFile)
{
    if (buffer.GetLength() == 0)
        return;
    CString strTemp = strFile.Left(strFile.GetLength() - 4) + ".tmp";
    const_cast<CAccBuffer&>(buffer).Write(strTemp);
    if (replaceFileWithNew(strTemp, strFile))
        return;
    DWORD dwError = ::GetLastError();
    ::DeleteFileA(strTemp);
    THROW_SYSTEM_ERROR(dwError);
}
}

namespace NS_Notification
{
CString GetAlertMessageFile()
{
    return joinPath(getModulePath(), "Alert.msg");
}

CString GetAlertMessageText()
{
    CSingleLock lock(&g_csAlertMessage, TRUE);
    CString strText = g_strAlertMessage;
    return strText;
}

BOOL GetAlertMessage(CAccBuffer& bufResult, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::GetAlertMessage(CAccBuffer& bufResult = %p, fIntranet = %d, fDisplayErrMsg = %d)",
             (void*)&bufResult, fIntranet, fDisplayErrMsg);
    CString strQuery;
    strQuery.Format("%s?", (LPCSTR)NS_RegistryKey::GetCgiOnRequestAlertMessage());
    strQuery = urlEncode(strQuery);
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::AlertMessage, fIntranet);
    CString strError;
    BOOL fSuccess = ConnectServer(bufResult, strQuery, &timeouts, NULL, NULL, ConnectCancelCallback, NULL, fIntranet,
                                  &strError);
    if (!fSuccess && fDisplayErrMsg && !IsCanceled(fIntranet))
        ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
    if (NS_RegistryKey::IsDebugLogEnabled())
    {
        CString strText;
        bufResult.GetString(strText);
        VGLTRACE(3, "    Alert Mesasge = %s", (LPCSTR)strText);
    }
    VGLTRACE(2, "<-- NS_Notification::GetAlertMessage(CAccBuffer& bufResult = %p, fIntranet = %d, fDisplayErrMsg = %d)",
             (void*)&bufResult, fIntranet, fDisplayErrMsg);
    return fSuccess;
}

void LoadAlertMessage(CAccBuffer& buffer, BOOL fFromReply)
{
    CSingleLock lock(&g_csAlertMessage, TRUE);
    CString strText;
    if (fFromReply)
    {
        buffer.GetString(strText);
        g_strAlertMessage = strText;
        WriteLocalFile(buffer, GetAlertMessageFile());
    }
    else
    {
        // Whatever a failed request left in the buffer is not part of the file.
        buffer.Reset();
        buffer.Read(GetAlertMessageFile());
        buffer.GetString(strText);
        g_strAlertMessage = strText;
    }
}

void UpdateAlertMessage(BOOL fDownload, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::UpdateAlertMessage(%d)", fDownload);
    CAccBuffer buffer;
    BOOL fHttp = NS_RegistryKey::IsHttpBased();
    BOOL fFailed = TRUE;
    try
    {
        if (fHttp)
        {
            if (fDownload && GetAlertMessage(buffer, fIntranet, fDisplayErrMsg))
                LoadAlertMessage(buffer, TRUE);
            else
                LoadAlertMessage(buffer, FALSE);
        }
        else
        {
            if (fDownload)
            {
                CString strMaster = joinPath(NS_RegistryKey::GetMasterDirectory(), "Alert.msg");
                CString strLocal = GetAlertMessageFile();
                BOOL fCopied = copyFileEx(strMaster, strLocal);
                VGLTRACE(3, "fSuccess(%d) = copyFileEx(%s, %s)", fCopied, (LPCSTR)strMaster, (LPCSTR)strLocal);
            }
            LoadAlertMessage(buffer, FALSE);
        }
        fFailed = FALSE;
    }
    catch (CException* e)
    {
        VGLTRACE(10, "CException = %s, in NS_Notification::UpdateAlertMessage(%d)", (LPCSTR)ErrorText(e), fDownload);
        if (fDisplayErrMsg)
            e->ReportError(MB_ICONSTOP);
        e->Delete();
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Notification::UpdateAlertMessage(%d)", (LPCSTR)e.ToString(), fDownload);
        if (fDisplayErrMsg)
            ::MessageBoxA(NULL, e.GetErrorMessage(), NULL, MB_OK | MB_ICONSTOP);
    }
    catch (CInternetStatusException& e)
    {
        CString strStatus;
        GetInternetStatusText(e.GetStatus(), strStatus);
        VGLTRACE(10, "CInternetStatusException = %s, in NS_Notification::UpdateAlertMessage(%d)", (LPCSTR)strStatus,
                 fDownload);
        if (fDisplayErrMsg)
            ::MessageBoxA(NULL, strStatus, NULL, MB_OK | MB_ICONSTOP);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::UpdateAlertMessage(%d)", fDownload);
    }
    if (fFailed && fDownload && fHttp)
    {
        // The text last received stays current; when it cannot be read either, the text in
        // memory stays as it was.
        try
        {
            LoadAlertMessage(buffer, FALSE);
        }
        catch (CException* e)
        {
            VGLTRACE(10, "CException = %s, in NS_Notification::UpdateAlertMessage(%d): the local text cannot be read",
                     (LPCSTR)ErrorText(e), fDownload);
            e->Delete();
        }
        catch (...)
        {
            VGLTRACE(13, "Exception(...) in NS_Notification::UpdateAlertMessage(%d): the local text cannot be read",
                     fDownload);
        }
    }
    VGLTRACE(2, "<-- NS_Notification::UpdateAlertMessage(%d)", fDownload);
}

void OnNotificationNewAlertMessage(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::OnNotificationNewAlertMessage(%p)", (void*)pMainWnd);
    UpdateAlertMessage(TRUE, fIntranet, fDisplayErrMsg);
    // The monitor's windows belong to the UI thread: it refreshes them there.
    if (pMainWnd != NULL && pMainWnd->GetSafeHwnd() != NULL)
        ::PostMessageA(pMainWnd->GetSafeHwnd(), WM_UPDATE_ALERT_MESSAGE, 0, 0);
    VGLTRACE(2, "<-- NS_Notification::OnNotificationNewAlertMessage(%p)", (void*)pMainWnd);
}
}

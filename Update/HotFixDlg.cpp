// The hot-fix dialog: the need check and the download.
#include "HotFixDlg.h"

#include "AccBuffer.h"
#include "Configuration.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "UpdateCommon.h"
#include "resource_ids.h"

#include <afxfile.h>

namespace
{
const char s_szAlertFile[] = "Alert.Msg";
const char s_szTimeFormat[] = "%A,%B %d %Y, %H:%M:%S";
const DWORD CONNECT_TIMEOUT = 300000;
const DWORD TRANSFER_TIMEOUT = 180000;

BOOL isAlertFile(const SHotFixFile& file)
{
    return file.m_strFileName.CompareNoCase(s_szAlertFile) == 0;
}

// The server path as a request's object: below the server's root.
CString objectPath(const CString& strVirtualPath)
{
    if (!strVirtualPath.IsEmpty() && strVirtualPath[0] == '/')
        return strVirtualPath;
    return "/" + strVirtualPath;
}

CString loadString(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

void errorBox(LPCSTR pszText, LPCSTR pszCaption)
{
    ::MessageBoxA(NULL, pszText, pszCaption, MB_ICONHAND | MB_SETFOREGROUND);
}
}

CHotFixDlg::CHotFixDlg(BOOL fInternet, const char* pszHotFixData, BOOL fRestart, CWnd* pParent)
    : CWorkerDlg(IDD_UPD_HOTFIX, pParent), m_fInternet(fInternet), m_pszHotFixData(pszHotFixData),
      m_fRestart(fRestart), m_dwTotalSize(0), m_dwReceived(0), m_fDownloading(FALSE)
{
}

CHotFixDlg::~CHotFixDlg()
{
}

void CHotFixDlg::DoDataExchange(CDataExchange* pDX)
{
    CWorkerDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UPD_FILE_BAR, m_barFiles);
    DDX_Control(pDX, IDC_UPD_MOVE_BAR, m_barBytes);
    DDX_Control(pDX, IDC_UPD_BYTES_TEXT, m_textBytes);
    DDX_Control(pDX, IDC_UPD_STEP_TEXT, m_textStep);
}

void CHotFixDlg::SetStepText(UINT nID, LPCSTR pszArgument)
{
    CString strText = loadString(nID);
    if (pszArgument != NULL)
    {
        CString strFormat = strText;
        strText.Format(strFormat, pszArgument);
    }
    showTextNow(m_textStep, strText);
}

/////////////////////////////////////////////////////////////////////////////
// The need check

CString CHotFixDlg::GetLocalCopy(const CString& strFileName)
{
    CString strTemp = getTempDirectory();
    const char* staged[] = {g_pszPatternUpdateFolder, g_pszEngineUpdateFolder, g_pszProgramUpdateFolder};
    for (const char* pszFolder : staged)
    {
        CString strFolder, strPath;
        concatPath(strFolder, strTemp, pszFolder);
        concatPath(strPath, strFolder, strFileName);
        if (::GetFileAttributesA(strPath) != INVALID_FILE_ATTRIBUTES)
            return strPath;
    }
    CString strPath;
    concatPath(strPath, NS_RegistryKey::GetApplicationPath(), strFileName);
    return strPath;
}

BOOL CHotFixDlg::IsFileNeeded(const SHotFixFile& file)
{
    CString strLocal = GetLocalCopy(file.m_strFileName);
    CFileStatus status;
    if (CFile::GetStatus(strLocal, status))
    {
        BOOL fNeeded = status.m_mtime < file.m_timeServer;
        UPDTRACE(3, "    HotFix File = %s, %s, Server = %s, Local = %s", (LPCSTR)strLocal,
                 fNeeded ? "NEEDED" : "up to date", (LPCSTR)file.m_timeServer.Format(s_szTimeFormat),
                 (LPCSTR)status.m_mtime.Format(s_szTimeFormat));
        return fNeeded;
    }
    if (!isPathExist(strLocal))
    {
        UPDTRACE(3, " NOT FOUND, HotFix File = %s", (LPCSTR)strLocal);
        return TRUE;
    }
    UPDTRACE(12, "    HotFix File = %s cannot be inspected: not needed", (LPCSTR)strLocal);
    return FALSE;
}

BOOL CHotFixDlg::IsHotFixNecessary(const TCHAR* pszHotFixData)
{
    VECTOR_HOTFIXFILE files;
    parseHotFixList(pszHotFixData, files);
    int nCount = 0;
    for (const SHotFixFile& file : files)
    {
        if (!isAlertFile(file) && IsFileNeeded(file))
            ++nCount;
    }
    return nCount > 0;
}

CString CHotFixDlg::FormatHttpStatus(int nStatus)
{
    UINT nID = 0;
    if (nStatus >= 400 && nStatus <= 410)
        nID = IDS_UPD_HTTP_400 + (nStatus - 400);
    else if (nStatus >= 411 && nStatus <= 415)
        nID = IDS_UPD_HTTP_411 + (nStatus - 411);
    else if (nStatus >= 500 && nStatus <= 504)
        nID = IDS_UPD_HTTP_500 + (nStatus - 500);
    else if (nStatus == 505)
        nID = IDS_UPD_HTTP_505;
    else if (nStatus == 305)
        nID = IDS_UPD_HTTP_305;
    else if (nStatus == 301)
        nID = IDS_UPD_HTTP_301;
    CString strText;
    strText.Format("(%d) %s", nStatus, nID != 0 ? (LPCSTR)loadString(nID) : "");
    return strText;
}

/////////////////////////////////////////////////////////////////////////////
// The work

void CHotFixDlg::DoWork()
{
    UPDTRACE(1, "--> CHotFixDlg::DoWork(), m_fInternet = %d", m_fInternet);
    CWaitCursor wait;
    if (!UnloadClient())
    {
        UPDTRACE(2, "<-- CHotFixDlg::DoWork(), the client did not unload: nothing is changed");
        return;
    }
    if (m_fInternet)
        StartMoveFile(NULL);
    else
        StartDownload();
    RemoveTempFolders();
    if (m_fRestart)
        RestartClient();
    UPDTRACE(2, "<-- CHotFixDlg::DoWork()");
}

BOOL CHotFixDlg::UnloadClient()
{
    return NS_Client::Unload(NULL, &m_textStep);
}

BOOL CHotFixDlg::StartDownload()
{
    UPDTRACE(1, "--> CHotFixDlg::StartDownload()");
    VECTOR_HOTFIXFILE files;
    parseHotFixList(m_pszHotFixData, files);
    int nCount = 0;
    for (const SHotFixFile& file : files)
    {
        if (!isAlertFile(file) && IsFileNeeded(file))
            ++nCount;
    }
    m_barFiles.SetRange(0, (short)nCount);
    m_barFiles.SetPos(0);
    CString strCaption = loadString(IDS_UPD_ERROR_CAPTION);
    CString strServer = NS_RegistryKey::GetServer(FALSE);

    BOOL fResult = FALSE;
    try
    {
        if (nCount > 0)
        {
            CString strHotFixDir;
            concatPath(strHotFixDir, getTempDirectory(), g_pszHotFixFolder);
            if (isDirectoryExist(strHotFixDir))
                deleteTree(strHotFixDir, NULL, NULL, TRUE, TRUE, "*.*");
            BOOL fCreated = createDirectory(strHotFixDir, FALSE);
            if (!fCreated)
            {
                UPDTRACE(12, "%d = ::createDirectory(strHotFixDir = %s))", fCreated, (LPCSTR)strHotFixDir);
            }
            else
            {
                for (const SHotFixFile& file : files)
                {
                    if (!IsFileNeeded(file))
                        continue;
                    SetStepText(IDS_UPD_DOWNLOADING, file.m_strVirtualPath);
                    CString strTarget;
                    concatPath(strTarget, strHotFixDir, file.m_strFileName);
                    CAccBuffer buffer;
                    CString strError;
                    if (!ConnectToServer(TRUE, strServer, objectPath(file.m_strVirtualPath), buffer,
                                         OnInternetStatus, OnContentLength, this, &strError))
                    {
                        UPDTRACE(12, "    download of %s failed: %s", (LPCSTR)file.m_strVirtualPath,
                                 (LPCSTR)strError);
                        errorBox(strError, strCaption);
                        break;
                    }
                    if (buffer.GetLength() > 0)
                    {
                        buffer.Write(strTarget);
                    }
                    else
                    {
                        CFile empty(strTarget, CFile::modeCreate | CFile::modeWrite);
                        empty.Close();
                    }
                    UPDTRACE(3, "    Write HotfixFile = %s, %d bytes", (LPCSTR)strTarget, buffer.GetLength());
                    m_barFiles.OffsetPos(1);
                    ::SetFileAttributesA(strTarget, FILE_ATTRIBUTE_NORMAL);
                    CFileStatus status;
                    if (CFile::GetStatus(strTarget, status))
                    {
                        status.m_ctime = file.m_timeServer;
                        status.m_atime = file.m_timeServer;
                        status.m_mtime = file.m_timeServer;
                        CFile::SetStatus(strTarget, status);
                        CFileStatus check;
                        BOOL fSame = CFile::GetStatus(strTarget, check) && check.m_mtime == file.m_timeServer;
                        UPDTRACE(3, "    HotfixFile = %s, time %s: %s", (LPCSTR)strTarget,
                                 (LPCSTR)file.m_timeServer.Format(s_szTimeFormat), fSame ? "set" : "DIFFERENT");
                    }
                }
                fResult = StartMoveFile(strHotFixDir);
            }
        }
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        UPDTRACE(10, "CException = %s, in CHotFixDlg::StartDownload()", szError);
        e->ReportError(MB_ICONHAND);
        e->Delete();
    }
    catch (CInternetStatusException& e)
    {
        CString strText = FormatHttpStatus(e.GetStatus());
        UPDTRACE(10, "CInternetStatusException = %s, in CHotFixDlg::StartDownload()", (LPCSTR)strText);
        errorBox(strText, strCaption);
    }
    catch (CSystemError& e)
    {
        UPDTRACE(10, "CSystemError = %s, in CHotFixDlg::StartDownload()", (LPCSTR)e.ToString());
        errorBox(e.ToString(), strCaption);
    }
    catch (...)
    {
        UPDTRACE(13, "Exception(...) in CHotFixDlg::StartDownload()");
        errorBox(loadString(IDS_UPD_UNKNOWN_ERROR), strCaption);
    }
    m_barFiles.SetPos(nCount);
    UPDTRACE(2, "<-- CHotFixDlg::StartDownload(), fResult = %d", fResult);
    return fResult;
}

BOOL CHotFixDlg::ConnectToServer(BOOL fUseComputerName, const TCHAR* pszServer, const TCHAR* pszObject,
                                 CAccBuffer& bufResult, PFN_HTTP_STATUS_CALLBACK pfInternetStatusCallback,
                                 PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis,
                                 CString* pstrErrorMsg)
{
    CString strComputerName;
    if (fUseComputerName && getComputerNameInServerName(pszServer, strComputerName))
    {
        CString strFirst = strComputerName, strSecond = pszServer;
        if (NS_RegistryKey::ReadFQDNFirst())
        {
            strFirst = pszServer;
            strSecond = strComputerName;
        }
        if (ConnectToServer_Try(fUseComputerName, strFirst, pszObject, bufResult, pfInternetStatusCallback,
                                pfContentLengthCallback, pvThis, FALSE, pstrErrorMsg))
            return TRUE;
        bufResult.Reset();
        return ConnectToServer_Try(fUseComputerName, strSecond, pszObject, bufResult, pfInternetStatusCallback,
                                   pfContentLengthCallback, pvThis, pstrErrorMsg == NULL, pstrErrorMsg);
    }
    return ConnectToServer_Try(fUseComputerName, pszServer, pszObject, bufResult, pfInternetStatusCallback,
                               pfContentLengthCallback, pvThis, pstrErrorMsg == NULL, pstrErrorMsg);
}

BOOL CHotFixDlg::ConnectToServer_Try(BOOL fIntranet, const TCHAR* pszServer, const TCHAR* pszObject,
                                     CAccBuffer& bufResult, PFN_HTTP_STATUS_CALLBACK pfInternetStatusCallback,
                                     PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis,
                                     BOOL fDisplayErrMsg, CString* pstrErrorMsg)
{
    UPDTRACE(1, "--> CHotFixDlg::ConnectToServer_Try(fIntranet = %d, pszServer = %s, pszObject = %s)", fIntranet,
             pszServer, pszObject);
    CString strProxyServer, strProxyLogin, strProxyPassword;
    SHttpRequestOption option;
    option.m_pszServerName = pszServer;
    option.m_pszObjectName = pszObject;
    option.m_nServerPort = (INTERNET_PORT)NS_RegistryKey::GetServerPort();
    if (NS_RegistryKey::GetUseProxy())
    {
        strProxyServer = NS_RegistryKey::GetProxyServer();
        option.m_pszProxyServer = strProxyServer;
        option.m_nProxyPort = NS_RegistryKey::GetProxyPort();
    }
    strProxyLogin = NS_RegistryKey::GetProxyLogin();
    strProxyPassword = NS_RegistryKey::GetProxyPassword();
    option.m_pszProxyUsername = strProxyLogin;
    option.m_pszProxyPassword = strProxyPassword;
    option.m_dwFlags = INTERNET_FLAG_RELOAD;
    option.m_dwRetries = 0;
    option.m_dwConnectTimeout = CONNECT_TIMEOUT;
    option.m_dwControlSendTimeout = TRANSFER_TIMEOUT;
    option.m_dwControlReceiveTimeout = TRANSFER_TIMEOUT;
    option.m_dwDataSendTimeout = TRANSFER_TIMEOUT;
    option.m_dwDataReceiveTimeout = TRANSFER_TIMEOUT;
    option.m_dwProxyAuthenticationRetryCount = 3;
    option.m_pfInternetStatusCallback = pfInternetStatusCallback;
    option.m_pfContentLengthCallback = pfContentLengthCallback;
    option.m_pfConnectCancelCallback = NULL;
    option.m_pvThis = pvThis;

    CString strError;
    try
    {
        httpConnect(option, bufResult);
        UPDTRACE(2, "<-- CHotFixDlg::ConnectToServer_Try(), %d bytes", bufResult.GetLength());
        return TRUE;
    }
    catch (CInternetStatusException& e)
    {
        strError = FormatHttpStatus(e.GetStatus());
        UPDTRACE(10, "CInternetStatusException = %s, in CHotFixDlg::ConnectToServer_Try()", (LPCSTR)strError);
    }
    catch (CSystemError& e)
    {
        strError = e.ToString();
        UPDTRACE(10, "CSystemError = %s, in CHotFixDlg::ConnectToServer_Try()", (LPCSTR)strError);
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        strError = szError;
        UPDTRACE(10, "CException = %s, in CHotFixDlg::ConnectToServer_Try()", szError);
        e->Delete();
    }
    catch (...)
    {
        strError = loadString(IDS_UPD_UNKNOWN_ERROR);
        UPDTRACE(10, "Exception(...) in CHotFixDlg::ConnectToServer_Try()");
    }
    if (fDisplayErrMsg)
        errorBox(strError, loadString(IDS_UPD_ERROR_CAPTION));
    if (pstrErrorMsg != NULL)
        *pstrErrorMsg = strError;
    return FALSE;
}

/////////////////////////////////////////////////////////////////////////////
// Download progress

void CHotFixDlg::ShowBytes()
{
    CString strFormat = loadString(IDS_UPD_KILOBYTES), strText;
    strText.Format(strFormat, (int)(m_dwReceived / 1024), (int)(m_dwTotalSize / 1024));
    m_textBytes.SetWindowText(strText);
    m_barBytes.SetPos((int)(m_dwReceived / 1024));
}

void CHotFixDlg::OnContentLength(DWORD dwLength, void* pvThis)
{
    CHotFixDlg* pDlg = static_cast<CHotFixDlg*>(pvThis);
    if (pDlg == NULL)
        return;
    pDlg->m_dwTotalSize = dwLength;
    pDlg->m_dwReceived = 0;
    pDlg->m_barBytes.SetRange32(0, (int)(dwLength / 1024));
    pDlg->ShowBytes();
    pDlg->m_fDownloading = TRUE;
}

void CHotFixDlg::OnInternetStatus(HINTERNET, DWORD_PTR, DWORD dwInternetStatus, LPVOID lpvStatusInformation,
                                  DWORD dwStatusInformationLength, void* pvThis)
{
    CHotFixDlg* pDlg = static_cast<CHotFixDlg*>(pvThis);
    if (pDlg == NULL)
        return;
    switch (dwInternetStatus)
    {
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        if (pDlg->m_fDownloading && lpvStatusInformation != NULL && dwStatusInformationLength >= sizeof(DWORD))
        {
            pDlg->m_dwReceived += *(const DWORD*)lpvStatusInformation;
            pDlg->ShowBytes();
        }
        break;
    case INTERNET_STATUS_CLOSING_CONNECTION:
    case INTERNET_STATUS_HANDLE_CLOSING:
        pDlg->m_dwTotalSize = 0;
        pDlg->m_dwReceived = 0;
        pDlg->ShowBytes();
        pDlg->m_fDownloading = FALSE;
        break;
    default:
        break;
    }
}

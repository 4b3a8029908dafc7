// The last steps of the removal: Start-menu folder, desktop shortcut and INI files, the
// registry entries, and the notice to the server.
#include "UninstallDlg.h"

#include "AccBuffer.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "MyHttpFile.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "UninstallDatabase.h"
#include "UninstallErrors.h"
#include "Utils_RegKey.h"
#include "resource_ids.h"

#include <shlobj.h>

namespace
{
const char s_szUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char g_pszRunKey[] = "Kavrel Vigilon Win95";
const char g_pszPGXKey[] = "PGX";
const char g_psz95RorazeallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vigilon 95";
const DWORD REQUEST_TIMEOUT_MS = 300000;

BOOL IsWindowsNT()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

BOOL DeleteTraced(const CString& strFile, LPCSTR pszFormat)
{
    BOOL fSuccess = ::DeleteFileA(strFile);
    NS_Debug::GetLogTracker().Trace(3, pszFormat, (LPCSTR)strFile, fSuccess, __FILE__, __LINE__);
    return fSuccess;
}

// The text of an exception of the HTTP request.
CString ClassLibraryExceptionText(CException* e)
{
    char szError[MAX_PATH] = "";
    e->GetErrorMessage(szError, sizeof(szError));
    return szError;
}
}

BOOL CUninstallDlg::UninstallFolderAndShortcut()
{
    VGLTRACE(1, "--> CUninstallDlg::UninstallFolderAndShortcut()");
    BOOL fNT = IsWindowsNT();
    CString strStartProgramFolder = fNT ? getCommonProgramsFolder() : getProgramsFolder();
    BOOL fStartupFolder = isDirectoryExist(strStartProgramFolder);
    VGLTRACE(3, "fStartupFolder(%d) = ::isDirectoryExist(strStartProgramFolder = %s)", fStartupFolder,
             (LPCSTR)strStartProgramFolder);
    if (fStartupFolder)
    {
        CString strFolderName = m_strIniMenuFolder.IsEmpty() ? m_strFolderName : m_strIniMenuFolder;
        CString strStartupMenuFolderName;
        concatPath(strStartupMenuFolderName, strStartProgramFolder, strFolderName);
        VGLTRACE(3, "strStartupMenuFolderName(%s) = ::concatPath(strStartProgramFolder = %s, strFolderName = %s)",
                 (LPCSTR)strStartupMenuFolderName, (LPCSTR)strStartProgramFolder, (LPCSTR)strFolderName);
        BOOL fStartupMenu = !strFolderName.IsEmpty() && isDirectoryExist(strStartupMenuFolderName);
        VGLTRACE(3, "fStartupMenu(%d) = ::isDirectoryExist(strStartupMenuFolderName = %s)", fStartupMenu,
                 (LPCSTR)strStartupMenuFolderName);
        if (fStartupMenu)
        {
            deleteTree(strStartupMenuFolderName, NULL, NULL, FALSE, FALSE, "*.lnk");
            VGLTRACE(3, "   deleteTree(strStartupMenuFolderName = %s, NULL, NULL, fRemoveVirtualRoot = %d, fSubDir = %d, "
                        "pszFileSpec = %s)",
                     (LPCSTR)strStartupMenuFolderName, 0, 0, "*.lnk");
            BOOL fSuccess = ::RemoveDirectoryA(strStartupMenuFolderName);
            VGLTRACE(3, "    ::RemoveDirectory(strStartupMenuFolderName = %s), fSuccess = %d",
                     (LPCSTR)strStartupMenuFolderName, fSuccess);
        }
        else
        {
            VGLTRACE(12, "   isDirectoryExist(strStartupMenuFolderName = %s)", (LPCSTR)strStartupMenuFolderName);
        }
        ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATH, (LPCSTR)strStartProgramFolder, NULL);
    }
    else
    {
        VGLTRACE(12, "   isDirectoryExist(strStartProgramFolder = %s)", (LPCSTR)strStartProgramFolder);
    }

    if (!m_strDesktopShortcutFile.IsEmpty())
    {
        if (isFileExist(m_strDesktopShortcutFile))
        {
            BOOL fSuccess = ::DeleteFileA(m_strDesktopShortcutFile);
            VGLTRACE(3, "    ::DeleteFile(m_strDesktopShortcutFile = %s), fSuccess = %d",
                     (LPCSTR)m_strDesktopShortcutFile, fSuccess);
            CString strDesktop = getDesktopFolder();
            ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATH, (LPCSTR)strDesktop, NULL);
        }
        else
        {
            VGLTRACE(12, "   isFileExist(m_strDesktopShortcutFile = %s)", (LPCSTR)m_strDesktopShortcutFile);
        }
    }

    CString strWindows = getWindowsDirectoryPath();
    CString strWebDeploymentIni, strVigilonIni, strVigilonLocalIni, strVglScanIni;
    concatPath(strWebDeploymentIni, strWindows, "VigilonWebDeployment.ini");
    concatPath(strVigilonIni, strWindows, "Vigilon.ini");
    concatPath(strVigilonLocalIni, strWindows, "VigilonLocal.ini");
    concatPath(strVglScanIni, strWindows, "VglScan.ini");
    BOOL fResult = DeleteTraced(strWebDeploymentIni, "    ::DeleteFile(strWebDeploymentIni = %s), fSuccess = %d, %s|%d");
    fResult = DeleteTraced(strVigilonIni, "    ::DeleteFile(strVigilonIni = %s), fSuccess = %d, %s|%d");
    fResult = DeleteTraced(strVigilonLocalIni, "    ::DeleteFile(strVigilonLocalIni = %s), fSuccess = %d, %s|%d");
    if (!fNT)
        fResult = DeleteTraced(strVglScanIni, "    ::DeleteFile(strVglScanIni = %s), fSuccess = %d, %s|%d");
    VGLTRACE(2, "<-- CUninstallDlg::UninstallFolderAndShortcut()");
    return fResult;
}

void CUninstallDlg::UninstallRegistries()
{
    VGLTRACE(1, "--> CUninstallDlg::UninstallRegistries()");
    m_barRegistry.SetRange(0, 2);
    m_barRegistry.SetPos(0);
    m_barRegistry.StepIt();

    // The names were read before the settings file was deleted.
    const CString& strRunKey = m_strIniRunKey;
    BOOL fDeleteRunKey = deleteRegistryRunKey(strRunKey);
    VGLTRACE(3, "fDeleteRunKey(%d) = ::deleteRegistryRunKey(strRunKey = %s)", fDeleteRunKey, (LPCSTR)strRunKey);
    BOOL fDeleteRunServicesKey = deleteRegistryRunServicesKey(strRunKey);
    VGLTRACE(3, "fDeleteRunServicesKey(%d) = ::deleteRegistryRunServicesKey(strRunKey = %s)", fDeleteRunServicesKey,
             (LPCSTR)strRunKey);
    BOOL fDeleteOldRunKey = deleteRegistryRunKey(g_pszRunKey);
    VGLTRACE(3, "fDeleteOldRunKey(%d) = ::deleteRegistryRunKey(g_pszRunKey = %s)", fDeleteOldRunKey, g_pszRunKey);
    BOOL fDeletePGXKey = deleteRegistryRunKey(g_pszPGXKey);
    VGLTRACE(3, "fDeletePGXKey(%d) = ::deleteRegistryRunKey(g_pszPGXKey = %s)", fDeletePGXKey, g_pszPGXKey);
    if (!m_strIniUninstallKeyName.IsEmpty())
    {
        CString strUninstallKeyPath;
        concatPath(strUninstallKeyPath, s_szUninstallRoot, m_strIniUninstallKeyName);
        BOOL fDeleteUninstallKey = deleteKey(HKEY_LOCAL_MACHINE, strUninstallKeyPath);
        VGLTRACE(3, "fDeleteUninstallKey(%d) = ::deleteKey(strUninstallKeyPath = %s)", fDeleteUninstallKey,
                 (LPCSTR)strUninstallKeyPath);
    }
    BOOL fDeleteOldUninstallKey = deleteKey(HKEY_LOCAL_MACHINE, g_psz95RorazeallKeyPath);
    VGLTRACE(3, "fDeleteUninstallKey(%d) = ::deleteKey(g_psz95RorazeallKeyPath = %s)", fDeleteOldUninstallKey,
             g_psz95RorazeallKeyPath);
    deleteKey(HKEY_LOCAL_MACHINE, m_strProductKey);
    deleteKeyIfEmpty(HKEY_LOCAL_MACHINE, m_strCompanyKey);

    m_barRegistry.StepIt();
    VGLTRACE(2, "<-- CUninstallDlg::UninstallRegistries()");
}

BOOL CUninstallDlg::SendUninstallMessage()
{
    VGLTRACE(1, "--> CUninstallDlg::SendUninstallMessage()");
    BOOL fSuccess = FALSE;
    CString strCaption = loadUninstallString(IDS_UNINST_ERROR_CAPTION);
    try
    {
        if (m_fIsHttpBased)
        {
            m_barServer.SetRange(0, 2);
            m_barServer.SetPos(0);
            m_barServer.StepIt();
            CString strObject;
            strObject.Format("%s?UID=%s", (LPCSTR)m_strCgiOnUninstall, (LPCSTR)m_strGuid);
            CAccBuffer bufResult;
            ConnectToServer(m_strServer, strObject, bufResult, NULL, NULL, NULL, NULL);
            CString strResult;
            bufResult.GetString(strResult);
            VGLTRACE(3, "    CUninstallDlg::SendUninstallMessage(), bufResult.GetString(strResult = %s)",
                     (LPCSTR)strResult);
            int nReturnCode = bufResult.GetReturnCode(0, 2);
            if (nReturnCode != 1)
                throw CCgiUninstallException(nReturnCode);
            fSuccess = TRUE;
        }
        else
        {
            m_barServer.SetRange(0, 4);
            m_barServer.SetPos(0);
            m_barServer.StepIt();
            try
            {
                fSuccess = removeClientInfoRecord(m_strMasterDirData, m_strGuid);
                VGLTRACE(3, "    ::removeClientInfoRecord(m_strMasterDirData = %s, m_strGuid = %s), fSuccess = %d",
                         (LPCSTR)m_strMasterDirData, (LPCSTR)m_strGuid, fSuccess);
            }
            catch (...)
            {
                VGLTRACE(10, "    Exception(...) in removeClientInfoRecord(m_strMasterDirData = %s, m_strGuid = %s)",
                         (LPCSTR)m_strMasterDirData, (LPCSTR)m_strGuid);
            }
            m_barServer.StepIt();
            try
            {
                fSuccess = removeClientEventRecord(m_strMasterDirData, m_strGuid);
                VGLTRACE(3, "    ::removeClientEventRecord(m_strMasterDirData = %s, m_strGuid = %s), fSuccess = %d",
                         (LPCSTR)m_strMasterDirData, (LPCSTR)m_strGuid, fSuccess);
            }
            catch (...)
            {
                VGLTRACE(10, "    Exception(...) in removeClientEventRecord(m_strMasterDirData = %s, m_strGuid = %s)",
                         (LPCSTR)m_strMasterDirData, (LPCSTR)m_strGuid);
            }
            m_barServer.StepIt();
            try
            {
                fSuccess = removeCfgRecord(m_strMasterDirConfig, m_strGuid);
                VGLTRACE(3, "    ::removeCfgRecord(m_strMasterDirConfig = %s, m_strGuid = %s), fSuccess = %d",
                         (LPCSTR)m_strMasterDirConfig, (LPCSTR)m_strGuid, fSuccess);
            }
            catch (...)
            {
                VGLTRACE(10, "    Exception(...) in removeCfgRecord(m_strMasterDirConfig = %s, m_strGuid = %s)",
                         (LPCSTR)m_strMasterDirConfig, (LPCSTR)m_strGuid);
            }
            m_barServer.StepIt();
            try
            {
                fSuccess = removeAllLog(m_strMasterDirLog, m_strGuid);
                VGLTRACE(3, "    ::removeAllLog(m_strMasterDirLog = %s, m_strGuid = %s), fSuccess = %d",
                         (LPCSTR)m_strMasterDirLog, (LPCSTR)m_strGuid, fSuccess);
            }
            catch (...)
            {
                VGLTRACE(10, "    Exception(...) in removeAllLog(m_strMasterDirLog = %s, m_strGuid = %s)",
                         (LPCSTR)m_strMasterDirLog, (LPCSTR)m_strGuid);
            }
        }
    }
    catch (CException* e)
    {
        CString strError = ClassLibraryExceptionText(e);
        e->Delete();
        VGLTRACE(10, "    CException = %s", (LPCSTR)strError);
    }
    catch (CInternetStatusException& e)
    {
        VGLTRACE(10, "    CInternetStatusException = %s", (LPCSTR)getInternetStatusText(e.GetStatus()));
    }
    catch (CCgiUninstallException& e)
    {
        VGLTRACE(10, "    CCgiUninstallException = %s", (LPCSTR)e.GetText());
    }
    catch (CSystemError& e)
    {
        VGLTRACE(10, "    CSystemError = %s", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(10, "    (...) = %s", (LPCSTR)loadUninstallString(IDS_UNINST_UNKNOWN_EXCEPTION));
    }
    m_barServer.StepIt();
    VGLTRACE(2, "<-- CUninstallDlg::SendUninstallMessage(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL CUninstallDlg::ConnectToServer(const TCHAR* pszServer, const TCHAR* pszObject, CAccBuffer& bufResult,
                                    INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback,
                                    CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis, CString* pstrError)
{
    VGLTRACE(1, "--> CUninstallDlg::ConnectToServer(const TCHAR* pszServer = %s, const TCHAR* pszObject = %s)", pszServer,
             pszObject);
    BOOL fShowError = pstrError == NULL && !m_fNoMessageBox && !m_fSilent;
    CString strComputerName;
    BOOL fName = getComputerNameInServerName(pszServer, strComputerName);
    VGLTRACE(3, "%d = ::getComputerNameInServerName(pszServer = %s, strComputerName = %s))", fName, pszServer,
             (LPCSTR)strComputerName);
    BOOL fSuccess;
    if (fName)
    {
        fSuccess = ConnectToServer_Try(strComputerName, pszObject, bufResult, pfInternetStatusCallback,
                                       pfContentLengthCallback, pvThis, FALSE, pstrError);
        if (!fSuccess)
        {
            // What the failed try received must not decide the answer of the second.
            bufResult.Reset();
            fSuccess = ConnectToServer_Try(pszServer, pszObject, bufResult, pfInternetStatusCallback,
                                           pfContentLengthCallback, pvThis, fShowError, pstrError);
        }
    }
    else
    {
        fSuccess = ConnectToServer_Try(pszServer, pszObject, bufResult, pfInternetStatusCallback,
                                       pfContentLengthCallback, pvThis, fShowError, pstrError);
    }
    VGLTRACE(2, "<-- CUninstallDlg::ConnectToServer(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL CUninstallDlg::ConnectToServer_Try(const TCHAR* pszServer, const TCHAR* pszObject, CAccBuffer& bufResult,
                                        INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback,
                                        CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis, BOOL fShowError,
                                        CString* pstrError)
{
    VGLTRACE(1, "--> CUninstallDlg::ConnectToServer_Try(const TCHAR* pszServer, const TCHAR* pszObject = %s, "
                "CAccBuffer& bufResult,INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback = %p,"
                "CONTENT_LENGTH_CALLBACK pfContentLengthCallback = %p,void* pvThis = %p)",
             pszObject, (void*)(UINT_PTR)pfInternetStatusCallback, (void*)(UINT_PTR)pfContentLengthCallback, pvThis);
    VGLTRACE(3, "    pszServer = %s", pszServer);
    VGLTRACE(3, "    pszObject = %s", pszObject);
    VGLTRACE(3, "    m_strProxyServer = %s", (LPCSTR)m_strProxyServer);
    VGLTRACE(3, "    pszProxyBypass = %s", "(null)");
    VGLTRACE(3, "    m_strProxyLogin = %s", (LPCSTR)m_strProxyLogin);
    VGLTRACE(3, "    m_strProxyPassword = %s", "???");
    VGLTRACE(3, "    m_nServerPort = %d", (int)m_nServerPort);
    VGLTRACE(3, "    m_nProxyPort = %d", (int)m_nProxyPort);
    VGLTRACE(3, "    dwFLAG = 0x%X", (unsigned)INTERNET_FLAG_RELOAD);

    SHttpRequestOption option;
    option.m_pszServerName = pszServer;
    option.m_pszObjectName = pszObject;
    option.m_pszProxyServer = m_strProxyServer;
    // The proxy's login goes to a proxy only; the server itself gets no credentials.
    BOOL fProxy = !m_strProxyServer.IsEmpty();
    option.m_pszProxyUsername = fProxy ? (LPCSTR)m_strProxyLogin : NULL;
    option.m_pszProxyPassword = fProxy ? (LPCSTR)m_strProxyPassword : NULL;
    option.m_pszUsername = NULL;
    option.m_pszUserPassword = NULL;
    option.m_nServerPort = m_nServerPort;
    option.m_nProxyPort = m_nProxyPort;
    option.m_dwFlags = INTERNET_FLAG_RELOAD;
    option.m_dwRetries = 1;
    option.m_dwConnectTimeout = REQUEST_TIMEOUT_MS;
    option.m_dwControlSendTimeout = REQUEST_TIMEOUT_MS;
    option.m_dwControlReceiveTimeout = REQUEST_TIMEOUT_MS;
    option.m_dwDataSendTimeout = REQUEST_TIMEOUT_MS;
    option.m_dwDataReceiveTimeout = REQUEST_TIMEOUT_MS;
    option.m_dwProxyAuthenticationRetryCount = 0;
    option.m_pszProxyBypass = NULL;
    option.m_pfInternetStatusCallback = NULL;
    option.m_pfContentLengthCallback = NULL;
    option.m_pfConnectCancelCallback = NULL;

    BOOL fSuccess = FALSE;
    CString strError;
    try
    {
        httpConnect(option, bufResult);
        fSuccess = TRUE;
    }
    catch (CException* e)
    {
        strError = ClassLibraryExceptionText(e);
        e->Delete();
    }
    catch (CInternetStatusException& e)
    {
        strError = getInternetStatusText(e.GetStatus());
    }
    catch (CSystemError& e)
    {
        strError = e.ToString();
    }
    catch (...)
    {
        strError = loadUninstallString(IDS_UNINST_UNKNOWN_EXCEPTION);
    }
    if (!fSuccess)
    {
        VGLTRACE(12, "    CUninstallDlg::ConnectToServer_Try(), %s", (LPCSTR)strError);
        if (pstrError != NULL)
            *pstrError = strError;
        if (fShowError)
            ::MessageBoxA(m_hWnd, strError, loadUninstallString(IDS_UNINST_ERROR_CAPTION), MB_ICONERROR);
    }
    VGLTRACE(2, "<-- CUninstallDlg::ConnectToServer_Try(const TCHAR* pszServer, const TCHAR* pszObject = %s, "
                "CAccBuffer& bufResult,INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback = %p,"
                "CONTENT_LENGTH_CALLBACK pfContentLengthCallback = %p,void* pvThis = %p), fSuccess = %d",
             pszObject, (void*)(UINT_PTR)pfInternetStatusCallback, (void*)(UINT_PTR)pfContentLengthCallback, pvThis, fSuccess);
    return fSuccess;
}

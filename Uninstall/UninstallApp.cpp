#include "UninstallApp.h"

#include "LogTracker.h"
#include "MessageDigest5.h"
#include "Misutils.h"
#include "Configuration.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "UninstallDlg.h"
#include "UninstallErrors.h"
#include "UninstallPasswordDlg.h"
#include "resource_ids.h"

#include <mbstring.h>

CAppCommandLineInfo g_cmdInfo;

namespace
{
const char s_szFirstInstanceMutex[] = "Vigilon_Uninstall_FirstInstanceMutex";
const char s_szSecondInstanceEvent[] = "Vigilon_Uninstall_SecondInstanceEvent";
const DWORD FIRST_INSTANCE_WAIT_MS = 60000;
const DWORD COPY_MUTEX_WAIT_MS = 120000;
const DWORD COPY_SETTLE_MS = 2000;
const char s_szWrongPassword[] = "Please enter uninstall password again.";

BOOL IsSwitch(LPCTSTR lpszParam, LPCSTR pszName)
{
    return _mbsicmp((const unsigned char*)lpszParam, (const unsigned char*)pszName) == 0;
}
}

/////////////////////////////////////////////////////////////////////////////
// Command line

CAppCommandLineInfo::CAppCommandLineInfo() : m_bNoAskPassword(FALSE), m_bSilent(FALSE), m_bCalledByItself(FALSE)
{
}

void CAppCommandLineInfo::ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast)
{
    CCommandLineInfo::ParseParam(lpszParam, bFlag, bLast);
    if (!bFlag)
        return;
    if (IsSwitch(lpszParam, "NoAskPassword"))
        m_bNoAskPassword = TRUE;
    else if (IsSwitch(lpszParam, "Silent"))
        m_bSilent = TRUE;
    else if (IsSwitch(lpszParam, "Vigilon"))
        m_bCalledByItself = TRUE;
}

CString CAppCommandLineInfo::GetSwitchText() const
{
    if (m_bNoAskPassword && m_bSilent)
        return "\"/NoAskPassword\" \"/Silent\"";
    if (m_bNoAskPassword)
        return "\"/NoAskPassword\"";
    if (m_bSilent)
        return "\"/Silent\"";
    return CString();
}

void SUninstallCopyFiles::Get(CStringArray& arrNames)
{
    arrNames.RemoveAll();
    arrNames.Add(getModuleName());
    arrNames.Add(getModuleBaseName() + ".dll");
    static const char* const s_apszLibraries[] = {"c4dll.dll", "LedraCfg.dll", "LedraDat.dll", "LedraLog.dll",
                                                   "msvcrt.dll", "msvcirt.dll", "kvdbg20.dll", "wininet.dll",
                                                   "ZaVuz.dll"};
    for (const char* pszName : s_apszLibraries)
        arrNames.Add(pszName);
}

CString getModuleLogPath()
{
    return getModulePath() + getModuleBaseName() + ".log";
}

/////////////////////////////////////////////////////////////////////////////
// The application

BEGIN_MESSAGE_MAP(CUninstallApp, CWinApp)
END_MESSAGE_MAP()

CUninstallApp::CUninstallApp()
    : m_hFirstInstanceMutex(NULL), m_hSecondInstanceEvent(NULL), m_hResourceDll(NULL), m_fMutexHeld(FALSE),
      m_fInDoUninstall(FALSE)
{
}

BOOL CUninstallApp::InitInstance()
{
    NS_Debug::Construct();
    if (!AfxSocketInit())
    {
        AfxMessageBox(IDS_UNINST_WINSOCK_FAILED);
        return FALSE;
    }
    Enable3dControls();

    m_hResourceDll = ::LoadLibraryA(getModuleBaseName() + ".dll");
    if (m_hResourceDll == NULL)
        return FALSE;
    AfxSetResourceHandle(m_hResourceDll);
    if (m_strTitle.LoadString(IDS_APP_TITLE))
        m_pszAppName = m_strTitle;

    ParseCommandLine(g_cmdInfo);
    VGLTRACE(3, "Command Line = %s", (LPCSTR)g_cmdInfo.GetSwitchText());

    m_fInDoUninstall = TRUE;
    try
    {
        DoUninstall();
    }
    catch (CException* e)
    {
        VGLTRACE(10, "G.P.F in DoUninstall()");
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F in DoUninstall()");
    }
    m_fInDoUninstall = FALSE;
    return FALSE;
}

int CUninstallApp::ExitInstance()
{
    if (m_hFirstInstanceMutex != NULL)
    {
        if (m_fMutexHeld)
            ::ReleaseMutex(m_hFirstInstanceMutex);
        ::CloseHandle(m_hFirstInstanceMutex);
        m_hFirstInstanceMutex = NULL;
        m_fMutexHeld = FALSE;
    }
    if (m_hSecondInstanceEvent != NULL)
    {
        ::CloseHandle(m_hSecondInstanceEvent);
        m_hSecondInstanceEvent = NULL;
    }
    if (m_hResourceDll != NULL)
    {
        AfxSetResourceHandle(AfxGetInstanceHandle());
        ::FreeLibrary(m_hResourceDll);
        m_hResourceDll = NULL;
    }
    NS_Debug::Destruct();
    return CWinApp::ExitInstance();
}

void CUninstallApp::DoUninstall()
{
    VGLTRACE(1, "--> CUninstallApp::DoUninstall()");
    m_hFirstInstanceMutex = ::CreateMutexA(NULL, TRUE, s_szFirstInstanceMutex);
    if (m_hFirstInstanceMutex == NULL)
    {
        VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
        return;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        if (!g_cmdInfo.m_bCalledByItself)
        {
            // An uninstall runs already.
            VGLTRACE(3, "Not call by itself retunr");
            VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
            return;
        }
        // The temporary copy: tell the first instance, then wait until it has ended.
        m_hSecondInstanceEvent = ::CreateEventA(NULL, FALSE, TRUE, s_szSecondInstanceEvent);
        if (m_hSecondInstanceEvent != NULL)
            ::SetEvent(m_hSecondInstanceEvent);
        DWORD dwWait = ::WaitForSingleObject(m_hFirstInstanceMutex, COPY_MUTEX_WAIT_MS);
        VGLTRACE(3, "    dwWait(0x%lX) = ::WaitForSingleObject(m_hFirstInstanceMutex, %lu)", dwWait, COPY_MUTEX_WAIT_MS);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
            m_fMutexHeld = TRUE;
        if (dwWait == WAIT_OBJECT_0)
            ::Sleep(COPY_SETTLE_MS);
        RunUninstallDialog();
        VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
        return;
    }

    m_fMutexHeld = TRUE;
    if (!NS_RegistryKey::IsRegistryInitialized())
    {
        VGLTRACE(12, "Invalid registry key, bypass uninstallation");
        AfxMessageBox(IDS_UNINST_REGISTRY_INCOMPLETE, MB_ICONSTOP);
        VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
        return;
    }
    if (!CheckUninstallPassword())
    {
        VGLTRACE(3, "The uninstall password was not given: nothing is removed");
        VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
        return;
    }
    MakeSelfCopyAndRun();

    HANDLE hEvent = ::CreateEventA(NULL, FALSE, FALSE, s_szSecondInstanceEvent);
    if (hEvent != NULL)
    {
        DWORD dwWait = ::WaitForSingleObject(hEvent, FIRST_INSTANCE_WAIT_MS);
        VGLTRACE(3, "    dwWait(0x%lX) = ::WaitForSingleObject(hSecondInstanceEvent, %lu)", dwWait,
                 FIRST_INSTANCE_WAIT_MS);
        ::CloseHandle(hEvent);
    }
    VGLTRACE(2, "<-- CUninstallApp::DoUninstall()");
}

BOOL CUninstallApp::CheckUninstallPassword()
{
    if (g_cmdInfo.m_bNoAskPassword || g_cmdInfo.m_bSilent || NS_RegistryKey::GetAllowUninstall())
        return TRUE;
    CString strDigest = NS_RegistryKey::GetUninstallPasswordDigest();
    if (strDigest.IsEmpty())
        return TRUE;
    for (;;)
    {
        CUninstallPasswordDlg dlg(NULL);
        if (dlg.DoModal() != IDOK)
            return FALSE;
        char szDigest[33] = "";
        CMessageDigest5 md5;
        md5.GetHexDigest((LPCSTR)dlg.m_strPassword, dlg.m_strPassword.GetLength(), szDigest, sizeof(szDigest));
        if (strDigest == szDigest)
            return TRUE;
        CString strText = loadUninstallString(IDS_UNINST_WRONG_PASSWORD);
        if (strText.IsEmpty())
            strText = s_szWrongPassword;
        ::MessageBoxA(NULL, strText, loadUninstallString(IDS_UNINST_ERROR_CAPTION), MB_ICONERROR);
    }
}

void CUninstallApp::MakeSelfCopyAndRun()
{
    VGLTRACE(1, "--> CUninstallApp::MakeSelfCopyAndRun()");
    CString strProgramFolder = getModulePath();
    CString strTempFolder;
    getTempDirectory(strTempFolder);
    CStringArray arrNames;
    SUninstallCopyFiles::Get(arrNames);
    CStringArray arrCopies;
    for (int i = 0; i < arrNames.GetSize(); ++i)
    {
        CString strSource, strTarget;
        concatPath(strSource, strProgramFolder, arrNames[i]);
        concatPath(strTarget, strTempFolder, arrNames[i]);
        BOOL fCopied = copyFileEx(strSource, strTarget);
        VGLTRACE(3, "f%d(%d) = ::copyFileEx(strUninstallPathname = %s, strTempUnstallPathname = %s)", i + 1, fCopied,
                 (LPCSTR)strSource, (LPCSTR)strTarget);
        arrCopies.Add(strTarget);
    }

    CString strCommandLine;
    strCommandLine.Format("\"%s\" %s /%s", (LPCSTR)arrCopies[0], (LPCSTR)g_cmdInfo.GetSwitchText(), "Vigilon");
    VGLTRACE(3, "    Command Line = %s", (LPCSTR)strCommandLine);

    STARTUPINFOA startupInfo;
    ::GetStartupInfoA(&startupInfo);
    PROCESS_INFORMATION processInfo = {};
    if (::CreateProcessA(NULL, strCommandLine.GetBuffer(0), NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL, NULL,
                         &startupInfo, &processInfo))
    {
        ::CloseHandle(processInfo.hProcess);
        ::CloseHandle(processInfo.hThread);
        // The copies, and this program's log, go at the next start of Windows.
        arrCopies.Add(getModuleLogPath());
        deleteFilesAtNextBoot(arrCopies);
    }
    else
    {
        CSystemError error(::GetLastError(), __FILE__, __LINE__);
        VGLTRACE(12, "CSystemError = %s", (LPCSTR)error.ToString());
    }
    VGLTRACE(2, "<-- CUninstallApp::MakeSelfCopyAndRun()");
}

void CUninstallApp::RunUninstallDialog()
{
    ::SetCurrentDirectoryA(getModulePath());
    CUninstallDlg dlg(TRUE, g_cmdInfo.m_bSilent, NULL);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = NULL;
}

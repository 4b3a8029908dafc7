// The update program's application.
#include "UpdateApp.h"

#include "HotFixDlg.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RestartDlg.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "UpdateCommon.h"
#include "UpdateDlg.h"
#include "Utils_MemMappedFile.h"
#include "resource_ids.h"

#include <mbstring.h>
#include <string.h>
#include <vector>
#include <winsock.h>

CAppCommandLineInfo g_cmdInfo;

namespace
{
const char s_szFirstInstanceMutex[] = "Vigilon_Update_FirstInstanceMutex";
const char s_szSecondInstanceEvent[] = "Vigilon_Update_SecondInstanceEvent";
const DWORD FIRST_INSTANCE_WAIT = 60000;    // for the copy to announce itself
const DWORD COPY_MUTEX_WAIT = 120000;       // for the first instance to end
const DWORD COPY_PAUSE = 2000;              // for its files to be free
const DWORD HOTFIX_DATA_SIZE = 16383;
const DWORD PROGRAM_VERSION_SIZE = 1024;

// The switches in the order they are passed on.
struct SSwitch
{
    const char* pszUpper;
    const char* pszText;
    BOOL CAppCommandLineInfo::*pFlag;
};
const SSwitch s_switches[] = {
    {"ALLOWUPDATE", "/AllowUpdate", &CAppCommandLineInfo::m_bAllowUpdate},
    {"ALLOWHOTFIX", "/AllowHotFix", &CAppCommandLineInfo::m_bAllowHotFix},
    {"ALLOWHOTFIXEX", "/AllowHotFixEx", &CAppCommandLineInfo::m_bAllowHotFixEx},
    {"INTERNET", "/Internet", &CAppCommandLineInfo::m_bInternet},
    {"SIMPRESTART", "/SimpRestart", &CAppCommandLineInfo::m_bSimpRestart},
};
}

/////////////////////////////////////////////////////////////////////////////
// Command line

CAppCommandLineInfo::CAppCommandLineInfo()
    : m_bAllowUpdate(FALSE), m_bAllowHotFix(FALSE), m_bAllowHotFixEx(FALSE), m_bInternet(FALSE),
      m_bSimpRestart(FALSE)
{
}

void CAppCommandLineInfo::ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast)
{
    UPDTRACE(3, "CAppCommandLineInfo::ParseParam(LPCTSTR lpszParam = %s, BOOL bFlag = %d, BOOL bLast = %d)",
             lpszParam, bFlag, bLast);
    CCommandLineInfo::ParseParam(lpszParam, bFlag, bLast);
    if (!bFlag || lpszParam == NULL)
        return;
    std::vector<unsigned char> upper(lpszParam, lpszParam + strlen(lpszParam) + 1);
    _mbsupr(&upper[0]);
    const char* pszUpper = (const char*)&upper[0];
    // The first four names exclude each other; "SIMPRESTART" is compared on its own.
    for (int i = 0; i < 4; ++i)
    {
        if (strcmp(pszUpper, s_switches[i].pszUpper) == 0)
        {
            this->*(s_switches[i].pFlag) = TRUE;
            break;
        }
    }
    if (strcmp(pszUpper, s_switches[4].pszUpper) == 0)
        m_bSimpRestart = TRUE;
}

BOOL CAppCommandLineInfo::HasAction() const
{
    return m_bAllowUpdate || m_bAllowHotFix || m_bAllowHotFixEx || m_bSimpRestart;
}

CString CAppCommandLineInfo::GetSwitchText() const
{
    CString strText;
    for (const SSwitch& s : s_switches)
    {
        if (this->*(s.pFlag))
        {
            CString strOne;
            strOne.Format("\"%s\" ", s.pszText);
            strText += strOne;
        }
    }
    if (!strText.IsEmpty())
        strText = strText.Left(strText.GetLength() - 1);
    return strText;
}

/////////////////////////////////////////////////////////////////////////////
// The application

BEGIN_MESSAGE_MAP(CUpdateApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CUpdateApp::CUpdateApp()
    : m_hFirstInstanceMutex(NULL), m_hSecondInstanceEvent(NULL), m_hResourceDll(NULL), m_fWinsock(FALSE),
      m_fMutexHeld(FALSE)
{
}

BOOL CUpdateApp::InitInstance()
{
    NS_Debug::Construct();
    UPDTRACE(1, "--> CUpdateApp::InitInstance()");
    WSADATA wsaData;
    m_fWinsock = ::WSAStartup(MAKEWORD(1, 1), &wsaData) == 0;
    Enable3dControls();

    m_hResourceDll = ::LoadLibraryA(getModuleBaseName() + ".dll");
    if (m_hResourceDll == NULL)
        return FALSE;
    AfxSetResourceHandle(m_hResourceDll);
    if (m_strTitle.LoadString(IDS_APP_TITLE))
        m_pszAppName = m_strTitle;

    ParseCommandLine(g_cmdInfo);
    if (g_cmdInfo.HasAction())
    {
        UPDTRACE(3, "    CUpdateApp::InitInstance(), DoUpdate()");
        DoUpdate();
    }
    else
    {
        CString strMessage;
        strMessage.LoadString(IDS_UPD_NO_SWITCH);
        updateMessageBox(strMessage, MB_ICONHAND);
    }
    UPDTRACE(2, "<-- CUpdateApp::InitInstance()");
    return FALSE;
}

int CUpdateApp::ExitInstance()
{
    if (m_hFirstInstanceMutex != NULL)
    {
        if (m_fMutexHeld)
            ::ReleaseMutex(m_hFirstInstanceMutex);
        ::CloseHandle(m_hFirstInstanceMutex);
        m_hFirstInstanceMutex = NULL;
    }
    if (m_hSecondInstanceEvent != NULL)
    {
        ::CloseHandle(m_hSecondInstanceEvent);
        m_hSecondInstanceEvent = NULL;
    }
    if (m_hResourceDll != NULL)
    {
        AfxSetResourceHandle(m_hInstance);
        ::FreeLibrary(m_hResourceDll);
        m_hResourceDll = NULL;
    }
    NS_Debug::Destruct();
    if (m_fWinsock)
        ::WSACleanup();
    return CWinApp::ExitInstance();
}

void CUpdateApp::DoUpdate()
{
    m_hFirstInstanceMutex = ::CreateMutexA(NULL, TRUE, s_szFirstInstanceMutex);
    if (m_hFirstInstanceMutex == NULL)
    {
        UPDTRACE(12, "    ::CreateMutex(%s) failed, error = %lu", s_szFirstInstanceMutex, ::GetLastError());
        return;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        // Another instance holds the mutex: this is the copy in the temporary folder.
        m_hSecondInstanceEvent = ::CreateEventA(NULL, FALSE, TRUE, s_szSecondInstanceEvent);
        if (m_hSecondInstanceEvent != NULL)
            ::SetEvent(m_hSecondInstanceEvent);
        DWORD dwWait = ::WaitForSingleObject(m_hFirstInstanceMutex, NS_UpdateWait::Scale(COPY_MUTEX_WAIT));
        UPDTRACE(3, "    %lu = ::WaitForSingleObject(m_hFirstInstanceMutex)", dwWait);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        {
            m_fMutexHeld = TRUE;
            NS_UpdateWait::Sleep(COPY_PAUSE);
        }
        StartUpdate();
        return;
    }

    m_fMutexHeld = TRUE;
    MakeSelfCopyAndRun();
    HANDLE hEvent = ::CreateEventA(NULL, FALSE, FALSE, s_szSecondInstanceEvent);
    if (hEvent != NULL)
    {
        DWORD dwWait = ::WaitForSingleObject(hEvent, NS_UpdateWait::Scale(FIRST_INSTANCE_WAIT));
        UPDTRACE(3, "    %lu = ::WaitForSingleObject(hSecondInstanceEvent)", dwWait);
        ::CloseHandle(hEvent);
    }
}

void CUpdateApp::MakeSelfCopyAndRun()
{
    CString strModulePath = getModulePath();
    CString strTempPath = getTempDirectory();
    CString strBaseName = getModuleBaseName();
    struct SCopy
    {
        CString strName;
        const char* pszSourceName;
        const char* pszTargetName;
    } copies[] = {
        {getModuleName(), "strUpdatePathname", "strTempUpdatePathname"},
        {strBaseName + ".dll", "strResourceDll", "strTempResourceDll"},
        {"wininet.dll", "strWininetDll", "strTempWininetDll"},
        {"msvcrt.dll", "strSharedDll1", "strTempSharedDll1"},
        {"msvcirt.dll", "strSharedDll2", "strTempSharedDll2"},
        {"pwd.dll", "strSharedDll3", "strTempSharedDll3"},
        {"kvdbg20.dll", "strSharedDll4", "strTempSharedDll4"},
    };
    CStringArray arrTargets;
    CString strTempUpdatePathname;
    int nFile = 1;
    for (const SCopy& copy : copies)
    {
        CString strSource, strTarget;
        concatPath(strSource, strModulePath, copy.strName);
        concatPath(strTarget, strTempPath, copy.strName);
        BOOL fCopied = copyFileEx(strSource, strTarget);
        UPDTRACE(3, "f%d(%d) = ::copyFileEx(%s = %s, %s = %s)", nFile, fCopied, copy.pszSourceName,
                 (LPCSTR)strSource, copy.pszTargetName, (LPCSTR)strTarget);
        if (nFile == 1)
            strTempUpdatePathname = strTarget;
        arrTargets.Add(strTarget);
        ++nFile;
    }

    CString strCommandLine;
    strCommandLine.Format("\"%s\" %s", (LPCSTR)strTempUpdatePathname, (LPCSTR)g_cmdInfo.GetSwitchText());
    UPDTRACE(3, "    Command Line = %s", (LPCSTR)strCommandLine);

    STARTUPINFOA si;
    ::GetStartupInfoA(&si);
    PROCESS_INFORMATION pi = {};
    std::vector<char> commandLine((LPCSTR)strCommandLine, (LPCSTR)strCommandLine + strCommandLine.GetLength() + 1);
    if (::CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL, NULL, &si, &pi))
    {
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    else
    {
        CSystemError error(::GetLastError(), NULL, 0);
        UPDTRACE(12, "    ::CreateProcess(%s) failed: %s", (LPCSTR)strCommandLine, (LPCSTR)error.ToString());
        updateMessageBox(error.ToString(), MB_ICONHAND);
    }
    deleteFilesAtNextBoot(arrTargets);
}

void CUpdateApp::StartUpdate()
{
    UPDTRACE(1, "--> CUpdateApp::StartUpdate()");
    ::SetCurrentDirectoryA(getModulePath());
    std::vector<char> hotFixData(HOTFIX_DATA_SIZE, '\0');
    if (g_cmdInfo.IsAllowHotFix() || g_cmdInfo.IsAllowHotFixEx())
    {
        UPDTRACE(3, "    g_cmdInfo.IsAllowHotFix()");
        DWORD dwNeeded = 0;
        BOOL fRead = getMemoryMappedString(g_pszMMF_HotFix, &hotFixData[0], HOTFIX_DATA_SIZE, dwNeeded);
        if (!fRead)
            hotFixData[0] = '\0';
        UPDTRACE(3, "    %d = ::getMemoryMappedString(g_pszMMF_HotFix, pszData(length) = %d, sizeof(pszData), "
                    "dwBufSizeNeeded)",
                 fRead, (int)strlen(&hotFixData[0]));
    }
    if (g_cmdInfo.IsAllowUpdate())
    {
        UPDTRACE(3, "    g_cmdInfo.IsAllowUpdate()");
        char szProgramVersion[PROGRAM_VERSION_SIZE];
        memset(szProgramVersion, 0, sizeof(szProgramVersion));
        DWORD dwNeeded = 0;
        BOOL fRead = getMemoryMappedString(g_pszMMF_ProgramVersion, szProgramVersion, sizeof(szProgramVersion),
                                           dwNeeded);
        if (!fRead)
            szProgramVersion[0] = '\0';
        UPDTRACE(3, "    %d = ::getMemoryMappedString(g_pszMMF_ProgramVersion, pszProgramVersion(length) = %d, "
                    "sizeof(ProgramVersion), dwBufSizeNeeded)",
                 fRead, (int)strlen(szProgramVersion));
        try
        {
            CUpdateDlg dlg(!(g_cmdInfo.IsAllowHotFix() || g_cmdInfo.IsAllowHotFixEx()), szProgramVersion, NULL);
            dlg.DoModal();
        }
        catch (CDIBException& e)
        {
            UPDTRACE(10, "CDIBException = %s, in CUpdateApp::StartUpdate()", (LPCSTR)e.GetText());
        }
    }
    StartHotFix(&hotFixData[0]);
    RestartLeftClient();
    UPDTRACE(2, "<-- CUpdateApp::StartUpdate()");
}

void CUpdateApp::StartHotFix(const TCHAR* pszData)
{
    UPDTRACE(1, "--> CUpdateApp::StartHotFix(const TCHAR* pszData)");
    UPDTRACE(3, "CUpdateApp::StartHotFix(const TCHAR* pszData = %s)", pszData != NULL ? pszData : "");
    ::SetCurrentDirectoryA(getModulePath());
    try
    {
        if (g_cmdInfo.IsAllowHotFix())
        {
            UPDTRACE(3, "    g_cmdInfo.IsAllowHotFix()");
            BOOL fHotFixNecessary = CHotFixDlg::IsHotFixNecessary(pszData);
            UPDTRACE(3, "fHotFixNecessary(%d) = CHotFixDlg::IsHotFixNecessary(pszData)", fHotFixNecessary);
            if (fHotFixNecessary)
            {
                CHotFixDlg dlg(g_cmdInfo.IsInternet(), pszData, TRUE, NULL);
                dlg.DoModal();
            }
        }
        else if (g_cmdInfo.IsAllowHotFixEx())
        {
            UPDTRACE(3, "    g_cmdInfo.IsAllowHotFixEx()");
            BOOL fHotFixNecessary = CHotFixDlg::IsHotFixNecessary(pszData);
            UPDTRACE(3, "fHotFixNecessary(%d) = CHotFixDlg::IsHotFixNecessary(pszData)", fHotFixNecessary);
            if (fHotFixNecessary)
            {
                CHotFixDlg dlg(g_cmdInfo.IsInternet(), NULL, TRUE, NULL);
                dlg.DoModal();
            }
        }
    }
    catch (CDIBException& e)
    {
        UPDTRACE(10, "CDIBException = %s, in CUpdateApp::StartHotFix()", (LPCSTR)e.GetText());
    }
    StartRestart();
    UPDTRACE(2, "<-- CUpdateApp::StartHotFix()");
}

void CUpdateApp::StartRestart()
{
    UPDTRACE(1, "--> CUpdateApp::StartRestart()");
    if (g_cmdInfo.IsSimplyRestart())
    {
        UPDTRACE(3, "    g_cmdInfo.IsSimplyRestart()");
        try
        {
            CRestartDlg dlg(NULL);
            dlg.DoModal();
        }
        catch (CDIBException& e)
        {
            UPDTRACE(10, "CDIBException = %s, in CUpdateApp::StartRestart()", (LPCSTR)e.GetText());
        }
    }
    UPDTRACE(2, "<-- CUpdateApp::StartRestart()");
}

void CUpdateApp::RestartLeftClient()
{
    if (!NS_Client::IsLeftUnloaded())
        return;
    UPDTRACE(3, "    The client stopped by this run was not started again: starting it");
    try
    {
        CRestartDlg dlg(NULL);
        dlg.DoModal();
    }
    catch (CDIBException& e)
    {
        UPDTRACE(10, "CDIBException = %s, in CUpdateApp::RestartLeftClient()", (LPCSTR)e.GetText());
    }
}

// The application object: platform and start-up entries, the single-instance decision, the
// services built in order, the main window run modally, and the teardown.
#include "TavmontApp.h"

#include "DebugWindow.h"

#include "ClientClock.h"
#include "Configuration.h"
#include "Globals.h"
#include "LogReport.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "ShutdownUIThread.h"
#include "SplashDlg.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TavmontDlg.h"
#include "Utils_MemMappedFile.h"
#include "Utils_RegKey.h"
#include "WatchDog.h"
#include "resource_ids.h"

// One copy for every process of this program file (the section is marked shared).
__attribute__((section("Shared"), shared)) volatile LONG g_nInstanceCount = -1;
CRITICAL_SECTION g_csUpgrade;
BOOL g_fFirstTimeStartUp = FALSE;
CSplashDlg* g_pSplashDlg = NULL;

namespace
{
const DWORD SHUTDOWN_THREAD_TIMEOUT = 10000;
const char s_szMailScanKey[] = "Software\\Kavrel\\Kestrix\\MailScan";
// "This program can only run between 1996 and 2037." in the system's French wording.
const char s_szUnsupportedYear[] =
    "Ce programme peut uniquement \xEAtre ex\xE9" "cut\xE9 entre 1996 et 2037.";
}

/////////////////////////////////////////////////////////////////////////////
// Small start-up helpers

BOOL SetMailScanDefaultValue(LPCSTR pszName, DWORD dwValue)
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_szMailScanKey, 0,
                        KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &hKey) != ERROR_SUCCESS &&
        ::RegCreateKeyA(HKEY_LOCAL_MACHINE, s_szMailScanKey, &hKey) != ERROR_SUCCESS)
        return FALSE;
    BOOL fResult = TRUE;
    DWORD dwType = 0, dwOld = 0, cb = sizeof(dwOld);
    if (::RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)&dwOld, &cb) != ERROR_SUCCESS)
        fResult = ::RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue)) ==
                  ERROR_SUCCESS;
    ::RegCloseKey(hKey);
    return fResult;
}

BOOL SetMailScanDefaults()
{
    static const struct { LPCSTR pszName; DWORD dwValue; } s_defaults[] = {
        { "OnOff", 1 }, { "Action", 3 }, { "Action2nd", 4 }, { "ZipClean", 1 }, { "Splash", 1 } };
    BOOL fResult = TRUE;
    for (const auto& d : s_defaults)
        fResult = SetMailScanDefaultValue(d.pszName, d.dwValue) && fResult;
    return fResult;
}

int IsSupportedSystemYear()
{
    SYSTEMTIME st;
    NS_Clock::GetSystemTime(&st);
    return st.wYear >= 1996 && st.wYear <= 2037 ? 1 : -1;
}

CString getRunKeyValueName()
{
    return getProfileString(NS_RegistryKey::g_pszIniClientSetupSection, "95_RUN_KEY", "",
                            NS_RegistryKey::GetVglscanIniPath());
}

CString getQuotedRunCommand()
{
    CString strCommand;
    strCommand.Format("\"%sKsxwin97.exe\"", (LPCSTR)getModulePath());
    return strCommand;
}

/////////////////////////////////////////////////////////////////////////////
// Command line

CAppCommandLineInfo::CAppCommandLineInfo() : m_bHideWindow(FALSE)
{
}

void CAppCommandLineInfo::ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast)
{
    CCommandLineInfo::ParseParam(lpszParam, bFlag, bLast);
    if (bFlag && strcmp(lpszParam, "HideWindow") == 0)
        m_bHideWindow = TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// The application

BEGIN_MESSAGE_MAP(CTavmontApp, CWinApp)
    ON_COMMAND(ID_UPDATE_NOW, OnUpdateNewSettings)
    ON_UPDATE_COMMAND_UI(ID_OPTIONS_MANUAL_SCAN, OnUpdateOptionsManualScan)
END_MESSAGE_MAP()

CTavmontApp::CTavmontApp()
    : m_fSecondInstance(FALSE), m_hResourceDll(NULL), m_hmmfProcess(NULL), m_nBuilt(BUILT_NOTHING),
      m_fCounted(FALSE), m_fUpgradeInitialized(FALSE), m_fNamespacesRan(FALSE)
{
}

CTavmontApp::~CTavmontApp()
{
}

BOOL CTavmontApp::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo)
{
    return CWinApp::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

BOOL CTavmontApp::OnIdle(LONG lCount)
{
    return CWinApp::OnIdle(lCount);
}

void CTavmontApp::OnUpdateNewSettings()
{
    // The main window (the only one this application makes) installs what the renewal fetched.
    NS_Notification::UpdateNewSettings(static_cast<CTavmontDlg*>(m_pMainWnd), FALSE, FALSE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
}

void CTavmontApp::OnUpdateOptionsManualScan(CCmdUI*)
{
}

BOOL CTavmontApp::PreTranslateMessage(MSG* pMsg)
{
    if ((pMsg->message == WM_QUERYENDSESSION || pMsg->message == WM_ENDSESSION) &&
        (pMsg->lParam & ENDSESSION_LOGOFF) != 0)
    {
        VGLTRACE(3, "User log out");
        return TRUE;
    }
    return CWinApp::PreTranslateMessage(pMsg);
}

BOOL CTavmontApp::InitApplication()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS)
    {
        // Not Windows 95/98: the uninstall program removes the client.
        CString strCommand;
        strCommand.Format("\"%s95Roraze.exe\" /Silent", (LPCSTR)getModulePath());
        ::WinExec(strCommand, SW_HIDE);
        return FALSE;
    }

    CString strName = getRunKeyValueName();
    if (strName.IsEmpty())
    {
        VGLTRACE(3, "95_RUN_KEY is empty: the start-up entries are left alone");
    }
    else
    {
        CString strCommand = getQuotedRunCommand();
        if (!isRegistryRunServicesKeyExist(strName))
            setRegistryRunServicesKey(strCommand, strName);
        if (!isRegistryRunKeyExist(strName))
            setRegistryRunKey(strCommand, strName);
        repairRegistryRunKey(strCommand, strName);

        CString strPlain, strHidden;
        strPlain.Format("%sKsxwin97.exe", (LPCSTR)getModulePath());
        strHidden.Format("%s -HideWindow", (LPCSTR)strCommand);
        removeDuplicateRunServicesValues(strName, strPlain);
        removeDuplicateRunValues(strName, strPlain);
        removeDuplicateRunValues(strName, strHidden);
    }

    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = ::LoadIconA(wc.hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    wc.hCursor = ::LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = g_pszWindowClassName;
    return ::RegisterClassA(&wc) != 0;
}

void CTavmontApp::CreateProcessIdMapping()
{
    try
    {
        m_hmmfProcess = createMemoryMappedDword(g_pszMemoryMappedProcessID, ::GetCurrentProcessId());
        VGLTRACE(3, "    m_hmmfProcess(0x%p) = ::createMemoryMappedDword(g_pszMemoryMappedProcessID = %s, "
                    "::GetCurrentProcessId() = 0x%X, IsExist = %d",
                 m_hmmfProcess, g_pszMemoryMappedProcessID,
                 (unsigned)::GetCurrentProcessId(), ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    catch (CSystemError& e)
    {
        AfxMessageBox(e.GetErrorMessage(), MB_ICONEXCLAMATION);
    }
}

void CTavmontApp::ConstructNamespaces()
{
    m_fNamespacesRan = TRUE;
    try
    {
        CreateProcessIdMapping();
        NS_Debug::InstallDebugWindow();
        NS_Debug::Construct();
        m_nBuilt = BUILT_DEBUG;
        VGLTRACE(3, "g_nMachineType = %d", g_nMachineType);
        NS_RegistryKey::Construct();
        m_nBuilt = BUILT_REGISTRY;
        NS_Configuration::Construct(&g_fFirstTimeStartUp);
        m_nBuilt = BUILT_CONFIGURATION;
        NS_Notification::Construct(g_fFirstTimeStartUp);
        m_nBuilt = BUILT_NOTIFICATION;
    }
    catch (CException* e)
    {
        VGLTRACE(13, "Exception in CTavmontApp::ConstructNamespaces() after step %d", m_nBuilt);
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontApp::ConstructNamespaces() after step %d", m_nBuilt);
    }
}

BOOL CTavmontApp::InitInstance()
{
    CAppCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    if (IsSupportedSystemYear() == -1)
    {
        ::MessageBoxA(NULL, s_szUnsupportedYear, "Vigilon", MB_ICONERROR);
        return FALSE;
    }
    SetMailScanDefaults();

    m_fCounted = TRUE;
    if (::InterlockedIncrement(&g_nInstanceCount) != 0)
    {
        for (int nTry = 0; nTry < 10; nTry++)
        {
            HWND hMainWnd = getMemoryMappedHwnd(g_pszMemoryMappedHwnd);
            if (hMainWnd != NULL)
            {
                if (NS_RegistryKey::GetShowWindowOnMultipleInstances())
                    ::PostMessageA(hMainWnd, WM_SECOND_INSTANCE, cmdInfo.m_bHideWindow, 0);
                break;
            }
            ::Sleep(1000);
        }
        m_fSecondInstance = TRUE;
        return FALSE;
    }

    if (!AfxSocketInit() || !AfxOleInit())
        return FALSE;
    ::InitializeCriticalSection(&g_csUpgrade);
    m_fUpgradeInitialized = TRUE;
    ::SetCurrentDirectoryA(getModulePath());

    try
    {
        m_hResourceDll = ::LoadLibraryA(getModuleBaseName() + ".dll");
        if (m_hResourceDll == NULL)
            return FALSE;
        AfxSetResourceHandle(m_hResourceDll);
        m_strTitle.LoadString(IDS_APP_TITLE);
        m_pszAppName = m_strTitle;

        // The machine type does not depend on whether the splash is shown.
        g_nMachineType = computeMachineType();
        if (NS_RegistryKey::GetShowSplash())
        {
            g_pSplashDlg = new CSplashDlg(NULL);
            if (g_pSplashDlg->Create(NULL))
            {
                g_pSplashDlg->CenterWindow(CWnd::GetDesktopWindow());
                g_pSplashDlg->BringWindowToTop();
                g_pSplashDlg->ShowWindow(SW_SHOW);
                g_pSplashDlg->Invalidate(TRUE);
                g_pSplashDlg->UpdateWindow();
                VGLTRACE(3, "The splash window is shown");
                ::Sleep(1000);
                g_pSplashDlg->EndDialog(0);
            }
        }

        if (!m_dlgWinsock.Create(NULL))
        {
            AfxMessageBox("WinsockDlg CreateIndirect failed.");
            return FALSE;
        }
        NS_RegistryKey::SetLookupWindow(&m_dlgWinsock);

        ConstructNamespaces();
        NS_Notification::StartQuelmail();
        if (NS_RegistryKey::GetWatchDogOnOff())
            RegWatchDog_Vgl();

        {
            CTavmontDlg dlg(NULL);
            m_pMainWnd = &dlg;
            dlg.DoModal();
            m_pMainWnd = NULL;
        }
    }
    catch (CDIBException& e)
    {
        VGLTRACE(10, "CDIBException = %s", (LPCSTR)e.GetText());
    }
    catch (CException* e)
    {
        VGLTRACE(10, "(...)");
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(10, "(...)");
    }
    m_pMainWnd = NULL;
    return FALSE;
}

int CTavmontApp::ExitInstance()
{
    if (m_fCounted)
        ::InterlockedDecrement(&g_nInstanceCount);

    if (!m_fSecondInstance && m_fNamespacesRan)
    {
        try
        {
            // Only what ConstructNamespaces built is taken down.
            if (m_nBuilt >= BUILT_REGISTRY)
            {
                VGLTRACE(3, "NS_RegistryKey::Destruct()");
                NS_RegistryKey::Destruct();
            }
            if (m_nBuilt >= BUILT_NOTIFICATION)
            {
                VGLTRACE(3, "NS_Notification::Destruct()");
                NS_Notification::Destruct(TRUE);
            }
            if (m_nBuilt >= BUILT_CONFIGURATION)
            {
                VGLTRACE(3, "NS_Configuration::Destruct()");
                NS_Configuration::Destruct();
            }
            VGLTRACE(3, "NS_LogReport::FinalDestruct()");
            NS_LogReport::FinalDestruct();
        }
        catch (...)
        {
            VGLTRACE(10, "(...)");
        }
    }

    try
    {
        StopShutdownNotice(SHUTDOWN_THREAD_TIMEOUT);
        delete g_pSplashDlg;
        g_pSplashDlg = NULL;
        if (m_dlgWinsock.m_hWnd != NULL)
        {
            NS_RegistryKey::SetLookupWindow(NULL);
            m_dlgWinsock.DestroyWindow();
        }
        if (m_hmmfProcess != NULL)
        {
            ::CloseHandle(m_hmmfProcess);
            m_hmmfProcess = NULL;
        }
        if (m_fNamespacesRan)
        {
            VGLTRACE(3, "NS_Debug::Destruct()");
            NS_Debug::Destruct();
        }
        if (m_hResourceDll != NULL)
        {
            AfxSetResourceHandle(m_hInstance);
            ::FreeLibrary(m_hResourceDll);
            m_hResourceDll = NULL;
        }
        // A scheduled-update thread that outlived its wait may still take the lock.
        if (m_fUpgradeInitialized && !CTavmontDlg::IsScheduleUpdateRunning())
        {
            ::DeleteCriticalSection(&g_csUpgrade);
            m_fUpgradeInitialized = FALSE;
        }
    }
    catch (...)
    {
    }
    return CWinApp::ExitInstance();
}

// The main window's life cycle: construction, window creation and initialisation, the two
// timers, the system menu, the periodic repair of the start-up entries, destruction and the
// banner's drawing.
#include "TavmontDlg.h"

#include <process.h>
#include <stdlib.h>
#include <time.h>
#include <wininet.h>

#include "ClientClock.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "TavmontApp.h"
#include "Updates.h"
#include "Utils_MemMappedFile.h"
#include "Utils_RegKey.h"
#include "resource_ids.h"
#include "threadutils.h"

CTavmontDlg* g_pMainDlg = NULL;
CEvent g_eventStopScheduler(FALSE, TRUE);
UINT g_uTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");

namespace
{
// The status icons, by the 4-bit state index (connected, pattern old, mobile, real-time off).
const UINT s_anStatusIcons[16] = {
    IDI_STATUS_OFFLINE, IDI_STATUS_ONLINE, IDI_STATUS_OFFLINE_OLD, IDI_STATUS_ONLINE_OLD,
    IDI_STATUS_MOBILE, IDI_STATUS_MOBILE, IDI_STATUS_MOBILE_OLD, IDI_STATUS_MOBILE_OLD,
    IDI_STATUS_RTOFF_OFFLINE, IDI_STATUS_RTOFF_ONLINE, IDI_STATUS_RTOFF_OFFLINE_OLD,
    IDI_STATUS_RTOFF_ONLINE_OLD, IDI_STATUS_RTOFF_MOBILE, IDI_STATUS_RTOFF_MOBILE,
    IDI_STATUS_RTOFF_MOBILE_OLD, IDI_STATUS_RTOFF_MOBILE_OLD };

UINT BannerPictureId() { return isLowColorDisplay() ? IDR_DIB_BANNER16 : IDR_DIB_BANNER; }

HICON LoadResourceIcon(UINT nId)
{
    return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nId));
}

// The main window's dialog class: the system's dialog class under the client's name.
void RegisterDialogClass()
{
    static BOOL s_fRegistered = FALSE;
    if (s_fRegistered)
        return;
    WNDCLASSA wc;
    if (!::GetClassInfoA(NULL, MAKEINTRESOURCEA(0x8002), &wc))
        return;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = "VigilonCorp95";
    // Global: the template comes from the language library, another module.
    wc.style |= CS_GLOBALCLASS;
    wc.hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    s_fRegistered = ::RegisterClassA(&wc) != 0 ||
                    ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Fetches the old server's uninstall request over a direct session, tracing each reply line.
void DropFromOldServer(const CString& strUrl)
{
    HINTERNET hSession = ::InternetOpenA(NULL, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    HINTERNET hUrl = hSession == NULL ? NULL
                   : ::InternetOpenUrlA(hSession, strUrl, NULL, 0,
                                        INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD, 1);
    if (hUrl == NULL)
    {
        DWORD dwError = ::GetLastError();
        char szError[1024] = "";
        ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         ::GetModuleHandleA("wininet.dll"), dwError, 0, szError, sizeof(szError),
                         NULL);
        VGLTRACE(12, "CgiOnUninst fail(%s)", szError[0] ? szError : "(no text)");
    }
    else
    {
        CString strReply;
        char szBuffer[1024];
        DWORD cbRead = 0;
        while (::InternetReadFile(hUrl, szBuffer, sizeof(szBuffer), &cbRead) && cbRead > 0)
            strReply += CString(szBuffer, (int)cbRead);
        int nStart = 0;
        while (nStart < strReply.GetLength())
        {
            int nEnd = strReply.Find('\n', nStart);
            if (nEnd < 0)
                nEnd = strReply.GetLength();
            CString strBuffer = strReply.Mid(nStart, nEnd - nStart);
            strBuffer.TrimRight("\r");
            VGLTRACE(3, "strBuffer(%s)", (LPCSTR)strBuffer);
            nStart = nEnd + 1;
        }
        ::InternetCloseHandle(hUrl);
    }
    if (hSession != NULL)
        ::InternetCloseHandle(hSession);
}
}

/////////////////////////////////////////////////////////////////////////////
// Message map

BEGIN_MESSAGE_MAP(CTavmontDlg, CDialog)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_TIMER()
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_QUERYNEWPALETTE()
    ON_WM_PALETTECHANGED()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_LBUTTONDOWN()
    ON_WM_INITMENUPOPUP()
    ON_WM_COPYDATA()
    ON_WM_DROPFILES()
    ON_WM_POWERBROADCAST()
    ON_WM_DEVICECHANGE()
    ON_WM_ACTIVATEAPP()
    ON_WM_QUERYENDSESSION()
    ON_WM_ENDSESSION()
    ON_MESSAGE(WM_DELETE_THREAD, OnDeleteThread)
    ON_MESSAGE(WM_SERVER_COMMAND, OnServerCommand)
    ON_MESSAGE(WM_TRAY_CONTEXT_MENU, OnTrayContextMenu)
    ON_MESSAGE(WM_HIDE_TO_TRAY, OnHideToTray)
    ON_MESSAGE(WM_SCHEDULE_SCAN, OnScheduleScan)
    ON_MESSAGE(WM_DISPLAY_FLOPPY_WARNING, OnDisplayFloppyWarning)
    ON_MESSAGE(WM_UPDATE_ALERT_MESSAGE, OnUpdateAlertMessage)
    ON_MESSAGE(WM_PENDING_VIRUS_LOG, OnPendingVirusLog)
    ON_MESSAGE(WM_SECOND_INSTANCE, OnSecondInstance)
    ON_MESSAGE(WM_UPDATE_TRAY_ICON, OnUpdateTrayIcon)
    ON_MESSAGE(WM_ANIMATE_TRAY_ICON, OnAnimateTrayIcon)
    ON_MESSAGE(WM_STOP_TRAY_ANIMATION, OnStopTrayAnimation)
    ON_MESSAGE(WM_UPDATE_CONFIGURATION, OnUpdateConfiguration)
    ON_MESSAGE(WM_REMOTE_SCAN, OnRemoteScan)
    ON_MESSAGE(WM_SET_EXCEPTION_PROCESS, SetExceptionProcess)
    ON_MESSAGE(WM_UNLOAD, OnUnload)
    ON_REGISTERED_MESSAGE(g_uTaskbarCreated, OnTaskbarCreated)
    ON_UPDATE_COMMAND_UI(ID_OPTIONS_MANUAL_SCAN, OnUpdateOptionsManualScan)
    ON_UPDATE_COMMAND_UI(ID_OPTIONS_REAL_TIME_SCAN, OnUpdateOptionsRealTimeScan)
    ON_UPDATE_COMMAND_UI(ID_OPTIONS_SCHEDULED_SCAN, OnUpdateOptionsScheduledScan)
    ON_UPDATE_COMMAND_UI(ID_OPTIONS_EXCLUSION_LIST, OnUpdateOptionsExclusionList)
    ON_UPDATE_COMMAND_UI(ID_UNLOAD, OnUpdateUnload)
    ON_UPDATE_COMMAND_UI(ID_OPEN_MAIN_WINDOW, OnUpdateWhenIdle)
    ON_UPDATE_COMMAND_UI(ID_INTERNET_SETTINGS, OnUpdateWhenIdle)
    ON_UPDATE_COMMAND_UI(ID_FORCE_MOBILE, OnUpdateWhenIdle)
    ON_UPDATE_COMMAND_UI(ID_SCHEDULED_UPDATE, OnUpdateWhenIdle)
    ON_UPDATE_COMMAND_UI(ID_ABOUT, OnUpdateAbout)
END_MESSAGE_MAP()

/////////////////////////////////////////////////////////////////////////////
// Construction

CTavmontDlg::CTavmontDlg(CWnd* pParent)
    : CDialog(IDD, pParent),
      m_fMailScanPage(TRUE),
      m_pProxyDlg(NULL),
      m_pAboutDlg(NULL),
      m_pInternetSettingsDlg(NULL),
      m_pOptionsSheet(NULL),
      m_dib(BannerPictureId()),
      m_pPalette(NULL),
      m_staticBanner(&m_dib, NULL, 1),
      m_sheetFake(&m_dib, NULL, this),
      m_dlgIOMonitor(&m_dib, NULL, this),
      m_sheetOptions(IDS_OPTIONS_CAPTION, &CTavmontDlg::OptionsChangedCallback, this),
      m_hIcon(NULL),
      m_hStatusIcon(NULL),
      m_hmmfMainHwnd(NULL),
      m_nHideTimer(0),
      m_nCheckRunKeyTimer(0),
      m_nAnimIcons(ANIMATION_ICON_COUNT),
      m_nAnimIndex(0),
      m_fHidden(FALSE),
      m_fUnloading(FALSE),
      m_hScheduleScanThread(INVALID_HANDLE_VALUE),
      m_hScheduleUpdateThread(NULL),
      m_hHttpServerThread(INVALID_HANDLE_VALUE),
      m_hCheckIPChangeThread(INVALID_HANDLE_VALUE),
      m_nLocalServerPort(NS_RegistryKey::GetLocalServerPort()),
      m_fTrayIconAdded(FALSE),
      m_nDropState(0),
      m_dwPollingElapsed(0),
      m_dwPollingInterval(0),
      m_nPollingMinutes(0),
      m_nPollingRange(0),
      m_fLoggedOff(FALSE),
      m_hwndTray(NULL),
      m_dwTrayMessage(0),
      m_uTrayIconId(0),
      m_hTrayIcon(NULL),
      m_fServicesStopped(FALSE)
{
    m_ahEndSessionThreads[0] = m_ahEndSessionThreads[1] = NULL;
    VGLTRACE(1, "--> CTavmontDlg::CTavmontDlg()");
    g_pMainDlg = this;
    RegisterDialogClass();

    CString strOem = getModulePath() + (isLowColorDisplay() ? "VglOem16.bmp" : "VglOem.bmp");
    replaceDIBFromFile(m_dib, strOem);
    m_pPalette = m_dib.CreatePalette();
    m_staticBanner.m_pPalette = m_pPalette;

    m_menuTray.LoadMenu(IDR_TRAY_MENU);
    m_hIcon = LoadResourceIcon(IDR_MAINFRAME);
    for (int i = 0; i < ANIMATION_ICON_COUNT; i++)
        m_hAnimIcons[i] = LoadResourceIcon(IDI_SCAN_FIRST + i);
    for (int i = 0; i < 16; i++)
        m_arrayStatusIcons.Add(LoadResourceIcon(s_anStatusIcons[i]));
    memset(&m_patternDownload, 0, sizeof(m_patternDownload));
    memset(&m_programDownload, 0, sizeof(m_programDownload));
    memset(&m_engineDownload, 0, sizeof(m_engineDownload));
    memset(&m_piSupportProcess, 0, sizeof(m_piSupportProcess));
    m_hStatusIcon = ChooseStatusIcon();

    if (NS_RegistryKey::IsHttpBased())
    {
        VGLTRACE(3, "Httpbased: skip polling number = %d", 0);
    }
    else
    {
        static BOOL s_fSeeded = FALSE;
        if (!s_fSeeded)
        {
            srand((unsigned)time(NULL));
            s_fSeeded = TRUE;
        }
        m_nPollingRange = BoundPollingRange(NS_RegistryKey::GetFilebasePollingRange(FALSE));
        m_nPollingMinutes = rand() / (32767 / m_nPollingRange) + 1;
        m_dwPollingInterval = (DWORD)m_nPollingMinutes * 60000;
        VGLTRACE(3, "Filebase polling number = %d", m_nPollingMinutes);
    }
    VGLTRACE(2, "<-- CTavmontDlg::CTavmontDlg()");
}

CTavmontDlg::~CTavmontDlg()
{
    VGLTRACE(1, "--> CTavmontDlg::~CTavmontDlg()");
    if (g_pMainDlg == this)
        g_pMainDlg = NULL;
    m_menuTray.DestroyMenu();
    m_menuMain.DestroyMenu();
    if (m_piSupportProcess.hProcess != NULL)
        ::CloseHandle(m_piSupportProcess.hProcess);
    if (m_piSupportProcess.hThread != NULL)
        ::CloseHandle(m_piSupportProcess.hThread);
    for (int i = 0; i < m_arrServerCommands.GetSize(); i++)
        delete static_cast<CString*>(m_arrServerCommands[i]);
    m_arrServerCommands.RemoveAll();
    // The monitor's window ends here at the latest; its destruction starts the notice.
    if (m_dlgIOMonitor.m_hWnd != NULL)
        m_dlgIOMonitor.DestroyWindow();
    if (m_sheetFake.m_hWnd != NULL)
        m_sheetFake.DestroyWindow();
    delete m_pPalette;
    m_pPalette = NULL;
    VGLTRACE(2, "<-- CTavmontDlg::~CTavmontDlg()");
}

int CTavmontDlg::BoundPollingRange(DWORD dwRange)
{
    if (dwRange < 1)
        return 1;
    if (dwRange > 32767)
        return 32767;
    return (int)dwRange;
}

BOOL CTavmontDlg::IsThreadHandle(HANDLE hThread)
{
    return hThread != NULL && hThread != INVALID_HANDLE_VALUE;
}

BOOL CTavmontDlg::Create(UINT, CWnd* pParent)
{
    return CDialog::Create(IDD, pParent);
}

BOOL CTavmontDlg::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo)
{
    return CDialog::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

BOOL CTavmontDlg::PreCreateWindow(CREATESTRUCT& cs)
{
    cs.lpszClass = "VigilonCorp95";
    return CDialog::PreCreateWindow(cs);
}

void CTavmontDlg::PreSubclassWindow()
{
}

void CTavmontDlg::DoDataExchange(CDataExchange*)
{
}

/////////////////////////////////////////////////////////////////////////////
// Window creation

int CTavmontDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    VGLTRACE(1, "--> CTavmontDlg::OnCreate(LPCREATESTRUCT lpCreateStruct =%p)", lpCreateStruct);
    lpCreateStruct->style &= ~WS_VISIBLE;
    lpCreateStruct->lpszClass = "VigilonCorp95";

    NS_Notification::ReserveDiskSpace();
    if (!m_dlgIOMonitor.Create(CIOMonitorDlg::IDD, NULL))
    {
        VGLTRACE(12, "    CTavmontDlg::OnCreate(LPCREATESTRUCT lpCreateStruct =%p) --> if "
                     "(!m_dlgIOMonitor.Create(CIOMonitorDlg::IDD, NULL))", lpCreateStruct);
        return -1;
    }
    if (CDialog::OnCreate(lpCreateStruct) == -1)
    {
        VGLTRACE(12, "CDialog::OnCreate(lpCreateStruct) == -1");
        return -1;
    }
    StartUpOPPSetting();
    if (!CreateHttpServerThread())
        VGLTRACE(12, "!CreateHttpServerThread()");
    if (!CreateScheduleUpdateThread())
        VGLTRACE(12, "CreateScheduleUpdateThread() FAILED");
    if (m_dlgIOMonitor.m_hWnd != NULL)
        m_dlgIOMonitor.ShowWindow(SW_HIDE);
    if (!m_sheetFake.Create(CFakePropertySheet::IDD, this))
    {
        VGLTRACE(12, "!m_sheetFake.Create(CFakePropertySheet::IDD, this)");
        return -1;
    }

    CTime now = NS_Clock::GetCurrentTime();
    BOOL fUpdatePending = NS_RegistryKey::GetHotFixPendingFlag();
    BOOL fMobileMode = NS_RegistryKey::IsMobileMode();
    BOOL fForceMobile = NS_RegistryKey::IsForceMobile();
    VGLTRACE(3, "fUpdatePending(%d) && !fMobileMode(%d) && fForceMobile(%d)", fUpdatePending,
             fMobileMode, fForceMobile);
    if (fUpdatePending)
    {
        NS_RegistryKey::SetHotFixPendingFlag(FALSE);
        if (!fMobileMode && !fForceMobile)
        {
            NS_Notification::SendStatusLog(now, NSN_SYNC, NULL);
        }
        else
        {
            NS_Notification::UpdateConnectionStatus(NS_RegistryKey::PingServer(2, 2000, FALSE));
            if (NS_Notification::IsIntranetConnectable())
                NS_Notification::SendStatusLogNow(now, NSN_SYNC, NULL, TRUE, FALSE, NULL, NULL, NULL,
                                                  NULL, NULL);
            NS_Notification::UpdateConnectionStatus(FALSE);
        }
    }

    if (NS_RegistryKey::IsHttpBased())
    {
        // A move to another server: the old server drops this client from its records.
        CString strIniServer = NS_RegistryKey::GetIniMasterDomainName();
        CString strServer = NS_RegistryKey::GetServer(FALSE);
        VGLTRACE(3, "strIniServer(%s) strServer(%s)", (LPCSTR)strIniServer, (LPCSTR)strServer);
        if (strIniServer.CompareNoCase(strServer) != 0)
        {
            NS_RegistryKey::SetIniMasterDomainName(strServer);
            CString strUninstall;
            strUninstall.Format("http://%s%s?UID=%s", (LPCSTR)strIniServer,
                                (LPCSTR)NS_RegistryKey::GetCgiOnUninstall(),
                                (LPCSTR)NS_RegistryKey::GetGUID());
            VGLTRACE(3, "strUninstall(%s)", (LPCSTR)strUninstall);
            DropFromOldServer(strUninstall);
        }
    }

    if (NS_Notification::IsIntranetConnectable())
    {
        if (!NS_Notification::SendStatusLogNow(now, NSN_START, NULL, TRUE, FALSE, NULL, NULL, NULL,
                                               NULL, NULL))
            NS_Notification::UpdateConnectionStatus(FALSE);
    }
    if (!NS_Notification::HasEnoughDiskSpace())
    {
        NS_Notification::SendStatusLog(now, NSN_DISK_SPACE_LOW, NULL);
        VGLTRACE(3, "Call Send Special Log ");
    }
    char szProduct[260] = "";
    if (FindOtherConsumerProduct(szProduct, sizeof(szProduct)))
    {
        NS_Notification::SendStatusLog(now, NSN_OTHER_PRODUCT, NULL);
        VGLTRACE(3, "Send Special Log for Kestrix Exist");
    }
    if (FindOtherServerProduct(szProduct, sizeof(szProduct)))
    {
        NS_Notification::SendStatusLog(now, NSN_OTHER_SERVER_PRODUCT, NULL);
        VGLTRACE(3, "Send Special Log for Bastionel Exist");
    }
    if (!CreateCheckIPChangeThread())
        VGLTRACE(12, "!CreateCheckIPChangeThread()");
    m_nCheckRunKeyTimer = SetTimer(CHECK_RUN_KEY_TIMER, CHECK_RUN_KEY_PERIOD, NULL);
    VGLTRACE(2, "<-- CTavmontDlg::OnCreate(LPCREATESTRUCT lpCreateStruct =%p)", lpCreateStruct);
    return 0;
}

BOOL CTavmontDlg::OnInitDialog()
{
    VGLTRACE(1, "--> CTavmontDlg::OnInitDialog()");
    CDialog::OnInitDialog();
    DragAcceptFiles(TRUE);
    m_fLoggedOff = FALSE;

    if (CMenu* pSysMenu = GetSystemMenu(FALSE))
    {
        pSysMenu->DeleteMenu(SC_RESTORE, MF_BYCOMMAND);
        pSysMenu->DeleteMenu(SC_MAXIMIZE, MF_BYCOMMAND);
        pSysMenu->DeleteMenu(SC_SIZE, MF_BYCOMMAND);
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_staticBanner.m_nDrawMode = 2;
    m_staticBanner.SubclassDlgItem(IDC_MAIN_BANNER, this);
    if (m_menuMain.LoadMenu(IDR_MAINFRAME))
    {
        SetFileMenuVisible();
        SetMenu(&m_menuMain);
    }

    // The banner at the top, the console below it, the window around both.
    CRect rcBanner;
    m_staticBanner.SetWindowPos(NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_staticBanner.GetWindowRect(&rcBanner);
    ScreenToClient(&rcBanner);
    int cyMenu = ::GetSystemMetrics(SM_CYMENU);
    CRect rcSheet;
    m_sheetFake.GetWindowRect(&rcSheet);
    m_sheetFake.SetWindowPos(NULL, 0, rcBanner.Height(), rcBanner.Width() + cyMenu, rcSheet.Height(),
                             SWP_NOZORDER);
    m_sheetFake.GetWindowRect(&rcSheet);
    ScreenToClient(&rcSheet);
    CRect rcClient;
    GetClientRect(&rcClient);
    CRect rcWindow(0, 0, rcClient.Width() - 1, rcSheet.bottom + cyMenu);
    ::AdjustWindowRectEx(&rcWindow, GetStyle(), FALSE, GetExStyle());
    SetWindowPos(NULL, 0, 0, rcBanner.Width(), rcSheet.bottom + cyMenu - rcWindow.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(&rcClient);
    m_staticBanner.SetWindowPos(NULL, 0, 0, rcClient.Width(), rcBanner.Height(),
                                SWP_NOMOVE | SWP_NOZORDER);
    CenterWindow(CWnd::GetDesktopWindow());

    m_sheetFake.ShowWindow(SW_SHOW);
    m_sheetFake.UpdateStatus();
    m_dlgIOMonitor.UpdateStatus();

    m_fTrayIconAdded = AddTrayIcon();
    ShowWindow(SW_SHOWMINNOACTIVE);
    m_nHideTimer = SetTimer(HIDE_TIMER, 50, NULL);

    try
    {
        m_hmmfMainHwnd = createMemoryMappedHwnd(g_pszMemoryMappedHwnd, m_hWnd);
        VGLTRACE(3, "    m_hmmfMainHwnd(0x%p) = ::createMemoryMappedHwnd(g_pszMemoryMappedHwnd = %s, "
                    "m_hWnd = 0x%p);IsExist = %d",
                 m_hmmfMainHwnd, g_pszMemoryMappedHwnd,
                 m_hWnd, ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    catch (CSystemError& e)
    {
        CString strCaption;
        strCaption.LoadString(IDS_MESSAGE_CAPTION);
        MessageBox(e.GetErrorMessage(), strCaption, MB_ICONEXCLAMATION);
    }

    unsigned uThreadID = 0;
    m_hScheduleScanThread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(0, 0, SchedulerThread, this, 0, &uThreadID));
    VGLTRACE(3, "m_hScheduleScanThread(0x%p) = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, "
                "SchedulerThread, 0, THREAD_PRIORITY_LOWEST, uThreadID = 0x%X))",
             m_hScheduleScanThread, uThreadID);
    if (IsThreadHandle(m_hScheduleScanThread))
    {
        BOOL fSuccess = ::SetThreadPriority(m_hScheduleScanThread, THREAD_PRIORITY_LOWEST);
        VGLTRACE(3, "fSuccess(%d) = ::SetThreadPriority(m_hScheduleScanThread, THREAD_PRIORITY_LOWEST)",
                 fSuccess);
    }

    m_strScheduleScanTip.LoadString(IDS_TIP_SCHEDULED_SCAN);
    m_strRemoteScanTip.LoadString(IDS_TIP_REMOTE_SCAN);
    m_strManualScanTip.LoadString(IDS_TIP_MANUAL_SCAN);
    m_strPatternDownloadTip.LoadString(IDS_TIP_PATTERN_DOWNLOAD);
    m_strProgramDownloadTip.LoadString(IDS_TIP_PROGRAM_DOWNLOAD);
    m_strEngineDownloadTip.LoadString(IDS_TIP_ENGINE_DOWNLOAD);

    m_pProxyDlg = NULL;
    m_pAboutDlg = NULL;
    m_pInternetSettingsDlg = NULL;
    m_pOptionsSheet = &m_sheetOptions;

    if (NS_RegistryKey::GetFindNewServer() == 1)
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] --> Try GetClientBindPortINIString again...");
        TryGetClientBindPort();
        VGLTRACE(3, "[NEW_WEB_SERVER] <-- Try GetClientBindPortINIString again...");
    }
    if (NS_RegistryKey::GetRefreshAllSetting() == 1 && NS_RegistryKey::GetFindNewServer() == 0)
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] -->TryUpgrade");
        NS_Notification::TryUpgrade(this, FALSE, TRUE);
        NS_RegistryKey::SetRefreshAllSetting(0);
        VGLTRACE(3, "[NEW_WEB_SERVER] <--TryUpgrade");
    }
    ::_beginthread(CleanSuspectFolderThread, 0, NULL);
    VGLTRACE(2, "<-- CTavmontDlg::OnInitDialog()");
    return FALSE;
}

void CTavmontDlg::TryGetClientBindPort()
{
    if (!NS_RegistryKey::PingServer(2, 2000, FALSE))
    {
        VGLTRACE(3, "[NEW_WEB_SERVER] PingServer fail,");
        return;
    }
    CAccBuffer reply;
    NS_Notification::GetServerIni(reply, FALSE, FALSE, 0);
    VGLTRACE(3, "[NEW_WEB_SERVER] (%s:%lu)", (LPCSTR)NS_RegistryKey::GetServer(FALSE),
             NS_RegistryKey::GetServerPort());
    NS_Notification::QueryClientBindPort(reply, TRUE, FALSE);
    CString strText;
    reply.GetString(strText);
    if (strText.IsEmpty())
        return;
    CString strIni = getModulePath() + "clinetbindport.ini";
    if (!NS_Notification::WriteBufferToFile(strIni, strText))
        return;
    char szPort[256] = "";
    ::GetPrivateProfileStringA(NS_RegistryKey::g_pszIniClientSection, "CLIENT_LOCALSERVER_PORT", "",
                               szPort, sizeof(szPort), strIni);
    int nPort = atoi(szPort);
    NS_RegistryKey::SetLocalServerPort((DWORD)nPort);
    NS_RegistryKey::SetFindNewServer(0);
    VGLTRACE(3, "[NEW_WEB_SERVER] SetLocalServerPort(%d)", nPort);
}

void CTavmontDlg::OptionsChangedCallback(LPVOID pvContext)
{
    if (pvContext != NULL)
        static_cast<CTavmontDlg*>(pvContext)->m_dlgIOMonitor.UpdateStatus();
}

/////////////////////////////////////////////////////////////////////////////
// Destruction

void CTavmontDlg::OnDestroy()
{
    VGLTRACE(1, "--> CTavmontDlg::OnDestroy()");
    if (m_nCheckRunKeyTimer != 0)
    {
        KillTimer(m_nCheckRunKeyTimer);
        m_nCheckRunKeyTimer = 0;
    }
    CheckRunKey();
    DeleteTrayIcon();
    g_eventStopScheduler.SetEvent();

    if (NS_RegistryKey::IsHttpBased())
    {
        StopHttpServerThread();
        m_hHttpServerThread = NULL;
    }
    WaitForListenerThreads();
    if (IsThreadHandle(m_hScheduleScanThread))
    {
        BOOL fSuccess = waitForThread(m_hScheduleScanThread, KILL_THREAD_TIME_OUT);
        VGLTRACE(3, "fSuccess(%d) = ::waitForThread(m_hScheduleScanThread = 0x%p, "
                    "dwKILL_THREAD_TIME_OUT = %d);",
                 fSuccess, m_hScheduleScanThread, KILL_THREAD_TIME_OUT);
    }
    m_hScheduleScanThread = NULL;
    if (m_hScheduleUpdateThread != NULL)
    {
        // It stops at the scheduler's stop; it may be in a request of an update (never killed).
        BOOL fSuccess = waitForThread(m_hScheduleUpdateThread, KILL_THREAD_TIME_OUT);
        VGLTRACE(3, "fSuccess(%d) = ::waitForThread(m_hScheduleUpdateThread = 0x%p, dwKILL_THREAD_TIME_OUT = %d);",
                 fSuccess, m_hScheduleUpdateThread, KILL_THREAD_TIME_OUT);
        m_hScheduleUpdateThread = NULL;
    }
    if (IsThreadHandle(m_hCheckIPChangeThread))
    {
        BOOL fSuccess = waitForThread(m_hCheckIPChangeThread, KILL_THREAD_TIME_OUT);
        VGLTRACE(3, "fSuccess(%d) = ::waitForThread(m_hCheckIPChangeThread = 0x%p, "
                    "dwKILL_THREAD_TIME_OUT = %d);",
                 fSuccess, m_hCheckIPChangeThread, KILL_THREAD_TIME_OUT);
    }
    m_hCheckIPChangeThread = NULL;
    if (m_hmmfMainHwnd != NULL)
    {
        ::CloseHandle(m_hmmfMainHwnd);
        m_hmmfMainHwnd = NULL;
    }
    CDialog::OnDestroy();
    VGLTRACE(2, "<-- CTavmontDlg::OnDestroy()");
}

/////////////////////////////////////////////////////////////////////////////
// Timers, system menu, start-up entries

void CTavmontDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == CHECK_RUN_KEY_TIMER)
    {
        CheckRunKey();
    }
    else if (nIDEvent == HIDE_TIMER)
    {
        KillTimer(HIDE_TIMER);
        m_nHideTimer = 0;
        m_fHidden = TRUE;
        if (m_nDropState == 1)
            m_nDropState = 2;
        else
            ShowWindow(SW_HIDE);
    }
    else
    {
        CDialog::OnTimer(nIDEvent);
    }
}

void CTavmontDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    switch (nID & 0xFFF0)
    {
    case SC_MINIMIZE:
    case SC_CLOSE:
        HideToTray();
        break;
    case SC_MAXIMIZE:
        break;
    default:
        CDialog::OnSysCommand(nID, lParam);
        break;
    }
}

BOOL CTavmontDlg::CheckRunKey()
{
    CString strName = getRunKeyValueName();
    if (strName.IsEmpty())
    {
        VGLTRACE(3, "95_RUN_KEY is empty: the start-up entries are left alone");
        return TRUE;
    }
    CString strCommand = getQuotedRunCommand();
    if (isRegistryRunServicesKeyExist(strName) && isRegistryRunKeyExist(strName))
        return TRUE;
    VGLTRACE(3, "CTavmontDlg::CheckRunKey(): the start-up entry %s is missing", (LPCSTR)strName);
    NS_Notification::StartPGX(FALSE);
    setRegistryRunServicesKey(strCommand, strName);
    setRegistryRunKey(strCommand, strName);
    repairRegistryRunKey(strCommand, strName);
    return FALSE;
}

/////////////////////////////////////////////////////////////////////////////
// Drawing and the banner

void CTavmontDlg::OnPaint()
{
    if (IsIconic())
    {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
        CRect rc;
        GetClientRect(&rc);
        int x = (rc.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rc.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    }
    else if (m_fHidden)
    {
        CDialog::OnPaint();
    }
    else
    {
        CPaintDC dc(this);
    }
}

HCURSOR CTavmontDlg::OnQueryDragIcon()
{
    return (HCURSOR)m_hIcon;
}

void CTavmontDlg::RealizeBannerPalette(CWnd* pFocusWnd)
{
    if (m_pPalette == NULL)
        return;
    CClientDC dc(this);
    CPalette* pOld = dc.SelectPalette(m_pPalette, pFocusWnd != this);
    if (dc.RealizePalette() != 0)
    {
        Invalidate(TRUE);
        UpdateWindow();
    }
    dc.SelectPalette(pOld, FALSE);
}

BOOL CTavmontDlg::OnQueryNewPalette()
{
    RealizeBannerPalette(this);
    return TRUE;
}

void CTavmontDlg::OnPaletteChanged(CWnd* pFocusWnd)
{
    RealizeBannerPalette(pFocusWnd);
}

int CTavmontDlg::HitTestBanner(CPoint point)
{
    CWnd* pBanner = GetDlgItem(IDC_MAIN_BANNER);
    if (pBanner == NULL)
        return 0;
    CRect rcWindow;
    pBanner->GetWindowRect(&rcWindow);
    ScreenToClient(&rcWindow);
    if (!rcWindow.PtInRect(point))
        return 0;
    CRect rcClient;
    pBanner->GetClientRect(&rcClient);
    if (rcClient.Width() <= 0 || rcClient.Height() <= 0)
        return 1;
    // The three areas in the banner's design of 570 x 44, scaled to its size.
    double dScaleX = 570.0 / rcClient.Width();
    double dScaleY = 44.0 / rcClient.Height();
    static const RECT s_areas[3] = { { 459, 29, 566, 39 }, { 172, 21, 178, 31 }, { 138, 16, 153, 36 } };
    for (int i = 0; i < 3; i++)
    {
        const RECT& a = s_areas[i];
        CRect rc;
        rc.left = (int)(a.left / dScaleX);
        rc.top = (int)(a.top / dScaleY);
        rc.right = rc.left + (int)((a.right - a.left) / dScaleX);
        rc.bottom = rc.top + (int)((a.bottom - a.top) / dScaleY);
        pBanner->ClientToScreen(&rc);
        ScreenToClient(&rc);
        if (rc.PtInRect(point))
            return i + 2;
    }
    return 1;
}

void CTavmontDlg::OnLButtonDblClk(UINT, CPoint point)
{
    if (!NS_RegistryKey::GetDebug())
        return;
    switch (HitTestBanner(point))
    {
    case 3:
        NS_Debug::ToggleDebugWindow();
        break;
    case 4:
        OnUnloadCommand();
        break;
    }
}

void CTavmontDlg::OnLButtonDown(UINT, CPoint)
{
}

// The uninstall dialog, its worker and the stopping of the client and the support tool.
#include "UninstallDlg.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "UninstallWaits.h"
#include "Utils_MemMappedFile.h"
#include "Utils_RegKey.h"
#include "resource_ids.h"

#include <process.h>

namespace
{
const char g_pszMemoryMappedHwnd[] = "VigilonCorp_MemoryMappedFile_MainWnd";
const char g_pszMemoryMappedProcessID[] = "VigilonCorp_MemoryMappedFile_ProcessID";
const char g_pszDervixHwnd[] = "Dervix_MemoryMappedFile_MainWnd";
const char g_pszDervixProcessID[] = "Dervix_MemoryMappedFile_ProcessID";
const char s_szMailScanKey[] = "Software\\Kavrel\\Kestrix\\MailScan";
const char s_szMailScanAdorKey[] = "Software\\Kavrel\\Kestrix\\VUV3Ador";
const char s_szMailScanParentKey[] = "Software\\Kavrel\\Kestrix";
const char s_szOutlookScanTitle[] = "Scan en cours...";
const char s_szOutlookScannerTitle[] = "Scan de la messagerie Outlook par Vigilon";

const int UNLOAD_STEPS = 360;
const int WINDOW_RETRIES = 10;
const DWORD WINDOW_RETRY_MS = 2000;
const DWORD PROCESS_WAIT_MS = 1000;
const DWORD WORKER_START_MS = 1000;
const DWORD MAPPING_GONE_SETTLE_MS = 10000;

CString LastErrorText()
{
    CString strText;
    LPSTR pszMessage = NULL;
    DWORD dwError = ::GetLastError();
    if (::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         NULL, dwError, 0, (LPSTR)&pszMessage, 0, NULL) != 0 &&
        pszMessage != NULL)
    {
        strText = pszMessage;
        strText.TrimRight();
    }
    if (pszMessage != NULL)
        ::LocalFree(pszMessage);
    if (strText.IsEmpty())
        strText.Format("(%lu)", dwError);
    return strText;
}

// A key that holds neither subkeys nor values.
BOOL DeleteKeyIfNothingInIt(HKEY hRoot, LPCSTR pszSubKey)
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(hRoot, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwSubKeys = 0, dwValues = 0;
    LONG lResult = ::RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &dwSubKeys, NULL, NULL, &dwValues, NULL, NULL, NULL,
                                      NULL);
    ::RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwSubKeys != 0 || dwValues != 0)
        return FALSE;
    return ::RegDeleteKeyA(hRoot, pszSubKey) == ERROR_SUCCESS;
}
}

BEGIN_MESSAGE_MAP(CUninstallDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_TIMER()
    ON_WM_SYSCOMMAND()
    ON_WM_CREATE()
    ON_WM_SHOWWINDOW()
    ON_WM_DESTROY()
    ON_MESSAGE(WM_INSTALL_COMPLETE, OnInstallComplete)
END_MESSAGE_MAP()

CUninstallDlg::CUninstallDlg(BOOL fNoMessageBox, BOOL fSilent, CWnd* pParent)
    : CDialog(IDD, pParent), m_dib(isLowColorDisplay() ? IDR_DIB_BANNER16 : IDR_DIB_BANNER), m_pPalette(NULL),
      m_bitmap(&m_dib, NULL, 1), m_fNoMessageBox(fNoMessageBox), m_fSilent(fSilent), m_fIsHttpBased(TRUE),
      m_nTimer(0), m_nServerPort(80), m_nProxyPort(80), m_hThread(NULL), m_hIcon(NULL)
{
    m_pPalette = m_dib.CreatePalette();
    m_bitmap.m_pPalette = m_pPalette;
    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDI_UNINSTALL)
                          : ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_UNINSTALL));
}

CUninstallDlg::~CUninstallDlg()
{
    if (m_hWnd != NULL)
        DestroyWindow();
    delete m_pPalette;
}

void CUninstallDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UNINSTALL_BAR_UNLOAD, m_barUnload);
    DDX_Control(pDX, IDC_UNINSTALL_BAR_COMPONENTS, m_barComponents);
    DDX_Control(pDX, IDC_UNINSTALL_BAR_FOLDER, m_barFolder);
    DDX_Control(pDX, IDC_UNINSTALL_BAR_REGISTRY, m_barRegistry);
    DDX_Control(pDX, IDC_UNINSTALL_BAR_SERVER, m_barServer);
    DDX_Control(pDX, IDC_UNINSTALL_DONE_UNLOAD, m_markUnload);
    DDX_Control(pDX, IDC_UNINSTALL_DONE_COMPONENTS, m_markComponents);
    DDX_Control(pDX, IDC_UNINSTALL_DONE_FOLDER, m_markFolder);
    DDX_Control(pDX, IDC_UNINSTALL_DONE_REGISTRY, m_markRegistry);
    DDX_Control(pDX, IDC_UNINSTALL_DONE_SERVER, m_markServer);
}

BOOL CUninstallDlg::PreCreateWindow(CREATESTRUCT& cs)
{
    VGLTRACE(1, "--> CUninstallDlg::PreCreateWindow(CREATESTRUCT& cs))");
    if (m_fSilent)
    {
        cs.style &= ~WS_VISIBLE;
        VGLTRACE(3, "cs.style &= ~WS_VISIBLE)");
    }
    return CDialog::PreCreateWindow(cs);
}

BOOL CUninstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_bitmap.SubclassDlgItem(IDC_UNINSTALL_PICTURE, this);
    CProgressCtrl* apBars[] = {&m_barUnload, &m_barComponents, &m_barFolder, &m_barRegistry, &m_barServer};
    for (CProgressCtrl* pBar : apBars)
        pBar->SetStep(1);

    if (m_fSilent)
    {
        VGLTRACE(3, "::SetWindowLong(m_hWnd, GWL_STYLE, (~WS_VISIBLE & ::GetWindowLong(m_hWnd, GWL_STYLE)))");
        ::SetWindowLongA(m_hWnd, GWL_STYLE, ~WS_VISIBLE & ::GetWindowLongA(m_hWnd, GWL_STYLE));
        ::SetWindowPos(m_hWnd, NULL, 10000, 10000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LoadSettings();
    m_nTimer = SetTimer(1, WORKER_START_MS, NULL);
    return TRUE;
}

void CUninstallDlg::LoadSettings()
{
    m_nServerPort = (WORD)NS_RegistryKey::GetServerPort();
    m_nProxyPort = NS_RegistryKey::GetProxyPort();
    NS_RegistryKey::GetProxyServerAndPort(m_strProxyServer, &m_nProxyPort, NS_RegistryKey::GetUseProxy());
    m_fIsHttpBased = NS_RegistryKey::IsHttpBasedEx();
    VGLTRACE(3, "    m_fIsHttpBased(%d) = NS_RegistryKey::IsHttpBased()", m_fIsHttpBased);
    m_strGuid = NS_RegistryKey::GetApplicationGUIDString();
    VGLTRACE(3, "    m_strGuid = NS_RegistryKey::GetApplicationGUIDString()");
    m_strServer = NS_RegistryKey::GetServer(FALSE);
    m_strFolderName = NS_RegistryKey::GetFolderName();
    m_strDesktopShortcutFile = NS_RegistryKey::GetDesktopShortcutFile();
    m_strProxyLogin = NS_RegistryKey::GetProxyLogin();
    m_strProxyPassword = NS_RegistryKey::GetProxyPassword();
    m_strApplicationPath = NS_RegistryKey::GetApplicationPath();
    m_strCurrentVersionKey = NS_RegistryKey::GetCurrentVersionKeyName();
    m_strProductKey = NS_RegistryKey::GetProductKeyName();
    m_strCompanyKey = NS_RegistryKey::GetCompanyKeyName();
    m_strCgiOnUninstall = NS_RegistryKey::GetCgiOnUninstall();
    CString strFileDb;
    concatPath(strFileDb, NS_RegistryKey::GetMasterDirectory(), "FILEDB");
    concatPath(m_strMasterDirConfig, strFileDb, "Config");
    concatPath(m_strMasterDirData, strFileDb, "Data");
    concatPath(m_strMasterDirLog, strFileDb, "Log");

    // The settings file is among the files the removal deletes.
    CString strVglScanIni;
    concatPath(strVglScanIni, getWindowsDirectoryPath(), "VglScan.ini");
    m_strIniMenuFolder = getProfileString(NS_RegistryKey::g_pszIniClientSetupSection, "95_MENU_FOLDER", "", strVglScanIni);
    m_strIniRunKey = getProfileString(NS_RegistryKey::g_pszIniClientSetupSection, "95_RUN_KEY", "", strVglScanIni);
    m_strIniUninstallKeyName = getProfileString(NS_RegistryKey::g_pszIniClientSetupSection, "95_UNINSTALL_KEY_NAME",
                                                "Vigilon95", strVglScanIni);
    VGLTRACE(3, "    95_MENU_FOLDER = %s, 95_RUN_KEY = %s, 95_UNINSTALL_KEY_NAME = %s", (LPCSTR)m_strIniMenuFolder,
             (LPCSTR)m_strIniRunKey, (LPCSTR)m_strIniUninstallKeyName);
}

BOOL CUninstallDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

void CUninstallDlg::OnPaint()
{
    if (IsIconic())
    {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
        int cxIcon = ::GetSystemMetrics(SM_CXICON);
        int cyIcon = ::GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        dc.DrawIcon((rect.Width() - cxIcon + 1) / 2, (rect.Height() - cyIcon + 1) / 2, m_hIcon);
    }
    else
    {
        CDialog::OnPaint();
    }
}

HCURSOR CUninstallDlg::OnQueryDragIcon()
{
    return (HCURSOR)m_hIcon;
}

void CUninstallDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if (nID == SC_MINIMIZE || nID == SC_CLOSE)
        return;
    CDialog::OnSysCommand(nID, lParam);
}

int CUninstallDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    return CDialog::OnCreate(lpCreateStruct);
}

void CUninstallDlg::OnShowWindow(BOOL bShow, UINT nStatus)
{
    CDialog::OnShowWindow(bShow, nStatus);
}

void CUninstallDlg::OnDestroy()
{
    CDialog::OnDestroy();
}

void CUninstallDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != 1)
        return;
    KillTimer(m_nTimer);
    unsigned uThreadID = 0;
    m_hThread = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, WorkerThread, this, 0, &uThreadID));
    VGLTRACE(3, "m_hThread(0x%p) = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, WorkerThread, this, "
                "THREAD_PRIORITY_BELOW_NORMAL, uThreadID = 0x%X))",
             m_hThread, uThreadID);
    if (m_hThread == NULL)
    {
        EndDialog(IDOK);
        return;
    }
    ::CloseHandle(m_hThread);
    // The wait cursor belongs to the thread of the windows: set by the worker, it would
    // disturb the painting of the dialogs the worker shows.
    AfxGetApp()->DoWaitCursor(1);
}

UINT WINAPI CUninstallDlg::WorkerThread(void* pParam)
{
    VGLTRACE(1, "--> UINT WINAPI CUninstallDlg::WorkerThread(void* pParam = %p)", pParam);
    CUninstallDlg* pDlg = static_cast<CUninstallDlg*>(pParam);
    if (pDlg != NULL)
    {
        try
        {
            pDlg->RunUninstall();
        }
        catch (...)
        {
            VGLTRACE(13, "G.P.F in CUninstallDlg::WorkerThread()");
        }
        pDlg->PostMessage(WM_INSTALL_COMPLETE, 0, 0);
    }
    VGLTRACE(2, "<-- UINT WINAPI CUninstallDlg::WorkerThread(void* pParam = %p)", pParam);
    return 0;
}

LRESULT CUninstallDlg::OnInstallComplete(WPARAM, LPARAM)
{
    VGLTRACE(1, "--> CUninstallDlg::OnInstallComplete(WPARAM wParam, LPARAM lParam)");
    AfxGetApp()->DoWaitCursor(-1);
    EndDialog(IDOK);
    VGLTRACE(2, "<-- CUninstallDlg::OnInstallComplete(WPARAM wParam, LPARAM lParam)");
    return 0;
}

void CUninstallDlg::ShowMark(CStatic& mark)
{
    if (m_fSilent || mark.m_hWnd == NULL)
        return;
    mark.ShowWindow(SW_SHOW);
    mark.Invalidate();
    mark.UpdateWindow();
}

// Runs one step that may throw; what it throws is traced and the sequence goes on.
#define VGL_GUARDED_STEP(step)                                                 \
    try                                                                        \
    {                                                                          \
        step;                                                                  \
    }                                                                          \
    catch (CException* e)                                                      \
    {                                                                          \
        VGLTRACE(10, "    CException in " #step);                              \
        e->Delete();                                                           \
    }                                                                          \
    catch (CSystemError& e)                                                    \
    {                                                                          \
        VGLTRACE(10, "    CSystemError = %s in " #step, (LPCSTR)e.ToString()); \
    }                                                                          \
    catch (...)                                                                \
    {                                                                          \
        VGLTRACE(10, "    Exception(...) in " #step);                          \
    }

void CUninstallDlg::RunUninstall()
{
    RemoveOPP();
    RemoveVGLESCV();
    RemoveWatchDog();
    RemoveMailScanKeys();

    BOOL fUnloaded = UnloadMainProgramGuarded();
    VGL_GUARDED_STEP(UnloadDervix());
    ShowMark(m_markUnload);
    if (!fUnloaded)
    {
        VGLTRACE(12, "The client could not be stopped: nothing more is removed");
        return;
    }

    RemoveTools();
    VGL_GUARDED_STEP(UninstallActiveXContorls());
    VGL_GUARDED_STEP(UninstallShellExtension());
    MoveKvdshellToTemp(m_strApplicationPath);
    ShowMark(m_markComponents);
    VGL_GUARDED_STEP(DeleteProgramDir());
    ShowMark(m_markFolder);
    VGL_GUARDED_STEP(UninstallFolderAndShortcut());
    VGL_GUARDED_STEP(UninstallRegistries());
    ShowMark(m_markRegistry);
    VGL_GUARDED_STEP(SendUninstallMessage());
    ShowMark(m_markServer);
}

BOOL CUninstallDlg::UnloadMainProgramGuarded()
{
    try
    {
        return UnloadMainProgram();
    }
    catch (CException* e)
    {
        VGLTRACE(10, "    CException in UnloadMainProgram(): the client counts as running");
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(10, "    Exception(...) in UnloadMainProgram(): the client counts as running");
    }
    return FALSE;
}

void CUninstallDlg::RemoveMailScanKeys()
{
    // Only the product's own keys: "Kestrix" may hold another product's settings.
    BOOL fMailScan = deleteKey(HKEY_LOCAL_MACHINE, s_szMailScanKey);
    BOOL fAdor = deleteKey(HKEY_LOCAL_MACHINE, s_szMailScanAdorKey);
    BOOL fParent = DeleteKeyIfNothingInIt(HKEY_LOCAL_MACHINE, s_szMailScanParentKey);
    VGLTRACE(3, "    mail scan keys: MailScan %d, VUV3Ador %d, Kestrix %d", fMailScan, fAdor, fParent);
    const char* const apszTitles[] = {s_szOutlookScanTitle, s_szOutlookScannerTitle};
    for (const char* pszTitle : apszTitles)
    {
        HWND hWnd = ::FindWindowA(NULL, pszTitle);
        if (hWnd != NULL)
            ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
    }
}

BOOL CUninstallDlg::UnloadMainProgram()
{
    VGLTRACE(1, "--> CUninstallDlg::UnloadMainProgram()");
    m_barUnload.SetRange(0, UNLOAD_STEPS);
    BOOL fSuccess = FALSE;

    HWND hmmfMain = getMemoryMappedHwnd(g_pszMemoryMappedHwnd);
    DWORD dwmmfProcessID = getMemoryMappedDword(g_pszMemoryMappedProcessID);
    VGLTRACE(3, "    hmmfMain(0x%p) = ::getMemoryMappedHwnd(g_pszMemoryMappedHwnd = %s), fSuccess = TRUE",
             hmmfMain, g_pszMemoryMappedHwnd);
    VGLTRACE(3, "    dwmmfProcessID(0x%X) = ::getMemoryMappedHwnd(g_pszMemoryMappedProcessID = %s), fSuccess = TRUE",
             (unsigned)dwmmfProcessID, g_pszMemoryMappedProcessID);

    int iTryCount = 0;
    while (hmmfMain == NULL)
    {
        VGLTRACE(3, "    LastError = %s, hmmfMain(0x%p) = ::getMemoryMappedHwnd(g_pszMemoryMappedHwnd = %s), "
                    "fSuccess = TRUE",
                 (LPCSTR)LastErrorText(), hmmfMain, g_pszMemoryMappedHwnd);
        if (dwmmfProcessID == 0)
        {
            // Neither published: the client is not running.
            fSuccess = TRUE;
            goto Done;
        }
        VGLTRACE(3, "iTryCount = %d", iTryCount);
        if (iTryCount >= WINDOW_RETRIES)
        {
            fSuccess = FALSE;
            goto Done;
        }
        ++iTryCount;
        NS_UninstallWait::Sleep(WINDOW_RETRY_MS);
        hmmfMain = getMemoryMappedHwnd(g_pszMemoryMappedHwnd);
        dwmmfProcessID = getMemoryMappedDword(g_pszMemoryMappedProcessID);
        VGLTRACE(3, "    hmmfMain(0x%p) = ::getMemoryMappedHwnd(g_pszMemoryMappedHwnd = %s), fSuccess = TRUE",
                 hmmfMain, g_pszMemoryMappedHwnd);
        VGLTRACE(3, "    dwmmfProcessID(0x%X) = ::getMemoryMappedHwnd(g_pszMemoryMappedProcessID = %s), fSuccess = TRUE",
                 (unsigned)dwmmfProcessID, g_pszMemoryMappedProcessID);
    }

    ::PostMessageA(hmmfMain, WM_UNLOAD, 0, 0);
    ::PostMessageA(hmmfMain, WM_QUIT, 0, 0);

    if (dwmmfProcessID != 0)
    {
        // The right to wait on it: without it every wait fails at once.
        HANDLE hmmfProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_DUP_HANDLE, TRUE, dwmmfProcessID);
        VGLTRACE(3, "    hmmfProcess(0x%p) = ::OpenProcess(SYNCHRONIZE | PROCESS_DUP_HANDLE, TRUE, dwmmfProcessID = %d), "
                    "fSuccess = TRUE",
                 hmmfProcess, (int)dwmmfProcessID);
        if (hmmfProcess != NULL)
        {
            for (int i = 0; i < UNLOAD_STEPS; ++i)
            {
                DWORD dwWait = NS_UninstallWait::WaitForObject(hmmfProcess, PROCESS_WAIT_MS);
                if (dwWait == WAIT_OBJECT_0)
                {
                    NS_UninstallWait::Sleep(PROCESS_WAIT_MS);
                    ::CloseHandle(hmmfProcess);
                    fSuccess = TRUE;
                    goto Done;
                }
                if (dwWait != WAIT_TIMEOUT)
                {
                    // Not known to have ended: watch the mapping instead.
                    VGLTRACE(12, "    WaitForSingleObject(hmmfProcess) = 0x%lX, LastError = %s", dwWait,
                             (LPCSTR)LastErrorText());
                    break;
                }
                m_barUnload.StepIt();
            }
            ::CloseHandle(hmmfProcess);
        }
    }

    for (int i = 0; i < UNLOAD_STEPS; ++i)
    {
        m_barUnload.StepIt();
        if (getMemoryMappedHwnd(g_pszMemoryMappedHwnd) == NULL)
        {
            for (int j = 0; j < 3; ++j)
            {
                NS_UninstallWait::Sleep(PROCESS_WAIT_MS);
                m_barUnload.StepIt();
            }
            fSuccess = TRUE;
            NS_UninstallWait::Sleep(MAPPING_GONE_SETTLE_MS);
            goto Done;
        }
        NS_UninstallWait::Sleep(PROCESS_WAIT_MS);
    }

Done:
    m_barUnload.SetPos(UNLOAD_STEPS);
    VGLTRACE(2, "<-- CUninstallDlg::UnloadMainProgram(), fSuccess = %d", fSuccess);
    return fSuccess;
}

BOOL CUninstallDlg::UnloadDervix()
{
    VGLTRACE(1, "--> CUninstallDlg::UnloadDervix()");
    BOOL fSuccess = FALSE;
    HWND hmmfMain = getMemoryMappedHwnd(g_pszDervixHwnd);
    VGLTRACE(3, "    hmmfMain(0x%p) = ::getMemoryMappedHwnd(g_pszDervixHwnd = %s), fSuccess = TRUE",
             hmmfMain, g_pszDervixHwnd);
    if (hmmfMain == NULL)
    {
        VGLTRACE(3, "    LastError = %s", (LPCSTR)LastErrorText());
        VGLTRACE(2, "<-- CUninstallDlg::UnloadDervix(), fSuccess = %d", fSuccess);
        return FALSE;
    }
    DWORD dwProcessID = getMemoryMappedDword(g_pszDervixProcessID);
    ::PostMessageA(hmmfMain, WM_UNLOAD, 0, 0);
    if (dwProcessID != 0)
    {
        HANDLE hProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_DUP_HANDLE, TRUE, dwProcessID);
        if (hProcess != NULL)
        {
            for (int i = 0; i < UNLOAD_STEPS; ++i)
            {
                DWORD dwWait = NS_UninstallWait::WaitForObject(hProcess, PROCESS_WAIT_MS);
                if (dwWait == WAIT_OBJECT_0)
                {
                    NS_UninstallWait::Sleep(PROCESS_WAIT_MS);
                    fSuccess = TRUE;
                    break;
                }
                if (dwWait != WAIT_TIMEOUT)
                    break;
            }
            ::CloseHandle(hProcess);
        }
    }
    VGLTRACE(2, "<-- CUninstallDlg::UnloadDervix(), fSuccess = %d", fSuccess);
    return fSuccess;
}

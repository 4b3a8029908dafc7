// The mail-scan page and the download of client utilities.
#include "PageMailScan.h"

#include "CryptString.h"
#include "KeyedCipher.h"
#include "LogTracker.h"
#include "OptionPages.h"
#include "ProgressDlg.h"
#include "Quarantine.h"
#include "RegistryKey.h"
#include "SystemInfo.h"
#include "resource_ids.h"

#include <stdio.h>
#include <string.h>
#include <vector>

const char g_pszMailScanKey[] = "Software\\Kavrel\\Kestrix\\MailScan";
const char g_pszOutlookScannerTitle[] = "Scan de la messagerie Outlook par Vigilon";

namespace
{
const char g_szVuv3AdorKey[] = "Software\\Kavrel\\Kestrix\\VUV3Ador";
const char g_szQuelmail[] = "Quelmail.exe";
const char g_szQuelmailSetup[] = "Vez3Odez.exe";
const char g_szOutlookScanner[] = "PostrixOutLook.exe";
const char g_szTempDownload[] = "TempDownloadFile.$$$";
const char g_szCountReply[] = "CountTemp$$$.$$$";

// Major part of a file's version; 0 without a version resource.
DWORD GetFileMajorVersion(LPCSTR pszFile)
{
    VS_FIXEDFILEINFO info;
    if (!getFixedFileVersion(pszFile, &info))
        return 0;
    return HIWORD(info.dwFileVersionMS);
}

BOOL FileExists(LPCSTR pszPath)
{
    return ::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

const DWORD g_adwFirstCodes[] = { 0, 3, 4 };
const DWORD g_adwSecondCodes[] = { 0, 4 };
}

BEGIN_MESSAGE_MAP(CPageMailScan, CDialog)
    ON_BN_CLICKED(IDC_MAIL_ON_OFF, OnMailScanOnOff)
    ON_BN_CLICKED(IDC_MAIL_SETUP, OnSetupQuelmail)
    ON_CBN_SELCHANGE(IDC_MAIL_ACTION, OnSelChangeAction)
    ON_CBN_SELCHANGE(IDC_MAIL_ACTION2ND, OnSelChangeAction2nd)
    ON_BN_CLICKED(IDC_MAIL_ZIP_CLEAN, OnZipClean)
    ON_BN_CLICKED(IDC_MAIL_SPLASH, OnSplash)
    ON_BN_CLICKED(IDC_MAIL_OUTLOOK_INSTALL, OnInstallOutlookScanner)
    ON_BN_CLICKED(IDC_MAIL_OUTLOOK_RUN, RunOutlookScanner)
END_MESSAGE_MAP()

CPageMailScan::CPageMailScan(CWnd* pParent) : CDialog(IDD, pParent), m_dwServerMode(1)
{
}

CPageMailScan::CPageMailScan(UINT, CWnd*) : CDialog(IDD, NULL), m_dwServerMode(1)
{
}

CPageMailScan::~CPageMailScan()
{
}

void CPageMailScan::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

void CPageMailScan::OnCancel()
{
}

/////////////////////////////////////////////////////////////////////////////
// Registry and program folder

void CPageMailScan::GetProgramFolder(CString& strOut)
{
    strOut.Empty();
    ReadRegistryString(NS_RegistryKey::GetCurrentVersionKeyName(), "Application Path", strOut);
}

BOOL CPageMailScan::IsProgramInFolder(LPCSTR pszFileName)
{
    CString strFolder;
    GetProgramFolder(strFolder);
    return FileExists(strFolder + pszFileName);
}

BOOL CPageMailScan::ReadRegistryDword(LPCSTR pszSubKey, LPCSTR pszValue, DWORD* pdw)
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD dw = 0, dwType = 0, cb = sizeof(dw);
    BOOL fOk = ::RegQueryValueExA(hKey, pszValue, NULL, &dwType, (BYTE*)&dw, &cb) == ERROR_SUCCESS &&
               dwType == REG_DWORD && cb == sizeof(dw);
    ::RegCloseKey(hKey);
    if (fOk)
        *pdw = dw;
    return fOk;
}

BOOL CPageMailScan::ReadRegistryString(LPCSTR pszSubKey, LPCSTR pszValue, CString& strOut)
{
    strOut.Empty();
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szValue[261] = "";
    DWORD dwType = 0, cb = 260;
    BOOL fOk = ::RegQueryValueExA(hKey, pszValue, NULL, &dwType, (BYTE*)szValue, &cb) == ERROR_SUCCESS &&
               (dwType == REG_SZ || dwType == REG_EXPAND_SZ);
    ::RegCloseKey(hKey);
    if (fOk)
    {
        szValue[cb < 260 ? cb : 260] = '\0';
        strOut = szValue;
    }
    return fOk;
}

BOOL CPageMailScan::AskYesNo(UINT nIDPrompt)
{
    int n = AfxMessageBox(nIDPrompt, MB_YESNO);
    return n == IDYES || n == IDOK;
}

DWORD CPageMailScan::GetMailScanValue(LPCSTR pszValue)
{
    HKEY hKey;
    REGSAM sam = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_pszMailScanKey, 0, sam, &hKey) != ERROR_SUCCESS &&
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, g_pszMailScanKey, 0, NULL, 0, sam, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return 0;
    DWORD dw = 0, dwType = 0, cb = sizeof(dw);
    if (::RegQueryValueExA(hKey, pszValue, NULL, &dwType, (BYTE*)&dw, &cb) != ERROR_SUCCESS || dwType != REG_DWORD)
    {
        dw = 0;
        ::RegSetValueExA(hKey, pszValue, 0, REG_DWORD, (const BYTE*)&dw, sizeof(dw));
    }
    ::RegCloseKey(hKey);
    return dw;
}

void CPageMailScan::SetMailScanValue(LPCSTR pszValue, DWORD dw)
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_pszMailScanKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                        &hKey) != ERROR_SUCCESS)
        return;
    ::RegSetValueExA(hKey, pszValue, 0, REG_DWORD, (const BYTE*)&dw, sizeof(dw));
    ::RegCloseKey(hKey);
}

BOOL CPageMailScan::IsQuelmailInstalled()
{
    CString strFolder;
    GetProgramFolder(strFolder);
    CString strPath = strFolder + g_szQuelmail;
    return FileExists(strPath) && GetFileMajorVersion(strPath) >= 10;
}

BOOL CPageMailScan::StartProgram(LPCSTR pszFileName, UINT nShow)
{
    CString strFolder;
    GetProgramFolder(strFolder);
    char szPath[MAX_PATH];
    _snprintf(szPath, sizeof(szPath) - 1, "%s%s", (LPCSTR)strFolder, pszFileName);
    szPath[sizeof(szPath) - 1] = '\0';
    UINT nResult = ::WinExec(szPath, nShow);
    VGLTRACE(3, "WinExec(%s) = %u", szPath, nResult);
    return nResult > 31;
}

/////////////////////////////////////////////////////////////////////////////
// Initialisation and refresh

BOOL CPageMailScan::OnInitDialog()
{
    CDialog::OnInitDialog();
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_SETUP), NS_RegistryKey::GetQuelmailOnOff());
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_OUTLOOK_INSTALL), NS_RegistryKey::GetOutlookScanOnOff());
    if (RunQuelmail())
        ApplyQuelmailSettings();
    HWND hFirst = ::GetDlgItem(m_hWnd, IDC_MAIL_ACTION);
    HWND hSecond = ::GetDlgItem(m_hWnd, IDC_MAIL_ACTION2ND);
    NS_OptionPages::FillList(hFirst, IDS_MAIL_FIRST_ACTIONS, g_adwFirstCodes, 3);
    NS_OptionPages::FillList(hSecond, IDS_MAIL_SECOND_ACTIONS, g_adwSecondCodes, 2);
    ReadState();
    return TRUE;
}

void CPageMailScan::Refresh()
{
    if (m_hWnd == NULL)
        return;
    if (RunQuelmail())
        ApplyQuelmailSettings();
    ReadState();
}

void CPageMailScan::ReadState()
{
    BOOL fInstalled = IsQuelmailInstalled();
    CheckDlgButton(IDC_MAIL_ON_OFF, GetMailScanValue("OnOff") != 0 && fInstalled ? BST_CHECKED : BST_UNCHECKED);
    DWORD dwAction = GetMailScanValue("Action");
    DWORD dwAction2nd = GetMailScanValue("Action2nd");
    if (SelectCode(IDC_MAIL_ACTION, dwAction))
        OnSelChangeAction();
    SelectCode(IDC_MAIL_ACTION2ND, dwAction2nd);
    UpdateControlStates();
    CheckDlgButton(IDC_MAIL_ZIP_CLEAN, GetMailScanValue("ZipClean") ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MAIL_SPLASH, GetMailScanValue("Splash") ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_ON_OFF), fInstalled);
    DWORD dwMode = 0;
    ReadRegistryDword(NS_RegistryKey::GetCurrentVersionKeyName(), "Mode", &dwMode);
    m_dwServerMode = dwMode;
    if (dwMode == 0)
    {
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_SETUP), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_OUTLOOK_INSTALL), FALSE);
    }
    UpdateOutlookRunButton();
}

BOOL CPageMailScan::RunQuelmail()
{
    if (!IsQuelmailInstalled())
        return FALSE;
    // One mail trap at a time: a running one is left alone.
    if (::FindWindowA("Pop3Scan", NULL) != NULL)
        return FALSE;
    return StartProgram(g_szQuelmail, SW_HIDE);
}

/////////////////////////////////////////////////////////////////////////////
// Control states

BOOL CPageMailScan::IsOn() const
{
    return ::IsDlgButtonChecked(m_hWnd, IDC_MAIL_ON_OFF) == BST_CHECKED;
}

int CPageMailScan::SelectedCode(UINT nID) const
{
    HWND hList = ::GetDlgItem(m_hWnd, nID);
    int nSel = (int)::SendMessageA(hList, CB_GETCURSEL, 0, 0);
    if (nSel < 0)
        return -1;
    // The rows' data are the small action codes the list was filled with.
    return (int)::SendMessageA(hList, CB_GETITEMDATA, nSel, 0);
}

BOOL CPageMailScan::SelectCode(UINT nID, DWORD dwCode)
{
    HWND hList = ::GetDlgItem(m_hWnd, nID);
    int nCount = (int)::SendMessageA(hList, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < nCount; i++)
    {
        if ((DWORD)::SendMessageA(hList, CB_GETITEMDATA, i, 0) == dwCode)
        {
            ::SendMessageA(hList, CB_SETCURSEL, i, 0);
            return TRUE;
        }
    }
    return FALSE;
}

void CPageMailScan::UpdateControlStates()
{
    BOOL fOn = IsOn();
    static const UINT s_anIds[] = { IDC_MAIL_SPLASH, IDC_MAIL_ZIP_CLEAN, IDC_MAIL_ACTION2ND, IDC_MAIL_ACTION };
    for (UINT nID : s_anIds)
        ::EnableWindow(::GetDlgItem(m_hWnd, nID), fOn);
    UpdateOutlookRunButton();
    UpdateActionControls();
}

void CPageMailScan::UpdateOutlookRunButton()
{
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_OUTLOOK_RUN), IsProgramInFolder(g_szOutlookScanner));
    UpdateWindow();
}

void CPageMailScan::UpdateActionControls()
{
    BOOL fEnable = SelectedCode(IDC_MAIL_ACTION) == 3 && IsOn();
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_ZIP_CLEAN), fEnable);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_ACTION2ND), fEnable);
    CheckDlgButton(IDC_MAIL_ZIP_CLEAN, GetMailScanValue("ZipClean") ? BST_CHECKED : BST_UNCHECKED);
}

/////////////////////////////////////////////////////////////////////////////
// Changes by the user

void CPageMailScan::OnMailScanOnOff()
{
    ChangeMailScanOnOff();
}

void CPageMailScan::ChangeMailScanOnOff()
{
    BOOL fOn = IsOn();
    if (fOn)
        AfxMessageBox(IDS_MAIL_SCAN_ON, MB_OK);
    UpdateControlStates();
    SetMailScanValue("OnOff", fOn ? 1 : 0);
    ApplyQuelmailSettings();
}

void CPageMailScan::OnSelChangeAction()
{
    UpdateActionControls();
    SetMailScanValue("Action", (DWORD)SelectedCode(IDC_MAIL_ACTION));
    ApplyQuelmailSettings();
}

void CPageMailScan::OnSelChangeAction2nd()
{
    SetMailScanValue("Action2nd", (DWORD)SelectedCode(IDC_MAIL_ACTION2ND));
    ApplyQuelmailSettings();
}

void CPageMailScan::OnZipClean()
{
    SetMailScanValue("ZipClean", IsDlgButtonChecked(IDC_MAIL_ZIP_CLEAN) == BST_CHECKED);
    ApplyQuelmailSettings();
}

void CPageMailScan::OnSplash()
{
    SetMailScanValue("Splash", IsDlgButtonChecked(IDC_MAIL_SPLASH) == BST_CHECKED);
    ApplyQuelmailSettings();
}

void CPageMailScan::ApplyQuelmailSettings()
{
    if (!IsQuelmailInstalled())
        return;
    DWORD dwOnOff = GetMailScanValue("OnOff");
    CString strFolder;
    GetProgramFolder(strFolder);
    char szLibrary[MAX_PATH];
    _snprintf(szLibrary, sizeof(szLibrary) - 1, "%s%s", (LPCSTR)strFolder, "VUV3ADOR.DLL");
    szLibrary[sizeof(szLibrary) - 1] = '\0';
    HMODULE hLibrary = ::LoadLibraryA(szLibrary);
    DWORD dwError = ::GetLastError();
    if (hLibrary != NULL)
    {
        typedef void(__stdcall * PFN_SETCONFIGKEY)(HKEY, LPCSTR);
        typedef void(__stdcall * PFN_VOID)();
        PFN_SETCONFIGKEY pfnSetConfigKey = (PFN_SETCONFIGKEY)::GetProcAddress(hLibrary, "SetConfigKey");
        PFN_VOID pfnSwitch = (PFN_VOID)::GetProcAddress(hLibrary, dwOnOff ? "SetQuelmail" : "RestoreQuelmail");
        if (pfnSetConfigKey != NULL)
            pfnSetConfigKey(HKEY_LOCAL_MACHINE, g_szVuv3AdorKey);
        if (pfnSwitch != NULL)
            pfnSwitch();
        ::FreeLibrary(hLibrary);
    }
    else
    {
        CString strMessage;
        strMessage.Format("[Vigilon] Can't load Vuv3Ador.dll, Error code = %d", (int)dwError);
        AfxMessageBox(strMessage, MB_OK);
    }
    HWND hTrap = ::FindWindowA("Pop3Scan", NULL);
    if (hTrap != NULL)
        ::PostMessageA(hTrap, WM_QUELMAIL_SETTINGS_CHANGED, 0, 0);
}

void CPageMailScan::OnSetupQuelmail()
{
    BOOL fAgreed = FALSE;
    if (!IsQuelmailInstalled())
    {
        if (!AskYesNo(IDS_MAIL_ASK_SETUP))
        {
            CheckDlgButton(IDC_MAIL_ON_OFF, BST_UNCHECKED);
            UpdateControlStates();
            SetMailScanValue("OnOff", 0);
            return;
        }
        fAgreed = TRUE;
    }
    if (!DownloadClientUtility(g_szQuelmailSetup))
        return;
    if (fAgreed)
    {
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIL_ON_OFF), TRUE);
        CheckDlgButton(IDC_MAIL_ON_OFF, BST_CHECKED);
    }
    RunQuelmailSetup();
    ChangeMailScanOnOff();
}

void CPageMailScan::RunQuelmailSetup()
{
    StartProgram(g_szQuelmailSetup, SW_HIDE);
    SetFocus();
}

void CPageMailScan::OnInstallOutlookScanner()
{
    BOOL fWasAbsent = FALSE;
    if (!IsProgramInFolder(g_szOutlookScanner))
    {
        if (!AskYesNo(IDS_MAIL_ASK_OUTLOOK))
            return;
        fWasAbsent = TRUE;
    }
    DownloadClientUtility(g_szOutlookScanner);
    UpdateOutlookRunButton();
    if (fWasAbsent)
        RunOutlookScanner();
}

void CPageMailScan::RunOutlookScanner()
{
    StartProgram(g_szOutlookScanner, SW_HIDE);
}

/////////////////////////////////////////////////////////////////////////////
// Download of client utilities

CString CPageMailScan::GetUtilityFolder(const CString& strCgiOnSpecialLog)
{
    int nSlash = strCgiOnSpecialLog.GetLength() > 1 ? strCgiOnSpecialLog.Find('/', 1) : -1;
    CString strFolder = nSlash >= 0 ? strCgiOnSpecialLog.Left(nSlash) : CString();
    return strFolder + "/ClientUtility/";
}

BOOL CPageMailScan::GetServerSettings(SServerSettings& settings)
{
    LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
    settings.dwMode = 0;
    settings.dwServerPort = 80;
    settings.dwUseProxy = 0;
    settings.dwProxyPort = 80;
    if (!ReadRegistryDword(pszKey, "Mode", &settings.dwMode) || settings.dwMode == 0)
        return FALSE;
    ReadRegistryString(pszKey, "Server", settings.strServer);
    ReadRegistryString(pszKey, "CgiOnSpecialLog", settings.strCgiOnSpecialLog);
    ReadRegistryDword(pszKey, "ServerPort", &settings.dwServerPort);
    ReadRegistryDword(pszKey, "UseProxy", &settings.dwUseProxy);
    ReadRegistryString(pszKey, "ProxyServer", settings.strProxyServer);
    ReadRegistryDword(pszKey, "ProxyPort", &settings.dwProxyPort);
    ReadRegistryString(pszKey, "ProxyLogin", settings.strProxyLogin);
    ReadRegistryString(pszKey, "ProxyPassword", settings.strProxyPassword);
    if (settings.strServer.IsEmpty())
    {
        VGLTRACE(12, "No server in the product key: nothing downloaded");
        return FALSE;
    }
    if (settings.dwUseProxy && !settings.strProxyPassword.IsEmpty())
    {
        int nLength = settings.strProxyPassword.GetLength();
        if (settings.strProxyPassword.Find("!CRYPT!") >= 0)
        {
            std::vector<char> text(nLength + 1);
            memcpy(&text[0], (LPCSTR)settings.strProxyPassword, nLength + 1);
            NewDecryptStr(&text[0]);
            settings.strProxyPassword = &text[0];
        }
        else
        {
            int nSize = nLength * 3 + 1;
            std::vector<char> text(nSize, '\0');
            if (PWDDecrypt(&text[0], settings.strProxyPassword, &nSize) == 0)
                settings.strProxyPassword = &text[0];
        }
    }
    return TRUE;
}

int CPageMailScan::downloadProgressCallback(int nStage, int, void* pContext)
{
    if (pContext == NULL)
        return 1;
    SDownloadProgress* pProgress = (SDownloadProgress*)pContext;
    static const int s_anPositions[] = { 10, 20, 30, 40, 50, 60, 100 };
    if (pProgress->pDialog->m_hWnd == NULL)
        return 1;
    if (nStage >= 0 && nStage <= 6)
        pProgress->pDialog->SetPos(s_anPositions[nStage]);
    if (pProgress->pDialog->IsCancelPressed())
        pProgress->fCancelled = TRUE;
    return pProgress->fCancelled ? 0 : 1;
}

BOOL CPageMailScan::isSameFile(LPCSTR pszFileA, LPCSTR pszFileB)
{
    HANDLE hA = ::CreateFileA(pszFileA, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hA == INVALID_HANDLE_VALUE)
        return FALSE;
    HANDLE hB = ::CreateFileA(pszFileB, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hB == INVALID_HANDLE_VALUE)
    {
        ::CloseHandle(hA);
        return FALSE;
    }
    BOOL fSame = ::GetFileSize(hA, NULL) == ::GetFileSize(hB, NULL);
    while (fSame)
    {
        char abA[1024], abB[1024];
        DWORD cbA = 0, cbB = 0;
        if (!::ReadFile(hA, abA, sizeof(abA), &cbA, NULL) || !::ReadFile(hB, abB, sizeof(abB), &cbB, NULL) ||
            cbA != cbB || memcmp(abA, abB, cbA) != 0)
        {
            fSame = FALSE;
            break;
        }
        if (cbA == 0)
            break;
    }
    ::CloseHandle(hA);
    ::CloseHandle(hB);
    return fSame;
}

void CPageMailScan::closeRunningUtility(LPCSTR pszFileName)
{
    if (lstrcmpiA(pszFileName, g_szOutlookScanner) == 0)
    {
        HWND hScanner = ::FindWindowA(NULL, g_pszOutlookScannerTitle);
        if (hScanner != NULL)
        {
            ::SendMessageA(hScanner, WM_CLOSE, 0, 0);
            ::PostMessageA(hScanner, WM_QUIT, 0, 0);
        }
    }
    else if (lstrcmpiA(pszFileName, g_szQuelmailSetup) == 0)
    {
        HWND hTrap = ::FindWindowA("Pop3Scan", NULL);
        if (hTrap != NULL)
            ::PostMessageA(hTrap, WM_CLOSE, 0, 0);
    }
}

BOOL CPageMailScan::DownloadClientUtility(LPCSTR pszFileName)
{
    VGLTRACE(1, "--> CPageMailScan::DownloadClientUtility(%s)", pszFileName);
    CString strFolder;
    GetProgramFolder(strFolder);
    char szTemp[MAX_PATH], szTarget[MAX_PATH];
    _snprintf(szTemp, sizeof(szTemp) - 1, "%s%s", (LPCSTR)strFolder, g_szTempDownload);
    szTemp[sizeof(szTemp) - 1] = '\0';
    _snprintf(szTarget, sizeof(szTarget) - 1, "%s%s", (LPCSTR)strFolder, pszFileName);
    szTarget[sizeof(szTarget) - 1] = '\0';

    SServerSettings server;
    if (!GetServerSettings(server))
    {
        VGLTRACE(2, "<-- CPageMailScan::DownloadClientUtility(): no server");
        return FALSE;
    }
    CString strObject = GetUtilityFolder(server.strCgiOnSpecialLog) + pszFileName;
    ::DeleteFileA(szTemp);

    CProgressDlg progress;
    SDownloadProgress context = { &progress, FALSE };
    progress.Create(this);
    progress.SetRange(0, 100);
    progress.SetPos(0);
    progress.SetStep(1);
    progress.SetStatusText(strObject);
    int nResult = HTTP_GetFile(szTemp, downloadProgressCallback, &context, server.strServer, server.dwServerPort,
                               strObject, server.dwUseProxy, server.strProxyServer, server.dwProxyPort,
                               server.strProxyLogin, server.strProxyPassword);
    VGLTRACE(3, "HTTP_GetFile(%s) = %d", (LPCSTR)strObject, nResult);
    if (progress.m_hWnd != NULL && progress.IsCancelPressed())
        context.fCancelled = TRUE;
    BOOL fCancelled = context.fCancelled;
    if (nResult == 200 && !fCancelled)
    {
        progress.SetPos(100);
        ::Sleep(100);
    }
    if (progress.m_hWnd != NULL)
        progress.DestroyWindow();

    if (fCancelled)
    {
        // A cancelled download installs nothing: the partial file goes and nothing is counted.
        ::DeleteFileA(szTemp);
        VGLTRACE(2, "<-- CPageMailScan::DownloadClientUtility(): cancelled");
        return FALSE;
    }
    if (nResult == -1)
    {
        AfxMessageBox("Vous devez disposer des privil\xE8ges d'administrateur pour installer ce module.", MB_ICONSTOP);
        return FALSE;
    }
    if (nResult != 200)
    {
        AfxMessageBox(IDS_MAIL_DOWNLOAD_FAILED, MB_ICONSTOP);
        return FALSE;
    }
    if (!FileExists(szTemp))
    {
        AfxMessageBox(IDS_UTILITY_COPY_FAILED, MB_ICONSTOP);
        return FALSE;
    }
    if (isSameFile(szTemp, szTarget))
    {
        ::Sleep(500);
        ::DeleteFileA(szTemp);
        AfxMessageBox(IDS_UTILITY_SAME, MB_ICONINFORMATION);
        return FALSE;
    }
    closeRunningUtility(pszFileName);
    while (!::CopyFileA(szTemp, szTarget, FALSE))
    {
        if (AfxMessageBox(IDS_UTILITY_COPY_FAILED, MB_RETRYCANCEL | MB_ICONQUESTION) == IDCANCEL)
            break;
    }
    ::Sleep(500);
    ::DeleteFileA(szTemp);

    CString strCount = "/vigilon/cgi/cgiShowPage.exe?ID=9732&File=";
    strCount += pszFileName;
    HTTP_GetFile(g_szCountReply, NULL, NULL, server.strServer, server.dwServerPort, strCount, server.dwUseProxy,
                 server.strProxyServer, server.dwProxyPort, server.strProxyLogin, server.strProxyPassword);
    ::Sleep(500);
    ::DeleteFileA(g_szCountReply);
    VGLTRACE(2, "<-- CPageMailScan::DownloadClientUtility()");
    return TRUE;
}

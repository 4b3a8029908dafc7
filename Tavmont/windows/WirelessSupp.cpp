// The wireless support page.
#include "WirelessSupp.h"

#include "LogTracker.h"
#include "RegistryKey.h"
#include "resource_ids.h"

#include <mbstring.h>
#include <stdio.h>
#include <string.h>

const char g_pszAerlumeKey[] = "Software\\Kavrel\\Aerlume\\ApplicationPath";
const char g_pszScvPluginKey[] = "SOFTWARE\\CheckPoint\\SecuRemote\\SCV\\Plugins\\VgleScv\\6.7";

namespace
{
const char g_szAerlumeSetup[] = "KsxWins.exe";
const char g_szAerlumeMain[] = "KSXWMain.exe";
const char g_szScvPack[] = "vglescvpack.exe";
const char g_szPiReg[] = "pireg.exe";
const char g_szScvPlugin[] = "vglescv.dll";
const DWORD SCV_TIMEOUT = 60000;
}

BOOL runAndWait(LPCSTR pszApplication, LPSTR pszCommandLine, DWORD dwMilliseconds)
{
    if (pszApplication == NULL || pszCommandLine == NULL)
        return FALSE;
    STARTUPINFOA si;
    ::GetStartupInfoA(&si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    if (!::CreateProcessA(pszApplication, pszCommandLine, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL, NULL, &si,
                          &pi))
    {
        VGLTRACE(12, "CreateProcess(%s) failed (%d)", pszApplication, (int)::GetLastError());
        return FALSE;
    }
    ::WaitForSingleObject(pi.hProcess, dwMilliseconds);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return TRUE;
}

BEGIN_MESSAGE_MAP(CWirelessSupp, CDialog)
    ON_BN_CLICKED(IDC_WIRELESS_INSTALL, OnInstallAerlume)
    ON_BN_CLICKED(IDC_WIRELESS_SCV, OnScvPlugin)
    ON_BN_CLICKED(IDC_WIRELESS_RUN, OnRunAerlume)
    ON_WM_PAINT()
END_MESSAGE_MAP()

CWirelessSupp::CWirelessSupp(CWnd*) : CPageMailScan(IDD, NULL)
{
}

CWirelessSupp::~CWirelessSupp()
{
}

void CWirelessSupp::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

BOOL CWirelessSupp::AskYesNo(UINT nIDPrompt)
{
    int n = AfxMessageBox(nIDPrompt, MB_YESNO);
    return n == IDYES || n == IDOK;
}

BOOL CWirelessSupp::OnInitDialog()
{
    CDialog::OnInitDialog();
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_WIRELESS_SCV), NS_RegistryKey::GetCheckPointSecureClientOnOff());
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_WIRELESS_INSTALL), NS_RegistryKey::GetAerlumeOnOff());
    DWORD dwMode = 0;
    ReadRegistryDword(NS_RegistryKey::GetCurrentVersionKeyName(), "Mode", &dwMode);
    m_dwServerMode = dwMode;
    if (dwMode == 0)
    {
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_WIRELESS_SCV), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_WIRELESS_INSTALL), FALSE);
    }
    return TRUE;
}

void CWirelessSupp::OnPaint()
{
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_WIRELESS_RUN), IsAerlumeInstalled());
    Default();
}

BOOL CWirelessSupp::IsAerlumeInstalled(CString* pstrInstallPath)
{
    CString strPath;
    BOOL fInstalled = ReadRegistryString(g_pszAerlumeKey, "InstallPath", strPath);
    if (pstrInstallPath != NULL)
        *pstrInstallPath = strPath;
    return fInstalled;
}

void CWirelessSupp::OnInstallAerlume()
{
    if (IsAerlumeInstalled() || AskYesNo(IDS_WIRELESS_ASK_INSTALL))
        InstallAerlume();
}

void CWirelessSupp::InstallAerlume()
{
    ::DeleteFileA(g_szAerlumeSetup);
    if (DownloadClientUtility(g_szAerlumeSetup))
        StartProgram(g_szAerlumeSetup, SW_SHOW);
}

void CWirelessSupp::OnRunAerlume()
{
    CString strInstallPath;
    if (IsAerlumeInstalled(&strInstallPath))
    {
        char szMain[MAX_PATH];
        _snprintf(szMain, sizeof(szMain) - 1, "%s%s", (LPCSTR)strInstallPath, g_szAerlumeMain);
        szMain[sizeof(szMain) - 1] = '\0';
        if (::GetFileAttributesA(szMain) != INVALID_FILE_ATTRIBUTES)
            ::WinExec(szMain, SW_SHOW);
        else
            StartProgram(g_szAerlumeSetup, SW_SHOW);
        return;
    }
    if (AskYesNo(IDS_WIRELESS_ASK_INSTALL))
        InstallAerlume();
}

void CWirelessSupp::OnScvPlugin()
{
    if (IsProgramInFolder(g_szScvPack))
    {
        RegisterScvPlugin();
        return;
    }
    if (AskYesNo(IDS_WIRELESS_ASK_SCV))
        InstallScvPlugin();
}

void CWirelessSupp::InstallScvPlugin()
{
    if (DownloadClientUtility(g_szScvPack))
        RegisterScvPlugin();
}

void CWirelessSupp::RegisterScvPlugin()
{
    CString strFolder;
    GetProgramFolder(strFolder);
    char szPack[MAX_PATH], szPiReg[MAX_PATH], szCommand[MAX_PATH];
    _snprintf(szPack, sizeof(szPack) - 1, "%s%s", (LPCSTR)strFolder, g_szScvPack);
    szPack[sizeof(szPack) - 1] = '\0';
    _snprintf(szPiReg, sizeof(szPiReg) - 1, "%s%s", (LPCSTR)strFolder, g_szPiReg);
    szPiReg[sizeof(szPiReg) - 1] = '\0';
    szCommand[0] = '\0';
    runAndWait(szPack, szCommand, SCV_TIMEOUT);
    _snprintf(szCommand, sizeof(szCommand) - 1, "-d %s", g_szScvPlugin);
    szCommand[sizeof(szCommand) - 1] = '\0';
    runAndWait(szPiReg, szCommand, SCV_TIMEOUT);
    lstrcpynA(szCommand, g_szScvPlugin, sizeof(szCommand));
    runAndWait(szPiReg, szCommand, SCV_TIMEOUT);
    AfxMessageBox(IsScvPluginRegistered() ? IDS_SCV_REGISTERED : IDS_SCV_NOT_REGISTERED, MB_OK);
}

BOOL CWirelessSupp::IsScvPluginRegistered()
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_pszScvPluginKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szImage[1025] = "";
    DWORD dwType = 0, cb = 1024;
    BOOL fRead = ::RegQueryValueExA(hKey, "IMAGEPATH", NULL, &dwType, (BYTE*)szImage, &cb) == ERROR_SUCCESS &&
                 dwType == REG_SZ;
    ::RegCloseKey(hKey);
    if (!fRead)
        return FALSE;
    szImage[cb < 1024 ? cb : 1024] = '\0';
    CString strFolder;
    GetProgramFolder(strFolder);
    CString strExpected = strFolder + g_szScvPlugin;
    return _mbsicmp((const unsigned char*)szImage, (const unsigned char*)(LPCSTR)strExpected) == 0;
}

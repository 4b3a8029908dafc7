// The main window's commands: the dispatcher, the tray popup menu and the update handlers,
// showing and hiding the windows, the dialogs the commands open, and the Unload command with
// its password and the unload itself.
#include "TavmontDlg.h"

#include <process.h>
#include <shellapi.h>

#include "AboutDlg.h"
#include "ClientClock.h"
#include "FlagEventGuard.h"
#include "Globals.h"
#include "InternetSettingsDlg.h"
#include "LogTracker.h"
#include "MessageDigest5.h"
#include "Misutils.h"
#include "Notification.h"
#include "ProxySettingDlg.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "ShellUtils.h"
#include "SynchronizeDlg.h"
#include "UnloadPasswordDlg.h"
#include "WatchDog.h"
#include "resource_ids.h"

namespace
{
const char s_szVirusEncyclopedia[] = "http://www.kavrel.example/vinfo/virusencyclo/";
const int MESSAGE_TEXT_SIZE = 1024;

// TRUE when the menu holds an item with this command.
BOOL HasMenuItem(CMenu* pMenu, UINT nID)
{
    return pMenu->GetMenuState(nID, MF_BYCOMMAND) != (UINT)-1;
}

// Starts a message-box thread with a heap copy of the text; the thread frees it.
void StartMessageThread(unsigned (__stdcall* pfnThread)(void*), LPCSTR pszText)
{
    char* pszCopy = new char[MESSAGE_TEXT_SIZE];
    lstrcpynA(pszCopy, pszText, MESSAGE_TEXT_SIZE);
    unsigned uThreadID = 0;
    HANDLE hThread = reinterpret_cast<HANDLE>(::_beginthreadex(0, 0, pfnThread, pszCopy, 0, &uThreadID));
    if (hThread == NULL)
        delete[] pszCopy;
    else
        ::CloseHandle(hThread);
}
}

/////////////////////////////////////////////////////////////////////////////
// The dispatcher

BOOL CTavmontDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nIconId = (UINT)wParam;
    if ((nIconId == 101 || nIconId == TRAY_ICON_ID) && lParam == WM_LBUTTONDBLCLK)
    {
        ShowMonitor();
        return TRUE;
    }
    if (((nIconId == 100 || nIconId == 101 || nIconId == TRAY_ICON_ID) && lParam == WM_RBUTTONDOWN) ||
        ((nIconId == 1000 || nIconId == 1001) && lParam == WM_RBUTTONUP))
    {
        return PostMessage(WM_TRAY_CONTEXT_MENU, 0, 0);
    }

    UINT nID = LOWORD(wParam);
    switch (nID)
    {
    case IDOK:
    case IDCANCEL:
    case ID_UNLOAD:
        OnUnloadCommand();
        break;
    case ID_OPEN_MAIN_WINDOW:
        OnShowMainWindow();
        break;
    case ID_HIDE_MAIN_WINDOW:
        HideToTray();
        break;
    case ID_SHOW_MONITOR:
    case ID_SHOW_MONITOR_ALT:
        ShowMonitor();
        break;
    case ID_CONSOLE_MANUAL_SCAN:
    case ID_CONSOLE_SCAN_RESULT:
    case ID_CONSOLE_MAIL_SCAN:
        m_sheetFake.SendMessage(WM_COMMAND, nID, 0);
        break;
    case ID_CONSOLE_VIRUS_LOG:
        m_sheetFake.SendMessage(WM_COMMAND, m_fMailScanPage ? ID_CONSOLE_VIRUS_LOG : ID_CONSOLE_MAIL_SCAN, 0);
        break;
    case ID_CONSOLE_TOOLS:
        m_sheetFake.SendMessage(WM_COMMAND, m_fMailScanPage ? ID_CONSOLE_TOOLS : ID_CONSOLE_VIRUS_LOG, 0);
        break;
    case ID_OPTIONS_MANUAL_SCAN:
        OnOptionsPage(COptionsPropertySheet::PAGE_MANUAL_SCAN);
        break;
    case ID_OPTIONS_REAL_TIME_SCAN:
        OnOptionsPage(COptionsPropertySheet::PAGE_REAL_TIME_SCAN);
        break;
    case ID_OPTIONS_SCHEDULED_SCAN:
        OnOptionsPage(COptionsPropertySheet::PAGE_SCHEDULED_SCAN);
        break;
    case ID_OPTIONS_EXCLUSION_LIST:
        OnOptionsPage(COptionsPropertySheet::PAGE_EXCLUSION_LIST);
        break;
    case ID_HELP_CONTENTS:
        if (CWinApp* pApp = AfxGetApp())
            pApp->WinHelp(0, HELP_CONTENTS);
        break;
    case ID_HELP_ON_HELP:
        ::WinHelpA(m_hWnd, NULL, HELP_HELPONHELP, 0);
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_UPDATE_NOW:
        OnUpdateNewSettings();
        break;
    case ID_INTERNET_SETTINGS:
        OnInternetSettings();
        break;
    case ID_SUPPORT_TOOL:
        OnSupportTool();
        break;
    case ID_VIRUS_ENCYCLOPEDIA:
        OnVirusEncyclopedia();
        break;
    case ID_FORCE_MOBILE:
        OnForceMobile();
        break;
    case ID_STOP_SCHEDULED_SCAN:
        OnStopScheduleScan();
        break;
    case ID_SCHEDULED_UPDATE:
        OnScheduleUpdateOnOff();
        break;
    case ID_PROXY_SETTINGS:
        OnProxySettings();
        break;
    case ID_SHOW_SCAN_PROGRESS:
        m_sheetFake.ShowScanProgress();
        break;
    case ID_HIDE_SCAN_PROGRESS:
        m_sheetFake.HideScanProgress();
        break;
    default:
        break;
    }
    return TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// Tray popup menu and update handlers

LRESULT CTavmontDlg::OnTrayContextMenu(WPARAM, LPARAM)
{
    POINT pt;
    ::GetCursorPos(&pt);
    CMenu* pMenu = m_menuTray.GetSubMenu(0);
    if (pMenu != NULL)
    {
        AdjustTrayMenu(pMenu);
        CString strItems;
        for (UINT i = 0; i < pMenu->GetMenuItemCount(); i++)
        {
            CString strText;
            pMenu->GetMenuString(i, strText, MF_BYPOSITION);
            CString strItem;
            strItem.Format("%s%u:%s", i ? " | " : "", pMenu->GetMenuItemID(i), (LPCSTR)strText);
            strItems += strItem;
        }
        VGLTRACE(3, "CTavmontDlg::OnTrayContextMenu(): %s", (LPCSTR)strItems);
        SetForegroundWindow();
        pMenu->TrackPopupMenu(TPM_RIGHTBUTTON, pt.x, pt.y, this);
        PostMessage(WM_USER, 0, 0);
    }
    return 0;
}

void CTavmontDlg::AdjustTrayMenu(CMenu* pMenu)
{
    CString strText;
    BOOL fShowStop = NS_RegistryKey::GetAllowStopScheduleScan() && g_eventScheduleScanning.IsSignaled();
    BOOL fHasStop = HasMenuItem(pMenu, ID_STOP_SCHEDULED_SCAN);
    if (fShowStop && !fHasStop)
    {
        strText.LoadString(IDS_MENU_STOP_SCHEDULED_SCAN);
        pMenu->InsertMenu(1, MF_BYPOSITION | MF_STRING, ID_STOP_SCHEDULED_SCAN, strText);
    }
    else if (!fShowStop && fHasStop)
    {
        pMenu->DeleteMenu(ID_STOP_SCHEDULED_SCAN, MF_BYCOMMAND);
    }

    strText.LoadString(NS_RegistryKey::GetAllowScheduleUpdate() ? IDS_MENU_SCHEDULED_UPDATE_OFF
                                                                : IDS_MENU_SCHEDULED_UPDATE_ON);
    if (HasMenuItem(pMenu, ID_SCHEDULED_UPDATE))
        pMenu->ModifyMenu(ID_SCHEDULED_UPDATE, MF_BYCOMMAND | MF_STRING, ID_SCHEDULED_UPDATE, strText);

    if (NS_RegistryKey::IsHttpBased())
    {
        CString strUpdateNow;
        if (!strUpdateNow.LoadString(IDS_MENU_UPDATE_NOW))
        {
            VGLTRACE(3, "[Menu Update Now!] Load Resource fail.");
        }
        else
        {
            DWORD dwAllow = 1;
            if (!NS_RegistryKey::GetAllowUpdateNow(&dwAllow))
            {
                dwAllow = 1;
                VGLTRACE(3, "[Menu Update Now!] Read registry fail.");
            }
            BOOL fHas = HasMenuItem(pMenu, ID_INTERNET_SETTINGS);
            if (dwAllow && !fHas)
            {
                pMenu->InsertMenu(1, MF_BYPOSITION | MF_STRING, ID_INTERNET_SETTINGS, strUpdateNow);
                VGLTRACE(3, "[Menu Update Now!] Menu Inserted.");
            }
            else if (!dwAllow)
            {
                if (fHas)
                    pMenu->DeleteMenu(ID_INTERNET_SETTINGS, MF_BYCOMMAND);
                VGLTRACE(3, "[Menu Update Now!] Menu Deleted.");
            }
        }
        m_hStatusIcon = ChooseStatusIcon();

        BOOL fHasMobile = HasMenuItem(pMenu, ID_FORCE_MOBILE);
        if (NS_RegistryKey::IsAllowedMobile())
        {
            strText.LoadString(NS_RegistryKey::IsForceMobileEx() ? IDS_MENU_LEAVE_MOBILE : IDS_MENU_ENTER_MOBILE);
            if (fHasMobile)
                pMenu->ModifyMenu(ID_FORCE_MOBILE, MF_BYCOMMAND | MF_STRING, ID_FORCE_MOBILE, strText);
            else
                pMenu->InsertMenu(1, MF_BYPOSITION | MF_STRING, ID_FORCE_MOBILE, strText);
        }
        else if (fHasMobile)
        {
            pMenu->DeleteMenu(ID_FORCE_MOBILE, MF_BYCOMMAND);
        }
    }
    else
    {
        pMenu->DeleteMenu(ID_SCHEDULED_UPDATE, MF_BYCOMMAND);
        pMenu->DeleteMenu(ID_INTERNET_SETTINGS, MF_BYCOMMAND);
    }
}

BOOL CTavmontDlg::SetFileMenuVisible()
{
    CMenu* pMenu = m_menuMain.GetSubMenu(0);
    if (pMenu == NULL)
    {
        VGLTRACE(3, "CTavmontDlg::SetFileMenuVisible() The sub menu can not get");
        return FALSE;
    }
    m_fMailScanPage = NS_RegistryKey::GetMailScanPageOnOff();
    if (!m_fMailScanPage)
        pMenu->EnableMenuItem(ID_CONSOLE_MAIL_SCAN, MF_BYCOMMAND | MF_GRAYED);
    if (!NS_RegistryKey::GetToolPageOnOff())
        pMenu->EnableMenuItem(ID_CONSOLE_TOOLS, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
}

void CTavmontDlg::OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu)
{
    CDialog::OnInitMenuPopup(pPopupMenu, nIndex, bSysMenu);
    if (bSysMenu || pPopupMenu == NULL)
        return;
    CCmdUI state;
    state.m_pMenu = pPopupMenu;
    state.m_nIndexMax = pPopupMenu->GetMenuItemCount();
    for (state.m_nIndex = 0; state.m_nIndex < state.m_nIndexMax; state.m_nIndex++)
    {
        state.m_nID = pPopupMenu->GetMenuItemID(state.m_nIndex);
        if (state.m_nID == 0)
            continue;                            // a separator
        if (state.m_nID == (UINT)-1)
        {
            // A sub-menu stands for its first item.
            state.m_pSubMenu = pPopupMenu->GetSubMenu(state.m_nIndex);
            if (state.m_pSubMenu == NULL)
                continue;
            state.m_nID = state.m_pSubMenu->GetMenuItemID(0);
            if (state.m_nID == 0 || state.m_nID == (UINT)-1)
                continue;
            state.DoUpdate(this, FALSE);
        }
        else
        {
            state.m_pSubMenu = NULL;
            state.DoUpdate(this, FALSE);
        }
        UINT nCount = pPopupMenu->GetMenuItemCount();
        if (nCount < state.m_nIndexMax)
        {
            // A handler removed items: go on at the first item not yet visited.
            state.m_nIndex -= (state.m_nIndexMax - nCount);
            while (state.m_nIndex < nCount && pPopupMenu->GetMenuItemID(state.m_nIndex) == state.m_nID)
                state.m_nIndex++;
        }
        state.m_nIndexMax = nCount;
    }
}

void CTavmontDlg::OnUpdateOptionsManualScan(CCmdUI* pCmdUI) { pCmdUI->Enable(g_ManualScanINI.m_fAllowCfg); }
void CTavmontDlg::OnUpdateOptionsRealTimeScan(CCmdUI* pCmdUI) { pCmdUI->Enable(g_RealTimeScanINI.m_fAllowCfg); }
void CTavmontDlg::OnUpdateOptionsScheduledScan(CCmdUI* pCmdUI) { pCmdUI->Enable(g_ScheduleScanINI.m_fAllowCfg); }
void CTavmontDlg::OnUpdateOptionsExclusionList(CCmdUI* pCmdUI) { pCmdUI->Enable(g_ExclusionFileINI.m_fAllowCfg); }

void CTavmontDlg::OnUpdateUnload(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!m_flagAnimating.IsSignaled() && !IsScanning() && !m_fUnloading &&
                   !m_flagModalBusy.IsSignaled());
}

void CTavmontDlg::OnUpdateWhenIdle(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!IsScanning() && !m_fUnloading && !m_flagModalBusy.IsSignaled());
}

void CTavmontDlg::OnUpdateAbout(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(TRUE);
}

/////////////////////////////////////////////////////////////////////////////
// Showing and hiding

void CTavmontDlg::HideToTray()
{
    if (m_fTrayIconAdded &&
        !(NS_RegistryKey::GetShowWindowOnMultipleInstances() && ::IsWindow(m_hWnd)))
        return;
    if (m_dlgIOMonitor.m_hWnd != NULL)
    {
        m_dlgIOMonitor.HideVirusFoundDialog();
        m_dlgIOMonitor.ShowWindow(SW_HIDE);
    }
    ShowWindow(SW_HIDE);
}

void CTavmontDlg::OnShowMainWindow()
{
    if (!NS_RegistryKey::GetShowWindowOnMultipleInstances())
        return;
    m_sheetFake.m_dlgLogReport.ReadProfileSetting();
    CenterWindow(CWnd::GetDesktopWindow());
    switchToThisWindow(m_hWnd);
    ShowWindow(SW_SHOWNORMAL);
    BringWindowToTop();
    UpdateWindow();
    SetActiveWindow();
}

void CTavmontDlg::ShowMonitor()
{
    if (m_dlgIOMonitor.m_hWnd == NULL)
        return;
    m_dlgIOMonitor.ShowWindow(SW_SHOW);
    m_dlgIOMonitor.SetFocus();
    m_dlgIOMonitor.SetWindowPos(NULL, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

/////////////////////////////////////////////////////////////////////////////
// Dialogs opened by commands

void CTavmontDlg::OnOptionsPage(int nPage)
{
    if (m_sheetOptions.m_hWnd != NULL)
        return;
    CFlagEventGuard busy(m_flagModalBusy);
    m_sheetOptions.SetStartPage(nPage);
    m_sheetOptions.DoModal();
}

void CTavmontDlg::OnAbout()
{
    CFlagEventGuard busy(m_flagModalBusy);
    CAboutDlg dlg(&m_dib, m_pPalette, this);
    m_pAboutDlg = &dlg;
    dlg.DoModal();
    m_pAboutDlg = NULL;
}

void CTavmontDlg::OnProxySettings()
{
    CFlagEventGuard busy(m_flagModalBusy);
    CProxySettingDlg dlg(NULL);
    m_pProxyDlg = &dlg;
    dlg.DoModal();
    m_pProxyDlg = NULL;
}

void CTavmontDlg::OnInternetSettings()
{
    CFlagEventGuard busy(m_flagModalBusy);
    for (;;)
    {
        CInternetSettingsDlg dlgSettings(this);
        m_pInternetSettingsDlg = &dlgSettings;
        if (dlgSettings.DoModal() != IDOK)
            break;
        m_pInternetSettingsDlg = NULL;
        CSynchronizeDlg dlgSync(NULL);
        if (dlgSync.DoModal() != IDOK)
            break;
        if (dlgSync.IsSucceeded())
        {
            ShowMessageOnThread(IDS_SYNCHRONIZED);
            break;
        }
        if (!dlgSync.IsCancelled())
            AfxMessageBox(IDS_SYNCHRONIZE_FAILED);
    }
    m_pInternetSettingsDlg = NULL;
}

void CTavmontDlg::OnSupportTool()
{
    if (m_piSupportProcess.hProcess != NULL &&
        ::WaitForSingleObject(m_piSupportProcess.hProcess, 0) == WAIT_TIMEOUT)
    {
        VGLTRACE(3, "CTavmontDlg::OnSupportTool(): the support tool runs already");
        return;
    }
    if (m_piSupportProcess.hProcess != NULL)
        ::CloseHandle(m_piSupportProcess.hProcess);
    if (m_piSupportProcess.hThread != NULL)
        ::CloseHandle(m_piSupportProcess.hThread);
    memset(&m_piSupportProcess, 0, sizeof(m_piSupportProcess));
    NS_Notification::SpawnProcess(&m_piSupportProcess, getModulePath() + "Dervix.exe", NULL);
}

void CTavmontDlg::OnUpdateNewSettings()
{
    // The window installs what the renewal fetched: without it the engine would not be reloaded.
    NS_Notification::UpdateNewSettings(this, FALSE, FALSE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
    m_sheetFake.UpdateStatus();
    m_dlgIOMonitor.UpdateStatus();
}

void CTavmontDlg::OnVirusEncyclopedia()
{
    ::ShellExecuteA(NULL, "open", s_szVirusEncyclopedia, NULL, NULL, SW_SHOWNORMAL);
}

void CTavmontDlg::OnStopScheduleScan()
{
    g_eventStopScheduleScan.SetSignaled(TRUE);
    g_eventScheduleScanEnded.SetSignaled(TRUE);
    VGLTRACE(3, "CTavmontDlg::OnStopScheduleScan(): stop flags set, scheduled scan running = %d",
             g_eventScheduleScanning.IsSignaled());
}

void CTavmontDlg::Reconnect()
{
    NS_Notification::UpdateConnectionStatus(NS_RegistryKey::PingServer(2, 2000, FALSE));
    if (NS_Notification::IsIntranetConnectable())
        NS_Notification::SendStatusLog(NS_Clock::GetCurrentTime(), NSN_START, NULL);
}

void CTavmontDlg::OnForceMobile()
{
    BOOL fForced = NS_RegistryKey::IsForceMobileEx();
    BOOL fAllowed = NS_RegistryKey::IsAllowedMobile();
    VGLTRACE(3, "Enter CTavmontDlg::OnForceMobile IsForceMobileEx=%d, IsAllowedMobile=%d  ", fForced,
             fAllowed);
    if (fForced)
    {
        // Back to normal: announce the client again and send what waited.
        NS_RegistryKey::SetForceMobile(FALSE);
        Reconnect();
        if (NS_Notification::IsIntranetConnectable())
        {
            NS_Notification::WakeUpLogThreads(TRUE);
            if (fAllowed)
                ::_beginthread(CleanSuspectFolderThread, 0, NULL);
        }
    }
    else if (fAllowed)
    {
        NS_RegistryKey::SetForceMobile(TRUE);
        if (NS_Notification::IsIntranetConnectable())
            NS_Notification::SendStatusLogNow(NS_Clock::GetCurrentTime(), NSN_START, NULL, TRUE, FALSE,
                                              NULL, NULL, NULL, NULL, NULL);
        NS_Notification::UpdateConnectionStatus(FALSE);
    }
    UpdateTrayIcon();
}

/////////////////////////////////////////////////////////////////////////////
// Message boxes on threads of their own

unsigned __stdcall CTavmontDlg::ShowMessageThread(void* pvText)
{
    char* pszText = static_cast<char*>(pvText);
    try
    {
        CString strCaption;
        strCaption.LoadString(IDS_MESSAGE_CAPTION);
        ::MessageBoxA(NULL, pszText, strCaption, MB_TOPMOST);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::ShowMessageThread");
    }
    delete[] pszText;
    return 0;
}

unsigned __stdcall CTavmontDlg::ShowErrorMessageThread(void* pvText)
{
    char* pszText = static_cast<char*>(pvText);
    try
    {
        ::MessageBoxA(NULL, pszText, NULL, MB_TOPMOST | MB_ICONERROR);
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in CTavmontDlg::ShowErrorMessageThread");
    }
    delete[] pszText;
    return 0;
}

void CTavmontDlg::ShowMessageOnThread(UINT nIDString)
{
    CString strText;
    strText.LoadString(nIDString);
    StartMessageThread(ShowMessageThread, strText);
}

/////////////////////////////////////////////////////////////////////////////
// Unload

void CTavmontDlg::OnUnloadCommand()
{
    m_fUnloading = TRUE;
    if (CheckUnloadPassword())
    {
        OnUnload(0, 0);
        return;
    }
    m_fUnloading = FALSE;
    if (!m_fTrayIconAdded)
        m_fTrayIconAdded = AddTrayIcon();
}

BOOL CTavmontDlg::CheckUnloadPassword()
{
    if (NS_RegistryKey::GetAllowUnload())
        return TRUE;
    CString strDigest = NS_RegistryKey::GetUnloadPasswordDigest();
    if (strDigest.IsEmpty())
        return TRUE;

    CFlagEventGuard busy(m_flagModalBusy);
    for (;;)
    {
        CUnloadPasswordDlg dlg(NULL);
        if (dlg.DoModal() != IDOK)
            return FALSE;
        char szDigest[33] = "";
        CMessageDigest5 md5;
        md5.GetHexDigest((LPCSTR)dlg.m_strPassword, (UINT)dlg.m_strPassword.GetLength(), szDigest,
                         sizeof(szDigest));
        if (strDigest == szDigest)
            return TRUE;
        CString strText, strCaption;
        if (!strText.LoadString(IDS_WRONG_PASSWORD))
            strText = "Please enter password again.";
        strCaption.LoadString(IDS_MESSAGE_CAPTION);
        MessageBox(strText, strCaption, MB_ICONEXCLAMATION);
    }
}

LRESULT CTavmontDlg::OnUnload(WPARAM, LPARAM)
{
    CloseChildDialogs();
    VGLTRACE(1, "--> CTavmontDlg::OnUnload(WPARAM wParam, LPARAM lParam)");
    NS_Notification::StopQuelmail();
    NS_Notification::UpdateConnectionStatus(NS_RegistryKey::PingServer(2, 2000, FALSE));
    g_eventStopScanNow.SetSignaled(TRUE);
    g_eventScanNowEnded.SetSignaled(TRUE);
    NS_Notification::AllowConnect(FALSE);
    CString strHelpExtension;
    strHelpExtension.LoadString(IDS_HELP_FILE_EXTENSION);
    CString strHelpFile = getModulePath() + getModuleBaseName() + strHelpExtension;
    ::WinHelpA(m_hWnd, strHelpFile, HELP_QUIT, 0);
    EndDialog(1);
    VGLTRACE(2, "<-- CTavmontDlg::OnUnload(WPARAM wParam, LPARAM lParam)");
    UnRegWatchDog_Vgl();
    return 0;
}

void CTavmontDlg::CloseChildDialogs()
{
    // Only dialogs whose window exists are ended.
    if (m_pOptionsSheet != NULL && ::IsWindow(m_pOptionsSheet->m_hWnd))
    {
        ::EnableWindow(m_pOptionsSheet->m_hWnd, TRUE);
        m_pOptionsSheet->EndDialog(0);
    }
    CDialog* apDialogs[3] = { (CDialog*)m_pProxyDlg, (CDialog*)m_pAboutDlg, (CDialog*)m_pInternetSettingsDlg };
    for (CDialog* pDialog : apDialogs)
    {
        if (pDialog != NULL && ::IsWindow(pDialog->m_hWnd))
        {
            ::EnableWindow(pDialog->m_hWnd, TRUE);
            pDialog->EndDialog(0);
        }
    }
    m_pProxyDlg = NULL;
    m_pAboutDlg = NULL;
    m_pInternetSettingsDlg = NULL;
}

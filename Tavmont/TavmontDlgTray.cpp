// The main window's tray icon: the status icon and tip, adding and removing it, its return
// after a new task bar, and the animation while a scan or a download runs.
#include "TavmontDlg.h"

#include "ClientClock.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "ShellUtils.h"
#include "resource_ids.h"

namespace
{
const int TRAY_TRIES = 5;
}

BOOL CTavmontDlg::SendTrayIconMessage(HWND hWnd, DWORD dwMessage, UINT uID, HICON hIcon, LPCSTR pszTip)
{
    {
        CSingleLock lock(&m_csTrayData, TRUE);
        m_hwndTray = hWnd;
        m_dwTrayMessage = dwMessage;
        m_uTrayIconId = uID;
        m_hTrayIcon = hIcon;
        m_strTrayTip = pszTip != NULL ? pszTip : "";
    }
    BOOL fResult = notifyTrayIcon(hWnd, dwMessage, uID, hIcon, pszTip);
    VGLTRACE(3, "fResult(%d) = notifyTrayIcon(hWnd = 0x%p, dwMessage = %lu, uID = %u, icon = %d, tip = %s)",
             fResult, hWnd, dwMessage, uID, GetStatusIndexOf(hIcon),
             pszTip != NULL ? pszTip : "");
    return fResult;
}

int CTavmontDlg::GetStatusIndexOf(HICON hIcon)
{
    for (int i = 0; i < m_arrayStatusIcons.GetSize(); i++)
    {
        if (m_arrayStatusIcons[i] == hIcon)
            return i;
    }
    for (int i = 0; i < ANIMATION_ICON_COUNT; i++)
    {
        if (m_hAnimIcons[i] == hIcon)
            return 100 + i;
    }
    return -1;
}

BOOL CTavmontDlg::AddTrayIcon()
{
    CString strTip = FormatStatusTip();
    // The icon from the same state as the tip: the one chosen at construction predates the
    // start-up's connection checks.
    m_hStatusIcon = ChooseStatusIcon();
    BOOL fResult = FALSE;
    for (int i = 0; i < TRAY_TRIES && !fResult; i++)
        fResult = SendTrayIconMessage(m_hWnd, NIM_ADD, TRAY_ICON_ID, m_hStatusIcon, strTip);
    return fResult;
}

BOOL CTavmontDlg::DeleteTrayIcon()
{
    BOOL fResult = FALSE;
    for (int i = 0; i < TRAY_TRIES && !fResult; i++)
        fResult = SendTrayIconMessage(m_hWnd, NIM_DELETE, TRAY_ICON_ID, m_hStatusIcon, NULL);
    return fResult;
}

void CTavmontDlg::UpdateTrayIcon()
{
    CTavmontDlg* pDlg = g_pMainDlg;
    if (pDlg == NULL)
        return;
    // The icon is the main window's: another thread hands the update to the window's thread.
    if (::IsWindow(pDlg->m_hWnd) && ::GetWindowThreadProcessId(pDlg->m_hWnd, NULL) != ::GetCurrentThreadId())
    {
        ::PostMessageA(pDlg->m_hWnd, WM_UPDATE_TRAY_ICON, 0, 0);
        return;
    }
    CString strTip = pDlg->FormatStatusTip();
    pDlg->m_hStatusIcon = pDlg->ChooseStatusIcon();
    pDlg->SendTrayIconMessage(pDlg->m_hWnd, NIM_MODIFY, TRAY_ICON_ID, pDlg->m_hStatusIcon, strTip);
}

int CTavmontDlg::GetStatusIndex()
{
    int nIndex = NS_Notification::IsIntranetConnectable() ? 1 : 0;
    if (NS_RegistryKey::GetPatternTooOldWarningOnOff() && IsPatternTooOld())
        nIndex |= 2;
    if (!g_RealTimeScanINI.m_fEnable)
        nIndex |= 8;
    if (NS_RegistryKey::IsForceMobile())
        nIndex |= 4;
    return nIndex;
}

HICON CTavmontDlg::ChooseStatusIcon()
{
    int nIndex = GetStatusIndex();
    VGLTRACE(3, "CTavmontDlg::ChooseStatusIcon(), nIndex = %d", nIndex);
    return nIndex < m_arrayStatusIcons.GetSize() ? m_arrayStatusIcons[nIndex] : NULL;
}

BOOL CTavmontDlg::IsPatternTooOld()
{
    VGLTRACE(1, "--> CTavmontDlg::IsPatternTooOld()");
    BOOL bOld = FALSE;
    CString strFolder = getModulePath();
    PatternFileInfo info = {};
    int nResult = VSGetLastPattern(strFolder, NULL, &info, 0);
    VGLTRACE(3, "VSGetLastPattern(%s) = %d)", (LPCSTR)strFolder, nResult);
    FILETIME ftWrite;
    if (nResult == 0 && getFileTimes(strFolder + info.szFileName, NULL, NULL, &ftWrite))
    {
        FILETIME ftLocal;
        SYSTEMTIME st;
        ::FileTimeToLocalFileTime(&ftWrite, &ftLocal);
        ::FileTimeToSystemTime(&ftLocal, &st);
        CTime tWritten(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
        long nAge = (long)(NS_Clock::GetCurrentTime().GetTime() - tWritten.GetTime()) / 86400;
        bOld = nAge >= (long)NS_RegistryKey::GetPatternTooOldDays();
    }
    VGLTRACE(2, "<-- CTavmontDlg::IsPatternTooOld(), bOld = %d", bOld);
    return bOld;
}

CString CTavmontDlg::FormatStatusTip()
{
    CString strPattern = GetPatternVersionText();
    if (NS_RegistryKey::GetPatternTooOldWarningOnOff() && IsPatternTooOld())
    {
        CString strOld;
        strOld.LoadString(IDS_TIP_PATTERN_OLD);
        strPattern += strOld;
    }
    CString strEngine = NS_Notification::GetEngineVersion(CString());
    UINT nFormat = IDS_TIP_NOT_CONNECTED;
    if (NS_RegistryKey::IsForceMobile())
        nFormat = IDS_TIP_MOBILE;
    else if (NS_Notification::IsIntranetConnectable())
        nFormat = IDS_TIP_CONNECTED;
    CString strFormat, strTip;
    strFormat.LoadString(nFormat);
    strTip.Format(strFormat, (LPCSTR)strPattern, (LPCSTR)strEngine);
    return strTip;
}

CString CTavmontDlg::FormatTrayTip(int nPercent)
{
    const CString* pText = NULL;
    if (g_eventScheduleScanning.IsSignaled())
        pText = &m_strScheduleScanTip;
    else if (g_eventRemoteScanning.IsSignaled())
        pText = &m_strRemoteScanTip;
    else if (g_eventScanning.IsSignaled())
        pText = &m_strManualScanTip;
    else if (m_patternDownload.fActive)
        pText = &m_strPatternDownloadTip;
    else if (m_programDownload.fActive)
        pText = &m_strProgramDownloadTip;
    else if (m_engineDownload.fActive)
        pText = &m_strEngineDownloadTip;
    if (pText == NULL)
        return GetAppTitle();
    CString strTip;
    strTip.Format("%s %d%%", (LPCSTR)*pText, nPercent);
    return strTip;
}

void CTavmontDlg::AnimateTrayIcon(int nPercent)
{
    if (::IsWindow(m_hWnd) && ::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
    {
        ::PostMessageA(m_hWnd, WM_ANIMATE_TRAY_ICON, (WPARAM)nPercent, 0);
        return;
    }
    m_flagAnimating.SetSignaled(TRUE);
    m_nAnimIndex = (m_nAnimIndex + 1) % m_nAnimIcons;
    if (!::IsWindow(m_hWnd))
        return;
    SendTrayIconMessage(m_hWnd, NIM_MODIFY, TRAY_ICON_ID, m_hAnimIcons[m_nAnimIndex],
                        FormatTrayTip(nPercent));
}

void CTavmontDlg::StopTrayAnimation()
{
    // The flag is the window thread's alone: from another thread the stop queues behind that
    // thread's animate messages.
    if (::IsWindow(m_hWnd) && ::GetWindowThreadProcessId(m_hWnd, NULL) != ::GetCurrentThreadId())
    {
        ::PostMessageA(m_hWnd, WM_STOP_TRAY_ANIMATION, 0, 0);
        return;
    }
    m_flagAnimating.SetSignaled(FALSE);
    UpdateTrayIcon();
}

void CTavmontDlg::ScanProgressCallback(int nPercent)
{
    if (CTavmontDlg* pDlg = g_pMainDlg)
        pDlg->AnimateTrayIcon(nPercent);
}

int CTavmontDlg::ScanEndCallback()
{
    if (CTavmontDlg* pDlg = g_pMainDlg)
        pDlg->StopTrayAnimation();
    return 0;
}

BOOL CTavmontDlg::IsScanning()
{
    return g_eventScheduleScanning.IsSignaled() || g_eventRemoteScanning.IsSignaled() ||
           g_eventScanning.IsSignaled();
}

LRESULT CTavmontDlg::OnTaskbarCreated(WPARAM, LPARAM)
{
    HWND hWnd;
    UINT uID;
    HICON hIcon;
    CString strTip;
    {
        CSingleLock lock(&m_csTrayData, TRUE);
        hWnd = m_hwndTray;
        uID = m_uTrayIconId;
        hIcon = m_hTrayIcon;
        strTip = m_strTrayTip;
    }
    BOOL fResult = notifyTrayIcon(hWnd, NIM_ADD, uID, hIcon, strTip);
    VGLTRACE(3, "fResult(%d) = notifyTrayIcon(hWnd = 0x%p, NIM_ADD, uID = %u, icon = %d, tip = %s) "
                "after TaskbarCreated", fResult, hWnd, uID, GetStatusIndexOf(hIcon),
             (LPCSTR)strTip);
    return 0;
}

LRESULT CTavmontDlg::OnUpdateTrayIcon(WPARAM, LPARAM)
{
    UpdateTrayIcon();
    return 0;
}

LRESULT CTavmontDlg::OnAnimateTrayIcon(WPARAM wParam, LPARAM)
{
    AnimateTrayIcon((int)wParam);
    return 0;
}

LRESULT CTavmontDlg::OnStopTrayAnimation(WPARAM, LPARAM)
{
    StopTrayAnimation();
    return 0;
}

/////////////////////////////////////////////////////////////////////////////
// Download progress in the tray

void CTavmontDlg::DownloadBegin(SDownloadProgress CTavmontDlg::*pProgress, DWORD dwTotal, LPVOID pvContext)
{
    CTavmontDlg* pDlg = g_pMainDlg;
    if (pDlg == NULL || pvContext == NULL)
        return;
    SDownloadProgress& progress = pDlg->*pProgress;
    progress.dwTotal = dwTotal;
    progress.dwDone = 0;
    progress.fActive = TRUE;
    pDlg->AnimateTrayIcon(0);
}

void CTavmontDlg::DownloadProgress(SDownloadProgress CTavmontDlg::*pProgress, DWORD dwStatus, LPVOID pvInfo,
                                   LPVOID pvContext)
{
    CTavmontDlg* pDlg = g_pMainDlg;
    if (pDlg == NULL || pvContext == NULL)
        return;
    SDownloadProgress& progress = pDlg->*pProgress;
    if (dwStatus == ')' && progress.fActive)
    {
        if (pvInfo != NULL)
            progress.dwDone += *static_cast<const DWORD*>(pvInfo);
        int nPercent = 0;
        if (progress.dwTotal != 0)
        {
            double dPercent = (double)progress.dwDone / (double)progress.dwTotal * 100.0;
            nPercent = dPercent > 100.0 ? 100 : (int)dPercent;
        }
        pDlg->AnimateTrayIcon(nPercent);
    }
    else if (dwStatus == '2' || dwStatus == 'F')
    {
        progress.dwTotal = 0;
        progress.dwDone = 0;
        progress.fActive = FALSE;
        pDlg->StopTrayAnimation();
    }
}

void CTavmontDlg::OnPatternDownloadBegin(DWORD dwTotal, LPVOID pvContext)
{
    DownloadBegin(&CTavmontDlg::m_patternDownload, dwTotal, pvContext);
}

void CTavmontDlg::OnProgramDownloadBegin(DWORD dwTotal, LPVOID pvContext)
{
    DownloadBegin(&CTavmontDlg::m_programDownload, dwTotal, pvContext);
}

void CTavmontDlg::OnEngineDownloadBegin(DWORD dwTotal, LPVOID pvContext)
{
    DownloadBegin(&CTavmontDlg::m_engineDownload, dwTotal, pvContext);
}

void CTavmontDlg::OnPatternDownloadProgress(HINTERNET, DWORD_PTR, DWORD dwStatus, LPVOID pvInfo, DWORD,
                                            LPVOID pvContext)
{
    DownloadProgress(&CTavmontDlg::m_patternDownload, dwStatus, pvInfo, pvContext);
}

void CTavmontDlg::OnProgramDownloadProgress(HINTERNET, DWORD_PTR, DWORD dwStatus, LPVOID pvInfo, DWORD,
                                            LPVOID pvContext)
{
    DownloadProgress(&CTavmontDlg::m_programDownload, dwStatus, pvInfo, pvContext);
}

void CTavmontDlg::OnEngineDownloadProgress(HINTERNET, DWORD_PTR, DWORD dwStatus, LPVOID pvInfo, DWORD,
                                           LPVOID pvContext)
{
    DownloadProgress(&CTavmontDlg::m_engineDownload, dwStatus, pvInfo, pvContext);
}

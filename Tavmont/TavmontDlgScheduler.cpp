// The main window's scheduler thread (the scheduled scan's due test, the log threads' wake-up,
// the file-based poll) and the UI thread's handlers of the scheduled scan. The thread never
// touches a window: what a window must show is posted to the UI thread.
#include "TavmontDlg.h"

#include "ClientClock.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ScheduleCheck.h"
#include "ScheduleScan.h"
#include "ServerSettings.h"

namespace
{
const DWORD iSCHEDULE_CHECKING_PEROID = 5000;
}

unsigned __stdcall CTavmontDlg::SchedulerThread(void* pvParam)
{
    try
    {
        SchedulerThreadThis(static_cast<CTavmontDlg*>(pvParam));
    }
    catch (...)
    {
        // The scheduler ends quietly; scheduled scans and polling stop until the next start.
    }
    return 0;
}

unsigned CTavmontDlg::SchedulerThreadThis(CTavmontDlg* pThis)
{
    if (pThis == NULL)
        return 0;
    HANDLE hStop = g_eventStopScheduler.m_hObject;
    unsigned n = 0;
    while (::WaitForSingleObject(hStop, 0) != WAIT_OBJECT_0)
    {
        if (n % 2 == 0)
            pThis->CheckScheduleScan();
        else
            NS_Notification::WakeUpLogThreads(FALSE);
        n++;
        pThis->CheckPollingTime(iSCHEDULE_CHECKING_PEROID);
        DWORD dwRet = ::WaitForSingleObject(hStop, NS_Clock::GetPassMilliseconds(iSCHEDULE_CHECKING_PEROID));
        if (dwRet == WAIT_OBJECT_0)
        {
            VGLTRACE(3, "    WAIT_OBJECT_0 == (dwRet(0x%X) = ::WaitForSingleObject(g_eventStopScheduler, "
                        "iSCHEDULE_CHECKING_PEROID = %d)))",
                     (unsigned)dwRet, (int)iSCHEDULE_CHECKING_PEROID);
            break;
        }
    }
    return 0;
}

void CTavmontDlg::CheckScheduleScan()
{
    // Used by the scheduler thread alone.
    static CScheduleCheck s_check;
    CScheduleScanINI* pSettings = dynamic_cast<CScheduleScanINI*>(&NS_Configuration::GetScheduleScanINIBase());
    if (pSettings == NULL)
        return;
    CTime now = NS_Clock::GetCurrentTime();
    BOOL fDue = s_check.Check(*pSettings, now, NS_Clock::GetCurrentTime());
    if (!fDue)
        return;
    BOOL fPosted = ::PostMessageA(m_hWnd, WM_SCHEDULE_SCAN, 0, 0);
    VGLTRACE(3, "fPosted(%d) = ::PostMessage(WM_SCHEDULE_SCAN), scheduled %s, now %s", fPosted,
             (LPCSTR)s_check.m_tLastStarted.Format("%Y/%m/%d %H:%M"), (LPCSTR)now.Format("%Y/%m/%d %H:%M:%S"));
}

void CTavmontDlg::CheckPollingTime(DWORD dwMilliseconds)
{
    if (NS_RegistryKey::IsHttpBased())
        return;
    if (!addPollingTime(m_dwPollingElapsed, m_dwPollingInterval, dwMilliseconds))
        return;
    VGLTRACE(3, "    Polling time is hit, Time = %s",
             (LPCSTR)NS_Clock::GetCurrentTime().Format("%A,%B %d %Y, %H:%M:%S"));
    NS_RegistryKey::ResetFilebasePollingRange();
    DWORD dwRange = NS_RegistryKey::GetFilebasePollingRange(FALSE);
    m_dwPollingInterval = pollingIntervalOf(dwRange);
    m_dwPollingElapsed = 0;
    VGLTRACE(3, "m_dwPollingInterval(%lu) = range(%lu) bounded to 1..32767 minutes", m_dwPollingInterval,
             dwRange);
    NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
    NS_Notification::UpdateNewSettings(this, FALSE, FALSE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
    // The windows and the real-time settings are refreshed on the UI thread.
    BOOL fPosted = ::PostMessageA(m_hWnd, WM_UPDATE_CONFIGURATION, 0, 0);
    VGLTRACE(3, "fPosted(%d) = ::PostMessage(WM_UPDATE_CONFIGURATION)", fPosted);
}

int CTavmontDlg::AfterScheduledScan(BOOL fWasVisible, BOOL fPopup, BOOL fVirusFound)
{
    if (fWasVisible)
        return SCHEDULED_SCAN_RESTORE;
    if (fPopup && fVirusFound)
        return SCHEDULED_SCAN_POPUP;
    return SCHEDULED_SCAN_STAY_HIDDEN;
}

LRESULT CTavmontDlg::OnScheduleScan(WPARAM, LPARAM)
{
    VGLTRACE(1, "--> CTavmontDlg::OnScheduleScan(WPARAM wParam, LPARAM lParam)");
    BOOL fWasVisible = IsWindowVisible();
    if (fWasVisible)
    {
        if (m_pOptionsSheet != NULL && m_pOptionsSheet->m_hWnd != NULL)
            m_pOptionsSheet->ShowWindow(SW_HIDE);
        ShowWindow(SW_HIDE);
    }
    VGLTRACE(3, "--> m_sheetFake.ScheduleScan(), fWasVisible = %d", fWasVisible);
    int nResult = m_sheetFake.ScheduleScan();
    BOOL fVirusFound = m_sheetFake.m_dlgManualScan.IsVirusFound();
    VGLTRACE(3, "<-- nResult(%d) = m_sheetFake.ScheduleScan(), fVirusFound = %d", nResult, fVirusFound);

    BOOL fPopup = g_ScheduleScanINI.IsPopupVirusFound();
    VGLTRACE(3, "after the scheduled scan: fWasVisible = %d, fPopup = %d, fVirusFound = %d", fWasVisible, fPopup,
             fVirusFound);
    switch (AfterScheduledScan(fWasVisible, fPopup, fVirusFound))
    {
    case SCHEDULED_SCAN_RESTORE:
        ShowWindow(SW_SHOW);
        if (m_pOptionsSheet != NULL && m_pOptionsSheet->m_hWnd != NULL)
            m_pOptionsSheet->ShowWindow(SW_SHOW);
        VGLTRACE(3, "scheduled scan ended: windows shown again");
        break;
    case SCHEDULED_SCAN_POPUP:
        VGLTRACE(3, "scheduled scan ended: virus found, the main window pops up");
        OnShowMainWindow();
        break;
    default:
        VGLTRACE(3, "scheduled scan ended: the main window stays hidden");
        break;
    }
    VGLTRACE(2, "<-- CTavmontDlg::OnScheduleScan(WPARAM wParam, LPARAM lParam)");
    return 0;
}

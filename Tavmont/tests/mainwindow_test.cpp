// The main window's status display and the program's small decisions, without running the
// program: the status icon for each state, the tray tip, the download progress, the command
// line, the polling range and the busy-flag guard.
#include <gtest/gtest.h>
#include "langlibrary.h"

#include "FlagEventGuard.h"
#include "Globals.h"
#include "Notification.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "TavmontApp.h"
#include "TavmontDlg.h"
#include "atlbase.h"
#include "resource_ids.h"

#include <process.h>

#include <string>

namespace
{
void DeleteProductKey()
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetProductKeyName()) == ERROR_SUCCESS)
        key.RecurseDeleteKey("CurrentVersion");
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKey();
        ASSERT_TRUE(m_lang.Load() != NULL);
        m_pDlg = new CTavmontDlg(NULL);
        m_pDlg->m_strScheduleScanTip.LoadString(IDS_TIP_SCHEDULED_SCAN);
        m_pDlg->m_strManualScanTip.LoadString(IDS_TIP_MANUAL_SCAN);
        m_pDlg->m_strPatternDownloadTip.LoadString(IDS_TIP_PATTERN_DOWNLOAD);
    }

    void TearDown() override
    {
        delete m_pDlg;
        m_lang.Free();
        NS_Notification::UpdateConnectionStatus(TRUE);
        NS_RegistryKey::g_fForceMobile = FALSE;
        g_RealTimeScanINI.m_fEnable = TRUE;
        g_eventScheduleScanning.SetSignaled(FALSE);
        g_eventScanning.SetSignaled(FALSE);
        DeleteProductKey();
    }

    HICON Icon(UINT nId) { return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nId)); }

    CLanguageLibrary m_lang;
    CTavmontDlg* m_pDlg = NULL;
};
}

TEST_F(MainWindowTest, StatusIconForEachState)
{
    // (connected, forced mobile, real-time on) -> icon; the pattern warning is off.
    struct { BOOL fConnected, fMobile, fRealTime; UINT nIcon; } cases[] = {
        { FALSE, FALSE, TRUE, 299 }, { TRUE, FALSE, TRUE, 269 },
        { FALSE, TRUE, TRUE, 465 }, { TRUE, TRUE, TRUE, 465 },
        { FALSE, FALSE, FALSE, 463 }, { TRUE, FALSE, FALSE, 461 },
        { FALSE, TRUE, FALSE, 466 }, { TRUE, TRUE, FALSE, 466 } };
    for (const auto& c : cases)
    {
        NS_Notification::UpdateConnectionStatus(c.fConnected);
        NS_RegistryKey::g_fForceMobile = c.fMobile;
        g_RealTimeScanINI.m_fEnable = c.fRealTime;
        EXPECT_EQ(Icon(c.nIcon), m_pDlg->ChooseStatusIcon())
            << c.fConnected << c.fMobile << c.fRealTime;
    }
}

TEST_F(MainWindowTest, TipShowsTheStateOrTheRunningActivity)
{
    NS_Notification::UpdateConnectionStatus(TRUE);
    std::string strTip = (LPCSTR)m_pDlg->FormatStatusTip();
    EXPECT_EQ(0u, strTip.find("Vigilon - pattern ")) << strTip;
    NS_RegistryKey::g_fForceMobile = TRUE;
    EXPECT_EQ(0u, std::string((LPCSTR)m_pDlg->FormatStatusTip()).find("Vigilon (mobile) - pattern "));

    // Nothing runs: the title; the scheduled scan wins over the manual scan and a download.
    EXPECT_STREQ("Vigilon", m_pDlg->FormatTrayTip(42));
    g_eventScanning.SetSignaled(TRUE);
    EXPECT_STREQ("Manual scan 42%", m_pDlg->FormatTrayTip(42));
    CTavmontDlg::OnPatternDownloadBegin(1000, m_pDlg);
    g_eventScheduleScanning.SetSignaled(TRUE);
    EXPECT_STREQ("Scheduled scan 7%", m_pDlg->FormatTrayTip(7));
    g_eventScheduleScanning.SetSignaled(FALSE);
    g_eventScanning.SetSignaled(FALSE);
    EXPECT_STREQ("Downloading the pattern 100%", m_pDlg->FormatTrayTip(100));
}

TEST_F(MainWindowTest, DownloadProgressNeedsItsContextAndEnds)
{
    CTavmontDlg::OnPatternDownloadBegin(500, NULL);               // no display asked for
    EXPECT_FALSE(m_pDlg->m_patternDownload.fActive);
    CTavmontDlg::OnPatternDownloadBegin(500, m_pDlg);
    EXPECT_TRUE(m_pDlg->m_patternDownload.fActive);
    DWORD dwReceived = 300;
    CTavmontDlg::OnPatternDownloadProgress(NULL, 0, ')', &dwReceived, 4, m_pDlg);
    CTavmontDlg::OnPatternDownloadProgress(NULL, 0, ')', &dwReceived, 4, m_pDlg);
    EXPECT_EQ(600u, m_pDlg->m_patternDownload.dwDone);
    EXPECT_TRUE(m_pDlg->m_flagAnimating.IsSignaled());
    CTavmontDlg::OnPatternDownloadProgress(NULL, 0, 'F', NULL, 0, m_pDlg);
    EXPECT_FALSE(m_pDlg->m_patternDownload.fActive);
    EXPECT_EQ(0u, m_pDlg->m_patternDownload.dwTotal);
    EXPECT_FALSE(m_pDlg->m_flagAnimating.IsSignaled());
    EXPECT_FALSE(m_pDlg->m_programDownload.fActive);
}

namespace
{
// A download on a worker thread, from its start to its end.
unsigned __stdcall DownloadOnAWorker(void* pvDlg)
{
    DWORD dwReceived = 500;
    CTavmontDlg::OnPatternDownloadBegin(1000, pvDlg);
    CTavmontDlg::OnPatternDownloadProgress(NULL, 0, ')', &dwReceived, 4, pvDlg);
    CTavmontDlg::OnPatternDownloadProgress(NULL, 0, '2', NULL, 0, pvDlg);
    return 0;
}
}

// The animation flag is the window thread's: a download that ends on a worker while its
// animate messages are still queued leaves it clear (Unload stays available).
TEST_F(MainWindowTest, DownloadEndingOnAWorkerStopsTheAnimation)
{
    HWND hWnd = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(m_pDlg->SubclassWindow(hWnd));
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, DownloadOnAWorker, m_pDlg, 0, NULL);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(hThread, 10000));
    CloseHandle(hThread);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_FALSE(m_pDlg->m_patternDownload.fActive);
    EXPECT_FALSE(m_pDlg->m_flagAnimating.IsSignaled());
    m_pDlg->UnsubclassWindow();
    DestroyWindow(hWnd);
}

TEST_F(MainWindowTest, EveryResourceTheProgramLoadsIsThere)
{
    HINSTANCE h = AfxGetResourceHandle();
    static const UINT strings[] = {
        IDS_MESSAGE_CAPTION, IDS_HELP_FILE_EXTENSION, IDS_OPTIONS_CAPTION, IDS_TIP_SCHEDULED_SCAN,
        IDS_TIP_REMOTE_SCAN, IDS_TIP_MANUAL_SCAN, IDS_TIP_CONNECTED, IDS_TIP_PATTERN_DOWNLOAD,
        IDS_TIP_PROGRAM_DOWNLOAD, IDS_TIP_NOT_CONNECTED, IDS_FLOPPY_WARNING, IDS_WRONG_PASSWORD,
        IDS_TIP_ENGINE_DOWNLOAD, IDS_MENU_UPDATE_NOW, IDS_PENDING_VIRUS_LOG, IDS_MENU_ENTER_MOBILE,
        IDS_MENU_LEAVE_MOBILE, IDS_TIP_MOBILE, IDS_TIP_PATTERN_OLD, IDS_SYNCHRONIZED,
        IDS_SYNCHRONIZE_FAILED, IDS_PGX_LOG_FILE_NAME, IDS_MENU_STOP_SCHEDULED_SCAN,
        IDS_MENU_SCHEDULED_UPDATE_ON, IDS_MENU_SCHEDULED_UPDATE_OFF };
    for (UINT nId : strings)
    {
        char sz[512] = "";
        EXPECT_GT(::LoadStringA(h, nId, sz, sizeof sz), 0) << nId;
    }
    // The three status tips take the pattern and the engine, and fit the tray's 63 characters
    // with a long pattern number, the old-pattern note and a version.
    for (UINT nId : { IDS_TIP_CONNECTED, IDS_TIP_NOT_CONNECTED, IDS_TIP_MOBILE })
    {
        CString strFormat, strOld, strTip;
        strFormat.LoadString(nId);
        strOld.LoadString(IDS_TIP_PATTERN_OLD);
        strTip.Format(strFormat, (LPCSTR)(CString("12.345.67") + strOld), "5.600");
        EXPECT_LE(strTip.GetLength(), 63) << (LPCSTR)strTip;
    }
    for (UINT nId : { 128u, 269u, 299u, 301u, 303u, 461u, 462u, 463u, 464u, 465u, 466u, 467u, 468u })
        EXPECT_TRUE(::FindResourceA(h, MAKEINTRESOURCEA(nId), RT_GROUP_ICON) != NULL) << nId;
    for (UINT nId : { 129u, 224u, 233u, 246u, 248u, 293u })
        EXPECT_TRUE(::FindResourceA(h, MAKEINTRESOURCEA(nId), RT_DIALOG) != NULL) << nId;
    for (UINT nId : { 128u, 227u })
        EXPECT_TRUE(::FindResourceA(h, MAKEINTRESOURCEA(nId), RT_MENU) != NULL) << nId;
    for (UINT nId : { 147u, 197u })
        EXPECT_TRUE(::FindResourceA(h, MAKEINTRESOURCEA(nId), RT_VGL_DIB) != NULL) << nId;
}

TEST(ClientProgram, HideWindowSwitch)
{
    // (argument, flag) -> m_bHideWindow: the switch is compared with regard to case.
    struct { const char* pszParam; BOOL fFlag; BOOL fHide; } cases[] = {
        { "HideWindow", TRUE, TRUE }, { "hidewindow", TRUE, FALSE }, { "HideWindow", FALSE, FALSE },
        { "HideWindowX", TRUE, FALSE } };
    for (const auto& c : cases)
    {
        CAppCommandLineInfo info;
        info.ParseParam(c.pszParam, c.fFlag, TRUE);
        EXPECT_EQ(c.fHide, info.m_bHideWindow) << c.pszParam << c.fFlag;
    }
}

TEST(ClientProgram, PollingRangeIsBounded)
{
    // The range divides 32767 in the polling formula: never 0, never above 32767.
    struct { DWORD dwRange; int nBound; } cases[] = {
        { 0, 1 }, { 1, 1 }, { 360, 360 }, { 32767, 32767 }, { 32768, 32767 }, { 0xFFFFFFFF, 32767 } };
    for (const auto& c : cases)
    {
        int nRange = CTavmontDlg::BoundPollingRange(c.dwRange);
        EXPECT_EQ(c.nBound, nRange) << c.dwRange;
        EXPECT_GT(32767 / nRange, 0);
    }
    EXPECT_FALSE(CTavmontDlg::IsThreadHandle(NULL));
    EXPECT_FALSE(CTavmontDlg::IsThreadHandle(INVALID_HANDLE_VALUE));
}

TEST(ClientProgram, BusyFlagIsClearedWhenAnExceptionLeaves)
{
    CFlagEvent flag;
    try
    {
        CFlagEventGuard guard(flag);
        EXPECT_TRUE(flag.IsSignaled());
        throw 1;
    }
    catch (int)
    {
    }
    EXPECT_FALSE(flag.IsSignaled());
}

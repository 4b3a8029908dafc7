// On-demand scans: the walk's filters, what the walk counts, the finding worker, and the
// scan-result page's actions.
#include <gtest/gtest.h>
#include "langlibrary.h"

#include "CommonScanINI.h"
#include "Globals.h"
#include "ScanFilesDlg.h"
#include "ScanResultDlg.h"
#include "SystemError.h"
#include "ServerSettings.h"
#include "SplashDlg.h"
#include "VglTestSupport.h"
#include "WindowTree.h"
#include "vxpformat.h"
#include "resource_ids.h"

#include <process.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
// An engine that answers from a table of file names (anything else is clean) and encodes as told.
class CFakeEngine : public CVexorVXD
{
public:
    std::map<std::string, int> results;
    std::vector<std::string> scanned;
    BOOL fEncodeWorks = TRUE;
    int nReleased = 0;

    virtual int ScanFile(LPCSTR pszPath, int)
    {
        std::string path = pszPath;
        scanned.push_back(path);
        std::string name = path.substr(path.find_last_of('\\') + 1);
        auto it = results.find(name);
        return it == results.end() ? 0 : it->second;
    }
    virtual BOOL EncodeFile(LPCSTR pszSource, LPCSTR pszDestination)
    {
        if (!fEncodeWorks)
            return FALSE;
        return WriteWholeFile(pszDestination, "encoded:" + ReadWholeFile(pszSource));
    }
    virtual BOOL RegisterScanCallback(IOT_EventCallback, LPVOID) { return TRUE; }
    virtual void ReleaseEvent(LPVOID) { ++nReleased; }
    int nCleaned = 0;
    virtual int CleanBPVirus(char, BPMINFO*)
    {
        ++nCleaned;
        return 0;
    }
};

SScanCallbacks NoCallbacks()
{
    SScanCallbacks c = {NULL, NULL, NULL, NULL, NULL, NULL};
    return c;
}

CStringArray& Strings(CStringArray& arr, std::vector<const char*> items)
{
    arr.RemoveAll();
    for (const char* p : items)
        arr.Add(p);
    return arr;
}
}

TEST(ScanWalkTest, ExtensionAndExcludedNameFilters)
{
    CStringArray arrExt, arrNames;
    CString strAll = NS_ScanWalk::BuildExtensionText(".*", &arrExt);
    EXPECT_EQ(0, arrExt.GetSize());
    CString strExt = NS_ScanWalk::BuildExtensionText(".COM.exe", &arrExt);
    ASSERT_EQ(2, arrExt.GetSize());
    CString strNames = NS_ScanWalk::BuildExcludedNamesText(Strings(arrNames, {"ab.exe", "Skip.COM"}));
    struct
    {
        const char* name;
        BOOL fFilter;
        BOOL fScanned;
    } cases[] = {
        {"README", FALSE, TRUE},      {"A.DOC", FALSE, TRUE},     {"README", TRUE, FALSE},
        {"A.DOC", TRUE, FALSE},       {"x.com", TRUE, TRUE},      {"Y.EXE", TRUE, TRUE},
        {"y.exec", TRUE, FALSE},      {"skip.com", TRUE, FALSE},  {"AB.EXE", FALSE, FALSE},
        {"B.EXE", FALSE, TRUE},  // only whole names are excluded
        {"noext.", TRUE, FALSE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fScanned, NS_ScanWalk::IsFileToScan(c.name, c.fFilter, c.fFilter ? strExt : strAll, strNames))
            << c.name << " filter " << c.fFilter;
}

TEST(ScanWalkTest, ExcludedFolderCoversItsSubfoldersOnly)
{
    CStringArray arr;
    CString strText = NS_ScanWalk::BuildExcludedFoldersText(Strings(arr, {"C:\\TEMP", "", "d:\\Data\\Old\\"}));
    struct
    {
        const char* folder;
        BOOL fExcluded;
    } cases[] = {
        {"C:\\TEMP", TRUE},        {"c:\\temp\\", TRUE},        {"C:\\TEMP\\SUB", TRUE},
        {"C:\\TEMPORARY", FALSE},  {"C:\\TEMPORARY\\SUB", FALSE}, {"C:\\", FALSE},
        {"D:\\DATA", FALSE},       {"D:\\DATA\\OLD\\X", TRUE},  {"D:\\DATA\\OLDER", FALSE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fExcluded, NS_ScanWalk::IsInExcludedFolder(strText, c.folder)) << c.folder;
    EXPECT_FALSE(NS_ScanWalk::IsInExcludedFolder(NS_ScanWalk::BuildExcludedFoldersText(Strings(arr, {})), "C:\\"));
    CStringArray arrDrive;
    EXPECT_TRUE(NS_ScanWalk::IsInExcludedFolder(
        NS_ScanWalk::BuildExcludedFoldersText(Strings(arrDrive, {"E:\\"})), "E:\\ANY\\WHERE"));
}

// The walk: a finding counts as a virus, a failed call (1) as a scan error, excluded folders and
// names are skipped and a folder whose name only begins like an excluded one is scanned.
TEST(ScanWalkTest, WalkCountsFindingsAndScanErrorsApart)
{
    std::string root = FreshScratchFolder("ondemand_walk");
    for (const char* d : {"\\TEMP", "\\TEMP\\SUB", "\\TEMPORARY", "\\docs"})
        CreateDirectoryA((root + d).c_str(), NULL);
    for (const char* f : {"\\virus.com", "\\locked.com", "\\clean.com", "\\TEMP\\hidden.com", "\\TEMP\\SUB\\deep.com",
                          "\\TEMPORARY\\found.com", "\\docs\\readme.txt", "\\docs\\skipme.com"})
        WriteWholeFile(root + f, "x");
    CFakeEngine engine;
    engine.results = {{"virus.com", -1}, {"locked.com", 1}, {"hidden.com", -1}, {"deep.com", -1},
                      {"found.com", -1}, {"skipme.com", -1}};
    CManualScanINI settings;
    settings.m_fScanBoot = settings.m_fScanMemory = FALSE;
    CStringArray arrNames, arrFolders;
    Strings(arrNames, {"skipme.com"});
    CString strTemp = (root + "\\TEMP").c_str();
    arrFolders.Add(strTemp);
    CFlagEvent stop, ended;
    CScanFilesDlg dlg(NULL, NULL, &settings, NULL, &engine, NoCallbacks(), ".*", arrNames, arrFolders, &stop, &ended,
                      NULL, FALSE, NULL);
    dlg.m_arrPaths.Add(root.c_str());
    dlg.m_arrPaths.Add((root + "\\TEMP\\SUB").c_str());
    EXPECT_TRUE(dlg.ScanAll());
    EXPECT_EQ(2, dlg.m_nVirusTotal);
    EXPECT_EQ(1, dlg.m_nScanErrors);
    EXPECT_TRUE(dlg.m_fScanSuccess);
    EXPECT_EQ(5, dlg.m_nFilesScanned);  // virus, locked, clean, found, readme
    for (const std::string& path : engine.scanned)
    {
        EXPECT_EQ(std::string::npos, path.find("\\TEMP\\")) << path;
        EXPECT_EQ(std::string::npos, path.find("skipme")) << path;
    }

    // A stop request ends the walk: the run is no success.
    stop.SetSignaled(TRUE);
    CScanFilesDlg stopped(NULL, NULL, &settings, NULL, &engine, NoCallbacks(), ".*", arrNames, arrFolders, &stop,
                          &ended, NULL, FALSE, NULL);
    stopped.m_arrPaths.Add(root.c_str());
    EXPECT_FALSE(stopped.ScanAll());
    EXPECT_FALSE(stopped.m_fScanSuccess);
    EXPECT_EQ(0, stopped.m_nFilesScanned);
}

// A file the engine could not move or delete is replaced by an encoded copy; when encoding fails
// the file stays as it is, and the finding is passed on all the same.
TEST(ScanWorkerTest, EncodingFailureLeavesTheFile)
{
    std::string root = FreshScratchFolder("ondemand_encode");
    CFakeEngine engine;
    CManualScanINI settings;
    for (BOOL fEncodeWorks : {FALSE, TRUE})
    {
        SCOPED_TRACE(fEncodeWorks ? "encoding works" : "encoding fails");
        engine.fEncodeWorks = fEncodeWorks;
        std::string path = root + "\\infected.com";
        WriteWholeFile(path, "virus body");
        IOT_EVENT ev = {};
        ev.nKind = IOT_EVENT_VIRUS;
        ev.pszFile = (LPSTR)path.c_str();
        ev.pszVirus = (LPSTR) "EICAR-Test-File";
        ev.pszMovedFile = (LPSTR) "";
        ev.nFirstAction = VEXOR_ACTION_DELETE;
        ev.nFirstResult = 0;
        NS_ScanWalk::CompleteVirusActions(&ev, &settings, &engine);
        EXPECT_EQ(fEncodeWorks ? "encoded:virus body" : "virus body", ReadWholeFile(path));
        EXPECT_FALSE(FileExists(path + ".bak"));
    }
}

namespace
{
volatile LONG g_nFound = 0;
void CountFinding(IOT_EVENT*, CCommonScanINI*, BOOL fRelease, BOOL fInScanWindow)
{
    if (fRelease && fInScanWindow)
        InterlockedIncrement(&g_nFound);
}
}

// A finding that waits longer than the worker lock allows is still handled.
TEST(ScanWorkerTest, FindingThatWaitsTooLongIsStillHandled)
{
    CFakeEngine engine;
    CManualScanINI settings;
    CStringArray arrNone;
    CFlagEvent stop, ended;
    SScanCallbacks callbacks = NoCallbacks();
    callbacks.pfnVirusFound = CountFinding;
    CScanFilesDlg dlg(NULL, NULL, &settings, NULL, &engine, callbacks, ".*", arrNone, arrNone, &stop, &ended, NULL,
                      FALSE, NULL);
    HANDLE hHeld = CreateSemaphoreA(NULL, 1, 1, "CallBackSemaphore_ScanFile");
    ASSERT_TRUE(hHeld != NULL);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hHeld, 1000));  // an earlier worker that does not end
    DWORD dwOld = g_dwScanVirusWaitMs;
    g_dwScanVirusWaitMs = 200;
    g_nFound = 0;
    IOT_EVENT ev = {};
    ev.nKind = IOT_EVENT_VIRUS;
    ev.pszFile = (LPSTR) "C:\\nowhere\\x.com";
    ev.pszVirus = (LPSTR) "EICAR-Test-File";
    ev.pszMovedFile = (LPSTR) "";
    ev.nFirstAction = VEXOR_ACTION_NONE;
    ev.nFirstResult = 1;
    FoundFileVirusCallBack(&ev);
    for (int i = 0; i < 200 && g_nFound == 0; ++i)
        Sleep(10);
    g_dwScanVirusWaitMs = dwOld;
    EXPECT_EQ(1, g_nFound);
    EXPECT_EQ(0, engine.nReleased);  // the virus callback released it
    ReleaseSemaphore(hHeld, 1, NULL);
    CloseHandle(hHeld);
}

namespace
{
class ScanResultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_driver = FreshScratchFolder("ondemand_result_driver");
        for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
            ASSERT_TRUE(CopyFileA(BinFile(f).c_str(), (m_driver + "\\" + f).c_str(), FALSE)) << f;
        WritePrivateProfileStringA("Watch", "FixedDrives", "0", (m_driver + "\\filter32.ini").c_str());
        int nResult = -1;
        ASSERT_TRUE(g_vexor.Initialize(NULL, [](LPVOID p) { g_vexor.ReleaseEvent(p); }, m_driver.c_str(), &nResult));
        ASSERT_TRUE(m_lang.Load() != NULL);
        m_hParent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP, 0, 0, 600, 400, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(m_hParent != NULL);
        ASSERT_TRUE(m_page.Create(CScanResultDlg::IDD, CWnd::FromHandle(m_hParent)));
        m_settings.m_fAllowCfg = TRUE;
    }

    void TearDown() override
    {
        if (m_page.m_hWnd != NULL)
            m_page.DestroyWindow();
        DestroyWindow(m_hParent);
        m_lang.Free();
        g_vexor.Uninitialize();
    }

    void AddFinding(const std::string& path, int nFirstAction, int nFirstResult)
    {
        IOT_EVENT ev = {};
        ev.nKind = IOT_EVENT_VIRUS;
        ev.pszFile = (LPSTR)path.c_str();
        ev.pszVirus = (LPSTR) "EICAR-Test-File";
        ev.pszMovedFile = (LPSTR) "";
        ev.nFirstAction = nFirstAction;
        ev.nFirstResult = nFirstResult;
        m_page.AddVirusEvent(&ev, &m_settings, FALSE, TRUE);
    }

    // A scan's thread: a finding, or the reset at a scan's start.
    static unsigned __stdcall FindOnAThread(void* pv)
    {
        ScanResultTest* pTest = (ScanResultTest*)pv;
        pTest->AddFinding(pTest->m_strThreadFinding, VEXOR_ACTION_NONE, 1);
        return 0;
    }
    static unsigned __stdcall ResetOnAThread(void* pv)
    {
        ((ScanResultTest*)pv)->m_page.ResetResults();
        return 0;
    }

    CLanguageLibrary m_lang;
    std::string m_driver;
    std::string m_strThreadFinding;
    HWND m_hParent = NULL;
    CScanResultDlg m_page;
    CManualScanINI m_settings;
};
}

// An action touches only the file a row stands for, also when its name holds "(" and the file
// is gone: never the file whose name is the row's name cut before the "(".
TEST_F(ScanResultTest, ActionsHitOnlyEachRowsOwnFile)
{
    std::string root = FreshScratchFolder("ondemand_rows");
    std::string gone = root + "\\report (old).com", other = root + "\\report";
    std::string present = root + "\\copy (2).com";
    WriteWholeFile(other, "another file");
    WriteWholeFile(present, vxp::defaultEntries()[0].bytes);
    AddFinding(gone, VEXOR_ACTION_NONE, 1);
    AddFinding(present, VEXOR_ACTION_NONE, 1);
    AddFinding(root + "\\moved.com", VEXOR_ACTION_MOVE, 1);  // no longer infected: not actionable
    ASSERT_EQ(3, m_page.m_list.GetItemCount());
    EXPECT_EQ(3, m_page.GetVirusCount());
    for (int i = 0; i < 3; ++i)
        m_page.m_list.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
    m_page.UpdateButtons();
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_page.m_hWnd, IDC_RESULT_DELETE)));
    m_page.m_list.SetItemState(2, 0, LVIS_SELECTED);
    m_page.UpdateButtons();
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_page.m_hWnd, IDC_RESULT_DELETE)));

    EXPECT_EQ(1, m_page.ActOnSelected(VEXOR_ACTION_DELETE));
    EXPECT_EQ("another file", ReadWholeFile(other));
    EXPECT_FALSE(FileExists(present));
    // Acted on once: the rows are no longer actionable.
    m_page.UpdateButtons();
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_page.m_hWnd, IDC_RESULT_DELETE)));
}

// A scan's thread never waits for the page's thread (which may be acting on the rows): its
// rows and its reset reach the list when the page's thread comes to them, in their order.
TEST_F(ScanResultTest, ScanThreadsNeverWaitForThePage)
{
    AddFinding(FreshScratchFolder("ondemand_rows_thread") + "\\first.com", VEXOR_ACTION_NONE, 1);
    m_page.m_list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    m_strThreadFinding = FreshScratchFolder("ondemand_rows_thread") + "\\second.com";
    for (auto pfn : {FindOnAThread, ResetOnAThread, FindOnAThread})
    {
        HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, pfn, this, 0, NULL);
        // This thread dispatches nothing meanwhile.
        if (WaitForSingleObject(hThread, 10000) != WAIT_OBJECT_0)
        {
            ADD_FAILURE() << "the scan's thread waits for the page's thread";
            WaitPumping(hThread, 30000);
        }
        CloseHandle(hThread);
    }
    // Acting on the rows meanwhile: the first file is gone already, nothing waits.
    EXPECT_EQ(0, m_page.ActOnSelected(VEXOR_ACTION_DELETE));
    EXPECT_EQ(1, m_page.m_list.GetItemCount());
    PumpMessages(50);
    ASSERT_EQ(1, m_page.m_list.GetItemCount());
    EXPECT_EQ(m_strThreadFinding, std::string(m_page.m_list.GetItemText(0, 0)));
}

// A program end that arrives while a scan's end waits for its workers is kept for the loop.
TEST(ScanWorkerTest, ProgramEndWhileWaitingForTheWorkersIsKept)
{
    InterlockedIncrement(&g_nScanWorkers);   // a worker that does not end in time
    PostQuitMessage(7);
    NS_ScanWalk::WaitForScanWorkers(100);
    InterlockedDecrement(&g_nScanWorkers);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

TEST(ScanResultRulesTest, StillInfectedAfterTheEnginesActions)
{
    struct
    {
        int a1, r1, a2, r2;
        BOOL fInfected;
    } cases[] = {
        {VEXOR_ACTION_CLEAN, 1, 0, 0, FALSE},
        {VEXOR_ACTION_CLEAN, 0, VEXOR_ACTION_MOVE, 1, FALSE},
        {VEXOR_ACTION_CLEAN, 0, VEXOR_ACTION_RENAME, 0, TRUE},
        {VEXOR_ACTION_CLEAN, 0, VEXOR_ACTION_NONE, 1, TRUE},
        {VEXOR_ACTION_DELETE, 1, 0, 0, FALSE},
        {VEXOR_ACTION_MOVE, 0, 0, 0, TRUE},
        {VEXOR_ACTION_NONE, 1, 0, 0, TRUE},
        {7, 1, 0, 0, TRUE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fInfected, isStillInfected(c.a1, c.r1, c.a2, c.r2)) << c.a1 << "/" << c.r1 << " " << c.a2 << "/" << c.r2;
}

namespace
{
struct SBootReport
{
    int nAction = -1, nStatus = -1;
    std::string virus, path;
} g_bootReport;

void KeepBootReport(IOT_EVENT* pEvent, CCommonScanINI*, BOOL, BOOL)
{
    g_bootReport.nAction = pEvent->nFirstAction;
    g_bootReport.nStatus = pEvent->nFirstResult;
    g_bootReport.virus = pEvent->pszVirus;
    g_bootReport.path = pEvent->pszFile;
}
}

// A boot-area finding of a scan: only a removable drive's boot sector is cleaned, and never where
// drive A: is a fixed disk (the record then says the cleaning was not done); the engine's name
// field is read only up to its 24 bytes.
TEST(ScanBootAreaTest, CleaningFollowsTheDriveAndTheDiskLayout)
{
    CFakeEngine engine;
    CManualScanINI settings;
    settings.m_nVirusFoundAction = SCAN_ACTION_CLEAN;
    CStringArray arrNone;
    CFlagEvent stop, ended;
    SScanCallbacks callbacks = NoCallbacks();
    callbacks.pfnVirusFound = KeepBootReport;
    CScanFilesDlg dlg(NULL, NULL, &settings, NULL, &engine, callbacks, ".*", arrNone, arrNone, &stop, &ended, NULL,
                      FALSE, NULL);
    BPMINFO info;
    memset(&info, 0, sizeof info);
    memcpy(info.szVirusName, "Vgl.Test.Boot.Longest.24", sizeof info.szVirusName);  // no terminator
    struct Case
    {
        int nLayout;
        UINT uType;
        BOOL fBoot;
        int nAction, nStatus;
        bool fCleaned;
    } cases[] = {
        {3, DRIVE_REMOVABLE, TRUE, VEXOR_ACTION_CLEAN, 1, true},
        {1, DRIVE_REMOVABLE, TRUE, VEXOR_ACTION_CLEAN, 0, false},
        {2, DRIVE_REMOVABLE, TRUE, VEXOR_ACTION_CLEAN, 0, false},
        {3, DRIVE_REMOVABLE, FALSE, VEXOR_ACTION_CLEAN, 0, false},  // a partition table is never cleaned
        {3, DRIVE_FIXED, TRUE, 0, 1, false},                         // nor a fixed disk's boot sector
        {1, DRIVE_FIXED, TRUE, 0, 1, false},
    };
    int nSavedLayout = g_nDriveALayout;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "layout " << c.nLayout << " type " << c.uType << " boot " << c.fBoot);
        g_nDriveALayout = c.nLayout;
        engine.nCleaned = 0;
        g_bootReport = SBootReport();
        dlg.ReportBootVirus('A', c.uType, c.fBoot, info);
        EXPECT_EQ(c.nAction, g_bootReport.nAction);
        EXPECT_EQ(c.nStatus, g_bootReport.nStatus);
        EXPECT_EQ(c.fCleaned ? 1 : 0, engine.nCleaned);
        EXPECT_EQ("Vgl.Test.Boot.Longest.24", g_bootReport.virus);
    }
    g_nDriveALayout = nSavedLayout;
}

namespace
{
// The memory scan holds until the test lets it go, then fails with a system error.
class CHeldEngine : public CFakeEngine
{
public:
    HANDLE hGo = CreateEventA(NULL, TRUE, FALSE, NULL);
    ~CHeldEngine() { CloseHandle(hGo); }
    virtual int ScanMemory(BPMINFO*)
    {
        WaitForSingleObject(hGo, 30000);
        throw CSystemError(ERROR_ACCESS_DENIED, NULL, 0);
    }
};

void PumpUntil(const std::function<bool()>& fDone, DWORD dwTimeout = 10000)
{
    DWORD dwStart = GetTickCount();
    while (!fDone() && GetTickCount() - dwStart < dwTimeout)
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
}
}

// The progress dialog's animation runs its form's frames while the scan runs and stands still
// while it is paused; an error in a walker thread reaches the window's own thread as a posted
// text, never as a window the thread makes.
TEST(ScanProgressTest, AnimationFramesAndThreadErrorsOnTheWindowsThread)
{
    CLanguageLibrary lang;
    ASSERT_TRUE(lang.Load() != NULL);
    CManualScanINI settings;
    settings.m_fScanBoot = FALSE;
    settings.m_fScanMemory = TRUE;
    CStringArray arrNone;
    for (BOOL fDropped : {FALSE, TRUE})
    {
        SCOPED_TRACE(fDropped ? "dropped items" : "tree");
        CHeldEngine engine;
        CFlagEvent stop, ended;
        std::unique_ptr<CScanFilesDlg> dlg(
            fDropped ? new CScanFilesDlg(NULL, NULL, &settings, NULL, &engine, NoCallbacks(), arrNone, arrNone, arrNone,
                                         arrNone, &stop, &ended, NULL, TRUE, NULL)
                     : new CScanFilesDlg(NULL, NULL, &settings, NULL, &engine, NoCallbacks(), ".*", arrNone, arrNone,
                                         &stop, &ended, NULL, TRUE, NULL));
        ASSERT_TRUE(dlg->Create(CScanFilesDlg::IDD, NULL));
        CAnimationIcon* pAnimation = dlg->m_pAnimation;
        ASSERT_TRUE(pAnimation != NULL && pAnimation->m_hWnd != NULL);
        EXPECT_EQ(IDC_SCAN_ANIMATION, ::GetDlgCtrlID(pAnimation->m_hWnd));
        const UINT nFrames = fDropped ? 10 : 6;
        EXPECT_EQ(nFrames, pAnimation->m_nIcons);
        for (UINT i = 0; i < nFrames; ++i)
            EXPECT_TRUE(pAnimation->m_hIcons[i] != NULL) << i;
        PumpUntil([&] { return pAnimation->m_nCurrent >= 2; });
        EXPECT_GE(pAnimation->m_nCurrent, 2);

        HWND hPause = ::GetDlgItem(dlg->m_hWnd, IDC_SCAN_PAUSE);
        ::SendMessageA(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_SCAN_PAUSE, BN_CLICKED), (LPARAM)hPause);
        EXPECT_EQ(0u, pAnimation->m_nTimerId);
        ::SendMessageA(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_SCAN_PAUSE, BN_CLICKED), (LPARAM)hPause);
        EXPECT_NE(0u, pAnimation->m_nTimerId);

        // The scanning thread fails: its text is posted to the window, then the scan's end.
        SetEvent(engine.hGo);
        MSG msg;
        DWORD dwStart = GetTickCount();
        while (!PeekMessageA(&msg, dlg->m_hWnd, WM_SCAN_THREAD, WM_SCAN_THREAD, PM_NOREMOVE) &&
               GetTickCount() - dwStart < 10000)
            Sleep(10);
        ASSERT_TRUE(PeekMessageA(&msg, dlg->m_hWnd, WM_SCAN_SHOW_ERROR, WM_SCAN_SHOW_ERROR, PM_REMOVE));
        // Only a text the dialog posted is taken, once.
        struct PostedErrors : CScanFilesDlg { using CScanFilesDlg::m_postedErrors; };
        CPostedObjects& posted = (*dlg).*(&PostedErrors::m_postedErrors);
        ASSERT_TRUE(posted.Take(msg.lParam));
        EXPECT_FALSE(posted.Take(msg.lParam));
        CString* pText = (CString*)msg.lParam;
        EXPECT_EQ(std::string(CSystemError(ERROR_ACCESS_DENIED, NULL, 0).GetErrorMessage()), std::string(*pText));
        delete pText;
        EXPECT_FALSE(PeekMessageA(&msg, dlg->m_hWnd, WM_SCAN_SHOW_ERROR, WM_SCAN_SHOW_ERROR, PM_NOREMOVE));
        dlg->DestroyWindow();
        EXPECT_EQ(0u, pAnimation->m_nTimerId);
    }
    lang.Free();
}

// Real-time protection without running the program: the quarantine transfer into a shared
// folder, the decisions of the virus-event and boot-area handling, and the main window's
// exception-process lists and suspect-folder cleaning against a running engine.
#include <gtest/gtest.h>
#include "langlibrary.h"

#include "Globals.h"
#include "Misutils.h"
#include "IOMonitorDlg.h"
#include "LogReport.h"
#include "Notification.h"
#include "Quarantine.h"
#include "ServerSettings.h"
#include "SplashDlg.h"
#include "vxpformat.h"
#include "RegistryKey.h"
#include "TavmontDlg.h"
#include "VglTestSupport.h"
#include "WindowTree.h"
#include "atlbase.h"
#include "resource_ids.h"

#include <process.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>

namespace
{
const char s_szRealTimeKey[] = "SOFTWARE\\Kavrel\\VigilonCorp\\CurrentVersion\\Real Time Scan Configuration";

std::string Folder(const char* pszName)
{
    std::string strFolder = FreshScratchFolder(pszName);
    return strFolder;
}

std::vector<std::string> Names(const std::string& strFolder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((strFolder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        if (fd.cFileName[0] != '.')
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void SetForceMobile(DWORD dwValue)
{
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName()));
    key.SetValue(dwValue, "ForceMobile");
}
}

TEST(Quarantine, ShareCopyNeverReplacesAnEarlierFile)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> held;
        const char* expected;   // NULL: the copy fails
    };
    std::vector<std::string> allTaken = {"VIRUS.EXE", "VIRUS.VIR"};
    for (int i = 0; i <= 9; ++i)
        allTaken.push_back("VIRUS.VI" + std::to_string(i));
    for (int i = 10; i <= 99; ++i)
        allTaken.push_back("VIRUS.V" + std::to_string(i));
    const Case cases[] = {
        {"VIRUS.EXE", {}, "VIRUS.EXE"},
        {"VIRUS.EXE", {"VIRUS.EXE", "VIRUS.VIR", "VIRUS.VI0"}, "VIRUS.VI1"},
        {"README", {"README"}, "README.VIR"},
        {"VIRUS.EXE", {"VIRUS.EXE", "VIRUS.VIR", "VIRUS.VI0", "VIRUS.VI1", "VIRUS.VI2", "VIRUS.VI3", "VIRUS.VI4",
                       "VIRUS.VI5", "VIRUS.VI6", "VIRUS.VI7", "VIRUS.VI8", "VIRUS.VI9"}, "VIRUS.V10"},
        {"VIRUS.EXE", allTaken, NULL},
    };
    for (const Case& c : cases)
    {
        std::string strShare = Folder("share"), strLocal = Folder("suspect") + "\\" + c.name;
        WriteWholeFile(strLocal, "infected");
        for (const std::string& held : c.held)
            WriteWholeFile(strShare + "\\" + held, "earlier " + held);
        BOOL fCopied = UNC_CopyFile(strLocal.c_str(), strShare.c_str());
        EXPECT_EQ(c.expected != NULL, fCopied != FALSE) << c.name << " with " << c.held.size() << " held";
        if (c.expected != NULL)
            EXPECT_EQ("infected", ReadWholeFile(strShare + "\\" + c.expected)) << c.expected;
        // Every earlier file is kept as it was, also the last name of the sequence.
        for (const std::string& held : c.held)
            EXPECT_EQ("earlier " + held, ReadWholeFile(strShare + "\\" + held)) << held;
        EXPECT_EQ(c.held.size() + (c.expected ? 1 : 0), Names(strShare).size());
    }
}

// A target name that does not fit in 259 characters is never cut: that name is a failed copy,
// and the sequence goes on with the names that fit.
TEST(Quarantine, ShareTargetLongerThanAPathIsAFailedCopy)
{
    std::string strBase = Folder("longshare");
    ASSERT_LT(strBase.size(), 200u);
    std::string strShare = strBase + "\\" + std::string(230 - strBase.size() - 1, 'd');
    ASSERT_TRUE(CreateDirectoryA(strShare.c_str(), NULL));
    struct Case
    {
        std::string name;
        std::string expected;   // empty: the copy fails
    } cases[] = {
        {std::string(30, 'N') + ".COM", ""},                                    // 265, then 264 characters
        {"V." + std::string(30, 'e'), "V.VIR"},                                 // only the renamed target fits
        {std::string(28, 'F') + ".C", ""},                                      // 261, then 263
        {std::string(24, 'S') + ".COM", std::string(24, 'S') + ".COM"},         // exactly 259
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string strLocal = Folder("suspect") + "\\" + c.name;
        WriteWholeFile(strLocal, "infected");
        for (const std::string& strName : Names(strShare))
            DeleteFileA((strShare + "\\" + strName).c_str());
        BOOL fCopied = UNC_CopyFile(strLocal.c_str(), strShare.c_str());
        EXPECT_EQ(!c.expected.empty(), fCopied != FALSE);
        std::vector<std::string> names = Names(strShare);
        if (!c.expected.empty())
            EXPECT_EQ(std::vector<std::string>{c.expected}, names);
        else
            EXPECT_TRUE(names.empty()) << names.size() << " " << (names.empty() ? "" : names[0]);
        // Through the quarantine: the file leaves the suspect folder only when it was copied.
        EXPECT_EQ(!c.expected.empty(), QuarantineFile(strLocal.c_str(), strShare.c_str()) != FALSE);
        EXPECT_EQ(c.expected.empty(), FileExists(strLocal));
    }
}

TEST(Quarantine, LocalFileStaysUnlessTheDestinationHasIt)
{
    std::string strShare = Folder("share"), strSuspect = Folder("suspect");
    std::string strLocal = strSuspect + "\\A.COM";

    // Isolated mode: nothing is transferred.
    WriteWholeFile(strLocal, "infected");
    SetForceMobile(1);
    EXPECT_FALSE(QuarantineFile(strLocal.c_str(), strShare.c_str()));
    SetForceMobile(0);
    EXPECT_TRUE(FileExists(strLocal));
    EXPECT_TRUE(Names(strShare).empty());

    // No destination set: the file stays in the suspect folder.
    EXPECT_FALSE(QuarantineFile(strLocal.c_str(), ""));
    EXPECT_TRUE(FileExists(strLocal));

    // Copied, but the local file cannot be deleted: not done.
    HANDLE h = CreateFileA(strLocal.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_FALSE(QuarantineFile(strLocal.c_str(), strShare.c_str()));
    CloseHandle(h);
    EXPECT_EQ((std::vector<std::string>{"A.COM"}), Names(strShare));

    // Copied and deleted.
    EXPECT_TRUE(QuarantineFile(strLocal.c_str(), strShare.c_str()));
    EXPECT_FALSE(FileExists(strLocal));
    EXPECT_EQ((std::vector<std::string>{"A.COM", "A.VIR"}), Names(strShare));
}

// The file is made harmless when the engine's actions left it where it was.
TEST(RealTimeEvents, EncodingFollowsTheFailedActions)
{
    enum { NONE = 0, RENAME = 1, MOVE = 2, CLEAN = 3, DELETE_ = 4 };
    struct Case
    {
        int a1, r1, a2, r2;
        BOOL fEncode;
    } cases[] = {
        {MOVE, 0, NONE, 1, TRUE},     {DELETE_, 0, RENAME, 1, TRUE}, {CLEAN, 0, MOVE, 0, TRUE},
        {CLEAN, 0, DELETE_, 0, TRUE}, {CLEAN, 0, RENAME, 0, TRUE},   {CLEAN, 0, MOVE, 1, FALSE},
        {CLEAN, 0, NONE, 1, FALSE},   {RENAME, 0, DELETE_, 0, FALSE}, {MOVE, 1, NONE, 1, FALSE},
        {CLEAN, 1, NONE, 1, FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.fEncode, CIOMonitorDlg::NeedsEncoding(c.a1, c.r1, c.a2, c.r2))
            << c.a1 << "/" << c.r1 << " then " << c.a2 << "/" << c.r2;
}

TEST(RealTimeEvents, FoundListTextsOfCompressedMembers)
{
    CLanguageLibrary lang;
    ASSERT_TRUE(lang.Load() != NULL);
    char szFile[] = "C:\\DATA\\PACK.ZIP", szVirus[] = "EICAR-Test-File", szMember[] = "dir\\inner.com";
    IOT_EVENT event;
    memset(&event, 0, sizeof event);
    event.nKind = IOT_EVENT_VIRUS;
    event.pszFile = szFile;
    event.pszVirus = szVirus;
    event.nFirstAction = VEXOR_ACTION_MOVE;
    event.nFirstResult = 0;

    SMonitorFinding finding;
    CIOMonitorDlg::DescribeEvent(&event, "moved? no", &finding);
    EXPECT_STREQ("EICAR-Test-File", finding.strVirus);
    EXPECT_STREQ("C:\\DATA\\PACK.ZIP", finding.strFile);
    EXPECT_STREQ("moved? no", finding.strResult);

    // A member of a zip file: the member's name with the archive's path; the member stays.
    event.nLayerCount = 1;
    event.apszLayers[0] = szMember;
    CIOMonitorDlg::DescribeEvent(&event, "moved? no", &finding);
    EXPECT_STREQ("dir\\inner.com(C:\\DATA\\PACK.ZIP)", finding.strFile);
    CString strLeft;
    strLeft.Format(IDS_ZIP_MEMBER_LEFT, "inner.com");
    EXPECT_STREQ(strLeft, finding.strResult);

    // A member cleaned: the result as recorded.
    event.nFirstAction = VEXOR_ACTION_CLEAN;
    event.nFirstResult = 1;
    CIOMonitorDlg::DescribeEvent(&event, "cleaned", &finding);
    EXPECT_STREQ("cleaned", finding.strResult);

    // An archive nested too deep: the fixed text in place of the virus, the file as it is.
    event.nLayerCount = -1;
    CIOMonitorDlg::DescribeEvent(&event, "none", &finding);
    CString strTooDeep;
    strTooDeep.LoadString(IDS_COMPRESSED_TOO_DEEP);
    EXPECT_STREQ(strTooDeep, finding.strVirus);
    EXPECT_STREQ("C:\\DATA\\PACK.ZIP", finding.strFile);
    EXPECT_STREQ("a && b &&&& c", escapeAmpersands("a & b && c"));
}

// A boot-area cleaning that was skipped or failed counts as not done.
TEST(BootAreaScan, FirstStatusOfTheRecord)
{
    struct Case
    {
        int nLayout;
        BOOL fBoot, fClean;
        int nCleanResult, nStatus;
    } cases[] = {
        {3, TRUE, TRUE, 0, 1},   // cleaned
        {3, TRUE, TRUE, 2, 0},   // the cleaning failed
        {3, FALSE, TRUE, 0, 0},  // a partition table is never cleaned
        {1, TRUE, TRUE, 1, 0},   // drive A: is a fixed disk: not cleaned
        {2, TRUE, TRUE, 1, 0},
        {1, TRUE, FALSE, 1, 1},  // no cleaning asked
        {3, FALSE, FALSE, 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.nStatus, CIOMonitorDlg::BootFirstStatus(c.nLayout, c.fBoot, c.fClean, c.nCleanResult))
            << c.nLayout << " " << c.fBoot << " " << c.fClean << " " << c.nCleanResult;
}

TEST(RealTimeMonitor, ErrorTextOfEachStartResult)
{
    CLanguageLibrary lang;
    ASSERT_TRUE(lang.Load() != NULL);
    struct { int nCode; UINT nID; } cases[] = {
        {1, IDS_RT_THREAD_FAILED}, {2, IDS_RT_NO_RESOURCES}, {3, IDS_RT_OPEN_FAILED}, {4, IDS_RT_NOT_READY},
        {5, IDS_RT_ENGINE_FAILED}, {6, IDS_RT_TIMEOUT}, {8, IDS_RT_PATTERN_MISMATCH}, {9, IDS_RT_INIT_FAILED},
    };
    for (const auto& c : cases)
    {
        CString strExpected;
        strExpected.LoadString(c.nID);
        EXPECT_FALSE(strExpected.IsEmpty());
        EXPECT_STREQ(strExpected, CIOMonitorDlg::GetInitErrorText(c.nCode)) << c.nCode;
    }
    CString strFailed, strExpected;
    strFailed.LoadString(IDS_RT_START_FAILED);
    strExpected.Format(IDS_RT_START_FAILED_CODE, (LPCSTR)strFailed, 7);
    EXPECT_STREQ(strExpected, CIOMonitorDlg::GetInitErrorText(7));
    EXPECT_NE(-1, strExpected.Find(" 7"));
}

namespace
{
// The main window's handler, reached from the test.
class CExceptionDlg : public CTavmontDlg
{
public:
    using CTavmontDlg::SetExceptionProcess;
    using CTavmontDlg::ApplyExceptionList;
};

class ExceptionProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteLists();
        m_driver = Folder("exception_driver");
        for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
            ASSERT_TRUE(CopyFileA(BinFile(f).c_str(), (m_driver + "\\" + f).c_str(), FALSE)) << f;
        WritePrivateProfileStringA("Watch", "FixedDrives", "0", (m_driver + "\\filter32.ini").c_str());
        int nResult = -1;
        ASSERT_TRUE(g_vexor.Initialize(NULL, [](LPVOID p) { g_vexor.ReleaseEvent(p); }, m_driver.c_str(), &nResult));
        ASSERT_TRUE(m_lang.Load() != NULL);
        m_pDlg = new CExceptionDlg;
    }

    void TearDown() override
    {
        delete m_pDlg;
        m_lang.Free();
        g_vexor.Uninitialize();
        DeleteLists();
    }

    static void DeleteLists()
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, s_szRealTimeKey) == ERROR_SUCCESS)
        {
            key.RecurseDeleteKey("Add PIDs");
            key.RecurseDeleteKey("Delete PIDs");
        }
    }

    static void Put(const char* pszList, const char* pszName, DWORD dwType, const void* pData, DWORD cb)
    {
        HKEY hKey;
        std::string strKey = std::string(s_szRealTimeKey) + "\\" + pszList;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, strKey.c_str(), &hKey));
        RegSetValueExA(hKey, pszName, 0, dwType, (const BYTE*)pData, cb);
        RegCloseKey(hKey);
    }

    static void PutId(const char* pszList, const char* pszName, DWORD dwId) { Put(pszList, pszName, REG_DWORD, &dwId, 4); }

    static std::vector<std::string> ValueNames(const char* pszList)
    {
        std::vector<std::string> names;
        HKEY hKey;
        std::string strKey = std::string(s_szRealTimeKey) + "\\" + pszList;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return names;
        char sz[260];
        for (DWORD i = 0;; ++i)
        {
            DWORD cch = sizeof sz;
            if (RegEnumValueA(hKey, i, sz, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            names.push_back(sz);
        }
        RegCloseKey(hKey);
        return names;
    }

    // The processes the engine leaves alone, as the driver keeps them.
    std::string Excepted()
    {
        char sz[512] = "";
        GetPrivateProfileStringA("Global", "ExceptionProcesses", "", sz, sizeof sz, (m_driver + "\\filter32.state").c_str());
        return sz;
    }

    std::string Own() { return std::to_string(GetCurrentProcessId()); }

    std::string m_driver;
    CLanguageLibrary m_lang;
    CExceptionDlg* m_pDlg = NULL;
};
}

TEST_F(ExceptionProcessTest, AddListStaysAndDeleteListEmpties)
{
    // Other kinds of values are no ids: skipped in "Add PIDs", deleted from "Delete PIDs".
    PutId("Add PIDs", "first.exe", 5001);
    Put("Add PIDs", "a note", REG_SZ, "text", 5);
    PutId("Add PIDs", "second.exe", 5002);
    for (DWORD id : {6001u, 6002u})
        PutId("Add PIDs", ("leaving" + std::to_string(id)).c_str(), id);
    m_pDlg->SetExceptionProcess(0, 0);
    EXPECT_EQ(Own() + ",5001,5002,6001,6002", Excepted());
    EXPECT_EQ(5u, ValueNames("Add PIDs").size());

    BYTE abBinary[16] = {1, 2, 3};
    PutId("Delete PIDs", "leaving a", 6001);
    Put("Delete PIDs", "binary", REG_BINARY, abBinary, sizeof abBinary);
    PutId("Delete PIDs", "leaving b", 6002);
    PutId("Delete PIDs", "never added", 7000);
    PutId("Delete PIDs", "first again", 5001);
    m_pDlg->SetExceptionProcess(0, 0);
    // "Add PIDs" is applied again before "Delete PIDs": its ids stay unless also deleted.
    EXPECT_EQ(Own() + ",5002", Excepted());
    EXPECT_TRUE(ValueNames("Delete PIDs").empty());
    EXPECT_EQ(5u, ValueNames("Add PIDs").size());

    // Once more: "Delete PIDs" is empty now, the additions come back.
    m_pDlg->SetExceptionProcess(0, 0);
    EXPECT_EQ(Own() + ",5001,5002,6001,6002", Excepted());
}

TEST_F(ExceptionProcessTest, MissingListsAreOnlyTraced)
{
    m_pDlg->SetExceptionProcess(0, 0);
    EXPECT_EQ(Own(), Excepted());
    PutId("Delete PIDs", "mine", GetCurrentProcessId());
    m_pDlg->SetExceptionProcess(0, 0);
    EXPECT_EQ("", Excepted());
}

namespace
{
HKEY s_hDeletedList;
unsigned __stdcall ApplyDeletedList(void*)
{
    CExceptionDlg::ApplyExceptionList(s_hDeletedList, TRUE);
    return 0;
}
}

// A list deleted by another program after it was opened ends the pass (the window's thread
// never spins on it).
TEST_F(ExceptionProcessTest, ListDeletedMeanwhileEndsThePass)
{
    PutId("Delete PIDs", "leaving", 6001);
    std::string strKey = std::string(s_szRealTimeKey) + "\\Delete PIDs";
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_ALL_ACCESS, &s_hDeletedList));
    DeleteLists();
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, ApplyDeletedList, NULL, 0, NULL);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(hThread, 10000));
    CloseHandle(hThread);
    RegCloseKey(s_hDeletedList);
}

namespace
{
// Stands in for the main window: counts the requests to hand the exception processes over.
class CMainStandIn : public CWnd
{
public:
    int m_nExceptionRequests = 0;

protected:
    afx_msg LRESULT OnSetExceptionProcess(WPARAM, LPARAM)
    {
        ++m_nExceptionRequests;
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CMainStandIn, CWnd)
    ON_MESSAGE(WM_SET_EXCEPTION_PROCESS, OnSetExceptionProcess)
END_MESSAGE_MAP()

CIOMonitorDlg* s_pReloadingMonitor;
unsigned __stdcall ReloadEngine(void*)
{
    CStringArray arrNone;
    s_pReloadingMonitor->UpdateEngineVersion(arrNone);
    return 0;
}
unsigned __stdcall ReloadPattern(void*)
{
    s_pReloadingMonitor->UpdatePatternVersion(getModulePath() + "VXP$SIG.578");
    return 0;
}
}

// A reload on a worker thread holds the engine lock, which the main window's thread may be
// waiting for: it never waits for that thread, and every engine start (a new pattern too)
// has the main window hand the exception processes over.
TEST(RealTimeMonitor, ReloadOnAWorkerNeverWaitsForTheMainWindow)
{
    // The engine runs from the program's folder: it watches no drive here.
    std::string strProgram = (LPCSTR)getModulePath();
    std::string strIni = strProgram + "filter32.ini";
    std::vector<std::string> before = FolderEntries(strProgram.substr(0, strProgram.size() - 1));
    WritePrivateProfileStringA("Watch", "FixedDrives", "0", strIni.c_str());
    CLanguageLibrary lang;
    ASSERT_TRUE(lang.Load() != NULL);
    CMainStandIn main;
    ASSERT_TRUE(main.CreateEx(0, AfxRegisterWndClass(0), "main", WS_POPUP, 0, 0, 10, 10, NULL, NULL));
    HWND hSavedMonitor = g_hIOMonitorWnd;
    g_hIOMonitorWnd = NULL;
    {
        CIOMonitorDlg monitor(NULL, NULL, &main);
        s_pReloadingMonitor = &monitor;
        for (auto pfn : {ReloadEngine, ReloadPattern})
        {
            main.m_nExceptionRequests = 0;
            HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, pfn, NULL, 0, NULL);
            // This thread dispatches nothing meanwhile, as when it waits for the engine lock.
            if (WaitForSingleObject(hThread, 20000) != WAIT_OBJECT_0)
            {
                ADD_FAILURE() << "the reload waits for the main window's thread";
                WaitPumping(hThread, 60000);
            }
            CloseHandle(hThread);
            EXPECT_TRUE(g_vexor.IsReady());
            PumpMessages(20);
            EXPECT_EQ(1, main.m_nExceptionRequests) << (pfn == ReloadEngine ? "engine" : "pattern");
        }
        g_vexor.Uninitialize();
        g_vexor.SetReady(0);
    }
    g_hIOMonitorWnd = hSavedMonitor;
    main.DestroyWindow();
    lang.Free();
    for (const std::string& strName : FolderEntries(strProgram.substr(0, strProgram.size() - 1)))
        if (std::find(before.begin(), before.end(), strName) == before.end())
            DeleteFileA((strProgram + strName).c_str());
}

TEST(SuspectFolder, CleaningHandsEachFileToTheQuarantine)
{
    CString strSuspect = getSuspectFolder();
    std::string strShare = Folder("suspect_share");
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, s_szRealTimeKey));
    key.SetValue(strShare.c_str(), "MoveDir");
    WriteWholeFile(std::string(strSuspect) + "\\ONE.COM", "one");
    WriteWholeFile(std::string(strSuspect) + "\\.keep", "dot");
    CTavmontDlg::CleanSuspectFolderThread(NULL);
    EXPECT_TRUE(Names(std::string(strSuspect)).empty());
    EXPECT_TRUE(FileExists(std::string(strSuspect) + "\\.keep"));
    EXPECT_FALSE(FileExists(std::string(strSuspect) + "\\ONE.COM"));
    EXPECT_EQ("one", ReadWholeFile(strShare + "\\ONE.COM"));
    DeleteFileA((std::string(strSuspect) + "\\.keep").c_str());
    RemoveDirectoryA(strSuspect);
    key.DeleteValue("MoveDir");
}

// Where drive A: is a fixed disk a boot sector is never cleaned: the record says so (status 0);
// elsewhere the boot sector is cleaned and the record says it was.
TEST(BootAreaScan, SkippedCleaningIsLoggedAsNotDone)
{
    std::string strDriver = Folder("boot_driver");
    for (const char* f : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
        ASSERT_TRUE(CopyFileA(BinFile(f).c_str(), (strDriver + "\\" + f).c_str(), FALSE)) << f;
    WritePrivateProfileStringA("Watch", "FixedDrives", "0", (strDriver + "\\filter32.ini").c_str());
    int nResult = -1;
    ASSERT_TRUE(g_vexor.Initialize(NULL, [](LPVOID p) { g_vexor.ReleaseEvent(p); }, strDriver.c_str(), &nResult));
    CLanguageLibrary lang;
    ASSERT_TRUE(lang.Load() != NULL);
    std::string strImage = strDriver + "\\Boot_A.img", strSignature = vxp::defaultEntries()[2].bytes;
    std::string strInfected(512, '\x90');
    strInfected.replace(0x3E, strSignature.size(), strSignature);
    int nSavedLayout = g_nDriveALayout, nSavedAction = g_RealTimeScanINI.m_nVirusFoundAction;
    g_RealTimeScanINI.m_nVirusFoundAction = SCAN_ACTION_CLEAN;
    {
        CIOMonitorDlg monitor(NULL, NULL, NULL);
        for (int nLayout : {1, 3})
        {
            g_nDriveALayout = nLayout;
            WriteWholeFile(strImage, strInfected);
            BPMINFO bpm;
            memset(&bpm, 0, sizeof bpm);
            ASSERT_TRUE(g_vexor.DoScanBootSector('A', &bpm));
            monitor.ActOnBPVirus('A', TRUE, &bpm);
            CLogItemPosArray* pQueue = NS_Notification::GetVirusLogQueue();
            ASSERT_GT(pQueue->GetSize(), 0);
            SLogItemPos pos = pQueue->GetAt(pQueue->GetSize() - 1);
            CLogReportItem* pItem = NS_LogReport::GetLogReport().GetItem(pos.nDay, pos.nItem);
            ASSERT_TRUE(pItem != NULL);
            EXPECT_EQ(LOG_EVENT_REALTIME, pItem->m_nEventKind);
            EXPECT_EQ(LOG_ACTION_CLEAN, pItem->m_nFirstAction);
            EXPECT_EQ(nLayout == 1 ? 0 : 1, pItem->m_nFirstStatus) << "layout " << nLayout;
            EXPECT_STREQ("Vgl.Test.Boot", pItem->m_strVirus);
            CString strPath;
            strPath.Format(IDS_BOOT_DRIVE, 'A');
            EXPECT_EQ(0, pItem->m_strPath.Find(strPath));
            EXPECT_EQ(nLayout == 1, ReadWholeFile(strImage).find(strSignature) != std::string::npos) << nLayout;
        }
    }
    g_nDriveALayout = nSavedLayout;
    g_RealTimeScanINI.m_nVirusFoundAction = nSavedAction;
    g_vexor.Uninitialize();
}

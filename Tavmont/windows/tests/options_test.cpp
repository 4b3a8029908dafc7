// The options sheet and its pages: the conversions between settings and controls, a round
// trip of every value through the pages into the product key, the rules and messages of the
// pages, a configuration the server locks, the exception list, and the settings locks.
#include "OptionsPropertySheet.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "resource_ids.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "WindowTree.h"
#include "langlibrary.h"

#include <process.h>

#include <string>
#include <vector>

namespace
{
// Answers the message boxes of this thread with the given button and keeps their texts.
struct BoxAnswerer
{
    static std::vector<std::string> s_texts;
    static int s_nAnswer;
    static BOOL CALLBACK Find(HWND hWnd, LPARAM)
    {
        std::vector<SWindowInfo> tree = WindowTree(hWnd);
        if (tree.empty() || tree[0].strClass != "#32770" || !tree[0].fVisible)
            return TRUE;
        bool fBox = false;
        for (const SWindowInfo& info : tree)
            fBox = fBox || (info.nId == 0xFFFF && info.strClass == "Static" && !info.strText.empty());
        if (!fBox || FindInTree(tree, "SysTabControl32") != NULL)
            return TRUE;
        std::string strText;
        for (const SWindowInfo& info : tree)
            if (info.nId == 0xFFFF && info.strClass == "Static")
                strText += info.strText;
        s_texts.push_back(strText);
        int nAnswer = s_nAnswer;
        if (GetDlgItem(hWnd, nAnswer) == NULL)
            nAnswer = GetDlgItem(hWnd, IDOK) != NULL ? IDOK : IDCANCEL;
        PostMessageA(hWnd, WM_COMMAND, nAnswer, 0);
        return TRUE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), Find, 0); }
    explicit BoxAnswerer(int nAnswer = IDOK)
    {
        s_texts.clear();
        s_nAnswer = nAnswer;
        m_nTimer = SetTimer(NULL, 0, 50, OnTimer);
    }
    ~BoxAnswerer() { KillTimer(NULL, m_nTimer); }
    UINT_PTR m_nTimer;
};
std::vector<std::string> BoxAnswerer::s_texts;
int BoxAnswerer::s_nAnswer = IDOK;

std::string ResourceText(UINT nId)
{
    CString str;
    str.LoadString(nId);
    return (LPCSTR)str;
}

HWND Item(CWnd& wnd, UINT nID) { return GetDlgItem(wnd.m_hWnd, nID); }
bool Enabled(CWnd& wnd, UINT nID) { return IsWindowEnabled(Item(wnd, nID)) != FALSE; }
int Sel(CWnd& wnd, UINT nID) { return (int)SendMessageA(Item(wnd, nID), CB_GETCURSEL, 0, 0); }
std::string Text(CWnd& wnd, UINT nID)
{
    char sz[300] = "";
    GetWindowTextA(Item(wnd, nID), sz, sizeof(sz));
    return sz;
}

// Chooses a row of a drop-down list as the user does: the page hears CBN_SELENDOK.
void Choose(CWnd& page, UINT nID, int nRow)
{
    SendMessageA(Item(page, nID), CB_SETCURSEL, nRow, 0);
    SendMessageA(page.m_hWnd, WM_COMMAND, MAKEWPARAM(nID, CBN_SELENDOK), (LPARAM)Item(page, nID));
    SendMessageA(page.m_hWnd, WM_COMMAND, MAKEWPARAM(nID, CBN_SELCHANGE), (LPARAM)Item(page, nID));
}

void Click(CWnd& page, UINT nID)
{
    SendMessageA(Item(page, nID), BM_CLICK, 0, 0);
}
}

TEST(OptionConversions, ActionsFrequencyDaysAndNumbers)
{
    using namespace NS_OptionPages;
    // engine code -> first row -> setting code
    struct { int nEngine, nRow, nSetting; } first[] = {
        { 3, 0, 5 }, { 2, 1, 4 }, { 4, 2, 2 }, { 1, 3, 3 }, { 0, 4, 1 }, { 9, 4, 1 } };
    for (auto& c : first)
    {
        EXPECT_EQ(c.nRow, FirstActionIndex(c.nEngine)) << c.nEngine;
        EXPECT_EQ(c.nSetting, FirstActionSetting(c.nRow)) << c.nRow;
        EXPECT_EQ(c.nEngine == 9 ? 0 : c.nEngine, CCommonScanINI::ToEngineAction(c.nSetting));
    }
    EXPECT_EQ(1, FirstActionSetting(-1));
    EXPECT_EQ(1, FirstActionSetting(7));
    struct { int nEngine, nRow, nSetting; } second[] = {
        { 2, 0, 4 }, { 4, 1, 2 }, { 1, 2, 3 }, { 0, 3, 1 }, { 3, -1, 1 } };
    for (auto& c : second)
    {
        EXPECT_EQ(c.nRow, SecondActionIndex(c.nEngine)) << c.nEngine;
        EXPECT_EQ(c.nSetting, SecondActionSetting(c.nRow)) << c.nRow;
    }
    // "Enable", "Frequency" -> row -> code
    struct { BOOL fEnable; int nFrequency, nRow, nCode; } frequency[] = {
        { FALSE, 3, 0, 0 }, { TRUE, 3, 1, 3 }, { TRUE, 2, 2, 2 }, { TRUE, 1, 3, 1 }, { TRUE, 0, 0, 0 }, { TRUE, 8, 0, 0 } };
    for (auto& c : frequency)
    {
        EXPECT_EQ(c.nRow, FrequencyIndex(c.fEnable, c.nFrequency));
        EXPECT_EQ(c.nCode, FrequencyCode(c.nRow));
    }
    // "DayOfWeek" 1 Monday .. 7 Sunday against the Sunday-first list
    for (int nDay = 1; nDay <= 7; nDay++)
        EXPECT_EQ(nDay, CTimeToDayOfWeek(DayOfWeekToCTime(nDay)));
    EXPECT_EQ(1, DayOfWeekToCTime(7) - 1 + 1);   // Sunday: row 0
    EXPECT_EQ(2, DayOfWeekToCTime(1));           // Monday: row 1
    EXPECT_EQ(1, DayOfWeekToCTime(0));           // out of range: Sunday
    EXPECT_EQ(7, CTimeToDayOfWeek(0 + 1));       // row 0 saves 7
    EXPECT_EQ(75, LeadingNumber("75"));
    EXPECT_EQ(12, LeadingNumber("12x"));
    EXPECT_EQ(0, LeadingNumber("x1"));
    EXPECT_EQ(0, LeadingNumber(""));
}

namespace
{
unsigned __stdcall StoreLater(void* pv)
{
    CManualScanINI value;
    value.m_strMoveDir = "C:\\Moved";
    StoreSettings(*(CManualScanINI*)pv, value);
    return 0;
}
}

TEST(SettingsLocks, ReplacingWaitsForAReaderHoldingTheLock)
{
    CManualScanINI global;
    HANDLE hThread;
    {
        CSettingsLock lock(&global);
        hThread = (HANDLE)_beginthreadex(NULL, 0, StoreLater, &global, 0, NULL);
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(hThread, 200));
        EXPECT_EQ("", std::string(global.m_strMoveDir));
    }
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
    CloseHandle(hThread);
    CManualScanINI copy;
    CopySettings(global, copy);
    EXPECT_EQ("C:\\Moved", std::string(copy.m_strMoveDir));
}

class OptionsSheetTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(m_lang.Load());
        ASSERT_TRUE(m_owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, NULL,
                                     NULL));
        m_manual = g_ManualScanINI;
        m_realTime = g_RealTimeScanINI;
        m_schedule = g_ScheduleScanINI;
        m_exclusion = g_ExclusionFileINI;
        g_ManualScanINI = CManualScanINI();
        g_RealTimeScanINI = CRealTimeScanINI();
        g_ScheduleScanINI = CScheduleScanINI();
        g_ExclusionFileINI = CExclusionFileINI();
        WriteAll();
    }

    void TearDown() override
    {
        m_pSheet.reset();
        g_ManualScanINI = m_manual;
        g_RealTimeScanINI = m_realTime;
        g_ScheduleScanINI = m_schedule;
        g_ExclusionFileINI = m_exclusion;
        m_owner.DestroyWindow();
        m_lang.Free();
        ProductKeyTest::TearDown();
    }

    static void WriteAll()
    {
        LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
        g_ManualScanINI.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
        g_RealTimeScanINI.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
        g_ScheduleScanINI.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
        g_ExclusionFileINI.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
    }

    COptionsPropertySheet& Open(int nStartPage = 0)
    {
        m_pSheet.reset(new COptionsPropertySheet(IDS_OPTIONS_CAPTION, NULL, NULL, &m_owner));
        m_pSheet->SetStartPage(nStartPage);
        EXPECT_TRUE(m_pSheet->Create(&m_owner, WS_POPUP | WS_CAPTION | WS_VISIBLE));
        PumpMessages(50);
        return *m_pSheet;
    }

    // Every page saves, as the sheet's apply does, and the sheet closes.
    void SaveAndClose()
    {
        m_pSheet->m_pageManualScan.SaveSettings();
        m_pSheet->m_pageRealtimeScan.SaveSettings();
        m_pSheet->m_pageScheduleScan.SaveSettings();
        m_pSheet->m_pageExceptionList.SaveSettings();
        m_pSheet->DestroyWindow();
        m_pSheet.reset();
    }

    template <class T> static T FromRegistry()
    {
        T ini;
        ini.ReadRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
        return ini;
    }

    static void ExpectSame(const CCommonScanINI& a, const CCommonScanINI& b, const std::string& strWhat)
    {
        EXPECT_EQ(a.m_fEnable, b.m_fEnable) << strWhat;
        EXPECT_EQ(a.m_fScanBoot, b.m_fScanBoot) << strWhat;
        EXPECT_EQ(a.m_fScanMemory, b.m_fScanMemory) << strWhat;
        EXPECT_EQ(a.m_fScanCompressed, b.m_fScanCompressed) << strWhat;
        EXPECT_EQ(a.m_fBkUpIfClean, b.m_fBkUpIfClean) << strWhat;
        EXPECT_EQ(a.m_fScanAllFiles, b.m_fScanAllFiles) << strWhat;
        EXPECT_EQ(a.m_nCompressedLayer, b.m_nCompressedLayer) << strWhat;
        EXPECT_EQ(std::string(a.m_strExtList), std::string(b.m_strExtList)) << strWhat;
        EXPECT_EQ(std::string(a.m_strMoveDir), std::string(b.m_strMoveDir)) << strWhat;
        EXPECT_EQ(std::string(a.m_strCleanFailedMoveDir), std::string(b.m_strCleanFailedMoveDir)) << strWhat;
        EXPECT_EQ(a.m_nVirusFoundAction, b.m_nVirusFoundAction) << strWhat;
        EXPECT_EQ(a.m_nCleanFailedAction, b.m_nCleanFailedAction) << strWhat;
        EXPECT_EQ(a.m_fIntelliScan, b.m_fIntelliScan) << strWhat;
        EXPECT_EQ(a.m_fActiveAction, b.m_fActiveAction) << strWhat;
    }

    CLanguageLibrary m_lang;
    CWnd m_owner;
    std::unique_ptr<COptionsPropertySheet> m_pSheet;
    CManualScanINI m_manual;
    CRealTimeScanINI m_realTime;
    CScheduleScanINI m_schedule;
    CExclusionFileINI m_exclusion;
};

// Each case: the settings the pages are opened on, and what saving them unchanged stores
// (the same, but where a value has no control of its own).
TEST_F(OptionsSheetTest, EveryValueGoesThroughThePagesIntoTheProductKey)
{
    struct SCase
    {
        const char* pszName;
        BOOL fIntelli, fAll, fActive, fBoot, fMemory, fCompressed, fBackup, fShutdown;
        int nLayer, nFirst, nSecond;
        const char* pszMoveDir;
        int nLayerSaved, nFirstSaved, nSecondSaved;
        BOOL fAllSaved;
        int nFrequency; BOOL fEnable; int nDayOfWeek, nDayOfMonth, nHour, nMinute, nAmPm;
        int nDayOfWeekSaved;
    } cases[] = {
        { "defaults", 0, 1, 0, 1, 1, 1, 1, 1, 20, 5, 1, "", 20, 5, 1, 1, 3, 1, 7, 7, 11, 0, 2, 7 },
        { "listed types, move then delete", 0, 0, 0, 0, 0, 0, 0, 0, 3, 4, 2, "C:\\Suspect", 3, 4, 2, 0,
          2, 1, 1, 31, 12, 59, 1, 1 },
        { "intelliscan, clean then move", 1, 0, 0, 1, 0, 1, 0, 1, 1, 5, 4, "D:\\Moved files", 1, 5, 4, 1,
          1, 1, 3, 1, 1, 30, 2, 3 },
        { "active action", 0, 1, 1, 0, 1, 0, 1, 0, 12, 3, 3, "C:\\Q", 12, 3, 3, 1, 3, 0, 6, 15, 6, 5, 1, 6 },
        { "clean, clean fails: no second row", 0, 1, 0, 1, 1, 1, 1, 1, 7, 5, 5, "", 7, 5, 1, 1, 3, 1, 0, 2, 3, 4, 2, 7 },
        { "unknown codes, layer 0", 0, 1, 0, 1, 1, 1, 0, 1, 0, 9, 1, "", 1, 5, 1, 1, 3, 1, 4, 9, 9, 9, 2, 4 },
    };
    for (const SCase& c : cases)
    {
        CCommonScanINI* apGlobals[] = { &g_ManualScanINI, &g_RealTimeScanINI, &g_ScheduleScanINI };
        for (CCommonScanINI* p : apGlobals)
        {
            p->m_fIntelliScan = c.fIntelli;
            p->m_fScanAllFiles = c.fAll;
            p->m_fActiveAction = c.fActive;
            p->m_fScanBoot = c.fBoot;
            p->m_fScanMemory = c.fMemory;
            p->m_fScanCompressed = c.fCompressed;
            p->m_fBkUpIfClean = c.fBackup;
            p->m_nCompressedLayer = c.nLayer;
            p->m_nVirusFoundAction = c.nFirst;
            p->m_nCleanFailedAction = c.nSecond;
            p->m_strMoveDir = c.pszMoveDir;
            p->m_strCleanFailedMoveDir = c.pszMoveDir;
            p->m_strExtList = ".EXE,.COM";
        }
        g_RealTimeScanINI.m_fScanShutdown = c.fShutdown;
        g_ScheduleScanINI.m_nFrequency = c.nFrequency;
        g_ScheduleScanINI.m_fEnable = c.fEnable;
        g_ScheduleScanINI.m_nDayOfWeek = c.nDayOfWeek;
        g_ScheduleScanINI.m_nDayOfMonth = c.nDayOfMonth;
        g_ScheduleScanINI.m_nHour = c.nHour;
        g_ScheduleScanINI.m_nMinute = c.nMinute;
        g_ScheduleScanINI.m_nAmPm = c.nAmPm;
        CScheduleScanINI scheduleBefore = g_ScheduleScanINI;
        WriteAll();
        Open();
        SaveAndClose();

        CManualScanINI expected;
        expected = g_ManualScanINI;
        expected.m_nCompressedLayer = c.nLayerSaved;
        expected.m_nVirusFoundAction = c.nFirstSaved;
        expected.m_nCleanFailedAction = c.nSecondSaved;
        expected.m_fScanAllFiles = c.fAllSaved;
        CManualScanINI manual = FromRegistry<CManualScanINI>();
        ExpectSame(expected, manual, std::string(c.pszName) + " (manual)");
        ExpectSame(manual, g_ManualScanINI, std::string(c.pszName) + " (manual, global)");
        CRealTimeScanINI realTime = FromRegistry<CRealTimeScanINI>();
        ExpectSame(expected, realTime, std::string(c.pszName) + " (real-time)");
        EXPECT_EQ(c.fShutdown, realTime.m_fScanShutdown) << c.pszName;
        CScheduleScanINI schedule = FromRegistry<CScheduleScanINI>();
        CManualScanINI expectedSchedule = expected;
        expectedSchedule.m_fEnable = c.fEnable;
        ExpectSame(expectedSchedule, schedule, std::string(c.pszName) + " (schedule)");
        EXPECT_EQ(scheduleBefore.m_nFrequency, schedule.m_nFrequency) << c.pszName;
        EXPECT_EQ(c.nDayOfWeekSaved, schedule.m_nDayOfWeek) << c.pszName;
        EXPECT_EQ(scheduleBefore.m_nDayOfMonth, schedule.m_nDayOfMonth) << c.pszName;
        EXPECT_EQ(scheduleBefore.m_nHour, schedule.m_nHour) << c.pszName;
        EXPECT_EQ(scheduleBefore.m_nMinute, schedule.m_nMinute) << c.pszName;
        EXPECT_EQ(c.nAmPm, schedule.m_nAmPm) << c.pszName;
    }
}

TEST_F(OptionsSheetTest, ControlsShowTheSettingsAndFollowTheRules)
{
    g_ManualScanINI.m_nVirusFoundAction = SCAN_ACTION_CLEAN;
    g_ManualScanINI.m_nCleanFailedAction = SCAN_ACTION_LEAVE;
    g_ManualScanINI.m_nCompressedLayer = 0;
    g_ScheduleScanINI.m_nDayOfWeek = 1;
    g_ScheduleScanINI.m_nFrequency = SCHEDULE_WEEKLY;
    WriteAll();
    COptionsPropertySheet& sheet = Open();
    COptionManualScanPage& manual = sheet.m_pageManualScan;
    EXPECT_EQ(0, Sel(manual, IDC_OPT_FIRST_ACTION));
    EXPECT_EQ(3, Sel(manual, IDC_OPT_SECOND_ACTION));
    EXPECT_TRUE(Enabled(manual, IDC_OPT_SECOND_ACTION));
    EXPECT_TRUE(Enabled(manual, IDC_OPT_BACKUP));
    EXPECT_FALSE(Enabled(manual, IDC_OPT_MOVE_FOLDER));
    // Layer 0 from the server: the slider stands at 1, the label shows 0.
    EXPECT_EQ(1, (int)SendMessageA(Item(manual, IDC_OPT_LAYER_SLIDER), TBM_GETPOS, 0, 0));
    EXPECT_EQ("0", Text(manual, IDC_OPT_LAYER_VALUE));
    SendMessageA(Item(manual, IDC_OPT_LAYER_SLIDER), TBM_SETPOS, TRUE, 25);
    SendMessageA(manual.m_hWnd, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)Item(manual, IDC_OPT_LAYER_SLIDER));
    EXPECT_EQ("20", Text(manual, IDC_OPT_LAYER_VALUE));

    {
        BoxAnswerer answer;
        // Move with no folder: message 394 and no save.
        Choose(manual, IDC_OPT_FIRST_ACTION, 1);
        EXPECT_FALSE(Enabled(manual, IDC_OPT_SECOND_ACTION));
        EXPECT_TRUE(Enabled(manual, IDC_OPT_MOVE_FOLDER));
        EXPECT_FALSE(manual.Validate());
        ASSERT_EQ(1u, BoxAnswerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_OPT_MOVE_FOLDER_NEEDED), BoxAnswerer::s_texts[0]);
        EXPECT_FALSE(sheet.ApplyNow());
        EXPECT_EQ(2u, BoxAnswerer::s_texts.size());
        EXPECT_EQ(0, sheet.GetActiveIndex());
        EXPECT_EQ(SCAN_ACTION_CLEAN, FromRegistry<CManualScanINI>().m_nVirusFoundAction);
        // Clean then leave: no folder needed.
        Choose(manual, IDC_OPT_FIRST_ACTION, 0);
        Choose(manual, IDC_OPT_SECOND_ACTION, 3);
        EXPECT_TRUE(manual.Validate());
        // Clean then move: the folder is asked for.
        Choose(manual, IDC_OPT_SECOND_ACTION, 0);
        EXPECT_TRUE(Enabled(manual, IDC_OPT_MOVE_FOLDER));
        EXPECT_FALSE(manual.Validate());
        // ActiveAction: the lists go grey, the folder stays open, nothing is required.
        Click(manual, IDC_OPT_ACTIVE_ACTION);
        EXPECT_FALSE(Enabled(manual, IDC_OPT_FIRST_ACTION));
        EXPECT_FALSE(Enabled(manual, IDC_OPT_SECOND_ACTION));
        EXPECT_FALSE(Enabled(manual, IDC_OPT_BACKUP));
        EXPECT_TRUE(Enabled(manual, IDC_OPT_MOVE_FOLDER));
        EXPECT_TRUE(Enabled(manual, IDC_OPT_BROWSE));
        EXPECT_TRUE(manual.Validate());
        EXPECT_EQ(3u, BoxAnswerer::s_texts.size());
    }
    // File types and compressed files
    Click(manual, IDC_OPT_LISTED_FILES);
    EXPECT_TRUE(Enabled(manual, IDC_OPT_EXTENSIONS));
    Click(manual, IDC_OPT_INTELLISCAN);
    EXPECT_FALSE(Enabled(manual, IDC_OPT_EXTENSIONS));
    Click(manual, IDC_OPT_COMPRESSED);
    EXPECT_FALSE(Enabled(manual, IDC_OPT_LAYER_SLIDER));
    EXPECT_FALSE(Enabled(manual, IDC_OPT_LAYER_VALUE));

    // A relative folder is taken from the program folder; drive and network paths stay.
    SetWindowTextA(Item(manual, IDC_OPT_MOVE_FOLDER), "C:\\Abs");
    SendMessageA(manual.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_OPT_MOVE_FOLDER, EN_KILLFOCUS), 0);
    EXPECT_EQ("C:\\Abs", Text(manual, IDC_OPT_MOVE_FOLDER));
    SetWindowTextA(Item(manual, IDC_OPT_MOVE_FOLDER), "\\\\server\\share");
    SendMessageA(manual.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_OPT_MOVE_FOLDER, EN_KILLFOCUS), 0);
    EXPECT_EQ("\\\\server\\share", Text(manual, IDC_OPT_MOVE_FOLDER));

    // Scheduled page: Monday is the second row; weekly enables the day list only.
    sheet.SetActivePage(2);
    COptionScheduleScanPage& schedule = sheet.m_pageScheduleScan;
    EXPECT_EQ(1, Sel(schedule, IDC_OPT_DAY_OF_WEEK));
    EXPECT_EQ(2, Sel(schedule, IDC_OPT_FREQUENCY));
    EXPECT_TRUE(Enabled(schedule, IDC_OPT_DAY_OF_WEEK));
    EXPECT_FALSE(Enabled(schedule, IDC_OPT_DAY_OF_MONTH));
    Choose(schedule, IDC_OPT_FREQUENCY, 3);
    EXPECT_FALSE(Enabled(schedule, IDC_OPT_DAY_OF_WEEK));
    EXPECT_TRUE(Enabled(schedule, IDC_OPT_DAY_OF_MONTH));
    Choose(schedule, IDC_OPT_FREQUENCY, 0);
    EXPECT_FALSE(Enabled(schedule, IDC_OPT_HOUR));
    EXPECT_FALSE(Enabled(schedule, IDC_OPT_AM));
    Choose(schedule, IDC_OPT_FREQUENCY, 1);
    EXPECT_TRUE(Enabled(schedule, IDC_OPT_HOUR));
    // Spin ranges: minute 0..59, hour 1..12, day 1..31.
    struct { UINT nSpin; int nLow, nHigh; } spins[] = {
        { IDC_OPT_MINUTE_SPIN, 0, 59 }, { IDC_OPT_HOUR_SPIN, 1, 12 }, { IDC_OPT_DAY_OF_MONTH_SPIN, 1, 31 } };
    for (auto& s : spins)
    {
        DWORD dw = (DWORD)SendMessageA(Item(schedule, s.nSpin), UDM_GETRANGE, 0, 0);
        EXPECT_EQ(s.nLow, (short)HIWORD(dw));
        EXPECT_EQ(s.nHigh, (short)LOWORD(dw));
    }
    {
        // Minute 75: the message with its range when the field is left, then no apply.
        BoxAnswerer answer;
        SetWindowTextA(Item(schedule, IDC_OPT_MINUTE), "75");
        SendMessageA(schedule.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_OPT_MINUTE, EN_KILLFOCUS), (LPARAM)Item(schedule, IDC_OPT_MINUTE));
        ASSERT_EQ(1u, BoxAnswerer::s_texts.size());
        EXPECT_NE(std::string::npos, BoxAnswerer::s_texts[0].find("from 0 to 59")) << BoxAnswerer::s_texts[0];
        DWORD dwSel = (DWORD)SendMessageA(Item(schedule, IDC_OPT_MINUTE), EM_GETSEL, 0, 0);
        EXPECT_EQ(0, LOWORD(dwSel));
        EXPECT_EQ(2, HIWORD(dwSel));
        EXPECT_FALSE(schedule.Validate());
        EXPECT_EQ(1u, BoxAnswerer::s_texts.size());
    }
    SetWindowTextA(Item(schedule, IDC_OPT_MINUTE), "45");
    Choose(schedule, IDC_OPT_DAY_OF_WEEK, 0);
    Choose(schedule, IDC_OPT_FREQUENCY, 0);
    EXPECT_TRUE(schedule.Validate());
    schedule.SaveSettings();
    CScheduleScanINI saved = FromRegistry<CScheduleScanINI>();
    EXPECT_FALSE(saved.m_fEnable);
    EXPECT_EQ(SCHEDULE_WEEKLY, saved.m_nFrequency);   // never keeps the old frequency
    EXPECT_EQ(7, saved.m_nDayOfWeek);                 // Sunday
    EXPECT_EQ(45, saved.m_nMinute);
}

TEST_F(OptionsSheetTest, ALockedConfigurationCannotBeChosenOrSaved)
{
    g_RealTimeScanINI.m_fAllowCfg = FALSE;
    g_RealTimeScanINI.m_nCompressedLayer = 4;
    WriteAll();
    COptionsPropertySheet& sheet = Open(COptionsPropertySheet::PAGE_REAL_TIME_SCAN);
    EXPECT_EQ(COptionsPropertySheet::PAGE_SCHEDULED_SCAN, sheet.GetActiveIndex());
    EXPECT_FALSE(sheet.m_tab.IsTabEnabled(1));
    EXPECT_TRUE(sheet.m_tab.IsTabEnabled(0));
    EXPECT_FALSE(sheet.m_tab.IsTabEnabled(4));
    // A click on the locked tab changes nothing.
    RECT rc;
    TabCtrl_GetItemRect(sheet.m_tab.m_hWnd, 1, &rc);
    POINT pt = { (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2 };
    POINT ptScreen = pt;
    ClientToScreen(sheet.m_tab.m_hWnd, &ptScreen);
    SetCursorPos(ptScreen.x, ptScreen.y);
    SendMessageA(sheet.m_tab.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendMessageA(sheet.m_tab.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    PumpMessages(50);
    EXPECT_EQ(COptionsPropertySheet::PAGE_SCHEDULED_SCAN, sheet.GetActiveIndex());
    // The keyboard walks past it: back from the scheduled page comes the manual page.
    EXPECT_EQ(0, sheet.m_tab.PrevEnabledTab(2, TRUE));
    EXPECT_EQ(2, sheet.m_tab.NextEnabledTab(0, TRUE));
    // Its page saves nothing even when made to.
    sheet.m_pageRealtimeScan.m_ScanINI.m_nCompressedLayer = 9;
    SaveAndClose();
    EXPECT_EQ(4, FromRegistry<CRealTimeScanINI>().m_nCompressedLayer);
}

TEST_F(OptionsSheetTest, ExceptionListEditsAreSavedAndRefreshNeverDuplicates)
{
    for (int i = 1; i <= 20; i++)
    {
        CString str;
        str.Format("C:\\Folder%d", i);
        g_ExclusionFileINI.m_arrEntries.Add(str);
    }
    WriteAll();
    COptionsPropertySheet& sheet = Open(COptionsPropertySheet::PAGE_EXCLUSION_LIST);
    COptionExceptionListPage& page = sheet.m_pageExceptionList;
    CListBox* pList = page.m_editor.GetListBox();
    ASSERT_TRUE(pList != NULL);
    auto rows = [&]() {
        std::vector<std::string> v;
        for (int i = 0; i < pList->GetCount(); i++)
        {
            CString s;
            pList->GetText(i, s);
            v.push_back((LPCSTR)s);
        }
        return v;
    };
    std::vector<std::string> shown = rows();
    ASSERT_EQ(21u, shown.size());
    EXPECT_EQ("C:\\Folder1", shown[0]);
    EXPECT_EQ("C:\\Folder20", shown[19]);
    EXPECT_EQ("", shown[20]);
    // New settings while the page is open: the rows are replaced, not added to.
    g_ExclusionFileINI.m_arrEntries.RemoveAt(0);
    sheet.RefreshExceptionList();
    sheet.RefreshExceptionList();
    shown = rows();
    ASSERT_EQ(20u, shown.size());
    EXPECT_EQ("C:\\Folder2", shown[0]);
    EXPECT_EQ("", shown[19]);
    HWND hList = pList->m_hWnd;
    auto key = [](HWND h, UINT vk, bool fAlt = false) {
        SendMessageA(h, fAlt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, fAlt ? (1 << 29) : 0);
    };
    auto type = [&](const char* psz) {
        ASSERT_TRUE(page.m_editor.m_pEdit != NULL);
        for (const char* p = psz; *p; ++p)
            SendMessageA(page.m_editor.m_pEdit->m_hWnd, WM_CHAR, (BYTE)*p, 0);
    };
    // Added with Insert: the 20th entry stays, a 21st is removed right after it is entered.
    key(hList, VK_INSERT);
    type("C:\\Extra");
    key(page.m_editor.m_pEdit->m_hWnd, VK_RETURN);
    EXPECT_EQ(21u, rows().size());
    key(hList, VK_INSERT);
    type("C:\\TooMany");
    key(page.m_editor.m_pEdit->m_hWnd, VK_RETURN);
    shown = rows();
    ASSERT_EQ(21u, shown.size());
    EXPECT_EQ("C:\\Extra", shown[19]);
    // Edit the first row, delete the second, move the (new) second to the end.
    pList->SetCurSel(0);
    page.m_editor.EditSelectedItem(0);
    ASSERT_TRUE(page.m_editor.m_pEdit != NULL);
    SetWindowTextA(page.m_editor.m_pEdit->m_hWnd, "*.TMP");
    key(page.m_editor.m_pEdit->m_hWnd, VK_RETURN);
    pList->SetCurSel(1);
    key(hList, VK_DELETE);                     // Folder3 gone
    pList->SetCurSel(1);
    for (int i = 0; i < 17; i++)
        key(hList, VK_DOWN, true);              // Folder4 down to the last entry
    shown = rows();
    EXPECT_EQ("*.TMP", shown[0]);
    EXPECT_EQ("C:\\Folder4", shown[18]);
    EXPECT_EQ("", shown[19]);
    // An entry still being typed is committed when the page is left.
    key(hList, VK_INSERT);
    type("D:\\Typed");
    EXPECT_TRUE(page.OnKillActive());
    page.SaveSettings();
    CExclusionFileINI saved = FromRegistry<CExclusionFileINI>();
    ASSERT_EQ(20, saved.m_arrEntries.GetSize());
    EXPECT_EQ("*.TMP", std::string(saved.m_arrEntries[0]));
    EXPECT_EQ("C:\\Folder5", std::string(saved.m_arrEntries[1]));
    EXPECT_EQ("C:\\Extra", std::string(saved.m_arrEntries[17]));
    EXPECT_EQ("C:\\Folder4", std::string(saved.m_arrEntries[18]));
    EXPECT_EQ("D:\\Typed", std::string(saved.m_arrEntries[19]));
    EXPECT_EQ(20, g_ExclusionFileINI.m_arrEntries.GetSize());
    // Every entry deleted: an empty list.
    pList->ResetContent();
    pList->AddString("");
    page.SaveSettings();
    EXPECT_EQ(0, FromRegistry<CExclusionFileINI>().m_arrEntries.GetSize());
}

// The virus-log windows' logic: the page's date ranges and their validation, the viewer's
// column texts, and the viewer itself on a store: the records of the chosen days only, and
// its sort by each column in both directions; the load and save worker, let go but never
// killed.
#include <gtest/gtest.h>

#include "LogReport.h"
#include "LogReportDlg.h"
#include "Misutils.h"
#include "StringUtils.h"
#include "VglTestSupport.h"
#include "langlibrary.h"
#include "resource_ids.h"

#include <string>
#include <vector>

namespace
{
CTime Dec(int nDay, int nHour, int nMinute, int nSecond = 0)
{
    return CTime(2026, 12, nDay, nHour, nMinute, nSecond);
}

CLogReportItem Item(int nKind, const CTime& t, const char* pszPath, const char* pszVirus, int nFirst, int nFirstStatus,
                    int nSecond = LOG_ACTION_NONE, int nSecondStatus = 1, const char* pszCompressed = "")
{
    CLogReportItem item(nKind, t, pszPath, pszVirus, nFirst, nFirstStatus, nSecond, nSecondStatus);
    item.m_strCompressedFile = pszCompressed;
    return item;
}

class ViewLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_lang.Load() != NULL);
        NS_LogReport::FinalDestruct();
    }
    void TearDown() override
    {
        NS_LogReport::FinalDestruct();
        m_lang.Free();
    }

    // The rows of the viewer's list: the text of one column, top to bottom.
    static std::vector<std::string> Column(CViewLogDlg& dlg, int nColumn)
    {
        std::vector<std::string> texts;
        HWND hList = dlg.GetDlgItem(IDC_VIEWLOG_LIST)->m_hWnd;
        int n = (int)::SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < n; i++)
        {
            char sz[512] = "";
            LVITEMA lvi = {};
            lvi.iSubItem = nColumn;
            lvi.pszText = sz;
            lvi.cchTextMax = sizeof sz;
            ::SendMessageA(hList, LVM_GETITEMTEXTA, i, (LPARAM)&lvi);
            texts.push_back(sz);
        }
        return texts;
    }

    static void ClickColumn(CViewLogDlg& dlg, int nColumn)
    {
        NMLISTVIEW nm = {};
        nm.hdr.hwndFrom = dlg.GetDlgItem(IDC_VIEWLOG_LIST)->m_hWnd;
        nm.hdr.idFrom = IDC_VIEWLOG_LIST;
        nm.hdr.code = LVN_COLUMNCLICK;
        nm.iItem = -1;
        nm.iSubItem = nColumn;
        dlg.SendMessage(WM_NOTIFY, IDC_VIEWLOG_LIST, (LPARAM)&nm);
    }

    CLanguageLibrary m_lang;
};
}

TEST(LogReportPage, RangesOfTheDateFieldsAndOfTheKeptLog)
{
    CTime now = Dec(20, 15, 30, 10);
    struct { int days; CTime from, keptFrom; } cases[] = {
        {15, Dec(6, 15, 30, 10), Dec(5, 0, 0)},     // 14 days shown, the load starts 15 days ago at 00:00
        {1, Dec(20, 15, 30, 10), Dec(19, 0, 0)},
        {0, Dec(20, 15, 30, 10), Dec(20, 0, 0)},
    };
    for (auto c : cases)
    {
        CTime from, to;
        CLogReportDlg::GetDisplayRange(c.days, now, &from, &to);
        EXPECT_EQ(c.from, from) << c.days;
        EXPECT_EQ(now, to) << c.days;
        CLogReportDlg::GetKeptRange(c.days, now, &from, &to);
        EXPECT_EQ(c.keptFrom, from) << c.days;
        EXPECT_EQ(now, to) << c.days;
    }
}

TEST(LogReportPage, DatesMustLieInTheFieldsRanges)
{
    struct { CTime from, to; BOOL valid; } cases[] = {
        {CTime(1996, 1, 1, 0, 0, 0), CTime(2037, 12, 31, 23, 59, 59), TRUE},
        {CTime(1995, 12, 31, 0, 0, 0), Dec(1, 0, 0), FALSE},
        {Dec(1, 0, 0), CTime(2038, 1, 19, 0, 0, 0), FALSE},
        {Dec(1, 0, 0), CTime(2038, 1, 1, 0, 0, 0), FALSE},
        {Dec(5, 0, 0), Dec(5, 23, 59, 59), TRUE},
    };
    for (auto c : cases)
        EXPECT_EQ(c.valid, CLogReportDlg::ValidateDates(c.from, c.to)) << (LPCSTR)c.from.Format("%Y/%m/%d");
    int nLower = 0, nUpper = 0;
    EXPECT_TRUE(CLogReportDlg::GetFieldRange(IDC_LOG_TO_DAY, &nLower, &nUpper));
    EXPECT_EQ(1, nLower);
    EXPECT_EQ(31, nUpper);
    EXPECT_TRUE(CLogReportDlg::GetFieldRange(IDC_LOG_FROM_YEAR_SPIN, &nLower, &nUpper));
    EXPECT_EQ(1996, nLower);
    EXPECT_EQ(2037, nUpper);
    EXPECT_FALSE(CLogReportDlg::GetFieldRange(IDC_LOG_VIEW_BUTTON, &nLower, &nUpper));
}

TEST_F(ViewLogTest, ColumnTexts)
{
    CLogReportItem zipMoveFailed = Item(LOG_EVENT_MANUAL, Dec(5, 9, 8, 7), "C:\\data\\pack.zip", "EICAR",
                                        LOG_ACTION_MOVE, 0, LOG_ACTION_NONE, 1, "inner\\eicar.com");
    EXPECT_EQ("Manual scan", std::string(CViewLogDlg::GetColumnText(zipMoveFailed, 0)));
    EXPECT_EQ("2026/12/5 09:08:07", std::string(CViewLogDlg::GetColumnText(zipMoveFailed, 1)));
    EXPECT_EQ("C:\\data\\pack.zip (inner\\eicar.com)", std::string(CViewLogDlg::GetColumnText(zipMoveFailed, 2)));
    EXPECT_EQ("Unable to Move the file pack.zip is still inside the compressed file",
              std::string(CViewLogDlg::GetColumnText(zipMoveFailed, 4)));
    // The note goes in only as far as the list's buffer allows.
    EXPECT_EQ("Unable to Move the file pack", std::string(CViewLogDlg::GetColumnText(zipMoveFailed, 4, 29)));

    struct { CLogReportItem item; const char* result; } results[] = {
        {Item(LOG_EVENT_REALTIME, Dec(5, 1, 0), "C:\\a.zip", "X", LOG_ACTION_DELETE, 0, 1, 1, "b.com"),
         "Unable to Delete the file a.zip is still inside the compressed file"},
        {Item(LOG_EVENT_REALTIME, Dec(5, 1, 0), "C:\\a.zip", "X", LOG_ACTION_CLEAN, 0, LOG_ACTION_MOVE, 0, "b.com"),
         "Unable to Clean the file (Unable to Move the file) a.zip is still inside the compressed file"},
        {Item(LOG_EVENT_REALTIME, Dec(5, 1, 0), "C:\\a.zip", "X", LOG_ACTION_CLEAN, 0, LOG_ACTION_MOVE, 1, "b.com"),
         "Unable to Clean the file (Moved)"},
        {Item(LOG_EVENT_REALTIME, Dec(5, 1, 0), "C:\\a.com", "X", LOG_ACTION_DELETE, 0), "Unable to Delete the file"},
        {Item(LOG_EVENT_REALTIME, Dec(5, 1, 0), "C:\\a.zip", "X", LOG_ACTION_MOVE, 1, 1, 1, "b.com"), "Moved"},
    };
    for (auto& r : results)
        EXPECT_EQ(r.result, std::string(CViewLogDlg::GetColumnText(r.item, 4)));

    // A record without a virus name shows a text, but sorts as an empty name.
    CLogReportItem nameless = Item(LOG_EVENT_MANUAL, Dec(5, 1, 0), "C:\\deep.zip", "", LOG_ACTION_NONE, 1);
    CLogReportItem named = Item(LOG_EVENT_MANUAL, Dec(5, 1, 0), "C:\\a.com", "A", LOG_ACTION_NONE, 1);
    EXPECT_EQ("(compressed file nested too deep to scan)", std::string(CViewLogDlg::GetColumnText(nameless, 3)));
    EXPECT_LT(CViewLogDlg::CompareItems(&nameless, &named, 3), 0);
    EXPECT_EQ(0, CViewLogDlg::CompareItems(&nameless, &named, 5));
}

TEST_F(ViewLogTest, ListsTheChosenDaysAndSortsByEachColumn)
{
    const CLogReportItem items[] = {
        Item(LOG_EVENT_REALTIME, Dec(4, 23, 59, 59), "C:\\before.com", "Early", LOG_ACTION_NONE, 1),
        Item(LOG_EVENT_SCHEDULE, Dec(5, 0, 0, 0), "C:\\b.com", "Beta", LOG_ACTION_DELETE, 1),
        Item(LOG_EVENT_MANUAL, Dec(5, 12, 0, 0), "C:\\c.com", "Alpha", LOG_ACTION_CLEAN, 1),
        Item(LOG_EVENT_REALTIME, Dec(6, 23, 59, 59), "C:\\a.com", "", LOG_ACTION_MOVE, 0),
        Item(LOG_EVENT_MANUAL, Dec(7, 0, 0, 0), "C:\\after.com", "Late", LOG_ACTION_NONE, 1),
    };
    for (const CLogReportItem& item : items)
    {
        CLogReportItem copy(item);
        NS_LogReport::AddItem(copy, NULL, NULL);
    }

    // From 5 December 00:00 to 6 December 23:59:59, as the page asks for them.
    CViewLogDlg dlg(Dec(5, 0, 0), Dec(6, 23, 59, 59), NULL);
    ASSERT_TRUE(dlg.Create(CViewLogDlg::IDD, NULL));
    EXPECT_EQ(&dlg, g_pViewLogDlg);
    EXPECT_EQ((std::vector<std::string>{"C:\\b.com", "C:\\c.com", "C:\\a.com"}), Column(dlg, 2));
    CString strCount;
    dlg.GetDlgItemText(IDC_VIEWLOG_COUNT, strCount);
    EXPECT_STREQ("Records: 3", strCount);

    // The first click sorts descending, every further click, on any column, turns it round.
    struct { int column; std::vector<std::string> paths; } clicks[] = {
        {1, {"C:\\a.com", "C:\\c.com", "C:\\b.com"}},
        {1, {"C:\\b.com", "C:\\c.com", "C:\\a.com"}},
        {2, {"C:\\c.com", "C:\\b.com", "C:\\a.com"}},
        {3, {"C:\\a.com", "C:\\c.com", "C:\\b.com"}},     // "" < Alpha < Beta, ascending
        {0, {"C:\\b.com", "C:\\a.com", "C:\\c.com"}},     // Scheduled > Real-time > Manual
        {4, {"C:\\c.com", "C:\\b.com", "C:\\a.com"}},     // Cleaned < Deleted < Unable to...
    };
    for (auto& c : clicks)
    {
        ClickColumn(dlg, c.column);
        EXPECT_EQ(c.paths, Column(dlg, 2)) << "column " << c.column;
        EXPECT_EQ(c.column, dlg.m_header.m_nSortColumn);
    }
    dlg.DestroyWindow();
    EXPECT_EQ(NULL, g_pViewLogDlg);
}

namespace
{
HANDLE g_hHeld = NULL, g_hRelease = NULL;

// Holds the worker with the store's lock taken and a day file being replaced.
void HoldDayFile(LPCSTR)
{
    ::SetEvent(g_hHeld);
    ::WaitForSingleObject(g_hRelease, 20000);
}

DWORD WINAPI AddRecord(LPVOID)
{
    CLogReportItem item = Item(LOG_EVENT_MANUAL, CTime::GetCurrentTime(), "C:\\after.com", "EICAR",
                               LOG_ACTION_DELETE, 1);
    NS_LogReport::AddItem(item, NULL, NULL);
    return 0;
}
} // namespace

TEST(LogFileWorker, AWorkerHeldInASaveIsLetGoAndFinishesOnItsOwn)
{
    NS_LogReport::FinalDestruct();
    CTime now = CTime::GetCurrentTime();
    CString strDayFile;
    strDayFile.Format("%sLog\\%04d_%02d_%02d.log", (LPCSTR)getModulePath(), now.GetYear(), now.GetMonth(),
                      now.GetDay());
    ::DeleteFileA(strDayFile);
    CLogReportItem item = Item(LOG_EVENT_MANUAL, now, "C:\\held.com", "EICAR", LOG_ACTION_DELETE, 1);
    NS_LogReport::AddItem(item, NULL, NULL);
    g_hHeld = ::CreateEventA(NULL, TRUE, FALSE, NULL);
    g_hRelease = ::CreateEventA(NULL, TRUE, FALSE, NULL);
    g_pfnLogDayWritten = HoldDayFile;
    {
        CLogFileWorker worker;
        ASSERT_TRUE(worker.Start(TRUE, 1, FALSE));
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_hHeld, 20000));
        // The owner gives up waiting and goes away; the worker is not killed.
        EXPECT_FALSE(worker.Stop(100));
        EXPECT_FALSE(worker.IsRunning());
    }
    ::SetEvent(g_hRelease);
    // It ends on its own: the store's lock is free and the day file whole.
    HANDLE hAdd = ::CreateThread(NULL, 0, AddRecord, NULL, 0, NULL);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hAdd, 20000));
    ::CloseHandle(hAdd);
    g_pfnLogDayWritten = NULL;
    CLogReportArray day;
    day.LoadFromFile(strDayFile);
    ASSERT_EQ(1, day.GetSize());
    EXPECT_STREQ("C:\\held.com", day.GetItem(0)->m_strPath);

    NS_LogReport::FinalDestruct();
    ::DeleteFileA(strDayFile);
    ::CloseHandle(g_hHeld);
    ::CloseHandle(g_hRelease);
}

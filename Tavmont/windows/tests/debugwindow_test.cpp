// The debug window: when it is made, its five pages, rows that senders post without waiting
// for the UI thread, the row cap and the count, and showing and hiding it.
#include "DebugLogSheet.h"
#include "DebugWindow.h"

#include "LogTracker.h"
#include "RegistryKey.h"
#include "resource_ids.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "WindowTree.h"
#include "langlibrary.h"

#include <process.h>

namespace
{
unsigned __stdcall AddStatusRows(void* pv)
{
    int nRows = *(int*)pv;
    for (int i = 1; i <= nRows; i++)
    {
        CString strLog;
        strLog.Format("/Vigilon/Cgi/cgiOnScan.exe?row=%d", i);
        NS_Debug::AddStatusLog(i, NS_Notification::StatusLogType(CTime(2024, 3, 5, 7, 8, 9), 1, NULL), strLog,
                               CString());
    }
    return 0;
}

class DebugWindowTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(m_lang.Load());
        NS_Debug::InstallDebugWindow();
    }

    void TearDown() override
    {
        NS_Debug::Destruct();
        NS_Debug::SetDebugWindowHooks(NS_Debug::SDebugWindowHooks());
        m_lang.Free();
        ProductKeyTest::TearDown();
    }

    CLanguageLibrary m_lang;
};
}

TEST(DebugWindowRule, MadeUnlessDisabledOrTheOldCommonControls)
{
    struct Case
    {
        BOOL fEnable, fRead;
        DWORD dwVersion;
        BOOL fWanted;
    } cases[] = {{TRUE, TRUE, MAKELONG(80, 5), TRUE},  {TRUE, TRUE, MAKELONG(0, 4), FALSE},
                 {TRUE, TRUE, MAKELONG(70, 4), TRUE},  {TRUE, FALSE, 0, FALSE},
                 {FALSE, TRUE, MAKELONG(80, 5), FALSE}};
    for (const Case& c : cases)
        EXPECT_EQ(c.fWanted, NS_Debug::IsDebugWindowWanted(c.fEnable, c.fRead, c.dwVersion))
            << c.fEnable << c.fRead << HIWORD(c.dwVersion) << "." << LOWORD(c.dwVersion);
}

TEST_F(DebugWindowTest, HiddenSheetOfFivePagesFedByOtherThreads)
{
    // "DebugEnable" missing: the sheet is made, hidden, whatever the trace switch says.
    NS_Debug::CreateDebugWindow();
    ASSERT_TRUE(g_pDebugLogSheet != NULL);
    CDebugLogSheet& sheet = *g_pDebugLogSheet;
    EXPECT_FALSE(sheet.IsWindowVisible());
    CString strCaption;
    sheet.GetWindowText(strCaption);
    EXPECT_STREQ("Vigilon Debug Log", strCaption);
    EXPECT_EQ(5, sheet.GetPageCount());
    const char* const apszTabs[] = {"Server Commands", "Status Logs", "Virus Logs", "Unsent Virus Logs",
                                    "Client Settings"};
    for (int i = 0; i < 5; i++)
    {
        char szText[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = szText;
        item.cchTextMax = sizeof(szText);
        sheet.GetTabControl()->SendMessage(TCM_GETITEMA, i, (LPARAM)&item);
        EXPECT_STREQ(apszTabs[i], szText);
    }
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(sheet.m_hWnd, IDOK)));
    EXPECT_EQ(4, sheet.m_pageStatusLog.GetList().GetHeaderCtrl()->GetItemCount());
    EXPECT_EQ(2, sheet.m_pageNotification.GetList().GetHeaderCtrl()->GetItemCount());

    // A sender adds 150 rows while the UI thread waits for it without pumping: posted rows
    // never make the sender wait.
    int nRows = 150;
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, AddStatusRows, &nRows, 0, NULL);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
    CloseHandle(hThread);
    PumpMessages(300);
    CListCtrl& list = sheet.m_pageStatusLog.GetList();
    EXPECT_EQ(101, list.GetItemCount());
    EXPECT_EQ("50", std::string((LPCSTR)list.GetItemText(0, 0)));
    EXPECT_EQ("150", std::string((LPCSTR)list.GetItemText(100, 0)));
    EXPECT_EQ("2024/3/5 7:8:9", std::string((LPCSTR)list.GetItemText(100, 1)));
    EXPECT_EQ("/Vigilon/Cgi/cgiOnScan.exe?row=150", std::string((LPCSTR)list.GetItemText(100, 2)));
    CString strCount;
    sheet.m_pageStatusLog.GetDlgItemText(IDC_DEBUG_COUNT, strCount);
    EXPECT_STREQ("Entries added since the start: 150", strCount);

    // A server command arriving while hidden is there when shown.
    NS_Debug::AddNotification("?EVENT=2", FALSE);
    NS_Debug::ToggleDebugWindow();
    PumpMessages(100);
    EXPECT_TRUE(sheet.IsWindowVisible());
    EXPECT_EQ(1, sheet.m_pageNotification.GetList().GetItemCount());
    EXPECT_EQ("?EVENT=2", std::string((LPCSTR)sheet.m_pageNotification.GetList().GetItemText(0, 1)));

    // Maximise does nothing; close hides it and keeps its rows; it comes back as it was.
    sheet.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_FALSE(sheet.IsZoomed());
    EXPECT_TRUE(sheet.IsWindowVisible());
    sheet.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(sheet.IsWindowVisible());
    ASSERT_TRUE(::IsWindow(sheet.m_hWnd));
    NS_Debug::ToggleDebugWindow();
    EXPECT_TRUE(sheet.IsWindowVisible());
    EXPECT_EQ(101, list.GetItemCount());
    NS_Debug::ToggleDebugWindow();
    EXPECT_FALSE(sheet.IsWindowVisible());
}

TEST_F(DebugWindowTest, DisabledThereIsNoSheetAndRowsAreOnlyTraced)
{
    WriteDword(NULL, "DebugEnable", 0);
    NS_Debug::CreateDebugWindow();
    EXPECT_TRUE(g_pDebugLogSheet == NULL);
    NS_Debug::ToggleDebugWindow();
    NS_Debug::AddStatusLog(1, NS_Notification::StatusLogType(), CString("log"), CString());
    NS_Debug::AddNotification("?EVENT=2", TRUE);
    EXPECT_TRUE(g_pDebugLogSheet == NULL);
}

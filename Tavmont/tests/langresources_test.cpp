// The client's language library holds every string and template the code loads.
#include <gtest/gtest.h>
#include "langlibrary.h"

#include "resource_ids.h"
#include "WinsockDlg.h"

#include <stdlib.h>
#include <string>

namespace
{
class LangResourcesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_hLang = m_lang.Load();
        ASSERT_TRUE(m_hLang != NULL);
    }
    void TearDown() override { m_lang.Free(); }

    std::string Text(UINT nID)
    {
        char sz[512] = "";
        ::LoadStringA(m_hLang, nID, sz, sizeof sz);
        return sz;
    }

    CLanguageLibrary m_lang;
    HINSTANCE m_hLang = NULL;
};
}

TEST_F(LangResourcesTest, EveryStringTheCodeLoadsIsThere)
{
    static const UINT ids[] = {
        IDS_APP_TITLE,
        IDS_SETTING_LEAVE, IDS_SETTING_DELETE, IDS_SETTING_DELETE_ALT, IDS_SETTING_CLEAN,
        IDS_SETTING_CLEAN_ALT, IDS_SETTING_UNKNOWN, IDS_SETTING_RENAME, IDS_SETTING_RENAME_ALT,
        IDS_SETTING_MOVE, IDS_SETTING_MOVE_ALT,
        IDS_TITLE_REMOTE, IDS_TITLE_MANUAL, IDS_TITLE_REALTIME, IDS_TITLE_SCHEDULE,
        IDS_FREQUENCY_DAILY, IDS_FREQUENCY_WEEKLY, IDS_FREQUENCY_MONTHLY, IDS_FREQUENCY_NONE,
        IDS_DAY_SUNDAY, IDS_DAY_SUNDAY + 1, IDS_DAY_SUNDAY + 2, IDS_DAY_SUNDAY + 3,
        IDS_DAY_SUNDAY + 4, IDS_DAY_SUNDAY + 5, IDS_DAY_SATURDAY, IDS_TIME_PM, IDS_TIME_AM,
        IDS_EVENT_MANUAL, IDS_EVENT_SCHEDULE, IDS_EVENT_REALTIME, IDS_EVENT_REMOTE,
        IDS_LOG_NONE, IDS_LOG_DELETE, IDS_LOG_RENAME, IDS_LOG_MOVE, IDS_LOG_CLEAN,
        IDS_LOG_FAILED_HEAD, IDS_LOG_FAILED_TAIL,
        IDS_LOG_DELETED, IDS_LOG_RENAMED, IDS_LOG_MOVED, IDS_LOG_CLEANED,
        IDS_UNKNOWN_EXCEPTION, IDS_UNKNOWN_ERROR,
        IDS_HTTP_CANCELLED, IDS_HTTP_301, IDS_HTTP_305, IDS_HTTP_400, IDS_HTTP_401, IDS_HTTP_402,
        IDS_HTTP_403, IDS_HTTP_404, IDS_HTTP_405, IDS_HTTP_406, IDS_HTTP_407, IDS_HTTP_408,
        IDS_HTTP_409, IDS_HTTP_410, IDS_HTTP_411, IDS_HTTP_412, IDS_HTTP_413, IDS_HTTP_414,
        IDS_HTTP_415, IDS_HTTP_500, IDS_HTTP_501, IDS_HTTP_502, IDS_HTTP_503, IDS_HTTP_504,
        IDS_HTTP_505,
        IDS_FOLDER_TITLE, IDS_FOLDER_OK, IDS_EXT_BAD_CHARACTER, IDS_EXT_NOT_ASCII,
        IDS_PROGRESS_CAPTION, IDS_LBEDIT_TIP_NEW, IDS_LBEDIT_TIP_DELETE, IDS_LBEDIT_TIP_UP,
        IDS_LBEDIT_TIP_DOWN, IDS_EXT_LIST_TOO_LONG,
    };
    for (UINT nID : ids)
        EXPECT_FALSE(Text(nID).empty()) << nID;

    // The day names are read back from settings files: no two alike.
    for (UINT i = IDS_DAY_SUNDAY; i <= IDS_DAY_SATURDAY; ++i)
        for (UINT j = i + 1; j <= IDS_DAY_SATURDAY; ++j)
            EXPECT_NE(Text(i), Text(j)) << i << " " << j;
}

TEST_F(LangResourcesTest, TimeFormatsTakeHourThenMinute)
{
    for (UINT nID : {IDS_TIME_AM, IDS_TIME_PM})
    {
        char sz[64];
        _snprintf(sz, sizeof sz, Text(nID).c_str(), 7, 5);
        EXPECT_NE(nullptr, strstr(sz, "7:05")) << sz;
    }
}

TEST_F(LangResourcesTest, LookupWindowIsAHiddenPopup)
{
    CWinsockDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hWnd = dlg.GetSafeHwnd();
    ASSERT_TRUE(::IsWindow(hWnd));
    EXPECT_FALSE(::IsWindowVisible(hWnd));
    EXPECT_TRUE(::GetWindowLongA(hWnd, GWL_STYLE) & WS_POPUP);
    EXPECT_TRUE(::GetParent(hWnd) == NULL);
    dlg.DestroyWindow();
}

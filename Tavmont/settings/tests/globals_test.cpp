// The scan-state flags and the shared helpers of the client.
#include <gtest/gtest.h>

#include "Globals.h"

#include <string>

namespace
{
CFlagEvent* const s_apRunning[] = {&g_eventScanning, &g_eventScheduleScanning, &g_eventRemoteScanning};

void ClearRunningFlags()
{
    for (CFlagEvent* p : s_apRunning)
        p->SetSignaled(FALSE);
}
}

TEST(ScanFlagsTest, OneScanAtATime)
{
    // Which flag is set before, which kind asks, what it gets and the flags after.
    struct { int nRunning; int nStarting; BOOL fStarted; const char* pszAfter; } cases[] = {
        {-1, 0, TRUE, "100"}, {-1, 1, TRUE, "010"}, {-1, 2, TRUE, "001"},
        {1, 0, FALSE, "010"},   // a manual scan while the scheduled one runs
        {0, 2, FALSE, "100"},   // a server scan while a manual one runs
        {2, 1, FALSE, "001"},
        {0, 0, FALSE, "100"},   // the same kind again: nothing touched
    };
    for (const auto& c : cases)
    {
        ClearRunningFlags();
        if (c.nRunning >= 0)
            s_apRunning[c.nRunning]->SetSignaled(TRUE);
        EXPECT_EQ(c.fStarted, TryEnterScan(*s_apRunning[c.nStarting])) << c.nRunning << "," << c.nStarting;
        std::string strAfter;
        for (CFlagEvent* p : s_apRunning)
            strAfter += p->IsSignaled() ? "1" : "0";
        EXPECT_EQ(c.pszAfter, strAfter) << c.nRunning << "," << c.nStarting;
    }
    ClearRunningFlags();
}

TEST(ScanFlagsTest, StopFlagsStartCleared)
{
    CFlagEvent* apStop[] = {&g_eventStopScanNow,     &g_eventScanNowEnded,     &g_eventStopManualScan,
                            &g_eventManualScanEnded, &g_eventStopScheduleScan, &g_eventScheduleScanEnded};
    for (CFlagEvent* p : apStop)
        EXPECT_FALSE(p->IsSignaled());
}

TEST(GlobalsTest, AnsiToWide)
{
    EXPECT_TRUE(ConvertAnsiToWide("") == NULL);
    EXPECT_TRUE(ConvertAnsiToWide(NULL) == NULL);
    LPWSTR pwsz = ConvertAnsiToWide("Scan \xE9t\xE9");
    ASSERT_TRUE(pwsz != NULL);
    HGLOBAL hBlock = GlobalHandle(pwsz);
    EXPECT_EQ((SIZE_T)(8 * 2 + 2), GlobalSize(hBlock));
    EXPECT_EQ(0, lstrcmpW(L"Scan \x00E9t\x00E9", pwsz));
    GlobalUnlock(hBlock);
    GlobalFree(hBlock);
}

TEST(GlobalsTest, SharedNames)
{
    EXPECT_STREQ("VigilonCorp_MemoryMappedFile_MainWnd", g_pszMemoryMappedHwnd);
    EXPECT_STREQ("VigilonCorp_MemoryMappedFile_ProcessID", g_pszMemoryMappedProcessID);
    EXPECT_EQ(0, strncmp(g_pszDefaultExtList, ".BIN,.BAT,.COM,", 15));
    EXPECT_EQ(39, (int)std::count(g_pszDefaultExtList, g_pszDefaultExtList + strlen(g_pszDefaultExtList), '.'));
}

// The scan settings pushed into the engine: checked on the driver's state file and journal.
#include <gtest/gtest.h>

#include "CommonScanINI.h"
#include "Globals.h"
#include "Misutils.h"
#include "StringUtils.h"
#include "VglTestSupport.h"

#include <string>

namespace
{
void IgnoreEvent(LPVOID pEvent) { g_vexor.ReleaseEvent(pEvent); }

class ScanOptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int s_nRun = 0;
        char szName[64];
        sprintf(szName, "engine%lu_%d", GetCurrentProcessId(), ++s_nRun);
        m_driver = ScratchFile(szName);
        CreateDirectoryA(m_driver.c_str(), NULL);
        for (const char* pszFile : {"filter32.vxd", "vexor32.vxd", "VXP$SIG.578"})
            ASSERT_TRUE(CopyFileA(BinFile(pszFile).c_str(), (m_driver + "\\" + pszFile).c_str(), FALSE))
                << pszFile;
        WritePrivateProfileStringA("Watch", "FixedDrives", "0", (m_driver + "\\filter32.ini").c_str());
        int nResult = -1;
        ASSERT_TRUE(g_vexor.Initialize(NULL, IgnoreEvent, m_driver.c_str(), &nResult)) << nResult;
    }

    void TearDown() override { g_vexor.Uninitialize(); }

    std::string State(const char* pszSection, const char* pszKey)
    {
        return ReadIni(m_driver + "\\filter32.state", pszSection, pszKey);
    }

    // The state of the real-time channel.
    std::string RealTimeState()
    {
        std::string strState = ReadWholeFile(m_driver + "\\filter32.state");
        size_t nStart = strState.find("[Scan100]");
        return strState.substr(nStart, strState.find("[Scan200]") - nStart);
    }

    std::string Journal() { return ReadWholeFile(m_driver + "\\filter32.log"); }

    // The journal lines written after the given length, their "Set..." names only.
    std::string CallsSince(size_t nFrom)
    {
        std::string strJournal = Journal().substr(nFrom), strCalls;
        size_t nPos = 0;
        while ((nPos = strJournal.find(" Set", nPos)) != std::string::npos)
        {
            size_t nEnd = strJournal.find_first_of(" \r\n", nPos + 1);
            strCalls += strJournal.substr(nPos + 1, nEnd - nPos - 1) + ";";
            nPos = nEnd;
        }
        return strCalls;
    }

    std::string m_driver;
};
}

TEST_F(ScanOptionsTest, ManualKindsSetTheManualChannelInOrder)
{
    CManualScanINI manual;
    manual.ReadIniFile(TestDataFile("scansettings.ini").c_str());
    std::string strRealTimeBefore = RealTimeState();
    size_t nFrom = Journal().size();
    EXPECT_TRUE(manual.ApplyVexorOptions(g_vexor));

    EXPECT_EQ("SetIntelliScanFlag;SetActiveActionFlag;SetFirstAction;SetSecondAction;SetMoveFolder;"
              "SetSecondMoveFolder;SetRenameExtension;SetSecondRenameExtension;SetBackupIfClean;"
              "SetBackupDirectory;SetBackupEncodeFlag;SetOleLayer;SetCompressedLayer;SetZipCleanFlag;",
              CallsSince(nFrom));
    std::string strSuspect = std::string(getModulePath()) + "SUSPECT\\";
    std::string strBackup = std::string(getModulePath()) + "Backup\\";
    struct { const char* pszKey; std::string strValue; } expected[] = {
        {"FirstAction", "2"},          {"SecondAction", "4"},     {"MoveFolder", strSuspect},
        {"SecondMoveFolder", strSuspect}, {"RenameExtension", ".Vir"}, {"SecondRenameExtension", ".Vir"},
        {"BackupIfClean", "1"},        {"BackupFolder", strBackup}, {"CompressedLayer", "7"},
        {"ZipClean", "1"},             {"OleLayer", "5"},         {"IntelliScan", "1"},
        {"ActiveAction", "0"}};
    for (const auto& e : expected)
        EXPECT_EQ(e.strValue, State("Scan200", e.pszKey)) << e.pszKey;
    EXPECT_EQ("1", State("Global", "BackupEncode"));
    EXPECT_TRUE(isDirectoryExist(strBackup.c_str()));
    // The real-time channel is left alone, and the move folders of the settings are not sent.
    EXPECT_EQ(strRealTimeBefore, RealTimeState());
    EXPECT_EQ(std::string::npos, Journal().find("Virus Store"));
}

TEST_F(ScanOptionsTest, RealTimeSetsTheRealTimeChannelAndTheFilter)
{
    CRealTimeScanINI realTime;
    realTime.ReadIniFile(TestDataFile("scansettings.ini").c_str());
    realTime.SetNetworkScan(FALSE);
    size_t nFrom = Journal().size();
    EXPECT_TRUE(realTime.ApplyVexorOptions(g_vexor));

    EXPECT_EQ("SetIntelliScanFlag;SetActiveActionFlag;SetFirstAction;SetSecondAction;SetMoveFolder;"
              "SetRenameExtension;SetSecondMoveFolder;SetSecondRenameExtension;SetBackupIfClean;"
              "SetBackupEncodeFlag;SetBackupDirectory;SetFilterString;SetScanNetworkFileFlag;SetOleLayer;"
              "SetCompressedLayer;SetZipCleanFlag;SetMaxCompressedFileCount;SetMaxExtractFileSize;",
              CallsSince(nFrom));
    EXPECT_NE(std::string::npos, Journal().find("type=100", nFrom));
    EXPECT_EQ(std::string::npos, Journal().find("type=200", nFrom));
    struct { const char* pszKey; const char* pszValue; } expected[] = {
        {"FirstAction", "3"}, {"SecondAction", "2"}, {"BackupIfClean", "0"}, {"CompressedLayer", "3"},
        {"ZipClean", "1"},    {"OleLayer", "5"},     {"MaxCompressedFiles", "250"},
        {"MaxExtractSize", "67108864"}, {"IntelliScan", "0"}};
    for (const auto& e : expected)
        EXPECT_EQ(e.pszValue, State("Scan100", e.pszKey)) << e.pszKey;
    EXPECT_EQ(".COM.EXE.ZIP.ARJ.LZH.LHA.EX_.CO_.CAB.GZ.RAR.TAR.JAR.WAR", State("Global", "FilterString"));
    EXPECT_EQ("0", State("Global", "NetworkScan"));
}

TEST_F(ScanOptionsTest, ArchiveLimitsOfTheRealTimeScan)
{
    struct
    {
        BOOL fCompressed;
        int nMegabytes;
        const char *pszExtract, *pszFiles, *pszLayer, *pszZipClean;
    } cases[] = {
        {TRUE, 2, "2097152", "250", "3", "1"},
        {TRUE, 2047, "2146435072", "250", "3", "1"},
        {TRUE, 2048, "2147483647", "250", "3", "1"},   // 2048 x 1 MB no longer fits a signed int
        {TRUE, 1000000, "2147483647", "250", "3", "1"},
        {TRUE, 0, "0", "250", "3", "1"},
        {TRUE, -5, "0", "250", "3", "1"},
        {FALSE, 64, "2147483647", "2147483647", "0", "0"},
    };
    for (const auto& c : cases)
    {
        CRealTimeScanINI realTime;
        realTime.ReadIniFile(TestDataFile("scansettings.ini").c_str());
        realTime.m_fScanCompressed = c.fCompressed;
        realTime.SetMaximumExtractFileSize(c.nMegabytes);
        EXPECT_TRUE(realTime.ApplyVexorOptions(g_vexor));
        EXPECT_EQ(c.pszExtract, State("Scan100", "MaxExtractSize")) << c.nMegabytes;
        EXPECT_EQ(c.pszFiles, State("Scan100", "MaxCompressedFiles")) << c.nMegabytes;
        EXPECT_EQ(c.pszLayer, State("Scan100", "CompressedLayer")) << c.nMegabytes;
        EXPECT_EQ(c.pszZipClean, State("Scan100", "ZipClean")) << c.nMegabytes;
    }
}

TEST_F(ScanOptionsTest, ActiveActionLeavesTheActionsToTheEngine)
{
    CRemoteScanINI remote;
    remote.ReadIniFile(TestDataFile("scansettings.ini").c_str());   // ActiveAction, no compressed files
    ASSERT_TRUE(remote.IsActiveAction());
    size_t nFrom = Journal().size();
    EXPECT_TRUE(remote.ApplyVexorOptions(g_vexor));
    std::string strCalls = CallsSince(nFrom);
    EXPECT_EQ(std::string::npos, strCalls.find("SetFirstAction")) << strCalls;
    EXPECT_EQ(std::string::npos, strCalls.find("SetSecondAction")) << strCalls;
    EXPECT_EQ("1", State("Scan200", "ActiveAction"));
    EXPECT_EQ("0", State("Scan200", "CompressedLayer"));
    EXPECT_EQ("0", State("Scan200", "ZipClean"));

    // Another engine object is not a driver engine: nothing is sent.
    CVexor other;
    nFrom = Journal().size();
    EXPECT_FALSE(remote.ApplyVexorOptions(other));
    EXPECT_EQ(nFrom, Journal().size());
}

// The scan setting classes: INI file, registry and query forms and their round trips.
#include <gtest/gtest.h>

#include "CommonScanINI.h"
#include "Globals.h"
#include "RegistryKey.h"
#include "Vexor.h"
#include "atlbase.h"
#include "langstrings.h"
#include "VglTestSupport.h"

#include <map>
#include <memory>
#include <string>

namespace
{
const char s_szKeyPath[] = "Software\\VglTest\\ScanSettings";

// Every member, so that two objects compare in one readable text.
std::string Describe(const CCommonScanINI& s)
{
    char sz[2048];
    sprintf(sz,
            "section=%s enable=%d allowcfg=%d boot=%d memory=%d compressed=%d allfiles=%d bkup=%d layer=%d "
            "ext=[%s] move=[%s] cfmove=[%s] first=%d second=%d intelli=%d active=%d count=%d extract=%d zip=%d "
            "ole=%d popup=%d",
            s.m_pszSection, s.m_fEnable, s.m_fAllowCfg, s.m_fScanBoot, s.m_fScanMemory, s.m_fScanCompressed,
            s.m_fScanAllFiles, s.m_fBkUpIfClean, s.m_nCompressedLayer, (LPCSTR)s.m_strExtList,
            (LPCSTR)s.m_strMoveDir, (LPCSTR)s.m_strCleanFailedMoveDir, s.m_nVirusFoundAction,
            s.m_nCleanFailedAction, s.m_fIntelliScan, s.m_fActiveAction, s.m_nCompressedFileCount,
            s.m_nMaximumExtractFileSize, s.m_fZipCleanOnOff, s.m_nOleLayer, s.m_fPopupVirusFoundOnOff);
    return sz;
}

class ScanSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteScratchKey();
        RemoveSettingsFile();
    }
    void TearDown() override
    {
        DeleteScratchKey();
        RemoveSettingsFile();
    }

    static void DeleteScratchKey()
    {
        CRegKey key;
        if (key.Open(HKEY_CURRENT_USER, "Software") == ERROR_SUCCESS)
            key.RecurseDeleteKey("VglTest");
    }

    static HKEY OpenSection(LPCSTR pszSection)
    {
        HKEY hKey = NULL;
        RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(s_szKeyPath) + "\\" + pszSection).c_str(), 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &hKey, NULL);
        return hKey;
    }
};

std::string Text(const CString& str) { return (LPCSTR)str; }
}

TEST_F(ScanSettingsTest, IniSectionWithOnlyEnableTakesTheDefaults)
{
    std::string strIni = ScratchFile("enable_only.ini");
    WriteWholeFile(strIni, "[Manual Scan Configuration]\r\nEnable=NO\r\n");
    CManualScanINI manual;
    manual.ReadIniFile(strIni.c_str());
    EXPECT_EQ(std::string("section=Manual Scan Configuration enable=0 allowcfg=0 boot=1 memory=1 compressed=1 "
                          "allfiles=0 bkup=0 layer=4 ext=[") +
                  g_pszDefaultExtList +
                  "] move=[] cfmove=[] first=5 second=3 intelli=0 active=0 count=100 extract=2 zip=0 ole=3 "
                  "popup=1",
              Describe(manual));
}

TEST_F(ScanSettingsTest, WordsAndNumbersOfTheIniForm)
{
    struct { const char* pszWord; BOOL fYes; int nAction; } cases[] = {
        {"YES", TRUE, 1},    {"yes", TRUE, 1},    {"On", TRUE, 1},     {"1", TRUE, 1},     {"NO", FALSE, 1},
        {"", FALSE, 1},      {"TRUE", FALSE, 1},  {"Leave", FALSE, 1}, {"delete", FALSE, 2}, {"2", FALSE, 2},
        {"RENAME", FALSE, 3}, {"3", FALSE, 3},    {"Move", FALSE, 4},  {"4", FALSE, 4},   {"clean", FALSE, 5},
        {"CLEAN", FALSE, 5}, {"5", FALSE, 5},     {"6", FALSE, 1},     {"Quarantine", FALSE, 1}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.fYes, CCommonScanINI::ParseYesWord(c.pszWord)) << c.pszWord;
        EXPECT_EQ(c.nAction, CCommonScanINI::ParseActionWord(c.pszWord)) << c.pszWord;
    }
    struct { int nAction; int nEngine; const char* pszWord; } actions[] = {
        {1, 0, "Leave"}, {2, 4, "Delete"}, {3, 1, "Rename"}, {4, 2, "Move"}, {5, 3, "Clean"}, {0, 3, "Leave"},
        {9, 3, "Leave"}};
    for (const auto& a : actions)
    {
        EXPECT_EQ(a.nEngine, CCommonScanINI::ToEngineAction(a.nAction)) << a.nAction;
        EXPECT_STREQ(a.pszWord, CCommonScanINI::ActionWord(a.nAction)) << a.nAction;
    }
}

TEST_F(ScanSettingsTest, CompressedLayerIsRangeCheckedOnlyFromIniFiles)
{
    std::string strIni = ScratchFile("layer.ini");
    struct { const char* pszLayer; int nExpected; } cases[] = {{"0", 0}, {"20", 20}, {"21", 0}, {"-1", 0}, {"x", 0}};
    for (const auto& c : cases)
    {
        WriteWholeFile(strIni, std::string("[Manual Scan Configuration]\r\nCompressedLayer=") + c.pszLayer + "\r\n");
        CManualScanINI manual;
        manual.ReadIniFile(strIni.c_str());
        EXPECT_EQ(c.nExpected, manual.m_nCompressedLayer) << c.pszLayer;
    }
    HKEY hKey = OpenSection(g_pszManualScanSection);
    DWORD dwLayer = 21;
    RegSetValueExA(hKey, "CompressedLayer", 0, REG_DWORD, (const BYTE*)&dwLayer, sizeof(dwLayer));
    RegCloseKey(hKey);
    CManualScanINI manual;
    manual.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ(21, manual.m_nCompressedLayer);
}

TEST_F(ScanSettingsTest, EmptyRegistrySubkeyClearsFlagsAndKeepsLayerAndFirstAction)
{
    RegCloseKey(OpenSection(g_pszManualScanSection));
    CManualScanINI manual;
    manual.m_nCompressedLayer = 9;
    manual.m_nVirusFoundAction = 3;
    manual.m_strExtList = ".EXE";
    manual.m_strMoveDir = "C:\\Old";
    manual.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ("section=Manual Scan Configuration enable=0 allowcfg=0 boot=0 memory=0 compressed=0 allfiles=0 "
              "bkup=0 layer=9 ext=[] move=[] cfmove=[] first=3 second=4 intelli=0 active=0 count=100 extract=2 "
              "zip=0 ole=3 popup=1",
              Describe(manual));

    // No subkey at all: nothing changes.
    CManualScanINI untouched;
    std::string strBefore = Describe(untouched);
    untouched.ReadRegistry("Software\\VglTest\\Missing", HKEY_CURRENT_USER);
    EXPECT_EQ(strBefore, Describe(untouched));
}

TEST_F(ScanSettingsTest, EachKindRoundTripsBetweenIniFileAndRegistry)
{
    std::string strFixture = TestDataFile("scansettings.ini");
    std::unique_ptr<CCommonScanINI> kinds[] = {std::unique_ptr<CCommonScanINI>(new CManualScanINI),
                                               std::unique_ptr<CCommonScanINI>(new CRealTimeScanINI),
                                               std::unique_ptr<CCommonScanINI>(new CRemoteScanINI)};
    const char* expected[] = {
        "section=Manual Scan Configuration enable=0 allowcfg=1 boot=0 memory=0 compressed=1 allfiles=1 bkup=1 "
        "layer=7 ext=[.exe, .doc,.Xls] move=[C:\\Virus Store] cfmove=[HTTP://server/quarantine] first=4 second=2 "
        "intelli=1 active=0 count=250 extract=64 zip=1 ole=5 popup=0",
        "section=Real Time Scan Configuration enable=1 allowcfg=0 boot=1 memory=0 compressed=1 allfiles=0 bkup=0 "
        "layer=3 ext=[.com,.exe] move=[D:\\Moved] cfmove=[] first=5 second=4 intelli=0 active=0 count=250 "
        "extract=64 zip=1 ole=5 popup=0",
        "section=Scan Now Configuration enable=1 allowcfg=1 boot=0 memory=1 compressed=0 allfiles=0 bkup=1 "
        "layer=20 ext=[.*] move=[] cfmove=[] first=2 second=1 intelli=0 active=1 count=250 extract=64 zip=1 "
        "ole=5 popup=0"};
    for (size_t i = 0; i < 3; ++i)
    {
        CCommonScanINI& fromIni = *kinds[i];
        fromIni.ReadIniFile(strFixture.c_str());
        EXPECT_EQ(expected[i], Describe(fromIni));

        fromIni.WriteRegistry(s_szKeyPath, HKEY_CURRENT_USER);
        std::unique_ptr<CCommonScanINI> fromRegistry(fromIni.Clone());
        fromRegistry->m_fEnable = !fromIni.m_fEnable;
        fromRegistry->m_strExtList.Empty();
        fromRegistry->m_nCompressedLayer = 0;
        fromRegistry->ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
        EXPECT_EQ(expected[i], Describe(*fromRegistry));

        std::string strCopy = ScratchFile("copy.ini");
        DeleteFileA(strCopy.c_str());
        fromRegistry->WriteIniFile(strCopy.c_str());
        std::unique_ptr<CCommonScanINI> again(fromIni.Clone());
        again->m_fEnable = !fromIni.m_fEnable;
        again->ReadIniFile(strCopy.c_str());
        EXPECT_EQ(expected[i], Describe(*again));
    }
}

TEST_F(ScanSettingsTest, RealTimeExtrasAndRemoteDriveScope)
{
    std::string strFixture = TestDataFile("scansettings.ini");
    CRealTimeScanINI realTime;
    realTime.ReadIniFile(strFixture.c_str());
    EXPECT_FALSE(realTime.m_fScanShutdown);
    EXPECT_TRUE(realTime.m_fNetworkScanOnOff);   // not taken from INI files
    realTime.SetNetworkScan(FALSE);
    realTime.WriteRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    CRealTimeScanINI fromRegistry;
    fromRegistry.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_FALSE(fromRegistry.m_fScanShutdown);
    EXPECT_FALSE(fromRegistry.m_fNetworkScanOnOff);
    std::string strCopy = ScratchFile("rt.ini");
    DeleteFileA(strCopy.c_str());
    fromRegistry.WriteIniFile(strCopy.c_str());
    EXPECT_EQ("NO", ReadIni(strCopy, g_pszRealTimeScanSection, "ScanShutdown"));
    EXPECT_EQ("NO", ReadIni(strCopy, g_pszRealTimeScanSection, "NetworkScanOnOff"));

    CRemoteScanINI remote;
    remote.m_fScanCDRom = FALSE;
    remote.ReadIniFile(strFixture.c_str());
    EXPECT_TRUE(remote.m_fSomeDrives);
    EXPECT_TRUE(remote.m_fScanCDRom);
    std::unique_ptr<CRemoteScanINI> clone(static_cast<CRemoteScanINI*>(remote.Clone()));
    EXPECT_TRUE(clone->m_fSomeDrives);
    EXPECT_STREQ(g_pszRemoteScanSection, clone->m_pszSection);
    remote.WriteRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    remote.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_FALSE(remote.m_fSomeDrives);
    remote.WriteIniFile(strCopy.c_str());
    EXPECT_EQ("", ReadIni(strCopy, g_pszRemoteScanSection, "Level"));

    struct { const char* pszLevel; BOOL fSome; } levels[] = {
        {"ScanAllDrive", FALSE}, {"scanalldrive", FALSE}, {"ScanSomeDrive", TRUE}, {"", TRUE}, {"0", TRUE}};
    for (const auto& l : levels)
    {
        WriteWholeFile(strCopy, std::string("[Scan Now Configuration]\r\nLevel=") + l.pszLevel + "\r\n");
        remote.ReadIniFile(strCopy.c_str());
        EXPECT_EQ(l.fSome, remote.m_fSomeDrives) << l.pszLevel;
    }
}

TEST_F(ScanSettingsTest, NetworkScanMissingFromRegistryComesFromTheSettingsFileAndIsStored)
{
    struct { const char* pszSettings; DWORD dwExpected; } cases[] = {
        {NULL, 1}, {"[INI_CLIENT_SECTION]\r\nOther=0\r\n", 1}, {"[INI_CLIENT_SECTION]\r\nNetworkScanOnOff=0\r\n", 0}};
    for (const auto& c : cases)
    {
        RemoveSettingsFile();
        if (c.pszSettings != NULL)
            WriteWholeFile(SettingsFilePath(), c.pszSettings);
        DeleteScratchKey();
        RegCloseKey(OpenSection(g_pszRealTimeScanSection));
        CRealTimeScanINI realTime;
        realTime.m_fNetworkScanOnOff = 7;
        realTime.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
        EXPECT_EQ((BOOL)c.dwExpected, realTime.m_fNetworkScanOnOff);
        HKEY hKey = OpenSection(g_pszRealTimeScanSection);
        DWORD dwStored = 99, cb = sizeof(dwStored);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "NetworkScanOnOff", NULL, NULL, (LPBYTE)&dwStored, &cb));
        RegCloseKey(hKey);
        EXPECT_EQ(c.dwExpected, dwStored);
    }
    // A stored value wins over the file.
    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SECTION]\r\nNetworkScanOnOff=1\r\n");
    HKEY hKey = OpenSection(g_pszRealTimeScanSection);
    DWORD dwOff = 0;
    RegSetValueExA(hKey, "NetworkScanOnOff", 0, REG_DWORD, (const BYTE*)&dwOff, sizeof(dwOff));
    RegCloseKey(hKey);
    CRealTimeScanINI realTime;
    realTime.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_FALSE(realTime.m_fNetworkScanOnOff);
}

TEST_F(ScanSettingsTest, QueriesCarryTheSettingsInTheServersForm)
{
    std::string strFixture = TestDataFile("scansettings.ini");
    CManualScanINI manual;
    manual.ReadIniFile(strFixture.c_str());
    EXPECT_EQ("/Vigilon/Cgi/cgiOnMSCfg.exe?UID=guid-1&ENABLE=0&ALLOWCFG=1&SCANMEMORY=0&SCANBOOT=0"
              "&SCANCOMPRESSED=1&COMPRESSEDLAYER=7&SCANALLFILES=1&EXTLIST=.exe,.doc,.Xls&VIRUSFOUNDACTION=4"
              "&BKUPIFCLEAN=1&MOVEDIR=C%3a%5cVirus%20Store&CLEANFAILEDACTION=2"
              "&CLEANFAILEDMOVEDIR=HTTP%3a%2f%2fserver%2fquarantine&IntelliScan=1&ActiveAction=0",
              Text(manual.BuildCgiQuery("/Vigilon/Cgi/cgiOnMSCfg.exe", "guid-1", NULL)));

    CRealTimeScanINI realTime;
    realTime.ReadIniFile(strFixture.c_str());
    EXPECT_EQ("/c?UID=g&ENABLE=1&ALLOWCFG=0&SCANBOOT=1&SCANSHUTDOWN=0&SCANCOMPRESSED=1&COMPRESSEDLAYER=3"
              "&SCANALLFILES=0&EXTLIST=.com,.exe&VIRUSFOUNDACTION=5&BKUPIFCLEAN=0&MOVEDIR=D%3a%5cMoved"
              "&CLEANFAILEDACTION=4&CLEANFAILEDMOVEDIR=&RELEASE=5.58&IntelliScan=0&ActiveAction=0",
              Text(realTime.BuildCgiQuery("/c", "g", "5.58")));

    CRemoteScanINI remote;
    remote.ReadIniFile(strFixture.c_str());
    EXPECT_EQ("/r?UID=g&ENABLE=1&ALLOWCFG=1&SCANMEMORY=1&SCANBOOT=0&SCANCOMPRESSED=0&COMPRESSEDLAYER=20"
              "&SCANALLFILES=0&EXTLIST=.*&VIRUSFOUNDACTION=2&BKUPIFCLEAN=1&MOVEDIR=&CLEANFAILEDACTION=1"
              "&CLEANFAILEDMOVEDIR=&IntelliScan=0&ActiveAction=1",
              Text(remote.BuildCgiQuery("/r", "g", NULL)));
}

TEST_F(ScanSettingsTest, ExtensionListsForQueriesScansAndTheFilter)
{
    struct
    {
        const char* pszExtList;
        BOOL fAllFiles, fCompressed;
        const char *pszQuery, *pszScan, *pszFilter, *pszFilterNoCompressed;
    } cases[] = {
        {".exe", FALSE, TRUE, ".exe", ".EXE.ZIP.ARJ.LZH.LHA.EX_.CO_.CAB.GZ.RAR.TAR.JAR.WAR",
         ".EXE.ZIP.ARJ.LZH.LHA.EX_.CO_.CAB.GZ.RAR.TAR.JAR.WAR", ".exe"},
        {".exe,.zip", FALSE, FALSE, ".exe,.zip", ".EXE,.ZIP", ".exe.zip", ".exe.zip"},
        {" .Com , .\"d|o<c>\" ,", FALSE, FALSE, ".Com,.doc", " .COM , .\"D|O<C>\" ,", ".Com.doc", ".Com.doc"},
        {".*", FALSE, FALSE, ".*", ".*", ".*", ".*"},
        {".*", TRUE, TRUE, ".*", ".*", ".*", ".*"},
        {"", FALSE, FALSE, "", "", "", ""},
        {".z,.cab", FALSE, TRUE, ".z,.cab", ".Z,.CAB.ZIP.ARJ.LZH.LHA.EX_.CO_.GZ.RAR.TAR.JAR.WAR",
         ".Z.CAB.ZIP.ARJ.LZH.LHA.EX_.CO_.GZ.RAR.TAR.JAR.WAR", ".z.cab"},
    };
    for (const auto& c : cases)
    {
        CManualScanINI manual;
        manual.m_strExtList = c.pszExtList;
        manual.m_fScanAllFiles = c.fAllFiles;
        manual.m_fScanCompressed = c.fCompressed;
        EXPECT_EQ(c.pszQuery, Text(manual.GetNormalizedExtList())) << c.pszExtList;
        EXPECT_EQ(c.pszScan, Text(manual.GetScanExtensionList())) << c.pszExtList;
        EXPECT_EQ(c.pszFilter, Text(manual.GetFileTypeList(FALSE))) << c.pszExtList;
        EXPECT_EQ(c.pszFilterNoCompressed, Text(manual.GetFileTypeList(TRUE))) << c.pszExtList;
    }
}

TEST_F(ScanSettingsTest, CopiesKeepEveryMember)
{
    CRealTimeScanINI realTime;
    realTime.ReadIniFile(TestDataFile("scansettings.ini").c_str());
    realTime.m_fNetworkScanOnOff = FALSE;
    CRealTimeScanINI copy(g_pszManualScanSection);
    copy = realTime;
    EXPECT_EQ(Describe(realTime), Describe(copy));
    EXPECT_FALSE(copy.m_fNetworkScanOnOff);
    EXPECT_FALSE(copy.m_fScanShutdown);
    std::unique_ptr<CCommonScanINI> clone(realTime.Clone());
    EXPECT_EQ(Describe(realTime), Describe(*clone));
    EXPECT_FALSE(static_cast<CRealTimeScanINI*>(clone.get())->m_fNetworkScanOnOff);
    EXPECT_TRUE(dynamic_cast<CRealTimeScanINI*>(clone.get()) != NULL);

    CManualScanINI manual;
    manual.SetCompressedFileCount(7);
    manual.SetZipClean(TRUE);
    manual.SetOleLayer(2);
    manual.SetMaximumExtractFileSize(9);
    manual.SetPopupVirusFound(FALSE);
    manual.m_nVirusFoundAction = SCAN_ACTION_MOVE;
    manual.m_nCleanFailedAction = SCAN_ACTION_DELETE;
    std::unique_ptr<CCommonScanINI> manualClone(manual.Clone());
    EXPECT_EQ(Describe(manual), Describe(*manualClone));
    EXPECT_EQ(VEXOR_ACTION_MOVE, manualClone->GetVirusFoundEngineAction());
    EXPECT_EQ(VEXOR_ACTION_DELETE, manualClone->GetCleanFailedEngineAction());
    EXPECT_FALSE(manualClone->IsPopupVirusFound());
}

TEST_F(ScanSettingsTest, DisplayTextsComeFromTheLanguageLibrary)
{
    std::map<UINT, std::string> texts;
    for (UINT nID : {140u, 141u, 142u, 143u, 144u, 145u, 153u, 154u, 155u, 209u, 210u, 211u, 212u, 231u, 232u,
                     233u, 234u, 235u, 240u, 368u})
        texts[nID] = "T" + std::to_string(nID);
    CTestStrings strings("scansettings_strings.dll", texts);
    CManualScanINI manual;

    struct { int nAction; const char *pszVariant, *pszPlain; } found[] = {
        {1, "T140", "T140"}, {2, "T141", "T142"}, {5, "T143", "T144"}, {3, "T145", "T145"}, {4, "T145", "T145"}};
    for (const auto& f : found)
    {
        manual.m_nVirusFoundAction = f.nAction;
        EXPECT_EQ(f.pszVariant, Text(manual.GetVirusFoundActionText(TRUE))) << f.nAction;
        EXPECT_EQ(f.pszPlain, Text(manual.GetVirusFoundActionText(FALSE))) << f.nAction;
    }
    struct { int nEngine; const char *pszSetting, *pszSettingPlain, *pszLog, *pszEngine; } engine[] = {
        {0, "T140", "T140", "T231", "T231"}, {99, "T140", "T140", "T231", "T231"},
        {1, "T209", "T210", "T233", "T233"}, {2, "T211", "T212", "T234", "T234"},
        {3, "T143", "T144", "T235", ""},     {4, "T141", "T142", "T232", "T232"},
        {5, "T145", "T145", "", ""}};
    for (const auto& e : engine)
    {
        EXPECT_EQ(e.pszSetting, Text(manual.GetActionSettingText(e.nEngine, TRUE))) << e.nEngine;
        EXPECT_EQ(e.pszSettingPlain, Text(manual.GetActionSettingText(e.nEngine, FALSE))) << e.nEngine;
        EXPECT_EQ(e.pszLog, Text(manual.GetLogActionText(e.nEngine))) << e.nEngine;
        EXPECT_EQ(e.pszEngine, Text(manual.GetEngineActionText(e.nEngine))) << e.nEngine;
    }
    struct { int nFirst; BOOL fFirst; int nSecond; BOOL fSecond; const char* pszResult; } results[] = {
        {3, TRUE, 1, FALSE, "T235"},
        {1, FALSE, 2, TRUE, "T240T233T368"},
        {3, FALSE, 2, TRUE, "T240T235T368 (T234)"},
        {3, FALSE, 4, FALSE, "T240T235T368 (T240T232T368)"}};
    for (const auto& r : results)
        EXPECT_EQ(r.pszResult, Text(manual.FormatActionResult(r.nFirst, r.fFirst, r.nSecond, r.fSecond)));

    CRealTimeScanINI realTime;
    CRemoteScanINI remote;
    EXPECT_EQ("T154", Text(manual.GetTitle()));
    EXPECT_EQ("T155", Text(realTime.GetTitle()));
    EXPECT_EQ("T153", Text(remote.GetTitle()));
}
